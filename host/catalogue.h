// The function catalogue: the one table of names, argument counts and bodies.
// Its order is the function index of messages 14 and 15, and the "XOPF"
// resource is generated from it.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "counting/asymmetries.h"
#include "counting/count_rates.h"
#include "counting/flipping_ratios.h"
#include "counting/optimal_times.h"
#include "helium3/helium3.h"
#include "host/params.h"
#include "lattice/stl.h"
#include "peaks/peak_centring.h"

namespace vantrel {

struct CatalogueEntry {
    std::string_view name;
    std::size_t argumentCount;
    ExternalFunction body;
};

#define VANTREL_ENTRY(subsystem, function) \
    CatalogueEntry { #function, kArgumentCount<&subsystem::function>, &Adapt<&subsystem::function> }

inline constexpr std::array kCatalogue = {
    VANTREL_ENTRY(counting, CountRate),
    VANTREL_ENTRY(counting, CountRateSDev),
    VANTREL_ENTRY(counting, CountRateDDT),
    VANTREL_ENTRY(counting, CountRateDDTSDev),
    VANTREL_ENTRY(counting, CountRateMonitor),
    VANTREL_ENTRY(counting, CountRateMonitorSDev),
    VANTREL_ENTRY(counting, FlippingRatio),
    VANTREL_ENTRY(counting, FlippingRatioSDev),
    VANTREL_ENTRY(counting, FlippingRatioOpt),
    VANTREL_ENTRY(counting, FlippingRatioOptSDev),
    VANTREL_ENTRY(counting, FlippingRatioOptDDT),
    VANTREL_ENTRY(counting, FlippingRatioOptDDTSDev),
    VANTREL_ENTRY(counting, OptCountingTimeTpp),
    VANTREL_ENTRY(counting, OptCountingTimeTbp),
    VANTREL_ENTRY(counting, OptCountingTimeTpm),
    VANTREL_ENTRY(counting, OptCountingTimeTbm),
    VANTREL_ENTRY(counting, OptCountingTimeTppSDev),
    VANTREL_ENTRY(counting, OptCountingTimeTbpSDev),
    VANTREL_ENTRY(counting, OptCountingTimeTpmSDev),
    VANTREL_ENTRY(counting, OptCountingTimeTbmSDev),
    VANTREL_ENTRY(peaks, PeakCentringLin),
    VANTREL_ENTRY(peaks, PeakCentringLinSDev),
    VANTREL_ENTRY(peaks, PeakCentringGauss),
    VANTREL_ENTRY(peaks, PeakCentringGaussSDev),
    VANTREL_ENTRY(lattice, STLcubic),
    VANTREL_ENTRY(lattice, STLhexagonal),
    VANTREL_ENTRY(lattice, STLrhombohedral),
    VANTREL_ENTRY(lattice, STLtetragonal),
    VANTREL_ENTRY(lattice, STLorthorhombic),
    VANTREL_ENTRY(lattice, STLmonoclinicB),
    VANTREL_ENTRY(lattice, STLmonoclinicC),
    VANTREL_ENTRY(lattice, STLtriclinic),
    VANTREL_ENTRY(counting, Asymmetry),
    VANTREL_ENTRY(counting, AsymmetrySDev),
    VANTREL_ENTRY(counting, AsymmetryOpt),
    VANTREL_ENTRY(counting, AsymmetryOptSDev),
    VANTREL_ENTRY(counting, AsymmetryOptDDT),
    VANTREL_ENTRY(counting, AsymmetryOptDDTSDev),
    VANTREL_ENTRY(helium3, He3Efficiency),
    VANTREL_ENTRY(helium3, He3EfficiencySDev),
    VANTREL_ENTRY(helium3, He3Efficiency2),
    VANTREL_ENTRY(helium3, He3Efficiency2SDev),
    VANTREL_ENTRY(helium3, He3Transmission),
    VANTREL_ENTRY(helium3, He3TransmissionSDev),
    VANTREL_ENTRY(helium3, He3Polarisation),
    VANTREL_ENTRY(helium3, He3PolarisationSDev),
};

#undef VANTREL_ENTRY

inline constexpr std::size_t kFunctionCount = kCatalogue.size();
static_assert(kFunctionCount == 46);

// The entry of that name, or nullptr.
const CatalogueEntry* FindFunction(std::string_view name) noexcept;

// Calls an entry as the host does: lays the arguments (call order) into a
// parameter block, runs the body, reads the result slot. Returns NaN when the
// argument count does not match.
double Evaluate(const CatalogueEntry& entry, std::span<const double> arguments) noexcept;

}  // namespace vantrel
