"""Clean-up at scale: one query against M stored vectors, q.similarities(book),
against what a user would write instead.

    python benchmarks/similarities.py                  # every size
    python benchmarks/similarities.py --quick          # M <= 1000
    python benchmarks/similarities.py --variant avx2   # label of a build capped with VELMORA_MAX_ISA

Peers, each on one thread:
- the Python loop [q.similarity(x) for x in book] (the same bits, by definition);
- numpy: np.cos(2 * np.pi * (P - q) / n).mean(axis=1) over the int64 phase matrix that
  np.array([x.phases() for x in book]) gives;
- torch, where it is installed: complex64 unit phasors, the best of three batched dot
  products (torch.mv, a matrix product with a column, and the row-times-transpose that
  torchhd's dot_similarity forms), torch.set_num_threads(1).
Each case reports the best and the median of its repeats; the peak extra memory of the
velmora call is measured in a fresh subprocess (ru_maxrss after the call minus before it, with
every block of 4 KiB or more mapped afresh).
The table goes to its own section of docs/performance.md.
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

from run import kernel_variant  # the variant velmora picks, from the CPU flags

HERE = os.path.dirname(os.path.abspath(__file__))
DOC = os.path.join(os.path.dirname(HERE), "docs", "performance.md")
N = 16
SIZES = [(m, d) for d in (1024, 10000) for m in (100, 1000, 10000)]


def timed(fn, budget):
    """Best and median seconds of repeated calls, about `budget` seconds in all."""
    start = time.perf_counter()
    fn()
    first = time.perf_counter() - start
    repeats = max(3, min(50, int(budget / max(first, 1e-6))))
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return min(times), statistics.median(times)


def book_of(m, dim):
    import velmora
    return velmora.PhaseHVec.random(dim, N, 7), [velmora.PhaseHVec.random(dim, N, 1000 + s) for s in range(m)]


def torch_sides(torch, q_phases, rows, dim):
    two_pi = 6.283185307179586
    angles = torch.from_numpy(rows).to(torch.float32) * (two_pi / N)
    book = torch.polar(torch.ones_like(angles), angles)
    del angles
    qa = torch.from_numpy(q_phases).to(torch.float32) * (two_pi / N)
    query = torch.polar(torch.ones_like(qa), qa)
    conj = query.conj()
    return {
        "mv": lambda: torch.mv(book, conj).real / dim,
        "matmul": lambda: (book @ conj.unsqueeze(1)).real.squeeze(1) / dim,
        "row @ book.T": lambda: (query.unsqueeze(0) @ book.conj().T).real.squeeze(0) / dim,
    }


def measure(m, dim, budget):
    import numpy as np
    q, book = book_of(m, dim)
    out = {"M": m, "dim": dim}
    got = q.similarities(book)
    loop = [q.similarity(x) for x in book]
    out["exact"] = [x.hex() for x in got] == [x.hex() for x in loop]
    out["velmora"] = timed(lambda: q.similarities(book), budget)
    out["loop"] = timed(lambda: [q.similarity(x) for x in book], budget)
    # The phase matrix as np.array([x.phases() for x in book]) gives it (int64), filled row by row.
    P = np.empty((m, dim), dtype=np.int64)
    for i, x in enumerate(book):
        P[i] = x.phases()
    qp = np.array(q.phases())
    out["numpy"] = timed(lambda: np.cos(2 * np.pi * (P - qp) / N).mean(axis=1), budget)
    out["numpy_agree"] = bool(np.allclose(np.cos(2 * np.pi * (P - qp) / N).mean(axis=1), got, atol=1e-12))
    try:
        import torch
    except ImportError:
        return out
    torch.set_num_threads(1)
    sides = torch_sides(torch, qp, P, dim)
    del P
    best = None
    for name, fn in sides.items():
        t = timed(fn, budget)
        if best is None or t[1] < best[1][1]:
            best = (name, t)
        out["torch_agree"] = bool(max(abs(float(a) - b) for a, b in zip(fn(), got)) < 1e-4)
    out["torch"], out["torch_form"] = best[1], best[0]
    out["torch_version"] = torch.__version__
    return out


def memory(m, dim):
    """Peak extra memory of one similarities call, in a fresh interpreter. Blocks
    of 4 KiB and more are mapped afresh and returned when freed (glibc's
    M_MMAP_THRESHOLD), so that the call cannot hide in memory freed earlier."""
    code = "\n".join([
        "import ctypes, resource, sys",
        "try:",
        "    ctypes.CDLL(None).mallopt(-3, 4096)",
        "except (AttributeError, OSError):",
        "    pass",
        "sys.path.insert(0, %r)" % HERE,
        "from similarities import book_of",
        "q, book = book_of(%d, %d)" % (m, dim),
        "before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss",
        "r = q.similarities(book)",
        "print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before)",
    ])
    proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    return int(proc.stdout.strip()) * 1024


def fmt(seconds):
    return "%.2f ms" % (seconds * 1e3) if seconds >= 1e-3 else "%.1f us" % (seconds * 1e6)


def cpu_name():
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or platform.machine()


def table(rows, meta):
    torch_seen = any("torch" in r for r in rows)
    head = ("Produced by `%s` on %s (%s, %d cores, Python %s, numpy %s, torch %s; velmora kernels: %s; n = %d, "
            "one thread everywhere). Times are best / median.\n\n"
            % (meta["command"], meta["date"], meta["cpu"], os.cpu_count() or 0, meta["python"], meta["numpy"],
               meta["torch"], meta["isa"], N))
    cols = ["M", "dim", "similarities", "Python loop", "numpy", "torch best (form)" if torch_seen else None,
            "vs loop (median)", "vs torch (median)" if torch_seen else None, "bits = loop", "peak extra memory"]
    cols = [c for c in cols if c]
    lines = ["| " + " | ".join(cols) + " |", "|" + "|".join("---:" if i > 1 else "---:" for i in range(len(cols))) + "|"]
    for r in rows:
        cells = [str(r["M"]), str(r["dim"])] + ["%s / %s" % (fmt(r[k][0]), fmt(r[k][1])) for k in ("velmora", "loop", "numpy")]
        if torch_seen:
            cells.append("%s / %s (%s)" % (fmt(r["torch"][0]), fmt(r["torch"][1]), r["torch_form"]) if "torch" in r else "-")
        cells.append("%.3f" % (r["velmora"][1] / r["loop"][1]))
        if torch_seen:
            cells.append("%.3f" % (r["velmora"][1] / r["torch"][1]) if "torch" in r else "-")
        cells.append("yes" if r["exact"] else "**no**")
        cells.append("%d KiB" % (r["memory"] // 1024) if r.get("memory") is not None else "-")
        lines.append("| " + " | ".join(cells) + " |")
    return head + "\n".join(lines) + "\n"


def write_doc(text, label):
    start, end = "<!-- similarities table %s: start -->" % label, "<!-- similarities table %s: end -->" % label
    doc = open(DOC).read()
    if start not in doc:
        doc += "\n%s\n%s\n" % (start, end)
    before, rest = doc.split(start, 1)
    with open(DOC, "w") as fh:
        fh.write(before + start + "\n" + text + end + rest.split(end, 1)[1])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="M <= 1000 only, shorter repeats")
    parser.add_argument("--variant", help="label of a build capped with cmake -DVELMORA_MAX_ISA=...")
    parser.add_argument("--no-doc", action="store_true", help="print the table only")
    args = parser.parse_args()
    sizes = [s for s in SIZES if not args.quick or s[0] <= 1000]
    # Memory first: a child's ru_maxrss starts from its parent's size at the
    # fork, so the parent must not yet hold numpy, torch or any book.
    peaks = [memory(m, dim) for m, dim in sizes]
    import numpy
    rows = []
    for (m, dim), peak in zip(sizes, peaks):
        print("M=%d dim=%d ..." % (m, dim), file=sys.stderr)
        r = measure(m, dim, 0.3 if args.quick else 1.0)
        r["memory"] = peak
        rows.append(r)
        print(json.dumps(r), file=sys.stderr)
    try:
        import torch
        torch_version = torch.__version__
    except ImportError:
        torch_version = "not installed"
    meta = {
        "command": "python benchmarks/similarities.py" + (" --quick" if args.quick else "")
        + (" --variant %s" % args.variant if args.variant else ""),
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
        "cpu": cpu_name(), "python": platform.python_version(), "numpy": numpy.__version__,
        "torch": torch_version, "isa": args.variant or kernel_variant(),
    }
    text = table(rows, meta)
    print(text)
    if not args.no_doc:
        write_doc(text, args.variant or kernel_variant())


if __name__ == "__main__":
    main()
