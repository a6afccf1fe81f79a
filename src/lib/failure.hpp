// Internal failures of the numeric core.
//
// Errors that the mathematics can produce (an elliptic argument out of range)
// are values (halomag::Error).  An internal failure is different: a broken
// invariant such as two tables that must have the same length.  It is thrown
// as an InternalFailure, reported on standard error at the point where it
// happens, and caught at the Python boundary, which turns it into
// pyo3_runtime.PanicException.  It never crosses into CPython.
#pragma once

#include <cstddef>
#include <source_location>
#include <stdexcept>
#include <string>

namespace halomag {

class InternalFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes the report (thread, source location, message) to standard error and
// throws InternalFailure carrying `message`.
[[noreturn]] void internal_failure(std::string message,
                                   std::source_location where = std::source_location::current());

// The three-line message of a failed equality assertion:
//   assertion `left == right` failed
//     left: <left>
//    right: <right>
std::string failed_equality_message(std::size_t left, std::size_t right);

// Fails with the message above unless left == right.
inline void assert_equal(std::size_t left, std::size_t right,
                         std::source_location where = std::source_location::current()) {
    if (left != right) [[unlikely]] {
        internal_failure(failed_equality_message(left, right), where);
    }
}

}  // namespace halomag
