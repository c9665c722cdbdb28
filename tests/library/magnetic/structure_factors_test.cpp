// Structure factors of two small structures written here, against a direct
// summation that applies every symmetry operation by hand, with the Sears
// scattering lengths and sin θ/λ of the monoclinic cell written out; the
// field's q² against a Cartesian construction; and the refusals of bad CIFs.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "vantrel/magnetic/magnetic_ratio.h"
#include "vantrel/magnetic/structure_factors.h"

#include "model.h"

namespace vantrel::magnetic {
namespace {

using Vector = std::array<double, 3>;
constexpr double kPi = std::numbers::pi;

const char kMonoclinic[] = R"(data_monoclinic
_cell_length_a 5.10
_cell_length_b 7.30
_cell_length_c 6.20
_cell_angle_alpha 90
_cell_angle_beta 104.5
_cell_angle_gamma 90
_space_group_name_H-M_alt 'P 1 21/c 1'
loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
_atom_site_occupancy
_atom_site_U_iso_or_equiv
Fe1 Fe3+ 0.0 0.0 0.0 1.0 0.005
Mn2 Mn2+ 0.2512 0.1234 0.3891(4) 0.8 0.0061
O1 O2- 0.6120 0.3770 0.1450 1.0 0.0090
O2 O2- 0.8800 0.0600 0.7200 . 0.011
)";

// C 2/m through its operations, of which the CIF lists only generators.
const char kCentred[] = R"(data_centred
_cell_length_a 9.80
_cell_length_b 5.60
_cell_length_c 4.90
_cell_angle_alpha 90
_cell_angle_beta 98
_cell_angle_gamma 90
loop_
_space_group_symop_operation_xyz
'x, y, z'
'-x, y, -z'
'-x, -y, -z'
'x+1/2, y+1/2, z'
loop_
_atom_site_label
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
_atom_site_B_iso_or_equiv
Ni1 0.0 0.0 0.5 0.4
O1 0.3 0.0 0.2 0.6
O2 0.12 0.25 0.33 0.7
)";

struct Operation {
    int r[3][3];
    Vector t;
};

// P 1 21/c 1 and C 1 2/m 1, written out.
const std::vector<Operation> kP21c = {
    {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0, 0, 0}},
    {{{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}}, {0, 0.5, 0.5}},
    {{{-1, 0, 0}, {0, -1, 0}, {0, 0, -1}}, {0, 0, 0}},
    {{{1, 0, 0}, {0, -1, 0}, {0, 0, 1}}, {0, 0.5, 0.5}},
};
const std::vector<Operation> kC2m = {
    {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0, 0, 0}},
    {{{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}}, {0, 0, 0}},
    {{{-1, 0, 0}, {0, -1, 0}, {0, 0, -1}}, {0, 0, 0}},
    {{{1, 0, 0}, {0, -1, 0}, {0, 0, 1}}, {0, 0, 0}},
    {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0.5, 0.5, 0}},
    {{{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}}, {0.5, 0.5, 0}},
    {{{-1, 0, 0}, {0, -1, 0}, {0, 0, -1}}, {0.5, 0.5, 0}},
    {{{1, 0, 0}, {0, -1, 0}, {0, 0, 1}}, {0.5, 0.5, 0}},
};

struct HandSite {
    Vector x;
    double b, occupancy, B;  // b in fm
    bool magnetic;
};

// sin θ/λ of a monoclinic cell (unique axis b).
double MonoclinicS(const Miller& h, double a, double b, double c, double betaDegrees) {
    const double beta = betaDegrees * kPi / 180, sb = std::sin(beta);
    const double inverseD2 = (h[0] * h[0] / (a * a) + h[2] * h[2] / (c * c) -
                              2.0 * h[0] * h[2] * std::cos(beta) / (a * c)) /
                                 (sb * sb) +
                             h[1] * h[1] / (b * b);
    return 0.5 * std::sqrt(inverseD2);
}

// Σ over each site's distinct images of b·occ·exp(2πi·h·r)·exp(−B·s²), in 10⁻¹² cm;
// the magnetic sites' sum with b replaced by p·f(s) for one μB each.
struct HandFactors {
    std::complex<double> FN, FM;
};
HandFactors DirectSum(const std::vector<Operation>& ops, const std::vector<HandSite>& sites,
                      const Miller& h, double s, double formFactor) {
    HandFactors sum{};
    for (const HandSite& site : sites) {
        std::vector<Vector> images;
        for (const Operation& op : ops) {
            Vector y;
            for (int i = 0; i < 3; ++i) {
                y[i] = op.r[i][0] * site.x[0] + op.r[i][1] * site.x[1] + op.r[i][2] * site.x[2] +
                       op.t[i];
                y[i] -= std::floor(y[i]);
            }
            bool seen = false;
            for (const Vector& z : images) {
                double d = 0;
                for (int i = 0; i < 3; ++i) {
                    const double e = y[i] - z[i];
                    d += std::fabs(e - std::round(e));
                }
                seen = seen || d < 1e-9;
            }
            if (!seen) images.push_back(y);
        }
        for (const Vector& y : images) {
            const double phase = 2 * kPi * (h[0] * y[0] + h[1] * y[1] + h[2] * y[2]);
            const std::complex<double> term =
                std::polar(site.occupancy * std::exp(-site.B * s * s), phase);
            sum.FN += (site.b / 10) * term;
            if (site.magnetic) sum.FM += (0.2695 * formFactor) * term;
        }
    }
    return sum;
}

TEST(StructureFactors, MonoclinicAgainstDirectSummation) {
    const auto model = Model(kMonoclinic, {{"Fe1", "", 2.0, 1.0}});
    ASSERT_EQ(model.Structure().operations.size(), 4u);
    // Fe1 on an inversion centre has two atoms in the cell, the others four each.
    EXPECT_EQ(model.Atoms().size(), 2u + 4 + 4 + 4);
    const double u = 8 * kPi * kPi;
    const std::vector<HandSite> sites = {
        {{0, 0, 0}, 9.45, 1.0, u * 0.005, true},
        {{0.2512, 0.1234, 0.3891}, -3.73, 0.8, u * 0.0061, false},
        {{0.6120, 0.3770, 0.1450}, 5.803, 1.0, u * 0.0090, false},
        {{0.8800, 0.0600, 0.7200}, 5.803, 1.0, u * 0.011, false},
    };
    const auto iron = MakeFormFactor("Fe3+");
    const auto reflections = model.AllowedReflections(0.5).reflections;
    ASSERT_GT(reflections.size(), 100u);
    for (const Miller& h : reflections) {
        const double s = MonoclinicS(h, 5.10, 7.30, 6.20, 104.5);
        const auto factors = model.Factors(h);
        EXPECT_NEAR(factors.s, s, 1e-14) << h[0] << h[1] << h[2];
        const HandFactors hand = DirectSum(kP21c, sites, h, s, (*iron.formFactor)(s));
        EXPECT_LT(std::abs(factors.FN - hand.FN), 1e-13) << h[0] << h[1] << h[2];
        EXPECT_LT(std::abs(factors.FMPerMoment[0] - hand.FM), 1e-14) << h[0] << h[1] << h[2];
        // The origin is a centre of symmetry: every factor is real.
        EXPECT_LT(std::fabs(factors.FN.imag()), 1e-13);
    }
    // What the screw axis and the glide forbid, and nothing else.
    int absent = 0;
    for (int h = -3; h <= 3; ++h) {
        for (int k = -3; k <= 3; ++k) {
            for (int l = -3; l <= 3; ++l) {
                const bool forbidden = (k == 0 && l % 2 != 0) || (h == 0 && l == 0 && k % 2 != 0);
                EXPECT_EQ(model.Allowed({h, k, l}), !forbidden) << h << k << l;
                if (forbidden) {
                    ++absent;
                    const double s = MonoclinicS({h, k, l}, 5.10, 7.30, 6.20, 104.5);
                    EXPECT_LT(std::abs(DirectSum(kP21c, sites, {h, k, l}, s, 1).FN), 1e-13);
                }
            }
        }
    }
    EXPECT_GT(absent, 0);
    // A limit that would search without end is refused, not run.
    for (const double sMax : {0.0, -1.0, double(NAN), double(INFINITY), 1e6}) {
        const auto list = model.AllowedReflections(sMax);
        EXPECT_TRUE(list.reflections.empty()) << sMax;
        EXPECT_FALSE(list.error.empty()) << sMax;
    }
}

TEST(StructureFactors, CentredGroupCompletedFromGenerators) {
    const auto model = Model(kCentred, {{"Ni1", "Ni2+", 2.2, 1.1}});
    ASSERT_EQ(model.Structure().operations.size(), 8u);
    // Ni1 on 2/m (2 atoms), O1 on the mirror (4), O2 general (8).
    EXPECT_EQ(model.Atoms().size(), 2u + 4 + 8);
    const std::vector<HandSite> sites = {
        {{0, 0, 0.5}, 10.3, 1.0, 0.4, true},
        {{0.3, 0, 0.2}, 5.803, 1.0, 0.6, false},
        {{0.12, 0.25, 0.33}, 5.803, 1.0, 0.7, false},
    };
    const auto nickel = MakeFormFactor("Ni2+", 2.2, 1.1);
    for (const Miller& h : model.AllowedReflections(0.45).reflections) {
        EXPECT_EQ((h[0] + h[1]) % 2, 0) << "C-centring allows h + k even only";
        const double s = MonoclinicS(h, 9.80, 5.60, 4.90, 98);
        const auto factors = model.Factors(h);
        const HandFactors hand = DirectSum(kC2m, sites, h, s, (*nickel.formFactor)(s));
        EXPECT_LT(std::abs(factors.FN - hand.FN), 1e-13) << h[0] << h[1] << h[2];
        EXPECT_LT(std::abs(factors.FMPerMoment[0] - hand.FM), 1e-14) << h[0] << h[1] << h[2];
    }
}

// q² against the angle between Cartesian vectors: a along x, b in the xy plane.
TEST(StructureFactors, FieldDirectionGivesQ2) {
    const auto model = Model(kMonoclinic, {});
    const double a = 5.10, b = 7.30, c = 6.20, beta = 104.5 * kPi / 180;
    const Vector A = {a, 0, 0}, B = {0, b, 0}, C = {c * std::cos(beta), 0, c * std::sin(beta)};
    const auto cross = [](const Vector& x, const Vector& y) {
        return Vector{x[1] * y[2] - x[2] * y[1], x[2] * y[0] - x[0] * y[2],
                      x[0] * y[1] - x[1] * y[0]};
    };
    const auto dot = [](const Vector& x, const Vector& y) {
        return x[0] * y[0] + x[1] * y[1] + x[2] * y[2];
    };
    const double volume = dot(A, cross(B, C));
    const Vector As = cross(B, C), Bs = cross(C, A), Cs = cross(A, B);
    const Vector fields[] = {{0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 1}, {1, -2, 3}};
    const Miller reflections[] = {{1, 0, 0}, {0, 2, 0}, {1, 1, 1}, {-2, 1, 3}, {0, 0, 2}};
    for (const Vector& uvw : fields) {
        Vector H;
        for (int i = 0; i < 3; ++i) H[i] = uvw[0] * A[i] + uvw[1] * B[i] + uvw[2] * C[i];
        for (const Miller& h : reflections) {
            Vector Q;
            for (int i = 0; i < 3; ++i)
                Q[i] = (h[0] * As[i] + h[1] * Bs[i] + h[2] * Cs[i]) / volume;
            const double cosine = dot(Q, H) / std::sqrt(dot(Q, Q) * dot(H, H));
            EXPECT_NEAR(model.Q2(h, uvw), 1 - cosine * cosine, 1e-14)
                << uvw[0] << uvw[1] << uvw[2] << " " << h[0] << h[1] << h[2];
        }
    }
    EXPECT_EQ(model.Q2({0, 1, 0}, {0, 1, 0}), 0.0);
    EXPECT_TRUE(std::isnan(model.Q2({0, 0, 0}, {0, 1, 0})));
    EXPECT_TRUE(std::isnan(model.Q2({1, 0, 0}, {0, 0, 0})));
}

// A reflection along the field has q² = 0 exactly, also where the metrics
// round (a cubic cell along a diagonal, a monoclinic one along b), and so no
// ratio; one beside it keeps its q².
TEST(StructureFactors, ReflectionAlongTheFieldHasNoQ2) {
    const auto cubic = Model(R"(data_cubic
_cell_length_a 2.909
_cell_length_b 2.909
_cell_length_c 2.909
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
_space_group_name_H-M_alt 'P m -3 m'
loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
Fe1 Fe 0 0 0
)",
                             {});
    const std::array<double, 3> diagonals[] = {{1, -1, 0}, {1, 1, 1}, {2, -1, 3}};
    for (const auto& uvw : diagonals) {
        for (const int n : {1, 2, 5}) {
            const Miller h = {n * static_cast<int>(uvw[0]), n * static_cast<int>(uvw[1]),
                              n * static_cast<int>(uvw[2])};
            EXPECT_EQ(cubic.Q2(h, uvw), 0.0) << uvw[0] << uvw[1] << uvw[2] << " " << n;
        }
    }
    EXPECT_NEAR(cubic.Q2({1, -1, 1}, {1, -1, 0}), 1.0 / 3.0, 1e-15);
    const auto monoclinic = Model(kMonoclinic, {});
    EXPECT_EQ(monoclinic.Q2({0, 3, 0}, {0, 2, 0}), 0.0);
}

// A centric reflection's ratios are those of its γ; the ratios hold for the
// complex factors of any reflection, and the moments add.
TEST(StructureFactors, RatiosOfTheStructure) {
    const auto model = Model(kMonoclinic, {{"Fe1", "", 2.0, 1.0}, {"Mn2", "", 2.0, 1.0}});
    const double moments[] = {1.7, -0.4};
    const double P = 0.93, f = 0.98;
    for (const Miller& h : model.AllowedReflections(0.4).reflections) {
        const auto factors = model.Factors(h);
        const auto FM = MagneticStructureFactor(factors, moments);
        EXPECT_EQ(FM, moments[0] * factors.FMPerMoment[0] + moments[1] * factors.FMPerMoment[1]);
        const double q2 = model.Q2(h, {0, 1, 0});
        if (!(q2 > 0) || std::abs(factors.FN) < 0.05) continue;
        const Ratios ratios = FlippingRatioAndAsymmetry(factors.FN, FM, P, f, q2);
        const double gamma = FM.real() / factors.FN.real();
        EXPECT_NEAR(ratios.R, FlippingRatioFromGamma(gamma, P, f, q2), 1e-12 * ratios.R);
        EXPECT_NEAR(ratios.A, AsymmetryFromGamma(gamma, P, f, q2), 1e-12);
    }
    // A reflection without nuclear scattering flips nothing; without either, nothing is known.
    EXPECT_EQ(FlippingRatioAndAsymmetry(0.0, {0.3, 0}, P, f, 1).R, 1.0);
    EXPECT_TRUE(std::isnan(FlippingRatioAndAsymmetry(0.0, 0.0, P, f, 1).R));
    EXPECT_TRUE(std::isnan(FlippingRatioAndAsymmetry(1.0, 0.1, 0, f, 1).R));
    EXPECT_TRUE(std::isnan(FlippingRatioAndAsymmetry(1.0, 0.1, P, f, 0).A));
}

// Predictions row by row: as the factors give them, the field's q² or the
// given one, and a forbidden reflection kept and marked.
TEST(StructureFactors, PredictedReflectionsKeepEveryRow) {
    const auto model = Model(kMonoclinic, {{"Fe1", "", 2.0, 1.0}});
    const double moment[] = {2.5};
    const Miller hkl[] = {{1, 1, 0}, {0, 1, 0}, {1, 0, 1}, {2, 0, -2}, {0, 0, 0}};
    const auto rows = PredictFlippingRatios(model, hkl, moment, 0.95, 0.99, {0, 1, 0});
    ASSERT_EQ(rows.size(), 5u);
    const double q2[] = {0.3, 0.5, 0.7, 0.9, 1.0};
    const auto given = PredictFlippingRatios(model, hkl, moment, 0.95, 0.99, q2);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].hkl, hkl[i]);
        EXPECT_EQ(rows[i].allowed, model.Allowed(hkl[i])) << i;
        EXPECT_EQ(given[i].q2, q2[i]);
        if (!rows[i].allowed) {
            EXPECT_EQ(rows[i].FN, 0.0);
            EXPECT_TRUE(std::isnan(rows[i].R) && std::isnan(given[i].A)) << i;
            continue;
        }
        if (i == 4) {  // 000 is no reflection: it has no direction to the field
            EXPECT_TRUE(std::isnan(rows[i].q2) && std::isnan(rows[i].R));
            continue;
        }
        const auto factors = model.Factors(hkl[i]);
        EXPECT_EQ(rows[i].q2, model.Q2(hkl[i], {0, 1, 0}));
        EXPECT_EQ(rows[i].FM, 2.5 * factors.FMPerMoment[0]);
        const Ratios expected =
            FlippingRatioAndAsymmetry(factors.FN, rows[i].FM, 0.95, 0.99, q2[i]);
        EXPECT_EQ(given[i].R, expected.R);
        EXPECT_EQ(given[i].A, expected.A);
    }
    EXPECT_FALSE(rows[1].allowed);  // 010: the screw axis
    EXPECT_FALSE(rows[2].allowed);  // 101: the glide
    EXPECT_TRUE(rows[3].allowed);
}

// A CIF of one cell, one symmetry item and sites "label x y z", each a line.
std::string Cif(const char* cell, const char* symmetry, const std::vector<std::string>& sites) {
    std::string text = "data_t\n";
    const char* names[] = {"length_a",    "length_b",   "length_c",
                           "angle_alpha", "angle_beta", "angle_gamma"};
    std::istringstream values(cell);
    for (const char* name : names) {
        std::string value;
        values >> value;
        text += std::string("_cell_") + name + " " + value + "\n";
    }
    text += std::string(symmetry) + "\n";
    text += "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n";
    for (const std::string& site : sites) text += site + "\n";
    return text;
}

// An element's structure, its one site written as pairs rather than a loop.
TEST(StructureFactors, OneSiteWrittenAsPairs) {
    const char cif[] = R"(data_nickel
_cell_length_a 3.524
_cell_length_b 3.524
_cell_length_c 3.524
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
_space_group_name_H-M_alt 'F m -3 m'
_atom_site_label Ni1
_atom_site_fract_x 0
_atom_site_fract_y 0
_atom_site_fract_z 0.0x
)";
    const auto bad = ReadCrystalStructure(cif, "ni.cif");
    EXPECT_NE(bad.error.find("ni.cif:12: _atom_site_fract_z of site Ni1 '0.0x' is not a number"),
              std::string::npos)
        << bad.error;
    // The same text with the number mended (written out: GCC 12 warns falsely
    // of overlapping copies in std::string::replace here).
    const std::string text = cif;
    const std::size_t at = text.find("0.0x");
    const std::string good = text.substr(0, at) + "0" + text.substr(at + 4);
    const auto model = Model(good.c_str(), {{"Ni1", "Ni", 2, 1}});
    ASSERT_EQ(model.Atoms().size(), 4u);
    // Face-centred: 111 has all four atoms in phase, 200 too; 100 and 110 are forbidden.
    EXPECT_NEAR(model.Factors({1, 1, 1}).FN.real(), 4 * 1.03, 1e-13);
    EXPECT_FALSE(model.Allowed({1, 0, 0}));
    EXPECT_FALSE(model.Allowed({1, 1, 0}));
}

// Each site's atoms in the cell are its Wyckoff multiplicity, whatever names the
// group and however the coordinates of a special position are rounded.
TEST(StructureFactors, AtomsOnSpecialPositions) {
    struct Case {
        const char* cell;
        const char* symmetry;
        std::vector<std::string> sites;
        std::vector<std::size_t> multiplicities;
    };
    const Case cases[] = {
        // A pyrochlore in the second origin choice: 16d, 16c, 48f, 8b.
        {"10.1 10.1 10.1 90 90 90",
         "_space_group_name_H-M_alt 'F d -3 m :2'",
         {"Ho1 0.5 0.5 0.5", "Ti1 0 0 0", "O1 0.3310 0.125 0.125", "O2 0.375 0.375 0.375"},
         {16, 16, 48, 8}},
        // Rhombohedral on hexagonal axes, told apart from rhombohedral axes by γ: 3a, 6c, 9d, 18h.
        {"5 5 14 90 90 120",
         "_symmetry_space_group_name_H-M 'R -3 m'",
         {"Mn1 0 0 0", "Mn2 0 0 0.25", "Mn3 0.5 0 0.5", "O1 0.1667 0.8333 0.1"},
         {3, 6, 9, 18}},
        // 1/3 and 2/3 printed to four decimals: 2c, 4f, 12k.
        {"4 4 6.5 90 90 120",
         "_space_group_name_H-M_alt 'P 63/m m c'",
         {"Fe1 0.3333 0.6667 0.25", "Fe2 0.3333 0.6667 0.06", "O1 0.1700 0.3400 0.05"},
         {2, 4, 12}},
        // P 21/c by its Hall symbol and by its number: 2a on the centre, 4e.
        {"5 6 7 90 101 90",
         "_space_group_name_Hall '-P 2ybc'",
         {"Fe1 0 0 0", "O1 0.1 0.2 0.3"},
         {2, 4}},
        {"5 6 7 90 101 90", "_space_group_IT_number 14", {"Fe1 0 0 0", "O1 0.1 0.2 0.3"}, {2, 4}},
    };
    for (const Case& c : cases) {
        const auto read = ReadCrystalStructure(Cif(c.cell, c.symmetry, c.sites), "t.cif");
        ASSERT_TRUE(read.structure) << c.symmetry << ": " << read.error;
        std::vector<std::size_t> counts(c.sites.size());
        for (const CellAtom& atom : UnitCellAtoms(*read.structure)) ++counts[atom.site];
        EXPECT_EQ(counts, c.multiplicities) << c.symmetry;
    }
}

// Where the text differs from kMonoclinic by one value, the message names its line.
int LineOf(const std::string& text, const std::string& piece) {
    const auto at = text.find(piece);
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + at, '\n'));
}

TEST(StructureFactors, BadCifsNameLineAndItem) {
    struct Case {
        const char* from;
        const char* to;
        const char* message;  // with the line of `to` before it where `lined`
        bool lined;
    };
    const Case cases[] = {
        {"0.2512 0.1234", "0.2512 0.12x4",
         "_atom_site_fract_y of site Mn2 '0.12x4' is not a number", true},
        {"0.8800 0.0600 0.7200", "0.8800 ? 0.7200", "_atom_site_fract_y of site O2 is missing",
         true},
        {"0.8 0.0061", "1.8 0.0061", "_atom_site_occupancy of site Mn2 '1.8' is not within 0 … 1",
         true},
        {"O1 O2- 0.6120", "O1 Xx 0.6120", "_atom_site_type_symbol 'Xx' of site O1 names no element",
         true},
        {"_cell_length_b 7.30", "_cell_length_b 7.3.0", "_cell_length_b '7.3.0' is not a number",
         true},
        {"_cell_angle_beta 104.5", "_cell_angle_beta 190", "_cell_angle_beta '190' is not an angle",
         true},
        {"'P 1 21/c 1'", "'P 1 21/q 1'", "_space_group_name_H-M_alt 'P 1 21/q 1' is not", true},
        {"_cell_length_c 6.20\n", "", "has no _cell_length_c", false},
        {"_space_group_name_H-M_alt 'P 1 21/c 1'\n", "", "gives no symmetry", false},
        {"O2 O2- 0.8800", "O1 O2- 0.8800", "site label O1 is given twice", true},
        {"_cell_angle_gamma 90", "_cell_angle_gamma 90 'unclosed", "test.cif:", false},
    };
    for (const Case& c : cases) {
        std::string text = kMonoclinic;
        const auto at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        text.replace(at, std::string(c.from).size(), c.to);
        const auto read = ReadCrystalStructure(text, "test.cif");
        EXPECT_FALSE(read.structure) << c.to;
        std::string expected = c.message;
        if (c.lined) expected = "test.cif:" + std::to_string(LineOf(text, c.to)) + ": " + expected;
        EXPECT_NE(read.error.find(expected), std::string::npos)
            << read.error << "\n  expected: " << expected;
    }
    // An operation of the list that is none, on its own line.
    std::string text = kCentred;
    text.replace(text.find("'-x, -y, -z'"), 12, "'-x, -q, -z'");
    const auto read = ReadCrystalStructure(text, "c.cif");
    EXPECT_NE(read.error.find("c.cif:" + std::to_string(LineOf(text, "'-x, -q")) +
                              ": _space_group_symop_operation_xyz '-x, -q, -z' is not a symmetry"),
              std::string::npos)
        << read.error;
    EXPECT_NE(ReadCrystalStructure("data_x\n_cell_length_a 3\n", "x.cif").error.find("atom sites"),
              std::string::npos);
    EXPECT_FALSE(ReadCrystalStructureFile("/nonexistent/x.cif").error.empty());
}

TEST(StructureFactors, MagneticSitesNotFoundGetSuggestions) {
    const auto read = ReadCrystalStructure(kMonoclinic, "test.cif");
    ASSERT_TRUE(read.structure);
    struct Case {
        MagneticSiteInput input;
        const char* message;
        const char* suggestion;
    };
    const Case cases[] = {
        {{"Fe2", "", 2, 1}, "no site 'Fe2' in data_monoclinic; did you mean Fe1", "Fe1"},
        {{"fe1", "", 2, 1}, "no site 'fe1'", "Fe1"},
        {{"O1", "", 2, 1}, "site O1: no magnetic form factor for the ion 'O2-'", nullptr},
        {{"Fe1", "Fe6+", 2, 1}, "site Fe1: no magnetic form factor for the ion 'Fe6+'", "Fe1+"},
        {{"Fe1", "Fe3+", -1, 1}, "site Fe1: the Landé factor g", nullptr},
    };
    for (const Case& c : cases) {
        const auto outcome = MakeMagneticSites(*read.structure, {c.input});
        EXPECT_TRUE(outcome.sites.empty());
        EXPECT_NE(outcome.error.find(c.message), std::string::npos) << outcome.error;
        if (c.suggestion != nullptr) {
            ASSERT_FALSE(outcome.suggestions.empty()) << outcome.error;
            EXPECT_EQ(outcome.suggestions.front(), c.suggestion);
        }
    }
    const auto twice = MakeMagneticSites(*read.structure, {{"Fe1", "", 2, 1}, {"Fe1", "", 2, 1}});
    EXPECT_NE(twice.error.find("given twice"), std::string::npos);
}

// A pyrochlore: 88 atoms in the cell, on special positions and one general coordinate.
const char kPyrochlore[] = R"(data_pyrochlore
_cell_length_a 10.06
_cell_length_b 10.06
_cell_length_c 10.06
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
_space_group_name_H-M_alt 'F d -3 m :2'
loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
_atom_site_B_iso_or_equiv
Ho1 Ho3+ 0.5 0.5 0.5 0.31
Mn1 Mn4+ 0 0 0 0.22
O1 O2- 0.3285 0.125 0.125 0.45
O2 O2- 0.375 0.375 0.375 0.38
)";

// The factors of a list at once are those of each reflection alone, to the
// bit: from one table of phases for the list, or from rows for each
// reflection where the indices spread too far for a table to pay.
TEST(StructureFactors, ManyAtOnceAsOneByOne) {
    const auto pyrochlore = Model(kPyrochlore, {{"Ho1", "Ho3+", 1.25, 1.0}, {"Mn1", "", 2.0, 1.0}});
    const auto monoclinic = Model(kMonoclinic, {{"Fe1", "", 2.0, 1.0}, {"Mn2", "", 2.0, 1.0}});
    ASSERT_EQ(pyrochlore.Atoms().size(), 88u);
    std::vector<Miller> near = pyrochlore.AllowedReflections(0.6).reflections;
    near.insert(near.end(), {{1, 0, 0}, {0, 0, 2}, {-3, -3, -3}, {0, 0, 0}});  // 100, 002 forbidden
    const std::vector<Miller> spread = {{1, 1, 1}, {157, -203, 88}, {-4001, 3, 2999}, {2, 2, 0}};
    struct Case {
        const StructureFactorModel& model;
        std::vector<Miller> hkl;
    };
    const Case cases[] = {{pyrochlore, near},
                          {pyrochlore, spread},
                          {pyrochlore, {}},
                          {monoclinic, monoclinic.AllowedReflections(0.7).reflections},
                          {monoclinic, {{0, 1, 0}, {3, -2, 50}}}};
    for (const Case& c : cases) {
        const FactorColumns columns = c.model.FactorsOf(c.hkl);
        const std::size_t sites = c.model.MagneticSites().size();
        ASSERT_EQ(columns.FN.size(), c.hkl.size());
        ASSERT_EQ(columns.FMPerMoment.size(), c.hkl.size() * sites);
        for (std::size_t i = 0; i < c.hkl.size(); ++i) {
            const Miller& h = c.hkl[i];
            const std::string row =
                std::to_string(h[0]) + " " + std::to_string(h[1]) + " " + std::to_string(h[2]);
            EXPECT_EQ(columns.allowed[i] != 0, c.model.Allowed(h)) << row;
            EXPECT_EQ(columns.s[i], c.model.SinThetaOverLambda(h)) << row;
            const ReflectionFactors one = c.model.Factors(h);
            const bool allowed = columns.allowed[i] != 0;
            EXPECT_EQ(columns.FN[i], allowed ? one.FN : 0.0) << row;
            for (std::size_t m = 0; m < sites; ++m)
                EXPECT_EQ(columns.FMPerMoment[i * sites + m],
                          allowed ? one.FMPerMoment[m] : std::complex<double>{})
                    << row << " site " << m;
        }
    }
}

// Each phase is a product of exp(2πi·x·h) per axis, each turned from x·h
// reduced to a fraction: against long-double arithmetic it holds to the
// rounding of the coordinates' products with the indices, however large they are.
TEST(StructureFactors, PhasesOfLargeIndicesAgreeWithLongDouble) {
    const char* cif = R"(data_p1
_cell_length_a 5.1
_cell_length_b 6.2
_cell_length_c 7.3
_cell_angle_alpha 80
_cell_angle_beta 95
_cell_angle_gamma 101
_space_group_name_H-M_alt 'P 1'
loop_
_atom_site_label
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
Fe1 0.1234567 0.7654321 0.3141593
)";
    const auto model = Model(cif, {});
    const double b = model.Structure().sites[0].scatteringLength;
    const std::array<double, 3> x = model.Atoms()[0].position;
    const std::vector<Miller> hkl = {{1, 2, 3},          {-7, 11, -13},      {40, -37, 25},
                                     {997, -1013, 1500}, {65536, 3, -77777}, {-999999, 1, 0}};
    const FactorColumns columns = model.FactorsOf(hkl);
    const long double twoPi = 2.0L * 3.14159265358979323846264338327950288L;
    for (std::size_t i = 0; i < hkl.size(); ++i) {
        const Miller& h = hkl[i];
        long double turns = 0.0L, size = 0.0L;
        for (int j = 0; j < 3; ++j) {
            turns += static_cast<long double>(h[j]) * x[j];
            size += std::fabs(static_cast<long double>(h[j]) * x[j]);
        }
        turns -= std::floor(turns);
        const std::complex<double> expected(static_cast<double>(std::cos(twoPi * turns)),
                                            static_cast<double>(std::sin(twoPi * turns)));
        const double eps = std::numeric_limits<double>::epsilon();
        const double bound = 2.0 * kPi * eps * static_cast<double>(size) + 8.0 * eps;
        for (const std::complex<double> phase : {columns.FN[i] / b, model.Factors(h).FN / b})
            EXPECT_LT(std::abs(phase - expected), bound) << h[0] << " " << h[1] << " " << h[2];
    }
}

// Atoms at 0 and ½ have phases ±1 with no rounding, at any index: rock salt's
// factors are 4(b₁ ± b₂) exactly, real exactly.
TEST(StructureFactors, QuarterTurnsAreExact) {
    const std::string cif = Cif("5.64 5.64 5.64 90 90 90", "_space_group_name_H-M_alt 'F m -3 m'",
                                {"Na1 0 0 0", "Cl1 0.5 0.5 0.5"});
    const auto model = Model(cif.c_str(), {});
    const double na = model.Structure().sites[0].scatteringLength;
    const double cl = model.Structure().sites[1].scatteringLength;
    const struct {
        Miller hkl;
        double FN;
    } cases[] = {{{1, 1, 1}, na * 4.0 + cl * -4.0},
                 {{2, 0, 0}, na * 4.0 + cl * 4.0},
                 {{1001, 1001, 999}, na * 4.0 + cl * -4.0},
                 {{-6, 2, 40}, na * 4.0 + cl * 4.0},
                 {{3, -5, 7}, na * 4.0 + cl * -4.0}};
    for (const auto& c : cases) {
        const ReflectionFactors one = model.Factors(c.hkl);
        EXPECT_EQ(one.FN.real(), c.FN) << c.hkl[0] << " " << c.hkl[1] << " " << c.hkl[2];
        EXPECT_EQ(one.FN.imag(), 0.0) << c.hkl[0] << " " << c.hkl[1] << " " << c.hkl[2];
    }
}

// The extinctions, as every operation of the group says them (h·R = h with h·t
// not whole), and the operations in one order, by rotation and translation.
TEST(StructureFactors, AllowedAsEveryOperationSays) {
    const struct {
        const char* name;
        bool hexagonal;
    } groups[] = {{"'F d -3 m :2'", false}, {"'I 41/a m d :2'", false}, {"'R -3 m'", true},
                  {"'P 63/m m c'", true},   {"'P 1 21/c 1'", false},    {"'P 21 21 21'", false},
                  {"'P 1'", false},         {"'I a -3 d'", false}};
    for (const auto& [group, hexagonal] : groups) {
        const std::string symmetry = std::string("_space_group_name_H-M_alt ") + group;
        const std::string cif = Cif(hexagonal ? "5 5 14 90 90 120" : "7 8 9 90 90 90",
                                    symmetry.c_str(), {"Fe1 0.1 0.2 0.3"});
        const auto model = Model(cif.c_str(), {});
        const auto& ops = model.Structure().operations;
        const auto key = [](const SymmetryOperation& op) {
            return std::tie(op.rotation, op.translation);
        };
        for (std::size_t i = 1; i < ops.size(); ++i)
            EXPECT_TRUE(key(ops[i - 1]) < key(ops[i])) << group << " operation " << i;
        int forbidden = 0;
        for (int h = -6; h <= 6; ++h) {
            for (int k = -6; k <= 6; ++k) {
                for (int l = -6; l <= 6; ++l) {
                    bool allowed = true;
                    for (const SymmetryOperation& op : ops) {
                        bool fixed = true;
                        double phase = 0.0;
                        for (int j = 0; j < 3; ++j) {
                            fixed = fixed && h * op.rotation[0][j] + k * op.rotation[1][j] +
                                                     l * op.rotation[2][j] ==
                                                 (j == 0   ? h
                                                  : j == 1 ? k
                                                           : l);
                            phase += (j == 0 ? h : j == 1 ? k : l) * op.translation[j];
                        }
                        allowed =
                            allowed && !(fixed && std::fabs(phase - std::round(phase)) > 1e-6);
                    }
                    forbidden += !allowed;
                    EXPECT_EQ(model.Allowed({h, k, l}), allowed) << group << " " << h << k << l;
                }
            }
        }
        EXPECT_EQ(forbidden == 0, std::string(group) == "'P 1'") << group;
    }
}

// A cubic cell's reflections of one h² + k² + l² share a sin θ/λ that their
// rounding tells apart in the last bits: listed together all the same, in
// the order of their indices.
TEST(StructureFactors, EquivalentReflectionsListedTogether) {
    const auto pyrochlore = Model(kPyrochlore, {});
    const auto list = pyrochlore.AllowedReflections(0.6).reflections;
    ASSERT_GT(list.size(), 500u);
    const auto square = [](const Miller& h) { return h[0] * h[0] + h[1] * h[1] + h[2] * h[2]; };
    for (std::size_t i = 1; i < list.size(); ++i) {
        const int before = square(list[i - 1]), here = square(list[i]);
        EXPECT_TRUE(before < here || (before == here && list[i - 1] < list[i]))
            << list[i - 1][0] << list[i - 1][1] << list[i - 1][2] << " before " << list[i][0]
            << list[i][1] << list[i][2];
    }
}

}  // namespace
}  // namespace vantrel::magnetic
