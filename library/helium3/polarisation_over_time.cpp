// The cell over an experiment: its gas polarisation relaxing with T₁, and the
// gas polarisation read from the ratio of its transmissions polarised and
// unpolarised. Library functions only: the plug-in does not carry them, and
// helium3.cpp, whose machine code the plug-in was verified with, stays as it is.
#include <algorithm>
#include <cmath>
#include <limits>

#include "arithmetic/square.h"
#include "columns/column_loop.h"
#include "helium3/constants.h"
#include "vantrel/helium3/helium3.h"
#include "vantrel/nan.h"

namespace vantrel::helium3 {
namespace {

// No gas, an infinitely opaque cell (T = 0) or a quantity not above 0 (two
// negative ones would give a positive opacity): no polarisation can be read
// from a transmission.
bool NoUsableCell(double p, double T, double L, double lambda, double O) noexcept {
    return !(p > 0.0) || !(T > 0.0) || !(L > 0.0) || !(lambda > 0.0) || !(O > 0.0) ||
           O == std::numeric_limits<double>::infinity();
}

}  // namespace

double He3PolarisationAtTime(double PHe0, double T1, double t) noexcept {
    if (T1 <= 0.0) return kNaN;
    return PHe0 * std::exp(-t / T1);
}

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The deviation where the written grouping below overflows, underflows or
// meets 0·∞: with x = t/T1, b·σ_T = ((PHe0·a)·x)·(σ_T/T1), no T1² to leave the
// range of a double. e^(−x) and x·e^(−x) are 0 only at their limit x = +∞
// (elsewhere they may underflow, yet an infinite deviation times them is
// +∞); a term whose derivative is exactly 0 adds nothing whatever its
// deviation; an infinite term makes the whole +∞; the square is completed
// relative to the larger term.
double AtTimeSDevRescaled(double PHe0, double T1, double t, double sigmaPHe0, double sigmaT1,
                          double rho) noexcept {
    const double x = t / T1;
    const double a = std::exp(-x);
    const bool settled = x == kInfinity;
    const bool level = PHe0 == 0.0 || x == 0.0 || settled;
    const double slope = PHe0 * (settled ? 0.0 : a * x);
    double u = a * std::fabs(sigmaPHe0), v = slope * (std::fabs(sigmaT1) / T1);
    if (std::isinf(sigmaPHe0)) u = settled ? 0.0 : kInfinity;
    if (std::isinf(sigmaT1)) v = level ? 0.0 : kInfinity;
    if (std::isnan(u) || std::isnan(v)) return kNaN;
    if (std::isinf(u) || std::isinf(v)) return kInfinity;
    const double scale = std::max(std::fabs(u), std::fabs(v));
    if (scale == 0.0) return 0.0;
    const double p = u / scale, q = v / scale;
    return scale * std::sqrt(Square(p + rho * q) + (1.0 - rho * rho) * Square(q));
}

}  // namespace

// √(a²σ₀² + b²σ_T² + 2ρ·a·b·σ₀σ_T) with u = a·|σ₀| and v = b·|σ_T|, written as
// the completed square (u + ρv)² + (1 − ρ²)v²: never negative for |ρ| ≤ 1, so
// ρ = ±1 with u = ∓v gives 0, not the NaN of a rounded −10⁻²⁰.
double He3PolarisationAtTimeSDev(double PHe0, double T1, double t, double sigmaPHe0, double sigmaT1,
                                 double rho) noexcept {
    if (T1 <= 0.0 || std::fabs(rho) > 1.0) return kNaN;
    const double a = std::exp(-t / T1);
    const double b = ((PHe0 * a) * t) / (T1 * T1);
    const double u = a * std::fabs(sigmaPHe0);
    const double v = b * std::fabs(sigmaT1);
    const double value = std::sqrt(Square(u + rho * v) + (1.0 - rho * rho) * Square(v));
    const bool anyNaN = std::isnan(PHe0) || std::isnan(T1) || std::isnan(t) ||
                        std::isnan(sigmaPHe0) || std::isnan(sigmaT1) || std::isnan(rho);
    if ((std::isfinite(value) && T1 * T1 >= std::numeric_limits<double>::min() &&
         std::isfinite(T1 * T1)) ||
        anyNaN)
        return value;
    return AtTimeSDevRescaled(PHe0, T1, t, sigmaPHe0, sigmaT1, rho);
}

// T_p/T_u = cosh(O·P_He): the glass and the unpolarised attenuation e^(−O)
// cancel. The ratio gives |P_He|; its sign is not in a transmission.
double He3PolarisationFromTransmission(double p, double T, double L, double lambda,
                                       double Tratio) noexcept {
    const double O = CellOpacity(p, T, L, lambda);
    if (Tratio < 1.0 || NoUsableCell(p, T, L, lambda, O)) return kNaN;
    return std::acosh(Tratio) / O;
}

// P_He = acosh(r)/O: relative errors of p, T, L, λ and of the cross-section
// constant (k₂/k₁, as every helium-3 deviation counts it) scale the value, and
// r enters through d acosh(r)/dr = 1/√((r − 1)(r + 1)). A ratio known exactly
// adds nothing, also at r = 1, where its derivative is infinite.
double He3PolarisationFromTransmissionSDev(double p, double T, double L, double lambda,
                                           double Tratio, double sigmaP, double sigmaT,
                                           double sigmaL, double sigmaLambda,
                                           double sigmaTratio) noexcept {
    const double O = CellOpacity(p, T, L, lambda);
    if (Tratio < 1.0 || NoUsableCell(p, T, L, lambda, O)) return kNaN;
    const double A = std::acosh(Tratio);
    const double relative = Square(sigmaP / p) + Square(sigmaT / T) + Square(sigmaL / L) +
                            Square(sigmaLambda / lambda) + kAbsorptionVariance / kAbsorptionSquared;
    const double ratio =
        sigmaTratio == 0.0 ? 0.0 : Square(sigmaTratio) / ((Tratio - 1.0) * (Tratio + 1.0));
    return std::sqrt(Square(A) * relative + ratio) / O;
}

double He3PolarisationFromTransmissionPointSDev(double p, double T, double L, double lambda,
                                                double Tratio, double sigmaTratio) noexcept {
    // Written to be false for a NaN ratio too: an exact deviation adds nothing
    // only to a ratio that is there.
    const double O = CellOpacity(p, T, L, lambda);
    if (!(Tratio >= 1.0) || NoUsableCell(p, T, L, lambda, O)) return kNaN;
    if (sigmaTratio == 0.0) return 0.0;
    return std::fabs(sigmaTratio) / std::sqrt((Tratio - 1.0) * (Tratio + 1.0)) / O;
}

double He3PolarisationFromTransmissionCommonRelSDev(double p, double T, double L, double lambda,
                                                    double sigmaP, double sigmaT, double sigmaL,
                                                    double sigmaLambda) noexcept {
    const double O = CellOpacity(p, T, L, lambda);
    if (NoUsableCell(p, T, L, lambda, O)) return kNaN;
    return std::sqrt(Square(sigmaP / p) + Square(sigmaT / T) + Square(sigmaL / L) +
                     Square(sigmaLambda / lambda) + kAbsorptionVariance / kAbsorptionSquared);
}

}  // namespace vantrel::helium3

VANTREL_COLUMN_KERNEL(vantrel::helium3::He3PolarisationAtTime);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3PolarisationAtTimeSDev);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3PolarisationFromTransmission);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3PolarisationFromTransmissionSDev);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3PolarisationFromTransmissionPointSDev);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3PolarisationFromTransmissionCommonRelSDev);
