// Bulirsch's general complete elliptic integral
//
//   cel(kc, p, a, b) = int_0^{pi/2} (a cos^2 t + b sin^2 t)
//                      / ((cos^2 t + p sin^2 t) sqrt(cos^2 t + kc^2 sin^2 t)) dt
//                                                                  (DLMF 19.2.11)
//
// for kc != 0 and p > 0.  With m = 1 - kc^2 it holds every complete integral
// of the first three kinds as one combination:
//   K(m) = cel(kc, 1, 1, 1),  E(m) = cel(kc, 1, 1, kc^2),
//   Pi(n | m) = cel(kc, 1 - n, 1, 1),
// and, since its numerator is linear in (a, b), any a' K + b' Pi as a single
// integral: a' K(m) + b' Pi(n | m) = cel(kc, p, a' + b', a' p + b') with
// p = 1 - n.  A sum of such terms is then neither formed from separately
// rounded, possibly large and cancelling parts, nor paid for with one
// integral per term.
//
// Algorithm (Bulirsch 1969 [1], in the form of [2]): Gauss's transformation
// of the integrand, which halves the interval's "distance" from the
// singularities at every step, carried as an arithmetic-geometric mean of
// 1 and |kc|; each step maps (p, a, b) to new values of the same integral,
// and the iteration converges quadratically.  When the AGM's two members
// agree to CA relative, the remaining error is O(CA^2), below rounding;
// then
//   cel = (pi/2) (b + a em) / (em (em + p)).
// Both the first-kind singularity at kc -> 0 (K ~ ln(4/kc)) and the
// third-kind pole at p -> 0 come out of the iteration without cancellation:
// the number of steps grows only like log log(1/kc).
//
// p <= 0 (a principal value) is transformed to p > 0 first ([1], eq. 1.2.2):
// a value the magnification models never need, kept for completeness.
//
// References
//   [1] R. Bulirsch, "Numerical calculation of elliptic integrals and
//       elliptic functions. III", Numer. Math. 13 (1969) 305-315.
//   [2] W. H. Press, S. A. Teukolsky, W. T. Vetterling, B. P. Flannery,
//       Numerical Recipes, 2nd ed. (1992), section 6.11.
//   [3] NIST Digital Library of Mathematical Functions, 19.2.11.
#pragma once

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#define HALOMAG_WIDE_LANES 1
#endif

namespace halomag::ellip {

namespace detail {

// cel's iteration from (p, a, b) after the first substitution p -> sqrt(p),
// b -> b / sqrt(p), for p > 0 and qc = |kc| > 0.
inline double cel_steps(double qc, double p, double a, double b) noexcept {
    constexpr double HALF_PI = 1.5707963267948966;
    // Agreement of the AGM's members at which to stop: the next step would
    // change the result by O(CA^2) relative, below rounding.
    constexpr double CA = 1.4901161193847656e-08;  // 2^-26 = sqrt(eps / 4)
    double e = qc;
    double em = 1.0;
    // At most about 6 steps for kc down to 1e-300; the bound guards NaN.
    for (int step = 0; step < 64; ++step) {
        const double f = a;
        const double inverse = 1.0 / p;  // one division for the two quotients
        a += b * inverse;
        double g = e * inverse;
        b += f * g;
        b += b;
        p += g;
        g = em;
        em += qc;
        if (!(std::fabs(g - qc) > g * CA)) break;
        qc = std::sqrt(e);
        qc += qc;
        e = qc * em;
    }
    return HALF_PI * (b + a * em) / (em * (em + p));
}

}  // namespace detail

// kc = 0 diverges: the result is then +inf (or NaN for a = 0 and b = 0);
// NaN arguments give NaN.
inline double cel(double kc, double p, double a, double b) noexcept {
    const double qc = std::fabs(kc);
    if (qc == 0.0) return (a == 0.0 && b == 0.0) ? std::nan("") : HUGE_VAL;
    if (p > 0.0) {
        p = std::sqrt(p);
        b /= p;
    } else {
        double f = kc * kc;
        double q = 1.0 - f;
        const double g = 1.0 - p;
        f -= p;
        q *= b - a * p;
        p = std::sqrt(f / g);
        a = (a - b) / g;
        b = -q / (g * g * p) + a * p;
    }
    return detail::cel_steps(qc, p, a, b);
}

// cel(kc, root^2, a, b_root * root) for root > 0 and kc != 0: the integral
// in the variables of its first step, for a caller that has sqrt(p) and
// b / sqrt(p) in closed form (a square root and a division fewer, and p's
// root not rounded twice).
inline double cel_rooted(double kc, double root, double a, double b_root) noexcept {
    return detail::cel_steps(std::fabs(kc), root, a, b_root);
}

// Two integrals at once.  cel's iteration is a chain of dependent divisions
// and square roots, so one integral at a time leaves the floating-point
// units idle for most of each step's latency; two independent integrals in
// the two lanes of a vector register cost little more than one.  Both lanes
// step until both have converged: once a lane's AGM has converged its
// integral has kc = 1 and further Gauss transformations leave it unchanged
// but for rounding (on 2^16 random arguments the pair was within 6.7e-16 of
// two calls of cel; freezing the finished lane instead, for identical
// results, put three more operations on the loop's critical path and took
// back most of the gain).  Both lanes need kc != 0 and p > 0 (the callers
// check; cel handles the rest).
namespace detail {

using Lanes = double __attribute__((vector_size(16)));
using LaneMask = long long __attribute__((vector_size(16)));

inline Lanes lane_sqrt(Lanes x) noexcept {
#if defined(__SSE2__)
    return Lanes(_mm_sqrt_pd(__m128d(x)));
#else
    return Lanes{std::sqrt(x[0]), std::sqrt(x[1])};
#endif
}

// The integral's part of one step of cel's iteration: (p, a, b) for the
// AGM's e, in the operations and order cel uses.
inline void transform(Lanes& p, Lanes& a, Lanes& b, Lanes e) noexcept {
    const Lanes f = a;
    const Lanes inverse = 1.0 / p;
    a += b * inverse;
    const Lanes g = e * inverse;
    b += f * g;
    b += b;
    p += g;
}

// The AGM's part of one step, lanes of 1 and |kc|: em advances; false once
// every lane has converged (|g - qc| <= g CA with g the old em; NaN counts
// as converged, as in cel), else qc and e advance too.
inline bool agm_step(Lanes& qc, Lanes& e, Lanes& em) noexcept {
    constexpr double CA = 1.4901161193847656e-08;  // as in cel
    const Lanes g = em;
    em += qc;
    const Lanes gap = g - qc, bound = g * CA;
    const LaneMask going = (gap > bound) | (-gap > bound);
    if ((going[0] | going[1]) == 0) return false;
    qc = lane_sqrt(e);
    qc += qc;
    e = qc * em;
    return true;
}

inline Lanes cel_end(Lanes a, Lanes b, Lanes p, Lanes em) noexcept {
    constexpr double HALF_PI = 1.5707963267948966;
    return HALF_PI * (b + a * em) / (em * (em + p));
}

}  // namespace detail

// cel_rooted for two integrals, lane by lane.
inline void cel_pair_rooted(const double kc[2], const double root[2], const double a[2], const double b_root[2],
                            double out[2]) noexcept {
    using detail::Lanes;
    Lanes qc = {std::fabs(kc[0]), std::fabs(kc[1])};
    Lanes e = qc;
    Lanes em = {1.0, 1.0};
    Lanes pp = {root[0], root[1]};
    Lanes bb = {b_root[0], b_root[1]};
    Lanes aa = {a[0], a[1]};
    for (int step = 0; step < 64; ++step) {
        detail::transform(pp, aa, bb, e);
        if (!detail::agm_step(qc, e, em)) break;
    }
    const Lanes result = detail::cel_end(aa, bb, pp, em);
    out[0] = result[0];
    out[1] = result[1];
}

inline void cel_pair(const double kc[2], const double p[2], const double a[2], const double b[2],
                     double out[2]) noexcept {
    using detail::Lanes;
    const Lanes pp = detail::lane_sqrt(Lanes{p[0], p[1]});
    const Lanes bb = Lanes{b[0], b[1]} / pp;
    const double root[2] = {pp[0], pp[1]}, b_root[2] = {bb[0], bb[1]};
    cel_pair_rooted(kc, root, a, b_root, out);
}

// Four integrals as two pairs, lanes 0 and 1 and lanes 2 and 3, each pair
// stepping exactly as cel_pair steps it (the same values, bit for bit): the
// two iterations are independent, and interleaved they overlap their
// latencies (the divisions and square roots of each step wait on the step
// before; 10 to 15 % less time per integral than one pair after another).
// cel_quad_rooted takes them in cel_rooted's variables, cel_quad in cel's.
inline void cel_quad_rooted(const double kc[4], const double root[4], const double a[4], const double b_root[4],
                            double out[4]) noexcept {
    using detail::Lanes;
    Lanes qc[2], e[2], em[2], pp[2], aa[2], bb[2];
    bool going[2] = {true, true};
    for (int h = 0; h < 2; ++h) {
        const int i = 2 * h;
        qc[h] = Lanes{std::fabs(kc[i]), std::fabs(kc[i + 1])};
        e[h] = qc[h];
        em[h] = Lanes{1.0, 1.0};
        pp[h] = Lanes{root[i], root[i + 1]};
        bb[h] = Lanes{b_root[i], b_root[i + 1]};
        aa[h] = Lanes{a[i], a[i + 1]};
    }
    for (int step = 0; step < 64 && (going[0] || going[1]); ++step) {
        for (int h = 0; h < 2; ++h) {
            if (!going[h]) continue;
            detail::transform(pp[h], aa[h], bb[h], e[h]);
            going[h] = detail::agm_step(qc[h], e[h], em[h]);
        }
    }
    for (int h = 0; h < 2; ++h) {
        const Lanes result = detail::cel_end(aa[h], bb[h], pp[h], em[h]);
        out[2 * h] = result[0];
        out[2 * h + 1] = result[1];
    }
}

inline void cel_quad(const double kc[4], const double p[4], const double a[4], const double b[4],
                     double out[4]) noexcept {
    using detail::Lanes;
    double root[4], b_root[4];
    for (int i = 0; i < 4; i += 2) {
        const Lanes pp = detail::lane_sqrt(Lanes{p[i], p[i + 1]});
        const Lanes bb = Lanes{b[i], b[i + 1]} / pp;
        root[i] = pp[0];
        root[i + 1] = pp[1];
        b_root[i] = bb[0];
        b_root[i + 1] = bb[1];
    }
    cel_quad_rooted(kc, root, a, b_root, out);
}

// Eight integrals, where the processor has 256-bit registers (AVX): two
// groups of four, lanes 0 to 3 and 4 to 7, each group in the four lanes of
// one register and the two groups interleaved, as cel_quad_rooted
// interleaves its pairs.  The divider takes a 256-bit division or square
// root in about the latency of a 128-bit one, so a ring route that hands
// over eight nodes at a time pays a quarter less per integral (9.5 ns
// against 13.6 for cel_quad_rooted on this project's benchmark machine).
// The operations are cel_pair's, lane by lane, without fused multiply-adds
// (the target is AVX alone), so a lane differs from cel_pair's only by the
// steps it takes past its own convergence while the others of its group
// finish (see cel_pair_rooted).  Elsewhere, two cel_quad_rooted calls.
// Every lane needs kc != 0 and p > 0.
namespace detail {

#if defined(HALOMAG_WIDE_LANES)
// Whether the processor and the operating system both support AVX: CPUID
// leaf 1 reports AVX (ECX bit 28) and XSAVE enabled by the system (ECX bit
// 27), and XCR0 shows the SSE and AVX register states saved (bits 1 and 2).
inline bool wide_lanes_supported() noexcept {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
    if ((ecx & (1u << 27)) == 0 || (ecx & (1u << 28)) == 0) return false;
    unsigned lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (lo & 0x6u) == 0x6u;
}

inline bool wide_lanes() noexcept {
    static const bool supported = wide_lanes_supported();
    return supported;
}

[[gnu::target("avx")]] inline void cel_octet_wide(const double kc[8], const double root[8], const double a[8],
                                                 const double b_root[8], double out[8]) noexcept {
    using Wide = double __attribute__((vector_size(32)));
    using WideMask = long long __attribute__((vector_size(32)));
    constexpr double HALF_PI = 1.5707963267948966;
    constexpr double CA = 1.4901161193847656e-08;  // as in cel
    const Wide one = {1.0, 1.0, 1.0, 1.0};
    Wide qc[2], e[2], em[2], pp[2], aa[2], bb[2];
    bool going[2] = {true, true};
    for (int h = 0; h < 2; ++h) {
        const int i = 4 * h;
        qc[h] = Wide{std::fabs(kc[i]), std::fabs(kc[i + 1]), std::fabs(kc[i + 2]), std::fabs(kc[i + 3])};
        e[h] = qc[h];
        em[h] = one;
        pp[h] = Wide{root[i], root[i + 1], root[i + 2], root[i + 3]};
        bb[h] = Wide{b_root[i], b_root[i + 1], b_root[i + 2], b_root[i + 3]};
        aa[h] = Wide{a[i], a[i + 1], a[i + 2], a[i + 3]};
    }
    for (int step = 0; step < 64 && (going[0] || going[1]); ++step) {
        for (int h = 0; h < 2; ++h) {
            if (!going[h]) continue;
            // transform, then agm_step, as for a pair
            const Wide f = aa[h];
            const Wide inverse = one / pp[h];
            aa[h] += bb[h] * inverse;
            const Wide g = e[h] * inverse;
            bb[h] += f * g;
            bb[h] += bb[h];
            pp[h] += g;
            const Wide old = em[h];
            em[h] += qc[h];
            const Wide gap = old - qc[h], bound = old * CA;
            const WideMask on = (gap > bound) | (-gap > bound);
            if ((on[0] | on[1] | on[2] | on[3]) == 0) {
                going[h] = false;
                continue;
            }
            Wide q = Wide(_mm256_sqrt_pd(__m256d(e[h])));
            q += q;
            qc[h] = q;
            e[h] = q * em[h];
        }
    }
    for (int h = 0; h < 2; ++h) {
        const Wide result = HALF_PI * (bb[h] + aa[h] * em[h]) / (em[h] * (em[h] + pp[h]));
        for (int i = 0; i < 4; ++i) out[4 * h + i] = result[i];
    }
}
#endif

}  // namespace detail

inline void cel_octet_rooted(const double kc[8], const double root[8], const double a[8], const double b_root[8],
                             double out[8]) noexcept {
#if defined(HALOMAG_WIDE_LANES)
    if (detail::wide_lanes()) {
        detail::cel_octet_wide(kc, root, a, b_root, out);
        return;
    }
#endif
    cel_quad_rooted(kc, root, a, b_root, out);
    cel_quad_rooted(kc + 4, root + 4, a + 4, b_root + 4, out + 4);
}

// Two pairs of integrals, pair i sharing kc[i]: first[i] = cel(kc[i],
// p1[i], a1[i], b1[i]) and second[i] = cel(kc[i], p2[i], a2[i], b2[i]), the
// AGM of each kc run once for both of its integrals, stepping as cel_pair
// does.  Needs kc != 0 and p > 0 in every lane.
inline void cel_pair_shared(const double kc[2], const double p1[2], const double a1[2], const double b1[2],
                            const double p2[2], const double a2[2], const double b2[2], double first[2],
                            double second[2]) noexcept {
    using detail::Lanes;
    Lanes qc = {std::fabs(kc[0]), std::fabs(kc[1])};
    Lanes e = qc;
    Lanes em = {1.0, 1.0};
    Lanes pp1 = detail::lane_sqrt(Lanes{p1[0], p1[1]}), pp2 = detail::lane_sqrt(Lanes{p2[0], p2[1]});
    Lanes bb1 = Lanes{b1[0], b1[1]} / pp1, bb2 = Lanes{b2[0], b2[1]} / pp2;
    Lanes aa1 = {a1[0], a1[1]}, aa2 = {a2[0], a2[1]};
    for (int step = 0; step < 64; ++step) {
        detail::transform(pp1, aa1, bb1, e);
        detail::transform(pp2, aa2, bb2, e);
        if (!detail::agm_step(qc, e, em)) break;
    }
    const Lanes r1 = detail::cel_end(aa1, bb1, pp1, em), r2 = detail::cel_end(aa2, bb2, pp2, em);
    first[0] = r1[0];
    first[1] = r1[1];
    second[0] = r2[0];
    second[1] = r2[1];
}

}  // namespace halomag::ellip
