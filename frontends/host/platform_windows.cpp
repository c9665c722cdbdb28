#include <windows.h>

#include "host/platform.h"

// Exports of the host executable, resolved through an import library.
extern "C" {
__declspec(dllimport) HMODULE GetIgorModule(void);
__declspec(dllimport) std::uint32_t TickCount(void);
__declspec(dllimport) void* NewPtr(std::int64_t size);
__declspec(dllimport) void DisposePtr(void* block);
}

namespace vantrel::platform {

std::uint32_t CurrentThreadId() noexcept { return GetCurrentThreadId(); }
std::uint32_t HostTickCount() noexcept { return TickCount(); }
void* HostModule() noexcept { return GetIgorModule(); }
void* HostNewPtr(std::int64_t size) noexcept { return NewPtr(size); }
void HostDisposePtr(void* block) noexcept { DisposePtr(block); }

void ShowAlert(const char* text, const char* caption) noexcept {
    MessageBoxA(nullptr, text, caption, MB_OK);
}

std::uint32_t ModuleFileName(void* module, char* path, std::uint32_t size) noexcept {
    return GetModuleFileNameA(static_cast<HMODULE>(module), path, size);
}

std::uint32_t FileVersionInfoSize(const char* path) noexcept {
    DWORD ignored = 0;
    return GetFileVersionInfoSizeA(path, &ignored);
}

bool FileVersionInfo(const char* path, std::uint32_t size, void* block) noexcept {
    return GetFileVersionInfoA(path, 0, size, block) != 0;
}

bool QueryRootVersionValue(const void* block, const void** value, std::uint32_t* length) noexcept {
    void* found = nullptr;
    UINT foundLength = 0;
    char root[] = "\\";
    if (!VerQueryValueA(block, root, &found, &foundLength)) return false;
    *value = found;
    *length = foundLength;
    return true;
}

}  // namespace vantrel::platform
