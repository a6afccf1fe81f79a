// Heyrovsky's ring route for a star of radial brightness p(r):
//
//   A(l) = int_0^1 p(r) A_ring(l, r) 2 pi r dr / N,   N = int_0^1 p(r) 2 pi r dr,
//
// with the rules of lib/ring_rules.hpp, and far out the mean-value series.
//
// Far field.  The mean of a smooth function over a circle of radius r about
// a point is sum_n (r/2)^(2n) Delta^n A(l) / (n!)^2 [2], so averaging over
// the profile gives
//
//   A(l) = sum_n <r^(2n)> Delta^n A_pl(l) / (4^n (n!)^2),
//
// <r^(2n)> the profile's moments, Delta the plane Laplacian and A_pl the
// point-lens magnification (t^2 + 2)/(t sqrt(t^2 + 4)), t = l/u.  With
// T = t^2 the terms are, in units of the stellar radius,
//
//   n = 1:   8 <r^2> (T + 1) / (u^2 T^(3/2) (T + 4)^(5/2))
//   n = 2:   6 <r^4> (3T^3 + 6T^2 + 14T + 12) / (u^4 T^(5/2) (T + 4)^(9/2))
//   n = 3:  16 <r^6> (2T^5 + 2T^4 + 22T^3 + 57T^2 + 82T + 50) / (u^6 T^(7/2) (T + 4)^(13/2))
//
// (Delta^n applied symbolically), all of one sign, so no cancellation; they
// fall like (1/l)^(2n).  They are evaluated in v = u/l for l >= u and in
// t = l/u otherwise, so that nothing overflows for any l, u.
//
// References
//   [1] D. Heyrovsky, "Computing limb-darkening coefficients from stellar
//       atmosphere models", ApJ 594 (2003) 464-475.
//   [2] R. Courant, D. Hilbert, Methods of Mathematical Physics II (1962),
//       ch. IV 3 (the mean-value expansion over a circle); equivalently
//       the Taylor series of the Bessel function J_0 applied to Delta.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "lib/interrupt.hpp"
#include "lib/models.hpp"
#include "lib/ring.hpp"
#include "lib/ring_rules.hpp"
#include "numerics/gauss.hpp"
#include "numerics/interp.hpp"

namespace halomag::models {

// Moments <r^(2n)>, n = 0..3, of a profile normalised by its flux.
using Moments = std::array<double, 4>;

// From this separation on, the three-term series is within 1e-16 of the
// ring integral: the first term left out falls like l^-8 and measures
// 1.8e-14 at l = 30 (u = 1e4), 6e-16 at l = 50, below rounding from 60 on.
inline constexpr double SERIES_FROM = 60.0;

// Point-lens magnification at distance l from a lens of Einstein radius u.
inline double point_lens(double l, double u) noexcept {
    if (l >= u) {
        const double y = (u / l) * (u / l);
        return (1.0 + 2.0 * y) / std::sqrt(1.0 + 4.0 * y);
    }
    const double t = l / u;
    return (t * t + 2.0) / (t * std::sqrt(t * t + 4.0));
}

// The mean-value series to n = 3 (see the header).
inline double far_field_series(double l, double u, const Moments& m) noexcept {
    const double l2 = l * l;
    double t1, t2, t3;
    if (l >= u) {
        const double v = u / l, y = v * v, v4 = y * y;
        const double s = 1.0 + 4.0 * y, rs = std::sqrt(s);
        const double s2 = s * s;
        t1 = 8.0 * m[1] * v4 * (1.0 + y) / (s2 * rs);
        t2 = 6.0 * m[2] * v4 * (3.0 + y * (6.0 + y * (14.0 + y * 12.0))) / (s2 * s2 * rs);
        t3 = 16.0 * m[3] * v4 *
             (2.0 + y * (2.0 + y * (22.0 + y * (57.0 + y * (82.0 + y * 50.0))))) /
             (s2 * s2 * s2 * rs);
    } else {
        const double t = l / u, T = t * t;
        const double s = T + 4.0, rs = std::sqrt(s);
        const double s2 = s * s;
        t1 = 8.0 * m[1] * (T + 1.0) / (t * s2 * rs);
        t2 = 6.0 * m[2] * (12.0 + T * (14.0 + T * (6.0 + T * 3.0))) / (t * s2 * s2 * rs);
        t3 = 16.0 * m[3] * (50.0 + T * (82.0 + T * (57.0 + T * (22.0 + T * (2.0 + T * 2.0))))) /
             (t * s2 * s2 * s2 * rs);
    }
    return point_lens(l, u) + (t1 / l2 + (t2 / (l2 * l2) + t3 / (l2 * l2 * l2)));
}

// The built-in linear limb darkening 1 - 0.6 (1 - sqrt(1 - r^2)) on the
// ring route: its exact flux 0.8 pi and moments <r^(2n)> =
// (0.4/(n + 1) + 0.6 B(n + 1, 3/2)) / 0.8.
struct LimbDarkenedDisk {
    static constexpr double FLUX = 2.5132741228718345;  // 0.8 pi
    double flux() const noexcept { return FLUX; }
    double peak() const noexcept { return 1.0 / FLUX; }  // max p / N
    Moments moments() const noexcept {
        return {1.0, 0.45, 0.2809523809523810, 0.2011904761904762};
    }
    template <class Emit>
    void nodes(double l, double u, Emit& emit) const {
        rules::limb_darkened_nodes(l, u, emit);
    }
};

// A tabulated profile on the ring route: the pieces of [0, 1] between its
// knots on which it is linear and not identically 0 (knots outside [0, 1],
// repeats and NaN cost nothing), its exact flux and moments (Gauss-Legendre
// of 5 nodes per piece is exact for p(r) r^7).
class TabulatedDisk {
public:
    TabulatedDisk(const interp::LinearTable& profile, std::span<const double> bl) {
        std::vector<double> cuts{0.0, 1.0};
        if (bl.size() >= 2) {
            for (const double k : bl) {
                if (k > 0.0 && k < 1.0) cuts.push_back(k);
            }
        }
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
        if (bl.empty()) cuts.clear();
        const quadrature::gauss::Rule rule = quadrature::gauss::legendre(5);
        std::array<double, 4> sums{};
        for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
            const double a = cuts[k], b = cuts[k + 1], h = b - a;
            const double p1 = profile(a + h / 3.0), p2 = profile(b - h / 3.0);
            if (p1 == 0.0 && p2 == 0.0) continue;  // linear and 0 at two points
            pieces_.push_back({a, b});
            // Largest |p| on the piece: at an end of its line.
            const double pa = p1 + (p1 - p2), pb = p2 + (p2 - p1);
            peak_ = std::max({peak_, std::fabs(pa), std::fabs(pb)});
            for (std::size_t i = 0; i < rule.size(); ++i) {
                const double r = rule.t[i] <= 0.5 ? a + h * rule.t[i] : b - h * rule.one_minus_t[i];
                const double w = h * rule.w[i] * profile(r) * (rules::TWO_PI * r);
                const double r2 = r * r;
                sums[0] += w;
                sums[1] += w * r2;
                sums[2] += w * r2 * r2;
                sums[3] += w * r2 * r2 * r2;
            }
        }
        flux_ = sums[0];
        for (std::size_t n = 0; n < 4; ++n) moments_[n] = sums[n] / flux_;
        peak_ /= std::fabs(flux_);
        if (!std::isfinite(peak_)) peak_ = std::numeric_limits<double>::infinity();
    }

    double flux() const noexcept { return flux_; }
    double peak() const noexcept { return peak_; }  // max |p| / |N|
    Moments moments() const noexcept { return moments_; }
    std::size_t pieces() const noexcept { return pieces_.size(); }

    template <class Emit>
    void nodes(double l, double u, Emit& emit) const {
        for (const auto& [a, b] : pieces_) rules::piece_nodes(a, b, l, u, emit, rules::Singularities{}, rules::K_TABLE);
    }

private:
    std::vector<std::array<double, 2>> pieces_;
    double flux_ = 0.0;
    double peak_ = 0.0;
    Moments moments_{};
};

// Sum of area weight x f(r, gap) over the nodes of one separation, counting
// the evaluations and a non-finite value as 0 (a node on a pole, a failed
// ring); NaN when no node has a value at all.  The caller's interrupt check
// is consulted per node; once it asks to stop, no more values are computed.
template <class F>
struct NodeSum {
    const F& f;
    const Interrupt& interrupt;
    double sum = 0.0;
    std::uint64_t evaluations = 0;
    bool any_finite = false;

    void operator()(const rules::Node& node, double weight) {
        if (interrupt(1)) return;
        ++evaluations;
        const double v = f(node.r, node.gap);
        if (std::isfinite(v)) {
            sum += (weight * node.area) * v;
            any_finite = true;
        }
    }
    double value() const noexcept {
        return any_finite ? sum : std::numeric_limits<double>::quiet_NaN();
    }
};

// The integral int_0^1 f(r, l - r) 2 pi r dr for one separation over the
// disk's pieces and nodes (the reusable part: any integrand built on the
// ring through the lens).  `evaluations` (if given) receives the count.
template <class Disk, class F>
double integrate_disk(const Disk& disk, double l, double u, const F& f,
                      const Interrupt& interrupt = {}, std::uint64_t* evaluations = nullptr) {
    NodeSum<F> acc{f, interrupt};
    disk.nodes(l, u, acc);
    if (evaluations != nullptr) *evaluations = acc.evaluations;
    return acc.value();
}

// Below this separation the lens is taken to be on the centre: the
// magnification is even and smooth in l there, A(l) = A(0) (1 + O(l^2)).
inline constexpr double CENTRE_BELOW = 1e-9;

// The ring magnification for any Einstein radius.  When u exceeds 1e8
// (l + r), the point-lens magnification is 1/x + 3x/8 + ... with x < 1e-8,
// and the ring mean is u <1/d> to within 4e-17: <1/d> = 2 K(n)/(pi s), n =
// 4lr/s^2, K(n) = RF(0, (g/s)^2, 1), which cannot overflow in u^2.  Below
// that, lengths are rescaled by a power of two (exact; the mean depends on
// l/u and r/u only) so that u^2 stays finite.
inline Expected<double> scaled_ring(double l, double r, double gap, double u) noexcept {
    constexpr double BIG = 0x1p100;
    const double s = l + r;
    if (u > 1e8 * s) {
        double gs = gap / s;
        if (!(gs * gs >= 2.2250738585072014e-308)) gs = 2.220446049250313e-16;
        const ellip::Result K = ellip::elliprf(0.0, gs * gs, 1.0);
        if (!K) return std::unexpected(K.error());
        return u * (2.0 * *K / (3.141592653589793 * s));
    }
    if (u > BIG) {
        const int k = std::ilogb(u) - 100;
        return ring_magnification_gap(std::ldexp(l, -k), std::ldexp(r, -k), std::ldexp(gap, -k),
                                      std::ldexp(u, -k));
    }
    return ring_magnification_gap(l, r, gap, u);
}

// An Einstein radius so small that the magnification is 1 to rounding: the
// excess flux of a point lens is 4 pi u^2 times the surface brightness at
// the lens (int_0^inf (A_pl(x) - 1) x dx = 2), so A(l) - 1 <= 4 pi u^2
// max p / N, below 1e-17 here.
inline bool negligible_lens(double u, double peak) noexcept {
    return 4.0 * 3.141592653589793 * (u * u) * peak < 1e-17;
}

// The ring route for every separation: the far-field series from
// SERIES_FROM on, the disk's rules below.  A failed ring evaluation counts
// as 0 (never an error); NaN separations give NaN; the only error is
// INTERRUPTED.
template <class Profile, class Disk>
Magnifications _integrated_heyrovsky_magnification(std::vector<double> l, const Profile& profile,
                                                   const Disk& disk, double re, double rstar,
                                                   const Interrupt& interrupt = {}) {
    const double u = std::fabs(re / rstar);  // Einstein radius in stellar radii
    const double flux = disk.flux();
    const Moments moments = disk.moments();
    const double peak = disk.peak();
    std::vector<double> result;
    result.reserve(l.size());
    for (const double signed_l : l) {
        const double li = std::fabs(signed_l) < CENTRE_BELOW ? 0.0 : std::fabs(signed_l);
        if (!std::isfinite(u) || std::isnan(li)) {
            result.push_back(std::numeric_limits<double>::quiet_NaN());
        } else if (negligible_lens(u, peak)) {
            result.push_back(1.0);
        } else if (li >= SERIES_FROM) {
            result.push_back(far_field_series(li, u, moments));
        } else {
            const auto f = [&](double r, double gap) {
                const Expected<double> a = scaled_ring(li, r, gap, u);
                return profile(r) * (a ? *a : std::numeric_limits<double>::quiet_NaN());
            };
            result.push_back(integrate_disk(disk, li, u, f, interrupt) / flux);
        }
        if (interrupt(1)) return interrupted();
    }
    return result;
}

}  // namespace halomag::models
