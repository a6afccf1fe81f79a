"""Fit a simulated finite-source microlensing event with halomag.

A point lens crosses the disk of a limb-darkened source star.  This script
simulates the event as three ground-based telescopes on different continents
would see it (a survey that visits once a night per site, a follow-up
campaign every 20 minutes over the crossing, nights lost to weather,
photon noise plus a 0.4 % floor), then fits the five parameters of the
magnification with scipy.optimize.least_squares:

    t0   time of closest approach [HJD - 2460000]
    u0   impact parameter [Einstein radii]
    tE   Einstein crossing time [days]
    rho  source radius [Einstein radii]
    a    linear limb-darkening coefficient, I(r)/I(0) = 1 - a (1 - sqrt(1 - r^2))

The magnification for any coefficient a comes from two halomag calls
(README.md, "Any linear limb-darkening coefficient"):

    A(a) = [(1 - a) A_U + a (2/3) (2 M - A_U)] / (1 - a/3),

A_U = witt_mao_magnification (uniform disk), M = integrated_heyrovsky_magnification
(a = 0.6).  The observed flux is F = Fs A + Fb; for every trial of the five
parameters the source and blend fluxes Fs, Fb are solved by weighted linear
least squares, so the optimiser searches only the five.  The uncertainties
come from the Jacobian at the best fit (Gauss-Newton covariance, fluxes
included).  The script prints true and fitted values, the number of light
curves computed and the time per light curve, and saves a plot of the data,
the model and the residuals (fit_event.png, or --output).

Run:  python examples/fit_event.py [--epochs N] [--seed S] [--output PATH]
(needs numpy, scipy and matplotlib: pip install '.[examples]')
"""

import argparse
import math
import sys
import time

try:
    import numpy as np
    from scipy.optimize import least_squares
except ImportError:
    sys.exit("fit_event.py needs numpy and scipy: pip install '.[examples]' "
             "(from the halomag source directory)")

import halomag

NAMES = ("t0", "u0", "tE", "rho", "a")
UNITS = ("HJD'", "", "d", "", "")
TRUE = dict(t0=412.35, u0=0.012, tE=22.5, rho=0.031, a=0.55)
FS, FB = 1.0, 0.35            # source and blend flux; flux 1 is I = 19.0
ZERO_POINT = 19.0
SITES = ((-0.30, "Chile"), (0.05, "South Africa"), (0.40, "Australia"))  # night start [d]


class Magnification:
    """The light curve A(t) of a limb-darkened source for parameters
    (t0, u0, tE, rho, a), from two halomag calls.  Results for the last few
    (t0, u0, tE, rho) are kept, since a step in a alone needs no new call."""

    def __init__(self, times):
        self.times = np.asarray(times, dtype=float)
        self.cache = {}
        self.light_curves = 0      # pairs of halomag calls made
        self.seconds = 0.0         # processor time spent in them

    def parts(self, t0, u0, te, rho):
        key = (t0, u0, te, rho)
        if key not in self.cache:
            tau = (self.times - t0) / te
            l = np.hypot(u0, tau) / rho          # separations in stellar radii
            # Processor time, which other programs on the machine do not inflate.
            start = time.process_time()
            # re = 1 and rstar = rho: both in Einstein radii.
            uniform = halomag.witt_mao_magnification(l, 1.0, rho)
            builtin = halomag.integrated_heyrovsky_magnification(l, 1.0, rho)
            self.seconds += time.process_time() - start
            self.light_curves += 1
            if len(self.cache) > 8:
                self.cache.clear()
            self.cache[key] = (np.array(uniform), np.array(builtin))
        return self.cache[key]

    def __call__(self, theta):
        t0, u0, te, rho, a = theta
        uniform, builtin = self.parts(t0, u0, te, rho)
        return ((1.0 - a) * uniform + a * (2.0 / 3.0) * (2.0 * builtin - uniform)) / (1.0 - a / 3.0)

    def d_da(self, theta):
        """dA/da = (4/3) (M - A_U) / (1 - a/3)^2, exactly."""
        t0, u0, te, rho, a = theta
        uniform, builtin = self.parts(t0, u0, te, rho)
        return (4.0 / 3.0) * (builtin - uniform) / (1.0 - a / 3.0) ** 2


def point_source(u):
    return (u * u + 2.0) / (u * np.sqrt(u * u + 4.0))


def schedule(rng, epochs):
    """About `epochs` observing times: 55 % survey over t0 +- 60 d (one visit
    a night per site), 45 % follow-up every 20 minutes over t0 +- 1.5 d, at
    night only, with a third of the nights clouded out.  Returns times and
    the index of the site of each."""
    t0 = TRUE["t0"]
    survey, follow = [], []
    for day in range(math.floor(t0) - 60, math.floor(t0) + 61):
        for site, (start, _) in enumerate(SITES):
            if rng.random() < 1.0 / 3.0:
                continue  # weather
            night = day + start
            survey.append((night + rng.uniform(0.0, 0.30), site))
            for t in np.arange(night, night + 0.30, 20.0 / 1440.0):
                if abs(t - t0) < 1.5:
                    follow.append((t + rng.normal(0.0, 0.002), site))
    n_follow = min(len(follow), round(0.45 * epochs))
    n_survey = min(len(survey), epochs - n_follow)
    picked = [survey[i] for i in rng.choice(len(survey), n_survey, replace=False)]
    picked += [follow[i] for i in rng.choice(len(follow), n_follow, replace=False)]
    picked.sort()
    return np.array([t for t, _ in picked]), np.array([s for _, s in picked])


def flux_errors(flux):
    """Photon noise of source and sky (2 % at baseline) and a 0.4 % floor."""
    return np.sqrt((0.004 * flux) ** 2 + 0.0148 ** 2 * (flux + 2.0))


def fluxes(model, flux, sigma):
    """Fs, Fb minimising sum(((flux - Fs model - Fb) / sigma)^2)."""
    w = 1.0 / sigma ** 2
    s_aa, s_a, s_1 = np.sum(w * model * model), np.sum(w * model), np.sum(w)
    s_af, s_f = np.sum(w * model * flux), np.sum(w * flux)
    det = s_aa * s_1 - s_a * s_a
    return (s_af * s_1 - s_a * s_f) / det, (s_aa * s_f - s_a * s_af) / det


def covariance(magnification, theta, fs, flux, sigma):
    """Gauss-Newton covariance of (t0, u0, tE, rho, a, Fs, Fb) at the best fit:
    central differences for the first four, exact derivatives for the rest."""
    model = magnification(theta)
    columns = []
    for j, h in enumerate((1e-5, 1e-6, 1e-5, 1e-7)):
        up, down = theta.copy(), theta.copy()
        up[j] += h
        down[j] -= h
        columns.append(fs * (magnification(up) - magnification(down)) / (2.0 * h))
    columns += [fs * magnification.d_da(theta), model, np.ones_like(model)]
    jac = np.column_stack(columns) / sigma[:, None]
    return np.linalg.inv(jac.T @ jac)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--epochs", type=int, default=360, help="number of epochs (default 360)")
    parser.add_argument("--seed", type=int, default=2, help="random seed of the simulation")
    parser.add_argument("--output", default="fit_event.png", metavar="PATH",
                        help="the plot (default fit_event.png)")
    args = parser.parse_args(argv)
    rng = np.random.default_rng(args.seed)

    # Simulated data.
    times, sites = schedule(rng, args.epochs)
    truth = np.array([TRUE[name] for name in NAMES])
    true_flux = FS * Magnification(times)(truth) + FB
    sigma = flux_errors(true_flux)
    flux = true_flux + rng.normal(0.0, sigma)
    in_crossing = np.sum(np.abs(times - TRUE["t0"]) < TRUE["rho"] * TRUE["tE"])
    print(f"simulated {len(times)} epochs over {times.max() - times.min():.0f} days, "
          f"{in_crossing} while the lens is inside the source disk")

    # The fit: five parameters, the two fluxes solved at every step.
    magnification = Magnification(times)

    def residuals(theta):
        model = magnification(theta)
        fs, fb = fluxes(model, flux, sigma)
        return (flux - fs * model - fb) / sigma

    start = np.array([times[np.argmax(flux)], 0.02, 20.0, 0.04, 0.5])
    lower = [times.min(), 0.0, 1.0, 1e-4, 0.0]
    upper = [times.max(), 1.0, 300.0, 0.5, 1.0]
    print("start:  " + "  ".join(f"{n} = {v:.5g}" for n, v in zip(NAMES, start)))
    began = time.perf_counter()
    result = least_squares(residuals, start, bounds=(lower, upper), x_scale="jac",
                           xtol=1e-10, ftol=1e-10)
    fit_seconds = time.perf_counter() - began
    theta = result.x
    model = magnification(theta)
    fs, fb = fluxes(model, flux, sigma)
    chi2 = float(np.sum(residuals(theta) ** 2))
    dof = len(times) - 7
    fit_curves, fit_time = magnification.light_curves, magnification.seconds
    errors = np.sqrt(np.diag(covariance(magnification, theta.copy(), fs, flux, sigma)))

    print(f"least_squares: {result.message} ({result.nfev} residual evaluations)")
    print(f"chi2 = {chi2:.1f} for {dof} degrees of freedom")
    print(f"{'parameter':>10} {'true':>12} {'fitted':>12} {'error':>10} {'(fit - true)/error':>19}")
    for name, unit, true, value, error in zip(NAMES + ("Fs", "Fb"), UNITS + ("", ""),
                                              list(truth) + [FS, FB], list(theta) + [fs, fb],
                                              errors):
        label = f"{name} [{unit}]" if unit else name
        print(f"{label:>10} {true:12.7g} {value:12.7g} {error:10.2g} {(value - true) / error:19.2f}")
    print(f"light curves computed: {fit_curves} ({len(times)} epochs each, for the "
          f"residuals and the Jacobians) in {fit_seconds:.2f} s of fitting")
    print(f"time per light curve: {1e3 * fit_time / fit_curves:.2f} ms "
          f"({1e6 * fit_time / fit_curves / len(times):.1f} us per epoch, both halomag calls, "
          f"processor time)")

    plot(args.output, times, sites, flux, sigma, theta, fs, fb, chi2, dof)


def magnitudes(flux):
    return ZERO_POINT - 2.5 * np.log10(flux)


def plot(path, times, sites, flux, sigma, theta, fs, fb, chi2, dof):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: no plot (pip install '.[examples]')")
        return
    t0, u0, te, rho, a = theta
    mag = magnitudes(flux)
    mag_err = 2.5 / math.log(10.0) * sigma / flux
    fig, axes = plt.subplots(2, 2, figsize=(12, 6.5), sharex="col",
                             gridspec_kw=dict(height_ratios=(3, 1), width_ratios=(1.4, 1)))
    zoom = 2.2 * rho * te
    colours = ("tab:blue", "tab:orange", "tab:green")
    for col, (lo, hi) in enumerate(((times.min() - 1.0, times.max() + 1.0), (t0 - zoom, t0 + zoom))):
        top, bottom = axes[0, col], axes[1, col]
        grid = np.linspace(lo, hi, 1500 if col == 0 else 800)
        model = fs * Magnification(grid)(theta) + fb
        shown = (times >= lo) & (times <= hi)
        residual = mag - magnitudes(fs * Magnification(times)(theta) + fb)
        for site, (_, name) in enumerate(SITES):
            pick = shown & (sites == site)
            style = dict(fmt="o", ms=2.5, elinewidth=0.7, color=colours[site], alpha=0.8)
            top.errorbar(times[pick], mag[pick], mag_err[pick], label=name, **style)
            bottom.errorbar(times[pick], residual[pick], mag_err[pick], **style)
        top.plot(grid, magnitudes(model), color="k", lw=1.0, label="fitted model")
        if col == 1:
            u = np.hypot(u0, (grid - t0) / te)
            extra = top.plot(grid, magnitudes(fs * point_source(u) + fb), ":", color="grey",
                             lw=1.0, label="point source, same t0, u0, tE")
            for edge in (-1, 1):  # the lens enters and leaves the source disk
                t_edge = t0 + edge * te * math.sqrt(max(rho * rho - u0 * u0, 0.0))
                for ax in (top, bottom):
                    line = ax.axvline(t_edge, color="grey", lw=0.6, ls="--",
                                      label="lens on the limb")
            extra.append(line)
            top.set_ylim(magnitudes(model).max() + 0.3, magnitudes(model).min() - 0.25)
            top.set_title(f"the crossing: rho = {rho:.4f}, a = {a:.2f}", fontsize=10)
            top.legend(handles=extra, loc="lower center", fontsize=9)
        else:
            top.invert_yaxis()
            top.set_title(f"{len(times)} epochs: t0 = {t0:.4f}, u0 = {u0:.4f}, tE = {te:.2f} d",
                          fontsize=10)
        bottom.axhline(0.0, color="k", lw=0.8)
        bottom.set_ylim(*((-0.1, 0.1) if col == 0 else (-0.04, 0.04)))
        bottom.set_xlabel("HJD - 2460000")
        top.grid(alpha=0.3)
        bottom.grid(alpha=0.3)
        top.set_xlim(lo, hi)
    axes[0, 0].set_ylabel("I [mag]")
    axes[1, 0].set_ylabel("data - model")
    axes[0, 0].legend(loc="upper left", fontsize=9)
    save_figure(fig, path, "simulated event fitted with halomag and "
                f"scipy.optimize.least_squares: chi2 = {chi2:.0f} for {dof} degrees of freedom")


def save_figure(fig, path, title):
    """Titles, lays out and writes a figure, and says where."""
    fig.suptitle(title, fontsize=11)
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    print(f"wrote {path}")


if __name__ == "__main__":
    main()
