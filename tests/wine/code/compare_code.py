"""Runs the Windows quorvane-code.exe under Wine and the host's quorvane-code with the same arguments: the same bytes must come out.

Usage: compare_code.py --host TOOL --bench BENCH --state STATE --exe TOOL.exe
       compare_code.py --host TOOL --guest-cases DIR    (before a run in the emulated PC)
       compare_code.py --host TOOL --guest-results DIR  (after it)

In the emulated PC the exe runs from guest-run.sh: for each case N it reads
the arguments from N.address and N.link and leaves N.out and N.status.
"""
import argparse
import os
import pathlib
import subprocess
import sys

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


if __name__ == "__main__":
    sys.exit(main())
