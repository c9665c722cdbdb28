// The host binding against a fake host record and a fake platform.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "core/catalogue.h"
#include "host/xop.h"
#include "support/fake_platform.h"

namespace vantrel::testing {
namespace {

using namespace vantrel::host;

struct CallBack {
    bool viaRecord;
    std::int32_t message;
    std::vector<std::int64_t> items;
};

void* TableNewPtr(std::int64_t size);
void TableDisposePtr(void* block);

// A host as the module sees it: a record laid out at the documented byte
// offsets and a call-back routine that answers 221, 238 and 292.
class FakeHost {
public:
    FakeHost() {
        std::memset(record_, 0, sizeof record_);
        record = record_;
        WriteField(record, 18, &FakeHost::Callback);
        current = this;
    }
    ~FakeHost() { current = nullptr; }

    std::int32_t versionAnswer = 9000;
    bool refuseVersion = false;
    bool acceptRecordProtocol = true;
    bool fillMemoryTable = false;
    bool recordProtocol = false;
    std::vector<CallBack> calls;
    unsigned char* record;
    IORecordHandle handle = &record;

    std::int64_t Send(std::int16_t message, std::vector<std::int64_t> items) {
        WriteField(record, 50, message);
        WriteField(record, 58, static_cast<std::int16_t>(items.size()));
        for (std::size_t i = 0; i < items.size(); ++i) WriteField(record, 60 + 8 * i, items[i]);
        WriteField<std::int64_t>(record, 6, 0x5555);
        ReadField<void (*)()>(record, 26)();
        return ReadField<std::int64_t>(record, 6);
    }

    static inline int tableNewPtrCalls = 0;

private:
    static inline FakeHost* current = nullptr;
    alignas(8) unsigned char record_[60 + 8 * 8];

    std::int64_t Answer(std::int32_t message, const std::vector<std::int64_t>& items) {
        switch (message) {
            case 238:
                if (refuseVersion) return 1;
                *reinterpret_cast<std::int32_t*>(items.at(0)) = versionAnswer;
                return 0;
            case 221:
                if (!acceptRecordProtocol) return -1;
                recordProtocol = true;
                return 0;
            case 292:
                if (fillMemoryTable) {
                    auto* table = reinterpret_cast<MemoryFunctionTable*>(items.at(3));
                    table->newPtr = &TableNewPtr;
                    table->disposePtr = &TableDisposePtr;
                }
                return 0;
            default:
                return -1;
        }
    }

    static void Callback(void* argument) {
        FakeHost& host = *current;
        if (host.recordProtocol) {
            auto* rec = static_cast<unsigned char*>(argument);
            EXPECT_EQ(ReadField<std::int32_t>(rec, 0), 1000);
            EXPECT_EQ(ReadField<IORecordHandle>(rec, 4), host.handle);
            for (int i = 28; i < 60; ++i) EXPECT_EQ(rec[i], 0) << i;
            const auto count = ReadField<std::int32_t>(rec, 16);
            const auto* items = ReadField<const std::int64_t*>(rec, 20);
            CallBack call{true, ReadField<std::int32_t>(rec, 12), {items, items + count}};
            host.calls.push_back(call);
            WriteField(rec, 60, host.Answer(call.message, call.items));
            return;
        }
        EXPECT_EQ(argument, host.handle);
        CallBack call{false, ReadField<std::int16_t>(host.record, 50), {}};
        for (int i = 0; i < ReadField<std::int16_t>(host.record, 58); ++i) {
            call.items.push_back(ReadField<std::int64_t>(host.record, 60 + 8 * i));
        }
        host.calls.push_back(call);
        WriteField(host.record, 6, host.Answer(call.message, call.items));
    }
};

void* TableNewPtr(std::int64_t size) {
    ++FakeHost::tableNewPtrCalls;
    return std::malloc(static_cast<std::size_t>(size));
}
void TableDisposePtr(void* block) { std::free(block); }

class HostBinding : public ::testing::Test {
protected:
    void SetUp() override {
        ResetModule();
        Fake() = FakePlatform{};
        FakeHost::tableNewPtrCalls = 0;
    }
    std::int32_t Load() { return XOPMain(host.handle); }
    std::int64_t LoadResult() { return ReadField<std::int64_t>(host.record, 6); }

    FakeHost host;
};

TEST_F(HostBinding, GateAcceptsFrom804AndRegistersTheEntryEitherWay) {
    struct Case {
        std::int32_t answer;
        std::int32_t version;
        std::int32_t returned;
        std::int64_t result;
    } cases[] = {{8040, 804, 0, 0}, {8049, 804, 0, 0}, {8039, 803, 1, 10001},
                 {8030, 803, 1, 10001}, {9000, 900, 0, 0}, {-8040, -804, 1, 10001}};
    for (const Case& c : cases) {
        ResetModule();
        FakeHost fresh;
        fresh.versionAnswer = c.answer;
        EXPECT_EQ(XOPMain(fresh.handle), c.returned) << c.answer;
        EXPECT_EQ(ReadField<std::int64_t>(fresh.record, 6), c.result) << c.answer;
        EXPECT_EQ(Module().hostVersion, c.version);
        EXPECT_EQ(ReadField<void (*)()>(fresh.record, 26), &ExtensionEntry);
    }
}

TEST_F(HostBinding, VersionResourceFallbackRules) {
    host.refuseVersion = true;
    struct Case {
        const char* what;
        void (*setup)(FakePlatform&);
        std::int32_t version;
    } cases[] = {
        {"8.0.4.x", [](FakePlatform& f) { f.SetFileVersion(8, 0, 4, 1); }, 804},
        {"9.0.0.x", [](FakePlatform& f) { f.SetFileVersion(9, 0, 0, 1); }, 900},
        {"8.10.0.x: minor not limited to a digit", [](FakePlatform& f) { f.SetFileVersion(8, 10, 0, 1); }, 900},
        {"no host module", [](FakePlatform& f) { f.SetFileVersion(9, 0, 0, 0); f.hostModule = nullptr; }, 0},
        {"no file name", [](FakePlatform& f) { f.SetFileVersion(9, 0, 0, 0); f.moduleFileNameResult = 0; }, 0},
        {"path cut short",
         [](FakePlatform& f) { f.SetFileVersion(9, 0, 0, 0); f.moduleFileName = std::string(300, 'x'); }, 0},
        {"path of 255 characters fits",
         [](FakePlatform& f) { f.SetFileVersion(9, 0, 0, 0); f.moduleFileName = std::string(255, 'x'); }, 900},
        {"no version information", [](FakePlatform& f) { f.SetFileVersion(9, 0, 0, 0); f.versionInfoSize = 0; }, 0},
        {"reading fails", [](FakePlatform& f) { f.SetFileVersion(9, 0, 0, 0); f.versionInfoSucceeds = false; }, 0},
        {"query fails", [](FakePlatform& f) { f.SetFileVersion(9, 0, 0, 0); f.queryRootSucceeds = false; }, 0},
        {"short fixed information",
         [](FakePlatform& f) { f.SetFileVersion(9, 0, 0, 0); f.fixedInfoLength = 51; }, 0},
        {"wrong signature",
         [](FakePlatform& f) { f.SetFileVersion(9, 0, 0, 0); f.fixedInfo.signature = 0; }, 0},
    };
    for (const Case& c : cases) {
        ResetModule();
        Fake() = FakePlatform{};
        c.setup(Fake());
        host.calls.clear();
        host.recordProtocol = false;
        const std::int32_t returned = Load();
        EXPECT_EQ(Module().hostVersion, c.version) << c.what;
        EXPECT_EQ(returned, c.version >= 804 ? 0 : 1) << c.what;
        EXPECT_EQ(Fake().outstandingBlocks, 0) << c.what << ": version block not released";
    }
}

TEST_F(HostBinding, RecordProtocolOnlyFromHost620AndOnlyWhenAccepted) {
    host.versionAnswer = 6500;
    Load();
    ASSERT_EQ(host.calls.size(), 2u);  // 238, then 221; no 292 below 800
    EXPECT_EQ(host.calls[0].message, 238);
    EXPECT_EQ(host.calls[1].message, 221);
    EXPECT_FALSE(host.calls[1].viaRecord);
    EXPECT_EQ(host.calls[1].items, (std::vector<std::int64_t>{1}));
    EXPECT_EQ(Module().useCallbackRecord, 1);
    CallHost4(999, 1, 2, 3, 4);
    EXPECT_TRUE(host.calls.back().viaRecord);
    EXPECT_EQ(host.calls.back().items, (std::vector<std::int64_t>{1, 2, 3, 4}));

    // A 6.19 host is not asked; a host that refuses keeps item lists.
    for (std::int32_t answer : {6190, 9000}) {
        ResetModule();
        FakeHost fresh;
        fresh.versionAnswer = answer;
        fresh.acceptRecordProtocol = false;
        XOPMain(fresh.handle);
        EXPECT_EQ(Module().useCallbackRecord, 0);
        for (const CallBack& call : fresh.calls) {
            EXPECT_FALSE(call.viaRecord);
            if (answer == 6190) {
                EXPECT_NE(call.message, 221);
            }
        }
    }
}

TEST_F(HostBinding, MemoryFunctionRequestFrom800ByTheAcceptedProtocol) {
    host.fillMemoryTable = true;
    EXPECT_EQ(Load(), 0);
    ASSERT_EQ(host.calls.size(), 3u);
    const CallBack& request = host.calls[2];
    EXPECT_EQ(request.message, 292);
    EXPECT_TRUE(request.viaRecord);
    ASSERT_EQ(request.items.size(), 4u);
    EXPECT_STREQ(reinterpret_cast<const char*>(request.items[0]), "WMMemoryFunctions");
    EXPECT_EQ(request.items[1], 0);
    EXPECT_EQ(request.items[2], 800);
    EXPECT_EQ(request.items[3], reinterpret_cast<std::intptr_t>(&Module().memoryFunctions));
    // Filled slots replace the host exports; empty ones fall back to them.
    HostDisposePtr(HostNewPtr(16));
    EXPECT_EQ(FakeHost::tableNewPtrCalls, 1);
    EXPECT_EQ(Fake().newPtrCalls, 0);
    HostDisposePtr(nullptr);
    EXPECT_EQ(Fake().disposePtrCalls, 0);
}

TEST_F(HostBinding, FunctionMessagesDispatchByIndex) {
    ASSERT_EQ(Load(), 0);
    double block[3] = {2.0, 10.0, -1.0};
    EXPECT_EQ(host.Send(14, {0, reinterpret_cast<std::intptr_t>(block)}), 0);
    EXPECT_EQ(block[2], 5.0);

    // Index 3 by address and by message: same body, same slot value.
    const std::int64_t address = host.Send(15, {3});
    EXPECT_EQ(address, reinterpret_cast<std::intptr_t>(kCatalogue[3].body));
    double direct[7] = {1e-10, 1e-6, 1e-9, 1e-5, 10, 10000, 0};
    double viaMessage[7] = {1e-10, 1e-6, 1e-9, 1e-5, 10, 10000, 0};
    EXPECT_EQ(reinterpret_cast<ExternalFunction>(address)(reinterpret_cast<FunctionParams*>(direct)), 0);
    EXPECT_EQ(host.Send(14, {3, reinterpret_cast<std::intptr_t>(viaMessage)}), 0);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(direct[6]), std::bit_cast<std::uint64_t>(viaMessage[6]));
    EXPECT_EQ(direct[6], 10.285356368427902);

    // Only the low 32 bits of item 0 are the index.
    double high[3] = {2.0, 10.0, -1.0};
    EXPECT_EQ(host.Send(14, {std::int64_t{1} << 32, reinterpret_cast<std::intptr_t>(high)}), 0);
    EXPECT_EQ(high[2], 5.0);
}

TEST_F(HostBinding, OutOfRangeIndicesAndOtherMessagesAnswerZeroAndTouchNothing) {
    ASSERT_EQ(Load(), 0);
    double block[3] = {2.0, 10.0, -1.0};
    const auto address = reinterpret_cast<std::intptr_t>(block);
    for (std::int64_t index : {std::int64_t{46}, std::int64_t{-1}, std::int64_t{0xFFFFFFFF},
                               std::int64_t{0x7FFFFFFF}, std::int64_t{1000}}) {
        EXPECT_EQ(host.Send(14, {index, address}), 0) << index;
        EXPECT_EQ(host.Send(15, {index}), 0) << index;
    }
    EXPECT_EQ(block[2], -1.0);
    for (std::int16_t message : {0, 1, 13, 16, 221, 238, 292, -1, 32767}) {
        EXPECT_EQ(host.Send(message, {0, address}), 0) << message;
    }
    EXPECT_EQ(block[2], -1.0);
    // A null block, or a message without its block item, calls nothing.
    EXPECT_EQ(host.Send(14, {0, 0}), 0);
    EXPECT_EQ(host.Send(14, {0}), 0);
    EXPECT_EQ(host.Send(15, {}), reinterpret_cast<std::intptr_t>(kCatalogue[0].body));
}

TEST_F(HostBinding, MessagesFromAnotherThreadAlertAtMostOncePer3600Ticks) {
    ASSERT_EQ(Load(), 0);
    double block[3] = {2.0, 10.0, -1.0};
    const auto address = reinterpret_cast<std::intptr_t>(block);
    Fake().threadId = 200;
    Fake().ticks = 5000;
    EXPECT_EQ(host.Send(14, {0, address}), 0);
    Fake().ticks = 5000 + 3599;
    block[2] = -1.0;
    EXPECT_EQ(host.Send(14, {0, address}), 0);
    EXPECT_EQ(block[2], 5.0);
    ASSERT_EQ(Fake().alerts.size(), 1u);
    EXPECT_EQ(Fake().alerts[0].first, "BUG: GetXOPMessage is not threadsafe.\r");
    EXPECT_EQ(Fake().alerts[0].second, "Emergency");
    Fake().ticks = 5000 + 3600;
    host.Send(15, {0});
    EXPECT_EQ(Fake().alerts.size(), 2u);
    // Back on the loading thread nothing is shown.
    Fake().threadId = 100;
    Fake().ticks = 100000;
    host.Send(15, {0});
    EXPECT_EQ(Fake().alerts.size(), 2u);
}

TEST_F(HostBinding, ThreadCheckTimingEdges) {
    ASSERT_EQ(Load(), 0);
    Fake().threadId = 7;
    Fake().ticks = 3599;  // no alert before tick 3600 of the host's clock
    EXPECT_EQ(WarnIfNotMainThread("GetXOPItem"), 0);
    EXPECT_TRUE(Fake().alerts.empty());
    // The sum wraps: an alert just below the top of the clock silences the
    // start of the next round.
    Fake().ticks = 0xFFFFFF00u;
    WarnIfNotMainThread("GetXOPItem");
    ASSERT_EQ(Fake().alerts.size(), 1u);
    Fake().ticks = 0x10;
    WarnIfNotMainThread("GetXOPItem");
    EXPECT_EQ(Fake().alerts.size(), 1u);
    Fake().ticks = 0xFFFFFF00u + 3600;  // wrapped
    WarnIfNotMainThread("GetXOPItem");
    EXPECT_EQ(Fake().alerts.size(), 2u);
}

TEST_F(HostBinding, NoAlertStormBeforeTheClockWraps) {
    // An alert in the last 3600 ticks of the 32-bit clock silences the next
    // 3600 ticks like any other, across the wrap.
    ASSERT_EQ(Load(), 0);
    Fake().threadId = 7;
    for (std::uint32_t tick : {0xFFFFFF00u, 0xFFFFFF01u, 0xFFFFFFFFu, 0u, 0x100u}) {
        Fake().ticks = tick;
        WarnIfNotMainThread("GetXOPMessage");
    }
    EXPECT_EQ(Fake().alerts.size(), 1u);
    Fake().ticks = 0xFFFFFF00u + 3599;  // wrapped
    WarnIfNotMainThread("GetXOPMessage");
    EXPECT_EQ(Fake().alerts.size(), 1u);
    Fake().ticks = 0xFFFFFF00u + 3600;
    WarnIfNotMainThread("GetXOPMessage");
    EXPECT_EQ(Fake().alerts.size(), 2u);
}

TEST_F(HostBinding, AlertTextIsBounded) {
    ASSERT_EQ(Load(), 0);
    Fake().threadId = 7;
    const std::string longName(1000, 'n');
    WarnIfNotMainThread(longName.c_str());
    ASSERT_EQ(Fake().alerts.size(), 1u);
    EXPECT_EQ(Fake().alerts[0].first.size(), 255u);
    EXPECT_EQ(Fake().alerts[0].first.rfind("BUG: nnn", 0), 0u);
}

TEST_F(HostBinding, OnlyTheFirstInitialisationSetsTheMainThread) {
    Load();
    EXPECT_EQ(Module().mainThreadId, 100u);
    Fake().threadId = 300;
    Fake().ticks = 1000;  // below the first interval: no alert
    Load();
    EXPECT_EQ(Module().mainThreadId, 100u);
    EXPECT_EQ(IsMainThread(), 0);
}

TEST_F(HostBinding, ItemsBeyondTheCountReadAsZero) {
    ASSERT_EQ(Load(), 0);
    WriteField<std::int16_t>(host.record, 58, 1);
    WriteField<std::int64_t>(host.record, 60, 41);
    WriteField<std::int64_t>(host.record, 68, 42);
    EXPECT_EQ(GetXOPItem(0), 41);
    EXPECT_EQ(GetXOPItem(1), 0);
    EXPECT_EQ(GetXOPItem(-1), 0);
    WriteField<std::int16_t>(host.record, 58, -3);
    EXPECT_EQ(GetXOPItem(0), 0);
}

}  // namespace
}  // namespace vantrel::testing
