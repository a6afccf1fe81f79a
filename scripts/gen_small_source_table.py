#!/usr/bin/env python3
"""Coefficients of the small-source series of the limb profile's magnification.

The point-lens magnification A(t) = (t^2 + 2) / (t sqrt(t^2 + 4)) is, for
t < 2 (binomial series of (1 + t^2/4)^(-1/2)),

    A(t) = sum_{k>=0} alpha_k t^(2k-1),   alpha_k = (b_k + 2 b_(k-1)) / 4^k,

b_n = binom(-1/2, n).  Averaged over a star of profile mu = sqrt(1 - r^2)
(stellar radii; flux 2 pi/3) with the lens at distance l from its centre and
Einstein radius u, every term is a Riesz potential of mu,

    V_k(l) = int_{|y|<1} sqrt(1 - |y|^2) |x - y|^(2k-1) d^2y,   |x| = l,

and (2 pi/3) A_mu = sum_k alpha_k u^(1-2k) V_k(l), convergent for 1 + l < 2u.

With w = l^2:

* inside (l <= 1), V_k = (pi^2/2) P_k(w), P_k a polynomial of degree k + 1
  (the terminating hypergeometric function):
      P_k(w) = (2k)! / (4^k k! (k+1)!) 2F1(1/2 - k, -1 - k; 1; w);
* outside (l >= 1), V_k = pi (P_k(w) theta + Q_k(w) s), theta = asin(1/l),
  s = sqrt(l^2 - 1), with the same P_k and a polynomial Q_k of degree k.

The outside form follows from the plane Laplacian: Delta_x |x - y|^(2k-1) =
(2k-1)^2 |x - y|^(2k-3), so 4 d/dw (w dV_k/dw) = (2k-1)^2 V_(k-1).  Put
V_k = pi (P theta + Q s) into it: the theta part gives 4 (w P_k')' =
(2k-1)^2 P_(k-1), which the inside polynomials satisfy, and the s part the
linear equations for Q_k solved here exactly; V_0 = (pi/2)((2 - w) theta + s)
starts the recurrence (it matches the inside value and slope at l = 1 and
2 pi/(3l) at infinity).  A homogeneous solution a + b ln w cannot hide in
the form P theta + Q s, and V_k has only odd powers of l at infinity, so the
solution is V_k itself; the script checks it against mpmath's
(2 pi/3) l^(2k-1) 2F1(1/2 - k, 1/2 - k; 5/2; 1/l^2) and P_k, V_0, V_1 against
two-dimensional quadrature.

For l >= 1 and small angles the k = 0 term (2 - w) theta + s cancels (by 15x
at l = 3); with phi = 2 theta it is w f(phi)/2, f(phi) = sin phi - phi cos phi
= phi^3 sum_m (-1)^m (2m + 2)/(2m + 3)! phi^(2m), whose terms the script also
writes.

It checks the facts the library's stopping rule relies on: alpha_k alternates
in sign from k = 1 on and |alpha_(k+1)| <= |alpha_k|/4 there, so (with
0 < V_(k+1) <= (1 + l)^2 V_k) the terms from k = 1 on alternate and shrink by
at least q = ((1 + l)/(2u))^2 per step.

Writes src/lib/small_source_table.hpp with alpha_k P_k and alpha_k Q_k,
rounded to the nearest double from the exact rationals.

Usage: scripts/gen_small_source_table.py [--check]
(--check compares the committed header with a fresh one).
"""

from __future__ import annotations

import math
import pathlib
import sys
from fractions import Fraction

import mpmath

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from gen_disk_series_table import _add, _diff, _mul, _scale  # noqa: E402
from reference_io import header_main  # noqa: E402

TERMS = 64  # k = 0 .. TERMS - 1
SINE_TERMS = 12  # of the f(phi) series, enough for phi <= 1.5
HEADER = pathlib.Path(__file__).resolve().parent.parent / "src" / "lib" / "small_source_table.hpp"


def binom_half(n):
    """binom(-1/2, n)."""
    value = Fraction(1)
    for j in range(n):
        value = value * (Fraction(-1, 2) - j) / (j + 1)
    return value


def alpha(k):
    return (binom_half(k) + (2 * binom_half(k - 1) if k >= 1 else 0)) / Fraction(4) ** k


def pochhammer(a, n):
    value = Fraction(1)
    for j in range(n):
        value *= a + j
    return value


def inside_polynomial(k):
    """P_k, lowest power of w first."""
    c = Fraction(math.factorial(2 * k), 4**k * math.factorial(k) * math.factorial(k + 1))
    return [c * pochhammer(Fraction(1, 2) - k, n) * pochhammer(Fraction(-1 - k), n)
            / Fraction(math.factorial(n)) ** 2 for n in range(k + 2)]


W = [Fraction(0), Fraction(1)]
W_MINUS_1 = [Fraction(-1), Fraction(1)]


def _s_part(p, q):
    """(w - 1)^2 times the factor of s in 4 d/dw (w d/dw) (P theta + Q s)."""
    wq = _mul(W, _diff(q))
    return _scale(_add(_mul(_diff(wq), _mul(W_MINUS_1, W_MINUS_1)),
                       _mul(_add(wq, _scale(q, Fraction(1, 2)), _scale(_diff(p), -1)), W_MINUS_1),
                       _scale(_add(p, _scale(_mul(W, q), -1)), Fraction(1, 4))), 4)


def _solve(columns, rhs):
    """The exact solution of the consistent (overdetermined) system whose
    columns are given; raises if it is singular or inconsistent."""
    rows = [[c[i] for c in columns] + [rhs[i]] for i in range(len(rhs))]
    n = len(columns)
    for col in range(n):
        pivot = next(i for i in range(col, len(rows)) if rows[i][col] != 0)
        rows[col], rows[pivot] = rows[pivot], rows[col]
        rows[col] = [x / rows[col][col] for x in rows[col]]
        for i in range(len(rows)):
            if i != col and rows[i][col] != 0:
                f = rows[i][col]
                rows[i] = [x - f * y for x, y in zip(rows[i], rows[col])]
    assert all(r[n] == 0 for r in rows[n:]), "inconsistent"
    return [rows[i][n] for i in range(n)]


def _pad(p, size):
    return p + [Fraction(0)] * (size - len(p))


def outside_polynomials(count):
    """Q_0 .. Q_(count-1)."""
    qs = [[Fraction(1, 2)]]
    for k in range(1, count):
        p = inside_polynomial(k)
        assert _pad(_scale(_diff(_mul(W, _diff(p))), 4), k + 1) == \
            _scale(inside_polynomial(k - 1), (2 * k - 1) ** 2)
        size = 2 * k + 4
        rhs = _add(_scale(_mul(qs[-1], _mul(W_MINUS_1, W_MINUS_1)), (2 * k - 1) ** 2),
                   _scale(_s_part(p, [Fraction(0)]), -1))
        columns = []
        for j in range(k + 1):
            unit = [Fraction(0)] * (k + 1)
            unit[j] = Fraction(1)
            columns.append(_pad(_s_part([Fraction(0)], unit), size))
        qs.append(_solve(columns, _pad(rhs, size)))
    return qs


def sine_series(count):
    """Coefficients c_m of f(phi) = phi^3 sum_m c_m phi^(2m)."""
    return [Fraction((-1) ** m * (2 * m + 2), math.factorial(2 * m + 3)) for m in range(count)]


def _mp(c):
    return mpmath.mpf(c.numerator) / c.denominator


def _poly(p, w):
    return sum(_mp(c) * w**i for i, c in enumerate(p))


def check(ps, qs):
    alphas = [alpha(k) for k in range(len(ps) + 1)]
    assert alphas[0] == 1 and alphas[1] == Fraction(3, 8)
    for k in range(1, len(alphas) - 1):
        assert alphas[k] * alphas[k + 1] < 0, k
        assert 4 * abs(alphas[k + 1]) <= abs(alphas[k]), k
    # Q_k(1) = P_k(1): with theta = pi/2 - s + O(s^3) the terms linear in s
    # cancel, so the outside form meets the inside one with its slope.
    assert all(sum(p) == sum(q) for p, q in zip(ps, qs))
    mpmath.mp.dps = 40
    pi = mpmath.pi
    for k in range(len(ps)):
        for l in ("0.3", "0.999", "1.001", "1.6", "2.95"):
            l = mpmath.mpf(l)
            w = l * l
            if l <= 1:
                ref = pi ** 1.5 / 2 * mpmath.gamma(k + 0.5) / mpmath.gamma(k + 2) * \
                    mpmath.hyp2f1(0.5 - k, -1 - k, 1, w)
                got = pi**2 / 2 * _poly(ps[k], w)
            else:
                ref = 2 * pi / 3 * l ** (2 * k - 1) * mpmath.hyp2f1(0.5 - k, 0.5 - k, 2.5, 1 / w)
                got = pi * (_poly(ps[k], w) * mpmath.asin(1 / l) + _poly(qs[k], w) * mpmath.sqrt(w - 1))
            assert abs(got / ref - 1) < mpmath.mpf(10) ** -30, (k, l)
    # The Riesz potentials themselves, by quadrature over the ring radius r
    # of mu times the ring mean of |x - y|^(2k-1), which is
    # max(l, r)^s 2F1(-s/2, -s/2; 1; (min/max)^2) (Gradshteyn & Ryzhik 3.665).
    mpmath.mp.dps = 20
    for k in (0, 1):
        s = 2 * k - 1
        for l in (mpmath.mpf("0.5"), mpmath.mpf(2)):
            def ring(r):
                big, small = max(l, r), min(l, r)
                mean = big**s * mpmath.hyp2f1(-s / 2, -s / 2, 1, (small / big) ** 2)
                return 2 * pi * r * mpmath.sqrt(1 - r * r) * mean
            ref = mpmath.quad(ring, [0, l, 1] if l < 1 else [0, 1])
            w = l * l
            got = (pi**2 / 2 * _poly(ps[k], w) if l < 1 else
                   pi * (_poly(ps[k], w) * mpmath.asin(1 / l) + _poly(qs[k], w) * mpmath.sqrt(w - 1)))
            assert abs(got / ref - 1) < mpmath.mpf(10) ** -12, (k, l, got, ref)
    mpmath.mp.dps = 40
    c = sine_series(SINE_TERMS)
    phi = mpmath.mpf("1.5")
    series = phi**3 * sum(_mp(cm) * phi ** (2 * m) for m, cm in enumerate(c))
    assert abs(series / (mpmath.sin(phi) - phi * mpmath.cos(phi)) - 1) < mpmath.mpf(2) ** -60


def render(ps, qs):
    def block(name, polys):
        lines = [f"inline constexpr double {name}[] = {{"]
        for k, p in enumerate(polys):
            a = alpha(k)
            lines.append(f"    // k = {k}")
            lines.extend(f"    {float(a * c)!r}," for c in p)
        lines.append("};")
        return lines

    p_offsets = [0]
    q_offsets = [0]
    for k in range(len(ps)):
        p_offsets.append(p_offsets[-1] + len(ps[k]))
        q_offsets.append(q_offsets[-1] + len(qs[k]))
    lines = [
        "// Generated by scripts/gen_small_source_table.py: do not edit.",
        "//",
        "// Small-source series of the limb profile sqrt(1 - r^2)",
        "// (lib/small_source.hpp): alpha_k P_k(w) and alpha_k Q_k(w), lowest power of",
        "// w = l^2 first, each rounded to the nearest double from its exact rational",
        "// value; term k of P occupies [SMALL_SOURCE_P_OFFSET[k], SMALL_SOURCE_P_OFFSET[k + 1]),",
        "// of Q likewise.  SMALL_SOURCE_SINE: f(phi) = sin phi - phi cos phi =",
        "// phi^3 sum_m c_m phi^(2m).",
        "#pragma once",
        "",
        "namespace halomag::models::detail {",
        "",
        f"inline constexpr int SMALL_SOURCE_TERMS = {len(ps)};",
        "",
        "inline constexpr int SMALL_SOURCE_P_OFFSET[SMALL_SOURCE_TERMS + 1] = {",
        "    " + ", ".join(str(o) for o in p_offsets) + "};",
        "",
        "inline constexpr int SMALL_SOURCE_Q_OFFSET[SMALL_SOURCE_TERMS + 1] = {",
        "    " + ", ".join(str(o) for o in q_offsets) + "};",
        "",
    ]
    lines += block("SMALL_SOURCE_P", ps) + [""] + block("SMALL_SOURCE_Q", qs) + [""]
    lines.append(f"inline constexpr int SMALL_SOURCE_SINE_TERMS = {SINE_TERMS};")
    lines.append("")
    lines.append("inline constexpr double SMALL_SOURCE_SINE[SMALL_SOURCE_SINE_TERMS] = {")
    lines.extend(f"    {float(c)!r}," for c in sine_series(SINE_TERMS))
    lines.append("};")
    lines.append("")
    lines.append("}  // namespace halomag::models::detail")
    return "\n".join(lines) + "\n"


def make_header():
    ps = [inside_polynomial(k) for k in range(TERMS)]
    qs = outside_polynomials(TERMS)
    check(ps, qs)
    return render(ps, qs)


if __name__ == "__main__":
    sys.exit(header_main(None, __doc__, HEADER, make_header))
