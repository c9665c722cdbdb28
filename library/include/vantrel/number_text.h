// Numbers as every front end spells them, so that a value reads the same in
// the help, on the command line and in the documentation.
#pragma once

#include <string>

namespace vantrel {

// A computed value: 17 significant digits, enough for any double to read back
// to the same bits ("0.63245553203367588", "1.0000000000000001e+300"); "nan"
// for every NaN, "inf" and "-inf".
std::string ValueText(double value);

// A value typed as an argument: the shortest text that reads back to the same
// bits, its exponent without sign or padding unless negative ("1e5", "1e-9",
// "0.7", "293").
std::string ArgumentText(double value);

}  // namespace vantrel
