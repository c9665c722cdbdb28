#include "support/edge_cases.h"

namespace vantrel::testing {

namespace {

// One reflection: peak +, background +, peak −, background −, then the four
// counting times and the monitor counts of peak and background.
const std::vector<double> kOpt = {1000, 200, 300, 150, 60, 30, 50, 40, 5000, 2500};

std::vector<double> With(std::vector<double> args, std::initializer_list<double> more) {
    args.insert(args.end(), more);
    return args;
}

std::vector<double> Replaced(std::vector<double> args, std::size_t position, double value) {
    args[position] = value;
    return args;
}

const std::vector<double> kDDT = With(kOpt, {0.001, 1e-7});
const std::vector<double> kDDTSDev = With(kDDT, {1e-4, 1e-8});
// q_p+ = 0: one count in unit time with unit dead time.
const std::vector<double> kParalysed =
    Replaced(Replaced(Replaced(Replaced(kDDT, 0, 1), 4, 1), 10, 1), 11, 0);
const std::vector<double> kParalysedSDev = With(kParalysed, {1e-4, 1e-8});

const std::vector<double> kRates = {100, 10, 50, 10, 3600};
const std::vector<double> kRateSigmas = With(kRates, {1, 0.5, 0.8, 0.5});

}  // namespace

std::vector<EdgeCase> CountingStatisticsCases() {
    // Cases built on CountRateDDTSDev inherit its pow with exponent up to 5.
    constexpr int kDeadTimePow = 4;
    return {
        // Flipping ratios.
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
        {"FlippingRatioOptDDTSDev", kDDTSDev, 2.9645430454058976, kDeadTimePow},
        {"FlippingRatioOptDDT", kParalysed, kQNaN},
        {"FlippingRatioOptDDTSDev", kParalysedSDev, kQNaN},
        {"FlippingRatioOptDDTSDev", With(kDDT, {1e-4, kQNaN}), kQNaN},

        // Asymmetries.
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
        {"AsymmetryOptDDTSDev", kDDTSDev, 0.0987070081875871, kDeadTimePow},
        {"AsymmetryOptDDT", kParalysed, kQNaN},
        {"AsymmetryOptDDTSDev", kParalysedSDev, kQNaN},
        {"AsymmetryOptDDT", Replaced(kDDT, 9, 0), kQNaN},
        {"AsymmetryOptDDTSDev", Replaced(kDDTSDev, 9, 0), kQNaN},

        // Optimal counting times.
        {"OptCountingTimeTpp", kRates, 994.8240143224754},
        {"OptCountingTimeTbp", kRates, 314.59097562909915},
        {"OptCountingTimeTpm", kRates, 1582.7553148829522},
        {"OptCountingTimeTbm", kRates, 707.8296951654731},
        {"OptCountingTimeTppSDev", kRateSigmas, 23.98433840693751},
        {"OptCountingTimeTbpSDev", kRateSigmas, 10.81227719077766},
        {"OptCountingTimeTpmSDev", kRateSigmas, 23.386300415223705},
        {"OptCountingTimeTbmSDev", kRateSigmas, 19.760001103746998},
        // A state with zero net rate takes all the time.
        {"OptCountingTimeTpp", {40, 40, 50, 10, 1000}, 500.0},
        {"OptCountingTimeTbp", {40, 40, 50, 10, 1000}, 500.0},
        {"OptCountingTimeTpm", {40, 40, 50, 10, 1000}, 0.0},
        {"OptCountingTimeTbm", {40, 40, 50, 10, 1000}, 0.0},
        // Zero net rate in both states: D = 0.
        {"OptCountingTimeTpp", {40, 40, 10, 10, 1000}, kQNaN},
        {"OptCountingTimeTbp", {40, 40, 10, 10, 1000}, kQNaN},
        {"OptCountingTimeTpm", {40, 40, 10, 10, 1000}, kQNaN},
        {"OptCountingTimeTbm", {40, 40, 10, 10, 1000}, kQNaN},
        {"OptCountingTimeTppSDev", {40, 40, 10, 10, 1000, 1, 1, 1, 1}, kQNaN},
        {"OptCountingTimeTbpSDev", {40, 40, 10, 10, 1000, 1, 1, 1, 1}, kQNaN},
        {"OptCountingTimeTpmSDev", {40, 40, 10, 10, 1000, 1, 1, 1, 1}, kQNaN},
        {"OptCountingTimeTbmSDev", {40, 40, 10, 10, 1000, 1, 1, 1, 1}, kQNaN},
        // An exact own rate leaves only the other state's term: √(1.25·10)·3600/D.
        {"OptCountingTimeTbmSDev", Replaced(kRateSigmas, 8, 0), 8.793085082683067},
        {"OptCountingTimeTppSDev", Replaced(kRateSigmas, 5, -0.0), 23.462877452087604},
        // Own rate zero: exact gives the other state's term alone, uncertain gives +∞.
        {"OptCountingTimeTbmSDev", Replaced(Replaced(kRateSigmas, 3, 0), 8, 0), 0.0},
        {"OptCountingTimeTbmSDev", Replaced(kRateSigmas, 3, 0), kInf},
        {"OptCountingTimeTpp", Replaced(kRates, 0, -1), kQNaN},
        {"OptCountingTimeTbm", Replaced(kRates, 0, -1), kQNaN},
        {"OptCountingTimeTppSDev", Replaced(kRateSigmas, 0, -1), kQNaN},
        {"OptCountingTimeTbmSDev", Replaced(kRateSigmas, 0, -1), kQNaN},
        {"OptCountingTimeTpm", Replaced(kRates, 4, kQNaN), kQNaN},
    };
}

}  // namespace vantrel::testing
