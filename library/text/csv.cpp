#include "csv.h"

namespace vantrel::cli {

bool CsvReader::Next(CsvRecord& record) {
    using Traits = std::char_traits<char>;
    const Traits::int_type eof = Traits::eof();
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
    if (Traits::eq_int_type(in_.sgetc(), eof)) return false;

    record.raw.clear();
    record.line = line_;
    std::size_t used = 0;
    const auto nextField = [&record, &used]() -> std::string& {
        if (used == record.fields.size()) record.fields.emplace_back();
        std::string& field = record.fields[used++];
        field.clear();
        return field;
    };
    const auto next = [this](char c) {
        return Traits::eq_int_type(in_.sgetc(), Traits::to_int_type(c));
    };

    std::string* field = &nextField();
    bool atFieldStart = true;
    bool inQuotes = false;
    bool closed = false;  // the field's closing quote has been read
    for (;;) {
        const Traits::int_type got = in_.sbumpc();
        if (Traits::eq_int_type(got, eof)) {
            if (inQuotes)
                throw CsvError(record.line,
                               "a quoted field is not closed before the end of the input");
            break;
        }
        const char c = Traits::to_char_type(got);
        if (inQuotes) {
            if (c == '"' && next('"')) {
                in_.sbumpc();
                record.raw += "\"\"";
                *field += '"';
            } else if (c == '"') {
                inQuotes = false;
                closed = true;
                record.raw += c;
            } else {
                if (c == '\n') ++line_;
                record.raw += c;
                *field += c;
            }
            continue;
        }
        if (c == '\n' || (c == '\r' && next('\n'))) {
            if (c == '\r') in_.sbumpc();
            ++line_;
            break;
        }
        record.raw += c;
        if (c == ',') {
            field = &nextField();
            atFieldStart = true;
            closed = false;
        } else if (c == '"' && atFieldStart) {
            inQuotes = true;
            atFieldStart = false;
        } else if (closed && c != ' ' && c != '\t') {
            throw CsvError(record.line, "text after the closing quote of a field");
        } else if (!closed) {
            *field += c;
            atFieldStart = false;
        }
    }
    record.fields.resize(used);
    return true;
}

}  // namespace vantrel::cli
