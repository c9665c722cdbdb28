// The function catalogue: every typed function with its name and its
// description (core/descriptions.h), the one table from which everything else
// is derived. Its order is the function index of messages 14 and 15; the
// "XOPF" resource, the host's dispatch table, the command-line tool, the Python
// module and the column kernels are all generated from it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

#include "core/descriptions.h"
#include "core/names.h"
#include "core/params.h"
#include "vantrel/catalogue.h"
#include "vantrel/counting/asymmetries.h"
#include "vantrel/counting/count_rates.h"
#include "vantrel/counting/dead_time.h"
#include "vantrel/counting/flipping_ratios.h"
#include "vantrel/counting/optimal_times.h"
#include "vantrel/helium3/helium3.h"
#include "vantrel/lattice/stl.h"
#include "vantrel/peaks/peak_centring.h"

namespace vantrel {

namespace detail {

// Deliberately neither constexpr nor defined: reaching a call to it stops the
// constant evaluation of the catalogue with its name as the message, without a
// throw-expression, so that the plug-in compiles without exception support.
void CatalogueTextLongerThanItsStorage();
void ArgumentNamesDoNotMatchTheSignature();

// A string literal as a template argument, so that text derived from it at
// compile time has static storage.
template <std::size_t N>
struct Literal {
    char chars[N]{};
    consteval Literal(const char (&text)[N]) { std::copy_n(text, N, chars); }
    constexpr std::string_view View() const { return {chars, N - 1}; }
};

template <std::size_t Capacity>
struct StaticText {
    char chars[Capacity]{};
    std::size_t size = 0;
    constexpr std::string_view View() const { return {chars, size}; }
    constexpr bool empty() const { return size == 0; }
    constexpr void push_back(char c) {
        if (size == Capacity) CatalogueTextLongerThanItsStorage();
        chars[size++] = c;
    }
};

template <std::size_t Capacity, class... Pieces>
consteval StaticText<Capacity> Keep(const Pieces&... pieces) {
    StaticText<Capacity> kept;
    for (std::string_view piece : {std::string_view(pieces)...}) {
        if (kept.size + piece.size() > Capacity) CatalogueTextLongerThanItsStorage();
        std::copy(piece.begin(), piece.end(), kept.chars + kept.size);
        kept.size += piece.size();
    }
    return kept;
}

template <Literal name>
consteval auto AliasOf() {
    StaticText<2 * sizeof name.chars> alias;
    AppendSnakeCase(name.View(), alias);
    return alias;
}

template <Literal name>
inline constexpr auto kAlias = AliasOf<name>();

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
template <auto F, Literal name, const auto& description>
consteval CatalogueEntry MakeEntry() {
    if (description.arguments.size() != kArgumentCount<F>) ArgumentNamesDoNotMatchTheSignature();
    return {0,  // set by Indexed, from the entry's position
            name.View(),
            kAlias<name>.View(),
            kSignature<name, description>.View(),
            kArgumentCount<F>,
            kArgumentList<description>.View(),
            &Adapt<F>,
            description.summary,
            description.resultUnit,
            description.arguments,
            description.nanWhen,
            description.example,
            description.exampleValue};
}

// Each entry learns its position, so that a copy still knows which function it is.
template <std::size_t N>
consteval std::array<CatalogueEntry, N> Indexed(std::array<CatalogueEntry, N> entries) {
    for (std::size_t i = 0; i < N; ++i) entries[i].index = i;
    return entries;
}

}  // namespace detail

// The catalogue in index order: subsystem and typed function; its description
// (core/descriptions.h) has the same name. Expanded here into the table below,
// and by whoever else needs the typed functions themselves (the column loops,
// the benchmarks).
#define VANTREL_CATALOGUE(X)             \
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

#define VANTREL_CATALOGUE_ENTRY(subsystem, function) \
    detail::MakeEntry<&subsystem::function, #function, descriptions::function>(),

inline constexpr std::array kCatalogue =
    detail::Indexed(std::array{VANTREL_CATALOGUE(VANTREL_CATALOGUE_ENTRY)});

#undef VANTREL_CATALOGUE_ENTRY

// The bodies alone, in the same order: all that the host binding dispatches
// to, so that the plug-in carries none of the names and help texts.
#define VANTREL_CATALOGUE_BODY(subsystem, function) &Adapt<&subsystem::function>,

inline constexpr std::array<ExternalFunction, kCatalogue.size()> kBodies = {
    VANTREL_CATALOGUE(VANTREL_CATALOGUE_BODY)};

#undef VANTREL_CATALOGUE_BODY

static_assert(std::ranges::equal(kBodies, kCatalogue, {}, {}, &CatalogueEntry::body));

inline constexpr std::size_t kFunctionCount = kCatalogue.size();
static_assert(kFunctionCount == 46);
static_assert(std::ranges::max(kCatalogue, {}, &CatalogueEntry::argumentCount).argumentCount ==
              kMaxArguments);

}  // namespace vantrel
