// vantrel.he3_decay_fit(t, PHe, sigmaPHe): the helium-3 relaxation fitted to
// measured polarisations (vantrel/helium3/decay_fit.h), as an object with the
// fitted values and a method for the polarisation and its deviation at any
// times, which goes through the module's own He3PolarisationAtTime functions.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <structmember.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "vantrel/helium3/decay_fit.h"

namespace vantrel::python {
namespace {

struct FitObject {
    PyObject_HEAD double PHe0, T1, sigmaPHe0, sigmaT1, rho, reducedChiSquare;
    Py_ssize_t n;
};

PyObject* gModule = nullptr;  // borrowed: the module lives as long as the process

// A one-dimensional array-like of real numbers as doubles, or nullptr with
// the error set.
bool Column(PyObject* value, const char* name, std::vector<double>& column) {
    PyObject* numpy = PyImport_ImportModule("numpy");
    if (numpy == nullptr) return false;
    PyObject* array = PyObject_CallMethod(numpy, "asarray", "Os", value, "float64");
    Py_DECREF(numpy);
    if (array == nullptr) {
        if (PyErr_ExceptionMatches(PyExc_ValueError) || PyErr_ExceptionMatches(PyExc_TypeError)) {
            PyErr_Clear();
            PyErr_Format(PyExc_ValueError, "he3_decay_fit: %s must hold real numbers", name);
        }
        return false;
    }
    PyObject* ndim = PyObject_GetAttrString(array, "ndim");
    const long dimensions = ndim == nullptr ? -1 : PyLong_AsLong(ndim);
    Py_XDECREF(ndim);
    if (dimensions != 1) {
        Py_DECREF(array);
        if (!PyErr_Occurred())
            PyErr_Format(PyExc_ValueError, "he3_decay_fit: %s must be one-dimensional", name);
        return false;
    }
    PyObject* list = PyObject_CallMethod(array, "tolist", nullptr);
    Py_DECREF(array);
    if (list == nullptr) return false;
    const Py_ssize_t size = PyList_GET_SIZE(list);
    column.resize(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i)
        column[static_cast<std::size_t>(i)] = PyFloat_AsDouble(PyList_GET_ITEM(list, i));
    Py_DECREF(list);
    return !PyErr_Occurred();
}

PyTypeObject* gFitType = nullptr;

PyObject* Fit(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"t", "PHe", "sigmaPHe", nullptr};
    PyObject *t, *PHe, *sigma;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOO:he3_decay_fit",
                                     const_cast<char**>(keywords), &t, &PHe, &sigma)) {
        return nullptr;
    }
    std::vector<double> times, values, deviations;
    if (!Column(t, "t", times) || !Column(PHe, "PHe", values) ||
        !Column(sigma, "sigmaPHe", deviations)) {
        return nullptr;
    }
    const helium3::DecayFitOutcome outcome = helium3::He3DecayFit(times, values, deviations);
    if (!outcome.fit) {
        const helium3::DecayFitError& e = outcome.error;
        if (e.row == helium3::DecayFitError::kNoRow)
            return PyErr_Format(PyExc_ValueError, "he3_decay_fit: %s", e.reason.c_str());
        return PyErr_Format(PyExc_ValueError, "he3_decay_fit: row %zu: %s", e.row,
                            e.reason.c_str());
    }
    const helium3::DecayFit& f = *outcome.fit;
    if (const std::string note = f.Note(); !note.empty()) {
        if (PyErr_WarnFormat(PyExc_RuntimeWarning, 1, "he3_decay_fit: %s", note.c_str()) != 0)
            return nullptr;
    }
    auto* self = PyObject_New(FitObject, gFitType);
    if (self == nullptr) return nullptr;
    self->PHe0 = f.PHe0, self->T1 = f.T1, self->sigmaPHe0 = f.sigmaPHe0;
    self->sigmaT1 = f.sigmaT1, self->rho = f.rho, self->reducedChiSquare = f.reduced_chi_square;
    self->n = static_cast<Py_ssize_t>(f.n);
    return reinterpret_cast<PyObject*>(self);
}

// (P, σ) at the times t: numbers or arrays, as the module's functions take them.
PyObject* At(PyObject* object, PyObject* t) {
    const auto* self = reinterpret_cast<FitObject*>(object);
    PyObject* value = PyObject_GetAttrString(gModule, "He3PolarisationAtTime");
    PyObject* deviation = PyObject_GetAttrString(gModule, "He3PolarisationAtTimeSDev");
    PyObject* P =
        value == nullptr ? nullptr : PyObject_CallFunction(value, "ddO", self->PHe0, self->T1, t);
    PyObject* sigma = P == nullptr || deviation == nullptr
                          ? nullptr
                          : PyObject_CallFunction(deviation, "ddOddd", self->PHe0, self->T1, t,
                                                  self->sigmaPHe0, self->sigmaT1, self->rho);
    Py_XDECREF(value);
    Py_XDECREF(deviation);
    PyObject* pair = sigma == nullptr ? nullptr : PyTuple_Pack(2, P, sigma);
    Py_XDECREF(P);
    Py_XDECREF(sigma);
    return pair;
}

PyObject* Repr(PyObject* object) {
    const auto* f = reinterpret_cast<FitObject*>(object);
    char text[320];
    std::snprintf(
        text, sizeof text,
        "He3DecayFit(PHe0=%.6g ± %.2g, T1=%.6g ± %.2g, rho=%.3g, reduced_chi_square=%.3g, "
        "n=%zd)",
        f->PHe0, f->sigmaPHe0, f->T1, f->sigmaT1, f->rho, f->reducedChiSquare, f->n);
    return PyUnicode_FromString(text);
}

PyMemberDef kFitMembers[] = {
    {"PHe0", T_DOUBLE, offsetof(FitObject, PHe0), READONLY, "Polarisation at t = 0."},
    {"T1", T_DOUBLE, offsetof(FitObject, T1), READONLY, "Relaxation time, in the unit of t."},
    {"sigmaPHe0", T_DOUBLE, offsetof(FitObject, sigmaPHe0), READONLY,
     "Standard deviation of PHe0 (the given sigmaPHe taken as absolute)."},
    {"sigmaT1", T_DOUBLE, offsetof(FitObject, sigmaT1), READONLY, "Standard deviation of T1."},
    {"rho", T_DOUBLE, offsetof(FitObject, rho), READONLY, "Correlation of PHe0 and T1."},
    {"reduced_chi_square", T_DOUBLE, offsetof(FitObject, reducedChiSquare), READONLY,
     "chi-square over n - 2 degrees of freedom; nan for two points."},
    {"n", T_PYSSIZET, offsetof(FitObject, n), READONLY, "Number of points fitted."},
    {nullptr, 0, 0, 0, nullptr},
};

PyMethodDef kFitMethods[] = {
    {"at", At, METH_O,
     "at(t) -> (P, sigma): the polarisation and its standard deviation at the times t (a "
     "number or an array), through He3PolarisationAtTime and He3PolarisationAtTimeSDev with "
     "the fit's correlation."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kFitSlots[] = {
    {Py_tp_members, kFitMembers},
    {Py_tp_methods, kFitMethods},
    {Py_tp_repr, reinterpret_cast<void*>(Repr)},
    {Py_tp_doc, const_cast<char*>("A helium-3 decay fit: what vantrel.he3_decay_fit returns.")},
    {0, nullptr},
};

PyType_Spec kFitSpec = {"vantrel.He3DecayFit", sizeof(FitObject), 0,
                        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, kFitSlots};

PyMethodDef kFitFunction = {
    "he3_decay_fit", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Fit)),
    METH_VARARGS | METH_KEYWORDS,
    "he3_decay_fit(t, PHe, sigmaPHe) -> He3DecayFit\n\n"
    "Fits PHe(t) = PHe0*exp(-t/T1) by weighted least squares on PHe itself, sigmaPHe taken as\n"
    "absolute. t in any one unit (hours, say), in any order. Returns an object with PHe0, T1,\n"
    "sigmaPHe0, sigmaT1, rho, reduced_chi_square and n, and at(t) -> (P, sigma). A row with NaN,\n"
    "an infinity, PHe <= 0 or sigmaPHe <= 0, fewer than two points or only one distinct time\n"
    "raise ValueError naming the row (counted from 0); nothing is dropped. A reduced chi-square\n"
    "beyond its 99.9 % point gives a RuntimeWarning."};

}  // namespace

// Adds he3_decay_fit and its result type to the module.
int AddDecayFit(PyObject* module) {
    gModule = module;
    gFitType = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&kFitSpec));
    if (gFitType == nullptr) return -1;
    Py_INCREF(gFitType);
    if (PyModule_AddObject(module, "He3DecayFit", reinterpret_cast<PyObject*>(gFitType)) != 0) {
        Py_DECREF(gFitType);
        return -1;
    }
    PyObject* function = PyCFunction_NewEx(&kFitFunction, nullptr, nullptr);
    if (function == nullptr || PyModule_AddObject(module, "he3_decay_fit", function) != 0) {
        Py_XDECREF(function);
        return -1;
    }
    return 0;
}

}  // namespace vantrel::python
