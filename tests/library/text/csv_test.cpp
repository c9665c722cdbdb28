// CSV records and the columns of a header.
#include "vantrel/csv.h"

#include "vantrel/quote.h"

#include <gtest/gtest.h>

#include <sstream>
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
    EXPECT_EQ(records[0].fields, (std::vector<std::string>{"a", "b,c", "say \"hi\""}));
    EXPECT_EQ(records[0].raw, "a,\"b,c\",\"say \"\"hi\"\"\"");
    EXPECT_EQ(records[0].line, 1u);
    EXPECT_EQ(records[1].fields, (std::vector<std::string>{"1", "two\nlines", "3"}));
    EXPECT_EQ(records[1].line, 2u);
    EXPECT_EQ(records[2].raw, "");  // a blank line
    EXPECT_EQ(records[2].line, 4u);
    EXPECT_EQ(records[3].fields, (std::vector<std::string>{"last", "", ""}));
    EXPECT_EQ(records[3].line, 5u);
}

TEST(CsvReader, SkipsASpreadsheetsByteOrderMark) {
    const auto records = ReadAll("\xEF\xBB\xBFN,t\n1,2\n");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].fields, (std::vector<std::string>{"N", "t"}));
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
