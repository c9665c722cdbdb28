// The few pieces of dense linear algebra the least-squares engine needs, for
// the small number of parameters a fit has and any number of points.
// Matrices are row-major.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace vantrel::fit {

// Σ a_i·b_i over n elements, summed in order.
double SumOfProducts(const double* a, const double* b, std::size_t n) noexcept;

// ‖v‖ accumulated relative to the largest element so far: no square
// overflows or underflows unless the norm itself lies beyond a double.
double Norm(std::span<const double> v) noexcept;

// The orthogonal factorisation J = Q·R of an n × m Jacobian (n < m padded
// with rows of zeros) and Qᵀ·r, from which every damped step of one
// iteration is solved without forming JᵀJ.
class Factorisation {
public:
    Factorisation(std::span<const double> jacobian, std::size_t n, std::size_t m,
                  std::span<const double> residual);

    // The step δ minimising ‖J·δ − r‖² + damping·‖D·δ‖² (D = diagonal); with
    // damping 0 the Gauss–Newton step. False where that has no unique
    // solution (damping 0 and a rank-deficient Jacobian).
    bool Solve(double damping, std::span<const double> diagonal, std::vector<double>& step) const;

    // ‖J·δ‖ = ‖R·δ‖: how far a step moves the model, without the n rows.
    double Change(std::span<const double> step) const;

private:
    std::size_t m_;
    std::vector<double> r_, qtr_;  // R (m × m, upper) and the first m elements of Qᵀ·r
};

// (JᵀJ)⁻¹ for a Jacobian whose columns have unit length, through R⁻¹·R⁻ᵀ;
// false if a column lies in the span of the others to rounding.
bool InverseOfNormalMatrix(std::span<const double> jacobian, std::size_t n, std::size_t m,
                           std::vector<double>& inverse);

}  // namespace vantrel::fit
