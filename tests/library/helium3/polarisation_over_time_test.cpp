// A cell over an experiment, read both ways: its transmission ratio from its
// polarisation and back, the decay composed; and every standard deviation
// against a numerical propagation of its value.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <span>

#include "helium3/constants.h"
#include "support/propagation.h"
#include "vantrel/helium3/helium3.h"
#include "vantrel/nan.h"

namespace vantrel::testing {
namespace {

using namespace vantrel::helium3;

TEST(CellOverTime, TransmissionRatioFromPolarisationAndBack) {
    struct Case {
        double p, T, L, lambda, PHe;
    };
    const Case cases[] = {
        {1, 293, 10, 2, 0.7},
        {0.8, 295, 12, 1.0, 0.75},
        {1.2, 300, 8, 4.5, 0.05},
        {1, 293, 10, 2, 1},
    };
    for (const Case& c : cases) {
        const double ratio = He3Transmission(c.p, c.T, c.L, c.lambda, c.PHe) /
                             He3Transmission(c.p, c.T, c.L, c.lambda, 0.0);
        EXPECT_LT(RelativeDifference(
                      He3PolarisationFromTransmission(c.p, c.T, c.L, c.lambda, ratio), c.PHe),
                  1e-12)
            << c.PHe;
    }
}

TEST(CellOverTime, DecayComposes) {
    const double P0 = 0.78, T1 = 160;
    for (const auto [t1, t2] : {std::array{0.0, 24.0}, {12.0, 36.0}, {100.0, 400.0}}) {
        EXPECT_LT(
            RelativeDifference(He3PolarisationAtTime(He3PolarisationAtTime(P0, T1, t1), T1, t2),
                               He3PolarisationAtTime(P0, T1, t1 + t2)),
            1e-15);
    }
}

// σ² = Jᵀ·C·J with the derivatives taken numerically and the covariance of
// PHe0 and T1 given by their deviations and correlation.
TEST(CellOverTime, DecayDeviationAgreesWithCorrelatedPropagation) {
    Inputs in(3);
    const auto at = ByName("He3PolarisationAtTime");
    for (int i = 0; i < 500; ++i) {
        const double P0 = in.Uniform(0.5, 0.85), T1 = in.Uniform(40, 400), t = in.Uniform(0, 300);
        const double s0 = in.LogUniform(1e-4, 0.03), sT = T1 * in.LogUniform(1e-3, 0.1);
        const double rho = in.Uniform(-1, 1);
        const std::array x{P0, T1, t};
        const std::array only0{s0, 0.0, 0.0}, onlyT{0.0, sT, 0.0};
        // Each one-parameter propagation gives |∂P/∂x|·σ; the signs are those
        // of the derivatives: ∂P/∂PHe0 > 0, ∂P/∂T1 > 0 for t > 0.
        const double a = PropagatedSDev(at, x, only0), b = PropagatedSDev(at, x, onlyT);
        const double expected = std::sqrt(a * a + b * b + 2 * rho * a * b);
        EXPECT_LT(RelativeDifference(He3PolarisationAtTimeSDev(P0, T1, t, s0, sT, rho), expected),
                  1e-6)
            << P0 << " " << T1 << " " << t << " " << rho;
    }
}

// The cross-section constant as an input of its own, with deviation √k₂.
double FromTransmission(std::span<const double> x) {
    const double O = (((x[0] * kAvogadro) / (x[1] * kGasConstant)) * x[2]) * x[5] * x[3];
    return std::acosh(x[4]) / O;
}

TEST(CellOverTime, TransmissionDeviationAgreesWithPropagation) {
    Inputs in(11);
    for (int i = 0; i < 500; ++i) {
        const double p = in.Uniform(0.5, 1.5), T = in.Uniform(270, 320), L = in.Uniform(5, 12),
                     lambda = in.Uniform(0.8, 3), ratio = in.Uniform(1.01, 3);
        const std::array x{p, T, L, lambda, ratio, kCrossSection / kReferenceWavelength};
        const std::array s{p * in.LogUniform(1e-3, 0.1),      T * in.LogUniform(1e-3, 0.1),
                           L * in.LogUniform(1e-3, 0.1),      lambda * in.LogUniform(1e-3, 0.1),
                           ratio * in.LogUniform(1e-4, 0.01), std::sqrt(kAbsorptionVariance)};
        EXPECT_LT(RelativeDifference(He3PolarisationFromTransmissionSDev(
                                         p, T, L, lambda, ratio, s[0], s[1], s[2], s[3], s[4]),
                                     PropagatedSDev(FromTransmission, x, s)),
                  1e-6)
            << ratio;
        // Its two parts: the ratio's alone, and the rest relative to the value.
        const std::array ratioOnly{0.0, 0.0, 0.0, 0.0, s[4], 0.0};
        const std::array cellOnly{s[0], s[1], s[2], s[3], 0.0, s[5]};
        EXPECT_LT(RelativeDifference(
                      He3PolarisationFromTransmissionPointSDev(p, T, L, lambda, ratio, s[4]),
                      PropagatedSDev(FromTransmission, x, ratioOnly)),
                  1e-6)
            << ratio;
        EXPECT_LT(RelativeDifference(He3PolarisationFromTransmissionCommonRelSDev(
                                         p, T, L, lambda, s[0], s[1], s[2], s[3]) *
                                         FromTransmission(x),
                                     PropagatedSDev(FromTransmission, x, cellOnly)),
                  1e-6)
            << ratio;
    }
}

}  // namespace
// Where the written grouping meets 0·∞ or leaves the range of a double, the
// value is the limit of the formula; ordinary inputs keep its bits. A cell
// read from a transmission needs every quantity above 0, as documented.
TEST(CellOverTime, EdgesGiveTheLimitOfTheFormula) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        double value, expected, tolerance;  // relative; NaN expected: NaN
    };
    const double tiny = 0.27593410508474355762;  // e^(−1)·√(0.01² + 0.75²)
    const Case cases[] = {
        {"sigmaT1 infinite", He3PolarisationAtTimeSDev(0.75, 150, 24, 0.01, inf, 0), inf, 0},
        {"t infinite", He3PolarisationAtTimeSDev(0.75, 150, inf, 0.01, 8, 0), 0, 0},
        {"t = 0, sigmaT1 infinite", He3PolarisationAtTimeSDev(0.75, 150, 0, 0.01, inf, 0), 0.01, 0},
        {"T1 = t = sigmaT1 = 1e-200",
         He3PolarisationAtTimeSDev(0.75, 1e-200, 1e-200, 0.01, 1e-200, 0), tiny, 1e-15},
        {"T1 = t = sigmaT1 = 1e200", He3PolarisationAtTimeSDev(0.75, 1e200, 1e200, 0.01, 1e200, 0),
         tiny, 1e-15},
        {"example", He3PolarisationAtTimeSDev(0.75, 150, 24, 0.01, 8, -0.6), 0.006825666430367661,
         0},
        {"p and T negative", He3PolarisationFromTransmission(-1, -293, 10, 2, 1.6), kNaN, 0},
        {"L and lambda negative", He3PolarisationFromTransmission(1, 293, -10, -2, 1.6), kNaN, 0},
        {"p and T negative, SDev",
         He3PolarisationFromTransmissionSDev(-1, -293, 10, 2, 1.6, 0, 0, 0, 0, 0.01), kNaN, 0},
    };
    for (const Case& c : cases) {
        if (std::isnan(c.expected)) {
            EXPECT_TRUE(std::isnan(c.value)) << c.name << ": " << c.value;
        } else if (std::isinf(c.expected)) {
            EXPECT_EQ(c.value, c.expected) << c.name;
        } else {
            EXPECT_LE(std::fabs(c.value - c.expected), c.tolerance * c.expected)
                << c.name << ": " << c.value;
        }
    }
}

}  // namespace vantrel::testing
