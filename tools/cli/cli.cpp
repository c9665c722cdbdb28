#include "cli.h"

#include <algorithm>
#include <charconv>
#include <istream>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <string>

#include "core/names.h"
#include "csv.h"
#include "decay_fit_command.h"
#include "file_io.h"
#include "numbers.h"

namespace vantrel::cli {

namespace {

constexpr std::string_view kUsage =
    "usage: vantrel list | --help | --version\n"
    "       vantrel NAME [--] ARG...\n"
    "       vantrel NAME --csv FILE      (FILE '-' reads standard input)\n"
    "       vantrel help NAME            (or vantrel NAME --help)\n"
    "       vantrel he3-decay-fit --csv FILE   (see vantrel he3-decay-fit --help)\n"
    "\n"
    "NAME is a function of 'vantrel list', by its name or its snake_case alias;\n"
    "'vantrel help NAME' shows its arguments with their units, when its value is\n"
    "NaN, and an example.\n"
    "Values print with 17 significant digits and read back to the same bits;\n"
    "arguments may be decimal or hexadecimal (0x1.8p3), inf or nan; '--' ends\n"
    "the options, so that what follows is read as arguments.\n"
    "With --csv, the header names the arguments (any order, other columns kept)\n"
    "and a column NAME with the value is appended to every row.\n";

// Line ends of what the tool writes itself: the platform's (on Windows "\r\n",
// which text written there is expected to have). The CSV records in between
// are written as they were read.
#ifdef _WIN32
constexpr std::string_view kLineEnd = "\r\n";
#else
constexpr std::string_view kLineEnd = "\n";
#endif

// Output straight through the stream's buffer: a failure of the tool's own
// buffers arrives as the IoError they throw, with the system's reason; any
// other buffer that refuses bytes is reported alike, without one.
class Writer {
public:
    explicit Writer(std::ostream& out) : buffer_(*out.rdbuf()) {}

    // Bytes as they are.
    Writer& operator<<(std::string_view bytes) {
        if (buffer_.sputn(bytes.data(), static_cast<std::streamsize>(bytes.size())) !=
            static_cast<std::streamsize>(bytes.size())) {
            Failed();
        }
        return *this;
    }
    // Text whose '\n' are the platform's line ends.
    void Text(std::string_view text) {
        for (std::size_t end; (end = text.find('\n')) != std::string_view::npos;
             text.remove_prefix(end + 1)) {
            *this << text.substr(0, end) << kLineEnd;
        }
        *this << text;
    }
    void Flush() {
        if (buffer_.pubsync() != 0) Failed();
    }

private:
    [[noreturn]] static void Failed() {
        throw IoError(IoError::Side::kOutput, "cannot write the output");
    }

    std::streambuf& buffer_;
};

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
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

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

int UnknownFunction(std::string_view name, std::ostream& err) {
    err << "vantrel: no function named " << Quote(name);
    // A name longer than any in the catalogue by far resembles none of them.
    const std::vector<std::string_view> closest =
        name.size() <= 4 * kQuoteLimit ? ClosestNames(name) : std::vector<std::string_view>{};
    for (std::size_t i = 0; i < closest.size(); ++i)
        err << (i == 0 ? "; did you mean " : ", ") << closest[i];
    err << (closest.empty() ? "" : "?") << " ('vantrel list' shows all " << Catalogue().size()
        << ")\n";
    return kBadUsage;
}

const char* NumberProblem(NumberError error) {
    return error == NumberError::kOutOfRange ? " is beyond the range of a double"
                                             : " is not a number";
}

int EvaluateArguments(const CatalogueEntry& entry, std::span<const std::string_view> texts,
                      Writer& out, std::ostream& err) {
    if (texts.size() != entry.argumentCount) {
        err << "vantrel: " << entry.name << " takes " << entry.argumentCount << " arguments, got "
            << texts.size() << ": " << Signature(entry) << '\n';
        return kBadUsage;
    }
    const std::vector<std::string_view> names = entry.ArgumentNames();
    std::vector<double> arguments;
    for (std::size_t k = 0; k < texts.size(); ++k) {
        const ParsedNumber parsed = ParseNumber(texts[k]);
        if (parsed.error) {
            err << "vantrel: argument " << k + 1 << " (" << names[k] << ") of " << entry.name
                << ": " << Quote(texts[k]) << NumberProblem(*parsed.error) << '\n';
            return kBadUsage;
        }
        arguments.push_back(parsed.value);
    }
    out << FormatNumber(Evaluate(entry, arguments)) << kLineEnd;
    return kSuccess;
}

bool IsBlank(std::string_view record) { return TrimBlanks(record).empty(); }

bool HasColumn(const std::vector<std::string>& header, std::string_view name) {
    return std::any_of(header.begin(), header.end(),
                       [name](const std::string& field) { return TrimBlanks(field) == name; });
}

// The column of each argument, in call order; or a message naming what is
// missing or repeated.
std::optional<std::vector<std::size_t>> ArgumentColumns(const CatalogueEntry& entry,
                                                        const std::vector<std::string>& header,
                                                        std::ostream& err) {
    std::vector<std::size_t> columns;
    std::string missing;
    for (std::string_view name : entry.ArgumentNames()) {
        std::size_t found = header.size();
        for (std::size_t c = 0; c < header.size(); ++c) {
            if (TrimBlanks(header[c]) != name) continue;
            if (found != header.size()) {
                err << "vantrel: the CSV header names " << name << " twice (columns " << found + 1
                    << " and " << c + 1 << ")\n";
                return std::nullopt;
            }
            found = c;
        }
        if (found == header.size()) missing += (missing.empty() ? "" : ", ") + std::string(name);
        columns.push_back(found);
    }
    if (missing.empty()) return columns;

    const char* plural = missing.find(',') == std::string::npos ? " " : "s ";
    if (header.size() == 1 && entry.argumentCount > 1) {
        // Most often another separator: a spreadsheet set to a language whose
        // decimal mark is the comma writes ';'.
        err << "vantrel: the CSV header was read as one column, " << Quote(header[0])
            << ", which lacks the column" << plural << missing << " of " << Signature(entry)
            << ": columns are separated by commas";
        for (const std::string_view separator : {"';'", "tabs", "'|'"}) {
            if (header[0].find(separator == "tabs" ? '\t' : separator[1]) != std::string::npos) {
                err << ", not by " << separator;
                break;
            }
        }
        err << '\n';
        return std::nullopt;
    }
    err << "vantrel: the CSV header lacks the column" << plural << missing << " of "
        << Signature(entry) << " (names are case-sensitive)\n";
    return std::nullopt;
}

// What a CSV run has written, for the message that stops it.
struct Progress {
    bool header = false;
    std::size_t rows = 0;

    std::string Stopped() const {
        if (!header) return "";
        if (rows == 0) return "; stopped after the header";
        return "; stopped after the header and " + std::to_string(rows) +
               (rows == 1 ? " row" : " rows");
    }
};

// The records after the header, each written with its value as soon as it is
// read. Returns kBadInput after reporting a bad record.
int StreamRows(const CatalogueEntry& entry, CsvReader& reader, CsvRecord& record, Writer& out,
               std::ostream& err, Progress& progress) {
    // Blank lines before the header are skipped, as they are elsewhere.
    bool found = false;
    while ((found = reader.Next(record)) && IsBlank(record.raw)) {
    }
    if (!found) {
        err << "vantrel: the CSV input is empty; its first line must name the arguments: "
            << entry.argumentList << '\n';
        return kBadInput;
    }
    const std::vector<std::string> header = record.fields;
    const std::optional<std::vector<std::size_t>> columns = ArgumentColumns(entry, header, err);
    if (!columns) return kBadInput;

    // The value column gets a name of its own, also when the input has the
    // function's name already (the output of an earlier run, say).
    std::string column(entry.name);
    for (int n = 2; HasColumn(header, column); ++n)
        column = std::string(entry.name) + "_" + std::to_string(n);
    if (column != entry.name) {
        err << "vantrel: note: the input has a column " << entry.name
            << " already; the values go to column " << column << '\n';
    }

    if (reader.HadByteOrderMark()) out << CsvReader::kByteOrderMark;
    out << record.raw << "," << column << kLineEnd;
    progress.header = true;

    const std::vector<std::string_view> names = entry.ArgumentNames();
    std::vector<double> arguments(names.size());
    while (reader.Next(record)) {
        if (IsBlank(record.raw)) continue;
        if (record.fields.size() != header.size()) {
            err << "vantrel: line " << record.line << ": " << record.fields.size() << " field"
                << (record.fields.size() == 1 ? "" : "s") << ", but the header has "
                << header.size() << progress.Stopped() << '\n';
            return kBadInput;
        }
        for (std::size_t k = 0; k < names.size(); ++k) {
            const std::string& text = record.fields[(*columns)[k]];
            const ParsedNumber parsed = ParseNumber(text);
            if (parsed.error) {
                err << "vantrel: line " << record.line << ", column " << (*columns)[k] + 1 << " ("
                    << names[k] << "): " << Quote(text) << NumberProblem(*parsed.error)
                    << progress.Stopped() << '\n';
                return kBadInput;
            }
            arguments[k] = parsed.value;
        }
        out << record.raw << "," << FormatNumber(Evaluate(entry, arguments)) << kLineEnd;
        ++progress.rows;
    }
    return kSuccess;
}

// The arguments after the function's name: "--csv FILE" or the call's
// arguments; "--" ends the options.
struct Operands {
    std::optional<std::string_view> csv;
    std::vector<std::string_view> arguments;
    bool help = false;
};

// The catalogue's help of a function, then how the tool calls it.
int Help(const CatalogueEntry& entry, Writer& writer) {
    std::string text = HelpText(entry);
    text.append("\nFrom the command line:\n  vantrel ").append(entry.name);
    for (const ArgumentInfo& argument : entry.arguments) text.append(" ").append(argument.name);
    text.append("\n  vantrel ")
        .append(entry.name)
        .append(" --csv FILE    (the CSV header names the arguments)\n");
    text.append("  vantrel ").append(entry.alias);
    for (double x : entry.exampleArguments) {
        char shortest[32];  // the shortest text that reads back as the argument
        text.append(" ").append(shortest,
                                std::to_chars(shortest, shortest + sizeof shortest, x).ptr);
    }
    text.append("    prints ").append(FormatNumber(entry.exampleValue)).append("\n");
    writer.Text(text);
    return kSuccess;
}

std::optional<Operands> ParseOperands(std::span<const std::string_view> args, bool optionsEnded,
                                      std::ostream& err) {
    Operands operands;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--csv") {
            if (operands.csv || i + 1 == args.size()) {
                err << "vantrel: --csv takes one file name ('-' for standard input)\n";
                return std::nullopt;
            }
            operands.csv = args[++i];
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            operands.help = true;
        } else if (!optionsEnded && arg.starts_with("--")) {
            // No number starts with "--".
            err << "vantrel: unknown option " << Quote(arg)
                << " ('vantrel --help' shows the usage)\n";
            return std::nullopt;
        } else {
            operands.arguments.push_back(arg);
        }
    }
    if (operands.csv && !operands.arguments.empty()) {
        err << "vantrel: --csv takes one file name ('-' for standard input), and no arguments "
               "beside it\n";
        return std::nullopt;
    }
    return operands;
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
    if (!optionsEnded && (command == "--help" || command == "-h")) {
        writer.Text(kUsage);
        return kSuccess;
    }
    if (!optionsEnded && command == "--version") {
        writer << "vantrel " << VANTREL_VERSION << kLineEnd;
        return kSuccess;
    }
    if (!optionsEnded && command == kDecayFitCommand)
        return DecayFitCommand(args.subspan(1), in, out, err);
    const std::optional<Operands> operands = ParseOperands(args.subspan(1), optionsEnded, err);
    if (!operands) return kBadUsage;
    if (command == "help" && !operands->csv && operands->arguments.size() == 1) {
        const CatalogueEntry* entry = FindByName(operands->arguments[0]);
        return entry == nullptr ? UnknownFunction(operands->arguments[0], err)
                                : Help(*entry, writer);
    }
    if (command == "help" || command == "list") {
        if (operands->csv || !operands->arguments.empty()) {
            err << "vantrel: '" << command << "' takes "
                << (command == "help" ? "one function name or none" : "no arguments") << "\n";
            return kBadUsage;
        }
        if (command == "help") {
            writer.Text(kUsage);
            return kSuccess;
        }
        return List(writer);
    }
    const CatalogueEntry* entry = FindByName(command);
    if (entry == nullptr) return UnknownFunction(command, err);
    if (operands->help) return Help(*entry, writer);

    if (!operands->csv) return EvaluateArguments(*entry, operands->arguments, writer, err);
    if (*operands->csv == "-") return EvaluateCsv(*entry, in, out, err);
    const std::unique_ptr<InputFile> file = InputFile::Open(std::string(*operands->csv));
    file->FlushBeforeWaiting(out.rdbuf());
    std::istream stream(file.get());
    return EvaluateCsv(*entry, stream, out, err);
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
        if (typed.size() >= 3 && lower.find(typed) != std::string::npos)
            distance = std::min(distance, limit);
        if (distance <= limit) scored.emplace_back(distance, e.name);
    }
    std::stable_sort(scored.begin(), scored.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    // Only the best, and those nearly as good.
    std::vector<std::string_view> closest;
    for (std::size_t i = 0;
         i < scored.size() && i < count && scored[i].first <= scored[0].first + 1; ++i) {
        closest.push_back(scored[i].second);
    }
    return closest;
}

std::string Signature(const CatalogueEntry& entry) { return std::string(entry.signature); }

std::string Quote(std::string_view text, std::size_t limit) {
    std::string quoted = "'";
    std::size_t shown = 0;
    while (shown < text.size()) {
        // One character as it is shown: an escape, or all bytes of a UTF-8 sequence.
        std::string piece;
        const char c = text[shown];
        const auto byte = static_cast<unsigned char>(c);
        std::size_t length = 1;
        if (c == '\n') {
            piece = "\\n";
        } else if (c == '\r') {
            piece = "\\r";
        } else if (c == '\t') {
            piece = "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            piece = {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
        } else {
            while (shown + length < text.size() &&
                   (static_cast<unsigned char>(text[shown + length]) & 0xC0) == 0x80) {
                ++length;
            }
            piece = text.substr(shown, length);
        }
        if (quoted.size() - 1 + piece.size() > limit) break;
        quoted += piece;
        shown += length;
    }
    quoted += '\'';
    if (shown < text.size()) {
        quoted += " (the first " + std::to_string(shown) + " of " + std::to_string(text.size()) +
                  " bytes)";
    }
    return quoted;
}

int EvaluateCsv(const CatalogueEntry& entry, std::istream& in, std::ostream& out,
                std::ostream& err) {
    Writer writer(out);
    CsvReader reader(in);
    CsvRecord record;
    Progress progress;
    int status = kBadInput;
    try {
        try {
            status = StreamRows(entry, reader, record, writer, err, progress);
        } catch (const CsvError& e) {
            err << "vantrel: line " << e.line() << ": " << e.what() << progress.Stopped() << '\n';
        } catch (const IoError& e) {
            if (e.side() == IoError::Side::kOutput) throw;
            err << "vantrel: " << e.what() << progress.Stopped() << '\n';
        } catch (const std::bad_alloc&) {
            // A record is held whole: one of gigabytes may not fit.
            err << "vantrel: line " << record.line << ": the record does not fit in memory"
                << progress.Stopped() << '\n';
        }
        // Also after a bad record: the rows before it are kept.
        writer.Flush();
    } catch (const IoError& e) {
        err << "vantrel: " << e.what() << '\n';
        return kBadInput;
    }
    return status;
}

int Run(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
        std::ostream& err) {
    Writer writer(out);
    try {
        const int status = Dispatch(args, in, out, writer, err);
        writer.Flush();
        return status;
    } catch (const IoError& e) {
        err << "vantrel: " << e.what() << '\n';
        return kBadInput;
    }
}

}  // namespace vantrel::cli
