// The catalogue of the 46 external functions as data: name, index (position),
// argument names in call order, and the body the host calls.
#pragma once

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

struct CatalogueEntry {
    std::string_view name;
    std::size_t argumentCount;
    std::string_view argumentList;  // "N, t, tau, tau2": the argument names in call order
    ExternalFunction body;

    std::vector<std::string_view> ArgumentNames() const;
};

// All 46 entries; the position of an entry is its function index.
std::span<const CatalogueEntry> Catalogue() noexcept;

// The entry of that name, or nullptr.
const CatalogueEntry* FindFunction(std::string_view name) noexcept;

// The function index of an entry of the catalogue.
std::size_t IndexOf(const CatalogueEntry& entry) noexcept;

// Calls an entry as the host does: lays the arguments (call order) into a
// parameter block, runs the body, reads the result slot. NaN when the
// argument count does not match.
double Evaluate(const CatalogueEntry& entry, std::span<const double> arguments) noexcept;

}  // namespace vantrel
