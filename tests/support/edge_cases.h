// Documented values of the external functions, shared by the native tests
// and the tests of the DLL in the stand-in host.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <limits>
#include <string_view>
#include <vector>

namespace vantrel::testing {

inline constexpr double kInf = std::numeric_limits<double>::infinity();
inline constexpr double kQNaN = std::numeric_limits<double>::quiet_NaN();

struct EdgeCase {
    std::string_view function;  // catalogue name
    std::vector<double> arguments;  // call order
    double expected;            // NaN: any NaN
    // Allowed distance in units in the last place for the DLL, whose C runtime
    // rounds pow (exponent 3 and up), exp, log, cos, atan and the hyperbolic
    // functions differently from glibc. Natively every case is exact.
    int dllUlps = 0;
};

// "Name(a, b, …)" with every argument to 17 significant digits.
inline std::string Describe(const EdgeCase& c) {
    std::string text = std::string(c.function) + "(";
    for (std::size_t i = 0; i < c.arguments.size(); ++i) {
        char number[32];
        std::snprintf(number, sizeof number, "%.17g", c.arguments[i]);
        text += (i == 0 ? "" : ", ") + std::string(number);
    }
    return text + ")";
}

std::vector<EdgeCase> CountRateCases();
std::vector<EdgeCase> CountingStatisticsCases();  // flipping ratios, asymmetries, optimal times
std::vector<EdgeCase> PeakAndLatticeCases();
std::vector<EdgeCase> Helium3Cases();

inline std::vector<EdgeCase> AllEdgeCases() {
    std::vector<EdgeCase> all;
    for (auto table : {CountRateCases, CountingStatisticsCases, PeakAndLatticeCases, Helium3Cases}) {
        for (EdgeCase& c : table()) all.push_back(std::move(c));
    }
    return all;
}

}  // namespace vantrel::testing
