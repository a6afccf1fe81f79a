"""The grid a light-curve fit visits (rho = 1e-3 to 2, u/rho = 0 to 30,
closing in on the limb to 1 +- 1e-6), against mpmath: the uniform disk by
the area integral about the lens, the linear limb-darkening law 1 - 0.6 (1 -
sqrt(1 - r^2)) by the brightness-weighted ring mean, and the same law as a
flux map of 11 knots r = sin(theta) by the same ring mean
(scripts/gen_comparison_reference.py; bench/compare.py reads the same files)."""

import pathlib
from collections import defaultdict

import pytest

import halomag

DATA = pathlib.Path(__file__).resolve().parents[1] / "data" / "comparison_reference.txt"
TABLE = DATA.with_name("comparison_table_reference.txt")


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
    # The disk route's bound (worst measured 5.5e-14, by parts over the star).
    ("integrated_witt_mao", 2, lambda l, rho: halomag.integrated_witt_mao_magnification(l, 1.0, rho), 1e-9),
])
def test_grid_against_mpmath(name, profile, call, rel):
    assert sum(len(rows) for rows in GROUPS.values()) == 477
    for rho, rows in GROUPS.items():
        # One list call per rho, as a fit calls it: the whole light curve.
        values = call([row[0] for row in rows], rho)
        for row, value in zip(rows, values, strict=True):
            assert value == pytest.approx(row[profile], rel=rel, abs=0), (name, row[0], rho)


def sine_table():
    """The table of the references, read back from their header."""
    header = dict(line[2:].split(None, 1) for line in TABLE.read_text().splitlines()
                  if line.startswith(("# bl ", "# bf ")))
    return [float(x) for x in header["bl"].split()], [float(x) for x in header["bf"].split()]


@pytest.mark.parametrize("call, rel", [
    (halomag.integrated_flux_map_heyrovsky_magnification, 3e-15),
    (halomag.integrated_flux_map_witt_mao_magnification, 1e-9),
])
def test_sine_table_flux_map_against_mpmath(call, rel):
    bl, bf = sine_table()
    assert len(bl) == 11 and bl[0] == 0.0 and bl[-1] == 1.0 and bf[-1] == 0.4
    by_rho = defaultdict(list)
    for line in TABLE.read_text().splitlines():
        if line and not line.startswith("#"):
            _, x, rho, value = line.split()
            by_rho[float(rho)].append((float(x), float(value)))
    assert sorted(by_rho) == [1e-3, 1e-2, 0.1, 0.5, 1.0, 2.0]
    for rho, rows in by_rho.items():
        values = call([x for x, _ in rows], 1.0, rho, bl, bf)
        for (x, ref), value in zip(rows, values, strict=True):
            assert value == pytest.approx(ref, rel=rel, abs=0), (x, rho)
