"""PhaseHVec.similarities: the loop of similarity in one call, bit for bit."""

import random

import pytest

import velmora
from support.checks import assert_refcounts_stable, raised

P = velmora.PhaseHVec
INCOMPATIBLE = "phase vectors differ in dimension or resolution"


def hexes(values):
    return [v.hex() for v in values]


@pytest.mark.parametrize("dim", [0, 1, 7, 64, 10000])
@pytest.mark.parametrize("n", [2, 16, 1000, 65536])
def test_equals_the_loop_of_similarity(n, dim):
    rng = random.Random(n * 100003 + dim)
    a = P.random(dim, n, rng.getrandbits(64))
    # Counts around the lane widths; the query itself and a repeat among the items.
    for count in (1, rng.randrange(2, 40), 70):
        items = [P.random(dim, n, rng.getrandbits(64)) for _ in range(count)] + [a]
        items.insert(count // 2, items[0])
        got = a.similarities(items)
        assert type(got) is list and {type(x) for x in got} == {float}
        assert hexes(got) == hexes([a.similarity(x) for x in items])


@pytest.mark.parametrize("a, items", [
    (P.random(8, 16, 1), [P.random(8, 16, 2), P.random(9, 16, 1)]),
    (P.random(8, 16, 1), (P.random(8, 17, 1), P.random(8, 16, 2))),
    (P.random(0, 16, 1), [P.random(0, 16, 2), P.random(0, 4, 1)]),
])
def test_an_incompatible_item_is_similaritys_error(a, items):
    with pytest.raises(ValueError) as ei:
        a.similarities(items)
    assert type(ei.value) is ValueError and ei.value.args == (INCOMPATIBLE,)
    assert not hasattr(ei.value, "__notes__")


@pytest.mark.parametrize("items", [[], ()])
def test_empty_items_give_an_empty_list(items):
    assert P.random(5, 16, 1).similarities(items) == []


def test_items_read_in_place_and_reference_counts_stable():
    a = P.random(300, 16, 1)
    items = [P.random(300, 16, s) for s in range(40)]
    odd = P.random(301, 16, 1)
    before = [x.phases() for x in items]

    def exercise():
        a.similarities(items)
        a.similarities(tuple(items))
        assert raised(a.similarities, items + [odd]) is ValueError
        assert raised(a.similarities, items + [5]) is TypeError

    assert_refcounts_stable([a, odd, *items], exercise)
    assert [x.phases() for x in items] == before
