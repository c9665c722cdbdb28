#include "vantrel/spelling.h"

#include <algorithm>
#include <string>
#include <utility>

namespace vantrel {

namespace {

// ASCII letters folded to lower case; names hold nothing else that has a case.
std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

// Beyond this, a text resembles no name and is not worth the quadratic cost.
constexpr std::size_t kLongestTyped = 240;

}  // namespace

std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::vector<std::string_view> ClosestNames(std::string_view typed, std::span<const KnownName> known,
                                           std::size_t count) {
    if (typed.size() > kLongestTyped) return {};
    const std::string lowerTyped = Lower(typed);
    const std::size_t limit = std::max<std::size_t>(2, lowerTyped.size() / 3);
    std::vector<std::pair<std::size_t, std::string_view>> scored;
    for (const KnownName& k : known) {
        const std::string lower = Lower(k.name);
        std::size_t distance = EditDistance(lowerTyped, lower);
        if (!k.alias.empty())
            distance = std::min(distance, EditDistance(lowerTyped, Lower(k.alias)));
        if (lowerTyped.size() >= 3 && lower.find(lowerTyped) != std::string::npos)
            distance = std::min(distance, limit);
        if (distance <= limit) scored.emplace_back(distance, k.name);
    }
    std::stable_sort(scored.begin(), scored.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string_view> closest;
    for (std::size_t i = 0;
         i < scored.size() && i < count && scored[i].first <= scored[0].first + 1; ++i) {
        closest.push_back(scored[i].second);
    }
    return closest;
}

}  // namespace vantrel
