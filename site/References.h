// The default form of --protect: addresses and "mailto:" written as character references where the parser decodes them.
#ifndef QUORVANE_SITE_REFERENCES_H
#define QUORVANE_SITE_REFERENCES_H

#include <string_view>

#include "Site.h"

namespace site {

// Fills `result` (output only when something changed; listed offsets, not
// lines yet) for one page.
void ProtectWithReferences(std::string_view page, const ProtectOptions& options, ProtectResult* result);

// True when an href as the page writes it (quotes and all) starts with
// "mailto:" written as decimal references, in any letter case, as the
// default form writes it: such a link is protected already.
bool StartsWithMailtoReferences(std::string_view raw);

}  // namespace site

#endif
