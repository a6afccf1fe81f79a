// Gauss quadrature for a nonnegative piecewise-linear weight on [0, 1].
//
// For p >= 0, linear on pieces [a_k, b_k] of [0, 1] (kinks at their ends, 0
// elsewhere), the n-point Gauss rule of the measure p(t) dt,
//
//   int_0^1 p f dt ~ sum_i W_i f(t_i),
//
// is exact for f of degree <= 2n - 1, and for f analytic in the Bernstein
// ellipse of [0, 1] with semi-axis sum rho its error falls like rho^(-2n)
// [1], as Gauss-Legendre's does for p = 1: twice the rate of the
// interpolatory product rule (numerics/product.hpp) for the same number of
// nodes, and with positive weights.  The kinks of p cost nothing.
//
// Built once per n and kept, in four steps (x = 2t - 1 on [-1, 1]):
//  1. the modified moments m_j = int_0^1 p(t) Phat_j(x) dt of the monic
//     Legendre polynomials Phat_j = P_j / kappa_j, j < 2n, exactly, by
//     Gauss-Legendre on every piece (P_j by its recurrence [4]; closed-form
//     antiderivatives, differenced at a short steep piece's ends, lost up to
//     20 ulps of the mass there);
//  2. the recurrence coefficients alpha_k, beta_k of the measure's monic
//     orthogonal polynomials by the modified Chebyshev algorithm [2], which
//     is well conditioned for moments in a polynomial basis orthogonal on
//     the measure's support (here Legendre's, on [-1, 1]);
//  3. the nodes, the eigenvalues of the Jacobi matrix [3], by the implicit
//     QL algorithm [5] (to a few ulps of the interval, in O(n^2): bisection
//     on the Sturm count, as robust, took some 64 O(n) steps per node and
//     made the build the cost of a call with a new table);
//  4. the weights from the Christoffel function, W_i = 1/sum_k q_k(x_i)^2,
//     q_k the orthonormal polynomials by their own recurrence, which gives
//     every weight relative to itself (the squared eigenvector components of
//     [3] are accurate only relative to the largest weight): for a constant
//     weight, Gauss-Legendre's to 2e-14 at worst, at the ends of the larger
//     rules, where the moments' rounding is amplified;
//  5. a check that the rule gives back every moment it was built from.
// The moments are taken on the hull of the pieces that carry weight (a
// table that stops short of the limb carries none beyond it): on a much
// wider interval they are ill conditioned, and the check refuses what
// still is (the caller then falls back on the product rule).
//
// The build costs O(pieces n^2 + n^3) operations and O(n) memory, whatever
// the number of pieces.
//
// References
//   [1] L. N. Trefethen, "Is Gauss quadrature better than Clenshaw-Curtis?",
//       SIAM Review 50 (2008) 67-87 (theorem 4.5; its proof holds for any
//       positive weight).
//   [2] W. Gautschi, Orthogonal Polynomials: Computation and Approximation
//       (2004), section 2.1.7 (the modified Chebyshev algorithm).
//   [3] G. H. Golub, J. H. Welsch, "Calculation of Gauss quadrature rules",
//       Math. Comp. 23 (1969) 221-230.
//   [4] NIST Digital Library of Mathematical Functions, section 18.9.
//   [5] G. H. Golub, C. F. Van Loan, Matrix Computations, 4th ed. (2013),
//       section 8.3 (the symmetric QR algorithm; QL is its mirror image).
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>
#include <utility>
#include <vector>

#include "numerics/gauss.hpp"

namespace halomag::quadrature {

namespace detail {

// The Legendre recurrence's coefficients (2j + 1)/(j + 1) and j/(j + 1) for
// j < 64, once: a division per term made the moments most of a rule's cost.
struct LegendreSteps {
    std::array<long double, 64> a{}, b{};
    constexpr LegendreSteps() {
        for (std::size_t j = 0; j < a.size(); ++j) {
            const long double jd = static_cast<long double>(j);
            a[j] = (2.0L * jd + 1.0L) / (jd + 1.0L);
            b[j] = jd / (jd + 1.0L);
        }
    }
};
inline constexpr LegendreSteps LEGENDRE_STEPS{};

}  // namespace detail

class WeightedGauss {
public:
    // Largest rule built.
    static constexpr std::size_t CAP = 32;
    static_assert(2 * CAP <= detail::LEGENDRE_STEPS.a.size());

    struct Nodes {
        std::vector<double> t;  // in (0, 1), ascending
        std::vector<double> w;  // positive
    };

    // The n-point rule (1 <= n <= CAP) for p, linear on each of the pieces
    // [a, b] (disjoint, inside [0, 1]) and 0 elsewhere, value(k, t) being p at
    // t on piece k; nullptr where p is negative at an end of a piece or has
    // no mass (no such rule exists), or the construction fails.  Built on the
    // first request for n and kept: the pieces and p must be the same at
    // every request.
    template <class Value>
    const Nodes* rule(std::size_t n, std::span<const std::array<double, 2>> pieces, const Value& value) {
        if (n == 0 || n > CAP) return nullptr;
        if (const Entry* entry = find(n); entry != nullptr) return entry->built ? &entry->nodes : nullptr;
        Entry entry{n, false, {}};
        entry.built = build(n, pieces, value, entry.nodes);
        if (!entry.built) entry.nodes = {};
        cache_.push_back(std::move(entry));
        return cache_.back().built ? &cache_.back().nodes : nullptr;
    }

    // The n-point rule if it has been built, else nullptr; `refused(n)` if
    // it was asked for and does not exist.
    const Nodes* kept(std::size_t n) const noexcept {
        const Entry* entry = find(n);
        return entry != nullptr && entry->built ? &entry->nodes : nullptr;
    }
    bool refused(std::size_t n) const noexcept {
        const Entry* entry = find(n);
        return entry != nullptr && !entry->built;
    }

private:
    // The rules asked for, in the order asked (a few sizes per interval).
    struct Entry {
        std::size_t n;
        bool built;
        Nodes nodes;
    };
    std::vector<Entry> cache_;

    const Entry* find(std::size_t n) const noexcept {
        for (const Entry& entry : cache_) {
            if (entry.n == n) return &entry;
        }
        return nullptr;
    }

    // P_0(x) .. P_(count-1)(x) by the three-term recurrence (DLMF 18.9.1),
    // P_(j+1) = ((2j + 1) x P_j - j P_(j-1))/(j + 1), each handed to
    // use(j, P_j); count <= 2 CAP.
    template <class Use>
    static void legendre_values(long double x, std::size_t count, const Use& use) {
        long double p_prev = 1, p = x;
        if (count > 0) use(std::size_t{0}, p_prev);
        if (count > 1) use(std::size_t{1}, p);
        for (std::size_t j = 1; j + 1 < count; ++j) {
            const long double p_next = detail::LEGENDRE_STEPS.a[j] * x * p - detail::LEGENDRE_STEPS.b[j] * p_prev;
            p_prev = p;
            p = p_next;
            use(j + 1, p);
        }
    }

    template <class Value>
    static bool build(std::size_t n, std::span<const std::array<double, 2>> pieces, const Value& value,
                      Nodes& out) {
        // In long double throughout (its extra bits keep the rule within an
        // ulp or two of exact: in double the weights drifted by up to 8 ulps
        // at n = 20), rounded to double at the end.
        using real = long double;
        const std::size_t moments = 2 * n;
        // 1. m_j = int p P_j dt, j < 2n (P_j itself; monic below), by
        // Gauss-Legendre of n + 1 nodes on every piece, exact for the
        // degree-2n polynomial p P_j; every term is a positive weight times
        // P_j, |P_j| <= 1, so each moment is good to a few ulps of the mass.
        // (Closed-form antiderivatives, differenced at a short steep piece's
        // ends, lose up to k^2 ulps of the k-th moment, and at n = 32 the
        // modified Chebyshev algorithm below then broke down.)
        const gauss::Rule sub = gauss::legendre(n + 1);
        if (sub.size() != n + 1) return false;
        // Fixed-size workspaces on the stack: the build allocates only the
        // rule it returns.
        std::array<real, 2 * CAP> m{}, legendre_moments{};
        real mass = 0.0;
        // The moments are taken on the hull [lo, hi] of the pieces that carry
        // weight, mapped to [-1, 1]: on a wider interval (a table that stops
        // short of the limb) they would be ill conditioned.
        double lo = 2.0, hi = -1.0;
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            const double a = pieces[k][0], b = pieces[k][1];
            if (!(b > a)) continue;
            const double pa = value(k, a), pb = value(k, b);
            if (!(pa >= 0.0 && pb >= 0.0)) return false;  // also NaN
            if (pa == 0.0 && pb == 0.0) continue;
            lo = std::min(lo, a);
            hi = std::max(hi, b);
        }
        if (!(hi > lo)) return false;  // no mass
        const real span = static_cast<real>(hi) - static_cast<real>(lo);
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            const double a = pieces[k][0], b = pieces[k][1], h = b - a;
            if (!(h > 0.0)) continue;
            const double pa = value(k, a), pb = value(k, b);
            if (pa == 0.0 && pb == 0.0) continue;
            for (std::size_t i = 0; i < sub.size(); ++i) {
                const double t = sub.t[i] <= 0.5 ? a + h * sub.t[i] : b - h * sub.one_minus_t[i];
                const real v = static_cast<real>(h) * static_cast<real>(sub.w[i]) * static_cast<real>(value(k, t));
                const real x = 2.0L * ((static_cast<real>(t) - static_cast<real>(lo)) / span) - 1.0L;
                mass += v;
                legendre_values(x, moments, [&](std::size_t j, real p) { m[j] += v * p; });
            }
        }
        if (!(mass > 0.0) || !std::isfinite(mass)) return false;
        legendre_moments = m;
        // Monic: Phat_j = P_j / kappa_j, kappa_(j+1) = kappa_j (2j + 1)/(j + 1).
        real kappa = 1.0;
        for (std::size_t j = 0; j < moments; ++j) {
            m[j] /= kappa;
            kappa *= (2.0 * static_cast<real>(j) + 1.0) / (static_cast<real>(j) + 1.0);
        }
        // 2. Modified Chebyshev: monic Legendre has a_l = 0,
        // b_l = l^2/(4 l^2 - 1).
        const auto bl = [](std::size_t l) {
            const real ld = static_cast<real>(l);
            return ld * ld / (4.0 * ld * ld - 1.0);
        };
        std::array<real, CAP> alpha{}, beta{};
        std::array<real, 2 * CAP + 1> older{}, old{}, next{};
        std::copy(m.begin(), m.begin() + static_cast<std::ptrdiff_t>(moments), old.begin());
        alpha[0] = m[1] / m[0];
        beta[0] = m[0];
        for (std::size_t k = 1; k < n; ++k) {
            for (std::size_t l = k; l + k < moments; ++l) {
                next[l] = old[l + 1] - alpha[k - 1] * old[l] - beta[k - 1] * older[l] + bl(l) * old[l - 1];
            }
            alpha[k] = next[k + 1] / next[k] - old[k] / old[k - 1];
            beta[k] = next[k] / old[k - 1];
            if (!(beta[k] > 0.0) || !std::isfinite(alpha[k])) return false;
            older.swap(old);
            old.swap(next);
        }
        // 3. The nodes, the eigenvalues of the Jacobi matrix (diagonal
        // alpha_k, off-diagonal sqrt(beta_(k+1))), by the implicit QL
        // algorithm with Wilkinson's shift [3], [5]: O(n^2) operations, each
        // eigenvalue to a few ulps of the matrix's norm (the interval).
        std::array<real, CAP> x{}, weight{}, e{};
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = alpha[i];
            e[i] = i + 1 < n ? std::sqrt(beta[i + 1]) : 0.0L;
        }
        for (std::size_t l = 0; l < n; ++l) {
            for (int iteration = 0;; ++iteration) {
                // The first negligible off-diagonal element from l on.
                std::size_t split = l;
                while (split + 1 < n &&
                       !(std::fabs(e[split]) <= std::numeric_limits<real>::epsilon() * (std::fabs(x[split]) + std::fabs(x[split + 1])))) {
                    ++split;
                }
                if (split == l) break;
                if (iteration == 64) return false;
                // The shift: the eigenvalue of the leading 2 x 2 block nearer x[l].
                real g = (x[l + 1] - x[l]) / (2.0L * e[l]);
                real r = std::sqrt(g * g + 1.0L);
                g = x[split] - x[l] + e[l] / (g + std::copysign(r, g));
                real sine = 1.0, cosine = 1.0, p = 0.0;
                bool deflated = false;
                // A plane rotation per row from split - 1 up to l chases the bulge.
                for (std::size_t i = split; i-- > l;) {
                    const real f = sine * e[i], b = cosine * e[i];
                    r = std::sqrt(f * f + g * g);
                    e[i + 1] = r;
                    if (r == 0.0L) {  // an exact zero split the matrix
                        x[i + 1] -= p;
                        e[split] = 0.0;
                        deflated = true;
                        break;
                    }
                    sine = f / r;
                    cosine = g / r;
                    g = x[i + 1] - p;
                    r = (x[i] - g) * sine + 2.0L * cosine * b;
                    p = sine * r;
                    x[i + 1] = g + p;
                    g = cosine * r - b;
                }
                if (deflated) continue;
                x[l] -= p;
                e[l] = g;
                e[split] = 0.0;
            }
        }
        std::sort(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n));
        for (std::size_t i = 0; i < n; ++i) {
            if (!(x[i] >= -1.0L && x[i] <= 1.0L)) return false;  // the hull holds every node
        }
        // 4. Weights 1/sum_k q_k(x_i)^2, q_0 = 1/sqrt(beta_0),
        // sqrt(beta_(k+1)) q_(k+1) = (x - alpha_k) q_k - sqrt(beta_k) q_(k-1).
        // (sqrt(beta_k) and its reciprocal once, outside the loop.)
        std::array<real, CAP> root{}, inverse_root{};
        for (std::size_t k = 0; k < n; ++k) {
            root[k] = std::sqrt(beta[k]);
            inverse_root[k] = 1.0L / root[k];
        }
        out.t.assign(n, 0.0);
        out.w.assign(n, 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            real q_prev = 0.0, q = inverse_root[0], sum = q * q;
            for (std::size_t k = 0; k + 1 < n; ++k) {
                const real q_next = ((x[i] - alpha[k]) * q - (k == 0 ? 0.0L : root[k]) * q_prev) * inverse_root[k + 1];
                q_prev = q;
                q = q_next;
                sum += q * q;
            }
            weight[i] = 1.0L / sum;
            out.t[i] = static_cast<double>(static_cast<real>(lo) + span * (0.5L * (x[i] + 1.0L)));
            out.w[i] = static_cast<double>(weight[i]);
            if (!(out.w[i] > 0.0) || !std::isfinite(out.w[i])) return false;
        }
        // 5. The check: the rule must give back every moment it was built
        // from, to 1e-14 of the mass (|P_j| <= 1); a measure it cannot
        // resolve (weight on a few scattered pieces) is refused.
        std::array<real, 2 * CAP> given{};
        for (std::size_t i = 0; i < n; ++i) {
            legendre_values(x[i], moments, [&](std::size_t j, real p) { given[j] += weight[i] * p; });
        }
        for (std::size_t j = 0; j < moments; ++j) {
            if (!(std::fabs(given[j] - legendre_moments[j]) <= 1e-14L * mass)) return false;
        }
        return true;
    }
};

}  // namespace halomag::quadrature
