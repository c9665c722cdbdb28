// Helium-3 cell functions (library/helium3/helium3.cpp).
// Where the expected values come from: for every function but He3Polarisation
// and its deviation, the first case is the example docs/functions.md gives for
// it; negated deviations must give the same values; the NaN and infinite cases
// try the conditions that reference lists. The other values were committed
// with the functions; their derivation is not recorded. The tests hold all of
// them to the bit natively (edge_cases_test.cpp) and the DLL within
// tests/accuracy/table.csv.
#include "support/edge_cases.h"

namespace vantrel::testing {

// The reference cell: p = 1 atm, T = 293 K, L = 10 cm, λ = 2 Å (O ≈ 1.4835).
std::vector<EdgeCase> Helium3Cases() {
    return {
        {"He3Efficiency", {1, 293, 10, 2, 0.7}, 0.7772776293899741},
        {"He3Efficiency", {1, 293, 10, 2, 0}, 0.0},
        {"He3Efficiency", {0, 293, 10, 2, 0.7}, 0.0},
        {"He3Efficiency", {1, 0, 10, 2, 0.7}, 1.0},
        {"He3Efficiency", {1, -0.0, 10, 2, 0.7}, -1.0},
        {"He3Efficiency", {0, 0, 10, 2, 0.7}, kQNaN},

        {"He3EfficiencySDev", {1, 293, 10, 2, 0.7, 0.01, 1, 0.1, 0.02, 0.01}, 0.009350667636169322},
        {"He3EfficiencySDev",
         {1, 293, 10, 2, 0.7, -0.01, -1, -0.1, -0.02, -0.01},
         0.009350667636169322},
        {"He3EfficiencySDev", {1, 293, 10, 2, 0.7, 0, 0, 0, 0, 0}, 0.0005395532313999681},

        {"He3Efficiency2", {5000, 10000, 2000, 10000}, 0.916515138991168},
        {"He3Efficiency2", {2, 1, 1, 1}, 0.8660254037844386},
        {"He3Efficiency2", {1, 1, 1, 1}, 0.0},
        {"He3Efficiency2", {2000, 10000, 5000, 10000}, kQNaN},
        {"He3Efficiency2", {1, 0, 1, 1}, 1.0},
        {"He3Efficiency2", {0, 1, 1, 1}, kQNaN},

        {"He3Efficiency2SDev", {5000, 10000, 2000, 10000}, 0.005237229365663817},
        {"He3Efficiency2SDev", {100, 200, 50, 200}, 0.05773502691896258},
        {"He3Efficiency2SDev", {2, 1, 1, 1}, 0.5400617248673217},
        {"He3Efficiency2SDev", {1, 1, 1, 1}, kQNaN},
        {"He3Efficiency2SDev", {0, 1, 1, 1}, kQNaN},
        {"He3Efficiency2SDev", {1, 1, 1, 0}, kQNaN},
        {"He3Efficiency2SDev", {2000, 10000, 5000, 10000}, kQNaN},

        {"He3Transmission", {1, 293, 10, 2, 0.7}, 0.3605461370670754},
        {"He3Transmission", {1, 293, 10, 2, 0}, 0.2268403999398731},

        {"He3TransmissionSDev",
         {1, 293, 10, 2, 0.7, 0.01, 1, 0.1, 0.02, 0.01},
         0.005993212957053664},
        {"He3TransmissionSDev",
         {1, 293, 10, 2, 0.7, -0.01, -1, -0.1, -0.02, -0.01},
         0.005993212957053664},
        {"He3TransmissionSDev", {1, 293, 10, 2, 0.7, 0, 0, 0, 0, 0}, 0.00032007589839696117},

        {"He3Polarisation", {1, 293, 10, 2, 0, 0.9}, 0.9923902677628704},
        {"He3Polarisation", {1, 293, 10, 2, 0.95, 0.9}, 1.2170195475449133},
        {"He3Polarisation", {1, 293, 10, 2, 0, -0.5}, -0.37027500010462816},
        {"He3Polarisation", {1, 293, 10, 2, 0, 1}, kInf},
        {"He3Polarisation", {1, 293, 10, 2, 0.9, 0.9}, kInf},
        {"He3Polarisation", {1, 293, 10, 2, 1, 0}, 0.0},
        {"He3Polarisation", {1, 293, 10, 2, 0.9, 0.95}, kQNaN},
        {"He3Polarisation", {1, 293, 10, 2, 1.2, 0.5}, kQNaN},
        {"He3Polarisation", {1, 293, 10, 2, -0.1, 0.5}, kQNaN},
        {"He3Polarisation", {1, 293, 10, 2, 0, 1.5}, kQNaN},

        {"He3PolarisationSDev",
         {1, 293, 10, 2, 0, 0.9, 0.01, 1, 0.1, 0.02, 0.01, 0.01},
         0.03958904285779224},
        {"He3PolarisationSDev",
         {1, 293, 10, 2, 0.95, 0.9, 0.01, 1, 0.1, 0.02, 0.01, 0.01},
         0.09776705764357661},
        {"He3PolarisationSDev",
         {1, 293, 10, 2, 0, 0, 0.01, 1, 0.1, 0.02, 0.01, 0.01},
         0.006740776594689779},
        {"He3PolarisationSDev", {1, 293, 10, 2, 0, 1, 0.01, 1, 0.1, 0.02, 0.01, 0.01}, kQNaN},
        {"He3PolarisationSDev", {1, 293, 10, 2, 0.9, 0.9, 0.01, 1, 0.1, 0.02, 0.01, 0.01}, kInf},
        {"He3PolarisationSDev",
         {1, 293, 10, 2, 0.95, 0.9, 0, 0, 0, 0, 0, 0},
         0.0015974402780801005},
        {"He3PolarisationSDev",
         {1, 293, 10, 2, 0.95, 0.9, -0.01, -1, -0.1, -0.02, -0.01, -0.01},
         0.09776705764357661},
    };
}

}  // namespace vantrel::testing
