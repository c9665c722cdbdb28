// The reciprocal cell of a unit cell through its metric tensor.
#pragma once

#include "vantrel/pi.h"

namespace vantrel::lattice {

inline constexpr int kWrongLatticeError = 10013;

// Smallest accepted determinant of the metric (squared cell volume). It is
// absolute: a cell below about 3.2e-7 Å³ is refused however sound its angles.
inline constexpr double kSingularMetricLimit = 1e-13;

struct ReciprocalParameters {
    double aStar, bStar, cStar;             // reciprocal lengths, no factor 2π
    double alphaStar, betaStar, gammaStar;  // degrees
};

// Edges in any one length unit, angles in degrees (converted with kDegToRad of
// vantrel/pi.h) (α between b and c, β
// between a and c, γ between a and b). Status 0 and all six outputs written,
// or kWrongLatticeError and `out` untouched when the determinant of the
// metric is below kSingularMetricLimit (flat, impossible or tiny cells).
// NaN inputs are accepted and give NaN outputs.
int ReciprocalCell(double a, double b, double c, double alpha, double beta, double gamma,
                   ReciprocalParameters& out) noexcept;

}  // namespace vantrel::lattice
