#!/usr/bin/env python3
"""Packs the release zip: one folder with the given files and their SHA256SUMS, the same bytes on every run.

Usage: make-dist.py --folder NAME --epoch SECONDS --out ZIP  PATH-IN-FOLDER=FILE ...
"""
import argparse
import hashlib
import os
import sys
import time
import zipfile

DOS_EPOCH = 315532800  # 1980-01-01 00:00:00 UTC, the earliest time a zip entry can hold
FILE_MODE = 0o100644
FOLDER_MODE = 0o040755
MSDOS_DIRECTORY = 0x10


def entry(name, mode, epoch):
    # Every field that could differ between two runs is set: the time (in
    # UTC, so the build machine's time zone does not count), the mode, and
    # the system the entry claims to come from.
    info = zipfile.ZipInfo(name, time.gmtime(max(epoch, DOS_EPOCH))[:6])
    info.create_system = 3  # Unix, so that the mode below is read
    info.external_attr = mode << 16 | (MSDOS_DIRECTORY if name.endswith("/") else 0)
    info.compress_type = zipfile.ZIP_STORED if name.endswith("/") else zipfile.ZIP_DEFLATED
    return info


def sha256sums(contents):
    # The format sha256sum -c reads: digest, two blanks, path; sorted by path.
    return "".join(f"{hashlib.sha256(data).hexdigest()}  {path}\n" for path, data in sorted(contents.items())).encode()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--folder", required=True, help="the one top folder in the zip")
    parser.add_argument("--epoch", type=int, required=True, help="time of every entry, seconds since 1970")
    parser.add_argument("--out", required=True)
    parser.add_argument("files", nargs="+", metavar="PATH-IN-FOLDER=FILE")
    args = parser.parse_args()

    contents = {}
    for pair in args.files:
        path, sep, source = pair.partition("=")
        if not sep or not path or path in contents:
            sys.exit(f"make-dist: '{pair}' is not PATH-IN-FOLDER=FILE with a new path")
        with open(source, "rb") as f:
            contents[path] = f.read()
    contents["SHA256SUMS"] = sha256sums(contents)

    names = {f"{args.folder}/{path}": data for path, data in contents.items()}
    for path in list(names):
        parts = path.split("/")[:-1]
        for depth in range(1, len(parts) + 1):
            names.setdefault("/".join(parts[:depth]) + "/", None)

    # Written beside the target and renamed, so that a failed run leaves no half zip.
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    partial = args.out + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name in sorted(names):
            data = names[name]
            if data is None:
                archive.writestr(entry(name, FOLDER_MODE, args.epoch), b"")
            else:
                archive.writestr(entry(name, FILE_MODE, args.epoch), data, compresslevel=9)
    os.replace(partial, args.out)
    print(f"{args.out}: {os.path.getsize(args.out)} bytes, "
          f"SHA-256 {hashlib.sha256(open(args.out, 'rb').read()).hexdigest()}")


if __name__ == "__main__":
    main()
