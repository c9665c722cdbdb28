// Count rates (library/counting/count_rates.cpp, with the dead-time model of
// library/counting/dead_time.cpp).
// Where the expected values come from: for each function the case at the
// arguments of its example in docs/functions.md has that example's value; the
// NaN cases try the guards and NaN arguments that reference lists. The other
// finite values can be checked by hand: N/t, √N/t, n/(1 − τ·n) with n = N/t
// and its deviation √N/t/(1 − τ·n)², a monitor rate of no counts. The tests
// hold all of them to the bit natively (edge_cases_test.cpp) and the DLL
// within tests/accuracy/table.csv.
#include "support/edge_cases.h"

namespace vantrel::testing {

std::vector<EdgeCase> CountRateCases() {
    return {
        {"CountRate", {1000, 50}, 20.0},
        {"CountRate", {10, 2}, 5.0},
        {"CountRate", {5, 0}, kQNaN},
        {"CountRate", {5, -0.0}, kQNaN},
        {"CountRate", {kQNaN, 2}, kQNaN},
        {"CountRate", {5, kQNaN}, kQNaN},
        {"CountRateSDev", {400, 20}, 1.0},
        {"CountRateSDev", {1000, 50}, 0.6324555320336759},
        {"CountRateSDev", {-4, 2}, kQNaN},
        {"CountRateSDev", {4, 0}, kQNaN},
        {"CountRateDDT", {10000, 10, 0, 0}, 1000.0},
        {"CountRateDDT", {10000, 10, 1e-5, 0}, 1010.10101010101},
        {"CountRateDDT", {10000, 10, 1e-5, 1e-9}, 1011.1223458038422},
        {"CountRateDDT", {1, 1, 1, 0}, kQNaN},
        {"CountRateDDT", {10000, 10, kQNaN, 0}, kQNaN},
        {"CountRateDDTSDev", {10000, 10, 0, 0, 0, 0}, 10.0},
        {"CountRateDDTSDev", {10000, 10, 1e-5, 0, 0, 0}, 10.20304050607081},
        {"CountRateDDTSDev", {10000, 10, 1e-5, 1e-9, 1e-6, 1e-10}, 10.285356368427902},
        {"CountRateDDTSDev", {1, 1, 1, 0, 0, 0}, kQNaN},
        {"CountRateDDTSDev", {1, 1, 1, 0, 0, -0.0}, kQNaN},
        {"CountRateMonitor", {2500, 100000}, 0.025},
        {"CountRateMonitor", {2500, 0}, kQNaN},
        {"CountRateMonitor", {2500, -0.0}, kQNaN},
        {"CountRateMonitorSDev", {2500, 100000}, 0.0005062114182829146},
        {"CountRateMonitorSDev", {0, 100}, 0.0},
        {"CountRateMonitorSDev", {1, 0}, kQNaN},
        {"CountRateMonitorSDev", {1, kQNaN}, kQNaN},
    };
}

}  // namespace vantrel::testing
