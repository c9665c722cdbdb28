#include "magnetic_commands.h"

#include <array>
#include <cmath>
#include <complex>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli.h"
#include "csv_input.h"
#include "file_io.h"
#include "messages.h"
#include "vantrel/csv.h"
#include "vantrel/magnetic/crystal_structure.h"
#include "vantrel/magnetic/form_factors.h"
#include "vantrel/magnetic/measurement_plan.h"
#include "vantrel/magnetic/moment_fit.h"
#include "vantrel/magnetic/structure_factors.h"
#include "vantrel/number_text.h"
#include "vantrel/quote.h"
#include "vantrel/spelling.h"
#include "vantrel/text_io.h"

namespace vantrel::cli {
namespace {

using magnetic::Miller;

constexpr std::string_view kStructureOptions =
    "  --cif FILE            the structure: cell, space group, sites\n"
    "  --site LABEL[:ION[:G[:KAPPA]]]\n"
    "                        a magnetic site, once per site (ION: the site's type by default,\n"
    "                        G the Lande factor, 2 by default; KAPPA the expansion, 1)\n"
    "  --P P --f F           beam polarisation along the field (signed) and flipper\n"
    "                        probability (1 and 1 by default)\n"
    "  --field U,V,W         field along U*a + V*b + W*c; without it, a column q2 gives\n"
    "                        sin^2 of the angle between scattering vector and field\n";

constexpr std::string_view kFormFactorUsage =
    "usage: vantrel form-factor ION [--g G] [--kappa KAPPA] S...\n"
    "       vantrel form-factor ION [--g G] [--kappa KAPPA] --csv FILE   (column s)\n"
    "\n"
    "The dipole magnetic form factor f(s) = <j0(s/kappa)> + (2/g - 1)*<j2(s/kappa)> of an ion\n"
    "(Fe3+, Ho3+, Ni: International Tables Vol. C, 4.4.5) at s = sin(theta)/lambda in 1/A.\n"
    "With --csv, a column f is appended to every row.\n";

const std::string kFlippingRatiosUsage =
    std::string(
        "usage: vantrel flipping-ratios --cif FILE --site ... [--moment M]... "
        "(--s-max S | --csv FILE)\n\n"
        "The reflections of a structure with s, q2, F_N, F_M per Bohr magneton of each "
        "site,\nF_M, R and A (F in 1e-12 cm), every allowed one up to --s-max, or those "
        "of the\ncolumns h, k, l (and q2) of the CSV. --moment gives each site's moment "
        "(Bohr\nmagnetons along the field) in the order of --site; 1 by default.\n\n") +
    std::string(kStructureOptions);

const std::string kMomentFitUsage =
    std::string(
        "usage: vantrel moment-fit --cif FILE --site ... [--start M]... "
        "[--reflections] --csv FILE\n\n"
        "Fits the moments of the sites to the measured flipping ratios of the CSV "
        "(columns\nh, k, l, R, sigmaR, and q2 unless --field). Prints "
        "site,moment,sigma and a column\nrho_LABEL of correlations per site; "
        "with --reflections, the fitted reflections\nwith R_calc and the residual "
        "instead. The reduced chi-square and the reflections\nleft out (forbidden, "
        "F_N = 0, q2 = 0) are noted on standard error.\n\n") +
    std::string(kStructureOptions);

const std::string kPlanUsage =
    std::string(
        "usage: vantrel plan-measurements --cif FILE --site ... --moment M... "
        "(--s-max S | --csv FILE)\n\n"
        "The reflections in the order to measure them: the most information on the "
        "guessed\nmoments per unit counting time first (R far from 1 at good "
        "intensity). Prints\nh,k,l,s,q2,R,I_plus,I_minus,plus_share,score: plus_share "
        "is the share of a\nreflection's time to count with the beam along the "
        "field.\n\n") +
    std::string(kStructureOptions);

struct Options {
    std::optional<std::string_view> csv, cif;
    std::vector<magnetic::MagneticSiteInput> sites;
    std::vector<double> moments, start;
    double P = 1.0, f = 1.0, g = 2.0, kappa = 1.0;
    std::optional<std::array<double, 3>> field;
    std::optional<double> sMax;
    bool reflections = false, help = false;
    std::vector<std::string_view> operands;
};

bool Number(std::string_view option, std::string_view text, double& x, std::ostream& err) {
    const ParsedNumber parsed = ParseNumber(text);
    if (parsed.error) {
        Message(err) << option << ": " << Quote(text) << NumberProblem(*parsed.error) << '\n';
        return false;
    }
    x = parsed.value;
    return true;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t end; (end = text.find(separator)) != std::string_view::npos;
         text.remove_prefix(end + 1))
        parts.push_back(text.substr(0, end));
    parts.push_back(text);
    return parts;
}

bool Site(std::string_view text, std::ostream& err, magnetic::MagneticSiteInput& site) {
    const std::vector<std::string_view> parts = Split(text, ':');
    if (parts.size() > 4 || parts[0].empty()) {
        Message(err) << "--site " << Quote(text) << " is not LABEL[:ION[:G[:KAPPA]]]\n";
        return false;
    }
    site.label = std::string(parts[0]);
    if (parts.size() > 1) site.ion = std::string(parts[1]);
    return (parts.size() <= 2 || Number("--site g", parts[2], site.g, err)) &&
           (parts.size() <= 3 || Number("--site kappa", parts[3], site.kappa, err));
}

std::optional<Options> Parse(std::span<const std::string_view> args, std::ostream& err) {
    static constexpr KnownName kOptions[] = {
        {"--csv", ""},   {"--cif", ""},  {"--site", ""},       {"--moment", ""}, {"--start", ""},
        {"--P", ""},     {"--f", ""},    {"--g", ""},          {"--kappa", ""},  {"--field", ""},
        {"--s-max", ""}, {"--help", ""}, {"--reflections", ""}};
    Options options;
    bool ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (ended || !arg.starts_with("--")) {
            options.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            ended = true;
            continue;
        }
        if (arg == "--help") {
            options.help = true;
            continue;
        }
        if (arg == "--reflections") {
            options.reflections = true;
            continue;
        }
        bool known = false;
        for (const KnownName& o : kOptions) known = known || o.name == arg;
        if (!known) {
            Message(err) << "unknown option " << Quote(arg);
            if (const auto closest = ClosestNames(arg, kOptions, 1); !closest.empty())
                err << "; did you mean " << closest[0] << "?";
            err << '\n';
            return std::nullopt;
        }
        if (i + 1 == args.size()) {
            Message(err) << arg << " takes a value\n";
            return std::nullopt;
        }
        const std::string_view value = args[++i];
        double x = 0.0;
        if (arg == "--csv") {
            options.csv = value;
        } else if (arg == "--cif") {
            options.cif = value;
        } else if (arg == "--site") {
            magnetic::MagneticSiteInput site;
            if (!Site(value, err, site)) return std::nullopt;
            options.sites.push_back(std::move(site));
        } else if (arg == "--field") {
            const auto parts = Split(value, ',');
            std::array<double, 3> uvw{};
            if (parts.size() != 3) {
                Message(err) << "--field " << Quote(value) << " is not U,V,W\n";
                return std::nullopt;
            }
            for (std::size_t k = 0; k < 3; ++k)
                if (!Number("--field", parts[k], uvw[k], err)) return std::nullopt;
            // Along no direction every q2 would be NaN: said of the option, not of a row.
            if (!(std::isfinite(uvw[0]) && std::isfinite(uvw[1]) && std::isfinite(uvw[2])) ||
                (uvw[0] == 0.0 && uvw[1] == 0.0 && uvw[2] == 0.0)) {
                Message(err) << "--field " << Quote(value)
                             << " is no direction: give a finite, non-zero U,V,W\n";
                return std::nullopt;
            }
            options.field = uvw;
        } else {
            if (!Number(arg, value, x, err)) return std::nullopt;
            if (arg == "--moment")
                options.moments.push_back(x);
            else if (arg == "--start")
                options.start.push_back(x);
            else if (arg == "--P")
                options.P = x;
            else if (arg == "--f")
                options.f = x;
            else if (arg == "--g")
                options.g = x;
            else if (arg == "--kappa")
                options.kappa = x;
            else
                options.sMax = x;
        }
    }
    return options;
}

bool IsBlank(const CsvRecord& record) { return TrimBlanks(record.raw).empty(); }

// A table read whole: the columns asked for, by name, as numbers.
struct Table {
    std::vector<std::vector<double>> columns;
    std::vector<std::size_t> lines;
    bool hasQ2 = false;
};

// `names` must all be there; `q2` is taken when the header has it.
bool ReadTable(std::istream& in, std::vector<std::string_view> names, bool q2Wanted,
               std::string_view whose, std::ostream& err, Table& table) {
    CsvReader reader(in);
    CsvRecord record;
    try {
        bool found = false;
        while ((found = reader.Next(record)) && IsBlank(record)) {
        }
        if (!found) {
            Message(err) << "the CSV input is empty; its first line must name the columns\n";
            return false;
        }
        if (q2Wanted)
            for (std::size_t i = 0; i < record.FieldCount(); ++i)
                if (TrimBlanks(record.Field(i)) == "q2") table.hasQ2 = true;
        if (table.hasQ2) names.push_back("q2");
        const CsvColumns columns = FindCsvColumns(record, names, reader.HadByteOrderMark(), whose);
        if (!columns.problem.empty()) {
            Message(err) << columns.problem << '\n';
            return false;
        }
        const std::size_t fields = record.FieldCount();
        table.columns.assign(names.size(), {});
        while (reader.Next(record)) {
            if (IsBlank(record)) continue;
            const std::string where = "row " + std::to_string(table.lines.size() + 1) + " (line " +
                                      std::to_string(record.line) + ")";
            if (record.FieldCount() != fields) {
                Message(err) << where << ": " << record.FieldCount()
                             << " fields, but the header has " << fields << '\n';
                return false;
            }
            for (std::size_t k = 0; k < names.size(); ++k) {
                const std::string_view text = record.Field(columns.columns[k]);
                const ParsedNumber parsed = ParseNumber(text);
                if (parsed.error) {
                    Message(err) << where << ", column " << columns.columns[k] + 1 << " ("
                                 << names[k] << "): " << Quote(text) << NumberProblem(*parsed.error)
                                 << '\n';
                    return false;
                }
                table.columns[k].push_back(parsed.value);
            }
            table.lines.push_back(record.line);
        }
        return true;
    } catch (const CsvError& e) {
        Message(err) << "line " << e.line() << ": " << e.what() << '\n';
    } catch (const IoError& e) {
        if (e.side() == IoError::Side::kOutput) throw;
        Message(err) << e.what() << '\n';
    }
    return false;
}

bool Hkl(const Table& table, std::ostream& err, std::vector<Miller>& hkl) {
    for (std::size_t i = 0; i < table.lines.size(); ++i) {
        Miller m{};
        for (std::size_t k = 0; k < 3; ++k) {
            const double x = table.columns[k][i];
            if (!(std::abs(x) < 1e6) || x != std::floor(x)) {
                Message(err) << "row " << i + 1 << " (line " << table.lines[i] << "): "
                             << "hkl"[k] << " = " << ValueText(x) << " is not a whole index\n";
                return false;
            }
            m[k] = int(x);
        }
        if (m == Miller{0, 0, 0}) {
            Message(err) << "row " << i + 1 << " (line " << table.lines[i]
                         << "): 000 is not a reflection\n";
            return false;
        }
        hkl.push_back(m);
    }
    return true;
}

int FormFactorCommand(const Options& o, std::istream& in, std::ostream& out, std::ostream& err) {
    if (o.operands.empty()) {
        Message(err) << "form-factor takes an ion: vantrel form-factor ION S...\n";
        return kBadUsage;
    }
    const auto made = magnetic::MakeFormFactor(o.operands[0], o.g, o.kappa);
    if (!made.formFactor) {
        Message(err) << made.error << '\n';  // with the closest names
        return kBadUsage;
    }
    Writer writer(out);
    if (!o.csv) {
        for (std::size_t i = 1; i < o.operands.size(); ++i) {
            double s = 0.0;
            if (!Number("s", o.operands[i], s, err)) return kBadUsage;
            writer << ValueText((*made.formFactor)(s)) << kLineEnd;
        }
        return kSuccess;
    }
    if (o.operands.size() > 1) {
        Message(err) << "--csv takes no values of s beside it\n";
        return kBadUsage;
    }
    // Streamed: every record written back with f appended as it is read.
    return FromCsvInput(*o.csv, in, out, err, [&](std::istream& input) {
        CsvReader reader(input);
        CsvRecord record;
        try {
            bool found = false;
            while ((found = reader.Next(record)) && IsBlank(record)) {
            }
            if (!found) {
                Message(err) << "the CSV input is empty; its first line must name the column s\n";
                return kBadInput;
            }
            const std::string_view names[] = {"s"};
            const CsvColumns columns =
                FindCsvColumns(record, names, reader.HadByteOrderMark(), "form-factor");
            if (!columns.problem.empty()) {
                Message(err) << columns.problem << '\n';
                return kBadInput;
            }
            writer << record.raw << ",f" << kLineEnd;
            std::size_t row = 0;
            while (reader.Next(record)) {
                if (IsBlank(record)) continue;
                ++row;
                const std::string_view text = record.FieldCount() > columns.columns[0]
                                                  ? record.Field(columns.columns[0])
                                                  : std::string_view();
                const ParsedNumber parsed = ParseNumber(text);
                if (parsed.error) {
                    writer.Flush();
                    Message(err) << "row " << row << " (line " << record.line
                                 << "), column s: " << Quote(text) << NumberProblem(*parsed.error)
                                 << '\n';
                    return kBadInput;
                }
                writer << record.raw << "," << ValueText((*made.formFactor)(parsed.value))
                       << kLineEnd;
            }
            return kSuccess;
        } catch (const CsvError& e) {
            writer.Flush();
            Message(err) << "line " << e.line() << ": " << e.what() << '\n';
        } catch (const IoError& e) {
            if (e.side() == IoError::Side::kOutput) throw;
            Message(err) << e.what() << '\n';
        }
        return kBadInput;
    });
}

// The structure of --cif with the sites of --site; `status` says why there is
// none: the file (kBadInput) or the command line (kBadUsage: an option
// missing, a site or ion the file or the tables do not have).
std::optional<magnetic::StructureFactorModel> Model(const Options& o, std::ostream& err,
                                                    int& status) {
    status = kBadUsage;
    if (!o.cif) {
        Message(err) << "the structure is missing: --cif FILE\n";
        return std::nullopt;
    }
    if (o.sites.empty()) {
        Message(err) << "no magnetic site: --site LABEL[:ION[:G[:KAPPA]]]\n";
        return std::nullopt;
    }
    const auto read = magnetic::ReadCrystalStructureFile(std::string(*o.cif));
    if (!read.structure) {
        Message(err) << read.error << '\n';
        status = kBadInput;
        return std::nullopt;
    }
    const auto sites = magnetic::MakeMagneticSites(*read.structure, o.sites);
    if (!sites.error.empty()) {
        Message(err) << sites.error << '\n';  // with the closest names
        return std::nullopt;
    }
    return magnetic::StructureFactorModel(*read.structure, sites.sites);
}

bool Moments(const std::vector<double>& given, std::size_t sites, const char* option,
             std::ostream& err, std::vector<double>& moments) {
    if (given.empty()) {
        moments.assign(sites, 1.0);
        return true;
    }
    if (given.size() != sites) {
        Message(err) << given.size() << " values of " << option << " for " << sites
                     << " sites; give one per --site, in their order\n";
        return false;
    }
    moments = given;
    return true;
}

bool GoodBeam(const Options& o, std::ostream& err) {
    if (!(o.P >= -1.0 && o.P <= 1.0) || o.P == 0.0) {
        Message(err) << "--P " << ValueText(o.P) << " is not in [-1, 1] or is 0\n";
        return false;
    }
    if (!(o.f > 0.0 && o.f <= 1.0)) {
        Message(err) << "--f " << ValueText(o.f) << " is not in (0, 1]\n";
        return false;
    }
    return true;
}

// The reflections asked for (a CSV of h, k, l and q2 or every allowed one up to
// --s-max) with q² of each.
int Reflections(const Options& o, const magnetic::StructureFactorModel& model, std::istream& in,
                const std::ostream& out, std::ostream& err, std::vector<Miller>& hkl,
                std::vector<double>& q2) {
    if (o.csv.has_value() == o.sMax.has_value()) {
        Message(err) << "give the reflections either by --s-max S or by --csv FILE\n";
        return kBadUsage;
    }
    if (o.sMax) {
        auto list = model.AllowedReflections(*o.sMax);
        if (!list.error.empty()) {
            Message(err) << list.error << '\n';
            return kBadUsage;
        }
        hkl = std::move(list.reflections);
    } else {
        Table table;
        const int read = FromCsvInput(*o.csv, in, out, err, [&](std::istream& input) {
            return ReadTable(input, {"h", "k", "l"}, !o.field, "the reflections", err, table)
                       ? kSuccess
                       : kBadInput;
        });
        if (read != kSuccess) return read;
        if (!Hkl(table, err, hkl)) return kBadInput;
        if (table.hasQ2) q2 = table.columns[3];
        for (std::size_t i = 0; i < q2.size(); ++i)
            if (!(q2[i] >= 0.0 && q2[i] <= 1.0)) {
                Message(err) << "row " << i + 1 << " (line " << table.lines[i]
                             << "): q2 = " << ValueText(q2[i]) << " is not in [0, 1]\n";
                return kBadInput;
            }
    }
    if (o.field) {
        q2.resize(hkl.size());
        for (std::size_t i = 0; i < hkl.size(); ++i) q2[i] = model.Q2(hkl[i], *o.field);
    } else if (q2.size() != hkl.size()) {
        Message(err) << "q2 is missing: a column q2, or --field U,V,W\n";
        return kBadUsage;
    }
    return kSuccess;
}

void WriteComplex(Writer& w, std::complex<double> z) {
    w << "," << ValueText(z.real()) << "," << ValueText(z.imag());
}

int FlippingRatiosCommand(const Options& o, std::istream& in, std::ostream& out,
                          std::ostream& err) {
    int status = kSuccess;
    const auto model = Model(o, err, status);
    if (!model) return status;
    std::vector<double> moments, q2;
    std::vector<Miller> hkl;
    if (!Moments(o.moments, model->MagneticSites().size(), "--moment", err, moments) ||
        !GoodBeam(o, err))
        return kBadUsage;
    if (status = Reflections(o, *model, in, out, err, hkl, q2); status != kSuccess) return status;
    // As columns: each reflection's F_M per μB of every site is kept beside it.
    const auto predicted =
        magnetic::PredictFlippingRatioColumns(*model, hkl, moments, o.P, o.f, q2);
    const magnetic::FactorColumns& factors = predicted.factors;
    const std::size_t sites = moments.size();
    Writer w(out);
    w << "h,k,l,allowed,s,q2,FN_re,FN_im";
    for (const auto& site : model->MagneticSites()) {
        const std::string& label = model->Structure().sites[site.site].label;
        w << ",FM_per_muB_" << label << "_re,FM_per_muB_" << label << "_im";
    }
    w << ",FM_re,FM_im,R,A" << kLineEnd;
    for (std::size_t i = 0; i < hkl.size(); ++i) {
        w << std::to_string(hkl[i][0]) << "," << std::to_string(hkl[i][1]) << ","
          << std::to_string(hkl[i][2]) << "," << (factors.allowed[i] ? "1" : "0") << ","
          << ValueText(factors.s[i]) << "," << ValueText(predicted.q2[i]);
        WriteComplex(w, factors.FN[i]);
        for (std::size_t m = 0; m < sites; ++m) WriteComplex(w, factors.FMPerMoment[i * sites + m]);
        WriteComplex(w, predicted.FM[i]);
        w << "," << ValueText(predicted.R[i]) << "," << ValueText(predicted.A[i]) << kLineEnd;
    }
    return kSuccess;
}

int MomentFitCommand(const Options& o, std::istream& in, std::ostream& out, std::ostream& err) {
    if (!o.csv) {
        Message(err) << "moment-fit reads the measured ratios: --csv FILE (columns h, k, l, R, "
                        "sigmaR, q2)\n";
        return kBadUsage;
    }
    int status = kSuccess;
    const auto model = Model(o, err, status);
    if (!model) return status;
    std::vector<double> start;
    if (!Moments(o.start, model->MagneticSites().size(), "--start", err, start) ||
        !GoodBeam(o, err))
        return kBadUsage;
    Table table;
    const int read = FromCsvInput(*o.csv, in, out, err, [&](std::istream& input) {
        return ReadTable(input, {"h", "k", "l", "R", "sigmaR"}, !o.field,
                         "the measured flipping ratios", err, table)
                   ? kSuccess
                   : kBadInput;
    });
    if (read != kSuccess) return read;
    std::vector<Miller> hkl;
    if (!Hkl(table, err, hkl)) return kBadInput;
    if (!o.field && !table.hasQ2) {
        Message(err) << "q2 is missing: a column q2, or --field U,V,W\n";
        return kBadUsage;
    }
    std::vector<magnetic::MeasuredFlippingRatio> measured(hkl.size());
    for (std::size_t i = 0; i < hkl.size(); ++i)
        measured[i] = {hkl[i], table.columns[3][i], table.columns[4][i],
                       table.hasQ2 ? table.columns[5][i] : std::nan("")};
    const auto fitted =
        o.field ? magnetic::FitMomentsInField(*model, measured, o.P, o.f, *o.field, start)
                : magnetic::FitMoments(*model, measured, o.P, o.f, start);
    if (fitted.status == fit::Status::kInput) {
        Message(err) << "moment-fit: " << fitted.message << '\n';
        return kBadInput;
    }
    for (const auto& left : fitted.leftOut)
        Message(err) << "note: row " << left.index + 1 << " (line " << table.lines[left.index]
                     << "), " << left.message << '\n';
    Message(err) << "note: reduced chi-square " << ValueText(fitted.reduced_chi_square) << " with "
                 << fitted.degrees_of_freedom << " degrees of freedom";
    if (!fitted.message.empty()) err << "; " << fitted.message;  // why it did not converge
    err << '\n';
    Writer w(out);
    const std::size_t sites = fitted.sites.size();
    if (o.reflections) {
        w << "h,k,l,s,q2,R,sigmaR,R_calc,residual" << kLineEnd;
        for (const auto& row : fitted.reflections) {
            w << std::to_string(row.hkl[0]) << "," << std::to_string(row.hkl[1]) << ","
              << std::to_string(row.hkl[2]);
            for (double x : {row.s, row.q2, row.R, row.sigmaR, row.RCalc, row.residual})
                w << "," << ValueText(x);
            w << kLineEnd;
        }
    } else {
        w << "site,moment,sigma";
        for (const std::string& label : fitted.sites) w << ",rho_" << label;
        w << kLineEnd;
        // A fit that stopped short has moments but may lack deviations and
        // correlations: those are NaN, not read past the end.
        const auto at = [](const std::vector<double>& v, std::size_t i) {
            return i < v.size() ? v[i] : std::nan("");
        };
        const bool square = fitted.correlation.size() == sites * sites;
        for (std::size_t m = 0; m < sites; ++m) {
            w << fitted.sites[m] << "," << ValueText(at(fitted.moments, m)) << ","
              << ValueText(at(fitted.deviations, m));
            for (std::size_t n = 0; n < sites; ++n)
                w << "," << ValueText(square ? fitted.correlation[m * sites + n] : std::nan(""));
            w << kLineEnd;
        }
    }
    return fitted.converged() ? kSuccess : kBadInput;
}

int PlanCommand(const Options& o, std::istream& in, std::ostream& out, std::ostream& err) {
    int status = kSuccess;
    const auto model = Model(o, err, status);
    if (!model) return status;
    std::vector<double> moments, q2;
    std::vector<Miller> hkl;
    if (o.moments.size() != model->MagneticSites().size()) {
        Message(err) << "plan-measurements needs a guessed --moment for each --site\n";
        return kBadUsage;
    }
    if (!GoodBeam(o, err)) return kBadUsage;
    moments = o.moments;
    if (status = Reflections(o, *model, in, out, err, hkl, q2); status != kSuccess) return status;
    const auto plan = magnetic::PlanMeasurements(*model, hkl, moments, o.P, o.f, q2);
    if (!plan.error.empty()) {
        Message(err) << "plan-measurements: " << plan.error << '\n';
        return kBadInput;
    }
    for (const auto& left : plan.leftOut) Message(err) << "note: " << left.message << '\n';
    Writer w(out);
    w << "h,k,l,s,q2,R,I_plus,I_minus,plus_share,score" << kLineEnd;
    for (const auto& row : plan.order) {
        w << std::to_string(row.hkl[0]) << "," << std::to_string(row.hkl[1]) << ","
          << std::to_string(row.hkl[2]);
        for (double x : {row.s, row.q2, row.R, row.plus, row.minus, row.plusShare, row.score})
            w << "," << ValueText(x);
        w << kLineEnd;
    }
    return kSuccess;
}

}  // namespace

bool IsMagneticCommand(std::string_view name) {
    return name == kFormFactorCommand || name == kFlippingRatiosCommand ||
           name == kMomentFitCommand || name == kPlanCommand;
}

std::string_view MagneticUsage(std::string_view command) {
    if (command == kFormFactorCommand) return kFormFactorUsage;
    if (command == kFlippingRatiosCommand) return kFlippingRatiosUsage;
    if (command == kMomentFitCommand) return kMomentFitUsage;
    return kPlanUsage;
}

int RunMagnetic(std::string_view command, std::span<const std::string_view> args, std::istream& in,
                std::ostream& out, std::ostream& err) {
    const std::optional<Options> options = Parse(args, err);
    if (!options) return kBadUsage;
    if (options->help) {
        Writer(out).Text(MagneticUsage(command));
        return kSuccess;
    }
    if (command == kFormFactorCommand) return FormFactorCommand(*options, in, out, err);
    if (!options->operands.empty()) {
        Message(err) << command << " takes options only, not " << Quote(options->operands[0])
                     << " ('vantrel help " << command << "')\n";
        return kBadUsage;
    }
    if (command == kFlippingRatiosCommand) return FlippingRatiosCommand(*options, in, out, err);
    if (command == kMomentFitCommand) return MomentFitCommand(*options, in, out, err);
    return PlanCommand(*options, in, out, err);
}

}  // namespace vantrel::cli
