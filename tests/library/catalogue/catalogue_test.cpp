// The catalogue: names, the host's part and the library's own, every body
// writing only its result slot, the descriptions and their examples.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <set>

#include "catalogue/bodies.h"
#include "host/params.h"

namespace vantrel {
namespace {

TEST(Catalogue, NamesAreUniqueAndCountsMatchTheResourceTable) {
    const std::size_t expected[46] = {2, 2, 4,  6,  2,  2,  4, 8,  10, 10, 12, 14, 5, 5, 5, 5,
                                      9, 9, 9,  9,  6,  11, 6, 11, 4,  5,  5,  5,  6, 7, 7, 9,
                                      4, 8, 10, 10, 12, 14, 5, 10, 4,  4,  5,  10, 6, 12};
    std::set<std::string_view> names;
    std::size_t total = 0;
    for (std::size_t i = 0; i < kHostFunctionCount; ++i) {
        EXPECT_EQ(kCatalogue[i].argumentCount, expected[i]) << kCatalogue[i].name;
        names.insert(kCatalogue[i].name);
        total += kCatalogue[i].argumentCount;
    }
    EXPECT_EQ(names.size(), kHostFunctionCount);
    EXPECT_EQ(total, 328u);
    EXPECT_EQ(kCatalogue[26].name, "STLrhombohedral");
    EXPECT_EQ(kCatalogue[28].name, "STLorthorhombic");
    EXPECT_EQ(kCatalogue[42].name, "He3Transmission");
    EXPECT_EQ(kCatalogue[44].name, "He3Polarisation");
}

// The library's own functions follow the host's 46, which keep their indices,
// and the host's dispatch table holds none of them.
TEST(Catalogue, TheLibrarysOwnPartFollowsTheHostsAndIsNotExported) {
    ASSERT_EQ(kBodies.size(), 46u);
    ASSERT_GT(kFunctionCount, kHostFunctionCount);
    std::set<std::string_view> names;
    for (const CatalogueEntry& entry : kCatalogue) {
        EXPECT_EQ(entry.exported, entry.index < kHostFunctionCount) << entry.name;
        EXPECT_TRUE(names.insert(entry.name).second) << entry.name;
        if (!entry.exported) {
            EXPECT_EQ(std::ranges::find(kBodies, kEveryBody[entry.index]), kBodies.end())
                << entry.name;
        }
    }
    EXPECT_EQ(kCatalogue[kHostFunctionCount].name, "He3PolarisationAtTime");
}

TEST(Catalogue, EveryBodyWritesOnlyItsResultSlot) {
    for (const CatalogueEntry& entry : kCatalogue) {
        double block[16];
        for (double& d : block) d = 1.5;
        const double sentinel = -123.25;
        block[entry.argumentCount + 1] = sentinel;
        EXPECT_EQ(kEveryBody[entry.index](reinterpret_cast<FunctionParams*>(block)), 0)
            << entry.name;
        for (std::size_t k = 0; k < entry.argumentCount; ++k)
            EXPECT_EQ(block[k], 1.5) << entry.name;
        EXPECT_EQ(block[entry.argumentCount + 1], sentinel) << entry.name;
    }
}

TEST(Catalogue, ArgumentNamesAsData) {
    const CatalogueEntry* entry = FindFunction("CountRateDDTSDev");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(IndexOf(*entry), 3u);
    EXPECT_EQ(entry->ArgumentNames(),
              (std::vector<std::string_view>{"N", "t", "tau", "tau2", "sigmaTau", "sigmaTau2"}));
    for (const CatalogueEntry& e : Catalogue()) {
        const std::vector<std::string_view> names = e.ArgumentNames();
        EXPECT_EQ(names.size(), e.argumentCount) << e.name;
        EXPECT_EQ(std::set<std::string_view>(names.begin(), names.end()).size(), names.size())
            << e.name;
    }
    EXPECT_EQ(FindFunction("NoSuchFunction"), nullptr);
}

// The help of every function: its example gives the stated value to the bit,
// and the text names every argument with its unit.
TEST(Catalogue, EveryExampleGivesItsValueAndTheHelpNamesEveryUnit) {
    for (const CatalogueEntry& e : Catalogue()) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(Evaluate(e, e.exampleArguments)),
                  std::bit_cast<std::uint64_t>(e.exampleValue))
            << e.name;
        EXPECT_FALSE(e.summary.empty() || e.nanWhen.empty() || e.resultUnit.empty()) << e.name;
        const std::string help = HelpText(e);
        EXPECT_EQ(help.rfind(std::string(e.signature) + " -> ", 0), 0u) << help;
        for (const ArgumentInfo& a : e.arguments) {
            EXPECT_NE(help.find("  " + std::string(a.name) + " "), std::string::npos)
                << e.name << " " << a.name;
            EXPECT_NE(help.find(std::string(a.meaning) + "  "), std::string::npos)
                << e.name << " " << a.name;
        }
    }
    EXPECT_NE(HelpText(*FindFunction("CountRateDDT"))
                  .find("CountRateDDT(10000, 10, 1e-5, 1e-9) = 1011.1223458038422"),
              std::string::npos);
}

}  // namespace
}  // namespace vantrel
