// vantrel.he3_decay_fit(t, PHe, sigmaPHe, *, common=0): the helium-3 relaxation fitted to
// measured polarisations (vantrel/helium3/decay_fit.h), as an object with the
// fitted values and a method for the polarisation and its deviation at any
// times, which goes through the module's own He3PolarisationAtTime functions.
//
// The columns are taken by the rule of the ufuncs (values.cpp), with what a
// table of measurements brings besides: masked points left out, pandas'
// missing values refused by row, times as date-times or durations.
#include "module.h"  // Python first, as its headers ask

#include <structmember.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "vantrel/helium3/decay_fit.h"
#include "vantrel/helium3/decay_fit_table.h"

namespace vantrel::python {
namespace {

constexpr std::string_view kFunction = "he3_decay_fit(t, PHe, sigmaPHe, *, common=0)";

struct FitObject {
    PyObject_HEAD double PHe0, T1, sigmaPHe0, sigmaT1, rho, reducedChiSquare;
    Py_ssize_t n;
    double probability, sigmaPHe0Points;
};

PyObject* gModule = nullptr;  // borrowed: the module lives as long as the process
PyTypeObject* gFitType = nullptr;

// A column as doubles, and which of its points the caller masked.
struct Column {
    std::vector<double> values;
    std::vector<char> masked;  // empty: none
    bool scalar = false;       // one value for every point
};

bool IsInstance(PyObject* value, PyObject* module, const char* type) {
    Ref cls(PyObject_GetAttrString(module, type));
    const int is = cls ? PyObject_IsInstance(value, cls.get()) : -1;
    if (is < 0) PyErr_Clear();
    return is == 1;
}

// The first row (from 0) where a bool array is true, or -1.
Py_ssize_t FirstTrue(PyObject* numpy, PyObject* flags) {
    Ref nonzero(PyObject_CallMethod(numpy, "flatnonzero", "O", flags));
    if (!nonzero) return -2;
    if (PyObject_Length(nonzero.get()) <= 0) return PyErr_Occurred() ? -2 : -1;
    Ref first(PySequence_GetItem(nonzero.get(), 0));
    const Py_ssize_t row = first ? PyNumber_AsSsize_t(first.get(), PyExc_OverflowError) : -1;
    return row == -1 && PyErr_Occurred() ? -2 : row;
}

// The values of a one-dimensional float64-convertible array.
bool CopyDoubles(PyObject* array, Column& column) {
    Ref doubles(PyArray_FROM_OTF(array, NPY_DOUBLE, NPY_ARRAY_IN_ARRAY | NPY_ARRAY_FORCECAST));
    if (!doubles) return false;
    auto* a = reinterpret_cast<PyArrayObject*>(doubles.get());
    const auto* data = static_cast<const double*>(PyArray_DATA(a));
    column.values.assign(data, data + PyArray_SIZE(a));
    return true;
}

// Date-times or durations of an object array, in hours: date-times from the
// earliest that is not masked, durations as they are. False without an error
// when the first value is neither.
bool ObjectTimes(PyObject* items, const Column& column, Column& out, bool& taken) {
    taken = false;
    Ref datetime(PyImport_ImportModule("datetime"));
    Ref oneHour(datetime ? PyObject_CallMethod(datetime.get(), "timedelta", "(iii)", 0, 3600, 0)
                         : nullptr);
    if (!oneHour) return false;
    const Py_ssize_t n = PyList_GET_SIZE(items);
    Py_ssize_t first = 0;
    while (first < n && !column.masked.empty() && column.masked[std::size_t(first)]) ++first;
    if (first == n) return true;
    PyObject* sample = PyList_GET_ITEM(items, first);
    const bool instants = IsInstance(sample, datetime.get(), "datetime");
    if (!instants && !IsInstance(sample, datetime.get(), "timedelta")) return true;
    taken = true;
    Ref earliest;
    if (instants) {
        Ref shown(PyList_New(0));
        for (Py_ssize_t i = 0; shown && i < n; ++i) {
            if (!column.masked.empty() && column.masked[std::size_t(i)]) continue;
            if (PyList_Append(shown.get(), PyList_GET_ITEM(items, i)) != 0) return false;
        }
        Ref builtins(shown ? PyImport_ImportModule("builtins") : nullptr);
        earliest.reset(builtins ? PyObject_CallMethod(builtins.get(), "min", "O", shown.get())
                                : nullptr);
        if (!earliest) {
            if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
            PyErr_Clear();
            PyErr_SetString(PyExc_TypeError,
                            "he3_decay_fit: t mixes date-times with and without a time zone, or "
                            "date-times with other values");
            return false;
        }
    }
    out.values.assign(std::size_t(n), 0.0);
    for (Py_ssize_t i = 0; i < n; ++i) {
        if (!column.masked.empty() && column.masked[std::size_t(i)]) continue;
        PyObject* item = PyList_GET_ITEM(items, i);
        Ref span(instants ? PyNumber_Subtract(item, earliest.get()) : Py_NewRef(item));
        Ref hours(span ? PyNumber_TrueDivide(span.get(), oneHour.get()) : nullptr);
        const ArgumentName where{kFunction, "t", std::size_t(i) + 1};
        if (!hours) {
            if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
            PyErr_Clear();
            PyErr_Format(PyExc_TypeError, "%s holds %.60R (%s), not a %s", where.Text().c_str(),
                         item, TypeName(item).c_str(), instants ? "date-time" : "duration");
            return false;
        }
        if (!ToDouble(hours.get(), where, out.values[std::size_t(i)])) return false;
    }
    return true;
}

// One argument as a column of doubles. `times`: date-times and durations are
// taken (in hours); `scalarAllowed`: one number stands for every point.
bool ReadColumn(PyObject* value, const char* name, bool times, bool scalarAllowed, Column& out) {
    const ArgumentName argument{kFunction, name};
    Ref numpy(PyImport_ImportModule("numpy"));
    Ref ma(numpy ? PyObject_GetAttrString(numpy.get(), "ma") : nullptr);
    if (!ma) return false;
    Ref data(Py_NewRef(value));
    Ref mask;
    if (IsInstance(value, ma.get(), "MaskedArray")) {
        data.reset(PyObject_CallMethod(ma.get(), "getdata", "O", value));
        mask.reset(data ? PyObject_CallMethod(ma.get(), "getmaskarray", "O", value) : nullptr);
        if (!mask) return false;
    } else if (PyObject_HasAttrString(value, "isna") && PyObject_HasAttrString(value, "dtype")) {
        // A pandas column: its missing values (NA, NaT, NaN) have no number.
        Ref missing(PyObject_CallMethod(value, "isna", nullptr));
        Ref flags(missing ? PyObject_CallMethod(numpy.get(), "asarray", "Os", missing.get(), "bool")
                          : nullptr);
        const Py_ssize_t row = flags ? FirstTrue(numpy.get(), flags.get()) : -2;
        if (row == -2) return false;
        if (row >= 0) {
            PyErr_Format(PyExc_ValueError,
                         "he3_decay_fit: %s has no value in row %zd (pandas marks it missing); "
                         "drop or fill the row first",
                         name, row + 1);
            return false;
        }
    }
    Ref array(data ? PyArray_FROM_O(data.get()) : nullptr);
    if (!array) {
        if (!PyErr_ExceptionMatches(PyExc_ValueError)) return false;
        PyErr_Clear();  // a ragged list
        PyErr_Format(PyExc_ValueError, "he3_decay_fit: %s must be one-dimensional", name);
        return false;
    }
    auto* a = reinterpret_cast<PyArrayObject*>(array.get());
    out.scalar = PyArray_NDIM(a) == 0 && scalarAllowed;
    if (PyArray_NDIM(a) != 1 && !out.scalar) {
        PyErr_Format(PyExc_ValueError, "he3_decay_fit: %s must be one-dimensional%s", name,
                     scalarAllowed ? " or a single number" : "");
        return false;
    }
    if (out.scalar) {
        Ref shape(Py_BuildValue("(i)", 1));
        array.reset(shape ? PyArray_Reshape(a, shape.get()) : nullptr);
        if (!array) return false;
        a = reinterpret_cast<PyArrayObject*>(array.get());
    }
    if (mask) {
        Ref flags(PyArray_FROM_OTF(mask.get(), NPY_BOOL, NPY_ARRAY_IN_ARRAY));
        if (!flags) return false;
        const auto* f = static_cast<const npy_bool*>(
            PyArray_DATA(reinterpret_cast<PyArrayObject*>(flags.get())));
        out.masked.assign(f, f + PyArray_SIZE(reinterpret_cast<PyArrayObject*>(flags.get())));
    }
    PyArray_Descr* dtype = PyArray_DESCR(a);
    const char kind = dtype->kind;
    if (RealKind(kind) && !(kind == 'f' && dtype->elsize > 8)) return CopyDoubles(array.get(), out);
    if (times && (kind == 'M' || kind == 'm')) {
        Ref notATime(PyObject_CallMethod(numpy.get(), "isnat", "O", array.get()));
        // A masked NaT is no fault.
        Ref shown(notATime && mask ? PyObject_CallMethod(numpy.get(), "greater", "OO",
                                                         notATime.get(), mask.get())
                                   : notATime.release());
        const Py_ssize_t row = shown ? FirstTrue(numpy.get(), shown.get()) : -2;
        if (row == -2) return false;
        if (row >= 0) {
            PyErr_Format(PyExc_ValueError, "he3_decay_fit: t has no time (NaT) in row %zd",
                         row + 1);
            return false;
        }
        Ref hour(PyObject_CallMethod(numpy.get(), "timedelta64", "is", 1, "h"));
        Ref span;
        if (kind == 'm') {
            span.reset(hour ? Py_NewRef(array.get()) : nullptr);
        } else {
            // Hours from the earliest of the points fitted.
            Ref visible(hour ? (mask ? PyObject_CallMethod(ma.get(), "masked_array", "OO",
                                                           array.get(), mask.get())
                                     : Py_NewRef(array.get()))
                             : nullptr);
            Ref earliest(visible ? PyObject_CallMethod(visible.get(), "min", nullptr) : nullptr);
            span.reset(earliest ? PyNumber_Subtract(array.get(), earliest.get()) : nullptr);
        }
        Ref hours(span ? PyNumber_TrueDivide(span.get(), hour.get()) : nullptr);
        return hours && CopyDoubles(hours.get(), out);
    }
    if (kind != 'O' && !(kind == 'f' && dtype->elsize > 8)) {
        RefuseDtype(argument, reinterpret_cast<PyObject*>(dtype));
        return false;
    }
    // Object arrays and long doubles value by value: each is converted, or
    // refused by its row, as the ufuncs' object loop does.
    Ref items(PyObject_CallMethod(array.get(), "tolist", nullptr));
    if (!items) return false;
    if (!PyList_Check(items.get())) {
        PyErr_Format(PyExc_TypeError, "he3_decay_fit: %s gives no list of values", name);
        return false;
    }
    if (times) {
        bool taken = false;
        if (!ObjectTimes(items.get(), out, out, taken)) return false;
        if (taken) return true;
    }
    const Py_ssize_t n = PyList_GET_SIZE(items.get());
    out.values.assign(std::size_t(n), 0.0);
    for (Py_ssize_t i = 0; i < n; ++i) {
        if (!out.masked.empty() && out.masked[std::size_t(i)]) continue;
        const ArgumentName where{kFunction, name, out.scalar ? 0 : std::size_t(i) + 1};
        if (!ToDouble(PyList_GET_ITEM(items.get(), i), where, out.values[std::size_t(i)]))
            return false;
    }
    return true;
}

PyObject* NewFit(const helium3::DecayFit& f) {
    auto* self = PyObject_New(FitObject, gFitType);
    if (self == nullptr) return nullptr;
    self->PHe0 = f.PHe0, self->T1 = f.T1, self->sigmaPHe0 = f.sigmaPHe0;
    self->sigmaT1 = f.sigmaT1, self->rho = f.rho, self->reducedChiSquare = f.reduced_chi_square;
    self->n = static_cast<Py_ssize_t>(f.n);
    self->probability = f.probability, self->sigmaPHe0Points = f.sigmaPHe0_points;
    return reinterpret_cast<PyObject*>(self);
}

PyObject* Fit(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"t", "PHe", "sigmaPHe", "common", nullptr};
    PyObject *t, *PHe, *sigma, *commonObject = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOO|$O:he3_decay_fit",
                                     const_cast<char**>(keywords), &t, &PHe, &sigma,
                                     &commonObject)) {
        return nullptr;
    }
    double common = 0.0;
    if (commonObject != nullptr &&
        !ToDouble(commonObject, ArgumentName{kFunction, "common"}, common))
        return nullptr;
    Column times, values, deviations;
    if (!ReadColumn(t, "t", true, false, times) || !ReadColumn(PHe, "PHe", false, false, values) ||
        !ReadColumn(sigma, "sigmaPHe", false, true, deviations)) {
        return nullptr;
    }
    const std::size_t n = times.values.size();
    if (deviations.scalar) {
        deviations.values.assign(values.values.size(), deviations.values.front());
        deviations.masked.assign(values.values.size(),
                                 deviations.masked.empty() ? 0 : deviations.masked.front());
    }
    // The points fitted, and the caller's row of each. Columns of different
    // lengths go to the library whole, which says so.
    std::vector<std::size_t> rows;
    std::vector<double> tFitted, PFitted, sigmaFitted;
    if (values.values.size() == n && deviations.values.size() == n) {
        for (std::size_t i = 0; i < n; ++i) {
            const auto masked = [i](const Column& c) { return !c.masked.empty() && c.masked[i]; };
            if (masked(times) || masked(values) || masked(deviations)) continue;
            rows.push_back(i);
            tFitted.push_back(times.values[i]);
            PFitted.push_back(values.values[i]);
            sigmaFitted.push_back(deviations.values[i]);
        }
    } else {
        tFitted = times.values, PFitted = values.values, sigmaFitted = deviations.values;
    }
    const helium3::DecayFitOutcome outcome =
        helium3::He3DecayFit(tFitted, PFitted, sigmaFitted, common);
    if (!outcome.fit) {
        const helium3::DecayFitError& e = outcome.error;
        if (e.row == helium3::DecayFitError::kNoRow)
            return PyErr_Format(PyExc_ValueError, "he3_decay_fit: %s", e.reason.c_str());
        // The library's point, as the caller's row (masked points left out),
        // named as every front end names a row: counted from 1.
        const std::size_t row = e.row < rows.size() ? rows[e.row] : e.row;
        return PyErr_Format(PyExc_ValueError, "he3_decay_fit: %s: %s",
                            helium3::RowText(row).c_str(), e.reason.c_str());
    }
    const helium3::DecayFit& f = *outcome.fit;
    if (const std::string note = f.Note(); !note.empty()) {
        if (PyErr_WarnFormat(PyExc_RuntimeWarning, 1, "he3_decay_fit: %s", note.c_str()) != 0)
            return nullptr;
    }
    return NewFit(f);
}

// (P, σ) at the times t: numbers or arrays, as the module's functions take them.
PyObject* At(PyObject* object, PyObject* t) {
    const auto* self = reinterpret_cast<FitObject*>(object);
    Ref value(PyObject_GetAttrString(gModule, "He3PolarisationAtTime"));
    Ref deviation(value ? PyObject_GetAttrString(gModule, "He3PolarisationAtTimeSDev") : nullptr);
    Ref P(deviation ? PyObject_CallFunction(value.get(), "ddO", self->PHe0, self->T1, t) : nullptr);
    Ref sigma(P ? PyObject_CallFunction(deviation.get(), "ddOddd", self->PHe0, self->T1, t,
                                        self->sigmaPHe0, self->sigmaT1, self->rho)
                : nullptr);
    return sigma ? PyTuple_Pack(2, P.get(), sigma.get()) : nullptr;
}

// Pickled and copied by value: the fit is its nine numbers.
PyObject* Reduce(PyObject* object, PyObject*) {
    const auto* f = reinterpret_cast<FitObject*>(object);
    Ref restore(PyObject_GetAttrString(gModule, "_restore_he3_decay_fit"));
    return restore ? Py_BuildValue("(O(ddddddndd))", restore.get(), f->PHe0, f->T1, f->sigmaPHe0,
                                   f->sigmaT1, f->rho, f->reducedChiSquare, f->n, f->probability,
                                   f->sigmaPHe0Points)
                   : nullptr;
}

PyObject* Restore(PyObject*, PyObject* args) {
    helium3::DecayFit f{};
    Py_ssize_t n = 0;
    if (!PyArg_ParseTuple(args, "ddddddndd:_restore_he3_decay_fit", &f.PHe0, &f.T1, &f.sigmaPHe0,
                          &f.sigmaT1, &f.rho, &f.reduced_chi_square, &n, &f.probability,
                          &f.sigmaPHe0_points)) {
        return nullptr;
    }
    if (n < 0) return PyErr_Format(PyExc_ValueError, "_restore_he3_decay_fit: n is %zd", n);
    f.n = static_cast<std::size_t>(n);
    return NewFit(f);
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
    {"sigmaPHe0_points", T_DOUBLE, offsetof(FitObject, sigmaPHe0Points), READONLY,
     "Standard deviation of PHe0 from the point-to-point deviations alone (without common)."},
    {"probability", T_DOUBLE, offsetof(FitObject, probability), READONLY,
     "Chance of a chi-square as large or larger than the fit's; nan for two points."},
    {"T1", T_DOUBLE, offsetof(FitObject, T1), READONLY, "Relaxation time, in the unit of t."},
    {"sigmaPHe0", T_DOUBLE, offsetof(FitObject, sigmaPHe0), READONLY,
     "Standard deviation of PHe0 (the given sigmaPHe taken as absolute), with the common part."},
    {"sigmaT1", T_DOUBLE, offsetof(FitObject, sigmaT1), READONLY, "Standard deviation of T1."},
    {"rho", T_DOUBLE, offsetof(FitObject, rho), READONLY, "Correlation of PHe0 and T1."},
    {"reduced_chi_square", T_DOUBLE, offsetof(FitObject, reducedChiSquare), READONLY,
     "chi-square over n - 2 degrees of freedom; nan for two points."},
    {"n", T_PYSSIZET, offsetof(FitObject, n), READONLY,
     "Number of points fitted (masked points are not)."},
    {nullptr, 0, 0, 0, nullptr},
};

PyMethodDef kFitMethods[] = {
    {"at", At, METH_O,
     "at($self, t, /)\n--\n\n"
     "at(t) -> (P, sigma): the polarisation and its standard deviation at the times t (a "
     "number or an array), through He3PolarisationAtTime and He3PolarisationAtTimeSDev with "
     "the fit's correlation."},
    {"__reduce__", Reduce, METH_NOARGS, nullptr},
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
    "he3_decay_fit(t, PHe, sigmaPHe, *, common=0)\n--\n\n"
    "he3_decay_fit(t, PHe, sigmaPHe, *, common=0) -> He3DecayFit\n\n"
    "Fits PHe(t) = PHe0*exp(-t/T1) by weighted least squares on PHe itself, sigmaPHe taken as\n"
    "absolute. t in any one unit (hours, say), in any order; date-times (datetime64, pandas\n"
    "Timestamps, datetime) are taken in hours from the earliest, durations (timedelta64) in\n"
    "hours. sigmaPHe may be one number for every point: the deviations that vary from point to\n"
    "point. common is the relative deviation every point shares (the cell's p, T, L, lambda and\n"
    "the cross-section constant, He3PolarisationFromTransmissionCommonRelSDev): the fit does not\n"
    "weigh it, and sigmaPHe0 carries it. Values are taken as the functions take\n"
    "them: text, None or complex numbers raise TypeError, values beyond a double OverflowError.\n"
    "Masked points of a masked array are left out; a pandas column with a missing value raises\n"
    "ValueError naming its row (counted from 1). Returns an object with PHe0, T1, sigmaPHe0,\n"
    "sigmaT1, rho, reduced_chi_square, probability, sigmaPHe0_points and n (the points fitted),\n"
    "and at(t) -> (P, sigma). A row\n"
    "with NaN, an infinity, PHe <= 0 or sigmaPHe <= 0, fewer than two points or only one\n"
    "distinct time raise ValueError naming the row; nothing else is dropped. A reduced\n"
    "chi-square beyond its 99.9 % point gives a RuntimeWarning."};

PyMethodDef kRestoreFunction = {"_restore_he3_decay_fit", Restore, METH_VARARGS,
                                "A He3DecayFit from its nine numbers, for pickle and copy."};

}  // namespace

// Adds he3_decay_fit and its result type to the module.
int AddDecayFit(PyObject* module) {
    gModule = module;
    Ref type(PyType_FromSpec(&kFitSpec));
    if (!type || PyModule_AddObjectRef(module, "He3DecayFit", type.get()) != 0) return -1;
    gFitType = reinterpret_cast<PyTypeObject*>(type.release());  // held for the process
    Ref name(PyUnicode_FromString("vantrel"));
    Ref function(name ? PyCFunction_NewEx(&kFitFunction, nullptr, name.get()) : nullptr);
    Ref restore(function ? PyCFunction_NewEx(&kRestoreFunction, nullptr, name.get()) : nullptr);
    if (!restore || PyModule_AddObjectRef(module, "he3_decay_fit", function.get()) != 0 ||
        PyModule_AddObjectRef(module, "_restore_he3_decay_fit", restore.get()) != 0) {
        return -1;
    }
    return 0;
}

}  // namespace vantrel::python
