#!/usr/bin/env python3
"""Leak hunt: drive every operation and every failure path of velmora many
times and show that nothing accumulates.

For each path the hunter checks, on the first call, that the outcome is the
intended one (result type, or exception type and message), then runs it
`--iterations` times and compares, before and after:

* sys.getrefcount of every argument object (and of every element of a list,
  tuple or dict argument): must be exactly equal;
* sys.getallocatedblocks(): must not grow by more than `--block-slack`
  (a leak of one object per call grows by at least `iterations`), checked
  over a second round of calls when the first one grew;
* the process's resident set (/proc/self/statm), over the whole run: must not
  grow by more than `--rss-slack-kib` after the warm-up pass.

Internal failures write a report to standard error each time; file
descriptor 2 is pointed at /dev/null while paths run (--verbose keeps it).

    python tests/support/leakhunt.py --iterations 20000      # the long run
    python tests/support/leakhunt.py --list                  # the paths covered

Exit status 0 when nothing grew, 1 otherwise (the offending paths are listed).
"""

import argparse
import contextlib
import gc
import os
import sys

import velmora

P = velmora.PhaseHVec
factorize = velmora.resonator_factorize


def rss_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


@contextlib.contextmanager
def quiet_stderr(enabled=True):
    if not enabled:
        yield
        return
    sys.stderr.flush()
    saved = os.dup(2)
    null = os.open(os.devnull, os.O_WRONLY)
    try:
        os.dup2(null, 2)
        yield
    finally:
        sys.stderr.flush()
        os.dup2(saved, 2)
        os.close(saved)
        os.close(null)


def panic_type():
    try:
        with quiet_stderr():
            P.random(2 ** 62, 2, 0)
    except BaseException as e:  # noqa: BLE001
        return type(e)
    raise AssertionError("capacity overflow did not fail")


PANIC = panic_type()


class Boom(Exception):
    pass


class Idx:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class RaisingIdx:
    """`make` builds a fresh exception per call: re-raising one object would
    grow its traceback and its notes, a leak of the harness, not the module."""

    def __init__(self, make):
        self.make = make

    def __index__(self):
        raise self.make()


class WrongIdx:
    def __index__(self):
        return "eight"


class StrKey(str):
    def __str__(self):
        return "renamed"


class RaisingStrKey(str):
    def __str__(self):
        raise Boom("str of key")


class Seq:
    """Item access only; __len__ and __getitem__ may raise or lie."""

    def __init__(self, items, length=None, fail_at=None, make=None):
        self.items, self.length, self.fail_at, self.make = items, length, fail_at, make

    def __len__(self):
        if callable(self.length):
            raise self.length()
        return len(self.items) if self.length is None else self.length

    def __getitem__(self, i):
        if i == self.fail_at:
            raise self.make()
        return self.items[i]


class IterRaises:
    def __init__(self, make):
        self.make = make

    def __getitem__(self, i):
        return None

    def __iter__(self):
        raise self.make()


class BadQualnameMeta(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            raise Boom("no qualname")
        return super().__getattribute__(name)


class BadQualname(metaclass=BadQualnameMeta):
    pass


def build_paths():
    a = P.random(64, 16, 1)
    b = P.random(64, 16, 2)
    c = a.bind(b)
    short = P.random(63, 16, 3)
    other_n = P.random(64, 8, 4)
    long_ = P.random(65, 16, 5)
    books = [[a, P.random(64, 16, 7), P.random(64, 16, 8)], [P.random(64, 16, 9), b]]
    def panic_obj():
        return PANIC("from a callback")

    def boom():
        return Boom("from a callback")

    huge = 2 ** 50  # 2**51 bytes: more than any address space gives

    T, V, O = TypeError, ValueError, OverflowError
    paths = []

    def add(name, func, args=(), kwargs=None, expect=None, message=None, note=None):
        paths.append((name, func, tuple(args), dict(kwargs or {}), expect, message, note))

    # ---- successful operations
    add("random", P.random, (64, 16, 1), expect=P)
    add("random/keywords", P.random, (), dict(dim=64, n=16, seed=1), expect=P)
    add("random/index objects", P.random, (Idx(8), Idx(16), Idx(2 ** 64 - 1)), expect=P)
    add("random/bool", P.random, (True, 2, False), expect=P)
    add("bind", a.bind, (b,), expect=P)
    add("bind/keyword", a.bind, (), dict(other=b), expect=P)
    add("unbind", c.unbind, (b,), expect=P)
    add("similarity", a.similarity, (b,), expect=float)
    add("phases", a.phases, expect=list)
    add("dim", lambda v: v.dim, (a,), expect=int)
    add("n", lambda v: v.n, (a,), expect=int)
    add("repr", repr, (a,), expect=str)
    add("bundle/list", P.bundle, ([a, b, c],), expect=P)
    add("bundle/tuple", P.bundle, ((a, b),), expect=P)
    add("bundle/sequence", P.bundle, (Seq([a, b], length=2 ** 62),), expect=P)
    add("bundle/len raises", P.bundle, (Seq([a, b], length=lambda: Boom("len")),), expect=P)
    add("bundle/len panics (discarded)", P.bundle, (Seq([a], length=panic_obj),), expect=P)
    add("factorize", factorize, (c, books), expect=list)
    add("factorize/max_iter", factorize, (c, books, 3), expect=list)
    add("factorize/keywords", factorize, (), dict(composite=c, codebooks=books, max_iter=Idx(0)), expect=list)
    add("factorize/empty books", factorize, (c, [[], []]), expect=list)
    add("factorize/other n entry", factorize, (c, [[other_n, a]]), expect=list)

    # ---- binder messages
    add("binder/too many", P.random, (1, 2, 3, 4), expect=T,
        message="PhaseHVec.random() takes 3 positional arguments but 4 were given")
    add("binder/too many (was)", a.bind, (b, b), expect=T,
        message="PhaseHVec.bind() takes 1 positional arguments but 2 were given")
    add("binder/too many (range)", factorize, (c, books, 1, 2), expect=T,
        message="resonator_factorize() takes from 2 to 3 positional arguments but 4 were given")
    add("binder/missing 1", P.random, (8, 4), expect=T,
        message="PhaseHVec.random() missing 1 required positional argument: 'seed'")
    add("binder/missing 2", P.random, (8,), expect=T,
        message="PhaseHVec.random() missing 2 required positional arguments: 'n' and 'seed'")
    add("binder/missing 3", P.random, (), expect=T,
        message="PhaseHVec.random() missing 3 required positional arguments: 'dim', 'n', and 'seed'")
    add("binder/multiple", a.bind, (b,), dict(other=b), expect=T,
        message="PhaseHVec.bind() got multiple values for argument 'other'")
    add("binder/unexpected", a.bind, (b,), dict(colour=1), expect=T,
        message="PhaseHVec.bind() got an unexpected keyword argument 'colour'")
    add("binder/unexpected str subclass", P.bundle, (), {StrKey("itemz"): 1}, expect=T,
        message="PhaseHVec.bundle() got an unexpected keyword argument 'renamed'")
    add("binder/unexpected, str raises", P.bundle, (), {RaisingStrKey("itemz"): 1}, expect=Boom,
        message="str of key")
    add("binder/unencodable key", P.bundle, (), {"\ud800": 1}, expect=T)
    add("binder/constructor", P, (1, 2), expect=T, message="cannot create 'builtins.PhaseHVec' instances")
    add("binder/phases arg", a.phases, (1,), expect=T)

    # ---- conversion failures (with notes)
    add("convert/float", P.random, (8.0, 4, 1), expect=T, note="dim")
    add("convert/None", P.random, (8, None, 1), expect=T, note="n")
    add("convert/str", P.random, (8, 4, "1"), expect=T, note="seed")
    add("convert/negative", P.random, (8, 4, -1), expect=O, note="seed")
    add("convert/2**64", P.random, (8, 4, 2 ** 64), expect=O, note="seed")
    add("convert/bignum", P.random, (-(10 ** 40), 4, 1), expect=O, note="dim")
    add("convert/u32", P.random, (8, 2 ** 32, 1), expect=O,
        message="out of range integral type conversion attempted", note="n")
    add("convert/__index__ raises", P.random, (8, RaisingIdx(boom), 1), expect=Boom, note="n")
    add("convert/__index__ wrong type", P.random, (WrongIdx(), 4, 1), expect=T, note="dim")
    add("convert/max_iter None", factorize, (c, books, None), expect=T, note="max_iter")
    add("convert/max_iter -1", factorize, (c, books, -1), expect=O, note="max_iter")

    # ---- instance checks and sequence extraction
    add("check/int", a.bind, (5,), expect=T,
        message="'int' object is not an instance of 'PhaseHVec'", note="other")
    add("check/None", a.similarity, (None,), expect=T,
        message="'None' is not an instance of 'PhaseHVec'", note="other")
    add("check/unreadable qualname", a.unbind, (BadQualname(),), expect=T,
        message="'<failed to extract type name>' object is not an instance of 'PhaseHVec'", note="other")
    add("check/composite", factorize, ("c", books), expect=T,
        message="'str' object is not an instance of 'PhaseHVec'", note="composite")
    add("extract/str", P.bundle, ("ab",), expect=T, message="Can't extract `str` to `Vec`", note="items")
    add("extract/set", P.bundle, ({a},), expect=T,
        message="'set' object is not an instance of 'Sequence'", note="items")
    add("extract/dict", P.bundle, ({a: 1},), expect=T,
        message="'dict' object is not an instance of 'Sequence'", note="items")
    add("extract/generator", P.bundle, ((x for x in ()),), expect=T,
        message="'generator' object is not an instance of 'Sequence'", note="items")
    add("extract/foreign element", P.bundle, ([a, b, 5],), expect=T,
        message="'int' object is not an instance of 'PhaseHVec'", note="items")
    add("extract/bytes", P.bundle, (b"\x01",), expect=T,
        message="'int' object is not an instance of 'PhaseHVec'", note="items")
    add("extract/__iter__ raises", P.bundle, (IterRaises(boom),), expect=Boom, note="items")
    add("extract/__getitem__ raises", P.bundle, (Seq([a, b, c], fail_at=2, make=boom),), expect=Boom,
        note="items")
    add("extract/codebooks str", factorize, (c, "ab"), expect=T,
        message="Can't extract `str` to `Vec`", note="codebooks")
    add("extract/codebook str", factorize, (c, [[a], "ab"]), expect=T,
        message="Can't extract `str` to `Vec`", note="codebooks")
    add("extract/codebook set", factorize, (c, [[a], {a}]), expect=T,
        message="'set' object is not an instance of 'Sequence'", note="codebooks")
    add("extract/codebook element", factorize, (c, [[a, None]]), expect=T,
        message="'None' is not an instance of 'PhaseHVec'", note="codebooks")

    # ---- domain errors
    add("domain/n=1", P.random, (8, 1, 1), expect=V, message="n (phase resolution) must be in 2..=65536")
    add("domain/n=65537", P.random, (8, 65537, 1), expect=V, message="n (phase resolution) must be in 2..=65536")
    add("domain/bind", a.bind, (short,), expect=V, message="phase vectors differ in dimension or resolution")
    add("domain/unbind", a.unbind, (other_n,), expect=V,
        message="phase vectors differ in dimension or resolution")
    add("domain/similarity", a.similarity, (short,), expect=V,
        message="phase vectors differ in dimension or resolution")
    add("domain/empty bundle", P.bundle, ([],), expect=V, message="cannot bundle an empty list")

    # ---- internal failures
    add("internal/bundle dim", P.bundle, ([a, b, short],), expect=PANIC,
        message="assertion `left == right` failed: phase-vector dimension mismatch in bundle\n"
                "  left: 63\n right: 64")
    add("internal/bundle n", P.bundle, ([a, other_n],), expect=PANIC,
        message="assertion `left == right` failed: phase-vector resolution mismatch in bundle\n"
                "  left: 8\n right: 16")
    add("internal/resonator short entry", factorize, (c, [[a, short]]), expect=PANIC,
        message="index out of bounds: the len is 63 but the index is 63")
    add("internal/resonator long entry", factorize, (c, [[a, long_]]), expect=PANIC,
        message="index out of bounds: the len is 64 but the index is 64")
    add("internal/capacity overflow", P.random, (2 ** 62, 16, 1), expect=PANIC, message="capacity overflow")
    add("internal/panic from __index__", P.random, (8, 4, RaisingIdx(panic_obj)), expect=PANIC,
        message="from a callback")
    add("internal/panic from __iter__", P.bundle, (IterRaises(panic_obj),), expect=PANIC,
        message="from a callback")
    add("internal/panic from __getitem__", factorize, (c, [[a], Seq([a], fail_at=0, make=panic_obj)]),
        expect=PANIC, message="from a callback")

    # ---- memory exhaustion
    add("memory/random", P.random, (huge, 2, 0), expect=MemoryError)

    # ---- permute, power, weighted bundle
    add("permute", a.permute, (-(2 ** 80),), expect=P)
    add("permute/index object", a.permute, (Idx(5),), expect=P)
    add("permute/float", a.permute, (1.5,), expect=T, note="shifts")
    add("power/int", a.power, (-(3 ** 70),), expect=P)
    add("power/real", a.power, (2.5,), expect=P)
    add("power/integral real", a.power, (2.0 ** 80,), expect=P)
    add("power/nan", a.power, (float("nan"),), expect=V, message="exponent must be finite")
    add("power/str", a.power, ("2",), expect=T, note="exponent")
    add("bundle/weights", P.bundle, ([a, b],), dict(weights=[3, Idx(2)]), expect=P)
    add("bundle/weights zero", P.bundle, ([a, b],), dict(weights=[0, 0]), expect=V,
        message="cannot bundle an empty list")
    add("bundle/weights negative", P.bundle, ([a, b],), dict(weights=[1, -1]), expect=V,
        message="weights must be non-negative")
    add("bundle/weights length", P.bundle, ([a, b],), dict(weights=[1]), expect=V,
        message="weights must have one entry per item")
    add("bundle/weights huge", P.bundle, ([a],), dict(weights=[2 ** 200]), expect=O)
    add("bundle/weights float", P.bundle, ([a],), dict(weights=[1.0]), expect=T, note="weights")
    return paths


def private(obj):
    """Objects whose count only this path's calls can change (not the shared
    small ints and singletons that the interpreter itself uses all the time)."""
    if obj is None or isinstance(obj, bool):
        return False
    return not (type(obj) is int and -5 <= obj <= 256)


def tracked(args, kwargs):
    return [o for o in _members(args, kwargs) if private(o)]


def _members(args, kwargs):
    out = []
    for obj in list(args) + list(kwargs.values()) + list(kwargs.keys()):
        out.append(obj)
        if isinstance(obj, (list, tuple)):
            for item in obj:
                out.append(item)
                if isinstance(item, (list, tuple)):
                    out.extend(item)
        elif isinstance(obj, dict):
            out.extend(obj.keys())
            out.extend(obj.values())
        elif isinstance(obj, Seq):
            out.extend(obj.items)
    return out


def call(func, args, kwargs):
    try:
        return func(*args, **kwargs), None
    except BaseException as e:  # noqa: BLE001
        if isinstance(e, (KeyboardInterrupt, SystemExit)):
            raise
        return None, e


def check_outcome(name, func, args, kwargs, expect, message, note):
    result, error = call(func, args, kwargs)
    if expect is None:
        return []
    problems = []
    if isinstance(expect, type) and issubclass(expect, BaseException):
        if type(error) is not expect:
            problems.append("%s: expected %s, got %r" % (name, expect.__name__, error if error else result))
        elif message is not None and str(error) != message:
            problems.append("%s: message %r, expected %r" % (name, str(error), message))
        elif note is not None and sys.version_info >= (3, 11):
            if getattr(error, "__notes__", None) != ["while processing '%s'" % note]:
                problems.append("%s: notes %r" % (name, getattr(error, "__notes__", None)))
    elif error is not None or not isinstance(result, expect):
        problems.append("%s: expected a %s, got %r" % (name, expect.__name__, error or result))
    return problems


def hunt(iterations=2000, warmup=50, block_slack=64, rss_slack_kib=1024, verbose=False, select=None,
         report=print, exclude=None):
    """Runs every path; returns a list of problems (empty when nothing grew)."""
    paths = build_paths()
    if select:
        paths = [p for p in paths if any(s in p[0] for s in select)]
    if exclude:
        paths = [p for p in paths if not any(s in p[0] for s in exclude)]
    problems = []
    with quiet_stderr(not verbose):
        for name, func, args, kwargs, expect, message, note in paths:
            problems += check_outcome(name, func, args, kwargs, expect, message, note)
            for _ in range(warmup):
                call(func, args, kwargs)
        gc.collect()
        rss_before = rss_kib()
        total_calls = 0
        for name, func, args, kwargs, expect, message, note in paths:
            watched = tracked(args, kwargs)
            for _ in range(warmup):  # caches filled by this path's first calls
                call(func, args, kwargs)
            # A leak grows the blocks in every round; a cache that happens to
            # fill during the first round does not, so a second round decides.
            for _round in range(2):
                gc.collect()
                refs_before = [sys.getrefcount(o) for o in watched]
                blocks_before = sys.getallocatedblocks()
                for _ in range(iterations):
                    call(func, args, kwargs)
                gc.collect()
                blocks_after = sys.getallocatedblocks()
                refs_after = [sys.getrefcount(o) for o in watched]
                total_calls += iterations
                if refs_before != refs_after or blocks_after - blocks_before <= block_slack:
                    break
            grew = [(repr(o)[:40], x, y) for o, x, y in zip(watched, refs_before, refs_after) if x != y]
            if grew:
                problems.append("%s: argument refcounts changed %s" % (name, grew))
            if blocks_after - blocks_before > block_slack:
                problems.append("%s: allocated blocks grew by %d" % (name, blocks_after - blocks_before))
            if verbose:
                report("%-40s blocks %+d" % (name, blocks_after - blocks_before))
        gc.collect()
        rss_after = rss_kib()
    if rss_slack_kib is not None and rss_after - rss_before > rss_slack_kib:
        problems.append("resident memory grew by %d KiB" % (rss_after - rss_before))
    report("paths: %d, iterations per path: %d, calls: %d, resident memory %d -> %d KiB (%+d KiB), "
           "allocated blocks now %d, problems: %d"
           % (len(paths), iterations, total_calls, rss_before, rss_after, rss_after - rss_before,
              sys.getallocatedblocks(), len(problems)))
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--iterations", type=int, default=10000)
    parser.add_argument("--warmup", type=int, default=200)
    parser.add_argument("--block-slack", type=int, default=64)
    parser.add_argument("--rss-slack-kib", type=int, default=1024)
    parser.add_argument("--select", action="append", help="only paths whose name contains this")
    parser.add_argument("--exclude", action="append", help="leave out paths whose name contains this")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--verbose", action="store_true")
    opts = parser.parse_args()
    if opts.list:
        for p in build_paths():
            print(p[0])
        return 0
    problems = hunt(opts.iterations, opts.warmup, opts.block_slack, opts.rss_slack_kib, opts.verbose,
                    opts.select, exclude=opts.exclude)
    for p in problems:
        print("PROBLEM:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
