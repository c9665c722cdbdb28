// The arguments of one reflection, shared by the flipping-ratio and asymmetry
// cases: peak +, background +, peak −, background −, then the four counting
// times and the monitor counts of peak and background; the dead-time levels
// append τ and τ₂, their deviations append σ_τ and σ_τ₂.
#pragma once

#include <vector>

#include "support/edge_cases.h"

namespace vantrel::testing::reflection {

inline const std::vector<double> kOpt = {1000, 200, 300, 150, 60, 30, 50, 40, 5000, 2500};
inline const std::vector<double> kDDT = With(kOpt, {0.001, 1e-7});
inline const std::vector<double> kDDTSDev = With(kDDT, {1e-4, 1e-8});
// q_p+ = 0: one count in unit time with unit dead time.
inline const std::vector<double> kParalysed =
    Replaced(Replaced(Replaced(Replaced(kDDT, 0, 1), 4, 1), 10, 1), 11, 0);
inline const std::vector<double> kParalysedSDev = With(kParalysed, {1e-4, 1e-8});

}  // namespace vantrel::testing::reflection
