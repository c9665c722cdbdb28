#include "host/xop.h"

#include <cstdio>
#include <cstring>

#include "catalogue/bodies.h"
#include "host/platform.h"

namespace vantrel::host {

namespace {

ModuleState gModule;

unsigned char* Record() noexcept { return *gModule.ioRecordHandle; }

HostCallback Callback() noexcept { return ReadField<HostCallback>(Record(), io_record::kCallback); }

void SetItemCount(std::int16_t count) noexcept {
    WriteField(Record(), io_record::kItemCount, count);
}

std::int64_t CallHostWithItems(std::int32_t message, const std::int64_t* items,
                               std::int16_t count) noexcept {
    if (gModule.useCallbackRecord) {
        alignas(8) unsigned char record[callback_record::kSize] = {};
        WriteField(record, callback_record::kVersionField, callback_record::kVersion);
        WriteField(record, callback_record::kHandle, gModule.ioRecordHandle);
        WriteField(record, callback_record::kMessage, message);
        WriteField(record, callback_record::kItemCount, std::int32_t{count});
        WriteField(record, callback_record::kItems, items);
        Callback()(record);
        return ReadField<std::int64_t>(record, callback_record::kResult);
    }
    SetItemCount(count);
    for (std::int16_t i = 0; i < count; ++i) {
        WriteField(Record(), io_record::kItems + 8 * static_cast<std::size_t>(i), items[i]);
    }
    return CallHost(message);
}

std::int32_t VersionFromResource() noexcept {
    void* const module = platform::HostModule();
    if (module == nullptr) return 0;
    char path[256];
    const std::uint32_t length = platform::ModuleFileName(module, path, sizeof path);
    // A path that fills the buffer was cut short and names some other file.
    if (length == 0 || length >= sizeof path) return 0;
    const std::uint32_t size = platform::FileVersionInfoSize(path);
    if (size == 0) return 0;
    void* const block = HostNewPtr(size);
    if (block == nullptr) return 0;
    std::int32_t version = 0;
    const void* value = nullptr;
    std::uint32_t valueLength = 0;
    if (platform::FileVersionInfo(path, size, block) &&
        platform::QueryRootVersionValue(block, &value, &valueLength) && value != nullptr &&
        valueLength >= sizeof(FixedFileInfo)) {
        FixedFileInfo info;
        std::memcpy(&info, value, sizeof info);
        if (info.signature == kFixedFileInfoSignature) {
            const std::int32_t major = static_cast<std::int32_t>(info.fileVersionMS >> 16);
            const std::int32_t minor = static_cast<std::int32_t>(info.fileVersionMS & 0xFFFF);
            const std::int32_t patch = static_cast<std::int32_t>(info.fileVersionLS >> 16);
            version = major * 100 + minor * 10 + patch;
        }
    }
    HostDisposePtr(block);
    return version;
}

}  // namespace

ModuleState& Module() noexcept { return gModule; }

void ResetModule() noexcept {
    gModule.ioRecordHandle = nullptr;
    gModule.mainThreadId = 0;
    gModule.hostVersion = 0;
    gModule.useCallbackRecord = 0;
    gModule.lastThreadAlertTick.store(0, std::memory_order_relaxed);
    gModule.memoryFunctions = MemoryFunctionTable{};
}

std::int32_t GetXOPMessage() noexcept {
    WarnIfNotMainThread("GetXOPMessage");
    return ReadField<std::int16_t>(Record(), io_record::kMessage);
}

std::int64_t GetXOPItem(int index) noexcept {
    WarnIfNotMainThread("GetXOPItem");
    const std::int16_t count = ReadField<std::int16_t>(Record(), io_record::kItemCount);
    if (index < 0 || index >= count) return 0;
    return ReadField<std::int64_t>(Record(),
                                   io_record::kItems + 8 * static_cast<std::size_t>(index));
}

std::int64_t GetXOPResult() noexcept {
    WarnIfNotMainThread("GetXOPResult");
    return ReadField<std::int64_t>(Record(), io_record::kResult);
}

void SetXOPEntry(void (*routine)()) noexcept {
    WarnIfNotMainThread("SetXOPEntry");
    WriteField(Record(), io_record::kEntry, routine);
}

void SetXOPMessage(std::int32_t message) noexcept {
    WarnIfNotMainThread("SetXOPMessage");
    WriteField(Record(), io_record::kMessage, static_cast<std::int16_t>(message));
}

void SetXOPResult(std::int64_t result) noexcept {
    WarnIfNotMainThread("SetXOPResult");
    WriteField(Record(), io_record::kResult, result);
}

std::int64_t CallHost(std::int32_t message) noexcept {
    SetXOPResult(0);
    SetXOPMessage(message);
    Callback()(gModule.ioRecordHandle);
    return GetXOPResult();
}

std::int64_t CallHost1(std::int32_t message, std::int64_t item) noexcept {
    const std::int64_t items[1] = {item};
    return CallHostWithItems(message, items, 1);
}

std::int64_t CallHost4(std::int32_t message, std::int64_t item1, std::int64_t item2,
                       std::int64_t item3, std::int64_t item4) noexcept {
    const std::int64_t items[4] = {item1, item2, item3, item4};
    return CallHostWithItems(message, items, 4);
}

std::int32_t QueryHostVersion() noexcept {
    std::int32_t version = 0;
    if (CallHost1(kHostVersionMessage, reinterpret_cast<std::intptr_t>(&version)) == 0) {
        return version / 10;
    }
    return VersionFromResource();
}

void* HostNewPtr(std::int64_t size) noexcept {
    if (gModule.memoryFunctions.newPtr != nullptr) return gModule.memoryFunctions.newPtr(size);
    return platform::HostNewPtr(size);
}

void HostDisposePtr(void* block) noexcept {
    if (block == nullptr) return;
    if (gModule.memoryFunctions.disposePtr != nullptr) {
        gModule.memoryFunctions.disposePtr(block);
    } else {
        platform::HostDisposePtr(block);
    }
}

int IsMainThread() noexcept {
    return std::uint64_t{platform::CurrentThreadId()} == gModule.mainThreadId ? 1 : 0;
}

int WarnIfNotMainThread(const char* routineName) noexcept {
    if (IsMainThread()) return 1;
    const std::uint32_t now = platform::HostTickCount();
    std::uint32_t last = gModule.lastThreadAlertTick.load(std::memory_order_relaxed);
    // Elapsed ticks, not now < last + 3600: the wrapped sum would let every
    // check in the last 3600 ticks before the clock wraps raise an alert.
    if (static_cast<std::uint32_t>(now - last) < kThreadAlertIntervalTicks) return 0;
    // Claim the interval before showing the modal alert, so that threads
    // checking meanwhile stay silent.
    if (!gModule.lastThreadAlertTick.compare_exchange_strong(last, now,
                                                             std::memory_order_relaxed)) {
        return 0;
    }
    char text[256];
    std::snprintf(text, sizeof text, "BUG: %s is not threadsafe.\r", routineName);
    EmergencyAlert(text);
    return 0;
}

void EmergencyAlert(const char* text) noexcept { platform::ShowAlert(text, "Emergency"); }

void XOPInit(IORecordHandle handle) noexcept {
    gModule.ioRecordHandle = handle;
    if (gModule.mainThreadId == 0) gModule.mainThreadId = platform::CurrentThreadId();
    WarnIfNotMainThread("XOPInit");
    gModule.hostVersion = QueryHostVersion();
    if (gModule.hostVersion >= kCallbackRecordMinimumVersion) {
        if (CallHost1(kUseCallbackRecordMessage, 1) == 0) gModule.useCallbackRecord = 1;
    }
    if (gModule.hostVersion >= kMemoryFunctionsMinimumVersion) {
        static const char kMemoryFunctionsName[] = "WMMemoryFunctions";
        CallHost4(kMemoryFunctionsMessage, reinterpret_cast<std::intptr_t>(kMemoryFunctionsName), 0,
                  kMemoryFunctionsMinimumVersion,
                  reinterpret_cast<std::intptr_t>(&gModule.memoryFunctions));
    }
}

void ExtensionEntry() noexcept {
    switch (GetXOPMessage()) {
        case kCallFunctionMessage:
            SetXOPResult(CallFunctionByIndex());
            break;
        case kFunctionAddressMessage:
            SetXOPResult(FunctionAddressByIndex());
            break;
        default:
            SetXOPResult(0);
            break;
    }
}

std::int32_t CallFunctionByIndex() noexcept {
    const auto index = static_cast<std::uint32_t>(GetXOPItem(0));
    auto* const block = reinterpret_cast<FunctionParams*>(GetXOPItem(1));
    // The host never sends a null block, but a crash here would cost the user's session.
    if (index >= kBodies.size() || block == nullptr) return 0;
    return kBodies[index](block);
}

std::int64_t FunctionAddressByIndex() noexcept {
    const auto index = static_cast<std::uint32_t>(GetXOPItem(0));
    if (index >= kBodies.size()) return 0;
    return reinterpret_cast<std::intptr_t>(kBodies[index]);
}

}  // namespace vantrel::host

extern "C" std::int32_t XOPMain(vantrel::host::IORecordHandle handle) noexcept {
    using namespace vantrel::host;
    XOPInit(handle);
    SetXOPEntry(&ExtensionEntry);
    if (Module().hostVersion >= kMinimumHostVersion) {
        SetXOPResult(0);
        return 0;
    }
    SetXOPResult(kHostTooOldError);
    return 1;
}
