// Numbers as every front end spells and reads them.
#include "vantrel/number_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
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
        {"31.6 ", 31.6},  // a digit first, but blanks after
        {"-2\t", -2.0},
        {"-0x1p1", -2.0},  // a minus and a digit, but hexadecimal
        {"0x10", 16.0},
        {"0.000123", 0.000123},
        {"-7e-3", -7e-3},
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

TEST(ValueText, ShortestDigitsWhereTheyAlwaysStood) {
    const std::vector<std::pair<double, std::string_view>> cases = {
        {20.0, "20"},
        {0.1, "0.1"},
        {0.05, "0.05"},
        {-0.2, "-0.2"},
        {5.333333333333333, "5.333333333333333"},
        {0.1 + 0.2, "0.30000000000000004"},  // 17 digits where 17 are needed
        {0.0, "0"},
        {-0.0, "-0"},
        {1200.0, "1200"},
        {0.0001, "0.0001"},
        {0.00012345, "0.00012345"},
        {1e-5, "1e-05"},
        {-1.5e-7, "-1.5e-07"},
        {9999999999999998.0, "9999999999999998"},
        {1e16, "10000000000000000"},
        {1e17, "1e+17"},
        {123456789012345680.0, "1.2345678901234568e+17"},
        {53165205877497296.0, "53165205877497300"},  // not every digit of the whole number
        {1428547813435902208.0, "1.4285478134359022e+18"},
        {-53165205877497296.0, "-53165205877497300"},
        {10000000000000002.0, "10000000000000002"},
        {0x1p60, "1.152921504606847e+18"},  // a power of two, written fixed by to_chars
        {1e23, "1e+23"},
        {-0.00012345678901234567, "-0.00012345678901234567"},
        {-1.2345678901234567e-05, "-1.2345678901234568e-05"},
        {-2.2250738585072014e-308, "-2.2250738585072014e-308"},
        {1e300, "1e+300"},
        {0x1p-1074, "5e-324"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
        {kInf, "inf"},
        {-kInf, "-inf"},
        {std::numeric_limits<double>::quiet_NaN(), "nan"},
        {-std::numeric_limits<double>::quiet_NaN(), "nan"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(ValueText(value), text) << text;
}

// Every bit pattern reads back, and no digit can go: the nearest text one
// digit shorter reads back to another double.
TEST(ValueText, ReadsBackToTheSameBitsInTheFewestDigits) {
    std::mt19937_64 random(7);
    for (int i = 0; i < 100000; ++i) {
        const double value = std::bit_cast<double>(random());
        if (std::isnan(value)) continue;
        const std::string text = ValueText(value);
        const ParsedNumber back = ParseNumber(text);
        ASSERT_FALSE(back.error) << text;
        ASSERT_EQ(std::bit_cast<std::uint64_t>(back.value), std::bit_cast<std::uint64_t>(value))
            << text;
        char shorter[40];
        std::string mantissa = text.substr(0, text.find('e'));
        std::erase_if(mantissa, [](char c) { return c < '0' || c > '9'; });
        mantissa.erase(0, mantissa.find_first_not_of('0'));
        mantissa.erase(mantissa.find_last_not_of('0') + 1);  // 1200: two digits
        const int digits = static_cast<int>(mantissa.size());
        if (digits < 2 || value == 0.0) continue;
        std::snprintf(shorter, sizeof shorter, "%.*e", digits - 2, value);
        EXPECT_NE(std::strtod(shorter, nullptr), value) << text << " could be " << shorter;
    }
}

// A table writes each value into a buffer of its own: the same text as
// ValueText, never more than kValueTextSize bytes, and nothing beyond them.
TEST(WriteValueText, WritesValueTextWithinItsRoom) {
    const double subnormal = std::numeric_limits<double>::denorm_min();
    const std::vector<double> values = {
        0.0,
        -0.0,
        subnormal,
        -subnormal,
        std::numeric_limits<double>::min(),
        -2.2250738585072014e-308,  // 17 digits and a three-digit exponent: the longest
        std::numeric_limits<double>::max(),
        -std::numeric_limits<double>::max(),
        -0.00012345678901234567,  // fixed, 17 digits after four zeros
        -1.2345678901234567e-05,
        9007199254740993.0,  // 2^53 + 1 rounds to 2^53
        9999999999999998.0,
        1e16,
        -1e16,
        10000000000000002.0,
        53165205877497296.0,  // whole, digits sought one at a time
        -53165205877497296.0,
        1e17,
        123456789012345680.0,
        1e21,
        1e22,
        1e23,
        0.1 + 0.2,
        -1.5e-7,
        kInf,
        -kInf,
        std::numeric_limits<double>::quiet_NaN(),
        -std::numeric_limits<double>::quiet_NaN(),
    };
    std::mt19937_64 random(11);
    std::vector<double> all = values;
    for (int i = 0; i < 20000; ++i) all.push_back(std::bit_cast<double>(random()));
    std::size_t longest = 0;
    for (const double value : all) {
        char buffer[kValueTextSize + 8];
        std::fill(std::begin(buffer), std::end(buffer), '#');
        char* const end = WriteValueText(value, buffer);
        const std::string text(buffer, static_cast<std::size_t>(end - buffer));
        EXPECT_EQ(text, ValueText(value)) << std::hexfloat << value;
        ASSERT_LE(text.size(), kValueTextSize) << text;
        EXPECT_TRUE(std::all_of(end, std::end(buffer), [](char c) { return c == '#'; })) << text;
        longest = std::max(longest, text.size());
    }
    EXPECT_EQ(longest, kValueTextSize);  // the room is what the longest text needs
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
