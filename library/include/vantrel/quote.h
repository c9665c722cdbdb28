// What the tool says on standard error: every message starts with its name,
// and text from the input appears quoted so that what is in it can be seen.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

namespace vantrel::cli {

// Starts a message: Message(err) << "no function named " << ... << '\n'.
std::ostream& Message(std::ostream& err);

// Text from the input for a message: in single quotes, with what a terminal
// would not show escaped: control characters (\n, \x1B), characters that
// show as nothing or as a mere blank (\u{FEFF}, \u{00A0}) and bytes that are
// not UTF-8 (\xFF). Cut where what is shown between the quotes would grow
// beyond `limit` bytes (never inside an escape or a character), which the
// message then says: "'1234' (the first 4 of 10485760 bytes)".
inline constexpr std::size_t kQuoteLimit = 60;
std::string Quote(std::string_view text, std::size_t limit = kQuoteLimit);

}  // namespace vantrel::cli
