// Brightness-weighted magnifications of an extended star.
//
// The magnified flux of a star with radial profile p(r) is the integral over
// its rings, F = int_0^1 p(r) dF(r), normalised by the unmagnified flux
// N = int_0^1 p(r) 2 pi r dr.  Two ways to write the magnified flux of the
// ring at r:
//   * Heyrovsky (2003): 2 pi r A_ring(r) dr, with A_ring the mean point-lens
//     magnification over the ring (lib/ring.hpp);
//   * through uniform disks: pi d(r^2 G(r))/dr dr = 2 pi r (G + r G'/2) dr,
//     with G(r) the magnification of the uniform disk of radius r rstar with
//     the lens where it is (lib/uniform_disk.hpp), G' by central difference.
// Both integrals are done with the tanh-sinh rule on [0, 1].  For 0 < l < 1
// the ring through the lens (r = l) makes the integrand logarithmically
// singular inside the interval, which one tanh-sinh pass cannot resolve
// (errors of a few per cent); the rule handles end-point singularities very
// well, so the interval is split at r = l.  A tabulated profile has kinks at
// its radii (and may drop to 0 after the last): the interval is split there
// too, for the magnified flux and for N.
//
// References
//   [1] D. Heyrovsky, "Computing limb-darkening coefficients from stellar
//       atmosphere models", ApJ 594 (2003) 464 (ring decomposition).
//   [2] H. J. Witt, S. Mao, ApJ 430 (1994) 505.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

#include "lib/models.hpp"
#include "lib/ring.hpp"
#include "lib/uniform_disk.hpp"
#include "numerics/numdiff.hpp"
#include "numerics/quadrature.hpp"

namespace halomag::models {

inline constexpr double TWO_PI = 6.283185307179586;
inline constexpr double QUADRATURE_TARGET = 1e-16;

// The sorted breakpoints 0 = b_0 < b_1 < ... < b_k = 1: the given knots that
// lie strictly inside (0, 1), and the lens separation when 0 < lens < 1.
inline std::vector<double> breakpoints(std::span<const double> knots, double lens) {
    std::vector<double> points{0.0, 1.0};
    for (const double k : knots) {
        if (k > 0.0 && k < 1.0) points.push_back(k);
    }
    if (lens > 0.0 && lens < 1.0) points.push_back(lens);
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
}

// Sum of the tanh-sinh integrals of f over consecutive breakpoints.
template <class F>
double integrate_pieces(F&& f, std::span<const double> points) {
    double total = 0.0;
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        total += quadrature::double_exponential::integrate(f, points[i], points[i + 1],
                                                           QUADRATURE_TARGET)
                     .integral;
    }
    return total;
}

// The profile's flux N = int_0^1 p(r) 2 pi r dr.
template <class Profile>
double profile_flux(const Profile& profile, std::span<const double> knots) {
    const std::vector<double> points = breakpoints(knots, std::numeric_limits<double>::quiet_NaN());
    return integrate_pieces([&](double r) { return profile(r) * (TWO_PI * r); }, points);
}

inline double value_or_nan(const Expected<double>& value) noexcept {
    return value ? *value : std::numeric_limits<double>::quiet_NaN();
}

// Heyrovsky's ring decomposition: int p(r) 2 pi r A_ring(l, r) dr / N.
// A failed ring evaluation is a NaN, which the quadrature counts as 0.
template <class Profile>
std::vector<double> _integrated_heyrovsky_magnification(std::vector<double> l,
                                                        const Profile& profile, double re,
                                                        double rstar, double N,
                                                        std::span<const double> knots = {}) {
    const double u = re / rstar;
    std::vector<double> result;
    result.reserve(l.size());
    for (const double li : l) {
        const auto integrand = [&](double r) {
            const double a = value_or_nan(ring_magnification(li, r, u));
            return profile(r) * ((TWO_PI * r) * a);
        };
        result.push_back(integrate_pieces(integrand, breakpoints(knots, li)) / N);
    }
    return result;
}

// Through uniform disks: int p(r) 2 pi r (G + r G'/2) dr / N, with G(r) the
// magnification of the uniform disk of radius r rstar (0 for r <= 0) at the
// same lens position u = l rstar/re.  The uniform-disk evaluation of the whole
// list first serves as the gate: its first elliptic error is the result.
template <class Profile>
Magnifications _integrated_witt_mao_magnification(std::vector<double> l, const Profile& profile,
                                                  double re, double rstar, double N,
                                                  std::span<const double> knots = {}) {
    const Magnifications gate = witt_mao_magnification(l, re, rstar);
    if (!gate) return std::unexpected(gate.error());

    const double rho = rstar / re;
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
        result.push_back(integrate_pieces(integrand, breakpoints(knots, li)) / N);
    }
    return result;
}

}  // namespace halomag::models
