// Where each readable address of a page stands, read in one pass of the page reader: whether references can hide it there, and what the page declares.
#ifndef QUORVANE_SITE_PLACES_H
#define QUORVANE_SITE_PLACES_H

#include <stddef.h>

#include <string>
#include <string_view>
#include <vector>

#include "PageRules.h"
#include "Scan.h"

namespace site {

// What can be done for an address where it stands.
enum class Fate {
    kHide,      // text, RCDATA or an attribute value: the parser decodes references there
    kRaw,       // a script, a style sheet, a comment, a tag's name: read as it stands
    kOptOut,    // between <!--email_off--> and <!--/email_off-->
    kInexact,   // after SVG or MathML markup that the reader cannot follow as a browser does
    kOwnCode,   // the NOSCRIPT anchor of the mail code, hidden already
    kJson,      // in a string of a JSON script block (JSON-LD): its "@" can be written \u0040
};

struct PlacedAddress {
    Span span;
    std::string where;  // "text", "attribute href", "script", "JSON-LD", "comment", ...
    Fate fate;
    size_t place;       // which place (text run or attribute value) it stands in
};

// "mailto:" where references can hide it.
struct PlacedWord {
    Span span;
    size_t place;
};

struct PageReading {
    std::vector<PlacedAddress> addresses;  // in page order
    std::vector<PlacedWord> mailtos;       // in page order
    // The places that are the href of an <a> (HTML or SVG), sorted.
    std::vector<size_t> anchorHrefs;
    // The first charset a meta element declares.
    Charset charset = Charset::kUndeclared;
    std::string charsetName;
    size_t charsetOffset = 0;
    // The first Content-Security-Policy meta that stops an inline script.
    bool policyForbids = false;
    size_t policyOffset = 0;
    // What makes a page load its next pages by script: the mark and where it stands.
    std::string instantNavigation;
    size_t instantNavigationOffset = 0;
    // Pairs of attributes in one tag, summed over the tags: what a parser
    // that looks for duplicate names compares.
    unsigned long long attributePairs = 0;
    bool IsAnchorHref(size_t place) const;
};

// Reads the page once and places each of `addresses` (FindAddresses of the
// page, or of its text as decoded from UTF-16 or UTF-32).
void ReadPlaces(std::string_view page, const std::vector<Span>& addresses, PageReading* reading);

// In a page whose charset has double-byte characters whose second byte can
// be a letter or a digit (Shift_JIS, Big5, GBK, GB18030, EUC-KR), or whose
// charset is not declared and whose bytes are not UTF-8: an address right
// after a byte above 127 starts one byte later, since its first letter may be
// the second byte of that character. Addresses left with no local part go.
bool DoubleByteRisk(std::string_view page, Charset charset);
void TrimAfterHighBytes(std::string_view page, std::vector<PlacedAddress>* addresses);

// Every readable address of the page, placed: with UTF-8 letters, but for a
// page with that double-byte risk, where an address is ASCII only and trimmed
// as above.
void ReadPageAddresses(std::string_view page, PageReading* reading);
// The same, given FindAddresses(page) found already.
void ReadPageAddresses(std::string_view page, const std::vector<Span>& addresses, PageReading* reading);

}  // namespace site

#endif
