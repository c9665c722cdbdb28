// Wire formats shared with the host: the I/O record, the call-back record and
// the memory-function table. The host lays them out on 2-byte boundaries, so
// fields are reached by byte offset and copied, never dereferenced in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vantrel::host {

// The host passes a pointer to a pointer to its record and may move the record,
// so the handle is dereferenced afresh at every access.
using IORecordHandle = unsigned char**;

namespace io_record {
inline constexpr std::size_t kResult = 6;      // int64: answer to the current message
inline constexpr std::size_t kCallback = 18;   // pointer: the host's call-back routine
inline constexpr std::size_t kEntry = 26;      // pointer: the module's message routine
inline constexpr std::size_t kMessage = 50;    // int16
inline constexpr std::size_t kItemCount = 58;  // int16
inline constexpr std::size_t kItems = 60;      // 8 bytes per item
}  // namespace io_record

namespace callback_record {
inline constexpr std::size_t kVersionField = 0;  // int32, always kVersion
inline constexpr std::size_t kHandle = 4;        // pointer
inline constexpr std::size_t kMessage = 12;      // int32
inline constexpr std::size_t kItemCount = 16;    // int32
inline constexpr std::size_t kItems = 20;        // pointer to 8-byte items
inline constexpr std::size_t kReserved = 28;     // 32 zero bytes
inline constexpr std::size_t kResult = 60;       // int64, written by the host
inline constexpr std::size_t kSize = 68;
inline constexpr std::int32_t kVersion = 1000;
}  // namespace callback_record

template <class T>
T ReadField(const unsigned char* record, std::size_t offset) noexcept {
    T value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

template <class T>
void WriteField(unsigned char* record, std::size_t offset, T value) noexcept {
    std::memcpy(record + offset, &value, sizeof value);
}

// The host's call-back routine takes one pointer: the I/O record handle, or a
// call-back record once the host has accepted that protocol.
using HostCallback = void (*)(void*);

using NewPtrFunction = void* (*)(std::int64_t size);
using DisposePtrFunction = void (*)(void* block);

// Filled by the host in answer to message 292; a null slot means "use the
// host export of that name".
struct MemoryFunctionTable {
    void* newHandle;
    void* getHandleSize;
    void* setHandleSize;
    void* handToHand;
    void* handAndHand;
    void* disposeHandle;
    NewPtrFunction newPtr;
    void* getPtrSize;
    void* setPtrSize;
    void* ptrToHand;
    void* ptrAndHand;
    DisposePtrFunction disposePtr;
};
static_assert(sizeof(MemoryFunctionTable) == 12 * 8);
static_assert(offsetof(MemoryFunctionTable, newPtr) == 6 * 8);
static_assert(offsetof(MemoryFunctionTable, disposePtr) == 11 * 8);

// VS_FIXEDFILEINFO, as the version resource holds it.
struct FixedFileInfo {
    std::uint32_t signature;
    std::uint32_t structVersion;
    std::uint32_t fileVersionMS;
    std::uint32_t fileVersionLS;
    std::uint32_t productVersionMS;
    std::uint32_t productVersionLS;
    std::uint32_t fileFlagsMask;
    std::uint32_t fileFlags;
    std::uint32_t fileOS;
    std::uint32_t fileType;
    std::uint32_t fileSubtype;
    std::uint32_t fileDateMS;
    std::uint32_t fileDateLS;
};
static_assert(sizeof(FixedFileInfo) == 52);
inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

}  // namespace vantrel::host
