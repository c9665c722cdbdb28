#include "suggestions.h"

#include <algorithm>
#include <string>
#include <utility>

#include "edit_distance.h"

namespace vantrel::cli {

namespace {

// ASCII letters folded to lower case; catalogue names hold nothing else that
// has a case.
std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

}  // namespace

const CatalogueEntry* FindByName(std::string_view name) { return FindFunction(name); }

// By edit distance to the name or its alias, ignoring case: names close enough
// to be a plausible misspelling, or that contain what was typed.
std::vector<std::string_view> ClosestNames(std::string_view name, std::size_t count) {
    const std::string typed = Lower(name);
    const std::size_t limit = std::max<std::size_t>(2, typed.size() / 3);
    std::vector<std::pair<std::size_t, std::string_view>> scored;
    for (const CatalogueEntry& e : Catalogue()) {
        const std::string lower = Lower(e.name);
        std::size_t distance = std::min(EditDistance(typed, lower), EditDistance(typed, e.alias));
        if (typed.size() >= 3 && lower.find(typed) != std::string::npos)
            distance = std::min(distance, limit);
        if (distance <= limit) scored.emplace_back(distance, e.name);
    }
    std::stable_sort(scored.begin(), scored.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    // Only the best, and those nearly as good.
    std::vector<std::string_view> closest;
    for (std::size_t i = 0;
         i < scored.size() && i < count && scored[i].first <= scored[0].first + 1; ++i) {
        closest.push_back(scored[i].second);
    }
    return closest;
}

}  // namespace vantrel::cli
