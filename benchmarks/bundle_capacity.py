"""How many key-value records one bundle holds before recall degrades.

For R records, record i has a key and a value, both seeded random vectors at
dimension Z and resolution n (key seed i, value seed VALUE_SEEDS + i). The
memory is the bundle of the R bound pairs, key.bind(value). A record is
recalled when unbinding its key from the memory gives a vector whose most
similar value, among all R values, is its own (ties count as a miss). Every
point (Z, n, R) reports how many of its R records were recalled.

    python benchmarks/bundle_capacity.py            # the committed grid, about 2 min of one core
    python benchmarks/bundle_capacity.py --quick    # seconds

It writes data/bundle_capacity.csv and draws data/bundle_capacity.png.
"""

import argparse
import csv
import os
import time

from velmora import PhaseHVec

HERE = os.path.dirname(os.path.abspath(__file__))
VALUE_SEEDS = 1_000_000
FIELDS = ["dim", "n", "records", "recalled", "seconds"]


def recalled(dim, n, records):
    keys = [PhaseHVec.random(dim, n, i) for i in range(records)]
    values = [PhaseHVec.random(dim, n, VALUE_SEEDS + i) for i in range(records)]
    memory = PhaseHVec.bundle([k.bind(v) for k, v in zip(keys, values)])
    hits = 0
    for i, key in enumerate(keys):
        scores = memory.unbind(key).similarities(values)
        best = max(scores)
        hits += scores[i] == best and scores.count(best) == 1
    return hits


def run(dims, levels, sizes):
    rows = []
    for n in levels:
        for dim in dims:
            for records in sizes:
                start = time.perf_counter()
                hits = recalled(dim, n, records)
                rows.append({"dim": dim, "n": n, "records": records, "recalled": hits,
                             "seconds": round(time.perf_counter() - start, 3)})
                print(f"dim {dim:6d}  n {n:4d}  records {records:5d}  recalled {hits:5d}", flush=True)
    return rows


def write(rows, path):
    with open(path, "w", newline="") as f:
        writer = csv.DictWriter(f, fieldnames=FIELDS)
        writer.writeheader()
        writer.writerows(rows)


def plot(rows, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    levels = sorted({r["n"] for r in rows})
    fig, axes = plt.subplots(1, len(levels), figsize=(4.2 * len(levels), 3.8), sharey=True, squeeze=False)
    for ax, n in zip(axes[0], levels):
        for dim in sorted({r["dim"] for r in rows}):
            points = sorted((r["records"], r["recalled"] / r["records"]) for r in rows if r["n"] == n and r["dim"] == dim)
            ax.plot([p[0] for p in points], [p[1] for p in points], marker="o", label=f"dim {dim}")
        ax.set_title(f"n = {n}")
        ax.set_xlabel("records in one bundle")
        ax.grid(alpha=0.3)
    axes[0][0].set_ylabel("fraction of records recalled")
    axes[0][0].legend()
    fig.tight_layout()
    fig.savefig(path, dpi=110)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dims", type=int, nargs="+", default=[1024, 4096, 10000])
    parser.add_argument("--levels", type=int, nargs="+", default=[2, 16, 256])
    parser.add_argument("--records", type=int, nargs="+", default=[100, 200, 300, 500, 750, 1000])
    parser.add_argument("--quick", action="store_true", help="a small grid, to check the script runs")
    parser.add_argument("--out", default=os.path.join(HERE, "data", "bundle_capacity"),
                        help="path of the CSV and PNG, without the extension")
    args = parser.parse_args()
    if args.quick:
        args.dims, args.levels, args.records = [256, 1024], [2, 16], [20, 50]
    rows = run(args.dims, args.levels, args.records)
    write(rows, args.out + ".csv")
    plot(rows, args.out + ".png")


if __name__ == "__main__":
    main()
