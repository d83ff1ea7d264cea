// Character references decoded by the tokenizer's rules: numeric ones with their replacements, named ones by the longest match.
#include "CharacterReferences.h"

#include "NamedReferences.h"

namespace site {
namespace {

bool IsAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// What 0x80-0x9F read as: the windows-1252 characters that legacy pages meant by them; 0 where none.
const unsigned short kWindows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

}  // namespace

void AppendUtf8(std::string* out, unsigned long code) {
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

size_t NumericReferenceAt(std::string_view text, unsigned long* code, bool* terminated) {
    const bool hex = !text.empty() && (text[0] == 'x' || text[0] == 'X');
    size_t i = hex ? 1 : 0;
    const size_t digitsBegin = i;
    unsigned long value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else break;
        // Past U+10FFFF the value only needs to stay past it.
        value = value > 0x10FFFF ? value : value * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
    }
    if (i == digitsBegin) return 0;
    *terminated = i < text.size() && text[i] == ';';
    if (*terminated) ++i;
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) value = 0xFFFD;
    else if (value >= 0x80 && value <= 0x9F && kWindows1252[value - 0x80] != 0) value = kWindows1252[value - 0x80];
    *code = value;
    return i;
}

size_t NamedReferenceAt(std::string_view text, unsigned long* first, unsigned long* second) {
    size_t run = 0;
    while (run < text.size() && run < 32 && IsAlnum(text[run])) ++run;
    if (run < text.size() && text[run] == ';' && run < 32) ++run;
    for (size_t length = run; length >= 2; --length) {
        const std::string_view name = text.substr(0, length);
        size_t low = 0, high = kNamedReferenceCount;
        while (low < high) {
            const size_t middle = (low + high) / 2;
            const int order = name.compare(kNamedReferences[middle].name);
            if (order == 0) {
                *first = kNamedReferences[middle].first;
                *second = kNamedReferences[middle].second;
                return length;
            }
            if (order < 0) high = middle;
            else low = middle + 1;
        }
    }
    return 0;
}

void DecodeReferences(std::string_view raw, ReferenceContext context, std::string* out) {
    size_t copied = 0;
    for (size_t amp = raw.find('&'); amp != std::string_view::npos; amp = raw.find('&', amp + 1)) {
        size_t length = 0;
        unsigned long first = 0, second = 0;
        if (amp + 1 < raw.size() && raw[amp + 1] == '#') {
            bool terminated = false;
            length = NumericReferenceAt(raw.substr(amp + 2), &first, &terminated);
            if (length != 0) length += 2;
        } else if (const size_t nameLength = NamedReferenceAt(raw.substr(amp + 1), &first, &second)) {
            const size_t after = amp + 1 + nameLength;
            const bool legacy = raw[after - 1] != ';';
            if (!(legacy && context == ReferenceContext::kAttribute && after < raw.size() &&
                  (raw[after] == '=' || IsAlnum(raw[after])))) {
                length = nameLength + 1;
            }
        }
        if (length == 0) continue;
        out->append(raw.substr(copied, amp - copied));
        AppendUtf8(out, first);
        if (second != 0) AppendUtf8(out, second);
        copied = amp + length;
        amp = copied - 1;
    }
    out->append(raw.substr(copied));
}

}  // namespace site
