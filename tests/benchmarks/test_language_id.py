"""The language-identification pipeline's pieces on small inline text: troff stripping, trigram
counting, the split's determinism, and the trigram encoding against the phases by hand."""

import importlib
import os
import sys

import pytest

from support.checks import ROOT

sys.path.insert(0, os.path.join(ROOT, "tools", "langid"))
import manpage_text as mt  # noqa: E402

PAGE = r""".\" a comment that is not text
.TH LS 1 "2022" "coreutils" "User Commands"
.SH NAME
ls \- list directory contents
.SH SYNOPSIS
\fBls\fP [\fI\,OPTION\/\fP]... [\fI\,FILE\/\fP]...
.SH DESCRIPTION
List information about the FILEs (the current directory by default).
Entries are sorted \fBalphabetically\fR if none of \-cftuvSUX nor \(lqsort\(rq is given.\" inline
.TP
.BR \-a ", " \-\-all
do not ignore entries starting with \[u00E9]t\(em\&.
.nf
code that is not prose
.fi
.PP
Caf\['e] \e done.
"""


def test_strip_troff_keeps_prose_only():
    assert mt.strip_troff(PAGE) == [
        "ls - list directory contents",
        "List information about the FILEs (the current directory by default). Entries are sorted "
        "alphabetically if none of -cftuvSUX nor \u201csort\u201d is given.",
        "-a, --all",
        "do not ignore entries starting with \u00e9t\u2014.",
        "Caf \\ done.",
    ]


@pytest.mark.parametrize("text, expected", [
    ("Ab, ab!", {" ab": 2, "ab ": 2, "b a": 1}),
    ("x2_Ω", {" x ": 1, "x \u03c9": 1, " \u03c9 ": 1}),
    ("", {}),
])
def test_trigram_counts(text, expected):
    assert mt.trigram_counts(text) == expected


def test_sentences_need_forty_mostly_letter_characters():
    text = "Short one. " + "This sentence is long enough to be kept as a sample." + "\n\n/usr/lib/x86_64/a/b/c/d/e/f/g/h/i.so.1.2.3"
    assert mt.sentences(text) == ["This sentence is long enough to be kept as a sample."]


def test_split_is_deterministic_and_keeps_pages_apart():
    pages = {"p%d.1" % i: "Sentence number %s of a page, long enough to be a test sample. More words here." % ("x" * (i + 1))
             for i in range(40)}
    corpus = {"en": {"q.1": "Not shared."}, "xx": pages, "yy": dict(reversed(list(pages.items())))}
    train, test = mt.split(corpus, train_chars=500, test_sentences=3)
    assert (train, test) == mt.split(corpus, train_chars=500, test_sentences=3)
    assert [lang for lang, _ in test] == ["xx"] * 3 + ["yy"] * 3
    tested = {p for p in pages if mt.is_test_page(p)}
    assert 0 < len(tested) < len(pages)
    for _, s in test:
        assert any(mt.prose(pages[p]).startswith(s) for p in tested) and s not in train["xx"]
    assert len(train["xx"]) == 500 and "p1 " not in train["xx"]
    # untranslated (English) sentences are samples of neither side
    corpus["xx"]["p0.1"] = "An English sentence that a translation left as it was, long."
    corpus["en"]["e.1"] = corpus["xx"]["p0.1"]
    assert corpus["en"]["e.1"] not in mt.split(corpus)[0]["xx"]


def test_trigram_encoding_matches_the_phases_by_hand():
    sys.path.insert(0, os.path.join(ROOT, "examples"))
    example = importlib.import_module("language_id")
    dim, n = example.DIM, example.N

    def roll(p, k):
        return [p[(i - k) % dim] for i in range(dim)]

    a, b, c = (example.P.random(dim, n, ord(ch)).phases() for ch in "éa ")
    expected = [(x + y + z) % n for x, y, z in zip(roll(a, 2), roll(b, 1), c)]
    assert example.trigram("éa ").phases() == expected
    counts = mt.trigram_counts("aé aé")
    profile = example.encode("aé aé")
    assert profile.phases() == example.P.bundle(
        [example.trigram(g) for g, k in counts.items() for _ in range(k)]).phases()


def test_example_runs_on_the_inline_sample(tmp_path):
    import subprocess
    env = dict(os.environ, VELMORA_LANGID_TEXT=str(tmp_path / "absent"))
    proc = subprocess.run([sys.executable, os.path.join(ROOT, "examples", "language_id.py")], env=env,
                          capture_output=True, text=True, timeout=120)
    assert proc.returncode == 0, proc.stderr
    assert "using the inline sample" in proc.stdout and "3 test sentences: 3 right" in proc.stdout


@pytest.mark.parametrize("sentence, kept", [
    ("Fuld dokumentation <https://www.gnu.org/x>", "Fuld dokumentation"),
    ("FILE exists, see bpf_read() and /etc/issue (u32) \u2014 done.", "exists, see and \u2014 done."),
    ("vagy helyileg el\u00e9rhet\u0151: info '(coreutils) ls invocation'.", "vagy helyileg el\u00e9rhet\u0151: info ."),
    ("l'option d'un fichier 'x y', aujourd'hui", "l'option d'un fichier , aujourd'hui"),
])
def test_prose_leaves_out_what_is_not_words(sentence, kept):
    assert mt.prose(sentence) == kept
