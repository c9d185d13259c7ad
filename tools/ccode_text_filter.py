"""Drops the English lines of the training text of another language.

Translated manual pages and catalogs keep much English: untranslated
paragraphs, option and function names, examples. Counted as words of the
translation they make its word lists look English, so that English words
score for that language and its own words score too low. A line is dropped
when its words are likelier English than the language, by two word models
with add-half smoothing: one counted over the English training text, one
over the language's own training text (English lines included, so a word
both share is not held against the language). Words are lower-cased runs of
letters; a line without words is kept.

The filter is deterministic: it depends only on the texts it is given.
"""

import collections
import math
import re

_WORD = re.compile(r"[^\W\d_]+")


def words_of(line):
    return [w.lower() for w in _WORD.findall(line)]


class _Model:
    def __init__(self, counts):
        self.counts = counts
        self.total = sum(counts.values())

    def logp(self, word, vocab):
        return math.log((self.counts.get(word, 0) + 0.5) / (self.total + 0.5 * vocab))


class EnglishFilter:
    """Built once from the English training text; clean() applies it to the
    texts of one language."""

    def __init__(self, english_texts):
        counts = collections.Counter()
        for text in english_texts:
            for line in text.split("\n"):
                counts.update(words_of(line))
        self.english = _Model(counts)

    def clean(self, texts):
        """The texts with their English lines removed."""
        own = collections.Counter()
        for text in texts:
            for line in text.split("\n"):
                own.update(words_of(line))
        lang = _Model(own)
        vocab = len(set(own) | set(self.english.counts))
        out = []
        for text in texts:
            kept = []
            for line in text.split("\n"):
                ws = words_of(line)
                if ws and sum(self.english.logp(w, vocab) - lang.logp(w, vocab) for w in ws) > 0:
                    continue
                kept.append(line)
            out.append("\n".join(kept))
        return out
