// Hostile inputs: every function over a grid of NaNs, infinities, signed zeros,
// subnormals and extremes, alone, in pairs and mixed at random, and over the
// exact inputs that hit each guard. Whatever comes in, the status is 0, only
// the result slot is written, and the value is NaN wherever it is documented
// to be.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "catalogue/bodies.h"
#include "support/edge_cases.h"

namespace vantrel::testing {
namespace {

using Args = std::span<const double>;

double FromBits(std::uint64_t bits) { return std::bit_cast<double>(bits); }

const double kGrid[] = {
    kQNaN,
    FromBits(0xFFF8000000000000),  // NaN with the sign set
    FromBits(0x7FF0000000000001),  // signalling NaN
    kInf,
    -kInf,
    0.0,
    -0.0,
    FromBits(1),  // smallest subnormal
    -FromBits(1),
    FromBits(0x000FFFFFFFFFFFFF),  // largest subnormal
    1e300,
    -1e300,
    1e-300,
    -1e-300,
};

// Where the documentation promises NaN, beyond a NaN argument.
struct NaNRule {
    std::string_view function;
    const char* when;
    bool (*applies)(Args);
};

// The Opt layout: four counts, four times, the monitor counts of peak and
// background; then τ, τ₂.
bool ZeroMonitorOrTime(Args a) {
    for (std::size_t k = 4; k < 10; ++k) {
        if (a[k] == 0.0) return true;
    }
    return false;
}

bool ParalysedMeasurement(Args a) {
    const double tau = a[10];
    const double tau2 = a[11];
    for (std::size_t k = 0; k < 4; ++k) {
        const double N = a[k];
        const double t = a[4 + k];
        if (((t - tau * N) * t) - (N * N) * tau2 == 0.0) return true;
    }
    return false;
}

bool OptMinusIntensityZero(Args a) {
    const double Tp = a[4] + a[6];
    const double Tb = a[5] + a[7];
    return (Tp * a[2]) / (a[8] * a[6]) - (Tb * a[3]) / (a[9] * a[7]) == 0.0;
}

// Computed guards are tested in the grouping in which they are evaluated: with
// extreme values, the grouping decides whether a difference is exactly zero.
bool AsymmetryDenominatorZero(Args a) { return ((a[0] - a[1]) + a[2]) - a[3] == 0.0; }
bool LinearDenominatorZero(Args a) { return ((a[1] - a[2]) - a[4]) + a[5] == 0.0; }

bool NegativeRate(Args a) { return a[0] < 0.0 || a[1] < 0.0 || a[2] < 0.0 || a[3] < 0.0; }
bool NoNetRateInEitherState(Args a) { return a[0] - a[1] == 0.0 && a[2] - a[3] == 0.0; }

bool ZeroEdge(Args a, std::size_t first, std::size_t count) {
    for (std::size_t k = first; k < first + count; ++k) {
        if (a[k] == 0.0) return true;
    }
    return false;
}

bool ReferenceOutOfRange(Args a) { return a[4] < 0.0 || a[4] > 1.0; }
bool MeasuredOutOfRange(Args a) {
    const double Pr = a[4];
    const double Pm = a[5];
    return Pr > 0.0 && Pr <= 1.0 && (Pm < 0.0 || Pm > 1.0 || Pm > Pr);
}
bool NoOpacity(Args a) { return a[0] == 0.0 && a[1] == 0.0; }        // p = T = 0: O = 0/0
bool NoDecay(Args a) { return a[1] <= 0.0; }                         // T1 ≤ 0
bool NoFiniteOpacity(Args a) { return a[0] == 0.0 || a[1] == 0.0; }  // p or T = 0
// P outside [−1, 1], f outside [0, 1], or either 0: the two states not told apart.
bool UnusableBeam(Args a) {
    return a[1] < -1.0 || a[1] > 1.0 || a[2] < 0.0 || a[2] > 1.0 || a[1] == 0.0 || a[2] == 0.0;
}
// The same beam, and the field's projection q² outside (0, 1]: a reflection
// whose ratio says nothing of γ.
bool UnusableReflection(Args a) { return UnusableBeam(a) || a[3] <= 0.0 || a[3] > 1.0; }
bool OutOfReach(Args a) { return a[0] < 0.0 || a[1] <= 0.0 || a[1] * a[0] > 1.0; }
bool UnusablePolariser(Args a) { return std::fabs(a[0]) > 1.0 || a[1] < 0.0 || a[1] > 1.0; }

const NaNRule kNaNRules[] = {
    {"CountRate", "t = 0", [](Args a) { return a[1] == 0.0; }},
    {"CountRateSDev", "t = 0", [](Args a) { return a[1] == 0.0; }},
    {"CountRateSDev", "N < 0", [](Args a) { return a[0] < 0.0; }},
    {"CountRateDDT", "q = 0",
     [](Args a) { return ((a[1] - a[0] * a[2]) * a[1]) - (a[0] * a[3]) * a[0] == 0.0; }},
    {"CountRateMonitor", "M = 0", [](Args a) { return a[1] == 0.0; }},
    {"CountRateMonitorSDev", "M = 0", [](Args a) { return a[1] == 0.0; }},

    {"FlippingRatio", "Npm - Nbm = 0", [](Args a) { return a[2] - a[3] == 0.0; }},
    {"FlippingRatioSDev", "Npm - Nbm = 0", [](Args a) { return a[2] - a[3] == 0.0; }},
    {"FlippingRatioOpt", "I- = 0", OptMinusIntensityZero},
    {"FlippingRatioOptSDev", "I- = 0", OptMinusIntensityZero},
    {"FlippingRatioOptSDev", "a monitor count or time 0", ZeroMonitorOrTime},
    {"FlippingRatioOptDDT", "a q_k = 0", ParalysedMeasurement},
    {"FlippingRatioOptDDTSDev", "a q_k = 0", ParalysedMeasurement},
    {"FlippingRatioOptDDTSDev", "a monitor count or time 0", ZeroMonitorOrTime},

    {"Asymmetry", "I+ + I- = 0", AsymmetryDenominatorZero},
    {"AsymmetrySDev", "I+ + I- = 0", AsymmetryDenominatorZero},
    {"AsymmetryOpt", "a monitor count or time 0", ZeroMonitorOrTime},
    {"AsymmetryOptSDev", "a monitor count or time 0", ZeroMonitorOrTime},
    {"AsymmetryOptDDT", "a monitor count or time 0", ZeroMonitorOrTime},
    {"AsymmetryOptDDT", "a q_k = 0", ParalysedMeasurement},
    {"AsymmetryOptDDTSDev", "a monitor count or time 0", ZeroMonitorOrTime},
    {"AsymmetryOptDDTSDev", "a q_k = 0", ParalysedMeasurement},

    {"OptCountingTimeTpp", "a negative rate", NegativeRate},
    {"OptCountingTimeTbp", "a negative rate", NegativeRate},
    {"OptCountingTimeTpm", "a negative rate", NegativeRate},
    {"OptCountingTimeTbm", "a negative rate", NegativeRate},
    {"OptCountingTimeTppSDev", "a negative rate", NegativeRate},
    {"OptCountingTimeTbpSDev", "a negative rate", NegativeRate},
    {"OptCountingTimeTpmSDev", "a negative rate", NegativeRate},
    {"OptCountingTimeTbmSDev", "a negative rate", NegativeRate},
    {"OptCountingTimeTpp", "D = 0", NoNetRateInEitherState},
    {"OptCountingTimeTbp", "D = 0", NoNetRateInEitherState},
    {"OptCountingTimeTpm", "D = 0", NoNetRateInEitherState},
    {"OptCountingTimeTbm", "D = 0", NoNetRateInEitherState},
    {"OptCountingTimeTppSDev", "D = 0", NoNetRateInEitherState},
    {"OptCountingTimeTbpSDev", "D = 0", NoNetRateInEitherState},
    {"OptCountingTimeTpmSDev", "D = 0", NoNetRateInEitherState},
    {"OptCountingTimeTbmSDev", "D = 0", NoNetRateInEitherState},

    {"PeakCentringLin", "A1 - B1 = A2 - B2", LinearDenominatorZero},
    {"PeakCentringLinSDev", "A1 - B1 = A2 - B2", LinearDenominatorZero},
    {"PeakCentringGauss", "A1 + B1 = 0 or A2 + B2 = 0",
     [](Args a) { return a[1] + a[2] == 0.0 || a[4] + a[5] == 0.0; }},
    {"PeakCentringGaussSDev", "A1 + B1 = 0 or A2 + B2 = 0",
     [](Args a) { return a[1] + a[2] == 0.0 || a[4] + a[5] == 0.0; }},

    {"STLcubic", "a = 0", [](Args a) { return ZeroEdge(a, 3, 1); }},
    {"STLhexagonal", "a or c = 0", [](Args a) { return ZeroEdge(a, 3, 2); }},
    {"STLtetragonal", "a or c = 0", [](Args a) { return ZeroEdge(a, 3, 2); }},
    {"STLorthorhombic", "an edge 0", [](Args a) { return ZeroEdge(a, 3, 3); }},
    {"STLrhombohedral", "a = 0", [](Args a) { return ZeroEdge(a, 3, 1); }},
    {"STLrhombohedral", "alpha 0 or 120", [](Args a) { return a[4] == 0.0 || a[4] == 120.0; }},
    {"STLmonoclinicB", "an edge 0", [](Args a) { return ZeroEdge(a, 3, 3); }},
    {"STLmonoclinicB", "beta 0 or 180", [](Args a) { return a[6] == 0.0 || a[6] == 180.0; }},
    {"STLmonoclinicC", "an edge 0", [](Args a) { return ZeroEdge(a, 3, 3); }},
    {"STLmonoclinicC", "gamma 0 or 180", [](Args a) { return a[6] == 0.0 || a[6] == 180.0; }},
    {"STLtriclinic", "an edge 0", [](Args a) { return ZeroEdge(a, 3, 3); }},

    {"He3Efficiency", "p = T = 0", NoOpacity},
    {"He3Transmission", "p = T = 0", NoOpacity},
    {"He3Efficiency2", "n1 = 0, the others finite and non-zero",
     [](Args a) {
         return a[0] == 0.0 && std::isnormal(a[1]) && std::isnormal(a[2]) && std::isnormal(a[3]);
     }},
    {"He3Efficiency2SDev", "n1 or n4 = 0", [](Args a) { return a[0] == 0.0 || a[3] == 0.0; }},
    {"He3Polarisation", "Pr outside [0, 1]", ReferenceOutOfRange},
    {"He3Polarisation", "Pm outside [0, Pr]", MeasuredOutOfRange},
    {"He3Polarisation", "Pr = 0, |Pm| > 1",
     [](Args a) { return a[4] == 0.0 && std::fabs(a[5]) > 1.0; }},
    {"He3Polarisation", "p = T = 0, Pr in range",
     [](Args a) { return NoOpacity(a) && !ReferenceOutOfRange(a); }},
    {"He3PolarisationSDev", "Pr outside [0, 1]", ReferenceOutOfRange},
    {"He3PolarisationSDev", "Pm outside [0, Pr]", MeasuredOutOfRange},
    {"He3PolarisationSDev", "Pr = 0, |Pm| = 1",
     [](Args a) { return a[4] == 0.0 && std::fabs(a[5]) == 1.0; }},
    {"He3PolarisationAtTime", "T1 <= 0", NoDecay},
    {"He3PolarisationAtTimeSDev", "T1 <= 0", NoDecay},
    {"He3PolarisationAtTimeSDev", "|rho| > 1", [](Args a) { return std::fabs(a[5]) > 1.0; }},
    {"He3PolarisationFromTransmission", "Tratio < 1", [](Args a) { return a[4] < 1.0; }},
    {"He3PolarisationFromTransmission", "p or T = 0", NoFiniteOpacity},
    {"He3PolarisationFromTransmissionSDev", "Tratio < 1", [](Args a) { return a[4] < 1.0; }},
    {"He3PolarisationFromTransmissionSDev", "p or T = 0", NoFiniteOpacity},
    {"FlippingRatioCorrected", "P, f unusable", UnusableBeam},
    {"FlippingRatioCorrectedSDev", "P, f unusable", UnusableBeam},
    {"AsymmetryCorrected", "P, f unusable", UnusableBeam},
    {"AsymmetryCorrectedSDev", "P, f unusable", UnusableBeam},
    {"He3PolarisationFromTransmissionPointSDev", "Tratio < 1", [](Args a) { return a[4] < 1.0; }},
    {"He3PolarisationFromTransmissionPointSDev", "p or T = 0", NoFiniteOpacity},
    {"He3PolarisationFromTransmissionCommonRelSDev", "p or T = 0", NoFiniteOpacity},
    {"GammaFromFlippingRatio", "P, f, q2 unusable", UnusableReflection},
    {"GammaFromFlippingRatio", "R < 0", [](Args a) { return a[0] < 0.0; }},
    {"GammaFromFlippingRatioSDev", "P, f, q2 unusable", UnusableReflection},
    {"GammaFromFlippingRatioSDev", "R < 0", [](Args a) { return a[0] < 0.0; }},
    {"FlippingRatioFromGamma", "P, f, q2 unusable", UnusableReflection},
    {"FlippingRatioFromGammaSDev", "P, f, q2 unusable", UnusableReflection},
    {"GammaFromAsymmetry", "P, f, q2 unusable", UnusableReflection},
    {"GammaFromAsymmetry", "|A| > 1", [](Args a) { return std::fabs(a[0]) > 1.0; }},
    {"GammaFromAsymmetrySDev", "P, f, q2 unusable", UnusableReflection},
    {"GammaFromAsymmetrySDev", "|A| > 1", [](Args a) { return std::fabs(a[0]) > 1.0; }},
    {"AsymmetryFromGamma", "P, f, q2 unusable", UnusableReflection},
    {"AsymmetryFromGammaSDev", "P, f, q2 unusable", UnusableReflection},
    {"LatticeSpacing", "s <= 0", [](Args a) { return a[0] <= 0.0; }},
    {"LatticeSpacingSDev", "s <= 0", [](Args a) { return a[0] <= 0.0; }},
    {"TwoTheta", "s < 0, lambda <= 0 or lambda·s > 1", OutOfReach},
    {"TwoThetaSDev", "s < 0, lambda <= 0 or lambda·s > 1", OutOfReach},
    {"He3FigureOfMerit", "P or T outside its range", UnusablePolariser},
    {"He3FigureOfMeritSDev", "P or T outside its range", UnusablePolariser},
};

// Arguments that do not enter the value, so a NaN there need not reach it:
// the deviation of the partner in the same spin state (the optimal times hold
// D exact), and σ_Pr without a reference polarisation.
bool Unused(std::string_view function, std::size_t position, Args a) {
    if (function == "OptCountingTimeTppSDev") return position == 6;
    if (function == "OptCountingTimeTbpSDev") return position == 5;
    if (function == "OptCountingTimeTpmSDev") return position == 8;
    if (function == "OptCountingTimeTbmSDev") return position == 7;
    if (function == "He3PolarisationSDev") return position == 10 && a[4] == 0.0;
    return false;
}

constexpr std::size_t kGuard = 3;
constexpr std::uint64_t kCanary = 0x7FF4C0DEC0DEC0DE;
constexpr std::uint64_t kUnwritten = 0xFFF4BAADF00DBAAD;

// Runs the body on a block with canaries on both sides and returns what is
// wrong, or nothing; counts the NaN rules that applied.
std::string Check(const CatalogueEntry& entry, Args args, std::vector<int>& rulesApplied) {
    const std::size_t n = entry.argumentCount;
    std::vector<std::uint64_t> memory(2 * kGuard + n + 1, kCanary);
    LayArguments(reinterpret_cast<FunctionParams*>(&memory[kGuard]), args);
    memory[kGuard + n] = kUnwritten;
    std::vector<std::uint64_t> expected = memory;

    const std::int32_t status =
        kEveryBody[entry.index](reinterpret_cast<FunctionParams*>(&memory[kGuard]));
    const std::uint64_t resultBits = memory[kGuard + n];
    const double result = std::bit_cast<double>(resultBits);
    expected[kGuard + n] = resultBits;

    std::string problem;
    if (status != 0) problem += " status " + std::to_string(status) + ";";
    if (resultBits == kUnwritten) problem += " result slot not written;";
    if (memory != expected) problem += " wrote outside its result slot;";
    if (!std::isnan(result)) {
        for (std::size_t k = 0; k < n; ++k) {
            if (std::isnan(args[k]) && !Unused(entry.name, k, args)) {
                problem += " NaN argument " + std::to_string(k + 1) + " did not reach the value;";
                break;
            }
        }
    }
    for (std::size_t r = 0; r < std::size(kNaNRules); ++r) {
        const NaNRule& rule = kNaNRules[r];
        if (rule.function != entry.name || !rule.applies(args)) continue;
        ++rulesApplied[r];
        if (!std::isnan(result)) problem += std::string(" not NaN although ") + rule.when + ";";
    }
    if (problem.empty()) return problem;
    EdgeCase call{entry.name, {args.begin(), args.end()}, 0.0};
    char value[40];
    std::snprintf(value, sizeof value, " = %.17g:", result);
    return Describe(call) + value + problem;
}

class HostileInputs : public ::testing::TestWithParam<std::size_t> {
protected:
    const CatalogueEntry& Entry() const { return Catalogue()[GetParam()]; }

    // An ordinary input of the function: its first documented case with a
    // finite, non-zero value.
    std::vector<double> Base() const {
        for (const EdgeCase& c : EveryEdgeCase()) {
            if (c.function == Entry().name && std::isfinite(c.expected) && c.expected != 0.0)
                return c.arguments;
        }
        ADD_FAILURE() << "no ordinary documented case for " << Entry().name;
        return std::vector<double>(Entry().argumentCount, 1.0);
    }

    void Expect(Args args) {
        ++checked_;
        const std::string problem = Check(Entry(), args, rulesApplied_);
        if (!problem.empty() && ++failures_ <= 10) ADD_FAILURE() << problem;
    }

    int failures_ = 0;
    long checked_ = 0;
    std::vector<int> rulesApplied_ = std::vector<int>(std::size(kNaNRules), 0);
};

TEST_P(HostileInputs, KeepsEveryPromise) {
    const std::vector<double> base = Base();
    const std::size_t n = base.size();

    // Every grid value in every position, and in all positions at once.
    for (std::size_t i = 0; i < n; ++i) {
        for (double v : kGrid) {
            std::vector<double> args = base;
            args[i] = v;
            Expect(args);
        }
    }
    for (double v : kGrid) Expect(std::vector<double>(n, v));

    // Every pair of positions.
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            for (double u : kGrid) {
                for (double v : kGrid) {
                    std::vector<double> args = base;
                    args[i] = u;
                    args[j] = v;
                    Expect(args);
                }
            }
        }
    }

    // Random mixtures of grid and ordinary values.
    std::mt19937_64 engine(GetParam() + 1);
    for (int draw = 0; draw < 10000; ++draw) {
        std::vector<double> args = base;
        for (double& x : args) {
            if (engine() % 2 == 0) x = kGrid[engine() % std::size(kGrid)];
        }
        Expect(args);
    }

    // The documented inputs that hit a guard, with every zero among them taken
    // with either sign.
    for (const EdgeCase& c : EveryEdgeCase()) {
        if (c.function != Entry().name || !std::isnan(c.expected)) continue;
        std::vector<std::size_t> zeros;
        for (std::size_t k = 0; k < c.arguments.size(); ++k) {
            if (c.arguments[k] == 0.0) zeros.push_back(k);
        }
        ASSERT_LE(zeros.size(), 12u);
        for (std::uint32_t signs = 0; signs < (1u << zeros.size()); ++signs) {
            std::vector<double> args = c.arguments;
            for (std::size_t z = 0; z < zeros.size(); ++z)
                args[zeros[z]] = (signs >> z) & 1 ? -0.0 : 0.0;
            Expect(args);
            const double value = Evaluate(Entry(), args);
            EXPECT_TRUE(std::isnan(value)) << Describe({c.function, args, 0.0}) << " = " << value;
        }
    }

    EXPECT_EQ(failures_, 0) << "inputs that broke a promise, of " << checked_;
    // A rule that never applied would test nothing.
    for (std::size_t r = 0; r < std::size(kNaNRules); ++r) {
        if (kNaNRules[r].function == Entry().name) {
            EXPECT_GT(rulesApplied_[r], 0) << "never exercised: NaN when " << kNaNRules[r].when;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllFunctions, HostileInputs,
                         ::testing::Range<std::size_t>(0, Catalogue().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                             return std::string(Catalogue()[info.param].name);
                         });

}  // namespace
}  // namespace vantrel::testing
