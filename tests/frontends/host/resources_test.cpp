// The generated resources, byte for byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/registry.h"
#include "resources/resource_data.h"

namespace vantrel::resources {
namespace {

unsigned Word(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8);
}

TEST(Resources, FunctionCatalogueLayout) {
    const std::vector<std::uint8_t> xopf = FunctionCatalogueResource();
    ASSERT_EQ(xopf.size(), 1723u);
    const std::vector<std::uint8_t> first = {0x43, 0x6F, 0x75, 0x6E, 0x74, 0x52, 0x61,
                                             0x74, 0x65, 0x00, 0x00, 0x21, 0x04, 0x00,
                                             0x04, 0x00, 0x04, 0x00, 0x00, 0x00};
    EXPECT_TRUE(std::equal(first.begin(), first.end(), xopf.begin()));
    std::size_t at = 0;
    int entries = 0;
    while (xopf[at] != 0) {
        std::string name;
        while (xopf[at] != 0) name += static_cast<char>(xopf[at++]);
        ++at;
        EXPECT_EQ(Word(xopf, at), 0x2100u) << name;
        EXPECT_EQ(Word(xopf, at + 2), 4u) << name;
        at += 4;
        std::size_t arguments = 0;
        for (; Word(xopf, at) != 0; at += 2, ++arguments) EXPECT_EQ(Word(xopf, at), 4u) << name;
        at += 2;
        ASSERT_LT(entries, 46);
        EXPECT_EQ(name, kCatalogue[entries].name);
        EXPECT_EQ(arguments, kCatalogue[entries].argumentCount) << name;
        ++entries;
    }
    EXPECT_EQ(entries, 46);
    EXPECT_EQ(at, 1721u);  // the end mark at 1721 and 1722
    EXPECT_EQ(xopf[1722], 0);
}

TEST(Resources, ErrorTexts) {
    const std::vector<std::uint8_t> strs = ErrorTextResource();
    ASSERT_EQ(strs.size(), 410u);
    std::vector<std::string> texts;
    std::string text;
    for (std::size_t i = 0; i + 1 < strs.size(); ++i) {
        if (strs[i] == 0) {
            texts.push_back(text);
            text.clear();
        } else {
            text += static_cast<char>(strs[i]);
        }
    }
    ASSERT_EQ(texts.size(), 14u);
    EXPECT_EQ(texts[0], "Vantrel XOP requires Igor 8.04 or later.");
    EXPECT_EQ(texts[3], "Null Monitor Value: Beam may not be opened !");
    EXPECT_EQ(texts[12], "Wrong lattice parameters - Det[G] = 0.");
    EXPECT_EQ(texts[13], "");
    EXPECT_EQ(strs.back(), 0);
}

TEST(Resources, ModuleInformation) {
    EXPECT_EQ(ModuleInfoResource(),
              (std::vector<std::uint8_t>{4, 0, 0, 0, 2, 0, 0, 0, 0x20, 0x03}));
}

TEST(Resources, ResourceFileHoldsTheThreeByNameInUSEnglish) {
    const std::vector<std::uint8_t> res = ResourceFile();
    std::size_t at = 32;  // after the format marker
    for (const char* type : {"XOPF", "STR#", "XOPI"}) {
        const std::uint32_t dataSize =
            res[at] | res[at + 1] << 8 | res[at + 2] << 16 | res[at + 3] << 24;
        const std::uint32_t headerSize = res[at + 4] | res[at + 5] << 8;
        std::string name;
        for (std::size_t c = at + 8; Word(res, c) != 0; c += 2)
            name += static_cast<char>(Word(res, c));
        EXPECT_EQ(name, type);
        EXPECT_EQ(Word(res, at + 18), 0xFFFFu);
        EXPECT_EQ(Word(res, at + 20), 1100u);
        EXPECT_EQ(Word(res, at + headerSize - 10), 1033u) << type;
        at += headerSize + dataSize;
        at = (at + 3) & ~std::size_t{3};
    }
    EXPECT_EQ(at, res.size());
}

}  // namespace
}  // namespace vantrel::resources
