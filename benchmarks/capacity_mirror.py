"""What the capacity study runs beside the module: its seeded problems, a NumPy
mirror of the resonator, the published bipolar resonator network, and velmora's
resonator at n = 2 in exact arithmetic with its choices switchable.

The module does not report how many sweeps it ran, so sweeps come from
``mirror_resonator``: a NumPy transcription of the same algorithm (same
operation order, sums taken strictly in index order, the platform's
``math.atan2`` / ``math.cos`` / ``math.sin``, the same stopping rule).  It stays
separate from the scalar reference the tests use (tests/support/oracle.py):
that one is exact by construction but pure Python, far too slow for problems
of thousands of components; this one is fast, and only as exact as the study
checks it to be (every problem is run through both, and the tests hold the
mirror to the scalar reference bit for bit).  Seeded vectors come from the
module itself.
"""

import math

import numpy as np

from velmora import PhaseHVec

TAU = 6.283185307179586
MASK64 = (1 << 64) - 1
# The module's stopping rule: a run has converged once a sweep's best-match
# indices equal the previous sweep's this many times in a row.
STABLE_REPEATS = 3


class StopRule:
    """Counts the repeats of the best-match indices from sweep to sweep."""

    def __init__(self):
        self.prev, self.repeats = None, 0

    def converged(self, idx):
        self.repeats = self.repeats + 1 if idx == self.prev else 0
        self.prev = idx
        return self.repeats == STABLE_REPEATS


# ---------------------------------------------------------------------------
# seeded problems
# ---------------------------------------------------------------------------

def entry_seed(problem, factor, entry):
    """Seed of entry `entry` of codebook `factor` in problem `problem`."""
    return (problem << 32) | (factor << 24) | entry


def truth_index(problem, factor, m):
    """Which entry of codebook `factor` problem `problem` binds (splitmix64 of the pair)."""
    x = (problem * 0x9E3779B97F4A7C15 + factor * 0xBF58476D1CE4E5B9 + 1) & MASK64
    x = ((x ^ (x >> 30)) * 0xBF58476D1CE4E5B9) & MASK64
    x = ((x ^ (x >> 27)) * 0x94D049BB133111EB) & MASK64
    return (x ^ (x >> 31)) % m


def generate(dim, n, seed):
    """PhaseHVec.random(dim, n, seed).phases() as an int64 array."""
    return np.array(PhaseHVec.random(dim, n, seed).phases(), dtype=np.int64)


# ---------------------------------------------------------------------------
# the mirror: same algorithm, same operation order, plus a sweep count
# ---------------------------------------------------------------------------

def _level_tables(n):
    nf = float(n)
    angles = [(float(k) * TAU) / nf for k in range(n)]
    return np.array([math.cos(a) for a in angles]), np.array([math.sin(a) for a in angles])


def _seq_sum(a):
    """Sum of the rows of a C-contiguous 2-D array from +0.0, strictly in row order.

    ``np.add.reduce`` over the outer axis adds whole rows one after the other
    (NumPy's pairwise scheme only applies along the contiguous axis), so each
    column is a plain running sum; the final ``+ 0.0`` turns the one possible
    difference from a sum started at +0.0, an all-negative-zero column, into +0.0.
    """
    return np.add.reduce(a, axis=0) + 0.0


def _round_half_away(t):
    r = np.trunc(t)
    frac = t - r  # exact
    return r + np.where(np.abs(frac) >= 0.5, np.sign(t), 0.0)


class _Lattice:
    def __init__(self, n):
        self.n = n
        self.cos, self.sin = _level_tables(n)

    def quantize(self, xs, ys):
        a = np.array([math.atan2(y, x) for x, y in zip(xs.tolist(), ys.tolist())])
        t = (a / TAU) * float(self.n)
        q = np.mod(_round_half_away(t).astype(np.int64), self.n)
        return self.cos[q], self.sin[q]


def _best_match(book_t, s, z):
    """book_t: the codebook's phasors as (Z, M) arrays."""
    sims = _seq_sum((book_t[0] * s[0][:, None]) + (book_t[1] * s[1][:, None])) / float(z or 1)
    best = int(np.flatnonzero(sims == sims.max())[-1])  # later entries win ties
    return best, float(sims[best])


def mirror_resonator(composite, books, n, max_iter=50, estimates_out=None):
    """composite: phases (int array); books: list of (M, Z) phase arrays, all at resolution n.

    Returns (results, sweeps, converged) like the scalar reference in tests/support/.  A list
    passed as `estimates_out` receives the final estimates as lattice phases.
    """
    lat = _Lattice(n)
    z = len(composite)
    comp = (lat.cos[composite], lat.sin[composite])
    tables = [(lat.cos[b], lat.sin[b]) for b in books]  # (M, Z): sums over entries
    tables_t = [(np.ascontiguousarray(c.T), np.ascontiguousarray(s.T)) for c, s in tables]  # (Z, M): sums over j
    estimates = [lat.quantize(_seq_sum(c), _seq_sum(s)) for c, s in tables]
    sweeps, converged, rule = 0, False, StopRule()
    while sweeps < max_iter:
        sweeps += 1
        for f, ((ere, eim), (ere_t, eim_t)) in enumerate(zip(tables, tables_t)):
            ur, ui = comp
            for g, (c, s) in enumerate(estimates):
                if g != f:
                    ur, ui = (c * ur) + (s * ui), (ui * c) - (ur * s)
            w = _seq_sum((ere_t * ur[:, None]) + (eim_t * ui[:, None]))
            estimates[f] = lat.quantize(_seq_sum(ere * w[:, None]), _seq_sum(eim * w[:, None]))
        if rule.converged([_best_match(tables_t[k], estimates[k], z)[0] for k in range(len(tables))]):
            converged = True
            break
    if estimates_out is not None:
        # estimates sit on lattice points, so rounding their angle recovers the phase exactly
        for c, s in estimates:
            estimates_out.append(np.mod(np.round(np.arctan2(s, c) / TAU * n).astype(np.int64), n))
    return [_best_match(tables_t[k], estimates[k], z) for k in range(len(tables))], sweeps, converged


# ---------------------------------------------------------------------------
# the published bipolar resonator network, as a reference
# ---------------------------------------------------------------------------

def published_cap(d, f_count=3):
    """The published protocol's iteration budget, 0.001 * D**F, rounded up."""
    return -(-(d ** f_count) // 1000)


def bipolar_books(problem, m, z=1500, f_count=3, source="seeded"):
    """(codebooks as (M, Z) arrays of 0/1 phases, truth) for one problem of the bipolar study.

    "seeded" is exactly the problem velmora gets (velmora's seeds, velmora's truth);
    "independent" draws the codebooks and the truth from NumPy's generator instead,
    a control for the quality of the seeded vectors.
    """
    if source == "seeded":
        books = [np.stack([generate(z, 2, entry_seed(problem, f, i)) for i in range(m)]) for f in range(f_count)]
        return books, [truth_index(problem, f, m) for f in range(f_count)]
    rng = np.random.default_rng([m, problem, f_count, z])
    return [rng.integers(0, 2, size=(m, z)) for _ in range(f_count)], [int(rng.integers(m)) for _ in range(f_count)]


def textbook_bipolar(books01, truth, max_iter=None, weights="outer"):
    """The bipolar resonator network as published, on codebooks of 0/1 phases (0 is +1, 1 is -1).

    x_f <- sign(X_f^T W_f X_f (s * prod_{g != f} x_g)), factors updated in a fixed
    order, each from the others' latest states; started from sign(sum of the
    codebook); sign(0) = +1; the run stops when no factor's state changes, or
    after `max_iter` iterations (default: the published 0.001 * D**F).  W_f is
    the identity (outer-product weights) or (X_f X_f^T)^-1 ("ols").  The
    read-out is the argmax of |cos| with the factor flipped when that cosine is
    negative, so a solution with two factors negated counts as found: it binds
    to the same composite.  Returns (all factors right, iterations, converged).
    """
    f_count = len(books01)
    books = [1.0 - 2.0 * b for b in books01]
    if max_iter is None:
        max_iter = published_cap(len(books[0]), f_count)
    s = np.prod([books[f][truth[f]] for f in range(f_count)], axis=0)
    gram_inv = [np.linalg.inv(b @ b.T) if weights == "ols" else None for b in books]

    def sign(v):
        return np.where(v >= 0, 1.0, -1.0)

    est = [sign(b.sum(axis=0)) for b in books]
    changed = True
    for it in range(1, max_iter + 1):
        changed = False
        for f, b in enumerate(books):
            u = s.copy()
            for g in range(f_count):
                if g != f:
                    u = u * est[g]
            a = b @ u
            new = sign(b.T @ (gram_inv[f] @ a if weights == "ols" else a))
            changed = changed or not np.array_equal(new, est[f])
            est[f] = new
        if not changed:
            break
    found = [int(np.argmax(np.abs(b @ e))) for b, e in zip(books, est)]
    return found == list(truth), it, not changed


# ---------------------------------------------------------------------------
# velmora's resonator at n = 2 in exact integer arithmetic, with switches
# ---------------------------------------------------------------------------

# At n = 2 every phasor is (+1, 0) or (-1, S0) with S0 = sin(pi) ~ 1.2e-16.  Those
# residues never reach a weight or a similarity (each product with them is far below
# half an ulp of the +-1 term it is added to), so weights, superpositions and
# similarities are exact integers and any summation order gives them bit for bit.
# The residues matter in one place only: a superposition whose real part cancels
# to exactly 0 is snapped by atan2 of its residue sum, to -1 when that sum is
# nonzero and to +1 when it is exactly +0.0.  That sum is formed below in the
# module's order, so this is velmora itself, only fast enough for an ablation.
S0 = math.sin((1.0 * TAU) / 2.0)
VELMORA = {"readout": "signed", "stop": "indices", "tie": "residue", "update": "sequential"}


def _snap_bipolar(x, books01_col_order, w, tie):
    """Sign of exact integer sums x; the cancelled components by the rule `tie`."""
    out = np.where(x < 0, -1.0, 1.0)
    if tie == "residue":
        for j in np.flatnonzero(x == 0).tolist():
            y = 0.0
            for e in np.flatnonzero(books01_col_order[j]).tolist():
                y += S0 * w[e]
            if y != 0.0:
                out[j] = -1.0
    return out


def _readout(book, est, z, readout):
    sims = book @ est
    key = np.abs(sims) if readout == "abs" else sims
    best = int(np.flatnonzero(key == key.max())[-1])  # later entries win ties
    return best, float(key[best]) / float(z or 1)


def bipolar_velmora(composite01, books01, max_iter=50, **switches):
    """velmora's resonator_factorize at n = 2, bit for bit, with one or more of its choices switched.

    readout "abs": argmax of |cos| with the sign correction (reported similarity |cos|);
    stop "fixed_point": stop when a sweep changes no estimate, not after four equal index lists;
    tie "plus": a cancelled superposition snaps to +1, not by its residues;
    update "simultaneous": every factor is updated from the previous sweep's estimates.
    Returns (results, sweeps, converged, final estimates as +-1 arrays).
    """
    opt = dict(VELMORA, **switches)
    z = len(composite01)
    books = [1.0 - 2.0 * b.astype(np.float64) for b in books01]
    cols = [np.ascontiguousarray(b.T.astype(bool)) for b in books01]  # entries with phase 1, per component
    comp = 1.0 - 2.0 * composite01.astype(np.float64)
    est = [_snap_bipolar(b.sum(axis=0), c, np.ones(len(b)), opt["tie"]) for b, c in zip(books, cols)]
    sweeps, converged, rule = 0, False, StopRule()
    while sweeps < max_iter:
        sweeps += 1
        basis = list(est) if opt["update"] == "simultaneous" else est
        changed = False
        for f, (b, c) in enumerate(zip(books, cols)):
            u = comp
            for g, e in enumerate(basis):
                if g != f:
                    u = u * e
            w = b @ u
            new = _snap_bipolar(b.T @ w, c, w.tolist(), opt["tie"])
            changed = changed or not np.array_equal(new, est[f])
            est[f] = new
        if opt["stop"] == "fixed_point":
            if not changed:
                converged = True
                break
            continue
        if rule.converged([_readout(b, e, z, opt["readout"])[0] for b, e in zip(books, est)]):
            converged = True
            break
    return [_readout(b, e, z, opt["readout"]) for b, e in zip(books, est)], sweeps, converged, est



# One change at a time from velmora (max_iter=50), then the read-out and the cap
# together with each of the others; "published" makes every change that separates
# velmora from the published network at once.
ABLATION = [
    ("readout", {"readout": "abs"}, "50"),
    ("fixed_point", {"stop": "fixed_point"}, "50"),
    ("cap", {}, "cap"),
    ("tie_plus", {"tie": "plus"}, "50"),
    ("simultaneous", {"update": "simultaneous"}, "50"),
    ("readout_cap", {"readout": "abs"}, "cap"),
    ("readout_cap_stop", {"readout": "abs", "stop": "fixed_point"}, "cap"),
    ("readout_cap_tie", {"readout": "abs", "tie": "plus"}, "cap"),
    ("published", {"readout": "abs", "stop": "fixed_point", "tie": "plus"}, "cap"),
]
