// Binding of fast-call arguments (METH_FASTCALL | METH_KEYWORDS) to named
// parameter slots, and conversion of the slots to doubles and vectors.
#pragma once

#include "binding/error.hpp"

#include <array>
#include <span>
#include <string_view>
#include <vector>

namespace halomag::binding {

// Every parameter of the module's functions is positional-or-keyword and
// required; the description still carries the general counts so that the
// messages come out right for any signature.
struct FunctionDescription {
    std::string_view name;
    std::span<const std::string_view> parameters;  // positional, in order
    std::size_t positional_only = 0;
    std::size_t required_positional;
    std::span<const std::string_view> keyword_only = {};
    std::size_t required_keyword_only = 0;
};

// Fills slots[0 .. parameters.size() + keyword_only.size()) with borrowed
// references, or gives the TypeError of the first rule that fails.
PyResult<void> bind(const FunctionDescription& function, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> slots);

// float -> double; exact floats are read without any C-API call.
PyResult<double> to_double(PyObject* object);

// Any sequence but str whose iteration yields numbers -> vector of doubles.
PyResult<std::vector<double>> to_vector(PyObject* object);

// Wraps a conversion error of argument `parameter`: an error whose type is
// exactly TypeError becomes TypeError("argument '<parameter>': <text>") with
// the original's __cause__; any other error passes unchanged.
PyErrValue argument_error(std::string_view parameter, PyErrValue error);

// Converts one argument, wrapping its error.
template <class T, class Convert>
PyResult<T> extract(std::string_view parameter, PyObject* object, Convert convert) {
    PyResult<T> value = convert(object);
    if (!value) return std::unexpected(argument_error(parameter, std::move(value.error())));
    return value;
}

inline PyResult<double> extract_double(std::string_view parameter, PyObject* object) {
    return extract<double>(parameter, object, to_double);
}
inline PyResult<std::vector<double>> extract_vector(std::string_view parameter, PyObject* object) {
    return extract<std::vector<double>>(parameter, object, to_vector);
}

// Results: a new float, or a new list of floats of the vector's length.
PyResult<PyObject*> to_float(double value);
PyResult<PyObject*> to_list(const std::vector<double>& values);

// "'<qualified type name>' object cannot be converted to '<target>'"
PyErrValue cannot_convert(PyObject* object, std::string_view target);

}  // namespace halomag::binding
