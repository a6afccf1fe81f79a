// The bridge between the module's errors and Python exceptions.
//
// PyErrValue carries a Python exception inside the module: either lazily (a
// kind and a message, turned into an exception only when it is raised or
// examined) or normalised (an exception instance fetched from the
// interpreter).  Every entry from CPython runs through run_boundary, which
// raises the body's error, or turns an internal failure (a C++ exception, see
// lib/failure.hpp) into pyo3_runtime.PanicException.  Nothing thrown inside
// ever crosses into CPython.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "binding/messages.hpp"

namespace halomag::binding {

// Drops an owned reference: at once when this thread holds the interpreter
// lock (as recorded by the boundary), otherwise queued until the next
// boundary entry of a thread that does.
void release(PyObject* object) noexcept;

// str(object) as UTF-8, or nothing (with the Python error cleared) when
// str() or the encoding fails.
std::optional<std::string> str_utf8(PyObject* object);

class PyErrValue {
public:
    enum class Kind : unsigned char {
        TypeError,
        RuntimeError,
        SystemError,
        ImportError,
        Panic,  // pyo3_runtime.PanicException, argument tuple (message,)
    };

    static PyErrValue lazy(Kind kind, std::string message) {
        return PyErrValue(kind, std::move(message));
    }
    static PyErrValue type_error(std::string message) {
        return lazy(Kind::TypeError, std::move(message));
    }

    // Takes the pending exception after a C-API call reported failure, or the
    // SystemError "attempted to fetch exception but none was set".  A pending
    // pyo3_runtime.PanicException is not returned: it is printed and resumed
    // as an internal failure (throws halomag::InternalFailure).
    static PyErrValue fetch();

    PyErrValue(PyErrValue&& other) noexcept
        : kind_(other.kind_), message_(std::move(other.message_)),
          exception_(std::exchange(other.exception_, nullptr)) {}
    PyErrValue& operator=(PyErrValue&& other) noexcept;
    PyErrValue(const PyErrValue&) = delete;
    PyErrValue& operator=(const PyErrValue&) = delete;
    ~PyErrValue() { release(exception_); }

    // The exception instance (borrowed), built and fetched back on first request.
    PyObject* normalized();

    // Sets the error as the interpreter's pending exception.
    void restore() &&;

private:
    PyErrValue(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}
    explicit PyErrValue(PyObject* exception) : exception_(exception) {}
    void restore_lazy() const;

    Kind kind_ = Kind::SystemError;
    std::string message_;
    PyObject* exception_ = nullptr;  // owned; set once normalised
    bool normalizing_ = false;
};

template <class T>
using PyResult = std::expected<T, PyErrValue>;

// pyo3_runtime.PanicException, created on first need (borrowed reference).
PyObject* panic_exception_type();

// Records on this thread that the interpreter lock is held for the lifetime of
// the guard, and drains the queue of deferred releases.
class GilMarker {
public:
    GilMarker() noexcept;
    ~GilMarker();
    GilMarker(const GilMarker&) = delete;
    GilMarker& operator=(const GilMarker&) = delete;
};

// Writes "uncaught panic at ffi boundary" to standard error and aborts.
[[noreturn]] void abort_at_boundary() noexcept;

// A C-API object constructor returned NULL: print the pending error and fail
// internally with "Python API call failed".
[[noreturn]] void api_call_failed();

// Runs body() (returning PyResult<PyObject*>) as an entry from CPython.
template <class Body>
PyObject* run_boundary(Body&& body) noexcept {
    GilMarker marker;
    std::optional<PyResult<PyObject*>> outcome;
    std::string failure;
    try {
        outcome.emplace(body());
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = messages::GENERIC_FAILURE;
    }
    // A second failure while the first outcome is being raised cannot be
    // reported any more: the trap aborts.
    try {
        if (outcome) {
            if (*outcome) return **outcome;
            std::move(outcome->error()).restore();
        } else {
            PyErrValue::lazy(PyErrValue::Kind::Panic, std::move(failure)).restore();
        }
        return nullptr;
    } catch (...) {
        abort_at_boundary();
    }
}

}  // namespace halomag::binding
