// The strong form of --protect: addresses sealed with the site's key, which only the site's decoder script opens for visitors.
#ifndef QUORVANE_SITE_STRONG_H
#define QUORVANE_SITE_STRONG_H

#include <string>
#include <string_view>

#include "Site.h"

namespace site {

// A sealed value, as the page carries it: base64url without padding of one
// byte n followed by each byte b[i] of the value's UTF-8 as
// b[i] XOR key[(n + i) % kStrongKeyBytes]; n is taken from the value itself,
// so that the same value seals the same way.
std::string Seal(std::string_view value, std::string_view key);
// The value back; false when `sealed` is not one.
bool Unseal(std::string_view sealed, std::string_view key, std::string* value);

// What the page carries:
// - an element whose attributes held addresses or "mailto:" gets
//   data-quorvane="SEALED", where SEALED seals "name\0value\0name\0value..."
//   (each attribute's decoded value as it stood); in the page each such
//   value reads with its addresses as the fallback text, and a mailto href is
//   the fallback URL or is gone;
// - an address or "mailto:" in text becomes
//   <span data-quorvane-text="SEALED">fallback text</span>, which the
//   decoder replaces by a text node of the sealed value;
// - the page refers to the decoder once: <script src="URL" defer></script>
//   before its </head> (or before the first element it seals when it has none).
constexpr char kSealedAttributes[] = "data-quorvane";
constexpr char kSealedText[] = "data-quorvane-text";

// The decoder script for a site's key, the same bytes for the same key.
std::string DecoderScript(std::string_view key);
// The key of a decoder script written earlier; false when it holds none.
bool KeyOfDecoder(std::string_view script, std::string* key);

void ProtectStrong(std::string_view page, const ProtectOptions& options, ProtectResult* result);

}  // namespace site

#endif
