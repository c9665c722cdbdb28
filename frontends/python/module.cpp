// The Python module `vantrel`. Every catalogue function is
//   - a numpy ufunc (vantrel.ufuncs.CountRate: nin = its argument count,
//     nout = 1) whose float64 loop is the C++ column kernel, so that out=,
//     where=, masked arrays, dask and xarray work as with numpy's own ufuncs,
//     and whose second loop takes object arrays value by value
//     (ufunc_loops.cpp); and
//   - a named callable (vantrel.CountRate, also vantrel.count_rate) over that
//     ufunc (function_type.cpp).
// Values become doubles by one rule throughout (values.cpp); he3_decay_fit
// (decay_fit.cpp) takes its columns by it too.
#define VANTREL_IMPORTS_NUMPY
#include "module.h"

#include <span>
#include <string>

namespace vantrel::python {
namespace {

PyObject* GetNumThreads(PyObject*, PyObject*) { return PyLong_FromUnsignedLong(ThreadsInEffect()); }

// A count the loops would not use is refused rather than quietly lowered: the
// caller would otherwise believe, and report, a setting that is not in effect.
PyObject* SetNumThreads(PyObject*, PyObject* argument) {
    Ref whole(PyNumber_Index(argument));  // 4 and numpy.int64(4); not 4.0 nor "4"
    if (!whole) return nullptr;
    int overflow = 0;
    const long long threads = PyLong_AsLongLongAndOverflow(whole.get(), &overflow);
    if (threads == -1 && PyErr_Occurred()) return nullptr;
    if (overflow < 0 || (overflow == 0 && threads < 0)) {
        return PyErr_Format(PyExc_ValueError,
                            "set_num_threads takes a number of threads, or 0 for one per "
                            "processor, not %R",
                            argument);
    }
    if (overflow > 0 || !SetThreads(static_cast<unsigned long long>(threads))) {
        return PyErr_Format(PyExc_ValueError,
                            "set_num_threads takes at most %llu threads, not %.60R", kMostThreads,
                            argument);
    }
    Py_RETURN_NONE;
}

PyMethodDef kModuleMethods[] = {
    {"get_num_threads", GetNumThreads, METH_NOARGS,
     "get_num_threads($module, /)\n--\n\n"
     "Threads that share the elements of a large array (default: one per processor)."},
    {"set_num_threads", SetNumThreads, METH_O,
     "set_num_threads($module, threads, /)\n--\n\n"
     "Sets the number of threads for large arrays: 1 computes in the calling thread only, 0 takes "
     "one per processor (the default), at most 1024."},
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

bool SetAttribute(PyObject* object, const char* name, PyObject* value) {
    return value != nullptr && PyObject_SetAttrString(object, name, value) == 0;
}

PyObject* Initialise() {
    import_array1(nullptr);
    import_umath1(nullptr);
    Ref module(PyModule_Create(&kModule));
    if (!module) return nullptr;
    if (PyModule_AddStringConstant(module.get(), "__version__", VANTREL_VERSION) != 0)
        return nullptr;

    Ref type(MakeFunctionType());
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
    const std::span<const CatalogueEntry> catalogue = Catalogue();
    Ref functions(PyTuple_New(static_cast<Py_ssize_t>(catalogue.size())));
    if (!functions) return nullptr;
    for (const CatalogueEntry& entry : catalogue) {
        const std::string name(entry.name), alias(entry.alias);
        Ref ufunc(MakeUfunc(entry));
        Ref function(ufunc ? MakeFunction(type.get(), entry, ufunc.get()) : nullptr);
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
    if (AddMagnetic(module.get()) != 0) return nullptr;
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
