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

    python benchmarks/capacity.py --quick                       # smoke test, seconds
    python benchmarks/capacity.py --budget 1800 --jobs 2 --kent # the committed run
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


def mirror_resonator(composite, books, n, max_iter=50):
    """composite: phases (int array); books: list of (M, Z) phase arrays, all at resolution n.

    Returns (results, sweeps, converged) like the scalar reference in tests/.
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
    return [_best_match(tables_t[k], estimates[k], z) for k in range(len(tables))], sweeps, converged


# ---------------------------------------------------------------------------
# a textbook bipolar resonator, for the comparison with the published tables
# ---------------------------------------------------------------------------

def textbook_bipolar(problem, m, z=1500, f_count=3, max_iter=200, weights="outer"):
    """The bipolar resonator as usually written, on the same seeded problem as velmora gets at n = 2.

    x_f <- sign(X_f^T W_f X_f (s * prod_{g != f} x_g)), factors updated in turn,
    started from sign(sum of the codebook), run until no estimate changes (or
    `max_iter` iterations).  W_f is the identity ("outer" product weights) or
    (X_f X_f^T)^-1 ("ols").  Ties of sign go to +1.  Phase 0 is +1, phase 1 is -1.
    Returns (all factors right, iterations, converged).
    """
    truth = [truth_index(problem, f, m) for f in range(f_count)]
    books = [1.0 - 2.0 * np.stack([generate(z, 2, entry_seed(problem, f, i)) for i in range(m)]) for f in range(f_count)]
    s = np.prod([books[f][truth[f]] for f in range(f_count)], axis=0)
    gram_inv = [np.linalg.inv(b @ b.T) if weights == "ols" else None for b in books]

    def sign(v):
        return np.where(v >= 0, 1.0, -1.0)

    est = [sign(b.sum(axis=0)) for b in books]
    converged = False
    for it in range(1, max_iter + 1):
        old = [e.copy() for e in est]
        for f, b in enumerate(books):
            u = s.copy()
            for g in range(f_count):
                if g != f:
                    u = u * est[g]
            a = b @ u
            est[f] = sign(b.T @ (gram_inv[f] @ a if weights == "ols" else a))
        if all(np.array_equal(o, e) for o, e in zip(old, est)):
            converged = True
            break
    found = [int(np.argmax(b @ e)) for b, e in zip(books, est)]
    return found == truth, it, converged


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
# output
# ---------------------------------------------------------------------------

def write_csv(path, rows):
    with open(path, "w", newline="") as fh:
        w = csv.DictWriter(fh, fieldnames=FIELDS)
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
        ax.plot(*zip(*pts), marker="o", ms=3, color="black", label="velmora, n=2, Z=1500")
        for weights, style in (("outer", "--"), ("ols", ":")):
            ref = sorted((r["D"], r["accuracy"]) for r in reference if r["weights"] == weights)
            if ref:
                ax.plot(*zip(*ref), style, marker=".", color="grey", label=f"textbook bipolar, {weights} weights")
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
                   help="run the textbook bipolar resonator (outer-product and OLS weights, up to 200 "
                        "iterations) on the --kent-sizes problems and write PREFIX_reference.csv")
    p.add_argument("--jobs", type=int, default=1, help="worker processes")
    p.add_argument("--append", action="store_true",
                   help="keep the points already in PREFIX.csv (a later run extends an earlier one)")
    p.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "capacity"),
                   help="output prefix: PREFIX.csv and PREFIX.png")
    a = p.parse_args(argv)
    if a.quick:
        a.problems, a.factors, a.dims, a.levels, a.max_m = min(a.problems, 20), [2, 3], [256], [16], 64

    if a.reference:
        ref = []
        for weights in ("outer", "ols"):
            for d in a.kent_sizes:
                t = time.perf_counter()
                res = [textbook_bipolar(p, d, weights=weights) for p in range(a.problems)]
                ref.append({"weights": weights, "F": 3, "D": d, "N": 1500, "problems": a.problems,
                            "accuracy": sum(r[0] for r in res) / a.problems,
                            "iterations_mean": round(sum(r[1] for r in res) / a.problems, 2),
                            "unconverged": sum(not r[2] for r in res),
                            "seconds": round(time.perf_counter() - t, 1)})
                print(ref[-1], flush=True)
        with open(a.out + "_reference.csv", "w", newline="") as fh:
            w = csv.DictWriter(fh, fieldnames=list(ref[0]))
            w.writeheader()
            w.writerows(ref)
        return ref

    configs = []
    if not a.kent_only:
        # cheapest first: one sweep costs about F * M * Z, and M grows until collapse
        configs += sorted(((f, z, n) for f in a.factors for z in a.dims for n in a.levels),
                          key=lambda c: (c[1], c[0], c[2]))
    pool = ProcessPoolExecutor(a.jobs) if a.jobs > 1 else None
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
    ref_path = a.out + "_reference.csv"
    plotted = plot(a.out + ".png", rows, read_csv(ref_path) if os.path.exists(ref_path) else ())
    print(f"{len(rows)} points in {time.perf_counter() - start:.0f} s{' (budget reached)' if stopped else ''}; "
          f"wrote {a.out}.csv{' and .png' if plotted else ''}")
    return rows


if __name__ == "__main__":
    main()
