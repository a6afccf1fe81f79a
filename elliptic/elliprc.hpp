// Carlson's degenerate integral
//
//   RC(x, y) = 1/2 * int_0^inf dt / (sqrt(t + x) * (t + y)),
//
// the Cauchy principal value for y < 0 (DLMF 19.2.17-19.2.19).
//
// Method: duplication (Carlson 1995, section 2, Algorithm 2).  Each step
// replaces (x, y) by ((x + lambda)/4, (y + lambda)/4) with
// lambda = 2 sqrt(x) sqrt(y) + y, which leaves RC unchanged (DLMF 19.26.18)
// and drives the normalised deviation s = (y - A)/A, A = (x + 2y)/3, to zero
// like 4^-n.  Once |s| < 0.0006 the fifth-order Taylor series
//   RC = (1 + 3 s^2/10 + s^3/7 + 3 s^4/8 + 9 s^5/22) / sqrt(A)
// (Carlson 1995, eq. 2.49) is accurate to double precision.
//
// For y < 0 the principal value follows from
//   RC(x, y) = sqrt(x / (x - y)) * RC(x - y, -y)        (DLMF 19.6.16 / Carlson eq. 2.14).
//
// References
//   [1] B. C. Carlson, "Numerical computation of real or complex elliptic
//       integrals", Numer. Algorithms 10 (1995) 13-26, arXiv:math/9409227.
//   [2] NIST Digital Library of Mathematical Functions, chapter 19.
#pragma once

#include <cmath>

#include "elliptic/constants.hpp"
#include "elliptic/result.hpp"

namespace halomag::ellip {

inline Result elliprc(double x, double y) noexcept {
    using namespace detail;
    // Domain and range.  NaN arguments pass every test and end in the
    // convergence failure below.
    if (x < 0.0) return fail(msg::ELLIPRC_DOMAIN);
    if (y == 0.0) return fail(msg::ELLIPRC_DOMAIN);
    const double s_range = std::fabs(y) + x;
    if (s_range < LO || s_range > HI) return fail(msg::ELLIPRC_DOMAIN);
    if (x < K2 && x > 0.0 && y < -K1) return fail(msg::ELLIPRC_DOMAIN);

    double w, xt, yt;
    if (y > 0.0) {
        w = 1.0;
        xt = x;
        yt = y;
    } else {
        // Cauchy principal value (y < 0), Carlson 1995 eq. 2.14.
        w = std::sqrt(x) / std::sqrt(x - y);
        xt = x - y;
        yt = -y;
    }

    for (int step = 0; step < 500; ++step) {
        const double lambda = 2.0 * std::sqrt(xt) * std::sqrt(yt) + yt;
        xt = (xt + lambda) / 4.0;
        yt = (yt + lambda) / 4.0;
        const double a = (xt + yt + yt) / 3.0;
        const double s = (yt - a) / a;
        if (std::fabs(s) < 0.0006) {
            return w *
                   (1.0 + s * s *
                              (0.3 + s * (0.14285714285714285 +
                                          s * (0.375 + s * 0.4090909090909091)))) /
                   std::sqrt(a);
        }
    }
    return fail(msg::ELLIPRC_CONVERGE);
}

}  // namespace halomag::ellip
