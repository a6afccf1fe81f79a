// Magnification of a uniform stellar disk by a point lens.
//
// u is the separation of the lens from the disk centre and rho the disk's
// radius, both in Einstein radii; l = u/rho is the separation in stellar
// radii.  Three regimes, chosen by l and rho alone:
//
// 1. l < 3: the closed form of Witt & Mao [1],
//
//   A = (1/pi) [ (u+rho) sqrt(4+(u-rho)^2) / (2 rho^2) E(m)
//              - (u-rho)(8+u^2-rho^2) / (2 rho^2 sqrt(4+(u-rho)^2)) K(m)
//              + 2 (u-rho)^2 (1+rho^2) / (rho^2 (u+rho) sqrt(4+(u-rho)^2)) Pi(n | m) ],
//   n = 4 u rho / (u+rho)^2,  m = 4n / (4 + (u-rho)^2),
//
// one formula inside and outside the disk.  The K and Pi terms are one
// integral: Bulirsch's general complete elliptic integral [4] (DLMF [2])
//   cel(kc, p, a, b) = int_0^(pi/2) (a cos^2 + b sin^2) / ((cos^2 + p sin^2) sqrt(cos^2 + kc^2 sin^2))
// gives a' K(m) + b' Pi(n | m) = cel(kc, 1 - n, a' + b', a' (1 - n) + b'),
// kc = sqrt(1 - m), in one AGM-like iteration and without forming either
// integral alone; E(m) is the polynomial of elliptic/ellipe.hpp.  (Three
// times faster than K from RF and Pi from RF and RJ, and as accurate.  E as
// cel(kc, 1, 1, kc^2), in the same pass as the K and Pi terms, was a fifth
// faster but less accurate where the terms cancel: 4.4e-15 at l = 2.9
// against 2e-17.)
// Near the limb (d = u - rho -> 0) m and n tend to 1, and 1 - m, 1 - n formed
// by subtraction would lose about half the digits.  They are formed as ratios
// instead (s = u + rho):
//   1 - n = (d/s)^2,   1 - m = (d^2 + 4 (1 - n)) / (d^2 + 4),
// and E is evaluated at 1 - (1 - m), which never exceeds 1.  Only for
// |d| < eps s, where the gap is lost in the rounding of u, is the limb value
// used:
//   A_limb = (2 atan(rho) (1 + rho^2)/rho^2 + 2/rho) / pi,
// the limit of the formula (asin((rho^2-1)/(rho^2+1)) + pi/2 = 2 atan(rho)
// written without the cancellation of the asin form for small rho).
// Outside the disk the E and K terms grow like (u/rho)^2 relative to A and
// cancel, so the error grows like eps l^2: about 22 eps at l = 3, measured
// against 60-digit values and the series.  (The rewrite with
// E - K = -(m/3) RD(0, 1-m, 1), whose K coefficient becomes 2q/s, removes that
// cancellation but leaves one between the RD and RJ terms that grows like
// eps l: 40 eps at l = 20.)
//
// 2. l >= 3: the mean-value series.  The mean of a smooth function F over a
// disk of radius rho is sum_n (rho^2/4)^n Delta^n F(c) / (n! (n+1)!) about
// the centre c (Pizzetti's formula in two dimensions [3]).  For the
// point-lens magnification F(x) = f(|x|^2), f(y) = (y+2)/sqrt(y (y+4)), the
// Laplacian is 4 D with D = d/dy y d/dy, and by induction
//   D^n f(y) = Q_n(y) / (y^(n+1/2) (y+4)^(2n+1/2)),
// Q_n a polynomial of degree 2n - 1, positive for y > 0.  With y = u^2,
// eta = y/4, P = sqrt(y (y+4)) = u sqrt(u^2 + 4) and x = 1/l^2:
//
//   A = 1 + [ 4/(y + 2 + P) + sum_{n>=1} x^n sum_k alpha_{n,k} eta^k / (1+eta)^(2n) ] / P,
//
// the first bracket term being f - 1 written without cancellation.  Every
// term is positive, so the sum loses nothing and A >= 1 always; it needs no
// elliptic integral.  The coefficients alpha_{n,k} = q_{n,k} 4^(k-2n) /
// (n! (n+1)!) come from exact rational arithmetic
// (scripts/gen_disk_series_table.py, which also proves Q_n > 0 and bounds the
// ratio of consecutive terms by 1.5 x).  Each inner polynomial is summed by
// Horner's rule in eta for eta <= 1 and in 1/eta beyond, so that nothing
// overflows.  The sum stops after the first term below 2^-55 (P + sum):
// the rest is then below a fifth of it (x <= 1/9).  At l = 3 this takes 15
// terms, at l = 10 eight, at l = 100 four; measured errors at most 2 eps.
//
// 3. The extremes, where rho^2 or u^2 would leave the double range:
//   * rho > 2^64 (or no lens, rho = inf): A - 1 is at most a few / rho^2
//     (the excess flux of the point lens over the whole plane is finite,
//     spread over pi rho^2), below 1e-38: A = 1.
//   * rho < 2^-64 in regime 1: A rho is a function of l alone up to relative
//     O(rho^2) (the point lens is 1/x (1 + O(x^2)) there), so u and rho are
//     scaled up by a power of two, exactly, to rho in [2^-65, 2^-64) and the
//     result scaled back.  A beyond the largest double is +inf.
//   * u > 2^500 in regime 2: A - 1 ~ 2/u^4 underflows: A = 1.
//   * NaN separation or radius: NaN.  rho = 0 (no star): NaN.
// The closed form may round a value of 1 + tiny (a huge star) to just below
// 1; a point lens never dims a source, so the result is at least 1.
//
// References
//   [1] H. J. Witt, S. Mao, "Can lensed stars be regarded as pointlike for
//       microlensing by MACHOs?", ApJ 430 (1994) 505-510, eq. 9.
//   [2] NIST Digital Library of Mathematical Functions, 19.2.11.
//   [3] P. Pizzetti, "Sulla media dei valori che una funzione dei punti
//       dello spazio assume alla superficie di una sfera", Rend. Lincei 18
//       (1909) 182-185; R. Courant, D. Hilbert, Methods of Mathematical
//       Physics II (1962), ch. IV.
//   [4] R. Bulirsch, "Numerical calculation of elliptic integrals and
//       elliptic functions. III", Numer. Math. 13 (1969) 305-315.
#pragma once

#include <cmath>
#include <limits>

#include "elliptic/cel.hpp"
#include "elliptic/ellip.hpp"
#include "lib/disk_series_table.hpp"

namespace halomag::models {

// Separations (in stellar radii) from which the series is used.
inline constexpr double DISK_SERIES_FROM = 3.0;

namespace detail {

// Regime 1: Witt & Mao's closed form, 2^-65 <= rho <= 2^64, 0 <= u < 3 rho.
inline Expected<double> disk_closed_form(double u, double rho) noexcept {
    constexpr double EPS = 2.220446049250313e-16;
    constexpr double PI = 3.141592653589793;
    constexpr double TWO_PI = 6.283185307179586;
    const double rho2 = rho * rho;
    const double d = u - rho;
    const double s = rho + u;
    if (std::fabs(d) < EPS * std::fabs(s) || d == 0.0) {
        return (2.0 * std::atan(rho) * ((1.0 + rho2) / rho2) + 2.0 / rho) / PI;
    }
    const double q = std::sqrt(d * d + 4.0);
    const double ds = d / s;
    const double one_minus_n = ds * ds;
    const double one_minus_m = (d * d + 4.0 * one_minus_n) / (d * d + 4.0);
    const double h = (u * u - rho2) * 0.5;

    const ellip::Result E = ellip::ellipe(1.0 - one_minus_m);
    if (!E) return std::unexpected(E.error());
    // The K and Pi terms as one integral, c_Pi Pi - c_K K =
    // cel(kc, 1 - n, c_Pi - c_K, c_Pi - c_K (1 - n)), kc = sqrt(1 - m).
    const double c_k = d * (h + 4.0) / (rho2 * q);
    const double c_pi = ((1.0 + rho2) * (d * d + d * d)) / ((rho2 * s) * q);
    const double k_pi = ellip::cel(std::sqrt(one_minus_m), one_minus_n, c_pi - c_k,
                                   c_pi - c_k * one_minus_n);
    const double t_e = *E * (q * s) / (rho2 + rho2);
    const double S = t_e + k_pi;
    return (S + PI) / TWO_PI + (S - PI) / TWO_PI;
}

// Regime 1 for two radii at once (lengths in its ordinary range, both
// away from the limb: closed_form_pair_applies), for the uniform-disk
// route: disk_closed_form's formula lane by lane, but E(m) =
// cel(kc, 1, 1, kc^2) in the same pass as the K and Pi integrals
// (ellip::cel_pair_shared), so that the two disks cost about one, and three
// of its quotients as products.  Those and E from cel differ from the
// closed form by a few ulps, which the cancellation of the terms outside
// the disk magnifies like l^2: the pair is within 7e-15 of the closed form
// for separations below 3 stellar radii (800,000 random disks, radii from
// 1e-3 to 1e3 Einstein radii), against the route's 1e-9.  (1 - n > 0
// there, and 1 - m >= 1 - n, so kc > 0.)
// (`below`: how many radii out the closed form is taken, 3 as in
// uniform_disk_magnification unless the caller says otherwise.)
inline bool closed_form_pair_applies(double u, double rho, double below = 3.0) noexcept {
    constexpr double EPS = 2.220446049250313e-16;
    const double d = u - rho, s = rho + u;
    return rho >= 0x1p-64 && rho <= 0x1p64 && u < below * rho && !(std::fabs(d) < EPS * std::fabs(s)) && d != 0.0;
}

// 1/(2 pi), the closed form's pairs and fours multiply by it.
inline constexpr double INVERSE_TWO_PI = 0.15915494309189535;

// The uniform-disk route takes the closed form in pairs and fours farther
// out than uniform_disk_magnification does, up to u = 6 rho: its rounding
// grows like eps (u/rho)^2 (against the series, on 200,000 random disks
// each: 1.0e-14 for u/rho in [3, 4), 1.8e-14 in [4, 5.3), 2.9e-14 in
// [5, 6.65)), far below the route's 1e-9 and no larger than its rules'
// own error, while a disk in a four of 256-bit lanes costs less than the
// dozen terms the series takes there (6 % of the route's time on 100
// separations over a small star).
inline constexpr double ROUTE_CLOSED_FORM_BELOW = 6.0;
inline bool closed_form_route_applies(double u, double rho) noexcept {
    return closed_form_pair_applies(u, rho, ROUTE_CLOSED_FORM_BELOW);
}

inline void disk_closed_form_pair(double u, const double radius[2], double out[2]) noexcept {
    using Lanes = ellip::detail::Lanes;
    constexpr double PI = 3.141592653589793;
    const Lanes rho = {radius[0], radius[1]};
    const Lanes rho2 = rho * rho;
    const Lanes d = u - rho;
    const Lanes s = rho + u;
    const Lanes q = ellip::detail::lane_sqrt(d * d + 4.0);
    // Three quotients where disk_closed_form forms five (1/s and
    // 1/(rho^2 q) serve the others as products): a few ulps, against the
    // route's 1e-9, and the divider is what a disk waits on.
    const Lanes inverse_s = 1.0 / s, inverse_rq = 1.0 / (rho2 * q);
    const Lanes ds = d * inverse_s;
    const Lanes one_minus_n = ds * ds;
    const Lanes one_minus_m = (d * d + 4.0 * one_minus_n) / (d * d + 4.0);
    const Lanes h = (u * u - rho2) * 0.5;
    const Lanes c_k = d * (h + 4.0) * inverse_rq;
    const Lanes c_pi = ((1.0 + rho2) * (d * d + d * d)) * inverse_rq * inverse_s;
    const Lanes kc = ellip::detail::lane_sqrt(one_minus_m);
    const Lanes a_pi = c_pi - c_k, b_pi = c_pi - c_k * one_minus_n;
    const double kcs[2] = {kc[0], kc[1]}, ones[2] = {1.0, 1.0}, b_e[2] = {one_minus_m[0], one_minus_m[1]};
    const double p[2] = {one_minus_n[0], one_minus_n[1]}, a[2] = {a_pi[0], a_pi[1]}, b[2] = {b_pi[0], b_pi[1]};
    double e[2], k_pi[2];
    ellip::cel_pair_shared(kcs, ones, ones, b_e, p, a, b, e, k_pi);
    const Lanes t_e = Lanes{e[0], e[1]} * (q * s) * (0.5 * (inverse_rq * q));  // 1/(2 rho^2)
    const Lanes S = t_e + Lanes{k_pi[0], k_pi[1]};
    const Lanes value = (S + PI) * INVERSE_TWO_PI + (S - PI) * INVERSE_TWO_PI;
    for (int i = 0; i < 2; ++i) out[i] = value[i] < 1.0 ? 1.0 : value[i];
}

#if defined(HALOMAG_WIDE_LANES)
// disk_closed_form_pair for four radii in the four lanes of 256-bit
// registers (AVX), the E and the K and Pi integrals stepping together on
// one AGM of four lanes (ellip::cel_pair_shared's steps), which runs until
// all four have converged (a lane that converged earlier steps on, which
// moves its value by an ulp or so).
[[gnu::target("avx")]] inline void disk_closed_form_quad_wide(double u, const double radius[4],
                                                             double out[4]) noexcept {
    using Wide = double __attribute__((vector_size(32)));
    using WideMask = long long __attribute__((vector_size(32)));
    constexpr double PI = 3.141592653589793;
    constexpr double HALF_PI = 1.5707963267948966;
    constexpr double CA = 1.4901161193847656e-08;  // as in cel
    const Wide one = {1.0, 1.0, 1.0, 1.0};
    const Wide rho = {radius[0], radius[1], radius[2], radius[3]};
    const Wide rho2 = rho * rho;
    const Wide d = u - rho;
    const Wide s = rho + u;
    const Wide q = Wide(_mm256_sqrt_pd(__m256d(d * d + 4.0)));
    // (1/s and 1/(rho^2 q) as in the pair.)
    const Wide inverse_s = one / s, inverse_rq = one / (rho2 * q);
    const Wide ds = d * inverse_s;
    const Wide one_minus_n = ds * ds;
    const Wide one_minus_m = (d * d + 4.0 * one_minus_n) / (d * d + 4.0);
    const Wide h = (u * u - rho2) * 0.5;
    const Wide c_k = d * (h + 4.0) * inverse_rq;
    const Wide c_pi = ((1.0 + rho2) * (d * d + d * d)) * inverse_rq * inverse_s;
    const Wide kc = Wide(_mm256_sqrt_pd(__m256d(one_minus_m)));
    // cel(kc, 1, 1, kc^2) = E and cel(kc, 1 - n, c_pi - c_k, c_pi - c_k (1 - n)),
    // after cel's first substitution p -> sqrt(p), b -> b/sqrt(p) (for E,
    // p = 1 leaves b as it is).
    Wide qc = kc, e = kc, em = one;
    Wide p1 = one, b1 = one_minus_m, a1 = one;
    Wide p2 = Wide(_mm256_sqrt_pd(__m256d(one_minus_n))), b2 = (c_pi - c_k * one_minus_n) / p2, a2 = c_pi - c_k;
    for (int step = 0; step < 64; ++step) {
        const Wide f1 = a1, f2 = a2;
        const Wide i1 = one / p1, i2 = one / p2;
        a1 += b1 * i1;
        a2 += b2 * i2;
        const Wide g1 = e * i1, g2 = e * i2;
        b1 += f1 * g1;
        b2 += f2 * g2;
        b1 += b1;
        b2 += b2;
        p1 += g1;
        p2 += g2;
        const Wide old = em;
        em += qc;
        const Wide gap = old - qc, bound = old * CA;
        const WideMask on = (gap > bound) | (-gap > bound);
        if ((on[0] | on[1] | on[2] | on[3]) == 0) break;
        Wide next = Wide(_mm256_sqrt_pd(__m256d(e)));
        next += next;
        qc = next;
        e = next * em;
    }
    const Wide big_e = HALF_PI * (b1 + a1 * em) / (em * (em + p1));
    const Wide k_pi = HALF_PI * (b2 + a2 * em) / (em * (em + p2));
    const Wide t_e = big_e * (q * s) * (0.5 * (inverse_rq * q));  // 1/(2 rho^2)
    const Wide S = t_e + k_pi;
    const Wide value = (S + PI) * INVERSE_TWO_PI + (S - PI) * INVERSE_TWO_PI;
    for (int i = 0; i < 4; ++i) out[i] = value[i] < 1.0 ? 1.0 : value[i];
}
#endif

// Four disks (each as closed_form_pair_applies allows): in one pass of
// 256-bit lanes where the processor has them, else as two pairs.
inline void disk_closed_form_quad(double u, const double radius[4], double out[4]) noexcept {
#if defined(HALOMAG_WIDE_LANES)
    if (ellip::detail::wide_lanes()) {
        disk_closed_form_quad_wide(u, radius, out);
        return;
    }
#endif
    disk_closed_form_pair(u, radius, out);
    disk_closed_form_pair(u, radius + 2, out + 2);
}

// Regime 2: the mean-value series, u >= 3 rho, u <= 2^500; x = (rho/u)^2.
//
// The same series serves any radial brightness profile: averaging the ring
// means sum_n (r/2)^(2n) Delta^n F / (n!)^2 over the profile gives
// sum_n <r^(2n)> Delta^n F / (4^n (n!)^2), i.e. term n of the uniform disk
// (whose <r^(2n)> is 1/(n+1)) times c_n = (n+1) <r^(2n)>, the moments taken
// in units of the stellar radius rho and normalised by the flux.  `weights`
// holds c_1 .. c_DISK_SERIES_TERMS (nullptr: the uniform disk, every c_n = 1).
// For a profile of non-negative brightness c_n <= n + 1 (all the light at the
// limb), so consecutive terms still shrink by at least 2.25 x <= 1/4 and the
// stopping rule below leaves less than a third of the last term.
inline double mean_value_series(double u, double x, const double* weights) noexcept {
    const double y = u * u;
    const double eta = 0.25 * y;
    const double P = u * std::sqrt(y + 4.0);
    double total = 4.0 / (y + 2.0 + P);
    double xn = 1.0;
    if (eta <= 1.0) {
        // sum_k alpha_k eta^k * w^(2n), w = 1/(1 + eta).
        const double w = 1.0 / (1.0 + eta);
        const double w2 = w * w;
        double w2n = 1.0;
        for (int n = 1; n <= DISK_SERIES_TERMS; ++n) {
            xn *= x;
            w2n *= w2;
            const int lo = DISK_SERIES_OFFSET[n - 1];
            int k = DISK_SERIES_OFFSET[n] - 1;
            double h = DISK_SERIES_ALPHA[k];
            while (k > lo) h = h * eta + DISK_SERIES_ALPHA[--k];
            double term = xn * (h * w2n);
            if (weights != nullptr) term *= weights[n - 1];
            total += term;
            if (term <= 0x1p-55 * (P + total)) break;
        }
    } else {
        // With z = 1/eta and degree N = 2n - 1:
        //   sum_k alpha_k eta^k / (1+eta)^(2n)
        //     = (1/(1+z))^(2n-1) * z/(1+z) * sum_k alpha_k z^(N-k).
        const double z = 1.0 / eta;
        const double v = 1.0 / (1.0 + z);  // eta/(1+eta)
        const double v2 = v * v;
        const double zv = z * v;           // 1/(1+eta)
        double v2n1 = 1.0 / v;              // v^(2n-1), advanced by v^2 per term
        for (int n = 1; n <= DISK_SERIES_TERMS; ++n) {
            xn *= x;
            v2n1 *= v2;
            int k = DISK_SERIES_OFFSET[n - 1];
            const int hi = DISK_SERIES_OFFSET[n];
            double h = DISK_SERIES_ALPHA[k];
            while (++k < hi) h = h * z + DISK_SERIES_ALPHA[k];
            double term = xn * (h * (v2n1 * zv));
            if (weights != nullptr) term *= weights[n - 1];
            total += term;
            if (term <= 0x1p-55 * (P + total)) break;
        }
    }
    return 1.0 + total / P;
}

inline double disk_series(double u, double x) noexcept { return mean_value_series(u, x, nullptr); }

// The mean-value series of the uniform disk at one separation u for many
// radii (x = (rho/u)^2): the part of term n that depends on u alone, the
// inner polynomial times the power of w (or of v), is kept as it is first
// needed, so that each further disk costs a multiplication and an addition
// per term where mean_value_series evaluates a polynomial of degree about
// 2n.  The same operations in the same order: the same values, bit for bit.
// (mean_value_series keeps its own loop: for one disk at a separation, the
// light curve's case, keeping the parts made it half as fast.)
class DiskSeriesAt {
public:
    explicit DiskSeriesAt(double u) noexcept
        : y_(u * u), eta_(0.25 * y_), P_(u * std::sqrt(y_ + 4.0)), first_(4.0 / (y_ + 2.0 + P_)) {
        if (eta_ <= 1.0) {
            const double w = 1.0 / (1.0 + eta_);
            step_ = w * w;
            power_ = 1.0;
        } else {
            z_ = 1.0 / eta_;
            const double v = 1.0 / (1.0 + z_);
            step_ = v * v;
            zv_ = z_ * v;
            power_ = 1.0 / v;
        }
    }

    // disk_series(u, x).
    double operator()(double x) noexcept {
        double total = first_;
        double xn = 1.0;
        for (int n = 1; n <= DISK_SERIES_TERMS; ++n) {
            xn *= x;
            const double term = xn * factor(n);
            total += term;
            if (term <= 0x1p-55 * (P_ + total)) break;
        }
        return 1.0 + total / P_;
    }

private:
    double factor(int n) noexcept {
        while (known_ < n) {
            const int m = ++known_;
            power_ *= step_;
            if (eta_ <= 1.0) {
                const int lo = DISK_SERIES_OFFSET[m - 1];
                int k = DISK_SERIES_OFFSET[m] - 1;
                double h = DISK_SERIES_ALPHA[k];
                while (k > lo) h = h * eta_ + DISK_SERIES_ALPHA[--k];
                factors_[m - 1] = h * power_;
            } else {
                int k = DISK_SERIES_OFFSET[m - 1];
                const int hi = DISK_SERIES_OFFSET[m];
                double h = DISK_SERIES_ALPHA[k];
                while (++k < hi) h = h * z_ + DISK_SERIES_ALPHA[k];
                factors_[m - 1] = h * (power_ * zv_);
            }
        }
        return factors_[n - 1];
    }

    double y_, eta_, P_, first_;
    double z_ = 0.0, zv_ = 0.0, step_ = 0.0, power_ = 0.0;
    int known_ = 0;
    double factors_[DISK_SERIES_TERMS] = {};
};

}  // namespace detail

// The uniform disk of radius rho at separation u (Einstein radii); see the
// head of this file.  Never below 1; an error only from the elliptic
// integrals, which no finite u >= 0 and rho > 0 reach.  `series`, if given,
// is the mean-value series kept for this |u| (many radii at one
// separation).
inline Expected<double> uniform_disk_magnification(double u, double rho,
                                                   detail::DiskSeriesAt* series = nullptr) noexcept {
    constexpr double NAN_ = std::numeric_limits<double>::quiet_NaN();
    u = std::fabs(u);
    rho = std::fabs(rho);
    if (std::isnan(u) || std::isnan(rho) || rho == 0.0) return NAN_;
    if (rho > 0x1p64) return 1.0;
    if (u >= DISK_SERIES_FROM * rho) {
        if (u > 0x1p500) return 1.0;
        const double ratio = rho / u;
        return series != nullptr ? (*series)(ratio * ratio) : detail::disk_series(u, ratio * ratio);
    }
    double scale = 1.0;
    if (rho < 0x1p-64) {
        // rho in [2^-65, 2^-64) after an exact scaling by 2^e.
        int exponent = 0;
        (void)std::frexp(rho, &exponent);  // rho = f 2^exponent, f in [1/2, 1)
        const int shift = -64 - exponent;
        rho = std::ldexp(rho, shift);
        u = std::ldexp(u, shift);
        scale = std::ldexp(1.0, shift);  // may be inf for a subnormal rho
    }
    const Expected<double> a = detail::disk_closed_form(u, rho);
    if (!a) return a;
    const double value = *a * scale;
    return value < 1.0 ? 1.0 : value;
}

// Two disks of radii rho[0], rho[1] at the same separation u, each as
// uniform_disk_magnification gives it (an error as NaN; within 5e-15 where
// both take the closed form away from the limb, in one pass, see
// disk_closed_form_pair), else one by one.
inline void uniform_disk_magnification_pair(double u, const double rho[2], double out[2]) noexcept {
    const double au = std::fabs(u), r0 = std::fabs(rho[0]), r1 = std::fabs(rho[1]);
    if (detail::closed_form_pair_applies(au, r0) && detail::closed_form_pair_applies(au, r1)) [[likely]] {
        const double radii[2] = {r0, r1};
        detail::disk_closed_form_pair(au, radii, out);
        return;
    }
    for (int i = 0; i < 2; ++i) {
        const Expected<double> a = uniform_disk_magnification(u, rho[i]);
        out[i] = a ? *a : std::numeric_limits<double>::quiet_NaN();
    }
}

}  // namespace halomag::models
