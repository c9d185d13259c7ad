#!/usr/bin/env python3
"""Makes the evaluation queries of the query detection benchmark from the
held-out half of the sources the feature files were made from (never the
training half): short queries per language, one a line,

    language<TAB>kind<TAB>query (UTF-8)

with kind "words" (1 to 3 words of running text), "chars" (2 to 6
characters of Chinese, Japanese or Thai text) or "name" (a country name from
iso-codes' catalogs).

    python3 tools/gen_query_corpus.py --cache DIR --out FILE [--per-language N] [--docs]

DIR is the data generator's package cache (tools/gen_ccode_data.py). With
--docs the queries come instead from the translated documentation of
tools/gen_ccode_docs_corpus.py (DIR is then that generator's cache), text
none of the generators reads: running text only, no country names, and as
many queries as the text gives for Thai and Malay, of which Debian packages
little documentation. The output is large and stays outside the repository.
"""

import argparse
import hashlib
import os
import re
import sys
import unicodedata

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ccode_query_features as features  # noqa: E402
import ccode_split  # noqa: E402
import gen_ccode_data as gen  # noqa: E402
import gen_ccode_docs_corpus as docs  # noqa: E402

NO_BLANKS = ("simp_chinese", "trad_chinese", "japanese", "thai")


def pick(key, n):
    """A fixed pseudo-random number below n from a text key."""
    return int.from_bytes(hashlib.sha256(key.encode("utf-8")).digest()[:4], "big") % n


def text_queries(stem, texts, want):
    is_letter = features.letter_test(stem)
    out = []
    for t, text in enumerate(texts):
        for l, line in enumerate(text.split("\n")):
            line = unicodedata.normalize("NFC", line.strip())
            if stem in NO_BLANKS:
                for run in features.letter_runs(line, is_letter):
                    if len(run) < 2:
                        continue
                    n = 2 + pick("%d/%d/%s" % (t, l, run), 5)
                    start = pick(run, max(1, len(run) - n + 1))
                    out.append(("chars", run[start:start + n]))
            else:
                words = [w for w in re.split(r"\s+", line) if w and all(
                    is_letter(c) or c in "'-" for c in w.lower()) and any(is_letter(c) for c in w.lower())]
                if len(words) < 1:
                    continue
                n = 1 + pick("%d/%d" % (t, l), 3)
                start = pick(line, max(1, len(words) - n + 1))
                out.append(("words", " ".join(words[start:start + n])))
    out = sorted(set(out), key=lambda q: hashlib.sha256(q[1].encode("utf-8")).digest())
    return out[:want]


def name_queries(root, locale, want):
    names = []
    for path in sorted(os.path.join(root, "usr/share/locale", locale, "LC_MESSAGES", f)
                       for f in ("iso_3166-1.mo", "iso_3166.mo")):
        if not os.path.exists(path):
            continue
        for msgid, msgstr in gen.mo_messages(path):
            if ccode_split.is_held_out(ccode_split.catalog_key(msgid)):
                text = msgid if locale == "en" else msgstr
                if text and len(text) <= 30:
                    names.append(("name", text))
    names = sorted(set(names), key=lambda q: hashlib.sha256(q[1].encode("utf-8")).digest())
    return names[:want]


LOCALE = {"english": "en", "simp_chinese": "zh_CN", "trad_chinese": "zh_TW", "japanese": "ja", "thai": "th",
          "vietnamese": "vi", "malay": "ms", "french": "fr", "arabic": "ar", "portuguese": "pt_BR",
          "spanish": "es", "indonesian": "id"}


def load_grams(path):
    """{key: (first number, second number)} of one n-gram file, keyed as the
    loader keys it (tokens joined, "<sp>" a blank)."""
    table = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            toks, nums = line.rstrip("\n").split("\t")
            key = "".join(" " if t == "<sp>" else t for t in toks.split(" "))
            table.setdefault(key, tuple(float(x) for x in nums.split(" ")))
    return table


def backoff_hits(data, stem, queries):
    """How the character walk of the scorer meets the n-gram files on these
    queries: grams found, missing grams whose context weight (a line of k-1
    characters in the order-k file) was found, and missing grams without."""
    files = [load_grams(os.path.join(data, stem + s)) for s in ("_hd_uni", "_hd_big", "_hd_tri")]
    counts = {k: [0, 0, 0] for k in (2, 3)}

    def score(g):
        k = len(g)
        while k >= 2:
            if g in files[k - 1]:
                counts[k][0] += 1
                return
            counts[k][1 if g[:-1] in files[k - 1] else 2] += 1
            g, k = g[1:], k - 1

    for _, q in queries:
        for word in q.lower().split():
            for i in range(1, len(word)):
                score(word[max(0, i - 2):i + 1])
    return counts


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--cache", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--per-language", type=int, default=400)
    ap.add_argument("--data", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "ccode", "data",
                                                   "code"), help="the feature files to check the back-off against")
    ap.add_argument("--docs", action="store_true", help="queries from the translated documentation")
    args = ap.parse_args()
    if args.docs:
        documentation = docs.Documentation(docs.fetch_pinned(os.path.abspath(args.cache)))
    else:
        root, _ = gen.fetch_packages(os.path.abspath(args.cache), gen.PACKAGES)
    rows = []
    for stem, folders, locales, _, _ in features.LANGS:
        if args.docs:
            texts = documentation.language(LOCALE[stem])
            names = []
        else:
            texts = gen.manpage_texts(root, folders, ccode_split.HELD_OUT) + \
                gen.catalog_texts(root, locales, ccode_split.HELD_OUT)
            names = name_queries(root, LOCALE[stem], args.per_language // 4)
        queries = text_queries(stem, texts, args.per_language - len(names)) + names
        rows += ["%s\t%s\t%s" % (stem, kind, q) for kind, q in queries if "\t" not in q]
        hits = backoff_hits(args.data, stem, queries)
        print("%s: %d queries; trigrams found/backed off with weight/without %s, bigrams %s" %
              (stem, len(queries), hits[3], hits[2]))
    tmp = args.out + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write("\n".join(rows) + "\n")
        f.flush()
        os.fsync(f.fileno())
    os.replace(tmp, args.out)


if __name__ == "__main__":
    main()
