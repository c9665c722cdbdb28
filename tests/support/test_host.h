// The host as the module meets it natively, for the tests of the host binding,
// the stress test, the fuzz target and the benchmarks: an I/O record at the
// offsets of frontends/host/record.h, deliberately only 2-byte aligned as the host lays
// it out, and a call-back routine that answers the load-time requests (221,
// 238, 292) as configured, by either protocol, and records every call-back.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "host/record.h"
#include "host/xop.h"
#include "vantrel/catalogue.h"

namespace vantrel::testing {

class TestHost {
public:
    // How the host answers the load-time requests.
    struct Answers {
        std::int32_t version = 8040;  // what message 238 fills in: version · 10
        bool refuseVersion = false;
        bool acceptRecordProtocol = true;
        bool fillMemoryTable = false;  // NewPtr and DisposePtr slots
    };

    // How a call-back reached the host: the message and items in the I/O
    // record (the argument is its handle), or a call-back record.
    enum class Protocol { kItemList, kCallbackRecord };

    struct CallBack {
        Protocol protocol = Protocol::kItemList;
        std::int32_t message = 0;
        std::vector<std::int64_t> items;
        std::int64_t answer = 0;
        // A call-back record's header as the module filled it in.
        std::int32_t recordVersion = 0;
        host::IORecordHandle recordHandle = nullptr;
        bool reservedClear = true;
    };

    using EntryRoutine = void (*)();

    // Items 0 to 3: the load-time requests write up to four.
    static constexpr std::size_t kItemCapacity = 4;
    static constexpr std::size_t kRecordSize = host::io_record::kItems + kItemCapacity * 8;

    TestHost() : TestHost(Answers{}) {}
    explicit TestHost(Answers configured)
        : answers(configured), storage_(new unsigned char[kRecordSize + 2]()) {
        record_ = storage_.get() + 2;
        host::WriteField(record_, host::io_record::kCallback, &TestHost::Callback);
        current_ = this;
    }
    ~TestHost() {
        if (current_ == this) current_ = nullptr;
    }
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // May change until the module asks.
    Answers answers;

    host::IORecordHandle Handle() noexcept { return &record_; }
    unsigned char* Record() noexcept { return record_; }
    std::int32_t Load() noexcept { return XOPMain(Handle()); }
    std::int64_t Result() const noexcept {
        return host::ReadField<std::int64_t>(record_, host::io_record::kResult);
    }
    EntryRoutine Entry() const noexcept {
        return host::ReadField<EntryRoutine>(record_, host::io_record::kEntry);
    }

    // The call-backs received, in order.
    const std::vector<CallBack>& CallBacks() const noexcept { return callBacks_; }

    // A message with its item count and the first two items in the record,
    // as the host lays them out before it calls the module.
    void Lay(std::int16_t message, std::int16_t count, std::int64_t item0 = 0,
             std::int64_t item1 = 0) noexcept {
        using namespace host::io_record;
        host::WriteField(record_, kMessage, message);
        host::WriteField(record_, kItemCount, count);
        host::WriteField(record_, kItems, item0);
        host::WriteField(record_, kItems + 8, item1);
    }

    // One message sent as the host sends it; returns the module's answer.
    std::int64_t Send(std::int16_t message, std::int16_t count, std::int64_t item0 = 0,
                      std::int64_t item1 = 0) noexcept {
        Lay(message, count, item0, item1);
        host::WriteField<std::int64_t>(record_, host::io_record::kResult, 0x5A5A5A5A);
        Entry()();
        return Result();
    }

    std::int64_t CallByMessage(std::int64_t index, void* block) noexcept {
        return Send(host::kCallFunctionMessage, 2, index, reinterpret_cast<std::intptr_t>(block));
    }
    ExternalFunction Address(std::int64_t index) noexcept {
        return reinterpret_cast<ExternalFunction>(Send(host::kFunctionAddressMessage, 1, index));
    }

    // The memory table's routines: calls made, and blocks taken and not given back.
    static inline std::atomic<int> tableNewPtrCalls{0};
    static inline std::atomic<int> tableBlocksOutstanding{0};

private:
    static void* TableNewPtr(std::int64_t size) {
        ++tableNewPtrCalls;
        ++tableBlocksOutstanding;
        return std::malloc(static_cast<std::size_t>(size));
    }
    static void TableDisposePtr(void* block) {
        --tableBlocksOutstanding;
        std::free(block);
    }

    std::int64_t Answer(std::int32_t message, const std::vector<std::int64_t>& items) {
        switch (message) {
            case host::kHostVersionMessage:
                if (answers.refuseVersion || items.empty()) return 1;
                host::WriteField(reinterpret_cast<unsigned char*>(items[0]), 0, answers.version);
                return 0;
            case host::kUseCallbackRecordMessage:
                return answers.acceptRecordProtocol ? 0 : 1;
            case host::kMemoryFunctionsMessage:
                if (answers.fillMemoryTable && items.size() == 4) {
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
        CallBack call{};
        unsigned char* answerTo;
        std::size_t resultField;
        // The module passes the record's handle with item lists, and its own
        // call-back record otherwise: which one it passed is the protocol.
        if (argument != self.Handle()) {
            using namespace host::callback_record;
            answerTo = static_cast<unsigned char*>(argument);
            resultField = kResult;
            call.protocol = Protocol::kCallbackRecord;
            call.message = host::ReadField<std::int32_t>(answerTo, kMessage);
            const auto* items = host::ReadField<const std::int64_t*>(answerTo, kItems);
            const auto count = host::ReadField<std::int32_t>(answerTo, kItemCount);
            if (count > 0) call.items.assign(items, items + count);
            call.recordVersion = host::ReadField<std::int32_t>(answerTo, kVersionField);
            call.recordHandle = host::ReadField<host::IORecordHandle>(answerTo, kHandle);
            for (std::size_t i = kReserved; i < kResult; ++i)
                call.reservedClear &= answerTo[i] == 0;
        } else {
            using namespace host::io_record;
            answerTo = self.record_;
            resultField = kResult;
            call.protocol = Protocol::kItemList;
            call.message = host::ReadField<std::int16_t>(answerTo, kMessage);
            const auto count = host::ReadField<std::int16_t>(answerTo, kItemCount);
            for (std::size_t i = 0; static_cast<int>(i) < count && i < kItemCapacity; ++i) {
                call.items.push_back(host::ReadField<std::int64_t>(answerTo, kItems + 8 * i));
            }
        }
        call.answer = self.Answer(call.message, call.items);
        host::WriteField(answerTo, resultField, call.answer);
        self.callBacks_.push_back(std::move(call));
    }

    static inline TestHost* current_ = nullptr;
    std::unique_ptr<unsigned char[]> storage_;
    unsigned char* record_;
    std::vector<CallBack> callBacks_;
};

}  // namespace vantrel::testing
