"""Thread scaling: throughput of 1 and 2 threads calling the same operation on
shared inputs, as a ratio (2 threads' calls per second / 1 thread's).

    python benchmarks/threads.py [--seconds S] [--repeats R] [--threads T]

Meaningful on a free-threaded interpreter, where calls on different threads
run side by side; under the GIL the ratio stays near 1. Each measurement runs
the threads for S seconds (default 3) and counts completed calls; the runs
for 1 and T threads alternate R times (default 3) and the median of each is
reported, with the load average before and after, since other processes on
the machine take cores away from the threads. So that a loaded machine can be
read too, each run also reports the cores its threads actually got (process
CPU time over wall time) and the calls per CPU second: a ratio of those near
1 means that the threads never wait for each other, so that on idle cores
the wall-clock ratio reaches the thread count.
"""

import argparse
import os
import statistics
import sys
import sysconfig
import threading
import time

import velmora
from velmora import PhaseHVec as P


def cases():
    books = [[P.random(4096, 16, 100 * f + e) for e in range(64)] for f in range(2)]
    composite = books[0][17].bind(books[1][42])
    a, b = P.random(262144, 65536, 1), P.random(262144, 65536, 2)
    items = [P.random(16384, 65536, s) for s in range(16)]
    return {
        "resonator_factorize (2 x 64 entries, dim 4096, n 16, 3 sweeps)":
            lambda: velmora.resonator_factorize(composite, books, max_iter=3),
        "bundle (16 items, dim 16384, n 65536)": lambda: P.bundle(items),
        "similarity (dim 262144, n 65536)": lambda: a.similarity(b),
    }


def throughput(call, threads, seconds):
    """(calls per wall second, calls per CPU second) of `threads` threads
    calling `call` for `seconds`; CPU time is the whole process's."""
    counts = [0] * threads
    start = threading.Barrier(threads + 1)
    stop = threading.Event()

    def worker(k):
        start.wait()
        while not stop.is_set():
            call()
            counts[k] += 1

    pool = [threading.Thread(target=worker, args=(k,)) for k in range(threads)]
    for t in pool:
        t.start()
    start.wait()
    t0, c0 = time.perf_counter(), time.process_time()
    time.sleep(seconds)
    stop.set()
    for t in pool:
        t.join()
    wall, cpu = time.perf_counter() - t0, time.process_time() - c0
    return sum(counts) / wall, sum(counts) / cpu


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seconds", type=float, default=3.0)
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--threads", type=int, default=2)
    args = parser.parse_args()

    free = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))
    gil = getattr(sys, "_is_gil_enabled", lambda: True)()
    print(f"CPython {sys.version.split()[0]}, free-threaded build: {free}, GIL enabled: {gil}, "
          f"{os.cpu_count()} CPUs, load average {os.getloadavg()[0]:.2f}")
    for name, call in cases().items():
        call()  # tables built, kernels chosen
        one, many = [], []
        for _ in range(args.repeats):
            one.append(throughput(call, 1, args.seconds))
            many.append(throughput(call, args.threads, args.seconds))
        r1, rn = statistics.median(w for w, _ in one), statistics.median(w for w, _ in many)
        c1, cn = statistics.median(c for _, c in one), statistics.median(c for _, c in many)
        print(f"{name}:\n  wall: 1 thread {r1:.1f} calls/s, {args.threads} threads {rn:.1f} calls/s, "
              f"ratio {rn / r1:.2f} (per repeat: {', '.join(f'{m[0] / o[0]:.2f}' for o, m in zip(one, many))})\n"
              f"  cores the threads got: {r1 / c1:.2f} and {rn / cn:.2f}; calls per CPU second "
              f"{c1:.1f} and {cn:.1f}, ratio {cn / c1:.2f}")
    print(f"load average after: {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
