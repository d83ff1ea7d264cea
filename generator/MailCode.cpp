// Builds the NOSCRIPT and SCRIPT blocks of the mail code.
#include "MailCode.h"

#include <string.h>

namespace {

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

const char kCrLf[] = "\r\n";

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

bool StartsWithIgnoringCase(const char* bytes, size_t length, const char* lowerWord) {
    size_t wordLength = strlen(lowerWord);
    if (length < wordLength) {
        return false;
    }
    for (size_t i = 0; i < wordLength; ++i) {
        char c = bytes[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != lowerWord[i]) {
            return false;
        }
    }
    return true;
}

// A "<" that would let the HTML tokenizer leave the script or change how it
// reads it: "</" (end tag), "<!--" (escaped text) and "<script" (doubly
// escaped text, in which "</script>" no longer ends the element).
bool IsMarkupOpener(const char* rest, size_t length) {
    return StartsWithIgnoringCase(rest, length, "</") || StartsWithIgnoringCase(rest, length, "<!--") ||
           StartsWithIgnoringCase(rest, length, "<script");
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

// The value inside a double-quoted JavaScript string literal in an HTML
// script element. The script sees exactly the original bytes; only the
// characters that would end the literal or the element are written as
// escape sequences, so ordinary text comes out unchanged.
void EmitScriptString(Sink& sink, ByteView value, LeadByteTest isLeadByte) {
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < value.size; ++i) {
        char c = value.data[i];
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

void EmitNoScriptBlock(Sink& sink, ByteView address, ByteView linkText) {
    sink.Literal("<NOSCRIPT>");
    sink.Literal(kCrLf);
    sink.Literal("<A HREF=\"MAILTO:");
    for (size_t i = 0; i < address.size; ++i) {
        sink.Literal("&#");
        EmitDecimal(sink, static_cast<unsigned char>(address.data[i]));
        sink.Put(';');
    }
    sink.Literal("\">");
    sink.Put(linkText);
    sink.Literal("</A>");
    sink.Literal(kCrLf);
    sink.Literal("</NOSCRIPT>");
    sink.Literal(kCrLf);
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
    ByteView localPart(address.data, localLength);
    ByteView domain(address.data + localLength + 1, address.size - localLength - 1);

    sink.Literal("<SCRIPT LANGUAGE=JAVASCRIPT>\r\n");
    sink.Literal("<!-- \r\n");
    sink.Literal("var link = \"");
    EmitScriptString(sink, linkText, isLeadByte);
    sink.Literal("\";\r\n");
    sink.Literal("var tag1 = \"mail\";\r\n");
    sink.Literal("var tag2 = \"to:\";\r\n");
    sink.Literal("var email1 = \"");
    EmitScriptString(sink, localPart, isLeadByte);
    sink.Literal("\";\r\n");
    sink.Literal("var email2 = \"");
    EmitScriptString(sink, domain, isLeadByte);
    sink.Literal("\";\r\n");
    sink.Literal(
        "document.write(\"<a h\" + \"ref=\" + tag1 + tag2 + email1 + \"@\" + email2 + \">\" + link + \"</a>\");\r\n");
    sink.Literal("//-->\r\n");
    sink.Literal("</SCRIPT>\r\n");
}

// Runs `emit` once to count and once to write into a buffer of exactly the counted size.
template <typename Emit>
ByteString Render(Emit emit) {
    Sink counter(nullptr);
    emit(counter);
    if (counter.Overflowed()) {
        return ByteString();
    }
    ByteString result(counter.Used());
    if (!result.Failed()) {
        Sink writer(result.data());
        emit(writer);
    }
    return result;
}

}  // namespace

ByteString IntToDecimal(int32_t value) {
    return Render([&](Sink& sink) { EmitDecimal(sink, value); });
}

ByteString BuildNoScriptBlock(ByteView address, ByteView linkText) {
    return Render([&](Sink& sink) { EmitNoScriptBlock(sink, address, linkText); });
}

ByteString BuildScriptBlock(ByteView address, ByteView linkText, LeadByteTest isLeadByte) {
    return Render([&](Sink& sink) { EmitScriptBlock(sink, address, linkText, isLeadByte); });
}

ByteString ComposeMailCode(ByteView address, ByteView linkText, LeadByteTest isLeadByte) {
    return Render([&](Sink& sink) {
        EmitNoScriptBlock(sink, address, linkText);
        EmitScriptBlock(sink, address, linkText, isLeadByte);
    });
}
