"""The examples run (small) and print what they promise."""

import pathlib
import subprocess
import sys

import pytest

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


def run(script, *args, cwd=None, check=True, block=()):
    """Runs an example; the modules in `block` fail to import, as on a machine
    without them."""
    code = ("import runpy, sys\n"
            f"for name in {list(block)!r}: sys.modules[name] = None\n"
            f"sys.argv = [{str(EXAMPLES / script)!r}, *{list(args)!r}]\n"
            "runpy.run_path(sys.argv[0], run_name='__main__')\n")
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          timeout=600, check=check, cwd=cwd)


def test_quickstart():
    out = run("quickstart.py").stdout
    assert "limb-darkened" in out and len(out.splitlines()) == 7


def test_light_curve_writes_where_it_says(tmp_path):
    pytest.importorskip("matplotlib")
    out = run("light_curve.py", cwd=tmp_path).stdout
    assert "peak: point" in out
    assert out.splitlines()[-1] == "wrote light_curve.png"
    assert (tmp_path / "light_curve.png").stat().st_size > 10_000


def test_limb_darkening(tmp_path):
    pytest.importorskip("matplotlib")
    out = run("limb_darkening.py", "--output", str(tmp_path / "ld.png")).stdout
    rows = [line.split() for line in out.splitlines()[2:9]]
    # a = 0 is the uniform disk, 40.0125 = sqrt(1 + 4 / rho^2) at the centre.
    assert rows[0][:2] == ["0.00", "40.012498"]
    assert out.splitlines()[-1] == f"wrote {tmp_path / 'ld.png'}"
    assert (tmp_path / "ld.png").stat().st_size > 10_000


@pytest.mark.parametrize("script", sorted(p.name for p in EXAMPLES.glob("*.py")
                                          if p.name != "many_events.py"))
def test_help_prints_usage_and_writes_nothing(script, tmp_path):
    """`--help` is an option, not an output path or a value to compute with
    (light_curve.py once wrote a picture named --help.png)."""
    proc = run(script, "--help", cwd=tmp_path)
    assert proc.stdout.startswith("usage: ") and proc.stderr == ""
    assert list(tmp_path.iterdir()) == []


def test_fit_event_small(tmp_path):
    pytest.importorskip("scipy")
    pytest.importorskip("matplotlib")
    out = run("fit_event.py", "--epochs", "60", cwd=tmp_path).stdout
    table = {}
    for line in out.splitlines():
        words = line.split()
        if words and words[0] in ("t0", "u0", "tE", "rho", "a", "Fs", "Fb"):
            name = words[0]
            true, fitted, error, pull = map(float, words[-4:])
            table[name] = (true, fitted, error, pull)
    assert set(table) == {"t0", "u0", "tE", "rho", "a", "Fs", "Fb"}, out
    for name, (true, fitted, error, pull) in table.items():
        assert 0.0 < error and abs(fitted - true) < 4.0 * error, (name, out)
    assert "time per light curve:" in out and "light curves computed:" in out
    assert out.splitlines()[-1] == "wrote fit_event.png"
    assert (tmp_path / "fit_event.png").stat().st_size > 10_000


def test_missing_optional_packages_are_named_not_traced(tmp_path):
    proc = run("fit_event.py", check=False, block=["scipy", "scipy.optimize"], cwd=tmp_path)
    assert proc.returncode == 1 and "Traceback" not in proc.stderr
    assert "pip install '.[examples]'" in proc.stderr
    out = run("light_curve.py", cwd=tmp_path, block=["matplotlib"]).stdout
    assert "matplotlib is not installed" in out and not (tmp_path / "light_curve.png").exists()

