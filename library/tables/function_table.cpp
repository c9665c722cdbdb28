#include "vantrel/function_table.h"

#include <algorithm>
#include <istream>
#include <new>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "vantrel/csv.h"
#include "vantrel/number_text.h"
#include "vantrel/quote.h"
#include "vantrel/text_io.h"

namespace vantrel {

namespace {

bool IsBlank(std::string_view record) { return TrimBlanks(record).empty(); }

bool HasColumn(const std::vector<std::string>& header, std::string_view name) {
    return std::any_of(header.begin(), header.end(),
                       [name](const std::string& field) { return TrimBlanks(field) == name; });
}

// What a CSV run has written, for the message that stops it.
struct Progress {
    bool header = false;
    std::size_t rows = 0;

    std::string Stopped() const {
        if (!header) return "";
        if (rows == 0) return "; stopped after the header";
        return "; stopped after the header and " + std::to_string(rows) +
               (rows == 1 ? " row" : " rows");
    }
};

// The records after the header, each written with its value as soon as it is
// read. False after reporting a bad record.
bool StreamRows(const CatalogueEntry& entry, CsvReader& reader, CsvRecord& record, Writer& out,
                std::ostream& err, std::string_view prefix, Progress& progress) {
    // Blank lines before the header are skipped, as they are elsewhere.
    bool found = false;
    while ((found = reader.Next(record)) && IsBlank(record.raw)) {
    }
    if (!found) {
        err << prefix << "the CSV input is empty; its first line must name the arguments: "
            << entry.argumentList << '\n';
        return false;
    }
    const std::vector<std::string> header = record.Fields();
    const std::vector<std::string_view> names = entry.ArgumentNames();
    const CsvColumns named =
        FindCsvColumns(record, names, reader.HadByteOrderMark(), entry.signature);
    if (!named.problem.empty()) {
        err << prefix << named.problem << '\n';
        return false;
    }
    const std::vector<std::size_t>& columns = named.columns;

    // The value column gets a name of its own, also when the input has the
    // function's name already (the output of an earlier run, say).
    std::string column(entry.name);
    for (int n = 2; HasColumn(header, column); ++n)
        column = std::string(entry.name) + "_" + std::to_string(n);
    if (column != entry.name) {
        err << prefix << "note: the input has a column " << entry.name
            << " already; the values go to column " << column << '\n';
    }

    if (reader.HadByteOrderMark()) out << CsvReader::kByteOrderMark;
    out << record.raw << "," << column << kLineEnd;
    progress.header = true;

    std::vector<double> arguments(names.size());
    // What follows a record's text: the comma, the value and the line end,
    // made in place and written in one piece after the record's own.
    char tail[1 + kValueTextSize + kLineEnd.size()];
    tail[0] = ',';
    while (reader.Next(record)) {
        if (IsBlank(record.raw)) continue;
        if (record.FieldCount() != header.size()) {
            err << prefix << "line " << record.line << ": " << record.FieldCount() << " field"
                << (record.FieldCount() == 1 ? "" : "s") << ", but the header has " << header.size()
                << progress.Stopped() << '\n';
            return false;
        }
        for (std::size_t k = 0; k < names.size(); ++k) {
            const std::string_view text = record.Field(columns[k]);
            const ParsedNumber parsed = ParseNumber(text);
            if (parsed.error) {
                err << prefix << "line " << record.line << ", column " << columns[k] + 1 << " ("
                    << names[k] << "): " << Quote(text) << NumberProblem(*parsed.error)
                    << progress.Stopped() << '\n';
                return false;
            }
            arguments[k] = parsed.value;
        }
        const char* const end = std::copy(kLineEnd.begin(), kLineEnd.end(),
                                          WriteValueText(Evaluate(entry, arguments), tail + 1));
        out << record.raw << std::string_view(tail, static_cast<std::size_t>(end - tail));
        ++progress.rows;
    }
    return true;
}

}  // namespace

bool EvaluateCsv(const CatalogueEntry& entry, std::istream& in, std::ostream& out,
                 std::ostream& err, std::string_view prefix) {
    Writer writer(out);
    CsvReader reader(in);
    CsvRecord record;
    Progress progress;
    bool done = false;
    try {
        try {
            done = StreamRows(entry, reader, record, writer, err, prefix, progress);
        } catch (const CsvError& e) {
            err << prefix << "line " << e.line() << ": " << e.what() << progress.Stopped() << '\n';
        } catch (const IoError& e) {
            if (e.side() == IoError::Side::kOutput) throw;
            err << prefix << e.what() << progress.Stopped() << '\n';
        } catch (const std::bad_alloc&) {
            // A record is held whole: one of gigabytes may not fit.
            err << prefix << "line " << record.line << ": the record does not fit in memory"
                << progress.Stopped() << '\n';
        }
        // Also after a bad record: the rows before it are kept.
        writer.Flush();
    } catch (const IoError& e) {
        err << prefix << e.what() << '\n';
        return false;
    }
    return done;
}

}  // namespace vantrel
