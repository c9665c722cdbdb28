// Text from the input as messages show it.
#include "vantrel/quote.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace vantrel {
namespace {

// ---- Text quoted in messages ---------------------------------------------------

// `head`, `times` copies of `text`, then `tail`.
std::string Repeat(std::string_view text, int times, std::string_view tail = "",
                   std::string_view head = "") {
    std::string repeated(head);
    for (int i = 0; i < times; ++i) repeated += text;
    repeated += tail;
    return repeated;
}

TEST(Quote, EscapesControlCharactersAndCutsLongText) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"abc", "'abc'"},
        {"", "''"},
        {"a\tb\r\n\x1b[2J\x7f", "'a\\tb\\r\\n\\x1B[2J\\x7F'"},
        {"C:\\data\\ü.csv", "'C:\\data\\ü.csv'"},
        {Repeat("x", 60), Repeat("x", 60, "'", "'")},
        {Repeat("x", 61), Repeat("x", 60, "' (the first 60 of 61 bytes)", "'")},
        {Repeat("7", 10 << 20), Repeat("7", 60, "' (the first 60 of 10485760 bytes)", "'")},
        // Escapes count as shown, and are not cut.
        {Repeat("\x01", 20), Repeat("\\x01", 15, "' (the first 15 of 20 bytes)", "'")},
        {Repeat("\n", 40, "", "x"), Repeat("\\n", 29, "' (the first 30 of 41 bytes)", "'x")},
        // Not into the middle of a two-byte character.
        {Repeat("x", 59, "étail"), Repeat("x", 59, "' (the first 59 of 65 bytes)", "'")},
        // What shows as nothing or as a blank, and bytes that are no UTF-8, escaped;
        // any other character as it is.
        {"\xEF\xBB\xBF"
         "1000",
         "'\\u{FEFF}1000'"},
        {"1\xC2\xA0\xE2\x80\x8B", "'1\\u{00A0}\\u{200B}'"},
        {"2\xB2", "'2\\xB2'"},  // '²' in a Windows code page
        {"2²", "'2²'"},
        {"１e３ Ωmega 測定 🧪", "'１e３ Ωmega 測定 🧪'"},
        {"\xF3\xA0\x80\x81", "'\\u{E0001}'"},
        {"\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xE2\x82",
         "'\\xC0\\xAF\\xED\\xA0\\x80\\xF4\\x90\\x80\\x80\\xE2\\x82'"},
        {Repeat("x", 56, "\xEF\xBB\xBF"), Repeat("x", 56, "' (the first 56 of 59 bytes)", "'")},
    };
    for (const auto& [text, quoted] : cases) EXPECT_EQ(Quote(text), quoted) << text.substr(0, 80);
}

}  // namespace
}  // namespace vantrel
