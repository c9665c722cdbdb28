// The decay fit in C++: exact points give their curve back in any order,
// awkward data ends in a fit or a reason (never a hang), and every row that
// cannot enter the fit is named. Its agreement with scipy is in
// tests/frontends/python/test_decay_fit.py.
#include "vantrel/helium3/decay_fit.h"
#include "vantrel/helium3/helium3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace vantrel::helium3 {
namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

TEST(DecayFit, ExactPointsGiveTheirCurveInAnyOrder) {
    // Times from t = 0, and from 8 T1 after it (PHe0 then lies far outside the points).
    for (const double offset : {0.0, 1120.0}) {
        std::vector<double> t{96, 0, 48, 24, 72}, P;
        for (double& x : t) x += offset;
        for (double x : t) P.push_back(0.78 * std::exp(-x / 140));
        const std::vector<double> sigma(5, 0.01 * P[1]);
        const DecayFitOutcome outcome = He3DecayFit(t, P, sigma);
        ASSERT_TRUE(outcome.fit) << outcome.error.reason;
        EXPECT_NEAR(outcome.fit->PHe0, 0.78, 1e-11) << offset;
        EXPECT_NEAR(outcome.fit->T1, 140, 1e-9) << offset;
        EXPECT_LT(outcome.fit->reduced_chi_square, 1e-20) << offset;
        EXPECT_EQ(outcome.fit->Note(), "");
        EXPECT_NEAR(outcome.fit->PolarisationAt(t[3]), P[3], 1e-14 * P[3]);
    }
    // At t = 0 the deviation is that of PHe0 alone.
    const DecayFitOutcome two = He3DecayFit({0, 48}, {0.8, 0.6}, {0.01, 0.01});
    ASSERT_TRUE(two.fit);
    EXPECT_DOUBLE_EQ(two.fit->PolarisationSDevAt(0), two.fit->sigmaPHe0);
    EXPECT_TRUE(std::isnan(two.fit->reduced_chi_square));
}

TEST(DecayFit, NamesTheRowOrTheWholeThatCannotBeFitted) {
    struct Case {
        std::vector<double> t, P, sigma;
        std::size_t row;
        std::string reason;  // the start of it
    };
    const std::size_t whole = DecayFitError::kNoRow;
    const Case cases[] = {
        {{}, {}, {}, whole, "0 points"},
        {{3}, {0.7}, {0.01}, whole, "1 point;"},
        {{3, 3}, {0.7, 0.6}, {0.01, 0.01}, whole, "all 2 points are at the same time"},
        {{0, 1}, {0.7}, {0.01, 0.01}, whole, "t, PHe and sigmaPHe have 2, 1 and 2"},
        {{0, 1, 2}, {0.7, 0.6, 0.5}, {0.01, -0.0, 0.01}, 1, "sigmaPHe is -0;"},
        {{0, 1, 2}, {0.7, 0.0, 0.5}, {0.01, 0.01, 0.01}, 1, "PHe is 0;"},
        {{0, 1, kNoValue}, {0.7, 0.6, 0.5}, {0.01, 0.01, 0.01}, 2, "t is NaN"},
        {{0, 1, 2}, {0.7, 0.6, 0.5}, {kNoValue, 0.01, 0.01}, 0, "sigmaPHe is NaN"},
        {{0, 1, 2}, {0.5, 0.6, 0.7}, {0.01, 0.01, 0.01}, whole, "the points do not decay"},
        // Level points: the optimum is 1/T1 = 0, where the fit must settle, not run to its cap.
        {{0, 10, 20, 30},
         {0.7, 0.7, 0.7, 0.7},
         {0.01, 0.01, 0.01, 0.01},
         whole,
         "the points do not decay"},
        {{1e6, 1e6 + 24, 1e6 + 48},
         {0.7, 0.62, 0.55},
         {0.01, 0.01, 0.01},
         whole,
         "PHe0, the polarisation at t = 0, is beyond a double"},
    };
    for (const Case& c : cases) {
        const DecayFitOutcome outcome = He3DecayFit(c.t, c.P, c.sigma);
        EXPECT_FALSE(outcome.fit) << c.reason;
        EXPECT_EQ(outcome.error.row, c.row) << c.reason;
        EXPECT_EQ(outcome.error.reason.rfind(c.reason, 0), 0u) << outcome.error.reason;
    }
}

TEST(DecayFit, AwkwardDataEndsInAFitOrAReason) {
    // A cell re-polarised half way; wildly scattered points; deviations over
    // nine decades; times some T1 from zero.
    const std::vector<std::vector<double>> cases[] = {
        {{0, 12, 24, 36, 48, 60},
         {0.78, 0.72, 0.66, 0.80, 0.74, 0.68},
         std::vector<double>(6, 0.005)},
        {{0, 1, 2, 3, 4}, {0.9, 0.1, 0.8, 0.05, 0.7}, std::vector<double>(5, 0.01)},
        {{0, 10, 20, 30}, {0.7, 0.65, 0.6, 0.56}, {1e-9, 1e-3, 1, 1e-5}},
        {{2000, 2024, 2048}, {0.7, 0.62, 0.55}, {0.01, 0.01, 0.01}},
    };
    for (const auto& c : cases) {
        const DecayFitOutcome outcome = He3DecayFit(c[0], c[1], c[2]);
        EXPECT_TRUE(outcome.fit || !outcome.error.reason.empty());
        if (outcome.fit && outcome.fit->reduced_chi_square > 10) {
            EXPECT_NE(outcome.fit->Note().find("reduced chi-square"), std::string::npos);
        }
    }
}

TEST(DecayFit, ACommonScaleOfTheDeviationsGivesTheSameFit) {
    const std::vector<double> t{0, 24, 48}, P{0.70, 0.68, 0.66};
    const DecayFitOutcome reference = He3DecayFit(t, P, std::vector<double>(3, 0.005));
    ASSERT_TRUE(reference.fit) << reference.error.reason;
    const DecayFit& e = *reference.fit;
    for (const double scale : {1e-170, 1e-100, 1e-3, 1e3, 1e100, 1e170}) {
        const DecayFitOutcome outcome = He3DecayFit(t, P, std::vector<double>(3, 0.005 * scale));
        ASSERT_TRUE(outcome.fit) << scale << ": " << outcome.error.reason;
        const DecayFit& f = *outcome.fit;
        EXPECT_NEAR(f.PHe0, e.PHe0, 1e-13 * e.PHe0) << scale;
        EXPECT_NEAR(f.T1, e.T1, 1e-12 * e.T1) << scale;
        EXPECT_NEAR(f.sigmaPHe0 / scale, e.sigmaPHe0, 1e-12 * e.sigmaPHe0) << scale;
        EXPECT_NEAR(f.sigmaT1 / scale, e.sigmaT1, 1e-12 * e.sigmaT1) << scale;
        EXPECT_NEAR(f.rho, e.rho, 1e-12) << scale;
    }
    // Deviations three hundred decades apart: the weights of all but one point
    // vanish, the start is the unweighted line's, and two points too light to
    // move χ² leave the fit undetermined in a double: a reason, not a NaN optimum.
    const DecayFitOutcome apart =
        He3DecayFit({0, 24, 48}, {0.70, 0.68, 0.66}, {1e-200, 1e100, 1e100});
    EXPECT_TRUE(apart.fit || apart.error.reason.find("nan") == std::string::npos);
    if (apart.fit) {
        EXPECT_NEAR(apart.fit->PHe0, 0.70, 1e-15);
    }
}

// Six points spanning 0.005 T1, the first 350 to 600 T1 after t = 0: the
// columns of the Jacobian in (PHe0, T1) are parallel to fourteen digits, so
// the covariance must come from a frame centred on the points.
TEST(DecayFit, PointsFarFromTimeZeroAreNeverRefused) {
    std::mt19937_64 random(20261209);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);
    int refused = 0, outside = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        const double T1 = 50 + 150 * uniform(random), first = (350 + 250 * uniform(random)) * T1;
        const double Pfirst = 0.5 + 0.3 * uniform(random);
        std::vector<double> t(6), P(6), sigma(6);
        for (int i = 0; i < 6; ++i) {
            t[i] = first + 0.001 * i * T1;
            const double exact = Pfirst * std::exp(-(t[i] - first) / T1);
            sigma[i] = 1e-4 * exact;
            P[i] = exact + sigma[i] * normal(random);
        }
        const DecayFitOutcome outcome = He3DecayFit(t, P, sigma);
        if (!outcome.fit) {
            if (++refused <= 3) ADD_FAILURE() << trial << ": " << outcome.error.reason;
            continue;
        }
        const DecayFit& f = *outcome.fit;
        // T1 within a few of its deviations of the truth; the curve through the
        // points; finite deviations and a correlation that is one.
        if (!(std::fabs(f.T1 - T1) < 6 * f.sigmaT1) || !(std::fabs(f.rho) <= 1.0) ||
            !(f.sigmaPHe0 > 0) || !std::isfinite(f.sigmaPHe0) ||
            !(std::fabs(f.PolarisationAt(first) - Pfirst) < 1e-3 * Pfirst)) {
            if (++outside <= 3) ADD_FAILURE() << trial << ": T1 " << f.T1 << " ± " << f.sigmaT1;
        }
    }
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(outside, 0);
}

TEST(DecayFit, PHe0CarriesTheCommonDeviationAndTheFitIgnoresIt) {
    const std::vector<double> t{0, 12, 24, 36, 48}, P{0.781, 0.716, 0.652, 0.602, 0.551},
        sigma(5, 0.004);
    const DecayFitOutcome plain = He3DecayFit(t, P, sigma);
    const DecayFitOutcome common = He3DecayFit(t, P, sigma, 0.02);
    ASSERT_TRUE(plain.fit && common.fit);
    const DecayFit &a = *plain.fit, &b = *common.fit;
    EXPECT_EQ(b.PHe0, a.PHe0);
    EXPECT_EQ(b.T1, a.T1);
    EXPECT_EQ(b.sigmaT1, a.sigmaT1);
    EXPECT_EQ(b.reduced_chi_square, a.reduced_chi_square);
    EXPECT_EQ(b.sigmaPHe0_points, a.sigmaPHe0);
    EXPECT_NEAR(b.sigmaPHe0, std::hypot(a.sigmaPHe0, 0.02 * a.PHe0), 1e-15);
    EXPECT_NEAR(b.rho, a.rho * a.sigmaPHe0 / b.sigmaPHe0, 1e-15);
    for (const double bad : {-0.01, kNoValue, std::numeric_limits<double>::infinity()}) {
        const DecayFitOutcome outcome = He3DecayFit(t, P, sigma, bad);
        EXPECT_FALSE(outcome.fit);
        EXPECT_NE(outcome.error.reason.find("common relative deviation"), std::string::npos);
    }
}

// Polarisations read from simulated transmission ratios, each with its own
// noise: weighed by the point-to-point part alone, the points scatter as their
// deviations say (reduced χ² near 1) for any σ_Tratio; the parts' squares add
// up to the whole deviation's.
TEST(DecayFit, WeighsThePointToPointPartOfTheTransmissionDeviation) {
    std::mt19937_64 random(7);
    std::normal_distribution<double> normal(0.0, 1.0);
    const double p = 1, T = 293, L = 10, lambda = 2, sp = 0.01, sT = 1, sL = 0.1, sl = 0.02;
    const double common =
        He3PolarisationFromTransmissionCommonRelSDev(p, T, L, lambda, sp, sT, sL, sl);
    const double O = CellOpacity(p, T, L, lambda);
    for (const double sigmaRatio : {1e-5, 1e-4, 1e-3, 1e-2}) {
        std::vector<double> t, P, sigma;
        for (int i = 0; i < 400; ++i) {
            const double time = 0.5 * i, truth = 0.75 * std::exp(-time / 150);
            const double ratio = std::cosh(O * truth) + sigmaRatio * normal(random);
            t.push_back(time);
            P.push_back(He3PolarisationFromTransmission(p, T, L, lambda, ratio));
            sigma.push_back(
                He3PolarisationFromTransmissionPointSDev(p, T, L, lambda, ratio, sigmaRatio));
            const double whole = He3PolarisationFromTransmissionSDev(p, T, L, lambda, ratio, sp, sT,
                                                                     sL, sl, sigmaRatio);
            EXPECT_NEAR(std::hypot(P.back() * common, sigma.back()), whole, 1e-14 * whole);
        }
        const DecayFitOutcome outcome = He3DecayFit(t, P, sigma, common);
        ASSERT_TRUE(outcome.fit) << outcome.error.reason;
        EXPECT_NEAR(outcome.fit->reduced_chi_square, 1.0, 0.25) << sigmaRatio;
        EXPECT_NEAR(outcome.fit->sigmaPHe0 / outcome.fit->PHe0, common,
                    1.5 * outcome.fit->sigmaPHe0_points)
            << sigmaRatio;
    }
}

}  // namespace
}  // namespace vantrel::helium3
