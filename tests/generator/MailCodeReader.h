// Readers of the generated code that take it apart as a browser does: shared by the unit tests and the fuzz target.
#ifndef QUORVANE_MAILCODEREADER_H
#define QUORVANE_MAILCODEREADER_H

#include <cstdlib>
#include <string>

// Reads the double-quoted JavaScript string literal that starts at text[pos],
// as a script engine would. On success `value` holds the string and `pos`
// points just past the closing quote. Fails on a literal that does not end on
// its own line (a raw CR or LF, or no closing quote) and on escapes other than
// \\ \" \r \n and \xHH: the generator writes no others, and decoding them
// wrongly here would hide a fault. With a lead-byte test the text is read as
// a browser decodes a double-byte code page first: a lead byte takes the
// byte after it as its trail byte when that is 0x40 or above.
inline bool ReadJsString(const std::string& text, size_t& pos, std::string& value,
                         bool (*isLeadByte)(unsigned char) = nullptr) {
    if (pos >= text.size() || text[pos] != '"') return false;
    value.clear();
    for (size_t i = pos + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c == '\r' || c == '\n') return false;
        if (isLeadByte && isLeadByte(static_cast<unsigned char>(c)) && i + 1 < text.size() &&
            static_cast<unsigned char>(text[i + 1]) >= 0x40) {
            value += text.substr(i++, 2);
            continue;
        }
        if (c != '\\') {
            value += c;
            continue;
        }
        if (++i == text.size()) return false;
        switch (text[i]) {
            case '\\': value += '\\'; break;
            case '"': value += '"'; break;
            case 'r': value += '\r'; break;
            case 'n': value += '\n'; break;
            case 'x': {
                std::string hex = text.substr(i + 1, 2);
                if (hex.size() != 2 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
                value += static_cast<char>(std::strtol(hex.c_str(), nullptr, 16));
                i += 2;
                break;
            }
            default: return false;
        }
    }
    return false;
}

// Decodes a run of "&#NNN;" decimal character references to bytes, the way an
// HTML parser reads them. Fails on anything else in the run, on values above
// 255 and on leading zeros.
inline bool DecodeReferences(const std::string& refs, std::string& out) {
    out.clear();
    size_t pos = 0;
    while (pos < refs.size()) {
        size_t semi = refs.find(';', pos);
        if (refs.compare(pos, 2, "&#") != 0 || semi == std::string::npos) return false;
        std::string digits = refs.substr(pos + 2, semi - pos - 2);
        if (digits.empty() || digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos ||
            (digits[0] == '0' && digits.size() > 1)) {
            return false;
        }
        int value = std::atoi(digits.c_str());
        if (value > 255) return false;
        out += static_cast<char>(value);
        pos = semi + 1;
    }
    return true;
}

#endif
