"""Plain text from manual pages, and the train/test split that the language-identification
example and benchmark share.

    python tools/langid/manpage_text.py MAN_ROOT OUT_DIR

reads every page under MAN_ROOT (usr/share/man of an unpacked root: the English pages in
man<sec>/, each translation in <lang>/man<sec>/) and writes OUT_DIR/<lang>/<page>.<sec>.txt,
paragraphs separated by blank lines. Everything is deterministic: the files are read in sorted
order, and the output depends on nothing but their contents.

The stripper keeps running prose and drops what is not a sample of the language: comments,
headings, the synopsis (command syntax), examples and other no-fill blocks, tables, macro
definitions and font and size changes.
"""

import gzip
import os
import re
import sys
import zlib

# Named special characters that occur in prose; any other becomes nothing.
SPECIAL = {
    "em": "\u2014", "en": "\u2013", "hy": "-", "aq": "'", "dq": '"', "lq": "\u201c", "rq": "\u201d",
    "oq": "\u2018", "cq": "\u2019", "Fo": "\u00ab", "Fc": "\u00bb", "fo": "\u2039", "fc": "\u203a",
    "bu": "\u2022", "co": "\u00a9", "rg": "\u00ae", "tm": "\u2122", "de": "\u00b0", "mu": "\u00d7",
    "-": "-", "ti": "~", "ha": "^", "rs": "\\", "ga": "`", "aa": "\u00b4", "lh": "", "rh": "",
}
# Requests whose arguments are prose in one font, or alternating fonts glued together.
FONT_JOIN = {"B": " ", "I": " ", "SM": " ", "SB": " ",
             "BR": "", "RB": "", "BI": "", "IB": "", "IR": "", "RI": ""}
# Blocks whose contents are not prose: request that opens -> request that closes.
BLOCKS = {"nf": "fi", "EX": "EE", "TS": "TE", "EQ": "EN", "de": "..", "am": "..", "ig": "..",
          "SY": "YS", "MTO": "MTO"}
SKIPPED_SECTIONS = re.compile(r"^(SYNOPSIS|ÜBERSICHT|SYNOPSE|SINOPSIS|SINOSSI|SKŁADNIA|СИНТАКСИС|SAMENVATTING|"
                              r"REZUMAT|YHTEENVETO|SYNTAX|SYNOPSIS|OVERSIGT|SKRÓT|ÖSSZEGZÉS|КОРОТКИЙ ОПИС|"
                              r"TÓM TẮT|ΣΥΝΟΨΗ|RINGKASAN|СИНОПСИС|OVERSIKT|ПРЕГЛЕД|SINOPSE|SYNOPSE)\b", re.I)
ESCAPE = re.compile(r"""\\(?:
      f(?:\[[^\]]*\]|\(..|.)          # font change
    | s[-+]?(?:\d\d?|\[[^\]]*\]|\(\d\d)  # size change
    | [*n](?:\[[^\]]*\]|\(..|.)       # string or number register: dropped
    | \((..)                          # \(xx special character
    | \[([^\]]*)\]                    # \[name] special character
    | [kmgwhvlLoxXzZbDNSRCY]('[^']*'|\[[^\]]*\]|.)? # motions, widths, drawing: dropped
    | ([\-e&|^%:/,!{}c~0 .tE'`"])     # one-character escapes
    | (.)
)""", re.X)
ONE_CHAR = {"-": "-", "e": "\\", "~": " ", "0": " ", " ": " ", ".": ".", "'": "\u00b4", "`": "`",
            "t": " ", "E": "\\", '"': ""}


def _escape(m):
    special, name, one, other = m.group(1), m.group(2), m.group(4), m.group(5)
    if special is not None:
        return SPECIAL.get(special, "")
    if name is not None:
        if re.fullmatch(r"u[0-9A-Fa-f]{4,6}", name):
            return chr(int(name[1:], 16))
        return SPECIAL.get(name, "")
    if one is not None:
        return ONE_CHAR.get(one, "")
    if other is not None:
        return other
    return ""


def unescape(text):
    """troff escapes in one line of text resolved to their characters (font and size changes,
    strings, registers and motions dropped)."""
    text = text.split('\\"', 1)[0] if '\\"' in text else text  # an inline comment
    return ESCAPE.sub(_escape, text.replace("\\\\", "\x00")).replace("\x00", "\\")


def _arguments(rest):
    """A request's arguments: blank-separated, with double quotes grouping ("" is a quote)."""
    return [a.replace('""', '"') if a.startswith('"') else a
            for a in (m.group(1) if m.group(1) is not None else m.group(2)
                      for m in re.finditer(r'"((?:[^"]|"")*)"?|(\S+)', rest))]


def strip_troff(source):
    """The prose paragraphs of a manual page's troff source, as a list of strings."""
    paragraphs, current = [], []
    closing, skip_section, tag = None, False, False

    def flush():
        if current:
            text = re.sub(r"\s+", " ", " ".join(current)).strip()
            if text:
                paragraphs.append(text)
            current.clear()

    for line in source.splitlines():
        if closing is not None:
            if line.startswith((".", "'")) and line[1:].strip().split(" ")[0] in (closing, "."):
                closing = None
            continue
        if line.startswith((".", "'")):
            body = line[1:].lstrip()
            if body.startswith('\\"'):
                continue
            name, _, rest = body.partition(" ")
            name = name.strip()
            if name in BLOCKS:
                flush()
                closing = BLOCKS[name]
            elif name in ("SH", "SS"):
                flush()
                heading = unescape(" ".join(_arguments(rest)))
                skip_section = name == "SH" and bool(SKIPPED_SECTIONS.match(heading.strip()))
            elif skip_section:
                continue
            elif name in FONT_JOIN:
                current.append(unescape(FONT_JOIN[name].join(_arguments(rest))))
                if tag:  # a .TP tag (an option, mostly) stands apart from its description
                    flush()
                    tag = False
            elif name in ("IP", "TP", "HP", "PP", "LP", "P", "sp", "br", "TH", "bp", "in", "RS", "RE"):
                flush()
                tag = name == "TP"
                if name == "IP":
                    args = _arguments(rest)
                    if args and len(args[0]) > 3:  # a tag that is words, not a bullet or a number
                        current.append(unescape(args[0]))
                        flush()
            # any other request: no text of its own
            continue
        if skip_section:
            continue
        text = unescape(line)
        if not text.strip():
            flush()
        else:
            current.append(text)
            if tag:
                flush()
                tag = False
    flush()
    return paragraphs


def read_page(path):
    """A page's source text; None for a page that only sources another (`.so`)."""
    with open(path, "rb") as fh:
        data = fh.read()
    if path.endswith(".gz"):
        data = gzip.decompress(data)
    text = data.decode("utf-8", errors="replace")
    if text.lstrip().startswith(".so ") and text.count("\n") <= 2:
        return None
    return text


def extract(man_root, out_dir):
    """Write OUT_DIR/<lang>/<page>.<sec>.txt for every page under man_root; English is "en"."""
    counts = {}
    for top in sorted(os.listdir(man_root)):
        if re.fullmatch(r"man\w+", top):
            lang, base = "en", man_root
        elif os.path.isdir(os.path.join(man_root, top)) and not top.startswith("man"):
            lang, base = top, os.path.join(man_root, top)
        else:
            continue
        for sec in sorted(d for d in os.listdir(base) if re.fullmatch(r"man\w+", d)):
            if lang == "en" and sec != top:
                continue
            folder = os.path.join(base, sec)
            for name in sorted(os.listdir(folder)):
                source = read_page(os.path.join(folder, name))
                if source is None:
                    continue
                paragraphs = strip_troff(source)
                if not paragraphs:
                    continue
                page = name[:-3] if name.endswith(".gz") else name
                os.makedirs(os.path.join(out_dir, lang), exist_ok=True)
                with open(os.path.join(out_dir, lang, page + ".txt"), "w", encoding="utf-8") as fh:
                    fh.write("\n\n".join(paragraphs) + "\n")
                counts[lang] = counts.get(lang, 0) + 1
    for lang in sorted(counts):
        print("%s: %d pages" % (lang, counts[lang]))


# The split, shared by the example and the benchmark.

SENTENCE_END = re.compile(r"(?<=[.!?;])\s+")
MIN_SENTENCE = 40


def is_test_page(page, test_share=5):
    """One page name in test_share goes to testing, in every language alike, chosen by a
    checksum of the name alone so that the split never depends on which pages exist."""
    return zlib.crc32(page.encode("utf-8")) % test_share == 0


PUNCTUATION = ".,;:!?\"'()[]{}<>\u00ab\u00bb\u201c\u201d\u201e\u2018\u2019\u2039\u203a"


def _is_word(token):
    """A word of running text: letters (hyphens and apostrophes inside), once the punctuation
    around it is taken off. Not one: paths, addresses, options, numbers, identifiers with
    underscores or calls, and words in capitals (constants, placeholders such as FILE)."""
    core = token.strip(PUNCTUATION)
    if not core or all(c in "-\u2013\u2014" for c in core):
        return True  # punctuation of its own, a dash
    return (all(c.isalpha() or c in "-'\u2019" for c in core) and core[0].isalpha()
            and not (len(core) > 1 and core.isupper()))


# A command line quoted in ASCII single quotes, as in "or locally: info '(coreutils) ls invocation'":
# the quotes open at a token's start and close at a token's end, so the apostrophes inside words
# (l'option, aujourd'hui) never match.
QUOTED_LITERAL = re.compile(r"(?<!\S)'[^'\n]*'(?=[\s.,;:!?)]|$)")


def prose(sentence):
    """The sentence with its quoted command lines and its tokens that are not words of the
    language (see _is_word) left out."""
    return " ".join(t for t in QUOTED_LITERAL.sub(" ", sentence).split() if _is_word(t))


def sentences(text, min_length=MIN_SENTENCE):
    """Sentences, as their prose (tokens that are not words left out), of at least min_length
    characters that are mostly letters."""
    out = []
    for paragraph in text.split("\n\n"):
        for s in SENTENCE_END.split(paragraph.strip()):
            s = prose(s)
            if len(s) >= min_length and sum(c.isalpha() or c == " " for c in s) >= 0.8 * len(s):
                out.append(s)
    return out


def load(text_dir):
    """{lang: {page: text}} from an extract() folder."""
    corpus = {}
    for lang in sorted(os.listdir(text_dir)):
        folder = os.path.join(text_dir, lang)
        corpus[lang] = {}
        for name in sorted(os.listdir(folder)):
            with open(os.path.join(folder, name), encoding="utf-8") as fh:
                corpus[lang][name[:-4]] = fh.read()
    return corpus


WORD = re.compile(r"[^\W\d_]+")


def _is_english(sentence, english_words, share=0.8):
    """Whether nearly every word of the sentence is an English word: an untranslated sentence
    whose English original reads a little differently from the packaged English page."""
    words = WORD.findall(sentence.lower())
    return bool(words) and sum(w in english_words for w in words) >= share * len(words)


def _non_ascii_share(text):
    letters = [c for c in text if c.isalpha()]
    return sum(not c.isascii() for c in letters) / max(1, len(letters))


def split(corpus, train_chars=400_000, test_sentences=200):
    """(train, test): train[lang] is training text from the training pages, up to train_chars
    characters (pages in name order); test is a list of (lang, sentence) pairs, up to
    test_sentences per language from the other pages.

    A translation ships the paragraphs it has not translated yet in English, so what is not a
    sample of its language is left out of both sides: a sentence that also occurs in the English
    pages, one whose words are nearly all English words, and, in a language written in another
    script than Latin (most of its letters not ASCII), a sentence whose letters are mostly ASCII
    (command names, identifiers, English).
    """
    english, english_words = set(), set()
    for text in corpus.get("en", {}).values():
        english.update(sentences(text, 1))
        english_words.update(WORD.findall(text.lower()))
    train, test = {}, []
    for lang, pages in corpus.items():
        other_script = lang != "en" and _non_ascii_share(" ".join(pages.values())) > 0.5
        parts, size, pool = [], 0, set()
        for page, text in pages.items():
            kept = [s for s in sentences(text, 1)
                    if lang == "en" or not (s in english or _is_english(s, english_words)
                                            or (other_script and _non_ascii_share(s) < 0.5))]
            if is_test_page(page):
                pool.update(s for s in kept if len(s) >= MIN_SENTENCE)
            elif size < train_chars:
                chunk = " ".join(kept)
                parts.append(chunk)
                size += len(chunk) + 1
        train[lang] = " ".join(parts)[:train_chars]
        # A checksum order spreads the chosen sentences over the test pages.
        chosen = sorted(pool, key=lambda s: (zlib.crc32(s.encode("utf-8")), s))[:test_sentences]
        test.extend((lang, s) for s in chosen)
    return train, test


NON_LETTERS = re.compile(r"[\W\d_]+")


def normalise(text):
    """Lower case, and every run of non-letters one space: the alphabet of the trigrams."""
    return " " + " ".join(NON_LETTERS.sub(" ", text.lower()).split()) + " "


def trigram_counts(text):
    """{trigram: count} of the normalised text, in first-occurrence order."""
    t = normalise(text)
    counts = {}
    for i in range(len(t) - 2):
        g = t[i:i + 3]
        counts[g] = counts.get(g, 0) + 1
    return counts


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: manpage_text.py MAN_ROOT OUT_DIR")
    extract(sys.argv[1], sys.argv[2])
