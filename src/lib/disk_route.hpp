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
// Where the central difference fails.  G is analytic in r except at r = +-l
// (G is even in r, a function of the disk's area), where the disk's rim
// passes through the lens: there G' has a logarithmic singularity,
// G' ~ b ln|r - l| with b ~ -2/(pi rho l^2), and the central difference is
// off by G''' delta^2/6 ~ b delta^2 / (6 (r - l)^2).  Summed over quadrature
// nodes this is about delta^2 / (7.5 d) relative, d the distance of the
// nearest node from l: a rule that resolves the logarithm (nodes within 1e-3
// of l) gives 3e-6, and only d >~ 0.2 keeps the derivative's error near
// 1e-10.  With the lens at the centre (l = 0) the same happens at r = 0,
// G ~ 2/(rho r).  So:
//
//   * outside the band |r - l| < H (DISK_ROUTE_BAND) the integrand above is
//     used as it stands, with the central difference; no probe r +/- delta
//     comes near l.  With H = 3 the band holds the whole star wherever the
//     rules serve a flux map or the built-in law (l < 3), so this is left to
//     the far path of a caller that gives no mean-value series;
//   * inside the band the derivative is moved onto the profile by parts,
//       int_a^b p pi (r^2 G)' dr = pi [p r^2 G]_a^b - pi int_a^b p' r^2 G dr,
//     whose integrand has only the integrable (r - l) ln|r - l| of r^2 G.
//     Pieces of the band end at l and at the profile's knots, so p is smooth
//     on each, and p, p' are its one-sided values there.
//
// Rules.  [0, 1] is cut at the knots, at l and at l +- H (where on the
// star).  Tabulated
// profiles are integrated in r, the built-in profile in s = sqrt(1 - r) (see
// LimbDarkeningPiece).  Each piece is bisected until no part is longer than
// its distance to a singularity of the integrand (in the complex plane of
// the variable) other than a handled end.  A function analytic in the
// Bernstein ellipse through such a point (sum of semi-axes 3 + sqrt(8) =
// 5.8) is integrated by the n-point Gauss-Legendre rule to O(5.8^-2n) [3],
// and one whose singularities lie farther off by fewer nodes: each part's
// rule is sized from its own ellipse for 5e-12 (K_NEAR), at most n = 12 for
// the integrals by parts and n = 10 where the central difference's own
// noise, eps/delta ~ 4e-11, dominates anyway.  Bisection grades the parts
// geometrically towards a nearby singularity; towards one just beyond an
// end (a lens just outside the limb) an exponential map does, in fewer
// nodes (graded_parts).
// The handled end is the lens itself: a part that ends at r = l takes the
// 16-point generalised Gauss rule exact for t^k and t^k ln t [4], with the
// singular end at l (in s, ln|r - l| = ln|s_l - s| + ln(s_l + s) stays in its
// span).  Parts shorter than 2^-40 are accepted as they are.
//
// Beyond the band (l >= 1 + H) nothing is singular on the star but the
// built-in profile's limb, which disappears in mu = sqrt(1 - r^2) (p = 0.4 +
// 0.6 mu, G and r G' functions of r^2 = 1 - mu^2): one piece (or one per
// table interval), its number of nodes set by the distance of the
// singularities r = +-l, +-l +- 2i re/rstar (see far_parts): a few nodes
// from l = 2 on.  For a table, one product rule over the whole star in place
// of the intervals' rules where it takes fewer nodes (ProductRule).
//
// Nearer, a table's band is widened to the sixteenths of the star next
// beyond l +- H, so that what lies beyond it is [0, k/16] or [k/16, 1]: 15
// regions on either side whatever l is, at least H from the lens, each
// taken by one product rule where that needs fewer nodes than its pieces.
// Their weights depend on the table alone and are kept (DiskRouteProducts).
// Inside the band the same holds by parts, where the profile is continuous:
// on either side of the lens for the region from the band's edge to a
// sixteenth as near the lens as a rule allows, and for each eighth of the
// star outside those at least its own length from the lens (one rule of
// the profile's slope p' each: the Gauss rule of |p'| dr where p' has one
// sign there, as for the linear law, else the product rule).  Where the
// profile is nowhere negative the rules beyond the band are the Gauss rules
// of its own measure.  With 51 radii on the comparison grid these take
// more than half the time off.
//
// Cost per separation, in disk evaluations (a five-knot table, rstar = re):
// about 60 beyond the band, 70 to 105 inside it, the most within 1e-2 of the
// limb, where the parts are graded down to the distance of the lens from
// r = 1.
//
// References
//   [1] H. J. Witt, S. Mao, "Can lensed stars be regarded as pointlike for
//       microlensing by MACHOs?", ApJ 430 (1994) 505-510.
//   [2] D. Heyrovsky, "Computing limb-darkening coefficients from stellar
//       atmosphere models", ApJ 594 (2003) 464-475.
//   [3] L. N. Trefethen, "Is Gauss quadrature better than Clenshaw-Curtis?",
//       SIAM Review 50 (2008) 67-87 (theorem 4.5).
//   [4] J. Ma, V. Rokhlin, S. Wandzura, "Generalized Gaussian quadrature rules
//       for systems of arbitrary functions", SIAM J. Numer. Anal. 33 (1996)
//       971-996.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <span>
#include <type_traits>
#include <vector>

#include "lib/integrated.hpp"
#include "lib/interrupt.hpp"
#include "lib/models.hpp"
#include "lib/profiles.hpp"
#include "lib/ring_route.hpp"
#include "lib/small_source.hpp"
#include "lib/uniform_disk.hpp"
#include "numerics/gauss.hpp"
#include "numerics/interp.hpp"
#include "numerics/numdiff.hpp"
#include "numerics/product.hpp"
#include "numerics/weighted_gauss.hpp"

namespace halomag::models {

// Half-width of the band about r = l integrated by parts (stellar radii).
// At 0.25 the central difference just outside it left 2.6e-10 against the
// references (the worst of the route); at 0.5, 1.1e-10, with a fifth fewer
// disk evaluations (one per node by parts, three with the difference).  At
// 3 the band holds the whole star at every separation the rules take for a
// flux map or the built-in law (l < 3; the mean-value series from there on),
// and no central difference is left: against the ring route the route's
// worst over 40 tables and 40,000 separations fell from 1.4e-10 to 1.2e-12
// (the built-in law's from 5.6e-11 to 6.6e-13), in a tenth less time (the
// parts next to the lens in the map centred on it, graded_parts).  (Weak
// lenses lost at first, 1.1e-10 at re/rstar = 0.01 with the lens on the
// centre, until the rules were sized for the ring mean's complex
// singularities too: see `reach` in the route.)
inline constexpr double DISK_ROUTE_BAND = 3.0;

namespace detail {
// Between which distances off the axis (stellar radii) the ring mean's
// complex singularities are listed for the rules inside the band (see the
// route): re/rstar from 5e-4 to 1.
inline constexpr double REACH_LIMIT = 2.0;
inline constexpr double REACH_FLOOR = 1e-3;
}  // namespace detail

// The flux of the built-in profile, 0.8 pi.
inline constexpr double LINEAR_LIMB_DARKENING_EXACT_FLUX = 2.5132741228718345;

// The variable of integration and the profile on one piece on which the
// profile is smooth.  Tabulated profiles are integrated in r itself; the
// built-in profile in s = sqrt(1 - r) (r = 1 - s^2, dr = -2 s ds), where its
// sqrt(1 - r^2) = s sqrt(2 - s^2) is smooth at the limb.  A rule applied in
// r would lose ~ sqrt(eps) of the integral next to r = 1, where p' is
// infinite and nodes cannot approach the end closer than rounding.  In s the
// singular points of the integrands are the images of r = +-l, r = -1:
//   s = +-sqrt(1 - l) (l <= 1) or +-i sqrt(l - 1) (l > 1), sqrt(1 + l), sqrt(2).

struct Singularity {
    double re, im;  // a point of the complex plane of the variable
    // An image of the lens (r = +-l, l > 0): the integrand by parts is
    // phi ln(t - t_l) + psi there, phi and psi analytic (graded_parts).  (With
    // the lens on the centre, l = 0, G ~ 2/(rho r) is no logarithm.)
    bool logarithmic = false;
    // The index of a real point of the list straight below this one (the
    // same real part): every ellipse and distance on the real axis is
    // smaller for it, so this point sizes a plain rule only where that one
    // is the handled end.  -1: none.
    int below = -1;
};

// The built-in profile p = 1 - 0.6 (1 - sqrt(1 - r^2)).
struct LimbDarkeningPiece {
    static constexpr bool limb = true;
    static double to_variable(double r) noexcept { return std::sqrt(1.0 - r); }
    static double radius(double s) noexcept { return 1.0 - s * s; }
    // p dr/ds and p' dr/ds (up to the orientation, which the limits carry):
    // p 2s = (0.4 + 0.6 s sqrt(2 - s^2)) 2s, p' 2s = -1.2 r / sqrt(2 - s^2).
    static double value_jacobian(double s) noexcept {
        return (0.4 + 0.6 * s * std::sqrt(2.0 - s * s)) * (s + s);
    }
    static double slope_jacobian(double s) noexcept {
        return -1.2 * (1.0 - s * s) / std::sqrt(2.0 - s * s);
    }
    double value(double r) const noexcept { return LinearLimbDarkening{}(r); }
    static std::size_t singularities(double lens, double reach, std::array<Singularity, 8>& out) noexcept {
        const double gap = 1.0 - lens;
        if (gap >= 0.0) {
            out[0] = {std::sqrt(gap), 0.0, lens > 0.0};
            out[1] = {-std::sqrt(gap), 0.0, lens > 0.0};
        } else {
            out[0] = {0.0, std::sqrt(-gap)};
            out[1] = {0.0, -std::sqrt(-gap)};
        }
        out[2] = {std::sqrt(1.0 + lens), 0.0, lens > 0.0};
        out[3] = {1.4142135623730951, 0.0};
        // r = +-l + i reach (and conjugates): s = +-sqrt(1 - r).
        std::size_t count = 4;
        if (reach < std::numeric_limits<double>::infinity()) {
            for (const double side : {lens, -lens}) {
                const std::complex<double> image = std::sqrt(std::complex<double>(1.0 - side, -reach));
                out[count++] = {image.real(), image.imag()};
                out[count++] = {-image.real(), -image.imag()};
            }
        }
        return count;
    }
};

inline LimbDarkeningPiece restrict_to(const LinearLimbDarkening&, double, double) noexcept {
    return {};
}

// A tabulated profile is affine between its knots: value and slope from two
// inner points of the piece, which no knot separates; the line about the
// piece's middle, as the ring route writes it.
struct AffinePiece {
    static constexpr bool limb = false;
    rules::Line line;
    static double to_variable(double r) noexcept { return r; }
    static double radius(double r) noexcept { return r; }
    double value_jacobian(double r) const noexcept { return value(r); }
    double slope_jacobian(double) const noexcept { return line.slope; }
    double value(double r) const noexcept { return line(r); }
    static std::size_t singularities(double lens, double reach, std::array<Singularity, 8>& out) noexcept {
        out[0] = {lens, 0.0, lens > 0.0};
        out[1] = {-lens, 0.0, lens > 0.0};
        if (!(reach < std::numeric_limits<double>::infinity())) return 2;
        out[2] = {lens, reach, false, 0};
        out[3] = {-lens, reach, false, 1};
        return 4;
    }
};

inline AffinePiece restrict_to(const interp::LinearTable& profile, double a, double b) noexcept {
    const double h = b - a;
    const double x1 = a + 0.25 * h, x2 = a + 0.75 * h;
    const double middle = a + 0.5 * h;
    return {rules::Line{middle, profile(middle), (profile(x2) - profile(x1)) / (x2 - x1)}};
}

namespace detail {

// Largest rules of the near path: the central difference's integrand and
// the integrand by parts; the logarithmic rule at the lens.
inline constexpr std::size_t DERIVATIVE_NODES = 10;
inline constexpr std::size_t BY_PARTS_NODES = 12;
inline constexpr std::size_t LOG_NODES = 16;
inline constexpr double SHORTEST_PART = 0x1p-40;
// A part no longer than its distance to the nearest singularity has that
// singularity outside the Bernstein ellipse of semi-axis sum 3 + sqrt(8) =
// 5.8, where the cap's rule reaches 5.8^-20 = 5e-16; most parts lie much
// farther from it (a table's pieces away from the lens), and the rule is
// sized from the actual ellipse: rho^(-2n) <= e^(-2 K_NEAR) = 5e-12, a
// hundredth of the route's goal and below the central difference's own
// noise (eps/delta ~ 4e-11), with at least NEAR_MIN nodes.
inline constexpr double K_NEAR = 13.0;
inline constexpr std::size_t NEAR_MIN = 3;

// About the nodes a piece of length h at distance d from the lens takes by
// parts, ceil(K_NEAR / ln rho) with rho from the ellipse of semi-major axis
// 1 + 2 d/h, between NEAR_MIN and BY_PARTS_NODES: at most N nodes from
// d/h >= (cosh(K_NEAR/N) - 1)/2 on, so NEAR_MIN plus the count of those
// thresholds that d/h falls below (products and comparisons, no root or
// quotient: the blocks' choice weighs every piece against them).
inline double rough_part_nodes(double d, double h) noexcept {
    static const std::array<double, BY_PARTS_NODES - NEAR_MIN> below = [] {
        std::array<double, BY_PARTS_NODES - NEAR_MIN> t{};
        for (std::size_t k = 0; k < t.size(); ++k) {
            t[k] = 0.5 * (std::cosh(K_NEAR / static_cast<double>(NEAR_MIN + k)) - 1.0);
        }
        return t;
    }();
    int above = 0;  // independent comparisons, summed as integers
    for (const double t : below) above += d < t * h ? 1 : 0;
    return static_cast<double>(NEAR_MIN) + static_cast<double>(above);
}

using Complex = std::complex<double>;

// Semi-axis sum of the ellipse with foci a, b through z (>= 1).
using quadrature::gauss::bernstein_rho;

// Gauss-Legendre nodes for rho^(-2n) <= e^(-2K) (the ring route's count:
// huge when the ellipse degenerates, rho <= 1), as a double that callers
// clamp to their range.
inline double nodes_for(double rho, double K) noexcept {
    return static_cast<double>(rules::nodes_for(rho, K));
}

// The integral of f over [a, b], cut into parts each no longer than its
// distance to the nearest singularity that is not a handled end of that
// part (`own`, the lens's image, when it is an end); part(a, b, n)
// integrates one such part with the number of Gauss-Legendre nodes that
// singularity asks for (K_NEAR, between NEAR_MIN and `cap`).
//
// Bisection grades the parts geometrically towards a singularity near the
// interval, which costs about log2(length/d) parts of 8 nodes for one at a
// distance d beyond an end (a lens 1e-6 outside the limb: 18 parts).
// There the parts are graded by a map instead, as on the ring route
// (lib/ring_rules.hpp, from_end): a core [b - h, b] of half that distance,
// then t = b - h e^s for s in [0, ln((b - a)/h)], which puts the
// singularity at s = ln 2 + i pi whatever d is; Gauss-Legendre in s, halved
// until the cap suffices, takes a few parts of its own for the
// ln(length/d) of s (four for d = 1e-6).  A real singularity inside the
// interval, or a handled end at the far side, keeps the bisection.
template <class F, class Part>
double graded_parts(double a, double b, std::span<const Singularity> singular, double own,
                    std::size_t cap, const F& f, const Part& part, int depth = 0,
                    double centre = std::numeric_limits<double>::quiet_NaN()) {
    const auto handled = [&](const Singularity& p) {
        return p.im == 0.0 && p.re == own && (own == a || own == b);
    };
    // A point whose real companion is listed and not handled never sizes a
    // rule in this variable (the maps below take every point).
    const auto shadowed = [&](const Singularity& p) {
        return p.below >= 0 && !handled(singular[static_cast<std::size_t>(p.below)]);
    };
    double distance = std::numeric_limits<double>::infinity();
    Singularity nearest{0.0, 0.0};
    bool inside = false;  // a real singularity strictly inside (a, b)
    for (const Singularity& p : singular) {
        if (handled(p) || shadowed(p)) continue;
        const double dx = p.re < a ? a - p.re : (p.re > b ? p.re - b : 0.0);
        const double d = std::hypot(dx, p.im);
        inside = inside || (p.im == 0.0 && p.re > a && p.re < b);
        if (d < distance) {
            distance = d;
            nearest = p;
        }
    }
    const auto nodes = [&](double rho) {
        return static_cast<std::size_t>(std::clamp(nodes_for(rho, K_NEAR), static_cast<double>(NEAR_MIN),
                                                   static_cast<double>(cap)));
    };
    if (b - a <= distance || b - a <= SHORTEST_PART || depth >= 64) {
        double rho = std::numeric_limits<double>::infinity();
        for (const Singularity& p : singular) {
            if (!handled(p) && !shadowed(p)) rho = std::min(rho, bernstein_rho(Complex(p.re, p.im), a, b));
        }
        return part(a, b, static_cast<double>(nodes(rho)));
    }
    const bool beyond_b = nearest.im == 0.0 && nearest.re > b && own != a && own != b;
    const bool beyond_a = nearest.im == 0.0 && nearest.re < a && own != a && own != b;
    // Sizes a rule over [s0, s1] of a map's variable from the images `in_s`
    // of the singularities, for an integrand growing like e^(3s) at most
    // (dt/ds = x, and the profile and r or r^2 can each grow like x): K +
    // 3 L (A - 1)/2, as on the ring route (lib/ring_rules.hpp,
    // plan_legendre); halved until the cap suffices.  Without the growth a
    // table falling fifty-fold over its last 0.01 left 1.7e-9 at
    // l = 1 + 1e-9.
    const auto in_parts = [&](auto&& self, const auto& g, std::span<const Complex> in_s, double s0, double s1,
                              int level) -> double {
        double rho = std::numeric_limits<double>::infinity();
        for (const Complex& w : in_s) rho = std::min(rho, bernstein_rho(w, s0, s1));
        const auto n = static_cast<double>(rules::grown_size(K_NEAR, rules::MAP_GROWTH, s0, s1, 0.5 * (rho + 1.0 / rho)));
        if (n > static_cast<double>(cap) && level < 64) {
            const double middle = s0 + 0.5 * (s1 - s0);
            return self(self, g, in_s, s0, middle, level + 1) + self(self, g, in_s, middle, s1, level + 1);
        }
        const auto size = static_cast<std::size_t>(
            std::clamp(n, static_cast<double>(NEAR_MIN), static_cast<double>(cap)));
        return quadrature::gauss::integrate(g, s0, s1, quadrature::gauss::legendre(size));
    };
    // The integrand by parts (`centre` given) near an image of the lens just
    // beyond an end is phi ln(x + e) + psi, x the distance from that end and
    // e the lens's, phi and psi analytic there (the expansions of K, E and
    // Pi about the complementary modulus 0 [DLMF 19.12]).  In
    // sigma = ln((x + e)/e) that logarithm is ln e + sigma: nothing is
    // singular at the lens, and one rule over the part needs neither core
    // nor bisection (as the ring route's from_lens).  The parts phi, psi may
    // be singular where their sum is not, at the centre r = 0 (`centre`, its
    // image in the variable): on the logarithm's other sheets, placed at
    // Im sigma = pi (as from_end places such points, the nearer of them).
    if (nearest.logarithmic && std::isfinite(centre) && !inside && (beyond_a || beyond_b)) {
        const double e = distance;
        const double end = beyond_b ? b : a;
        const double sign = beyond_b ? -1.0 : 1.0;  // t = end + sign x
        const double span = std::log1p((b - a) / e);
        if (span < std::numeric_limits<double>::infinity()) {
            std::array<Complex, 9> mapped{};
            std::size_t count = 0;
            for (const Singularity& p : singular) {
                if (count + 1 == mapped.size()) break;
                const Complex w(sign * (p.re - end) + e, sign * p.im);  // x + e at the point
                if (w != Complex(0.0, 0.0)) mapped[count++] = std::log(w / e);
            }
            const double at_centre = std::fabs(sign * (centre - end) + e);
            if (at_centre > 0.0) mapped[count++] = Complex(std::log(at_centre / e), rules::PI);
            const std::span<const Complex> in_s(mapped.data(), count);
            const auto one = [&](double s) {
                const double x = e * std::expm1(s);
                return f(end + sign * x) * (x + e);
            };
            if constexpr (quadrature::gauss::detail::PairsOne<F>) {
                const auto two = [&](const double s[2], double out[2]) {
                    const double x[2] = {e * std::expm1(s[0]), e * std::expm1(s[1])};
                    const double t[2] = {end + sign * x[0], end + sign * x[1]};
                    f.pair(t, out);
                    out[0] *= x[0] + e;
                    out[1] *= x[1] + e;
                };
                if constexpr (quadrature::gauss::detail::QuadsOne<F>) {
                    const auto four = [&](const double s[4], double out[4]) {
                        double x[4], t[4];
                        for (int i = 0; i < 4; ++i) {
                            x[i] = e * std::expm1(s[i]);
                            t[i] = end + sign * x[i];
                        }
                        f.quad(t, out);
                        for (int i = 0; i < 4; ++i) out[i] *= x[i] + e;
                    };
                    return in_parts(in_parts, quadrature::gauss::Grouped{one, two, four}, in_s, 0.0, span, 0);
                }
                return in_parts(in_parts, quadrature::gauss::Paired{one, two}, in_s, 0.0, span, 0);
            } else {
                return in_parts(in_parts, one, in_s, 0.0, span, 0);
            }
        }
    }
    if (!inside && (beyond_a || beyond_b) && 4.0 * distance < b - a) {
        const double h = 0.5 * distance;
        const double end = beyond_b ? b : a;
        const double sign = beyond_b ? -1.0 : 1.0;  // t = end + sign h e^s
        double sum = beyond_b ? graded_parts(b - h, b, singular, own, cap, f, part, depth + 1, centre)
                              : graded_parts(a, a + h, singular, own, cap, f, part, depth + 1, centre);
        std::array<Complex, 8> mapped{};
        std::size_t count = 0;
        for (const Singularity& p : singular) {
            if (handled(p) || count == mapped.size()) continue;
            const Complex z(sign * (p.re - end), sign * p.im);  // z = (t - end)/sign
            if (z != Complex(0.0, 0.0)) mapped[count++] = std::log(z / h);
        }
        const std::span<const Complex> in_s(mapped.data(), count);
        const auto g = [&](double s) {
            const double x = h * std::exp(s);
            return f(end + sign * x) * x;
        };
        return sum + in_parts(in_parts, g, in_s, 0.0, std::log((b - a) / h), 0);
    }
    const double middle = a + 0.5 * (b - a);
    return graded_parts(a, middle, singular, own, cap, f, part, depth + 1, centre) +
           graded_parts(middle, b, singular, own, cap, f, part, depth + 1, centre);
}

// Beyond the band (l >= 1 + H) the integrand is analytic on the whole star
// but for the profile, and the number of nodes follows from how far its
// singularities are.  Gauss-Legendre with n nodes converges like rho^(-2n),
// rho the semi-axis sum of the ellipse with foci at the part's ends through
// the nearest singularity [3]; e^(-2 K) = 5e-12, as on the near path (a
// hundredth of the route's goal; measured against the references, K = 10
// changes nothing there).  At least 3 nodes (the integrand is a low-degree
// polynomial times a smooth function even when nothing is near: the rule
// is exact to degree 5; 4 changed nothing against the references), at most
// 16 (a longer part is halved).
inline constexpr double K_FAR = 13.0;
inline constexpr std::size_t FAR_MIN = 3;
inline constexpr std::size_t FAR_CAP = 16;

// Splits [a, b] in halves until the rule its nearest singularity asks for
// fits under the cap, then calls part(a, b, n).
template <class Part>
void far_parts(double a, double b, std::span<const Complex> singular, Part&& part, int depth = 0) {
    double rho = std::numeric_limits<double>::infinity();
    for (const Complex& z : singular) {
        const double r = bernstein_rho(z, a, b);
        if (r == r) rho = std::min(rho, r);  // NaN: a singularity at infinity
    }
    const double n = nodes_for(rho, K_FAR);
    if (n > static_cast<double>(FAR_CAP) && b - a > SHORTEST_PART && depth < 64) {
        const double middle = a + 0.5 * (b - a);
        far_parts(a, middle, singular, part, depth + 1);
        far_parts(middle, b, singular, part, depth + 1);
        return;
    }
    part(a, b, n < static_cast<double>(FAR_MIN) ? FAR_MIN : static_cast<std::size_t>(std::min(n, static_cast<double>(FAR_CAP))));
}

// A table's far path in one rule: the factor w = 2 pi r (G + r G'/2) of the
// integrand p w is analytic on the whole star there and only the profile p
// kinks, at its radii, so the product rule of numerics/product.hpp
// integrates p w from w at n Gauss-Legendre nodes of [0, 1], sized for
// rho^(-n) <= e^(-2 K_FAR).  For a table of many radii this takes one node
// where the pieces one by one took several (11 radii, l = 2: 15 nodes of
// three disks each for 38).
// A table's band edges lie on this grid (see the route below).
inline constexpr double BAND_GRID = 16.0;
inline constexpr std::size_t BAND_GRID_POINTS = 16;
inline constexpr std::size_t BAND_EIGHTHS = 8;
inline constexpr std::size_t BAND_EIGHTH_PIECES = 3;  // fewest pieces for a rule over an eighth

}  // namespace detail

// The product-rule weights of a table on the uniform-disk route, kept by
// rule size: over the whole star (the far path) and over [0, k/16] and
// [k/16, 1] (the near path beyond the band).  They depend on the table
// alone, so a caller may keep them from one call to the next for the same
// table.
struct DiskRouteProducts {
    quadrature::ProductRule whole;
    std::array<quadrature::ProductRule, detail::BAND_GRID_POINTS> below, above;
    // The Gauss rules of the profile's own measure over the same intervals
    // (a profile nowhere negative there).
    quadrature::WeightedGauss whole_gauss;
    std::array<quadrature::WeightedGauss, detail::BAND_GRID_POINTS> below_gauss, above_gauss;
    // Inside the band, the regions [i/16, k/16] by parts (the eighths among
    // them): product rules of the profile's slope p' (piecewise constant),
    // and where p' has one sign there, the Gauss rules of the measure
    // |p'| dr, keyed on 17 i + k, in the order first asked for.
    struct BandRegion {
        std::size_t key;
        quadrature::ProductRule product;
        quadrature::WeightedGauss gauss;
    };
    // Per interval [i/16, k/16] (at 17 i + k), what a rule by parts there
    // needs to know of the profile: 0 not yet known, 4 not continuous, else
    // 2 + the sign of p' (+-1 where it has one sign, 0 where not).  Empty
    // until first asked.
    std::vector<std::int8_t> band_shape;
    std::vector<BandRegion> band_regions;
    BandRegion& band_region(std::size_t i, std::size_t k) {
        const std::size_t key = (detail::BAND_GRID_POINTS + 1) * i + k;
        for (BandRegion& region : band_regions) {
            if (region.key == key) return region;
        }
        band_regions.push_back(BandRegion{key, {}, {}});
        return band_regions.back();
    }
};

// The uniform-disk route for every separation.  `knots` are the profile's
// kinks (any order, any values; those inside (0, 1) cut the pieces).  The
// uniform-disk evaluation of the whole list comes first and serves as the
// gate: its first elliptic error is the result, before anything is
// integrated.  `interrupt` counts one unit per disk evaluation.
//
// From l = SERIES_FROM on, given the profile's series weights (`far_field`),
// the integral is the mean-value series: substituting the uniform disk's own
// series for G(r) (lib/uniform_disk.hpp, the form it takes there) and
// integrating pi d(r^2 G)/dr p(r) term by term gives exactly the profile's
// series of lib/ring_route.hpp, with no disk evaluated and no difference
// taken.
template <class Profile>
Magnifications _integrated_witt_mao_magnification(std::vector<double> l, const Profile& profile,
                                                  double re, double rstar, double N,
                                                  std::span<const double> knots = {},
                                                  const Interrupt& interrupt = {},
                                                  const SeriesWeights* far_field = nullptr,
                                                  DiskRouteProducts* kept_products = nullptr) {
    namespace gauss = quadrature::gauss;
    constexpr double PI = 3.141592653589793;
    const Magnifications gate = witt_mao_magnification(l, re, rstar, interrupt);
    if (!gate) return std::unexpected(gate.error());

    const gauss::Rule log_rule = gauss::log_end(detail::LOG_NODES);
    // A table's product rules: their weights, built once per region and
    // rule size over the table's pieces, in this call or (kept_products, the
    // same table's) in an earlier one.
    DiskRouteProducts own_products;
    DiskRouteProducts& products = kept_products != nullptr ? *kept_products : own_products;
    quadrature::ProductRule& product = products.whole;
    std::vector<std::array<double, 2>> region_pieces;
    std::vector<decltype(restrict_to(profile, 0.0, 1.0))> region_lines;
    std::vector<std::array<double, 2>> far_pieces;
    std::vector<decltype(restrict_to(profile, 0.0, 1.0))> far_lines;
    const double rho = std::fabs(rstar / re);  // stellar radius in Einstein radii
    const std::vector<double> inner = inner_knots(knots);
    // A point lens never dims a star that is nowhere darker than black: for
    // such a profile a quotient a rounding below 1 (a star far from the
    // lens, A = 1 + tiny) is 1.  A profile negative somewhere (a table's
    // fluxes may be) can have A < 1 with the lens on its dark part, and its
    // value stands, as on the ring route.  The profile is linear between
    // its knots, so the ends of its pieces decide (a line through 0 at an
    // end, as a table falling to 0 at the limb, may reach it a rounding
    // below: 1e-12 of the piece's larger end counts as 0).
    bool never_dims = true;
    {
        double a = 0.0;
        for (std::size_t k = 0; k <= inner.size(); ++k) {
            const double b = k < inner.size() ? inner[k] : 1.0;
            const auto piece = restrict_to(profile, a, b);
            const double pa = piece.value(a), pb = piece.value(b);
            const double floor = -1e-12 * std::max(std::fabs(pa), std::fabs(pb));
            never_dims = never_dims && pa >= floor && pb >= floor;
            a = b;
        }
    }
    std::vector<double> cuts;
    cuts.reserve(inner.size() + 6);
    std::vector<double> result;
    result.reserve(l.size());
    for (std::size_t index = 0; index < l.size(); ++index) {
        const double li = l[index];
        // The magnification is even in l and smooth at the centre: below
        // 2^-60 it is the value at l = 0 to rounding, and the disks of the
        // subnormal radii next to such a lens would overflow.
        const double lens = std::fabs(li) < 0x1p-60 ? 0.0 : std::fabs(li);
        if (std::isnan(lens) || !(rho > 0.0)) {  // no separation, or no star
            result.push_back(std::numeric_limits<double>::quiet_NaN());
            continue;
        }
        if (far_field != nullptr && lens >= SERIES_FROM) {
            result.push_back(far_field_series(lens, 1.0 / rho, *far_field));
            if (interrupt(1)) return interrupted();
            continue;
        }
        if (std::is_same_v<Profile, LinearLimbDarkening> && small_source_applies(lens, 1.0 / rho)) {
            // The built-in law near a small star (lib/small_source.hpp), with
            // the gate's uniform disk; no disk is integrated.
            result.push_back(limb_darkened_small_source(lens, 1.0 / rho, (*gate)[index]));
            if (interrupt(1)) return interrupted();
            continue;
        }
        const double u = lens * rho;
        std::int64_t evaluations = 0;
        // The disk of radius |r| about the stellar centre; r = 0 is the point
        // source.  Disks small against their distance from the lens take the
        // mean-value series with the parts of its terms that depend on u
        // alone kept for the separation.
        detail::DiskSeriesAt series(u);
        const auto G = [&](double r) {
            ++evaluations;
            const double radius = std::fabs(r) * rho;
            if (radius == 0.0) return detail::disk_series(u, 0.0);
            return value_or_nan(uniform_disk_magnification(u, radius, &series));
        };
        // r^2 G, 0 at r = 0 (where G is the point source, +inf on the lens).
        const auto r2G = [&](double r) {
            const double r2 = r * r;
            return r2 == 0.0 ? 0.0 : r2 * G(r);
        };
        // G at two radii at once: both closed forms in one pass
        // (detail::disk_closed_form_pair), else one by one as G.
        const auto G2 = [&](const double r[2], double out[2]) {
            const double radius[2] = {std::fabs(r[0]) * rho, std::fabs(r[1]) * rho};
            if (!detail::closed_form_route_applies(u, radius[0]) || !detail::closed_form_route_applies(u, radius[1])) {
                out[0] = G(r[0]);
                out[1] = G(r[1]);
                return;
            }
            evaluations += 2;
            detail::disk_closed_form_pair(u, radius, out);
        };
        // G at four radii: all four closed forms in one pass
        // (detail::disk_closed_form_quad), else as two pairs.
        const auto G4 = [&](const double r[4], double out[4]) {
            const double radius[4] = {std::fabs(r[0]) * rho, std::fabs(r[1]) * rho, std::fabs(r[2]) * rho,
                                      std::fabs(r[3]) * rho};
            bool closed[4];
            int count = 0;
            for (int i = 0; i < 4; ++i) {
                closed[i] = detail::closed_form_route_applies(u, radius[i]);
                count += closed[i] ? 1 : 0;
            }
            if (count == 4) {
                evaluations += 4;
                detail::disk_closed_form_quad(u, radius, out);
                return;
            }
            // Three closed forms, or two split between the pairs: the four
            // in one pass (the others' lanes on a closed one's radius) cost
            // less than a pair and a single closed form; the others (small
            // disks far from the lens: the series) one by one.
            if (count == 3 || (count == 2 && closed[0] != closed[1])) {
                const int first = closed[0] ? 0 : (closed[1] ? 1 : 2);
                double lanes[4];
                for (int i = 0; i < 4; ++i) lanes[i] = closed[i] ? radius[i] : radius[first];
                evaluations += count;
                detail::disk_closed_form_quad(u, lanes, out);
                for (int i = 0; i < 4; ++i) {
                    if (!closed[i]) out[i] = G(r[i]);
                }
                return;
            }
            G2(r, out);
            G2(r + 2, out + 2);
        };
        // 2 pi r (G + r G'/2), the central difference of G (its two disks
        // in one pass).
        const auto weight = [&](double r) {
            const double g = G(r);
            const double d = numdiff::sderivative_pair(G2, r);
            return (TWO_PI * r) * ((0.5 * r) * d + g);
        };
        // r^2 G and the weight at two radii at once.
        const auto r2G2 = [&](const double r[2], double out[2]) {
            const double r2[2] = {r[0] * r[0], r[1] * r[1]};
            if (r2[0] == 0.0 || r2[1] == 0.0) {
                out[0] = r2G(r[0]);
                out[1] = r2G(r[1]);
                return;
            }
            G2(r, out);
            out[0] *= r2[0];
            out[1] *= r2[1];
        };
        const auto r2G4 = [&](const double r[4], double out[4]) {
            const double r2[4] = {r[0] * r[0], r[1] * r[1], r[2] * r[2], r[3] * r[3]};
            if (r2[0] == 0.0 || r2[1] == 0.0 || r2[2] == 0.0 || r2[3] == 0.0) {
                r2G2(r, out);
                r2G2(r + 2, out + 2);
                return;
            }
            G4(r, out);
            for (int i = 0; i < 4; ++i) out[i] *= r2[i];
        };
        const auto weight2 = [&](const double r[2], double out[2]) {
            double g[2], d[2];
            G2(r, g);
            numdiff::sderivative_two(G4, r, d);
            for (int i = 0; i < 2; ++i) out[i] = (TWO_PI * r[i]) * ((0.5 * r[i]) * d[i] + g[i]);
        };
        // sum_k use(k, f(x(k))) for k < n in order, f = r2G or the weight
        // (`weighted`), evaluated in pairs (r2G in fours first).
        const auto each_pair = [&](bool weighted, std::size_t n, const auto& x, const auto& use) {
            std::size_t k = 0;
            if (!weighted) {
                for (; k + 3 < n; k += 4) {
                    const double r[4] = {x(k), x(k + 1), x(k + 2), x(k + 3)};
                    double v[4];
                    r2G4(r, v);
                    for (std::size_t i = 0; i < 4; ++i) use(k + i, v[i]);
                }
            }
            for (; k + 1 < n; k += 2) {
                const double r[2] = {x(k), x(k + 1)};
                double v[2];
                if (weighted) {
                    weight2(r, v);
                } else {
                    r2G2(r, v);
                }
                use(k, v[0]);
                use(k + 1, v[1]);
            }
            if (k < n) use(k, weighted ? weight(x(k)) : r2G(x(k)));
        };
        std::array<Singularity, 8> singular{};
        // The ring mean's complex singularities r = +-l +- 2i re/rstar (where
        // q = 4u^2 + (l - r)^2 vanishes) lie 2 re/rstar off the axis: near
        // the lens' images for a weak lens, where they set the size of the
        // rules that end at the lens (its logarithm handled, nothing else
        // listed) and of the maps about it.  Without them the route left
        // 2.5e-12 at re/rstar = 1/2, 1.8e-11 at 1/10, 1.1e-10 at 1/100 (the
        // lens on the centre, where the rule over [0, b] saw no singularity
        // at all); with them below 7e-13 at every re/rstar (12 random
        // tables against the ring route).  Farther than REACH_LIMIT off the
        // axis they changed no result, and are left out (a twentieth of the
        // route's time in sizing); nearer than REACH_FLOOR (re/rstar below
        // 5e-4) the lens adds so little to the magnification that the route
        // stays within 5e-12 without them, and they would grade its rules
        // down to their distance (2.5 to 5 times the disks).
        const double reach = 2.0 / rho <= detail::REACH_LIMIT && 2.0 / rho >= detail::REACH_FLOOR
                                 ? 2.0 / rho
                                 : std::numeric_limits<double>::infinity();

        if (lens >= 1.0 + DISK_ROUTE_BAND) {
            // Far path: no band.  Singularities in r: r = +-l, and
            // r = +-l +- 2i re/rstar, where the ring mean's
            // q = 4u^2 + (l - r)^2 vanishes.
            using detail::Complex;
            const Complex up(0.0, 2.0 / rho);
            const std::array<Complex, 6> in_r{Complex(lens, 0.0), Complex(-lens, 0.0), lens + up,
                                              lens - up, -lens + up, -lens - up};
            double total = 0.0;
            if constexpr (decltype(restrict_to(profile, 0.0, 1.0))::limb) {
                // The built-in profile in mu = sqrt(1 - r^2) over the whole
                // star: p = 0.4 + 0.6 mu is linear, G and r G' are functions
                // of r^2 = 1 - mu^2, and r dr = -mu dmu.  The singularities'
                // images are mu = +-sqrt(1 - r_s^2).
                std::array<Complex, 12> in_mu{};
                for (std::size_t k = 0; k < in_r.size(); ++k) {
                    const Complex m = k < 2 ? Complex(0.0, std::sqrt((lens - 1.0) * (lens + 1.0)))
                                            : std::sqrt(1.0 - in_r[k] * in_r[k]);
                    in_mu[2 * k] = m;
                    in_mu[2 * k + 1] = -m;
                }
                const auto f = gauss::Paired{
                    [&](double mu) {
                        const double r = std::sqrt((1.0 - mu) * (1.0 + mu));
                        return (0.4 + 0.6 * mu) * mu * (weight(r) / r);
                    },
                    [&](const double mu[2], double out[2]) {
                        const double r[2] = {std::sqrt((1.0 - mu[0]) * (1.0 + mu[0])),
                                             std::sqrt((1.0 - mu[1]) * (1.0 + mu[1]))};
                        weight2(r, out);
                        for (int i = 0; i < 2; ++i) out[i] = (0.4 + 0.6 * mu[i]) * mu[i] * (out[i] / r[i]);
                    }};
                detail::far_parts(0.0, 1.0, in_mu, [&](double x, double y, std::size_t n) {
                    total += gauss::integrate(f, x, y, gauss::legendre(n));
                });
            } else {
                cuts.assign(inner.begin(), inner.end());
                cuts.insert(cuts.begin(), 0.0);
                cuts.push_back(1.0);
                // One rule over the whole star when it takes fewer nodes than
                // the pieces one by one (see ProductRule).
                double rho_star = std::numeric_limits<double>::infinity();
                for (const Complex& z : in_r) {
                    const double r = detail::bernstein_rho(z, 0.0, 1.0);
                    if (r == r) rho_star = std::min(rho_star, r);
                }
                const double whole = rules::kept_size(detail::nodes_for(rho_star, 2.0 * detail::K_FAR));
                double by_pieces = 0.0;
                for (std::size_t i = 0; i + 1 < cuts.size() && by_pieces <= whole; ++i) {
                    double rho_piece = std::numeric_limits<double>::infinity();
                    for (const Complex& z : in_r) {
                        const double r = detail::bernstein_rho(z, cuts[i], cuts[i + 1]);
                        if (r == r) rho_piece = std::min(rho_piece, r);
                    }
                    by_pieces += std::max(detail::nodes_for(rho_piece, detail::K_FAR),
                                          static_cast<double>(detail::FAR_MIN));
                }
                // The Gauss rule of the profile's own measure first (sized as
                // Gauss-Legendre), where the profile allows it.
                const double own_n = rules::kept_size(std::max(detail::nodes_for(rho_star, detail::K_FAR),
                                                               static_cast<double>(detail::FAR_MIN)));
                const quadrature::WeightedGauss::Nodes* own = nullptr;
                if (own_n <= static_cast<double>(quadrature::WeightedGauss::CAP) && own_n < by_pieces &&
                    cuts.size() - 1 <= quadrature::ProductRule::MAX_PIECES) {
                    if (far_pieces.empty()) {
                        for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
                            far_pieces.push_back({cuts[k], cuts[k + 1]});
                            far_lines.push_back(restrict_to(profile, cuts[k], cuts[k + 1]));
                        }
                    }
                    own = products.whole_gauss.rule(static_cast<std::size_t>(own_n), far_pieces,
                                                    [&](std::size_t k, double t) { return far_lines[k].value(t); });
                }
                if (own != nullptr) {
                    each_pair(true, own->t.size(), [&](std::size_t i) { return own->t[i]; },
                              [&](std::size_t i, double v) { total += own->w[i] * v; });
                } else if (whole <= static_cast<double>(quadrature::ProductRule::CAP) && whole < by_pieces &&
                           cuts.size() - 1 <= quadrature::ProductRule::MAX_PIECES) {
                    const std::size_t n = std::max(static_cast<std::size_t>(whole), detail::FAR_MIN);
                    if (far_pieces.empty()) {
                        for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
                            far_pieces.push_back({cuts[k], cuts[k + 1]});
                            far_lines.push_back(restrict_to(profile, cuts[k], cuts[k + 1]));
                        }
                    }
                    const std::vector<double>& w = product.weights(
                        n, far_pieces, [&](std::size_t k, double t) { return far_lines[k].value(t); });
                    const gauss::Rule rule = gauss::legendre(n);
                    each_pair(true, n, [&](std::size_t i) { return rule.t[i] <= 0.5 ? rule.t[i] : 1.0 - rule.one_minus_t[i]; },
                              [&](std::size_t i, double v) { total += w[i] * v; });
                } else {
                    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
                        const auto piece = restrict_to(profile, cuts[i], cuts[i + 1]);
                        detail::far_parts(cuts[i], cuts[i + 1], in_r, [&](double x, double y, std::size_t n) {
                            total += gauss::integrate(
                                gauss::Paired{[&](double r) { return piece.value(r) * weight(r); },
                                              [&](const double r[2], double out[2]) {
                                                  weight2(r, out);
                                                  out[0] *= piece.value(r[0]);
                                                  out[1] *= piece.value(r[1]);
                                              }},
                                x, y, gauss::legendre(n));
                        });
                    }
                }
            }
            if (interrupt(evaluations)) return interrupted();
            const double value = total / N;
            result.push_back(never_dims && value < 1.0 ? 1.0 : value);
            continue;
        }

        // Cut [0, 1] at the knots, at the lens and at the band's edges.  A
        // table's band reaches out to the next sixteenth of the star on
        // either side (at most 1/16 wider: integrating by parts there is as
        // accurate, and a node costs one disk instead of three), so that what
        // lies beyond it is one of 15 regions [0, k/16] or [k/16, 1] on each
        // side, whatever l is: there one product rule, whose weights depend
        // on the table alone, takes the place of the pieces' rules.
        double band_lo = lens - DISK_ROUTE_BAND, band_hi = lens + DISK_ROUTE_BAND;
        if constexpr (!decltype(restrict_to(profile, 0.0, 1.0))::limb) {
            band_lo = std::floor(band_lo * detail::BAND_GRID) / detail::BAND_GRID;
            band_hi = std::ceil(band_hi * detail::BAND_GRID) / detail::BAND_GRID;
        }
        // The table's inner knots are sorted and distinct: the few other
        // cuts go in where they belong (a sort per separation was a twentieth
        // of the route's time with 51 knots).
        const auto cut_at = [&](double c) {
            const auto at = std::lower_bound(cuts.begin(), cuts.end(), c);
            if (at == cuts.end() || *at != c) cuts.insert(at, c);
        };
        cuts.assign(inner.begin(), inner.end());
        for (const double c : {0.0, 1.0, lens, band_lo, band_hi}) {
            if (c >= 0.0 && c <= 1.0) cut_at(c);
        }

        double total = 0.0;
        // The regions beyond the band by product rules, where chosen: the
        // pieces they cover are skipped below.
        double covered_below = -1.0, covered_above = 2.0;
        // The cuts' pieces inside [lo, hi], in its own variable t in [0, 1],
        // and their lines: what a rule over [lo, hi] is built from.
        const auto gather_region = [&](double lo, double hi) {
            const double length = hi - lo;
            region_pieces.clear();
            region_lines.clear();
            for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
                if (cuts[i] < lo || cuts[i + 1] > hi) continue;
                region_pieces.push_back({(cuts[i] - lo) / length, (cuts[i + 1] - lo) / length});
                region_lines.push_back(restrict_to(profile, cuts[i], cuts[i + 1]));
            }
        };
        std::array<Singularity, 8> points_of_lens{};
        if constexpr (!decltype(restrict_to(profile, 0.0, 1.0))::limb) {
            if (cuts.size() - 1 <= quadrature::ProductRule::MAX_PIECES) {
                const auto by_product = [&](double lo, double hi, quadrature::ProductRule& rule,
                                            quadrature::WeightedGauss& own) {
                    const std::size_t count = AffinePiece::singularities(lens, reach, points_of_lens);
                    // The factor w = 2 pi r (G + r G'/2) is singular at r = +-l,
                    // and beyond the ring through the lens (r > l) at r = 0 as
                    // well (it is 2 pi r times the ring mean there).
                    double rho_region = std::numeric_limits<double>::infinity();
                    for (const double z : {lens, -lens, 0.0}) {
                        if (z == 0.0 && hi <= lens) continue;
                        rho_region = std::min(rho_region, detail::bernstein_rho(detail::Complex(z, 0.0), lo, hi));
                    }
                    // The Gauss rule of the profile's measure, sized as
                    // Gauss-Legendre; the product rule, for twice K.
                    const double n_own = rules::kept_size(std::max(detail::nodes_for(rho_region, detail::K_NEAR),
                                                                   static_cast<double>(detail::FAR_MIN)));
                    const double n_product = rules::kept_size(std::max(detail::nodes_for(rho_region, 2.0 * detail::K_NEAR),
                                                                       static_cast<double>(detail::FAR_MIN)));
                    if (!(n_own <= static_cast<double>(quadrature::WeightedGauss::CAP))) return false;
                    // What the pieces would take one by one.
                    double by_pieces = 0.0;
                    for (std::size_t i = 0; i + 1 < cuts.size() && by_pieces <= n_product; ++i) {
                        if (cuts[i] < lo || cuts[i + 1] > hi) continue;
                        double rho_piece = std::numeric_limits<double>::infinity();
                        for (std::size_t k = 0; k < count; ++k) {
                            rho_piece = std::min(rho_piece, detail::bernstein_rho(
                                                                detail::Complex(points_of_lens[k].re, points_of_lens[k].im),
                                                                cuts[i], cuts[i + 1]));
                        }
                        by_pieces += std::clamp(detail::nodes_for(rho_piece, detail::K_NEAR),
                                                static_cast<double>(detail::NEAR_MIN),
                                                static_cast<double>(detail::DERIVATIVE_NODES));
                    }
                    if (!(by_pieces > n_own)) return false;
                    const double length = hi - lo;
                    const auto gather = [&] { gather_region(lo, hi); };
                    const auto p_at = [&](std::size_t k, double t) { return region_lines[k].value(lo + length * t); };
                    {
                        const auto n = static_cast<std::size_t>(n_own);
                        const quadrature::WeightedGauss::Nodes* g = own.kept(n);
                        if (g == nullptr && !own.refused(n)) {
                            gather();
                            g = own.rule(n, region_pieces, p_at);
                        }
                        if (g != nullptr) {
                            each_pair(true, n, [&](std::size_t i) { return lo + length * g->t[i]; },
                                      [&](std::size_t i, double v) { total += length * g->w[i] * v; });
                            return true;
                        }
                    }
                    if (!(n_product <= static_cast<double>(quadrature::ProductRule::CAP)) || !(by_pieces > n_product)) {
                        return false;
                    }
                    const auto n = static_cast<std::size_t>(n_product);
                    const std::vector<double>* w = rule.kept(n);
                    if (w == nullptr) {
                        gather();
                        w = &rule.weights(n, region_pieces, p_at);
                    }
                    const gauss::Rule nodes = gauss::legendre(n);
                    each_pair(true, n, [&](std::size_t i) {
                        return nodes.t[i] <= 0.5 ? lo + length * nodes.t[i] : hi - length * nodes.one_minus_t[i];
                    }, [&](std::size_t i, double v) { total += length * (*w)[i] * v; });
                    return true;
                };
                if (band_lo > 0.0) {
                    const auto k = static_cast<std::size_t>(band_lo * detail::BAND_GRID);
                    if (by_product(0.0, band_lo, products.below[k], products.below_gauss[k])) covered_below = band_lo;
                }
                if (band_hi < 1.0) {
                    const auto k = static_cast<std::size_t>(band_hi * detail::BAND_GRID);
                    if (by_product(band_hi, 1.0, products.above[k], products.above_gauss[k])) covered_above = band_hi;
                }
                if (interrupt(evaluations)) return interrupted();
                evaluations = 0;
            }
        }
        // Inside the band, blocks of a table's pieces by one rule each where
        // that takes fewer disks than their pieces: by parts over the block
        // S = [s0, s1],
        //   int_S p (r^2 G)' dr = [p r^2 G]_s0^s1 - int_S p' r^2 G dr,
        // which is the sum of its pieces' own (the profile is continuous
        // inside S, which is checked), the last integral by a rule of the
        // piecewise-constant p' against r^2 G, analytic on S, sized from the
        // lens: the Gauss rule of |p'| dr where p' has one sign on S, else
        // the product rule of p' (for twice K, as every product rule).  The blocks:
        // on either side of the lens the region from the band's edge to a
        // sixteenth of the star as near the lens as its rule allows (of the
        // three nearest it can take, the one that saves the most), and the
        // eighths of the star at least their own length from the lens
        // outside those.  Their ends on sixteenths let a table keep their
        // weights.
        struct Block {
            double s0, s1;
            std::size_t n;
            // The sign of p' on S where the Gauss rule of |p'| dr serves
            // (+-1), else 0 and the product rule.
            double sign;
            // Its kept rules: the region's [i0/16, i1/16] (looked up where
            // used: the regions' list grows).
            std::size_t i0, i1;
        };
        std::array<Block, detail::BAND_EIGHTHS + 2> blocks{};
        std::size_t block_count = 0;
        if constexpr (!decltype(restrict_to(profile, 0.0, 1.0))::limb) {
            if (cuts.size() - 1 <= quadrature::ProductRule::MAX_PIECES) {
                // f(a, b) for each piece [a, b] of S = [s0, s1] between the
                // table's knots, in order.
                const auto each_piece = [&](double s0, double s1, auto&& f) {
                    const auto first = std::upper_bound(inner.begin(), inner.end(), s0);
                    const auto last = std::lower_bound(inner.begin(), inner.end(), s1);
                    double at = s0;
                    for (auto knot = first;; ++knot) {
                        const double next_cut = knot == last ? s1 : *knot;
                        f(at, next_cut);
                        at = next_cut;
                        if (knot == last) break;
                    }
                };
                // The rule over S (the Gauss rule of |p'| dr, sized as
                // Gauss-Legendre, where `sign` says p' has one sign; the
                // product rule for twice K): its size, or 0 where S lies
                // outside the band or needs more than the largest rule.
                const auto block_size = [&](double s0, double s1, double sign) {
                    if (!(s0 >= band_lo && s1 <= band_hi && s1 > s0)) return 0.0;
                    double rho_s = std::numeric_limits<double>::infinity();
                    for (const double z : {lens, -lens, 0.0}) {
                        if (z == 0.0 && s1 <= lens) continue;
                        rho_s = std::min(rho_s, detail::bernstein_rho(detail::Complex(z, 0.0), s0, s1));
                    }
                    const double n = rules::kept_size(std::max(detail::nodes_for(rho_s, (sign != 0.0 ? 1.0 : 2.0) * detail::K_NEAR),
                                                               static_cast<double>(detail::FAR_MIN)));
                    return n <= static_cast<double>(quadrature::ProductRule::CAP) ? n : 0.0;
                };
                // About the disks S's pieces take one by one, S on one side
                // of the lens (each bisected no further: fewer than they
                // take; rough counts, which choose and never size).
                const auto by_pieces = [&](double s0, double s1) {
                    double cost = 0.0;
                    each_piece(s0, s1, [&](double a, double b) {
                        const double d = lens >= b ? lens - b : a - lens;
                        cost += 1.0 + detail::rough_part_nodes(d, b - a);
                    });
                    return cost;
                };
                // What the profile is on [i0/16, i1/16] (see band_shape), from
                // one walk over its pieces: 4 not continuous, else 2 + the
                // sign of p' (+-1 where it has one sign and is not 0
                // throughout, else 0).
                const auto shape_of = [&](std::size_t i0, std::size_t i1) {
                    if (products.band_shape.empty()) {
                        products.band_shape.assign((detail::BAND_GRID_POINTS + 1) * (detail::BAND_GRID_POINTS + 1), 0);
                    }
                    std::int8_t& shape = products.band_shape[(detail::BAND_GRID_POINTS + 1) * i0 + i1];
                    if (shape != 0) return shape;
                    bool continuous = true, up = false, down = false;
                    double before = std::numeric_limits<double>::quiet_NaN();
                    each_piece(static_cast<double>(i0) / detail::BAND_GRID, static_cast<double>(i1) / detail::BAND_GRID,
                               [&](double a, double b) {
                                   const auto line = restrict_to(profile, a, b);
                                   if (before == before) {
                                       const double here = line.value(a);
                                       continuous = continuous &&
                                                    std::fabs(here - before) <= 1e-13 * (std::fabs(here) + std::fabs(before));
                                   }
                                   before = line.value(b);
                                   const double slope = line.slope_jacobian(0.0);
                                   up = up || slope > 0.0;
                                   down = down || slope < 0.0 || slope != slope;
                               });
                    shape = !continuous ? 4 : static_cast<std::int8_t>(up == down ? 2 : (up ? 3 : 1));
                    return shape;
                };
                const auto pieces_in = [&](double s0, double s1) {
                    return static_cast<std::size_t>(std::lower_bound(inner.begin(), inner.end(), s1) -
                                                    std::upper_bound(inner.begin(), inner.end(), s0)) +
                           1;
                };
                // The regions from the band's edges towards the lens.
                for (const bool above : {false, true}) {
                    const double edge = above ? std::min(band_hi, 1.0) : std::max(band_lo, 0.0);
                    const double nearest = above ? std::ceil(lens * detail::BAND_GRID)
                                                 : std::min(std::floor(lens * detail::BAND_GRID), detail::BAND_GRID);
                    double best_saving = 2.0;
                    Block best{};
                    std::size_t feasible = 0;
                    for (double k = nearest; k >= 0.0 && k <= detail::BAND_GRID && feasible < 3; k += above ? 1.0 : -1.0) {
                        const double cut = k / detail::BAND_GRID;
                        const double s0 = above ? cut : edge, s1 = above ? edge : cut;
                        if (!(s1 - s0 >= 2.0 / detail::BAND_GRID)) break;
                        if (pieces_in(s0, s1) < detail::BAND_EIGHTH_PIECES) continue;
                        // Continuity and the slope's sign depend on the table alone.
                        const auto i0 = static_cast<std::size_t>(s0 * detail::BAND_GRID);
                        const auto i1 = static_cast<std::size_t>(s1 * detail::BAND_GRID);
                        const std::int8_t shape = shape_of(i0, i1);
                        if (shape == 4) continue;
                        const double sign = static_cast<double>(shape - 2);
                        const double n = block_size(s0, s1, sign);
                        if (n == 0.0) continue;
                        ++feasible;
                        const double saving = by_pieces(s0, s1) - n;
                        if (saving > best_saving) {
                            best_saving = saving;
                            best = Block{s0, s1, static_cast<std::size_t>(n), sign, i0, i1};
                        }
                    }
                    if (best.n > 0) blocks[block_count++] = best;
                }
                // The eighths outside those regions.
                for (std::size_t j = 0; j < detail::BAND_EIGHTHS; ++j) {
                    const double s0 = static_cast<double>(j) / 8.0, s1 = static_cast<double>(j + 1) / 8.0;
                    bool free = true;
                    for (std::size_t b = 0; b < block_count; ++b) free = free && (s1 <= blocks[b].s0 || s0 >= blocks[b].s1);
                    if (!free) continue;
                    const double d = lens >= s1 ? lens - s1 : (lens <= s0 ? s0 - lens : -1.0);
                    if (!(d >= s1 - s0)) continue;
                    if (pieces_in(s0, s1) < detail::BAND_EIGHTH_PIECES) continue;
                    const std::int8_t shape = shape_of(2 * j, 2 * j + 2);
                    if (shape == 4) continue;
                    const double sign = static_cast<double>(shape - 2);
                    const double n = block_size(s0, s1, sign);
                    if (n == 0.0) continue;
                    if (!(by_pieces(s0, s1) > n + 2.0)) continue;
                    blocks[block_count++] = Block{s0, s1, static_cast<std::size_t>(n), sign, 2 * j, 2 * j + 2};
                }
                for (std::size_t b = 0; b < block_count; ++b) {
                    cut_at(blocks[b].s0);
                    cut_at(blocks[b].s1);
                }
            }
        }
        const auto block_of = [&](double a, double b) -> std::size_t {  // block_count: none
            for (std::size_t k = 0; k < block_count; ++k) {
                if (blocks[k].n > 0 && a >= blocks[k].s0 && b <= blocks[k].s1) return k;
            }
            return block_count;
        };
        // The boundary terms pi [p r^2 G] of the pieces by parts: at a cut
        // two pieces share, p's jump there times r^2 G.  A table is
        // continuous at its knots, as the built-in law is at the lens: the two
        // lines agree there to rounding, and r^2 G is not evaluated at all
        // (what is left of such a jump, a few ulps of p, would add as many
        // ulps of r^2 G).  A piece's end waits for the next piece's start.
        double pending_at = std::numeric_limits<double>::quiet_NaN(), pending_p = 0.0;
        const auto settle = [&]() {
            const double value = std::isnan(pending_at) ? 0.0 : pending_p * r2G(pending_at);
            pending_at = std::numeric_limits<double>::quiet_NaN();
            return value;
        };
        const auto start_at = [&](double a, double pa) {
            if (pending_at == a) {
                const double jump = pending_p - pa;
                pending_at = std::numeric_limits<double>::quiet_NaN();
                return std::fabs(jump) <= 4e-15 * (std::fabs(pending_p) + std::fabs(pa)) ? 0.0 : jump * r2G(a);
            }
            const double before = settle();
            return before - pa * r2G(a);
        };
        const auto end_at = [&](double b, double pb) {
            pending_at = b;
            pending_p = pb;
        };
        for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
            const double a = cuts[i], b = cuts[i + 1];
            if (b <= covered_below || a >= covered_above) continue;
            if (const std::size_t j = block_of(a, b); j < block_count) {
                // The block as a whole at its first piece, the others skipped.
                const double s0 = blocks[j].s0, s1 = blocks[j].s1, length = s1 - s0;
                if (a != s0) continue;
                const std::size_t n = blocks[j].n;
                DiskRouteProducts::BandRegion& region = products.band_region(blocks[j].i0, blocks[j].i1);
                quadrature::WeightedGauss& gauss_rules = region.gauss;
                quadrature::ProductRule& product_rules = region.product;
                // The Gauss rule of |p'| dr where p' has one sign on S.  Where
                // none is found (a measure it cannot resolve), n is too small
                // for the product rule: the block's pieces go one by one.
                const quadrature::WeightedGauss::Nodes* own = nullptr;
                if (blocks[j].sign != 0.0) {
                    own = gauss_rules.kept(n);
                    if (own == nullptr && !gauss_rules.refused(n)) {
                        gather_region(s0, s1);
                        own = gauss_rules.rule(n, region_pieces, [&](std::size_t k, double) {
                            return std::fabs(region_lines[k].slope_jacobian(0.0));
                        });
                    }
                    if (own == nullptr) {
                        blocks[j].n = 0;
                        --i;  // this piece again, as a piece (unsigned: wraps and comes back)
                        continue;
                    }
                }
                const std::vector<double>* w = nullptr;
                if (own == nullptr) {
                    w = product_rules.kept(n);
                    if (w == nullptr) {
                        gather_region(s0, s1);
                        w = &product_rules.weights(n, region_pieces, [&](std::size_t k, double) {
                            return region_lines[k].slope_jacobian(0.0);
                        });
                    }
                }
                std::size_t end_piece = i;
                while (end_piece + 2 < cuts.size() && cuts[end_piece + 1] < s1) ++end_piece;
                double sum = start_at(s0, restrict_to(profile, s0, cuts[i + 1]).value(s0));
                end_at(s1, restrict_to(profile, cuts[end_piece], s1).value(s1));
                if (own != nullptr) {
                    each_pair(false, n, [&](std::size_t k) { return s0 + length * own->t[k]; },
                              [&](std::size_t k, double v) { sum -= blocks[j].sign * length * own->w[k] * v; });
                } else {
                    const gauss::Rule nodes = gauss::legendre(n);
                    each_pair(false, n, [&](std::size_t k) {
                        return nodes.t[k] <= 0.5 ? s0 + length * nodes.t[k] : s1 - length * nodes.one_minus_t[k];
                    }, [&](std::size_t k, double v) { sum -= length * (*w)[k] * v; });
                }
                total += PI * sum;
                if (interrupt(evaluations)) return interrupted();
                evaluations = 0;
                continue;
            }
            const auto piece = restrict_to(profile, a, b);
            const std::span<const Singularity> points(singular.data(),
                                                      piece.singularities(lens, reach, singular));
            // The piece in the variable of integration, ascending; the image
            // of the lens when it is an end.
            const double ta = piece.to_variable(a), tb = piece.to_variable(b);
            const double lo = std::min(ta, tb), hi = std::max(ta, tb);
            const double own = a == lens ? ta : (b == lens ? tb : std::numeric_limits<double>::quiet_NaN());
            if (a >= band_lo && b <= band_hi) {
                // pi [p r^2 G]_a^b - pi int_a^b p' r^2 G dr.
                double sum = start_at(a, piece.value(a));
                end_at(b, piece.value(b));
                const auto h_one = [&](double t) {
                    const double r = piece.radius(t);
                    return piece.slope_jacobian(t) * r2G(r);
                };
                const auto h_two = [&](const double t[2], double out[2]) {
                    const double r[2] = {piece.radius(t[0]), piece.radius(t[1])};
                    r2G2(r, out);
                    out[0] *= piece.slope_jacobian(t[0]);
                    out[1] *= piece.slope_jacobian(t[1]);
                };
                const auto h_four = [&](const double t[4], double out[4]) {
                    const double r[4] = {piece.radius(t[0]), piece.radius(t[1]), piece.radius(t[2]), piece.radius(t[3])};
                    r2G4(r, out);
                    for (int k = 0; k < 4; ++k) out[k] *= piece.slope_jacobian(t[k]);
                };
                const auto h = gauss::Grouped{h_one, h_two, h_four};
                const auto h2 = gauss::Grouped{[&](double t, double) { return h_one(t); },
                                               [&](const double t[2], const double*, double out[2]) { h_two(t, out); },
                                               [&](const double t[4], const double*, double out[4]) { h_four(t, out); }};
                sum -= detail::graded_parts(lo, hi, points, own, detail::BY_PARTS_NODES, h, [&](double x, double y, double n) {
                    return x == own   ? gauss::integrate_from(h2, x, y, log_rule)
                           : y == own ? gauss::integrate_to(h2, x, y, log_rule)
                                      : gauss::integrate(h, x, y, gauss::legendre(static_cast<std::size_t>(n)));
                }, 0, piece.to_variable(0.0));
                total += PI * sum;
            } else {
                const auto h = gauss::Paired{
                    [&](double t) { return piece.value_jacobian(t) * weight(piece.radius(t)); },
                    [&](const double t[2], double out[2]) {
                        const double r[2] = {piece.radius(t[0]), piece.radius(t[1])};
                        weight2(r, out);
                        out[0] *= piece.value_jacobian(t[0]);
                        out[1] *= piece.value_jacobian(t[1]);
                    }};
                total += detail::graded_parts(lo, hi, points, own, detail::DERIVATIVE_NODES, h, [&](double x, double y, double n) {
                    return gauss::integrate(h, x, y, gauss::legendre(static_cast<std::size_t>(n)));
                });
            }
            if (interrupt(evaluations)) return interrupted();
            evaluations = 0;
        }
        total += PI * settle();
        // (never_dims: see above.)
        const double value = total / N;
        result.push_back(never_dims && value < 1.0 ? 1.0 : value);
    }
    return result;
}

}  // namespace halomag::models
