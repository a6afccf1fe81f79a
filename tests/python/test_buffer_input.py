"""Sequences that export a buffer of doubles are read from the buffer; the
results must be those of the element-by-element path, bit for bit."""

import array
import struct

import numpy as np
import pytest

import halomag

SEPARATIONS = [0.0, 0.3, 0.999999, 1.0, 1.000001, 2.5, 40.0, 1e-300, 5e-324, -0.0]


def bits(values):
    return [struct.pack("<d", v) for v in values]


@pytest.mark.parametrize("name", ["witt_mao_magnification", "integrated_heyrovsky_magnification"])
def test_float64_buffers_match_lists(name):
    f = getattr(halomag, name)
    expected = f(SEPARATIONS, 1.0, 0.1)
    for obj in (np.array(SEPARATIONS), array.array("d", SEPARATIONS),
                memoryview(array.array("d", SEPARATIONS))):
        got = f(obj, 1.0, 0.1)
        assert type(got) is list and all(type(v) is float for v in got)
        assert bits(got) == bits(expected)


def test_other_layouts_take_the_general_path():
    f = halomag.witt_mao_magnification
    base = np.linspace(0.0, 3.0, 21)
    strided = base[::2]
    assert not strided.flags.c_contiguous
    assert bits(f(strided, 1.0, 0.1)) == bits(f(strided.tolist(), 1.0, 0.1))
    for dtype in (np.float32, np.int64, np.uint8, ">f8"):
        arr = np.arange(5).astype(dtype)
        assert bits(f(arr, 1.0, 0.1)) == bits(f([float(x) for x in arr], 1.0, 0.1))
    assert f(np.array([], dtype=float), 1.0, 0.1) == []
    # A two-dimensional array iterates to rows, which are not numbers.
    with pytest.raises(TypeError, match=r"^argument 'l': "):
        f(np.zeros((2, 2)), 1.0, 0.1)
    # bytes export a buffer of unsigned bytes: their values are the separations.
    assert f(b"\x01\x02", 1.0, 0.1) == f([1.0, 2.0], 1.0, 0.1)


def test_buffer_for_table_arguments():
    bl, bf = np.array([0.0, 0.5, 1.0]), np.array([1.0, 0.8, 0.4])
    f = halomag.discrete_flux_map_heyrovsky_magnification
    assert bits(f(np.array([0.5, 2.0]), 1.0, 1.0, bl, bf)) == bits(
        f([0.5, 2.0], 1.0, 1.0, bl.tolist(), bf.tolist()))
