#include "decay_fit_command.h"

#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli.h"
#include "csv.h"
#include "file_io.h"
#include "messages.h"
#include "numbers.h"
#include "vantrel/helium3/decay_fit.h"
#include "vantrel/number_text.h"

namespace vantrel::cli {

namespace {

#ifdef _WIN32
constexpr std::string_view kLineEnd = "\r\n";
#else
constexpr std::string_view kLineEnd = "\n";
#endif

constexpr std::string_view kDecayFitUsage =
    "usage: vantrel he3-decay-fit --csv FILE      (FILE '-' reads standard input)\n"
    "\n"
    "Fits PHe(t) = PHe0*exp(-t/T1) to the columns t, PHe and sigmaPHe of the CSV by weighted\n"
    "least squares on PHe, sigmaPHe taken as absolute. t is a number in any one unit, or an\n"
    "ISO 8601 date-time (2026-12-09T14:30, with seconds, fractions and a zone as you like),\n"
    "then taken in hours from the first row. Prints the header\n"
    "PHe0,T1,sigmaPHe0,sigmaT1,rho,reduced_chi_square,n and one row. A row that cannot enter\n"
    "the fit (NaN, PHe <= 0, sigmaPHe <= 0, …) stops it with its line; nothing is dropped.\n";

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool LeapYear(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Reads exactly `count` digits at `at`.
std::optional<unsigned> Digits(std::string_view text, std::size_t& at, std::size_t count) {
    if (at + count > text.size()) return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    at += count;
    return value;
}

bool Take(std::string_view text, std::size_t& at, char c) {
    if (at < text.size() && text[at] == c) return ++at, true;
    return false;
}

const char* Reason(const helium3::DecayFitError& e) { return e.reason.c_str(); }

struct Points {
    std::vector<double> t, PHe, sigma;
    std::vector<std::size_t> lines;  // the CSV line of each point
};

// The three columns of the CSV, or a message on `err` and nothing.
std::optional<Points> ReadPoints(std::istream& in, std::ostream& err) {
    CsvReader reader(in);
    CsvRecord record;
    bool found = false;
    while ((found = reader.Next(record)) && TrimBlanks(record.raw).empty()) {
    }
    if (!found) {
        Message(err) << "the CSV input is empty; its first line must name the columns t, PHe, "
                        "sigmaPHe\n";
        return std::nullopt;
    }
    const std::vector<std::string> header = record.fields;
    std::size_t column[3];
    const std::string_view names[3] = {"t", "PHe", "sigmaPHe"};
    for (std::size_t k = 0; k < 3; ++k) {
        column[k] = header.size();
        for (std::size_t c = 0; c < header.size(); ++c) {
            if (TrimBlanks(header[c]) == names[k]) column[k] = c;
        }
        if (column[k] == header.size()) {
            Message(err)
                << "the CSV header lacks the column " << names[k]
                << " (he3-decay-fit reads t, PHe and sigmaPHe; names are case-sensitive)\n";
            return std::nullopt;
        }
    }
    Points points;
    std::optional<bool> dates, zoned;
    double origin = 0.0;
    while (reader.Next(record)) {
        if (TrimBlanks(record.raw).empty()) continue;
        if (record.fields.size() != header.size()) {
            Message(err) << "line " << record.line << ": " << record.fields.size()
                         << " fields, but the header has " << header.size() << '\n';
            return std::nullopt;
        }
        double values[3];
        for (std::size_t k = 0; k < 3; ++k) {
            const std::string& text = record.fields[column[k]];
            const ParsedNumber parsed = ParseNumber(text);
            if (k == 0 && (dates.value_or(false) || (!dates && parsed.error))) {
                const std::optional<Instant> instant = ParseDateTime(TrimBlanks(text));
                if (!instant) {
                    Message(err) << "line " << record.line << " (t): " << Quote(text)
                                 << (dates
                                         ? " is not an ISO 8601 date-time like the rows before it\n"
                                         : " is neither a number nor an ISO 8601 date-time\n");
                    return std::nullopt;
                }
                if (zoned && *zoned != instant->zoned) {
                    Message(err) << "line " << record.line << " (t): " << Quote(text)
                                 << (instant->zoned
                                         ? " names a time zone and the rows before do not\n"
                                         : " names no time zone and the rows before do\n");
                    return std::nullopt;
                }
                if (!dates) origin = instant->seconds;
                dates = true, zoned = instant->zoned;
                values[0] = (instant->seconds - origin) / 3600.0;
                continue;
            }
            if (parsed.error) {
                Message(err) << "line " << record.line << " (" << names[k] << "): " << Quote(text)
                             << (k == 0 ? " is not a number like the rows before it\n"
                                        : " is not a number\n");
                return std::nullopt;
            }
            if (k == 0) dates = false;
            values[k] = parsed.value;
        }
        points.t.push_back(values[0]);
        points.PHe.push_back(values[1]);
        points.sigma.push_back(values[2]);
        points.lines.push_back(record.line);
    }
    return points;
}

int Fit(std::istream& in, std::ostream& out, std::ostream& err) {
    std::optional<Points> points;
    try {
        points = ReadPoints(in, err);
    } catch (const CsvError& e) {
        Message(err) << "line " << e.line() << ": " << e.what() << '\n';
        return kBadInput;
    }
    if (!points) return kBadInput;
    const helium3::DecayFitOutcome outcome =
        helium3::He3DecayFit(points->t, points->PHe, points->sigma);
    if (!outcome.fit) {
        const helium3::DecayFitError& e = outcome.error;
        Message(err) << "he3-decay-fit: ";
        if (e.row != helium3::DecayFitError::kNoRow) err << "line " << points->lines[e.row] << ": ";
        err << Reason(e) << '\n';
        return kBadInput;
    }
    const helium3::DecayFit& f = *outcome.fit;
    if (const std::string note = f.Note(); !note.empty()) Message(err) << "note: " << note << '\n';
    std::string text = "PHe0,T1,sigmaPHe0,sigmaT1,rho,reduced_chi_square,n";
    text.append(kLineEnd);
    for (double x : {f.PHe0, f.T1, f.sigmaPHe0, f.sigmaT1, f.rho, f.reduced_chi_square})
        text.append(ValueText(x)).append(",");
    text.append(std::to_string(f.n)).append(kLineEnd);
    if (out.rdbuf()->sputn(text.data(), static_cast<std::streamsize>(text.size())) !=
        static_cast<std::streamsize>(text.size())) {
        throw IoError(IoError::Side::kOutput, "cannot write the output");
    }
    return kSuccess;
}

}  // namespace

std::optional<Instant> ParseDateTime(std::string_view text) {
    std::size_t at = 0;
    const auto year = Digits(text, at, 4);
    if (!year || !Take(text, at, '-')) return std::nullopt;
    const auto month = Digits(text, at, 2);
    if (!month || !Take(text, at, '-')) return std::nullopt;
    const auto day = Digits(text, at, 2);
    if (!day || *month < 1 || *month > 12) return std::nullopt;
    constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const unsigned monthDays = kDays[*month - 1] + (*month == 2 && LeapYear(*year) ? 1 : 0);
    if (*day < 1 || *day > monthDays) return std::nullopt;
    double seconds = 86400.0 * static_cast<double>(DaysFromCivil(*year, *month, *day));
    if (at < text.size() && (text[at] == 'T' || text[at] == ' ')) {
        ++at;
        const auto hour = Digits(text, at, 2);
        if (!hour || !Take(text, at, ':')) return std::nullopt;
        const auto minute = Digits(text, at, 2);
        if (!minute || *hour > 23 || *minute > 59) return std::nullopt;
        double second = 0.0;
        if (Take(text, at, ':')) {
            const auto whole = Digits(text, at, 2);
            if (!whole || *whole > 59) return std::nullopt;
            second = *whole;
            if (Take(text, at, '.') || Take(text, at, ',')) {
                double scale = 0.1;
                const std::size_t first = at;
                while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
                    second += scale * (text[at++] - '0');
                    scale /= 10;
                }
                if (at == first) return std::nullopt;
            }
        }
        seconds += 3600.0 * *hour + 60.0 * *minute + second;
    }
    bool zoned = false;
    if (Take(text, at, 'Z')) {
        zoned = true;
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        const double sign = text[at++] == '+' ? 1.0 : -1.0;
        const auto hours = Digits(text, at, 2);
        if (!hours) return std::nullopt;
        Take(text, at, ':');
        const auto minutes = at < text.size() ? Digits(text, at, 2) : std::optional<unsigned>(0);
        if (!minutes || *hours > 23 || *minutes > 59) return std::nullopt;
        seconds -= sign * (3600.0 * *hours + 60.0 * *minutes);
        zoned = true;
    }
    if (at != text.size()) return std::nullopt;
    return Instant{seconds, zoned};
}

int DecayFitCommand(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
                    std::ostream& err) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::string text;
        for (const char c : std::string_view(kDecayFitUsage)) {
            if (c == '\n')
                text.append(kLineEnd);
            else
                text.push_back(c);
        }
        out << text;
        return kSuccess;
    }
    if (args.size() != 2 || args[0] != "--csv") {
        err << kDecayFitUsage;
        return kBadUsage;
    }
    if (args[1] == "-") return Fit(in, out, err);
    const std::unique_ptr<InputFile> file = InputFile::Open(std::string(args[1]));
    std::istream stream(file.get());
    return Fit(stream, out, err);
}

}  // namespace vantrel::cli
