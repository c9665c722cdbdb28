#include "counting/optimal_times.h"

#include "host/params.h"

namespace vantrel::counting {

// Placeholder bodies until this subsystem lands: NaN for every input.
double OptCountingTimeTpp(double, double, double, double, double) noexcept { return kNaN; }
double OptCountingTimeTbp(double, double, double, double, double) noexcept { return kNaN; }
double OptCountingTimeTpm(double, double, double, double, double) noexcept { return kNaN; }
double OptCountingTimeTbm(double, double, double, double, double) noexcept { return kNaN; }
double OptCountingTimeTppSDev(double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }
double OptCountingTimeTbpSDev(double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }
double OptCountingTimeTpmSDev(double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }
double OptCountingTimeTbmSDev(double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }

}  // namespace vantrel::counting
