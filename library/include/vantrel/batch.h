// Any catalogue function over whole columns of arguments: n elements at a
// time, from arrays with any stride into an output array, each element with
// exactly the bits that the function gives it alone.
//
//   const double N[] = {1000, 2000, 3000}, t[] = {50, 50, 0};
//   double rate[3];
//   const double* columns[] = {N, t};
//   vantrel::EvaluateBatch(*vantrel::FindFunction("CountRate"), columns, rate);
//   // rate = {20, 40, nan}
//
// Each function has a loop of its own with the function inlined, vectorised
// where its arithmetic allows (the guards and + − × ÷ √; not the functions that
// call pow, exp, log or the trigonometric functions, which take the scalar
// route element by element). On x86-64 Linux the loop is compiled twice, for
// AVX2 and for any x86-64, and the processor picks; both give the same bits.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "vantrel/catalogue.h"
#include "vantrel/columns.h"

namespace vantrel {

struct BatchOptions {
    // Threads that share the elements: 1 computes in the calling thread, 0 takes
    // one per processor. A thread takes at least 32768 elements: a run of fewer
    // than 65536 is computed in the calling thread alone. The
    // threads beyond the caller come from one pool for the whole process, shared
    // by concurrent calls without oversubscribing the processors. Every element
    // is computed on its own, so the result does not depend on the number.
    unsigned threads = 1;
};

// out[i] = f(columns[0][i], …, columns[k − 1][i]) for i < n, with the result of
// that loop run in order whatever memory the output shares with the inputs: a
// stride-0 output over a stride-0 input folds (numpy's reduce), an input one
// element behind the output accumulates. Returns false and writes nothing when
// the number of columns is not the function's argument count or the entry is
// not one of the catalogue's.
bool EvaluateBatch(const CatalogueEntry& function, std::size_t n,
                   std::span<const InputColumn> columns, OutputColumn out,
                   BatchOptions options = {}) noexcept;

// The same by catalogue name or snake_case alias; false also for a name that
// is neither.
bool EvaluateBatch(std::string_view function, std::size_t n, std::span<const InputColumn> columns,
                   OutputColumn out, BatchOptions options = {}) noexcept;

// Contiguous arrays: columns[k] points at out.size() values of argument k.
bool EvaluateBatch(const CatalogueEntry& function, std::span<const double* const> columns,
                   std::span<double> out, BatchOptions options = {}) noexcept;

}  // namespace vantrel
