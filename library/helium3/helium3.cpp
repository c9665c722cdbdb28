#include "vantrel/helium3/helium3.h"

#include <cmath>

#include "arithmetic/square.h"
#include "columns/column_loop.h"
#include "helium3/constants.h"
#include "vantrel/nan.h"

namespace vantrel::helium3 {
namespace {

// (x·σ₀)/λ₀ in this grouping, as every formula here forms it: with a factor λ
// in x, x times the absorption cross-section σ(λ) = σ₀·λ/λ₀. A macro rather
// than a function: a call, however inlined, makes the compiler schedule
// He3PolarisationSDev differently, and the plug-in's machine code stays
// exactly as it was verified (docs/numerics.md, rule 5).
#define VANTREL_ABSORPTION(x) (((x)*kCrossSection) / kReferenceWavelength)

// pow, not a product: the C library's rounding of the cube fixes the last bits.
double Cube(double x) noexcept { return std::pow(x, 3.0); }

// (T²·R)²: the temperature part of the denominator shared by the variances.
double TemperatureDenominator(double T) noexcept { return Square(Square(T) * kGasConstant); }

// P_r outside [0, 1] is no polarisation at all; both polarisation functions
// reject it before anything else.
bool ReferenceOutOfRange(double Pr) noexcept { return Pr < 0.0 || Pr > 1.0; }

// With a reference, P_m must lie in [0, P_r] (and so in [0, 1]).
bool MeasuredOutOfRange(double Pr, double Pm) noexcept { return Pm < 0.0 || Pm > 1.0 || Pm > Pr; }

}  // namespace

// Strictly left to right: the order fixes the last bits of every result.
double CellOpacity(double p, double T, double L, double lambda) noexcept {
    return VANTREL_ABSORPTION(((p * kAvogadro) / (T * kGasConstant)) * L) * lambda;
}

double He3Efficiency(double p, double T, double L, double lambda, double PHe) noexcept {
    return std::tanh(CellOpacity(p, T, L, lambda) * PHe);
}

// Product form: no division by the arguments, so P_He = 0 and the like stay finite.
double He3EfficiencySDev(double p, double T, double L, double lambda, double PHe, double sigmaP,
                         double sigmaT, double sigmaL, double sigmaLambda,
                         double sigmaPHe) noexcept {
    const double v = std::cosh(CellOpacity(p, T, L, lambda) * PHe);
    const double t = VANTREL_ABSORPTION((T * PHe) * lambda);
    const double u = VANTREL_ABSORPTION(((p * PHe) * T) * lambda);
    const double S1 =
        (Square(sigmaT) * Square(PHe) + Square(sigmaPHe) * Square(T)) * Square(lambda) +
        Square(sigmaLambda) * Square(T * PHe);
    const double S2 = S1 * kAbsorptionSquared + Square((T * PHe) * lambda) * kAbsorptionVariance;
    const double S3 = S2 * Square(p) + Square(sigmaP) * Square(t);
    const double S4 = S3 * Square(L) + Square(sigmaL) * Square(u);
    const double v2 = v * v;
    const double V = ((S4 * kAvogadroSquared) / (v2 * v2)) / TemperatureDenominator(T);
    return std::sqrt(V);
}

// T_p = T_u·cosh(O·P_He) and tanh² = 1 − 1/cosh².
double He3Efficiency2(double n1, double n2, double n3, double n4) noexcept {
    const double x = n1 / n2;
    const double y = n3 / n4;
    const double w = 1.0 - (y * y) / (x * x);
    if (w < 0.0) return kNaN;
    return std::sqrt(w);
}

double He3Efficiency2SDev(double n1, double n2, double n3, double n4) noexcept {
    const double D = (Cube(n1) * Cube(n4)) * ((n1 * n1) * (n4 * n4) - (n2 * n2) * (n3 * n3));
    if (D == 0.0) return kNaN;  // unpolarised cell, or n₁ or n₄ zero
    const double N = (Cube(n2) * Cube(n3)) * ((n3 + n4) * (n1 * n2) + (n1 + n2) * (n3 * n4));
    return std::sqrt(N / D);
}

double He3Transmission(double p, double T, double L, double lambda, double PHe) noexcept {
    const double O = CellOpacity(p, T, L, lambda);
    return std::cosh(O * PHe) * std::exp(-O);
}

// The square (P_He·sinh x − cosh x)² is expanded: X_S and X_C hold its squares,
// sinh(2x)·P_He·X_X its cross term.
double He3TransmissionSDev(double p, double T, double L, double lambda, double PHe, double sigmaP,
                           double sigmaT, double sigmaL, double sigmaLambda,
                           double sigmaPHe) noexcept {
    const double O = CellOpacity(p, T, L, lambda);
    const double x = O * PHe;
    const double pL = p * L;
    const double Q1 = Square(L) * Square(sigmaP) + Square(p) * Square(sigmaL);
    const double sinhX = std::sinh(x);
    const double coshX = std::cosh(x);
    // Each variance is accumulated term by term in the grouping that fixes its bits.
    const double sT = (Square(sigmaPHe) * Square(pL) + Square(PHe) * Q1) * Square(T) +
                      Square(pL * PHe) * Square(sigmaT);
    const double sLambda = sT * Square(lambda) + Square((pL * PHe) * T) * Square(sigmaLambda);
    const double XS =
        (sLambda * kAbsorptionSquared + Square(((pL * PHe) * T) * lambda) * kAbsorptionVariance) *
        (sinhX * sinhX);
    const double c = VANTREL_ABSORPTION((p * T) * lambda);
    const double cLambda =
        (Square(T) * Square(sigmaP) + Square(p) * Square(sigmaT)) * Square(lambda) +
        Square(p * T) * Square(sigmaLambda);
    const double cK = cLambda * kAbsorptionSquared + Square((p * T) * lambda) * kAbsorptionVariance;
    const double XC = (cK * Square(L) + Square(c) * Square(sigmaL)) * (coshX * coshX);
    const double xLambda = (Q1 * Square(T) + Square(pL) * Square(sigmaT)) * Square(lambda) +
                           Square(pL * T) * Square(sigmaLambda);
    const double XX =
        xLambda * kAbsorptionSquared + Square((pL * T) * lambda) * kAbsorptionVariance;
    const double V = (((XS + XC) - (std::sinh((O + O) * PHe) * PHe) * XX) *
                      (std::exp(O * -2.0) * kAvogadroSquared)) /
                     TemperatureDenominator(T);
    return std::sqrt(V);
}

double He3Polarisation(double p, double T, double L, double lambda, double Pr, double Pm) noexcept {
    const double O = CellOpacity(p, T, L, lambda);
    if (ReferenceOutOfRange(Pr)) return kNaN;
    // No reference: P_m is the cell's own polarising efficiency, taken as it is.
    if (Pr == 0.0) return std::atanh(Pm) / O;
    if (MeasuredOutOfRange(Pr, Pm)) return kNaN;
    return std::log((Pr + Pm) / (Pr - Pm)) / (O + O);  // atanh(P_m/P_r)/O
}

double He3PolarisationSDev(double p, double T, double L, double lambda, double Pr, double Pm,
                           double sigmaP, double sigmaT, double sigmaL, double sigmaLambda,
                           double sigmaPr, double sigmaPm) noexcept {
    if (ReferenceOutOfRange(Pr)) return kNaN;
    if (Pr == 0.0) {
        const double r = Pm * Pm - 1.0;
        const double A = std::atanh(Pm) * r;
        const double wT =
            (Square(lambda) * kAbsorptionVariance + Square(sigmaLambda) * kAbsorptionSquared) *
                Square(T) +
            Square(VANTREL_ABSORPTION(lambda)) * Square(sigmaT);
        const double wP = wT * Square(p) + Square(VANTREL_ABSORPTION(T * lambda)) * Square(sigmaP);
        const double W =
            wP * Square(L) + Square(VANTREL_ABSORPTION((p * T) * lambda)) * Square(sigmaL);
        const double E1 = VANTREL_ABSORPTION(((p * L) * T) * lambda);
        const double G = VANTREL_ABSORPTION((p * L) * lambda);
        const double V = (((A * A) * W + Square(E1) * Square(sigmaPm)) * kGasConstantSquared) /
                         Square(Square(G) * (r * kAvogadro));
        return std::sqrt(V);
    }
    if (MeasuredOutOfRange(Pr, Pm)) return kNaN;
    const double B = std::log((Pm + Pm) / (Pr - Pm) + 1.0);
    const double xLambda =
        (Square(p) * Square(sigmaT) + Square(T) * Square(sigmaP)) * Square(lambda) +
        Square(p * T) * Square(sigmaLambda);
    const double xK = xLambda * kAbsorptionSquared + Square((p * T) * lambda) * kAbsorptionVariance;
    const double X = xK * Square(L) + Square(VANTREL_ABSORPTION((p * T) * lambda)) * Square(sigmaL);
    const double E2 = VANTREL_ABSORPTION(((p * L) * T) * lambda);
    const double H = VANTREL_ABSORPTION(p * L) * lambda;
    const double Y =
        ((Square(sigmaPr) * Square(Pm) + Square(Pr) * Square(sigmaPm)) * (Square(E2) * 4.0)) /
        ((Square(Pm) - Square(Pr)) * (Square(Pm) - Square(Pr)));
    const double V =
        ((X * Square(B) + Y) * kGasConstantSquared) / (Square(Square(H) * kAvogadro) * 4.0);
    return std::sqrt(V);
}

}  // namespace vantrel::helium3

#undef VANTREL_ABSORPTION

VANTREL_COLUMN_KERNEL(vantrel::helium3::He3Efficiency);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3EfficiencySDev);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3Efficiency2);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3Efficiency2SDev);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3Transmission);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3TransmissionSDev);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3Polarisation);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3PolarisationSDev);
