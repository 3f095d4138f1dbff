"""Records and a small knowledge graph: role-filler binding, bundling, query by unbinding, clean-up.

Each country is a record: the bundle of role.bind(filler) pairs. Asking a record
for a role unbinds the role and cleans the noisy answer up against the codebook
of all fillers (the nearest by similarity). The whole graph, every record bound
to its country's name and bundled, answers "capital of Sweden?" the same way.

    python examples/knowledge_graph.py [--dim 4096] [--n 16]
"""

import argparse

from velmora import PhaseHVec

FACTS = {
    "sweden": {"capital": "stockholm", "currency": "krona", "language": "swedish"},
    "mexico": {"capital": "mexico_city", "currency": "peso", "language": "spanish"},
    "japan": {"capital": "tokyo", "currency": "yen", "language": "japanese"},
    "kenya": {"capital": "nairobi", "currency": "shilling", "language": "swahili"},
}


class Symbols:
    """A codebook of named seeded vectors: the name's position gives the seed."""

    def __init__(self, names, dim, n, first_seed):
        self.names = list(names)
        self.vectors = {name: PhaseHVec.random(dim, n, first_seed + i) for i, name in enumerate(self.names)}
        self.book = [self.vectors[name] for name in self.names]

    def __getitem__(self, name):
        return self.vectors[name]

    def cleanup(self, noisy):
        """(name, similarity) of the stored symbol most similar to `noisy`."""
        scores = noisy.similarities(self.book)
        best = max(range(len(scores)), key=scores.__getitem__)
        return self.names[best], scores[best]


def build(dim, n):
    roles = Symbols(["capital", "currency", "language"], dim, n, 1000)
    fillers = Symbols(sorted({f for record in FACTS.values() for f in record.values()}), dim, n, 2000)
    countries = Symbols(sorted(FACTS), dim, n, 3000)
    records = {c: PhaseHVec.bundle([roles[r].bind(fillers[f]) for r, f in rec.items()]) for c, rec in FACTS.items()}
    graph = PhaseHVec.bundle([countries[c].bind(rec) for c, rec in records.items()])
    return roles, fillers, countries, records, graph


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dim", type=int, default=4096)
    parser.add_argument("--n", type=int, default=16)
    args = parser.parse_args(argv)
    roles, fillers, countries, records, graph = build(args.dim, args.n)

    answers = {}
    for country, record in records.items():
        for role, truth in FACTS[country].items():
            answer, score = fillers.cleanup(record.unbind(roles[role]))
            answers[(country, role)] = answer
            print(f"record[{country}].{role:8} -> {answer:12} (similarity {score:.3f})")
    # Two hops through the graph: unbind the country, then the role.
    answer, score = fillers.cleanup(graph.unbind(countries["sweden"]).unbind(roles["capital"]))
    print(f"graph: capital of sweden -> {answer} (similarity {score:.3f})")
    answers[("graph", "sweden", "capital")] = answer
    wrong = {k: v for k, v in answers.items() if k[0] != "graph" and FACTS[k[0]][k[1]] != v}
    assert not wrong and answer == "stockholm", (wrong, answer)
    return answers


if __name__ == "__main__":
    main()
