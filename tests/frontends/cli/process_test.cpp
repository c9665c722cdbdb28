// The built tool as a shell meets it: exit codes, the two output streams,
// constant memory on long input, failing files and streams, slow producers and
// vanished consumers, natively and as vantrel.exe of the Windows build.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kTool = VANTREL_CLI;
const std::string kWindowsBuild = VANTREL_WINDOWS_BUILD_DIR;

struct Outcome {
    int exit;
    std::string out;
    std::string err;
};

std::string SlurpBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Slurp(const std::string& path) {
    std::string s = SlurpBytes(path);
    std::erase(s, '\r');  // vantrel.exe ends its lines with "\r\n"
    return s;
}

// A scratch directory of this test process (ctest runs tests as parallel
// processes: each its own files).
std::string Scratch() {
    const std::string dir = ::testing::TempDir() + "/vantrel-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    return dir;
}

// Runs a shell command line with its two outputs caught in files; redirections
// in the command itself apply to it alone. With `raw`, standard output is
// kept byte for byte.
Outcome Shell(const std::string& command, const std::string& input = "", bool raw = false) {
    const std::string dir = Scratch();
    const std::string in = dir + "/in.csv", out = dir + "/out", err = dir + "/err";
    std::ofstream(in, std::ios::binary) << input;
    const int status =
        std::system(("{ " + command + "; } < " + in + " > " + out + " 2> " + err).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, raw ? SlurpBytes(out) : Slurp(out),
            Slurp(err)};
}

TEST(Tool, ValueOnStandardOutputMessagesOnStandardError) {
    const Outcome ok = Shell(kTool + " FlippingRatio 1000 200 300 150");
    EXPECT_EQ(ok.exit, 0);
    EXPECT_EQ(ok.out, "5.333333333333333\n");
    EXPECT_EQ(ok.err, "");

    const Outcome unknown = Shell(kTool + " FlippingRatioSdev 1 2");
    EXPECT_EQ(unknown.exit, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_NE(unknown.err.find("did you mean FlippingRatioSDev"), std::string::npos) << unknown.err;

    const Outcome bad = Shell(kTool + " CountRate --csv -", "N,t\n1,2\n1,two\n");
    EXPECT_EQ(bad.exit, 1);
    EXPECT_EQ(bad.out, "N,t,CountRate\n1,2,0.5\n");
    EXPECT_EQ(bad.err,
              "vantrel: line 3, column 2 (t): 'two' is not a number; stopped after the header and "
              "1 row\n");
}

TEST(Tool, ReadsAFileByName) {
    const std::string path = ::testing::TempDir() + "/vantrel-cells.csv";
    std::ofstream(path) << "cell,a,h,k,l\nFe,2.8665,1,1,0\n";
    const Outcome run = Shell(kTool + " stl_cubic --csv " + path);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "cell,a,h,k,l,STLcubic\nFe,2.8665,1,1,0,0.24667949805914796\n");
}

// Peak resident memory of the tool fed `rows` generated rows through a pipe.
long PeakKilobytes(long rows) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[0], STDIN_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::freopen("/dev/null", "w", stdout);
        execl(kTool.c_str(), kTool.c_str(), "FlippingRatio", "--csv", "-",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[0]);
    std::FILE* feed = fdopen(pipeFds[1], "w");
    std::fputs("label,Npp,Nbp,Npm,Nbm\n", feed);
    for (long i = 0; i < rows; ++i)
        std::fprintf(feed, "row %ld,%ld,200,%ld.5,150\n", i, 1000 + i, 300 + i);
    std::fclose(feed);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

// A million rows (some 40 MB) take no more memory than ten thousand.
TEST(Tool, StreamsInConstantMemory) {
    const long small = PeakKilobytes(10'000);
    const long large = PeakKilobytes(1'000'000);
    ASSERT_GT(small, 0);
    ASSERT_GT(large, 0);
    EXPECT_LT(large - small, 1024) << small << " kB against " << large << " kB";
}

// ---- vantrel.exe under Wine ----------------------------------------------------

class WindowsTool : public ::testing::Test {
protected:
    void SetUp() override {
        if (kWindowsBuild.empty() || !std::filesystem::exists(kWindowsBuild + "/vantrel.exe")) {
            GTEST_SKIP() << "no vantrel.exe in '" << kWindowsBuild << "'";
        }
    }
    static std::string Exe() {
        return kWindowsBuild + "/wine-run " + kWindowsBuild + "/vantrel.exe";
    }
};

TEST_F(WindowsTool, SameCatalogueAndSameCsvAsNatively) {
    const Outcome native = Shell(kTool + " list");
    const Outcome windows = Shell(Exe() + " list");
    EXPECT_EQ(windows.exit, 0);
    EXPECT_EQ(windows.out, native.out);

    // Arithmetic and square roots only: the same bits on both platforms.
    const std::string csv =
        "Npp,Nbp,Npm,Nbm,sigmaPp,sigmaBp,sigmaPm,sigmaBm\r\n"
        "1000,200,300,150,30,15,20,10\r\n"
        "0x1.5p10,-0,1e-300,inf,1,2,3,4\r\n"
        "5,1,3,3,1,1,1,1\r\n";
    const Outcome nativeCsv = Shell(kTool + " AsymmetrySDev --csv -", csv);
    const Outcome windowsCsv = Shell(Exe() + " AsymmetrySDev --csv -", csv);
    EXPECT_EQ(windowsCsv.exit, 0) << windowsCsv.err;
    EXPECT_EQ(windowsCsv.out, nativeCsv.out);

    const Outcome refused = Shell(Exe() + " CountRate 1");
    EXPECT_EQ(refused.exit, 2);
    EXPECT_NE(refused.err.find("CountRate takes 2 arguments, got 1: CountRate(N, t)"),
              std::string::npos);
}

// ---- Both builds: files, streams and line ends -----------------------------------

// The native tool and vantrel.exe under Wine (when the Windows build is there)
// run the same cases; each build writes its platform's line ends.
struct Build {
    std::string name;
    std::string command;  // how a shell runs it
    std::string lineEnd;
};

void PrintTo(const Build& build, std::ostream* os) { *os << build.name; }

class BothBuilds : public ::testing::TestWithParam<Build> {
protected:
    void SetUp() override {
        if (GetParam().name == "windows" &&
            (kWindowsBuild.empty() || !std::filesystem::exists(kWindowsBuild + "/vantrel.exe"))) {
            GTEST_SKIP() << "no vantrel.exe in '" << kWindowsBuild << "'";
        }
    }
    const std::string& Tool() const { return GetParam().command; }
    // "\n" as this build writes it.
    std::string Lines(std::string text) const {
        std::string converted;
        for (char c : text) converted += c == '\n' ? GetParam().lineEnd : std::string(1, c);
        return converted;
    }
};

INSTANTIATE_TEST_SUITE_P(
    , BothBuilds,
    ::testing::Values(Build{"native", kTool, "\n"},
                      Build{"windows",
                            kWindowsBuild + "/wine-run " + kWindowsBuild + "/vantrel.exe", "\r\n"}),
    [](const auto& info) { return info.param.name; });

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at; (at = text.find(from)) != std::string::npos;)
        text.replace(at, from.size(), to);
    return text;
}

// A file that cannot be opened or read, a closed or write-only standard input,
// a full disk, a closed standard output: each a message that names the file and
// the system's reason, and exit status 1, in every mode. The reason for a closed
// stream differs between the platforms, and only its start is compared.
TEST_P(BothBuilds, ReportsEveryFailedOpenReadAndWrite) {
    struct Case {
        std::string command;  // {tool} and {dir} are replaced
        std::string err;      // the whole message, or its start if it ends in ": "
    };
    const std::vector<Case> cases = {
        {"{tool} CountRate --csv {dir}", "vantrel: cannot read '{dir}': Is a directory\n"},
        {"{tool} CountRate --csv {dir}/absent.csv",
         "vantrel: cannot open '{dir}/absent.csv': No such file or directory\n"},
        {"{tool} CountRate --csv - <&-", "vantrel: cannot read standard input: "},
        {"{tool} CountRate --csv - 0>/dev/null", "vantrel: cannot read standard input: "},
        {"{tool} CountRate 1000 50 >/dev/full",
         "vantrel: cannot write to standard output: No space left on device\n"},
        {"{tool} list >/dev/full",
         "vantrel: cannot write to standard output: No space left on device\n"},
        {"{tool} --help >/dev/full",
         "vantrel: cannot write to standard output: No space left on device\n"},
        {"{tool} CountRate --csv - >/dev/full",
         "vantrel: cannot write to standard output: No space left on device\n"},
        {"{tool} CountRate 1000 50 >&-", "vantrel: cannot write to standard output: "},
        {"{tool} list >&-", "vantrel: cannot write to standard output: "},
    };
    const std::string dir = Scratch();
    for (const Case& c : cases) {
        const std::string command = Replace(Replace(c.command, "{tool}", Tool()), "{dir}", dir);
        const std::string err = Replace(c.err, "{dir}", dir);
        const Outcome o = Shell(command, "N,t\n1000,50\n");
        EXPECT_EQ(o.exit, 1) << c.command << ": " << o.err;
        EXPECT_EQ(o.out, "") << c.command;
        if (err.ends_with(": ")) {
            EXPECT_TRUE(o.err.starts_with(err) && o.err.find('\n') == o.err.size() - 1)
                << c.command << ": " << o.err;
        } else {
            EXPECT_EQ(o.err, err) << c.command;
        }
    }
}

// Standard input is read as bytes: a field may hold byte 0x1A (which ends a
// Windows text stream) and a quoted line break, and every record comes back as
// it was, whether the CSV arrives on standard input or by name.
TEST_P(BothBuilds, WritesEveryRecordBackByteForByte) {
    const std::string input =
        "N,t,note\r\n1000,50,\"a\x1A\"\r\n1000,50,\"two\r\nlines\"\r\n2000,50,x\r\n";
    const std::string expected =
        "N,t,note,CountRate" + GetParam().lineEnd + "1000,50,\"a\x1A\",20" + GetParam().lineEnd +
        "1000,50,\"two\r\nlines\",20" + GetParam().lineEnd + "2000,50,x,40" + GetParam().lineEnd;
    const std::string path = Scratch() + "/bytes.csv";
    std::ofstream(path, std::ios::binary) << input;
    for (const std::string& source : {std::string("-"), path}) {
        const Outcome o = Shell(Tool() + " CountRate --csv " + source, input, true);
        EXPECT_EQ(o.exit, 0) << source << ": " << o.err;
        EXPECT_EQ(o.out, expected) << source;
    }
}

// Arguments and file names beyond ASCII reach the tool as they were typed: no
// character is folded into a digit or a look-alike ('⁵' into '5', 'Ω' into
// 'O'), and what the tool quotes back is UTF-8. Wine takes a Unix command line
// in the character set of the locale: UTF-8 here.
TEST_P(BothBuilds, TakesArgumentsAndFileNamesBeyondAsciiAsTyped) {
    const std::string dir = Scratch() + "/unicode";
    std::filesystem::create_directories(dir);
    for (const auto& [name, row] : std::vector<std::pair<std::string, std::string>>{
             {"Omega.csv", "999,1"}, {"測定.csv", "1000,50"}, {"🧪 Ωmega.csv", "3,2"}}) {
        std::ofstream(dir + "/" + name) << "N,t\n" << row << "\n";
    }
    struct Case {
        std::string args;
        int exit;
        std::string out, err;
    };
    const std::string notANumber = "vantrel: argument 1 (N) of CountRate: ";
    const std::vector<Case> cases = {
        {"CountRate 10⁵ 1", 2, "", notANumber + "'10⁵' is not a number\n"},
        {"CountRate １e３ 1", 2, "", notANumber + "'１e３' is not a number\n"},
        {"CountRate 2² 1", 2, "", notANumber + "'2²' is not a number\n"},
        {"CountRate --csv Ωmega.csv", 1, "",
         "vantrel: cannot open 'Ωmega.csv': No such file or directory\n"},
        {"CountRate --csv 測定.csv", 0, "N,t,CountRate\n1000,50,20\n", ""},
        {"CountRate --csv '🧪 Ωmega.csv'", 0, "N,t,CountRate\n3,2,1.5\n", ""},
    };
    for (const Case& c : cases) {
        const Outcome o = Shell("cd '" + dir + "' && LC_ALL=C.UTF-8 " + Tool() + " " + c.args);
        EXPECT_EQ(o.exit, c.exit) << c.args << ": " << o.err;
        EXPECT_EQ(o.out, c.out) << c.args;
        EXPECT_EQ(o.err, c.err) << c.args;
    }
}

// An input that is the file the output goes to would grow while it is read:
// refused before anything is written. Wine cannot tell which file a Unix
// shell opened for it, so there Windows' own shell opens it, as on Windows.
TEST_P(BothBuilds, RefusesToReadTheFileItWritesTo) {
    const std::string dir = Scratch() + "/same";
    std::filesystem::create_directories(dir);
    const std::string csv = "N,t\n1000,50\n";
    const auto inItsShell = [&](const std::string& args) {
        if (GetParam().name == "native") return "cd '" + dir + "' && " + Tool() + " " + args;
        return "cd '" + dir + "' && " + kWindowsBuild +
               "/wine-run cmd /c \"Z:" + Replace(kWindowsBuild, "/", "\\") + "\\vantrel.exe " +
               args + "\"";
    };
    struct Case {
        std::string args;
        int exit;
        std::string err;
    };
    const std::string refused =
        "vantrel: the CSV input, {name}, is the file the output goes to; write the output to "
        "another file\n";
    std::vector<Case> cases = {
        {"CountRate --csv same.csv >> same.csv", 2, Replace(refused, "{name}", "'same.csv'")},
        {"CountRate --csv same.csv > other.csv", 0, ""},
        // The decay fit reads its table by the same rules.
        {"he3-decay-fit --csv same.csv >> same.csv", 2, Replace(refused, "{name}", "'same.csv'")},
        // So do the magnetic commands.
        {"form-factor Fe3+ --csv same.csv >> same.csv", 2,
         Replace(refused, "{name}", "'same.csv'")},
    };
    if (GetParam().name == "native") {
        cases.push_back({"CountRate --csv - < same.csv >> same.csv", 2,
                         Replace(refused, "{name}", "standard input")});
        cases.push_back({"CountRate --csv - < /dev/null > /dev/null", 1,
                         "vantrel: the CSV input is empty; its first line must name the "
                         "arguments: N, t\n"});
    }
    for (const Case& c : cases) {
        std::ofstream(dir + "/same.csv") << csv;
        const Outcome o = Shell(inItsShell(c.args));
        EXPECT_EQ(o.exit, c.exit) << c.args << ": " << o.err;
        EXPECT_EQ(o.err, c.err) << c.args;
        EXPECT_EQ(Slurp(dir + "/same.csv"), csv) << c.args;
    }
    EXPECT_EQ(Slurp(dir + "/other.csv"), "N,t,CountRate\n1000,50,20\n");
}

// The example of a function's help is what this build prints for it, also
// where the Windows runtime's mathematics rounds otherwise than glibc's.
TEST_P(BothBuilds, HelpShowsTheValueThisBuildPrints) {
    for (const std::string name : {"FlippingRatioOptDDTSDev", "He3Transmission",
                                   "PeakCentringGaussSDev", "STLtriclinic", "CountRateMonitor"}) {
        const std::string help = Shell(Tool() + " help " + name).out;
        const std::size_t command = help.find("    prints ");
        ASSERT_NE(command, std::string::npos) << help;
        const std::size_t start = help.rfind("\n  vantrel ", command) + 11;
        const std::string value =
            help.substr(command + 11, help.find('\n', command) - command - 11);
        EXPECT_NE(help.find(") = " + value + "\n"), std::string::npos) << help;
        EXPECT_EQ(Shell(Tool() + " " + help.substr(start, command - start)).out, value + "\n")
            << name;
    }
}

// A tool with pipes for its standard input and output.
struct Child {
    pid_t pid = -1;
    int in = -1;   // its standard input
    int out = -1;  // its standard output
};

Child Spawn(const std::string& command) {
    int input[2], output[2];
    if (pipe(input) != 0 || pipe(output) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(input[0], STDIN_FILENO);
        dup2(output[1], STDOUT_FILENO);
        for (int fd : {input[0], input[1], output[0], output[1]}) close(fd);
        std::freopen("/dev/null", "w", stderr);
        execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    return {pid, input[1], output[0]};
}

// What arrives on `fd` until `expected` is complete or `seconds` have passed.
std::string ReadUntil(int fd, const std::string& expected, int seconds) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (got.size() < expected.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

void Send(int fd, const std::string& text) {
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// Each row reaches the output before the tool waits for the next: a slow
// producer's rows come out as they are made, not when the input ends.
TEST_P(BothBuilds, PassesEachRowOnBeforeWaitingForMore) {
    const Child child = Spawn(Tool() + " CountRate --csv -");
    ASSERT_GT(child.pid, 0);
    const int patience = 30;  // seconds; Wine may take a while to start
    Send(child.in, "N,t\n1000,50\n");
    EXPECT_EQ(ReadUntil(child.out, Lines("N,t,CountRate\n1000,50,20\n"), patience),
              Lines("N,t,CountRate\n1000,50,20\n"));
    Send(child.in, "2000,50\n300");  // and part of the next row
    EXPECT_EQ(ReadUntil(child.out, Lines("2000,50,40\n"), patience), Lines("2000,50,40\n"));
    Send(child.in, "0,50\n");
    close(child.in);
    EXPECT_EQ(ReadUntil(child.out, Lines("3000,50,60\n") + "|", patience), Lines("3000,50,60\n"));
    close(child.out);
    int status = 0;
    waitpid(child.pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// Runs a shell script in a process group of its own: its exit status, or -1
// if it was still running after `seconds` and the whole group was killed.
int RunWithin(const std::string& script, int seconds) {
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        execl("/bin/sh", "sh", script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    setpgid(pid, pid);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        usleep(20'000);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// With SIGPIPE ignored, a reader that goes away makes a write fail: the tool
// stops there with status 1 instead of reading an endless input for ever.
TEST_P(BothBuilds, StopsAtTheFirstFailedWrite) {
    const std::string dir = Scratch();
    const std::string script = dir + "/consumer-gone.sh";
    std::ofstream(script) << "trap '' PIPE\n"
                          << "(echo N,t; yes 1000,50) | { " << Tool() << " CountRate --csv - 2>"
                          << dir << "/tool-err; echo $? >" << dir << "/tool-status; } | head -n 1 >"
                          << dir << "/head\n";
    ASSERT_EQ(RunWithin(script, 60), 0) << "still running after 60 s";
    EXPECT_EQ(Slurp(dir + "/head"), "N,t,CountRate\n");
    EXPECT_EQ(Slurp(dir + "/tool-status"), "1\n");
    const std::string err = Slurp(dir + "/tool-err");
    EXPECT_TRUE(err.starts_with("vantrel: cannot write to standard output: ")) << err;
}
}  // namespace
