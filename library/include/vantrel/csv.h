// Comma-separated records read one at a time from a stream, so that input of
// any length passes through in constant memory; and the columns of a header
// found by name, with every way a header can be misread named.
#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// Malformed quoting, with the line where the record starts.
class CsvError : public std::runtime_error {
public:
    CsvError(std::size_t line, const std::string& what) : std::runtime_error(what), line_(line) {}
    std::size_t line() const noexcept { return line_; }

private:
    std::size_t line_;
};

// A record's fields are parts of its text where they are not quoted, so that
// reading one copies nothing; only a quoted field's text is kept apart.
struct CsvRecord {
    std::string raw;       // the record as written, without its line end
    std::size_t line = 0;  // 1-based line where the record starts

    std::size_t FieldCount() const noexcept { return fields_.size(); }
    // Field i with its quotes resolved, valid until the record is read again.
    std::string_view Field(std::size_t i) const noexcept {
        const Span& f = fields_[i];
        return {(f.quoted ? unquoted_ : raw).data() + f.offset, f.length};
    }
    std::vector<std::string> Fields() const;

private:
    friend class CsvReader;
    struct Span {
        std::size_t offset, length;
        bool quoted;  // in unquoted_, else in raw
    };
    std::vector<Span> fields_;
    std::string unquoted_;  // the text of the quoted fields
};

// Fields are separated by ',' and records by "\n" or "\r\n". A field in double
// quotes may hold commas, line ends and doubled quotes (""). A UTF-8 byte-order
// mark before the first record, as spreadsheets write it, is not part of it.
//
// Reads the stream's buffer directly: an exception its buffer throws (a read
// error) reaches the caller of Next. It takes from the buffer, in blocks, what
// the buffer holds already, so that a record's text is copied in runs rather
// than byte by byte; it never waits for more than the record needs, but the
// stream is the reader's alone until the end.
class CsvReader {
public:
    static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

    explicit CsvReader(std::istream& in) : in_(*in.rdbuf()) {}
    // A reader that takes up a table at a record's start on line `firstLine`,
    // where the table is read in parts: no byte-order mark is looked for.
    CsvReader(std::istream& in, std::size_t firstLine)
        : in_(*in.rdbuf()), line_(firstLine), started_(true) {}

    // The next record, reusing the storage of `record`; false at the end.
    bool Next(CsvRecord& record);

    // Whether the input started with a byte-order mark (known after the first Next).
    bool HadByteOrderMark() const noexcept { return byteOrderMark_; }

private:
    // At least one more byte in block_; false at the end of the input.
    bool Fill();
    // The next byte, not taken, or EOF.
    std::char_traits<char>::int_type Peek();

    static constexpr std::size_t kBlock = std::size_t{1} << 16;
    std::streambuf& in_;
    std::vector<char> block_;
    std::size_t taken_ = 0;  // of block_
    std::size_t held_ = 0;   // bytes of block_ read from the stream
    std::size_t line_ = 1;
    bool started_ = false;
    bool byteOrderMark_ = false;
};

// Why a header cannot have been read as it was meant, whatever columns it
// seems to hold (UTF-16 text, a carriage return alone as a line end), so
// that the records after it would be misread as well; nothing if it can.
std::optional<std::string> UnreadableCsvHeader(std::string_view raw);

// The columns named in a header.
struct CsvColumns {
    std::vector<std::size_t> columns;  // of each name, in the order asked; empty with a problem
    std::string problem;               // empty, or the message that says what is wrong
};

// The column of each of `names` in `header` (blanks around a name do not
// count; case does). A name found twice, a name missing (with why the header
// may hide it: a byte-order mark read as part of a name, a NUL, another
// separator than the comma) and an unreadable header are each a problem,
// whose message names the header's line where that helps and ends with
// `whose`, the call that needs the names ("CountRate(N, t)").
// `byteOrderMark`: the input started with one, which the reader has taken.
CsvColumns FindCsvColumns(const CsvRecord& header, std::span<const std::string_view> names,
                          bool byteOrderMark, std::string_view whose);

}  // namespace vantrel
