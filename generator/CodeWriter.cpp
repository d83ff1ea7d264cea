// The escapes and tests that Crypt's form and a page's form share: references, decimal numbers, double-byte characters, markup in a script.
#include "CodeWriter.h"

#include <string_view>

#include "Ascii.h"

namespace mailcode {

namespace {

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

// The bytes that EmitScriptString changes, apart from the backslash, are all
// below 0x40, where no double-byte code page has trail bytes: after a lead
// byte they still stand alone, as a browser's decoder reads them too. The
// bytes after a "<" that IsMarkupOpener compares are ASCII, which no
// double-byte code page uses as lead bytes.
bool CanBeTrailByte(char c) {
    return c != '"' && c != '\r' && c != '\n' && c != '<';
}

}  // namespace

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

void EmitReference(Sink& sink, unsigned char byte) {
    sink.Literal(kMailCodeReferenceStart);
    EmitDecimal(sink, byte);
    sink.Put(';');
}

bool IsMarkupOpener(const char* rest, size_t length) {
    const std::string_view text(rest, length);
    return ascii::StartsWithNoCase(text, "</") || ascii::StartsWithNoCase(text, "<!--") ||
           ascii::StartsWithNoCase(text, "<script");
}

bool IsDoubleByteCharacter(ByteView text, size_t i, LeadByteTest isLeadByte) {
    return IsLeadByte(isLeadByte, text.data[i]) && i + 1 < text.size && CanBeTrailByte(text.data[i + 1]);
}

size_t LocalPartLength(ByteView address, LeadByteTest isLeadByte) {
    size_t length = 0;
    while (length < address.size && address.data[length] != '@') {
        length += IsDoubleByteCharacter(address, length, isLeadByte) ? 2u : 1u;
    }
    return length;
}

}  // namespace mailcode
