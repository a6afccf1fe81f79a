// Complete elliptic integral of the second kind in Legendre form, as a
// function of the parameter m = k^2:
//
//   E(m) = int_0^(pi/2) sqrt(1 - m sin^2 theta) dtheta                (DLMF 19.2.8)
//
// Method: the fixed approximation E = P(eta) - Q(eta) eta ln(eta) in the
// complementary parameter eta = 1 - m, P of degree 10 and Q of degree 9
// (Hastings' form; Abramowitz & Stegun 17.3.36 for the lower-degree version).
// eta ln(eta) -> 0 as m -> 1, so E(1) = 1 needs no branch of its own beyond
// the exact value.  Negative m is reduced by the imaginary-modulus
// transformation
//   E(m) = sqrt(1 - m) E(m / (m - 1))                                 (DLMF 19.7.5).
//
// References
//   [1] M. Abramowitz, I. A. Stegun, Handbook of Mathematical Functions,
//       17.3.36 (polynomial approximations of E in the complementary parameter).
//   [2] C. Hastings, Approximations for Digital Computers, Princeton 1955.
//   [3] NIST Digital Library of Mathematical Functions, chapter 19.
#pragma once

#include <cmath>

#include "elliptic/result.hpp"

namespace halomag::ellip {

inline Result ellipe(double m) noexcept {
    if (m > 1.0) return fail(msg::ELLIPE_DOMAIN);
    if (m == 1.0) return 1.0;
    double c = 1.0;
    if (m < 0.0) {
        c = std::sqrt(1.0 - m);
        m = m / (m - 1.0);
    }
    const double eta = 1.0 - m;
    double P = 0.0001535525773010133;
    P = P * eta + 0.0025088849216360204;
    P = P * eta + 0.008687868165658896;
    P = P * eta + 0.010735094905607619;
    P = P * eta + 0.007773954925167871;
    P = P * eta + 0.007583952894135147;
    P = P * eta + 0.011568843681057412;
    P = P * eta + 0.021831799601555724;
    P = P * eta + 0.05680519456178606;
    P = P * eta + 0.44314718056099084;
    P = P * eta + 1.0;
    double Q = 3.2795489857648585e-05;
    Q = Q * eta + 0.0010096279267935672;
    Q = Q * eta + 0.006506094899769275;
    Q = Q * eta + 0.016886216399331133;
    Q = Q * eta + 0.026176974245449364;
    Q = Q * eta + 0.03348339048882249;
    Q = Q * eta + 0.04271809265189315;
    Q = Q * eta + 0.0585936634471101;
    Q = Q * eta + 0.09374999971976443;
    Q = Q * eta + 0.2499999999998883;
    return c * (P - Q * eta * std::log(eta));
}

}  // namespace halomag::ellip
