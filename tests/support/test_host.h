// A minimal host that loads the module natively and sends it messages, for the
// stress test, the fuzz target and the benchmarks: an I/O record at the wire
// offsets, deliberately only 2-byte aligned as the host lays it out, and a
// call-back routine that answers the load-time requests by either protocol.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "host/record.h"
#include "host/xop.h"
#include "vantrel/catalogue.h"

namespace vantrel::testing {

class TestHost {
public:
    struct Answers {
        std::int32_t version = 8040;  // what message 238 fills in: version · 10
        bool refuseVersion = false;
        bool acceptRecordProtocol = true;
        bool fillMemoryTable = false;  // NewPtr and DisposePtr slots
    };

    // Items 0 to 3: the load-time requests write up to four.
    static constexpr std::size_t kRecordSize = host::io_record::kItems + 4 * 8;

    TestHost() : TestHost(Answers{}) {}
    explicit TestHost(Answers answers) : answers_(answers), storage_(new unsigned char[kRecordSize + 2]()) {
        record_ = storage_.get() + 2;
        host::WriteField(record_, host::io_record::kCallback, &TestHost::Callback);
        current_ = this;
    }
    ~TestHost() {
        if (current_ == this) current_ = nullptr;
    }
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    host::IORecordHandle Handle() noexcept { return &record_; }
    unsigned char* Record() noexcept { return record_; }
    std::int32_t Load() noexcept { return XOPMain(Handle()); }
    std::int64_t Result() const noexcept { return host::ReadField<std::int64_t>(record_, host::io_record::kResult); }

    // One message with its item count and the first two items, as the host
    // sends it; returns the module's answer.
    std::int64_t Send(std::int16_t message, std::int16_t count, std::int64_t item0 = 0,
                      std::int64_t item1 = 0) noexcept {
        using namespace host::io_record;
        host::WriteField(record_, kMessage, message);
        host::WriteField(record_, kItemCount, count);
        host::WriteField(record_, kItems, item0);
        host::WriteField(record_, kItems + 8, item1);
        host::WriteField<std::int64_t>(record_, kResult, 0x5A5A5A5A);
        host::ReadField<void (*)()>(record_, kEntry)();
        return Result();
    }

    std::int64_t CallByMessage(std::int64_t index, void* block) noexcept {
        return Send(host::kCallFunctionMessage, 2, index, reinterpret_cast<std::intptr_t>(block));
    }
    ExternalFunction Address(std::int64_t index) noexcept {
        return reinterpret_cast<ExternalFunction>(Send(host::kFunctionAddressMessage, 1, index));
    }

    // Blocks the module took from the memory table and has not given back.
    static inline std::atomic<int> tableBlocksOutstanding{0};

private:
    static void* TableNewPtr(std::int64_t size) {
        ++tableBlocksOutstanding;
        return std::malloc(static_cast<std::size_t>(size));
    }
    static void TableDisposePtr(void* block) {
        --tableBlocksOutstanding;
        std::free(block);
    }

    std::int64_t Answer(std::int32_t message, const std::int64_t* items, std::int32_t count) {
        switch (message) {
            case host::kHostVersionMessage:
                if (answers_.refuseVersion || count < 1) return 1;
                host::WriteField(reinterpret_cast<unsigned char*>(items[0]), 0, answers_.version);
                return 0;
            case host::kUseCallbackRecordMessage:
                if (!answers_.acceptRecordProtocol) return 1;
                recordProtocol_ = true;
                return 0;
            case host::kMemoryFunctionsMessage:
                if (answers_.fillMemoryTable && count == 4) {
                    auto* table = reinterpret_cast<host::MemoryFunctionTable*>(items[3]);
                    table->newPtr = &TableNewPtr;
                    table->disposePtr = &TableDisposePtr;
                }
                return 0;
            default:
                return 1;
        }
    }

    static void Callback(void* argument) {
        TestHost& self = *current_;
        if (self.recordProtocol_ && argument != self.Handle()) {
            auto* record = static_cast<unsigned char*>(argument);
            using namespace host::callback_record;
            const auto* items = host::ReadField<const std::int64_t*>(record, kItems);
            const auto answer = self.Answer(host::ReadField<std::int32_t>(record, kMessage), items,
                                            host::ReadField<std::int32_t>(record, kItemCount));
            host::WriteField(record, kResult, answer);
            return;
        }
        using namespace host::io_record;
        std::int64_t items[4] = {};
        const auto count = host::ReadField<std::int16_t>(self.record_, kItemCount);
        for (int i = 0; i < count && i < 4; ++i) items[i] = host::ReadField<std::int64_t>(self.record_, kItems + 8 * i);
        const auto answer = self.Answer(host::ReadField<std::int16_t>(self.record_, kMessage), items, count);
        host::WriteField(self.record_, kResult, answer);
    }

    static inline TestHost* current_ = nullptr;
    Answers answers_;
    std::unique_ptr<unsigned char[]> storage_;
    unsigned char* record_;
    bool recordProtocol_ = false;
};

}  // namespace vantrel::testing
