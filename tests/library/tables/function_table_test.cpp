// A CSV through one function, as the library runs it for every front end:
// messages start with the caller's prefix, the rows before a bad one are kept.
#include "vantrel/function_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "vantrel/catalogue.h"

namespace vantrel {
namespace {

TEST(FunctionTable, KeepsTheRowsBeforeABadOneAndSaysSoWithTheCallersPrefix) {
    const CatalogueEntry& entry = *FindFunction("CountRate");
    std::istringstream in("N,t\n1000,50\n5,x\n7,1\n");
    std::ostringstream out, err;
    EXPECT_FALSE(EvaluateCsv(entry, in, out, err, "page: "));
    EXPECT_EQ(out.str(), "N,t,CountRate\n1000,50,20\n");
    EXPECT_EQ(err.str(),
              "page: line 3, column 2 (t): 'x' is not a number; stopped after the header and 1 "
              "row\n");
}

TEST(FunctionTable, RefusesARepeatedArgumentColumn) {
    std::istringstream in("N,t,N\n1,2,3\n");
    std::ostringstream out, err;
    EXPECT_FALSE(EvaluateCsv(*FindFunction("CountRate"), in, out, err));
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "the CSV header names N twice (columns 1 and 3)\n");
}

struct TableRun {
    bool done;
    std::string out, err;
};

TableRun Whole(const std::string& csv) {
    std::istringstream in(csv);
    std::ostringstream out, err;
    const bool done = EvaluateCsv(*FindFunction("CountRate"), in, out, err, "t: ");
    return {done, out.str(), err.str()};
}

// A table cut after each of its line ends, the first part run whole and the
// rest as a part that takes the header from the table's start, as the page
// runs a large file side by side. Where the first part ends at a record's end
// the two give the whole table's output and messages, lines and rows counted
// from the table's start; where it cannot (inside a quoted field, before the
// header) the first part says so, which is how the page knows to run on.
TEST(FunctionTable, APartTakesUpTheTableWhereTheOneBeforeItEnded) {
    const std::string CASES[] = {
        "N,t\n1000,50\n5,2\n7,1\n",
        "\xEF\xBB\xBF\n\nnote,N,t,CountRate\r\n\"a\nb\",1,2,x\r\n\r\n\"c,\"\"d\"\"\",3,4,y\r\n5,6,"
        "7,z",
        "N,t\n1,2\n\"3\n\",4\n5,6\n7,8\n",  // a quoted number across lines
        "N,t\n1,2\n3,4\n5,x\n7,8\n",        // a bad number
        "N,t\n1,2\n3,4,5\n7,8\n",           // a record too long
        "N,t\n1,2\n\"3\",4\n\"5\n,6\n",     // a quote left open
        "\n\nN,t\n1,2\n",                   // blank lines before the header
    };
    for (const std::string& csv : CASES) {
        const TableRun whole = Whole(csv);
        for (std::size_t cut = csv.find('\n'); cut != std::string::npos;
             cut = csv.find('\n', cut + 1)) {
            const std::string before = csv.substr(0, cut + 1);
            const TableRun first = Whole(before);
            SCOPED_TRACE(testing::Message() << csv << " cut after byte " << cut);
            if (!first.done) {
                // A stop of the table's own, or the cut named as the end.
                const bool atTheCut =
                    first.err.find("before the end of the input") != std::string::npos ||
                    first.err.find("the CSV input is empty") != std::string::npos;
                if (!atTheCut) {
                    EXPECT_EQ(first.out + "|" + first.err, whole.out + "|" + whole.err);
                }
                continue;
            }
            const auto records =
                static_cast<std::size_t>(std::count(first.out.begin(), first.out.end(), '\n'));
            const CsvPart part{records - 1, 1 + static_cast<std::size_t>(std::count(
                                                    before.begin(), before.end(), '\n'))};
            std::istringstream header(csv), rest(csv.substr(cut + 1));
            std::ostringstream out, err;
            const bool done =
                EvaluateCsvPart(*FindFunction("CountRate"), header, rest, out, err, "t: ", part);
            EXPECT_EQ(done, whole.done);
            EXPECT_EQ(first.out + out.str(), whole.out);
            EXPECT_EQ(first.err + err.str(), whole.err);
        }
    }
}

}  // namespace
}  // namespace vantrel
