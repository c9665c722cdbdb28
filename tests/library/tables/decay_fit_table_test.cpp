// The decay fit from a table: the same checks and words as every CSV the
// library reads, rows counted from 1 with their lines, and the result row.
#include "vantrel/helium3/decay_fit_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "vantrel/quote.h"

namespace vantrel::helium3 {
namespace {

struct Outcome {
    bool ok;
    std::string out, err;
};

Outcome Fit(const std::string& text) {
    std::istringstream in(text);
    std::ostringstream out, err;
    const bool ok = FitDecayTable(in, out, err, "vantrel: ");
    return {ok, out.str(), err.str()};
}

constexpr const char* kPoints = "0,0.7,0.01\n24,0.6,0.01\n48,0.52,0.01\n";

TEST(DecayFitTable, RefusesEveryBadTableNamingWhereAndWhy) {
    const std::string header = "t,PHe,sigmaPHe\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"",
         "vantrel: the CSV input is empty; its first line must name the columns t, PHe, "
         "sigmaPHe\n"},
        {"t,PHe,sigmaPHe,t\n0,0.7,0.01,5\n",
         "vantrel: the CSV header names t twice (columns 1 and 4)\n"},
        {"t,PHe\n0,0.7\n",
         "vantrel: the CSV header lacks the column sigmaPHe of "
         "he3-decay-fit(t, PHe, sigmaPHe) (names are case-sensitive)\n"},
        {"t;PHe;sigmaPHe\n0;0.7;0.01\n", "not by ';'\n"},
        {std::string("\xFF\xFEt\0,\0P\0H\0e\0", 12),
         "UTF-16 (little-endian, by its byte-order mark)"},
        {"t,PHe,sigmaPHe\r0,0.7,0.01\r", "carriage return alone"},
        {"\xEF\xBB\xBF\xEF\xBB\xBFt,PHe,sigmaPHe\n", "two byte-order marks"},
        {header + "0,0.7,0.01\n24,1e400,0.01\n",
         "vantrel: row 2 (line 3), column 2 (PHe): '1e400' is beyond the range of a double\n"},
        {header + "0,0.7,0.01\nx,0.6,0.01\n",
         "vantrel: row 2 (line 3), column 1 (t): 'x' is not a number like the rows before it\n"},
        {header + "0,0.7,0.01\n\n12,0.6\n",
         "vantrel: row 2 (line 4): 2 fields, but the header has 3\n"},
        {header + "2026-12-09T10:00,0.7,0.01\n12,0.6,0.01\n",
         "row 2 (line 3), column 1 (t): '12' is not an ISO 8601 date-time like the rows before it"},
        {header + "2026-12-09T10:00Z,0.7,0.01\n2026-12-09T12:00,0.6,0.01\n", "names no time zone"},
        {header + "2026-02-30,0.7,0.01\n", "neither a number nor an ISO 8601 date-time"},
        {header + "0,0.7,0.01\n1,0.69,0\n",
         "vantrel: he3-decay-fit: row 2 (line 3): sigmaPHe is 0; every deviation must be above "
         "0\n"},
        {header + "0,0.7,0.01\n",
         "vantrel: he3-decay-fit: 1 point; a decay fit needs at least two"},
        {header + "0,0.7,\"0.01\n", "vantrel: line 2: a quoted field is not closed"},
    };
    for (const auto& [text, message] : cases) {
        const Outcome run = Fit(text);
        EXPECT_FALSE(run.ok) << Quote(text);
        EXPECT_EQ(run.out, "") << Quote(text);
        EXPECT_NE(run.err.find(message), std::string::npos)
            << Quote(text) << "\n  said: " << run.err;
    }
}

TEST(DecayFitTable, ColumnsAnywhereAndDateTimesInHoursFromTheEarliest) {
    const Outcome numbers = Fit(std::string("t,PHe,sigmaPHe\n") + kPoints);
    ASSERT_TRUE(numbers.ok) << numbers.err;
    EXPECT_EQ(numbers.out.substr(0, numbers.out.find('\n')), kDecayFitResultHeader);
    // The same points, shuffled, in other columns, times as date-times with a zone.
    const Outcome dated =
        Fit("note,sigmaPHe,PHe,t\n"
            "b,0.01,0.6,2026-12-10T11:00+01:00\n"
            "a,0.01,0.7,2026-12-09T10:00Z\n"
            "c,0.01,0.52,2026-12-11T10:00Z\n");
    ASSERT_TRUE(dated.ok) << dated.err;
    // The same fit; the order of the points may move the last bits.
    const auto values = [](const std::string& out) {
        std::istringstream row(out.substr(out.find('\n') + 1));
        std::vector<double> v;
        for (std::string field; std::getline(row, field, ',');) v.push_back(std::stod(field));
        return v;
    };
    const std::vector<double> expected = values(numbers.out), got = values(dated.out);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t k = 0; k < got.size(); ++k)
        EXPECT_NEAR(got[k], expected[k], 1e-13 * std::abs(expected[k])) << k;
}

TEST(DecayFitTable, PointsReadKeepTheirLines) {
    std::istringstream in("\nt,PHe,sigmaPHe\n0,0.7,0.01\n\n24,0.6,0.01\n");
    std::ostringstream err;
    DecayFitTable table;
    ASSERT_TRUE(ReadDecayFitTable(in, err, "", table)) << err.str();
    EXPECT_EQ(table.lines, (std::vector<std::size_t>{3, 5}));
    EXPECT_EQ(table.t, (std::vector<double>{0, 24}));
    EXPECT_EQ(RowText(1, 5), "row 2 (line 5)");
    EXPECT_EQ(RowText(0), "row 1");
    EXPECT_EQ(DecayFitErrorText({1, "PHe is NaN"}), "row 2: PHe is NaN");
    EXPECT_EQ(DecayFitErrorText({DecayFitError::kNoRow, "0 points"}), "0 points");
}

}  // namespace
}  // namespace vantrel::helium3
