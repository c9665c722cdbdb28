// Asymmetries (library/counting/asymmetries.cpp).
// Where the expected values come from: the finite values of the reflection in
// cases/counting/reflection.h and of the four intensities are the examples
// docs/functions.md gives, and the case with I+ + I− < 0 is the one it works
// through under AsymmetryOptSDev; the NaN cases try the guards and NaN
// arguments that reference lists. The tests hold them to the bit natively
// (edge_cases_test.cpp) and the DLL within tests/accuracy/table.csv.
#include "cases/counting/reflection.h"
#include "support/edge_cases.h"

namespace vantrel::testing {

using namespace reflection;

std::vector<EdgeCase> AsymmetryCases() {
    return {
        {"Asymmetry", {1000, 200, 300, 150}, 0.6842105263157895},
        {"Asymmetry", {1, 3, 2, 0}, kQNaN},
        {"AsymmetrySDev", {1000, 200, 300, 150, 30, 15, 20, 10}, 0.041180245837447386},
        {"AsymmetrySDev", {1, 3, 2, 0, 1, 1, 1, 1}, kQNaN},
        {"AsymmetryOpt", kOpt, 0.7391304347826086},
        {"AsymmetryOptSDev", kOpt, 0.10014561826157711},
        // A zero monitor count or time no longer leaves the other position's asymmetry.
        {"AsymmetryOpt", Replaced(kOpt, 9, 0), kQNaN},
        {"AsymmetryOpt", Replaced(kOpt, 8, 0), kQNaN},
        {"AsymmetryOpt", Replaced(kOpt, 7, -0.0), kQNaN},
        {"AsymmetryOptSDev", Replaced(kOpt, 9, 0), kQNaN},
        // I+ + I− < 0: the deviation is positive all the same.
        {"AsymmetryOpt", {100, 200, 50, 150, 60, 30, 50, 40, 5000, 2500}, 0.2875536480686695},
        {"AsymmetryOptSDev", {100, 200, 50, 150, 60, 30, 50, 40, 5000, 2500}, 0.06553383303730394},
        {"AsymmetryOpt", Replaced(kOpt, 3, kQNaN), kQNaN},
        {"AsymmetryOptDDT", kDDT, 0.7419462872970516},
        {"AsymmetryOptDDTSDev", kDDTSDev, 0.0987070081875871},
        {"AsymmetryOptDDT", kParalysed, kQNaN},
        {"AsymmetryOptDDTSDev", kParalysedSDev, kQNaN},
        {"AsymmetryOptDDT", Replaced(kDDT, 9, 0), kQNaN},
        {"AsymmetryOptDDTSDev", Replaced(kDDTSDev, 9, 0), kQNaN},
    };
}

}  // namespace vantrel::testing
