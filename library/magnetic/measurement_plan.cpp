#include "vantrel/magnetic/measurement_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "magnetic/polarised_intensities.h"
#include "magnetic/reflection_terms.h"

namespace vantrel::magnetic {
namespace {

MeasurementPlan Refused(std::string message) {
    MeasurementPlan plan;
    plan.error = std::move(message);
    return plan;
}

template <typename Q2Of>
MeasurementPlan Plan(const StructureFactorModel& model, std::span<const Miller> hkl,
                     std::span<const double> moments, double P, double f, Q2Of q2Of) {
    const std::size_t sites = model.MagneticSites().size();
    if (sites == 0) return Refused("the structure has no magnetic site to plan for");
    if (moments.size() != sites)
        return Refused("there are " + std::to_string(moments.size()) + " guessed moments for " +
                       std::to_string(sites) + " magnetic sites");
    for (std::size_t m = 0; m < sites; ++m)
        if (!std::isfinite(moments[m]))
            return Refused("the guessed moment of site " +
                           model.Structure().sites[model.MagneticSites()[m].site].label +
                           " is not finite");
    if (!(P >= -1.0 && P <= 1.0) || P == 0.0)
        return Refused("the polarisation P = " + Number(P) + " is not in [-1, 1] or is 0");
    if (!(f > 0.0 && f <= 1.0))
        return Refused("the flipper probability f = " + Number(f) + " is not in (0, 1]");
    std::vector<double> q2(hkl.size());
    for (std::size_t i = 0; i < hkl.size(); ++i) {
        const std::string where = HklText(hkl[i]) + " (row " + std::to_string(i + 1) + ")";
        if (hkl[i] == Miller{0, 0, 0}) return Refused(where + ": 000 is not a reflection");
        q2[i] = q2Of(i);
        if (std::isnan(q2[i])) return Refused(where + ": q2 is not given or not a number");
        if (!(q2[i] >= 0.0 && q2[i] <= 1.0))
            return Refused(where + ": q2 = " + Number(q2[i]) + " is not in [0, 1]");
    }

    MeasurementPlan plan;
    for (const MagneticSite& site : model.MagneticSites())
        plan.sites.push_back(model.Structure().sites[site.site].label);
    const double vanishing = kVanishingNuclearShare * NuclearScale(model);
    std::vector<double> derivatives(sites);
    // Every reflection's factors at once: one table of phases for the list.
    const FactorColumns factors = model.FactorsOf(hkl);
    for (std::size_t i = 0; i < hkl.size(); ++i) {
        const auto leaveOut = [&](Unconstraining why, const char* reason) {
            plan.leftOut.push_back({i, hkl[i], why, HklText(hkl[i]) + ": " + reason});
        };
        if (!factors.allowed[i]) {
            leaveOut(Unconstraining::kForbidden, "forbidden by the symmetry, left out");
            continue;
        }
        if (q2[i] == 0.0) {
            leaveOut(Unconstraining::kNoField,
                     "q2 = 0, the scattering vector lies along the field, left out");
            continue;
        }
        const std::complex<double> FN = factors.FN[i];
        if (std::abs(FN) <= vanishing) {
            leaveOut(Unconstraining::kNoNuclear, "F_N = 0, R is 1 whatever the moments, left out");
            continue;
        }
        const auto perMoment =
            std::span<const std::complex<double>>(factors.FMPerMoment).subspan(i * sites, sites);
        const std::complex<double> FM = MagneticStructureFactor(perMoment, moments);
        const auto [plus, minus] = Intensities(FN, FM, P, f, q2[i]);
        FlippingRatioMomentDerivatives(FN, perMoment, moments, P, f, q2[i], derivatives);
        PlannedReflection row{i,
                              hkl[i],
                              factors.s[i],
                              q2[i],
                              FN,
                              FM,
                              plus / minus,
                              plus,
                              minus,
                              0.0,
                              std::vector<double>(sites),
                              0.0};
        const double rootPlus = std::sqrt(plus), rootMinus = std::sqrt(minus);
        row.plusShare = rootMinus / (rootPlus + rootMinus);
        // R·(1/√I₊ + 1/√I₋), the relative deviation of R per unit time times R.
        const double spread = row.R * (1.0 / rootPlus + 1.0 / rootMinus);
        for (std::size_t m = 0; m < sites; ++m) {
            const double d = derivatives[m] / spread;
            row.information[m] = std::isfinite(d) ? d * d : 0.0;
            row.score += row.information[m];
        }
        plan.order.push_back(std::move(row));
    }
    std::stable_sort(
        plan.order.begin(), plan.order.end(),
        [](const PlannedReflection& a, const PlannedReflection& b) { return a.score > b.score; });
    return plan;
}

}  // namespace

MeasurementPlan PlanMeasurements(const StructureFactorModel& model, std::span<const Miller> hkl,
                                 std::span<const double> moments, double P, double f,
                                 std::span<const double> q2) {
    if (q2.size() != hkl.size())
        return Refused("there are " + std::to_string(q2.size()) + " values of q2 for " +
                       std::to_string(hkl.size()) + " reflections");
    return Plan(model, hkl, moments, P, f, [&](std::size_t i) { return q2[i]; });
}

MeasurementPlan PlanMeasurementsInField(const StructureFactorModel& model,
                                        std::span<const Miller> hkl,
                                        std::span<const double> moments, double P, double f,
                                        const std::array<double, 3>& field) {
    if (!(std::isfinite(field[0]) && std::isfinite(field[1]) && std::isfinite(field[2])) ||
        (field[0] == 0.0 && field[1] == 0.0 && field[2] == 0.0))
        return Refused("the field direction [" + Number(field[0]) + " " + Number(field[1]) + " " +
                       Number(field[2]) + "] is not a finite non-zero direction");
    return Plan(model, hkl, moments, P, f, [&](std::size_t i) { return model.Q2(hkl[i], field); });
}

}  // namespace vantrel::magnetic
