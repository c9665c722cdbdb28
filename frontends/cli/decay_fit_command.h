// vantrel he3-decay-fit --csv FILE: the helium-3 relaxation fitted to a CSV
// of measured polarisations (columns t, PHe, sigmaPHe; t numbers, or ISO 8601
// date-times taken in hours from the first row). Prints the header
// PHe0,T1,sigmaPHe0,sigmaT1,rho,reduced_chi_square,n and one row.
#pragma once

#include <iosfwd>
#include <optional>
#include <span>
#include <string_view>

namespace vantrel::cli {

inline constexpr std::string_view kDecayFitCommand = "he3-decay-fit";

// The command's arguments after its name; exit status as Run's.
int DecayFitCommand(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
                    std::ostream& err);

// An ISO 8601 date-time (2026-12-09, 2026-12-09T14:30, 2026-12-09 14:30:05.5Z,
// …+01:00) in seconds since 1970-01-01 of its own time zone, or UTC when it
// names one; nothing if it is not one. `zoned` tells which.
struct Instant {
    double seconds;
    bool zoned;
};
std::optional<Instant> ParseDateTime(std::string_view text);

}  // namespace vantrel::cli
