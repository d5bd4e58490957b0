// Texel encodings: byte layouts, widening, rounding and round trips of every stored format.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/d3d9/PixelFormats.h"

namespace {

using namespace PixelFormats;

struct KnownTexel {
    uint32_t Format;
    uint32_t Argb;               // written
    std::vector<uint8_t> Bytes;  // stored, in memory order
    uint32_t ReadBack;           // read again
};

class KnownTexels : public ::testing::TestWithParam<KnownTexel> {};

TEST_P(KnownTexels, StoreTheExpectedBytesAndReadBack) {
    const KnownTexel& c = GetParam();
    ASSERT_EQ(BytesPerPixel(c.Format), int(c.Bytes.size()));
    uint8_t bytes[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    Write(c.Format, bytes, c.Argb);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + c.Bytes.size()), c.Bytes);
    for (size_t i = c.Bytes.size(); i < 4; ++i) EXPECT_EQ(bytes[i], 0xEE) << "wrote past the texel";
    EXPECT_EQ(Read(c.Format, bytes), c.ReadBack);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, KnownTexels,
    ::testing::Values(KnownTexel{kA8R8G8B8, 0x80FF4020, {0x20, 0x40, 0xFF, 0x80}, 0x80FF4020},
                      // Unused bits are stored as ones; alpha-less formats read opaque.
                      KnownTexel{kX8R8G8B8, 0x00FF4020, {0x20, 0x40, 0xFF, 0xFF}, 0xFFFF4020},
                      // 0x80 -> 6 bits rounds to 32, 0x40 -> 5 bits rounds to 8.
                      KnownTexel{kR5G6B5, 0x12FF8040, {0x08, 0xFC}, 0xFFFF8242},
                      KnownTexel{kA1R5G5B5, 0x7FFF0000, {0x00, 0x7C}, 0x00FF0000},
                      KnownTexel{kA1R5G5B5, 0x80FF0000, {0x00, 0xFC}, 0xFFFF0000},
                      KnownTexel{kX1R5G5B5, 0x000000FF, {0x1F, 0x80}, 0xFF0000FF},
                      KnownTexel{kA4R4G4B4, 0x88FF4400, {0x40, 0x8F}, 0x88FF4400},
                      KnownTexel{kA4R4G4B4, 0x07080000, {0x00, 0x00}, 0x00000000},
                      // A8 keeps only alpha and reads black.
                      KnownTexel{kA8, 0x7FFFFFFF, {0x7F}, 0x7F000000},
                      // Luminance: grey keeps its level; colours weigh green most.
                      KnownTexel{kL8, 0x00636363, {0x63}, 0xFF636363},
                      KnownTexel{kL8, 0xFF00FF00, {149}, 0xFF959595},
                      KnownTexel{kA8L8, 0x40FFFFFF, {0xFF, 0x40}, 0x40FFFFFF}));

class SixteenBitFormats : public ::testing::TestWithParam<uint32_t> {};

TEST_P(SixteenBitFormats, EveryStoredValueSurvivesReadAndWrite) {
    const uint32_t format = GetParam();
    // Bits a format does not use are stored as ones, so compare with those set.
    const unsigned unused = format == kX1R5G5B5 ? 0x8000 : 0;
    for (unsigned v = 0; v < 0x10000; ++v) {
        const uint8_t in[2] = {uint8_t(v), uint8_t(v >> 8)};
        uint8_t out[2];
        Write(format, out, Read(format, in));
        ASSERT_EQ(unsigned(out[0] | (out[1] << 8)), v | unused) << std::hex << v;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, SixteenBitFormats,
                         ::testing::Values(kR5G6B5, kX1R5G5B5, kA1R5G5B5, kA4R4G4B4, kA8L8));

TEST(PixelFormats, NarrowingRoundsToTheNearestStep) {
    for (uint32_t c = 0; c < 256; ++c) {
        uint8_t b[2];
        Write(kR5G6B5, b, (c << 16) | (c << 8));
        const unsigned v = b[0] | (b[1] << 8);
        EXPECT_EQ(v >> 11, unsigned(std::floor(c * 31 / 255.0 + 0.5))) << c;
        EXPECT_EQ((v >> 5) & 0x3F, unsigned(std::floor(c * 63 / 255.0 + 0.5))) << c;
    }
}

TEST(PixelFormats, RowsMatchSingleTexelsAndUnknownFormatsAreInert) {
    const uint32_t colours[5] = {0xFF000000, 0x80FF8040, 0x12345678, 0xFFFFFFFF, 0x00000000};
    for (uint32_t format : {21u, 22u, 23u, 24u, 25u, 26u, 28u, 50u, 51u}) {
        const int bpp = BytesPerPixel(format);
        std::vector<uint8_t> row(5 * bpp), single(5 * bpp);
        WriteRow(format, row.data(), colours, 5);
        for (int i = 0; i < 5; ++i) Write(format, single.data() + i * bpp, colours[i]);
        EXPECT_EQ(row, single) << format;
        uint32_t back[5];
        ReadRow(format, row.data(), back, 5);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(back[i], Read(format, row.data() + i * bpp));
    }
    uint8_t bytes[4] = {1, 2, 3, 4};
    Write(20, bytes, 0xFFFFFFFF);  // R8G8B8 is not stored by the device
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(BytesPerPixel(20), 0);
    EXPECT_EQ(Read(20, bytes), 0u);
    uint32_t out[2] = {7, 7};
    ReadRow(20, bytes, out, 2);
    EXPECT_EQ(out[0], 0u);
}

}  // namespace
