"""Checks the release zip: its entries, that it ships the tested files, its SHA256SUMS, and README.txt's form.

Usage: check_dist.py ZIP --folder NAME --version VERSION [--licence PATH-IN-FOLDER=TITLE ...]  PATH-IN-FOLDER=TESTED-FILE ...
"""
import argparse
import os
import subprocess
import sys
import tempfile
import zipfile

README_WIDTH = 78


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("zip")
    parser.add_argument("--folder", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--licence", action="append", default=[], metavar="PATH-IN-FOLDER=TITLE",
                        help="a third-party licence text that must ship, and the title it starts with")
    parser.add_argument("tested", nargs="+", metavar="PATH-IN-FOLDER=TESTED-FILE")
    args = parser.parse_args()
    tested = dict(pair.split("=", 1) for pair in args.tested)
    failures = []

    def check(what, condition, detail=""):
        print(f"{'ok  ' if condition else 'FAIL'} {what}" + (f": {detail}" if detail and not condition else ""))
        if not condition:
            failures.append(what)

    with zipfile.ZipFile(args.zip) as archive:
        infos = archive.infolist()
        names = [info.filename for info in infos]
        files = sorted(["README.txt", "SHA256SUMS", *tested])
        folders = sorted({"/".join(path.split("/")[:depth]) + "/" for path in files
                          for depth in range(1, path.count("/") + 1)})
        expected = sorted([f"{args.folder}/"] + [f"{args.folder}/{p}" for p in folders + files])
        check("entries: one folder with exactly the release files, sorted", names == expected,
              f"{names} != {expected}")
        check("entries share one time", len({info.date_time for info in infos}) == 1,
              str({info.date_time for info in infos}))
        modes = {info.filename: info.external_attr >> 16 for info in infos}
        check("modes: 644 for files, 755 for folders",
              all(mode == (0o040755 if name.endswith("/") else 0o100644) for name, mode in modes.items()),
              {name: oct(mode) for name, mode in modes.items()})

        for path, source in sorted(tested.items()):
            with open(source, "rb") as f:
                check(f"{path} is the tested {source}", archive.read(f"{args.folder}/{path}") == f.read())

        for pair in args.licence:
            path, title = pair.split("=", 1)
            entry = f"{args.folder}/{path}"
            text = archive.read(entry).decode("ascii", "replace") if entry in names else ""
            check(f"{path}: the licence text, starting with {title!r}", text.lstrip().startswith(title))

        readme = archive.read(f"{args.folder}/README.txt")
        lines = readme.split(b"\r\n")
        check("README.txt: CR LF line ends only, and a last one", lines[-1] == b"" and not any(
            b"\r" in line or b"\n" in line for line in lines), "a bare CR or LF, or no line end at the end")
        long_lines = [n + 1 for n, line in enumerate(lines) if len(line) > README_WIDTH]
        check(f"README.txt: lines up to {README_WIDTH} characters", not long_lines, f"lines {long_lines}")
        check("README.txt: plain ASCII", readme.isascii())
        check(f"README.txt names version {args.version}", f"version {args.version}".encode() in readme)

        # sha256sum itself checks the unpacked folder, as a user would.
        with tempfile.TemporaryDirectory() as unpacked:
            archive.extractall(unpacked)
            folder = os.path.join(unpacked, args.folder)
            listed = sorted(line.split("  ", 1)[1] for line in open(os.path.join(folder, "SHA256SUMS")).read().splitlines())
            check("SHA256SUMS lists every other file", listed == sorted(p for p in files if p != "SHA256SUMS"),
                  str(listed))
            run = subprocess.run(["sha256sum", "-c", "--strict", "SHA256SUMS"], cwd=folder, capture_output=True, text=True)
            check("sha256sum -c SHA256SUMS passes in the unpacked folder", run.returncode == 0, run.stdout + run.stderr)

    print(f"{os.path.basename(args.zip)}: {os.path.getsize(args.zip)} bytes, "
          f"{'all checks passed' if not failures else f'{len(failures)} check(s) failed'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
