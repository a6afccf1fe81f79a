#!/usr/bin/env python3
"""Reference magnifications of the built-in linear limb darkening where the
small-source series serves it, and across its switches, with mpmath.

Each value is the brightness-weighted mean of the ring means over the disk,
by the graded tanh-sinh quadrature of gen_profile_reference.py (30 digits):
independent of the series, which it is meant to check.  The rows:

* Einstein radii u = re/rstar from 1.5 to 1e4 (stellar radii) at the
  separations l = 0, 1e-9, 0.5, 1 - 1e-12, 1, 1 + 1e-12, 1.5, 2.9 and
  3 - 1e-9 (the last below the far-field series' threshold 3);
* both sides of the switch in u between the ring rules and the series,
  ((1 + l)/(2u))^2 = 1.25, at a relative distance 1e-9, for l = 0, 0.5, 1,
  1.5 and 2.9;
* a ladder u = 2^(j/2), j = 2..26, at l = 0.5 and 2.9, which crosses the
  points where the series' number of terms changes.

Usage:  nice python scripts/gen_small_source_reference.py [tests/data/small_source_reference.txt [old]]
(rows of an earlier output `old` are reused; two processes, about twenty
minutes on a shared dual-core machine)
"""

import math
import pathlib
import sys

import mpmath

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import gen_limb_darkened_reference as limb  # noqa: E402
from gen_profile_reference import magnification  # noqa: E402
from reference_io import emit, reused_or_computed  # noqa: E402

GRID_U = [1.5, 2.0, 3.0, 5.0, 10.0, 100.0, 1e3, 1e4]
GRID_L = [0.0, 1e-9, 0.5, 1 - 1e-12, 1.0, 1 + 1e-12, 1.5, 2.9, 3 - 1e-9]


def switch_ratio(l):
    """lib/small_source.hpp, SMALL_SOURCE_RATIO."""
    return 1.25


SWITCH_L = [0.0, 0.5, 1.0, 1.5, 2.9]
LADDER_L = [0.5, 2.9]


def cases():
    for u in GRID_U:
        for l in GRID_L:
            yield "grid", l, u
    for l in SWITCH_L:
        at = (1 + l) / (2 * math.sqrt(switch_ratio(l)))
        for side in (-1e-9, 1e-9):
            yield "switch", l, at * (1 + side)
    for l in LADDER_L:
        for j in range(2, 27):
            yield "ladder", l, 2 ** (j / 2)


def row(case):
    kind, l, u = case
    value = magnification(l, u, limb.builtin, [], True)
    return f"{kind} {l!r} {u!r} {mpmath.nstr(value, 22)}"


def main(argv):
    """argv: [output file [previous output whose rows are reused]]"""
    rows = reused_or_computed(cases(), row, argv[2] if len(argv) > 2 else None)
    lines = ["# The built-in linear limb darkening 1 - 0.6 (1 - sqrt(1 - r^2)) where the",
             "# small-source series serves it and across its switches (mpmath, 30 digits;",
             "# scripts/gen_small_source_reference.py).  halomag arguments: l, re = u, rstar = 1.",
             "# columns: kind l u magnification"] + rows
    emit(lines, argv)


if __name__ == "__main__":
    main(sys.argv)
