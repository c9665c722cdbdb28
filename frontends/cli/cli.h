// The command-line tool `vantrel`: the catalogue's functions from a shell.
//
//   vantrel list                  index, name, snake_case alias and argument names
//   vantrel NAME [--] ARG...      the value, in the fewest digits that read back
//   vantrel NAME --csv FILE|-     a CSV whose header names the arguments, with a
//                                 column NAME appended
//
// NAME is a catalogue name or its snake_case alias; "--" ends the options, as
// for any POSIX utility. Every failure, a failed write included, is a message
// on `err` and a non-zero status.
#pragma once

#include <iosfwd>
#include <span>
#include <string_view>

namespace vantrel::cli {

// Exit codes.
inline constexpr int kSuccess = 0;
// An unreadable file, text the CSV reader cannot read, a CSV field that is not
// a number, a failed write.
inline constexpr int kBadInput = 1;
// A command line the tool cannot follow: an unknown function, command or
// option, a wrong argument count, an argument that is not a number, a CSV
// input that is the file the output goes to.
inline constexpr int kBadUsage = 2;

// Runs one command line (without the program name). Results go to `out`,
// messages to `err`; `in` is read for "--csv -". Output is written through
// out.rdbuf() and flushed before returning; a buffer that fails by throwing
// IoError (file_io.h) has its reason reported. When `out` and the CSV input
// are the tool's own files (file_io.h), an input that is the output file is
// refused before anything is written.
int Run(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
        std::ostream& err);

}  // namespace vantrel::cli
