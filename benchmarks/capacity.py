"""Capacity of velmora's resonator: how large a factorization problem it solves.

For F factors, codebooks of M entries each, dimension Z and resolution n, every
problem draws F fresh seeded codebooks, binds one entry of each (chosen by a
seeded hash) into a composite, and asks ``resonator_factorize`` for the factors.
A point of the study is (F, M, Z, n) with ``--problems`` problems; it reports
the fraction with every factor right and the sweeps used.

Accuracy comes from ``velmora.resonator_factorize`` itself; sweeps come from the
NumPy mirror in capacity_mirror.py.  Every problem is run through both, and the
CSV column ``mirror_mismatch`` counts the problems whose mirror result (indices
and similarities, compared bit for bit) differs from the module's; a sweep count
is only as trustworthy as that column is zero.  This file runs the studies;
capacity_plots.py writes and draws what they find, into data/.

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
import math
import os
import time
from concurrent.futures import ProcessPoolExecutor

import numpy as np

from capacity_mirror import (ABLATION, TAU, bipolar_books, bipolar_velmora, entry_seed, generate, mirror_resonator,
                             published_cap, textbook_bipolar, truth_index)
from capacity_plots import plot, plot_kent, print_kent, read_csv, write_csv
from velmora import PhaseHVec, resonator_factorize

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
    p.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "data", "capacity"),
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
