"""Near-field speed of the built-in limb darkening against VBMicrolensing,
in one process (ratios from the same run; the machine is shared).

* grid: the separations of tests/data/comparison_reference.txt (l = u/rho
  from 0 to 30, dense at the limb) at rho = 1e-3, 1e-2, 0.1 and, as a second
  grid, at rho = 0.5, 1, 2; one halomag list call per rho, VBMicrolensing's
  ESPLMag2 (a1 = 0.6, default Tol) once per point;
* the light curve rho = 0.01, u0 = 0.005, 2000 epochs over (t - t0)/tE in
  [-2, 2]: one list call against one ESPLLightCurve call.

Times are the best of REPEATS passes, in microseconds per point.

Run:  pip install '.[bench]'  then  python bench/bench_near_field.py
(PYTHONPATH=<other build> runs another halomag for a before/after)
"""

import math
import pathlib
import time

import halomag

ROOT = pathlib.Path(__file__).resolve().parents[1]
REPEATS = 30


def grid_separations():
    ls = []
    for line in (ROOT / "tests" / "data" / "comparison_reference.txt").read_text().splitlines():
        if line.startswith("grid"):
            _, x, rho, _, _ = line.split()
            if float(rho) == 0.01:
                ls.append(float(x))
    return ls


def best(call, n):
    t = []
    for _ in range(REPEATS):
        start = time.perf_counter()
        call()
        t.append(time.perf_counter() - start)
    return min(t) / n * 1e6


def main():
    try:
        import VBMicrolensing
        vbm = VBMicrolensing.VBMicrolensing()
        vbm.a1 = 0.6
    except ImportError:
        vbm = None
    ls = grid_separations()
    functions = (halomag.integrated_heyrovsky_magnification, halomag.integrated_witt_mao_magnification)
    print(f"{len(ls)} separations per rho; us per point")
    for rhos in ((1e-3, 1e-2, 0.1), (0.5, 1.0, 2.0)):
        n = len(ls) * len(rhos)
        row = [best(lambda: [f(ls, 1.0, rho) for rho in rhos], n) for f in functions]
        peer = best(lambda: [[vbm.ESPLMag2(l * rho, rho) for l in ls] for rho in rhos], n) if vbm else math.nan
        print(f"rho {rhos}: heyrovsky {row[0]:.3f}  witt_mao {row[1]:.3f}  ESPLMag2 {peer:.3f}  "
              f"ratios {peer / row[0]:.1f}x {peer / row[1]:.1f}x")
    rho, u0, epochs = 0.01, 0.005, 2000
    tau = [-2.0 + 4.0 * k / (epochs - 1) for k in range(epochs)]
    curve = [math.sqrt(u0 * u0 + t * t) / rho for t in tau]
    row = [best(lambda: f(curve, 1.0, rho), epochs) for f in functions]
    peer = best(lambda: vbm.ESPLLightCurve([math.log(u0), 0.0, 0.0, math.log(rho)], tau), epochs) if vbm else math.nan
    print(f"light curve: heyrovsky {row[0]:.3f}  witt_mao {row[1]:.3f}  ESPLLightCurve {peer:.3f}  "
          f"ratios {peer / row[0]:.1f}x {peer / row[1]:.1f}x")


if __name__ == "__main__":
    main()
