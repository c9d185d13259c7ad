#!/usr/bin/env python3
"""Writes the seed corpus of fuzz/fuzz_dset_binary_load.cpp: small valid
binary dictionaries packed as [4 bytes LE length of the pbd file][pbd][ht].
Run from the project root:  python3 tools/gen_pbdict_fuzz_seeds.py [--out DIR] [--check]
"""
import argparse
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_output  # noqa: E402

OUT = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "fuzz", "corpus",
                   "fuzz_dset_binary_load")
SEEDS = {}


def oaat(key, modulus):
    """Jenkins' one-at-a-time hash of the key, modulo the capacity."""
    h = 0
    for c in key:
        h = (h + c) & 0xFFFFFFFF
        h = (h + (h << 10)) & 0xFFFFFFFF
        h ^= h >> 6
    h = (h + (h << 3)) & 0xFFFFFFFF
    h ^= h >> 11
    h = (h + (h << 15)) & 0xFFFFFFFF
    return h % modulus


def pbd(values, empty=False):
    head = struct.pack("<qqiiiiii", 1700000000, 123, 1 if empty else 0, len(values), 1, 0,
                       1000000, 0) + b"bs" + struct.pack("<i", 1)
    head += b"\0" * (1024 - len(head))
    if empty:
        return head
    offsets = [0]
    for v in values:
        offsets.append(offsets[-1] + len(v))
    return head + b"".join(struct.pack("<Q", o) for o in offsets) + b"".join(values)


def ht(keys, capacity=53):
    buckets = [[] for _ in range(capacity)]
    for i, k in enumerate(keys):
        buckets[oaat(k, capacity)].append((k, i))
    body, area = b"", b""
    for bucket in buckets:
        body += struct.pack("<I", len(bucket))
        for k, i in bucket:
            body += struct.pack("<II", i, len(area))
            area += k + b"\0"
    return struct.pack("<III", capacity, len(keys), len(area)) + body + area


def seed(name, p, h):
    SEEDS[name] = struct.pack("<I", len(p)) + p + h


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    gen_output.add_output_args(ap, OUT)
    args = ap.parse_args()
    seed("one_entry", pbd([b"\x0a\x01x"]), ht([b"a"]))
    seed("empty", pbd([], True), b"")
    keys = [b"k%d" % i for i in range(40)]
    values = [(b"\x08" + bytes([i]) + b"\x12\x02hi\x18\x01\x18\x02\x22\x03\x0a\x01z") if i % 2
              else b"" for i in range(40)]
    seed("forty_entries", pbd(values), ht(keys))
    seed("zero_length_values", pbd([b"", b""]), ht([b"p", b"q"]))
    seed("big_capacity", pbd([b"\x08\x05"]), ht([b"key"], 1543))
    return gen_output.emit(args, SEEDS)


if __name__ == "__main__":
    sys.exit(main())
