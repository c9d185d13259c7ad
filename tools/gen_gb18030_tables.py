#!/usr/bin/env python3
"""Generates the GB18030 -> Unicode tables of the character-code library.

    python3 tools/gen_gb18030_tables.py [--out DIR] [--check]

Writes ul_gb18030_table.cpp (committed; the build needs no generator):

  kGb18030PairOverrides  the two-byte codes whose code point differs from the
                         GBK table's (ul_gbk_table.cpp, tools/gen_ccode_tables.py),
                         which holds every other two-byte code as GB18030 has it.
  kGb18030FourRanges     the four-byte codes by linear index (81 30 81 30 is 0,
                         the last byte counting fastest): runs of consecutive
                         indices with consecutive code points, and runs of
                         indices without a character, covering all 1,587,600.

Every fact comes from the system's iconv (glibc) converting "GB18030" to
"UTF-32LE": each two-byte code, and each four-byte code (converted a run at
a time; a code the converter rejects is skipped and marked). Python's
standard library only.
"""

import argparse
import ctypes
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_ccode_tables  # noqa: E402
import gen_output  # noqa: E402
from gen_ccode_data import _libc  # noqa: E402

FOUR_CODES = 126 * 10 * 126 * 10
NO_CODE = 0xFFFFFFFF
E2BIG = 7
_libc.iconv_close.argtypes = [ctypes.c_void_p]


def four_bytes(index):
    b3 = index % 10
    index //= 10
    b2 = index % 126
    index //= 126
    return bytes([0x81 + index // 10, 0x30 + index % 10, 0x81 + b2, 0x30 + b3])


def decode_codes(codes, width):
    """The code point of each code of a run of codes of width bytes each, or
    None where the converter rejects it (then the next code is tried)."""
    cd = _libc.iconv_open(b"UTF-32LE", b"GB18030")
    if cd in (None, ctypes.c_void_p(-1).value):
        raise RuntimeError("iconv cannot convert GB18030 to UTF-32LE")
    data = b"".join(codes)
    inbuf = ctypes.create_string_buffer(data, len(data))
    outbuf = ctypes.create_string_buffer(len(codes) * 4)
    inp = ctypes.c_char_p(ctypes.addressof(inbuf))
    outp = ctypes.c_char_p(ctypes.addressof(outbuf))
    inleft = ctypes.c_size_t(len(data))
    outleft = ctypes.c_size_t(len(outbuf))
    result = []
    while True:
        start_out = len(outbuf) - outleft.value
        consumed_before = len(data) - inleft.value
        r = _libc.iconv(cd, ctypes.byref(inp), ctypes.byref(inleft), ctypes.byref(outp), ctypes.byref(outleft))
        consumed = len(data) - inleft.value - consumed_before
        written = len(outbuf) - outleft.value - start_out
        if consumed % width or written != consumed // width * 4:
            raise RuntimeError("the converter gave other than one code point a code")
        raw = outbuf.raw[start_out:start_out + written]
        result += [int.from_bytes(raw[i:i + 4], "little") for i in range(0, written, 4)]
        if r != ctypes.c_size_t(-1).value or inleft.value == 0:
            break
        if ctypes.get_errno() == E2BIG:
            raise RuntimeError("output buffer too small")
        result.append(None)  # rejected: skip the code
        inp = ctypes.c_char_p(ctypes.addressof(inbuf) + len(data) - inleft.value + width)
        inleft = ctypes.c_size_t(inleft.value - width)
        # One code point of output was reserved for the rejected code.
        outp = ctypes.c_char_p(ctypes.addressof(outbuf) + len(outbuf) - outleft.value + 4)
        outleft = ctypes.c_size_t(outleft.value - 4)
        if inleft.value == 0:
            break
    _libc.iconv_close(cd)
    if len(result) != len(codes):
        raise RuntimeError("a code went missing")
    return result


def pair_overrides():
    """{code (lead << 8 | trail): code point} where GB18030 differs from the
    GBK table."""
    obv = gen_ccode_tables.gbk_tables()[0]
    codes = [(lead << 8) | trail for lead in range(0x81, 0xFF) for trail in range(0x40, 0xFF) if trail != 0x7F]
    points = decode_codes([bytes([c >> 8, c & 0xFF]) for c in codes], 2)
    overrides = {}
    for code, cp in zip(codes, points):
        if cp is None:
            raise RuntimeError("%04X: the converter rejects a two-byte code" % code)
        if obv[(code & 0xFF) << 8 | code >> 8] != cp:
            overrides[code] = cp
    return overrides


def four_ranges():
    """[(first index, code point of the first or NO_CODE)], one per run."""
    ranges = []
    step = 1260 * 10  # the codes of one first byte
    for first in range(0, FOUR_CODES, step):
        points = decode_codes([four_bytes(i) for i in range(first, first + step)], 4)
        for k, cp in enumerate(points):
            index = first + k
            if cp is not None and not (0x80 <= cp <= 0x10FFFF) or cp is not None and 0xD800 <= cp <= 0xDFFF:
                raise RuntimeError("%s: not a character" % four_bytes(index).hex())
            if ranges:
                start, base = ranges[-1]
                if cp is None and base == NO_CODE or cp is not None and base != NO_CODE and cp == base + index - start:
                    continue
            ranges.append((index, NO_CODE if cp is None else cp))
    return ranges


def source():
    overrides = pair_overrides()
    ranges = four_ranges()
    out = ["// GB18030 -> Unicode tables. Generated by tools/gen_gb18030_tables.py; do not",
           "// edit. Every value is the system's GB18030 converter's.",
           '#include "ul_gb18030_table.h"',
           "",
           "// The two-byte codes (lead << 8 | trail) whose code point differs from the",
           "// GBK table's.",
           "const Gb18030Pair kGb18030PairOverrides[] = {"]
    for code in sorted(overrides):
        out.append("    {0x%04X, 0x%05X}," % (code, overrides[code]))
    out += ["};",
            "",
            "// The four-byte codes by linear index: a run from first up to the next",
            "// run's first, code point base + (index - first), or none for base",
            "// kGb18030NoCode.",
            "const Gb18030Run kGb18030FourRuns[] = {"]
    for i in range(0, len(ranges), 4):
        cells = []
        for first, base in ranges[i:i + 4]:
            cells.append("{%d, %s}" % (first, "kGb18030NoCode" if base == NO_CODE else "0x%05X" % base))
        out.append("    " + ", ".join(cells) + ",")
    out += ["};",
            "",
            "const size_t kGb18030PairOverrideCount = sizeof(kGb18030PairOverrides) / sizeof(kGb18030PairOverrides[0]);",
            "const size_t kGb18030FourRunCount = sizeof(kGb18030FourRuns) / sizeof(kGb18030FourRuns[0]);"]
    return "\n".join(out) + "\n", len(overrides), len(ranges)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    gen_output.add_output_args(ap, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "ccode", "src",
                                                "generated"))
    args = ap.parse_args()
    text, _, _ = source()
    return gen_output.emit(args, {"ul_gb18030_table.cpp": text})


if __name__ == "__main__":
    sys.exit(main())
