"""Time per magnification from Python, as a user calls each function, and
scipy.special's time per element for the elliptic integrals on the same
arguments as bench_core.cpp.

Run:  python bench/bench_python.py   (needs numpy and scipy)
"""

import math
import statistics
import time

import numpy as np

import halomag


def best(f, repeat=5):
    times = []
    for _ in range(repeat):
        t = time.perf_counter()
        f()
        times.append(time.perf_counter() - t)
    return statistics.median(times)


def main():
    l = [3.0 * (i + 0.5) / 100000 for i in range(100000)]
    t = best(lambda: halomag.witt_mao_magnification(l, 1.0, 0.1))
    print(f"witt_mao_magnification, list of 1e5        {t / 1e5 * 1e6:8.3f} us per separation")
    t = best(lambda: [halomag.heyrovsky_magnification(x, 0.37, 1.0, 0.1) for x in l[:20000]])
    print(f"heyrovsky_magnification, scalar calls      {t / 2e4 * 1e6:8.3f} us per call")

    big = np.linspace(0.0, 3.0, 1_000_000)
    strided = np.linspace(0.0, 3.0, 2_000_000)[::2]  # not contiguous: element by element
    t_fast = best(lambda: halomag.witt_mao_magnification(big, 1.0, 0.1), 3)
    t_slow = best(lambda: halomag.witt_mao_magnification(strided, 1.0, 0.1), 3)
    t_conv = best(lambda: halomag.witt_mao_magnification(big[:0], 1.0, 0.1), 3)
    print(f"witt_mao_magnification, 1e6 float64 array  {t_fast / 1e6 * 1e6:8.3f} us per separation "
          f"(buffer path); {t_slow / 1e6 * 1e6:.3f} us through iteration")

    l100 = [3.0 * (i + 0.5) / 100 for i in range(100)]
    bl = [j / 10 for j in range(11)]
    bf = [1 - 0.6 * (1 - math.sqrt(1 - r * r)) for r in bl]
    for name, call in [
        ("integrated_witt_mao_magnification", lambda: halomag.integrated_witt_mao_magnification(l100, 1.0, 0.1)),
        ("integrated_heyrovsky_magnification", lambda: halomag.integrated_heyrovsky_magnification(l100, 1.0, 0.1)),
        ("integrated_flux_map_witt_mao (11 pt)",
         lambda: halomag.integrated_flux_map_witt_mao_magnification(l100, 1.0, 0.1, bl, bf)),
        ("integrated_flux_map_heyrovsky (11 pt)",
         lambda: halomag.integrated_flux_map_heyrovsky_magnification(l100, 1.0, 0.1, bl, bf)),
        ("discrete_flux_map_heyrovsky (11 pt)",
         lambda: halomag.discrete_flux_map_heyrovsky_magnification(l100, 1.0, 0.1, bl, bf)),
    ]:
        print(f"{name:42s} {best(call, 3) / 100 * 1e6:8.2f} us per separation")

    # The ring route on the light curve of a typical finite-source event
    # (rho = 0.01, u0 = 0.005, 2000 epochs over t/tE in [-2, 2]; l = u/rho)
    # and on the near-field grid with the built-in law and 11- and 101-knot
    # tables.
    rho = 0.01
    curve = [math.sqrt(0.005 ** 2 + (-2 + 4 * i / 1999) ** 2) / rho for i in range(2000)]
    t = best(lambda: halomag.integrated_heyrovsky_magnification(curve, 1.0, rho), 15)
    print(f"light curve, integrated_heyrovsky           {t / 2000 * 1e6:8.3f} us per point")
    grid = [0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.85, 1.0, 1.2, 1.5, 2.0, 3.0, 5.0, 10.0,
            20.0, 30.0]
    for d in (1e-1, 3e-2, 1e-2, 3e-3, 1e-3, 1e-4, 1e-5, 1e-6):
        grid += [1 - d, 1 + d]
    mu = [math.sqrt(max(0.0, 1 - r * r)) for r in (math.sin(math.pi * k / 200) for k in range(101))]
    bl101 = [math.sin(math.pi * k / 200) for k in range(100)] + [1.0]
    bf101 = [1 - 0.5 * (1 - m) - 0.2 * (1 - m) ** 2 for m in mu]
    for r in (1e-3, 1e-2, 0.1):
        t0 = best(lambda: halomag.integrated_heyrovsky_magnification(grid, 1.0, r), 15)
        t1 = best(lambda: halomag.integrated_flux_map_heyrovsky_magnification(grid, 1.0, r, bl, bf), 15)
        t2 = best(lambda: halomag.integrated_flux_map_heyrovsky_magnification(grid, 1.0, r, bl101, bf101), 15)
        n = len(grid)
        print(f"near field rho = {r:<5g} built-in {t0 / n * 1e6:6.2f}, 11 knots {t1 / n * 1e6:6.2f} "
              f"({t1 / t0:.1f}x), 101 knots {t2 / n * 1e6:6.2f} ({t2 / t0:.1f}x) us per point")

    try:
        import scipy.special as sc
    except ImportError:
        return
    i = np.arange(4096)
    ll, r, u = 3.0 * (i + 0.5) / 4096, np.fmod(0.618 * i, 1.0), 1.0
    g, s = ll - r, ll + r
    q = 4 * u * u + g * g
    cn = (g / s) ** 2
    cm = cn * (s * s + 4 * u * u) / q
    reps = 500
    for name, f in [("elliprf(0, 1-m, 1)", lambda: sc.elliprf(0.0, cm, 1.0)),
                    ("elliprj(0, 1-m, 1, 1-n)", lambda: sc.elliprj(0.0, cm, 1.0, cn)),
                    ("elliprc(1-m, 2-n)", lambda: sc.elliprc(cm, 1.0 + cn)),
                    ("elliprd(1-m, 1, 2-n)", lambda: sc.elliprd(cm, 1.0, 1.0 + cn)),
                    ("ellipk(m)", lambda: sc.ellipk(1 - cm)),
                    ("ellipe(m)", lambda: sc.ellipe(1 - cm))]:
        t = best(lambda: [f() for _ in range(reps // 10)])
        print(f"scipy.special {name:26s} {t / (reps // 10) / 4096 * 1e9:7.1f} ns per element")


if __name__ == "__main__":
    main()
