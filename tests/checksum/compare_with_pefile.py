#!/usr/bin/python3
"""Compares pe-checksum's results with pefile's generate_checksum() on real PE files and damaged copies of them."""
import argparse
import os
import subprocess
import sys

import pefile

SKIP = 77  # the test's SKIP_RETURN_CODE


def variants(path, work):
    """The file itself, then copies with one byte flipped and with one byte appended."""
    data = open(path, "rb").read()
    stem = os.path.join(work, os.path.basename(os.path.dirname(path)) + "-" + os.path.basename(path))
    middle = bytearray(data)
    middle[len(data) // 2] ^= 0x5A
    last = bytearray(data)
    last[-1] ^= 0xFF
    copies = [(path, data)]
    for suffix, content in (("flip-middle", bytes(middle)), ("flip-last", bytes(last)), ("appended", data + b"\xa5")):
        copy = f"{stem}.{suffix}"
        with open(copy, "wb") as out:
            out.write(content)
        copies.append((copy, content))
    return copies


def tool_checksums(tool, paths):
    result = subprocess.run([tool] + paths, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"{tool} failed ({result.returncode}): {result.stderr.strip()}")
    values = {}
    for line in result.stdout.splitlines():
        value, name = line.split(None, 1)
        values[name] = int(value, 16)
    return values


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tool", required=True, help="the pe-checksum program")
    parser.add_argument("--work", required=True, help="folder for the damaged copies")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()

    missing = [f for f in args.files if not os.path.isfile(f)]
    if missing:
        print(f"SKIPPED: not built or not installed: {', '.join(missing)}")
        return SKIP

    os.makedirs(args.work, exist_ok=True)
    cases = [case for path in args.files for case in variants(path, args.work)]
    computed = tool_checksums(args.tool, [path for path, _ in cases])

    failures = 0
    agreeing = 0
    original = None
    for path, data in cases:
        pe = pefile.PE(data=data, fast_load=True)
        expected = pe.generate_checksum()
        actual = computed.get(path)
        if path in args.files:
            original = expected
            note = f"stored {pe.OPTIONAL_HEADER.CheckSum:08x}, {len(data)} bytes"
        else:
            note = "copy"
            # A damaged copy that sums like the original would prove nothing.
            if expected == original:
                print(f"FAIL {path}: the damaged copy has the original's checksum {expected:08x}")
                failures += 1
        verdict = "ok" if actual == expected else "FAIL"
        agreeing += actual == expected
        failures += actual != expected
        shown = f"{actual:08x}" if actual is not None else "missing"
        print(f"{verdict:4} pe-checksum {shown}  pefile {expected:08x}  {path} ({note})")
    print(f"{agreeing} of {len(cases)} files agree")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
