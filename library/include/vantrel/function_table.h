// A CSV streamed through one function: every record written back with the
// function's value appended, as soon as it is read.
#pragma once

#include <iosfwd>

#include "vantrel/catalogue.h"

namespace vantrel::cli {

// The header names the arguments (any order, other columns kept); blank lines
// are skipped. Reports the first bad record on `err`, with the number of rows
// written before it, and returns kBadInput; the records before it have been
// written and flushed. Text the tool cannot read (UTF-16, lines that end in a
// carriage return alone, a NUL or a second byte-order mark in the header) is
// named as the cause.
int EvaluateCsv(const CatalogueEntry& entry, std::istream& in, std::ostream& out,
                std::ostream& err);

}  // namespace vantrel::cli
