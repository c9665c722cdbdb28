#include "resources/resource_data.h"

#include "catalogue/registry.h"

namespace vantrel::resources {

namespace {

void PutWord(std::vector<std::uint8_t>& out, std::uint16_t word) {
    out.push_back(static_cast<std::uint8_t>(word & 0xFF));
    out.push_back(static_cast<std::uint8_t>(word >> 8));
}

void PutDword(std::vector<std::uint8_t>& out, std::uint32_t dword) {
    PutWord(out, static_cast<std::uint16_t>(dword & 0xFFFF));
    PutWord(out, static_cast<std::uint16_t>(dword >> 16));
}

void PutText(std::vector<std::uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

void PadToDword(std::vector<std::uint8_t>& out) {
    while (out.size() % 4 != 0) out.push_back(0);
}

// One entry of a .res file: header (type given by name, numeric id), data.
void PutResourceEntry(std::vector<std::uint8_t>& out, std::string_view type, std::uint16_t id,
                      std::uint16_t language, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> names;
    for (char c : type) PutWord(names, static_cast<std::uint8_t>(c));
    PutWord(names, 0);
    PutWord(names, 0xFFFF);
    PutWord(names, id);
    PadToDword(names);
    constexpr std::uint16_t kMovablePureDiscardable = 0x30;
    PutDword(out, static_cast<std::uint32_t>(data.size()));
    PutDword(out, static_cast<std::uint32_t>(8 + names.size() + 16));
    out.insert(out.end(), names.begin(), names.end());
    PutDword(out, 0);  // data version
    PutWord(out, kMovablePureDiscardable);
    PutWord(out, language);
    PutDword(out, 0);  // version
    PutDword(out, 0);  // characteristics
    out.insert(out.end(), data.begin(), data.end());
    PadToDword(out);
}

}  // namespace

std::vector<std::uint8_t> FunctionCatalogueResource() {
    std::vector<std::uint8_t> out;
    for (const CatalogueEntry& entry : kHostCatalogue) {
        PutText(out, entry.name);
        PutWord(out, kFunctionCategory);
        PutWord(out, kDoubleType);
        for (std::size_t k = 0; k < entry.argumentCount; ++k) PutWord(out, kDoubleType);
        PutWord(out, 0);
    }
    PutWord(out, 0);
    return out;
}

std::vector<std::uint8_t> ErrorTextResource() {
    std::vector<std::uint8_t> out;
    for (std::string_view text : kErrorTexts) PutText(out, text);
    PutText(out, "");
    out.push_back(0);
    return out;
}

std::vector<std::uint8_t> ModuleInfoResource() {
    std::vector<std::uint8_t> out;
    for (std::uint16_t word : {4, 0, 2, 0, 800}) PutWord(out, word);
    return out;
}

std::vector<std::uint8_t> ResourceFile() {
    // A .res file opens with an empty entry that marks its format.
    std::vector<std::uint8_t> out;
    PutDword(out, 0);
    PutDword(out, 32);
    for (std::uint16_t word : {0xFFFF, 0, 0xFFFF, 0}) PutWord(out, word);
    for (int i = 0; i < 4; ++i) PutDword(out, 0);
    PutResourceEntry(out, "XOPF", kResourceId, kLanguageEnglishUS, FunctionCatalogueResource());
    PutResourceEntry(out, "STR#", kResourceId, kLanguageEnglishUS, ErrorTextResource());
    PutResourceEntry(out, "XOPI", kResourceId, kLanguageEnglishUS, ModuleInfoResource());
    return out;
}

}  // namespace vantrel::resources
