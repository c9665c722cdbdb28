// Names by the spelling a user typed: the distance that ranks them, and the
// names the catalogue suggests for a mistyped one.
#include "vantrel/spelling.h"

#include <gtest/gtest.h>

#include "vantrel/catalogue.h"

#include <string_view>
#include <tuple>
#include <vector>

namespace vantrel {
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

TEST(ClosestFunctionNames, SuggestsMisspellingsAndFamilies) {
    EXPECT_EQ(ClosestFunctionNames("FlipingRatio").front(), "FlippingRatio");
    EXPECT_EQ(ClosestFunctionNames("countrate").front(), "CountRate");
    EXPECT_EQ(ClosestFunctionNames("stl_cubik").front(), "STLcubic");
    EXPECT_EQ(ClosestFunctionNames("He3Transmision", 1),
              std::vector<std::string_view>{"He3Transmission"});
    EXPECT_EQ(ClosestFunctionNames("FlipingRatio"), std::vector<std::string_view>{"FlippingRatio"});
    EXPECT_EQ(ClosestFunctionNames("asym").size(), 3u);
    EXPECT_TRUE(ClosestFunctionNames("Zebra").empty());
}

}  // namespace
}  // namespace vantrel
