// What the parts of the Python module share: the owner of a reference, how a
// Python value becomes a double (and what is said when it cannot), the ufuncs
// and the named callables. Every part includes numpy through this header, so
// that they share the one table of numpy's functions that module.cpp imports.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL vantrel_ARRAY_API
#define PY_UFUNC_UNIQUE_SYMBOL vantrel_UFUNC_API
#ifndef VANTREL_IMPORTS_NUMPY
#define NO_IMPORT_ARRAY
#define NO_IMPORT_UFUNC
#endif
#include <numpy/arrayobject.h>
#include <numpy/ufuncobject.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "vantrel/catalogue.h"

namespace vantrel::python {

// An owned reference, released at the end of its scope. Every reference the
// module takes is held so, until it is handed on with release().
class Ref {
public:
    Ref() = default;
    explicit Ref(PyObject* object) : object_(object) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : object_(other.release()) {}
    Ref& operator=(Ref&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~Ref() { Py_XDECREF(object_); }
    PyObject* get() const { return object_; }
    PyObject* release() { return std::exchange(object_, nullptr); }
    void reset(PyObject* object) { Py_XDECREF(std::exchange(object_, object)); }
    explicit operator bool() const { return object_ != nullptr; }

private:
    PyObject* object_ = nullptr;
};

// The exception being raised, set aside while more of the C API is called to
// explain it, and then either restored or dropped.
class PendingError {
public:
    PendingError() { PyErr_Fetch(&type_, &value_, &traceback_); }
    PendingError(const PendingError&) = delete;
    PendingError& operator=(const PendingError&) = delete;
    ~PendingError() {
        Py_XDECREF(type_);
        Py_XDECREF(value_);
        Py_XDECREF(traceback_);
    }
    void Restore() {
        PyErr_Restore(type_, value_, traceback_);
        type_ = value_ = traceback_ = nullptr;
    }

private:
    PyObject* type_ = nullptr;
    PyObject* value_ = nullptr;
    PyObject* traceback_ = nullptr;
};

// ---- Values and messages (values.cpp) --------------------------------------------

// Where a value came from, for messages: "CountRate(N, t): argument 't'", and
// for a column of he3_decay_fit also its row (counted from 1; 0 for none).
struct ArgumentName {
    std::string_view function;
    std::string_view name;
    std::size_t row = 0;
    std::string Text() const;
};

inline ArgumentName NameOf(const CatalogueEntry& entry, std::size_t a) {
    return {entry.signature, entry.arguments[a].name};
}

std::string Text(PyObject* object);  // str(object), or "?"
std::string TypeName(PyObject* object);

// One value a caller passed as a double: anything Python takes as a real
// number. False with TypeError (text, None, complex numbers, …) or
// OverflowError (beyond a double) naming the argument; other errors (memory,
// an interrupt) stay what they are.
bool ToDouble(PyObject* value, const ArgumentName& where, double& x);

// TypeError for an array whose dtype holds no real numbers.
void RefuseDtype(const ArgumentName& where, PyObject* dtype);

// Kinds of numpy dtype that convert to float64 without a word.
inline bool RealKind(char kind) { return kind == 'b' || kind == 'i' || kind == 'u' || kind == 'f'; }

// ---- The ufuncs (ufunc_loops.cpp) --------------------------------------------------

unsigned ThreadsInEffect();
// False when `threads` is more than the loops would use.
bool SetThreads(unsigned long long threads);
inline constexpr unsigned long long kMostThreads = 1024;

// The floating-point flags that numpy reports, cleared after a loop: a
// degenerate input gives NaN, never a warning.
void ClearFloatingPointFlags() noexcept;

// A new reference to the ufunc of `entry`, or nullptr with the error set.
PyObject* MakeUfunc(const CatalogueEntry& entry);

// ---- The named callables (function_type.cpp) ---------------------------------------

// The type vantrel.Function, new.
PyObject* MakeFunctionType();
// A new reference to the callable of `entry` over its ufunc, or nullptr.
PyObject* MakeFunction(PyObject* type, const CatalogueEntry& entry, PyObject* ufunc);

// ---- he3_decay_fit (decay_fit.cpp) ----------------------------------------------------

int AddDecayFit(PyObject* module);

// ---- Form factors, structures, moment fit and plan (magnetic.cpp) ----------------------

int AddMagnetic(PyObject* module);

}  // namespace vantrel::python
