"""The examples run (small) and print what they promise."""

import pathlib
import subprocess
import sys

import pytest

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


def run(script, *args):
    return subprocess.run([sys.executable, str(EXAMPLES / script), *args], capture_output=True,
                          text=True, timeout=600, check=True).stdout


def test_quickstart():
    out = run("quickstart.py")
    assert "limb-darkened" in out and len(out.splitlines()) == 7


def test_light_curve(tmp_path):
    out = run("light_curve.py", str(tmp_path / "lc.png"))
    assert "peak: point" in out


def test_many_events_small():
    pytest.importorskip("distributed")
    out = run("many_events.py", "40", "10")
    assert "1 worker(s): 40 events" in out and "2 worker(s): 40 events" in out
