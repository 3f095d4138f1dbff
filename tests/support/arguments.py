"""Arguments the tests pass to provoke conversion and binding failures:
sequences and integers with unusual protocols, the codebooks that both
factorizers refuse, and the binding table of every callable."""

import velmora

# Argument binding: every callable, its exact TypeError messages.

P = velmora.PhaseHVec
A = P.random(8, 16, 1)
B = P.random(8, 16, 2)
BOOKS = [[P.random(64, 16, s) for s in (1, 2, 3)], [P.random(64, 16, s) for s in (11, 12, 13)]]
COMPOSITE = BOOKS[0][2].bind(BOOKS[1][0])

# name -> (callable, valid positional arguments)
CALLABLES = {
    "random": (P.random, (8, 16, 1)),
    "bind": (A.bind, (B,)),
    "unbind": (A.unbind, (B,)),
    "similarity": (A.similarity, (B,)),
    "bundle": (P.bundle, ([A],)),
    "similarities": (A.similarities, ([B],)),
    "resonator": (velmora.resonator_factorize, (COMPOSITE, BOOKS, 0)),
}


def call(name, *args, **kwargs):
    return CALLABLES[name][0](*args, **kwargs)


def _other_binding_errors(op):
    name = "PhaseHVec.%s()" % op
    return [
        (op, (), {}, name + " missing 1 required positional argument: 'other'"),
        (op, (B, B), {}, name + " takes 1 positional arguments but 2 were given"),
        (op, (B, B), {"colour": 1}, name + " takes 1 positional arguments but 2 were given"),
        (op, (B,), {"other": B}, name + " got multiple values for argument 'other'"),
        (op, (B,), {"colour": 1}, name + " got an unexpected keyword argument 'colour'"),
        (op, (), {"Other": B}, name + " got an unexpected keyword argument 'Other'"),
    ]


# (callable name, args, kwargs, message)
BINDING_ERRORS = [
    ("random", (), {}, "PhaseHVec.random() missing 3 required positional arguments: 'dim', 'n', and 'seed'"),
    ("random", (8,), {}, "PhaseHVec.random() missing 2 required positional arguments: 'n' and 'seed'"),
    ("random", (8, 4), {}, "PhaseHVec.random() missing 1 required positional argument: 'seed'"),
    ("random", (8,), {"seed": 1}, "PhaseHVec.random() missing 1 required positional argument: 'n'"),
    ("random", (), {"n": 4}, "PhaseHVec.random() missing 2 required positional arguments: 'dim' and 'seed'"),
    ("random", (), {"seed": 1}, "PhaseHVec.random() missing 2 required positional arguments: 'dim' and 'n'"),
    ("random", ("x",), {}, "PhaseHVec.random() missing 2 required positional arguments: 'n' and 'seed'"),
    *_other_binding_errors("bind"),
    *_other_binding_errors("unbind"),
    *_other_binding_errors("similarity"),
    ("bundle", (), {}, "PhaseHVec.bundle() missing 1 required positional argument: 'items'"),
    ("similarities", (), {}, "PhaseHVec.similarities() missing 1 required positional argument: 'items'"),
    ("similarities", ([B], [B]), {}, "PhaseHVec.similarities() takes 1 positional arguments but 2 were given"),
    ("similarities", ([B],), {"items": [B]}, "PhaseHVec.similarities() got multiple values for argument 'items'"),
    ("similarities", ([B],), {"other": B}, "PhaseHVec.similarities() got an unexpected keyword argument 'other'"),
    ("resonator", (), {}, "resonator_factorize() missing 2 required positional arguments: 'composite' and 'codebooks'"),
    ("resonator", (), {"max_iter": 3}, "resonator_factorize() missing 2 required positional arguments: 'composite' and 'codebooks'"),
    ("resonator", (COMPOSITE,), {}, "resonator_factorize() missing 1 required positional argument: 'codebooks'"),
    ("resonator", (1,), {}, "resonator_factorize() missing 1 required positional argument: 'codebooks'"),
    ("resonator", (), {"codebooks": []}, "resonator_factorize() missing 1 required positional argument: 'composite'"),
    ("resonator", (5,), {"max_iter": -1}, "resonator_factorize() missing 1 required positional argument: 'codebooks'"),
    # surplus positionals are reported before any keyword is looked at
    ("random", (8, 4, 1, 2), {}, "PhaseHVec.random() takes 3 positional arguments but 4 were given"),
    ("random", (8, 4, 1, 2), {"bogus": 3}, "PhaseHVec.random() takes 3 positional arguments but 4 were given"),
    ("random", (8, 4, 1, 2, 3), {"bogus": 3}, "PhaseHVec.random() takes 3 positional arguments but 5 were given"),
    ("unbind", (B, B), {"other": B}, "PhaseHVec.unbind() takes 1 positional arguments but 2 were given"),
    ("similarity", (1, 2, 3), {}, "PhaseHVec.similarity() takes 1 positional arguments but 3 were given"),
    ("bundle", ([], []), {}, "PhaseHVec.bundle() takes 1 positional arguments but 2 were given"),
    ("bundle", ([A], [A]), {"x": 1}, "PhaseHVec.bundle() takes 1 positional arguments but 2 were given"),
    ("resonator", (COMPOSITE, BOOKS, 50, 1), {}, "resonator_factorize() takes from 2 to 3 positional arguments but 4 were given"),
    ("resonator", (1, 2, 3, 4), {}, "resonator_factorize() takes from 2 to 3 positional arguments but 4 were given"),
    ("resonator", (1, 2, 3, 4, 5), {"composite": 1}, "resonator_factorize() takes from 2 to 3 positional arguments but 5 were given"),
    # multiple values
    ("random", (8,), {"dim": 8, "n": 4, "seed": 1}, "PhaseHVec.random() got multiple values for argument 'dim'"),
    ("random", (8, 4, 1), {"dim": 3}, "PhaseHVec.random() got multiple values for argument 'dim'"),
    ("random", (8, 4, 1), {"seed": 1}, "PhaseHVec.random() got multiple values for argument 'seed'"),
    ("bundle", ([A],), {"items": [A]}, "PhaseHVec.bundle() got multiple values for argument 'items'"),
    ("bundle", ([],), {"items": []}, "PhaseHVec.bundle() got multiple values for argument 'items'"),
    ("resonator", (COMPOSITE, BOOKS, 3), {"max_iter": 3}, "resonator_factorize() got multiple values for argument 'max_iter'"),
    ("resonator", (1, 2), {"composite": 1}, "resonator_factorize() got multiple values for argument 'composite'"),
    # unexpected keywords (exact, case-sensitive match)
    ("random", (8, 4, 1), {"Seed": 3}, "PhaseHVec.random() got an unexpected keyword argument 'Seed'"),
    ("random", (8, 4, 1), {"seed ": 1}, "PhaseHVec.random() got an unexpected keyword argument 'seed '"),
    ("random", (8, 4, 1), {"\udc80": 1}, "PhaseHVec.random() got an unexpected keyword argument '\udc80'"),
    ("bind", (B,), {"oth\udc80er": 1}, "PhaseHVec.bind() got an unexpected keyword argument 'oth\udc80er'"),
    ("bundle", ([A],), {"item": 1}, "PhaseHVec.bundle() got an unexpected keyword argument 'item'"),
    ("bundle", (), {"item": []}, "PhaseHVec.bundle() got an unexpected keyword argument 'item'"),
    ("resonator", (COMPOSITE, BOOKS), {"maxiter": 1}, "resonator_factorize() got an unexpected keyword argument 'maxiter'"),
    ("resonator", (1, 2), {"max_iters": 1}, "resonator_factorize() got an unexpected keyword argument 'max_iters'"),
    # the first failing keyword (dict order) ends binding
    ("random", (8, 4), {"zzz": 1, "dim": 2}, "PhaseHVec.random() got an unexpected keyword argument 'zzz'"),
    ("random", (8, 4), {"dim": 2, "zzz": 1}, "PhaseHVec.random() got multiple values for argument 'dim'"),
    ("random", (), {"n": 4, "n2": 1}, "PhaseHVec.random() got an unexpected keyword argument 'n2'"),
    ("resonator", (), {"codebooks": [], "composite": A, "other": 1}, "resonator_factorize() got an unexpected keyword argument 'other'"),
    # binding happens before any conversion
    ("random", ("x", -1, None), {"bogus": 1}, "PhaseHVec.random() got an unexpected keyword argument 'bogus'"),
    ("bind", (None,), {"other": 5}, "PhaseHVec.bind() got multiple values for argument 'other'"),
]


class LyingSeq:
    """A sequence whose length is wrong or fails: the length is only a hint
    (possibly absurd), iteration is what counts."""

    def __init__(self, items, length):
        self.items = items
        self.length = length

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return self.length

    def __getitem__(self, i):
        return self.items[i]


class Index:
    """An integer only through __index__."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class StrSub(str):
    pass


class RaisingIter:
    """A sequence whose iteration fails."""

    def __len__(self):
        return 1

    def __getitem__(self, i):
        raise LookupError("no items here")


class FailingAfterOne:
    def __init__(self, first):
        self.first = first

    def __len__(self):
        return 2

    def __getitem__(self, i):
        if i == 0:
            return self.first
        raise ZeroDivisionError("second item")


def bad_codebooks():
    """(codebooks, exception type, message): each refused by resonator_factorize
    and PhaseHVec.factorize alike."""
    a, b = P.random(8, 8, 1), P.random(8, 8, 2)
    return [
        ("abc", TypeError, "Can't extract `str` to `Vec`"),
        (StrSub("x"), TypeError, "Can't extract `str` to `Vec`"),
        ({a}, TypeError, "'set' object is not an instance of 'Sequence'"),
        (5, TypeError, "'int' object is not an instance of 'Sequence'"),
        (None, TypeError, "'None' is not an instance of 'Sequence'"),
        ({0: [a]}, TypeError, "'dict' object is not an instance of 'Sequence'"),
        (iter([[a]]), TypeError, "'list_iterator' object is not an instance of 'Sequence'"),
        ([a], TypeError, "'PhaseHVec' object is not an instance of 'Sequence'"),
        (["ab"], TypeError, "Can't extract `str` to `Vec`"),
        ([[a], StrSub("ab")], TypeError, "Can't extract `str` to `Vec`"),
        ([[a], 7], TypeError, "'int' object is not an instance of 'Sequence'"),
        ([[a], {a}], TypeError, "'set' object is not an instance of 'Sequence'"),
        ([[a, b, 5]], TypeError, "'int' object is not an instance of 'PhaseHVec'"),
        ([[a], [None]], TypeError, "'None' is not an instance of 'PhaseHVec'"),
        ([[a], b"\x01"], TypeError, "'int' object is not an instance of 'PhaseHVec'"),
        ([range(1)], TypeError, "'int' object is not an instance of 'PhaseHVec'"),
        ([[a, 1.5]], TypeError, "'float' object is not an instance of 'PhaseHVec'"),
        ([[a], "x", [5]], TypeError, "Can't extract `str` to `Vec`"),   # first failing item wins
        ([[5], "x"], TypeError, "'int' object is not an instance of 'PhaseHVec'"),
        (RaisingIter(), LookupError, "no items here"),
        ([[a], RaisingIter()], LookupError, "no items here"),
        (FailingAfterOne([a]), ZeroDivisionError, "second item"),
        ([FailingAfterOne(a)], ZeroDivisionError, "second item"),
    ]
