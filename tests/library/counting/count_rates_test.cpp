// Count rates: the standard deviations against a numerical propagation of the
// value functions (Poisson variance for counts and monitors, times exact).
#include <gtest/gtest.h>

#include <cmath>

#include "support/propagation.h"

namespace vantrel::testing {
namespace {

TEST(CountRates, StandardDeviationsAgreeWithPropagation) {
    Inputs in;
    const auto rate = ByName("CountRate");
    const auto rateSDev = ByName("CountRateSDev");
    const auto monitor = ByName("CountRateMonitor");
    const auto monitorSDev = ByName("CountRateMonitorSDev");
    const auto ddt = ByName("CountRateDDT");
    const auto ddtSDev = ByName("CountRateDDTSDev");
    for (int i = 0; i < 1000; ++i) {
        const double N = in.LogUniform(10, 1e7);
        const double t = in.LogUniform(0.1, 1e4);
        const double M = in.LogUniform(1e3, 1e8);
        const double tau = in.LogUniform(1e-9, 1e-5);
        const double tau2 = in.LogUniform(1e-15, 1e-10);
        const double sTau = tau * in.Uniform(0.01, 0.3);
        const double sTau2 = tau2 * in.Uniform(0.01, 0.3);
        const double plain[] = {N, t};
        const double plainSigma[] = {std::sqrt(N), 0.0};
        EXPECT_LT(RelativeDifference(rateSDev(plain), PropagatedSDev(rate, plain, plainSigma)),
                  1e-6);
        const double mon[] = {N, M};
        const double monSigma[] = {std::sqrt(N), std::sqrt(M)};
        EXPECT_LT(RelativeDifference(monitorSDev(mon), PropagatedSDev(monitor, mon, monSigma)),
                  1e-6);
        const double dead[] = {N, t, tau, tau2};
        const double deadSigma[] = {std::sqrt(N), 0.0, sTau, sTau2};
        const double withSigmas[] = {N, t, tau, tau2, sTau, sTau2};
        if (ddt(dead) <= 0) continue;  // beyond paralysis the model has no meaning
        EXPECT_LT(RelativeDifference(ddtSDev(withSigmas), PropagatedSDev(ddt, dead, deadSigma)),
                  1e-6)
            << N << " " << t << " " << tau << " " << tau2;
    }
}

TEST(CountRates, DeadTimeModelReducesToThePlainRate) {
    const double cases[][2] = {{10000, 10}, {1, 3}, {123456, 0.5}};
    for (const auto& c : cases) {
        const double plain[] = {c[0], c[1]};
        const double dead[] = {c[0], c[1], 0.0, 0.0};
        const double deadSigma[] = {c[0], c[1], 0.0, 0.0, 0.0, 0.0};
        EXPECT_DOUBLE_EQ(ByName("CountRateDDT")(dead), ByName("CountRate")(plain));
        EXPECT_DOUBLE_EQ(ByName("CountRateDDTSDev")(deadSigma), ByName("CountRateSDev")(plain));
    }
}

}  // namespace
}  // namespace vantrel::testing
