// A well-formedness reader of XML for feeds and other XML files: tags nest, references are the predefined ones, and each value's place is noted.
#include <string.h>

#include "Ascii.h"
#include "Data.h"
#include "PageRules.h"

namespace site {

namespace {

bool IsNameByte(char c, bool first) {
    const unsigned char b = static_cast<unsigned char>(c);
    return ascii::IsLetter(c) || c == '_' || c == ':' || b >= 0x80 ||
           (!first && (ascii::IsDigit(c) || c == '-' || c == '.'));
}

bool IsXmlBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

class XmlReader {
public:
    XmlReader(std::string_view text, XmlDocument* document) : text_(text), document_(document) {}

    // Empty when the text is a document this reader takes; else what is wrong.
    std::string Read();

private:
    std::string Fail(const char* what) const { return std::string(what) + " at byte " + std::to_string(at_); }
    void SkipBlanks() {
        while (at_ < text_.size() && IsXmlBlank(text_[at_])) ++at_;
    }
    bool StartsWith(std::string_view word) const { return text_.substr(at_, word.size()) == word; }
    std::string_view Name();
    bool Until(std::string_view end, XmlPart::Kind kind);
    bool Characters(size_t end, XmlPart::Kind kind);
    std::string Declaration();
    std::string StartTag(std::vector<std::string_view>* open);
    std::string Markup(std::vector<std::string_view>* open);

    std::string_view text_;
    XmlDocument* document_;
    size_t at_ = 0;
};

std::string_view XmlReader::Name() {
    const size_t start = at_;
    if (at_ < text_.size() && IsNameByte(text_[at_], true)) {
        while (at_ < text_.size() && IsNameByte(text_[at_], false)) ++at_;
    }
    return text_.substr(start, at_ - start);
}

// A comment, CDATA section or instruction up to its end, noted as a part.
bool XmlReader::Until(std::string_view end, XmlPart::Kind kind) {
    const size_t close = text_.find(end, at_);
    if (close == std::string_view::npos) return false;
    document_->parts.push_back({kind, at_, close});
    at_ = close + end.size();
    return true;
}

// Character data or an attribute value up to `end`: no "<", and only the
// predefined entities and character references, which every reader knows.
bool XmlReader::Characters(size_t end, XmlPart::Kind kind) {
    const size_t begin = at_;
    for (; at_ < end; ++at_) {
        if (text_[at_] == '<') return false;
        if (text_[at_] != '&') continue;
        const size_t semicolon = text_.find(';', at_);
        if (semicolon == std::string_view::npos || semicolon >= end) return false;
        const std::string_view name = text_.substr(at_ + 1, semicolon - at_ - 1);
        const bool predefined = name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos";
        bool number = name.size() >= 2 && name[0] == '#';
        const bool hex = number && (name[1] == 'x');
        unsigned long value = 0;
        for (size_t i = hex ? 2 : 1; number && i < name.size(); ++i) {
            number = hex ? ascii::IsHexDigit(name[i]) : ascii::IsDigit(name[i]);
            const unsigned long digit = ascii::IsDigit(name[i]) ? name[i] - '0' : ascii::Lower(name[i]) - 'a' + 10;
            if (value <= 0x10FFFF) value = value * (hex ? 16 : 10) + digit;
        }
        // A reference must name a character XML allows.
        const bool character = number && name.size() > (hex ? 2u : 1u) && value != 0 && value <= 0x10FFFF &&
                               !(value >= 0xD800 && value <= 0xDFFF);
        if (!predefined && !character) return false;
        at_ = semicolon;
    }
    if (end > begin) document_->parts.push_back({kind, begin, end});
    return true;
}

// The XML declaration's encoding must be one in which an ASCII byte is always
// that character: UTF-8, a single-byte charset or EUC-JP, not Shift_JIS
// (windows-31j), Big5 or GBK, whose second bytes can be ASCII letters.
std::string XmlReader::Declaration() {
    const size_t close = text_.find("?>", at_);
    if (close == std::string_view::npos) return Fail("an unclosed XML declaration");
    const std::string declaration = ascii::Lowered(text_.substr(at_, close - at_));
    const size_t encoding = declaration.find("encoding");
    if (encoding != std::string::npos) {
        const size_t quote = declaration.find_first_of("\"'", encoding);
        const size_t end = quote == std::string::npos ? quote : declaration.find(declaration[quote], quote + 1);
        const std::string name = end == std::string::npos ? "" : declaration.substr(quote + 1, end - quote - 1);
        const Charset charset = ClassifyLabel(name);
        if (charset != Charset::kUtf8 && charset != Charset::kSingleByte && charset != Charset::kMultiByte) {
            return Fail(("the encoding " + ascii::Printable(name) + ", in which an ASCII byte may be part of another character").c_str());
        }
    }
    at_ = close + 2;
    return std::string();
}

std::string XmlReader::StartTag(std::vector<std::string_view>* open) {
    ++at_;  // "<"
    const std::string_view name = Name();
    if (name.empty()) return Fail("a tag without a name");
    for (;;) {
        const size_t before = at_;
        SkipBlanks();
        if (StartsWith("/>") || StartsWith(">")) break;
        if (at_ == before) return Fail("no blank between attributes");
        if (Name().empty()) return Fail("an attribute without a name");
        SkipBlanks();
        if (!StartsWith("=")) return Fail("an attribute without a value");
        ++at_;
        SkipBlanks();
        if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\'')) return Fail("an unquoted attribute value");
        const size_t close = text_.find(text_[at_], at_ + 1);
        if (close == std::string_view::npos) return Fail("an unclosed attribute value");
        ++at_;
        if (!Characters(close, XmlPart::kAttribute)) return Fail("a \"<\" or an unknown entity in an attribute value");
        at_ = close + 1;
    }
    if (document_->root.empty()) document_->root = std::string(name);
    else if (open->empty()) return Fail("a second root element");
    if (StartsWith("/>")) {
        at_ += 2;
    } else {
        ++at_;
        open->push_back(name);
    }
    return std::string();
}

// What starts with "<" here: a tag, a comment, CDATA, an instruction or the DOCTYPE.
std::string XmlReader::Markup(std::vector<std::string_view>* open) {
    if (StartsWith("<!--")) {
        at_ += 4;
        return Until("-->", XmlPart::kComment) ? std::string() : Fail("an unclosed comment");
    }
    if (StartsWith("<![CDATA[")) {
        if (open->empty()) return Fail("CDATA outside the root element");
        at_ += 9;
        return Until("]]>", XmlPart::kCData) ? std::string() : Fail("an unclosed CDATA section");
    }
    if (StartsWith("<?xml") && at_ + 5 < text_.size() && IsXmlBlank(text_[at_ + 5])) return Declaration();
    if (StartsWith("<?")) {
        at_ += 2;
        return Until("?>", XmlPart::kInstruction) ? std::string() : Fail("an unclosed processing instruction");
    }
    if (StartsWith("<!DOCTYPE")) {
        // Its quoted identifiers may hold ">"; its own declarations could define entities that this reader does not know.
        for (size_t i = at_ + 9; i < text_.size(); ++i) {
            if (text_[i] == '"' || text_[i] == '\'') {
                i = text_.find(text_[i], i + 1);
                if (i == std::string_view::npos) break;
            } else if (text_[i] == '[') {
                return Fail("a DOCTYPE with declarations of its own");
            } else if (text_[i] == '>') {
                document_->parts.push_back({XmlPart::kComment, at_, i});
                at_ = i + 1;
                return std::string();
            }
        }
        return Fail("an unclosed DOCTYPE");
    }
    if (StartsWith("</")) {
        at_ += 2;
        const std::string_view name = Name();
        SkipBlanks();
        if (open->empty() || name != open->back() || !StartsWith(">")) return Fail("an end tag that closes no open element");
        open->pop_back();
        ++at_;
        return std::string();
    }
    return StartTag(open);
}

std::string XmlReader::Read() {
    if (text_.substr(0, 2) == "\xFF\xFE" || text_.substr(0, 2) == "\xFE\xFF") return "the file is in UTF-16";
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;
    std::vector<std::string_view> open;
    while (at_ < text_.size()) {
        const void* found = memchr(text_.data() + at_, '<', text_.size() - at_);
        const size_t next = found ? static_cast<size_t>(static_cast<const char*>(found) - text_.data()) : text_.size();
        if (open.empty()) {
            // Outside the root element only blanks may stand between the markup.
            for (size_t i = at_; i < next; ++i) {
                if (!IsXmlBlank(text_[i])) return Fail("text outside the root element");
            }
            at_ = next;
        } else if (!Characters(next, XmlPart::kText)) {
            return Fail("an unknown entity or a stray \"&\"");
        }
        if (at_ >= text_.size()) break;
        const std::string problem = Markup(&open);
        if (!problem.empty()) return problem;
    }
    if (!open.empty()) return "the element <" + ascii::Printable(open.back()) + "> is never closed";
    if (document_->root.empty()) return "no root element";
    return std::string();
}

}  // namespace

bool ReadXml(std::string_view text, XmlDocument* document, std::string* problem) {
    *problem = XmlReader(text, document).Read();
    return problem->empty();
}

}  // namespace site
