"""Deterministic, verifiable vector-symbolic (VSA) memory on a quantized-phase substrate."""

from collections.abc import Sequence
from typing import SupportsFloat, SupportsIndex, final

__all__ = ["__doc__", "PhaseHVec", "resonator_factorize"]

@final
class PhaseHVec:
    """A quantized-phase hypervector: `dim` phases in `Z_N`.

    Instances come only from `random`, `bind`, `unbind` and `bundle`; calling
    the class raises TypeError "cannot create 'builtins.PhaseHVec' instances".
    """

    @staticmethod
    def random(dim: SupportsIndex, n: SupportsIndex, seed: SupportsIndex) -> PhaseHVec:
        """A random phase vector of `dim` dimensions at resolution `n` (2..=65536), deterministic in `seed`."""

    @staticmethod
    def bundle(items: Sequence[PhaseHVec], *, weights: Sequence[SupportsIndex] | None = None) -> PhaseHVec:
        """Deterministic superposition (bundle) of a list of phase vectors.

        With `weights` (one non-negative int per item), the bundle of the items each
        repeated by its weight, bit for bit, at the cost of one pass per item."""

    def permute(self, shifts: SupportsIndex = 1) -> PhaseHVec:
        """Cyclic rotation of the components, as numpy.roll of the phases: component i
        lands at (i + shifts) mod dim. `shifts` is any int; `v.permute(k).permute(-k) == v`."""

    def power(self, exponent: SupportsIndex | SupportsFloat) -> PhaseHVec:
        """Phase-wise power. An int e gives (k * e) mod n exactly, for any size and sign;
        a real x rounds (signed k) * x to the nearest lattice point (halves away from zero).
        `v.power(1) == v`; `v.power(a).bind(v.power(b)) == v.power(a + b)` for ints."""

    def bind(self, other: PhaseHVec) -> PhaseHVec:
        """Bind two vectors (phase-add mod N). Non-self-inverse; inverse is `unbind`."""

    def unbind(self, other: PhaseHVec) -> PhaseHVec:
        """Unbind (phase-sub mod N). `a.bind(b).unbind(b) == a`."""

    def similarity(self, other: PhaseHVec) -> float:
        """Similarity: mean cosine of phase differences, in [-1, 1]."""

    def similarities(self, items: Sequence[PhaseHVec]) -> list[float]:
        """Similarities to many vectors at once: element k is exactly `self.similarity(items[k])`."""

    def factorize(
        self, codebooks: Sequence[Sequence[PhaseHVec]], max_iter: SupportsIndex | None = None
    ) -> list[tuple[int, float]]:
        """Factor this composite into one entry per codebook: `(index, coherence)` per codebook."""

    def phases(self) -> list[int]:
        """The raw phase indices as a list of ints in [0, n)."""

    @property
    def dim(self) -> int:
        """Number of components (read-only)."""

    @property
    def n(self) -> int:
        """Resolution: number of phase levels, 2..=65536 (read-only)."""

def resonator_factorize(
    composite: PhaseHVec,
    codebooks: Sequence[Sequence[PhaseHVec]],
    max_iter: SupportsIndex = 50,
) -> list[tuple[int, float]]:
    """Factor a composite `bind(f0, f1, ...)` into one codebook index per factor.

    Returns `(index, similarity)` for each factor.
    """
