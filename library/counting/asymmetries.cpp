#include "vantrel/counting/asymmetries.h"

#include <cmath>

#include "columns/column_loop.h"
#include "counting/four_measurements.h"
#include "vantrel/nan.h"

namespace vantrel::counting {

namespace {

// (I+ − I−) and (I+ + I−) multiplied by M_p·M_b·t_p+·t_p−·t_b+·t_b−, so that
// no monitor count or time is divided by.
struct Fraction {
    double Num;
    double Den;
};

Fraction MultipliedOut(const OptMeasurements& m) noexcept {
    const Four& X = m.counts;
    const Four& t = m.times;
    const double Lp = ((m.Tp() * m.Mb) * t.bp) * t.bm;
    const double Lb = ((m.Tb() * m.Mp) * t.pp) * t.pm;
    return {((t.pm * X.pp) - (t.pp * X.pm)) * Lp - ((t.bm * X.bp) - (t.bp * X.bm)) * Lb,
            ((t.pm * X.pp) + (t.pp * X.pm)) * Lp - ((t.bm * X.bp) + (t.bp * X.bm)) * Lb};
}

// A zero monitor count or time would cancel one position out of the
// multiplied-out form and leave the asymmetry of the other: NaN instead.
double OptAsymmetry(const OptMeasurements& m) noexcept {
    const auto [Num, Den] = MultipliedOut(m);
    if (Den == 0.0 || !m.MonitorsAndTimesNonZero()) return kNaN;
    return Num / Den;
}

// First-order propagation through A of the variances V of the four counts and
// the Poisson variances of the two monitor counts. A is unchanged when both
// monitor counts are scaled together, so their two terms share one factor.
double OptAsymmetrySDev(const OptMeasurements& m, const Four& V) noexcept {
    const auto [Num, Den] = MultipliedOut(m);
    if (Den == 0.0 || !m.MonitorsAndTimesNonZero()) return kNaN;
    const Four& X = m.counts;
    const Four& t = m.times;
    const double Tp = m.Tp();
    const double Tb = m.Tb();
    const double Mp = m.Mp;
    const double Mb = m.Mb;

    const double A = Num / Den;
    const double u = A + 1.0;
    const double v = 1.0 - A;
    const double c = (1.0 - A * A) + (1.0 - A * A);

    const double Wb = ((Tb * t.pp) * t.pm) * ((Tb * t.pp) * t.pm);
    const double Wp = ((Tp * t.bp) * t.bm) * ((Tp * t.bp) * t.bm);

    const double Gb = (V.bm * Mp + X.bm * X.bm) * ((t.bp * t.bp) * (u * u)) +
                      (V.bp * Mp + X.bp * X.bp) * ((t.bm * t.bm) * (v * v)) -
                      (((c * X.bp) * t.bp) * X.bm) * t.bm;
    const double Yp = (u * t.pp) * X.pm - (v * t.pm) * X.pp;
    const double Gp =
        (((t.pm * t.pm) * (v * v)) * V.pp + ((t.pp * t.pp) * (u * u)) * V.pm) * Mb + Yp * Yp;

    const double S = Gb * (Wb * Mp) + Gp * (Wp * Mb);
    // A standard deviation carries no sign: Den is negative when I+ + I− is.
    return std::sqrt(S) / std::fabs(Den);
}

}  // namespace

double Asymmetry(double Npp, double Nbp, double Npm, double Nbm) noexcept {
    const double den = ((Npp - Nbp) + Npm) - Nbm;
    if (den == 0.0) return kNaN;
    return (((Npp - Nbp) - Npm) + Nbm) / den;
}

double AsymmetrySDev(double Npp, double Nbp, double Npm, double Nbm, double sigmaPp, double sigmaBp,
                     double sigmaPm, double sigmaBm) noexcept {
    const double den = ((Npp - Nbp) + Npm) - Nbm;
    if (den == 0.0) return kNaN;
    const double S = (sigmaPm * sigmaPm + sigmaBm * sigmaBm) * ((Npp - Nbp) * (Npp - Nbp)) +
                     (sigmaBp * sigmaBp + sigmaPp * sigmaPp) * ((Npm - Nbm) * (Npm - Nbm));
    return (std::sqrt(S) + std::sqrt(S)) / (den * den);
}

double AsymmetryOpt(double Npp, double Nbp, double Npm, double Nbm, double tPp, double tBp,
                    double tPm, double tBm, double Mp, double Mb) noexcept {
    return OptAsymmetry({{Npp, Nbp, Npm, Nbm}, {tPp, tBp, tPm, tBm}, Mp, Mb});
}

double AsymmetryOptSDev(double Npp, double Nbp, double Npm, double Nbm, double tPp, double tBp,
                        double tPm, double tBm, double Mp, double Mb) noexcept {
    const OptMeasurements m{{Npp, Nbp, Npm, Nbm}, {tPp, tBp, tPm, tBm}, Mp, Mb};
    return OptAsymmetrySDev(m, PoissonVariances(m.counts));
}

double AsymmetryOptDDT(double Npp, double Nbp, double Npm, double Nbm, double tPp, double tBp,
                       double tPm, double tBm, double Mp, double Mb, double tau,
                       double tau2) noexcept {
    return OnCorrectedCounts(OptAsymmetry, {Npp, Nbp, Npm, Nbm}, {tPp, tBp, tPm, tBm}, Mp, Mb, tau,
                             tau2);
}

double AsymmetryOptDDTSDev(double Npp, double Nbp, double Npm, double Nbm, double tPp, double tBp,
                           double tPm, double tBm, double Mp, double Mb, double tau, double tau2,
                           double sigmaTau, double sigmaTau2) noexcept {
    return OnCorrectedCountsSDev(OptAsymmetrySDev, {Npp, Nbp, Npm, Nbm}, {tPp, tBp, tPm, tBm}, Mp,
                                 Mb, tau, tau2, sigmaTau, sigmaTau2);
}

}  // namespace vantrel::counting

VANTREL_COLUMN_KERNEL(vantrel::counting::Asymmetry);
VANTREL_COLUMN_KERNEL(vantrel::counting::AsymmetrySDev);
VANTREL_COLUMN_KERNEL(vantrel::counting::AsymmetryOpt);
VANTREL_COLUMN_KERNEL(vantrel::counting::AsymmetryOptSDev);
VANTREL_COLUMN_KERNEL(vantrel::counting::AsymmetryOptDDT);
VANTREL_COLUMN_KERNEL(vantrel::counting::AsymmetryOptDDTSDev);
