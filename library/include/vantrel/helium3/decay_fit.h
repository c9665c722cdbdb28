// The relaxation of a helium-3 cell fitted to polarisations measured over an
// experiment: PHe(t) = PHe0·exp(−t/T1), by weighted least squares on PHe itself.
//   t         times of the measurements, in any one unit (hours, say); any order
//   PHe       measured helium-3 polarisations, each > 0
//   sigmaPHe  their standard deviations, each > 0, taken as absolute: the part
//             that varies from point to point
//   common    optional: the relative deviation common to every point (the
//             cell's p, T, L, λ and the cross-section constant scale every
//             polarisation read from a transmission alike). It moves no point
//             against another, so the fit does not weigh it; PHe0 carries it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::helium3 {

struct DecayFit {
    double PHe0;                    // polarisation at t = 0
    double T1;                      // relaxation time, in the unit of t
    double sigmaPHe0, sigmaT1;      // from the Jacobian at the optimum, σ absolute; sigmaPHe0
                                    // with the common part
    double rho;                     // correlation of PHe0 and T1
    double reduced_chi_square;      // χ²/(n − 2); NaN for two points
    std::size_t n;                  // points fitted
    double probability = 0.0;       // chance of a χ² as large or larger; NaN for two points
    double sigmaPHe0_points = 0.0;  // sigmaPHe0 from the point-to-point deviations alone

    // He3PolarisationAtTime and its deviation (with ρ) at a time t.
    double PolarisationAt(double t) const noexcept;
    double PolarisationSDevAt(double t) const noexcept;

    // Empty, or what is wrong with a fit whose points scatter more than their
    // deviations allow (a χ² as large less likely than 1 in 1000): a cell
    // re-polarised in between, an outlier.
    std::string Note() const;
};

struct DecayFitError {
    static constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);
    std::size_t row = kNoRow;  // the point at fault, counted from 0; kNoRow for the whole
    std::string reason;
};

// A fit, or why there is none. No point is dropped: a row that cannot enter
// the fit (NaN, infinite, PHe ≤ 0, σ ≤ 0) is an error naming it, as are fewer
// than two points, only one distinct time, points that do not decay, a
// common deviation not finite or below 0, and a fit that does not converge
// within its iteration limit (never reported as a fit).
struct DecayFitOutcome {
    std::optional<DecayFit> fit;
    DecayFitError error;
};

DecayFitOutcome He3DecayFit(const std::vector<double>& t, const std::vector<double>& PHe,
                            const std::vector<double>& sigmaPHe, double common = 0.0);

}  // namespace vantrel::helium3
