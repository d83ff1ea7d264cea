// Computes and verifies the PE image checksum.
#include "ImageChecksum.h"

namespace {

uint32_t ReadLe32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

const size_t kLfanewOffset = 0x3C;
// Signature (4) and file header (20); the CheckSum field is 64 bytes into
// the optional header in both the 32-bit and the 64-bit layout.
const size_t kChecksumInNtHeaders = 4 + 20 + 64;

}  // namespace

bool FindChecksumField(const unsigned char* image, size_t size, size_t* fieldOffset) {
    if (size < kLfanewOffset + 4 || image[0] != 'M' || image[1] != 'Z') {
        return false;
    }
    size_t ntHeaders = ReadLe32(image + kLfanewOffset);
    if (ntHeaders > size || size - ntHeaders < kChecksumInNtHeaders + 4) {
        return false;
    }
    if (ReadLe32(image + ntHeaders) != 0x00004550) {  // "PE\0\0"
        return false;
    }
    *fieldOffset = ntHeaders + kChecksumInNtHeaders;
    return true;
}

uint32_t ComputeImageChecksum(const unsigned char* image, size_t size, size_t fieldOffset) {
    // The field is left out byte by byte: e_lfanew may be odd, and then the
    // field straddles words instead of covering two whole ones.
    auto counted = [&](size_t i) -> uint32_t {
        return i < size && (i < fieldOffset || i - fieldOffset >= 4) ? image[i] : 0;
    };
    uint32_t sum = 0;
    for (size_t i = 0; i < size; i += 2) {
        uint32_t word = counted(i) | counted(i + 1) << 8;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return sum + static_cast<uint32_t>(size);
}

bool ImageChecksumMatches(const unsigned char* image, size_t size) {
    size_t field;
    if (!FindChecksumField(image, size, &field)) {
        return false;
    }
    uint32_t stored = ReadLe32(image + field);
    return stored != 0 && stored == ComputeImageChecksum(image, size, field);
}
