#include "vantrel/lattice/reflection_angles.h"

#include <cmath>

#include "arithmetic/square.h"
#include "columns/column_loop.h"
#include "vantrel/nan.h"
#include "vantrel/pi.h"

namespace vantrel::lattice {

double LatticeSpacing(double s) noexcept {
    if (!(s > 0.0)) return kNaN;
    return 1.0 / (2.0 * s);
}

// |∂d/∂s| = 1/(2s²), divided by s twice so that s² neither overflows nor underflows.
double LatticeSpacingSDev(double s, double sigmaS) noexcept {
    if (!(s > 0.0)) return kNaN;
    return (std::fabs(sigmaS) / s) / (2.0 * s);
}

double TwoTheta(double s, double lambda) noexcept {
    if (!(s >= 0.0) || !(lambda > 0.0)) return kNaN;
    return 2.0 * std::asin(lambda * s) * kRadToDeg;
}

// ∂2θ/∂s = 2λ/√(1 − (λs)²) and ∂2θ/∂λ = 2s/√(1 − (λs)²) (radians); the root's
// argument as (1 − λs)(1 + λs), which keeps its digits near the edge of reach.
double TwoThetaSDev(double s, double lambda, double sigmaS, double sigmaLambda) noexcept {
    if (!(s >= 0.0) || !(lambda > 0.0)) return kNaN;
    const double x = lambda * s;
    if (!(x <= 1.0)) return kNaN;
    const double spread = QuadratureSum(lambda * sigmaS, s * sigmaLambda);
    if (spread == 0.0) return 0.0;
    return (2.0 * kRadToDeg) * spread / std::sqrt((1.0 - x) * (1.0 + x));
}

}  // namespace vantrel::lattice

VANTREL_COLUMN_KERNEL(vantrel::lattice::LatticeSpacing);
VANTREL_COLUMN_KERNEL(vantrel::lattice::LatticeSpacingSDev);
VANTREL_COLUMN_KERNEL(vantrel::lattice::TwoTheta);
VANTREL_COLUMN_KERNEL(vantrel::lattice::TwoThetaSDev);
