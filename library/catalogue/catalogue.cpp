#include "catalogue/bodies.h"

#include <algorithm>
#include <string>

#include "vantrel/nan.h"
#include "vantrel/number_text.h"

namespace vantrel {

std::vector<std::string_view> CatalogueEntry::ArgumentNames() const {
    std::vector<std::string_view> names;
    for (const ArgumentInfo& argument : arguments) names.push_back(argument.name);
    return names;
}

std::span<const CatalogueEntry> Catalogue() noexcept { return kCatalogue; }

std::size_t IndexOf(const CatalogueEntry& entry) noexcept { return entry.index; }

const CatalogueEntry* FindFunction(std::string_view name) noexcept {
    const auto it =
        std::find_if(kCatalogue.begin(), kCatalogue.end(),
                     [name](const CatalogueEntry& e) { return e.name == name || e.alias == name; });
    return it == kCatalogue.end() ? nullptr : &*it;
}

namespace {

// Characters as a terminal shows them: UTF-8 continuation bytes take no column.
std::size_t Columns(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// Words of `text` in lines of at most `width` columns, each after `indent`.
std::string Wrap(std::string_view text, std::size_t indent, std::size_t width = 79) {
    std::string wrapped, line;
    const std::string margin(indent, ' ');
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        text = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
        if (!line.empty() && indent + Columns(line) + 1 + Columns(word) > width) {
            wrapped += margin + line + '\n';
            line.clear();
        }
        if (!line.empty()) line += ' ';
        line += word;
    }
    return wrapped + margin + line + '\n';
}

}  // namespace

std::string HelpText(const CatalogueEntry& entry) {
    const std::string unit =
        entry.resultUnit == "1" ? "1 (dimensionless)" : std::string(entry.resultUnit);
    std::string help = std::string(entry.signature) + " -> " + unit + "\n";
    help += Wrap(entry.summary, 2) + "\nArguments:\n";
    std::size_t nameWidth = 0, meaningWidth = 0;
    for (const ArgumentInfo& a : entry.arguments) {
        nameWidth = std::max(nameWidth, Columns(a.name));
        meaningWidth = std::max(meaningWidth, Columns(a.meaning));
    }
    for (const ArgumentInfo& a : entry.arguments) {
        help += "  " + std::string(a.name) + std::string(nameWidth - Columns(a.name) + 2, ' ') +
                std::string(a.meaning) + std::string(meaningWidth - Columns(a.meaning) + 2, ' ') +
                std::string(a.unit) + '\n';
    }
    help += "\nNaN when:\n" + Wrap(entry.nanWhen, 2);
    std::string call;
    for (double x : entry.exampleArguments) {
        if (!call.empty()) call += ", ";
        call += ArgumentText(x);
    }
    // Computed, not quoted from the catalogue: a build whose mathematics
    // library rounds differently shows the value it gives itself.
    help += "\nExample:\n  " + std::string(entry.name) + "(" + call +
            ") = " + ValueText(Evaluate(entry, entry.exampleArguments)) + "\n";
    const std::string index = "Function " + std::to_string(IndexOf(entry));
    const std::string where =
        entry.exported ? index + " of the plug-in's " + std::to_string(kHostFunctionCount)
                       : index + " of " + std::to_string(kFunctionCount) +
                             ", of the library only (not in the plug-in)";
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) of "\n" + string.
    help += '\n';
    help += Wrap(where + ", also named " + std::string(entry.alias) +
                     ". docs/functions.md has the formulas.",
                 0);
    return help;
}

double Evaluate(const CatalogueEntry& entry, std::span<const double> arguments) noexcept {
    if (arguments.size() != entry.argumentCount) return kNaN;
    ParameterBlock block;
    LayArguments(block.get(), arguments);
    kEveryBody[entry.index](block.get());
    return block.Result(entry.argumentCount);
}

}  // namespace vantrel
