// The catalogue of the functions as data: for each its index (position),
// name, snake_case alias, argument names in call order and its description;
// and one call by name with the arguments in an array.
// Its first 46 entries are the plug-in's (exported to the host); the library's
// own functions follow them.
//
// Needs C++20 (std::span). The per-subsystem headers (vantrel/counting/…) need
// only C++17.
#pragma once

#if (defined(_MSVC_LANG) ? _MSVC_LANG : __cplusplus) < 202002L
#error \
    "vantrel/catalogue.h and vantrel/batch.h need C++20 (std::span); the per-subsystem headers such as vantrel/counting/flipping_ratios.h work with C++17"
#endif

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// No function takes more arguments than this.
inline constexpr std::size_t kMaxArguments = 14;

// One argument: its name as the catalogue spells it, what it is and its unit
// ("counts", "s", "s²", "counts/s", "atm", "K", "cm", "Å", "degrees", or "1"
// for a dimensionless quantity; a standard deviation has its quantity's unit).
struct ArgumentInfo {
    std::string_view name;     // "sigmaTau2"
    std::string_view meaning;  // "standard deviation of τ₂"
    std::string_view unit;     // "s²"
};

struct CatalogueEntry {
    std::size_t index;           // the function index: its position in Catalogue()
    bool exported;               // one of the plug-in's 46, which the host calls by index
    std::string_view name;       // "FlippingRatioOptSDev"
    std::string_view alias;      // "flipping_ratio_opt_sdev"
    std::string_view signature;  // "FlippingRatioOptSDev(Npp, Nbp, …, Mb)"
    std::size_t argumentCount;
    std::string_view argumentList;  // "N, t, tau, tau2": the argument names in call order

    std::string_view summary;                  // one line: what the function gives
    std::string_view resultUnit;               // as the argument units
    std::span<const ArgumentInfo> arguments;   // in call order
    std::string_view nanWhen;                  // the inputs that give NaN
    std::span<const double> exampleArguments;  // an example call, in call order,
    double exampleValue;                       // and the value it gives
    std::string_view subsystem;  // where its formula lives: "counting", "peaks", "lattice",
                                 // "helium3", "magnetic"

    std::vector<std::string_view> ArgumentNames() const;
};

// All entries, the plug-in's 46 first; the position of an entry is its
// function index.
std::span<const CatalogueEntry> Catalogue() noexcept;

// The entry of a catalogue name or snake_case alias, or nullptr.
const CatalogueEntry* FindFunction(std::string_view name) noexcept;

// Up to `count` catalogue names closest to a name that is in none of them
// (vantrel/spelling.h): what a front end suggests for a mistyped name.
std::vector<std::string_view> ClosestFunctionNames(std::string_view name, std::size_t count = 3);

// The function index of an entry of the catalogue or of a copy of one.
std::size_t IndexOf(const CatalogueEntry& entry) noexcept;

// The help of a function as the command-line tool and the Python module show
// it: the signature with the result unit, the summary, the arguments with
// their meanings and units, when the value is NaN, and the example with its value.
std::string HelpText(const CatalogueEntry& entry);

// Calls an entry as the host does: lays the arguments (call order) into a
// parameter block, runs the body, reads the result slot. NaN when the
// argument count does not match.
double Evaluate(const CatalogueEntry& entry, std::span<const double> arguments) noexcept;

}  // namespace vantrel
