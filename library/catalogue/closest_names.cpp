#include <vector>

#include "vantrel/catalogue.h"
#include "vantrel/spelling.h"

namespace vantrel {

std::vector<std::string_view> ClosestFunctionNames(std::string_view name, std::size_t count) {
    // By the name or its alias: one who types snake_case is close to the alias.
    static const std::vector<KnownName> known = [] {
        std::vector<KnownName> names;
        for (const CatalogueEntry& e : Catalogue()) names.push_back({e.name, e.alias});
        return names;
    }();
    return ClosestNames(name, known, count);
}

}  // namespace vantrel
