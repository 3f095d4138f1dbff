"""Language identification on Debian's translated manual pages: velmora against torchhd's own
pipeline (MAP and FHRR) and a NumPy float profile, on the same split and dimension.

    tools/langid/fetch.sh                          # once
    python benchmarks/language_id.py [--dim 10000] [--out docs/language_id]

Every pipeline encodes a trigram abc as rho^2(a) * rho(b) * c. velmora bundles each language's
distinct trigrams weighted by their counts (integer phasor sums, snapped to the lattice);
torchhd sums every trigram occurrence with its ngrams() over the symbol sequence, in chunks;
NumPy sums velmora's own phases as complex128 phasors, weighted by counts, without snapping.
Train time is the profiles from the training text (trigram counting, encoding and bundling);
classify time is every test sentence, encoded and compared with the profiles. One thread each.
Writes <out>.png (velmora's confusion matrix) and prints a Markdown table.
"""

import argparse
import os
import sys
import time

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools", "langid"))
sys.path.insert(0, os.path.join(HERE, "..", "examples"))
import manpage_text  # noqa: E402


def velmora_pipeline(train, test, langs, dim, n):
    import importlib
    example = importlib.import_module("language_id")  # the example's encoder, fresh caches
    example.DIM, example.N = dim, n
    example._letters.clear()
    example._trigrams.clear()
    t0 = time.perf_counter()
    profiles = [example.encode(train[lang]) for lang in langs]
    t1 = time.perf_counter()
    guesses = []
    for _, sentence in test:
        scores = example.encode(sentence).similarities(profiles)
        guesses.append(max(range(len(langs)), key=scores.__getitem__))
    return guesses, t1 - t0, time.perf_counter() - t1


def numpy_pipeline(train, test, langs, dim, n):
    """Complex phasors of velmora's letter phases, float sums: what snapping to the lattice costs."""
    import velmora
    phasors = {}

    def letter(ch):
        if ch not in phasors:
            phasors[ch] = np.array(velmora.PhaseHVec.random(dim, n, ord(ch)).phases(), dtype=np.int64)
        return phasors[ch]

    def encode(text):
        counts = manpage_text.trigram_counts(text)
        grams = list(counts)
        v = np.zeros(dim, dtype=np.complex128)
        for start in range(0, len(grams), 256):  # blocks, so that memory stays small
            block = grams[start:start + 256]
            k = np.stack([np.roll(letter(g[0]), 2) + np.roll(letter(g[1]), 1) + letter(g[2]) for g in block])
            w = np.array([counts[g] for g in block], dtype=np.float64)
            v += w @ np.exp(2j * np.pi * (k % n) / n)
        return v / np.linalg.norm(v)

    t0 = time.perf_counter()
    profiles = np.stack([encode(train[lang]) for lang in langs])
    t1 = time.perf_counter()
    guesses = [int(np.argmax((profiles.conj() @ encode(s)).real)) for _, s in test]
    return guesses, t1 - t0, time.perf_counter() - t1


def torchhd_pipeline(train, test, langs, dim, vsa, chunk=4096):
    import torch
    import torchhd
    torch.set_num_threads(1)
    symbols = {}
    for text in list(train.values()) + [s for _, s in test]:
        for ch in manpage_text.normalise(text):
            symbols.setdefault(ch, len(symbols))
    torch.manual_seed(0)
    hv = torchhd.random(len(symbols), dim, vsa)

    def encode(text):
        idx = torch.tensor([symbols[c] for c in manpage_text.normalise(text)])
        total = None
        for start in range(0, max(1, len(idx) - 2), chunk):
            part = torchhd.ngrams(hv[idx[start:start + chunk + 2]], 3)
            total = part if total is None else total + part
        return total

    with torch.no_grad():
        t0 = time.perf_counter()
        profiles = torch.stack([encode(train[lang]) for lang in langs])
        t1 = time.perf_counter()
        guesses = [int(torch.argmax(torchhd.cosine_similarity(encode(s), profiles))) for _, s in test]
    return guesses, t1 - t0, time.perf_counter() - t1


def plot(truth, guesses, langs, accuracy, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    m = np.zeros((len(langs), len(langs)))
    for t, g in zip(truth, guesses):
        m[t, g] += 1
    m /= np.maximum(m.sum(axis=1, keepdims=True), 1)
    fig, ax = plt.subplots(figsize=(8, 7))
    im = ax.imshow(m, cmap="Blues", vmin=0, vmax=1)
    ax.set_xticks(range(len(langs)), langs, rotation=90)
    ax.set_yticks(range(len(langs)), langs)
    ax.set_xlabel("predicted")
    ax.set_ylabel("true")
    ax.set_title("velmora trigram profiles: %.1f %% of the test sentences" % (100 * accuracy))
    fig.colorbar(im, ax=ax, fraction=0.046)
    fig.tight_layout()
    fig.savefig(path, dpi=100)


def main(argv=None):
    ap = argparse.ArgumentParser()
    ap.add_argument("--dim", type=int, default=10_000)
    ap.add_argument("--n", type=int, default=256, help="velmora's phase resolution")
    ap.add_argument("--text", default=os.path.expanduser("~/.cache/velmora/langid/text"))
    ap.add_argument("--out", default=os.path.join(HERE, "..", "docs", "language_id"))
    ap.add_argument("--skip", default="", help="comma-separated pipelines to leave out")
    args = ap.parse_args(argv)
    train, test = manpage_text.split(manpage_text.load(args.text))
    langs = sorted(train)
    truth = [langs.index(lang) for lang, _ in test]
    print("%d languages, %d test sentences, dim %d" % (len(langs), len(test), args.dim))
    runs = [("velmora (n=%d)" % args.n, lambda: velmora_pipeline(train, test, langs, args.dim, args.n)),
            ("NumPy complex128", lambda: numpy_pipeline(train, test, langs, args.dim, args.n)),
            ("torchhd MAP", lambda: torchhd_pipeline(train, test, langs, args.dim, "MAP")),
            ("torchhd FHRR", lambda: torchhd_pipeline(train, test, langs, args.dim, "FHRR"))]
    rows, per_lang = [], {}
    for name, run in runs:
        if any(s and s in name for s in args.skip.split(",")):
            continue
        guesses, t_train, t_test = run()
        acc = np.mean([t == g for t, g in zip(truth, guesses)])
        rows.append((name, acc, t_train, t_test))
        per_lang[name] = [np.mean([g == t for t, g in zip(truth, guesses) if t == i]) for i in range(len(langs))]
        if name.startswith("velmora"):
            plot(truth, guesses, langs, acc, args.out + ".png")
        print("%-18s %.2f %%  train %.2f s  classify %.2f s" % (name, 100 * acc, t_train, t_test), flush=True)
    print("\n| pipeline | accuracy | train (s) | classify (s) |\n|---|---|---|---|")
    for name, acc, a, b in rows:
        print("| %s | %.2f %% | %.2f | %.2f |" % (name, 100 * acc, a, b))
    counts = [truth.count(i) for i in range(len(langs))]
    print("\n| language | sentences | train chars | " + " | ".join(per_lang) + " |")
    print("|---" * (3 + len(per_lang)) + "|")
    for i, lang in enumerate(langs):
        print("| %s | %d | %d | " % (lang, counts[i], len(train[lang]))
              + " | ".join("%.1f %%" % (100 * per_lang[k][i]) for k in per_lang) + " |")


if __name__ == "__main__":
    main()
