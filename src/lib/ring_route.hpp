// Heyrovsky's ring route for a star of radial brightness p(r):
//
//   A(l) = int_0^1 p(r) A_ring(l, r) 2 pi r dr / N,   N = int_0^1 p(r) 2 pi r dr,
//
// with the rules of lib/ring_rules.hpp, and far out the mean-value series
// (for the built-in law near a small star, the series of lib/small_source.hpp).
//
// Far field.  The mean of a smooth function over a circle of radius r about
// a point is sum_n (r/2)^(2n) Delta^n A(l) / (n!)^2 [2], so averaging over
// the profile gives
//
//   A(l) = sum_n <r^(2n)> Delta^n A_pl(l) / (4^n (n!)^2),
//
// <r^(2n)> the profile's moments, Delta the plane Laplacian and A_pl the
// point-lens magnification (t^2 + 2)/(t sqrt(t^2 + 4)), t = l/u.  This is
// the uniform disk's series (lib/uniform_disk.hpp, whose moments are
// 1/(n + 1)) with term n weighted by c_n = (n + 1) <r^(2n)>; its terms are
// closed forms, all of one sign, so nothing cancels, and from l = 3 on
// twenty of them reach rounding for any profile of non-negative
// brightness.  No ring is evaluated there: on a typical light curve that
// is nearly every epoch.
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
#include <type_traits>
#include <utility>
#include <vector>

#include "elliptic/ellip.hpp"
#include "lib/interrupt.hpp"
#include "lib/models.hpp"
#include "lib/ring.hpp"
#include "lib/ring_rules.hpp"
#include "lib/small_source.hpp"
#include "lib/uniform_disk.hpp"
#include "numerics/gauss.hpp"
#include "numerics/interp.hpp"
#include "numerics/product.hpp"
#include "numerics/weighted_gauss.hpp"

namespace halomag::models {

// The weights c_n = (n + 1) <r^(2n)>, n = 1..N, of the mean-value series
// (lib/uniform_disk.hpp, mean_value_series), <r^(2n)> the profile's
// moments normalised by its flux.
using SeriesWeights = std::array<double, detail::DISK_SERIES_TERMS>;

// From this separation on the series is used.  Its terms fall like
// (1/l)^(2n) times at most 1.5 (n + 2)/(n + 1) per step; at l = 3 twenty
// terms bring it below rounding for every profile of non-negative
// brightness (tested against the rules at the threshold), as for the
// uniform disk, which switches at the same separation.
inline constexpr double SERIES_FROM = DISK_SERIES_FROM;

// The mean-value series (see the header) at l >= SERIES_FROM: the uniform
// disk's series in Einstein radii (separation l/u, stellar radius 1/u,
// x = 1/l^2) with the profile's weights.  Every term is positive for a
// profile of non-negative brightness, so the sum does not cancel and the
// result is never below 1; A - 1 ~ 2 (u/l)^4 underflows beyond l = 2^500 u.
inline double far_field_series(double l, double u, const SeriesWeights& c) noexcept {
    const double separation = l / u;
    if (separation > 0x1p500) return 1.0;
    const double inverse = 1.0 / l;
    return detail::mean_value_series(separation, inverse * inverse, c.data());
}

// The built-in linear limb darkening 1 - 0.6 (1 - sqrt(1 - r^2)) on the
// ring route: its exact flux 0.8 pi and moments <r^(2n)> =
// (0.4/(n + 1) + 0.6 B(n + 1, 3/2)) / 0.8 (in w = r^2 the profile is
// 0.4 + 0.6 sqrt(1 - w), and int_0^1 w^n sqrt(1 - w) dw = B(n + 1, 3/2)),
// with B(n + 1, 3/2) = B(n, 3/2) n / (n + 3/2), B(1, 3/2) = 2/3.
constexpr SeriesWeights limb_darkened_series_weights() noexcept {
    SeriesWeights c{};
    double beta = 2.0 / 3.0;  // B(1, 3/2)
    for (std::size_t n = 1; n <= c.size(); ++n) {
        const double m = static_cast<double>(n);
        beta *= m / (m + 1.5);  // B(n + 1, 3/2)
        c[n - 1] = (0.4 + 0.6 * (m + 1.0) * beta) / 0.8;
    }
    return c;
}

struct LimbDarkenedDisk {
    static constexpr double FLUX = 2.5132741228718345;  // 0.8 pi
    double flux() const noexcept { return FLUX; }
    double peak() const noexcept { return 1.0 / FLUX; }  // max p / N
    SeriesWeights series_weights() const noexcept { return limb_darkened_series_weights(); }
    template <class Emit>
    void nodes(double l, double u, Emit& emit) const {
        rules::limb_darkened_nodes(l, u, emit);
    }
};

// The sorted inner knots of a tabulated profile, strictly inside (0, 1),
// without repeats (NaN knots are dropped).
inline std::vector<double> inner_knots(std::span<const double> knots) {
    std::vector<double> inner;
    for (const double k : knots) {
        if (k > 0.0 && k < 1.0) inner.push_back(k);
    }
    std::sort(inner.begin(), inner.end());
    inner.erase(std::unique(inner.begin(), inner.end()), inner.end());
    return inner;
}

// A tabulated profile on the ring route: the pieces of [0, 1] between its
// knots on which it is linear and not identically 0 (knots outside [0, 1],
// repeats and NaN cost nothing), its exact flux and the series weights from
// its moments (Gauss-Legendre of MOMENT_NODES nodes per piece is exact for
// p(r) r^(2N + 1), N the series' last term).
class TabulatedDisk {
public:
    static constexpr std::size_t MOMENT_NODES = detail::DISK_SERIES_TERMS + 2;

    TabulatedDisk(const interp::LinearTable& profile, std::span<const double> bl) {
        // A one-sample table is constant: nothing to cut at; an empty one
        // has no pieces.
        std::vector<double> cuts;
        if (!bl.empty()) {
            cuts = bl.size() >= 2 ? inner_knots(bl) : std::vector<double>{};
            cuts.insert(cuts.begin(), 0.0);
            cuts.push_back(1.0);
        }
        // At most one piece per cut: reserved, so that growing the lists
        // never holds two copies at once.
        pieces_.reserve(cuts.size());
        lines_.reserve(cuts.size());
        const quadrature::gauss::Rule rule = quadrature::gauss::legendre(MOMENT_NODES);
        const quadrature::gauss::Rule two = quadrature::gauss::legendre(2);
        std::array<double, detail::DISK_SERIES_TERMS + 1> sums{};
        for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
            const double a = cuts[k], b = cuts[k + 1], h = b - a;
            const double p1 = profile(a + h / 3.0), p2 = profile(b - h / 3.0);
            if (p1 == 0.0 && p2 == 0.0) continue;  // linear and 0 at two points
            pieces_.push_back({a, b});
            // Largest |p| on the piece: at an end of its line.
            const double pa = p1 + (p1 - p2), pb = p2 + (p2 - p1);
            // The line through the piece's middle, from the table itself.
            const double middle = a + 0.5 * h, slope = (p2 - p1) / ((b - h / 3.0) - (a + h / 3.0));
            lines_.push_back(rules::Line{middle, profile(middle), slope});
            peak_ = std::max({peak_, std::fabs(pa), std::fabs(pb)});
            // The flux by the two-point rule, exact for the quadratic p(r) r
            // with the fewest roundings; the moments by the long rule.
            for (std::size_t i = 0; i < two.size(); ++i) {
                const double r = two.t[i] <= 0.5 ? a + h * two.t[i] : b - h * two.one_minus_t[i];
                flux_ += h * two.w[i] * profile(r) * (rules::TWO_PI * r);
            }
            for (std::size_t i = 0; i < rule.size(); ++i) {
                const double r = rule.t[i] <= 0.5 ? a + h * rule.t[i] : b - h * rule.one_minus_t[i];
                const double r2 = r * r;
                double w = h * rule.w[i] * profile(r) * (rules::TWO_PI * r);
                for (double& sum : sums) {
                    sum += w;
                    w *= r2;
                }
            }
        }
        for (std::size_t n = 1; n < sums.size(); ++n) {
            weights_[n - 1] = static_cast<double>(n + 1) * (sums[n] / sums[0]);
        }
        for (std::size_t k = 0; k < pieces_.size(); ++k) {
            const auto [a, b] = pieces_[k];
            for (std::size_t j = 0; j < SEGMENTS; ++j) {
                const double lo = static_cast<double>(j) * SEGMENT, hi = lo + SEGMENT;
                if (!(a < hi && b > lo)) continue;
                segment_pieces_[j].push_back({(std::max(a, lo) - lo) / SEGMENT, (std::min(b, hi) - lo) / SEGMENT});
                segment_line_[j].push_back(k);
            }
        }
        // A profile nowhere negative on the disk: its product rules can be
        // Gauss rules of its own measure (numerics/weighted_gauss.hpp).
        positive_ = std::all_of(lines_.begin(), lines_.end(), [&, k = std::size_t{0}](const rules::Line& line) mutable {
            const auto [a, b] = pieces_[k++];
            return line(a) >= 0.0 && line(b) >= 0.0;
        });
        peak_ /= std::fabs(flux_);
        if (!std::isfinite(peak_)) peak_ = std::numeric_limits<double>::infinity();
    }

    double flux() const noexcept { return flux_; }
    double peak() const noexcept { return peak_; }  // max |p| / |N|
    SeriesWeights series_weights() const noexcept { return weights_; }
    std::size_t pieces() const noexcept { return pieces_.size(); }

    // The nodes of every piece, with the piece's own line p(r) = p(m) +
    // slope (r - m) about its middle m in the area weight: no search of the
    // table per node, and no cancellation where the line is steep (an
    // intercept form c0 + c1 r would lose |c1| r / |p| of the digits).
    //
    // A piece at least twice its length from the lens is planned here, as
    // rules::piece_nodes would plan it, without its general machinery: its
    // nearest singularity is then the ring through the lens, r = l, on the
    // real axis.  (The ring mean's other singularities, r = -l and
    // r = +-l +- 2iu, and for a piece outside that ring its branch point
    // r = 0, lie farther along the axis or at the same offset and off it:
    // their Bernstein ellipses are larger.)  So one Gauss-Legendre rule,
    // sized from rho = A + sqrt(A^2 - 1), A = 1 + 2 d/length (and the reach
    // of the piece's line, rules::tilt_factor), and the nodes measured from
    // the end nearer the lens, as there.  Most of a table's pieces are such,
    // and this is most of their planning.
    //
    // With the lens off the star (l > 1) the ring mean is analytic on all of
    // [0, 1], and one rule over the whole star integrates p times it, the
    // kinks in its weights (built once per size, and kept with the disk):
    // for a profile nowhere negative, the Gauss rule of the measure p(r) dr
    // (numerics/weighted_gauss.hpp), which converges like Gauss-Legendre and
    // is sized for rho^(-2n) <= e^(-2 K_TABLE); otherwise the product rule at
    // Gauss-Legendre nodes (numerics/product.hpp), which converges at half
    // that rate and is sized for twice K.  Either is used where its n is below
    // what the pieces would take one by one (11 radii at l = 2: 10 rings,
    // where the pieces took 51 and the product rule 22).
    //
    // With the lens on the star the same holds for each eighth of the star
    // at least its own length from the lens and holding three pieces or
    // more: one rule over that eighth in place of its pieces' rules where it
    // takes fewer rings; the pieces' rules cover the rest.  (51 radii on the
    // comparison grid: 151 rings per point, 192 with product rules alone.)
    template <class Emit>
    void nodes(double l, double u, Emit& emit) const {
        if ((l > 1.0 || l == 0.0) && product_nodes(l, u, emit)) return;
        LazyImages images{l, u, false, {}};
        std::array<Whole, SEGMENTS> whole{};  // n = 0: the eighth by its pieces
        for (std::size_t j = 0; j < SEGMENTS; ++j) whole[j] = segment_rule(j, l, u);
        const Region inner = side_region(false, l, whole), outer = side_region(true, l, whole);
        const double from = inner.n > 0 ? inner.cut : 0.0, to = outer.n > 0 ? outer.cut : 1.0;
        bool any = false;
        for (std::size_t j = 0; j < SEGMENTS; ++j) {
            const double lo = static_cast<double>(j) * SEGMENT;
            if (!(lo >= from && lo + SEGMENT <= to)) whole[j] = {};
            any = any || whole[j].n > 0;
        }
        for (std::size_t k = 0; k < pieces_.size(); ++k) {
            const double a = std::max(pieces_[k][0], from), b = std::min(pieces_[k][1], to);
            if (!(b > a)) continue;
            if (!any) {
                piece_rule(a, b, k, l, u, emit, images);
                continue;
            }
            // The runs of the piece outside the eighths ruled as a whole.
            double lo = a;
            while (lo < b) {
                const std::size_t j = eighth(lo);
                const double end = std::min(b, static_cast<double>(j + 1) / static_cast<double>(SEGMENTS));
                if (whole[j].n > 0) {
                    lo = end;
                    continue;
                }
                double hi = end;
                while (hi < b && whole[eighth(hi)].n == 0) {
                    hi = std::min(b, static_cast<double>(eighth(hi) + 1) / static_cast<double>(SEGMENTS));
                }
                piece_rule(lo, hi, k, l, u, emit, images);
                lo = hi;
            }
        }
        for (std::size_t j = 0; j < SEGMENTS; ++j) {
            if (whole[j].n > 0) segment_nodes(j, whole[j], l, emit);
        }
        if (inner.n > 0) region_nodes(false, inner, l, emit);
        if (outer.n > 0) region_nodes(true, outer, l, emit);
    }

private:
    // Gauss-Legendre nodes for a piece of length h whose nearest
    // singularity is real, at distance d beyond an end: the ellipse's
    // semi-major axis is A = 1 + 2 d/h.
    static std::size_t far_nodes(double d, double h, double kk) noexcept {
        return rules::nodes_for(quadrature::gauss::rho_of_axis(1.0 + 2.0 * (d / h)), kk);
    }

    // Gauss-Legendre nodes for [a, b] with the lens on the centre: the
    // integrand 2 pi r A_pl(r/u) is singular at r = +-2iu alone.
    static std::size_t centred_size(double a, double b, double u, double kk) noexcept {
        namespace gauss = quadrature::gauss;
        const rules::Complex centred(0.0, 2.0 * u);
        return rules::nodes_for(gauss::rho_of_axis(std::sqrt(gauss::bernstein_axis_squared(centred, a, b))), kk);
    }

    // Piece k's line at r.
    double line_value(std::size_t k, double r) const noexcept { return lines_[k](r); }

    static std::size_t eighth(double x) noexcept {
        return std::min(SEGMENTS - 1, static_cast<std::size_t>(x * static_cast<double>(SEGMENTS)));
    }

    static constexpr std::size_t SEGMENTS = 8;
    static constexpr double SEGMENT = 1.0 / static_cast<double>(SEGMENTS);
    static constexpr std::size_t SEGMENT_PIECES = 3;  // fewest pieces for a product rule

    // What the pieces next to the lens see of the ring mean's singularities
    // (rules::lens_images), formed once per separation, when first asked for.
    struct LazyImages {
        double l, u;
        bool ready = false;
        rules::LensImages images;
        const rules::LensImages* get() {
            if (!ready) {
                images = rules::lens_images(l, u);
                ready = true;
            }
            return &images;
        }
    };

    // The rules of one piece k over [a, b] (the whole piece, or a run of it).
    template <class Emit>
    void piece_rule(double a, double b, std::size_t k, double l, double u, Emit& emit, LazyImages& images) const {
        namespace gauss = quadrature::gauss;
        const rules::Line& line = lines_[k];
        rules::Brightened<Emit, rules::Line> bright{emit, line};
        const double h = b - a;
        // (With the lens on the centre, l = 0, the nearest singularity is
        // r = +-2iu, not r = l: the general rules.)
        const bool before = l >= b + 2.0 * h, after = l > 0.0 && l <= a - 2.0 * h;  // false for NaN
        if (!(before || after)) {
            rules::piece_nodes(a, b, l, u, bright, rules::Singularities{}, rules::K_TABLE, line, images.get());
            return;
        }
        const gauss::Rule rule = gauss::legendre(far_size(a, b, k, l, before));
        for (std::size_t i = 0; i < rule.size(); ++i) {
            const double t = rule.t[i];
            const double x = t <= 0.5 ? h * t : h - h * rule.one_minus_t[i];
            const double r = before ? b - x : a + x;
            bright(rules::Node{r, before ? (l - b) + x : (l - a) - x, rules::TWO_PI * r}, h * rule.w[i]);
        }
    }

    // The Gauss-Legendre size for part [a, b] of piece k, at least twice its
    // length from the lens, below it (`before`) or above: the ellipse
    // through the lens, and the line's reach on it (as rules::legendre sizes
    // it, from the end nearer the lens).
    std::size_t far_size(double a, double b, std::size_t k, double l, bool before) const noexcept {
        const rules::Line& line = lines_[k];
        const double h = b - a, d = before ? l - b : a - l;
        const double axis = 1.0 + 2.0 * (d / h);
        const rules::Tilt tilt = before ? rules::Tilt{line(b), -line.slope} : rules::Tilt{line(a), line.slope};
        const double kk = rules::K_TABLE + 0.5 * rules::tilt_log(tilt, 0.0, h, axis);
        return std::min(far_nodes(d, h, kk), rules::LEGENDRE_CAP);
    }

    // A rule over eighth j (or the whole star, j = SEGMENTS) in place of its
    // pieces' rules: n nodes, by the Gauss rule of the profile's own measure
    // (`own`) or by the product rule at Gauss-Legendre nodes; n = 0 where
    // the pieces are ruled one by one.
    struct Whole {
        std::size_t n = 0;
        bool own = false;
    };

    // The n-point Gauss rule of the profile's measure over eighth j (or the
    // whole star, j = SEGMENTS); nullptr for a profile negative somewhere on
    // the disk, or where no such rule was found.
    const quadrature::WeightedGauss::Nodes* own_gauss(std::size_t j, std::size_t n) const {
        if (!positive_ || n > quadrature::WeightedGauss::CAP) return nullptr;
        if (j == SEGMENTS) {
            return gauss_.rule(n, pieces_, [&](std::size_t k, double t) { return line_value(k, t); });
        }
        const double lo = static_cast<double>(j) * SEGMENT;
        return segment_gauss_[j].rule(n, segment_pieces_[j], [&](std::size_t i, double t) {
            return line_value(segment_line_[j][i], lo + SEGMENT * t);
        });
    }

    // The rule of eighth j at separation l, if it takes fewer rings than its
    // pieces.  Its nearest singularity is the ring through the lens, at
    // distance d >= its length (as for the pieces far from the lens, the
    // others lie farther).  The Gauss rule of the profile's measure
    // converges like rho^(-2n), as Gauss-Legendre does, and is sized for
    // K_TABLE; the product rule, like rho^(-n), for twice that.
    //
    // With the lens on the centre (l = 0) r = 0 is no singularity (the
    // integrand 2 pi r A_pl(r/u) is analytic there): the nearest are
    // r = +-2iu, for the eighth and for its pieces alike.
    Whole segment_rule(std::size_t j, double l, double u) const {
        namespace gauss = quadrature::gauss;
        if (segment_pieces_[j].size() < SEGMENT_PIECES ||
            segment_pieces_[j].size() > quadrature::ProductRule::MAX_PIECES) {
            return {};
        }
        const double lo = static_cast<double>(j) * SEGMENT, hi = lo + SEGMENT;
        const auto centred_nodes = [&](double a, double b, double kk) { return centred_size(a, b, u, kk); };
        const double d = l >= hi ? l - hi : (l <= lo ? lo - l : -1.0);
        if (!(d >= SEGMENT)) return {};  // also NaN
        const auto sized = [&](double kk) {
            return rules::kept_size(l == 0.0 ? centred_nodes(lo, hi, kk) : far_nodes(d, SEGMENT, kk));
        };
        // What the pieces take one by one, up to `n`.
        const auto by_pieces_above = [&](std::size_t n) {
            std::size_t by_pieces = 0;
            for (const auto& [ta, tb] : segment_pieces_[j]) {
                const double a = lo + SEGMENT * ta, b = lo + SEGMENT * tb, h = b - a;
                const double dk = l >= b ? l - b : a - l;
                by_pieces += l == 0.0 ? centred_nodes(a, b, rules::K_TABLE) : far_nodes(dk, h, rules::K_TABLE);
                if (by_pieces > n) return true;
            }
            return false;
        };
        const std::size_t n_own = sized(rules::K_TABLE);
        if (positive_ && n_own <= quadrature::WeightedGauss::CAP && by_pieces_above(n_own) &&
            own_gauss(j, n_own) != nullptr) {
            return {n_own, true};
        }
        const std::size_t n = sized(2.0 * rules::K_TABLE);
        if (n > quadrature::ProductRule::CAP || !by_pieces_above(n)) return {};
        return {n, false};
    }

    // The nodes of the rule `whole` over eighth j, or over the whole star
    // (j = SEGMENTS).
    template <class Emit>
    void segment_nodes(std::size_t j, Whole whole, double l, Emit& emit) const {
        namespace gauss = quadrature::gauss;
        const bool star = j == SEGMENTS;
        const double lo = star ? 0.0 : static_cast<double>(j) * SEGMENT, length = star ? 1.0 : SEGMENT;
        const double hi = lo + length;
        if (whole.own) {
            const quadrature::WeightedGauss::Nodes& rule = *own_gauss(j, whole.n);
            for (std::size_t i = 0; i < whole.n; ++i) {
                const double r = lo + length * rule.t[i];
                emit(rules::Node{r, l - r, rules::TWO_PI * r}, length * rule.w[i]);
            }
            return;
        }
        const std::vector<double>& w =
            star ? product_.weights(whole.n, pieces_, [&](std::size_t k, double t) { return line_value(k, t); })
                 : segment_product_[j].weights(whole.n, segment_pieces_[j], [&](std::size_t i, double t) {
                       return line_value(segment_line_[j][i], lo + SEGMENT * t);
                   });
        const gauss::Rule rule = gauss::legendre(whole.n);
        for (std::size_t i = 0; i < whole.n; ++i) {
            const double r = rule.t[i] <= 0.5 ? lo + length * rule.t[i] : hi - length * rule.one_minus_t[i];
            emit(rules::Node{r, l - r, rules::TWO_PI * r}, length * w[i]);
        }
    }

    // The whole star in one rule, with the lens off it or on its centre,
    // where that takes fewer rings than the pieces (sized as for the
    // eighths, from every singularity of the ring mean; with the lens on the
    // centre r = 0 is none, see segment_rule).
    template <class Emit>
    bool product_nodes(double l, double u, Emit& emit) const {
        namespace gauss = quadrature::gauss;
        if (pieces_.size() > quadrature::ProductRule::MAX_PIECES) return false;
        const bool centred = l == 0.0;
        double axis2 = std::numeric_limits<double>::infinity();
        for (const rules::Complex z : rules::ring_singularities(l, u)) {
            if (!centred || z.imag() != 0.0) axis2 = std::min(axis2, gauss::bernstein_axis_squared(z, 0.0, 1.0));
        }
        const double rho = gauss::rho_of_axis(std::sqrt(axis2));
        // What the pieces would take one by one (at least one node each; a
        // piece within two lengths of the lens, more than the whole rule).
        const auto by_pieces_above = [&](std::size_t n) {
            std::size_t by_pieces = 0;
            for (const auto& [a, b] : pieces_) {
                const double h = b - a, d = l - b;
                by_pieces += centred      ? centred_size(a, b, u, rules::K_TABLE)
                             : d >= 2.0 * h ? far_nodes(d, h, rules::K_TABLE)
                                            : n + 1;
                if (by_pieces > n) return true;
            }
            return false;
        };
        const std::size_t n_own = rules::kept_size(rules::nodes_for(rho, rules::K_TABLE));
        if (positive_ && n_own <= quadrature::WeightedGauss::CAP && by_pieces_above(n_own) &&
            own_gauss(SEGMENTS, n_own) != nullptr) {
            segment_nodes(SEGMENTS, Whole{n_own, true}, l, emit);
            return true;
        }
        const std::size_t n = rules::kept_size(rules::nodes_for(rho, 2.0 * rules::K_TABLE));
        if (n > quadrature::ProductRule::CAP || !by_pieces_above(n)) return false;
        segment_nodes(SEGMENTS, Whole{n, false}, l, emit);
        return true;
    }

    // Regions: [0, k/16] below the lens and [k/16, 1] above it, each in
    // one Gauss rule of the profile's measure in place of the pieces' rules
    // there, where that takes fewer rings.  The ring mean is analytic on a
    // region but for the ring through the lens beyond its end (its other
    // singularities, r = -l, r = +-l +- 2iu, and above the lens its branch
    // point r = 0, lie farther along the axis or off it), so the rule
    // converges like rho^(-2n), rho from the ellipse through the nearest
    // singularity, and is sized for K_TABLE as the eighths are.  The pieces
    // that hold or touch the ring through the lens keep their rules (the
    // logarithmic core and the exponential map); a region may take any
    // other (see side_region for the choice of its end).  Their ends on
    // sixteenths let a table keep their rules (at most 30 regions): a light
    // curve's separations share them.  (11 radii on the comparison grid: 55
    // rings per point, 69 piece by piece with the eighths.)
    static constexpr std::size_t REGIONS = 16;
    static constexpr double REGION = 1.0 / static_cast<double>(REGIONS);
    // Cuts tried per side: the two nearest the lens that a rule can take.
    // A third chose differently nowhere on the comparison grid (5, 11 and 51
    // radii: the same rings per point) and cost a twentieth of the planning.
    static constexpr std::size_t REGION_CHOICES = 2;
    // A rule of at most CAP nodes reaches rho^(-2 CAP) <= e^(-2 K_TABLE) for
    // rho >= e^(K_TABLE/CAP), an ellipse through a point d beyond the end of
    // [0, length] with 1 + 2 d/length >= cosh(K_TABLE/CAP) (K = 17: d/length
    // >= 0.07223);
    // nearer points ask for more (this bound, a little below, only spares
    // the logarithm; the size is checked exactly after it).
    static constexpr double REGION_REACH = 0.0722;
    // Fewest whole pieces a region holds: one piece is ruled as well alone,
    // and a rule kept for it would cost memory for nothing.
    static constexpr std::size_t REGION_PIECES = 2;
    // Most pieces a table may have for regions: a region's rule is built
    // from a copy of its share of the pieces, which stays a small multiple
    // of the table (and a table of many more pieces gains little).
    static constexpr std::size_t REGION_MAX_PIECES = 256;

    struct Region {
        std::size_t k = 0;  // its cut at k/16
        double cut = 0.0;
        std::size_t n = 0;  // 0: no region
    };

    // The n-point Gauss rule of the profile's measure over the region below
    // (outer = false) or above the cut k/16, kept by the table; nullptr where
    // none exists (no mass there, or the construction refused).
    const quadrature::WeightedGauss::Nodes* region_gauss(bool outer, std::size_t k, std::size_t n) const {
        const std::size_t key = outer ? REGIONS + k : k;
        auto found = std::find_if(region_gauss_.begin(), region_gauss_.end(), [&](const auto& e) { return e.first == key; });
        if (found == region_gauss_.end()) {
            region_gauss_.emplace_back(key, quadrature::WeightedGauss{});
            found = region_gauss_.end() - 1;
        }
        quadrature::WeightedGauss& rules = found->second;
        if (const auto* kept = rules.kept(n); kept != nullptr) return kept;
        if (rules.refused(n) || n > quadrature::WeightedGauss::CAP) return nullptr;
        const double lo = outer ? static_cast<double>(k) * REGION : 0.0;
        const double hi = outer ? 1.0 : static_cast<double>(k) * REGION, length = hi - lo;
        // The pieces that reach into the region, in its own variable: a run
        // of the table's, copied once (the copy is the build's only memory
        // beyond the rule it keeps).
        const auto first = std::partition_point(pieces_.begin(), pieces_.end(), [&](const auto& p) { return p[1] <= lo; });
        const auto last = std::partition_point(first, pieces_.end(), [&](const auto& p) { return p[0] < hi; });
        const auto offset = static_cast<std::size_t>(first - pieces_.begin());
        std::vector<std::array<double, 2>> parts;
        parts.reserve(static_cast<std::size_t>(last - first));
        for (auto piece = first; piece != last; ++piece) {
            parts.push_back({(std::max((*piece)[0], lo) - lo) / length, (std::min((*piece)[1], hi) - lo) / length});
        }
        return rules.rule(n, parts, [&](std::size_t i, double t) { return line_value(offset + i, lo + length * t); });
    }

    // About the nodes far_size gives [a, b] at distance d from the lens.
    // far_size's count n = ceil(K / acosh(1 + 2 d/h)) without its tilt: at
    // most N nodes from d/h >= (cosh(K/N) - 1)/2 on, so a count of the
    // thresholds above d/h (d >= 2h takes at most 8, as 1 + 2 x 2 >=
    // cosh(K/8); nearer, the formula itself).
    static double rough_size(double d, double h) noexcept {
        static constexpr std::size_t FEW = 8;
        static const std::array<double, FEW> below = [] {
            std::array<double, FEW> t{};
            for (std::size_t n = 1; n <= FEW; ++n) t[n - 1] = 0.5 * (std::cosh(rules::K_TABLE / static_cast<double>(n)) - 1.0);
            return t;
        }();
        const double x = d / h;
        if (!(x >= below[FEW - 1])) {
            return std::ceil(rules::K_TABLE / rules::rough_log(quadrature::gauss::rho_of_axis(1.0 + 2.0 * x)));
        }
        double n = 1.0;
        for (std::size_t k = 0; k + 1 < FEW; ++k) n += x < below[k] ? 1.0 : 0.0;
        return n;
    }

    // About the nodes the general rules take for a run of length h at
    // distance d > 0 from the lens: far_size's rule from two lengths on;
    // nearer, rules::from_lens's map, whose size grows with its span
    // ln(1 + h/d), about 6 + 2.4 ln(1 + h/d) nodes (fitted to the sizes it
    // plans for the sine-spaced 11-radius table, u from 0.05 to 2: 7 at
    // d = 2h, 8 at d = h, 12 at d = h/15, 19 at d = h/150).
    static double rough_run(double d, double h) noexcept {
        if (d >= 2.0 * h) return rough_size(d, h);
        return std::ceil(6.0 + 2.4 * rules::rough_log(1.0 + h / d));
    }

    // About the nodes [a, b] takes outside the eighths ruled whole, with the
    // lens beyond one of its ends.
    double rough_cost(double a, double b, double l, const std::array<Whole, SEGMENTS>& whole) const noexcept {
        const bool before = b <= l;
        double cost = 0.0;
        for (double x = a; x < b;) {
            const std::size_t j = eighth(x);
            const double end = std::min(b, static_cast<double>(j + 1) * SEGMENT);
            if (whole[j].n == 0) cost += rough_run(before ? l - end : x - l, end - x);
            x = end;
        }
        return cost;
    }

    // Whether the cut k/16 lies inside an eighth ruled whole.
    static bool splits_whole(std::size_t k, const std::array<Whole, SEGMENTS>& whole) noexcept {
        return k % 2 == 1 && whole[k / 2].n > 0;
    }

    // The nodes of the eighths ruled whole inside [lo, hi].
    static double whole_cost(double lo, double hi, const std::array<Whole, SEGMENTS>& whole) noexcept {
        double cost = 0.0;
        for (std::size_t j = 0; j < SEGMENTS; ++j) {
            const double a = static_cast<double>(j) * SEGMENT;
            if (whole[j].n > 0 && a >= lo && a + SEGMENT <= hi) cost += static_cast<double>(whole[j].n);
        }
        return cost;
    }

    // The region below the lens (outer = false) or above it, if one takes
    // fewer rings than the pieces and eighths it replaces.  The cuts are
    // tried from the lens outwards, beyond the pieces that hold or touch the
    // ring through the lens (those keep their rules); each is scored by the
    // region's nodes plus what is left between it and those pieces, and the
    // best is taken where what it replaces costs more.  The counts are
    // rough (rough_run): they choose the rules, they never size them.
    Region side_region(bool outer, double l, const std::array<Whole, SEGMENTS>& whole) const {
        if (!positive_ || !(l > 0.0) || pieces_.size() > REGION_MAX_PIECES) return {};
        const std::size_t count = pieces_.size();
        // The pieces on this side that do not reach the lens: [0, end) below
        // it, [end, count) above it, in order from the lens outwards.
        const auto below_lens = [&](const std::array<double, 2>& p) { return outer ? p[0] <= l : p[1] < l; };
        const auto end = static_cast<std::size_t>(std::partition_point(pieces_.begin(), pieces_.end(), below_lens) -
                                                  pieces_.begin());
        if (outer ? end == count : end == 0) return {};
        const auto piece = [&](std::size_t step) { return outer ? end + step : end - 1 - step; };
        const std::size_t pieces = outer ? count - end : end;
        // Where the pieces that reach the lens stop (or the lens itself).
        double edge = l;
        if (outer && end > 0 && pieces_[end - 1][1] > l) edge = pieces_[end - 1][1];
        if (!outer && end < count && pieces_[end][0] < l) edge = pieces_[end][0];
        const auto beyond_cut = [&](std::size_t i, double cut) { return outer ? pieces_[i][0] >= cut : pieces_[i][1] <= cut; };

        Region best;
        double best_score = std::numeric_limits<double>::infinity(), best_part = 0.0;
        std::size_t best_step = 0;
        double between = 0.0;  // the pieces wholly between the lens' pieces and the cut
        std::size_t step = 0;  // pieces [0, step) from the lens are between
        std::size_t feasible = 0;
        const double first = outer ? std::ceil(edge * static_cast<double>(REGIONS))
                                   : std::min(std::floor(edge * static_cast<double>(REGIONS)), static_cast<double>(REGIONS - 1));
        for (double kd = first; kd >= 1.0 && kd <= static_cast<double>(REGIONS - 1) && feasible < REGION_CHOICES;
             kd += outer ? 1.0 : -1.0) {
            const auto k = static_cast<std::size_t>(kd);
            const double cut = kd * REGION;
            // (What lies nearer the lens than the first cut a rule can take is
            // left by every choice: its cost would not change the choice.)
            while (step < pieces && (outer ? pieces_[piece(step)][1] <= cut : pieces_[piece(step)][0] >= cut)) {
                const std::size_t i = piece(step++);
                if (feasible > 0) between += rough_cost(pieces_[i][0], pieces_[i][1], l, whole);
            }
            if (splits_whole(k, whole)) continue;
            // The rule's size from the ring through the lens, beyond its end:
            // the ring mean's other singularities (r = -l, r = +-l +- 2iu,
            // and above the lens r = 0) have larger ellipses.  A cut nearer
            // the lens than REGION_REACH region lengths asks more than the
            // largest rule (no logarithm needed to see it).
            const double d = outer ? cut - l : l - cut, length = outer ? 1.0 - cut : cut;
            if (!(d >= REGION_REACH * length)) continue;
            const std::size_t n = rules::kept_size(far_nodes(d, length, rules::K_TABLE));
            if (n > quadrature::WeightedGauss::CAP) continue;
            ++feasible;
            // A piece the cut runs through: its part on the lens' side.
            double part = 0.0;
            const bool through = step < pieces && !beyond_cut(piece(step), cut);
            if (through) {
                const std::size_t i = piece(step);
                part = outer ? rough_cost(pieces_[i][0], cut, l, whole) : rough_cost(cut, pieces_[i][1], l, whole);
            }
            // Farther out the region holds fewer whole pieces still.
            if (pieces - step - (through ? 1 : 0) < REGION_PIECES) break;
            const double score = static_cast<double>(n) + part + between +
                                 (outer ? whole_cost(edge, cut, whole) : whole_cost(cut, edge, whole));
            if (score < best_score) {
                best_score = score;
                best = Region{k, cut, n};
                best_part = part;
                best_step = step;
            }
        }
        if (best.n == 0) return {};
        // What the region replaces, summed outwards and left once it costs more.
        const double limit = static_cast<double>(best.n) + best_part;
        double replaced = outer ? whole_cost(best.cut, 1.0, whole) : whole_cost(0.0, best.cut, whole);
        for (std::size_t s = best_step; s < pieces && !(replaced > limit); ++s) {
            const std::size_t i = piece(s);
            replaced += rough_cost(pieces_[i][0], pieces_[i][1], l, whole);
        }
        if (!(replaced > limit) || region_gauss(outer, best.k, best.n) == nullptr) return {};
        return best;
    }

    template <class Emit>
    void region_nodes(bool outer, const Region& region, double l, Emit& emit) const {
        const quadrature::WeightedGauss::Nodes& rule = *region_gauss(outer, region.k, region.n);
        const double lo = outer ? region.cut : 0.0, length = outer ? 1.0 - region.cut : region.cut;
        for (std::size_t i = 0; i < region.n; ++i) {
            const double r = lo + length * rule.t[i];
            emit(rules::Node{r, l - r, rules::TWO_PI * r}, length * rule.w[i]);
        }
    }

    std::vector<std::array<double, 2>> pieces_;
    std::vector<rules::Line> lines_;
    mutable quadrature::ProductRule product_;
    // Each eighth's share of the pieces, in its own variable t in [0, 1]
    // (r = j/8 + t/8), with the piece each comes from.
    std::array<std::vector<std::array<double, 2>>, SEGMENTS> segment_pieces_;
    std::array<std::vector<std::size_t>, SEGMENTS> segment_line_;
    mutable std::array<quadrature::ProductRule, SEGMENTS> segment_product_;
    // Gauss rules of the profile's own measure, over the whole star and over
    // each eighth, where the profile is nowhere negative.
    bool positive_ = false;
    mutable quadrature::WeightedGauss gauss_;
    mutable std::array<quadrature::WeightedGauss, SEGMENTS> segment_gauss_;
    // The regions' rules, keyed on k below the lens and REGIONS + k above,
    // in the order first asked for (a table that takes none holds nothing).
    mutable std::vector<std::pair<std::size_t, quadrature::WeightedGauss>> region_gauss_;
    double flux_ = 0.0;
    double peak_ = 0.0;
    SeriesWeights weights_{};
};

// Sum of area weight x f(r, gap) over the nodes of one separation (the
// disk's rules put the profile's brightness into the area weight), counting
// the evaluations and a non-finite value as 0 (a node on a pole, a failed
// ring); NaN when no node has a value at all.  The caller's interrupt check
// is consulted per node; once it asks to stop, no more values are computed.
// An integrand that evaluates two nodes at once (f.pair(r, gap, values), as
// the ring mean does) gets the nodes in pairs, one that evaluates four
// (f.quad, as two pairs) in fours, and one that evaluates eight (f.octet)
// in eights: nodes wait for the group to fill, and what is left at the end
// goes in a four, in pairs and alone; node 2k and 2k + 1 are a pair either
// way, and the sum is taken in node order.
template <class F>
struct NodeSum {
    const F& f;
    const Interrupt& interrupt;
    double sum = 0.0;
    std::uint64_t evaluations = 0;
    bool any_finite = false;
    std::size_t pending = 0;
    double r[8] = {}, gap[8] = {}, weight[8] = {};

    static constexpr bool PAIRS = requires(const F& g, const double* x, double* y) { g.pair(x, x, y); };
    static constexpr bool QUADS = requires(const F& g, const double* x, double* y) { g.quad(x, x, y); };
    static constexpr bool OCTETS = requires(const F& g, const double* x, double* y) { g.octet(x, x, y); };
    static constexpr std::size_t GROUP = OCTETS ? 8 : (QUADS ? 4 : (PAIRS ? 2 : 1));
    static_assert(!QUADS || PAIRS, "an integrand of fours evaluates pairs too");
    static_assert(!OCTETS || QUADS, "an integrand of eights evaluates fours too");

    void operator()(const rules::Node& node, double w) {
        if (interrupt(1)) return;
        ++evaluations;
        if constexpr (GROUP == 1) {
            add(w * node.area, f(node.r, node.gap));
        } else {
            r[pending] = node.r;
            gap[pending] = node.gap;
            weight[pending] = w * node.area;
            if (++pending < GROUP) return;
            double v[8];
            if constexpr (OCTETS) {
                f.octet(r, gap, v);
            } else if constexpr (QUADS) {
                f.quad(r, gap, v);
            } else {
                f.pair(r, gap, v);
            }
            for (std::size_t i = 0; i < GROUP; ++i) add(weight[i], v[i]);
            pending = 0;
        }
    }
    void add(double w, double v) noexcept {
        if (std::isfinite(v)) {
            sum += w * v;
            any_finite = true;
        }
    }
    double value() {
        if constexpr (PAIRS) {
            std::size_t i = 0;
            if constexpr (OCTETS) {
                if (pending >= 4) {
                    double v[4];
                    f.quad(r, gap, v);
                    for (std::size_t j = 0; j < 4; ++j) add(weight[j], v[j]);
                    i = 4;
                }
            }
            for (; pending - i >= 2; i += 2) {
                double v[2];
                f.pair(r + i, gap + i, v);
                add(weight[i], v[0]);
                add(weight[i + 1], v[1]);
            }
            if (i < pending) add(weight[i], f(r[i], gap[i]));
            pending = 0;
        }
        return any_finite ? sum : std::numeric_limits<double>::quiet_NaN();
    }
};

// The integral int_0^1 f(r, l - r) p(r) 2 pi r dr for one separation over the
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

// The ring mean at separation l as an integrand of integrate_disk, one
// node or two at once (a failed ring as NaN).
struct RingMean {
    double l, u;
    double operator()(double r, double gap) const noexcept {
        const Expected<double> a = ring_magnification(l, r, gap, u);
        return a ? *a : std::numeric_limits<double>::quiet_NaN();
    }
    void pair(const double r[2], const double gap[2], double out[2]) const noexcept {
        ring_magnification_pair(l, r, gap, u, out);
    }
    void quad(const double r[4], const double gap[4], double out[4]) const noexcept {
        ring_magnification_quad(l, r, gap, u, out);
    }
    void octet(const double r[8], const double gap[8], double out[8]) const noexcept {
        ring_magnification_octet(l, r, gap, u, out);
    }
};

// Below this separation the lens is taken to be on the centre: the
// magnification is even and smooth in l there, A(l) = A(0) (1 + O(l^2)).
inline constexpr double CENTRE_BELOW = 1e-9;

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
template <class Disk>
Magnifications _integrated_heyrovsky_magnification(std::vector<double> l, const Disk& disk,
                                                   double re, double rstar,
                                                   const Interrupt& interrupt = {}) {
    const double u = std::fabs(re / rstar);  // Einstein radius in stellar radii
    const double flux = disk.flux();
    const SeriesWeights weights = disk.series_weights();
    const bool no_lens = negligible_lens(u, disk.peak());
    std::vector<double> result;
    result.reserve(l.size());
    for (const double signed_l : l) {
        const double li = std::fabs(signed_l) < CENTRE_BELOW ? 0.0 : std::fabs(signed_l);
        if (!std::isfinite(u) || std::isnan(li)) {
            result.push_back(std::numeric_limits<double>::quiet_NaN());
        } else if (no_lens) {
            result.push_back(1.0);
        } else if (li >= SERIES_FROM) {
            result.push_back(far_field_series(li, u, weights));
        } else if (std::is_same_v<Disk, LimbDarkenedDisk> && small_source_applies(li, u)) {
            // The built-in law near a small star: lib/small_source.hpp.
            result.push_back(limb_darkened_small_source_disk(li, u, std::fabs(rstar / re)));
        } else {
            result.push_back(integrate_disk(disk, li, u, RingMean{li, u}, interrupt) / flux);
        }
        if (interrupt(1)) return interrupted();
    }
    return result;
}

}  // namespace halomag::models
