// Character references decoded as a browser's tokenizer decodes them, in text and in attribute values.
#ifndef QUORVANE_SITE_CHARACTERREFERENCES_H
#define QUORVANE_SITE_CHARACTERREFERENCES_H

#include <string>
#include <string_view>

namespace site {

// Appends one code point in UTF-8; surrogates and values past U+10FFFF as U+FFFD.
void AppendUtf8(std::string* out, unsigned long code);

enum class ReferenceContext { kText, kAttribute };

// Appends to `out` what `raw` reads as, in UTF-8: numeric references
// (U+0000, surrogates and values past U+10FFFF as U+FFFD, 0x80-0x9F as
// windows-1252 reads them) and the standard's named ones, the longest name
// that matches, and the legacy names without ";" too. In an attribute
// value such a name without ";" before "=", a letter or a digit stays as it
// is written, so that a query string like "?a=1&copy=2" keeps its bytes.
// Every other byte is copied; the page's line ends are not changed.
void DecodeReferences(std::string_view raw, ReferenceContext context, std::string* out);

// The longest of the standard's names that `text` starts with (the text
// after "&"): its length, ";" included where the name has one, and the one
// or two code points it stands for (`second` 0 for one); 0 when none.
size_t NamedReferenceAt(std::string_view text, unsigned long* first, unsigned long* second);

// A numeric reference's digits and ";" (the text after "&#"): their length,
// 0 when no digit comes, and the code point it stands for, replaced as the
// standard says; `terminated` tells whether the ";" was there.
size_t NumericReferenceAt(std::string_view text, unsigned long* code, bool* terminated);

}  // namespace site

#endif
