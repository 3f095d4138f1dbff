"""permute and power beside NumPy: the roll they are defined as, and NumPy's
scalars as exponents. Kept apart because importing NumPy leaves allocations
of its own that the sanitized run would report at exit."""

import numpy as np
import pytest

import velmora

P = velmora.PhaseHVec


@pytest.mark.parametrize("n", [2, 16, 65536])
@pytest.mark.parametrize("dim", [0, 1, 1000])
def test_permute_is_numpy_roll(n, dim):
    v = P.random(dim, n, n + dim)
    for shifts in [0, 1, -7, dim + 3, 10 ** 30 + 1, np.int64(-3)]:
        assert v.permute(shifts).phases() == np.roll(np.array(v.phases(), dtype=np.int64), int(shifts)).tolist()


@pytest.mark.parametrize("e", [np.int64(7), np.int8(-3), np.uint64(2 ** 64 - 1)])
def test_numpy_integers_are_integer_exponents(e):
    v = P.random(300, 1000, 3)
    assert v.power(e).phases() == [k * int(e) % 1000 for k in v.phases()]


@pytest.mark.parametrize("x", [np.float64(-0.75), np.float32(0.5), np.float16(2.5), np.longdouble(1.25)])
def test_numpy_floats_are_real_exponents(x):
    v = P.random(300, 1000, 4)
    assert v.power(x).phases() == v.power(float(x)).phases()
