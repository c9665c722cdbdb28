// A column of doubles in memory, as the column kernel reads and writes it:
// element i is data[i · stride]. Apart from the catalogue, so that the
// arithmetic's column loops need nothing but this.
#pragma once

#include <cstddef>

namespace vantrel {

// Stride 1 for an array, 0 for one value that every element shares, another
// value for a column of a table stored by rows. Strides count doubles, not
// bytes, and may be negative.
struct InputColumn {
    const double* data;
    std::ptrdiff_t stride = 1;
};

struct OutputColumn {
    double* data;
    std::ptrdiff_t stride = 1;
};

}  // namespace vantrel
