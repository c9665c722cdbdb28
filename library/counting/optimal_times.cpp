#include "vantrel/counting/optimal_times.h"

#include <cmath>

#include "columns/column_loop.h"
#include "vantrel/nan.h"

namespace vantrel::counting {

namespace {

// Common denominator of the four times; never divides by a net rate, so a
// state with zero net rate simply takes all of T.
double Denominator(double Npp, double Nbp, double Npm, double Nbm) noexcept {
    return (std::sqrt(Npp) + std::sqrt(Nbp)) * std::fabs(Npm - Nbm) +
           (std::sqrt(Npm) + std::sqrt(Nbm)) * std::fabs(Npp - Nbp);
}

// t_X = √R_X·T·|Δ_other|/D: measurement X with rate R_X, weighted by the net
// rate of the other spin state.
double Time(double R, double deltaOther, double T, double D) noexcept {
    if (D == 0.0) return kNaN;
    return ((std::sqrt(R) * T) * std::fabs(deltaOther)) / D;
}

// Propagation of σ_X through √R_X and of the other state's σ_o1, σ_o2 through
// |Δ_other|, with D held exact: the deviation of the partner in the same
// state acts only through D and so does not enter. With σ_X = 0, R_X contributes nothing and the
// term is left out rather than evaluated as 0/0 at R_X = 0.
double TimeSDev(double R, double sigma, double sigmaO1, double sigmaO2, double deltaOther, double T,
                double D) noexcept {
    if (D == 0.0) return kNaN;
    double V = (sigmaO1 * sigmaO1 + sigmaO2 * sigmaO2) * R;
    if (sigma != 0.0) V = V + ((deltaOther * deltaOther) * (sigma * sigma)) / (R * 4.0);
    return (std::sqrt(V) * T) / D;
}

}  // namespace

double OptCountingTimeTpp(double Npp, double Nbp, double Npm, double Nbm, double T) noexcept {
    return Time(Npp, Npm - Nbm, T, Denominator(Npp, Nbp, Npm, Nbm));
}

double OptCountingTimeTbp(double Npp, double Nbp, double Npm, double Nbm, double T) noexcept {
    return Time(Nbp, Npm - Nbm, T, Denominator(Npp, Nbp, Npm, Nbm));
}

double OptCountingTimeTpm(double Npp, double Nbp, double Npm, double Nbm, double T) noexcept {
    return Time(Npm, Npp - Nbp, T, Denominator(Npp, Nbp, Npm, Nbm));
}

double OptCountingTimeTbm(double Npp, double Nbp, double Npm, double Nbm, double T) noexcept {
    return Time(Nbm, Npp - Nbp, T, Denominator(Npp, Nbp, Npm, Nbm));
}

double OptCountingTimeTppSDev(double Npp, double Nbp, double Npm, double Nbm, double T,
                              double sigmaPp, double /*sigmaBp*/, double sigmaPm,
                              double sigmaBm) noexcept {
    return TimeSDev(Npp, sigmaPp, sigmaBm, sigmaPm, Npm - Nbm, T, Denominator(Npp, Nbp, Npm, Nbm));
}

double OptCountingTimeTbpSDev(double Npp, double Nbp, double Npm, double Nbm, double T,
                              double /*sigmaPp*/, double sigmaBp, double sigmaPm,
                              double sigmaBm) noexcept {
    return TimeSDev(Nbp, sigmaBp, sigmaBm, sigmaPm, Npm - Nbm, T, Denominator(Npp, Nbp, Npm, Nbm));
}

double OptCountingTimeTpmSDev(double Npp, double Nbp, double Npm, double Nbm, double T,
                              double sigmaPp, double sigmaBp, double sigmaPm,
                              double /*sigmaBm*/) noexcept {
    return TimeSDev(Npm, sigmaPm, sigmaBp, sigmaPp, Npp - Nbp, T, Denominator(Npp, Nbp, Npm, Nbm));
}

double OptCountingTimeTbmSDev(double Npp, double Nbp, double Npm, double Nbm, double T,
                              double sigmaPp, double sigmaBp, double /*sigmaPm*/,
                              double sigmaBm) noexcept {
    return TimeSDev(Nbm, sigmaBm, sigmaBp, sigmaPp, Npp - Nbp, T, Denominator(Npp, Nbp, Npm, Nbm));
}

}  // namespace vantrel::counting

VANTREL_COLUMN_KERNEL(vantrel::counting::OptCountingTimeTpp);
VANTREL_COLUMN_KERNEL(vantrel::counting::OptCountingTimeTbp);
VANTREL_COLUMN_KERNEL(vantrel::counting::OptCountingTimeTpm);
VANTREL_COLUMN_KERNEL(vantrel::counting::OptCountingTimeTbm);
VANTREL_COLUMN_KERNEL(vantrel::counting::OptCountingTimeTppSDev);
VANTREL_COLUMN_KERNEL(vantrel::counting::OptCountingTimeTbpSDev);
VANTREL_COLUMN_KERNEL(vantrel::counting::OptCountingTimeTpmSDev);
VANTREL_COLUMN_KERNEL(vantrel::counting::OptCountingTimeTbmSDev);
