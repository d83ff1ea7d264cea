"""Writes the table of HTML's named character references as a C++ header, from Python's own copy of the standard's list.

Usage: make-references.py OUTPUT

Each name is given as the standard lists it, with its ";" where it has one;
the few legacy names that a browser also takes without ";" stand twice. The
rows are sorted by their bytes, for a binary search.
"""
import html.entities
import sys


def main():
    rows = sorted(html.entities.html5.items(), key=lambda item: item[0].encode("ascii"))
    lines = [
        "// Generated from the HTML standard's named character references; do not edit.",
        "#pragma once",
        "#include <stdint.h>",
        "namespace site {",
        "struct NamedReference {",
        "    const char* name;",
        "    uint32_t first, second;  // the code points it stands for; second is 0 when there is one",
        "};",
        f"inline constexpr unsigned kNamedReferenceCount = {len(rows)};",
        "inline constexpr NamedReference kNamedReferences[] = {",
    ]
    for name, text in rows:
        points = [ord(c) for c in text] + [0]
        lines.append(f'    {{"{name}", 0x{points[0]:X}, 0x{points[1]:X}}},')
    lines += ["};", "}  // namespace site", ""]
    with open(sys.argv[1], "w", encoding="ascii") as out:
        out.write("\n".join(lines))


if __name__ == "__main__":
    main()
