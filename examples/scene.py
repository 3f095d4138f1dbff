"""Scene factorization with the resonator: what is where, without trying every combination.

An object is shape.bind(colour).bind(position); a scene is the bundle of its
objects. The resonator factors a single object into its three attributes (one
index per codebook, instead of a search over shapes x colours x positions), and
factors "what is at position p?" out of the whole scene: unbinding p leaves the
object there (plus the other objects as noise), which factors into shape and colour.

    python examples/scene.py [--dim 2048] [--n 16] [--objects 3] [--scenes 5]
"""

import argparse

from velmora import PhaseHVec

SHAPES = ["circle", "square", "triangle", "star", "heart", "cross", "ring", "arrow"]
COLOURS = ["red", "green", "blue", "yellow", "black", "white", "purple", "orange"]
POSITIONS = ["top-left", "top", "top-right", "left", "centre", "right", "bottom-left", "bottom", "bottom-right"]


def codebook(names, dim, n, first_seed):
    return [PhaseHVec.random(dim, n, first_seed + i) for i in range(len(names))]


def scene_objects(scene, count):
    """A seeded choice of `count` objects at distinct positions: (shape, colour, position) indices."""
    objects, used = [], set()
    for k in range(count):
        pos = (scene * 5 + k * 7) % len(POSITIONS)
        while pos in used:
            pos = (pos + 1) % len(POSITIONS)
        used.add(pos)
        objects.append(((scene * 3 + k * 5) % len(SHAPES), (scene * 7 + k * 3 + 1) % len(COLOURS), pos))
    return objects


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dim", type=int, default=2048)
    parser.add_argument("--n", type=int, default=16)
    parser.add_argument("--objects", type=int, default=3, help="objects per scene")
    parser.add_argument("--scenes", type=int, default=5)
    args = parser.parse_args(argv)
    shapes = codebook(SHAPES, args.dim, args.n, 100)
    colours = codebook(COLOURS, args.dim, args.n, 200)
    positions = codebook(POSITIONS, args.dim, args.n, 300)

    right = total = 0
    for s in range(args.scenes):
        objects = scene_objects(s, args.objects)
        bound = [shapes[a].bind(colours[b]).bind(positions[p]) for a, b, p in objects]
        # One object alone: all three attributes at once.
        found = bound[0].factorize([shapes, colours, positions])
        single_ok = [i for i, _ in found] == list(objects[0])
        right, total = right + single_ok, total + 1
        scene = PhaseHVec.bundle(bound)
        described = []
        for a, b, p in objects:
            (sa, _), (sb, _) = scene.unbind(positions[p]).factorize([shapes, colours])
            ok = (sa, sb) == (a, b)
            right, total = right + ok, total + 1
            described.append(f"{COLOURS[sb]} {SHAPES[sa]} at {POSITIONS[p]}{'' if ok else ' (WRONG)'}")
        print(f"scene {s}: {'; '.join(described)}; first object factored {'right' if single_ok else 'WRONG'}")
    print(f"{right}/{total} factorizations right")
    assert right == total
    return right, total


if __name__ == "__main__":
    main()
