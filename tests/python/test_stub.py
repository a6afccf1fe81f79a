"""The installed type stub agrees with the module it describes, and a type
checker finds it as a user would: from a directory outside the project, with
no configuration."""

import os
import pathlib
import subprocess
import sys

import pytest

import halomag

STUBS = pathlib.Path(halomag.__file__).with_name("halomag-stubs")


def run_mypy(tmp_path, module, *args):
    """python -m <module> <args> in tmp_path, with neither MYPYPATH nor PYTHONPATH."""
    env = {k: v for k, v in os.environ.items() if k not in ("MYPYPATH", "PYTHONPATH")}
    return subprocess.run([sys.executable, "-m", module, *args], capture_output=True, text=True,
                          cwd=tmp_path, env=env, timeout=300)


def test_stub_only_package_installed_beside_the_module():
    # PEP 561: a stub-only package is the directory <name>-stubs holding the
    # stubs; it carries no py.typed unless it is partial, which this one is not.
    assert (STUBS / "__init__.pyi").is_file()
    assert not (STUBS / "py.typed").exists()
    assert not pathlib.Path(halomag.__file__).with_name("halomag.pyi").exists()


def test_stubtest_finds_no_drift(tmp_path):
    proc = run_mypy(tmp_path, "mypy.stubtest", "halomag")
    assert proc.returncode == 0, proc.stdout + proc.stderr


ACCEPTED = """\
import array

import numpy as np
import numpy.typing as npt

import halomag

grid: npt.NDArray[np.float64] = np.linspace(0.0, 3.0, 7)
one_d: np.ndarray[tuple[int], np.dtype[np.float64]] = np.zeros(3)
a: list[float] = halomag.witt_mao_magnification(grid, 1.0, 0.01)
b: list[float] = halomag.integrated_heyrovsky_magnification(one_d, 1, np.float64(0.01))
c: list[float] = halomag.witt_mao_magnification([0.5, 1], 1.0, 0.01)
d: list[float] = halomag.integrated_witt_mao_magnification((0.5, 1.0), 1.0, 0.01)
e: list[float] = halomag.integrated_flux_map_heyrovsky_magnification(
    range(3), 1.0, 0.1, [0.0, 1.0], np.ones(2))
f: list[float] = halomag.discrete_flux_map_heyrovsky_magnification(
    array.array("d", [1.0]), 1.0, 1.0, (0.5,), [1.0])
g: float = halomag.heyrovsky_magnification(0.5, 0.3, 1.0, np.float64(1.0))
h: list[float] = halomag.integrated_flux_map_witt_mao_magnification(
    np.arange(3), 1.0, 1.0, b"\\x00", [1.0])
"""

# Each line from the third on is one error.
REFUSED = """\
import halomag

halomag.witt_mao_magnification("0.5", 1.0, 0.01)
halomag.witt_mao_magnification(0.5, 1.0, 0.01)
halomag.witt_mao_magnification({0.5: 1.0}, 1.0, 0.01)
halomag.witt_mao_magnification(["0.5"], 1.0, 0.01)
halomag.heyrovsky_magnification([0.5], 0.3, 1.0, 1.0)
x: float = halomag.integrated_heyrovsky_magnification([0.5], 1.0, 0.01)
halomag.witt_mao_magnification([0.5], 1.0)
"""


@pytest.fixture(scope="module")
def strict_mypy(tmp_path_factory):
    """mypy --strict over a user's two files, one run: {file: [error lines]}."""
    pytest.importorskip("numpy")
    work = tmp_path_factory.mktemp("user")
    (work / "accepted.py").write_text(ACCEPTED)
    (work / "refused.py").write_text(REFUSED)
    proc = run_mypy(work, "mypy", "--strict", "accepted.py", "refused.py")
    errors = {"accepted.py": [], "refused.py": []}
    for line in proc.stdout.splitlines():
        if ": error:" in line:
            errors[line.split(":")[0]].append(line)
    return errors, proc.stdout + proc.stderr


def test_strict_mypy_accepts_lists_tuples_and_arrays(strict_mypy):
    errors, output = strict_mypy
    assert errors["accepted.py"] == [], output


def test_strict_mypy_rejects_what_the_functions_refuse(strict_mypy):
    errors, output = strict_mypy
    lines = [int(line.split(":")[1]) for line in errors["refused.py"]]
    assert lines == list(range(3, len(REFUSED.splitlines()) + 1)), output


def test_every_function_documented_in_the_stub_only():
    text = (STUBS / "__init__.pyi").read_text()
    for name in halomag.__all__:
        head = text.index(f"def {name}(")
        body = text[head:text.index('"""', text.index('"""', head) + 3)]
        for word in ("stellar radii", "Raises:"):
            assert word in body, (name, word)
        # The runtime keeps only the text signature.
        assert getattr(halomag, name).__doc__ is None
