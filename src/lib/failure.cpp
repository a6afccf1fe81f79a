#include "lib/failure.hpp"

#include <cstdio>
#include <functional>
#include <thread>

namespace halomag {

std::string failed_equality_message(std::size_t left, std::size_t right) {
    std::string text = "assertion `left ";
    text += "==";
    text += " right` failed";
    text += "\n  left: ";
    text += std::to_string(left);
    text += "\n right: ";
    text += std::to_string(right);
    return text;
}

void internal_failure(std::string message, std::source_location where) {
    const auto thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
    std::fprintf(stderr, "halomag: internal failure in thread %zx at %s:%u (%s):\n%s\n", thread,
                 where.file_name(), static_cast<unsigned>(where.line()), where.function_name(),
                 message.c_str());
    std::fflush(stderr);
    throw InternalFailure(std::move(message));
}

}  // namespace halomag
