// Quadrature rules for integrals over the stellar disk of integrands built
// on the ring magnification A_ring(l, r) (lib/ring.hpp),
//
//   I = int_0^1 f(r, l - r) 2 pi r dr,
//
// chosen per separation l from where the integrand's singularities lie.
//
// As a function of the ring radius r, A_ring(l, r) is analytic except at
// r = +-l (a logarithmic singularity, the ring through the lens) and at
// r = +-l +- 2iu (u = re/rstar: there q = 4u^2 + (l - r)^2 vanishes, and
// for small u these crowd the real one).  A profile adds its own: the kinks
// of a piecewise-linear table at its knots, and sqrt(1 - r^2) at the limb
// for the built-in law.  Gauss-Legendre with n nodes on [a, b] converges like
// rho^(-2n), rho the semi-axis sum of the largest ellipse with foci a, b
// free of singularities [3]; the rules below place the pieces and choose n
// from the singularities' positions so that rho^(-2n) is below e^(-2K):
//
// * the built-in law: in mu = sqrt(1 - r^2) (r dr = -mu dmu), where the
//   profile 0.4 + 0.6 mu is linear and A_ring, a function of r^2 = 1 - mu^2,
//   has its singularities at mu^2 = 1 - r_s^2;
//   - l > 1: the ring through the lens is off the disk, mu = +-ib with
//     b = sqrt(l^2 - 1); [0, b/2] by Gauss-Legendre, the rest in
//     s = ln(2 mu / b), where those singularities sit at Im s = pi/2
//     whatever b is (an exponential map, the one-sided form of the sinh
//     map mu = b sinh theta);
//   - l = 1: a logarithmic singularity at mu = 0: the generalised Gauss rule
//     exact for t^k and t^k ln t [4] on a core [0, h], the exponential map
//     beyond it;
//   - 1/2 <= l < 1: split at mu_l = sqrt(1 - l^2), logarithmic cores on
//     both sides and exponential maps beyond;
//   - 0 < l < 1/2: r up to (1 + l)/2 as for a table (mu_l crowds mu = 1,
//     where the mean outside the ring through the lens, u/r-like, is
//     singular), mu beyond;
//   - l = 0: one rule in theta, r = sin(theta) (the ring mean about the
//     lens, u/r near r = 0, is not a function of r^2 but r A is analytic in
//     r, and the profile 0.4 + 0.6 cos(theta) is entire).
//   Outside the ring through the lens (r > l) the mean is r^-1 times a
//   function of l^2/r^2, singular at r = 0 as well; inside it, it is
//   analytic in r^2 there.
// * a tabulated profile: in r, piece by piece between its knots, each piece
//   split at r = l when the lens is inside it; pieces ending at r = l get a
//   logarithmic core and the exponential map (but the piece from the centre
//   with the lens on it, where r A is analytic, plain Gauss-Legendre),
//   pieces with r = l less than two lengths beyond an end one rule in
//   s = ln((x + e)/e), x the distance from that end and e the ring's,
//   where the logarithm is linear (from_lens).
//   (The table itself, lib/ring_route.hpp, plans its pieces far from the
//   lens, and takes one product rule over the whole star or over an eighth
//   of it where that needs fewer rings.)
// * far out (l >= SERIES_FROM) no ring at all: the mean-value series
//   (far_field_series below).
//
// Nodes next to r = l are handed the gap g = l - r formed from their
// distance to the singular end, never by subtracting two nearby numbers.
//
// References
//   [1] D. Heyrovsky, "Computing limb-darkening coefficients from stellar
//       atmosphere models", ApJ 594 (2003) 464-475.
//   [2] R. Courant, D. Hilbert, Methods of Mathematical Physics II (1962),
//       ch. IV 3 (the mean-value expansion of a function over a circle).
//   [3] L. N. Trefethen, "Is Gauss quadrature better than Clenshaw-Curtis?",
//       SIAM Review 50 (2008) 67-87 (theorem 4.5).
//   [4] J. Ma, V. Rokhlin, S. Wandzura, "Generalized Gaussian quadrature
//       rules for systems of arbitrary functions", SIAM J. Numer. Anal. 33
//       (1996) 971-996.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "numerics/gauss.hpp"

namespace halomag::models::rules {

using Complex = std::complex<double>;
namespace gauss = quadrature::gauss;

inline constexpr double PI = 3.141592653589793;
inline constexpr double TWO_PI = 6.283185307179586;

// K = ln(1/tolerance)/2 for Gauss-Legendre: rho^(-2n) <= e^(-2K) = 2e-16.
// The margin covers the constant in front of rho^(-2n), which grows with
// the strength of the singularity (u/(pi l) at the ring through the lens,
// large for a small star).  The built-in law takes these rules only where
// its small-source series does not serve, u < 0.71 (1 + l) < 2.9 (lib/
// small_source.hpp), and there, against a K = 32 evaluation at 900
// separations (l over [0, 3), within 1e-13 of the limb, down to 1e-9 of the
// centre) for u from 1e-4 to 2.8: K = 16 leaves 1.9e-14, K = 17 2.4e-15,
// K = 18 1.8e-15 and K = 21 2.2e-15 (rounding; the truncation falls by e^-2
// per unit of K, to about 4e-16 at 18); against the 30-digit references
// K = 18 leaves 2.6e-15.  (Before that series, u up to 1000 took these
// rules, and K = 18 left 3e-14 there.)  The rules below take K as the
// parameter kk.
inline constexpr double K_LEGENDRE = 18.0;
// Pieces of a tabulated profile each carry only their share of the flux and
// lie farther from the branch points of the law at the limb.  With the
// rules sized for the growth of the exponential map (MAP_GROWTH) and for
// the reach of a piece's line (tilt_factor), against a K = 32 evaluation at
// 270 separations (l over [0, 3), within 1e-12 of the limb) for u from 0.01
// to 1000, over ten tables (sine-spaced samples of the linear law with 5,
// 11 and 51 radii; steep and random ones of 6 to 18 radii): K = 14 leaves
// 4.6e-14, K = 15 2e-14, K = 16 2.4e-15, K = 17 2.9e-15 (rounding).  (Before
// those two terms, K = 19 was needed, and left 7.6e-14 on a random table.)
inline constexpr double K_TABLE = 17.0;
// The logarithmic rule is exact for polynomials of degree n - 1 in each of
// the two parts phi, psi of phi(x) ln x + psi(x) (the other n conditions go
// to t^k ln t), which bounds its error by rho^(-n); it is sized as
// rho^(-n) <= e^(-LOG_FACTOR K).  In practice it converges faster: against
// the references 1.3 K is enough, 1.2 K leaves 8e-15; 1.5 K keeps a margin.
inline constexpr double LOG_FACTOR = 1.5;
// Largest rule used before a piece is split.
inline constexpr std::size_t LEGENDRE_CAP = 32;
inline constexpr std::size_t LOG_CAP = gauss::LOG_END_MAX;
// A logarithmic core reaches out to this fraction of the distance to the
// nearest other singularity.
inline constexpr double CORE_FRACTION = 0.5;
// Beyond the core, x = h e^s: the integrand in s carries dx/ds = x, and
// the area weight and the brightness can each grow like x as well (2 pi r
// with r = a + x from a small a; a table's line, or the law's mu, measured
// from the end): at most e^(3s) in all (plan_legendre's growth).  Without
// it a steep line at the limb (a table falling fifty-fold over its last
// 0.01, the references' "steep") left 4.6e-14 at l = 1 + 3.5e-10, and
// 8.9e-16 with it, for 1 to 3 % more rings.
inline constexpr double MAP_GROWTH = 3.0;

// Up to 24 singularities of the integrand in the plane of a piece's
// variable (non-finite ones, which overflowed and are far away, are
// dropped; the rules below never list more than a dozen).  The integrand is
// real on the real axis, so its singularities come in conjugate pairs, and
// a Bernstein ellipse about a real interval (or the distance to the real
// axis) sees z and its conjugate alike: only the member in the upper
// half-plane is kept, and each point once.  The storage is left
// uninitialised (only the first `size` entries are ever read): the planners
// build several of these per separation, and clearing them cost as much as
// filling them.
class Singularities {
public:
    Singularities() noexcept {}  // NOLINT: re_, im_ deliberately uninitialised
    std::size_t size() const noexcept { return size_; }
    Complex operator[](std::size_t k) const noexcept { return {re_[k], im_[k]}; }
    void add(Complex v) noexcept {
        const double x = v.real(), y = std::fabs(v.imag());
        if (!(std::isfinite(x) && std::isfinite(y))) return;
        for (std::size_t k = 0; k < size_; ++k) {
            if (re_[k] == x && im_[k] == y) return;
        }
        if (size_ < CAPACITY) {
            re_[size_] = x;
            im_[size_] = y;
            ++size_;
        }
    }

private:
    static constexpr std::size_t CAPACITY = 24;
    double re_[CAPACITY];
    double im_[CAPACITY];
    std::size_t size_ = 0;
};

// arg z, as std::atan2(Im z, Re z) gives it, without the library call for
// the real points that most lists of singularities hold (a signed zero
// imaginary part keeps its sign in the result, as atan2's does).
inline double argument(Complex z) noexcept {
    if (z.imag() == 0.0 && z.real() != 0.0 && !std::isnan(z.real())) {
        const double angle = z.real() > 0.0 ? 0.0 : PI;
        return std::signbit(z.imag()) ? -angle : angle;
    }
    return std::atan2(z.imag(), z.real());
}

inline std::size_t nodes_for(double rho, double k) noexcept {
    if (!(rho > 1.0)) return std::numeric_limits<std::size_t>::max();
    const double n = std::ceil(k / std::log(rho));
    return n < 1.0 ? 1 : (n > 1e6 ? std::size_t{1000000} : static_cast<std::size_t>(n));
}

// The size of a rule whose weights a table keeps (the Gauss rules of its
// measure, product rules): n rounded up to one of a dozen sizes, so that a
// light curve's separations share them (each is built once per table and
// size, and building is most of the cost of a call with a new table), for
// about 1 % more rings.
inline std::size_t kept_size(std::size_t n) noexcept {
    for (const std::size_t size : {2u, 3u, 4u, 5u, 6u, 8u, 10u, 12u, 16u, 20u, 24u, 32u}) {
        if (size >= n) return size;
    }
    return n;
}
inline double kept_size(double n) noexcept {
    return n <= 32.0 ? static_cast<double>(kept_size(static_cast<std::size_t>(n))) : n;
}

// A piece's brightness as a line in the variable x of its rules (the
// distance from the end they start at): p(x) = at_start + slope x.
struct Tilt {
    double at_start = 1.0;
    double slope = 0.0;
};

// A rule's bound holds relative to the integrand's largest modulus on the
// Bernstein ellipse, and a line reaches farther there than on the interval:
// on the ellipse with foci a, b and semi-major axis A (in half-lengths L =
// (b - a)/2), |p| <= |p(c)| + |p'| L A, against |p(c)| + |p'| L on [a, b]
// (c the middle).  This is their ratio; a rule is sized for
// K + ln(factor)/2 (ln(factor) for the logarithmic rule, whose bound is
// rho^(-n)).  A flat line, and a degenerate ellipse, give 1.  Without it a
// table's steep last piece (falling fifty-fold to the limb) with the lens
// inside it kept 3e-14 at K = 17.
inline double tilt_factor(const Tilt& p, double a, double b, double axis) noexcept {
    const double half = 0.5 * (b - a);
    const double centre = std::fabs(p.at_start + p.slope * (a + half));
    const double lean = std::fabs(p.slope) * half;
    const double f = (centre + lean * axis) / (centre + lean);
    return f > 1.0 && f < std::numeric_limits<double>::infinity() ? f : 1.0;
}

// x = m 2^e with m in [1, 2), for a finite x >= 1, from its bits: e ln 2
// and m (the logarithms below without a library call).
struct Octaves {
    double log_two_power;  // e ln 2
    double mantissa;       // m
};
inline Octaves octaves(double x) noexcept {
    const auto bits = std::bit_cast<std::uint64_t>(x);
    const auto exponent = static_cast<int>(bits >> 52) - 1023;
    return {exponent * 0.6931471805599453,
            std::bit_cast<double>((bits & 0x000fffffffffffffULL) | 0x3ff0000000000000ULL)};
}

// ln(tilt_factor), rounded up by at most 0.31 and without a library call
// (it is formed for most rules of every separation): for f = m 2^e,
// m in [1, 2), ln f = e ln 2 + ln m <= e ln 2 + m - 1.
inline double tilt_log(const Tilt& p, double a, double b, double axis) noexcept {
    if (p.slope == 0.0) return 0.0;
    const Octaves f = octaves(tilt_factor(p, a, b, axis));  // in [1, inf)
    return f.log_two_power + (f.mantissa - 1.0);
}

// ln x for x >= 1 to about 1e-4 relative, without a library call: for
// choosing between rules by their rough node counts, never for sizing one.
inline double rough_log(double x) noexcept {
    const Octaves f = octaves(x);
    const double z = (f.mantissa - 1.0) / (f.mantissa + 1.0), z2 = z * z;  // ln m = 2 atanh z
    return f.log_two_power + 2.0 * z * (1.0 + z2 * (1.0 / 3.0 + z2 * 0.2));
}

// A table's line in r: p(r) = at_middle + slope (r - middle), written
// about the piece's middle (an intercept form c0 + c1 r would lose |c1| r/|p|
// of the digits on a steep ramp).
struct Line {
    double middle = 0.0;
    double at_middle = 1.0;
    double slope = 0.0;
    double operator()(double r) const noexcept { return at_middle + slope * (r - middle); }
};

// The Gauss-Legendre plan of [a, b]: the number of nodes the nearest
// singularity asks for and, for a rule longer than LEGENDRE_CAP, the point
// at which to split: through the nearest singularity's real part, or at
// twice its distance from the nearer end, so that pieces shrink
// geometrically towards a singularity near an end.
//
// `growth` g > 0 says that the integrand grows like e^(g x) along the
// interval (the exponential map's x = h e^s, below).  The bound rho^(-2n)
// holds relative to the integrand's largest modulus on the ellipse, which
// reaches out by (A - 1) L beyond the interval's far end (A the ellipse's
// semi-major axis in half-lengths L = (b - a)/2), where e^(g x) is
// e^(g L (A - 1)) times its largest value on the interval, which sets the
// integral's size.  So the rule is sized for K + g L (A - 1)/2.
struct LegendrePlan {
    std::size_t n;
    double split;
};

// K for a rule over [a, b] whose integrand grows like e^(g x) (see above),
// `axis` the semi-major axis of the ellipse it is sized on (in half-lengths;
// an infinite one, no singularity at all, adds nothing).
inline double grown(double kk, double growth, double a, double b, double axis) noexcept {
    return growth > 0.0 && axis < std::numeric_limits<double>::infinity()
               ? kk + 0.5 * growth * (0.5 * (b - a)) * (axis - 1.0)
               : kk;
}

// The nodes for a rule over [a, b] whose integrand grows like e^(g x) and is
// analytic inside the ellipse of semi-major axis `axis`.  The bound holds on
// every smaller ellipse as well, and where the ellipse reaches far beyond
// the interval its growth term costs more than its size saves: in
// t = acosh A = ln rho, n(t) = (K + c (cosh t - 1))/t, c = g L/2, is convex
// with its least value where h(t) = t sinh t - cosh t + 1 = K/c.  Where that
// t is below the singularity's, the rule is sized on it: Newton's method on
// ln h (nearly linear in t for large t, like 2 ln t for small), which is
// concave, so that its first step lands at or below the root and the next
// ones climb towards it; every t below the singularity's gives a valid
// size, and the smaller of the two sizes is taken.
inline std::size_t grown_size(double kk, double growth, double a, double b, double axis) noexcept {
    const double rho = gauss::rho_of_axis(axis);
    const std::size_t plain = nodes_for(rho, grown(kk, growth, a, b, axis));
    if (!(growth > 0.0) || !(axis < std::numeric_limits<double>::infinity()) || !(rho > 1.0)) return plain;
    const double c = 0.5 * growth * (0.5 * (b - a));
    const double target = std::log(kk / c);
    const auto h_of = [](double t, double cosh_t, double sinh_t) {
        // (the series below t = 0.1, where the difference cancels)
        return t < 0.1 ? t * t * (0.5 + t * t * (0.125 + t * t / 144.0)) : t * sinh_t - cosh_t + 1.0;
    };
    const double t_a = std::log(rho);
    if (!(std::log(h_of(t_a, axis, std::sqrt((axis - 1.0) * (axis + 1.0)))) > target)) return plain;
    double t = t_a;
    for (int step = 0; step < 4; ++step) {
        const double e = std::exp(t), cosh_t = 0.5 * (e + 1.0 / e), sinh_t = 0.5 * (e - 1.0 / e);
        const double h = h_of(t, cosh_t, sinh_t);
        double next = t - (std::log(h) - target) * h / (t * cosh_t);
        if (!(next > 0.0)) next = 0.5 * t;
        t = std::min(next, t_a);
    }
    const double e = std::exp(t);
    return std::min(plain, nodes_for(e, kk + c * (0.5 * (e + 1.0 / e) - 1.0)));
}

inline LegendrePlan plan_legendre(double a, double b, const Singularities& sing, double kk,
                                  double growth = 0.0, const Tilt& tilt = {}) noexcept {
    double axis2 = std::numeric_limits<double>::infinity();
    Complex nearest{};
    for (std::size_t k = 0; k < sing.size(); ++k) {
        const double A2 = gauss::bernstein_axis_squared(sing[k], a, b);
        if (A2 < axis2) {
            axis2 = A2;
            nearest = sing[k];
        }
    }
    const double axis = std::sqrt(axis2);
    // (The tilt on the singularity's ellipse bounds it on any smaller one.)
    const std::size_t n = grown_size(kk + 0.5 * tilt_log(tilt, a, b, axis), growth, a, b, axis);
    if (n <= LEGENDRE_CAP) return {n, 0.0};
    const double re = nearest.real();
    const double d = gauss::modulus(nearest - Complex(std::clamp(re, a, b), 0.0));
    double m = std::clamp(re, a + 2.0 * d, b - 2.0 * d);
    if (!(a + 2.0 * d < b - 2.0 * d)) m = 0.5 * (a + b);
    return {n, m};
}

inline constexpr int LEGENDRE_DEPTH = 60;

// The number of nodes legendre() below emits for [a, b].
inline std::size_t legendre_count(double a, double b, const Singularities& sing, double kk,
                                  int depth = 0, double growth = 0.0, const Tilt& tilt = {}) noexcept {
    if (!(b > a)) return 0;
    const LegendrePlan plan = plan_legendre(a, b, sing, kk, growth, tilt);
    if (plan.n > LEGENDRE_CAP && depth < LEGENDRE_DEPTH) {
        return legendre_count(a, plan.split, sing, kk, depth + 1, growth, tilt) +
               legendre_count(plan.split, b, sing, kk, depth + 1, growth, tilt);
    }
    return std::min(plan.n, LEGENDRE_CAP);
}

// Gauss-Legendre over [a, b] of the variable x, mapped by `map(x)` to a
// node (r, gap, area weight per unit x), split as plan_legendre says where
// one rule would need more than LEGENDRE_CAP nodes.
template <class Map, class Emit>
void legendre(double a, double b, const Singularities& sing, const Map& map, Emit& emit,
              int depth = 0, double kk = K_LEGENDRE, double growth = 0.0, const Tilt& tilt = {}) {
    if (!(b > a)) return;
    const LegendrePlan plan = plan_legendre(a, b, sing, kk, growth, tilt);
    if (plan.n > LEGENDRE_CAP && depth < LEGENDRE_DEPTH) {
        legendre(a, plan.split, sing, map, emit, depth + 1, kk, growth, tilt);
        legendre(plan.split, b, sing, map, emit, depth + 1, kk, growth, tilt);
        return;
    }
    const gauss::Rule rule = gauss::legendre(std::min(plan.n, LEGENDRE_CAP));
    const double h = b - a;
    for (std::size_t i = 0; i < rule.size(); ++i) {
        const double t = rule.t[i];
        const double x = t <= 0.5 ? a + h * t : b - h * rule.one_minus_t[i];
        emit(map(x), h * rule.w[i]);
    }
}

// A node: ring radius, gap l - r, and the area weight 2 pi r dr/dx (times
// the profile's brightness p(r) once a disk's rules have set it).
struct Node {
    double r;
    double gap;
    double area;
};

// Forwards each node with its area weight times the brightness p(r).
template <class Emit, class P>
struct Brightened {
    Emit& emit;
    const P& p;
    void operator()(Node node, double weight) {
        node.area *= p(node.r);
        emit(node, weight);
    }
};

// The built-in law 0.4 + 0.6 mu, mu = sqrt(1 - r^2); the rules in mu and in
// theta (mu = cos theta) set it from their own variable.
inline double limb_darkened_brightness(double r) noexcept {
    return 0.4 + 0.6 * std::sqrt((1.0 - r) * (1.0 + r));
}

// The integral over x in [0, length] of a piece whose integrand has a
// logarithmic singularity at x = 0 (when `log_end`) or a singularity just
// behind it, and the other singularities `sing` (in x).  A core [0, h],
// h = CORE_FRACTION times the distance to the nearest of them, takes the
// logarithmic rule (or Gauss-Legendre); beyond it x = h e^s, s in
// [0, ln(length/h)], which puts a singularity at x = z at s = ln(z/h): a
// singularity at distance |z| from the end stays at a fixed angle however
// close it is, so the rule's size grows only like ln(length/h).
//
// `map(x)` gives the node at distance x from the end, with area weight per
// unit x.
//
// `core_only` lists the singularities that matter to the logarithmic core
// alone: writing the integrand as phi(x) ln x + psi(x), the two analytic
// parts can be singular where their sum is not (the mean over a ring inside
// the lens' distance is analytic at r = 0, its two parts are not).
//
// `tilt` is the brightness the caller multiplies the area weights by, as a
// line in x (see tilt_factor); beyond the core the map's growth covers it.
//
// `images`, where given (log_end only), lists the map's singularities ready
// but for the shift by ln h: ln|z| + i arg z for every point z of `sing`,
// and the `core_only` points on the logarithm's other sheets (a table's
// halves at the lens take them from lens_images).
template <class Map, class Emit>
void from_end(double length, bool log_end, const Singularities& sing, const Map& map, Emit& emit,
              const Singularities& core_only = {}, double kk = K_LEGENDRE, const Tilt& tilt = {},
              const Singularities* images = nullptr) {
    if (!(length > 0.0)) return;
    double dmin = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < sing.size(); ++k) dmin = std::min(dmin, gauss::modulus(sing[k]));
    if (log_end) {
        for (std::size_t k = 0; k < core_only.size(); ++k) dmin = std::min(dmin, gauss::modulus(core_only[k]));
    }
    const double h = std::min(length, CORE_FRACTION * dmin);
    // The logarithmic rule's size for a core [0, c].
    const auto core_size = [&](double c) {
        double axis2 = std::numeric_limits<double>::infinity();
        for (std::size_t k = 0; k < sing.size(); ++k) {
            axis2 = std::min(axis2, gauss::bernstein_axis_squared(sing[k], 0.0, c));
        }
        for (std::size_t k = 0; k < core_only.size(); ++k) {
            axis2 = std::min(axis2, gauss::bernstein_axis_squared(core_only[k], 0.0, c));
        }
        const double axis = std::sqrt(axis2);
        const double k_log = LOG_FACTOR * kk + tilt_log(tilt, 0.0, c, axis);
        return std::min(nodes_for(gauss::rho_of_axis(axis), k_log), LOG_CAP);
    };
    const auto log_rule = [&](double c, std::size_t n) {
        const gauss::Rule rule = gauss::log_end(n);
        for (std::size_t i = 0; i < rule.size(); ++i) {
            emit(map(c * rule.t[i]), c * rule.w[i]);
        }
    };
    if (!(h < length)) {
        if (log_end) {
            log_rule(h, core_size(h));
        } else {
            legendre(0.0, h, sing, map, emit, 0, kk, 0.0, tilt);
        }
        return;
    }
    // ln(z/h) = ln|z| - ln h + i arg z (the planner needs no more accuracy
    // than this, and std::log of a complex costs twice as much).
    const double log_h = std::log(h);
    Singularities mapped;
    if (log_end && images != nullptr) {
        for (std::size_t k = 0; k < images->size(); ++k) mapped.add((*images)[k] - log_h);
    } else {
        for (std::size_t k = 0; k < sing.size(); ++k) {
            const Complex z = sing[k];
            mapped.add(Complex(std::log(gauss::modulus(z)) - log_h, argument(z)));
        }
    }
    if (log_end && images == nullptr) {
        for (std::size_t k = 0; k < core_only.size(); ++k) {
            mapped.add(Complex(std::log(gauss::modulus(core_only[k]) / h), PI));
        }
    }
    const double s_end = std::log(length / h);
    if (log_end) {
        // A piece a little longer than the core: the logarithmic rule over
        // all of it (its ellipse still clear of every singularity) may take
        // fewer nodes than the core and the map.
        const std::size_t n_core = core_size(h);
        if (length < dmin) {
            const std::size_t n_whole = core_size(length);
            if (n_whole <= n_core + legendre_count(0.0, s_end, mapped, kk, 0, MAP_GROWTH)) {
                log_rule(length, n_whole);
                return;
            }
        }
        log_rule(h, n_core);
    }
    if (!log_end) {
        // Nothing singular at the end itself, only behind it: the core and
        // the exponential map pay off when that singularity is close
        // compared with the length of the piece; otherwise one
        // Gauss-Legendre rule over the whole piece takes fewer nodes (a
        // table's piece one knot away from the lens: 13 nodes for 17).
        // (With the singularity nearer than half the length, h < length/4,
        // the map wins: not counted.)
        if (4.0 * h > length &&
            legendre_count(0.0, length, sing, kk, 0, 0.0, tilt) <=
                legendre_count(0.0, h, sing, kk, 0, 0.0, tilt) +
                    legendre_count(0.0, s_end, mapped, kk, 0, MAP_GROWTH)) {
            legendre(0.0, length, sing, map, emit, 0, kk, 0.0, tilt);
            return;
        }
        legendre(0.0, h, sing, map, emit, 0, kk, 0.0, tilt);
    }
    {
        // (The parts phi, psi are singular at the core-only points; their
        // sum is analytic there on the principal branch of ln x only.  In s
        // the logarithm ln h + s has no branch, and the other sheets put
        // those points back at Im s = +-pi (x -> -x) and +-2 pi: added to
        // `mapped` above.)
        const auto exp_map = [&](double s) {
            const double x = h * std::exp(s);
            Node node = map(x);
            node.area *= x;  // dx = x ds
            return node;
        };
        legendre(0.0, s_end, mapped, exp_map, emit, 0, kk, MAP_GROWTH);
    }
}

// The integral over x in [0, length] of a piece whose integrand has the
// ring through the lens a distance e > 0 behind its end, at x = -e, and is
// there of the form phi(x) ln(x + e) + psi(x) with phi, psi analytic (the
// expansion of K and Pi about the complementary modulus 0, in which
// k'^2 has a double zero at the ring [DLMF 19.12]).  In the variable s of
// x + e = e e^s, s in [0, ln(1 + length/e)], that logarithm is ln e + s:
// the singularity is gone, not merely moved to a fixed angle as from_end's
// map moves it, and one Gauss-Legendre rule in s needs no core (a table's
// piece next to the lens: 8 to 12 rings where the core and the map took 19
// to 23; the last piece with the lens 1e-6 beyond the limb, 19 for 34).
// From about a length away one Gauss-Legendre rule over the piece takes
// about as many, a node fewer or more (piece_nodes uses this map up to two
// lengths, where the table's own far rules take over).
//
// Every other singularity sits at s = ln(w/e), w = z + e for a point z (in
// x): `images` lists them as ln|w| + i arg w, ready but for the shift by
// ln e (those of the ring mean depend on the separation alone: lens_images
// below), `extra` further points z in x.  The parts phi, psi are singular
// at r = 0 below the lens, where their sum is analytic on the principal
// branch: that point sits on the logarithm's other sheets, at
// Im s = +-2 pi (lens_images places it).  The integrand in s carries
// dx/ds = x + e, and the area weight and the brightness can grow like x
// too (MAP_GROWTH, as for from_end's map).
//
// Returns false, emitting nothing, where the map is not defined (e not a
// positive number, or length/e overflows): the caller plans otherwise.
template <class Map, class Emit>
bool from_lens(double length, double e, const Singularities& images, const Singularities& extra, const Map& map,
               Emit& emit, double kk = K_LEGENDRE) {
    if (!(length > 0.0)) return true;
    const double s_end = std::log1p(length / e);
    if (!(e > 0.0) || !(s_end < std::numeric_limits<double>::infinity())) return false;
    const double log_e = std::log(e);
    Singularities mapped;
    for (std::size_t k = 0; k < images.size(); ++k) mapped.add(images[k] - log_e);
    for (std::size_t k = 0; k < extra.size(); ++k) {
        const Complex w = extra[k] + e;
        if (gauss::modulus(w) > 0.0) mapped.add(Complex(std::log(gauss::modulus(w)) - log_e, argument(w)));
    }
    const auto centred = [&](double s) {
        // x + e = e e^s; x from it by a subtraction, exact to an ulp of e
        // (the node moves by that much, the weight is formed from it).
        const double y = e * std::exp(s), x = y - e;
        Node node = map(x);
        node.area *= e + x;  // dx = (x + e) ds
        return node;
    };
    legendre(0.0, s_end, mapped, centred, emit, 0, kk, MAP_GROWTH);
    return true;
}

// The singularities of the ring mean other than the ring through the lens,
// as from_lens sees them from that ring: for a point r_z, ln|w| + i arg w
// with w = l - r_z for a piece below the lens and w = r_z - l above it.
// r = -l gives w = +-2l, r = l +- 2iu gives w = -+2iu, r = -l +- 2iu gives
// w = +-(2l -+ 2iu); r = 0 gives w = +-l: above the lens the mean's branch
// point, below it the point where only the parts phi, psi are singular (on
// the other sheets, arg w +- 2 pi).  They depend on the separation alone,
// and a table's pieces next to the lens share them (three logarithms and
// an arctangent, where each piece took a logarithm and a modulus per point).
struct LensImages {
    Singularities below, above;
};
inline LensImages lens_images(double l, double u) noexcept {
    constexpr double LN2 = 0.6931471805599453;
    const double log_2l = std::log(2.0 * l), log_l = log_2l - LN2, log_2u = std::log(2.0 * u);
    const double log_far = std::log(2.0 * std::hypot(l, u)), angle = std::atan2(u, l);
    LensImages images;
    images.below.add(Complex(log_2l, 0.0));
    images.below.add(Complex(log_2u, 0.5 * PI));
    images.below.add(Complex(log_far, angle));
    images.below.add(Complex(log_l, 2.0 * PI));
    images.above.add(Complex(log_2l, PI));
    images.above.add(Complex(log_2u, 0.5 * PI));
    images.above.add(Complex(log_far, PI - angle));
    images.above.add(Complex(log_l, PI));
    return images;
}

// Singularities of A_ring(l, .) in the r plane: +-l, +-l +- 2iu.
inline std::array<Complex, 6> ring_singularities(double l, double u) noexcept {
    const Complex up(0.0, 2.0 * u);
    return {Complex(l, 0.0), Complex(-l, 0.0), l + up, l - up, -l + up, -l - up};
}

}  // namespace halomag::models::rules

namespace halomag::models::rules {

template <class Emit>
void piece_nodes(double a, double b, double l, double u, Emit& emit, const Singularities& extra,
                 double kk, const Line& line = {}, const LensImages* images = nullptr);

// The built-in law's nodes for separation l (see the header comment), their
// area weights carrying the law's brightness.
template <class Emit>
void limb_darkened_nodes(double l, double u, Emit& emit) {
    const auto r_sing = ring_singularities(l, u);
    // mu = +-sqrt(1 - r_s^2) for every singular r_s (the two signs; the
    // conjugates are implied, see Singularities).  The four complex r_s =
    // +-l +- 2iu give one pair: 1 - r_s^2 for -l + 2iu is the conjugate of
    // that for l + 2iu.
    // r = +-l exactly: mu = +-sqrt((1 - l)(1 + l)), formed without the
    // rounding of 1 - l^2 so that the one at the lens is exactly the end of
    // its piece.
    const auto mu_singularities = [&](Singularities& out, auto&& shift) {
        const Complex rs = r_sing[2];
        const Complex mq = std::sqrt(Complex(1.0, 0.0) - rs * rs);
        for (const Complex v : {mq, -mq}) out.add(shift(v));
        const double c = (1.0 - l) * (1.0 + l);
        const Complex m = c >= 0.0 ? Complex(std::sqrt(c), 0.0) : Complex(0.0, std::sqrt(-c));
        for (const Complex v : {m, -m}) out.add(shift(v));
    };
    if (l == 0.0) {
        // The lens on the centre: r A(0, r) = u (x^2 + 2)/sqrt(x^2 + 4), x =
        // r/u, is analytic but for r = +-2iu, and the profile's sqrt(1 - r^2)
        // is singular at the limb.  In theta, r = sin(theta) in [0, pi/2],
        // the profile is 0.4 + 0.6 cos(theta), entire, and the only
        // singularities are theta = k pi +- i asinh(2u).  Its factors
        // sin, cos and A's expansion in sin^2 grow like e^(5 Im theta) off the
        // axis: the rule is sized as if a singularity sat at Im theta = 2 at
        // most (12 nodes when the lens is large, where 10 integrate the
        // harmonics to 3e-17).
        const double a = std::min(std::asinh(2.0 * u), 2.0);
        Singularities sing;
        sing.add(Complex(0.0, a));
        sing.add(Complex(PI, a));
        legendre(0.0, 0.5 * PI, sing, [](double theta) {
            const double r = std::sin(theta);
            const double mu = std::cos(theta);
            return Node{r, -r, TWO_PI * r * mu * (0.4 + 0.6 * mu)};
        }, emit);
        return;
    }
    if (l >= 1.0) {
        // mu in [0, 1] from mu = 0 (the limb); l - r = (l - 1) + mu^2/(1 + r).
        const double excess = l - 1.0;
        Singularities sing;
        mu_singularities(sing, [](Complex v) { return v; });
        // At l = 1 the ring through the lens is the limb: ln mu^2 at mu = 0,
        // taken by the logarithmic core and removed from the list.
        Singularities others;
        for (std::size_t k = 0; k < sing.size(); ++k) {
            if (gauss::modulus(sing[k]) > 0.0) others.add(sing[k]);
        }
        Singularities centre;  // r = 0
        centre.add(Complex(1.0, 0.0));
        centre.add(Complex(-1.0, 0.0));
        from_end(1.0, excess == 0.0, others, [&](double mu) {
            const double r = std::min(std::sqrt((1.0 - mu) * (1.0 + mu)), 1.0);
            return Node{r, excess + mu * mu / (1.0 + r), TWO_PI * mu * (0.4 + 0.6 * mu)};
        }, emit, centre);
        return;
    }
    if (l < 0.5) {
        // Small l: mu_l = 1 - l^2/2 + ... crowds mu = 1, where the mean
        // outside the ring through the lens is singular (r = 0).  In r up
        // to r_c = (1 + l)/2, as a tabulated profile with the law's branch
        // points r = +-1 added; in mu beyond, where mu = +-mu_l and mu = +-1
        // (r = 0, the lens inside the ring) are the singularities.
        const double rc = 0.5 * (1.0 + l);
        Singularities limb;
        limb.add(Complex(1.0, 0.0));
        limb.add(Complex(-1.0, 0.0));
        const auto brightness = [](double r) { return limb_darkened_brightness(r); };
        Brightened<Emit, decltype(brightness)> bright{emit, brightness};
        piece_nodes(0.0, rc, l, u, bright, limb, K_LEGENDRE);
        Singularities sing;
        mu_singularities(sing, [](Complex v) { return v; });
        sing.add(Complex(1.0, 0.0));
        sing.add(Complex(-1.0, 0.0));
        legendre(0.0, std::sqrt((1.0 - rc) * (1.0 + rc)), sing, [&](double mu) {
            const double r = std::sqrt((1.0 - mu) * (1.0 + mu));
            return Node{r, l - r, TWO_PI * mu * (0.4 + 0.6 * mu)};
        }, emit);
        return;
    }
    // 0.5 <= l < 1: split at mu_l; the distance x from mu_l is the rule's
    // variable on both sides, and r^2 = l^2 +- x (2 mu_l -+ x) keeps r = l
    // exactly at x = 0 with the gap (l^2 - r^2)/(l + r) formed from x.
    const double mu_l = std::sqrt((1.0 - l) * (1.0 + l));
    const double l2 = l * l;
    {
        // mu in [0, mu_l]: r from 1 down to l, x = mu_l - mu.  Outside the
        // ring through the lens the mean is r^-1 times a function of l^2/r^2
        // (the lens inside the ring), singular at r = 0, mu = +-1.
        Singularities sing;
        mu_singularities(sing, [&](Complex v) { return mu_l - v; });
        sing.add(Complex(mu_l - 1.0, 0.0));
        sing.add(Complex(mu_l + 1.0, 0.0));
        Singularities others;
        for (std::size_t k = 0; k < sing.size(); ++k) {
            if (gauss::modulus(sing[k]) > 0.0) others.add(sing[k]);
        }
        from_end(mu_l, true, others, [&](double x) {
            const double d = x * (2.0 * mu_l - x);
            const double r = std::min(std::sqrt(l2 + d), 1.0);
            const double mu = mu_l - x;
            return Node{r, -d / (l + r), TWO_PI * mu * (0.4 + 0.6 * mu)};
        }, emit);
    }
    {
        // mu in [mu_l, 1]: r from l down to 0, x = mu - mu_l.
        Singularities sing;
        mu_singularities(sing, [&](Complex v) { return v - mu_l; });
        Singularities others;
        for (std::size_t k = 0; k < sing.size(); ++k) {
            if (gauss::modulus(sing[k]) > 0.0) others.add(sing[k]);
        }
        Singularities centre;  // r = 0
        centre.add(Complex(1.0 - mu_l, 0.0));
        centre.add(Complex(-1.0 - mu_l, 0.0));
        from_end(1.0 - mu_l, true, others, [&](double x) {
            const double d = x * (2.0 * mu_l + x);
            const double r = std::sqrt(std::max(l2 - d, 0.0));
            const double mu = mu_l + x;
            return Node{r, d / (l + r), TWO_PI * mu * (0.4 + 0.6 * mu)};
        }, emit, centre);
    }
}

// A tabulated profile's nodes for separation l over the pieces [a, b] (in
// r) on which the profile is linear and not zero.  Each piece is ruled from
// its end nearer the lens, the lens splitting a piece it lies in.
//
// `extra` lists further singularities of the profile (in r); `line` is
// the brightness the caller multiplies the area weights by (its slope
// enters the rules' sizes, see tilt_factor; flat by default).
template <class Emit>
void piece_nodes(double a, double b, double l, double u, Emit& emit, const Singularities& extra,
                 double kk, const Line& line, const LensImages* images) {
    if (!(b > a)) return;
    if (a < l && l < b) {
        piece_nodes(a, l, l, u, emit, extra, kk, line, images);
        piece_nodes(l, b, l, u, emit, extra, kk, line, images);
        return;
    }
    // The ring through the lens less than two lengths beyond an end (the
    // lens off the centre: there it is no logarithm, see below): one rule in
    // from_lens's variable.
    const double h = b - a, below = l - b, above = a - l;
    if (l > 0.0 && ((below > 0.0 && below < 2.0 * h) || (above > 0.0 && above < 2.0 * h))) {
        const LensImages own = images == nullptr ? lens_images(l, u) : LensImages{};
        const LensImages& seen = images == nullptr ? own : *images;
        Singularities extra_x;  // the profile's own points, in x
        for (std::size_t k = 0; k < extra.size(); ++k) extra_x.add(below > 0.0 ? b - extra[k] : extra[k] - a);
        const bool done = below > 0.0 ? from_lens(h, below, seen.below, extra_x, [&](double x) {
            const double r = b - x;
            return Node{r, below + x, TWO_PI * r};
        }, emit, kk)
                                      : from_lens(h, above, seen.above, extra_x, [&](double x) {
            const double r = a + x;
            return Node{r, -above - x, TWO_PI * r};
        }, emit, kk);
        if (done) return;
    }
    // A half of a piece at the lens (l > 0, nothing else singular): from
    // the lens, x = |r - l|, the ring mean's points are w = l - r_z below it
    // and r_z - l above it (lens_images), and the map beyond the core takes
    // them from there.
    if (l > 0.0 && extra.size() == 0 && (b == l || a == l)) {
        const LensImages own = images == nullptr ? lens_images(l, u) : LensImages{};
        const LensImages& seen = images == nullptr ? own : *images;
        const Complex up(0.0, 2.0 * u);
        Singularities sing, centre;
        if (b == l) {
            // r = b - x: r = -l at x = 2l, r = l +- 2iu at -+2iu, r = -l +- 2iu
            // at 2l -+ 2iu; r = 0 at x = l for the parts alone.
            sing.add(Complex(2.0 * l, 0.0));
            sing.add(up);
            sing.add(Complex(2.0 * l, 2.0 * u));
            centre.add(Complex(l, 0.0));
            from_end(h, true, sing, [&](double x) {
                const double r = b - x;
                return Node{r, x, TWO_PI * r};
            }, emit, centre, kk, Tilt{line(b), -line.slope}, &seen.below);
        } else {
            // r = a + x: r = -l at x = -2l, r = l +- 2iu at +-2iu, r = -l +- 2iu
            // at -2l +- 2iu, and the mean's branch point r = 0 at x = -l.
            sing.add(Complex(-2.0 * l, 0.0));
            sing.add(up);
            sing.add(Complex(-2.0 * l, 2.0 * u));
            sing.add(Complex(-l, 0.0));
            from_end(h, true, sing, [&](double x) {
                const double r = a + x;
                return Node{r, -x, TWO_PI * r};
            }, emit, Singularities{}, kk, Tilt{line(a), line.slope}, &seen.above);
        }
        return;
    }
    const auto r_sing = ring_singularities(l, u);
    Singularities sing;
    // A piece outside the ring through the lens (r >= l) sees the branch
    // point of the mean at r = 0 as well.
    const bool outer = a >= l;
    if (!(l < b) || (std::isnan(l))) {
        // From b: r = b - x, gap = (l - b) + x.
        const double excess = l - b;
        for (const Complex rs : r_sing) {
            const Complex x = b - rs;
            if (gauss::modulus(x) > 0.0) sing.add(x);
        }
        if (outer) sing.add(Complex(b, 0.0));
        for (std::size_t k = 0; k < extra.size(); ++k) sing.add(b - extra[k]);
        Singularities centre;  // r = 0
        centre.add(Complex(b, 0.0));
        const auto map = [&](double x) {
            const double r = b - x;
            return Node{r, excess + x, TWO_PI * r};
        };
        from_end(b - a, excess == 0.0, sing, map, emit, centre, kk, Tilt{line(b), -line.slope});
    } else {
        // From a: r = a + x, gap = (l - a) - x.  With the lens on the
        // centre (l = 0) r = 0 is no singularity (see below): only
        // r = +-2iu are.
        const double excess = l - a;
        for (const Complex rs : r_sing) {
            const Complex x = rs - a;
            if (gauss::modulus(x) > 0.0 && (l != 0.0 || rs.imag() != 0.0)) sing.add(x);
        }
        if (outer && a > 0.0 && l != 0.0) sing.add(Complex(-a, 0.0));
        for (std::size_t k = 0; k < extra.size(); ++k) sing.add(extra[k] - a);
        const auto map = [&](double x) {
            const double r = a + x;
            return Node{r, excess - x, TWO_PI * r};
        };
        if (l == 0.0) {
            // The lens on the centre: the ring mean is the point lens at
            // distance r, A_pl(r/u) ~ u/r, and with the area 2 pi r the
            // integrand is analytic at r = 0 (singular at r = +-2iu only):
            // no logarithm and nothing behind the end, Gauss-Legendre alone.
            legendre(0.0, b - a, sing, map, emit, 0, kk, 0.0, Tilt{line(a), line.slope});
            return;
        }
        from_end(b - a, excess == 0.0, sing, map, emit, Singularities{}, kk, Tilt{line(a), line.slope});
    }
}

}  // namespace halomag::models::rules
