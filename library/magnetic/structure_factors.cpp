// Structure factors of the atoms in the cell. The structure comes from
// crystal_structure_cif.cpp; nothing here knows the CIF.
//
// This subsystem has no plug-in results to keep, so its π is the nearest
// double (std::numbers::pi). A phase exp(2πi·h·r) is the product of one
// factor per axis, exp(2πi·x·h), each reduced to a fraction of a turn before
// it is multiplied by 2π: its error is that of x·h however large h, and an
// atom on quarters of the axes has phases ±1 and ±i exactly.
#include "vantrel/magnetic/structure_factors.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

#include "arithmetic/square.h"
#include "magnetic/closest_names.h"
#include "magnetic/polarised_intensities.h"
#include "vantrel/nan.h"

namespace vantrel::magnetic {
namespace {

using Matrix = std::array<std::array<double, 3>, 3>;

// Images of one site nearer than this are one atom on a special position: well
// above the rounding of coordinates printed to four decimals (0.001 Å in a 10 Å
// cell), well below any distance between atoms.
constexpr double kSameAtomDistance = 0.05;  // Å

Matrix Metric(const std::array<double, 6>& cell) {
    const double d = std::numbers::pi / 180.0;
    const double a = cell[0], b = cell[1], c = cell[2];
    const double ca = std::cos(cell[3] * d), cb = std::cos(cell[4] * d), cg = std::cos(cell[5] * d);
    return {{{a * a, a * b * cg, a * c * cb},
             {a * b * cg, b * b, b * c * ca},
             {a * c * cb, b * c * ca, c * c}}};
}

Matrix Inverse(const Matrix& m) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    Matrix inverse;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const int i1 = (j + 1) % 3, i2 = (j + 2) % 3, j1 = (i + 1) % 3, j2 = (i + 2) % 3;
            inverse[i][j] = (m[i1][j1] * m[i2][j2] - m[i1][j2] * m[i2][j1]) / det;
        }
    }
    return inverse;
}

template <typename V>
double Quadratic(const Matrix& m, const V& x) {
    double sum = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) sum += x[i] * m[i][j] * x[j];
    }
    return sum;
}

double Fraction(double x) { return x - std::floor(x); }

// A fraction of a turn, to the nearest whole one.
double Wrapped(double d) { return d - std::round(d); }

// The difference of two fractional coordinates in [0, 1], to the nearest
// lattice image: Wrapped for d in [−1, 1], without a call.
double WrappedDifference(double d) { return d >= 0.5 ? d - 1.0 : d <= -0.5 ? d + 1.0 : d; }

// exp(2πi·x·h) of one coordinate and index, x·h reduced to a fraction of a turn
// first. Quarter turns are exact: an atom at 0, ¼, ½ or ¾ along an axis has
// phases ±1 and ±i there without rounding, and so do their products.
void Turn(double x, int h, double& re, double& im) {
    static constexpr double kCos[4] = {1.0, 0.0, -1.0, 0.0}, kSin[4] = {0.0, 1.0, 0.0, -1.0};
    const double turns = Fraction(h * x);
    const double quarters = 4.0 * turns;
    if (quarters == std::floor(quarters)) {
        // A fraction of a tiny negative x·h rounds to 1: four quarters, a whole turn.
        const int q = static_cast<int>(quarters) & 3;
        re = kCos[q];
        im = kSin[q];
        return;
    }
    const double angle = (2.0 * std::numbers::pi) * turns;
    re = std::cos(angle);
    im = std::sin(angle);
}

// exp(2πi·x·h) of every atom's coordinate along each axis, for the indices
// from lo to hi: one row of atoms per index, real and imaginary parts apart, so
// that a reflection's phases are products down three contiguous rows. The
// atoms of a cell share few coordinates (symmetry puts them on the same
// planes), and each is turned once per index.
class PhaseTables {
public:
    explicit PhaseTables(const std::vector<CellAtom>& atoms) : atoms_(atoms.size()) {
        for (int axis = 0; axis < 3; ++axis) {
            std::vector<double>& values = values_[axis];
            for (const CellAtom& atom : atoms) values.push_back(atom.position[axis]);
            std::sort(values.begin(), values.end());
            values.erase(std::unique(values.begin(), values.end()), values.end());
            of_[axis].resize(atoms_);
            for (std::size_t a = 0; a < atoms_; ++a)
                of_[axis][a] = static_cast<std::size_t>(
                    std::lower_bound(values.begin(), values.end(), atoms[a].position[axis]) -
                    values.begin());
        }
    }
    // The rows from lo to hi; of those only the ones flagged in inUse (one flag
    // per row of each axis) where it is given: a list of reflections leaves
    // many indices of its range unused.
    using RowsInUse = std::array<std::vector<unsigned char>, 3>;
    void Fill(const Miller& lo, const Miller& hi, const RowsInUse* inUse = nullptr) {
        lo_ = lo;
        for (int axis = 0; axis < 3; ++axis) {
            const std::size_t rows = static_cast<std::size_t>(hi[axis] - lo[axis]) + 1;
            const std::vector<double>& values = values_[axis];
            turnRe_.resize(values.size());
            turnIm_.resize(values.size());
            re_[axis].resize(rows * atoms_);
            im_[axis].resize(rows * atoms_);
            for (std::size_t row = 0; row < rows; ++row) {
                if (inUse != nullptr && !(*inUse)[axis][row]) continue;
                const int h = lo[axis] + static_cast<int>(row);
                for (std::size_t v = 0; v < values.size(); ++v)
                    Turn(values[v], h, turnRe_[v], turnIm_[v]);
                for (std::size_t a = 0; a < atoms_; ++a) {
                    re_[axis][row * atoms_ + a] = turnRe_[of_[axis][a]];
                    im_[axis][row * atoms_ + a] = turnIm_[of_[axis][a]];
                }
            }
        }
    }
    const double* Re(int axis, int h) const { return re_[axis].data() + Offset(axis, h); }
    const double* Im(int axis, int h) const { return im_[axis].data() + Offset(axis, h); }

private:
    std::size_t Offset(int axis, int h) const {
        return static_cast<std::size_t>(h - lo_[axis]) * atoms_;
    }
    std::size_t atoms_;
    std::array<std::vector<double>, 3> values_;   // each axis's coordinates, once each
    std::array<std::vector<std::size_t>, 3> of_;  // each atom's among them
    std::vector<double> turnRe_, turnIm_;         // one row of them turned
    Miller lo_{};
    std::array<std::vector<double>, 3> re_, im_;
};

// A table is kept to this many entries per axis and atom, 32 MB in all.
constexpr double kMaxTableEntries = 1 << 21;

// What one evaluation needs besides the model: the end of each site's atoms in
// the cell (UnitCellAtoms lists them site by site) and room for the sites' sums.
struct Scratch {
    explicit Scratch(const StructureFactorModel& model)
        : siteEnd(model.Structure().sites.size(), 0), siteSums(model.Structure().sites.size()) {
        for (std::size_t a = 0; a < model.Atoms().size(); ++a)
            siteEnd[model.Atoms()[a].site] = a + 1;
        for (std::size_t i = 1; i < siteEnd.size(); ++i)
            siteEnd[i] = std::max(siteEnd[i], siteEnd[i - 1]);
    }
    std::vector<std::size_t> siteEnd;
    std::vector<std::complex<double>> siteSums;
};

// F_N and F_M per μB of each magnetic site of one reflection, its indices in
// the tables, at its s = sin θ/λ.
void Evaluate(const StructureFactorModel& model, const PhaseTables& tables, const Miller& hkl,
              Scratch& scratch, double s, std::complex<double>& FN, std::complex<double>* FM) {
    const double s2 = Square(s);
    const double *xr = tables.Re(0, hkl[0]), *xi = tables.Im(0, hkl[0]);
    const double *yr = tables.Re(1, hkl[1]), *yi = tables.Im(1, hkl[1]);
    const double *zr = tables.Re(2, hkl[2]), *zi = tables.Im(2, hkl[2]);
    // Each site's sum of occ·exp(2πi·h·r)·exp(−B·s²) over its atoms, once; in
    // two partial sums, so that the additions overlap rather than wait on each
    // other, and the two lanes are computed side by side in one register.
    const auto phase = [&](std::size_t a, double& re, double& im) {
        const double pr = xr[a] * yr[a] - xi[a] * yi[a];
        const double pi = xr[a] * yi[a] + xi[a] * yr[a];
        re = pr * zr[a] - pi * zi[a];
        im = pr * zi[a] + pi * zr[a];
    };
    const std::vector<Site>& sites = model.Structure().sites;
    FN = {0.0, 0.0};
    std::size_t a = 0;
    for (std::size_t i = 0; i < sites.size(); ++i) {
        double sr[2] = {0.0, 0.0}, si[2] = {0.0, 0.0};
        const std::size_t end = scratch.siteEnd[i];
        for (; a + 2 <= end; a += 2) {
            double re[2], im[2];
            for (int j = 0; j < 2; ++j) phase(a + j, re[j], im[j]);
            for (int j = 0; j < 2; ++j) {
                sr[j] += re[j];
                si[j] += im[j];
            }
        }
        for (; a < end; ++a) {
            double re, im;
            phase(a, re, im);
            sr[0] += re;
            si[0] += im;
        }
        std::complex<double> sum(sr[0] + sr[1], si[0] + si[1]);
        sum *= sites[i].occupancy * std::exp(-sites[i].B * s2);
        scratch.siteSums[i] = sum;
        FN += sites[i].scatteringLength * sum;
    }
    const std::vector<MagneticSite>& magnetic = model.MagneticSites();
    for (std::size_t m = 0; m < magnetic.size(); ++m) {
        const double f = magnetic[m].formFactor(s);
        FM[m] = (kMagneticLengthPerBohrMagneton * f) * scratch.siteSums[magnetic[m].site];
    }
}

}  // namespace

const Site* CrystalStructure::FindSite(std::string_view label) const noexcept {
    const auto it = std::find_if(sites.begin(), sites.end(),
                                 [label](const Site& site) { return site.label == label; });
    return it == sites.end() ? nullptr : &*it;
}

std::vector<std::string> CrystalStructure::ClosestLabels(std::string_view label) const {
    std::vector<std::string_view> labels;
    for (const Site& site : sites) labels.push_back(site.label);
    return ClosestNames(label, labels);
}

MagneticSitesOutcome MakeMagneticSites(const CrystalStructure& structure,
                                       const std::vector<MagneticSiteInput>& inputs) {
    MagneticSitesOutcome outcome;
    for (const MagneticSiteInput& input : inputs) {
        const Site* site = structure.FindSite(input.label);
        if (site == nullptr) {
            outcome.suggestions = structure.ClosestLabels(input.label);
            outcome.error = "no site '" + input.label + "' in data_" + structure.name +
                            DidYouMean(outcome.suggestions);
            outcome.sites.clear();
            return outcome;
        }
        const std::size_t index = static_cast<std::size_t>(site - structure.sites.data());
        for (const MagneticSite& earlier : outcome.sites) {
            if (earlier.site == index) {
                outcome.error = "site " + input.label + " is given twice as a magnetic site";
                outcome.sites.clear();
                return outcome;
            }
        }
        const std::string ion = input.ion.empty() ? site->type : input.ion;
        FormFactorOutcome formFactor = MakeFormFactor(ion, input.g, input.kappa);
        if (!formFactor.formFactor) {
            outcome.error = "site " + input.label + ": " + formFactor.error;
            if (input.ion.empty()) outcome.error += " (the site's type; name its ion)";
            outcome.suggestions = std::move(formFactor.suggestions);
            outcome.sites.clear();
            return outcome;
        }
        outcome.sites.push_back({index, *formFactor.formFactor});
    }
    return outcome;
}

std::vector<CellAtom> UnitCellAtoms(const CrystalStructure& structure) {
    const Matrix metric = Metric(structure.cell);
    // Two points d apart in fractional coordinates are at least |d_i| times the
    // spacing of the lattice planes normal to a*_i apart (d·a*_i = d_i): most
    // images are told apart by one coordinate, without the metric. The margin
    // leaves the metric to decide wherever rounding could.
    const Matrix reciprocal = Inverse(metric);
    std::array<double, 3> apart;
    for (int i = 0; i < 3; ++i)
        apart[i] = kSameAtomDistance * std::sqrt(reciprocal[i][i]) * (1.0 + 1e-6);
    std::vector<CellAtom> atoms;
    for (std::size_t i = 0; i < structure.sites.size(); ++i) {
        const std::size_t first = atoms.size();
        const auto& x = structure.sites[i].position;
        for (const SymmetryOperation& op : structure.operations) {
            std::array<double, 3> image;
            for (int r = 0; r < 3; ++r) {
                image[r] = Fraction(op.rotation[r][0] * x[0] + op.rotation[r][1] * x[1] +
                                    op.rotation[r][2] * x[2] + op.translation[r]);
            }
            const bool seen =
                std::any_of(atoms.begin() + static_cast<std::ptrdiff_t>(first), atoms.end(),
                            [&](const CellAtom& atom) {
                                std::array<double, 3> d;
                                for (int j = 0; j < 3; ++j) {
                                    d[j] = WrappedDifference(image[j] - atom.position[j]);
                                    if (std::fabs(d[j]) > apart[j]) return false;
                                }
                                return Quadratic(metric, d) < Square(kSameAtomDistance);
                            });
            if (!seen) atoms.push_back({i, image});
        }
    }
    return atoms;
}

StructureFactorModel::StructureFactorModel(const CrystalStructure& structure,
                                           std::vector<MagneticSite> magnetic)
    : structure_(structure),
      magnetic_(std::move(magnetic)),
      atoms_(UnitCellAtoms(structure)),
      metric_(Metric(structure.cell)),
      reciprocalMetric_(Inverse(metric_)) {
    const auto whole = [](const std::array<double, 3>& t) {
        return Wrapped(t[0]) == 0.0 && Wrapped(t[1]) == 0.0 && Wrapped(t[2]) == 0.0;
    };
    const std::array<std::array<int, 3>, 3> identity = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    for (const SymmetryOperation& op : structure_.operations) {
        const auto& R = op.rotation;
        if (R == identity) {
            if (!whole(op.translation)) centring_.push_back(op.translation);
            continue;
        }
        // R − 1 invertible (an inversion, a −3, −4 or −6): R fixes no h but 000.
        const int det = (R[0][0] - 1) * ((R[1][1] - 1) * (R[2][2] - 1) - R[1][2] * R[2][1]) -
                        R[0][1] * (R[1][0] * (R[2][2] - 1) - R[1][2] * R[2][0]) +
                        R[0][2] * (R[1][0] * R[2][1] - (R[1][1] - 1) * R[2][0]);
        if (det != 0) continue;
        const auto same = std::find_if(fixing_.begin(), fixing_.end(),
                                       [&](const SymmetryOperation& c) { return c.rotation == R; });
        if (same == fixing_.end()) {
            fixing_.push_back(op);
        } else if (whole(op.translation)) {
            same->translation = op.translation;
        }
    }
    std::erase_if(fixing_, [&](const SymmetryOperation& op) { return whole(op.translation); });
    for (const SymmetryOperation& op : fixing_)
        for (int j = 0; j < 3; ++j)
            permutations_ = permutations_ && std::abs(op.rotation[0][j]) +
                                                     std::abs(op.rotation[1][j]) +
                                                     std::abs(op.rotation[2][j]) ==
                                                 1;
}

double StructureFactorModel::SinThetaOverLambda(const Miller& hkl) const noexcept {
    return 0.5 * std::sqrt(Quadratic(reciprocalMetric_, hkl));
}

bool StructureFactorModel::Allowed(const Miller& hkl) const noexcept {
    // Translations are multiples of 1/24: a fraction is never near an integer by chance.
    const auto whole = [&](const std::array<double, 3>& t) {
        double phase = 0.0;
        for (int j = 0; j < 3; ++j) phase += hkl[j] * t[j];
        return std::fabs(Wrapped(phase)) <= 1e-6;
    };
    for (const std::array<double, 3>& c : centring_)
        if (!whole(c)) return false;
    // A signed permutation fixes h only by swapping two indices of one size or
    // by negating one that is 0.
    const int h = std::abs(hkl[0]), k = std::abs(hkl[1]), l = std::abs(hkl[2]);
    if (permutations_ && h != 0 && k != 0 && l != 0 && h != k && k != l && h != l) return true;
    for (const SymmetryOperation& op : fixing_) {
        // h·R = h, tested without a branch per column: few rotations fix an h.
        int moved = 0;
        for (int j = 0; j < 3; ++j)
            moved |= hkl[0] * op.rotation[0][j] + hkl[1] * op.rotation[1][j] +
                     hkl[2] * op.rotation[2][j] - hkl[j];
        if (moved == 0 && !whole(op.translation)) return false;
    }
    return true;
}

ReflectionFactors StructureFactorModel::Factors(const Miller& hkl) const {
    ReflectionFactors out{hkl, SinThetaOverLambda(hkl), {0.0, 0.0}, {}};
    out.FMPerMoment.assign(magnetic_.size(), {0.0, 0.0});
    PhaseTables tables(atoms_);
    tables.Fill(hkl, hkl);
    Scratch scratch(*this);
    Evaluate(*this, tables, hkl, scratch, out.s, out.FN, out.FMPerMoment.data());
    return out;
}

FactorColumns StructureFactorModel::FactorsOf(std::span<const Miller> hkl) const {
    const std::size_t n = hkl.size(), sites = magnetic_.size();
    FactorColumns out;
    out.allowed.resize(n);
    out.s.resize(n);
    out.FN.assign(n, {0.0, 0.0});
    out.FMPerMoment.assign(n * sites, {0.0, 0.0});
    Miller lo = {0, 0, 0}, hi = {0, 0, 0};
    std::size_t allowed = 0;
    for (std::size_t i = 0; i < n; ++i) {
        out.allowed[i] = Allowed(hkl[i]);
        out.s[i] = SinThetaOverLambda(hkl[i]);
        if (!out.allowed[i]) continue;
        for (int axis = 0; axis < 3; ++axis) {
            lo[axis] = allowed == 0 ? hkl[i][axis] : std::min(lo[axis], hkl[i][axis]);
            hi[axis] = allowed == 0 ? hkl[i][axis] : std::max(hi[axis], hkl[i][axis]);
        }
        ++allowed;
    }
    // One table for all where it takes fewer sines than a row of each axis per
    // reflection, and is not too large; else those rows, reflection by reflection.
    double rows = 0.0;
    for (int axis = 0; axis < 3; ++axis) rows += double(hi[axis]) - double(lo[axis]) + 1.0;
    const bool shared =
        rows <= 3.0 * double(allowed) && rows * double(atoms_.size()) <= kMaxTableEntries;
    PhaseTables tables(atoms_);
    if (shared && allowed > 0) {
        PhaseTables::RowsInUse inUse;
        for (int axis = 0; axis < 3; ++axis)
            inUse[axis].assign(static_cast<std::size_t>(hi[axis] - lo[axis]) + 1, 0);
        for (std::size_t i = 0; i < n; ++i)
            if (out.allowed[i])
                for (int axis = 0; axis < 3; ++axis)
                    inUse[axis][static_cast<std::size_t>(hkl[i][axis] - lo[axis])] = 1;
        tables.Fill(lo, hi, &inUse);
    }
    Scratch scratch(*this);
    for (std::size_t i = 0; i < n; ++i) {
        if (!out.allowed[i]) continue;
        if (!shared) tables.Fill(hkl[i], hkl[i]);
        Evaluate(*this, tables, hkl[i], scratch, out.s[i], out.FN[i],
                 out.FMPerMoment.data() + i * sites);
    }
    return out;
}

StructureFactorModel::ReflectionList StructureFactorModel::AllowedReflections(double sMax) const {
    ReflectionList list;
    if (!(sMax > 0.0) || !std::isfinite(sMax)) {
        list.error = "the largest sin θ/λ must be finite and positive";
        return list;
    }
    // |h| = |d*·a| ≤ |d*|·|a| = 2s·a, and likewise for k and l.
    double box = 1.0;
    for (int i = 0; i < 3; ++i) box *= 2.0 * std::floor(2.0 * sMax * structure_.cell[i]) + 1.0;
    if (box > kMaxSearchedReflections) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "sin θ/λ up to %g Å⁻¹ would search %.3g reflections of this cell; choose a "
                      "smaller limit",
                      sMax, box);
        list.error = text;
        return list;
    }
    int limit[3];
    for (int i = 0; i < 3; ++i) {
        limit[i] = static_cast<int>(std::floor(2.0 * sMax * structure_.cell[i]));
    }
    std::vector<Miller>& reflections = list.reflections;
    for (int h = -limit[0]; h <= limit[0]; ++h) {
        for (int k = -limit[1]; k <= limit[1]; ++k) {
            for (int l = -limit[2]; l <= limit[2]; ++l) {
                const Miller hkl = {h, k, l};
                if (h == 0 && k == 0 && l == 0) continue;
                if (SinThetaOverLambda(hkl) > sMax || !Allowed(hkl)) continue;
                reflections.push_back(hkl);
            }
        }
    }
    // Equivalent reflections have the same s but for the last bits of its
    // rounding (3 1 1 and −1 −1 3 of a cubic cell): s to twelve decimals
    // keeps them together, in the order of their indices.
    const auto key = [this](const Miller& hkl) {
        return std::round(SinThetaOverLambda(hkl) * 1e12);
    };
    std::stable_sort(reflections.begin(), reflections.end(),
                     [&key](const Miller& x, const Miller& y) {
                         const double kx = key(x), ky = key(y);
                         return kx != ky ? kx < ky : x < y;
                     });
    return list;
}

double StructureFactorModel::Q2(const Miller& hkl,
                                const std::array<double, 3>& uvw) const noexcept {
    const double dStar2 = Quadratic(reciprocalMetric_, hkl);
    const double field2 = Quadratic(metric_, uvw);
    if (!(dStar2 > 0.0) || !(field2 > 0.0)) return kNaN;
    // d*·(u·a + v·b + w·c) = h·u + k·v + l·w, a* being dual to a.
    const double dot = hkl[0] * uvw[0] + hkl[1] * uvw[1] + hkl[2] * uvw[2];
    const double cos2 = Square(dot) / (dStar2 * field2);
    // Along the field, the rounding of the metrics (cos 90° is 6e-17 in
    // doubles) leaves 1 − cos²α a few ulps from 0, which would predict a
    // ratio of 1 + 2e-16 where there is no magnetic scattering at all. So
    // small a q² is an angle below 1e-7 rad: no integer hkl is that close to
    // a field without lying along it.
    const double q2 = 1.0 - cos2;
    return q2 < 16.0 * std::numeric_limits<double>::epsilon() ? 0.0 : q2;
}

std::complex<double> MagneticStructureFactor(const ReflectionFactors& factors,
                                             std::span<const double> moments) {
    return MagneticStructureFactor(factors.FMPerMoment, moments);
}

std::complex<double> MagneticStructureFactor(std::span<const std::complex<double>> FMPerMoment,
                                             std::span<const double> moments) noexcept {
    std::complex<double> FM{0.0, 0.0};
    const std::size_t n = std::min(moments.size(), FMPerMoment.size());
    for (std::size_t m = 0; m < n; ++m) FM += moments[m] * FMPerMoment[m];
    return FM;
}

Ratios FlippingRatioAndAsymmetry(std::complex<double> FN, std::complex<double> FM, double P,
                                 double f, double q2) noexcept {
    if (!UsableBeam(P, f, q2)) return {kNaN, kNaN};
    const auto [plus, minus] = Intensities(FN, FM, P, f, q2);
    const double sum = plus + minus;
    return {minus == 0.0 ? kNaN : plus / minus, sum == 0.0 ? kNaN : (plus - minus) / sum};
}

PredictedColumns PredictFlippingRatioColumns(const StructureFactorModel& model,
                                             std::span<const Miller> hkl,
                                             std::span<const double> moments, double P, double f,
                                             std::span<const double> q2) {
    PredictedColumns out;
    out.factors = model.FactorsOf(hkl);
    const std::size_t n = hkl.size(), sites = model.MagneticSites().size();
    out.q2.resize(n);
    out.FM.assign(n, {0.0, 0.0});
    out.R.assign(n, kNaN);
    out.A.assign(n, kNaN);
    for (std::size_t i = 0; i < n; ++i) {
        out.q2[i] = i < q2.size() ? q2[i] : kNaN;
        if (!out.factors.allowed[i]) continue;
        out.FM[i] = MagneticStructureFactor(
            std::span(out.factors.FMPerMoment).subspan(i * sites, sites), moments);
        const Ratios ratios =
            FlippingRatioAndAsymmetry(out.factors.FN[i], out.FM[i], P, f, out.q2[i]);
        out.R[i] = ratios.R;
        out.A[i] = ratios.A;
    }
    return out;
}

namespace {

std::vector<PredictedReflection> Rows(std::span<const Miller> hkl, const PredictedColumns& c) {
    std::vector<PredictedReflection> rows(hkl.size());
    for (std::size_t i = 0; i < hkl.size(); ++i)
        rows[i] = {hkl[i],          c.factors.allowed[i] != 0,
                   c.factors.s[i],  c.q2[i],
                   c.factors.FN[i], c.FM[i],
                   c.R[i],          c.A[i]};
    return rows;
}

}  // namespace

std::vector<PredictedReflection> PredictFlippingRatios(const StructureFactorModel& model,
                                                       std::span<const Miller> hkl,
                                                       std::span<const double> moments, double P,
                                                       double f,
                                                       const std::array<double, 3>& field) {
    std::vector<double> q2(hkl.size());
    for (std::size_t i = 0; i < hkl.size(); ++i) q2[i] = model.Q2(hkl[i], field);
    return Rows(hkl, PredictFlippingRatioColumns(model, hkl, moments, P, f, q2));
}

std::vector<PredictedReflection> PredictFlippingRatios(const StructureFactorModel& model,
                                                       std::span<const Miller> hkl,
                                                       std::span<const double> moments, double P,
                                                       double f, std::span<const double> q2) {
    return Rows(hkl, PredictFlippingRatioColumns(model, hkl, moments, P, f, q2));
}

}  // namespace vantrel::magnetic
