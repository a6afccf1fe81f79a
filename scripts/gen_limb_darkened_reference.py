#!/usr/bin/env python3
"""Reference magnifications of limb-darkened and flux-map stars, with mpmath.

The magnification of a star with radial surface brightness p(r) (r in
stellar radii) is the brightness-weighted mean of the point-lens
magnification over the disk:

    A(l) = int_0^1 p(r) 2 pi r <A>_ring(l, r) dr / int_0^1 p(r) 2 pi r dr,

where <A>_ring is the mean point-lens magnification over the circle of
radius r (lens at separation l from the centre).  The inner mean is
evaluated with mpmath's own Carlson integrals for K(m) and Pi(n|m),
(x^2+2)/(x sqrt(x^2+4)) averaged over the polar angle (Heyrovsky 2003, eq.
A1), and spot-checked against direct quadrature over the polar angle below;
the outer integral is an mpmath tanh-sinh quadrature split at r = l and at
every knot of a tabulated profile, where the integrand has a logarithmic
singularity or a kink.  30 significant digits.

Usage:  python scripts/gen_limb_darkened_reference.py [tests/data/limb_darkened_reference.txt]
"""

import sys

import mpmath
from mpmath import mp, mpf

from reference_io import emit

mp.dps = 30

PROFILES = {
    # name: (bl, bf) tables; "builtin" is the linear law with coefficient 0.6.
    "uniform": ([0.0, 1.0], [1.0, 1.0]),
    "sampled": ([0.0, 0.25, 0.5, 0.75, 0.9, 1.0],
                [1.0 - 0.6 * (1 - (1 - r * r) ** 0.5) for r in (0.0, 0.25, 0.5, 0.75, 0.9, 1.0)]),
    "short": ([0.0, 0.4, 0.7], [1.0, 0.9, 0.5]),
    "single": ([0.5], [2.0]),
    "uneven": ([0.0, 0.1, 0.35, 0.8, 1.3], [0.3, 1.0, 0.7, 0.6, 0.1]),
}


def ring_mean(l, r, u, g=None):
    """Mean over the ring of radius r; g = l - r may be given exactly when r
    is formed from it (nodes next to r = l, see magnification)."""
    l, r, u = mpf(l), mpf(r), mpf(u)
    if r == 0 or l == 0:
        x = (l + r) / u
        return (x * x + 2) / (x * mpmath.sqrt(x * x + 4))
    g = l - r if g is None else mpf(g)
    s = l + r
    if g == 0:
        return mpmath.inf
    q = 4 * u * u + g * g
    # K(m) = RF(0, 1-m, 1), Pi(n|m) = RF + (n/3) RJ(0, 1-m, 1, 1-n) (DLMF 19.25),
    # with the complements 1-n = (g/s)^2, 1-m = (1-n)(s^2+4u^2)/q formed
    # exactly: quadrature nodes come within 1e-30 of r = l.
    cn = (g / s) ** 2
    cm = cn * (s * s + 4 * u * u) / q
    n = 1 - cn
    rf = mpmath.elliprf(0, cm, 1)
    pi_nm = rf + n / 3 * mpmath.elliprj(0, cm, 1, cn)
    return (g * g * pi_nm + 2 * u * u * rf) * 4 / (s * mpmath.sqrt(q)) / (2 * mpmath.pi)


def ring_mean_by_angle(l, r, u):
    l, r, u = mpf(l), mpf(r), mpf(u)
    def a(phi):
        x = mpmath.sqrt(l * l + r * r + 2 * l * r * mpmath.cos(phi)) / u
        return (x * x + 2) / (x * mpmath.sqrt(x * x + 4))
    return mpmath.quad(a, [0, mpmath.pi / 2, mpmath.pi]) / mpmath.pi


def builtin(r):
    return (1 - mpmath.sqrt(1 - r * r)) * mpf("-0.6") + 1


def table_profile(bl, bf):
    bl = [mpf(x) for x in bl]
    bf = [mpf(y) for y in bf]
    def p(r):
        if len(bl) == 1:
            return bf[0]
        if r < bl[0] or r > bl[-1]:
            return mpf(0)
        for k in range(len(bl) - 1):
            if r <= bl[k + 1]:
                return bf[k] + (bf[k + 1] - bf[k]) * (r - bl[k]) / (bl[k + 1] - bl[k])
        return bf[-1]
    return p


def breakpoints(l, knots):
    pts = {mpf(0), mpf(1)}
    if 0 < l < 1:
        pts.add(mpf(l))
    pts.update(mpf(k) for k in knots if 0 < k < 1)
    return sorted(pts)


def magnification(l, rho, profile, knots):
    u = 1 / mpf(rho)  # Einstein radius in stellar radii (re = 1, rstar = rho)
    flux = mpmath.quad(lambda r: profile(r) * 2 * mpmath.pi * r, breakpoints(-1, knots))
    # Tanh-sinh nodes crowd the ends of each interval closer than the working
    # precision resolves, so a node next to r = l would round onto the lens,
    # where the ring mean diverges (logarithmically: the integral is finite).
    # Intervals that end at r = l are therefore integrated over the distance
    # d = |l - r| from the lens, which the nodes resolve down to 1e-(10^k).
    l = mpf(l)

    def ring(r, g=None):
        return profile(r) * 2 * mpmath.pi * r * ring_mean(l, r, u, g)

    points = breakpoints(l, knots)
    total = mpf(0)
    for a, b in zip(points, points[1:]):
        if b == l:
            total += mpmath.quad(lambda d: ring(l - d, d), [0, b - a])
        elif a == l:
            total += mpmath.quad(lambda d: ring(l + d, -d), [0, b - a])
        else:
            total += mpmath.quad(ring, [a, b])
    return total / flux


def cases():
    for rho in (1e-3, 1e-2, 0.1, 1.0, 10.0):
        for l in (0.0, 0.3, 0.9, 0.999, 1.0, 1.001, 1.1, 2.0, 5.0, 30.0):
            yield "builtin", l, rho
    for name in PROFILES:
        for rho in (0.01, 0.5):
            for l in (0.0, 0.5, 0.95, 1.2, 3.0):
                yield name, l, rho


def value_lines(cases):
    """One reference line per case (profile name, l, rho), each also shown on
    standard error as it is done."""
    lines = []
    for name, l, rho in cases:
        if name == "builtin":
            value = magnification(l, rho, builtin, [])
        else:
            bl, bf = PROFILES[name]
            value = magnification(l, rho, table_profile(bl, bf), bl)
        lines.append(f"{name} {l!r} {rho!r} {mpmath.nstr(value, 20)}")
        print(lines[-1], file=sys.stderr)
    return lines


def main(argv):
    # Spot check of the inner mean against quadrature over the polar angle.
    # Rings inside and outside the lens, near it, small and large Einstein
    # radii, and the centre.
    for l, r, u in ((0.5, 0.3, 1.0), (2.0, 0.7, 2.0), (0.9, 0.95, 100.0), (0.5, 0.4999, 1.0),
                    (0.3, 0.9, 0.01), (5.0, 0.2, 1000.0), (0.95, 0.0, 0.1)):
        a, b = ring_mean(l, r, u), ring_mean_by_angle(l, r, u)
        assert abs(a - b) < mpf(10) ** -25 * abs(a), (l, r, u, a, b)
    lines = ["# Limb-darkened and flux-map magnifications (mpmath, 30 digits;",
             "# scripts/gen_limb_darkened_reference.py).  re = 1, rstar = rho.",
             "# Tables: " + "; ".join(f"{k}: bl={v[0]!r} bf={v[1]!r}" for k, v in PROFILES.items()),
             "# columns: profile l rho magnification"]
    lines += value_lines(cases())
    emit(lines, argv)


if __name__ == "__main__":
    main(sys.argv)
