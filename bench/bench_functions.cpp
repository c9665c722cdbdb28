// Time per call of every function by three routes, and the throughput of all
// 46 on one and two threads:
//   floor   – the typed function inlined into the loop: the arithmetic's own cost;
//   direct  – the address from message 15 called on a parameter block, the
//             host's fast path;
//   message – message 14 through the host's I/O record.
// After the runs a table of times and ratios is printed (docs/performance.md).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "catalogue/bodies.h"
#include "host/params.h"
#include "support/edge_cases.h"
#include "support/test_host.h"
#include "vantrel/batch.h"

namespace {

using namespace vantrel;
using testing::TestHost;

// Calls per timed iteration: one pass over a ring of slightly different
// inputs, so that nothing is invariant across the loop.
constexpr std::size_t kRing = 64;

// Elements per batch call: enough to amortise the call, few enough to stay in the cache.
constexpr std::size_t kColumn = 4096;

TestHost& Host() {
    static TestHost host;
    return host;
}

// Ordinary inputs of a function: its first documented case with a finite,
// non-zero value, scaled by factors within a few parts per million of 1.
std::vector<std::vector<double>> Inputs(const CatalogueEntry& entry) {
    const testing::EdgeCase* base = nullptr;
    static const std::vector<testing::EdgeCase> cases = testing::AllEdgeCases();
    for (const testing::EdgeCase& c : cases) {
        if (c.function == entry.name && std::isfinite(c.expected) && c.expected != 0.0) {
            base = &c;
            break;
        }
    }
    if (base == nullptr) {
        std::fprintf(stderr, "no ordinary input for %s\n", std::string(entry.name).c_str());
        std::exit(1);
    }
    std::vector<std::vector<double>> ring;
    for (std::size_t r = 0; r < kRing; ++r) {
        std::vector<double> args = base->arguments;
        for (double& x : args) x *= 1.0 + 1e-6 * static_cast<double>(r);
        ring.push_back(args);
    }
    return ring;
}

FunctionParams* BlockAt(std::vector<double>& blocks, std::size_t n, std::size_t r) {
    return reinterpret_cast<FunctionParams*>(blocks.data() + r * (n + 1));
}

// The parameter blocks of a ring, one after the other.
std::vector<double> Blocks(const CatalogueEntry& entry,
                           const std::vector<std::vector<double>>& ring) {
    const std::size_t n = entry.argumentCount;
    std::vector<double> blocks(ring.size() * (n + 1));
    for (std::size_t r = 0; r < ring.size(); ++r) LayArguments(BlockAt(blocks, n, r), ring[r]);
    return blocks;
}

template <auto F>
void RegisterFunction(std::string_view typedName, std::size_t index) {
    constexpr std::size_t n = kArgumentCount<F>;
    const CatalogueEntry& entry = kCatalogue[index];
    const auto ring = Inputs(entry);
    std::vector<std::array<double, n>> arguments(ring.size());
    for (std::size_t r = 0; r < ring.size(); ++r)
        std::copy(ring[r].begin(), ring[r].end(), arguments[r].begin());

    // The typed function must be the catalogue entry's body, bit for bit.
    std::vector<double> check = Blocks(entry, ring);
    kEveryBody[entry.index](BlockAt(check, n, 0));
    const double typed = std::apply(F, arguments[0]);
    if (typedName != entry.name || entry.argumentCount != n ||
        std::bit_cast<std::uint64_t>(typed) != std::bit_cast<std::uint64_t>(check[n])) {
        std::fprintf(stderr, "typed function %s does not match catalogue entry %zu\n",
                     std::string(typedName).c_str(), index);
        std::exit(1);
    }

    const std::string name(entry.name);
    benchmark::RegisterBenchmark(("floor/" + name).c_str(), [arguments](benchmark::State& state) {
        for (auto _ : state) {
            for (const auto& a : arguments) {
                double value = std::apply(F, a);
                benchmark::DoNotOptimize(value);
            }
        }
    });
    const ExternalFunction address = Host().Address(static_cast<std::int64_t>(index));
    benchmark::RegisterBenchmark(
        ("direct/" + name).c_str(),
        [address, blocks = Blocks(entry, ring)](benchmark::State& state) mutable {
            for (auto _ : state) {
                for (std::size_t r = 0; r < kRing; ++r) address(BlockAt(blocks, n, r));
            }
            benchmark::DoNotOptimize(blocks.data());
        });
    // The same ring repeated into columns of kColumn elements, through EvaluateBatch on one thread.
    std::vector<std::vector<double>> columns(n, std::vector<double>(kColumn));
    for (std::size_t i = 0; i < kColumn; ++i) {
        for (std::size_t k = 0; k < n; ++k) columns[k][i] = ring[i % kRing][k];
    }
    benchmark::RegisterBenchmark(
        ("batch/" + name).c_str(), [&entry, columns](benchmark::State& state) {
            std::vector<const double*> pointers;
            for (const std::vector<double>& column : columns) pointers.push_back(column.data());
            std::vector<double> out(kColumn);
            for (auto _ : state) {
                EvaluateBatch(entry, pointers, out);
                benchmark::DoNotOptimize(out.data());
            }
            state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kColumn));
        });
    benchmark::RegisterBenchmark(("message/" + name).c_str(), [index, blocks = Blocks(entry, ring)](
                                                                  benchmark::State& state) mutable {
        TestHost& host = Host();
        for (auto _ : state) {
            for (std::size_t r = 0; r < kRing; ++r) {
                host.CallByMessage(static_cast<std::int64_t>(index), BlockAt(blocks, n, r));
            }
        }
        benchmark::DoNotOptimize(blocks.data());
    });
}

struct TypedFunction {
    std::string_view name;
    void (*registerAt)(std::string_view, std::size_t);
};

#define VANTREL_TYPED(subsystem, function) \
    TypedFunction{#function, &RegisterFunction<&subsystem::function>},

const TypedFunction kTyped[] = {VANTREL_HOST_CATALOGUE(VANTREL_TYPED)};
static_assert(std::size(kTyped) == kHostFunctionCount);

#undef VANTREL_TYPED

// The bare cost of the direct route: a body that reads nothing and stores 0,
// called through an address the compiler cannot see through.
std::int32_t StoreZero(FunctionParams* block) noexcept {
    const double zero = 0.0;
    std::memcpy(reinterpret_cast<unsigned char*>(block) + ResultOffset(2), &zero, sizeof zero);
    return 0;
}

void EmptyCall(benchmark::State& state) {
    std::vector<double> blocks = Blocks(kCatalogue[0], Inputs(kCatalogue[0]));
    ExternalFunction address = &StoreZero;
    benchmark::DoNotOptimize(address);
    for (auto _ : state) {
        for (std::size_t r = 0; r < kRing; ++r) address(BlockAt(blocks, 2, r));
    }
    benchmark::DoNotOptimize(blocks.data());
}

// All 46 by their addresses, each thread on blocks of its own: the throughput
// the host gets from worker threads.
void AllFunctions(benchmark::State& state) {
    struct Work {
        ExternalFunction address;
        std::size_t n;
        std::vector<double> blocks;
    };
    std::vector<Work> work;
    for (std::size_t i = 0; i < kHostFunctionCount; ++i) {
        work.push_back({kBodies[i], kCatalogue[i].argumentCount,
                        Blocks(kCatalogue[i], Inputs(kCatalogue[i]))});
    }
    for (auto _ : state) {
        for (Work& w : work) {
            for (std::size_t r = 0; r < kRing; ++r) w.address(BlockAt(w.blocks, w.n, r));
        }
    }
    state.SetItemsProcessed(
        static_cast<std::int64_t>(state.iterations() * kHostFunctionCount * kRing));
}

// Collects the runs for the table; shows only what the console would.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const std::string name = run.run_name.function_name;
            if (run.run_type == Run::RT_Iteration) {
                // Best of the repetitions: interference only ever adds time.
                // A batch iteration evaluates kColumn elements, the others one pass over the ring.
                const double perIteration = name.rfind("batch/", 0) == 0 ? kColumn : kRing;
                const double nsPerCall = run.real_accumulated_time * 1e9 /
                                         static_cast<double>(run.iterations) / perIteration;
                auto [it, fresh] = perCall_.try_emplace(name, nsPerCall);
                if (!fresh) it->second = std::min(it->second, nsPerCall);
                if (run.threads > 0 && name.rfind("AllFunctions", 0) == 0) {
                    const auto rate = run.counters.find("items_per_second");
                    if (rate != run.counters.end()) {
                        double& best = throughput_[run.threads];
                        best = std::max(best, static_cast<double>(rate->second));
                    }
                }
                if (run.repetitions <= 1) shown.push_back(run);
            } else if (run.aggregate_name == "median") {
                shown.push_back(run);
            }
        }
        if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
    }

    void PrintTable() const {
        std::printf(
            "\n| # | Function | floor ns | direct ns | message ns | direct/floor | message - "
            "direct ns "
            "| batch M/s | direct M/s | batch/direct |\n");
        std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
        double worstRatio = 0.0;
        double worstExtra = -std::numeric_limits<double>::infinity();
        std::size_t ratioMisses = 0;
        std::size_t extraMisses = 0;
        for (std::size_t i = 0; i < kHostFunctionCount; ++i) {
            const std::string name(kCatalogue[i].name);
            const auto floor = perCall_.find("floor/" + name);
            const auto direct = perCall_.find("direct/" + name);
            const auto message = perCall_.find("message/" + name);
            const auto batch = perCall_.find("batch/" + name);
            if (floor == perCall_.end() || direct == perCall_.end() || message == perCall_.end() ||
                batch == perCall_.end()) {
                continue;
            }
            const double ratio = direct->second / floor->second;
            const double extra = message->second - direct->second;
            worstRatio = std::max(worstRatio, ratio);
            worstExtra = std::max(worstExtra, extra);
            ratioMisses += ratio > 1.15 ? 1 : 0;
            extraMisses += extra > 10.0 ? 1 : 0;
            // Elements (calls) per second, in millions.
            const double batchRate = 1e3 / batch->second;
            const double directRate = 1e3 / direct->second;
            std::printf(
                "| %zu | %s | %.2f | %.2f | %.2f | %.2f%s | %.2f%s | %.0f | %.0f | %.2f |\n", i,
                name.c_str(), floor->second, direct->second, message->second, ratio,
                ratio > 1.15 ? " *" : "", extra, extra > 10.0 ? " *" : "", batchRate, directRate,
                batchRate / directRate);
        }
        if (const auto empty = perCall_.find("EmptyCall"); empty != perCall_.end()) {
            std::printf("\nA body that only stores 0 costs %.2f ns per call by the direct route.",
                        empty->second);
        }
        std::printf("\nWorst direct/floor: %.2f (target 1.15; %zu of 46 above).\n", worstRatio,
                    ratioMisses);
        std::printf("Worst message - direct: %.2f ns (target 10 ns; %zu of 46 above).\n",
                    worstExtra, extraMisses);
        const auto one = throughput_.find(1);
        const auto two = throughput_.find(2);
        if (one != throughput_.end() && two != throughput_.end()) {
            std::printf(
                "All 46 by address: %.1f M calls/s on 1 thread, %.1f M calls/s on 2 threads: %.2fx "
                "(target 1.8x).\n",
                one->second / 1e6, two->second / 1e6, two->second / one->second);
        }
    }

private:
    std::map<std::string, double> perCall_;
    std::map<std::int64_t, double> throughput_;
};

}  // namespace

int main(int argc, char** argv) {
    if (Host().Load() != 0) {
        std::fprintf(stderr, "the module refused to load\n");
        return 1;
    }
    for (std::size_t i = 0; i < kHostFunctionCount; ++i) kTyped[i].registerAt(kTyped[i].name, i);
    benchmark::RegisterBenchmark("EmptyCall", EmptyCall);
    benchmark::RegisterBenchmark("AllFunctions", AllFunctions)
        ->Threads(1)
        ->Threads(2)
        ->UseRealTime();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintTable();
    benchmark::Shutdown();
    return 0;
}
