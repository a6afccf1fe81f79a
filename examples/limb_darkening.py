"""Any linear limb-darkening coefficient, exactly, from two calls.

The linear law I(r)/I(0) = 1 - a (1 - mu), mu = sqrt(1 - r^2), is
(1 - a) x [uniform disk] + a x [the profile mu], and a magnification is the
flux-weighted mean of the magnifications of its parts.  The uniform disk
(flux pi) is witt_mao_magnification; the built-in profile of
integrated_heyrovsky_magnification is 0.4 x [uniform] + 0.6 x [mu] (flux
0.8 pi, and mu has flux 2 pi / 3), so

    M_0.6 = (0.4 pi A_U + 0.6 (2 pi / 3) A_mu) / (0.8 pi)
    =>  A_mu = 2 M_0.6 - A_U,

and for any coefficient a (flux pi (1 - a/3)):

    A(a) = [(1 - a) A_U + a (2/3) (2 M_0.6 - A_U)] / (1 - a/3).

This script prints the magnification of a star crossing the lens for a few
coefficients and plots it to limb_darkening.png (or --output).

Run:  python examples/limb_darkening.py [--output PATH]
(plotting needs matplotlib: pip install '.[examples]')
"""

import argparse

import halomag


def linear_limb_darkening_magnification(l, re, rstar, a):
    """Magnification of a star with I(r)/I(0) = 1 - a (1 - sqrt(1 - r^2)).

    l: separations in stellar radii (list, tuple or 1-d array); re, rstar:
    Einstein and stellar radius in a common unit; a: the linear coefficient.
    Returns a list, one value per separation.
    """
    uniform = halomag.witt_mao_magnification(l, re, rstar)
    builtin = halomag.integrated_heyrovsky_magnification(l, re, rstar)  # a = 0.6
    return [((1.0 - a) * a_u + a * (2.0 / 3.0) * (2.0 * m - a_u)) / (1.0 - a / 3.0)
            for a_u, m in zip(uniform, builtin)]


COEFFICIENTS = (0.0, 0.3, 0.6, 1.0)
RE, RSTAR = 1.0, 0.05  # rho = 0.05


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--output", default="limb_darkening.png", metavar="PATH",
                        help="the plot (default limb_darkening.png)")
    path = parser.parse_args(argv).output
    separations = [0.0, 0.5, 0.9, 1.0, 1.1, 2.0, 5.0]
    curves = {a: linear_limb_darkening_magnification(separations, RE, RSTAR, a)
              for a in COEFFICIENTS}
    print(f"rho = {RSTAR / RE}: magnification for the linear law, coefficient a")
    print(f"{'l / rstar':>10}" + "".join(f"{f'a = {a}':>12}" for a in COEFFICIENTS))
    for i, l in enumerate(separations):
        print(f"{l:10.2f}" + "".join(f"{curves[a][i]:12.6f}" for a in COEFFICIENTS))

    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: no plot (pip install '.[examples]')")
        return
    grid = [2.0 * i / 400 for i in range(401)]
    fig, ax = plt.subplots(figsize=(7, 4.5))
    for a in COEFFICIENTS:
        ax.plot(grid, linear_limb_darkening_magnification(grid, RE, RSTAR, a), label=f"a = {a}")
    ax.axvline(1.0, color="grey", lw=0.8, ls=":")
    ax.set_xlabel("lens-centre separation [stellar radii]")
    ax.set_ylabel("magnification")
    ax.set_title(f"linear limb darkening, rho = {RSTAR / RE}")
    ax.legend()
    ax.grid(alpha=0.3)
    fig.tight_layout()
    fig.savefig(path, dpi=120)
    print(f"wrote {path}")


if __name__ == "__main__":
    main()
