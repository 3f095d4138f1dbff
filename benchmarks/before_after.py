"""Two builds of velmora side by side: the same cases, timed alternately.

    python benchmarks/before_after.py OLD_DIR NEW_DIR [--repeats 7]

OLD_DIR and NEW_DIR each hold an installed velmora (pip install --target DIR
.). Each case runs in one worker process per build; the workers take turns,
one round of the case at a time, so both see the same machine state. Reports
the best time of each build and the ratio new / old. "cold" cases use a new
resolution on every call, so they include building that resolution's tables.
"""

import argparse
import json
import subprocess
import sys

WORKER = r'''
import json, sys, time
sys.path.insert(0, sys.argv[1])
import velmora
from velmora import PhaseHVec as V
class Timed(float):
    pass  # a cold case's own timing, without making its inputs

def sim(dim, n):
    a, b = V.random(dim, n, 1), V.random(dim, n, 2)
    return lambda i: a.similarity(b)

def sim_cold(dim, base):
    def run(i):
        n = base + i
        a, b = V.random(dim, n, 1), V.random(dim, n, 2)
        t = time.perf_counter(); a.similarity(b); return Timed(time.perf_counter() - t)
    return run

def bundle(count, dim, n):
    items = [V.random(dim, n, s) for s in range(count)]
    return lambda i: V.bundle(items)

def bundle_cold(count, dim, base):
    def run(i):
        items = [V.random(dim, base + i, s) for s in range(count)]
        t = time.perf_counter(); V.bundle(items); return Timed(time.perf_counter() - t)
    return run

def resonator(f, m, z, n, cold=False):
    def make(n):
        books = [[V.random(z, n, 1000 * g + e) for e in range(m)] for g in range(f)]
        comp = books[0][3]
        for g in range(1, f):
            comp = comp.bind(books[g][5 % m])
        return comp, books
    if not cold:
        comp, books = make(n)
        return lambda i: velmora.resonator_factorize(comp, books, 3)
    def run(i):
        comp, books = make(n + i)
        t = time.perf_counter(); velmora.resonator_factorize(comp, books, 3); return Timed(time.perf_counter() - t)
    return run

spec = json.loads(sys.argv[2])
fn = globals()[spec[0]](*spec[1:])
for line in sys.stdin:
    i = int(line)
    t = time.perf_counter()
    r = fn(i)
    elapsed = time.perf_counter() - t
    if isinstance(r, Timed):
        elapsed = float(r)
    print(elapsed, flush=True)
'''

CASES = [
    ("sim", 1024, 16), ("sim", 16384, 16), ("sim", 262144, 16), ("sim", 16384, 65536),
    ("sim_cold", 1024, 40000), ("sim_cold", 262144, 40000),
    ("bundle", 3, 1024, 16), ("bundle", 3, 16384, 16), ("bundle", 16, 16384, 16), ("bundle", 100, 1024, 16),
    ("bundle", 3, 16384, 65536), ("bundle", 2, 1000, 65536),
    ("bundle_cold", 3, 16384, 30000), ("bundle_cold", 16, 1024, 20000),
    ("resonator", 3, 16, 1024, 16), ("resonator", 2, 64, 4096, 16), ("resonator", 3, 16, 256, 65536),
    ("resonator", 2, 256, 1024, 16), ("resonator", 3, 256, 256, 16),
    ("resonator", 3, 16, 1024, 16, True), ("resonator", 3, 16, 256, 5000, True),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--repeats", type=int, default=7)
    parser.add_argument("--only", help="run only the cases whose name starts with this")
    args = parser.parse_args()
    print("%-34s %12s %12s %8s" % ("case", "old (us)", "new (us)", "new/old"))
    for spec in CASES:
        if args.only and not spec[0].startswith(args.only):
            continue
        workers = [subprocess.Popen([sys.executable, "-c", WORKER, d, json.dumps(spec)], stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, text=True) for d in (args.old, args.new)]
        best = [float("inf"), float("inf")]
        for i in range(args.repeats + 1):
            for side, w in enumerate(workers):
                w.stdin.write("%d\n" % i)
                w.stdin.flush()
                t = float(w.stdout.readline())
                if i > 0 or spec[0].endswith("_cold") or spec[-1] is True:
                    best[side] = min(best[side], t)
        for w in workers:
            w.stdin.close()
            w.wait()
        name = "%s%s" % (spec[0], tuple(spec[1:]))
        print("%-34s %12.1f %12.1f %8.2f" % (name, best[0] * 1e6, best[1] * 1e6, best[1] / best[0]), flush=True)


if __name__ == "__main__":
    main()
