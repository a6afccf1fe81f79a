// The physical reading of the arguments, applied once at the Python surface
// before any model runs, so that the models see separations and radii
// l >= 0 (or NaN, or +inf) and a finite lens scale 0 < re, rstar.
//
// * Separations l, ring radii r and table radii bl are distances: only |x|
//   enters, so x and -x give the same result bit for bit.  A flux map is
//   thus the table (|bl_j|, bf_j): the discrete sum takes it in any order;
//   the integrated functions interpolate it in the order given, expecting
//   ascending sizes (an unsorted table follows numerics/interp.hpp's rules).
//   The fluxes bf are weights of any sign and are not touched.
// * Only the sizes of re and rstar enter.  The lens is then one of:
//     Finite     re/rstar in [2^-1022, 2^1022]: the models compute;
//     None       re = 0, or rstar infinite, or re/rstar < 2^-1022: no lens on
//                the scale of the star, every ring and disk is magnified by 1;
//     Infinite   re infinite, or re/rstar > 2^1022: an Einstein radius
//                infinitely larger than the star, +inf at every finite
//                separation (NaN at an infinite one, where no limit exists);
//     Undefined  re or rstar NaN, rstar = 0 (lengths in units of a radius 0),
//                or both infinite: NaN everywhere.
//   The cut at 2^+-1022 keeps both the Einstein radius in stellar radii
//   (re/rstar, the ring models' unit) and the stellar radius in Einstein
//   radii (rstar/re, the disk models' unit) normal doubles.  Beyond it the
//   limit is the answer: exact to rounding for a ratio below 2^-1022 except
//   at separations below about 1e-300, and for a ratio above 2^1022 a
//   stand-in for values of order ratio/l that are finite only for l beyond
//   about 1/4.
#pragma once

#include <cmath>
#include <limits>
#include <vector>

namespace halomag::models::inputs {

inline double distance(double x) noexcept { return std::fabs(x); }

inline void distances(std::vector<double>& xs) noexcept {
    for (double& x : xs) x = std::fabs(x);
}

enum class Lens { Finite, None, Infinite, Undefined };

inline constexpr double MAX_RATIO = 0x1p1022;
inline constexpr double MIN_RATIO = 0x1p-1022;

// The kind of lens that (|re|, |rstar|) describe.
inline Lens lens_kind(double re, double rstar) noexcept {
    re = std::fabs(re);
    rstar = std::fabs(rstar);
    if (std::isnan(re) || std::isnan(rstar) || rstar == 0.0) return Lens::Undefined;
    if (std::isinf(re)) return std::isinf(rstar) ? Lens::Undefined : Lens::Infinite;
    if (re == 0.0 || std::isinf(rstar)) return Lens::None;
    const double ratio = re / rstar;
    if (ratio > MAX_RATIO) return Lens::Infinite;
    if (ratio < MIN_RATIO) return Lens::None;
    return Lens::Finite;
}

// The magnification of a ring or disk at distance x (>= 0, or NaN) from a
// lens that is not Finite.
inline double limit_magnification(Lens lens, double x) noexcept {
    constexpr double NAN_ = std::numeric_limits<double>::quiet_NaN();
    switch (lens) {
        case Lens::None:
            return std::isnan(x) ? NAN_ : 1.0;
        case Lens::Infinite:
            return std::isfinite(x) ? std::numeric_limits<double>::infinity() : NAN_;
        case Lens::Finite:
        case Lens::Undefined:
            break;
    }
    return NAN_;
}

// A ring of radius r about a centre at separation l: NaN if either is.
inline double limit_magnification(Lens lens, double l, double r) noexcept {
    if (std::isnan(r)) return std::numeric_limits<double>::quiet_NaN();
    if (lens == Lens::Infinite && std::isinf(r)) return std::numeric_limits<double>::quiet_NaN();
    return limit_magnification(lens, l);
}

// Per separation: the magnification of a whole star (any profile), or the
// weighted ring sum sum_j bf_j A(l_i, bl_j) when bl, bf are given (the plain
// sum, in table order, as the model forms it).
inline std::vector<double> limit_magnifications(Lens lens, const std::vector<double>& l) {
    std::vector<double> result;
    result.reserve(l.size());
    for (const double li : l) result.push_back(limit_magnification(lens, li));
    return result;
}

inline std::vector<double> limit_ring_sums(Lens lens, const std::vector<double>& l,
                                           const std::vector<double>& bl,
                                           const std::vector<double>& bf) {
    std::vector<double> result;
    result.reserve(l.size());
    for (const double li : l) {
        double total = 0.0;
        for (std::size_t j = 0; j < bl.size() && j < bf.size(); ++j) {
            total += limit_magnification(lens, li, bl[j]) * bf[j];
        }
        result.push_back(total);
    }
    return result;
}

}  // namespace halomag::models::inputs
