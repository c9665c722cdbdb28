#include "vantrel/number_text.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/chars.h"

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
    const char* end = text::ToChars(buffer, buffer + sizeof buffer, value).ptr;
    // From 1e16 on, a whole number written fixed shows every digit of its
    // exact value, more than reading it back needs ("53165205877497296" for
    // 5.31652058774973e+16): there the digits are sought one at a time.
    const std::string_view shortest(buffer, static_cast<std::size_t>(end - buffer));
    if (shortest.size() > (value < 0 ? 17u : 16u) &&
        shortest.find_first_of(".e") == std::string_view::npos) {
        for (int precision = 0; precision < 17; ++precision) {
            end = text::ToChars(buffer, buffer + sizeof buffer, value,
                                std::chars_format::scientific, precision)
                      .ptr;
            double back = 0.0;
            text::FromChars(buffer, end, back);
            if (back == value) break;
        }
    }
    // The digits without sign, point or exponent, and where the point falls.
    const char* p = buffer;
    const bool negative = *p == '-';
    if (negative) ++p;
    char digits[24];
    int length = 0;
    int point = -1;  // digits before the decimal point
    for (; p != end && *p != 'e'; ++p) {
        if (*p == '.') {
            point = length;
        } else {
            digits[length++] = *p;
        }
    }
    if (point < 0) point = length;
    if (p != end) {
        int exponent = 0;
        std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), end, exponent);
        point += exponent;
    }
    // Leading zeros of a fixed "0.000123" move the point, trailing zeros of
    // "1200" are the exponent's.
    int first = 0;
    while (first < length && digits[first] == '0') ++first;
    if (first == length) return negative ? "-0" : "0";
    point -= first;
    while (digits[length - 1] == '0') --length;
    const std::string_view significant(digits + first, static_cast<std::size_t>(length - first));
    const int count = static_cast<int>(significant.size());
    char text[40];
    char* out = text;
    if (negative) *out++ = '-';
    const auto put = [&out](std::string_view part) {
        for (const char c : part) *out++ = c;
    };
    const int exponent = point - 1;
    if (exponent < -4 || exponent >= 17) {
        *out++ = significant[0];
        if (count > 1) {
            *out++ = '.';
            put(significant.substr(1));
        }
        *out++ = 'e';
        *out++ = exponent < 0 ? '-' : '+';
        const int magnitude = std::abs(exponent);
        if (magnitude < 10) *out++ = '0';
        out = std::to_chars(out, text + sizeof text, magnitude).ptr;
    } else if (point <= 0) {
        put("0.");
        for (int i = point; i < 0; ++i) *out++ = '0';
        put(significant);
    } else if (point >= count) {
        put(significant);
        for (int i = count; i < point; ++i) *out++ = '0';
    } else {
        put(significant.substr(0, static_cast<std::size_t>(point)));
        *out++ = '.';
        put(significant.substr(static_cast<std::size_t>(point)));
    }
    return std::string(text, out);
}

std::string ArgumentText(double value) {
    if (std::isnan(value)) return "nan";
    char buffer[32];
    std::string text(buffer, text::ToChars(buffer, buffer + sizeof buffer, value).ptr);
    const std::size_t e = text.find('e');
    if (e != std::string::npos) {
        std::size_t digits = e + 1 + (text[e + 1] == '-' || text[e + 1] == '+' ? 1 : 0);
        if (text[e + 1] == '+') text.erase(e + 1, 1), --digits;
        while (digits + 1 < text.size() && text[digits] == '0') text.erase(digits, 1);
    }
    return text;
}

}  // namespace vantrel
