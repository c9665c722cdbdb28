// The measurement plan: each reflection's information on the moments against
// one built here from central differences of the predicted R and the
// intensities written out again; the best split of the counting time against
// its neighbours; the order; and every refusal and left-out reflection named.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "vantrel/magnetic/measurement_plan.h"
#include "vantrel/magnetic/structure_factors.h"

#include "model.h"

namespace vantrel::magnetic {
namespace {

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

constexpr double kP = 0.93, kF = 0.97;
const std::array<double, 3> kField = {0.0, 1.0, 0.0};

double PredictedR(const StructureFactorModel& model, const Miller& hkl,
                  const std::vector<double>& moments, double q2) {
    const double q2s[] = {q2};
    return PredictFlippingRatios(model, std::span(&hkl, 1), moments, kP, kF, q2s)[0].R;
}

TEST(MeasurementPlan, InformationAgainstCentralDifferences) {
    const StructureFactorModel model = Monoclinic();
    const auto list = model.AllowedReflections(0.45);
    ASSERT_TRUE(list.error.empty()) << list.error;
    const std::vector<double> moments = {2.3, -0.9};
    const MeasurementPlan plan =
        PlanMeasurementsInField(model, list.reflections, moments, kP, kF, kField);
    ASSERT_TRUE(plan.error.empty()) << plan.error;
    ASSERT_EQ(plan.sites, (std::vector<std::string>{"Fe1", "Mn2"}));
    ASSERT_GT(plan.order.size(), 20u);
    EXPECT_EQ(plan.order.size() + plan.leftOut.size(), list.reflections.size());
    for (const PlannedReflection& row : plan.order) {
        SCOPED_TRACE(std::to_string(row.hkl[0]) + " " + std::to_string(row.hkl[1]) + " " +
                     std::to_string(row.hkl[2]));
        const double Rc = PredictedR(model, row.hkl, moments, row.q2);
        EXPECT_NEAR(row.R, Rc, 1e-12 * Rc);
        // The intensities from the factors written out here.
        const double n = std::norm(row.FN);
        const double cross = row.FN.real() * row.FM.real() + row.FN.imag() * row.FM.imag();
        const double plus = n + 2.0 * kP * row.q2 * cross + row.q2 * std::norm(row.FM);
        const double minus =
            n - 2.0 * (2.0 * kF - 1.0) * kP * row.q2 * cross + row.q2 * std::norm(row.FM);
        EXPECT_NEAR(row.plus, plus, 1e-12 * plus);
        EXPECT_NEAR(row.minus, minus, 1e-12 * minus);
        double score = 0.0;
        for (std::size_t m = 0; m < moments.size(); ++m) {
            const double h = 1e-5;
            std::vector<double> up = moments, down = moments;
            up[m] += h;
            down[m] -= h;
            const double dR = (PredictedR(model, row.hkl, up, row.q2) -
                               PredictedR(model, row.hkl, down, row.q2)) /
                              (2.0 * h);
            // Var R per unit time at the best split: R²·(1/√I₊ + 1/√I₋)².
            const double spread = Rc * (1.0 / std::sqrt(plus) + 1.0 / std::sqrt(minus));
            const double J = dR * dR / (spread * spread);
            EXPECT_NEAR(row.information[m], J, 1e-6 * J + 1e-14);
            score += J;
        }
        EXPECT_NEAR(row.score, score, 1e-6 * score + 1e-14);
    }
    for (std::size_t i = 1; i < plan.order.size(); ++i)
        EXPECT_GE(plan.order[i - 1].score, plan.order[i].score);
}

TEST(MeasurementPlan, TimeSplitMinimisesTheVarianceOfR) {
    const StructureFactorModel model = Monoclinic();
    const Miller hkl[] = {{1, 1, 0}, {0, 2, 1}, {2, 0, 0}};
    const double q2[] = {0.6, 0.9, 1.0};
    const std::vector<double> moments = {4.0, 3.0};
    const MeasurementPlan plan = PlanMeasurements(model, hkl, moments, kP, kF, q2);
    ASSERT_TRUE(plan.error.empty()) << plan.error;
    for (const PlannedReflection& row : plan.order) {
        const auto variance = [&](double share) {
            return 1.0 / (row.plus * share) + 1.0 / (row.minus * (1.0 - share));
        };
        EXPECT_GT(row.plusShare, 0.0);
        EXPECT_LT(row.plusShare, 1.0);
        EXPECT_LT(variance(row.plusShare), variance(row.plusShare + 1e-3));
        EXPECT_LT(variance(row.plusShare), variance(row.plusShare - 1e-3));
        if (row.R > 1.0) {
            EXPECT_LT(row.plusShare, 0.5);  // the stronger state wants less time
        }
    }
}

TEST(MeasurementPlan, LeavesOutWhatCannotConstrainAndRefusesBadInput) {
    const StructureFactorModel model = Monoclinic();
    // P 21/c: 0k0 with odd k and h0l with odd l are forbidden.
    const Miller hkl[] = {{0, 1, 0}, {1, 1, 0}, {1, 0, 1}, {0, 2, 1}};
    const double q2[] = {0.5, 0.0, 0.5, 0.7};
    const std::vector<double> moments = {1.0, 1.0};
    const MeasurementPlan plan = PlanMeasurements(model, hkl, moments, kP, kF, q2);
    ASSERT_TRUE(plan.error.empty()) << plan.error;
    ASSERT_EQ(plan.leftOut.size(), 3u);
    EXPECT_EQ(plan.leftOut[0].why, Unconstraining::kForbidden);
    EXPECT_EQ(plan.leftOut[1].why, Unconstraining::kNoField);
    EXPECT_EQ(plan.leftOut[2].why, Unconstraining::kForbidden);
    EXPECT_NE(plan.leftOut[1].message.find("reflection 1 1 0"), std::string::npos);
    ASSERT_EQ(plan.order.size(), 1u);
    EXPECT_EQ(plan.order[0].index, 3u);

    struct Case {
        const char* name;
        std::vector<double> moments;
        double P, f, q2;
        Miller hkl;
        const char* says;
    };
    const Case cases[] = {
        {"moments of the wrong size", {1.0}, kP, kF, 0.5, {1, 1, 0}, "1 guessed moments"},
        {"moment not finite", {1.0, NAN}, kP, kF, 0.5, {1, 1, 0}, "site Mn2"},
        {"P zero", {1.0, 1.0}, 0.0, kF, 0.5, {1, 1, 0}, "polarisation"},
        {"P beyond 1", {1.0, 1.0}, 1.2, kF, 0.5, {1, 1, 0}, "polarisation"},
        {"f zero", {1.0, 1.0}, kP, 0.0, 0.5, {1, 1, 0}, "flipper"},
        {"q2 beyond 1", {1.0, 1.0}, kP, kF, 1.5, {1, 1, 0}, "q2 = 1.5"},
        {"q2 NaN", {1.0, 1.0}, kP, kF, NAN, {1, 1, 0}, "q2 is not given"},
        {"000", {1.0, 1.0}, kP, kF, 0.5, {0, 0, 0}, "000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Miller one[] = {c.hkl};
        const double q[] = {c.q2};
        const MeasurementPlan refused = PlanMeasurements(model, one, c.moments, c.P, c.f, q);
        EXPECT_NE(refused.error.find(c.says), std::string::npos) << refused.error;
        EXPECT_TRUE(refused.order.empty());
    }
    const MeasurementPlan noField =
        PlanMeasurementsInField(model, hkl, moments, kP, kF, {0.0, 0.0, 0.0});
    EXPECT_NE(noField.error.find("field direction"), std::string::npos);
}

}  // namespace
}  // namespace vantrel::magnetic
