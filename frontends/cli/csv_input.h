// Where a command's CSV comes from: the file named after --csv, or standard
// input for '-'; every command that reads a table goes through here, so that
// none reads the file its output goes to.
#pragma once

#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "cli.h"
#include "file_io.h"

namespace vantrel::cli {

// An input that is the file the output goes to ("--csv f >> f") would be read
// while it grows: said on `err`, and true, before anything is written.
bool ReadsItsOwnOutput(const InputFile* input, const std::ostream& out, std::ostream& err);

// Runs `read` on the CSV input named on the command line ('-': standard
// input), once it is known not to be the output file.
template <typename Read>
int FromCsvInput(std::string_view source, std::istream& in, const std::ostream& out,
                 std::ostream& err, Read read) {
    if (source == "-") {
        if (ReadsItsOwnOutput(dynamic_cast<const InputFile*>(in.rdbuf()), out, err))
            return kBadUsage;
        return read(in);
    }
    const std::unique_ptr<InputFile> file = InputFile::Open(std::string(source));
    if (ReadsItsOwnOutput(file.get(), out, err)) return kBadUsage;
    file->FlushBeforeWaiting(out.rdbuf());
    std::istream stream(file.get());
    return read(stream);
}

}  // namespace vantrel::cli
