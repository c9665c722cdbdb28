// Arithmetic that the formulas of several subsystems share.
#pragma once

#include <cmath>

namespace vantrel {

// x², one multiplication. std::pow(x, 2.0) gives the same bits on both
// toolchains (GCC compiles it to this multiplication), so every formula writes
// Square; pow is called only for exponents of 3 and more, where the C
// library's rounding decides the last bits (docs/numerics.md, rule 2).
constexpr double Square(double x) noexcept { return x * x; }

// √(a² + b²) of two independent terms of a deviation, without the squares'
// overflow or underflow; NaN when either term is (std::hypot gives +∞ for an
// infinite term beside a NaN one).
inline double QuadratureSum(double a, double b) noexcept {
    return std::isnan(a) || std::isnan(b) ? a + b : std::hypot(a, b);
}

}  // namespace vantrel
