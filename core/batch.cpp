#include "vantrel/batch.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

#include "core/catalogue.h"

namespace vantrel {

namespace detail {

// The column loop of F (common/column_loop.h). Instantiated beside each function,
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
    const std::size_t threads =
        requested == 0 ? std::max(1u, std::thread::hardware_concurrency()) : requested;
    return std::clamp<std::size_t>(n / kElementsPerThread, 1, threads);
}

InputColumn Advance(InputColumn column, std::size_t elements) {
    return {column.data + static_cast<std::ptrdiff_t>(elements) * column.stride, column.stride};
}

}  // namespace

bool EvaluateBatch(const CatalogueEntry& function, std::size_t n,
                   std::span<const InputColumn> columns, OutputColumn out,
                   BatchOptions options) noexcept {
    if (columns.size() != function.argumentCount) return false;
    const detail::ColumnKernel kernel = kKernels[IndexOf(function)];
    const std::size_t threads = ThreadsFor(n, options.threads);
    // Each part is a run of whole elements, computed as it would be alone.
    const auto part = [&](std::size_t t) {
        const std::size_t begin = n * t / threads;
        const std::size_t end = n * (t + 1) / threads;
        InputColumn shifted[kMaxArguments];
        for (std::size_t k = 0; k < columns.size(); ++k) shifted[k] = Advance(columns[k], begin);
        kernel(end - begin, shifted,
               {out.data + static_cast<std::ptrdiff_t>(begin) * out.stride, out.stride});
    };
    std::vector<std::thread> workers;
    for (std::size_t t = 1; t < threads; ++t) {
        try {
            workers.emplace_back(part, t);
        } catch (const std::exception&) {
            part(t);  // no thread to be had: this one does the part
        }
    }
    part(0);
    for (std::thread& worker : workers) worker.join();
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
