// Gathers a page's facts in one walk over gumbo's tree, and answers where an offset stands among them.
#include "Facts.h"

#include <string.h>

#include <algorithm>

#include "Ascii.h"
#include "Href.h"
#include "Parse.h"
#include "Tree.h"

namespace site {

namespace {

// Every "</noscript" in the page, in any letter case, in one pass.
std::vector<size_t> NoScriptCloses(std::string_view page) {
    std::vector<size_t> closes;
    for (size_t from = 0; from < page.size();) {
        const void* at = memchr(page.data() + from, '<', page.size() - from);
        if (at == nullptr) break;
        const size_t index = static_cast<size_t>(static_cast<const char*>(at) - page.data());
        if (ascii::StartsWithNoCase(page.substr(index, 10), "</noscript")) closes.push_back(index);
        from = index + 1;
    }
    return closes;
}

// A meta element's charset and Content-Security-Policy; the first of each counts.
void ReadMeta(const GumboNode* node, PageFacts* facts) {
    const char* declared = AttributeValue(node, "charset");
    const char* equiv = AttributeValue(node, "http-equiv");
    const char* content = AttributeValue(node, "content");
    std::string_view name;
    if (declared != nullptr) {
        name = ascii::Trim(declared);
    } else if (equiv != nullptr && content != nullptr && ascii::EqualsNoCase(ascii::Trim(equiv), "content-type")) {
        name = CharsetInContentType(content);
    }
    if (!name.empty() && facts->charsetName.empty() && facts->charset == Charset::kUndeclared) {
        facts->charset = ClassifyLabel(name);
        facts->charsetName = std::string(name);
        facts->charsetOffset = node->v.element.start_pos.offset;
    }
    if (equiv != nullptr && content != nullptr &&
        ascii::EqualsNoCase(ascii::Trim(equiv), "content-security-policy") && !facts->policyForbids &&
        PolicyForbidsInlineScript(content)) {
        facts->policyForbids = true;
        facts->policyOffset = node->v.element.start_pos.offset;
    }
}

// What an element does to the anchors below it, if anything keeps them out of the page's content.
const char* Excludes(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    if (element.tag_namespace != GUMBO_NAMESPACE_HTML) return "inside SVG or MathML content";
    if (node->type == GUMBO_NODE_TEMPLATE || element.tag == GUMBO_TAG_TEMPLATE) return "inside a <template>";
    switch (element.tag) {
        // A browser shows an option's text, not its markup: the code would show as text.
        case GUMBO_TAG_OPTION: case GUMBO_TAG_OPTGROUP: case GUMBO_TAG_SELECT: case GUMBO_TAG_DATALIST:
            return "inside an <option> or <select>, where the code's markup would show as text";
        default:
            return nullptr;
    }
}

void AddParsed(const Parse& parse, const GumboStringPiece& piece, bool markupText,
               std::vector<PageFacts::Part>* parsed) {
    if (piece.length == 0) return;
    const size_t at = parse.Offset(piece.data);
    parsed->push_back({at, at + piece.length, markupText});
}

// Text whose parent reads "<" as the start of a tag.
bool IsMarkupText(const GumboNode* node) {
    return (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE) && !IsRawTextParent(node->parent) &&
           !IsHtml(node->parent, GUMBO_TAG_TEXTAREA) && !IsHtml(node->parent, GUMBO_TAG_TITLE);
}

// The last of `items`, sorted by begin, that begins at or before `offset`.
template <typename Item>
const Item* LastStartingBy(const std::vector<Item>& items, size_t offset) {
    auto it = std::upper_bound(items.begin(), items.end(), offset,
                               [](size_t value, const Item& item) { return value < item.begin; });
    return it == items.begin() ? nullptr : &*(it - 1);
}

// What the walk notes on its way besides the facts: where opt-out regions
// open and close (offset, opens) and where each noscript's content starts.
struct WalkNotes {
    std::vector<std::pair<size_t, bool>> optOutMarks;
    std::vector<size_t> noScriptStarts;
};

// What the elements above a node do to it.
struct Context {
    const char* excludedBy = nullptr;
    bool inNoScript = false;
};

// A text node or comment: its bytes as parsed, and an opt-out mark if it is one.
void VisitText(const Parse& parse, const GumboNode* node, PageFacts* facts, WalkNotes* notes) {
    AddParsed(parse, node->v.text.original_text, IsMarkupText(node), &facts->parsed);
    if (node->type != GUMBO_NODE_COMMENT) return;
    const std::string_view text = ascii::Trim(node->v.text.text);
    const size_t at = parse.Offset(node->v.text.original_text.data);
    if (text == "email_off") notes->optOutMarks.push_back({at + node->v.text.original_text.length, true});
    if (text == "/email_off") notes->optOutMarks.push_back({at, false});
}

void VisitAnchor(const Parse& parse, const GumboNode* node, const Context& context, PageFacts* facts) {
    const GumboElement& element = node->v.element;
    // An anchor left open is closed by the next <a> start tag (the
    // adoption agency), which leaves its mark on the tree; the code's
    // <NOSCRIPT> before its own <A> would change what that does.
    if ((node->parse_flags & GUMBO_INSERTION_IMPLICIT_END_TAG) != 0) {
        facts->anchorsClosedAt.push_back(element.end_pos.offset);
    }
    // A clone that the parser made of an anchor shares its start tag; the anchor itself counts.
    const unsigned clone = GUMBO_INSERTION_RECONSTRUCTED_FORMATTING_ELEMENT | GUMBO_INSERTION_ADOPTION_AGENCY_CLONED;
    const char* href = AttributeValue(node, "href");
    if (element.original_tag.length != 0 && (node->parse_flags & clone) == 0 && href != nullptr && IsMailtoHref(href)) {
        facts->anchors.push_back({node, parse.Offset(element.original_tag.data), context.excludedBy, context.inNoScript});
    }
}

void VisitElement(const Parse& parse, const GumboNode* node, Context& context, PageFacts* facts, WalkNotes* notes) {
    const GumboElement& element = node->v.element;
    AddParsed(parse, element.original_tag, false, &facts->parsed);
    AddParsed(parse, element.original_end_tag, false, &facts->parsed);
    if (IsHtml(node, GUMBO_TAG_META)) ReadMeta(node, facts);
    if (IsHtml(node, GUMBO_TAG_A)) VisitAnchor(parse, node, context, facts);
    // With scripting on, a browser reads a noscript's content as text up
    // to the next "</noscript", wherever the parse without scripts put
    // it: in the head, an anchor closes the noscript and lands in the
    // body, as the code's own does at the top of a page.
    if (IsHtml(node, GUMBO_TAG_NOSCRIPT)) {
        context.inNoScript = true;
        if (element.original_tag.length != 0) {
            notes->noScriptStarts.push_back(parse.Offset(element.original_tag.data) + element.original_tag.length);
        }
    }
    if (context.excludedBy == nullptr) context.excludedBy = Excludes(node);
}

// Each opening mark to the next closing one, or to the page's end; marks in between open nothing more.
void SpanOptOut(std::vector<std::pair<size_t, bool>>& marks, size_t pageSize, PageFacts* facts) {
    std::sort(marks.begin(), marks.end());
    for (size_t i = 0; i < marks.size(); ++i) {
        if (!marks[i].second) continue;
        size_t end = pageSize, j = i + 1;
        while (j < marks.size() && marks[j].second) ++j;
        if (j < marks.size()) end = marks[j].first;
        facts->optOut.push_back({marks[i].first, end});
        i = j;
    }
}

void SpanNoScriptText(std::string_view page, std::vector<size_t>& starts, PageFacts* facts) {
    const std::vector<size_t> closes = NoScriptCloses(page);
    std::sort(starts.begin(), starts.end());
    for (size_t start : starts) {
        auto close = std::lower_bound(closes.begin(), closes.end(), start);
        facts->noScriptText.push_back({start, close == closes.end() ? page.size() : *close});
    }
}

}  // namespace

void GatherFacts(const Parse& parse, std::string_view page, PageFacts* facts) {
    WalkNotes notes;
    Walk(parse.Root(), Context{}, [&](const GumboNode* node, Context& context) {
        if (node->type == GUMBO_NODE_DOCUMENT) return true;
        if (!IsElement(node)) {
            VisitText(parse, node, facts, &notes);
            return false;
        }
        VisitElement(parse, node, context, facts, &notes);
        return true;
    });
    SpanOptOut(notes.optOutMarks, page.size(), facts);
    SpanNoScriptText(page, notes.noScriptStarts, facts);
    std::sort(facts->anchorsClosedAt.begin(), facts->anchorsClosedAt.end());
    std::sort(facts->parsed.begin(), facts->parsed.end(),
              [](const PageFacts::Part& a, const PageFacts::Part& b) { return a.begin < b.begin; });
    for (MailtoAnchor& anchor : facts->anchors) anchor.inNoScript = anchor.inNoScript || facts->InNoScriptText(anchor.start);
}

bool PageFacts::InOptOut(size_t offset) const {
    const Span* span = LastStartingBy(optOut, offset);
    return span != nullptr && offset < span->end;
}

// Each noscript's text ends at the first "</noscript" after its start, so a
// later start never ends sooner: the last one that starts by the offset
// reaches furthest among those.
bool PageFacts::InNoScriptText(size_t offset) const {
    const Span* span = LastStartingBy(noScriptText, offset);
    return span != nullptr && offset < span->end;
}

bool PageFacts::ClosesOpenAnchor(size_t offset) const {
    return std::binary_search(anchorsClosedAt.begin(), anchorsClosedAt.end(), offset);
}

// Parsed parts do not overlap, and a later one never starts inside an earlier one.
const PageFacts::Part* PageFacts::PartAt(size_t offset) const {
    const Part* part = LastStartingBy(parsed, offset);
    return part != nullptr && offset < part->end ? part : nullptr;
}

}  // namespace site
