#include "vantrel/counting/dead_time.h"

#include <cmath>

#include "arithmetic/square.h"
#include "columns/column_loop.h"
#include "counting/dead_time_model.h"
#include "vantrel/nan.h"

namespace vantrel::counting {

double DeadTimeDenominator(double N, double t, double tau, double tau2) noexcept {
    return ((t - N * tau) * t) - ((N * tau2) * N);
}

double DeadTimeDenominatorNN(double N, double t, double tau, double tau2) noexcept {
    return ((t - tau * N) * t) - (N * N) * tau2;
}

double CorrectedRate(double N, double t, double q) noexcept { return (t * N) / q; }

double CountRateDDT(double N, double t, double tau, double tau2) noexcept {
    const double q = DeadTimeDenominator(N, t, tau, tau2);
    if (q == 0.0) return kNaN;
    return CorrectedRate(N, t, q);
}

double CountRateDDTSDev(double N, double t, double tau, double tau2, double sigmaTau,
                        double sigmaTau2) noexcept {
    // g is −q with N² formed as N·N; only its zero matters here.
    const double g = ((N * N) * tau2) + ((N * tau - t) * t);
    if (g == 0.0) return kNaN;
    // pow, not products, for the powers from 3 up: the C library's rounding of
    // them fixes the last bits.
    double S = Square(tau2) * std::pow(N, 4.0);
    S = S + ((tau2 + tau2) * Square(N)) * Square(t);
    S = S + std::pow(t, 4.0);
    S = S + (std::pow(N, 3.0) * Square(t)) * (sigmaTau * sigmaTau);
    S = S + std::pow(N, 5.0) * (sigmaTau2 * sigmaTau2);
    S = S * (Square(t) * N);
    const double d = std::pow((Square(N) * tau2) + ((N * tau - t) * t), 4.0);
    return std::sqrt(S / d);
}

}  // namespace vantrel::counting

VANTREL_COLUMN_KERNEL(vantrel::counting::CountRateDDT);
VANTREL_COLUMN_KERNEL(vantrel::counting::CountRateDDTSDev);
