// How far apart two spellings are, for suggesting a name to one who mistyped it.
#pragma once

#include <cstddef>
#include <string_view>

namespace vantrel::cli {

// The least number of single-byte insertions, deletions and substitutions
// that turn `a` into `b` (Levenshtein). Case matters: fold it first if it
// should not. Time |a|·|b|, memory |b|.
std::size_t EditDistance(std::string_view a, std::string_view b);

}  // namespace vantrel::cli
