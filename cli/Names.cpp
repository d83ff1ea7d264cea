// Quotes file names for the listing, so that a name holding a newline or ":1: " cannot pass for lines of its own.
#include "Names.h"

namespace names {

namespace {

#ifdef _WIN32
// Windows names cannot hold either: here they are the drive's colon and the separator.
const bool kSlashAndColonPlain = true;
#else
const bool kSlashAndColonPlain = false;
#endif

// Length of the well-formed UTF-8 character at `at` (no overlong forms, no
// surrogates, nothing past U+10FFFF), 0 when the bytes there are not one.
size_t Utf8Length(std::string_view s, size_t at) {
    const unsigned char lead = static_cast<unsigned char>(s[at]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                  : lead >= 0xF0 && lead <= 0xF4  ? 4 : 0;
    if (length == 0 || at + length > s.size()) return 0;
    const unsigned char second = length > 1 ? static_cast<unsigned char>(s[at + 1]) : 0;
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F)) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(s[at + i]) & 0xC0) != 0x80) return 0;
    }
    return length;
}

bool Special(unsigned char c) {
    return c < 0x20 || c == 0x7F || c == '"' || (!kSlashAndColonPlain && (c == '\\' || c == ':'));
}

}  // namespace

std::string Shown(std::string_view name) {
    bool plain = true;
    for (size_t i = 0; plain && i < name.size();) {
        const size_t length = Utf8Length(name, i);
        plain = length != 0 && !Special(static_cast<unsigned char>(name[i]));
        i += length;
    }
    if (plain) return std::string(name);

    std::string out = "\"";
    for (size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const size_t length = Utf8Length(name, i);
        if (length > 1) {
            out.append(name.substr(i, length));
            i += length;
            continue;
        }
        ++i;
        static const char kLetters[] = "abtnvfr";
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= '\a' && c <= '\r') {
            out += '\\';
            out += kLetters[c - '\a'];
        } else if (length == 0 || c < 0x20 || c == 0x7F) {
            out += '\\';
            out += static_cast<char>('0' + (c >> 6));
            out += static_cast<char>('0' + ((c >> 3) & 7));
            out += static_cast<char>('0' + (c & 7));
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace names
