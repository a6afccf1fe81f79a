// The uniform-disk route of the brightness-weighted magnification.
//
// With G(r) the magnification of the uniform disk of radius r rstar with the
// lens where it is (u = l rstar/re unchanged, rho scaled by r), the magnified
// flux of that disk is pi r^2 G(r), so the star of profile p magnifies its
// flux N = int_0^1 2 pi r p dr by
//
//   A = (1/N) int_0^1 p(r) pi d(r^2 G)/dr dr = (1/N) int_0^1 p(r) 2 pi r (G + r G'/2) dr,
//
// G' by the central difference of numerics/numdiff.hpp (step
// delta = (r + 1) CBRT_EPS).  (d(r^2 G)/dr = 2 r A_ring(l, r): this route and
// the ring route integrate the same function.)
//
// Where the central difference fails.  G is analytic in r except at r = l,
// where the disk's rim passes through the lens: there G' has a logarithmic
// singularity, G' ~ b ln|r - l| with b ~ -2/(pi rho l^2), and the central
// difference is off by G''' delta^2/6 ~ b delta^2 / (6 (r - l)^2).  Summed
// over quadrature nodes this is about delta^2 / (7.5 d) relative, d the
// distance of the nearest node from l: a rule that resolves the logarithm
// (nodes within 1e-3 of l) gives 3e-6, and only d >~ 0.2 keeps the
// derivative's error near 1e-10.  With the lens at the centre (l = 0) the
// same happens at r = 0, G ~ 2/(rho r).  So:
//
//   * outside the band |r - l| < H the integrand above is used as it stands,
//     with the central difference; no probe r +/- delta comes near l;
//   * inside the band the derivative is moved onto the profile by parts,
//       int_a^b p pi (r^2 G)' dr = pi [p r^2 G]_a^b - pi int_a^b p' r^2 G dr,
//     whose integrand has only the integrable (r - l) ln|r - l| of r^2 G.
//     Pieces of the band end at l and at the profile's knots, so p is smooth
//     on each, and p, p' are its one-sided values there.
//
// Negative probes (r - delta < 0 for a node near 0, outside the band) see
// the disk of radius |r|: G is even in r, being a function of the disk's
// area, so the difference stays exact there.  G(0) is the point source.
//
// Each piece is integrated by the tanh-sinh rule of numerics/quadrature.hpp
// (target 1e-16), which tolerates the end-point singularities: the
// logarithm at r = l, the square root of the built-in profile at r = 1.
//
// References
//   [1] H. J. Witt, S. Mao, "Can lensed stars be regarded as pointlike for
//       microlensing by MACHOs?", ApJ 430 (1994) 505-510.
//   [2] H. Takahasi, M. Mori, "Double exponential formulas for numerical
//       integration", Publ. RIMS Kyoto Univ. 9 (1974) 721-741.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "lib/integrated.hpp"
#include "lib/interrupt.hpp"
#include "lib/models.hpp"
#include "lib/profiles.hpp"
#include "lib/uniform_disk.hpp"
#include "numerics/interp.hpp"
#include "numerics/numdiff.hpp"
#include "numerics/quadrature.hpp"

namespace halomag::models {

// Half-width of the band about r = l integrated by parts (stellar radii).
inline constexpr double DISK_ROUTE_BAND = 0.25;

// The profile restricted to one piece [a, b] on which it is smooth: its
// value (the one-sided limits at the ends) and the integral of p' f over the
// piece, f(r) the caller's function.

// The built-in profile p = 1 - 0.6 (1 - sqrt(1 - r^2)) has
// p' = -0.6 r / sqrt(1 - r^2), infinite at the limb.  No node can resolve
// that end in doubles (r = 1 - 1e-17 rounds to 1, losing ~ sqrt(eps) of the
// integral, and so does a piece that stops within rounding of 1), so the
// substitution r = 1 - s^2 (dr = -2 s ds, 1 + r = 2 - s^2) makes it smooth:
//   int_a^b p' f dr = int_sqrt(1-b)^sqrt(1-a) -1.2 r / sqrt(2 - s^2) f(r) ds.
struct LimbDarkeningPiece {
    double a, b;
    double value(double r) const noexcept { return LinearLimbDarkening{}(r); }
    template <class F>
    double slope_integral(F&& f) const {
        return quadrature::double_exponential::integrate(
                   [&](double s) {
                       const double r = 1.0 - s * s;
                       return -1.2 * r / std::sqrt(2.0 - s * s) * f(r);
                   },
                   std::sqrt(1.0 - b), std::sqrt(1.0 - a), QUADRATURE_TARGET)
            .integral;
    }
};

inline LimbDarkeningPiece restrict_to(const LinearLimbDarkening&, double a, double b) noexcept {
    return {a, b};
}

// A tabulated profile is affine between its knots: value and slope from two
// inner points of the piece, which no knot separates.
struct AffinePiece {
    double a, b, middle, at_middle, gradient;
    double value(double r) const noexcept { return at_middle + gradient * (r - middle); }
    template <class F>
    double slope_integral(F&& f) const {
        return gradient * quadrature::double_exponential::integrate(f, a, b, QUADRATURE_TARGET).integral;
    }
};

inline AffinePiece restrict_to(const interp::LinearTable& profile, double a, double b) noexcept {
    const double h = b - a;
    const double x1 = a + 0.25 * h, x2 = a + 0.75 * h;
    const double middle = a + 0.5 * h;
    return {a, b, middle, profile(middle), (profile(x2) - profile(x1)) / (x2 - x1)};
}

namespace detail {

// The sorted inner knots of a tabulated profile, strictly inside (0, 1).
inline std::vector<double> inner_knots(std::span<const double> knots) {
    std::vector<double> inner;
    for (const double k : knots) {
        if (k > 0.0 && k < 1.0) inner.push_back(k);
    }
    std::sort(inner.begin(), inner.end());
    inner.erase(std::unique(inner.begin(), inner.end()), inner.end());
    return inner;
}

}  // namespace detail

// The flux int_0^1 2 pi r p(r) dr of a tabulated profile, exactly: p is
// affine between consecutive cuts (the knots in (0, 1), and 0 and 1), so the
// integrand is quadratic there and the two-point Gauss rule is exact.
inline double table_flux(const interp::LinearTable& profile, std::span<const double> knots) {
    constexpr double NODE = 0.21132486540518713;  // (1 - 1/sqrt(3)) / 2
    std::vector<double> cuts = detail::inner_knots(knots);
    cuts.insert(cuts.begin(), 0.0);
    cuts.push_back(1.0);
    double total = 0.0;
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        const double a = cuts[i], h = cuts[i + 1] - cuts[i];
        const double r1 = a + NODE * h, r2 = cuts[i + 1] - NODE * h;
        total += 0.5 * h * (r1 * profile(r1) + r2 * profile(r2));
    }
    return TWO_PI * total;
}

// The flux of the built-in profile, 0.8 pi.
inline constexpr double LINEAR_LIMB_DARKENING_EXACT_FLUX = 2.5132741228718345;

// The uniform-disk route for every separation.  `knots` are the profile's
// kinks (any order, any values; those inside (0, 1) cut the pieces).  The
// uniform-disk evaluation of the whole list comes first and serves as the
// gate: its first elliptic error is the result, before anything is
// integrated.  `interrupt` counts one unit per disk evaluation.
template <class Profile>
Magnifications _integrated_witt_mao_magnification(std::vector<double> l, const Profile& profile,
                                                  double re, double rstar, double N,
                                                  std::span<const double> knots = {},
                                                  const Interrupt& interrupt = {}) {
    const Magnifications gate = witt_mao_magnification(l, re, rstar, interrupt);
    if (!gate) return std::unexpected(gate.error());

    constexpr double PI = 3.141592653589793;
    const double rho = std::fabs(rstar / re);  // stellar radius in Einstein radii
    const std::vector<double> inner = detail::inner_knots(knots);
    std::vector<double> cuts;
    cuts.reserve(inner.size() + 6);
    std::vector<double> result;
    result.reserve(l.size());
    for (const double li : l) {
        const double lens = std::fabs(li);
        if (std::isnan(lens) || !(rho > 0.0)) {  // no separation, or no star
            result.push_back(std::numeric_limits<double>::quiet_NaN());
            continue;
        }
        const double u = lens * rho;
        std::int64_t evaluations = 0;
        // The disk of radius |r| about the stellar centre; r = 0 is the point source.
        const auto G = [&](double r) {
            ++evaluations;
            const double radius = std::fabs(r) * rho;
            if (radius == 0.0) return detail::disk_series(u, 0.0);
            return value_or_nan(uniform_disk_magnification(u, radius));
        };
        const auto by_difference = [&](double r) {
            const double g = G(r);
            const double d = numdiff::sderivative(G, r);
            return profile(r) * ((TWO_PI * r) * ((0.5 * r) * d + g));
        };

        // Cut [0, 1] at the knots, at the lens and at the band's edges.
        const double band_lo = lens - DISK_ROUTE_BAND, band_hi = lens + DISK_ROUTE_BAND;
        cuts.assign(inner.begin(), inner.end());
        for (const double c : {0.0, 1.0, lens, band_lo, band_hi}) {
            if (c >= 0.0 && c <= 1.0) cuts.push_back(c);
        }
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());

        double total = 0.0;
        for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
            const double a = cuts[i], b = cuts[i + 1];
            if (a >= band_lo && b <= band_hi) {
                const auto piece = restrict_to(profile, a, b);
                const double ends = piece.value(b) * (b * b) * G(b) -
                                    (a == 0.0 ? 0.0 : piece.value(a) * (a * a) * G(a));
                const double inside =
                    piece.slope_integral([&](double r) { return (r * r) * G(r); });
                total += PI * (ends - inside);
            } else {
                total += quadrature::double_exponential::integrate(by_difference, a, b,
                                                                   QUADRATURE_TARGET).integral;
            }
            if (interrupt(evaluations)) return interrupted();
            evaluations = 0;
        }
        result.push_back(total / N);
    }
    return result;
}

}  // namespace halomag::models
