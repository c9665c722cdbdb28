#include "core/catalogue.h"

#include <algorithm>

#include "vantrel/nan.h"

namespace vantrel {

std::vector<std::string_view> CatalogueEntry::ArgumentNames() const {
    std::vector<std::string_view> names;
    std::string_view rest = argumentList;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        names.push_back(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 2);
    }
    return names;
}

std::span<const CatalogueEntry> Catalogue() noexcept { return kCatalogue; }

std::size_t IndexOf(const CatalogueEntry& entry) noexcept {
    return static_cast<std::size_t>(&entry - kCatalogue.data());
}

const CatalogueEntry* FindFunction(std::string_view name) noexcept {
    const auto it = std::find_if(kCatalogue.begin(), kCatalogue.end(), [name](const CatalogueEntry& e) {
        return e.name == name || e.alias == name;
    });
    return it == kCatalogue.end() ? nullptr : &*it;
}

double Evaluate(const CatalogueEntry& entry, std::span<const double> arguments) noexcept {
    if (arguments.size() != entry.argumentCount) return kNaN;
    ParameterBlock block;
    LayArguments(block.get(), arguments);
    entry.body(block.get());
    return block.Result(entry.argumentCount);
}

}  // namespace vantrel
