// The detector dead-time model shared by the count rates, flipping ratios and
// asymmetries. N counts in time t; τ and τ₂ are the first- and second-order
// dead-time coefficients.
//   N                    counts
//   t                    counting time, any unit
//   tau, sigmaTau        dead time τ and its standard deviation, unit of t
//   tau2, sigmaTau2      second-order coefficient τ₂ and its deviation, (unit of t)²
#pragma once

namespace vantrel::counting {

// Dead-time-corrected rate n = m/(1 − τ·m − τ₂·m²), m = N/t, evaluated as
// (t·N)/q with q = (t − N·τ)·t − (N·τ₂)·N; NaN when q = 0.
double CountRateDDT(double N, double t, double tau, double tau2) noexcept;

// Standard deviation of n: Poisson variance N of the counts, σ_τ² and σ_τ₂²,
// t exact. NaN when the denominator is 0.
double CountRateDDTSDev(double N, double t, double tau, double tau2, double sigmaTau,
                        double sigmaTau2) noexcept;

}  // namespace vantrel::counting
