// The pieces of the dead-time model that the count rate and the four-
// measurement levels of the flipping ratio and the asymmetry share.
#pragma once

namespace vantrel::counting {

// q = (t − N·τ)·t − (N·τ₂)·N: the denominator of the corrected rate.
double DeadTimeDenominator(double N, double t, double tau, double tau2) noexcept;

// The same denominator with N²·τ₂ formed as (N·N)·τ₂, as the four-measurement
// levels evaluate it. Equal to q up to rounding, and the rounding is kept.
double DeadTimeDenominatorNN(double N, double t, double tau, double tau2) noexcept;

// n = (t·N)/q for a denominator q already tested non-zero.
double CorrectedRate(double N, double t, double q) noexcept;

}  // namespace vantrel::counting
