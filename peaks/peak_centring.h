// The centre of a peak from counts A and B at two positions x₁, x₂: where A
// and B would be equal, by a linear or a Gaussian model.
#pragma once

namespace vantrel::peaks {

// Degree-19 polynomial approximation S(x) of the inverse error function.
double InverseErfPolynomial(double x) noexcept;

double PeakCentringLin(double x1, double A1, double B1, double x2, double A2, double B2) noexcept;
double PeakCentringLinSDev(double x1, double A1, double B1, double x2, double A2, double B2,
                           double sigmaX, double sigmaA1, double sigmaB1, double sigmaA2,
                           double sigmaB2) noexcept;
double PeakCentringGauss(double x1, double A1, double B1, double x2, double A2, double B2) noexcept;
double PeakCentringGaussSDev(double x1, double A1, double B1, double x2, double A2, double B2,
                             double sigmaX, double sigmaA1, double sigmaB1, double sigmaA2,
                             double sigmaB2) noexcept;

}  // namespace vantrel::peaks
