#include "vantrel/batch.h"

#include <algorithm>
#include <cstdint>
#include <thread>

#include "catalogue/registry.h"
#include "vantrel/worker_pool.h"

namespace vantrel {

namespace detail {

// The column loop of F (columns/column_loop.h). Instantiated beside each function,
// where the function can be inlined into it; only declared here.
template <auto F>
void ColumnLoop(std::size_t n, const InputColumn* columns, OutputColumn out) noexcept;

using ColumnKernel = void (*)(std::size_t n, const InputColumn* columns, OutputColumn out) noexcept;

}  // namespace detail

#define VANTREL_EXTERN_KERNEL(subsystem, function)                                                 \
    extern template void detail::ColumnLoop<&subsystem::function>(std::size_t, const InputColumn*, \
                                                                  OutputColumn) noexcept;
VANTREL_CATALOGUE(VANTREL_EXTERN_KERNEL)
#undef VANTREL_EXTERN_KERNEL

namespace {

#define VANTREL_KERNEL_ADDRESS(subsystem, function) &detail::ColumnLoop<&subsystem::function>,
constexpr detail::ColumnKernel kKernels[] = {VANTREL_CATALOGUE(VANTREL_KERNEL_ADDRESS)};
#undef VANTREL_KERNEL_ADDRESS
static_assert(std::size(kKernels) == kFunctionCount);

constexpr std::size_t kElementsPerThread = std::size_t{1} << 15;

std::size_t ThreadsFor(std::size_t n, unsigned requested) {
    // Asked once: the query costs microseconds, more than a short column.
    static const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t threads = requested == 0 ? processors : requested;
    return std::clamp<std::size_t>(n / kElementsPerThread, 1, threads);
}

// Parts of at least kElementsPerThread elements, a few per thread, so that a
// thread that finds the processors busy with other calls leaves its share to
// those still computing.
std::size_t PartsFor(std::size_t n, std::size_t threads) {
    return threads == 1 ? 1 : std::clamp<std::size_t>(n / kElementsPerThread, 1, 64 * threads);
}

InputColumn Advance(InputColumn column, std::size_t elements) {
    return {column.data + static_cast<std::ptrdiff_t>(elements) * column.stride, column.stride};
}

// The lowest and highest address that n elements of a column touch.
struct Extent {
    std::uintptr_t low, high;
};

Extent ExtentOf(const double* data, std::ptrdiff_t stride, std::size_t n) {
    const auto first = reinterpret_cast<std::uintptr_t>(data);
    const auto last =
        reinterpret_cast<std::uintptr_t>(data + static_cast<std::ptrdiff_t>(n - 1) * stride);
    return {std::min(first, last), std::max(first, last) + sizeof(double) - 1};
}

// Whether an element may read what an earlier element wrote: an input that
// shares memory with the output, other than the output itself element for
// element (same data, same non-zero stride), which each element reads before
// it writes. numpy's reduce hands over a stride-0 accumulator that is input
// and output at once, its accumulate an input one element behind the output.
bool ReadsEarlierResults(std::size_t n, std::span<const InputColumn> columns, OutputColumn out) {
    const Extent written = ExtentOf(out.data, out.stride, n);
    return std::any_of(columns.begin(), columns.end(), [&](const InputColumn& column) {
        if (column.data == out.data && column.stride == out.stride && out.stride != 0) return false;
        const Extent read = ExtentOf(column.data, column.stride, n);
        return read.low <= written.high && written.low <= read.high;
    });
}

// Elements [begin, end) of the columns, computed as they would be alone.
void RunRange(detail::ColumnKernel kernel, std::span<const InputColumn> columns, OutputColumn out,
              std::size_t begin, std::size_t end) noexcept {
    InputColumn shifted[kMaxArguments];
    for (std::size_t k = 0; k < columns.size(); ++k) shifted[k] = Advance(columns[k], begin);
    kernel(end - begin, shifted,
           {out.data + static_cast<std::ptrdiff_t>(begin) * out.stride, out.stride});
}

struct ColumnRun {
    detail::ColumnKernel kernel;
    std::size_t n, parts;
    std::span<const InputColumn> columns;
    OutputColumn out;

    static void Part(const void* context, std::size_t p) noexcept {
        const ColumnRun& job = *static_cast<const ColumnRun*>(context);
        RunRange(job.kernel, job.columns, job.out, job.n * p / job.parts,
                 job.n * (p + 1) / job.parts);
    }
};

}  // namespace

bool EvaluateBatch(const CatalogueEntry& function, std::size_t n,
                   std::span<const InputColumn> columns, OutputColumn out,
                   BatchOptions options) noexcept {
    // A hand-made entry is no function of the catalogue.
    if (function.index >= kFunctionCount || kCatalogue[function.index].name != function.name ||
        columns.size() != function.argumentCount) {
        return false;
    }
    if (n == 0) return true;
    const detail::ColumnKernel kernel = kKernels[function.index];
    if (ReadsEarlierResults(n, columns, out)) {
        // In order, one element at a time: each sees every result before it,
        // as a loop over the scalar function would.
        for (std::size_t i = 0; i < n; ++i) RunRange(kernel, columns, out, i, i + 1);
        return true;
    }
    // A stride-0 output keeps the last element's value: one thread, in order.
    const std::size_t threads = out.stride == 0 ? 1 : ThreadsFor(n, options.threads);
    const ColumnRun job{kernel, n, PartsFor(n, threads), columns, out};
    detail::RunParts(job.parts, threads - 1, &ColumnRun::Part, &job);
    return true;
}

bool EvaluateBatch(std::string_view function, std::size_t n, std::span<const InputColumn> columns,
                   OutputColumn out, BatchOptions options) noexcept {
    const CatalogueEntry* entry = FindFunction(function);
    return entry != nullptr && EvaluateBatch(*entry, n, columns, out, options);
}

bool EvaluateBatch(const CatalogueEntry& function, std::span<const double* const> columns,
                   std::span<double> out, BatchOptions options) noexcept {
    if (columns.size() != function.argumentCount) return false;
    InputColumn contiguous[kMaxArguments];
    for (std::size_t k = 0; k < columns.size(); ++k) contiguous[k] = {columns[k], 1};
    return EvaluateBatch(function, out.size(), {contiguous, columns.size()}, {out.data(), 1},
                         options);
}

}  // namespace vantrel
