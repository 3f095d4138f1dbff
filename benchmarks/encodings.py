#!/usr/bin/env python3
"""permute, power and weighted bundle side by side with bind and NumPy, one thread, one run.

    python benchmarks/encodings.py [--dim 1048576] [--repeat 15]

Each figure is the best of --repeat calls; ratios are taken within this run.
"""

import argparse
import time

import numpy as np

import velmora

P = velmora.PhaseHVec


def best(func, repeat):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        func()
        times.append(time.perf_counter() - start)
    return min(times)


def numpy_real_power(k, x, n):
    s = np.where(2 * k <= n, k, k - n).astype(np.float64)
    p = s * x
    t = np.trunc(p)
    f = p - t
    t = t + (f >= 0.5) - (f <= -0.5)
    return np.mod(t.astype(np.int64), n)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dim", type=int, default=1 << 20)
    parser.add_argument("--n", type=int, default=65536)
    parser.add_argument("--repeat", type=int, default=15)
    parser.add_argument("--items", type=int, default=64)
    parser.add_argument("--bundle-dim", type=int, default=1 << 16)
    args = parser.parse_args()
    n, r = args.n, args.repeat
    a, b = P.random(args.dim, n, 1), P.random(args.dim, n, 2)
    k = np.array(a.phases(), dtype=np.int64)
    rows = [
        ("bind", best(lambda: a.bind(b), r)),
        ("permute(12345)", best(lambda: a.permute(12345), r)),
        ("power(-12345)", best(lambda: a.power(-12345), r)),
        ("power(2.37)", best(lambda: a.power(2.37), r)),
        ("np.roll", best(lambda: np.roll(k, 12345), r)),
        ("(k * e) % n", best(lambda: (k * -12345) % n, r)),
        ("rounding by hand", best(lambda: numpy_real_power(k, 2.37, n), r)),
    ]
    bind_time = rows[0][1]
    print("dim %d, n %d, best of %d" % (args.dim, n, r))
    for name, t in rows:
        print("  %-18s %9.3f ms   %5.2fx bind" % (name, t * 1e3, t / bind_time))
    items = [P.random(args.bundle_dim, n, 10 + i) for i in range(args.items)]
    weights = [1 + (i * 7919) % 50 for i in range(args.items)]
    plain = best(lambda: P.bundle(items), r)
    weighted = best(lambda: P.bundle(items, weights=weights), r)
    repeated = [v for v, w in zip(items, weights) for _ in range(w)]
    expanded = best(lambda: P.bundle(repeated), max(3, r // 5))
    print("bundle of %d items at dim %d (weights 1..50, total %d)" % (args.items, args.bundle_dim, sum(weights)))
    print("  %-18s %9.3f ms" % ("unweighted", plain * 1e3))
    print("  %-18s %9.3f ms   %5.2fx unweighted" % ("weighted", weighted * 1e3, weighted / plain))
    print("  %-18s %9.3f ms   %5.2fx unweighted" % ("repeated items", expanded * 1e3, expanded / plain))


if __name__ == "__main__":
    main()
