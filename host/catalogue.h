// The function catalogue: the one table of names, argument names and bodies.
// Its order is the function index of messages 14 and 15, and the "XOPF"
// resource is generated from it.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "vantrel/counting/asymmetries.h"
#include "vantrel/counting/count_rates.h"
#include "vantrel/counting/flipping_ratios.h"
#include "vantrel/counting/optimal_times.h"
#include "vantrel/helium3/helium3.h"
#include "host/params.h"
#include "vantrel/catalogue.h"
#include "vantrel/lattice/stl.h"
#include "vantrel/peaks/peak_centring.h"

namespace vantrel {

namespace detail {

consteval std::size_t CountNames(std::string_view list) {
    std::size_t names = list.empty() ? 0 : 1;
    for (char c : list) names += c == ',' ? 1 : 0;
    return names;
}

// An entry whose argument names must match the arity of its typed function.
template <auto F>
consteval CatalogueEntry MakeEntry(std::string_view name, std::string_view arguments) {
    if (CountNames(arguments) != kArgumentCount<F>) throw "argument names do not match the signature";
    return {name, kArgumentCount<F>, arguments, &Adapt<F>};
}

}  // namespace detail

#define VANTREL_ENTRY(subsystem, function, arguments) \
    detail::MakeEntry<&subsystem::function>(#function, arguments)

inline constexpr std::array kCatalogue = {
    VANTREL_ENTRY(counting, CountRate, "N, t"),
    VANTREL_ENTRY(counting, CountRateSDev, "N, t"),
    VANTREL_ENTRY(counting, CountRateDDT, "N, t, tau, tau2"),
    VANTREL_ENTRY(counting, CountRateDDTSDev, "N, t, tau, tau2, sigmaTau, sigmaTau2"),
    VANTREL_ENTRY(counting, CountRateMonitor, "N, M"),
    VANTREL_ENTRY(counting, CountRateMonitorSDev, "N, M"),
    VANTREL_ENTRY(counting, FlippingRatio, "Npp, Nbp, Npm, Nbm"),
    VANTREL_ENTRY(counting, FlippingRatioSDev, "Npp, Nbp, Npm, Nbm, sigmaPp, sigmaBp, sigmaPm, sigmaBm"),
    VANTREL_ENTRY(counting, FlippingRatioOpt, "Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb"),
    VANTREL_ENTRY(counting, FlippingRatioOptSDev, "Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb"),
    VANTREL_ENTRY(counting, FlippingRatioOptDDT, "Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb, tau, tau2"),
    VANTREL_ENTRY(counting, FlippingRatioOptDDTSDev, "Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb, tau, tau2, sigmaTau, sigmaTau2"),
    VANTREL_ENTRY(counting, OptCountingTimeTpp, "Npp, Nbp, Npm, Nbm, T"),
    VANTREL_ENTRY(counting, OptCountingTimeTbp, "Npp, Nbp, Npm, Nbm, T"),
    VANTREL_ENTRY(counting, OptCountingTimeTpm, "Npp, Nbp, Npm, Nbm, T"),
    VANTREL_ENTRY(counting, OptCountingTimeTbm, "Npp, Nbp, Npm, Nbm, T"),
    VANTREL_ENTRY(counting, OptCountingTimeTppSDev, "Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm"),
    VANTREL_ENTRY(counting, OptCountingTimeTbpSDev, "Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm"),
    VANTREL_ENTRY(counting, OptCountingTimeTpmSDev, "Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm"),
    VANTREL_ENTRY(counting, OptCountingTimeTbmSDev, "Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm"),
    VANTREL_ENTRY(peaks, PeakCentringLin, "x1, A1, B1, x2, A2, B2"),
    VANTREL_ENTRY(peaks, PeakCentringLinSDev, "x1, A1, B1, x2, A2, B2, sigmaX, sigmaA1, sigmaB1, sigmaA2, sigmaB2"),
    VANTREL_ENTRY(peaks, PeakCentringGauss, "x1, A1, B1, x2, A2, B2"),
    VANTREL_ENTRY(peaks, PeakCentringGaussSDev, "x1, A1, B1, x2, A2, B2, sigmaX, sigmaA1, sigmaB1, sigmaA2, sigmaB2"),
    VANTREL_ENTRY(lattice, STLcubic, "h, k, l, a"),
    VANTREL_ENTRY(lattice, STLhexagonal, "h, k, l, a, c"),
    VANTREL_ENTRY(lattice, STLrhombohedral, "h, k, l, a, alpha"),
    VANTREL_ENTRY(lattice, STLtetragonal, "h, k, l, a, c"),
    VANTREL_ENTRY(lattice, STLorthorhombic, "h, k, l, a, b, c"),
    VANTREL_ENTRY(lattice, STLmonoclinicB, "h, k, l, a, b, c, beta"),
    VANTREL_ENTRY(lattice, STLmonoclinicC, "h, k, l, a, b, c, gamma"),
    VANTREL_ENTRY(lattice, STLtriclinic, "h, k, l, a, b, c, alpha, beta, gamma"),
    VANTREL_ENTRY(counting, Asymmetry, "Npp, Nbp, Npm, Nbm"),
    VANTREL_ENTRY(counting, AsymmetrySDev, "Npp, Nbp, Npm, Nbm, sigmaPp, sigmaBp, sigmaPm, sigmaBm"),
    VANTREL_ENTRY(counting, AsymmetryOpt, "Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb"),
    VANTREL_ENTRY(counting, AsymmetryOptSDev, "Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb"),
    VANTREL_ENTRY(counting, AsymmetryOptDDT, "Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb, tau, tau2"),
    VANTREL_ENTRY(counting, AsymmetryOptDDTSDev, "Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb, tau, tau2, sigmaTau, sigmaTau2"),
    VANTREL_ENTRY(helium3, He3Efficiency, "p, T, L, lambda, PHe"),
    VANTREL_ENTRY(helium3, He3EfficiencySDev, "p, T, L, lambda, PHe, sigmaP, sigmaT, sigmaL, sigmaLambda, sigmaPHe"),
    VANTREL_ENTRY(helium3, He3Efficiency2, "n1, n2, n3, n4"),
    VANTREL_ENTRY(helium3, He3Efficiency2SDev, "n1, n2, n3, n4"),
    VANTREL_ENTRY(helium3, He3Transmission, "p, T, L, lambda, PHe"),
    VANTREL_ENTRY(helium3, He3TransmissionSDev, "p, T, L, lambda, PHe, sigmaP, sigmaT, sigmaL, sigmaLambda, sigmaPHe"),
    VANTREL_ENTRY(helium3, He3Polarisation, "p, T, L, lambda, Pr, Pm"),
    VANTREL_ENTRY(helium3, He3PolarisationSDev, "p, T, L, lambda, Pr, Pm, sigmaP, sigmaT, sigmaL, sigmaLambda, sigmaPr, sigmaPm"),
};

#undef VANTREL_ENTRY

inline constexpr std::size_t kFunctionCount = kCatalogue.size();
static_assert(kFunctionCount == 46);

}  // namespace vantrel
