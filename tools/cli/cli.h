// The command-line tool `vantrel`: the catalogue's functions from a shell.
//
//   vantrel list                  index, name, snake_case alias and argument names
//   vantrel NAME [--] ARG...      the value, 17 significant digits
//   vantrel NAME --csv FILE|-     a CSV whose header names the arguments, with a
//                                 column NAME appended
//
// NAME is a catalogue name or its snake_case alias; "--" ends the options, as
// for any POSIX utility. Every failure, a failed write included, is a message
// on `err` and a non-zero status.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vantrel/catalogue.h"

namespace vantrel::cli {

// Exit codes.
inline constexpr int kSuccess = 0;
inline constexpr int kBadInput =
    1;  // unreadable file, bad CSV, a value that is not a number, a failed write
inline constexpr int kBadUsage = 2;  // unknown function or command, wrong argument count

// Runs one command line (without the program name). Results go to `out`,
// messages to `err`; `in` is read for "--csv -". Output is written through
// out.rdbuf() and flushed before returning; a buffer that fails by throwing
// IoError (file_io.h) has its reason reported.
int Run(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
        std::ostream& err);

// The catalogue entry of a name or snake_case alias, or nullptr.
const CatalogueEntry* FindByName(std::string_view name);

// Up to `count` catalogue names closest to a name that is in none of them.
std::vector<std::string_view> ClosestNames(std::string_view name, std::size_t count = 3);

// "Name(a, b, c)".
std::string Signature(const CatalogueEntry& entry);

// Streams a CSV through one function: every record gets the value appended.
// Blank lines are skipped. Reports the first bad record on `err`, with the
// number of rows written before it, and returns kBadInput; the records before
// it have been written and flushed.
int EvaluateCsv(const CatalogueEntry& entry, std::istream& in, std::ostream& out,
                std::ostream& err);

// Text from the input for a message: in single quotes, control characters
// escaped (\n, \x1B), and cut where what is shown between the quotes would
// grow beyond `limit` bytes (never inside an escape or a UTF-8 character),
// which the message then says: "'1234' (the first 4 of 10485760 bytes)".
inline constexpr std::size_t kQuoteLimit = 60;
std::string Quote(std::string_view text, std::size_t limit = kQuoteLimit);

}  // namespace vantrel::cli
