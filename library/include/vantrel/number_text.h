// Numbers as every front end spells and reads them, so that a value reads the
// same in the help, on the command line, in the page and in the documentation,
// and every text written here reads back to the same bits.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// A computed value: the shortest decimal that reads back to the same bits
// ("0.1", "0.6324555320336759", "1e+300"), fixed for decimal exponents from −5
// to 16 and scientific, with a signed exponent of at least two digits,
// beyond ("1e-05", "1.5e+17"); "nan" for every NaN, "inf" and "-inf".
std::string ValueText(double value);

// The most bytes of a ValueText: a sign, 17 significant digits, the point and
// a three-digit exponent ("-2.2250738585072014e-308").
inline constexpr std::size_t kValueTextSize = 24;

// ValueText written into `out`, which has room for kValueTextSize bytes,
// without allocating (a table prints one a row); the end of what it wrote.
char* WriteValueText(double value, char* out);

// A value typed as an argument: the shortest text that reads back to the same
// bits, its exponent without sign or padding unless negative ("1e5", "1e-9",
// "0.7", "293").
std::string ArgumentText(double value);

enum class NumberError { kNotANumber, kOutOfRange };

struct ParsedNumber {
    double value = 0.0;
    std::optional<NumberError> error;
};

// The text without the blanks (spaces, tabs) around it.
std::string_view TrimBlanks(std::string_view text);

// Decimal or hexadecimal floating point ("0x1.8p3", exact), "inf", "nan", with
// an optional sign and surrounding blanks; the whole text must be the number.
// Finite text beyond the range of a double (1e400, 1e-400) is refused rather
// than turned into infinity or zero. Reads every text ValueText and
// ArgumentText write back to the same bits.
ParsedNumber ParseNumber(std::string_view text);

// What is wrong with a text that ParseNumber refuses, for a message that
// quotes it: "'abc' is not a number".
std::string_view NumberProblem(NumberError error);

}  // namespace vantrel
