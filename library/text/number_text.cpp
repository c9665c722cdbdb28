#include "vantrel/number_text.h"

#include <cmath>

#include "text/chars.h"

namespace vantrel {

std::string ValueText(double value) {
    if (std::isnan(value)) return "nan";
    char buffer[32];
    const auto end =
        text::ToChars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 17).ptr;
    return std::string(buffer, end);
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
