"""A physical answer for every input, as properties of all seven functions.

- separations l, ring radii r and table radii bl are distances: x and -x give
  the same result bit for bit; only the sizes of re and rstar enter;
- finite inputs with re != 0 and rstar != 0 give finite magnifications >= 1
  (to rounding), from subnormal separations to the largest doubles;
- the limits: no lens (re = 0, rstar infinite) 1, an infinite separation 1,
  re infinite +inf, rstar = 0 NaN, a point source on the lens +inf;
- NaN in a separation is NaN there only; NaN in re or rstar is NaN everywhere;
- a sequence's reported length is a hint, not a promise.
"""

import math
import struct
import sys

import pytest
from hypothesis import HealthCheck, Phase, assume, given, settings
from hypothesis import strategies as st

import halomag

INF, NAN = math.inf, math.nan
BL = [0.0, 0.3, 0.7, 1.0]
BF = [0.4, 0.3, 0.2, 0.1]  # weights summing to 1: the discrete sum is a magnification
SUM_BF = ((0.4 + 0.3) + 0.2) + 0.1  # the model's order of addition

NAMES = list(halomag.__all__)  # test_surface.py pins the list itself
TABLES = {n for n in NAMES if "flux_map" in n}


def call(name, ls, re, rstar, r=0.25, bl=BL, bf=BF):
    """The function's values at the separations ls, as a list."""
    f = getattr(halomag, name)
    if name == "heyrovsky_magnification":
        return [f(l, r, re, rstar) for l in ls]
    if name in TABLES:
        return f(ls, re, rstar, bl, bf)
    return f(ls, re, rstar)


def bits(values):
    """Bit patterns, with every NaN alike."""
    return [("nan" if math.isnan(v) else struct.pack("<d", v)) for v in values]




SETTINGS = dict(deadline=None, suppress_health_check=[HealthCheck.too_slow], database=None)
any_float = st.floats(allow_nan=True, allow_infinity=True, allow_subnormal=True)
# Separations and radii in every range: 0, subnormal, ordinary, near overflow.
finite_length = st.one_of(
    st.sampled_from([0.0, 5e-324, 1e-310, 1e-300, 0.5, 1.0, 1e300, sys.float_info.max]),
    st.floats(min_value=0.0, max_value=sys.float_info.max, allow_subnormal=True),
    st.floats(min_value=1e-6, max_value=1e6),
)


def lens_pair(max_decades):
    """(re, rstar) from 1e-300 to 1e300 with re/rstar within 10^+-max_decades."""
    return st.tuples(st.floats(-300, 300), st.floats(-max_decades, max_decades)).map(
        lambda t: (10.0 ** max(-300.0, min(300.0, t[0] + t[1])), 10.0 ** t[0]))


# ---------------------------------------------------------------- signs

@pytest.mark.parametrize("name", NAMES)
@settings(max_examples=25, **SETTINGS)
@given(data=st.data())
def test_signs_never_change_a_result(name, data):
    ls = data.draw(st.lists(any_float, min_size=1, max_size=3))
    re, rstar, r = data.draw(any_float), data.draw(any_float), data.draw(any_float)
    flips = data.draw(st.lists(st.booleans(), min_size=len(ls) + 4, max_size=len(ls) + 4))
    sign = [-1.0 if f else 1.0 for f in flips]
    bl2 = [b * (-1.0 if flips[-1] else 1.0) for b in BL]
    bl2[1] = -bl2[1]  # a mixed-sign table reads as the table of its sizes
    try:
        want = call(name, ls, re, rstar, r)
    except RuntimeError as exc:  # the same input must fail alike
        with pytest.raises(RuntimeError, match=str(exc)):
            call(name, [s * l for s, l in zip(sign, ls)], sign[-2] * re, sign[-3] * rstar,
                 sign[-4] * r, bl=bl2)
        return
    got = call(name, [s * l for s, l in zip(sign, ls)], sign[-2] * re, sign[-3] * rstar,
               sign[-4] * r, bl=bl2)
    assert bits(got) == bits(want)


# ------------------------------------------------ finite and at least one

# "At least 1" to rounding; the profile-weighted functions to their quadrature
# accuracy (a star that is nearly unmagnified comes out at 1 within 1e-14).
def at_least_one(name, ls, re, rstar, r=0.25):
    values = call(name, ls, re, rstar, r)
    slack = 1e-13 if name.startswith("integrated") else 8 * sys.float_info.epsilon
    for l, a in zip(ls, values):
        assert math.isfinite(a), (name, l, re, rstar, a)
        assert a >= 1.0 - slack, (name, l, re, rstar, a)


# No shrinking: a failing profile-weighted call costs milliseconds, and the
# first failing example already names the separation.
@pytest.mark.parametrize("name", NAMES)
@settings(max_examples=30, phases=[Phase.explicit, Phase.reuse, Phase.generate], **SETTINGS)
@given(ls=st.lists(finite_length, min_size=1, max_size=2), lens=lens_pair(12))
def test_finite_inputs_give_finite_magnifications_at_least_one(name, ls, lens):
    re, rstar = lens
    u = re / rstar
    if name == "discrete_flux_map_heyrovsky_magnification":
        # The ring of radius 0 at a tiny separation is a point source just off
        # the lens: its magnification u/l may exceed the largest double.
        assume(all(l == 0.0 or u / l < 1e300 for l in ls) and 0.0 not in ls)
    at_least_one(name, ls, re, rstar)


@settings(max_examples=60, **SETTINGS)
@given(l=finite_length, r=finite_length, lens=lens_pair(300))
def test_ring_finite_and_at_least_one(l, r, lens):
    # Over the whole range of lengths and of re/rstar; +inf only where the
    # ring mean (at least u/(l + r) (2/pi) K, K >= pi/2) exceeds the largest double.
    re, rstar = lens
    a = halomag.heyrovsky_magnification(l, r, re, rstar)
    u = re / rstar
    if math.isinf(a):
        assert l + r == 0.0 or u / (l + r) > 1e300
    else:
        assert a >= 1.0 - 8 * sys.float_info.epsilon, (l, r, re, rstar, a)


def test_point_source_on_the_lens_is_infinite():
    for re, rstar in [(1.0, 1.0), (1e-100, 1.0), (1e100, 1.0), (-2.0, 0.5)]:
        assert halomag.heyrovsky_magnification(0.0, 0.0, re, rstar) == INF
        assert halomag.heyrovsky_magnification(-0.0, 0.0, re, rstar) == INF
    # A table ring of radius 0 with a positive weight, lens at the centre.
    assert halomag.discrete_flux_map_heyrovsky_magnification([0.0], 1.0, 1.0, BL, BF) == [INF]
    # A disk is never a point source: finite at its centre.
    for name in ("integrated_heyrovsky_magnification", "integrated_flux_map_heyrovsky_magnification"):
        assert math.isfinite(call(name, [0.0], 1.0, 1.0)[0])


# ---------------------------------------------------------------- limits

def limit_cases():
    """(re, rstar, separations, expected per separation) for whole stars."""
    return [
        (0.0, 1.0, [0.0, 0.5, 1e300, INF], [1.0] * 4),          # no lens
        (-0.0, 2.0, [0.5], [1.0]),
        (1.0, INF, [0.0, 0.5, INF], [1.0] * 3),                 # a star infinitely large
        (1.0, -INF, [0.5], [1.0]),
        (INF, 1.0, [0.0, 0.5, 1e300, INF], [INF, INF, INF, NAN]),  # Einstein radius infinite
        (-INF, 0.5, [0.5], [INF]),
        (1.0, 0.0, [0.0, 0.5, INF], [NAN] * 3),                 # rstar = 0
        (0.0, 0.0, [0.5], [NAN]),
        (INF, INF, [0.5], [NAN]),
        (NAN, 1.0, [0.0, 0.5, INF], [NAN] * 3),
        (1.0, NAN, [0.5], [NAN]),
        (1e200, 1e-200, [0.5], [INF]),                          # ratio beyond 2^1022
        (1e-200, 1e200, [0.5], [1.0]),                          # ratio below 2^-1022
    ]


@pytest.mark.parametrize("name", NAMES)
@pytest.mark.parametrize("re, rstar, ls, want", limit_cases())
def test_limits(name, re, rstar, ls, want):
    got = call(name, ls, re, rstar)
    if name == "discrete_flux_map_heyrovsky_magnification":
        # Every ring alike: the weighted sum of that value (1 -> sum of bf).
        want = [SUM_BF if w == 1.0 else w for w in want]
    assert bits(got) == bits(want)


@pytest.mark.parametrize("name", NAMES)
def test_infinite_separation_is_one(name):
    want = [SUM_BF if name == "discrete_flux_map_heyrovsky_magnification" else 1.0] * 2
    assert call(name, [INF, -INF], 1.0, 0.5) == want


@pytest.mark.parametrize("name", NAMES)
def test_largest_separations_tend_to_one(name):
    for a in call(name, [1e8, 1e150, sys.float_info.max], 1.0, 0.5):
        want = SUM_BF if name == "discrete_flux_map_heyrovsky_magnification" else 1.0
        assert abs(a - want) <= 8 * sys.float_info.epsilon


def test_ring_limits():
    h = halomag.heyrovsky_magnification
    assert h(0.5, 0.3, 0.0, 1.0) == 1.0
    assert h(0.0, 0.0, 0.0, 1.0) == 1.0  # no lens, even on the point
    assert h(0.5, INF, 1.0, 1.0) == 1.0 and h(INF, 0.3, 1.0, 1.0) == 1.0
    assert math.isnan(h(INF, INF, 1.0, 1.0))  # no limit
    assert h(0.5, 0.3, INF, 1.0) == INF
    assert math.isnan(h(0.5, INF, INF, 1.0))
    assert math.isnan(h(0.5, 0.3, 1.0, 0.0))


def test_discrete_sum_with_degenerate_lens_and_tables():
    d = halomag.discrete_flux_map_heyrovsky_magnification
    # The plain weighted sum of the rings' limits, NaN for a NaN radius.
    assert d([0.5], 0.0, 1.0, [0.0, 1.0], [2.0, -3.0]) == [-1.0]
    assert math.isnan(d([0.5], 0.0, 1.0, [0.0, NAN], [2.0, 3.0])[0])
    assert d([0.5], INF, 1.0, [0.0, 1.0], [2.0, 3.0]) == [INF]
    assert math.isnan(d([0.5], INF, 1.0, [0.0, 1.0], [2.0, -3.0])[0])  # inf - inf
    # The empty table sums to 0, and a NaN separation stays NaN.
    assert bits(d([0.5, NAN], 1.0, 1.0, [], [])) == bits([0.0, NAN])
    assert bits(d([0.5, NAN], 0.0, 1.0, [], [])) == bits([0.0, NAN])
    # The length check stands for every lens.
    for re in (1.0, 0.0, INF, NAN):
        for name in TABLES:
            with pytest.raises(BaseException, match="assertion `left == right` failed"):
                getattr(halomag, name)([0.5], re, 1.0, [0.0, 1.0], [1.0])


# ---------------------------------------------------------------- NaN

@pytest.mark.parametrize("name", NAMES)
@settings(max_examples=15, **SETTINGS)
@given(ls=st.lists(st.floats(-3.0, 3.0), min_size=1, max_size=3), at=st.integers(0, 3),
       lens=st.sampled_from([(1.0, 0.5), (0.0, 1.0), (INF, 1.0), (3.0, 1.0)]))
def test_nan_separation_is_nan_there_only(name, ls, at, lens):
    re, rstar = lens
    at = min(at, len(ls))
    with_nan = ls[:at] + [NAN] + ls[at:]
    got = call(name, with_nan, re, rstar)
    assert math.isnan(got[at])
    assert bits(got[:at] + got[at + 1:]) == bits(call(name, ls, re, rstar))


@pytest.mark.parametrize("name", NAMES)
def test_nan_lens_is_nan_everywhere(name):
    for re, rstar in [(NAN, 1.0), (1.0, NAN), (NAN, 0.0), (0.0, NAN)]:
        assert all(math.isnan(v) for v in call(name, [0.0, 0.5, 2.0, INF], re, rstar))


def test_nan_ring_radius():
    assert math.isnan(halomag.heyrovsky_magnification(0.5, NAN, 1.0, 1.0))
    assert math.isnan(halomag.heyrovsky_magnification(0.5, NAN, 0.0, 1.0))


# ------------------------------------------------------- length hints

class Claims(list):
    """A list that reports a length of its own choosing."""

    def __init__(self, values, length):
        super().__init__(values)
        self.length = length

    def __len__(self):
        return self.length


@pytest.mark.parametrize("name", NAMES)
@pytest.mark.parametrize("length", [sys.maxsize, sys.maxsize // 8, 2**40, 10**6, 5])
def test_reported_length_is_only_a_hint(name, length):
    ls = [0.5, 2.0]
    want = call(name, ls, 1.0, 0.5)
    if name == "heyrovsky_magnification":
        return  # takes no sequence
    assert call(name, Claims(ls, length), 1.0, 0.5) == want
    if name in TABLES:
        got = getattr(halomag, name)(ls, 1.0, 0.5, Claims(BL, length), Claims(BF, length))
        assert got == want
