// The parameter block of an external function and the one adapter between a
// block and a typed function.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "vantrel/catalogue.h"

namespace vantrel {

// The module's NaN: quiet, sign clear, zero payload. Guards return it and
// SetResultNaN stores it; arithmetic NaNs keep whatever bits the FPU gives.
inline constexpr double kNaN = std::bit_cast<double>(std::uint64_t{0x7FF8000000000000});

inline void SetResultNaN(double* slot) noexcept { std::memcpy(slot, &kNaN, sizeof kNaN); }

namespace detail {

template <class F>
struct Arity;

template <class... Args>
struct Arity<double (*)(Args...) noexcept> {
    static constexpr std::size_t value = sizeof...(Args);
};

template <class... Args>
struct Arity<double (*)(Args...)> {
    static constexpr std::size_t value = sizeof...(Args);
};

// The block is read and written bytewise: the host promises no alignment
// beyond what it happens to give us.
inline double Load(const FunctionParams* block, std::size_t offset) noexcept {
    double value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(block) + offset, sizeof value);
    return value;
}

inline void Store(FunctionParams* block, std::size_t offset, double value) noexcept {
    std::memcpy(reinterpret_cast<unsigned char*>(block) + offset, &value, sizeof value);
}

}  // namespace detail

// Number of arguments of a typed function, taken from its signature.
template <auto F>
inline constexpr std::size_t kArgumentCount = detail::Arity<decltype(F)>::value;

// Byte offset of argument k (0-based, call order) of an n-argument block.
constexpr std::size_t ArgumentOffset(std::size_t n, std::size_t k) { return 8 * (n - 1 - k); }
constexpr std::size_t ResultOffset(std::size_t n) { return 8 * n; }

// The external function the host sees for the typed function F: read the
// arguments, evaluate, write the result slot, status 0 whatever the inputs.
template <auto F>
std::int32_t Adapt(FunctionParams* block) noexcept {
    constexpr std::size_t n = kArgumentCount<F>;
    const double result = [block]<std::size_t... K>(std::index_sequence<K...>) {
        return F(detail::Load(block, ArgumentOffset(n, K))...);
    }(std::make_index_sequence<n>{});
    detail::Store(block, ResultOffset(n), result);
    return 0;
}

}  // namespace vantrel
