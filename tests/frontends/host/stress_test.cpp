// Concurrency: every function on many threads at once through both routes,
// against results taken on one thread; and the thread check under load. Run
// natively and under ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <barrier>
#include <bit>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/bodies.h"
#include "host/params.h"
#include "support/edge_cases.h"
#include "support/posix_platform.h"
#include "support/test_host.h"
#include "vantrel/batch.h"

namespace vantrel::testing {
namespace {

using host::kThreadAlertIntervalTicks;

constexpr int kThreads = 8;

// One call: a catalogue index and a parameter block (arguments in block order,
// then the result slot), with the result one thread computed for it.
struct Call {
    std::size_t index;
    std::vector<double> block;
    std::uint64_t expected = 0;
};

std::uint64_t Bits(double x) { return std::bit_cast<std::uint64_t>(x); }

std::vector<double> BlockOf(std::size_t n, const std::vector<double>& arguments) {
    std::vector<double> block(n + 1, 0.0);
    LayArguments(reinterpret_cast<FunctionParams*>(block.data()), arguments);
    return block;
}

// Every documented case, and for every function blocks of arbitrary bit
// patterns, so that guards, NaN paths and ordinary values all run at once.
std::vector<Call> Workload() {
    std::vector<Call> calls;
    for (const EdgeCase& c : AllEdgeCases()) {
        const CatalogueEntry* entry = FindFunction(c.function);
        calls.push_back({IndexOf(*entry), BlockOf(entry->argumentCount, c.arguments)});
    }
    std::mt19937_64 bits(6);
    for (std::size_t i = 0; i < kHostFunctionCount; ++i) {
        for (int j = 0; j < 4; ++j) {
            std::vector<double> block(kCatalogue[i].argumentCount + 1);
            for (double& x : block) x = std::bit_cast<double>(bits());
            calls.push_back({i, block});
        }
    }
    for (Call& call : calls) {
        std::vector<double> block = call.block;
        kEveryBody[call.index](reinterpret_cast<FunctionParams*>(block.data()));
        call.expected = Bits(block.back());
    }
    return calls;
}

// Messages go through the host's one I/O record, so the host sends them one at
// a time (as any host must); the function bodies run concurrently all the same
// through the addresses of message 15. The host's clock advances with every
// message, so the run crosses many alert intervals.
class StressHost {
public:
    static constexpr std::uint32_t kFirstTick = 5000;
    static constexpr std::uint32_t kTicksPerMessage = 7;

    StressHost() {
        PosixHooks().ticks.store(&ticks_);
        PosixHooks().alert.store(&StressHost::TakeAlert);
        current_ = this;
        host::ResetModule();
        EXPECT_EQ(host_.Load(), 0);
    }
    ~StressHost() {
        PosixHooks().ticks.store(nullptr);
        PosixHooks().alert.store(nullptr);
        current_ = nullptr;
    }

    template <class Send>
    auto Message(Send send) {
        std::lock_guard lock(recordMutex_);
        ticks_.fetch_add(kTicksPerMessage, std::memory_order_relaxed);
        ++messages_;
        return send(host_);
    }

    struct Alert {
        std::string text;
        std::string caption;
        std::uint32_t tick;
    };
    std::vector<Alert> Alerts() {
        std::lock_guard lock(alertMutex_);
        return alerts_;
    }
    std::uint64_t Messages() {
        std::lock_guard lock(recordMutex_);
        return messages_;
    }
    void SetTicks(std::uint32_t ticks) { ticks_.store(ticks); }

private:
    static void TakeAlert(const char* text, const char* caption) {
        std::lock_guard lock(current_->alertMutex_);
        current_->alerts_.push_back(
            {text, caption, current_->ticks_.load(std::memory_order_relaxed)});
    }

    static inline StressHost* current_ = nullptr;
    std::atomic<std::uint32_t> ticks_{kFirstTick};
    std::mutex recordMutex_;
    std::mutex alertMutex_;
    std::vector<Alert> alerts_;
    std::uint64_t messages_ = 0;
    TestHost host_;
};

TEST(Stress, EveryFunctionOnEightThreadsByBothRoutesMatchesOneThread) {
    const std::vector<Call> calls = Workload();
    StressHost host;
    constexpr int kRounds = 40;
    std::atomic<int> mismatches{0};
    std::atomic<int> badStatus{0};
    std::atomic<std::uint64_t> calledDirectly{0};
    std::barrier start(kThreads);

    auto worker = [&](int id) {
        // Each thread asks for the addresses itself, from a thread that is not
        // the loading one.
        std::vector<ExternalFunction> address(kHostFunctionCount);
        for (std::size_t i = 0; i < kHostFunctionCount; ++i) {
            address[i] =
                host.Message([i](TestHost& h) { return h.Address(static_cast<std::int64_t>(i)); });
            if (address[i] != kBodies[i]) {
                ++mismatches;
                address[i] = kBodies[i];  // carry on to the barrier
            }
        }
        std::vector<std::size_t> order(calls.size());
        for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
        std::shuffle(order.begin(), order.end(), std::mt19937_64(static_cast<std::uint64_t>(id)));
        start.arrive_and_wait();
        for (int round = 0; round < kRounds; ++round) {
            for (std::size_t k : order) {
                const Call& call = calls[k];
                std::vector<double> direct = call.block;
                std::vector<double> viaMessage = call.block;
                if (address[call.index](reinterpret_cast<FunctionParams*>(direct.data())) != 0)
                    ++badStatus;
                ++calledDirectly;
                const std::int64_t status = host.Message([&](TestHost& h) {
                    return h.CallByMessage(static_cast<std::int64_t>(call.index),
                                           viaMessage.data());
                });
                if (status != 0) ++badStatus;
                if (Bits(direct.back()) != call.expected ||
                    Bits(viaMessage.back()) != call.expected)
                    ++mismatches;
                // Only the result slot is written.
                if (std::memcmp(direct.data(), call.block.data(), 8 * (call.block.size() - 1)) !=
                        0 ||
                    std::memcmp(viaMessage.data(), call.block.data(),
                                8 * (call.block.size() - 1)) != 0) {
                    ++mismatches;
                }
            }
        }
    };
    std::vector<std::thread> threads;
    for (int id = 0; id < kThreads; ++id) threads.emplace_back(worker, id);
    for (std::thread& t : threads) t.join();

    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(badStatus.load(), 0);
    EXPECT_EQ(calledDirectly.load(), std::uint64_t{kThreads} * kRounds * calls.size());

    // Every message came from a thread other than the loading one, with the
    // clock advancing a fixed step per message: the alerts are exactly those
    // of the rule, one per interval, each naming the first accessor.
    const std::uint64_t messages = host.Messages();
    std::vector<std::uint32_t> expectedTicks;
    std::uint32_t last = 0;
    for (std::uint64_t m = 1; m <= messages; ++m) {
        const auto now =
            static_cast<std::uint32_t>(StressHost::kFirstTick + m * StressHost::kTicksPerMessage);
        if (now >= last + kThreadAlertIntervalTicks) {
            expectedTicks.push_back(now);
            last = now;
        }
    }
    const auto alerts = host.Alerts();
    ASSERT_EQ(alerts.size(), expectedTicks.size());
    for (std::size_t k = 0; k < alerts.size(); ++k) {
        EXPECT_EQ(alerts[k].text, "BUG: GetXOPMessage is not threadsafe.\r");
        EXPECT_EQ(alerts[k].caption, "Emergency");
        EXPECT_EQ(alerts[k].tick, expectedTicks[k]);
    }
    EXPECT_GT(alerts.size(), 10u);
}

// Whole columns from many callers at once, each sharing the one pool of
// workers with the others (every processor, and more parts than threads):
// every result is the one a lone call gives, whichever threads computed it.
TEST(Stress, ConcurrentBatchesShareThePoolAndMatchOneThread) {
    const CatalogueEntry& entry = *FindFunction("FlippingRatioSDev");
    const std::size_t n = 200'003;
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> counts(0.0, 1e4);
    std::vector<std::vector<double>> columns(entry.argumentCount, std::vector<double>(n));
    std::vector<const double*> pointers;
    for (std::vector<double>& column : columns) {
        for (double& x : column) x = counts(random);
        pointers.push_back(column.data());
    }
    std::vector<double> alone(n);
    ASSERT_TRUE(EvaluateBatch(entry, pointers, alone, {.threads = 1}));
    std::vector<std::vector<double>> results(kThreads, std::vector<double>(n));
    std::vector<std::thread> callers;
    for (int t = 0; t < kThreads; ++t) {
        callers.emplace_back([&, t] {
            for (int repeat = 0; repeat < 3; ++repeat) {
                EvaluateBatch(entry, pointers, results[t], {.threads = t % 2 == 0 ? 0u : 16u});
            }
        });
    }
    for (std::thread& caller : callers) caller.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_TRUE(std::equal(results[t].begin(), results[t].end(), alone.begin(),
                               [](double a, double b) { return Bits(a) == Bits(b); }))
            << "caller " << t;
    }
}

TEST(Stress, DirectCallsNeverReachTheThreadCheck) {
    const std::vector<Call> calls = Workload();
    StressHost host;
    std::vector<ExternalFunction> address(kHostFunctionCount);
    for (std::size_t i = 0; i < kHostFunctionCount; ++i) {
        address[i] =
            host.Message([i](TestHost& h) { return h.Address(static_cast<std::int64_t>(i)); });
    }
    const std::size_t alertsBefore = host.Alerts().size();  // none: the loading thread asked
    host.SetTicks(1'000'000);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int id = 0; id < kThreads; ++id) {
        threads.emplace_back([&] {
            for (const Call& call : calls) {
                std::vector<double> block = call.block;
                address[call.index](reinterpret_cast<FunctionParams*>(block.data()));
                if (Bits(block.back()) != call.expected) ++mismatches;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(alertsBefore, 0u);
    EXPECT_EQ(host.Alerts().size(), 0u);
    EXPECT_EQ(mismatches.load(), 0);
}

// The one piece of module state written after loading is the alert time stamp.
// Checks from several threads at once are race-free (an atomic); they may each
// show the alert when they test the same interval together, which the module
// accepts rather than lock (messages from other threads are a host bug already).
TEST(Stress, ConcurrentThreadChecksAreRaceFree) {
    StressHost host;
    host.SetTicks(200'000);
    std::barrier start(kThreads);
    std::atomic<int> answeredMain{0};
    std::vector<std::thread> threads;
    for (int id = 0; id < kThreads; ++id) {
        threads.emplace_back([&] {
            start.arrive_and_wait();
            for (int k = 0; k < 2000; ++k) answeredMain += host::WarnIfNotMainThread("GetXOPItem");
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(answeredMain.load(), 0);
    const auto alerts = host.Alerts();
    EXPECT_GE(alerts.size(), 1u);
    EXPECT_LE(alerts.size(), std::size_t{kThreads});
    EXPECT_EQ(host::Module().lastThreadAlertTick.load(), 200'000u);
    // Settled: the interval holds from here on.
    std::thread([] { host::WarnIfNotMainThread("GetXOPItem"); }).join();
    EXPECT_EQ(host.Alerts().size(), alerts.size());
    // The loading thread never alerts.
    EXPECT_EQ(host::WarnIfNotMainThread("GetXOPItem"), 1);
}

}  // namespace
}  // namespace vantrel::testing
