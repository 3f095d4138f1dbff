"""Slow, scalar, pure-Python reference of the velmora phase algebra.

Every function here is the plain statement of the algorithm, one component at
a time, with the floating-point operations written in the order the native
kernels must use. Tests compare the native results against these bit for bit.
Nothing in this file imports velmora.
"""

import math

import crmath

MASK64 = (1 << 64) - 1
INT64_MAX = (1 << 63) - 1
INT64_MIN = -(1 << 63)

SEED_MULTIPLIER = 0xC2B2AE3D27D4EB4F
INDEX_INCREMENT = 0x9E3779B97F4A7C15
MIX_MULTIPLIER = 0xBF58476D1CE4E5B9

FULL_TURN = 6.283185307179586
PHASOR_SCALE = 16384.0


# --------------------------------------------------------------------------
# Seeded generation
# --------------------------------------------------------------------------

def seed_base(seed):
    """The per-call seed product, low 64 bits."""
    return (seed * SEED_MULTIPLIER) & MASK64


def counter_for(i):
    """Counter value mixed into component i."""
    return (i * INDEX_INCREMENT) & MASK64


def mix_trace(x):
    """The three intermediate words of the mixing step, in order."""
    x &= MASK64
    a = x ^ (x >> 29)
    b = (a * MIX_MULTIPLIER) & MASK64
    c = b ^ (b >> 32)
    return a, b, c


def mix(x):
    return mix_trace(x)[2]


def word(seed, i):
    """The 64-bit mixing word of component i."""
    return mix(seed_base(seed) ^ counter_for(i))


def component(seed, i, n):
    return word(seed, i) % n


def generate(dim, n, seed):
    """Phases of PhaseHVec.random(dim, n, seed), generated sequentially."""
    if not 2 <= n <= 65536:
        raise ValueError("n out of range")
    base = seed_base(seed)
    counter = 0
    out = []
    for _ in range(dim):
        x = base ^ counter
        x = x ^ (x >> 29)
        x = (x * MIX_MULTIPLIER) & MASK64
        x = x ^ (x >> 32)
        out.append(x % n)
        counter = (counter + INDEX_INCREMENT) & MASK64
    return out


# --------------------------------------------------------------------------
# Element-wise algebra
# --------------------------------------------------------------------------

def bind(a, b, n):
    assert len(a) == len(b)
    return [(x + y) % n for x, y in zip(a, b)]


def unbind(a, b, n):
    assert len(a) == len(b)
    return [(n - y + x) % n for x, y in zip(a, b)]


def similarity(a, b, n):
    assert len(a) == len(b)
    dim = len(a)
    if dim == 0:
        return 1.0
    big_n = float(n)
    total = 0.0
    for i in range(dim):
        theta = (float(a[i]) - float(b[i])) * FULL_TURN / big_n
        total = total + crmath.cos(theta)
    return total / float(dim)


# --------------------------------------------------------------------------
# Lattice rounding
# --------------------------------------------------------------------------

def round_half_away(x):
    """Nearest integer to the float x, halves away from zero, as a Python int.

    x - trunc(x) is exact in binary floating point, so the comparison with 0.5
    decides ties exactly (unlike floor(x + 0.5), which misrounds
    0.49999999999999994, and unlike round(), which rounds halves to even).
    """
    whole = math.trunc(x)
    frac = x - whole
    if frac >= 0.5:
        whole += 1
    elif frac <= -0.5:
        whole -= 1
    return whole


def to_int64_saturating(x):
    """Round half away from zero, then convert to int64 with saturation."""
    if math.isnan(x):
        return 0
    if x >= 9223372036854775808.0:
        return INT64_MAX
    if x < -9223372036854775808.0:
        return INT64_MIN
    return max(INT64_MIN, min(INT64_MAX, round_half_away(x)))


def reduce_mod(v, n):
    """Remainder of truncating division, shifted into [0, n)."""
    r = abs(v) % n
    if v < 0:
        r = -r
    if r < 0:
        r += n
    return r


# --------------------------------------------------------------------------
# Bundling
# --------------------------------------------------------------------------

_table_cache = {}


def phasor_tables(n):
    """(cosine table, sine table) of n fixed-point entries each."""
    cached = _table_cache.get(n)
    if cached is not None:
        return cached
    big_n = float(n)
    cos_table = []
    for k in range(n):
        angle = float(k) * FULL_TURN / big_n
        cos_table.append(to_int64_saturating(crmath.cos(angle) * PHASOR_SCALE))
    sin_table = []
    for k in range(n):
        angle = float(k) * FULL_TURN / big_n
        sin_table.append(to_int64_saturating(crmath.sin(angle) * PHASOR_SCALE))
    _table_cache[n] = (cos_table, sin_table)
    return cos_table, sin_table


def phasor_sums(items, n):
    """Exact integer (cosine sums, sine sums) per component."""
    cos_table, sin_table = phasor_tables(n)
    dim = len(items[0])
    cos_sum = [0] * dim
    sin_sum = [0] * dim
    for item in items:
        assert len(item) == dim
        for i in range(dim):
            p = item[i]
            cos_sum[i] += cos_table[p]
            sin_sum[i] += sin_table[p]
    return cos_sum, sin_sum


def angle_to_level(sin_sum, cos_sum, n):
    angle = crmath.atan2(float(sin_sum), float(cos_sum))
    levels = angle / FULL_TURN * float(n)
    return reduce_mod(to_int64_saturating(levels), n)


def bundle(items, n):
    """Phases of PhaseHVec.bundle(items) for a non-empty list of phase lists."""
    if not items:
        raise ValueError("cannot bundle an empty list")
    cos_sum, sin_sum = phasor_sums(items, n)
    return [angle_to_level(sin_sum[i], cos_sum[i], n) for i in range(len(cos_sum))]
