#include "lattice/reciprocal_cell.h"

namespace vantrel::lattice {

// Placeholder until this subsystem lands: every cell refused.
int ReciprocalCell(double, double, double, double, double, double, ReciprocalParameters&) noexcept {
    return kWrongLatticeError;
}

}  // namespace vantrel::lattice
