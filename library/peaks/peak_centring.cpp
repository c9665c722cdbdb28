#include "vantrel/peaks/peak_centring.h"

#include <array>
#include <cmath>
#include <optional>

#include "arithmetic/square.h"
#include "columns/column_loop.h"
#include "vantrel/nan.h"
#include "vantrel/pi.h"

namespace vantrel::peaks {
namespace {

// Interpolation of erf⁻¹ at ±0.05, ±0.15, …, ±0.95; the even coefficients
// are residue of the fit and kept as they are.
constexpr std::array<double, 20> kInverseErfCoefficients = {
    1.9984014443252818e-15, 0.8862269106082287,   3.963496197911809e-14,   0.23202082965039034,
    3.125832925832128e-13,  0.12703288632527693,  -3.3933411636155597e-12, 0.10023334436514425,
    2.91690005482792e-11,   -0.10311856355056132, 1.366189383844585e-10,   1.148563634025252,
    3.6082525856073744e-10, -3.9627980009259867,  5.395195401547426e-10,   8.22054124550718,
    4.205684689395639e-10,  -8.702399491304316,   1.326059262396484e-10,   3.850157790038759,
};

// c_k·x^k with the power taken by pow and a double exponent: the C library's
// rounding of each power fixes the last bits of the polynomial.
double Term(double x, int k) noexcept {
    return kInverseErfCoefficients[k] * std::pow(x, static_cast<double>(k));
}

// A₁ − B₁ − (A₂ − B₂) as the linear model groups it.
double LinearDenominator(double A1, double B1, double A2, double B2) noexcept {
    return ((A1 - B1) - A2) + B2;
}

// The Gaussian model's mapped asymmetries, or nothing when a guard fails
// (A₁ + B₁, then A₂ + B₂, then u₁ − u₂ equal to 0).
struct MappedAsymmetries {
    double s1, s2, u1, u2, delta;
};

std::optional<MappedAsymmetries> MapAsymmetries(double A1, double B1, double A2,
                                                double B2) noexcept {
    const double s1 = B1 + A1;
    if (s1 == 0.0) return std::nullopt;
    const double s2 = B2 + A2;
    if (s2 == 0.0) return std::nullopt;
    const double u1 = InverseErfPolynomial((A1 - B1) / s1);
    const double u2 = InverseErfPolynomial((A2 - B2) / s2);
    const double delta = u1 - u2;
    if (delta == 0.0) return std::nullopt;
    return MappedAsymmetries{s1, s2, u1, u2, delta};
}

}  // namespace

double InverseErfPolynomial(double x) noexcept {
    double s = Term(x, 3) + Term(x, 4);
    s = s + ((Term(x, 2) + kInverseErfCoefficients[1] * x) + kInverseErfCoefficients[0]);
    for (int j = 5; j <= 17; j += 2) s = s + (Term(x, j) + Term(x, j + 1));
    return Term(x, 19) + s;
}

double PeakCentringLin(double x1, double A1, double B1, double x2, double A2, double B2) noexcept {
    const double den = LinearDenominator(A1, B1, A2, B2);
    if (den == 0.0) return kNaN;
    return ((((x2 * A1) - (x2 * B1)) - (A2 * x1)) + (B2 * x1)) / den;
}

double PeakCentringLinSDev(double x1, double A1, double B1, double x2, double A2, double B2,
                           double sigmaX, double sigmaA1, double sigmaB1, double sigmaA2,
                           double sigmaB2) noexcept {
    const double den = LinearDenominator(A1, B1, A2, B2);
    if (den == 0.0) return kNaN;
    const double d1 = A1 - B1;
    const double d2 = A2 - B2;
    const double F = Square(x1 - x2) / (den * den);
    const double V = ((((Square(sigmaB2) + Square(sigmaA2)) * Square(d1)) +
                       ((Square(sigmaB1) + Square(sigmaA1)) * Square(d2))) *
                      F) +
                     Square(sigmaX) * (Square(d1) + Square(d2));
    return std::sqrt(V) / std::fabs(den);
}

double PeakCentringGauss(double x1, double A1, double B1, double x2, double A2,
                         double B2) noexcept {
    const auto m = MapAsymmetries(A1, B1, A2, B2);
    if (!m) return kNaN;
    return ((m->u1 * x2) - (m->u2 * x1)) / m->delta;
}

double PeakCentringGaussSDev(double x1, double A1, double B1, double x2, double A2, double B2,
                             double sigmaX, double sigmaA1, double sigmaB1, double sigmaA2,
                             double sigmaB2) noexcept {
    const auto m = MapAsymmetries(A1, B1, A2, B2);
    if (!m) return kNaN;
    const auto [s1, s2, u1, u2, delta] = *m;
    // (du/da)² = (π/4)·e^(2u²): the slope of erf⁻¹ itself at the mapped value,
    // not that of the polynomial.
    const double e2 = std::exp(Square(u2) + Square(u2));
    const double e1 = std::exp(Square(u1) + Square(u1));
    const double V2 = (((Square(sigmaB2) * Square(A2)) + (Square(sigmaA2) * Square(B2))) * 4.0) /
                      ((s2 * s2) * (s2 * s2));
    const double V1 = (((Square(sigmaA1) * Square(B1)) + (Square(sigmaB1) * Square(A1))) * 4.0) /
                      ((s1 * s1) * (s1 * s1));
    const double G = ((e2 * V2) * Square(u1)) + ((e1 * V1) * Square(u2));
    const double F = ((Square(x1 - x2) * kPi) * 0.25) / (delta * delta);
    const double V = (G * F) + Square(sigmaX) * (Square(u1) + Square(u2));
    return std::sqrt(V) / std::fabs(delta);
}

}  // namespace vantrel::peaks

VANTREL_COLUMN_KERNEL(vantrel::peaks::PeakCentringLin);
VANTREL_COLUMN_KERNEL(vantrel::peaks::PeakCentringLinSDev);
VANTREL_COLUMN_KERNEL(vantrel::peaks::PeakCentringGauss);
VANTREL_COLUMN_KERNEL(vantrel::peaks::PeakCentringGaussSDev);
