// The floating-point conversions of <charconv>, from the standard library
// where it provides them and from this library's own code where it only
// declares them (the WebAssembly toolchain's). Every conversion of a double
// to or from text in the library goes through here; nothing is added to std.
#pragma once

#include <charconv>
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

// The standard's contract: no leading blanks or '+', hexadecimal without
// "0x", the end of the longest match, result_out_of_range for a finite text
// beyond a double's range.
inline std::from_chars_result FromChars(const char* first, const char* last, double& value,
                                        std::chars_format format = std::chars_format::general) {
    return from_chars(first, last, value, format);
}

}  // namespace vantrel::text
