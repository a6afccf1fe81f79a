"""Light curve of a transit event: a point lens crossing the disk of a star.

A star of radius rho = 0.01 Einstein radii is crossed by the lens with an
impact parameter of 0.002 Einstein radii.  The magnification is computed for
a point source, a uniform disk (Witt & Mao) and a limb-darkened disk
(linear law, coefficient 0.6, Heyrovsky's ring decomposition), printed as a
short table and plotted to light_curve.png in the current directory (or
--output).

Run:  python examples/light_curve.py [--output PATH]
(plotting needs matplotlib: pip install '.[examples]')
"""

import argparse
import math

import halomag

RHO = 0.01            # stellar radius in Einstein radii
RE, RSTAR = 1.0, RHO  # only the ratio enters
U0 = 0.002            # impact parameter, Einstein radii
TE = 20.0             # Einstein crossing time, days
EPOCHS = 400


def point_source(u):
    return (u * u + 2.0) / (u * math.sqrt(u * u + 4.0))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--output", default="light_curve.png", metavar="PATH",
                        help="the plot (default light_curve.png)")
    path = parser.parse_args(argv).output
    half_span = 3.0 * RHO * TE  # three stellar radii either side of the peak
    times = [-half_span + 2.0 * half_span * i / (EPOCHS - 1) for i in range(EPOCHS)]
    u = [math.hypot(U0, t / TE) for t in times]
    l = [x / RHO for x in u]  # separations in stellar radii

    point = [point_source(x) for x in u]
    uniform = halomag.witt_mao_magnification(l, RE, RSTAR)
    limb = halomag.integrated_heyrovsky_magnification(l, RE, RSTAR)

    print(f"{'t [d]':>8} {'u':>10} {'point':>12} {'uniform':>12} {'limb-dark.':>12}")
    for i in range(0, EPOCHS, EPOCHS // 16):
        print(f"{times[i]:8.3f} {u[i]:10.6f} {point[i]:12.4f} {uniform[i]:12.4f} {limb[i]:12.4f}")
    print(f"peak: point {max(point):.2f}, uniform {max(uniform):.4f}, limb-darkened {max(limb):.4f}")

    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: no plot (pip install '.[examples]')")
        return
    fig, ax = plt.subplots(figsize=(8, 5))
    ax.plot(times, point, ":", color="grey", label="point source")
    ax.plot(times, uniform, "-", color="tab:blue", label="uniform disk (Witt & Mao)")
    ax.plot(times, limb, "--", color="tab:red", label="limb-darkened, a = 0.6 (Heyrovsky)")
    ax.set_ylim(0.0, 1.3 * max(max(uniform), max(limb)))
    ax.set_xlabel("time from closest approach [days]")
    ax.set_ylabel("magnification")
    ax.set_title(f"transit event: rho = {RHO}, u0 = {U0}, tE = {TE} d")
    ax.legend(loc="upper right")
    ax.grid(alpha=0.3)
    fig.tight_layout()
    fig.savefig(path, dpi=120)
    print(f"wrote {path}")


if __name__ == "__main__":
    main()
