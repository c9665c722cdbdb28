// A crystal structure as the structure factors need it, read from a
// small-molecule CIF: the cell, every symmetry operation of the space group
// (centring included), and the sites of the asymmetric unit with their
// scattering lengths.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::magnetic {

// x′ = R·x + t on fractional coordinates.
struct SymmetryOperation {
    std::array<std::array<int, 3>, 3> rotation;
    std::array<double, 3> translation;
};

struct Site {
    std::string label;               // _atom_site_label
    std::string type;                // _atom_site_type_symbol, or the label's element part
    std::array<double, 3> position;  // fractional
    double occupancy = 1.0;          // of the site, not divided by its multiplicity
    double B = 0.0;                  // isotropic displacement, Å² (8π²·U_iso)
    double scatteringLength = 0.0;   // bound coherent, 10⁻¹² cm
    int line = 0;                    // the site's row in the CIF, for messages
};

struct CrystalStructure {
    std::string name;                           // the data block's name
    std::array<double, 6> cell;                 // a, b, c in Å; α, β, γ in degrees
    std::string spaceGroup;                     // as the CIF gives it, or "from its operations"
    std::vector<SymmetryOperation> operations;  // the whole group, centring included
    std::vector<Site> sites;

    // The site of that label, or nullptr.
    const Site* FindSite(std::string_view label) const noexcept;
    // Up to three labels of sites close to one that matches none.
    std::vector<std::string> ClosestLabels(std::string_view label) const;
};

struct CrystalStructureOutcome {
    std::optional<CrystalStructure> structure;
    std::string error;  // why there is none: the line and item at fault where there is one
};

// The first data block of a CIF that has atom sites. Refused: a CIF that does
// not parse, no cell or a degenerate one, no space group (neither operations,
// a Hermann–Mauguin nor a Hall symbol) or one not recognised, a site without
// coordinates, a coordinate, occupancy or displacement that is not a number,
// an element without a tabulated scattering length. `source` names the text
// in messages (a file name).
CrystalStructureOutcome ReadCrystalStructure(std::string_view cif, std::string_view source);
// The file's bytes go into `text` where it is given, for a caller that keeps
// the CIF (to send it to another process, say).
CrystalStructureOutcome ReadCrystalStructureFile(const std::string& path,
                                                 std::string* text = nullptr);

}  // namespace vantrel::magnetic
