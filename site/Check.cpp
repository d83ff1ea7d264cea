// Finds the addresses that stand readable in a page's bytes, and names the part of the page each stands in.
#include <string.h>

#include <algorithm>

#include "Check.h"
#include "PageRules.h"
#include "Places.h"
#include "Scan.h"
#include "Site.h"

namespace site {

std::vector<Placed> PlaceAddresses(std::string_view page) {
    std::vector<Placed> placed;
    if (memchr(page.data(), '@', page.size()) == nullptr) return placed;
    // Most pages with an "@" hold no address: they are not read further.
    const std::vector<Span> addresses = FindAddresses(page);
    if (addresses.empty()) return placed;
    PageReading reading;
    ReadPageAddresses(page, addresses, &reading);
    for (PlacedAddress& a : reading.addresses) placed.push_back({a.span, std::move(a.where)});
    return placed;
}

std::vector<Finding> Findings(std::string_view text, std::vector<Placed> placed) {
    std::vector<Finding> findings;
    LineCounter lines(text);
    for (Placed& p : placed) {
        findings.push_back({lines.LineAt(p.span.begin), std::move(p.where),
                            std::string(text.substr(p.span.begin, p.span.end - p.span.begin))});
    }
    return findings;
}

std::vector<Finding> CheckPage(std::string_view page) {
    // A page in UTF-16 or UTF-32 is searched in its own encoding, read as UTF-8.
    std::string decoded;
    const char* wide;
    ReadableText(page, &decoded, &wide);
    if (wide != nullptr) return CheckPage(decoded);
    return Findings(page, PlaceAddresses(page));
}

}  // namespace site
