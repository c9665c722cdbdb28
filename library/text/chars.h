// The floating-point conversions of <charconv>, from the standard library
// where it provides them and from this library's own code where it only
// declares them (the WebAssembly toolchain's). Every conversion of a double
// to or from text in the library goes through here; nothing is added to std.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <version>

#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
#define VANTREL_STANDARD_FLOAT_CHARCONV 1
#else
#define VANTREL_STANDARD_FLOAT_CHARCONV 0
#include "text/chars_fallback.h"
#endif

namespace vantrel::text {

#if VANTREL_STANDARD_FLOAT_CHARCONV
using std::from_chars;
using std::to_chars;
#else
using fallback::from_chars;
using fallback::to_chars;
#endif

// The fewest significant digits that read back as the value.
inline std::to_chars_result ToChars(char* first, char* last, double value) {
    return to_chars(first, last, value);
}

// `precision` significant digits (chars_format::general), as printf's %.*g.
inline std::to_chars_result ToChars(char* first, char* last, double value, std::chars_format format,
                                    int precision) {
    return to_chars(first, last, value, format, precision);
}

// The significant digits of a number written scientific ("-1.25e-07",
// "5e+17"), without sign, point or trailing zeros, into `digits`; their
// count, and in `exponent` the decimal exponent of the first.
inline int ReadScientific(const char* first, const char* last, char* digits, int& exponent) {
    const char* p = first != last && *first == '-' ? first + 1 : first;
    int count = 0;
    for (; p != last && *p != 'e'; ++p) {
        if (*p != '.') digits[count++] = *p;
    }
    while (count > 1 && digits[count - 1] == '0') --count;
    exponent = 0;
    if (p != last) {
        const bool negative = p + 1 != last && p[1] == '-';
        for (p += (p + 1 != last && (p[1] == '-' || p[1] == '+')) ? 2 : 1; p != last; ++p)
            exponent = exponent * 10 + (*p - '0');
        if (negative) exponent = -exponent;
    }
    return count;
}

// The fewest significant digits that read back as a finite, non-zero value,
// those to_chars writes scientific ("1.25e-07": "125", exponent -7): into
// `digits`, which has room for 17, without sign or trailing zeros; their
// count, and in `exponent` the decimal exponent of the first.
inline int ShortestDigits(double value, char* digits, int& exponent) {
#if VANTREL_STANDARD_FLOAT_CHARCONV
    char text[32];
    const char* end = to_chars(text, text + sizeof text, value, std::chars_format::scientific).ptr;
    return ReadScientific(text, end, digits, exponent);
#else
    // Straight from the digits where the library's own conversion has them,
    // without text to write and read again (a table prints one a row).
    std::uint64_t shortest = 0;
    int count = 0;
    if (fallback::ShortestDigits(value, shortest, count, exponent)) {
        fallback::WriteDigits(shortest, count, digits);
        return count;
    }
    char text[40];
    fallback::ShortestScientific(value, text);
    return ReadScientific(text, text + std::strlen(text), digits, exponent);
#endif
}

// The standard's contract: no leading blanks or '+', hexadecimal without
// "0x", the end of the longest match, result_out_of_range for a finite text
// beyond a double's range.
inline std::from_chars_result FromChars(const char* first, const char* last, double& value,
                                        std::chars_format format = std::chars_format::general) {
    return from_chars(first, last, value, format);
}

}  // namespace vantrel::text
