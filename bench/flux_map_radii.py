"""How many radii a flux map needs for a smooth limb-darkening law.

A flux map is linear in r between its radii, so a law that is not (any law
in mu = sqrt(1 - r^2), steep at the limb) is represented only approximately.
This script tabulates the linear law with coefficient 0.6 on n radii, spaced
evenly in r, evenly in mu (crowded towards the limb), or as r = sin(theta)
with theta even in [0, pi/2] (even in r at the centre, in mu at the limb:
the interpolation error falls like 1/n^2), and compares
integrated_flux_map_heyrovsky_magnification with the exact magnification of
that law, integrated_heyrovsky_magnification, over separations from the
centre to three stellar radii (rho = 0.01 and 0.1).  It prints the worst
relative error and the time per separation (best of five calls).

Run:  python bench/flux_map_radii.py
"""

import math
import time

import halomag

A = 0.6
SIZES = (6, 11, 21, 51, 101, 201, 501, 1001)
SEPARATIONS = [3.0 * i / 60 for i in range(61)] + [0.999, 1.001]


def law(r):
    return 1.0 - A * (1.0 - math.sqrt(max(0.0, 1.0 - r * r)))


def radii(n, spacing):
    if spacing == "r":
        return [i / (n - 1) for i in range(n)]
    if spacing == "mu":
        # Evenly in mu = sqrt(1 - r^2), from mu = 1 (centre) to mu = 0 (limb).
        return [math.sqrt(1.0 - (1.0 - i / (n - 1)) ** 2) for i in range(n)]
    # r = sin(theta), theta even in [0, pi/2]: even in r at the centre and in
    # mu = cos(theta) at the limb.
    return [math.sin(0.5 * math.pi * i / (n - 1)) for i in range(n)]


def main():
    print("| radii | spacing | worst rel. error, rho = 0.01 | rho = 0.1 | µs per separation |")
    print("|---|---|---|---|---|")
    for n in SIZES:
        for spacing in ("r", "mu", "theta"):
            bl = radii(n, spacing)
            bf = [law(r) for r in bl]
            worst = []
            elapsed = 0.0
            for rho in (0.01, 0.1):
                exact = halomag.integrated_heyrovsky_magnification(SEPARATIONS, 1.0, rho)
                # Best of five: one call is too short for the process clock.
                times = []
                for _ in range(5):
                    start = time.perf_counter()
                    mapped = halomag.integrated_flux_map_heyrovsky_magnification(
                        SEPARATIONS, 1.0, rho, bl, bf)
                    times.append(time.perf_counter() - start)
                elapsed += min(times)
                worst.append(max(abs(m - e) / e for m, e in zip(mapped, exact)))
            us = 1e6 * elapsed / (2 * len(SEPARATIONS))
            name = {"r": "even in r", "mu": "even in mu", "theta": "r = sin(theta), even in theta"}
            print(f"| {n} | {name[spacing]} | {worst[0]:.1e} | {worst[1]:.1e} | {us:.1f} |")


if __name__ == "__main__":
    main()
