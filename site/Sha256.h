// SHA-256 and standard base64, as a Content-Security-Policy source and an integrity attribute name a script by its bytes.
#ifndef QUORVANE_SITE_SHA256_H
#define QUORVANE_SITE_SHA256_H

#include <stddef.h>

#include <string>
#include <string_view>

namespace site {

constexpr size_t kSha256Bytes = 32;

// The digest of `bytes` (FIPS 180-4), as its 32 raw bytes.
std::string Sha256(std::string_view bytes);

// Base64 of RFC 4648 with its standard alphabet and = padding.
std::string Base64(std::string_view bytes);

}  // namespace site

#endif
