#!/usr/bin/env python3
"""Writes the seed corpora of the dictionary-tool fuzz targets:
fuzz_dict_phrase_build, fuzz_dict_phrase_load, fuzz_dict_cphrase_load,
fuzz_dict_syn_construct, fuzz_dict_syn_load and fuzz_dict_tools (input
layouts in each target's header comment). Valid files are built here by the
formats' own rules, with a few broken variants.
Run from the project root:  python3 tools/gen_dict_tool_fuzz_seeds.py [--out DIR] [--check]
(--out: the folder of the corpora, fuzz/corpus/ by default)
"""
import argparse
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_output  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PHRASE_HASH = 100001
BLOCK = 524288


def gb(text):
    return text.encode("gb2312")


SEEDS = {}


def write(target, name, data):
    SEEDS[os.path.join(target, name)] = data


def phrase_files(tokens):
    """The index records (bucket -> (off, num)) and phrase file of dp_build."""
    buckets = {}
    for t in tokens:
        if len(t) >= 3:
            buckets.setdefault((t[0] + 256 * t[1] + 65536 * t[2]) % PHRASE_HASH, []).append(t)
    records, ind2 = {}, b""
    for b in sorted(buckets):
        records[b] = (len(ind2), len(buckets[b]))
        ind2 += b"".join(t + b"\n" for t in buckets[b])
    return records, ind2


def phrase_load_seed(flags, records, text, ind2):
    s = bytes([flags, len(records)])
    for b, (off, num) in records.items():
        s += struct.pack("<I", b)[:3] + struct.pack("<II", off & 0xFFFFFFFF, num & 0xFFFFFFFF)
    return s + bytes([len(text)]) + text + ind2


def sign(word):
    """creat_sign_fs64 of a word of at most 4 bytes: its little-endian number."""
    assert len(word) <= 4
    return int.from_bytes(word, "little"), 0


def index_files(hash_num, records):
    """NAME.ind1 and NAME.ind2 of records added in order (newest first per chain)."""
    buckets = [[] for _ in range(hash_num)]
    for r in records:
        buckets[(r[0] + r[1]) % hash_num].insert(0, r)
    starts, counts, ind2 = [], [], b""
    for b in buckets:
        starts.append(len(ind2) // 16)
        counts.append(len(b))
        ind2 += b"".join(struct.pack("<4I", *r) for r in b)
    return struct.pack(f"<{2 * hash_num}I", *(starts + counts)), ind2


def syn_files(hash_num, pairs):
    words, store = {}, b""
    for w, s in pairs:
        for x in (w, s):
            if x not in words:
                words[x] = len(store)
                store += x + b"\0"
    word_hash = len(words) // 2
    if word_hash % 2 == 0:
        word_hash += 1
    wrecs = [(*sign(x), len(x), loc) for x, loc in words.items()]
    w1, w2 = index_files(word_hash, wrecs)
    p1, p2 = index_files(hash_num, [(*sign(w), *sign(s)) for w, s in pairs])
    n = f"hash_num : {hash_num}\nnode_num : {len(pairs)}\nword_buf : 1\ncur_buf : {len(store)}\n"
    wn = f"hash_num : {word_hash}\nnode_num : {len(words)}\ncur_code : 0\n"
    return [n.encode(), p1, p2, wn.encode(), w1, w2], store


def syn_load_seed(files, blocks, store):
    n, p1, p2, wn, w1, w2 = files
    return (bytes([len(n)]) + n + struct.pack("<H", len(p1)) + p1 + struct.pack("<H", len(p2)) + p2 +
            bytes([len(wn)]) + wn + struct.pack("<H", len(w1)) + w1 + struct.pack("<H", len(w2)) + w2 +
            bytes([blocks]) + store)


def sec(data):
    return struct.pack("<H", len(data)) + data


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    gen_output.add_output_args(ap, os.path.join(ROOT, "fuzz", "corpus"))
    args = ap.parse_args()
    # Source texts of dp_build (under 2,048 bytes).
    write("fuzz_dict_phrase_build", "words", b"go home\n\tabc  abcde\r\nabc home,x")
    write("fuzz_dict_phrase_build", "gb", gb("中国 人民 中国人\n王小明") + b" abc")
    write("fuzz_dict_phrase_build", "longest", b"q" * 2047)
    write("fuzz_dict_phrase_build", "nul", b"abc\0def ghi")

    records, ind2 = phrase_files([b"abc", b"abcde", b"home", b"go", gb("中国"), gb("中国人")])
    write("fuzz_dict_phrase_load", "valid", phrase_load_seed(0, records, b"home abcd abc" + gb("中国人"), ind2))
    write("fuzz_dict_phrase_load", "short_index", phrase_load_seed(1, records, b"abc", ind2))
    write("fuzz_dict_phrase_load", "no_phrases", phrase_load_seed(4, records, b"abc home", ind2))
    bad = dict(records)
    bad[5] = (3, 1000000)
    bad[6] = (-16, 1)
    write("fuzz_dict_phrase_load", "past_the_end", phrase_load_seed(0, bad, b"abc home", ind2))

    lines = sorted([gb("人民"), gb("王小明"), gb("中国"), gb("中国人"), gb("中国").replace(gb("国"), b"\xb9")])
    ph = b"ab\n" + b"\n".join(lines) + b"\nabc\n\n"
    sur = gb("王 张") + b" abc"
    write("fuzz_dict_cphrase_load", "valid", sec(ph) + bytes([len(sur)]) + sur + gb("中国人民王小明张三丰") + b"abcd")
    write("fuzz_dict_cphrase_load", "no_surnames", sec(ph) + b"\0" + gb("中国人民"))
    write("fuzz_dict_cphrase_load", "odd", sec(gb("中国")[:3] + b"\n") + b"\0" + gb("中国人民") + b"\xb0")

    write("fuzz_dict_syn_construct", "all", b"\x00a|b|c\n")
    write("fuzz_dict_syn_construct", "star", b"\x02a|b|c\nb|d\n")
    write("fuzz_dict_syn_construct", "chain", b"\x01a||b|\nx|y\rz\n|\n")
    write("fuzz_dict_syn_construct", "star_one_way", b"\x0b" + gb("中国|中华|华夏") + b"\n" + b"y" * 300 + b"|a\n")

    files, store = syn_files(3, [(b"a", b"b"), (b"b", b"a"), (b"a", b"cc"), (b"dd", b"a")])
    write("fuzz_dict_syn_load", "valid", syn_load_seed(files, 1, store))
    write("fuzz_dict_syn_load", "short_store", syn_load_seed(files, 0, store))
    broken = list(files)
    broken[2] = files[2] + struct.pack("<4I", 7, 7, 0x61, 0)
    write("fuzz_dict_syn_load", "extra_pair", syn_load_seed(broken, 1, store))
    broken = list(files)
    broken[5] = files[5][:12] + struct.pack("<I", BLOCK - 1) + files[5][16:]
    write("fuzz_dict_syn_load", "word_past_store", syn_load_seed(broken, 2, store))

    freq = struct.pack("<40I", *[(i * 37) % 1001 for i in range(40)])
    weights = bytes((i * 11) % 256 for i in range(40))
    gens = sec(struct.pack("<3I", 1, 2, 3)) + sec(freq) + sec(b"") + sec(freq[:9])
    head = lambda lw, n, url, raw, db, ds: bytes([lw, n]) + struct.pack("<II", url, raw) + bytes([db, ds])
    write("fuzz_dict_tools", "plain", head(20, 10, 1000, 64, 2, 2) + sec(freq) + sec(weights) + gens)
    write("fuzz_dict_tools", "extremes", head(0, 4, 0xFFFFFFFF, 0x7FFFFFFF, 3, 1) + sec(b"\xff" * 160) + sec(b"\x80") + gens)
    write("fuzz_dict_tools", "every_key", head(48, 44, 134217728, 1, 0, 0) + sec(freq[:20]) + sec(weights))
    return gen_output.emit(args, SEEDS)


if __name__ == "__main__":
    sys.exit(main())
