// What the tool says on standard error: every message starts with its name.
#pragma once

#include <iosfwd>
#include <string_view>

#include "vantrel/quote.h"

namespace vantrel::cli {

// How every message of the tool starts.
inline constexpr std::string_view kMessagePrefix = "vantrel: ";

// Starts a message: Message(err) << "no function named " << ... << '\n'.
std::ostream& Message(std::ostream& err);

}  // namespace vantrel::cli
