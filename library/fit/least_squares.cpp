// Levenberg–Marquardt on the residuals (y_i − f_i)/σ′_i, σ′_i = σ_i/s with s
// the power of two nearest above the largest σ_i: dividing by s is exact, so
// deviations that differ by a power of two give the same bits, and every other
// common factor the same values to rounding. Each damped step is solved by
// orthogonal factorisation rather than through the normal equations, whose
// condition is the square of the Jacobian's.
#include "vantrel/fit/least_squares.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "fit/dense.h"

namespace vantrel::fit {
namespace {

constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool AllFinite(std::span<const double> v) {
    return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
}

// Everything the iteration keeps of one point in parameter space.
struct State {
    std::vector<double> x, value, residual, jacobian;  // residual and jacobian divided by σ′
    double norm = 0.0;                                 // ‖residual‖
};

class Problem {
public:
    Problem(const Model& model, std::span<const double> y, std::span<const double> sigma,
            std::size_t m)
        : model_(model), y_(y), m_(m), n_(y.size()), scaled_sigma_(y.size()) {
        const double largest = *std::max_element(sigma.begin(), sigma.end());
        std::frexp(largest, &exponent_);
        // 2^−exponent is a double even at the largest exponent (a subnormal),
        // and a product with it is rounded once: the same as ldexp, faster.
        const double power = std::ldexp(1.0, -exponent_);
        for (std::size_t i = 0; i < n_; ++i) scaled_sigma_[i] = sigma[i] * power;
        std::vector<double> data(n_);
        weight_.resize(n_);
        for (std::size_t i = 0; i < n_; ++i) {
            weight_[i] = 1.0 / scaled_sigma_[i];
            data[i] = y_[i] * weight_[i];
        }
        data_norm_ = Norm(data);
    }

    int exponent() const noexcept { return exponent_; }
    std::size_t points() const noexcept { return n_; }

    // The model and the residuals at x; false if either is not finite.
    bool Values(State& s) const {
        s.value.assign(n_, kNaN);
        model_.values(s.x, s.value);
        // A value not finite leaves its residual, and so the norm, not finite.
        s.residual.resize(n_);
        for (std::size_t i = 0; i < n_; ++i) s.residual[i] = (y_[i] - s.value[i]) * weight_[i];
        s.norm = Norm(s.residual);
        return std::isfinite(s.norm);
    }

    // The Jacobian of the scaled residuals' model part, ∂f_i/∂x_j / σ′_i.
    bool Jacobian(State& s) {
        s.jacobian.assign(n_ * m_, kNaN);
        typical_.resize(m_, 0.0);
        for (std::size_t j = 0; j < m_; ++j) typical_[j] = std::max(typical_[j], std::fabs(s.x[j]));
        if (model_.jacobian) {
            model_.jacobian(s.x, s.jacobian);
        } else {
            Differentiate(s);
        }
        for (std::size_t i = 0; i < n_; ++i)
            for (std::size_t j = 0; j < m_; ++j) s.jacobian[i * m_ + j] *= weight_[i];
        return AllFinite(s.jacobian);
    }

    // The size the model's changes are measured against: the data's norm in
    // units of σ′ plus the residuals' (at least the model's norm).
    double Size(const State& s) const { return data_norm_ + s.norm; }

private:
    // Central differences, with a step of ε^(1/3) of the largest size the
    // parameter has had (of 1 if it has been 0 throughout), grown a
    // thousandfold while the model's change is lost in its rounding: a
    // parameter that has converged to 0 keeps a step that moves the model.
    void Differentiate(State& s) const {
        std::vector<double> x = s.x, plus(n_), minus(n_);
        double size = 0.0;
        for (const double v : s.value) size = std::max(size, std::fabs(v));
        for (std::size_t j = 0; j < m_; ++j) {
            double h = std::cbrt(kEpsilon) * (typical_[j] > 0.0 ? typical_[j] : 1.0);
            for (int attempt = 0; attempt < 8; ++attempt, h *= 1e3) {
                x[j] = s.x[j] + h;
                const double up = x[j];
                std::fill(plus.begin(), plus.end(), kNaN);
                model_.values(x, plus);
                x[j] = s.x[j] - h;
                const double down = x[j];
                std::fill(minus.begin(), minus.end(), kNaN);
                model_.values(x, minus);
                x[j] = s.x[j];
                double moved = 0.0;
                for (std::size_t i = 0; i < n_; ++i) {
                    s.jacobian[i * m_ + j] = (plus[i] - minus[i]) / (up - down);
                    moved = std::max(moved, std::fabs(plus[i] - minus[i]));
                }
                if (!(moved < 1e6 * kEpsilon * size)) break;
            }
        }
    }

    const Model& model_;
    std::span<const double> y_;
    std::size_t m_, n_;
    std::vector<double> scaled_sigma_, weight_;  // σ′ and 1/σ′
    std::vector<double> typical_;                // the largest |x_j| so far
    double data_norm_ = 0.0;
    int exponent_ = 0;
};

// The lengths of the Jacobian's columns, all in one pass over its rows.
std::vector<double> ColumnLengths(const State& s, std::size_t m) {
    const std::size_t n = s.residual.size();
    std::vector<double> plain(m, 0.0), length(m), column;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < m; ++j)
            plain[j] += s.jacobian[i * m + j] * s.jacobian[i * m + j];
    for (std::size_t j = 0; j < m; ++j) {
        // The plain sum where it is safe, as in Norm; else Norm on a copy.
        if (plain[j] >= 0x1p-900 && plain[j] <= 0x1p900) {
            length[j] = std::sqrt(plain[j]);
            continue;
        }
        column.resize(n);
        for (std::size_t i = 0; i < n; ++i) column[i] = s.jacobian[i * m + j];
        length[j] = Norm(column);
    }
    return length;
}

// The largest cosine between the residuals and a column of the Jacobian: 0 at
// a stationary point whatever the parameters' values or units.
double GradientCosine(const State& s, std::span<const double> length) {
    if (s.norm == 0.0) return 0.0;
    const double residual = 1.0 / s.norm;
    if (std::isinf(residual)) return 0.0;  // residuals below a double's normal range
    const std::size_t n = s.residual.size(), m = length.size();
    // Each column relative to its length, each residual to the norm: no
    // product leaves the range of a double.
    std::vector<double> column(m, 0.0), dot(m, 0.0);
    for (std::size_t j = 0; j < m; ++j) column[j] = length[j] == 0.0 ? 0.0 : 1.0 / length[j];
    for (std::size_t i = 0; i < n; ++i) {
        const double r = s.residual[i] * residual;
        for (std::size_t j = 0; j < m; ++j) dot[j] += (s.jacobian[i * m + j] * column[j]) * r;
    }
    double largest = 0.0;
    for (std::size_t j = 0; j < m; ++j) largest = std::max(largest, std::fabs(dot[j]));
    return largest;
}

// The covariance, deviations and correlations at the optimum s, from the
// Jacobian with its columns scaled to unit length: the frame in which its
// factorisation is best conditioned. False if a parameter is undetermined.
bool Covariance(const State& s, std::size_t m, int exponent, Result& result) {
    const std::size_t n = s.residual.size();
    std::vector<double> length(m), scaled = s.jacobian;
    for (std::size_t j = 0; j < m; ++j) {
        std::vector<double> column(n);
        for (std::size_t i = 0; i < n; ++i) column[i] = s.jacobian[i * m + j];
        length[j] = Norm(column);
        if (!(length[j] > 0.0)) return false;
        for (std::size_t i = 0; i < n; ++i) scaled[i * m + j] /= length[j];
    }
    std::vector<double> inverse;  // (JᵀJ)⁻¹ in the scaled frame
    if (n < m || !InverseOfNormalMatrix(scaled, n, m, inverse)) return false;
    result.deviations.resize(m);
    result.correlation.assign(m * m, 0.0);
    result.covariance.assign(m * m, 0.0);
    for (std::size_t j = 0; j < m; ++j)
        result.deviations[j] = std::ldexp(std::sqrt(inverse[j * m + j]) / length[j], exponent);
    for (std::size_t j = 0; j < m; ++j) {
        for (std::size_t k = 0; k < m; ++k) {
            const double c = inverse[j * m + k];
            const double rho = c / std::sqrt(inverse[j * m + j] * inverse[k * m + k]);
            result.correlation[j * m + k] = j == k ? 1.0 : std::clamp(rho, -1.0, 1.0);
            result.covariance[j * m + k] =
                std::ldexp(std::ldexp(c / length[j] / length[k], exponent), exponent);
        }
    }
    return true;
}

Result Refuse(Status status, std::string message) {
    Result r;
    r.status = status;
    r.message = std::move(message);
    return r;
}

}  // namespace

Result LeastSquares(const Model& model, std::span<const double> y, std::span<const double> sigma,
                    std::span<const double> start, const Options& options) {
    const std::size_t m = start.size(), n = y.size();
    if (m == 0 || !model.values) return Refuse(Status::kInput, "no parameters to fit");
    if (sigma.size() != n) {
        return Refuse(Status::kInput, "the observations and their deviations differ in number");
    }
    if (n == 0) return Refuse(Status::kInput, "no observations");
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(y[i]) || !std::isfinite(sigma[i]) || !(sigma[i] > 0.0)) {
            return Refuse(Status::kInput, "observation " + std::to_string(i) +
                                              " is not finite or its deviation not above 0");
        }
    }
    Problem problem(model, y, sigma, m);

    Result result;
    result.degrees_of_freedom = n > m ? n - m : 0;
    State s;
    s.x.assign(start.begin(), start.end());
    if (!AllFinite(s.x) || !problem.Values(s) || !problem.Jacobian(s)) {
        return Refuse(Status::kStart, "the model is not finite at the start");
    }

    // Parameter scaling: the largest length of each Jacobian column so far
    // (1 for a column that has never moved the model).
    std::vector<double> scale(m, 0.0);
    double damping = 1e-3, growth = 2.0;
    State trial;  // its buffers are reused from one attempt to the next
    result.status = Status::kIterationLimit;
    for (result.iterations = 1;; ++result.iterations) {
        const std::vector<double> length = ColumnLengths(s, m);
        for (std::size_t j = 0; j < m; ++j) scale[j] = std::max(scale[j], length[j]);
        std::vector<double> diagonal(m);
        for (std::size_t j = 0; j < m; ++j) diagonal[j] = scale[j] > 0.0 ? scale[j] : 1.0;

        // Converged when the residuals are orthogonal to the Jacobian, or when
        // the undamped step would change the model or χ² by no more than
        // rounding: tests on the model, so they hold at any parameter values,
        // zero included.
        const Factorisation qr(s.jacobian, n, m, s.residual);
        if (GradientCosine(s, length) <= options.gradient_tolerance) {
            result.status = Status::kConverged;
            break;
        }
        const double size = problem.Size(s);
        if (std::vector<double> newton; qr.Solve(0.0, diagonal, newton)) {
            const double change = qr.Change(newton);
            if (change <= options.step_tolerance * size ||
                (change / s.norm) * (change / s.norm) <= options.chi_square_tolerance) {
                // That last Gauss–Newton step still takes the parameters the
                // rest of the way to rounding, if χ² holds to its resolution.
                trial.x = s.x;
                for (std::size_t j = 0; j < m; ++j) trial.x[j] += newton[j];
                const double resolution = 16.0 * kEpsilon * (size / s.norm);
                if (problem.Values(trial) && trial.norm <= s.norm * (1.0 + resolution) &&
                    problem.Jacobian(trial))
                    std::swap(s, trial);
                result.status = Status::kConverged;
                break;
            }
        }
        if (result.iterations >= options.max_iterations) break;

        // Damped steps until one lowers χ²; Nielsen's update of the damping.
        bool accepted = false;
        while (!accepted) {
            std::vector<double> step;
            if (!(damping < 1e32) || !qr.Solve(damping, diagonal, step)) break;
            trial.x = s.x;
            bool moved = false;
            for (std::size_t j = 0; j < m; ++j) {
                trial.x[j] = s.x[j] + step[j];
                moved = moved || trial.x[j] != s.x[j];
            }
            if (!moved) break;
            const double change = qr.Change(step);
            const double predicted = (change / s.norm) * (change / s.norm);
            // Near the optimum χ² is flat to rounding before the parameters
            // are: each residual y − f carries a rounding error of the size
            // of y, so ‖r‖ is known only to about ε·size/‖r‖. A step whose
            // predicted decrease lies below that is taken unless χ² grows
            // beyond it: the linear model, not χ², knows better there.
            const double resolution = 16.0 * kEpsilon * (size / s.norm);
            const bool flat = predicted <= resolution;
            if (problem.Values(trial) &&
                (trial.norm < s.norm || (flat && trial.norm <= s.norm * (1.0 + resolution)))) {
                const double actual = 1.0 - (trial.norm / s.norm) * (trial.norm / s.norm);
                const double ratio = predicted > 0.0 ? actual / predicted : 1.0;
                const double c = 2.0 * ratio - 1.0;
                // A step taken on a flat χ² says nothing of the damping.
                if (trial.norm < s.norm) damping *= std::max(1.0 / 3.0, 1.0 - c * c * c);
                damping = std::max(damping, 1e-30);
                growth = 2.0;
                if (!problem.Jacobian(trial)) {
                    result.status = Status::kNonFinite;
                    result.message = "the model's derivatives are not finite during the fit";
                    result.parameters = trial.x;
                    return result;
                }
                std::swap(s, trial);
                accepted = true;
            } else {
                damping *= growth;
                growth *= 2.0;
            }
        }
        if (!accepted) {
            result.status = Status::kStalled;
            break;
        }
    }

    result.parameters = s.x;
    const double scaledChi = std::ldexp(s.norm, -problem.exponent());  // ‖r‖ in units of σ
    result.chi_square = scaledChi * scaledChi;
    const double nu = double(result.degrees_of_freedom);
    result.reduced_chi_square =
        nu > 0 ? (scaledChi / std::sqrt(nu)) * (scaledChi / std::sqrt(nu)) : kNaN;
    result.probability = nu > 0 ? ChiSquareTail(result.chi_square, nu) : kNaN;
    switch (result.status) {
        case Status::kConverged:
            if (!Covariance(s, m, problem.exponent(), result)) {
                result.status = Status::kUndetermined;
                result.message = "the points do not determine every parameter";
            }
            break;
        case Status::kIterationLimit:
            result.message = "the fit did not converge in " +
                             std::to_string(options.max_iterations) + " iterations";
            break;
        default:
            result.message = "no step lowers chi-square, yet the fit has not converged";
            break;
    }
    return result;
}

}  // namespace vantrel::fit
