// A stand-in for the host application. It loads a module as the host does:
// builds the I/O record, answers the call-backs, reads the resources through
// the resource API, calls XOPMain and sends messages 14 and 15.
//
//   Igor64.exe [options] MODULE [list | resources | load | batch | NAME ARG...]
//
// Options
//   --host-version N      the integer answered to message 238 (default 9000, host 9.00)
//   --refuse-version      answer message 238 with an error: the module reads the
//                         version resource of the host module instead
//   --version-module PATH GetIgorModule returns this module (default: this program)
//   --no-host-module      GetIgorModule returns null
//   --refuse-record       answer message 221 with an error: item lists stay in use
//   --no-memory-table     leave the memory-function table of message 292 empty
//   --route message|address   call functions by message 14 (default) or directly
//                         through the address from message 15
//   --thread              send the messages from a second thread
//   --ticks N             the tick count starts at N and stays there (default: real)
//   --trace               print every call-back the module makes
#include <windows.h>

#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---- The host's I/O record, as this host lays it out --------------------------
constexpr std::size_t kRecordResult = 6;
constexpr std::size_t kRecordCallback = 18;
constexpr std::size_t kRecordEntry = 26;
constexpr std::size_t kRecordMessage = 50;
constexpr std::size_t kRecordItemCount = 58;
constexpr std::size_t kRecordItems = 60;
constexpr std::size_t kRecordItemCapacity = 16;
constexpr std::size_t kRecordSize = kRecordItems + 8 * kRecordItemCapacity;

// ---- The call-back record, as the module fills it in ------------------------------
constexpr std::size_t kCallbackVersion = 0;
constexpr std::size_t kCallbackHandle = 4;
constexpr std::size_t kCallbackMessage = 12;
constexpr std::size_t kCallbackItemCount = 16;
constexpr std::size_t kCallbackItems = 20;
constexpr std::size_t kCallbackReserved = 28;  // zero up to the result
constexpr std::size_t kCallbackResult = 60;
constexpr std::int32_t kCallbackRecordVersion = 1000;

// ---- The memory-function table of message 292 -----------------------------------
constexpr int kTableSlots = 12;
constexpr int kTableNewPtr = 6;
constexpr int kTableDisposePtr = 11;

template <class T>
T Get(const unsigned char* p, std::size_t offset) {
    T v;
    std::memcpy(&v, p + offset, sizeof v);
    return v;
}
template <class T>
void Put(unsigned char* p, std::size_t offset, T v) {
    std::memcpy(p + offset, &v, sizeof v);
}

struct Options {
    std::int32_t hostVersion = 9000;
    bool refuseVersion = false;
    const char* versionModule = nullptr;
    bool noHostModule = false;
    bool refuseRecord = false;
    bool memoryTable = true;
    bool addressRoute = false;
    bool secondThread = false;
    bool fixedTicks = false;
    std::uint32_t ticks = 0;
    bool trace = false;
};

Options gOptions;
unsigned char* gRecord = nullptr;
unsigned char** gHandle = &gRecord;
bool gRecordProtocol = false;
HMODULE gHostModule = nullptr;
int gNewPtrCalls = 0, gDisposePtrCalls = 0, gTableNewPtrCalls = 0, gTableDisposePtrCalls = 0;
int gProtocolErrors = 0;

void Trace(const char* format, ...) {
    if (!gOptions.trace) return;
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

// ---- Memory routines handed out through message 292 ----------------------------
void* TableNewPtr(std::int64_t size) {
    ++gTableNewPtrCalls;
    return std::malloc(static_cast<std::size_t>(size));
}
void TableDisposePtr(void* block) {
    ++gTableDisposePtrCalls;
    std::free(block);
}

// ---- The call-back routine --------------------------------------------------------
std::int64_t Answer(std::int32_t message, std::int32_t count, const std::int64_t* items) {
    switch (message) {
        case 238: {
            if (count < 1 || gOptions.refuseVersion) return 1;
            auto* version = reinterpret_cast<std::int32_t*>(items[0]);
            *version = gOptions.hostVersion;
            return 0;
        }
        case 221:
            if (count < 1 || items[0] != 1 || gOptions.refuseRecord) return 1;
            gRecordProtocol = true;  // from the next call-back on
            return 0;
        case 292: {
            if (count != 4) return 1;
            const char* name = reinterpret_cast<const char*>(items[0]);
            if (std::strcmp(name, "WMMemoryFunctions") != 0 || items[1] != 0 || items[2] != 800) {
                ++gProtocolErrors;
                return 1;
            }
            void** table = reinterpret_cast<void**>(items[3]);
            for (int slot = 0; slot < kTableSlots; ++slot) {
                if (table[slot] != nullptr) ++gProtocolErrors;  // the module hands an empty table
            }
            if (gOptions.memoryTable) {
                table[kTableNewPtr] = reinterpret_cast<void*>(&TableNewPtr);
                table[kTableDisposePtr] = reinterpret_cast<void*>(&TableDisposePtr);
            }
            return 0;
        }
        default:
            return -1;
    }
}

void HostCallback(void* argument) {
    if (gRecordProtocol) {
        auto* record = static_cast<unsigned char*>(argument);
        const auto version = Get<std::int32_t>(record, kCallbackVersion);
        const auto handle = Get<unsigned char**>(record, kCallbackHandle);
        const auto message = Get<std::int32_t>(record, kCallbackMessage);
        const auto count = Get<std::int32_t>(record, kCallbackItemCount);
        const auto items = Get<const std::int64_t*>(record, kCallbackItems);
        bool reservedZero = true;
        for (std::size_t i = kCallbackReserved; i < kCallbackResult; ++i)
            reservedZero = reservedZero && record[i] == 0;
        if (argument == gHandle || version != kCallbackRecordVersion || handle != gHandle ||
            !reservedZero) {
            ++gProtocolErrors;
            std::printf("callback: malformed call-back record\n");
            return;
        }
        Trace("callback: protocol=record message=%d items=%d\n", message, count);
        Put<std::int64_t>(record, kCallbackResult, Answer(message, count, items));
        return;
    }
    if (argument != gHandle) {
        ++gProtocolErrors;
        std::printf("callback: expected the I/O record handle\n");
        return;
    }
    const auto message = Get<std::int16_t>(gRecord, kRecordMessage);
    const auto count = Get<std::int16_t>(gRecord, kRecordItemCount);
    std::int64_t items[kRecordItemCapacity] = {};
    for (int i = 0; i < count && i < static_cast<int>(kRecordItemCapacity); ++i) {
        items[i] = Get<std::int64_t>(gRecord, kRecordItems + 8 * i);
    }
    Trace("callback: protocol=list message=%d items=%d\n", message, count);
    Put<std::int64_t>(gRecord, kRecordResult, Answer(message, count, items));
}

// ---- Alerts: the module's MessageBoxA import is redirected here -----------------
int WINAPI CapturedMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::string shown;
    for (const char* c = text; *c; ++c)
        shown += (*c == '\r') ? std::string("\\r") : std::string(1, *c);
    std::printf("alert: owner=%s caption=\"%s\" type=%u text=\"%s\"\n", owner ? "window" : "none",
                caption, type, shown.c_str());
    return IDOK;
}

bool RedirectImport(HMODULE module, const char* dll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<unsigned char*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return false;
    for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         desc->Name != 0; ++desc) {
        if (_stricmp(reinterpret_cast<const char*>(base + desc->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
            DWORD old;
            VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(void*), old, &old);
            return true;
        }
    }
    return false;
}

// ---- Resources, read as the host reads them --------------------------------------
struct Resource {
    const unsigned char* data = nullptr;
    DWORD size = 0;
};

Resource FindModuleResource(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
    HRSRC found = FindResourceExA(module, type, name, language);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(module, found);
    return {static_cast<const unsigned char*>(LockResource(loaded)), SizeofResource(module, found)};
}

struct Function {
    std::string name;
    int index;
    int argumentCount;
};

std::vector<Function> ReadCatalogue(HMODULE module) {
    std::vector<Function> catalogue;
    const Resource xopf = FindModuleResource(module, "XOPF", MAKEINTRESOURCEA(1100), 1033);
    std::size_t at = 0;
    auto word = [&](std::size_t offset) {
        return static_cast<unsigned>(xopf.data[offset] | (xopf.data[offset + 1] << 8));
    };
    while (xopf.data != nullptr && at + 1 < xopf.size && xopf.data[at] != 0) {
        Function f;
        while (at < xopf.size && xopf.data[at] != 0) f.name += static_cast<char>(xopf.data[at++]);
        at += 1 + 4;  // zero byte, category, return type
        f.argumentCount = 0;
        while (at + 1 < xopf.size && word(at) != 0) {
            ++f.argumentCount;
            at += 2;
        }
        at += 2;
        f.index = static_cast<int>(catalogue.size());
        catalogue.push_back(f);
    }
    return catalogue;
}

void Dump(const char* label, const Resource& r) {
    std::printf("%s %lu", label, static_cast<unsigned long>(r.size));
    for (DWORD i = 0; i < r.size; ++i) std::printf(" %02x", r.data[i]);
    std::printf("\n");
}

void PrintResources(HMODULE module, const char* path) {
    Dump("XOPF", FindModuleResource(module, "XOPF", MAKEINTRESOURCEA(1100), 1033));
    Dump("STR#", FindModuleResource(module, "STR#", MAKEINTRESOURCEA(1100), 1033));
    Dump("XOPI", FindModuleResource(module, "XOPI", MAKEINTRESOURCEA(1100), 1033));
    const Resource version = FindModuleResource(module, RT_VERSION, MAKEINTRESOURCEA(1), 2057);
    std::printf("VERSION-2057 %s\n", version.data ? "present" : "missing");
    const Resource manifest = FindModuleResource(module, RT_MANIFEST, MAKEINTRESOURCEA(2), 1033);
    std::printf("MANIFEST-1033 %s\n", manifest.data ? "present" : "missing");
    if (manifest.data != nullptr) {
        std::string text(reinterpret_cast<const char*>(manifest.data), manifest.size);
        for (char& c : text)
            if (c == '\n' || c == '\r') c = ' ';
        std::printf("manifest: %s\n", text.c_str());
    }

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    std::vector<unsigned char> block(size);
    if (size == 0 || !GetFileVersionInfoA(path, 0, size, block.data())) {
        std::printf("version: unreadable\n");
        return;
    }
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueA(block.data(), "\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* info = static_cast<VS_FIXEDFILEINFO*>(value);
        std::printf(
            "version: file=%u.%u.%u.%u product=%u.%u.%u.%u mask=0x%lx flags=0x%lx os=0x%lx "
            "type=%lu subtype=%lu\n",
            HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
            HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS),
            HIWORD(info->dwProductVersionMS), LOWORD(info->dwProductVersionMS),
            HIWORD(info->dwProductVersionLS), LOWORD(info->dwProductVersionLS),
            info->dwFileFlagsMask, info->dwFileFlags, info->dwFileOS, info->dwFileType,
            info->dwFileSubtype);
    }
    if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) &&
        length >= 4) {
        const auto* pair = static_cast<WORD*>(value);
        std::printf("translation: %04x %04x\n", pair[0], pair[1]);
    }
    for (const char* key : {"Comments", "FileDescription", "FileVersion", "InternalName",
                            "OriginalFilename", "ProductName", "ProductVersion"}) {
        std::string query = std::string("\\StringFileInfo\\080904b0\\") + key;
        if (VerQueryValueA(block.data(), query.c_str(), &value, &length)) {
            std::printf("string: %s=%s\n", key, static_cast<const char*>(value));
        } else {
            std::printf("string: %s missing\n", key);
        }
    }
}

// ---- Messages --------------------------------------------------------------------
using EntryRoutine = void (*)();
using ExternalFunction = std::int32_t (*)(void*);

std::int64_t SendMessageToModule(std::int16_t message, std::vector<std::int64_t> items) {
    Put<std::int16_t>(gRecord, kRecordMessage, message);
    Put<std::int16_t>(gRecord, kRecordItemCount, static_cast<std::int16_t>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i) Put(gRecord, kRecordItems + 8 * i, items[i]);
    Put<std::int64_t>(gRecord, kRecordResult, 0x5555);
    auto entry = Get<EntryRoutine>(gRecord, kRecordEntry);
    auto run = [&] { entry(); };
    if (gOptions.secondThread) {
        std::thread(run).join();
    } else {
        run();
    }
    return Get<std::int64_t>(gRecord, kRecordResult);
}

struct Evaluation {
    double value;
    std::int64_t status;
    bool untouched;  // arguments and the slot beyond the result unchanged
};

Evaluation Evaluate(const Function& f, const std::vector<double>& arguments, bool addressRoute) {
    const int n = f.argumentCount;
    const double canary = -1.2345678e300;
    std::vector<double> block(n + 2, canary);
    for (int k = 0; k < n; ++k) block[n - 1 - k] = arguments[k];
    const std::vector<double> before = block;
    Evaluation e{};
    if (addressRoute) {
        const std::int64_t address = SendMessageToModule(15, {f.index});
        auto function = reinterpret_cast<ExternalFunction>(address);
        e.status = function != nullptr ? function(block.data()) : -999;
    } else {
        e.status = SendMessageToModule(14, {f.index, reinterpret_cast<std::int64_t>(block.data())});
    }
    e.value = block[n];
    e.untouched = std::memcmp(block.data(), before.data(), 8 * n) == 0 &&
                  std::memcmp(&block[n + 1], &before[n + 1], 8) == 0;
    return e;
}

std::uint64_t Bits(double d) {
    std::uint64_t b;
    std::memcpy(&b, &d, 8);
    return b;
}

const Function* Find(const std::vector<Function>& catalogue, const std::string& name) {
    for (const Function& f : catalogue)
        if (f.name == name) return &f;
    return nullptr;
}

// The shortest text that reads back as the same double.
void PrintValue(double v) {
    if (std::isnan(v)) {
        std::printf("nan\n");
        return;
    }
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;
    std::printf("%.*s\n", static_cast<int>(end - text), text);
}

// Lines "NAME ARG..." in, lines "NAME BITS14 BITS15 STATUS14 STATUS15 CLEAN" out.
int RunBatch(const std::vector<Function>& catalogue) {
    char line[4096];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        std::vector<std::string> words;
        for (char* w = std::strtok(line, " \t\r\n"); w; w = std::strtok(nullptr, " \t\r\n"))
            words.push_back(w);
        if (words.empty()) continue;
        const Function* f = Find(catalogue, words[0]);
        std::vector<double> args;
        for (std::size_t i = 1; i < words.size(); ++i)
            args.push_back(std::strtod(words[i].c_str(), nullptr));
        if (f == nullptr || static_cast<int>(args.size()) != f->argumentCount) {
            std::printf("%s error\n", words[0].c_str());
            continue;
        }
        const Evaluation byMessage = Evaluate(*f, args, false);
        const Evaluation byAddress = Evaluate(*f, args, true);
        std::printf("%s %016" PRIx64 " %016" PRIx64 " %" PRId64 " %" PRId64 " %s\n",
                    f->name.c_str(), Bits(byMessage.value), Bits(byAddress.value), byMessage.status,
                    byAddress.status,
                    byMessage.untouched && byAddress.untouched ? "clean" : "clobbered");
    }
    return 0;
}

}  // namespace

// ---- Exports the module imports from the host -------------------------------------
extern "C" {
__declspec(dllexport) HMODULE GetIgorModule(void) { return gHostModule; }
__declspec(dllexport) std::uint32_t TickCount(void) {
    return gOptions.fixedTicks ? gOptions.ticks
                               : static_cast<std::uint32_t>(GetTickCount64() * 60 / 1000);
}
__declspec(dllexport) void* NewPtr(std::int64_t size) {
    ++gNewPtrCalls;
    return std::malloc(static_cast<std::size_t>(size));
}
__declspec(dllexport) void DisposePtr(void* block) {
    ++gDisposePtrCalls;
    std::free(block);
}
}

int main(int argc, char** argv) {
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        const std::string option = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", option.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (option == "--host-version")
            gOptions.hostVersion = std::atoi(value());
        else if (option == "--refuse-version")
            gOptions.refuseVersion = true;
        else if (option == "--version-module")
            gOptions.versionModule = value();
        else if (option == "--no-host-module")
            gOptions.noHostModule = true;
        else if (option == "--refuse-record")
            gOptions.refuseRecord = true;
        else if (option == "--no-memory-table")
            gOptions.memoryTable = false;
        else if (option == "--route")
            gOptions.addressRoute = std::strcmp(value(), "address") == 0;
        else if (option == "--thread")
            gOptions.secondThread = true;
        else if (option == "--ticks") {
            gOptions.fixedTicks = true;
            gOptions.ticks = std::strtoul(value(), nullptr, 0);
        } else if (option == "--trace")
            gOptions.trace = true;
        else {
            std::fprintf(stderr, "unknown option %s\n", option.c_str());
            return 2;
        }
    }
    if (i >= argc) {
        std::fprintf(
            stderr,
            "usage: Igor64.exe [options] MODULE [list | resources | load | batch | NAME ARG...]\n");
        return 2;
    }
    const char* modulePath = argv[i++];
    const std::string command = i < argc ? argv[i++] : "load";

    if (gOptions.noHostModule) {
        gHostModule = nullptr;
    } else if (gOptions.versionModule != nullptr) {
        gHostModule = LoadLibraryA(gOptions.versionModule);
        if (gHostModule == nullptr) {
            std::fprintf(stderr, "cannot load %s\n", gOptions.versionModule);
            return 2;
        }
    } else {
        gHostModule = GetModuleHandleA(nullptr);
    }

    HMODULE module = LoadLibraryA(modulePath);
    if (module == nullptr) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", modulePath, GetLastError());
        return 2;
    }
    const std::vector<Function> catalogue = ReadCatalogue(module);
    if (command == "list") {
        for (const Function& f : catalogue)
            std::printf("%d %s %d\n", f.index, f.name.c_str(), f.argumentCount);
        return 0;
    }
    if (command == "resources") {
        PrintResources(module, modulePath);
        return 0;
    }

    RedirectImport(module, "user32.dll", "MessageBoxA",
                   reinterpret_cast<void*>(&CapturedMessageBox));
    auto xopMain = reinterpret_cast<std::int32_t (*)(unsigned char**)>(
        reinterpret_cast<void*>(GetProcAddress(module, "XOPMain")));
    if (xopMain == nullptr) {
        std::fprintf(stderr, "%s exports no XOPMain\n", modulePath);
        return 2;
    }
    std::vector<unsigned char> record(kRecordSize, 0);
    gRecord = record.data();
    Put(gRecord, kRecordCallback, &HostCallback);
    const std::int32_t loaded = xopMain(gHandle);
    const std::int64_t loadResult = Get<std::int64_t>(gRecord, kRecordResult);
    const bool entrySet = Get<EntryRoutine>(gRecord, kRecordEntry) != nullptr;

    int status = 0;
    if (command == "load") {
        std::printf("XOPMain: returned=%d result=%" PRId64 " entry=%s protocol=%s\n", loaded,
                    loadResult, entrySet ? "set" : "unset", gRecordProtocol ? "record" : "list");
    } else if (loaded != 0) {
        std::fprintf(stderr, "the module refused to load (result %" PRId64 ")\n", loadResult);
        return 1;
    } else if (command == "batch") {
        status = RunBatch(catalogue);
    } else if (command == "message") {
        std::vector<std::int64_t> items;
        const auto message = static_cast<std::int16_t>(std::strtol(argv[i++], nullptr, 0));
        for (; i < argc; ++i) items.push_back(std::strtoll(argv[i], nullptr, 0));
        std::printf("result: %" PRId64 "\n", SendMessageToModule(message, items));
    } else {
        const Function* f = Find(catalogue, command);
        if (f == nullptr) {
            std::fprintf(stderr, "no function %s\n", command.c_str());
            return 2;
        }
        std::vector<double> args;
        for (; i < argc; ++i) args.push_back(std::strtod(argv[i], nullptr));
        if (static_cast<int>(args.size()) != f->argumentCount) {
            std::fprintf(stderr, "%s takes %d arguments\n", f->name.c_str(), f->argumentCount);
            return 2;
        }
        const Evaluation e = Evaluate(*f, args, gOptions.addressRoute);
        PrintValue(e.value);
        if (e.status != 0) status = 1;
    }
    Trace("memory: export-newptr=%d export-disposeptr=%d table-newptr=%d table-disposeptr=%d\n",
          gNewPtrCalls, gDisposePtrCalls, gTableNewPtrCalls, gTableDisposePtrCalls);
    if (gProtocolErrors != 0) {
        std::printf("protocol errors: %d\n", gProtocolErrors);
        return 3;
    }
    return status;
}
