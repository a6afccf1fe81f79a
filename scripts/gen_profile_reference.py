#!/usr/bin/env python3
"""Reference magnifications of limb-darkened and flux-map stars over the
whole range the ring route must cover, with mpmath (30 digits).

The magnification is the brightness-weighted mean of the point-lens
magnification over the disk (gen_limb_darkened_reference.py, whose ring mean
and profiles this script uses):

    A(l) = int_0^1 p(r) 2 pi r <A>_ring(l, r) dr / int_0^1 p(r) 2 pi r dr.

The cases close in on what makes the outer integral hard:

* the lens on the centre (l = 0), on the limb (l = 1) and within 1e-12 to
  1e-2 of it on both sides, where the logarithmic singularity of the ring
  mean at r = l meets the limb (and, for the built-in law, the square root
  sqrt(1 - r^2) there);
* Einstein radii u = re/rstar from 0.01 to 1e4: the ring mean has complex
  singularities at r = l +- 2iu, which for small u crowd the real one;
* the far field, out to l = 1e20;
* tabulated profiles of 2, 11 and 101 knots, one that stops short of the
  limb, one with knots outside [0, 1] and a repeated knot (a step), and
  one whose last piece falls fifty-fold to the limb (steep lines).

The outer integral is split at every knot and at r = l, and graded
geometrically (ratio 4) towards r = l and r = 1 down to the distance of the
nearest other singularity (|1 - l|, 2u), so that mpmath's tanh-sinh rule
sees one singular end at most per piece; pieces that end at r = l are
integrated in the distance from the lens, passed to the ring mean exactly.
Each integral's error estimate is checked against 1e-24 relative.

Usage:  nice python scripts/gen_profile_reference.py [tests/data/profile_reference.txt [old]]
(rows of an earlier output `old` are reused)
(two processes; about half an hour on a shared dual-core machine)
"""

import math
import pathlib
import sys

import mpmath
from mpmath import mp, mpf

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import gen_limb_darkened_reference as limb  # noqa: E402
from reference_io import emit, reused_or_computed  # noqa: E402

mp.dps = 30


def hundred_table():
    """101 knots crowding the limb (r_k = sin(pi k / 200)), a quadratic law in
    mu = sqrt(1 - r^2) with coefficients 0.5 and 0.2, rounded to doubles."""
    bl = [math.sin(math.pi * k / 200) for k in range(101)]
    bl[-1] = 1.0
    bf = []
    for r in bl:
        mu = math.sqrt(max(0.0, 1.0 - r * r))
        bf.append(1.0 - 0.5 * (1.0 - mu) - 0.2 * (1.0 - mu) ** 2)
    return bl, bf


TABLES = {
    "two": ([0.0, 1.0], [1.0, 0.3]),
    "eleven": ([k / 10 for k in range(11)],
               [1.0 - 0.6 * (1 - (1 - (k / 10) ** 2) ** 0.5) for k in range(11)]),
    "short": ([0.0, 0.4, 0.7], [1.0, 0.9, 0.5]),
    "odd": ([-0.5, 0.0, 0.3, 0.3, 0.6, 1.0, 1.5], [2.0, 1.0, 0.9, 0.6, 0.5, 0.2, 0.0]),
    "hundred": hundred_table(),
    # Steep lines: the last piece falls fifty-fold over 0.01 to the limb.
    "steep": ([0.0, 0.25, 0.65, 0.76, 0.81, 0.82, 0.99, 1.0], [0.33, 0.61, 0.36, 2.63, 1.57, 1.48, 2.2, 0.044]),
}


# The flux-map profile (linear between knots, 0 outside [bl_0, bl_-1]; a
# point on a knot belongs to the segment that ends there, so a repeated knot
# is a step), as in the library's interpolation.
table_profile = limb.table_profile


def graded(centre, scale, lo, hi):
    """Points centre +- scale 4^k inside (lo, hi)."""
    pts = set()
    d = scale
    while d < hi - lo:
        for x in (centre - d, centre + d):
            if lo < x < hi:
                pts.add(x)
        d *= 4
    return pts


def magnification(l, u, profile, knots, sqrt_at_limb):
    l, u = mpf(l), mpf(u)
    one = mpf(1)
    inner = {mpf(k) for k in knots if 0 < k < 1}
    flux_pts = sorted({mpf(0), one} | inner)
    flux = mpmath.quad(lambda r: profile(r) * 2 * mpmath.pi * r, flux_pts)

    def ring(r, g=None):
        return profile(r) * 2 * mpmath.pi * r * limb.ring_mean(l, r, u, g)

    pts = {mpf(0), one} | inner
    scales = [2 * u] + ([abs(one - l)] if l != 1 else [])
    smallest = max(min(scales), mpf(10) ** -14)
    if 0 <= l < 1:
        pts.add(l)
        pts |= graded(l, smallest, 0, 1)
    if sqrt_at_limb or l >= 1:
        near = max(min([abs(one - l)] + ([2 * u] if l >= 1 else [])), mpf(10) ** -14)
        pts |= {x for x in graded(one, near, 0, 1) if x < 1}
    pts = sorted(pts)
    total = mpf(0)
    for a, b in zip(pts, pts[1:]):
        if b == l:
            v, e = mpmath.quad(lambda d: ring(l - d, d), [0, b - a], error=True)
        elif a == l:
            v, e = mpmath.quad(lambda d: ring(l + d, -d), [0, b - a], error=True)
        else:
            v, e = mpmath.quad(ring, [a, b], error=True)
        total += v
        assert e < mpf(10) ** -24 * (abs(total) + 1), (l, u, a, b, v, e)
    return total / flux


BUILTIN_L = [0.0, 1e-7, 1e-5, 1e-3, 0.2, 0.5, 0.9, 0.99, 1 - 1e-4, 1 - 1e-6, 1 - 1e-8, 1 - 1e-10, 1 - 1e-12, 1.0,
             1 + 1e-12, 1 + 1e-8, 1 + 1e-4, 1.01, 1.1, 1.5, 2.0, 5.0, 20.0, 59.0, 61.0, 100.0,
             299.0, 301.0, 1e4, 1e9, 1e-9, 2e-9]
US = [1.0, 100.0, 1e4, 0.01, 0.1, 10.0]
TABLE_L = [0.0, 0.2, 0.5, 0.95, 1 - 1e-6, 1 - 1e-10, 1.0, 1 + 1e-10, 1 + 1e-6, 1.05, 1.5, 3.0,
           10.0, 100.0, 1e4]
HUNDRED_L = [0.0, 0.5, 0.999, 1.001, 1.5]
STEEP_L = [0.985, 0.99, 0.995, 1 - 1e-9, 1.0, 1 + 1e-12, 1.0000000000012088, 1 + 3.5e-10, 1.000000000352874, 1 + 1e-9,
           1 + 1e-6, 1.001]


def cases():
    for u in US:
        for l in BUILTIN_L:
            yield "builtin", l, u
    for name in ("two", "eleven", "short", "odd"):
        for u in (100.0, 1.0, 0.01):
            for l in TABLE_L:
                yield name, l, u
    for l in HUNDRED_L:
        yield "hundred", l, 0.1
    for l in (0.5, 1.001, 3.0, 59.0, 61.0):
        yield "hundred", l, 10.0
    for u in (100.0, 1.0, 0.5):
        for l in STEEP_L:
            yield "steep", l, u


def row(case, tables=TABLES):
    """The reference line of one case (profile name, l, u): "builtin" or a
    name in `tables`."""
    name, l, u = case
    if name == "builtin":
        value = magnification(l, u, limb.builtin, [], True)
    else:
        bl, bf = tables[name]
        value = magnification(l, u, table_profile(bl, bf), bl, False)
    return f"{name} {l!r} {u!r} {mpmath.nstr(value, 22)}"


def main(argv):
    """argv: [output file [previous output whose rows are reused]]"""
    # The small Einstein radii (many pieces) last.
    rows = reused_or_computed(cases(), row, argv[2] if len(argv) > 2 else None,
                              order=lambda c: c[2] < 0.1)
    lines = ["# Limb-darkened and flux-map magnifications through the ring route's",
             "# hard cases (mpmath, 30 digits; scripts/gen_profile_reference.py).",
             "# halomag arguments: l, re = u, rstar = 1.  builtin: 1 - 0.6 (1 - sqrt(1 - r^2)).",
             "# Tables: " + "; ".join(f"{k}: bl={v[0]!r} bf={v[1]!r}" for k, v in TABLES.items()),
             "# columns: profile l u magnification"] + rows
    emit(lines, argv)


if __name__ == "__main__":
    main(sys.argv)
