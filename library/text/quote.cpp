#include "vantrel/quote.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

namespace vantrel {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Code points that a terminal shows as nothing or as a blank that is not the
// ASCII space: the ones that make a field look like a number it is not.
constexpr std::pair<std::uint32_t, std::uint32_t> kInvisible[] = {
    {0x80, 0xA0},       // C1 controls, no-break space
    {0xAD, 0xAD},       // soft hyphen
    {0x34F, 0x34F},     // combining grapheme joiner
    {0x61C, 0x61C},     // Arabic letter mark
    {0x180E, 0x180E},   // Mongolian vowel separator
    {0x2000, 0x200F},   // spaces of other widths, zero-width characters, direction marks
    {0x2028, 0x202F},   // line and paragraph separators, embeddings, narrow no-break space
    {0x205F, 0x206F},   // medium space, word joiner, invisible operators, isolates
    {0x3000, 0x3000},   // ideographic space
    {0xFEFF, 0xFEFF},   // byte-order mark, zero-width no-break space
    {0xFFF9, 0xFFFB},   // interlinear annotation
    {0xE0000, 0xE007F}  // tags
};

bool Invisible(std::uint32_t code) {
    return std::any_of(std::begin(kInvisible), std::end(kInvisible), [code](const auto& range) {
        return range.first <= code && code <= range.second;
    });
}

// The length of the well-formed UTF-8 character at the start of `text`, and
// its code point; length 0 for a byte that starts none.
std::pair<std::size_t, std::uint32_t> DecodeUtf8(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    std::uint32_t code;
    if (lead < 0x80) return {1, lead};
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07u;
    } else {
        return {0, 0};
    }
    if (text.size() < length) return {0, 0};
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return {0, 0};
        code = (code << 6) | (byte(i) & 0x3Fu);
    }
    // Overlong forms, surrogates and code points beyond Unicode are not UTF-8.
    const std::uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return {0, 0};
    return {length, code};
}

// One character as a message shows it, and how many bytes of `text` it takes.
std::pair<std::string, std::size_t> Shown(std::string_view text) {
    const auto byte = static_cast<unsigned char>(text[0]);
    switch (text[0]) {
        case '\n':
            return {"\\n", 1};
        case '\r':
            return {"\\r", 1};
        case '\t':
            return {"\\t", 1};
        default:
            break;
    }
    const auto [length, code] = DecodeUtf8(text);
    if (length == 0 || byte < 0x20 || byte == 0x7F)
        return {{'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]}, 1};
    if (!Invisible(code)) return {std::string(text.substr(0, length)), length};
    std::string escape = "\\u{";
    const int digits = code > 0xFFFF ? 5 : 4;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        escape += kHex[(code >> shift) & 0xF];
    return {escape + "}", length};
}

}  // namespace

std::string Quote(std::string_view text, std::size_t limit) {
    std::string quoted = "'";
    std::size_t shown = 0;
    while (shown < text.size()) {
        const auto [piece, length] = Shown(text.substr(shown));
        if (quoted.size() - 1 + piece.size() > limit) break;
        quoted += piece;
        shown += length;
    }
    quoted += '\'';
    if (shown < text.size()) {
        quoted += " (the first " + std::to_string(shown) + " of " + std::to_string(text.size()) +
                  " bytes)";
    }
    return quoted;
}

}  // namespace vantrel
