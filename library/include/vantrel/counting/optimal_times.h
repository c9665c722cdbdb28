// The split of a total counting time T among the four measurements (peak +,
// background +, peak −, background −) that minimises the variance of the
// flipping ratio, from the four count rates.
//   Npp, Nbp, Npm, Nbm   count rates, any common unit (only their ratios matter)
//   T                    total counting time, any unit: the times come out in it
//   sigmaPp … sigmaBm    standard deviations of the four rates, their unit
#pragma once

namespace vantrel::counting {

// The four times add up to T; a state with zero net rate takes all of it.
double OptCountingTimeTpp(double Npp, double Nbp, double Npm, double Nbm, double T) noexcept;
double OptCountingTimeTbp(double Npp, double Nbp, double Npm, double Nbm, double T) noexcept;
double OptCountingTimeTpm(double Npp, double Nbp, double Npm, double Nbm, double T) noexcept;
double OptCountingTimeTbm(double Npp, double Nbp, double Npm, double Nbm, double T) noexcept;

// Standard deviations of the four times from those of the rates, with the
// common denominator held exact. An exactly known own rate (σ = 0) contributes
// nothing, even when that rate is zero.
double OptCountingTimeTppSDev(double Npp, double Nbp, double Npm, double Nbm, double T,
                              double sigmaPp, double sigmaBp, double sigmaPm,
                              double sigmaBm) noexcept;
double OptCountingTimeTbpSDev(double Npp, double Nbp, double Npm, double Nbm, double T,
                              double sigmaPp, double sigmaBp, double sigmaPm,
                              double sigmaBm) noexcept;
double OptCountingTimeTpmSDev(double Npp, double Nbp, double Npm, double Nbm, double T,
                              double sigmaPp, double sigmaBp, double sigmaPm,
                              double sigmaBm) noexcept;
double OptCountingTimeTbmSDev(double Npp, double Nbp, double Npm, double Nbm, double T,
                              double sigmaPp, double sigmaBp, double sigmaPm,
                              double sigmaBm) noexcept;

}  // namespace vantrel::counting
