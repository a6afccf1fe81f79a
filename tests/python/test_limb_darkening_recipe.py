"""The two-call recipe for any linear limb-darkening coefficient
(examples/limb_darkening.py, README.md) against independent values: the
brightness-weighted mean of the point-lens magnification over the disk,
computed with mpmath at 30 digits for each coefficient
(scripts/gen_linear_limb_darkening_reference.py)."""

import importlib.util
import math
import pathlib

import halomag

ROOT = pathlib.Path(__file__).resolve().parents[2]
DATA = ROOT / "tests" / "data" / "linear_limb_darkening_reference.txt"


def load_example():
    spec = importlib.util.spec_from_file_location("limb_darkening", ROOT / "examples" / "limb_darkening.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module.linear_limb_darkening_magnification


def reference_rows():
    for line in DATA.read_text().splitlines():
        if line and not line.startswith("#"):
            a, l, rho, value = line.split()
            yield float(a), float(l), float(rho), float(value)


def test_recipe_against_mpmath_for_every_coefficient():
    # The recipe is exact when both functions divide by their profiles'
    # exact fluxes; the two functions' own errors (a few 1e-15, doubled in
    # 2 M - A_U) bound the difference: worst measured 1.6e-15.
    recipe = load_example()
    rows = list(reference_rows())
    assert {a for a, *_ in rows} == {0.0, 0.3, 0.7, 1.0} and len(rows) == 84
    worst = 0.0
    for a, l, rho, value in rows:
        got = recipe([l], 1.0, rho, a)[0]
        worst = max(worst, abs(got - value) / value)
        assert math.isclose(got, value, rel_tol=1e-14, abs_tol=0.0), (a, l, rho, got, value)
    assert worst > 0.0  # the comparison ran on values that are not copies


def test_recipe_reduces_to_the_two_functions_it_combines():
    recipe = load_example()
    l = [0.0, 0.5, 1.0, 1.0 + 1e-9, 3.0, 40.0]
    for rho in (1e-3, 0.05, 2.0):
        uniform = halomag.witt_mao_magnification(l, 1.0, rho)
        builtin = halomag.integrated_heyrovsky_magnification(l, 1.0, rho)
        assert recipe(l, 1.0, rho, 0.0) == uniform
        for got, expected in zip(recipe(l, 1.0, rho, 0.6), builtin):
            assert math.isclose(got, expected, rel_tol=4e-16)
    # Arrays, tuples and an empty list go through as the functions take them.
    assert recipe((), 1.0, 0.1, 0.5) == []
