"""Best-of timings at the largest sizes, for the limits table of
docs/performance.md (the machine's own limits come from limits.cpp):

    python benchmarks/largest.py
"""

import time

import velmora

P = velmora.PhaseHVec
DIM = 1 << 20


def best(fn, number, repeats=15):
    """Best time per call, in microseconds."""
    fn()
    fastest = float("inf")
    for _ in range(repeats):
        t0 = time.perf_counter()
        for _ in range(number):
            fn()
        fastest = min(fastest, (time.perf_counter() - t0) / number)
    return fastest * 1e6


def main():
    for n in (16, 65536):
        a, b = P.random(DIM, n, 1), P.random(DIM, n, 2)
        print("n=%d, dim 2^20: bind %.0f us, unbind %.0f us, random %.0f us, similarity %.0f us" % (
            n, best(lambda: a.bind(b), 20), best(lambda: a.unbind(b), 20),
            best(lambda: P.random(DIM, n, 1), 5), best(lambda: a.similarity(b), 3)))
        for k in (3, 100):
            items = [P.random(16384, n, 100 + s) for s in range(k)]
            print("  bundle of %d x 16384: %.0f us" % (k, best(lambda: P.bundle(items), 3 if k == 100 else 10)))
    books = [[P.random(4096, 16, 1000 * f + e) for e in range(256)] for f in range(3)]
    composite = books[0][3].bind(books[1][10]).bind(books[2][17])
    setup = best(lambda: velmora.resonator_factorize(composite, books, 0), 1, 7)
    swept = best(lambda: velmora.resonator_factorize(composite, books, 3), 1, 7)
    print("resonator F=3 M=256 Z=4096 n=16: set-up %.0f us, per sweep %.0f us" % (setup, (swept - setup) / 3))


if __name__ == "__main__":
    main()
