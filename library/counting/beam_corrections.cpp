// Flipping ratio and asymmetry as an ideal beam would give them, from those
// measured with a beam of polarisation P and a flipper that flips a spin with
// probability f. With I↑, I↓ the intensities of the two pure spin states,
//   I+ = ½[(1 + P)·I↑ + (1 − P)·I↓],   I− = ½[(1 − P′)·I↑ + (1 + P′)·I↓],
// P′ = (2f − 1)·P the polarisation left after the flipper. The mixing has the
// determinant P·f: with P = 0 or f = 0 both states see the same beam, and the
// measurement says nothing of I↑/I↓ (the formulas would give −1 or −1/P).
#include <cmath>

#include "arithmetic/square.h"
#include "columns/column_loop.h"
#include "vantrel/counting/asymmetries.h"
#include "vantrel/counting/flipping_ratios.h"
#include "vantrel/nan.h"

namespace vantrel::counting {
namespace {

// A polarisation outside [−1, 1], a probability outside [0, 1], or a beam
// whose two states cannot be told apart.
bool UnusableBeam(double P, double f) noexcept {
    return P < -1.0 || P > 1.0 || f < 0.0 || f > 1.0 || P == 0.0 || f == 0.0;
}

double FlippedPolarisation(double P, double f) noexcept { return (2.0 * f - 1.0) * P; }

}  // namespace

double FlippingRatioCorrected(double R, double P, double f) noexcept {
    if (UnusableBeam(P, f)) return kNaN;
    const double Pf = FlippedPolarisation(P, f);
    const double denominator = (1.0 + P) - R * (1.0 - Pf);
    if (denominator == 0.0) return kNaN;
    return (R * (1.0 + Pf) - (1.0 - P)) / denominator;
}

// With N and D the numerator and denominator of the value: ∂R₀/∂R = 4fP/D²,
// and since D − N = 2(1 − R), ∂R₀/∂P = (1 + (2f − 1)R)·2(1 − R)/D² and
// ∂R₀/∂f = 2PR·2(1 − R)/D².
double FlippingRatioCorrectedSDev(double R, double P, double f, double sigmaR, double sigmaP,
                                  double sigmaF) noexcept {
    if (UnusableBeam(P, f)) return kNaN;
    const double Pf = FlippedPolarisation(P, f);
    const double D = (1.0 + P) - R * (1.0 - Pf);
    if (D == 0.0) return kNaN;
    const double ratio = Square(((2.0 * f) * P) * sigmaR);
    const double beam =
        Square(1.0 + (2.0 * f - 1.0) * R) * Square(sigmaP) + Square(((2.0 * P) * R) * sigmaF);
    return (2.0 * std::sqrt(ratio + Square(1.0 - R) * beam)) / (D * D);
}

double AsymmetryCorrected(double A, double P, double f) noexcept {
    if (UnusableBeam(P, f)) return kNaN;
    const double denominator = P * (f - A * (1.0 - f));
    if (denominator == 0.0) return kNaN;
    return A / denominator;
}

// With Q = f − A(1 − f): ∂A₀/∂A = f/(PQ²), ∂A₀/∂P = −A/(P²Q) and
// ∂A₀/∂f = −A(1 + A)/(PQ²), over the common denominator P²Q².
double AsymmetryCorrectedSDev(double A, double P, double f, double sigmaA, double sigmaP,
                              double sigmaF) noexcept {
    if (UnusableBeam(P, f)) return kNaN;
    const double Q = f - A * (1.0 - f);
    if (P * Q == 0.0) return kNaN;
    const double measured = Square(f * sigmaA) + Square((A * (1.0 + A)) * sigmaF);
    const double beam = Square((A * Q) * sigmaP);
    return std::sqrt(measured * Square(P) + beam) / (Square(P) * Square(Q));
}

}  // namespace vantrel::counting

VANTREL_COLUMN_KERNEL(vantrel::counting::FlippingRatioCorrected);
VANTREL_COLUMN_KERNEL(vantrel::counting::FlippingRatioCorrectedSDev);
VANTREL_COLUMN_KERNEL(vantrel::counting::AsymmetryCorrected);
VANTREL_COLUMN_KERNEL(vantrel::counting::AsymmetryCorrectedSDev);
