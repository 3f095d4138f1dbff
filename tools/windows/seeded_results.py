"""Prints seeded results of the module, one per line, so that two platforms'
outputs can be compared with diff: `name value`, integers in decimal, floats
as float.hex() (exact, and formatted the same by every CPython), vectors as
their dim, n and a SHA-256 of their phases.

    python tools/windows/seeded_results.py > results.txt

Each result is one entry of CASES: adding a call is adding a line there.
"""

import hashlib
import struct
import sys

import velmora
from velmora import PhaseHVec

R = PhaseHVec.random


def show(value):
    if isinstance(value, PhaseHVec):
        phases = value.phases()
        digest = hashlib.sha256(struct.pack("<%dI" % len(phases), *phases)).hexdigest()[:32]
        return "vec(%d,%d,%s)" % (value.dim, value.n, digest)
    if isinstance(value, bool) or isinstance(value, int):
        return str(int(value))
    if isinstance(value, float):
        return value.hex()
    if isinstance(value, (list, tuple)):
        return "[" + ",".join(show(v) for v in value) + "]"
    raise TypeError("no format for %r" % type(value).__name__)


def books(dim, n, sizes, seed):
    return [[R(dim, n, seed + 1000 * f + i) for i in range(size)] for f, size in enumerate(sizes)]


def composite(codebooks, picks):
    out = codebooks[0][picks[0]]
    for book, pick in zip(codebooks[1:], picks[1:]):
        out = out.bind(book[pick])
    return out


# Dimensions around the SIMD widths and their tails; resolutions from the
# smallest to the largest.
DIMS = (1, 7, 8, 17, 64, 1000, 4096)
NS = (2, 3, 16, 255, 4096, 65536)

CASES = []
for dim in DIMS:
    for n in NS:
        a, b = R(dim, n, 1), R(dim, n, 2)
        CASES += [
            ("random.%d.%d" % (dim, n), lambda a=a: a),
            ("bind.%d.%d" % (dim, n), lambda a=a, b=b: a.bind(b)),
            ("unbind.%d.%d" % (dim, n), lambda a=a, b=b: a.unbind(b)),
            ("similarity.%d.%d" % (dim, n), lambda a=a, b=b: a.similarity(b)),
            ("similarities.%d.%d" % (dim, n),
             lambda a=a, dim=dim, n=n: a.similarities([R(dim, n, s) for s in range(3, 40)] + [a])),
            ("bundle2.%d.%d" % (dim, n), lambda a=a, b=b: PhaseHVec.bundle([a, b])),
            ("bundle5.%d.%d" % (dim, n), lambda dim=dim, n=n: PhaseHVec.bundle([R(dim, n, s) for s in range(5)])),
            ("bundle_opposite.%d.%d" % (dim, n), lambda a=a: PhaseHVec.bundle([a, a.bind(a)])),
        ]
CASES += [
    ("random.large", lambda: R(100003, 65536, 2**64 - 1)),
    ("similarity.large", lambda: R(100003, 65536, 5).similarity(R(100003, 65536, 6))),
    ("bundle.large", lambda: PhaseHVec.bundle([R(20011, 4096, s) for s in range(9)])),
]
for dim, n, sizes, picks, iters in [
    (1024, 16, (10, 10), (7, 3), 50),
    (512, 4096, (8, 8, 8), (1, 5, 2), 50),
    (256, 65536, (12, 12, 12), (11, 0, 6), 3),
    (64, 2, (6, 6), (4, 1), 20),
]:
    cb = books(dim, n, sizes, dim + n)
    key = "%d.%d.%d" % (dim, n, len(sizes))
    CASES.append(("resonator_factorize.%s" % key,
                  lambda cb=cb, picks=picks, iters=iters: velmora.resonator_factorize(composite(cb, picks), cb, iters)))
    CASES.append(("factorize.%s" % key,
                  lambda cb=cb, picks=picks, iters=iters: composite(cb, picks).factorize(cb, iters)))
    CASES.append(("factorize_default.%s" % key, lambda cb=cb, picks=picks: composite(cb, picks).factorize(cb)))
# factorize's restarts and its unverified read-out: noise explains no entries.
CASES.append(("factorize.noise", lambda: R(512, 16, 99).factorize(books(512, 16, (9, 9, 9), 7), 120)))
for dim in DIMS:
    for n in NS:
        a = R(dim, n, 3)
        CASES += [
            ("permute.%d.%d" % (dim, n), lambda a=a: [a.permute(), a.permute(-5), a.permute(3 ** 50)]),
            ("power_int.%d.%d" % (dim, n), lambda a=a: [a.power(-1), a.power(7), a.power(-(3 ** 70))]),
            ("power_real.%d.%d" % (dim, n), lambda a=a: [a.power(0.5), a.power(-2.25), a.power(1e17 + 0.5)]),
            ("bundle_weighted.%d.%d" % (dim, n),
             lambda dim=dim, n=n: PhaseHVec.bundle([R(dim, n, s) for s in range(5)], weights=[3, 0, 1, 7, 2])),
        ]

def main():
    out = sys.stdout
    for name, thunk in CASES:
        out.write("%s %s\n" % (name, show(thunk())))


if __name__ == "__main__":
    main()
