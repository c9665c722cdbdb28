#include "vantrel/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

namespace vantrel {

std::string ValueText(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    // The shortest digits come from to_chars, which writes them fixed or
    // scientific, whichever is shorter; they are laid out again as printf's
    // %.17g lays out a value, so that a value prints where and as it always
    // did ("10000000000000000", "1e+17", "0.0001", "1e-05"), only without
    // digits that carry nothing.
    char buffer[40];
    const char* end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    // From 1e16 on, a whole number written fixed shows every digit of its
    // exact value, more than reading it back needs ("53165205877497296" for
    // 5.31652058774973e+16): there the digits are sought one at a time.
    const std::string_view shortest(buffer, static_cast<std::size_t>(end - buffer));
    if (shortest.size() > (value < 0 ? 17u : 16u) &&
        shortest.find_first_of(".e") == std::string_view::npos) {
        for (int precision = 0; precision < 17; ++precision) {
            end = std::to_chars(buffer, buffer + sizeof buffer, value,
                                std::chars_format::scientific, precision)
                      .ptr;
            double back = 0.0;
            std::from_chars(buffer, end, back);
            if (back == value) break;
        }
    }
    const char* p = buffer;
    std::string text;
    if (*p == '-') text += *p++;
    std::string digits;
    int point = -1;  // digits before the decimal point
    for (; p != end && *p != 'e'; ++p) {
        if (*p == '.') {
            point = static_cast<int>(digits.size());
        } else {
            digits += *p;
        }
    }
    if (point < 0) point = static_cast<int>(digits.size());
    if (p != end) {
        int exponent = 0;
        std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), end, exponent);
        point += exponent;
    }
    // Leading zeros of a fixed "0.000123" move the point, trailing zeros of
    // "1200" are the exponent's.
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) return text + "0";
    digits.erase(0, first);
    point -= static_cast<int>(first);
    digits.erase(digits.find_last_not_of('0') + 1);
    const int exponent = point - 1;
    const int length = static_cast<int>(digits.size());
    if (exponent < -4 || exponent >= 17) {
        text += digits[0];
        if (length > 1) text.append(".").append(digits, 1);
        const int magnitude = std::abs(exponent);
        text += exponent < 0 ? "e-" : "e+";
        if (magnitude < 10) text += '0';
        return text + std::to_string(magnitude);
    }
    if (point <= 0)
        return text + "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
    if (point >= length)
        return text + digits + std::string(static_cast<std::size_t>(point - length), '0');
    return text + digits.substr(0, static_cast<std::size_t>(point)) + "." +
           digits.substr(static_cast<std::size_t>(point));
}

std::string ArgumentText(double value) {
    if (std::isnan(value)) return "nan";
    char buffer[32];
    std::string text(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
    const std::size_t e = text.find('e');
    if (e != std::string::npos) {
        std::size_t digits = e + 1 + (text[e + 1] == '-' || text[e + 1] == '+' ? 1 : 0);
        if (text[e + 1] == '+') text.erase(e + 1, 1), --digits;
        while (digits + 1 < text.size() && text[digits] == '0') text.erase(digits, 1);
    }
    return text;
}

}  // namespace vantrel
