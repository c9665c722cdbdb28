#include "lattice/stl.h"

#include "host/params.h"

namespace vantrel::lattice {

// Placeholder bodies until this subsystem lands: NaN for every input.
double STLcubic(double, double, double, double) noexcept { return kNaN; }
double STLhexagonal(double, double, double, double, double) noexcept { return kNaN; }
double STLrhombohedral(double, double, double, double, double) noexcept { return kNaN; }
double STLtetragonal(double, double, double, double, double) noexcept { return kNaN; }
double STLorthorhombic(double, double, double, double, double, double) noexcept { return kNaN; }
double STLmonoclinicB(double, double, double, double, double, double, double) noexcept { return kNaN; }
double STLmonoclinicC(double, double, double, double, double, double, double) noexcept { return kNaN; }
double STLtriclinic(double, double, double, double, double, double, double, double, double) noexcept { return kNaN; }

}  // namespace vantrel::lattice
