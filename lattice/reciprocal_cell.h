// The reciprocal cell of a unit cell through its metric tensor.
#pragma once

namespace vantrel::lattice {

inline constexpr int kWrongLatticeError = 10013;

struct ReciprocalParameters {
    double aStar, bStar, cStar;          // reciprocal lengths, no factor 2π
    double alphaStar, betaStar, gammaStar;  // degrees
};

// Status 0 and all six outputs written, or kWrongLatticeError and none.
int ReciprocalCell(double a, double b, double c, double alpha, double beta, double gamma,
                   ReciprocalParameters& out) noexcept;

}  // namespace vantrel::lattice
