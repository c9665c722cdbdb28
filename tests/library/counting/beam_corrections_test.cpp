// Ratios measured with an imperfect beam, from the beam model, and corrected
// back; every standard deviation against a numerical propagation of its value.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <span>

#include "support/propagation.h"
#include "vantrel/counting/asymmetries.h"
#include "vantrel/counting/flipping_ratios.h"

namespace vantrel::testing {
namespace {

using namespace vantrel::counting;

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

// Where the written grouping overflows or underflows, the value is the one the
// formula tends to: R itself for a perfect beam, the deviation of R for a
// perfect beam with R and σ_R near 1e200, a deviation with P near 1e-151.
TEST(BeamCorrections, EdgesGiveTheLimitOfTheFormula) {
    struct Case {
        const char* name;
        double value, expected, tolerance;  // relative
    };
    const Case cases[] = {
        {"perfect beam, R = 1e308", FlippingRatioCorrected(1e308, 1, 1), 1e308, 0},
        {"perfect beam, R = 1.7e308", FlippingRatioCorrected(1.7e308, 1, 1), 1.7e308, 0},
        {"R = 1e308, P = 0.99", FlippingRatioCorrected(1e308, 0.99, 1), -199, 1e-14},
        {"R and sigmaR 1e200", FlippingRatioCorrectedSDev(1e200, 1, 1, 1e200, 0, 0), 1e200, 1e-15},
        {"P = 1e-151", AsymmetryCorrectedSDev(0.3, 1e-151, 0.9, 1e-5, 1e-153, 0),
         3.4482963630535767368e+148, 1e-14},
        // Ordinary inputs keep the written grouping's bits.
        {"example", FlippingRatioCorrected(5, 0.95, 0.99), 5.984423676012463, 0},
    };
    for (const Case& c : cases)
        EXPECT_LE(std::fabs(c.value - c.expected), c.tolerance * std::fabs(c.expected))
            << c.name << ": " << c.value;
}

}  // namespace
}  // namespace vantrel::testing
