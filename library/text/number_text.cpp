#include "vantrel/number_text.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/chars.h"

namespace vantrel {

char* WriteValueText(double value, char* out) {
    const auto put = [&out](const char* from, int count) {
        for (int i = 0; i < count; ++i) *out++ = from[i];
    };
    if (std::isnan(value)) {
        put("nan", 3);
        return out;
    }
    if (std::signbit(value)) *out++ = '-';
    if (std::isinf(value)) {
        put("inf", 3);
        return out;
    }
    if (value == 0.0) {
        *out++ = '0';
        return out;
    }
    // The shortest digits, laid out as printf's %.17g lays out a value, so
    // that a value prints where and as it always did ("10000000000000000",
    // "1e+17", "0.0001", "1e-05"), only without digits that carry nothing.
    // (Scientific, to_chars gives the shortest digits also from 1e16 on, where
    // written fixed it shows every digit of a whole number's exact value:
    // "53165205877497296" for 5.31652058774973e+16.)
    char digits[17];
    int exponent = 0;
    const int count = text::ShortestDigits(value, digits, exponent);
    if (exponent < -4 || exponent >= 17) {
        *out++ = digits[0];
        if (count > 1) {
            *out++ = '.';
            put(digits + 1, count - 1);
        }
        *out++ = 'e';
        *out++ = exponent < 0 ? '-' : '+';
        const int magnitude = std::abs(exponent);
        if (magnitude < 10) *out++ = '0';
        return std::to_chars(out, out + 3, magnitude).ptr;
    }
    const int point = exponent + 1;  // digits before the decimal point
    if (point <= 0) {
        put("0.", 2);
        for (int i = point; i < 0; ++i) *out++ = '0';
        put(digits, count);
    } else if (point >= count) {
        put(digits, count);
        for (int i = count; i < point; ++i) *out++ = '0';
    } else {
        put(digits, point);
        *out++ = '.';
        put(digits + point, count - point);
    }
    return out;
}

std::string ValueText(double value) {
    char text[kValueTextSize];
    return std::string(text, WriteValueText(value, text));
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
