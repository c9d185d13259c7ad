#!/usr/bin/env python3
"""Makes the real-text corpora of the character-code conversion benchmark
(bench/bench_ccode_conv.cpp) from Debian's Chinese and Japanese manual
pages.

    python3 tools/ccode_text_corpus.py --cache DIR --out DIR [--mb 10]

DIR (--cache) is a cache folder outside the repository: manpages-zh and
manpages-ja are fetched into it with "apt-get download" (unless a .deb is
already there) and unpacked with "dpkg -x". Only the held-out half of the
pages is read (tools/ccode_split.py), so the corpora never overlap the text
the library's data was made from. Writes, into --out, zh_CN.txt, zh_TW.txt
and ja.txt: the running text of the pages in UTF-8, repeated to --mb
megabytes. Nothing is committed; the benchmark finds the folder through the
environment variable PBDICT_CCODE_CORPUS.
"""

import argparse
import glob
import gzip
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ccode_split  # noqa: E402
from gen_ccode_data import troff_text  # noqa: E402

PACKAGES = ("manpages-zh", "manpages-ja")
LANGS = {"zh_CN": "zh_CN", "zh_TW": "zh_TW", "ja": "ja"}


def unpack(cache):
    debdir = os.path.join(cache, "deb")
    root = os.path.join(cache, "root")
    os.makedirs(debdir, exist_ok=True)
    for pkg in PACKAGES:
        debs = glob.glob(os.path.join(debdir, pkg + "_*.deb"))
        if not debs:
            subprocess.run(["apt-get", "download", pkg], cwd=debdir, check=True, stdout=subprocess.DEVNULL)
            debs = glob.glob(os.path.join(debdir, pkg + "_*.deb"))
        stamp = os.path.join(root, ".unpacked-" + os.path.basename(debs[0]))
        if not os.path.exists(stamp):
            os.makedirs(root, exist_ok=True)
            subprocess.run(["dpkg", "-x", debs[0], root], check=True)
            open(stamp, "w").close()
    return root


def held_out_text(root, folder):
    parts = []
    for path in sorted(glob.glob(os.path.join(root, "usr/share/man", folder, "man*", "*"))):
        if not ccode_split.is_held_out(ccode_split.manpage_key(os.path.relpath(path, root))):
            continue
        data = gzip.open(path).read() if path.endswith(".gz") else open(path, "rb").read()
        try:
            text = troff_text(data.decode("utf-8"))
        except UnicodeDecodeError:
            continue
        lines = [line.strip() for line in text.splitlines() if line.strip()]
        parts.append("\n".join(lines))
    return "\n".join(parts) + "\n"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--cache", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--mb", type=int, default=10)
    args = ap.parse_args()
    root = unpack(os.path.abspath(args.cache))
    os.makedirs(args.out, exist_ok=True)
    want = args.mb * 1000 * 1000
    for name, folder in LANGS.items():
        text = held_out_text(root, folder).encode("utf-8")
        if not text.strip():
            raise RuntimeError("no held-out text in %s" % folder)
        data = text * (want // len(text) + 1)
        cut = data[:want]
        # End on a whole character and a whole line.
        cut = cut[:cut.rfind(b"\n") + 1]
        with open(os.path.join(args.out, name + ".txt"), "wb") as f:
            f.write(cut)
        print("%s: %d bytes of held-out text, %d written" % (name, len(text), len(cut)))


if __name__ == "__main__":
    main()
