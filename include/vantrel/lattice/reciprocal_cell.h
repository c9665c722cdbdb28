// The reciprocal cell of a unit cell through its metric tensor.
#pragma once

namespace vantrel::lattice {

inline constexpr int kWrongLatticeError = 10013;

// Degree conversions on a 12-digit π, 3.14159265359, not full precision. The
// last digits of every lattice result depend on it, so it stays: a right
// angle has the cosine −1.0341155355510722e-13, not 0.
inline constexpr double kDegToRad = 0.017453292519944444;
inline constexpr double kRadToDeg = 57.29577951307855;

// Smallest accepted determinant of the metric (squared cell volume). It is
// absolute: a cell below about 3.2e-7 Å³ is refused however sound its angles.
inline constexpr double kSingularMetricLimit = 1e-13;

struct ReciprocalParameters {
    double aStar, bStar, cStar;             // reciprocal lengths, no factor 2π
    double alphaStar, betaStar, gammaStar;  // degrees
};

// Edges in any one length unit, angles in degrees (α between b and c, β
// between a and c, γ between a and b). Status 0 and all six outputs written,
// or kWrongLatticeError and `out` untouched when the determinant of the
// metric is below kSingularMetricLimit (flat, impossible or tiny cells).
// NaN inputs are accepted and give NaN outputs.
int ReciprocalCell(double a, double b, double c, double alpha, double beta, double gamma,
                   ReciprocalParameters& out) noexcept;

}  // namespace vantrel::lattice
