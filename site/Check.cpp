// Finds the addresses that stand readable in a page's bytes, and names the part of the page each stands in.
#include <algorithm>

#include "Ascii.h"
#include "Check.h"
#include "PageRules.h"
#include "Parse.h"
#include "Scan.h"
#include "Site.h"
#include "Tree.h"

namespace site {

namespace {

std::string TextPlace(const GumboNode* parent) {
    if (IsHtml(parent, GUMBO_TAG_SCRIPT)) {
        const char* type = AttributeValue(parent, "type");
        return type != nullptr && ascii::Lowered(ascii::Trim(type)) == "application/ld+json" ? "JSON-LD" : "script";
    }
    if (IsHtml(parent, GUMBO_TAG_STYLE)) return "style";
    if (IsHtml(parent, GUMBO_TAG_TITLE)) return "title";
    if (IsHtml(parent, GUMBO_TAG_TEXTAREA)) return "textarea";
    return "text";
}

std::string TagName(const GumboElement& element) {
    const char* name = gumbo_normalized_tagname(element.tag);
    if (*name != '\0') return name;
    std::string_view tag = Piece(element.original_tag);  // "<name ..."
    size_t end = 1;
    while (end < tag.size() && !ascii::IsBlank(tag[end]) && tag[end] != '>' && tag[end] != '/') ++end;
    return ascii::Printable(ascii::Lowered(tag.substr(1, end - 1)));
}

// Names the part of the page that each address starts in. The walk visits
// every node once and looks its source span up among the few addresses;
// an attribute value names itself over the tag around it.
void Place(const Parse& parse, const std::vector<Span>& addresses, std::vector<std::string>* where) {
    const auto mark = [&](size_t begin, size_t length, const auto& name) {
        auto it = std::lower_bound(addresses.begin(), addresses.end(), begin,
                                   [](const Span& span, size_t value) { return span.begin < value; });
        for (; it != addresses.end() && it->begin < begin + length; ++it) {
            (*where)[static_cast<size_t>(it - addresses.begin())] = name();
        }
    };
    Walk(parse.Root(), [&](const GumboNode* node) {
        if (node->type == GUMBO_NODE_DOCUMENT) return true;
        if (IsElement(node)) {
            const GumboElement& element = node->v.element;
            if (element.original_tag.length != 0) {
                mark(parse.Offset(element.original_tag.data), element.original_tag.length,
                     [&] { return "tag <" + TagName(element) + ">"; });
            }
            if (element.original_end_tag.length != 0) {
                mark(parse.Offset(element.original_end_tag.data), element.original_end_tag.length,
                     [&] { return "tag </" + TagName(element) + ">"; });
            }
            for (unsigned i = 0; i < element.attributes.length; ++i) {
                const GumboAttribute* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
                if (attribute->original_value.length == 0) continue;
                mark(parse.Offset(attribute->original_value.data), attribute->original_value.length,
                     [&] { return "attribute " + ascii::Printable(attribute->name); });
            }
            return true;
        }
        if (node->v.text.original_text.length != 0) {
            mark(parse.Offset(node->v.text.original_text.data), node->v.text.original_text.length, [&] {
                return node->type == GUMBO_NODE_COMMENT ? std::string("comment") : TextPlace(node->parent);
            });
        }
        return false;
    });
}

}  // namespace

std::vector<Placed> PlaceAddresses(const std::vector<Span>& addresses, const Parse* parse) {
    std::vector<Placed> placed;
    if (addresses.empty()) return placed;
    const bool parsed = parse != nullptr && parse->Root() != nullptr;
    std::vector<std::string> where(addresses.size(), parsed ? "markup" : "page past the parser's limits");
    if (parsed) Place(*parse, addresses, &where);
    for (size_t i = 0; i < addresses.size(); ++i) placed.push_back({addresses[i], std::move(where[i])});
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
    const Mark mark = ByteOrderMark(page);
    if (mark.charset == Charset::kUtf16 || mark.charset == Charset::kUtf32) {
        return CheckPage(WideToUtf8(page.substr(mark.length), mark));
    }
    const std::vector<Span> addresses = FindAddresses(page);
    if (addresses.empty()) return std::vector<Finding>();
    Parse parse(page);
    return Findings(page, PlaceAddresses(addresses, &parse));
}

}  // namespace site
