// Text formed at compile time with static storage: the catalogue's aliases,
// argument lists and signatures are made from its names and descriptions by
// these, so that the plug-in needs no allocation and no start-up code for them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <string_view>

#include "catalogue/snake_case.h"

namespace vantrel::detail {

// Deliberately neither constexpr nor defined: reaching a call to it stops the
// constant evaluation of the catalogue with its name as the message, without a
// throw-expression, so that the plug-in compiles without exception support.
void CatalogueTextLongerThanItsStorage();

// A string literal as a template argument, so that text derived from it at
// compile time has static storage.
template <std::size_t N>
struct Literal {
    char chars[N]{};
    consteval Literal(const char (&text)[N]) { std::copy_n(text, N, chars); }
    constexpr std::string_view View() const { return {chars, N - 1}; }
};

template <std::size_t Capacity>
struct StaticText {
    char chars[Capacity]{};
    std::size_t size = 0;
    constexpr std::string_view View() const { return {chars, size}; }
    constexpr bool empty() const { return size == 0; }
    constexpr void push_back(char c) {
        if (size == Capacity) CatalogueTextLongerThanItsStorage();
        chars[size++] = c;
    }
};

template <std::size_t Capacity, class... Pieces>
consteval StaticText<Capacity> Keep(const Pieces&... pieces) {
    StaticText<Capacity> kept;
    for (std::string_view piece : {std::string_view(pieces)...}) {
        if (kept.size + piece.size() > Capacity) CatalogueTextLongerThanItsStorage();
        std::copy(piece.begin(), piece.end(), kept.chars + kept.size);
        kept.size += piece.size();
    }
    return kept;
}

template <Literal name>
consteval auto AliasOf() {
    StaticText<2 * sizeof name.chars> alias;
    AppendSnakeCase(name.View(), alias);
    return alias;
}

template <Literal name>
inline constexpr auto kAlias = AliasOf<name>();

}  // namespace vantrel::detail
