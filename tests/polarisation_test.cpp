// The beam's polarisation over an experiment, read both ways: ratios measured
// with an imperfect beam from the beam model and corrected back, a cell's
// transmission ratio from its polarisation and back, the decay composed; and
// every standard deviation against a numerical propagation of its value.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <span>

#include "helium3/constants.h"
#include "support/propagation.h"
#include "vantrel/counting/asymmetries.h"
#include "vantrel/counting/flipping_ratios.h"
#include "vantrel/helium3/helium3.h"

namespace vantrel::testing {
namespace {

using namespace vantrel::counting;
using namespace vantrel::helium3;

// What a beam of polarisation P, flipped with probability f, measures of the
// pure spin states' intensities up and down.
struct Measured {
    double plus, minus;
};
Measured Measure(double up, double down, double P, double f) {
    const double flipped = (2 * f - 1) * P;
    return {0.5 * ((1 + P) * up + (1 - P) * down),
            0.5 * ((1 - flipped) * up + (1 + flipped) * down)};
}

TEST(BeamCorrections, MeasuredFromTrueAndCorrectedBack) {
    struct Case {
        double up, down, P, f;
    };
    const Case cases[] = {
        {6000, 1000, 0.95, 0.99},  // a strong magnetic reflection
        {1000, 6000, 0.95, 0.99},  // ratio below 1
        {1000, 1000, 0.9, 0.97},   // no magnetic contribution: R₀ = 1
        {3000, 200, 1, 1},         // a perfect beam changes nothing
        {3000, 200, -0.8, 0.9},    // the beam polarised the other way
        {3000, 200, 0.6, 0.5},     // a flipper that depolarises only
        {3000, 200, 0.3, 0.2},     // a poor flipper
        {-500, 2000, 0.9, 0.95},   // a negative net intensity
    };
    for (const Case& c : cases) {
        const auto [plus, minus] = Measure(c.up, c.down, c.P, c.f);
        const double R0 = c.up / c.down, A0 = (c.up - c.down) / (c.up + c.down);
        EXPECT_LT(RelativeDifference(FlippingRatioCorrected(plus / minus, c.P, c.f), R0), 1e-13)
            << c.up << " " << c.down << " " << c.P << " " << c.f;
        const double A = (plus - minus) / (plus + minus);
        EXPECT_LT(RelativeDifference(AsymmetryCorrected(A, c.P, c.f), A0), 1e-13)
            << c.up << " " << c.down << " " << c.P << " " << c.f;
    }
}

TEST(BeamCorrections, DeviationsAgreeWithPropagation) {
    Inputs in(17);
    const auto ratio = ByName("FlippingRatioCorrected");
    const auto asymmetry = ByName("AsymmetryCorrected");
    for (int i = 0; i < 500; ++i) {
        const double P = in.Uniform(0.3, 1) * (in.Uniform(0, 1) < 0.2 ? -1 : 1);
        const double f = in.Uniform(0.6, 0.999);
        const double up = in.LogUniform(100, 1e5), down = in.LogUniform(100, 1e5);
        const auto [plus, minus] = Measure(up, down, P, f);
        const double R = plus / minus, A = (plus - minus) / (plus + minus);
        const double sP = in.LogUniform(1e-4, 0.03), sF = in.LogUniform(1e-4, 0.03);
        const std::array r{R, P, f}, sr{R * in.LogUniform(1e-3, 0.1), sP, sF};
        EXPECT_LT(RelativeDifference(FlippingRatioCorrectedSDev(R, P, f, sr[0], sP, sF),
                                     PropagatedSDev(ratio, r, sr)),
                  1e-6)
            << R << " " << P << " " << f;
        const std::array a{A, P, f}, sa{in.LogUniform(1e-4, 0.05), sP, sF};
        EXPECT_LT(RelativeDifference(AsymmetryCorrectedSDev(A, P, f, sa[0], sP, sF),
                                     PropagatedSDev(asymmetry, a, sa)),
                  1e-6)
            << A << " " << P << " " << f;
    }
}

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
    }
}

}  // namespace
}  // namespace vantrel::testing
