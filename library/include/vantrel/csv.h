// Comma-separated records read one at a time from a stream, so that input of
// any length passes through in constant memory.
#pragma once

#include <cstddef>
#include <istream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::cli {

// Malformed quoting, with the line where the record starts.
class CsvError : public std::runtime_error {
public:
    CsvError(std::size_t line, const std::string& what) : std::runtime_error(what), line_(line) {}
    std::size_t line() const noexcept { return line_; }

private:
    std::size_t line_;
};

struct CsvRecord {
    std::string raw;                  // the record as written, without its line end
    std::vector<std::string> fields;  // each field with its quotes resolved
    std::size_t line = 0;             // 1-based line where the record starts
};

// Fields are separated by ',' and records by "\n" or "\r\n". A field in double
// quotes may hold commas, line ends and doubled quotes (""). A UTF-8 byte-order
// mark before the first record, as spreadsheets write it, is not part of it.
//
// Reads the stream's buffer directly: an exception its buffer throws (a read
// error) reaches the caller of Next.
class CsvReader {
public:
    static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

    explicit CsvReader(std::istream& in) : in_(*in.rdbuf()) {}

    // The next record, reusing the storage of `record`; false at the end.
    bool Next(CsvRecord& record);

    // Whether the input started with a byte-order mark (known after the first Next).
    bool HadByteOrderMark() const noexcept { return byteOrderMark_; }

private:
    std::streambuf& in_;
    std::size_t line_ = 1;
    bool started_ = false;
    bool byteOrderMark_ = false;
};

}  // namespace vantrel::cli
