// The page reader: the HTML tokenizer's states over the page's bytes, and the little of the tree builder that decides them (raw text elements, SVG and MathML).
#include "Reader.h"

#include <string.h>

#include "Ascii.h"

namespace site {

namespace {

using ascii::IsBlank;
using ascii::IsLetter;
using ascii::Lower;

constexpr size_t kNone = std::string_view::npos;

// Names longer than this are no element the reader has a rule for; only so many letters are kept.
constexpr size_t kKeptNameLength = 32;

// The names with a role: every tag's name is looked up here once, by a hash of its length and ends.
class Roles {
public:
    Roles() {
        static const struct {
            const char* name;
            unsigned roles;
        } kNames[] = {
            {"title", kRoleTitle | kRoleSvgIntegration}, {"textarea", kRoleTextarea | kRoleEndsSelect},
            {"script", kRoleScript}, {"plaintext", kRolePlainText}, {"noscript", kRoleNoScript},
            {"style", kRoleRawText}, {"xmp", kRoleRawText}, {"iframe", kRoleRawText}, {"noembed", kRoleRawText},
            {"noframes", kRoleRawText}, {"frameset", kRoleFrameset}, {"select", kRoleSelect},
            {"input", kRoleEndsSelect}, {"keygen", kRoleEndsSelect}, {"svg", kRoleSvg}, {"math", kRoleMath},
            {"font", kRoleFont}, {"foreignobject", kRoleSvgIntegration}, {"desc", kRoleSvgIntegration},
            {"mi", kRoleMathText}, {"mo", kRoleMathText}, {"mn", kRoleMathText}, {"ms", kRoleMathText},
            {"mtext", kRoleMathText}, {"annotation-xml", kRoleAnnotationXml}, {"mglyph", kRoleMathGlyph},
            {"malignmark", kRoleMathGlyph}, {"meta", kRoleMeta | kRoleBreaksOut}, {"a", kRoleAnchor},
            {"br", kRoleBrOrP | kRoleBreaksOut}, {"p", kRoleBrOrP | kRoleBreaksOut},
            // The HTML elements that a page would not put in a drawing end SVG and MathML content.
            {"b", kRoleBreaksOut}, {"big", kRoleBreaksOut}, {"blockquote", kRoleBreaksOut}, {"body", kRoleBreaksOut},
            {"center", kRoleBreaksOut}, {"code", kRoleBreaksOut}, {"dd", kRoleBreaksOut}, {"div", kRoleBreaksOut},
            {"dl", kRoleBreaksOut}, {"dt", kRoleBreaksOut}, {"em", kRoleBreaksOut}, {"embed", kRoleBreaksOut},
            {"h1", kRoleBreaksOut}, {"h2", kRoleBreaksOut}, {"h3", kRoleBreaksOut}, {"h4", kRoleBreaksOut},
            {"h5", kRoleBreaksOut}, {"h6", kRoleBreaksOut}, {"head", kRoleBreaksOut}, {"hr", kRoleBreaksOut},
            {"i", kRoleBreaksOut}, {"img", kRoleBreaksOut}, {"li", kRoleBreaksOut}, {"listing", kRoleBreaksOut},
            {"menu", kRoleBreaksOut}, {"nobr", kRoleBreaksOut}, {"ol", kRoleBreaksOut}, {"pre", kRoleBreaksOut},
            {"ruby", kRoleBreaksOut}, {"s", kRoleBreaksOut}, {"small", kRoleBreaksOut}, {"span", kRoleBreaksOut},
            {"strong", kRoleBreaksOut}, {"strike", kRoleBreaksOut}, {"sub", kRoleBreaksOut}, {"sup", kRoleBreaksOut},
            {"table", kRoleBreaksOut}, {"tt", kRoleBreaksOut}, {"u", kRoleBreaksOut}, {"ul", kRoleBreaksOut},
            {"var", kRoleBreaksOut}};
        for (const auto& entry : kNames) {
            size_t slot = Hash(entry.name);
            while (slots_[slot].name != nullptr) slot = (slot + 1) % kSlots;
            slots_[slot] = {entry.name, entry.roles};
        }
    }
    unsigned Of(std::string_view name) const {
        if (name.empty() || name.size() > 14) return 0;
        for (size_t slot = Hash(name);; slot = (slot + 1) % kSlots) {
            if (slots_[slot].name == nullptr) return 0;
            if (name == slots_[slot].name) return slots_[slot].roles;
        }
    }

private:
    static constexpr size_t kSlots = 256;
    static size_t Hash(std::string_view name) {
        return (name.size() * 31 + static_cast<unsigned char>(name[0]) * 7 + static_cast<unsigned char>(name.back()) * 3 +
                (name.size() > 1 ? static_cast<unsigned char>(name[1]) : 0)) % kSlots;
    }
    struct Slot {
        const char* name = nullptr;
        unsigned roles = 0;
    } slots_[kSlots];
};

const Roles& NameRoles() {
    static const Roles roles;
    return roles;
}

// Start tags that end SVG and MathML content (and <font> with a colour, face or size).
bool BreaksOutOfForeignContent(const ReadTag& tag, std::string_view page) {
    if (tag.roles & kRoleBreaksOut) return true;
    if (!(tag.roles & kRoleFont)) return false;
    for (const ReadAttribute& a : tag.attributes) {
        const std::string_view name = page.substr(a.nameBegin, a.nameEnd - a.nameBegin);
        if (ascii::EqualsNoCase(name, "color") || ascii::EqualsNoCase(name, "face") || ascii::EqualsNoCase(name, "size")) {
            return true;
        }
    }
    return false;
}

// An open element of SVG or MathML content, or an HTML element opened inside one of their integration points.
struct Open {
    std::string name;
    bool math = false;
    bool html = false;
    bool htmlIntegration = false;  // SVG foreignObject, desc, title; MathML annotation-xml as HTML
    bool textIntegration = false;  // MathML mi, mo, mn, ms, mtext
};

class Reader {
public:
    Reader(std::string_view page, size_t begin, size_t end, ReaderEvents* events, bool scripting)
        : page_(page), at_(begin), end_(end), events_(events), scripting_(scripting) {}

    void Run();
    // True when the page ended in ordinary content, as a browser with scripts off reads it.
    bool EndedInData() const { return endedInData_ && foreign_.empty() && exact_; }

private:
    bool Exact(size_t at) const { return exact_ && at >= inexactUntil_; }
    char At(size_t i) const { return i < end_ ? page_[i] : '\0'; }
    bool StartsWith(size_t i, std::string_view text) const {
        return i + text.size() <= end_ && page_.compare(i, text.size(), text) == 0;
    }
    bool StartsWithNoCase(size_t i, std::string_view lower) const {
        return i + lower.size() <= end_ && ascii::EqualsNoCase(page_.substr(i, lower.size()), lower);
    }
    size_t Find(std::string_view text, size_t from) const {
        const size_t found = page_.substr(0, end_).find(text, from);
        return found == kNone ? end_ : found;
    }

    void Text(size_t begin, size_t end, TextKind kind, std::string_view element) {
        if (end <= begin || events_ == nullptr) return;
        if (begin < inexactUntil_ && inexactUntil_ < end) {
            events_->Text(begin, inexactUntil_, kind, element, false);
            begin = inexactUntil_;
        }
        events_->Text(begin, end, kind, element, Exact(begin));
    }
    void CommentText(size_t begin, size_t end) {
        if (events_ != nullptr) events_->Comment(begin, end);
    }

    size_t Markup(size_t lt);
    size_t Declaration(size_t lt);
    size_t Comment(size_t lt);
    size_t BogusComment(size_t contentBegin);
    // Reads the tag at `lt` into tag_; the position after it, or kNone when the page ends inside it.
    size_t ReadTagAt(size_t lt, bool isEnd);
    size_t StartTag(size_t after);
    void EndTag();
    // Where the text of an element read as RCDATA or raw text ends: at its own end tag.
    size_t RawEnd(size_t from, std::string_view name) const;
    size_t ScriptEnd(size_t from) const;
    bool EndTagNamed(size_t lt, std::string_view name) const;
    size_t RawElement(size_t from, TextKind kind, const std::string& name);

    bool InForeign() const { return !foreign_.empty() && !foreign_.back().html; }
    void ForeignStartTag();
    void ForeignEndTag();
    void PushForeign(const ReadTag& tag, bool math);
    void PopToHtml() {
        while (!foreign_.empty() && !foreign_.back().html && !foreign_.back().htmlIntegration &&
               !foreign_.back().textIntegration) {
            foreign_.pop_back();
        }
    }

    std::string_view page_;
    size_t at_;
    size_t end_;
    ReaderEvents* events_;
    bool scripting_;
    ReadTag tag_;
    std::vector<Open> foreign_;
    bool exact_ = true;
    size_t inexactUntil_ = 0;
    bool inSelect_ = false;
    bool endedInData_ = true;
};

void Reader::Run() {
    while (at_ < end_) {
        const void* found = memchr(page_.data() + at_, '<', end_ - at_);
        const size_t lt = found ? static_cast<size_t>(static_cast<const char*>(found) - page_.data()) : end_;
        Text(at_, lt, TextKind::kData, std::string_view());
        if (lt == end_) break;
        at_ = Markup(lt);
    }
}

size_t Reader::Markup(size_t lt) {
    const char c = At(lt + 1);
    if (c == '!') return Declaration(lt);
    if (c == '?') return BogusComment(lt + 1);
    if (c == '/') {
        const char next = At(lt + 2);
        if (IsLetter(next)) {
            const size_t after = ReadTagAt(lt, true);
            if (after == kNone) return endedInData_ = false, end_;
            EndTag();
            return after;
        }
        if (next == '>') return lt + 3;  // "</>" is dropped
        if (lt + 2 >= end_) {
            Text(lt, end_, TextKind::kData, std::string_view());
            return end_;
        }
        return BogusComment(lt + 2);
    }
    if (IsLetter(c)) {
        const size_t after = ReadTagAt(lt, false);
        if (after == kNone) return endedInData_ = false, end_;
        return StartTag(after);
    }
    // A "<" that starts no markup is text.
    Text(lt, lt + 1, TextKind::kData, std::string_view());
    return lt + 1;
}

size_t Reader::Declaration(size_t lt) {
    if (StartsWith(lt + 2, "--")) return Comment(lt);
    if (StartsWithNoCase(lt + 2, "doctype")) {
        const size_t close = Find(">", lt + 9);
        if (events_ != nullptr) events_->Doctype(lt, close == end_ ? end_ : close + 1);
        if (close == end_) endedInData_ = false;
        return close == end_ ? end_ : close + 1;
    }
    if (StartsWith(lt + 2, "[CDATA[")) {
        if (InForeign()) {
            const size_t close = Find("]]>", lt + 9);
            Text(lt + 9, close, TextKind::kCData, std::string_view());
            if (close == end_) endedInData_ = false;
            return close == end_ ? end_ : close + 3;
        }
        // Read as a bogus comment here; where a browser reads SVG or MathML
        // that this reader does not, it is a CDATA section up to "]]>".
        const size_t close = Find("]]>", lt + 9);
        if (close > inexactUntil_) inexactUntil_ = close == end_ ? end_ : close + 3;
    }
    return BogusComment(lt + 2);
}

// A comment ends at the first "-->" or "--!>", or at once at "<!-->" and "<!--->".
size_t Reader::Comment(size_t lt) {
    const size_t begin = lt + 4;
    if (At(begin) == '>') return CommentText(begin, begin), begin + 1;
    if (StartsWith(begin, "->")) return CommentText(begin, begin), begin + 2;
    for (size_t from = begin;;) {
        const size_t dashes = Find("--", from);
        if (dashes == end_) {
            // At the page's end the tokenizer leaves out up to two dashes that would have begun "-->".
            size_t textEnd = end_;
            for (int n = 0; n < 2 && textEnd > begin && page_[textEnd - 1] == '-'; ++n) --textEnd;
            CommentText(begin, textEnd);
            endedInData_ = false;
            return end_;
        }
        size_t k = dashes + 2;
        while (k < end_ && page_[k] == '-') ++k;
        // Of a run of dashes before the ">", the last two end the comment; the others are its text.
        if (At(k) == '>') return CommentText(begin, k - 2), k + 1;
        if (At(k) == '!' && At(k + 1) == '>') return CommentText(begin, k - 2), k + 2;
        from = dashes + 1;
    }
}

size_t Reader::BogusComment(size_t contentBegin) {
    const size_t close = Find(">", contentBegin);
    CommentText(contentBegin, close);
    if (close == end_) endedInData_ = false;
    return close == end_ ? end_ : close + 1;
}

size_t Reader::ReadTagAt(size_t lt, bool isEnd) {
    ReadTag& tag = tag_;
    tag.begin = lt;
    tag.isEnd = isEnd;
    tag.selfClosing = false;
    tag.foreign = false;
    tag.name.clear();
    tag.attributes.clear();
    size_t i = lt + (isEnd ? 2 : 1);
    const size_t nameBegin = i;
    while (i < end_ && !IsBlank(page_[i]) && page_[i] != '/' && page_[i] != '>') ++i;
    for (size_t k = nameBegin; k < i && k < nameBegin + kKeptNameLength; ++k) tag.name.push_back(Lower(page_[k]));
    if (i - nameBegin > kKeptNameLength) tag.name.push_back('\x7f');  // matches no rule
    tag.roles = NameRoles().Of(tag.name);
    for (;;) {
        while (i < end_ && IsBlank(page_[i])) ++i;
        if (i >= end_) return kNone;
        if (page_[i] == '>') {
            tag.end = i + 1;
            return tag.end;
        }
        if (page_[i] == '/') {
            ++i;
            if (At(i) == '>') {
                tag.selfClosing = true;
                tag.end = i + 1;
                return tag.end;
            }
            continue;
        }
        ReadAttribute a{i, i, 0, 0, false};
        if (page_[i] == '=') ++i;  // an "=" that starts a name belongs to it
        while (i < end_ && !IsBlank(page_[i]) && page_[i] != '/' && page_[i] != '>' && page_[i] != '=') ++i;
        a.nameEnd = i;
        while (i < end_ && IsBlank(page_[i])) ++i;
        if (At(i) == '=') {
            ++i;
            while (i < end_ && IsBlank(page_[i])) ++i;
            if (i >= end_) return kNone;
            a.hasValue = true;
            if (page_[i] == '"' || page_[i] == '\'') {
                const void* close = memchr(page_.data() + i + 1, page_[i], end_ - i - 1);
                if (close == nullptr) return kNone;
                a.valueBegin = i + 1;
                a.valueEnd = static_cast<size_t>(static_cast<const char*>(close) - page_.data());
                i = a.valueEnd + 1;
            } else {
                a.valueBegin = i;
                while (i < end_ && !IsBlank(page_[i]) && page_[i] != '>') ++i;
                a.valueEnd = i;
            }
        }
        tag.attributes.push_back(a);
    }
}

size_t Reader::StartTag(size_t after) {
    ReadTag& tag = tag_;
    if (!foreign_.empty()) {
        ForeignStartTag();
    } else if (tag.roles & (kRoleSvg | kRoleMath)) {
        // In a <select> browsers have dropped such a tag, and newer ones keep it.
        if (inSelect_) exact_ = false;
        PushForeign(tag, tag.roles & kRoleMath);
    }
    if (events_ != nullptr) events_->Tag(tag, Exact(tag.begin));
    if (tag.foreign || (!foreign_.empty() && !foreign_.back().html)) return after;
    // What follows an HTML start tag.
    const std::string& name = tag.name;
    const unsigned roles = tag.roles;
    // In a <select> the tree builder has dropped these tags, so that their
    // text was markup, where newer browsers keep them; after a <frameset> it
    // drops them all.
    if ((roles & kRoleFrameset) || (inSelect_ && (roles & kRoleSelectDrops))) exact_ = false;
    if (roles & kRoleSelect) inSelect_ = true;
    if (roles & kRoleEndsSelect) inSelect_ = false;
    if (roles & (kRoleTitle | kRoleTextarea)) return RawElement(after, TextKind::kRcdata, name);
    if (roles & kRoleScript) return RawElement(after, TextKind::kScriptData, name);
    if (roles & kRolePlainText) {
        Text(after, end_, TextKind::kPlainText, name);
        endedInData_ = false;
        return end_;
    }
    const bool noScript = (roles & kRoleNoScript) && scripting_;
    if (noScript) {
        // Browsers without scripts read the content as markup: where that
        // reading would not end in ordinary content, the two readings part
        // after it, and nothing from there on is rewritten.
        Reader withoutScripts(page_, after, RawEnd(after, name), nullptr, false);
        withoutScripts.Run();
        if (!withoutScripts.EndedInData()) exact_ = false;
    }
    if ((roles & kRoleRawText) || noScript) {
        return RawElement(after, TextKind::kRawText, name);
    }
    return after;
}

size_t Reader::RawElement(size_t from, TextKind kind, const std::string& name) {
    const std::string element = name;  // tag_ is read anew for the end tag
    const size_t close = kind == TextKind::kScriptData ? ScriptEnd(from) : RawEnd(from, element);
    Text(from, close, kind, element);
    if (close == end_) {
        endedInData_ = false;
        return end_;
    }
    const size_t after = ReadTagAt(close, true);
    if (after == kNone) return endedInData_ = false, end_;
    EndTag();
    return after;
}

bool Reader::EndTagNamed(size_t lt, std::string_view name) const {
    if (!StartsWith(lt, "</") || !StartsWithNoCase(lt + 2, name)) return false;
    const char after = At(lt + 2 + name.size());
    return IsBlank(after) || after == '/' || after == '>';
}

size_t Reader::RawEnd(size_t from, std::string_view name) const {
    for (size_t i = from;; ++i) {
        i = Find("</", i);
        if (i == end_ || EndTagNamed(i, name)) return i;
    }
}

// Script data with its escaped and double-escaped states ("<!--", "<script" inside it).
size_t Reader::ScriptEnd(size_t from) const {
    enum State { kData, kEscaped, kEscapedDash, kEscapedDashDash, kDouble, kDoubleDash, kDoubleDashDash } state = kData;
    // The letters of a tag name after "<" or "</", and whether "script" and a blank, "/" or ">" follow.
    const auto scriptName = [&](size_t i) {
        return StartsWithNoCase(i, "script") && (IsBlank(At(i + 6)) || At(i + 6) == '/' || At(i + 6) == '>');
    };
    for (size_t i = from; i < end_;) {
        const char c = page_[i];
        switch (state) {
            case kData: {
                const void* lt = memchr(page_.data() + i, '<', end_ - i);
                if (lt == nullptr) return end_;
                i = static_cast<size_t>(static_cast<const char*>(lt) - page_.data());
                if (EndTagNamed(i, "script")) return i;
                if (StartsWith(i, "<!--")) {
                    state = kEscapedDashDash;
                    i += 4;
                } else {
                    ++i;
                }
                continue;
            }
            case kEscaped:
            case kEscapedDash:
            case kEscapedDashDash:
                if (c == '-') {
                    state = state == kEscaped ? kEscapedDash : kEscapedDashDash;
                } else if (c == '<') {
                    if (EndTagNamed(i, "script")) return i;
                    if (IsLetter(At(i + 1)) && scriptName(i + 1)) {
                        state = kDouble;
                        i += 8;
                        continue;
                    }
                    state = kEscaped;
                } else if (c == '>' && state == kEscapedDashDash) {
                    state = kData;
                } else {
                    state = kEscaped;
                }
                ++i;
                continue;
            case kDouble:
            case kDoubleDash:
            case kDoubleDashDash:
                if (c == '-') {
                    state = state == kDouble ? kDoubleDash : kDoubleDashDash;
                } else if (c == '<') {
                    if (At(i + 1) == '/' && scriptName(i + 2)) {
                        state = kEscaped;
                        i += 9;
                        continue;
                    }
                    state = kDouble;
                } else if (c == '>' && state == kDoubleDashDash) {
                    state = kData;
                } else {
                    state = kDouble;
                }
                ++i;
                continue;
        }
    }
    return end_;
}

void Reader::PushForeign(const ReadTag& tag, bool math) {
    if (tag.selfClosing) {
        tag_.foreign = true;
        return;
    }
    Open open;
    open.name = tag.name;
    open.math = math;
    if (!math && (tag.roles & kRoleSvgIntegration)) open.htmlIntegration = true;
    if (math && (tag.roles & kRoleMathText)) open.textIntegration = true;
    if (math && (tag.roles & kRoleAnnotationXml)) {
        for (const ReadAttribute& a : tag.attributes) {
            if (!ascii::EqualsNoCase(page_.substr(a.nameBegin, a.nameEnd - a.nameBegin), "encoding")) continue;
            const std::string value = ascii::Lowered(ascii::Trim(page_.substr(a.valueBegin, a.valueEnd - a.valueBegin)));
            open.htmlIntegration = value == "text/html" || value == "application/xhtml+xml";
            break;
        }
    }
    foreign_.push_back(std::move(open));
    tag_.foreign = true;
}

// A start tag while SVG or MathML is open, as the tree builder dispatches it.
void Reader::ForeignStartTag() {
    const ReadTag& tag = tag_;
    for (;;) {
        if (foreign_.empty()) {
            if (tag.roles & (kRoleSvg | kRoleMath)) PushForeign(tag, tag.roles & kRoleMath);
            return;
        }
        const Open& top = foreign_.back();
        const bool asHtml = top.html || top.htmlIntegration ||
                            (top.textIntegration && !(tag.roles & kRoleMathGlyph)) ||
                            (top.name == "annotation-xml" && (tag.roles & kRoleSvg));
        if (asHtml) {
            if (tag.roles & (kRoleSvg | kRoleMath)) return PushForeign(tag, tag.roles & kRoleMath);
            // HTML inside SVG or MathML: the tree builder's rules for it are not modelled here.
            exact_ = false;
            if (!tag.selfClosing) {
                Open open;
                open.name = tag.name;
                open.html = true;
                foreign_.push_back(std::move(open));
            }
            return;
        }
        if (BreaksOutOfForeignContent(tag, page_)) {
            PopToHtml();
            if (!foreign_.empty()) exact_ = false;
            continue;
        }
        return PushForeign(tag, top.math);
    }
}

void Reader::EndTag() {
    tag_.foreign = InForeign();
    if (events_ != nullptr) events_->Tag(tag_, Exact(tag_.begin));
    if (foreign_.empty()) {
        if (tag_.roles & kRoleSelect) inSelect_ = false;
        return;
    }
    ForeignEndTag();
}

void Reader::ForeignEndTag() {
    const std::string& name = tag_.name;
    if (foreign_.back().html) {
        // An end tag for HTML inside an integration point: the tag name matched, as the simplest reading.
        if (foreign_.back().name == name) foreign_.pop_back();
        exact_ = false;
        return;
    }
    if (tag_.roles & kRoleBrOrP) {
        PopToHtml();
        if (!foreign_.empty()) exact_ = false;
        return;
    }
    for (size_t i = foreign_.size(); i-- > 0;) {
        if (foreign_[i].html) break;
        if (foreign_[i].name == name) {
            foreign_.resize(i);
            return;
        }
    }
    // Handed to the HTML rules, which may close an element outside SVG or MathML or do nothing.
    exact_ = false;
}

}  // namespace

void ReadPage(std::string_view page, ReaderEvents& events) {
    Reader(page, 0, page.size(), &events, true).Run();
}

bool ReadNoScriptContent(std::string_view page, size_t begin, size_t end, ReaderEvents& events) {
    Reader trial(page, begin, end, nullptr, false);
    trial.Run();
    if (!trial.EndedInData()) return false;
    Reader(page, begin, end, &events, false).Run();
    return true;
}

}  // namespace site
