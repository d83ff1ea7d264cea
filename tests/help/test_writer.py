"""Runs the help file writer on made-up sources: bad ones must be refused, good ones must read back exactly.

Usage: test_writer.py --writer PATH [TestClass ...]
"""

import argparse
import os
import random
import string
import subprocess
import sys
import tempfile
import textwrap
import unittest

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hlpread  # noqa: E402
from helpsource import parse_text  # noqa: E402

WRITER = None

GOOD_TOPIC = "@topic 7 seven\n@title Seven\nSome text.\n"

# Each row: what is wrong, the source, the line the message must name (0 for
# the file as a whole), and a piece of the message.
REJECTED = [
    ("duplicate number",
     "@help-title T\n@topic 5 one\n@title One\nText.\n\n@topic 5 two\n@title Two\nText.\n",
     6, "duplicate context number 5 (first used on line 2)"),
    ("empty text",
     "@help-title T\n@topic 5 one\n@title One\n\n@topic 6 two\n@title Two\nText.\n",
     2, "topic 5 has no text"),
    ("empty text, last topic, comments only",
     "@help-title T\n" + GOOD_TOPIC + "@topic 8 eight\n@title Eight\n# nothing yet\n",
     5, "topic 8 has no text"),
    ("empty title",
     "@help-title T\n@topic 5 one\n@title   \nText.\n",
     3, "empty title for topic 5"),
    ("title missing",
     "@help-title T\n@topic 5 one\nText.\n",
     3, "topic 5 needs an '@title' line"),
    ("topic line without a name",
     "@help-title T\n@topic 5\n@title One\nText.\n",
     2, "malformed @topic line: expected '@topic NUMBER NAME'"),
    ("topic number not decimal",
     "@help-title T\n@topic 0x10 one\n@title One\nText.\n",
     2, "malformed @topic line: context number '0x10' is not a whole number"),
    ("topic number zero",
     "@help-title T\n@topic 0 one\n@title One\nText.\n",
     2, "malformed @topic line: context number '0' is not a whole number from 1 to 2147483647"),
    ("topic number too large",
     "@help-title T\n@topic 2147483648 one\n@title One\nText.\n",
     2, "malformed @topic line: context number '2147483648'"),
    ("context name with a hyphen",
     "@help-title T\n@topic 5 bad-name\n@title One\nText.\n",
     2, "malformed @topic line: context name 'bad-name' may hold only letters, digits, '_' and '.'"),
    ("context name repeated in other case",
     "@help-title T\n@topic 5 Same\n@title One\nText.\n\n@topic 6 SAME\n@title Two\nText.\n",
     6, "duplicate context name 'SAME' (first used on line 2"),
    ("text before the first topic",
     "@help-title T\nStray words.\n" + GOOD_TOPIC,
     2, "text outside a topic"),
    ("unknown directive",
     "@help-title T\n" + GOOD_TOPIC + "@keyword seven\n",
     5, "unknown directive '@keyword'"),
    ("character outside ASCII",
     "@help-title T\n@topic 5 one\n@title One\nCaf\xc3\xa9.\n",
     4, "character 0xC3 is not printable ASCII"),
    ("help title missing", GOOD_TOPIC, 0, "no @help-title line"),
    ("help title twice", "@help-title T\n@help-title U\n" + GOOD_TOPIC, 2, "@help-title given twice"),
    ("help title after a topic", "@help-title T\n" + GOOD_TOPIC + "@help-title U\n", 5,
     "@help-title must come before the first @topic"),
    ("no topics", "@help-title T\n", 0, "no topics"),
    ("title too long", "@help-title T\n@topic 5 one\n@title " + "x" * 128 + "\nText.\n", 3,
     "title of topic 5 is longer than 127 characters"),
    ("paragraph too long", "@help-title T\n@topic 5 one\n@title One\n" + ("y" * 50 + "\n") * 81, 4,
     "paragraph is longer than 4000 characters"),
    ("too many topics", "@help-title T\n" + "".join(
        f"@topic {n} t{n}\n@title Topic {n}\nText {n}.\n\n" for n in range(1, 257)), 0,
     "too many topics (256); at most 255 fit"),
]


def run_writer(source_bytes, directory, output_name="out.hlp"):
    source = os.path.join(directory, "topics.txt")
    output = os.path.join(directory, output_name)
    with open(source, "wb") as f:
        f.write(source_bytes)
    result = subprocess.run([WRITER, source, output], capture_output=True, text=True, timeout=60)
    return result, source, output


class Rejects(unittest.TestCase):
    def test_bad_sources_are_refused_with_the_line_named(self):
        for what, text, line, message in REJECTED:
            with self.subTest(what), tempfile.TemporaryDirectory() as directory:
                result, source, output = run_writer(text.encode("latin-1"), directory)
                self.assertEqual(result.returncode, 1, result.stderr)
                where = f"{source}:{line}: error: " if line else f"{source}: error: "
                self.assertIn(where + message, result.stderr)
                self.assertFalse(os.path.exists(output), "an output file was written")

    def test_refusal_leaves_an_earlier_output_alone(self):
        with tempfile.TemporaryDirectory() as directory:
            output = os.path.join(directory, "out.hlp")
            with open(output, "wb") as f:
                f.write(b"earlier")
            result, _, _ = run_writer(REJECTED[0][1].encode(), directory)
            self.assertEqual(result.returncode, 1)
            with open(output, "rb") as f:
                self.assertEqual(f.read(), b"earlier")

    def test_every_problem_is_reported_at_once(self):
        text = "@help-title T\n@topic 5 one\n@title\nText.\n\n@topic 5 two\n@title Two\n\n@topic 9 x-y\n"
        with tempfile.TemporaryDirectory() as directory:
            result, source, _ = run_writer(text.encode(), directory)
            self.assertEqual(result.returncode, 1)
            lines = [line for line in result.stderr.splitlines() if ": error: " in line]
            self.assertEqual([line.split(":")[1] for line in lines], ["3", "6", "6", "9"])

    def test_wrong_argument_count_is_a_usage_error(self):
        result = subprocess.run([WRITER, "only-one"], capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 2)
        self.assertIn("usage: quorvane-helpfile SOURCE OUTPUT", result.stderr)

    def test_unreadable_source(self):
        with tempfile.TemporaryDirectory() as directory:
            missing = os.path.join(directory, "missing.txt")
            result = subprocess.run([WRITER, missing, os.path.join(directory, "out.hlp")],
                                    capture_output=True, text=True, timeout=60)
            self.assertEqual(result.returncode, 1)
            self.assertIn(f"{missing}: cannot read", result.stderr)


def random_words(rng, length):
    """Printable ASCII words separated by single spaces, about `length` characters long."""
    alphabet = string.ascii_letters + string.digits + string.punctuation
    words, total = [], 0
    while total < length:
        word = "".join(rng.choice(alphabet) for _ in range(rng.randint(1, 12)))
        if word[0] in "#@":  # such lines would be comments or directives
            word = "w" + word
        words.append(word)
        total += len(word) + 1
    return " ".join(words)[:max(length, 1)].rstrip() or "x"


def make_source(rng, topic_count, paragraph_lengths):
    numbers = rng.sample(range(2, 2**31 - 1), topic_count - 2) + [1, 2**31 - 1]  # both ends of the range
    rng.shuffle(numbers)
    topics = []
    for index, number in enumerate(numbers):
        title = random_words(rng, rng.choice([1, 20, 126, 127]))
        paragraphs = [random_words(rng, rng.choice(paragraph_lengths)) for _ in range(rng.randint(1, 4))]
        topics.append((number, f"name_{index}.{rng.randint(0, 99)}", title, paragraphs))
    lines = ["# generated", "@help-title " + random_words(rng, 40)]
    for number, name, title, paragraphs in topics:
        lines += ["", f"@topic {number} {name}", f"@title {title}"]
        for paragraph in paragraphs:
            lines += textwrap.wrap(paragraph, 70, break_long_words=False, break_on_hyphens=False) + [""]
    return "\n".join(lines) + "\n"


class RoundTrip(unittest.TestCase):
    """Sources of many shapes: the file read back must hold exactly the source's topics."""

    CASES = [
        # seed, topics, paragraph lengths to pick from
        (1, 3, [1, 2, 127, 128]),          # both forms of the compressed character count
        (2, 40, [60, 300, 900]),           # many blocks, links crossing block ends
        (3, 12, [3999, 4000]),             # the longest paragraphs
        (4, 255, [5, 40]),                 # as many topics as one |CONTEXT page holds
        (5, 80, [1, 17, 2000, 4000]),
    ]

    def test_sources_read_back_exactly(self):
        for seed, topic_count, lengths in self.CASES:
            rng = random.Random(seed)
            text = make_source(rng, topic_count, lengths)
            expected = parse_text(text)
            with self.subTest(seed=seed, topics=topic_count), tempfile.TemporaryDirectory() as directory:
                result, _, output = run_writer(text.encode("ascii"), directory)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stderr, "")
                self.check_file(hlpread.read(output), expected)

    def check_file(self, help_file, expected):
        self.assertEqual(help_file.system_record(1), expected.title.encode() + b"\0")
        self.assertEqual([t.title for t in help_file.topics], [t.title for t in expected.topics])
        offsets = [t.offset for t in help_file.topics]
        self.assertEqual(len(set(offsets)), len(offsets), "two topics share a topic offset")
        by_number = dict(help_file.context_map)
        by_hash = dict(help_file.context)
        self.assertEqual(len(by_number), len(expected.topics))
        self.assertEqual(len(by_hash), len(expected.topics))
        hashes = [h for h, _ in help_file.context]
        self.assertEqual(hashes, sorted(hashes))
        data_size = hlpread.TOPIC_BLOCK_SIZE - hlpread.BLOCK_HEADER_SIZE
        for link in help_file.links:
            self.assertLessEqual(link.stream_pos % data_size + hlpread.LINK_HEADER_SIZE, data_size,
                                 f"the link header at {link.topic_pos:#x} straddles two blocks")
        for topic in expected.topics:
            found = help_file.topic_at(by_number[topic.number])
            self.assertEqual(by_hash[hlpread.context_hash(topic.name)], found.offset)
            self.assertEqual([p.text for p in found.paragraphs], [topic.title] + topic.paragraphs)

    def test_comments_and_crlf_lines_are_accepted(self):
        text = "# Caf\xc3\xa9 notes\r\n@help-title T\r\n@topic 3 three\r\n@title Three\r\n  First line\t\r\nsecond line.\r\n"
        with tempfile.TemporaryDirectory() as directory:
            result, _, output = run_writer(text.encode("latin-1"), directory)
            self.assertEqual(result.returncode, 0, result.stderr)
            topic = hlpread.read(output).topics[0]
            self.assertEqual([p.text for p in topic.paragraphs], ["Three", "First line second line."])

    def test_same_source_gives_the_same_bytes(self):
        text = make_source(random.Random(9), 5, [50])
        with tempfile.TemporaryDirectory() as directory:
            first, _, one = run_writer(text.encode(), directory, "one.hlp")
            second, _, two = run_writer(text.encode(), directory, "two.hlp")
            self.assertEqual((first.returncode, second.returncode), (0, 0))
            with open(one, "rb") as a, open(two, "rb") as b:
                self.assertEqual(a.read(), b.read())


def main():
    global WRITER
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--writer", required=True)
    args, rest = parser.parse_known_args()
    WRITER = os.path.abspath(args.writer)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
