// Which reflections to measure, and in what order, to learn the moments of a
// structure's magnetic sites fastest, for moments guessed beforehand.
//
// A flipping ratio R = I₊/I₋ is counted as N± = I±·t± in times t± with the
// beam polarised along the field and flipped; its relative variance from
// counting is 1/N₊ + 1/N₋. For a time t = t₊ + t₋ that variance is least with
// t± ∝ 1/√I±, where it is (1/√I₊ + 1/√I₋)²/t. The Fisher information on the
// moments per unit time of one reflection is then
//   J_mn = (∂R/∂μ_m)·(∂R/∂μ_n) / (R²·(1/√I₊ + 1/√I₋)²),
// with I± in 10⁻²⁴ cm² (|F|²): the time unit is that in which a reflection of
// |F|² = 1 gives one count. The absolute scale of the intensities is left out
// of R (it cancels), so the ranking holds for any source; what it does not
// know (Lorentz factor, absorption, extinction) would weigh each reflection
// alike in a first plan. A site's standard deviation from one reflection alone
// after time t is 1/√(J_mm·t).
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "vantrel/magnetic/moment_fit.h"
#include "vantrel/magnetic/structure_factors.h"

namespace vantrel::magnetic {

struct PlannedReflection {
    std::size_t index;  // in the list given
    Miller hkl;
    double s, q2;
    std::complex<double> FN, FM;  // 10⁻¹² cm; F_M for the guessed moments
    double R;
    double plus, minus;  // I₊ and I₋, 10⁻²⁴ cm²
    double plusShare;    // t₊/(t₊ + t₋) that measures R best: √I₋/(√I₊ + √I₋)
    std::vector<double> information;  // J_mm per site, μB⁻² per unit time
    double score;                     // Σ_m J_mm: what the ranking follows
};

struct MeasurementPlan {
    std::string error;                       // why there is no plan; empty when there is one
    std::vector<std::string> sites;          // the magnetic sites' labels
    std::vector<PlannedReflection> order;    // most informative first
    std::vector<LeftOutReflection> leftOut;  // those that cannot constrain, in order
};

// The reflections ranked by the information they give on the moments per
// unit time, for the guessed moments (μB along the field, one per magnetic
// site), a beam of polarisation P and flipper probability f. Equal scores keep
// the order given. Refused: no magnetic site, moments of the wrong size or not
// finite, P outside [−1, 1] or 0, f outside (0, 1], q² outside [0, 1] or NaN,
// hkl 000. Forbidden reflections, F_N = 0 and q² = 0 are named in leftOut.
// A reflection whose score is 0 (all moments guessed 0 on a site that F_M
// misses, say) stays in the plan, last.
MeasurementPlan PlanMeasurements(const StructureFactorModel& model, std::span<const Miller> hkl,
                                 std::span<const double> moments, double P, double f,
                                 std::span<const double> q2);
MeasurementPlan PlanMeasurementsInField(const StructureFactorModel& model,
                                        std::span<const Miller> hkl,
                                        std::span<const double> moments, double P, double f,
                                        const std::array<double, 3>& field);

}  // namespace vantrel::magnetic
