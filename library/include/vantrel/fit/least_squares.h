// Weighted least squares for a model of any number of parameters, by
// Levenberg–Marquardt: the parameters x that minimise
//   χ² = Σ ((y_i − f_i(x))/σ_i)²,
// with the covariance of x from the Jacobian at the optimum, the deviations σ_i
// taken as absolute (not rescaled by the scatter of the points).
//
// The deviations enter only relative to their largest: a common factor of
// every σ_i, however large or small, changes neither the estimates nor the
// deviations of the parameters relative to the σ_i, and no weight overflows or
// underflows on the way. Parameters are scaled by the size of their Jacobian
// columns, so their units do not matter either.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vantrel::fit {

// The model at the parameters x: its value at every point into `value` (one
// per observation). A model that cannot be evaluated there leaves a NaN or an
// infinity in `value`; the fit then avoids that region, or stops with kStart
// when it is the start.
using ModelValues = std::function<void(std::span<const double> x, std::span<double> value)>;

// ∂f_i/∂x_j at x into `jacobian`, row by row (point i, parameter j at
// i·parameters + j). Without one the fit differentiates numerically.
using ModelJacobian = std::function<void(std::span<const double> x, std::span<double> jacobian)>;

struct Model {
    ModelValues values;
    ModelJacobian jacobian;  // may be empty
};

struct Options {
    int max_iterations = 200;             // Jacobian evaluations; reached means kIterationLimit
    double gradient_tolerance = 1e-12;    // cosine of the residuals and any Jacobian column
    double step_tolerance = 1e-13;        // a step's change of the model, relative to its size
    double chi_square_tolerance = 1e-20;  // relative decrease of χ² the undamped step predicts
};

enum class Status {
    kConverged,       // an optimum: parameters, deviations and correlations hold
    kIterationLimit,  // max_iterations reached first: parameters are the last, no covariance
    kStalled,         // no step lowers χ² although the gradient is not small
    kStart,           // the model, or its Jacobian, is not finite at the start
    kNonFinite,       // the Jacobian is not finite at an accepted point
    kUndetermined,    // converged, but the points do not determine every parameter
    kInput,           // sizes disagree, no parameters, or a σ_i not finite and above 0
};

struct Result {
    Status status = Status::kInput;
    std::vector<double> parameters;
    // The covariance, row-major, of size parameters²; its elements may lie
    // beyond a double (σ_i of 1e-170 give variances of 1e-340) where the
    // deviations and correlations below do not.
    std::vector<double> covariance;
    std::vector<double> deviations;   // √ of the covariance's diagonal
    std::vector<double> correlation;  // row-major, each in [−1, 1], 1 on the diagonal
    double chi_square = 0.0;          // may be +∞ where χ² is beyond a double
    double reduced_chi_square = 0.0;  // χ²/ν; NaN for ν = 0
    double probability = 0.0;  // P(χ²_ν ≥ χ²): the chance of a worse fit; NaN for ν = 0
    std::size_t degrees_of_freedom = 0;  // points − parameters (0 if fewer points)
    int iterations = 0;
    std::string message;  // why the status is not kConverged; empty otherwise

    bool converged() const noexcept { return status == Status::kConverged; }
};

// y and sigma have one value per point; start has one per parameter.
Result LeastSquares(const Model& model, std::span<const double> y, std::span<const double> sigma,
                    std::span<const double> start, const Options& options = {});

// Q(ν/2, χ²/2), the regularised upper incomplete gamma function: the
// probability that χ² with ν degrees of freedom reaches chiSquare or more.
double ChiSquareTail(double chiSquare, double nu) noexcept;

}  // namespace vantrel::fit
