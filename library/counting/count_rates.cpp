#include "vantrel/counting/count_rates.h"

#include <cmath>

#include "columns/column_loop.h"
#include "vantrel/nan.h"

namespace vantrel::counting {

double CountRate(double N, double t) noexcept {
    if (t == 0.0) return kNaN;
    return N / t;
}

double CountRateSDev(double N, double t) noexcept {
    if (t == 0.0) return kNaN;
    return std::sqrt(N) / t;
}

double CountRateMonitor(double N, double M) noexcept { return CountRate(N, M); }

double CountRateMonitorSDev(double N, double M) noexcept {
    if (M == 0.0) return kNaN;
    // pow, not a product: the C library's rounding of M³ fixes the last bits.
    return std::sqrt(((M + N) * N) / std::pow(M, 3.0));
}

}  // namespace vantrel::counting

VANTREL_COLUMN_KERNEL(vantrel::counting::CountRate);
VANTREL_COLUMN_KERNEL(vantrel::counting::CountRateSDev);
VANTREL_COLUMN_KERNEL(vantrel::counting::CountRateMonitor);
VANTREL_COLUMN_KERNEL(vantrel::counting::CountRateMonitorSDev);
