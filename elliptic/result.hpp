// Value-or-error result shared by every function of the ellip module and by
// the magnification models built on it.
//
// An error carries exactly one fixed message text and nothing else.  The
// texts live in static storage for the life of the process, so an Error is a
// trivially copyable view that callers pass upward unchanged.
#pragma once

#include <expected>
#include <string_view>

namespace halomag {

struct Error {
    std::string_view message;
    friend constexpr bool operator==(const Error&, const Error&) = default;
};

template <class T>
using Expected = std::expected<T, Error>;

namespace ellip {

using Result = Expected<double>;

// The complete set of messages, byte for byte (UTF-8: U+2265 is "≥", U+2260 "≠").
namespace msg {
inline constexpr std::string_view ELLIPRF_DOMAIN =
    "elliprf: x, y, and z must be non-negative, and at most one can be zero.";
inline constexpr std::string_view ELLIPRF_CONVERGE = "elliprf: Fail to converge.";
inline constexpr std::string_view ELLIPRC_DOMAIN =
    "elliprc: input must satisfy: x \u2265 0, y \u2260 0.";
inline constexpr std::string_view ELLIPRC_CONVERGE = "elliprc: Fail to converge.";
inline constexpr std::string_view ELLIPRD_DOMAIN_XY =
    "elliprd: x and y must be non-negative, and at most one can be zero.";
inline constexpr std::string_view ELLIPRD_DOMAIN_Z = "elliprd: z must be positive";
inline constexpr std::string_view ELLIPRD_CONVERGE = "elliprd: Fail to converge.";
inline constexpr std::string_view ELLIPRJ_DOMAIN_XYZ =
    "elliprj: x, y, and z must be non-negative, and at most one can be zero.";
inline constexpr std::string_view ELLIPRJ_DOMAIN_P = "elliprj: p must be non-zero";
inline constexpr std::string_view ELLIPK_DOMAIN = "ellipk: m must be less than 1.";
inline constexpr std::string_view ELLIPE_DOMAIN = "ellipe: m must be less than 1.";
}  // namespace msg

// Shorthand for returning one of the fixed errors.
[[nodiscard]] inline constexpr std::unexpected<Error> fail(std::string_view message) noexcept {
    return std::unexpected<Error>(Error{message});
}

}  // namespace ellip
}  // namespace halomag
