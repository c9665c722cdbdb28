#include "vantrel/helium3/decay_fit_table.h"

#include <algorithm>
#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "vantrel/csv.h"
#include "vantrel/date_time.h"
#include "vantrel/number_text.h"
#include "vantrel/quote.h"
#include "vantrel/text_io.h"

namespace vantrel::helium3 {

namespace {

bool IsBlank(std::string_view record) { return TrimBlanks(record).empty(); }

// The rows after the header. Times are taken as numbers until the first row
// that is a date-time; then every row must be one, all with or all without a
// time zone.
bool ReadRows(CsvReader& reader, CsvRecord& record, const std::vector<std::size_t>& columns,
              std::size_t fields, std::ostream& err, std::string_view prefix,
              DecayFitTable& table) {
    std::optional<bool> dates, zoned;
    std::vector<double> seconds;  // of date-times, before the earliest is known
    while (reader.Next(record)) {
        if (IsBlank(record.raw)) continue;
        const std::string where = RowText(table.lines.size(), record.line);
        if (record.FieldCount() != fields) {
            err << prefix << where << ": " << record.FieldCount() << " field"
                << (record.FieldCount() == 1 ? "" : "s") << ", but the header has " << fields
                << '\n';
            return false;
        }
        double values[3];
        for (std::size_t k = 0; k < 3; ++k) {
            const std::string_view text = record.Field(columns[k]);
            const std::string field = ", column " + std::to_string(columns[k] + 1) + " (" +
                                      std::string(kDecayFitColumns[k]) + "): ";
            const ParsedNumber parsed = ParseNumber(text);
            if (k == 0 &&
                (dates.value_or(false) || (!dates && parsed.error == NumberError::kNotANumber))) {
                const std::optional<Instant> instant = ParseDateTime(TrimBlanks(text));
                if (!instant) {
                    err << prefix << where << field << Quote(text)
                        << (dates ? " is not an ISO 8601 date-time like the rows before it\n"
                                  : " is neither a number nor an ISO 8601 date-time\n");
                    return false;
                }
                if (zoned && *zoned != instant->zoned) {
                    err << prefix << where << field << Quote(text)
                        << (instant->zoned ? " names a time zone and the rows before do not\n"
                                           : " names no time zone and the rows before do\n");
                    return false;
                }
                dates = true, zoned = instant->zoned;
                values[0] = instant->seconds;
                continue;
            }
            if (parsed.error) {
                err << prefix << where << field << Quote(text) << NumberProblem(*parsed.error)
                    << (k == 0 && dates.has_value() ? " like the rows before it" : "") << '\n';
                return false;
            }
            if (k == 0) dates = false;
            values[k] = parsed.value;
        }
        table.t.push_back(values[0]);
        table.PHe.push_back(values[1]);
        table.sigmaPHe.push_back(values[2]);
        table.lines.push_back(record.line);
    }
    // Hours from the earliest date-time, in whatever order the rows come.
    if (dates.value_or(false) && !table.t.empty()) {
        const double origin = *std::min_element(table.t.begin(), table.t.end());
        for (double& t : table.t) t = (t - origin) / 3600.0;
    }
    return true;
}

}  // namespace

std::string RowText(std::size_t index, std::size_t line) {
    std::string text = "row " + std::to_string(index + 1);
    if (line != 0) text += " (line " + std::to_string(line) + ")";
    return text;
}

std::string DecayFitErrorText(const DecayFitError& error, std::span<const std::size_t> lines) {
    if (error.row == DecayFitError::kNoRow) return error.reason;
    return RowText(error.row, error.row < lines.size() ? lines[error.row] : 0) + ": " +
           error.reason;
}

bool ReadDecayFitTable(std::istream& in, std::ostream& err, std::string_view prefix,
                       DecayFitTable& table) {
    table = {};
    CsvReader reader(in);
    CsvRecord record;
    try {
        bool found = false;
        while ((found = reader.Next(record)) && IsBlank(record.raw)) {
        }
        if (!found) {
            err << prefix
                << "the CSV input is empty; its first line must name the columns t, PHe, "
                   "sigmaPHe\n";
            return false;
        }
        const CsvColumns columns =
            FindCsvColumns(record, kDecayFitColumns, reader.HadByteOrderMark(), kDecayFitCall);
        if (!columns.problem.empty()) {
            err << prefix << columns.problem << '\n';
            return false;
        }
        const std::size_t fields = record.FieldCount();
        if (ReadRows(reader, record, columns.columns, fields, err, prefix, table)) return true;
    } catch (const CsvError& e) {
        err << prefix << "line " << e.line() << ": " << e.what() << '\n';
    } catch (const IoError& e) {
        if (e.side() == IoError::Side::kOutput) throw;
        err << prefix << e.what() << '\n';
    }
    table = {};
    return false;
}

bool FitDecayTable(std::istream& in, std::ostream& out, std::ostream& err, std::string_view prefix,
                   double common) {
    DecayFitTable table;
    if (!ReadDecayFitTable(in, err, prefix, table)) return false;
    const DecayFitOutcome outcome = He3DecayFit(table.t, table.PHe, table.sigmaPHe, common);
    if (!outcome.fit) {
        err << prefix << "he3-decay-fit: " << DecayFitErrorText(outcome.error, table.lines) << '\n';
        return false;
    }
    const DecayFit& f = *outcome.fit;
    if (const std::string note = f.Note(); !note.empty()) err << prefix << "note: " << note << '\n';
    Writer writer(out);
    writer << kDecayFitResultHeader << kLineEnd;
    for (double x : {f.PHe0, f.T1, f.sigmaPHe0, f.sigmaT1, f.rho, f.reduced_chi_square})
        writer << ValueText(x) << ",";
    writer << std::to_string(f.n) << kLineEnd;
    writer.Flush();
    return true;
}

}  // namespace vantrel::helium3
