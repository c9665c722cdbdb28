// The upper tail of the χ² distribution, Q(ν/2, χ²/2): by the series of the
// lower tail below a + 1, by the continued fraction of the upper one above,
// each where it converges fast and without cancellation.
#include <cmath>
#include <limits>
#include <numbers>

#include "vantrel/fit/least_squares.h"

namespace vantrel::fit {
namespace {

constexpr double kEpsilon = std::numeric_limits<double>::epsilon();

// ln Γ(a) for a > 0: Stirling's series from a + k ≥ 16 down by the
// recurrence. Written out rather than std::lgamma, which may set the global
// signgam and so is no pure function under concurrent calls.
double LogGamma(double a) noexcept {
    double shift = 1.0;
    while (a < 16.0) {
        shift *= a;
        a += 1.0;
    }
    const double inverse = 1.0 / a, inverse2 = inverse * inverse;
    const double series =
        inverse *
        (1.0 / 12 -
         inverse2 * (1.0 / 360 -
                     inverse2 * (1.0 / 1260 - inverse2 * (1.0 / 1680 - inverse2 * (1.0 / 1188)))));
    return (a - 0.5) * std::log(a) - a + 0.5 * std::log(2.0 * std::numbers::pi) + series -
           std::log(shift);
}

// e^(−x)·x^a/Γ(a), the factor both expansions share.
double Prefactor(double a, double x) noexcept {
    return std::exp(a * std::log(x) - x - LogGamma(a));
}

}  // namespace

double ChiSquareTail(double chiSquare, double nu) noexcept {
    if (std::isnan(chiSquare) || !(nu > 0.0)) return std::numeric_limits<double>::quiet_NaN();
    if (chiSquare <= 0.0) return 1.0;
    if (chiSquare == std::numeric_limits<double>::infinity()) return 0.0;
    const double a = 0.5 * nu, x = 0.5 * chiSquare;
    if (x < a + 1.0) {
        // P(a, x) = e^(−x)x^a/Γ(a+1) · Σ x^n/((a+1)…(a+n)).
        double term = 1.0 / a, sum = term;
        for (int n = 1; n < 100000; ++n) {
            term *= x / (a + n);
            sum += term;
            if (std::fabs(term) < std::fabs(sum) * kEpsilon) break;
        }
        return 1.0 - sum * Prefactor(a, x);
    }
    // Q(a, x) = e^(−x)x^a/Γ(a) · 1/(x + 1 − a − 1·(1 − a)/(x + 3 − a − …)), modified Lentz.
    constexpr double tiny = 1e-300;
    double b = x + 1.0 - a, c = 1.0 / tiny, d = 1.0 / b, h = d;
    for (int i = 1; i < 100000; ++i) {
        const double an = -i * (i - a);
        b += 2.0;
        d = an * d + b;
        if (std::fabs(d) < tiny) d = tiny;
        c = b + an / c;
        if (std::fabs(c) < tiny) c = tiny;
        d = 1.0 / d;
        const double delta = d * c;
        h *= delta;
        if (std::fabs(delta - 1.0) < kEpsilon) break;
    }
    return Prefactor(a, x) * h;
}

}  // namespace vantrel::fit
