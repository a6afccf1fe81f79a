#!/usr/bin/env python3
"""More reference magnifications of limb-darkened and flux-map stars, for the
places where the uniform-disk route is hardest: the lens on the centre and
just off it, within 1e-6 of the limb on both sides, on a knot of a table,
and far out (l up to 1e4, where the magnification is 1 + a few 1e-17).

The computation is that of scripts/gen_limb_darkened_reference.py (mpmath,
30 digits: the brightness-weighted integral of the ring mean over the disk,
split at r = l and at the knots), whose functions are reused; only the cases
differ.

Usage:  python scripts/gen_disk_route_reference.py [tests/data/disk_route_reference.txt]
"""

import sys

from gen_limb_darkened_reference import value_lines
from reference_io import emit

SEPARATIONS = (0.0, 1e-3, 0.5, 0.999999, 1.000001, 1.3, 100.0, 1e4)


def cases():
    for rho in (0.01, 0.5, 5.0):
        for l in SEPARATIONS:
            yield "builtin", l, rho
    for name in ("sampled", "short", "uneven"):
        for rho in (0.01, 0.5):
            for l in SEPARATIONS + (0.25, 0.7):  # 0.25 and 0.7 are knots
                yield name, l, rho


def main(argv):
    lines = ["# Limb-darkened and flux-map magnifications at the uniform-disk route's",
             "# hard places (mpmath, 30 digits; scripts/gen_disk_route_reference.py).",
             "# re = 1, rstar = rho; the tables are those of limb_darkened_reference.txt.",
             "# columns: profile l rho magnification"]
    lines += value_lines(cases())
    emit(lines, argv)


if __name__ == "__main__":
    main(sys.argv)
