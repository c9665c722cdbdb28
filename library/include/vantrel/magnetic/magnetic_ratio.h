// The magnetic-to-nuclear ratio γ = F_M/F_N of a centric reflection and the
// flipping ratio or asymmetry it gives, for moments along the field:
//   R = (1 + 2P·q²·γ + q²·γ²) / (1 − 2P′·q²·γ + q²·γ²),   P′ = (2f − 1)·P,
//   A = (R − 1)/(R + 1) = 2f·P·q²·γ / (1 + 2(1 − f)·P·q²·γ + q²·γ²).
//   R, A    flipping ratio I+/I−, asymmetry (I+ − I−)/(I+ + I−), as measured
//   gamma   F_M/F_N, dimensionless (F_M in the unit of F_N)
//   P       the incident beam's polarisation along the field, −1 … 1, not 0
//   f       the flipper's spin-flip probability, 0 < f ≤ 1
//   q2      sin²α, α the angle between the scattering vector and the field, 0 < q2 ≤ 1
// Every function gives NaN for P, f or q2 outside those ranges (q2 = 0: the
// reflection sees no magnetic scattering, so the ratio says nothing of γ).
#pragma once

namespace vantrel::magnetic {

// γ from a flipping ratio: of the two roots of the quadratic in γ, the one of
// smaller magnitude (the other belongs to a reflection whose magnetic part
// outweighs the nuclear one, which the ratio alone cannot tell apart). NaN
// for R < 0 and where the quadratic has no real root: a ratio further from 1
// than the beam can produce at that q2. At the edge of that range the two
// roots meet and γ moves without bound: the deviation is +∞ there (0 when no
// deviation is given), as for the asymmetry.
double GammaFromFlippingRatio(double R, double P, double f, double q2) noexcept;
double GammaFromFlippingRatioSDev(double R, double P, double f, double q2, double sigmaR,
                                  double sigmaP, double sigmaF) noexcept;

// The flipping ratio a reflection of ratio γ gives: for planning, and as the
// model of a fit. NaN where I− vanishes (q2 = 1, |P′| = 1 and γ = P′).
double FlippingRatioFromGamma(double gamma, double P, double f, double q2) noexcept;
double FlippingRatioFromGammaSDev(double gamma, double P, double f, double q2, double sigmaGamma,
                                  double sigmaP, double sigmaF) noexcept;

// The same pair for the asymmetry; NaN for |A| > 1 and where there is no real root.
double GammaFromAsymmetry(double A, double P, double f, double q2) noexcept;
double GammaFromAsymmetrySDev(double A, double P, double f, double q2, double sigmaA, double sigmaP,
                              double sigmaF) noexcept;
double AsymmetryFromGamma(double gamma, double P, double f, double q2) noexcept;
double AsymmetryFromGammaSDev(double gamma, double P, double f, double q2, double sigmaGamma,
                              double sigmaP, double sigmaF) noexcept;

}  // namespace vantrel::magnetic
