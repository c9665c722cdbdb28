// Vantrel-64.xop as the host meets it: loaded by the stand-in host under Wine,
// its resources read through the resource API, its functions called by both
// routes.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/registry.h"
#include "resources/resource_data.h"
#include "support/edge_cases.h"

namespace vantrel::testing {
namespace {

const std::string kBuild = VANTREL_WINDOWS_BUILD_DIR;
const std::string kModule = kBuild + "/Vantrel-64.xop";

struct HostRun {
    int exitCode;
    std::string output;
    std::vector<std::string> lines;
};

// Runs the stand-in host: Igor64.exe OPTIONS MODULE COMMAND, optionally with input.
HostRun Host(const std::string& options, const std::string& command,
             const std::string& input = "") {
    std::string shell =
        kBuild + "/wine-run " + kBuild + "/Igor64.exe " + options + " " + kModule + " " + command;
    std::string inputFile;
    if (!input.empty()) {
        inputFile = ::testing::TempDir() + "/vantrel-host-input.txt";
        std::ofstream(inputFile) << input;
        shell += " < " + inputFile;
    }
    HostRun run{};
    std::FILE* pipe = popen((shell + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return {-1, "", {}};
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        run.lines.push_back(line);
    }
    return run;
}

bool Contains(const HostRun& run, const std::string& line) {
    for (const std::string& l : run.lines)
        if (l == line) return true;
    return false;
}

// How far the DLL may be from the native build, per function: the columns
// windows_exact and windows_documented_ulps of the accuracy table that
// tools/accuracy.py measures. Exact: the same bits (NaN for NaN); otherwise a
// documented value within documentedUlps units in the last place. The
// library's own functions are not in the plug-in: their Windows columns are
// empty, and they have no tolerance here.
struct Tolerance {
    bool exact;
    std::int64_t documentedUlps;
};

// Every field, the empty ones too ("a,," has three; getline would drop the last).
std::vector<std::string> CsvFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
        fields.push_back(line.substr(start, comma - start));
    fields.push_back(line.substr(start));
    return fields;
}

std::map<std::string, Tolerance, std::less<>> WindowsAccuracy() {
    std::map<std::string, Tolerance, std::less<>> table;
    std::ifstream file(VANTREL_ACCURACY_TABLE);
    EXPECT_TRUE(file) << VANTREL_ACCURACY_TABLE;
    std::vector<std::string> header;
    std::size_t exactColumn = 0, ulpsColumn = 0;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> fields = CsvFields(line);
        if (header.empty()) {
            header = fields;
            const auto column = [&](std::string_view name) {
                const auto found = std::find(header.begin(), header.end(), name);
                EXPECT_NE(found, header.end()) << "no column " << name;
                return static_cast<std::size_t>(found - header.begin());
            };
            EXPECT_EQ(header.front(), "function");
            exactColumn = column("windows_exact");
            ulpsColumn = column("windows_documented_ulps");
            continue;
        }
        EXPECT_EQ(fields.size(), header.size()) << line;
        if (fields.size() != header.size()) continue;
        const std::string& exact = fields[exactColumn];
        const CatalogueEntry* entry = FindFunction(fields[0]);
        EXPECT_NE(entry, nullptr) << line;
        if (entry != nullptr && !entry->exported) {
            EXPECT_EQ(exact, "") << "the library's own, measured as in the plug-in: " << line;
            EXPECT_EQ(fields[ulpsColumn], "") << line;
            continue;
        }
        EXPECT_TRUE(exact == "1" || exact == "0") << line;
        EXPECT_TRUE(
            table.emplace(fields[0], Tolerance{exact == "1", std::stoll(fields[ulpsColumn])})
                .second)
            << "twice: " << line;
    }
    return table;
}

std::int64_t UlpDistance(double a, double b) {
    auto key = [](double d) {
        const auto bits = std::bit_cast<std::int64_t>(d);
        return bits < 0 ? std::numeric_limits<std::int64_t>::min() - bits : bits;
    };
    return std::llabs(key(a) - key(b));
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string out = std::to_string(bytes.size());
    char b[4];
    for (std::uint8_t byte : bytes) {
        std::snprintf(b, sizeof b, " %02x", byte);
        out += b;
    }
    return out;
}

// " " and the exact value, as strtod reads it back.
std::string Argument(double d) {
    char b[64];
    std::snprintf(b, sizeof b, " %a", d);
    return b;
}

TEST(Dll, EvaluatesACountRateFromTheCommandLine) {
    const HostRun run = Host("", "CountRate 1000 50");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.lines, std::vector<std::string>{"20"});
}

TEST(Dll, AccuracyTableHasEveryFunctionOnce) {
    const auto table = WindowsAccuracy();
    EXPECT_EQ(table.size(), kHostFunctionCount);
    for (const CatalogueEntry& e : kHostCatalogue) {
        const auto row = table.find(e.name);
        ASSERT_NE(row, table.end()) << e.name;
        if (row->second.exact) {
            EXPECT_EQ(row->second.documentedUlps, 0) << e.name;
        }
    }
}

// Every documented value through message 14 and through the address from
// message 15: the same bits by both routes, status 0, nothing but the result
// slot written, and the documented value as far as the accuracy table allows.
TEST(Dll, DocumentedValuesByBothRoutes) {
    const auto table = WindowsAccuracy();
    const std::vector<EdgeCase> cases = AllEdgeCases();
    std::string input;
    for (const EdgeCase& c : cases) {
        input += std::string(c.function);
        for (double a : c.arguments) input += Argument(a);
        input += "\n";
    }
    const HostRun run = Host("", "batch", input);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(run.lines.size(), cases.size()) << run.output;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const EdgeCase& c = cases[i];
        char name[64];
        std::uint64_t viaMessage = 0, viaAddress = 0;
        long long statusMessage = -1, statusAddress = -1;
        char clean[16] = {};
        ASSERT_EQ(
            std::sscanf(run.lines[i].c_str(), "%63s %" SCNx64 " %" SCNx64 " %lld %lld %15s", name,
                        &viaMessage, &viaAddress, &statusMessage, &statusAddress, clean),
            6)
            << run.lines[i];
        const std::string call = Describe(c);
        EXPECT_EQ(std::string(name), c.function);
        EXPECT_EQ(viaMessage, viaAddress) << call;
        EXPECT_EQ(statusMessage, 0) << call;
        EXPECT_EQ(statusAddress, 0) << call;
        EXPECT_STREQ(clean, "clean") << call;
        const auto tolerance = table.find(c.function);
        ASSERT_NE(tolerance, table.end()) << c.function;
        const double got = std::bit_cast<double>(viaMessage);
        if (std::isnan(c.expected)) {
            EXPECT_TRUE(std::isnan(got)) << call << " = " << got;
        } else if (tolerance->second.exact) {
            EXPECT_EQ(viaMessage, std::bit_cast<std::uint64_t>(c.expected))
                << call << " = " << std::hexfloat << got << ", expected " << c.expected;
        } else {
            const std::int64_t ulps = UlpDistance(got, c.expected);
            EXPECT_LE(ulps, tolerance->second.documentedUlps)
                << call << " = " << std::hexfloat << got << ", expected " << c.expected;
            // Where the C runtime's rounding shows, say so: the record of how
            // far the DLL is from the documented bits.
            if (ulps != 0)
                std::printf("  %s = %.17g: %lld ulp from %.17g\n", call.c_str(), got,
                            static_cast<long long>(ulps), c.expected);
        }
    }
}

// Arguments of every kind from integer arithmetic alone, so that every
// platform draws the same: any bit pattern, infinities, signed zeros, small
// integers (the exact zero tests) and ordinary values of either sign.
std::vector<double> RecordedRow(std::mt19937_64& random, std::size_t arguments) {
    static constexpr double kSpecial[] = {0.0, -0.0, 1.0, -1.0, 90.0, 180.0, 1e300, -1e300, 5e-324};
    std::vector<double> row;
    for (std::size_t k = 0; k < arguments; ++k) {
        const std::uint64_t word = random();
        switch (word % 16) {
            case 0:
                row.push_back(std::bit_cast<double>(random()));
                break;
            case 1:
                row.push_back(kSpecial[(word >> 8) % std::size(kSpecial)]);
                break;
            case 2:
            case 3:
                row.push_back(static_cast<double>(static_cast<int>((word >> 8) % 7) - 3));
                break;
            default: {
                const double unit = static_cast<double>(word >> 11) * 0x1p-53;  // [0, 1)
                row.push_back(((word >> 4) % 8 == 0 ? -100.0 : 100.0) * unit);
            }
        }
    }
    return row;
}

// The plug-in's values do not move: per function, a digest of the bits both
// routes give on 1000 rows of every kind, against the digests recorded when
// the values were last verified (tests/plugin_values.txt). A deliberate
// change of values records new digests: VANTREL_RECORD_PLUGIN_VALUES=1.
TEST(Dll, ValuesAsRecorded) {
    constexpr std::size_t kRows = 1000;
    std::string input;
    for (const CatalogueEntry& e : kHostCatalogue) {
        std::mt19937_64 random(20261208 + IndexOf(e));
        for (std::size_t r = 0; r < kRows; ++r) {
            input += std::string(e.name);
            for (double a : RecordedRow(random, e.argumentCount)) input += Argument(a);
            input += "\n";
        }
    }
    const HostRun run = Host("", "batch", input);
    ASSERT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.lines.size(), kRows * kHostFunctionCount);
    std::map<std::string, std::string> digests;
    for (std::size_t i = 0; i < kHostFunctionCount; ++i) {
        std::uint64_t digest = 0xcbf29ce484222325;  // FNV-1a over the lines' bits
        for (std::size_t r = 0; r < kRows; ++r) {
            for (char c : run.lines[i * kRows + r])
                digest = (digest ^ static_cast<unsigned char>(c)) * 0x100000001b3;
        }
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016" PRIx64, digest);
        digests[std::string(kCatalogue[i].name)] = hex;
    }
    const std::string path = VANTREL_PLUGIN_VALUES;
    if (std::getenv("VANTREL_RECORD_PLUGIN_VALUES") != nullptr) {
        std::ofstream out(path);
        out << "# Per function: FNV-1a of what the stand-in host's batch command prints for the "
               "rows\n"
               "# of tests/dll_test.cpp (ValuesAsRecorded). Rewritten only when values change on "
               "purpose.\n";
        for (const CatalogueEntry& e : kHostCatalogue)
            out << e.name << ' ' << digests[std::string(e.name)] << '\n';
    }
    std::ifstream recorded(path);
    ASSERT_TRUE(recorded) << path;
    std::size_t compared = 0;
    for (std::string line; std::getline(recorded, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, digest;
        fields >> name >> digest;
        EXPECT_EQ(digests[name], digest) << name << "'s values in the plug-in have moved";
        ++compared;
    }
    EXPECT_EQ(compared, kHostFunctionCount);
}

// No body is still a placeholder: each function gives at least one documented
// finite value in the DLL.
TEST(Dll, EveryCatalogueEntryHasItsBody) {
    std::map<std::string, std::string> witness;
    for (const EdgeCase& c : AllEdgeCases()) {
        if (std::isfinite(c.expected) && c.expected != 0.0 &&
            !witness.count(std::string(c.function))) {
            std::string line(c.function);
            for (double a : c.arguments) line += Argument(a);
            witness[std::string(c.function)] = line;
        }
    }
    std::string input;
    for (const CatalogueEntry& e : kHostCatalogue) {
        ASSERT_TRUE(witness.count(std::string(e.name)))
            << e.name << " has no documented finite value";
        input += witness[std::string(e.name)] + "\n";
    }
    const HostRun run = Host("", "batch", input);
    ASSERT_EQ(run.lines.size(), kHostFunctionCount);
    for (std::size_t i = 0; i < kHostFunctionCount; ++i) {
        std::uint64_t bits = 0;
        char name[64];
        std::sscanf(run.lines[i].c_str(), "%63s %" SCNx64, name, &bits);
        EXPECT_FALSE(std::isnan(std::bit_cast<double>(bits)))
            << kCatalogue[i].name << " is a placeholder";
    }
}

TEST(Dll, CatalogueAsTheHostReadsIt) {
    const HostRun run = Host("", "list");
    ASSERT_EQ(run.lines.size(), kHostFunctionCount);
    for (std::size_t i = 0; i < kHostFunctionCount; ++i) {
        EXPECT_EQ(run.lines[i], std::to_string(i) + " " + std::string(kCatalogue[i].name) + " " +
                                    std::to_string(kCatalogue[i].argumentCount));
    }
}

TEST(Dll, ResourcesByteForByte) {
    const HostRun run = Host("", "resources");
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Contains(run, "XOPF " + Hex(resources::FunctionCatalogueResource())));
    EXPECT_TRUE(Contains(run, "STR# " + Hex(resources::ErrorTextResource())));
    EXPECT_TRUE(Contains(run, "XOPI 10 04 00 00 00 02 00 00 00 20 03"));
    EXPECT_EQ(resources::FunctionCatalogueResource().size(), 1723u);
    EXPECT_EQ(resources::ErrorTextResource().size(), 410u);
    EXPECT_TRUE(Contains(run, "VERSION-2057 present"));
    EXPECT_TRUE(Contains(run, "MANIFEST-1033 present"));
    EXPECT_TRUE(Contains(
        run, "version: file=1.20.0.1 product=5.0.2.1 mask=0x17 flags=0x0 os=0x4 type=0 subtype=0"));
    EXPECT_TRUE(Contains(run, "translation: 0809 04b0"));
    const char* strings[] = {
        "string: Comments=This Igor Pro extension runs with Igor Pro 5.02 or later",
        "string: FileDescription=Vantrel",
        "string: FileVersion=1, 20, 0, 1",
        "string: InternalName=Vantrel",
        "string: OriginalFilename=Vantrel.xop",
        "string: ProductName=IGOR Pro Vantrel",
        "string: ProductVersion=5, 0, 2, 1",
    };
    for (const char* s : strings) EXPECT_TRUE(Contains(run, s)) << s << "\n" << run.output;
    const std::string manifest = run.output.substr(run.output.find("manifest: "));
    EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\""),
              std::string::npos);
}

TEST(Dll, LoadGate) {
    struct Case {
        std::string options;
        std::string expected;
    } cases[] = {
        {"--host-version 8040", "XOPMain: returned=0 result=0 entry=set protocol=record"},
        {"--host-version 8049", "XOPMain: returned=0 result=0 entry=set protocol=record"},
        {"--host-version 8039", "XOPMain: returned=1 result=10001 entry=set protocol=record"},
        {"--host-version 8030", "XOPMain: returned=1 result=10001 entry=set protocol=record"},
        {"--host-version 6190", "XOPMain: returned=1 result=10001 entry=set protocol=list"},
        {"--host-version 9000 --refuse-record",
         "XOPMain: returned=0 result=0 entry=set protocol=list"},
        // The version resource of the host module when message 238 is refused.
        {"--refuse-version", "XOPMain: returned=0 result=0 entry=set protocol=record"},
        {"--refuse-version --version-module " + kBuild + "/host-versions/host-8.0.4.dll",
         "XOPMain: returned=0 result=0 entry=set protocol=record"},
        {"--refuse-version --version-module " + kBuild + "/host-versions/host-8.0.3.dll",
         "XOPMain: returned=1 result=10001 entry=set protocol=record"},
        {"--refuse-version --version-module " + kBuild + "/host-versions/host-9.0.0.dll",
         "XOPMain: returned=0 result=0 entry=set protocol=record"},
        {"--refuse-version --version-module " + kBuild + "/host-versions/host-8.10.0.dll",
         "XOPMain: returned=0 result=0 entry=set protocol=record"},
        // 7.40.0 is 700 + 400: accepted only because minor is not cut to a digit.
        {"--refuse-version --version-module " + kBuild + "/host-versions/host-7.40.0.dll",
         "XOPMain: returned=0 result=0 entry=set protocol=record"},
        {"--refuse-version --no-host-module",
         "XOPMain: returned=1 result=10001 entry=set protocol=list"},
    };
    for (const Case& c : cases) {
        const HostRun run = Host(c.options, "load");
        EXPECT_EQ(run.exitCode, 0) << c.options << "\n" << run.output;
        EXPECT_TRUE(Contains(run, c.expected)) << c.options << "\n" << run.output;
    }
}

TEST(Dll, CallBacksByProtocolAndVersion) {
    struct Case {
        std::string options;
        std::vector<std::string> expected;
    } cases[] = {
        {"--host-version 9000",
         {"callback: protocol=list message=238 items=1",
          "callback: protocol=list message=221 items=1",
          "callback: protocol=record message=292 items=4"}},
        {"--host-version 9000 --refuse-record",
         {"callback: protocol=list message=238 items=1",
          "callback: protocol=list message=221 items=1",
          "callback: protocol=list message=292 items=4"}},
        {"--host-version 6500",
         {"callback: protocol=list message=238 items=1",
          "callback: protocol=list message=221 items=1"}},
        {"--host-version 6190", {"callback: protocol=list message=238 items=1"}},
    };
    for (const Case& c : cases) {
        const HostRun run = Host("--trace " + c.options, "load");
        std::vector<std::string> callbacks;
        for (const std::string& l : run.lines)
            if (l.rfind("callback:", 0) == 0) callbacks.push_back(l);
        EXPECT_EQ(callbacks, c.expected) << c.options;
        EXPECT_EQ(run.exitCode, 0) << run.output;
    }
    // The version block comes from the host's memory exports (the table is not
    // there yet) and goes back at once.
    const HostRun fallback = Host("--trace --refuse-version", "load");
    EXPECT_TRUE(Contains(
        fallback, "memory: export-newptr=1 export-disposeptr=1 table-newptr=0 table-disposeptr=0"))
        << fallback.output;
}

TEST(Dll, MessagesOutsideTheCatalogueAnswerZero) {
    const char* commands[] = {"message 15 46",   "message 15 -1",   "message 15 0xFFFFFFFF",
                              "message 14 46 0", "message 14 -1 0", "message 14 0 0",
                              "message 99 0 0",  "message 0",       "message 221 1"};
    for (const char* command : commands) {
        const HostRun run = Host("", command);
        EXPECT_EQ(run.lines, std::vector<std::string>{"result: 0"}) << command;
    }
    const HostRun address = Host("", "message 15 3");
    ASSERT_EQ(address.lines.size(), 1u);
    EXPECT_NE(address.lines[0], "result: 0");
}

TEST(Dll, MessagesFromAnotherThreadRaiseOneAlertAndAreAnswered) {
    const std::string input = "CountRate 10 2\nCountRateMonitor 2500 100000\n";
    const HostRun run = Host("--thread --ticks 5000", "batch", input);
    std::vector<std::string> alerts, results;
    for (const std::string& l : run.lines)
        (l.rfind("alert:", 0) == 0 ? alerts : results).push_back(l);
    EXPECT_EQ(alerts,
              std::vector<std::string>{"alert: owner=none caption=\"Emergency\" type=0 text=\"BUG: "
                                       "GetXOPMessage is not threadsafe.\\r\""});
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0], "CountRate 4014000000000000 4014000000000000 0 0 clean");
    EXPECT_EQ(results[1], "CountRateMonitor 3f9999999999999a 3f9999999999999a 0 0 clean");
    // Before tick 3600 no alert is due.
    const HostRun early = Host("--thread --ticks 100", "batch", input);
    for (const std::string& l : early.lines) EXPECT_NE(l.rfind("alert:", 0), 0u) << l;
}

TEST(Dll, ExportsOnlyXOPMainAndImportsOnlyWhatItMay) {
    std::FILE* pipe = popen((std::string(VANTREL_OBJDUMP) + " -p " + kModule).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string dump;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) dump.append(buffer, n);
    pclose(pipe);
    std::set<std::string> dlls, exports;
    std::map<std::string, std::set<std::string>> imports;
    std::istringstream lines(dump);
    std::string current;
    bool inExports = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("DLL Name: ") != std::string::npos) {
            current = line.substr(line.find("DLL Name: ") + 10);
            dlls.insert(current);
            continue;
        }
        if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos) {
            inExports = true;
            continue;
        }
        if (inExports && line.find("] ") != std::string::npos &&
            line.find('[') != std::string::npos) {
            exports.insert(line.substr(line.find("] ") + 2));
            continue;
        }
        if (line.empty()) {
            current.clear();
            inExports = false;
        }
        if (!current.empty()) {
            std::istringstream words(line);
            std::string a, b, name;
            if (words >> a >> b >> name && a != "vma:") imports[current].insert(name);
        }
    }
    EXPECT_NE(dump.find("Vantrel-64.xop"), std::string::npos);
    EXPECT_EQ(exports, std::set<std::string>{"XOPMain"});
    EXPECT_EQ(dlls, (std::set<std::string>{"KERNEL32.dll", "USER32.dll", "VERSION.dll",
                                           "msvcrt.dll", "Igor64.exe"}));
    EXPECT_EQ(imports["Igor64.exe"],
              (std::set<std::string>{"GetIgorModule", "TickCount", "NewPtr", "DisposePtr"}));
    // Everything else the module may import, each for a reason in docs/imports.md:
    // its own Win32 calls, the MinGW-w64 start-up code, snprintf and the C
    // runtime's math. No threading runtime: nothing that creates, suspends or
    // inspects threads, sets affinities or installs exception handlers.
    const std::map<std::string, std::set<std::string>> allowed = {
        {"KERNEL32.dll",
         {"GetCurrentThreadId", "GetModuleFileNameA", "DeleteCriticalSection",
          "EnterCriticalSection", "InitializeCriticalSection", "LeaveCriticalSection",
          "GetLastError", "Sleep", "TlsGetValue", "VirtualProtect", "VirtualQuery",
          "IsDBCSLeadByteEx", "MultiByteToWideChar", "WideCharToMultiByte"}},
        {"USER32.dll", {"MessageBoxA"}},
        {"VERSION.dll", {"GetFileVersionInfoA", "GetFileVersionInfoSizeA", "VerQueryValueA"}},
        {"msvcrt.dll",
         {"atan",
          "sinh",
          "cosh",
          "tanh",
          "_errno",
          "__setusermatherr",
          "memcpy",
          "memset",
          "strlen",
          "strncmp",
          "wcslen",
          "strerror",
          "localeconv",
          "___lc_codepage_func",
          "___mb_cur_max_func",
          "fputc",
          "fwrite",
          "vfprintf",
          "__iob_func",
          "abort",
          "malloc",
          "calloc",
          "realloc",
          "free",
          "_initterm",
          "_amsg_exit",
          "_lock",
          "_unlock"}},
    };
    for (const auto& [dll, names] : imports) {
        if (dll == "Igor64.exe") continue;
        const auto it = allowed.find(dll);
        ASSERT_NE(it, allowed.end()) << dll;
        for (const std::string& name : names)
            EXPECT_TRUE(it->second.count(name)) << dll << " " << name;
    }
}

}  // namespace
}  // namespace vantrel::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
