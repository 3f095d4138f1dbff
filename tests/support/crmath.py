"""Correctly rounded cos, sin and atan2 for the oracles, from mpmath.

Each function evaluates at 200 bits and rounds once to the nearest double,
which gives the correctly rounded result: the exact value would have to lie
within 2^-200 of the midpoint between two doubles for the double rounding to
matter, and at double arguments cos, sin and atan2 come nowhere near that.
Signed zeros and infinities, which mpmath does not model, follow C's rules.
Results are memoised: the oracles meet the same table angles again and again.
"""

import functools
import math

import mpmath
from mpmath.libmp import round_nearest, to_float

_ctx = mpmath.MPContext()
_ctx.prec = 200


def _nearest(value):
    return to_float(value._mpf_, rnd=round_nearest)


@functools.lru_cache(maxsize=1 << 18)
def _cos(x):
    return _nearest(_ctx.cos(_ctx.mpf(x)))


@functools.lru_cache(maxsize=1 << 18)
def _sin(x):
    return _nearest(_ctx.sin(_ctx.mpf(x)))


# Zeros stay out of the memo, whose keys do not tell 0.0 from -0.0.
def cos(x):
    return math.cos(x) if x == 0.0 or not math.isfinite(x) else _cos(x)  # exact: 1.0, or NaN


def sin(x):
    return math.sin(x) if x == 0.0 or not math.isfinite(x) else _sin(x)  # exact: the signed zero, or NaN


def atan2(y, x):
    if y == 0.0 or x == 0.0 or not (math.isfinite(x) and math.isfinite(y)):
        # Exact results (signed zeros, +-pi/2, +-pi and the infinite cases), each
        # the double nearest its exact value in every C library.
        return math.atan2(y, x)
    return _nearest(_ctx.atan2(_ctx.mpf(y), _ctx.mpf(x)))
