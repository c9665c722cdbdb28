// The bytes of the module's own resources, generated from the catalogue.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vantrel::resources {

inline constexpr int kResourceId = 1100;
inline constexpr std::uint16_t kLanguageEnglishUS = 1033;
inline constexpr std::uint16_t kFunctionCategory = 0x2100;
inline constexpr std::uint16_t kDoubleType = 4;

// Text n (from 1) is the message of error code 10000 + n.
inline constexpr std::array<std::string_view, 13> kErrorTexts = {
    "Vantrel XOP requires Igor 8.04 or later.",
    "Null Counting Time.",
    "Null Count Rate.",
    "Null Monitor Value: Beam may not be opened !",
    "Infinite Flipping Ratio.",
    "Infinite Flipping Ratio Standard Deviation.",
    "Infinite Counting Time.",
    "Infinite Counting Time Standard Deviation.",
    "Undefined Detector Position.",
    "Infinite Asymmetry.",
    "Infinite Asymmetry Standard Deviation.",
    "Undefined Count Rate.",
    "Wrong lattice parameters - Det[G] = 0.",
};

// "XOPF": per function its name, category, return type, argument types, 0.
std::vector<std::uint8_t> FunctionCatalogueResource();
// "STR#": the texts, an empty text, and one more zero byte.
std::vector<std::uint8_t> ErrorTextResource();
// "XOPI": five 16-bit words.
std::vector<std::uint8_t> ModuleInfoResource();
// A 32-bit resource file (.res) holding the three, for the resource compiler.
std::vector<std::uint8_t> ResourceFile();

}  // namespace vantrel::resources
