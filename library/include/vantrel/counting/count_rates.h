// Count rates per unit time and per monitor count, with standard deviations.
// Counts and monitor counts are Poisson variables; times are exact.
//   N  counts
//   t  counting time, any unit: the rates come out per that unit
//   M  monitor counts
#pragma once

#include "vantrel/counting/dead_time.h"

namespace vantrel::counting {

// N/t; NaN when t = 0.
double CountRate(double N, double t) noexcept;
// √N/t; NaN when t = 0.
double CountRateSDev(double N, double t) noexcept;
// N/M; NaN when M = 0.
double CountRateMonitor(double N, double M) noexcept;
// √(N/M² + N²/M³); NaN when M = 0.
double CountRateMonitorSDev(double N, double M) noexcept;

}  // namespace vantrel::counting
