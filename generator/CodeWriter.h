// The writer behind MailCode.cpp and PageCode.cpp: a sink that counts or writes, the escapes both forms share (CodeWriter.cpp), and the two blocks in the shape of a form.
#ifndef QUORVANE_CODEWRITER_H
#define QUORVANE_CODEWRITER_H

#include <stdint.h>
#include <string.h>

#include "MailCode.h"

namespace mailcode {

// Each block is produced by one routine that runs twice over a Sink: first
// with no buffer, to count the bytes, then into a buffer of exactly that
// size. The size formula and the text therefore cannot drift apart, and the
// result is allocated once.
class Sink {
public:
    explicit Sink(char* buffer) : out_(buffer), used_(0), overflowed_(false) {}

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

    size_t Used() const { return used_; }
    bool Overflowed() const { return overflowed_; }

private:
    char* out_;
    size_t used_;
    bool overflowed_;
};

// A signed value in decimal: no leading zeros, "-" before a negative one.
void EmitDecimal(Sink& sink, int32_t value);
// "&#" and the byte in decimal, and ";".
void EmitReference(Sink& sink, unsigned char byte);

inline bool IsLeadByte(LeadByteTest isLeadByte, char c) {
    return isLeadByte != nullptr && isLeadByte(static_cast<unsigned char>(c));
}
// A lead byte with the trail byte after it: one character of two bytes.
bool IsDoubleByteCharacter(ByteView text, size_t i, LeadByteTest isLeadByte);
// A "<" that would let the HTML tokenizer leave the script or change how it
// reads it: "</" (end tag), "<!--" (escaped text) and "<script" (doubly
// escaped text, in which "</script>" no longer ends the element).
bool IsMarkupOpener(const char* rest, size_t length);

// Crypt's strings stand whole; a page's break into pieces where an address
// or "mailto" would stand.
struct NoPieces {
    size_t operator()(Sink&, ByteView, size_t) const { return 0; }
};

// The value inside a double-quoted JavaScript string literal in an HTML
// script element. The script sees exactly the original bytes; only the
// characters that would end the literal or the element are written as
// escape sequences, so ordinary text comes out unchanged. `pieces` writes
// the bytes at value[i] as a piece of their own and returns how many it
// took, or returns 0.
template <typename Pieces>
void EmitScriptString(Sink& sink, ByteView value, LeadByteTest isLeadByte, const Pieces& pieces) {
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < value.size; ++i) {
        char c = value.data[i];
        const size_t piece = pieces(sink, value, i);
        if (piece != 0) {
            i += piece - 1;
            continue;
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

// Bytes before the address's first "@" that is a character of its own, not
// the trail byte of one; the address's size when it holds none.
size_t LocalPartLength(ByteView address, LeadByteTest isLeadByte);

// The blocks below take a form that decides the rest: Crypt's (in
// MailCode.cpp) writes none of a page's parts, so a program that makes
// only Crypt's code links none of them. A form has:
//   EndLine(sink)           a line end of the script
//   EndBlockLine(sink)      a line end that a page leaves out, where it would show as a space
//   HrefTail(sink)          the NOSCRIPT href's part after the addresses
//   Attributes(sink, inScript)  the carried attributes after the href
//   AddressString(sink, value, isLeadByte)  a part of the address inside a string literal
//   OpenScope(sink), CloseScope(sink)  around the script's variables
//   MoreVariables(sink), MoreWritten(sink)  the script's further variables, and their use

template <typename Form>
void EmitNoScriptBlock(Sink& sink, const Form& form, ByteView address, ByteView linkText) {
    sink.Literal(kMailCodeNoScriptStart);
    form.EndBlockLine(sink);
    sink.Literal(kMailCodeAnchorStart);
    for (size_t i = 0; i < address.size; ++i) {
        EmitReference(sink, static_cast<unsigned char>(address.data[i]));
    }
    form.HrefTail(sink);
    sink.Put('"');
    form.Attributes(sink, false);
    sink.Put('>');
    sink.Put(linkText);
    sink.Literal("</A>");
    form.EndBlockLine(sink);
    sink.Literal("</NOSCRIPT>");
    form.EndBlockLine(sink);
}

template <typename Form>
void EmitScriptBlock(Sink& sink, const Form& form, ByteView address, ByteView linkText, LeadByteTest isLeadByte) {
    const size_t localLength = LocalPartLength(address, isLeadByte);
    if (localLength >= address.size) {
        return;
    }
    ByteView localPart(address.data, localLength);
    ByteView domain(address.data + localLength + 1, address.size - localLength - 1);

    sink.Literal(kMailCodeScriptStart);
    form.EndLine(sink);
    sink.Literal("<!-- ");
    form.EndLine(sink);
    form.OpenScope(sink);
    sink.Literal("var link = \"");
    EmitScriptString(sink, linkText, isLeadByte, NoPieces());
    sink.Literal("\";");
    form.EndLine(sink);
    sink.Literal("var tag1 = \"mail\";");
    form.EndLine(sink);
    sink.Literal("var tag2 = \"to:\";");
    form.EndLine(sink);
    sink.Literal("var email1 = \"");
    form.AddressString(sink, localPart, isLeadByte);
    sink.Literal("\";");
    form.EndLine(sink);
    sink.Literal("var email2 = \"");
    form.AddressString(sink, domain, isLeadByte);
    sink.Literal("\";");
    form.EndLine(sink);
    form.MoreVariables(sink);
    sink.Literal("document.write(\"<a h\" + \"ref=\" + tag1 + tag2 + email1 + \"@\" + email2 + ");
    form.MoreWritten(sink);
    sink.Literal("\">\" + link + \"</a>\");");
    form.EndLine(sink);
    form.CloseScope(sink);
    sink.Literal("//-->");
    form.EndLine(sink);
    sink.Literal("</SCRIPT>");
    form.EndBlockLine(sink);
}

}  // namespace mailcode

#endif
