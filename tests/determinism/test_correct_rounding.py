"""Results rest on correctly rounded cos, sin and atan2, whatever the C
library: checked against mpmath at the angles where C libraries are known to
round differently."""

import struct

import pytest

from support import crmath, oracle
from velmora import PhaseHVec as P, resonator_factorize

TAU = 6.283185307179586

# (n, k): table angles (k * 2pi) / n at which glibc's cos is not correctly rounded.
PLATFORM_MISSES = [(52, 13), (61, 19), (78, 47), (1000, 651), (1000, 727), (1000, 826)]


def bits(x):
    return struct.pack("<d", x)


@pytest.mark.parametrize("n,k", PLATFORM_MISSES)
def test_one_component_similarity_is_the_correctly_rounded_cosine(make_vec, n, k):
    expected = crmath.cos((k * TAU) / n)
    for a, b in ((k, 0), (0, k), (n - 1, n - 1 - k)):
        assert bits(make_vec([a], n).similarity(make_vec([b], n))) == bits(expected)


def test_crmath_oracle_against_worked_values():
    # Oracle check: exact halves and a value far from any rounding question.
    assert crmath.cos(0.0) == 1.0 and bits(crmath.sin(-0.0)) == bits(-0.0)
    assert crmath.atan2(1.0, 1.0) == 0.7853981633974483
    assert crmath.atan2(-0.0, -1.0) == -3.141592653589793
    assert crmath.cos(TAU / 6) == 0.5000000000000001


@pytest.mark.parametrize("n", sorted({n for n, _ in PLATFORM_MISSES}))
def test_similarity_bundle_and_resonator_match_the_oracles(n):
    a, b, c = (P.random(257, n, seed) for seed in (11, 12, 13))
    pa, pb, pc = a.phases(), b.phases(), c.phases()
    assert bits(a.similarity(b)) == bits(oracle.similarity(pa, pb, n))
    assert P.bundle([a, b, c]).phases() == oracle.bundle([pa, pb, pc], n)
    books = [[P.random(64, n, 100 * f + e) for e in range(6)] for f in range(2)]
    composite = books[0][4].bind(books[1][1])
    expected, _, _ = oracle.resonator(
        composite.phases(), n, [[(e.phases(), n) for e in book] for book in books], 8)
    got = resonator_factorize(composite, books, 8)
    assert [(i, bits(s)) for i, s in got] == [(i, bits(s)) for i, s in expected]
