// The column loop of one typed function: the batch kernel that EvaluateBatch
// runs. Each function's loop is instantiated in the file that defines the
// function (VANTREL_COLUMN_KERNEL), where the compiler can inline the function
// into it and vectorise its guards and arithmetic. Only those files include
// this header; library/catalogue/batch.cpp names the loops by a plain declaration, so that
// it makes no copies of its own.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>

#include "columns/arity.h"
#include "vantrel/columns.h"

namespace vantrel::detail {

// Elements per pass: small enough that the gathered arguments of the widest
// function stay in the first-level cache.
inline constexpr std::size_t kKernelBlock = 256;

// Both clones give the same bits: AVX2 adds wider registers, no fused
// multiply-add, and -ffp-contract=off forbids contraction anyway. Only GCC
// on ELF targets resolves clones at load time; elsewhere the baseline alone.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__ELF__)
#define VANTREL_KERNEL_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VANTREL_KERNEL_CLONES
#endif

// F over m contiguous elements: straight into a contiguous output (the
// compiler checks at run time that it does not overlap an input, and falls
// back to one element at a time where it does, as in place), or into a buffer
// of the loop's own for a strided one.
template <auto F, std::size_t... K>
[[gnu::always_inline]] inline void EvaluateBlock(std::size_t m, const double* const* in,
                                                 double* result,
                                                 std::index_sequence<K...>) noexcept {
    for (std::size_t i = 0; i < m; ++i) result[i] = F(in[K][i]...);
}

// Flattened: everything the function calls that the compiler can see is
// inlined, so that no helper is called per element with its arguments passed
// through memory.
template <auto F>
[[gnu::flatten]] VANTREL_KERNEL_CLONES void ColumnLoop(std::size_t n, const InputColumn* columns,
                                                       OutputColumn out) noexcept {
    constexpr std::size_t k = kArgumentCount<F>;
    const double* in[k];
    // Straight-line code, not a loop the compiler could give wide registers.
    const bool contiguous = [&]<std::size_t... K>(std::index_sequence<K...>) {
        ((in[K] = columns[K].data), ...);
        return ((columns[K].stride == 1) && ... && (out.stride == 1));
    }
    (std::make_index_sequence<k>{});
    // Arrays end to end: one pass, with nothing to gather.
    if (contiguous) {
        EvaluateBlock<F>(n, in, out.data, std::make_index_sequence<k>{});
        return;
    }
    double gathered[k][kKernelBlock];
    double result[kKernelBlock];
    for (std::size_t start = 0; start < n; start += kKernelBlock) {
        const std::size_t m = std::min(kKernelBlock, n - start);
        const auto at = [start](std::ptrdiff_t stride, std::size_t i) {
            return static_cast<std::ptrdiff_t>(start + i) * stride;
        };
        for (std::size_t a = 0; a < k; ++a) {
            const InputColumn& column = columns[a];
            if (column.stride == 1) {
                in[a] = column.data + start;
                continue;
            }
            for (std::size_t i = 0; i < m; ++i) gathered[a][i] = column.data[at(column.stride, i)];
            in[a] = gathered[a];
        }
        if (out.stride == 1) {
            EvaluateBlock<F>(m, in, out.data + start, std::make_index_sequence<k>{});
        } else {
            EvaluateBlock<F>(m, in, result, std::make_index_sequence<k>{});
            for (std::size_t i = 0; i < m; ++i) out.data[at(out.stride, i)] = result[i];
        }
    }
}

}  // namespace vantrel::detail

// Instantiates the column loop of a function in the file that defines it.
// Without VANTREL_INLINE_COLUMN_LOOPS the loops are instantiated in
// library/catalogue/column_loops.cpp instead, apart from the functions, whose code is then
// exactly what it is without any loops.
#if VANTREL_INLINE_COLUMN_LOOPS
#define VANTREL_COLUMN_KERNEL(function)                     \
    template void ::vantrel::detail::ColumnLoop<&function>( \
        std::size_t, const ::vantrel::InputColumn*, ::vantrel::OutputColumn) noexcept
#else
#define VANTREL_COLUMN_KERNEL(function) static_assert(true)
#endif
