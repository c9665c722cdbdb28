#include "vantrel/helium3/decay_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>

#include "vantrel/helium3/helium3.h"

namespace vantrel::helium3 {
namespace {

constexpr int kIterationLimit = 1000;

// The model in the rate k = 1/T1 while it iterates: a slowly decaying start
// (k near 0) is no trouble there, where T1 would run off to infinity.
struct Parameters {
    double PHe0, k;
};

double ChiSquare(const std::vector<double>& t, const std::vector<double>& y,
                 const std::vector<double>& s, Parameters p) {
    double sum = 0.0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const double r = (y[i] - p.PHe0 * std::exp(-p.k * t[i])) / s[i];
        sum += r * r;
    }
    return sum;
}

// The weighted straight line through ln PHe: the start, close to the optimum
// for good data, biased for noisy points (hence the iterations after it).
Parameters LogLinearStart(const std::vector<double>& t, const std::vector<double>& y,
                          const std::vector<double>& s) {
    double W = 0, Wt = 0, Wl = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const double w = (y[i] / s[i]) * (y[i] / s[i]);  // 1/σ² of ln PHe
        W += w, Wt += w * t[i], Wl += w * std::log(y[i]);
    }
    const double tMean = Wt / W, lMean = Wl / W;
    double Stt = 0, Stl = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const double w = (y[i] / s[i]) * (y[i] / s[i]);
        Stt += w * (t[i] - tMean) * (t[i] - tMean);
        Stl += w * (t[i] - tMean) * (std::log(y[i]) - lMean);
    }
    const double slope = Stl / Stt;
    return {std::exp(lMean - slope * tMean), -slope};
}

// Levenberg–Marquardt on two parameters. Returns the optimum, or nothing when
// the iteration limit is reached first.
std::optional<Parameters> Minimise(const std::vector<double>& t, const std::vector<double>& y,
                                   const std::vector<double>& s, Parameters p) {
    double chi2 = ChiSquare(t, y, s, p);
    double damping = 1e-3;
    for (int iteration = 0; iteration < kIterationLimit; ++iteration) {
        // Normal equations of the weighted residuals r = (y − f)/σ.
        double a00 = 0, a01 = 0, a11 = 0, g0 = 0, g1 = 0;
        for (std::size_t i = 0; i < t.size(); ++i) {
            const double e = std::exp(-p.k * t[i]);
            const double j0 = e / s[i], j1 = -p.PHe0 * t[i] * e / s[i];
            const double r = (y[i] - p.PHe0 * e) / s[i];
            a00 += j0 * j0, a01 += j0 * j1, a11 += j1 * j1;
            g0 += j0 * r, g1 += j1 * r;
        }
        // Damped steps until one lowers χ²; none can once the step is lost in
        // rounding: then this is the optimum.
        while (true) {
            const double b00 = a00 * (1 + damping), b11 = a11 * (1 + damping);
            const double det = b00 * b11 - a01 * a01;
            const Parameters trial{p.PHe0 + (b11 * g0 - a01 * g1) / det,
                                   p.k + (b00 * g1 - a01 * g0) / det};
            const double trialChi2 = ChiSquare(t, y, s, trial);
            if (trialChi2 < chi2) {
                const bool settled = chi2 - trialChi2 <= 1e-15 * chi2 &&
                                     std::fabs(trial.PHe0 - p.PHe0) <= 1e-12 * std::fabs(p.PHe0) &&
                                     std::fabs(trial.k - p.k) <= 1e-12 * std::fabs(p.k);
                p = trial, chi2 = trialChi2;
                damping = std::max(damping / 10, 1e-12);
                if (settled) return p;
                break;
            }
            damping *= 10;
            if (!(damping < 1e16)) return p;
        }
    }
    return std::nullopt;
}

std::string Format(const char* format, double x) {
    char text[128];  // the longest format here and 24 characters of any double
    std::snprintf(text, sizeof text, format, x);
    return text;
}

// Why a row cannot enter the fit, or nothing.
std::string RowProblem(double t, double y, double s) {
    const auto what = [](const char* name, double x) {
        return std::string(name) + (std::isnan(x) ? " is NaN" : " is infinite");
    };
    if (!std::isfinite(t)) return what("t", t);
    if (!std::isfinite(y)) return what("PHe", y);
    if (!std::isfinite(s)) return what("sigmaPHe", s);
    if (y <= 0.0) return Format("PHe is %.17g; a decay fit needs polarisations above 0", y);
    if (s <= 0.0) return Format("sigmaPHe is %.17g; every deviation must be above 0", s);
    return {};
}

// The upper 99.9 % point of χ²/ν (Wilson–Hilferty), ν ≥ 1.
double ReducedChiSquareLimit(double nu) {
    const double z = 3.090232306167813, c = 2.0 / (9.0 * nu);
    const double cube = 1.0 - c + z * std::sqrt(c);
    return cube * cube * cube;
}

DecayFitOutcome Failure(std::size_t row, std::string reason) {
    return {std::nullopt, {row, std::move(reason)}};
}

}  // namespace

double DecayFit::PolarisationAt(double t) const noexcept {
    return He3PolarisationAtTime(PHe0, T1, t);
}

double DecayFit::PolarisationSDevAt(double t) const noexcept {
    return He3PolarisationAtTimeSDev(PHe0, T1, t, sigmaPHe0, sigmaT1, rho);
}

std::string DecayFit::Note() const {
    if (n <= 2 || !(reduced_chi_square > ReducedChiSquareLimit(double(n - 2)))) return {};
    return Format("reduced chi-square %.3g", reduced_chi_square) + " on " + std::to_string(n - 2) +
           " degrees of freedom: the points scatter more than their deviations allow (a cell "
           "re-polarised in between, an outlier?); sigmaPHe0 and sigmaT1 take the deviations as "
           "exact and understate the uncertainty";
}

DecayFitOutcome He3DecayFit(const std::vector<double>& t, const std::vector<double>& PHe,
                            const std::vector<double>& sigmaPHe) {
    const std::size_t n = t.size();
    if (PHe.size() != n || sigmaPHe.size() != n) {
        return Failure(DecayFitError::kNoRow, "t, PHe and sigmaPHe have " + std::to_string(n) +
                                                  ", " + std::to_string(PHe.size()) + " and " +
                                                  std::to_string(sigmaPHe.size()) +
                                                  " values; they need one each per point");
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (std::string problem = RowProblem(t[i], PHe[i], sigmaPHe[i]); !problem.empty())
            return Failure(i, std::move(problem));
    }
    if (n < 2) {
        return Failure(DecayFitError::kNoRow,
                       std::to_string(n) + " point" + (n == 1 ? "" : "s") +
                           "; a decay fit needs at least two, at two different times");
    }
    if (std::all_of(t.begin(), t.end(), [&](double x) { return x == t[0]; })) {
        return Failure(DecayFitError::kNoRow,
                       "all " + std::to_string(n) + " points are at the same time (t = " +
                           Format("%.17g", t[0]) + "); a decay fit needs two different times");
    }
    // Iterated with the time counted from the earliest point, so that the
    // polarisation it fits is one inside the data however far t = 0 lies.
    const double earliest = *std::min_element(t.begin(), t.end());
    std::vector<double> since(n);
    for (std::size_t i = 0; i < n; ++i) since[i] = t[i] - earliest;
    const std::optional<Parameters> optimum =
        Minimise(since, PHe, sigmaPHe, LogLinearStart(since, PHe, sigmaPHe));
    if (!optimum) {
        return Failure(DecayFitError::kNoRow, "the fit did not converge in " +
                                                  std::to_string(kIterationLimit) + " iterations");
    }
    if (!(optimum->k > 0.0)) {
        return Failure(DecayFitError::kNoRow,
                       "the points do not decay: the best fit rises or stays level (1/T1 = " +
                           Format("%.6g", optimum->k) + ")");
    }

    const double P0 = optimum->PHe0 * std::exp(optimum->k * earliest), T1 = 1.0 / optimum->k;
    if (!std::isfinite(P0)) {
        std::string reason = Format(
            "PHe0, the polarisation at t = 0, is beyond a double: t = 0 "
            "lies %.3g T1 before the first point",
            earliest / T1);
        reason += "; count t from nearer the points";
        return Failure(DecayFitError::kNoRow, std::move(reason));
    }

    // The covariance in (PHe0, T1) themselves, from the Jacobian at the optimum.
    double a00 = 0, a01 = 0, a11 = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double e = std::exp(-t[i] / T1);
        const double j0 = e / sigmaPHe[i], j1 = P0 * t[i] * e / (T1 * T1) / sigmaPHe[i];
        a00 += j0 * j0, a01 += j0 * j1, a11 += j1 * j1;
    }
    const double det = a00 * a11 - a01 * a01;
    if (!(det > 0.0)) {
        return Failure(DecayFitError::kNoRow, "the points do not determine both PHe0 and T1");
    }
    const double c00 = a11 / det, c11 = a00 / det, c01 = -a01 / det;
    const double chi2 = ChiSquare(since, PHe, sigmaPHe, *optimum);
    return {DecayFit{P0, T1, std::sqrt(c00), std::sqrt(c11), c01 / std::sqrt(c00 * c11),
                     n > 2 ? chi2 / double(n - 2) : std::numeric_limits<double>::quiet_NaN(), n},
            {}};
}

}  // namespace vantrel::helium3
