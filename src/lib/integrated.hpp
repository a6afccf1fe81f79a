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
//     (u = l rstar/re unchanged, rho scaled by r; G = 0 for r <= 0).  Its
//     magnified flux is pi r^2 G(r), so the ring between r and r + dr
//     contributes dF = pi d(r^2 G)/dr dr = 2 pi r (G + r G'/2) dr, with G' by
//     central difference (numerics/numdiff.hpp).  G must depend on r: a
//     constant G (the whole star's value) would make F/N equal to the
//     uniform-disk magnification for every profile, i.e. ignore the limb
//     darkening altogether (5% off at l = 0.5, rho = 0.1).  This route is
//     limited to about 1e-5 by the central difference (step ~6e-6).
//
// The ring route chooses, per separation, Gauss rules placed from the
// integrand's singularities and the mean-value series far out
// (lib/ring_route.hpp, lib/ring_rules.hpp), and divides by the profile's
// exact flux.  The uniform-disk route integrates with the tanh-sinh rule of
// numerics/quadrature.hpp, target 1e-16, over pieces of [0, 1]:
//
//   * at r = l, when 0 < l < 1.  The ring through the lens makes A_ring (and
//     G') logarithmically singular there (A_ring ~ (u/(pi l)) ln(1/|r - l|)).
//     One tanh-sinh pass over [0, 1] does not resolve an interior singularity
//     (errors 2e-2 to 4e-2 at l = 0.5), but the rule is at its best with
//     singularities at the ends of the interval [3], so the interval is split
//     there.  Every other l (0, 1 and beyond, negative, NaN) leaves [0, 1]
//     whole.
//   * at every knot of a tabulated profile inside (0, 1).  A piecewise-linear
//     profile has slope jumps at its knots and falls to 0 after the last one;
//     across such kinks the rule converges only algebraically (2e-5 with a
//     five-point table, 1e-3 for a table that stops short of 1), while on
//     each piece the profile is a polynomial.  The normaliser N is split the
//     same way (it has no singularity at l).
//
// The cost is at most 385 integrand evaluations per piece.
//
// References
//   [1] D. Heyrovsky, "Computing limb-darkening coefficients from stellar
//       atmosphere models", ApJ 594 (2003) 464-475 (the ring decomposition).
//   [2] H. J. Witt, S. Mao, "Can lensed stars be regarded as pointlike for
//       microlensing by MACHOs?", ApJ 430 (1994) 505-510.
//   [3] H. Takahasi, M. Mori, "Double exponential formulas for numerical
//       integration", Publ. RIMS Kyoto Univ. 9 (1974) 721-741.
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
#include "numerics/quadrature.hpp"

namespace halomag::models {

inline constexpr double TWO_PI = 6.283185307179586;
inline constexpr double QUADRATURE_TARGET = 1e-16;

// The fixed breakpoints of one call: the knots of a tabulated profile that lie
// strictly inside (0, 1), sorted and without repeats (NaN knots are dropped).
// Built once per call; the lens breakpoint of each separation is merged in
// while integrating, so nothing is allocated per separation.
class Breakpoints {
public:
    Breakpoints() = default;

    explicit Breakpoints(std::span<const double> knots) {
        for (const double k : knots) {
            if (k > 0.0 && k < 1.0) inner_.push_back(k);
        }
        std::sort(inner_.begin(), inner_.end());
        inner_.erase(std::unique(inner_.begin(), inner_.end()), inner_.end());
    }

    // Sum of the tanh-sinh integrals of f over the consecutive pieces of
    // [0, 1] cut at the knots and, when 0 < lens < 1, at the lens.
    //
    // The quadrature counts a non-finite value as 0, which is right for the
    // odd node that hits a pole or a failed evaluation.  When no node at all
    // has a finite value (a NaN separation or radius, say) that rule would
    // turn "no value" into a magnification of 0; the sum is NaN instead.
    template <class F>
    double integrate(F&& f, double lens) const {
        const bool split_at_lens = lens > 0.0 && lens < 1.0;
        bool any_finite = false;
        const auto watched = [&](double r) {
            const double v = f(r);
            any_finite = any_finite || std::isfinite(v);
            return v;
        };
        double total = 0.0;
        double lower = 0.0;
        bool lens_done = !split_at_lens;
        const auto piece = [&](double upper) {
            total += quadrature::double_exponential::integrate(watched, lower, upper,
                                                               QUADRATURE_TARGET)
                         .integral;
            lower = upper;
        };
        for (const double k : inner_) {
            if (!lens_done && lens <= k) {
                lens_done = true;
                if (lens < k) piece(lens);  // a lens on a knot is that knot
            }
            piece(k);
        }
        if (!lens_done) piece(lens);
        piece(1.0);
        return any_finite ? total : std::numeric_limits<double>::quiet_NaN();
    }

    // Number of pieces for a separation (for the benchmark's report).
    std::size_t pieces(double lens) const {
        const bool split_at_lens = lens > 0.0 && lens < 1.0 &&
                                   !std::binary_search(inner_.begin(), inner_.end(), lens);
        return inner_.size() + 1 + (split_at_lens ? 1 : 0);
    }

private:
    std::vector<double> inner_;
};

// The profile's flux N = int_0^1 p(r) 2 pi r dr, split at the knots only.
template <class Profile>
double profile_flux(const Profile& profile, const Breakpoints& breakpoints) {
    return breakpoints.integrate([&](double r) { return profile(r) * (TWO_PI * r); },
                                 std::numeric_limits<double>::quiet_NaN());
}

inline double value_or_nan(const Expected<double>& value) noexcept {
    return value ? *value : std::numeric_limits<double>::quiet_NaN();
}

// Uniform-disk route: int_0^1 p(r) 2 pi r (G + r G'/2) dr / N, with G(r) the
// magnification of the uniform disk of radius r rstar at the same lens
// position u = l rstar/re (0 for r <= 0) and G' its central difference; for
// r < 0 the integrand is 0.  The uniform-disk evaluation of the whole list
// comes first and serves as the gate: its first elliptic error is the
// result, before anything is integrated.
template <class Profile>
Magnifications _integrated_witt_mao_magnification(std::vector<double> l, const Profile& profile,
                                                  double re, double rstar, double N,
                                                  const Breakpoints& breakpoints = {}) {
    const Magnifications gate = witt_mao_magnification(l, re, rstar);
    if (!gate) return std::unexpected(gate.error());

    const double rho = rstar / re;  // stellar radius in Einstein radii
    std::vector<double> result;
    result.reserve(l.size());
    for (const double li : l) {
        const double u = li * rho;
        const auto G = [&](double r) {
            if (!(r > 0.0)) return 0.0;
            return value_or_nan(uniform_disk_magnification(u, DiskConstants(r * rho)));
        };
        const auto integrand = [&](double r) {
            if (r < 0.0) return 0.0;
            const double g = G(r);
            const double d = numdiff::sderivative(G, r);
            return profile(r) * ((TWO_PI * r) * ((0.5 * r) * d + g));
        };
        result.push_back(breakpoints.integrate(integrand, li) / N);
    }
    return result;
}

}  // namespace halomag::models
