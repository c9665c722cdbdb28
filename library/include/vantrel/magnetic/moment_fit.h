// The moments of a structure's magnetic sites from measured flipping ratios:
// weighted least squares of R_obs against the R that the structure predicts,
//   χ² = Σ ((R_obs,i − R_calc,i(μ))/σ_i)²,
// with R_calc from the intensities of structure_factors.h and
// F_M = Σ_m μ_m·F_M,m linear in the moments, so that the Jacobian is analytic.
// The deviations of the moments take σ_i as absolute: they are not rescaled by
// the scatter of the ratios (the reduced χ² tells how well the σ_i hold).
#pragma once

#include <array>
#include <cmath>
#include <complex>
#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "vantrel/fit/least_squares.h"
#include "vantrel/magnetic/structure_factors.h"

namespace vantrel::magnetic {

// One measured flipping ratio. q2 is sin²α of the reflection in the field;
// FitMomentsInField computes it from a field direction instead.
struct MeasuredFlippingRatio {
    Miller hkl;
    double R;
    double sigmaR;
    double q2 = std::numeric_limits<double>::quiet_NaN();
};

// Why a measured reflection says nothing of the moments.
enum class Unconstraining {
    kForbidden,  // the symmetry makes F vanish
    kNoNuclear,  // F_N = 0: R = 1 whatever the moments
    kNoField,    // q² = 0: the scattering vector lies along the field
};

struct LeftOutReflection {
    std::size_t index;  // in the measured list
    Miller hkl;
    Unconstraining why;
    std::string message;  // the hkl and the reason, in words
};

struct FittedFlippingRatio {
    std::size_t index;  // in the measured list
    Miller hkl;
    double s, q2;
    double R, sigmaR;  // as measured
    double RCalc;      // at the fitted moments
    double residual;   // (R − RCalc)/σR
};

struct MomentFitResult {
    // kInput with a message naming the reflection or argument for input
    // refused; otherwise the engine's status and message.
    fit::Status status = fit::Status::kInput;
    std::string message;
    std::vector<std::string> sites;   // the magnetic sites' labels, in the model's order
    std::vector<double> moments;      // μB along the field, per site
    std::vector<double> deviations;   // σ of each moment, μB
    std::vector<double> correlation;  // row-major, sites²
    double chi_square = 0.0;
    double reduced_chi_square = 0.0;
    double probability = 0.0;  // P(χ²_ν ≥ χ²)
    std::size_t degrees_of_freedom = 0;
    int iterations = 0;
    std::vector<FittedFlippingRatio> reflections;  // those fitted, in the measured order
    std::vector<LeftOutReflection> leftOut;        // those that cannot constrain, in order

    bool converged() const noexcept { return status == fit::Status::kConverged; }
};

// |F_N| at or below this share of Σ|b_j|·occ_j over the cell's atoms is taken
// as F_N = 0: there the ratio is 1 to within rounding whatever the moments,
// and the rounding of F_N, not the moments, would decide R.
inline constexpr double kVanishingNuclearShare = 1e-10;

// The moments (μB, one per magnetic site of the model) that fit the measured
// ratios, for a beam of polarisation P and flipper probability f. `start` has
// one moment per site, or is empty for 1 μB each. Refused, naming the
// reflection or argument: no magnetic site, P outside [−1, 1] or 0, f outside
// (0, 1], a start of the wrong size or not finite, hkl 000, R not finite,
// σR not finite and positive, q² outside [0, 1], and no reflection left that
// constrains the moments. Forbidden reflections, F_N = 0 and q² = 0 are
// named in leftOut and not fitted. χ² may have more than one minimum: R of a
// reflection peaks sharply where I₋ is least (γ = P′ at q² = 1), and a start
// on the other side of that ridge, a moment of the wrong sign say, can end in
// another minimum; start from moments of the sign expected.
MomentFitResult FitMoments(const StructureFactorModel& model,
                           std::span<const MeasuredFlippingRatio> measured, double P, double f,
                           std::span<const double> start = {}, const fit::Options& options = {});
// The same with q² of every reflection from a field along u·a + v·b + w·c
// (the measured q2 are not read); a zero or non-finite direction is refused.
// Named apart so that a start of three moments is never taken for a field.
MomentFitResult FitMomentsInField(const StructureFactorModel& model,
                                  std::span<const MeasuredFlippingRatio> measured, double P,
                                  double f, const std::array<double, 3>& field,
                                  std::span<const double> start = {},
                                  const fit::Options& options = {});

// ∂R/∂μ_m of one reflection at the moments given, from its F_N and F_M per μB
// of each site, into `derivatives` (one per site); NaN where R is (I₋ = 0,
// P, f or q² out of range).
void FlippingRatioMomentDerivatives(std::complex<double> FN,
                                    std::span<const std::complex<double>> FMPerMoment,
                                    std::span<const double> moments, double P, double f, double q2,
                                    std::span<double> derivatives) noexcept;

}  // namespace vantrel::magnetic
