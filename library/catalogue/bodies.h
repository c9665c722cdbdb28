// Every function as the host calls it: through a parameter block, status 0.
// The host's dispatch table holds the host's part of the catalogue alone, so
// that the plug-in carries none of the library's own functions; Evaluate and
// the tests call any entry through the table of all.
#pragma once

#include <array>

#include "catalogue/parameter_block.h"
#include "catalogue/registry.h"

namespace vantrel {

#define VANTREL_CATALOGUE_BODY(subsystem, function) &Adapt<&subsystem::function>,

// The host's bodies, by function index: all that the host binding dispatches to.
inline constexpr std::array<ExternalFunction, kHostFunctionCount> kBodies = {
    VANTREL_HOST_CATALOGUE(VANTREL_CATALOGUE_BODY)};

// The body of every entry of the catalogue, by function index.
inline constexpr std::array<ExternalFunction, kFunctionCount> kEveryBody = {
    VANTREL_CATALOGUE(VANTREL_CATALOGUE_BODY)};

#undef VANTREL_CATALOGUE_BODY

}  // namespace vantrel
