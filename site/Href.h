// A mailto href read as a browser reads it: its addresses, percent-decoded, and the tail after them, ready for the code.
#ifndef QUORVANE_SITE_HREF_H
#define QUORVANE_SITE_HREF_H

#include <string>
#include <string_view>

namespace site {

struct MailtoHref {
    // One address, or several joined by commas, each with one "@" and only
    // bytes that the code carries.
    std::string addresses;
    // "?..." or "#..." after them, in ASCII: what the browser would
    // percent-encode (blanks, quotes, "<", ">", controls, bytes above 127)
    // comes percent-encoded already, so the URL reads the same.
    std::string tail;
};

// True when the href names the mailto scheme, as a URL parser reads it.
bool IsMailtoHref(std::string_view decodedHref);

// Reads `decodedHref` (the attribute's value, character references
// decoded, in UTF-8) as the URL parser does: tabs and line breaks dropped,
// blanks and controls trimmed; the addresses before "?" or "#" are
// percent-decoded (RFC 6068). Empty when it can be carried; else the reason
// it cannot, as the listing line says it.
std::string ReadMailtoHref(std::string_view decodedHref, MailtoHref* href);

}  // namespace site

#endif
