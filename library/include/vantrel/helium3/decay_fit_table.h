// The decay fit from a table to its result, defined once for every front end:
// which columns it reads, how each row is checked, what each problem is
// called, and how the result is written.
//
// Rows are counted from 1 among the data rows (the header and blank lines do
// not count); a problem in a file also names its line ("row 3 (line 5)").
#pragma once

#include <cstddef>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vantrel/helium3/decay_fit.h"

namespace vantrel::helium3 {

// The columns the fit reads, by name: t, PHe, sigmaPHe.
inline constexpr std::string_view kDecayFitColumns[] = {"t", "PHe", "sigmaPHe"};
// How messages name what needs the columns.
inline constexpr std::string_view kDecayFitCall = "he3-decay-fit(t, PHe, sigmaPHe)";

// The result as a table: this header, then one row.
inline constexpr std::string_view kDecayFitResultHeader =
    "PHe0,T1,sigmaPHe0,sigmaT1,rho,reduced_chi_square,n";

// A point's place for a message: "row 3", or "row 3 (line 5)" when the
// table was read from a file. `index` counts from 0, as DecayFitError::row.
std::string RowText(std::size_t index, std::size_t line = 0);

// Why there is no fit, for a message: the reason, after the row at fault
// ("row 3 (line 5): PHe is NaN") when there is one. `lines`: the line of each
// point in its file, or empty.
std::string DecayFitErrorText(const DecayFitError& error, std::span<const std::size_t> lines = {});

// The points of a table, as read.
struct DecayFitTable {
    std::vector<double> t, PHe, sigmaPHe;
    std::vector<std::size_t> lines;  // the line of each point in its file
};

// Reads the table: a CSV header naming t, PHe and sigmaPHe (any order, other
// columns ignored) and a row per point. t is a number in any one unit or an
// ISO 8601 date-time, then taken in hours from the earliest row. Every problem
// (an unreadable header, a column missing or named twice, a field that is not
// a number or beyond a double, rows of the wrong length) is one line on `err`,
// starting with `prefix`; the result is then empty. Nothing is dropped.
bool ReadDecayFitTable(std::istream& in, std::ostream& err, std::string_view prefix,
                       DecayFitTable& table);

// The whole command: reads the table, fits, writes kDecayFitResultHeader and
// the result row to `out` (a note on `err` when the points scatter more than
// their deviations allow). `common` is He3DecayFit's: the relative deviation
// common to every point, carried by sigmaPHe0 alone. False after a message on
// `err`. A failure to write is thrown as IoError.
bool FitDecayTable(std::istream& in, std::ostream& out, std::ostream& err, std::string_view prefix,
                   double common = 0.0);

}  // namespace vantrel::helium3
