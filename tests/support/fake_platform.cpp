#include "support/fake_platform.h"

#include <cstdlib>
#include <cstring>

#include "host/platform.h"

namespace vantrel::testing {

FakePlatform& Fake() {
    static FakePlatform fake;
    return fake;
}

}  // namespace vantrel::testing

namespace vantrel::platform {

using testing::Fake;

std::uint32_t CurrentThreadId() noexcept { return Fake().threadId; }
std::uint32_t HostTickCount() noexcept { return Fake().ticks; }
void* HostModule() noexcept { return Fake().hostModule; }

void* HostNewPtr(std::int64_t size) noexcept {
    ++Fake().newPtrCalls;
    ++Fake().outstandingBlocks;
    return std::malloc(static_cast<std::size_t>(size));
}

void HostDisposePtr(void* block) noexcept {
    ++Fake().disposePtrCalls;
    --Fake().outstandingBlocks;
    std::free(block);
}

void ShowAlert(const char* text, const char* caption) noexcept {
    Fake().alerts.emplace_back(text, caption);
}

std::uint32_t ModuleFileName(void*, char* path, std::uint32_t size) noexcept {
    const std::string& name = Fake().moduleFileName;
    const std::size_t copied = std::min<std::size_t>(name.size(), size - 1);
    std::memcpy(path, name.data(), copied);
    path[copied] = '\0';
    if (Fake().moduleFileNameResult) return *Fake().moduleFileNameResult;
    return static_cast<std::uint32_t>(name.size() >= size ? size : name.size());
}

std::uint32_t FileVersionInfoSize(const char*) noexcept { return Fake().versionInfoSize; }

bool FileVersionInfo(const char*, std::uint32_t size, void* block) noexcept {
    if (!Fake().versionInfoSucceeds) return false;
    std::memset(block, 0, size);
    if (size >= sizeof(host::FixedFileInfo)) {
        std::memcpy(block, &Fake().fixedInfo, sizeof(host::FixedFileInfo));
    }
    return true;
}

bool QueryRootVersionValue(const void* block, const void** value, std::uint32_t* length) noexcept {
    if (!Fake().queryRootSucceeds) return false;
    *value = block;
    *length = Fake().fixedInfoLength;
    return true;
}

}  // namespace vantrel::platform
