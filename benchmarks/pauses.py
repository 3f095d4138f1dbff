"""Stop-the-world pauses during long calls: how long a gc.collect() started on
another thread takes while a long velmora call runs, beside the call's time.

    python benchmarks/pauses.py [--repeats R] [--delay SECONDS]

On a free-threaded interpreter a collection has to stop every thread that is
attached to the interpreter; a call that stayed attached while it computed
would hold it until it returned, so the collection would take about the rest
of the call. Each long call is run on a worker thread; the main thread waits
until the worker is about to make the call, sleeps DELAY (default 0.05 s) and
times gc.collect(). Reported per call, as medians of R runs (default 3): the
call alone, the call with the collection beside it, the collection, and the
collection as a fraction of the call. The collection with no call running is
given for scale. Under a GIL, the main thread cannot even start the
collection until the call lets go of the lock, so the figures say little
there.

tests/robustness/test_pauses.py runs the same calls (LONG_CALLS), once each.
"""

import argparse
import gc
import os
import statistics
import sys
import sysconfig
import threading
import time

import velmora
from velmora import PhaseHVec as P


FACTORIZE_SWEEPS = 40


def _similarities():
    q = P.random(8192, 65536, 99001)
    items = [P.random(8192, 65536, s) for s in range(400)] * 80
    return lambda: q.similarities(items)


def _bundle():
    items = [P.random(8192, 65536, s) for s in range(400)] * 250
    return lambda: P.bundle(items)


def _resonator_factorize():
    # A composite of no codebook entries keeps the five estimates moving for
    # a few dozen sweeps before they settle.
    books = [[P.random(4096, 65536, 1000 * f + e) for e in range(96)] for f in range(5)]
    noise = P.random(4096, 65536, 5)
    return lambda: velmora.resonator_factorize(noise, books, max_iter=1000)


def _factorize():
    # Noise explains no choice of entries, so the search restarts until its
    # sweep budget is spent.
    books = [[P.random(4096, 65536, 1000 * f + e) for e in range(96)] for f in range(5)]
    noise = P.random(4096, 65536, 5)
    return lambda: noise.factorize(books, max_iter=FACTORIZE_SWEEPS)


# (name, builder): builder() makes the inputs and returns the zero-argument
# call, each about 0.5 s on one core of a 2-core Xeon. One line per long call.
LONG_CALLS = [
    ("similarities (32,000 items, dim 8192)", _similarities),
    ("bundle (100,000 items, dim 8192)", _bundle),
    ("resonator_factorize (5 x 96 entries, dim 4096)", _resonator_factorize),
    ("factorize (5 x 96 entries, dim 4096)", _factorize),
]


def collection_during(call, delay):
    """(seconds of call, seconds of a gc.collect() started `delay` s into it)."""
    about_to_call = threading.Event()
    took = []

    def worker():
        about_to_call.set()
        t0 = time.perf_counter()
        call()
        took.append(time.perf_counter() - t0)

    thread = threading.Thread(target=worker)
    thread.start()
    about_to_call.wait()
    time.sleep(delay)
    t0 = time.perf_counter()
    gc.collect()
    collected = time.perf_counter() - t0
    thread.join()
    return took[0], collected


def timed(call):
    t0 = time.perf_counter()
    call()
    return time.perf_counter() - t0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--delay", type=float, default=0.05)
    args = parser.parse_args()

    free = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))
    print("Python %s (%s), load average %s" % (sys.version.split()[0], "free-threaded" if free else "GIL",
                                               " ".join("%.2f" % x for x in os.getloadavg())))
    alone = statistics.median(timed(gc.collect) for _ in range(args.repeats))
    print("gc.collect() with no call running: %.4f s" % alone)
    print("| call | alone (s) | with gc.collect() beside it (s) | gc.collect() (s) | gc / call |")
    print("|---|---|---|---|---|")
    for name, build in LONG_CALLS:
        call = build()
        solo = statistics.median(timed(call) for _ in range(args.repeats))
        runs = [collection_during(call, args.delay) for _ in range(args.repeats)]
        during = statistics.median(t for t, _ in runs)
        collected = statistics.median(g for _, g in runs)
        print("| %s | %.3f | %.3f | %.4f | %.3f |" % (name, solo, during, collected, collected / during))


if __name__ == "__main__":
    main()
