#include "fit/dense.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vantrel::fit {
namespace {

// Householder reduction of the rows × m matrix a to R in its top m rows,
// applying the same reflections to b.
void Householder(std::vector<double>& a, std::size_t rows, std::size_t m, std::vector<double>& b) {
    std::vector<double> column(rows);
    for (std::size_t k = 0; k < m && k < rows; ++k) {
        for (std::size_t i = k; i < rows; ++i) column[i - k] = a[i * m + k];
        const double length = Norm(std::span<const double>(column.data(), rows - k));
        if (!std::isfinite(length)) continue;
        if (length == 0.0) continue;
        // H = I − τ·u·uᵀ with u = (x − α·e₁)/(x₀ − α), u₀ = 1 and τ = (α − x₀)/α:
        // nothing squared, so no column large or small enough to overflow.
        const double alpha = a[k * m + k] > 0.0 ? -length : length;
        const double v0 = a[k * m + k] - alpha;
        const double tau = -v0 / alpha;
        a[k * m + k] = 1.0;
        const double inverse = 1.0 / v0;
        for (std::size_t i = k + 1; i < rows; ++i) a[i * m + k] *= inverse;
        const double beta = tau;
        for (std::size_t j = k + 1; j < m; ++j) {
            double dot = 0.0;
            for (std::size_t i = k; i < rows; ++i) dot += a[i * m + k] * a[i * m + j];
            const double f = beta * dot;
            for (std::size_t i = k; i < rows; ++i) a[i * m + j] -= f * a[i * m + k];
        }
        double dot = 0.0;
        for (std::size_t i = k; i < rows; ++i) dot += a[i * m + k] * b[i];
        const double f = beta * dot;
        for (std::size_t i = k; i < rows; ++i) b[i] -= f * a[i * m + k];
        a[k * m + k] = alpha;
        for (std::size_t i = k + 1; i < rows; ++i) a[i * m + k] = 0.0;
    }
}

// R·x = c for the upper triangle of the first m rows of a; false if a
// diagonal element is 0 or the result not finite.
bool BackSubstitute(const std::vector<double>& a, std::size_t m, const std::vector<double>& c,
                    std::vector<double>& x) {
    x.assign(m, 0.0);
    for (std::size_t k = m; k-- > 0;) {
        double sum = c[k];
        for (std::size_t j = k + 1; j < m; ++j) sum -= a[k * m + j] * x[j];
        if (a[k * m + k] == 0.0) return false;
        x[k] = sum / a[k * m + k];
        if (!std::isfinite(x[k])) return false;
    }
    return true;
}

}  // namespace

double Norm(std::span<const double> v) noexcept {
    // The plain sum of squares where it neither overflows nor loses digits to
    // underflow, which is nearly always; else relative to the largest element.
    double plain = 0.0;
    for (const double x : v) plain += x * x;
    if (plain >= 0x1p-900 && plain <= 0x1p900) return std::sqrt(plain);
    double scale = 0.0, sum = 1.0;
    for (const double x : v) {
        if (x == 0.0) continue;
        const double a = std::fabs(x);
        if (scale < a) {
            sum = 1.0 + sum * ((scale / a) * (scale / a));
            scale = a;
        } else {
            sum += (a / scale) * (a / scale);
        }
    }
    return scale * std::sqrt(sum);
}

Factorisation::Factorisation(std::span<const double> jacobian, std::size_t n, std::size_t m,
                             std::span<const double> residual)
    : m_(m) {
    const std::size_t rows = std::max(n, m);
    std::vector<double> a(rows * m, 0.0), b(rows, 0.0);
    std::copy(jacobian.begin(), jacobian.begin() + n * m, a.begin());
    std::copy(residual.begin(), residual.begin() + n, b.begin());
    Householder(a, rows, m, b);
    r_.assign(a.begin(), a.begin() + m * m);
    qtr_.assign(b.begin(), b.begin() + m);
}

bool Factorisation::Solve(double damping, std::span<const double> diagonal,
                          std::vector<double>& step) const {
    if (damping == 0.0) {
        // Rank-deficient to rounding: no Gauss–Newton step.
        for (std::size_t k = 0; k < m_; ++k) {
            if (!(std::fabs(r_[k * m_ + k]) >
                  double(m_) * std::numeric_limits<double>::epsilon() * diagonal[k]))
                return false;
        }
        return BackSubstitute(r_, m_, qtr_, step);
    }
    // [R; √damping·D] against [Qᵀr; 0].
    const double root = std::sqrt(damping);
    std::vector<double> a(2 * m_ * m_, 0.0), b(2 * m_, 0.0);
    std::copy(r_.begin(), r_.end(), a.begin());
    std::copy(qtr_.begin(), qtr_.end(), b.begin());
    for (std::size_t k = 0; k < m_; ++k) a[(m_ + k) * m_ + k] = root * diagonal[k];
    Householder(a, 2 * m_, m_, b);
    return BackSubstitute(a, m_, b, step);
}

double Factorisation::Change(std::span<const double> step) const {
    std::vector<double> product(m_, 0.0);
    for (std::size_t i = 0; i < m_; ++i)
        for (std::size_t j = i; j < m_; ++j) product[i] += r_[i * m_ + j] * step[j];
    return Norm(product);
}

bool InverseOfNormalMatrix(std::span<const double> jacobian, std::size_t n, std::size_t m,
                           std::vector<double>& inverse) {
    std::vector<double> a(jacobian.begin(), jacobian.begin() + n * m), b(n, 0.0);
    Householder(a, n, m, b);
    const double floor = double(std::max(n, m)) * std::numeric_limits<double>::epsilon();
    for (std::size_t k = 0; k < m; ++k)
        if (!(std::fabs(a[k * m + k]) > floor)) return false;
    // R⁻¹ column by column, then R⁻¹·R⁻ᵀ.
    std::vector<double> rinv(m * m, 0.0), e(m), x;
    for (std::size_t j = 0; j < m; ++j) {
        std::fill(e.begin(), e.end(), 0.0);
        e[j] = 1.0;
        if (!BackSubstitute(a, m, e, x)) return false;
        for (std::size_t i = 0; i < m; ++i) rinv[i * m + j] = x[i];
    }
    inverse.assign(m * m, 0.0);
    for (std::size_t i = 0; i < m; ++i)
        for (std::size_t j = 0; j < m; ++j)
            for (std::size_t k = 0; k < m; ++k)
                inverse[i * m + j] += rinv[i * m + k] * rinv[j * m + k];
    return true;
}

}  // namespace vantrel::fit
