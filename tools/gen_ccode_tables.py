#!/usr/bin/env python3
"""Generates the character-code library's compiled-in conversion tables.

    python3 tools/gen_ccode_tables.py [--out DIR] [--check]

Writes two C++ sources (committed; the build needs no generator):

  ul_gbk_table.cpp   Obvmap (GBK -> UCS-2) and Revmap (UCS-2 -> GBK) in
                     blocks of 128 entries behind 512-pointer indices.
  ul_jcode_rows.cpp  the Japanese vendor rows (NEC special characters and
                     the NEC-selected and IBM extensions of the Windows
                     Japanese code page) as UCS-2, and the half-width
                     katakana folding tables.

Every character fact comes from the system's iconv (glibc): "GB18030" for
the GBK area, "CP932" and "EUC-JP-MS" for the Japanese rows, "GBK" for the
full-width forms. Where the table must differ from the system's converter
the rule is written down below (GBK_OVERRIDES, GB18030_2000_PUA,
NEAR_BY_HAND). Python's standard library only.
"""

import argparse
import os
import sys
import unicodedata

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_output  # noqa: E402
from gen_ccode_data import Iconv  # noqa: E402

# --- the system's iconv (the converter class of the data generator) ----------

def decoder(charset):
    """bytes -> the single code point they decode to in charset, or None."""
    conv = Iconv(charset, "UTF-32LE")

    def decode(data):
        out = conv(data)
        if out is None or len(out) != 4:
            return None
        return int.from_bytes(out, "little")
    return decode


def encoder(charset):
    """code point -> its bytes in charset, or None."""
    conv = Iconv("UTF-32LE", charset)
    return lambda cp: conv(cp.to_bytes(4, "little"))


# --- GBK <-> UCS-2 ----------------------------------------------------------

# Nine GBK symbols whose table value is another character than GB 18030's.
GBK_OVERRIDES = {
    0xA1A5: 0x00AF, 0xA1AB: 0x223C, 0xA1CE: 0x01C1, 0xA1E4: 0x00B4, 0xA1E9: 0x00A2,
    0xA1EA: 0x00A3, 0xA3A4: 0x00A5, 0xA3FE: 0x203E, 0xA6CC: 0x00B5,
}

# Codes that GB 18030-2000 maps into the Private Use Area and that later
# editions of the standard (the system's converter follows the 2022 one)
# moved to standard code points, some of them outside the BMP, which a
# 16-bit table cannot hold. The table keeps the 2000 assignments.
GB18030_2000_PUA = {
    0xA6D9: 0xE78D, 0xA6DA: 0xE78E, 0xA6DB: 0xE78F, 0xA6DC: 0xE790, 0xA6DD: 0xE791,
    0xA6DE: 0xE792, 0xA6DF: 0xE793, 0xA6EC: 0xE794, 0xA6ED: 0xE795, 0xA6F3: 0xE796,
    0xA8BC: 0xE7C7, 0xFE51: 0xE816, 0xFE52: 0xE817, 0xFE53: 0xE818, 0xFE59: 0xE81E,
    0xFE61: 0xE826, 0xFE66: 0xE82B, 0xFE67: 0xE82C, 0xFE6C: 0xE831, 0xFE6D: 0xE832,
    0xFE76: 0xE83B, 0xFE7E: 0xE843, 0xFE90: 0xE854, 0xFE91: 0xE855, 0xFEA0: 0xE864,
}

# Near mappings no rule below finds.
NEAR_BY_HAND = {0x00A6: ord("|")}

NO_MAPPING = 0xFFFD
BLOCK = 128
BLOCKS = 512


def gbk_tables():
    """(obv, rev): dicts key -> value in the table's key forms."""
    decode = decoder("GB18030")
    obv = {k: k for k in range(0x80)}
    obv[0x80] = 0x80
    for lead in range(0x81, 0xFF):
        for trail in range(0x40, 0xFF):
            if trail == 0x7F:
                continue
            code = (lead << 8) | trail
            if code in GBK_OVERRIDES:
                cp = GBK_OVERRIDES[code]
            elif code in GB18030_2000_PUA:
                if decode(bytes([lead, trail])) == GB18030_2000_PUA[code]:
                    raise RuntimeError("%04X: the converter already gives the PUA value" % code)
                cp = GB18030_2000_PUA[code]
            else:
                cp = decode(bytes([lead, trail]))
                if cp is None or cp > 0xFFFF or cp == NO_MAPPING:
                    raise RuntimeError("%04X: no BMP code point from the converter" % code)
            obv[trail << 8 | lead] = cp  # the key: first byte low
    if len(obv) != 128 + 1 + 23940:
        raise RuntimeError("expected 23940 two-byte codes")
    rev = {}
    for key, cp in obv.items():
        if cp in rev:
            raise RuntimeError("U+%04X comes from two codes" % cp)
        rev[cp] = key

    # Near mappings of code points without a code of their own: the
    # compatibility form, the lower-case form, the letter without its
    # marks, in that order, when that is one mapped character.
    def near(cp):
        ch = chr(cp)
        forms = [unicodedata.normalize("NFKC", ch), ch.lower(), unicodedata.normalize("NFKC", ch).lower()]
        bare = "".join(c for c in unicodedata.normalize("NFD", ch) if not unicodedata.combining(c))
        forms += [bare, bare.lower()]
        for f in forms:
            if len(f) == 1 and ord(f) in rev and ord(f) != cp:
                return rev[ord(f)]
        return None

    near_map = {}
    for cp in range(0x80, 0x10000):
        if cp in rev or 0xD800 <= cp <= 0xDFFF or 0xE000 <= cp <= 0xF8FF or cp in (0xFFFD, 0xFFFE, 0xFFFF):
            continue
        v = NEAR_BY_HAND.get(cp)
        v = rev[v] if v is not None else near(cp)
        if v is not None:
            near_map[cp] = v
    rev.update(near_map)
    for cp, key in ((0x00A6, ord("|")), (0x00B2, ord("2")), (0x00C0, 0xA4A8)):
        if rev.get(cp) != key:
            raise RuntimeError("near mapping of U+%04X is not %04X" % (cp, key))
    return obv, rev, len(near_map)


def blocked(name, table):
    """C++ for a flat array of the non-empty blocks and its index."""
    blocks = []
    index = []
    for b in range(BLOCKS):
        keys = range(b * BLOCK, (b + 1) * BLOCK)
        if not any(k in table for k in keys):
            index.append(None)
            continue
        index.append(len(blocks))
        blocks.append([table.get(k, NO_MAPPING) for k in keys])
    out = ["const uint16_t %s[%d] = {" % (name, len(blocks) * BLOCK)]
    for n, values in enumerate(blocks):
        out.append("    // block %d" % index.index(n))
        for i in range(0, BLOCK, 16):
            out.append("    " + ", ".join("0x%04X" % v for v in values[i:i + 16]) + ",")
    out.append("};")
    out.append("")
    out.append("const uint16_t* const Index_%s[%d] = {" % (name, BLOCKS))
    row = []
    for pos in index:
        row.append("nullptr" if pos is None else "%s + %d" % (name, pos * BLOCK))
        if len(row) == 8:
            out.append("    " + ", ".join(row) + ",")
            row = []
    out.append("};")
    return out


def gbk_source():
    obv, rev, near = gbk_tables()
    out = ["// GBK <-> UCS-2 tables. Generated by tools/gen_ccode_tables.py; do not edit.",
           "//",
           "// Obvmap: GBK -> UCS-2, keyed by a GBK code read little-endian (first",
           "// byte low); the 23,940 two-byte codes as the system's GB18030 converter",
           "// decodes them, except nine symbols and the 25 codes that GB 18030-2000",
           "// put into the Private Use Area. Revmap: UCS-2 -> GBK, the inverse plus",
           "// %d near mappings (compatibility, lower-case or unmarked forms)." % near,
           "// A key k lies in block k >> 7 at k & 127; a null block or 0xFFFD is no",
           "// mapping.",
           '#include "ul_gbk_table.h"',
           ""]
    out += blocked("Obvmap", obv)
    out.append("")
    out += blocked("Revmap", rev)
    return "\n".join(out) + "\n"


# --- Japanese vendor rows ---------------------------------------------------

def jis_to_sjis(row, cell):
    """Shift_JIS code of JIS X 0208 row/cell (1-based)."""
    lead = (row + 1) // 2 + (0x80 if row <= 62 else 0xC0)
    if row % 2:
        trail = cell + 0x3F + (1 if cell >= 64 else 0)
    else:
        trail = cell + 0x9E
    return lead, trail


def japanese_rows():
    cp932 = decoder("CP932")
    eucms = decoder("EUC-JP-MS")

    def sjis(lead, trail):
        if trail in (0x7F, 0xFD, 0xFE, 0xFF) or trail < 0x40:
            return NO_MAPPING
        cp = cp932(bytes([lead, trail]))
        return NO_MAPPING if cp is None or cp > 0xFFFF else cp

    rows = {}
    rows["sjis_row_13"] = [sjis(0x87, t) for t in range(0x40, 0x9D)]
    rows["sjis_row89_92"] = [sjis(lead, t) for lead in (0xED, 0xEE) for t in range(0x40, 0x100)]
    rows["sjis_fa"] = ([sjis(lead, t) for lead in (0xFA, 0xFB) for t in range(0x40, 0x100)]
                       + [sjis(0xFC, t) for t in range(0x40, 0x50)])

    def euc13(trail):
        if not 0xA1 <= trail <= 0xFE:
            return NO_MAPPING
        cp = eucms(bytes([0xAD, trail]))
        return NO_MAPPING if cp is None else cp

    rows["eucjp_row_13"] = [euc13(t) for t in range(0xA0, 0xFD)]
    # Rows 89..92 carry the characters of the same JIS row and cell in the
    # Windows code page (EUC-JP-MS puts them into the Private Use Area).
    euc89 = []
    for lead in range(0xF9, 0xFD):
        for trail in range(0xA0, 0x100):
            if not 0xA1 <= trail <= 0xFE:
                euc89.append(NO_MAPPING)
                continue
            euc89.append(sjis(*jis_to_sjis(lead - 0xA0, trail - 0xA0)))
    rows["eucjp_row89_92"] = euc89
    sizes = {"sjis_row_13": 93, "sjis_row89_92": 384, "sjis_fa": 400, "eucjp_row_13": 93, "eucjp_row89_92": 384}
    for name, n in sizes.items():
        if len(rows[name]) != n:
            raise RuntimeError("%s has %d entries" % (name, len(rows[name])))
    checks = [("sjis_row_13", 0, 0x2460), ("sjis_row89_92", 0, 0x7E8A), ("sjis_fa", 0, 0x2170),
              ("eucjp_row_13", 1, 0x2460), ("eucjp_row_13", 92, 0x222A), ("eucjp_row89_92", 1, 0x7E8A),
              ("eucjp_row89_92", 383 - 1, 0xFF02)]
    for name, i, cp in checks:
        if rows[name][i] != cp:
            raise RuntimeError("%s[%d] is %04X, not %04X" % (name, i, rows[name][i], cp))
    return rows


def katakana_tables():
    """GB_BJ2QJ (63 GBK codes of the full-width forms of U+FF61..U+FF9F, 0
    for none) and zhuoyin (49 entries for the kana trails AB..DB: 1 takes
    the voiced mark, 2 also the semi-voiced one)."""
    gbk = encoder("GBK")
    decode = decoder("GBK")
    marks = {0x3099: 0x309B, 0x309A: 0x309C}  # combining -> spacing marks
    bj2qj = []
    for cp in range(0xFF61, 0xFFA0):
        full = unicodedata.normalize("NFKC", chr(cp))
        full = chr(marks.get(ord(full), ord(full)))
        code = gbk(ord(full))
        bj2qj.append(int.from_bytes(code, "big") if code and len(code) == 2 else 0)
    if bj2qj[1] != 0xA1B8 or bj2qj[6] != 0xA5A1 or bj2qj[61:] != [0xA961, 0xA962] or bj2qj[4] != 0:
        raise RuntimeError("unexpected full-width forms")

    def voicing(lead, trail):
        kana = chr(decode(bytes([lead, trail])))
        voiced = unicodedata.normalize("NFC", kana + "\u3099")
        half = unicodedata.normalize("NFC", kana + "\u309A")
        if len(half) == 1:
            return 2
        return 1 if len(voiced) == 1 else 0

    zhuoyin = [voicing(0xA5, t) for t in range(0xAB, 0xDC)]
    if zhuoyin != [voicing(0xA4, t) for t in range(0xAB, 0xDC)]:
        raise RuntimeError("hiragana and katakana rows differ")
    return bj2qj, zhuoyin


def array(ctype, name, values, fmt, per_line):
    out = ["const %s %s[%d] = {" % (ctype, name, len(values))]
    for i in range(0, len(values), per_line):
        out.append("    " + ", ".join(fmt % v for v in values[i:i + per_line]) + ",")
    out.append("};")
    return out


def jcode_source():
    rows = japanese_rows()
    bj2qj, zhuoyin = katakana_tables()
    out = ["// Japanese vendor rows and half-width katakana tables. Generated by",
           "// tools/gen_ccode_tables.py; do not edit.",
           "//",
           "// Vendor rows: the Windows Japanese code page's characters (UCS-2, 0xFFFD",
           "// for none) of codes the platform's SHIFT_JIS and EUC-JP converters",
           "// reject, from the system's CP932 and EUC-JP-MS converters (EUC rows",
           "// 89..92 from CP932 by JIS row and cell).",
           '#include "ul_jcode_table.h"',
           ""]
    comments = {
        "sjis_row_13": "Shift_JIS 87 40..87 9C: NEC special characters.",
        "sjis_row89_92": "Shift_JIS ED 40..EE FF: NEC-selected IBM extensions, 192 trails 40..FF per lead.",
        "sjis_fa": "Shift_JIS FA 40..FB FF, then FC 40..FC 4F: IBM extensions.",
        "eucjp_row_13": "EUC-JP AD A0..AD FC.",
        "eucjp_row89_92": "EUC-JP F9 A0..FC FF, 96 trails A0..FF per lead.",
    }
    for name in ("sjis_row_13", "sjis_row89_92", "sjis_fa", "eucjp_row_13", "eucjp_row89_92"):
        out.append("// " + comments[name])
        out += array("uint16_t", name, rows[name], "0x%04X", 12)
        out.append("")
    out.append("// Full-width GBK forms of the half-width katakana U+FF61..U+FF9F (high byte")
    out.append("// first), 0 where GBK has no two-byte form.")
    out += array("uint16_t", "GB_BJ2QJ", bj2qj, "0x%04X", 12)
    out.append("")
    out.append("// Kana trails AB..DB of GBK rows A4/A5: 1 takes the voiced mark, 2 also the")
    out.append("// semi-voiced mark, 0 neither.")
    out += array("int", "zhuoyin", zhuoyin, "%d", 25)
    return "\n".join(out) + "\n"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    gen_output.add_output_args(ap, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "ccode", "src",
                                                "generated"))
    args = ap.parse_args()
    return gen_output.emit(args, {"ul_gbk_table.cpp": gbk_source(), "ul_jcode_rows.cpp": jcode_source()})


if __name__ == "__main__":
    sys.exit(main())
