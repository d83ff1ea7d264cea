// The page rules: which mailto anchors become the mail code, which pages are left whole, and where addresses stand readable.
#include "Site.h"

#include <string.h>

#include <algorithm>

#include "MailCode.h"
#include "Parse.h"
#include "Scan.h"

namespace site {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string Lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
}

bool StartsWithNoCase(std::string_view s, std::string_view lowerPrefix) {
    return s.size() >= lowerPrefix.size() && Lowered(s.substr(0, lowerPrefix.size())) == lowerPrefix;
}

// Where `lowerWord` (starting with "<") next stands from `from` on in any letter case; the end when nowhere.
size_t FindNoCase(std::string_view text, std::string_view lowerWord, size_t from) {
    while (from < text.size()) {
        const void* at = memchr(text.data() + from, '<', text.size() - from);
        if (at == nullptr) break;
        const size_t index = static_cast<size_t>(static_cast<const char*>(at) - text.data());
        if (StartsWithNoCase(text.substr(index), lowerWord)) return index;
        from = index + 1;
    }
    return text.size();
}

std::string_view Piece(const GumboStringPiece& piece) { return std::string_view(piece.data, piece.length); }

const GumboVector* Children(const GumboNode* node) {
    if (node->type == GUMBO_NODE_DOCUMENT) return &node->v.document.children;
    if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) return &node->v.element.children;
    return nullptr;
}

bool IsElement(const GumboNode* node) {
    return node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE;
}

bool IsHtml(const GumboNode* node, GumboTag tag) {
    return IsElement(node) && node->v.element.tag == tag && node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

// Elements whose text is read without character references: an address written as references there stays references.
bool IsRawTextParent(const GumboNode* node) {
    if (!IsElement(node) || node->v.element.tag_namespace != GUMBO_NAMESPACE_HTML) return false;
    switch (node->v.element.tag) {
        case GUMBO_TAG_SCRIPT: case GUMBO_TAG_STYLE: case GUMBO_TAG_XMP: case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_NOEMBED: case GUMBO_TAG_NOFRAMES: case GUMBO_TAG_NOSCRIPT: case GUMBO_TAG_PLAINTEXT:
            return true;
        default:
            return false;
    }
}

const char* AttributeValue(const GumboNode* element, const char* name) {
    const GumboAttribute* attribute = gumbo_get_attribute(&element->v.element.attributes, name);
    return attribute != nullptr ? attribute->value : nullptr;
}

// Walks a subtree in document order without recursion (gumbo trees can be
// deeper than the stack); `visit` returns false to skip a node's children.
template <typename Visit>
void Walk(const GumboNode* top, Visit visit) {
    std::vector<std::pair<const GumboNode*, unsigned>> stack{{top, 0u}};
    if (!visit(top)) return;
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        const GumboVector* children = Children(node);
        if (children == nullptr || next >= children->length) {
            stack.pop_back();
            continue;
        }
        const GumboNode* child = static_cast<const GumboNode*>(children->data[next++]);
        if (visit(child) && Children(child) != nullptr) stack.push_back({child, 0u});
    }
}

// ---- Charset

enum class Charset { kUndeclared, kUtf8, kSingleByte, kDoubleByte, kOther };

// Labels as the encoding standard lists them, by family.
Charset ClassifyLabel(std::string_view rawLabel) {
    const std::string label = Lowered(Trim(rawLabel));
    static const char* const kUtf8[] = {"utf-8", "utf8", "unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8",
                                        "x-unicode20utf8",
                                        // a meta naming UTF-16 is read as UTF-8
                                        "utf-16", "utf-16le", "utf-16be", "unicode", "ucs-2", "unicodefffe",
                                        "unicodefeff", "csunicode", "iso-10646-ucs-2"};
    static const char* const kDoubleByte[] = {
        "shift_jis", "shift-jis", "sjis", "ms_kanji", "csshiftjis", "windows-31j", "x-sjis", "ms932", "cp932",
        "gbk", "gb2312", "gb_2312", "gb_2312-80", "chinese", "csgb2312", "csiso58gb231280", "iso-ir-58", "x-gbk",
        "gb18030", "cp936", "windows-936", "big5", "big5-hkscs", "cn-big5", "csbig5", "x-x-big5", "cp950"};
    static const char* const kSingleByte[] = {
        "us-ascii", "ascii", "ansi_x3.4-1968", "cp819", "ibm819", "csisolatin1", "iso-ir-100", "iso_8859-1:1987",
        "l1", "l2", "l3", "l4", "l5", "l6", "l9", "latin1", "latin2", "latin3", "latin4", "latin5", "latin6",
        "x-cp1250", "x-cp1251", "x-cp1252", "x-cp1253", "x-cp1254", "x-cp1255", "x-cp1256", "x-cp1257",
        "x-cp1258", "cp1250", "cp1251", "cp1252", "cp1253", "cp1254", "cp1255", "cp1256", "cp1257", "cp1258",
        "866", "cp866", "csibm866", "ibm866", "koi", "koi8", "koi8-r", "koi8_r", "cskoi8r", "koi8-u", "koi8-ru",
        "macintosh", "mac", "csmacintosh", "x-mac-roman", "x-mac-cyrillic", "x-mac-ukrainian", "windows-874",
        "dos-874", "tis-620", "cyrillic", "greek", "greek8", "hebrew", "arabic", "ecma-114", "ecma-118",
        "elot_928", "asmo-708", "visual", "logical", "sun_eu_greek", "csisolatinarabic", "csisolatincyrillic",
        "csisolatingreek", "csisolatinhebrew", "csisolatin2", "csisolatin3", "csisolatin4", "csisolatin5",
        "csisolatin6", "csisolatin9", "x-user-defined"};
    for (const char* name : kUtf8) {
        if (label == name) return Charset::kUtf8;
    }
    for (const char* name : kDoubleByte) {
        if (label == name) return Charset::kDoubleByte;
    }
    for (const char* name : kSingleByte) {
        if (label == name) return Charset::kSingleByte;
    }
    for (const char* prefix : {"iso-8859-", "iso8859-", "iso_8859-", "iso8859", "windows-125", "iso-ir-1"}) {
        if (label.size() > strlen(prefix) && label.compare(0, strlen(prefix), prefix) == 0) return Charset::kSingleByte;
    }
    return Charset::kOther;
}

// The charset named in a Content-Type value ("text/html; charset=...").
std::string_view CharsetInContentType(std::string_view content) {
    const std::string lower = Lowered(content);
    for (size_t at = lower.find("charset"); at != std::string::npos; at = lower.find("charset", at + 1)) {
        size_t i = at + 7;
        while (i < content.size() && IsBlank(content[i])) ++i;
        if (i >= content.size() || content[i] != '=') continue;
        ++i;
        while (i < content.size() && IsBlank(content[i])) ++i;
        if (i < content.size() && (content[i] == '"' || content[i] == '\'')) {
            size_t close = content.find(content[i], i + 1);
            if (close == std::string_view::npos) return {};
            return content.substr(i + 1, close - i - 1);
        }
        size_t end = i;
        while (end < content.size() && !IsBlank(content[end]) && content[end] != ';') ++end;
        return content.substr(i, end - i);
    }
    return {};
}

// True when a Content-Security-Policy stops the code's inline script or its document.write.
bool PolicyForbidsInlineScript(std::string_view policy) {
    std::string_view chosen;
    int rank = 0;  // script-src-elem before script-src before default-src
    bool trustedTypes = false;
    size_t start = 0;
    while (start <= policy.size()) {
        size_t end = policy.find(';', start);
        if (end == std::string_view::npos) end = policy.size();
        std::string_view directive = Trim(policy.substr(start, end - start));
        start = end + 1;
        size_t nameEnd = 0;
        while (nameEnd < directive.size() && !IsBlank(directive[nameEnd])) ++nameEnd;
        const std::string name = Lowered(directive.substr(0, nameEnd));
        const int thisRank = name == "script-src-elem" ? 3 : name == "script-src" ? 2 : name == "default-src" ? 1 : 0;
        if (thisRank > rank) {
            rank = thisRank;
            chosen = directive.substr(nameEnd);
        }
        if (name == "require-trusted-types-for") trustedTypes = true;
    }
    if (trustedTypes) return true;  // document.write of a plain string throws
    if (rank == 0) return false;
    bool unsafeInline = false;
    const std::string sources = Lowered(chosen);
    size_t i = 0;
    while (i < sources.size()) {
        while (i < sources.size() && IsBlank(sources[i])) ++i;
        size_t end = i;
        while (end < sources.size() && !IsBlank(sources[end])) ++end;
        const std::string source = sources.substr(i, end - i);
        i = end;
        if (source == "'unsafe-inline'") unsafeInline = true;
        // A nonce, a hash or 'strict-dynamic' makes browsers ignore 'unsafe-inline'.
        if (source.rfind("'nonce-", 0) == 0 || source.rfind("'sha256-", 0) == 0 ||
            source.rfind("'sha384-", 0) == 0 || source.rfind("'sha512-", 0) == 0 || source == "'strict-dynamic'") {
            return true;
        }
    }
    return !unsafeInline;
}

// ---- Anchors

struct Anchor {
    const GumboNode* node;
    size_t start;  // "<a"
    const char* excludedBy;  // an enclosing element that keeps it out, or null
};

// Where a node starts in the page, if it came from the page's own bytes.
bool SourceStart(const Parse& parse, const GumboNode* node, size_t* offset) {
    const GumboStringPiece* piece = IsElement(node) ? &node->v.element.original_tag
                                    : node->type == GUMBO_NODE_DOCUMENT ? nullptr
                                                                        : &node->v.text.original_text;
    if (piece == nullptr || piece->length == 0) return false;
    *offset = parse.Offset(piece->data);
    return true;
}

// gumbo never sets its foster-parenting flag: an anchor placed before a
// table that comes after it in the page shows as a sibling that starts
// earlier than the anchor in the page but follows it in the tree.
bool MovedBeforeNextSibling(const Parse& parse, const Anchor& anchor) {
    const GumboNode* parent = anchor.node->parent;
    const GumboVector* siblings = parent != nullptr ? Children(parent) : nullptr;
    if (siblings == nullptr) return false;
    for (size_t i = anchor.node->index_within_parent + 1; i < siblings->length; ++i) {
        size_t start;
        if (SourceStart(parse, static_cast<const GumboNode*>(siblings->data[i]), &start)) return start < anchor.start;
    }
    return false;
}

struct Replacement {
    size_t start;
    size_t end;
    std::string code;
};

// Blocks of mail code as the page needs them: the page's own line ends,
// and none where a browser would show one as a space.
bool PageCode(std::string_view address, std::string_view link, std::string_view lineEnd, std::string* code) {
    const ByteView addressView(address.data(), address.size());
    const ByteView linkView(link.data(), link.size());
    const ByteString noScript = BuildNoScriptBlock(addressView, linkView);
    const ByteString script = BuildScriptBlock(addressView, linkView);
    if (noScript.Failed() || script.Failed()) return false;
    const std::string_view n(noScript.data(), noScript.size()), s(script.data(), script.size());
    // "<NOSCRIPT>\r\n<A HREF=...>LINK</A>\r\n</NOSCRIPT>\r\n": the three line ends go.
    const std::string_view head = "<NOSCRIPT>\r\n", tail = "</A>\r\n</NOSCRIPT>\r\n";
    if (n.substr(0, head.size()) != head || n.size() < head.size() + tail.size() ||
        n.substr(n.size() - tail.size()) != tail || s.size() < 2 || s.substr(s.size() - 2) != "\r\n") {
        return false;
    }
    code->assign("<NOSCRIPT>");
    code->append(n.substr(head.size(), n.size() - head.size() - tail.size()));
    code->append("</A></NOSCRIPT>");
    // The script's own lines keep their ends (its "<!--" and "//-->" lines
    // need them), in the page's form; the last one goes. The link text
    // inside is escaped, so every CR LF here is the generator's.
    const std::string_view body = s.substr(0, s.size() - 2);
    size_t from = 0;
    for (size_t at; (at = body.find("\r\n", from)) != std::string_view::npos; from = at + 2) {
        code->append(body.substr(from, at - from));
        code->append(lineEnd);
    }
    code->append(body.substr(from));
    return true;
}

void AppendReferences(std::string* out, std::string_view bytes) {
    for (unsigned char c : bytes) {
        out->append("&#");
        out->append(std::to_string(static_cast<unsigned>(c)));
        out->push_back(';');
    }
}

class Protector {
public:
    Protector(std::string_view page, ProtectResult* result) : page_(page), result_(result), lines_(page) {}

    void Run();

private:
    void LeavePage(size_t offset, std::string reason) {
        result_->pageLeft = true;
        result_->listed.push_back({lines_.LineAt(offset), std::move(reason)});
    }
    void List(const Anchor& anchor, std::string reason) {
        result_->listed.push_back({lines_.LineAt(anchor.start), std::move(reason)});
    }
    static bool InRegion(const std::vector<Span>& regions, size_t offset) {
        for (const Span& region : regions) {
            if (offset >= region.begin && offset < region.end) return true;
        }
        return false;
    }
    void Consider(const Anchor& anchor, std::string_view href, std::string_view rawHref);
    std::string LinkText(const GumboNode* anchor, size_t contentStart, size_t contentEnd, std::string_view address);

    std::string_view page_;
    ProtectResult* result_;
    LineCounter lines_;
    const Parse* parse_ = nullptr;
    std::vector<Span> optOut_;
    std::vector<Span> noScript_;
    std::vector<size_t> anchorsClosedAt_;
    std::vector<Replacement> replacements_;
};

void Protector::Run() {
    // A page without the word holds no link to rewrite, whatever else it holds.
    if (!HasMailto(page_)) return;
    if (page_.size() >= 2 && ((page_[0] == '\xFE' && page_[1] == '\xFF') || (page_[0] == '\xFF' && page_[1] == '\xFE'))) {
        LeavePage(0, "the page is in UTF-16 (byte-order mark)");
        return;
    }
    Charset charset = page_.substr(0, 3) == "\xEF\xBB\xBF" ? Charset::kUtf8 : Charset::kUndeclared;
    std::string charsetName;
    size_t charsetOffset = 0;

    Parse parse(page_);
    parse_ = &parse;
    result_->parserMemory = parse.MemoryUsed();
    result_->cap = parse.CapReached();
    switch (parse.CapReached()) {
        case Cap::kNone: break;
        case Cap::kPageSize: LeavePage(0, "the page is larger than the parser's limit of 64 MiB"); return;
        case Cap::kDepth: LeavePage(0, "elements nest deeper than the parser's limit of 512"); return;
        case Cap::kMemory: LeavePage(0, "the parse took more memory than the parser's limit for the page's size"); return;
        case Cap::kTime: LeavePage(0, "the parse took longer than the parser's limit for the page's size"); return;
    }

    std::vector<Anchor> anchors;
    std::vector<std::pair<size_t, bool>> marks;  // opt-out comments: offset, opens
    size_t policyOffset = 0;
    bool policyForbids = false;
    // Each node on the walk's stack carries what keeps the anchors below it out of the page's content.
    struct Frame {
        const GumboNode* node;
        unsigned next;
        const char* excludedBy;
    };
    std::vector<Frame> stack{{parse.Root(), 0u, nullptr}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const GumboVector* children = Children(frame.node);
        if (children == nullptr || frame.next >= children->length) {
            stack.pop_back();
            continue;
        }
        const GumboNode* node = static_cast<const GumboNode*>(children->data[frame.next++]);
        const char* excludedBy = frame.excludedBy;
        if (node->type == GUMBO_NODE_COMMENT) {
            const std::string_view text = Trim(node->v.text.text);
            const size_t at = parse.Offset(node->v.text.original_text.data);
            if (text == "email_off") marks.push_back({at + node->v.text.original_text.length, true});
            if (text == "/email_off") marks.push_back({at, false});
            continue;
        }
        if (!IsElement(node)) continue;
        const GumboElement& element = node->v.element;
        if (IsHtml(node, GUMBO_TAG_META)) {
            const char* declared = AttributeValue(node, "charset");
            const char* equiv = AttributeValue(node, "http-equiv");
            const char* content = AttributeValue(node, "content");
            std::string_view name;
            if (declared != nullptr) {
                name = Trim(declared);
            } else if (equiv != nullptr && content != nullptr && Lowered(Trim(equiv)) == "content-type") {
                name = CharsetInContentType(content);
            }
            if (!name.empty() && charsetName.empty() && charset == Charset::kUndeclared) {
                charset = ClassifyLabel(name);
                charsetName = std::string(name);
                charsetOffset = element.start_pos.offset;
            }
            if (equiv != nullptr && content != nullptr && Lowered(Trim(equiv)) == "content-security-policy" &&
                !policyForbids && PolicyForbidsInlineScript(content)) {
                policyForbids = true;
                policyOffset = element.start_pos.offset;
            }
        }
        // A clone that the parser made of an anchor shares its start tag; the anchor itself is listed.
        const unsigned clone = GUMBO_INSERTION_RECONSTRUCTED_FORMATTING_ELEMENT | GUMBO_INSERTION_ADOPTION_AGENCY_CLONED;
        if (IsHtml(node, GUMBO_TAG_A) && element.original_tag.length != 0 && (node->parse_flags & clone) == 0) {
            anchors.push_back({node, parse.Offset(element.original_tag.data), excludedBy});
        }
        // An anchor left open is closed by the next <a> start tag (the
        // adoption agency), which leaves its mark on the tree; the code's
        // <NOSCRIPT> before its own <A> would change what that does.
        if (IsHtml(node, GUMBO_TAG_A) && (node->parse_flags & GUMBO_INSERTION_IMPLICIT_END_TAG) != 0) {
            anchorsClosedAt_.push_back(element.end_pos.offset);
        }
        // With scripting on, a browser reads a noscript's content as text up
        // to the next "</noscript", wherever the parse without scripts put
        // it: in the head, an anchor closes the noscript and lands in the
        // body, as the code's own does at the top of a page.
        if (IsHtml(node, GUMBO_TAG_NOSCRIPT) && element.original_tag.length != 0) {
            const size_t start = parse.Offset(element.original_tag.data) + element.original_tag.length;
            noScript_.push_back({start, FindNoCase(page_, "</noscript", start)});
        }
        if (excludedBy == nullptr) {
            if (element.tag_namespace != GUMBO_NAMESPACE_HTML) {
                excludedBy = "inside SVG or MathML content";
            } else if (node->type == GUMBO_NODE_TEMPLATE || element.tag == GUMBO_TAG_TEMPLATE) {
                excludedBy = "inside a <template>";
            } else if (element.tag == GUMBO_TAG_NOSCRIPT) {
                excludedBy = "";  // the fallback of a script, such as the code's own: not listed
            }
        }
        stack.push_back({node, 0u, excludedBy});
    }

    // Which anchors name a mailto address at all; the others are no concern here.
    std::vector<std::pair<Anchor, const GumboAttribute*>> mailto;
    for (const Anchor& anchor : anchors) {
        const GumboVector& attributes = anchor.node->v.element.attributes;
        for (unsigned i = 0; i < attributes.length; ++i) {
            const GumboAttribute* attribute = static_cast<const GumboAttribute*>(attributes.data[i]);
            if (strcmp(attribute->name, "href") == 0 && StartsWithNoCase(Trim(attribute->value), "mailto:")) {
                mailto.push_back({anchor, attribute});
                break;
            }
        }
    }
    if (mailto.empty()) return;

    if (policyForbids) {
        LeavePage(policyOffset, "its Content-Security-Policy forbids inline scripts: visitors would see no link");
        return;
    }
    if (charset == Charset::kDoubleByte) {
        LeavePage(charsetOffset, "charset " + charsetName + ": its double-byte characters can end in a backslash byte");
        return;
    }
    if (charset == Charset::kOther) {
        LeavePage(charsetOffset, "charset " + charsetName + " is neither UTF-8 nor a single-byte charset");
        return;
    }
    if (charset == Charset::kUndeclared &&
        std::any_of(page_.begin(), page_.end(), [](char c) { return static_cast<unsigned char>(c) > 127; })) {
        LeavePage(0, "no charset declared (byte-order mark or meta charset) and bytes above 127: a browser "
                     "guesses the charset, and a rewrite can change its guess");
        return;
    }

    std::sort(marks.begin(), marks.end());
    for (size_t i = 0; i < marks.size(); ++i) {
        if (!marks[i].second) continue;
        const size_t start = marks[i].first;
        size_t end = page_.size();
        for (size_t j = i + 1; j < marks.size(); ++j) {
            if (!marks[j].second) {
                end = marks[j].first;
                i = j;
                break;
            }
        }
        optOut_.push_back({start, end});
    }

    for (const auto& [anchor, href] : mailto) {
        Consider(anchor, href->value, Piece(href->original_value));
    }

    // Splice the replacements in, in page order; one that overlaps the last is listed instead.
    std::sort(replacements_.begin(), replacements_.end(),
              [](const Replacement& a, const Replacement& b) { return a.start < b.start; });
    std::string& out = result_->output;
    out.clear();
    size_t copied = 0;
    for (const Replacement& r : replacements_) {
        if (r.start < copied) {
            result_->listed.push_back({lines_.LineAt(r.start), "overlaps another anchor"});
            continue;
        }
        out.append(page_.substr(copied, r.start - copied));
        result_->replaced.push_back({r.start, r.end - r.start, out.size(), r.code.size()});
        out.append(r.code);
        copied = r.end;
        ++result_->rewritten;
    }
    out.append(page_.substr(copied));
}

void Protector::Consider(const Anchor& anchor, std::string_view href, std::string_view rawHref) {
    // A "mailto" written with references is hidden from raw-text collectors already.
    std::string_view raw = rawHref;
    if (!raw.empty() && (raw.front() == '"' || raw.front() == '\'')) raw.remove_prefix(1);
    if (!StartsWithNoCase(Trim(raw), "mailto")) return;
    if (anchor.excludedBy != nullptr) {
        if (*anchor.excludedBy != '\0') List(anchor, std::string("not in the page's content: ") + anchor.excludedBy);
        return;
    }
    if (InRegion(noScript_, anchor.start)) return;
    if (InRegion(optOut_, anchor.start)) {
        List(anchor, "inside an <!--email_off--> region");
        return;
    }
    const GumboElement& element = anchor.node->v.element;
    if (element.attributes.length != 1) {
        std::string names;
        for (unsigned i = 0; i < element.attributes.length; ++i) {
            const char* name = static_cast<const GumboAttribute*>(element.attributes.data[i])->name;
            if (strcmp(name, "href") == 0) continue;
            names += names.empty() ? "" : ", ";
            names += name;
        }
        List(anchor, "other attributes than href (" + names + "): the code's fixed form cannot carry them");
        return;
    }
    const std::string_view address = Trim(href).substr(7);
    const std::string_view trimmedAddress = Trim(address);
    if (trimmedAddress.find('?') != std::string_view::npos) {
        List(anchor, "a query (such as ?subject=) after the address: the code cannot carry it");
        return;
    }
    if (std::count(trimmedAddress.begin(), trimmedAddress.end(), '@') != 1) {
        List(anchor, "not one address with one \"@\"");
        return;
    }
    for (char c : trimmedAddress) {
        if (c <= ' ' || c >= 127 || c == '"' || c == '\'' || c == '<' || c == '>' || c == '&' || c == '`') {
            List(anchor, "bytes in the address that the code cannot carry");
            return;
        }
    }
    if (element.original_end_tag.length == 0) {
        List(anchor, "no end tag of its own");
        return;
    }
    if (anchor.node->parse_flags != GUMBO_INSERTION_NORMAL || MovedBeforeNextSibling(*parse_, anchor)) {
        List(anchor, "the parser moved, reopened or closed it (misnested markup)");
        return;
    }
    if (std::find(anchorsClosedAt_.begin(), anchorsClosedAt_.end(), anchor.start) != anchorsClosedAt_.end()) {
        List(anchor, "it closes an anchor left open before it (misnested markup)");
        return;
    }
    const size_t contentStart = anchor.start + element.original_tag.length;
    const size_t contentEnd = parse_->Offset(element.original_end_tag.data);
    const size_t end = contentEnd + element.original_end_tag.length;
    if (contentEnd <= contentStart || contentEnd > page_.size()) {
        List(anchor, "empty content");
        return;
    }
    bool nested = false, rebuilt = false;
    Walk(anchor.node, [&](const GumboNode* node) {
        if (node == anchor.node) return true;
        if (!IsElement(node)) return false;
        if (node->v.element.tag == GUMBO_TAG_A) nested = true;
        const unsigned flags = node->parse_flags & ~GUMBO_INSERTION_IMPLICIT_END_TAG;
        // A void element (or a self-closed one) ends implicitly with nothing inside; any other closed for it was misnested.
        if (flags != 0 || ((node->parse_flags & GUMBO_INSERTION_IMPLICIT_END_TAG) && node->v.element.children.length != 0)) {
            rebuilt = true;
        }
        return true;
    });
    if (nested) {
        List(anchor, "another anchor inside it");
        return;
    }
    if (rebuilt) {
        List(anchor, "misnested markup inside it, which the parser rebuilt");
        return;
    }
    Replacement replacement{anchor.start, end, std::string()};
    const std::string link = LinkText(anchor.node, contentStart, contentEnd, trimmedAddress);
    if (!PageCode(trimmedAddress, link, LineEnd(page_), &replacement.code)) {
        List(anchor, "out of memory for its code");
        return;
    }
    replacements_.push_back(std::move(replacement));
}

// The content as the link text, with every address in its text written as
// decimal character references: the page shows the same, collectors read none.
std::string Protector::LinkText(const GumboNode* anchor, size_t contentStart, size_t contentEnd,
                                std::string_view address) {
    std::vector<Span> encode;
    Walk(anchor, [&](const GumboNode* node) {
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE) {
            if (IsRawTextParent(node->parent)) return false;
            const size_t at = parse_->Offset(node->v.text.original_text.data);
            const std::string_view text = page_.substr(at, node->v.text.original_text.length);
            for (Span span : FindAddresses(text)) encode.push_back({at + span.begin, at + span.end});
            for (size_t found = text.find(address); found != std::string_view::npos;
                 found = text.find(address, found + address.size())) {
                encode.push_back({at + found, at + found + address.size()});
            }
            return false;
        }
        return IsElement(node) && !IsRawTextParent(node);
    });
    std::sort(encode.begin(), encode.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
    std::string link;
    size_t copied = contentStart;
    for (const Span& span : encode) {
        if (span.begin < copied || span.end > contentEnd) continue;
        link.append(page_.substr(copied, span.begin - copied));
        AppendReferences(&link, page_.substr(span.begin, span.end - span.begin));
        copied = span.end;
    }
    link.append(page_.substr(copied, contentEnd - copied));
    return link;
}

// ---- Check

std::string TextPlace(const GumboNode* parent) {
    if (IsHtml(parent, GUMBO_TAG_SCRIPT)) {
        const char* type = AttributeValue(parent, "type");
        return type != nullptr && Lowered(Trim(type)) == "application/ld+json" ? "JSON-LD" : "script";
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
    while (end < tag.size() && !IsBlank(tag[end]) && tag[end] != '>' && tag[end] != '/') ++end;
    return Lowered(tag.substr(1, end - 1));
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
                     [&] { return std::string("attribute ") + attribute->name; });
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

std::vector<Finding> CheckPage(std::string_view page) {
    std::vector<Finding> findings;
    const std::vector<Span> addresses = FindAddresses(page);
    if (addresses.empty()) return findings;
    Parse parse(page);
    std::vector<std::string> where(addresses.size(), parse.Root() != nullptr ? "markup" : "page past the parser's limits");
    if (parse.Root() != nullptr) Place(parse, addresses, &where);
    LineCounter lines(page);
    for (size_t i = 0; i < addresses.size(); ++i) {
        const Span& span = addresses[i];
        findings.push_back({lines.LineAt(span.begin), std::move(where[i]),
                            std::string(page.substr(span.begin, span.end - span.begin))});
    }
    return findings;
}

ProtectResult ProtectPage(std::string_view page) {
    ProtectResult result;
    Protector(page, &result).Run();
    if (result.rewritten == 0) result.output.assign(page.data(), page.size());
    return result;
}

}  // namespace site
