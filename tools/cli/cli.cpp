#include "cli.h"

#include <algorithm>
#include <fstream>
#include <istream>
#include <ostream>
#include <string>

#include "csv.h"
#include "core/names.h"
#include "numbers.h"

namespace vantrel::cli {

namespace {

constexpr std::string_view kUsage =
    "usage: vantrel list | --version\n"
    "       vantrel NAME ARG...\n"
    "       vantrel NAME --csv FILE      (FILE '-' reads standard input)\n"
    "\n"
    "NAME is a function of 'vantrel list', by its name or its snake_case alias.\n"
    "Values print with 17 significant digits and read back to the same bits;\n"
    "arguments may be decimal or hexadecimal (0x1.8p3), inf or nan.\n"
    "With --csv, the header names the arguments (any order, other columns kept)\n"
    "and a column NAME with the value is appended to every row.\n";

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = detail::Lower(c);
    return lower;
}

std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

int List(std::ostream& out) {
    std::size_t nameWidth = 0, aliasWidth = 0;
    for (const CatalogueEntry& e : Catalogue()) {
        nameWidth = std::max(nameWidth, e.name.size());
        aliasWidth = std::max(aliasWidth, e.alias.size());
    }
    for (const CatalogueEntry& e : Catalogue()) {
        const std::string index = std::to_string(IndexOf(e));
        out << std::string(2 - std::min<std::size_t>(2, index.size()), ' ') << index << "  " << e.name
            << std::string(nameWidth - e.name.size() + 2, ' ') << e.alias
            << std::string(aliasWidth - e.alias.size() + 2, ' ') << e.argumentList << '\n';
    }
    return kSuccess;
}

int UnknownFunction(std::string_view name, std::ostream& err) {
    err << "vantrel: no function named '" << name << "'";
    const std::vector<std::string_view> closest = ClosestNames(name);
    for (std::size_t i = 0; i < closest.size(); ++i) err << (i == 0 ? "; did you mean " : ", ") << closest[i];
    err << (closest.empty() ? "" : "?") << " ('vantrel list' shows all 46)\n";
    return kBadUsage;
}

int EvaluateArguments(const CatalogueEntry& entry, std::span<const std::string_view> texts, std::ostream& out,
                      std::ostream& err) {
    if (texts.size() != entry.argumentCount) {
        err << "vantrel: " << entry.name << " takes " << entry.argumentCount << " arguments, got " << texts.size()
            << ": " << Signature(entry) << '\n';
        return kBadUsage;
    }
    const std::vector<std::string_view> names = entry.ArgumentNames();
    std::vector<double> arguments;
    for (std::size_t k = 0; k < texts.size(); ++k) {
        const ParsedNumber parsed = ParseNumber(texts[k]);
        if (parsed.error) {
            err << "vantrel: argument " << k + 1 << " (" << names[k] << ") of " << entry.name << ": '" << texts[k]
                << (*parsed.error == NumberError::kOutOfRange ? "' is beyond the range of a double\n"
                                                              : "' is not a number\n");
            return kBadUsage;
        }
        arguments.push_back(parsed.value);
    }
    out << FormatNumber(Evaluate(entry, arguments)) << '\n';
    return kSuccess;
}

}  // namespace

const CatalogueEntry* FindByName(std::string_view name) { return FindFunction(name); }

// By edit distance to the name or its alias, ignoring case: names close enough
// to be a plausible misspelling, or that contain what was typed.
std::vector<std::string_view> ClosestNames(std::string_view name, std::size_t count) {
    const std::string typed = Lower(name);
    const std::size_t limit = std::max<std::size_t>(2, typed.size() / 3);
    std::vector<std::pair<std::size_t, std::string_view>> scored;
    for (const CatalogueEntry& e : Catalogue()) {
        const std::string lower = Lower(e.name);
        std::size_t distance = std::min(EditDistance(typed, lower), EditDistance(typed, e.alias));
        if (typed.size() >= 3 && lower.find(typed) != std::string::npos) distance = std::min(distance, limit);
        if (distance <= limit) scored.emplace_back(distance, e.name);
    }
    std::stable_sort(scored.begin(), scored.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    // Only the best, and those nearly as good.
    std::vector<std::string_view> closest;
    for (std::size_t i = 0; i < scored.size() && i < count && scored[i].first <= scored[0].first + 1; ++i) {
        closest.push_back(scored[i].second);
    }
    return closest;
}

std::string Signature(const CatalogueEntry& entry) { return std::string(entry.signature); }

int EvaluateCsv(const CatalogueEntry& entry, std::istream& in, std::ostream& out, std::ostream& err) {
    CsvReader reader(in);
    CsvRecord record;
    try {
        if (!reader.Next(record)) {
            err << "vantrel: the CSV input is empty; its first line must name the arguments: "
                << entry.argumentList << '\n';
            return kBadInput;
        }
        const std::vector<std::string> header = record.fields;
        const std::vector<std::string_view> names = entry.ArgumentNames();

        // Column of each argument, in call order.
        std::vector<std::size_t> columns;
        std::string missing;
        for (std::string_view name : names) {
            std::size_t found = header.size();
            for (std::size_t c = 0; c < header.size(); ++c) {
                if (TrimBlanks(header[c]) != name) continue;
                if (found != header.size()) {
                    err << "vantrel: the CSV header names " << name << " twice (columns " << found + 1 << " and "
                        << c + 1 << ")\n";
                    return kBadInput;
                }
                found = c;
            }
            if (found == header.size()) missing += (missing.empty() ? "" : ", ") + std::string(name);
            columns.push_back(found);
        }
        if (!missing.empty()) {
            err << "vantrel: the CSV header lacks the column" << (missing.find(',') == std::string::npos ? " " : "s ")
                << missing << " of " << Signature(entry) << " (names are case-sensitive)\n";
            return kBadInput;
        }

        out << record.raw << ',' << entry.name << '\n';
        std::vector<double> arguments(names.size());
        while (reader.Next(record)) {
            if (record.raw.empty()) continue;
            if (record.fields.size() != header.size()) {
                err << "vantrel: line " << record.line << ": " << record.fields.size() << " field"
                    << (record.fields.size() == 1 ? "" : "s") << ", but the header has " << header.size() << '\n';
                return kBadInput;
            }
            for (std::size_t k = 0; k < names.size(); ++k) {
                const std::string& text = record.fields[columns[k]];
                const ParsedNumber parsed = ParseNumber(text);
                if (parsed.error) {
                    err << "vantrel: line " << record.line << ", column " << columns[k] + 1 << " (" << names[k]
                        << "): '" << text
                        << (*parsed.error == NumberError::kOutOfRange ? "' is beyond the range of a double\n"
                                                                      : "' is not a number\n");
                    return kBadInput;
                }
                arguments[k] = parsed.value;
            }
            out << record.raw << ',' << FormatNumber(Evaluate(entry, arguments)) << '\n';
        }
    } catch (const CsvError& e) {
        err << "vantrel: line " << e.line() << ": " << e.what() << '\n';
        return kBadInput;
    }
    out.flush();
    if (!out) {
        err << "vantrel: cannot write the output\n";
        return kBadInput;
    }
    return kSuccess;
}

int Run(std::span<const std::string_view> args, std::istream& in, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << kUsage;
        return kBadUsage;
    }
    const std::string_view command = args[0];
    if (command == "help" || command == "--help" || command == "-h") {
        out << kUsage;
        return kSuccess;
    }
    if (command == "--version") {
        out << "vantrel " << VANTREL_VERSION << '\n';
        return kSuccess;
    }
    if (command == "list") {
        if (args.size() != 1) {
            err << "vantrel: 'list' takes no arguments\n";
            return kBadUsage;
        }
        return List(out);
    }
    const CatalogueEntry* entry = FindByName(command);
    if (entry == nullptr) return UnknownFunction(command, err);

    const std::span<const std::string_view> rest = args.subspan(1);
    if (!rest.empty() && rest[0] == "--csv") {
        if (rest.size() != 2) {
            err << "vantrel: --csv takes one file name ('-' for standard input)\n";
            return kBadUsage;
        }
        if (rest[1] == "-") return EvaluateCsv(*entry, in, out, err);
        std::ifstream file{std::string(rest[1]), std::ios::binary};
        if (!file) {
            err << "vantrel: cannot open '" << rest[1] << "'\n";
            return kBadInput;
        }
        return EvaluateCsv(*entry, file, out, err);
    }
    return EvaluateArguments(*entry, rest, out, err);
}

}  // namespace vantrel::cli
