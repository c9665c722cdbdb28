// Nuclear and magnetic structure factors of a crystal structure, and the
// flipping ratios and asymmetries they give, for moments along the field that
// are the same on every symmetry-equivalent atom of a site (moments induced
// by the field, a collinear ferromagnet):
//   F_N(hkl) = Σ_j b_j·occ_j·exp(2πi·h·r_j)·exp(−B_j·s²),
//   F_M(hkl) = p·Σ_m μ_m·f_m(s)·occ_m·exp(2πi·h·r_m)·exp(−B_m·s²),
// over every atom of the unit cell (the magnetic ones for F_M), s = sin θ/λ.
// F is in 10⁻¹² cm, b the bound coherent scattering lengths, μ in Bohr
// magnetons along the field and p = 0.2695·10⁻¹² cm per μB.
#pragma once

#include <array>
#include <complex>
#include <span>
#include <string>
#include <vector>

#include "vantrel/magnetic/crystal_structure.h"
#include "vantrel/magnetic/form_factors.h"

namespace vantrel::magnetic {

// The magnetic scattering length of one Bohr magneton, 10⁻¹² cm: γ·r₀/2.
inline constexpr double kMagneticLengthPerBohrMagneton = 0.2695;

using Miller = std::array<int, 3>;

// A magnetic site as a user names it: the site's label, its ion (empty: the
// site's type symbol, "Fe3+" say), the Landé factor and the expansion.
struct MagneticSiteInput {
    std::string label;
    std::string ion;
    double g = 2.0;
    double kappa = 1.0;
};

struct MagneticSite {
    std::size_t site;  // index into CrystalStructure::sites
    FormFactor formFactor;
};

struct MagneticSitesOutcome {
    std::vector<MagneticSite> sites;  // in the order given; empty with an error
    std::string error;
    std::vector<std::string> suggestions;  // for a label or ion not found
};

// Refused: a label not among the sites (with the closest), one given twice, an
// ion not tabulated (with the closest), g or κ out of range, g ≠ 2 for an
// ion without ⟨j2⟩.
MagneticSitesOutcome MakeMagneticSites(const CrystalStructure& structure,
                                       const std::vector<MagneticSiteInput>& inputs);

// One atom of the unit cell: an image of a site.
struct CellAtom {
    std::size_t site;
    std::array<double, 3> position;  // fractional, in [0, 1)
};

// Each site's images under every operation, reduced into the cell; images
// closer than 0.05 Å to one already taken are the same atom (a site on a
// special position).
std::vector<CellAtom> UnitCellAtoms(const CrystalStructure& structure);

struct ReflectionFactors {
    Miller hkl;
    double s;                                       // sin θ/λ, Å⁻¹
    std::complex<double> FN;                        // 10⁻¹² cm
    std::vector<std::complex<double>> FMPerMoment;  // per magnetic site, 10⁻¹² cm per μB
};

struct Ratios {
    double R, A;
};

// The factors of a list of reflections as columns, without an allocation per
// reflection: reflection i's F_M per μB of the magnetic sites are
// FMPerMoment[i·sites … (i + 1)·sites). A reflection the symmetry forbids has
// allowed[i] = 0 and F = 0; s is given for every one.
struct FactorColumns {
    std::vector<unsigned char> allowed;
    std::vector<double> s;
    std::vector<std::complex<double>> FN;
    std::vector<std::complex<double>> FMPerMoment;
};

// The structure, its atoms in the cell and its magnetic sites, ready to give
// the factors of any reflection. Holds copies: it outlives its arguments.
class StructureFactorModel {
public:
    StructureFactorModel(const CrystalStructure& structure, std::vector<MagneticSite> magnetic);

    const CrystalStructure& Structure() const noexcept { return structure_; }
    const std::vector<MagneticSite>& MagneticSites() const noexcept { return magnetic_; }
    const std::vector<CellAtom>& Atoms() const noexcept { return atoms_; }

    double SinThetaOverLambda(const Miller& hkl) const noexcept;
    // False where the symmetry makes F vanish whatever the atoms: h·R = h for
    // an operation whose translation gives h·t a fraction.
    bool Allowed(const Miller& hkl) const noexcept;
    ReflectionFactors Factors(const Miller& hkl) const;
    // The same factors, to the last bit, for many reflections at once. Each
    // atom's phase exp(2πi·h·r) is the product of exp(2πi·x·h), exp(2πi·y·k)
    // and exp(2πi·z·l), taken from tables over the indices in use where they
    // are fewer than the reflections, so that a reflection costs no sine.
    FactorColumns FactorsOf(std::span<const Miller> hkl) const;
    // Every reflection but 000 with 0 < s ≤ sMax that the symmetry allows,
    // by s and then h, k, l. Each of a set of equivalent reflections is
    // listed: in a field they differ in q². Refused: sMax not finite and
    // positive, or more than kMaxSearchedReflections indices to search (a
    // 100 Å cell to s = 1.3 Å⁻¹).
    struct ReflectionList {
        std::vector<Miller> reflections;
        std::string error;
    };
    static constexpr double kMaxSearchedReflections = 2e7;
    ReflectionList AllowedReflections(double sMax) const;
    // sin²α, α the angle between the scattering vector of hkl and the
    // direction u·a + v·b + w·c; NaN for 000 or a zero direction.
    double Q2(const Miller& hkl, const std::array<double, 3>& uvw) const noexcept;

private:
    // What Allowed tests: the centring translations (with the identity), then
    // each rotation that fixes some h but 000 with one of its translations. In
    // a group the others differ from that one by a centring translation, so
    // that once h·c is whole for every centring c they say the same. A
    // rotation with a whole translation among them forbids nothing more.
    std::vector<std::array<double, 3>> centring_;
    std::vector<SymmetryOperation> fixing_;
    // Every rotation in fixing_ only permutes the axes and changes their signs
    // (all but hexagonal ones): it fixes only an h with a zero index or two of
    // one size.
    bool permutations_ = true;

    CrystalStructure structure_;
    std::vector<MagneticSite> magnetic_;
    std::vector<CellAtom> atoms_;
    std::array<std::array<double, 3>, 3> metric_, reciprocalMetric_;
};

// The total F_M = Σ_m μ_m·F_M,m of a reflection for the moments of its
// magnetic sites (μB, in their order).
std::complex<double> MagneticStructureFactor(const ReflectionFactors& factors,
                                             std::span<const double> moments);
std::complex<double> MagneticStructureFactor(std::span<const std::complex<double>> FMPerMoment,
                                             std::span<const double> moments) noexcept;

// R = I₊/I₋ and A = (I₊ − I₋)/(I₊ + I₋) with
//   I₊ = |F_N|² + 2P·q²·Re(F_N*·F_M) + q²·|F_M|²,  I₋ = |F_N|² − 2P′·q²·Re(F_N*·F_M) + q²·|F_M|²,
// P′ = (2f − 1)·P; for any F_N and F_M, centric or not. NaN for P, f or q²
// outside the ranges of magnetic_ratio.h, R NaN where I₋ = 0, A where I₊ + I₋ = 0.
Ratios FlippingRatioAndAsymmetry(std::complex<double> FN, std::complex<double> FM, double P,
                                 double f, double q2) noexcept;

// The predictions below as columns: the factors, and per reflection q², F_M for
// the moments given, R and A.
struct PredictedColumns {
    FactorColumns factors;
    std::vector<double> q2;
    std::vector<std::complex<double>> FM;
    std::vector<double> R, A;
};

// One reflection of a structure as a flipping-ratio measurement sees it.
struct PredictedReflection {
    Miller hkl;
    bool allowed;  // false: the symmetry forbids it; F, R and A then say nothing
    double s, q2;
    std::complex<double> FN, FM;  // 10⁻¹² cm; F_M for the moments given
    double R, A;
};

// The flipping ratios and asymmetries the structure predicts for its magnetic
// sites' moments (μB along the field, in their order), a beam of polarisation P
// and flipper probability f, with q² from a field along u·a + v·b + w·c or
// given per reflection (q2[i] for hkl[i]). A forbidden reflection is kept,
// marked, with F = 0 and R = A = NaN: never dropped.
std::vector<PredictedReflection> PredictFlippingRatios(const StructureFactorModel& model,
                                                       std::span<const Miller> hkl,
                                                       std::span<const double> moments, double P,
                                                       double f,
                                                       const std::array<double, 3>& field);
std::vector<PredictedReflection> PredictFlippingRatios(const StructureFactorModel& model,
                                                       std::span<const Miller> hkl,
                                                       std::span<const double> moments, double P,
                                                       double f, std::span<const double> q2);
PredictedColumns PredictFlippingRatioColumns(const StructureFactorModel& model,
                                             std::span<const Miller> hkl,
                                             std::span<const double> moments, double P, double f,
                                             std::span<const double> q2);

}  // namespace vantrel::magnetic
