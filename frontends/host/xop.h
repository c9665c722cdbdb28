// The host binding: load handshake, version gate, message routine, the two
// index dispatchers and the host-toolkit routines they reach.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/record.h"

namespace vantrel::host {

inline constexpr std::int32_t kFirstExtensionError = 10000;
inline constexpr std::int32_t kHostTooOldError = kFirstExtensionError + 1;
inline constexpr std::int32_t kMinimumHostVersion = 804;
inline constexpr std::int32_t kCallbackRecordMinimumVersion = 620;
inline constexpr std::int32_t kMemoryFunctionsMinimumVersion = 800;
inline constexpr std::uint32_t kThreadAlertIntervalTicks = 3600;

inline constexpr std::int16_t kCallFunctionMessage = 14;
inline constexpr std::int16_t kFunctionAddressMessage = 15;
inline constexpr std::int32_t kUseCallbackRecordMessage = 221;
inline constexpr std::int32_t kHostVersionMessage = 238;
inline constexpr std::int32_t kMemoryFunctionsMessage = 292;

// Written only by XOPInit (on the loading thread) and, for the alert time
// stamp, by the thread check.
struct ModuleState {
    IORecordHandle ioRecordHandle = nullptr;
    std::uint64_t mainThreadId = 0;
    std::int32_t hostVersion = 0;
    std::int32_t useCallbackRecord = 0;
    std::atomic<std::uint32_t> lastThreadAlertTick{0};
    MemoryFunctionTable memoryFunctions{};
};

ModuleState& Module() noexcept;
// Back to the state of a freshly loaded module (tests load many times).
void ResetModule() noexcept;

// Record accessors; each runs the thread check under its own name.
std::int32_t GetXOPMessage() noexcept;
std::int64_t GetXOPItem(int index) noexcept;
std::int64_t GetXOPResult() noexcept;
void SetXOPEntry(void (*routine)()) noexcept;
void SetXOPMessage(std::int32_t message) noexcept;
void SetXOPResult(std::int64_t result) noexcept;

std::int64_t CallHost(std::int32_t message) noexcept;
std::int64_t CallHost1(std::int32_t message, std::int64_t item) noexcept;
std::int64_t CallHost4(std::int32_t message, std::int64_t item1, std::int64_t item2,
                       std::int64_t item3, std::int64_t item4) noexcept;

std::int32_t QueryHostVersion() noexcept;
void* HostNewPtr(std::int64_t size) noexcept;
void HostDisposePtr(void* block) noexcept;

int IsMainThread() noexcept;
int WarnIfNotMainThread(const char* routineName) noexcept;
void EmergencyAlert(const char* text) noexcept;

void XOPInit(IORecordHandle handle) noexcept;
void ExtensionEntry() noexcept;
std::int32_t CallFunctionByIndex() noexcept;
std::int64_t FunctionAddressByIndex() noexcept;

}  // namespace vantrel::host

// The module's only export. Returns 0 when ready, 1 when the host is too old.
extern "C" std::int32_t XOPMain(vantrel::host::IORecordHandle handle) noexcept;
