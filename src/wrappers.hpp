// The seven Python-visible functions: their records for registration.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <span>

namespace halomag {

struct FunctionRecord {
    const char* name;
    PyCFunction entry;  // fast call with keywords, cast for the method table
    const char* doc;    // text signature only
};

// In registration order.
std::span<const FunctionRecord> function_records() noexcept;

}  // namespace halomag
