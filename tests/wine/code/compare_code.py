"""Runs the Windows quorvane-code.exe under Wine and the host's quorvane-code with the same arguments: the same bytes must come out.

Usage: compare_code.py --host TOOL --bench BENCH --state STATE --exe TOOL.exe
       compare_code.py --host TOOL --guest-cases DIR    (before a run in the emulated PC)
       compare_code.py --host TOOL --guest-results DIR  (after it)

With --site (and --bench, --state, --exe), both run --protect on a copy each of a small site in a folder
with a non-ASCII name, and --check on the result: the same files, listing and
exit codes must come out.

In the emulated PC the exe runs from guest-run.sh: for each case N it reads
the arguments from N.address and N.link and leaves N.out and N.status.
"""
import argparse
import os
import pathlib
import subprocess
import sys
import tempfile

# (what the row shows, address, link text), as bytes in code page 1252, the
# ANSI code page of the bench's Wine prefix.
CASES = [
    ("plain address", b"someone@example.org", b"Write to us"),
    # 0xFC u-umlaut, 0x80 euro sign, 0xE9 e-acute, 0xDF sharp s.
    ("bytes above 127", b"j\xfcrgen\x80@caf\xe9.example", b"\x80 caf\xe9 M\xfcller \xdf"),
    # Quotes and backslashes have to survive the command line's own quoting as well.
    ("quotes, backslashes and an end tag", b'o"ne\\il@example.org', b'say "hi" \\ to</script>me\\'),
    # A C runtime that expanded wildcards would put file names here.
    ("a lone wildcard", b"info@example.org", b"*"),
    ("empty link text, no @", b"nobody", b""),
]


# Wine turns the Unix arguments into Unicode by the locale's character set,
# and then into the ANSI code page for a narrow main(): in a UTF-8 locale,
# the UTF-8 form of each character arrives as its code page byte.
def wine_argument(arg):
    return arg.decode("cp1252").encode("utf-8")


def compare(label, expected, returncode, stdout, stderr):
    if returncode == 0 and stdout == expected:
        print(f"ok   {label}: {len(expected)} bytes")
        return True
    print(f"FAIL {label}: exit code {returncode}, {len(stdout)} bytes, expected {len(expected)}")
    at = next((i for i, (a, b) in enumerate(zip(stdout, expected)) if a != b), min(len(stdout), len(expected)))
    print(f"     first difference at byte {at}: got {stdout[at:at + 40]!r}, expected {expected[at:at + 40]!r}")
    if stderr:
        print(f"     stderr: {stderr.decode('utf-8', 'replace').strip()}")
    return False


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--site", action="store_true")
    parser.add_argument("--host", required=True)
    for name in ("--bench", "--state", "--exe", "--guest-cases", "--guest-results"):
        parser.add_argument(name)
    args = parser.parse_args()

    if args.guest_cases:
        folder = pathlib.Path(args.guest_cases)
        folder.mkdir(parents=True, exist_ok=True)
        for number, (_, address, link_text) in enumerate(CASES):
            (folder / f"{number}.address").write_bytes(wine_argument(address))
            (folder / f"{number}.link").write_bytes(wine_argument(link_text))
        return 0

    if not args.guest_results and not (args.bench and args.state and args.exe):
        parser.error("give --bench, --state and --exe, or --guest-cases or --guest-results")
    wine_env = dict(os.environ, LC_ALL="C.UTF-8")
    if args.site:
        return compare_site(args, wine_env)
    failures = 0
    for number, (label, address, link_text) in enumerate(CASES):
        expected = subprocess.run([args.host, address, link_text], capture_output=True, check=True).stdout
        if args.guest_results:
            folder = pathlib.Path(args.guest_results)
            out, status = folder / f"{number}.out", folder / f"{number}.status"
            if not status.exists():
                print(f"FAIL {label}: the emulated PC did not run it")
                failures += 1
                continue
            run = (int(status.read_text()), out.read_bytes(), b"")
        else:
            done = subprocess.run([args.bench, "run", args.state, "60", args.exe, *map(wine_argument, (address, link_text))],
                                  capture_output=True, env=wine_env)
            run = (done.returncode, done.stdout, done.stderr)
        failures += not compare(label, expected, *run)
    print(f"{len(CASES) - failures} of {len(CASES)} rows give the same bytes")
    return 1 if failures else 0


# The small site: LF and CR LF pages, a listed anchor, a page with nothing to
# rewrite, a hard link (listed, not replaced), a non-ASCII file name and an
# *.xhtml file that is never taken.
SITE = {
    "index.html": b'<!DOCTYPE html><meta charset="utf-8">\n<p>Write to <a href="mailto:me@example.org">me</a>.\n',
    "Unterseite/caf\u00e9.htm": b'<meta charset="utf-8">\r\n<p><a href=mailto:x@example.org>x@example.org</a>\r\n'
                                  b'<p><a class=m href="mailto:y@example.org">y</a>\r\n',
    "Unterseite/plain.html": b'<meta charset="utf-8"><p>No link here, only pkg@1.2.3.\n',
    "Unterseite/true.xhtml": b'<p><a href="mailto:z@example.org">z</a></p>\n',
    "twice.html": b'<meta charset="utf-8"><a href="mailto:two@example.org">two</a>\n',
}


def compare_site(args, wine_env):
    failures = 0
    with tempfile.TemporaryDirectory() as temp:
        runs = {}
        for side in ("host", "wine"):
            top = pathlib.Path(temp, side, "Seiten-\u00fc-\u30b5\u30a4\u30c8")
            for name, data in SITE.items():
                (top / name).parent.mkdir(parents=True, exist_ok=True)
                (top / name).write_bytes(data)
            os.link(top / "twice.html", top / "Unterseite" / "twice.html")
            os.utime(top / "Unterseite" / "plain.html", (1e9, 1e9))
            tool = [args.host] if side == "host" else [args.bench, "run", args.state, "60", args.exe]
            for command in ("--protect", "--check"):
                done = subprocess.run(tool + [command, top.name], cwd=top.parent, capture_output=True, env=wine_env)
                runs[side, command] = (done.returncode, done.stdout.replace(b"\\", b"/"), done.stderr)
            runs[side, "files"] = ({name: (top / name).read_bytes() for name in SITE},
                                   (top / "Unterseite" / "plain.html").stat().st_mtime == 1e9)
        for what in ("--protect", "--check", "files"):
            host, wine = runs["host", what], runs["wine", what]
            # The host's run has to have done something for the comparison to mean anything.
            ok = host == wine and (host[0] == 1 if what == "--check" else host[0]["index.html"] != SITE["index.html"]
                                   if what == "files" else True)
            print(f"{'ok  ' if ok else 'FAIL'} {what}: {'the same' if host == wine else 'differ'}; "
                  f"host {host if what != 'files' else host[1]}")
            if not ok:
                print(f"     wine {wine}")
            failures += not ok
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
