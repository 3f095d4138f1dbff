"""Capacity of velmora's resonator: how large a factorization problem it solves.

For F factors, codebooks of M entries each, dimension Z and resolution n, every
problem draws F fresh seeded codebooks, binds one entry of each (chosen by a
seeded hash) into a composite, and asks ``resonator_factorize`` for the factors.
A point of the study is (F, M, Z, n) with ``--problems`` problems; it reports
the fraction with every factor right and the sweeps used.

Accuracy comes from ``velmora.resonator_factorize`` itself.  The module does not
report how many sweeps it ran, so sweeps come from ``mirror_resonator`` below: a
NumPy transcription of the same algorithm (same operation order, sums taken
strictly in index order with cumulative sums, the platform's ``math.atan2`` /
``math.cos`` / ``math.sin``, the same stopping rule).  Every problem is run
through both, and the CSV column ``mirror_mismatch`` counts the problems whose
mirror result (indices and similarities, compared bit for bit) differs from the
module's; a sweep count is only as trustworthy as that column is zero.

Two studies:

* the grid: F in {2, 3, 4}, Z in {256, 1024, 4096}, n in {4, 16, 256}, M from 8
  growing by about sqrt(2) until accuracy collapses (below ``--collapse``) or
  reaches ``--max-m``;
* ``--kent``: the protocol of the published resonator-network capacity tables
  (Kent, Frady, Sommer and Olshausen, 2020): F = 3 bipolar factors (n = 2) at
  N = Z = 1500, codebook sizes D around the published 99 %-accuracy point D = 79.

Points run cheapest first; ``--budget`` seconds stops the study between points
(the CSV is rewritten after every point, so a stopped run keeps what it did).

``--reference`` puts the published protocol side by side on the same seeded
problems (500 per size): the published network (``textbook_bipolar``), velmora at
``max_iter=50`` and at the published cap, an ablation that changes velmora one
choice at a time (``bipolar_velmora``, exact at n = 2 and checked against the
module on every call), how often velmora's wrong factors are shifted solutions,
and re-runs a caller can make within the API.  ``--generator`` measures how far
seeded vectors are from independent random phases.

    python benchmarks/capacity.py --quick                       # smoke test, seconds
    python benchmarks/capacity.py --budget 1800 --jobs 2 --kent # the committed grid run
    python benchmarks/capacity.py --kent-only --reference       # the published protocol, about 14 min
    python benchmarks/capacity.py --generator                   # seconds
"""

import argparse
import csv
import math
import os
import sys
import time
from concurrent.futures import ProcessPoolExecutor

import numpy as np

from velmora import PhaseHVec, resonator_factorize

TAU = 6.283185307179586
MASK64 = (1 << 64) - 1
FIELDS = [
    "study", "F", "M", "Z", "n", "max_iter", "problems", "accuracy", "factor_accuracy",
    "sweeps_mean", "sweeps_median", "sweeps_max", "unconverged", "mirror_mismatch", "seconds",
]


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
    """NumPy copy of PhaseHVec.random(dim, n, seed).phases() (64-bit wrapping mixer)."""
    with np.errstate(over="ignore"):
        base = np.uint64((seed * 0xC2B2AE3D27D4EB4F) & MASK64)
        counter = np.arange(dim, dtype=np.uint64) * np.uint64(0x9E3779B97F4A7C15)
        x = base ^ counter
        x ^= x >> np.uint64(29)
        x *= np.uint64(0xBF58476D1CE4E5B9)
        x ^= x >> np.uint64(32)
    return (x % np.uint64(n)).astype(np.int64)


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

    Returns (results, sweeps, converged) like the scalar reference in tests/.  A list
    passed as `estimates_out` receives the final estimates as lattice phases.
    """
    lat = _Lattice(n)
    z = len(composite)
    comp = (lat.cos[composite], lat.sin[composite])
    tables = [(lat.cos[b], lat.sin[b]) for b in books]  # (M, Z): sums over entries
    tables_t = [(np.ascontiguousarray(c.T), np.ascontiguousarray(s.T)) for c, s in tables]  # (Z, M): sums over j
    estimates = [lat.quantize(_seq_sum(c), _seq_sum(s)) for c, s in tables]
    sweeps, stable, converged = 0, 0, False
    prev = None
    while sweeps < max_iter:
        sweeps += 1
        for f, ((ere, eim), (ere_t, eim_t)) in enumerate(zip(tables, tables_t)):
            ur, ui = comp
            for g, (c, s) in enumerate(estimates):
                if g != f:
                    ur, ui = (c * ur) + (s * ui), (ui * c) - (ur * s)
            w = _seq_sum((ere_t * ur[:, None]) + (eim_t * ui[:, None]))
            estimates[f] = lat.quantize(_seq_sum(ere * w[:, None]), _seq_sum(eim * w[:, None]))
        idx = [_best_match(tables_t[k], estimates[k], z)[0] for k in range(len(tables))]
        if idx == prev:
            if stable > 1:
                converged = True
                break
            stable += 1
        else:
            stable = 0
        prev = idx
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
    sweeps, stable, converged, prev = 0, 0, False, None
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
        idx = [_readout(b, e, z, opt["readout"])[0] for b, e in zip(books, est)]
        if idx == prev:
            if stable > 1:
                converged = True
                break
            stable += 1
        else:
            stable = 0
        prev = idx
    return [_readout(b, e, z, opt["readout"]) for b, e in zip(books, est)], sweeps, converged, est


# ---------------------------------------------------------------------------
# one problem, one point
# ---------------------------------------------------------------------------

def run_problem(f_count, m, z, n, problem, max_iter=50):
    """(all factors right, factors right, sweeps, converged, mirror agrees)."""
    truth = [truth_index(problem, f, m) for f in range(f_count)]
    books = [[PhaseHVec.random(z, n, entry_seed(problem, f, i)) for i in range(m)] for f in range(f_count)]
    composite = books[0][truth[0]]
    for f in range(1, f_count):
        composite = composite.bind(books[f][truth[f]])
    found = resonator_factorize(composite, books, max_iter)

    arrays = [np.stack([generate(z, n, entry_seed(problem, f, i)) for i in range(m)]) for f in range(f_count)]
    comp = sum(arrays[f][truth[f]] for f in range(f_count)) % n
    mirrored, sweeps, converged = mirror_resonator(comp, arrays, n, max_iter)
    right = [i for i, _ in found] == truth
    return right, sum(i == t for (i, _), t in zip(found, truth)), sweeps, converged, mirrored == found


def run_point(study, f_count, m, z, n, problems, pool, max_iter=50):
    start = time.perf_counter()
    args = [(f_count, m, z, n, p, max_iter) for p in range(problems)]
    if pool is None:
        rows = [run_problem(*a) for a in args]
    else:
        rows = list(pool.map(run_problem, *zip(*args), chunksize=max(1, problems // 16)))
    sweeps = sorted(r[2] for r in rows)
    return {
        "study": study, "F": f_count, "M": m, "Z": z, "n": n, "max_iter": max_iter, "problems": problems,
        "accuracy": sum(r[0] for r in rows) / problems,
        "factor_accuracy": sum(r[1] for r in rows) / (problems * f_count),
        "sweeps_mean": round(sum(sweeps) / problems, 2),
        "sweeps_median": sweeps[problems // 2],
        "sweeps_max": sweeps[-1],
        "unconverged": sum(not r[3] for r in rows),
        "mirror_mismatch": sum(not r[4] for r in rows),
        "seconds": round(time.perf_counter() - start, 1),
    }


def m_ladder(start, stop):
    m, out = start, []
    while m <= stop:
        out.append(m)
        m = int(round(m * math.sqrt(2)))
    return out


# ---------------------------------------------------------------------------
# the published bipolar protocol: reference, velmora, ablation, shifts, advice
# ---------------------------------------------------------------------------

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
ADVICE_ATTEMPTS = (1, 2, 4, 8)
SOLVED_SIMILARITY = 0.5  # a clean composite that is solved reports 1.0 per factor; failures report about 0


def decoy_seed(attempt, factor):
    """A fixed seed per attempt and codebook, far from every entry seed of the study."""
    return (0xDEC0 << 48) | (attempt << 8) | factor


def _module_attempts(composite, vbooks, truth, strategy, z):
    """velmora re-run until every reported similarity is high: the attempt that passes, or 0."""
    for k in range(max(ADVICE_ATTEMPTS)):
        if strategy == "decoy" and k:
            books = [b + [PhaseHVec.random(z, 2, decoy_seed(k, f))] for f, b in enumerate(vbooks)]
            unmap = [list(range(len(b))) + [-1] for b in vbooks]
        else:
            shift = k if strategy == "reorder" else 0
            books = [b[shift:] + b[:shift] for b in vbooks]
            unmap = [[(i + shift) % len(b) for i in range(len(b))] for b in vbooks]
        found = resonator_factorize(composite, books)
        if all(sim >= SOLVED_SIMILARITY for _, sim in found):
            return k + 1, [u[i] for u, (i, _) in zip(unmap, found)] == list(truth)
    return 0, False


def _pair_completion(composite, vbooks, truth):
    """One run; when one factor of three reports a high similarity, every pair for the other two.

    At n = 2 a run that ends on two negated factors still reports the third one
    right, with similarity 1; unbinding it leaves a two-factor problem that D*D
    similarities settle.  Returns (answered, right).
    """
    found = resonator_factorize(composite, vbooks)
    good = [f for f, (_, sim) in enumerate(found) if sim >= SOLVED_SIMILARITY]
    answer = [i for i, _ in found]
    if len(good) == len(vbooks):
        return True, answer == list(truth)
    if len(good) != 1 or len(vbooks) != 3:
        return False, False
    k = good[0]
    f, g = [x for x in range(3) if x != k]
    rest = composite.unbind(vbooks[k][answer[k]])
    sim, answer[f], answer[g] = max((q.similarity(b), i, j) for i, q in enumerate(rest.unbind(a) for a in vbooks[f])
                                    for j, b in enumerate(vbooks[g]))
    return sim >= SOLVED_SIMILARITY, sim >= SOLVED_SIMILARITY and answer == list(truth)


def kent_problem(problem, d, advice=False):
    """Every column of the bipolar study for one seeded problem (F = 3, Z = 1500, n = 2)."""
    z, f_count, cap = 1500, 3, published_cap(d)
    books01, truth = bipolar_books(problem, d, z, f_count)
    comp01 = sum(books01[f][truth[f]] for f in range(f_count)) % 2
    out = {"reference": textbook_bipolar(books01, truth)[0],
           "reference_independent": textbook_bipolar(*bipolar_books(problem, d, z, f_count, "independent"))[0]}
    vbooks = [[PhaseHVec.random(z, 2, entry_seed(problem, f, i)) for i in range(d)] for f in range(f_count)]
    composite = vbooks[0][truth[0]]
    for f in range(1, f_count):
        composite = composite.bind(vbooks[f][truth[f]])
    for name, budget in (("velmora_50", 50), ("velmora_cap", cap)):
        found = resonator_factorize(composite, vbooks, budget)
        mirrored, sweeps, converged, est = bipolar_velmora(comp01, books01, budget)
        out[name] = [i for i, _ in found] == truth
        out[name + "_mismatch"] = mirrored != found
        out[name + "_sweeps"], out[name + "_unconverged"] = sweeps, not converged
        if name == "velmora_50":
            # a wrong factor whose estimate is the true entry negated: the run found a
            # factorisation of the composite that the signed read-out does not report
            wrong = [f for f in range(f_count) if found[f][0] != truth[f]]
            negated = [f for f in wrong if np.array_equal(est[f], -(1.0 - 2.0 * books01[f][truth[f]]))]
            out["wrong_factors"], out["negated_factors"] = len(wrong), len(negated)
            out["negated_similarity"] = sum(found[f][1] for f in negated)
            out["binds_to_composite"] = bool(np.array_equal(np.prod(est, axis=0), 1.0 - 2.0 * comp01))
    for name, switches, budget in ABLATION:
        if name == "cap":
            out[name] = out["velmora_cap"]
            continue
        res, sweeps, converged, _ = bipolar_velmora(comp01, books01, cap if budget == "cap" else 50, **switches)
        out[name] = [i for i, _ in res] == truth
    out["published_equals_reference"] = out["published"] == out["reference"]
    if advice:
        for strategy in ("decoy", "reorder"):
            out[strategy] = _module_attempts(composite, vbooks, truth, strategy, z)
        out["completion"] = _pair_completion(composite, vbooks, truth)
    return out


def kent_study(sizes, trials, pool, advice_sizes=()):
    rows = []
    for d in sizes:
        start = time.perf_counter()
        args = [(p, d, d in advice_sizes) for p in range(trials)]
        res = list(pool.map(kent_problem, *zip(*args), chunksize=8)) if pool else [kent_problem(*x) for x in args]

        def frac(key):
            return sum(bool(r[key]) for r in res) / trials

        wrong = sum(r["wrong_factors"] for r in res)
        negated = sum(r["negated_factors"] for r in res)
        row = {"D": d, "F": 3, "N": 1500, "trials": trials, "cap": published_cap(d), "published": 0.99 if d == 79 else "",
               "reference": frac("reference"), "reference_independent": frac("reference_independent"),
               "velmora_50": frac("velmora_50"), "velmora_cap": frac("velmora_cap"),
               "sweeps_50_mean": round(sum(r["velmora_50_sweeps"] for r in res) / trials, 1),
               "unconverged_50": sum(r["velmora_50_unconverged"] for r in res),
               "sweeps_cap_mean": round(sum(r["velmora_cap_sweeps"] for r in res) / trials, 1),
               "unconverged_cap": sum(r["velmora_cap_unconverged"] for r in res),
               "mirror_mismatch": sum(r["velmora_50_mismatch"] + r["velmora_cap_mismatch"] for r in res)}
        row.update({"ablation_" + name: frac(name) for name, _, _ in ABLATION})
        row["published_equals_reference"] = sum(r["published_equals_reference"] for r in res)
        row.update({"wrong_factors_50": wrong, "negated_of_wrong": negated,
                    "negated_similarity_mean": round(sum(r["negated_similarity"] for r in res) / max(negated, 1), 4),
                    "failed_but_binds": sum(r["binds_to_composite"] and not r["velmora_50"] for r in res),
                    "failed_50": sum(not r["velmora_50"] for r in res)})
        for strategy in ("decoy", "reorder"):
            for k in ADVICE_ATTEMPTS:
                row[f"{strategy}_{k}"] = (sum(0 < r[strategy][0] <= k and r[strategy][1] for r in res) / trials
                                          if d in advice_sizes else "")
            row[f"{strategy}_accepted_wrong"] = (sum(r[strategy][0] > 0 and not r[strategy][1] for r in res)
                                                 if d in advice_sizes else "")
        row["completion"] = sum(r["completion"][1] for r in res) / trials if d in advice_sizes else ""
        row["completion_accepted_wrong"] = (sum(r["completion"][0] and not r["completion"][1] for r in res)
                                            if d in advice_sizes else "")
        row["seconds"] = round(time.perf_counter() - start, 1)
        rows.append(row)
        print(row, flush=True)
    return rows


def shift_study(n, d, trials, z=1500, f_count=3, max_iter=50):
    """How often velmora's wrong factors are the true entry at a constant phase offset (general n).

    At n = 2 negating two factors leaves the composite unchanged; for larger n,
    shifting one factor by k levels and another by -k does.  Uses the bit-exact mirror
    for the final estimates, and checks it against the module on every problem.
    """
    start = time.perf_counter()
    wrong = shifted = mostly = binds = mismatch = failed = 0
    sims, mostly_sims, offsets, mostly_offsets = [], [], {}, {}
    for p in range(trials):
        truth = [truth_index(p, f, d) for f in range(f_count)]
        arrays = [np.stack([generate(z, n, entry_seed(p, f, i)) for i in range(d)]) for f in range(f_count)]
        comp = sum(arrays[f][truth[f]] for f in range(f_count)) % n
        vbooks = [[PhaseHVec.random(z, n, entry_seed(p, f, i)) for i in range(d)] for f in range(f_count)]
        composite = vbooks[0][truth[0]]
        for f in range(1, f_count):
            composite = composite.bind(vbooks[f][truth[f]])
        found = resonator_factorize(composite, vbooks, max_iter)
        est = []
        mirrored = mirror_resonator(comp, arrays, n, max_iter, est)[0]
        mismatch += mirrored != found
        failed += [i for i, _ in found] != truth
        binds += [i for i, _ in found] != truth and np.array_equal(sum(est) % n, comp)
        for f in range(f_count):
            if found[f][0] == truth[f]:
                continue
            wrong += 1
            off = np.bincount((est[f] - arrays[f][truth[f]]) % n, minlength=n)
            k = int(off.argmax())
            if k and off[k] == z:
                shifted += 1
                sims.append(found[f][1])
                offsets[min(k, n - k)] = offsets.get(min(k, n - k), 0) + 1
            elif k and off[k] >= 0.9 * z:
                mostly += 1
                mostly_sims.append(found[f][1])
                mostly_offsets[min(k, n - k)] = mostly_offsets.get(min(k, n - k), 0) + 1
    row = {"n": n, "D": d, "F": f_count, "N": z, "max_iter": max_iter, "trials": trials, "failed": failed,
           "wrong_factors": wrong, "exactly_shifted": shifted, "mostly_shifted": mostly,
           "failed_but_binds": int(binds), "shifted_similarity_mean": round(sum(sims) / max(len(sims), 1), 4),
           "shifted_similarity_max": round(max(sims), 4) if sims else "",
           "mostly_similarity_mean": round(sum(mostly_sims) / max(len(mostly_sims), 1), 4),
           "offsets": " ".join(f"{k}:{v}" for k, v in sorted(offsets.items())),
           "mostly_offsets": " ".join(f"{k}:{v}" for k, v in sorted(mostly_offsets.items())),
           "mirror_mismatch": int(mismatch), "seconds": round(time.perf_counter() - start, 1)}
    print(row, flush=True)
    return row


# ---------------------------------------------------------------------------
# quality of the seeded generator
# ---------------------------------------------------------------------------

def pair_similarities(phases, n):
    """All pairwise similarities (upper triangle) of the rows of a (count, dim) phase array."""
    angles = phases * (TAU / n)
    c, s = np.cos(angles), np.sin(angles)
    sims = (c @ c.T + s @ s.T) / phases.shape[1]
    return sims[np.triu_indices(len(phases), 1)]


def ideal_tail(n, dim, threshold):
    """P(|similarity| > threshold) for independent uniform phases (exact binomial at n = 2, normal beyond)."""
    if n == 2:
        # similarity = (2k - dim) / dim with k ~ Binomial(dim, 1/2)
        logp = [math.lgamma(dim + 1) - math.lgamma(k + 1) - math.lgamma(dim - k + 1) - dim * math.log(2)
                for k in range(dim + 1)]
        return sum(math.exp(lp) for k, lp in enumerate(logp) if abs(2 * k - dim) > threshold * dim)
    return math.erfc(threshold * math.sqrt(2 * dim) / math.sqrt(2))  # variance 1 / (2 dim)


def generator_study(dims=(1500, 6000), count=1000, levels=(2, 3, 16, 17, 256, 257), thresholds=(0.1, 0.15, 0.2)):
    rows = []
    rng = np.random.default_rng(20201201)
    random_seeds = [int(x) for x in rng.integers(0, 2**63, size=count, dtype=np.uint64) * 2 + rng.integers(0, 2, count)]
    for dim, n in ((dim, n) for dim in dims for n in levels):
        for kind, seeds in (("consecutive", range(count)), ("random64", random_seeds), ("independent", None)):
            start = time.perf_counter()
            if seeds is None:
                phases = rng.integers(0, n, size=(count, dim))
            else:
                phases = np.stack([generate(dim, n, s) for s in seeds])
            sims = np.abs(pair_similarities(phases, n))
            row = {"n": n, "seeds": kind, "dim": dim, "vectors": count, "pairs": len(sims),
                   "std": round(float(np.sqrt(np.mean(sims ** 2))), 5),
                   "ideal_std": round(1 / math.sqrt(dim * (1 if n == 2 else 2)), 5),
                   "max": round(float(sims.max()), 4)}
            for t in thresholds:
                row[f"above_{t}"] = float(np.mean(sims > t + 1e-12))
                row[f"ideal_above_{t}"] = float(f"{ideal_tail(n, dim, t):.3g}")
            # five standard deviations compares resolutions on one scale
            five = 5.0 * row["ideal_std"]
            row["above_5sd"] = float(np.mean(sims > five))
            row["ideal_above_5sd"] = float(f"{ideal_tail(n, dim, five):.3g}")
            row["seconds"] = round(time.perf_counter() - start, 1)
            rows.append(row)
            print(row, flush=True)
    return rows


# ---------------------------------------------------------------------------
# output
# ---------------------------------------------------------------------------

def write_csv(path, rows, fields=FIELDS):
    with open(path, "w", newline="") as fh:
        w = csv.DictWriter(fh, fieldnames=fields)
        w.writeheader()
        w.writerows(rows)


def read_csv(path):
    def number(v):
        try:
            return int(v)
        except ValueError:
            try:
                return float(v)
            except ValueError:
                return v

    with open(path, newline="") as fh:
        return [{k: number(v) for k, v in row.items()} for row in csv.DictReader(fh)]


def plot(path, rows, reference=()):
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib not installed: no plot", file=sys.stderr)
        return False
    grid = [r for r in rows if r["study"] == "grid"]
    fs = sorted({r["F"] for r in grid})
    ns = sorted({r["n"] for r in grid})
    kent = [r for r in rows if r["study"] == "kent"]
    cols = len(fs) + (1 if kent else 0)
    fig, axes = plt.subplots(1, max(cols, 1), figsize=(4.2 * max(cols, 1), 3.8), squeeze=False)
    styles = {4: ":", 16: "--", 256: "-"}
    colours = {256: "tab:blue", 1024: "tab:orange", 4096: "tab:green"}
    for ax, f in zip(axes[0], fs):
        for z in sorted({r["Z"] for r in grid if r["F"] == f}):
            for n in ns:
                pts = sorted((r["M"], r["accuracy"]) for r in grid if r["F"] == f and r["Z"] == z and r["n"] == n)
                if pts:
                    ax.plot(*zip(*pts), styles.get(n, "-"), marker="o", ms=3, color=colours.get(z),
                            label=f"Z={z}, n={n}")
        ax.set_xscale("log", base=2)
        ax.set_title(f"F = {f}")
        ax.set_xlabel("codebook size M")
        ax.set_ylim(-0.02, 1.02)
        ax.grid(alpha=0.3)
        ax.legend(fontsize=6)
    axes[0][0].set_ylabel("fraction of problems fully solved")
    if kent:
        ax = axes[0][-1]
        pts = sorted((r["M"], r["accuracy"]) for r in kent)
        ax.plot(*zip(*pts), marker="o", ms=3, color="black", label="velmora, n=2, Z=1500, 100 problems")
        for key, style, label in (("reference", "--", "published network, same problems"),
                                  ("velmora_cap", ":", "velmora, max_iter = 0.001 D^3")):
            ref = sorted((r["D"], r[key]) for r in reference)
            if ref:
                ax.plot(*zip(*ref), style, marker=".", color="grey", label=label)
        ax.axvline(79, color="tab:red", ls="--", label="published D=79 at 99 %")
        ax.axhline(0.99, color="grey", lw=0.8)
        ax.set_title("F = 3, bipolar, N = 1500")
        ax.set_xlabel("codebook size D")
        ax.set_ylim(-0.02, 1.02)
        ax.grid(alpha=0.3)
        ax.legend(fontsize=7)
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    return True


KENT_COLUMNS = [("reference", "published network"), ("reference_independent", "same, NumPy vectors"),
                ("velmora_50", "velmora, max_iter=50"), ("velmora_cap", "velmora, max_iter=cap")]


def print_kent(rows):
    cols = KENT_COLUMNS + [("ablation_" + name, name) for name, _, _ in ABLATION]
    print("D    " + "".join(f"{label[:14]:>15}" for _, label in cols))
    for r in rows:
        print(f"{r['D']:<5}" + "".join(f"{100 * r[key]:>14.1f}%" for key, _ in cols))


def plot_kent(path, rows):
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib not installed: no plot", file=sys.stderr)
        return False
    fig, (left, right) = plt.subplots(1, 2, figsize=(11, 4))
    ds = [r["D"] for r in rows]
    for (key, label), style in zip(KENT_COLUMNS, ("-", ":", "-", "--")):
        left.plot(ds, [r[key] for r in rows], style, marker="o", ms=4,
                  color="grey" if key.startswith("reference") else "black", label=label)
    left.plot([79], [0.99], "*", color="tab:red", ms=12, label="published: D = 79 at 99 %")
    left.set_xlabel("codebook size D")
    left.set_ylabel(f"fraction of {rows[0]['trials']} problems solved")
    left.set_title("F = 3, N = 1500, bipolar")
    left.set_ylim(-0.02, 1.02)
    left.grid(alpha=0.3)
    left.legend(fontsize=7)
    names = ["velmora_50"] + ["ablation_" + name for name, _, _ in ABLATION] + ["reference"]
    width = 0.8 / len(rows)
    for k, r in enumerate(rows):
        right.bar([x + k * width for x in range(len(names))], [r[name] for name in names], width, label=f"D = {r['D']}")
    right.set_xticks([x + 0.4 - width / 2 for x in range(len(names))])
    right.set_xticklabels([name.replace("ablation_", "").replace("_", " ") for name in names], rotation=35,
                          ha="right", fontsize=8)
    right.set_title("velmora with one change at a time")
    right.set_ylim(0, 1.18)
    right.set_yticks([0, 0.2, 0.4, 0.6, 0.8, 1.0])
    right.grid(alpha=0.3, axis="y")
    right.legend(fontsize=7, ncol=len(rows), loc="upper center")
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    return True


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--quick", action="store_true", help="tiny grid (F=2,3; Z=256; n=16; 20 problems): a smoke test")
    p.add_argument("--kent", action="store_true", help="also run the published bipolar protocol (F=3, N=1500, n=2)")
    p.add_argument("--kent-only", action="store_true", help="run only the published protocol")
    p.add_argument("--problems", type=int, default=100, help="seeded problems per point (default 100)")
    p.add_argument("--factors", type=int, nargs="+", default=[2, 3, 4])
    p.add_argument("--dims", type=int, nargs="+", default=[256, 1024, 4096])
    p.add_argument("--levels", type=int, nargs="+", default=[4, 16, 256])
    p.add_argument("--max-m", type=int, default=1024, help="largest codebook size tried")
    p.add_argument("--collapse", type=float, default=0.05, help="stop growing M below this accuracy")
    p.add_argument("--budget", type=float, default=float("inf"), help="seconds; no new point starts after it")
    p.add_argument("--max-iter", type=int, default=50, help="sweep budget passed to resonator_factorize")
    p.add_argument("--kent-sizes", type=int, nargs="+", default=[8, 12, 16, 24, 32, 48, 64, 79, 100])
    p.add_argument("--reference", action="store_true",
                   help="the published bipolar protocol side by side: the published network, velmora at "
                        "max_iter 50 and at the published cap, the ablation, shifted solutions and re-run advice; "
                        "writes PREFIX_kent.csv, PREFIX_shift.csv and PREFIX_kent.png")
    p.add_argument("--reference-sizes", type=int, nargs="+", default=[32, 48, 64, 79, 100])
    p.add_argument("--trials", type=int, default=500, help="problems per size in --reference (default 500)")
    p.add_argument("--advice-sizes", type=int, nargs="*", default=[64, 79],
                   help="sizes at which --reference measures re-runs with a decoy entry or a reordered codebook")
    p.add_argument("--shift-sizes", type=int, nargs="*", default=[48, 79])
    p.add_argument("--shift-trials", type=int, default=200, help="problems per size and n for the shift count")
    p.add_argument("--shift-only", action="store_true", help="only the shifted-solution count: PREFIX_shift.csv")
    p.add_argument("--generator", action="store_true",
                   help="pairwise similarities of seeded vectors against independent phases: PREFIX_generator.csv")
    p.add_argument("--plot-only", action="store_true", help="redraw the plots from the CSVs")
    p.add_argument("--jobs", type=int, default=1, help="worker processes")
    p.add_argument("--append", action="store_true",
                   help="keep the points already in PREFIX.csv (a later run extends an earlier one)")
    p.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "capacity"),
                   help="output prefix: PREFIX.csv and PREFIX.png")
    a = p.parse_args(argv)
    if a.quick:
        a.problems, a.factors, a.dims, a.levels, a.max_m = min(a.problems, 20), [2, 3], [256], [16], 64

    pool = ProcessPoolExecutor(a.jobs) if a.jobs > 1 else None
    if a.shift_only:
        shifts = [shift_study(n, d, a.shift_trials) for n in (2, 16) for d in a.shift_sizes]
        write_csv(a.out + "_shift.csv", shifts, list(shifts[0]))
        return shifts
    if a.reference or a.generator:
        start = time.perf_counter()
        try:
            if a.reference:
                kent = kent_study(a.reference_sizes, a.trials, pool, set(a.advice_sizes))
                write_csv(a.out + "_kent.csv", kent, list(kent[0]))
                shifts = [shift_study(n, d, a.shift_trials) for n in (2, 16) for d in a.shift_sizes]
                write_csv(a.out + "_shift.csv", shifts, list(shifts[0]))
                print_kent(kent)
            if a.generator:
                gen = generator_study()
                write_csv(a.out + "_generator.csv", gen, list(gen[0]))
        finally:
            if pool is not None:
                pool.shutdown()
        if a.reference:
            plot_kent(a.out + "_kent.png", read_csv(a.out + "_kent.csv"))
        print(f"done in {time.perf_counter() - start:.0f} s")
        return None
    if a.plot_only:
        ref = a.out + "_kent.csv"
        plot(a.out + ".png", read_csv(a.out + ".csv"), read_csv(ref) if os.path.exists(ref) else ())
        if os.path.exists(ref):
            plot_kent(a.out + "_kent.png", read_csv(ref))
        return None

    configs = []
    if not a.kent_only:
        # cheapest first: one sweep costs about F * M * Z, and M grows until collapse
        configs += sorted(((f, z, n) for f in a.factors for z in a.dims for n in a.levels),
                          key=lambda c: (c[1], c[0], c[2]))
    rows, start = (read_csv(a.out + ".csv") if a.append and os.path.exists(a.out + ".csv") else []), time.perf_counter()
    stopped = False

    def over_budget(last):
        # no new point when it would likely end past the budget (a point costs
        # about 1.4 to 2.5 times the previous one of its ladder)
        return time.perf_counter() - start + 2.0 * last > a.budget

    def ladder(study, f, z, n, sizes):
        last = 0.0
        for m in sizes:
            if over_budget(last):
                return False
            rows.append(run_point(study, f, m, z, n, a.problems, pool, a.max_iter))
            last = rows[-1]["seconds"]
            print(rows[-1], flush=True)
            write_csv(a.out + ".csv", rows)
            if rows[-1]["accuracy"] < a.collapse:
                break
        return True

    try:
        if a.kent or a.kent_only:
            stopped = not ladder("kent", 3, 1500, 2, a.kent_sizes)
        for f, z, n in configs:
            if stopped:
                break
            stopped = not ladder("grid", f, z, n, m_ladder(8, a.max_m))
    finally:
        if pool is not None:
            pool.shutdown()
    write_csv(a.out + ".csv", rows)
    ref_path = a.out + "_kent.csv"
    plotted = plot(a.out + ".png", rows, read_csv(ref_path) if os.path.exists(ref_path) else ())
    print(f"{len(rows)} points in {time.perf_counter() - start:.0f} s{' (budget reached)' if stopped else ''}; "
          f"wrote {a.out}.csv{' and .png' if plotted else ''}")
    return rows


if __name__ == "__main__":
    main()
