"""factorize on many seeded problems: its accuracy targets with enough
problems to tell 99 % from 95 %, and its operational capacity against dim.

Problems are those of capacity_factorize.py, numbered from ``--first`` (so a
run can use seeds that the side-by-side study did not), each timed beside
resonator_factorize on the same problem.

    nice python benchmarks/factorize_targets.py --problems 300 --first 1000
    nice python benchmarks/factorize_targets.py --operational

The operational capacity (as Kent et al. define it) is the largest search
space D**F solved with every factor right in at least 99 % of problems; for
F = 3, n = 2 it is found per dim by stepping D up until accuracy drops below
99 %, starting from the capacity of the dim before. Writes benchmarks/data/factorize_targets.csv or
benchmarks/data/factorize_operational.csv.
"""

import argparse
import csv
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from capacity_factorize import problem  # noqa: E402

from velmora import resonator_factorize  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
TARGETS = [  # label, F, D, dim, n, distractors
    ("example", 3, 40, 2048, 16, 0),
    ("example+1", 3, 40, 2048, 16, 1),
    ("example+2", 3, 40, 2048, 16, 2),
    ("F=4", 4, 20, 1024, 64, 0),
    ("F=2", 2, 200, 1024, 256, 0),
    ("n=2 D=79", 3, 79, 1500, 2, 0),
    ("n=2 D=100", 3, 100, 1500, 2, 0),
    ("n=16 D=79", 3, 79, 1500, 16, 0),
]


def run(f_count, d, z, n, dist, problems, first, reference=True):
    """(solved by factorize, solved by resonator_factorize, ms each per problem)."""
    ok = [0, 0]
    secs = [0.0, 0.0]
    for p in range(first, first + problems):
        c, books, truth = problem(p, f_count, d, z, n, dist)
        calls = [lambda: c.factorize(books)] + ([lambda: resonator_factorize(c, books)] if reference else [])
        for k, call in enumerate(calls):
            t = time.perf_counter()
            got = [i for i, _ in call()]
            secs[k] += time.perf_counter() - t
            ok[k] += got == truth
    return ok, [round(1e3 * s / problems, 3) for s in secs]


def write(name, rows):
    with open(os.path.join(HERE, "data", name), "w", newline="") as fh:
        w = csv.DictWriter(fh, fieldnames=list(rows[0]))
        w.writeheader()
        w.writerows(rows)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--problems", type=int, default=300)
    ap.add_argument("--first", type=int, default=1000)
    ap.add_argument("--operational", action="store_true")
    args = ap.parse_args()
    rows = []
    if args.operational:
        start = 8  # capacity grows with dim, so each dim starts at the last one's
        for z in (256, 512, 1024, 1500, 2048):
            best = None
            for d in range(start, 400, 4):
                (ok, _), ms = run(3, d, z, 2, 0, args.problems, args.first, reference=False)
                rows.append({"dim": z, "D": d, "search_space": d ** 3, "solved": ok,
                             "problems": args.problems, "ms": ms[0]})
                print(rows[-1], flush=True)
                write("factorize_operational.csv", rows)  # a stopped run keeps its rows
                if ok < 0.99 * args.problems:
                    break
                best = d
            if best is None:
                print("dim %d: operational capacity below D = %d" % (z, start), flush=True)
                continue
            print("dim %d: operational capacity D = %d, D**3 = %d" % (z, best, best ** 3), flush=True)
            start = best
        return
    for label, f_count, d, z, n, dist in TARGETS:
        ok, ms = run(f_count, d, z, n, dist, args.problems, args.first)
        rows.append({"shape": label, "F": f_count, "D": d, "dim": z, "n": n, "distractors": dist,
                     "problems": args.problems, "factorize": ok[0], "resonator_factorize": ok[1],
                     "factorize_ms": ms[0], "resonator_factorize_ms": ms[1],
                     "time_ratio": round(ms[0] / ms[1], 2)})
        print(rows[-1], flush=True)
    write("factorize_targets.csv", rows)


if __name__ == "__main__":
    main()
