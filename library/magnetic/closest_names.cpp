#include "magnetic/closest_names.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "vantrel/spelling.h"

namespace vantrel::magnetic {
namespace {

char Folded(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string FoldedText(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = Folded(c);
    return folded;
}

// The edit distance with case folded, so that "fe3+" is nearest "Fe3+".
std::size_t FoldedEditDistance(std::string_view a, std::string_view b) {
    return EditDistance(FoldedText(a), FoldedText(b));
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
