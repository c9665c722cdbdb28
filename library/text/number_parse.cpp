#include <string_view>

#include "text/chars.h"
#include "vantrel/number_text.h"

namespace vantrel {

std::string_view TrimBlanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

ParsedNumber ParseNumber(std::string_view text) {
    // A plain decimal, as a table's fields mostly are, read at once: a digit
    // first, or a minus and a digit, and the whole text the number. Anything
    // else (blanks, '+', hexadecimal, a refusal) is read by the rules below,
    // which give such a text the same value.
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (!text.empty() &&
        (digit(text[0]) || (text.size() > 1 && text[0] == '-' && digit(text[1])))) {
        double value = 0.0;
        const auto [end, ec] = text::FromChars(text.data(), text.data() + text.size(), value);
        if (end == text.data() + text.size() && ec == std::errc{}) return {value, std::nullopt};
    }
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    auto format = std::chars_format::general;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        format = std::chars_format::hex;
    }
    const auto hexDigit = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
               c == '.';
    };
    const auto sign = [](char c) { return c == '+' || c == '-'; };
    // A second sign ("+-1", "0x-1") is not a number, nor is "0xinf".
    if (text.empty() || sign(text.front()) ||
        (format == std::chars_format::hex && !hexDigit(text.front()))) {
        return {0.0, NumberError::kNotANumber};
    }
    // Nor two signs of a binary exponent, which libstdc++ 12 reads "0x1p+-1" = 0.5.
    if (format == std::chars_format::hex) {
        const std::size_t p = text.find_first_of("pP");
        if (p != text.npos && p + 2 < text.size() && sign(text[p + 1]) && sign(text[p + 2])) {
            return {0.0, NumberError::kNotANumber};
        }
    }
    double value = 0.0;
    const auto [end, ec] = text::FromChars(text.data(), text.data() + text.size(), value, format);
    // A number followed by anything is no number, however large ("1e400x").
    if (end != text.data() + text.size()) return {0.0, NumberError::kNotANumber};
    if (ec == std::errc::result_out_of_range) return {0.0, NumberError::kOutOfRange};
    if (ec != std::errc{}) return {0.0, NumberError::kNotANumber};
    return {negative ? -value : value, std::nullopt};
}

std::string_view NumberProblem(NumberError error) {
    return error == NumberError::kOutOfRange ? " is beyond the range of a double"
                                             : " is not a number";
}

}  // namespace vantrel
