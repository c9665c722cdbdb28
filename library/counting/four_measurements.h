// The four measurements of one reflection in a polarised beam (peak +,
// background +, peak −, background −) as the Opt and OptDDT levels of the
// flipping ratio and the asymmetry share them. Both levels run the same
// formulas: OptDDT only swaps the raw counts for dead-time-corrected ones and
// the Poisson variances for the variances the dead-time model gives them.
#pragma once

#include <optional>

#include "counting/dead_time_model.h"
#include "vantrel/counting/dead_time.h"
#include "vantrel/nan.h"

namespace vantrel::counting {

// One value per measurement, in argument order.
struct Four {
    double pp;  // peak, spin state +
    double bp;  // background, spin state +
    double pm;  // peak, spin state −
    double bm;  // background, spin state −
};

// Counts X_k with their own counting times and the monitor counts of the peak
// (over t_p+ + t_p−) and background (over t_b+ + t_b−) positions.
struct OptMeasurements {
    Four counts;
    Four times;
    double Mp;
    double Mb;

    double Tp() const noexcept { return times.pm + times.pp; }
    double Tb() const noexcept { return times.bm + times.bp; }

    // The normalisations divide by each monitor count and time; the standard
    // deviations need all six non-zero.
    bool MonitorsAndTimesNonZero() const noexcept {
        return Mp != 0.0 && Mb != 0.0 && times.pp != 0.0 && times.bp != 0.0 && times.pm != 0.0 &&
               times.bm != 0.0;
    }
};

// Count rate X/t over monitor rate M/T: (T·X)/(M·t). Raw and corrected counts
// alike: a product of two doubles does not depend on their order.
inline double NormalisedIntensity(double X, double t, double M, double T) noexcept {
    return (T * X) / (M * t);
}

inline Four PoissonVariances(const Four& N) noexcept { return N; }

// C_k = n_k·t_k with the dead-time-corrected rate n_k of each measurement;
// none when a dead-time denominator is zero (tested in argument order).
inline std::optional<Four> DeadTimeCorrectedCounts(const Four& N, const Four& t, double tau,
                                                   double tau2) noexcept {
    const Four q{
        DeadTimeDenominatorNN(N.pp, t.pp, tau, tau2), DeadTimeDenominatorNN(N.bp, t.bp, tau, tau2),
        DeadTimeDenominatorNN(N.pm, t.pm, tau, tau2), DeadTimeDenominatorNN(N.bm, t.bm, tau, tau2)};
    if (q.pp == 0.0 || q.bp == 0.0 || q.pm == 0.0 || q.bm == 0.0) return std::nullopt;
    return Four{CorrectedRate(N.pp, t.pp, q.pp) * t.pp, CorrectedRate(N.bp, t.bp, q.bp) * t.bp,
                CorrectedRate(N.pm, t.pm, q.pm) * t.pm, CorrectedRate(N.bm, t.bm, q.bm) * t.bm};
}

// s_k·s_k with s_k = σ_n,k·t_k. Each corrected count is taken as independent
// of the others, although τ and τ₂ are common to all four.
inline Four DeadTimeCorrectedVariances(const Four& N, const Four& t, double tau, double tau2,
                                       double sigmaTau, double sigmaTau2) noexcept {
    const auto variance = [&](double Nk, double tk) {
        const double s = CountRateDDTSDev(Nk, tk, tau, tau2, sigmaTau, sigmaTau2) * tk;
        return s * s;
    };
    return Four{variance(N.pp, t.pp), variance(N.bp, t.bp), variance(N.pm, t.pm),
                variance(N.bm, t.bm)};
}

// The OptDDT level of a quantity: its Opt formula on dead-time-corrected
// counts; NaN when a measurement's dead-time denominator is zero.
template <class OptFormula>
double OnCorrectedCounts(OptFormula opt, const Four& N, const Four& t, double Mp, double Mb,
                         double tau, double tau2) noexcept {
    const auto C = DeadTimeCorrectedCounts(N, t, tau, tau2);
    if (!C) return kNaN;
    return opt(OptMeasurements{*C, t, Mp, Mb});
}

// The same for a standard deviation, with the corrected counts' variances.
template <class OptSDevFormula>
double OnCorrectedCountsSDev(OptSDevFormula sdev, const Four& N, const Four& t, double Mp,
                             double Mb, double tau, double tau2, double sigmaTau,
                             double sigmaTau2) noexcept {
    const auto C = DeadTimeCorrectedCounts(N, t, tau, tau2);
    if (!C) return kNaN;
    return sdev(OptMeasurements{*C, t, Mp, Mb},
                DeadTimeCorrectedVariances(N, t, tau, tau2, sigmaTau, sigmaTau2));
}

}  // namespace vantrel::counting
