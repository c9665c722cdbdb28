// The Python module `vantrel`. Every catalogue function is
//   - a numpy ufunc (vantrel.ufuncs.CountRate: nin = its argument count,
//     nout = 1) whose float64 loop is the C++ column kernel, so that out=,
//     where=, masked arrays, dask and xarray work as with numpy's own ufuncs,
//     and whose second loop takes object arrays (pandas keeps numbers so)
//     value by value; and
//   - a named callable (vantrel.CountRate, also vantrel.count_rate) that takes
//     its arguments by position or by the catalogue's argument names, answers
//     plain numbers at once, and hands everything else to its ufunc.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/arrayobject.h>
#include <numpy/ufuncobject.h>
#include <structmember.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>
#if defined(__x86_64__) && defined(__SSE2__)
#include <xmmintrin.h>
#endif
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "vantrel/batch.h"
#include "vantrel/catalogue.h"

namespace vantrel::python {

int AddDecayFit(PyObject* module);  // frontends/python/decay_fit.cpp

namespace {

// An owned reference, released at the end of its scope.
class Ref {
public:
    Ref() = default;
    explicit Ref(PyObject* object) : object_(object) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : object_(other.release()) {}
    ~Ref() { Py_XDECREF(object_); }
    PyObject* get() const { return object_; }
    PyObject* release() { return std::exchange(object_, nullptr); }
    void reset(PyObject* object) { Py_XDECREF(std::exchange(object_, object)); }
    explicit operator bool() const { return object_ != nullptr; }

private:
    PyObject* object_ = nullptr;
};

// Threads that share the elements of one inner-loop call, as BatchOptions
// counts them (0: one per processor). Read once per call: set_num_threads may
// run at any time on another thread.
std::atomic<unsigned> gThreads{0};

// The threads in effect. The processors are counted once: asking the system
// costs a small array's call several times its arithmetic.
unsigned ThreadsInEffect() {
    static const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    const unsigned threads = gThreads.load(std::memory_order_relaxed);
    return threads != 0 ? threads : processors;
}

// ---- Values ----------------------------------------------------------------------

std::string Text(PyObject* object) {
    Ref text(PyObject_Str(object));
    if (!text) {
        PyErr_Clear();
        return "?";
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &size);
    if (utf8 == nullptr) PyErr_Clear();
    return utf8 == nullptr ? "?" : std::string(utf8, static_cast<std::size_t>(size));
}

std::string TypeName(PyObject* object) { return Py_TYPE(object)->tp_name; }

std::string Where(const CatalogueEntry& entry, std::size_t a) {
    return std::string(entry.signature) + ": argument '" + std::string(entry.arguments[a].name) +
           "'";
}

// The leading digits of a whole number and how many it has. Not from its
// decimal text: Python refuses that beyond a few thousand digits.
std::string IntegerText(PyObject* n) {
    Ref magnitude(PyNumber_Absolute(n));
    Ref bits(magnitude ? PyObject_CallMethod(magnitude.get(), "bit_length", nullptr) : nullptr);
    const long long b = bits ? PyLong_AsLongLong(bits.get()) : -1;
    if (b < 0) {
        PyErr_Clear();
        return "?";
    }
    // n ≥ 10^(skip + 22), so n / 10^skip keeps more than 20 leading digits.
    const long long skip = std::max(0LL, static_cast<long long>(double(b) * 0.30102999) - 23);
    Ref ten(PyLong_FromLong(10));
    Ref exponent(PyLong_FromLongLong(skip));
    Ref scale(ten && exponent ? PyNumber_Power(ten.get(), exponent.get(), Py_None) : nullptr);
    Ref head(scale ? PyNumber_FloorDivide(magnitude.get(), scale.get()) : nullptr);
    if (!head) {
        PyErr_Clear();
        return "?";
    }
    const std::string digits = Text(head.get());
    const std::string sign = PyObject_RichCompareBool(n, magnitude.get(), Py_EQ) == 1 ? "" : "-";
    PyErr_Clear();
    return sign + digits.substr(0, 20) + "… (" +
           std::to_string(skip + static_cast<long long>(digits.size())) + " digits)";
}

// The text of a value, cut to its head and tail when long.
std::string ShortText(PyObject* value) {
    Ref text(PyObject_Str(value));
    const Py_ssize_t length = text ? PyUnicode_GetLength(text.get()) : -1;
    if (length <= 32) {
        PyErr_Clear();
        return text ? Text(text.get()) : "?";
    }
    Ref head(PyUnicode_Substring(text.get(), 0, 20));
    Ref tail(PyUnicode_Substring(text.get(), length - 8, length));
    if (!head || !tail) {
        PyErr_Clear();
        return "?";
    }
    return Text(head.get()) + "…" + Text(tail.get());
}

bool BeyondDouble(PyObject* value, const CatalogueEntry& entry, std::size_t a) {
    const std::string where = Where(entry, a);
    const std::string text =
        PyLong_Check(value) ? IntegerText(value) : ShortText(value) + " (" + TypeName(value) + ")";
    PyErr_Format(PyExc_OverflowError, "%s holds %s, which does not fit a double", where.c_str(),
                 text.c_str());
    return false;
}

// One value a caller passed as a double: anything Python can take as a real
// number (int, float, Decimal, Fraction, a numpy scalar, whatever has
// __float__). False with an error that names the argument otherwise: text,
// None and complex numbers are no real numbers, and a value beyond a double
// is refused, never taken as an infinity.
bool ToDouble(PyObject* value, const CatalogueEntry& entry, std::size_t a, double& x) {
    if (value != nullptr && PyFloat_Check(value)) {  // the common case first: a double already
        x = PyFloat_AS_DOUBLE(value);
        return true;
    }
    if (value == nullptr) value = Py_None;  // an object array numpy left empty
    x = PyFloat_AsDouble(value);
    if (x == -1.0 && PyErr_Occurred()) {
        if (PyErr_ExceptionMatches(PyExc_OverflowError)) {
            PyErr_Clear();
            return BeyondDouble(value, entry, a);
        }
        // A MemoryError or an interrupt stays what it is.
        if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_ValueError))
            return false;
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "%s holds %.60R (%s), not a real number",
                     Where(entry, a).c_str(), value, TypeName(value).c_str());
        return false;
    }
    // Decimal('1e400') and np.longdouble('1e400') become inf without a word;
    // a true infinity compares equal to one. A type that cannot compare is
    // taken at its word.
    const bool compares = Py_TYPE(value)->tp_richcompare != PyBaseObject_Type.tp_richcompare;
    if (std::isinf(x) && compares) {
        Ref infinity(PyFloat_FromDouble(x));
        const int infinite = infinity ? PyObject_RichCompareBool(value, infinity.get(), Py_EQ) : -1;
        PyErr_Clear();
        if (infinite != 1) return BeyondDouble(value, entry, a);
    }
    return true;
}

// ---- The ufuncs ----------------------------------------------------------------

// The arithmetic runs on SSE registers alone, so clearing the flags of the SSE
// control register is enough, and it costs a fraction of feclearexcept, which
// also rewrites the x87 environment: a small array's call feels the difference.
// Writing the register costs more than reading it, and numpy reports only the
// invalid, division, overflow and underflow flags (not inexact or denormal):
// a call that raised none of them writes nothing.
inline void ClearFloatingPointFlags() noexcept {
#if defined(__x86_64__) && defined(__SSE2__)
    constexpr unsigned kReported =
        _MM_EXCEPT_INVALID | _MM_EXCEPT_DIV_ZERO | _MM_EXCEPT_OVERFLOW | _MM_EXCEPT_UNDERFLOW;
    const unsigned status = _mm_getcsr();
    if ((status & kReported) != 0) _mm_setcsr(status & ~_MM_EXCEPT_MASK);
#else
    std::feclearexcept(FE_ALL_EXCEPT);
#endif
}

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
            if (!ToDouble(value, entry, a, arguments[a])) return;
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

PyObject* MakeUfunc(const CatalogueEntry& entry, UfuncTables& tables) {
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

// ---- Arguments -----------------------------------------------------------------

bool RealKind(char kind) { return kind == 'b' || kind == 'i' || kind == 'u' || kind == 'f'; }

// After numpy refused the arguments: an error that names the argument and its
// dtype, or its first value that is no real number. False when no argument is
// at fault (numpy's error stands). What computes lazily is never converted to
// find out (a dask array beside the bad argument would be computed in vain):
// arrays, numpy scalars and Python's own values are looked at, anything else
// only asked for a `dtype` attribute.
bool ExplainRefusal(const CatalogueEntry& entry, PyObject* const* values) {
    for (std::size_t a = 0; a < entry.argumentCount; ++a) {
        PyObject* value = values[a];
        const bool concrete = PyArray_Check(value) || PyArray_IsScalar(value, Generic) ||
                              PyList_Check(value) || PyTuple_Check(value) ||
                              PyUnicode_Check(value) || PyBytes_Check(value) ||
                              PyComplex_Check(value) || value == Py_None;
        Ref array(concrete ? PyArray_FROM_O(value) : nullptr);
        Ref dtype(array ? Py_NewRef(reinterpret_cast<PyObject*>(
                              PyArray_DESCR(reinterpret_cast<PyArrayObject*>(array.get()))))
                        : (concrete ? nullptr : PyObject_GetAttrString(value, "dtype")));
        PyErr_Clear();
        if (!dtype || !PyArray_DescrCheck(dtype.get())) continue;
        const char kind = reinterpret_cast<PyArray_Descr*>(dtype.get())->kind;
        if (kind == 'O' && array) {
            Ref flat(PyArray_Ravel(reinterpret_cast<PyArrayObject*>(array.get()), NPY_CORDER));
            const Py_ssize_t n = flat ? PySequence_Size(flat.get()) : 0;
            for (Py_ssize_t i = 0; i < n; ++i) {
                Ref item(PySequence_GetItem(flat.get(), i));
                double x;
                if (item && !ToDouble(item.get(), entry, a, x)) return true;
            }
            PyErr_Clear();
        } else if (!RealKind(kind) && kind != 'O') {
            PyErr_Format(PyExc_TypeError, "%s has dtype %s, not a real number type",
                         Where(entry, a).c_str(), Text(dtype.get()).c_str());
            return true;
        }
    }
    return false;
}

// numpy does not cast long double to float64 of itself, as a value may not
// fit: such arrays, scalars and lists go to the object loop, which converts
// each value and refuses one beyond a double. nullptr with the error set, or
// the value to pass on.
PyObject* WithoutLongDouble(PyObject* value) {
    if (PyArray_Check(value)) {
        auto* array = reinterpret_cast<PyArrayObject*>(value);
        return PyArray_TYPE(array) == NPY_LONGDOUBLE ? PyArray_Cast(array, NPY_OBJECT)
                                                     : Py_NewRef(value);
    }
    if (!PyArray_IsScalar(value, LongDouble) && !PyList_Check(value) && !PyTuple_Check(value))
        return Py_NewRef(value);
    Ref array(PyArray_FROM_O(value));
    return array ? WithoutLongDouble(array.get()) : nullptr;
}

// ---- The named callables -------------------------------------------------------

constexpr std::array<std::string_view, 6> kNumpyKeywords = {"out",     "where", "dtype",
                                                            "casting", "order", "subok"};

struct Function {
    PyObject_HEAD vectorcallfunc vectorcall;
    PyObject* dict;
    const CatalogueEntry* entry;
    PyObject* ufunc;     // the function's ufunc
    PyObject* keywords;  // tuple of str: the argument names, "lambda" as "lambda_"
    PyObject* names;     // tuple of str: the catalogue's argument names
};

Function* AsFunction(PyObject* self) { return reinterpret_cast<Function*>(self); }

std::string Signature(const Function* f) { return std::string(f->entry->signature); }

// The position of keyword `name` among the arguments, or −1.
Py_ssize_t ArgumentIndex(const Function* f, PyObject* name) {
    const Py_ssize_t k = PyTuple_GET_SIZE(f->names);
    for (Py_ssize_t a = 0; a < k; ++a) {
        if (PyTuple_GET_ITEM(f->keywords, a) == name || PyTuple_GET_ITEM(f->names, a) == name)
            return a;
    }
    for (Py_ssize_t a = 0; a < k; ++a) {
        if (PyUnicode_Compare(PyTuple_GET_ITEM(f->keywords, a), name) == 0 ||
            PyUnicode_Compare(PyTuple_GET_ITEM(f->names, a), name) == 0) {
            return a;
        }
    }
    return -1;
}

bool IsNumpyKeyword(PyObject* name) {
    const char* text = PyUnicode_AsUTF8(name);
    return text != nullptr && std::find(kNumpyKeywords.begin(), kNumpyKeywords.end(),
                                        std::string_view(text)) != kNumpyKeywords.end();
}

// The argument, or numpy keyword, that a misspelt keyword most resembles
// ("tt": 't', "sigmalambda": 'sigmaLambda'), as difflib judges it with case
// ignored; empty when none comes close.
std::string ClosestKeyword(const Function* f, PyObject* name) {
    std::vector<PyObject*> candidates;
    for (Py_ssize_t a = 0; a < PyTuple_GET_SIZE(f->names); ++a) {
        candidates.push_back(PyTuple_GET_ITEM(f->names, a));
        candidates.push_back(PyTuple_GET_ITEM(f->keywords, a));
    }
    std::vector<Ref> numpy;
    for (const std::string_view keyword : kNumpyKeywords) {
        numpy.emplace_back(PyUnicode_FromStringAndSize(keyword.data(), Py_ssize_t(keyword.size())));
        if (!numpy.back()) break;
        candidates.push_back(numpy.back().get());
    }
    Ref lowered(PyList_New(0));
    for (std::size_t i = 0; lowered && i < candidates.size(); ++i) {
        Ref lower(PyObject_CallMethod(candidates[i], "lower", nullptr));
        if (!lower || PyList_Append(lowered.get(), lower.get()) != 0) lowered.reset(nullptr);
    }
    Ref difflib(PyImport_ImportModule("difflib"));
    Ref typed(PyObject_CallMethod(name, "lower", nullptr));
    Ref matches(difflib && typed && lowered && numpy.size() == kNumpyKeywords.size()
                    ? PyObject_CallMethod(difflib.get(), "get_close_matches", "OOi", typed.get(),
                                          lowered.get(), 1)
                    : nullptr);
    const Py_ssize_t at = matches && PyList_Check(matches.get()) && PyList_GET_SIZE(matches.get())
                              ? PySequence_Index(lowered.get(), PyList_GET_ITEM(matches.get(), 0))
                              : -1;
    PyErr_Clear();  // a suggestion is a courtesy: without one, the error stands as it is
    return at < 0 ? std::string() : Text(candidates[static_cast<std::size_t>(at)]);
}

bool PlainNumber(PyObject* value) { return PyFloat_Check(value) || PyLong_Check(value); }

PyObject* CallUfunc(Function* f, PyObject** values, std::size_t k, PyObject* passed,
                    PyObject* const* passedValues) {
    PyObject* call[kMaxArguments + kNumpyKeywords.size()];
    std::copy(values, values + k, call);
    const Py_ssize_t keywords = passed == nullptr ? 0 : PyTuple_GET_SIZE(passed);
    std::copy(passedValues, passedValues + keywords, call + k);
    return PyObject_Vectorcall(f->ufunc, call, k, passed);
}

PyObject* Call(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    Function* f = AsFunction(self);
    const std::size_t k = f->entry->argumentCount;
    const auto positional = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
    if (positional > k) {
        return PyErr_Format(PyExc_TypeError, "%s takes %zu arguments, got %zu",
                            Signature(f).c_str(), k, positional);
    }
    PyObject* values[kMaxArguments] = {};
    std::copy(args, args + positional, values);

    // Arguments by name; numpy's own keywords are passed on to the ufunc.
    PyObject* passedNames[kNumpyKeywords.size()];
    PyObject* passedValues[kNumpyKeywords.size()];
    std::size_t passed = 0;
    const Py_ssize_t named = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t i = 0; i < named; ++i) {
        PyObject* name = PyTuple_GET_ITEM(kwnames, i);
        PyObject* value = args[positional + static_cast<std::size_t>(i)];
        const Py_ssize_t a = ArgumentIndex(f, name);
        if (a >= 0 && values[a] != nullptr) {
            return PyErr_Format(PyExc_TypeError, "%s got argument '%U' twice", Signature(f).c_str(),
                                PyTuple_GET_ITEM(f->names, a));
        }
        if (a >= 0) {
            values[a] = value;
        } else if (IsNumpyKeyword(name)) {
            passedNames[passed] = name;
            passedValues[passed++] = value;
        } else {
            const std::string closest = ClosestKeyword(f, name);
            const std::string hint = closest.empty() ? "" : "; did you mean '" + closest + "'?";
            return PyErr_Format(PyExc_TypeError, "%s has no argument '%U'%s", Signature(f).c_str(),
                                name, hint.c_str());
        }
    }
    std::string missing;
    for (std::size_t a = 0; a < k; ++a) {
        if (values[a] == nullptr)
            missing += (missing.empty() ? "'" : ", '") + Text(PyTuple_GET_ITEM(f->names, a)) + "'";
    }
    if (!missing.empty())
        return PyErr_Format(PyExc_TypeError, "%s is missing %s", Signature(f).c_str(),
                            missing.c_str());

    // Plain numbers: the value at once, as a float, and the floating-point
    // flags left as the ufunc's loop leaves them (np.vectorize checks them).
    if (passed == 0 && std::all_of(values, values + k, PlainNumber)) {
        double arguments[kMaxArguments];
        for (std::size_t a = 0; a < k; ++a) {
            if (!ToDouble(values[a], *f->entry, a, arguments[a])) return nullptr;
        }
        const double result = Evaluate(*f->entry, {arguments, k});
        ClearFloatingPointFlags();
        return PyFloat_FromDouble(result);
    }

    Ref converted[kMaxArguments];
    for (std::size_t a = 0; a < k; ++a) {
        converted[a].reset(WithoutLongDouble(values[a]));
        if (!converted[a]) return nullptr;
        values[a] = converted[a].get();
    }
    Ref names(passed == 0 ? nullptr : PyTuple_New(static_cast<Py_ssize_t>(passed)));
    if (passed != 0 && !names) return nullptr;
    for (std::size_t i = 0; i < passed; ++i) {
        PyTuple_SET_ITEM(names.get(), static_cast<Py_ssize_t>(i), Py_NewRef(passedNames[i]));
    }
    PyObject* result = CallUfunc(f, values, k, names.get(), passedValues);
    if (result == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_TypeError)) return nullptr;
        // Name the argument that numpy could not take.
        PyObject *type, *value, *traceback;
        PyErr_Fetch(&type, &value, &traceback);
        if (ExplainRefusal(*f->entry, values)) {
            Py_XDECREF(type);
            Py_XDECREF(value);
            Py_XDECREF(traceback);
        } else {
            PyErr_Restore(type, value, traceback);
        }
        return nullptr;
    }
    // Numbers in (0-d arrays, numpy scalars), a float out, as with plain numbers.
    if (passed == 0 && PyArray_IsScalar(result, Double)) {
        const double x = PyFloat_AsDouble(result);  // numpy's float64 is a float
        Py_DECREF(result);
        return PyFloat_FromDouble(x);
    }
    return result;
}

void Dealloc(PyObject* self) {
    Function* f = AsFunction(self);
    PyObject_GC_UnTrack(self);
    Py_CLEAR(f->dict);
    Py_CLEAR(f->ufunc);
    Py_CLEAR(f->keywords);
    Py_CLEAR(f->names);
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

int Traverse(PyObject* self, visitproc visit, void* arg) {
    Function* f = AsFunction(self);
    Py_VISIT(f->dict);
    Py_VISIT(f->ufunc);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

PyObject* Repr(PyObject* self) {
    return PyUnicode_FromFormat("<vantrel function %s>", Signature(AsFunction(self)).c_str());
}

// Pickled and copied by reference: the name under which the module holds it.
PyObject* Reduce(PyObject* self, PyObject*) {
    const std::string_view name = AsFunction(self)->entry->name;
    return PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
}

PyObject* GetName(PyObject* self, void*) {
    const std::string_view name = AsFunction(self)->entry->name;
    return PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
}
PyObject* GetAlias(PyObject* self, void*) {
    const std::string_view alias = AsFunction(self)->entry->alias;
    return PyUnicode_FromStringAndSize(alias.data(), static_cast<Py_ssize_t>(alias.size()));
}
PyObject* GetIndex(PyObject* self, void*) {
    return PyLong_FromSize_t(IndexOf(*AsFunction(self)->entry));
}
PyObject* GetExported(PyObject* self, void*) {
    return PyBool_FromLong(AsFunction(self)->entry->exported);
}
PyObject* GetArguments(PyObject* self, void*) { return Py_NewRef(AsFunction(self)->names); }
PyObject* GetUfunc(PyObject* self, void*) { return Py_NewRef(AsFunction(self)->ufunc); }

PyObject* Utf8(std::string_view text) {
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}
PyObject* GetSummary(PyObject* self, void*) { return Utf8(AsFunction(self)->entry->summary); }
PyObject* GetResultUnit(PyObject* self, void*) { return Utf8(AsFunction(self)->entry->resultUnit); }
PyObject* GetUnits(PyObject* self, void*) {
    const CatalogueEntry& e = *AsFunction(self)->entry;
    Ref units(PyTuple_New(static_cast<Py_ssize_t>(e.arguments.size())));
    for (std::size_t a = 0; units && a < e.arguments.size(); ++a) {
        PyObject* unit = Utf8(e.arguments[a].unit);
        if (unit == nullptr) return nullptr;
        PyTuple_SET_ITEM(units.get(), static_cast<Py_ssize_t>(a), unit);
    }
    return units.release();
}
PyObject* GetExample(PyObject* self, void*) {
    const CatalogueEntry& e = *AsFunction(self)->entry;
    Ref arguments(PyTuple_New(static_cast<Py_ssize_t>(e.exampleArguments.size())));
    for (std::size_t a = 0; arguments && a < e.exampleArguments.size(); ++a) {
        PyObject* x = PyFloat_FromDouble(e.exampleArguments[a]);
        if (x == nullptr) return nullptr;
        PyTuple_SET_ITEM(arguments.get(), static_cast<Py_ssize_t>(a), x);
    }
    return arguments ? Py_BuildValue("(Od)", arguments.get(), e.exampleValue) : nullptr;
}

PyMemberDef kMembers[] = {
    {"__vectorcalloffset__", T_PYSSIZET, offsetof(Function, vectorcall), READONLY, nullptr},
    {"__dictoffset__", T_PYSSIZET, offsetof(Function, dict), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};
PyGetSetDef kProperties[] = {
    {"name", GetName, nullptr, "The catalogue name.", nullptr},
    {"alias", GetAlias, nullptr, "The snake_case alias.", nullptr},
    {"index", GetIndex, nullptr, "The function index in the catalogue.", nullptr},
    {"exported", GetExported, nullptr,
     "True for the plug-in's functions, which the host calls too; False for the library's own.",
     nullptr},
    {"arguments", GetArguments, nullptr,
     "The argument names in call order, as the catalogue spells them.", nullptr},
    {"ufunc", GetUfunc, nullptr, "The function's numpy ufunc (also in vantrel.ufuncs).", nullptr},
    {"summary", GetSummary, nullptr, "What the function gives, in one line.", nullptr},
    {"units", GetUnits, nullptr, "The unit of each argument, in call order ('1': dimensionless).",
     nullptr},
    {"result_unit", GetResultUnit, nullptr, "The unit of the value.", nullptr},
    {"example", GetExample, nullptr, "A documented call: (arguments, value).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
PyMethodDef kMethods[] = {
    {"__reduce__", Reduce, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
PyType_Slot kFunctionSlots[] = {
    {Py_tp_call, reinterpret_cast<void*>(PyVectorcall_Call)},
    {Py_tp_dealloc, reinterpret_cast<void*>(Dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(Traverse)},
    {Py_tp_repr, reinterpret_cast<void*>(Repr)},
    {Py_tp_members, kMembers},
    {Py_tp_getset, kProperties},
    {Py_tp_methods, kMethods},
    {Py_tp_doc, const_cast<char*>("A Vantrel function: call it with numbers or arrays.")},
    {0, nullptr},
};
PyType_Spec kFunctionSpec = {
    "vantrel.Function",
    sizeof(Function),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL |
        Py_TPFLAGS_DISALLOW_INSTANTIATION,
    kFunctionSlots,
};

// ---- The module ----------------------------------------------------------------

PyObject* GetNumThreads(PyObject*, PyObject*) { return PyLong_FromUnsignedLong(ThreadsInEffect()); }

PyObject* SetNumThreads(PyObject*, PyObject* argument) {
    constexpr long long kMost = 1024;
    int overflow = 0;
    const long long threads = PyLong_AsLongLongAndOverflow(argument, &overflow);
    if (threads == -1 && PyErr_Occurred()) return nullptr;
    if (overflow < 0 || (overflow == 0 && threads < 0)) {
        return PyErr_Format(PyExc_ValueError,
                            "set_num_threads takes a number of threads, or 0 for one per "
                            "processor, not %R",
                            argument);
    }
    gThreads.store(static_cast<unsigned>(overflow > 0 ? kMost : std::min(threads, kMost)));
    Py_RETURN_NONE;
}

PyMethodDef kModuleMethods[] = {
    {"get_num_threads", GetNumThreads, METH_NOARGS,
     "Threads that share the elements of a large array (default: one per processor)."},
    {"set_num_threads", SetNumThreads, METH_O,
     "Sets the number of threads for large arrays: 1 computes in the calling thread only, 0 takes "
     "one per processor (the default)."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT,
    "vantrel",
    "The Vantrel functions of polarised-neutron diffraction: count rates, flipping ratios,\n"
    "asymmetries, optimal counting times, peak centring, sin(theta)/lambda and helium-3 cells.\n"
    "Each is available under its catalogue name (FlippingRatioOptSDev) and a snake_case alias\n"
    "(flipping_ratio_opt_sdev); `functions` lists them in catalogue order, and `ufuncs` holds the\n"
    "numpy ufunc of each.",
    -1,
    kModuleMethods,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// The catalogue's help, then how the function takes Python's numbers and arrays.
std::string Documentation(const CatalogueEntry& e) {
    return HelpText(e) +
           "\nTakes numbers or arrays of numbers, by position or by the names above ('lambda' as\n"
           "'lambda_'), and broadcasts them as its numpy ufunc (the attribute `ufunc`) does; "
           "numpy's\n"
           "keywords out=, where=, dtype=, casting=, order= and subok= are passed on to it. "
           "Numbers\n"
           "give a float, arrays a float64 array of the broadcast shape (masked arrays, dask and\n"
           "xarray arrays in kind). A degenerate input gives nan, never an error or a warning.\n";
}

// inspect.Signature(arguments…, *, out=None, where=True, casting='same_kind', order='K',
// dtype=None, subok=True).
PyObject* MakeSignature(Function* f) {
    Ref inspect(PyImport_ImportModule("inspect"));
    if (!inspect) return nullptr;
    Ref parameter(PyObject_GetAttrString(inspect.get(), "Parameter"));
    Ref signature(PyObject_GetAttrString(inspect.get(), "Signature"));
    if (!parameter || !signature) return nullptr;
    Ref positional(PyObject_GetAttrString(parameter.get(), "POSITIONAL_OR_KEYWORD"));
    Ref keywordOnly(PyObject_GetAttrString(parameter.get(), "KEYWORD_ONLY"));
    Ref parameters(PyList_New(0));
    if (!positional || !keywordOnly || !parameters) return nullptr;
    for (Py_ssize_t a = 0; a < PyTuple_GET_SIZE(f->keywords); ++a) {
        Ref p(PyObject_CallFunctionObjArgs(parameter.get(), PyTuple_GET_ITEM(f->keywords, a),
                                           positional.get(), nullptr));
        if (!p || PyList_Append(parameters.get(), p.get()) != 0) return nullptr;
    }
    const std::pair<const char*, PyObject*> defaults[] = {{"out", Py_None},     {"where", Py_True},
                                                          {"casting", nullptr}, {"order", nullptr},
                                                          {"dtype", Py_None},   {"subok", Py_True}};
    for (const auto& [name, value] : defaults) {
        Ref fallback(
            value != nullptr
                ? Py_NewRef(value)
                : PyUnicode_FromString(std::string_view(name) == "casting" ? "same_kind" : "K"));
        Ref kwargs(Py_BuildValue("{s:O}", "default", fallback.get()));
        Ref args(Py_BuildValue("(sO)", name, keywordOnly.get()));
        if (!kwargs || !args) return nullptr;
        Ref p(PyObject_Call(parameter.get(), args.get(), kwargs.get()));
        if (!p || PyList_Append(parameters.get(), p.get()) != 0) return nullptr;
    }
    return PyObject_CallOneArg(signature.get(), parameters.get());
}

bool SetAttribute(PyObject* object, const char* name, PyObject* value) {
    return value != nullptr && PyObject_SetAttrString(object, name, value) == 0;
}

PyObject* MakeFunction(PyTypeObject* type, const CatalogueEntry& entry, PyObject* ufunc,
                       PyObject* isKeyword) {
    Ref self(reinterpret_cast<PyObject*>(PyObject_GC_New(Function, type)));
    if (!self) return nullptr;
    Function* f = AsFunction(self.get());
    f->vectorcall = Call;
    f->dict = PyDict_New();
    f->entry = &entry;
    f->ufunc = Py_NewRef(ufunc);
    const std::vector<std::string_view> names = entry.ArgumentNames();
    f->names = PyTuple_New(static_cast<Py_ssize_t>(names.size()));
    f->keywords = PyTuple_New(static_cast<Py_ssize_t>(names.size()));
    PyObject_GC_Track(self.get());
    if (f->dict == nullptr || f->names == nullptr || f->keywords == nullptr) return nullptr;
    for (std::size_t a = 0; a < names.size(); ++a) {
        PyObject* name = PyUnicode_InternFromString(std::string(names[a]).c_str());
        if (name == nullptr) return nullptr;
        PyTuple_SET_ITEM(f->names, static_cast<Py_ssize_t>(a), name);
        // A name Python reserves ("lambda") is a keyword with a trailing '_'.
        const Ref answer(PyObject_CallOneArg(isKeyword, name));
        const int reserved = answer ? PyObject_IsTrue(answer.get()) : -1;
        if (reserved < 0) return nullptr;
        PyObject* keyword = reserved
                                ? PyUnicode_InternFromString((std::string(names[a]) + "_").c_str())
                                : Py_NewRef(name);
        if (keyword == nullptr) return nullptr;
        PyTuple_SET_ITEM(f->keywords, static_cast<Py_ssize_t>(a), keyword);
    }
    const std::string name(entry.name);
    Ref text(PyUnicode_FromString(name.c_str()));
    Ref doc(PyUnicode_FromString(Documentation(entry).c_str()));
    Ref module(PyUnicode_FromString("vantrel"));
    Ref signature(MakeSignature(f));
    if (!SetAttribute(self.get(), "__name__", text.get()) ||
        !SetAttribute(self.get(), "__qualname__", text.get()) ||
        !SetAttribute(self.get(), "__doc__", doc.get()) ||
        !SetAttribute(self.get(), "__module__", module.get()) ||
        !SetAttribute(self.get(), "__signature__", signature.get())) {
        return nullptr;
    }
    return self.release();
}

PyObject* Initialise() {
    import_array1(nullptr);
    import_umath1(nullptr);
    Ref module(PyModule_Create(&kModule));
    if (!module) return nullptr;
    if (PyModule_AddStringConstant(module.get(), "__version__", VANTREL_VERSION) != 0)
        return nullptr;

    Ref type(PyType_FromSpec(&kFunctionSpec));
    if (!type || PyModule_AddObjectRef(module.get(), "Function", type.get()) != 0) return nullptr;
    // The ufuncs also live in a module of their own, which pickle finds by
    // name: a ufunc is pickled as a reference to vantrel.ufuncs.NAME.
    Ref ufuncs(PyModule_New("vantrel.ufuncs"));
    if (!ufuncs ||
        PyModule_AddStringConstant(
            ufuncs.get(), "__doc__",
            "The numpy ufunc of every Vantrel function, by catalogue name and alias.") != 0) {
        return nullptr;
    }
    // Never resized: numpy keeps pointers into it.
    static std::vector<UfuncTables> tables(Catalogue().size());
    const std::span<const CatalogueEntry> catalogue = Catalogue();
    if (catalogue.size() != tables.size()) {
        PyErr_SetString(PyExc_ImportError, "vantrel: the catalogue does not match the module");
        return nullptr;
    }
    Ref functions(PyTuple_New(static_cast<Py_ssize_t>(catalogue.size())));
    Ref keyword(PyImport_ImportModule("keyword"));
    Ref isKeyword(keyword ? PyObject_GetAttrString(keyword.get(), "iskeyword") : nullptr);
    if (!functions || !isKeyword) return nullptr;
    for (const CatalogueEntry& entry : catalogue) {
        const std::string name(entry.name), alias(entry.alias);
        Ref ufunc(MakeUfunc(entry, tables[IndexOf(entry)]));
        if (!ufunc) return nullptr;
        Ref function(MakeFunction(reinterpret_cast<PyTypeObject*>(type.get()), entry, ufunc.get(),
                                  isKeyword.get()));
        if (!function || !SetAttribute(ufuncs.get(), name.c_str(), ufunc.get()) ||
            !SetAttribute(ufuncs.get(), alias.c_str(), ufunc.get()) ||
            !SetAttribute(module.get(), name.c_str(), function.get()) ||
            !SetAttribute(module.get(), alias.c_str(), function.get())) {
            return nullptr;
        }
        PyTuple_SET_ITEM(functions.get(), static_cast<Py_ssize_t>(IndexOf(entry)),
                         function.release());
    }
    if (PyModule_AddObjectRef(module.get(), "functions", functions.get()) != 0) return nullptr;
    if (AddDecayFit(module.get()) != 0) return nullptr;
    Ref modules(Py_NewRef(PyImport_GetModuleDict()));
    if (PyDict_SetItemString(modules.get(), "vantrel.ufuncs", ufuncs.get()) != 0 ||
        !SetAttribute(module.get(), "ufuncs", ufuncs.get())) {
        return nullptr;
    }
    return module.release();
}

}  // namespace
}  // namespace vantrel::python

PyMODINIT_FUNC PyInit_vantrel() { return vantrel::python::Initialise(); }
