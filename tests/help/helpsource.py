"""Reads the help topic source the way its comment header describes it: the tests' expected values.

Run as a program, it prints the parsed source as JSON for the tests written in other languages.
"""

import json
import sys
from dataclasses import asdict, dataclass, field


@dataclass
class SourceTopic:
    number: int
    name: str
    title: str = ""
    paragraphs: list = field(default_factory=list)


@dataclass
class Source:
    title: str = ""
    topics: list = field(default_factory=list)


def parse_text(text):
    source, paragraph = Source(), []

    def end_paragraph():
        if paragraph:
            source.topics[-1].paragraphs.append(" ".join(paragraph))
            paragraph.clear()

    for raw in text.splitlines():
        line = raw.strip(" \t")
        if line.startswith("#"):
            continue
        if not line:
            if source.topics:
                end_paragraph()
        elif line.startswith("@help-title"):
            source.title = line[len("@help-title"):].strip()
        elif line.startswith("@topic"):
            if source.topics:
                end_paragraph()
            number, name = line.split()[1:]
            source.topics.append(SourceTopic(int(number), name))
        elif line.startswith("@title"):
            source.topics[-1].title = line[len("@title"):].strip()
        else:
            paragraph.append(line)
    if source.topics:
        end_paragraph()
    return source


def parse_source(path):
    with open(path, encoding="ascii") as f:
        return parse_text(f.read())


if __name__ == "__main__":
    json.dump(asdict(parse_source(sys.argv[1])), sys.stdout, indent=1)
