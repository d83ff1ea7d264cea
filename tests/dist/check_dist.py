"""Checks a release archive, the zip or the tar.gz: its entries, that it ships the tested files, its SHA256SUMS, README.txt's form, the program.

Usage: check_dist.py ARCHIVE --folder NAME --version VERSION [--licence PATH-IN-FOLDER=TITLE ...]
                     [--program PATH-IN-FOLDER [--man PATH-IN-FOLDER]]  PATH-IN-FOLDER=TESTED-FILE ...

In the tar.gz the program has mode 755 and root owns every entry. The
program, a Linux one, must be static and answer from its unpacked folder with
an empty environment; its man page must pass groff's warnings and hold every
paragraph of its --help.
"""
import argparse
import os
import subprocess
import sys
import tarfile
import tempfile
import zipfile

README_WIDTH = 78


def read_entries(path):
    """(name, mode, time, owner, data) of each entry in the archive's order; a zip has no owners."""
    if path.endswith(".zip"):
        with zipfile.ZipFile(path) as archive:
            return [(i.filename, i.external_attr >> 16, i.date_time, None, archive.read(i)) for i in archive.infolist()]
    with tarfile.open(path, "r:gz") as archive:
        return [(m.name + "/" * m.isdir(), m.mode | (0o040000 if m.isdir() else 0o100000 if m.isfile() else 0),
                 m.mtime, (m.uid, m.gid, m.uname, m.gname), archive.extractfile(m).read() if m.isfile() else b"")
                for m in archive.getmembers()]


def check_program(check, program, version, man):
    ldd = subprocess.run(["ldd", program], capture_output=True, text=True)
    check("ldd: not a dynamic executable", "not a dynamic executable" in ldd.stdout + ldd.stderr, ldd.stdout + ldd.stderr)
    # Nothing from the environment, and a folder of no importance to it.
    with tempfile.TemporaryDirectory() as elsewhere:
        answers = [subprocess.run([program, *args], env={}, cwd=elsewhere, capture_output=True, text=True)
                   for args in (["--version"], ["--help"], ["--no-such-option"])]
    name = os.path.basename(program)
    version_run, help_run, wrong_run = answers
    check(f"--version under env -i: '{name} {version}', exit 0",
          (version_run.returncode, version_run.stdout) == (0, f"{name} {version}\n"), version_run)
    check("--help on standard output, exit 0", help_run.returncode == 0 and help_run.stdout.startswith("usage:")
          and not help_run.stderr, help_run)
    check("a usage error: the short usage on standard error, exit 2", wrong_run.returncode == 2
          and not wrong_run.stdout and "usage:" in wrong_run.stderr, wrong_run)
    if not man:
        return
    lint = subprocess.run(["groff", "-man", "-ww", "-z", man], capture_output=True, text=True)
    check("man page: groff -man -ww finds nothing", lint.returncode == 0 and not lint.stderr, lint.stderr)
    # Rendered without hyphens at line ends, so that its words match those of --help.
    page = subprocess.run(["groff", "-man", "-Tascii", "-rLL=300n", "-rHY=0", "-P-b", "-P-u", man],
                          capture_output=True, text=True).stdout
    missing = [part for part in help_run.stdout.split("\n\n")[1:] if " ".join(part.split()) not in " ".join(page.split())]
    check("man page: every paragraph of --help after the usage", help_run.stdout and not missing, missing[:1])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("archive")
    parser.add_argument("--folder", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--licence", action="append", default=[], metavar="PATH-IN-FOLDER=TITLE",
                        help="a third-party licence text that must ship, and the title it starts with")
    parser.add_argument("--program")
    parser.add_argument("--man")
    parser.add_argument("tested", nargs="+", metavar="PATH-IN-FOLDER=TESTED-FILE")
    args = parser.parse_args()
    tested = dict(pair.split("=", 1) for pair in args.tested)
    failures = []

    def check(what, condition, detail=""):
        print(f"{'ok  ' if condition else 'FAIL'} {what}" + (f": {detail}" if detail and not condition else ""))
        if not condition:
            failures.append(what)

    entries = read_entries(args.archive)
    names = [name for name, *_ in entries]
    contents = {name: data for name, *_, data in entries}
    files = sorted(["SHA256SUMS", *tested])
    folders = sorted({"/".join(path.split("/")[:depth]) + "/" for path in files
                      for depth in range(1, path.count("/") + 1)})
    expected = sorted([f"{args.folder}/"] + [f"{args.folder}/{p}" for p in folders + files])
    check("entries: one folder with exactly the release files, sorted", names == expected,
          f"{names} != {expected}")
    check("entries share one time", len({time for _, _, time, _, _ in entries}) == 1,
          str({time for _, _, time, _, _ in entries}))
    program = args.program and f"{args.folder}/{args.program}"
    modes = {name: mode for name, mode, *_ in entries}
    check("modes: 755 for folders and the program, 644 for other files",
          all(mode == (0o040755 if name.endswith("/") else 0o100755 if name == program else 0o100644)
              for name, mode in modes.items()), {name: oct(mode) for name, mode in modes.items()})
    if args.archive.endswith(".tar.gz"):
        check("owners: root, 0:0", {owner for _, _, _, owner, _ in entries} == {(0, 0, "root", "root")})
        with open(args.archive, "rb") as f:
            header = f.read(10)
        check("gzip header: no file name, no time", header[3] & 0x08 == 0 and header[4:8] == bytes(4), header.hex())

    for path, source in sorted(tested.items()):
        with open(source, "rb") as f:
            check(f"{path} is the tested {source}", contents.get(f"{args.folder}/{path}") == f.read())

    for pair in args.licence:
        path, title = pair.split("=", 1)
        text = contents.get(f"{args.folder}/{path}", b"").decode("ascii", "replace")
        check(f"{path}: the licence text, starting with {title!r}", text.lstrip().startswith(title))

    if "README.txt" in tested:
        readme = contents[f"{args.folder}/README.txt"]
        lines = readme.split(b"\r\n")
        check("README.txt: CR LF line ends only, and a last one", lines[-1] == b"" and not any(
            b"\r" in line or b"\n" in line for line in lines), "a bare CR or LF, or no line end at the end")
        long_lines = [n + 1 for n, line in enumerate(lines) if len(line) > README_WIDTH]
        check(f"README.txt: lines up to {README_WIDTH} characters", not long_lines, f"lines {long_lines}")
        check("README.txt: plain ASCII", readme.isascii())
        check(f"README.txt names version {args.version}", f"version {args.version}".encode() in readme)

    # sha256sum itself checks the unpacked folder, as a user would; tar unpacks the tar.gz.
    with tempfile.TemporaryDirectory() as unpacked:
        if args.archive.endswith(".tar.gz"):
            subprocess.run(["tar", "-xzf", os.path.abspath(args.archive)], cwd=unpacked, check=True)
        else:
            zipfile.ZipFile(args.archive).extractall(unpacked)
        folder = os.path.join(unpacked, args.folder)
        listed = sorted(line.split("  ", 1)[1] for line in open(os.path.join(folder, "SHA256SUMS")).read().splitlines())
        check("SHA256SUMS lists every other file", listed == sorted(p for p in files if p != "SHA256SUMS"),
              str(listed))
        run = subprocess.run(["sha256sum", "-c", "--strict", "SHA256SUMS"], cwd=folder, capture_output=True, text=True)
        check("sha256sum -c SHA256SUMS passes in the unpacked folder", run.returncode == 0, run.stdout + run.stderr)
        if args.program:
            check_program(check, os.path.join(folder, args.program), args.version,
                          args.man and os.path.join(folder, args.man))

    print(f"{os.path.basename(args.archive)}: {os.path.getsize(args.archive)} bytes, "
          f"{'all checks passed' if not failures else f'{len(failures)} check(s) failed'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
