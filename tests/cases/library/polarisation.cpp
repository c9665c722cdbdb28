// The library's own functions: the cell over an experiment
// (library/helium3/polarisation_over_time.cpp) and the ratios corrected for the beam
// (library/counting/beam_corrections.cpp). The first case of each is its documented
// example; the others pin the limits (no decay, a perfect beam), the
// sign-insensitive deviations and every NaN condition. The values were
// computed with the functions; polarisation_test.cpp checks them against the
// beam model and a numerical propagation.
#include "support/edge_cases.h"

namespace vantrel::testing {

std::vector<EdgeCase> LibraryEdgeCases() {
    const std::vector<double> cell{1, 293, 10, 2};
    return {
        {"He3PolarisationAtTime", {0.75, 150, 24}, 0.6391078417246585},
        {"He3PolarisationAtTime", {0.75, kInf, 24}, 0.75},
        {"He3PolarisationAtTime", {0.75, 150, 0}, 0.75},
        {"He3PolarisationAtTime", {-0.75, 150, 24}, -0.6391078417246585},
        {"He3PolarisationAtTime", {0.75, 0, 24}, kQNaN},
        {"He3PolarisationAtTime", {0.75, -0.0, 24}, kQNaN},
        {"He3PolarisationAtTime", {0.75, -150, 24}, kQNaN},

        {"He3PolarisationAtTimeSDev", {0.75, 150, 24, 0.01, 8, -0.6}, 0.006825666430367661},
        {"He3PolarisationAtTimeSDev", {0.75, 150, 24, -0.01, -8, -0.6}, 0.006825666430367661},
        {"He3PolarisationAtTimeSDev", {0.75, 150, 0, 0.01, 8, 0.3}, 0.01},
        {"He3PolarisationAtTimeSDev", {0.75, kInf, 24, 0.01, 8, 0.3}, 0.01},
        {"He3PolarisationAtTimeSDev", {0.75, 150, 24, 0.01, 8, 1.5}, kQNaN},
        {"He3PolarisationAtTimeSDev", {0.75, 150, 24, 0.01, 8, -1.0000000000000002}, kQNaN},
        {"He3PolarisationAtTimeSDev", {0.75, 0, 24, 0.01, 8, 0}, kQNaN},

        {"He3PolarisationFromTransmission", With(cell, {1.6}), 0.7057376816844649},
        {"He3PolarisationFromTransmission", With(cell, {1}), 0.0},
        {"He3PolarisationFromTransmission", With(cell, {0.99}), kQNaN},
        {"He3PolarisationFromTransmission", {0, 293, 10, 2, 1.6}, kQNaN},
        {"He3PolarisationFromTransmission", {1, 0, 10, 2, 1.6}, kQNaN},
        {"He3PolarisationFromTransmission", {1, -293, 10, 2, 1.6}, kQNaN},

        {"He3PolarisationFromTransmissionSDev", With(cell, {1.6, 0.01, 1, 0.1, 0.02, 0.02}),
         0.016510218826723055},
        {"He3PolarisationFromTransmissionSDev", With(cell, {1.6, -0.01, -1, -0.1, -0.02, -0.02}),
         0.016510218826723055},
        {"He3PolarisationFromTransmissionSDev", With(cell, {1, 0.01, 1, 0.1, 0.02, 0.02}), kInf},
        {"He3PolarisationFromTransmissionSDev", With(cell, {1, 0.01, 1, 0.1, 0.02, 0}), 0.0},
        {"He3PolarisationFromTransmissionSDev", With(cell, {1.6, 0, 0, 0, 0, 0}),
         0.00092633992671348794},
        {"He3PolarisationFromTransmissionSDev", With(cell, {0.99, 0.01, 1, 0.1, 0.02, 0.02}),
         kQNaN},

        // Its two parts: the squares of the point part and of the value times
        // the common part add up to the square above (0.0107939² + (0.705738·0.0177023)²).
        {"He3PolarisationFromTransmissionPointSDev", With(cell, {1.6, 0.02}), 0.010793881113202165},
        {"He3PolarisationFromTransmissionPointSDev", With(cell, {1.6, -0.02}),
         0.010793881113202165},
        {"He3PolarisationFromTransmissionPointSDev", With(cell, {4, 0.02}), 0.0034809220655651007},
        {"He3PolarisationFromTransmissionPointSDev", With(cell, {1, 0.02}), kInf},
        {"He3PolarisationFromTransmissionPointSDev", With(cell, {1, 0}), 0.0},
        {"He3PolarisationFromTransmissionPointSDev", With(cell, {kQNaN, 0}), kQNaN},
        {"He3PolarisationFromTransmissionPointSDev", With(cell, {0.99, 0.02}), kQNaN},
        {"He3PolarisationFromTransmissionPointSDev", {0, 293, 10, 2, 1.6, 0.02}, kQNaN},

        {"He3PolarisationFromTransmissionCommonRelSDev", With(cell, {0.01, 1, 0.1, 0.02}),
         0.017702294649375238},
        {"He3PolarisationFromTransmissionCommonRelSDev", With(cell, {-0.01, -1, -0.1, -0.02}),
         0.017702294649375238},
        // The cross-section constant's alone: √(k₂/k₁).
        {"He3PolarisationFromTransmissionCommonRelSDev", With(cell, {0, 0, 0, 0}),
         0.0013125839114931292},
        {"He3PolarisationFromTransmissionCommonRelSDev",
         {1, -293, 10, 2, 0.01, 1, 0.1, 0.02},
         kQNaN},
        {"He3PolarisationFromTransmissionCommonRelSDev",
         {1, 293, 10, 0, 0.01, 1, 0.1, 0.02},
         kQNaN},

        {"FlippingRatioCorrected", {5, 0.95, 0.99}, 5.9844236760124634},
        {"FlippingRatioCorrected", {5, 1, 1}, 5.0},
        {"FlippingRatioCorrected", {5, 0, 1}, kQNaN},
        {"FlippingRatioCorrected", {5, -0.0, 1}, kQNaN},
        {"FlippingRatioCorrected", {5, 0.95, 0}, kQNaN},
        {"FlippingRatioCorrected", {5, 1.1, 1}, kQNaN},
        {"FlippingRatioCorrected", {5, 0.95, 1.01}, kQNaN},
        {"FlippingRatioCorrected", {3, 0.5, 1}, kQNaN},  // (1 + P) = R(1 − P′)

        {"FlippingRatioCorrectedSDev", {5, 0.95, 0.99, 0.8, 0.01, 0.005}, 1.1917571130953273},
        {"FlippingRatioCorrectedSDev", {5, 0.95, 0.99, -0.8, -0.01, -0.005}, 1.1917571130953273},
        {"FlippingRatioCorrectedSDev", {5, 1, 1, 0.8, 0, 0}, 0.8},
        {"FlippingRatioCorrectedSDev", {3, 0.5, 1, 0.8, 0.01, 0.005}, kQNaN},
        {"FlippingRatioCorrectedSDev", {5, -1.5, 1, 0.8, 0.01, 0.005}, kQNaN},

        {"AsymmetryCorrected", {0.6, 0.95, 0.99}, 0.6418485237483954},
        {"AsymmetryCorrected", {0.6, 1, 1}, 0.6},
        {"AsymmetryCorrected", {0.6, -1, 1}, -0.6},
        {"AsymmetryCorrected", {0.6, 0, 1}, kQNaN},
        {"AsymmetryCorrected", {0.6, 0.95, 0}, kQNaN},
        {"AsymmetryCorrected", {1, 0.9, 0.5}, kQNaN},  // f = A(1 − f)

        {"AsymmetryCorrectedSDev", {0.6, 0.95, 0.99, 0.04, 0.01, 0.005}, 0.04388907348810858},
        {"AsymmetryCorrectedSDev", {0.6, 0.95, 0.99, -0.04, -0.01, -0.005}, 0.04388907348810858},
        {"AsymmetryCorrectedSDev", {0.6, 1, 1, 0.04, 0, 0}, 0.04},
        {"AsymmetryCorrectedSDev", {1, 0.9, 0.5, 0.04, 0.01, 0.005}, kQNaN},
        {"AsymmetryCorrectedSDev", {0.6, 0.95, -0.5, 0.04, 0.01, 0.005}, kQNaN},
    };
}

}  // namespace vantrel::testing
