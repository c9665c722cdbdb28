// The centre of a peak from counts A and B at two positions x₁, x₂: where A
// and B would be equal, by a linear or a Gaussian model.
//   x1, x2                     positions, any unit: the centre comes out in it
//   A1, B1, A2, B2             counts A and B at each position, any common scale
//   sigmaX                     standard deviation of each position, unit of x
//   sigmaA1 … sigmaB2          standard deviations of the counts
#pragma once

namespace vantrel::peaks {

// Degree-19 polynomial S(x) interpolating the inverse error function at
// ±0.05, ±0.15, …, ±0.95. Within 1.4e-7 of erf⁻¹ for |x| ≤ 0.5, 2.3e-3 for
// |x| ≤ 0.95; finite at ±1 and steep beyond. Not exactly odd.
double InverseErfPolynomial(double x) noexcept;

// Zero of the straight line through (x₁, A₁ − B₁) and (x₂, A₂ − B₂).
// NaN when the two differences are equal.
double PeakCentringLin(double x1, double A1, double B1, double x2, double A2, double B2) noexcept;

// First-order standard deviation of PeakCentringLin: σx shared by both
// positions, one deviation per count. NaN when the differences are equal.
double PeakCentringLinSDev(double x1, double A1, double B1, double x2, double A2, double B2,
                           double sigmaX, double sigmaA1, double sigmaB1, double sigmaA2,
                           double sigmaB2) noexcept;

// Zero of the straight line through (x₁, S(a₁)) and (x₂, S(a₂)), with the
// asymmetries a = (A − B)/(A + B). NaN when A + B is 0 at either position or
// the two mapped asymmetries are equal.
double PeakCentringGauss(double x1, double A1, double B1, double x2, double A2, double B2) noexcept;

// First-order standard deviation of PeakCentringGauss, with the derivative of
// the exact inverse error function at S(a). NaN where PeakCentringGauss is.
double PeakCentringGaussSDev(double x1, double A1, double B1, double x2, double A2, double B2,
                             double sigmaX, double sigmaA1, double sigmaB1, double sigmaA2,
                             double sigmaB2) noexcept;

}  // namespace vantrel::peaks
