"""Profile-weighted magnifications from Python: the surface behaviour
(accuracy against mpmath is checked by the C++ tests)."""

import math

import pytest

import halomag

FUNCTIONS = [halomag.integrated_witt_mao_magnification, halomag.integrated_heyrovsky_magnification]
FLUX_MAP_FUNCTIONS = [halomag.integrated_flux_map_witt_mao_magnification,
                      halomag.integrated_flux_map_heyrovsky_magnification]


def panic_type():
    try:
        halomag.discrete_flux_map_heyrovsky_magnification([], 1.0, 1.0, [1.0], [])
    except BaseException as exc:  # noqa: BLE001
        return type(exc)


def test_limb_darkening_matters():
    # Limb darkening brightens the centre: with the lens at the centre the
    # magnification exceeds the uniform disk's; at l = 0.5, re = rstar = 1
    # the uniform disk gives 2.2271 and the profile-weighted routes agree.
    uniform = halomag.witt_mao_magnification([0.0, 0.5], 1.0, 0.1)
    for f in FUNCTIONS:
        centre, half = f([0.0, 0.5], 1.0, 0.1)
        assert centre > uniform[0] * 1.01
        assert half != pytest.approx(uniform[1], rel=1e-3)
    h = halomag.integrated_heyrovsky_magnification([0.5, 2.0], 1.0, 1.0)
    w = halomag.integrated_witt_mao_magnification([0.5, 2.0], 1.0, 1.0)
    assert h == pytest.approx(w, rel=2e-5)


def test_uniform_flux_map_is_the_uniform_disk():
    l = [0.0, 0.5, 0.999, 1.2, 4.0]
    uniform = halomag.witt_mao_magnification(l, 1.0, 0.3)
    for f in FLUX_MAP_FUNCTIONS:
        assert f(l, 1.0, 0.3, [0.0, 1.0], [1.0, 1.0]) == pytest.approx(uniform, rel=2e-5)
    assert halomag.integrated_flux_map_heyrovsky_magnification(
        l, 1.0, 0.3, [0.0, 1.0], [1.0, 1.0]) == pytest.approx(uniform, rel=1e-12)


def test_discrete_sum():
    d = halomag.discrete_flux_map_heyrovsky_magnification
    assert d([0.7, 2.0], 1.0, 0.3, [0.5], [1.0]) == [
        halomag.heyrovsky_magnification(0.7, 0.5, 1.0, 0.3),
        halomag.heyrovsky_magnification(2.0, 0.5, 1.0, 0.3)]
    one = d([0.7], 1.0, 0.3, [0.2, 0.6], [0.25, 0.75])
    two = d([0.7], 1.0, 0.3, [0.2, 0.6], [0.5, 1.5])
    assert two == [2 * one[0]]
    assert d([0.5, 1.0], 1.0, 1.0, [], []) == [0.0, 0.0]


def test_empty_inputs_and_tables():
    for f in FUNCTIONS:
        assert f([], 1.0, 1.0) == []
    for f in FLUX_MAP_FUNCTIONS:
        assert f([], 1.0, 1.0, [0.0, 1.0], [1.0, 1.0]) == []
        assert all(math.isnan(v) for v in f([0.5, 2.0], 1.0, 1.0, [], []))


@pytest.mark.parametrize("f", FLUX_MAP_FUNCTIONS + [halomag.discrete_flux_map_heyrovsky_magnification])
def test_unequal_tables_raise_panic(f):
    panic = panic_type()
    with pytest.raises(panic) as info:
        f([], 1.0, 1.0, [0.0, 1.0], [1.0])
    assert str(info.value) == "assertion `left == right` failed\n  left: 2\n right: 1"
    assert f([0.5], 1.0, 1.0, [0.0, 1.0], [1.0, 1.0])  # the interpreter goes on


def test_failed_rings_never_raise_in_integrals():
    # The ring evaluation that raises for heyrovsky_magnification becomes a
    # zero contribution inside the integral.
    values = halomag.integrated_heyrovsky_magnification([-1e154, 0.5], 0.0, 1.0)
    assert len(values) == 2


def test_far_from_the_star_tends_to_one():
    assert halomag.integrated_heyrovsky_magnification([1e4], 1.0, 0.2)[0] == pytest.approx(1.0, abs=1e-12)
    assert halomag.integrated_witt_mao_magnification([100.0], 1.0, 0.01)[0] == pytest.approx(
        halomag.integrated_heyrovsky_magnification([100.0], 1.0, 0.01)[0], rel=1e-6)
