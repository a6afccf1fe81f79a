// Mean point-lens magnification over a ring of the source star
// (Heyrovsky's building block).
//
// A ring of radius r about the stellar centre, which lies at separation l
// from the lens (both in stellar radii; u = re/rstar is the Einstein radius
// in stellar radii).  Averaging the point-lens magnification
// (x^2 + 2) / (x sqrt(x^2 + 4)), x = sqrt(l^2 + r^2 + 2 l r cos phi) / u,
// over phi gives, with g = l - r, s = l + r, q = 4u^2 + g^2,
//
//   A = (g^2 Pi(n | m) + 2 u^2 K(m)) * 4 / (s sqrt(q)) / (2 pi),
//   n = 4 l r / s^2,  m = 16 u^2 l r / (s^2 q),
//
// symmetric in l and r.  The bracket is one integral of Bulirsch's kind
// (elliptic/cel.hpp): with p = 1 - n and kc^2 = 1 - m,
//   g^2 Pi(n | m) + 2u^2 K(m) = cel(kc, p, g^2 + 2u^2, g^2 + 2u^2 p),
// since K's integrand is Pi's times (cos^2 + p sin^2).  One AGM-type
// iteration gives both terms at once, a quarter of the cost of Carlson's RF
// and RJ, and every term of the combination is positive, so nothing cancels.
//
// Near the ring through the lens (g -> 0) both m and n tend to 1, and
// forming 1 - m and 1 - n by subtraction would cancel catastrophically
// (relative error ~ eps / (g/l)^2).  Instead the complements are formed as
// scale-free products, exact to rounding for any gap:
//   1 - n = (g/s)^2,   1 - m = (1 - n) (s^2 + 4u^2) / q,
// (from s^2 q - 16 u^2 l r = g^2 (s^2 + 4u^2)).  The mean magnification
// diverges like (u/(pi l)) ln(1/|g|) as g -> 0; below |g| = eps s the gap is
// not resolvable in doubles at all, and the formula is evaluated at
// |g| = eps s: a finite value that continues the logarithmic growth (only
// g^2 enters, so the sign does not matter).  The band includes g = 0
// itself, where 1 - n would be 0 and the third-kind integral undefined.
//
// References
//   [1] D. Heyrovsky, "Computing limb-darkening coefficients from stellar
//       atmosphere models", ApJ 594 (2003) 464-475.
//   [2] R. Bulirsch, "Numerical calculation of elliptic integrals and
//       elliptic functions. III", Numer. Math. 13 (1969) 305-315.
//   [3] NIST Digital Library of Mathematical Functions, 19.2.11, 19.25.
#pragma once

#include <cmath>
#include <limits>

#include "elliptic/cel.hpp"
#include "elliptic/result.hpp"

namespace halomag::models {

// The ring magnification with the gap g = l - r supplied by the caller.  A
// quadrature rule that measures its nodes from the ring through the lens
// knows g exactly, while l - r re-formed from a node r next to l has lost
// the low bits of g; passing g keeps the logarithm ln(1/|g|) exact.
inline Expected<double> ring_magnification_gap(double l, double r, double g, double u) noexcept {
    constexpr double EPS = 2.220446049250313e-16;
    constexpr double TWO_PI = 6.283185307179586;
    const double u2 = u * u;
    const double s = l + r;
    double gs = g / s;
    if (std::fabs(g) < EPS * std::fabs(s) || g == 0.0) {
        // Unresolvable gap (this includes g = 0, and subnormal radii where
        // eps s underflows): evaluate at |g/s| = eps.
        g = EPS * std::fabs(s);
        gs = EPS;
    }
    const double g2 = g * g;
    const double q = 4.0 * u2 + g2;
    // z = 1/(s sqrt(q)) gives both the factor and kc = sqrt(1 - m)
    // = |g| sqrt(s^2 + 4u^2) z; cel's first step wants sqrt(p) = |g/s| and
    // b/sqrt(p) = |g s| + 2u^2 |g/s|, both without a root or a quotient.
    const double z = 1.0 / (s * std::sqrt(q));
    const double root = std::fabs(gs);
    const double kc = std::fabs(g) * std::sqrt(s * s + 4.0 * u2) * z;
    const double bracket = ellip::cel_rooted(kc, root, g2 + 2.0 * u2, std::fabs(g * s) + 2.0 * u2 * root);
    return bracket * (4.0 * z) / TWO_PI;
}

namespace detail {

// The bracket's integral cel(kc, p, a, b) for two rings, lane by lane as
// ring_magnification_gap forms it (in cel_rooted's variables: root = sqrt(p),
// b_root = b/sqrt(p)), and the factor 4/(s sqrt(q)) that turns it into the
// mean (times 1/(2 pi)).  Always inlined: the quad's two calls are
// independent chains of a root and two divisions, which the compiler then
// interleaves (3 % of the ring route's time, left as a call).
struct RingPairArguments {
    double kc[2], root[2], a[2], b_root[2];
    ellip::detail::Lanes factor;
};

[[gnu::always_inline]] inline RingPairArguments ring_pair_arguments(double l, const double r[2], const double g[2],
                                                                    double u) noexcept {
    using Lanes = ellip::detail::Lanes;
    constexpr double EPS = 2.220446049250313e-16;
    const double u2 = u * u;
    const Lanes s = {l + r[0], l + r[1]};
    Lanes gap = {g[0], g[1]};
    Lanes gs = gap / s;
    Lanes abs_gap, root;
    for (int i = 0; i < 2; ++i) {
        if (std::fabs(gap[i]) < EPS * std::fabs(s[i]) || gap[i] == 0.0) {
            gap[i] = EPS * std::fabs(s[i]);
            gs[i] = EPS;
        }
        abs_gap[i] = std::fabs(gap[i]);
        root[i] = std::fabs(gs[i]);
    }
    const Lanes g2 = gap * gap;
    const Lanes q = 4.0 * u2 + g2;
    const Lanes z = 1.0 / (s * ellip::detail::lane_sqrt(q));
    const Lanes kc = abs_gap * ellip::detail::lane_sqrt(s * s + 4.0 * u2) * z;
    Lanes s_abs;
    for (int i = 0; i < 2; ++i) s_abs[i] = std::fabs(gap[i] * s[i]);
    const Lanes a = g2 + 2.0 * u2, b_root = s_abs + 2.0 * u2 * root;
    return {{kc[0], kc[1]}, {root[0], root[1]}, {a[0], a[1]}, {b_root[0], b_root[1]}, 4.0 * z};
}

inline void ring_pair_value(const double bracket[2], ellip::detail::Lanes factor, double out[2]) noexcept {
    constexpr double TWO_PI = 6.283185307179586;
    const ellip::detail::Lanes value = ellip::detail::Lanes{bracket[0], bracket[1]} * factor / TWO_PI;
    out[0] = value[0];
    out[1] = value[1];
}

}  // namespace detail

// Two ring means at the radii r[0], r[1] with gaps g[0], g[1] (as
// ring_magnification_gap takes them, lengths in its ordinary ranges), both
// integrals in one ellip::cel_pair_rooted, at about the cost of one: the same
// operations lane by lane, the same values as two calls but for the few ulps
// by which a lane stepped past its convergence may move.
inline void ring_magnification_gap_pair(double l, const double r[2], const double g[2], double u,
                                        double out[2]) noexcept {
    const detail::RingPairArguments x = detail::ring_pair_arguments(l, r, g, u);
    double bracket[2];
    ellip::cel_pair_rooted(x.kc, x.root, x.a, x.b_root, bracket);
    detail::ring_pair_value(bracket, x.factor, out);
}

// Four ring means as two pairs (rings 0 and 1, rings 2 and 3), the same
// values as ring_magnification_gap_pair gives each pair, the two pairs'
// integrals in one ellip::cel_quad_rooted.
inline void ring_magnification_gap_quad(double l, const double r[4], const double g[4], double u,
                                        double out[4]) noexcept {
    const detail::RingPairArguments x = detail::ring_pair_arguments(l, r, g, u);
    const detail::RingPairArguments y = detail::ring_pair_arguments(l, r + 2, g + 2, u);
    const double kc[4] = {x.kc[0], x.kc[1], y.kc[0], y.kc[1]}, root[4] = {x.root[0], x.root[1], y.root[0], y.root[1]};
    const double a[4] = {x.a[0], x.a[1], y.a[0], y.a[1]}, b_root[4] = {x.b_root[0], x.b_root[1], y.b_root[0], y.b_root[1]};
    double bracket[4];
    ellip::cel_quad_rooted(kc, root, a, b_root, bracket);
    detail::ring_pair_value(bracket, x.factor, out);
    detail::ring_pair_value(bracket + 2, y.factor, out + 2);
}

namespace detail {

#if defined(HALOMAG_WIDE_LANES)
// ring_magnification_gap_octet with 256-bit registers throughout: the
// arguments in two groups of four lanes (their roots and divisions share
// the divider as cel's do), each lane formed by ring_pair_arguments'
// operations in its order, then ellip::detail::cel_octet_wide.
[[gnu::target("avx")]] inline void ring_octet_wide(double l, const double r[8], const double g[8], double u,
                                                  double out[8]) noexcept {
    using Wide = double __attribute__((vector_size(32)));
    constexpr double EPS = 2.220446049250313e-16;
    constexpr double TWO_PI = 6.283185307179586;
    const double u2 = u * u;
    double kc[8], root[8], a[8], b_root[8], bracket[8];
    Wide factor[2];
    for (int h = 0; h < 2; ++h) {
        const int o = 4 * h;
        const Wide s = {l + r[o], l + r[o + 1], l + r[o + 2], l + r[o + 3]};
        Wide gap = {g[o], g[o + 1], g[o + 2], g[o + 3]};
        Wide gs = gap / s;
        Wide abs_gap, rt;
        for (int i = 0; i < 4; ++i) {
            if (std::fabs(gap[i]) < EPS * std::fabs(s[i]) || gap[i] == 0.0) {
                gap[i] = EPS * std::fabs(s[i]);
                gs[i] = EPS;
            }
            abs_gap[i] = std::fabs(gap[i]);
            rt[i] = std::fabs(gs[i]);
        }
        const Wide g2 = gap * gap;
        const Wide q = 4.0 * u2 + g2;
        const Wide z = 1.0 / (s * Wide(_mm256_sqrt_pd(__m256d(q))));
        const Wide k = abs_gap * Wide(_mm256_sqrt_pd(__m256d(s * s + 4.0 * u2))) * z;
        const Wide gs_abs = Wide(_mm256_andnot_pd(__m256d(Wide{-0.0, -0.0, -0.0, -0.0}), __m256d(gap * s)));
        const Wide aw = g2 + 2.0 * u2, bw = gs_abs + 2.0 * u2 * rt;
        for (int i = 0; i < 4; ++i) {
            kc[o + i] = k[i];
            root[o + i] = rt[i];
            a[o + i] = aw[i];
            b_root[o + i] = bw[i];
        }
        factor[h] = 4.0 * z;
    }
    ellip::detail::cel_octet_wide(kc, root, a, b_root, bracket);
    for (int h = 0; h < 2; ++h) {
        const Wide value = Wide{bracket[4 * h], bracket[4 * h + 1], bracket[4 * h + 2], bracket[4 * h + 3]} * factor[h] / TWO_PI;
        for (int i = 0; i < 4; ++i) out[4 * h + i] = value[i];
    }
}
#endif

}  // namespace detail

// Eight ring means as four pairs, the same values as
// ring_magnification_gap_pair gives each pair but for the few ulps by which
// a lane may step past its convergence, the integrals in one
// ellip::cel_octet_rooted (four lanes at a time where the processor has
// them).
inline void ring_magnification_gap_octet(double l, const double r[8], const double g[8], double u,
                                         double out[8]) noexcept {
#if defined(HALOMAG_WIDE_LANES)
    if (ellip::detail::wide_lanes()) {
        detail::ring_octet_wide(l, r, g, u, out);
        return;
    }
#endif
    detail::RingPairArguments x[4];
    for (int k = 0; k < 4; ++k) x[k] = detail::ring_pair_arguments(l, r + 2 * k, g + 2 * k, u);
    double kc[8], root[8], a[8], b_root[8];
    for (int k = 0; k < 4; ++k) {
        for (int i = 0; i < 2; ++i) {
            kc[2 * k + i] = x[k].kc[i];
            root[2 * k + i] = x[k].root[i];
            a[2 * k + i] = x[k].a[i];
            b_root[2 * k + i] = x[k].b_root[i];
        }
    }
    double bracket[8];
    ellip::cel_octet_rooted(kc, root, a, b_root, bracket);
    for (int k = 0; k < 4; ++k) detail::ring_pair_value(bracket + 2 * k, x[k].factor, out + 2 * k);
}

namespace detail {

// Ranges in which ring_magnification_gap is used as it stands.  With the
// largest length top = max(l, r, u) in [2^-200, 2^200] and s >= 2^-300 u,
// no square or product in it overflows or loses precision to underflow
// (s^2, q, l r are normal doubles, and a square that underflows belongs to
// a term that is negligible next to the others).
inline constexpr double RING_FAR = 0x1p14;
inline constexpr double RING_LARGE = 0x1p200;
inline constexpr double RING_SMALL = 0x1p-200;
inline constexpr double RING_DEEP = 0x1p-300;

// Everything outside those ranges (and NaN): see ring.cpp.
Expected<double> ring_magnification_extreme(double l, double r, double g, double u) noexcept;

}  // namespace detail

// The ring magnification for any lengths, with the gap g = l - r supplied
// by the caller (as for ring_magnification_gap).  It is a function of l/u
// and r/u alone, so out-of-range lengths are rescaled by a power of two
// (exact) or handled by the limiting forms in ring.cpp; ordinary lengths go
// straight to ring_magnification_gap.
//
// Far rings: every point of the ring lies at least |g| from the lens, and
// the point-lens excess obeys A(x) - 1 = sqrt(1 + 4/(x^4 + 4x^2)) - 1
// < 2/x^4, so for |g| > 2^14 u the mean lies in [1, 1 + 2^-55): its
// correctly rounded value is 1, which is returned (the formula itself would
// give 1 give or take a few units in the last place).  This also covers an
// infinite l or r with the other finite.
inline Expected<double> ring_magnification(double l, double r, double g, double u) noexcept {
    const double au = std::fabs(u);
    if (std::fabs(g) > detail::RING_FAR * au) return 1.0;
    // The largest length, by comparisons (std::fmax is a library call); a
    // NaN anywhere fails one of the range tests below and takes the
    // extreme path, which returns NaN.
    const double lr = l > r ? l : r;
    const double top = lr > au ? lr : au;
    if (top <= detail::RING_LARGE && top >= detail::RING_SMALL &&
        l + r >= detail::RING_DEEP * au) [[likely]] {
        return ring_magnification_gap(l, r, g, u);
    }
    return detail::ring_magnification_extreme(l, r, g, u);
}

// Whether ring_magnification takes ring_magnification_gap as it stands for
// both rings (then it cannot fail).
inline bool ring_pair_ordinary(double l, const double r[2], const double g[2], double u) noexcept {
    const double au = std::fabs(u);
    bool ordinary = true;
    for (int i = 0; i < 2; ++i) {
        const double lr = l > r[i] ? l : r[i];
        const double top = lr > au ? lr : au;
        ordinary = ordinary && !(std::fabs(g[i]) > detail::RING_FAR * au) && top <= detail::RING_LARGE &&
                   top >= detail::RING_SMALL && l + r[i] >= detail::RING_DEEP * au;
    }
    return ordinary;
}

// Two ring means at once, each as ring_magnification(l, r[i], g[i], u)
// gives it (a failure as NaN): ordinary lengths by
// ring_magnification_gap_pair, anything else one by one.
inline void ring_magnification_pair(double l, const double r[2], const double g[2], double u,
                                    double out[2]) noexcept {
    if (ring_pair_ordinary(l, r, g, u)) [[likely]] {
        ring_magnification_gap_pair(l, r, g, u, out);
        return;
    }
    for (int i = 0; i < 2; ++i) {
        const Expected<double> a = ring_magnification(l, r[i], g[i], u);
        out[i] = a ? *a : std::numeric_limits<double>::quiet_NaN();
    }
}

// Four ring means at once, as ring_magnification_pair gives rings 0 and 1
// and rings 2 and 3.
inline void ring_magnification_quad(double l, const double r[4], const double g[4], double u,
                                    double out[4]) noexcept {
    if (ring_pair_ordinary(l, r, g, u) && ring_pair_ordinary(l, r + 2, g + 2, u)) [[likely]] {
        ring_magnification_gap_quad(l, r, g, u, out);
        return;
    }
    ring_magnification_pair(l, r, g, u, out);
    ring_magnification_pair(l, r + 2, g + 2, u, out + 2);
}

// Whether all eight rings are ordinary (ring_pair_ordinary, pair by pair).
inline bool ring_octet_ordinary(double l, const double r[8], const double g[8], double u) noexcept {
    bool ordinary = true;
    for (int k = 0; k < 8; k += 2) ordinary = ordinary && ring_pair_ordinary(l, r + k, g + k, u);
    return ordinary;
}

// Eight ring means at once, as ring_magnification_quad gives rings 0 to 3
// and rings 4 to 7 (but for the few ulps of ring_magnification_gap_octet).
inline void ring_magnification_octet(double l, const double r[8], const double g[8], double u,
                                     double out[8]) noexcept {
    if (ring_octet_ordinary(l, r, g, u)) [[likely]] {
        ring_magnification_gap_octet(l, r, g, u, out);
        return;
    }
    ring_magnification_quad(l, r, g, u, out);
    ring_magnification_quad(l, r + 4, g + 4, u, out + 4);
}

inline Expected<double> ring_magnification(double l, double r, double u) noexcept {
    return ring_magnification(l, r, l - r, u);
}

}  // namespace halomag::models
