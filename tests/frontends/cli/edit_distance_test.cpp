// The distance that ranks the names suggested for a mistyped one.
#include "edit_distance.h"

#include <gtest/gtest.h>

#include <string_view>
#include <tuple>
#include <vector>

namespace vantrel::cli {
namespace {

TEST(EditDistance, CountsInsertionsDeletionsAndSubstitutions) {
    const std::vector<std::tuple<std::string_view, std::string_view, std::size_t>> cases = {
        {"", "", 0},
        {"", "abc", 3},
        {"abc", "", 3},
        {"CountRate", "CountRate", 0},
        {"FlipingRatio", "FlippingRatio", 1},  // an insertion
        {"CountRatee", "CountRate", 1},        // a deletion
        {"stl_cubik", "stl_cubic", 1},         // a substitution
        {"kitten", "sitting", 3},
        {"ab", "ba", 2},                // a transposition is two edits
        {"countrate", "CountRate", 2},  // case counts
        {"He3", "STLtriclinic", 12},
    };
    for (const auto& [a, b, distance] : cases) {
        EXPECT_EQ(EditDistance(a, b), distance) << a << " / " << b;
        EXPECT_EQ(EditDistance(b, a), distance) << b << " / " << a;
    }
}

}  // namespace
}  // namespace vantrel::cli
