#!/usr/bin/env python3
"""Packs a release archive, a zip or a tar.gz: one folder with the given files and their SHA256SUMS, the same bytes on every run.

Usage: make-dist.py --folder NAME --epoch SECONDS [--executable PATH-IN-FOLDER ...] --out ZIP|TAR.GZ  PATH-IN-FOLDER=FILE ...

In the tar.gz the executables have mode 755; the zip is for Windows, where
modes mean nothing, and all its files have 644.
"""
import argparse
import gzip
import hashlib
import io
import os
import sys
import tarfile
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


def write_zip(path, names, epoch):
    with zipfile.ZipFile(path, "w") as archive:
        for name in sorted(names):
            data = names[name]
            if data is None:
                archive.writestr(entry(name, FOLDER_MODE, epoch), b"")
            else:
                archive.writestr(entry(name, FILE_MODE, epoch), data, compresslevel=9)


def write_tar_gz(path, names, epoch, executables):
    # Owned by root, as a package's files are; gzip's header holds no file name and no time.
    with open(path, "wb") as raw, gzip.GzipFile("", "wb", 9, raw, mtime=0) as packed, \
            tarfile.open(fileobj=packed, mode="w", format=tarfile.USTAR_FORMAT) as archive:
        for name in sorted(names):
            data = names[name]
            info = tarfile.TarInfo(name.rstrip("/"))
            info.mtime, info.uid, info.gid, info.uname, info.gname = epoch, 0, 0, "root", "root"
            if data is None:
                info.type, info.mode = tarfile.DIRTYPE, 0o755
            else:
                info.size, info.mode = len(data), 0o755 if name in executables else 0o644
            archive.addfile(info, io.BytesIO(data) if data is not None else None)


def sha256sums(contents):
    # The format sha256sum -c reads: digest, two blanks, path; sorted by path.
    return "".join(f"{hashlib.sha256(data).hexdigest()}  {path}\n" for path, data in sorted(contents.items())).encode()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--folder", required=True, help="the one top folder in the archive")
    parser.add_argument("--epoch", type=int, required=True, help="time of every entry, seconds since 1970")
    parser.add_argument("--executable", action="append", default=[], metavar="PATH-IN-FOLDER")
    parser.add_argument("--out", required=True, help="ZIP, or TAR.GZ when it ends in .tar.gz")
    parser.add_argument("files", nargs="+", metavar="PATH-IN-FOLDER=FILE")
    args = parser.parse_args()

    contents = {}
    for pair in args.files:
        path, sep, source = pair.partition("=")
        if not sep or not path or path in contents:
            sys.exit(f"make-dist: '{pair}' is not PATH-IN-FOLDER=FILE with a new path")
        with open(source, "rb") as f:
            contents[path] = f.read()
    unknown = [path for path in args.executable if path not in contents]
    if unknown:
        sys.exit(f"make-dist: --executable {unknown[0]} is none of the files")
    contents["SHA256SUMS"] = sha256sums(contents)

    names = {f"{args.folder}/{path}": data for path, data in contents.items()}
    for path in list(names):
        parts = path.split("/")[:-1]
        for depth in range(1, len(parts) + 1):
            names.setdefault("/".join(parts[:depth]) + "/", None)

    # Written beside the target and renamed, so that a failed run leaves no half archive.
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    partial = args.out + ".partial"
    if args.out.endswith(".tar.gz"):
        write_tar_gz(partial, names, args.epoch, {f"{args.folder}/{path}" for path in args.executable})
    else:
        write_zip(partial, names, args.epoch)
    os.replace(partial, args.out)
    print(f"{args.out}: {os.path.getsize(args.out)} bytes, "
          f"SHA-256 {hashlib.sha256(open(args.out, 'rb').read()).hexdigest()}")


if __name__ == "__main__":
    main()
