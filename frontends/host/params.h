// The host's view of a parameter block: the block itself (library/catalogue/parameter_block.h) and
// the shared routine that stores the module's NaN into a result slot.
#pragma once

#include <cstring>

#include "catalogue/parameter_block.h"
#include "vantrel/nan.h"

namespace vantrel {

inline void SetResultNaN(double* slot) noexcept { std::memcpy(slot, &kNaN, sizeof kNaN); }

}  // namespace vantrel
