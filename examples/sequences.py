#!/usr/bin/env python3
"""Order with permute: a sequence memory that recalls the next element, and n-gram counts.

    python examples/sequences.py [--dim 4096]

1. Each transition x[t] -> x[t+1] is stored as x[t].permute(1).bind(x[t+1]) in one bundle; the successor of
   a symbol is the codebook entry nearest to memory.unbind(symbol.permute(1)).
2. Trigrams "abc" are a.permute(2).bind(b.permute(1)).bind(c), so "abc" and "cba" differ; a text's profile is
   the weighted bundle of its distinct trigrams by their counts, and the profile's similarity to a trigram
   ranks the frequent ones first.
"""

import argparse
import collections

from velmora import PhaseHVec as P


def codebook(alphabet, dim, n):
    return {ch: P.random(dim, n, 1000 + i) for i, ch in enumerate(alphabet)}


def nearest(book, query):
    keys = list(book)
    scores = query.similarities([book[k] for k in keys])
    return keys[max(range(len(keys)), key=scores.__getitem__)]


def trigram(book, s):
    return book[s[0]].permute(2).bind(book[s[1]].permute(1)).bind(book[s[2]])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dim", type=int, default=4096)
    parser.add_argument("--n", type=int, default=256)
    args = parser.parse_args()

    sequence = "VELMORQUIST"  # distinct symbols, so every successor is unique
    book = codebook(sorted(set(sequence)), args.dim, args.n)
    memory = P.bundle([book[a].permute(1).bind(book[b]) for a, b in zip(sequence, sequence[1:])])
    recalled = "".join(nearest(book, memory.unbind(book[a].permute(1))) for a in sequence[:-1])
    print("sequence: %s, recalled successors: %s" % (sequence[1:], recalled))
    assert recalled == sequence[1:]

    text = "the cat sat on the mat and the hat sat on the cat "
    letters = codebook(sorted(set(text)), args.dim, args.n)
    counts = collections.Counter(text[i:i + 3] for i in range(len(text) - 2))
    grams = sorted(counts)
    profile = P.bundle([trigram(letters, g) for g in grams], weights=[counts[g] for g in grams])
    repeated = P.bundle([trigram(letters, text[i:i + 3]) for i in range(len(text) - 2)])
    assert profile.phases() == repeated.phases()
    scores = profile.similarities([trigram(letters, g) for g in grams])
    ranked = sorted(zip(scores, grams), reverse=True)
    top = [g for _, g in ranked[:3]]
    print("most frequent trigrams by count:", [g for g, _ in counts.most_common(3)])
    print("most similar trigrams to the profile:", top)
    assert counts[top[0]] == max(counts.values())
    print("'the' vs 'eht' similarity: %.3f" % trigram(letters, "the").similarity(trigram(letters, "eht")))
    print("order kept: abc != cba, weighted profile equals the repeated bundle")


if __name__ == "__main__":
    main()
