// Carlson's integral of the second kind
//
//   RD(x, y, z) = 3/2 * int_0^inf dt / (sqrt((t + x)(t + y)) (t + z)^(3/2))   (DLMF 19.16.5)
//
// symmetric in x and y only; x, y >= 0 with at most one zero, z > 0.
// RD(x, y, z) = RJ(x, y, z, z) (DLMF 19.20.18).
//
// Order of evaluation:
//   1. equal arguments: RD(x, x, x) = x^(-3/2),
//      RD(0, y, y) = 3 pi / (4 y^(3/2))                              (DLMF 19.20.22);
//   2. x = 0 (complete case): the AGM with the sum of squared differences
//      that also gives E(m) (DLMF 19.8.6, Carlson 1995 eq. 2.40 for RD);
//   3. otherwise duplication (Carlson 1995, Algorithm 4, eq. 2.29):
//        RD(x, y, z) = 3 sum_n 4^-n / (sqrt(z_n)(z_n + l_n)) + 4^-N RD(x_N, y_N, z_N)
//      with the fifth-order series (Carlson 1995, eq. 2.7 with p = z) for the
//      remainder, once the deviations are below (eps/4)^(1/8).
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

inline Result elliprd(double x, double y, double z) noexcept {
    using namespace detail;
    if (min_ignoring_nan(x, y) < 0.0 || x + y == 0.0) return fail(msg::ELLIPRD_DOMAIN_XY);
    if (z <= 0.0) return fail(msg::ELLIPRD_DOMAIN_Z);

    // RD is symmetric in x and y: move an argument equal to z into the y slot.
    double xp = x, yp = y;
    if (x == z) {
        xp = y;
        yp = x;
    }
    if (yp == z) {
        if (x == y) return 1.0 / (xp * std::sqrt(xp));
        if (xp == 0.0) return 9.42477796076938 / (4.0 * yp * std::sqrt(yp));  // 3 pi / (4 y^1.5)
    }

    if (xp == 0.0) {
        // Complete case by the AGM of (sqrt y, sqrt z): with c_n^2 = a_n^2 - b_n^2,
        // sum 2^(n-1) c_n^2 gives the second-kind part (DLMF 19.8.6).
        const double x0 = std::sqrt(yp);
        const double y0 = std::sqrt(z);
        double a = x0, b = y0, s = 0.0, w = 0.25;
        while (std::fabs(a - b) >= AGM_TOLERANCE * std::fabs(a)) {
            const double a_next = (a + b) / 2.0;
            b = std::sqrt(a * b);
            a = a_next;
            w *= 2.0;
            s += w * (a - b) * (a - b);
        }
        return 3.0 * (PI / (a + b)) *
               ((x0 + 3.0 * y0) / (4.0 * z * (x0 + y0)) - s / ((yp - z) * z));
    }

    // General case: duplication, at most 50 steps.
    const double A0 = (x + y + 3.0 * z) / 5.0;
    double Q = 1.2 * 107.63474115247546 *
               std::fmax(std::fmax(A0 - xp, A0 - yp), A0 - z);
    double xn = xp, yn = yp, zn = z, An = A0;
    double f = 1.0, S = 0.0;
    bool converged = false;
    for (int step = 0; step < 50; ++step) {
        const double sx = std::sqrt(xn), sy = std::sqrt(yn), sz = std::sqrt(zn);
        const double lambda = sx * sy + sx * sz + sy * sz;
        S += f / (sz * (zn + lambda));
        An = (An + lambda) / 4.0;
        f /= 4.0;
        Q /= 4.0;
        if (An > Q) {
            converged = true;
            break;
        }
        xn = (xn + lambda) / 4.0;
        yn = (yn + lambda) / 4.0;
        zn = (zn + lambda) / 4.0;
    }
    if (!converged) return fail(msg::ELLIPRD_CONVERGE);

    const double X = f * (A0 - xp) / An;
    const double Y = f * (A0 - yp) / An;
    const double Z = -(X + Y) / 3.0;
    const double E2 = X * Y - 6.0 * Z * Z;
    const double E3 = (3.0 * X * Y - 8.0 * Z * Z) * Z;
    const double E4 = 3.0 * (X * Y - Z * Z) * Z * Z;
    const double E5 = X * Y * Z * Z * Z;
    return 3.0 * S + f * std::pow(An, -1.5) * rd_rj_series(E2, E3, E4, E5);
}

}  // namespace halomag::ellip
