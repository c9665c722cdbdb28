#include "vantrel/function_table.h"

#include <algorithm>
#include <istream>
#include <new>
#include <optional>
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

// A table's header: the columns of the function's arguments in it, and the
// name its value column gets.
struct Header {
    std::size_t fields = 0;
    std::vector<std::size_t> columns;
    std::string column;
};

// The first record that is not blank, read as the header; nothing after
// reporting why it cannot be.
std::optional<Header> ReadHeader(const CatalogueEntry& entry, CsvReader& reader, CsvRecord& record,
                                 std::ostream& err, std::string_view prefix) {
    // Blank lines before the header are skipped, as they are elsewhere.
    bool found = false;
    while ((found = reader.Next(record)) && IsBlank(record.raw)) {
    }
    if (!found) {
        err << prefix << "the CSV input is empty; its first line must name the arguments: "
            << entry.argumentList << '\n';
        return std::nullopt;
    }
    const std::vector<std::string> fields = record.Fields();
    const std::vector<std::string_view> names = entry.ArgumentNames();
    CsvColumns named = FindCsvColumns(record, names, reader.HadByteOrderMark(), entry.signature);
    if (!named.problem.empty()) {
        err << prefix << named.problem << '\n';
        return std::nullopt;
    }
    // The value column gets a name of its own, also when the input has the
    // function's name already (the output of an earlier run, say).
    std::string column(entry.name);
    for (int n = 2; HasColumn(fields, column); ++n)
        column = std::string(entry.name) + "_" + std::to_string(n);
    return Header{fields.size(), std::move(named.columns), std::move(column)};
}

// The records up to the end of `reader`, each written with its value as soon
// as it is read. False after reporting a bad record.
bool StreamRows(const CatalogueEntry& entry, const Header& header, CsvReader& reader,
                CsvRecord& record, Writer& out, std::ostream& err, std::string_view prefix,
                Progress& progress) {
    const std::vector<std::string_view> names = entry.ArgumentNames();
    const std::vector<std::size_t>& columns = header.columns;
    std::vector<double> arguments(names.size());
    // What follows a record's text: the comma, the value and the line end,
    // made in place and written in one piece after the record's own.
    char tail[1 + kValueTextSize + kLineEnd.size()];
    tail[0] = ',';
    while (reader.Next(record)) {
        if (IsBlank(record.raw)) continue;
        if (record.FieldCount() != header.fields) {
            err << prefix << "line " << record.line << ": " << record.FieldCount() << " field"
                << (record.FieldCount() == 1 ? "" : "s") << ", but the header has " << header.fields
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

// `run` over the table, with what stops it reported as every front end
// reports it; the rows before a stop are kept.
template <typename Run>
bool Reported(std::ostream& out, std::ostream& err, std::string_view prefix, Progress& progress,
              Run run) {
    Writer writer(out);
    CsvRecord record;
    bool done = false;
    try {
        try {
            done = run(writer, record);
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

}  // namespace

bool EvaluateCsv(const CatalogueEntry& entry, std::istream& in, std::ostream& out,
                 std::ostream& err, std::string_view prefix) {
    CsvReader reader(in);
    Progress progress;
    return Reported(out, err, prefix, progress, [&](Writer& writer, CsvRecord& record) {
        const std::optional<Header> header = ReadHeader(entry, reader, record, err, prefix);
        if (!header) return false;
        if (header->column != entry.name) {
            err << prefix << "note: the input has a column " << entry.name
                << " already; the values go to column " << header->column << '\n';
        }
        if (reader.HadByteOrderMark()) writer << CsvReader::kByteOrderMark;
        writer << record.raw << "," << header->column << kLineEnd;
        progress.header = true;
        return StreamRows(entry, *header, reader, record, writer, err, prefix, progress);
    });
}

bool EvaluateCsvPart(const CatalogueEntry& entry, std::istream& headerIn, std::istream& in,
                     std::ostream& out, std::ostream& err, std::string_view prefix, CsvPart part) {
    Progress progress;
    return Reported(out, err, prefix, progress, [&](Writer& writer, CsvRecord& record) {
        CsvReader headerReader(headerIn);
        const std::optional<Header> header = ReadHeader(entry, headerReader, record, err, prefix);
        if (!header) return false;
        progress = {true, part.rowsBefore};
        CsvReader reader(in, part.firstLine);
        return StreamRows(entry, *header, reader, record, writer, err, prefix, progress);
    });
}

}  // namespace vantrel
