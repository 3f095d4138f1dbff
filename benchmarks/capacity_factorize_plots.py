"""The figures of docs/capacity.md's factorize section: accuracy against D at F = 3, dim 1500
(n = 2 and n = 16), one line per method, from benchmarks/data/capacity_factorize.csv; and the
operational capacity against dim, from benchmarks/data/factorize_operational.csv.

    python benchmarks/capacity_factorize_plots.py
"""

import csv
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
METHODS = [("factorize", "factorize"), ("resonator_factorize", "resonator_factorize"),
           ("published", "published network (NumPy)")]


def main():
    with open(os.path.join(HERE, "data", "capacity_factorize.csv")) as fh:
        rows = [r for r in csv.DictReader(fh) if r["shape"] in ("n=2", "n=16")]
    fig, axes = plt.subplots(1, 2, figsize=(10, 4), sharey=True)
    for ax, n in zip(axes, ("2", "16")):
        for method, label in METHODS:
            pts = sorted((int(r["D"]), int(r["solved"]) / int(r["problems"]))
                         for r in rows if r["n"] == n and r["method"] == method)
            ax.plot([d for d, _ in pts], [a for _, a in pts], marker="o", label=label)
        ax.set_title(f"F = 3, dim 1500, n = {n}")
        ax.set_xlabel("D (entries per codebook)")
        ax.grid(alpha=0.3)
    axes[0].set_ylabel("problems solved (every factor right)")
    axes[0].legend()
    fig.tight_layout()
    fig.savefig(os.path.join(HERE, "data", "capacity_factorize.png"), dpi=110)
    operational()


def operational():
    """The largest D**3 solved in at least 99 % of problems, per dim."""
    with open(os.path.join(HERE, "data", "factorize_operational.csv")) as fh:
        rows = list(csv.DictReader(fh))
    best = {}
    for r in rows:
        if int(r["solved"]) >= 0.99 * int(r["problems"]):
            best[int(r["dim"])] = max(best.get(int(r["dim"]), 0), int(r["search_space"]))
    dims = sorted(best)
    fig, ax = plt.subplots(figsize=(5, 4))
    ax.plot(dims, [best[z] for z in dims], marker="o", label="factorize, F = 3, n = 2")
    ax.set_yscale("log")
    ax.set_xlabel("dim")
    ax.set_ylabel("operational capacity D^3 (solved in >= 99 %)")
    ax.grid(alpha=0.3, which="both")
    ax.legend()
    fig.tight_layout()
    fig.savefig(os.path.join(HERE, "data", "factorize_operational.png"), dpi=110)


if __name__ == "__main__":
    main()
