// Protects the mailto links of whole HTML pages and finds addresses that still stand readable in them.
#ifndef QUORVANE_SITE_H
#define QUORVANE_SITE_H

#include <stddef.h>

#include <string>
#include <string_view>
#include <vector>

namespace site {

// One anchor or page left as it was, and why; line counts from 1.
struct Listed {
    size_t line;
    std::string reason;
};

struct ProtectResult {
    // The page to write: the input with each taken anchor replaced by the
    // mail code. Equal to the input when nothing was taken.
    std::string output;
    // Anchors replaced by the mail code.
    size_t rewritten = 0;
    // True when the whole page was left alone (its reason is in `listed`).
    bool pageLeft = false;
    std::vector<Listed> listed;
};

// Rewrites the mailto anchors of one page of HTML (the bytes of a *.html or
// *.htm file). Never fails: what it cannot take it lists.
ProtectResult ProtectPage(std::string_view page);

// An e-mail address readable in the page's raw bytes.
struct Finding {
    size_t line;
    std::string where;    // "text", "attribute href", "script", "comment", ...
    std::string address;  // the address as it stands
};

std::vector<Finding> CheckPage(std::string_view page);

}  // namespace site

#endif
