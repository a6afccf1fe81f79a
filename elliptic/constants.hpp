// Constants and helpers shared by the Carlson integrals.
//
// The range limits keep the duplication steps of RC away from overflow and
// underflow: with s = |y| + x inside [lo, hi] every intermediate of the
// iteration stays a normal double.
#pragma once

#include <cmath>

namespace halomag::ellip::detail {

inline constexpr double EPSILON = 2.220446049250313e-16;        // 2^-52
inline constexpr double PI = 3.141592653589793;
inline constexpr double LO = 1.1125369292536007e-307;           // 5 * smallest normal
inline constexpr double HI = 3.5953862697246315e+307;           // 0.2 * largest finite
inline constexpr double K1 = 6.7037001631929295e+153;           // 2.236 / sqrt(lo)
inline constexpr double K2 = 0.6399999999999999;                // (lo*hi)^2 / 25 in doubles
inline constexpr double AGM_TOLERANCE = 5.995204332975846e-16;  // 2.7 * eps

// Minimum and maximum that ignore a NaN operand (C99 fmin/fmax semantics):
// the result is NaN only when every operand is.
inline double min_ignoring_nan(double a, double b) noexcept { return std::fmin(a, b); }
inline double min_ignoring_nan(double a, double b, double c) noexcept {
    return std::fmin(std::fmin(a, b), c);
}
inline double max_ignoring_nan(double a, double b) noexcept { return std::fmax(a, b); }

// The series polynomial of the fifth-order RD/RJ expansion in the elementary
// symmetric functions E2..E5 of the normalised deviations
// (Carlson 1995, eq. 2.7 for RJ; the RD case is its specialisation, eq. 2.29).
inline double rd_rj_series(double E2, double E3, double E4, double E5) noexcept {
    return 1.0 - 3.0 * E2 / 14.0 + E3 / 6.0 + 9.0 * E2 * E2 / 88.0 - 3.0 * E4 / 22.0 -
           9.0 * E2 * E3 / 52.0 + 3.0 * E5 / 26.0 - E2 * E2 * E2 / 16.0 + 3.0 * E3 * E3 / 40.0 +
           3.0 * E2 * E4 / 20.0 + 45.0 * E2 * E2 * E3 / 272.0 - 9.0 * (E3 * E4 + E2 * E5) / 68.0;
}

}  // namespace halomag::ellip::detail
