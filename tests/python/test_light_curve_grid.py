"""The grid a light-curve fit visits (rho = 1e-3 to 1, u/rho = 0 to 30,
closing in on the limb to 1 +- 1e-6), against mpmath: the uniform disk by
the area integral about the lens, the linear limb-darkening law 1 - 0.6 (1 -
sqrt(1 - r^2)) by the brightness-weighted ring mean
(scripts/gen_comparison_reference.py; bench/compare.py reads the same file)."""

import pathlib
from collections import defaultdict

import pytest

import halomag

DATA = pathlib.Path(__file__).resolve().parents[1] / "data" / "comparison_reference.txt"


def grouped():
    by_rho = defaultdict(list)
    for line in DATA.read_text().splitlines():
        if line and not line.startswith("#"):
            _, x, rho, uniform, linear = line.split()
            by_rho[float(rho)].append((float(x), float(uniform), float(linear)))
    return by_rho


GROUPS = grouped()


# Tolerances about three times the worst error measured on the grid.
@pytest.mark.parametrize("name, profile, call, rel", [
    ("witt_mao", 1, lambda l, rho: halomag.witt_mao_magnification(l, 1.0, rho), 1e-12),
    ("flux_map_heyrovsky uniform", 1,
     lambda l, rho: halomag.integrated_flux_map_heyrovsky_magnification(l, 1.0, rho, [0.0, 1.0], [1.0, 1.0]),
     2e-15),
    ("integrated_heyrovsky", 2, lambda l, rho: halomag.integrated_heyrovsky_magnification(l, 1.0, rho), 4e-15),
    # The disk route differentiates the uniform-disk magnification numerically;
    # its worst point is the lens on the centre (1.4e-5), elsewhere 1e-6.
    ("integrated_witt_mao", 2, lambda l, rho: halomag.integrated_witt_mao_magnification(l, 1.0, rho), 4e-5),
])
def test_grid_against_mpmath(name, profile, call, rel):
    assert sum(len(rows) for rows in GROUPS.values()) == 407
    for rho, rows in GROUPS.items():
        # One list call per rho, as a fit calls it: the whole light curve.
        values = call([row[0] for row in rows], rho)
        for row, value in zip(rows, values, strict=True):
            assert value == pytest.approx(row[profile], rel=rel, abs=0), (name, row[0], rho)
