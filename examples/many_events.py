"""Limb-darkened light curves of many simulated events, in parallel processes.

The magnification functions hold the interpreter lock while they compute, so
threads do not speed them up; worker processes do.  This example spreads a
few thousand simulated finite-source events over a local Dask cluster of
worker processes (the same code runs on a Dask cluster of many machines: pass
its scheduler address to Client) and prints events per second for 1 and for
2 workers.

Run:  python examples/many_events.py [events] [epochs]
(needs dask[distributed]: pip install '.[examples]')
"""

import math
import random
import sys
import time


def light_curve(event, epochs):
    """Limb-darkened light curve of one event (rho, u0, tE) over +-2 tE."""
    import halomag

    rho, u0, te = event
    times = [-2 * te + 4 * te * i / (epochs - 1) for i in range(epochs)]
    l = [math.hypot(u0, t / te) / rho for t in times]  # separations in stellar radii
    return halomag.integrated_heyrovsky_magnification(l, 1.0, rho)


def simulate(n, seed=1):
    rng = random.Random(seed)
    return [(10 ** rng.uniform(-3, -1.5), rng.uniform(0.0, 0.05), rng.uniform(5, 60))
            for _ in range(n)]


def run(events, epochs, workers):
    from dask.distributed import Client, LocalCluster

    with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        client.run(lambda: __import__("halomag"))  # import once per worker
        start = time.perf_counter()
        futures = client.map(light_curve, events, epochs=epochs, pure=False)
        curves = client.gather(futures)
        elapsed = time.perf_counter() - start
    return curves, elapsed


def main(n_events=2000, epochs=50):
    try:
        import dask.distributed  # noqa: F401
    except ImportError:
        sys.exit("many_events.py needs Dask: pip install '.[examples]' "
                 "(from the halomag source directory)")
    events = simulate(n_events)
    results = {}
    for workers in (1, 2):
        curves, elapsed = run(events, epochs, workers)
        results[workers] = curves
        print(f"{workers} worker(s): {n_events} events x {epochs} epochs in {elapsed:.2f} s, "
              f"{n_events / elapsed:.0f} events per second")
    assert results[1] == results[2], "the result must not depend on the number of workers"
    peak = max(max(c) for c in results[1])
    print(f"highest magnification among the events: {peak:.1f}")


if __name__ == "__main__":
    main(*(int(a) for a in sys.argv[1:3]))
