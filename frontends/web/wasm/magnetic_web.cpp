// The magnetic view's calls: a crystal structure read from a CIF with its
// magnetic sites, the flipping ratios it predicts, and the fit of the sites'
// moments to measured ratios, each answered as JSON. Every number is the
// library's, printed by its own rules (the shortest text that reads back);
// messages are the library's words.
//
// One structure at a time, kept between calls: the view reads it once and
// then predicts and fits as often as its fields change.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstddef>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "json_text.h"
#include "vantrel/magnetic/crystal_structure.h"
#include "vantrel/magnetic/form_factors.h"
#include "vantrel/magnetic/magnetic_ratio.h"
#include "vantrel/magnetic/moment_fit.h"
#include "vantrel/magnetic/structure_factors.h"
#include "vantrel/number_text.h"

namespace {

using namespace vantrel::magnetic;
using vantrel::web::AppendJsonString;
using vantrel::web::Handed;

std::optional<StructureFactorModel> model;

// JSON built as {"key":value,…}; numbers as the library prints them, in
// strings, so that nan and inf travel too.
class Json {
public:
    Json& Open(char bracket) {
        Separate();
        text_ += bracket;
        first_ = true;
        return *this;
    }
    Json& Close(char bracket) {
        text_ += bracket;
        first_ = false;
        return *this;
    }
    Json& Key(std::string_view key) {
        Separate();
        AppendJsonString(text_, key);
        text_ += ':';
        first_ = true;
        return *this;
    }
    Json& String(std::string_view value) {
        Separate();
        AppendJsonString(text_, value);
        return *this;
    }
    Json& Number(double value) { return String(vantrel::ValueText(value)); }
    Json& Integer(long long value) {
        Separate();
        text_ += std::to_string(value);
        return *this;
    }
    Json& Bool(bool value) {
        Separate();
        text_ += value ? "true" : "false";
        return *this;
    }
    Json& Numbers(std::span<const double> values) {
        Open('[');
        for (const double x : values) Number(x);
        return Close(']');
    }
    Json& Strings(const std::vector<std::string>& values) {
        Open('[');
        for (const std::string& s : values) String(s);
        return Close(']');
    }
    Json& Hkl(const Miller& hkl) {
        Open('[');
        for (const int i : hkl) Integer(i);
        return Close(']');
    }
    char* Hand() { return Handed(text_); }

private:
    void Separate() {
        if (!first_) text_ += ',';
        first_ = false;
    }
    std::string text_;
    bool first_ = true;
};

char* Refusal(std::string_view where, std::string_view error,
              const std::vector<std::string>& suggestions = {}) {
    Json json;
    json.Open('{').Key("ok").Bool(false).Key("where").String(where).Key("error").String(error);
    json.Key("suggestions").Strings(suggestions);
    return json.Close('}').Hand();
}

// The magnetic sites as typed, one a line: label, then optionally the ion,
// g, the moment (μB: the fit's start and the prediction's moment) and κ.
struct SitesText {
    std::vector<MagneticSiteInput> sites;
    std::vector<double> moments;
    std::string error;
};

SitesText ReadSites(std::string_view text) {
    SitesText read;
    std::size_t line = 0;
    while (!text.empty()) {
        ++line;
        const std::size_t end = text.find('\n');
        std::string_view row = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        std::vector<std::string_view> words;
        while (!row.empty()) {
            const std::size_t start = row.find_first_not_of(" \t\r,;");
            if (start == std::string_view::npos) break;
            row = row.substr(start);
            const std::size_t stop = std::min(row.find_first_of(" \t\r,;"), row.size());
            words.push_back(row.substr(0, stop));
            row = row.substr(stop);
        }
        if (words.empty()) continue;
        const std::string where = "line " + std::to_string(line) + ": ";
        if (words.size() > 5) {
            read.error = where + "write a site as label, ion, g, moment and κ, at most five words";
            return read;
        }
        MagneticSiteInput site;
        site.label = std::string(words[0]);
        if (words.size() > 1) site.ion = std::string(words[1]);
        double numbers[3] = {2.0, 1.0, 1.0};  // g, moment, κ
        const char* names[3] = {"g", "the moment", "κ"};
        for (std::size_t k = 2; k < words.size(); ++k) {
            const vantrel::ParsedNumber parsed = vantrel::ParseNumber(words[k]);
            if (parsed.error || !std::isfinite(parsed.value)) {
                read.error = where + names[k - 2] + " '" + std::string(words[k]) +
                             "' is not a finite number";
                return read;
            }
            numbers[k - 2] = parsed.value;
        }
        site.g = numbers[0];
        site.kappa = numbers[2];
        read.sites.push_back(std::move(site));
        read.moments.push_back(numbers[1]);
    }
    if (read.sites.empty()) read.error = "name at least one magnetic site";
    return read;
}

// Σ_m μ_m·f_m(s): the magnetisation's form factor in μB, the curve the
// measured points of a fit fall on.
double MomentFormFactor(std::span<const double> moments, double s) {
    double sum = 0.0;
    for (std::size_t m = 0; m < moments.size(); ++m)
        sum += moments[m] * model->MagneticSites()[m].formFactor(s);
    return sum;
}

Miller Whole(const double* hkl) {
    return {static_cast<int>(hkl[0]), static_cast<int>(hkl[1]), static_cast<int>(hkl[2])};
}

}  // namespace

extern "C" {

// Reads a CIF and its magnetic sites (text as ReadSites takes it) and keeps the
// model. {"ok": true, "name", "spaceGroup", "cell": [6], "operations", "atoms",
// "sites": [{"label", "type"}], "magnetic": [{"label", "ion", "g", "kappa",
// "moment"}]} or {"ok": false, "where": "cif" | "sites", "error", "suggestions"}.
EMSCRIPTEN_KEEPALIVE char* vantrel_magnetic_structure(const char* cif, const char* source,
                                                      const char* sitesText) {
    model.reset();
    try {
        const CrystalStructureOutcome read = ReadCrystalStructure(cif, source);
        if (!read.structure) return Refusal("cif", read.error);
        const CrystalStructure& structure = *read.structure;
        const SitesText typed = ReadSites(sitesText);
        if (!typed.error.empty()) return Refusal("sites", typed.error);
        MagneticSitesOutcome magnetic = MakeMagneticSites(structure, typed.sites);
        if (!magnetic.error.empty()) return Refusal("sites", magnetic.error, magnetic.suggestions);
        model.emplace(structure, std::move(magnetic.sites));

        Json json;
        json.Open('{').Key("ok").Bool(true).Key("name").String(structure.name);
        json.Key("spaceGroup").String(structure.spaceGroup);
        json.Key("cell").Numbers(structure.cell);
        json.Key("operations").Integer(static_cast<long long>(structure.operations.size()));
        json.Key("atoms").Integer(static_cast<long long>(model->Atoms().size()));
        json.Key("sites").Open('[');
        for (const Site& site : structure.sites)
            json.Open('{').Key("label").String(site.label).Key("type").String(site.type).Close('}');
        json.Close(']').Key("magnetic").Open('[');
        for (std::size_t m = 0; m < model->MagneticSites().size(); ++m) {
            const MagneticSite& site = model->MagneticSites()[m];
            json.Open('{').Key("label").String(structure.sites[site.site].label);
            json.Key("ion").String(site.formFactor.Ion().name);
            json.Key("g").Number(site.formFactor.G()).Key("kappa").Number(site.formFactor.Kappa());
            json.Key("moment").Number(typed.moments[m]).Close('}');
        }
        return json.Close(']').Close('}').Hand();
    } catch (const std::exception& e) {
        model.reset();
        return Refusal("cif", e.what());
    }
}

// The reflections the kept structure allows up to sin θ/λ = sMax, with what
// they predict for the moments given (one per magnetic site), a beam of
// polarisation P and flipper probability f, and q² from a field along
// field[0..2] (a direction of the direct axes) or, for field null, q² = 1.
// {"ok": true, "total", "reflections": [{"hkl", "s", "q2", "FN", "FM", "R",
// "A"}]} with at most `limit` reflections, F_N and F_M as |F| with the sign of
// their real part (centric reflections are real), or {"ok": false, "error"}.
EMSCRIPTEN_KEEPALIVE char* vantrel_magnetic_predict(double sMax, double P, double f,
                                                    const double* field, const double* moments,
                                                    int limit) {
    if (!model) return Refusal("cif", "no structure has been read");
    try {
        const StructureFactorModel::ReflectionList list = model->AllowedReflections(sMax);
        if (!list.error.empty()) return Refusal("sMax", list.error);
        const std::size_t n = model->MagneticSites().size();
        const std::span<const Miller> shown(
            list.reflections.data(),
            std::min(list.reflections.size(), static_cast<std::size_t>(std::max(limit, 0))));
        const std::vector<double> ones(shown.size(), 1.0);
        const std::vector<PredictedReflection> rows =
            field != nullptr
                ? PredictFlippingRatios(*model, shown, {moments, n}, P, f,
                                        std::array<double, 3>{field[0], field[1], field[2]})
                : PredictFlippingRatios(*model, shown, {moments, n}, P, f, ones);
        Json json;
        json.Open('{').Key("ok").Bool(true);
        json.Key("total").Integer(static_cast<long long>(list.reflections.size()));
        json.Key("reflections").Open('[');
        const auto signedModulus = [](std::complex<double> F) {
            return std::copysign(std::abs(F), F.real());
        };
        for (const PredictedReflection& row : rows) {
            json.Open('{').Key("hkl").Hkl(row.hkl).Key("s").Number(row.s).Key("q2").Number(row.q2);
            json.Key("FN").Number(signedModulus(row.FN)).Key("FM").Number(signedModulus(row.FM));
            json.Key("R").Number(row.R).Key("A").Number(row.A).Close('}');
        }
        return json.Close(']').Close('}').Hand();
    } catch (const std::exception& e) {
        return Refusal("sMax", e.what());
    }
}

// The moments of the kept structure's magnetic sites fitted to n measured
// reflections, rows[6i..6i+5] = h, k, l, R, σR, q² (q² read only for field
// null; otherwise from a field along field[0..2]), from `start` (one moment a
// site). {"ok": true, "converged", "message", "sites", "moments",
// "deviations", "correlation", "chiSquare", "reducedChiSquare",
// "probability", "degreesOfFreedom", "iterations", "reflections": [{"row",
// "hkl", "s", "q2", "R", "sigmaR", "RCalc", "residual", "measured"}],
// "leftOut": [{"row", "hkl", "message"}], "curve": {"s", "value"}} with rows
// counted from 1; "measured" is the reflection's Σ μ·f(s) as its ratio has it
// (the fitted one scaled by γ measured over γ fitted), the curve the fitted
// Σ μ·f(s). Or {"ok": false, "error"}.
EMSCRIPTEN_KEEPALIVE char* vantrel_magnetic_fit(int n, const double* rows, double P, double f,
                                                const double* field, const double* start) {
    if (!model) return Refusal("cif", "no structure has been read");
    try {
        std::vector<MeasuredFlippingRatio> measured;
        for (int i = 0; i < n; ++i) {
            const double* row = rows + 6 * static_cast<std::size_t>(i);
            for (int k = 0; k < 3; ++k) {
                if (!(std::abs(row[k]) <= 1e6) || row[k] != std::trunc(row[k])) {
                    return Refusal("reflections", "row " + std::to_string(i + 1) + ": " + "hkl"[k] +
                                                      " = " + vantrel::ValueText(row[k]) +
                                                      " is not a whole number");
                }
            }
            measured.push_back({Whole(row), row[3], row[4], row[5]});
        }
        const std::size_t sites = model->MagneticSites().size();
        const std::span<const double> from(start, sites);
        const MomentFitResult fit =
            field != nullptr
                ? FitMomentsInField(*model, measured, P, f, {field[0], field[1], field[2]}, from)
                : FitMoments(*model, measured, P, f, from);
        if (fit.status == vantrel::fit::Status::kInput) return Refusal("reflections", fit.message);

        Json json;
        json.Open('{').Key("ok").Bool(true).Key("converged").Bool(fit.converged());
        json.Key("message").String(fit.message).Key("sites").Strings(fit.sites);
        json.Key("moments").Numbers(fit.moments).Key("deviations").Numbers(fit.deviations);
        json.Key("correlation").Numbers(fit.correlation);
        json.Key("chiSquare").Number(fit.chi_square);
        json.Key("reducedChiSquare").Number(fit.reduced_chi_square);
        json.Key("probability").Number(fit.probability);
        json.Key("degreesOfFreedom").Integer(static_cast<long long>(fit.degrees_of_freedom));
        json.Key("iterations").Integer(fit.iterations);
        json.Key("reflections").Open('[');
        double sLast = 0.0;
        for (const FittedFlippingRatio& r : fit.reflections) {
            const ReflectionFactors factors = model->Factors(r.hkl);
            const std::complex<double> FM = MagneticStructureFactor(factors, fit.moments);
            const double gammaFitted = (FM * std::conj(factors.FN)).real() / std::norm(factors.FN);
            const double gammaMeasured = GammaFromFlippingRatio(r.R, P, f, r.q2);
            const double measuredMoment =
                gammaMeasured / gammaFitted * MomentFormFactor(fit.moments, r.s);
            sLast = std::max(sLast, r.s);
            json.Open('{').Key("row").Integer(static_cast<long long>(r.index + 1));
            json.Key("hkl").Hkl(r.hkl).Key("s").Number(r.s).Key("q2").Number(r.q2);
            json.Key("R").Number(r.R).Key("sigmaR").Number(r.sigmaR).Key("RCalc").Number(r.RCalc);
            json.Key("residual").Number(r.residual).Key("measured").Number(measuredMoment);
            json.Close('}');
        }
        json.Close(']').Key("leftOut").Open('[');
        for (const LeftOutReflection& r : fit.leftOut) {
            json.Open('{').Key("row").Integer(static_cast<long long>(r.index + 1));
            json.Key("hkl").Hkl(r.hkl).Key("message").String(r.message).Close('}');
        }
        json.Close(']');
        // The curve from s = 0 to a little beyond the last reflection.
        constexpr int kPoints = 101;
        std::vector<double> s(kPoints), value(kPoints);
        const double sEnd = 1.1 * sLast;
        for (int i = 0; i < kPoints; ++i) {
            s[static_cast<std::size_t>(i)] = sEnd * i / (kPoints - 1);
            value[static_cast<std::size_t>(i)] =
                fit.moments.empty() ? std::nan("") : MomentFormFactor(fit.moments, s[i]);
        }
        json.Key("curve").Open('{').Key("s").Numbers(s).Key("value").Numbers(value).Close('}');
        return json.Close('}').Hand();
    } catch (const std::exception& e) {
        return Refusal("reflections", e.what());
    }
}
}
