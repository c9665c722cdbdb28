// The host binding against the test host and a fake platform.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/bodies.h"
#include "host/xop.h"
#include "support/fake_platform.h"
#include "support/test_host.h"

namespace vantrel::testing {
namespace {

using namespace vantrel::host;

using Protocol = TestHost::Protocol;

// Every call-back came by the protocol in force: item lists until the host
// accepted message 221, call-back records from then on, each with the header
// the host expects.
void ExpectProtocolKept(TestHost& host) {
    bool accepted = false;
    for (const TestHost::CallBack& call : host.CallBacks()) {
        EXPECT_EQ(call.protocol, accepted ? Protocol::kCallbackRecord : Protocol::kItemList)
            << call.message;
        if (call.protocol == Protocol::kCallbackRecord) {
            EXPECT_EQ(call.recordVersion, callback_record::kVersion) << call.message;
            EXPECT_EQ(call.recordHandle, host.Handle()) << call.message;
            EXPECT_TRUE(call.reservedClear) << call.message;
        }
        if (call.message == kUseCallbackRecordMessage && call.answer == 0) accepted = true;
    }
}

class HostBinding : public ::testing::Test {
protected:
    void SetUp() override {
        ResetModule();
        Fake() = FakePlatform{};
        TestHost::tableNewPtrCalls = 0;
        TestHost::tableBlocksOutstanding = 0;
    }
    void TearDown() override { ExpectProtocolKept(host); }

    TestHost host{{.version = 9000}};
};

TEST_F(HostBinding, GateAcceptsFrom804AndRegistersTheEntryEitherWay) {
    struct Case {
        std::int32_t answer;
        std::int32_t version;
        std::int32_t returned;
        std::int64_t result;
    } cases[] = {{8040, 804, 0, 0},     {8049, 804, 0, 0}, {8039, 803, 1, 10001},
                 {8030, 803, 1, 10001}, {9000, 900, 0, 0}, {-8040, -804, 1, 10001}};
    for (const Case& c : cases) {
        ResetModule();
        TestHost fresh({.version = c.answer});
        EXPECT_EQ(fresh.Load(), c.returned) << c.answer;
        EXPECT_EQ(fresh.Result(), c.result) << c.answer;
        EXPECT_EQ(Module().hostVersion, c.version);
        EXPECT_EQ(fresh.Entry(), &ExtensionEntry);
        ExpectProtocolKept(fresh);
    }
}

TEST_F(HostBinding, VersionResourceFallbackRules) {
    struct Case {
        const char* what;
        void (*setup)(FakePlatform&);
        std::int32_t version;
    } cases[] = {
        {"8.0.4.x", [](FakePlatform& f) { f.SetFileVersion(8, 0, 4, 1); }, 804},
        {"9.0.0.x", [](FakePlatform& f) { f.SetFileVersion(9, 0, 0, 1); }, 900},
        {"8.10.0.x: minor not limited to a digit",
         [](FakePlatform& f) { f.SetFileVersion(8, 10, 0, 1); }, 900},
        {"no host module",
         [](FakePlatform& f) {
             f.SetFileVersion(9, 0, 0, 0);
             f.hostModule = nullptr;
         },
         0},
        {"no file name",
         [](FakePlatform& f) {
             f.SetFileVersion(9, 0, 0, 0);
             f.moduleFileNameResult = 0;
         },
         0},
        {"path cut short",
         [](FakePlatform& f) {
             f.SetFileVersion(9, 0, 0, 0);
             f.moduleFileName = std::string(300, 'x');
         },
         0},
        {"path of 255 characters fits",
         [](FakePlatform& f) {
             f.SetFileVersion(9, 0, 0, 0);
             f.moduleFileName = std::string(255, 'x');
         },
         900},
        {"no version information",
         [](FakePlatform& f) {
             f.SetFileVersion(9, 0, 0, 0);
             f.versionInfoSize = 0;
         },
         0},
        {"reading fails",
         [](FakePlatform& f) {
             f.SetFileVersion(9, 0, 0, 0);
             f.versionInfoSucceeds = false;
         },
         0},
        {"query fails",
         [](FakePlatform& f) {
             f.SetFileVersion(9, 0, 0, 0);
             f.queryRootSucceeds = false;
         },
         0},
        {"short fixed information",
         [](FakePlatform& f) {
             f.SetFileVersion(9, 0, 0, 0);
             f.fixedInfoLength = 51;
         },
         0},
        {"wrong signature",
         [](FakePlatform& f) {
             f.SetFileVersion(9, 0, 0, 0);
             f.fixedInfo.signature = 0;
         },
         0},
    };
    for (const Case& c : cases) {
        ResetModule();
        Fake() = FakePlatform{};
        c.setup(Fake());
        TestHost fresh({.refuseVersion = true});
        const std::int32_t returned = fresh.Load();
        EXPECT_EQ(Module().hostVersion, c.version) << c.what;
        EXPECT_EQ(returned, c.version >= 804 ? 0 : 1) << c.what;
        EXPECT_EQ(Fake().outstandingBlocks, 0) << c.what << ": version block not released";
        ExpectProtocolKept(fresh);
    }
}

TEST_F(HostBinding, RecordProtocolOnlyFromHost620AndOnlyWhenAccepted) {
    host.answers.version = 6500;
    host.Load();
    const auto& calls = host.CallBacks();
    ASSERT_EQ(calls.size(), 2u);  // 238, then 221; no 292 below 800
    EXPECT_EQ(calls[0].message, 238);
    EXPECT_EQ(calls[1].message, 221);
    EXPECT_EQ(calls[1].protocol, Protocol::kItemList);
    EXPECT_EQ(calls[1].items, (std::vector<std::int64_t>{1}));
    EXPECT_EQ(Module().useCallbackRecord, 1);
    CallHost4(999, 1, 2, 3, 4);
    EXPECT_EQ(calls.back().protocol, Protocol::kCallbackRecord);
    EXPECT_EQ(calls.back().items, (std::vector<std::int64_t>{1, 2, 3, 4}));

    // A 6.19 host is not asked; a host that refuses keeps item lists.
    for (std::int32_t answer : {6190, 9000}) {
        ResetModule();
        TestHost fresh({.version = answer, .acceptRecordProtocol = false});
        fresh.Load();
        EXPECT_EQ(Module().useCallbackRecord, 0);
        for (const TestHost::CallBack& call : fresh.CallBacks()) {
            EXPECT_EQ(call.protocol, Protocol::kItemList);
            if (answer == 6190) {
                EXPECT_NE(call.message, 221);
            }
        }
    }
}

TEST_F(HostBinding, MemoryFunctionRequestFrom800ByTheAcceptedProtocol) {
    host.answers.fillMemoryTable = true;
    EXPECT_EQ(host.Load(), 0);
    ASSERT_EQ(host.CallBacks().size(), 3u);
    const TestHost::CallBack& request = host.CallBacks()[2];
    EXPECT_EQ(request.message, 292);
    EXPECT_EQ(request.protocol, Protocol::kCallbackRecord);
    ASSERT_EQ(request.items.size(), 4u);
    EXPECT_STREQ(reinterpret_cast<const char*>(request.items[0]), "WMMemoryFunctions");
    EXPECT_EQ(request.items[1], 0);
    EXPECT_EQ(request.items[2], 800);
    EXPECT_EQ(request.items[3], reinterpret_cast<std::intptr_t>(&Module().memoryFunctions));
    // Filled slots replace the host exports; empty ones fall back to them.
    HostDisposePtr(HostNewPtr(16));
    EXPECT_EQ(TestHost::tableNewPtrCalls, 1);
    EXPECT_EQ(TestHost::tableBlocksOutstanding, 0);
    EXPECT_EQ(Fake().newPtrCalls, 0);
    HostDisposePtr(nullptr);
    EXPECT_EQ(Fake().disposePtrCalls, 0);
}

TEST_F(HostBinding, FunctionMessagesDispatchByIndex) {
    ASSERT_EQ(host.Load(), 0);
    double block[3] = {2.0, 10.0, -1.0};
    EXPECT_EQ(host.Send(14, 2, 0, reinterpret_cast<std::intptr_t>(block)), 0);
    EXPECT_EQ(block[2], 5.0);

    // Index 3 by address and by message: same body, same slot value.
    const std::int64_t address = host.Send(15, 1, 3);
    EXPECT_EQ(address, reinterpret_cast<std::intptr_t>(kBodies[3]));
    double direct[7] = {1e-10, 1e-6, 1e-9, 1e-5, 10, 10000, 0};
    double viaMessage[7] = {1e-10, 1e-6, 1e-9, 1e-5, 10, 10000, 0};
    EXPECT_EQ(
        reinterpret_cast<ExternalFunction>(address)(reinterpret_cast<FunctionParams*>(direct)), 0);
    EXPECT_EQ(host.Send(14, 2, 3, reinterpret_cast<std::intptr_t>(viaMessage)), 0);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(direct[6]), std::bit_cast<std::uint64_t>(viaMessage[6]));
    EXPECT_EQ(direct[6], 10.285356368427902);

    // Only the low 32 bits of item 0 are the index.
    double high[3] = {2.0, 10.0, -1.0};
    EXPECT_EQ(host.Send(14, 2, std::int64_t{1} << 32, reinterpret_cast<std::intptr_t>(high)), 0);
    EXPECT_EQ(high[2], 5.0);
}

TEST_F(HostBinding, OutOfRangeIndicesAndOtherMessagesAnswerZeroAndTouchNothing) {
    ASSERT_EQ(host.Load(), 0);
    double block[3] = {2.0, 10.0, -1.0};
    const auto address = reinterpret_cast<std::intptr_t>(block);
    for (std::int64_t index : {std::int64_t{46}, std::int64_t{-1}, std::int64_t{0xFFFFFFFF},
                               std::int64_t{0x7FFFFFFF}, std::int64_t{1000}}) {
        EXPECT_EQ(host.Send(14, 2, index, address), 0) << index;
        EXPECT_EQ(host.Send(15, 1, index), 0) << index;
    }
    EXPECT_EQ(block[2], -1.0);
    for (std::int16_t message : {0, 1, 13, 16, 221, 238, 292, -1, 32767}) {
        EXPECT_EQ(host.Send(message, 2, 0, address), 0) << message;
    }
    EXPECT_EQ(block[2], -1.0);
    // A null block, or a message without its block item, calls nothing.
    EXPECT_EQ(host.Send(14, 2, 0, 0), 0);
    EXPECT_EQ(host.Send(14, 1, 0, address), 0);
    EXPECT_EQ(block[2], -1.0);
    EXPECT_EQ(host.Send(15, 0, 3), reinterpret_cast<std::intptr_t>(kBodies[0]));
}

TEST_F(HostBinding, MessagesFromAnotherThreadAlertAtMostOncePer3600Ticks) {
    ASSERT_EQ(host.Load(), 0);
    double block[3] = {2.0, 10.0, -1.0};
    const auto address = reinterpret_cast<std::intptr_t>(block);
    Fake().threadId = 200;
    Fake().ticks = 5000;
    EXPECT_EQ(host.Send(14, 2, 0, address), 0);
    Fake().ticks = 5000 + 3599;
    block[2] = -1.0;
    EXPECT_EQ(host.Send(14, 2, 0, address), 0);
    EXPECT_EQ(block[2], 5.0);
    ASSERT_EQ(Fake().alerts.size(), 1u);
    EXPECT_EQ(Fake().alerts[0].first, "BUG: GetXOPMessage is not threadsafe.\r");
    EXPECT_EQ(Fake().alerts[0].second, "Emergency");
    Fake().ticks = 5000 + 3600;
    host.Send(15, 1, 0);
    EXPECT_EQ(Fake().alerts.size(), 2u);
    // Back on the loading thread nothing is shown.
    Fake().threadId = 100;
    Fake().ticks = 100000;
    host.Send(15, 1, 0);
    EXPECT_EQ(Fake().alerts.size(), 2u);
}

TEST_F(HostBinding, ThreadCheckTimingEdges) {
    ASSERT_EQ(host.Load(), 0);
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
    ASSERT_EQ(host.Load(), 0);
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
    ASSERT_EQ(host.Load(), 0);
    Fake().threadId = 7;
    const std::string longName(1000, 'n');
    WarnIfNotMainThread(longName.c_str());
    ASSERT_EQ(Fake().alerts.size(), 1u);
    EXPECT_EQ(Fake().alerts[0].first.size(), 255u);
    EXPECT_EQ(Fake().alerts[0].first.rfind("BUG: nnn", 0), 0u);
}

TEST_F(HostBinding, OnlyTheFirstInitialisationSetsTheMainThread) {
    host.Load();
    EXPECT_EQ(Module().mainThreadId, 100u);
    Fake().threadId = 300;
    Fake().ticks = 1000;  // below the first interval: no alert
    host.Load();
    EXPECT_EQ(Module().mainThreadId, 100u);
    EXPECT_EQ(IsMainThread(), 0);
}

TEST_F(HostBinding, ItemsBeyondTheCountReadAsZero) {
    ASSERT_EQ(host.Load(), 0);
    host.Lay(0, 1, 41, 42);
    EXPECT_EQ(GetXOPItem(0), 41);
    EXPECT_EQ(GetXOPItem(1), 0);
    EXPECT_EQ(GetXOPItem(-1), 0);
    host.Lay(0, -3, 41, 42);
    EXPECT_EQ(GetXOPItem(0), 0);
}

}  // namespace
}  // namespace vantrel::testing
