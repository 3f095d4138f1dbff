"""Factor bound composites back into their codebook entries, and report accuracy.

Three codebooks of seeded random vectors; each problem binds one entry from
each codebook into a composite (optionally superposed with noise vectors),
and `factorize` recovers the three indices (`--reference` runs the reference
algorithm, `resonator_factorize`, instead).

    python examples/factorize.py --problems 200 --dim 2048 --entries 40 --noise 1
"""

import argparse
import time

from velmora import PhaseHVec, resonator_factorize


def codebooks(dim, n, entries, factors):
    return [[PhaseHVec.random(dim, n, 1_000_000 * (f + 1) + i) for i in range(entries)] for f in range(factors)]


def problem(books, dim, n, index, noise):
    """The composite for problem `index`: which entries it binds, and the vector."""
    truth = [(index * 7919 + f * 104729) % len(book) for f, book in enumerate(books)]
    composite = books[0][truth[0]]
    for book, t in zip(books[1:], truth[1:]):
        composite = composite.bind(book[t])
    if noise:
        distractors = [PhaseHVec.random(dim, n, 9_000_000 + index * 31 + k) for k in range(noise)]
        composite = PhaseHVec.bundle([composite, *distractors])
    return truth, composite


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--problems", type=int, default=200)
    parser.add_argument("--dim", type=int, default=2048)
    parser.add_argument("--n", type=int, default=16)
    parser.add_argument("--entries", type=int, default=40, help="entries per codebook")
    parser.add_argument("--factors", type=int, default=3)
    parser.add_argument("--noise", type=int, default=0, help="random vectors bundled into each composite")
    parser.add_argument("--max-iter", type=int, default=None, help="sweep cap (default: chosen from the problem size)")
    parser.add_argument("--reference", action="store_true", help="use resonator_factorize (max_iter 50 unless given)")
    args = parser.parse_args()

    books = codebooks(args.dim, args.n, args.entries, args.factors)
    solved = 0
    elapsed = 0.0
    for index in range(args.problems):
        truth, composite = problem(books, args.dim, args.n, index, args.noise)
        start = time.perf_counter()
        if args.reference:
            found = resonator_factorize(composite, books, 50 if args.max_iter is None else args.max_iter)
        else:
            found = composite.factorize(books, args.max_iter)
        elapsed += time.perf_counter() - start
        solved += [i for i, _ in found] == truth

    print(
        f"{args.factors} codebooks x {args.entries} entries, dim {args.dim}, n {args.n}, noise {args.noise}: "
        f"{solved}/{args.problems} solved ({100.0 * solved / args.problems:.1f} %), "
        f"{1000.0 * elapsed / args.problems:.2f} ms per problem"
    )


if __name__ == "__main__":
    main()
