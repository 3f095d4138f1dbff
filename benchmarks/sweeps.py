"""Resonator time per sweep, both sides interleaved, with numpy's sweeps
timed on tables built beforehand.

    python benchmarks/sweeps.py [DIR]     # DIR: an installed velmora (default: the importable one)

run.py times numpy's sweeps as the difference between a call with 3 sweeps
and one with none; at Z <= 1024 numpy's set-up (the cos/sin matrices) takes
ten to a hundred times as long as a sweep, and on a loaded machine that
difference can come out at any value, even negative. Here numpy's sweeps
run on prebuilt matrices and are timed alone (velmora's set-up is small, so
its difference stays stable). Prints the median and best per sweep and
their ratios.
"""
import os
import statistics
import sys
import time

if len(sys.argv) > 1:
    sys.path.insert(0, sys.argv[1])
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import numpy as np  # noqa: E402
import velmora  # noqa: E402

import run as R  # noqa: E402

SHAPES = [(2, 256, 256), (3, 256, 256), (3, 64, 1024), (2, 64, 1024), (2, 256, 1024), (3, 16, 4096)]
N = 16
ROUNDS = 31


def np_sweeps(comp, n, books, sweeps):
    """run.py's np_resonator with its set-up done once: a callable for the sweeps."""
    z = comp.shape[0]
    theta = comp * R.TWO_PI / n
    c_re, c_im = np.cos(theta), np.sin(theta)
    tables = [(np.cos(p * R.TWO_PI / n), np.sin(p * R.TWO_PI / n)) for p in books]

    def snap(x, y):
        q = R.np_lattice(np, y, x, n) * R.TWO_PI / n
        return np.cos(q), np.sin(q)

    start = [snap(re.sum(axis=0), im.sum(axis=0)) for re, im in tables]

    def run():
        est = list(start)
        for _ in range(sweeps):
            R.np_sweep(tables, est, c_re, c_im, snap)
            for f, (re, im) in enumerate(tables):  # the best matches, as every sweep checks them
                sims = (re @ est[f][0] + im @ est[f][1]) / max(z, 1)
                int(np.argmax(sims[::-1]))
    return run


def inputs(f, m, z):
    """The inputs of run.py's resonator case, for both sides."""
    seeds = [[1000 * b + e for e in range(m)] for b in range(f)]
    picks = [(7 * b + 3) % m for b in range(f)]
    books = [[velmora.PhaseHVec.random(z, N, s) for s in row] for row in seeds]
    comp = books[0][picks[0]]
    for b in range(1, f):
        comp = comp.bind(books[b][picks[b]])
    np_books = [np.stack([R.np_random(np, z, N, s) for s in row]) for row in seeds]
    np_comp = np_books[0][picks[0]].astype(np.int64)
    for b in range(1, f):
        np_comp = (np_comp + np_books[b][picks[b]]) % N
    return comp, books, np_comp, np_books


def main():
    print("load average %s, velmora from %s" % (open("/proc/loadavg").read().split()[0], velmora.__file__))
    for f, m, z in SHAPES:
        comp, books, np_comp, np_books = inputs(f, m, z)
        numpy_side = np_sweeps(np_comp, N, np_books, R.SWEEPS)
        ours, theirs = [], []
        for _ in range(ROUNDS):
            t0 = time.perf_counter()
            velmora.resonator_factorize(comp, books, 0)
            t1 = time.perf_counter()
            velmora.resonator_factorize(comp, books, R.SWEEPS)
            t2 = time.perf_counter()
            numpy_side()
            t3 = time.perf_counter()
            ours.append(((t2 - t1) - (t1 - t0)) / R.SWEEPS)
            theirs.append((t3 - t2) / R.SWEEPS)
        mv, mn = statistics.median(ours), statistics.median(theirs)
        print("F=%d M=%d Z=%d: velmora %.0f us, numpy %.0f us per sweep (medians), ratio %.2f" % (
            f, m, z, mv * 1e6, mn * 1e6, mv / mn))


if __name__ == "__main__":
    main()
