// The tool in-process: its names and its commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "file_io.h"
#include "messages.h"
#include "vantrel/catalogue.h"
#include "vantrel/number_text.h"

namespace vantrel::cli {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// ---- Names ---------------------------------------------------------------------

// The tool takes each name's alias, which follows the rule docs/cli.md gives.
TEST(Aliases, FollowTheDocumentedRuleAndAreUniqueIdentifiers) {
    const std::vector<std::pair<std::string_view, std::string_view>> cases = {
        {"CountRate", "count_rate"},
        {"CountRateDDTSDev", "count_rate_ddt_sdev"},
        {"FlippingRatioOptSDev", "flipping_ratio_opt_sdev"},
        {"FlippingRatioOptDDT", "flipping_ratio_opt_ddt"},
        {"OptCountingTimeTpp", "opt_counting_time_tpp"},
        {"PeakCentringGaussSDev", "peak_centring_gauss_sdev"},
        {"STLcubic", "stl_cubic"},
        {"STLmonoclinicB", "stl_monoclinic_b"},
        {"He3Efficiency2SDev", "he3_efficiency2_sdev"},
        {"He3Polarisation", "he3_polarisation"},
    };
    for (const auto& [name, snake] : cases) {
        ASSERT_NE(FindFunction(name), nullptr) << name;
        EXPECT_EQ(FindFunction(name)->alias, snake) << name;
    }
    std::set<std::string_view> aliases;
    for (const CatalogueEntry& e : Catalogue()) {
        const std::string_view alias = e.alias;
        EXPECT_TRUE(aliases.insert(alias).second) << alias;
        EXPECT_EQ(alias.find("__"), std::string::npos) << alias;
        EXPECT_NE(alias.front(), '_') << alias;
        EXPECT_NE(alias.back(), '_') << alias;
        for (char c : alias)
            EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_') << alias;
        EXPECT_EQ(FindFunction(alias), &e);
        EXPECT_EQ(FindFunction(e.name), &e);
    }
    EXPECT_EQ(aliases.size(), Catalogue().size());
}

// ---- Commands ------------------------------------------------------------------

struct Outcome {
    int exit;
    std::string out;
    std::string err;
};

Outcome Call(std::vector<std::string_view> args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    const int exit = Run(args, in, out, err);
    return {exit, out.str(), err.str()};
}

TEST(Commands, ListShowsIndexNameAliasAndArguments) {
    const Outcome o = Call({"list"});
    EXPECT_EQ(o.exit, kSuccess);
    std::istringstream lines(o.out);
    std::vector<std::string> all;
    for (std::string line; std::getline(lines, line);) all.push_back(line);
    ASSERT_EQ(all.size(), Catalogue().size());
    EXPECT_EQ(all[0].substr(0, 13), " 0  CountRate");
    EXPECT_NE(all[0].find(" count_rate "), std::string::npos);
    EXPECT_TRUE(all[0].ends_with(" N, t"));
    EXPECT_EQ(all[31].substr(0, 16), "31  STLtriclinic");
    EXPECT_TRUE(all[31].ends_with(" h, k, l, a, b, c, alpha, beta, gamma"));
}

TEST(Commands, EvaluatesByNameOrAlias) {
    const std::vector<std::pair<std::vector<std::string_view>, std::string>> cases = {
        {{"CountRate", "1000", "50"}, "20\n"},
        {{"count_rate", "1000", "50"}, "20\n"},
        {{"FlippingRatio", "1000", "200", "300", "150"}, "5.333333333333333\n"},
        {{"CountRate", "1", "0"}, "nan\n"},
        {{"FlippingRatioOpt", "1000", "200", "300", "150", "0", "30", "50", "40", "5000", "2500"},
         "-inf\n"},
        {{"CountRate", "0x1p-1074", "0.5"}, "1e-323\n"},
        {{"STLcubic", "1", "1", "1", "-5"}, "-0.17320508075688773\n"},
    };
    for (const auto& [args, expected] : cases) {
        const Outcome o = Call(args);
        EXPECT_EQ(o.exit, kSuccess) << o.err;
        EXPECT_EQ(o.out, expected) << args[0];
        EXPECT_EQ(o.err, "");
    }
}

// The help of a function, by either spelling: the catalogue's text, then the
// command lines, with an example the tool really answers that way.
TEST(Commands, HelpOfAFunction) {
    for (const std::vector<std::string_view>& args :
         {std::vector<std::string_view>{"help", "he3_transmission"},
          {"He3Transmission", "--help"},
          {"he3_transmission", "-h"}}) {
        const Outcome o = Call(args);
        EXPECT_EQ(o.exit, kSuccess) << o.err;
        EXPECT_EQ(o.out.rfind(HelpText(*FindFunction("He3Transmission")), 0), 0u) << o.out;
        EXPECT_NE(o.out.find("  vantrel He3Transmission p T L lambda PHe\n"), std::string::npos)
            << o.out;
        EXPECT_NE(
            o.out.find("  vantrel he3_transmission 1 293 10 2 0.7    prints 0.3605461370670754\n"),
            std::string::npos)
            << o.out;
    }
    EXPECT_EQ(Call({"he3_transmission", "1", "293", "10", "2", "0.7"}).out, "0.3605461370670754\n");
    EXPECT_EQ(Call({"help"}).out, Call({"--help"}).out);
    EXPECT_EQ(Call({"help", "Flip"}).exit, kBadUsage);
    EXPECT_EQ(Call({"help", "CountRate", "FlippingRatio"}).exit, kBadUsage);
}

// Every help's example is spelt once: the same arguments in the call and on
// the command line, and the value the tool prints for that command line.
TEST(Commands, EveryHelpShowsWhatTheToolPrintsForItsExample) {
    const auto between = [](const std::string& text, const std::string& from,
                            const std::string& to) {
        const std::size_t start = text.find(from);
        if (start == std::string::npos) return std::string("(no '" + from + "')");
        const std::size_t begin = start + from.size();
        return text.substr(begin, text.find(to, begin) - begin);
    };
    for (const CatalogueEntry& e : Catalogue()) {
        const std::string help = Call({"help", e.name}).out;
        const std::string call = between(help, "Example:\n  " + std::string(e.name) + "(", ")");
        // After "Example:": a NaN case may hold ") = " too.
        const std::string value = between(help.substr(help.find("Example:")), ") = ", "\n");
        const std::string line = between(help, "  vantrel " + std::string(e.alias) + " ", "    ");
        EXPECT_EQ(between(help, "    prints ", "\n"), value) << e.name;
        std::string spaced = call;
        std::erase(spaced, ',');
        EXPECT_EQ(line, spaced) << e.name;

        std::vector<std::string> words{std::string(e.alias)};
        std::istringstream split(line);
        for (std::string word; split >> word;) words.push_back(word);
        EXPECT_EQ(Call(std::vector<std::string_view>(words.begin(), words.end())).out, value + "\n")
            << e.name;
        EXPECT_EQ(line.find("e+"), std::string::npos) << line;
        EXPECT_EQ(line.find("e-0"), std::string::npos) << line;
    }
    EXPECT_NE(Call({"help", "CountRateDDT"}).out.find("CountRateDDT(10000, 10, 1e-5, 1e-9)"),
              std::string::npos);
}

// Each refusal names what is wrong and what would be right, and prints no value.
TEST(Commands, RefusesBadCallsWithAClearMessage) {
    const std::vector<std::tuple<std::vector<std::string_view>, int, std::string>> cases = {
        {{}, kBadUsage, "usage: vantrel list"},
        {{"FlipingRatio", "1"},
         kBadUsage,
         "no function or command named 'FlipingRatio'; did you mean FlippingRatio"},
        {{"CountRate", "1"}, kBadUsage, "CountRate takes 2 arguments, got 1: CountRate(N, t)"},
        {{"CountRate", "1", "2", "3"}, kBadUsage, "got 3: CountRate(N, t)"},
        {{"CountRate", "1", "abc"},
         kBadUsage,
         "argument 2 (t) of CountRate: 'abc' is not a number"},
        {{"CountRate", "1e999", "1"},
         kBadUsage,
         "argument 1 (N) of CountRate: '1e999' is beyond the range"},
        {{"list", "x"}, kBadUsage, "'list' takes no arguments"},
        {{"CountRate", "--csv"}, kBadUsage, "--csv takes one file name"},
        {{"CountRate", "--csv", "/nonexistent/in.csv"},
         kBadInput,
         "cannot open '/nonexistent/in.csv'"},
    };
    for (const auto& [args, exit, message] : cases) {
        const Outcome o = Call(args);
        EXPECT_EQ(o.exit, exit) << message;
        EXPECT_NE(o.err.find(message), std::string::npos) << o.err;
        EXPECT_EQ(o.out, "") << message;
    }
}

// "--" ends the options as for POSIX utilities; anything else beginning with
// "--" is an option, known or not (no number starts so).
// The tool's commands are known by help and suggested like its functions,
// and the decay fit takes the options every table takes.
TEST(Commands, HelpAndSuggestionsKnowTheCommands) {
    const Outcome help = Call({"help", "he3-decay-fit"});
    EXPECT_EQ(help.exit, kSuccess) << help.err;
    EXPECT_EQ(help.out.rfind("usage: vantrel he3-decay-fit --csv FILE", 0), 0u) << help.out;
    EXPECT_EQ(Call({"he3-decay-fit", "--help"}).out, help.out);
    EXPECT_EQ(Call({"help", "list"}).out, Call({"--help"}).out);
    struct Case {
        std::vector<std::string_view> args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"he3-decay-fti", "--csv", "-"},
         "vantrel: no function or command named 'he3-decay-fti'; did you mean he3-decay-fit?"},
        {{"help", "lsit"}, "no function or command named 'lsit'; did you mean list?"},
        {{"he3-decay-fit", "--cvs", "f.csv"},
         "vantrel: unknown option '--cvs'; did you mean --csv? ('vantrel --help' shows the "
         "usage)\n"},
        {{"he3-decay-fit"},
         "vantrel: he3-decay-fit reads a table: vantrel he3-decay-fit --csv FILE ('-' for "
         "standard input)\n"},
        {{"he3-decay-fit", "--csv", "-", "extra"}, "and no arguments beside it"},
        {{"he3-decay-fit", "--csv", "-", "--common"}, "--common takes one number"},
        {{"he3-decay-fit", "--csv", "-", "--common", "1%"}, "--common: '1%' is not a number"},
        {{"he3-decay-fit", "--common", "0.01", "--common", "0.02"}, "--common takes one number"},
        {{"CountRate", "--common", "0.01", "1000", "50"}, "unknown option '--common'"},
    };
    for (const Case& c : cases) {
        const Outcome o = Call(c.args);
        EXPECT_EQ(o.exit, kBadUsage) << c.args[0];
        EXPECT_EQ(o.out, "");
        EXPECT_NE(o.err.find(c.err), std::string::npos) << o.err;
    }
}

// The common relative deviation moves no point against another: the fit and
// its other columns are those without it, sigmaPHe0 adds common·PHe0 in
// quadrature, and ρ, PHe0's covariance with T1 over the deviations, falls as
// sigmaPHe0 grows. A negative one is refused by the fit's own words.
TEST(Commands, DecayFitCarriesTheCommonDeviationInSigmaPHe0Alone) {
    const std::string table = "t,PHe,sigmaPHe\n0,0.7,0.01\n24,0.6,0.012\n48,0.52,0.01\n";
    const auto fields = [](const std::string& out) {
        std::vector<double> values;
        std::istringstream row(out.substr(out.find('\n') + 1));
        for (std::string field; std::getline(row, field, ',');) values.push_back(std::stod(field));
        return values;
    };
    const Outcome alone = Call({"he3-decay-fit", "--csv", "-"}, table);
    const Outcome with = Call({"he3-decay-fit", "--csv", "-", "--common", "0.02"}, table);
    ASSERT_EQ(with.exit, kSuccess) << with.err;
    const std::vector<double> a = fields(alone.out), w = fields(with.out);
    ASSERT_EQ(a.size(), 7u);
    ASSERT_EQ(w.size(), 7u);
    for (const std::size_t same : {0u, 1u, 3u, 5u, 6u}) EXPECT_EQ(a[same], w[same]) << same;
    EXPECT_NEAR(w[2], std::hypot(a[2], 0.02 * a[0]), 1e-15);
    EXPECT_NEAR(w[4] * w[2], a[4] * a[2], 1e-15);
    const Outcome negative = Call({"he3-decay-fit", "--csv", "-", "--common", "-0.1"}, table);
    EXPECT_EQ(negative.exit, kBadInput);
    EXPECT_NE(negative.err.find("the common relative deviation is -0.1"), std::string::npos)
        << negative.err;
}

TEST(Commands, DoubleDashEndsTheOptions) {
    const std::vector<std::tuple<std::vector<std::string_view>, int, std::string, std::string>>
        cases = {
            {{"--", "CountRate", "1000", "50"}, kSuccess, "20\n", ""},
            {{"CountRate", "--", "1000", "50"}, kSuccess, "20\n", ""},
            {{"CountRate", "--", "-1", "5"}, kSuccess, "-0.2\n", ""},
            {{"CountRate", "-1", "--", "5"}, kSuccess, "-0.2\n", ""},
            {{"list", "--"}, kSuccess, "", ""},
            {{"--", "--help"}, kBadUsage, "", "no function or command named '--help'"},
            {{"CountRate", "--", "--csv", "-"},
             kBadUsage,
             "",
             "argument 1 (N) of CountRate: '--csv' is not a number"},
            {{"CountRate", "--", "1", "2", "--"}, kBadUsage, "", "takes 2 arguments, got 3"},
            {{"CountRate", "--cvs", "in.csv"},
             kBadUsage,
             "",
             "unknown option '--cvs'; did you mean --csv? ('vantrel --help'"},
            {{"CountRate", "--csv", "-", "1"}, kBadUsage, "", "--csv takes one file name"},
            {{"CountRate", "--csv", "a", "--csv", "b"}, kBadUsage, "", "--csv takes one file name"},
            {{"--"}, kBadUsage, "", "usage: vantrel list"},
        };
    for (const auto& [args, exit, out, message] : cases) {
        const Outcome o = Call(args);
        EXPECT_EQ(o.exit, exit) << args[0] << ' ' << o.err;
        if (args[0] == "list") {
            EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'),
                      std::ptrdiff_t(Catalogue().size()));
        } else {
            EXPECT_EQ(o.out, out) << args[0];
        }
        EXPECT_NE(o.err.find(message), std::string::npos) << o.err;
    }
}

// Options in the wrong place, or with what they do not take.
TEST(Commands, RefusesMisplacedOptions) {
    const std::vector<std::pair<std::vector<std::string_view>, std::string>> cases = {
        {{"--version", "extra"}, "vantrel: '--version' takes no arguments, got 'extra'\n"},
        {{"--help", "CountRate", "1"},
         "vantrel: '--help' takes no arguments, got 'CountRate' and more\n"},
        {{"--csv", "f.csv", "CountRate"},
         "vantrel: --csv follows the function's name: vantrel NAME --csv FILE\n"},
        {{"--cvs", "f.csv"},
         "vantrel: unknown option '--cvs'; did you mean --csv? ('vantrel --help' shows the "
         "usage)\n"},
    };
    for (const auto& [args, message] : cases) {
        const Outcome o = Call(args);
        EXPECT_EQ(o.exit, kBadUsage) << message;
        EXPECT_EQ(o.err, message);
        EXPECT_EQ(o.out, "");
    }
}

TEST(Commands, QuotesAtMostAFewDozenCharactersOfWhatItRefuses) {
    const std::string huge(1 << 20, 'x');
    for (const std::vector<std::string_view>& args : {std::vector<std::string_view>{huge},
                                                      {"CountRate", "1", huge},
                                                      {"CountRate", "--csv", "-"}}) {
        const Outcome o = Call(args, "N,t\n1," + huge + "\n");
        EXPECT_NE(o.exit, kSuccess);
        EXPECT_LT(o.err.size(), 300u) << o.err.substr(0, 300);
        EXPECT_NE(o.err.find("(the first 60 of 1048576 bytes)"), std::string::npos)
            << o.err.substr(0, 300);
    }
}

TEST(Csv, AppendsTheValueAndKeepsEveryOtherColumn) {
    const Outcome o = Call({"CountRate", "--csv", "-"},
                           "sample,t,N,note\r\nFe,50,1000,\"first, good\"\r\nNi, 0 ,5,\r\n\r\n");
    EXPECT_EQ(o.exit, kSuccess) << o.err;
    EXPECT_EQ(o.out,
              "sample,t,N,note,CountRate\n"
              "Fe,50,1000,\"first, good\",20\n"
              "Ni, 0 ,5,,nan\n");
}

// Blank and blank-looking lines are no records, before the header too; a
// column named like the function keeps its values and the new one gets a name
// of its own; a byte-order mark stays where it was.
TEST(Csv, SkipsBlankLinesAndNamesTheValueColumnAfresh) {
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"\n\r\n  \nN,t\n \t\n1000,50\n\t\n", "N,t,CountRate\n1000,50,20\n", ""},
        {"N,t,CountRate\n1000,50,old\n", "N,t,CountRate,CountRate_2\n1000,50,old,20\n",
         "vantrel: note: the input has a column CountRate already; the values go to column "
         "CountRate_2\n"},
        {"CountRate_2, CountRate ,N,t\n,,1000,50\n",
         "CountRate_2, CountRate ,N,t,CountRate_3\n,,1000,50,20\n",
         "vantrel: note: the input has a column CountRate already; the values go to column "
         "CountRate_3\n"},
        {"\xEF\xBB\xBFN,t\n1000,50\n", "\xEF\xBB\xBFN,t,CountRate\n1000,50,20\n", ""},
    };
    for (const auto& [input, output, note] : cases) {
        const Outcome o = Call({"CountRate", "--csv", "-"}, input);
        EXPECT_EQ(o.exit, kSuccess) << o.err;
        EXPECT_EQ(o.out, output);
        EXPECT_EQ(o.err, note);
    }
}

// Fields go out as they came in, byte for byte, whatever they hold.
TEST(Csv, WritesEveryRecordBackUnchanged) {
    using namespace std::string_literals;
    const Outcome o =
        Call({"CountRate", "--csv", "-"},
             "N,t,note\r\n1000,50,\"a\r\nb\"\r\n1000,50,\x1A\0\xFF\r\n1000 , 50,\"\"\"\"\"\"\n"s);
    EXPECT_EQ(o.exit, kSuccess) << o.err;
    EXPECT_EQ(
        o.out,
        "N,t,note,CountRate\n1000,50,\"a\r\nb\",20\n1000,50,\x1A\0\xFF,20\n1000 , 50,\"\"\"\"\"\",20\n"s);
}

// ---- Failing input and output --------------------------------------------------

// Takes `capacity` bytes, then refuses, as a full disk does: by a short count,
// or by throwing the tool's own error with a reason.
class FailingOutput : public std::streambuf {
public:
    FailingOutput(std::size_t capacity, bool throws) : capacity_(capacity), throws_(throws) {}
    std::string written;

protected:
    std::streamsize xsputn(const char* data, std::streamsize count) override {
        const auto taken =
            std::min<std::size_t>(static_cast<std::size_t>(count), capacity_ - written.size());
        written.append(data, taken);
        if (taken < static_cast<std::size_t>(count) && throws_) Refuse();
        return static_cast<std::streamsize>(taken);
    }
    int_type overflow(int_type c) override {
        const char byte = traits_type::to_char_type(c);
        return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
    }

private:
    [[noreturn]] static void Refuse() {
        throw IoError(IoError::Side::kOutput,
                      "cannot write to standard output: No space left on device");
    }
    std::size_t capacity_;
    bool throws_;
};

// Gives `text`, then fails as a broken disk does.
class FailingInput : public std::streambuf {
public:
    explicit FailingInput(std::string text) : text_(std::move(text)) {
        setg(text_.data(), text_.data(), text_.data() + text_.size());
    }

protected:
    int_type underflow() override {
        throw IoError(IoError::Side::kInput, "cannot read standard input: Input/output error");
    }

private:
    std::string text_;
};

TEST(Failures, AFailedWriteIsAnErrorInEveryMode) {
    const std::vector<std::vector<std::string_view>> commands = {{"CountRate", "1000", "50"},
                                                                 {"list"},
                                                                 {"--help"},
                                                                 {"--version"},
                                                                 {"CountRate", "--csv", "-"}};
    for (const bool throws : {false, true}) {
        for (const auto& args : commands) {
            for (const std::size_t capacity : {std::size_t{0}, std::size_t{2}}) {
                FailingOutput buffer(capacity, throws);
                std::ostream out(&buffer);
                std::istringstream in("N,t\n1000,50\n1000,50\n");
                std::ostringstream err;
                EXPECT_EQ(cli::Run(args, in, out, err), kBadInput)
                    << args[0] << " into " << capacity;
                EXPECT_EQ(
                    err.str(),
                    throws ? "vantrel: cannot write to standard output: No space left on device\n"
                           : "vantrel: cannot write the output\n")
                    << args[0];
            }
        }
    }
}

TEST(Failures, AFailedReadKeepsTheRowsBeforeItAndSaysSo) {
    FailingInput buffer("N,t\n1000,50\n2000,5");
    std::istream in(&buffer);
    std::ostringstream out, err;
    EXPECT_EQ(cli::Run(std::vector<std::string_view>{"CountRate", "--csv", "-"}, in, out, err),
              kBadInput);
    EXPECT_EQ(out.str(), "N,t,CountRate\n1000,50,20\n");
    EXPECT_EQ(
        err.str(),
        "vantrel: cannot read standard input: Input/output error; stopped after the header and "
        "1 row\n");
}

TEST(Csv, ArgumentsInAnyColumnOrder) {
    const Outcome o = Call({"flipping_ratio", "--csv", "-"}, "Nbm,Npm,Nbp,Npp\n150,300,200,1000\n");
    EXPECT_EQ(o.exit, kSuccess) << o.err;
    EXPECT_EQ(o.out, "Nbm,Npm,Nbp,Npp,FlippingRatio\n150,300,200,1000,5.333333333333333\n");
}

TEST(Csv, RefusesBadInputWithLineAndColumn) {
    using namespace std::string_literals;
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"N,t\n1,2\n3,x\n", "N,t,CountRate\n1,2,0.5\n",
         "line 3, column 2 (t): 'x' is not a number"},
        {"t,N\n1,2\n,3\n", "t,N,CountRate\n1,2,2\n", "line 3, column 1 (t): '' is not a number"},
        {"N,t\n1,1e999\n", "N,t,CountRate\n",
         "line 2, column 2 (t): '1e999' is beyond the range of a double"},
        {"N,T\n1,2\n", "", "lacks the column t of CountRate(N, t) (names are case-sensitive)"},
        {"x\n1\n", "", "lacks the columns N, t of CountRate(N, t)"},
        {"N,t,N\n1,2,3\n", "", "names N twice (columns 1 and 3)"},
        {"N,t\n1,2,3\n", "N,t,CountRate\n", "line 2: 3 fields, but the header has 2"},
        {"N,t\n1\n", "N,t,CountRate\n", "line 2: 1 field, but the header has 2"},
        {"N,t\n1,\"2\n", "N,t,CountRate\n", "line 2: a quoted field is not closed"},
        {"", "", "the CSV input is empty"},
        {"\n \n\t\n", "", "the CSV input is empty"},
        // How far the output got.
        {"N,t\n1,x\n", "N,t,CountRate\n",
         "line 2, column 2 (t): 'x' is not a number; stopped after the header\n"},
        {"N,t\n1,2\n3,x\n", "N,t,CountRate\n1,2,0.5\n",
         "'x' is not a number; stopped after the header and 1 row\n"},
        {"N,t\n1,2\n1,2\n3\n", "N,t,CountRate\n1,2,0.5\n1,2,0.5\n",
         "line 4: 1 field, but the header has 2; "
         "stopped after the header and 2 rows\n"},
        {"N,t\n1,2\n\"\n", "N,t,CountRate\n1,2,0.5\n",
         "not closed before the end of the input; "
         "stopped after the header and 1 row\n"},
        // Another separator: the header is one column.
        {"N;t\n1000;50\n", "",
         "the CSV header was read as one column, 'N;t', which lacks the columns N, t of "
         "CountRate(N, t): columns are separated by commas, not by ';'\n"},
        {"N\tt\n1000\t50\n", "",
         "one column, 'N\\tt', which lacks the columns N, t of CountRate(N, t): "
         "columns are separated by commas, not by tabs\n"},
        {"N\n1000\n", "",
         "one column, 'N', which lacks the column t of CountRate(N, t): columns are separated "
         "by commas\n"},
        // Text the tool cannot read, named for what it is.
        {"\xFF\xFEN\0,\0t\0\n\0"s, "",
         "line 1: the CSV text is UTF-16 (little-endian, by its byte-order mark); the tool "
         "reads UTF-8: save it as UTF-8\n"},
        {"\xFE\xFF\0N\0,\0t\0\n"s, "", "UTF-16 (big-endian, by its byte-order mark)"},
        {"N\0,\0t\0\r\0\n\0001\0,\0002\0"s, "",
         "line 1: the CSV text is UTF-16 (little-endian, without a byte-order mark)"},
        {"\0N\0,\0t\0\r\0\n\0001\0,\0002"s, "", "UTF-16 (big-endian, without"},
        {"N,t\r1000,50\r", "",
         "line 1: the CSV header holds a carriage return alone (CR), which ends no line; the "
         "tool reads lines that end in LF or CR LF, not in CR as old Mac files do\n"},
        {"N,t,note\r1000,50,x\r", "", "line 1: the CSV header holds a carriage return alone"},
        {"N,t\r\r\n1000,50\r\n", "", "line 1: the CSV header holds a carriage return alone"},
        {"N\0,t\n1000,50\n"s, "",
         "line 1: the CSV header holds a NUL byte, at byte 2: 'N\\x00,t'; so it lacks the "
         "column N of CountRate(N, t)\n"},
        {"\xEF\xBB\xBF\xEF\xBB\xBFN,t\n1000,50\n", "",
         "line 1: the CSV text starts with two byte-order marks, and the second is read as part "
         "of the first column's name, '\\u{FEFF}N'; so it lacks the column N of CountRate(N, "
         "t)\n"},
        {"\n\xEF\xBB\xBFN,t\n", "",
         "line 2: the CSV header starts with a byte-order mark, which is read as part of the "
         "first column's name, '\\u{FEFF}N'; so it lacks the column N of CountRate(N, t)\n"},
        {"N,t\n\xEF\xBB\xBF"
         "1000,50\n",
         "N,t,CountRate\n",
         "line 2, column 1 (N): '\\u{FEFF}1000' is not a number; stopped after the header\n"},
    };
    for (const auto& [input, written, message] : cases) {
        const Outcome o = Call({"CountRate", "--csv", "-"}, input);
        EXPECT_EQ(o.exit, kBadInput) << input;
        EXPECT_EQ(o.out, written) << input;
        EXPECT_NE(o.err.find(message), std::string::npos) << input << " gave " << o.err;
    }
}

// A value written by the tool and read back by it gives the same bits, through
// a whole chain of functions.
TEST(Csv, ResultsReadBackExactly) {
    std::string input = "N,t\n";
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> counts(0, 1e6), times(1e-3, 1e3);
    std::vector<double> expected;
    for (int i = 0; i < 1000; ++i) {
        const double N = counts(random), t = times(random);
        input += ValueText(N) + "," + ValueText(t) + "\n";
        expected.push_back(Evaluate(*FindFunction("CountRate"), std::vector<double>{N, t}));
    }
    const Outcome o = Call({"CountRate", "--csv", "-"}, input);
    ASSERT_EQ(o.exit, kSuccess);
    std::istringstream lines(o.out);
    std::string line;
    std::getline(lines, line);
    for (double value : expected) {
        ASSERT_TRUE(std::getline(lines, line));
        const ParsedNumber back = ParseNumber(line.substr(line.rfind(',') + 1));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(back.value), std::bit_cast<std::uint64_t>(value))
            << line;
    }
}

}  // namespace
}  // namespace vantrel::cli
