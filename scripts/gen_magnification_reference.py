#!/usr/bin/env python3
"""High-precision reference magnifications for the finite-source models.

The values come from direct numerical integration with mpmath, never from the
closed forms in elliptic integrals that the library evaluates, so that a fault
in those formulas (or in the elliptic integrals under them) cannot hide in the
reference:

* ring mean: the point-lens magnification A(x) = (x^2 + 2) / (x sqrt(x^2 + 4))
  averaged over the polar angle of a circle of radius r about the stellar
  centre, at separation l from the lens (Heyrovsky 2003, ApJ 594, 464, eq. 4);
* uniform disk: the area average of A(x) over a disk of radius rho (Einstein
  radii) whose centre lies at u from the lens, written in polar coordinates
  about the lens: for each distance x, the disk covers an arc of angle
  theta(x) of the circle of radius x, so

      A_disk = 1 / (pi rho^2) * integral_0^(u + rho) A(x) x theta(x) dx

  (the area form of Witt & Mao 1994, ApJ 430, 505, eq. 9, before the angular
  integral is done in closed form).

Both integrands are written without cancellation: the squared distance from
the lens to a ring point is g^2 + 4 l r sin^2(psi/2) (g = l - r, psi the angle
from the point nearest the lens), and the half-angle of the arc uses
tan(theta/4)^2 = (rho - x + u)(rho + x - u) / ((x + u - rho)(x + u + rho)).
Where the integrand has a peak or a kink (the ring point nearest the lens,
the limb distance |u - rho|) the interval is split at geometric breakpoints
so that tanh-sinh quadrature resolves every scale.

The module is importable: ring_mean(), uniform_disk_einstein() and
uniform_disk() are meant to be reused for other reference sets.  Run as a
script it writes tests/data/ring_reference.txt,
tests/data/uniform_disk_reference.txt and uniform_disk_far_reference.txt
(columns documented in their headers).
"""

from __future__ import annotations

import argparse
import math
import pathlib
import sys
import time

import mpmath
from mpmath import mp, mpf

DEFAULT_DPS = 40
# Working precision above the requested digits: guard digits for the node
# positions near the ends of short intervals and for the summation.
_GUARD_DIGITS = 20


def _geometric_points(lo, hi, start):
    """Breakpoints start, 10 start, 100 start, ... strictly inside (lo, hi)."""
    points = []
    p = start
    while p < hi:
        if p > lo:
            points.append(p)
        p *= 10
    return points


def point_lens(x):
    """Point-lens magnification at separation x (Einstein radii)."""
    x2 = x * x
    return (x2 + 2) / (x * mpmath.sqrt(x2 + 4))


def _quad(f, points, dps):
    value, err = mpmath.quad(f, points, error=True, maxdegree=12)
    if not abs(err) <= abs(value) * mpf(10) ** (-dps):
        raise ArithmeticError(f"quadrature error estimate {err} too large for {value}")
    return value


def ring_mean(l, r, u, dps=DEFAULT_DPS):
    """Mean point-lens magnification over the ring of radius r (stellar radii)
    centred at separation l from the lens; u is the Einstein radius in stellar
    radii.  Returns an mpf with at least `dps` correct digits."""
    with mp.workdps(dps + _GUARD_DIGITS):
        l, r, u = mpf(l), mpf(r), mpf(u)
        g = l - r  # exact: l and r are doubles and the precision is ample
        lr4 = 4 * l * r
        if lr4 == 0:
            # A ring of radius zero, or a ring centred on the lens: every
            # point lies at the same distance.
            return +point_lens(abs(g) / u)
        if g == 0:
            raise ValueError("the ring passes through the lens: the mean diverges")

        def integrand(psi):
            sin_half = mpmath.sin(psi / 2)
            return point_lens(mpmath.sqrt(g * g + lr4 * sin_half * sin_half) / u)

        pi = mp.pi
        # The integrand is peaked at psi = 0 with width |g| / sqrt(l r); the
        # Einstein-ring crossing sits near psi ~ u / sqrt(l r).
        width = abs(g) / mpmath.sqrt(l * r)
        points = [mpf(0)] + _geometric_points(0, pi, width)
        einstein = u / mpmath.sqrt(l * r)
        if einstein < pi and all(abs(einstein - p) > einstein / 4 for p in points):
            points.append(einstein)
        points = sorted(points) + [pi]
        return _quad(integrand, points, dps) / pi


def uniform_disk_einstein(u, rho, dps=DEFAULT_DPS):
    """Magnification of a uniform disk of radius rho whose centre lies at u
    from the lens, both in Einstein radii (u >= 0, rho > 0)."""
    with mp.workdps(dps + _GUARD_DIGITS):
        u, rho = mpf(u), mpf(rho)
        pi = mp.pi
        d = u - rho
        far = u + rho

        def weight(x):  # A(x) x, smooth on [0, inf)
            return (x * x + 2) / mpmath.sqrt(x * x + 4)

        total = mpf(0)
        inner = -d if d < 0 else mpf(0)  # circles of radius < inner lie inside
        if inner > 0:
            total += 2 * pi * _quad(weight, [mpf(0), inner], dps)
        if u > 0:
            def arc(x):
                num = (rho - x + u) * (rho + x - u)
                den = (x + u - rho) * (x + u + rho)
                if num <= 0:
                    return mpf(0)  # beyond the far side of the disk
                if den <= 0:
                    return 2 * pi  # at the near limit of a lens inside the disk
                return 4 * mpmath.atan(mpmath.sqrt(num / den))

            lo = abs(d)
            # theta(x) changes on the scale |d| just beyond the limb distance.
            start = lo if lo > 0 else mpf(10) ** (-(dps + 5))
            points = [lo] + [lo + p for p in _geometric_points(0, far - lo, start)] + [far]
            points = sorted(set(points))
            total += _quad(lambda x: weight(x) * arc(x), points, dps)
        return total / (pi * rho * rho)


def uniform_disk(l, rho, dps=DEFAULT_DPS):
    """Uniform-disk magnification at separation l in stellar radii, for a star
    of radius rho = rstar / re Einstein radii (u = l rho, exactly)."""
    with mp.workdps(dps + _GUARD_DIGITS):
        return uniform_disk_einstein(mpf(l) * mpf(rho), mpf(rho), dps)


def uniform_disk_excess(l, rho, dps=DEFAULT_DPS):
    """A - 1 for the uniform disk at separation l (stellar radii), radius rho
    (Einstein radii), as the area integral of the excess A(x) - 1 =
    4 / (P (x^2 + 2 + P)), P = x sqrt(x^2 + 4), which has no cancellation:
    far from the star A is 1 + tiny and the tiny part is what is integrated.
    The working precision grows with l (the limb distances u -/+ rho agree to
    log10(l) digits), as 60 + 2 log10(l) digits by default."""
    digits = max(dps, 60 + 2 * int(mpmath.ceil(mpmath.log10(max(l, 1)))))
    with mp.workdps(digits + _GUARD_DIGITS):
        u, rho = mpf(l) * mpf(rho), mpf(rho)
        pi = mp.pi
        d = u - rho
        if d <= 0:
            raise ValueError("the excess form is for lenses outside the disk")

        def excess(x):  # (A(x) - 1) x
            P = x * mpmath.sqrt(x * x + 4)
            return 4 * x / (P * (x * x + 2 + P))

        def arc(x):
            num = (rho - x + u) * (rho + x - u)
            den = (x + u - rho) * (x + u + rho)
            if num <= 0:
                return mpf(0)
            return 4 * mpmath.atan(mpmath.sqrt(num / den))

        # theta(x) has square-root ends at u - rho and u + rho; split at u
        # as well so that each end is resolved on its own scale.
        total = _quad(lambda x: excess(x) * arc(x), [d, u, u + rho], digits - 10)
        return total / (pi * rho * rho)


def uniform_disk_by_rings(l, rho, dps=DEFAULT_DPS):
    """The same disk as the area integral over rings about the stellar centre,
    2 * integral_0^1 r ring_mean(l, r, 1/rho) dr, with a breakpoint at r = l.
    Slow (nested quadrature); used only to cross-check uniform_disk()."""
    with mp.workdps(dps + _GUARD_DIGITS):
        l, u = mpf(l), 1 / mpf(rho)

        def f(r):
            try:
                return 2 * r * ring_mean(l, r, u, dps)
            except ValueError:  # a node on r = l: integrable logarithmic singularity
                return mpf(0)

        points = [mpf(0), mpf(1)]
        if 0 < l < 1:
            points = [mpf(0), l, mpf(1)]
        return mpmath.quad(f, points)


# --------------------------------------------------------------------------
# Case lists.  Every input is a double, printed with 17 significant digits so
# that the C++ side reads back exactly the double the reference was computed
# for.

GAPS = [10.0 ** -k for k in range(2, 16)]  # relative gaps 1e-2 ... 1e-15


def ring_cases():
    cases = []  # (l, r, re, rstar)
    # Point source (r = 0) and a ring centred on the lens (l = 0).
    for u in (0.01, 0.5, 1.0, 10.0, 1e4):
        for x in (0.5, 2.0, 30.0):
            cases.append((x, 0.0, u, 1.0))
        cases.append((0.0, 0.7, u, 1.0))
    # Generic rings for Einstein radii 1e-2 .. 1e4 stellar radii.
    for u in (0.01, 0.1, 0.5, 1.0, 10.0, 1e3, 1e4):
        for l, r in ((0.5, 0.3), (0.3, 0.5), (2.0, 0.7), (1.0, 0.9), (10.0, 1.0)):
            cases.append((l, r, u, 1.0))
    # Far rings, up to 1e6 stellar radii.
    for u in (1.0, 1e2, 1e4):
        for l in (1e2, 1e4, 1e6):
            cases.append((l, 0.6, u, 1.0))
    # Only re / rstar enters: the same ring with (re, rstar) = (3, 1.5).
    cases.append((2.0, 0.7, 3.0, 1.5))
    cases.append((0.5, 0.3, 3.0, 1.5))
    # The ring approaching the lens from both sides.
    for l, u in ((0.5, 1.0), (1.0, 0.01), (1.0, 100.0)):
        for gap in GAPS:
            cases.append((l, l * (1.0 - gap), u, 1.0))
            cases.append((l, l * (1.0 + gap), u, 1.0))
    # The smallest gap the arithmetic resolves: |g| = eps * s for l = 1.
    cases.append((1.0, 1.0 - 2.0**-51, 1.0, 1.0))
    cases.append((1.0, 1.0 - 2.0**-51, 0.01, 1.0))
    return cases


def disk_cases():
    cases = []  # (l, re, rstar)
    rhos = (1e-4, 1e-3, 1e-2, 0.1, 0.5, 1.0, 10.0, 100.0)
    for rho in rhos:
        for l in (0.0, 0.3, 0.9, 1.1, 2.0, 10.0, 30.0):
            cases.append((l, 1.0, rho))
        cases.append((1.0, 1.0, rho))  # on the limb
    # Far from the disk, up to 1e6 stellar radii for small stars.
    for rho in (1e-4, 1e-3, 1e-2, 0.5):
        for l in (1e2, 1e3, 1e4):
            cases.append((l, 1.0, rho))
    for rho in (1e-4, 1e-3):
        for l in (1e5, 1e6):
            cases.append((l, 1.0, rho))
    # The limb approached from both sides.
    for rho in (1e-3, 0.5, 10.0):
        for gap in GAPS:
            cases.append((1.0 - gap, 1.0, rho))
            cases.append((1.0 + gap, 1.0, rho))
    # One unit in the last place on either side of the limb.
    for rho in (1e-3, 1e-2, 0.5):
        cases.append((1.0 - 2.0**-53, 1.0, rho))
        cases.append((1.0 + 2.0**-52, 1.0, rho))
    return cases


def far_disk_cases():
    cases = []  # (l, rho): the series side of the switch and far beyond
    for rho in (1e-4, 1e-2, 0.5, 1.0, 100.0, 1e4):
        for l in (2.9, 3.0, 3.1, 5.0, 10.0, 30.0, 100.0, 1e3, 1e4, 1e6, 1e8, 1e10, 1e12):
            cases.append((l, rho))
    return cases


def _g17(x):
    return "%.17g" % x


def write_ring(path, dps):
    lines = [
        "# Mean point-lens magnification over a ring (mpmath quadrature over the",
        f"# polar angle, {dps} digits; scripts/gen_magnification_reference.py).",
        "# columns: l r re rstar magnification",
    ]
    for l, r, re, rstar in ring_cases():
        value = ring_mean(l, r, mpf(re) / mpf(rstar), dps)
        lines.append(" ".join(_g17(v) for v in (l, r, re, rstar, float(value))))
    path.write_text("\n".join(lines) + "\n")
    return len(lines) - 3


def write_disk(path, dps):
    lines = [
        "# Uniform-disk magnification (mpmath area integral in polar coordinates",
        f"# about the lens, {dps} digits; scripts/gen_magnification_reference.py).",
        "# columns: l re rstar magnification   (l in stellar radii)",
    ]
    for l, re, rstar in disk_cases():
        rho = mpf(rstar) / mpf(re)
        value = uniform_disk(l, rho, dps)
        lines.append(" ".join(_g17(v) for v in (l, re, rstar, float(value))))
    path.write_text("\n".join(lines) + "\n")
    return len(lines) - 3


def write_far_disk(path, dps):
    lines = [
        "# Uniform-disk magnification far from the star: 1 + the area integral of",
        "# the point lens's excess A(x) - 1 (mpmath, at least 60 + 2 log10(l) working",
        f"# digits, {dps} correct; scripts/gen_magnification_reference.py).  re = 1.",
        "# columns: l rstar magnification magnification-1   (l in stellar radii)",
    ]
    for l, rho in far_disk_cases():
        with mp.workdps(dps + _GUARD_DIGITS):
            excess = uniform_disk_excess(l, rho, dps)
            lines.append(" ".join([_g17(l), _g17(rho), mpmath.nstr(1 + excess, 25),
                                   mpmath.nstr(excess, 25)]))
    path.write_text("\n".join(lines) + "\n")
    return len(lines) - 4


def self_check(dps):
    """Cross-checks of the two integrals against each other and against
    limits known in closed form; raises on disagreement."""
    with mp.workdps(dps + _GUARD_DIGITS):
        tol = mpf(10) ** (-dps + 5)
        # Point source: the ring of radius zero.
        assert abs(ring_mean(0.5, 0.0, 1.0, dps) - point_lens(mpf(0.5))) < tol
        # Centre of a disk: sqrt(1 + 4 / rho^2).
        for rho in (mpf("1e-3"), mpf("0.5"), mpf(10)):
            assert abs(uniform_disk_einstein(0, rho, dps) / mpmath.sqrt(1 + 4 / rho**2) - 1) < tol
        # On the limb: (2 atan(rho) (1 + rho^2) / rho^2 + 2 / rho) / pi.
        for rho in (mpf("1e-3"), mpf("0.5"), mpf(10)):
            limb = (2 * mpmath.atan(rho) * (1 + rho**2) / rho**2 + 2 / rho) / mp.pi
            assert abs(uniform_disk_einstein(rho, rho, dps) / limb - 1) < tol
    # The excess form against the plain area integral near the star.
    for l, rho in ((3.0, 0.5), (10.0, 0.01)):
        a = uniform_disk(l, rho, dps)
        b = 1 + uniform_disk_excess(l, rho, dps)
        assert abs(a / b - 1) < mpf(10) ** (-dps + 5), (l, rho, a, b)
    # Rings about the stellar centre against the area integral about the lens.
    for l, rho in ((0.5, 0.5), (2.0, 0.5), (1.25, 1.0)):
        a = uniform_disk(l, rho, 20)
        b = uniform_disk_by_rings(l, rho, 20)
        assert abs(a / b - 1) < mpf(10) ** -15, (l, rho, a, b)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dps", type=int, default=DEFAULT_DPS)
    parser.add_argument("--out", type=pathlib.Path,
                        default=pathlib.Path(__file__).resolve().parent.parent / "tests" / "data")
    parser.add_argument("--skip-check", action="store_true")
    parser.add_argument("--far-only", action="store_true",
                        help="write only uniform_disk_far_reference.txt")
    args = parser.parse_args(argv)
    t0 = time.time()
    if not args.skip_check:
        self_check(args.dps)
        print(f"self-check passed ({time.time() - t0:.1f} s)", file=sys.stderr)
    if args.far_only:
        n = write_far_disk(args.out / "uniform_disk_far_reference.txt", args.dps)
        print(f"far uniform disk: {n} cases ({time.time() - t0:.1f} s)", file=sys.stderr)
        return
    n = write_ring(args.out / "ring_reference.txt", args.dps)
    print(f"ring: {n} cases ({time.time() - t0:.1f} s)", file=sys.stderr)
    n = write_disk(args.out / "uniform_disk_reference.txt", args.dps)
    print(f"uniform disk: {n} cases ({time.time() - t0:.1f} s)", file=sys.stderr)
    n = write_far_disk(args.out / "uniform_disk_far_reference.txt", args.dps)
    print(f"far uniform disk: {n} cases ({time.time() - t0:.1f} s)", file=sys.stderr)


if __name__ == "__main__":
    main()
