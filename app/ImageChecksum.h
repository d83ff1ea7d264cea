// The standard PE image checksum, computed over a file's bytes; portable, no platform header.
#ifndef QUORVANE_IMAGECHECKSUM_H
#define QUORVANE_IMAGECHECKSUM_H

#include <stddef.h>
#include <stdint.h>

// Finds the CheckSum field of the optional header. False when the bytes are
// not a PE image (no "MZ", no "PE\0\0", or the header lies past the end).
bool FindChecksumField(const unsigned char* image, size_t size, size_t* fieldOffset);

// The checksum that the image loader's tools compute: the file summed as
// 16-bit little-endian words with end-around carry, the CheckSum field
// itself left out, a trailing odd byte taken as a word of its own, and the
// file size added at the end.
uint32_t ComputeImageChecksum(const unsigned char* image, size_t size, size_t fieldOffset);

// True when the image is a PE file whose stored checksum is non-zero and
// equals the computed one.
bool ImageChecksumMatches(const unsigned char* image, size_t size);

#endif
