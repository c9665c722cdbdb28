// The library's own floating-point conversions, which builds whose standard
// library lacks them (the page's) use in place of <charconv>: the same text
// and the same bits as the standard library's, checked here where it has them.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "text/chars.h"
#include "text/chars_fallback.h"

namespace vantrel::text {
namespace {

// Values that reach every branch: the 17-digit fast path and its edges,
// subnormals, powers of ten, halfway cases, and random bit patterns.
std::vector<double> Values() {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1.0,
                                  0.1,
                                  0.3,
                                  1e-5,
                                  9.99e-6,
                                  1e16,
                                  9.9e15,
                                  1e17,
                                  123.456,
                                  5e-324,
                                  2.2250738585072014e-308,
                                  1.7976931348623157e308,
                                  0.63245553203367588,
                                  1.0000000000000001e+300,
                                  7.0e22,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity()};
    for (int k = -30; k <= 30; ++k) values.push_back(std::pow(10.0, k));
    std::mt19937_64 random(2026);
    for (int i = 0; i < 20000; ++i) {
        const double x = std::bit_cast<double>(random());
        if (std::isfinite(x)) values.push_back(x);
        // Ordinary magnitudes too, where tables live.
        values.push_back(std::ldexp(static_cast<double>(random() >> 11), -53 + (i % 80) - 40));
        // And the few digits they are written with, where the shortest digits
        // are far fewer than 17 ("31.6", "0.052", "123400").
        values.push_back(static_cast<double>(random() % 100000) /
                         std::pow(10.0, static_cast<int>(i % 12) - 3));
    }
    return values;
}

std::string Std(double x, bool shortest) {
    char buffer[64];
    const auto end =
        shortest ? std::to_chars(buffer, buffer + 64, x).ptr
                 : std::to_chars(buffer, buffer + 64, x, std::chars_format::general, 17).ptr;
    return {buffer, end};
}

std::string Own(double x, bool shortest) {
    char buffer[64];
    const auto end =
        shortest ? fallback::to_chars(buffer, buffer + 64, x).ptr
                 : fallback::to_chars(buffer, buffer + 64, x, std::chars_format::general, 17).ptr;
    return {buffer, end};
}

TEST(Chars, WritesWhatTheStandardLibraryWrites) {
    for (const double x : Values()) {
        EXPECT_EQ(Own(x, false), Std(x, false)) << std::hexfloat << x;
        EXPECT_EQ(Own(x, true), Std(x, true)) << std::hexfloat << x;
    }
}

// The digits a value is printed with, taken straight from the conversion or
// from the C library: those to_chars writes scientific.
TEST(Chars, GivesTheDigitsTheStandardLibraryWritesScientific) {
    for (const double x : Values()) {
        if (!std::isfinite(x) || x == 0.0) continue;
        char buffer[64];
        char* const end = std::to_chars(buffer, buffer + 64, x, std::chars_format::scientific).ptr;
        const std::string expected(buffer, end);
        char scientific[40];
        fallback::ShortestScientific(x, scientific);
        EXPECT_EQ(scientific, expected);
        char digits[17];
        int exponent = 0;
        const int count = ReadScientific(buffer, end, digits, exponent);
        std::uint64_t shortest = 0;
        int n = 0, k = 0;
        if (fallback::ShortestDigits(x, shortest, n, k)) {
            char own[17];
            fallback::WriteDigits(shortest, n, own);
            EXPECT_EQ(std::string_view(own, static_cast<std::size_t>(n)),
                      std::string_view(digits, static_cast<std::size_t>(count)))
                << expected;
            EXPECT_EQ(k, exponent) << expected;
        }
    }
}

TEST(Chars, ReadsWhatTheStandardLibraryReads) {
    std::vector<std::string> texts = {"1e400",
                                      "-1e400",
                                      "1e-400",
                                      "4.9406564584124654e-324",
                                      "2.4703282292062328e-324",
                                      "inf",
                                      "-nan",
                                      "1.5x",
                                      ".5",
                                      "5.",
                                      "1e",
                                      "0x1p3",
                                      "+1",
                                      " 1",
                                      "",
                                      "-",
                                      "1e+5",
                                      "1E5",
                                      "0.0000000000000001",  // more than 15 digits, to strtod
                                      "000000000000000012.5",
                                      "-0.000123",
                                      "123456789012345"};
    for (const double x : Values()) texts.push_back(Std(x, x > 0.5));
    for (const std::string& text : texts) {
        double own = -1.0, standard = -1.0;
        const auto a = fallback::from_chars(text.data(), text.data() + text.size(), own);
        const auto b = std::from_chars(text.data(), text.data() + text.size(), standard);
        EXPECT_EQ(a.ec, b.ec) << text;
        EXPECT_EQ(a.ptr - text.data(), b.ptr - text.data()) << text;
        if (a.ec == std::errc{} && !std::isnan(standard)) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(own), std::bit_cast<std::uint64_t>(standard))
                << text;
        }
    }
    for (const std::string hex : {"1.8p3", "1p-1074", "fffffffffffffp-52", "1p2000", "zz"}) {
        double own = -1.0, standard = -1.0;
        const auto a =
            fallback::from_chars(hex.data(), hex.data() + hex.size(), own, std::chars_format::hex);
        const auto b =
            std::from_chars(hex.data(), hex.data() + hex.size(), standard, std::chars_format::hex);
        EXPECT_EQ(a.ec, b.ec) << hex;
        EXPECT_EQ(a.ptr - hex.data(), b.ptr - hex.data()) << hex;
        if (a.ec == std::errc{}) {
            EXPECT_EQ(own, standard) << hex;
        }
    }
}

}  // namespace
}  // namespace vantrel::text
