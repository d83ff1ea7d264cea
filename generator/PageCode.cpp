// Writes the mail code in a page's form: the page's line end, the href's tail and the anchor's attributes carried, the script's names scoped.
#include "MailCode.h"

#include <string_view>

#include "Ascii.h"
#include "CodeWriter.h"

namespace mailcode {

namespace {

// Where a page's code breaks a string literal into pieces: at an "@" and
// inside the word "mailto", so that neither an address nor the word stands
// whole in the script ("a" + "@" + "b", "mail" + "to", which join again).
struct AddressPieces {
    size_t operator()(Sink& sink, ByteView value, size_t i) const {
        if (value.data[i] == '@') {
            sink.Literal("\" + \"@\" + \"");
            return 1;
        }
        if (!ascii::StartsWithNoCase(std::string_view(value.data + i, value.size - i), "mailto")) return 0;
        sink.Put(value.data + i, 4);
        sink.Literal("\" + \"");
        return 4;
    }
};

// An attribute value between double quotes, reading as the page's value did.
// A quote and a "<" become references: in the NOSCRIPT part a "</noscript"
// would end the block early for a browser with scripts. A hidden value has
// every other ASCII byte as a reference too, except the page's own character
// references, which are kept as they stand (with the "=" after one without
// its ";", which keeps it from being decoded in an attribute). In the script
// the same text stands in a string literal, where of the bytes left only a
// backslash, CR and LF need escapes.
void EmitAttributeValue(Sink& sink, ByteView value, bool hidden, bool inScript) {
    for (size_t i = 0; i < value.size; ++i) {
        const char c = value.data[i];
        if (c == '"') {
            sink.Literal("&quot;");
        } else if (c == '<') {
            sink.Literal("&lt;");
        } else if (hidden && c == '&') {
            size_t end = i + 1;
            while (end < value.size && (ascii::IsAlphanumeric(value.data[end]) || value.data[end] == '#')) ++end;
            if (end == i + 1) {
                sink.Literal("&amp;");
                continue;
            }
            if (end < value.size && (value.data[end] == ';' || value.data[end] == '=')) ++end;
            sink.Put(value.data + i, end - i);
            i = end - 1;
        } else if (c == '\r' && i + 1 < value.size && value.data[i + 1] == '\n') {
            // The parser reads CR LF as LF, and a CR alone as LF too; a
            // reference to CR or a CR that document.write passes on is not
            // read so. Only the LF is written.
            continue;
        } else if (c == '\r' || c == '\n') {
            if (hidden) {
                EmitReference(sink, '\n');
            } else if (inScript) {
                sink.Literal("\\n");
            } else {
                sink.Put('\n');
            }
        } else if (hidden && static_cast<unsigned char>(c) >= ' ' && static_cast<unsigned char>(c) < 127) {
            // Control bytes and DEL stay as they are: no address holds one, and
            // parsers read some of them otherwise than their references.
            EmitReference(sink, static_cast<unsigned char>(c));
        } else if (inScript && c == '\\') {
            sink.Literal("\\\\");
        } else {
            sink.Put(c);
        }
    }
}

// The tail of the href as the script writes it into an unquoted attribute
// value: each "&" as "&amp;", which the parser reads back as "&". The tail
// holds no blank, quote, "<" or ">": those come percent-encoded.
void EmitTailString(Sink& sink, ByteView tail) {
    size_t from = 0;
    for (size_t i = 0; i <= tail.size; ++i) {
        if (i < tail.size && tail.data[i] != '&') {
            continue;
        }
        EmitScriptString(sink, ByteView(tail.data + from, i - from), nullptr, AddressPieces());
        if (i < tail.size) {
            sink.Literal("&amp;");
        }
        from = i + 1;
    }
}

// The page's form for the blocks in CodeWriter.h: no line end around the
// NOSCRIPT anchor, between the parts or after the script; every "@" after
// the first and every "mailto" written as pieces of their own; the
// variables inside a function, out of the page's own scope.
class PageWriter {
public:
    explicit PageWriter(const PageForm& form) : form_(form) {}

    void EndLine(Sink& sink) const { sink.Put(form_.lineEnd); }
    void EndBlockLine(Sink&) const {}
    void HrefTail(Sink& sink) const {
        for (size_t i = 0; i < form_.tail.size; ++i) {
            EmitReference(sink, static_cast<unsigned char>(form_.tail.data[i]));
        }
    }
    // The carried attributes as they follow the href in an anchor's start
    // tag; in the script, the same inside a string literal.
    void Attributes(Sink& sink, bool inScript) const {
        for (size_t i = 0; i < form_.attributeCount; ++i) {
            const CarriedAttribute& attribute = form_.attributes[i];
            sink.Put(' ');
            sink.Put(attribute.name);
            if (inScript) {
                sink.Literal("=\\\"");
            } else {
                sink.Literal("=\"");
            }
            EmitAttributeValue(sink, attribute.value, attribute.hidden, inScript);
            if (inScript) {
                sink.Literal("\\\"");
            } else {
                sink.Put('"');
            }
        }
    }
    void AddressString(Sink& sink, ByteView value, LeadByteTest isLeadByte) const {
        EmitScriptString(sink, value, isLeadByte, AddressPieces());
    }
    void OpenScope(Sink& sink) const {
        sink.Literal("(function () {");
        EndLine(sink);
    }
    void CloseScope(Sink& sink) const {
        sink.Literal("})();");
        EndLine(sink);
    }
    void MoreVariables(Sink& sink) const {
        if (form_.tail.size != 0) {
            sink.Literal("var tail = \"");
            EmitTailString(sink, form_.tail);
            sink.Literal("\";");
            EndLine(sink);
        }
        if (form_.attributeCount != 0) {
            sink.Literal("var attributes = \"");
            Attributes(sink, true);
            sink.Literal("\";");
            EndLine(sink);
        }
    }
    void MoreWritten(Sink& sink) const {
        if (form_.tail.size != 0) {
            sink.Literal("tail + ");
        }
        if (form_.attributeCount != 0) {
            sink.Literal("attributes + ");
        }
    }

private:
    const PageForm& form_;
};

}  // namespace

}  // namespace mailcode

size_t WritePageCode(char* out, ByteView addresses, ByteView linkText, const PageForm& page) {
    const mailcode::PageWriter form(page);
    mailcode::Sink sink(out);
    EmitNoScriptBlock(sink, form, addresses, linkText);
    EmitScriptBlock(sink, form, addresses, linkText, nullptr);
    return sink.Overflowed() ? SIZE_MAX : sink.Used();
}
