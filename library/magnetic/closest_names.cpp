#include "magnetic/closest_names.h"

#include <algorithm>
#include <cctype>

namespace vantrel::magnetic {
namespace {

char Folded(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Levenshtein distance over bytes with case folded; time |a|·|b|, memory |b|.
std::size_t FoldedEditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const std::size_t change = Folded(a[i - 1]) == Folded(b[j - 1]) ? 0 : 1;
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + change});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::size_t CommonPrefix(std::string_view a, std::string_view b) {
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && Folded(a[n]) == Folded(b[n])) ++n;
    return n;
}

}  // namespace

std::vector<std::string> ClosestNames(std::string_view name,
                                      const std::vector<std::string_view>& candidates,
                                      std::size_t count) {
    struct Ranked {
        std::size_t distance, prefix, index;
    };
    std::vector<Ranked> ranked;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const std::size_t distance = FoldedEditDistance(name, candidates[i]);
        const std::size_t longer = std::max(name.size(), candidates[i].size());
        if (2 * distance <= longer) {
            ranked.push_back({distance, CommonPrefix(name, candidates[i]), i});
        }
    }
    // Among equally near names, the one that starts alike: Ce3+ is nearer Ce2+ than Cr3+.
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& x, const Ranked& y) {
        return x.distance != y.distance ? x.distance < y.distance : x.prefix > y.prefix;
    });
    std::vector<std::string> names;
    for (std::size_t i = 0; i < ranked.size() && i < count; ++i) {
        names.emplace_back(candidates[ranked[i].index]);
    }
    return names;
}

std::string DidYouMean(const std::vector<std::string>& suggestions) {
    if (suggestions.empty()) return {};
    std::string text = "; did you mean ";
    for (std::size_t i = 0; i < suggestions.size(); ++i) {
        if (i > 0) text += ", ";
        text += suggestions[i];
    }
    return text + "?";
}

}  // namespace vantrel::magnetic
