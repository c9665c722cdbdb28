#include "vantrel/magnetic/moment_fit.h"

#include <cmath>
#include <complex>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "magnetic/polarised_intensities.h"
#include "magnetic/reflection_terms.h"

namespace vantrel::magnetic {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

MomentFitResult Refused(std::string message) {
    MomentFitResult result;
    result.status = fit::Status::kInput;
    result.message = std::move(message);
    return result;
}

template <typename Q2Of>
MomentFitResult Fit(const StructureFactorModel& model,
                    std::span<const MeasuredFlippingRatio> measured, double P, double f,
                    std::span<const double> start, const fit::Options& options, Q2Of q2Of) {
    const std::size_t sites = model.MagneticSites().size();
    if (sites == 0) return Refused("the structure has no magnetic site to fit");
    if (!(P >= -1.0 && P <= 1.0) || P == 0.0)
        return Refused("the polarisation P = " + Number(P) + " is not in [-1, 1] or is 0");
    if (!(f > 0.0 && f <= 1.0))
        return Refused("the flipper probability f = " + Number(f) + " is not in (0, 1]");
    std::vector<double> x(sites, 1.0);
    if (!start.empty()) {
        if (start.size() != sites)
            return Refused("the start has " + std::to_string(start.size()) + " moments for " +
                           std::to_string(sites) + " magnetic sites");
        for (std::size_t m = 0; m < sites; ++m) {
            if (!std::isfinite(start[m]))
                return Refused("the start moment of site " +
                               model.Structure().sites[model.MagneticSites()[m].site].label +
                               " is not finite");
            x[m] = start[m];
        }
    }

    // Every reflection is checked before any is fitted, so that a refusal
    // names the first bad row rather than a fit of the rows before it.
    std::vector<double> q2(measured.size());
    for (std::size_t i = 0; i < measured.size(); ++i) {
        const MeasuredFlippingRatio& row = measured[i];
        // Named only when refused: most rows are not.
        const auto where = [&] {
            return HklText(row.hkl) + " (row " + std::to_string(i + 1) + ")";
        };
        if (row.hkl == Miller{0, 0, 0}) return Refused(where() + ": 000 is not a reflection");
        if (!std::isfinite(row.R)) return Refused(where() + ": R is not finite");
        if (!(std::isfinite(row.sigmaR) && row.sigmaR > 0.0))
            return Refused(where() + ": sigma of R = " + Number(row.sigmaR) +
                           " is not finite and positive");
        q2[i] = q2Of(row);
        if (std::isnan(q2[i])) return Refused(where() + ": q2 is not given or not a number");
        if (!(q2[i] >= 0.0 && q2[i] <= 1.0))
            return Refused(where() + ": q2 = " + Number(q2[i]) + " is not in [0, 1]");
    }

    MomentFitResult result;
    for (const MagneticSite& site : model.MagneticSites())
        result.sites.push_back(model.Structure().sites[site.site].label);
    const double vanishing = kVanishingNuclearShare * NuclearScale(model);
    // The factors of every reflection that may constrain, at once; the fit
    // then only sums them, F_M being linear in the moments.
    std::vector<Miller> candidates;
    for (std::size_t i = 0; i < measured.size(); ++i)
        if (q2[i] != 0.0) candidates.push_back(measured[i].hkl);
    const FactorColumns factors = model.FactorsOf(candidates);
    // Whether each candidate is allowed is in the factors; the rest are tested here.
    const auto allowed = [&](std::size_t i, std::size_t candidate) {
        return candidate < factors.allowed.size() ? factors.allowed[candidate] != 0
                                                  : model.Allowed(measured[i].hkl);
    };
    std::vector<std::complex<double>> FN, perMoment;
    std::vector<double> fittedQ2, y, sigma;
    for (std::size_t i = 0, c = 0; i < measured.size(); ++i) {
        const MeasuredFlippingRatio& row = measured[i];
        const auto leaveOut = [&](Unconstraining why, const char* reason) {
            result.leftOut.push_back({i, row.hkl, why, HklText(row.hkl) + ": " + reason});
        };
        const std::size_t candidate = q2[i] != 0.0 ? c++ : factors.s.size();
        if (!allowed(i, candidate)) {
            leaveOut(Unconstraining::kForbidden, "forbidden by the symmetry, left out");
            continue;
        }
        if (q2[i] == 0.0) {
            leaveOut(Unconstraining::kNoField,
                     "q2 = 0, the scattering vector lies along the field, left out");
            continue;
        }
        if (std::abs(factors.FN[candidate]) <= vanishing) {
            leaveOut(Unconstraining::kNoNuclear, "F_N = 0, R is 1 whatever the moments, left out");
            continue;
        }
        result.reflections.push_back(
            {i, row.hkl, factors.s[candidate], q2[i], row.R, row.sigmaR, kNaN, kNaN});
        FN.push_back(factors.FN[candidate]);
        const auto first = factors.FMPerMoment.begin() + std::ptrdiff_t(candidate * sites);
        perMoment.insert(perMoment.end(), first, first + std::ptrdiff_t(sites));
        fittedQ2.push_back(q2[i]);
        y.push_back(row.R);
        sigma.push_back(row.sigmaR);
    }
    if (FN.empty()) {
        result.status = fit::Status::kInput;
        result.message = "no reflection constrains the moments";
        return result;
    }
    const std::size_t n = FN.size();
    const auto perMomentOf = [&](std::size_t i) {
        return std::span<const std::complex<double>>(perMoment).subspan(i * sites, sites);
    };

    fit::Model fitModel;
    fitModel.values = [&](std::span<const double> mu, std::span<double> value) {
        for (std::size_t i = 0; i < n; ++i)
            value[i] = FlippingRatioAndAsymmetry(FN[i], MagneticStructureFactor(perMomentOf(i), mu),
                                                 P, f, fittedQ2[i])
                           .R;
    };
    fitModel.jacobian = [&](std::span<const double> mu, std::span<double> jacobian) {
        for (std::size_t i = 0; i < n; ++i)
            FlippingRatioMomentDerivatives(FN[i], perMomentOf(i), mu, P, f, fittedQ2[i],
                                           jacobian.subspan(i * sites, sites));
    };
    const fit::Result fitted = fit::LeastSquares(fitModel, y, sigma, x, options);

    result.status = fitted.status;
    result.message = fitted.message;
    result.moments = fitted.parameters;
    result.deviations = fitted.deviations;
    result.correlation = fitted.correlation;
    result.chi_square = fitted.chi_square;
    result.reduced_chi_square = fitted.reduced_chi_square;
    result.probability = fitted.probability;
    result.degrees_of_freedom = fitted.degrees_of_freedom;
    result.iterations = fitted.iterations;
    if (result.moments.size() == sites) {
        std::vector<double> calc(n);
        fitModel.values(result.moments, calc);
        for (std::size_t i = 0; i < n; ++i) {
            FittedFlippingRatio& row = result.reflections[i];
            row.RCalc = calc[i];
            row.residual = (row.R - row.RCalc) / row.sigmaR;
        }
    }
    return result;
}

}  // namespace

void FlippingRatioMomentDerivatives(std::complex<double> FN,
                                    std::span<const std::complex<double>> FMPerMoment,
                                    std::span<const double> moments, double P, double f, double q2,
                                    std::span<double> derivatives) noexcept {
    const std::size_t n = derivatives.size();
    std::complex<double> FM{0.0, 0.0};
    for (std::size_t m = 0; m < n && m < moments.size() && m < FMPerMoment.size(); ++m)
        FM += moments[m] * FMPerMoment[m];
    const bool usable = UsableBeam(P, f, q2);
    const auto [plus, minus] = Intensities(FN, FM, P, f, q2);
    const double Pf = (2.0 * f - 1.0) * P;
    for (std::size_t m = 0; m < n; ++m) {
        if (!usable || minus == 0.0 || m >= FMPerMoment.size()) {
            derivatives[m] = kNaN;
            continue;
        }
        const std::complex<double> Fm = FMPerMoment[m];
        // ∂Re(F_N*·F_M)/∂μ_m = Re(F_N*·F_M,m) and ∂|F_M|²/∂μ_m = 2·Re(F_M*·F_M,m).
        const double dInterference = q2 * (FN.real() * Fm.real() + FN.imag() * Fm.imag());
        const double dMagnetic = q2 * (2.0 * (FM.real() * Fm.real() + FM.imag() * Fm.imag()));
        const double dPlus = (2.0 * P) * dInterference + dMagnetic;
        const double dMinus = dMagnetic - (2.0 * Pf) * dInterference;
        derivatives[m] = (dPlus * minus - plus * dMinus) / (minus * minus);
    }
}

MomentFitResult FitMoments(const StructureFactorModel& model,
                           std::span<const MeasuredFlippingRatio> measured, double P, double f,
                           std::span<const double> start, const fit::Options& options) {
    return Fit(model, measured, P, f, start, options,
               [](const MeasuredFlippingRatio& row) { return row.q2; });
}

MomentFitResult FitMomentsInField(const StructureFactorModel& model,
                                  std::span<const MeasuredFlippingRatio> measured, double P,
                                  double f, const std::array<double, 3>& field,
                                  std::span<const double> start, const fit::Options& options) {
    if (!(std::isfinite(field[0]) && std::isfinite(field[1]) && std::isfinite(field[2])) ||
        (field[0] == 0.0 && field[1] == 0.0 && field[2] == 0.0))
        return Refused("the field direction [" + Number(field[0]) + " " + Number(field[1]) + " " +
                       Number(field[2]) + "] is not a finite non-zero direction");
    return Fit(model, measured, P, f, start, options,
               [&](const MeasuredFlippingRatio& row) { return model.Q2(row.hkl, field); });
}

}  // namespace vantrel::magnetic
