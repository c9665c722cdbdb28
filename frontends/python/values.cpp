// How the module takes a Python value as a double, and the words it uses when
// it cannot: one rule for the ufuncs' object loop, the named callables and
// he3_decay_fit.
#include <algorithm>
#include <cmath>
#include <string>

#include "module.h"

namespace vantrel::python {

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

std::string ArgumentName::Text() const {
    std::string text = std::string(function) + ": argument '" + std::string(name) + "'";
    return row == 0 ? text : text + ", row " + std::to_string(row) + ",";
}

namespace {

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
    Ref exponent(ten ? PyLong_FromLongLong(skip) : nullptr);
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

bool BeyondDouble(PyObject* value, const ArgumentName& argument) {
    const std::string where = argument.Text();
    const std::string text =
        PyLong_Check(value) ? IntegerText(value) : ShortText(value) + " (" + TypeName(value) + ")";
    PyErr_Format(PyExc_OverflowError, "%s holds %s, which does not fit a double", where.c_str(),
                 text.c_str());
    return false;
}

}  // namespace

// int, float, Decimal, Fraction, a numpy scalar, whatever has __float__: text,
// None and complex numbers are no real numbers, and a value beyond a double
// is refused, never taken as an infinity.
bool ToDouble(PyObject* value, const ArgumentName& where, double& x) {
    if (value != nullptr && PyFloat_Check(value)) {  // the common case first: a double already
        x = PyFloat_AS_DOUBLE(value);
        return true;
    }
    if (value == nullptr) value = Py_None;  // an object array numpy left empty
    x = PyFloat_AsDouble(value);
    if (x == -1.0 && PyErr_Occurred()) {
        if (PyErr_ExceptionMatches(PyExc_OverflowError)) {
            PyErr_Clear();
            return BeyondDouble(value, where);
        }
        // A MemoryError or an interrupt stays what it is.
        if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_ValueError))
            return false;
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "%s holds %.60R (%s), not a real number",
                     where.Text().c_str(), value, TypeName(value).c_str());
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
        if (infinite != 1) return BeyondDouble(value, where);
    }
    return true;
}

void RefuseDtype(const ArgumentName& where, PyObject* dtype) {
    PyErr_Format(PyExc_TypeError, "%s has dtype %s, not a real number type", where.Text().c_str(),
                 Text(dtype).c_str());
}

}  // namespace vantrel::python
