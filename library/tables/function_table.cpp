#include "csv_stream.h"

#include <algorithm>
#include <istream>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli.h"
#include "csv.h"
#include "messages.h"
#include "numbers.h"
#include "output.h"
#include "vantrel/number_text.h"

namespace vantrel::cli {

namespace {

bool IsBlank(std::string_view record) { return TrimBlanks(record).empty(); }

bool HasColumn(const std::vector<std::string>& header, std::string_view name) {
    return std::any_of(header.begin(), header.end(),
                       [name](const std::string& field) { return TrimBlanks(field) == name; });
}

std::string Utf16(bool littleEndian, std::string_view known) {
    return std::string("the CSV text is UTF-16 (") + (littleEndian ? "little" : "big") +
           "-endian, " + std::string(known) + "); the tool reads UTF-8: save it as UTF-8";
}

// A header that cannot have been read as it was meant, whatever columns it
// seems to hold: the records after it would be misread as well.
std::optional<std::string> UnreadableHeader(std::string_view raw) {
    // The byte-order marks of UTF-16, bytes that UTF-8 never holds.
    if (raw.starts_with("\xFF\xFE") || raw.starts_with("\xFE\xFF"))
        return Utf16(raw[0] == '\xFF', "by its byte-order mark");
    // UTF-16 of ASCII names: every other byte is NUL.
    for (const std::size_t parity : {std::size_t{1}, std::size_t{0}}) {
        bool utf16 = raw.size() >= 2;
        for (std::size_t i = 0; i < raw.size() && utf16; ++i)
            utf16 = (raw[i] == '\0') == (i % 2 == parity);
        if (utf16) return Utf16(parity == 1, "without a byte-order mark");
    }
    for (std::size_t r = raw.find('\r'); r != std::string_view::npos; r = raw.find('\r', r + 1)) {
        if (r + 1 == raw.size() || raw[r + 1] != '\n') {
            return "the CSV header holds a carriage return alone (CR), which ends no line; the "
                   "tool reads lines that end in LF or CR LF, not in CR as old Mac files do";
        }
    }
    return std::nullopt;
}

// Why a header lacks columns it may visibly hold. `marked`: the input started
// with a byte-order mark, which the reader has taken.
std::optional<std::string> HiddenInHeader(std::string_view raw, bool marked) {
    if (raw.starts_with(CsvReader::kByteOrderMark)) {
        return std::string(marked ? "the CSV text starts with two byte-order marks, and the second"
                                  : "the CSV header starts with a byte-order mark, which") +
               " is read as part of the first column's name, " +
               Quote(raw.substr(0, raw.find(',')));
    }
    if (const std::size_t nul = raw.find('\0'); nul != std::string_view::npos) {
        return "the CSV header holds a NUL byte, at byte " + std::to_string(nul + 1) + ": " +
               Quote(raw);
    }
    return std::nullopt;
}

// The column of each argument, in call order; or a message naming what is
// missing or repeated.
std::optional<std::vector<std::size_t>> ArgumentColumns(const CatalogueEntry& entry,
                                                        const CsvRecord& record, bool marked,
                                                        std::ostream& err) {
    const std::vector<std::string>& header = record.fields;
    if (const std::optional<std::string> cause = UnreadableHeader(record.raw)) {
        Message(err) << "line " << record.line << ": " << *cause << '\n';
        return std::nullopt;
    }
    std::vector<std::size_t> columns;
    std::string missing;
    for (std::string_view name : entry.ArgumentNames()) {
        std::size_t found = header.size();
        for (std::size_t c = 0; c < header.size(); ++c) {
            if (TrimBlanks(header[c]) != name) continue;
            if (found != header.size()) {
                Message(err) << "the CSV header names " << name << " twice (columns " << found + 1
                             << " and " << c + 1 << ")\n";
                return std::nullopt;
            }
            found = c;
        }
        if (found == header.size()) missing += (missing.empty() ? "" : ", ") + std::string(name);
        columns.push_back(found);
    }
    if (missing.empty()) return columns;

    const char* plural = missing.find(',') == std::string::npos ? " " : "s ";
    if (const std::optional<std::string> cause = HiddenInHeader(record.raw, marked)) {
        Message(err) << "line " << record.line << ": " << *cause << "; so it lacks the column"
                     << plural << missing << " of " << entry.signature << '\n';
        return std::nullopt;
    }
    if (header.size() == 1 && entry.argumentCount > 1) {
        // Most often another separator: a spreadsheet set to a language whose
        // decimal mark is the comma writes ';'.
        Message(err) << "the CSV header was read as one column, " << Quote(header[0])
                     << ", which lacks the column" << plural << missing << " of " << entry.signature
                     << ": columns are separated by commas";
        for (const std::string_view separator : {"';'", "tabs", "'|'"}) {
            if (header[0].find(separator == "tabs" ? '\t' : separator[1]) != std::string::npos) {
                err << ", not by " << separator;
                break;
            }
        }
        err << '\n';
        return std::nullopt;
    }
    Message(err) << "the CSV header lacks the column" << plural << missing << " of "
                 << entry.signature << " (names are case-sensitive)\n";
    return std::nullopt;
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
// read. Returns kBadInput after reporting a bad record.
int StreamRows(const CatalogueEntry& entry, CsvReader& reader, CsvRecord& record, Writer& out,
               std::ostream& err, Progress& progress) {
    // Blank lines before the header are skipped, as they are elsewhere.
    bool found = false;
    while ((found = reader.Next(record)) && IsBlank(record.raw)) {
    }
    if (!found) {
        Message(err) << "the CSV input is empty; its first line must name the arguments: "
                     << entry.argumentList << '\n';
        return kBadInput;
    }
    const std::vector<std::string> header = record.fields;
    const std::optional<std::vector<std::size_t>> columns =
        ArgumentColumns(entry, record, reader.HadByteOrderMark(), err);
    if (!columns) return kBadInput;

    // The value column gets a name of its own, also when the input has the
    // function's name already (the output of an earlier run, say).
    std::string column(entry.name);
    for (int n = 2; HasColumn(header, column); ++n)
        column = std::string(entry.name) + "_" + std::to_string(n);
    if (column != entry.name) {
        Message(err) << "note: the input has a column " << entry.name
                     << " already; the values go to column " << column << '\n';
    }

    if (reader.HadByteOrderMark()) out << CsvReader::kByteOrderMark;
    out << record.raw << "," << column << kLineEnd;
    progress.header = true;

    const std::vector<std::string_view> names = entry.ArgumentNames();
    std::vector<double> arguments(names.size());
    while (reader.Next(record)) {
        if (IsBlank(record.raw)) continue;
        if (record.fields.size() != header.size()) {
            Message(err) << "line " << record.line << ": " << record.fields.size() << " field"
                         << (record.fields.size() == 1 ? "" : "s") << ", but the header has "
                         << header.size() << progress.Stopped() << '\n';
            return kBadInput;
        }
        for (std::size_t k = 0; k < names.size(); ++k) {
            const std::string& text = record.fields[(*columns)[k]];
            const ParsedNumber parsed = ParseNumber(text);
            if (parsed.error) {
                Message(err) << "line " << record.line << ", column " << (*columns)[k] + 1 << " ("
                             << names[k] << "): " << Quote(text) << NumberProblem(*parsed.error)
                             << progress.Stopped() << '\n';
                return kBadInput;
            }
            arguments[k] = parsed.value;
        }
        out << record.raw << "," << ValueText(Evaluate(entry, arguments)) << kLineEnd;
        ++progress.rows;
    }
    return kSuccess;
}

}  // namespace

int EvaluateCsv(const CatalogueEntry& entry, std::istream& in, std::ostream& out,
                std::ostream& err) {
    Writer writer(out);
    CsvReader reader(in);
    CsvRecord record;
    Progress progress;
    int status = kBadInput;
    try {
        try {
            status = StreamRows(entry, reader, record, writer, err, progress);
        } catch (const CsvError& e) {
            Message(err) << "line " << e.line() << ": " << e.what() << progress.Stopped() << '\n';
        } catch (const IoError& e) {
            if (e.side() == IoError::Side::kOutput) throw;
            Message(err) << e.what() << progress.Stopped() << '\n';
        } catch (const std::bad_alloc&) {
            // A record is held whole: one of gigabytes may not fit.
            Message(err) << "line " << record.line << ": the record does not fit in memory"
                         << progress.Stopped() << '\n';
        }
        // Also after a bad record: the rows before it are kept.
        writer.Flush();
    } catch (const IoError& e) {
        Message(err) << e.what() << '\n';
        return kBadInput;
    }
    return status;
}

}  // namespace vantrel::cli
