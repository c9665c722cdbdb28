// Where a reflection is seen and what a polariser is worth: the deviations
// against a numerical propagation of their value functions, and the angle
// against the spacing it implies (Bragg's law, λ = 2d·sin θ).
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "support/propagation.h"
#include "vantrel/helium3/helium3.h"
#include "vantrel/lattice/reflection_angles.h"
#include "vantrel/pi.h"

namespace vantrel::testing {
namespace {

TEST(ReflectionAngles, DeviationsAgreeWithPropagation) {
    Inputs in(29);
    const auto d = ByName("LatticeSpacing");
    const auto twoTheta = ByName("TwoTheta");
    const auto merit = ByName("He3FigureOfMerit");
    for (int i = 0; i < 500; ++i) {
        const double lambda = in.Uniform(0.5, 6);
        // Up to 0.999 of the reach of λ, where the angle grows ever faster.
        const double s = in.Uniform(0.01, 0.999) / lambda;
        const double sS = s * in.LogUniform(1e-5, 1e-2), sL = lambda * in.LogUniform(1e-5, 1e-2);
        const std::array x1{s}, sx1{sS};
        EXPECT_LT(
            RelativeDifference(lattice::LatticeSpacingSDev(s, sS), PropagatedSDev(d, x1, sx1)),
            1e-7)
            << s;
        const std::array x2{s, lambda}, sx2{sS, sL};
        EXPECT_LT(RelativeDifference(lattice::TwoThetaSDev(s, lambda, sS, sL),
                                     PropagatedSDev(twoTheta, x2, sx2, 1e-9)),
                  1e-5)
            << s << " " << lambda;
        const double P = in.Uniform(-1, 1), T = in.Uniform(0.01, 0.99);
        const std::array x3{P, T}, sx3{in.LogUniform(1e-4, 0.03), in.LogUniform(1e-4, 0.03)};
        EXPECT_LT(RelativeDifference(helium3::He3FigureOfMeritSDev(P, T, sx3[0], sx3[1]),
                                     PropagatedSDev(merit, x3, sx3)),
                  1e-7)
            << P << " " << T;
    }
}

TEST(ReflectionAngles, TheAngleAndTheSpacingObeyBraggsLaw) {
    Inputs in(31);
    for (int i = 0; i < 1000; ++i) {
        const double lambda = in.Uniform(0.5, 6), s = in.Uniform(0.0, 1.0) / lambda;
        const double theta = lattice::TwoTheta(s, lambda) / 2.0 * kDegToRad;
        EXPECT_NEAR(2.0 * lattice::LatticeSpacing(s) * std::sin(theta), lambda, 1e-12 * lambda)
            << s << " " << lambda;
    }
}

}  // namespace
}  // namespace vantrel::testing
