"""Independent reader of WinHelp 3.1 files for the tests: decodes the bytes from the published layout.

It shares nothing with the writer in tools/helpfile: every structure is
decoded here from its byte layout, and every inconsistency it meets raises
FormatError. It reads uncompressed files only (what the project writes) and
refuses compressed ones rather than guessing.
"""

import struct

FILE_MAGIC = 0x00035F3F
BTREE_MAGIC = 0x293B
SYSTEM_MAGIC = 0x036C
NONE = 0xFFFFFFFF
TOPIC_BLOCK_SIZE = 4096
BLOCK_HEADER_SIZE = 12
LINK_HEADER_SIZE = 21
TOPIC_HEADER_RECORD = 0x02
DISPLAY_RECORD = 0x20


class FormatError(Exception):
    pass


def u16(data, at):
    if at + 2 > len(data):
        raise FormatError(f"2-byte field at {at} runs past the end ({len(data)} bytes)")
    return struct.unpack_from("<H", data, at)[0]


def s16(data, at):
    return u16(data, at) - 0x10000 if u16(data, at) >= 0x8000 else u16(data, at)


def u32(data, at):
    if at + 4 > len(data):
        raise FormatError(f"4-byte field at {at} runs past the end ({len(data)} bytes)")
    return struct.unpack_from("<I", data, at)[0]


def s32(data, at):
    value = u32(data, at)
    return value - 0x100000000 if value >= 0x80000000 else value


def cstring(data, at):
    end = data.find(b"\0", at)
    if end < 0:
        raise FormatError(f"string at {at} has no terminating zero")
    return data[at:end], end + 1


# The context-string hash table of the format description: the value added
# for each byte, as a signed char. hash = hash * 43 + table[byte], 32 bits.
_HASH_TABLE = bytes.fromhex(
    "00D1D2D3D4D5D6D7D8D9DADBDCDDDEDFE0E1E2E3E4E5E6E7E8E9EAEBECEDEEEF"
    "F00BF2F3F4F5F6F7F8F9FAFBFCFD0CFF0A0102030405060708090A0B0C0D0E0F"
    "101112131415161718191A1B1C1D1E1F202122232425262728292A0B0C0D0E0D"
    "101112131415161718191A1B1C1D1E1F202122232425262728292A2B2C2D2E2F"
    "505152535455565758595A5B5C5D5E5F606162636465666768696A6B6C6D6E6F"
    "707172737475767778797A7B7C7D7E7F808182830B85868788898A8B8C8D8E8F"
    "909192939495969798999A9B9C9D9E9FA0A1A2A3A4A5A6A7A8A9AAABACADAEAF"
    "B0B1B2B3B4B5B6B7B8B9BABBBCBDBEBFC0C1C2C3C4C5C6C7C8C9CACBCCCDCECF")
assert len(_HASH_TABLE) == 256


def context_hash(name):
    """Signed 32-bit hash of a context string."""
    value = 0
    for byte in name.encode("ascii"):
        add = _HASH_TABLE[byte]
        if add >= 0x80:
            add -= 0x100
        value = (value * 43 + add) & 0xFFFFFFFF
    return value - 0x100000000 if value >= 0x80000000 else value


class Cursor:
    """Reads the variable-length numbers of paragraph records in order."""

    def __init__(self, data, at=0):
        self.data = data
        self.at = at

    def byte(self):
        if self.at >= len(self.data):
            raise FormatError("record data ends inside a field")
        value = self.data[self.at]
        self.at += 1
        return value

    def word(self):
        value = u16(self.data, self.at)
        self.at += 2
        return value

    # Compressed numbers: an even first byte means the short form.
    def compressed_unsigned_short(self):
        if self.data[self.at] & 1:
            return self.word() // 2
        return self.byte() // 2

    def compressed_signed_short(self):
        if self.data[self.at] & 1:
            return self.word() // 2 - 0x4000
        return self.byte() // 2 - 0x40

    def compressed_signed_long(self):
        if self.data[self.at] & 1:
            value = u32(self.data, self.at)
            self.at += 4
            return value // 2 - 0x40000000
        return self.word() // 2 - 0x4000


class InternalFile:
    def __init__(self, name, offset, reserved, used, flags, data):
        self.name, self.offset, self.reserved, self.used, self.flags, self.data = (
            name, offset, reserved, used, flags, data)


def read_internal_file(image, offset, name):
    if offset < 16 or offset + 9 > len(image):
        raise FormatError(f"{name}: header at {offset} lies outside the file")
    reserved, used, flags = struct.unpack_from("<IIB", image, offset)
    if reserved < used + 9:
        raise FormatError(f"{name}: reserved space {reserved} is smaller than used {used} + 9")
    if offset + reserved > len(image):
        raise FormatError(f"{name}: reserved space runs past the end of the file")
    return InternalFile(name, offset, reserved, used, flags, image[offset + 9:offset + 9 + used])


class BTree:
    """A B+ tree: its header fields and the leaf entries in leaf order."""

    def __init__(self, data, parse_leaf_entry, parse_index_entry):
        if u16(data, 0) != BTREE_MAGIC:
            raise FormatError(f"B+ tree magic is {u16(data, 0):#x}, not {BTREE_MAGIC:#x}")
        self.flags = u16(data, 2)
        self.page_size = u16(data, 4)
        self.structure = data[6:22].split(b"\0")[0].decode("latin-1")
        self.must_be_zero = u16(data, 22)
        self.page_splits = u16(data, 24)
        self.root_page = u16(data, 26)
        self.must_be_minus_one = u16(data, 28)
        self.total_pages = u16(data, 30)
        self.levels = u16(data, 32)
        self.total_entries = u32(data, 34)
        if self.must_be_zero != 0 or self.must_be_minus_one != 0xFFFF:
            raise FormatError("B+ tree header fields that must be 0 and -1 are not")
        if len(data) < 38 + self.total_pages * self.page_size:
            raise FormatError(f"B+ tree holds {len(data) - 38} page bytes, "
                              f"{self.total_pages} pages of {self.page_size} need more")
        self.pages = [data[38 + i * self.page_size:38 + (i + 1) * self.page_size]
                      for i in range(self.total_pages)]
        self.leaf_pages = []
        self.entries = []
        page = self.root_page
        for _ in range(self.levels - 1):  # down the first index entry of each level
            self._check_page(page)
            page = s16(self.pages[page], 4)
        while page != -1 and page != 0xFFFF:
            self._check_page(page)
            if page in self.leaf_pages:
                raise FormatError("leaf pages form a loop")
            self.leaf_pages.append(page)
            raw = self.pages[page]
            unused, count, previous, following = u16(raw, 0), s16(raw, 2), s16(raw, 4), s16(raw, 6)
            at = 8
            for _ in range(count):
                entry, at = parse_leaf_entry(raw, at)
                self.entries.append(entry)
            if at > self.page_size:
                raise FormatError("leaf entries run past the page end")
            if unused != self.page_size - at:
                raise FormatError(f"page {page} says {unused} bytes are free, {self.page_size - at} are")
            if len(self.leaf_pages) == 1:
                self.first_leaf_previous = previous
            page = following
        if len(self.entries) != self.total_entries:
            raise FormatError(f"B+ tree header counts {self.total_entries} entries, leaves hold {len(self.entries)}")

    def _check_page(self, page):
        if not 0 <= page < self.total_pages:
            raise FormatError(f"B+ tree page {page} does not exist ({self.total_pages} pages)")


def _directory_entry(page, at):
    name, at = cstring(page, at)
    return (name, u32(page, at)), at + 4


def _directory_index_entry(page, at):
    name, at = cstring(page, at)
    return (name, u16(page, at)), at + 2


def _context_entry(page, at):
    return (s32(page, at), u32(page, at + 4)), at + 8


def _context_index_entry(page, at):
    return (s32(page, at), u16(page, at + 4)), at + 6


class Link:
    """One TOPICLINK record of |TOPIC."""

    def __init__(self, topic_pos, stream_pos, fields, data1, data2):
        self.topic_pos = topic_pos
        self.stream_pos = stream_pos
        (self.block_size, self.data_len2, self.prev_block, self.next_block,
         self.data_len1, self.record_type) = fields
        self.data1 = data1
        self.data2 = data2


class Paragraph:
    def __init__(self, text, font):
        self.text = text
        self.font = font


class Topic:
    def __init__(self, link, offset):
        self.link = link
        self.offset = offset           # TOPICOFFSET of its header
        header = link.data1
        if len(header) != 28:
            raise FormatError(f"topic header at {link.topic_pos:#x} has {len(header)} bytes, not 28")
        (self.block_size, self.browse_back, self.browse_forward, self.number,
         self.non_scroll, self.scroll, self.next_topic) = struct.unpack("<7I", header)
        strings = link.data2.split(b"\0")
        if link.data2 and link.data2[-1:] == b"\0":
            strings = strings[:-1]
        self.title = strings[0].decode("latin-1") if strings else ""
        self.macros = [s.decode("latin-1") for s in strings[1:]]
        self.links = [link]
        self.paragraphs = []


class HelpFile:
    def __init__(self, image):
        self.image = image
        if len(image) < 16:
            raise FormatError("shorter than the 16-byte header")
        self.magic, self.directory_start, self.first_free, self.size = struct.unpack_from("<IIII", image, 0)
        if self.magic != FILE_MAGIC:
            raise FormatError(f"magic {self.magic:#x} is not {FILE_MAGIC:#x}")
        if self.size != len(image):
            raise FormatError(f"header gives the size {self.size}, the file has {len(image)} bytes")
        self.directory_file = read_internal_file(image, self.directory_start, "directory")
        self.directory = BTree(self.directory_file.data, _directory_entry, _directory_index_entry)
        self.files = {}
        for name, offset in self.directory.entries:
            self.files[name] = read_internal_file(image, offset, name.decode("latin-1"))
        self._read_system()
        self._read_font()
        self._read_topic()
        self._read_context()
        self._read_context_map()

    def file(self, name):
        try:
            return self.files[name]
        except KeyError:
            raise FormatError(f"internal file {name!r} is missing") from None

    def _read_system(self):
        data = self.file(b"|SYSTEM").data
        self.system_magic, self.minor, self.major = u16(data, 0), u16(data, 2), u16(data, 4)
        self.gen_date, self.system_flags = u32(data, 6), u16(data, 10)
        if self.system_magic != SYSTEM_MAGIC:
            raise FormatError(f"|SYSTEM magic {self.system_magic:#x}")
        self.system_records = []
        at = 12
        while at < len(data):
            kind, size = u16(data, at), u16(data, at + 2)
            if at + 4 + size > len(data):
                raise FormatError(f"|SYSTEM record {kind} at {at} runs past the end")
            self.system_records.append((kind, data[at + 4:at + 4 + size]))
            at += 4 + size
        if self.minor > 16 and self.system_flags in (4, 8):
            raise FormatError("LZ77-compressed file: this reader takes uncompressed files only")
        if self.minor <= 16 or self.system_flags != 0:
            raise FormatError(f"not an uncompressed 3.1 file (minor {self.minor}, flags {self.system_flags})")

    def system_record(self, kind):
        found = [data for k, data in self.system_records if k == kind]
        return found[0] if found else None

    def _read_font(self):
        data = self.file(b"|FONT").data
        self.face_count, self.descriptor_count = u16(data, 0), u16(data, 2)
        self.faces_offset, self.descriptors_offset = u16(data, 4), u16(data, 6)
        if self.face_count == 0:
            raise FormatError("|FONT has no face names")
        length = (self.descriptors_offset - self.faces_offset) // self.face_count
        self.face_names = [data[self.faces_offset + i * length:self.faces_offset + (i + 1) * length]
                           .split(b"\0")[0].decode("latin-1") for i in range(self.face_count)]
        self.fonts = []
        if self.faces_offset < 12:  # the old layout: 11-byte descriptors in half-points
            for i in range(self.descriptor_count):
                at = self.descriptors_offset + 11 * i
                if at + 11 > len(data):
                    raise FormatError(f"|FONT descriptor {i} runs past the end")
                self.fonts.append({
                    "attributes": data[at], "half_points": data[at + 1], "family": data[at + 2],
                    "face": u16(data, at + 3), "colour": tuple(data[at + 5:at + 8])})
            self.font_end = self.descriptors_offset + 11 * self.descriptor_count

    def _stream_pos(self, topic_pos):
        # TOPICPOS counts 0x4000 per block in every 3.1 file, compressed or
        # not, which is how the viewer decodes it; uncompressed blocks just
        # fill only the first TopicBlockSize - 12 bytes of each step.
        if topic_pos < BLOCK_HEADER_SIZE:
            raise FormatError(f"TOPICPOS {topic_pos:#x} is below the block header size")
        block, offset = (topic_pos - BLOCK_HEADER_SIZE) >> 14, (topic_pos - BLOCK_HEADER_SIZE) & 0x3FFF
        if offset >= self.block_data_size:
            raise FormatError(f"TOPICPOS {topic_pos:#x} points past the data of block {block}")
        return block * self.block_data_size + offset

    def _read_topic(self):
        topic_file = self.file(b"|TOPIC")
        data = topic_file.data
        self.block_data_size = TOPIC_BLOCK_SIZE - BLOCK_HEADER_SIZE
        self.topic_used = len(data)
        self.block_headers = []
        stream = bytearray()
        for start in range(0, len(data), TOPIC_BLOCK_SIZE):
            self.block_headers.append(struct.unpack_from("<III", data, start))
            stream += data[start + BLOCK_HEADER_SIZE:start + TOPIC_BLOCK_SIZE]
        self.links = []
        self.topics = []
        position, previous = BLOCK_HEADER_SIZE, NONE
        counted_block, characters = -1, 0
        while position not in (NONE, 0):
            at = self._stream_pos(position)
            if any(link.topic_pos == position for link in self.links):
                raise FormatError(f"topic links loop back to {position:#x}")
            fields = struct.unpack_from("<IIIIIB", stream, at) if at + LINK_HEADER_SIZE <= len(stream) else None
            if fields is None:
                raise FormatError(f"topic link at {position:#x} runs past the end of |TOPIC")
            block_size, data_len2, prev_block, next_block, data_len1, record_type = fields
            if data_len1 < LINK_HEADER_SIZE or block_size < data_len1 or at + block_size > len(stream):
                raise FormatError(f"topic link at {position:#x} has impossible sizes")
            link = Link(position, at, fields, bytes(stream[at + LINK_HEADER_SIZE:at + data_len1]),
                        bytes(stream[at + data_len1:at + block_size]))
            if data_len2 != len(link.data2):
                raise FormatError(f"topic link at {position:#x}: text is phrase-compressed or sized wrongly")
            if prev_block != previous:
                raise FormatError(f"topic link at {position:#x} names {prev_block:#x} as previous, "
                                  f"not {previous:#x}")
            # A TOPICOFFSET is the block number times 0x8000 plus the characters
            # of the text records that start earlier in the same block.
            block = (position - BLOCK_HEADER_SIZE) >> 14
            if block != counted_block:
                counted_block, characters = block, 0
            if record_type == TOPIC_HEADER_RECORD:
                self.topics.append(Topic(link, block * 0x8000 + characters))
            elif record_type == DISPLAY_RECORD:
                if not self.topics:
                    raise FormatError("text record before the first topic header")
                length, paragraphs = self._display(link)
                characters += length
                self.topics[-1].paragraphs += paragraphs
                self.topics[-1].links.append(link)
            else:
                raise FormatError(f"topic link at {position:#x} has record type {record_type:#x}")
            self.links.append(link)
            previous, position = position, next_block

    def _display(self, link):
        """Decodes one displayable text record: its TopicLength and paragraphs."""
        c = Cursor(link.data1)
        link.topic_size = c.compressed_signed_long()
        link.topic_length = c.compressed_unsigned_short()
        c.byte()
        c.byte()
        c.word()  # paragraph id
        bits = c.word()
        if bits & 0x0001:
            c.compressed_signed_long()
        link.spacing = {}
        for bit, name in ((0x0002, "above"), (0x0004, "below"), (0x0008, "lines"), (0x0010, "left"),
                          (0x0020, "right"), (0x0040, "first_line")):
            if bits & bit:
                link.spacing[name] = c.compressed_signed_short()
        if bits & 0x0100:
            c.byte()
            c.word()
        if bits & 0x0200:
            for _ in range(c.compressed_signed_short()):
                if c.compressed_unsigned_short() & 0x4000:
                    c.compressed_unsigned_short()
        # Strings of the text part and formatting commands alternate: a string,
        # then a command, until the end command 0xFF.
        strings = link.data2.split(b"\0")
        if not link.data2.endswith(b"\0"):
            raise FormatError(f"text of the record at {link.topic_pos:#x} does not end with a zero")
        strings = strings[:-1]
        counted, text, font, paragraphs, index = 0, "", None, [], 0
        while True:
            if index >= len(strings):
                raise FormatError(f"record at {link.topic_pos:#x} has more commands than strings")
            piece = strings[index].decode("latin-1")
            index += 1
            text += piece
            counted += len(piece)
            command = c.byte()
            if command == 0xFF:
                break
            if command == 0x80:
                font = c.word()
            elif command == 0x82:
                paragraphs.append(Paragraph(text, font))
                text, counted = "", counted + 1
            elif command in (0x81, 0x83, 0x8B, 0x8C):
                text += {0x81: "\n", 0x83: "\t", 0x8B: " ", 0x8C: "-"}[command]
                counted += 1
            else:
                raise FormatError(f"record at {link.topic_pos:#x} uses formatting command {command:#x}")
        if c.at != len(link.data1):
            raise FormatError(f"record at {link.topic_pos:#x} has {len(link.data1) - c.at} bytes after its end command")
        if index != len(strings):
            raise FormatError(f"record at {link.topic_pos:#x} has strings left after its end command")
        if text:
            raise FormatError(f"record at {link.topic_pos:#x} ends inside a paragraph")
        if counted != link.topic_length:
            raise FormatError(f"record at {link.topic_pos:#x} says it holds {link.topic_length} characters, "
                              f"its text and marks count {counted}")
        return link.topic_length, paragraphs

    def _read_context(self):
        self.context_tree = BTree(self.file(b"|CONTEXT").data, _context_entry, _context_index_entry)
        self.context = self.context_tree.entries

    def _read_context_map(self):
        data = self.file(b"|CTXOMAP").data
        count = u16(data, 0)
        if len(data) != 2 + 8 * count:
            raise FormatError(f"|CTXOMAP holds {len(data)} bytes for {count} entries")
        self.context_map = [(s32(data, 2 + 8 * i), u32(data, 6 + 8 * i)) for i in range(count)]

    def topic_at(self, offset):
        found = [t for t in self.topics if t.offset == offset]
        if len(found) != 1:
            raise FormatError(f"{len(found)} topics start at the topic offset {offset:#x}")
        return found[0]


def read(path):
    with open(path, "rb") as f:
        return HelpFile(f.read())
