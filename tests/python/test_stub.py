"""The installed type stub agrees with the module it describes."""

import os
import pathlib
import shutil
import subprocess
import sys

import halomag


def test_stub_installed_beside_the_module():
    stub = pathlib.Path(halomag.__file__).with_name("halomag.pyi")
    assert stub.is_file()


def test_stubtest_finds_no_drift(tmp_path):
    # mypy does not search site-packages for the stub of a single top-level
    # module, so the installed stub is handed to it through MYPYPATH.
    stub = pathlib.Path(halomag.__file__).with_name("halomag.pyi")
    (tmp_path / "stubs").mkdir()
    shutil.copy(stub, tmp_path / "stubs" / "halomag.pyi")
    env = dict(os.environ, MYPYPATH=str(tmp_path / "stubs"))
    proc = subprocess.run([sys.executable, "-m", "mypy.stubtest", "halomag"],
                          capture_output=True, text=True, cwd=tmp_path, env=env, timeout=300)
    assert proc.returncode == 0, proc.stdout + proc.stderr
