// The floating-point conversions of <charconv> that the WebAssembly
// toolchain's C++ library (emscripten 3.1.6) declares but does not provide,
// built on its C library, which rounds correctly both ways. Included before
// every source of the WebAssembly build only, so that the shared sources
// compile unchanged; the native and Windows builds never see it.
//
// Each follows the standard's contract where the shared sources rely on it:
// no leading blanks or '+', hexadecimal without "0x", the end of the longest
// match, result_out_of_range for a finite text beyond a double's range.
#pragma once

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

namespace std {

// The text printf gives for `precision` significant digits, which is what
// to_chars promises for an explicit precision.
inline to_chars_result to_chars(char* first, char* last, double value, chars_format format,
                                int precision) {
    const char* spec = format == chars_format::fixed        ? "%.*f"
                       : format == chars_format::scientific ? "%.*e"
                       : format == chars_format::hex        ? "%.*a"
                                                            : "%.*g";
    char buffer[400];
    const int length = std::snprintf(buffer, sizeof buffer, spec, precision, value);
    if (length < 0 || length > last - first) return {last, errc::value_too_large};
    std::memcpy(first, buffer, static_cast<size_t>(length));
    return {first + length, errc{}};
}

// The fewest significant digits that read back as the value, written fixed or
// scientific, whichever is shorter (fixed on a tie), as to_chars does.
inline to_chars_result to_chars(char* first, char* last, double value) {
    if (!std::isfinite(value) || value == 0.0) {
        return to_chars(first, last, value, chars_format::general, 1);
    }
    char scientific[40];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(scientific, sizeof scientific, "%.*e", digits - 1, value);
        if (std::strtod(scientific, nullptr) != value) continue;
        // The same digits, fixed: the decimal exponent decides the point.
        const char* e = std::strchr(scientific, 'e');
        const int exponent = std::atoi(e + 1);
        const int decimals = digits - 1 - exponent;
        char fixed[400];
        std::snprintf(fixed, sizeof fixed, "%.*f", decimals > 0 ? decimals : 0, value);
        const char* text = std::strlen(fixed) <= std::strlen(scientific) ? fixed : scientific;
        const size_t length = std::strlen(text);
        if (static_cast<ptrdiff_t>(length) > last - first) return {last, errc::value_too_large};
        std::memcpy(first, text, length);
        return {first + length, errc{}};
    }
    return to_chars(first, last, value, chars_format::general, 17);
}

inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format format = chars_format::general) {
    // strtod would skip blanks and take a sign or a "0x" of its own.
    const auto digit = [](char c, bool hex) {
        return (c >= '0' && c <= '9') || c == '.' ||
               (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    };
    const bool hex = format == chars_format::hex;
    if (first == last || *first == '+' || *first == ' ' ||
        (!digit(*first, hex) && (hex || std::strchr("iInN-", *first) == nullptr))) {
        return {first, errc::invalid_argument};
    }
    const bool negative = *first == '-';
    const char* body = negative ? first + 1 : first;
    if (body == last || !(digit(*body, hex) || (!hex && std::strchr("iInN", *body) != nullptr)) ||
        (!hex && body + 1 < last && body[0] == '0' && (body[1] == 'x' || body[1] == 'X'))) {
        return {first, errc::invalid_argument};
    }
    const std::string text = (negative ? "-" : "") + std::string(hex ? "0x" : "") +
                             std::string(body, static_cast<size_t>(last - body));
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text.c_str(), &end);
    const ptrdiff_t consumed = end - text.c_str() - (hex ? 2 : 0);
    if (consumed <= (negative ? 1 : 0)) return {first, errc::invalid_argument};
    const char* stop = first + consumed;
    // Only a result that overflowed or vanished to zero is out of range; a
    // subnormal one is a value.
    if (errno == ERANGE && (std::isinf(parsed) || parsed == 0.0)) {
        return {stop, errc::result_out_of_range};
    }
    value = parsed;
    return {stop, errc{}};
}

}  // namespace std
