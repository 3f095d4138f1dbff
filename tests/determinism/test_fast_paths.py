"""End-to-end checks of the fast kernels against the Python oracles, at the
sizes where their shortcuts change: SIMD-width boundaries, the 16-bit wrap
near n = 32768 and 65536, remainders by non-powers of two, the similarity
cosine memo when cold, partly filled and full, and the resonator's blocks
of eight entries. The per-variant C++ differential tests live in tests/native."""

import random as pyrandom
import struct

import pytest

from support import oracle
import velmora

P = velmora.PhaseHVec
BOUNDARY_DIMS = [15, 16, 17, 31, 32, 33, 63, 64, 65, 129]


def bits(x):
    return struct.pack("<d", x)


@pytest.mark.parametrize("n", [2, 7, 32767, 32768, 32769, 65535, 65536])
def test_elementwise_at_simd_boundaries(n):
    for dim in BOUNDARY_DIMS:
        pa, pb = oracle.generate(dim, n, dim), oracle.generate(dim, n, dim + 1000)
        a, b = P.random(dim, n, dim), P.random(dim, n, dim + 1000)
        assert a.phases() == pa and b.phases() == pb
        assert a.bind(b).phases() == oracle.bind(pa, pb, n)
        assert a.unbind(b).phases() == oracle.unbind(pa, pb, n)
        assert b.unbind(a).phases() == oracle.unbind(pb, pa, n)


@pytest.mark.parametrize("seed", [0, 1, 2 ** 63, 2 ** 64 - 1])
def test_generation_remainder_for_odd_resolutions(seed):
    rng = pyrandom.Random(seed)
    for n in [3, 641, 6700, 65521, 65535] + [rng.randrange(2, 65537) for _ in range(6)]:
        assert P.random(300, n, seed).phases() == oracle.generate(300, n, seed)


@pytest.mark.parametrize("n", [3, 16, 1000, 65536])
def test_similarity_memo_cold_partial_and_full(n):
    # Short vectors first (a partly filled memo), then long ones that meet
    # nearly every difference, then the short ones again from the full memo.
    sizes = [1, 33, 4 * n + 1 if n <= 1000 else 20000, 33]
    for k, dim in enumerate(sizes):
        pa, pb = oracle.generate(dim, n, 11 + k), oracle.generate(dim, n, 99 + k)
        a, b = P.random(dim, n, 11 + k), P.random(dim, n, 99 + k)
        assert bits(a.similarity(b)) == bits(oracle.similarity(pa, pb, n))
        assert bits(b.similarity(a)) == bits(oracle.similarity(pb, pa, n))


@pytest.mark.parametrize("n", [5, 16, 65536])
@pytest.mark.parametrize("count", [1, 7, 20])
def test_bundle_blocks_and_cached_tables(n, count):
    dim = 1030  # one block of 1024 components and a short tail
    items = [P.random(dim, n, 500 + s) for s in range(count)]
    expected = oracle.bundle([v.phases() for v in items], n)
    assert P.bundle(items).phases() == expected
    assert P.bundle(items).phases() == expected  # from the cached table


@pytest.mark.parametrize(
    "entries, z, mixed",
    [(8, 40, False), (17, 24, False), (9, 20, True)],
    ids=["one-block", "blocks-and-tail", "mixed-resolutions"],
)
def test_resonator_blocks(entries, z, mixed):
    n = 16
    books, raw = [], []
    for f in range(2):
        book, rbook = [], []
        for e in range(entries):
            m = 65536 if mixed and e % 4 == 1 else n
            v = P.random(z, m, 7000 + 100 * f + e)
            book.append(v)
            rbook.append((v.phases(), m))
        books.append(book)
        raw.append(rbook)
    comp = books[0][2].bind(books[1][5 % entries]) if not mixed else books[0][2]
    for max_iter in (0, 2, 50):
        got = velmora.resonator_factorize(comp, books, max_iter)
        want, _, _ = oracle.resonator(comp.phases(), n, raw, max_iter)
        assert [i for i, _ in got] == [i for i, _ in want]
        assert [bits(s) for _, s in got] == [bits(s) for _, s in want]
