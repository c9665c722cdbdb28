#include "counting/asymmetries.h"

#include "host/params.h"

namespace vantrel::counting {

// Placeholder bodies until this subsystem lands: NaN for every input.
double Asymmetry(double, double, double, double) noexcept { return kNaN; }
double AsymmetrySDev(double, double, double, double, double, double, double, double) noexcept { return kNaN; }
double AsymmetryOpt(double, double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }
double AsymmetryOptSDev(double, double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }
double AsymmetryOptDDT(double, double, double, double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }
double AsymmetryOptDDTSDev(double, double, double, double, double, double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }

}  // namespace vantrel::counting
