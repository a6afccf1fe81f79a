"""examples/many_events.py: the loop and a one-worker cluster agree and close
cleanly, an unreachable scheduler is reported, --help writes nothing."""

import socket

import pytest

from test_examples import run

pytest.importorskip("scipy")
pytest.importorskip("distributed")


def test_loop_and_one_worker_agree_and_close_cleanly(tmp_path):
    proc = run("many_events.py", "--events", "3", "--workers", "1", cwd=tmp_path)
    lines = proc.stdout.splitlines()
    assert lines[0].split(":")[0].strip() == "plain loop" and "3 events in" in lines[0]
    assert lines[1].split(":")[0].strip() == "1 local worker(s)" and "x the loop" in lines[1]
    assert "3 events of about 300 epochs" in proc.stdout
    # The workers and the scheduler stop in order: no heartbeat to a
    # scheduler that is gone, nothing logged as an error.
    assert "ERROR" not in proc.stderr and "Traceback" not in proc.stderr, proc.stderr


def test_unreachable_scheduler_is_reported(tmp_path):
    with socket.socket() as s:  # a port that nothing listens on
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    for address in (f"tcp://127.0.0.1:{port}", "no-port-here"):
        proc = run("many_events.py", "--scheduler", address, "--timeout", "2", cwd=tmp_path,
                   check=False)
        assert proc.returncode == 1 and "Traceback" not in proc.stderr, proc.stderr
        assert f"cannot reach the Dask scheduler at {address} within 2 s" in proc.stderr
        assert proc.stdout == ""  # nothing was fitted


def test_help_and_bad_options(tmp_path):
    proc = run("many_events.py", "--help", cwd=tmp_path)
    assert proc.stdout.startswith("usage: many_events.py") and "--scheduler" in proc.stdout
    for bad in (["--workers", "1,x"], ["--workers", "0"], ["--events", "0"], ["4", "3"]):
        proc = run("many_events.py", *bad, cwd=tmp_path, check=False)
        assert proc.returncode == 2 and "usage:" in proc.stderr, bad
    assert list(tmp_path.iterdir()) == []


def test_missing_packages_are_named(tmp_path):
    proc = run("many_events.py", "--events", "2", check=False, block=["dask", "dask.distributed"],
               cwd=tmp_path)
    assert proc.returncode == 1 and "Traceback" not in proc.stderr
    assert "pip install '.[examples]'" in proc.stderr and "dask" in proc.stderr
