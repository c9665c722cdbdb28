#include "host/catalogue.h"

#include <algorithm>

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
    const auto it = std::find_if(kCatalogue.begin(), kCatalogue.end(),
                                 [name](const CatalogueEntry& e) { return e.name == name; });
    return it == kCatalogue.end() ? nullptr : &*it;
}

double Evaluate(const CatalogueEntry& entry, std::span<const double> arguments) noexcept {
    constexpr std::size_t kMaxArguments = 14;
    const std::size_t n = entry.argumentCount;
    if (arguments.size() != n || n > kMaxArguments) return kNaN;
    double block[kMaxArguments + 1] = {};
    for (std::size_t k = 0; k < n; ++k) block[ArgumentOffset(n, k) / 8] = arguments[k];
    entry.body(reinterpret_cast<FunctionParams*>(block));
    return block[ResultOffset(n) / 8];
}

}  // namespace vantrel
