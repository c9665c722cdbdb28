// The Python module `vantrel`: every catalogue function under its name and its
// snake_case alias, taking numbers or arrays and broadcasting like a numpy ufunc.
// Each value comes from the catalogue's own body, as the host would get it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "core/params.h"
#include "vantrel/catalogue.h"

namespace py = pybind11;

namespace vantrel::python {
namespace {

using DoubleArray = py::array_t<double, py::array::forcecast>;

// Large arrays are shared among threads: every element is computed on its
// own, so the result does not depend on how they are split.
constexpr std::size_t kElementsPerThread = 1 << 15;
std::size_t gThreads = std::max(1u, std::thread::hardware_concurrency());

// Evaluates one function over the broadcast shape: element i of the result (C
// order) from the elements of the arguments at the same multi-index, any
// stretch [begin, end) of it independently of the rest.
class BroadcastLoop {
public:
    BroadcastLoop(const CatalogueEntry& entry, const std::vector<py::ssize_t>& shape)
        : entry_(entry), shape_(shape) {}

    // Arguments in call order; an axis of length 1 is repeated (stride 0).
    void AddArgument(const DoubleArray& a) {
        base_.push_back(reinterpret_cast<const char*>(a.data()));
        const std::size_t offset = shape_.size() - static_cast<std::size_t>(a.ndim());
        std::vector<py::ssize_t> strides(shape_.size(), 0);
        for (py::ssize_t d = 0; d < a.ndim(); ++d) {
            if (a.shape(d) != 1) strides[offset + static_cast<std::size_t>(d)] = a.strides(d);
        }
        strides_.push_back(std::move(strides));
    }

    void Run(std::size_t begin, std::size_t end, double* out) const {
        const std::size_t n = base_.size();
        const std::size_t last = shape_.size() - 1;
        const auto inner = static_cast<std::size_t>(shape_[last]);
        std::vector<std::size_t> index(shape_.size());
        std::size_t rest = begin;
        for (std::size_t d = shape_.size(); d-- > 0;) {
            index[d] = rest % static_cast<std::size_t>(shape_[d]);
            rest /= static_cast<std::size_t>(shape_[d]);
        }
        // The host's parameter block, filled straight from the arrays.
        double block[kMaxArguments + 1] = {};
        auto* params = reinterpret_cast<FunctionParams*>(block);
        const char* at[kMaxArguments];
        py::ssize_t step[kMaxArguments];
        for (std::size_t k = 0; k < n; ++k) step[k] = strides_[k][last];
        for (std::size_t i = begin; i < end;) {
            for (std::size_t k = 0; k < n; ++k) {
                at[k] = base_[k] + static_cast<py::ssize_t>(index[last]) * step[k];
                for (std::size_t d = 0; d < last; ++d) at[k] += static_cast<py::ssize_t>(index[d]) * strides_[k][d];
            }
            const std::size_t stop = std::min(end, i + (inner - index[last]));
            for (; i < stop; ++i) {
                for (std::size_t k = 0; k < n; ++k) {
                    std::memcpy(&block[ArgumentOffset(n, k) / 8], at[k], sizeof(double));
                    at[k] += step[k];
                }
                entry_.body(params);
                out[i] = block[ResultOffset(n) / 8];
            }
            index[last] = 0;
            for (std::size_t d = last; d-- > 0;) {
                if (++index[d] < static_cast<std::size_t>(shape_[d])) break;
                index[d] = 0;
            }
        }
    }

private:
    const CatalogueEntry& entry_;
    std::vector<py::ssize_t> shape_;
    std::vector<const char*> base_;
    std::vector<std::vector<py::ssize_t>> strides_;
};

class Function {
public:
    Function(const CatalogueEntry& entry, const py::object& isKeyword) : entry_(&entry) {
        for (std::string_view name : entry.ArgumentNames()) {
            names_.emplace_back(name);
            // A name Python reserves ("lambda") is also accepted with a trailing '_'.
            const bool reserved = isKeyword(names_.back()).cast<bool>();
            keywords_.push_back(reserved ? names_.back() + "_" : names_.back());
        }
    }

    const CatalogueEntry& entry() const { return *entry_; }
    const std::vector<std::string>& keywords() const { return keywords_; }
    std::string signature() const { return std::string(entry_->name) + "(" + std::string(entry_->argumentList) + ")"; }

    py::object Call(const py::args& args, const py::kwargs& kwargs) const {
        const std::vector<py::handle> values = Bind(args, kwargs);
        if (AllPythonNumbers(values)) {
            double arguments[kMaxArguments];
            for (std::size_t k = 0; k < values.size(); ++k) {
                arguments[k] = PyFloat_AsDouble(values[k].ptr());
                if (arguments[k] == -1.0 && PyErr_Occurred()) throw py::error_already_set();  // an int beyond a double
            }
            return py::float_(Evaluate(*entry_, {arguments, values.size()}));
        }
        return Broadcast(values);
    }

private:
    // The arguments in call order, from positions and keywords.
    std::vector<py::handle> Bind(const py::args& args, const py::kwargs& kwargs) const {
        const std::size_t n = names_.size();
        if (args.size() > n) {
            throw py::type_error(signature() + " takes " + std::to_string(n) + " arguments, got " +
                                 std::to_string(args.size()));
        }
        std::vector<py::handle> values(n);
        for (std::size_t k = 0; k < args.size(); ++k) values[k] = args[k];
        for (const auto& [key, value] : kwargs) {
            const std::string name = py::str(key);
            std::size_t k = 0;
            while (k < n && name != names_[k] && name != keywords_[k]) ++k;
            if (k == n) throw py::type_error(signature() + " has no argument '" + name + "'");
            if (values[k]) throw py::type_error(signature() + " got argument '" + names_[k] + "' twice");
            values[k] = value;
        }
        std::string missing;
        for (std::size_t k = 0; k < n; ++k) {
            if (values[k]) continue;
            missing += missing.empty() ? "'" : ", '";
            missing += names_[k];
            missing += '\'';
        }
        if (!missing.empty()) throw py::type_error(signature() + " is missing " + missing);
        return values;
    }

    static bool AllPythonNumbers(const std::vector<py::handle>& values) {
        for (py::handle v : values) {
            if (!PyFloat_Check(v.ptr()) && !PyLong_Check(v.ptr())) return false;
        }
        return true;
    }

    py::object Broadcast(const std::vector<py::handle>& values) const {
        const std::size_t n = values.size();
        std::vector<DoubleArray> arrays;
        py::ssize_t ndim = 0;
        for (std::size_t k = 0; k < n; ++k) {
            // Numbers only, as a ufunc takes them: no text, None or complex
            // numbers turned into doubles on the way.
            const py::array any = py::array::ensure(values[k]);
            const bool numeric = any && !values[k].is_none() &&
                                 std::string_view("?biufO").find(any.dtype().kind()) != std::string_view::npos;
            DoubleArray array = numeric ? DoubleArray::ensure(any) : DoubleArray();
            if (!numeric || !array) {
                throw py::type_error(signature() + ": argument '" + names_[k] +
                                     "' must be a number or an array of numbers, not " +
                                     std::string(py::str(py::type::handle_of(values[k]).attr("__name__"))));
            }
            ndim = std::max(ndim, array.ndim());
            arrays.push_back(std::move(array));
        }

        // numpy's rule: shapes aligned at the right, each axis equal or 1.
        std::vector<py::ssize_t> shape(static_cast<std::size_t>(ndim), 1);
        for (const DoubleArray& a : arrays) {
            for (py::ssize_t d = 0; d < a.ndim(); ++d) {
                py::ssize_t& axis = shape[static_cast<std::size_t>(ndim - a.ndim() + d)];
                if (axis == 1) {
                    axis = a.shape(d);
                } else if (a.shape(d) != 1 && a.shape(d) != axis) {
                    std::string shapes;
                    for (const DoubleArray& b : arrays) {
                        shapes += ' ';
                        shapes += py::str(b.attr("shape")).cast<std::string>();
                    }
                    throw py::value_error(signature() + ": arguments could not be broadcast together with shapes" +
                                          shapes);
                }
            }
        }
        if (ndim == 0) {
            double arguments[kMaxArguments];
            for (std::size_t k = 0; k < n; ++k) arguments[k] = *arrays[k].data();
            return py::float_(Evaluate(*entry_, {arguments, n}));
        }

        BroadcastLoop loop(*entry_, shape);
        for (std::size_t k = 0; k < n; ++k) loop.AddArgument(arrays[k]);
        py::array_t<double> result(shape);
        const std::size_t size = static_cast<std::size_t>(result.size());
        double* out = result.mutable_data();
        if (size == 0) return result;
        {
            py::gil_scoped_release released;
            const std::size_t threads = std::clamp<std::size_t>(size / kElementsPerThread, 1, gThreads);
            std::vector<std::thread> workers;
            for (std::size_t t = 1; t < threads; ++t) {
                const std::size_t begin = size * t / threads, end = size * (t + 1) / threads;
                try {
                    workers.emplace_back([&loop, out, begin, end] { loop.Run(begin, end, out); });
                } catch (const std::system_error&) {
                    loop.Run(begin, end, out);  // no thread to be had: this one does it
                }
            }
            loop.Run(0, size / threads, out);
            for (std::thread& w : workers) w.join();
        }
        return result;
    }

    const CatalogueEntry* entry_;
    std::vector<std::string> names_;     // the catalogue's argument names
    std::vector<std::string> keywords_;  // the same, usable as Python keywords
};

std::string Documentation(const Function& f) {
    const CatalogueEntry& e = f.entry();
    return f.signature() + " -> float | numpy.ndarray\n\n" + "Vantrel function " + std::to_string(IndexOf(e)) +
           ", also named " + std::string(e.alias) +
           ". Takes numbers or arrays of numbers (positionally or by name) and\n"
           "broadcasts them like a numpy ufunc: numbers give a float, arrays a float64\n"
           "array of the broadcast shape. A degenerate input gives nan, never an error.";
}

}  // namespace
}  // namespace vantrel::python

PYBIND11_MODULE(vantrel, m) {
    using vantrel::python::Function;
    m.doc() =
        "The 46 Vantrel functions of polarised-neutron diffraction: count rates, flipping ratios,\n"
        "asymmetries, optimal counting times, peak centring, sin(theta)/lambda and helium-3 cells.\n"
        "Each is available under its catalogue name (FlippingRatioOptSDev) and a snake_case alias\n"
        "(flipping_ratio_opt_sdev); `functions` lists them in catalogue order.";
    m.attr("__version__") = VANTREL_VERSION;
    m.def("get_num_threads", [] { return vantrel::python::gThreads; },
          "Threads that share the elements of a large array (default: one per processor).");
    m.def(
        "set_num_threads",
        [](std::size_t threads) {
            if (threads < 1) throw py::value_error("set_num_threads needs at least 1");
            vantrel::python::gThreads = threads;
        },
        py::arg("threads"), "Sets the number of threads for large arrays; 1 computes in the calling thread only.");

    py::class_<Function>(m, "Function", py::dynamic_attr())
        .def("__call__", &Function::Call)
        .def_property_readonly("name", [](const Function& f) { return std::string(f.entry().name); })
        .def_property_readonly("alias", [](const Function& f) { return std::string(f.entry().alias); })
        .def_property_readonly("index", [](const Function& f) { return vantrel::IndexOf(f.entry()); })
        .def_property_readonly("arguments",
                               [](const Function& f) {
                                   py::list names;
                                   for (std::string_view name : f.entry().ArgumentNames()) names.append(std::string(name));
                                   return py::tuple(names);
                               })
        .def("__repr__", [](const Function& f) { return "<vantrel function " + f.signature() + ">"; });

    const py::object isKeyword = py::module_::import("keyword").attr("iskeyword");
    const py::module_ inspect = py::module_::import("inspect");
    const py::object parameter = inspect.attr("Parameter");
    py::list functions;
    for (const vantrel::CatalogueEntry& entry : vantrel::Catalogue()) {
                py::object f = py::cast(Function(entry, isKeyword));
        const Function& function = f.cast<const Function&>();
        py::list parameters;
        for (const std::string& keyword : function.keywords()) {
            parameters.append(parameter(keyword, parameter.attr("POSITIONAL_OR_KEYWORD")));
        }
        f.attr("__signature__") = inspect.attr("Signature")(parameters);
        f.attr("__doc__") = vantrel::python::Documentation(function);
        f.attr("__name__") = std::string(entry.name);
        f.attr("__qualname__") = std::string(entry.name);
        f.attr("__module__") = "vantrel";
        m.attr(std::string(entry.name).c_str()) = f;
        m.attr(std::string(entry.alias).c_str()) = f;
        functions.append(f);
    }
    m.attr("functions") = py::tuple(functions);
}
