// sin(θ)/λ = 1/(2d) of the reflection (h, k, l) for each lattice setting.
// Edges in Å give Å⁻¹; angles in degrees.
#pragma once

namespace vantrel::lattice {

double STLcubic(double h, double k, double l, double a) noexcept;
double STLhexagonal(double h, double k, double l, double a, double c) noexcept;
double STLrhombohedral(double h, double k, double l, double a, double alpha) noexcept;
double STLtetragonal(double h, double k, double l, double a, double c) noexcept;
double STLorthorhombic(double h, double k, double l, double a, double b, double c) noexcept;
double STLmonoclinicB(double h, double k, double l, double a, double b, double c,
                      double beta) noexcept;
double STLmonoclinicC(double h, double k, double l, double a, double b, double c,
                      double gamma) noexcept;
double STLtriclinic(double h, double k, double l, double a, double b, double c, double alpha,
                    double beta, double gamma) noexcept;

}  // namespace vantrel::lattice
