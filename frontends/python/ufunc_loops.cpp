// The ufunc of every catalogue function: a float64 loop that is the C++
// column kernel, and a loop for object arrays (pandas keeps numbers so) that
// converts value by value as the named callables do.
#include <algorithm>
#include <array>
#include <atomic>
#include <cfenv>
#include <cstdint>
#include <cstring>
#if defined(__x86_64__) && defined(__SSE2__)
#include <xmmintrin.h>
#endif
#include <string>
#include <thread>
#include <vector>

#include "module.h"
#include "vantrel/batch.h"

namespace vantrel::python {
namespace {

// Threads that share the elements of one inner-loop call, as BatchOptions
// counts them (0: one per processor). Read once per call: set_num_threads may
// run at any time on another thread.
std::atomic<unsigned> gThreads{0};

}  // namespace

// The processors are counted once: asking the system costs a small array's
// call several times its arithmetic.
unsigned ThreadsInEffect() {
    static const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    const unsigned threads = gThreads.load(std::memory_order_relaxed);
    return threads != 0 ? threads : processors;
}

bool SetThreads(unsigned long long threads) {
    if (threads > kMostThreads) return false;
    gThreads.store(static_cast<unsigned>(threads), std::memory_order_relaxed);
    return true;
}

// The arithmetic runs on SSE registers alone, so clearing the flags of the SSE
// control register is enough, and it costs a fraction of feclearexcept, which
// also rewrites the x87 environment: a small array's call feels the difference.
// Writing the register costs more than reading it, and numpy reports only the
// invalid, division, overflow and underflow flags (not inexact or denormal):
// a call that raised none of them writes nothing.
void ClearFloatingPointFlags() noexcept {
#if defined(__x86_64__) && defined(__SSE2__)
    constexpr unsigned kReported =
        _MM_EXCEPT_INVALID | _MM_EXCEPT_DIV_ZERO | _MM_EXCEPT_OVERFLOW | _MM_EXCEPT_UNDERFLOW;
    const unsigned status = _mm_getcsr();
    if ((status & kReported) != 0) _mm_setcsr(status & ~_MM_EXCEPT_MASK);
#else
    std::feclearexcept(FE_ALL_EXCEPT);
#endif
}

namespace {

// numpy's inner loop: args[0 … k−1] the inputs, args[k] the output, each with
// its step in bytes; `data` is the catalogue entry.
void InnerLoop(char** args, const npy_intp* dimensions, const npy_intp* steps, void* data) {
    const auto& entry = *static_cast<const CatalogueEntry*>(data);
    const std::size_t k = std::min(entry.argumentCount, kMaxArguments);
    const auto n = static_cast<std::size_t>(dimensions[0]);
    const auto aligned = [&](std::size_t a) {
        return steps[a] % npy_intp{sizeof(double)} == 0 &&
               reinterpret_cast<std::uintptr_t>(args[a]) % alignof(double) == 0;
    };
    bool columnsOfDoubles = aligned(k);
    InputColumn columns[kMaxArguments];
    for (std::size_t a = 0; a < k; ++a) {
        columnsOfDoubles = columnsOfDoubles && aligned(a);
        columns[a] = {reinterpret_cast<const double*>(args[a]),
                      steps[a] / npy_intp{sizeof(double)}};
    }
    if (columnsOfDoubles) {
        EvaluateBatch(entry, n, {columns, k},
                      {reinterpret_cast<double*>(args[k]), steps[k] / npy_intp{sizeof(double)}},
                      {.threads = ThreadsInEffect()});
    } else {
        // numpy aligns the data of a loop like this one; should it ever not, byte by byte.
        double arguments[kMaxArguments];
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t a = 0; a < k; ++a) {
                std::memcpy(&arguments[a], args[a] + npy_intp(i) * steps[a], sizeof(double));
            }
            const double value = Evaluate(entry, {arguments, k});
            std::memcpy(args[k] + npy_intp(i) * steps[k], &value, sizeof value);
        }
    }
    // A degenerate input gives NaN, never an error, and so no warning either:
    // numpy would report the flags that a guarded division or a vectorised
    // loop evaluating both sides of a guard leaves behind.
    ClearFloatingPointFlags();
}

// The loop for object arrays: each value converted as the named functions
// convert a number. numpy holds the interpreter lock for it and stops at the
// error it sets.
void ObjectLoop(char** args, const npy_intp* dimensions, const npy_intp* steps, void* data) {
    const auto& entry = *static_cast<const CatalogueEntry*>(data);
    const std::size_t k = std::min(entry.argumentCount, kMaxArguments);
    double arguments[kMaxArguments];
    for (npy_intp i = 0; i < dimensions[0]; ++i) {
        for (std::size_t a = 0; a < k; ++a) {
            PyObject* value;
            std::memcpy(&value, args[a] + i * steps[a], sizeof value);
            if (!ToDouble(value, NameOf(entry, a), arguments[a])) return;
        }
        const double result = Evaluate(entry, {arguments, k});
        std::memcpy(args[k] + i * steps[k], &result, sizeof result);
    }
    ClearFloatingPointFlags();
}

// What numpy keeps pointers to for the life of the process. numpy takes the
// object loop only when an input is an object array; otherwise the float64
// loop, or a refusal as by its own ufuncs.
struct UfuncTables {
    std::array<PyUFuncGenericFunction, 2> loops{&InnerLoop, &ObjectLoop};
    std::array<void*, 2> data{};
    std::array<char, 2 * (kMaxArguments + 1)> types{};
    std::string doc;
};

}  // namespace

PyObject* MakeUfunc(const CatalogueEntry& entry) {
    // Never resized: numpy keeps pointers into it.
    static std::vector<UfuncTables> everyTable(Catalogue().size());
    if (IndexOf(entry) >= everyTable.size()) {
        PyErr_SetString(PyExc_ImportError, "vantrel: the catalogue does not match the module");
        return nullptr;
    }
    UfuncTables& tables = everyTable[IndexOf(entry)];
    tables.data.fill(const_cast<CatalogueEntry*>(&entry));
    const std::size_t k = entry.argumentCount;
    std::fill_n(tables.types.begin(), k + 1, static_cast<char>(NPY_DOUBLE));
    std::fill_n(tables.types.begin() + std::ptrdiff_t(k + 1), k, static_cast<char>(NPY_OBJECT));
    tables.types[2 * k + 1] = static_cast<char>(NPY_DOUBLE);
    tables.doc = "The ufunc of vantrel." + std::string(entry.signature) +
                 ": float64 in, float64 out, with numpy's broadcasting and keywords; object "
                 "arrays of real numbers are converted value by value.";
    // entry.name is the text of a literal: it ends in a NUL.
    return PyUFunc_FromFuncAndData(tables.loops.data(), tables.data.data(), tables.types.data(), 2,
                                   static_cast<int>(k), 1, PyUFunc_None, entry.name.data(),
                                   tables.doc.c_str(), 0);
}

}  // namespace vantrel::python
