#!/usr/bin/env python3
"""Writes quorvane-code's short usage and --help as a C++ header, and its man page, from one plain text.

Usage: make-usage.py SOURCE --version VERSION [--epoch SECONDS] --header OUT.h --man OUT.1

The text's form is told at the top of the source (cli/quorvane-code.txt).
--epoch dates the man page (the sources' date, for the release); without it
the page has no date.
"""
import argparse
import os
import re
import sys
import time

WIDTH = 79
HELP_LEAVES_OUT = ("NAME", "SEE ALSO")
HEADING = re.compile(r"[A-Z]+( [A-Z]+)*")
# In running text only the dashes of options (and a dash standing alone) are
# minus signs, which a reader can copy into a shell; the rest are hyphens.
OPTION_DASHES = re.compile(r"(?<![\w-])-[-\w]*")
# In terms and the synopsis: the program and options in bold, the operands in italics.
TERM_WORD = re.compile(r"quorvane-code|--?[A-Za-z][-\w]*|--(?![-\w])|[A-Z][A-Z0-9_]+")


class SourceError(Exception):
    pass


def indent(line):
    return len(line) - len(line.lstrip(" "))


def read_sections(path):
    """[(heading, [(kind, term, lines, raw lines)])], kind one of para, item, more (an item's next paragraph), literal."""
    with open(path, encoding="ascii") as f:
        lines = f.read().split("\n")
    blocks, block, start = [], [], 0
    for number, line in enumerate(lines + [""], 1):
        if line.startswith("#"):
            continue
        if len(line) > WIDTH or "\t" in line or line != line.rstrip():
            raise SourceError(f"line {number}: over {WIDTH} characters, a tab, or blanks at its end")
        if line:
            start = start or number
            block.append(line)
        elif block:
            blocks.append((start, block))
            block, start = [], 0

    sections, in_item = [], False
    for number, block in blocks:
        depth = indent(block[0])
        rest_depth = {indent(line) for line in block[1:]}
        if len(block) == 1 and HEADING.fullmatch(block[0]):
            sections.append((block[0], []))
            in_item = False
            continue
        if not sections:
            raise SourceError(f"line {number}: text before the first heading")
        if depth >= 4:
            element = ("literal", None, [line[4:] for line in block])
        elif depth == 0 and rest_depth == {2}:
            element, in_item = ("item", block[0], [line[2:] for line in block[1:]]), True
        elif depth == 2 and in_item and rest_depth <= {2}:
            element = ("more", None, [line[2:] for line in block])
        elif depth == 0 and rest_depth <= {0}:
            element, in_item = ("para", None, block), False
        else:
            raise SourceError(f"line {number}: neither a paragraph, an item with its text indented by two, "
                              "a paragraph of an item, nor lines indented by four")
        sections[-1][1].append((*element, block))
    found = [heading for heading, _ in sections]
    for needed in ("NAME", "SYNOPSIS"):
        if needed not in found:
            raise SourceError(f"no {needed} section")
    return sections


def usage_and_help(sections):
    synopsis = [line for _, _, lines, _ in dict(sections)["SYNOPSIS"] for line in lines]
    usage = "".join(("usage: " if n == 0 else "       ") + line + "\n" for n, line in enumerate(synopsis))
    parts = [usage]
    for heading, elements in sections:
        if heading not in HELP_LEAVES_OUT + ("SYNOPSIS",):
            parts += [heading + "\n"] + ["".join(line + "\n" for line in raw) for *_, raw in elements]
    return usage, "\n".join(parts)


def roff_text(line):
    line = OPTION_DASHES.sub(lambda m: m.group(0).replace("-", "\\-"), line.replace("\\", "\\e"))
    # A line starting with a dot or a quote would be read as a request.
    return "\\&" + line if line.startswith((".", "'")) else line


def roff_literal(line):
    line = line.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + line if line.startswith((".", "'")) else line


def roff_term(line):
    def font(match):
        word = match.group(0)
        return f"\\fI{word}\\fR" if word[0].isupper() else "\\fB" + word.replace("-", "\\-") + "\\fR"
    line = TERM_WORD.sub(font, line.replace("\\", "\\e"))
    return "\\&" + line if line.startswith((".", "'")) else line


def man_page(sections, version, date, source):
    name = dict(sections)["NAME"][0][2][0].split()[0]
    out = [f".\\\" {name}(1): written by make-usage.py from {source}; edit that instead.",
           f'.TH {name.upper()} 1 "{date}" "Quorvane {version}" "User Commands"']
    for heading, elements in sections:
        out.append(f'.SH "{heading}"' if " " in heading else f".SH {heading}")
        if heading == "SYNOPSIS":
            out += [".nf"] + [roff_term(line) for _, _, lines, _ in elements for line in lines] + [".fi"]
            continue
        in_item, first = False, True
        for kind, term, lines, _ in elements:
            if kind == "item":
                out += [".TP", roff_term(term)] + [roff_text(line) for line in lines]
                in_item = True
            elif kind == "more":
                out += [".IP"] + [roff_text(line) for line in lines]
            elif kind == "literal":
                # Within an item, at its text's indentation; elsewhere indented a little.
                body = [".nf"] + [roff_literal(line) for line in lines] + [".fi"]
                out += [".IP"] + body if in_item else ([] if first else [".PP"]) + [".RS 4"] + body + [".RE"]
            else:
                out += ([] if first else [".PP"]) + [roff_text(line) for line in lines]
                in_item = False
            first = False
    return "\n".join(out) + "\n"


def c_string(text):
    escaped = text.replace("\\", "\\\\").replace('"', '\\"')
    return " \\\n".join(f'    "{line}\\n"' for line in escaped.splitlines())


def write(path, text):
    with open(path, "w", encoding="ascii", newline="\n") as f:
        f.write(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("source")
    parser.add_argument("--version", required=True)
    parser.add_argument("--epoch", type=int)
    parser.add_argument("--header", required=True)
    parser.add_argument("--man", required=True)
    args = parser.parse_args()
    source = os.path.basename(args.source)
    try:
        sections = read_sections(args.source)
    except (SourceError, UnicodeDecodeError) as error:
        sys.exit(f"make-usage: {args.source}: {error}")
    usage, help_text = usage_and_help(sections)
    write(args.header, f"// quorvane-code's short usage and --help: written by make-usage.py from {source}; edit that instead.\n"
                       f"#define QUORVANE_USAGE_TEXT \\\n{c_string(usage)}\n"
                       f"#define QUORVANE_HELP_TEXT \\\n{c_string(help_text)}\n")
    date = time.strftime("%Y-%m-%d", time.gmtime(args.epoch)) if args.epoch is not None else ""
    write(args.man, man_page(sections, args.version, date, source))


if __name__ == "__main__":
    main()
