"""The capacity study's output: its CSV files, the table printed after the
published protocol, and the two plots (drawn where matplotlib imports)."""

import csv
import sys

from capacity_mirror import ABLATION

FIELDS = [
    "study", "F", "M", "Z", "n", "max_iter", "problems", "accuracy", "factor_accuracy",
    "sweeps_mean", "sweeps_median", "sweeps_max", "unconverged", "mirror_mismatch", "seconds",
]


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
