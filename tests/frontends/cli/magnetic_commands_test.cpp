// The magnetic commands in-process: their tables against what the library
// computes from the same structure, their notes and every refusal, each with
// its exit status.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <complex>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "magnetic_commands.h"
#include "support/structures.h"
#include "vantrel/magnetic/crystal_structure.h"
#include "vantrel/magnetic/form_factors.h"
#include "vantrel/magnetic/measurement_plan.h"
#include "vantrel/magnetic/moment_fit.h"
#include "vantrel/magnetic/structure_factors.h"
#include "vantrel/number_text.h"

namespace vantrel::cli {
namespace {

using testing::kTwoIrons;

using magnetic::Miller;

// Face-centred: the reflections of mixed parity are forbidden.
constexpr char kNickel[] = R"(data_nickel
_cell_length_a 3.524
_cell_length_b 3.524
_cell_length_c 3.524
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
_space_group_name_H-M_alt 'F m -3 m'
loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
_atom_site_B_iso_or_equiv
Ni1 Ni 0 0 0 0.37
)";

// A file of this test process (ctest runs the tests as parallel processes).
std::string Scratch(const std::string& name, const std::string& text) {
    const std::string dir = ::testing::TempDir() + "/vantrel-magnetic-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

const std::string& Nickel() {
    static const std::string path = Scratch("nickel.cif", kNickel);
    return path;
}
const std::string& TwoIrons() {
    static const std::string path = Scratch("two_irons.cif", kTwoIrons);
    return path;
}

struct Outcome {
    int exit;
    std::string out;
    std::string err;
};

Outcome Call(const std::vector<std::string>& args, const std::string& input = "") {
    const std::vector<std::string_view> views(args.begin(), args.end());
    std::istringstream in(input);
    std::ostringstream out, err;
    const int exit = Run(views, in, out, err);
    return {exit, out.str(), err.str()};
}

// A command line that is refused: its status, nothing on standard output, and
// the reason among its messages.
struct Refusal {
    std::vector<std::string> args;  // the command's own, or after a test's base arguments
    std::string input;
    int exit;
    std::string err;
};

Outcome ExpectRefused(const std::vector<std::string>& args, const Refusal& c) {
    const Outcome o = Call(args, c.input);
    std::string line;
    for (const std::string& a : args) line += a + " ";
    EXPECT_EQ(o.exit, c.exit) << line << "\n" << o.err;
    EXPECT_EQ(o.out, "") << line;
    EXPECT_NE(o.err.find(c.err), std::string::npos) << line << "\n" << o.err;
    return o;
}

std::vector<std::vector<std::string>> Rows(const std::string& csv) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(csv);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, ',');) fields.push_back(field);
        rows.push_back(fields);
    }
    return rows;
}

magnetic::StructureFactorModel Model(const std::string& path,
                                     const std::vector<magnetic::MagneticSiteInput>& sites) {
    const auto read = magnetic::ReadCrystalStructureFile(path);
    EXPECT_TRUE(read.structure) << read.error;
    const auto made = magnetic::MakeMagneticSites(*read.structure, sites);
    EXPECT_EQ(made.error, "");
    return magnetic::StructureFactorModel(*read.structure, made.sites);
}

std::string Text(std::complex<double> z) { return ValueText(z.real()) + "," + ValueText(z.imag()); }
std::string Hkl(const Miller& m) {
    return std::to_string(m[0]) + "," + std::to_string(m[1]) + "," + std::to_string(m[2]);
}

// Two sites of the same structure with measured ratios a little off the
// predicted ones, as CSV rows h,k,l,R,sigmaR and as the library takes them.
struct Measured {
    std::string csv;
    std::vector<magnetic::MeasuredFlippingRatio> rows;
};

Measured Simulated(const magnetic::StructureFactorModel& model, std::vector<double> moments,
                   const std::array<double, 3>& field, double P, double f) {
    const auto list = model.AllowedReflections(0.45);
    Measured m{"h,k,l,R,sigmaR\n", {}};
    int sign = 1;
    for (const auto& row :
         magnetic::PredictFlippingRatios(model, list.reflections, moments, P, f, field)) {
        if (!(row.q2 > 0.05) || std::abs(row.FN) < 1e-6) continue;
        sign = -sign;
        const double sigma = 0.01 * row.R;
        const double R = row.R + sign * 0.5 * sigma;
        m.csv += Hkl(row.hkl) + "," + ValueText(R) + "," + ValueText(sigma) + "\n";
        m.rows.push_back({row.hkl, R, sigma});
    }
    return m;
}

// ---- form-factor -----------------------------------------------------------------

TEST(FormFactor, PrintsTheLibrarysValues) {
    struct Case {
        std::vector<std::string> args;
        const char* ion;
        double g, kappa;
        std::vector<double> s;
    };
    const std::vector<Case> cases = {
        {{"form-factor", "Fe3+", "0", "0.1", "0.5", "1.5"}, "Fe3+", 2.0, 1.0, {0, 0.1, 0.5, 1.5}},
        {{"form-factor", "Ho3+", "--g", "1.25", "0.3", "0x1p-2"}, "Ho3+", 1.25, 1.0, {0.3, 0.25}},
        {{"form-factor", "Ni", "--kappa", "1.1", "--g", "1.84", "0.4"}, "Ni", 1.84, 1.1, {0.4}},
        // An s of no reflection is NaN, not a refusal, as in a table.
        {{"form-factor", "Mn2+", "-0.1", "nan", "inf"}, "Mn2+", 2.0, 1.0, {-0.1, NAN, INFINITY}},
        {{"form-factor", "Cu2+"}, "Cu2+", 2.0, 1.0, {}},
    };
    for (const Case& c : cases) {
        const auto made = magnetic::MakeFormFactor(c.ion, c.g, c.kappa);
        ASSERT_TRUE(made.formFactor) << made.error;
        std::string expected;
        for (double s : c.s) expected += ValueText((*made.formFactor)(s)) + "\n";
        const Outcome o = Call(c.args);
        EXPECT_EQ(o.exit, kSuccess) << o.err;
        EXPECT_EQ(o.out, expected) << c.ion;
        EXPECT_EQ(o.err, "");
    }
    // ⟨j2⟩ enters with (2/g − 1): g below 2 raises f where ⟨j2⟩ is positive.
    EXPECT_GT(std::stod(Call({"form-factor", "Ho3+", "--g", "1.25", "0.3"}).out),
              std::stod(Call({"form-factor", "Ho3+", "0.3"}).out));
}

// Every row comes back as written, with f appended; blank lines are no rows.
TEST(FormFactor, AppendsAColumnToACsv) {
    const auto made = magnetic::MakeFormFactor("Fe3+");
    const std::string f1 = ValueText((*made.formFactor)(0.1));
    const std::string f4 = ValueText((*made.formFactor)(0.4));
    const std::string path = Scratch("s.csv", "hkl,s\n110,0.1\n");
    struct Case {
        std::vector<std::string> args;
        std::string input, out;
    };
    const std::vector<Case> cases = {
        {{"form-factor", "Fe3+", "--csv", "-"},
         "\nlabel,s,note\r\na,0.1,\"x, y\"\r\n\r\nb, 0.4 ,\r\n",
         "label,s,note,f\na,0.1,\"x, y\"," + f1 + "\nb, 0.4 ,," + f4 + "\n"},
        {{"form-factor", "Fe3+", "--csv", path}, "", "hkl,s,f\n110,0.1," + f1 + "\n"},
        {{"form-factor", "Fe3+", "--csv", "-"}, "s\n", "s,f\n"},
    };
    for (const Case& c : cases) {
        const Outcome o = Call(c.args, c.input);
        EXPECT_EQ(o.exit, kSuccess) << o.err;
        EXPECT_EQ(o.out, c.out);
        EXPECT_EQ(o.err, "");
    }
}

TEST(FormFactor, RefusesWithTheReasonAndTheStatus) {
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int exit;
        std::string out, err;
    };
    const std::vector<Case> cases = {
        // Suggestions once, the closest first.
        {{"form-factor", "Fe3", "0.1"},
         "",
         kBadUsage,
         "",
         "vantrel: no magnetic form factor for the ion 'Fe3'; did you mean Fe3+, Fe, Fe1+?\n"},
        {{"form-factor"}, "", kBadUsage, "", "vantrel: form-factor takes an ion"},
        {{"form-factor", "Fe3+", "abc"}, "", kBadUsage, "", "vantrel: s: 'abc' is not a number\n"},
        {{"form-factor", "Fe3+", "1e999"}, "", kBadUsage, "", "'1e999' is beyond the range"},
        {{"form-factor", "Fe3+", "--g", "-1", "0.1"},
         "",
         kBadUsage,
         "",
         "the Landé factor g of Fe3+ must be finite and positive, not -1"},
        {{"form-factor", "Fe3+", "--kappa", "0", "0.1"},
         "",
         kBadUsage,
         "",
         "the expansion κ of Fe3+ must be finite and positive, not 0"},
        {{"form-factor", "Fe3+", "--g", "x", "0.1"}, "", kBadUsage, "", "--g: 'x' is not a number"},
        {{"form-factor", "Fe3+", "--gg", "2"}, "", kBadUsage, "", "did you mean --g?"},
        {{"form-factor", "Fe3+", "--csv", "-", "0.1"},
         "",
         kBadUsage,
         "",
         "--csv takes no values of s beside it"},
        {{"form-factor", "Fe3+", "--csv", "/nonexistent/s.csv"},
         "",
         kBadInput,
         "",
         "cannot open '/nonexistent/s.csv'"},
        {{"form-factor", "Fe3+", "--csv", "-"}, "", kBadInput, "", "the CSV input is empty"},
        {{"form-factor", "Fe3+", "--csv", "-"}, "S\n0.1\n", kBadInput, "", "lacks the column s"},
        // The rows before a bad one are out already; the bad one is named by row and line.
        {{"form-factor", "Fe3+", "--csv", "-"},
         "s\n0\n\nx\n",
         kBadInput,
         "s,f\n0,0.9996999999999999\n",
         "vantrel: row 2 (line 4), column s: 'x' is not a number\n"},
        {{"form-factor", "Fe3+", "--csv", "-"}, "s\n\"0.1\n", kBadInput, "s,f\n", "line 2: "},
    };
    for (const Case& c : cases) {
        const Outcome o = Call(c.args, c.input);
        EXPECT_EQ(o.exit, c.exit) << c.args[1] << ": " << o.err;
        EXPECT_EQ(o.out, c.out) << c.args[1];
        EXPECT_NE(o.err.find(c.err), std::string::npos) << o.err;
    }
}

// ---- flipping-ratios ------------------------------------------------------------

TEST(FlippingRatios, TheLibrarysReflectionsColumnByColumn) {
    const auto model = Model(TwoIrons(), {{"Fe1", "", 2.0, 1.0}, {"Fe2", "Fe2+", 2.2, 0.95}});
    const std::array<double, 3> field = {0, 1, 0};
    const auto list = model.AllowedReflections(0.3);
    const auto predicted = magnetic::PredictFlippingRatios(
        model, list.reflections, std::vector<double>{2.5, -1.5}, -0.9, 0.98, field);
    const Outcome o = Call({"flipping-ratios", "--cif", TwoIrons(), "--site", "Fe1", "--site",
                            "Fe2:Fe2+:2.2:0.95", "--moment", "2.5", "--moment", "-1.5", "--P",
                            "-0.9", "--f", "0.98", "--field", "0,1,0", "--s-max", "0.3"});
    ASSERT_EQ(o.exit, kSuccess) << o.err;
    const auto rows = Rows(o.out);
    ASSERT_EQ(rows.size(), predicted.size() + 1);
    EXPECT_EQ(o.out.substr(0, o.out.find('\n')),
              "h,k,l,allowed,s,q2,FN_re,FN_im,FM_per_muB_Fe1_re,FM_per_muB_Fe1_im,"
              "FM_per_muB_Fe2_re,FM_per_muB_Fe2_im,FM_re,FM_im,R,A");
    std::istringstream lines(o.out);
    std::string line;
    std::getline(lines, line);
    for (const auto& row : predicted) {
        ASSERT_TRUE(std::getline(lines, line));
        const auto factors = model.Factors(row.hkl);
        EXPECT_EQ(line, Hkl(row.hkl) + ",1," + ValueText(row.s) + "," + ValueText(row.q2) + "," +
                            Text(row.FN) + "," + Text(factors.FMPerMoment[0]) + "," +
                            Text(factors.FMPerMoment[1]) + "," + Text(row.FM) + "," +
                            ValueText(row.R) + "," + ValueText(row.A));
    }
}

// Reflections of a CSV with their q2, a forbidden one kept and marked.
TEST(FlippingRatios, ReflectionsOfACsvWithTheirQ2) {
    const auto model = Model(Nickel(), {{"Ni1", "Ni", 1.84, 1.0}});
    const std::vector<Miller> hkl = {{1, 1, 1}, {1, 0, 0}, {2, 0, 0}};
    const std::vector<double> q2 = {1.0, 0.5, 0.0};
    const auto predicted =
        magnetic::PredictFlippingRatios(model, hkl, std::vector<double>{0.6}, 0.9, 0.99, q2);
    const Outcome o = Call({"flipping-ratios", "--cif", Nickel(), "--site", "Ni1:Ni:1.84",
                            "--moment", "0.6", "--P", "0.9", "--f", "0.99", "--csv", "-"},
                           "l,k,h,q2,note\n1,1,1,1,a\n0,0,1,0.5,b\n0,0,2,0,c\n");
    ASSERT_EQ(o.exit, kSuccess) << o.err;
    const auto rows = Rows(o.out);
    ASSERT_EQ(rows.size(), 4u);
    for (const auto& row : rows) ASSERT_EQ(row.size(), 14u);
    EXPECT_EQ(rows[1][12], ValueText(predicted[0].R));
    EXPECT_EQ(rows[2][3], "0");  // 1 0 0: forbidden, F and R say nothing
    EXPECT_EQ(rows[2][12], "nan");
    EXPECT_EQ(rows[2][6], "0");
    EXPECT_EQ(rows[3][5], "0");  // along the field: no ratio
    EXPECT_EQ(rows[3][12], "nan");
    // --field takes the place of the column.
    const Outcome byField = Call(
        {"flipping-ratios", "--cif", Nickel(), "--site", "Ni1", "--field", "0,0,1", "--csv", "-"},
        "h,k,l,q2\n2,0,0,0.3\n0,0,2,0.3\n");
    ASSERT_EQ(byField.exit, kSuccess) << byField.err;
    EXPECT_EQ(Rows(byField.out)[1][5], "1");
    EXPECT_EQ(Rows(byField.out)[2][5], "0");
}

// What every command refuses alike, shown on flipping-ratios; the status is
// 2 for the command line (a site or ion the file or tables lack included) and
// 1 for what the files hold.
TEST(FlippingRatios, RefusesWithTheReasonAndTheStatus) {
    const std::string badCif = Scratch(
        "bad.cif", std::string(kNickel).replace(std::string(kNickel).find("3.524"), 5, "abc"));
    const std::vector<std::string> base = {"flipping-ratios", "--cif", Nickel(), "--site", "Ni1"};
    const std::vector<Refusal> cases = {
        {{"flipping-ratios", "--site", "Ni1", "--s-max", "0.3"},
         "",
         kBadUsage,
         "vantrel: the structure is missing: --cif FILE\n"},
        {{"flipping-ratios", "--cif", Nickel(), "--s-max", "0.3"},
         "",
         kBadUsage,
         "vantrel: no magnetic site: --site LABEL[:ION[:G[:KAPPA]]]\n"},
        {{"flipping-ratios", "--cif", Nickel(), "--site", "Ni2", "--s-max", "0.3"},
         "",
         kBadUsage,
         "vantrel: no site 'Ni2' in data_nickel; did you mean Ni1?\n"},
        {{"flipping-ratios", "--cif", Nickel(), "--site", "Ni1:Ni3", "--s-max", "0.3"},
         "",
         kBadUsage,
         "vantrel: site Ni1: no magnetic form factor for the ion 'Ni3'; did you mean Ni3+"},
        {{"flipping-ratios", "--cif", Nickel(), "--site", "Ni1", "--site", "Ni1", "--s-max", "0.3"},
         "",
         kBadUsage,
         "vantrel: site Ni1 is given twice as a magnetic site\n"},
        {{"flipping-ratios", "--cif", Nickel(), "--site", "Ni1:Ni:-2", "--s-max", "0.3"},
         "",
         kBadUsage,
         "g"},
        {{"flipping-ratios", "--cif", Nickel(), "--site", "Ni1:Ni:2:1:5"},
         "",
         kBadUsage,
         "vantrel: --site 'Ni1:Ni:2:1:5' is not LABEL[:ION[:G[:KAPPA]]]\n"},
        {{"flipping-ratios", "--cif", Nickel(), "--site", ":Ni"}, "", kBadUsage, "is not LABEL"},
        {{"flipping-ratios", "--cif", Nickel(), "--site", "Ni1:Ni:x"},
         "",
         kBadUsage,
         "vantrel: --site g: 'x' is not a number\n"},
        // The file: its line and item.
        {{"flipping-ratios", "--cif", badCif, "--site", "Ni1", "--s-max", "0.3"},
         "",
         kBadInput,
         badCif + ":2: _cell_length_a 'abc'"},
        {{"flipping-ratios", "--cif", "/nonexistent.cif", "--site", "Ni1", "--s-max", "0.3"},
         "",
         kBadInput,
         "/nonexistent.cif"},
        // The beam.
        {{"--P", "1.5", "--s-max", "0.3", "--field", "0,0,1"},
         "",
         kBadUsage,
         "vantrel: --P 1.5 is not in [-1, 1] or is 0\n"},
        {{"--P", "0", "--s-max", "0.3", "--field", "0,0,1"}, "", kBadUsage, "--P 0 is not in"},
        {{"--P", "-0", "--s-max", "0.3", "--field", "0,0,1"}, "", kBadUsage, "--P -0 is not in"},
        {{"--P", "nan", "--s-max", "0.3", "--field", "0,0,1"}, "", kBadUsage, "--P nan is not in"},
        {{"--P", "-1.0000000000000002", "--s-max", "0.3", "--field", "0,0,1"},
         "",
         kBadUsage,
         "is not in [-1, 1]"},
        {{"--f", "0", "--s-max", "0.3", "--field", "0,0,1"},
         "",
         kBadUsage,
         "vantrel: --f 0 is not in (0, 1]\n"},
        {{"--f", "1.5", "--s-max", "0.3", "--field", "0,0,1"}, "", kBadUsage, "--f 1.5 is not in"},
        {{"--f", "nan", "--s-max", "0.3", "--field", "0,0,1"}, "", kBadUsage, "--f nan is not in"},
        // The moments, reflections and field.
        {{"--moment", "1", "--moment", "2", "--s-max", "0.3", "--field", "0,0,1"},
         "",
         kBadUsage,
         "vantrel: 2 values of --moment for 1 sites; give one per --site, in their order\n"},
        {{"--field", "0,0,1"},
         "",
         kBadUsage,
         "vantrel: give the reflections either by --s-max S or by --csv FILE\n"},
        {{"--field", "0,0,1", "--s-max", "0.3", "--csv", "-"}, "", kBadUsage, "either by --s-max"},
        {{"--s-max", "0.3"}, "", kBadUsage, "vantrel: q2 is missing: a column q2, or --field"},
        {{"--csv", "-"}, "h,k,l\n1,1,1\n", kBadUsage, "q2 is missing"},
        {{"--s-max", "-1", "--field", "0,0,1"}, "", kBadUsage, "must be finite and positive"},
        {{"--field", "1,0", "--s-max", "0.3"},
         "",
         kBadUsage,
         "vantrel: --field '1,0' is not U,V,W\n"},
        {{"--field", "0,0,0", "--s-max", "0.3"},
         "",
         kBadUsage,
         "vantrel: --field '0,0,0' is no direction: give a finite, non-zero U,V,W\n"},
        {{"--field", "nan,0,1", "--s-max", "0.3"}, "", kBadUsage, "is no direction"},
        {{"--field", "0,x,1", "--s-max", "0.3"}, "", kBadUsage, "--field: 'x' is not a number"},
        {{"--csv", "-"},
         "h,k,l,q2\n1,1,1,1\n2,0,0,1.5\n",
         kBadInput,
         "vantrel: row 2 (line 3): q2 = 1.5 is not in [0, 1]\n"},
        {{"--csv", "-"}, "h,k,l,q2\n1,1,1,-0.1\n", kBadInput, "q2 = -0.1 is not in [0, 1]"},
        {{"--csv", "-"}, "h,k,l,q2\n1,1,1,nan\n", kBadInput, "q2 = nan is not in [0, 1]"},
        {{"--csv", "-", "--field", "0,0,1"},
         "h,k,l\n1,1,1\n1.5,1,1\n",
         kBadInput,
         "vantrel: row 2 (line 3): h = 1.5 is not a whole index\n"},
        {{"--csv", "-", "--field", "0,0,1"},
         "h,k,l\n1,1,1\n0,0,0\n",
         kBadInput,
         "vantrel: row 2 (line 3): 000 is not a reflection\n"},
        {{"--csv", "-"}, "h,k,l,q2\n0,0,0,1\n", kBadInput, "000 is not a reflection"},
        {{"--csv", "-", "--field", "0,0,1"},
         "h,k\n1,1\n",
         kBadInput,
         "lacks the column l of the reflections"},
        {{"--csv", "-", "--field", "0,0,1"},
         "h,k,l\n1,1,x\n",
         kBadInput,
         "vantrel: row 1 (line 2), column 3 (l): 'x' is not a number\n"},
        {{"--csv", "-", "--field", "0,0,1"},
         "h,k,l\n1,1\n",
         kBadInput,
         "vantrel: row 1 (line 2): 2 fields, but the header has 3\n"},
        // The command line itself.
        {{"--feld", "0,0,1"},
         "",
         kBadUsage,
         "vantrel: unknown option '--feld'; did you mean --field?\n"},
        {{"--s-max"}, "", kBadUsage, "vantrel: --s-max takes a value\n"},
        {{"0.3"},
         "",
         kBadUsage,
         "vantrel: flipping-ratios takes options only, not '0.3' ('vantrel help "
         "flipping-ratios')\n"},
    };
    for (const Refusal& c : cases) {
        std::vector<std::string> args = c.args;
        if (args[0] != "flipping-ratios") args.insert(args.begin(), base.begin(), base.end());
        const Outcome o = ExpectRefused(args, c);
        EXPECT_EQ(o.err.find("did you mean", o.err.find("did you mean") + 1), std::string::npos)
            << o.err;
    }
    // A polarisation along the field is signed: -1 is a beam, as 1 is.
    EXPECT_EQ(Call({"flipping-ratios", "--cif", Nickel(), "--site", "Ni1", "--P", "-1", "--field",
                    "0,0,1", "--s-max", "0.3"})
                  .exit,
              kSuccess);
}

// ---- moment-fit ------------------------------------------------------------------

TEST(MomentFit, TheLibrarysFitWithItsNotes) {
    const auto model = Model(TwoIrons(), {{"Fe1", "", 2.0, 1.0}, {"Fe2", "", 2.0, 1.0}});
    const std::array<double, 3> field = {0, 1, 0};
    Measured m = Simulated(model, {2.5, 1.2}, field, 0.95, 0.97);
    ASSERT_GT(m.rows.size(), 20u);
    // Two rows that say nothing of the moments, named by row and line.
    const std::string csv = "h,k,l,R,sigmaR\n1,0,0,1.01,0.01\n" +
                            m.csv.substr(m.csv.find('\n') + 1) + "\n" + "1,0,0,1.01,0.01\n";
    std::vector<magnetic::MeasuredFlippingRatio> rows = m.rows;
    rows.insert(rows.begin(), {{1, 0, 0}, 1.01, 0.01});
    rows.push_back({{1, 0, 0}, 1.01, 0.01});
    const auto fit = magnetic::FitMomentsInField(model, rows, 0.95, 0.97, field);
    ASSERT_TRUE(fit.converged()) << fit.message;
    ASSERT_EQ(fit.leftOut.size(), 2u);

    const std::vector<std::string> args = {"moment-fit", "--cif",   TwoIrons(), "--site", "Fe1",
                                           "--site",     "Fe2",     "--P",      "0.95",   "--f",
                                           "0.97",       "--field", "0,1,0",    "--csv",  "-"};
    const Outcome o = Call(args, csv);
    ASSERT_EQ(o.exit, kSuccess) << o.err;
    EXPECT_EQ(o.out,
              "site,moment,sigma,rho_Fe1,rho_Fe2\n"
              "Fe1," +
                  ValueText(fit.moments[0]) + "," + ValueText(fit.deviations[0]) + "," +
                  ValueText(fit.correlation[0]) + "," + ValueText(fit.correlation[1]) +
                  "\n"
                  "Fe2," +
                  ValueText(fit.moments[1]) + "," + ValueText(fit.deviations[1]) + "," +
                  ValueText(fit.correlation[2]) + "," + ValueText(fit.correlation[3]) + "\n");
    EXPECT_NEAR(fit.moments[0], 2.5, 0.1);
    EXPECT_NEAR(fit.moments[1], 1.2, 0.1);
    const std::size_t lastLine = rows.size() + 2;  // the header, and a blank line before the last
    EXPECT_EQ(o.err, "vantrel: note: row 1 (line 2), " + fit.leftOut[0].message + "\n" +
                         "vantrel: note: row " + std::to_string(rows.size()) + " (line " +
                         std::to_string(lastLine) + "), " + fit.leftOut[1].message + "\n" +
                         "vantrel: note: reduced chi-square " + ValueText(fit.reduced_chi_square) +
                         " with " + std::to_string(fit.degrees_of_freedom) +
                         " degrees of freedom\n");
    EXPECT_NE(fit.leftOut[0].message.find("1 0 0: F_N = 0"), std::string::npos)
        << fit.leftOut[0].message;

    // The fitted reflections instead, in the measured order.
    std::vector<std::string> withReflections = args;
    withReflections.push_back("--reflections");
    const Outcome table = Call(withReflections, csv);
    ASSERT_EQ(table.exit, kSuccess) << table.err;
    const auto lines = Rows(table.out);
    ASSERT_EQ(lines.size(), fit.reflections.size() + 1);
    EXPECT_EQ(table.out.substr(0, table.out.find('\n')), "h,k,l,s,q2,R,sigmaR,R_calc,residual");
    for (std::size_t i = 0; i < fit.reflections.size(); ++i) {
        const auto& r = fit.reflections[i];
        EXPECT_EQ(lines[i + 1], Rows(Hkl(r.hkl) + "," + ValueText(r.s) + "," + ValueText(r.q2) +
                                     "," + ValueText(r.R) + "," + ValueText(r.sigmaR) + "," +
                                     ValueText(r.RCalc) + "," + ValueText(r.residual))[0]);
    }
}

// With a column q2 and no field, from a file, starting elsewhere; forbidden
// reflections named.
TEST(MomentFit, AColumnQ2AndAStart) {
    const auto model = Model(Nickel(), {{"Ni1", "Ni", 1.84, 1.0}});
    const std::vector<Miller> hkl = {{1, 1, 1}, {2, 0, 0}, {2, 2, 0}, {3, 1, 1},
                                     {2, 2, 2}, {4, 0, 0}, {1, 0, 0}};
    const std::vector<double> q2 = {1, 0.5, 1, 0.8, 1, 0.7, 1};
    std::string csv = "h,k,l,q2,R,sigmaR\n";
    std::vector<magnetic::MeasuredFlippingRatio> rows;
    const auto predicted =
        magnetic::PredictFlippingRatios(model, hkl, std::vector<double>{0.6}, 1.0, 1.0, q2);
    for (std::size_t i = 0; i < hkl.size(); ++i) {
        const double R = i + 1 == hkl.size() ? 1.0 : predicted[i].R * (i % 2 ? 1.004 : 0.997);
        csv += Hkl(hkl[i]) + "," + ValueText(q2[i]) + "," + ValueText(R) + ",0.005\n";
        rows.push_back({hkl[i], R, 0.005, q2[i]});
    }
    const auto fit = magnetic::FitMoments(model, rows, 1.0, 1.0, std::vector<double>{0.2});
    ASSERT_TRUE(fit.converged()) << fit.message;
    const Outcome o = Call({"moment-fit", "--cif", Nickel(), "--site", "Ni1:Ni:1.84", "--start",
                            "0.2", "--csv", Scratch("ratios.csv", csv)});
    ASSERT_EQ(o.exit, kSuccess) << o.err;
    EXPECT_EQ(o.out, "site,moment,sigma,rho_Ni1\nNi1," + ValueText(fit.moments[0]) + "," +
                         ValueText(fit.deviations[0]) + ",1\n");
    EXPECT_NEAR(fit.moments[0], 0.6, 0.01);
    EXPECT_NE(o.err.find("vantrel: note: row 7 (line 8), reflection 1 0 0: forbidden"),
              std::string::npos)
        << o.err;
}

// Two moments from one reflection: the fit stops where it is, says why, and
// shows the moments it reached without deviations it does not have.
TEST(MomentFit, AFitThatStopsShortSaysWhy) {
    const auto model = Model(TwoIrons(), {{"Fe1", "", 2.0, 1.0}, {"Fe2", "", 2.0, 1.0}});
    const std::vector<magnetic::MeasuredFlippingRatio> rows = {{{1, 1, 1}, 1.2, 0.01},
                                                               {{1, 1, 1}, 1.3, 0.01}};
    const auto fit = magnetic::FitMomentsInField(model, rows, 1.0, 1.0, {0, 1, 0});
    ASSERT_FALSE(fit.converged());
    ASSERT_EQ(fit.moments.size(), 2u);
    const Outcome o = Call({"moment-fit", "--cif", TwoIrons(), "--site", "Fe1", "--site", "Fe2",
                            "--field", "0,1,0", "--csv", "-"},
                           "h,k,l,R,sigmaR\n1,1,1,1.2,0.01\n1,1,1,1.3,0.01\n");
    EXPECT_EQ(o.exit, kBadInput);
    EXPECT_EQ(o.out, "site,moment,sigma,rho_Fe1,rho_Fe2\nFe1," + ValueText(fit.moments[0]) +
                         ",nan,nan,nan\nFe2," + ValueText(fit.moments[1]) + ",nan,nan,nan\n");
    EXPECT_NE(o.err.find("degrees of freedom; " + fit.message + "\n"), std::string::npos) << o.err;
    EXPECT_NE(fit.message, "");
}

TEST(MomentFit, RefusesWithTheReasonAndTheStatus) {
    const std::vector<std::string> base = {"moment-fit", "--cif",   Nickel(), "--site",
                                           "Ni1",        "--field", "1,-1,0"};
    const std::string good = "h,k,l,R,sigmaR\n1,1,1,1.2,0.01\n2,2,0,1.1,0.01\n";
    const std::vector<Refusal> cases = {
        {{}, good, kBadUsage, "vantrel: moment-fit reads the measured ratios: --csv FILE"},
        {{"--csv", "-", "--start", "1", "--start", "2"},
         good,
         kBadUsage,
         "2 values of --start for 1 sites"},
        {{"--csv", "-", "--P", "2"}, good, kBadUsage, "vantrel: --P 2 is not in [-1, 1] or is 0\n"},
        {{"--csv", "-", "--f", "-0.5"}, good, kBadUsage, "vantrel: --f -0.5 is not in (0, 1]\n"},
        {{"moment-fit", "--cif", Nickel(), "--site", "Ni1", "--csv", "-"},
         good,
         kBadUsage,
         "q2 is missing: a column q2, or --field U,V,W"},
        {{"--csv", "-"}, "h,k,l,R\n1,1,1,1.2\n", kBadInput, "lacks the column sigmaR"},
        {{"--csv", "-"},
         "h,k,l,R,sigmaR\n1,1,1,1.2,0.01\n2,2,0,1.1,0\n",
         kBadInput,
         "vantrel: moment-fit: reflection 2 2 0 (row 2): sigma of R = 0 is not finite and "
         "positive\n"},
        {{"--csv", "-"},
         "h,k,l,R,sigmaR\n1,1,1,1.2,-0.01\n",
         kBadInput,
         "sigma of R = -0.01 is not"},
        {{"--csv", "-"}, "h,k,l,R,sigmaR\n1,1,1,nan,0.01\n", kBadInput, "(row 1): R is not finite"},
        {{"--csv", "-"},
         "h,k,l,R,sigmaR\n1,0,0,1.2,0.01\n",
         kBadInput,
         "vantrel: moment-fit: no reflection constrains the moments\n"},
        {{"--csv", "-"}, "h,k,l,R,sigmaR\n", kBadInput, "no reflection constrains the moments"},
        {{"--csv", "-"}, "h,k,l,R,sigmaR\n0,0,0,1.2,0.01\n", kBadInput, "000 is not a reflection"},
        {{"moment-fit", "--cif", Nickel(), "--site", "Ni1", "--csv", "-"},
         "h,k,l,q2,R,sigmaR\n1,1,1,2,1.2,0.01\n",
         kBadInput,
         "vantrel: moment-fit: reflection 1 1 1 (row 1): q2 = 2 is not in [0, 1]\n"},
    };
    for (const Refusal& c : cases) {
        std::vector<std::string> args = c.args;
        if (args.empty() || args[0] != "moment-fit")
            args.insert(args.begin(), base.begin(), base.end());
        ExpectRefused(args, c);
    }
}

// ---- plan-measurements -----------------------------------------------------------

TEST(Plan, TheLibrarysOrderWithItsNotes) {
    const auto model = Model(TwoIrons(), {{"Fe1", "", 2.0, 1.0}, {"Fe2", "", 2.0, 1.0}});
    const std::vector<Miller> hkl = {{1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                                     {0, 0, 1}, {2, 0, 0}, {0, 2, 0}};
    const std::array<double, 3> field = {0, 1, 0};
    std::vector<double> q2;
    for (const Miller& m : hkl) q2.push_back(model.Q2(m, field));
    const auto plan =
        magnetic::PlanMeasurements(model, hkl, std::vector<double>{2.0, 1.0}, 0.9, 0.98, q2);
    ASSERT_EQ(plan.error, "");
    ASSERT_FALSE(plan.leftOut.empty());
    const Outcome o = Call(
        {"plan-measurements", "--cif", TwoIrons(), "--site", "Fe1", "--site", "Fe2", "--moment",
         "2", "--moment", "1", "--P", "0.9", "--f", "0.98", "--field", "0,1,0", "--csv", "-"},
        "h,k,l\n1,0,0\n0,1,0\n1,1,0\n0,0,1\n2,0,0\n0,2,0\n");
    ASSERT_EQ(o.exit, kSuccess) << o.err;
    std::string expected = "h,k,l,s,q2,R,I_plus,I_minus,plus_share,score\n";
    for (const auto& row : plan.order) {
        expected += Hkl(row.hkl);
        for (double x : {row.s, row.q2, row.R, row.plus, row.minus, row.plusShare, row.score}) {
            expected += ',';
            expected += ValueText(x);
        }
        expected += "\n";
    }
    EXPECT_EQ(o.out, expected);
    std::string notes;
    for (const auto& left : plan.leftOut) notes += "vantrel: note: " + left.message + "\n";
    EXPECT_EQ(o.err, notes);
    EXPECT_NE(o.err.find("1 0 0: F_N = 0"), std::string::npos) << o.err;
}

TEST(Plan, RefusesWithTheReasonAndTheStatus) {
    const std::vector<std::string> base = {"plan-measurements", "--cif", Nickel(), "--site", "Ni1"};
    const std::vector<Refusal> cases = {
        {{"--s-max", "0.3", "--field", "0,0,1"},
         "",
         kBadUsage,
         "vantrel: plan-measurements needs a guessed --moment for each --site\n"},
        {{"--moment", "1", "--P", "2", "--s-max", "0.3", "--field", "0,0,1"},
         "",
         kBadUsage,
         "vantrel: --P 2 is not in [-1, 1] or is 0\n"},
        {{"--moment", "1", "--f", "0", "--s-max", "0.3", "--field", "0,0,1"},
         "",
         kBadUsage,
         "vantrel: --f 0 is not in (0, 1]\n"},
        {{"--moment", "1", "--s-max", "0.3"}, "", kBadUsage, "q2 is missing"},
        {{"--moment", "1", "--csv", "-"},
         "h,k,l,q2\n1,1,1,1.5\n",
         kBadInput,
         "vantrel: row 1 (line 2): q2 = 1.5 is not in [0, 1]\n"},
        {{"--moment", "nan", "--s-max", "0.3", "--field", "0,0,1"},
         "",
         kBadInput,
         "vantrel: plan-measurements: the guessed moment of site Ni1 is not finite\n"},
        {{"--moment", "1", "--csv", "-"},
         "h,k,l,q2\n0,0,0,1\n",
         kBadInput,
         "vantrel: row 1 (line 2): 000 is not a reflection\n"},
    };
    for (const Refusal& c : cases) {
        std::vector<std::string> args = base;
        args.insert(args.end(), c.args.begin(), c.args.end());
        ExpectRefused(args, c);
    }
}

// ---- help ------------------------------------------------------------------------

TEST(MagneticHelp, EveryCommandByEitherSpelling) {
    for (const std::string command :
         {"form-factor", "flipping-ratios", "moment-fit", "plan-measurements"}) {
        const Outcome help = Call({"help", command});
        EXPECT_EQ(help.exit, kSuccess) << help.err;
        EXPECT_EQ(help.out, MagneticUsage(command));
        EXPECT_EQ(help.out.rfind("usage: vantrel " + command, 0), 0u) << help.out;
        EXPECT_EQ(Call({command, "--help"}).out, help.out);
    }
    const Outcome typo = Call({"flipping-ratio"});
    EXPECT_EQ(typo.exit, kBadUsage);
    EXPECT_NE(typo.err.find("did you mean flipping-ratios"), std::string::npos) << typo.err;
}

}  // namespace
}  // namespace vantrel::cli
