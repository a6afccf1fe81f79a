#!/usr/bin/env python3
"""Reference magnifications on the grid that light-curve fits visit, with mpmath.

Microlensing codes are usually parametrised by the lens-source separation u
and the source radius rho, both in Einstein radii; halomag takes the
separation in stellar radii, l = u / rho, with re = 1 and rstar = rho.  The
grid spans rho = 1e-3 to 2 and u / rho = 0 to 30, dense near the limb
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

A second file holds, on the "grid" rows of TABLE_RHOS, the same ring mean for
a flux map: the linear law sampled at 11 knots r = sin(theta), theta evenly
spaced on [0, pi/2] (dense at the limb, where the law is steepest), and
interpolated linearly between them, as a caller of the flux-map functions
would tabulate it.  The knots and fluxes are the doubles that sine_table()
returns, so the reference is exact for that table, whatever its distance to
the exact law.

Usage:  python scripts/gen_comparison_reference.py [--keep] \
            [tests/data/comparison_reference.txt [tests/data/comparison_table_reference.txt]]
--keep reuses the rows of the existing output files and computes only the
cases they lack (after a case was added).  From scratch the two processes of a
dual-core machine take about twenty minutes.
"""

import math
import multiprocessing
import pathlib
import sys

import mpmath

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import gen_limb_darkened_reference as limb  # noqa: E402
import gen_magnification_reference as disk  # noqa: E402
from reference_io import emit  # noqa: E402

RHOS = (1e-3, 3e-3, 1e-2, 3e-2, 0.1, 0.3, 0.5, 1.0, 2.0)
LIMB_OFFSETS = (1e-1, 3e-2, 1e-2, 3e-3, 1e-3, 1e-4, 1e-5, 1e-6)
GRID_U_OVER_RHO = sorted(
    {0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.85, 1.0, 1.2, 1.5, 2.0, 3.0, 5.0, 10.0,
     20.0, 30.0}
    | {1.0 - d for d in LIMB_OFFSETS}
    | {1.0 + d for d in LIMB_OFFSETS})
LIMB_RHOS = (0.01, 0.1)
LIMB_U_OVER_RHO = [0.9 + 0.0025 * k for k in range(81)]
TABLE_RHOS = (1e-3, 1e-2, 0.1, 0.5, 1.0, 2.0)
TABLE_KNOTS = 11
LD_A = 0.6


def sine_table(n=TABLE_KNOTS, a=LD_A):
    """Knots r_k = sin(k pi / (2 (n - 1))) and fluxes 1 - a (1 - sqrt(1 - r_k^2))
    of the linear law, as doubles (bench/compare.py builds the same table)."""
    bl = [math.sin(k * math.pi / (2 * (n - 1))) for k in range(n)]
    return bl, [1.0 - a * (1.0 - math.sqrt(1.0 - r * r)) for r in bl]


def cases():
    for rho in RHOS:
        for x in GRID_U_OVER_RHO:
            yield "grid", x, rho
    for rho in LIMB_RHOS:
        for x in LIMB_U_OVER_RHO:
            yield "limb", x, rho
    for rho in TABLE_RHOS:
        for x in GRID_U_OVER_RHO:
            yield "table", x, rho


def row(case):
    kind, x, rho = case
    if kind == "table":
        bl, bf = sine_table()
        # 22 digits: the 20 written (the ten pieces between knots make it the
        # slowest row; the builtin law's 30 digits would double its cost).
        with mpmath.workdps(22):
            value = limb.magnification(x, rho, limb.table_profile(bl, bf), bl)
        return f"grid {x!r} {rho!r} {mpmath.nstr(value, 20)}"
    uniform = disk.uniform_disk(x, rho, 25)
    linear = limb.magnification(x, rho, limb.builtin, [])
    return f"{kind} {x!r} {rho!r} {mpmath.nstr(uniform, 20)} {mpmath.nstr(linear, 20)}"


def existing_rows(path, table):
    """{case: line} of an earlier output file, for --keep."""
    if not path or not pathlib.Path(path).is_file():
        return {}
    out = {}
    for line in pathlib.Path(path).read_text().splitlines():
        if line and not line.startswith("#"):
            kind, x, rho = line.split()[:3]
            out[("table" if table else kind, float(x), float(rho))] = line
    return out


def main(argv):
    keep = "--keep" in argv
    argv = [a for a in argv if a != "--keep"]
    done = {}
    if keep:
        done.update(existing_rows(argv[1] if len(argv) > 1 else None, False))
        done.update(existing_rows(argv[2] if len(argv) > 2 else None, True))
    todo = list(cases())
    missing = [case for case in todo if case not in done]
    print(f"{len(missing)} of {len(todo)} rows to compute", file=sys.stderr)
    with multiprocessing.Pool() as pool:
        done.update(zip(missing, pool.map(row, missing, chunksize=1)))
    rows = [done[case] for case in todo]
    tables = [r for case, r in zip(todo, rows) if case[0] == "table"]
    rows = [r for case, r in zip(todo, rows) if case[0] != "table"]
    lines = ["# Uniform and linearly limb-darkened (a1 = 0.6) magnifications on the",
             "# comparison grid (mpmath; scripts/gen_comparison_reference.py).",
             "# halomag arguments: l = u_over_rho, re = 1, rstar = rho.",
             "# columns: set u_over_rho rho uniform linear"] + rows
    emit(lines, argv[:2])
    bl, bf = sine_table()
    lines = [f"# The linear law (a1 = {LD_A}) as a flux map of {TABLE_KNOTS} knots r = sin(theta),",
             "# theta evenly spaced on [0, pi/2], interpolated linearly (mpmath;",
             "# scripts/gen_comparison_reference.py).  halomag arguments: l = u_over_rho,",
             "# re = 1, rstar = rho, bl and bf:",
             "# bl " + " ".join(repr(x) for x in bl),
             "# bf " + " ".join(repr(x) for x in bf),
             "# columns: set u_over_rho rho table"] + tables
    emit(lines, argv[:1] + argv[2:3])


if __name__ == "__main__":
    main(sys.argv)
