#include "vantrel/helium3/decay_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>

#include "arithmetic/square.h"
#include "vantrel/fit/least_squares.h"
#include "vantrel/helium3/helium3.h"
#include "vantrel/nan.h"

namespace vantrel::helium3 {
namespace {

constexpr int kIterationLimit = 200;

// The model while it is fitted: PHe(t) = A·exp(−k·(t − t_c)), with t_c the
// weighted mean time of the points. The rate k = 1/T1 keeps a slowly decaying
// start (k near 0) finite, and about t_c the two columns of the Jacobian are
// orthogonal for good data, however far t = 0 lies from the points: there the
// covariance is formed, and carried to (PHe0, T1) by the transformation's
// derivatives.
struct Frame {
    double centre;
    std::vector<double> since;  // t − t_c
};

// Weights (PHe/σ)², the inverse variances of ln PHe, relative to the
// largest of each factor: none overflows or vanishes whatever the scale of σ.
std::vector<double> LogWeights(const std::vector<double>& y, const std::vector<double>& s) {
    const double yMax = *std::max_element(y.begin(), y.end());
    const double sMin = *std::min_element(s.begin(), s.end());
    std::vector<double> w(y.size());
    for (std::size_t i = 0; i < y.size(); ++i) w[i] = Square((y[i] / yMax) * (sMin / s[i]));
    return w;
}

Frame Centred(const std::vector<double>& t, const std::vector<double>& w) {
    double W = 0, Wt = 0;
    const double earliest = *std::min_element(t.begin(), t.end());
    for (std::size_t i = 0; i < t.size(); ++i) W += w[i], Wt += w[i] * (t[i] - earliest);
    Frame f{earliest + Wt / W, std::vector<double>(t.size())};
    for (std::size_t i = 0; i < t.size(); ++i) f.since[i] = t[i] - f.centre;
    return f;
}

// The weighted straight line through ln PHe about t_c: the start, close to the
// optimum for good data, biased for noisy points (hence the iterations after it).
std::array<double, 2> LogLinearStart(const Frame& f, const std::vector<double>& y,
                                     const std::vector<double>& w) {
    std::vector<double> l(y.size());
    double W = 0, Wt = 0, Wl = 0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        l[i] = std::log(y[i]);
        W += w[i], Wt += w[i] * f.since[i], Wl += w[i] * l[i];
    }
    const double tMean = Wt / W, lMean = Wl / W;
    double Stt = 0, Stl = 0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        Stt += w[i] * (f.since[i] - tMean) * (f.since[i] - tMean);
        Stl += w[i] * (f.since[i] - tMean) * (l[i] - lMean);
    }
    const double slope = Stl / Stt;
    return {std::exp(lMean - slope * tMean), -slope};
}

// The model and its Jacobian; the engine asks for the Jacobian where it has
// just evaluated the model, so the exponentials are kept for it.
struct Exponentials {
    std::array<double, 2> x{kNaN, kNaN};
    std::vector<double> e;
};

fit::Model DecayModel(const Frame& f, Exponentials& kept) {
    return {[&f, &kept](std::span<const double> x, std::span<double> value) {
                kept.e.resize(value.size());
                for (std::size_t i = 0; i < value.size(); ++i) {
                    kept.e[i] = std::exp(-x[1] * f.since[i]);
                    value[i] = x[0] * kept.e[i];
                }
                kept.x = {x[0], x[1]};
            },
            [&f, &kept](std::span<const double> x, std::span<double> jacobian) {
                const bool same = kept.x[0] == x[0] && kept.x[1] == x[1];
                for (std::size_t i = 0; i < f.since.size(); ++i) {
                    const double e = same ? kept.e[i] : std::exp(-x[1] * f.since[i]);
                    jacobian[2 * i] = e;
                    jacobian[2 * i + 1] = -(x[0] * f.since[i]) * e;
                }
            }};
}

// √(u² + v² + 2ρuv), written as the completed square relative to the larger
// of u and v: never negative, and neither square under- nor overflows.
double Combined(double u, double v, double rho) {
    const double scale = std::max(std::fabs(u), std::fabs(v));
    if (scale == 0.0 || !std::isfinite(scale)) return scale;
    const double a = u / scale, b = v / scale;
    return scale * std::sqrt(Square(a + rho * b) + (1.0 - rho * rho) * Square(b));
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
    const double nu = double(n > 2 ? n - 2 : 0);
    if (nu == 0 || !(fit::ChiSquareTail(reduced_chi_square * nu, nu) < 1e-3)) return {};
    return Format("reduced chi-square %.3g", reduced_chi_square) + " on " + std::to_string(n - 2) +
           " degrees of freedom: the points scatter more than their deviations allow (a cell "
           "re-polarised in between, an outlier?); sigmaPHe0 and sigmaT1 take the deviations as "
           "exact and understate the uncertainty";
}

DecayFitOutcome He3DecayFit(const std::vector<double>& t, const std::vector<double>& PHe,
                            const std::vector<double>& sigmaPHe, double common) {
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
    if (!std::isfinite(common) || common < 0.0) {
        return Failure(
            DecayFitError::kNoRow,
            Format("the common relative deviation is %.17g; it must be 0 or above", common));
    }
    // Deviations so far apart that the weights of all but one point vanish
    // leave the weighted line undetermined: then the unweighted one starts.
    std::vector<double> w = LogWeights(PHe, sigmaPHe);
    Frame frame = Centred(t, w);
    std::array<double, 2> start = LogLinearStart(frame, PHe, w);
    if (!std::isfinite(start[0]) || !std::isfinite(start[1])) {
        std::fill(w.begin(), w.end(), 1.0);
        frame = Centred(t, w);
        start = LogLinearStart(frame, PHe, w);
    }
    fit::Options options;
    options.max_iterations = kIterationLimit;
    Exponentials kept;
    const fit::Result r = fit::LeastSquares(DecayModel(frame, kept), PHe, sigmaPHe, start, options);
    switch (r.status) {
        case fit::Status::kConverged:
        case fit::Status::kUndetermined:
            break;
        case fit::Status::kStart:
            return Failure(DecayFitError::kNoRow,
                           "no finite start for the fit: the points span more than a double "
                           "can follow");
        default:
            return Failure(DecayFitError::kNoRow, r.message);
    }
    const double A = r.parameters[0], k = r.parameters[1];
    if (!(k > 0.0)) {
        return Failure(DecayFitError::kNoRow,
                       "the points do not decay: the best fit rises or stays level (1/T1 = " +
                           Format("%.6g", k) + ")");
    }
    if (r.status == fit::Status::kUndetermined) {
        return Failure(DecayFitError::kNoRow, "the points do not determine both PHe0 and T1");
    }

    const double T1 = 1.0 / k, E = std::exp(k * frame.centre), P0 = A * E;
    if (!std::isfinite(P0)) {
        const double earliest = *std::min_element(t.begin(), t.end());
        std::string reason = Format(
            "PHe0, the polarisation at t = 0, is beyond a double: t = 0 "
            "lies %.3g T1 before the first point",
            earliest / T1);
        reason += "; count t from nearer the points";
        return Failure(DecayFitError::kNoRow, std::move(reason));
    }

    // (PHe0, T1) = (A·e^(k·t_c), 1/k): ∂PHe0/∂A = e^(k·t_c), ∂PHe0/∂k = PHe0·t_c,
    // ∂T1/∂k = −1/k². With u and v the two terms of σ(PHe0) and ρ_Ak the
    // correlation in the centred frame, cov(PHe0, T1) = −σ(T1)·(ρ_Ak·u + v).
    const double sA = r.deviations[0], sk = r.deviations[1], rhoAk = r.correlation[1];
    const double u = E * sA, v = (P0 * frame.centre) * sk;
    const double sP0 = Combined(u, v, rhoAk);
    const double sT1 = (sk / k) / k;
    const double sP0All = Combined(sP0, common * P0, 0.0);
    const double rho = sP0All > 0.0 ? std::clamp(-(rhoAk * u + v) / sP0All, -1.0, 1.0) : 0.0;
    DecayFit fit{P0, T1, sP0All, sT1, rho, r.reduced_chi_square, n};
    fit.probability = r.probability;
    fit.sigmaPHe0_points = sP0;
    return {fit, {}};
}

}  // namespace vantrel::helium3
