// The snake_case alias of each catalogue name, as the command-line tool and the
// Python module also accept it. Computed at compile time for the catalogue.
#pragma once

#include <string>
#include <string_view>

namespace vantrel {

namespace detail {

constexpr bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr char Lower(char c) { return IsUpper(c) ? static_cast<char>(c - 'A' + 'a') : c; }

// The suffix of every standard deviation: one word, not "S" and "Dev".
constexpr std::string_view kSDev = "SDev";

}  // namespace detail

// Lower-case words joined by '_'. A word is
//   - "SDev", wherever it occurs;
//   - a capital followed by lower-case letters (Flipping, Opt, B);
//   - a run of two or more capitals (an abbreviation: STL, DDT); lower-case
//     letters right after it form a word of their own (STL|monoclinic);
//   - lower-case letters at the start or after an abbreviation;
// and digits stay with the word before them (He3, Efficiency2). So
// FlippingRatioOptSDev → flipping_ratio_opt_sdev, STLmonoclinicB →
// stl_monoclinic_b, CountRateDDTSDev → count_rate_ddt_sdev, He3Efficiency2SDev →
// he3_efficiency2_sdev. Written to any text with empty() and push_back(char),
// so that the catalogue can also form its aliases at compile time.
template <class Text>
constexpr void AppendSnakeCase(std::string_view name, Text& snake) {
    using namespace detail;
    std::size_t i = 0;
    const auto take = [&](auto predicate) {
        while (i < name.size() && predicate(name[i])) snake.push_back(Lower(name[i++]));
    };
    while (i < name.size()) {
        if (!snake.empty()) snake.push_back('_');
        if (name.substr(i).starts_with(kSDev)) {
            for (char c : std::string_view("sdev")) snake.push_back(c);
            i += kSDev.size();
        } else if (IsUpper(name[i])) {
            std::size_t end = i;
            while (end < name.size() && IsUpper(name[end]) && !name.substr(end).starts_with(kSDev))
                ++end;
            if (end - i >= 2) {
                while (i < end) snake.push_back(Lower(name[i++]));
            } else {
                snake.push_back(Lower(name[i++]));
                take(IsLower);
            }
        } else if (IsLower(name[i])) {
            take(IsLower);
        } else if (!IsDigit(name[i])) {
            snake.push_back(name[i++]);  // not in any catalogue name; kept as it is
        }
        take(IsDigit);
    }
}

inline std::string SnakeCase(std::string_view name) {
    std::string snake;
    AppendSnakeCase(name, snake);
    return snake;
}

}  // namespace vantrel
