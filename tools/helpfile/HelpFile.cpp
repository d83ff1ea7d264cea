// Lays out an uncompressed WinHelp 3.1 file: header, internal files, and the directory that names them.
#include "HelpFile.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// Little-endian byte builder with room for fields that are filled in later.
class Bytes {
public:
    void U8(uint32_t value) { data_.push_back(static_cast<uint8_t>(value)); }
    void U16(uint32_t value) {
        U8(value & 0xFF);
        U8((value >> 8) & 0xFF);
    }
    void U32(uint32_t value) {
        U16(value & 0xFFFF);
        U16(value >> 16);
    }
    void Zeros(size_t count) { data_.insert(data_.end(), count, 0); }
    void Append(const std::vector<uint8_t>& more) { data_.insert(data_.end(), more.begin(), more.end()); }
    void CString(const std::string& text) {
        data_.insert(data_.end(), text.begin(), text.end());
        U8(0);
    }
    // A string in a fixed-size field, zero-padded.
    void FixedString(const std::string& text, size_t size) {
        size_t used = std::min(text.size(), size);
        data_.insert(data_.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(used));
        Zeros(size - used);
    }
    void PatchU32(size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) data_[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    }

    // The variable-length numbers of paragraph records. The low bit of the
    // first byte tells the short form from the long one.
    void CompressedUnsignedShort(uint32_t value) {
        if (value < 0x80) {
            U8(value * 2);
        } else {
            U16(value * 2 + 1);
        }
    }
    void CompressedSignedShort(int32_t value) {
        if (value >= -0x40 && value < 0x40) {
            U8(static_cast<uint32_t>(value + 0x40) * 2);
        } else {
            U16(static_cast<uint32_t>(value + 0x4000) * 2 + 1);
        }
    }
    void CompressedSignedLong(int32_t value) {
        if (value >= -0x4000 && value < 0x4000) {
            U16(static_cast<uint32_t>(value + 0x4000) * 2);
        } else {
            U32(static_cast<uint32_t>(value + 0x40000000) * 2 + 1);
        }
    }

    size_t size() const { return data_.size(); }
    const std::vector<uint8_t>& data() const { return data_; }
    std::vector<uint8_t>& data() { return data_; }

private:
    std::vector<uint8_t> data_;
};

constexpr uint32_t kNone = 0xFFFFFFFF;  // "no such position" in every pointer field

// B+ trees with all entries in one leaf page, which is also the root.
std::vector<uint8_t> SinglePageBTree(uint16_t flags, uint16_t pageSize, const char* structure,
                                     const std::vector<uint8_t>& entries, uint16_t entryCount) {
    constexpr size_t kLeafHeader = 8;
    Bytes tree;
    tree.U16(0x293B);
    tree.U16(flags);
    tree.U16(pageSize);
    tree.FixedString(structure, 16);
    tree.U16(0);       // must be zero
    tree.U16(0);       // page splits
    tree.U16(0);       // root page
    tree.U16(0xFFFF);  // must be -1
    tree.U16(1);       // total pages
    tree.U16(1);       // levels: the root is the leaf
    tree.U32(entryCount);
    tree.U16(static_cast<uint32_t>(pageSize - kLeafHeader - entries.size()));  // free bytes in the page
    tree.U16(entryCount);
    tree.U16(0xFFFF);  // no previous leaf
    tree.U16(0xFFFF);  // no next leaf
    tree.Append(entries);
    tree.Zeros(pageSize - kLeafHeader - entries.size());
    return tree.data();
}

// ---- |TOPIC ----------------------------------------------------------------

constexpr size_t kTopicBlockSize = 4096;
constexpr size_t kBlockHeaderSize = 12;
constexpr size_t kBlockDataSize = kTopicBlockSize - kBlockHeaderSize;
constexpr size_t kLinkHeaderSize = 21;
constexpr size_t kTopicHeaderSize = 28;
constexpr uint8_t kTopicHeaderRecord = 0x02;
constexpr uint8_t kDisplayRecord = 0x20;
constexpr uint16_t kBodyFont = 0;
constexpr uint16_t kHeadingFont = 1;
constexpr int32_t kSpaceBelowParagraph = 12;  // half-points, as the old-style fonts measure

struct TopicLink {
    uint8_t type = 0;
    std::vector<uint8_t> data1;  // record data behind the 21-byte link header
    std::vector<uint8_t> data2;  // the text strings
    uint32_t characters = 0;     // what the record adds to the topic offset count
    size_t topic = 0;            // index of the topic it belongs to
    size_t streamPos = 0;        // where it starts in the block data laid end to end
    uint32_t topicPos = 0;       // its TOPICPOS

    size_t Size() const { return kLinkHeaderSize + data1.size() + data2.size(); }
};

// One paragraph: a font change, the text, the end-of-paragraph mark and the
// end of the formatting commands. Each command is preceded by one string of
// the text part, so the text part is "", text, "".
TopicLink DisplayRecord(const std::string& text, uint16_t font, size_t topic) {
    TopicLink link;
    link.type = kDisplayRecord;
    link.topic = topic;
    link.data2.push_back(0);
    link.data2.insert(link.data2.end(), text.begin(), text.end());
    link.data2.push_back(0);
    link.data2.push_back(0);
    // The viewer counts each character and each paragraph mark; topic
    // offsets in |CONTEXT and |CTXOMAP are sums of these counts.
    link.characters = static_cast<uint32_t>(text.size()) + 1;

    Bytes data1;
    data1.CompressedSignedLong(static_cast<int32_t>(link.data2.size()));
    data1.CompressedUnsignedShort(link.characters);
    data1.U8(0x00);       // unknown, 0 in compiled files
    data1.U8(0x80);       // unknown biased byte: 0
    data1.U16(0);         // paragraph id
    data1.U16(0x0004);    // paragraph bits: only "spacing below follows"
    data1.CompressedSignedShort(kSpaceBelowParagraph);
    data1.U8(0x80);       // font change
    data1.U16(font);
    data1.U8(0x82);       // end of paragraph
    data1.U8(0xFF);       // end of formatting
    link.data1 = data1.data();
    return link;
}

TopicLink TopicHeaderRecord(const std::string& title, size_t topic) {
    TopicLink link;
    link.type = kTopicHeaderRecord;
    link.topic = topic;
    link.data1.assign(kTopicHeaderSize, 0);  // filled once the layout is known
    link.data2.assign(title.begin(), title.end());
    link.data2.push_back(0);
    return link;
}

uint32_t TopicPos(size_t streamPos) {
    // Positions count 16 KB per block whether or not the blocks are
    // compressed; the readers of 3.1 files decode them that way.
    return static_cast<uint32_t>(kBlockHeaderSize + (streamPos / kBlockDataSize) * 0x4000 + streamPos % kBlockDataSize);
}

struct TopicFile {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> topicOffsets;  // per topic, in source order
};

TopicFile BuildTopicFile(const HelpSource& source) {
    std::vector<TopicLink> links;
    std::vector<size_t> headerIndex;
    for (size_t t = 0; t < source.topics.size(); ++t) {
        const HelpTopic& topic = source.topics[t];
        headerIndex.push_back(links.size());
        links.push_back(TopicHeaderRecord(topic.title, t));
        links.push_back(DisplayRecord(topic.title, kHeadingFont, t));
        for (const std::string& paragraph : topic.paragraphs) links.push_back(DisplayRecord(paragraph, kBodyFont, t));
    }

    // Lay the records end to end over the block data areas. A link header
    // never straddles two blocks (the rest of a record may); the few bytes
    // skipped at a block's end stay zero.
    TopicFile result;
    result.topicOffsets.assign(source.topics.size(), 0);
    std::vector<uint32_t> blockCharacters;
    size_t pos = 0;
    for (TopicLink& link : links) {
        if (kBlockDataSize - pos % kBlockDataSize < kLinkHeaderSize) pos += kBlockDataSize - pos % kBlockDataSize;
        link.streamPos = pos;
        link.topicPos = TopicPos(pos);
        size_t block = pos / kBlockDataSize;
        if (blockCharacters.size() <= block) blockCharacters.resize(block + 1, 0);
        // A topic offset is the block number times 32768 plus the characters of
        // the records that start earlier in the same block.
        if (link.type == kTopicHeaderRecord) {
            result.topicOffsets[link.topic] = static_cast<uint32_t>(block * 0x8000 + blockCharacters[block]);
        }
        blockCharacters[block] += link.characters;
        pos += link.Size();
    }
    size_t blocks = (pos + kBlockDataSize - 1) / kBlockDataSize;

    // The topic headers, now that every position is known.
    for (size_t t = 0; t < headerIndex.size(); ++t) {
        size_t first = headerIndex[t];
        size_t end = t + 1 < headerIndex.size() ? headerIndex[t + 1] : links.size();
        size_t topicBytes = 0;
        for (size_t i = first; i < end; ++i) topicBytes += links[i].Size();
        Bytes header;
        header.U32(static_cast<uint32_t>(topicBytes));
        header.U32(kNone);                             // no browse sequence backwards
        header.U32(kNone);                             // nor forwards
        header.U32(static_cast<uint32_t>(t));          // topic number
        header.U32(kNone);                             // no non-scrolling region
        header.U32(links[first + 1].topicPos);         // the scrolling region starts with the heading
        header.U32(t + 1 < headerIndex.size() ? links[end].topicPos : kNone);
        links[first].data1 = header.data();
    }

    std::vector<uint8_t> stream(blocks * kBlockDataSize, 0);
    for (size_t i = 0; i < links.size(); ++i) {
        const TopicLink& link = links[i];
        Bytes record;
        record.U32(static_cast<uint32_t>(link.Size()));
        record.U32(static_cast<uint32_t>(link.data2.size()));
        record.U32(i > 0 ? links[i - 1].topicPos : kNone);
        record.U32(i + 1 < links.size() ? links[i + 1].topicPos : kNone);  // the last link ends the walk
        record.U32(static_cast<uint32_t>(kLinkHeaderSize + link.data1.size()));
        record.U8(link.type);
        record.Append(link.data1);
        record.Append(link.data2);
        std::copy(record.data().begin(), record.data().end(), stream.begin() + static_cast<std::ptrdiff_t>(link.streamPos));
    }

    // Every block is written whole, the last one zero-filled: the viewer
    // copies full blocks out of the file.
    Bytes file;
    for (size_t block = 0; block < blocks; ++block) {
        size_t blockStart = block * kBlockDataSize;
        uint32_t lastLinkBefore = kNone;
        uint32_t firstLinkInside = kNone;
        uint32_t lastHeaderBefore = kNone;
        for (const TopicLink& link : links) {
            if (link.streamPos < blockStart) {
                lastLinkBefore = link.topicPos;
                if (link.type == kTopicHeaderRecord) lastHeaderBefore = link.topicPos;
            } else if (link.streamPos < blockStart + kBlockDataSize && firstLinkInside == kNone) {
                firstLinkInside = link.topicPos;
            }
        }
        file.U32(lastLinkBefore);
        file.U32(firstLinkInside);
        file.U32(lastHeaderBefore);
        file.data().insert(file.data().end(), stream.begin() + static_cast<std::ptrdiff_t>(blockStart),
                           stream.begin() + static_cast<std::ptrdiff_t>(blockStart + kBlockDataSize));
    }
    result.bytes = file.data();
    return result;
}

// ---- the small internal files ---------------------------------------------

std::vector<uint8_t> BuildSystemFile(const HelpSource& source, uint32_t contentsOffset) {
    Bytes system;
    system.U16(0x036C);
    system.U16(21);  // minor version of Windows 3.1 help files
    system.U16(1);   // major version
    system.U32(0);   // creation time left out, so that the same source gives the same file
    system.U16(0);   // flags: no compression, 4 KB topic blocks
    system.U16(1);   // title record
    system.U16(static_cast<uint32_t>(source.title.size() + 1));
    system.CString(source.title);
    system.U16(3);   // contents record: the topic shown when none is asked for
    system.U16(4);
    system.U32(contentsOffset);
    return system.data();
}

// The old-style font table: descriptors of 11 bytes with sizes in half-points.
std::vector<uint8_t> BuildFontFile() {
    constexpr size_t kFaceNameSize = 20;
    constexpr uint16_t kFaceNamesOffset = 8;
    struct Descriptor {
        uint8_t attributes;  // bit 0 bold
        uint8_t halfPoints;
    };
    const Descriptor descriptors[] = {{0x00, 20}, {0x01, 24}};  // body 10 pt, heading 12 pt bold
    Bytes font;
    font.U16(1);  // face names
    font.U16(sizeof descriptors / sizeof descriptors[0]);
    font.U16(kFaceNamesOffset);
    font.U16(kFaceNamesOffset + kFaceNameSize);
    font.FixedString("Arial", kFaceNameSize);
    for (const Descriptor& d : descriptors) {
        font.U8(d.attributes);
        font.U8(d.halfPoints);
        font.U8(0x03);  // family: swiss
        font.U16(0);    // face name index
        font.U8(0);     // text colour: black
        font.U8(0);
        font.U8(0);
        font.U8(0xFF);  // background colour, unused
        font.U8(0xFF);
        font.U8(0xFF);
    }
    return font.data();
}

std::vector<uint8_t> BuildContextFile(const HelpSource& source, const std::vector<uint32_t>& offsets) {
    std::vector<std::pair<int32_t, uint32_t>> entries;
    for (size_t t = 0; t < source.topics.size(); ++t) {
        entries.emplace_back(HashContextName(source.topics[t].contextName), offsets[t]);
    }
    std::sort(entries.begin(), entries.end());  // signed order, as the lookup compares
    Bytes leaf;
    for (const auto& entry : entries) {
        leaf.U32(static_cast<uint32_t>(entry.first));
        leaf.U32(entry.second);
    }
    return SinglePageBTree(0x0002, 2048, "L4", leaf.data(), static_cast<uint16_t>(entries.size()));
}

std::vector<uint8_t> BuildContextMapFile(const HelpSource& source, const std::vector<uint32_t>& offsets) {
    std::vector<std::pair<int32_t, uint32_t>> entries;
    for (size_t t = 0; t < source.topics.size(); ++t) entries.emplace_back(source.topics[t].number, offsets[t]);
    std::sort(entries.begin(), entries.end());
    Bytes map;
    map.U16(static_cast<uint32_t>(entries.size()));
    for (const auto& entry : entries) {
        map.U32(static_cast<uint32_t>(entry.first));
        map.U32(entry.second);
    }
    return map.data();
}

// An internal file is its 9-byte header (reserved size including the
// header, used size, flags) followed by its content, with no spare room.
void AppendInternalFile(Bytes& file, const std::vector<uint8_t>& content) {
    file.U32(static_cast<uint32_t>(content.size() + 9));
    file.U32(static_cast<uint32_t>(content.size()));
    file.U8(0x04);
    file.Append(content);
}

}  // namespace

bool IsContextNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.';
}

int32_t HashContextName(const std::string& name) {
    uint32_t hash = 0;  // unsigned, so that the intended wrap-around is defined
    for (char c : name) {
        uint32_t value = 0;
        if (c >= 'A' && c <= 'Z') value = static_cast<uint32_t>(c - 'A') + 17;
        if (c >= 'a' && c <= 'z') value = static_cast<uint32_t>(c - 'a') + 17;
        if (c >= '1' && c <= '9') value = static_cast<uint32_t>(c - '0');
        if (c == '0') value = 10;
        if (c == '.') value = 12;
        if (c == '_') value = 13;
        hash = hash * 43 + value;
    }
    int32_t result;
    std::memcpy(&result, &hash, sizeof result);
    return result;
}

std::vector<uint8_t> BuildHelpFile(const HelpSource& source) {
    TopicFile topic = BuildTopicFile(source);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"|SYSTEM", BuildSystemFile(source, topic.topicOffsets.at(0))},
        {"|TOPIC", topic.bytes},
        {"|FONT", BuildFontFile()},
        {"|CONTEXT", BuildContextFile(source, topic.topicOffsets)},
        {"|CTXOMAP", BuildContextMapFile(source, topic.topicOffsets)},
    };

    Bytes file;
    file.Zeros(16);  // header, filled in at the end
    std::vector<std::pair<std::string, uint32_t>> directory;
    for (const auto& internal : files) {
        directory.emplace_back(internal.first, static_cast<uint32_t>(file.size()));
        AppendInternalFile(file, internal.second);
    }

    // The directory is looked up with strcmp, so its names go in byte order.
    std::sort(directory.begin(), directory.end());
    Bytes leaf;
    for (const auto& entry : directory) {
        leaf.CString(entry.first);
        leaf.U32(entry.second);
    }
    uint32_t directoryStart = static_cast<uint32_t>(file.size());
    AppendInternalFile(file, SinglePageBTree(0x0402, 1024, "z4", leaf.data(), static_cast<uint16_t>(directory.size())));

    file.PatchU32(0, 0x00035F3F);
    file.PatchU32(4, directoryStart);
    file.PatchU32(8, kNone);  // no free list
    file.PatchU32(12, static_cast<uint32_t>(file.size()));
    return file.data();
}
