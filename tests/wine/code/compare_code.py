"""Runs the Windows quorvane-code.exe under Wine and the host's quorvane-code with the same arguments: the same bytes must come out.

Usage: compare_code.py --bench BENCH --state STATE --host TOOL --exe TOOL.exe
"""
import argparse
import os
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("--bench", "--state", "--host", "--exe"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()

    # Wine turns the Unix arguments into Unicode by the locale's character
    # set, and then into the ANSI code page for a narrow main(): in a UTF-8
    # locale, the UTF-8 form of each character arrives as its code page byte.
    wine_env = dict(os.environ, LC_ALL="C.UTF-8")
    failures = 0
    for label, address, link_text in CASES:
        expected = subprocess.run([args.host, address, link_text], capture_output=True, check=True).stdout
        wine_args = [arg.decode("cp1252").encode("utf-8") for arg in (address, link_text)]
        run = subprocess.run([args.bench, "run", args.state, "60", args.exe, *wine_args],
                             capture_output=True, env=wine_env)
        if run.returncode == 0 and run.stdout == expected:
            print(f"ok   {label}: {len(expected)} bytes")
            continue
        failures += 1
        print(f"FAIL {label}: exit code {run.returncode}, {len(run.stdout)} bytes, expected {len(expected)}")
        at = next((i for i, (a, b) in enumerate(zip(run.stdout, expected)) if a != b), min(len(run.stdout), len(expected)))
        print(f"     first difference at byte {at}: got {run.stdout[at:at + 40]!r}, expected {expected[at:at + 40]!r}")
        if run.stderr:
            print(f"     stderr: {run.stderr.decode('utf-8', 'replace').strip()}")
    print(f"{len(CASES) - failures} of {len(CASES)} rows give the same bytes")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
