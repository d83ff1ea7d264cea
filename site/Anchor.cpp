// Decides for one mailto anchor, rule by rule, and gathers what its code carries.
#include "Anchor.h"

#include <string.h>

#include <algorithm>

#include "Ascii.h"
#include "Parse.h"
#include "References.h"
#include "Tree.h"

namespace site {

namespace {

// The code's own NOSCRIPT anchor, here or pasted from Crypt: never taken again.
bool IsOwnCode(const MailtoAnchor& anchor) {
    const std::string_view tag = Piece(anchor.node->v.element.original_tag);
    const std::string_view own = kMailCodeAnchorStart, reference = kMailCodeReferenceStart;
    return anchor.inNoScript && tag.substr(0, own.size()) == own &&
           (tag.substr(own.size(), reference.size()) == reference || tag.substr(own.size(), 1) == "\"");
}

// gumbo never sets its foster-parenting flag: an anchor placed before a
// table that comes after it in the page shows as a sibling that starts
// earlier than the anchor in the page but follows it in the tree.
bool MovedBeforeNextSibling(const Parse& parse, const MailtoAnchor& anchor) {
    const GumboNode* parent = anchor.node->parent;
    const GumboVector* siblings = parent != nullptr ? Children(parent) : nullptr;
    if (siblings == nullptr) return false;
    for (size_t i = anchor.node->index_within_parent + 1; i < siblings->length; ++i) {
        size_t start;
        if (SourceStart(parse, Child(*siblings, i), &start)) return start < anchor.start;
    }
    return false;
}

// The name in "<name ..." or "</name>".
std::string_view TagName(std::string_view tag) {
    size_t begin = tag.size() > 1 && tag[1] == '/' ? 2 : 1, end = begin;
    while (end < tag.size() && !ascii::IsBlank(tag[end]) && tag[end] != '/' && tag[end] != '>') ++end;
    return tag.substr(std::min(begin, tag.size()), end - std::min(begin, tag.size()));
}

bool ClosedByItsOwnEndTag(const GumboElement& element) {
    const std::string_view end = TagName(Piece(element.original_end_tag));
    return element.original_end_tag.length != 0 && ascii::EqualsNoCase(end, ascii::Lowered(TagName(Piece(element.original_tag))));
}

// An attribute name that reads the same wherever the code writes it.
bool IsPlainName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        if (!ascii::IsAlphanumeric(c) && c != '-' && c != '_' && c != ':' && c != '.') return false;
    }
    return true;
}

// The value as the page's bytes write it, without its quotes, read after
// the name as the tokenizer reads it (gumbo's own record of an unquoted
// value can start after a character reference in it).
std::string_view RawValue(std::string_view page, size_t nameEnd) {
    size_t i = nameEnd;
    while (i < page.size() && ascii::IsBlank(page[i])) ++i;
    if (i == page.size() || page[i] != '=') return std::string_view();
    ++i;
    while (i < page.size() && ascii::IsBlank(page[i])) ++i;
    if (i < page.size() && (page[i] == '"' || page[i] == '\'')) {
        const size_t close = page.find(page[i], i + 1);
        return page.substr(i + 1, (close == std::string_view::npos ? page.size() : close) - i - 1);
    }
    size_t end = i;
    while (end < page.size() && !ascii::IsBlank(page[end]) && page[end] != '>') ++end;
    return page.substr(i, end - i);
}

bool HoldsMailto(std::string_view text) {
    for (size_t at = 0; (at = text.find_first_of("mM", at)) != std::string_view::npos; ++at) {
        if (ascii::StartsWithNoCase(text.substr(at), "mailto")) return true;
    }
    return false;
}

// "<noscript" or "</noscript" in any letter case: in the code's NOSCRIPT
// block the first would nest another, the second end it early.
bool HoldsNoScriptMarkup(std::string_view content) {
    for (size_t at = 0; (at = content.find('<', at)) != std::string_view::npos; ++at) {
        std::string_view rest = content.substr(at + 1);
        if (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
        if (ascii::StartsWithNoCase(rest, "noscript")) return true;
    }
    return false;
}

}  // namespace

Decision AnchorRules::Decide(const MailtoAnchor& anchor, AnchorCode* code) const {
    if (IsOwnCode(anchor)) return {Verdict::kOwnCode, std::string()};
    // A link that the default form wrote: gumbo's record of an unquoted value can start after a reference in it.
    const GumboAttribute* href = gumbo_get_attribute(&anchor.node->v.element.attributes, "href");
    const std::string_view hrefName = href != nullptr ? InPage(Piece(href->original_name)) : std::string_view();
    if (!hrefName.empty() &&
        StartsWithMailtoReferences(RawValue(page_, static_cast<size_t>(hrefName.data() - page_.data()) + hrefName.size()))) {
        return {Verdict::kOwnCode, std::string()};
    }
    using Rule = std::string (AnchorRules::*)(const MailtoAnchor&, AnchorCode*) const;
    static const Rule kRules[] = {&AnchorRules::Context, &AnchorRules::Shape, &AnchorRules::Content,
                                  &AnchorRules::Href, &AnchorRules::Attributes};
    for (Rule rule : kRules) {
        std::string reason = (this->*rule)(anchor, code);
        if (!reason.empty()) return {Verdict::kListed, std::move(reason)};
    }
    code->linkText = LinkText(anchor, *code);
    return {Verdict::kTaken, std::string()};
}

// Where the anchor stands: in the page's ordinary content, and not opted out.
std::string AnchorRules::Context(const MailtoAnchor& anchor, AnchorCode*) const {
    if (anchor.excludedBy != nullptr) return std::string("not in the page's content: ") + anchor.excludedBy;
    if (anchor.inNoScript) return "inside a <noscript>: a readable link for visitors without scripts, where the code cannot go";
    if (facts_.InOptOut(anchor.start)) return "inside an <!--email_off--> region";
    return std::string();
}

// Built by the parser from its own start and end tag, where they stand.
std::string AnchorRules::Shape(const MailtoAnchor& anchor, AnchorCode* code) const {
    const GumboElement& element = anchor.node->v.element;
    if (element.original_end_tag.length == 0) return "no end tag of its own";
    if (anchor.node->parse_flags != GUMBO_INSERTION_NORMAL || MovedBeforeNextSibling(parse_, anchor)) {
        return "the parser moved, reopened or closed it (misnested markup)";
    }
    if (facts_.ClosesOpenAnchor(anchor.start)) return "it closes an anchor left open before it (misnested markup)";
    const size_t contentStart = anchor.start + element.original_tag.length;
    const size_t contentEnd = parse_.Offset(element.original_end_tag.data);
    if (contentEnd <= contentStart || contentEnd > page_.size()) return "empty content";
    code->start = anchor.start;
    code->end = contentEnd + element.original_end_tag.length;
    return std::string();
}

// Content that the code can hold in both its parts and show the same.
std::string AnchorRules::Content(const MailtoAnchor& anchor, AnchorCode* code) const {
    bool nested = false, rebuilt = false;
    Walk(anchor.node, [&](const GumboNode* node) {
        if (node == anchor.node) return true;
        if (!IsElement(node)) return false;
        if (node->v.element.tag == GUMBO_TAG_A) nested = true;
        const unsigned flags = node->parse_flags & ~GUMBO_INSERTION_IMPLICIT_END_TAG;
        // A void element (or a self-closed one) ends implicitly with nothing
        // inside; any other closed for it was misnested. (gumbo marks SVG and
        // MathML elements as ended implicitly even by their own end tags.)
        if (flags != 0 || ((node->parse_flags & GUMBO_INSERTION_IMPLICIT_END_TAG) &&
                           node->v.element.children.length != 0 && !ClosedByItsOwnEndTag(node->v.element))) {
            rebuilt = true;
        }
        return true;
    });
    if (nested) return "another anchor inside it";
    if (rebuilt) return "misnested markup inside it, which the parser rebuilt";
    const size_t contentStart = anchor.start + anchor.node->v.element.original_tag.length;
    const std::string_view content = page_.substr(contentStart, code->end - contentStart);
    if (HoldsNoScriptMarkup(content)) return "noscript markup in its content, which would end the code's NOSCRIPT early";
    if (content.find('\0') != std::string_view::npos) return "a NUL byte in its content, which the script would show as U+FFFD";
    return std::string();
}

std::string AnchorRules::Href(const MailtoAnchor& anchor, AnchorCode* code) const {
    const GumboAttribute* href = gumbo_get_attribute(&anchor.node->v.element.attributes, "href");
    // gumbo reads the page as UTF-8; in another charset its reading of these bytes is not the browser's.
    const std::string_view raw = Piece(href->original_value);
    if (!utf8_ && std::any_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) > 127; })) {
        return "bytes above 127 in the href of a page that is not in UTF-8";
    }
    return ReadMailtoHref(href->value, &code->href);
}

// Every other attribute goes onto both of the code's anchors, but event handlers.
std::string AnchorRules::Attributes(const MailtoAnchor& anchor, AnchorCode* code) const {
    const GumboVector& attributes = anchor.node->v.element.attributes;
    std::string handlers, odd;
    for (unsigned i = 0; i < attributes.length; ++i) {
        const GumboAttribute& attribute = *Attribute(attributes, i);
        if (strcmp(attribute.name, "href") == 0) continue;
        const std::string_view name = Piece(attribute.original_name);
        if (ascii::StartsWithNoCase(name, "on")) {
            handlers += (handlers.empty() ? "" : ", ") + ascii::Printable(name);
        } else if (!IsPlainName(name)) {
            odd += (odd.empty() ? "" : ", ") + ascii::Printable(name);
        }
        // Views into the page itself, which outlives the parse.
        const std::string_view pageName = InPage(name);
        const std::string_view value =
            RawValue(page_, static_cast<size_t>(pageName.data() - page_.data()) + pageName.size());
        const bool hidden = !FindAddresses(value).empty() || HoldsMailto(value);
        code->attributes.push_back(
            {ByteView(pageName.data(), pageName.size()), ByteView(value.data(), value.size()), hidden});
    }
    if (!handlers.empty()) return "an event handler attribute (" + handlers + "), which the code would run from a string it wrote";
    if (!odd.empty()) return "an attribute name that the code cannot carry (" + odd + ")";
    return std::string();
}

std::string_view AnchorRules::InPage(std::string_view inParse) const {
    if (inParse.empty()) return std::string_view();
    return page_.substr(parse_.Offset(inParse.data()), inParse.size());
}

// The content as the link text, with every address in its text written as
// decimal character references: the page shows the same, collectors read none.
std::string AnchorRules::LinkText(const MailtoAnchor& anchor, const AnchorCode& code) const {
    std::vector<std::string_view> addresses;
    for (size_t from = 0;;) {
        const size_t comma = code.href.addresses.find(',', from);
        addresses.push_back(std::string_view(code.href.addresses).substr(from, comma - from));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    std::vector<Span> encode;
    Walk(anchor.node, [&](const GumboNode* node) {
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE) {
            if (IsRawTextParent(node->parent)) return false;
            const size_t at = parse_.Offset(node->v.text.original_text.data);
            const std::string_view text = page_.substr(at, node->v.text.original_text.length);
            for (Span span : FindAddresses(text)) encode.push_back({at + span.begin, at + span.end});
            for (std::string_view address : addresses) {
                for (size_t found = text.find(address); found != std::string_view::npos;
                     found = text.find(address, found + address.size())) {
                    encode.push_back({at + found, at + found + address.size()});
                }
            }
            return false;
        }
        return IsElement(node) && !IsRawTextParent(node);
    });
    std::sort(encode.begin(), encode.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
    const size_t contentStart = anchor.start + anchor.node->v.element.original_tag.length;
    const size_t contentEnd = code.end - anchor.node->v.element.original_end_tag.length;
    std::string link;
    size_t copied = contentStart;
    for (Span span : encode) {
        // An address that starts inside a character reference ("&#6" before
        // "6@x.org"): the reference stays as it is, the rest is written.
        if (span.begin > 0 && (page_[span.begin - 1] == '&' || page_[span.begin - 1] == '#')) {
            while (span.begin < span.end && ascii::IsAlphanumeric(page_[span.begin])) ++span.begin;
        }
        if (span.begin < copied || span.end > contentEnd) continue;
        link.append(page_.substr(copied, span.begin - copied));
        // A reference names a character: bytes above 127 (an internationalised address) stay as they are.
        for (unsigned char c : page_.substr(span.begin, span.end - span.begin)) {
            if (c < 128) {
                link.append("&#").append(std::to_string(c)).push_back(';');
            } else {
                link.push_back(static_cast<char>(c));
            }
        }
        copied = span.end;
    }
    link.append(page_.substr(copied, contentEnd - copied));
    return link;
}

}  // namespace site
