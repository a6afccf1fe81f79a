// Carlson's symmetric integral of the third kind
//
//   RJ(x, y, z, p) = 3/2 * int_0^inf dt / ((t + p) sqrt((t + x)(t + y)(t + z)))   (DLMF 19.16.2)
//
// symmetric in x, y, z (non-negative, at most one zero), p != 0; for p < 0
// the Cauchy principal value.  The complete integral of the third kind is
//   Pi(n | m) = RF(0, 1 - m, 1) + (n/3) RJ(0, 1 - m, 1, 1 - n)     (DLMF 19.25.2).
//
// elliprj is the front end (argument checks and the principal value);
// _elliprj holds the special cases and the duplication algorithm.
//
// Special cases of the worker, each an exact reduction:
//   RJ(x, x, x, x) = x^(-3/2);
//   RJ(x, x, x, p) = 3 (RC(x, p) - 1/sqrt(x)) / (x - p)               (DLMF 19.20.15);
//   RJ(x, y, y, y) = RD(x, y, y), RJ(x, y, z, z) = RD(x, y, z)         (DLMF 19.20.18);
//   RJ(x, y, y, p) = 3 (RC(x, y) - RC(x, p)) / (p - y)                 (DLMF 19.20.16),
//     used only when y and p differ by more than a factor 1.2; closer,
//     the difference cancels and the general method is more accurate.
// General method (Carlson 1995, Algorithm 3, eqs. 2.36-2.39): duplication
// with the correction terms 4^-n / d_n * RC(1, 1 + e_n), e_n = delta / d_n^2,
// where delta = (p - x)(p - y)(p - z) shrinks by 64 per step, and the
// fifth-order series (eq. 2.7) for the remainder.  RC(1, 1 + E) is written
// in closed form where that is accurate: atan(sqrt E)/sqrt E for E > 0,
// atanh(sqrt(-E))/sqrt(-E) for -1 < E < 0 (DLMF 19.2.19, 19.2.20).
//
// Principal value for p < 0 (Carlson 1995, eq. 2.22; DLMF 19.20.14): with
// x <= y <= z, q = -p and p' = (z (x + y + q) - x y) / (z + q) > 0,
//   (z + q) RJ(x, y, z, -q) = (p' - z) RJ(x, y, z, p') - 3 RF(x, y, z)
//                             + 3 sqrt(x y z / (x y + p' q)) RC(x y + p' q, p' q).
//
// References
//   [1] B. C. Carlson, "Numerical computation of real or complex elliptic
//       integrals", Numer. Algorithms 10 (1995) 13-26, arXiv:math/9409227.
//   [2] NIST Digital Library of Mathematical Functions, chapter 19.
#pragma once

#include <algorithm>
#include <cmath>

#include "elliptic/constants.hpp"
#include "elliptic/elliprc.hpp"
#include "elliptic/elliprd.hpp"
#include "elliptic/elliprf.hpp"
#include "elliptic/result.hpp"

namespace halomag::ellip {

inline Result _elliprj(double x, double y, double z, double p) noexcept {
    using namespace detail;
    if (x == y) {
        if (x == z) {
            if (x == p) return 1.0 / (x * std::sqrt(x));
            const Result rc = elliprc(x, p);
            if (!rc) return rc;
            return 3.0 * (*rc - 1.0 / std::sqrt(x)) / (x - p);
        }
        std::swap(x, z);  // now y == z
    }
    if (y == z) {
        if (y == p) return elliprd(x, y, y);
        if (max_ignoring_nan(y, p) / min_ignoring_nan(y, p) > 1.2) {
            const Result rc_y = elliprc(x, y);
            if (!rc_y) return rc_y;
            const Result rc_p = elliprc(x, p);
            if (!rc_p) return rc_p;
            return (3.0 / (p - y)) * (*rc_y - *rc_p);
        }
    }
    if (z == p) return elliprd(x, y, z);

    const double A0 = (x + y + z + 2.0 * p) / 5.0;
    const double Q =
        110.67925377307274 * std::fmax(std::fmax(std::fabs(A0 - x), std::fabs(A0 - y)),
                                       std::fmax(std::fabs(A0 - z), std::fabs(A0 - p)));
    double delta = (p - x) * (p - y) * (p - z);
    double f = 1.0, S = 0.0;
    double xn = x, yn = y, zn = z, pn = p, An = A0;
    for (int step = 0; step < 100; ++step) {
        const double rx = std::sqrt(xn), ry = std::sqrt(yn), rz = std::sqrt(zn),
                     rp = std::sqrt(pn);
        const double D = (rp + rx) * (rp + ry) * (rp + rz);
        const double E = delta / (D * D);
        double term;
        if (-1.5 < E && E < -0.5) {
            // 1 + E formed without cancellation (Carlson 1995, eq. 2.39).
            const double b = 2.0 * rp * (pn + rx * (ry + rz) + ry * rz) / D;
            const Result rc = elliprc(1.0, b);
            if (!rc) return rc;
            term = (f / D) * *rc;
        } else if (E < -1.0) {
            // RC(1, 1 + E) = sqrt(1/(-E)) RC(-E, -1 - E)  (DLMF 19.2.20 scaled).
            const Result rc = elliprc(-E, -1.0 - E);
            if (!rc) return rc;
            term = (f / D) * std::sqrt(1.0 / (-E)) * *rc;
        } else if (E == 0.0) {
            term = f / D;
        } else if (E > 0.0) {
            const double r = std::sqrt(E);
            term = (f / D) * std::atan(r) / r;
        } else if (-0.5 < E && E < 0.0) {
            // atanh(r)/r = (ln(1 + r) - ln(1 - r)) / (2r).  The two logarithms
            // are taken with log1p: forming 1 + r and 1 - r first would cost
            // a relative error eps/r in the term, and E shrinks by 64 per
            // step, so r = sqrt(-E) is small in every step but the first few.
            const double r = std::sqrt(-E);
            term = (f / D) * (std::log1p(r) - std::log1p(-r)) / (2.0 * r);
        } else {
            const double r = std::sqrt(-E);
            term = (f / D) * std::log((1.0 + r) / std::sqrt(1.0 + E)) / r;
        }
        S += term;
        const double lambda = rx * ry + rx * rz + ry * rz;
        An = (An + lambda) / 4.0;
        f /= 4.0;
        if (An > f * Q) break;
        xn = (xn + lambda) / 4.0;
        yn = (yn + lambda) / 4.0;
        zn = (zn + lambda) / 4.0;
        pn = (pn + lambda) / 4.0;
        delta /= 64.0;
    }

    const double X = f * (A0 - x) / An;
    const double Y = f * (A0 - y) / An;
    const double Z = f * (A0 - z) / An;
    const double P = (-X - Y - Z) / 2.0;
    const double E2 = X * Y + X * Z + Y * Z - 3.0 * P * P;
    const double E3 = X * Y * Z + 2.0 * E2 * P + 4.0 * P * P * P;
    const double E4 = (2.0 * X * Y * Z + E2 * P + 3.0 * P * P * P) * P;
    const double E5 = X * Y * Z * P * P;
    return 6.0 * S + f * std::pow(An, -1.5) * rd_rj_series(E2, E3, E4, E5);
}

inline Result elliprj(double x, double y, double z, double p) noexcept {
    using namespace detail;
    if (min_ignoring_nan(x, y, z) < 0.0 || min_ignoring_nan(x + y, y + z, x + z) == 0.0) {
        return fail(msg::ELLIPRJ_DOMAIN_XYZ);
    }
    if (p == 0.0) return fail(msg::ELLIPRJ_DOMAIN_P);
    if (!(p < 0.0)) return _elliprj(x, y, z, p);

    // Principal value: sort so that a <= b <= c.
    double a = x, b = y, c = z;
    if (a > b) std::swap(a, b);
    if (b > c) std::swap(b, c);
    if (a > b) std::swap(a, b);
    const double q = -p;
    const double pp = (c * (a + b + q) - a * b) / (c + q);
    const Result J = _elliprj(a, b, c, pp);
    if (!J) return J;
    const Result F = elliprf(a, b, c);
    if (!F) return F;
    const Result C = elliprc(a * b + pp * q, pp * q);
    if (!C) return C;
    return ((pp - c) * *J - 3.0 * *F + 3.0 * std::sqrt(a * b * c / (a * b + pp * q)) * *C) /
           (c + q);
}

}  // namespace halomag::ellip
