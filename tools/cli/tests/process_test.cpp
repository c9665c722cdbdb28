// The built tool as a shell meets it: exit codes, the two output streams,
// constant memory on long input, and vantrel.exe of the Windows build.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const std::string kTool = VANTREL_CLI;
const std::string kWindowsBuild = VANTREL_WINDOWS_BUILD_DIR;

struct Outcome {
    int exit;
    std::string out;
    std::string err;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    std::erase(s, '\r');  // vantrel.exe writes text mode
    return s;
}

// Runs a shell command line with its two outputs caught in files.
Outcome Shell(const std::string& command, const std::string& input = "") {
    // ctest runs the tests as parallel processes: each its own files.
    const std::string dir = ::testing::TempDir() + "/vantrel-" + std::to_string(getpid());
    const std::string in = dir + "-in.csv", out = dir + "-out", err = dir + "-err";
    std::ofstream(in, std::ios::binary) << input;
    const int status = std::system((command + " < " + in + " > " + out + " 2> " + err).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
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
    EXPECT_EQ(bad.err, "vantrel: line 3, column 2 (t): 'two' is not a number\n");
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
        execl(kTool.c_str(), kTool.c_str(), "FlippingRatio", "--csv", "-", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[0]);
    std::FILE* feed = fdopen(pipeFds[1], "w");
    std::fputs("label,Npp,Nbp,Npm,Nbm\n", feed);
    for (long i = 0; i < rows; ++i) std::fprintf(feed, "row %ld,%ld,200,%ld.5,150\n", i, 1000 + i, 300 + i);
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
    static std::string Exe() { return kWindowsBuild + "/wine-run " + kWindowsBuild + "/vantrel.exe"; }
};

TEST_F(WindowsTool, SameCatalogueAndSameCsvAsNatively) {
    const Outcome native = Shell(kTool + " list");
    const Outcome windows = Shell(Exe() + " list");
    EXPECT_EQ(windows.exit, 0);
    EXPECT_EQ(windows.out, native.out);

    // Arithmetic and square roots only: the same bits on both platforms.
    const std::string csv = "Npp,Nbp,Npm,Nbm,sigmaPp,sigmaBp,sigmaPm,sigmaBm\r\n"
                            "1000,200,300,150,30,15,20,10\r\n"
                            "0x1.5p10,-0,1e-300,inf,1,2,3,4\r\n"
                            "5,1,3,3,1,1,1,1\r\n";
    const Outcome nativeCsv = Shell(kTool + " AsymmetrySDev --csv -", csv);
    const Outcome windowsCsv = Shell(Exe() + " AsymmetrySDev --csv -", csv);
    EXPECT_EQ(windowsCsv.exit, 0) << windowsCsv.err;
    EXPECT_EQ(windowsCsv.out, nativeCsv.out);

    const Outcome refused = Shell(Exe() + " CountRate 1");
    EXPECT_EQ(refused.exit, 2);
    EXPECT_NE(refused.err.find("CountRate takes 2 arguments, got 1: CountRate(N, t)"), std::string::npos);
}

}  // namespace
