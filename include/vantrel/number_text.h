// Numbers as every front end spells them, so that a value reads the same in
// the help, on the command line and in the documentation.
#pragma once

#include <string>

namespace vantrel {

// A computed value: the shortest decimal that reads back to the same bits
// ("0.1", "0.6324555320336759", "1e+300"), fixed for decimal exponents from −5
// to 16 and scientific, with a signed exponent of at least two digits,
// beyond ("1e-05", "1.5e+17"); "nan" for every NaN, "inf" and "-inf".
std::string ValueText(double value);

// A value typed as an argument: the shortest text that reads back to the same
// bits, its exponent without sign or padding unless negative ("1e5", "1e-9",
// "0.7", "293").
std::string ArgumentText(double value);

}  // namespace vantrel
