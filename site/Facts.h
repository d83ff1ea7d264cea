// What one walk over a parsed page gathers for the rules: its declarations, its mailto anchors and the regions that bear on them.
#ifndef QUORVANE_SITE_FACTS_H
#define QUORVANE_SITE_FACTS_H

#include <stddef.h>

#include <string>
#include <string_view>
#include <vector>

#include "PageRules.h"
#include "Scan.h"
#include "gumbo.h"

namespace site {

class Parse;

// An <a> whose href, as a browser reads it, names the mailto scheme.
struct MailtoAnchor {
    const GumboNode* node;
    size_t start;  // its "<a" in the page
    // What keeps it out of the page's ordinary content, or null.
    const char* excludedBy;
    // Inside a <noscript>, by the tree or by where a browser with scripts
    // ends the noscript's text.
    bool inNoScript;
};

struct PageFacts {
    // The first charset the page declares in a meta element.
    Charset charset = Charset::kUndeclared;
    std::string charsetName;
    size_t charsetOffset = 0;
    // The first Content-Security-Policy meta that stops the code's script.
    bool policyForbids = false;
    size_t policyOffset = 0;

    std::vector<MailtoAnchor> anchors;  // in tree order
    // Between <!--email_off--> and <!--/email_off-->; in page order, apart.
    std::vector<Span> optOut;
    // The text of each <noscript> as a browser with scripts reads it: from
    // its start tag to the next "</noscript"; sorted by start.
    std::vector<Span> noScriptText;
    // Where the parser closed an <a> left open, because another began there; sorted.
    std::vector<size_t> anchorsClosedAt;
    // Each part of the page that became a node: start tags, end tags, texts
    // and comments; sorted by start. Bytes outside them the parser dropped,
    // and so are tags inside a text where markup counts: gumbo joins the
    // text around a tag it drops into one node.
    struct Part {
        size_t begin;
        size_t end;
        bool markupText;  // text in which a "<" followed by a letter would start a tag
    };
    std::vector<Part> parsed;

    bool InOptOut(size_t offset) const;
    bool InNoScriptText(size_t offset) const;
    bool ClosesOpenAnchor(size_t offset) const;
    // The part that holds the offset, or null.
    const Part* PartAt(size_t offset) const;
};

// One walk over the tree; every lookup after it takes a binary search.
void GatherFacts(const Parse& parse, std::string_view page, PageFacts* facts);

}  // namespace site

#endif
