"""Accuracy and speed of halomag's finite-source magnifications against
high-precision references and against the peer libraries VBMicrolensing and
MulensModel, side by side, in one run.

Three sets of separations:

* the near-field grid: rho = 1e-3, 1e-2, 0.1 against u / rho = 0 to 30,
  closing in on the limb u / rho = 1 geometrically (1 +- 1e-1 ... 1 +- 1e-6);
  references tests/data/comparison_reference.txt
  (scripts/gen_comparison_reference.py, mpmath).  The same file's "limb"
  rows (u / rho = 0.9 to 1.1 at rho = 0.01 and 0.1) make the plot;
* the large-source grid: the same separations at rho = 0.5, 1 and 2, from
  the same file;
* a typical light curve: rho = 0.01, u0 = 0.005, 2000 epochs over
  (t - t0) / tE in [-2, 2], so l = u / rho from 0.5 to 200; references
  bench/data/light_curve_reference.txt (scripts/gen_light_curve_reference.py,
  mpmath).

Profiles: uniform, and the linear limb-darkening law
I(r) = 1 - a (1 - sqrt(1 - r^2)) with a = 0.6, built in or as a flux map.
The flux maps of 11 knots r = sin(theta), theta evenly spaced on [0, pi/2]
("sine table"), are checked against mpmath references of that very table
on both grids (tests/data/comparison_table_reference.txt, same generator):
their errors are those of the integration, not of the table.  Evenly spaced
tables ("linear table") are checked against the exact law.  The peers' conventions for
that law are checked in the run itself against the references:
VBMicrolensing's a1 is a (the law as written above), MulensModel's gamma is
the flux-normalised coefficient of An et al. (2002), gamma = 2a / (3 - a) =
0.5.  For the light curve VBMicrolensing's ESPLLightCurve takes
[ln u0, ln tE, t0, ln rho] (natural logarithms: checked against the source
positions it returns).

Every method is called as a fit calls it: halomag with one list of
separations l = u / rho per rho (re = 1, rstar = rho); VBMicrolensing's
ESPLMag2 once per point in a Python loop, its ESPLLightCurve once per light
curve; MulensModel through Model.get_magnification with one array of epochs
(t0 = 0, tE = 1, so the epoch is the separation along the trajectory; on the
grid u0 = 0 and the epochs are u).  Time per point: the median over repeats
of the whole set divided by its number of points; repeats until about
TIME_BUDGET seconds, between MIN_REPEATS and MAX_REPEATS.

A list call that raises is split in halves until the points that raise are
isolated; those points, and points whose value is not finite, are counted as
failures in the table and left out of the errors and the timing.  Peers that are not installed are skipped.

Writes comparison.md (Markdown) and comparison_limb.png (relative error
across the limb) to --output, by default bench/results/local/, which git
ignores: the committed results in bench/results/ change only when asked for
(--output bench/results).

Run:  pip install '.[bench]'  then  python bench/compare.py [--output DIR]
"""

import argparse
import datetime
import importlib.metadata
import math
import os
import pathlib
import platform
import statistics
import subprocess
import time
import warnings

import halomag

ROOT = pathlib.Path(__file__).resolve().parents[1]
GRID_DATA = ROOT / "tests" / "data" / "comparison_reference.txt"
TABLE_DATA = ROOT / "tests" / "data" / "comparison_table_reference.txt"
CURVE_DATA = ROOT / "bench" / "data" / "light_curve_reference.txt"
OUT = ROOT / "bench" / "results" / "local"
SETS = ("grid", "large", "curve")  # the timed sets, in the order of the tables
SET_NAMES = {"grid": "near-field grid", "large": "large-source grid", "curve": "light curve"}

GRID_RHOS = (1e-3, 1e-2, 0.1)
LARGE_RHOS = (0.5, 1.0, 2.0)
SINE_KNOTS = 11
CURVE_RHO, CURVE_U0 = 0.01, 0.005
LD_A = 0.6
LD_GAMMA = 2 * LD_A / (3 - LD_A)  # 0.5
VBM_TIGHT_TOL = 1e-4
TIME_BUDGET = 2.0
MIN_REPEATS, MAX_REPEATS = 3, 15
SLOW_PASSES = 8.0
FLOOR = 1e-17  # relative errors below this are drawn on the floor of the plot


class Group:
    """Points sharing one rho: separations l = u / rho in stellar radii,
    u in Einstein radii, epochs tau = (t - t0) / tE for impact parameter u0."""

    def __init__(self, rho, l, u, tau, u0, refs):
        self.rho, self.l, self.u, self.tau, self.u0 = rho, l, u, tau, u0
        self.refs = refs  # {"uniform": [...], "linear": [...], "table": [...] where known}

    def __len__(self):
        return len(self.l)

    def subset(self, keep):
        pick = lambda seq: [seq[i] for i in keep]  # noqa: E731
        return Group(self.rho, pick(self.l), pick(self.u), pick(self.tau), self.u0,
                     {k: pick(v) for k, v in self.refs.items()})


def sine_table(n=SINE_KNOTS):
    """Knots sin(k pi / (2 (n - 1))) and fluxes of the linear law: the table
    of the references (scripts/gen_comparison_reference.py builds the same
    doubles), dense at the limb where the law is steepest."""
    r = [math.sin(k * math.pi / (2 * (n - 1))) for k in range(n)]
    return r, [1.0 - LD_A * (1.0 - math.sqrt(1.0 - x * x)) for x in r]


def read_table():
    """{(u_over_rho, rho): magnification} of the sine table's flux map."""
    out = {}
    for line in TABLE_DATA.read_text().splitlines():
        if line.startswith("# bl "):
            assert [float(x) for x in line.split()[2:]] == sine_table()[0], "other knots"
        elif line and not line.startswith("#"):
            _, x, rho, value = line.split()
            out[(float(x), float(rho))] = float(value)
    return out


def read_grid():
    """{set name: [Group per rho]} from the comparison references.  On the
    grid the trajectory passes through the lens (u0 = 0), so epoch = u."""
    table = read_table()
    rows = {}
    for line in GRID_DATA.read_text().splitlines():
        if line and not line.startswith("#"):
            kind, x, rho, uniform, linear = line.split()
            rows.setdefault((kind, float(rho)), []).append(
                (float(x), float(uniform), float(linear)))
    sets = {}
    for (kind, rho), rs in rows.items():
        if kind == "grid":
            if rho not in GRID_RHOS + LARGE_RHOS:
                continue
            name = "grid" if rho in GRID_RHOS else "large"
        else:
            name = kind
        u = [x * rho for x, _, _ in rs]
        refs = {"uniform": [r[1] for r in rs], "linear": [r[2] for r in rs]}
        if kind == "grid" and all((x, rho) in table for x, _, _ in rs):
            refs["table"] = [table[(x, rho)] for x, _, _ in rs]
        sets.setdefault(name, []).append(Group(rho, [x for x, _, _ in rs], u, u, 0.0, refs))
    return sets


def read_curve():
    """The light curve, all epochs: the file holds k >= EPOCHS / 2 and epoch
    EPOCHS - 1 - k mirrors epoch k (same u and l, tau negated)."""
    rows = []
    for line in CURVE_DATA.read_text().splitlines():
        if line and not line.startswith("#"):
            k, tau, u, l, uniform, linear = line.split()
            rows.append((int(k), float(tau), float(u), float(l), float(uniform), float(linear)))
    epochs = 2 * len(rows)
    full = {r[0]: r for r in rows}
    for k, tau, u, l, un, li in rows:
        full[epochs - 1 - k] = (epochs - 1 - k, -tau, u, l, un, li)
    rs = [full[k] for k in range(epochs)]
    assert all(r[2] == math.sqrt(CURVE_U0 ** 2 + r[1] ** 2) for r in rs)
    return [Group(CURVE_RHO, [r[3] for r in rs], [r[2] for r in rs], [r[1] for r in rs],
                  CURVE_U0, {"uniform": [r[4] for r in rs], "linear": [r[5] for r in rs]})]


# ---------------------------------------------------------------- methods
# A method: (library, label, profile, setting, prepare).  prepare(group)
# returns a callable with no arguments that computes the group's
# magnifications, or None where the call does not apply to the group.

def linear_table(n):
    r = [k / (n - 1) for k in range(n)]
    return r, [1.0 - LD_A * (1.0 - math.sqrt(1.0 - x * x)) for x in r]


def halomag_methods():
    uniform_table = ([0.0, 1.0], [1.0, 1.0])

    def listed(fn, *extra):
        return lambda g: (lambda: fn(g.l, 1.0, g.rho, *extra))

    out = [
        ("halomag", "witt_mao_magnification", "uniform", "",
         listed(halomag.witt_mao_magnification)),
        ("halomag", "integrated_flux_map_heyrovsky_magnification", "uniform", "table [0, 1], [1, 1]",
         listed(halomag.integrated_flux_map_heyrovsky_magnification, *uniform_table)),
        ("halomag", "integrated_heyrovsky_magnification", "linear", "",
         listed(halomag.integrated_heyrovsky_magnification)),
        ("halomag", "integrated_witt_mao_magnification", "linear", "",
         listed(halomag.integrated_witt_mao_magnification)),
    ]
    for n in (11, 101):
        out.append(("halomag", "integrated_flux_map_heyrovsky_magnification", "linear table",
                    f"{n} knots of the linear law",
                    listed(halomag.integrated_flux_map_heyrovsky_magnification, *linear_table(n))))

    def on_table(fn):
        # Only where the references of the table are: the two grids.
        call = listed(fn, *sine_table())
        return lambda g: call(g) if "table" in g.refs else None

    for fn in (halomag.integrated_flux_map_heyrovsky_magnification,
               halomag.integrated_flux_map_witt_mao_magnification):
        out.append(("halomag", fn.__name__, "sine table", f"{SINE_KNOTS} knots r = sin θ",
                    on_table(fn)))
    return out


def vbm_methods():
    import VBMicrolensing

    def make(a1, tol):
        v = VBMicrolensing.VBMicrolensing()
        v.a1 = a1
        if tol is not None:
            v.Tol = tol
        return v

    def loop(a1, tol):
        def prepare(g):
            mag, rho, us = make(a1, tol).ESPLMag2, g.rho, g.u
            return lambda: [mag(u, rho) for u in us]
        return prepare

    def curve(a1, tol):
        def prepare(g):
            if g.u0 <= 0.0:
                return None
            v = make(a1, tol)
            params = [math.log(g.u0), 0.0, 0.0, math.log(g.rho)]
            return lambda: v.ESPLLightCurve(params, g.tau)[0]
        return prepare

    default_tol = VBMicrolensing.VBMicrolensing().Tol
    out = []
    for profile, a1 in (("uniform", 0.0), ("linear", LD_A)):
        for setting, tol in ((f"Tol {default_tol:g} (default)", None),
                             (f"Tol {VBM_TIGHT_TOL:g}", VBM_TIGHT_TOL)):
            out.append(("VBMicrolensing", "ESPLMag2, Python loop", profile, setting, loop(a1, tol)))
            out.append(("VBMicrolensing", "ESPLLightCurve, one call", profile, setting, curve(a1, tol)))
    return out


def mm_magnification(method, gamma):
    import MulensModel
    import numpy

    def prepare(g):
        model = MulensModel.Model({"t_0": 0.0, "u_0": g.u0, "t_E": 1.0, "rho": g.rho})
        model.set_magnification_methods([-1e6, method, 1e6])
        times = numpy.asarray(g.tau, dtype=float)
        kwargs = {"gamma": gamma} if gamma else {}

        def call():
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                return model.get_magnification(times, **kwargs)
        return call
    return prepare


def mm_methods():
    out = []
    for name, setting in (("finite_source_uniform_Gould94", "default (tables)"),
                          ("finite_source_uniform_Gould94_direct", "direct"),
                          ("finite_source_uniform_WittMao94", "default"),
                          ("finite_source_uniform_Lee09", "default")):
        out.append(("MulensModel", name, "uniform", setting, mm_magnification(name, 0.0)))
    for name, setting in (("finite_source_LD_Yoo04", "default (tables)"),
                          ("finite_source_LD_Yoo04_direct", "direct"),
                          ("finite_source_LD_WittMao94", "default"),
                          ("finite_source_LD_Lee09", "default")):
        out.append(("MulensModel", name, "linear", setting,
                    mm_magnification(name, LD_GAMMA)))
    return out


# ---------------------------------------------------------------- measuring

def evaluate(prepare, group):
    """Values for the group (NaN where a point fails), the indices that
    failed, the first failure's message, and the seconds of the list call
    (None when it failed).  A list call that raises is split in halves until
    the points that raise are isolated, so that the others are still
    computed in lists."""
    call = prepare(group)
    if call is None:
        return None, [], "", None
    messages = []

    def values_of(keep):
        try:
            return [float(v) for v in prepare(group.subset(keep))()]
        except Exception as exc:  # a peer's failure, reported, never fatal
            if not messages:
                messages.append(f"{type(exc).__name__}: {str(exc).splitlines()[0][:80]}")
            if len(keep) == 1:
                return [math.nan]
            half = len(keep) // 2
            return values_of(keep[:half]) + values_of(keep[half:])

    t = time.perf_counter()
    try:
        values = [float(v) for v in call()]
        seconds = time.perf_counter() - t
    except Exception:
        values, seconds = values_of(list(range(len(group)))), None
    failed = [i for i, v in enumerate(values) if not math.isfinite(v)]
    if failed and not messages:
        messages.append("non-finite values")
    return values, failed, (messages[0] if messages else ""), seconds


def time_per_point(calls, n, first=None):
    """Median over repeats of the time of all calls, per point.  `first` is
    the time of a pass already made (the accuracy pass), counted as a
    repeat.  Repeats until TIME_BUDGET is spent, at least MIN_REPEATS unless
    the passes already took SLOW_PASSES seconds, at most MAX_REPEATS."""
    samples = [first] if first else []
    while len(samples) < MAX_REPEATS:
        spent = sum(samples)
        if spent >= SLOW_PASSES or (spent >= TIME_BUDGET and len(samples) >= MIN_REPEATS):
            break
        t = time.perf_counter()
        for call in calls:
            call()
        samples.append(time.perf_counter() - t)
    return statistics.median(samples) / n, len(samples)


class Result:
    """One method on one set: relative errors per point (NaN = failed),
    failures, time per point (None if not timed or not applicable)."""

    def __init__(self):
        self.errors, self.points, self.failed, self.messages = [], [], [], set()
        self.seconds, self.repeats, self.applies = None, 0, True

    def finite(self):
        return [e for e in self.errors if math.isfinite(e)]

    def worst(self):
        f = self.finite()
        return max(f) if f else math.nan

    def median(self):
        f = self.finite()
        return statistics.median(f) if f else math.nan


def measure(prepare, profile, groups, timed):
    res = Result()
    ref_key = {"sine table": "table"}.get(profile, "linear" if profile.startswith("linear")
                                          else "uniform")
    # The accuracy pass counts as a timing repeat when it made the same
    # list calls as the timing does: when nothing failed.
    calls, n, first = [], 0, 0.0
    for g in groups:
        values, failed, message, seconds = evaluate(prepare, g)
        if values is None:
            res.applies = False
            return res
        first = None if first is None or failed else first + seconds
        for i, (v, ref) in enumerate(zip(values, g.refs[ref_key])):
            res.errors.append(abs(v / ref - 1.0) if i not in failed else math.nan)
            res.points.append((g.l[i], g.rho))
        res.failed.extend((g.l[i], g.rho) for i in failed)
        if message:
            res.messages.add(message)
        if timed:
            keep = [i for i in range(len(g)) if i not in failed]
            if keep:
                calls.append(prepare(g.subset(keep)) if failed else prepare(g))
                n += len(keep)
    if timed and n:
        res.seconds, res.repeats = time_per_point(calls, n, first)
    return res


# ---------------------------------------------------------------- reporting

def lscpu():
    try:
        out = subprocess.run(["lscpu"], capture_output=True, text=True, check=True).stdout
        info = dict(line.split(":", 1) for line in out.splitlines() if ":" in line)
        return f"{info['Model name'].strip()}, {info['CPU(s)'].strip()} CPUs"
    except (OSError, subprocess.CalledProcessError, KeyError):
        return platform.processor() or platform.machine()


def versions():
    out = []
    for dist in ("halomag", "VBMicrolensing", "MulensModel", "numpy"):
        try:
            out.append(f"{dist} {importlib.metadata.version(dist)}")
        except importlib.metadata.PackageNotFoundError:
            out.append(f"{dist} not installed")
    try:
        head = subprocess.run(["git", "-C", str(ROOT), "rev-parse", "--short", "HEAD"],
                              capture_output=True, text=True, check=True).stdout.strip()
        out[0] += f" (commit {head})"
    except (OSError, subprocess.CalledProcessError):
        pass
    return ", ".join(out)


def fmt_err(r):
    if not r.applies:
        return "n/a"
    w = r.worst()
    return "all failed" if not math.isfinite(w) else f"{w:.1e}"


def fmt_med(r):
    if not r.applies:
        return "n/a"
    m = r.median()
    return "—" if not math.isfinite(m) else f"{m:.1e}"


def fmt_time(r, best):
    if r.seconds is None:
        return "n/a", "n/a"
    us = r.seconds * 1e6
    text = f"{us:.3g}" if us < 100 else f"{us:.0f}"
    if not best:
        return text, "—"
    ratio = r.seconds / best
    return text, (f"{ratio:.3g}" if 0.01 <= ratio < 1000 else f"{ratio:.1e}")


def failures(rs):
    """'n (where): message' over the results of one method."""
    parts = []
    for name, r in rs:
        if r.failed:
            where = sorted(r.failed)
            ls = sorted({l for l, _ in where})
            rhos = sorted({rho for _, rho in where})
            loc = (f"l = {ls[0]:g}" if len(ls) == 1 else f"l in [{ls[0]:g}, {ls[-1]:g}]") + \
                (f", rho = {rhos[0]:g}" if len(rhos) == 1 else f", rho in {{{', '.join(f'{x:g}' for x in rhos)}}}")
            parts.append(f"{name}: {len(r.failed)} ({loc}; {'; '.join(sorted(r.messages))})")
    return "; ".join(parts)


def exact_profile(profile):
    """The exact profile a table samples: its times are compared with the
    built-in law's."""
    return "linear" if profile in ("linear table", "sine table") else profile


def markdown(rows, best, checks, info):
    head = [
        "# halomag and its peers, side by side",
        "",
        f"Made by `python bench/compare.py` on {info['date']} in {info['runtime']:.0f} s: "
        f"{info['cpu']}, {info['cores']} usable, load average {info['load']} at the start "
        f"(a shared machine: timings are noisy; ratios carry over to other machines better than "
        f"times), Python {platform.python_version()}; {info['versions']}.",
        "",
        "Near-field grid: rho = 1e-3, 1e-2, 0.1 × u/rho = 0 to 30 with 1 ± 1e-1 … 1 ± 1e-6 at the "
        f"limb ({info['n_grid']} points); large-source grid: the same u/rho at rho = 0.5, 1, 2 "
        f"({info['n_large']} points); references `tests/data/comparison_reference.txt`. "
        f"Light curve: rho = {CURVE_RHO:g}, u0 = {CURVE_U0:g}, {info['n_curve']} epochs over "
        "t/tE in [−2, 2], l = u/rho from 0.5 to 200 (references `bench/data/light_curve_reference.txt`). "
        f"References: mpmath, 25 to 30 digits. Linear profile: I(r) = 1 − {LD_A} (1 − √(1 − r²)): "
        f"VBMicrolensing a1 = {LD_A}, MulensModel gamma = 2a/(3 − a) = {LD_GAMMA:g}. Time: median of "
        f"{MIN_REPEATS} to {MAX_REPEATS} repeats (one pass where passes take over {SLOW_PASSES:g} s), "
        "from Python, one call per list where the API allows. Ratio: time over halomag's fastest "
        "function for the same profile on the same set (`witt_mao_magnification` for the uniform "
        "disk, the faster of `integrated_heyrovsky_magnification` and "
        "`integrated_witt_mao_magnification` for the linear law and its tables). "
        "— : not measured (the call does not apply to the set).",
        "",
        "| library | method | profile | setting | "
        + " | ".join(f"{n} worst | {n} median | {n} µs/pt | {n} ratio" for n in SETS) + " |",
        "|---|---|---|---|" + "---|" * (4 * len(SETS)),
    ]
    lines = []
    for lib, label, profile, setting, res in rows:
        cells = []
        for name in SETS:
            r = res[name]
            if not r.applies:
                cells += ["—"] * 4
                continue
            t, ratio = fmt_time(r, best[(name, exact_profile(profile))])
            cells += [fmt_err(r), fmt_med(r), t, ratio]
        lines.append(f"| {lib} | `{label}` | {profile} | {setting or '—'} | " + " | ".join(cells) + " |")
    slower = []
    for name in SETS:
        for profile in ("uniform", "linear"):
            ours = best[(name, profile)]
            peers = [(res[name].seconds, lib, label, setting) for lib, label, p, setting, res in rows
                     if lib != "halomag" and p == profile and res[name].seconds]
            if ours and peers:
                t, lib, label, setting = min(peers)
                if t < ours:
                    slower.append(f"- {SET_NAMES[name]}, {profile}: halomag's fastest "
                                  f"({ours * 1e6:.3g} µs/pt) is {ours / t:.3g} times slower than "
                                  f"{lib} `{label}` at {setting} ({t * 1e6:.3g} µs/pt).")
    if slower:
        lines += ["", "Where halomag is slower than a peer (fastest call of each side, "
                  "whatever its accuracy):", ""] + slower
    # The comparison a fit makes: the limb-darkened magnification, built in
    # or as a flux map, against VBMicrolensing's fastest call at its default
    # tolerance.
    against = []
    for name in SETS:
        vbm = [res[name].seconds for lib, _, p, setting, res in rows
               if lib == "VBMicrolensing" and p == "linear" and "default" in setting
               and res[name].seconds]
        for lib, label, p, setting, res in rows:
            if lib == "halomag" and p in ("linear", "sine table") and res[name].seconds and vbm:
                ratio = res[name].seconds / min(vbm)
                what = f"`{label}`" + (f" ({setting})" if setting else "")
                against.append(f"- {SET_NAMES[name]}: {what} {res[name].seconds * 1e6:.3g} µs/pt, "
                               + (f"{ratio:.3g} times slower" if ratio > 1 else
                                  f"{1 / ratio:.3g} times faster"))
    if against:
        lines += ["", "halomag's limb-darkened magnifications against VBMicrolensing's fastest "
                  "limb-darkened call at its default tolerance:", ""] + against
    notes = ["", "\"linear table\": the linear law sampled at evenly spaced knots and interpolated "
             "linearly; its errors are those of the table against the exact law, not of the "
             "integration (the uniform table checks the integration). \"sine table\": the law at "
             f"{SINE_KNOTS} knots r = sin θ, θ evenly spaced on [0, π/2]; its errors are against "
             "mpmath references of that same table (`tests/data/comparison_table_reference.txt`), "
             "so they are the integration's. The ratio of a table is against the built-in linear "
             "law.", ""]
    fails = [f"- {lib} `{label}` ({profile}, {setting}): {failures(list(res.items()))}"
             for lib, label, profile, setting, res in rows
             if any(r.failed for r in res.values())]
    if fails:
        notes += ["Failures (left out of the errors and the timings):", ""] + fails + [""]
    notes += ["Conventions checked in this run (median relative error on the near-field grid "
              "against the linear-law references):", ""] + [f"- {c}" for c in checks] + [""]
    return "\n".join(head + lines + notes)


def screen_table(rows):
    """The results on the screen, one line per method and set it measured."""
    head = (f"{'library':14s} {'method':45s} {'profile':12s} {'setting':24s} {'set':5s} "
            f"{'worst':>9s} {'median':>9s} {'us/pt':>9s} {'fails':>5s}")
    lines = [head, "-" * len(head)]
    for lib, label, profile, setting, res in rows:
        for name in SETS:
            r = res[name]
            if r.applies:
                us = f"{r.seconds * 1e6:9.3f}" if r.seconds else f"{'—':>9s}"
                lines.append(f"{lib:14s} {label:45s} {profile:12s} {setting:24s} {name:5s} "
                             f"{fmt_err(r):>9s} {fmt_med(r):>9s} {us} {len(r.failed):5d}")
    return "\n".join(lines)


def plot(rows, limb_results, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    rhos = sorted({rho for res in limb_results.values() for _, rho in res.points})
    fig, axes = plt.subplots(2, len(rhos), figsize=(8 * len(rhos) + 4, 11), sharey=True,
                             sharex=True, squeeze=False)
    lines = {"halomag": "-", "VBMicrolensing": "--", "MulensModel": ":"}
    marks = "os^vDxP*"
    palette = plt.get_cmap("tab10").colors
    for row, profile in enumerate(("uniform", "linear")):
        k = 0
        for (lib, label, prof, setting, _), res in zip(rows, limb_results.values()):
            if prof != profile or not res.applies:
                continue
            style = dict(color=palette[k % len(palette)], marker=marks[k % len(marks)],
                         linestyle=lines[lib], ms=3, lw=1.0)
            k += 1
            for ax, rho in zip(axes[row], rhos):
                pts = [(l, max(e, FLOOR)) for (l, r), e in zip(res.points, res.errors)
                       if r == rho and math.isfinite(e)]
                ax.semilogy([p[0] for p in pts], [p[1] for p in pts], **style,
                            label=f"{lib} {label}" + (f", {setting}" if setting else ""))
        for ax, rho in zip(axes[row], rhos):
            ax.axvline(1.0, color="grey", lw=0.5)
            ax.set_title(f"{profile} profile, rho = {rho:g}")
            ax.grid(True, which="major", alpha=0.3)
        axes[row][0].set_ylabel(f"relative error (floor {FLOOR:g} = exact)")
        axes[row][-1].legend(fontsize=8, loc="upper left", bbox_to_anchor=(1.02, 1.0))
    for ax in axes[-1]:
        ax.set_xlabel("l = u / rho (lens distance from the stellar centre, stellar radii)")
    fig.suptitle("Relative error across the stellar limb against mpmath references "
                 "(solid: halomag, dashed: VBMicrolensing, dotted: MulensModel)")
    fig.tight_layout()
    fig.savefig(path, dpi=100)


# ---------------------------------------------------------------- main

def convention_checks():
    """Which coefficient reproduces the references: the candidates for the
    linear law with a = 0.6 in each peer's convention."""
    grid = read_grid()["grid"]
    checks = []
    try:
        import VBMicrolensing
        for a1 in (LD_A, LD_GAMMA):
            def prepare(g, a1=a1):
                v = VBMicrolensing.VBMicrolensing()
                v.a1 = a1
                return lambda: [v.ESPLMag2(u, g.rho) for u in g.u]
            r = measure(prepare, "linear", grid, timed=False)
            checks.append(f"VBMicrolensing `ESPLMag2` a1 = {a1:g}: {r.median():.1e}")
    except ImportError:
        pass
    try:
        import MulensModel  # noqa: F401
        for gamma in (LD_GAMMA, LD_A):
            r = measure(mm_magnification("finite_source_LD_Yoo04", gamma), "linear", grid,
                        timed=False)
            checks.append(f"MulensModel `finite_source_LD_Yoo04` gamma = {gamma:g}: "
                          f"{r.median():.1e}")
    except ImportError:
        pass
    return checks


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--output", type=pathlib.Path, default=OUT, metavar="DIR",
                        help=f"folder for comparison.md and comparison_limb.png (default "
                             f"{OUT.relative_to(ROOT)}, ignored by git; the committed results "
                             "are in bench/results)")
    args = parser.parse_args(argv)
    start = time.perf_counter()
    load = os.getloadavg()[0]
    sets = read_grid()
    sets["curve"] = read_curve()
    methods = halomag_methods()
    for loader in (vbm_methods, mm_methods):
        try:
            methods += loader()
        except ImportError as exc:
            print(f"skipped: {exc}")
    rows, limb = [], {}
    for lib, label, profile, setting, prepare in methods:
        t = time.perf_counter()
        res = {name: measure(prepare, profile, sets[name], timed=True) for name in SETS}
        limb[(lib, label, profile, setting)] = measure(prepare, profile, sets["limb"], timed=False)
        rows.append((lib, label, profile, setting, res))
        print(f"[{time.perf_counter() - start:4.0f} s] {lib} {label}, {profile}"
              + (f", {setting}" if setting else "") + f": {time.perf_counter() - t:.0f} s",
              flush=True)
    # Ratios: against halomag's fastest function for the same exact profile.
    best = {}
    for name in SETS:
        for profile in ("uniform", "linear"):
            ts = [res[name].seconds for lib, _, p, setting, res in rows
                  if lib == "halomag" and p == profile and res[name].seconds and not res[name].failed]
            best[(name, profile)] = min(ts) if ts else None
    # halomag must be right: a NaN or a failure there is a fault, not a table entry.
    for lib, label, profile, setting, res in rows:
        if lib == "halomag":
            assert not any(r.failed for r in res.values()), (label, setting)
    checks = convention_checks()
    info = {
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
        "cpu": lscpu(), "cores": f"{len(os.sched_getaffinity(0))} cores",
        "load": f"{load:.1f}", "versions": versions(),
        **{f"n_{name}": sum(len(g) for g in sets[name]) for name in SETS},
        "runtime": time.perf_counter() - start,
    }
    out = args.output
    out.mkdir(parents=True, exist_ok=True)
    (out / "comparison.md").write_text(markdown(rows, best, checks, info))
    plot([r for r in rows if r[2] in ("uniform", "linear")],
         {k: v for k, v in limb.items() if k[2] in ("uniform", "linear")},
         out / "comparison_limb.png")
    print()
    print(screen_table(rows))
    print()
    print("\n".join(checks))
    print(f"wrote {out / 'comparison.md'} and {out / 'comparison_limb.png'} "
          f"in {time.perf_counter() - start:.0f} s")


if __name__ == "__main__":
    main()
