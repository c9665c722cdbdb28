// Flipping ratios, asymmetries and optimal counting times: every standard
// deviation against a numerical propagation of its value function, and the
// optimal split of the counting time against every other split.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "counting/four_measurements.h"
#include "support/propagation.h"

namespace vantrel::testing {
namespace {

using Args = std::vector<double>;

// One realistic reflection measured in the four settings.
struct Reflection {
    std::array<double, 4> rate;  // peak +, background +, peak −, background − (per unit time)
    std::array<double, 4> time;
    double monitorRate;

    double Tp() const { return time[2] + time[0]; }
    double Tb() const { return time[3] + time[1]; }
    // N_p+, N_b+, N_p−, N_b−, t_p+, t_b+, t_p−, t_b−, M_p, M_b.
    Args OptArguments() const {
        Args a;
        for (int k = 0; k < 4; ++k) a.push_back(rate[k] * time[k]);
        for (int k = 0; k < 4; ++k) a.push_back(time[k]);
        a.push_back(monitorRate * Tp());
        a.push_back(monitorRate * Tb());
        return a;
    }
    // Poisson deviations of the counts and monitor counts; times exact.
    static Args PoissonSigmas(const Args& opt) {
        Args s(opt.size(), 0.0);
        for (int k : {0, 1, 2, 3, 8, 9}) s[k] = std::sqrt(opt[k]);
        return s;
    }
};

Reflection RandomReflection(Inputs& in) {
    Reflection r;
    const double netPlus = in.LogUniform(1, 500);
    const double netMinus = netPlus / in.LogUniform(0.2, 20);
    const double backgroundPlus = in.LogUniform(0.5, 50);
    const double backgroundMinus = backgroundPlus * in.Uniform(0.8, 1.25);
    r.rate = {backgroundPlus + netPlus, backgroundPlus, backgroundMinus + netMinus,
              backgroundMinus};
    // Now and then a weak reflection that comes out below its background in
    // both states: I+ + I− < 0.
    if (in.Uniform(0, 1) < 0.2) {
        std::swap(r.rate[0], r.rate[1]);
        std::swap(r.rate[2], r.rate[3]);
    }
    for (double& t : r.time) t = in.LogUniform(10, 1000);
    r.monitorRate = in.LogUniform(100, 1e4);
    return r;
}

Args Joined(Args a, std::initializer_list<double> more) {
    a.insert(a.end(), more);
    return a;
}

void ExpectAgrees(double got, double propagated, const Args& x, std::string_view what) {
    std::string inputs;
    for (double v : x) inputs += std::to_string(v) + " ";
    EXPECT_LT(RelativeDifference(got, propagated), 1e-6)
        << what << ": " << got << " vs " << propagated << " at " << inputs;
}

TEST(Counting, PlainStandardDeviationsAgreeWithPropagation) {
    Inputs in(1);
    for (int i = 0; i < 1000; ++i) {
        const Args x = RandomReflection(in).OptArguments();
        const Args N(x.begin(), x.begin() + 4);
        Args sigma;
        for (double n : N) sigma.push_back(std::sqrt(n) * in.Uniform(0.5, 2));
        const Args withSigma = Joined(N, {sigma[0], sigma[1], sigma[2], sigma[3]});
        for (std::string_view f : {"FlippingRatio", "Asymmetry"}) {
            const std::string sdev = std::string(f) + "SDev";
            ExpectAgrees(ByName(sdev)(withSigma), PropagatedSDev(ByName(f), N, sigma), withSigma,
                         sdev);
        }
    }
}

TEST(Counting, OptStandardDeviationsAgreeWithPoissonPropagation) {
    Inputs in(2);
    for (int i = 0; i < 1000; ++i) {
        const Args x = RandomReflection(in).OptArguments();
        const Args sigma = Reflection::PoissonSigmas(x);
        for (std::string_view f : {"FlippingRatioOpt", "AsymmetryOpt"}) {
            const std::string sdev = std::string(f) + "SDev";
            ExpectAgrees(ByName(sdev)(x), PropagatedSDev(ByName(f), x, sigma), x, sdev);
        }
        // Without dead-time uncertainty the corrected counts carry the
        // Poisson variance alone, and the two models coincide.
        const Args dead = Joined(x, {in.LogUniform(1e-7, 1e-5), in.LogUniform(1e-13, 1e-10)});
        const Args deadSigma = Joined(sigma, {0.0, 0.0});
        const Args exactDeadTime = Joined(dead, {0.0, 0.0});
        for (std::string_view f : {"FlippingRatioOptDDT", "AsymmetryOptDDT"}) {
            const std::string sdev = std::string(f) + "SDev";
            ExpectAgrees(ByName(sdev)(exactDeadTime), PropagatedSDev(ByName(f), dead, deadSigma),
                         exactDeadTime, sdev);
        }
    }
}

// τ and τ₂ are common to the four measurements, but the dead-time levels
// treat the four corrected counts as independent. That is propagation through
// the Opt value function of counts each corrected with its own copy of τ and
// τ₂, every copy carrying σ_τ and σ_τ₂.
TEST(Counting, DeadTimeStandardDeviationsTreatTheCorrectedCountsAsIndependent) {
    Inputs in(3);
    const auto correctedRate = ByName("CountRateDDT");
    for (int i = 0; i < 1000; ++i) {
        const Args x = RandomReflection(in).OptArguments();
        const double tau = in.LogUniform(1e-7, 1e-5);
        const double tau2 = in.LogUniform(1e-13, 1e-10);
        const double sigmaTau = tau * in.Uniform(0.01, 0.3);
        const double sigmaTau2 = tau2 * in.Uniform(0.01, 0.3);
        // x, then τ for each measurement, then τ₂ for each measurement.
        Args copies = x;
        Args sigma = Reflection::PoissonSigmas(x);
        copies.insert(copies.end(), {tau, tau, tau, tau, tau2, tau2, tau2, tau2});
        sigma.insert(sigma.end(), {sigmaTau, sigmaTau, sigmaTau, sigmaTau, sigmaTau2, sigmaTau2,
                                   sigmaTau2, sigmaTau2});
        const Args args = Joined(x, {tau, tau2, sigmaTau, sigmaTau2});
        for (std::string_view f : {"FlippingRatioOpt", "AsymmetryOpt"}) {
            const auto opt = ByName(f);
            const auto ofCopies = [&](std::span<const double> v) {
                Args corrected(v.begin(), v.begin() + 10);
                for (int k = 0; k < 4; ++k) {
                    const double dead[] = {v[k], v[4 + k], v[10 + k], v[14 + k]};
                    corrected[k] = correctedRate(dead) * v[4 + k];
                }
                return opt(corrected);
            };
            const std::string sdev = std::string(f) + "DDTSDev";
            ExpectAgrees(ByName(sdev)(args), PropagatedSDev(ofCopies, copies, sigma), args, sdev);
        }
    }
}

TEST(Counting, LevelsAgreeWithEachOther) {
    Inputs in(4);
    for (int i = 0; i < 200; ++i) {
        const Args x = RandomReflection(in).OptArguments();
        // A = (R − 1)/(R + 1) from the same four measurements.
        const double R = ByName("FlippingRatioOpt")(x);
        EXPECT_LT(RelativeDifference(ByName("AsymmetryOpt")(x), (R - 1) / (R + 1)), 1e-12);
        // No dead time: the corrected counts are the counts.
        const Args dead = Joined(x, {0.0, 0.0});
        const Args deadSigma = Joined(dead, {0.0, 0.0});
        for (std::string_view f : {"FlippingRatioOpt", "AsymmetryOpt"}) {
            const std::string ddt = std::string(f) + "DDT";
            EXPECT_LT(RelativeDifference(ByName(ddt)(dead), ByName(f)(x)), 1e-12) << ddt;
            EXPECT_LT(RelativeDifference(ByName(ddt + "SDev")(deadSigma),
                                         ByName(std::string(f) + "SDev")(x)),
                      1e-12)
                << ddt;
        }
    }
}

TEST(Counting, DeadTimeLevelsCorrectEachMeasurementAsTheCountRateDoes) {
    using namespace counting;
    const Four N{1000, 200, 300, 150};
    const Four t{60, 30, 50, 40};
    const auto C = DeadTimeCorrectedCounts(N, t, 0.001, 1e-7);
    ASSERT_TRUE(C);
    EXPECT_EQ(C->pp, 1016.977880731094);
    EXPECT_EQ(C->bp, 201.34318274354695);
    EXPECT_EQ(C->pm, 301.8119582726859);
    EXPECT_EQ(C->bm, 150.56482984370587);
    const Four V = DeadTimeCorrectedVariances(N, t, 0.001, 1e-7, 1e-4, 1e-8);
    const Four s{32.7519676710065, 14.333428903224362, 17.53137656623895, 12.340006199611075};
    EXPECT_DOUBLE_EQ(std::sqrt(V.pp), s.pp);
    EXPECT_DOUBLE_EQ(std::sqrt(V.bp), s.bp);
    EXPECT_DOUBLE_EQ(std::sqrt(V.pm), s.pm);
    EXPECT_DOUBLE_EQ(std::sqrt(V.bm), s.bm);
    // Any one paralysed measurement (q = 0) fails the whole set.
    for (int k = 0; k < 4; ++k) {
        std::array<double, 4> n{1000, 200, 300, 150}, tk{60, 30, 50, 40};
        n[k] = 1;
        tk[k] = 1;
        EXPECT_FALSE(DeadTimeCorrectedCounts({n[0], n[1], n[2], n[3]}, {tk[0], tk[1], tk[2], tk[3]},
                                             1.0, 0.0))
            << k;
    }
}

TEST(Counting, ZeroMonitorOrTimeGivesNaNAtTheAsymmetryLevels) {
    const Args x = {1000, 200, 300, 150, 60, 30, 50, 40, 5000, 2500};
    for (int position = 4; position < 10; ++position) {
        Args zeroed = x;
        zeroed[position] = 0.0;
        for (std::string_view f : {"AsymmetryOpt", "AsymmetryOptSDev"}) {
            EXPECT_TRUE(std::isnan(ByName(f)(zeroed))) << f << " zero at " << position;
        }
        const Args dead = Joined(zeroed, {0.001, 1e-7});
        EXPECT_TRUE(std::isnan(ByName("AsymmetryOptDDT")(dead))) << position;
        EXPECT_TRUE(std::isnan(ByName("AsymmetryOptDDTSDev")(Joined(dead, {1e-4, 1e-8}))))
            << position;
    }
}

// Optimal counting times.

constexpr std::array<std::string_view, 4> kTimes = {"OptCountingTimeTpp", "OptCountingTimeTbp",
                                                    "OptCountingTimeTpm", "OptCountingTimeTbm"};

double Denominator(std::span<const double> r) {
    return (std::sqrt(r[0]) + std::sqrt(r[1])) * std::fabs(r[2] - r[3]) +
           (std::sqrt(r[2]) + std::sqrt(r[3])) * std::fabs(r[0] - r[1]);
}

// First-order variance of the flipping ratio and of the asymmetry of the net
// rates when a rate r measured for time t has variance r/t.
std::array<double, 2> RatioVariances(const std::array<double, 4>& r, std::span<const double> t) {
    const double a = r[0] - r[1];
    const double b = r[2] - r[3];
    const double va = r[0] / t[0] + r[1] / t[1];
    const double vb = r[2] / t[2] + r[3] / t[3];
    const double ratio = va / (b * b) + (a * a) * vb / (b * b * b * b);
    const double asymmetry = 4 * (b * b * va + a * a * vb) / std::pow(a + b, 4);
    return {ratio, asymmetry};
}

TEST(OptimalTimes, AddUpToTheTotalAndDoNotDependOnTheRateUnit) {
    Inputs in(5);
    for (int i = 0; i < 1000; ++i) {
        const Reflection r = RandomReflection(in);
        const double T = in.LogUniform(1, 1e5);
        const Args x = {r.rate[0], r.rate[1], r.rate[2], r.rate[3], T};
        const double unit = in.LogUniform(1e-3, 1e3);
        const Args scaled = {unit * r.rate[0], unit * r.rate[1], unit * r.rate[2], unit * r.rate[3],
                             T};
        double sum = 0.0;
        for (std::string_view f : kTimes) {
            const double t = ByName(f)(x);
            EXPECT_GT(t, 0.0) << f;
            EXPECT_LT(RelativeDifference(ByName(f)(scaled), t), 1e-13) << f;
            sum += t;
        }
        EXPECT_LT(RelativeDifference(sum, T), 1e-15);
    }
}

TEST(OptimalTimes, EveryOtherSplitGivesALargerVariance) {
    Inputs in(6);
    for (int i = 0; i < 1000; ++i) {
        const Reflection r = RandomReflection(in);
        const double T = in.LogUniform(100, 1e5);
        const Args x = {r.rate[0], r.rate[1], r.rate[2], r.rate[3], T};
        std::array<double, 4> best;
        for (int k = 0; k < 4; ++k) best[k] = ByName(kTimes[k])(x);
        const auto optimum = RatioVariances(r.rate, best);
        for (int trial = 0; trial < 10; ++trial) {
            // Near the optimum for half of the trials, anywhere for the rest.
            const double spread = trial < 5 ? 0.05 : 2.0;
            std::array<double, 4> other;
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                other[k] = best[k] * std::exp(in.Uniform(-spread, spread));
                sum += other[k];
            }
            for (double& t : other) t *= T / sum;
            const auto variance = RatioVariances(r.rate, other);
            EXPECT_GT(variance[0], optimum[0]);
            EXPECT_GT(variance[1], optimum[1]);
        }
    }
}

// The deviation of a time holds the common denominator D exact: propagation
// through the value function times D(rates)/D₀, which is the numerator over
// the fixed D₀.
TEST(OptimalTimes, StandardDeviationsAgreeWithPropagationAtFixedDenominator) {
    Inputs in(7);
    for (int i = 0; i < 1000; ++i) {
        const Reflection r = RandomReflection(in);
        const double T = in.LogUniform(1, 1e5);
        const Args x = {r.rate[0], r.rate[1], r.rate[2], r.rate[3], T};
        Args sigma;
        for (double rate : r.rate) sigma.push_back(rate * in.Uniform(0.001, 0.2));
        // Now and then an exactly known rate.
        if (in.Uniform(0, 1) < 0.1) sigma[static_cast<int>(in.Uniform(0, 4))] = 0.0;
        sigma.push_back(0.0);  // T is exact
        const double D0 = Denominator(x);
        const Args args = Joined(x, {sigma[0], sigma[1], sigma[2], sigma[3]});
        for (std::string_view f : kTimes) {
            const auto time = ByName(f);
            const auto numerator = [&](std::span<const double> v) {
                return time(v) * Denominator(v) / D0;
            };
            const std::string sdev = std::string(f) + "SDev";
            ExpectAgrees(ByName(sdev)(args), PropagatedSDev(numerator, x, sigma), args, sdev);
        }
    }
}

}  // namespace
}  // namespace vantrel::testing
