#include "decay_fit_command.h"

#include "cli.h"
#include "messages.h"
#include "vantrel/helium3/decay_fit_table.h"

namespace vantrel::cli {

const std::string_view kDecayFitUsage =
    "usage: vantrel he3-decay-fit --csv FILE [--common C]   (FILE '-' reads standard input)\n"
    "\n"
    "Fits PHe(t) = PHe0*exp(-t/T1) to the columns t, PHe and sigmaPHe of the CSV by weighted\n"
    "least squares on PHe, sigmaPHe taken as absolute. t is a number in any one unit, or an\n"
    "ISO 8601 date-time (2026-12-09T14:30, with seconds, fractions and a zone as you like),\n"
    "then taken in hours from the earliest row. Prints the header\n"
    "PHe0,T1,sigmaPHe0,sigmaT1,rho,reduced_chi_square,n and one row. A row that cannot enter\n"
    "the fit (NaN, PHe <= 0, sigmaPHe <= 0, …) stops it, named by its row and line;\n"
    "nothing is dropped.\n"
    "\n"
    "--common C  the relative deviation common to every point (the cell's p, T, L, lambda and\n"
    "            the cross-section constant scale every polarisation alike): the fit does not\n"
    "            weigh it, sigmaPHe0 carries it. 0, the default, leaves sigmaPHe0 to the points.\n";

int FitDecay(std::istream& in, double common, std::ostream& out, std::ostream& err) {
    return helium3::FitDecayTable(in, out, err, kMessagePrefix, common) ? kSuccess : kBadInput;
}

}  // namespace vantrel::cli
