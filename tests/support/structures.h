// Crystal structures the tests of several layers share, as CIF text.
#pragma once

namespace vantrel::testing {

// Acentric (P 1), with two iron sites and two oxygens whose x differ by a
// half: F_N(h00) vanishes for odd h although the symmetry allows it, F_M does
// not unless the irons' moments and form factors agree. The oxygens keep the
// two iron sites apart: without them, swapping their moments gives the same
// ratios.
inline constexpr char kTwoIrons[] = R"(data_two_irons
_cell_length_a 4.20
_cell_length_b 5.30
_cell_length_c 4.70
_cell_angle_alpha 92
_cell_angle_beta 97
_cell_angle_gamma 101
_space_group_name_H-M_alt 'P 1'
loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
_atom_site_B_iso_or_equiv
Fe1 Fe3+ 0.0 0.0 0.0 0.4
Fe2 Fe2+ 0.5 0.23 0.11 0.4
O1 O2- 0.0 0.41 0.67 0.7
O2 O2- 0.5 0.12 0.29 0.7
)";

}  // namespace vantrel::testing
