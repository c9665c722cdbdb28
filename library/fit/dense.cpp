#include "fit/dense.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vantrel::fit {
namespace {

// Householder reduction of the rows × m matrix a, held column by column, to R
// in its upper triangle, applying the same reflections to b. Columns are
// contiguous so that every pass over the rows is a plain sweep.
void Householder(std::vector<double>& a, std::size_t rows, std::size_t m, std::vector<double>& b) {
    for (std::size_t k = 0; k < m && k < rows; ++k) {
        double* const x = a.data() + k * rows + k;
        const std::size_t length_k = rows - k;
        const double length = Norm(std::span<const double>(x, length_k));
        if (!std::isfinite(length)) continue;
        if (length == 0.0) continue;
        // H = I − τ·u·uᵀ with u = (x − α·e₁)/(x₀ − α), u₀ = 1 and τ = (α − x₀)/α:
        // nothing squared, so no column large or small enough to overflow.
        const double alpha = x[0] > 0.0 ? -length : length;
        const double v0 = x[0] - alpha;
        const double tau = -v0 / alpha;
        x[0] = 1.0;
        const double inverse = 1.0 / v0;
        for (std::size_t i = 1; i < length_k; ++i) x[i] *= inverse;
        const auto reflect = [&](double* y) {
            const double f = tau * SumOfProducts(x, y, length_k);
            for (std::size_t i = 0; i < length_k; ++i) y[i] -= f * x[i];
        };
        for (std::size_t j = k + 1; j < m; ++j) reflect(a.data() + j * rows + k);
        reflect(b.data() + k);
        // Below the diagonal stays u: only the triangle is read from here on.
        x[0] = alpha;
    }
}

// The row-major n × m matrix as columns, padded with zero rows to `rows`.
std::vector<double> Columns(std::span<const double> matrix, std::size_t n, std::size_t m,
                            std::size_t rows) {
    std::vector<double> columns(rows * m, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < m; ++j) columns[j * rows + i] = matrix[i * m + j];
    return columns;
}

// The upper triangle R of a factorised matrix held as columns, row-major m × m.
std::vector<double> Triangle(const std::vector<double>& columns, std::size_t rows, std::size_t m) {
    std::vector<double> r(m * m, 0.0);
    for (std::size_t i = 0; i < m; ++i)
        for (std::size_t j = i; j < m; ++j) r[i * m + j] = columns[j * rows + i];
    return r;
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

double SumOfProducts(const double* a, const double* b, std::size_t n) noexcept {
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) sum += a[i] * b[i];
    return sum;
}

double Norm(std::span<const double> v) noexcept {
    // The plain sum of squares where it neither overflows nor loses digits to
    // underflow, which is nearly always; else relative to the largest element.
    const double plain = SumOfProducts(v.data(), v.data(), v.size());
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
    std::vector<double> a = Columns(jacobian, n, m, rows), b(rows, 0.0);
    std::copy(residual.begin(), residual.begin() + n, b.begin());
    Householder(a, rows, m, b);
    r_ = Triangle(a, rows, m);
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
    const std::size_t rows = 2 * m_;
    std::vector<double> a = Columns(r_, m_, m_, rows), b(rows, 0.0);
    std::copy(qtr_.begin(), qtr_.end(), b.begin());
    for (std::size_t k = 0; k < m_; ++k) a[k * rows + m_ + k] = root * diagonal[k];
    Householder(a, rows, m_, b);
    return BackSubstitute(Triangle(a, rows, m_), m_, b, step);
}

double Factorisation::Change(std::span<const double> step) const {
    std::vector<double> product(m_, 0.0);
    for (std::size_t i = 0; i < m_; ++i)
        for (std::size_t j = i; j < m_; ++j) product[i] += r_[i * m_ + j] * step[j];
    return Norm(product);
}

bool InverseOfNormalMatrix(std::span<const double> jacobian, std::size_t n, std::size_t m,
                           std::vector<double>& inverse) {
    std::vector<double> columns = Columns(jacobian, n, m, n), b(n, 0.0);
    Householder(columns, n, m, b);
    const std::vector<double> a = Triangle(columns, n, m);
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
