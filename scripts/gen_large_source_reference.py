#!/usr/bin/env python3
"""Reference magnifications of large sources with mpmath (30 digits): the
lens inside or near a star that is comparable to or larger than its Einstein
radius, u = re/rstar from 0.1 to 2 (rho = rstar/re from 0.5 to 10), over the
separations l in [0, 3] below the far-field series.

Free-floating planets, brown-dwarf lenses and giant sources put the lens
there.  The ring mean's complex singularities r = l +- 2iu lie far from the
real axis, so what the rules must resolve is the logarithm at the ring
through the lens r = l, the limb (and, for the built-in law, its square root
sqrt(1 - r^2)), and the kinks of a table.  Two sets:

* "builtin": the linear law 1 - 0.6 (1 - sqrt(1 - r^2)) at six Einstein
  radii, from the centre to l = 3, within 1e-10 of the limb on both sides;
* tables of 5, 11 and 51 knots at rho = 1 and 3 (u = 1 and 1/3): five knots
  evenly spaced (the linear law), eleven and fifty-one at r = sin(pi k/2n)
  crowding the limb (a quadratic and a square-root law in mu = sqrt(1 - r^2)),
  with separations on knots and between them.

The magnification is the brightness-weighted mean of the ring mean over the
disk, integrated as in gen_profile_reference.py (graded pieces, the gap to the
lens passed exactly, each piece's error estimate checked against 1e-24).

Usage:  python scripts/gen_large_source_reference.py [tests/data/large_source_reference.txt [old]]
(rows of an earlier output `old`, or of its progress log on standard error,
are reused; two processes, about 25 minutes of processor time each)
"""

import math
import pathlib
import sys


sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from gen_profile_reference import row as profile_row  # noqa: E402
from reference_io import emit, reused_or_computed  # noqa: E402


def sine_table(n, law):
    """n + 1 knots r_k = sin(pi k / 2n) (r_n = 1 exactly), brightness law(mu)."""
    bl = [math.sin(math.pi * k / (2 * n)) for k in range(n + 1)]
    bl[-1] = 1.0
    return bl, [law(math.sqrt(max(0.0, 1.0 - r * r))) for r in bl]


TABLES = {
    "five": ([0.0, 0.25, 0.5, 0.75, 1.0],
             [1.0 - 0.6 * (1 - math.sqrt(1 - r * r)) for r in (0.0, 0.25, 0.5, 0.75, 1.0)]),
    "eleven": sine_table(10, lambda mu: 1.0 - 0.5 * (1.0 - mu) - 0.2 * (1.0 - mu) ** 2),
    "fiftyone": sine_table(50, lambda mu: 1.0 - 0.3 * (1.0 - mu) - 0.5 * (1.0 - math.sqrt(mu))),
}

BUILTIN_U = [2.0, 1.0, 0.5, 0.2, 0.1]
BUILTIN_L = [0.0, 1e-4, 0.1, 0.3, 0.5, 0.7, 0.9, 0.999, 1 - 1e-6, 1 - 1e-10, 1.0, 1 + 1e-10,
             1 + 1e-6, 1.001, 1.05, 1.3, 2.0, 2.999]
TABLE_U = [1.0, 1 / 3]
TABLE_L = [0.0, 0.25, 0.5, 0.8, 0.999, 1 - 1e-6, 1.0, 1 + 1e-6, 1.05, 2.2]


def cases():
    for u in BUILTIN_U:
        for l in BUILTIN_L:
            yield "builtin", l, u
    for name in TABLES:
        for u in TABLE_U:
            for l in TABLE_L:
                yield name, l, u


def row(case):
    return profile_row(case, TABLES)


def main(argv):
    """argv: [output file [previous output whose rows are reused]]"""
    rows = reused_or_computed(cases(), row, argv[2] if len(argv) > 2 else None)
    lines = ["# Magnifications of large sources, u = re/rstar from 0.1 to 2 (mpmath, 30 digits;",
             "# scripts/gen_large_source_reference.py).  halomag arguments: l, re = u, rstar = 1.",
             "# builtin: 1 - 0.6 (1 - sqrt(1 - r^2)).  Tables (bl, then bf, as doubles):"]
    for name, (bl, bf) in TABLES.items():
        lines.append(f"knots {name} " + " ".join(repr(x) for x in bl))
        lines.append(f"fluxes {name} " + " ".join(repr(x) for x in bf))
    lines += ["# columns: profile l u magnification"] + rows
    emit(lines, argv)


if __name__ == "__main__":
    main(sys.argv)
