// Brightness-weighted magnifications of an extended star.
//
// A star with radial surface brightness p(r) (r in stellar radii) seen through
// a point lens is magnified by the brightness-weighted mean of the point-lens
// magnification over its disk,
//
//   A(l) = F / N,   F = int_0^1 p(r) dF(r),   N = int_0^1 p(r) 2 pi r dr,
//
// where dF(r) is the magnified flux of the thin ring of radius r (per unit
// surface brightness).  Two ways of writing dF give the two routes:
//
//   * rings (Heyrovsky 2003 [1]): dF = 2 pi r A_ring(l, r) dr, with A_ring the
//     mean point-lens magnification over the ring (lib/ring.hpp).  A_ring is
//     itself the ring's mean, so it is weighted by the ring's area 2 pi r dr
//     and nothing else.  (The form 2 pi r (A + r A'/2) = pi d(r^2 A)/dr is
//     the weight of a quantity that is a mean over the whole disk of radius
//     r; applied to a ring mean it returns, for a uniform star, the limb
//     ring's magnification instead of the disk's: 1.5355 instead of 2.2271
//     at l = 0.5, re = rstar = 1.)
//
//   * uniform disks (Witt & Mao 1994 [2]): let G(r) be the magnification of
//     the uniform disk of radius r rstar with the lens where it is
//     (u = l rstar/re unchanged, rho scaled by r).  Its magnified flux is
//     pi r^2 G(r), so the ring between r and r + dr contributes
//     dF = pi d(r^2 G)/dr dr = 2 pi r (G + r G'/2) dr.  G must depend on r:
//     a constant G (the whole star's value) would make F/N equal to the
//     uniform-disk magnification for every profile, i.e. ignore the limb
//     darkening altogether (5% off at l = 0.5, rho = 0.1).  Its pieces and
//     rules are in lib/disk_route.hpp.
//
// The ring route chooses, per separation, Gauss rules placed from the
// integrand's singularities and the mean-value series far out
// (lib/ring_route.hpp, lib/ring_rules.hpp); both routes divide by the
// profile's exact flux.  For the built-in law, both routes sum the
// small-source series (lib/small_source.hpp) where the star is small against
// the Einstein radius, inside and near it: no quadrature there.
//
// References
//   [1] D. Heyrovsky, "Computing limb-darkening coefficients from stellar
//       atmosphere models", ApJ 594 (2003) 464-475 (the ring decomposition).
//   [2] H. J. Witt, S. Mao, "Can lensed stars be regarded as pointlike for
//       microlensing by MACHOs?", ApJ 430 (1994) 505-510.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>
#include <vector>

#include "lib/models.hpp"
#include "lib/ring.hpp"
#include "lib/ring_route.hpp"
#include "lib/uniform_disk.hpp"
#include "numerics/numdiff.hpp"

namespace halomag::models {

inline constexpr double TWO_PI = 6.283185307179586;

// A failed evaluation at a quadrature node, as the NaN the sums skip.
inline double value_or_nan(const Expected<double>& value) noexcept {
    return value ? *value : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace halomag::models
