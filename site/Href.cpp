// Takes a mailto href apart into its addresses and its tail, the way a browser's URL parser and a mail program read it.
#include "Href.h"

#include <algorithm>

#include "Ascii.h"
#include "Site.h"

namespace site {

namespace {

// The URL parser drops every tab and line break, then trims C0 controls and spaces from both ends.
std::string Cleaned(std::string_view href) {
    std::string out;
    for (char c : href) {
        if (c != '\t' && c != '\n' && c != '\r') out.push_back(c);
    }
    size_t begin = 0, end = out.size();
    while (begin < end && static_cast<unsigned char>(out[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(out[end - 1]) <= ' ') --end;
    return out.substr(begin, end - begin);
}

int HexValue(char c) {
    if (ascii::IsDigit(c)) return c - '0';
    return ascii::Lower(c) - 'a' + 10;
}

std::string PercentDecoded(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && ascii::IsHexDigit(text[i + 1]) && ascii::IsHexDigit(text[i + 2])) {
            out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// Bytes an address may hold in the code: printable ASCII but for blanks,
// quotes, "<", ">", "&" and the backtick, which would end or change the
// attribute the script writes; "%", which a mail program would decode
// once more; "?" and "#", which end the address part.
bool CarriedInAddress(char c) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b <= ' ' || b >= 127) return false;
    switch (c) {
        case '"': case '\'': case '<': case '>': case '&': case '`': case '%': case '?': case '#':
            return false;
        default:
            return true;
    }
}

// The tail with what the URL parser percent-encodes in a query or fragment
// written so already; "&" and the rest stay as they are.
std::string TailAsUrl(std::string_view tail) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : tail) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b <= ' ' || b >= 127 || c == '"' || c == '<' || c == '>') {
            out.push_back('%');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 15]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace

bool IsMailtoHref(std::string_view decodedHref) { return ascii::StartsWithNoCase(Cleaned(decodedHref), "mailto:"); }

std::string ReadMailtoHref(std::string_view decodedHref, MailtoHref* href) {
    const std::string cleaned = Cleaned(decodedHref);
    const std::string_view rest = std::string_view(cleaned).substr(7);  // after "mailto:"
    const size_t tailStart = rest.find_first_of("?#");
    const std::string addresses = PercentDecoded(rest.substr(0, tailStart));
    if (addresses.empty()) return "no address before the query: the code needs one";
    if (static_cast<size_t>(std::count(addresses.begin(), addresses.end(), ',')) >= kMaxHrefAddresses) {
        return "more than " + std::to_string(kMaxHrefAddresses) + " addresses in its href";
    }
    size_t from = 0;
    for (;;) {
        const size_t comma = addresses.find(',', from);
        const std::string_view one = std::string_view(addresses).substr(from, comma - from);
        size_t ats = 0;
        for (char c : one) {
            if (c == '@') {
                ++ats;
            } else if (!CarriedInAddress(c)) {
                return "bytes in the address that the code cannot carry";
            }
        }
        if (ats != 1 || one.front() == '@' || one.back() == '@') return "not one address with one \"@\"";
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    href->addresses = addresses;
    href->tail = tailStart == std::string_view::npos ? std::string() : TailAsUrl(rest.substr(tailStart));
    return std::string();
}

}  // namespace site
