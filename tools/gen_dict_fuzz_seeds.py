#!/usr/bin/env python3
"""Writes the seed corpus of fuzz/fuzz_dict_search_load.cpp: small valid
dictionary file sets (and a few broken ones) packed as
[1 byte len][NAME.n][2 bytes LE len][NAME.ind1][NAME.ind2].
Run from the project root:  python3 tools/gen_dict_fuzz_seeds.py [--out DIR] [--check]
"""
import argparse
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_output  # noqa: E402


def dict_files(hash_num, keys, cur_code):
    buckets = [[] for _ in range(hash_num)]
    for code, (s1, s2, other) in enumerate(keys):
        buckets[(s1 + s2) % (2 ** 32) % hash_num].insert(0, (s1, s2, code, other))
    starts, counts, recs = [], [], b""
    for b in buckets:
        starts.append(len(recs) // 16)
        counts.append(len(b))
        for r in b:
            recs += struct.pack("<IIiI", *r)
    n = f"hash_num : {hash_num}\nnode_num : {len(keys)}\ncur_code : {cur_code}\n".encode()
    ind1 = struct.pack(f"<{2 * hash_num}I", *(starts + counts))
    return n, ind1, recs


def pack(n, ind1, ind2):
    assert len(n) < 256 and len(ind1) < 65536
    return bytes([len(n)]) + n + struct.pack("<H", len(ind1)) + ind1 + ind2


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    gen_output.add_output_args(ap, os.path.join(root, "fuzz", "corpus", "fuzz_dict_search_load"))
    args = ap.parse_args()
    seeds = {
        "empty": dict_files(3, [], 0),
        "one": dict_files(1, [(0x636261, 0, 1)], 1),
        "small": dict_files(3, [(1, 0, 2), (2, 0, 1), (4, 0, 1), (3, 0, 1)], 4),
        "chains": dict_files(7, [(i * 7, i, i | (3 << 25)) for i in range(60)], 60),
    }
    n, ind1, ind2 = seeds["small"]
    seeds["truncated_ind2"] = (n, ind1, ind2[:-5])
    seeds["bad_start"] = (n, b"\xff" + ind1[1:], ind2)
    seeds["no_buckets"] = (b"hash_num : 0\nnode_num : 0\ncur_code : 0\n", b"", b"")
    return gen_output.emit(args, {name: pack(*files) for name, files in seeds.items()})


if __name__ == "__main__":
    sys.exit(main())
