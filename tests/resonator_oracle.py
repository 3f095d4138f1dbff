"""Scalar pure-Python reference for ``resonator_factorize``.

Deliberately plain and slow: one loop per formula, every sum formed from +0.0
in increasing index order, every product rounded on its own (Python never
fuses a multiply with an add).  Python floats are IEEE doubles and ``crmath``
gives the correctly rounded ``cos``/``sin``/``atan2``, so the results are
bit-identical to a correct native implementation on every machine.

Vectors are plain ``(phases, n)`` pairs: a list of ints and the resolution.
"""

import math

import crmath

TAU = 6.283185307179586
MASK64 = (1 << 64) - 1
NO_INDEX = MASK64
I64_MAX = (1 << 63) - 1
I64_MIN = -(1 << 63)


# --------------------------------------------------------------------------
# seeded generation
# --------------------------------------------------------------------------

def generate(dim, n, seed):
    """Phases of the seeded vector (dim, n, seed), with 64-bit wrapping."""
    base = (seed * 0xC2B2AE3D27D4EB4F) & MASK64
    counter = 0
    out = []
    for _ in range(dim):
        x = base ^ counter
        x ^= x >> 29
        x = (x * 0xBF58476D1CE4E5B9) & MASK64
        x ^= x >> 32
        out.append(x % n)
        counter = (counter + 0x9E3779B97F4A7C15) & MASK64
    return out


def bind(a, b, n):
    return [(x + y) % n for x, y in zip(a, b)]


# --------------------------------------------------------------------------
# resonator building blocks
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
    """Unit phasors of a vector with its own resolution m."""
    re = []
    im = []
    for p in phases:
        theta = (float(p) * TAU) / float(m)
        re.append(crmath.cos(theta))
        im.append(crmath.sin(theta))
    return re, im


def round_half_away(t):
    """C ``round``: nearest integer, halves away from zero (not banker's)."""
    if t != t:
        return t
    if t in (math.inf, -math.inf):
        return t
    a = -t if t < 0.0 else t
    f = math.floor(a)
    r = f + 1 if (a - f) >= 0.5 else f  # a - f is exact
    return -r if t < 0.0 else r


def saturate_i64(r):
    if r != r:
        return 0
    if r == math.inf or r >= 9223372036854775808.0:
        return I64_MAX
    if r == -math.inf or r < -9223372036854775808.0:
        return I64_MIN
    return int(r)


def quantize_phasor(xs, ys, n):
    """Snap per-component sums onto the lattice of n levels."""
    re = []
    im = []
    nf = float(n)
    for x, y in zip(xs, ys):
        a = crmath.atan2(y, x)
        t = (a / TAU) * nf
        k = saturate_i64(round_half_away(t))
        # truncated remainder (sign of k), then shifted into [0, n)
        q = abs(k) % n
        if k < 0:
            q = -q
        if q < 0:
            q += n
        ang = (float(q) * TAU) / nf
        re.append(crmath.cos(ang))
        im.append(crmath.sin(ang))
    return re, im


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


# --------------------------------------------------------------------------
# the resonator
# --------------------------------------------------------------------------

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
    nbooks = len(tables)

    estimates = []
    for book in tables:
        xs = [0.0] * z
        ys = [0.0] * z
        for ere, eim in book:
            if len(ere) < z:
                raise OutOfBounds(len(ere), len(ere))
            for j in range(z):
                xs[j] = xs[j] + ere[j]
                ys[j] = ys[j] + eim[j]
        estimates.append(quantize_phasor(xs, ys, n))

    sweeps = 0
    prev = [NO_INDEX] * nbooks
    stable = 0
    converged = False
    while True:
        if sweeps >= max_iter:
            break
        sweeps += 1
        sweep_weights = []
        for f in range(nbooks):
            u = (list(comp[0]), list(comp[1]))
            for g in range(nbooks):
                if g != f:
                    u = _unbind(u, estimates[g])
            xs = [0.0] * z
            ys = [0.0] * z
            weights = []
            for e in tables[f]:
                w = _dot(e, u, z)
                weights.append(w)
                ere, eim = e
                for j in range(z):
                    xs[j] = xs[j] + (ere[j] * w)
                    ys[j] = ys[j] + (eim[j] * w)
            sweep_weights.append(weights)
            estimates[f] = quantize_phasor(xs, ys, n)
        idx = [best_match(tables[k], estimates[k], z)[0] for k in range(nbooks)]
        if trace is not None:
            trace.append({
                "weights": sweep_weights,
                "indices": list(idx),
                "estimates": [lattice(e, n) for e in estimates],
                "results": [best_match(tables[k], estimates[k], z)
                            for k in range(nbooks)],
            })
        if idx == prev:
            if stable > 1:
                converged = True
                break
            stable += 1
        else:
            stable = 0
        prev = idx

    results = [best_match(tables[k], estimates[k], z) for k in range(nbooks)]
    return results, sweeps, converged


def lattice(est, n):
    """Recover the lattice indices of an estimate (for inspection only)."""
    out = []
    for re, im in zip(*est):
        q = round_half_away((crmath.atan2(im, re) / TAU) * n)
        out.append(int(q) % n)
    return out


def initial_estimates(composite, n, codebooks):
    """Lattice indices of the initial (unweighted) estimates."""
    z = len(composite)
    out = []
    for book in codebooks:
        xs = [0.0] * z
        ys = [0.0] * z
        for p, m in book:
            re, im = phasor(p, m)
            for j in range(z):
                xs[j] = xs[j] + re[j]
                ys[j] = ys[j] + im[j]
        out.append(lattice(quantize_phasor(xs, ys, n), n))
    return out


# --------------------------------------------------------------------------
# exact construction of vectors with prescribed phases
# --------------------------------------------------------------------------

def _scale(v, k, zero):
    """k * v (phase-wise, mod n) by double-and-add with bind."""
    acc = zero
    base = v
    while k:
        if k & 1:
            acc = acc.bind(base)
        k >>= 1
        if k:
            base = base.bind(base)
    return acc


_BASES = {}


def _unit_basis(cls, dim, n, seed0):
    """(zero, [e_0, ..., e_{dim-1}]) with e_c = 1 at c and 0 elsewhere.

    bind is addition mod n, so seeded random vectors generate Z_n^dim as a
    module; Gauss-Jordan elimination with unit pivots (gcd(pivot, n) == 1)
    reduces a handful of them to the unit vectors.
    """
    key = (cls, dim, n, seed0)
    if key in _BASES:
        return _BASES[key]
    seed = [seed0]

    def fresh():
        v = cls.random(dim, n, seed[0])
        seed[0] += 1
        return v

    first = fresh()
    zero = first.unbind(first)
    rows = [first] + [fresh() for _ in range(dim + 8)]
    pivots = []  # pivots[c]: 1 at c, 0 at every other pivot column so far
    for c in range(dim):
        pick = None
        for _ in range(400):
            for i, r in enumerate(rows):
                if math.gcd(r.phases()[c], n) == 1:
                    pick = i
                    break
            if pick is not None:
                break
            r = fresh()
            for cc, pv in enumerate(pivots):
                r = r.unbind(_scale(pv, r.phases()[cc], zero))
            rows.append(r)
        if pick is None:
            raise RuntimeError("no unit pivot found")
        piv = rows.pop(pick)
        piv = _scale(piv, pow(piv.phases()[c], -1, n), zero)
        pivots = [pv.unbind(_scale(piv, pv.phases()[c], zero)) for pv in pivots]
        rows = [r.unbind(_scale(piv, r.phases()[c], zero)) for r in rows]
        pivots.append(piv)
    _BASES[key] = (zero, pivots)
    return zero, pivots


def from_phases(phases, n, cls=None, seed0=0x5EED):
    """A vector with exactly the given phases, built from the public API
    (seeded vectors, bind, unbind) as the combination sum_i phases[i] * e_i."""
    if cls is None:
        import velmora
        cls = velmora.PhaseHVec
    zero, basis = _unit_basis(cls, len(phases), n, seed0)
    out = zero
    for c, p in enumerate(phases):
        if p % n:
            out = out.bind(_scale(basis[c], p % n, zero))
    got = out.phases()
    if got != [p % n for p in phases]:
        raise RuntimeError("from_phases produced %r" % (got,))
    return out
