// Where readable addresses stand in a page: for --check, and for what --protect leaves readable.
#ifndef QUORVANE_SITE_CHECK_H
#define QUORVANE_SITE_CHECK_H

#include <string>
#include <string_view>
#include <vector>

#include "Scan.h"
#include "Site.h"

namespace site {

class Parse;

struct Placed {
    Span span;
    std::string where;  // "text", "attribute href", "script", ...
};

// The addresses readable in the page (FindAddresses) with the part of it
// that each stands in, by the page's parse; without one (a page past the
// parser's caps) the part is not named.
std::vector<Placed> PlaceAddresses(const std::vector<Span>& addresses, const Parse* parse);

// The placed addresses as findings, with their line numbers in `text`.
std::vector<Finding> Findings(std::string_view text, std::vector<Placed> placed);

}  // namespace site

#endif
