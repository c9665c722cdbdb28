// What the fit of moments and the measurement plan both say of a reflection:
// its name in a message, a number in a message, and the size F_N is measured
// against when it is taken to vanish.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

#include "vantrel/magnetic/structure_factors.h"

namespace vantrel::magnetic {

inline std::string HklText(const Miller& hkl) {
    return "reflection " + std::to_string(hkl[0]) + " " + std::to_string(hkl[1]) + " " +
           std::to_string(hkl[2]);
}

inline std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// Σ|b·occ| over the cell: the largest |F_N| any reflection can have.
inline double NuclearScale(const StructureFactorModel& model) {
    double scale = 0.0;
    for (const CellAtom& atom : model.Atoms()) {
        const Site& site = model.Structure().sites[atom.site];
        scale += std::abs(site.scatteringLength) * std::abs(site.occupancy);
    }
    return scale;
}

}  // namespace vantrel::magnetic
