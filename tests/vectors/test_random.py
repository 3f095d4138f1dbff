"""Seeded generation: PhaseHVec.random(dim, n, seed)."""

import random as pyrandom

import pytest

from support import oracle
from support.checks import assert_refcounts_stable, check_note, check_panic, raised
import velmora

P = velmora.PhaseHVec
RANGE_MSG = "n (phase resolution) must be in 2..=65536"
NARROW_MSG = "out of range integral type conversion attempted"


# -- worked values --------------------------------------------------------------

@pytest.mark.parametrize(
    "dim, n, seed, phases",
    [
        (4, 16, 0, [0, 9, 6, 7]),
        (4, 16, 1, [7, 15, 8, 14]),
        (5, 2, 7, [0, 1, 1, 0, 1]),
        (6, 65536, 42, [14759, 48493, 35673, 57150, 56828, 60810]),
        (3, 1000, 2**64 - 1, [240, 317, 215]),
        (8, 16, 1, [7, 15, 8, 14, 11, 7, 8, 15]),
    ],
)
def test_known_phases(dim, n, seed, phases):
    v = P.random(dim, n, seed)
    assert v.phases() == phases
    assert (v.dim, v.n) == (dim, n)
    assert oracle.generate(dim, n, seed) == phases


@pytest.mark.oracle
def test_oracle_mixing_walkthrough():
    base = oracle.seed_base(1)
    assert base == 0xC2B2AE3D27D4EB4F
    assert oracle.counter_for(0) == 0
    assert oracle.mix_trace(base ^ oracle.counter_for(0)) == (
        0xC2B2AE3B32419AA6, 0xCA15AEC1E4973FF6, 0xCA15AEC12E829137)
    x1 = base ^ oracle.counter_for(1)
    assert x1 == 0x5C85D784589E975A
    assert oracle.mix_trace(x1) == (
        0x5C85D786BCB02B78, 0xF37862E7C911C1B8, 0xF37862E73A69A35F)
    assert oracle.word(1, 0) % 16 == 7 and oracle.word(1, 1) % 16 == 15


@pytest.mark.parametrize("n", [2, 3, 16, 1000, 40961, 65535, 65536])
def test_walkthrough_words_reduced_at_any_n(n):
    words = [0xCA15AEC12E829137, 0xF37862E73A69A35F]
    assert P.random(2, n, 1).phases() == [w % n for w in words]


def test_prefix_property_and_repeatability():
    for n in (2, 16, 1000, 65536):
        long = P.random(1000, n, 77)
        again = P.random(1000, n, 77)
        assert long is not again
        assert long.phases() == again.phases()
        assert long.phases() is not again.phases()
        for k in (0, 1, 2, 63, 64, 65, 999):
            assert P.random(k, n, 77).phases() == long.phases()[:k]


def test_power_of_two_resolutions_share_words():
    wide = P.random(4096, 65536, 123456789).phases()
    for n in (2, 4, 256, 32768):
        assert P.random(4096, n, 123456789).phases() == [p % n for p in wide]


def test_seed_zero_starts_with_zero():
    for n in (2, 3, 16, 1000, 65535, 65536):
        assert P.random(3, n, 0).phases()[0] == 0


def test_resolution_extremes_reach_every_level():
    two = P.random(256, 2, 5).phases()
    assert set(two) == {0, 1}
    wide = P.random(200000, 65536, 5).phases()
    assert max(wide) == 65535 and min(wide) == 0


@pytest.mark.parametrize("n", [2, 65536])
def test_dim_zero(n):
    v = P.random(0, n, 3)
    assert (v.dim, v.n, v.phases()) == (0, n, [])


# -- argument conversion and checks ------------------------------------------

def test_keywords_bools_and_index_objects():
    ref = P.random(8, 4, 1).phases()
    assert P.random(seed=1, n=4, dim=8).phases() == ref
    assert P.random(8, seed=1, n=4).phases() == ref
    assert P.random(Indexable(8), 4, True).phases() == ref
    assert P.random(Indexable(8), Indexable(8), Indexable(8)).phases() == oracle.generate(8, 8, 8)
    v = P.random(True, 4, 1)
    assert v.dim == 1 and v.phases() == ref[:1]
    assert P.random(4, 16, 1).random(4, 16, 0).phases() == [0, 9, 6, 7]


@pytest.mark.parametrize("n", [0, 1, 65537, 70000, 2**32 - 1])
@pytest.mark.parametrize("dim", [0, 8, 2**62, 2**64 - 1])
def test_resolution_out_of_range(n, dim):
    with pytest.raises(ValueError) as ei:
        P.random(dim, n, 1)
    assert type(ei.value) is ValueError
    assert ei.value.args == (RANGE_MSG,)
    assert not hasattr(ei.value, "__notes__")


@pytest.mark.parametrize("n", [2**32, 2**32 + 16, 2**32 + 2, 2**64 - 1])
def test_resolution_is_never_truncated(n):
    with pytest.raises(OverflowError) as ei:
        P.random(8, n, 1)
    assert type(ei.value) is OverflowError
    assert ei.value.args == (NARROW_MSG,)
    check_note(ei.value, "n")


class Indexable:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class BadIndex:
    def __index__(self):
        raise KeyError("no index")


@pytest.mark.parametrize(
    "args, exc_type, name",
    [
        ((8, 4, -1), OverflowError, "seed"),
        ((8, 4, 2**64), OverflowError, "seed"),
        ((8, 4, 1.0), TypeError, "seed"),
        ((8.0, 4, 1), TypeError, "dim"),
        ((-1, 4, 1), OverflowError, "dim"),
        ((2**64, 4, 1), OverflowError, "dim"),
        ((8, -2, 1), OverflowError, "n"),
        ((8, 2**64, 1), OverflowError, "n"),
        ((8, "16", 1), TypeError, "n"),
        ((8, None, 1), TypeError, "n"),
        ((BadIndex(), 4, 1), KeyError, "dim"),
        ((8, 4, BadIndex()), KeyError, "seed"),
        # the checks run in parameter order and before the resolution check
        ((8, 70000, "x"), TypeError, "seed"),
        ((8, 1, -1), OverflowError, "seed"),
        ((8, 2**32, "x"), OverflowError, "n"),
        (("x", 1, "y"), TypeError, "dim"),
        ((2**64, 2**32, -1), OverflowError, "dim"),
    ],
)
def test_conversion_failures_name_the_argument(args, exc_type, name):
    with pytest.raises(BaseException) as ei:
        P.random(*args)
    assert type(ei.value) is exc_type
    check_note(ei.value, name)
    if args[1] == 2**32 and name == "n":
        assert str(ei.value) == NARROW_MSG


def test_index_exception_propagates_unchanged():
    with pytest.raises(KeyError) as ei:
        P.random(BadIndex(), 4, 1)
    assert ei.value.args == ("no index",)


@pytest.mark.parametrize("seed", [0, 1, 2**63, 2**64 - 1])
def test_seed_extremes_accepted(seed):
    assert P.random(16, 1000, seed).phases() == oracle.generate(16, 1000, seed)


# -- size limits ----------------------------------------------------------------

@pytest.mark.parametrize("dim", [2**62, 2**62 + 1, 2**63, 2**64 - 1])
def test_capacity_overflow(dim):
    with pytest.raises(BaseException) as ei:
        P.random(dim, 16, 1)
    check_panic(ei.value, "capacity overflow")
    assert not hasattr(ei.value, "__notes__")
    # an ordinary `except Exception` handler does not catch it
    caught = None
    try:
        try:
            P.random(dim, 2, 0)
        except Exception:  # noqa: BLE001
            caught = "Exception"
    except BaseException as exc:  # noqa: BLE001
        caught = type(exc).__name__
    assert caught == "PanicException"


@pytest.mark.allocation_failure
@pytest.mark.parametrize("dim", [2**40, 2**61])
def test_huge_allocation_raises_memory_error(dim):
    with pytest.raises(MemoryError) as ei:
        P.random(dim, 16, 1)
    assert str(ei.value) == f"cannot allocate {dim} phases"
    assert P.random(4, 16, 1).phases() == [7, 15, 8, 14]
    assert sum(range(1000)) == 499500


def test_reference_counts_are_stable():
    dim, n, seed = 1000, 65536, 2**64 - 1
    bad, index = 70000, Indexable(16)

    def exercise():
        P.random(dim, n, seed)
        P.random(dim=dim, n=index, seed=seed)
        for args in ((dim, bad, seed), (dim, n, "x"), (index, n, -1), (2**62, index, 1)):
            assert raised(P.random, *args) is not None

    assert_refcounts_stable((dim, n, seed, bad, index), exercise)


# -- comparison with the scalar reference --------------------------------------

@pytest.mark.parametrize("n", [2, 3, 7, 16, 1000, 4096, 65521, 65535, 65536])
def test_matches_reference(n):
    rng = pyrandom.Random(n)
    for dim in (1, 5, 64, 777):
        seed = rng.getrandbits(64) >> rng.randrange(64)
        assert P.random(dim, n, seed).phases() == oracle.generate(dim, n, seed)
