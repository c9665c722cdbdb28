// Numbers as every front end spells and reads them.
#include "vantrel/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace vantrel {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// ---- Numbers -------------------------------------------------------------------

TEST(ParseNumber, AcceptsEveryExactSpelling) {
    const std::vector<std::pair<std::string_view, double>> cases = {
        {"20", 20.0},
        {"-1.5", -1.5},
        {"+1.5", 1.5},
        {" 1e-3\t", 1e-3},
        {"0x1.8p3", 12.0},
        {"-0x1p-1074", -0x1p-1074},
        {"4.9406564584124654e-324", 0x1p-1074},
        {"inf", kInf},
        {"-inf", -kInf},
        {"Infinity", kInf},
        {"-0", -0.0},
        {"0.10000000000000001", 0.1},
        {".5", 0.5},
        {"5.", 5.0},
    };
    for (const auto& [text, value] : cases) {
        const ParsedNumber parsed = ParseNumber(text);
        ASSERT_FALSE(parsed.error) << text;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(parsed.value), std::bit_cast<std::uint64_t>(value))
            << text;
    }
    EXPECT_TRUE(std::isnan(ParseNumber("nan").value));
    EXPECT_FALSE(ParseNumber("NaN").error);
}

TEST(ParseNumber, RefusesAnythingElse) {
    for (std::string_view text :
         {"",      " ",      "abc",         "1,5",     "1.5x",    "--1",     "+-1",
          "0x",    "0x-1",   "0xinf",       "1 2",     "1e",      "e5",      "+",
          "0b101", "1e400x", "0x1p99999 s", "0x1p+-1", "0X1P-+1", "0x1p--1", "0x1p"}) {
        const ParsedNumber parsed = ParseNumber(text);
        ASSERT_TRUE(parsed.error) << "'" << text << "'";
        EXPECT_EQ(*parsed.error, NumberError::kNotANumber) << text;
    }
    for (std::string_view text : {"1e400", "-1e400", "1e-400"}) {
        const ParsedNumber parsed = ParseNumber(text);
        ASSERT_TRUE(parsed.error) << text;
        EXPECT_EQ(*parsed.error, NumberError::kOutOfRange) << text;
    }
}

TEST(ValueText, SeventeenDigitsAndNamedSpecials) {
    EXPECT_EQ(ValueText(20.0), "20");
    EXPECT_EQ(ValueText(0.1), "0.10000000000000001");
    EXPECT_EQ(ValueText(5.333333333333333), "5.333333333333333");
    EXPECT_EQ(ValueText(-0.0), "-0");
    EXPECT_EQ(ValueText(1e300), "1.0000000000000001e+300");
    EXPECT_EQ(ValueText(kInf), "inf");
    EXPECT_EQ(ValueText(-kInf), "-inf");
    EXPECT_EQ(ValueText(std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(ValueText(-std::numeric_limits<double>::quiet_NaN()), "nan");
}

TEST(ValueText, ReadsBackToTheSameBits) {
    std::mt19937_64 random(7);
    for (int i = 0; i < 100000; ++i) {
        const double value = std::bit_cast<double>(random());
        if (std::isnan(value)) continue;
        const ParsedNumber back = ParseNumber(ValueText(value));
        ASSERT_FALSE(back.error) << ValueText(value);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(back.value), std::bit_cast<std::uint64_t>(value))
            << ValueText(value);
    }
}

// Arguments in examples: one spelling, the shortest, with a bare exponent.
TEST(ArgumentText, ShortestWithABareExponent) {
    const std::vector<std::pair<double, std::string_view>> cases = {
        {1e5, "1e5"}, {1e-5, "1e-5"},        {1e-9, "1e-9"},       {0.7, "0.7"},
        {293, "293"}, {10000, "10000"},      {1.5e300, "1.5e300"}, {-2.5e-7, "-2.5e-7"},
        {-0.0, "-0"}, {0x1p-1074, "5e-324"}, {kInf, "inf"},        {1e21, "1e21"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(ArgumentText(value), text);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(ParseNumber(text).value),
                  std::bit_cast<std::uint64_t>(value))
            << text;
    }
}

}  // namespace
}  // namespace vantrel
