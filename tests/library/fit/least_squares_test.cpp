// The least-squares engine against the closed form of the weighted straight
// line, across twenty decades of σ either way, and on the faults it must
// report rather than take for an optimum.
#include "vantrel/fit/least_squares.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace vantrel::fit {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// f(x) = a + b·x, analytic or numeric Jacobian.
Model Line(const std::vector<double>& x, bool analytic) {
    Model m;
    m.values = [&x](std::span<const double> p, std::span<double> value) {
        for (std::size_t i = 0; i < value.size(); ++i) value[i] = p[0] + p[1] * x[i];
    };
    if (analytic) {
        m.jacobian = [&x](std::span<const double>, std::span<double> jacobian) {
            for (std::size_t i = 0; i < x.size(); ++i)
                jacobian[2 * i] = 1, jacobian[2 * i + 1] = x[i];
        };
    }
    return m;
}

// The weighted straight line in closed form, about the weighted mean of x:
// (a, b, σa, σb, ρ).
std::array<double, 5> ClosedForm(const std::vector<double>& x, const std::vector<double>& y,
                                 const std::vector<double>& s) {
    long double W = 0, Wx = 0, Wy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const long double w = 1.0L / ((long double)s[i] * s[i]);
        W += w, Wx += w * x[i], Wy += w * y[i];
    }
    const long double xm = Wx / W, ym = Wy / W;
    long double Sxx = 0, Sxy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const long double w = 1.0L / ((long double)s[i] * s[i]);
        Sxx += w * (x[i] - xm) * (x[i] - xm), Sxy += w * (x[i] - xm) * (y[i] - ym);
    }
    const long double b = Sxy / Sxx, a = ym - b * xm;
    const long double vb = 1 / Sxx, va = 1 / W + xm * xm / Sxx, cab = -xm / Sxx;
    return {double(a), double(b), double(std::sqrt(va)), double(std::sqrt(vb)),
            double(cab / std::sqrt(va * vb))};
}

struct LineCase {
    const char* name;
    std::vector<double> x, y, sigma;
    double tolerance;  // relative, analytic Jacobian; numeric: 1e-7
};

const LineCase kLines[] = {
    {"four points", {0, 1, 2, 3}, {1.1, 2.9, 5.2, 6.8}, {0.1, 0.2, 0.1, 0.3}, 1e-11},
    {"optimum at a = 0 exactly", {-1, 0, 1}, {-2, 0, 2}, {0.1, 0.1, 0.1}, 1e-11},
    {"optimum at b = 0 exactly", {-2, -1, 1, 2}, {3, 3.1, 3.1, 3}, {0.05, 0.05, 0.05, 0.05}, 1e-11},
    // Columns parallel to twelve digits: as good as that allows (centring
    // such variables is the model's part).
    {"x far from 0",
     {1e6, 1e6 + 1, 1e6 + 2, 1e6 + 3},
     {5, 6.1, 6.9, 8.0},
     {0.1, 0.1, 0.1, 0.1},
     1e-8},
    {"deviations over nine decades",
     {0, 1, 2, 3},
     {1, 2.5, 2.9, 4.2},
     {1e-9, 1e-3, 1, 1e-5},
     1e-11},
};

TEST(LeastSquares, AgreesWithTheClosedFormOfTheStraightLine) {
    for (const LineCase& c : kLines) {
        for (const bool analytic : {true, false}) {
            if (!analytic && c.tolerance > 1e-10) continue;
            const std::array<double, 5> e = ClosedForm(c.x, c.y, c.sigma);
            const std::vector<double> start{0.0, 0.0};
            const Result r = LeastSquares(Line(c.x, analytic), c.y, c.sigma, start);
            ASSERT_TRUE(r.converged()) << c.name << ": " << r.message;
            const double tolerance = analytic ? c.tolerance : 1e-7;
            for (int j = 0; j < 2; ++j) {
                EXPECT_NEAR(r.parameters[j], e[j], tolerance * (std::fabs(e[j]) + e[2 + j]))
                    << c.name << " parameter " << j;
                EXPECT_NEAR(r.deviations[j], e[2 + j], tolerance * e[2 + j]) << c.name;
            }
            EXPECT_NEAR(r.correlation[1], e[4], tolerance) << c.name;
            EXPECT_EQ(r.correlation[0], 1.0);
            EXPECT_LE(std::fabs(r.correlation[1]), 1.0);
            EXPECT_DOUBLE_EQ(r.covariance[1], r.correlation[1] * r.deviations[0] * r.deviations[1]);
            EXPECT_EQ(r.degrees_of_freedom, c.x.size() - 2);
        }
    }
}

TEST(LeastSquares, ACommonScaleOfTheDeviationsChangesNothingRelative) {
    // An exponential, so that the iteration matters.
    const std::vector<double> t{0, 10, 20, 30, 40}, y{0.70, 0.68, 0.66, 0.63, 0.62};
    Model model;
    model.values = [&t](std::span<const double> p, std::span<double> v) {
        for (std::size_t i = 0; i < v.size(); ++i) v[i] = p[0] * std::exp(-p[1] * t[i]);
    };
    model.jacobian = [&t](std::span<const double> p, std::span<double> J) {
        for (std::size_t i = 0; i < t.size(); ++i) {
            J[2 * i] = std::exp(-p[1] * t[i]);
            J[2 * i + 1] = -(p[0] * t[i]) * J[2 * i];
        }
    };
    const std::vector<double> start{0.7, 0.001};
    std::vector<double> base(5, 0.005);
    base[2] = 0.01;
    const Result reference = LeastSquares(model, y, base, start);
    ASSERT_TRUE(reference.converged()) << reference.message;
    for (const double scale : {1e-170, 1e-100, 1e-20, 3.0, 1e20, 1e100, 1e170}) {
        std::vector<double> sigma = base;
        for (double& s : sigma) s *= scale;
        const Result r = LeastSquares(model, y, sigma, start);
        ASSERT_TRUE(r.converged()) << scale << ": " << r.message;
        for (int j = 0; j < 2; ++j) {
            EXPECT_NEAR(r.parameters[j], reference.parameters[j],
                        1e-12 * std::fabs(reference.parameters[j]))
                << scale;
            EXPECT_NEAR(r.deviations[j] / scale, reference.deviations[j],
                        1e-12 * reference.deviations[j])
                << scale;
        }
        EXPECT_NEAR(r.correlation[1], reference.correlation[1], 1e-12) << scale;
        // χ² scales as 1/scale², to a double's range.
        const double chi2 = reference.chi_square / scale / scale;
        if (std::isfinite(chi2) && chi2 > 1e-300) {
            EXPECT_NEAR(r.chi_square, chi2, 1e-12 * chi2) << scale;
        } else if (!std::isfinite(chi2)) {
            EXPECT_EQ(r.chi_square, kInf) << scale;
            EXPECT_EQ(r.probability, 0.0) << scale;
        }
    }
}

TEST(LeastSquares, ReportsWhatIsNoOptimum) {
    const std::vector<double> x{0, 1, 2, 3}, y{1, 3, 5, 7.2}, sigma(4, 0.1);
    const Model line = Line(x, true);
    Model infinite;
    infinite.values = [](std::span<const double>, std::span<double> v) {
        for (double& e : v) e = kInf;
    };
    Model unused;  // the second parameter moves nothing
    unused.values = [](std::span<const double> p, std::span<double> v) {
        for (double& e : v) e = p[0];
    };
    // Far from the optimum of an exponential, with one iteration allowed.
    Model steep;
    steep.values = [&x](std::span<const double> p, std::span<double> v) {
        for (std::size_t i = 0; i < v.size(); ++i) v[i] = p[0] * std::exp(p[1] * x[i]);
    };
    Options once;
    once.max_iterations = 1;
    struct Case {
        const char* name;
        const Model& model;
        std::vector<double> sigma, start;
        Options options;
        Status status;
        std::string message;
    };
    const Case cases[] = {
        {"NaN start", line, sigma, {kNoValue, 1}, {}, Status::kStart, "not finite at the start"},
        {"infinite start", line, sigma, {kInf, 1}, {}, Status::kStart, "not finite at the start"},
        {"model infinite at the start", infinite, sigma, {1, 1}, {}, Status::kStart, "not finite"},
        {"no parameters", line, sigma, {}, {}, Status::kInput, "no parameters"},
        {"a deviation of 0", line, {0.1, 0, 0.1, 0.1}, {0, 0}, {}, Status::kInput, "observation 1"},
        {"a NaN deviation",
         line,
         {0.1, 0.1, kNoValue, 0.1},
         {0, 0},
         {},
         Status::kInput,
         "observation 2"},
        {"deviations short", line, {0.1, 0.1}, {0, 0}, {}, Status::kInput, "differ in number"},
        {"iteration cap",
         steep,
         sigma,
         {100, -3},
         once,
         Status::kIterationLimit,
         "did not converge in 1 iterations"},
        {"a parameter that moves nothing",
         unused,
         sigma,
         {1, 1},
         {},
         Status::kUndetermined,
         "do not determine"},
    };
    for (const Case& c : cases) {
        const Result r = LeastSquares(c.model, y, c.sigma, c.start, c.options);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_FALSE(r.converged()) << c.name;
        EXPECT_NE(r.message.find(c.message), std::string::npos) << c.name << ": " << r.message;
        EXPECT_TRUE(r.deviations.empty()) << c.name;
    }
    // The same exponential converges with the default cap.
    const Result r = LeastSquares(steep, y, sigma, std::vector<double>{100, -3});
    EXPECT_TRUE(r.converged()) << r.message;
}

TEST(LeastSquares, ChiSquareTailAgreesWithReferenceValues) {
    struct Case {
        double chi2, nu, tail;  // tails from an independent implementation
    };
    const Case cases[] = {
        {1, 1, 0.31731050786291115},       {3.84, 1, 0.05004352124870519},
        {10, 4, 0.04042768199451279},      {0.5, 10, 0.999993388289439},
        {100, 80, 0.064570368921133},      {1e4, 9000, 3.031801838549065e-13},
        {30, 2, 3.0590232050182594e-07},   {1e-3, 3, 0.9999915920809419},
        {400, 300, 9.678621994933555e-05},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(ChiSquareTail(c.chi2, c.nu), c.tail, 1e-12 * c.tail) << c.chi2 << ", " << c.nu;
    EXPECT_EQ(ChiSquareTail(0, 3), 1.0);
    EXPECT_EQ(ChiSquareTail(kInf, 3), 0.0);
    EXPECT_TRUE(std::isnan(ChiSquareTail(kNoValue, 3)));
    EXPECT_TRUE(std::isnan(ChiSquareTail(1, 0)));
}

}  // namespace
}  // namespace vantrel::fit
