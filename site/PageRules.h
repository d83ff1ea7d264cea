// What a page declares about how it is read: its charset (byte-order mark, meta) and a Content-Security-Policy for inline scripts.
#ifndef QUORVANE_SITE_PAGERULES_H
#define QUORVANE_SITE_PAGERULES_H

#include <stddef.h>

#include <string>
#include <string_view>

namespace site {

// kDoubleByte: characters of two bytes whose second byte can be ASCII
// (Shift_JIS, Big5, GBK, GB18030, EUC-KR); kMultiByte: characters of
// several bytes that are all above 127 (EUC-JP), so that an ASCII byte is
// always that character; kOther: any other, such as ISO-2022-JP, whose
// ASCII bytes change meaning after an escape.
enum class Charset { kUndeclared, kUtf8, kSingleByte, kDoubleByte, kMultiByte, kUtf16, kUtf32, kOther };

// The charset that a label names, by family, as the encoding standard lists
// labels; a meta naming UTF-16 counts as UTF-8, since browsers read it so.
Charset ClassifyLabel(std::string_view label);

// The charset named in a Content-Type value ("text/html; charset=..."), or empty.
std::string_view CharsetInContentType(std::string_view content);

// A byte-order mark at the start of a file: UTF-8, UTF-16 or UTF-32, in either byte order.
struct Mark {
    Charset charset = Charset::kUndeclared;  // kUndeclared when there is none
    size_t length = 0;
    bool bigEndian = false;
};
Mark ByteOrderMark(std::string_view bytes);

inline bool IsWide(Charset charset) { return charset == Charset::kUtf16 || charset == Charset::kUtf32; }

// The text as the byte scans read it. Bytes that start with a UTF-16 or
// UTF-32 byte-order mark: what follows the mark as UTF-8, in `decoded` (a
// broken unit becomes U+FFFD, as a browser reads it), and `wide` names the
// encoding ("UTF-16", "UTF-32"). Any other bytes: as they are, `wide` null.
std::string_view ReadableText(std::string_view bytes, std::string* decoded, const char** wide = nullptr);

// True when a Content-Security-Policy stops the code's inline script or its document.write.
bool PolicyForbidsInlineScript(std::string_view policy);

}  // namespace site

#endif
