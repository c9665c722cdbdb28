#include "counting/flipping_ratios.h"

#include "host/params.h"

namespace vantrel::counting {

// Placeholder bodies until this subsystem lands: NaN for every input.
double FlippingRatio(double, double, double, double) noexcept { return kNaN; }
double FlippingRatioSDev(double, double, double, double, double, double, double, double) noexcept { return kNaN; }
double FlippingRatioOpt(double, double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }
double FlippingRatioOptSDev(double, double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }
double FlippingRatioOptDDT(double, double, double, double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }
double FlippingRatioOptDDTSDev(double, double, double, double, double, double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }

}  // namespace vantrel::counting
