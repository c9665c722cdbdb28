// Documented values of the external functions, shared by the native tests
// and (AllEdgeCases, the host's part) the tests of the DLL in the stand-in
// host. Natively every value is reproduced to the bit; how far the DLL may be
// from them, function by function, is tests/accuracy/table.csv. The tables
// live in tests/cases/, one file per source file of the functions.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::testing {

inline constexpr double kInf = std::numeric_limits<double>::infinity();
inline constexpr double kQNaN = std::numeric_limits<double>::quiet_NaN();

struct EdgeCase {
    std::string_view function;      // catalogue name
    std::vector<double> arguments;  // call order
    double expected;                // NaN: any NaN
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

// Arguments of a case built from another's.
inline std::vector<double> With(std::vector<double> args, std::initializer_list<double> more) {
    args.insert(args.end(), more);
    return args;
}

inline std::vector<double> Replaced(std::vector<double> args, std::size_t position, double value) {
    args[position] = value;
    return args;
}

std::vector<EdgeCase> CountRateCases();           // cases/counting/count_rates.cpp
std::vector<EdgeCase> FlippingRatioCases();       // cases/counting/flipping_ratios.cpp
std::vector<EdgeCase> AsymmetryCases();           // cases/counting/asymmetries.cpp
std::vector<EdgeCase> OptimalTimeCases();         // cases/counting/optimal_times.cpp
std::vector<EdgeCase> PeakCentringCases();        // cases/peaks/peak_centring.cpp
std::vector<EdgeCase> SinThetaOverLambdaCases();  // cases/lattice/sin_theta_over_lambda.cpp
std::vector<EdgeCase> Helium3Cases();             // cases/helium3/helium3.cpp
std::vector<EdgeCase> LibraryEdgeCases();         // cases/library/polarisation.cpp
std::vector<EdgeCase> MagneticRatioCases();       // cases/library/magnetic_ratio.cpp
std::vector<EdgeCase> ReflectionAndMeritCases();  // cases/library/reflection_and_merit.cpp

inline std::vector<EdgeCase> AllEdgeCases() {
    std::vector<EdgeCase> all;
    for (auto table : {CountRateCases, FlippingRatioCases, AsymmetryCases, OptimalTimeCases,
                       PeakCentringCases, SinThetaOverLambdaCases, Helium3Cases}) {
        for (EdgeCase& c : table()) all.push_back(std::move(c));
    }
    return all;
}

// The host's cases, then those of the library's own functions, which the
// plug-in does not carry.
inline std::vector<EdgeCase> EveryEdgeCase() {
    std::vector<EdgeCase> every = AllEdgeCases();
    for (auto table : {LibraryEdgeCases, MagneticRatioCases, ReflectionAndMeritCases}) {
        for (EdgeCase& c : table()) every.push_back(std::move(c));
    }
    return every;
}

}  // namespace vantrel::testing
