// The magnetic functions of the module: form factors of an ion, the
// reflections a structure predicts, the fit of its sites' moments and the
// plan of what to measure (vantrel/magnetic/...). A structure is a
// vantrel.Structure, a CIF path or its text; columns are taken as arrays by
// the module's rule for dtypes (values.cpp), scalars by ToDouble; results are
// dicts of numpy arrays, ready for pandas.DataFrame.
#include "module.h"  // Python first, as its headers ask

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vantrel/magnetic/crystal_structure.h"
#include "vantrel/magnetic/form_factors.h"
#include "vantrel/magnetic/measurement_plan.h"
#include "vantrel/magnetic/moment_fit.h"
#include "vantrel/magnetic/structure_factors.h"
#include "vantrel/worker_pool.h"

namespace vantrel::python {
namespace {

using magnetic::Miller;

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// A value as an array of doubles of any shape, refused by its dtype unless it
// holds real numbers; null after an error.
Ref RealArray(PyObject* value, const ArgumentName& where) {
    Ref array(PyArray_FROM_O(value));
    if (!array) return Ref();
    auto* a = reinterpret_cast<PyArrayObject*>(array.get());
    if (!RealKind(PyArray_DESCR(a)->kind)) {
        RefuseDtype(where, reinterpret_cast<PyObject*>(PyArray_DESCR(a)));
        return Ref();
    }
    return Ref(PyArray_FROM_OTF(array.get(), NPY_DOUBLE, NPY_ARRAY_IN_ARRAY | NPY_ARRAY_FORCECAST));
}

// A one-dimensional column of doubles; a scalar stands for `n` rows when
// n > 0, and n < 0 takes any length.
bool Doubles(PyObject* value, std::string_view function, const char* name, Py_ssize_t n,
             std::vector<double>& out) {
    const ArgumentName where{function, name};
    const Ref doubles = RealArray(value, where);
    if (!doubles) return false;
    auto* d = reinterpret_cast<PyArrayObject*>(doubles.get());
    const auto* data = static_cast<const double*>(PyArray_DATA(d));
    if (PyArray_NDIM(d) == 0 && n > 0) {
        out.assign(std::size_t(n), data[0]);
        return true;
    }
    if (PyArray_NDIM(d) != 1) {
        PyErr_Format(PyExc_ValueError, "%s must be one-dimensional", where.Text().c_str());
        return false;
    }
    if (n >= 0 && PyArray_SIZE(d) != n) {
        PyErr_Format(PyExc_ValueError, "%s has %zd values for %zd rows", where.Text().c_str(),
                     PyArray_SIZE(d), n);
        return false;
    }
    out.assign(data, data + PyArray_SIZE(d));
    return true;
}

bool Scalar(PyObject* value, std::string_view function, const char* name, double& x) {
    return ToDouble(value, {function, name}, x);
}

// hkl as rows of three whole numbers: an (n, 3) array, or one triple.
bool Reflections(PyObject* value, std::string_view function, std::vector<Miller>& out) {
    const ArgumentName where{function, "hkl"};
    const Ref doubles = RealArray(value, where);
    if (!doubles) return false;
    auto* d = reinterpret_cast<PyArrayObject*>(doubles.get());
    const bool one = PyArray_NDIM(d) == 1 && PyArray_DIM(d, 0) == 3;
    if (!one && !(PyArray_NDIM(d) == 2 && PyArray_DIM(d, 1) == 3)) {
        PyErr_Format(PyExc_ValueError, "%s must be rows of h, k, l (shape (n, 3))",
                     where.Text().c_str());
        return false;
    }
    const auto* data = static_cast<const double*>(PyArray_DATA(d));
    const Py_ssize_t rows = one ? 1 : PyArray_DIM(d, 0);
    out.resize(std::size_t(rows));
    for (Py_ssize_t i = 0; i < rows; ++i) {
        for (int j = 0; j < 3; ++j) {
            const double x = data[3 * i + j];
            if (!(std::abs(x) < 1e6) || x != std::floor(x)) {
                PyErr_Format(PyExc_ValueError, "%s, row %zd, holds %s, not a whole index",
                             where.Text().c_str(), i + 1, Number(x).c_str());
                return false;
            }
            out[std::size_t(i)][std::size_t(j)] = int(x);
        }
        if (out[std::size_t(i)] == Miller{0, 0, 0}) {
            PyErr_Format(PyExc_ValueError, "%s, row %zd, is 000, not a reflection",
                         where.Text().c_str(), i + 1);
            return false;
        }
    }
    return true;
}

// A structure read once, for calls that would otherwise read the same CIF
// again each time (a fit run over and over, a loop over moments). It keeps the
// model of the sites it was last used with: the cell's atoms and the group's
// tests are built once for them too. The module never lets go of the GIL
// while it touches the cache, so that the cache needs no lock of its own.
// The CIF's text is kept for pickle: a structure sent to another process
// (dask, multiprocessing) is read there from it, not from a file that may
// not be there.
struct StructureState {
    magnetic::CrystalStructure structure;
    std::string cif;
    std::vector<magnetic::MagneticSiteInput> sites;
    std::shared_ptr<const magnetic::StructureFactorModel> model;
};

struct StructureObject {
    PyObject_HEAD StructureState* state;
};

PyTypeObject* gStructureType = nullptr;

// A CIF path (str or os.PathLike) or its text (a str with a line break),
// read; its text into `text` where that is given. Null after an error.
std::optional<magnetic::CrystalStructure> ReadStructure(PyObject* cif, std::string_view function,
                                                        std::string* text = nullptr) {
    Ref path(PyOS_FSPath(cif));
    if (!path) return std::nullopt;
    std::string given;
    if (PyBytes_Check(path.get())) {
        given.assign(PyBytes_AS_STRING(path.get()), std::size_t(PyBytes_GET_SIZE(path.get())));
    } else {
        Py_ssize_t size = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(path.get(), &size);
        if (utf8 == nullptr) return std::nullopt;
        given.assign(utf8, std::size_t(size));
    }
    const bool isText = PyUnicode_Check(cif) && given.find('\n') != std::string::npos;
    magnetic::CrystalStructureOutcome read =
        isText ? magnetic::ReadCrystalStructure(given, "the CIF text")
               : magnetic::ReadCrystalStructureFile(given, text);
    if (isText && text != nullptr) *text = std::move(given);
    if (!read.structure) {
        PyErr_Format(PyExc_ValueError, "%s: %s", std::string(function).c_str(), read.error.c_str());
        return std::nullopt;
    }
    return std::move(read.structure);
}

StructureState* StateOf(PyObject* object) {
    if (gStructureType == nullptr || !PyObject_TypeCheck(object, gStructureType)) return nullptr;
    return reinterpret_cast<StructureObject*>(object)->state;
}

// Sites as labels, (label, ion[, g[, kappa]]) tuples or dicts with those keys.
bool SiteInputs(PyObject* sites, std::string_view function,
                std::vector<magnetic::MagneticSiteInput>& out) {
    if (PyUnicode_Check(sites)) {
        out.push_back({Text(sites), "", 2.0, 1.0});
        return true;
    }
    Ref items(PySequence_Fast(sites, "sites must be a label or a list of sites"));
    if (!items) return false;
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
        PyObject* item = PySequence_Fast_GET_ITEM(items.get(), i);
        magnetic::MagneticSiteInput input;
        PyObject* fields[4] = {nullptr, nullptr, nullptr, nullptr};
        if (PyUnicode_Check(item)) {
            fields[0] = item;
        } else if (PyDict_Check(item)) {
            const char* keys[4] = {"label", "ion", "g", "kappa"};
            for (int k = 0; k < 4; ++k) fields[k] = PyDict_GetItemString(item, keys[k]);
        } else if (PyTuple_Check(item) && PyTuple_GET_SIZE(item) >= 1 &&
                   PyTuple_GET_SIZE(item) <= 4) {
            for (Py_ssize_t k = 0; k < PyTuple_GET_SIZE(item); ++k)
                fields[k] = PyTuple_GET_ITEM(item, k);
        }
        if (fields[0] == nullptr || !PyUnicode_Check(fields[0]) ||
            (fields[1] != nullptr && fields[1] != Py_None && !PyUnicode_Check(fields[1]))) {
            PyErr_Format(PyExc_TypeError,
                         "%s: site %zd is %.60R; a site is a label, a tuple (label, ion, g, "
                         "kappa) or a dict with those keys",
                         std::string(function).c_str(), i + 1, item);
            return false;
        }
        input.label = Text(fields[0]);
        if (fields[1] != nullptr && fields[1] != Py_None) input.ion = Text(fields[1]);
        if (fields[2] != nullptr && !Scalar(fields[2], function, "g", input.g)) return false;
        if (fields[3] != nullptr && !Scalar(fields[3], function, "kappa", input.kappa))
            return false;
        out.push_back(std::move(input));
    }
    return true;
}

bool SameSites(const std::vector<magnetic::MagneticSiteInput>& a,
               const std::vector<magnetic::MagneticSiteInput>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.label == y.label && x.ion == y.ion && x.g == y.g && x.kappa == y.kappa;
    });
}

// The model of a structure (a vantrel.Structure, a CIF path or its text) and
// its magnetic sites; null after an error.
std::shared_ptr<const magnetic::StructureFactorModel> ModelOf(PyObject* cif, PyObject* sites,
                                                              std::string_view function) {
    StructureState* state = StateOf(cif);
    std::optional<magnetic::CrystalStructure> read;
    if (state == nullptr) {
        read = ReadStructure(cif, function);
        if (!read) return nullptr;
    }
    const magnetic::CrystalStructure& structure = state ? state->structure : *read;
    std::vector<magnetic::MagneticSiteInput> inputs;
    if (!SiteInputs(sites, function, inputs)) return nullptr;
    if (state != nullptr && state->model && SameSites(inputs, state->sites)) return state->model;
    magnetic::MagneticSitesOutcome made = magnetic::MakeMagneticSites(structure, inputs);
    if (!made.error.empty()) {
        // The library's message names the closest labels or ions itself.
        PyErr_Format(PyExc_ValueError, "%s: %s", std::string(function).c_str(), made.error.c_str());
        return nullptr;
    }
    auto model =
        std::make_shared<const magnetic::StructureFactorModel>(structure, std::move(made.sites));
    if (state != nullptr) {
        state->sites = std::move(inputs);
        state->model = model;
    }
    return model;
}

bool Field(PyObject* value, std::string_view function, std::array<double, 3>& field) {
    std::vector<double> uvw;
    if (!Doubles(value, function, "field", 3, uvw)) return false;
    field = {uvw[0], uvw[1], uvw[2]};
    return true;
}

// ---- Building results ---------------------------------------------------------------

bool Put(PyObject* dict, const std::string& key, PyObject* value) {
    Ref held(value);
    return held && PyDict_SetItemString(dict, key.c_str(), held.get()) == 0;
}

// A new array of n values of `type`, each written by fill(T* out), or null.
template <typename T, typename Fill>
PyObject* Filled(std::size_t n, int type, const Fill& fill) {
    npy_intp rows = npy_intp(n);
    PyObject* array = PyArray_SimpleNew(1, &rows, type);
    if (array != nullptr)
        fill(static_cast<T*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array))));
    return array;
}

template <typename T>
PyObject* Array(const std::vector<T>& values, int type) {
    return Filled<T>(values.size(), type,
                     [&](T* out) { std::copy(values.begin(), values.end(), out); });
}
PyObject* Reals(const std::vector<double>& v) { return Array(v, NPY_DOUBLE); }
PyObject* Integers(const std::vector<npy_int64>& v) { return Array(v, NPY_INT64); }

PyObject* Labels(const std::vector<std::string>& labels) {
    Ref list(PyList_New(0));
    for (const std::string& label : labels) {
        Ref text(PyUnicode_FromString(label.c_str()));
        if (!text || PyList_Append(list.get(), text.get()) != 0) return nullptr;
    }
    return list.release();
}

bool PutHkl(PyObject* dict, const std::vector<Miller>& hkl) {
    for (int axis = 0; axis < 3; ++axis) {
        PyObject* column = Filled<npy_int64>(hkl.size(), NPY_INT64, [&](npy_int64* out) {
            for (const Miller& row : hkl) *out++ = row[std::size_t(axis)];
        });
        if (!Put(dict, axis == 0 ? "h" : axis == 1 ? "k" : "l", column)) return false;
    }
    return true;
}

PyObject* LeftOut(const std::vector<magnetic::LeftOutReflection>& leftOut) {
    std::vector<std::string> messages;
    for (const auto& row : leftOut) messages.push_back(row.message);
    return Labels(messages);
}

// hkl given, or every allowed reflection up to s_max.
bool ReflectionsOf(const magnetic::StructureFactorModel& model, PyObject* hkl, PyObject* sMax,
                   std::string_view function, std::vector<Miller>& out) {
    if ((hkl == Py_None) == (sMax == Py_None)) {
        PyErr_Format(PyExc_TypeError, "%s takes either hkl or s_max",
                     std::string(function).c_str());
        return false;
    }
    if (hkl != Py_None) return Reflections(hkl, function, out);
    double s = 0.0;
    if (!Scalar(sMax, function, "s_max", s)) return false;
    auto list = model.AllowedReflections(s);
    if (!list.error.empty()) {
        PyErr_Format(PyExc_ValueError, "%s: %s", std::string(function).c_str(), list.error.c_str());
        return false;
    }
    out = std::move(list.reflections);
    return true;
}

// q² per reflection, or from the field direction: exactly one of them.
bool Q2Of(const magnetic::StructureFactorModel& model, const std::vector<Miller>& hkl,
          PyObject* field, PyObject* q2, std::string_view function, std::vector<double>& out,
          std::optional<std::array<double, 3>>* direction = nullptr) {
    if ((field == Py_None) == (q2 == Py_None)) {
        PyErr_Format(PyExc_TypeError, "%s takes either field (a direction [u, v, w]) or q2",
                     std::string(function).c_str());
        return false;
    }
    if (q2 != Py_None) return Doubles(q2, function, "q2", Py_ssize_t(hkl.size()), out);
    std::array<double, 3> uvw;
    if (!Field(field, function, uvw)) return false;
    if (!(std::isfinite(uvw[0]) && std::isfinite(uvw[1]) && std::isfinite(uvw[2])) ||
        (uvw[0] == 0.0 && uvw[1] == 0.0 && uvw[2] == 0.0)) {
        PyErr_Format(PyExc_ValueError, "%s: the field direction is not a finite non-zero one",
                     std::string(function).c_str());
        return false;
    }
    if (direction != nullptr) *direction = uvw;
    out.resize(hkl.size());
    for (std::size_t i = 0; i < hkl.size(); ++i) out[i] = model.Q2(hkl[i], uvw);
    return true;
}

bool Moments(PyObject* value, const magnetic::StructureFactorModel& model,
             std::string_view function, const char* name, std::vector<double>& out) {
    const Py_ssize_t sites = Py_ssize_t(model.MagneticSites().size());
    if (value == Py_None) {
        out.assign(std::size_t(sites), 1.0);
        return true;
    }
    return Doubles(value, function, name, sites, out);
}

// ---- The functions ---------------------------------------------------------------------

constexpr std::string_view kFormFactor = "magnetic_form_factor(ion, s, g, kappa)";

PyObject* FormFactorOf(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"ion", "s", "g", "kappa", nullptr};
    const char* ion = nullptr;
    PyObject *s = nullptr, *gValue = nullptr, *kappaValue = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "sO|OO", const_cast<char**>(keywords), &ion, &s,
                                     &gValue, &kappaValue))
        return nullptr;
    double g = 2.0, kappa = 1.0;
    if ((gValue && !Scalar(gValue, kFormFactor, "g", g)) ||
        (kappaValue && !Scalar(kappaValue, kFormFactor, "kappa", kappa)))
        return nullptr;
    const auto made = magnetic::MakeFormFactor(ion, g, kappa);
    if (!made.formFactor)
        return PyErr_Format(PyExc_ValueError, "magnetic_form_factor: %s", made.error.c_str());
    const Ref in = RealArray(s, {kFormFactor, "s"});
    if (!in) return nullptr;
    auto* i = reinterpret_cast<PyArrayObject*>(in.get());
    Ref out(PyArray_NewLikeArray(i, NPY_CORDER, nullptr, 0));
    if (!out) return nullptr;
    const auto n = std::size_t(PyArray_SIZE(i));
    made.formFactor->Evaluate(
        {static_cast<const double*>(PyArray_DATA(i)), n},
        {static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(out.get()))), n});
    if (PyArray_NDIM(i) == 0)
        return PyArray_Return(reinterpret_cast<PyArrayObject*>(out.release()));
    return out.release();
}

// Reflections per part where a list is shared among threads: enough that a
// part costs far more than handing it to a worker.
constexpr std::size_t kReflectionsPerPart = 4096;

// The predictions of a long list in parts, on the module's threads with the
// GIL released (the model is not changed, and each part writes only its own
// columns); a reflection's numbers are the same in any part. Empty with
// MemoryError set when a part ran out of memory.
std::vector<magnetic::PredictedColumns> PredictInParts(const magnetic::StructureFactorModel& model,
                                                       std::span<const Miller> hkl,
                                                       std::span<const double> moments, double P,
                                                       double f, std::span<const double> q2) {
    const std::size_t n = hkl.size();
    const unsigned threads = ThreadsInEffect();
    const std::size_t parts =
        threads == 1 ? 1 : std::clamp<std::size_t>(n / kReflectionsPerPart, 1, 8 * threads);
    std::vector<magnetic::PredictedColumns> out(parts);
    std::atomic<bool> failed{false};
    Py_BEGIN_ALLOW_THREADS;
    RunInParts(parts, threads, [&](std::size_t p) noexcept {
        const std::size_t begin = n * p / parts, count = n * (p + 1) / parts - begin;
        try {
            out[p] = magnetic::PredictFlippingRatioColumns(model, hkl.subspan(begin, count),
                                                           moments, P, f, q2.subspan(begin, count));
        } catch (const std::bad_alloc&) {
            failed = true;
        }
    });
    Py_END_ALLOW_THREADS;
    if (failed) {
        PyErr_NoMemory();
        return {};
    }
    return out;
}

// One column of the parts' predictions, joined.
template <typename T, typename Column>
PyObject* Joined(const std::vector<magnetic::PredictedColumns>& parts, std::size_t n, int type,
                 const Column& column) {
    return Filled<T>(n, type, [&](T* out) {
        for (const auto& part : parts)
            out = std::copy(column(part).begin(), column(part).end(), out);
    });
}

constexpr std::string_view kReflections = "magnetic_reflections(cif, sites, ...)";

PyObject* ReflectionsOfStructure(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"cif",   "sites", "moments", "P",     "f",
                                     "field", "q2",    "hkl",     "s_max", nullptr};
    PyObject *cif, *sites, *moments = Py_None, *PValue = nullptr, *fValue = nullptr;
    PyObject *field = Py_None, *q2 = Py_None, *hkl = Py_None, *sMax = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO|$OOOOOOO", const_cast<char**>(keywords),
                                     &cif, &sites, &moments, &PValue, &fValue, &field, &q2, &hkl,
                                     &sMax))
        return nullptr;
    double P = 1.0, f = 1.0;
    if ((PValue && !Scalar(PValue, kReflections, "P", P)) ||
        (fValue && !Scalar(fValue, kReflections, "f", f)))
        return nullptr;
    auto model = ModelOf(cif, sites, kReflections);
    if (!model) return nullptr;
    std::vector<Miller> reflections;
    std::vector<double> mu, q2s;
    if (!ReflectionsOf(*model, hkl, sMax, kReflections, reflections) ||
        !Moments(moments, *model, kReflections, "moments", mu) ||
        !Q2Of(*model, reflections, field, q2, kReflections, q2s))
        return nullptr;
    for (double q : q2s)
        if (!(q >= 0.0 && q <= 1.0))
            return PyErr_Format(PyExc_ValueError, "%s: q2 = %s is not in [0, 1]",
                                std::string(kReflections).c_str(), Number(q).c_str());
    const auto parts = PredictInParts(*model, reflections, mu, P, f, q2s);
    if (parts.empty()) return nullptr;
    const std::size_t n = reflections.size(), sitesCount = mu.size();
    using Columns = magnetic::PredictedColumns;
    const auto reals = [&](auto column) { return Joined<double>(parts, n, NPY_DOUBLE, column); };
    const auto complexes = [&](auto column) {
        return Joined<std::complex<double>>(parts, n, NPY_CDOUBLE, column);
    };
    Ref dict(PyDict_New());
    if (!dict || !PutHkl(dict.get(), reflections) ||
        !Put(dict.get(), "s", reals([](const Columns& c) -> auto& { return c.factors.s; })) ||
        !Put(dict.get(), "q2", reals([](const Columns& c) -> auto& { return c.q2; })) ||
        !Put(dict.get(), "FN", complexes([](const Columns& c) -> auto& { return c.factors.FN; })))
        return nullptr;
    for (std::size_t m = 0; m < sitesCount; ++m) {
        const auto& site = model->Structure().sites[model->MagneticSites()[m].site];
        // One site's column of the reflections' rows, straight into its array.
        PyObject* column = Filled<std::complex<double>>(n, NPY_CDOUBLE, [&](auto* out) {
            for (const auto& part : parts)
                for (std::size_t i = 0; i < part.q2.size(); ++i)
                    *out++ = part.factors.FMPerMoment[i * sitesCount + m];
        });
        if (!Put(dict.get(), "FM_per_muB_" + site.label, column)) return nullptr;
    }
    if (!Put(dict.get(), "FM", complexes([](const Columns& c) -> auto& { return c.FM; })) ||
        !Put(dict.get(), "R", reals([](const Columns& c) -> auto& { return c.R; })) ||
        !Put(dict.get(), "A", reals([](const Columns& c) -> auto& { return c.A; })) ||
        !Put(dict.get(), "allowed",
             Joined<unsigned char>(
                 parts, n, NPY_BOOL, [](const Columns& c) -> auto& { return c.factors.allowed; })))
        return nullptr;
    return dict.release();
}

// The measured columns: from hkl, R, sigmaR (and q2) or from one table
// (a DataFrame or dict) with columns h, k, l, R, sigmaR and perhaps q2.
struct Measured {
    std::vector<Miller> hkl;
    std::vector<double> R, sigmaR;
    Ref q2;  // the q2 column or None
};

bool Column(PyObject* table, const char* name, Ref& out, bool optional) {
    Ref key(PyUnicode_FromString(name));
    const int has = key ? PySequence_Contains(table, key.get()) : -1;
    if (has < 0) return false;
    if (has == 0) {
        if (optional) {
            out.reset(Py_NewRef(Py_None));
            return true;
        }
        PyErr_Format(PyExc_ValueError, "the table has no column '%s'", name);
        return false;
    }
    out.reset(PyObject_GetItem(table, key.get()));
    return bool(out);
}

bool ReadMeasured(PyObject* hkl, PyObject* R, PyObject* sigmaR, PyObject* q2,
                  std::string_view function, Measured& out) {
    if (R == Py_None && sigmaR == Py_None && !PyArray_Check(hkl) && !PyList_Check(hkl) &&
        !PyTuple_Check(hkl)) {
        Ref h, k, l, r, s;
        if (!Column(hkl, "h", h, false) || !Column(hkl, "k", k, false) ||
            !Column(hkl, "l", l, false) || !Column(hkl, "R", r, false) ||
            !Column(hkl, "sigmaR", s, false) || !Column(hkl, "q2", out.q2, true))
            return false;
        if (q2 != Py_None) out.q2.reset(Py_NewRef(q2));
        Ref numpy(PyImport_ImportModule("numpy"));
        Ref stacked(numpy ? PyObject_CallMethod(numpy.get(), "column_stack", "((OOO))", h.get(),
                                                k.get(), l.get())
                          : nullptr);
        return stacked && Reflections(stacked.get(), function, out.hkl) &&
               Doubles(r.get(), function, "R", Py_ssize_t(out.hkl.size()), out.R) &&
               Doubles(s.get(), function, "sigmaR", Py_ssize_t(out.hkl.size()), out.sigmaR);
    }
    if (R == Py_None || sigmaR == Py_None) {
        PyErr_Format(PyExc_TypeError,
                     "%s takes hkl, R and sigmaR, or one table with columns h, "
                     "k, l, R, sigmaR (and q2)",
                     std::string(function).c_str());
        return false;
    }
    out.q2.reset(Py_NewRef(q2));
    return Reflections(hkl, function, out.hkl) &&
           Doubles(R, function, "R", Py_ssize_t(out.hkl.size()), out.R) &&
           Doubles(sigmaR, function, "sigmaR", Py_ssize_t(out.hkl.size()), out.sigmaR);
}

constexpr std::string_view kFit = "fit_moments(cif, sites, hkl, R, sigmaR, P, f, ...)";

PyObject* FitMomentsOf(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"cif", "sites", "hkl", "R",     "sigmaR", "P",
                                     "f",   "field", "q2",  "start", nullptr};
    PyObject *cif, *sites, *hkl, *R = Py_None, *sigmaR = Py_None, *PValue = nullptr,
                                 *fValue = nullptr;
    PyObject *field = Py_None, *q2 = Py_None, *start = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOO|OO$OOOOO", const_cast<char**>(keywords),
                                     &cif, &sites, &hkl, &R, &sigmaR, &PValue, &fValue, &field, &q2,
                                     &start))
        return nullptr;
    double P = 1.0, f = 1.0;
    if ((PValue && !Scalar(PValue, kFit, "P", P)) || (fValue && !Scalar(fValue, kFit, "f", f)))
        return nullptr;
    auto model = ModelOf(cif, sites, kFit);
    if (!model) return nullptr;
    Measured measured;
    if (!ReadMeasured(hkl, R, sigmaR, q2, kFit, measured)) return nullptr;
    std::vector<double> q2s, initial;
    if (!Q2Of(*model, measured.hkl, field, measured.q2.get(), kFit, q2s) ||
        !Moments(start, *model, kFit, "start", initial))
        return nullptr;
    std::vector<magnetic::MeasuredFlippingRatio> rows(measured.hkl.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = {measured.hkl[i], measured.R[i], measured.sigmaR[i], q2s[i]};
    const magnetic::MomentFitResult fitted = magnetic::FitMoments(*model, rows, P, f, initial);
    if (fitted.status == fit::Status::kInput)
        return PyErr_Format(PyExc_ValueError, "fit_moments: %s", fitted.message.c_str());

    Ref reflections(PyDict_New());
    std::vector<Miller> hklFitted;
    std::vector<npy_int64> index;
    std::vector<double> s, q, Rm, sR, Rc, residual;
    for (const auto& row : fitted.reflections) {
        index.push_back(npy_int64(row.index));
        hklFitted.push_back(row.hkl);
        s.push_back(row.s);
        q.push_back(row.q2);
        Rm.push_back(row.R);
        sR.push_back(row.sigmaR);
        Rc.push_back(row.RCalc);
        residual.push_back(row.residual);
    }
    if (!reflections || !Put(reflections.get(), "row", Integers(index)) ||
        !PutHkl(reflections.get(), hklFitted) || !Put(reflections.get(), "s", Reals(s)) ||
        !Put(reflections.get(), "q2", Reals(q)) || !Put(reflections.get(), "R", Reals(Rm)) ||
        !Put(reflections.get(), "sigmaR", Reals(sR)) ||
        !Put(reflections.get(), "R_calc", Reals(Rc)) ||
        !Put(reflections.get(), "residual", Reals(residual)))
        return nullptr;
    Ref correlation(Reals(fitted.correlation));
    const npy_intp sitesCount = npy_intp(fitted.moments.size());
    npy_intp shape[2] = {sitesCount, sitesCount};
    PyArray_Dims dims{shape, 2};
    Ref square(correlation && fitted.correlation.size() == std::size_t(sitesCount * sitesCount)
                   ? PyArray_Newshape(reinterpret_cast<PyArrayObject*>(correlation.get()), &dims,
                                      NPY_CORDER)
                   : Py_NewRef(correlation.get()));
    Ref dict(PyDict_New());
    if (!dict || !Put(dict.get(), "sites", Labels(fitted.sites)) ||
        !Put(dict.get(), "moments", Reals(fitted.moments)) ||
        !Put(dict.get(), "deviations", Reals(fitted.deviations)) ||
        !Put(dict.get(), "correlation", square.release()) ||
        !Put(dict.get(), "chi_square", PyFloat_FromDouble(fitted.chi_square)) ||
        !Put(dict.get(), "reduced_chi_square", PyFloat_FromDouble(fitted.reduced_chi_square)) ||
        !Put(dict.get(), "probability", PyFloat_FromDouble(fitted.probability)) ||
        !Put(dict.get(), "degrees_of_freedom", PyLong_FromSize_t(fitted.degrees_of_freedom)) ||
        !Put(dict.get(), "iterations", PyLong_FromLong(fitted.iterations)) ||
        !Put(dict.get(), "converged", PyBool_FromLong(fitted.converged())) ||
        !Put(dict.get(), "message", PyUnicode_FromString(fitted.message.c_str())) ||
        !Put(dict.get(), "reflections", reflections.release()) ||
        !Put(dict.get(), "left_out", LeftOut(fitted.leftOut)))
        return nullptr;
    return dict.release();
}

constexpr std::string_view kPlan = "plan_measurements(cif, sites, moments, ...)";

PyObject* PlanOf(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"cif",   "sites", "moments", "P",     "f",
                                     "field", "q2",    "hkl",     "s_max", nullptr};
    PyObject *cif, *sites, *moments, *PValue = nullptr, *fValue = nullptr;
    PyObject *field = Py_None, *q2 = Py_None, *hkl = Py_None, *sMax = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOO|$OOOOOO", const_cast<char**>(keywords),
                                     &cif, &sites, &moments, &PValue, &fValue, &field, &q2, &hkl,
                                     &sMax))
        return nullptr;
    double P = 1.0, f = 1.0;
    if ((PValue && !Scalar(PValue, kPlan, "P", P)) || (fValue && !Scalar(fValue, kPlan, "f", f)))
        return nullptr;
    auto model = ModelOf(cif, sites, kPlan);
    if (!model) return nullptr;
    std::vector<Miller> reflections;
    std::vector<double> mu, q2s;
    if (!ReflectionsOf(*model, hkl, sMax, kPlan, reflections) ||
        !Moments(moments, *model, kPlan, "moments", mu) ||
        !Q2Of(*model, reflections, field, q2, kPlan, q2s))
        return nullptr;
    const auto plan = magnetic::PlanMeasurements(*model, reflections, mu, P, f, q2s);
    if (!plan.error.empty())
        return PyErr_Format(PyExc_ValueError, "plan_measurements: %s", plan.error.c_str());
    const std::size_t n = plan.order.size();
    std::vector<Miller> hklOrder;
    std::vector<npy_int64> index;
    std::vector<double> s, q, R, plus, minus, share, score;
    std::vector<std::vector<double>> information(mu.size());
    for (const auto& row : plan.order) {
        index.push_back(npy_int64(row.index));
        hklOrder.push_back(row.hkl);
        s.push_back(row.s);
        q.push_back(row.q2);
        R.push_back(row.R);
        plus.push_back(row.plus);
        minus.push_back(row.minus);
        share.push_back(row.plusShare);
        score.push_back(row.score);
        for (std::size_t m = 0; m < mu.size(); ++m) information[m].push_back(row.information[m]);
    }
    (void)n;
    Ref dict(PyDict_New());
    if (!dict || !Put(dict.get(), "row", Integers(index)) || !PutHkl(dict.get(), hklOrder) ||
        !Put(dict.get(), "s", Reals(s)) || !Put(dict.get(), "q2", Reals(q)) ||
        !Put(dict.get(), "R", Reals(R)) || !Put(dict.get(), "I_plus", Reals(plus)) ||
        !Put(dict.get(), "I_minus", Reals(minus)) || !Put(dict.get(), "plus_share", Reals(share)))
        return nullptr;
    for (std::size_t m = 0; m < mu.size(); ++m)
        if (!Put(dict.get(), "information_" + plan.sites[m], Reals(information[m]))) return nullptr;
    if (!Put(dict.get(), "score", Reals(score))) return nullptr;
    Ref result(PyTuple_Pack(2, dict.get(), Ref(LeftOut(plan.leftOut)).get()));
    return result.release();
}

// ---- vantrel.Structure ------------------------------------------------------------------

PyObject* WrapStructure(PyTypeObject* type, magnetic::CrystalStructure structure, std::string cif) {
    Ref self(type->tp_alloc(type, 0));
    if (!self) return nullptr;
    try {
        reinterpret_cast<StructureObject*>(self.get())->state =
            new StructureState{std::move(structure), std::move(cif), {}, nullptr};
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
    return self.release();
}

PyObject* NewStructure(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"cif", nullptr};
    PyObject* cif = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:Structure", const_cast<char**>(keywords),
                                     &cif))
        return nullptr;
    std::string text;
    std::optional<magnetic::CrystalStructure> read = ReadStructure(cif, "Structure(cif)", &text);
    return read ? WrapStructure(type, std::move(*read), std::move(text)) : nullptr;
}

// The structure of a pickle: the CIF's text as bytes, read again.
PyObject* RestoreStructure(PyObject*, PyObject* arg) {
    if (!PyBytes_Check(arg))
        return PyErr_Format(PyExc_TypeError, "_restore_structure takes the CIF's text as bytes");
    std::string text(PyBytes_AS_STRING(arg), std::size_t(PyBytes_GET_SIZE(arg)));
    magnetic::CrystalStructureOutcome read = magnetic::ReadCrystalStructure(text, "the CIF text");
    if (!read.structure)
        return PyErr_Format(PyExc_ValueError, "Structure(cif): %s", read.error.c_str());
    return WrapStructure(gStructureType, std::move(*read.structure), std::move(text));
}

PyObject* ReduceStructure(PyObject* self, PyObject*) {
    const std::string& cif = reinterpret_cast<StructureObject*>(self)->state->cif;
    Ref module(PyImport_ImportModule("vantrel"));
    Ref restore(module ? PyObject_GetAttrString(module.get(), "_restore_structure") : nullptr);
    return restore ? Py_BuildValue("(O(y#))", restore.get(), cif.data(), Py_ssize_t(cif.size()))
                   : nullptr;
}

void FreeStructure(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    delete reinterpret_cast<StructureObject*>(self)->state;
    type->tp_free(self);
    Py_DECREF(type);  // a heap type: each of its objects holds it
}

const magnetic::CrystalStructure& Read(PyObject* self) {
    return reinterpret_cast<StructureObject*>(self)->state->structure;
}

PyObject* StructureName(PyObject* self, void*) {
    return PyUnicode_FromString(Read(self).name.c_str());
}

PyObject* StructureSpaceGroup(PyObject* self, void*) {
    return PyUnicode_FromString(Read(self).spaceGroup.c_str());
}

PyObject* StructureCell(PyObject* self, void*) {
    const auto& c = Read(self).cell;
    return Py_BuildValue("(dddddd)", c[0], c[1], c[2], c[3], c[4], c[5]);
}

PyObject* StructureLabels(PyObject* self, void*) {
    const auto& sites = Read(self).sites;
    Ref labels(PyTuple_New(Py_ssize_t(sites.size())));
    for (std::size_t i = 0; labels && i < sites.size(); ++i) {
        PyObject* label = PyUnicode_FromString(sites[i].label.c_str());
        if (label == nullptr) return nullptr;
        PyTuple_SET_ITEM(labels.get(), Py_ssize_t(i), label);
    }
    return labels.release();
}

PyObject* StructureOperations(PyObject* self, void*) {
    return PyLong_FromSize_t(Read(self).operations.size());
}

PyObject* StructureRepr(PyObject* self) {
    const magnetic::CrystalStructure& structure = Read(self);
    const std::size_t sites = structure.sites.size();
    return PyUnicode_FromFormat("<vantrel.Structure %s: %s, %zu site%s, %zu operations>",
                                structure.name.c_str(), structure.spaceGroup.c_str(), sites,
                                sites == 1 ? "" : "s", structure.operations.size());
}

PyGetSetDef kStructureMembers[] = {
    {"name", StructureName, nullptr, "The CIF data block's name.", nullptr},
    {"cell", StructureCell, nullptr, "(a, b, c, alpha, beta, gamma) in Angstrom and degrees.",
     nullptr},
    {"space_group", StructureSpaceGroup, nullptr,
     "The space group as the CIF gives it, or 'from its operations'.", nullptr},
    {"labels", StructureLabels, nullptr, "The labels of the sites, in the CIF's order.", nullptr},
    {"operations", StructureOperations, nullptr,
     "The number of symmetry operations of the group, centring included.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kStructureMethods[] = {
    {"__reduce__", ReduceStructure, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kStructureSlots[] = {
    {Py_tp_methods, kStructureMethods},
    {Py_tp_new, reinterpret_cast<void*>(NewStructure)},
    {Py_tp_dealloc, reinterpret_cast<void*>(FreeStructure)},
    {Py_tp_getset, kStructureMembers},
    {Py_tp_repr, reinterpret_cast<void*>(StructureRepr)},
    {Py_tp_doc,
     const_cast<char*>("Structure(cif)\n--\n\n"
                       "A crystal structure read once from a CIF path or its text, to pass as "
                       "cif to magnetic_reflections, fit_moments and plan_measurements in place "
                       "of the CIF: they then neither read it again nor, for the same sites, "
                       "build its unit cell again.")},
    {0, nullptr},
};

PyType_Spec kStructureSpec = {"vantrel.Structure", sizeof(StructureObject), 0, Py_TPFLAGS_DEFAULT,
                              kStructureSlots};

PyMethodDef kMethods[] = {
    {"magnetic_form_factor",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(FormFactorOf)),
     METH_VARARGS | METH_KEYWORDS,
     "magnetic_form_factor(ion, s, g=2.0, kappa=1.0)\n--\n\n"
     "The dipole form factor <j0(s/kappa)> + (2/g - 1)<j2(s/kappa)> of a named ion ('Fe3+', "
     "'Ho3+', 'Ni') over an array of s = sin(theta)/lambda in 1/Angstrom."},
    {"magnetic_reflections",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(ReflectionsOfStructure)),
     METH_VARARGS | METH_KEYWORDS,
     "magnetic_reflections(cif, sites, *, moments=None, P=1.0, f=1.0, field=None, q2=None, "
     "hkl=None, s_max=None)\n--\n\n"
     "The reflections of a structure (a vantrel.Structure, a CIF path or text) with s, q2, F_N, "
     "F_M per Bohr magneton "
     "of each site, F_M, R and A, for given hkl or every allowed one up to s_max; q2 from a "
     "field direction [u, v, w] or given per reflection. F in 1e-12 cm. A dict of arrays."},
    {"fit_moments", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(FitMomentsOf)),
     METH_VARARGS | METH_KEYWORDS,
     "fit_moments(cif, sites, hkl, R=None, sigmaR=None, *, P=1.0, f=1.0, field=None, q2=None, "
     "start=None)\n--\n\n"
     "The moments of the magnetic sites (Bohr magnetons along the field) that fit measured "
     "flipping ratios, with deviations, correlations, reduced chi-square, residuals and the "
     "reflections left out. hkl may be one table with columns h, k, l, R, sigmaR (and q2)."},
    {"_restore_structure", RestoreStructure, METH_O,
     "A Structure from the text of its CIF, for pickle and copy."},
    {"plan_measurements", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(PlanOf)),
     METH_VARARGS | METH_KEYWORDS,
     "plan_measurements(cif, sites, moments, *, P=1.0, f=1.0, field=None, q2=None, hkl=None, "
     "s_max=None)\n--\n\n"
     "The reflections in the order to measure them: most information on the guessed moments per "
     "unit counting time first. Returns (a dict of arrays, the messages of those left out)."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

int AddMagnetic(PyObject* module) {
    Ref type(PyType_FromSpec(&kStructureSpec));
    if (!type || PyModule_AddObjectRef(module, "Structure", type.get()) != 0) return -1;
    gStructureType = reinterpret_cast<PyTypeObject*>(type.release());  // held for the process
    return PyModule_AddFunctions(module, kMethods);
}

}  // namespace vantrel::python
