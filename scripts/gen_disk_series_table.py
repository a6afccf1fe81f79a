#!/usr/bin/env python3
"""Coefficients of the far-field series of the uniform-disk magnification.

The mean of a smooth function F over a disk of radius rho in the plane is
(Pizzetti's formula in two dimensions)

    mean = sum_{n>=0} (rho^2/4)^n  Delta^n F(c) / (n! (n+1)!),

with c the disk's centre.  For the point-lens magnification
F(x) = f(|x|^2), f(y) = (y + 2) / sqrt(y (y + 4)), the Laplacian acts on f
as Delta = 4 D with D = d/dy y d/dy, so the n-th term is rho^(2n) D^n f(y) /
(n! (n+1)!) at y = u^2.  By induction

    D^n f(y) = Q_n(y) / (y^(n+1/2) (y+4)^(2n+1/2)),

Q_0 = y + 2, and Q_n of degree 2n - 1 (n >= 1) with integer coefficients:
with a = n + 1/2, b = 2n + 1/2,

    R     = Q_n' y (y+4) - a Q_n (y+4) - b Q_n y            (y^-(a+1) (y+4)^-(b+1) R = D-half step)
    Q_n+1 = R' y (y+4) - a R (y+4) - (b+1) R y.

With x = (rho/u)^2 = 1/l^2, eta = y/4 and P = sqrt(y (y+4)) the n-th term is

    x^n / P * sum_k alpha_{n,k} eta^k / (1 + eta)^(2n),
    alpha_{n,k} = q_{n,k} 4^(k - 2n) / (n! (n+1)!).

This script computes Q_n exactly (rational arithmetic), checks the properties
the library relies on, and writes src/lib/disk_series_table.hpp with alpha
rounded to the nearest double:

  * Q_n > 0 for y > 0, so every term of the series is positive: proved by
    the Bernstein coefficients of Q_n(4 eta) on eta in [0, 1] and of its
    reversal on 1/eta in [0, 1], which are all positive (a polynomial is
    bounded below by its smallest Bernstein coefficient on the interval);
  * the ratio of consecutive terms, T_{n+1}/T_n, stays below 1.5 x for every
    y (sampled on a fine logarithmic grid at 40 digits), which bounds the tail
    after a negligible term;
  * the series against the mpmath closed form of Witt & Mao at a few points.

Usage: scripts/gen_disk_series_table.py [--check] (--check compares the
committed header with a fresh one and exits non-zero on a difference).
"""

from __future__ import annotations

import math
import pathlib
import sys
from fractions import Fraction

import mpmath

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from reference_io import header_main  # noqa: E402

TERMS = 20  # enough for l >= 3 (15 terms at most are used, measured)
HEADER = pathlib.Path(__file__).resolve().parent.parent / "src" / "lib" / "disk_series_table.hpp"


def _mul(a, b):
    out = [Fraction(0)] * (len(a) + len(b) - 1)
    for i, x in enumerate(a):
        for j, z in enumerate(b):
            out[i + j] += x * z
    return out


def _add(*polys):
    n = max(len(p) for p in polys)
    out = [Fraction(0)] * n
    for p in polys:
        for i, x in enumerate(p):
            out[i] += x
    while len(out) > 1 and out[-1] == 0:
        out.pop()
    return out


def _scale(p, c):
    return [x * c for x in p]


def _diff(p):
    return [i * p[i] for i in range(1, len(p))] or [Fraction(0)]


def q_polynomials(count):
    """Q_0 .. Q_count, coefficient lists lowest power first."""
    y_y4 = [Fraction(0), Fraction(4), Fraction(1)]
    y4 = [Fraction(4), Fraction(1)]
    y = [Fraction(0), Fraction(1)]
    q = [Fraction(2), Fraction(1)]
    a, b = Fraction(1, 2), Fraction(1, 2)
    out = [q]
    for _ in range(count):
        r = _add(_mul(_diff(q), y_y4), _scale(_mul(q, y4), -a), _scale(_mul(q, y), -b))
        q = _add(_mul(_diff(r), y_y4), _scale(_mul(r, y4), -a), _scale(_mul(r, y), -(b + 1)))
        a, b = a + 1, b + 2
        out.append(q)
    return out


def alphas(qs, n):
    scale = Fraction(1, 4 ** (2 * n) * math.factorial(n) * math.factorial(n + 1))
    return [qk * 4 ** k * scale for k, qk in enumerate(qs[n])]


def _positive_on_unit_interval(coeffs, depth=0):
    """True when sum_k coeffs[k] t^k > 0 on [0, 1], shown by its Bernstein
    coefficients b_j = sum_{k<=j} C(j,k)/C(N,k) c_k: the polynomial lies
    above the smallest of them.  Where one is not positive the interval is
    halved (de Casteljau) until every piece's coefficients are positive."""
    degree = len(coeffs) - 1
    b = [sum(Fraction(math.comb(j, k), math.comb(degree, k)) * coeffs[k] for k in range(j + 1))
         for j in range(degree + 1)]
    return _bernstein_positive(b, depth)


def _bernstein_positive(b, depth):
    if min(b) > 0:
        return True
    if b[0] <= 0 or b[-1] <= 0 or depth > 30:
        return False
    left, right, row = [b[0]], [b[-1]], list(b)
    while len(row) > 1:
        row = [(p + q) / 2 for p, q in zip(row, row[1:])]
        left.append(row[0])
        right.append(row[-1])
    return _bernstein_positive(left, depth + 1) and _bernstein_positive(right[::-1], depth + 1)


def check(qs):
    for n in range(1, len(qs)):
        assert len(qs[n]) == 2 * n, n  # degree 2n - 1
        scaled = [c * 4**k for k, c in enumerate(qs[n])]  # Q_n(4 eta)
        assert _positive_on_unit_interval(scaled), f"Q_{n} not shown positive on eta <= 1"
        assert _positive_on_unit_interval(scaled[::-1]), f"Q_{n} not shown positive on eta >= 1"
    mpmath.mp.dps = 40

    def term(n, eta):  # x^-n P T_n
        return sum(mpmath.mpf(c.numerator) / c.denominator * eta**k
                   for k, c in enumerate(alphas(qs, n))) / (1 + eta) ** (2 * n)

    for n in range(1, len(qs) - 1):
        worst = max(term(n + 1, e) / term(n, e)
                    for e in (mpmath.mpf(10) ** (k / 8) for k in range(-160, 160)))
        assert worst < 1.5, (n, worst)

    def closed_form(u, rho):
        d, s = u - rho, u + rho
        q = mpmath.sqrt(d * d + 4)
        n = 4 * u * rho / s**2
        m = 4 * n / q**2
        S = (s * q / (2 * rho**2) * mpmath.ellipe(m)
             - d * (8 + u * u - rho * rho) / (2 * rho**2 * q) * mpmath.ellipk(m)
             + 2 * d * d * (1 + rho * rho) / (rho * rho * s * q) * mpmath.ellippi(n, m))
        return S / mpmath.pi

    for l, rho in ((3, 0.01), (5, 1), (10, 0.3), (40, 20)):
        u, rho = mpmath.mpf(l) * rho, mpmath.mpf(rho)
        y = u * u
        P = mpmath.sqrt(y * (y + 4))
        x = (rho / u) ** 2
        total = 4 / (y + 2 + P) + sum(x**n * term(n, y / 4) for n in range(1, len(qs)))
        series = 1 + total / P
        assert abs(series / closed_form(u, rho) - 1) < mpmath.mpf(10) ** -19, (l, rho)


def render(qs):
    offsets = [0]
    for n in range(1, len(qs)):
        offsets.append(offsets[-1] + len(qs[n]))
    lines = [
        "// Generated by scripts/gen_disk_series_table.py: do not edit.",
        "//",
        "// Far-field series of the uniform-disk magnification (lib/uniform_disk.hpp):",
        "// alpha_{n,k} = q_{n,k} 4^(k-2n) / (n! (n+1)!), the coefficients of",
        "// D^n f(y) = Q_n(y) / (y^(n+1/2) (y+4)^(2n+1/2)), f(y) = (y+2)/sqrt(y(y+4)),",
        "// D = d/dy y d/dy, each rounded to the nearest double from its exact",
        "// rational value.  Term n occupies [DISK_SERIES_OFFSET[n-1], DISK_SERIES_OFFSET[n]),",
        "// lowest power of eta = y/4 first.",
        "#pragma once",
        "",
        "namespace halomag::models::detail {",
        "",
        f"inline constexpr int DISK_SERIES_TERMS = {len(qs) - 1};",
        "",
        "inline constexpr int DISK_SERIES_OFFSET[DISK_SERIES_TERMS + 1] = {",
    ]
    row = ", ".join(str(o) for o in offsets)
    lines.append(f"    {row}}};")
    lines.append("")
    lines.append("inline constexpr double DISK_SERIES_ALPHA[] = {")
    for n in range(1, len(qs)):
        lines.append(f"    // n = {n}")
        for c in alphas(qs, n):
            lines.append(f"    {float(c)!r},")
    lines.append("};")
    lines.append("")
    lines.append("}  // namespace halomag::models::detail")
    return "\n".join(lines) + "\n"


def make_header():
    qs = q_polynomials(TERMS)
    check(qs)
    return render(qs)


if __name__ == "__main__":
    sys.exit(header_main(None, __doc__, HEADER, make_header))
