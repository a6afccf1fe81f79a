#!/usr/bin/env python3
"""Speed of halomag's profile-weighted magnifications against VBMicrolensing
on the comparison grid, from Python, in the same run.

Grid: l = u/rho in [0, 30], dense at the limb (1 +- 1e-1 ... 1 +- 1e-6; the
separations of scripts/gen_comparison_reference.py), for large sources
(rho = 0.5, 1, 2) and small ones (rho = 1e-3, 1e-2, 0.1); re = 1,
rstar = rho.  halomag: one list call per rho; flux maps of the linear law
(a = 0.6) at r = sin(pi k/2n).  VBMicrolensing: ESPLMag2 with linear limb
darkening a1 = 0.6 at its default tolerance, a Python loop over the points.
Times are the median of repeated passes, in microseconds per point.  The
last column is VBMicrolensing's time over halomag's (above 1: halomag
faster), taken pass by pass, each pass timing VBMicrolensing and halomag
back to back on the same rho, and its median over the passes: on a shared
machine whose speed drifts from second to second, times measured apart
carry the drift into their ratio; back-to-back pairs cancel most of it.

Run:  pip install '.[bench]'  then  python bench/bench_large_sources.py
"""

import math
import statistics
import time

import halomag

LD_A = 0.6
OFFSETS = (1e-1, 3e-2, 1e-2, 3e-3, 1e-3, 1e-4, 1e-5, 1e-6)
GRID = sorted({0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.85, 1.0, 1.2, 1.5, 2.0, 3.0, 5.0,
               10.0, 20.0, 30.0} | {1.0 - d for d in OFFSETS} | {1.0 + d for d in OFFSETS})
LARGE = (0.5, 1.0, 2.0)
SMALL = (1e-3, 1e-2, 0.1)
REPEATS = 51


def law(r):
    return 1.0 - LD_A * (1.0 - math.sqrt(max(0.0, 1.0 - r * r)))


def sine_table(n):
    bl = [math.sin(math.pi * k / (2 * (n - 1))) for k in range(n)]
    bl[-1] = 1.0
    return bl, [law(r) for r in bl]


def timed(call):
    t = time.perf_counter()
    call()
    return time.perf_counter() - t


def paired(halo, peer, rhos, n):
    """Median us per point of halo (summed over rhos) and, if peer is given,
    the median of the passes' peer/halo ratios."""
    times, ratios = [], []
    for _ in range(REPEATS):
        h = p = 0.0
        for rho in rhos:
            h += timed(halo(rho))
            if peer is not None:
                p += timed(peer(rho))
        times.append(h)
        if peer is not None:
            ratios.append(p / h)
    per_point = statistics.median(times) / (n * len(rhos)) * 1e6
    return per_point, (statistics.median(ratios) if ratios else None)


def main():
    try:
        import VBMicrolensing
    except ImportError:
        VBMicrolensing = None
    methods = [("integrated_heyrovsky_magnification",
                lambda rho: lambda: halomag.integrated_heyrovsky_magnification(GRID, 1.0, rho))]
    for n in (5, 11, 51):
        bl, bf = sine_table(n)
        methods.append((f"integrated_flux_map_heyrovsky, {n} knots",
                        lambda rho, bl=bl, bf=bf: lambda: halomag.integrated_flux_map_heyrovsky_magnification(
                            GRID, 1.0, rho, bl, bf)))
        methods.append((f"integrated_flux_map_witt_mao, {n} knots",
                        lambda rho, bl=bl, bf=bf: lambda: halomag.integrated_flux_map_witt_mao_magnification(
                            GRID, 1.0, rho, bl, bf)))
    peer = None
    if VBMicrolensing is not None:
        v = VBMicrolensing.VBMicrolensing()
        v.a1 = LD_A

        def peer(rho):
            us = [x * rho for x in GRID]
            return lambda: [v.ESPLMag2(u, rho) for u in us]
    print(f"{len(GRID)} separations l = u/rho in [0, 30]; median of {REPEATS} passes, us per point")
    for name, rhos in (("rho 0.5, 1, 2", LARGE), ("rho 1e-3, 1e-2, 0.1", SMALL)):
        if peer is not None:
            vbm, _ = paired(peer, None, rhos, len(GRID))
            print(f"\n{name}: VBMicrolensing ESPLMag2, a1 = 0.6, Tol {v.Tol:g} (default): {vbm:.3f}")
        else:
            print(f"\n{name}")
        for label, make in methods:
            t, ratio = paired(make, peer, rhos, len(GRID))
            shown = f"  VBM/halomag {ratio:5.2f}" if ratio is not None else ""
            print(f"  {label:44s} {t:7.3f}{shown}")


if __name__ == "__main__":
    main()
