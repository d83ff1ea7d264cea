// Byte scans over whole pages, at memory speed: they decide which pages need the parser at all.
#include "Scan.h"

#include <string.h>

#include "Ascii.h"
#include "MailCodeMarks.h"

namespace site {

namespace {

using ascii::IsDigit;
using ascii::IsLetter;
using ascii::Lower;

inline bool IsLocalByte(unsigned char c) {
    return IsLetter(c) || IsDigit(c) || c == '.' || c == '_' || c == '%' || c == '+' || c == '-';
}
inline bool IsLabelByte(unsigned char c) { return IsLetter(c) || IsDigit(c) || c == '-'; }

// A code point that can stand in an internationalised address (RFC 6531) as
// a letter: any from U+00C0 on but the signs, punctuation, symbols, private
// use and pictographs that text puts around an address (x, quotes, dashes,
// arrows, CJK and full-width punctuation).
bool IsLetterAbove127(unsigned long code) {
    if (code < 0xC0 || code == 0xD7 || code == 0xF7) return false;
    if (code >= 0x2000 && code <= 0x2BFF) return false;
    if (code >= 0x3000 && code <= 0x303F) return false;
    if (code >= 0xD800 && code <= 0xF8FF) return false;
    if (code >= 0xFE10 && code <= 0xFE6F) return false;
    if ((code >= 0xFF00 && code <= 0xFF20) || (code >= 0xFF3B && code <= 0xFF40) || (code >= 0xFF5B && code <= 0xFF65)) {
        return false;
    }
    if (code >= 0xFFF0 && code <= 0xFFFF) return false;
    return code < 0x1F000 || code > 0x1FAFF;
}

// The UTF-8 letter that starts at `i`, if one does: its length, else 0.
size_t Utf8LetterAt(const unsigned char* bytes, size_t size, size_t i) {
    const unsigned char c = bytes[i];
    const size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > size) return 0;
    unsigned long code = c & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((bytes[i + k] & 0xC0) != 0x80) return 0;
        code = (code << 6) | (bytes[i + k] & 0x3F);
    }
    // Overlong forms read as another character, or as none.
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF))) return 0;
    return IsLetterAbove127(code) ? length : 0;
}

// The UTF-8 letter that ends just before `end`, no earlier than `from`: its length, else 0.
size_t Utf8LetterBefore(const unsigned char* bytes, size_t from, size_t end) {
    for (size_t length = 2; length <= 4 && length <= end - from; ++length) {
        if ((bytes[end - length] & 0xC0) == 0x80) continue;
        return Utf8LetterAt(bytes, end, end - length) == length ? length : 0;
    }
    return 0;
}

// Bytes of an address: ASCII ones as the rule says, and in UTF-8 text letters above 127.
size_t LocalCharBefore(const unsigned char* bytes, size_t from, size_t end, bool utf8) {
    if (IsLocalByte(bytes[end - 1])) return 1;
    return utf8 && bytes[end - 1] >= 0x80 ? Utf8LetterBefore(bytes, from, end) : 0;
}
size_t LabelCharAt(const unsigned char* bytes, size_t size, size_t i, bool utf8) {
    if (IsLabelByte(bytes[i])) return 1;
    return utf8 && bytes[i] >= 0x80 ? Utf8LetterAt(bytes, size, i) : 0;
}

// Last labels that name a kind of file and no top-level domain. (md, map,
// py, sh, rs and many more are top-level domains, so they stay addresses.)
const char* const kFileExtensions[] = {
    "png", "jpg", "jpeg", "gif", "svg", "webp", "avif", "bmp", "ico", "tif", "tiff", "css", "js", "mjs",
    "json", "xml", "txt", "pdf", "woff", "woff2", "ttf", "otf", "eot", "mp3", "mp4", "webm", "html", "htm", "php",
};

bool IsFileExtension(const unsigned char* label, size_t length) {
    for (const char* extension : kFileExtensions) {
        if (strlen(extension) != length) continue;
        size_t i = 0;
        while (i < length && Lower(label[i]) == static_cast<unsigned char>(extension[i])) ++i;
        if (i == length) return true;
    }
    return false;
}

// A top-level domain as the root zone names them: ASCII letters, or an
// internationalised one in its ASCII form ("xn--p1ai") or in its own letters
// ("рф"), two of them at least.
bool IsTopLevelLabel(const unsigned char* label, size_t length) {
    if (length >= 5 && Lower(label[0]) == 'x' && Lower(label[1]) == 'n' && label[2] == '-' && label[3] == '-') {
        return length <= 63;  // the rest is label bytes already
    }
    size_t letters = 0;
    for (size_t i = 0; i < length; ++letters) {
        const size_t n = IsLetter(label[i]) ? 1 : Utf8LetterAt(label, length, i);
        if (n == 0) return false;
        i += n;
    }
    return letters >= 2 && letters <= 63;
}

// The address around the "@" at `at`, if one stands there, its local part
// starting no earlier than `from` (where the last address found ended, as a
// pattern reading on after a match takes it).
bool AddressAt(const unsigned char* bytes, size_t size, size_t from, size_t at, bool utf8, Span* span) {
    size_t begin = at;
    for (size_t n; begin > from && (n = LocalCharBefore(bytes, from, begin, utf8)) != 0;) begin -= n;
    while (begin < at && bytes[begin] == '.') ++begin;
    if (begin == at) return false;

    size_t pos = at + 1, labels = 0, lastLabel = pos;
    for (;;) {
        size_t start = pos;
        for (size_t n; pos < size && (n = LabelCharAt(bytes, size, pos, utf8)) != 0;) pos += n;
        if (pos == start) break;
        ++labels;
        lastLabel = start;
        if (pos + 1 < size && bytes[pos] == '.' && LabelCharAt(bytes, size, pos + 1, utf8) != 0) {
            ++pos;
        } else {
            break;
        }
    }
    if (labels < 2) return false;
    size_t tldLength = pos - lastLabel;
    if (tldLength > 252 || IsFileExtension(bytes + lastLabel, tldLength) || !IsTopLevelLabel(bytes + lastLabel, tldLength)) {
        return false;
    }
    span->begin = begin;
    span->end = pos;
    return true;
}

template <typename Found>
void ScanAddresses(std::string_view text, bool utf8, Found found) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    size_t from = 0, lastEnd = 0;
    while (from < text.size()) {
        const void* at = memchr(bytes + from, '@', text.size() - from);
        if (at == nullptr) return;
        size_t index = static_cast<size_t>(static_cast<const unsigned char*>(at) - bytes);
        Span span;
        if (AddressAt(bytes, text.size(), lastEnd, index, utf8, &span)) {
            if (!found(span)) return;
            from = lastEnd = span.end;
        } else {
            from = index + 1;
        }
    }
}

}  // namespace

size_t FindMailto(std::string_view text, size_t from) {
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
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = from + 5; i < text.size(); i += shifts.by[bytes[i]]) {
        if (Lower(bytes[i]) == 'o' && Lower(bytes[i - 5]) == 'm' && Lower(bytes[i - 4]) == 'a' &&
            Lower(bytes[i - 3]) == 'i' && Lower(bytes[i - 2]) == 'l' && Lower(bytes[i - 1]) == 't') {
            return i - 5;
        }
    }
    return std::string_view::npos;
}

namespace {

const char kWord[] = "mailto";

// The character of a numeric character reference at `at` ("&#109;",
// "&#x6D", leading zeros and all; the ";" may be missing, as browsers
// allow), 0 when none stands there; `length` is the reference's.
unsigned char NumericReference(std::string_view text, size_t at, size_t* length) {
    size_t i = at + 2;
    if (text.substr(at, 2) != "&#") return 0;
    const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    i += hex ? 1 : 0;
    unsigned long value = 0;
    const size_t digits = i;
    for (; i < text.size(); ++i) {
        const unsigned char c = Lower(static_cast<unsigned char>(text[i]));
        const int digit = IsDigit(c) ? c - '0' : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) break;
        if (value < 0x110000) value = value * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
    }
    if (i == digits || value > 127) return 0;
    *length = i - at + (i < text.size() && text[i] == ';' ? 1 : 0);
    return static_cast<unsigned char>(value);
}

// The letter at `at`, plain or as a reference, if it is kWord[k] in any case.
bool LetterAt(std::string_view text, size_t* at, size_t k) {
    if (*at >= text.size()) return false;
    size_t length = 1;
    unsigned char c = static_cast<unsigned char>(text[*at]);
    if (c == '&' && (c = NumericReference(text, *at, &length)) == 0) return false;
    if (Lower(c) != static_cast<unsigned char>(kWord[k])) return false;
    *at += length;
    return true;
}

// True when `start` begins the value of an href attribute: href, "=" and
// an optional quote before it, with any blanks between.
bool StartsHrefValue(std::string_view text, size_t start) {
    size_t i = start;
    const auto skipBlanks = [&] {
        while (i > 0 && (text[i - 1] == ' ' || text[i - 1] == '\t' || text[i - 1] == '\n' || text[i - 1] == '\r' ||
                         text[i - 1] == '\f')) {
            --i;
        }
    };
    skipBlanks();
    if (i > 0 && (text[i - 1] == '"' || text[i - 1] == '\'')) --i;
    skipBlanks();
    if (i == 0 || text[--i] != '=') return false;
    skipBlanks();
    return i >= 4 && Lower(static_cast<unsigned char>(text[i - 4])) == 'h' &&
           Lower(static_cast<unsigned char>(text[i - 3])) == 'r' && Lower(static_cast<unsigned char>(text[i - 2])) == 'e' &&
           Lower(static_cast<unsigned char>(text[i - 1])) == 'f';
}

// "mailto" with at least one letter as a reference, where it begins an
// href (elsewhere, as in the code's own hidden attributes, it is no link).
// The first such letter has only plain letters before it, so each
// reference is tried as that one: the letters before it plain, those after
// it either way.
bool HasMailtoInReferences(std::string_view text) {
    for (size_t from = 0; from < text.size();) {
        const void* found = memchr(text.data() + from, '&', text.size() - from);
        if (found == nullptr) return false;
        size_t at = static_cast<size_t>(static_cast<const char*>(found) - text.data());
        from = at + 1;
        size_t length;
        const unsigned char c = Lower(NumericReference(text, at, &length));
        const char* letter = c != 0 ? strchr(kWord, c) : nullptr;
        if (letter == nullptr) continue;
        const size_t k = static_cast<size_t>(letter - kWord);
        if (at < k) continue;
        const size_t start = at - k;
        size_t back = start, j = 0;
        while (j < k && LetterAt(text, &back, j)) ++j;
        if (j < k || back != at) continue;
        for (j = k; j < 6 && LetterAt(text, &at, j); ++j) {
        }
        if (j == 6 && StartsHrefValue(text, start)) return true;
    }
    return false;
}

}  // namespace

bool HasMailto(std::string_view text) {
    // The anchor of the code's own NOSCRIPT part is never taken: a page
    // whose every "mailto" stands there has been protected already. In a
    // page's form the anchor follows the NOSCRIPT start directly, and its
    // address is references (or empty), as the parse's rule reads it too.
    const std::string_view noScript = kMailCodeNoScriptStart, anchor = kMailCodeAnchorStart;
    const std::string_view reference = kMailCodeReferenceStart;
    const size_t into = noScript.size() + FindMailto(anchor, 0);
    for (size_t at = 0; (at = FindMailto(text, at)) != std::string_view::npos; ++at) {
        const size_t start = at - into, address = start + noScript.size() + anchor.size();
        const bool own = at >= into && text.substr(start, noScript.size()) == noScript &&
                         text.substr(start + noScript.size(), anchor.size()) == anchor &&
                         (text.substr(address, reference.size()) == reference || text.substr(address, 1) == "\"");
        if (!own) return true;
    }
    return HasMailtoInReferences(text);
}

std::vector<Span> FindAddresses(std::string_view text, Letters letters) {
    std::vector<Span> spans;
    ScanAddresses(text, letters == Letters::kUtf8, [&](const Span& span) {
        spans.push_back(span);
        return true;
    });
    return spans;
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
