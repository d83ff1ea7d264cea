// ASCII letter case and blanks for texts in any byte encoding: bytes above 127 are never letters or blanks here.
#ifndef QUORVANE_ASCII_H
#define QUORVANE_ASCII_H

#include <stddef.h>

#include <string>
#include <string_view>

namespace ascii {

inline char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }
inline bool IsLetter(char c) { return Lower(c) >= 'a' && Lower(c) <= 'z'; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// The same for scans that read their bytes as unsigned.
inline unsigned char Lower(unsigned char c) { return static_cast<unsigned char>(Lower(static_cast<char>(c))); }
inline bool IsLetter(unsigned char c) { return IsLetter(static_cast<char>(c)); }
inline bool IsDigit(unsigned char c) { return IsDigit(static_cast<char>(c)); }
inline bool IsAlphanumeric(char c) { return IsLetter(c) || IsDigit(c); }
inline bool IsHexDigit(char c) { return IsDigit(c) || (Lower(c) >= 'a' && Lower(c) <= 'f'); }
// The blanks of HTML: space, tab, LF, FF and CR.
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// `lower` must be in lower case; `text` may be in any.
inline bool EqualsNoCase(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (Lower(text[i]) != lower[i]) return false;
    }
    return true;
}
inline bool StartsWithNoCase(std::string_view text, std::string_view lower) {
    return text.size() >= lower.size() && EqualsNoCase(text.substr(0, lower.size()), lower);
}
inline bool EndsWithNoCase(std::string_view text, std::string_view lower) {
    return text.size() >= lower.size() && EqualsNoCase(text.substr(text.size() - lower.size()), lower);
}

inline std::string Lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = Lower(c);
    return out;
}

// A text from a page for a line of the listing: every byte outside printable
// ASCII becomes "?", so that none can break the line or forge another.
inline std::string Printable(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c < ' ' || c > '~') c = '?';
    }
    return out;
}

inline std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace ascii

#endif
