#include "vantrel/helium3/helium3.h"

#include <cmath>

#include "core/column_loop.h"
#include "helium3/constants.h"
#include "vantrel/nan.h"

namespace vantrel::helium3 {
namespace {

constexpr double NA = kAvogadro;
constexpr double R = kGasConstant;
constexpr double sigma0 = kCrossSection;
constexpr double lambda0 = kReferenceWavelength;
constexpr double k1 = kCrossSectionPerWavelengthSquared;
constexpr double k2 = kCrossSectionPerWavelengthVariance;
constexpr double NA2 = kAvogadroSquared;
constexpr double R2 = kGasConstantSquared;

constexpr double Sq(double x) noexcept { return x * x; }
double Cube(double x) noexcept { return std::pow(x, 3.0); }

// (T²·R)²: the temperature part of the denominator shared by the variances.
double TemperatureDenominator(double T) noexcept { return Sq(Sq(T) * R); }

// P_r outside [0, 1] is no polarisation at all; both polarisation functions
// reject it before anything else.
bool ReferenceOutOfRange(double Pr) noexcept { return Pr < 0.0 || Pr > 1.0; }

// With a reference, P_m must lie in [0, P_r] (and so in [0, 1]).
bool MeasuredOutOfRange(double Pr, double Pm) noexcept { return Pm < 0.0 || Pm > 1.0 || Pm > Pr; }

}  // namespace

// Strictly left to right: the order fixes the last bits of every result.
double CellOpacity(double p, double T, double L, double lambda) noexcept {
    return (((((p * NA) / (T * R)) * L) * sigma0) / lambda0) * lambda;
}

double He3Efficiency(double p, double T, double L, double lambda, double PHe) noexcept {
    return std::tanh(CellOpacity(p, T, L, lambda) * PHe);
}

// Product form: no division by the arguments, so P_He = 0 and the like stay finite.
double He3EfficiencySDev(double p, double T, double L, double lambda, double PHe, double sigmaP,
                         double sigmaT, double sigmaL, double sigmaLambda, double sigmaPHe) noexcept {
    const double v = std::cosh(CellOpacity(p, T, L, lambda) * PHe);
    const double t = (((T * PHe) * lambda) * sigma0) / lambda0;
    const double u = ((((p * PHe) * T) * lambda) * sigma0) / lambda0;
    const double S1 =
        (Sq(sigmaT) * Sq(PHe) + Sq(sigmaPHe) * Sq(T)) * Sq(lambda) + Sq(sigmaLambda) * Sq(T * PHe);
    const double S2 = S1 * k1 + Sq((T * PHe) * lambda) * k2;
    const double S3 = S2 * Sq(p) + Sq(sigmaP) * Sq(t);
    const double S4 = S3 * Sq(L) + Sq(sigmaL) * Sq(u);
    const double v2 = v * v;
    const double V = ((S4 * NA2) / (v2 * v2)) / TemperatureDenominator(T);
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
                           double sigmaT, double sigmaL, double sigmaLambda, double sigmaPHe) noexcept {
    const double O = CellOpacity(p, T, L, lambda);
    const double x = O * PHe;
    const double pL = p * L;
    const double Q1 = Sq(L) * Sq(sigmaP) + Sq(p) * Sq(sigmaL);
    const double sinhX = std::sinh(x);
    const double coshX = std::cosh(x);
    // Each variance is accumulated term by term in the grouping that fixes its bits.
    const double sT = (Sq(sigmaPHe) * Sq(pL) + Sq(PHe) * Q1) * Sq(T) + Sq(pL * PHe) * Sq(sigmaT);
    const double sLambda = sT * Sq(lambda) + Sq((pL * PHe) * T) * Sq(sigmaLambda);
    const double XS = (sLambda * k1 + Sq(((pL * PHe) * T) * lambda) * k2) * (sinhX * sinhX);
    const double c = (((p * T) * lambda) * sigma0) / lambda0;
    const double cLambda =
        (Sq(T) * Sq(sigmaP) + Sq(p) * Sq(sigmaT)) * Sq(lambda) + Sq(p * T) * Sq(sigmaLambda);
    const double cK = cLambda * k1 + Sq((p * T) * lambda) * k2;
    const double XC = (cK * Sq(L) + Sq(c) * Sq(sigmaL)) * (coshX * coshX);
    const double xLambda = (Q1 * Sq(T) + Sq(pL) * Sq(sigmaT)) * Sq(lambda) + Sq(pL * T) * Sq(sigmaLambda);
    const double XX = xLambda * k1 + Sq((pL * T) * lambda) * k2;
    const double V = (((XS + XC) - (std::sinh((O + O) * PHe) * PHe) * XX) * (std::exp(O * -2.0) * NA2)) /
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

double He3PolarisationSDev(double p, double T, double L, double lambda, double Pr, double Pm, double sigmaP,
                           double sigmaT, double sigmaL, double sigmaLambda, double sigmaPr,
                           double sigmaPm) noexcept {
    if (ReferenceOutOfRange(Pr)) return kNaN;
    if (Pr == 0.0) {
        const double r = Pm * Pm - 1.0;
        const double A = std::atanh(Pm) * r;
        const double wT =
            (Sq(lambda) * k2 + Sq(sigmaLambda) * k1) * Sq(T) + Sq((lambda * sigma0) / lambda0) * Sq(sigmaT);
        const double wP = wT * Sq(p) + Sq(((T * lambda) * sigma0) / lambda0) * Sq(sigmaP);
        const double W = wP * Sq(L) + Sq((((p * T) * lambda) * sigma0) / lambda0) * Sq(sigmaL);
        const double E1 = ((((p * L) * T) * lambda) * sigma0) / lambda0;
        const double G = (((p * L) * lambda) * sigma0) / lambda0;
        const double V = (((A * A) * W + Sq(E1) * Sq(sigmaPm)) * R2) / Sq(Sq(G) * (r * NA));
        return std::sqrt(V);
    }
    if (MeasuredOutOfRange(Pr, Pm)) return kNaN;
    const double B = std::log((Pm + Pm) / (Pr - Pm) + 1.0);
    const double xLambda =
        (Sq(p) * Sq(sigmaT) + Sq(T) * Sq(sigmaP)) * Sq(lambda) + Sq(p * T) * Sq(sigmaLambda);
    const double xK = xLambda * k1 + Sq((p * T) * lambda) * k2;
    const double X = xK * Sq(L) + Sq((((p * T) * lambda) * sigma0) / lambda0) * Sq(sigmaL);
    const double E2 = ((((p * L) * T) * lambda) * sigma0) / lambda0;
    const double H = (((p * L) * sigma0) / lambda0) * lambda;
    const double Y = ((Sq(sigmaPr) * Sq(Pm) + Sq(Pr) * Sq(sigmaPm)) * (Sq(E2) * 4.0)) /
                     ((Sq(Pm) - Sq(Pr)) * (Sq(Pm) - Sq(Pr)));
    const double V = ((X * Sq(B) + Y) * R2) / (Sq(Sq(H) * NA) * 4.0);
    return std::sqrt(V);
}

}  // namespace vantrel::helium3

VANTREL_COLUMN_KERNEL(vantrel::helium3::He3Efficiency);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3EfficiencySDev);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3Efficiency2);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3Efficiency2SDev);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3Transmission);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3TransmissionSDev);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3Polarisation);
VANTREL_COLUMN_KERNEL(vantrel::helium3::He3PolarisationSDev);
