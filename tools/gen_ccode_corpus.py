#!/usr/bin/env python3
"""Makes the labelled web-page corpus on which the page code-type detection
is evaluated (bench/bench_ccode_detect.cpp).

    python3 tools/gen_ccode_corpus.py --cache DIR

DIR is a cache folder outside the repository. The packages in PACKAGES are
fetched into DIR/deb with "apt-get download" (unless a .deb of the package
is there) and unpacked into DIR/root with "dpkg -x". The pages are written
to DIR/pages/ with DIR/pages/manifest.tsv, one line per page:

    file  encoding  language  declaration  declared  length  bytes

encoding is the label (the iconv name the page is encoded in, "UTF-8-BOM"
for UTF-8 with a byte-order mark), declaration is "none", "right" or
"wrong" (an http-equiv meta tag naming declared), length the excerpt class
("200", "2k", "20k"). Every page decodes back under its label to the HTML
text it was made from; the generator checks that.

Only the held-out half of every source is read (tools/ccode_split.py): the
data directory's generator reads the training half, so detection is never
measured on text its data was made from. The run is deterministic: the same
packages give the same pages. Nothing of this is committed.

Python's standard library only; character conversions use the system's
iconv (glibc).
"""

import argparse
import os
import re
import sys
import unicodedata

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ccode_split  # noqa: E402
from gen_ccode_data import Iconv, catalog_texts, fetch_packages, manpage_texts  # noqa: E402

PACKAGES = ["manpages", "manpages-zh", "manpages-ja", "manpages-ru", "manpages-fr", "manpages-de",
            "manpages-es", "manpages-it", "manpages-pt-br",
            # Korean: the pages and catalogs these ship (there is no manpages-ko).
            "man-db", "passwd", "login", "psmisc", "xz-utils", "coreutils", "tar", "wget", "dpkg", "apt",
            "libglib2.0-data",
            # The other word-model languages and the single-byte code pages.
            "manpages-vi", "manpages-tr", "manpages-nl", "manpages-da", "manpages-fi", "manpages-id",
            "manpages-el", "iso-codes", "libgtk2.0-common"]

# language -> (manual page folders, catalog locales, encodings)
LANGUAGES = [
    ("zh_CN", ["zh_CN"], [], ["GBK", "GB18030", "UTF-8", "UTF-8-BOM"]),
    ("zh_TW", ["zh_TW"], [], ["BIG5", "UTF-8", "UTF-8-BOM"]),
    ("ja", ["ja"], [], ["EUC-JP", "SHIFT_JIS", "ISO-2022-JP", "UTF-8", "UTF-8-BOM"]),
    ("ko", ["ko"], ["ko"], ["EUC-KR", "UTF-8", "UTF-8-BOM"]),
    ("ru", ["ru"], [], ["KOI8-R", "WINDOWS-1251", "UTF-8"]),
    ("fr", ["fr"], [], ["WINDOWS-1252", "UTF-8"]),
    ("de", ["de"], [], ["WINDOWS-1252", "UTF-8"]),
    ("es", ["es"], [], ["WINDOWS-1252", "UTF-8"]),
    ("it", ["it"], [], ["WINDOWS-1252", "UTF-8"]),
    ("pt_BR", ["pt_BR"], [], ["WINDOWS-1252", "UTF-8"]),
    ("en", ["."], [], ["WINDOWS-1252", "UTF-8"]),
    ("vi", ["vi"], ["vi"], ["UTF-8", "WINDOWS-1258", "VISCII"]),
    ("tr", ["tr"], [], ["UTF-8", "WINDOWS-1254", "ISO-8859-9"]),
    ("nl", ["nl"], [], ["UTF-8", "WINDOWS-1252"]),
    ("da", ["da"], [], ["UTF-8", "WINDOWS-1252"]),
    ("fi", ["fi"], [], ["UTF-8", "WINDOWS-1252"]),
    ("id", ["id"], ["id"], ["UTF-8", "WINDOWS-1252"]),
    ("el", ["el"], ["el"], ["UTF-8", "ISO-8859-7"]),
    ("ar", [], ["ar"], ["UTF-8", "WINDOWS-1256", "ISO-8859-6"]),
    ("th", [], ["th"], ["UTF-8", "TIS-620", "WINDOWS-874"]),
    ("he", [], ["he"], ["UTF-8", "WINDOWS-1255"]),
]

# The charset a "wrong" declaration names, by label.
WRONG = {
    "GBK": "big5", "GB18030": "big5", "BIG5": "gb2312", "UTF-8": "gbk", "UTF-8-BOM": "gbk",
    "EUC-JP": "shift_jis", "SHIFT_JIS": "euc-jp", "ISO-2022-JP": "euc-jp", "EUC-KR": "gb2312",
    "KOI8-R": "windows-1251", "WINDOWS-1251": "koi8-r", "WINDOWS-1252": "utf-8",
    "WINDOWS-1258": "windows-1252", "VISCII": "windows-1258", "WINDOWS-1254": "iso-8859-1",
    "ISO-8859-9": "windows-1252", "ISO-8859-7": "iso-8859-1", "WINDOWS-1256": "iso-8859-6",
    "ISO-8859-6": "windows-1256", "TIS-620": "iso-8859-1", "WINDOWS-874": "iso-8859-1",
    "WINDOWS-1255": "iso-8859-8",
}
# The charset a "right" declaration names, by label.
RIGHT = {"UTF-8-BOM": "utf-8", "WINDOWS-1252": "iso-8859-1"}

LENGTHS = [("200", 200), ("2k", 2048), ("20k", 20480)]
SAMPLES = 16
DECLARATIONS = ["none", "right", "wrong"]

BOM = b"\xef\xbb\xbf"


def clean(text):
    """Running text: troff leftovers and runs of blank lines removed."""
    text = re.sub(r"[ \t]+", " ", text)
    text = re.sub(r"\n\s*\n+", "\n\n", text)
    return text.strip()


class Codec:
    def __init__(self, label):
        name = "UTF-8" if label == "UTF-8-BOM" else label
        self.label = label
        self.enc = Iconv("UTF-8", name)
        self.dec = Iconv(name, "UTF-8")
        # Sizes of single characters; ISO-2022-JP is sized as EUC-JP, since
        # a character alone would carry its escape sequences.
        self.sizer = Iconv("UTF-8", "EUC-JP" if name == "ISO-2022-JP" else name)
        self.sizes = {}

    def size(self, ch):
        if ch not in self.sizes:
            b = self.sizer(ch.encode("utf-8"))
            self.sizes[ch] = len(b) if b else 1
        return self.sizes[ch]

    def encode(self, text):
        out = self.enc(text.encode("utf-8"))
        if out is None:
            return None
        return BOM + out if self.label == "UTF-8-BOM" else out

    def decode(self, data):
        if self.label == "UTF-8-BOM":
            if not data.startswith(BOM):
                return None
            data = data[3:]
        out = self.dec(data)
        # WINDOWS-1258 gives letters with their tone marks apart: compared
        # in the composed form.
        return None if out is None else unicodedata.normalize("NFC", out.decode("utf-8"))


def keepable(text, codecs):
    """The text with every character dropped that some codec cannot carry
    both ways."""
    ok = {}
    out = []
    for ch in text:
        if ch not in ok:
            good = True
            for c in codecs:
                b = c.encode(ch)
                if b is None or c.decode(b) != ch:
                    good = False
                    break
            ok[ch] = good
        if ok[ch]:
            out.append(ch)
    return "".join(out)


def html(body, title, declared):
    meta = ('<meta http-equiv="Content-Type" content="text/html; charset=%s">\n' % declared) if declared else ""
    body = body.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    paras = "".join("<p>%s</p>\n" % p.replace("\n", " ") for p in body.split("\n\n") if p.strip())
    return ("<!DOCTYPE html>\n<html>\n<head>\n%s<title>%s</title>\n</head>\n<body>\n%s</body>\n</html>\n"
            % (meta, title, paras))


def excerpt(text, start, codec, size):
    """Characters of text from start whose encoded size reaches size bytes
    (the text wraps around)."""
    out = []
    n = 0
    i = start
    while n < size:
        ch = text[i % len(text)]
        out.append(ch)
        n += codec.size(ch)
        i += 1
    return "".join(out)


def language_text(docs, codecs):
    """The running text of one language's documents, NFC, with every
    character dropped that one of its codecs cannot carry."""
    text = keepable(unicodedata.normalize("NFC", "\n\n".join(clean(d) for d in docs if d.strip())), codecs)
    if len(text) < 1000:
        raise RuntimeError("too little text")
    return text


def write_corpus(outdir, texts, header=()):
    """Writes the pages of every (language, codecs, text) of texts into
    outdir, with outdir/manifest.tsv; header lines ("# ..." comments, such as
    the packages and versions the text came from) go first. Answers the
    number of pages."""
    os.makedirs(outdir, exist_ok=True)
    manifest = []
    serial = 0
    for lang, codecs, text in texts:
        for codec in codecs:
            for lname, size in LENGTHS:
                for s in range(SAMPLES):
                    body = excerpt(text, s * len(text) // SAMPLES, codec, size)
                    title = "%s page %d" % (lang, s)
                    for decl in DECLARATIONS:
                        declared = {"none": "", "right": RIGHT.get(codec.label, codec.label.lower()),
                                    "wrong": WRONG[codec.label]}[decl]
                        page = html(body, title, declared)
                        data = codec.encode(page)
                        if data is None or codec.decode(data) != page:
                            raise RuntimeError("page %d does not decode back as %s" % (serial, codec.label))
                        name = "%05d.html" % serial
                        serial += 1
                        with open(os.path.join(outdir, name), "wb") as f:
                            f.write(data)
                        manifest.append("\t".join([name, codec.label, lang, decl, declared or "-", lname,
                                                   str(len(data))]))
    tmp = os.path.join(outdir, "manifest.tsv.tmp")
    with open(tmp, "w") as f:
        f.writelines(line + "\n" for line in header)
        f.write("# file\tencoding\tlanguage\tdeclaration\tdeclared\tlength\tbytes\n")
        f.write("\n".join(manifest) + "\n")
        f.flush()
        os.fsync(f.fileno())
    os.replace(tmp, os.path.join(outdir, "manifest.tsv"))
    return serial


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--cache", required=True, help="cache folder (outside the repository)")
    args = ap.parse_args()
    cache = os.path.abspath(args.cache)
    root, _ = fetch_packages(cache, PACKAGES)
    texts = []
    for lang, folders, locales, labels in LANGUAGES:
        docs = manpage_texts(root, folders, ccode_split.HELD_OUT) + catalog_texts(root, locales, ccode_split.HELD_OUT)
        codecs = [Codec(label) for label in labels]
        try:
            texts.append((lang, codecs, language_text(docs, codecs)))
        except RuntimeError:
            raise RuntimeError("too little held-out text for %s" % lang)
    outdir = os.path.join(cache, "pages")
    print("%d pages in %s" % (write_corpus(outdir, texts), outdir))


if __name__ == "__main__":
    main()
