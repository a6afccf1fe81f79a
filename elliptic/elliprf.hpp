// Carlson's symmetric integral of the first kind
//
//   RF(x, y, z) = 1/2 * int_0^inf dt / sqrt((t + x)(t + y)(t + z))      (DLMF 19.16.1)
//
// for non-negative x, y, z of which at most one is zero.  The complete
// integral of the first kind is K(m) = RF(0, 1 - m, 1)              (DLMF 19.25.1).
//
// Order of evaluation:
//   1. two or three equal arguments reduce to elementary functions or RC:
//        RF(x, x, x) = 1/sqrt(x),  RF(x, x, 0) = pi / (2 sqrt(x)),
//        RF(x, y, y) = RC(x, y)                                        (DLMF 19.2.17);
//   2. one zero argument gives the complete case, evaluated by the
//      arithmetic-geometric mean: RF(0, y, z) = pi / (2 AGM(sqrt y, sqrt z))
//                                                                       (DLMF 19.22.1);
//   3. otherwise duplication (Carlson 1995, Algorithm 1, eq. 2.2):
//        RF(x, y, z) = RF((x + l)/4, (y + l)/4, (z + l)/4),
//        l = sqrt(x)sqrt(y) + sqrt(x)sqrt(z) + sqrt(y)sqrt(z),
//      until the arguments agree to (3 eps)^(1/8) relative to their mean A_n,
//      then the seventh-order series in the elementary symmetric functions
//      E2 = XY - Z^2, E3 = XYZ of the normalised deviations (DLMF 19.36.1;
//      Carlson 1995 gives the terms through fifth order):
//        RF = [1 - E2/10 + E3/14 + E2^2/24 - 3 E2 E3/44
//              - 5 E2^3/208 + 3 E3^2/104 + E2^2 E3/16] / sqrt(A_n).
//
// References
//   [1] B. C. Carlson, "Numerical computation of real or complex elliptic
//       integrals", Numer. Algorithms 10 (1995) 13-26, arXiv:math/9409227.
//   [2] NIST Digital Library of Mathematical Functions, chapter 19.
#pragma once

#include <cmath>

#include "elliptic/constants.hpp"
#include "elliptic/elliprc.hpp"
#include "elliptic/result.hpp"

namespace halomag::ellip {

inline Result elliprf(double x, double y, double z) noexcept {
    using namespace detail;
    if (min_ignoring_nan(x, y, z) < 0.0 || min_ignoring_nan(x + y, y + z, x + z) == 0.0) {
        return fail(msg::ELLIPRF_DOMAIN);
    }

    // Two or three equal arguments.
    if (x == y) {
        if (x == z) return 1.0 / std::sqrt(x);
        if (z == 0.0) return PI / (2.0 * std::sqrt(x));
        return elliprc(z, x);
    }
    if (x == z) {
        if (y == 0.0) return PI / (2.0 * std::sqrt(x));
        return elliprc(y, x);
    }
    if (y == z) {
        if (x == 0.0) return PI / (2.0 * std::sqrt(y));
        return elliprc(x, y);
    }

    // One zero argument: the complete integral by the AGM, quadratically
    // convergent, so no step limit.  A NaN ends the loop and propagates.
    if (x == 0.0 || y == 0.0 || z == 0.0) {
        double u, v;
        if (x == 0.0) {
            u = z;
            v = y;
        } else if (y == 0.0) {
            u = x;
            v = z;
        } else {
            u = x;
            v = y;
        }
        double a = std::sqrt(u);
        double b = std::sqrt(v);
        while (std::fabs(a - b) >= AGM_TOLERANCE * std::fabs(a)) {
            const double a_next = (a + b) / 2.0;
            b = std::sqrt(a * b);
            a = a_next;
        }
        return PI / (a + b);
    }

    // General case: duplication, at most 11 steps.  The threshold Q 4^-n is
    // kept as a running value; once |A_n| exceeds it every deviation
    // |A_0 - x| 4^-n / |A_n| is below (3 eps)^(1/8).
    const double A0 = (x + y + z) / 3.0;
    double Q = 78.8959690786408 * std::fmax(std::fmax(std::fabs(A0), std::fabs(A0 - x)),
                                            std::fmax(std::fabs(A0 - y), std::fabs(A0 - z)));
    double xn = x, yn = y, zn = z, An = A0;
    double f = 1.0;
    bool converged = false;
    for (int n = 1; n <= 11; ++n) {
        const double sx = std::sqrt(xn), sy = std::sqrt(yn), sz = std::sqrt(zn);
        const double lambda = sx * sy + sx * sz + sy * sz;
        An = (An + lambda) / 4.0;
        Q /= 4.0;
        f *= 4.0;
        if (std::fabs(An) > Q) {
            converged = true;
            break;
        }
        xn = (xn + lambda) / 4.0;
        yn = (yn + lambda) / 4.0;
        zn = (zn + lambda) / 4.0;
    }
    if (!converged) return fail(msg::ELLIPRF_CONVERGE);

    const double X = (A0 - x) / (f * An);
    const double Y = (A0 - y) / (f * An);
    const double Z = -X - Y;
    const double E2 = X * Y - Z * Z;
    const double E3 = X * Y * Z;
    return (1.0 + E3 * (1.0 / 14.0 + 3.0 * E3 / 104.0) +
            E2 * (-1.0 / 10.0 + E2 / 24.0 - 3.0 * E3 / 44.0 - 5.0 * E2 * E2 / 208.0 +
                  E2 * E3 / 16.0)) /
           std::sqrt(An);
}

}  // namespace halomag::ellip
