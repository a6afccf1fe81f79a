// Gauss rules of a fixed number of nodes on [0, 1], applied on [a, b].
//
// Gauss-Legendre.  The n-point rule with nodes t_i, the zeros of the shifted
// Legendre polynomial P_n(2t - 1), and weights w_i = 1/((1 - x_i^2) P_n'(x_i)^2)
// (x_i = 2 t_i - 1) integrates every polynomial of degree <= 2n - 1 exactly on
// [0, 1] [1, 2].  For f analytic inside the Bernstein ellipse with foci at the
// ends of the interval and semi-axis sum rho, the error falls like rho^(-2n)
// [3], so a handful of nodes suffices for an integrand whose nearest
// singularity is well away from [a, b].
//
// Logarithmic end point.  The generalised Gauss rule of n nodes in (0, 1)
// with positive weights that is exact for the 2n functions t^k and t^k ln t,
// k = 0 .. n - 1 [4].  These functions form a Chebyshev system, and the rule
// exists and is unique.  On [0, h] the substitution x = h tau turns ln x into
// ln h + ln tau, which stays in the span, so the one rule on [0, 1] serves
// every interval length: an integrand phi(x) + psi(x) ln x with phi, psi
// analytic near [0, h] is integrated with Gauss-like convergence.  The
// singular end is t = 0; `integrate_from` puts it at a, `integrate_to` at b.
//
// The tables (gauss_tables.hpp) hold, for every n, t_i ascending, the
// complements 1 - t_i and w_i, each the correctly rounded double of the exact
// value.  The helpers below hand the integrand the distance of the node to the
// end it asks for as the product h t_i or h (1 - t_i), h = b - a, rounded
// once: never the difference of two nearby numbers, so an integrand that is
// singular at that end sees its distance to full relative precision even at
// nodes within a few ulps of the end.  The abscissa itself is formed from the
// nearer end of [a, b] (a select on t_i <= 1/2, not a branch on the
// integrand), so a <= x <= b always holds for a <= b.
//
// The loops allocate nothing; their trip count is the rule's size.
//
// References
//   [1] G. H. Golub, J. H. Welsch, "Calculation of Gauss quadrature rules",
//       Math. Comp. 23 (1969) 221-230.
//   [2] NIST Digital Library of Mathematical Functions, section 3.5(v).
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
#include <cstddef>
#include <limits>
#include <span>

#include "numerics/gauss_tables.hpp"

namespace halomag::quadrature::gauss {

// One rule on [0, 1]: nodes ascending, their complements and the weights,
// all of the same length n.  An empty rule stands for a request outside the
// tables; the helpers below return NaN for it.
struct Rule {
    std::span<const double> t;
    std::span<const double> one_minus_t;
    std::span<const double> w;

    constexpr std::size_t size() const noexcept { return t.size(); }
    constexpr bool empty() const noexcept { return t.empty(); }
};

inline constexpr std::size_t LEGENDRE_MAX = table::LEGENDRE_MAX;
inline constexpr std::size_t LOG_END_MAX = table::LOG_END_MAX;

namespace detail {

template <std::size_t Offsets, std::size_t Entries>
constexpr Rule slice(const std::array<std::size_t, Offsets>& offset, const std::array<double, Entries>& t,
                     const std::array<double, Entries>& one_minus_t, const std::array<double, Entries>& w,
                     std::size_t n) noexcept {
    if (n == 0 || n >= Offsets) {
        return Rule{};
    }
    const std::size_t first = offset[n - 1];
    return Rule{std::span<const double>(t.data() + first, n), std::span<const double>(one_minus_t.data() + first, n),
                std::span<const double>(w.data() + first, n)};
}

}  // namespace detail

// The n-point Gauss-Legendre rule on [0, 1], 1 <= n <= LEGENDRE_MAX; an empty
// rule for any other n.  Symmetric: t_{n+1-i} = 1 - t_i exactly.
constexpr Rule legendre(std::size_t n) noexcept {
    return detail::slice(table::LEGENDRE_OFFSET, table::LEGENDRE_T, table::LEGENDRE_ONE_MINUS_T, table::LEGENDRE_W, n);
}

// The n-point rule for a logarithmic singularity at t = 0, exact for t^k and
// t^k ln t, k = 0 .. n - 1, 1 <= n <= LOG_END_MAX; an empty rule for any
// other n.  Nodes in (0, 1), crowding towards 0; weights positive.
constexpr Rule log_end(std::size_t n) noexcept {
    return detail::slice(table::LOG_END_OFFSET, table::LOG_END_T, table::LOG_END_ONE_MINUS_T, table::LOG_END_W, n);
}

// An integrand may also evaluate two nodes at once, f.pair(x, out) with
// x and out arrays of two (f.pair(x, d, out) for the forms that hand over
// the distance d to an end): the rules below then call it on consecutive
// nodes in pairs (the last alone when n is odd) and sum in node order.
// `Paired` makes such an integrand of a one-node and a two-node callable.
template <class One, class Two>
struct Paired {
    One one;
    Two two;
    template <class... Args>
    double operator()(Args... args) const {
        return static_cast<double>(one(args...));
    }
    void pair(const double x[2], double out[2]) const { two(x, out); }
    void pair(const double x[2], const double d[2], double out[2]) const { two(x, d, out); }
};
template <class One, class Two>
Paired(One, Two) -> Paired<One, Two>;

// An integrand that also evaluates four nodes at once, f.quad(x, out) (or
// f.quad(x, d, out)): the rules call it on consecutive nodes in fours, then
// in pairs and alone, and sum in node order.
template <class One, class Two, class Four>
struct Grouped {
    One one;
    Two two;
    Four four;
    template <class... Args>
    double operator()(Args... args) const {
        return static_cast<double>(one(args...));
    }
    void pair(const double x[2], double out[2]) const { two(x, out); }
    void pair(const double x[2], const double d[2], double out[2]) const { two(x, d, out); }
    void quad(const double x[4], double out[4]) const { four(x, out); }
    void quad(const double x[4], const double d[4], double out[4]) const { four(x, d, out); }
};
template <class One, class Two, class Four>
Grouped(One, Two, Four) -> Grouped<One, Two, Four>;

namespace detail {

template <class F>
concept PairsOne = requires(const F& f, const double* x, double* out) { f.pair(x, out); };
template <class F>
concept PairsTwo = requires(const F& f, const double* x, double* out) { f.pair(x, x, out); };
template <class F>
concept QuadsOne = requires(const F& f, const double* x, double* out) { f.quad(x, out); };
template <class F>
concept QuadsTwo = requires(const F& f, const double* x, double* out) { f.quad(x, x, out); };

// sum_i w_i f(x_i, d_i) over the n nodes node(i) = {x, d}, in pairs where
// f pairs (with the distance when `distance`).
template <bool distance, class F, class Node>
double node_sum(const F& f, const Rule& rule, const Node& node) {
    const std::size_t n = rule.size();
    double sum = 0.0;
    std::size_t i = 0;
    if constexpr (distance ? QuadsTwo<F> : QuadsOne<F>) {
        for (; i + 3 < n; i += 4) {
            double x[4], d[4], v[4];
            for (std::size_t k = 0; k < 4; ++k) {
                const auto [xk, dk] = node(i + k);
                x[k] = xk;
                d[k] = dk;
            }
            if constexpr (distance) {
                f.quad(x, d, v);
            } else {
                f.quad(x, v);
            }
            for (std::size_t k = 0; k < 4; ++k) sum += rule.w[i + k] * v[k];
        }
    }
    if constexpr (distance ? PairsTwo<F> : PairsOne<F>) {
        for (; i + 1 < n; i += 2) {
            const auto [x0, d0] = node(i);
            const auto [x1, d1] = node(i + 1);
            const double x[2] = {x0, x1}, d[2] = {d0, d1};
            double v[2];
            if constexpr (distance) {
                f.pair(x, d, v);
            } else {
                f.pair(x, v);
            }
            sum += rule.w[i] * v[0];
            sum += rule.w[i + 1] * v[1];
        }
    }
    for (; i < n; ++i) {
        const auto [x, d] = node(i);
        if constexpr (distance) {
            sum += rule.w[i] * static_cast<double>(f(x, d));
        } else {
            sum += rule.w[i] * static_cast<double>(f(x));
        }
    }
    return sum;
}

struct NodeAt {
    double x, d;
};

}  // namespace detail

// Integral of f over [a, b] by `rule`, f called as f(x).  NaN for an empty
// rule.  For b < a the result is the oriented integral (minus the integral
// over [b, a]).
template <class F>
double integrate(F&& f, double a, double b, const Rule& rule) {
    const double h = b - a;
    const double sum = detail::node_sum<false>(f, rule, [&](std::size_t i) {
        const double t = rule.t[i];
        return detail::NodeAt{t <= 0.5 ? a + h * t : b - h * rule.one_minus_t[i], 0.0};
    });
    return rule.size() == 0 ? std::numeric_limits<double>::quiet_NaN() : h * sum;
}

// Integral of f over [a, b] with the rule's end t = 0 at a: f is called as
// f(x, d) with d = (b - a) t_i, the distance x - a as one correctly rounded
// product.  With a log_end rule this integrates a logarithmic singularity at a.
template <class F>
double integrate_from(F&& f, double a, double b, const Rule& rule) {
    const double h = b - a;
    const double sum = detail::node_sum<true>(f, rule, [&](std::size_t i) {
        const double t = rule.t[i];
        const double d = h * t;
        return detail::NodeAt{t <= 0.5 ? a + d : b - h * rule.one_minus_t[i], d};
    });
    return rule.size() == 0 ? std::numeric_limits<double>::quiet_NaN() : h * sum;
}

// The mirror image: the rule's end t = 0 at b, so that node i lies at
// x = b - (b - a) t_i, and f is called as f(x, d) with d = (b - a) t_i, the
// distance b - x.  With a log_end rule this integrates a logarithmic
// singularity at b.
template <class F>
double integrate_to(F&& f, double a, double b, const Rule& rule) {
    const double h = b - a;
    const double sum = detail::node_sum<true>(f, rule, [&](std::size_t i) {
        const double t = rule.t[i];
        const double d = h * t;
        return detail::NodeAt{t <= 0.5 ? b - d : a + h * rule.one_minus_t[i], d};
    });
    return rule.size() == 0 ? std::numeric_limits<double>::quiet_NaN() : h * sum;
}

// Integral of f over [a, b] with the rule's end t = 0 at a, f called as
// f(x, da, db) with da = (b - a) t_i and db = (b - a)(1 - t_i), the distances
// to both ends, each one rounded product (for integrands singular, or
// sensitive, at both ends, such as sqrt((x - a)(b - x))).
template <class F>
double integrate_between(F&& f, double a, double b, const Rule& rule) noexcept(noexcept(f(0.0, 0.0, 0.0))) {
    const double h = b - a;
    const std::size_t n = rule.size();
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = rule.t[i];
        const double da = h * t;
        const double db = h * rule.one_minus_t[i];
        const double x = t <= 0.5 ? a + da : b - db;
        sum += rule.w[i] * static_cast<double>(f(x, da, db));
    }
    return n == 0 ? std::numeric_limits<double>::quiet_NaN() : h * sum;
}

// |z| for the sizing of rules: sqrt(x^2 + y^2) directly where neither square
// can overflow or lose digits to underflow, hypot (several times slower)
// elsewhere.  A rule planner asks for it a few hundred times per integral.
inline double modulus(std::complex<double> z) noexcept {
    const double x = std::fabs(z.real()), y = std::fabs(z.imag());
    const double big = std::max(x, y);
    if (big < 0x1p500 && big > 0x1p-500) return std::sqrt(x * x + y * y);
    return std::hypot(x, y);
}

// The semi-axis sum rho >= 1 of the Bernstein ellipse with foci a, b through
// z, which fixes the convergence rate rho^(-2n) of Gauss-Legendre on [a, b]
// for an integrand singular at z [3].  With w the image of z under the map
// of [a, b] onto [-1, 1], the ellipse's semi-major axis is
// A = (|w - 1| + |w + 1|)/2 (the sum of the distances to the foci), and
// rho = A + sqrt(A^2 - 1): two moduli and a real square root, in place of
// the complex roots of w +- sqrt(w^2 - 1).  Near the segment itself, where
// A - 1 is lost to rounding, rho tends to 1: the rule there is unbounded,
// which is the right answer for a planner that splits the interval.
//
// A planner that only looks for the nearest of several points compares the
// semi-major axes (rho grows with A) and takes the one square root last.
inline double bernstein_axis(std::complex<double> z, double a, double b) noexcept {
    const std::complex<double> w = (2.0 * z - (a + b)) / (b - a);
    return 0.5 * (modulus(w - 1.0) + modulus(w + 1.0));
}

// The square of that semi-major axis by A^2 = (1 + |w|^2 + |w^2 - 1|)/2,
// one square root in place of two, for planners that compare several
// points and take the root of the nearest alone.  Overflows to +inf (a
// point that far away asks for one node) rather than rescaling.
inline double bernstein_axis_squared(std::complex<double> z, double a, double b) noexcept {
    const double scale = 1.0 / (b - a);
    const double x = (2.0 * z.real() - (a + b)) * scale, y = 2.0 * z.imag() * scale;
    const double p = (x - y) * (x + y) - 1.0, q = 2.0 * x * y;  // w^2 - 1
    return 0.5 * (1.0 + x * x + y * y + std::sqrt(p * p + q * q));
}

inline double rho_of_axis(double A) noexcept {
    return A + std::sqrt(std::max(0.0, (A - 1.0) * (A + 1.0)));
}

inline double bernstein_rho(std::complex<double> z, double a, double b) noexcept {
    return rho_of_axis(bernstein_axis(z, a, b));
}

}  // namespace halomag::quadrature::gauss
