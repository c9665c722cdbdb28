// Where a reflection of sin(θ)/λ = s is seen: its lattice spacing and its
// scattering angle at a wavelength.
//   s        sin(θ)/λ, Å⁻¹ (the STL functions' result)
//   lambda   neutron wavelength λ, Å
// d in Å; 2θ in degrees, through the library's π (vantrel/pi.h), as every
// angle of the lattice functions.
#pragma once

namespace vantrel::lattice {

// d = 1/(2s). NaN for s ≤ 0: no reflection has a spacing there.
double LatticeSpacing(double s) noexcept;
double LatticeSpacingSDev(double s, double sigmaS) noexcept;

// 2θ = 2·asin(λ·s). NaN for s < 0, λ ≤ 0 and beyond the reach of λ (λ·s > 1).
double TwoTheta(double s, double lambda) noexcept;
// +∞ at the edge of reach (λ·s = 1), where 2θ changes infinitely fast, unless
// both deviations are 0.
double TwoThetaSDev(double s, double lambda, double sigmaS, double sigmaLambda) noexcept;

}  // namespace vantrel::lattice
