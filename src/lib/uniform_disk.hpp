// Magnification of a uniform stellar disk by a point lens, the closed form of
// Witt & Mao (1994):
//
//   A = (1/pi) [ (u+rho) sqrt(4+(u-rho)^2) / (2 rho^2) E(m)
//              - (u-rho)(8+u^2-rho^2) / (2 rho^2 sqrt(4+(u-rho)^2)) K(m)
//              + 2 (u-rho)^2 (1+rho^2) / (rho^2 (u+rho) sqrt(4+(u-rho)^2)) Pi(n | m) ],
//   n = 4 u rho / (u+rho)^2,  m = 4n / (4 + (u-rho)^2),
//
// with u the lens-centre separation and rho the stellar radius, both in
// Einstein radii.  One formula serves inside and outside the disk.
//
// Near the limb (d = u - rho -> 0) m and n tend to 1, and 1 - m, 1 - n formed
// by subtraction lose about half the digits.  They are formed as ratios
// instead (s = u + rho):
//   1 - n = (d/s)^2,   1 - m = (d^2 + 4 (1 - n)) / (d^2 + 4),
// K is the RF value RF(0, 1 - m, 1) (exact to rounding as m -> 1), and E is
// evaluated at 1 - (1 - m), which never exceeds 1 (k^2 formed directly can
// round to 1 + 2^-51 and be rejected).  Only for |d| < eps s, where the gap
// is lost in the rounding of u, is the limb value used:
//   A_limb = (2 atan(rho) (1 + rho^2)/rho^2 + 2/rho) / pi,
// the limit of the formula (asin((rho^2-1)/(rho^2+1)) + pi/2 = 2 atan(rho)
// written without the cancellation of the asin form for small rho).
//
// Far from the star (u >> rho) the E and K terms grow like u^2 and cancel to
// a value near 1, so the relative error of the closed form grows like eps u^2/rho^2.
//
// References
//   [1] H. J. Witt, S. Mao, "Can lensed stars be regarded as pointlike for
//       microlensing by MACHOs?", ApJ 430 (1994) 505-510, eq. 9.
//   [2] NIST Digital Library of Mathematical Functions, 19.25.1-19.25.2.
#pragma once

#include <cmath>

#include "elliptic/ellip.hpp"

namespace halomag::models {

// The per-star constants of the general formula, hoisted out of the loop over
// separations (the profile-weighted functions build one per disk radius, at
// every quadrature node, so the rare limb branch computes its own).
struct DiskConstants {
    double rho, rho2, four_rho, two_rho2, one_plus_rho2;

    explicit DiskConstants(double rho_) noexcept
        : rho(rho_), rho2(rho_ * rho_), four_rho(4.0 * rho_), two_rho2(rho2 + rho2),
          one_plus_rho2(1.0 + rho2) {}
};

// u: separation of the lens from the disk centre, Einstein radii.
inline Expected<double> uniform_disk_magnification(double u, const DiskConstants& c) noexcept {
    constexpr double EPS = 2.220446049250313e-16;
    constexpr double PI = 3.141592653589793;
    constexpr double TWO_PI = 6.283185307179586;
    const double d = u - c.rho;
    const double s = c.rho + u;
    if (std::fabs(d) < EPS * std::fabs(s) || d == 0.0) {
        return (2.0 * std::atan(c.rho) * ((1.0 + c.rho2) / c.rho2) + 2.0 / c.rho) / PI;
    }
    const double q = std::sqrt(d * d + 4.0);
    const double n = (c.four_rho * u) / (s * s);
    const double ds = d / s;
    const double one_minus_n = ds * ds;
    const double one_minus_m = (d * d + 4.0 * one_minus_n) / (d * d + 4.0);
    const double h = (u * u - c.rho2) * 0.5;

    const ellip::Result E = ellip::ellipe(1.0 - one_minus_m);
    if (!E) return std::unexpected(E.error());
    const ellip::Result F = ellip::elliprf(0.0, one_minus_m, 1.0);
    if (!F) return std::unexpected(F.error());
    const ellip::Result J = ellip::elliprj(0.0, one_minus_m, 1.0, one_minus_n);
    if (!J) return std::unexpected(J.error());
    const double Pi = *F + n * *J / 3.0;
    const double K = *F;

    const double t_k = d * (h + 4.0) / (c.rho2 * q) * K;
    const double t_e = *E * (q * s) / c.two_rho2;
    const double t_pi = Pi * (c.one_plus_rho2 * (d * d + d * d)) / ((c.rho2 * s) * q);
    const double S = t_pi + (t_e - t_k);
    return (S + PI) / TWO_PI + (S - PI) / TWO_PI;
}

}  // namespace halomag::models
