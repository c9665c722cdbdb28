// Peak centring: the inverse-error-function polynomial against erf itself,
// the two models on ideal profiles and under exchange of the measurement
// points, and both standard deviations against a numerical propagation.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>

#include "support/propagation.h"
#include "vantrel/peaks/peak_centring.h"
#include "vantrel/pi.h"

namespace vantrel::testing {
namespace {

using peaks::InverseErfPolynomial;

// erf⁻¹ by Newton's method on std::erf, independent of the polynomial.
double InverseErf(double y) {
    double x = 0.0;
    for (int i = 0; i < 60; ++i)
        x -= (std::erf(x) - y) / (2.0 / std::sqrt(std::numbers::pi) * std::exp(-x * x));
    return x;
}

TEST(InverseErfPolynomial, DocumentedValuesAreExact) {
    const struct {
        double x, expected;
    } cases[] = {
        {0.0, 1.9984014443252818e-15}, {0.5, 0.47693640892722755}, {1.0, 1.796460586355634},
        {-1.0, -1.7964605831230998},   {0.2, 0.1791434500070055},  {-0.3, -0.27246272685951617},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(InverseErfPolynomial(c.x)),
                  std::bit_cast<std::uint64_t>(c.expected))
            << c.x;
    }
}

TEST(InverseErfPolynomial, InterpolatesTheInverseErrorFunction) {
    for (int j = 0; j < 10; ++j) {
        for (double node : {0.05 + 0.1 * j, -0.05 - 0.1 * j}) {
            EXPECT_NEAR(InverseErfPolynomial(node), InverseErf(node), 1e-9) << node;
        }
    }
    const struct {
        double limit, tolerance;
    } bands[] = {{0.5, 1.4e-7}, {0.8, 5e-5}, {0.95, 2.3e-3}};
    for (const auto& band : bands) {
        for (int i = -500; i <= 500; ++i) {
            const double x = band.limit * i / 500.0;
            EXPECT_LT(std::fabs(InverseErfPolynomial(x) - InverseErf(x)), band.tolerance) << x;
        }
    }
    // Past the last node the polynomial falls behind, and beyond 1 runs away.
    EXPECT_NEAR(InverseErfPolynomial(0.99), 1.6888, 1e-4);
    EXPECT_NEAR(InverseErfPolynomial(1.5), 2890, 10);
}

// Two measurement points on a peak centred at xc: positions straddling it (or
// not), counts with a chosen asymmetry each.
struct Measurement {
    double x1, A1, B1, x2, A2, B2;
};

Measurement RandomMeasurement(Inputs& in, double& asym1, double& asym2) {
    const double x1 = in.Uniform(5, 50);
    const double x2 = x1 + in.Uniform(0.05, 2.0) * (in.Uniform(0, 1) < 0.5 ? -1 : 1);
    // Asymmetries not within 0.01 of 0, so that relative difference steps on
    // their images stay well above rounding.
    do {
        asym1 = in.Uniform(0.01, 0.9) * (in.Uniform(0, 1) < 0.5 ? -1 : 1);
        asym2 = in.Uniform(0.01, 0.9) * (in.Uniform(0, 1) < 0.5 ? -1 : 1);
    } while (std::fabs(asym1 - asym2) < 0.05);
    const double N1 = in.LogUniform(100, 1e6);
    const double N2 = in.LogUniform(100, 1e6);
    return {x1, N1 * (1 + asym1) / 2, N1 * (1 - asym1) / 2,
            x2, N2 * (1 + asym2) / 2, N2 * (1 - asym2) / 2};
}

TEST(PeakCentring, ModelsRecoverTheCentreOfIdealProfiles) {
    Inputs in;
    for (int i = 0; i < 500; ++i) {
        const double xc = in.Uniform(-20, 20);
        const double k = in.LogUniform(0.1, 10);
        // Within |k·(x − xc)| ≤ 0.45 the asymmetry stays where the polynomial
        // is within 1.4e-7 of erf⁻¹.
        const double x1 = xc + in.Uniform(-0.45, 0.45) / k;
        const double x2 = xc + in.Uniform(-0.45, 0.45) / k;
        if (std::fabs(x1 - x2) * k < 0.05) continue;
        const double N = in.LogUniform(100, 1e6);
        const double g1 = std::erf(k * (x1 - xc)), g2 = std::erf(k * (x2 - xc));
        const double gauss[] = {x1, N * (1 + g1), N * (1 - g1), x2, N * (1 + g2), N * (1 - g2)};
        EXPECT_NEAR(ByName("PeakCentringGauss")(gauss), xc, 2e-6 / k);
        const double slope = in.Uniform(-100, 100), offset = in.Uniform(0, 1000);
        const double lin[] = {x1, offset + slope * (x1 - xc), offset,
                              x2, offset + slope * (x2 - xc), offset};
        EXPECT_NEAR(ByName("PeakCentringLin")(lin), xc, 1e-9 * (1 + std::fabs(xc)));
    }
}

TEST(PeakCentring, ExchangingTheMeasurementPointsChangesNothing) {
    Inputs in;
    for (const char* model : {"PeakCentringLin", "PeakCentringGauss"}) {
        const auto centre = ByName(model);
        const auto sdev = ByName(std::string(model) + "SDev");
        for (int i = 0; i < 500; ++i) {
            double a1, a2;
            const Measurement m = RandomMeasurement(in, a1, a2);
            const double sx = in.Uniform(0.001, 0.05);
            const double s[] = {std::sqrt(m.A1), std::sqrt(m.B1), std::sqrt(m.A2), std::sqrt(m.B2)};
            const double forward[] = {m.x1, m.A1, m.B1, m.x2, m.A2, m.B2,
                                      sx,   s[0], s[1], s[2], s[3]};
            const double reverse[] = {m.x2, m.A2, m.B2, m.x1, m.A1, m.B1,
                                      sx,   s[2], s[3], s[0], s[1]};
            const std::span<const double> f(forward), r(reverse);
            EXPECT_NEAR(centre(f.first(6)), centre(r.first(6)), 1e-12 * (1 + std::fabs(m.x1)))
                << model;
            EXPECT_LT(RelativeDifference(sdev(f), sdev(r)), 1e-12) << model;
            EXPECT_GT(sdev(f), 0.0) << model;
        }
    }
}

TEST(PeakCentring, EqualPositionsGiveThatPosition) {
    const double lin[] = {7.25, 120, 80, 7.25, 70, 130};
    EXPECT_DOUBLE_EQ(ByName("PeakCentringLin")(lin), 7.25);
    EXPECT_DOUBLE_EQ(ByName("PeakCentringGauss")(lin), 7.25);
}

TEST(PeakCentring, LinearStandardDeviationAgreesWithPropagation) {
    Inputs in;
    const auto centre = ByName("PeakCentringLin");
    const auto sdev = ByName("PeakCentringLinSDev");
    for (int i = 0; i < 1000; ++i) {
        double a1, a2;
        const Measurement m = RandomMeasurement(in, a1, a2);
        const double sx = in.Uniform(0.001, 0.05);
        const double x[] = {m.x1, m.A1, m.B1, m.x2, m.A2, m.B2};
        const double sigma[] = {sx, std::sqrt(m.A1), std::sqrt(m.B1),
                                sx, std::sqrt(m.A2), std::sqrt(m.B2)};
        const double args[] = {m.x1, m.A1,     m.B1,     m.x2,     m.A2,    m.B2,
                               sx,   sigma[1], sigma[2], sigma[4], sigma[5]};
        EXPECT_LT(RelativeDifference(sdev(args), PropagatedSDev(centre, x, sigma)), 1e-6);
    }
}

// The Gaussian model propagated by hand: counts → asymmetry numerically, the
// asymmetry → u with the slope of erf⁻¹ itself, (√π/2)·e^(u²) with the
// module's π, then u and the positions → centre numerically.
TEST(PeakCentring, GaussianStandardDeviationAgreesWithPropagation) {
    const auto asymmetry = [](std::span<const double> v) { return (v[0] - v[1]) / (v[0] + v[1]); };
    const auto centre = [](std::span<const double> v) {  // x₁, u₁, x₂, u₂
        return (v[1] * v[2] - v[3] * v[0]) / (v[1] - v[3]);
    };
    const auto slope = [&](double u) { return std::sqrt(kPi) / 2.0 * std::exp(u * u); };
    Inputs in;
    const auto sdev = ByName("PeakCentringGaussSDev");
    for (int i = 0; i < 1000; ++i) {
        double a1, a2;
        const Measurement m = RandomMeasurement(in, a1, a2);
        const double sx = in.Uniform(0.001, 0.05);
        const double sA1 = std::sqrt(m.A1) * in.Uniform(0.5, 2),
                     sB1 = std::sqrt(m.B1) * in.Uniform(0.5, 2);
        const double sA2 = std::sqrt(m.A2) * in.Uniform(0.5, 2),
                     sB2 = std::sqrt(m.B2) * in.Uniform(0.5, 2);
        const double c1[] = {m.A1, m.B1}, sc1[] = {sA1, sB1};
        const double c2[] = {m.A2, m.B2}, sc2[] = {sA2, sB2};
        const double u1 = InverseErfPolynomial(asymmetry(c1));
        const double u2 = InverseErfPolynomial(asymmetry(c2));
        const double sU1 = slope(u1) * PropagatedSDev(asymmetry, c1, sc1);
        const double sU2 = slope(u2) * PropagatedSDev(asymmetry, c2, sc2);
        const double v[] = {m.x1, u1, m.x2, u2}, sv[] = {sx, sU1, sx, sU2};
        const double args[] = {m.x1, m.A1, m.B1, m.x2, m.A2, m.B2, sx, sA1, sB1, sA2, sB2};
        EXPECT_LT(RelativeDifference(sdev(args), PropagatedSDev(centre, v, sv, 1e-5)), 1e-6)
            << a1 << " " << a2;
    }
}

}  // namespace
}  // namespace vantrel::testing
