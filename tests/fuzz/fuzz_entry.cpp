// Fuzz target for everything the host can hand the module: messages with any
// code, item count and items (negative and huge 64-bit indices included) from
// any thread at any tick, parameter blocks of arbitrary doubles at arbitrary
// alignment, every function called directly, and the load handshake with
// arbitrary host answers. Built with libFuzzer, AddressSanitizer and
// UndefinedBehaviorSanitizer; a broken promise aborts with its name.
#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/bodies.h"
#include "host/xop.h"
#include "support/fake_platform.h"
#include "support/test_host.h"

namespace {

using namespace vantrel;
using namespace vantrel::host;
using vantrel::testing::Fake;
using vantrel::testing::FakePlatform;
using vantrel::testing::TestHost;

[[noreturn]] void Broken(const char* promise, int line) {
    std::fprintf(stderr, "broken promise (fuzz_entry.cpp:%d): %s\n", line, promise);
    std::abort();
}
#define PROMISE(condition) ((condition) ? void(0) : Broken(#condition, __LINE__))

const std::uint32_t kLoadingThread = FakePlatform{}.threadId;

const double kEdgeValues[] = {0.0,
                              -0.0,
                              1.0,
                              -1.0,
                              0.5,
                              2.0,
                              90.0,
                              120.0,
                              180.0,
                              1e300,
                              -1e300,
                              1e-300,
                              std::bit_cast<double>(std::uint64_t{1}),
                              std::bit_cast<double>(~std::uint64_t{0} >> 12),
                              std::bit_cast<double>(std::uint64_t{0x7FF0000000000000}),
                              std::bit_cast<double>(std::uint64_t{0xFFF0000000000000}),
                              std::bit_cast<double>(std::uint64_t{0x7FF8000000000000}),
                              std::bit_cast<double>(std::uint64_t{0x7FF0000000000001})};

double ArbitraryDouble(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            return std::bit_cast<double>(in.ConsumeIntegral<std::uint64_t>());
        case 1:
            return in.PickValueInArray(kEdgeValues);
        case 2:
            return static_cast<double>(in.ConsumeIntegralInRange(-3, 2000));
        default:
            return in.ConsumeFloatingPoint<double>();
    }
}

// Exactly the n + 1 doubles of a block, at an arbitrary byte offset of their
// own allocation: any read or write past them, or any access that assumes
// alignment, is caught.
class Block {
public:
    Block(std::size_t n, std::size_t misalignment)
        : n_(n),
          storage_(new unsigned char[misalignment + Bytes()]),
          data_(storage_.get() + misalignment) {}

    std::size_t Bytes() const { return 8 * (n_ + 1); }
    FunctionParams* Params() { return reinterpret_cast<FunctionParams*>(data_); }
    void Fill(const double* arguments, std::uint64_t resultPattern) {
        LayArguments(Params(), {arguments, n_});
        std::memcpy(data_ + ResultOffset(n_), &resultPattern, 8);
    }
    std::uint64_t Result() const {
        std::uint64_t bits;
        std::memcpy(&bits, data_ + ResultOffset(n_), 8);
        return bits;
    }
    std::vector<unsigned char> Snapshot() const { return {data_, data_ + Bytes()}; }
    bool ArgumentsAsIn(const std::vector<unsigned char>& before) const {
        return std::memcmp(data_, before.data(), ResultOffset(n_)) == 0;
    }

private:
    std::size_t n_;
    std::unique_ptr<unsigned char[]> storage_;
    unsigned char* data_;
};

constexpr std::uint64_t kPatternA = 0x7FF4AAAAAAAAAAAA;
constexpr std::uint64_t kPatternB = 0xFFF4BBBBBBBBBBBB;

// The body of one function, run twice over different result-slot contents:
// status 0, arguments untouched, and the same value both times (so the slot
// was written, and nothing else decides the value).
std::uint64_t CallDirectly(std::size_t index, const double* arguments, std::size_t misalignment) {
    const std::size_t n = kCatalogue[index].argumentCount;
    Block block(n, misalignment);
    block.Fill(arguments, kPatternA);
    const auto before = block.Snapshot();
    PROMISE(kEveryBody[index](block.Params()) == 0);
    PROMISE(block.ArgumentsAsIn(before));
    const std::uint64_t first = block.Result();
    block.Fill(arguments, kPatternB);
    PROMISE(kEveryBody[index](block.Params()) == 0);
    PROMISE(block.Result() == first);
    return first;
}

void LoadHost(std::unique_ptr<TestHost>& host, FuzzedDataProvider& in, bool arbitrary) {
    ResetModule();
    Fake() = FakePlatform{};
    TestHost::Answers answers;
    if (arbitrary) {
        answers.version = in.ConsumeBool() ? in.ConsumeIntegralInRange(6000, 9999)
                                           : in.ConsumeIntegral<std::int32_t>();
        answers.refuseVersion = in.ConsumeBool();
        answers.acceptRecordProtocol = in.ConsumeBool();
        answers.fillMemoryTable = in.ConsumeBool();
        FakePlatform& f = Fake();
        f.SetFileVersion(in.ConsumeIntegral<std::uint16_t>(), in.ConsumeIntegral<std::uint16_t>(),
                         in.ConsumeIntegral<std::uint16_t>(), in.ConsumeIntegral<std::uint16_t>());
        if (in.ConsumeBool()) f.fixedInfo.signature = in.ConsumeIntegral<std::uint32_t>();
        if (in.ConsumeBool()) f.hostModule = nullptr;
        if (in.ConsumeBool()) f.moduleFileName = in.ConsumeRandomLengthString(400);
        if (in.ConsumeBool()) f.moduleFileNameResult = in.ConsumeIntegral<std::uint32_t>();
        // A real version block holds what the query points into.
        f.versionInfoSize = in.ConsumeIntegralInRange<std::uint32_t>(0, 4096);
        f.fixedInfoLength = in.ConsumeIntegralInRange<std::uint32_t>(0, f.versionInfoSize);
        f.versionInfoSucceeds = in.ConsumeBool();
        f.queryRootSucceeds = in.ConsumeBool();
    }
    host = std::make_unique<TestHost>(answers);
    const std::int32_t returned = host->Load();
    const ModuleState& m = Module();
    PROMISE(returned == (m.hostVersion >= kMinimumHostVersion ? 0 : 1));
    PROMISE(host->Result() == (returned == 0 ? 0 : kHostTooOldError));
    PROMISE(ReadField<void (*)()>(host->Record(), io_record::kEntry) == &ExtensionEntry);
    if (!answers.refuseVersion) PROMISE(m.hostVersion == answers.version / 10);
    PROMISE(
        m.useCallbackRecord ==
        (m.hostVersion >= kCallbackRecordMinimumVersion && answers.acceptRecordProtocol ? 1 : 0));
    PROMISE(Fake().outstandingBlocks == 0);
    PROMISE(TestHost::tableBlocksOutstanding == 0);
    PROMISE(Fake().alerts.empty());
}

void SendMessage(TestHost& host, FuzzedDataProvider& in) {
    const std::int16_t message = in.ConsumeBool() ? in.PickValueInArray<std::int16_t>({14, 15})
                                                  : in.ConsumeIntegral<std::int16_t>();
    const std::int16_t count = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int16_t>(-1, 3)
                                                : in.ConsumeIntegral<std::int16_t>();
    std::int64_t item0 = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int64_t>(-2, 48)
                                          : in.ConsumeIntegral<std::int64_t>();
    if (in.ConsumeBool())
        item0 ^= static_cast<std::int64_t>(in.ConsumeIntegral<std::uint32_t>()) << 32;
    Fake().threadId = in.ConsumeBool() ? kLoadingThread : in.ConsumeIntegral<std::uint32_t>();
    Fake().ticks = in.ConsumeIntegral<std::uint32_t>();

    // What the module sees: items beyond the count read as 0.
    const std::uint32_t index = static_cast<std::uint32_t>(count >= 1 ? item0 : 0);
    const bool known = index < kHostFunctionCount;

    // The block goes in item 1 only where the module may use it; elsewhere item 1
    // is a wild pointer that must never be followed.
    std::unique_ptr<Block> block;
    double arguments[kMaxArguments];
    for (double& x : arguments) x = ArbitraryDouble(in);
    std::int64_t item1 = static_cast<std::int64_t>(in.ConsumeIntegral<std::uint64_t>() | 1);
    const bool blockReachable = message == kCallFunctionMessage && known && count >= 2;
    if (blockReachable && in.ConsumeIntegralInRange(0, 15) != 15) {
        block = std::make_unique<Block>(kCatalogue[index].argumentCount,
                                        in.ConsumeIntegralInRange(0, 7));
        block->Fill(arguments, kPatternA);
        item1 = reinterpret_cast<std::intptr_t>(block->Params());
    } else if (blockReachable) {
        item1 = 0;  // a null block calls nothing
    }
    const auto blockBefore = block ? block->Snapshot() : std::vector<unsigned char>{};

    std::vector<unsigned char> recordBefore(host.Record(), host.Record() + TestHost::kRecordSize);
    const std::uint32_t lastAlert = Module().lastThreadAlertTick.load();
    const std::size_t alertsBefore = Fake().alerts.size();

    const std::int64_t answer = host.Send(message, count, item0, item1);

    // Only the result field of the record is written.
    std::vector<unsigned char> recordAfter(host.Record(), host.Record() + TestHost::kRecordSize);
    std::memcpy(&recordAfter[io_record::kResult], &recordBefore[io_record::kResult], 8);
    // Send wrote the message fields itself: compare what it wrote.
    WriteField(recordBefore.data(), io_record::kMessage, message);
    WriteField(recordBefore.data(), io_record::kItemCount, count);
    WriteField(recordBefore.data(), io_record::kItems, item0);
    WriteField(recordBefore.data(), io_record::kItems + 8, item1);
    PROMISE(recordAfter == recordBefore);

    if (message == kFunctionAddressMessage) {
        PROMISE(answer == (known ? reinterpret_cast<std::intptr_t>(kEveryBody[index]) : 0));
    } else {
        PROMISE(answer == 0);  // a status, always 0; or no message of ours
    }
    if (block) {
        PROMISE(block->ArgumentsAsIn(blockBefore));
        // The slot holds what the function gives when called directly.
        PROMISE(block->Result() == CallDirectly(index, arguments, 0));
    }

    // The thread check, run by each accessor of the message route in turn: off
    // the loading thread an alert is due once the tick reaches the last alert's
    // plus 3600: at least 3600 ticks elapsed, counted modulo 2^32.
    std::vector<const char*> accessors = {"GetXOPMessage"};
    if (message == kCallFunctionMessage)
        accessors.insert(accessors.end(), {"GetXOPItem", "GetXOPItem"});
    if (message == kFunctionAddressMessage) accessors.push_back("GetXOPItem");
    accessors.push_back("SetXOPResult");
    std::vector<std::string> due;
    std::uint32_t last = lastAlert;
    for (const char* name : accessors) {
        if (Fake().threadId == kLoadingThread) break;
        if (static_cast<std::uint32_t>(Fake().ticks - last) < kThreadAlertIntervalTicks) continue;
        due.push_back(std::string("BUG: ") + name + " is not threadsafe.\r");
        last = Fake().ticks;
    }
    PROMISE(Fake().alerts.size() == alertsBefore + due.size());
    for (std::size_t k = 0; k < due.size(); ++k) {
        PROMISE(Fake().alerts[alertsBefore + k].first == due[k]);
        PROMISE(Fake().alerts[alertsBefore + k].second == "Emergency");
    }
    PROMISE(Module().lastThreadAlertTick.load() == last);
    Fake().alerts.clear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::unique_ptr<TestHost> host;
    LoadHost(host, in, false);
    for (int step = 0; step < 8 && in.remaining_bytes() > 0; ++step) {
        switch (in.ConsumeIntegralInRange(0, 3)) {
            case 0:
                SendMessage(*host, in);
                break;
            case 1: {
                // Every function on one set of arguments.
                double arguments[kMaxArguments];
                for (double& x : arguments) x = ArbitraryDouble(in);
                const std::size_t misalignment = in.ConsumeIntegralInRange(0, 7);
                for (std::size_t i = 0; i < kHostFunctionCount; ++i)
                    CallDirectly(i, arguments, misalignment);
                break;
            }
            case 2:
                LoadHost(host, in, true);
                break;
            default:
                SendMessage(*host, in);
                break;
        }
    }
    return 0;
}
