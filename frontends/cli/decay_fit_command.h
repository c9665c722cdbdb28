// vantrel he3-decay-fit --csv FILE [--common C]: the helium-3 relaxation fitted to a CSV of
// measured polarisations, by the library's decay-fit table (columns t, PHe,
// sigmaPHe). Prints the header PHe0,T1,sigmaPHe0,sigmaT1,rho,reduced_chi_square,n
// and one row.
#pragma once

#include <iosfwd>
#include <string_view>

namespace vantrel::cli {

inline constexpr std::string_view kDecayFitCommand = "he3-decay-fit";

// What `vantrel he3-decay-fit --help` and `vantrel help he3-decay-fit` show.
extern const std::string_view kDecayFitUsage;

// Reads the table from `in` and writes the fit to `out`, `common` being the
// relative deviation common to every point; exit status as Run's.
int FitDecay(std::istream& in, double common, std::ostream& out, std::ostream& err);

}  // namespace vantrel::cli
