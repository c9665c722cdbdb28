// Polarisation asymmetries A = (I+ − I−)/(I+ + I−) from the same four
// measurements and argument lists (names and units) as the flipping ratios in
// flipping_ratios.h. Dimensionless.
#pragma once

namespace vantrel::counting {

double Asymmetry(double Npp, double Nbp, double Npm, double Nbm) noexcept;
double AsymmetrySDev(double Npp, double Nbp, double Npm, double Nbm, double sigmaPp, double sigmaBp,
                     double sigmaPm, double sigmaBm) noexcept;

// Raw counts with their own counting times and monitor counts, as the flipping
// ratios take them; NaN when a monitor count or time is zero. The standard
// deviations are never negative, whatever the sign of I+ + I−.
double AsymmetryOpt(double Npp, double Nbp, double Npm, double Nbm, double tPp, double tBp,
                    double tPm, double tBm, double Mp, double Mb) noexcept;
double AsymmetryOptSDev(double Npp, double Nbp, double Npm, double Nbm, double tPp, double tBp,
                        double tPm, double tBm, double Mp, double Mb) noexcept;

// As the Opt level, each count first corrected for dead time (τ, τ₂).
double AsymmetryOptDDT(double Npp, double Nbp, double Npm, double Nbm, double tPp, double tBp,
                       double tPm, double tBm, double Mp, double Mb, double tau,
                       double tau2) noexcept;
double AsymmetryOptDDTSDev(double Npp, double Nbp, double Npm, double Nbm, double tPp, double tBp,
                           double tPm, double tBm, double Mp, double Mb, double tau, double tau2,
                           double sigmaTau, double sigmaTau2) noexcept;

// The asymmetry an ideal beam would give, A₀ = (I↑ − I↓)/(I↑ + I↓), from the measured A, the
// incident beam's polarisation P (−1 … 1; the probability (1 + P)/2 that some
// call efficiency is another convention) and the flipper's spin-flip
// probability f (1: a perfect flipper). NaN for P outside [−1, 1], f outside
// [0, 1], P = 0 or f = 0 (the two states not told apart), or a zero denominator.
double AsymmetryCorrected(double A, double P, double f) noexcept;
double AsymmetryCorrectedSDev(double A, double P, double f, double sigmaA, double sigmaP,
                              double sigmaF) noexcept;

}  // namespace vantrel::counting
