// A controllable stand-in for the Windows calls and host exports, so that the
// host binding runs natively.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/record.h"

namespace vantrel::testing {

struct FakePlatform {
    std::uint32_t threadId = 100;
    std::uint32_t ticks = 10000;
    void* hostModule = reinterpret_cast<void*>(0x1000);
    std::string moduleFileName = "C:\\Program Files\\Host\\Igor64.exe";
    std::optional<std::uint32_t> moduleFileNameResult;  // overrides the length returned
    std::uint32_t versionInfoSize = 512;
    bool versionInfoSucceeds = true;
    bool queryRootSucceeds = true;
    host::FixedFileInfo fixedInfo{};
    std::uint32_t fixedInfoLength = sizeof(host::FixedFileInfo);
    std::vector<std::pair<std::string, std::string>> alerts;  // text, caption
    int newPtrCalls = 0;
    int disposePtrCalls = 0;
    int outstandingBlocks = 0;

    void SetFileVersion(std::uint16_t major, std::uint16_t minor, std::uint16_t patch,
                        std::uint16_t build) {
        fixedInfo.signature = host::kFixedFileInfoSignature;
        fixedInfo.fileVersionMS = (std::uint32_t{major} << 16) | minor;
        fixedInfo.fileVersionLS = (std::uint32_t{patch} << 16) | build;
    }
};

// The one fake the platform functions consult; tests reset it per test.
FakePlatform& Fake();

}  // namespace vantrel::testing
