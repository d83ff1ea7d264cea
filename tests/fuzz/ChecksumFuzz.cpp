// Fuzz target of the PE image checksum: any bytes as the program's own file, accepted only when they really sum to the stored value.
#include <cstdint>

#include "Fuzz.h"
#include "ImageChecksum.h"

namespace {

uint32_t Le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The file as 16-bit little-endian words, the four bytes of the CheckSum
// field counted as zero wherever they lie, folded with end-around carry only
// at the end, plus the file size.
uint32_t ReferenceChecksum(const uint8_t* image, size_t size, size_t field) {
    uint64_t sum = 0;
    for (size_t i = 0; i < size; ++i) {
        if (i < field || i >= field + 4) sum += static_cast<uint64_t>(image[i]) << (i % 2 * 8);
    }
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + size);
}

}  // namespace

// libFuzzer hands over a heap copy of exactly `size` bytes, so a read past
// the end is an address sanitizer report.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t field = 0;
    bool found = FindChecksumField(data, size, &field);
    if (found) {
        FUZZ_REQUIRE(field <= size && size - field >= 4, "the field at %zu lies outside the %zu bytes", field, size);
        uint32_t computed = ComputeImageChecksum(data, size, field);
        FUZZ_REQUIRE(computed == ReferenceChecksum(data, size, field), "computed %08x, the bytes sum to %08x", computed,
                     ReferenceChecksum(data, size, field));
    }
    if (!ImageChecksumMatches(data, size)) return 0;

    // Accepted: read the headers anew and sum the bytes another way.
    FUZZ_REQUIRE(found && size >= 0x40 && data[0] == 'M' && data[1] == 'Z', "accepted without a DOS header");
    size_t ntHeaders = Le32(data + 0x3C);
    FUZZ_REQUIRE(ntHeaders + 92 <= size && Le32(data + ntHeaders) == 0x00004550, "accepted without a PE header");
    FUZZ_REQUIRE(field == ntHeaders + 88, "the field found is not 88 bytes into the PE header");
    uint32_t stored = Le32(data + field);
    FUZZ_REQUIRE(stored != 0, "accepted with a zero checksum");
    FUZZ_REQUIRE(stored == ReferenceChecksum(data, size, field), "accepted %08x, the bytes sum to %08x",
                 stored, ReferenceChecksum(data, size, field));
    return 0;
}
