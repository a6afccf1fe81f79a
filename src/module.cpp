// Module entry: single-phase initialisation of `halomag`.
//
// The module object is created once per process and handed out again on
// every later import (for example after `del sys.modules["halomag"]`), so the
// function objects are never created twice.  Only the first interpreter that
// imports the module may use it: the module keeps process-wide state (the
// exception type, the module object) that is not per-interpreter.
#include <atomic>
#include <cstdint>
#include <string>

#include "binding/args.hpp"
#include "binding/error.hpp"
#include "lib/failure.hpp"
#include "wrappers.hpp"

namespace halomag {
namespace {

using binding::PyErrValue;
using binding::PyResult;

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "halomag",
    "Finite-source point-lens magnifications (Witt & Mao, Heyrovsky), "
    "implemented as a Python module in compiled C++.",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

std::atomic<std::int64_t> first_interpreter{-1};
PyObject* module_object = nullptr;  // filled once, under the interpreter lock

PyObject* interned(PyObject*& cell, const char* text) {
    if (cell == nullptr) cell = PyUnicode_InternFromString(text);
    return cell;
}
PyObject* name_string = nullptr;
PyObject* all_string = nullptr;

PyResult<void> add_function(PyObject* module, PyObject* function) {
    PyObject* key = interned(name_string, "__name__");
    if (key == nullptr) return std::unexpected(PyErrValue::fetch());
    PyObject* name = PyObject_GetAttr(function, key);
    if (name == nullptr) return std::unexpected(PyErrValue::fetch());
    if (!PyUnicode_Check(name)) {
        PyErrValue error = binding::cannot_convert(name, "PyString");
        Py_DECREF(name);
        return std::unexpected(std::move(error));
    }

    PyObject* all_key = interned(all_string, "__all__");
    if (all_key == nullptr) {
        Py_DECREF(name);
        return std::unexpected(PyErrValue::fetch());
    }
    PyObject* all = PyObject_GetAttr(module, all_key);
    if (all == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
            Py_DECREF(name);
            return std::unexpected(PyErrValue::fetch());
        }
        PyErr_Clear();
        all = PyList_New(0);
        if (all == nullptr) binding::api_call_failed();
        if (PyObject_SetAttr(module, all_key, all) < 0) {
            Py_DECREF(all);
            Py_DECREF(name);
            return std::unexpected(PyErrValue::fetch());
        }
    }
    if (!PyList_Check(all)) {
        PyErrValue error = binding::cannot_convert(all, "PyList");
        Py_DECREF(all);
        Py_DECREF(name);
        return std::unexpected(std::move(error));
    }
    const int appended = PyList_Append(all, name);
    Py_DECREF(all);
    if (appended < 0) {
        PyErr_Clear();
        Py_DECREF(name);
        internal_failure("could not append __name__ to __all__");
    }
    const int set = PyObject_SetAttr(module, name, function);
    Py_DECREF(name);
    if (set < 0) return std::unexpected(PyErrValue::fetch());
    return {};
}

PyResult<void> add_functions(PyObject* module) {
    for (const FunctionRecord& record : function_records()) {
        PyObject* module_name = PyModule_GetNameObject(module);
        if (module_name == nullptr) return std::unexpected(PyErrValue::fetch());
        // CPython keeps pointing at the definition for the life of the process.
        auto* definition = new PyMethodDef{record.name, record.entry, METH_FASTCALL | METH_KEYWORDS,
                                           record.doc};
        PyObject* function = PyCMethod_New(definition, module, module_name, nullptr);
        Py_DECREF(module_name);
        if (function == nullptr) return std::unexpected(PyErrValue::fetch());
        PyResult<void> added = add_function(module, function);
        Py_DECREF(function);
        if (!added) return added;
    }
    return {};
}

PyResult<PyObject*> initialise() {
    PyInterpreterState* interpreter = PyInterpreterState_Get();
    const std::int64_t id = PyInterpreterState_GetID(interpreter);
    if (id == -1) return std::unexpected(PyErrValue::fetch());

    std::int64_t expected = -1;
    if (!first_interpreter.compare_exchange_strong(expected, id) && expected != id) {
        return std::unexpected(PyErrValue::lazy(
            PyErrValue::Kind::ImportError,
            "halomag does not yet support sub-interpreters, see the Concurrency section "
            "of README.md"));
    }
    if (module_object != nullptr) return Py_NewRef(module_object);

    PyObject* module = PyModule_Create2(&module_definition, 1013);
    if (module == nullptr) return std::unexpected(PyErrValue::fetch());
    if (PyResult<void> added = add_functions(module); !added) {
        Py_DECREF(module);
        return std::unexpected(std::move(added.error()));
    }
    if (module_object == nullptr) module_object = module;  // the first filler wins
    else Py_DECREF(module);
    return Py_NewRef(module_object);
}

}  // namespace
}  // namespace halomag

PyMODINIT_FUNC PyInit_halomag(void) {
    return halomag::binding::run_boundary([] { return halomag::initialise(); });
}
