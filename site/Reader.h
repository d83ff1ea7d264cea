// Reads a page as a stream of tokens, with the states of the HTML tokenizer and a small model of the tree builder's feedback: no tree is built.
#ifndef QUORVANE_SITE_READER_H
#define QUORVANE_SITE_READER_H

#include <stddef.h>

#include <string>
#include <string_view>
#include <vector>

namespace site {

// How the parser reads a run of text: whether it decodes character references there.
enum class TextKind {
    kData,        // ordinary content: references decoded
    kRcdata,      // <title>, <textarea>: references decoded, no markup
    kRawText,     // <style>, <xmp>, <iframe>, <noembed>, <noframes>, <noscript> (scripting on)
    kScriptData,  // <script>
    kPlainText,   // after <plaintext>
    kCData,       // <![CDATA[ ... ]]> in SVG or MathML
};

struct ReadAttribute {
    size_t nameBegin, nameEnd;
    size_t valueBegin, valueEnd;  // the value's bytes without quotes; empty when it has none
    bool hasValue;
};

// What the reader and its callers need to know of a tag's name, looked up once a tag.
enum TagRole : unsigned {
    kRoleTitle = 1u << 0,
    kRoleTextarea = 1u << 1,
    kRoleScript = 1u << 2,
    kRolePlainText = 1u << 3,
    kRoleNoScript = 1u << 4,
    kRoleRawText = 1u << 5,            // style, xmp, iframe, noembed, noframes
    kRoleFrameset = 1u << 6,
    kRoleSelect = 1u << 7,
    kRoleEndsSelect = 1u << 8,         // input, keygen (and textarea)
    kRoleSvg = 1u << 9,
    kRoleMath = 1u << 10,
    kRoleBreaksOut = 1u << 11,         // HTML that ends SVG or MathML content
    kRoleFont = 1u << 12,
    kRoleSvgIntegration = 1u << 13,    // foreignobject, desc, title
    kRoleMathText = 1u << 14,          // mi, mo, mn, ms, mtext
    kRoleAnnotationXml = 1u << 15,
    kRoleMathGlyph = 1u << 16,         // mglyph, malignmark
    kRoleBrOrP = 1u << 17,
    kRoleMeta = 1u << 18,
    kRoleAnchor = 1u << 19,
    kRoleSelectDrops = kRoleTitle | kRoleRawText | kRoleNoScript | kRolePlainText,
};

struct ReadTag {
    size_t begin;  // the "<"
    size_t end;    // after the ">" (or the page's end)
    bool isEnd;
    bool selfClosing;
    bool foreign;  // an element of SVG or MathML content
    std::string name;  // lower case
    unsigned roles;    // TagRole bits of the name
    std::vector<ReadAttribute> attributes;
};

// Where a page can be rewritten without a browser reading it otherwise.
// `exact` is false from the first markup on that the model here cannot
// follow as a browser does (misnested SVG or MathML, HTML inside their
// integration points, foreign content in a <select>): the reader goes on,
// but no byte from there on should be rewritten.
class ReaderEvents {
public:
    virtual ~ReaderEvents() = default;
    // `element` is the lower-case name of the element whose text it is, for
    // RCDATA, raw text and script data; empty for ordinary content.
    virtual void Text(size_t begin, size_t end, TextKind kind, std::string_view element, bool exact) = 0;
    virtual void Tag(const ReadTag& tag, bool exact) = 0;
    // A comment's text (a bogus comment's too: <!...>, <?...>, </...>).
    virtual void Comment(size_t begin, size_t end) = 0;
    virtual void Doctype(size_t begin, size_t end) = 0;
};

// Reads `page` from start to end, calling `events` in page order. The
// content of a <noscript> is read with scripting on, as raw text, as
// browsers with JavaScript read it; NoScriptContent reads it as browsers
// without JavaScript do. Work is linear in the page's bytes whatever the
// markup, and memory that of one tag's attributes and the open SVG and
// MathML elements.
void ReadPage(std::string_view page, ReaderEvents& events);

// The content of a <noscript> (its bytes between the start tag and the
// "</noscript" that ends it) read as browsers without JavaScript read it,
// offsets as in the page. False, with nothing read, when that reading would
// not end in ordinary content at the end of the span, so that the two
// readings would differ after it.
bool ReadNoScriptContent(std::string_view page, size_t begin, size_t end, ReaderEvents& events);

}  // namespace site

#endif
