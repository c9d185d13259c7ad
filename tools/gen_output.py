"""The output options every generator of committed files shares.

    --out DIR   the folder the generated files are written into (default: the
                place in the source tree they are committed at)
    --check     write nothing; compare each file with DIR's copy byte for byte
                and exit 1 naming those that differ or are missing

emit() writes each file whole: a temporary name in the same folder, then a
rename, so that a reader never sees half a table.
"""

import os
import sys


def add_output_args(parser, default_dir):
    parser.add_argument("--out", default=default_dir, help="folder the generated files go into")
    parser.add_argument("--check", action="store_true",
                        help="compare with the files in --out instead of writing them")


def emit(args, files):
    """files: {name: text or bytes}, a name relative to --out (it may name a
    subfolder). Writes or (with --check) compares; returns the exit status."""
    differ = []
    for name, text in files.items():
        path = os.path.join(args.out, name)
        data = text if isinstance(text, bytes) else text.encode("utf-8")
        if args.check:
            try:
                with open(path, "rb") as f:
                    same = f.read() == data
            except OSError:
                same = False
            if not same:
                differ.append(path)
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        tmp = path + ".tmp"
        with open(tmp, "wb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        os.replace(tmp, path)
    for path in differ:
        print("differs from the generator's output: %s" % os.path.relpath(path), file=sys.stderr)
    return 1 if differ else 0
