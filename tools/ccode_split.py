"""The one rule that splits every source text into a training half and a
held-out half.

Every generator that makes data from text (word models, character and bigram
sets, frequency tables, feature files) reads only the training half; every
evaluation corpus is made only from the held-out half. So detection is never
measured on text its data was made from.

The rule: a unit of text belongs to the training half when the first byte of
the SHA-256 digest of its key (UTF-8) is even, and to the held-out half when
it is odd. The key of a unit depends on the kind of source:

  * manual page: its path below the man folder with the language folder and
    the compression suffix removed ("usr/share/man/fr/man1/ls.1.gz" gives
    "man1/ls.1"), so that every translation of a page falls in the same half;
  * message catalog: each message is a unit, keyed by its original (untranslated)
    text, so that every translation of a message falls in the same half;
  * word list: each word is a unit, keyed by the word itself.

Mapping tables that are not text (the system's converters, OpenCC's character
and phrase dictionaries) are not split: they are facts about characters, not
samples of language.

The rule depends on nothing but the key: not on the order, the number or the
version of the sources.
"""

import hashlib
import re

TRAINING = "training"
HELD_OUT = "held-out"


def half(key):
    """The half ("training" or "held-out") of the unit with this key."""
    digest = hashlib.sha256(key.encode("utf-8")).digest()
    return TRAINING if digest[0] % 2 == 0 else HELD_OUT


def is_training(key):
    return half(key) == TRAINING


def is_held_out(key):
    return half(key) == HELD_OUT


_MAN_RE = re.compile(r"(?:^|/)share/man/(?:[^/]+/)?(man[^/]+/[^/]+?)(?:\.gz|\.bz2|\.xz)?$")


def manpage_key(path):
    """The key of a manual page from its path ("man1/ls.1")."""
    m = _MAN_RE.search(path)
    if m is None:
        raise ValueError("not a manual page path: %s" % path)
    return m.group(1)


def catalog_key(msgid):
    """The key of one message of a catalog: its original text."""
    return msgid


def word_key(word):
    """The key of one entry of a word list."""
    return word
