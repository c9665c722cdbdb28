#include "vantrel/counting/flipping_ratios.h"

#include <cmath>

#include "columns/column_loop.h"
#include "counting/four_measurements.h"
#include "vantrel/nan.h"

namespace vantrel::counting {

namespace {

// Background-subtracted normalised intensities of the two spin states.
struct NetIntensities {
    double U;  // state +
    double D;  // state −
};

NetIntensities Net(const OptMeasurements& m) noexcept {
    const double Tp = m.Tp();
    const double Tb = m.Tb();
    const Four& X = m.counts;
    const Four& t = m.times;
    return {NormalisedIntensity(X.pp, t.pp, m.Mp, Tp) - NormalisedIntensity(X.bp, t.bp, m.Mb, Tb),
            NormalisedIntensity(X.pm, t.pm, m.Mp, Tp) - NormalisedIntensity(X.bm, t.bm, m.Mb, Tb)};
}

// A zero time or monitor count is left to IEEE arithmetic (±∞ or NaN).
double OptRatio(const OptMeasurements& m) noexcept {
    const auto [U, D] = Net(m);
    if (D == 0.0) return kNaN;
    return U / D;
}

// First-order propagation through U/D of the variances V of the four counts
// and the Poisson variances of the two monitor counts.
double OptRatioSDev(const OptMeasurements& m, const Four& V) noexcept {
    const auto [U, D] = Net(m);
    if (D == 0.0 || !m.MonitorsAndTimesNonZero()) return kNaN;
    const double Tp = m.Tp();
    const double Tb = m.Tb();
    const double Mp = m.Mp;
    const double Mb = m.Mb;
    const Four& X = m.counts;
    const Four& t = m.times;

    const double gMp =
        ((U * X.pm) * Tp) / (((D * Mp) * (D * Mp)) * t.pm) - (Tp * X.pp) / (((Mp * Mp) * D) * t.pp);
    const double gMb =
        (Tb * X.bp) / (((Mb * Mb) * D) * t.bp) - ((U * X.bm) * Tb) / (((D * Mb) * (D * Mb)) * t.bm);

    const double eMon = (gMb * gMb) * Mb + (gMp * gMp) * Mp;
    const double ePp = (V.pp * (Tp * Tp)) / (((D * Mp) * t.pp) * ((D * Mp) * t.pp));
    const double eBp = (V.bp * (Tb * Tb)) / (((D * Mb) * t.bp) * ((D * Mb) * t.bp));
    const double ePm =
        (V.pm * ((U * Tp) * (U * Tp))) / ((((D * D) * Mp) * t.pm) * (((D * D) * Mp) * t.pm));
    const double eBm =
        (V.bm * ((U * Tb) * (U * Tb))) / ((((D * D) * Mb) * t.bm) * (((D * D) * Mb) * t.bm));

    const double S = (((ePp + eMon) + eBp) + ePm) + eBm;
    return std::sqrt(S);
}

}  // namespace

double FlippingRatio(double Npp, double Nbp, double Npm, double Nbm) noexcept {
    const double d = Npm - Nbm;
    if (d == 0.0) return kNaN;
    return (Npp - Nbp) / d;
}

double FlippingRatioSDev(double Npp, double Nbp, double Npm, double Nbm, double sigmaPp,
                         double sigmaBp, double sigmaPm, double sigmaBm) noexcept {
    const double d = Npm - Nbm;
    if (d == 0.0) return kNaN;
    const double S = (sigmaPm * sigmaPm + sigmaBm * sigmaBm) * ((Npp - Nbp) * (Npp - Nbp)) +
                     (sigmaBp * sigmaBp + sigmaPp * sigmaPp) * (d * d);
    return std::sqrt(S) / (d * d);
}

double FlippingRatioOpt(double Npp, double Nbp, double Npm, double Nbm, double tPp, double tBp,
                        double tPm, double tBm, double Mp, double Mb) noexcept {
    return OptRatio({{Npp, Nbp, Npm, Nbm}, {tPp, tBp, tPm, tBm}, Mp, Mb});
}

double FlippingRatioOptSDev(double Npp, double Nbp, double Npm, double Nbm, double tPp, double tBp,
                            double tPm, double tBm, double Mp, double Mb) noexcept {
    const OptMeasurements m{{Npp, Nbp, Npm, Nbm}, {tPp, tBp, tPm, tBm}, Mp, Mb};
    return OptRatioSDev(m, PoissonVariances(m.counts));
}

double FlippingRatioOptDDT(double Npp, double Nbp, double Npm, double Nbm, double tPp, double tBp,
                           double tPm, double tBm, double Mp, double Mb, double tau,
                           double tau2) noexcept {
    return OnCorrectedCounts(OptRatio, {Npp, Nbp, Npm, Nbm}, {tPp, tBp, tPm, tBm}, Mp, Mb, tau,
                             tau2);
}

double FlippingRatioOptDDTSDev(double Npp, double Nbp, double Npm, double Nbm, double tPp,
                               double tBp, double tPm, double tBm, double Mp, double Mb, double tau,
                               double tau2, double sigmaTau, double sigmaTau2) noexcept {
    return OnCorrectedCountsSDev(OptRatioSDev, {Npp, Nbp, Npm, Nbm}, {tPp, tBp, tPm, tBm}, Mp, Mb,
                                 tau, tau2, sigmaTau, sigmaTau2);
}

}  // namespace vantrel::counting

VANTREL_COLUMN_KERNEL(vantrel::counting::FlippingRatio);
VANTREL_COLUMN_KERNEL(vantrel::counting::FlippingRatioSDev);
VANTREL_COLUMN_KERNEL(vantrel::counting::FlippingRatioOpt);
VANTREL_COLUMN_KERNEL(vantrel::counting::FlippingRatioOptSDev);
VANTREL_COLUMN_KERNEL(vantrel::counting::FlippingRatioOptDDT);
VANTREL_COLUMN_KERNEL(vantrel::counting::FlippingRatioOptDDTSDev);
