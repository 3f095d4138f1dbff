"""Tests of PhaseHVec.factorize: bit-exact against the plain-Python
transcription in support/factorize_oracle.py, its refusals, and its answers
on problems at the edge of what the reference resonator solves."""

import pytest

import velmora
from support import factorize_oracle
from support.arguments import Index, bad_codebooks
from support.checks import assert_refcounts_stable, check_refused

PH = velmora.PhaseHVec


def bound_problem(dim, n, sizes, seed, distractors=0):
    books = [[PH.random(dim, n, (seed << 20) | (f << 12) | i) for i in range(m)] for f, m in enumerate(sizes)]
    truth = [(seed * 7 + 3 * f) % m for f, m in enumerate(sizes)]
    composite = books[0][truth[0]]
    for f in range(1, len(books)):
        composite = composite.bind(books[f][truth[f]])
    if distractors:
        composite = PH.bundle([composite] + [PH.random(dim, n, (seed << 20) | (1 << 19) | k)
                                             for k in range(distractors)])
    return composite, books, truth


def mirrored(composite, books, max_iter=None):
    return factorize_oracle.factorize(composite.phases(), composite.n,
                                      [[e.phases() for e in book] for book in books], max_iter)


# Small problems near capacity, so that restarts and cycles are exercised.
@pytest.mark.parametrize("n, dim, sizes, distractors", [
    (2, 24, (5, 5), 0), (2, 40, (4, 4, 4), 1), (3, 24, (5, 4), 0), (3, 32, (3, 3, 3), 1),
    (16, 24, (6, 6), 1), (16, 40, (4, 4, 4), 2), (65536, 24, (5, 5), 1), (65536, 16, (3, 3, 3), 0),
])
@pytest.mark.parametrize("max_iter", [0, 1, 7, None])
def test_matches_the_transcription(n, dim, sizes, distractors, max_iter):
    for seed in (1, 2):
        composite, books, _ = bound_problem(dim, n, sizes, seed, distractors)
        assert composite.factorize(books, max_iter) == mirrored(composite, books, max_iter)


def test_transcription_restarts_and_verifies():
    # The runs above must reach both ends: a verified stop and a restart.
    seen = {"verified": False, "restarts": False}
    for seed in range(1, 5):
        composite, books, _ = bound_problem(24, 2, (5, 5, 5), seed, 2)
        trace = {}
        factorize_oracle.factorize(composite.phases(), 2, [[e.phases() for e in b] for b in books], 200, trace)
        assert composite.factorize(books, 200) == mirrored(composite, books, 200)
        seen["verified"] |= trace["verified"]
        seen["restarts"] |= trace["restarts"] > 0
    assert seen == {"verified": True, "restarts": True}


@pytest.mark.parametrize("n, dim, sizes, distractors", [
    (16, 2048, (40, 40, 40), 2), (2, 1500, (79, 79, 79), 0), (256, 1024, (200, 200), 0),
])
def test_solves_where_the_reference_falters(n, dim, sizes, distractors):
    for seed in (11, 12):
        composite, books, truth = bound_problem(dim, n, sizes, seed, distractors)
        got = composite.factorize(books)
        assert [i for i, _ in got] == truth
        assert all(0.0 <= s <= 1.0 for _, s in got)


@pytest.mark.parametrize("n", [2, 16])
def test_similarity_is_coherence(n):
    # A one-entry codebook's estimate is the entry itself.
    e, c = PH.random(50, n, 1), PH.random(50, n, 2)
    assert c.factorize([[e]], 0) == [(0, 1.0)]
    composite, books, truth = bound_problem(512, n, (6, 6), 9)
    got = composite.factorize(books)
    assert [i for i, _ in got] == truth and all(0.0 < s <= 1.0 for _, s in got)


def test_empty_and_mismatched():
    a = PH.random(16, 8, 1)
    assert a.factorize([]) == [] and a.factorize(()) == []
    for books in ([[a], []], [[]]):
        with pytest.raises(ValueError) as info:
            a.factorize(books)
        assert str(info.value) == "cannot factorize with an empty codebook"
    for other in (PH.random(17, 8, 2), PH.random(16, 9, 2), PH.random(15, 8, 2)):
        with pytest.raises(ValueError) as info:
            a.factorize([[a], [a, other]], 0)
        assert type(info.value) is ValueError
        assert str(info.value) == "phase vectors differ in dimension or resolution"
        assert not hasattr(info.value, "__notes__")


@pytest.mark.parametrize("value, exc_type", [
    (-1, OverflowError), (2 ** 64, OverflowError), (1.0, TypeError), ("3", TypeError), (Index(-1), OverflowError),
])
def test_max_iter_refused(value, exc_type):
    a = PH.random(8, 8, 1)
    check_refused(lambda: a.factorize([[a]], max_iter=value), exc_type, "max_iter")


@pytest.mark.parametrize("case", range(len(bad_codebooks())))
def test_codebooks_refused(case):
    codebooks, exc_type, message = bad_codebooks()[case]
    composite = PH.random(8, 8, 3)
    for max_iter in (0, "not an int"):   # codebooks is converted before max_iter
        check_refused(lambda: composite.factorize(codebooks, max_iter), exc_type, "codebooks", message)


def test_binder_and_references():
    composite, books, _ = bound_problem(32, 16, (4, 4), 3)
    assert composite.factorize(codebooks=books, max_iter=5) == composite.factorize(books, 5)
    with pytest.raises(TypeError):
        composite.factorize()
    with pytest.raises(TypeError):
        composite.factorize(books, 5, 6)
    assert_refcounts_stable([composite] + books[0] + books[1], lambda: composite.factorize(books))
