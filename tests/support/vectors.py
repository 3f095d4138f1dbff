"""Vectors with chosen phases, built from the public API alone.

The module has no constructor from a list of phases, so `make_vec` builds one:

* bind is component-wise addition in Z_n, so every vector obtainable from
  seeded vectors r_s = PhaseHVec.random(dim, n, s) by bind is sum_s c_s * r_s;
* Gauss-Jordan elimination over Z_n (Euclid on each column, so it works for
  composite n too) on the oracle's copies of r_0 .. r_{S-1} yields, for every
  component k, integer coefficients C[k] with sum_s C[k][s] * r_s = e_k;
* a target t is then sum_k t_k * e_k, i.e. coefficients c = sum_k t_k C[k],
  and c_s * r_s is formed by double-and-add with bind (a.bind(a) doubles).

Cost: the elimination is O(dim^2 * S) pure-Python steps per (dim, n) and is
cached; with S ~ dim + 8 it takes milliseconds for dim <= 32 and about a
second at dim 64, so keep constructed vectors short (tests chunk wider
patterns). Each vector then costs about 2 * S * log2(n) native binds. The
result is checked against the target before it is handed out.
"""

import velmora

from . import oracle


def _unit_coefficients(dim, n, n_seeds):
    """Rows C[k] (length n_seeds) with sum_s C[k][s] * r_s == e_k, or None."""
    rows = []
    for s in range(n_seeds):
        coef = [0] * n_seeds
        coef[s] = 1
        rows.append([oracle.generate(dim, n, s), coef])

    def axpy(dst, factor, src):
        # dst -= factor * src (mod n), on both the vector and its coefficients
        for part in (0, 1):
            d, v = dst[part], src[part]
            for j in range(len(d)):
                d[j] = (d[j] - factor * v[j]) % n

    pivots = []
    free = list(range(n_seeds))
    for k in range(dim):
        # Euclid over the column until at most one free row is non-zero there.
        while True:
            live = [r for r in free if rows[r][0][k] != 0]
            if len(live) <= 1:
                break
            p = min(live, key=lambda r: rows[r][0][k])
            for r in live:
                if r != p:
                    axpy(rows[r], rows[r][0][k] // rows[p][0][k], rows[p])
        if not live:
            return None
        p = live[0]
        value = rows[p][0][k]
        if _gcd(value, n) != 1:
            return None
        inv = pow(value, -1, n)
        rows[p][0] = [(x * inv) % n for x in rows[p][0]]
        rows[p][1] = [(x * inv) % n for x in rows[p][1]]
        for r in range(n_seeds):
            if r != p and rows[r][0][k] != 0:
                axpy(rows[r], rows[r][0][k], rows[p])
        free.remove(p)
        pivots.append(p)
    return [rows[p][1] for p in pivots]


def _gcd(a, b):
    while b:
        a, b = b, a % b
    return a


class VectorFactory:
    def __init__(self):
        self.cls = velmora.PhaseHVec
        self._bases = {}

    def _basis(self, dim, n):
        key = (dim, n)
        if key not in self._bases:
            n_seeds = dim + 8
            while True:
                coefs = _unit_coefficients(dim, n, n_seeds)
                if coefs is not None:
                    break
                n_seeds += 8
            self._bases[key] = (n_seeds, coefs)
        return self._bases[key]

    def zeros(self, dim, n):
        r = self.cls.random(dim, n, 0)
        return r.unbind(r)

    def scale(self, vec, factor):
        result = vec.unbind(vec)
        power = vec
        while factor:
            if factor & 1:
                result = result.bind(power)
            factor >>= 1
            if factor:
                power = power.bind(power)
        return result

    def __call__(self, phases, n):
        phases = list(phases)
        dim = len(phases)
        assert all(0 <= p < n for p in phases)
        n_seeds, coefs = self._basis(dim, n)
        total = [0] * n_seeds
        for k, t in enumerate(phases):
            if t:
                row = coefs[k]
                for s in range(n_seeds):
                    total[s] = (total[s] + t * row[s]) % n
        acc = self.zeros(dim, n)
        for s, c in enumerate(total):
            if c:
                acc = acc.bind(self.scale(self.cls.random(dim, n, s), c))
        assert acc.phases() == phases, "vector construction went wrong"
        return acc


# One factory for the whole run, so that every test shares its cache.
make_vec = VectorFactory()
