#include "vantrel/csv.h"

#include <algorithm>

#include "vantrel/number_text.h"
#include "vantrel/quote.h"

namespace vantrel {

bool CsvReader::Fill() {
    using Traits = std::char_traits<char>;
    if (Traits::eq_int_type(in_.sgetc(), Traits::eof())) return false;
    if (block_.empty()) block_.resize(kBlock);
    // What the buffer holds (one byte at least, after sgetc): taking more
    // could wait for input the record does not need.
    const std::streamsize held =
        std::clamp<std::streamsize>(in_.in_avail(), 1, static_cast<std::streamsize>(block_.size()));
    const std::streamsize got = in_.sgetn(block_.data(), held);
    taken_ = 0;
    held_ = got > 0 ? static_cast<std::size_t>(got) : 0;
    return held_ != 0;
}

std::char_traits<char>::int_type CsvReader::Peek() {
    using Traits = std::char_traits<char>;
    if (taken_ == held_ && !Fill()) return Traits::eof();
    return Traits::to_int_type(block_[taken_]);
}

bool CsvReader::Next(CsvRecord& record) {
    using Traits = std::char_traits<char>;
    if (!started_) {
        started_ = true;
        std::size_t matched = 0;
        while (matched < kByteOrderMark.size() &&
               Traits::eq_int_type(in_.sgetc(), Traits::to_int_type(kByteOrderMark[matched]))) {
            in_.sbumpc();
            ++matched;
        }
        if (matched != 0 && matched != kByteOrderMark.size()) {
            throw CsvError(1, "the input starts with a broken byte-order mark");
        }
        byteOrderMark_ = matched != 0;
    }
    if (taken_ == held_ && !Fill()) return false;

    record.raw.clear();
    record.unquoted_.clear();
    record.fields_.clear();
    record.line = line_;
    // A record without quotes whole in the block, as most are: its text at
    // once, and its fields the parts between commas.
    {
        const char* const from = block_.data() + taken_;
        const char* const to = block_.data() + held_;
        const char* const end =
            std::find_if(from, to, [](char c) { return c == '\n' || c == '"'; });
        if (end != to && *end == '\n') {
            const char* const last = end != from && end[-1] == '\r' ? end - 1 : end;
            record.raw.assign(from, static_cast<std::size_t>(last - from));
            for (const char* start = from;; ++start) {
                const char* const comma = std::find(start, last, ',');
                record.fields_.push_back({static_cast<std::size_t>(start - from),
                                          static_cast<std::size_t>(comma - start), false});
                if (comma == last) break;
                start = comma;
            }
            taken_ += static_cast<std::size_t>(end + 1 - from);
            ++line_;
            return true;
        }
    }
    const auto next = [this](char c) {
        return Traits::eq_int_type(Peek(), Traits::to_int_type(c));
    };
    // Bytes that end or open nothing outside quotes.
    const auto plain = [](char c) { return c != ',' && c != '\n' && c != '\r' && c != '"'; };

    // The field under way: where it starts in raw, or in unquoted_ once it
    // turns out quoted.
    std::size_t fieldStart = 0;
    bool quoted = false;
    const auto endField = [&record, &fieldStart, &quoted]() {
        const std::string& text = quoted ? record.unquoted_ : record.raw;
        record.fields_.push_back({fieldStart, text.size() - fieldStart, quoted});
    };
    bool atFieldStart = true;
    bool inQuotes = false;
    bool closed = false;  // the field's closing quote has been read
    for (;;) {
        if (taken_ == held_ && !Fill()) {
            if (inQuotes)
                throw CsvError(record.line,
                               "a quoted field is not closed before the end of the input");
            break;
        }
        // The field's text up to the next byte that may end it, at once.
        const char* const from = block_.data() + taken_;
        const char* const to = block_.data() + held_;
        const char* run = from;
        if (inQuotes) {
            run = std::find(from, to, '"');
            line_ += static_cast<std::size_t>(std::count(from, run, '\n'));
        } else if (!closed) {
            run = std::find_if_not(from, to, plain);
        }
        if (run != from) {
            // By length: some standard libraries copy a pair of pointers byte by byte.
            const auto length = static_cast<std::size_t>(run - from);
            record.raw.append(from, length);
            if (inQuotes) record.unquoted_.append(from, length);
            atFieldStart = false;
            taken_ += length;
            continue;
        }
        // One byte that may end or open something.
        const char c = block_[taken_++];
        if (inQuotes) {  // c is a quote: the runs take the rest
            if (next('"')) {
                ++taken_;
                record.raw += "\"\"";
                record.unquoted_ += '"';
            } else {
                inQuotes = false;
                closed = true;
                record.raw += c;
            }
            continue;
        }
        if (c == '\n' || (c == '\r' && next('\n'))) {
            if (c == '\r') ++taken_;
            ++line_;
            break;
        }
        if (c == ',') {
            endField();
            record.raw += c;
            fieldStart = record.raw.size();
            quoted = false;
            atFieldStart = true;
            closed = false;
            continue;
        }
        record.raw += c;
        if (c == '"' && atFieldStart) {
            inQuotes = true;
            quoted = true;
            fieldStart = record.unquoted_.size();
            atFieldStart = false;
        } else if (closed && c != ' ' && c != '\t') {
            throw CsvError(record.line, "text after the closing quote of a field");
        } else if (!closed) {
            atFieldStart = false;
        }
    }
    endField();
    return true;
}

std::vector<std::string> CsvRecord::Fields() const {
    std::vector<std::string> fields;
    fields.reserve(FieldCount());
    for (std::size_t i = 0; i < FieldCount(); ++i) fields.emplace_back(Field(i));
    return fields;
}

namespace {

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

}  // namespace

std::optional<std::string> UnreadableCsvHeader(std::string_view raw) {
    return UnreadableHeader(raw);
}

CsvColumns FindCsvColumns(const CsvRecord& record, std::span<const std::string_view> names,
                          bool marked, std::string_view whose) {
    const std::vector<std::string> header = record.Fields();
    const std::string line = "line " + std::to_string(record.line) + ": ";
    if (const std::optional<std::string> cause = UnreadableHeader(record.raw))
        return {{}, line + *cause};
    std::vector<std::size_t> columns;
    std::string missing;
    for (std::string_view name : names) {
        std::size_t found = header.size();
        for (std::size_t c = 0; c < header.size(); ++c) {
            if (TrimBlanks(header[c]) != name) continue;
            if (found != header.size()) {
                return {{},
                        "the CSV header names " + std::string(name) + " twice (columns " +
                            std::to_string(found + 1) + " and " + std::to_string(c + 1) + ")"};
            }
            found = c;
        }
        if (found == header.size()) missing += (missing.empty() ? "" : ", ") + std::string(name);
        columns.push_back(found);
    }
    if (missing.empty()) return {std::move(columns), {}};

    const std::string lacks = std::string(missing.find(',') == std::string::npos ? " " : "s ") +
                              missing + " of " + std::string(whose);
    if (const std::optional<std::string> cause = HiddenInHeader(record.raw, marked))
        return {{}, line + *cause + "; so it lacks the column" + lacks};
    if (header.size() == 1 && names.size() > 1) {
        // Most often another separator: a spreadsheet set to a language whose
        // decimal mark is the comma writes ';'.
        std::string problem = "the CSV header was read as one column, " + Quote(header[0]) +
                              ", which lacks the column" + lacks +
                              ": columns are separated by commas";
        for (const std::string_view separator : {"';'", "tabs", "'|'"}) {
            if (header[0].find(separator == "tabs" ? '\t' : separator[1]) != std::string::npos) {
                problem += ", not by " + std::string(separator);
                break;
            }
        }
        return {{}, problem};
    }
    return {{}, "the CSV header lacks the column" + lacks + " (names are case-sensitive)"};
}

}  // namespace vantrel
