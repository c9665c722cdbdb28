// Structure factors of the atoms in the cell. The structure comes from
// crystal_structure_cif.cpp; nothing here knows the CIF.
//
// This subsystem has no plug-in results to keep, so its π is the nearest
// double (std::numbers::pi), and phases are reduced to a fraction of a turn
// before they are multiplied by 2π: exp(2πi·h·r) for h·r an integer is then 1
// exactly, however large h.
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

// The difference of two fractional coordinates, to the nearest lattice image.
double Wrapped(double d) { return d - std::round(d); }

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
            const bool seen = std::any_of(
                atoms.begin() + static_cast<std::ptrdiff_t>(first), atoms.end(),
                [&](const CellAtom& atom) {
                    const std::array<double, 3> d = {Wrapped(image[0] - atom.position[0]),
                                                     Wrapped(image[1] - atom.position[1]),
                                                     Wrapped(image[2] - atom.position[2])};
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
      reciprocalMetric_(Inverse(metric_)) {}

double StructureFactorModel::SinThetaOverLambda(const Miller& hkl) const noexcept {
    return 0.5 * std::sqrt(Quadratic(reciprocalMetric_, hkl));
}

bool StructureFactorModel::Allowed(const Miller& hkl) const noexcept {
    for (const SymmetryOperation& op : structure_.operations) {
        bool fixed = true;
        double phase = 0.0;
        for (int j = 0; j < 3; ++j) {
            const int column = hkl[0] * op.rotation[0][j] + hkl[1] * op.rotation[1][j] +
                               hkl[2] * op.rotation[2][j];
            fixed = fixed && column == hkl[j];
            phase += hkl[j] * op.translation[j];
        }
        // Translations are multiples of 1/24: a fraction is never near an integer by chance.
        if (fixed && std::fabs(Wrapped(phase)) > 1e-6) return false;
    }
    return true;
}

ReflectionFactors StructureFactorModel::Factors(const Miller& hkl) const {
    ReflectionFactors out{hkl, SinThetaOverLambda(hkl), {0.0, 0.0}, {}};
    out.FMPerMoment.assign(magnetic_.size(), {0.0, 0.0});
    const double s2 = Square(out.s);
    // Each site's sum of occ·exp(2πi·h·r)·exp(−B·s²) over its atoms, once.
    std::vector<std::complex<double>> siteSums(structure_.sites.size(), {0.0, 0.0});
    for (const CellAtom& atom : atoms_) {
        const double turns = Fraction(hkl[0] * atom.position[0] + hkl[1] * atom.position[1] +
                                      hkl[2] * atom.position[2]);
        const double angle = (2.0 * std::numbers::pi) * turns;
        siteSums[atom.site] += std::complex<double>(std::cos(angle), std::sin(angle));
    }
    for (std::size_t i = 0; i < siteSums.size(); ++i) {
        const Site& site = structure_.sites[i];
        siteSums[i] *= site.occupancy * std::exp(-site.B * s2);
        out.FN += site.scatteringLength * siteSums[i];
    }
    for (std::size_t m = 0; m < magnetic_.size(); ++m) {
        const double f = magnetic_[m].formFactor(out.s);
        out.FMPerMoment[m] = (kMagneticLengthPerBohrMagneton * f) * siteSums[magnetic_[m].site];
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
    std::stable_sort(reflections.begin(), reflections.end(),
                     [this](const Miller& x, const Miller& y) {
                         const double sx = SinThetaOverLambda(x), sy = SinThetaOverLambda(y);
                         return sx != sy ? sx < sy : x < y;
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
    std::complex<double> FM{0.0, 0.0};
    const std::size_t n = std::min(moments.size(), factors.FMPerMoment.size());
    for (std::size_t m = 0; m < n; ++m) FM += moments[m] * factors.FMPerMoment[m];
    return FM;
}

Ratios FlippingRatioAndAsymmetry(std::complex<double> FN, std::complex<double> FM, double P,
                                 double f, double q2) noexcept {
    if (!UsableBeam(P, f, q2)) return {kNaN, kNaN};
    const auto [plus, minus] = Intensities(FN, FM, P, f, q2);
    const double sum = plus + minus;
    return {minus == 0.0 ? kNaN : plus / minus, sum == 0.0 ? kNaN : (plus - minus) / sum};
}

namespace {

template <typename Q2Of>
std::vector<PredictedReflection> Predict(const StructureFactorModel& model,
                                         std::span<const Miller> hkl,
                                         std::span<const double> moments, double P, double f,
                                         Q2Of q2Of) {
    std::vector<PredictedReflection> rows;
    rows.reserve(hkl.size());
    for (std::size_t i = 0; i < hkl.size(); ++i) {
        PredictedReflection row{hkl[i],
                                model.Allowed(hkl[i]),
                                model.SinThetaOverLambda(hkl[i]),
                                q2Of(i),
                                {0.0, 0.0},
                                {0.0, 0.0},
                                kNaN,
                                kNaN};
        if (row.allowed) {
            const ReflectionFactors factors = model.Factors(hkl[i]);
            row.FN = factors.FN;
            row.FM = MagneticStructureFactor(factors, moments);
            const Ratios ratios = FlippingRatioAndAsymmetry(row.FN, row.FM, P, f, row.q2);
            row.R = ratios.R;
            row.A = ratios.A;
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

std::vector<PredictedReflection> PredictFlippingRatios(const StructureFactorModel& model,
                                                       std::span<const Miller> hkl,
                                                       std::span<const double> moments, double P,
                                                       double f,
                                                       const std::array<double, 3>& field) {
    return Predict(model, hkl, moments, P, f,
                   [&](std::size_t i) { return model.Q2(hkl[i], field); });
}

std::vector<PredictedReflection> PredictFlippingRatios(const StructureFactorModel& model,
                                                       std::span<const Miller> hkl,
                                                       std::span<const double> moments, double P,
                                                       double f, std::span<const double> q2) {
    return Predict(model, hkl, moments, P, f,
                   [&](std::size_t i) { return i < q2.size() ? q2[i] : kNaN; });
}

}  // namespace vantrel::magnetic
