#!/usr/bin/env python3
"""Adversarial calls into velmora's Python API.

Every callable is called with random argument shapes built from a pool of
hostile objects: ints of every size, bools, floats, None, str and its
subclasses, bytes, lists, tuples, ranges, dicts, sets, generators, objects
whose __index__, __len__, __iter__, __getitem__ or __str__ raise, lie or
return the wrong type, sequences that change while iterated, a __len__ of
2**62, callbacks raising the internal-error exception, and keyword names that
are str subclasses or cannot be encoded. A call may only return or raise one
of the documented exceptions, and must leave its arguments unchanged.

`check_call(rng)` makes and checks one call (used by the hypothesis test in
tests/); running this file is the long driver:

    python tests/support/fuzz_api.py --seconds 600 [--seed 1]

It prints the number of calls and the outcomes seen, and stops at the first
violation with the seed that reproduces it. A crash kills the process; a hang
is ended by faulthandler after --hang-seconds with a traceback, and the
--seed-file then names the seed of the call that hung.
"""

import argparse
import contextlib
import faulthandler
import operator
import os
import random
import sys
import time

import velmora

P = velmora.PhaseHVec
factorize = velmora.resonator_factorize
UNDER_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")


def _panic_type():
    saved = os.dup(2)
    null = os.open(os.devnull, os.O_WRONLY)
    try:
        os.dup2(null, 2)
        P.random(2 ** 62, 2, 0)
    except BaseException as e:  # noqa: BLE001
        return type(e)
    finally:
        os.dup2(saved, 2)
        os.close(saved)
        os.close(null)
    raise AssertionError("no internal failure")


PANIC = _panic_type()


@contextlib.contextmanager
def address_space_headroom(headroom):
    """Lowers RLIMIT_AS to the current mapping plus `headroom` bytes, so that
    sizes which could really be allocated fail fast with MemoryError."""
    import resource

    with open("/proc/self/statm") as f:
        mapped = int(f.read().split()[0]) * os.sysconf("SC_PAGE_SIZE")
    old = resource.getrlimit(resource.RLIMIT_AS)
    resource.setrlimit(resource.RLIMIT_AS, (mapped + headroom, old[1]))
    try:
        yield
    finally:
        resource.setrlimit(resource.RLIMIT_AS, old)


class Hostile(Exception):
    """Raised by the pool's own objects; must come out unchanged."""


PANIC_MESSAGES = ("capacity overflow", "assertion `left == right` failed: ", "index out of bounds: ",
                  "hostile callback")
ALLOWED = (TypeError, ValueError, OverflowError, MemoryError, Hostile)


def raise_kind(rng):
    kind = rng.randrange(3)
    if kind == 0:
        return Hostile("hostile callback")
    if kind == 1:
        return PANIC("hostile callback")
    return TypeError("hostile callback")


class Index:
    def __init__(self, rng):
        self.mode = rng.randrange(4)
        self.value = small_int(rng)
        self.exc = raise_kind(rng)

    def __index__(self):
        if self.mode == 0:
            return self.value
        if self.mode == 1:
            raise type(self.exc)(*self.exc.args)
        if self.mode == 2:
            return "not an int"
        return 2 ** 70


class Lying:
    """Item access with a __len__ that lies or fails and a __getitem__ that may
    raise, return junk, or mutate the sequence while it is iterated."""

    def __init__(self, rng, items):
        self.items = list(items)
        self.original = list(items)
        self.len_mode = rng.randrange(5)
        self.fail_at = rng.randrange(len(self.items) + 2)
        self.item_mode = rng.randrange(4)
        self.exc = raise_kind(rng)
        self.mutations = 0

    def __len__(self):
        if self.len_mode == 0:
            return 2 ** 62
        if self.len_mode == 1:
            raise type(self.exc)(*self.exc.args)
        if self.len_mode == 2:
            return -1
        if self.len_mode == 3:
            return "three"
        return len(self.items)

    def __getitem__(self, i):
        if i == self.fail_at:
            if self.item_mode == 0:
                raise type(self.exc)(*self.exc.args)
            if self.item_mode == 1 and self.mutations < 3:
                self.mutations += 1
                self.items.append(self.items[0] if self.items else None)
            if self.item_mode == 2 and len(self.items) > 1:
                self.items.pop()
        return self.items[i]


class BadIter:
    def __init__(self, rng, items):
        self.items = list(items)
        self.original = list(items)
        self.mode = rng.randrange(3)
        self.exc = raise_kind(rng)

    def __getitem__(self, i):
        return self.items[i]

    def __iter__(self):
        if self.mode == 0:
            raise type(self.exc)(*self.exc.args)
        if self.mode == 1:
            return 42  # not an iterator
        return iter(self.items)


class StrSub(str):
    pass


class StrRaises(str):
    def __str__(self):
        raise Hostile("hostile callback")


class MutatingList(list):
    """A list that grows by one element the first times it is asked for an iterator."""

    def __iter__(self):
        if len(self) < 6:
            self.append(self[0] if self else None)
        return super().__iter__()


def hashable(x):
    try:
        hash(x)
    except TypeError:
        return False
    return True


def small_int(rng):
    # 2**31 as a dim is a 4 GiB vector: MemoryError under the address-space
    # limit, but a real allocation under ASan, where it is left out.
    return rng.choice([0, 1, 2, 3, 4, 7, 8, 16, 65535, 65536, 65537, 3 if UNDER_ASAN else 2 ** 31, -1, -2])


def any_int(rng):
    choices = [small_int(rng), rng.randrange(-300, 300), 2 ** 32, 2 ** 32 + 2, 2 ** 64 - 1, 2 ** 64,
               2 ** 62, 2 ** 63, -2 ** 63, 10 ** 30, -10 ** 30, 2 ** 1000, True, False]
    if not UNDER_ASAN:
        # Sizes that exceed every address space; under ASan a failed
        # operator new aborts, so they are left out there.
        choices += [2 ** 50, 2 ** 61]
    value = rng.choice(choices)
    if UNDER_ASAN and not isinstance(value, bool) and 2 ** 24 <= value < 2 ** 62:
        value = 3
    return value


def vector(rng, dims=(0, 1, 3, 8), ns=(2, 3, 16, 65536)):
    return P.random(rng.choice(dims), rng.choice(ns), rng.randrange(2 ** 64))


def obj(rng, depth=0):
    kind = rng.randrange(22 if depth < 2 else 14)
    if kind <= 2:
        return any_int(rng)
    if kind == 3:
        return rng.choice([0.0, 8.0, -1.5, float("nan"), float("inf")])
    if kind == 4:
        return None
    if kind == 5:
        return rng.choice(["", "ab", StrSub("cd"), StrRaises("ef")])
    if kind == 6:
        return rng.choice([b"", b"\x01", bytearray(b"ab")])
    if kind in (7, 8, 9):
        return vector(rng)
    if kind == 10:
        return Index(rng)
    if kind == 11:
        return range(rng.randrange(3))
    if kind == 12:
        return object()
    if kind == 13:
        return rng.choice([P, velmora, factorize])
    items = [obj(rng, depth + 1) if rng.random() < 0.3 else vector(rng) for _ in range(rng.randrange(4))]
    if kind == 14:
        return items
    if kind == 15:
        return tuple(items)
    if kind == 16:
        return Lying(rng, items)
    if kind == 17:
        return BadIter(rng, items)
    if kind == 18:
        return MutatingList(items)
    if kind == 19:
        return rng.choice([set, frozenset])(x for x in items if hashable(x))
    if kind == 20:
        return {i: x for i, x in enumerate(items)}
    return (x for x in items)


def codebooks(rng):
    """Mostly well-formed codebooks, sometimes with hostile parts."""
    dim = rng.choice([0, 1, 4])
    books = [[vector(rng, dims=(dim,)) for _ in range(rng.randrange(4))] for _ in range(rng.randrange(4))]
    if rng.random() < 0.3 and books:
        books[rng.randrange(len(books))] = obj(rng, 1)
    wrap = rng.randrange(4)
    if wrap == 1:
        books = tuple(books)
    elif wrap == 2:
        books = Lying(rng, books)
    elif wrap == 3:
        books = MutatingList(books)
    return vector(rng, dims=(dim,)), books


PARAMETERS = {"random": ("dim", "n", "seed"), "bind": ("other",), "unbind": ("other",),
              "similarity": ("other",), "bundle": ("items",), "resonator_factorize":
              ("composite", "codebooks", "max_iter"), "phases": (), "PhaseHVec": (), "repr": ()}


def make_call(rng):
    receiver = vector(rng)
    name = rng.choice(sorted(PARAMETERS))
    func = {"random": rng.choice([P.random, receiver.random]), "bind": receiver.bind,
            "unbind": receiver.unbind, "similarity": receiver.similarity,
            "bundle": rng.choice([P.bundle, receiver.bundle]), "resonator_factorize": factorize,
            "phases": receiver.phases, "PhaseHVec": P, "repr": repr}[name]
    params = PARAMETERS[name]
    args = []
    if name == "resonator_factorize" and rng.random() < 0.7:
        args = list(codebooks(rng))
    elif name == "repr":
        args = [receiver]
    elif name == "random" and rng.random() < 0.6:
        args = [rng.choice([small_int(rng), any_int(rng)]), rng.choice([2, 16, 65536, any_int(rng)]),
                any_int(rng)]
    elif name in ("bind", "unbind", "similarity") and rng.random() < 0.5:
        args = [P.random(receiver.dim, receiver.n, rng.randrange(100))]
    elif name == "bundle" and rng.random() < 0.5:
        args = [rng.choice([list, tuple, MutatingList])(vector(rng, dims=(4,), ns=(16,))
                                                        for _ in range(rng.randrange(4)))]
    while rng.random() < (0.6 if not args else 0.2) and len(args) < len(params) + 1:
        args.append(obj(rng))
    kwargs = {}
    while rng.random() < 0.3:
        key = rng.choice(list(params) + ["bogus", StrSub(params[0] if params else "x"), StrRaises("zz"),
                                          "\ud800"])
        kwargs[key] = obj(rng)
    if name == "resonator_factorize":
        # A huge budget over codebooks that never settle is a legitimately long call.
        def clamp(v):
            try:
                value = operator.index(v)
            except BaseException:  # noqa: BLE001  (hostile __index__)
                return v
            return 40 if 40 < value < 2 ** 64 else v
        if len(args) > 2:
            args[2] = clamp(args[2])
        if "max_iter" in kwargs:
            kwargs["max_iter"] = clamp(kwargs["max_iter"])
    return name, func, receiver, args, kwargs


def snapshot(o, depth=0):
    """A value that changes if the object (or what it holds) changes."""
    if isinstance(o, P):
        return ("vec", id(o), o.dim, o.n, tuple(o.phases()))
    if depth > 3:
        return id(o)
    if isinstance(o, (Lying, BadIter, MutatingList)):
        # They change themselves (only by repeating or dropping elements they
        # hold); the vectors they hold may not change.
        held = o.original if not isinstance(o, MutatingList) else list.__iter__(o)
        return ("seq", id(o), frozenset(snapshot(x, depth + 1) for x in held if isinstance(x, P)))
    if isinstance(o, (list, tuple)):
        return (type(o).__name__, id(o), tuple(snapshot(x, depth + 1) for x in o))
    if isinstance(o, dict):
        return ("dict", id(o), tuple((id(k), snapshot(v, depth + 1)) for k, v in o.items()))
    if isinstance(o, (set, frozenset)):
        return ("set", id(o), frozenset(id(x) for x in o))
    if isinstance(o, bytearray):
        return ("bytearray", bytes(o))
    return ("obj", id(o))


def check_call(rng):
    """Makes one adversarial call; returns an outcome label, raises
    AssertionError on a violation."""
    name, func, receiver, args, kwargs = make_call(rng)
    held = [receiver, args, list(kwargs.items())]
    before = snapshot(held)
    try:
        result = func(*args, **kwargs)
        outcome = "ok"
    except ALLOWED as e:
        outcome = type(e).__name__
    except PANIC as e:
        assert str(e).startswith(PANIC_MESSAGES), "%s: unexpected internal failure %r" % (name, e)
        outcome = "PanicException"
    except BaseException as e:  # noqa: BLE001
        raise AssertionError("%s(%r, %r) raised undocumented %r" % (name, args, kwargs, e)) from e
    else:
        expected = {"random": P, "bind": P, "unbind": P, "similarity": float, "bundle": P,
                    "resonator_factorize": list, "phases": list, "repr": str}.get(name)
        assert expected is not None and isinstance(result, expected), "%s returned %r" % (name, result)
    after = snapshot(held)
    assert before == after, "%s changed its arguments" % name
    return "%s:%s" % (name, outcome)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    parser.add_argument("--hang-seconds", type=float, default=30)
    parser.add_argument("--seed-file", default=os.path.join(os.environ.get("TMPDIR", "/tmp"), "fuzz_api.seed"),
                        help="holds the seed of the call in progress (read it after a hang)")
    parser.add_argument("--address-space-gib", type=float, default=1,
                        help="RLIMIT_AS headroom, so that huge sizes fail fast (not under ASan)")
    opts = parser.parse_args()
    if not UNDER_ASAN:  # ASan's shadow memory needs the whole address space
        limit = address_space_headroom(int(opts.address_space_gib * 2 ** 30))
        limit.__enter__()  # held until the process ends
    saved = os.dup(2)
    null = os.open(os.devnull, os.O_WRONLY)
    os.dup2(null, 2)  # internal failures report on stderr every time
    out = os.fdopen(saved, "w", buffering=1)
    faulthandler.enable(file=out)
    seed_fd = os.open(opts.seed_file, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    counts = {}
    calls = 0
    start = time.monotonic()
    seed = opts.seed
    while time.monotonic() - start < opts.seconds:
        # A hang inside the module holds the interpreter lock, so only
        # faulthandler can end it; the seed it was on stays in the seed file.
        os.pwrite(seed_fd, b"%20d\n" % seed, 0)
        faulthandler.dump_traceback_later(opts.hang_seconds, exit=True, file=out)
        try:
            label = check_call(random.Random(seed))
        except BaseException as e:  # noqa: BLE001
            print("VIOLATION with seed %d: %r" % (seed, e), file=out)
            return 1
        counts[label] = counts.get(label, 0) + 1
        calls += 1
        seed += 1
    faulthandler.cancel_dump_traceback_later()
    print("fuzz_api: %d calls in %.0fs (seeds %d..%d), %d distinct outcomes, no violation"
          % (calls, time.monotonic() - start, opts.seed, seed - 1, len(counts)), file=out)
    for label in sorted(counts):
        print("  %-40s %d" % (label, counts[label]), file=out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
