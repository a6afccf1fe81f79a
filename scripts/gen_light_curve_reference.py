#!/usr/bin/env python3
"""Reference magnifications along a typical finite-source light curve, with mpmath.

The event: a source of radius rho = 0.01 Einstein radii passing the lens at
impact parameter u0 = 0.005, observed at 2000 epochs evenly spread over
(t - t0) / tE in [-2, 2].  At epoch k (k = 0 ... 1999)

    tau_k = (4 k - 3998) / 1999,   u_k = sqrt(u0^2 + tau_k^2),   l_k = u_k / rho,

all in double precision, in this order, as bench/compare.py forms them; tau
is written as an exact integer over 1999 so that tau_k = -tau_(1999-k) to the
bit and the curve, symmetric in tau, needs references at the 1000 distinct
|tau| only.  l runs from 0.5 (the lens inside the star) through the limb to
200 stellar radii.

Each epoch is computed for two brightness profiles, at the double l_k (the
separation halomag is given, with re = 1 and rstar = rho):

* uniform: the area integral of the point-lens magnification in polar
  coordinates about the lens (uniform_disk in gen_magnification_reference.py,
  25 digits);
* linear: the linear limb-darkening law 1 - 0.6 (1 - sqrt(1 - r^2)), the
  brightness-weighted mean over rings (magnification in
  gen_limb_darkened_reference.py, 30 digits).

Usage:  python scripts/gen_light_curve_reference.py [bench/data/light_curve_reference.txt]
The two processes of a dual-core machine take about five minutes of CPU time each.
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

RHO = 0.01
U0 = 0.005
EPOCHS = 2000


def epoch(k):
    """(tau, u, l) of epoch k, in double precision."""
    tau = (4 * k - 2 * (EPOCHS - 1)) / (EPOCHS - 1)
    u = math.sqrt(U0 * U0 + tau * tau)
    return tau, u, u / RHO


def row(k):
    tau, u, l = epoch(k)
    uniform = disk.uniform_disk(l, RHO, 25)
    linear = limb.magnification(l, RHO, limb.builtin, [])
    return f"{k} {tau!r} {u!r} {l!r} {mpmath.nstr(uniform, 20)} {mpmath.nstr(linear, 20)}"


def main(argv):
    # The curve is even in tau: epochs k and EPOCHS - 1 - k share u.
    for k in range(EPOCHS // 2):
        assert epoch(k)[1:] == epoch(EPOCHS - 1 - k)[1:], k
    with multiprocessing.Pool() as pool:
        rows = pool.map(row, range(EPOCHS // 2, EPOCHS), chunksize=8)
    lines = [f"# Light curve rho = {RHO!r}, u0 = {U0!r}, {EPOCHS} epochs tau_k = (4k - "
             f"{2 * (EPOCHS - 1)}) / {EPOCHS - 1};",
             "# rows for k >= 1000 only: epoch 1999 - k has the same u.  Uniform and",
             "# linearly limb-darkened (a = 0.6) magnifications (mpmath;",
             "# scripts/gen_light_curve_reference.py).  halomag arguments: l, re = 1, rstar = rho.",
             "# columns: k tau u l uniform linear"] + rows
    emit(lines, argv)


if __name__ == "__main__":
    main(sys.argv)
