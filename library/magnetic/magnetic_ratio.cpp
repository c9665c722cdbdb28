// γ = F_M/F_N from a flipping ratio or an asymmetry, and back. Both inverse
// problems are the quadratic a·γ² − 2B·γ + c = 0 (a = c·q² for the ratio,
// a = A·q² for the asymmetry); its root of smaller magnitude is taken as
// c/(B + sign(B)·√(B² − a·c)), which loses no digits when γ is small, as it
// is for most reflections. Differentiating the quadratic implicitly gives
// ∂γ/∂x = −(∂G/∂x)/(∂G/∂γ) with |∂G/∂γ| = 2√(B² − a·c) at that root: the
// deviations need no second solution.
#include "vantrel/magnetic/magnetic_ratio.h"

#include <cmath>

#include "arithmetic/square.h"
#include "columns/column_loop.h"
#include "vantrel/nan.h"

namespace vantrel::magnetic {
namespace {

// Written to be false for NaN too: a NaN argument gives the guard's NaN.
bool UsableBeam(double P, double f, double q2) noexcept {
    return P >= -1.0 && P <= 1.0 && P != 0.0 && f > 0.0 && f <= 1.0 && q2 > 0.0 && q2 <= 1.0;
}

double FlippedPolarisation(double P, double f) noexcept { return (2.0 * f - 1.0) * P; }

// 1 + 2P·q²·γ + q²·γ²: I+ in units of |F_N|², and the numerator of A's slope in f.
double PlusIntensity(double gamma, double P, double q2) noexcept {
    return 1.0 + (2.0 * P) * q2 * gamma + q2 * Square(gamma);
}

// √(terms)/(2√D), |∂G/∂γ| = 2√D at the root. At a double root (D = 0) γ still
// has its value but moves without bound: +∞, as a transmission ratio of 1
// does, unless no term has a deviation, which then adds nothing.
double AtDoubleRoot(double terms, double D) noexcept {
    if (D == 0.0 && terms == 0.0) return 0.0;
    return std::sqrt(terms) / (2.0 * std::sqrt(D));
}

}  // namespace

double GammaFromFlippingRatio(double R, double P, double f, double q2) noexcept {
    if (!UsableBeam(P, f, q2) || !(R >= 0.0)) return kNaN;
    const double Pf = FlippedPolarisation(P, f);
    const double c = R - 1.0;
    const double B = q2 * (R * Pf + P);
    // The sign before the factor q², whose product may underflow to −0.
    const double inner = q2 * Square(R * Pf + P) - Square(c);
    if (!(inner >= 0.0)) return kNaN;
    if (c == 0.0) return 0.0;
    const double D = q2 * inner;
    return c / (B + std::copysign(std::sqrt(D), B));
}

double GammaFromFlippingRatioSDev(double R, double P, double f, double q2, double sigmaR,
                                  double sigmaP, double sigmaF) noexcept {
    const double gamma = GammaFromFlippingRatio(R, P, f, q2);
    if (std::isnan(gamma)) return kNaN;
    const double Pf = FlippedPolarisation(P, f);
    const double D = q2 * (q2 * Square(R * Pf + P) - Square(R - 1.0));
    const double minus = 1.0 - (2.0 * Pf) * q2 * gamma + q2 * Square(gamma);
    const double ratio = Square(minus * sigmaR);
    const double beam = Square(((2.0 * q2) * gamma * (R * (2.0 * f - 1.0) + 1.0)) * sigmaP) +
                        Square(((4.0 * q2) * gamma * R * P) * sigmaF);
    return AtDoubleRoot(ratio + beam, D);
}

double FlippingRatioFromGamma(double gamma, double P, double f, double q2) noexcept {
    if (!UsableBeam(P, f, q2)) return kNaN;
    const double Pf = FlippedPolarisation(P, f);
    const double minus = 1.0 - (2.0 * Pf) * q2 * gamma + q2 * Square(gamma);
    if (minus == 0.0) return kNaN;
    return PlusIntensity(gamma, P, q2) / minus;
}

// ∂R/∂γ = 4f·P·q²(1 − q²γ²)/I−², ∂R/∂P = 4f·q²γ(1 + q²γ²)/I−², ∂R/∂f = 4P·q²γ·I+/I−².
double FlippingRatioFromGammaSDev(double gamma, double P, double f, double q2, double sigmaGamma,
                                  double sigmaP, double sigmaF) noexcept {
    if (!UsableBeam(P, f, q2)) return kNaN;
    const double Pf = FlippedPolarisation(P, f);
    const double minus = 1.0 - (2.0 * Pf) * q2 * gamma + q2 * Square(gamma);
    if (minus == 0.0) return kNaN;
    const double g2 = q2 * Square(gamma);
    const double terms = Square((f * P * (1.0 - g2)) * sigmaGamma) +
                         Square((f * gamma * (1.0 + g2)) * sigmaP) +
                         Square((P * gamma * PlusIntensity(gamma, P, q2)) * sigmaF);
    return ((4.0 * q2) * std::sqrt(terms)) / Square(minus);
}

double GammaFromAsymmetry(double A, double P, double f, double q2) noexcept {
    if (!UsableBeam(P, f, q2) || !(A >= -1.0 && A <= 1.0)) return kNaN;
    const double Q = f - A * (1.0 - f);
    const double B = q2 * P * Q;
    const double inner = q2 * Square(P * Q) - Square(A);
    if (!(inner >= 0.0)) return kNaN;
    if (A == 0.0) return 0.0;
    const double D = q2 * inner;
    return A / (B + std::copysign(std::sqrt(D), B));
}

double GammaFromAsymmetrySDev(double A, double P, double f, double q2, double sigmaA, double sigmaP,
                              double sigmaF) noexcept {
    const double gamma = GammaFromAsymmetry(A, P, f, q2);
    if (std::isnan(gamma)) return kNaN;
    const double Q = f - A * (1.0 - f);
    const double D = q2 * (q2 * Square(P * Q) - Square(A));
    const double sum = 1.0 + (2.0 * (1.0 - f)) * P * q2 * gamma + q2 * Square(gamma);
    const double measured = Square(sum * sigmaA);
    const double beam = Square(((2.0 * q2) * gamma * Q) * sigmaP) +
                        Square(((2.0 * q2) * P * gamma * (1.0 + A)) * sigmaF);
    return AtDoubleRoot(measured + beam, D);
}

double AsymmetryFromGamma(double gamma, double P, double f, double q2) noexcept {
    if (!UsableBeam(P, f, q2)) return kNaN;
    const double sum = 1.0 + (2.0 * (1.0 - f)) * P * q2 * gamma + q2 * Square(gamma);
    if (sum == 0.0) return kNaN;
    return ((2.0 * f) * P * q2 * gamma) / sum;
}

// With S = 1 + 2(1 − f)P·q²γ + q²γ² (I+ + I− over 2|F_N|²): ∂A/∂γ = 2f·P·q²(1 − q²γ²)/S²,
// ∂A/∂P = 2f·q²γ(1 + q²γ²)/S², ∂A/∂f = 2P·q²γ·I+/S².
double AsymmetryFromGammaSDev(double gamma, double P, double f, double q2, double sigmaGamma,
                              double sigmaP, double sigmaF) noexcept {
    if (!UsableBeam(P, f, q2)) return kNaN;
    const double sum = 1.0 + (2.0 * (1.0 - f)) * P * q2 * gamma + q2 * Square(gamma);
    if (sum == 0.0) return kNaN;
    const double g2 = q2 * Square(gamma);
    const double terms = Square((f * P * (1.0 - g2)) * sigmaGamma) +
                         Square((f * gamma * (1.0 + g2)) * sigmaP) +
                         Square((P * gamma * PlusIntensity(gamma, P, q2)) * sigmaF);
    return ((2.0 * q2) * std::sqrt(terms)) / Square(sum);
}

}  // namespace vantrel::magnetic

VANTREL_COLUMN_KERNEL(vantrel::magnetic::GammaFromFlippingRatio);
VANTREL_COLUMN_KERNEL(vantrel::magnetic::GammaFromFlippingRatioSDev);
VANTREL_COLUMN_KERNEL(vantrel::magnetic::FlippingRatioFromGamma);
VANTREL_COLUMN_KERNEL(vantrel::magnetic::FlippingRatioFromGammaSDev);
VANTREL_COLUMN_KERNEL(vantrel::magnetic::GammaFromAsymmetry);
VANTREL_COLUMN_KERNEL(vantrel::magnetic::GammaFromAsymmetrySDev);
VANTREL_COLUMN_KERNEL(vantrel::magnetic::AsymmetryFromGamma);
VANTREL_COLUMN_KERNEL(vantrel::magnetic::AsymmetryFromGammaSDev);
