"""Fit the published microlensing event MOA-2008-BLG-310 with halomag.

In July 2008 a lens crossed the disk of its source star while seven
telescopes watched (Janczak et al. 2010, ApJ 711, 731; the photometry is in
examples/data/MB08310/, with its credit).  This script reads their tables,
fits a finite-source point lens and prints the fitted parameters beside the
published ones:

    t0   time of closest approach [HJD]
    u0   impact parameter [Einstein radii]
    tE   Einstein crossing time [days]
    rho  source radius [Einstein radii], and t* = rho tE, the time the lens
         takes to cross one source radius, which the crossing measures best

The source is limb-darkened by the linear law I(r)/I(0) = 1 - a (1 - mu),
mu = sqrt(1 - r^2), with one coefficient a per band (I, R, H, unfiltered).
They are fixed by default at the round values below, typical of a Sun-like
star (they are not the publication's own, which a careful fit should use
instead): the data constrain a only
through the few hours of the crossing, where the planetary anomaly sits too,
so a fitted a would partly absorb the planet instead of describing the star.
--fit-limb-darkening fits them (one per band) to show how far they move;
--limb-darkening BAND=A changes a fixed value.

Each telescope has its own source and blend flux, F = Fs A(t) + Fb, in its
own magnitude system (magnitudes are relative: F = 10^(-0.4 (m - 18))).
For every trial of (t0, u0, tE, rho) the 2 x 7 fluxes are solved by weighted
linear least squares, so scipy.optimize.least_squares searches only the
four.  The magnification for any a comes from two halomag calls, the
uniform disk and the built-in a = 0.6 law (README.md, "Any linear
limb-darkening coefficient"; the Magnification class of fit_event.py),
computed once per trial for all epochs and combined per band.

Error bars.  Photometric pipelines under- or over-state their errors, by
different factors at each telescope, and the planetary anomaly adds
residuals that no point lens explains.  As is usual in microlensing fits,
each telescope's errors are multiplied by the factor k that gives that
telescope chi2 per degree of freedom 1 after a first fit, and the event is
fitted again; the factors are printed.  The parameter errors come from the
Jacobian at the best fit (Gauss-Newton covariance, the fluxes included);
they assume the model is right, which the planet says it is not quite, so
read them as the statistical part only.

The plot shows every telescope's data (aligned to the MOA magnitude scale
through the fitted fluxes), the model and the residuals, over the event and
over the crossing.

Run:  python examples/fit_real_event.py [--json PATH] [--output PATH]
(needs numpy, scipy and matplotlib: pip install '.[examples]')
"""

import argparse
import json
import math
import pathlib
import re
import sys
import time

try:
    import numpy as np
    from scipy.optimize import least_squares
except ImportError:
    sys.exit("fit_real_event.py needs numpy and scipy: pip install '.[examples]' "
             "(from the halomag source directory)")

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
from fit_event import Magnification, fluxes, point_source, save_figure  # noqa: E402  (beside this file)

DATA = HERE / "data" / "MB08310"
PUBLISHED = dict(t0=2454656.39975, u0=0.00300, tE=11.14, tstar=0.05487)
PUBLISHED["rho"] = PUBLISHED["tstar"] / PUBLISHED["tE"]
T_REF = 2454656.0      # the fit works in HJD - T_REF, where a step of 1e-8 day is a number
M_REF = 18.0           # flux 1 is magnitude 18 on each telescope's own scale
# Round linear limb-darkening coefficients typical of a Sun-like star, darker
# in the blue (R) than in the infrared (H); unfiltered CCD light lies between
# R and I.  Not fitted, and not the publication's values: change them with
# --limb-darkening BAND=A.
LIMB_DARKENING = {"R": 0.62, "I": 0.53, "H": 0.36, "unfiltered": 0.58}
COLUMNS = ("JD", "RELATIVE_MAGNITUDE", "MAGNITUDE_UNCERTAINTY")
NAMES = ("t0", "u0", "tE", "rho")


class DataError(Exception):
    """A data directory or file that cannot be used; the message says which
    file and line."""


def read_table(path):
    """One photometry table of the NASA Exoplanet Archive (IPAC format).

    Keyword lines start with a backslash (`\\KEY = "value"`; a backslash
    and no `=` is a comment), then column header lines start with '|'.  The
    first names the columns, and its '|' characters bound them: a value lies
    between the '|' of its column, and an empty cell is a missing value.
    Returns the keywords and the columns JD, magnitude and uncertainty as
    arrays.
    """
    try:
        text = path.read_text(encoding="utf-8")
    except (OSError, UnicodeDecodeError) as error:
        raise DataError(f"{path}: cannot read: {error}") from None
    keywords, cells, rows = {}, None, []
    for number, line in enumerate(text.splitlines(), 1):
        where = f"{path}, line {number}"
        if not line.strip():
            continue
        if line.startswith("\\"):
            key, equals, value = line[1:].partition("=")
            if equals:
                keywords[key.strip()] = value.strip().strip("\"'").strip()
            continue
        if line.startswith("|"):
            if cells is None:
                bars = [i for i, c in enumerate(line.rstrip()) if c == "|"]
                names = [line[a + 1:b].strip() for a, b in zip(bars, bars[1:])]
                missing = [name for name in COLUMNS if name not in names]
                if missing:
                    raise DataError(f"{where}: no column {', '.join(missing)} "
                                    f"in the header (columns: {', '.join(names)})")
                # Each cell runs from its left '|' to the next; the last to the end of the line.
                ends = bars[1:-1] + [None]
                cells = {name: (bars[i], ends[i]) for i, name in enumerate(names)}
            continue
        if cells is None:
            raise DataError(f"{where}: a data line before the '|' column header")
        row = []
        for name in COLUMNS:
            start, end = cells[name]
            cell = line[start:end].strip()
            try:
                value = float(cell)
            except ValueError:
                value = math.nan
            if not math.isfinite(value):
                raise DataError(f"{where}: column {name}: {cell!r} is not a finite number")
            row.append(value)
        if row[2] <= 0.0:
            raise DataError(f"{where}: column {COLUMNS[2]}: {row[2]} is not positive")
        rows.append(row)
    if not rows:
        raise DataError(f"{path}: no data lines")
    stated = keywords.get("NUMBER_OF_POINTS")
    if stated is not None and stated.isdigit() and int(stated) != len(rows):
        raise DataError(f"{path}: NUMBER_OF_POINTS is {stated}, but the file has "
                        f"{len(rows)} data lines (truncated?)")
    jd, mag, err = np.array(rows).T
    return keywords, jd, mag, err


class Telescope:
    """The photometry of one telescope, in flux: F = 10^(-0.4 (m - M_REF))."""

    def __init__(self, path):
        keywords, jd, mag, err = read_table(path)
        match = re.match(r"(.+?)_\d+_PLC_\d+$", path.stem)
        self.name = match.group(1) if match else path.stem
        self.band = keywords.get("TIME_SERIES_DATA_FILTER", "")
        if not self.band:
            raise DataError(f"{path}: no TIME_SERIES_DATA_FILTER keyword (the band)")
        self.times = jd - T_REF
        self.flux = 10.0 ** (-0.4 * (mag - M_REF))
        # dF = F (0.4 ln 10) dm, to first order.
        self.sigma = self.flux * (0.4 * math.log(10.0)) * err
        self.scale = 1.0   # the error-bar factor k, set after the first fit

    def keep(self, pick):
        for name in ("times", "flux", "sigma"):
            setattr(self, name, getattr(self, name)[pick])


def load(directory):
    if not directory.is_dir():
        raise DataError(f"{directory}: no such data directory")
    paths = sorted(directory.glob("*.tbl"))
    if not paths:
        raise DataError(f"{directory}: no photometry tables (*.tbl) in it")
    return [Telescope(path) for path in paths]


class Event:
    """All telescopes together: one magnification curve over all epochs,
    each epoch's limb-darkening coefficient from its band."""

    def __init__(self, telescopes, coefficients, fit_bands):
        self.telescopes = telescopes
        self.times = np.concatenate([t.times for t in telescopes])
        self.flux = np.concatenate([t.flux for t in telescopes])
        bounds = np.cumsum([0] + [len(t.times) for t in telescopes])
        self.rows = [slice(a, b) for a, b in zip(bounds, bounds[1:])]
        band = np.concatenate([[t.band] * len(t.times) for t in telescopes])
        self.coefficients = dict(coefficients)
        self.fit_bands = list(fit_bands)   # bands whose coefficient is a parameter
        self.band_rows = {b: band == b for b in self.coefficients}
        self.magnification = Magnification(self.times)

    @property
    def sigma(self):
        return np.concatenate([t.sigma * t.scale for t in self.telescopes])

    def limb_darkening(self, theta):
        """The coefficient of every epoch: fixed, or theta[4:] for fit_bands."""
        values = dict(self.coefficients, **dict(zip(self.fit_bands, theta[4:])))
        a = np.empty_like(self.times)
        for b, rows in self.band_rows.items():
            a[rows] = values[b]
        return a

    def model(self, theta):
        """The magnification at every epoch."""
        return self.magnification((*theta[:4], self.limb_darkening(theta)))

    def fluxes(self, magnification, sigma):
        return [fluxes(magnification[rows], self.flux[rows], sigma[rows]) for rows in self.rows]

    def residuals(self, theta):
        magnification, sigma = self.model(theta), self.sigma
        model = np.empty_like(magnification)
        for rows, (fs, fb) in zip(self.rows, self.fluxes(magnification, sigma)):
            model[rows] = fs * magnification[rows] + fb
        return (self.flux - model) / sigma

    def covariance(self, theta):
        """Gauss-Newton covariance of theta and the fluxes (Fs, Fb per
        telescope, in that order after theta): central differences in theta
        (halomag's values are smooth to rounding, so small steps are safe),
        exact columns for the fluxes, which enter linearly."""
        sigma = self.sigma
        magnification = self.model(theta)
        fs = np.empty_like(magnification)
        flux_pairs = self.fluxes(magnification, sigma)
        for rows, (f, _) in zip(self.rows, flux_pairs):
            fs[rows] = f
        columns = []
        for j, value in enumerate(theta):
            h = 1e-6 if j == 0 or j >= 4 else 1e-6 * abs(value)  # t0 and a: absolute
            up, down = theta.copy(), theta.copy()
            up[j] += h
            down[j] -= h
            columns.append(fs * (self.model(up) - self.model(down)) / (2.0 * h))
        for rows in self.rows:
            for column in (magnification, np.ones_like(magnification)):
                c = np.zeros_like(magnification)
                c[rows] = column[rows]
                columns.append(c)
        jac = np.column_stack(columns) / sigma[:, None]
        return np.linalg.inv(jac.T @ jac), flux_pairs


def fit(event, t0, extra, lower, upper):
    """The best of a few starts.  A lens that crosses its source leaves the
    optimiser local minima (rho at a bound, or tE and u0 trading against the
    fluxes), and no single start reaches the crossing from every side; two
    impact parameters, one ten times the other, do here."""
    starts = [np.array([t0, u0, 10.0, 0.02] + extra) for u0 in (0.03, 0.003)]
    return min((solve(event, start, lower, upper) for start in starts), key=lambda r: r.cost)


def solve(event, start, lower, upper):
    return least_squares(event.residuals, start, bounds=(lower, upper), x_scale="jac",
                         xtol=1e-12, ftol=1e-12)


def peak_time(telescopes):
    """The epoch most magnified over its telescope's median: within a few
    hours of t0 (the crossing lasts two), which is all a start needs."""
    best = max(telescopes, key=lambda t: np.max(t.flux / np.median(t.flux)))
    return best.times[np.argmax(best.flux / np.median(best.flux))]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--data", type=pathlib.Path, default=DATA, metavar="DIR",
                        help="directory of the photometry tables (default: the copy in "
                             "examples/data/MB08310)")
    parser.add_argument("--output", default="fit_real_event.png", metavar="PATH",
                        help="the plot (default fit_real_event.png)")
    parser.add_argument("--json", metavar="PATH",
                        help="also write the fitted parameters and their errors as JSON")
    parser.add_argument("--window", type=float, metavar="DAYS",
                        help="use only the epochs within DAYS of the peak (a quick subset)")
    parser.add_argument("--fit-limb-darkening", action="store_true",
                        help="fit one linear limb-darkening coefficient per band")
    parser.add_argument("--limb-darkening", action="append", default=[], metavar="BAND=A",
                        help="fixed coefficient of a band (default: " +
                             ", ".join(f"{b}={a}" for b, a in LIMB_DARKENING.items()) + ")")
    args = parser.parse_args(argv)
    coefficients = dict(LIMB_DARKENING)
    for item in args.limb_darkening:
        band, _, value = item.partition("=")
        try:
            coefficients[band] = float(value)
        except ValueError:
            parser.error(f"--limb-darkening {item!r}: expected BAND=number, e.g. I=0.55")

    try:
        telescopes = load(args.data)
    except DataError as error:
        sys.exit(f"fit_real_event.py: {error}")
    unknown = sorted({t.band for t in telescopes} - set(coefficients))
    if unknown:
        sys.exit(f"fit_real_event.py: no limb-darkening coefficient for band "
                 f"{', '.join(unknown)}: give one with --limb-darkening BAND=A")
    t0 = peak_time(telescopes)
    if args.window is not None:
        for t in telescopes:
            t.keep(np.abs(t.times - t0) <= args.window)
        telescopes = [t for t in telescopes if len(t.times) > 2]
        if not telescopes:
            sys.exit(f"fit_real_event.py: no telescope has 3 epochs within {args.window} days "
                     "of the peak")
    bands = sorted({t.band for t in telescopes}, key=list(coefficients).index)
    fit_bands = bands if args.fit_limb_darkening else []
    coefficients = {b: coefficients[b] for b in bands}
    event = Event(telescopes, coefficients, fit_bands)
    print(f"MOA-2008-BLG-310: {len(event.times)} epochs from {len(telescopes)} telescopes "
          f"({', '.join(f'{t.name} {len(t.times)}' for t in telescopes)})")

    extra = [coefficients[b] for b in fit_bands]
    lower = [t0 - 1.0, 1e-6, 0.5, 1e-5] + [0.0] * len(fit_bands)
    upper = [t0 + 1.0, 1.0, 500.0, 0.2] + [1.0] * len(fit_bands)
    began = time.perf_counter()
    result = fit(event, t0, extra, lower, upper)
    chi2_published_errors = 2.0 * result.cost
    # Each telescope's error bars scaled to chi2 = its degrees of freedom
    # (its epochs less its two fluxes), and the fit again from there.  The
    # factors barely change in a second round, so one is enough.
    for rows, t in zip(event.rows, telescopes):
        t.scale = math.sqrt(np.sum(result.fun[rows] ** 2) / max(len(t.times) - 2, 1))
    result = solve(event, result.x, lower, upper)
    seconds = time.perf_counter() - began
    theta = result.x
    covariance, flux_pairs = event.covariance(theta)
    errors = np.sqrt(np.diag(covariance))
    chi2 = float(np.sum(result.fun ** 2))
    dof = len(event.times) - len(theta) - 2 * len(telescopes)

    # t* = rho tE, its variance from the covariance of rho and tE.
    gradient = np.zeros(len(covariance))
    gradient[2], gradient[3] = theta[3], theta[2]
    values = dict(t0=theta[0] + T_REF, u0=theta[1], tE=theta[2], rho=theta[3],
                  tstar=theta[2] * theta[3])
    sigmas = dict(zip(NAMES, errors[:4]), tstar=math.sqrt(gradient @ covariance @ gradient))

    print(f"chi2 = {chi2_published_errors:.1f} with the published error bars, "
          f"{chi2:.1f} for {dof} degrees of freedom with each telescope's scaled by k")
    print(f"{'telescope':>10} {'band':>10} {'epochs':>6} {'a':>12} {'k':>6} "
          f"{'Fs':>9} {'Fb':>9}")
    fitted_a = dict(zip(fit_bands, zip(theta[4:], errors[4:len(theta)])))
    for t, (fs, fb) in zip(telescopes, flux_pairs):
        a = (f"{fitted_a[t.band][0]:.2f}+-{fitted_a[t.band][1]:.2f}" if t.band in fitted_a
             else f"{coefficients[t.band]:.2f} fixed")
        print(f"{t.name:>10} {t.band:>10} {len(t.times):6d} {a:>12} {t.scale:6.2f} "
              f"{fs:9.4f} {fb:9.4f}")
    print(f"{'parameter':>10} {'fitted':>15} {'error':>9} {'published':>15} "
          f"{'(fit - published)/error':>24}")
    for name, label, digits in (("t0", "t0 [HJD]", 5), ("u0", "u0", 5), ("tE", "tE [d]", 3),
                                ("rho", "rho", 6), ("tstar", "t* [d]", 5)):
        value, error, published = values[name], sigmas[name], PUBLISHED[name]
        print(f"{label:>10} {value:15.{digits}f} {error:9.1e} {published:15.{digits}f} "
              f"{(value - published) / error:24.1f}")
    curves = event.magnification.light_curves
    print(f"fitted in {seconds:.1f} s: {curves} light curves of {len(event.times)} epochs "
          f"({1e3 * event.magnification.seconds / curves:.2f} ms each in halomag)")

    if args.json:
        report = dict(
            event="MOA-2008-BLG-310", epochs=len(event.times), chi2=chi2, dof=dof,
            parameters={name: dict(value=values[name], error=sigmas[name],
                                   published=PUBLISHED[name])
                        for name in ("t0", "u0", "tE", "rho", "tstar")},
            limb_darkening={b: (dict(value=fitted_a[b][0], error=fitted_a[b][1])
                                if b in fitted_a else dict(value=coefficients[b], fixed=True))
                            for b in bands},
            telescopes={t.name: dict(band=t.band, epochs=len(t.times), error_scale=t.scale,
                                     source_flux=fs, blend_flux=fb)
                        for t, (fs, fb) in zip(telescopes, flux_pairs)})
        with open(args.json, "w") as out:
            json.dump(report, out, indent=2)
        print(f"wrote {args.json}")

    plot(args.output, event, theta, flux_pairs, chi2, dof)


def plot(path, event, theta, flux_pairs, chi2, dof):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: no plot (pip install '.[examples]')")
        return
    t0, u0, te, rho = theta[:4]
    telescopes = event.telescopes
    # Every telescope's data on the scale of the survey (MOA, I band): its
    # magnification (F - Fb) / Fs, seen through MOA's source and blend fluxes.
    ref = next((k for k, t in enumerate(telescopes) if t.name == "MOA"), 0)
    fs_ref, fb_ref = flux_pairs[ref]

    def reference_magnitude(magnification):
        return M_REF - 2.5 * np.log10(fs_ref * magnification + fb_ref)

    values = dict(event.coefficients, **dict(zip(event.fit_bands, theta[4:])))
    fig, axes = plt.subplots(2, 2, figsize=(13, 7), sharex="col",
                             gridspec_kw=dict(height_ratios=(3, 1), width_ratios=(1.2, 1)))
    half = (1.5 * te, 4.0 * rho * te)
    for col in (0, 1):
        lo, hi = t0 - half[col], t0 + half[col]
        top, bottom = axes[0, col], axes[1, col]
        for k, (t, (fs, fb)) in enumerate(zip(telescopes, flux_pairs)):
            aligned = fs_ref * (t.flux - fb) / fs + fb_ref
            pick = (t.times >= lo) & (t.times <= hi) & (aligned > 0.0)
            if not pick.any():
                continue
            sigma = t.sigma[pick] * t.scale
            style = dict(fmt="o", ms=2.5, elinewidth=0.6, alpha=0.8, color=f"C{k}")
            top.errorbar(t.times[pick], M_REF - 2.5 * np.log10(aligned[pick]),
                         2.5 / math.log(10.0) * fs_ref / fs * sigma / aligned[pick],
                         label=f"{t.name} ({t.band}, k = {t.scale:.2f})" if col == 0 else None,
                         **style)
            model = fs * Magnification(t.times[pick])((*theta[:4], values[t.band])) + fb
            bottom.errorbar(t.times[pick], -2.5 * np.log10(t.flux[pick] / model),
                            2.5 / math.log(10.0) * sigma / t.flux[pick], **style)
        grid = np.linspace(lo, hi, 2000)
        lines = []
        for band, style in zip(values, ("-", "--", "-.", ":")):
            if col == 0 and band != "I":
                continue  # the bands differ only over the crossing
            curve = reference_magnitude(Magnification(grid)((*theta[:4], values[band])))
            lines += top.plot(grid, curve, style, color="k", lw=1.0,
                              label=f"model, {band} (a = {values[band]:.2f})")
        bottom.axhline(0.0, color="k", lw=0.8)
        if col == 1:
            u = np.hypot(u0, (grid - t0) / te)
            lines += top.plot(grid, reference_magnitude(point_source(u)), color="grey", lw=0.8,
                              ls=(0, (1, 2)), label="point source, same t0, u0, tE")
            for edge in (-1.0, 1.0):  # the lens enters and leaves the source disk
                t_edge = t0 + edge * te * math.sqrt(max(rho * rho - u0 * u0, 0.0))
                for ax in (top, bottom):
                    ax.axvline(t_edge, color="grey", lw=0.6, ls="--")
            top.set_title(f"the crossing: rho = {rho:.5f}, t* = {rho * te:.5f} d; "
                          "dashed: the lens on the limb", fontsize=10)
            bottom.text(0.02, 0.05, "single lens: the planetary anomaly near the peak "
                        "remains in these residuals", transform=bottom.transAxes, fontsize=8.5,
                        bbox=dict(facecolor="white", alpha=0.8, lw=0))
            bottom.set_ylim(-0.12, 0.12)
            top.legend(handles=lines, loc="upper right", fontsize=8)
        else:
            top.set_title(f"t0 = HJD {t0 + T_REF:.5f}, u0 = {u0:.5f}, tE = {te:.2f} d "
                          "(MOA's baseline seasons lie outside)", fontsize=10)
            bottom.set_ylim(-0.6, 0.6)
            top.legend(loc="upper left", fontsize=8)
            # The faintest baseline points have errors of a magnitude or more.
            top.set_ylim(curve.min() - 0.3, curve.max() + 0.8)
        top.invert_yaxis()
        top.set_xlim(lo, hi)
        top.grid(alpha=0.3)
        bottom.grid(alpha=0.3)
        bottom.set_xlabel(f"HJD - {T_REF:.0f}")
    axes[0, 0].set_ylabel(f"{telescopes[ref].name} I [mag, its own zero point]")
    axes[1, 0].set_ylabel("data - model [mag]")
    save_figure(fig, path, "MOA-2008-BLG-310 (Janczak et al. 2010), finite-source point lens "
                f"fitted with halomag: chi2 = {chi2:.0f} for {dof} degrees of freedom")


if __name__ == "__main__":
    main()
