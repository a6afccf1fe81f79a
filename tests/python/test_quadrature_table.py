"""The committed tanh-sinh node table is exactly what its generator writes
(mpmath at 60 digits, correctly rounded), so it cannot drift from its rule."""

import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]


def test_table_regenerates_bit_for_bit():
    out = subprocess.run([sys.executable, str(ROOT / "scripts" / "gen_quadrature_table.py")],
                         capture_output=True, text=True, check=True, timeout=300).stdout
    assert out == (ROOT / "numerics" / "quadrature_table.hpp").read_text()
