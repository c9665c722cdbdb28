// A CSV through one function, as the library runs it for every front end:
// messages start with the caller's prefix, the rows before a bad one are kept.
#include "vantrel/function_table.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vantrel
