#include "support/edge_cases.h"

namespace vantrel::testing {

// The reference cell: p = 1 atm, T = 293 K, L = 10 cm, λ = 2 Å (O ≈ 1.4835).
// Every function here but He3Efficiency2 reaches exp, log, pow(·, 3) or a
// hyperbolic function, whose last bit the DLL's runtime may round otherwise.
std::vector<EdgeCase> Helium3Cases() {
    constexpr int kUlps = 4;
    return {
        {"He3Efficiency", {1, 293, 10, 2, 0.7}, 0.7772776293899741, kUlps},
        {"He3Efficiency", {1, 293, 10, 2, 0}, 0.0, kUlps},
        {"He3Efficiency", {0, 293, 10, 2, 0.7}, 0.0, kUlps},
        {"He3Efficiency", {1, 0, 10, 2, 0.7}, 1.0, kUlps},
        {"He3Efficiency", {1, -0.0, 10, 2, 0.7}, -1.0, kUlps},
        {"He3Efficiency", {0, 0, 10, 2, 0.7}, kQNaN, kUlps},

        {"He3EfficiencySDev", {1, 293, 10, 2, 0.7, 0.01, 1, 0.1, 0.02, 0.01}, 0.009350667636169322, kUlps},
        {"He3EfficiencySDev", {1, 293, 10, 2, 0.7, -0.01, -1, -0.1, -0.02, -0.01},
         0.009350667636169322, kUlps},
        {"He3EfficiencySDev", {1, 293, 10, 2, 0.7, 0, 0, 0, 0, 0}, 0.0005395532313999681, kUlps},

        {"He3Efficiency2", {5000, 10000, 2000, 10000}, 0.916515138991168},
        {"He3Efficiency2", {2, 1, 1, 1}, 0.8660254037844386},
        {"He3Efficiency2", {1, 1, 1, 1}, 0.0},
        {"He3Efficiency2", {2000, 10000, 5000, 10000}, kQNaN},
        {"He3Efficiency2", {1, 0, 1, 1}, 1.0},
        {"He3Efficiency2", {0, 1, 1, 1}, kQNaN},

        {"He3Efficiency2SDev", {5000, 10000, 2000, 10000}, 0.005237229365663817, kUlps},
        {"He3Efficiency2SDev", {100, 200, 50, 200}, 0.05773502691896258, kUlps},
        {"He3Efficiency2SDev", {2, 1, 1, 1}, 0.5400617248673217, kUlps},
        {"He3Efficiency2SDev", {1, 1, 1, 1}, kQNaN, kUlps},
        {"He3Efficiency2SDev", {0, 1, 1, 1}, kQNaN, kUlps},
        {"He3Efficiency2SDev", {1, 1, 1, 0}, kQNaN, kUlps},
        {"He3Efficiency2SDev", {2000, 10000, 5000, 10000}, kQNaN, kUlps},

        {"He3Transmission", {1, 293, 10, 2, 0.7}, 0.3605461370670754, kUlps},
        {"He3Transmission", {1, 293, 10, 2, 0}, 0.2268403999398731, kUlps},

        {"He3TransmissionSDev", {1, 293, 10, 2, 0.7, 0.01, 1, 0.1, 0.02, 0.01}, 0.005993212957053664, kUlps},
        {"He3TransmissionSDev", {1, 293, 10, 2, 0.7, -0.01, -1, -0.1, -0.02, -0.01},
         0.005993212957053664, kUlps},
        {"He3TransmissionSDev", {1, 293, 10, 2, 0.7, 0, 0, 0, 0, 0}, 0.00032007589839696117, kUlps},

        {"He3Polarisation", {1, 293, 10, 2, 0, 0.9}, 0.9923902677628704, kUlps},
        {"He3Polarisation", {1, 293, 10, 2, 0.95, 0.9}, 1.2170195475449133, kUlps},
        {"He3Polarisation", {1, 293, 10, 2, 0, -0.5}, -0.37027500010462816, kUlps},
        {"He3Polarisation", {1, 293, 10, 2, 0, 1}, kInf, kUlps},
        {"He3Polarisation", {1, 293, 10, 2, 0.9, 0.9}, kInf, kUlps},
        {"He3Polarisation", {1, 293, 10, 2, 1, 0}, 0.0, kUlps},
        {"He3Polarisation", {1, 293, 10, 2, 0.9, 0.95}, kQNaN, kUlps},
        {"He3Polarisation", {1, 293, 10, 2, 1.2, 0.5}, kQNaN, kUlps},
        {"He3Polarisation", {1, 293, 10, 2, -0.1, 0.5}, kQNaN, kUlps},
        {"He3Polarisation", {1, 293, 10, 2, 0, 1.5}, kQNaN, kUlps},

        {"He3PolarisationSDev", {1, 293, 10, 2, 0, 0.9, 0.01, 1, 0.1, 0.02, 0.01, 0.01},
         0.03958904285779224, kUlps},
        {"He3PolarisationSDev", {1, 293, 10, 2, 0.95, 0.9, 0.01, 1, 0.1, 0.02, 0.01, 0.01},
         0.09776705764357661, kUlps},
        {"He3PolarisationSDev", {1, 293, 10, 2, 0, 0, 0.01, 1, 0.1, 0.02, 0.01, 0.01},
         0.006740776594689779, kUlps},
        {"He3PolarisationSDev", {1, 293, 10, 2, 0, 1, 0.01, 1, 0.1, 0.02, 0.01, 0.01}, kQNaN, kUlps},
        {"He3PolarisationSDev", {1, 293, 10, 2, 0.9, 0.9, 0.01, 1, 0.1, 0.02, 0.01, 0.01}, kInf, kUlps},
        {"He3PolarisationSDev", {1, 293, 10, 2, 0.95, 0.9, 0, 0, 0, 0, 0, 0}, 0.0015974402780801005, kUlps},
        {"He3PolarisationSDev", {1, 293, 10, 2, 0.95, 0.9, -0.01, -1, -0.1, -0.02, -0.01, -0.01},
         0.09776705764357661, kUlps},
    };
}

}  // namespace vantrel::testing
