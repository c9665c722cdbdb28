// The catalogue of the 46 functions as data: for each its index (position),
// name, snake_case alias, argument names in call order, and the body the host
// calls; and one call by name with the arguments in an array.
//
// Needs C++20 (std::span). The per-subsystem headers (vantrel/counting/…) need
// only C++17.
#pragma once

#if (defined(_MSVC_LANG) ? _MSVC_LANG : __cplusplus) < 202002L
#error "vantrel/catalogue.h and vantrel/batch.h need C++20 (std::span); the per-subsystem headers such as vantrel/counting/flipping_ratios.h work with C++17"
#endif

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vantrel {

// The parameter block of an n-argument function: n + 1 doubles, argument k
// (1-based, call order) at byte offset 8·(n − k), the result at 8·n.
struct FunctionParams;

// A body as the host calls it: status 0 whatever the inputs.
using ExternalFunction = std::int32_t (*)(FunctionParams*);

// No function takes more arguments than this.
inline constexpr std::size_t kMaxArguments = 14;

struct CatalogueEntry {
    std::string_view name;          // "FlippingRatioOptSDev"
    std::string_view alias;         // "flipping_ratio_opt_sdev"
    std::string_view signature;     // "FlippingRatioOptSDev(Npp, Nbp, …, Mb)"
    std::size_t argumentCount;
    std::string_view argumentList;  // "N, t, tau, tau2": the argument names in call order
    ExternalFunction body;

    std::vector<std::string_view> ArgumentNames() const;
};

// All 46 entries; the position of an entry is its function index.
std::span<const CatalogueEntry> Catalogue() noexcept;

// The entry of a catalogue name or snake_case alias, or nullptr.
const CatalogueEntry* FindFunction(std::string_view name) noexcept;

// The function index of an entry of the catalogue.
std::size_t IndexOf(const CatalogueEntry& entry) noexcept;

// Calls an entry as the host does: lays the arguments (call order) into a
// parameter block, runs the body, reads the result slot. NaN when the
// argument count does not match.
double Evaluate(const CatalogueEntry& entry, std::span<const double> arguments) noexcept;

}  // namespace vantrel
