// The NaN that every guard of every function returns: quiet, sign clear, zero
// payload (bit pattern 0x7FF8000000000000). A NaN that arises from the
// arithmetic itself (the square root of a negative number, ∞ − ∞) keeps
// whatever bits the processor gives it.
#pragma once

#include <limits>

namespace vantrel {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace vantrel
