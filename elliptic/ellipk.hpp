// Complete elliptic integral of the first kind in Legendre form, as a
// function of the parameter m = k^2:
//
//   K(m) = int_0^(pi/2) dtheta / sqrt(1 - m sin^2 theta)              (DLMF 19.2.8)
//
// Method: the fixed approximation K = P(eta) - ln(eta) Q(eta) in the
// complementary parameter eta = 1 - m, with P and Q of degree 10 (Hastings'
// form; see Abramowitz & Stegun 17.3.34 for the lower-degree version).  It
// builds in the logarithmic singularity K ~ ln 4 - ln(eta)/2 at m -> 1
// (DLMF 19.12.1), used directly when eta <= eps.  Negative m is reduced by
// the imaginary-modulus transformation
//   K(m) = K(m / (m - 1)) / sqrt(1 - m)                               (DLMF 19.7.5).
//
// References
//   [1] M. Abramowitz, I. A. Stegun, Handbook of Mathematical Functions,
//       17.3.34 (polynomial approximations of K in the complementary parameter).
//   [2] C. Hastings, Approximations for Digital Computers, Princeton 1955.
//   [3] NIST Digital Library of Mathematical Functions, chapter 19.
#pragma once

#include <cmath>
#include <limits>

#include "elliptic/constants.hpp"
#include "elliptic/result.hpp"

namespace halomag::ellip {

namespace detail {

// P_K and Q_K evaluated together by Horner's rule, highest power first.
inline void ellipk_polynomials(double eta, double& P, double& Q) noexcept {
    P = 0.00013798286460627325;
    Q = 2.940789550485985e-05;
    P = P * eta + 0.002280257240058756;
    Q = Q * eta + 0.0009141847238659173;
    P = P * eta + 0.007974040132204152;
    Q = Q * eta + 0.005940583037531678;
    P = P * eta + 0.00985821379021226;
    Q = Q * eta + 0.01548505166497624;
    P = P * eta + 0.006874896874499499;
    Q = Q * eta + 0.023908960271592488;
    P = P * eta + 0.006189010336376876;
    Q = Q * eta + 0.030120471522760404;
    P = P * eta + 0.008790782739527438;
    Q = Q * eta + 0.037377431417382326;
    P = P * eta + 0.014938044891680526;
    Q = Q * eta + 0.04882803475709983;
    P = P * eta + 0.0308851465246712;
    Q = Q * eta + 0.07031249969639575;
    P = P * eta + 0.09657359028116902;
    Q = Q * eta + 0.12499999999987083;
    P = P * eta + 1.3862943611198906;
    Q = Q * eta + 0.5;
}

}  // namespace detail

inline Result ellipk(double m) noexcept {
    if (m > 1.0) return fail(msg::ELLIPK_DOMAIN);
    double eta = 1.0 - m;
    if (std::isinf(eta)) return 0.0;  // m = -inf
    double c = 1.0;
    if (eta > 1.0) {
        // m < 0: K(m) = K(m/(m-1)) / sqrt(1-m), and 1 - m/(m-1) = 1/(1-m).
        c = 1.0 / std::sqrt(eta);
        eta = 1.0 / eta;
    }
    if (eta > detail::EPSILON) {
        double P, Q;
        detail::ellipk_polynomials(eta, P, Q);
        return c * (P - std::log(eta) * Q);
    }
    if (eta == 0.0) return std::numeric_limits<double>::infinity();  // K(1) diverges
    // 0 < eta <= eps (or NaN): the leading terms ln 4 - ln(eta)/2 (DLMF 19.12.1).
    return c * (1.3862943611198906 - 0.5 * std::log(eta));
}

}  // namespace halomag::ellip
