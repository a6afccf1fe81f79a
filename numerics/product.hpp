// Product integration of a piecewise-linear weight against a smooth
// function [1].  For p linear on pieces of [0, 1] (kinks at their ends) and
// f analytic about [0, 1], interpolating f at
// the n Gauss-Legendre nodes t_i and integrating p times the interpolant
// exactly gives
//
//   int_0^1 p f dt ~ sum_i W_i f(t_i),   W_i = int_0^1 p(t) L_i(t) dt,
//
// L_i the Lagrange basis of the nodes.  The error is that of the
// interpolant, which falls like rho^(-n) for f analytic in the Bernstein
// ellipse of semi-axis sum rho (half the rate of Gauss's own rho^(-2n)),
// times the Lebesgue constant of the nodes, below 3 for n <= 64 [2].  The
// kinks cost nothing: one rule over [0, 1] in place of one per piece.
//
// The weights depend on p and n alone.  Each is built once, by Gauss-Legendre
// of n/2 + 1 nodes on every piece, exact for the degree-n polynomial p L_i,
// with L_i(t) = (lambda_i/(t - t_i)) / sum_j lambda_j/(t - t_j), the
// barycentric form, whose weights for Gauss-Legendre nodes are
// lambda_i = (-1)^i sqrt(t_i (1 - t_i) w_i) up to a common factor [3].
//
// References
//   [1] P. J. Davis, P. Rabinowitz, Methods of Numerical Integration, 2nd
//       ed. (1984), section 2.5.
//   [2] L. N. Trefethen, Approximation Theory and Approximation Practice
//       (2013), chapters 5, 8 and 15.
//   [3] H. Wang, S. Xiang, "On the convergence rates of Legendre
//       approximation", Math. Comp. 81 (2012) 861-877.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include "numerics/gauss.hpp"

namespace halomag::quadrature {

class ProductRule {
public:
    // Largest rule whose weights are kept: at most CAP (CAP + 1)/2 doubles
    // in all, whatever the number of pieces.
    static constexpr std::size_t CAP = 32;
    // Most pieces a rule is built for.  The build runs without a pause
    // (about pieces x n^2/2 operations, 0.5 million at this bound): a
    // caller that must answer an interrupt promptly rules larger tables
    // piece by piece.
    static constexpr std::size_t MAX_PIECES = 1024;

    // The weights W_i of the n-point rule (1 <= n <= CAP) for p, linear on
    // each of the pieces [a, b] (disjoint, inside [0, 1]) and 0 elsewhere;
    // value(k, t) is p at t on piece k.  Built on the first request for n
    // and kept: the pieces and p must be the same at every request.
    template <class Value>
    const std::vector<double>& weights(std::size_t n, std::span<const std::array<double, 2>> pieces,
                                       const Value& value) {
        if (cache_.empty()) cache_.resize(CAP + 1);  // a rule that is never used holds nothing
        std::vector<double>& W = cache_[n];
        if (!W.empty()) return W;
        const gauss::Rule rule = gauss::legendre(n);
        std::vector<double> t(n), lambda(n), terms(n);
        for (std::size_t j = 0; j < n; ++j) {
            t[j] = rule.t[j] <= 0.5 ? rule.t[j] : 1.0 - rule.one_minus_t[j];
            const double b = std::sqrt(rule.t[j] * rule.one_minus_t[j] * rule.w[j]);
            lambda[j] = j % 2 == 0 ? b : -b;
        }
        W.assign(n, 0.0);
        const gauss::Rule sub = gauss::legendre(n / 2 + 1);
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            const double a = pieces[k][0], b = pieces[k][1], h = b - a;
            if (!(h > 0.0)) continue;
            for (std::size_t m = 0; m < sub.size(); ++m) {
                const double y = sub.t[m] <= 0.5 ? a + h * sub.t[m] : b - h * sub.one_minus_t[m];
                const double v = h * sub.w[m] * value(k, y);
                double total = 0.0;
                std::size_t on_node = n;
                for (std::size_t j = 0; j < n; ++j) {
                    if (y == t[j]) on_node = j;
                    terms[j] = lambda[j] / (y - t[j]);
                    total += terms[j];
                }
                if (on_node < n) {
                    W[on_node] += v;
                    continue;
                }
                for (std::size_t j = 0; j < n; ++j) W[j] += v * (terms[j] / total);
            }
        }
        return W;
    }

    // The n-point weights if they have been built, else nullptr.
    const std::vector<double>* kept(std::size_t n) const noexcept {
        return n < cache_.size() && !cache_[n].empty() ? &cache_[n] : nullptr;
    }

private:
    std::vector<std::vector<double>> cache_;  // by n, once the first is built
};

}  // namespace halomag::quadrature
