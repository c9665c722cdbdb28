// Prints the documented values of every function for the Python tests, bits exact:
//   NAME EXPECTED_BITS ARGUMENT_BITS...
// with the bits of each double in hexadecimal.
#include <bit>
#include <cinttypes>
#include <cstdint>
#include <cstdio>

#include "support/edge_cases.h"

int main() {
    for (const vantrel::testing::EdgeCase& c : vantrel::testing::EveryEdgeCase()) {
        std::printf("%.*s %016" PRIx64, static_cast<int>(c.function.size()), c.function.data(),
                    std::bit_cast<std::uint64_t>(c.expected));
        for (double a : c.arguments) std::printf(" %016" PRIx64, std::bit_cast<std::uint64_t>(a));
        std::printf("\n");
    }
}
