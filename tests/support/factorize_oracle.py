"""A plain-Python transcription of PhaseHVec.factorize, exact by construction:
the oracle's phasors, dot products and lattice snap, with the coherence
read-out, the verified stop, the cycle check and the seeded restarts written
out one operation at a time in the order the native code performs them."""

import math

from . import oracle

MASK64 = (1 << 64) - 1
GOLDEN = 0x9E3779B97F4A7C15
FNV_BASIS = 0xCBF29CE484222325
FNV_PRIME = 0x100000001B3
FIRST_RUN_SWEEPS = 32


def mix64(x):
    x = ((x ^ (x >> 30)) * 0xBF58476D1CE4E5B9) & MASK64
    x = ((x ^ (x >> 27)) * 0x94D049BB133111EB) & MASK64
    return x ^ (x >> 31)


def hash_levels(h, levels):
    for v in levels:
        h = ((h ^ v) * FNV_PRIME) & MASK64
    return h


def default_cap(sizes):
    space = 1
    for m in sizes:
        space = min(space * m, 10_000_000)
    return min(max(-(-space // 1000), 100), 10000)


def _coherence(re, im, z):
    return min(1.0, math.sqrt((re * re) + (im * im)) / float(z))


def _inner(a, b):
    """(re, im) of sum_j a_j * conj(b_j), each term formed as the kernels form it."""
    are, aim = a
    bre, bim = b
    re = 0.0
    im = 0.0
    for j in range(len(are)):
        re = re + ((are[j] * bre[j]) + (aim[j] * bim[j]))
        im = im + ((are[j] * -bim[j]) + (aim[j] * bre[j]))
    return re, im


def coherent_match(book, est, z):
    div = float(z) if z > 0 else 1.0
    best, best_c = 0, 0.0
    for i, e in enumerate(book):
        re, im = _inner(e, est)
        c = min(1.0, math.sqrt((re * re) + (im * im)) / div)
        if i == 0 or not (best_c > c):
            best, best_c = i, c
    return best, best_c


def factorize(composite, n, codebooks, max_iter=None, trace=None):
    """composite: phases at resolution n; codebooks: lists of phase lists at n.
    Returns the list of (index, similarity); `trace` (a dict) receives the
    sweeps, restarts and whether the answer was verified."""
    if not codebooks:
        return []
    z = len(composite)
    if max_iter is None:
        max_iter = default_cap([len(b) for b in codebooks])
    comp = oracle.phasor(composite, n)
    tables = [[oracle.phasor(p, n) for p in book] for book in codebooks]
    levels = [oracle.lattice(oracle.initial_estimate(book, z, n), n) for book in tables]
    estimates = [oracle.phasor(lv, n) for lv in levels]
    seed = hash_levels(FNV_BASIS, composite)
    for book in codebooks:
        seed = ((seed ^ len(book)) * FNV_PRIME) & MASK64
    threshold = min(0.5, 8.0 / math.sqrt(float(z))) if z else 0.0
    info = {"sweeps": 0, "restarts": 0, "verified": False}

    def read_out():
        return [coherent_match(book, est, z) for book, est in zip(tables, estimates)]

    def bound_coherence(matches):
        if z == 0:
            return 1.0
        bound = [0] * z
        for f, (i, _) in enumerate(matches):
            bound = [(b + p) % n for b, p in zip(bound, codebooks[f][i])]
        return _coherence(*_inner(oracle.phasor(bound, n), comp), z)

    def state():
        h = FNV_BASIS
        for lv in levels:
            h = hash_levels(h, lv)
        return h

    def finish(result, verified):
        info["verified"] = verified
        if trace is not None:
            trace.update(info)
        return result

    best = read_out()
    best_score = bound_coherence(best)
    if best_score >= threshold:
        return finish(best, True)
    seen = [state()]
    budget, run_sweeps = FIRST_RUN_SWEEPS, 0
    while info["sweeps"] < max_iter:
        info["sweeps"] += 1
        run_sweeps += 1
        for f, book in enumerate(tables):
            u = oracle.unbind_others(comp, estimates, f)
            _, xs, ys = oracle.score_and_superpose(book, u, z)
            levels[f] = [oracle.angle_to_level(y, x, n) for x, y in zip(xs, ys)]
            estimates[f] = oracle.phasor(levels[f], n)
        matches = read_out()
        score = bound_coherence(matches)
        if score > best_score:
            best, best_score = matches, score
        if score >= threshold:
            return finish(matches, True)
        h = state()
        if h in seen or run_sweeps >= budget:
            info["restarts"] += 1
            r = info["restarts"]
            for f in range(len(tables)):
                s = mix64(seed ^ ((r * GOLDEN) & MASK64) ^ mix64(f + 1))
                levels[f] = [mix64((s + (j + 1) * GOLDEN) & MASK64) % n for j in range(z)]
                estimates[f] = oracle.phasor(levels[f], n)
            run_sweeps = 0
            budget += budget // 2
            seen = [state()]
        else:
            seen.append(h)
    return finish(best, False)
