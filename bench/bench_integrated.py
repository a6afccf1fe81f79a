"""Microseconds per separation of the five profile-weighted magnifications
called from Python: 100 separations over 0 to 3 stellar radii, re = 1,
rstar = 0.1, the built-in limb darkening and an 11-point flux map (the
built-in law sampled at r = 0, 0.1, ..., 1).  The C++ figures without the
call overhead, and the quadrature pieces behind them, come from
bench/bench_integrated.cpp.

Run:  python bench/bench_integrated.py
"""

import math
import time

import halomag


def best(f, repeat=5):
    times = []
    for _ in range(repeat):
        t = time.perf_counter()
        f()
        times.append(time.perf_counter() - t)
    return min(times)


def main():
    l = [3.0 * (i + 0.5) / 100 for i in range(100)]
    bl = [k / 10 for k in range(11)]
    bf = [(1 - math.sqrt(1 - r * r)) * -0.6 + 1 for r in bl]
    re, rstar = 1.0, 0.1
    cases = [
        ("integrated_witt_mao_magnification", lambda: halomag.integrated_witt_mao_magnification(l, re, rstar)),
        ("integrated_heyrovsky_magnification", lambda: halomag.integrated_heyrovsky_magnification(l, re, rstar)),
        ("integrated_flux_map_witt_mao_magnification (11 pt)",
         lambda: halomag.integrated_flux_map_witt_mao_magnification(l, re, rstar, bl, bf)),
        ("integrated_flux_map_heyrovsky_magnification (11 pt)",
         lambda: halomag.integrated_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf)),
        ("discrete_flux_map_heyrovsky_magnification (11 pt)",
         lambda: halomag.discrete_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf)),
    ]
    print(f"{len(l)} separations over 0 to 3 stellar radii, re = {re}, rstar = {rstar}")
    for name, f in cases:
        print(f"{name:52s} {best(f) / len(l) * 1e6:9.2f} us per separation")


if __name__ == "__main__":
    main()
