// Where readable addresses stand in a page: for --check, and for what --protect leaves readable.
#ifndef QUORVANE_SITE_CHECK_H
#define QUORVANE_SITE_CHECK_H

#include <string>
#include <string_view>
#include <vector>

#include "Scan.h"
#include "Site.h"

namespace site {

struct Placed {
    Span span;
    std::string where;  // "text", "attribute href", "script", ...
};

// The addresses readable in the page with the part of it that each stands
// in, read by the stream reader (ReadPageAddresses).
std::vector<Placed> PlaceAddresses(std::string_view page);

// The placed addresses as findings, with their line numbers in `text`.
std::vector<Finding> Findings(std::string_view text, std::vector<Placed> placed);

}  // namespace site

#endif
