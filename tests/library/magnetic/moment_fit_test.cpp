// The fit of site moments: the analytic ∂R/∂μ against central differences of
// R itself, moments recovered from ratios simulated by the structure (exactly,
// and with noise of a fixed seed), the deviations against a covariance built
// here from a numeric Jacobian, the same fit on the engine's numeric Jacobian,
// and every refusal and left-out reflection named.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "vantrel/fit/least_squares.h"
#include "vantrel/magnetic/moment_fit.h"
#include "vantrel/magnetic/structure_factors.h"

#include "model.h"
#include "support/structures.h"

namespace vantrel::magnetic {
namespace {

using testing::kTwoIrons;

using Complex = std::complex<double>;

// Centric: F_N and F_M real.
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
Mn2 Mn2+ 0.2512 0.1234 0.3891 0.8 0.0061
O1 O2- 0.6120 0.3770 0.1450 1.0 0.0090
O2 O2- 0.8800 0.0600 0.7200 1.0 0.011
)";

StructureFactorModel Monoclinic() {
    return Model(kMonoclinic, {{"Fe1", "", 2.0, 1.0}, {"Mn2", "", 2.0, 1.0}});
}
StructureFactorModel Triclinic() {
    return Model(kTwoIrons, {{"Fe1", "", 2.0, 1.0}, {"Fe2", "", 2.0, 1.0}});
}

// A normal deviate of its own from the raw engine, so that the noise is the
// same whatever the standard library's distributions do.
double Normal(std::mt19937_64& engine) {
    constexpr double kScale = 1.0 / 18446744073709551616.0;  // 2⁻⁶⁴
    const double u1 = (static_cast<double>(engine()) + 0.5) * kScale;
    const double u2 = (static_cast<double>(engine()) + 0.5) * kScale;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

constexpr double kP = 0.95, kF = 0.97;
const std::array<double, 3> kField = {0.0, 1.0, 0.0};

// The ratios the structure predicts for `moments`, as measured with a relative
// deviation `relative`, with noise of that size when `seed` is non-zero.
std::vector<MeasuredFlippingRatio> Simulate(const StructureFactorModel& model,
                                            const std::vector<double>& moments, double sMax,
                                            double relative, std::uint64_t seed) {
    const auto list = model.AllowedReflections(sMax);
    EXPECT_TRUE(list.error.empty()) << list.error;
    const auto predicted = PredictFlippingRatios(model, list.reflections, moments, kP, kF, kField);
    std::mt19937_64 engine(seed);
    std::vector<MeasuredFlippingRatio> measured;
    for (const auto& row : predicted) {
        // q² = 0 and F_N = 0 are left out of a fit: tested on their own below.
        // Ratios far from 1 come from weak nuclear reflections that nobody
        // measures to 1 %, and give χ² many minima far from any start.
        if (!std::isfinite(row.R) || std::abs(row.FN) < 1e-9 || row.R < 0.5 || row.R > 2.0)
            continue;
        const double sigma = relative * row.R;
        const double R = seed == 0 ? row.R : row.R + sigma * Normal(engine);
        measured.push_back({row.hkl, R, sigma, row.q2});
    }
    return measured;
}

TEST(MomentFit, DerivativesAgainstCentralDifferences) {
    struct Case {
        const char* name;
        Complex FN;
        std::array<Complex, 2> FMPerMoment;
        std::array<double, 2> moments;
        double P, f, q2;
    };
    const Case cases[] = {
        {"centric",
         {1.3, 0.0},
         {Complex{0.21, 0.0}, Complex{-0.08, 0.0}},
         {1.5, 0.7},
         0.95,
         0.98,
         0.8},
        {"acentric",
         {0.4, -1.1},
         {Complex{0.12, 0.19}, Complex{-0.05, 0.22}},
         {2.0, -1.1},
         0.9,
         1.0,
         0.55},
        {"against the field",
         {-0.7, 0.3},
         {Complex{0.3, -0.1}, Complex{0.02, 0.04}},
         {0.5, 3.0},
         -0.92,
         0.95,
         1.0},
        {"magnetic outweighs nuclear",
         {0.05, 0.02},
         {Complex{0.25, 0.1}, Complex{0.1, -0.3}},
         {4.0, 2.5},
         0.99,
         0.9,
         0.3},
        {"zero moments",
         {0.8, 0.6},
         {Complex{0.2, 0.0}, Complex{0.0, 0.2}},
         {0.0, 0.0},
         0.8,
         0.99,
         0.6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::array<double, 2> analytic{};
        FlippingRatioMomentDerivatives(c.FN, c.FMPerMoment, c.moments, c.P, c.f, c.q2, analytic);
        for (std::size_t m = 0; m < 2; ++m) {
            const double h = 1e-5 * std::max(1.0, std::abs(c.moments[m]));
            auto R = [&](double shift) {
                auto mu = c.moments;
                mu[m] += shift;
                const Complex FM = mu[0] * c.FMPerMoment[0] + mu[1] * c.FMPerMoment[1];
                return FlippingRatioAndAsymmetry(c.FN, FM, c.P, c.f, c.q2).R;
            };
            const double numeric = (R(h) - R(-h)) / (2.0 * h);
            EXPECT_NEAR(analytic[m], numeric, 1e-7 * std::max(1.0, std::abs(numeric)))
                << "site " << m;
        }
    }
    std::array<double, 2> out{};
    FlippingRatioMomentDerivatives({1.0, 0.0}, cases[0].FMPerMoment, cases[0].moments, 0.0, 0.9,
                                   0.5, out);
    EXPECT_TRUE(std::isnan(out[0]) && std::isnan(out[1])) << "P = 0 has no ratio";
}

struct StructureCase {
    const char* name;
    StructureFactorModel (*model)();
    std::vector<double> moments;
    std::vector<double> start;  // empty: 1 μB each
};

// A moment against the field lies beyond a ridge of χ² from a start of 1 μB,
// so its case starts from the sign expected.
std::vector<StructureCase> Structures() {
    return {{"monoclinic, centric", Monoclinic, {0.8, 0.3}, {}},
            {"one moment against the field", Monoclinic, {0.8, -0.3}, {0.5, -0.5}},
            {"triclinic, acentric", Triclinic, {3.1, 1.4}, {}}};
}

TEST(MomentFit, ExactRatiosGiveTheMoments) {
    for (const auto& c : Structures()) {
        SCOPED_TRACE(c.name);
        const StructureFactorModel model = c.model();
        const auto measured = Simulate(model, c.moments, 0.45, 0.01, 0);
        ASSERT_GT(measured.size(), 20u);
        const MomentFitResult fit = FitMoments(model, measured, kP, kF, c.start);
        ASSERT_TRUE(fit.converged()) << fit.message;
        ASSERT_EQ(fit.sites.size(), 2u);
        EXPECT_EQ(fit.sites[1], model.Structure().sites[model.MagneticSites()[1].site].label);
        for (std::size_t m = 0; m < 2; ++m)
            EXPECT_NEAR(fit.moments[m], c.moments[m], 1e-10 * std::abs(c.moments[m]));
        EXPECT_LT(fit.chi_square, 1e-12);
        EXPECT_EQ(fit.reflections.size(), measured.size());
        EXPECT_TRUE(fit.leftOut.empty());
        for (const auto& row : fit.reflections) EXPECT_LT(std::abs(row.residual), 1e-6);
    }
}

// The covariance (JᵀWJ)⁻¹ at the fitted moments with J by central
// differences of R, for the two sites.
struct Covariance {
    double sigma0, sigma1, correlation;
};
Covariance NumericCovariance(const StructureFactorModel& model,
                             const std::vector<MeasuredFlippingRatio>& measured,
                             const std::vector<double>& moments) {
    double a00 = 0.0, a01 = 0.0, a11 = 0.0;
    for (const auto& row : measured) {
        const ReflectionFactors factors = model.Factors(row.hkl);
        double J[2];
        for (std::size_t m = 0; m < 2; ++m) {
            const double h = 1e-5 * std::max(1.0, std::abs(moments[m]));
            auto R = [&](double shift) {
                std::vector<double> mu = moments;
                mu[m] += shift;
                return FlippingRatioAndAsymmetry(factors.FN, MagneticStructureFactor(factors, mu),
                                                 kP, kF, row.q2)
                    .R;
            };
            J[m] = (R(h) - R(-h)) / (2.0 * h) / row.sigmaR;
        }
        a00 += J[0] * J[0];
        a01 += J[0] * J[1];
        a11 += J[1] * J[1];
    }
    const double det = a00 * a11 - a01 * a01;
    return {std::sqrt(a11 / det), std::sqrt(a00 / det), -a01 / std::sqrt(a00 * a11)};
}

TEST(MomentFit, NoisyRatiosGiveTheMomentsWithinTheirDeviations) {
    for (const auto& c : Structures()) {
        SCOPED_TRACE(c.name);
        const StructureFactorModel model = c.model();
        const auto measured = Simulate(model, c.moments, 0.45, 0.004, 20261209);
        const std::vector<double> start = c.start.empty() ? std::vector<double>{0.5, 0.5} : c.start;
        const MomentFitResult fit = FitMoments(model, measured, kP, kF, start);
        ASSERT_TRUE(fit.converged()) << fit.message;
        for (std::size_t m = 0; m < 2; ++m) {
            EXPECT_GT(fit.deviations[m], 0.0);
            EXPECT_LT(std::abs(fit.moments[m] - c.moments[m]), 3.0 * fit.deviations[m])
                << "site " << m;
        }
        const Covariance expected = NumericCovariance(model, measured, fit.moments);
        EXPECT_NEAR(fit.deviations[0], expected.sigma0, 1e-6 * expected.sigma0);
        EXPECT_NEAR(fit.deviations[1], expected.sigma1, 1e-6 * expected.sigma1);
        EXPECT_NEAR(fit.correlation[1], expected.correlation, 1e-6);

        // The residuals are those of the moments reported, and make up χ².
        double chiSquare = 0.0;
        for (const auto& row : fit.reflections) chiSquare += row.residual * row.residual;
        EXPECT_NEAR(chiSquare, fit.chi_square, 1e-9 * fit.chi_square);
        EXPECT_EQ(fit.degrees_of_freedom, measured.size() - 2);
        // Noise of the size of σ: χ²/ν near 1 for a few hundred ratios.
        EXPECT_NEAR(fit.reduced_chi_square, 1.0, 0.3);
        EXPECT_GT(fit.probability, 0.001);

        // The same model on the engine's numeric Jacobian finds the same optimum.
        fit::Model numeric;
        numeric.values = [&](std::span<const double> mu, std::span<double> value) {
            for (std::size_t i = 0; i < measured.size(); ++i) {
                const ReflectionFactors factors = model.Factors(measured[i].hkl);
                value[i] =
                    FlippingRatioAndAsymmetry(factors.FN, MagneticStructureFactor(factors, mu), kP,
                                              kF, measured[i].q2)
                        .R;
            }
        };
        std::vector<double> y, sigma;
        for (const auto& row : measured) {
            y.push_back(row.R);
            sigma.push_back(row.sigmaR);
        }
        const fit::Result other = fit::LeastSquares(numeric, y, sigma, start);
        ASSERT_TRUE(other.converged()) << other.message;
        for (std::size_t m = 0; m < 2; ++m) {
            EXPECT_NEAR(other.parameters[m], fit.moments[m], 1e-7 * fit.deviations[m]);
            EXPECT_NEAR(other.deviations[m], fit.deviations[m], 1e-5 * fit.deviations[m]);
        }
        EXPECT_NEAR(other.chi_square, fit.chi_square, 1e-9 * fit.chi_square);
    }
}

TEST(MomentFit, FieldDirectionGivesTheSameFitAsItsQ2) {
    const StructureFactorModel model = Monoclinic();
    const std::vector<double> moments = {1.7, 0.9};
    auto measured = Simulate(model, moments, 0.4, 0.005, 7);
    const MomentFitResult byQ2 = FitMoments(model, measured, kP, kF);
    // 0k0 lies along the field: q² = 0, named and left out, not dropped.
    measured.push_back({{0, 2, 0}, 1.0, 0.01});
    for (auto& row : measured) row.q2 = -5.0;  // not read with a field direction
    const MomentFitResult byField = FitMomentsInField(model, measured, kP, kF, kField);
    ASSERT_TRUE(byQ2.converged()) << byQ2.message;
    ASSERT_TRUE(byField.converged()) << byField.message;
    EXPECT_NEAR(byField.moments[0], byQ2.moments[0], 1e-12);
    EXPECT_NEAR(byField.moments[1], byQ2.moments[1], 1e-12);
    ASSERT_EQ(byField.leftOut.size(), 1u);
    EXPECT_EQ(byField.leftOut[0].why, Unconstraining::kNoField);
    EXPECT_EQ(byField.leftOut[0].index, measured.size() - 1);
    EXPECT_NE(byField.leftOut[0].message.find("0 2 0"), std::string::npos);
}

TEST(MomentFit, ReflectionsThatCannotConstrainAreNamedAndLeftOut) {
    struct Case {
        const char* name;
        StructureFactorModel (*model)();
        MeasuredFlippingRatio row;
        Unconstraining why;
        const char* says;
    };
    const Case cases[] = {
        {"screw axis",
         Monoclinic,
         {{0, 1, 0}, 1.1, 0.01, 0.5},
         Unconstraining::kForbidden,
         "0 1 0: forbidden"},
        {"glide plane",
         Monoclinic,
         {{1, 0, 1}, 1.1, 0.01, 0.5},
         Unconstraining::kForbidden,
         "1 0 1: forbidden"},
        {"F_N = 0",
         Triclinic,
         {{1, 0, 0}, 1.0, 0.01, 0.7},
         Unconstraining::kNoNuclear,
         "1 0 0: F_N = 0"},
        {"q2 = 0",
         Triclinic,
         {{1, 1, 0}, 1.0, 0.01, 0.0},
         Unconstraining::kNoField,
         "1 1 0: q2 = 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const StructureFactorModel model = c.model();
        auto measured = Simulate(model, {1.0, 2.0}, 0.35, 0.01, 0);
        const std::size_t fitted = measured.size();
        measured.insert(measured.begin() + 3, c.row);
        const MomentFitResult fit = FitMoments(model, measured, kP, kF);
        ASSERT_TRUE(fit.converged()) << fit.message;
        ASSERT_EQ(fit.leftOut.size(), 1u);
        EXPECT_EQ(fit.leftOut[0].index, 3u);
        EXPECT_EQ(fit.leftOut[0].why, c.why);
        EXPECT_NE(fit.leftOut[0].message.find(c.says), std::string::npos) << fit.leftOut[0].message;
        EXPECT_EQ(fit.reflections.size(), fitted);
        EXPECT_EQ(fit.reflections[3].index, 4u);
        EXPECT_NEAR(fit.moments[1], 2.0, 1e-9);
    }
}

TEST(MomentFit, BadInputIsRefusedByName) {
    const StructureFactorModel model = Monoclinic();
    const std::vector<MeasuredFlippingRatio> good = {
        {{1, 1, 0}, 1.2, 0.01, 0.5}, {{1, 1, 1}, 0.9, 0.01, 0.6}, {{2, 0, 0}, 1.1, 0.02, 0.7}};
    const double inf = INFINITY, nan = NAN;
    struct Case {
        const char* name;
        std::size_t row;  // which row to spoil; 9: none
        MeasuredFlippingRatio bad;
        double P, f;
        std::vector<double> start;
        const char* says;
    };
    const Case cases[] = {
        {"zero sigma",
         1,
         {{1, 1, 1}, 0.9, 0.0, 0.6},
         kP,
         kF,
         {},
         "reflection 1 1 1 (row 2): sigma of R = 0"},
        {"negative sigma",
         2,
         {{2, 0, 0}, 1.1, -0.1, 0.7},
         kP,
         kF,
         {},
         "reflection 2 0 0 (row 3): sigma"},
        {"infinite sigma", 0, {{1, 1, 0}, 1.2, inf, 0.5}, kP, kF, {}, "row 1): sigma of R = inf"},
        {"NaN ratio", 0, {{1, 1, 0}, nan, 0.01, 0.5}, kP, kF, {}, "row 1): R is not finite"},
        {"q2 above 1", 2, {{2, 0, 0}, 1.1, 0.02, 1.5}, kP, kF, {}, "row 3): q2 = 1.5"},
        {"q2 negative", 2, {{2, 0, 0}, 1.1, 0.02, -0.1}, kP, kF, {}, "q2 = -0.1 is not in [0, 1]"},
        {"q2 missing", 1, {{1, 1, 1}, 0.9, 0.01}, kP, kF, {}, "row 2): q2 is not given"},
        {"000", 0, {{0, 0, 0}, 1.0, 0.01, 0.5}, kP, kF, {}, "000 is not a reflection"},
        {"P zero", 9, {}, 0.0, kF, {}, "polarisation P = 0"},
        {"P above 1", 9, {}, 1.01, kF, {}, "polarisation P = 1.01"},
        {"P NaN", 9, {}, nan, kF, {}, "polarisation P = nan"},
        {"f zero", 9, {}, kP, 0.0, {}, "flipper probability f = 0"},
        {"f above 1", 9, {}, kP, 1.2, {}, "flipper probability f = 1.2"},
        {"start too short", 9, {}, kP, kF, {1.0}, "start has 1 moments for 2 magnetic sites"},
        {"start not finite", 9, {}, kP, kF, {1.0, inf}, "start moment of site Mn2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto measured = good;
        if (c.row < measured.size()) measured[c.row] = c.bad;
        const MomentFitResult fit = FitMoments(model, measured, c.P, c.f, c.start);
        EXPECT_EQ(fit.status, fit::Status::kInput);
        EXPECT_NE(fit.message.find(c.says), std::string::npos) << fit.message;
        EXPECT_TRUE(fit.moments.empty());
    }

    const MomentFitResult zeroField = FitMomentsInField(model, good, kP, kF, {0, 0, 0});
    EXPECT_EQ(zeroField.status, fit::Status::kInput);
    EXPECT_NE(zeroField.message.find("field direction [0 0 0]"), std::string::npos)
        << zeroField.message;

    const std::vector<MeasuredFlippingRatio> onlyForbidden = {{{0, 1, 0}, 1.1, 0.01, 0.5}};
    const MomentFitResult none = FitMoments(model, onlyForbidden, kP, kF);
    EXPECT_EQ(none.status, fit::Status::kInput);
    EXPECT_EQ(none.message, "no reflection constrains the moments");
    EXPECT_EQ(none.leftOut.size(), 1u);

    const StructureFactorModel nonMagnetic = Model(kMonoclinic, {});
    const MomentFitResult noSite = FitMoments(nonMagnetic, good, kP, kF);
    EXPECT_EQ(noSite.status, fit::Status::kInput);
    EXPECT_NE(noSite.message.find("no magnetic site"), std::string::npos);
}

}  // namespace
}  // namespace vantrel::magnetic
