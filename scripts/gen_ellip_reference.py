#!/usr/bin/env python3
"""Reference values of Carlson's RF, RC, RD, RJ and of K(m), E(m), computed
with mpmath at 50 significant digits, for the C++ tests.

Each line: function region arguments... value.  The arguments are doubles
(printed with 17 significant digits, so C++ reads back exactly the double
the value was computed for); the value is the correctly rounded double of
mpmath's result.  Regions group the cases whose accuracy is asserted
together.  The principal value of RJ for p < 0 comes straight from the
integral, by mpmath quadrature with the pole subtracted, and is checked
against the transformation of DLMF 19.20.14 to 30 digits (mpmath's elliprj
continues RJ analytically to a complex value instead).

Usage:  python scripts/gen_ellip_reference.py [tests/data/ellip_reference.txt]
"""

import random
import sys

import mpmath
from mpmath import mp, mpf

from reference_io import emit

mp.dps = 50
rng = random.Random(20261208)


def logu(lo, hi):
    return float(10 ** rng.uniform(lo, hi))


def g17(x):
    return repr(float(x))


def rows():
    # RF: general, one zero, two equal, all equal, extreme scales.
    for _ in range(60):
        yield "rf", "general", (logu(-3, 3), logu(-3, 3), logu(-3, 3))
    for _ in range(30):
        scale = logu(-290, 290)
        yield "rf", "wide", (scale * logu(-3, 3), scale * logu(-3, 3), scale * logu(-3, 3))
    # Arguments spread over 1e-300 .. 1e300: eleven duplication steps are not
    # always enough, and the tests accept "Fail to converge." for these.
    for _ in range(15):
        yield "rf", "spread", (logu(-300, 300), logu(-300, 300), logu(-300, 300))
    for _ in range(30):
        yield "rf", "onezero", (0.0, logu(-5, 5), logu(-5, 5))
    for _ in range(20):
        a = logu(-5, 5)
        yield "rf", "twoequal", (a, a, logu(-5, 5))
    for _ in range(10):
        a = logu(-100, 100)
        yield "rf", "allequal", (a, a, a)
    # RF(0, 1 - m, 1) as the magnification formulas use it, m near 1.
    for _ in range(20):
        yield "rf", "kform", (0.0, logu(-30, 0), 1.0)
    # RC: y > 0, y < 0 (principal value), extreme scales.
    for _ in range(70):
        yield "rc", "positive", (logu(-5, 5), logu(-5, 5))
    for _ in range(10):
        yield "rc", "positive", (0.0, logu(-5, 5))
    for _ in range(40):
        yield "rc", "negative", (logu(-5, 5), -logu(-5, 5))
    for _ in range(30):
        yield "rc", "wide", (logu(-150, 150), logu(-150, 150))
    # RD.
    for _ in range(70):
        yield "rd", "general", (logu(-3, 3), logu(-3, 3), logu(-3, 3))
    for _ in range(30):
        yield "rd", "onezero", (0.0, logu(-3, 3), logu(-3, 3))
    for _ in range(20):
        a = logu(-3, 3)
        yield "rd", "equal", (logu(-3, 3), a, a)
    for _ in range(30):
        yield "rd", "wide", (logu(-100, 100), logu(-100, 100), logu(-100, 100))
    # RJ: general, p < 0, equal pairs, the magnification form.
    for _ in range(60):
        yield "rj", "general", (logu(-3, 3), logu(-3, 3), logu(-3, 3), logu(-3, 3))
    for _ in range(20):
        yield "rj", "onezero", (0.0, logu(-3, 3), logu(-3, 3), logu(-3, 3))
    for _ in range(20):
        a = logu(-3, 3)
        yield "rj", "equal", (logu(-3, 3), a, a, a * rng.uniform(0.5, 2.0))
    for _ in range(30):
        yield "rj", "negative", (logu(-2, 2), logu(-2, 2), logu(-2, 2), -logu(-2, 2))
    for _ in range(30):
        cm = logu(-30, 0)
        yield "rj", "piform", (0.0, cm, 1.0, cm * rng.uniform(0.1, 1.0))
    for _ in range(20):
        yield "rj", "wide", (logu(-60, 60), logu(-60, 60), logu(-60, 60), logu(-60, 60))
    # K and E over m from -1e6 to just below 1.
    for _ in range(50):
        yield "k", "unit", (rng.uniform(0.0, 1.0),)
    for _ in range(40):
        yield "k", "nearone", (1.0 - logu(-16, -1),)
    for _ in range(40):
        yield "k", "negative", (-logu(-3, 6),)
    for _ in range(50):
        yield "e", "unit", (rng.uniform(0.0, 1.0),)
    for _ in range(40):
        yield "e", "nearone", (1.0 - logu(-16, -1),)
    for _ in range(40):
        yield "e", "negative", (-logu(-3, 6),)
    # Near m = 0 on both sides (the scaling for m < 0 and the polynomials at
    # eta = 1), and the last doubles below 1, where K takes its logarithmic
    # branch ln 4 - ln(eta)/2 (eta = 1 - m <= eps).
    for name in ("k", "e"):
        for _ in range(15):
            yield name, "small", (logu(-20, -1),)
        for _ in range(15):
            yield name, "small", (-logu(-20, -1),)
        for j in (1, 2, 3, 4, 8):
            yield name, "nearone", (1.0 - j * 2.0**-53,)


def rj_principal_value(x, y, z, p):
    """Cauchy principal value of (3/2) int_0^inf dt / ((t + p) sqrt((t+x)(t+y)(t+z)))
    for p = -q < 0.  The pole sits at t = q; since the principal value of
    int_0^(2q) dt / (t - q) is zero, subtracting f(q) on [0, 2q] leaves a
    regular integrand."""
    q = -p
    f = lambda t: 1 / mpmath.sqrt((t + x) * (t + y) * (t + z))
    fq = f(q)
    inner = sorted({mpf(0), q, 2 * q, *(v for v in (x, y, z) if 0 < v < 2 * q)})
    outer = sorted({2 * q, *(v for v in (x, y, z) if v > 2 * q)}) + [mpmath.inf]
    a = mpmath.quad(lambda t: (f(t) - fq) / (t - q), inner)
    b = mpmath.quad(lambda t: f(t) / (t - q), outer)
    value = mpf(3) / 2 * (a + b)
    check = rj_principal_value_by_transformation(x, y, z, p)
    assert abs(value - check) <= mpf(10) ** -30 * abs(value), (x, y, z, p, value, check)
    return value


def rj_principal_value_by_transformation(x, y, z, p):
    # mpmath continues RJ analytically to p < 0 (a complex value); the Cauchy
    # principal value follows from DLMF 19.20.14 with x <= y <= z, q = -p:
    #   (z + q) RJ(x,y,z,-q) = (p' - z) RJ(x,y,z,p') - 3 RF(x,y,z)
    #                          + 3 sqrt(xyz/(xy + p'q)) RC(xy + p'q, p'q).
    x, y, z = sorted([x, y, z])
    q = -p
    pp = (z * (x + y + q) - x * y) / (z + q)
    return ((pp - z) * mpmath.elliprj(x, y, z, pp) - 3 * mpmath.elliprf(x, y, z)
            + 3 * mpmath.sqrt(x * y * z / (x * y + pp * q)) * mpmath.elliprc(x * y + pp * q, pp * q)) / (z + q)


def value(name, args):
    a = [mpf(x) for x in args]
    if name == "rf":
        return mpmath.elliprf(*a)
    if name == "rc":
        return mpmath.elliprc(*a)
    if name == "rd":
        return mpmath.elliprd(*a)
    if name == "rj":
        if a[3] < 0:
            return rj_principal_value(*a)
        return mpmath.elliprj(*a)
    if name == "k":
        return mpmath.ellipk(a[0])
    if name == "e":
        return mpmath.ellipe(a[0])
    raise ValueError(name)


def main(argv):
    lines = ["# Carlson and Legendre complete integrals, mpmath at 50 digits",
             "# (scripts/gen_ellip_reference.py).  columns: function region args... value"]
    for name, region, args in rows():
        v = value(name, args)
        assert mpmath.im(v) == 0, (name, args, v)
        lines.append(" ".join([name, region, *map(g17, args), g17(mpmath.re(v))]))
    emit(lines, argv)


if __name__ == "__main__":
    main(sys.argv)
