"""factorize beside resonator_factorize and a NumPy copy of the published
resonator network, on the same seeded problems (velmora's own vectors).

The published network here works on unit phasors: sequential updates, each
estimate the codebook superposed with the complex inner products of its
entries with the unbound composite, snapped to the composite's lattice;
read-out by the magnitude of the inner product; stop at a fixed point or at
0.001 * D**F sweeps.  It is a reference for accuracy and time, not a bit
exact copy of anything in the module.

    nice python benchmarks/capacity_factorize.py            # about 10 minutes of one core
    python benchmarks/capacity_factorize_plots.py           # the figure from the CSV

Writes benchmarks/data/capacity_factorize.csv, one row per shape and method:
solved, problems, mean milliseconds per problem.
"""

import csv
import math
import os
import sys
import time

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from capacity_mirror import entry_seed, published_cap, truth_index  # noqa: E402

from velmora import PhaseHVec, resonator_factorize  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def problem(p, f_count, d, z, n, distractors=0):
    books = [[PhaseHVec.random(z, n, entry_seed(p, f, i)) for i in range(d)] for f in range(f_count)]
    truth = [truth_index(p, f, d) for f in range(f_count)]
    c = books[0][truth[0]]
    for f in range(1, f_count):
        c = c.bind(books[f][truth[f]])
    if distractors:
        c = PhaseHVec.bundle([c] + [PhaseHVec.random(z, n, (p << 40) | (1 << 39) | k) for k in range(distractors)])
    return c, books, truth


def published(composite, books, n, cap):
    """The published network on phasors; returns the chosen indices."""
    tau = 2.0 * math.pi
    comp = np.exp(1j * tau * np.array(composite.phases()) / n)
    mats = [np.exp(1j * tau * np.array([e.phases() for e in b]) / n) for b in books]

    def snap(v):
        k = np.mod(np.round(np.angle(v) / tau * n), n)
        return np.exp(1j * tau * k / n)

    est = [snap(m.sum(axis=0)) for m in mats]
    for _ in range(cap):
        changed = False
        for f, m in enumerate(mats):
            u = comp.copy()
            for g, e in enumerate(est):
                if g != f:
                    u = u * np.conj(e)
            new = snap(m.T @ (np.conj(m) @ u))
            changed = changed or not np.array_equal(new, est[f])
            est[f] = new
        if not changed:
            break
    return [int(np.argmax(np.abs(np.conj(m) @ e))) for m, e in zip(mats, est)]


# (label, F, D, dim, n, distractors, problems, problems for the published network)
SHAPES = [
    ("example", 3, 40, 2048, 16, 0, 60, 10),
    ("example+1", 3, 40, 2048, 16, 1, 60, 10),
    ("example+2", 3, 40, 2048, 16, 2, 60, 10),
    ("F=4", 4, 20, 1024, 64, 0, 40, 10),
    ("F=2", 2, 200, 1024, 256, 0, 40, 5),
] + [("n=2", 3, d, 1500, 2, 0, 40, 8) for d in (32, 56, 79, 100)] + \
    [("n=16", 3, d, 1500, 16, 0, 40, 8) for d in (32, 56, 79, 100)]


def main():
    rows = []
    out = os.path.join(HERE, "data", "capacity_factorize.csv")
    for label, f_count, d, z, n, dist, count, pub_count in SHAPES:
        tallies = {"factorize": [0, 0, 0.0], "resonator_factorize": [0, 0, 0.0], "published": [0, 0, 0.0]}
        for p in range(count):
            c, books, truth = problem(p, f_count, d, z, n, dist)
            runs = [("factorize", lambda: [i for i, _ in c.factorize(books)]),
                    ("resonator_factorize", lambda: [i for i, _ in resonator_factorize(c, books)])]
            if p < pub_count:
                runs.append(("published", lambda: published(c, books, n, published_cap(d, f_count))))
            for name, run in runs:
                t = time.perf_counter()
                got = run()
                tallies[name][2] += time.perf_counter() - t
                tallies[name][0] += got == truth
                tallies[name][1] += 1
        for name, (ok, total, secs) in tallies.items():
            rows.append({"shape": label, "F": f_count, "D": d, "dim": z, "n": n, "distractors": dist,
                         "method": name, "solved": ok, "problems": total, "ms": round(1e3 * secs / total, 3)})
            print(rows[-1], flush=True)
        with open(out, "w", newline="") as fh:
            w = csv.DictWriter(fh, fieldnames=list(rows[0]))
            w.writeheader()
            w.writerows(rows)


if __name__ == "__main__":
    main()
