// The function catalogue: the one table of names, argument names and typed
// functions from which everything else is derived. Its order is the function
// index of messages 14 and 15; the "XOPF" resource, the command-line tool, the
// Python module and the column kernels are all generated from it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

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
inline constexpr auto kAlias = Keep<2 * sizeof name.chars>(SnakeCase(name.View()));

template <Literal name, Literal arguments>
inline constexpr auto kSignature =
    Keep<sizeof name.chars + sizeof arguments.chars>(name.View(), "(", arguments.View(), ")");

consteval std::size_t CountNames(std::string_view list) {
    std::size_t names = list.empty() ? 0 : 1;
    for (char c : list) names += c == ',' ? 1 : 0;
    return names;
}

// An entry whose argument names must match the arity of its typed function.
template <auto F, Literal name, Literal arguments>
consteval CatalogueEntry MakeEntry() {
    if (CountNames(arguments.View()) != kArgumentCount<F>) ArgumentNamesDoNotMatchTheSignature();
    return {name.View(), kAlias<name>.View(), kSignature<name, arguments>.View(), kArgumentCount<F>,
            arguments.View(), &Adapt<F>};
}

}  // namespace detail

// The catalogue in index order: subsystem, typed function, argument names in
// call order. Expanded here into the table below, and by whoever else needs the
// typed functions themselves (the benchmarks inline them).
#define VANTREL_CATALOGUE(X) \
    X(counting, CountRate, "N, t") \
    X(counting, CountRateSDev, "N, t") \
    X(counting, CountRateDDT, "N, t, tau, tau2") \
    X(counting, CountRateDDTSDev, "N, t, tau, tau2, sigmaTau, sigmaTau2") \
    X(counting, CountRateMonitor, "N, M") \
    X(counting, CountRateMonitorSDev, "N, M") \
    X(counting, FlippingRatio, "Npp, Nbp, Npm, Nbm") \
    X(counting, FlippingRatioSDev, "Npp, Nbp, Npm, Nbm, sigmaPp, sigmaBp, sigmaPm, sigmaBm") \
    X(counting, FlippingRatioOpt, "Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb") \
    X(counting, FlippingRatioOptSDev, "Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb") \
    X(counting, FlippingRatioOptDDT, "Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb, tau, tau2") \
    X(counting, FlippingRatioOptDDTSDev, "Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb, tau, tau2, sigmaTau, sigmaTau2") \
    X(counting, OptCountingTimeTpp, "Npp, Nbp, Npm, Nbm, T") \
    X(counting, OptCountingTimeTbp, "Npp, Nbp, Npm, Nbm, T") \
    X(counting, OptCountingTimeTpm, "Npp, Nbp, Npm, Nbm, T") \
    X(counting, OptCountingTimeTbm, "Npp, Nbp, Npm, Nbm, T") \
    X(counting, OptCountingTimeTppSDev, "Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm") \
    X(counting, OptCountingTimeTbpSDev, "Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm") \
    X(counting, OptCountingTimeTpmSDev, "Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm") \
    X(counting, OptCountingTimeTbmSDev, "Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm") \
    X(peaks, PeakCentringLin, "x1, A1, B1, x2, A2, B2") \
    X(peaks, PeakCentringLinSDev, "x1, A1, B1, x2, A2, B2, sigmaX, sigmaA1, sigmaB1, sigmaA2, sigmaB2") \
    X(peaks, PeakCentringGauss, "x1, A1, B1, x2, A2, B2") \
    X(peaks, PeakCentringGaussSDev, "x1, A1, B1, x2, A2, B2, sigmaX, sigmaA1, sigmaB1, sigmaA2, sigmaB2") \
    X(lattice, STLcubic, "h, k, l, a") \
    X(lattice, STLhexagonal, "h, k, l, a, c") \
    X(lattice, STLrhombohedral, "h, k, l, a, alpha") \
    X(lattice, STLtetragonal, "h, k, l, a, c") \
    X(lattice, STLorthorhombic, "h, k, l, a, b, c") \
    X(lattice, STLmonoclinicB, "h, k, l, a, b, c, beta") \
    X(lattice, STLmonoclinicC, "h, k, l, a, b, c, gamma") \
    X(lattice, STLtriclinic, "h, k, l, a, b, c, alpha, beta, gamma") \
    X(counting, Asymmetry, "Npp, Nbp, Npm, Nbm") \
    X(counting, AsymmetrySDev, "Npp, Nbp, Npm, Nbm, sigmaPp, sigmaBp, sigmaPm, sigmaBm") \
    X(counting, AsymmetryOpt, "Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb") \
    X(counting, AsymmetryOptSDev, "Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb") \
    X(counting, AsymmetryOptDDT, "Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb, tau, tau2") \
    X(counting, AsymmetryOptDDTSDev, "Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb, tau, tau2, sigmaTau, sigmaTau2") \
    X(helium3, He3Efficiency, "p, T, L, lambda, PHe") \
    X(helium3, He3EfficiencySDev, "p, T, L, lambda, PHe, sigmaP, sigmaT, sigmaL, sigmaLambda, sigmaPHe") \
    X(helium3, He3Efficiency2, "n1, n2, n3, n4") \
    X(helium3, He3Efficiency2SDev, "n1, n2, n3, n4") \
    X(helium3, He3Transmission, "p, T, L, lambda, PHe") \
    X(helium3, He3TransmissionSDev, "p, T, L, lambda, PHe, sigmaP, sigmaT, sigmaL, sigmaLambda, sigmaPHe") \
    X(helium3, He3Polarisation, "p, T, L, lambda, Pr, Pm") \
    X(helium3, He3PolarisationSDev, "p, T, L, lambda, Pr, Pm, sigmaP, sigmaT, sigmaL, sigmaLambda, sigmaPr, sigmaPm")

#define VANTREL_CATALOGUE_ENTRY(subsystem, function, arguments) \
    detail::MakeEntry<&subsystem::function, #function, arguments>(),

inline constexpr std::array kCatalogue = {VANTREL_CATALOGUE(VANTREL_CATALOGUE_ENTRY)};

#undef VANTREL_CATALOGUE_ENTRY

inline constexpr std::size_t kFunctionCount = kCatalogue.size();
static_assert(kFunctionCount == 46);
static_assert(std::ranges::max(kCatalogue, {}, &CatalogueEntry::argumentCount).argumentCount ==
              kMaxArguments);

}  // namespace vantrel
