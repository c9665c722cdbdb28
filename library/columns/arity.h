// The number of arguments of a typed function, taken from its signature: what
// the parameter block's adapter and the column loops are built for.
#pragma once

#include <cstddef>

namespace vantrel {

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

}  // namespace detail

template <auto F>
inline constexpr std::size_t kArgumentCount = detail::Arity<decltype(F)>::value;

}  // namespace vantrel
