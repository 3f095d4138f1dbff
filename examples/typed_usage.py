"""Fully typed use of velmora: passes `mypy --strict` and pyright against the shipped stubs.

    python examples/typed_usage.py
    mypy --strict examples/typed_usage.py && basedpyright examples/typed_usage.py
"""

from __future__ import annotations

from collections.abc import Sequence

from velmora import PhaseHVec, resonator_factorize


def codebook(dim: int, n: int, first_seed: int, size: int) -> list[PhaseHVec]:
    """`size` seeded vectors: the seeds are the whole description of the codebook."""
    return [PhaseHVec.random(dim, n, first_seed + i) for i in range(size)]


def factor(composite: PhaseHVec, books: Sequence[Sequence[PhaseHVec]]) -> list[int]:
    """The codebook index the resonator picks for every factor."""
    found: list[tuple[int, float]] = resonator_factorize(composite, books, max_iter=50)
    return [index for index, _similarity in found]


def nearest(query: PhaseHVec, candidates: Sequence[PhaseHVec]) -> tuple[int, float]:
    """Clean-up memory: the candidate most similar to `query`."""
    scores = [query.similarity(c) for c in candidates]
    best = max(range(len(scores)), key=scores.__getitem__)
    return best, scores[best]


def main() -> None:
    dim, n = 1024, 16
    shapes = codebook(dim, n, 100, 8)
    colours = codebook(dim, n, 200, 8)
    sizes = codebook(dim, n, 300, 8)
    scene = shapes[3].bind(colours[5]).bind(sizes[1])
    indices = factor(scene, [shapes, colours, sizes])
    assert indices == [3, 5, 1], indices

    memory = PhaseHVec.bundle([shapes[3], colours[5]])
    index, score = nearest(memory, shapes)
    phases: list[int] = memory.phases()
    width: int = memory.dim
    levels: int = memory.n
    assert (index, width, levels, len(phases)) == (3, dim, n, dim)
    print(f"factors {indices}; bundle recalls shape {index} at similarity {score:.3f}")


if __name__ == "__main__":
    main()
