#!/usr/bin/env python3
"""Generates the character-code library's default data directory
(ccode/data/code/ and ccode/data/NOTICE) from Debian packages.

    python3 tools/gen_ccode_data.py --cache DIR [--out ccode/data]

DIR is a cache folder outside the repository. The packages listed in
PACKAGES are fetched into DIR/deb with "apt-get download" (unless a .deb of
that package is already there) and unpacked into DIR/root with "dpkg -x";
OpenCC's dictionaries are dumped with the unpacked opencc_dict into
DIR/opencc. Character conversions use the system's iconv (glibc). Nothing
else is read, and nothing outside the output folder is written except the
cache. A rerun with the same cache writes the same bytes. The cache holds
these packages only: a run refuses a cache where another one is unpacked
(its catalogs would be read too).

Text sources are split by tools/ccode_split.py: only the training half is
read here.

Python's standard library only; the build needs none of this, because the
outputs are committed.
"""

import argparse
import collections
import ctypes
import glob
import gzip
import math
import os
import re
import struct
import subprocess
import sys
import unicodedata
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ccode_query_features  # noqa: E402
import ccode_split  # noqa: E402
import ccode_text_filter  # noqa: E402

# Package -> what it gives. The licence in NOTICE is read from the
# package's own copyright file.
PACKAGES = {
    "opencc": "opencc_dict, the dictionary dump tool",
    "libopencc1.1": "the OpenCC library opencc_dict runs on",
    "libopencc-data": "OpenCC character and phrase dictionaries",
    "libmarisa0": "a library libopencc1.1 needs",
    "manpages": "English manual pages",
    "manpages-zh": "Chinese manual pages (zh_CN, zh_TW)",
    "manpages-ja": "Japanese manual pages",
    "manpages-fr": "French manual pages",
    "manpages-it": "Italian manual pages",
    "manpages-es": "Spanish manual pages",
    "manpages-de": "German manual pages",
    "manpages-tr": "Turkish manual pages",
    "manpages-nl": "Dutch manual pages",
    "manpages-vi": "Vietnamese manual pages",
    "manpages-da": "Danish manual pages",
    "manpages-fi": "Finnish manual pages",
    "manpages-pt-br": "Portuguese (Brazil) manual pages",
    "hunspell-ko": "Korean word list",
    "libglib2.0-data": "message catalogs",
    "libgtk2.0-common": "message catalogs",
    "gsettings-desktop-schemas": "message catalogs",
    "shared-mime-info": "message catalogs",
    "coreutils": "message catalogs",
    "diffutils": "message catalogs",
    "findutils": "message catalogs",
    "tar": "message catalogs",
    "wget": "message catalogs",
    "dpkg": "message catalogs",
    "apt": "message catalogs",
    "libpam-runtime": "message catalogs",
    "hunspell-tr": "Turkish word list",
    "libc-l10n": "message catalogs",
    "util-linux-locales": "message catalogs",
    "gcc-12-locales": "message catalogs",
    "libgtk-3-common": "message catalogs",
    "gnupg-l10n": "message catalogs",
    "binutils-common": "message catalogs",
    "aptitude-common": "message catalogs",
    "firefox-esr-l10n-ms": "user-interface strings (Malay)",
    "thunderbird-l10n-ms": "user-interface strings (Malay)",
    "firefox-esr-l10n-id": "user-interface strings (Indonesian)",
    "firefox-esr-l10n-ar": "user-interface strings (Arabic)",
    "thunderbird-l10n-ar": "user-interface strings (Arabic)",
    "firefox-esr-l10n-fi": "user-interface strings (Finnish)",
    "thunderbird-l10n-id": "user-interface strings (Indonesian)",
}
PACKAGES.update(ccode_query_features.PACKAGES)

# Word-model slots: slot -> (language, manual page folders, catalog locales,
# hunspell word list or None, the single-byte charset its pages come in).
# A word with letters outside ASCII is entered in UTF-8 and, when the
# charset holds it, in that charset too (the features read raw page bytes).
UNIGRAM_SLOTS = [
    ("english", ["."], [], None, "ISO-8859-1"),
    ("french", ["fr"], [], None, "ISO-8859-1"),
    ("italian", ["it"], [], None, "ISO-8859-1"),
    ("spanish", ["es"], [], None, "ISO-8859-1"),
    ("german", ["de"], [], None, "ISO-8859-1"),
    ("turkish", ["tr"], ["tr"], "tr_TR", "WINDOWS-1254"),
    ("dutch", ["nl"], [], None, "ISO-8859-1"),
    ("vietnamese", ["vi"], ["vi"], "vi_VN", "WINDOWS-1258"),
    ("arabic", [], ["ar"], "ar", "ISO-8859-6"),
    ("danish", ["da"], [], None, "ISO-8859-1"),
    ("finnish", ["fi"], ["fi"], None, "ISO-8859-1"),
    ("portuguese", ["pt", "pt_BR"], [], None, "ISO-8859-1"),
    ("thai", [], ["th"], "th_TH", None),
    ("indonesian", ["id"], ["id"], "id_ID", None),
    ("malay", [], ["ms"], None, None),
]

# Sizes of the generated lists (the most frequent entries are kept).
UNIGRAM_WORDS = 2500
# Slots that keep more words. Arabic fuses articles, conjunctions and
# prepositions with the word ("wal-", "bil-"), so the same share of a page's
# words needs a longer list; its page is told from its slot's share of the
# words, and 2,500 words covered 16-34% of the words of short pages.
UNIGRAM_WORDS_OF = {"arabic": 20000}
BIGRAM_CN = 10000
BIGRAM_JP = 5000
BIGRAM_KR = 5000
QUERY_CHARS = 3000

GBK_MISSING = b"\xa1\xf5"   # "no mapping" cell of a GBK-target grid
BIG5_MISSING = b"\xa1\xbc"  # "no mapping" cell of a BIG5-target grid


# --- the system's iconv -----------------------------------------------------

_libc = ctypes.CDLL("libc.so.6", use_errno=True)
_libc.iconv_open.restype = ctypes.c_void_p
_libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
_libc.iconv.restype = ctypes.c_size_t
_libc.iconv.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t),
                        ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t)]


class Iconv:
    """One glibc conversion; calling it converts a whole byte string or
    answers None."""

    def __init__(self, src, dst):
        self.cd = _libc.iconv_open(dst.encode(), src.encode())
        if self.cd in (None, ctypes.c_void_p(-1).value):
            raise RuntimeError("iconv cannot convert %s to %s" % (src, dst))
        self.cache = {}

    def __call__(self, data):
        if data in self.cache:
            return self.cache[data]
        _libc.iconv(self.cd, None, None, None, None)
        inbuf = ctypes.create_string_buffer(data, len(data))
        outbuf = ctypes.create_string_buffer(len(data) * 8 + 16)
        inp = ctypes.c_char_p(ctypes.addressof(inbuf))
        outp = ctypes.c_char_p(ctypes.addressof(outbuf))
        inleft = ctypes.c_size_t(len(data))
        outleft = ctypes.c_size_t(len(outbuf))
        r = _libc.iconv(self.cd, ctypes.byref(inp), ctypes.byref(inleft), ctypes.byref(outp), ctypes.byref(outleft))
        result = None
        if r != ctypes.c_size_t(-1).value and inleft.value == 0:
            if _libc.iconv(self.cd, None, None, ctypes.byref(outp), ctypes.byref(outleft)) != ctypes.c_size_t(-1).value:
                result = outbuf.raw[:len(outbuf) - outleft.value]
        self.cache[data] = result
        return result


class Charset:
    """Encoding and decoding of single characters in one charset."""

    def __init__(self, name):
        self.enc = Iconv("UTF-8", name)
        self.dec = Iconv(name, "UTF-8")

    def encode(self, ch):
        return self.enc(ch.encode("utf-8"))

    def encode_pair(self, ch):
        """The two-byte code of ch, or None."""
        b = self.encode(ch)
        return b if b is not None and len(b) == 2 else None

    def decode(self, data):
        """The single character data decodes to, or None."""
        u = self.dec(data)
        if u is None:
            return None
        s = u.decode("utf-8")
        return s if len(s) == 1 else None


# --- packages and sources ---------------------------------------------------

def fetch(cache):
    """The packages of PACKAGES, unpacked into the cache. The text readers
    take every catalog and language pack under the unpacked root, so a cache
    that also holds another package would change the output: refused."""
    others = stray_packages(os.path.join(cache, "root"), PACKAGES)
    if others:
        raise RuntimeError("the cache %s also holds %s, which the data is not made from: use a cache of its own"
                           % (cache, ", ".join(others)))
    return fetch_packages(cache, PACKAGES)


def stray_packages(root, packages):
    """The packages unpacked into root (marked by their ".unpacked-" stamp)
    that are not in packages, sorted."""
    names = set()
    for stamp in glob.glob(os.path.join(root, ".unpacked-*.deb")):
        names.add(os.path.basename(stamp)[len(".unpacked-"):].split("_", 1)[0])
    return sorted(names - set(packages))


def fetch_packages(cache, packages):
    """Downloads (unless there) and unpacks the packages into the cache:
    (unpacked root, {package: version})."""
    debdir = os.path.join(cache, "deb")
    root = os.path.join(cache, "root")
    os.makedirs(debdir, exist_ok=True)
    versions = {}
    for pkg in sorted(packages):
        debs = glob.glob(os.path.join(debdir, pkg + "_*.deb"))
        if not debs:
            subprocess.run(["apt-get", "download", pkg], cwd=debdir, check=True, stdout=subprocess.DEVNULL)
            debs = glob.glob(os.path.join(debdir, pkg + "_*.deb"))
        if len(debs) != 1:
            raise RuntimeError("expected one .deb of %s in %s, found %d" % (pkg, debdir, len(debs)))
        versions[pkg] = subprocess.run(["dpkg-deb", "-f", debs[0], "Version"], check=True,
                                       capture_output=True, text=True).stdout.strip()
        stamp = os.path.join(root, ".unpacked-" + os.path.basename(debs[0]))
        if not os.path.exists(stamp):
            os.makedirs(root, exist_ok=True)
            subprocess.run(["dpkg", "-x", debs[0], root], check=True)
            open(stamp, "w").close()
    return root, versions


def opencc_dicts(cache, root):
    """{name: {key: [candidates]}} for the four dictionaries used."""
    outdir = os.path.join(cache, "opencc")
    os.makedirs(outdir, exist_ok=True)
    env = dict(os.environ, LD_LIBRARY_PATH=os.path.join(root, "usr/lib/x86_64-linux-gnu"))
    result = {}
    for name in ("TSCharacters", "STCharacters", "TSPhrases", "STPhrases"):
        txt = os.path.join(outdir, name + ".txt")
        subprocess.run([os.path.join(root, "usr/bin/opencc_dict"), "-i",
                        os.path.join(root, "usr/share/opencc", name + ".ocd2"), "-o", txt,
                        "-f", "ocd2", "-t", "text"], check=True, env=env, stdout=subprocess.DEVNULL)
        table = {}
        with open(txt, encoding="utf-8") as f:
            for line in f:
                line = line.rstrip("\n")
                if "\t" not in line:
                    continue
                key, vals = line.split("\t", 1)
                table[key] = vals.split(" ")
        result[name] = table
    return result


def troff_text(src):
    """The running text of a troff manual page, roughly: macro lines dropped
    except for the text macros, escapes removed."""
    keep = {"B", "I", "BI", "BR", "IB", "IR", "RB", "RI", "SH", "SS", "TP", "IP", "SM", "SB",
            "Nm", "Nd", "Ar", "Fl", "Op", "It", "Sh", "Ss", "Dq", "Pa", "Em"}
    out = []
    for line in src.splitlines():
        if line.startswith((".\\\"", "'\\\"", "\\\"")):
            continue
        if line.startswith((".", "'")):
            parts = line[1:].split(None, 1)
            if not parts or parts[0] not in keep:
                out.append("")
                continue
            line = parts[1] if len(parts) > 1 else ""
        line = re.sub(r"\\[fF*n](\[[^\]]*\]|\(..|.)", "", line)
        line = re.sub(r"\\(\(..|\[[^\]]*\])", " ", line)
        line = re.sub(r"\\[-e]", "-", line)
        line = re.sub(r"\\.", "", line)
        out.append(line.replace('"', " "))
    return "\n".join(out)


def manpage_texts(root, folders, half=ccode_split.TRAINING):
    """Manual pages of the language folders ("." is English) in one half of
    the split (the training half unless said otherwise)."""
    texts = []
    for folder in folders:
        base = os.path.join(root, "usr/share/man", "" if folder == "." else folder)
        for path in sorted(glob.glob(os.path.join(base, "man*", "*"))):
            rel = os.path.relpath(path, root)
            if not os.path.isfile(path) or ccode_split.half(ccode_split.manpage_key(rel)) != half:
                continue
            data = gzip.open(path).read() if path.endswith(".gz") else open(path, "rb").read()
            try:
                text = data.decode("utf-8")
            except UnicodeDecodeError:
                continue
            texts.append(troff_text(text))
    return texts


def mo_messages(path):
    """(msgid, translation) pairs of a compiled message catalog."""
    data = open(path, "rb").read()
    magic = struct.unpack("<I", data[:4])[0]
    end = "<" if magic == 0x950412DE else ">"
    n, orig, trans = struct.unpack(end + "III", data[8:20])
    pairs = []
    for i in range(n):
        olen, ooff = struct.unpack(end + "II", data[orig + 8 * i:orig + 8 * i + 8])
        tlen, toff = struct.unpack(end + "II", data[trans + 8 * i:trans + 8 * i + 8])
        msgid = data[ooff:ooff + olen]
        if not msgid:
            continue  # the header entry
        pairs.append((msgid.decode("utf-8", "replace"), data[toff:toff + tlen].decode("utf-8", "replace")))
    return pairs


def catalog_texts(root, locales, half=ccode_split.TRAINING):
    """Messages of the catalogs of these locales in one half of the split."""
    texts = []
    for loc in locales:
        for path in sorted(glob.glob(os.path.join(root, "usr/share/locale", loc, "LC_MESSAGES", "*.mo"))):
            for msgid, msgstr in mo_messages(path):
                if ccode_split.half(ccode_split.catalog_key(msgid)) == half:
                    texts.append(msgstr.replace("\x00", "\n"))
    return texts


# Parts of a user-interface string that are not words of its language:
# placeables ("{ $n }", "%1$S", "&brandShortName;"), markup tags, the head,
# variant keys ("*[other]") and braces of a selector (its variants are text).
_LANGPACK_NOISE = re.compile(r"\{[^{}\n]*->|\{[^{}\n]*\}|[{}]|%(?:\d\$)?[A-Za-z]|&[\w.-]+;|<[^<>]*>|\*?\[[\w-]+\]")


# Identifiers of keyboard shortcuts (one letter or key name, no words).
_SHORTCUT_KEY = re.compile(r"(?i)(accesskey|commandkey|[.-]key\d*|modifiers?)$")


def langpack_strings(name, data):
    """(key, text) pairs of one localisation file of a browser or mail
    language pack: Fluent (".ftl": each message and term with its attributes
    and continuation lines), Java properties (".properties") or DTD entities
    (".dtd"). The key is the message's identifier, the same in every
    language's pack."""
    text = data.decode("utf-8", "replace")
    pairs = []
    if name.endswith(".ftl"):
        key, parts = None, []
        for line in text.split("\n"):
            m = re.match(r"(-?[A-Za-z][\w-]*)\s*=(.*)$", line)
            if m:
                if key is not None:
                    pairs.append((key, "\n".join(parts)))
                key, parts = m.group(1), [m.group(2)]
            elif key is not None and line[:1] in (" ", "\t"):
                attr = re.match(r"\s*\.([\w-]+)\s*=(.*)$", line)
                if attr is None:
                    parts.append(line)
                elif not _SHORTCUT_KEY.search(attr.group(1)):
                    parts.append(attr.group(2))
        if key is not None:
            pairs.append((key, "\n".join(parts)))
    elif name.endswith(".properties"):
        for line in text.split("\n"):
            m = re.match(r"\s*([^#!\s=:][^=:]*?)\s*[=:]\s?(.*)$", line)
            if m:
                value = re.sub(r"\\u([0-9a-fA-F]{4})", lambda u: chr(int(u.group(1), 16)), m.group(2))
                pairs.append((m.group(1), value.replace("\\n", "\n")))
    elif name.endswith(".dtd"):
        for m in re.finditer(r'<!ENTITY\s+([\w.-]+)\s+(["\'])(.*?)\2\s*>', text, re.S):
            pairs.append((m.group(1), m.group(3)))
    out = []
    for key, value in pairs:
        if _SHORTCUT_KEY.search(key):
            continue
        value = _LANGPACK_NOISE.sub(" ", value)
        if len(value.strip()) > 1:  # access keys and empty strings say nothing
            out.append((name + "#" + key, value))
    return out


def langpack_texts(root, locales, half=ccode_split.TRAINING):
    """Strings of the browser and mail language packs of these locales in one
    half of the split. A string's key is its file inside the pack with the
    locale taken out, and its identifier, so that every translation of a
    string falls in the same half."""
    texts = []
    for loc in locales:
        packs = sorted(glob.glob(os.path.join(root, "usr/lib/*/browser/extensions/langpack-%s@*.xpi" % loc)) +
                       glob.glob(os.path.join(root, "usr/lib/*/extensions/langpack-%s@*.xpi" % loc)))
        for pack in packs:
            with zipfile.ZipFile(pack) as z:
                for name in sorted(z.namelist()):
                    if not name.endswith((".ftl", ".properties", ".dtd")):
                        continue
                    plain = "/".join(part for part in name.split("/") if part != loc)
                    for key, value in langpack_strings(plain, z.read(name)):
                        if ccode_split.half(ccode_split.catalog_key(key)) == half:
                            texts.append(value)
    return texts


def language_texts(root, folders, locales):
    return manpage_texts(root, folders) + catalog_texts(root, locales) + langpack_texts(root, locales)


# Licences of packages whose copyright file is not machine-readable (or,
# for gcc-12-locales, is gcc-12-base's, which is not unpacked), as their
# copyright files state them for the catalogs used.
LICENCES = {
    "binutils-common": "GPL-3+",
    "gcc-12-locales": "GPL-3+",
    "libc-l10n": "LGPL-2.1+",
}


def licence(root, pkg):
    """The licence of the "Files: *" paragraph of a package's machine-readable
    copyright file, else a pointer to that file."""
    if pkg in LICENCES:
        return LICENCES[pkg]
    path = os.path.join(root, "usr/share/doc", pkg, "copyright")
    if os.path.exists(path):
        in_all = False
        for line in open(path, encoding="utf-8", errors="replace"):
            if line.startswith("Files:"):
                in_all = line.split(":", 1)[1].strip() == "*"
            elif in_all and line.startswith("License:") and line.split(":", 1)[1].strip():
                return line.split(":", 1)[1].strip()
    return "see its copyright file"


# --- writers ----------------------------------------------------------------

def write(out, name, data):
    path = os.path.join(out, "code", name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def grid(header, leads, trails, cell):
    """A grid file: a header line, then per lead the lead as two hex
    characters and one two-byte cell per trail."""
    lines = [header.encode("ascii") + b"\n"]
    for lead in leads:
        row = [b"%02X" % lead]
        for trail in trails:
            c = cell(bytes([lead, trail]))
            assert len(c) == 2 and 0 not in c and 10 not in c and 13 not in c
            row.append(c)
        lines.append(b"".join(row) + b"\n")
    return b"".join(lines)


def lines_of(items):
    return b"".join(item + b"\n" for item in items)


def top(counter, n):
    """The n most frequent keys, ties in key order."""
    return [k for k, _ in sorted(counter.items(), key=lambda kv: (-kv[1], kv[0]))[:n]]


def is_han(ch):
    return "\u4e00" <= ch <= "\u9fa5"


# --- the data ---------------------------------------------------------------

def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--cache", required=True, help="cache folder for the packages (outside the repository)")
    ap.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "ccode", "data"))
    args = ap.parse_args()
    cache = os.path.abspath(args.cache)
    out = os.path.abspath(args.out)
    root, versions = fetch(cache)
    cc = opencc_dicts(cache, root)
    t2s = {k: v for k, v in cc["TSCharacters"].items() if len(k) == 1}
    s2t = {k: v for k, v in cc["STCharacters"].items() if len(k) == 1}

    gbk, big5, gb2312 = Charset("GBK"), Charset("BIG5"), Charset("GB2312")
    sjis, eucjp, euckr, gb18030 = Charset("SHIFT_JIS"), Charset("EUC-JP"), Charset("EUC-KR"), Charset("GB18030")

    big5_trails = list(range(0x40, 0x7F)) + list(range(0xA1, 0xFF))
    gbk_trails = list(range(0x40, 0xFF))
    big5_leads = range(0xA1, 0xFA)
    gbk_leads = range(0x81, 0xFF)

    def simp(ch):
        return t2s[ch][0] if ch in t2s else ch

    def big5_gbi(pair):
        ch = big5.decode(pair)
        return (gbk.encode_pair(simp(ch)) or gbk.encode_pair(ch) or GBK_MISSING) if ch else GBK_MISSING

    def big5_gbk(pair):
        ch = big5.decode(pair)
        return (gbk.encode_pair(ch) or GBK_MISSING) if ch else GBK_MISSING

    def gbk_big5(pair):
        ch = gbk.decode(pair)
        if ch is None:
            return BIG5_MISSING
        b = big5.encode_pair(ch)
        if b is None and ch in s2t:
            b = big5.encode_pair(s2t[ch][0])
        return b or BIG5_MISSING

    def gbk_gbi(pair):
        ch = gbk.decode(pair)
        return (gbk.encode_pair(simp(ch)) or pair) if ch else GBK_MISSING

    def gbi_gbk(pair):
        return pair if gbk.decode(pair) else GBK_MISSING

    write(out, "big5-gbi.txt", grid("# BIG5 -> GBI", big5_leads, big5_trails, big5_gbi))
    write(out, "big5-gbk.txt", grid("# BIG5 -> GBK", big5_leads, big5_trails, big5_gbk))
    write(out, "gbk-big5.txt", grid("# GBK -> BIG5", gbk_leads, gbk_trails, gbk_big5))
    write(out, "gbk-gbi.txt", grid("# GBK -> GBI", gbk_leads, gbk_trails, gbk_gbi))
    write(out, "gbi-gbk.txt", grid("# GBI -> GBK", gbk_leads, gbk_trails, gbi_gbk))
    write(out, "gbi-big5.txt", grid("# GBI -> BIG5", gbk_leads, gbk_trails, gbk_big5))

    # Full-width maps: the library's built-in foldings as data.
    write(out, "bj.txt", bytes(i + 0x20 for i in range(96)))
    ext = list(range(96))
    for trail, ch in ((0xA1, " "), (0xA2, ","), (0xA3, "."), (0xAE, "'"), (0xAF, "'"), (0xB0, '"'),
                      (0xB1, '"'), (0xC3, ":"), (0xE7, "$")):
        ext[trail - 0xA0] = ord(ch)
    write(out, "bj_ext.txt", bytes(ext))

    # Character sets (GBK pairs).
    all_gbk = [bytes([l, t]) for l in gbk_leads for t in gbk_trails if t != 0x7F]
    han = [(p, gbk.decode(p)) for p in all_gbk]
    han = [(p, ch) for p, ch in han if ch is not None and is_han(ch)]
    han.sort()
    t2s_out = {v[0] for v in t2s.values()}
    sets = {
        "gbkwords.txt": [p for p, ch in han],
        "gbk_simp.txt": [p for p, ch in han if gb2312.encode_pair(ch) or ch in t2s_out],
        "gbk_trad.txt": [p for p, ch in han if ch in t2s and ch not in t2s[ch]],
        "gbk_simp_pure.txt": [p for p, ch in han if ch in s2t and ch not in s2t[ch]],
        "gbk_jphanzi.txt": [p for p, ch in han if sjis.encode_pair(ch)],
        "gbk_jphanzi_unq.txt": [p for p, ch in han if sjis.encode_pair(ch) and not gb2312.encode_pair(ch)
                                and not big5.encode_pair(ch)],
    }
    for name, pairs in sets.items():
        write(out, name, lines_of(pairs))

    # Traditional/simplified character maps (GB18030).
    def word_map(table):
        rows = []
        for k in sorted(table):
            v = table[k][0]
            kb, vb = gb18030.encode(k), gb18030.encode(v)
            if k != v and kb and vb:
                rows.append(kb + b"\t" + vb)
        return lines_of(rows)
    write(out, "trad_simp_words.dic", word_map(t2s))
    write(out, "simp_trad_words.dic", word_map(s2t))

    # Special words: characters with more than one simplified form, kept
    # as they are in the phrases where OpenCC keeps them.
    def contexts(ch, enc):
        found = []
        for phrase in sorted(cc["TSPhrases"]):
            simp_phrase = cc["TSPhrases"][phrase][0]
            if len(simp_phrase) != len(phrase):
                continue
            for i, c in enumerate(phrase):
                if c == ch and simp_phrase[i] == ch:
                    coded = [enc(x) for x in phrase]
                    if all(coded):
                        found.append(b"%s %d %d" % (b"".join(coded), i, len(phrase) - i - 1))
                    break
        return found[:8]

    gbk_special, big5_special = [], []
    for ch in sorted(t2s):
        cands = t2s[ch]
        if len(cands) < 2:
            continue
        after = gbk.encode_pair(cands[0])
        own = gbk.encode_pair(ch)
        if after is None:
            continue
        if own is not None:
            gbk_special.append(b" ".join([own, after] + contexts(ch, gbk.encode_pair)))
        b5 = big5.encode_pair(ch)
        if b5 is not None and own is not None:
            big5_special.append(b" ".join([b5, after, own] + contexts(ch, big5.encode_pair)))
    write(out, "gbk.special", lines_of(gbk_special))
    write(out, "big5.special", lines_of(big5_special))

    # Bigrams of running text.
    def han_bigrams(texts, keep):
        counts = collections.Counter()
        for text in texts:
            for run in re.findall(r"[\u3040-\u30ff\u4e00-\u9fa5]+", text):
                for i in range(len(run) - 1):
                    if keep(run[i:i + 2]):
                        counts[run[i:i + 2]] += 1
        return counts

    zh_texts = manpage_texts(root, ["zh_CN"])
    cn = han_bigrams(zh_texts, lambda bg: all(is_han(c) for c in bg))
    cn_gbi = collections.Counter()
    for bg, n in cn.items():
        coded = [gbk_gbi(gbk.encode_pair(c)) if gbk.encode_pair(c) else None for c in bg]
        if all(coded):
            cn_gbi[b"".join(coded)] += n
    write(out, "bigram.dic", lines_of(sorted(top(cn_gbi, BIGRAM_CN))))

    ja_texts = manpage_texts(root, ["ja"])
    jp = han_bigrams(ja_texts, lambda bg: True)
    jp_coded = collections.Counter()
    for bg, n in jp.items():
        coded = [(gbk.encode_pair(c), sjis.encode_pair(c), eucjp.encode_pair(c)) for c in bg]
        if all(all(x) for x in coded):
            jp_coded[bg] += n
    jp_top = top(jp_coded, BIGRAM_JP)
    enc_bg = lambda cs, bg: b"".join(cs.encode_pair(c) for c in bg)  # noqa: E731
    write(out, "bigram_gbkjp.dic", lines_of(sorted(enc_bg(gbk, bg) for bg in jp_top)))
    sjis_bg = sorted(enc_bg(sjis, bg) for bg in jp_top)
    eucjp_bg = sorted(enc_bg(eucjp, bg) for bg in jp_top)
    write(out, "bigram_sjis.dic", lines_of(sjis_bg))
    write(out, "bigram_eucjp.dic", lines_of(eucjp_bg))

    kr = collections.Counter()
    with open(os.path.join(root, "usr/share/hunspell/ko.dic"), encoding="utf-8") as f:
        next(f)
        for line in f:
            word = unicodedata.normalize("NFC", line.split("/", 1)[0].strip())
            if not ccode_split.is_training(ccode_split.word_key(word)):
                continue
            for i in range(len(word) - 1):
                bg = word[i:i + 2]
                if all("\uac00" <= c <= "\ud7a3" for c in bg) and euckr.encode_pair(bg[0]) and euckr.encode_pair(bg[1]):
                    kr[bg] += 1
    euckr_bg = sorted(enc_bg(euckr, bg) for bg in top(kr, BIGRAM_KR))
    write(out, "bigram_euckr.dic", lines_of(euckr_bg))
    write(out, "bigram_krjp.dic", lines_of(sorted(set(euckr_bg) | set(sjis_bg) | set(eucjp_bg))))

    # Page word models: word TAB log10 frequency, words as the page word
    # features cut them (runs of ASCII letters and bytes 0x80 and above,
    # ASCII lower-cased, two bytes or more). A hunspell list adds each of
    # its words (training half) once to the counts of running text.
    def page_words(texts):
        counts = collections.Counter()
        for text in texts:
            for w in re.findall(rb"[A-Za-z\x80-\xff]+", text.encode("utf-8")):
                if len(w) >= 2:
                    counts[w.lower()] += 1
        return counts

    def hunspell_words(name):
        counts = collections.Counter()
        with open(os.path.join(root, "usr/share/hunspell", name + ".dic"),
                  encoding=ccode_query_features.hunspell_encoding(root, name), errors="replace") as f:
            next(f)
            for line in f:
                word = unicodedata.normalize("NFC", line.split("/", 1)[0].strip())
                if word and ccode_split.is_training(ccode_split.word_key(word)):
                    for w in re.findall(rb"[A-Za-z\x80-\xff]+", word.encode("utf-8")):
                        if len(w) >= 2:
                            counts[w.lower()] += 1
        return counts

    # Language packs keep some strings untranslated: their English lines are
    # dropped (ccode_text_filter.py), as for the query features.
    english = ccode_text_filter.EnglishFilter(manpage_texts(root, ["."]))
    os.makedirs(os.path.join(out, "code", "unigram"), exist_ok=True)
    for slot, (lang, folders, locales, hunspell, single) in enumerate(UNIGRAM_SLOTS):
        counts = page_words(manpage_texts(root, folders) + catalog_texts(root, locales) +
                            english.clean(langpack_texts(root, locales)))
        if hunspell:
            counts.update(hunspell_words(hunspell))
        total = sum(counts.values())
        to_single = Iconv("UTF-8", single) if single else None
        rows, seen = [], set()
        for w in top(counts, UNIGRAM_WORDS_OF.get(lang, UNIGRAM_WORDS)):
            freq = b"%.4f" % math.log10(counts[w] / total)
            forms = [w]
            if to_single is not None and max(w) >= 0x80:
                sb = to_single(w)
                if sb is not None and sb != w:
                    forms.append(sb)
            for form in forms:
                if form not in seen:
                    seen.add(form)
                    rows.append(form + b"\t" + freq)
        write(out, "unigram/%d.unigram" % slot, lines_of(rows))

    # White-URL lists: shipped empty (no list, nothing logged); a user fills
    # them with the pages whose code type and language are known.
    write(out, "white-url.txt", b"")
    write(out, "i18n-white-url.txt", b"")

    # Query code-type data: character frequencies (per hundred million
    # characters) of Chinese text, in GBK and in UTF-8. On this scale the
    # detector's bounds split the characters as its rules expect: the few
    # hundred most common characters lie above 50,000, the rarer half of
    # the list below 10,000 (checked below).
    chars = collections.Counter()
    for text in zh_texts + manpage_texts(root, ["zh_TW"]):
        for ch in text:
            if is_han(ch) and gbk.encode_pair(ch):
                chars[ch] += 1
    total = sum(chars.values())
    qchars = top(chars, QUERY_CHARS)
    head = b"# character frequency per hundred million characters\n"
    write(out, "query_unigram_ingbk.txt", head + lines_of(
        b"%s %d" % (gbk.encode_pair(c), chars[c] * 100000000 // total) for c in qchars))
    write(out, "query_unigram_inutf8.txt", head + lines_of(
        b"%s %d" % (c.encode("utf-8"), chars[c] * 100000000 // total) for c in qchars))
    freqs = [chars[c] * 100000000 // total for c in qchars]
    common, rare = sum(f > 50000 for f in freqs), sum(f < 10000 for f in freqs)
    if not (100 <= common <= len(freqs) // 4 and rare >= len(freqs) // 4):
        raise RuntimeError("query frequencies out of the rules' bounds: %d common, %d rare" % (common, rare))
    print("query characters: %d, above 50,000: %d, below 10,000: %d" % (len(freqs), common, rare))
    write(out, "query_detect.conf", b"# query TAB code type number: fixes the code type of one query\n")

    # Query-language features.
    ccode_query_features.generate(root, cc, language_texts, lambda name, data: write(out, name, data), lines_of)

    # The notice.
    notice = ["Data of the character-code library (code/), generated by tools/gen_ccode_data.py",
              "from the Debian 12 packages below, with the system's iconv (glibc) for every",
              "character conversion. Text sources were read only in their training half",
              "(tools/ccode_split.py); only derived statistics are shipped, no source text.",
              "", "package  version  licence  what was used"]
    for pkg in sorted(PACKAGES):
        notice.append("%s  %s  %s  %s" % (pkg, versions[pkg], licence(root, pkg), PACKAGES[pkg]))
    notice += ["", "The full licence texts are in each package's /usr/share/doc/<package>/copyright.", ""]
    with open(os.path.join(out, "NOTICE"), "w") as f:
        f.write("\n".join(notice))


if __name__ == "__main__":
    main()
