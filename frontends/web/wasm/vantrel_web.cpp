// What the page asks of the library, as plain C functions for its script: the
// catalogue's descriptions as JSON, columns through EvaluateBatch, numbers
// read and printed by the command-line tool's own rules, and a whole CSV
// through the tool's CSV run. Every number the page shows is made here, so
// that the script does no arithmetic of its own.
//
// Strings handed to the script are allocated with malloc; the script frees them.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <istream>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "vantrel/batch.h"
#include "vantrel/catalogue.h"
#include "vantrel/function_table.h"
#include "vantrel/helium3/decay_fit.h"
#include "vantrel/helium3/decay_fit_table.h"
#include "vantrel/number_text.h"
#include "vantrel/pi.h"

namespace {

using vantrel::CatalogueEntry;

char* Handed(std::string_view text) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

void AppendJsonString(std::string& json, std::string_view text) {
    json += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            json += escaped;
        } else {
            json += c;
        }
    }
    json += '"';
}

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

// The worker that runs a CSV sets Module.onProgress to move its progress bar.
EM_JS(void, ReportProgress, (double done, double total), {
    if (Module.onProgress) Module.onProgress(done, total);
});

// Reads the script's bytes in place, telling the page how far it has come
// once per block.
class ProgressBuffer : public std::streambuf {
public:
    ProgressBuffer(const char* data, std::size_t size) : data_(data), size_(size) {}

protected:
    int_type underflow() override {
        if (gptr() != nullptr && gptr() < egptr()) return traits_type::to_int_type(*gptr());
        const std::size_t offset =
            egptr() == nullptr ? 0 : static_cast<std::size_t>(egptr() - data_);
        if (offset >= size_) return traits_type::eof();
        // A cast only: the buffer is never written through.
        char* begin = const_cast<char*>(data_) + offset;
        const std::size_t length = std::min(kBlock, size_ - offset);
        setg(begin, begin, begin + length);
        ReportProgress(static_cast<double>(offset), static_cast<double>(size_));
        return traits_type::to_int_type(*gptr());
    }

private:
    static constexpr std::size_t kBlock = std::size_t{1} << 18;
    const char* data_;
    std::size_t size_;
};

// Collects what is written in one malloc'd block, for the script to take.
class HandedBuffer : public std::streambuf {
public:
    ~HandedBuffer() override { std::free(data_); }
    char* Take(std::size_t& size) {
        size = size_;
        char* data = data_;
        data_ = nullptr;
        size_ = capacity_ = 0;
        return data;
    }

protected:
    std::streamsize xsputn(const char* bytes, std::streamsize count) override {
        const auto n = static_cast<std::size_t>(count);
        if (size_ + n > capacity_ && !Grow(size_ + n)) return 0;
        std::memcpy(data_ + size_, bytes, n);
        size_ += n;
        return count;
    }
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char byte = traits_type::to_char_type(c);
        return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
    }

private:
    bool Grow(std::size_t needed) {
        std::size_t capacity = capacity_ == 0 ? 4096 : capacity_;
        while (capacity < needed) capacity *= 2;
        char* grown = static_cast<char*>(std::realloc(data_, capacity));
        if (grown == nullptr) return false;
        data_ = grown;
        capacity_ = capacity;
        return true;
    }

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
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

// What the planners show beside the catalogue's values, computed here so that
// the script stays free of arithmetic. The figure of merit P²T of a helium-3
// cell, for n pairs of polarisation P and transmission T.
EMSCRIPTEN_KEEPALIVE void vantrel_figure_of_merit(int n, const double* P, const double* T,
                                                  double* out) {
    for (int i = 0; i < n; ++i) out[i] = (P[i] * P[i]) * T[i];
}

// A reflection of sin(θ)/λ = s seen at wavelength λ: its spacing d = 1/(2s) (Å)
// and its angle 2θ (degrees, by the library's π); NaN beyond the reach of λ.
EMSCRIPTEN_KEEPALIVE void vantrel_reflection(double s, double lambda, double* d, double* twoTheta) {
    *d = 1.0 / (2.0 * s);
    *twoTheta = 2.0 * std::asin(lambda * s) * vantrel::kRadToDeg;
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
// failure 0, with the reason, naming the row from 1 as every front end does,
// in *message.
EMSCRIPTEN_KEEPALIVE int vantrel_decay_fit(int n, const double* t, const double* PHe,
                                           const double* sigma, double* fit, char** message) {
    const auto count = static_cast<std::size_t>(n < 0 ? 0 : n);
    const vantrel::helium3::DecayFitOutcome outcome =
        vantrel::helium3::He3DecayFit({t, t + count}, {PHe, PHe + count}, {sigma, sigma + count});
    if (!outcome.fit) {
        *message = Handed(vantrel::helium3::DecayFitErrorText(outcome.error));
        return 0;
    }
    const vantrel::helium3::DecayFit& f = *outcome.fit;
    const double values[] = {f.PHe0, f.T1, f.sigmaPHe0, f.sigmaT1, f.rho, f.reduced_chi_square};
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

// A CSV through function `index` by the library's rules, which the
// command-line tool follows too: its exit status as the tool's (0, 1 for bad
// input, 2 for an unknown function), the output in *out (*outSize bytes,
// malloc'd) and the messages, worded as the tool's, in *messages (malloc'd).
EMSCRIPTEN_KEEPALIVE int vantrel_csv(int index, const char* data, std::size_t size, char** out,
                                     std::size_t* outSize, char** messages) {
    *out = nullptr;
    *outSize = 0;
    const CatalogueEntry* entry = EntryAt(index);
    if (entry == nullptr) {
        *messages = Handed("no such function\n");
        return 2;
    }
    int status = 1;
    {
        HandedBuffer written, said;
        std::ostream output(&written), err(&said);
        ProgressBuffer read(data, size);
        std::istream input(&read);
        try {
            status = vantrel::EvaluateCsv(*entry, input, output, err, "vantrel: ") ? 0 : 1;
        } catch (const std::exception& e) {
            err << "vantrel: " << e.what() << '\n';
        }
        *out = written.Take(*outSize);
        std::size_t length = 0;
        char* text = said.Take(length);
        *messages = Handed({text == nullptr ? "" : text, length});
        std::free(text);
    }
    return status;
}
}
