"""Checks the built help file against its topic source: structure, lookups and every topic's text.

Usage: test_help_file.py --hlp FILE --source TOPICS.txt [TestClass ...]
"""

import argparse
import os
import sys
import unittest

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hlpread  # noqa: E402
from helpsource import parse_source  # noqa: E402

HLP_PATH = None
SOURCE_PATH = None
HELP = None
SOURCE = None

# The context numbers the program asks for, and what each topic has to tell
# the user about the control (words that must appear in its title or text).
REQUIRED_TOPICS = [
    (20, ["Source", "F4", "P button", "Link text", "Crypt", "F2", "Alt+C", "clipboard", "paste",
          "NOSCRIPT", "SCRIPT", "About", "F3", "Exit", "Esc", "F1"]),
    (1001, ["e-mail address", "F4", "P button", "clipboard"]),
    (1000, ["Link text", "see and click"]),
    (1002, ["HTML Code", "NOSCRIPT", "SCRIPT", "not read-only", "whole content", "clipboard"]),
    (1200, ["Crypt", "F2", "Alt+C", "clipboard", "empty", "nothing is generated", "again"]),
    (1201, ["About", "F3", "version"]),
    (1202, ["Exit", "Esc", "Closes Quorvane"]),
    (1203, ["F4", "clipboard", "Source", "Replaces"]),
]
EXPECTED_FILES = [b"|CONTEXT", b"|CTXOMAP", b"|FONT", b"|SYSTEM", b"|TOPIC"]


def setUpModule():
    global HELP, SOURCE
    HELP = hlpread.read(HLP_PATH)
    SOURCE = parse_source(SOURCE_PATH)


def topic_by_number(number):
    offsets = [offset for n, offset in HELP.context_map if n == number]
    if len(offsets) != 1:
        raise AssertionError(f"context number {number} appears {len(offsets)} times in |CTXOMAP")
    return HELP.topic_at(offsets[0])


class Header(unittest.TestCase):
    def test_fields(self):
        self.assertEqual(HELP.magic, 0x00035F3F)
        self.assertEqual(HELP.size, len(HELP.image))
        self.assertEqual(HELP.first_free, 0xFFFFFFFF, "no free list is expected")
        self.assertGreaterEqual(HELP.directory_start, 16)

    def test_internal_files_do_not_overlap(self):
        spans = sorted([(f.offset, f.offset + f.reserved, f.name) for f in HELP.files.values()] +
                       [(HELP.directory_start, HELP.directory_start + HELP.directory_file.reserved, "directory")])
        self.assertGreaterEqual(spans[0][0], 16, "an internal file overlaps the file header")
        for (start_a, end_a, a), (start_b, _, b) in zip(spans, spans[1:]):
            self.assertLessEqual(end_a, start_b, f"{a} overlaps {b}")
        self.assertLessEqual(spans[-1][1], HELP.size)


class Directory(unittest.TestCase):
    def test_one_leaf_page_holding_every_internal_file(self):
        tree = HELP.directory
        self.assertEqual((tree.levels, tree.total_pages, tree.root_page), (1, 1, 0))
        self.assertTrue(tree.flags & 0x0400, "the directory flag bit 0x0400 is not set")
        self.assertTrue(tree.flags & 0x0002)
        self.assertEqual(tree.first_leaf_previous, -1)
        self.assertEqual(sorted(HELP.files), EXPECTED_FILES)

    def test_names_in_byte_order(self):
        names = [name for name, _ in HELP.directory.entries]
        for earlier, later in zip(names, names[1:]):
            self.assertLess(earlier, later, "directory names are not strictly ascending by bytes")


class System(unittest.TestCase):
    def test_version_and_flags(self):
        self.assertEqual((HELP.minor, HELP.major, HELP.system_flags), (21, 1, 0))

    def test_title_record(self):
        self.assertEqual(HELP.system_record(1), SOURCE.title.encode("ascii") + b"\0")

    def test_contents_is_the_first_topic(self):
        record = HELP.system_record(3)
        self.assertIsNotNone(record, "no contents record")
        self.assertEqual(len(record), 4)
        contents = HELP.topic_at(int.from_bytes(record, "little"))
        self.assertEqual(contents.title, SOURCE.topics[0].title)


class Font(unittest.TestCase):
    def test_old_layout(self):
        # The newer layouts start their face names at 12 or more; the viewer
        # under test takes only the old one.
        self.assertLess(HELP.faces_offset, 12)
        self.assertEqual(HELP.font_end, len(HELP.file(b"|FONT").data))
        self.assertTrue(all(HELP.face_names), "empty face name")

    def test_every_font_used_is_described(self):
        used = {p.font for t in HELP.topics for p in t.paragraphs}
        self.assertNotIn(None, used, "a paragraph sets no font")
        for number in used:
            with self.subTest(font=number):
                self.assertLess(number, HELP.descriptor_count)
                font = HELP.fonts[number]
                self.assertGreater(font["half_points"], 0)
                self.assertIn(font["family"], range(1, 6))
                self.assertLess(font["face"], HELP.face_count)


class TopicBlocks(unittest.TestCase):
    def test_whole_blocks(self):
        self.assertGreater(HELP.topic_used, 0)
        self.assertEqual(HELP.topic_used % hlpread.TOPIC_BLOCK_SIZE, 0)

    def test_block_headers_point_at_links(self):
        data_size = hlpread.TOPIC_BLOCK_SIZE - hlpread.BLOCK_HEADER_SIZE
        for block, (last_link, first_link, last_header) in enumerate(HELP.block_headers):
            start, end = block * data_size, (block + 1) * data_size
            before = [link for link in HELP.links if link.stream_pos < start]
            inside = [link for link in HELP.links if start <= link.stream_pos < end]
            headers = [link for link in before if link.record_type == hlpread.TOPIC_HEADER_RECORD]
            with self.subTest(block=block):
                self.assertTrue(inside, "no link starts in this block")
                self.assertEqual(first_link, inside[0].topic_pos)
                self.assertEqual(last_link, before[-1].topic_pos if before else 0xFFFFFFFF)
                self.assertEqual(last_header, headers[-1].topic_pos if headers else 0xFFFFFFFF)

    def test_link_headers_stay_inside_one_block(self):
        data_size = hlpread.TOPIC_BLOCK_SIZE - hlpread.BLOCK_HEADER_SIZE
        for link in HELP.links:
            with self.subTest(link=hex(link.topic_pos)):
                self.assertLessEqual(link.stream_pos % data_size + hlpread.LINK_HEADER_SIZE, data_size)

    def test_walk_starts_at_the_first_link_and_ends_with_minus_one(self):
        self.assertEqual(HELP.links[0].topic_pos, 12)
        self.assertEqual(HELP.links[-1].next_block, 0xFFFFFFFF)


class Topics(unittest.TestCase):
    def test_required_numbers_are_in_the_source(self):
        self.assertEqual(sorted(t.number for t in SOURCE.topics), sorted(n for n, _ in REQUIRED_TOPICS))

    def test_each_number_shows_its_title_and_text(self):
        for expected in SOURCE.topics:
            with self.subTest(number=expected.number):
                topic = topic_by_number(expected.number)
                self.assertEqual(topic.title, expected.title)
                self.assertEqual(topic.macros, [])
                texts = [p.text for p in topic.paragraphs]
                self.assertEqual(texts[0], expected.title, "the heading paragraph")
                self.assertEqual(texts[1:], expected.paragraphs)
                heading_font, body_fonts = topic.paragraphs[0].font, {p.font for p in topic.paragraphs[1:]}
                self.assertEqual(len(body_fonts), 1)
                self.assertNotIn(heading_font, body_fonts, "the heading looks like body text")
                self.assertTrue(HELP.fonts[heading_font]["attributes"] & 1, "the heading is not bold")

    def test_topics_say_what_they_must(self):
        for number, phrases in REQUIRED_TOPICS:
            topic = topic_by_number(number)
            whole = " ".join([topic.title] + [p.text for p in topic.paragraphs])
            for phrase in phrases:
                with self.subTest(number=number, phrase=phrase):
                    self.assertIn(phrase, whole)

    def test_topics_in_source_order_and_numbered(self):
        self.assertEqual([t.title for t in HELP.topics], [t.title for t in SOURCE.topics])
        self.assertEqual([t.number for t in HELP.topics], list(range(len(HELP.topics))))

    def test_topic_headers(self):
        for index, topic in enumerate(HELP.topics):
            with self.subTest(topic=topic.title):
                following = HELP.topics[index + 1].link.topic_pos if index + 1 < len(HELP.topics) else 0xFFFFFFFF
                self.assertEqual(topic.next_topic, following)
                self.assertEqual(topic.non_scroll, 0xFFFFFFFF)
                self.assertEqual(topic.scroll, topic.links[1].topic_pos)
                self.assertEqual(topic.block_size, sum(link.block_size for link in topic.links))
                self.assertEqual((topic.browse_back, topic.browse_forward), (0xFFFFFFFF, 0xFFFFFFFF))

    def test_topic_offsets_are_distinct(self):
        offsets = [t.offset for t in HELP.topics]
        self.assertEqual(len(set(offsets)), len(offsets))


class Context(unittest.TestCase):
    def test_one_sorted_leaf(self):
        tree = HELP.context_tree
        self.assertEqual((tree.levels, tree.total_pages, tree.root_page), (1, 1, 0))
        hashes = [h for h, _ in HELP.context]
        for earlier, later in zip(hashes, hashes[1:]):
            self.assertLess(earlier, later, "|CONTEXT hashes are not strictly ascending as signed values")

    def test_each_context_string_finds_its_topic(self):
        self.assertEqual(len(HELP.context), len(SOURCE.topics))
        by_hash = dict(HELP.context)
        for expected in SOURCE.topics:
            with self.subTest(name=expected.name):
                key = hlpread.context_hash(expected.name)
                self.assertIn(key, by_hash, f"hash {key} of {expected.name!r} is not in |CONTEXT")
                self.assertEqual(HELP.topic_at(by_hash[key]).title, expected.title)
                self.assertEqual(by_hash[key], topic_by_number(expected.number).offset)


class ContextMap(unittest.TestCase):
    def test_every_number_once(self):
        self.assertEqual(sorted(n for n, _ in HELP.context_map), sorted(t.number for t in SOURCE.topics))

    def test_offsets_are_topic_starts(self):
        starts = {t.offset for t in HELP.topics}
        for number, offset in HELP.context_map:
            with self.subTest(number=number):
                self.assertIn(offset, starts)


def main():
    global HLP_PATH, SOURCE_PATH
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--hlp", required=True)
    parser.add_argument("--source", required=True)
    args, rest = parser.parse_known_args()
    HLP_PATH, SOURCE_PATH = args.hlp, args.source
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
