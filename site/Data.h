// The readers of the data files a site publishes beside its pages, JSON and XML: where their values stand, so that an address in one can be written otherwise and read the same.
#ifndef QUORVANE_SITE_DATA_H
#define QUORVANE_SITE_DATA_H

#include <stddef.h>

#include <string>
#include <string_view>
#include <vector>

#include "Scan.h"

namespace site {

// Where each string of a JSON text stands, its bytes between the quotes, in
// order. Empty, with `problem` set, when the text is not JSON (RFC 8259;
// a UTF-8 byte-order mark is allowed, as readers take it).
std::vector<Span> JsonStrings(std::string_view text, std::string* problem);

// A part of an XML document whose bytes are a value: character data,
// CDATA content or an attribute value; or where no escape can go.
struct XmlPart {
    enum Kind { kText, kCData, kAttribute, kComment, kInstruction } kind;
    size_t begin;
    size_t end;
};

struct XmlDocument {
    std::vector<XmlPart> parts;  // in document order
    std::string root;            // the root element's name
};

// Reads a well-formed XML document without a DTD of its own, in UTF-8 or an
// ASCII-compatible charset. False, with `problem` set, when it is not one.
bool ReadXml(std::string_view text, XmlDocument* document, std::string* problem);

}  // namespace site

#endif
