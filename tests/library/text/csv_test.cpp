// CSV records and the columns of a header.
#include "vantrel/csv.h"

#include "vantrel/quote.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vantrel {
namespace {

// ---- CSV records ---------------------------------------------------------------

std::vector<CsvRecord> ReadAll(const std::string& text) {
    std::istringstream in(text);
    CsvReader reader(in);
    std::vector<CsvRecord> records;
    CsvRecord record;
    while (reader.Next(record)) records.push_back(record);
    return records;
}

TEST(CsvReader, SplitsQuotedAndPlainFieldsKeepingTheRawText) {
    const auto records = ReadAll("a,\"b,c\",\"say \"\"hi\"\"\"\r\n1,\"two\nlines\",3\n\nlast,,");
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].Fields(), (std::vector<std::string>{"a", "b,c", "say \"hi\""}));
    EXPECT_EQ(records[0].raw, "a,\"b,c\",\"say \"\"hi\"\"\"");
    EXPECT_EQ(records[0].line, 1u);
    EXPECT_EQ(records[1].Fields(), (std::vector<std::string>{"1", "two\nlines", "3"}));
    EXPECT_EQ(records[1].line, 2u);
    EXPECT_EQ(records[2].raw, "");  // a blank line
    EXPECT_EQ(records[2].line, 4u);
    EXPECT_EQ(records[3].Fields(), (std::vector<std::string>{"last", "", ""}));
    EXPECT_EQ(records[3].line, 5u);
}

TEST(CsvReader, ResolvesEachFieldsQuotes) {
    // Plain fields are parts of the record's text, quoted ones kept apart.
    for (const auto& [text, fields] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"\"a\" \t,b", {"a", "b"}},
             {"a\"b,\"\"", {"a\"b", ""}},
             {"\"\",x,\"y\"", {"", "x", "y"}},
             {",", {"", ""}},
             {"\"a\"\"\",\"b,\"\"c\"", {"a\"", "b,\"c"}},
             {"\"x\"\r\n", {"x"}},
             {"p,\"q\"", {"p", "q"}}}) {
        const auto records = ReadAll(text);
        ASSERT_EQ(records.size(), 1u) << text;
        EXPECT_EQ(records[0].Fields(), fields) << text;
    }
}

TEST(CsvReader, SkipsASpreadsheetsByteOrderMark) {
    const auto records = ReadAll("\xEF\xBB\xBFN,t\n1,2\n");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Fields(), (std::vector<std::string>{"N", "t"}));
    EXPECT_EQ(records[0].raw, "N,t");
    for (const auto& [text, mark] : std::vector<std::pair<std::string, bool>>{
             {"\xEF\xBB\xBFN\n", true}, {"N\n", false}, {"", false}}) {
        std::istringstream in(text);
        CsvReader reader(in);
        CsvRecord record;
        reader.Next(record);
        EXPECT_EQ(reader.HadByteOrderMark(), mark) << text;
    }
}

TEST(CsvReader, ReportsBrokenQuotingWithItsLine) {
    for (const auto& [text, line] : std::vector<std::pair<std::string, std::size_t>>{
             {"a,b\n1,\"open\n2,3\n", 2},
             {"a,b\n\"x\"y,2\n", 2},
             {"a,b\n\"x\ny\"z,2\n", 2},  // where the record starts
             {"\xEF\xBBN,t\n", 1}}) {
        try {
            ReadAll(text);
            ADD_FAILURE() << text;
        } catch (const CsvError& e) {
            EXPECT_EQ(e.line(), line) << text;
        }
    }
}

// A stream that holds `step` bytes at a time, as a pipe may, and fails when
// asked for more after `failAt` bytes.
class Trickle : public std::streambuf {
public:
    Trickle(std::string text, std::size_t step, std::size_t failAt = std::string::npos)
        : text_(std::move(text)), step_(step), failAt_(failAt) {}

protected:
    int_type underflow() override {
        if (gptr() != nullptr && gptr() < egptr()) return traits_type::to_int_type(*gptr());
        if (offset_ >= failAt_) throw std::runtime_error("waited for more");
        if (offset_ >= text_.size()) return traits_type::eof();
        const std::size_t size = std::min(step_, text_.size() - offset_);
        char* start = text_.data() + offset_;
        setg(start, start, start + size);
        offset_ += size;
        return traits_type::to_int_type(*gptr());
    }

private:
    std::string text_;
    std::size_t step_;
    std::size_t failAt_;
    std::size_t offset_ = 0;
};

bool Same(const CsvRecord& a, const CsvRecord& b) {
    return a.raw == b.raw && a.Fields() == b.Fields() && a.line == b.line;
}

TEST(CsvReader, ReadsTheSameWhereverTheInputIsCut) {
    // Quotes, doubled quotes and CR LF cut between the stream's slices and
    // between the reader's blocks (of 64 KiB).
    const std::string wide(70000, 'x');
    for (const std::string& text :
         {std::string("a,\"b,c\",\"say \"\"hi\"\"\"\r\n1,\"two\nlines\",3\r\n\nlast,,"),
          std::string("a\rb,c\r\r\n,\r\n\r\nd\r"),
          "a\r\n" + std::string(65533, 'y') + "\r\n\"q\"\"\",\"\n\"\n",
          "n,m\n" + wide + ",\"" + wide + "\"\"\n\",\r\r\n1,2"}) {
        const std::vector<CsvRecord> whole = ReadAll(text);
        for (const std::size_t step : {1, 2, 3, 7, 4096, 65536, 65537}) {
            Trickle trickle(text, step);
            std::istream in(&trickle);
            CsvReader reader(in);
            CsvRecord record;
            std::size_t n = 0;
            for (; reader.Next(record); ++n) {
                ASSERT_LT(n, whole.size()) << step;
                EXPECT_TRUE(Same(record, whole[n])) << step << ": " << record.raw;
            }
            EXPECT_EQ(n, whole.size()) << step;
        }
    }
}

TEST(CsvReader, ReturnsARecordWithoutWaitingForTheNext) {
    // Input that comes as it is typed: each line as it ends, no byte more.
    const std::string text = "N,t\n1,2\n3,\"4\"\n";
    for (const std::size_t step : {1, 4}) {
        Trickle trickle(text, step, 8);  // asked for anything after "1,2\n"
        std::istream in(&trickle);
        CsvReader reader(in);
        CsvRecord record;
        ASSERT_TRUE(reader.Next(record));
        ASSERT_TRUE(reader.Next(record));
        EXPECT_EQ(record.raw, "1,2") << step;
        EXPECT_THROW(reader.Next(record), std::runtime_error) << step;
    }
}

// ---- Columns of a header ------------------------------------------------------

// The first record of `text`, and whether a byte-order mark came before it.
std::pair<CsvRecord, bool> Header(const std::string& text) {
    std::istringstream in(text);
    CsvReader reader(in);
    CsvRecord record;
    reader.Next(record);
    return {record, reader.HadByteOrderMark()};
}

TEST(CsvColumns, FindsEachNameInAnyOrderAmongOtherColumns) {
    const std::string_view names[] = {"N", "t"};
    const auto [header, mark] = Header("sample, t ,N,note\n");
    const CsvColumns found = FindCsvColumns(header, names, mark, "CountRate(N, t)");
    EXPECT_EQ(found.problem, "");
    EXPECT_EQ(found.columns, (std::vector<std::size_t>{2, 1}));
}

// Each way a header can hide or garble the names it seems to hold is named,
// never reported as a plain missing column.
TEST(CsvColumns, NamesWhyAHeaderLacksItsColumns) {
    const std::string_view names[] = {"t", "PHe", "sigmaPHe"};
    const std::string_view whose = "he3-decay-fit(t, PHe, sigmaPHe)";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"t,PHe,sigmaPHe,t\n", "the CSV header names t twice (columns 1 and 4)"},
        {"t,PHe\n", "the CSV header lacks the column sigmaPHe of " + std::string(whose) +
                        " (names are case-sensitive)"},
        {"T,phe,sigmaPHe\n", "the CSV header lacks the columns t, PHe of"},
        {"t;PHe;sigmaPHe\n",
         "was read as one column, 't;PHe;sigmaPHe', which lacks the columns "
         "t, PHe, sigmaPHe of he3-decay-fit(t, PHe, sigmaPHe): columns are "
         "separated by commas, not by ';'"},
        {"t\tPHe\tsigmaPHe\n", "separated by commas, not by tabs"},
        {"\xEF\xBB\xBF\xEF\xBB\xBFt,PHe,sigmaPHe\n",
         "line 1: the CSV text starts with two byte-order marks, and the second is read as part "
         "of the first column's name, '\\u{FEFF}t'; so it lacks the column t of"},
        {"\xFF\xFEt\0,\0P\0",
         "line 1: the CSV text is UTF-16 (little-endian, by its byte-order "
         "mark); the tool reads UTF-8: save it as UTF-8"},
        {std::string("t\0,\0P\0H\0e\0", 10), "UTF-16 (little-endian, without a byte-order mark)"},
        {"t,PHe,sigmaPHe\r1,0.7,0.01\r", "line 1: the CSV header holds a carriage return alone"},
        {std::string("t,PHe,sig\0maPHe\n", 16), "the CSV header holds a NUL byte, at byte 10"},
    };
    for (const auto& [text, problem] : cases) {
        const auto [header, mark] = Header(text);
        const CsvColumns found = FindCsvColumns(header, names, mark, whose);
        EXPECT_NE(found.problem.find(problem), std::string::npos)
            << Quote(text) << "\n  gives: " << found.problem;
        EXPECT_TRUE(found.columns.empty()) << Quote(text);
    }
}

}  // namespace
}  // namespace vantrel
