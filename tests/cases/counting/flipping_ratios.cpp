// Flipping ratios (library/counting/flipping_ratios.cpp).
// Where the expected values come from: the finite values of the reflection in
// cases/counting/reflection.h and of the four intensities are the examples
// docs/functions.md gives, and −∞ for a zero time the value it quotes; the NaN
// cases try the guards and NaN arguments that reference lists. The tests hold
// them to the bit natively (edge_cases_test.cpp) and the DLL within
// tests/accuracy/table.csv.
#include "cases/counting/reflection.h"
#include "support/edge_cases.h"

namespace vantrel::testing {

using namespace reflection;

std::vector<EdgeCase> FlippingRatioCases() {
    return {
        {"FlippingRatio", {1000, 200, 300, 150}, 5.333333333333333},
        {"FlippingRatio", {5, 1, 3, 3}, kQNaN},
        {"FlippingRatio", {5, 1, 3, kQNaN}, kQNaN},
        {"FlippingRatioSDev", {1000, 200, 300, 150, 30, 15, 20, 10}, 0.8258927081843614},
        {"FlippingRatioSDev", {5, 1, 3, 3, 1, 1, 1, 1}, kQNaN},
        {"FlippingRatioOpt", kOpt, 6.6666666666666625},
        {"FlippingRatioOptSDev", kOpt, 2.943168447798569},
        {"FlippingRatioOpt", Replaced(kOpt, 4, 0), -kInf},
        {"FlippingRatioOptSDev", Replaced(kOpt, 4, 0), kQNaN},
        {"FlippingRatioOptSDev", Replaced(kOpt, 9, -0.0), kQNaN},
        {"FlippingRatioOpt", Replaced(kOpt, 0, kQNaN), kQNaN},
        {"FlippingRatioOptDDT", kDDT, 6.750324453972278},
        {"FlippingRatioOptDDTSDev", kDDTSDev, 2.9645430454058976},
        {"FlippingRatioOptDDT", kParalysed, kQNaN},
        {"FlippingRatioOptDDTSDev", kParalysedSDev, kQNaN},
        {"FlippingRatioOptDDTSDev", With(kDDT, {1e-4, kQNaN}), kQNaN},
    };
}

}  // namespace vantrel::testing
