// Flipping ratio and asymmetry as an ideal beam would give them, from those
// measured with a beam of polarisation P and a flipper that flips a spin with
// probability f. With I↑, I↓ the intensities of the two pure spin states,
//   I+ = ½[(1 + P)·I↑ + (1 − P)·I↓],   I− = ½[(1 − P′)·I↑ + (1 + P′)·I↓],
// P′ = (2f − 1)·P the polarisation left after the flipper. The mixing has the
// determinant P·f: with P = 0 or f = 0 both states see the same beam, and the
// measurement says nothing of I↑/I↓ (the formulas would give −1 or −1/P).
#include <algorithm>
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

// A NaN argument reaches the value by the written grouping, never by a rescaled one.
template <class... X>
bool AnyNaN(X... x) noexcept {
    return (std::isnan(x) || ...);
}

}  // namespace

// Where R·(1 + P′) overflows, numerator and denominator are both halved:
// exact in binary, so the quotient is the one the written grouping would give
// with a wider exponent (a perfect beam gives R itself, not +∞).
double FlippingRatioCorrected(double R, double P, double f) noexcept {
    if (UnusableBeam(P, f)) return kNaN;
    const double Pf = FlippedPolarisation(P, f);
    const double denominator = (1.0 + P) - R * (1.0 - Pf);
    if (denominator == 0.0) return kNaN;
    const double numerator = R * (1.0 + Pf) - (1.0 - P);
    if (std::isinf(numerator) && std::isfinite(R)) {
        const double half = 0.5 * R;
        return (half * (1.0 + Pf) - 0.5 * (1.0 - P)) / (0.5 * (1.0 + P) - half * (1.0 - Pf));
    }
    return numerator / denominator;
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
    const double value = (2.0 * std::sqrt(ratio + Square(1.0 - R) * beam)) / (D * D);
    if (std::isfinite(value) || !std::isfinite(R) || !std::isfinite(D) ||
        AnyNaN(P, f, sigmaR, sigmaP, sigmaF))
        return value;
    // The squares overflowed (a large R or σ): each term divided by D² before
    // it is squared, a deviation of 0 contributing 0 whatever its derivative.
    const auto term = [D](double a, double sigma, double b) {
        return sigma == 0.0 ? 0.0 : ((a / D) * sigma) * (b / D);
    };
    const double t1 = term((2.0 * f) * P, sigmaR, 1.0);
    const double t2 = term(1.0 - R, sigmaP, 1.0 + (2.0 * f - 1.0) * R);
    const double t3 = term(1.0 - R, sigmaF, (2.0 * P) * R);
    const double scale = std::max({std::fabs(t1), std::fabs(t2), std::fabs(t3)});
    if (!(scale > 0.0) || std::isinf(scale)) return 2.0 * scale;
    return 2.0 * scale * std::sqrt(Square(t1 / scale) + Square(t2 / scale) + Square(t3 / scale));
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
    const double value = std::sqrt(measured * Square(P) + beam) / (Square(P) * Square(Q));
    // P²Q² or a product with it below the normal range (P near 1e-151 and
    // less) or beyond it: the three derivatives' terms each divided by |P|Q²
    // before any is squared.
    const double PQ = Square(P) * Square(Q);
    if ((std::isfinite(value) && PQ >= 1e-200 && PQ <= 1e200) || AnyNaN(A, sigmaA, sigmaP, sigmaF))
        return value;
    const double t1 = f * sigmaA, t2 = (A * (1.0 + A)) * sigmaF, t3 = (A * Q) * (sigmaP / P);
    const double scale = std::max({std::fabs(t1), std::fabs(t2), std::fabs(t3)});
    if (!(scale > 0.0) || std::isinf(scale)) return ((scale / std::fabs(P)) / Q) / Q;
    const double root =
        scale * std::sqrt(Square(t1 / scale) + Square(t2 / scale) + Square(t3 / scale));
    return ((root / std::fabs(P)) / Q) / Q;
}

}  // namespace vantrel::counting

VANTREL_COLUMN_KERNEL(vantrel::counting::FlippingRatioCorrected);
VANTREL_COLUMN_KERNEL(vantrel::counting::FlippingRatioCorrectedSDev);
VANTREL_COLUMN_KERNEL(vantrel::counting::AsymmetryCorrected);
VANTREL_COLUMN_KERNEL(vantrel::counting::AsymmetryCorrectedSDev);
