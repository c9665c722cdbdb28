// The few Windows calls and host exports the host binding needs. The DLL links
// the Windows implementation; native builds link a fake or a POSIX stand-in.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantrel::platform {

std::uint32_t CurrentThreadId() noexcept;                        // GetCurrentThreadId
std::uint32_t HostTickCount() noexcept;                          // host export TickCount
void* HostModule() noexcept;                                     // host export GetIgorModule
void* HostNewPtr(std::int64_t size) noexcept;                    // host export NewPtr
void HostDisposePtr(void* block) noexcept;                       // host export DisposePtr
void ShowAlert(const char* text, const char* caption) noexcept;  // MessageBoxA, OK only

// GetModuleFileNameA: characters written, 0 on failure, `size` when cut short.
std::uint32_t ModuleFileName(void* module, char* path, std::uint32_t size) noexcept;
std::uint32_t FileVersionInfoSize(const char* path) noexcept;
bool FileVersionInfo(const char* path, std::uint32_t size, void* block) noexcept;
// VerQueryValueA(block, "\\"): the fixed file information and its length.
bool QueryRootVersionValue(const void* block, const void** value, std::uint32_t* length) noexcept;

}  // namespace vantrel::platform
