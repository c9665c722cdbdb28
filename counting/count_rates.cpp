#include "vantrel/counting/count_rates.h"

#include <cmath>

#include "host/params.h"

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
    return std::sqrt(((M + N) * N) / std::pow(M, 3.0));
}

}  // namespace vantrel::counting
