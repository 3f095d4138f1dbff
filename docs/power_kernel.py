#!/usr/bin/env python3
"""Plots the similarity kernel of fractional power encoding: B.power(x).similarity(B.power(0)) against x,
beside sinc(x), for a random base at a large resolution. Writes docs/power_kernel.png.

    python docs/power_kernel.py [--dim 8192] [--n 65536]
"""

import argparse
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import velmora  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dim", type=int, default=8192)
    parser.add_argument("--n", type=int, default=65536)
    parser.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "power_kernel.png"))
    args = parser.parse_args()
    base = velmora.PhaseHVec.random(args.dim, args.n, 2026)
    origin = base.power(0)
    xs = np.linspace(-6, 6, 481)
    sims = [base.power(float(x)).similarity(origin) for x in xs]
    fig, ax = plt.subplots(figsize=(7, 3.5))
    ax.plot(xs, np.sinc(xs), color="0.6", lw=3, label="sinc(x)")
    ax.plot(xs, sims, color="C0", lw=1.2, label="B.power(x).similarity(B.power(0))")
    ax.axhline(0, color="0.8", lw=0.8)
    ax.set_xlabel("x")
    ax.set_ylabel("similarity")
    ax.set_title("Fractional power kernel, dim %d, n %d" % (args.dim, args.n))
    ax.legend(loc="upper right", fontsize=8)
    fig.tight_layout()
    fig.savefig(args.out, dpi=110)
    print("wrote", args.out)


if __name__ == "__main__":
    main()
