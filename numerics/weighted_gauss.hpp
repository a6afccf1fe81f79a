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
//  3. the nodes, the eigenvalues of the Jacobi matrix [3], each by
//     bisection on the Sturm count of the matrix (robust, and to a few ulps
//     of the interval);
//  4. the weights from the Christoffel function, W_i = 1/sum_k q_k(x_i)^2,
//     q_k the orthonormal polynomials by their own recurrence, which gives
//     every weight to a few ulps of itself (the squared eigenvector
//     components of [3] are accurate only relative to the largest weight);
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
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <span>
#include <utility>
#include <vector>

#include "numerics/gauss.hpp"

namespace halomag::quadrature {

class WeightedGauss {
public:
    // Largest rule built.
    static constexpr std::size_t CAP = 32;

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
    // each handed to use(j, P_j).
    template <class Real, class Use>
    static void legendre_values(Real x, std::size_t count, const Use& use) {
        Real p_prev = 1, p = x;
        if (count > 0) use(std::size_t{0}, p_prev);
        if (count > 1) use(std::size_t{1}, p);
        for (std::size_t j = 1; j + 1 < count; ++j) {
            const Real jd = static_cast<Real>(j);
            const Real p_next = ((2 * jd + 1) * x * p - jd * p_prev) / (jd + 1);
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
        // 3. Nodes by bisection on the Sturm count: the number of
        // eigenvalues of the Jacobi matrix below x is the number of negative
        // pivots of J - x I.
        const auto below = [&](real x) {
            std::size_t count = 0;
            real q = alpha[0] - x;
            for (std::size_t i = 0;; ++i) {
                if (q < 0.0) ++count;
                if (i + 1 == n) break;
                if (q == 0.0L) q = 1e-300L;
                q = (alpha[i + 1] - x) - beta[i + 1] / q;
            }
            return count;
        };
        std::array<real, CAP> x{}, weight{};
        for (std::size_t i = 0; i < n; ++i) {
            real left = -1.0, right = 1.0;  // the support's hull holds every node
            for (int step = 0; step < 200 && right - left > 0.0; ++step) {
                const real mid = 0.5 * (left + right);
                if (mid == left || mid == right) break;
                (below(mid) > i ? right : left) = mid;
            }
            x[i] = 0.5 * (left + right);
        }
        // 4. Weights 1/sum_k q_k(x_i)^2, q_0 = 1/sqrt(beta_0),
        // sqrt(beta_(k+1)) q_(k+1) = (x - alpha_k) q_k - sqrt(beta_k) q_(k-1).
        out.t.assign(n, 0.0);
        out.w.assign(n, 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            real q_prev = 0.0, q = 1.0 / std::sqrt(beta[0]), sum = q * q;
            for (std::size_t k = 0; k + 1 < n; ++k) {
                const real q_next = ((x[i] - alpha[k]) * q - (k == 0 ? 0.0 : std::sqrt(beta[k])) * q_prev) /
                                      std::sqrt(beta[k + 1]);
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
