// What the page asks of the library, as plain C functions for its script: the
// catalogue's descriptions as JSON, columns through EvaluateBatch, numbers
// read and printed by the command-line tool's own rules, and a whole CSV
// through the tool's CSV run. Every number the page shows is made here, so
// that the script does no arithmetic of its own.
//
// Strings handed to the script are allocated with malloc; the script frees them.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <istream>
#include <iterator>
#include <new>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "json_text.h"
#include "vantrel/batch.h"
#include "vantrel/catalogue.h"
#include "vantrel/function_table.h"
#include "vantrel/helium3/decay_fit.h"
#include "vantrel/helium3/decay_fit_table.h"
#include "vantrel/number_text.h"
#include "vantrel/text_io.h"

namespace {

using vantrel::CatalogueEntry;
using vantrel::web::AppendJsonString;
using vantrel::web::Handed;

void AppendField(std::string& json, std::string_view key, std::string_view value) {
    AppendJsonString(json, key);
    json += ':';
    AppendJsonString(json, value);
    json += ',';
}

const CatalogueEntry* EntryAt(int index) {
    const auto catalogue = vantrel::Catalogue();
    if (index < 0 || static_cast<std::size_t>(index) >= catalogue.size()) return nullptr;
    return &catalogue[static_cast<std::size_t>(index)];
}

// The worker that runs a CSV lends the file and takes the result: it reads a
// slice of the file into the module's memory (bytes read, or -1 with the
// reason left for ReadProblem) and keeps each part of the result as it comes,
// so that neither the file nor the result is ever whole in the module's memory.
EM_JS(double, ReadSlice, (char* into, double offset, int size),
      { return Module.readSlice(into, offset, size); });
EM_JS(void, ReadProblem, (char* into, int size),
      { stringToUTF8(Module.readProblem || "the browser gave no reason", into, size); });
EM_JS(int, KeepPart, (const char* bytes, int size),
      { return Module.keepPart(bytes, size) ? 1 : 0; });

// A result's bytes are looked through eight at a time: byte by byte, the
// search for record ends took a tenth of a CSV run's time in WebAssembly.
constexpr std::uint64_t kEveryByte = 0x0101010101010101;

// The high bit of each byte of `word` that is zero, and no other bit.
constexpr std::uint64_t ZeroBytes(std::uint64_t word) {
    constexpr std::uint64_t kLow7 = 0x7F * kEveryByte;
    return ~(((word & kLow7) + kLow7) | word | kLow7);
}

std::uint64_t Word(const char* bytes) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// The first '"' in [first, last), or last.
char* FindQuote(char* first, char* last) {
    for (; last - first >= 8; first += 8) {
        if (ZeroBytes(Word(first) ^ ('"' * kEveryByte)) != 0) break;
    }
    return std::find(first, last, '"');
}

// The '\n' in [first, last).
std::size_t CountLineEnds(const char* first, const char* last) {
    std::size_t count = 0;
    for (; last - first >= 8; first += 8)
        count +=
            static_cast<std::size_t>(std::popcount(ZeroBytes(Word(first) ^ ('\n' * kEveryByte))));
    return count + static_cast<std::size_t>(std::count(first, last, '\n'));
}

// The bytes [from, to) of the file, slice after slice. A slice the browser
// cannot read ends the run as an unreadable file does in the command-line
// tool; it is never taken for the end of the input, which would cut the last
// record.
class SliceReader : public std::streambuf {
public:
    SliceReader(double from, double to) : offset_(from), end_(to) {}

    // Whether the reader has come to `to`.
    bool ended() const { return ended_; }
    // The line ends in what has been read.
    double lineEnds() const { return lineEnds_; }

protected:
    int_type underflow() override {
        if (gptr() != nullptr && gptr() < egptr()) return traits_type::to_int_type(*gptr());
        if (offset_ >= end_) {
            ended_ = true;
            return traits_type::eof();
        }
        // The first slice small, so that the first rows show at once; the
        // next ones larger, each twice the last; none past `to`.
        const std::size_t want = static_cast<std::size_t>(
            std::min(static_cast<double>(first_ ? kFirstSlice : next_), end_ - offset_));
        if (!first_) next_ = std::min(2 * next_, kLargestSlice);
        first_ = false;
        if (slice_.size() < want) slice_.resize(want);
        const double got = ReadSlice(slice_.data(), offset_, static_cast<int>(want));
        if (got <= 0) {
            char reason[512];
            ReadProblem(reason, sizeof reason);
            throw vantrel::IoError(vantrel::IoError::Side::kInput,
                                   std::string("cannot read ") + reason);
        }
        offset_ += got;
        char* const begin = slice_.data();
        char* const end = begin + static_cast<std::size_t>(got);
        lineEnds_ += static_cast<double>(CountLineEnds(begin, end));
        setg(begin, begin, end);
        return traits_type::to_int_type(*gptr());
    }

private:
    // Each slice is a read by the browser that costs about 10 ms however small
    // it is. From 4 MiB, which lets the progress move early on a file of 10 MB,
    // slices grow to 16 MiB, which makes a run of 10^6 rows (31 MB: eight
    // reads at 4 MiB, five so) some 30 ms faster; 32 MiB gained nothing more.
    static constexpr std::size_t kSlice = std::size_t{1} << 22;
    static constexpr std::size_t kLargestSlice = std::size_t{1} << 24;
    static constexpr std::size_t kFirstSlice = std::size_t{1} << 16;
    double offset_;
    double end_;
    double lineEnds_ = 0;
    bool first_ = true;
    bool ended_ = false;
    std::size_t next_ = kSlice;
    std::vector<char> slice_;
};

// The result, handed on in parts that end at a record's end: a record is
// never half given, also when the run stops while writing one. Records end at
// a line end outside quotes, by the rules the records were read with (a quote
// opens a field only at its start; "" inside quotes is one quote).
class RecordWriter : public std::streambuf {
public:
    RecordWriter() : buffer_(kFirstPart) { setp(buffer_.data(), buffer_.data() + buffer_.size()); }

    // Whole records handed on, the header's included.
    double records() const { return records_; }

protected:
    int_type overflow(int_type c) override {
        if (!HandOn()) return traits_type::eof();
        if (pptr() == epptr()) {
            // One record fills the buffer: it must fit whole.
            const std::size_t used = buffer_.size();
            try {
                buffer_.resize(2 * used);
            } catch (const std::bad_alloc&) {
                return traits_type::eof();
            }
            setp(buffer_.data(), buffer_.data() + buffer_.size());
            pbump(static_cast<int>(used));
        }
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
        return c;
    }
    int sync() override { return HandOn() ? 0 : -1; }
    // Bytes that fit, copied at once: the standard library's own copy is a
    // call per piece, and a record is written in several.
    std::streamsize xsputn(const char* bytes, std::streamsize n) override {
        if (n > epptr() - pptr()) return std::streambuf::xsputn(bytes, n);
        std::memcpy(pptr(), bytes, static_cast<std::size_t>(n));
        pbump(static_cast<int>(n));
        return n;
    }

private:
    // Hands on the records complete so far and keeps the rest at the start.
    bool HandOn() {
        // Nothing after a part that was refused: the result would have a gap.
        if (refused_) return false;
        char* const begin = buffer_.data();
        for (char* p = begin + scanned_; p < pptr(); ++p) {
            if (!inQuotes_ && !closed_) {
                // Up to the next quote only line ends count, found at once.
                char* const quote = FindQuote(p, pptr());
                if (quote != p) {
                    const std::size_t ends = CountLineEnds(p, quote);
                    if (ends > 0) {
                        endedRecords_ += ends;
                        ended_ =
                            static_cast<std::size_t>(std::find(std::make_reverse_iterator(quote),
                                                               std::make_reverse_iterator(p), '\n')
                                                         .base() -
                                                     begin);
                    }
                    atFieldStart_ = quote[-1] == ',' || quote[-1] == '\n';
                    p = quote;
                    if (p == pptr()) break;
                }
            }
            const char c = *p;
            if (inQuotes_) {
                if (c == '"') {
                    inQuotes_ = false;
                    closed_ = true;
                }
                continue;
            }
            if (c == '"' && (atFieldStart_ || closed_)) {
                inQuotes_ = true;
            } else if (c == '\n') {
                ended_ = static_cast<std::size_t>(p + 1 - begin);
                ++endedRecords_;
            }
            atFieldStart_ = c == ',' || c == '\n';
            closed_ = false;
        }
        scanned_ = static_cast<std::size_t>(pptr() - begin);
        if (ended_ > 0) {
            if (KeepPart(begin, static_cast<int>(ended_)) == 0) {
                refused_ = true;
                return false;
            }
            records_ += static_cast<double>(endedRecords_);
            endedRecords_ = 0;
            const std::size_t rest = scanned_ - ended_;
            std::memmove(begin, begin + ended_, rest);
            // The first part small, so that the first rows show at once; the
            // later ones larger, when there is memory for them.
            if (buffer_.size() < kPart) {
                try {
                    buffer_.resize(kPart);
                } catch (const std::bad_alloc&) {
                }
            }
            setp(buffer_.data(), buffer_.data() + buffer_.size());
            pbump(static_cast<int>(rest));
            scanned_ = rest;
            ended_ = 0;
        }
        return true;
    }

    static constexpr std::size_t kFirstPart = std::size_t{1} << 16;
    static constexpr std::size_t kPart = std::size_t{1} << 22;
    std::vector<char> buffer_;
    std::size_t scanned_ = 0;
    std::size_t ended_ = 0;
    std::size_t endedRecords_ = 0;  // in the part not yet handed on
    double records_ = 0;
    bool refused_ = false;
    bool inQuotes_ = false;
    bool closed_ = false;
    bool atFieldStart_ = true;
};

}  // namespace

extern "C" {

// [{"name", "alias", "subsystem", "signature", "summary", "resultUnit",
//   "nanWhen", "arguments": [{"name", "meaning", "unit"}], "example": [text],
//   "exampleValue": text}] in catalogue order; example arguments in their
// text as every front end spells them, the example's value as the
// command-line tool prints it.
EMSCRIPTEN_KEEPALIVE char* vantrel_catalogue_json() {
    std::string json = "[";
    for (const CatalogueEntry& entry : vantrel::Catalogue()) {
        if (json.size() > 1) json += ',';
        json += '{';
        AppendField(json, "name", entry.name);
        AppendField(json, "alias", entry.alias);
        AppendField(json, "subsystem", entry.subsystem);
        AppendField(json, "signature", entry.signature);
        AppendField(json, "summary", entry.summary);
        AppendField(json, "resultUnit", entry.resultUnit);
        AppendField(json, "nanWhen", entry.nanWhen);
        AppendField(json, "exampleValue", vantrel::ValueText(entry.exampleValue));
        json += "\"arguments\":[";
        for (const vantrel::ArgumentInfo& argument : entry.arguments) {
            if (json.back() != '[') json += ',';
            json += '{';
            AppendField(json, "name", argument.name);
            AppendField(json, "meaning", argument.meaning);
            AppendField(json, "unit", argument.unit);
            json.back() = '}';
        }
        json += "],\"example\":[";
        for (const double x : entry.exampleArguments) {
            if (json.back() != '[') json += ',';
            AppendJsonString(json, vantrel::ArgumentText(x));
        }
        json += "]}";
    }
    return Handed(json + "]");
}

// A field's text as the command-line tool reads an argument: 0 and the value
// in *value, 1 for text that is not a number, 2 for a number beyond a double.
EMSCRIPTEN_KEEPALIVE int vantrel_parse(const char* text, double* value) {
    const vantrel::ParsedNumber parsed = vantrel::ParseNumber(text);
    if (parsed.error) return *parsed.error == vantrel::NumberError::kOutOfRange ? 2 : 1;
    *value = parsed.value;
    return 0;
}

// The text the command-line tool prints for a value.
EMSCRIPTEN_KEEPALIVE char* vantrel_format(double value) {
    return Handed(vantrel::ValueText(value));
}

// n values, each as the command-line tool prints it, one per line.
EMSCRIPTEN_KEEPALIVE char* vantrel_format_column(const double* values, int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += vantrel::ValueText(values[i]) + '\n';
    return Handed(text);
}

// Function `index` over n rows: argument k of row i at columns[k·n + i]. 1 on
// success, 0 for an index out of the catalogue.
EMSCRIPTEN_KEEPALIVE int vantrel_evaluate_batch(int index, int n, const double* columns,
                                                double* out) {
    const CatalogueEntry* entry = EntryAt(index);
    if (entry == nullptr || n < 0) return 0;
    const double* starts[vantrel::kMaxArguments];
    for (std::size_t k = 0; k < entry->argumentCount; ++k)
        starts[k] = columns + k * static_cast<std::size_t>(n);
    return vantrel::EvaluateBatch(*entry, {starts, entry->argumentCount},
                                  {out, static_cast<std::size_t>(n)})
               ? 1
               : 0;
}

// The functions whose names are closest to a mistyped one, one a line, as the
// command-line tool suggests them.
EMSCRIPTEN_KEEPALIVE char* vantrel_closest_names(const char* name) {
    std::string text;
    for (const std::string_view closest : vantrel::ClosestFunctionNames(name)) {
        text += closest;
        text += '\n';
    }
    return Handed(text);
}

// The standard deviation of a rate r counted for a time t, sqrt(r·t)/t, for
// each of n pairs: through CountRateSDev, whose counts are Poisson.
EMSCRIPTEN_KEEPALIVE void vantrel_rate_sdev(int n, const double* r, const double* t, double* out) {
    const CatalogueEntry& sdev = *vantrel::FindFunction("CountRateSDev");
    for (int i = 0; i < n; ++i) {
        const double arguments[] = {r[i] * t[i], t[i]};
        out[i] = vantrel::Evaluate(sdev, arguments);
    }
}

// The relaxation of a cell fitted to n measured polarisations (He3DecayFit).
// On success 1, with {PHe0, T1, sigmaPHe0, sigmaT1, rho, reduced χ²} in fit[]
// and the fit's note (empty when the points agree with it) in *message; on
// failure 0, with the reason, naming the row from 1, in *message.
EMSCRIPTEN_KEEPALIVE int vantrel_decay_fit(int n, const double* t, const double* PHe,
                                           const double* sigma, double common, double* fit,
                                           char** message) {
    const auto count = static_cast<std::size_t>(n < 0 ? 0 : n);
    const vantrel::helium3::DecayFitOutcome outcome = vantrel::helium3::He3DecayFit(
        {t, t + count}, {PHe, PHe + count}, {sigma, sigma + count}, common);
    if (!outcome.fit) {
        *message = Handed(vantrel::helium3::DecayFitErrorText(outcome.error));
        return 0;
    }
    const vantrel::helium3::DecayFit& f = *outcome.fit;
    const double values[] = {
        f.PHe0, f.T1, f.sigmaPHe0, f.sigmaT1, f.rho, f.reduced_chi_square, f.sigmaPHe0_points};
    std::copy(std::begin(values), std::end(values), fit);
    *message = Handed(f.Note());
    return 1;
}

// The fitted polarisation at n times with its band, value ∓ its standard
// deviation: the fit's own PolarisationAt and PolarisationSDevAt.
EMSCRIPTEN_KEEPALIVE void vantrel_decay_band(const double* fit, int n, const double* t,
                                             double* value, double* low, double* high) {
    vantrel::helium3::DecayFit f{};
    f.PHe0 = fit[0];
    f.T1 = fit[1];
    f.sigmaPHe0 = fit[2];
    f.sigmaT1 = fit[3];
    f.rho = fit[4];
    for (int i = 0; i < n; ++i) {
        value[i] = f.PolarisationAt(t[i]);
        const double sigma = f.PolarisationSDevAt(t[i]);
        low[i] = value[i] - sigma;
        high[i] = value[i] + sigma;
    }
}

// The bytes [from, to) of a CSV of `size` bytes, lent slice by slice, through
// function `index` by the library's rules, which the command-line tool
// follows too. From 0 the table is run from its start; from elsewhere, `from`
// is a record's start and the rows are run as a part that takes the header
// from the file's start and counts `rowsBefore` rows and its first line
// `firstLine` before it. Returns the exit status, or 3 for a run that
// stopped where it came to `to` short of the file's end: the cut may have
// fallen inside a record, and the run must go on past it to know. The
// messages in *messages (malloc'd text); in counts[0] the whole records handed
// on (the header's included), in counts[1] the line ends read. A run stopped
// while writing keeps the records before.
EMSCRIPTEN_KEEPALIVE int vantrel_csv(int index, double size, double from, double to,
                                     double rowsBefore, double firstLine, char** messages,
                                     double* counts) {
    counts[0] = counts[1] = 0;
    const CatalogueEntry* entry = EntryAt(index);
    if (entry == nullptr) {
        *messages = Handed("no such function\n");
        return 2;
    }
    int status = 1;
    bool ended = false;
    std::string said;
    try {
        std::ostringstream err;
        RecordWriter written;
        std::ostream output(&written);
        SliceReader read(from, to);
        std::istream input(&read);
        try {
            bool done = false;
            if (from == 0) {
                done = vantrel::EvaluateCsv(*entry, input, output, err, "vantrel: ");
            } else {
                SliceReader start(0, size);
                std::istream header(&start);
                const vantrel::CsvPart part{static_cast<std::size_t>(rowsBefore),
                                            static_cast<std::size_t>(firstLine)};
                done =
                    vantrel::EvaluateCsvPart(*entry, header, input, output, err, "vantrel: ", part);
            }
            status = done ? 0 : 1;
        } catch (const std::exception& e) {
            err << "vantrel: " << e.what() << '\n';
        }
        counts[0] = written.records();
        counts[1] = read.lineEnds();
        ended = read.ended();
        said = err.str();
    } catch (const std::bad_alloc&) {
        said = "vantrel: the run does not fit in memory\n";
        status = 1;
    }
    *messages = Handed(said);
    return status != 0 && ended && to < size ? 3 : status;
}
}
