// The parameter block of an external function, and the one adapter between a
// block and a typed function. Every front end that calls a function as the
// host does (the host binding, Evaluate, the tests) goes through these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>

#include "columns/arity.h"
#include "vantrel/catalogue.h"

namespace vantrel {

// The parameter block of an n-argument function: n + 1 doubles, argument k
// (1-based, call order) at byte offset 8·(n − k), the result at 8·n.
struct FunctionParams;

// A body as the host calls it: status 0 whatever the inputs.
using ExternalFunction = std::int32_t (*)(FunctionParams*);

namespace detail {

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

// Byte offset of argument k (0-based, call order) of an n-argument block:
// the last argument comes first.
constexpr std::size_t ArgumentOffset(std::size_t n, std::size_t k) { return 8 * (n - 1 - k); }
constexpr std::size_t ResultOffset(std::size_t n) { return 8 * n; }

// A block with room for any function's arguments and result, suitably aligned.
struct ParameterBlock {
    alignas(8) unsigned char bytes[8 * (kMaxArguments + 1)] = {};

    FunctionParams* get() noexcept { return reinterpret_cast<FunctionParams*>(bytes); }
    double Result(std::size_t n) const noexcept {
        return detail::Load(reinterpret_cast<const FunctionParams*>(bytes), ResultOffset(n));
    }
};

// Lays the arguments (call order) into a block as the host does.
inline void LayArguments(FunctionParams* block, std::span<const double> arguments) noexcept {
    const std::size_t n = arguments.size();
    for (std::size_t k = 0; k < n; ++k) detail::Store(block, ArgumentOffset(n, k), arguments[k]);
}

// The external function the host sees for the typed function F: read the
// arguments, evaluate, write the result slot, status 0 whatever the inputs.
template <auto F>
std::int32_t Adapt(FunctionParams* block) noexcept {
    constexpr std::size_t n = kArgumentCount<F>;
    const double result = [block]<std::size_t... K>(std::index_sequence<K...>) {
        return F(detail::Load(block, ArgumentOffset(n, K))...);
    }
    (std::make_index_sequence<n>{});
    detail::Store(block, ResultOffset(n), result);
    return 0;
}

}  // namespace vantrel
