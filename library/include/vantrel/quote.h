// Text from the input as a message shows it, quoted so that what is in it can
// be seen: every front end quotes alike.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vantrel {

// Text from the input for a message: in single quotes, with what a terminal
// would not show escaped: control characters (\n, \x1B), characters that
// show as nothing or as a mere blank (\u{FEFF}, \u{00A0}) and bytes that are
// not UTF-8 (\xFF). Cut where what is shown between the quotes would grow
// beyond `limit` bytes (never inside an escape or a character), which the
// message then says: "'1234' (the first 4 of 10485760 bytes)".
inline constexpr std::size_t kQuoteLimit = 60;
std::string Quote(std::string_view text, std::size_t limit = kQuoteLimit);

}  // namespace vantrel
