#include "support/posix_platform.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "host/platform.h"

namespace vantrel::testing {

PosixPlatformHooks& PosixHooks() noexcept {
    static PosixPlatformHooks hooks;
    return hooks;
}

}  // namespace vantrel::testing

namespace vantrel::platform {

using testing::PosixHooks;

std::uint32_t CurrentThreadId() noexcept {
    // Kernel thread ids are never 0, which the module reserves for "not yet set".
    thread_local const auto id = static_cast<std::uint32_t>(gettid());
    return id;
}

std::uint32_t HostTickCount() noexcept {
    if (const auto* ticks = PosixHooks().ticks.load(std::memory_order_acquire)) {
        return ticks->load(std::memory_order_relaxed);
    }
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count() * 60 / 1000);
}

// There is no host executable with a version resource here: the version query
// relies on the host's answer to its message.
void* HostModule() noexcept { return nullptr; }
void* HostNewPtr(std::int64_t size) noexcept { return std::malloc(static_cast<std::size_t>(size)); }
void HostDisposePtr(void* block) noexcept { std::free(block); }

void ShowAlert(const char* text, const char* caption) noexcept {
    if (auto* alert = PosixHooks().alert.load(std::memory_order_acquire)) {
        alert(text, caption);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

std::uint32_t ModuleFileName(void*, char*, std::uint32_t) noexcept { return 0; }
std::uint32_t FileVersionInfoSize(const char*) noexcept { return 0; }
bool FileVersionInfo(const char*, std::uint32_t, void*) noexcept { return false; }
bool QueryRootVersionValue(const void*, const void**, std::uint32_t*) noexcept { return false; }

}  // namespace vantrel::platform
