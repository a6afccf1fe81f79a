"""Ring and uniform-disk magnifications from Python (values checked in
detail against mpmath references by the C++ tests)."""

import math

import pytest

import halomag


def test_ring_examples():
    h = halomag.heyrovsky_magnification
    assert math.isclose(h(0.5, 0.0, 1.0, 1.0), 2.18282062532, rel_tol=1e-11)
    assert math.isclose(h(0.5, 0.3, 1.0, 1.0), 2.42571078568, rel_tol=1e-11)
    assert math.isclose(h(2.0, 0.7, 3.0, 1.5), 1.37915705634, rel_tol=1e-11)
    assert h(2.0, 0.7, 3.0, 1.5) == h(2.0, 0.7, 2.0, 1.0)
    assert h(0.3, 0.8, 1.0, 1.0) == h(0.8, 0.3, 1.0, 1.0)
    # Through the lens: finite, large.
    assert math.isfinite(h(0.5, 0.5, 1.0, 1.0)) and h(0.5, 0.5, 1.0, 1.0) > 10
    assert 1.0 < h(1000.0, 0.5, 1.0, 1.0) < 1.0 + 1e-10


def test_disk_examples():
    w = halomag.witt_mao_magnification
    assert w([], 1.0, 1.0) == []
    inner, limb, far = w([0.9999, 1.0, 50.0], 1.0, 0.5)
    # 2.750371673 to the digits the subtractive form keeps at d = -5e-5.
    assert math.isclose(inner, 2.750371673, rel_tol=3e-9)
    assert math.isclose(limb, 2.749075721, rel_tol=1e-9)
    assert math.isclose(far, 1.000005091, rel_tol=1e-9)
    centre = w([0.0], 1.0, 0.3)[0]
    assert math.isclose(centre, math.sqrt(1 + 4 / 0.09), rel_tol=1e-13)
    assert all(math.isnan(v) for v in w([0.5, 1.0, 2.0], 1.0, 0.0))
    # A small star: no plateau around the limb, the values keep changing.
    near = w([1 - 1e-4, 1 - 1e-6, 1.0, 1 + 1e-6, 1 + 1e-4], 1.0, 0.01)
    assert len(set(near)) == 5


def test_near_limb_never_raises():
    # k*k formed directly rounds above 1 for a fraction of the separations
    # within a few 1e-9 of the limb; the complement form never does.
    w = halomag.witt_mao_magnification
    l = [1.0 + k * 1e-12 for k in range(-3000, 3001)]
    for rho in (1e-3, 1e-2, 0.1, 0.5):
        values = w(l, 1.0, rho)
        assert len(values) == len(l) and all(math.isfinite(v) for v in values)


def test_ring_error_and_nan_paths():
    h = halomag.heyrovsky_magnification
    # re = 0 with radii near the overflow limit once reached RF(0, 0, 1) (q =
    # 4u^2 + g^2 overflowed); now there is no lens, and no lens magnifies by 1.
    assert h(-1e154, 2e154, 0.0, 1.0) == 1.0
    # rstar = 0 (an infinite Einstein radius in stellar units): NaN, no error.
    assert math.isnan(h(0.5, 0.3, 1.0, 0.0))
