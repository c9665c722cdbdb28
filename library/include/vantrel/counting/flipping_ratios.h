// Flipping ratios R = I+/I− of a reflection from its four measurements:
// peak +, background +, peak −, background − (in that order everywhere).
//   Npp, Nbp, Npm, Nbm   counts, or intensities in any common unit
//   sigmaPp … sigmaBm    standard deviations of the four, same unit
//   tPp, tBp, tPm, tBm   counting time of each measurement, any common unit
//   Mp, Mb               monitor counts over both peak (both background) measurements
//   tau, tau2 …          the dead-time model of dead_time.h
// The ratio is dimensionless.
#pragma once

namespace vantrel::counting {

// (N_p+ − N_b+)/(N_p− − N_b−) of four intensities.
double FlippingRatio(double Npp, double Nbp, double Npm, double Nbm) noexcept;
double FlippingRatioSDev(double Npp, double Nbp, double Npm, double Nbm, double sigmaPp,
                         double sigmaBp, double sigmaPm, double sigmaBm) noexcept;

// Raw counts with their own counting times and the monitor counts of the peak
// (M_p) and background (M_b) positions; each count normalised to its monitor rate.
double FlippingRatioOpt(double Npp, double Nbp, double Npm, double Nbm, double tPp, double tBp,
                        double tPm, double tBm, double Mp, double Mb) noexcept;
double FlippingRatioOptSDev(double Npp, double Nbp, double Npm, double Nbm, double tPp, double tBp,
                            double tPm, double tBm, double Mp, double Mb) noexcept;

// As the Opt level, each count first corrected for dead time (τ, τ₂).
double FlippingRatioOptDDT(double Npp, double Nbp, double Npm, double Nbm, double tPp, double tBp,
                           double tPm, double tBm, double Mp, double Mb, double tau,
                           double tau2) noexcept;
double FlippingRatioOptDDTSDev(double Npp, double Nbp, double Npm, double Nbm, double tPp,
                               double tBp, double tPm, double tBm, double Mp, double Mb, double tau,
                               double tau2, double sigmaTau, double sigmaTau2) noexcept;

// The flipping ratio an ideal beam would give, R₀ = I↑/I↓, from the measured R, the
// incident beam's polarisation P (−1 … 1; the probability (1 + P)/2 that some
// call efficiency is another convention) and the flipper's spin-flip
// probability f (1: a perfect flipper). NaN for P outside [−1, 1], f outside
// [0, 1], P = 0 or f = 0 (the two states not told apart), or a zero denominator.
double FlippingRatioCorrected(double R, double P, double f) noexcept;
double FlippingRatioCorrectedSDev(double R, double P, double f, double sigmaR, double sigmaP,
                                  double sigmaF) noexcept;

}  // namespace vantrel::counting
