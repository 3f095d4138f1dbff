"""permute, power and weighted bundle against independent Python computations."""

import math
from fractions import Fraction

import pytest

import velmora
from support.checks import assert_refcounts_stable, check_note

P = velmora.PhaseHVec
RESOLUTIONS = [2, 3, 7, 16, 1000, 65536]
HUGE = [10 ** 40 + 3, -(10 ** 40) - 1, 2 ** 64, -(2 ** 63) - 1]


class Idx:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


def lattice_power(phases, x, n):
    """The real power by exact rational arithmetic on the binary64 product."""
    out = []
    for k in phases:
        p = Fraction(float(k if 2 * k <= n else k - n) * x)
        t = math.floor(abs(p) + Fraction(1, 2)) * (1 if p >= 0 else -1)
        out.append(max(-(2 ** 63), min(2 ** 63 - 1, t)) % n)
    return out


@pytest.mark.parametrize("n", RESOLUTIONS)
@pytest.mark.parametrize("dim", [0, 1, 37, 1000])
def test_permute_is_a_cyclic_roll(n, dim):
    v = P.random(dim, n, n + dim)
    for shifts in [0, 1, -1, dim, dim + 1, -dim - 2, Idx(3), True] + HUGE:
        ps = v.phases()
        assert v.permute(shifts).phases() == [ps[(i - int(shifts)) % dim] for i in range(dim)]
        assert v.permute(shifts).permute(-int(shifts)).phases() == v.phases()
    assert v.permute().phases() == v.permute(1).phases()


@pytest.mark.parametrize("n", RESOLUTIONS)
def test_power_integer_exact(n):
    v = P.random(500, n, 11)
    for e in [0, 1, -1, 2, n - 1, n, n + 1, Idx(-5), True] + HUGE:
        assert v.power(e).phases() == [k * int(e) % n for k in v.phases()]
    assert v.power(3).bind(v.power(-5)).phases() == v.power(-2).phases()


@pytest.mark.parametrize("n", RESOLUTIONS)
def test_power_real_rounding(n):
    v = P.random(500, n, 12)
    for x in [0.5, -0.5, 1.5, -2.5, 0.49999999999999994, 1 / 3, -7.3, 1e-300, 12345.5, 2.0 ** 40 + 0.5,
              2.0 ** 51 + 0.5, -(2.0 ** 50 + 0.25), Fraction(7, 2)]:
        assert v.power(x).phases() == lattice_power(v.phases(), float(x), n), x


# A power looks its components up in a map of the n phases once dim reaches
# 2n: both sides of that boundary, at every register size of the map.
@pytest.mark.parametrize("n", [3, 16, 33, 64, 100, 129, 255, 256, 257, 1000])
def test_power_is_the_same_through_the_phase_map(n):
    for dim in [2 * n - 1, 2 * n, 4 * n + 33]:
        v = P.random(dim, n, dim)
        for e in [5, -(10 ** 30) - 7]:
            assert v.power(e).phases() == [k * e % n for k in v.phases()], (dim, e)
        for x in [-2.5, 0.49999999999999994, 7.3, 2.0 ** 51 + 0.5]:
            assert v.power(x).phases() == lattice_power(v.phases(), x, n), (dim, x)


@pytest.mark.parametrize("x", [3.0, -4.0, 2.0 ** 60, -(2.0 ** 70), 1e300, Fraction(12, 4)])
def test_integral_real_is_the_integer(x):
    v = P.random(300, 65535, 5)
    assert v.power(x).phases() == v.power(int(x)).phases()


def test_fractional_power_kernel_is_close_to_sinc():
    base = P.random(20000, 65536, 9)
    for d in [0.0, 0.5, 1.0, 2.5]:
        sim = base.power(1.25).similarity(base.power(1.25 + d))
        assert abs(sim - (math.sin(math.pi * d) / (math.pi * d) if d else 1.0)) < 0.03


@pytest.mark.parametrize("call, exc, message, note", [
    (lambda v: v.power(float("nan")), ValueError, "exponent must be finite", None),
    (lambda v: v.power(float("-inf")), ValueError, "exponent must be finite", None),
    (lambda v: v.power("2"), TypeError, None, "exponent"),
    (lambda v: v.power(None), TypeError, None, "exponent"),
    (lambda v: v.power(), TypeError, "PhaseHVec.power() missing 1 required positional argument: 'exponent'", None),
    (lambda v: v.permute(1.0), TypeError, None, "shifts"),
    (lambda v: v.permute(1, 2), TypeError, "PhaseHVec.permute() takes from 0 to 1 positional arguments but 2 were given", None),
])
def test_power_and_permute_refusals(call, exc, message, note):
    with pytest.raises(exc) as info:
        call(P.random(8, 16, 1))
    if message is not None:
        assert str(info.value) == message
    if note is not None:
        check_note(info.value, note)


@pytest.mark.parametrize("n, dim", [(2, 100), (7, 100), (16, 3000), (65536, 600), (65536, 3)])
def test_weighted_bundle_is_the_repeated_bundle(n, dim):
    items = [P.random(dim, n, s) for s in range(4)]
    for weights in [[1, 1, 1, 1], [3, 0, 2, 7], [0, 0, 5, 0], [Idx(2), True, 0, 1]]:
        repeated = [v for v, w in zip(items, weights) for _ in range(int(w))]
        assert P.bundle(items, weights=weights).phases() == P.bundle(repeated).phases()
    assert P.bundle(items, weights=None).phases() == P.bundle(items).phases()
    # Zero weights drop their items before their shapes are looked at.
    assert P.bundle([items[0], P.random(dim + 1, n, 1)], weights=(1, 0)).phases() == items[0].phases()


@pytest.mark.parametrize("weights, exc, message", [
    ([0, 0], ValueError, "cannot bundle an empty list"),
    ([1], ValueError, "weights must have one entry per item"),
    ([1, -1], ValueError, "weights must be non-negative"),
    ([2 ** 47, 2 ** 47 + 1], OverflowError, "weights too large: the total weight overflows the exact integer sums"),
    ([2 ** 200, 1], OverflowError, "weights too large: the total weight overflows the exact integer sums"),
])
def test_weighted_bundle_refusals(weights, exc, message):
    a = P.random(8, 16, 1)
    with pytest.raises(exc) as info:
        P.bundle([a, a], weights=weights)
    assert str(info.value) == message


@pytest.mark.parametrize("weights", [[1.0, 1], ["1", 1], [None, 1], 3, "12"])
def test_weighted_bundle_type_errors(weights):
    a = P.random(8, 16, 1)
    with pytest.raises(TypeError) as info:
        P.bundle([a, a], weights=weights)
    check_note(info.value, "weights")


def test_refcounts_stable():
    a, b = P.random(64, 16, 1), P.random(64, 16, 2)
    weights, shift, big = [3, 2], 2 ** 70, -(3 ** 50)

    def exercise():
        a.permute(shift)
        a.power(big)
        a.power(2.5)
        P.bundle([a, b], weights=weights)
        for bad in (lambda: a.power("x"), lambda: P.bundle([a, b], weights=[1, -1])):
            try:
                bad()
            except (TypeError, ValueError):
                pass

    assert_refcounts_stable([a, b, weights, shift, big], exercise)
