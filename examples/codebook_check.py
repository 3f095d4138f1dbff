"""Check a codebook of seeded vectors for unusually similar pairs before using it.

Seeded vectors are a fixed function of their seeds, and a few seed pairs give
vectors that are far more similar than independent random phases would be
(see docs/concepts.md). Such a pair is harmless for storage but makes cleanup
and factorization confuse the two entries. The check is cheap: compare every
pair once, and replace the later entry of any pair above a limit with a vector
from a fresh seed.

    python examples/codebook_check.py --entries 200 --dim 1500 --n 2
"""

import argparse
import math
import time

from velmora import PhaseHVec


def spread(dim, n):
    """Standard deviation of the similarity of two independent random vectors."""
    return 1.0 / math.sqrt(dim if n == 2 else 2 * dim)


def worst_pairs(book, limit):
    """Every pair of entries whose |similarity| exceeds `limit`, and the largest |similarity| seen."""
    pairs, largest = [], 0.0
    for i, a in enumerate(book):
        for j in range(i + 1, len(book)):
            s = abs(a.similarity(book[j]))
            largest = max(largest, s)
            if s > limit:
                pairs.append((s, i, j))
    return pairs, largest


def checked_codebook(dim, n, seeds, limit, spare_seeds):
    """The codebook for `seeds`, with every entry that is too close to an earlier one re-drawn."""
    seeds = list(seeds)
    book = [PhaseHVec.random(dim, n, s) for s in seeds]
    while True:
        pairs, largest = worst_pairs(book, limit)
        if not pairs:
            return seeds, book, largest
        for _, _, j in pairs:
            seeds[j] = next(spare_seeds)
            book[j] = PhaseHVec.random(dim, n, seeds[j])


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--entries", type=int, default=200)
    p.add_argument("--dim", type=int, default=1500)
    p.add_argument("--n", type=int, default=2)
    p.add_argument("--sigmas", type=float, default=5.0,
                   help="limit in standard deviations of independent random vectors")
    a = p.parse_args()

    start = time.perf_counter()
    # five standard deviations: independent phases exceed it in about 6e-7 of pairs
    limit = a.sigmas * spread(a.dim, a.n)
    before, largest_before = worst_pairs([PhaseHVec.random(a.dim, a.n, s) for s in range(a.entries)], limit)
    for s, i, j in sorted(before, reverse=True):
        print(f"seeds {i} and {j}: |similarity| {s:.3f} (limit {limit:.3f})")
    seeds, book, largest = checked_codebook(a.dim, a.n, range(a.entries), limit, iter(range(10**9, 2 * 10**9)))
    replaced = [(i, s) for i, s in enumerate(seeds) if s != i]
    print(f"{a.entries} entries, dim {a.dim}, n {a.n}: largest |similarity| {largest_before:.3f} before, "
          f"{largest:.3f} after replacing {len(replaced)} seed(s) {replaced}; {time.perf_counter() - start:.1f} s")
    assert largest <= limit


if __name__ == "__main__":
    main()
