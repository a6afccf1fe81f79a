// Texts of the binding errors, built without the Python C API so that the
// wording can be unit-tested on its own.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace halomag::binding::messages {

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'": every name quoted, a comma after
// each name but the last when there are more than two, " and " before the last.
inline std::string quoted_list(std::span<const std::string_view> names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            if (names.size() > 2) out += ',';
            out += (i + 1 == names.size()) ? " and " : " ";
        }
        out += '\'';
        out += names[i];
        out += '\'';
    }
    return out;
}

inline std::string callable(std::string_view function) {
    std::string out(function);
    out += "()";
    return out;
}

inline std::string too_many_positional(std::string_view function, std::size_t required,
                                       std::size_t total, std::size_t given) {
    std::string out = callable(function) + " takes ";
    if (required == total) {
        out += std::to_string(total);
    } else {
        out += "from " + std::to_string(required) + " to " + std::to_string(total);
    }
    out += " positional arguments but " + std::to_string(given);
    out += given == 1 ? " was given" : " were given";
    return out;
}

inline std::string multiple_values(std::string_view function, std::string_view parameter) {
    return callable(function) + " got multiple values for argument '" + std::string(parameter) +
           "'";
}

inline std::string unexpected_keyword(std::string_view function, std::string_view keyword) {
    return callable(function) + " got an unexpected keyword argument '" + std::string(keyword) +
           "'";
}

inline std::string positional_only_as_keyword(std::string_view function,
                                              std::span<const std::string_view> names) {
    return callable(function) +
           " got some positional-only arguments passed as keyword arguments: " +
           quoted_list(names);
}

// kind is "positional" or "keyword".
inline std::string missing_required(std::string_view function, std::string_view kind,
                                    std::span<const std::string_view> names) {
    std::string out = callable(function) + " missing " + std::to_string(names.size()) +
                      " required " + std::string(kind) + " argument";
    if (names.size() != 1) out += 's';
    out += ": " + quoted_list(names);
    return out;
}

inline std::string cannot_convert(std::string_view type_name, std::string_view target) {
    return "'" + std::string(type_name) + "' object cannot be converted to '" +
           std::string(target) + "'";
}

inline std::string argument_error(std::string_view parameter, std::string_view text) {
    return "argument '" + std::string(parameter) + "': " + std::string(text);
}

inline constexpr std::string_view STR_TO_VECTOR = "a str cannot be extracted into a vector of floats";
inline constexpr std::string_view NO_EXCEPTION_SET = "attempted to fetch exception but none was set";
inline constexpr std::string_view FFI_BOUNDARY_ABORT = "uncaught panic at ffi boundary";
inline constexpr std::string_view API_CALL_FAILED = "Python API call failed";
inline constexpr std::string_view GENERIC_FAILURE = "halomag's native code failed internally";
inline constexpr std::string_view UNWRAPPED_PANIC = "Unwrapped panic from Python code";
inline constexpr std::string_view TYPE_NAME_FAILED = "<failed to extract type name>";

}  // namespace halomag::binding::messages
