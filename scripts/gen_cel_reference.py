#!/usr/bin/env python3
"""Reference values of Bulirsch's complete elliptic integral
cel(kc, p, a, b) for the C++ tests, computed with mpmath at 50 digits (plus
the digits that hold kc^2 beside 1) from the decomposition into Legendre's
complete integrals (m = 1 - kc^2, n = 1 - p):

    cel = a K(m) + (b - a p) (Pi(n | m) - K(m)) / n,        p != 1,
    cel = a K(m) + (b - a) (K(m) - E(m)) / m,                p == 1,

the second the limit of the first (DLMF 19.2.11, 19.25).  Each line:
kc p a b value, the arguments as exact doubles (17 digits) and the value
correctly rounded; "scale" is the integral of the absolute value of the
integrand, against which a cancelling combination is judged.

Usage:  python scripts/gen_cel_reference.py [tests/data/cel_reference.txt]
"""

import random
import sys

from mpmath import mp, mpf

from reference_io import emit

mp.dps = 50
rng = random.Random(20261208)


def cel(kc, p, a, b):
    # m = 1 - kc^2 must hold kc^2 exactly: 50 digits beyond its exponent.
    with mp.workdps(50 + 2 * max(0, -mp.floor(mp.log10(abs(kc))))):
        return _cel(*(mpf(x) for x in (kc, p, a, b)))


def _cel(kc, p, a, b):
    m = 1 - kc * kc
    K = mp.ellipk(m)
    if p == 1:
        t = (K - mp.ellipe(m)) / m if m != 0 else mp.pi / 4
    else:
        n = 1 - p
        t = (mp.ellippi(n, m) - K) / n
    # a cos^2 + b sin^2 = a (cos^2 + p sin^2) + (b - a p) sin^2
    value = a * K + (b - a * p) * t
    scale = abs(a) * K + abs(b - a * p) * t
    return value, scale


def cases():
    # The ring-mean combination g^2 Pi + 2u^2 K = cel(kc, p, g^2 + 2u^2, g^2 + 2u^2 p)
    # over the whole range of its moduli, and K, E, Pi themselves.
    for _ in range(120):
        kc = 10 ** rng.uniform(-300, 0) if rng.random() < 0.3 else 10 ** rng.uniform(-16, 0)
        p = 10 ** rng.uniform(-32, 2)
        w = 10 ** rng.uniform(-8, 8)
        yield kc, p, w + 1.0, w * p + 1.0
    for _ in range(40):
        kc = 10 ** rng.uniform(-20, 0)
        yield kc, 1.0, 1.0, 1.0                      # K
        yield kc, 1.0, 1.0, kc * kc                  # E
        yield kc, 10 ** rng.uniform(-20, 1), 1.0, 1.0  # Pi
    for _ in range(40):  # signs mixed: cancellation judged against the scale
        yield (10 ** rng.uniform(-10, 0), 10 ** rng.uniform(-10, 2),
               rng.uniform(-2, 2), rng.uniform(-2, 2))


def rows():
    yield "# Bulirsch's cel(kc, p, a, b), mpmath at 50 digits (scripts/gen_cel_reference.py)."
    yield "# columns: kc p a b value scale"
    for kc, p, a, b in cases():
        kc, p, a, b = float(kc), float(p), float(a), float(b)
        value, scale = cel(kc, p, a, b)
        yield " ".join(repr(float(x)) for x in (kc, p, a, b, value, scale))


if __name__ == "__main__":
    emit(list(rows()), sys.argv)
