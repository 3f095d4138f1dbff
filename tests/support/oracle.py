"""Slow, scalar, pure-Python reference of velmora: seeded generation, the
phase algebra, bundling and the resonator.

Every function here is the plain statement of the algorithm, one component at
a time, with the floating-point operations written in the order the native
kernels must use: every sum formed from +0.0 in increasing index order, every
product rounded on its own (Python never fuses a multiply with an add).
Python floats are IEEE doubles and ``crmath`` gives the correctly rounded
cos, sin and atan2, so tests compare the native results against these bit for
bit. Vectors are plain phase lists with their resolution beside them. Nothing
in this file imports velmora.
"""

import math

from . import crmath

MASK64 = (1 << 64) - 1
INT64_MAX = (1 << 63) - 1
INT64_MIN = -(1 << 63)

SEED_MULTIPLIER = 0xC2B2AE3D27D4EB4F
INDEX_INCREMENT = 0x9E3779B97F4A7C15
MIX_MULTIPLIER = 0xBF58476D1CE4E5B9

FULL_TURN = 6.283185307179586
PHASOR_SCALE = 16384.0
NO_INDEX = MASK64


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


def saturate_i64(x):
    """x as an int64: NaN gives 0, values beyond the range (infinities
    included) the nearest limit, others their integer part."""
    if math.isnan(x):
        return 0
    if x >= 9223372036854775808.0:
        return INT64_MAX
    if x < -9223372036854775808.0:
        return INT64_MIN
    return int(x)


def to_int64_saturating(x):
    """Round half away from zero, then convert to int64 with saturation."""
    return saturate_i64(round_half_away(x) if math.isfinite(x) else x)


def reduce_mod(v, n):
    """Remainder of truncating division, shifted into [0, n)."""
    r = abs(v) % n
    if v < 0:
        r = -r
    if r < 0:
        r += n
    return r


def phase_angle(k, n):
    """The angle of phase level k of n: (k * 2 pi) / n."""
    return float(k) * FULL_TURN / float(n)


def angle_to_level(sin_sum, cos_sum, n):
    """The lattice level nearest the angle of (cos_sum, sin_sum)."""
    angle = crmath.atan2(float(sin_sum), float(cos_sum))
    levels = angle / FULL_TURN * float(n)
    return reduce_mod(to_int64_saturating(levels), n)


# --------------------------------------------------------------------------
# Bundling
# --------------------------------------------------------------------------

_table_cache = {}


def phasor_tables(n):
    """(cosine table, sine table) of n fixed-point entries each."""
    cached = _table_cache.get(n)
    if cached is not None:
        return cached
    cos_table = [to_int64_saturating(crmath.cos(phase_angle(k, n)) * PHASOR_SCALE) for k in range(n)]
    sin_table = [to_int64_saturating(crmath.sin(phase_angle(k, n)) * PHASOR_SCALE) for k in range(n)]
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


def bundle(items, n):
    """Phases of PhaseHVec.bundle(items) for a non-empty list of phase lists."""
    if not items:
        raise ValueError("cannot bundle an empty list")
    cos_sum, sin_sum = phasor_sums(items, n)
    return [angle_to_level(sin_sum[i], cos_sum[i], n) for i in range(len(cos_sum))]


# --------------------------------------------------------------------------
# Resonator building blocks
# --------------------------------------------------------------------------

class OutOfBounds(Exception):
    """An out-of-range read the native code reports as an internal failure."""

    def __init__(self, length, index):
        Exception.__init__(self, length, index)
        self.length = length
        self.index = index

    @property
    def message(self):
        return "index out of bounds: the len is %d but the index is %d" % (
            self.length, self.index)


def phasor(phases, m):
    """Unit phasors (real parts, imaginary parts) of phases at resolution m."""
    re = []
    im = []
    for p in phases:
        theta = phase_angle(p, m)
        re.append(crmath.cos(theta))
        im.append(crmath.sin(theta))
    return re, im


def quantize_phasor(xs, ys, n):
    """Snap per-component sums onto the lattice of n levels."""
    return phasor([angle_to_level(y, x, n) for x, y in zip(xs, ys)], n)


def lattice(est, n):
    """The lattice levels of an estimate (for inspection only)."""
    return [angle_to_level(im, re, n) for re, im in zip(*est)]


def _dot(e, s, z):
    """sum_j (e.re_j*s.re_j) + (e.im_j*s.im_j) over the entry's length."""
    ere, eim = e
    sre, sim = s
    if len(ere) > z:
        raise OutOfBounds(z, z)
    acc = 0.0
    for j in range(len(ere)):
        acc = acc + ((ere[j] * sre[j]) + (eim[j] * sim[j]))
    return acc


def best_match(book, s, z):
    """(index, similarity) of the best entry; later entries win ties."""
    if not book:
        return 0, 0.0
    div = float(z) if z > 0 else 1.0
    best = 0
    best_sim = _dot(book[0], s, z) / div
    for i in range(1, len(book)):
        sim = _dot(book[i], s, z) / div
        if not (best_sim > sim):
            best = i
            best_sim = sim
    return best, best_sim


def _unbind(u, est):
    """u times the conjugate of est, component by component."""
    ure, uim = u
    cre, cim = est
    nre = []
    nim = []
    for j in range(len(ure)):
        r = ure[j]
        i = uim[j]
        c = cre[j]
        s = cim[j]
        nre.append((c * r) + (s * i))
        nim.append((i * c) - (r * s))
    return nre, nim


def initial_estimate(book, z, n):
    """The unweighted superposition of a codebook's phasors, snapped."""
    xs = [0.0] * z
    ys = [0.0] * z
    for ere, eim in book:
        if len(ere) < z:
            raise OutOfBounds(len(ere), len(ere))
        for j in range(z):
            xs[j] = xs[j] + ere[j]
            ys[j] = ys[j] + eim[j]
    return quantize_phasor(xs, ys, n)


def unbind_others(comp, estimates, f):
    """The composite with every estimate but the f-th unbound, in order."""
    u = comp
    for g, est in enumerate(estimates):
        if g != f:
            u = _unbind(u, est)
    return u


def score_and_superpose(book, u, z):
    """Each entry's weight (its dot product with u) and the weighted sum of
    the entries: (weights, real parts, imaginary parts)."""
    xs = [0.0] * z
    ys = [0.0] * z
    weights = []
    for e in book:
        w = _dot(e, u, z)
        weights.append(w)
        ere, eim = e
        for j in range(z):
            xs[j] = xs[j] + (ere[j] * w)
            ys[j] = ys[j] + (eim[j] * w)
    return weights, xs, ys


# --------------------------------------------------------------------------
# The resonator
# --------------------------------------------------------------------------

# The run has converged once a sweep's best-match indices equal the previous
# sweep's this many times in a row.
STABLE_REPEATS = 3


def resonator(composite, n, codebooks, max_iter=50, trace=None):
    """Run the resonator.

    composite: list of phases at resolution n.
    codebooks: list of codebooks, each a list of (phases, entry_n) pairs.
    trace: optional list; receives one dict per sweep with the raw weights
    of every codebook and the phases (as lattice indices) of the estimates.

    Returns (results, sweeps_run, converged); results is a list of
    (index, similarity).  Raises OutOfBounds where the native code would
    fail with an index outside an array.
    """
    z = len(composite)
    comp = phasor(composite, n)
    tables = [[phasor(p, m) for (p, m) in book] for book in codebooks]
    estimates = [initial_estimate(book, z, n) for book in tables]

    sweeps = 0
    prev = [NO_INDEX] * len(tables)
    repeats = 0
    converged = False
    while sweeps < max_iter:
        sweeps += 1
        sweep_weights = []
        for f, book in enumerate(tables):
            u = unbind_others(comp, estimates, f)
            weights, xs, ys = score_and_superpose(book, u, z)
            sweep_weights.append(weights)
            estimates[f] = quantize_phasor(xs, ys, n)
        results = [best_match(book, est, z) for book, est in zip(tables, estimates)]
        idx = [i for i, _ in results]
        if trace is not None:
            trace.append({
                "weights": sweep_weights,
                "indices": list(idx),
                "estimates": [lattice(e, n) for e in estimates],
                "results": results,
            })
        repeats = repeats + 1 if idx == prev else 0
        if repeats == STABLE_REPEATS:
            converged = True
            break
        prev = idx

    results = [best_match(book, est, z) for book, est in zip(tables, estimates)]
    return results, sweeps, converged


def initial_estimates(composite, n, codebooks):
    """Lattice indices of the initial (unweighted) estimates."""
    z = len(composite)
    return [lattice(initial_estimate([phasor(p, m) for p, m in book], z, n), n) for book in codebooks]
