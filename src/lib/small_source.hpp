// The small-source series of the built-in linear limb darkening.
//
// The built-in profile 0.4 + 0.6 mu, mu = sqrt(1 - r^2), has flux 0.4 pi +
// 0.6 (2 pi/3) = 0.8 pi, so its magnification is the mean of two:
//
//   M = (A_U + A_mu) / 2,
//
// A_U the uniform disk (lib/uniform_disk.hpp, closed form) and A_mu the
// magnification of the profile mu.  A_mu needs no quadrature where the star
// is at most about 2.24/(1 + l) times the Einstein radius u (stellar
// radii), l the lens's separation.  The point-lens
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
// the terms alternate and shrink by at least q = ((1 + l)/(2u))^2 per step.
// More than that: they are the moments of a positive measure on [0, q].
// A(t) = 1/t + t H(t^2) with H(z) = (G(z) - 1)/z, G(z) = (z + 2)/sqrt(z + 4),
// analytic off the cut z <= -4, decaying like z^(-1/2), and with
// Im H(-w + i0) = -(w - 2)/(w sqrt(w - 4)) < 0 on the cut: a Stieltjes
// function, H(z) = int_0^(1/4) dlambda(tau)/(1 + tau z), lambda >= 0 [3].
// So alpha_(j+1) = (-1)^j int tau^j dlambda, and term k = j + 1 of the sum is
// (-1)^j times the moment m_j = int xi^j dsigma(xi) of the positive measure
// sigma, the image of dlambda(tau) mu(y) |x - y| d^2y under xi = tau |x -
// y|^2/u^2, which lies in [0, q] (tau <= 1/4, |x - y| <= 1 + l).  The tail is
// then sum_j (-1)^j m_j = int dsigma/(1 + xi); for q >= 1 the series
// diverges, but the integral is still the tail's value (A(t) = 1/t +
// t H(t^2) holds for every t), and what follows needs only its moments.
// For any polynomial P_n with P_n(-1) = d != 0,
//
//   d int dsigma/(1 + xi) = sum_(j<n) c_j (-1)^j m_j + int P_n dsigma/(1 + xi),
//
// c_j the coefficients of (d - P_n(xi))/(1 + xi) in (-xi)^j.  With P_n(xi) =
// T_n(1 - 2 xi/q), the Chebyshev polynomial on [0, q] (|P_n| <= 1 there),
// d = T_n(1 + 2/q) and the error is at most the tail over d: the
// acceleration of alternating series of Cohen, Rodriguez Villegas and
// Zagier [4], there for q = 1.  P_n(xi) = sum_i p_i (-xi)^i with p_0 = 1,
// p_(i+1) = p_i (n^2 - i^2)/((i + 1/2)(i + 1) q), all positive, so d is
// their sum and c_j = p_(j+1) + ... + p_n lies in (0, d): the weights c_j/d
// are below 1 and, for q <= 1, the moments are too, so the rounding stays
// that of the terms.  For q > 1 the moments may grow like q^j, faster than
// the weights fall, and the sum of |weight x term| outgrows the result: over
// l in [0, 3) (3000 points per q) it was at most 1.38 times the result at
// q = 1, 1.82 at 1.2, 2.45 at 1.3, 8.9 at 1.5 and 1e4 at 2.25, the worst
// always at l -> 3; up to q = 1.25 the rounding therefore stays within about
// twice that of the terms.  The sum takes n terms with T_n(1 + 2/q) >= 2^58,
// e.g. 26 at q = 1.25, 24 at 1, 16 at 0.36, 11 at 0.1; where q <= 1/64 (u at
// least 4 (1 + l)) the plain sum is as short and stops once q |term| is
// below 2^-56 of the sum (three terms at u = 1000).  The series is used for
// l < 3 (the mean-value series takes over there) and q <= 1.25, where the
// ring rules cost 10 to 80 ring means and the series at most 26 terms.
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
//   [3] P. Henrici, Applied and Computational Complex Analysis, vol. 2
//       (1977), section 12.10 (Stieltjes transforms and their moments).
//   [4] H. Cohen, F. Rodriguez Villegas, D. Zagier, "Convergence
//       acceleration of alternating series", Experimental Math. 9 (2000)
//       3-12.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

#include "lib/small_source_table.hpp"
#include "lib/uniform_disk.hpp"

namespace halomag::models {

// The largest q = ((1 + l)/(2u))^2 for which the series is used: beyond
// it the accelerated sum's weights no longer keep the rounding of its
// terms (see the head of this file).
inline constexpr double SMALL_SOURCE_RATIO = 1.25;
// Up to this q the terms fall fast enough to be summed as they are.
inline constexpr double SMALL_SOURCE_PLAIN = 1.0 / 64.0;
// The accelerated sum stops where T_n(1 + 2/q) >= 2^58.
inline constexpr double SMALL_SOURCE_TARGET_LOG = 58.0 * 0.6931471805599453;

// Below this separation (stellar radii) the series applies; from it on the
// mean-value series does.
inline constexpr double SMALL_SOURCE_BELOW = DISK_SERIES_FROM;

// Whether the series serves separation l >= 0 at Einstein radius u (stellar
// radii): false for NaN or infinite arguments.
inline bool small_source_applies(double l, double u) noexcept {
    if (!(l < SMALL_SOURCE_BELOW) || !(u < std::numeric_limits<double>::infinity())) return false;
    const double half = 0.5 * (1.0 + l) / u;
    return half * half <= SMALL_SOURCE_RATIO;
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

// Term k >= 1 without its power of x: Theta alpha_k P_k(w) + s alpha_k Q_k(w).
inline double small_source_term(int k, double w, double theta, double s) noexcept {
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
    return term;
}

// The number of terms n of the accelerated sum at q: the least with
// T_n(1 + 2/q) = cosh(n acosh(1 + 2/q)) >= 2^58 (cosh y >= e^y/2).
inline int accelerated_terms(double q) noexcept {
    const double a = 1.0 + 2.0 / q;
    const double n = std::ceil((SMALL_SOURCE_TARGET_LOG + 0.6931471805599453) / std::log(a + std::sqrt((a - 1.0) * (a + 1.0))));
    return n < 1.0 ? 1 : static_cast<int>(n);
}

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
    if (q > SMALL_SOURCE_PLAIN) {
        // The tail sum_(j<n) (c_j/d) (term j + 1), c_j = p_(j+1) + ... + p_n
        // (see the head of this file): the p_i first, then their sums from
        // the top, so that each c_j is summed from its smallest parts.
        const int n = std::min(accelerated_terms(q), SMALL_SOURCE_TERMS - 1);
        double c[SMALL_SOURCE_TERMS];
        double p = 1.0;
        for (int i = 0; i < n; ++i) {
            const double di = static_cast<double>(i);
            p *= (static_cast<double>(n) - di) * (static_cast<double>(n) + di) / ((di + 0.5) * (di + 1.0) * q);
            c[i] = p;  // p_(i+1) for now
        }
        for (int j = n - 2; j >= 0; --j) c[j] += c[j + 1];
        const double d = 1.0 + c[0];
        double tail = 0.0, xk = 1.0;
        for (int k = 1; k <= n; ++k) {
            xk *= x;
            tail += (c[k - 1] / d) * (xk * small_source_term(k, w, theta, s));
        }
        if (terms != nullptr) *terms = n + 1;
        return total + tail;
    }
    double xk = 1.0;
    int k = 1;
    for (; k < SMALL_SOURCE_TERMS; ++k) {
        xk *= x;
        const double term = xk * small_source_term(k, w, theta, s);
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
