"""The classic analogy: "what is the dollar of Mexico?" answered by algebra on records.

USA and MEX are records, bundles of role.bind(filler). The mapping between them
is MEX.unbind(USA): among its terms, currency.bind(peso) minus currency.bind(dollar)
leaves peso minus dollar. Binding dollar with the mapping therefore lands near
peso, with no role named in the query. Clean-up against all fillers names it.

    python examples/analogy.py [--dim 8192] [--n 16]
"""

import argparse

from velmora import PhaseHVec

ROLES = ["name", "capital", "currency"]
USA = {"name": "usa", "capital": "washington", "currency": "dollar"}
MEXICO = {"name": "mexico", "capital": "mexico_city", "currency": "peso"}


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dim", type=int, default=8192)
    parser.add_argument("--n", type=int, default=16)
    args = parser.parse_args(argv)
    dim, n = args.dim, args.n

    role = {r: PhaseHVec.random(dim, n, 10 + i) for i, r in enumerate(ROLES)}
    names = sorted(set(USA.values()) | set(MEXICO.values()))
    filler = {f: PhaseHVec.random(dim, n, 100 + i) for i, f in enumerate(names)}

    def record(facts):
        return PhaseHVec.bundle([role[r].bind(filler[f]) for r, f in facts.items()])

    usa, mexico = record(USA), record(MEXICO)
    mapping = mexico.unbind(usa)  # takes USA's fillers to Mexico's
    answers = {}
    for known in ("dollar", "washington", "usa"):
        guess = filler[known].bind(mapping)
        ranked = sorted(((guess.similarity(v), f) for f, v in filler.items() if f != known), reverse=True)
        answers[known] = ranked[0][1]
        print(f"what is the {known} of mexico? {ranked[0][1]} "
              f"(similarity {ranked[0][0]:.3f}; runner-up {ranked[1][1]} {ranked[1][0]:.3f})")
    assert answers == {"dollar": "peso", "washington": "mexico_city", "usa": "mexico"}, answers
    return answers


if __name__ == "__main__":
    main()
