// γ ↔ R and γ ↔ A: round trips, the perfect beam's closed form, the edges of
// the domain, and every deviation against a numerical propagation.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <span>

#include "support/propagation.h"
#include "vantrel/magnetic/magnetic_ratio.h"

namespace vantrel::testing {
namespace {

using namespace vantrel::magnetic;

TEST(MagneticRatio, RoundTripsThroughRatioAndAsymmetry) {
    struct Case {
        double gamma, P, f, q2;
    };
    const Case cases[] = {
        {0.05, 0.95, 0.99, 1},    // a weak magnetic reflection
        {-0.3, 0.95, 0.99, 0.8},  // negative γ: R below 1
        {0.9, 0.9, 0.97, 0.5},    // strong, at half the field's projection
        {1e-7, 0.93, 0.98, 1},    // γ so small that R − 1 carries few digits
        {0.2, -0.8, 0.9, 0.7},    // the beam polarised against the field
        {0.4, 0.6, 0.5, 1},       // a flipper that depolarises only
        {0.3, 1, 1, 1},           // a perfect beam
        {-0.95, 0.99, 1, 1e-3},   // the field nearly along the scattering vector
        {0, 0.9, 0.95, 0.6},      // no magnetic contribution
    };
    for (const Case& c : cases) {
        const double R = FlippingRatioFromGamma(c.gamma, c.P, c.f, c.q2);
        const double A = AsymmetryFromGamma(c.gamma, c.P, c.f, c.q2);
        // R holds γ only in R − 1: near 1 its rounding costs γ an absolute ~1e-16.
        const double tolerance = 1e-12 * std::fabs(c.gamma) + 1e-15;
        EXPECT_NEAR(GammaFromFlippingRatio(R, c.P, c.f, c.q2), c.gamma, tolerance)
            << c.gamma << " " << c.P << " " << c.f << " " << c.q2;
        EXPECT_NEAR(GammaFromAsymmetry(A, c.P, c.f, c.q2), c.gamma, 1e-12 * std::fabs(c.gamma))
            << c.gamma << " " << c.P << " " << c.f << " " << c.q2;
        // Both are views of the same two intensities.
        EXPECT_NEAR(A, (R - 1) / (R + 1), 1e-12 * std::fabs(A) + 1e-15) << c.gamma;
    }
}

// A perfect beam at q² = 1 gives R = ((1 + γ)/(1 − γ))², so γ = (√R − 1)/(√R + 1).
TEST(MagneticRatio, PerfectBeamClosedForm) {
    for (const double R : {0.01, 0.5, 1.0, 1.3, 4.0, 250.0}) {
        const double root = std::sqrt(R);
        EXPECT_LT(RelativeDifference(GammaFromFlippingRatio(R, 1, 1, 1), (root - 1) / (root + 1)),
                  1e-14)
            << R;
    }
}

// The smaller root is taken: the same ratio comes from γ and from 1/γ at q² = 1.
TEST(MagneticRatio, SmallerRootOfTwo) {
    const double P = 0.9, f = 0.95;
    const double R = FlippingRatioFromGamma(2.5, P, f, 1);
    EXPECT_LT(RelativeDifference(FlippingRatioFromGamma(1 / 2.5, P, f, 1), R), 1e-13);
    EXPECT_LT(RelativeDifference(GammaFromFlippingRatio(R, P, f, 1), 1 / 2.5), 1e-13);
}

TEST(MagneticRatio, OutsideTheDomainIsNaN) {
    struct Case {
        const char* why;
        double x, P, f, q2;
    };
    // x is R for the ratio and A for the asymmetry, chosen valid for both unless named.
    const Case cases[] = {
        {"P above 1", 0.2, 1.01, 0.9, 1},   {"P below −1", 0.2, -1.5, 0.9, 1},
        {"P zero", 0.2, 0, 0.9, 1},         {"f zero", 0.2, 0.9, 0, 1},
        {"f above 1", 0.2, 0.9, 1.01, 1},   {"q² zero", 0.2, 0.9, 0.9, 0},
        {"q² above 1", 0.2, 0.9, 0.9, 1.1}, {"q² negative", 0.2, 0.9, 0.9, -0.1},
        {"NaN x", NAN, 0.9, 0.9, 1},        {"NaN P", 0.2, NAN, 0.9, 1},
        {"NaN f", 0.2, 0.9, NAN, 1},        {"NaN q²", 0.2, 0.9, 0.9, NAN},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(std::isnan(GammaFromFlippingRatio(1 + c.x, c.P, c.f, c.q2))) << c.why;
        EXPECT_TRUE(std::isnan(GammaFromFlippingRatioSDev(1 + c.x, c.P, c.f, c.q2, 0.01, 0, 0)))
            << c.why;
        EXPECT_TRUE(std::isnan(GammaFromAsymmetry(c.x, c.P, c.f, c.q2))) << c.why;
        EXPECT_TRUE(std::isnan(GammaFromAsymmetrySDev(c.x, c.P, c.f, c.q2, 0.01, 0, 0))) << c.why;
        if (!std::isnan(c.x)) {
            EXPECT_TRUE(std::isnan(FlippingRatioFromGamma(c.x, c.P, c.f, c.q2))) << c.why;
            EXPECT_TRUE(std::isnan(FlippingRatioFromGammaSDev(c.x, c.P, c.f, c.q2, 0.01, 0, 0)))
                << c.why;
            EXPECT_TRUE(std::isnan(AsymmetryFromGamma(c.x, c.P, c.f, c.q2))) << c.why;
            EXPECT_TRUE(std::isnan(AsymmetryFromGammaSDev(c.x, c.P, c.f, c.q2, 0.01, 0, 0)))
                << c.why;
        }
    }
}

TEST(MagneticRatio, RatiosOutOfReachAreNaN) {
    // A perfect beam reaches R = 0 and R = ∞ at q² = 1 (γ = ∓1), but at
    // q² = 1/4 no γ takes the ratio beyond 3 (γ = 2).
    EXPECT_TRUE(std::isnan(GammaFromFlippingRatio(-0.1, 1, 1, 1)));
    EXPECT_TRUE(std::isnan(GammaFromFlippingRatio(100, 1, 1, 0.25)));
    EXPECT_TRUE(std::isnan(GammaFromFlippingRatio(INFINITY, 0.9, 0.9, 1)));
    EXPECT_TRUE(std::isnan(GammaFromAsymmetry(1.01, 1, 1, 1)));
    EXPECT_TRUE(std::isnan(GammaFromAsymmetry(0.9, 1, 1, 0.25)));
    // A poorer beam reaches less: a ratio the perfect beam gives is out of reach.
    const double R = FlippingRatioFromGamma(1, 1, 1, 0.9);
    EXPECT_FALSE(std::isnan(GammaFromFlippingRatio(R, 1, 1, 0.9)));
    EXPECT_TRUE(std::isnan(GammaFromFlippingRatio(R, 0.5, 1, 0.9)));
    // Out of reach by far, with every quantity near 1e-151: the discriminant's
    // sign is read before its factor q² takes it below the range of a double.
    EXPECT_TRUE(std::isnan(GammaFromAsymmetry(1.79e-151, 5.85e-151, 8.27e-151, 4.75e-151)));
    EXPECT_TRUE(std::isnan(GammaFromFlippingRatio(1.1, 1e-151, 1, 1e-323)));
    // R = 1 and A = 0 are γ = 0 exactly, with a finite deviation.
    EXPECT_EQ(GammaFromFlippingRatio(1, 0.9, 0.95, 0.5), 0.0);
    EXPECT_EQ(GammaFromAsymmetry(0, 0.9, 0.95, 0.5), 0.0);
    EXPECT_GT(GammaFromFlippingRatioSDev(1, 0.9, 0.95, 0.5, 0.01, 0.01, 0.01), 0.0);
    // Where I− vanishes the ratio has no value; the asymmetry there is 1.
    EXPECT_TRUE(std::isnan(FlippingRatioFromGamma(1, 1, 1, 1)));
    EXPECT_EQ(AsymmetryFromGamma(1, 1, 1, 1), 1.0);
}

TEST(MagneticRatio, DeviationsAgreeWithPropagation) {
    Inputs in(25);
    const auto gammaR = [](std::span<const double> x) {
        return GammaFromFlippingRatio(x[0], x[1], x[2], x[3]);
    };
    const auto gammaA = [](std::span<const double> x) {
        return GammaFromAsymmetry(x[0], x[1], x[2], x[3]);
    };
    const auto ratio = [](std::span<const double> x) {
        return FlippingRatioFromGamma(x[0], x[1], x[2], x[3]);
    };
    const auto asymmetry = [](std::span<const double> x) {
        return AsymmetryFromGamma(x[0], x[1], x[2], x[3]);
    };
    for (int i = 0; i < 500; ++i) {
        const double P = in.Uniform(0.3, 1) * (in.Uniform(0, 1) < 0.2 ? -1 : 1);
        const double f = in.Uniform(0.6, 0.999), q2 = in.Uniform(0.05, 1);
        const double gamma = in.Uniform(-0.8, 0.8);
        const double sP = in.LogUniform(1e-4, 0.03), sF = in.LogUniform(1e-4, 0.03);
        const double sG = in.LogUniform(1e-4, 0.05);
        const std::array g{gamma, P, f, q2}, sg{sG, sP, sF, 0.0};
        EXPECT_LT(RelativeDifference(FlippingRatioFromGammaSDev(gamma, P, f, q2, sG, sP, sF),
                                     PropagatedSDev(ratio, g, sg)),
                  1e-6)
            << gamma << " " << P << " " << f << " " << q2;
        EXPECT_LT(RelativeDifference(AsymmetryFromGammaSDev(gamma, P, f, q2, sG, sP, sF),
                                     PropagatedSDev(asymmetry, g, sg)),
                  1e-6)
            << gamma << " " << P << " " << f << " " << q2;

        const double R = FlippingRatioFromGamma(gamma, P, f, q2);
        const double sR = R * in.LogUniform(1e-3, 0.05);
        const std::array r{R, P, f, q2}, sr{sR, sP, sF, 0.0};
        EXPECT_LT(RelativeDifference(GammaFromFlippingRatioSDev(R, P, f, q2, sR, sP, sF),
                                     PropagatedSDev(gammaR, r, sr)),
                  1e-5)
            << R << " " << P << " " << f << " " << q2;
        const double A = AsymmetryFromGamma(gamma, P, f, q2);
        const double sA = in.LogUniform(1e-4, 0.02);
        const std::array a{A, P, f, q2}, sa{sA, sP, sF, 0.0};
        EXPECT_LT(RelativeDifference(GammaFromAsymmetrySDev(A, P, f, q2, sA, sP, sF),
                                     PropagatedSDev(gammaA, a, sa)),
                  1e-5)
            << A << " " << P << " " << f << " " << q2;
    }
}

}  // namespace
}  // namespace vantrel::testing
