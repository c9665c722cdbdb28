// The function catalogue: every typed function with its name and its
// description (library/catalogue/descriptions.h), the one table from which everything else
// is derived. It has two parts. The first is the host's: its order is the
// function index of messages 14 and 15, and the "XOPF" resource and the host's
// dispatch table are generated from it alone. The second follows it and is the
// library's own, not exported to the host. The command-line tool, the Python
// module and the column kernels take both.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "catalogue/descriptions.h"
#include "catalogue/static_text.h"
#include "columns/arity.h"
#include "vantrel/catalogue.h"
#include "vantrel/counting/asymmetries.h"
#include "vantrel/counting/count_rates.h"
#include "vantrel/counting/dead_time.h"
#include "vantrel/counting/flipping_ratios.h"
#include "vantrel/counting/optimal_times.h"
#include "vantrel/helium3/helium3.h"
#include "vantrel/lattice/reflection_angles.h"
#include "vantrel/lattice/sin_theta_over_lambda.h"
#include "vantrel/magnetic/magnetic_ratio.h"
#include "vantrel/peaks/peak_centring.h"

namespace vantrel {

namespace detail {

// Neither constexpr nor defined, as CatalogueTextLongerThanItsStorage: reaching
// it stops the constant evaluation with its name as the message.
void ArgumentNamesDoNotMatchTheSignature();

// "N, t, tau, tau2": the argument names of a description in call order.
template <const auto& description>
consteval auto JoinArgumentNames() {
    constexpr std::size_t capacity = [] {
        std::size_t size = 0;
        for (const ArgumentInfo& argument : description.arguments) size += argument.name.size() + 2;
        return size;
    }();
    StaticText<capacity> list;
    for (const ArgumentInfo& argument : description.arguments) {
        const std::string_view separator = list.empty() ? "" : ", ";
        list = Keep<capacity>(list.View(), separator, argument.name);
    }
    return list;
}

template <const auto& description>
inline constexpr auto kArgumentList = JoinArgumentNames<description>();

template <Literal name, const auto& description>
inline constexpr auto kSignature =
    Keep<sizeof name.chars + sizeof kArgumentList<description>.chars + 2>(
        name.View(), "(", kArgumentList<description>.View(), ")");

// An entry whose description must name as many arguments as its typed
// function takes.
template <auto F, Literal name, Literal subsystem, const auto& description>
consteval CatalogueEntry MakeEntry() {
    if (description.arguments.size() != kArgumentCount<F>) ArgumentNamesDoNotMatchTheSignature();
    return {0,      // set by Indexed, from the entry's position
            false,  // likewise
            name.View(),
            kAlias<name>.View(),
            kSignature<name, description>.View(),
            kArgumentCount<F>,
            kArgumentList<description>.View(),
            description.summary,
            description.resultUnit,
            description.arguments,
            description.nanWhen,
            description.example,
            description.exampleValue,
            subsystem.View()};
}

// Each entry learns its position, so that a copy still knows which function it
// is, and whether it lies in the host's part (the first `exported`).
template <std::size_t N>
consteval std::array<CatalogueEntry, N> Indexed(std::array<CatalogueEntry, N> entries,
                                                std::size_t exported) {
    for (std::size_t i = 0; i < N; ++i) {
        entries[i].index = i;
        entries[i].exported = i < exported;
    }
    return entries;
}

}  // namespace detail

// The host's part of the catalogue in index order: subsystem and typed
// function; its description (library/catalogue/descriptions.h) has the same name. These are
// the plug-in's functions; their indices and order never change.
#define VANTREL_HOST_CATALOGUE(X)        \
    X(counting, CountRate)               \
    X(counting, CountRateSDev)           \
    X(counting, CountRateDDT)            \
    X(counting, CountRateDDTSDev)        \
    X(counting, CountRateMonitor)        \
    X(counting, CountRateMonitorSDev)    \
    X(counting, FlippingRatio)           \
    X(counting, FlippingRatioSDev)       \
    X(counting, FlippingRatioOpt)        \
    X(counting, FlippingRatioOptSDev)    \
    X(counting, FlippingRatioOptDDT)     \
    X(counting, FlippingRatioOptDDTSDev) \
    X(counting, OptCountingTimeTpp)      \
    X(counting, OptCountingTimeTbp)      \
    X(counting, OptCountingTimeTpm)      \
    X(counting, OptCountingTimeTbm)      \
    X(counting, OptCountingTimeTppSDev)  \
    X(counting, OptCountingTimeTbpSDev)  \
    X(counting, OptCountingTimeTpmSDev)  \
    X(counting, OptCountingTimeTbmSDev)  \
    X(peaks, PeakCentringLin)            \
    X(peaks, PeakCentringLinSDev)        \
    X(peaks, PeakCentringGauss)          \
    X(peaks, PeakCentringGaussSDev)      \
    X(lattice, STLcubic)                 \
    X(lattice, STLhexagonal)             \
    X(lattice, STLrhombohedral)          \
    X(lattice, STLtetragonal)            \
    X(lattice, STLorthorhombic)          \
    X(lattice, STLmonoclinicB)           \
    X(lattice, STLmonoclinicC)           \
    X(lattice, STLtriclinic)             \
    X(counting, Asymmetry)               \
    X(counting, AsymmetrySDev)           \
    X(counting, AsymmetryOpt)            \
    X(counting, AsymmetryOptSDev)        \
    X(counting, AsymmetryOptDDT)         \
    X(counting, AsymmetryOptDDTSDev)     \
    X(helium3, He3Efficiency)            \
    X(helium3, He3EfficiencySDev)        \
    X(helium3, He3Efficiency2)           \
    X(helium3, He3Efficiency2SDev)       \
    X(helium3, He3Transmission)          \
    X(helium3, He3TransmissionSDev)      \
    X(helium3, He3Polarisation)          \
    X(helium3, He3PolarisationSDev)

// The library's own part, not exported to the host: the cell over an
// experiment, the ratios corrected for the beam, the magnetic-to-nuclear
// ratio of a reflection from them and back, and where a reflection is seen
// and what a cell is worth.
#define VANTREL_LIBRARY_CATALOGUE(X)                         \
    X(helium3, He3PolarisationAtTime)                        \
    X(helium3, He3PolarisationAtTimeSDev)                    \
    X(helium3, He3PolarisationFromTransmission)              \
    X(helium3, He3PolarisationFromTransmissionSDev)          \
    X(helium3, He3PolarisationFromTransmissionPointSDev)     \
    X(helium3, He3PolarisationFromTransmissionCommonRelSDev) \
    X(counting, FlippingRatioCorrected)                      \
    X(counting, FlippingRatioCorrectedSDev)                  \
    X(counting, AsymmetryCorrected)                          \
    X(counting, AsymmetryCorrectedSDev)                      \
    X(magnetic, GammaFromFlippingRatio)                      \
    X(magnetic, GammaFromFlippingRatioSDev)                  \
    X(magnetic, FlippingRatioFromGamma)                      \
    X(magnetic, FlippingRatioFromGammaSDev)                  \
    X(magnetic, GammaFromAsymmetry)                          \
    X(magnetic, GammaFromAsymmetrySDev)                      \
    X(magnetic, AsymmetryFromGamma)                          \
    X(magnetic, AsymmetryFromGammaSDev)                      \
    X(lattice, LatticeSpacing)                               \
    X(lattice, LatticeSpacingSDev)                           \
    X(lattice, TwoTheta)                                     \
    X(lattice, TwoThetaSDev)                                 \
    X(helium3, He3FigureOfMerit)                             \
    X(helium3, He3FigureOfMeritSDev)

// The whole catalogue, both parts in index order. Expanded here into the table
// below, and by whoever else needs the typed functions themselves (the column
// loops, the benchmarks).
#define VANTREL_CATALOGUE(X) VANTREL_HOST_CATALOGUE(X) VANTREL_LIBRARY_CATALOGUE(X)

// The number of the host's functions: indices 0 to kHostFunctionCount − 1.
#define VANTREL_COUNT_ONE(subsystem, function) +1
inline constexpr std::size_t kHostFunctionCount = 0 VANTREL_HOST_CATALOGUE(VANTREL_COUNT_ONE);
#undef VANTREL_COUNT_ONE
static_assert(kHostFunctionCount == 46);

#define VANTREL_CATALOGUE_ENTRY(subsystem, function) \
    detail::MakeEntry<&subsystem::function, #function, #subsystem, descriptions::function>(),

inline constexpr std::array kCatalogue =
    detail::Indexed(std::array{VANTREL_CATALOGUE(VANTREL_CATALOGUE_ENTRY)}, kHostFunctionCount);

#undef VANTREL_CATALOGUE_ENTRY

// The host's part of the table.
inline constexpr std::span<const CatalogueEntry, kHostFunctionCount> kHostCatalogue{
    kCatalogue.data(), kHostFunctionCount};

// Every function of both parts.
inline constexpr std::size_t kFunctionCount = kCatalogue.size();
// Written with the classic algorithms: the WebAssembly toolchain's library has
// no std::ranges::max.
static_assert(std::max_element(kCatalogue.begin(), kCatalogue.end(),
                               [](const CatalogueEntry& a, const CatalogueEntry& b) {
                                   return a.argumentCount < b.argumentCount;
                               })
                  ->argumentCount == kMaxArguments);

}  // namespace vantrel
