// Fuzz target of the help file writer: any topic source through the tool's whole run, then its messages and its file read back.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "Convert.h"
#include "Fuzz.h"

namespace {

std::string folder;  // private to this process: the source, and the output when there is one
std::string sourcePath;
std::string outputPath;

std::vector<std::string> FolderEntries() {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    FUZZ_REQUIRE(dir != nullptr, "cannot list %s", folder.c_str());
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveFolder() {
    for (const std::string& name : FolderEntries()) std::remove((folder + "/" + name).c_str());
    rmdir(folder.c_str());
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// The topics the source holds, counted from its text: lines whose first word is "@topic".
size_t TopicLines(const std::vector<std::string>& lines) {
    size_t count = 0;
    for (const std::string& line : lines) {
        size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line.compare(first, 6, "@topic") == 0 &&
            (line.size() == first + 6 || line[first + 6] == ' ' || line[first + 6] == '\t')) {
            ++count;
        }
    }
    return count;
}

// Every message names the source and a line of it, or the source alone for
// a problem of the whole file, in line order; the last line counts them.
void CheckRefusal(const std::string& said, size_t sourceLines) {
    std::vector<std::string> lines = Lines(said);
    FUZZ_REQUIRE(!lines.empty() && said.back() == '\n', "refused without a message");
    std::string summary = sourcePath + ": " + std::to_string(lines.size() - 1) + " error(s); " + outputPath + " not written";
    FUZZ_REQUIRE(lines.back() == summary, "last line: %s", lines.back().c_str());
    unsigned long previous = 0;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string& line = lines[i];
        FUZZ_REQUIRE(line.compare(0, sourcePath.size() + 1, sourcePath + ":") == 0, "message: %s", line.c_str());
        std::string rest = line.substr(sourcePath.size() + 1);
        unsigned long number = 0;
        if (rest[0] != ' ') {
            size_t digits = rest.find_first_not_of("0123456789");
            FUZZ_REQUIRE(digits > 0 && digits != std::string::npos && rest[0] != '0', "message: %s", line.c_str());
            number = std::strtoul(rest.c_str(), nullptr, 10);
            FUZZ_REQUIRE(number <= sourceLines, "message names line %lu of %zu: %s", number, sourceLines, line.c_str());
            rest = rest.substr(digits + 1);
        }
        FUZZ_REQUIRE(rest.compare(0, 8, " error: ") == 0 && rest.size() > 8, "message: %s", line.c_str());
        FUZZ_REQUIRE(number >= previous, "messages out of line order at: %s", line.c_str());
        previous = number;
    }
}

// ---- an independent reader of just enough of the help file to count its topics

struct FileReader {
    const std::vector<uint8_t>& bytes;

    uint32_t U8(size_t at) const {
        FUZZ_REQUIRE(at < bytes.size(), "field at %zu past the end of %zu bytes", at, bytes.size());
        return bytes[at];
    }
    uint32_t U16(size_t at) const { return U8(at) | U8(at + 1) << 8; }
    uint32_t U32(size_t at) const { return U16(at) | U16(at + 2) << 16; }

    // An internal file: reserved size, used size and flags, then the content.
    std::vector<uint8_t> Internal(size_t at) const {
        uint32_t used = U32(at + 4);
        FUZZ_REQUIRE(at >= 16 && at + 9 + used <= bytes.size() && U32(at) >= used + 9,
                     "internal file at %zu does not fit", at);
        return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(at + 9),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(at + 9 + used));
    }
};

// The leaf entries of a B+ tree, in order; entrySize gives each entry's length.
template <typename EntrySize>
size_t BTreeEntries(const std::vector<uint8_t>& tree, EntrySize entrySize,
                    const std::function<void(const FileReader&, size_t)>& visit) {
    FileReader r{tree};
    FUZZ_REQUIRE(r.U16(0) == 0x293B, "no B+ tree");
    const size_t pageSize = r.U16(4), pages = r.U16(30), levels = r.U16(32);
    FUZZ_REQUIRE(levels >= 1 && 38 + pages * pageSize <= tree.size(), "B+ tree pages do not fit");
    size_t page = r.U16(26);
    for (size_t level = 1; level < levels; ++level) {  // down the first child of each index page
        FUZZ_REQUIRE(page < pages, "no page %zu", page);
        page = r.U16(38 + page * pageSize + 4);
    }
    size_t count = 0;
    for (size_t walked = 0; page != 0xFFFF; ++walked) {
        FUZZ_REQUIRE(page < pages && walked < pages, "leaf chain broken at page %zu", page);
        size_t base = 38 + page * pageSize, at = base + 8;
        for (size_t n = r.U16(base + 2); n > 0; --n, ++count) {
            size_t length = entrySize(r, at);
            visit(r, at);
            at += length;
            FUZZ_REQUIRE(at <= base + pageSize, "leaf entries run past page %zu", page);
        }
        page = r.U16(base + 6);
    }
    FUZZ_REQUIRE(count == r.U32(34), "B+ tree header counts %u entries, its leaves hold %zu", r.U32(34), count);
    return count;
}

// Topic header records in |TOPIC, walked along the links' "next" positions.
size_t TopicHeaders(const std::vector<uint8_t>& topic) {
    const size_t blockSize = 4096, headerSize = 12, dataSize = blockSize - headerSize;
    FUZZ_REQUIRE(topic.size() % blockSize == 0, "|TOPIC is not made of whole blocks");
    std::vector<uint8_t> stream;
    for (size_t block = 0; block < topic.size(); block += blockSize) {
        stream.insert(stream.end(), topic.begin() + static_cast<std::ptrdiff_t>(block + headerSize),
                      topic.begin() + static_cast<std::ptrdiff_t>(block + blockSize));
    }
    FileReader r{stream};
    size_t count = 0, last = 0;
    for (uint32_t position = 12; position != 0xFFFFFFFF;) {
        size_t offset = (position - headerSize) & 0x3FFF;
        FUZZ_REQUIRE(position >= headerSize && offset < dataSize, "bad link position %08x", position);
        size_t at = ((position - headerSize) >> 14) * dataSize + offset;
        FUZZ_REQUIRE(count == 0 || at > last, "links go backwards at %08x", position);
        FUZZ_REQUIRE(at + 21 <= stream.size() && at + r.U32(at) <= stream.size(), "link at %08x past the end", position);
        count += stream[at + 20] == 0x02;
        last = at;
        position = r.U32(at + 12);
    }
    return count;
}

void CheckHelpFile(const std::vector<uint8_t>& bytes, size_t topics) {
    FileReader file{bytes};
    FUZZ_REQUIRE(file.U32(0) == 0x00035F3F, "no help file magic");
    FUZZ_REQUIRE(file.U32(12) == bytes.size(), "the header gives %u bytes, the file has %zu", file.U32(12), bytes.size());
    std::vector<uint8_t> directory = file.Internal(file.U32(4));
    std::vector<uint8_t> topic, context, contextMap;
    auto nameLength = [](const FileReader& r, size_t at) {
        size_t end = at;
        while (r.U8(end) != 0) ++end;
        return end - at + 1 + 4;
    };
    BTreeEntries(directory, nameLength, [&](const FileReader& r, size_t at) {
        std::string name(reinterpret_cast<const char*>(&r.bytes[at]));
        size_t offset = r.U32(at + name.size() + 1);
        if (name == "|TOPIC") topic = file.Internal(offset);
        if (name == "|CONTEXT") context = file.Internal(offset);
        if (name == "|CTXOMAP") contextMap = file.Internal(offset);
    });
    size_t headers = TopicHeaders(topic);
    size_t contexts = BTreeEntries(context, [](const FileReader&, size_t) { return 8; }, [](const FileReader&, size_t) {});
    size_t mapped = FileReader{contextMap}.U16(0);
    FUZZ_REQUIRE(headers == topics && contexts == topics && mapped == topics,
                 "the source holds %zu topics; the file has %zu topic headers, %zu |CONTEXT and %zu |CTXOMAP entries",
                 topics, headers, contexts, mapped);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorvane-helpfuzz-XXXXXX";
    FUZZ_REQUIRE(mkdtemp(&pattern[0]) != nullptr, "cannot make a folder from %s", pattern.c_str());
    folder = pattern;
    sourcePath = folder + "/topics.txt";
    outputPath = folder + "/out.hlp";
    std::atexit(RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream source(sourcePath, std::ios::binary | std::ios::trunc);
        source << text;
        FUZZ_REQUIRE(source.flush().good(), "cannot write %s", sourcePath.c_str());
    }

    char* buffer = nullptr;
    size_t length = 0;
    std::FILE* messages = open_memstream(&buffer, &length);
    FUZZ_REQUIRE(messages != nullptr, "no memory stream");
    int status = ConvertHelpSource(sourcePath.c_str(), outputPath.c_str(), nullptr, messages);
    std::fclose(messages);
    const std::string said(buffer, length);
    std::free(buffer);

    std::vector<std::string> lines = Lines(text);
    std::vector<std::string> entries = FolderEntries();
    if (status == 1) {
        FUZZ_REQUIRE(entries == std::vector<std::string>{"topics.txt"}, "a refused source left %zu files", entries.size());
        CheckRefusal(said, lines.size());
        return 0;
    }
    FUZZ_REQUIRE(status == 0, "status %d", status);
    FUZZ_REQUIRE(said.empty(), "a written file came with messages: %s", said.c_str());
    FUZZ_REQUIRE((entries == std::vector<std::string>{"out.hlp", "topics.txt"}), "the folder holds %zu files",
                 entries.size());
    std::ifstream output(outputPath, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(output)), std::istreambuf_iterator<char>());
    CheckHelpFile(bytes, TopicLines(lines));
    std::remove(outputPath.c_str());
    return 0;
}
