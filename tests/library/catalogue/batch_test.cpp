// Whole columns through EvaluateBatch: every element of every function has
// exactly the bits that the function gives it alone (the NaN of a guard,
// signed zeros, infinities), whatever the layout of the columns, the route by
// name or the split across threads.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "catalogue/registry.h"
#include "support/edge_cases.h"
#include "vantrel/batch.h"
#include "vantrel/nan.h"

namespace vantrel::testing {
namespace {

// NaNs of both signs and with payloads, infinities, signed zeros, subnormals,
// extremes and small integers (which hit the exact zero tests).
const std::uint64_t kHostileBits[] = {
    0x7FF8000000000000, 0xFFF8000000000000, 0x7FF0000000000001, 0x7FF80000000BEEF0,
    0x7FF0000000000000, 0xFFF0000000000000, 0x0000000000000000, 0x8000000000000000,
    0x0000000000000001, 0x000FFFFFFFFFFFFF, 0x7FEFFFFFFFFFFFFF, 0x3FF0000000000000,
    0xBFF0000000000000, 0x4000000000000000, 0x4056800000000000,
};

// Rows of arguments: the documented cases, then random rows in which each
// argument is hostile, a small integer or an ordinary value of any sign and size.
std::vector<std::vector<double>> Rows(const CatalogueEntry& entry, std::size_t count) {
    std::vector<std::vector<double>> rows;
    for (const EdgeCase& c : EveryEdgeCase()) {
        if (c.function == entry.name) rows.push_back(c.arguments);
    }
    std::mt19937_64 random(IndexOf(entry) + 1);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    while (rows.size() < count) {
        std::vector<double> row;
        for (std::size_t k = 0; k < entry.argumentCount; ++k) {
            const double u = unit(random);
            if (u < 0.15) {
                row.push_back(
                    std::bit_cast<double>(kHostileBits[random() % std::size(kHostileBits)]));
            } else if (u < 0.3) {
                row.push_back(static_cast<double>(static_cast<int>(random() % 5) - 2));
            } else {
                row.push_back((unit(random) < 0.2 ? -1.0 : 1.0) *
                              std::pow(10.0, 12.0 * unit(random) - 6.0));
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// The rows as a table stored by rows, one spare column, so that argument k of
// row i is at i·stride + k.
struct Table {
    std::size_t stride;
    std::vector<double> cells;
    std::vector<std::uint64_t> expected;  // the scalar function's bits per row
};

Table Tabulate(const CatalogueEntry& entry, const std::vector<std::vector<double>>& rows) {
    Table table{entry.argumentCount + 1, {}, {}};
    for (const std::vector<double>& row : rows) {
        table.cells.insert(table.cells.end(), row.begin(), row.end());
        table.cells.push_back(0.0);
        table.expected.push_back(std::bit_cast<std::uint64_t>(Evaluate(entry, row)));
    }
    return table;
}

bool IsNaN(std::uint64_t bits) { return std::isnan(std::bit_cast<double>(bits)); }

// Where two NaNs meet in one operation, IEEE 754 leaves open whose payload the
// result carries, and a vectorised loop may order the operands of + and ×
// differently from the scalar code. So a row with a NaN argument may give any
// of the NaNs in play, of either sign: an argument's (made quiet), the
// processor's default NaN or the guards' NaN. Every other row must match to
// the bit.
bool SameResult(std::uint64_t got, std::uint64_t expected, const std::vector<double>& row) {
    if (got == expected) return true;
    if (!IsNaN(got) || !IsNaN(expected)) return false;
    const auto payload = [](std::uint64_t bits) {
        return (bits & 0x7FFFFFFFFFFFFFFF) | 0x0008000000000000;
    };
    if (payload(got) == std::bit_cast<std::uint64_t>(kNaN)) return true;
    for (double x : row) {
        if (std::isnan(x) && payload(std::bit_cast<std::uint64_t>(x)) == payload(got)) return true;
    }
    return false;
}

std::string Mismatch(const CatalogueEntry& entry, const Table& table,
                     const std::vector<double>& out, std::ptrdiff_t outStride) {
    for (std::size_t i = 0; i < table.expected.size(); ++i) {
        const auto got = std::bit_cast<std::uint64_t>(out[i * static_cast<std::size_t>(outStride)]);
        const std::vector<double> row(
            table.cells.begin() + static_cast<std::ptrdiff_t>(i * table.stride),
            table.cells.begin() + static_cast<std::ptrdiff_t>(i * table.stride) +
                static_cast<std::ptrdiff_t>(entry.argumentCount));
        if (!SameResult(got, table.expected[i], row)) {
            char text[80];
            std::snprintf(text, sizeof text, " = %016llx, alone %016llx",
                          static_cast<unsigned long long>(got),
                          static_cast<unsigned long long>(table.expected[i]));
            return Describe({entry.name, row, 0.0}) + text;
        }
    }
    return "";
}

TEST(Batch, EveryElementHasTheBitsOfTheFunctionAlone) {
    for (const CatalogueEntry& entry : Catalogue()) {
        const Table table = Tabulate(entry, Rows(entry, 3001));
        const std::size_t n = table.expected.size();
        const std::size_t k = entry.argumentCount;

        // By rows, into every second slot.
        std::vector<InputColumn> byRows;
        for (std::size_t a = 0; a < k; ++a)
            byRows.push_back({table.cells.data() + a, std::ptrdiff_t(table.stride)});
        std::vector<double> out(2 * n);
        ASSERT_TRUE(EvaluateBatch(entry, n, byRows, {out.data(), 2}));
        EXPECT_EQ(Mismatch(entry, table, out, 2), "") << "columns by rows";

        // Contiguous columns, by name, on several threads.
        std::vector<std::vector<double>> columns(k, std::vector<double>(n));
        std::vector<const double*> pointers;
        for (std::size_t a = 0; a < k; ++a) {
            for (std::size_t i = 0; i < n; ++i) columns[a][i] = table.cells[i * table.stride + a];
            pointers.push_back(columns[a].data());
        }
        out.assign(n, 0.0);
        ASSERT_TRUE(EvaluateBatch(entry, pointers, out));
        EXPECT_EQ(Mismatch(entry, table, out, 1), "") << "contiguous columns";

        // In place: the result over the first argument's column.
        std::vector<double> first = columns[0];
        std::vector<InputColumn> inPlace{{first.data(), 1}};
        for (std::size_t a = 1; a < k; ++a) inPlace.push_back({columns[a].data(), 1});
        ASSERT_TRUE(EvaluateBatch(entry.alias, n, inPlace, {first.data(), 1}));
        EXPECT_EQ(Mismatch(entry, table, first, 1), "") << "in place";
    }
}

TEST(Batch, ConstantReversedAndThreadedColumns) {
    // Enough rows for three threads to share them (a few thousand repeated);
    // the second argument, where there is one, is one value for all (stride 0)
    // and the first is read backwards.
    for (const CatalogueEntry& entry : Catalogue()) {
        const bool second = entry.argumentCount > 1;
        std::vector<std::vector<double>> rows = Rows(entry, 2003);
        if (second)
            for (std::vector<double>& row : rows) row[1] = rows[0][1];
        const std::size_t n = 100'001;
        rows.reserve(n);
        for (std::size_t i = rows.size(); i < n; ++i) rows.push_back(rows[i % 2003]);
        const Table table = Tabulate(entry, rows);
        std::vector<InputColumn> columns;
        for (std::size_t a = 0; a < entry.argumentCount; ++a) {
            columns.push_back({table.cells.data() + a, std::ptrdiff_t(table.stride)});
        }
        if (second) columns[1] = {&rows[0][1], 0};
        std::vector<double> reversedFirst(n);
        for (std::size_t i = 0; i < n; ++i) reversedFirst[n - 1 - i] = rows[i][0];
        columns[0] = {reversedFirst.data() + (n - 1), -1};
        std::vector<double> out(n);
        ASSERT_TRUE(EvaluateBatch(entry, n, columns, {out.data(), 1}, {.threads = 4}));
        EXPECT_EQ(Mismatch(entry, table, out, 1), "");
    }
}

// Layouts in which the output shares memory with an input other than element
// for element, as numpy's ufunc methods hand them over: each must give what a
// loop over the scalar function gives, in order, each element seeing the
// results before it.
TEST(Batch, OverlappingOutputGivesTheSequentialResult) {
    enum class Layout { kReduce, kAccumulate, kOutputAhead };
    for (const Layout layout : {Layout::kReduce, Layout::kAccumulate, Layout::kOutputAhead}) {
        // Long enough for threads only where a stride-0 output might tempt them.
        for (const std::size_t n :
             {std::size_t{7}, std::size_t{layout == Layout::kReduce ? 70'001u : 701u}}) {
            for (const CatalogueEntry& entry : Catalogue()) {
                const std::vector<std::vector<double>> rows = Rows(entry, n);
                // Argument 0 is the memory the output overlaps; the others are columns.
                std::vector<std::vector<double>> columns(entry.argumentCount,
                                                         std::vector<double>(n));
                for (std::size_t i = 0; i < n; ++i)
                    for (std::size_t a = 0; a < entry.argumentCount; ++a)
                        columns[a][i] = rows[i][a];
                std::vector<double> memory(n + 1, 0.0);
                memory[0] = rows[0][0];
                std::copy(columns[0].begin(), columns[0].end(), memory.begin() + 1);
                std::vector<InputColumn> in;
                for (const std::vector<double>& column : columns) in.push_back({column.data(), 1});
                OutputColumn out{};
                switch (layout) {
                    case Layout::kReduce:  // acc = f(acc, x[i], …)
                        in[0] = {&memory[0], 0}, out = {&memory[0], 0};
                        break;
                    case Layout::kAccumulate:  // m[i + 1] = f(m[i], x[i], …)
                        in[0] = {&memory[0], 1}, out = {&memory[1], 1};
                        break;
                    case Layout::kOutputAhead:  // m[i] = f(m[i + 1], x[i], …)
                        in[0] = {&memory[1], 1}, out = {&memory[0], 1};
                        break;
                }
                std::vector<double> expected = memory;
                std::string mismatch;
                for (std::size_t i = 0; i < n && mismatch.empty(); ++i) {
                    std::vector<double> row = rows[i];
                    double* target = &expected[0];
                    if (layout == Layout::kReduce) row[0] = expected[0];
                    if (layout == Layout::kAccumulate)
                        row[0] = expected[i], target = &expected[i + 1];
                    if (layout == Layout::kOutputAhead)
                        row[0] = expected[i + 1], target = &expected[i];
                    *target = Evaluate(entry, row);
                }
                ASSERT_TRUE(EvaluateBatch(entry, n, in, out, {.threads = 4}));
                for (std::size_t i = 0; i <= n && mismatch.empty(); ++i) {
                    const auto got = std::bit_cast<std::uint64_t>(memory[i]);
                    const auto want = std::bit_cast<std::uint64_t>(expected[i]);
                    if (!SameResult(got, want, rows[std::min(i, n - 1)]) &&
                        !(IsNaN(got) && IsNaN(want))) {
                        mismatch = "element " + std::to_string(i);
                    }
                }
                EXPECT_EQ(mismatch, "")
                    << entry.name << " layout " << static_cast<int>(layout) << " n " << n;
            }
        }
    }
}

TEST(Batch, ACopiedEntryIsTheSameFunction) {
    const double x[] = {1000.0, 50.0};
    for (const CatalogueEntry& entry : Catalogue()) {
        const CatalogueEntry copy = entry;
        EXPECT_EQ(&Catalogue()[IndexOf(copy)], FindFunction(copy.name));
        const std::vector<InputColumn> columns(copy.argumentCount, InputColumn{x, 0});
        double out = 0.0, alone = 0.0;
        ASSERT_TRUE(EvaluateBatch(copy, 1, columns, {&out, 1}));
        ASSERT_TRUE(EvaluateBatch(*FindFunction(copy.name), 1, columns, {&alone, 1}));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(out), std::bit_cast<std::uint64_t>(alone));
    }
    // An entry made by hand names no function of the catalogue: refused, not read past the table.
    CatalogueEntry forged = Catalogue()[0];
    double out = -7.0;
    const InputColumn two[] = {{x, 0}, {x, 0}};
    for (const std::size_t index :
         {kFunctionCount, std::size_t{17568327962564114440u}, std::size_t{3}}) {
        forged.index = index;
        EXPECT_FALSE(EvaluateBatch(forged, 1, two, {&out, 1})) << index;
    }
    EXPECT_EQ(out, -7.0);
}

TEST(Batch, RefusesAWrongColumnCountOrNameAndWritesNothing) {
    const double one = 1.0;
    const InputColumn column{&one, 0};
    double out = -7.0;
    const std::vector<InputColumn> three(3, column);
    EXPECT_FALSE(EvaluateBatch("CountRate", 1, three, {&out, 1}));
    EXPECT_FALSE(EvaluateBatch("CountRates", 1, {three.data(), 2}, {&out, 1}));
    EXPECT_EQ(out, -7.0);
    EXPECT_TRUE(EvaluateBatch("count_rate", 0, {three.data(), 2}, {nullptr, 1}));
}

}  // namespace
}  // namespace vantrel::testing
