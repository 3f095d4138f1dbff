"""Language identification by letter-trigram profiles.

Each letter gets a random vector; a trigram abc is rho^2(a) * rho(b) * c, where rho is a cyclic
shift (`permute`) and * is `bind`, so "abc" and "cba" differ. A language's profile is the
`bundle` of its distinct trigrams weighted by their counts; a sentence is classified by the
profile its own trigram bundle is most similar to.

    tools/langid/fetch.sh                   # once: Debian's translated manual pages
    python examples/language_id.py          # train on some pages, test on the others

Without the fetched pages it runs on a small inline sample, and says so.
"""

import os
import sys

import velmora

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "langid"))
from manpage_text import load, split, trigram_counts  # noqa: E402

DIM, N = 10_000, 256
P = velmora.PhaseHVec
_letters, _trigrams = {}, {}


def letter(ch, shift):
    """rho^shift of the letter's random vector (seeded by its code point), cached."""
    key = (ch, shift)
    if key not in _letters:
        _letters[key] = P.random(DIM, N, ord(ch)).permute(shift)
    return _letters[key]


def trigram(g):
    if g not in _trigrams:
        _trigrams[g] = letter(g[0], 2).bind(letter(g[1], 1)).bind(letter(g[2], 0))
    return _trigrams[g]


def encode(text):
    """The count-weighted bundle of the text's distinct trigrams."""
    counts = trigram_counts(text)
    return P.bundle([trigram(g) for g in counts], weights=list(counts.values()))


SAMPLE = {
    "en": ("The file is opened for reading and the data are written to the standard output.",
           "When the option is given, the program prints the name of every file it reads."),
    "de": ("Die Datei wird zum Lesen geöffnet und die Daten werden auf die Standardausgabe geschrieben.",
           "Wenn die Option angegeben ist, gibt das Programm den Namen jeder gelesenen Datei aus."),
    "fr": ("Le fichier est ouvert en lecture et les données sont écrites sur la sortie standard.",
           "Quand cette option est donnée, le programme affiche le nom de chaque fichier lu."),
}


def main():
    text_dir = os.path.expanduser(os.environ.get("VELMORA_LANGID_TEXT", "~/.cache/velmora/langid/text"))
    if os.path.isdir(text_dir):
        train, test = split(load(text_dir))
    else:
        print("no manual pages in %s (run tools/langid/fetch.sh): using the inline sample" % text_dir)
        train = {lang: pair[0] for lang, pair in SAMPLE.items()}
        test = [(lang, pair[1]) for lang, pair in SAMPLE.items()]
    langs = sorted(train)
    profiles = [encode(train[lang]) for lang in langs]
    right = 0
    for lang, sentence in test:
        scores = encode(sentence).similarities(profiles)
        right += langs[max(range(len(langs)), key=scores.__getitem__)] == lang
    print("%d languages, %d test sentences: %d right (%.1f %%)"
          % (len(langs), len(test), right, 100.0 * right / len(test)))


if __name__ == "__main__":
    main()
