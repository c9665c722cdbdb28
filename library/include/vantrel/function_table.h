// A CSV table streamed through one function of the catalogue: every record
// written back with the function's value appended, as soon as it is read, so
// that a table of any length passes through in constant memory. The rules of
// `vantrel NAME --csv` and of the page's table tool alike.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string_view>

#include "vantrel/catalogue.h"

namespace vantrel {

// The header names the arguments (any order, other columns kept); blank lines
// are skipped. Reports the first bad record on `err` (one line, starting with
// `prefix`), with the number of rows written before it, and returns false; the
// records before it have been written and flushed. Text that cannot be read
// (UTF-16, lines that end in a carriage return alone, a NUL or a second
// byte-order mark in the header) is named as the cause. A failure to write
// (IoError of the output, or a buffer that refuses bytes) is thrown as IoError.
bool EvaluateCsv(const CatalogueEntry& entry, std::istream& in, std::ostream& out,
                 std::ostream& err, std::string_view prefix = "");

// Where a part of a table starts when the table is run in parts, one after
// another or side by side: the rows after the header before it, and its line.
struct CsvPart {
    std::size_t rowsBefore = 0;
    std::size_t firstLine = 1;
};

// The rows of one part of a table, `in`, which starts at a record's start
// after the header; the header is read from `header`, the table's beginning.
// Writes the part's rows only, as EvaluateCsv writes them, and reports as it
// does, with the lines and rows counted from the table's start. Parts run so
// and written one after another give EvaluateCsv's output for the whole.
bool EvaluateCsvPart(const CatalogueEntry& entry, std::istream& header, std::istream& in,
                     std::ostream& out, std::ostream& err, std::string_view prefix, CsvPart part);

}  // namespace vantrel
