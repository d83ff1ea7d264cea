// Quotes file names for the listing, so that a name holding a newline or ":1: " cannot pass for lines of its own.
#include "Names.h"

#include <algorithm>

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

// A character above ASCII that a terminal may take as a control: C1
// controls, the line and paragraph separators, the bidirectional controls
// (which can show a line's parts in another order).
bool ControlAbove(std::string_view s, size_t at, size_t length) {
    unsigned long c = static_cast<unsigned char>(s[at]) & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) c = (c << 6) | (static_cast<unsigned char>(s[at + i]) & 0x3F);
    return (c >= 0x80 && c <= 0x9F) || (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E ||
           c == 0x200F || c == 0x061C;
}

// Length of the character at `at` when it may stand as it is in a name, 0 when not.
size_t PlainLength(std::string_view s, size_t at) {
    const size_t length = Utf8Length(s, at);
    if (length > 1) return ControlAbove(s, at, length) ? 0 : length;
    const unsigned char c = static_cast<unsigned char>(s[at]);
    const bool special = length == 0 || c < 0x20 || c == 0x7F || c == '"' ||
                         (!kSlashAndColonPlain && (c == '\\' || c == ':'));
    return special ? 0 : 1;
}

void Octal(unsigned char c, std::string& out) {
    out += '\\';
    out += static_cast<char>('0' + (c >> 6));
    out += static_cast<char>('0' + ((c >> 3) & 7));
    out += static_cast<char>('0' + (c & 7));
}

}  // namespace

std::string Shown(std::string_view name) {
    size_t plain = 0;
    for (size_t length; plain < name.size() && (length = PlainLength(name, plain)) != 0;) plain += length;
    if (plain == name.size()) return std::string(name);

    std::string out = "\"";
    for (size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const size_t length = PlainLength(name, i);
        static const char kLetters[] = "abtnvfr";
        if (length != 0 || c == ':' || c == '\\' || c == '"') {
            if (c == '\\' || c == '"') out += '\\';
            const size_t n = length ? length : 1;
            out.append(name.substr(i, n));
            i += n;
        } else if (c >= '\a' && c <= '\r') {
            out += '\\';
            out += kLetters[c - '\a'];
            ++i;
        } else {
            // A byte that is not UTF-8, or every byte of a control character.
            const size_t n = std::max<size_t>(Utf8Length(name, i), 1);
            for (size_t k = 0; k < n; ++k) Octal(static_cast<unsigned char>(name[i + k]), out);
            i += n;
        }
    }
    return out + "\"";
}

}  // namespace names
