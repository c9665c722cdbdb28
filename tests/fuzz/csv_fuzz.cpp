// Fuzz target for the library's readers, as the command-line tool runs them:
// any bytes go through `vantrel NAME --csv -` as a CSV, and every field
// through the number parser.
//
// The input is read a second time here, by a reference reading of the same
// rules written independently (on the whole text at once, where the tool
// streams), which predicts the outcome exactly: either every record comes out
// once, as the very bytes it was in the input, with its value appended, and
// the status is 0; or the rows before the first bad record come out, followed
// by one message that names the line (or the header) and says how far the
// output got, and the status is 1. The function is the one with the most
// arguments that the header names (CountRate if it names none), so that the
// seeds' headers reach the rows.
//
// Every field must also parse as the C library parses it, where both accept
// the whole text, and what is printed must read back to the same bits.
// Built with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer; a
// broken promise aborts with its name.
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "vantrel/catalogue.h"
#include "vantrel/number_text.h"

namespace {

using namespace vantrel;
using namespace vantrel::cli;

[[noreturn]] void Broken(const char* promise, int line) {
    std::fprintf(stderr, "broken promise (csv_fuzz.cpp:%d): %s\n", line, promise);
    std::abort();
}
#define PROMISE(condition) ((condition) ? void(0) : Broken(#condition, __LINE__))

// ---- The reference reading -------------------------------------------------------

struct Record {
    std::string_view raw;  // the bytes of the input, without the line end
    std::vector<std::string> fields;
    std::size_t line = 0;
};

struct Reading {
    bool byteOrderMark = false;
    std::vector<Record> records;           // those before a quoting error
    std::optional<std::size_t> errorLine;  // where reading stops with one
};

constexpr std::string_view kMark = "\xEF\xBB\xBF";

Reading Read(std::string_view text) {
    Reading reading;
    std::size_t marked = 0;
    while (marked < kMark.size() && marked < text.size() && text[marked] == kMark[marked]) ++marked;
    if (marked == kMark.size()) {
        reading.byteOrderMark = true;
    } else if (marked != 0) {
        reading.errorLine = 1;
        return reading;
    }
    std::size_t at = marked, line = 1;
    while (at < text.size()) {
        Record record;
        record.line = line;
        const std::size_t start = at;
        std::size_t end = text.size();
        std::string field;
        bool quoted = false, closed = false, fieldStart = true;
        for (;;) {
            if (at == text.size()) {
                if (quoted) {
                    reading.errorLine = record.line;
                    return reading;
                }
                break;
            }
            const char c = text[at];
            if (quoted) {
                if (c == '"' && at + 1 < text.size() && text[at + 1] == '"') {
                    field += '"';
                    at += 2;
                    continue;
                }
                if (c == '"') {
                    quoted = false;
                    closed = true;
                } else {
                    line += c == '\n';
                    field += c;
                }
                ++at;
                continue;
            }
            const bool crlf = c == '\r' && at + 1 < text.size() && text[at + 1] == '\n';
            if (c == '\n' || crlf) {
                end = at;
                at += crlf ? 2 : 1;
                ++line;
                break;
            }
            ++at;
            if (c == ',') {
                record.fields.push_back(std::move(field));
                field.clear();
                fieldStart = true;
                closed = false;
            } else if (c == '"' && fieldStart) {
                quoted = true;
                fieldStart = false;
            } else if (closed) {
                if (c != ' ' && c != '\t') {
                    reading.errorLine = record.line;
                    return reading;
                }
            } else {
                field += c;
                fieldStart = false;
            }
        }
        record.fields.push_back(std::move(field));
        record.raw = text.substr(start, end - start);
        reading.records.push_back(std::move(record));
    }
    return reading;
}

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool Blank(std::string_view raw) { return Trim(raw).empty(); }

// A header in UTF-16 (by its mark, or ASCII names with a NUL in every other
// byte), or with a carriage return that ends no line: refused whatever it names.
bool Unreadable(std::string_view raw) {
    if (raw.starts_with("\xFF\xFE") || raw.starts_with("\xFE\xFF")) return true;
    if (raw.size() >= 2) {
        bool oddNul = true, evenNul = true;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            const bool nul = raw[i] == '\0';
            oddNul = oddNul && nul == (i % 2 == 1);
            evenNul = evenNul && nul == (i % 2 == 0);
        }
        if (oddNul || evenNul) return true;
    }
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && (i + 1 == raw.size() || raw[i + 1] != '\n')) return true;
    }
    return false;
}

bool Names(const std::vector<std::string>& header, std::string_view name) {
    for (const std::string& field : header) {
        if (Trim(field) == name) return true;
    }
    return false;
}

// The function with the most arguments that the header names, the first of
// the catalogue among equals; CountRate if the header names none.
const CatalogueEntry& Choose(const std::vector<std::string>* header) {
    const CatalogueEntry* chosen = &Catalogue()[0];
    if (header == nullptr) return *chosen;
    std::size_t most = 0;
    for (const CatalogueEntry& entry : Catalogue()) {
        bool all = true;
        for (std::string_view name : entry.ArgumentNames()) all = all && Names(*header, name);
        if (all && entry.argumentCount > most) {
            most = entry.argumentCount;
            chosen = &entry;
        }
    }
    return *chosen;
}

// ---- The predicted outcome -------------------------------------------------------

struct Outcome {
    int status = kSuccess;
    std::string out;
    std::string where;  // what the message must name: "line 7" or "header"
    std::size_t headerLine = 0;
    bool headerWritten = false;
    std::size_t rows = 0;
    bool note = false;  // the value column was renamed
};

Outcome Predict(const CatalogueEntry& entry, const Reading& reading) {
    Outcome outcome;
    const auto fail = [&outcome](std::string where) {
        outcome.status = kBadInput;
        outcome.where = std::move(where);
        return outcome;
    };
    std::size_t next = 0;
    while (next < reading.records.size() && Blank(reading.records[next].raw)) ++next;
    if (next == reading.records.size()) {
        return reading.errorLine ? fail("line " + std::to_string(*reading.errorLine) + ": ")
                                 : fail("empty");
    }
    const Record& header = reading.records[next++];
    outcome.headerLine = header.line;
    if (Unreadable(header.raw)) return fail("line " + std::to_string(header.line) + ": the CSV ");

    std::vector<std::size_t> columns;
    for (std::string_view name : entry.ArgumentNames()) {
        std::size_t found = header.fields.size(), count = 0;
        for (std::size_t c = 0; c < header.fields.size(); ++c) {
            if (Trim(header.fields[c]) == name && count++ == 0) found = c;
        }
        if (count != 1) return fail("header");
        columns.push_back(found);
    }
    std::string column(entry.name);
    for (int n = 2; Names(header.fields, column); ++n)
        column = std::string(entry.name) + "_" + std::to_string(n);
    outcome.note = column != entry.name;

    if (reading.byteOrderMark) outcome.out += kMark;
    outcome.out += std::string(header.raw) + "," + column + "\n";
    outcome.headerWritten = true;

    std::vector<double> arguments(columns.size());
    for (; next < reading.records.size(); ++next) {
        const Record& record = reading.records[next];
        if (Blank(record.raw)) continue;
        if (record.fields.size() != header.fields.size())
            return fail("line " + std::to_string(record.line) + ": ");
        for (std::size_t k = 0; k < columns.size(); ++k) {
            const ParsedNumber parsed = ParseNumber(record.fields[columns[k]]);
            if (parsed.error) {
                return fail("line " + std::to_string(record.line) + ", column " +
                            std::to_string(columns[k] + 1) + " (" +
                            std::string(entry.ArgumentNames()[k]) + "): ");
            }
            arguments[k] = parsed.value;
        }
        outcome.out += std::string(record.raw) + "," + ValueText(Evaluate(entry, arguments)) + "\n";
        ++outcome.rows;
    }
    if (reading.errorLine) return fail("line " + std::to_string(*reading.errorLine) + ": ");
    return outcome;
}

// ---- The number parser -----------------------------------------------------------

std::uint64_t Bits(double value) { return std::bit_cast<std::uint64_t>(value); }

void CheckNumber(const std::string& field) {
    const ParsedNumber parsed = ParseNumber(field);
    if (!parsed.error && !std::isnan(parsed.value)) {
        const ParsedNumber back = ParseNumber(ValueText(parsed.value));
        PROMISE(!back.error && Bits(back.value) == Bits(parsed.value));
    }
    // strtod, where it takes the whole text, agrees; it also skips other
    // white space, which the tool does not.
    const std::string text(Trim(field));
    if (text.empty() || text.find('\0') != std::string::npos ||
        std::isspace(static_cast<unsigned char>(text[0]))) {
        return;
    }
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    const bool whole = end == text.c_str() + text.size();
    if (!parsed.error) {
        PROMISE(whole);
        PROMISE(std::isnan(parsed.value) ? std::isnan(value) : Bits(value) == Bits(parsed.value));
    } else if (*parsed.error == NumberError::kOutOfRange) {
        PROMISE(whole && errno == ERANGE && (std::isinf(value) || value == 0.0));
    } else {
        PROMISE(!whole);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const Reading reading = Read(input);

    const Record* header = nullptr;
    for (const Record& record : reading.records) {
        if (!Blank(record.raw)) {
            header = &record;
            break;
        }
    }
    const CatalogueEntry& entry = Choose(header ? &header->fields : nullptr);
    const Outcome expected = Predict(entry, reading);

    std::istringstream in(input);
    std::ostringstream out, err;
    const std::vector<std::string_view> args = {entry.name, "--csv", "-"};
    const int status = Run(args, in, out, err);

    PROMISE(status == expected.status);
    PROMISE(out.str() == expected.out);
    const std::string messages = err.str();
    std::string_view message = messages;
    const std::string_view note = "vantrel: note: ";
    PROMISE(message.starts_with(note) == expected.note);
    if (expected.note) message.remove_prefix(message.find('\n') + 1);
    if (status == kSuccess) {
        PROMISE(message.empty());
    } else {
        // One line, of a bounded length however long the input's fields.
        PROMISE(message.starts_with("vantrel: ") && message.find('\n') == message.size() - 1);
        PROMISE(message.size() < 400);
        if (expected.where == "header") {
            // Or the cause, where the header visibly holds what it lacks (a NUL, a
            // second byte-order mark).
            PROMISE(message.starts_with("vantrel: the CSV header ") ||
                    message.starts_with("vantrel: line " + std::to_string(expected.headerLine) +
                                        ": the CSV "));
        } else if (expected.where == "empty") {
            PROMISE(message.starts_with("vantrel: the CSV input is empty"));
        } else {
            PROMISE(message.starts_with("vantrel: " + expected.where));
        }
        std::string stopped;
        if (expected.headerWritten) {
            stopped = "; stopped after the header";
            if (expected.rows > 0) {
                stopped += " and " + std::to_string(expected.rows) +
                           (expected.rows == 1 ? " row" : " rows");
            }
        }
        PROMISE(message.ends_with(stopped + "\n"));
    }

    std::size_t checked = 0;
    for (const Record& record : reading.records) {
        for (const std::string& field : record.fields) {
            if (++checked > 256) return 0;
            CheckNumber(field);
        }
    }
    return 0;
}
