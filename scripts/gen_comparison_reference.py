#!/usr/bin/env python3
"""Reference magnifications on the grid that light-curve fits visit, with mpmath.

Microlensing codes are usually parametrised by the lens-source separation u
and the source radius rho, both in Einstein radii; halomag takes the
separation in stellar radii, l = u / rho, with re = 1 and rstar = rho.  The
grid spans rho = 1e-3 to 1 and u / rho = 0 to 30, dense near the limb
u / rho = 1 where finite-source effects change fastest and where table-based
codes lose most digits.  Two sets:

* "grid": every rho against a u / rho list that closes in on the limb
  geometrically (1 +- 1e-1 ... 1 +- 1e-6) and covers the centre and the far
  field;
* "limb": rho = 0.01 and 0.1 at 81 evenly spaced u / rho in [0.9, 1.1], for a
  plot of the error across the limb.

Each row is computed for two brightness profiles:

* uniform: the area integral of the point-lens magnification in polar
  coordinates about the lens (uniform_disk in gen_magnification_reference.py,
  25 digits);
* linear: the linear limb-darkening law 1 - 0.6 (1 - sqrt(1 - r^2)), the
  brightness-weighted mean over rings (magnification in
  gen_limb_darkened_reference.py, 30 digits).

Usage:  python scripts/gen_comparison_reference.py [tests/data/comparison_reference.txt]
The two processes of a dual-core machine take about two minutes.
"""

import multiprocessing
import pathlib
import sys

import mpmath

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import gen_limb_darkened_reference as limb  # noqa: E402
import gen_magnification_reference as disk  # noqa: E402
from reference_io import emit  # noqa: E402

RHOS = (1e-3, 3e-3, 1e-2, 3e-2, 0.1, 0.3, 1.0)
LIMB_OFFSETS = (1e-1, 3e-2, 1e-2, 3e-3, 1e-3, 1e-4, 1e-5, 1e-6)
GRID_U_OVER_RHO = sorted(
    {0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.85, 1.0, 1.2, 1.5, 2.0, 3.0, 5.0, 10.0,
     20.0, 30.0}
    | {1.0 - d for d in LIMB_OFFSETS}
    | {1.0 + d for d in LIMB_OFFSETS})
LIMB_RHOS = (0.01, 0.1)
LIMB_U_OVER_RHO = [0.9 + 0.0025 * k for k in range(81)]


def cases():
    for rho in RHOS:
        for x in GRID_U_OVER_RHO:
            yield "grid", x, rho
    for rho in LIMB_RHOS:
        for x in LIMB_U_OVER_RHO:
            yield "limb", x, rho


def row(case):
    kind, x, rho = case
    uniform = disk.uniform_disk(x, rho, 25)
    linear = limb.magnification(x, rho, limb.builtin, [])
    return f"{kind} {x!r} {rho!r} {mpmath.nstr(uniform, 20)} {mpmath.nstr(linear, 20)}"


def main(argv):
    todo = list(cases())
    with multiprocessing.Pool() as pool:
        rows = pool.map(row, todo, chunksize=4)
    lines = ["# Uniform and linearly limb-darkened (a1 = 0.6) magnifications on the",
             "# comparison grid (mpmath; scripts/gen_comparison_reference.py).",
             "# halomag arguments: l = u_over_rho, re = 1, rstar = rho.",
             "# columns: set u_over_rho rho uniform linear"] + rows
    emit(lines, argv)


if __name__ == "__main__":
    main(sys.argv)
