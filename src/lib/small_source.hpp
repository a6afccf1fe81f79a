// The small-source series of the built-in linear limb darkening.
//
// The built-in profile 0.4 + 0.6 mu, mu = sqrt(1 - r^2), has flux 0.4 pi +
// 0.6 (2 pi/3) = 0.8 pi, so its magnification is the mean of two:
//
//   M = (A_U + A_mu) / 2,
//
// A_U the uniform disk (lib/uniform_disk.hpp, closed form) and A_mu the
// magnification of the profile mu.  A_mu needs no quadrature where the star
// is small against the Einstein radius u (stellar radii).  The point-lens
// magnification is, for t < 2 (binomial series of (1 + t^2/4)^(-1/2)),
//
//   A(t) = (t^2 + 2) / (t sqrt(t^2 + 4)) = sum_k alpha_k t^(2k-1),
//   alpha_k = (b_k + 2 b_(k-1)) / 4^k,   b_n = binom(-1/2, n),
//
// and term by term over the star (t = |x - y|/u, |x| = l the lens)
//
//   (2 pi/3) A_mu = sum_k alpha_k u^(1-2k) V_k(l),
//   V_k(l) = int_{|y|<1} mu(y) |x - y|^(2k-1) d^2y,
//
// Riesz potentials of mu, convergent while 1 + l < 2u.  With w = l^2 they
// are closed forms [1, 2]:
//
//   l <= 1:  V_k = pi P_k(w) pi/2,
//   l >= 1:  V_k = pi (P_k(w) theta + Q_k(w) s),   theta = asin(1/l), s = sqrt(l^2 - 1),
//
// P_k(w) = (2k)!/(4^k k! (k+1)!) 2F1(1/2 - k, -1 - k; 1; w), a polynomial of
// degree k + 1, and Q_k of degree k from the Laplacian's recurrence
// 4 d/dw (w dV_k/dw) = (2k - 1)^2 V_(k-1) (scripts/gen_small_source_table.py
// derives them in exact rationals and checks them against mpmath's
// hypergeometric functions and against quadrature).  So, with x = 1/u^2,
//
//   A_mu = (3/2) u sum_k x^k (Theta alpha_k P_k(w) + s alpha_k Q_k(w)),
//
// Theta = pi/2 and s = 0 inside, one formula on both sides of the limb: at
// l = 1 the outside form meets the inside one (theta = pi/2, s = 0) with its
// slope: theta = pi/2 - s + O(s^3) and Q_k(1) = P_k(1), so the terms linear
// in s cancel.
//
// Rounding.  P_k has positive coefficients but for the last, and P_k(w) at
// w <= 1 loses at most a factor 3 (k = 0: 1 - w/2); outside, P_k theta and
// Q_k s cancel by less than 2 for k >= 1 (measured for w <= 9), but the
// k = 0 term (2 - w) theta + s by up to 15 at l = 3.  With phi = 2 theta it
// is w f(phi)/2, f(phi) = sin phi - phi cos phi, which for phi < 1.5
// (l > 1.47) is summed from its alternating Taylor series phi^3 (1/3 -
// phi^2/30 + ...) without cancellation; for larger phi the direct form
// cancels by less than 1.3.  theta is atan2(1, s), s from (l - 1)(l + 1):
// asin(1/l) would magnify the rounding of 1/l by 1/sqrt(l^2 - 1) next to the
// limb.
//
// Truncation.  From k = 1 on alpha_k alternates in sign and shrinks at least
// fourfold (checked by the generator), and 0 < V_(k+1) <= (1 + l)^2 V_k, so
// the terms alternate and shrink by at least q = ((1 + l)/(2u))^2 per step:
// the sum stops once q |term| is below 2^-56 of the sum.  At u = 10 that is 6
// to 11 terms for l < 3, at u = 1000 three, at u = 1e4 two or three.  The series is used for
// l < 3 (the mean-value series takes over there) and q <= small_source_ratio(l),
// where at most 45 terms are summed and the series costs less than the ring
// rules.
//
// No term overflows: u enters as x = 1/u^2 (0 for a huge u, when only the
// first term is left) and as the final factor u, which overflows only when
// the magnification itself does.
//
// References
//   [1] M. Riesz, "L'integrale de Riemann-Liouville et le probleme de
//       Cauchy", Acta Math. 81 (1949) 1-223 (potentials of (1 - |y|^2)^a on
//       the ball, the terminating hypergeometric form inside).
//   [2] NIST Digital Library of Mathematical Functions, 15.4.16 and 15.5.E
//       (elementary cases of 2F1 reached by contiguous relations).
#pragma once

#include <cmath>
#include <limits>

#include "lib/small_source_table.hpp"
#include "lib/uniform_disk.hpp"

namespace halomag::models {

// The largest q = ((1 + l)/(2u))^2 for which the series is used: up to 45
// terms at 0.5, 31 at 0.36.  Inside the star and just outside it the ring
// rules cost 1 to 6.5 us per separation at these u (0.7 to 2 Einstein
// radii) and the series 0.6 to 1.2 us at q = 0.5; from l = 1.5 on the rules
// drop to 0.8 us, and the series, which evaluates the outside polynomials
// Q_k as well, costs 1.2 us at q = 0.5 but 0.6 us at 0.36 (measured
// from Python, one list call).
inline constexpr double SMALL_SOURCE_RATIO_NEAR = 0.5;
inline constexpr double SMALL_SOURCE_RATIO = 0.36;
inline constexpr double SMALL_SOURCE_NEAR = 1.5;  // l up to which the first ratio holds

// Below this separation (stellar radii) the series applies; from it on the
// mean-value series does.
inline constexpr double SMALL_SOURCE_BELOW = DISK_SERIES_FROM;

inline constexpr double small_source_ratio(double l) noexcept {
    return l <= SMALL_SOURCE_NEAR ? SMALL_SOURCE_RATIO_NEAR : SMALL_SOURCE_RATIO;
}

// Whether the series serves separation l >= 0 at Einstein radius u (stellar
// radii): false for NaN or infinite arguments.
inline bool small_source_applies(double l, double u) noexcept {
    if (!(l < SMALL_SOURCE_BELOW) || !(u < std::numeric_limits<double>::infinity())) return false;
    const double half = 0.5 * (1.0 + l) / u;
    return half * half <= small_source_ratio(l);
}

namespace detail {

// The first term outside the disk, ((2 - w) theta + s)/2, for l > 1:
// directly where theta >= 0.75 (both parts positive, or cancelling by less
// than 1.3) and as w f(2 theta)/4 from the Taylor series of f(phi) = sin phi
// - phi cos phi below.
inline double first_term_direct(double w, double theta, double s) noexcept {
    return 0.5 * (theta * (2.0 - w) + s);
}

inline double first_term_series(double w, double theta) noexcept {
    const double phi = theta + theta;
    const double phi2 = phi * phi;
    int m = SMALL_SOURCE_SINE_TERMS - 1;
    double f = SMALL_SOURCE_SINE[m];
    while (m > 0) f = f * phi2 + SMALL_SOURCE_SINE[--m];
    return 0.25 * w * (f * (phi2 * phi));
}

inline constexpr double FIRST_TERM_SERIES_BELOW = 0.75;  // theta, i.e. l > 1.4673

// sum_k x^k (Theta alpha_k P_k(w) + s alpha_k Q_k(w)) for 0 <= l < 3,
// small_source_applies(l, u); `terms` (if given) receives the number of
// terms summed.
inline double small_source_sum(double l, double u, int* terms = nullptr) noexcept {
    constexpr double HALF_PI = 1.5707963267948966;
    const double w = l * l;
    const double x = 1.0 / u / u;
    const double half = 0.5 * (1.0 + l) / u;
    const double q = half * half;
    double theta = HALF_PI, s = 0.0, total = 0.0;
    if (l <= 1.0) {
        total = HALF_PI * (1.0 - 0.5 * w);
    } else {
        s = std::sqrt((l - 1.0) * (l + 1.0));
        theta = std::atan2(1.0, s);
        total = theta < FIRST_TERM_SERIES_BELOW ? first_term_series(w, theta)
                                                : first_term_direct(w, theta, s);
    }
    double xk = 1.0;
    int k = 1;
    for (; k < SMALL_SOURCE_TERMS; ++k) {
        xk *= x;
        int i = SMALL_SOURCE_P_OFFSET[k + 1] - 1;
        double p = SMALL_SOURCE_P[i];
        while (i > SMALL_SOURCE_P_OFFSET[k]) p = p * w + SMALL_SOURCE_P[--i];
        double term = theta * p;
        if (s != 0.0) {
            int j = SMALL_SOURCE_Q_OFFSET[k + 1] - 1;
            double h = SMALL_SOURCE_Q[j];
            while (j > SMALL_SOURCE_Q_OFFSET[k]) h = h * w + SMALL_SOURCE_Q[--j];
            term += s * h;
        }
        term *= xk;
        total += term;
        if (q * std::fabs(term) <= 0x1p-56 * total) break;
    }
    if (terms != nullptr) *terms = k < SMALL_SOURCE_TERMS ? k + 1 : k;
    return total;
}

}  // namespace detail

// A_mu, the magnification of the profile sqrt(1 - r^2) (see the head of
// this file), for small_source_applies(l, u).
inline double limb_profile_small_source(double l, double u) noexcept {
    return 1.5 * u * detail::small_source_sum(l, u);
}

// The built-in linear limb darkening, (A_U + A_mu)/2, for
// small_source_applies(l, u), given the uniform disk's A_U.
inline double limb_darkened_small_source(double l, double u, double uniform) noexcept {
    return 0.5 * (uniform + limb_profile_small_source(l, u));
}

// The same with A_U computed here; rho is the stellar radius in Einstein
// radii as the caller has it (rstar/re, one rounding, as the uniform disk
// itself takes it).  An elliptic error, which no finite l and rho reach,
// gives NaN.
inline double limb_darkened_small_source_disk(double l, double u, double rho) noexcept {
    const Expected<double> uniform = uniform_disk_magnification(l * rho, rho);
    return uniform ? limb_darkened_small_source(l, u, *uniform)
                   : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace halomag::models
