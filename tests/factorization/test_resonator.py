"""Tests of velmora.resonator_factorize against worked cases and the scalar
reference in support/oracle.py (bit-exact: floats are compared with ==)."""

import math
import os
import random
import signal
import subprocess
import sys
import textwrap
import time

import pytest

import velmora
from support import oracle
from support.arguments import Index, LyingSeq as Hinted, bad_codebooks
from support.checks import assert_refcounts_stable, check_note, check_panic, check_refused, raised
from support.vectors import make_vec

PH = velmora.PhaseHVec
rf = velmora.resonator_factorize


# --------------------------------------------------------------------------
# helpers
# --------------------------------------------------------------------------

def seeded(dim, n, seeds):
    return [PH.random(dim, n, s) for s in seeds]


def as_problem(composite, books):
    """The oracle's view of a native problem: phase lists plus resolutions."""
    return (composite.phases(), composite.n,
            [[(e.phases(), e.n) for e in book] for book in books])


def expected(composite, books, max_iter=50):
    comp, n, obooks = as_problem(composite, books)
    return oracle.resonator(comp, n, obooks, max_iter)


def oob(length, index):
    return "index out of bounds: the len is %d but the index is %d" % (length, index)


# The core-level case: n = 8, Z = 8, two codebooks of three entries.
CORE_BOOK0 = [[7, 2, 7, 4, 5, 5, 4, 0], [1, 4, 2, 3, 0, 7, 3, 1], [5, 5, 1, 1, 7, 1, 4, 2]]
CORE_BOOK1 = [[0, 7, 6, 3, 5, 6, 1, 4], [4, 5, 0, 0, 3, 2, 5, 1], [5, 0, 2, 4, 4, 2, 2, 0]]
CORE_COMPOSITE = [6, 4, 4, 7, 4, 1, 5, 1]


@pytest.fixture(scope="module")
def core_case():
    books = [[make_vec(p, 8) for p in CORE_BOOK0],
             [make_vec(p, 8) for p in CORE_BOOK1]]
    composite = books[0][1].bind(books[1][2])
    assert composite.phases() == CORE_COMPOSITE
    return composite, books


@pytest.fixture(scope="module")
def seeded_case():
    books = [seeded(64, 16, (1, 2, 3)), seeded(64, 16, (11, 12, 13))]
    return books[0][2].bind(books[1][0]), books


def oscillating_case(n, z, nbooks, size, seed):
    """Seeded problems whose index lists keep changing (found by search)."""
    composite = PH.random(z, n, seed)
    books = [seeded(z, n, [seed * 1000 + 100 * f + i + 1 for i in range(size)])
             for f in range(nbooks)]
    return composite, books


# --------------------------------------------------------------------------
# the oracle itself, against worked examples
# --------------------------------------------------------------------------

@pytest.mark.oracle
def test_oracle_core_case_trace():
    books = [[(p, 8) for p in CORE_BOOK0], [(p, 8) for p in CORE_BOOK1]]
    assert oracle.bind(CORE_BOOK0[1], CORE_BOOK1[2], 8) == CORE_COMPOSITE
    assert oracle.initial_estimates(CORE_COMPOSITE, 8, books) == [
        [7, 4, 1, 3, 7, 7, 4, 1], [5, 7, 0, 3, 4, 2, 2, 1]]
    trace = []
    results, sweeps, converged = oracle.resonator(CORE_COMPOSITE, 8, books, 50, trace)
    assert (results, sweeps, converged) == ([(1, 1.0), (2, 1.0)], 4, True)
    w0, w1 = trace[0]["weights"]
    assert w0 == pytest.approx([0.585786, 6.121320, 0.0], abs=1e-6)
    assert w1 == pytest.approx([-0.878680, 0.707107, 8.0], abs=1e-6)
    assert trace[0]["estimates"] == [CORE_BOOK0[1], CORE_BOOK1[2]]
    assert [t["indices"] for t in trace] == [[1, 2]] * 4


@pytest.mark.oracle
@pytest.mark.parametrize("max_iter, sweeps, converged", [(50, 4, True), (1, 1, False), (0, 0, False)])
def test_oracle_seeded_case_sweeps(max_iter, sweeps, converged):
    assert [oracle.generate(64, 16, s) for s in (1, 2, 3)] == [
        PH.random(64, 16, s).phases() for s in (1, 2, 3)]
    b0 = [(oracle.generate(64, 16, s), 16) for s in (1, 2, 3)]
    b1 = [(oracle.generate(64, 16, s), 16) for s in (11, 12, 13)]
    comp = oracle.bind(b0[2][0], b1[0][0], 16)
    _, ran, conv = oracle.resonator(comp, 16, [b0, b1], max_iter)
    assert (ran, conv) == (sweeps, converged)


@pytest.mark.oracle
def test_oracle_rounding_and_lattice():
    assert [oracle.round_half_away(t) for t in (0.5, -0.5, 1.5, 2.5, -2.5, 0.49999999999999994)] == [
        1, -1, 2, 3, -3, 0]
    assert oracle.saturate_i64(float("nan")) == 0
    assert oracle.saturate_i64(1e300) == 2 ** 63 - 1
    assert oracle.saturate_i64(-1e300) == -2 ** 63
    # a half-way angle goes away from phase 0; zero sums give phase 0; -pi wraps to n/2
    re, im = oracle.quantize_phasor([1.0, 0.0, -1.0], [1.0, 0.0, -0.0], 4)
    assert oracle.lattice((re, im), 4) == [1, 0, 2]


# --------------------------------------------------------------------------
# worked cases
# --------------------------------------------------------------------------

@pytest.mark.parametrize("kwargs, want", [
    ({"max_iter": 0}, [(1, 0.765165042944955), (2, 0.765165042944955)]),
    ({"max_iter": 1}, [(1, 1.0), (2, 1.0)]),
    ({}, [(1, 1.0), (2, 1.0)]),
])
def test_core_case(core_case, kwargs, want):
    composite, books = core_case
    got = rf(composite, books, **kwargs)
    assert got == expected(composite, books, kwargs.get("max_iter", 50))[0]
    assert [i for i, _ in got] == [i for i, _ in want]
    assert [s for _, s in got] == pytest.approx([s for _, s in want], abs=1e-14)


@pytest.mark.parametrize("kwargs, want, sweeps", [
    ({}, [(2, 0.979780), (0, 0.978591)], 4),
    ({"max_iter": 50}, [(2, 0.979780), (0, 0.978591)], 4),
    ({"max_iter": 1}, [(2, 0.967886), (0, 1.0)], 1),
    ({"max_iter": 0}, [(1, 0.599172), (0, 0.501510)], 0),
])
def test_seeded_case(seeded_case, kwargs, want, sweeps):
    composite, books = seeded_case
    got = rf(composite, books, **kwargs)
    assert [i for i, _ in got] == [i for i, _ in want]
    assert [math.floor(s * 1e6) for _, s in got] == [round(s * 1e6) for _, s in want]
    results, ran, _ = expected(composite, books, kwargs.get("max_iter", 50))
    assert got == results and ran == sweeps


@pytest.mark.parametrize("problem, top", [
    ("core", 6),
    ("seeded", 6),
    ((4, 8, 3, 8, 16), 10),    # index runs 1, 3, 4: a run of three equal lists does not stop
    ((4, 16, 2, 8, 12), 14),   # runs 3, 3, 1, 1, 4
    ((4, 8, 2, 8, 26), 14),    # never settles
])
def test_every_budget_matches_sweep_trace(core_case, seeded_case, problem, top):
    if problem == "core":
        composite, books = core_case
    elif problem == "seeded":
        composite, books = seeded_case
    else:
        composite, books = oscillating_case(*problem)
    comp, n, obooks = as_problem(composite, books)
    trace = []
    initial, _, _ = oracle.resonator(comp, n, obooks, 0)
    final, ran, converged = oracle.resonator(comp, n, obooks, top, trace)
    for k in range(top + 1):
        want = initial if k == 0 else trace[min(k, ran) - 1]["results"]
        assert rf(composite, books, max_iter=k) == want, k
    assert rf(composite, books, max_iter=2 ** 64 - 1 if converged else top) == final


# --------------------------------------------------------------------------
# edge cases
# --------------------------------------------------------------------------

@pytest.mark.parametrize("max_iter", [0, 1, 3, 50])
def test_empty_codebooks(max_iter):
    composite = PH.random(16, 8, 5)
    assert rf(composite, [], max_iter) == []
    assert rf(composite, (), max_iter) == []
    assert rf(composite, [[]], max_iter) == [(0, 0.0)]
    books = [[], seeded(16, 8, (1, 2, 3)), []]
    got = rf(composite, books, max_iter)
    assert got[0] == got[2] == (0, 0.0)
    assert got == expected(composite, books, max_iter)[0]


@pytest.mark.parametrize("n", [2, 16, 65536])
def test_one_codebook_scores_the_composite(n):
    book = seeded(40, n, (7, 8, 9, 10))
    for max_iter in (0, 1, 50):
        got = rf(book[2], [book], max_iter)
        assert got == expected(book[2], [book], max_iter)[0]
        assert max_iter == 0 or got[0][0] == 2


@pytest.mark.parametrize("layout, want", [
    ("bab", 2), ("bba", 1), ("abb", 2), ("bb", 1), ("bbb", 2),
])
def test_equal_best_entries_later_wins(layout, want):
    a, b = seeded(32, 16, (3, 4))
    book = [{"a": a, "b": b}[c] for c in layout]
    for max_iter in (0, 50):
        got = rf(b, [book], max_iter)
        assert got[0][0] == want
        assert got == expected(b, [book], max_iter)[0]
    other = seeded(32, 16, (30, 31))
    composite = b.bind(other[1])
    got = rf(composite, [book, other])
    assert got[0][0] == want and got == expected(composite, [book, other])[0]


@pytest.mark.parametrize("max_iter", [0, 1, 50])
def test_dimension_zero(max_iter):
    composite = PH.random(0, 16, 1)
    z = PH.random(0, 16, 2)
    z4 = PH.random(0, 4, 2)
    assert rf(composite, [[z, z, z], [], [z4], [z, z4]], max_iter) == [
        (2, 0.0), (0, 0.0), (0, 0.0), (1, 0.0)]


def test_mixed_resolutions_are_accepted():
    composite = PH.random(24, 8, 1).bind(PH.random(24, 8, 2))
    cases = [
        [seeded(24, 16, (1, 2, 3)), seeded(24, 8, (4, 2, 5))],
        [[PH.random(24, 8, 1), PH.random(24, 65536, 1), PH.random(24, 3, 1)], seeded(24, 2, (2, 6))],
        [[PH.random(24, 256, 9)], [PH.random(24, 8, 2), PH.random(24, 4, 2)]],
    ]
    for books in cases:
        for max_iter in (0, 1, 50):
            assert rf(composite, books, max_iter) == expected(composite, books, max_iter)[0]


# --------------------------------------------------------------------------
# entries of the wrong length
# --------------------------------------------------------------------------

def _shaped(dims, z=8, n=8):
    """A composite of dim z and codebooks whose entries have the given dims."""
    composite = PH.random(z, n, 77)
    books = [[PH.random(d, n, 100 * f + i) for i, d in enumerate(book)]
             for f, book in enumerate(dims)]
    return composite, books


@pytest.mark.parametrize("dims, z, max_iter, lenidx", [
    ([[8, 5, 8]], 8, 0, 5),                    # short entry
    ([[8, 5, 8]], 8, 50, 5),
    ([[0]], 8, 0, 0),
    ([[8, 11]], 8, 0, 8),                      # long entry: fails when scored
    ([[8, 11]], 8, 50, 8),
    ([[8, 8], [8, 9]], 8, 1, 8),               # long entry in the second codebook
    ([[8, 8], [], [8, 9]], 8, 3, 8),
    ([[3]], 0, 0, 0),                          # any entry is long for dim 0
    ([[3]], 0, 5, 0),
    ([[11, 8], [8, 5]], 8, 0, 5),              # short entries are found before long ones
    ([[11, 8], [8, 5]], 8, 50, 5),
    ([[8, 6], [3]], 8, 50, 6),                 # first short entry in codebook order
    ([[8], [6, 3]], 8, 0, 6),                  # first short entry in entry order
    ([[9, 8], [8, 10, 4, 2]], 8, 2, 4),
])
def test_wrong_length_entries_panic(dims, z, max_iter, lenidx):
    composite, books = _shaped(dims, z)
    with pytest.raises(oracle.OutOfBounds) as info:
        expected(composite, books, max_iter)
    msg = oob(lenidx, lenidx)
    assert info.value.message == msg
    with pytest.raises(BaseException) as info:
        rf(composite, books, max_iter)
    check_panic(info.value, msg)
    # the module stays usable afterwards
    good = seeded(z, 8, (1, 2))
    assert rf(composite, [good], max_iter) == expected(composite, [good], max_iter)[0]


# --------------------------------------------------------------------------
# arguments
# --------------------------------------------------------------------------

@pytest.mark.parametrize("value, sweeps", [
    (True, 1), (False, 0), (Index(2), 2), (2 ** 64 - 1, 50), (3, 3),
])
def test_max_iter_accepted_forms(seeded_case, value, sweeps):
    composite, books = seeded_case
    want = expected(composite, books, sweeps)[0]
    assert rf(composite, books, value) == want
    assert rf(composite=composite, codebooks=books, max_iter=value) == want


@pytest.mark.parametrize("value, exc_type", [
    (None, TypeError), (-1, OverflowError), (-(2 ** 70), OverflowError),
    (2 ** 64, OverflowError), (1.0, TypeError), ("3", TypeError), (Index(-1), OverflowError),
])
def test_max_iter_refused(seeded_case, value, exc_type):
    composite, books = seeded_case
    check_refused(lambda: rf(composite, books, max_iter=value), exc_type, "max_iter")


@pytest.mark.parametrize("case", range(len(bad_codebooks())))
def test_codebooks_refused(case):
    codebooks, exc_type, message = bad_codebooks()[case]
    composite = PH.random(8, 8, 3)
    for max_iter in (0, None):   # codebooks is converted before max_iter
        check_refused(lambda: rf(composite, codebooks, max_iter), exc_type, "codebooks", message)


@pytest.mark.parametrize("composite, message", [
    (5, "'int' object is not an instance of 'PhaseHVec'"),
    (None, "'None' is not an instance of 'PhaseHVec'"),
    ([PH.random(4, 4, 1)], "'list' object is not an instance of 'PhaseHVec'"),
])
def test_composite_refused(composite, message):
    with pytest.raises(TypeError) as info:
        rf(composite, "checked later", None)
    assert str(info.value) == message
    check_note(info.value, "composite")


@pytest.mark.parametrize("length", [2 ** 62, 0, 1, RuntimeError("no length")],
                         ids=["huge", "zero", "one", "raises"])
def test_length_is_only_a_hint(length):
    books = [seeded(16, 16, (1, 2)), seeded(16, 16, (3, 4, 5))]
    composite = books[0][1].bind(books[1][2])
    want = rf(composite, books)
    assert rf(composite, Hinted(books, length)) == want
    assert rf(composite, [Hinted(books[0], length), tuple(books[1])]) == want
    assert rf(composite, Hinted([Hinted(b, length) for b in books], length)) == want


def test_repeatable_and_arguments_untouched():
    books = [seeded(32, 16, (1, 2, 3)), seeded(32, 16, (4, 5))]
    composite = books[0][0].bind(books[1][1])
    snapshot = [[e.phases() for e in b] for b in books]
    members = [list(b) for b in books]
    before = composite.phases()
    first = rf(composite, books)
    second = rf(composite, books)
    assert first == second and first is not second
    assert composite.phases() == before
    assert [[e.phases() for e in b] for b in books] == snapshot
    assert all(x is y for b, m in zip(books, members) for x, y in zip(b, m))
    assert [len(b) for b in books] == [3, 2]


def test_result_types(seeded_case):
    composite, books = seeded_case
    for got in (rf(composite, books), rf(composite, books + [[]], 0)):
        assert type(got) is list
        for pair in got:
            assert type(pair) is tuple and len(pair) == 2
            assert type(pair[0]) is int and type(pair[1]) is float


def test_reference_counts_stable():
    books = [seeded(8, 8, (1, 2)), seeded(8, 8, (3,))]
    composite = books[0][0].bind(books[1][0])
    short = PH.random(5, 8, 9)
    bad_books = [books[0], [short]]
    max_iter = 2 ** 40 + 12345   # not a cached small int
    watched = [composite, books, books[0], books[1], short, bad_books, max_iter] + books[0] + books[1]
    calls = [
        ((composite, books), {}),
        ((composite, books, 0), {}),
        ((composite,), {"codebooks": books, "max_iter": max_iter}),
        ((composite, bad_books), {}),                 # internal failure
        ((composite, books, -1), {}),                 # max_iter refused
        ((composite, [books[0], "x"]), {}),           # codebooks refused
        ((composite, [books[0], [composite, 5]]), {}),
        ((books, books), {}),                         # composite refused
        ((composite, books, max_iter, 1), {}),        # binding error
    ]
    def exercise():
        for args, kwargs in calls:
            raised(rf, *args, **kwargs)

    assert_refcounts_stable(watched, exercise, rounds=3)


# --------------------------------------------------------------------------
# bit-exact agreement with the reference on seeded problems
# --------------------------------------------------------------------------

NS = (2, 3, 4, 16, 256, 65536)
BUDGETS = (0, 1, 2, 3, 5, 50)
KINDS = ("exact", "bundled", "noisy", "changed", "random")
COST_CAP = 300000  # dim * entries * sweeps, keeps the slow reference quick


def make_problem(case):
    rng = random.Random(0xC0FFEE + case)
    kind = KINDS[case % len(KINDS)]
    n = NS[(case // len(KINDS)) % len(NS)]
    max_iter = rng.choice(BUDGETS)
    sizes = [rng.randint(0, 12) for _ in range(rng.randint(1, 4))]
    z = rng.choice((1, 7, 16, 33, 64, 128, 256))
    sweeps = {"exact": 8}.get(kind, 30) if max_iter == 50 else max(max_iter, 1)
    while z > 1 and z * max(1, sum(sizes)) * sweeps > COST_CAP:
        z //= 2
    if kind == "changed":
        z = min(z, 16)
    base = rng.randrange(2 ** 63)
    books = [[PH.random(z, n, base + 64 * f + i) for i in range(m)] for f, m in enumerate(sizes)]
    noise = [PH.random(z, n, base ^ (0x5A5A + k)) for k in range(2)]
    picks = [book[rng.randrange(len(book))] for book in books if book]
    if kind == "random" or not picks:
        composite = PH.random(z, n, base + 12345)
    else:
        composite = picks[0]
        for p in picks[1:]:
            composite = composite.bind(p)
        if kind == "bundled":
            composite = PH.bundle([composite, composite, noise[0]])
        elif kind == "noisy":
            composite = PH.bundle([composite] + noise)
        elif kind == "changed":
            phases = composite.phases()
            for j in rng.sample(range(z), max(1, z // 4)):
                phases[j] = rng.randrange(n)
            composite = make_vec(phases, n)
    return composite, books, max_iter


@pytest.mark.parametrize("case", range(90))
def test_matches_reference(case):
    composite, books, max_iter = make_problem(case)
    want, _, _ = expected(composite, books, max_iter)
    got = rf(composite, books, max_iter)
    assert got == want   # floats compared bit for bit


# --------------------------------------------------------------------------
# interruption
# --------------------------------------------------------------------------

INTERRUPT_CHILD = textwrap.dedent("""
    import signal, sys
    signal.signal(signal.SIGINT, signal.default_int_handler)
    import velmora
    PH = velmora.PhaseHVec
    # n=4, Z=16, three codebooks of 32: the index lists cycle with period 3
    # from sweep 9 on, so this never converges.
    composite = PH.random(16, 4, 3)
    books = [[PH.random(16, 4, 3000 + 100 * f + i + 1) for i in range(32)] for f in range(3)]
    print("ready", flush=True)
    try:
        velmora.resonator_factorize(composite, books, max_iter=10 ** 9)
    except KeyboardInterrupt:
        print("interrupted", flush=True)
    else:
        print("finished", flush=True)
    again = velmora.resonator_factorize(composite, books, max_iter=3)
    print("alive", again == velmora.resonator_factorize(composite, books, max_iter=3), flush=True)
""")


@pytest.mark.skipif(not hasattr(signal, "SIGINT") or sys.platform == "win32",
                    reason="needs POSIX signals")
def test_keyboard_interrupt_stops_a_long_run():
    assert not oracle.resonator(*as_problem(*oscillating_case(4, 16, 3, 32, 3)), max_iter=200)[2]
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(
        [os.path.dirname(os.path.abspath(velmora.__file__))] + sys.path)
    child = subprocess.Popen([sys.executable, "-c", INTERRUPT_CHILD], env=env,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             universal_newlines=True)
    try:
        assert child.stdout.readline().strip() == "ready"
        time.sleep(0.5)
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        pytest.fail("resonator_factorize did not respond to SIGINT")
    finally:
        if child.poll() is None:
            child.kill()
            child.communicate()
    assert child.returncode == 0, err
    assert out.split("\n")[:2] == ["interrupted", "alive True"]
