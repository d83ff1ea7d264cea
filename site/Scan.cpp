// Byte scans over whole pages, at memory speed: they decide which pages need the parser at all.
#include "Scan.h"

#include <string.h>

namespace site {

namespace {

inline unsigned char Lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }
inline bool IsLetter(unsigned char c) { return Lower(c) >= 'a' && Lower(c) <= 'z'; }
inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool IsLocalByte(unsigned char c) {
    return IsLetter(c) || IsDigit(c) || c == '.' || c == '_' || c == '%' || c == '+' || c == '-';
}
inline bool IsLabelByte(unsigned char c) { return IsLetter(c) || IsDigit(c) || c == '-'; }

// Last labels that name a kind of file rather than a top-level domain.
bool IsFileExtension(const unsigned char* label, size_t length) {
    static const char* const kExtensions[] = {
        "png", "jpg",  "jpeg",  "gif", "svg", "webp", "avif", "bmp", "ico",  "tif", "tiff", "css", "js",
        "mjs", "map",  "json",  "xml", "txt", "pdf",  "woff", "woff2", "ttf", "otf", "eot",  "mp3", "mp4",
        "webm", "html", "htm", "php", "md",
    };
    for (const char* extension : kExtensions) {
        if (strlen(extension) != length) continue;
        size_t i = 0;
        while (i < length && Lower(label[i]) == static_cast<unsigned char>(extension[i])) ++i;
        if (i == length) return true;
    }
    return false;
}

// The address around the "@" at `at`, if one stands there.
bool AddressAt(const unsigned char* bytes, size_t size, size_t at, Span* span) {
    size_t begin = at;
    while (begin > 0 && IsLocalByte(bytes[begin - 1])) --begin;
    while (begin < at && bytes[begin] == '.') ++begin;
    if (begin == at) return false;

    size_t pos = at + 1, labels = 0, lastLabel = pos;
    for (;;) {
        size_t start = pos;
        while (pos < size && IsLabelByte(bytes[pos])) ++pos;
        if (pos == start) break;
        ++labels;
        lastLabel = start;
        if (pos + 1 < size && bytes[pos] == '.' && IsLabelByte(bytes[pos + 1])) {
            ++pos;
        } else {
            break;
        }
    }
    if (labels < 2) return false;
    size_t tldLength = pos - lastLabel;
    if (tldLength < 2 || tldLength > 63 || IsFileExtension(bytes + lastLabel, tldLength)) return false;
    for (size_t i = lastLabel; i < pos; ++i) {
        if (!IsLetter(bytes[i])) return false;
    }
    span->begin = begin;
    span->end = pos;
    return true;
}

template <typename Found>
void ScanAddresses(std::string_view text, Found found) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    size_t from = 0;
    while (from < text.size()) {
        const void* at = memchr(bytes + from, '@', text.size() - from);
        if (at == nullptr) return;
        size_t index = static_cast<size_t>(static_cast<const unsigned char*>(at) - bytes);
        Span span;
        if (AddressAt(bytes, text.size(), index, &span)) {
            if (!found(span)) return;
            from = span.end;
        } else {
            from = index + 1;
        }
    }
}

}  // namespace

bool HasMailto(std::string_view text) {
    // Horspool's search, case folded: most steps skip six bytes on one look.
    static const struct Shifts {
        unsigned char by[256];
        Shifts() {
            memset(by, 6, sizeof by);
            const char word[] = "mailt";
            for (int i = 0; i < 5; ++i) {
                by[static_cast<unsigned char>(word[i])] = static_cast<unsigned char>(5 - i);
                by[static_cast<unsigned char>(word[i] - 32)] = static_cast<unsigned char>(5 - i);
            }
        }
    } shifts;
    // The anchor of the code's own NOSCRIPT part is never taken: a page
    // whose every "mailto" stands there has been protected already.
    static const char kOwn[] = "<NOSCRIPT><A HREF=\"";
    const size_t ownLength = sizeof kOwn - 1;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 5; i < text.size(); i += shifts.by[bytes[i]]) {
        if (Lower(bytes[i]) == 'o' && Lower(bytes[i - 5]) == 'm' && Lower(bytes[i - 4]) == 'a' &&
            Lower(bytes[i - 3]) == 'i' && Lower(bytes[i - 2]) == 'l' && Lower(bytes[i - 1]) == 't' &&
            !(i >= 5 + ownLength && memcmp(bytes + i - 5 - ownLength, kOwn, ownLength) == 0)) {
            return true;
        }
    }
    return false;
}

std::vector<Span> FindAddresses(std::string_view text) {
    std::vector<Span> spans;
    ScanAddresses(text, [&](const Span& span) {
        spans.push_back(span);
        return true;
    });
    return spans;
}

bool HasAddress(std::string_view text) {
    bool any = false;
    ScanAddresses(text, [&](const Span&) {
        any = true;
        return false;
    });
    return any;
}

std::string_view LineEnd(std::string_view page) {
    size_t end = page.find_first_of("\r\n");
    if (end == std::string_view::npos || page[end] == '\n') return "\n";
    return end + 1 < page.size() && page[end + 1] == '\n' ? "\r\n" : "\r";
}

LineCounter::LineCounter(std::string_view page) : page_(page), counted_(LineEnd(page) == "\r" ? '\r' : '\n') {}

size_t LineCounter::LineAt(size_t offset) {
    if (offset < offset_) {
        offset_ = 0;
        line_ = 1;
    }
    const char* p = page_.data() + offset_;
    const char* end = page_.data() + offset;
    while ((p = static_cast<const char*>(memchr(p, counted_, static_cast<size_t>(end - p)))) != nullptr) {
        ++line_;
        ++p;
    }
    offset_ = offset;
    return line_;
}

}  // namespace site
