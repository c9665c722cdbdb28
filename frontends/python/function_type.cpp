// vantrel.Function: the named callable of a catalogue function. It takes its
// arguments by position or by the catalogue's argument names, answers plain
// numbers at once, and hands everything else to its ufunc.
#include "module.h"  // Python first, as its headers ask

#include <structmember.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "vantrel/batch.h"

namespace vantrel::python {
namespace {

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
                if (!item) break;  // cleared below: numpy's own error then stands
                double x;
                if (!ToDouble(item.get(), NameOf(entry, a), x)) return true;
            }
            PyErr_Clear();
        } else if (!RealKind(kind) && kind != 'O') {
            RefuseDtype(NameOf(entry, a), dtype.get());
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
    // Each step only while every one before it succeeded: no call into Python
    // with an exception pending.
    std::vector<Ref> numpy;
    for (const std::string_view keyword : kNumpyKeywords) {
        numpy.emplace_back(PyUnicode_FromStringAndSize(keyword.data(), Py_ssize_t(keyword.size())));
        if (!numpy.back()) break;
        candidates.push_back(numpy.back().get());
    }
    const bool named = numpy.size() == kNumpyKeywords.size() && numpy.back();
    Ref lowered(named ? PyList_New(0) : nullptr);
    for (std::size_t i = 0; lowered && i < candidates.size(); ++i) {
        Ref lower(PyObject_CallMethod(candidates[i], "lower", nullptr));
        if (!lower || PyList_Append(lowered.get(), lower.get()) != 0) lowered.reset(nullptr);
    }
    Ref difflib(lowered ? PyImport_ImportModule("difflib") : nullptr);
    Ref typed(difflib ? PyObject_CallMethod(name, "lower", nullptr) : nullptr);
    Ref matches(typed ? PyObject_CallMethod(difflib.get(), "get_close_matches", "OOi", typed.get(),
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
            if (!ToDouble(values[a], NameOf(*f->entry, a), arguments[a])) return nullptr;
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
    Ref result(CallUfunc(f, values, k, names.get(), passedValues));
    if (!result) {
        if (!PyErr_ExceptionMatches(PyExc_TypeError)) return nullptr;
        // Name the argument that numpy could not take.
        PendingError numpyError;
        if (!ExplainRefusal(*f->entry, values)) numpyError.Restore();
        return nullptr;
    }
    // Numbers in (0-d arrays, numpy scalars), a float out, as with plain numbers.
    if (passed == 0 && PyArray_IsScalar(result.get(), Double)) {
        return PyFloat_FromDouble(PyFloat_AsDouble(result.get()));  // numpy's float64 is a float
    }
    return result.release();
}

// What the collector breaks cycles with: a cycle runs through the attribute
// dictionary (a user may store anything there) or the ufunc.
int Clear(PyObject* self) {
    Function* f = AsFunction(self);
    Py_CLEAR(f->dict);
    Py_CLEAR(f->ufunc);
    Py_CLEAR(f->keywords);
    Py_CLEAR(f->names);
    return 0;
}

void Dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    Clear(self);
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
// One field of every argument, in call order.
PyObject* ArgumentField(PyObject* self, std::string_view ArgumentInfo::*field) {
    const CatalogueEntry& e = *AsFunction(self)->entry;
    Ref texts(PyTuple_New(static_cast<Py_ssize_t>(e.arguments.size())));
    for (std::size_t a = 0; texts && a < e.arguments.size(); ++a) {
        Ref text(Utf8(e.arguments[a].*field));
        if (!text) return nullptr;
        PyTuple_SET_ITEM(texts.get(), static_cast<Py_ssize_t>(a), text.release());
    }
    return texts.release();
}
PyObject* GetUnits(PyObject* self, void*) { return ArgumentField(self, &ArgumentInfo::unit); }
PyObject* GetMeanings(PyObject* self, void*) { return ArgumentField(self, &ArgumentInfo::meaning); }
PyObject* GetNanWhen(PyObject* self, void*) { return Utf8(AsFunction(self)->entry->nanWhen); }
PyObject* GetExample(PyObject* self, void*) {
    const CatalogueEntry& e = *AsFunction(self)->entry;
    Ref arguments(PyTuple_New(static_cast<Py_ssize_t>(e.exampleArguments.size())));
    for (std::size_t a = 0; arguments && a < e.exampleArguments.size(); ++a) {
        Ref x(PyFloat_FromDouble(e.exampleArguments[a]));
        if (!x) return nullptr;
        PyTuple_SET_ITEM(arguments.get(), static_cast<Py_ssize_t>(a), x.release());
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
    {"meanings", GetMeanings, nullptr, "What each argument is, in call order.", nullptr},
    {"nan_when", GetNanWhen, nullptr, "The inputs that give NaN.", nullptr},
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
    {Py_tp_clear, reinterpret_cast<void*>(Clear)},
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
    Ref signature(parameter ? PyObject_GetAttrString(inspect.get(), "Signature") : nullptr);
    Ref positional(signature ? PyObject_GetAttrString(parameter.get(), "POSITIONAL_OR_KEYWORD")
                             : nullptr);
    Ref keywordOnly(positional ? PyObject_GetAttrString(parameter.get(), "KEYWORD_ONLY") : nullptr);
    Ref parameters(keywordOnly ? PyList_New(0) : nullptr);
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
        Ref kwargs(fallback ? Py_BuildValue("{s:O}", "default", fallback.get()) : nullptr);
        Ref args(kwargs ? Py_BuildValue("(sO)", name, keywordOnly.get()) : nullptr);
        if (!kwargs || !args) return nullptr;
        Ref p(PyObject_Call(parameter.get(), args.get(), kwargs.get()));
        if (!p || PyList_Append(parameters.get(), p.get()) != 0) return nullptr;
    }
    return PyObject_CallOneArg(signature.get(), parameters.get());
}

bool SetAttribute(PyObject* object, const char* name, PyObject* value) {
    return value != nullptr && PyObject_SetAttrString(object, name, value) == 0;
}

}  // namespace

PyObject* MakeFunctionType() { return PyType_FromSpec(&kFunctionSpec); }

PyObject* MakeFunction(PyObject* type, const CatalogueEntry& entry, PyObject* ufunc) {
    Ref keyword(PyImport_ImportModule("keyword"));
    Ref isKeyword(keyword ? PyObject_GetAttrString(keyword.get(), "iskeyword") : nullptr);
    if (!isKeyword) return nullptr;
    Ref self(reinterpret_cast<PyObject*>(
        PyObject_GC_New(Function, reinterpret_cast<PyTypeObject*>(type))));
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
        Ref name(PyUnicode_InternFromString(std::string(names[a]).c_str()));
        if (!name) return nullptr;
        // A name Python reserves ("lambda") is a keyword with a trailing '_'.
        const Ref answer(PyObject_CallOneArg(isKeyword.get(), name.get()));
        const int reserved = answer ? PyObject_IsTrue(answer.get()) : -1;
        if (reserved < 0) return nullptr;
        Ref keyword(reserved ? PyUnicode_InternFromString((std::string(names[a]) + "_").c_str())
                             : Py_NewRef(name.get()));
        if (!keyword) return nullptr;
        PyTuple_SET_ITEM(f->names, static_cast<Py_ssize_t>(a), name.release());
        PyTuple_SET_ITEM(f->keywords, static_cast<Py_ssize_t>(a), keyword.release());
    }
    const std::string name(entry.name);
    Ref text(PyUnicode_FromString(name.c_str()));
    Ref doc(text ? PyUnicode_FromString(Documentation(entry).c_str()) : nullptr);
    Ref module(doc ? PyUnicode_FromString("vantrel") : nullptr);
    Ref signature(module ? MakeSignature(f) : nullptr);
    if (!SetAttribute(self.get(), "__name__", text.get()) ||
        !SetAttribute(self.get(), "__qualname__", text.get()) ||
        !SetAttribute(self.get(), "__doc__", doc.get()) ||
        !SetAttribute(self.get(), "__module__", module.get()) ||
        !SetAttribute(self.get(), "__signature__", signature.get())) {
        return nullptr;
    }
    return self.release();
}

}  // namespace vantrel::python
