// Peak centring (library/peaks/peak_centring.cpp).
// Where the expected values come from: the first case of each function is the
// example docs/functions.md gives for it; exchanging the two points must give
// the same values; the other linear values follow from the linear formula by
// hand (10.5, 10, and 0.01·√(0.6² + 0.4²) with exact counts); the NaN cases
// try the guards and NaN arguments that reference lists. The Gaussian mirror
// image and Gaussian deviation with exact counts were committed with the
// functions; their derivation is not recorded. The tests hold all of them to
// the bit natively (edge_cases_test.cpp) and the DLL within
// tests/accuracy/table.csv.
#include "support/edge_cases.h"

namespace vantrel::testing {

std::vector<EdgeCase> PeakCentringCases() {
    return {
        // Peak centring: (120, 80) at 10 and (70, 130) at 10.4, then reversed.
        {"PeakCentringLin", {10, 120, 80, 10.4, 70, 130}, 10.16},
        {"PeakCentringLin", {10.4, 70, 130, 10, 120, 80}, 10.16},
        {"PeakCentringGauss", {10, 120, 80, 10.4, 70, 130}, 10.158672276141123},
        {"PeakCentringGauss", {10.4, 70, 130, 10, 120, 80}, 10.158672276141123},
        {"PeakCentringLinSDev",
         {10, 120, 80, 10.4, 70, 130, 0.01, 10, 10, 10, 10},
         0.041424630354416},
        {"PeakCentringLinSDev",
         {10.4, 70, 130, 10, 120, 80, 0.01, 10, 10, 10, 10},
         0.041424630354416},
        {"PeakCentringGaussSDev",
         {10, 120, 80, 10.4, 70, 130, 0.01, 10, 10, 10, 10},
         0.04368830972620394},
        {"PeakCentringGaussSDev",
         {10.4, 70, 130, 10, 120, 80, 0.01, 10, 10, 10, 10},
         0.04368830972620394},
        {"PeakCentringLinSDev",
         {10, 120, 80, 10.4, 70, 130, 0.01, 0, 0, 0, 0},
         0.007211102550927979},
        {"PeakCentringGaussSDev",
         {10, 120, 80, 10.4, 70, 130, 0.01, 0, 0, 0, 0},
         0.007220455383782546},
        // Mirror images: exactly the midpoint linearly; the even residue of the
        // polynomial shifts the Gaussian centre.
        {"PeakCentringLin", {10, 150, 50, 11, 50, 150}, 10.5},
        {"PeakCentringGauss", {10, 150, 50, 11, 50, 150}, 10.50000000000037},
        // Equal differences, equal asymmetries, no counts at x₁.
        {"PeakCentringLin", {10, 120, 80, 11, 90, 50}, kQNaN},
        {"PeakCentringLinSDev", {10, 120, 80, 11, 90, 50, 0.01, 10, 10, 10, 10}, kQNaN},
        {"PeakCentringGauss", {10, 120, 80, 11, 60, 40}, kQNaN},
        {"PeakCentringGaussSDev", {10, 120, 80, 11, 60, 40, 0.01, 10, 10, 10, 10}, kQNaN},
        {"PeakCentringGauss", {10, 0, 0, 11, 50, 150}, kQNaN},
        {"PeakCentringGauss", {10, 0, -0.0, 11, 50, 150}, kQNaN},
        {"PeakCentringGauss", {10, 120, 80, 11, 0, 0}, kQNaN},
        {"PeakCentringGaussSDev", {10, 0, 0, 11, 50, 150, 0.01, 10, 10, 10, 10}, kQNaN},
        {"PeakCentringGaussSDev", {10, 120, 80, 11, -0.0, 0, 0.01, 10, 10, 10, 10}, kQNaN},
        {"PeakCentringLin", {10, 0, 0, 11, 50, 150}, 10.0},
        {"PeakCentringLin", {kQNaN, 120, 80, 10.4, 70, 130}, kQNaN},
        {"PeakCentringGauss", {10, kQNaN, 80, 10.4, 70, 130}, kQNaN},
    };
}

}  // namespace vantrel::testing
