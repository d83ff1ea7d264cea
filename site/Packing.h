// Precompressed twins of a site's files (index.html.gz, .br, .zst), which a server hands out in the file's place: unpacked to be read, packed again the same way once rewritten.
#ifndef QUORVANE_SITE_PACKING_H
#define QUORVANE_SITE_PACKING_H

#include <stddef.h>

#include <string>
#include <string_view>

namespace site {

enum class Packing { kNone, kGzip, kBrotli, kZstd };

// By the name's last suffix: .gz, .br, .zst.
Packing PackingOfFile(std::string_view name);
// The name without that suffix, which tells the kind of what is packed.
std::string_view UnpackedName(std::string_view name);
const char* PackingName(Packing packing);
// True when this build reads and writes it (every build reads gzip; Brotli
// and Zstandard need their libraries, which the Windows builds have not).
bool CanUnpack(Packing packing);

// False, with `problem` set, when the data is not whole or unpacks to more
// than `limit` bytes (so that a small file cannot fill the memory).
bool Unpack(Packing packing, std::string_view packed, size_t limit, std::string* out, std::string* problem);
// The same packing at its strongest setting, as precompressed files are made.
bool Pack(Packing packing, std::string_view bytes, std::string* out, std::string* problem);

}  // namespace site

#endif
