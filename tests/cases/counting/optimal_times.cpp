// Optimal counting times (library/counting/optimal_times.cpp).
// Where the expected values come from: the values at kRates and kRateSigmas are
// the examples docs/functions.md gives, and OptCountingTimeTbmSDev with an
// exact own rate the value it quotes; a state with zero net rate taking all of
// T, split by √R, and an exact own rate of zero giving 0 follow from the
// formulas there by hand; the NaN and infinite cases try the conditions it
// lists. The value for OptCountingTimeTppSDev with an exact own rate was
// committed with the functions; its derivation is not recorded. The tests hold
// all of them to the bit natively (edge_cases_test.cpp) and the DLL within
// tests/accuracy/table.csv.
#include "support/edge_cases.h"

namespace vantrel::testing {

namespace {

const std::vector<double> kRates = {100, 10, 50, 10, 3600};
const std::vector<double> kRateSigmas = With(kRates, {1, 0.5, 0.8, 0.5});

}  // namespace

std::vector<EdgeCase> OptimalTimeCases() {
    return {
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
