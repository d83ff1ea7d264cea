// Builds the NOSCRIPT and SCRIPT blocks of the mail code.
#include "MailCode.h"

#include <string.h>

#include <string_view>

#include "Ascii.h"

namespace {

// How the code stands where it goes: Crypt's form on the clipboard, or in a page.
struct Form {
    ByteView lineEnd;
    // No line end around the NOSCRIPT anchor, between the parts or after the script.
    bool inLine;
    ByteView tail;
    const CarriedAttribute* attributes;
    size_t attributeCount;
    // Every "@" after the first and every "mailto" written as pieces of their own.
    bool pieces;
    // The variables inside a function, out of the page's own scope.
    bool scoped;
};

const Form kClipboardForm = {ByteView("\r\n", 2), false, ByteView(), nullptr, 0, false, false};

// Each block is produced by one routine that runs twice over a Sink: first
// with no buffer, to count the bytes, then into a buffer of exactly that
// size. The size formula and the text therefore cannot drift apart, and the
// result is allocated once. The sink also carries the form, so that the one
// routine writes Crypt's code and a page's alike.
class Sink {
public:
    Sink(char* buffer, const Form& form) : out_(buffer), used_(0), overflowed_(false), form_(form) {}

    void Put(const char* bytes, size_t length) {
        // Only a count of texts near the size of the address space can get
        // here; the sum would wrap and then promise a buffer that is too short.
        if (length > SIZE_MAX - used_) {
            overflowed_ = true;
            return;
        }
        if (out_ != nullptr && length != 0) {
            memcpy(out_ + used_, bytes, length);
        }
        used_ += length;
    }
    void Put(ByteView bytes) { Put(bytes.data, bytes.size); }
    void Put(char byte) { Put(&byte, 1); }
    // Literal text; the array size gives the length without a strlen.
    template <size_t N>
    void Literal(const char (&text)[N]) { Put(text, N - 1); }
    // The end of a line of the script, which its "<!--" and "//-->" lines need.
    void EndLine() { Put(form_.lineEnd); }
    // The end of a line that a page leaves out, where it would show as a space.
    void EndBlockLine() {
        if (!form_.inLine) EndLine();
    }

    const Form& form() const { return form_; }
    size_t Used() const { return used_; }
    bool Overflowed() const { return overflowed_; }

private:
    char* out_;
    size_t used_;
    bool overflowed_;
    const Form& form_;
};

// Digits of an unsigned value, filled from the end of a buffer that holds
// any 32-bit magnitude; returns where the digits start.
char* FormatMagnitude(uint32_t magnitude, char* end) {
    char* p = end;
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    return p;
}

void EmitDecimal(Sink& sink, int32_t value) {
    char buffer[11];  // "-2147483648"
    char* end = buffer + sizeof buffer;
    // The magnitude is taken in unsigned arithmetic, which is well defined
    // for the lowest value where negating a signed value is not.
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    char* start = FormatMagnitude(magnitude, end);
    if (value < 0) {
        *--start = '-';
    }
    sink.Put(start, static_cast<size_t>(end - start));
}

// A "<" that would let the HTML tokenizer leave the script or change how it
// reads it: "</" (end tag), "<!--" (escaped text) and "<script" (doubly
// escaped text, in which "</script>" no longer ends the element).
bool IsMarkupOpener(const char* rest, size_t length) {
    const std::string_view text(rest, length);
    return ascii::StartsWithNoCase(text, "</") || ascii::StartsWithNoCase(text, "<!--") ||
           ascii::StartsWithNoCase(text, "<script");
}

bool IsLeadByte(LeadByteTest isLeadByte, char c) {
    return isLeadByte != nullptr && isLeadByte(static_cast<unsigned char>(c));
}

// The bytes that the escaping below changes, apart from the backslash, are
// all below 0x40, where no double-byte code page has trail bytes: after a
// lead byte they still stand alone, as a browser's decoder reads them too.
// The bytes after a "<" that IsMarkupOpener compares are ASCII, which no
// double-byte code page uses as lead bytes.
bool CanBeTrailByte(char c) {
    return c != '"' && c != '\r' && c != '\n' && c != '<';
}

// A lead byte with the trail byte after it: one character of two bytes.
bool IsDoubleByteCharacter(ByteView text, size_t i, LeadByteTest isLeadByte) {
    return IsLeadByte(isLeadByte, text.data[i]) && i + 1 < text.size && CanBeTrailByte(text.data[i + 1]);
}

// Where a page's code breaks a string literal into pieces: at an "@" and
// inside the word "mailto", so that neither an address nor the word stands
// whole in the script. Returns the bytes to write before the break.
size_t PieceBefore(ByteView value, size_t i) {
    if (value.data[i] == '@') return 0;
    return ascii::StartsWithNoCase(std::string_view(value.data + i, value.size - i), "mailto") ? 4 : SIZE_MAX;
}

// The value inside a double-quoted JavaScript string literal in an HTML
// script element. The script sees exactly the original bytes; only the
// characters that would end the literal or the element are written as
// escape sequences, so ordinary text comes out unchanged. In a page's form
// the literal may be broken into pieces ("a" + "@" + "b"), which join again.
void EmitScriptString(Sink& sink, ByteView value, LeadByteTest isLeadByte, bool pieces = false) {
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < value.size; ++i) {
        char c = value.data[i];
        if (pieces) {
            const size_t before = PieceBefore(value, i);
            if (before == 0) {
                sink.Literal("\" + \"@\" + \"");
                continue;
            }
            if (before != SIZE_MAX) {
                sink.Put(value.data + i, before);
                sink.Literal("\" + \"");
                i += before - 1;
                continue;
            }
        }
        if (IsDoubleByteCharacter(value, i, isLeadByte)) {
            sink.Put(value.data + i, 2);
            ++i;
            continue;
        }
        if (IsLeadByte(isLeadByte, c)) {
            // A lead byte without its trail byte (text that Windows converted
            // from Unicode never holds one). Written raw, a decoder could pair
            // it with the backslash of the escape or the quote that follows.
            unsigned char b = static_cast<unsigned char>(c);
            sink.Literal("\\x");
            sink.Put(kHex[b >> 4]);
            sink.Put(kHex[b & 15]);
            continue;
        }
        switch (c) {
            case '\\': sink.Literal("\\\\"); break;
            case '"': sink.Literal("\\\""); break;
            case '\r': sink.Literal("\\r"); break;
            case '\n': sink.Literal("\\n"); break;
            case '<':
                if (IsMarkupOpener(value.data + i, value.size - i)) {
                    sink.Literal("\\x3C");
                } else {
                    sink.Put(c);
                }
                break;
            default: sink.Put(c); break;
        }
    }
}

void EmitReference(Sink& sink, unsigned char byte) {
    sink.Literal("&#");
    EmitDecimal(sink, byte);
    sink.Put(';');
}

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

// The carried attributes as they follow the href in an anchor's start tag;
// in the script, the same inside a string literal.
void EmitAttributes(Sink& sink, bool inScript) {
    const Form& form = sink.form();
    for (size_t i = 0; i < form.attributeCount; ++i) {
        sink.Put(' ');
        sink.Put(form.attributes[i].name);
        if (inScript) {
            sink.Literal("=\\\"");
        } else {
            sink.Literal("=\"");
        }
        EmitAttributeValue(sink, form.attributes[i].value, form.attributes[i].hidden, inScript);
        if (inScript) {
            sink.Literal("\\\"");
        } else {
            sink.Put('"');
        }
    }
}

void EmitNoScriptBlock(Sink& sink, ByteView address, ByteView linkText) {
    sink.Literal(kMailCodeNoScriptStart);
    sink.EndBlockLine();
    sink.Literal(kMailCodeAnchorStart);
    for (size_t i = 0; i < address.size; ++i) {
        EmitReference(sink, static_cast<unsigned char>(address.data[i]));
    }
    const ByteView tail = sink.form().tail;
    for (size_t i = 0; i < tail.size; ++i) {
        EmitReference(sink, static_cast<unsigned char>(tail.data[i]));
    }
    sink.Put('"');
    EmitAttributes(sink, false);
    sink.Put('>');
    sink.Put(linkText);
    sink.Literal("</A>");
    sink.EndBlockLine();
    sink.Literal("</NOSCRIPT>");
    sink.EndBlockLine();
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
        EmitScriptString(sink, ByteView(tail.data + from, i - from), nullptr, true);
        if (i < tail.size) {
            sink.Literal("&amp;");
        }
        from = i + 1;
    }
}

void EmitScriptBlock(Sink& sink, ByteView address, ByteView linkText, LeadByteTest isLeadByte) {
    // The first "@" that is a character of its own, not the trail byte of one.
    size_t localLength = 0;
    while (localLength < address.size && address.data[localLength] != '@') {
        localLength += IsDoubleByteCharacter(address, localLength, isLeadByte) ? 2u : 1u;
    }
    if (localLength >= address.size) {
        return;
    }
    const Form& form = sink.form();
    ByteView localPart(address.data, localLength);
    ByteView domain(address.data + localLength + 1, address.size - localLength - 1);

    sink.Literal(kMailCodeScriptStart);
    sink.EndLine();
    sink.Literal("<!-- ");
    sink.EndLine();
    if (form.scoped) {
        sink.Literal("(function () {");
        sink.EndLine();
    }
    sink.Literal("var link = \"");
    EmitScriptString(sink, linkText, isLeadByte);
    sink.Literal("\";");
    sink.EndLine();
    sink.Literal("var tag1 = \"mail\";");
    sink.EndLine();
    sink.Literal("var tag2 = \"to:\";");
    sink.EndLine();
    sink.Literal("var email1 = \"");
    EmitScriptString(sink, localPart, isLeadByte, form.pieces);
    sink.Literal("\";");
    sink.EndLine();
    sink.Literal("var email2 = \"");
    EmitScriptString(sink, domain, isLeadByte, form.pieces);
    sink.Literal("\";");
    sink.EndLine();
    if (form.tail.size != 0) {
        sink.Literal("var tail = \"");
        EmitTailString(sink, form.tail);
        sink.Literal("\";");
        sink.EndLine();
    }
    if (form.attributeCount != 0) {
        sink.Literal("var attributes = \"");
        EmitAttributes(sink, true);
        sink.Literal("\";");
        sink.EndLine();
    }
    sink.Literal("document.write(\"<a h\" + \"ref=\" + tag1 + tag2 + email1 + \"@\" + email2 + ");
    if (form.tail.size != 0) {
        sink.Literal("tail + ");
    }
    if (form.attributeCount != 0) {
        sink.Literal("attributes + ");
    }
    sink.Literal("\">\" + link + \"</a>\");");
    sink.EndLine();
    if (form.scoped) {
        sink.Literal("})();");
        sink.EndLine();
    }
    sink.Literal("//-->");
    sink.EndLine();
    sink.Literal("</SCRIPT>");
    sink.EndBlockLine();
}

// Runs `emit` once to count and once to write into a buffer of exactly the counted size.
template <typename Emit>
ByteString Render(const Form& form, Emit emit) {
    Sink counter(nullptr, form);
    emit(counter);
    if (counter.Overflowed()) {
        return ByteString();
    }
    ByteString result(counter.Used());
    if (!result.Failed()) {
        Sink writer(result.data(), form);
        emit(writer);
    }
    return result;
}

}  // namespace

ByteString IntToDecimal(int32_t value) {
    return Render(kClipboardForm, [&](Sink& sink) { EmitDecimal(sink, value); });
}

ByteString BuildNoScriptBlock(ByteView address, ByteView linkText) {
    return Render(kClipboardForm, [&](Sink& sink) { EmitNoScriptBlock(sink, address, linkText); });
}

ByteString BuildScriptBlock(ByteView address, ByteView linkText, LeadByteTest isLeadByte) {
    return Render(kClipboardForm, [&](Sink& sink) { EmitScriptBlock(sink, address, linkText, isLeadByte); });
}

ByteString ComposeMailCode(ByteView address, ByteView linkText, LeadByteTest isLeadByte) {
    return Render(kClipboardForm, [&](Sink& sink) {
        EmitNoScriptBlock(sink, address, linkText);
        EmitScriptBlock(sink, address, linkText, isLeadByte);
    });
}

size_t WritePageCode(char* out, ByteView addresses, ByteView linkText, const PageForm& page) {
    const Form form = {page.lineEnd, true, page.tail, page.attributes, page.attributeCount, true, true};
    Sink sink(out, form);
    EmitNoScriptBlock(sink, addresses, linkText);
    EmitScriptBlock(sink, addresses, linkText, nullptr);
    return sink.Overflowed() ? SIZE_MAX : sink.Used();
}
