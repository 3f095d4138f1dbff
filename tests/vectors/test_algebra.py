"""Element-wise algebra of PhaseHVec: bind, unbind, similarity and the views."""

import random as pyrandom
import struct

import pytest

from support import oracle
from support.checks import assert_refcounts_stable, check_note, raised
import velmora

P = velmora.PhaseHVec
MISMATCH = "phase vectors differ in dimension or resolution"
OPS = ["bind", "unbind", "similarity"]


def bits(x):
    return struct.pack("<d", x)


# -- views -------------------------------------------------------------------

@pytest.mark.parametrize(
    "dim, n, text",
    [
        (4, 16, "PhaseHVec(dim=4, n=16)"),
        (0, 16, "PhaseHVec(dim=0, n=16)"),
        (1024, 16, "PhaseHVec(dim=1024, n=16)"),
        (3, 65536, "PhaseHVec(dim=3, n=65536)"),
        (12345, 2, "PhaseHVec(dim=12345, n=2)"),
    ],
)
def test_text_form_dim_and_n(dim, n, text):
    v = P.random(dim, n, 9)
    assert repr(v) == text
    assert str(v) == text
    assert type(v.dim) is int and v.dim == dim
    assert type(v.n) is int and v.n == n


@pytest.mark.parametrize("attr", ["dim", "n"])
def test_dim_and_n_are_read_only(attr):
    v = P.random(4, 16, 1)
    with pytest.raises(AttributeError):
        setattr(v, attr, 5)
    with pytest.raises(AttributeError):
        delattr(v, attr)
    assert (v.dim, v.n) == (4, 16)


def test_phases_returns_a_fresh_copy():
    v = P.random(4, 16, 1)
    first = v.phases()
    assert type(first) is list and all(type(p) is int for p in first)
    first[0] = 99
    first.append(3)
    second = v.phases()
    assert second == [7, 15, 8, 14]
    assert second is not v.phases()


@pytest.mark.parametrize("args, kwargs", [((1,), {}), ((), {"x": 1})])
def test_phases_takes_no_arguments(args, kwargs):
    with pytest.raises(TypeError):
        P.random(4, 16, 1).phases(*args, **kwargs)


# -- fixed cases ---------------------------------------------------------------

def test_worked_bind_and_unbind(make_vec):
    a = P.random(4, 16, 1)
    b = make_vec([7, 6, 5, 8], 16)
    assert a.phases() == [7, 15, 8, 14]
    bound = a.bind(b)
    assert bound.phases() == [14, 5, 13, 6]
    assert b.bind(a).phases() == [14, 5, 13, 6]
    assert a.unbind(b).phases() == [0, 9, 3, 6]
    assert bound.unbind(b).phases() == [7, 15, 8, 14]


@pytest.mark.parametrize(
    "n, x, y, bound, unbound",
    [
        (65536, 65535, 65535, 65534, 0),
        (65536, 0, 65535, 65535, 1),
        (65536, 32768, 32768, 0, 0),
        (16, 3, 5, 8, 14),
        (2, 1, 1, 0, 0),
        (3, 2, 2, 1, 0),
    ],
)
def test_bind_and_unbind_wrap_without_narrowing(make_vec, n, x, y, bound, unbound):
    a, b = make_vec([x], n), make_vec([y], n)
    assert a.bind(b).phases() == [bound]
    assert a.unbind(b).phases() == [unbound]


@pytest.mark.parametrize(
    "x, y, expected", [([0, 4], [0, 0], 0.5), ([0, 8], [8, 0], -1.0)]
)
def test_worked_similarity(make_vec, x, y, expected):
    a, b = make_vec(x, 16), make_vec(y, 16)
    assert bits(a.similarity(b)) == bits(expected)
    assert bits(b.similarity(a)) == bits(expected)


@pytest.mark.parametrize("dim", [0, 1, 2, 7, 64, 1000, 4099])
@pytest.mark.parametrize("n", [2, 3, 16, 65536])
def test_self_similarity_is_exactly_one(dim, n):
    a = P.random(dim, n, dim * 31 + n)
    s = a.similarity(a)
    assert type(s) is float and bits(s) == bits(1.0)


def test_self_bind_doubles():
    for n in (2, 16, 1000, 65535, 65536):
        a = P.random(200, n, 5)
        assert a.bind(a).phases() == [(2 * p) % n for p in a.phases()]
        assert a.unbind(a).phases() == [0] * 200


def test_results_are_new_objects():
    a, b = P.random(32, 16, 1), P.random(32, 16, 2)
    back = a.bind(b).unbind(b)
    assert back is not a
    assert not (back == a)
    assert back != a
    assert back.phases() == a.phases()
    assert a.unbind(b).bind(b).phases() == a.phases()
    assert a.bind(b).phases() == b.bind(a).phases()


def test_dim_zero():
    a, b = P.random(0, 16, 1), P.random(0, 16, 2)
    for op in ("bind", "unbind"):
        r = getattr(a, op)(b)
        assert (r.dim, r.n, r.phases()) == (0, 16, [])
        assert repr(r) == "PhaseHVec(dim=0, n=16)"
    assert bits(a.similarity(b)) == bits(1.0)


# -- incompatible operands ----------------------------------------------------

@pytest.mark.parametrize("op", OPS)
@pytest.mark.parametrize(
    "left, right",
    [((8, 16), (8, 17)), ((8, 16), (9, 16)), ((0, 16), (0, 8)), ((0, 16), (1, 16)),
     ((3, 2), (4, 3))],
)
def test_incompatible_operands(op, left, right):
    a, b = P.random(left[0], left[1], 1), P.random(right[0], right[1], 2)
    before = (a.phases(), b.phases())
    for x, y in ((a, b), (b, a)):
        with pytest.raises(ValueError) as ei:
            getattr(x, op)(y)
        assert type(ei.value) is ValueError
        assert ei.value.args == (MISMATCH,)
        assert not hasattr(ei.value, "__notes__")
    assert (a.phases(), b.phases()) == before


# -- argument handling for `other` ---------------------------------------------

class Indexable:
    def __index__(self):
        return 3


@pytest.mark.parametrize("op", OPS)
@pytest.mark.parametrize(
    "bad, message",
    [
        (5, "'int' object is not an instance of 'PhaseHVec'"),
        (None, "'None' is not an instance of 'PhaseHVec'"),
        ([0, 1], "'list' object is not an instance of 'PhaseHVec'"),
        (Indexable(), "'Indexable' object is not an instance of 'PhaseHVec'"),
        (P, "'type' object is not an instance of 'PhaseHVec'"),
    ],
)
def test_other_must_be_a_vector(op, bad, message):
    a = P.random(2, 16, 1)
    with pytest.raises(TypeError) as ei:
        getattr(a, op)(bad)
    assert type(ei.value) is TypeError
    assert str(ei.value) == message
    check_note(ei.value, "other")
    with pytest.raises(TypeError) as ei:
        getattr(a, op)(other=bad)
    assert str(ei.value) == message


def test_reference_counts_are_stable():
    a, b = P.random(16, 16, 1), P.random(16, 16, 2)
    c = P.random(16, 8, 3)
    junk = object()

    def exercise():
        a.bind(b)
        a.unbind(b)
        a.similarity(b)
        a.bind(other=b)
        for op in OPS:
            assert raised(getattr(a, op), c) is ValueError
            assert raised(getattr(a, op), junk) is TypeError

    assert_refcounts_stable([a, b, c, junk], exercise)


# -- bit-exact comparison with the scalar reference ---------------------------

@pytest.mark.parametrize("n", [2, 3, 5, 16, 255, 1000, 4097, 65535, 65536])
@pytest.mark.parametrize("dim", [0, 1, 7, 64, 1000])
def test_matches_reference(n, dim):
    rng = pyrandom.Random(n * 7919 + dim)
    s1, s2 = rng.getrandbits(64), rng.getrandbits(64)
    a, b = P.random(dim, n, s1), P.random(dim, n, s2)
    pa, pb = oracle.generate(dim, n, s1), oracle.generate(dim, n, s2)
    assert a.phases() == pa and b.phases() == pb
    assert a.bind(b).phases() == oracle.bind(pa, pb, n)
    assert a.unbind(b).phases() == oracle.unbind(pa, pb, n)
    assert b.unbind(a).phases() == oracle.unbind(pb, pa, n)
    assert bits(a.similarity(b)) == bits(oracle.similarity(pa, pb, n))
    assert bits(b.similarity(a)) == bits(oracle.similarity(pb, pa, n))
    derived = a.bind(b).bind(b)
    pd = oracle.bind(oracle.bind(pa, pb, n), pb, n)
    assert bits(derived.similarity(a)) == bits(oracle.similarity(pd, pa, n))


def test_similarity_sums_in_index_order(make_vec):
    # Only cases where summing in another order changes the last bit.
    n = 1000
    rng = pyrandom.Random(4)
    checked = 0
    while checked < 10:
        pa = [rng.randrange(n) for _ in range(24)]
        pb = [rng.randrange(n) for _ in range(24)]
        expected = oracle.similarity(pa, pb, n)
        if expected == oracle.similarity(pa[::-1], pb[::-1], n):
            continue
        a, b = make_vec(pa, n), make_vec(pb, n)
        assert bits(a.similarity(b)) == bits(expected)
        checked += 1
