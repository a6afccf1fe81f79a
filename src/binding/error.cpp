#include "binding/error.hpp"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "lib/failure.hpp"

namespace halomag::binding {
namespace {

thread_local long gil_count = 0;

std::mutex deferred_mutex;
std::vector<PyObject*> deferred;  // guarded by deferred_mutex

PyObject* panic_type = nullptr;  // set once, under the interpreter lock

constexpr const char PANIC_DOC[] =
    "\nThe exception raised when halomag's native code fails internally.\n\n"
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.\n";

PyObject* type_object(PyErrValue::Kind kind) {
    switch (kind) {
        case PyErrValue::Kind::TypeError: return PyExc_TypeError;
        case PyErrValue::Kind::RuntimeError: return PyExc_RuntimeError;
        case PyErrValue::Kind::SystemError: return PyExc_SystemError;
        case PyErrValue::Kind::ImportError: return PyExc_ImportError;
        case PyErrValue::Kind::Panic: return panic_exception_type();
    }
    return PyExc_SystemError;
}

}  // namespace

void release(PyObject* object) noexcept {
    if (object == nullptr) return;
    if (gil_count > 0) {
        Py_DECREF(object);
        return;
    }
    std::lock_guard lock(deferred_mutex);
    deferred.push_back(object);
}

std::optional<std::string> str_utf8(PyObject* object) {
    PyObject* text = PyObject_Str(object);
    if (text == nullptr) {
        PyErr_Clear();
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size);
    std::optional<std::string> result;
    if (utf8 != nullptr) {
        result.emplace(utf8, static_cast<std::size_t>(size));
    } else {
        PyErr_Clear();
    }
    Py_DECREF(text);
    return result;
}

GilMarker::GilMarker() noexcept {
    ++gil_count;
    std::vector<PyObject*> pending;
    {
        std::lock_guard lock(deferred_mutex);
        pending.swap(deferred);
    }
    for (PyObject* object : pending) Py_DECREF(object);
}

GilMarker::~GilMarker() { --gil_count; }

void abort_at_boundary() noexcept {
    std::fputs(messages::FFI_BOUNDARY_ABORT.data(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    std::abort();
}

void api_call_failed() {
    PyErr_Print();
    internal_failure(std::string(messages::API_CALL_FAILED));
}

PyObject* panic_exception_type() {
    if (panic_type == nullptr) {
        PyObject* type = PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", PANIC_DOC,
                                                   PyExc_BaseException, nullptr);
        if (type == nullptr) {
            PyErr_Print();
            internal_failure("failed to create the pyo3_runtime.PanicException type");
        }
        panic_type = type;
    }
    return panic_type;
}

PyErrValue& PyErrValue::operator=(PyErrValue&& other) noexcept {
    if (this != &other) {
        release(exception_);
        kind_ = other.kind_;
        message_ = std::move(other.message_);
        exception_ = std::exchange(other.exception_, nullptr);
        normalizing_ = false;
    }
    return *this;
}

PyErrValue PyErrValue::fetch() {
    PyObject* exception = PyErr_GetRaisedException();
    if (exception == nullptr) {
        return lazy(Kind::SystemError, std::string(messages::NO_EXCEPTION_SET));
    }
    if (panic_type != nullptr && Py_IS_TYPE(exception, reinterpret_cast<PyTypeObject*>(panic_type))) {
        // A PanicException raised by Python code we called (a user's
        // __float__ or __iter__ that let one of ours through): resume the
        // internal failure rather than treating it as an ordinary error.
        const std::string message =
            str_utf8(exception).value_or(std::string(messages::UNWRAPPED_PANIC));
        std::fputs("--- halomag: resuming an internal failure after fetching a "
                   "pyo3_runtime.PanicException from Python ---\nPython stack trace below:\n",
                   stderr);
        PyErr_SetRaisedException(exception);
        PyErr_PrintEx(0);
        internal_failure(std::move(message));
    }
    return PyErrValue(exception);
}

void PyErrValue::restore_lazy() const {
    PyObject* type = type_object(kind_);
    if (!PyExceptionClass_Check(type)) {
        PyErr_SetString(PyExc_TypeError, "exceptions must derive from BaseException");
        return;
    }
    PyObject* text = PyUnicode_FromStringAndSize(message_.data(),
                                                 static_cast<Py_ssize_t>(message_.size()));
    if (text == nullptr) api_call_failed();
    PyObject* argument = text;
    if (kind_ == Kind::Panic) {
        argument = PyTuple_New(1);
        if (argument == nullptr) {
            Py_DECREF(text);
            api_call_failed();
        }
        PyTuple_SET_ITEM(argument, 0, text);
    }
    PyErr_SetObject(type, argument);
    Py_DECREF(argument);
}

PyObject* PyErrValue::normalized() {
    if (exception_ != nullptr) return exception_;
    if (normalizing_) internal_failure("re-entrant normalisation of a Python error");
    normalizing_ = true;
    // Normalisation may run arbitrary Python code (an exception's __init__);
    // it is done with the lock released and taken again for the work itself.
    PyThreadState* saved = PyEval_SaveThread();
    PyGILState_STATE state = PyGILState_Ensure();
    try {
        restore_lazy();
    } catch (...) {
        PyGILState_Release(state);
        PyEval_RestoreThread(saved);
        normalizing_ = false;
        throw;
    }
    exception_ = PyErr_GetRaisedException();
    PyGILState_Release(state);
    PyEval_RestoreThread(saved);
    normalizing_ = false;
    if (exception_ == nullptr) {
        internal_failure("normalising a Python error produced no exception");
    }
    return exception_;
}

void PyErrValue::restore() && {
    if (exception_ != nullptr) {
        PyErr_SetRaisedException(std::exchange(exception_, nullptr));
        return;
    }
    restore_lazy();
}

}  // namespace halomag::binding
