// The rules for one mailto anchor: taken, with what its code carries, or left with the reason.
#ifndef QUORVANE_SITE_ANCHOR_H
#define QUORVANE_SITE_ANCHOR_H

#include <stddef.h>

#include <string>
#include <string_view>
#include <vector>

#include "Facts.h"
#include "Href.h"
#include "MailCode.h"

namespace site {

class Parse;

// What the code for a taken anchor is made of.
struct AnchorCode {
    size_t start = 0;  // the anchor's bytes in the page, start tag to end tag
    size_t end = 0;
    MailtoHref href;
    std::string linkText;
    // Views into the page's bytes (not the parse's), so that the parse can go first.
    std::vector<CarriedAttribute> attributes;
};

enum class Verdict { kTaken, kListed, kOwnCode };

struct Decision {
    Verdict verdict;
    std::string reason;  // for kListed
};

class AnchorRules {
public:
    // `utf8` says that the page's bytes are read as UTF-8 (or are all ASCII).
    AnchorRules(std::string_view page, const Parse& parse, const PageFacts& facts, bool utf8)
        : page_(page), parse_(parse), facts_(facts), utf8_(utf8) {}

    // The anchor's verdict; for kTaken, `code` holds what its code needs.
    Decision Decide(const MailtoAnchor& anchor, AnchorCode* code) const;

private:
    // Each rule returns the reason the anchor is left, or nothing.
    std::string Context(const MailtoAnchor& anchor, AnchorCode* code) const;
    std::string Shape(const MailtoAnchor& anchor, AnchorCode* code) const;
    std::string Content(const MailtoAnchor& anchor, AnchorCode* code) const;
    std::string Href(const MailtoAnchor& anchor, AnchorCode* code) const;
    std::string Attributes(const MailtoAnchor& anchor, AnchorCode* code) const;
    std::string LinkText(const MailtoAnchor& anchor, const AnchorCode& code) const;
    // The same bytes in the page, for a view into the parse's copy of it.
    std::string_view InPage(std::string_view inParse) const;

    std::string_view page_;
    const Parse& parse_;
    const PageFacts& facts_;
    bool utf8_;
};

}  // namespace site

#endif
