"""scipy.special's time per element on the arguments of bench_ellip.cpp.

The parameters are built by the same formulas in double arithmetic, so both
programs see the same numbers; each function is called on the whole numpy
array, the best of several repeats is kept, and the time is divided by the
number of elements.  Run: python bench/bench_ellip_scipy.py
"""

import math
import timeit

import numpy as np
import scipy
import scipy.special as sp

N = 4096


def parameter(i: int, phase: float) -> float:
    u = math.fmod(0.6180339887498949 * i + phase, 1.0)
    if i % 2 == 0:
        return 0.001 + 0.998 * u
    return 1.0 - math.pow(10.0, -2.0 - 13.0 * u)


def main() -> None:
    m = np.array([parameter(i, 0.0) for i in range(N)])
    cm = 1.0 - m
    cn = 1.0 - np.array([parameter(i, 0.5) for i in range(N)])
    zeros, ones = np.zeros(N), np.ones(N)
    cases = [
        ("elliprf(0, 1-m, 1)", lambda: sp.elliprf(zeros, cm, ones)),
        ("elliprc(1-m, 1)", lambda: sp.elliprc(cm, ones)),
        ("elliprd(0, 1-m, 1)", lambda: sp.elliprd(zeros, cm, ones)),
        ("elliprj(0, 1-m, 1, 1-n)", lambda: sp.elliprj(zeros, cm, ones, cn)),
        ("ellipk(m)", lambda: sp.ellipk(m)),
        ("ellipe(m)", lambda: sp.ellipe(m)),
    ]
    print(f"scipy {scipy.__version__}, numpy {np.__version__}: ns per element ({N} elements)")
    for name, call in cases:
        assert np.all(np.isfinite(call()))
        best = min(timeit.repeat(call, number=100, repeat=7)) / 100
        print(f"  {name:<24} {best / N * 1e9:7.1f}")


if __name__ == "__main__":
    main()
