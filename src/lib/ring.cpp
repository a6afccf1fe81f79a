#include "lib/ring.hpp"

#include <limits>

#include "elliptic/elliprf.hpp"
#include "lib/models.hpp"

namespace halomag::models {

namespace detail {

// The ring magnification where the lengths leave the ranges of the direct
// evaluation (ring.hpp), and for NaN.  Radii are distances: their signs do
// not enter (nor that of u, which enters squared).
//
// * u infinite (an Einstein radius infinitely larger than the ring): +inf
//   for a finite ring, NaN when l or r is infinite too (no limit).
// * l = r = 0: a point source on the lens, +inf (NaN without a lens).
// * s = l + r < 2^-300 u (a ring deep inside the Einstein radius): every
//   point of the ring has x = |zeta|/u < 2^-300, where the point-lens
//   magnification is 1/x to a relative 3x^2/8, far below rounding.  The
//   ring mean of u/|zeta| over zeta = l + r e^(i phi) is
//     (2u / (pi s)) K(4 l r / s^2) = (u/s) (2/pi) RF(0, (g/s)^2, 1)
//   (DLMF 19.25.1), with (g/s)^2 kept at least eps^2 as in the band rule of
//   ring_magnification_gap.  u/s overflows to +inf exactly when the value
//   exceeds the largest double.
// * otherwise the largest length is brought to [1, 2) by a power of two,
//   which is exact (a length that underflows on the way down is below
//   2^-1000 of the largest one and contributes nothing to its precision).
//
// References
//   [1] NIST Digital Library of Mathematical Functions, 19.25.1.
Expected<double> ring_magnification_extreme(double l, double r, double g, double u) noexcept {
    constexpr double NAN_ = std::numeric_limits<double>::quiet_NaN();
    constexpr double INF = std::numeric_limits<double>::infinity();
    constexpr double EPS = 2.220446049250313e-16;
    constexpr double TWO_OVER_PI = 0.6366197723675814;
    if (std::isnan(l) || std::isnan(r) || std::isnan(u)) return NAN_;
    // A caller's exact gap holds for the radii as given; for negative ones
    // the gap of the distances is formed here.
    if (l < 0.0 || r < 0.0) g = std::fabs(l) - std::fabs(r);
    l = std::fabs(l);
    r = std::fabs(r);
    u = std::fabs(u);
    if (std::isinf(u)) return std::isinf(l) || std::isinf(r) ? NAN_ : INF;
    if (std::isinf(l) || std::isinf(r)) {
        // Both infinite (one alone is a far ring, caught before): no limit.
        return NAN_;
    }
    const double s = l + r;
    if (s == 0.0) return u > 0.0 ? INF : NAN_;
    if (s < RING_DEEP * u) {
        const double gs = g / s;
        const double y = std::fmax(gs * gs, EPS * EPS);
        const ellip::Result F = ellip::elliprf(0.0, y, 1.0);
        if (!F) return std::unexpected(F.error());
        return (u / s) * (TWO_OVER_PI * *F);
    }
    const int k = -std::ilogb(std::fmax(std::fmax(l, r), u));
    return ring_magnification_gap(std::ldexp(l, k), std::ldexp(r, k), std::ldexp(g, k),
                                  std::ldexp(u, k));
}

}  // namespace detail

Expected<double> heyrovsky_magnification(double l, double r, double re, double rstar) {
    return ring_magnification(l, r, re / rstar);
}

}  // namespace halomag::models
