"""velmora in one minute: seeded vectors, binding, unbinding and similarity."""

import velmora
from velmora import PhaseHVec

DIM, N = 4096, 16

# Vectors are pure functions of (dim, n, seed): the same seed gives the same
# phases on every machine, so a seed is all you need to store.
colour = PhaseHVec.random(DIM, N, seed=1)
red = PhaseHVec.random(DIM, N, seed=2)
shape = PhaseHVec.random(DIM, N, seed=3)
circle = PhaseHVec.random(DIM, N, seed=4)
print(velmora.__doc__)
print("colour =", colour)

# Binding adds phases mod n; unbinding subtracts them and restores the input exactly.
pair = colour.bind(red)
assert pair.unbind(red).phases() == colour.phases()
print("colour.bind(red).unbind(red) restores colour exactly")

# A record is the superposition of role-filler pairs.
record = PhaseHVec.bundle([colour.bind(red), shape.bind(circle)])

# Asking the record for a role's filler: unbind the role, compare with candidates.
answer = record.unbind(colour)
for name, candidate in [("red", red), ("circle", circle), ("shape", shape)]:
    print(f"similarity(record - colour, {name:6}) = {answer.similarity(candidate):+.3f}")

unrelated = PhaseHVec.random(DIM, N, seed=99)
print(f"similarity(red, unrelated)           = {red.similarity(unrelated):+.3f}")
print(f"similarity(red, red)                 = {red.similarity(red):+.3f}")

# Factor a bound composite back into its codebook entries.
letters = [PhaseHVec.random(DIM, N, seed=100 + i) for i in range(10)]
digits = [PhaseHVec.random(DIM, N, seed=200 + i) for i in range(10)]
composite = letters[7].bind(digits[3])
print("resonator_factorize ->", velmora.resonator_factorize(composite, [letters, digits]))
