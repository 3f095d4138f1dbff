"""PhaseHVec.bundle: the integer phasor fold and the extraction of its items."""

import collections
import itertools
import random as pyrandom

import pytest

from support import oracle
from support.checks import assert_refcounts_stable, check_note, check_panic, panic_type, raised
import velmora

P = velmora.PhaseHVec
EMPTY_MSG = "cannot bundle an empty list"
STR_MSG = "Can't extract `str` to `Vec`"
CHUNK = 32


def dim_mismatch(left, right):
    return ("assertion `left == right` failed: phase-vector dimension mismatch in bundle"
            "\n  left: %d\n right: %d" % (left, right))


def n_mismatch(left, right):
    return ("assertion `left == right` failed: phase-vector resolution mismatch in bundle"
            "\n  left: %d\n right: %d" % (left, right))


def bundle_columns(make_vec, columns, n):
    """Bundle, component by component, the phase tuples in `columns`.

    columns[i] holds the phases of every item at component i; the items are
    built CHUNK components at a time (zero padded) so that vector construction
    stays cheap. Returns the module's phases and the reference phases.
    """
    width = len(columns[0])
    got = []
    for start in range(0, len(columns), CHUNK):
        chunk = list(columns[start:start + CHUNK])
        real = len(chunk)
        chunk += [(0,) * width] * (CHUNK - real)
        items = [make_vec([col[j] for col in chunk], n) for j in range(width)]
        got += P.bundle(items).phases()[:real]
    items = [[col[j] for col in columns] for j in range(width)]
    return got, oracle.bundle(items, n)


# -- the oracle itself, against worked examples ----------------------------------

@pytest.mark.oracle
@pytest.mark.parametrize(
    "n, cos_table, sin_table",
    [
        (2, [16384, -16384], [0, 0]),
        (3, [16384, -8192, -8192], [0, 14189, -14189]),
        (4, [16384, 0, -16384, 0], [0, 16384, 0, -16384]),
        (6, [16384, 8192, -8192, -16384, -8192, 8192], [0, 14189, 14189, 0, -14189, -14189]),
        (8, [16384, 11585, 0, -11585, -16384, -11585, 0, 11585],
         [0, 11585, 16384, 11585, 0, -11585, -16384, -11585]),
    ],
)
def test_oracle_phasor_tables(n, cos_table, sin_table):
    assert oracle.phasor_tables(n) == (cos_table, sin_table)


@pytest.mark.oracle
@pytest.mark.parametrize(
    "x, expected",
    [(0.5, 1), (-0.5, -1), (1.5, 2), (2.5, 3), (-2.5, -3), (0.49999999999999994, 0),
     (-0.49999999999999994, 0), (4503599627370495.5, 4503599627370496), (3.590, 4),
     (-0.0, 0), (float("nan"), 0), (1e300, 2**63 - 1), (-1e300, -2**63),
     (float("inf"), 2**63 - 1)],
)
def test_oracle_rounding(x, expected):
    assert oracle.to_int64_saturating(x) == expected


# -- table-driven results for small n --------------------------------------------

@pytest.mark.parametrize("n", [2, 3, 4, 6, 8])
@pytest.mark.parametrize("width", [1, 2, 3])
def test_small_resolutions_all_combinations(make_vec, n, width):
    columns = list(itertools.product(range(n), repeat=width))
    got, expected = bundle_columns(make_vec, columns, n)
    assert got == expected
    if width == 1:
        assert got == list(range(n))


def test_worked_example(make_vec):
    a = [0, 1, 2, 3, 7, 0]
    b = [0, 2, 2, 5, 1, 4]
    c = [1, 2, 6, 3, 0, 0]
    cos_sum, sin_sum = oracle.phasor_sums([a, b, c], 8)
    assert cos_sum == [44353, 11585, 0, -34755, 39554, 16384]
    assert sin_sum == [11585, 44353, 16384, 11585, 0, 0]
    assert oracle.bundle([a, b, c], 8) == [0, 2, 2, 4, 0, 0]
    va, vb, vc = (make_vec(p, 8) for p in (a, b, c))
    r = P.bundle([va, vb, vc])
    assert (r.dim, r.n, r.phases()) == (6, 8, [0, 2, 2, 4, 0, 0])
    assert r is not va


@pytest.mark.parametrize(
    "n, pairs, expected",
    [
        (4, [(0, 1), (0, 3), (1, 2), (2, 3)], [1, 3, 2, 2]),
        (8, [(0, 1), (1, 2), (3, 4)], [0, 2, 4]),
    ],
)
def test_ties_and_near_ties(make_vec, n, pairs, expected):
    first = make_vec([p for p, _ in pairs], n)
    second = make_vec([q for _, q in pairs], n)
    assert P.bundle([first, second]).phases() == expected
    assert P.bundle([second, first]).phases() == expected


@pytest.mark.parametrize(
    "n, pair, expected",
    [(11, (3, 8), 6), (15, (4, 11), 8), (20, (9, 6), 8), (30, (23, 22), 22),
     (93, (62, 31), 47), (125, (78, 47), 63), (197, (129, 68), 99)],
)
def test_half_level_angles_divide_before_multiplying(make_vec, n, pair, expected):
    # The angle lands on a half level; multiplying by n before dividing by
    # the full turn would round to the neighbouring level.
    assert oracle.bundle([[pair[0]], [pair[1]]], n) == [expected]
    items = [make_vec([p], n) for p in pair]
    assert P.bundle(items).phases() == [expected]


@pytest.mark.parametrize("count", [1, 2, 3, 4, 5])
def test_two_levels_take_the_majority(make_vec, count):
    columns = list(itertools.product(range(2), repeat=count))
    got, expected = bundle_columns(make_vec, columns, 2)
    majority = [1 if 2 * sum(col) > count else 0 for col in columns]
    assert got == expected == majority


# -- single items ---------------------------------------------------------------

def _identity_resolutions():
    ns = set(range(2, 1025))
    for k in range(10, 17):
        ns |= {2**k - 1, 2**k, 2**k + 1}
    ns |= set(range(65536 - 8, 65537))
    rng = pyrandom.Random(2024)
    ns |= {rng.randrange(1025, 65536) for _ in range(16)}
    return sorted(n for n in ns if n <= 65536)


def test_single_item_is_returned_unchanged():
    # Every level of every n up to 1024, and of a sample of larger n (the
    # tables cost O(n) per call, so sweeping all 65535 resolutions is not
    # cheap); for each n, seeded vectors are added until every level occurs.
    for n in _identity_resolutions():
        every_level = n <= 1024 or n >= 65535
        seen = set()
        seed = 0
        while len(seen) < n:
            v = P.random(4 * n if every_level else n, n, seed)
            phases = v.phases()
            r = P.bundle([v])
            assert r.phases() == phases, n
            assert (r.dim, r.n) == (v.dim, n)
            if not every_level:
                break
            seen.update(phases)
            seed += 1


def test_single_item_is_returned_unchanged_at_every_resolution():
    # A short vector at a large n takes the per-phasor path, so all 65535
    # resolutions are cheap; each vector and its mirror image come back unchanged.
    for n in range(2, 65537):
        v = P.random(8, n, n)
        for item in (v, v.unbind(v).unbind(v)):
            assert P.bundle([item]).phases() == item.phases(), n


@pytest.mark.parametrize("n", [1000, 4099, 65536])
@pytest.mark.parametrize("count, dim", [(1, 200), (3, 60), (3, 90), (5, 300), (3, 1500), (20, 1000)])
def test_per_phasor_and_table_paths_agree_with_the_reference(n, count, dim):
    # The sizes straddle the point where the fold switches from computing
    # each phasor to building the table for n.
    items = [P.random(dim, n, 31 * n + s) for s in range(count)]
    assert P.bundle(items).phases() == oracle.bundle([v.phases() for v in items], n)


# -- algebraic properties -----------------------------------------------------------

@pytest.mark.parametrize("n", [3, 8, 16, 1000, 65536])
def test_order_of_items_does_not_matter(n):
    vs = [P.random(256, n, s) for s in range(4)]
    expected = oracle.bundle([v.phases() for v in vs], n)
    for perm in itertools.permutations(vs):
        assert P.bundle(list(perm)).phases() == expected
        assert P.bundle(perm).phases() == expected


@pytest.mark.parametrize("n", [2, 3, 8, 16, 1000])
def test_repeated_items_count_each_time(n):
    a, b = P.random(256, n, 1), P.random(256, n, 2)
    pa, pb = a.phases(), b.phases()
    twice = P.bundle([a, a, b]).phases()
    assert twice == oracle.bundle([pa, pa, pb], n)
    assert twice != P.bundle([a, b]).phases()
    assert twice == P.bundle([a, b, a]).phases()
    assert P.bundle([a, a]).phases() == pa
    assert P.bundle([a] * 7).phases() == pa


@pytest.mark.parametrize("n", [2, 4, 16, 1000, 65536])
def test_opposite_phases_cancel(make_vec, n):
    v = P.random(CHUNK, n, 11)
    w = v.bind(make_vec([n // 2] * CHUNK, n))
    assert P.bundle([v, w]).phases() == [0] * CHUNK
    assert P.bundle([w, v, w, v]).phases() == [0] * CHUNK
    assert oracle.bundle([v.phases(), w.phases()], n) == [0] * CHUNK


def test_dim_zero_items():
    r = P.bundle([P.random(0, 16, 1), P.random(0, 16, 2)])
    assert (r.dim, r.n, r.phases()) == (0, 16, [])
    assert repr(P.bundle((P.random(0, 65536, 1),))) == "PhaseHVec(dim=0, n=65536)"


def test_sequence_kinds_agree():
    vs = [P.random(64, 16, s) for s in range(3)]
    expected = P.bundle(vs).phases()
    assert P.bundle(tuple(vs)).phases() == expected
    assert P.bundle(items=vs).phases() == expected
    assert P.bundle(Indexed(vs)).phases() == expected
    assert P.bundle(collections.deque(vs)).phases() == expected
    assert vs[0].bundle(vs).phases() == expected


# -- extraction failures ------------------------------------------------------------

class LabelStr(str):
    pass


class VecDict(dict):
    def __getitem__(self, key):
        return P.random(4, 16, 1)


class Indexed:
    """Sequence by item access only (no __iter__)."""

    def __init__(self, items, fail_at=None, length=None):
        self.items = list(items)
        self.fail_at = fail_at
        self.length = length

    def __getitem__(self, i):
        if i == self.fail_at:
            raise RuntimeError("item %d unavailable" % i)
        return self.items[i]

    def __len__(self):
        if self.length is None:
            raise RuntimeError("length unavailable")
        return self.length


class BadIter:
    def __getitem__(self, i):
        return P.random(4, 16, 1)

    def __len__(self):
        return 1

    def __iter__(self):
        raise LookupError("no iterator")


class GenIter:
    def __init__(self, items, exc):
        self.items = items
        self.exc = exc

    def __getitem__(self, i):
        raise AssertionError("not used")

    def __len__(self):
        return len(self.items)

    def __iter__(self):
        for x in self.items:
            yield x
        raise self.exc


def _vec():
    return P.random(4, 16, 1)


NOT_A_VEC = "'int' object is not an instance of 'PhaseHVec'"


@pytest.mark.parametrize(
    "make_items, exc_type, message",
    [
        (lambda: "abc", TypeError, STR_MSG),
        (lambda: "", TypeError, STR_MSG),
        (lambda: LabelStr("x"), TypeError, STR_MSG),
        (lambda: {_vec()}, TypeError, "'set' object is not an instance of 'Sequence'"),
        (lambda: frozenset(), TypeError, "'frozenset' object is not an instance of 'Sequence'"),
        (lambda: (v for v in [_vec()]), TypeError,
         "'generator' object is not an instance of 'Sequence'"),
        (lambda: iter([_vec()]), TypeError,
         "'list_iterator' object is not an instance of 'Sequence'"),
        (lambda: {0: _vec()}, TypeError, "'dict' object is not an instance of 'Sequence'"),
        (lambda: VecDict({0: 1}), TypeError, "'VecDict' object is not an instance of 'Sequence'"),
        (lambda: _vec(), TypeError, "'PhaseHVec' object is not an instance of 'Sequence'"),
        (lambda: 5, TypeError, "'int' object is not an instance of 'Sequence'"),
        (lambda: None, TypeError, "'None' is not an instance of 'Sequence'"),
        (lambda: b"\x01\x02", TypeError, NOT_A_VEC),
        (lambda: bytearray(b"\x00"), TypeError, NOT_A_VEC),
        (lambda: range(3), TypeError, NOT_A_VEC),
        (lambda: [_vec(), 5, None], TypeError, NOT_A_VEC),
        (lambda: [_vec(), None, 5], TypeError, "'None' is not an instance of 'PhaseHVec'"),
        (lambda: [None], TypeError, "'None' is not an instance of 'PhaseHVec'"),
        (lambda: [[_vec()]], TypeError, "'list' object is not an instance of 'PhaseHVec'"),
        (lambda: [_vec(), P], TypeError, "'type' object is not an instance of 'PhaseHVec'"),
        (lambda: [P.random(4, 16, 1), P.random(5, 16, 1), "x"], TypeError,
         "'str' object is not an instance of 'PhaseHVec'"),
        (lambda: BadIter(), LookupError, "no iterator"),
        (lambda: Indexed([_vec(), _vec()], fail_at=1), RuntimeError, "item 1 unavailable"),
        (lambda: GenIter([_vec()], KeyError("midway")), KeyError, "'midway'"),
        (lambda: GenIter([_vec(), 3], KeyError("midway")), TypeError, NOT_A_VEC),
    ],
)
@pytest.mark.parametrize("take", [P.bundle, P.random(4, 16, 1).similarities], ids=["bundle", "similarities"])
def test_extraction_failures(take, make_items, exc_type, message):
    items = make_items()
    with pytest.raises(BaseException) as ei:
        take(items)
    assert type(ei.value) is exc_type
    assert str(ei.value) == message
    check_note(ei.value, "items")


@pytest.mark.parametrize(
    "items",
    [[], (), b"", range(0), Indexed([], length=5), Indexed([]), Indexed([], length=0)],
    ids=["list", "tuple", "bytes", "range", "len-lies", "len-raises", "len-zero"],
)
def test_empty_list(items):
    with pytest.raises(ValueError) as ei:
        P.bundle(items)
    assert type(ei.value) is ValueError
    assert ei.value.args == (EMPTY_MSG,)
    assert not hasattr(ei.value, "__notes__")


@pytest.mark.parametrize("length", [None, 0, 1, 2**62])
def test_length_is_only_a_hint(length):
    vs = [P.random(16, 16, s) for s in range(3)]
    expected = oracle.bundle([v.phases() for v in vs], 16)
    assert P.bundle(Indexed(vs, length=length)).phases() == expected


def test_length_raising_in_list_subclass_is_ignored():
    class NoLen(list):
        def __len__(self):
            raise RuntimeError("no length")

    vs = NoLen(P.random(16, 16, s) for s in range(3))
    assert P.bundle(vs).phases() == oracle.bundle([v.phases() for v in list.__iter__(vs)], 16)


@pytest.mark.parametrize(
    "shapes, message",
    [
        ([(4, 16), (5, 16)], dim_mismatch(5, 4)),
        ([(4, 16), (4, 8)], n_mismatch(8, 16)),
        ([(4, 8), (5, 16)], dim_mismatch(5, 4)),
        ([(4, 8), (4, 16), (5, 8)], n_mismatch(16, 8)),
        ([(4, 8), (4, 8), (4, 8), (3, 8)], dim_mismatch(3, 4)),
        ([(0, 16), (3, 16)], dim_mismatch(3, 0)),
        ([(0, 16), (0, 8)], n_mismatch(8, 16)),
        ([(12345, 65536), (0, 2)], dim_mismatch(0, 12345)),
        ([(2, 2), (2, 65536)], n_mismatch(65536, 2)),
    ],
)
def test_mismatched_items_fail_the_assertion(shapes, message):
    items = [P.random(d, n, 1) for d, n in shapes]
    before = [v.phases() for v in items]
    with pytest.raises(BaseException) as ei:
        P.bundle(items)
    check_panic(ei.value, message)
    assert not hasattr(ei.value, "__notes__")
    assert [v.phases() for v in items] == before


def test_extraction_comes_before_the_assertions():
    items = [P.random(4, 16, 1), P.random(5, 16, 1), None]
    with pytest.raises(TypeError) as ei:
        P.bundle(items)
    assert str(ei.value) == "'None' is not an instance of 'PhaseHVec'"


# -- inputs and reference counts ----------------------------------------------------

def test_inputs_unchanged_and_reference_counts_stable():
    a, b = P.random(64, 16, 1), P.random(64, 16, 2)
    other_dim = P.random(65, 16, 3)
    ok = [a, b, a]
    bad_elem = [a, b, None]
    mismatch = [a, other_dim]
    empty = []
    seq = Indexed([a, b], fail_at=1)
    lying = Indexed([a, b], length=2**62)
    snapshot = (a.phases(), b.phases(), other_dim.phases())
    panic = panic_type()

    def exercise():
        assert raised(P.bundle, ok) is None
        assert raised(P.bundle, items=tuple(ok)) is None
        assert raised(P.bundle, lying) is None
        assert raised(P.bundle, bad_elem) is TypeError
        assert raised(P.bundle, seq) is RuntimeError
        assert raised(P.bundle, empty) is ValueError
        assert raised(P.bundle, mismatch) is panic

    assert_refcounts_stable((a, b, other_dim, ok, bad_elem, mismatch, empty, seq, lying), exercise, rounds=30)
    assert ok == [a, b, a] and bad_elem == [a, b, None] and mismatch == [a, other_dim]
    assert empty == [] and seq.items == [a, b]
    assert (a.phases(), b.phases(), other_dim.phases()) == snapshot


# -- comparison with the scalar reference ---------------------------------------------

@pytest.mark.parametrize("n", [2, 3, 5, 7, 16, 100, 255, 1000, 4099, 65535, 65536])
def test_matches_reference(n):
    rng = pyrandom.Random(n)
    for dim, count in ((1, 1), (7, 2), (64, 3), (300, 5), (50, 16)):
        seeds = [rng.getrandbits(64) for _ in range(count)]
        vs = [P.random(dim, n, s) for s in seeds]
        expected = oracle.bundle([oracle.generate(dim, n, s) for s in seeds], n)
        r = P.bundle(vs)
        assert (r.dim, r.n) == (dim, n)
        assert r.phases() == expected
