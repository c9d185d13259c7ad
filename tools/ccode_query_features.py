"""The query-language feature files of the character-code data directory:
for each of the twelve query languages a common-word file ("_words.part")
and three character n-gram files ("_hd_uni", "_hd_big", "_hd_tri").

Called by tools/gen_ccode_data.py with the unpacked Debian packages; reads
only the training half of every text source (tools/ccode_split.py).

N-gram files. The scorer walks each word of a query (a run of characters
between blanks) and, for a Latin query typed in ASCII, the whole first line
with blanks as characters ("<sp>"); it scores the bigram of the first two
characters, then every trigram. So grams are counted over words (lower-cased,
the language's letters only) and, for the Latin-script languages, over lines
folded the way such a query looks (lower case, marks removed, every other
byte a blank). Probabilities are absolute-discounting estimates, written as
log10 values with back-off weights:

  * "_hd_uni": "c<TAB>log10 P(c) 0";
  * "_hd_big": "a b<TAB>log10 P(b|a) 0", and for every context a the line
    "a<TAB>log10 P(a) log10 bow(a)";
  * "_hd_tri": "a b c<TAB>log10 P(c|ab) 0", and for every context ab the line
    "a b<TAB>log10 P(b|a) log10 bow(ab)".

A gram missing from the order-k file is charged the weight that the scorer
finds under its first k-1 characters in the back-off table of the same order:
that is why each context's weight is a line of k-1 tokens in the order-k file.

Word files: "word frequency" lines from word counts of the training text;
Chinese, Japanese and Thai text has no blanks, so it is cut into words of one to
three characters (Thai: by the word list, a character it does not place being a
word of its own) by longest match against a vocabulary (OpenCC's phrase lists
for Chinese, frequent character runs for Japanese). The words of a language's
hunspell list count once each besides; a word needs a count of two to be kept.

Every language but English is read without its English lines
(ccode_text_filter.py), which English is read first to find.
"""

import collections
import math
import os
import re
import unicodedata

import ccode_split
import ccode_text_filter

# Packages this module reads beyond the generator's own list.
PACKAGES = {
    "manpages-id": "Indonesian manual pages",
    "iso-codes": "message catalogs (country, language and currency names)",
    "hunspell-th": "Thai word list",
    "hunspell-ar": "Arabic word list",
    "hunspell-vi": "Vietnamese word list",
    "hunspell-id": "Indonesian word list",
    "hunspell-fr-classical": "French word list",
    "hunspell-es": "Spanish word list",
    "hunspell-pt-pt": "Portuguese word list",
}

# stem -> (manual page folders, catalog locales, hunspell list, Latin script)
LANGS = [
    ("english", ["."], [], None, True),
    ("simp_chinese", ["zh_CN"], ["zh_CN"], None, False),
    ("trad_chinese", ["zh_TW"], ["zh_TW"], None, False),
    ("japanese", ["ja"], ["ja"], None, False),
    ("thai", [], ["th"], "th_TH", False),
    ("vietnamese", ["vi"], ["vi"], "vi_VN", True),
    ("malay", [], ["ms"], None, True),
    ("french", ["fr"], ["fr"], "fr", True),
    ("arabic", [], ["ar"], "ar", False),
    ("portuguese", ["pt", "pt_BR"], ["pt", "pt_BR"], "pt_PT", True),
    ("spanish", ["es"], ["es"], "es_ES", True),
    ("indonesian", ["id"], ["id"], "id_ID", True),
]

# Kept entries per language (the most frequent ones); about 4.2 MB in all.
WORDS_KEPT = 30000
BIGRAMS_KEPT = 6000
TRIGRAMS_KEPT = 9000
DISCOUNT = 0.5

VN_LOWER = ("aàảãáạăằẳẵắặâầẩẫấậbcdđeèẻẽéẹêềểễếệfghiìỉĩíịjklmnoòỏõóọôồổỗốộơờởỡớợpqrstuùủũúụưừửữứựvwxyỳỷỹýỵz")


def letter_test(stem):
    """The letters whose grams the language keeps (the scorer's letter set
    for the filtered languages; the script of the others)."""
    if stem in ("english", "malay", "indonesian"):
        return lambda c: "a" <= c <= "z"
    if stem == "vietnamese":
        vn = set(VN_LOWER)
        return lambda c: c in vn
    if stem == "thai":
        return lambda c: "\u0e01" <= c <= "\u0e3a" or "\u0e3f" <= c <= "\u0e5b"
    if stem == "arabic":
        return lambda c: "\u0621" <= c <= "\u063a" or "\u0641" <= c <= "\u0652" or "\u0660" <= c <= "\u0669"
    if stem in ("simp_chinese", "trad_chinese"):
        return lambda c: "\u4e00" <= c <= "\u9fff"
    if stem == "japanese":
        return lambda c: "\u4e00" <= c <= "\u9fff" or "\u3041" <= c <= "\u30ff"
    latin = set("abcdefghijklmnopqrstuvwxyzàâäçéèêëîïôöûùüÿœæáíóúñãõ")
    return lambda c: c in latin


def ascii_fold(line):
    """A line as a query typed in ASCII looks to the Latin scorer: lower
    case, marks removed, every byte outside a-z a blank, blanks single."""
    line = unicodedata.normalize("NFD", line.lower().replace("đ", "d"))
    line = "".join(c for c in line if not unicodedata.combining(c))
    return " ".join(re.sub(r"[^a-z]+", " ", line).split())


def letter_runs(text, is_letter):
    """The words of a text: maximal runs of the language's letters, lower
    case (NFC)."""
    run = []
    for c in unicodedata.normalize("NFC", text.lower()):
        if is_letter(c):
            run.append(c)
        elif run:
            yield "".join(run)
            run = []
    if run:
        yield "".join(run)


def hunspell_encoding(root, name):
    """The encoding a hunspell list names in its .aff file (UTF-8 when it
    names none)."""
    with open(os.path.join(root, "usr/share/hunspell", name + ".aff"), "rb") as f:
        for raw in f:
            if raw.startswith(b"SET"):
                return raw.split()[1].decode("ascii").lower().replace("iso8859", "iso8859-").replace("--", "-")
    return "utf-8"


def hunspell_words(root, name):
    """Training-half entries of a hunspell list, stems without affix flags."""
    if name is None:
        return []
    base = os.path.join(root, "usr/share/hunspell", name)
    enc = hunspell_encoding(root, name)
    words = []
    with open(base + ".dic", encoding=enc, errors="replace") as f:
        next(f, None)
        for line in f:
            word = re.split(r"[/\s]", line.strip(), 1)[0]
            if word and ccode_split.is_training(ccode_split.word_key(word)):
                words.append(word)
    return words


def segment(run, vocab, maxlen=3):
    """Longest-match cut of a character run into words of 1..maxlen."""
    i = 0
    while i < len(run):
        for n in range(min(maxlen, len(run) - i), 0, -1):
            if n == 1 or run[i:i + n] in vocab:
                yield run[i:i + n]
                i += n
                break


def cjk_vocab(stem, runs, cc):
    """Words of 2..3 characters the cutter looks for."""
    if stem == "simp_chinese":
        return {v for vals in cc["TSPhrases"].values() for v in vals if 2 <= len(v) <= 3} | \
               {k for k in cc["STPhrases"] if 2 <= len(k) <= 3}
    if stem == "trad_chinese":
        return {k for k in cc["TSPhrases"] if 2 <= len(k) <= 3} | \
               {v for vals in cc["STPhrases"].values() for v in vals if 2 <= len(v) <= 3}
    # Japanese: frequent runs of one script (kanji, hiragana or katakana).
    counts = collections.Counter()
    for run in runs:
        for piece in re.findall(r"[\u4e00-\u9fff]+|[\u3041-\u309f]+|[\u30a0-\u30ff]+", run):
            for n in (2, 3):
                for i in range(len(piece) - n + 1):
                    counts[piece[i:i + n]] += 1
    return {w for w, c in counts.items() if c >= 20}


class Grams:
    """Character uni-, bi- and trigram counts."""

    def __init__(self):
        self.n = [collections.Counter() for _ in range(3)]

    def add(self, toks, weight=1):
        for k in range(3):
            counter = self.n[k]
            for i in range(len(toks) - k):
                counter[tuple(toks[i:i + k + 1])] += weight


def top(counter, n):
    """The n most frequent keys, ties in key order."""
    return [k for k, _ in sorted(counter.items(), key=lambda kv: (-kv[1], kv[0]))[:n]]


def tok_text(g):
    return " ".join("<sp>" if c == " " else c for c in g).encode("utf-8")


def model(grams):
    """(unigram lines, bigram lines, trigram lines) of one language."""
    uni, big, tri = grams.n
    total = sum(uni.values())
    p1 = {g: c / total for g, c in uni.items()}

    def conditional(counts, kept, lower):
        """P(last | context) of the kept grams and bow(context) for every
        context of a kept gram, by absolute discounting against the lower
        order lower(g) = P(last | shorter context)."""
        ctx_total = collections.Counter()
        for g, c in counts.items():
            ctx_total[g[:-1]] += c
        by_ctx = collections.defaultdict(list)
        for g in kept:
            by_ctx[g[:-1]].append(g)
        probs, bows = {}, {}
        for ctx, gs in by_ctx.items():
            n = ctx_total[ctx]
            seen = sum(max(counts[g] - DISCOUNT, 0.0) / n for g in gs)
            for g in gs:
                probs[g] = max(counts[g] - DISCOUNT, 0.0) / n
            lower_mass = sum(lower(g) for g in gs)
            left, room = 1.0 - seen, 1.0 - lower_mass
            bows[ctx] = left / room if room > 1e-9 and left > 0 else 1.0
        return probs, bows

    kept2 = [g for g in top(big, BIGRAMS_KEPT) if big[g] > 1]
    p2, bow1 = conditional(big, kept2, lambda g: p1.get(g[1:], 0.0))
    kept3 = [g for g in top(tri, TRIGRAMS_KEPT) if tri[g] > 1 and g[:2] in p2]

    def p2_backed(g):
        if g in p2:
            return p2[g]
        return bow1.get(g[:1], 1.0) * p1.get(g[1:], 0.0)
    p3, bow2 = conditional(tri, kept3, lambda g: p2_backed(g[1:]))

    def num(x):
        return "%.4f" % math.log10(x) if x > 0 else "-99.0000"
    uni_lines = [b"%s\t%s 0" % (tok_text(g), num(p1[g]).encode()) for g in sorted(p1)
                 if uni[g] > 1]
    big_lines = [b"%s\t%s 0" % (tok_text(g), num(p2[g]).encode()) for g in sorted(p2) if p2[g] > 0]
    big_lines += [b"%s\t%s %s" % (tok_text(c), num(p1.get(c, 0.0)).encode(), num(bow1[c]).encode())
                  for c in sorted(bow1)]
    tri_lines = [b"%s\t%s 0" % (tok_text(g), num(p3[g]).encode()) for g in sorted(p3) if p3[g] > 0]
    tri_lines += [b"%s\t%s %s" % (tok_text(c), num(p2_backed(c)).encode(), num(bow2[c]).encode())
                  for c in sorted(bow2)]
    return sorted(uni_lines), sorted(big_lines), sorted(tri_lines)


def language_data(stem, texts, list_words, cc, latin):
    """(words counter, Grams) of one language."""
    is_letter = letter_test(stem)
    cjk = stem in ("simp_chinese", "trad_chinese", "japanese")
    list_words = list(list_words)
    grams = Grams()
    words = collections.Counter()
    runs = []
    for text in texts:
        runs.extend(letter_runs(text, is_letter))
        if latin:
            for line in text.split("\n"):
                folded = ascii_fold(line)
                if folded:
                    grams.add([c for c in folded])
    for run in runs:
        grams.add(list(run))
    if cjk:
        vocab = cjk_vocab(stem, runs, cc)
        for run in runs:
            for w in segment(run, vocab):
                words[w] += 1
    elif stem == "thai":
        # Thai is written without blanks: cut by the word list.
        vocab = {unicodedata.normalize("NFC", w) for w in list_words}
        # A character the list does not place is kept as a word of its own:
        # queries are often pieces of words, and the scorer matches the
        # longest listed prefix, so every Thai character needs an entry.
        for run in runs:
            for w in segment(run, vocab, 20):
                words[w] += 1
    else:
        for run in runs:
            words[run] += 1
    # Word-list entries teach the grams of words the texts lack (once each).
    # Where words are cut at blanks they count once as words too: a listed
    # word seen once in the text reaches the two counts a kept word needs,
    # so inflected forms the text shows rarely are kept while a stray
    # untranslated word stays out.
    for w in list_words:
        for run in letter_runs(w, is_letter):
            grams.add(list(run))
            if not cjk and stem != "thai":
                words[run] += 1
    return words, grams


def generate(root, cc, language_texts, write, lines_of, log=print):
    """Writes the 48 feature files through write(name, bytes)."""
    english = None
    for stem, folders, locales, hunspell, latin in LANGS:
        texts = language_texts(root, folders, locales)
        if stem == "english":
            english = ccode_text_filter.EnglishFilter(texts)
        else:
            # The English lines of a translation are no evidence of its
            # language (ccode_text_filter.py).
            texts = english.clean(texts)
        words, grams = language_data(stem, texts, hunspell_words(root, hunspell), cc, latin)
        kept = [w for w in top(words, WORDS_KEPT) if words[w] > 1 or len(words) < WORDS_KEPT]
        write(stem + "_words.part", lines_of(b"%s %d" % (w.encode("utf-8"), words[w]) for w in sorted(kept)))
        for suffix, lines in zip(("_hd_uni", "_hd_big", "_hd_tri"), model(grams)):
            write(stem + suffix, lines_of(lines))
        log("%s: %d texts, %d words kept" % (stem, len(texts), len(kept)))
