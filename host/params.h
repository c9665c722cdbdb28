// The host's view of a parameter block: the block itself (core/params.h) and
// the shared routine that stores the module's NaN into a result slot.
#pragma once

#include <cstring>

#include "core/params.h"
#include "vantrel/nan.h"

namespace vantrel {

inline void SetResultNaN(double* slot) noexcept { std::memcpy(slot, &kNaN, sizeof kNaN); }

}  // namespace vantrel
