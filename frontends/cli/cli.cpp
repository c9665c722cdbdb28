#include "cli.h"

#include <algorithm>
#include <cctype>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "csv_input.h"
#include "decay_fit_command.h"
#include "file_io.h"
#include "magnetic_commands.h"
#include "messages.h"
#include "vantrel/catalogue.h"
#include "vantrel/function_table.h"
#include "vantrel/number_text.h"
#include "vantrel/spelling.h"
#include "vantrel/text_io.h"

namespace vantrel::cli {

namespace {

constexpr std::string_view kUsage =
    "usage: vantrel list | --help | --version\n"
    "       vantrel NAME [--] ARG...\n"
    "       vantrel NAME --csv FILE      (FILE '-' reads standard input)\n"
    "       vantrel help NAME|COMMAND    (or vantrel NAME --help)\n"
    "       vantrel he3-decay-fit --csv FILE [--common C]   (see vantrel help he3-decay-fit)\n"
    "       vantrel form-factor | flipping-ratios | moment-fit | plan-measurements ...\n"
    "                                    (magnetic moments; see vantrel help COMMAND)\n"
    "\n"
    "NAME is a function of 'vantrel list', by its name or its snake_case alias;\n"
    "'vantrel help NAME' shows its arguments with their units, when its value is\n"
    "NaN, and an example.\n"
    "Values print with the fewest digits that read back to the same bits;\n"
    "arguments may be decimal or hexadecimal (0x1.8p3), inf or nan; '--' ends\n"
    "the options, so that what follows is read as arguments.\n"
    "With --csv, the header names the arguments (any order, other columns kept)\n"
    "and a column NAME with the value is appended to every row.\n";

int List(Writer& out) {
    std::size_t nameWidth = 0, aliasWidth = 0;
    for (const CatalogueEntry& e : Catalogue()) {
        nameWidth = std::max(nameWidth, e.name.size());
        aliasWidth = std::max(aliasWidth, e.alias.size());
    }
    for (const CatalogueEntry& e : Catalogue()) {
        const std::string index = std::to_string(IndexOf(e));
        out << std::string(2 - std::min<std::size_t>(2, index.size()), ' ') << index << "  "
            << e.name << std::string(nameWidth - e.name.size() + 2, ' ') << e.alias
            << std::string(aliasWidth - e.alias.size() + 2, ' ') << e.argumentList << kLineEnd;
    }
    return kSuccess;
}

// The tool's own commands, beside the catalogue's functions.
constexpr KnownName kCommands[] = {{"list", ""},
                                   {"help", ""},
                                   {kDecayFitCommand, ""},
                                   {kFormFactorCommand, ""},
                                   {kFlippingRatiosCommand, ""},
                                   {kMomentFitCommand, ""},
                                   {kPlanCommand, ""}};

bool IsCommand(std::string_view name) {
    for (const KnownName& c : kCommands)
        if (c.name == name) return true;
    return false;
}

int UnknownFunction(std::string_view name, std::ostream& err) {
    Message(err) << "no function or command named " << Quote(name);
    // Commands and functions together, the nearest spelling first: a command
    // that merely shares a stem must not crowd out the function meant.
    std::vector<std::string_view> closest = ClosestNames(name, kCommands, 1);
    for (const std::string_view function : ClosestFunctionNames(name)) closest.push_back(function);
    const auto distance = [name](std::string_view known) {
        std::string a(name), b(known);
        for (char& c : a) c = char(std::tolower(static_cast<unsigned char>(c)));
        for (char& c : b) c = char(std::tolower(static_cast<unsigned char>(c)));
        return EditDistance(a, b);
    };
    std::stable_sort(closest.begin(), closest.end(), [&](std::string_view x, std::string_view y) {
        return distance(x) < distance(y);
    });
    if (closest.size() > 3) closest.resize(3);
    for (std::size_t i = 0; i < closest.size(); ++i)
        err << (i == 0 ? "; did you mean " : ", ") << closest[i];
    err << (closest.empty() ? "" : "?") << " ('vantrel list' shows all " << Catalogue().size()
        << ")\n";
    return kBadUsage;
}

int EvaluateArguments(const CatalogueEntry& entry, std::span<const std::string_view> texts,
                      Writer& out, std::ostream& err) {
    if (texts.size() != entry.argumentCount) {
        Message(err) << entry.name << " takes " << entry.argumentCount << " arguments, got "
                     << texts.size() << ": " << entry.signature << '\n';
        return kBadUsage;
    }
    const std::vector<std::string_view> names = entry.ArgumentNames();
    std::vector<double> arguments;
    for (std::size_t k = 0; k < texts.size(); ++k) {
        const ParsedNumber parsed = ParseNumber(texts[k]);
        if (parsed.error) {
            Message(err) << "argument " << k + 1 << " (" << names[k] << ") of " << entry.name
                         << ": " << Quote(texts[k]) << NumberProblem(*parsed.error) << '\n';
            return kBadUsage;
        }
        arguments.push_back(parsed.value);
    }
    out << ValueText(Evaluate(entry, arguments)) << kLineEnd;
    return kSuccess;
}

// The catalogue's help of a function, then how the tool calls it; the example
// spelt as the help spells it, and its value as this build prints it.
int Help(const CatalogueEntry& entry, Writer& writer) {
    std::string text = HelpText(entry);
    text.append("\nFrom the command line:\n  vantrel ").append(entry.name);
    for (const ArgumentInfo& argument : entry.arguments) text.append(" ").append(argument.name);
    text.append("\n  vantrel ")
        .append(entry.name)
        .append(" --csv FILE    (the CSV header names the arguments)\n");
    text.append("  vantrel ").append(entry.alias);
    for (double x : entry.exampleArguments) text.append(" ").append(ArgumentText(x));
    text.append("    prints ")
        .append(ValueText(Evaluate(entry, entry.exampleArguments)))
        .append("\n");
    writer.Text(text);
    return kSuccess;
}

// An option the tool does not know, with the one it most resembles.
void UnknownOption(std::string_view option, std::ostream& err) {
    static constexpr KnownName kOptions[] = {{"--csv", ""}, {"--help", ""}, {"--version", ""}};
    Message(err) << "unknown option " << Quote(option);
    if (const std::vector<std::string_view> closest = ClosestNames(option, kOptions, 1);
        !closest.empty()) {
        err << "; did you mean " << closest[0] << "?";
    }
    err << " ('vantrel --help' shows the usage)\n";
}

// The arguments after the function's name: "--csv FILE" or the call's
// arguments; "--" ends the options.
struct Operands {
    std::optional<std::string_view> csv;
    std::optional<std::string_view> common;  // he3-decay-fit's alone
    std::vector<std::string_view> arguments;
    bool help = false;
};

std::optional<Operands> ParseOperands(std::span<const std::string_view> args, bool optionsEnded,
                                      bool decayFit, std::ostream& err) {
    Operands operands;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--csv") {
            if (operands.csv || i + 1 == args.size()) {
                Message(err) << "--csv takes one file name ('-' for standard input)\n";
                return std::nullopt;
            }
            operands.csv = args[++i];
        } else if (!optionsEnded && decayFit && arg == "--common") {
            if (operands.common || i + 1 == args.size()) {
                Message(err) << "--common takes one number: the relative deviation common to every "
                                "point\n";
                return std::nullopt;
            }
            operands.common = args[++i];
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            operands.help = true;
        } else if (!optionsEnded && arg.starts_with("--")) {
            // No number starts with "--".
            UnknownOption(arg, err);
            return std::nullopt;
        } else {
            operands.arguments.push_back(arg);
        }
    }
    if (operands.csv && !operands.arguments.empty()) {
        Message(err) << "--csv takes one file name ('-' for standard input), and no arguments "
                        "beside it\n";
        return std::nullopt;
    }
    return operands;
}

int EvaluateCsvFrom(const CatalogueEntry& entry, std::string_view source, std::istream& in,
                    std::ostream& out, std::ostream& err) {
    return FromCsvInput(source, in, out, err, [&](std::istream& input) {
        return EvaluateCsv(entry, input, out, err, kMessagePrefix) ? kSuccess : kBadInput;
    });
}

// he3-decay-fit: a table in, one row out.
int DecayFitCommand(const Operands& operands, std::istream& in, std::ostream& out, Writer& writer,
                    std::ostream& err) {
    if (operands.help) {
        writer.Text(kDecayFitUsage);
        return kSuccess;
    }
    double common = 0.0;
    if (operands.common) {
        const ParsedNumber parsed = ParseNumber(*operands.common);
        if (parsed.error) {
            Message(err) << "--common: " << Quote(*operands.common) << NumberProblem(*parsed.error)
                         << '\n';
            return kBadUsage;
        }
        common = parsed.value;
    }
    if (!operands.csv) {
        Message(err) << kDecayFitCommand << " reads a table: vantrel " << kDecayFitCommand
                     << " --csv FILE ('-' for standard input)\n";
        return kBadUsage;
    }
    return FromCsvInput(*operands.csv, in, out, err,
                        [&](std::istream& input) { return FitDecay(input, common, out, err); });
}

// "--help extra", "--version extra": these take nothing after them.
int TakesNothing(std::string_view command, std::span<const std::string_view> rest,
                 std::ostream& err) {
    Message(err) << "'" << command << "' takes no arguments, got " << Quote(rest.front())
                 << (rest.size() > 1 ? " and more" : "") << '\n';
    return kBadUsage;
}

int Dispatch(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
             Writer& writer, std::ostream& err) {
    bool optionsEnded = false;
    if (!args.empty() && args[0] == "--") {
        args = args.subspan(1);
        optionsEnded = true;
    }
    if (args.empty()) {
        err << kUsage;
        return kBadUsage;
    }
    const std::string_view command = args[0];
    if (!optionsEnded && (command == "--help" || command == "-h" || command == "--version")) {
        if (args.size() > 1) return TakesNothing(command, args.subspan(1), err);
        if (command == "--version") {
            writer << "vantrel " << VANTREL_VERSION << kLineEnd;
        } else {
            writer.Text(kUsage);
        }
        return kSuccess;
    }
    if (!optionsEnded && command == "--csv") {
        Message(err) << "--csv follows the function's name: vantrel NAME --csv FILE\n";
        return kBadUsage;
    }
    if (!optionsEnded && command.starts_with("--")) {
        UnknownOption(command, err);
        return kBadUsage;
    }
    // The magnetic commands take options of their own.
    if (!optionsEnded && IsMagneticCommand(command))
        return RunMagnetic(command, args.subspan(1), in, out, err);
    const std::optional<Operands> operands = ParseOperands(
        args.subspan(1), optionsEnded, !optionsEnded && command == kDecayFitCommand, err);
    if (!operands) return kBadUsage;
    if (!optionsEnded && command == kDecayFitCommand)
        return DecayFitCommand(*operands, in, out, writer, err);
    if (command == "help" && !operands->csv && operands->arguments.size() == 1) {
        const std::string_view topic = operands->arguments[0];
        if (IsCommand(topic)) {
            writer.Text(topic == kDecayFitCommand  ? kDecayFitUsage
                        : IsMagneticCommand(topic) ? MagneticUsage(topic)
                                                   : kUsage);
            return kSuccess;
        }
        const CatalogueEntry* entry = FindFunction(topic);
        return entry == nullptr ? UnknownFunction(topic, err) : Help(*entry, writer);
    }
    if (command == "help" || command == "list") {
        if (operands->csv || !operands->arguments.empty()) {
            Message(err) << "'" << command << "' takes "
                         << (command == "help" ? "one function or command name, or none"
                                               : "no arguments")
                         << "\n";
            return kBadUsage;
        }
        if (command == "help") {
            writer.Text(kUsage);
            return kSuccess;
        }
        return List(writer);
    }
    const CatalogueEntry* entry = FindFunction(command);
    if (entry == nullptr) return UnknownFunction(command, err);
    if (operands->help) return Help(*entry, writer);
    if (!operands->csv) return EvaluateArguments(*entry, operands->arguments, writer, err);
    return EvaluateCsvFrom(*entry, *operands->csv, in, out, err);
}

}  // namespace

bool ReadsItsOwnOutput(const InputFile* input, const std::ostream& out, std::ostream& err) {
    const auto* output = dynamic_cast<const OutputFile*>(out.rdbuf());
    if (input == nullptr || output == nullptr || !SameRegularFile(input->fd(), output->fd()))
        return false;
    Message(err) << "the CSV input, " << input->name()
                 << ", is the file the output goes to; write the output to another file\n";
    return true;
}

int Run(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
        std::ostream& err) {
    Writer writer(out);
    try {
        const int status = Dispatch(args, in, out, writer, err);
        writer.Flush();
        return status;
    } catch (const IoError& e) {
        Message(err) << e.what() << '\n';
        return kBadInput;
    }
}

}  // namespace vantrel::cli
