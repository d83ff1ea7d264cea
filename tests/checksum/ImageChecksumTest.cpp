// Unit tests of the PE image checksum routine behind the program's start-up integrity self-test.
#include "ImageChecksum.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void PutLe16(Bytes& image, size_t offset, uint32_t value) {
    image[offset] = static_cast<unsigned char>(value);
    image[offset + 1] = static_cast<unsigned char>(value >> 8);
}

void PutLe32(Bytes& image, size_t offset, uint32_t value) {
    PutLe16(image, offset, value & 0xFFFF);
    PutLe16(image, offset + 2, value >> 16);
}

uint32_t GetLe32(const Bytes& image, size_t offset) {
    return image[offset] | image[offset + 1] << 8 | image[offset + 2] << 16 | static_cast<uint32_t>(image[offset + 3]) << 24;
}

// A small image with just enough of the DOS and PE headers for a PE reader
// to accept it; every other byte comes from the fill pattern. The CheckSum
// field keeps whatever the pattern put there. Header fields that would lie
// past the end of a deliberately short image are left out.
Bytes MakeImage(size_t size, uint32_t peOffset, const std::function<unsigned char(size_t)>& fill) {
    Bytes image(size);
    for (size_t i = 0; i < size; ++i) {
        image[i] = fill(i);
    }
    image[0] = 'M';
    image[1] = 'Z';
    PutLe32(image, 0x3C, peOffset);
    PutLe32(image, peOffset, 0x00004550);       // "PE\0\0"
    PutLe16(image, peOffset + 4, 0x014C);       // machine i386
    PutLe16(image, peOffset + 6, 0);            // no sections
    PutLe16(image, peOffset + 20, 0xE0);        // size of the optional header
    PutLe16(image, peOffset + 24, 0x010B);      // PE32 optional header
    if (size >= peOffset + 24 + 96) {
        PutLe32(image, peOffset + 24 + 92, 16);  // number of data directories
    }
    return image;
}

unsigned char Ramp(size_t i) { return static_cast<unsigned char>(i * 37 + 11); }
unsigned char AllOnes(size_t) { return 0xFF; }
unsigned char AllZeros(size_t) { return 0; }

// Stores the computed checksum in the image's CheckSum field.
void Stamp(Bytes& image) {
    size_t field = 0;
    ASSERT_TRUE(FindChecksumField(image.data(), image.size(), &field));
    PutLe32(image, field, ComputeImageChecksum(image.data(), image.size(), field));
}

Bytes StampedImage() {
    Bytes image = MakeImage(1024, 0x80, Ramp);
    Stamp(image);
    return image;
}

// ----------------------------------------------------------------- locating the field

struct MalformedCase {
    const char* name;
    std::function<Bytes()> make;
};

std::ostream& operator<<(std::ostream& out, const MalformedCase& c) { return out << c.name; }

class MalformedImage : public testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedImage, IsRejected) {
    Bytes image = GetParam().make();
    size_t field = 12345;
    EXPECT_FALSE(FindChecksumField(image.data(), image.size(), &field));
    EXPECT_EQ(field, 12345u) << "the out parameter is written only on success";
    EXPECT_FALSE(ImageChecksumMatches(image.data(), image.size()));
}

INSTANTIATE_TEST_SUITE_P(
    ImageChecksum, MalformedImage,
    testing::Values(
        MalformedCase{"empty", [] { return Bytes(); }},
        MalformedCase{"shorter_than_the_dos_header", [] { Bytes b = StampedImage(); b.resize(0x3F); return b; }},
        MalformedCase{"no_MZ", [] { Bytes b = StampedImage(); b[0] = 'N'; return b; }},
        MalformedCase{"ZM_swapped", [] { Bytes b = StampedImage(); b[0] = 'Z'; b[1] = 'M'; return b; }},
        MalformedCase{"e_lfanew_past_the_end", [] { Bytes b = StampedImage(); PutLe32(b, 0x3C, 1024 + 8); return b; }},
        MalformedCase{"e_lfanew_huge", [] { Bytes b = StampedImage(); PutLe32(b, 0x3C, 0xFFFFFFF0u); return b; }},
        MalformedCase{"checksum_field_cut_off", [] { Bytes b = MakeImage(0x80 + 91, 0x80, Ramp); return b; }},
        MalformedCase{"no_PE_signature", [] { Bytes b = StampedImage(); b[0x80] = 'N'; return b; }},
        MalformedCase{"signature_without_zeros", [] { Bytes b = StampedImage(); b[0x83] = 1; return b; }},
        MalformedCase{"e_lfanew_at_the_dos_stub", [] { Bytes b = StampedImage(); PutLe32(b, 0x3C, 0x40); return b; }}),
    [](const testing::TestParamInfo<MalformedCase>& info) { return std::string(info.param.name); });

TEST(ImageChecksum, FieldLiesEightyEightBytesIntoTheNtHeaders) {
    const struct {
        uint32_t peOffset;
        size_t size;
    } rows[] = {{0x40, 0x40 + 92}, {0x80, 4096}, {0xF8, 600}, {0x200, 0x200 + 92}};
    for (const auto& row : rows) {
        Bytes image = MakeImage(row.size, row.peOffset, Ramp);
        size_t field = 0;
        ASSERT_TRUE(FindChecksumField(image.data(), image.size(), &field)) << "PE header at " << row.peOffset;
        EXPECT_EQ(field, row.peOffset + 88u);
    }
}

// ----------------------------------------------------------------- known answers

// Expected values computed with python3-pefile's generate_checksum() on
// images built exactly as MakeImage builds them.
struct KnownAnswer {
    const char* name;
    size_t size;
    uint32_t peOffset;
    unsigned char (*fill)(size_t);
    uint32_t checksum;
};

std::ostream& operator<<(std::ostream& out, const KnownAnswer& k) { return out << k.name; }

class KnownChecksum : public testing::TestWithParam<KnownAnswer> {};

TEST_P(KnownChecksum, MatchesTheReferenceValue) {
    const KnownAnswer& row = GetParam();
    Bytes image = MakeImage(row.size, row.peOffset, row.fill);
    size_t field = 0;
    ASSERT_TRUE(FindChecksumField(image.data(), image.size(), &field));
    EXPECT_EQ(ComputeImageChecksum(image.data(), image.size(), field), row.checksum);

    EXPECT_FALSE(ImageChecksumMatches(image.data(), image.size())) << "the pattern's bytes in the field are no checksum";
    PutLe32(image, field, row.checksum);
    EXPECT_TRUE(ImageChecksumMatches(image.data(), image.size()));
}

INSTANTIATE_TEST_SUITE_P(
    ImageChecksum, KnownChecksum,
    testing::Values(KnownAnswer{"ramp_even", 1024, 0x80, Ramp, 0xED87},
                    KnownAnswer{"ramp_odd", 1025, 0x80, Ramp, 0xED93},
                    KnownAnswer{"ones_even_carries", 4096, 0x40, AllOnes, 0xB324},
                    KnownAnswer{"ones_odd_carries", 4097, 0x40, AllOnes, 0xB424},
                    KnownAnswer{"zeros_even", 600, 0xF8, AllZeros, 0xA634},
                    KnownAnswer{"zeros_odd", 601, 0xF8, AllZeros, 0xA635},
                    KnownAnswer{"over_64k", 65536 * 3 + 7, 0x80, Ramp, 0x317BA}),
    [](const testing::TestParamInfo<KnownAnswer>& info) { return std::string(info.param.name); });

// ----------------------------------------------------------------- verification

TEST(ImageChecksum, ZeroStoredChecksumNeverMatches) {
    for (size_t size : {600u, 601u, 4096u}) {
        Bytes image = MakeImage(size, 0x80, AllZeros);
        size_t field = 0;
        ASSERT_TRUE(FindChecksumField(image.data(), image.size(), &field));
        ASSERT_EQ(GetLe32(image, field), 0u);
        EXPECT_FALSE(ImageChecksumMatches(image.data(), image.size())) << "size " << size;
    }
}

TEST(ImageChecksum, AnySingleByteChangeIsDetected) {
    const Bytes pristine = StampedImage();
    ASSERT_TRUE(ImageChecksumMatches(pristine.data(), pristine.size()));
    const size_t field = 0x80 + 88;
    // DOS header, e_lfanew, PE signature, file header, the CheckSum field
    // and either side of it, the middle and the last byte.
    const size_t offsets[] = {1, 2, 0x3C, 0x3D, 0x80, 0x84, field - 1, field, field + 3, field + 4, 511, 512, 1023};
    const unsigned char flips[] = {0x01, 0x80, 0xFF};
    for (size_t offset : offsets) {
        for (unsigned char flip : flips) {
            Bytes image = pristine;
            image[offset] ^= flip;
            EXPECT_FALSE(ImageChecksumMatches(image.data(), image.size()))
                << "byte " << offset << " xor " << static_cast<int>(flip) << " went unnoticed";
        }
    }
}

TEST(ImageChecksum, OddLengthCountsTheLastByte) {
    Bytes image = MakeImage(1025, 0x80, Ramp);
    Stamp(image);
    ASSERT_TRUE(ImageChecksumMatches(image.data(), image.size()));
    for (int last : {0x00, 0x01, 0x7F, 0xFF}) {
        if (last == image.back()) {
            continue;
        }
        Bytes changed = image;
        changed.back() = static_cast<unsigned char>(last);
        EXPECT_FALSE(ImageChecksumMatches(changed.data(), changed.size())) << "last byte " << last;
    }
}

TEST(ImageChecksum, TruncatedOrExtendedImageFails) {
    const Bytes image = StampedImage();
    Bytes shorter(image.begin(), image.end() - 1);
    Bytes longer = image;
    longer.push_back(0);  // adds nothing to the sum, but the length counts
    Bytes longerEven = image;
    longerEven.insert(longerEven.end(), {0, 0});
    EXPECT_FALSE(ImageChecksumMatches(shorter.data(), shorter.size()));
    EXPECT_FALSE(ImageChecksumMatches(longer.data(), longer.size()));
    EXPECT_FALSE(ImageChecksumMatches(longerEven.data(), longerEven.size()));
}

TEST(ImageChecksum, StoredFieldIsLeftOutOfTheSum) {
    Bytes image = MakeImage(1024, 0x80, Ramp);
    const size_t field = 0x80 + 88;
    const uint32_t reference = ComputeImageChecksum(image.data(), image.size(), field);
    for (uint32_t stored : {0u, 1u, 0xFFFFFFFFu, 0x12345678u, reference}) {
        PutLe32(image, field, stored);
        EXPECT_EQ(ComputeImageChecksum(image.data(), image.size(), field), reference) << "stored " << stored;
        EXPECT_EQ(ImageChecksumMatches(image.data(), image.size()), stored == reference) << "stored " << stored;
    }
}

}  // namespace
