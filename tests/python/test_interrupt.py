"""Ctrl-C ends a long call at once, raises what the signal handler raised,
and leaves the module usable.

The models consult Python's signal handlers about once a millisecond of work;
a user at the prompt should see the call end within 0.2 s of Ctrl-C, which
leaves a wide margin even under the sanitizer build.  Each call below would run for
seconds if it were not interrupted.
"""

import signal
import threading
import time

import numpy as np
import pytest

import halomag

DELAY = 0.3  # seconds from the start of the call to the signal
LATENCY = 0.2  # the longest the call may go on after the signal


def long_calls():
    near = np.linspace(0.0, 3.0, 2_000)
    many = np.linspace(0.0, 3.0, 4_000_000)
    knots = np.linspace(0.0, 1.0, 200_001)
    table = 1.0 - 0.6 * (1.0 - np.sqrt(1.0 - knots**2))
    rings = np.linspace(0.0, 1.0, 1_000_000)
    return {
        "witt_mao_magnification": lambda: halomag.witt_mao_magnification(
            np.tile(many, 4), 1.0, 0.1),
        # re = 0.3 rstar: the rules everywhere (where re/rstar is above
        # (1 + l)/2.24 the built-in law takes the small-source series, 0.1 us
        # a separation).
        "integrated_witt_mao_magnification": lambda: halomag.integrated_witt_mao_magnification(
            np.tile(near, 600), 0.3, 1.0),
        "integrated_flux_map_witt_mao_magnification":
            lambda: halomag.integrated_flux_map_witt_mao_magnification(
                near[:50], 1.0, 0.1, knots, table),
        "integrated_heyrovsky_magnification": lambda: halomag.integrated_heyrovsky_magnification(
            np.tile(near, 2_000), 0.3, 1.0),
        "integrated_flux_map_heyrovsky_magnification":
            lambda: halomag.integrated_flux_map_heyrovsky_magnification(
                near[:50], 1.0, 0.1, knots, table),
        "discrete_flux_map_heyrovsky_magnification":
            lambda: halomag.discrete_flux_map_heyrovsky_magnification(
                near[:100], 1.0, 0.1, rings, np.full(rings.size, 1e-6)),
    }


class Stop(Exception):
    """What a user's own signal handler might raise instead of KeyboardInterrupt."""


def interrupted(call, exc_type):
    """Runs call with a timer signal after DELAY whose handler raises exc_type;
    returns (seconds from the signal's handler to the end of the call, the
    exception), or None when the call finished first."""
    fired = []

    def handler(signum, frame):
        fired.append(time.perf_counter())
        raise exc_type("stop")

    previous = signal.signal(signal.SIGALRM, handler)
    try:
        signal.setitimer(signal.ITIMER_REAL, DELAY)
        try:
            call()
        except exc_type as caught:
            return time.perf_counter() - fired[0], caught
        return None
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)


@pytest.mark.skipif(threading.current_thread() is not threading.main_thread(),
                    reason="Python runs signal handlers on the main thread only")
@pytest.mark.parametrize("name", sorted(long_calls()))
def test_a_signal_ends_the_call_at_once(name):
    call = long_calls()[name]
    outcome = interrupted(call, KeyboardInterrupt)
    assert outcome is not None, f"{name} finished before the signal: make the call longer"
    latency, caught = outcome
    assert isinstance(caught, KeyboardInterrupt)
    assert latency < LATENCY
    # The module is still usable, and gives the same values as before.
    assert halomag.witt_mao_magnification([0.5], 1.0, 0.1) == \
        halomag.witt_mao_magnification([0.5], 1.0, 0.1)
    assert halomag.integrated_heyrovsky_magnification([0.5, 2.0], 1.0, 0.1)[1] > 1.0


def test_the_handlers_own_exception_comes_through():
    call = long_calls()["discrete_flux_map_heyrovsky_magnification"]
    outcome = interrupted(call, Stop)
    assert outcome is not None
    assert isinstance(outcome[1], Stop) and str(outcome[1]) == "stop"


def test_a_short_call_is_not_disturbed_by_an_earlier_interrupt():
    interrupted(long_calls()["integrated_heyrovsky_magnification"], KeyboardInterrupt)
    first = halomag.integrated_heyrovsky_magnification([0.0, 0.5, 1.0, 3.0], 1.0, 0.1)
    again = halomag.integrated_heyrovsky_magnification([0.0, 0.5, 1.0, 3.0], 1.0, 0.1)
    assert first == again
