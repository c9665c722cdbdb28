// Every documented value, reproduced to the last bit through the parameter
// block, natively.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "catalogue/registry.h"
#include "support/edge_cases.h"

namespace vantrel::testing {
namespace {

TEST(EdgeCases, EveryDocumentedValueIsExact) {
    const std::vector<EdgeCase> cases = EveryEdgeCase();
    ASSERT_FALSE(cases.empty());
    for (const EdgeCase& c : cases) {
        const CatalogueEntry* entry = FindFunction(c.function);
        ASSERT_NE(entry, nullptr) << c.function;
        ASSERT_EQ(entry->argumentCount, c.arguments.size()) << c.function;
        const double got = Evaluate(*entry, c.arguments);
        const std::string call = Describe(c);
        if (std::isnan(c.expected)) {
            EXPECT_TRUE(std::isnan(got)) << call << " = " << got;
        } else {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(c.expected))
                << call << " = " << std::hexfloat << got << " expected " << c.expected;
        }
    }
}

}  // namespace
}  // namespace vantrel::testing
