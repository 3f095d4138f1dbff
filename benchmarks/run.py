"""velmora against the numpy code its users would otherwise write.

    python benchmarks/run.py            # every listed size, ~10 minutes
    python benchmarks/run.py --quick    # fewer repeats and sizes, ~1 minute

The timings run in one worker subprocess that holds both libraries and the
same inputs, so both sides see the same machine state; each case reports the
best and the median of its repeats, and checks that both sides agree (phases
equal; floats within a tolerance, since numpy's cos and its pairwise sums move
the last bits). Peak extra memory is measured per case and side in a fresh
subprocess (ru_maxrss after the operation minus ru_maxrss once the inputs
exist), because tracemalloc cannot see allocations made in C++.

Results go to benchmarks/results/<stamp>.json, a Markdown table into
docs/performance.md and, where matplotlib imports, docs/performance.png.
"""

import argparse
import datetime
import json
import os
import platform
import resource
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
RESULTS = os.path.join(HERE, "results")
DOC = os.path.join(ROOT, "docs", "performance.md")
PLOT = os.path.join(ROOT, "docs", "performance.png")

TWO_PI = 6.283185307179586
MASK64 = (1 << 64) - 1
SEED_MUL, STEP, MIX_MUL = 0xC2B2AE3D27D4EB4F, 0x9E3779B97F4A7C15, 0xBF58476D1CE4E5B9

DIMS = [64, 1024, 16384, 262144, 1048576]
RESOLUTIONS = [16, 65536]
BUNDLE_COUNTS = [3, 16, 100]
BUNDLE_DIMS = [1024, 16384]
RESONATOR = [(f, m, z) for f in (2, 3) for m in (16, 64, 256) for z in (256, 1024, 4096)]
RESONATOR_N = 16
SWEEPS = 3  # at most 3 sweeps never stop early, so every call runs exactly this many


# -- the numpy side: what a user would write ---------------------------------
# These are the peer under comparison, not a reference: they stay written the
# way a numpy user would write them, independent of the tests' scalar
# reference, and agree with velmora only to the tolerance agreement() allows.

def np_random(np, dim, n, seed):
    with np.errstate(over="ignore"):
        x = np.uint64((seed * SEED_MUL) & MASK64) ^ (np.arange(dim, dtype=np.uint64) * np.uint64(STEP))
        x ^= x >> np.uint64(29)
        x *= np.uint64(MIX_MUL)
        x ^= x >> np.uint64(32)
    return (x % np.uint64(n)).astype(np.uint16)


def np_bind(np, a, b, n):  # a, b: uint32 phases
    return (a + b) % n


def np_unbind(np, a, b, n):
    return (a + n - b) % n


def np_bind_u16(np, a, b, n):  # uint16 phases, n a power of two
    r = np.add(a, b)
    return np.bitwise_and(r, n - 1, out=r)


def np_unbind_u16(np, a, b, n):
    r = np.subtract(a, b)
    return np.bitwise_and(r, n - 1, out=r)


def np_similarity(np, a, b, n):
    return float(np.cos((a.astype(np.float64) - b) * TWO_PI / n).mean())


def np_round_half_away(np, x):
    return np.where(x >= 0, np.floor(x + 0.5), np.ceil(x - 0.5))


def np_lattice(np, y, x, n):
    k = np_round_half_away(np, np.arctan2(y, x) / TWO_PI * n).astype(np.int64)
    return k % n


def np_bundle(np, stacked, n):  # stacked: (items, dim) uint16
    angles = np.arange(n) * TWO_PI / n
    ct = np_round_half_away(np, np.cos(angles) * 16384.0).astype(np.int64)
    st = np_round_half_away(np, np.sin(angles) * 16384.0).astype(np.int64)
    cs = ct[stacked].sum(axis=0)
    ss = st[stacked].sum(axis=0)
    return np_lattice(np, ss.astype(np.float64), cs.astype(np.float64), n).astype(np.uint16)


def np_sweep(tables, est, c_re, c_im, snap):
    """One resonator sweep, as a numpy user writes it: each factor's estimate
    from the composite unbound by the others' (est is updated in place)."""
    for f, (re, im) in enumerate(tables):
        u_re, u_im = c_re, c_im
        for g, (e_re, e_im) in enumerate(est):
            if g != f:
                u_re, u_im = e_re * u_re + e_im * u_im, u_im * e_re - u_re * e_im
        w = re @ u_re + im @ u_im
        est[f] = snap(w @ re, w @ im)


def np_resonator(np, composite, n, books, max_iter):
    """composite: (Z,) phases at n; books: list of (M, Z) phase arrays at n."""
    z = composite.shape[0]
    theta = composite * TWO_PI / n
    c_re, c_im = np.cos(theta), np.sin(theta)
    tables = []
    for p in books:
        t = p * TWO_PI / n
        tables.append((np.cos(t), np.sin(t)))

    def snap(x, y):
        q = np_lattice(np, y, x, n) * TWO_PI / n
        return np.cos(q), np.sin(q)

    est = [snap(re.sum(axis=0), im.sum(axis=0)) for re, im in tables]

    def best(f):
        re, im = tables[f]
        if re.shape[0] == 0:
            return 0, 0.0
        sims = (re @ est[f][0] + im @ est[f][1]) / max(z, 1)
        i = len(sims) - 1 - int(np.argmax(sims[::-1]))  # ties go to the later entry
        return i, float(sims[i])

    previous, stable = None, 0
    for _ in range(max_iter):
        np_sweep(tables, est, c_re, c_im, snap)
        current = [best(f)[0] for f in range(len(tables))]
        if current == previous:
            if stable > 1:
                break
            stable += 1
        else:
            stable = 0
        previous = current
    return [best(f) for f in range(len(tables))]


# -- cases -------------------------------------------------------------------

def case_list(quick):
    dims = [64, 16384, 1048576] if quick else DIMS
    cases = []
    for op in ("random", "bind", "unbind", "similarity"):
        for n in RESOLUTIONS:
            for dim in dims:
                cases.append({"op": op, "dim": dim, "n": n})
    for n in RESOLUTIONS:
        for k in BUNDLE_COUNTS:
            for dim in BUNDLE_DIMS:
                if quick and (k, dim) not in ((3, 1024), (100, 16384)):
                    continue
                cases.append({"op": "bundle", "items": k, "dim": dim, "n": n})
    for f, m, z in RESONATOR:
        if quick and (m, z) not in ((16, 256), (256, 4096)):
            continue
        cases.append({"op": "resonator", "F": f, "M": m, "Z": z, "n": RESONATOR_N})
    return cases


def label(case):
    if case["op"] == "bundle":
        return "bundle k=%d dim=%d n=%d" % (case["items"], case["dim"], case["n"])
    if case["op"] == "resonator":
        return "resonator F=%d M=%d Z=%d n=%d" % (case["F"], case["M"], case["Z"], case["n"])
    return "%s dim=%d n=%d" % (case["op"], case["dim"], case["n"])


def target(case, part):
    """(ratio at most, reference) for a row, or None when no target applies."""
    op = case["op"]
    if op == "resonator":
        return (0.10, "numpy") if part == "setup" else (0.50, "numpy")
    if op == "bundle":
        return (0.35 if case["n"] == 16 else 0.10, "numpy")
    dim = case["dim"]
    if dim == 64:
        return None if part == "u16" else (0.12, "numpy")
    if op in ("bind", "unbind") and part == "u16" and dim >= 262144:
        return (1.0, "numpy-u16")
    return None


# -- inputs ------------------------------------------------------------------

def make_inputs(case, want_velmora, want_numpy):
    """The same phases for both sides; numpy's are made by np_random, which
    the check in the timing worker shows is the same generator."""
    vm = npmod = None
    if want_velmora:
        import velmora as vm
    if want_numpy:
        import numpy as npmod
    op = case["op"]
    inp = {}
    if op in ("random", "bind", "unbind", "similarity"):
        dim, n = case["dim"], case["n"]
        if vm:
            inp["va"], inp["vb"] = vm.PhaseHVec.random(dim, n, 1), vm.PhaseHVec.random(dim, n, 2)
        if npmod:
            a16, b16 = np_random(npmod, dim, n, 1), np_random(npmod, dim, n, 2)
            inp["a32"], inp["b32"] = a16.astype(npmod.uint32), b16.astype(npmod.uint32)
            inp["a16"], inp["b16"] = a16, b16
    elif op == "bundle":
        k, dim, n = case["items"], case["dim"], case["n"]
        if vm:
            inp["items"] = [vm.PhaseHVec.random(dim, n, 100 + s) for s in range(k)]
        if npmod:
            inp["stacked"] = npmod.stack([np_random(npmod, dim, n, 100 + s) for s in range(k)])
    else:
        f, m, z, n = case["F"], case["M"], case["Z"], case["n"]
        seeds = [[1000 * b + e for e in range(m)] for b in range(f)]
        picks = [(7 * b + 3) % m for b in range(f)]
        if vm:
            books = [[vm.PhaseHVec.random(z, n, s) for s in row] for row in seeds]
            comp = books[0][picks[0]]
            for b in range(1, f):
                comp = comp.bind(books[b][picks[b]])
            inp["composite"], inp["books"] = comp, books
        if npmod:
            books = [npmod.stack([np_random(npmod, z, n, s) for s in row]) for row in seeds]
            comp = books[0][picks[0]].astype(npmod.int64)
            for b in range(1, f):
                comp = (comp + books[b][picks[b]]) % n
            inp["np_composite"], inp["np_books"] = comp, books
    return inp


def operations(case, inp):
    """{name: zero-argument callable} for each side of the case."""
    import velmora as vm
    import numpy as np

    op = case["op"]
    if op == "random":
        dim, n = case["dim"], case["n"]
        return {"velmora": lambda: vm.PhaseHVec.random(dim, n, 1), "numpy": lambda: np_random(np, dim, n, 1)}
    if op in ("bind", "unbind"):
        n = case["n"]
        va, vb = inp["va"], inp["vb"]
        ops = {
            "velmora": (lambda: va.bind(vb)) if op == "bind" else (lambda: va.unbind(vb)),
            "numpy": (lambda: np_bind(np, inp["a32"], inp["b32"], n)) if op == "bind"
            else (lambda: np_unbind(np, inp["a32"], inp["b32"], n)),
        }
        if n & (n - 1) == 0 and n <= 32768:
            fn = np_bind_u16 if op == "bind" else np_unbind_u16
            ops["numpy-u16"] = lambda: fn(np, inp["a16"], inp["b16"], n)
        return ops
    if op == "similarity":
        n = case["n"]
        return {"velmora": lambda: inp["va"].similarity(inp["vb"]),
                "numpy": lambda: np_similarity(np, inp["a16"], inp["b16"], n)}
    if op == "bundle":
        n = case["n"]
        return {"velmora": lambda: vm.PhaseHVec.bundle(inp["items"]),
                "numpy": lambda: np_bundle(np, inp["stacked"], n)}
    n = case["n"]

    def run_v(k):
        return lambda: vm.resonator_factorize(inp["composite"], inp["books"], k)

    def run_n(k):
        return lambda: np_resonator(np, inp["np_composite"], n, inp["np_books"], k)

    return {"velmora": run_v(0), "numpy": run_n(0), "velmora-sweeps": run_v(SWEEPS), "numpy-sweeps": run_n(SWEEPS)}


def agreement(case, results):
    """None when both sides agree, else a short description of the difference."""
    import numpy as np

    op = case["op"]
    v = results["velmora"]
    for name, r in results.items():
        if name.startswith("velmora"):
            continue
        if op == "resonator":
            # numpy's matrix products sum in blocks (and may fuse multiply-adds),
            # so an estimate component can snap to the neighbouring lattice
            # point; each such component moves a similarity by at most 2/Z.
            mine = results["velmora" + name[len("numpy"):]]
            tolerance = 8.0 / max(case["Z"], 1)
            if [i for i, _ in mine] != [i for i, _ in r] or any(
                    abs(s - t) > tolerance for (_, s), (_, t) in zip(mine, r)):
                return "%s: %s vs %s" % (name, mine, r)
        elif op == "similarity":
            if abs(v - r) > 1e-9:
                return "similarity %r vs %r" % (v, r)
        else:
            phases = np.array(v.phases(), dtype=np.int64)
            if not np.array_equal(phases, np.asarray(r, dtype=np.int64)):
                return "%s: phases differ" % name
    return None


# -- timing ------------------------------------------------------------------

def calibrate(fn, min_time):
    """Calls per sample so that one sample lasts at least min_time."""
    fn()
    number = 1
    while True:
        t0 = time.perf_counter()
        for _ in range(number):
            fn()
        elapsed = time.perf_counter() - t0
        if elapsed >= min_time or number >= 1 << 20:
            return number
        number *= max(2, min(10, int(min_time / max(elapsed, 1e-9)) + 1))


def sample(fn, number):
    t0 = time.perf_counter()
    for _ in range(number):
        fn()
    return (time.perf_counter() - t0) / number


def timed_side_by_side(ops, repeats, min_time):
    """Samples of every callable of a case taken in turn, repeat by repeat,
    so that a change of load on the machine reaches all sides alike."""
    numbers = {name: calibrate(fn, min_time) for name, fn in ops.items()}
    samples = {name: [] for name in ops}
    for _ in range(repeats):
        for name, fn in ops.items():
            samples[name].append(sample(fn, numbers[name]))
    return {name: {"best": min(s), "median": statistics.median(s), "repeats": repeats, "number": numbers[name]}
            for name, s in samples.items()}


def sweep_timing_side_by_side(ops, repeats, min_time):
    """Set-up (max_iter 0) and time per sweep for both sides. A sweep is the
    difference between a call with SWEEPS sweeps and one with none, measured
    back to back, the sides taking turns within every repeat."""
    numbers = {side: calibrate(ops[side], min_time) for side in ("velmora", "numpy")}
    setup = {side: [] for side in numbers}
    sweep = {side: [] for side in numbers}
    for _ in range(max(repeats, 7)):
        for side, number in numbers.items():
            t0 = sample(ops[side], number)
            t1 = sample(ops[side + "-sweeps"], number)
            setup[side].append(t0)
            sweep[side].append((t1 - t0) / SWEEPS)
    out = {}
    for side in numbers:
        positive = sorted(d for d in sweep[side] if d > 0) or [float("nan")]
        out[side] = {"best": min(setup[side]), "median": statistics.median(setup[side]),
                     "repeats": len(setup[side]), "number": numbers[side]}
        out[side + "-sweep"] = {"best": positive[0], "median": statistics.median(sweep[side]),
                                "repeats": len(sweep[side]), "number": numbers[side]}
    return out


def worker_timings(cases, quick):
    repeats, min_time = (5, 0.002) if quick else (11, 0.01)
    out = []
    for case in cases:
        inp = make_inputs(case, True, True)
        ops = operations(case, inp)
        results = {name: fn() for name, fn in ops.items()}
        problem = agreement(case, results)
        if case["op"] == "resonator":
            times = sweep_timing_side_by_side(ops, repeats, min_time)
        else:
            times = timed_side_by_side(ops, repeats, min_time)
        out.append({"case": case, "times": times, "agree": problem is None, "difference": problem})
        print("  %-40s %s" % (label(case), "ok" if problem is None else "DIFFERS: " + problem),
              file=sys.stderr, flush=True)
        del inp, ops, results
    return out


def worker_memory(case, side):
    inp = make_inputs(case, side == "velmora", side != "velmora")
    if side == "velmora":
        import velmora  # noqa: F401  (loaded before the baseline)
    else:
        import numpy  # noqa: F401
    import gc

    gc.collect()
    ops = operations_for_memory(case, inp, side)
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    result = ops()
    after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    del result
    return max(0, after - before) * 1024


def operations_for_memory(case, inp, side):
    if side == "velmora":
        import velmora as vm
        op = case["op"]
        if op == "random":
            return lambda: vm.PhaseHVec.random(case["dim"], case["n"], 1)
        if op == "bind":
            return lambda: inp["va"].bind(inp["vb"])
        if op == "unbind":
            return lambda: inp["va"].unbind(inp["vb"])
        if op == "similarity":
            return lambda: inp["va"].similarity(inp["vb"])
        if op == "bundle":
            return lambda: vm.PhaseHVec.bundle(inp["items"])
        return lambda: vm.resonator_factorize(inp["composite"], inp["books"], SWEEPS)
    import numpy as np
    op, n = case["op"], case["n"]
    if op == "random":
        return lambda: np_random(np, case["dim"], n, 1)
    if op == "bind":
        return lambda: np_bind(np, inp["a32"], inp["b32"], n)
    if op == "unbind":
        return lambda: np_unbind(np, inp["a32"], inp["b32"], n)
    if op == "similarity":
        return lambda: np_similarity(np, inp["a16"], inp["b16"], n)
    if op == "bundle":
        return lambda: np_bundle(np, inp["stacked"], n)
    return lambda: np_resonator(np, inp["np_composite"], n, inp["np_books"], SWEEPS)


# -- driver ------------------------------------------------------------------

def worker_env(blas_threads):
    """numpy's BLAS picks its kernels itself: drop the machine's overrides,
    for the worker subprocesses only. velmora computes on one thread, so by
    default numpy's BLAS gets one too (and on a busy two-core machine its
    spinning worker threads make it many times slower, not faster)."""
    env = dict(os.environ)
    env.pop("OPENBLAS_CORETYPE", None)
    env.pop("OPENBLAS_L2_SIZE", None)
    if blas_threads > 0:
        env["OPENBLAS_NUM_THREADS"] = str(blas_threads)
    return env


def kernel_variant():
    """The variant velmora picks on this CPU, read from the same CPU flags."""
    try:
        flags = set(open("/proc/cpuinfo").read().split())
    except OSError:
        return "unknown"
    if {"avx512f", "avx512bw", "avx512dq", "avx512vl", "avx2", "bmi2"} <= flags:
        return "avx512"
    return "avx2" if {"avx2", "bmi2"} <= flags else "baseline"
    return "baseline"


def run_worker(args, blas_threads):
    proc = subprocess.run([sys.executable, os.path.abspath(__file__)] + args, env=worker_env(blas_threads),
                          stdout=subprocess.PIPE, check=True, text=True)
    return json.loads(proc.stdout)


def rows_of(entry):
    """Table rows: (label, part, velmora timing, numpy timing, reference name)."""
    case, times = entry["case"], entry["times"]
    if case["op"] == "resonator":
        return [(label(case) + " set-up", "setup", times["velmora"], times["numpy"], "numpy"),
                (label(case) + " per sweep", "sweep", times["velmora-sweep"], times["numpy-sweep"], "numpy")]
    rows = [(label(case), "main", times["velmora"], times["numpy"], "numpy")]
    if "numpy-u16" in times:
        rows.append((label(case) + " vs uint16 trick", "u16", times["velmora"], times["numpy-u16"], "numpy-u16"))
    return rows


def fmt_time(seconds):
    if seconds >= 1e-3:
        return "%.2f ms" % (seconds * 1e3)
    return "%.1f us" % (seconds * 1e6)


def fmt_bytes(b):
    if b is None:
        return "-"
    if b >= 1 << 20:
        return "%.1f MiB" % (b / (1 << 20))
    return "%d KiB" % (b // 1024)


def summarise(entries):
    rows = []
    for entry in entries:
        for name, part, v, npt, ref in rows_of(entry):
            ratio = v["median"] / npt["median"] if npt["median"] > 0 else float("inf")
            goal = target(entry["case"], part)
            rows.append({
                "label": name, "part": part, "reference": ref,
                "velmora_best": v["best"], "velmora_median": v["median"],
                "numpy_best": npt["best"], "numpy_median": npt["median"],
                "ratio": ratio, "target": goal[0] if goal else None,
                "met": (ratio <= goal[0]) if goal else None,
                "agree": entry["agree"],
                "mem_velmora": entry.get("memory", {}).get("velmora") if part in ("main", "setup") else None,
                "mem_numpy": entry.get("memory", {}).get("numpy") if part in ("main", "setup") else None,
            })
    return rows


def markdown(rows, meta):
    lines = [
        "| case | velmora best | velmora median | %s best | %s median | ratio (median) | target | met | agree | peak extra mem velmora | peak extra mem numpy |"
        % ("numpy", "numpy"),
        "|---|---:|---:|---:|---:|---:|---:|:-:|:-:|---:|---:|",
    ]
    for r in rows:
        lines.append("| %s | %s | %s | %s | %s | %.3f | %s | %s | %s | %s | %s |" % (
            r["label"], fmt_time(r["velmora_best"]), fmt_time(r["velmora_median"]),
            fmt_time(r["numpy_best"]), fmt_time(r["numpy_median"]), r["ratio"],
            "-" if r["target"] is None else "%.2f" % r["target"],
            "-" if r["met"] is None else ("yes" if r["met"] else "**no**"),
            "yes" if r["agree"] else "**no**", fmt_bytes(r["mem_velmora"]), fmt_bytes(r["mem_numpy"])))
    head = ("Produced by `%s` on %s (%s, Python %s, numpy %s with %s BLAS thread(s), velmora kernels: %s).\n"
            % (meta["command"], meta["date"], meta["machine"], meta["python"], meta["numpy"], meta["blas_threads"],
               meta["isa"]))
    return head + "\n" + "\n".join(lines) + "\n"


def write_doc(table, variant=None):
    tag = "benchmark table" + (" " + variant if variant else "")
    start, end = "<!-- %s: start -->" % tag, "<!-- %s: end -->" % tag
    text = open(DOC).read() if os.path.exists(DOC) else "# Performance\n\n%s\n%s\n" % (start, end)
    if start not in text:
        text += "\n%s\n%s\n" % (start, end)
    before, rest = text.split(start, 1)
    after = rest.split(end, 1)[1]
    os.makedirs(os.path.dirname(DOC), exist_ok=True)
    with open(DOC, "w") as fh:
        fh.write(before + start + "\n" + table + end + after)


def size_of(case):
    """The x coordinate of a case in the plot, and the line it belongs to."""
    op = case["op"]
    if op == "bundle":
        return case["dim"] * case["items"], "k=%d n=%d" % (case["items"], case["n"])
    if op == "resonator":
        return case["M"] * case["Z"] * case["F"], "F=%d" % case["F"]
    return case["dim"], "n=%d" % case["n"]


def plot(entries, path):
    """Time against size, log-log, one panel per operation, velmora and
    numpy as lines (solid and dashed, one colour per series)."""
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except Exception:
        return False
    panels = [("random", "dim"), ("bind", "dim"), ("unbind", "dim"), ("similarity", "dim"),
              ("bundle", "items x dim"), ("resonator per sweep", "F x M x Z"), ("resonator set-up", "F x M x Z")]
    fig, axes = plt.subplots(2, 4, figsize=(16, 8))
    for ax, (title, xlabel) in zip(axes.flat, panels):
        series = {}
        for entry in entries:
            case, times = entry["case"], entry["times"]
            op = case["op"]
            if op == "resonator":
                part = "sweep" if title.endswith("sweep") else "setup"
                if not title.startswith("resonator"):
                    continue
                v, np_ = ((times["velmora-sweep"], times["numpy-sweep"]) if part == "sweep"
                          else (times["velmora"], times["numpy"]))
            elif op == title:
                v, np_ = times["velmora"], times["numpy"]
            else:
                continue
            x, name = size_of(case)
            series.setdefault(name, []).append((x, v["median"], np_["median"]))
        for i, (name, points) in enumerate(sorted(series.items())):
            points.sort()
            xs = [p[0] for p in points]
            colour = "C%d" % i
            ax.plot(xs, [p[1] for p in points], "-o", color=colour, markersize=3, label="velmora " + name)
            ax.plot(xs, [p[2] for p in points], "--", color=colour, label="numpy " + name)
        ax.set_xscale("log")
        ax.set_yscale("log")
        ax.set_title(title)
        ax.set_xlabel(xlabel)
        ax.set_ylabel("median time (s)")
        ax.grid(True, which="both", linewidth=0.3)
        ax.legend(fontsize=6)
    axes.flat[-1].axis("off")
    fig.tight_layout()
    fig.savefig(path, dpi=100)
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="fewer sizes and repeats (about a minute)")
    parser.add_argument("--no-memory", action="store_true", help="skip the per-case memory subprocesses")
    parser.add_argument("--blas-threads", type=int, default=1,
                        help="OpenBLAS threads for numpy (default 1, like velmora; 0 leaves OpenBLAS's default)")
    parser.add_argument("--variant", help="label of a build whose dispatch is capped (cmake -DVELMORA_MAX_ISA=...): "
                        "its table goes to its own section of docs/performance.md and its own plot")
    parser.add_argument("--worker", choices=["time", "memory"], help=argparse.SUPPRESS)
    parser.add_argument("--case", help=argparse.SUPPRESS)
    parser.add_argument("--side", help=argparse.SUPPRESS)
    args = parser.parse_args()

    if args.worker == "time":
        json.dump(worker_timings(case_list(args.quick), args.quick), sys.stdout)
        return
    if args.worker == "memory":
        json.dump(worker_memory(json.loads(args.case), args.side), sys.stdout)
        return

    command = "python benchmarks/run.py" + (" --quick" if args.quick else "") + (
        " --blas-threads %d" % args.blas_threads if args.blas_threads != 1 else "") + (
        " --variant %s" % args.variant if args.variant else "")
    print("timing %d cases in one worker..." % len(case_list(args.quick)), file=sys.stderr)
    entries = run_worker(["--worker", "time"] + (["--quick"] if args.quick else []), args.blas_threads)
    if not args.no_memory:
        print("measuring peak extra memory, one subprocess per case and side...", file=sys.stderr)
        for entry in entries:
            entry["memory"] = {side: run_worker(["--worker", "memory", "--case", json.dumps(entry["case"]),
                                                 "--side", side], args.blas_threads) for side in ("velmora", "numpy")}
    import numpy
    import velmora
    meta = {
        "command": command,
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
        "machine": "%s, %d cores" % (platform.processor() or platform.machine(), os.cpu_count() or 0),
        "python": platform.python_version(),
        "numpy": numpy.__version__,
        "isa": args.variant or kernel_variant(),
        "blas_threads": args.blas_threads or "OpenBLAS default",
    }
    rows = summarise(entries)
    print("%-58s %11s %11s %8s %7s %5s" % ("case", "velmora", "numpy", "ratio", "target", "met"))
    for r in rows:
        print("%-58s %11s %11s %8.3f %7s %5s%s" % (
            r["label"], fmt_time(r["velmora_median"]), fmt_time(r["numpy_median"]), r["ratio"],
            "-" if r["target"] is None else "%.2f" % r["target"],
            "-" if r["met"] is None else ("yes" if r["met"] else "NO"),
            "" if r["agree"] else "  (results differ)"))
    os.makedirs(RESULTS, exist_ok=True)
    stamp = datetime.datetime.now(datetime.timezone.utc).strftime("%Y%m%dT%H%M%SZ")
    path = os.path.join(RESULTS, "%s%s.json" % (stamp, "-quick" if args.quick else ""))
    with open(path, "w") as fh:
        json.dump({"meta": meta, "entries": entries, "rows": rows}, fh, indent=1)
    write_doc(markdown(rows, meta), args.variant)
    plot_path = PLOT if not args.variant else PLOT.replace(".png", "-%s.png" % args.variant)
    drew = plot(entries, plot_path)
    print("wrote %s, %s%s" % (os.path.relpath(path, ROOT), os.path.relpath(DOC, ROOT),
                              ", " + os.path.relpath(plot_path, ROOT) if drew else ""), file=sys.stderr)


if __name__ == "__main__":
    main()
