// Names by the spelling a user typed: how far apart two spellings are, and
// which known names a mistyped one most resembles, so that every front end
// suggests alike.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace vantrel {

// The least number of single-byte insertions, deletions and substitutions
// that turn `a` into `b` (Levenshtein). Case matters: fold it first if it
// should not. Time |a|·|b|, memory |b|.
std::size_t EditDistance(std::string_view a, std::string_view b);

// A name that may be suggested, and another spelling of it that counts as
// close too (a snake_case alias, say; empty if none).
struct KnownName {
    std::string_view name;
    std::string_view alias;
};

// Up to `count` known names closest to `typed`, ignoring ASCII case: those
// close enough to be a plausible misspelling, or that contain what was typed
// (three characters or more); only the best and those nearly as good, best
// first. None for a text far longer than any name.
std::vector<std::string_view> ClosestNames(std::string_view typed, std::span<const KnownName> known,
                                           std::size_t count = 3);

}  // namespace vantrel
