// The decay fit in C++: exact points give their curve back in any order,
// awkward data ends in a fit or a reason (never a hang), and every row that
// cannot enter the fit is named. Its agreement with scipy is in
// tests/frontends/python/test_decay_fit.py.
#include "vantrel/helium3/decay_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
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

}  // namespace
}  // namespace vantrel::helium3
