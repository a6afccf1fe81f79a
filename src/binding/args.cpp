#include "binding/args.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "lib/failure.hpp"

namespace halomag::binding {
namespace {

std::string type_qualname(PyTypeObject* type) {
    PyObject* qualname = PyType_GetQualName(type);
    if (qualname == nullptr) {
        PyErr_Clear();
        return std::string(messages::TYPE_NAME_FAILED);
    }
    std::string name = str_utf8(qualname).value_or(std::string(messages::TYPE_NAME_FAILED));
    Py_DECREF(qualname);
    return name;
}

// str() of a keyword name for the unexpected-keyword message.
std::string keyword_text(PyObject* keyword) {
    if (std::optional<std::string> text = str_utf8(keyword)) return std::move(*text);
    // A name with lone surrogates: show it with them escaped.
    std::string text;
    if (PyObject* bytes = PyUnicode_AsEncodedString(keyword, "utf-8", "backslashreplace")) {
        text.assign(PyBytes_AS_STRING(bytes), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes)));
        Py_DECREF(bytes);
    } else {
        PyErr_Clear();
    }
    return text;
}

std::ptrdiff_t find(std::span<const std::string_view> names, std::string_view key) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == key) return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
}

}  // namespace

PyErrValue cannot_convert(PyObject* object, std::string_view target) {
    return PyErrValue::type_error(messages::cannot_convert(type_qualname(Py_TYPE(object)), target));
}

PyResult<void> bind(const FunctionDescription& function, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> slots) {
    const std::size_t n = function.parameters.size();
    const auto given = static_cast<std::size_t>(nargs);
    for (std::size_t i = 0; i < std::min(n, given); ++i) slots[i] = args[i];
    if (given > n) {
        return std::unexpected(PyErrValue::type_error(messages::too_many_positional(
            function.name, function.required_positional, n, given)));
    }

    std::vector<std::string_view> positional_only_passed;  // views into the parameter names
    if (kwnames != nullptr) {
        const Py_ssize_t count = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < count; ++k) {
            PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
            PyObject* value = args[nargs + k];
            Py_ssize_t size = 0;
            const char* utf8 = PyUnicode_AsUTF8AndSize(keyword, &size);
            std::ptrdiff_t index = -1;
            std::size_t slot = 0;
            if (utf8 == nullptr) {
                PyErr_Clear();  // not valid UTF-8: it matches no parameter
            } else {
                const std::string_view key(utf8, static_cast<std::size_t>(size));
                if ((index = find(function.keyword_only, key)) >= 0) {
                    slot = n + static_cast<std::size_t>(index);
                } else if ((index = find(function.parameters, key)) >= 0) {
                    slot = static_cast<std::size_t>(index);
                    if (slot < function.positional_only) {
                        positional_only_passed.push_back(function.parameters[slot]);
                        continue;
                    }
                }
            }
            if (index < 0) {
                return std::unexpected(PyErrValue::type_error(
                    messages::unexpected_keyword(function.name, keyword_text(keyword))));
            }
            if (slots[slot] != nullptr) {
                const std::string_view parameter = slot < n ? function.parameters[slot]
                                                            : function.keyword_only[slot - n];
                return std::unexpected(
                    PyErrValue::type_error(messages::multiple_values(function.name, parameter)));
            }
            slots[slot] = value;
        }
    }
    if (!positional_only_passed.empty()) {
        return std::unexpected(PyErrValue::type_error(
            messages::positional_only_as_keyword(function.name, positional_only_passed)));
    }

    if (given < function.required_positional) {
        std::vector<std::string_view> missing;
        for (std::size_t i = given; i < function.required_positional; ++i) {
            if (slots[i] == nullptr) missing.push_back(function.parameters[i]);
        }
        if (!missing.empty()) {
            return std::unexpected(PyErrValue::type_error(
                messages::missing_required(function.name, "positional", missing)));
        }
    }
    std::vector<std::string_view> missing_keywords;
    for (std::size_t i = 0; i < function.required_keyword_only; ++i) {
        if (slots[n + i] == nullptr) missing_keywords.push_back(function.keyword_only[i]);
    }
    if (!missing_keywords.empty()) {
        return std::unexpected(PyErrValue::type_error(
            messages::missing_required(function.name, "keyword", missing_keywords)));
    }
    return {};
}

PyResult<double> to_double(PyObject* object) {
    if (PyFloat_CheckExact(object)) return PyFloat_AS_DOUBLE(object);
    const double value = PyFloat_AsDouble(object);
    if (value == -1.0 && PyErr_Occurred()) return std::unexpected(PyErrValue::fetch());
    return value;
}

PyResult<std::vector<double>> to_vector(PyObject* object) {
    if (PyUnicode_Check(object)) {
        return std::unexpected(PyErrValue::type_error(std::string(messages::STR_TO_VECTOR)));
    }
    if (!PySequence_Check(object)) return std::unexpected(cannot_convert(object, "Sequence"));

    // Fast path: a one-dimensional C-contiguous buffer of native doubles (a
    // float64 numpy array, array('d'), a memoryview of either) is copied
    // straight out of the buffer.  Iterating it would yield the same doubles
    // as Python floats, so the result is bit for bit that of the general path.
    if (PyObject_CheckBuffer(object)) {
        Py_buffer view;
        if (PyObject_GetBuffer(object, &view, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) == 0) {
            const bool doubles = view.ndim == 1 && view.itemsize == sizeof(double) &&
                                 view.format != nullptr &&
                                 (std::strcmp(view.format, "d") == 0 ||
                                  std::strcmp(view.format, "@d") == 0);
            if (doubles) {
                const auto* first = static_cast<const double*>(view.buf);
                std::vector<double> values(first, first + view.len / view.itemsize);
                PyBuffer_Release(&view);
                return values;
            }
            PyBuffer_Release(&view);
        } else {
            PyErr_Clear();  // not exportable that way: take the general path
        }
    }

    // The reported length is only a hint: an object may report more elements
    // than it yields (up to sys.maxsize), so the reservation is capped and
    // the iteration decides the size; beyond the cap the vector grows as
    // usual.
    constexpr Py_ssize_t RESERVE_CAP = Py_ssize_t{1} << 16;
    std::vector<double> values;
    const Py_ssize_t length = PySequence_Size(object);
    if (length < 0) {
        PyErr_Clear();  // the length only sizes the reservation
    } else {
        values.reserve(static_cast<std::size_t>(std::min(length, RESERVE_CAP)));
    }
    PyObject* iterator = PyObject_GetIter(object);
    if (iterator == nullptr) return std::unexpected(PyErrValue::fetch());
    while (PyObject* item = PyIter_Next(iterator)) {
        PyResult<double> value = to_double(item);
        Py_DECREF(item);
        if (!value) {
            Py_DECREF(iterator);
            return std::unexpected(std::move(value.error()));
        }
        values.push_back(*value);
    }
    Py_DECREF(iterator);
    if (PyErr_Occurred()) return std::unexpected(PyErrValue::fetch());
    return values;
}

PyErrValue argument_error(std::string_view parameter, PyErrValue error) {
    PyObject* exception = error.normalized();
    if (!Py_IS_TYPE(exception, reinterpret_cast<PyTypeObject*>(PyExc_TypeError))) return error;

    const std::string text = str_utf8(exception).value_or("<exception str() failed>");
    PyErrValue wrapped = PyErrValue::type_error(messages::argument_error(parameter, text));
    PyObject* replacement = wrapped.normalized();
    // The cause of the new error is the original's own cause, not the
    // original itself (PyException_SetCause steals the reference).
    PyException_SetCause(replacement, PyException_GetCause(exception));
    return wrapped;
}

PyResult<PyObject*> to_float(double value) {
    PyObject* result = PyFloat_FromDouble(value);
    if (result == nullptr) api_call_failed();
    return result;
}

PyResult<PyObject*> to_list(const std::vector<double>& values) {
    const auto length = static_cast<Py_ssize_t>(values.size());
    PyObject* list = PyList_New(length);
    if (list == nullptr) api_call_failed();
    Py_ssize_t stored = 0;
    for (double value : values) {
        PyObject* item = PyFloat_FromDouble(value);
        if (item == nullptr) {
            Py_DECREF(list);
            api_call_failed();
        }
        PyList_SET_ITEM(list, stored, item);
        ++stored;
    }
    if (stored != length) {
        Py_DECREF(list);
        assert_equal(static_cast<std::size_t>(length), static_cast<std::size_t>(stored));
    }
    return list;
}

}  // namespace halomag::binding
