// The strong form: each text and attribute value that a script can put back for visitors sealed with the site's key; what it cannot (meta content, JSON-LD, a title, noscript content) left to the default form's references.
#include "Strong.h"

#include <string.h>

#include <algorithm>
#include <unordered_set>

#include "Ascii.h"
#include "CharacterReferences.h"
#include "PageRules.h"
#include "Places.h"
#include "Reader.h"
#include "References.h"
#include "Scan.h"

namespace site {

namespace {

const char kBase64Url[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// The value as the DOM holds it: line ends as LF, and NUL as U+FFFD (in a tree's ordinary text the tree
// builder drops it), as the parser reads them.
std::string AsParsed(std::string_view raw, ReferenceContext context, bool ordinaryText = false) {
    std::string decoded;
    DecodeReferences(raw, context, &decoded);
    std::string out;
    out.reserve(decoded.size());
    for (size_t i = 0; i < decoded.size(); ++i) {
        const char c = decoded[i];
        if (c == '\r') {
            out.push_back('\n');
            if (i + 1 < decoded.size() && decoded[i + 1] == '\n') ++i;
        } else if (c == '\0') {
            if (!ordinaryText) out.append("\xEF\xBF\xBD");
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// Where a decoded value holds something to hide: an address or the word
// "mailto:", percent-escapes read too, as a URL parser reads them.
bool HoldsAddress(std::string_view value, const std::unordered_set<std::string>* accepted) {
    for (const Span& s : FindAddresses(value)) {
        if (accepted == nullptr || accepted->count(ascii::Lowered(value.substr(s.begin, s.end - s.begin))) == 0) return true;
    }
    return false;
}

// UTF-8 as a strict decoder takes it (the decoder's TextDecoder is one): no overlong form, surrogate or
// value past U+10FFFF. A value that is not stays in the page, where the browser's own decoder reads it.
bool IsStrictUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        const unsigned char second = length > 1 ? static_cast<unsigned char>(text[i + 1]) : 0;
        if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
            (c == 0xF4 && second > 0x8F)) {
            return false;
        }
        i += length;
    }
    return true;
}

// A value as a URL parser reads it: tabs and line breaks dropped (m<LF>ailto: is a mail link) and
// percent-escapes read; and where each of its bytes starts in the value.
struct Unescaped {
    std::string text;
    std::vector<size_t> from;  // one a byte of `text`, and the value's size at the end
    explicit Unescaped(std::string_view value) {
        for (size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\t' || value[i] == '\n' || value[i] == '\r') continue;
            from.push_back(i);
            if (value[i] == '%' && i + 2 < value.size() && ascii::IsHexDigit(value[i + 1]) && ascii::IsHexDigit(value[i + 2])) {
                text.push_back(static_cast<char>(std::stoi(std::string(value.substr(i + 1, 2)), nullptr, 16)));
                i += 2;
            } else {
                text.push_back(value[i]);
            }
        }
        from.push_back(value.size());
    }
};

bool HoldsSomething(std::string_view value, const std::unordered_set<std::string>* accepted) {
    if (FindMailto(value, 0) != std::string_view::npos || HoldsAddress(value, accepted)) return true;
    if (value.find_first_of("%\t\n\r") == std::string_view::npos) return false;
    const Unescaped unescaped(value);
    return FindMailto(unescaped.text, 0) != std::string::npos || HoldsAddress(unescaped.text, accepted);
}

// The value a visitor without JavaScript gets: each address as the fallback text, and "mailto:" gone, as
// the value reads with its percent-escapes too, so that a collector that reads those finds nothing either.
// One pass; where taking a word out joins an address anew, the whole value is the fallback text.
std::string Fallback(std::string_view value, std::string_view fallbackText) {
    const Unescaped unescaped(value);
    std::vector<std::pair<Span, bool>> found;  // and whether it is an address
    for (const Span& s : FindAddresses(unescaped.text)) found.push_back({s, true});
    for (size_t at = 0; (at = FindMailto(unescaped.text, at)) != std::string::npos; at += 6) {
        const size_t length = at + 7 <= unescaped.text.size() && unescaped.text[at + 6] == ':' ? 7 : 6;
        found.push_back({{at, at + length}, false});
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first.begin < b.first.begin; });
    std::string out;
    size_t copied = 0;
    for (const auto& [span, address] : found) {
        const size_t begin = unescaped.from[span.begin], end = unescaped.from[span.end];
        if (begin < copied) continue;
        out.append(value.substr(copied, begin - copied));
        if (address) out.append(fallbackText);
        copied = end;
    }
    out.append(value.substr(copied));
    if (HoldsSomething(out, nullptr)) return std::string(fallbackText);
    return out;
}

void AppendEscaped(std::string_view text, bool attribute, std::string* out) {
    for (const char c : text) {
        if (c == '&') out->append("&amp;");
        else if (c == '<') out->append("&lt;");
        else if (c == '>') out->append("&gt;");
        else if (c == '"' && attribute) out->append("&quot;");
        else out->push_back(c);
    }
}

// A name that a script can set again (setAttribute takes XML's names): ASCII letters, digits, "-", "_",
// ":" and ".", not starting with a digit, "-" or ".". Any other the parser takes is left to the references.
bool Settable(std::string_view name) {
    if (name.empty() || ascii::IsDigit(name[0]) || name[0] == '-' || name[0] == '.') return false;
    for (const char c : name) {
        if (!ascii::IsAlphanumeric(c) && c != '-' && c != '_' && c != ':' && c != '.') return false;
    }
    return true;
}

bool IsMailtoHref(std::string_view name, std::string_view value) {
    if (!ascii::EqualsNoCase(name, "href") && !ascii::EqualsNoCase(name, "xlink:href")) return false;
    std::string compact;
    for (const char c : ascii::Trim(value)) {
        if (c != '\t' && c != '\n' && c != '\r') compact.push_back(ascii::Lower(c));
    }
    return compact.compare(0, 7, "mailto:") == 0;
}

// One change of the page: [begin, end) becomes `text`.
struct Change {
    size_t begin, end;
    std::string text;
    size_t element;  // where the element it belongs to starts: an element may be put before it there
};

// Reads the page once and seals each text run and attribute value that holds something, where a
// script can put it back: text in the page's content (not in SVG or MathML, a <select>, a <noscript>
// as read without scripts, nor an <!--email_off--> region), and the attributes of any element there
// but <meta>, <link> and <base>, which only robots read.
class Sealer : public ReaderEvents {
public:
    Sealer(std::string_view page, const ProtectOptions& options, bool unicode)
        : page_(page), setting_(*options.strong), accepted_(options.accepted), unicode_(unicode) {}

    void Text(size_t begin, size_t end, TextKind kind, std::string_view element, bool exact) override {
        const bool beforeBody = !inBody_;
        if (kind == TextKind::kData && page_.substr(begin, end - begin).find_first_not_of(" \t\n\f\r") != std::string_view::npos) {
            otherTag_ = inBody_ = true;  // text opens the body: what follows is content
        }
        if (!exact || optOut_) return;
        if (kind == TextKind::kRawText && element == "noscript" && !inNoScript_) {
            // What browsers without scripts read there, and only they: no script can put an address
            // back for them, so it becomes the fallback alone.
            inNoScript_ = true;
            ReadNoScriptContent(page_, begin, end, *this);
            inNoScript_ = false;
            return;
        }
        const bool rcdata = kind == TextKind::kRcdata && lastTagEnd_ == begin;
        const bool option = kind == TextKind::kData && inSelect_ && lastTagEnd_ == begin && lastTagName_ == "option";
        if (!rcdata && !option && (kind != TextKind::kData || foreign_ != 0 || inSelect_)) return;
        if (beforeBody && !rcdata && !option && !inNoScript_) {
            // Blanks that lead the first text of the body stay outside the span: before the body the tree
            // builder drops them or keeps them apart, where it would put a span's into the body. In the
            // body they stay inside, as a table moves a run of blanks alone otherwise than one with text.
            while (begin < end && ascii::IsBlank(page_[begin])) ++begin;
        }
        const std::string_view raw = page_.substr(begin, end - begin);
        if (!Worth(raw)) return;
        const std::string value = AsParsed(raw, ReferenceContext::kText, kind == TextKind::kData);
        if (!IsStrictUtf8(value) || !HoldsSomething(value, accepted_)) return;
        std::string fallback;
        AppendEscaped(Fallback(value, setting_.fallbackText), false, &fallback);
        if (inNoScript_) {
            changes.push_back({begin, end, std::move(fallback), begin});
            ++sealedValues;
        } else if (rcdata || option) {
            // A title, a textarea or an option holds no element: the sealed text goes on the element itself.
            changes.push_back({lastTagNameEnd_, lastTagNameEnd_,
                               std::string(" ") + kSealedText + "=\"" + Seal(value, setting_.key) + "\"", lastTagBegin_});
            changes.push_back({begin, end, std::move(fallback), lastTagBegin_});
            ++sealedValues;
        } else {
            changes.push_back({begin, end, std::string("<span ") + kSealedText + "=\"" + Seal(value, setting_.key) + "\">" +
                                               fallback + "</span>", begin});
            ++sealedValues;
        }
    }

    void Tag(const ReadTag& tag, bool exact) override {
        if (tag.isEnd) {
            if (tag.roles & (kRoleSvg | kRoleMath)) foreign_ -= foreign_ > 0;
            if (tag.roles & kRoleSelect) inSelect_ = false;
            if (tag.name == "head" && headEnd == kNone && !inNoScript_) headEnd = tag.begin;
            return;
        }
        if (!inNoScript_ && !otherTag_) {
            if (tag.name == "html" || tag.name == "head" || tag.name == "body") contentStart = tag.end;
            else otherTag_ = true;
        }
        // The elements that a page's head holds; any other, and <body>, opens the body.
        static const std::unordered_set<std::string> kHead = {"html", "head", "meta", "title", "link", "style", "script",
                                                              "base", "noscript", "template", "basefont", "bgsound"};
        if (!inNoScript_ && kHead.count(tag.name) == 0) inBody_ = true;
        lastTagBegin_ = tag.begin;
        lastTagEnd_ = tag.end;
        lastTagName_ = tag.name;
        lastTagNameEnd_ = tag.begin + 1;
        while (lastTagNameEnd_ < page_.size() && !ascii::IsBlank(page_[lastTagNameEnd_]) && page_[lastTagNameEnd_] != '/' &&
               page_[lastTagNameEnd_] != '>') {
            ++lastTagNameEnd_;
        }
        if (tag.roles & kRoleSelect) inSelect_ = true;
        if ((tag.roles & (kRoleSvg | kRoleMath)) && !tag.selfClosing) ++foreign_;
        if ((tag.roles & kRoleScript) && ascii::Lowered(AttributeNamed(tag, "src")).find(kDecoderName) != std::string::npos) {
            hasDecoder = true;
        }
        if (!exact || optOut_ || tag.name == "meta" || tag.name == "link" || tag.name == "base") return;
        SealAttributes(tag);
    }

    void Comment(size_t begin, size_t end) override {
        const std::string_view text = ascii::Trim(page_.substr(begin, end - begin));
        if (text == "email_off") optOut_ = true;
        if (text == "/email_off") optOut_ = false;
    }
    void Doctype(size_t, size_t) override {}

    static constexpr size_t kNone = std::string_view::npos;
    std::vector<Change> changes;
    size_t headEnd = kNone;
    bool hasDecoder = false;
    // Where an element may go when the page has no </head> and nothing sealed: after the <html>, <head> or
    // <body> start tags that come before anything else, so that what leads the page stays where it is;
    // kNone when it has none, and a page without a seal then gets no script.
    size_t contentStart = kNone;
    size_t sealedValues = 0, sealedAnchors = 0;

private:
    // Only a value with an "@", the word "mailto" or a reference can hold something; a page in a
    // charset other than UTF-8 keeps its bytes above 127 where they are (the references take it).
    bool Worth(std::string_view raw) const {
        if (!unicode_) {
            for (const char c : raw) {
                if (static_cast<unsigned char>(c) > 127) return false;
            }
        }
        return raw.find('@') != std::string_view::npos || raw.find('&') != std::string_view::npos ||
               raw.find('%') != std::string_view::npos || FindMailto(raw, 0) != std::string_view::npos;
    }

    std::string AttributeNamed(const ReadTag& tag, std::string_view name) const {
        for (const ReadAttribute& a : tag.attributes) {
            if (ascii::EqualsNoCase(page_.substr(a.nameBegin, a.nameEnd - a.nameBegin), name)) {
                return std::string(page_.substr(a.valueBegin, a.valueEnd - a.valueBegin));
            }
        }
        return std::string();
    }

    void SealAttributes(const ReadTag& tag) {
        std::string sealed;
        std::vector<Change> attributes;
        bool anchor = false;
        // Sets, as a tag may hold many thousand attributes: the work stays linear in them.
        std::unordered_set<std::string> seen, taken;
        for (const ReadAttribute& a : tag.attributes) {
            const std::string name = ascii::Lowered(page_.substr(a.nameBegin, a.nameEnd - a.nameBegin));
            const bool quoted = a.hasValue && a.valueEnd < page_.size() && a.valueBegin > 0 &&
                                (page_[a.valueEnd] == '"' || page_[a.valueEnd] == '\'') && page_[a.valueBegin - 1] == page_[a.valueEnd];
            const size_t end = a.hasValue ? a.valueEnd + (quoted ? 1 : 0) : a.nameEnd;
            // The parser keeps the first of two attributes of one name. A later one of a name whose first
            // is taken goes too, so that it cannot become the first where that one goes.
            if (!seen.insert(name).second) {
                if (taken.count(name) != 0) attributes.push_back({a.nameBegin, end, "", tag.begin});
                continue;
            }
            // In SVG and MathML the parser gives xlink:, xml: and xmlns: attributes their namespace, which
            // setAttribute would not: those take references.
            if (!a.hasValue || name == kSealedAttributes || name == kSealedText || !Settable(name) ||
                (tag.foreign && name.find(':') != std::string::npos)) {
                continue;
            }
            const std::string_view raw = page_.substr(a.valueBegin, a.valueEnd - a.valueBegin);
            if (!Worth(raw)) continue;
            const std::string value = AsParsed(raw, ReferenceContext::kAttribute);
            if (!IsStrictUtf8(value) || !HoldsSomething(value, accepted_)) continue;
            sealed.append(name).push_back('\0');
            sealed.append(value).push_back('\0');
            taken.insert(name);
            Change change{a.nameBegin, end, std::string(), tag.begin};
            if (IsMailtoHref(name, value)) {
                anchor = anchor || (tag.roles & kRoleAnchor) != 0;
                // Without JavaScript a mail link goes to the contact page, or nowhere: never to a dead mailto:.
                if (!setting_.fallbackUrl.empty()) {
                    change.text = std::string(page_.substr(a.nameBegin, a.nameEnd - a.nameBegin)) + "=\"";
                    AppendEscaped(setting_.fallbackUrl, true, &change.text);
                    change.text.push_back('"');
                }
            } else {
                change.text = std::string(page_.substr(a.nameBegin, a.nameEnd - a.nameBegin)) + "=\"";
                AppendEscaped(Fallback(value, setting_.fallbackText), true, &change.text);
                change.text.push_back('"');
            }
            attributes.push_back(std::move(change));
        }
        if (attributes.empty()) return;
        sealed.pop_back();
        // Inside a noscript, as browsers without scripts read it, no script runs: the fallback alone.
        if (!inNoScript_) {
            changes.push_back({lastTagNameEnd_, lastTagNameEnd_,
                               std::string(" ") + kSealedAttributes + "=\"" + Seal(sealed, setting_.key) + "\"", tag.begin});
        }
        ++(anchor ? sealedAnchors : sealedValues);
        for (Change& c : attributes) changes.push_back(std::move(c));
    }

    std::string_view page_;
    const StrongSetting& setting_;
    const std::unordered_set<std::string>* accepted_;
    bool unicode_;
    int foreign_ = 0;
    bool inSelect_ = false;
    bool optOut_ = false;
    bool inNoScript_ = false;
    bool otherTag_ = false;  // a start tag other than <html>, <head> and <body> was read
    bool inBody_ = false;    // the body has begun: a start tag of it, or text
    size_t lastTagBegin_ = kNone, lastTagEnd_ = kNone, lastTagNameEnd_ = kNone;
    std::string lastTagName_;
};

// Whether the page reads as UTF-8: declared so, or declaring nothing and holding UTF-8 alone.
bool ReadsAsUtf8(std::string_view page) {
    if (ByteOrderMark(page).charset == Charset::kUtf8) return true;
    PageReading reading;
    ReadPlaces(page, std::vector<Span>(), &reading);
    if (reading.charset == Charset::kUtf8) return true;
    return reading.charset == Charset::kUndeclared && !DoubleByteRisk(page, Charset::kUndeclared);
}

}  // namespace

std::string Seal(std::string_view value, std::string_view key) {
    // n from the value itself: the same value seals the same way on every run and machine.
    unsigned n = 2166136261u;
    for (const char c : value) n = (n ^ static_cast<unsigned char>(c)) * 16777619u;
    n &= 0xFF;
    std::string bytes(1, static_cast<char>(n));
    for (size_t i = 0; i < value.size(); ++i) {
        bytes.push_back(static_cast<char>(value[i] ^ key[(n + i) % kStrongKeyBytes]));
    }
    std::string out;
    unsigned bits = 0, held = 0;
    for (const char c : bytes) {
        bits = (bits << 8) | static_cast<unsigned char>(c);
        held += 8;
        while (held >= 6) {
            held -= 6;
            out.push_back(kBase64Url[(bits >> held) & 63]);
        }
    }
    if (held > 0) out.push_back(kBase64Url[(bits << (6 - held)) & 63]);
    return out;
}

bool Unseal(std::string_view sealed, std::string_view key, std::string* value) {
    std::string bytes;
    unsigned bits = 0, held = 0;
    for (const char c : sealed) {
        const char* at = strchr(kBase64Url, c);
        if (c == '\0' || at == nullptr) return false;
        bits = (bits << 6) | static_cast<unsigned>(at - kBase64Url);
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes.push_back(static_cast<char>((bits >> held) & 0xFF));
        }
    }
    if (bytes.empty() || key.size() != kStrongKeyBytes) return false;
    const unsigned n = static_cast<unsigned char>(bytes[0]);
    value->clear();
    for (size_t i = 1; i < bytes.size(); ++i) value->push_back(static_cast<char>(bytes[i] ^ key[(n + i - 1) % kStrongKeyBytes]));
    return true;
}

void ProtectStrong(std::string_view page, const ProtectOptions& options, ProtectResult* result) {
    const StrongSetting& setting = *options.strong;
    Sealer sealer(page, options, ReadsAsUtf8(page));
    if (!IsWide(ByteOrderMark(page).charset)) ReadPage(page, sealer);
    std::vector<Change>& changes = sealer.changes;
    // Every page refers to the decoder, those without seals too: a visitor may arrive on any page and reach
    // the others by client-side navigation, which runs no script of the page it brings.
    const bool addDecoder = !sealer.hasDecoder && !IsWide(ByteOrderMark(page).charset);
    if (addDecoder) {
        size_t at = sealer.headEnd;
        if (at == Sealer::kNone) {
            for (const Change& c : changes) at = std::min(at, c.element);
        }
        if (at == Sealer::kNone && sealer.contentStart != Sealer::kNone) {
            // After the blanks there, which the tree builder drops before a page's first element and would
            // keep after the script.
            at = sealer.contentStart;
            // and after the comments there, which stay where they are only before the head's first element;
            // after one that runs to the page's end nothing can go.
            for (;;) {
                while (at < page.size() && ascii::IsBlank(page[at])) ++at;
                if (page.compare(at, 4, "<!--") != 0) break;
                const size_t close = page.find("-->", at + 4);
                at = close == std::string_view::npos ? Sealer::kNone : close + 3;
                if (at == Sealer::kNone) break;
            }
        }
        if (at != Sealer::kNone) {
            std::string script = "<script src=\"";
            AppendEscaped(setting.decoderUrl, true, &script);
            changes.push_back({at, at, script + "\" defer></script>", at});
        }
    }
    // An insertion goes before a change that starts where it stands.
    std::stable_sort(changes.begin(), changes.end(),
                     [](const Change& a, const Change& b) { return a.begin != b.begin ? a.begin < b.begin : a.end < b.end; });

    // The page with the seals in it; the default form then takes what is left.
    std::string sealed;
    std::vector<Replaced> seals;
    size_t copied = 0;
    for (const Change& c : changes) {
        sealed.append(page.substr(copied, c.begin - copied));
        seals.push_back({c.begin, c.end - c.begin, sealed.size(), c.text.size()});
        sealed.append(c.text);
        copied = c.end;
    }
    sealed.append(page.substr(copied));
    ProtectResult rest;
    ProtectWithReferences(sealed, options, &rest);
    // The seals hold nothing that the references take; should a run of them still fall inside one, the
    // page takes the default form alone rather than edits that overlap.
    size_t seal = 0;
    for (const Replaced& r : rest.replaced) {
        while (seal < seals.size() && seals[seal].outputOffset + seals[seal].outputLength <= r.inputOffset) ++seal;
        if (seal < seals.size() && seals[seal].outputOffset < r.inputOffset + r.inputLength) {
            *result = ProtectResult();
            ProtectWithReferences(page, options, result);
            result->listed.push_back({0, "the strong form's seals and references met: written as references only"});
            return;
        }
    }
    *result = std::move(rest);
    // An element whose attributes were sealed counts once, as a mail link or a value; so does a text.
    result->rewritten += sealer.sealedAnchors;
    result->values += sealer.sealedValues;
    result->decoderAdded = std::any_of(changes.begin(), changes.end(), [](const Change& c) {
        return c.text.compare(0, 12, "<script src=") == 0;
    });
    if (changes.empty()) return;
    if (result->output.empty()) result->output = sealed;

    // Offsets back in the page's own bytes: a listed offset and each reference run of the second pass
    // stand outside every seal, so that the seals before them give the shift.
    const auto back = [&](size_t offset) {
        long long shift = 0;
        for (const Replaced& s : seals) {
            if (s.outputOffset > offset) break;
            shift += static_cast<long long>(s.outputLength) - static_cast<long long>(s.inputLength);
        }
        return static_cast<size_t>(static_cast<long long>(offset) - shift);
    };
    for (Listed& l : result->listed) l.line = back(l.line);
    // The spans of both passes, as the page's bytes and the final output's: seals shifted by the references after them.
    std::vector<Replaced> all;
    size_t r = 0;
    long long growth = 0;  // what the references before this point added
    for (const Replaced& s : seals) {
        for (; r < result->replaced.size() && result->replaced[r].inputOffset < s.outputOffset; ++r) {
            Replaced ref = result->replaced[r];
            growth += static_cast<long long>(ref.outputLength) - static_cast<long long>(ref.inputLength);
            ref.inputOffset = back(ref.inputOffset);
            all.push_back(ref);
        }
        all.push_back({s.inputOffset, s.inputLength, static_cast<size_t>(static_cast<long long>(s.outputOffset) + growth),
                       s.outputLength});
    }
    for (; r < result->replaced.size(); ++r) {
        Replaced ref = result->replaced[r];
        ref.inputOffset = back(ref.inputOffset);
        all.push_back(ref);
    }
    result->replaced = std::move(all);
}

}  // namespace site
