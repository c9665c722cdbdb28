// sin(θ)/λ = 1/(2d) of the reflection (h, k, l) for each lattice setting.
//   h, k, l              Miller indices; need not be integers
//   a, b, c              cell edges, Å (any length unit; the result is its inverse)
//   alpha, beta, gamma   cell angles, degrees: α between b and c, β between a
//                        and c, γ between a and b
// Result: sin(θ)/λ in Å⁻¹.
#pragma once

namespace vantrel::lattice {

// Closed forms in the direct cell. NaN when a guarded edge is 0; a negative
// edge carries its sign into the result.
double STLcubic(double h, double k, double l, double a) noexcept;
double STLhexagonal(double h, double k, double l, double a, double c) noexcept;
double STLtetragonal(double h, double k, double l, double a, double c) noexcept;
double STLorthorhombic(double h, double k, double l, double a, double b, double c) noexcept;

// Through the reciprocal cell, with the angles the lattice system fixes (90°
// in the monoclinic settings, α = β = γ in the rhombohedral one). NaN for any
// cell that ReciprocalCell refuses; never negative.
double STLrhombohedral(double h, double k, double l, double a, double alpha) noexcept;
double STLmonoclinicB(double h, double k, double l, double a, double b, double c,
                      double beta) noexcept;
double STLmonoclinicC(double h, double k, double l, double a, double b, double c,
                      double gamma) noexcept;
double STLtriclinic(double h, double k, double l, double a, double b, double c, double alpha,
                    double beta, double gamma) noexcept;

}  // namespace vantrel::lattice
