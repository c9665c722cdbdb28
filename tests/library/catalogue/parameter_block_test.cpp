// The parameter block: argument k of n at byte offset 8·(n − k), the result at
// 8·n, nothing else written, status 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <set>

#include "catalogue/bodies.h"
#include "host/params.h"

namespace vantrel {
namespace {

double Probe(double a, double b, double c) noexcept { return a * 100.0 + b * 10.0 + c; }

TEST(Params, AdapterReadsLastArgumentFirstAndWritesOnlyTheResult) {
    double block[5] = {3.0, 2.0, 1.0, -7.0, -9.0};  // c, b, a, result, beyond
    EXPECT_EQ(Adapt<&Probe>(reinterpret_cast<FunctionParams*>(block)), 0);
    EXPECT_EQ(block[3], 123.0);
    EXPECT_EQ(block[4], -9.0);
    EXPECT_EQ(block[0], 3.0);
}

TEST(Params, AdapterWorksOnAnUnalignedBlock) {
    alignas(8) unsigned char bytes[4 * 8 + 1] = {};
    unsigned char* block = bytes + 1;
    const double args[3] = {3.0, 2.0, 1.0};
    std::memcpy(block, args, sizeof args);
    Adapt<&Probe>(reinterpret_cast<FunctionParams*>(block));
    double result;
    std::memcpy(&result, block + 24, 8);
    EXPECT_EQ(result, 123.0);
}

TEST(Params, SetResultNaNWritesTheModulesQuietNaN) {
    unsigned char slot[10];
    std::memset(slot, 0xAA, sizeof slot);
    SetResultNaN(reinterpret_cast<double*>(slot));
    const unsigned char expected[10] = {0, 0, 0, 0, 0, 0, 0xF8, 0x7F, 0xAA, 0xAA};
    EXPECT_EQ(std::memcmp(slot, expected, sizeof slot), 0);
}

TEST(Params, GuardsStoreTheModulesNaNBits) {
    double block[3] = {0.0, 5.0, 1.0};  // CountRate(5, 0)
    EXPECT_EQ(kEveryBody[0](reinterpret_cast<FunctionParams*>(block)), 0);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(block[2]), 0x7FF8000000000000u);
}

}  // namespace
}  // namespace vantrel
