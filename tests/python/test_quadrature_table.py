"""The committed tanh-sinh node table must be exactly what its generator writes.

The generator is run with this interpreter to a temporary file (and to stdout)
and compared byte for byte with numerics/quadrature_table.hpp.  As a second,
independent check, every stored hex literal is read back and compared with
the rule re-evaluated by mpmath at 100 digits, rounded to the nearest double.
"""

import math
import pathlib
import re
import subprocess
import sys

import mpmath

ROOT = pathlib.Path(__file__).resolve().parents[2]
GENERATOR = ROOT / "scripts" / "gen_quadrature_table.py"
HEADER = ROOT / "numerics" / "quadrature_table.hpp"


def test_regenerated_header_is_identical(tmp_path):
    out = tmp_path / "quadrature_table.hpp"
    subprocess.run([sys.executable, str(GENERATOR), str(out)], check=True)
    assert out.read_bytes() == HEADER.read_bytes()


def test_generator_writes_to_stdout():
    run = subprocess.run([sys.executable, str(GENERATOR)], check=True, capture_output=True)
    assert run.stdout == HEADER.read_bytes()


def nearest_double(value):
    guess = float(value)
    candidates = (math.nextafter(guess, -math.inf), guess, math.nextafter(guess, math.inf))
    return min(candidates, key=lambda d: abs(mpmath.mpf(d) - value))


def test_entries_are_the_correctly_rounded_rule():
    literal = r"(0x[0-9a-f.]+p[-+]?\d+)"
    pairs = re.findall(r"\{" + literal + ", " + literal + r"\},  // t = (\d+)(?:/(\d+))?",
                       HEADER.read_text())
    assert len(pairs) == 192
    counts = {}
    with mpmath.workdps(100):
        half_pi = mpmath.pi / 2
        previous_den = None
        for w_hex, x_hex, num, den in pairs:
            den = int(den) if den else 1
            level = den.bit_length() - 1  # denominator 2^level, level 0 for integers
            counts[level] = counts.get(level, 0) + 1
            h = mpmath.mpf(1) / den
            t = mpmath.mpf(int(num)) / den
            assert 0 < t <= 3
            if level > 0:
                assert int(num) % 2 == 1
            assert previous_den is None or den >= previous_den  # levels in order
            previous_den = den
            u = half_pi * mpmath.sinh(t)
            assert float.fromhex(x_hex) == nearest_double(mpmath.tanh(u))
            assert float.fromhex(w_hex) == nearest_double(h * half_pi * mpmath.cosh(t) / mpmath.cosh(u) ** 2)
    assert [counts[k] for k in range(7)] == [3, 3, 6, 12, 24, 48, 96]
