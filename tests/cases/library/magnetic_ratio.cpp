// The magnetic-to-nuclear ratio γ of a centric reflection and the ratio or
// asymmetry it gives (library/magnetic/magnetic_ratio.cpp). The first case of
// each is its documented example; the others pin the perfect beam's closed
// forms (R = ((1 + γ)/(1 − γ))², A = 2γ/(1 + γ²) at q² = 1), γ = 0, a beam
// polarised against the field, the double root where the deviation is +∞
// (0 without deviations), the sign-insensitive deviations and the NaN
// conditions. The values were computed with the functions;
// magnetic_ratio_test.cpp checks them against round trips and a numerical
// propagation.
#include "support/edge_cases.h"

namespace vantrel::testing {

std::vector<EdgeCase> MagneticRatioCases() {
    return {
        {"GammaFromFlippingRatio", {1.25, 0.95, 0.99, 0.8}, 0.07424675223044166},
        {"GammaFromFlippingRatio", {1, 0.9, 0.95, 0.5}, 0.0},
        {"GammaFromFlippingRatio", {4, 1, 1, 1}, 0.3333333333333333},
        {"GammaFromFlippingRatio", {0, 1, 1, 1}, -1.0},
        {"GammaFromFlippingRatio", {0.8, -0.9, 0.95, 0.6}, 0.10842523896061582},
        {"GammaFromFlippingRatio", {100, 1, 1, 0.25}, kQNaN},  // beyond reach at that q²
        {"GammaFromFlippingRatio", {-0.1, 1, 1, 1}, kQNaN},
        {"GammaFromFlippingRatio", {1.25, -0.0, 0.99, 0.8}, kQNaN},
        {"GammaFromFlippingRatio", {1.25, 0.95, 0, 0.8}, kQNaN},
        {"GammaFromFlippingRatio", {1.25, 0.95, 0.99, 0}, kQNaN},

        {"GammaFromFlippingRatioSDev",
         {1.25, 0.95, 0.99, 0.8, 0.02, 0.01, 0.005},
         0.005406905312966927},
        {"GammaFromFlippingRatioSDev",
         {1.25, 0.95, 0.99, 0.8, -0.02, -0.01, -0.005},
         0.005406905312966927},
        // γ = 0: only the ratio's deviation, σ_R/(4f·q²·|P|).
        {"GammaFromFlippingRatioSDev",
         {1, 0.9, 0.95, 0.5, 0.01, 0.01, 0.01},
         0.0058479532163742695},
        {"GammaFromFlippingRatioSDev", {0, 1, 1, 1, 0.01, 0, 0}, kInf},
        {"GammaFromFlippingRatioSDev", {0, 1, 1, 1, 0, 0, 0}, 0.0},
        {"GammaFromFlippingRatioSDev", {100, 1, 1, 0.25, 0.01, 0, 0}, kQNaN},
        {"GammaFromFlippingRatioSDev", {1.25, 1.01, 0.99, 0.8, 0.02, 0.01, 0.005}, kQNaN},

        {"FlippingRatioFromGamma", {0.05, 0.95, 0.99, 0.8}, 1.1622390891840608},
        {"FlippingRatioFromGamma", {0, 0.95, 0.99, 0.8}, 1.0},
        {"FlippingRatioFromGamma", {0.3333333333333333, 1, 1, 1}, 3.9999999999999996},
        {"FlippingRatioFromGamma", {0.2, -0.8, 0.9, 0.7}, 0.6660039761431412},
        {"FlippingRatioFromGamma", {1, 1, 1, 1}, kQNaN},  // I− = 0
        {"FlippingRatioFromGamma", {0.05, 0.95, 1.01, 0.8}, kQNaN},
        {"FlippingRatioFromGamma", {0.05, 0.95, 0.99, 1.1}, kQNaN},

        {"FlippingRatioFromGammaSDev",
         {0.05, 0.95, 0.99, 0.8, 0.005, 0.01, 0.005},
         0.017579757287830153},
        {"FlippingRatioFromGammaSDev",
         {0.05, 0.95, 0.99, 0.8, -0.005, -0.01, -0.005},
         0.017579757287830153},
        {"FlippingRatioFromGammaSDev", {0, 1, 1, 1, 0.01, 0, 0}, 0.04},  // 4f·P·q²·σ_γ
        {"FlippingRatioFromGammaSDev", {1, 1, 1, 1, 0.01, 0, 0}, kQNaN},

        {"GammaFromAsymmetry", {0.1, 0.95, 0.99, 0.8}, 0.06675837800188615},
        {"GammaFromAsymmetry", {0, 0.95, 0.99, 0.8}, 0.0},
        {"GammaFromAsymmetry", {0.6, 1, 1, 1}, 0.3333333333333333},
        {"GammaFromAsymmetry", {1, 1, 1, 1}, 1.0},
        {"GammaFromAsymmetry", {0.9, 1, 1, 0.25}, kQNaN},  // beyond reach at that q²
        {"GammaFromAsymmetry", {1.01, 1, 1, 1}, kQNaN},
        {"GammaFromAsymmetry", {0.1, 0, 0.99, 0.8}, kQNaN},

        {"GammaFromAsymmetrySDev", {0.1, 0.95, 0.99, 0.8, 0.01, 0.01, 0.005}, 0.006777841451102703},
        {"GammaFromAsymmetrySDev",
         {0.1, 0.95, 0.99, 0.8, -0.01, -0.01, -0.005},
         0.006777841451102703},
        {"GammaFromAsymmetrySDev", {1, 1, 1, 1, 0.01, 0, 0}, kInf},
        {"GammaFromAsymmetrySDev", {1, 1, 1, 1, 0, 0, 0}, 0.0},
        {"GammaFromAsymmetrySDev", {0.9, 1, 1, 0.25, 0.01, 0, 0}, kQNaN},

        {"AsymmetryFromGamma", {0.05, 0.95, 0.99, 0.8}, 0.0750329091706889},
        {"AsymmetryFromGamma", {-0.05, 0.95, 0.99, 0.8}, -0.07514681794574729},
        {"AsymmetryFromGamma", {0, 0.95, 0.99, 0.8}, 0.0},
        {"AsymmetryFromGamma", {1, 1, 1, 1}, 1.0},
        {"AsymmetryFromGamma", {0.05, -1.5, 0.99, 0.8}, kQNaN},
        {"AsymmetryFromGamma", {0.05, 0.95, 0.99, -0.0}, kQNaN},

        {"AsymmetryFromGammaSDev",
         {0.05, 0.95, 0.99, 0.8, 0.005, 0.01, 0.005},
         0.007520304779128633},
        {"AsymmetryFromGammaSDev",
         {0.05, 0.95, 0.99, 0.8, -0.005, -0.01, -0.005},
         0.007520304779128633},
        {"AsymmetryFromGammaSDev", {0, 1, 1, 1, 0.01, 0, 0}, 0.02},  // 2f·P·q²·σ_γ
        {"AsymmetryFromGammaSDev", {0.05, 0.95, 0, 0.8, 0.005, 0.01, 0.005}, kQNaN},
    };
}

}  // namespace vantrel::testing
