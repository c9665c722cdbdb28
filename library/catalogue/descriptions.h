// What each function is, for the help of the command-line tool and the Python
// module: a one-line summary, the unit of the result, when the value is NaN,
// one example with its value, and each argument's meaning and unit (the unit
// words of docs/functions.md, which is the long form; a test holds the two
// together). Kept in catalogue order; the catalogue checks at compile time
// that the arguments match each function's signature, and a test that every
// example gives its value.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <type_traits>

#include "vantrel/catalogue.h"

namespace vantrel::detail {

template <std::size_t N>
struct Description {
    std::string_view summary;
    std::string_view resultUnit;
    std::string_view nanWhen;
    std::array<double, N> example;
    double exampleValue;
    std::array<ArgumentInfo, N> arguments;
};

// Arguments that several functions share, in their order.
template <std::size_t N>
using ArgumentGroup = std::array<ArgumentInfo, N>;

template <class Group>
inline constexpr std::size_t kGroupSize = 1;  // one ArgumentInfo
template <std::size_t N>
inline constexpr std::size_t kGroupSize<ArgumentGroup<N>> = N;

// Deliberately neither constexpr nor defined: see library/catalogue/registry.h.
void ExampleDoesNotMatchTheArguments();

// A description from its arguments, given one by one or in groups.
template <class... Groups>
consteval Description<(kGroupSize<Groups> + ... + 0)> Describe(
    std::string_view summary, std::string_view resultUnit, std::string_view nanWhen,
    std::initializer_list<double> example, double exampleValue, const Groups&... groups) {
    Description<(kGroupSize<Groups> + ... + 0)> description{};
    description.summary = summary;
    description.resultUnit = resultUnit;
    description.nanWhen = nanWhen;
    description.exampleValue = exampleValue;
    if (example.size() != description.arguments.size()) ExampleDoesNotMatchTheArguments();
    std::copy(example.begin(), example.end(), description.example.begin());
    std::size_t k = 0;
    const auto add = [&](const auto& group) {
        if constexpr (std::is_same_v<std::decay_t<decltype(group)>, ArgumentInfo>) {
            description.arguments[k++] = group;
        } else {
            for (const ArgumentInfo& argument : group) description.arguments[k++] = argument;
        }
    };
    (add(groups), ...);
    return description;
}

}  // namespace vantrel::detail

// Named as the functions are, so that the catalogue finds each by its name.
namespace vantrel::descriptions {

using detail::ArgumentGroup;
using detail::Describe;
using Argument = ArgumentInfo;

// One field a line, as a table is read: summary and unit of the result, NaN
// cases, the example and its value, then the arguments.
// clang-format off

// Arguments that several functions share, in their order.
// The four measurements of a reflection, as counts.
inline constexpr ArgumentGroup<4> kMeasurements = {{
    Argument{"Npp", "peak, spin +", "counts"},
    Argument{"Nbp", "background, spin +", "counts"},
    Argument{"Npm", "peak, spin −", "counts"},
    Argument{"Nbm", "background, spin −", "counts"},
}};

// The counting time of each of the four.
inline constexpr ArgumentGroup<4> kTimes = {{
    Argument{"tPp", "counting time, peak +", "s"},
    Argument{"tBp", "counting time, background +", "s"},
    Argument{"tPm", "counting time, peak −", "s"},
    Argument{"tBm", "counting time, background −", "s"},
}};

// The monitor counts of the peak and background positions.
inline constexpr ArgumentGroup<2> kMonitors = {{
    Argument{"Mp", "monitor counts over both peak measurements", "counts"},
    Argument{"Mb", "monitor counts over both background measurements", "counts"},
}};

// The dead-time model.
inline constexpr ArgumentGroup<2> kDeadTime = {{
    Argument{"tau", "dead time τ", "s"},
    Argument{"tau2", "second-order dead-time coefficient τ₂", "s²"},
}};

// The deviations of the dead-time model.
inline constexpr ArgumentGroup<2> kDeadTimeDeviations = {{
    Argument{"sigmaTau", "standard deviation of τ", "s"},
    Argument{"sigmaTau2", "standard deviation of τ₂", "s²"},
}};

// The four measurements as rates, and the total time to split.
inline constexpr ArgumentGroup<5> kRates = {{
    Argument{"Npp", "rate, peak +", "counts/s"},
    Argument{"Nbp", "rate, background +", "counts/s"},
    Argument{"Npm", "rate, peak −", "counts/s"},
    Argument{"Nbm", "rate, background −", "counts/s"},
    Argument{"T", "total counting time", "s"},
}};

// The Miller indices of a reflection.
inline constexpr ArgumentGroup<3> kReflection = {{
    Argument{"h", "Miller index", "1"},
    Argument{"k", "Miller index", "1"},
    Argument{"l", "Miller index", "1"},
}};

// A helium-3 cell and the neutrons it filters.
inline constexpr ArgumentGroup<4> kCell = {{
    Argument{"p", "helium-3 pressure", "atm"},
    Argument{"T", "gas temperature", "K"},
    Argument{"L", "cell length", "cm"},
    Argument{"lambda", "neutron wavelength", "Å"},
}};

// Their deviations.
inline constexpr ArgumentGroup<4> kCellDeviations = {{
    Argument{"sigmaP", "standard deviation of p", "atm"},
    Argument{"sigmaT", "standard deviation of T", "K"},
    Argument{"sigmaL", "standard deviation of L", "cm"},
    Argument{"sigmaLambda", "standard deviation of λ", "Å"},
}};

// Two points on the flanks of a peak.
inline constexpr ArgumentGroup<6> kPoints = {{
    Argument{"x1", "first position", "degrees"},
    Argument{"A1", "count A at x1", "counts"},
    Argument{"B1", "count B at x1", "counts"},
    Argument{"x2", "second position", "degrees"},
    Argument{"A2", "count A at x2", "counts"},
    Argument{"B2", "count B at x2", "counts"},
}};


inline constexpr auto CountRate = Describe(
    "Count rate N/t.", "counts/s",
    "t = 0 (either sign).",
    {1000, 50}, 20,
    Argument{"N", "counts recorded", "counts"},
    Argument{"t", "counting time", "s"});

inline constexpr auto CountRateSDev = Describe(
    "Standard deviation of CountRate, the counts taken as Poisson.", "counts/s",
    "t = 0; N < 0 (square root of a negative).",
    {1000, 50}, 0.6324555320336759,
    Argument{"N", "counts recorded", "counts"},
    Argument{"t", "counting time", "s"});

inline constexpr auto CountRateDDT = Describe(
    "Count rate corrected for detector dead time, to first and second order.", "counts/s",
    "q = 0: the detector is paralysed (for example N·τ = t with τ₂ = 0).",
    {10000, 10, 1e-5, 1e-9}, 1011.1223458038422,
    Argument{"N", "counts recorded", "counts"},
    Argument{"t", "counting time", "s"},
    kDeadTime);

inline constexpr auto CountRateDDTSDev = Describe(
    "Standard deviation of CountRateDDT.", "counts/s",
    "q = 0 (tested as (N·N)·τ₂ + (N·τ − t)·t = 0, which is −q up to rounding); N < 0.",
    {10000, 10, 1e-5, 1e-9, 1e-6, 1e-10}, 10.285356368427902,
    Argument{"N", "counts recorded", "counts"},
    Argument{"t", "counting time", "s"},
    kDeadTime, kDeadTimeDeviations);

inline constexpr auto CountRateMonitor = Describe(
    "Counts per monitor count, N/M.", "1",
    "M = 0.",
    {2500, 100000}, 0.025,
    Argument{"N", "counts recorded", "counts"},
    Argument{"M", "monitor counts over the same time", "counts"});

inline constexpr auto CountRateMonitorSDev = Describe(
    "Standard deviation of CountRateMonitor, both counts taken as Poisson.", "1",
    "M = 0; a negative radicand (for example −M < N < 0).",
    {2500, 100000}, 0.0005062114182829146,
    Argument{"N", "counts recorded", "counts"},
    Argument{"M", "monitor counts over the same time", "counts"});

inline constexpr auto FlippingRatio = Describe(
    "Flipping ratio I+/I− of four intensities: peak and background in each spin state.", "1",
    "N_p− − N_b− = 0.",
    {1000, 200, 300, 150}, 5.333333333333333,
    kMeasurements);

inline constexpr auto FlippingRatioSDev = Describe(
    "Standard deviation of FlippingRatio.", "1",
    "N_p− − N_b− = 0.",
    {1000, 200, 300, 150, 30, 15, 20, 10}, 0.8258927081843614,
    kMeasurements,
    Argument{"sigmaPp", "standard deviation of Npp", "counts"},
    Argument{"sigmaBp", "standard deviation of Nbp", "counts"},
    Argument{"sigmaPm", "standard deviation of Npm", "counts"},
    Argument{"sigmaBm", "standard deviation of Nbm", "counts"});

inline constexpr auto FlippingRatioOpt = Describe(
    "Flipping ratio from raw counts, each normalised to its own time and monitor rate.", "1",
    "I− = 0. No other argument is tested: a zero time or monitor count makes its term infinite "
    "and the result follows IEEE arithmetic (±∞ or NaN; for example −∞ for (1000, 200, 300, 150, "
    "0, 30, 50, 40, 5000, 2500), where t_p+ = 0 and I− < 0).",
    {1000, 200, 300, 150, 60, 30, 50, 40, 5000, 2500}, 6.6666666666666625,
    kMeasurements, kTimes, kMonitors);

inline constexpr auto FlippingRatioOptSDev = Describe(
    "Standard deviation of FlippingRatioOpt, counts and monitors taken as Poisson.", "1",
    "I− = 0; any of Mp, Mb, tPp, tBp, tPm, tBm is 0; a negative variance (negative counts).",
    {1000, 200, 300, 150, 60, 30, 50, 40, 5000, 2500}, 2.943168447798569,
    kMeasurements, kTimes, kMonitors);

inline constexpr auto FlippingRatioOptDDT = Describe(
    "FlippingRatioOpt with each count first corrected for dead time.", "1",
    "any q_k = 0 (a paralysed measurement, tested in argument order); I− = 0. Monitor counts and "
    "times are not tested otherwise (as FlippingRatioOpt).",
    {1000, 200, 300, 150, 60, 30, 50, 40, 5000, 2500, 0.001, 1e-7}, 6.750324453972278,
    kMeasurements, kTimes, kMonitors, kDeadTime);

inline constexpr auto FlippingRatioOptDDTSDev = Describe(
    "Standard deviation of FlippingRatioOptDDT.", "1",
    "any q_k = 0; I− = 0; any of Mp, Mb, tPp, tBp, tPm, tBm is 0; a negative count.",
    {1000, 200, 300, 150, 60, 30, 50, 40, 5000, 2500, 0.001, 1e-7, 1e-4, 1e-8}, 2.9645430454058976,
    kMeasurements, kTimes, kMonitors, kDeadTime, kDeadTimeDeviations);

inline constexpr auto OptCountingTimeTpp = Describe(
    "Counting time for peak + in the split of a total time that minimises the variance of the "
    "flipping ratio.", "s",
    "D = 0 (zero net rate in both states); any rate negative.",
    {100, 10, 50, 10, 3600}, 994.8240143224754,
    kRates);

inline constexpr auto OptCountingTimeTbp = Describe(
    "Counting time for background + in the split of a total time that minimises the variance of "
    "the flipping ratio.", "s",
    "D = 0; any rate negative.",
    {100, 10, 50, 10, 3600}, 314.59097562909915,
    kRates);

inline constexpr auto OptCountingTimeTpm = Describe(
    "Counting time for peak − in the split of a total time that minimises the variance of the "
    "flipping ratio.", "s",
    "D = 0; any rate negative.",
    {100, 10, 50, 10, 3600}, 1582.7553148829522,
    kRates);

inline constexpr auto OptCountingTimeTbm = Describe(
    "Counting time for background − in the split of a total time that minimises the variance of "
    "the flipping ratio.", "s",
    "D = 0; any rate negative.",
    {100, 10, 50, 10, 3600}, 707.8296951654731,
    kRates);

inline constexpr auto OptCountingTimeTppSDev = Describe(
    "Standard deviation of OptCountingTimeTpp from the deviations of the four rates.", "s",
    "D = 0; any rate negative. N_p+ = 0 with σ_p+ ≠ 0 gives +∞.",
    {100, 10, 50, 10, 3600, 1, 0.5, 0.8, 0.5}, 23.98433840693751,
    kRates,
    Argument{"sigmaPp", "standard deviation of Npp (σ_X)", "counts/s"},
    Argument{"sigmaBp", "standard deviation of Nbp (does not enter)", "counts/s"},
    Argument{"sigmaPm", "standard deviation of Npm (σ_o)", "counts/s"},
    Argument{"sigmaBm", "standard deviation of Nbm (σ_o)", "counts/s"});

inline constexpr auto OptCountingTimeTbpSDev = Describe(
    "Standard deviation of OptCountingTimeTbp from the deviations of the four rates.", "s",
    "D = 0; any rate negative. N_b+ = 0 with σ_b+ ≠ 0 gives +∞.",
    {100, 10, 50, 10, 3600, 1, 0.5, 0.8, 0.5}, 10.81227719077766,
    kRates,
    Argument{"sigmaPp", "standard deviation of Npp (does not enter)", "counts/s"},
    Argument{"sigmaBp", "standard deviation of Nbp (σ_X)", "counts/s"},
    Argument{"sigmaPm", "standard deviation of Npm (σ_o)", "counts/s"},
    Argument{"sigmaBm", "standard deviation of Nbm (σ_o)", "counts/s"});

inline constexpr auto OptCountingTimeTpmSDev = Describe(
    "Standard deviation of OptCountingTimeTpm from the deviations of the four rates.", "s",
    "D = 0; any rate negative. N_p− = 0 with σ_p− ≠ 0 gives +∞.",
    {100, 10, 50, 10, 3600, 1, 0.5, 0.8, 0.5}, 23.386300415223705,
    kRates,
    Argument{"sigmaPp", "standard deviation of Npp (σ_o)", "counts/s"},
    Argument{"sigmaBp", "standard deviation of Nbp (σ_o)", "counts/s"},
    Argument{"sigmaPm", "standard deviation of Npm (σ_X)", "counts/s"},
    Argument{"sigmaBm", "standard deviation of Nbm (does not enter)", "counts/s"});

inline constexpr auto OptCountingTimeTbmSDev = Describe(
    "Standard deviation of OptCountingTimeTbm from the deviations of the four rates.", "s",
    "D = 0; any rate negative. N_b− = 0 with σ_b− ≠ 0 gives +∞.",
    {100, 10, 50, 10, 3600, 1, 0.5, 0.8, 0.5}, 19.760001103746998,
    kRates,
    Argument{"sigmaPp", "standard deviation of Npp (σ_o)", "counts/s"},
    Argument{"sigmaBp", "standard deviation of Nbp (σ_o)", "counts/s"},
    Argument{"sigmaPm", "standard deviation of Npm (does not enter)", "counts/s"},
    Argument{"sigmaBm", "standard deviation of Nbm (σ_X)", "counts/s"});

inline constexpr auto PeakCentringLin = Describe(
    "Centre of a peak from two points on its flanks, linear model.", "degrees",
    "A1 − B1 = A2 − B2 (parallel line).",
    {10, 120, 80, 10.4, 70, 130}, 10.16,
    kPoints);

inline constexpr auto PeakCentringLinSDev = Describe(
    "Standard deviation of PeakCentringLin.", "degrees",
    "A1 − B1 = A2 − B2.",
    {10, 120, 80, 10.4, 70, 130, 0.01, 10, 10, 10, 10}, 0.041424630354416,
    kPoints,
    Argument{"sigmaX", "standard deviation of each position", "degrees"},
    Argument{"sigmaA1", "standard deviation of A1", "counts"},
    Argument{"sigmaB1", "standard deviation of B1", "counts"},
    Argument{"sigmaA2", "standard deviation of A2", "counts"},
    Argument{"sigmaB2", "standard deviation of B2", "counts"});

inline constexpr auto PeakCentringGauss = Describe(
    "Centre of a peak from two points on its flanks, Gaussian model.", "degrees",
    "A1 + B1 = 0; A2 + B2 = 0; u1 = u2 (tested in this order).",
    {10, 120, 80, 10.4, 70, 130}, 10.158672276141123,
    kPoints);

inline constexpr auto PeakCentringGaussSDev = Describe(
    "Standard deviation of PeakCentringGauss.", "degrees",
    "as PeakCentringGauss.",
    {10, 120, 80, 10.4, 70, 130, 0.01, 10, 10, 10, 10}, 0.04368830972620394,
    kPoints,
    Argument{"sigmaX", "standard deviation of each position", "degrees"},
    Argument{"sigmaA1", "standard deviation of A1", "counts"},
    Argument{"sigmaB1", "standard deviation of B1", "counts"},
    Argument{"sigmaA2", "standard deviation of A2", "counts"},
    Argument{"sigmaB2", "standard deviation of B2", "counts"});

inline constexpr auto STLcubic = Describe(
    "sin(θ)/λ of the reflection (h, k, l) of a cubic cell.", "Å⁻¹",
    "a = 0.",
    {1, 1, 1, 5}, 0.17320508075688773,
    kReflection,
    Argument{"a", "cell edge", "Å"});

inline constexpr auto STLhexagonal = Describe(
    "sin(θ)/λ of the reflection (h, k, l) of a hexagonal cell.", "Å⁻¹",
    "(√3·a)·c = 0 (a or c is 0, or the product underflows).",
    {1, 1, 2, 3, 5}, 0.38873012632302,
    kReflection,
    Argument{"a", "cell edge a = b", "Å"},
    Argument{"c", "cell edge c", "Å"});

inline constexpr auto STLrhombohedral = Describe(
    "sin(θ)/λ of the reflection (h, k, l) of a rhombohedral cell.", "Å⁻¹",
    "the metric determinant is below 10⁻¹³ Å⁶ (α of 0 or 120, a tiny edge).",
    {1, 1, 1, 5, 60}, 0.1224744871391625,
    kReflection,
    Argument{"a", "cell edge a = b = c", "Å"},
    Argument{"alpha", "cell angle α = β = γ", "degrees"});

inline constexpr auto STLtetragonal = Describe(
    "sin(θ)/λ of the reflection (h, k, l) of a tetragonal cell.", "Å⁻¹",
    "c·a = 0.",
    {1, 1, 1, 4, 6}, 0.19543398999264291,
    kReflection,
    Argument{"a", "cell edge a = b", "Å"},
    Argument{"c", "cell edge c", "Å"});

inline constexpr auto STLorthorhombic = Describe(
    "sin(θ)/λ of the reflection (h, k, l) of an orthorhombic cell.", "Å⁻¹",
    "(b·a)·c = 0.",
    {1, 2, 3, 4, 5, 6}, 0.343693177121688,
    kReflection,
    Argument{"a", "cell edge", "Å"},
    Argument{"b", "cell edge", "Å"},
    Argument{"c", "cell edge", "Å"});

inline constexpr auto STLmonoclinicB = Describe(
    "sin(θ)/λ of the reflection (h, k, l) of a monoclinic cell, unique axis b.", "Å⁻¹",
    "the metric determinant is below 10⁻¹³ Å⁶ (β of 0 or 180, a zero edge).",
    {1, 2, 3, 4, 5, 6, 100}, 0.3629661755730673,
    kReflection,
    Argument{"a", "cell edge", "Å"},
    Argument{"b", "cell edge (unique axis)", "Å"},
    Argument{"c", "cell edge", "Å"},
    Argument{"beta", "cell angle β (α = γ = 90°)", "degrees"});

inline constexpr auto STLmonoclinicC = Describe(
    "sin(θ)/λ of the reflection (h, k, l) of a monoclinic cell, unique axis c.", "Å⁻¹",
    "the metric determinant is below 10⁻¹³ Å⁶ (γ of 0 or 180, a zero edge).",
    {1, 2, 3, 4, 5, 6, 100}, 0.3588966476017101,
    kReflection,
    Argument{"a", "cell edge", "Å"},
    Argument{"b", "cell edge", "Å"},
    Argument{"c", "cell edge (unique axis)", "Å"},
    Argument{"gamma", "cell angle γ (α = β = 90°)", "degrees"});

inline constexpr auto STLtriclinic = Describe(
    "sin(θ)/λ of the reflection (h, k, l) of a triclinic cell.", "Å⁻¹",
    "the metric determinant is below 10⁻¹³ Å⁶ (flat, impossible or tiny cells).",
    {1, 2, 3, 4, 5, 6, 60, 60, 60}, 0.26634094690828397,
    kReflection,
    Argument{"a", "cell edge", "Å"},
    Argument{"b", "cell edge", "Å"},
    Argument{"c", "cell edge", "Å"},
    Argument{"alpha", "cell angle α, between b and c", "degrees"},
    Argument{"beta", "cell angle β, between a and c", "degrees"},
    Argument{"gamma", "cell angle γ, between a and b", "degrees"});

inline constexpr auto Asymmetry = Describe(
    "Polarisation asymmetry (I+ − I−)/(I+ + I−) of four intensities.", "1",
    "I+ + I− = 0.",
    {1000, 200, 300, 150}, 0.6842105263157895,
    kMeasurements);

inline constexpr auto AsymmetrySDev = Describe(
    "Standard deviation of Asymmetry.", "1",
    "I+ + I− = 0.",
    {1000, 200, 300, 150, 30, 15, 20, 10}, 0.041180245837447386,
    kMeasurements,
    Argument{"sigmaPp", "standard deviation of Npp", "counts"},
    Argument{"sigmaBp", "standard deviation of Nbp", "counts"},
    Argument{"sigmaPm", "standard deviation of Npm", "counts"},
    Argument{"sigmaBm", "standard deviation of Nbm", "counts"});

inline constexpr auto AsymmetryOpt = Describe(
    "Asymmetry from raw counts, each normalised to its own time and monitor rate.", "1",
    "I+ + I− = 0; any of Mp, Mb, tPp, tBp, tPm, tBm is 0: the multiplied-out form would otherwise "
    "drop one position silently and return the asymmetry of the other (0.28, the background-only "
    "asymmetry, for Mb = 0 in the example below).",
    {1000, 200, 300, 150, 60, 30, 50, 40, 5000, 2500}, 0.7391304347826086,
    kMeasurements, kTimes, kMonitors);

inline constexpr auto AsymmetryOptSDev = Describe(
    "Standard deviation of AsymmetryOpt, counts and monitors taken as Poisson.", "1",
    "as AsymmetryOpt; a negative variance (negative counts).",
    {1000, 200, 300, 150, 60, 30, 50, 40, 5000, 2500}, 0.10014561826157711,
    kMeasurements, kTimes, kMonitors);

inline constexpr auto AsymmetryOptDDT = Describe(
    "AsymmetryOpt with each count first corrected for dead time.", "1",
    "any q_k = 0; I+ + I− = 0; any of Mp, Mb, tPp, tBp, tPm, tBm is 0.",
    {1000, 200, 300, 150, 60, 30, 50, 40, 5000, 2500, 0.001, 1e-7}, 0.7419462872970516,
    kMeasurements, kTimes, kMonitors, kDeadTime);

inline constexpr auto AsymmetryOptDDTSDev = Describe(
    "Standard deviation of AsymmetryOptDDT.", "1",
    "as AsymmetryOptDDT; a negative count.",
    {1000, 200, 300, 150, 60, 30, 50, 40, 5000, 2500, 0.001, 1e-7, 1e-4, 1e-8}, 0.0987070081875871,
    kMeasurements, kTimes, kMonitors, kDeadTime, kDeadTimeDeviations);

inline constexpr auto He3Efficiency = Describe(
    "Polarising efficiency tanh(O·P_He) of a polarised helium-3 cell of opacity O.", "1",
    "no test; by arithmetic when O·P_He is NaN (p = T = 0; T = 0 with P_He = 0).",
    {1, 293, 10, 2, 0.7}, 0.7772776293899741,
    kCell,
    Argument{"PHe", "helium-3 polarisation", "1"});

inline constexpr auto He3EfficiencySDev = Describe(
    "Standard deviation of He3Efficiency.", "1",
    "no test; by arithmetic when T = 0 (O infinite). For very opaque cells (O·P_He beyond about "
    "710) cosh overflows and the result is 0.",
    {1, 293, 10, 2, 0.7, 0.01, 1, 0.1, 0.02, 0.01}, 0.009350667636169322,
    kCell,
    Argument{"PHe", "helium-3 polarisation", "1"},
    kCellDeviations,
    Argument{"sigmaPHe", "standard deviation of P_He", "1"});

inline constexpr auto He3Efficiency2 = Describe(
    "Polarising efficiency of a helium-3 cell from its transmissions of polarised and "
    "unpolarised beams.", "1",
    "T_u > T_p (including n1 = 0 with the other counts non-zero).",
    {5000, 10000, 2000, 10000}, 0.916515138991168,
    Argument{"n1", "counts through the polarised cell", "counts"},
    Argument{"n2", "counts without the cell, for n1", "counts"},
    Argument{"n3", "counts through the unpolarised cell", "counts"},
    Argument{"n4", "counts without the cell, for n3", "counts"});

inline constexpr auto He3Efficiency2SDev = Describe(
    "Standard deviation of He3Efficiency2, the counts taken as Poisson.", "1",
    "n1·n4 = n2·n3 (an unpolarised cell, efficiency 0); n1 = 0 or n4 = 0; T_u > T_p.",
    {5000, 10000, 2000, 10000}, 0.005237229365663817,
    Argument{"n1", "counts through the polarised cell", "counts"},
    Argument{"n2", "counts without the cell, for n1", "counts"},
    Argument{"n3", "counts through the unpolarised cell", "counts"},
    Argument{"n4", "counts without the cell, for n3", "counts"});

inline constexpr auto He3Transmission = Describe(
    "Transmission cosh(O·P_He)·e^(−O) of a polarised helium-3 cell for an unpolarised beam.", "1",
    "no test; by arithmetic when T = 0 (O infinite) and for very opaque cells, where cosh(O·P_He) "
    "overflows (O·P_He beyond about 710) while exp(−O) underflows to 0 (O beyond about 745); "
    "where cosh overflows alone the result is +∞.",
    {1, 293, 10, 2, 0.7}, 0.3605461370670754,
    kCell,
    Argument{"PHe", "helium-3 polarisation", "1"});

inline constexpr auto He3TransmissionSDev = Describe(
    "Standard deviation of He3Transmission.", "1",
    "no test; by arithmetic when T = 0 (O infinite) and for O·P_He beyond about 355, where sinh²x "
    "and sinh(2x) overflow.",
    {1, 293, 10, 2, 0.7, 0.01, 1, 0.1, 0.02, 0.01}, 0.005993212957053664,
    kCell,
    Argument{"PHe", "helium-3 polarisation", "1"},
    kCellDeviations,
    Argument{"sigmaPHe", "standard deviation of P_He", "1"});

inline constexpr auto He3Polarisation = Describe(
    "Helium-3 polarisation of a cell from the neutron polarisation measured behind it.", "1",
    "P_r < 0 or P_r > 1; with P_r = 0, |P_m| > 1; otherwise P_m < 0, P_m > 1 or P_m > P_r.",
    {1, 293, 10, 2, 0.95, 0.7}, 0.636015746137346,
    kCell,
    Argument{"Pr", "reference polarisation; 0: none", "1"},
    Argument{"Pm", "measured neutron polarisation, P_r·tanh(O·P_He)", "1"});

inline constexpr auto He3PolarisationSDev = Describe(
    "Standard deviation of He3Polarisation.", "1",
    "as He3Polarisation; P_r = 0 with P_m = ±1 (where the value is infinite).",
    {1, 293, 10, 2, 0.95, 0.7, 0.01, 1, 0.1, 0.02, 0.01, 0.01}, 0.022329647491685298,
    kCell,
    Argument{"Pr", "reference polarisation; 0: none", "1"},
    Argument{"Pm", "measured neutron polarisation", "1"},
    kCellDeviations,
    Argument{"sigmaPr", "standard deviation of P_r", "1"},
    Argument{"sigmaPm", "standard deviation of P_m", "1"});

// The cell over an experiment. Times in one unit of the user's choice; the
// tables write hours.
inline constexpr ArgumentGroup<3> kDecay = {{
    Argument{"PHe0", "helium-3 polarisation at t = 0", "1"},
    Argument{"T1", "relaxation time T₁ of the polarisation", "h"},
    Argument{"t", "time since t = 0", "h"},
}};

inline constexpr auto He3PolarisationAtTime = Describe(
    "Helium-3 polarisation PHe0·exp(−t/T₁) of a cell relaxing with the time constant T₁.", "1",
    "T1 ≤ 0 (T1 = +∞ keeps PHe0).",
    {0.75, 150, 24}, 0.6391078417246585,
    kDecay);

inline constexpr auto He3PolarisationAtTimeSDev = Describe(
    "Standard deviation of He3PolarisationAtTime, with the correlation of PHe0 and T1 that a decay "
    "fit gives.", "1",
    "T1 ≤ 0; |rho| > 1.",
    {0.75, 150, 24, 0.01, 8, -0.6}, 0.006825666430367661,
    kDecay,
    Argument{"sigmaPHe0", "standard deviation of PHe0", "1"},
    Argument{"sigmaT1", "standard deviation of T₁", "h"},
    Argument{"rho", "correlation of PHe0 and T₁", "1"});

inline constexpr auto He3PolarisationFromTransmission = Describe(
    "Helium-3 polarisation acosh(Tratio)/O of a cell of opacity O from the ratio of its "
    "transmissions polarised and unpolarised (the glass cancels).", "1",
    "Tratio < 1; p, T, L or lambda not above 0 (two negative ones included); O not finite.",
    {1, 293, 10, 2, 1.6}, 0.7057376816844649,
    kCell,
    Argument{"Tratio", "transmission polarised over unpolarised, T_p/T_u", "1"});

inline constexpr auto He3PolarisationFromTransmissionSDev = Describe(
    "Standard deviation of He3PolarisationFromTransmission, the cross-section's uncertainty "
    "included.", "1",
    "as He3PolarisationFromTransmission; Tratio = 1 with sigmaTratio ≠ 0 gives +∞.",
    {1, 293, 10, 2, 1.6, 0.01, 1, 0.1, 0.02, 0.02}, 0.016510218826723055,
    kCell,
    Argument{"Tratio", "transmission polarised over unpolarised, T_p/T_u", "1"},
    kCellDeviations,
    Argument{"sigmaTratio", "standard deviation of Tratio", "1"});

// He3PolarisationFromTransmissionSDev in its two parts, for a decay fit that
// weighs only what moves one point against another.
inline constexpr auto He3PolarisationFromTransmissionPointSDev = Describe(
    "The part of He3PolarisationFromTransmissionSDev that varies from point to point: the "
    "ratio's, σ_Tratio/(O·√((Tratio − 1)(Tratio + 1))), what a decay fit weighs.", "1",
    "as He3PolarisationFromTransmission; Tratio = 1 with sigmaTratio ≠ 0 gives +∞.",
    {1, 293, 10, 2, 1.6, 0.02}, 0.010793881113202165,
    kCell,
    Argument{"Tratio", "transmission polarised over unpolarised, T_p/T_u", "1"},
    Argument{"sigmaTratio", "standard deviation of Tratio", "1"});

inline constexpr auto He3PolarisationFromTransmissionCommonRelSDev = Describe(
    "The relative deviation common to every polarisation read from one cell's transmissions: "
    "p, T, L, λ and the cross-section constant, which a decay fit's PHe0 carries.", "1",
    "p, T, L or lambda not above 0 (two negative ones included); O not finite.",
    {1, 293, 10, 2, 0.01, 1, 0.1, 0.02}, 0.017702294649375238,
    kCell,
    kCellDeviations);

// A beam that is neither fully polarised nor perfectly flipped.
inline constexpr ArgumentGroup<2> kBeam = {{
    Argument{"P", "polarisation of the incident beam, −1 … 1", "1"},
    Argument{"f", "spin-flip probability of the flipper (1: perfect)", "1"},
}};

inline constexpr ArgumentGroup<2> kBeamDeviations = {{
    Argument{"sigmaP", "standard deviation of P", "1"},
    Argument{"sigmaF", "standard deviation of f", "1"},
}};

inline constexpr auto FlippingRatioCorrected = Describe(
    "The flipping ratio an ideal beam would give, from the measured R, the beam's polarisation "
    "and the flipper's spin-flip probability.", "1",
    "P outside [−1, 1]; f outside [0, 1]; P = 0 or f = 0 (the two states not told apart); "
    "(1 + P) − R(1 − (2f − 1)P) = 0.",
    {5, 0.95, 0.99}, 5.984423676012463,
    Argument{"R", "measured flipping ratio", "1"},
    kBeam);

inline constexpr auto FlippingRatioCorrectedSDev = Describe(
    "Standard deviation of FlippingRatioCorrected.", "1",
    "as FlippingRatioCorrected.",
    {5, 0.95, 0.99, 0.8, 0.01, 0.005}, 1.1917571130953273,
    Argument{"R", "measured flipping ratio", "1"},
    kBeam,
    Argument{"sigmaR", "standard deviation of R", "1"},
    kBeamDeviations);

inline constexpr auto AsymmetryCorrected = Describe(
    "The asymmetry an ideal beam would give, A/(P·(f − A(1 − f))), from the measured A, the "
    "beam's polarisation and the flipper's spin-flip probability.", "1",
    "P outside [−1, 1]; f outside [0, 1]; P = 0 or f = 0 (the two states not told apart); "
    "f = A(1 − f).",
    {0.6, 0.95, 0.99}, 0.6418485237483954,
    Argument{"A", "measured asymmetry", "1"},
    kBeam);

inline constexpr auto AsymmetryCorrectedSDev = Describe(
    "Standard deviation of AsymmetryCorrected.", "1",
    "as AsymmetryCorrected.",
    {0.6, 0.95, 0.99, 0.04, 0.01, 0.005}, 0.04388907348810858,
    Argument{"A", "measured asymmetry", "1"},
    kBeam,
    Argument{"sigmaA", "standard deviation of A", "1"},
    kBeamDeviations);

// The magnetic-to-nuclear ratio γ = F_M/F_N of a centric reflection, with the
// beam along the field and q² = sin²α of the field's angle to the scattering vector.
inline constexpr ArgumentGroup<3> kReflectionBeam = {{
    Argument{"P", "polarisation of the incident beam along the field, −1 … 1, not 0", "1"},
    kBeam[1],
    Argument{"q2", "sin²α, α the angle between the scattering vector and the field, 0 < q2 ≤ 1",
             "1"},
}};

// What a reflection's γ gives and is read from.
inline constexpr Argument kGamma{"gamma", "magnetic-to-nuclear ratio F_M/F_N", "1"};
inline constexpr Argument kSigmaGamma{"sigmaGamma", "standard deviation of γ", "1"};
inline constexpr Argument kMeasuredRatio{"R", "flipping ratio I+/I−", "1"};
inline constexpr Argument kMeasuredAsymmetry{"A", "asymmetry (I+ − I−)/(I+ + I−)", "1"};

inline constexpr auto GammaFromFlippingRatio = Describe(
    "The magnetic-to-nuclear ratio γ = F_M/F_N of a centric reflection from its flipping ratio: "
    "the root of smaller magnitude of the quadratic the ratio gives.", "1",
    "P outside [−1, 1] or 0; f outside (0, 1]; q2 outside (0, 1]; R < 0; no real root (a ratio "
    "further from 1 than the beam can produce at that q2).",
    {1.25, 0.95, 0.99, 0.8}, 0.07424675223044166,
    kMeasuredRatio,
    kReflectionBeam);

inline constexpr auto GammaFromFlippingRatioSDev = Describe(
    "Standard deviation of GammaFromFlippingRatio.", "1",
    "as GammaFromFlippingRatio; a double root with a deviation gives +∞.",
    {1.25, 0.95, 0.99, 0.8, 0.02, 0.01, 0.005}, 0.005406905312966927,
    kMeasuredRatio,
    kReflectionBeam,
    Argument{"sigmaR", "standard deviation of R", "1"},
    kBeamDeviations);

inline constexpr auto FlippingRatioFromGamma = Describe(
    "The flipping ratio (1 + 2P·q2·γ + q2·γ²)/(1 − 2P′·q2·γ + q2·γ²), P′ = (2f − 1)·P, of a "
    "centric reflection of magnetic-to-nuclear ratio γ.", "1",
    "P outside [−1, 1] or 0; f outside (0, 1]; q2 outside (0, 1]; I− = 0 (q2 = 1, |P′| = 1, "
    "gamma = P′).",
    {0.05, 0.95, 0.99, 0.8}, 1.1622390891840608,
    kGamma,
    kReflectionBeam);

inline constexpr auto FlippingRatioFromGammaSDev = Describe(
    "Standard deviation of FlippingRatioFromGamma.", "1",
    "as FlippingRatioFromGamma.",
    {0.05, 0.95, 0.99, 0.8, 0.005, 0.01, 0.005}, 0.017579757287830153,
    kGamma,
    kReflectionBeam,
    kSigmaGamma,
    kBeamDeviations);

inline constexpr auto GammaFromAsymmetry = Describe(
    "The magnetic-to-nuclear ratio γ = F_M/F_N of a centric reflection from its asymmetry: the "
    "root of smaller magnitude of the quadratic the asymmetry gives.", "1",
    "P outside [−1, 1] or 0; f outside (0, 1]; q2 outside (0, 1]; |A| > 1; no real root (an "
    "asymmetry further from 0 than the beam can produce at that q2).",
    {0.1, 0.95, 0.99, 0.8}, 0.06675837800188615,
    kMeasuredAsymmetry,
    kReflectionBeam);

inline constexpr auto GammaFromAsymmetrySDev = Describe(
    "Standard deviation of GammaFromAsymmetry.", "1",
    "as GammaFromAsymmetry; a double root with a deviation gives +∞.",
    {0.1, 0.95, 0.99, 0.8, 0.01, 0.01, 0.005}, 0.006777841451102703,
    kMeasuredAsymmetry,
    kReflectionBeam,
    Argument{"sigmaA", "standard deviation of A", "1"},
    kBeamDeviations);

inline constexpr auto AsymmetryFromGamma = Describe(
    "The asymmetry 2f·P·q2·γ/(1 + 2(1 − f)·P·q2·γ + q2·γ²) of a centric reflection of "
    "magnetic-to-nuclear ratio γ.", "1",
    "P outside [−1, 1] or 0; f outside (0, 1]; q2 outside (0, 1]; I+ + I− = 0.",
    {0.05, 0.95, 0.99, 0.8}, 0.0750329091706889,
    kGamma,
    kReflectionBeam);

inline constexpr auto AsymmetryFromGammaSDev = Describe(
    "Standard deviation of AsymmetryFromGamma.", "1",
    "as AsymmetryFromGamma.",
    {0.05, 0.95, 0.99, 0.8, 0.005, 0.01, 0.005}, 0.007520304779128633,
    kGamma,
    kReflectionBeam,
    kSigmaGamma,
    kBeamDeviations);
// Where a reflection is seen, and what a cell is worth: the derived quantities
// the planners show beside the functions above.
inline constexpr auto LatticeSpacing = Describe(
    "Lattice spacing d = 1/(2s) of a reflection of sin(θ)/λ = s.", "Å",
    "s not above 0.",
    {0.17320508075688773}, 2.8867513459481287,
    Argument{"s", "sin(θ)/λ of the reflection", "Å⁻¹"});

inline constexpr auto LatticeSpacingSDev = Describe(
    "Standard deviation of LatticeSpacing.", "Å",
    "as LatticeSpacing.",
    {0.17320508075688773, 0.001}, 0.016666666666666666,
    Argument{"s", "sin(θ)/λ of the reflection", "Å⁻¹"},
    Argument{"sigmaS", "standard deviation of s", "Å⁻¹"});

inline constexpr auto TwoTheta = Describe(
    "Scattering angle 2θ = 2·asin(λ·s) of a reflection of sin(θ)/λ = s at wavelength λ.",
    "degrees",
    "s < 0; lambda not above 0; lambda·s > 1 (beyond the reach of λ).",
    {0.17320508075688773, 0.84}, 16.731572722782122,
    Argument{"s", "sin(θ)/λ of the reflection", "Å⁻¹"},
    Argument{"lambda", "neutron wavelength λ", "Å"});

inline constexpr auto TwoThetaSDev = Describe(
    "Standard deviation of TwoTheta.", "degrees",
    "as TwoTheta; lambda·s = 1 gives +∞ unless both deviations are 0.",
    {0.17320508075688773, 0.84, 0.001, 0.005}, 0.13973962455846686,
    Argument{"s", "sin(θ)/λ of the reflection", "Å⁻¹"},
    Argument{"lambda", "neutron wavelength λ", "Å"},
    Argument{"sigmaS", "standard deviation of s", "Å⁻¹"},
    Argument{"sigmaLambda", "standard deviation of λ", "Å"});

inline constexpr auto He3FigureOfMerit = Describe(
    "Figure of merit Pn²·Tn of a polariser of neutron polarisation Pn and transmission Tn: a "
    "polarisation measured through it needs a time that goes as 1/(Pn²·Tn).", "1",
    "Pn outside [−1, 1]; Tn outside [0, 1].",
    {0.7, 0.35}, 0.17149999999999996,
    Argument{"Pn", "neutron polarisation of the polariser (He3Efficiency)", "1"},
    Argument{"Tn", "its neutron transmission (He3Transmission)", "1"});

inline constexpr auto He3FigureOfMeritSDev = Describe(
    "Standard deviation of He3FigureOfMerit.", "1",
    "as He3FigureOfMerit.",
    {0.7, 0.35, 0.01, 0.005}, 0.005478366544874484,
    Argument{"Pn", "neutron polarisation of the polariser (He3Efficiency)", "1"},
    Argument{"Tn", "its neutron transmission (He3Transmission)", "1"},
    Argument{"sigmaPn", "standard deviation of Pn", "1"},
    Argument{"sigmaTn", "standard deviation of Tn", "1"});

// clang-format on

}  // namespace vantrel::descriptions
