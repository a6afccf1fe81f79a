"""Accuracy and speed of halomag's finite-source magnifications on the grid a
light-curve fit visits, against high-precision references.

The references are tests/data/comparison_reference.txt, made by
scripts/gen_comparison_reference.py with mpmath (the same file the tests
read): rho = 1e-3 to 1, u / rho = 0 to 30 closing in on the limb, for a
uniform disk and for the linear limb-darkening law 1 - 0.6 (1 - sqrt(1 - r^2)).
halomag is called as a user calls it: one list of separations l = u / rho per
rho, re = 1, rstar = rho.  Time per magnification is the median over repeats
of the whole grid divided by its number of points.

Writes bench/results/comparison.md (a Markdown table) and
bench/results/comparison_limb.png (relative error across the limb).

Run:  python bench/compare.py        (needs matplotlib: pip install '.[examples]')
"""

import datetime
import math
import os
import pathlib
import platform
import statistics
import time

import halomag

ROOT = pathlib.Path(__file__).resolve().parents[1]
DATA = ROOT / "tests" / "data" / "comparison_reference.txt"
OUT = ROOT / "bench" / "results"
REPEATS = 15
# Relative errors below this are drawn on the floor of the plot.
FLOOR = 1e-17
UNIFORM_TABLE = ([0.0, 1.0], [1.0, 1.0])

METHODS = [
    # (label, profile column, call with the separations of one rho)
    ("witt_mao_magnification", "uniform",
     lambda l, rho: halomag.witt_mao_magnification(l, 1.0, rho)),
    ("integrated_flux_map_heyrovsky_magnification, uniform table", "uniform",
     lambda l, rho: halomag.integrated_flux_map_heyrovsky_magnification(l, 1.0, rho, *UNIFORM_TABLE)),
    ("integrated_heyrovsky_magnification", "linear",
     lambda l, rho: halomag.integrated_heyrovsky_magnification(l, 1.0, rho)),
    ("integrated_witt_mao_magnification", "linear",
     lambda l, rho: halomag.integrated_witt_mao_magnification(l, 1.0, rho)),
]


def read_reference():
    sets = {}
    for line in DATA.read_text().splitlines():
        if line and not line.startswith("#"):
            kind, x, rho, uniform, linear = line.split()
            by_rho = sets.setdefault(kind, {}).setdefault(float(rho), [])
            by_rho.append((float(x), {"uniform": float(uniform), "linear": float(linear)}))
    return sets


def relative_errors(call, profile, by_rho):
    out = []
    for rho, rows in by_rho.items():
        values = call([x for x, _ in rows], rho)
        out.extend((x, rho, abs(v / ref[profile] - 1.0)) for (x, ref), v in zip(rows, values))
    return out


def time_per_point(call, by_rho):
    n = sum(len(rows) for rows in by_rho.values())
    lists = [([x for x, _ in rows], rho) for rho, rows in by_rho.items()]
    samples = []
    for _ in range(REPEATS):
        t = time.perf_counter()
        for l, rho in lists:
            call(l, rho)
        samples.append(time.perf_counter() - t)
    return statistics.median(samples) / n


def machine():
    cpu = platform.processor() or platform.machine()
    try:
        for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    return (f"{cpu}, {len(os.sched_getaffinity(0))} cores usable, "
            f"Python {platform.python_version()}, {platform.system()} {platform.release()}")


def markdown(rows, grid_points, limb_points):
    lines = [
        "| method | profile | worst rel. error | median rel. error | worst across the limb | µs per point |",
        "|---|---|---|---|---|---|",
    ]
    for label, profile, worst, median, limb_worst, seconds in rows:
        lines.append(f"| `{label}` | {profile} | {worst:.1e} | {median:.1e} | {limb_worst:.1e} "
                     f"| {seconds * 1e6:.2f} |")
    head = [
        "# halomag on the light-curve grid",
        "",
        f"Made by `python bench/compare.py` on {datetime.date.today().isoformat()}: {machine()}.",
        "",
        f"Grid: {grid_points} points, rho = 1e-3 to 1, u/rho = 0 to 30 with 1 ± 1e-1 … 1 ± 1e-6 "
        "around the limb. \"Across the limb\": a further "
        f"{limb_points} points, u/rho = 0.9 to 1.1 in steps of 0.0025 at rho = 0.01 and 0.1. "
        "References: mpmath at 25 to 30 digits (`scripts/gen_comparison_reference.py`). "
        "Linear profile: 1 − 0.6 (1 − √(1 − r²)). Time: median of "
        f"{REPEATS} repeats, one list call per rho, from Python.",
        "",
    ]
    return "\n".join(head + lines) + "\n"


def plot(limb_errors, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    rhos = sorted({rho for errs in limb_errors.values() for _, rho, _ in errs})
    fig, axes = plt.subplots(1, len(rhos), figsize=(6 * len(rhos), 5.2), sharey=True)
    styles = ["-o", "-s", "-^", "-v"]
    for ax, rho in zip(axes, rhos):
        for (label, profile), style in zip(limb_errors, styles):
            pts = [(x, max(e, FLOOR)) for x, r, e in limb_errors[(label, profile)] if r == rho]
            ax.semilogy([p[0] for p in pts], [p[1] for p in pts], style, ms=3, lw=1,
                        label=f"{label} ({profile})")
        ax.axvline(1.0, color="grey", lw=0.5)
        ax.set_title(f"rho = {rho:g}")
        ax.set_xlabel("u / rho (lens distance from the stellar centre, stellar radii)")
        ax.grid(True, which="major", alpha=0.3)
    axes[0].set_ylabel(f"relative error (floor {FLOOR:g} = exact)")
    handles, labels = axes[0].get_legend_handles_labels()
    fig.suptitle("halomag against mpmath references across the stellar limb")
    fig.tight_layout(rect=(0, 0.12, 1, 1))
    fig.legend(handles, labels, loc="lower center", ncol=2, fontsize=8, frameon=False)
    fig.savefig(path, dpi=120)


def main():
    sets = read_reference()
    grid, limb = sets["grid"], sets["limb"]
    rows, limb_errors = [], {}
    for label, profile, call in METHODS:
        errs = [e for _, _, e in relative_errors(call, profile, grid)]
        limb_errs = relative_errors(call, profile, limb)
        limb_errors[(label, profile)] = limb_errs
        seconds = time_per_point(call, grid)
        rows.append((label, profile, max(errs), statistics.median(errs),
                     max(e for _, _, e in limb_errs), seconds))
        print(f"{label:60s} {profile:8s} worst {max(errs):.1e}  median {statistics.median(errs):.1e}"
              f"  limb {rows[-1][4]:.1e}  {seconds * 1e6:8.2f} us/pt")
    # A NaN error would vanish from max() and the median: refuse it.
    assert all(math.isfinite(r[2]) and math.isfinite(r[4]) for r in rows), rows
    OUT.mkdir(parents=True, exist_ok=True)
    n_grid = sum(len(v) for v in grid.values())
    n_limb = sum(len(v) for v in limb.values())
    (OUT / "comparison.md").write_text(markdown(rows, n_grid, n_limb))
    plot(limb_errors, OUT / "comparison_limb.png")
    print(f"wrote {OUT / 'comparison.md'} and {OUT / 'comparison_limb.png'}")


if __name__ == "__main__":
    main()
