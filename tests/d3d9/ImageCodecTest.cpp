#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/d3d9/ImageCodec.h"

namespace {

ImageCodec::Image Gradient(int w, int h, bool alpha) {
    ImageCodec::Image image;
    image.Width = w;
    image.Height = h;
    image.HasAlpha = alpha;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t a = alpha ? uint32_t((x * 37 + y * 11) & 0xFF) : 0xFF;
            image.Pixels.push_back((a << 24) | (uint32_t(x * 20) << 16) | (uint32_t(y * 30) << 8) |
                                   uint32_t((x ^ y) * 9));
        }
    }
    return image;
}

void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void Append(std::vector<uint8_t>& b, const std::vector<uint8_t>& more) {
    b.insert(b.end(), more.begin(), more.end());
}

// A TGA header followed by the given colour map and texel bytes.
std::vector<uint8_t> Tga(int type, int w, int h, int bits, int descriptor,
                         const std::vector<uint8_t>& data, int mapFirst = 0, int mapCount = 0,
                         int mapBits = 0, const std::vector<uint8_t>& map = {}) {
    std::vector<uint8_t> b = {0, uint8_t(mapCount > 0 ? 1 : 0), uint8_t(type)};
    Put16(b, uint32_t(mapFirst));
    Put16(b, uint32_t(mapCount));
    b.push_back(uint8_t(mapBits));
    Put32(b, 0);  // origin
    Put16(b, uint32_t(w));
    Put16(b, uint32_t(h));
    b.push_back(uint8_t(bits));
    b.push_back(uint8_t(descriptor));
    Append(b, map);
    Append(b, data);
    return b;
}

// A BMP with a 40-byte header (plus masks for bit fields), a palette and rows as given.
std::vector<uint8_t> Bmp(int w, int h, int bits, uint32_t compression,
                         const std::vector<uint8_t>& palette, const std::vector<uint8_t>& rows,
                         const std::vector<uint32_t>& masks = {}) {
    const uint32_t pixelsAt = uint32_t(54 + masks.size() * 4 + palette.size());
    std::vector<uint8_t> b = {'B', 'M'};
    Put32(b, uint32_t(pixelsAt + rows.size()));
    Put32(b, 0);
    Put32(b, pixelsAt);
    Put32(b, 40);
    Put32(b, uint32_t(w));
    Put32(b, uint32_t(h));
    Put16(b, 1);
    Put16(b, uint32_t(bits));
    Put32(b, compression);
    Put32(b, uint32_t(rows.size()));
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, uint32_t(palette.size() / 4));
    Put32(b, 0);
    for (uint32_t m : masks) Put32(b, m);
    Append(b, palette);
    Append(b, rows);
    return b;
}

std::vector<uint8_t> Encoded(const ImageCodec::Image& image, ImageCodec::FileFormat format,
                             bool alpha) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ImageCodec::Encode(image, format, alpha, bytes));
    return bytes;
}

struct LosslessCase {
    const char* Name;
    ImageCodec::FileFormat Format;
    bool Alpha;
};

class ImageCodecLossless : public ::testing::TestWithParam<LosslessCase> {};

TEST_P(ImageCodecLossless, DecodesWhatItEncoded) {
    const LosslessCase c = GetParam();
    // Odd width, so BMP rows need padding.
    const ImageCodec::Image image = Gradient(7, 5, true);
    const std::vector<uint8_t> bytes = Encoded(image, c.Format, c.Alpha);
    EXPECT_EQ(ImageCodec::Identify(bytes.data(), bytes.size()), c.Format);
    ImageCodec::Image back;
    ASSERT_TRUE(ImageCodec::Decode(bytes.data(), bytes.size(), back));
    EXPECT_EQ(back.Width, 7);
    EXPECT_EQ(back.Height, 5);
    EXPECT_EQ(back.HasAlpha, c.Alpha);
    for (size_t i = 0; i < image.Pixels.size(); ++i) {
        const uint32_t want = c.Alpha ? image.Pixels[i] : image.Pixels[i] | 0xFF000000u;
        ASSERT_EQ(back.Pixels[i], want) << "texel " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ImageCodecLossless,
                         ::testing::Values(LosslessCase{"PngAlpha", ImageCodec::kPng, true},
                                           LosslessCase{"Png", ImageCodec::kPng, false},
                                           LosslessCase{"TgaAlpha", ImageCodec::kTga, true},
                                           LosslessCase{"Tga", ImageCodec::kTga, false},
                                           LosslessCase{"Bmp", ImageCodec::kBmp, false}),
                         [](const ::testing::TestParamInfo<LosslessCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST(ImageCodec, JpegRoundTripStaysCloseAndOpaque) {
    ImageCodec::Image flat;
    flat.Width = 16;
    flat.Height = 16;
    flat.Pixels.assign(256, 0x80406080);
    const std::vector<uint8_t> bytes = Encoded(flat, ImageCodec::kJpg, true);
    ImageCodec::Image back;
    ASSERT_TRUE(ImageCodec::Decode(bytes.data(), bytes.size(), back));
    EXPECT_FALSE(back.HasAlpha);
    for (uint32_t p : back.Pixels) {
        EXPECT_EQ(p >> 24, 0xFFu);
        EXPECT_LE(std::abs(int((p >> 16) & 0xFF) - 0x40), 3);
        EXPECT_LE(std::abs(int((p >> 8) & 0xFF) - 0x60), 3);
        EXPECT_LE(std::abs(int(p & 0xFF) - 0x80), 3);
    }
}

uint32_t Crc32(const uint8_t* p, size_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// Some writers start the image data with an empty chunk; the data that follows still counts.
TEST(ImageCodec, PngWithAnEmptyFirstDataChunkDecodes) {
    const ImageCodec::Image image = Gradient(9, 4, true);
    std::vector<uint8_t> png = Encoded(image, ImageCodec::kPng, true);
    const size_t idat = 8 + 12 + 13;  // signature, then the header chunk
    ASSERT_EQ(std::string(png.begin() + idat + 4, png.begin() + idat + 8), "IDAT");
    std::vector<uint8_t> empty = {0, 0, 0, 0, 'I', 'D', 'A', 'T'};
    const uint32_t crc = Crc32(empty.data() + 4, 4);
    for (int s = 24; s >= 0; s -= 8) empty.push_back(uint8_t(crc >> s));
    png.insert(png.begin() + idat, empty.begin(), empty.end());
    ImageCodec::Image back;
    ASSERT_TRUE(ImageCodec::Decode(png.data(), png.size(), back));
    EXPECT_EQ(back.Pixels, image.Pixels);
}

// An 8x8 grey progressive JPEG whose every scan codes the DC values again (all zero, one bit
// each): a valid picture however many scans it has, but each scan is another pass.
std::vector<uint8_t> ProgressiveJpeg(int scans) {
    std::vector<uint8_t> b = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
    b.insert(b.end(), 64, 1);
    Append(b, {0xFF, 0xC2, 0x00, 0x0B, 8, 0, 8, 0, 8, 1, 1, 0x11, 0});
    // DC table 0: a single one-bit code for "no difference".
    Append(b, {0xFF, 0xC4, 0x00, 0x14, 0x00, 1});
    b.insert(b.end(), 15, 0);
    b.push_back(0);
    for (int i = 0; i < scans; ++i) {
        Append(b, {0xFF, 0xDA, 0x00, 0x08, 1, 1, 0x00, 0, 0, 0x00, 0x7F});
    }
    Append(b, {0xFF, 0xD9});
    return b;
}

TEST(ImageCodec, ProgressiveJpegWithEndlessScansIsRefused) {
    ImageCodec::Image image;
    const std::vector<uint8_t> few = ProgressiveJpeg(5);
    ASSERT_TRUE(ImageCodec::Decode(few.data(), few.size(), image));
    EXPECT_EQ(image.Pixels, std::vector<uint32_t>(64, 0xFF808080));
    const std::vector<uint8_t> endless = ProgressiveJpeg(1000);
    EXPECT_FALSE(ImageCodec::Decode(endless.data(), endless.size(), image));
}

struct DecodeCase {
    const char* Name;
    std::vector<uint8_t> Bytes;
    int Width, Height;
    bool HasAlpha;
    std::vector<uint32_t> Pixels;
};

class ImageCodecDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(ImageCodecDecode, GivesTheTexelsTheFileDescribes) {
    const DecodeCase& c = GetParam();
    EXPECT_NE(ImageCodec::Identify(c.Bytes.data(), c.Bytes.size()), ImageCodec::kUnknown);
    ImageCodec::Image image;
    ASSERT_TRUE(ImageCodec::Decode(c.Bytes.data(), c.Bytes.size(), image));
    EXPECT_EQ(image.Width, c.Width);
    EXPECT_EQ(image.Height, c.Height);
    EXPECT_EQ(image.HasAlpha, c.HasAlpha);
    EXPECT_EQ(image.Pixels, c.Pixels);
}

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF,
                   kBlack = 0xFF000000;

std::vector<DecodeCase> DecodeInputs() {
    // Palette entries are blue, green, red, unused.
    const std::vector<uint8_t> palette = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
    // Bottom-up rows of three 8-bit indices, padded to four bytes; index 7 is past the palette.
    const std::vector<uint8_t> rows8 = {2, 1, 0, 0, 0, 7, 1, 0};
    // 4-bit indices, high nibble first.
    const std::vector<uint8_t> rows4 = {0x01, 0x20, 0, 0};
    // Top-down 5-6-5 texels through explicit masks: red, green, blue, white.
    std::vector<uint8_t> rows565;
    for (uint32_t v : {0xF800u, 0x07E0u, 0x001Fu, 0xFFFFu}) Put16(rows565, v);
    // 32-bit texels with a fourth byte of zero everywhere, and with real alpha.
    const std::vector<uint8_t> zeroAlpha = {255, 0, 0, 0, 0, 255, 0, 0};
    const std::vector<uint8_t> realAlpha = {255, 0, 0, 0x80, 0, 255, 0, 0xFF};
    // Run-length 24-bit, bottom-up 3x2: a run of four red crossing into the top row, then a
    // raw packet of green and white.
    const std::vector<uint8_t> rle = {0x83, 0, 0, 255, 0x01, 0, 255, 0, 255, 255, 255};
    // Colour map whose first index is 10: 10 red, 11 blue; 3 is outside the map.
    const std::vector<uint8_t> map = {0, 0, 255, 255, 0, 0};
    // 16-bit texels with one alpha bit, stored right to left: transparent blue, opaque red.
    std::vector<uint8_t> tga16;
    for (uint32_t v : {0x001Fu, 0xFC00u}) Put16(tga16, v);
    return {
        {"BmpPaletteBottomUp",
         Bmp(3, 2, 8, 0, palette, rows8),
         3,
         2,
         false,
         {kRed, kBlack, kGreen, kBlue, kGreen, kRed}},
        {"BmpFourBitPalette", Bmp(3, 1, 4, 0, palette, rows4), 3, 1, false, {kRed, kGreen, kBlue}},
        {"BmpBitFieldsTopDown",
         Bmp(2, -2, 16, 3, {}, rows565, {0xF800, 0x07E0, 0x001F}),
         2,
         2,
         false,
         {kRed, kGreen, kBlue, kWhite}},
        {"Bmp32WithZeroAlphaIsOpaque",
         Bmp(2, 1, 32, 0, {}, zeroAlpha),
         2,
         1,
         false,
         {kBlue, kGreen}},
        {"Bmp32KeepsRealAlpha",
         Bmp(2, 1, 32, 0, {}, realAlpha),
         2,
         1,
         true,
         {0x800000FF, 0xFF00FF00}},
        {"TgaRunLengthAcrossRows",
         Tga(10, 3, 2, 24, 0, rle),
         3,
         2,
         false,
         {kRed, kGreen, kWhite, kRed, kRed, kRed}},
        {"TgaColourMapTopDown",
         Tga(1, 3, 1, 8, 0x20, {10, 11, 3}, 10, 2, 24, map),
         3,
         1,
         false,
         {kRed, kBlue, kBlack}},
        {"TgaSixteenBitRightToLeft", Tga(2, 2, 1, 16, 0x31, tga16), 2, 1, true, {kRed, 0x000000FF}},
        {"TgaGrey", Tga(3, 2, 1, 8, 0x20, {0, 0x80}), 2, 1, false, {kBlack, 0xFF808080}},
    };
}

INSTANTIATE_TEST_SUITE_P(Files, ImageCodecDecode, ::testing::ValuesIn(DecodeInputs()),
                         [](const ::testing::TestParamInfo<DecodeCase>& info) {
                             return std::string(info.param.Name);
                         });

// A PNG signature and header chunk declaring the given size.
std::vector<uint8_t> PngHeaderOnly(uint32_t w, uint32_t h) {
    std::vector<uint8_t> b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n',
                              0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    for (uint32_t v : {w, h}) {
        for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
    }
    for (uint8_t v : {8, 6, 0, 0, 0, 0, 0, 0, 0}) b.push_back(v);
    return b;
}

struct HostileCase {
    const char* Name;
    std::vector<uint8_t> Bytes;
};

class ImageCodecHostile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(ImageCodecHostile, DecodeRejectsAndLeavesTheImageEmpty) {
    const std::vector<uint8_t>& bytes = GetParam().Bytes;
    ImageCodec::Image image = Gradient(2, 2, false);
    EXPECT_FALSE(ImageCodec::Decode(bytes.data(), bytes.size(), image));
    EXPECT_EQ(image.Width, 0);
    EXPECT_TRUE(image.Pixels.empty());
}

std::vector<HostileCase> HostileInputs() {
    const std::vector<uint8_t> png = Encoded(Gradient(32, 32, true), ImageCodec::kPng, true);
    std::vector<uint8_t> truncatedPng(png.begin(), png.begin() + png.size() / 2);
    std::vector<uint8_t> corruptPng = png;
    for (size_t i = 40; i < corruptPng.size() - 20; ++i) corruptPng[i] ^= 0x5A;
    // A table segment whose code counts add up to 512 where at most 256 fit.
    std::vector<uint8_t> hugeTable = {0xFF, 0xC4, 0x01, 0x13, 0x00};
    hugeTable.insert(hugeTable.end(), 16, 0x20);
    hugeTable.insert(hugeTable.end(), 512, 0x01);
    std::vector<uint8_t> hugeTableJpeg = {0xFF, 0xD8};
    Append(hugeTableJpeg, hugeTable);
    std::vector<uint8_t> filledJpeg = {0xFF, 0xFF, 0xFF, 0xD8};
    Append(filledJpeg, hugeTable);
    const std::vector<uint8_t> jpeg = Encoded(Gradient(32, 32, false), ImageCodec::kJpg, false);
    std::vector<uint8_t> truncatedJpeg(jpeg.begin(), jpeg.begin() + jpeg.size() * 2 / 3);
    // The same file with its frame header claiming 8192x8192.
    std::vector<uint8_t> hugeJpeg = jpeg;
    for (size_t i = 0; i + 9 < hugeJpeg.size(); ++i) {
        if (hugeJpeg[i] == 0xFF && hugeJpeg[i + 1] == 0xC0) {
            hugeJpeg[i + 5] = hugeJpeg[i + 7] = 0x20;
            hugeJpeg[i + 6] = hugeJpeg[i + 8] = 0;
            break;
        }
    }

    const std::vector<uint8_t> tga = Tga(2, 4, 4, 24, 0, std::vector<uint8_t>(48, 0x33));
    std::vector<uint8_t> truncatedTga(tga.begin(), tga.end() - 1);
    // Run-length: a run of 16 then a raw packet of 2 whose second texel is missing.
    const std::vector<uint8_t> truncatedRle =
        Tga(10, 5, 4, 24, 0, {0x8F, 1, 2, 3, 0x01, 4, 5, 6, 7, 8});
    const std::vector<uint8_t> bmp = Bmp(3, 3, 24, 0, {}, std::vector<uint8_t>(36, 0x44));
    std::vector<uint8_t> truncatedBmp(bmp.begin(), bmp.end() - 5);
    return {
        {"Empty", {}},
        {"Text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}},
        {"SignatureOnly", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}},
        {"TruncatedPng", truncatedPng},
        {"CorruptPng", corruptPng},
        {"PngClaimsHugeSize", PngHeaderOnly(100000, 100000)},
        {"PngClaimsLimitWithoutData", PngHeaderOnly(8192, 8192)},
        {"JpegHuffmanTableTooLarge", hugeTableJpeg},
        {"JpegFillBytesBeforeStart", filledJpeg},
        {"TruncatedJpeg", truncatedJpeg},
        {"JpegClaimsLimitWithoutData", hugeJpeg},
        // 22 and 62-byte files claiming 8192x8192 texels.
        {"TgaClaimsLimitWithoutData", Tga(2, 8192, 8192, 32, 0, {1, 2, 3, 4})},
        {"RunLengthTgaClaimsLimitWithoutData", Tga(10, 8192, 8192, 24, 0, {0xFF, 1, 2, 3})},
        {"BmpClaimsLimitWithoutData", Bmp(8192, 8192, 24, 0, {}, std::vector<uint8_t>(8, 0))},
        {"TruncatedTga", truncatedTga},
        {"TruncatedRunLengthTga", truncatedRle},
        {"TruncatedBmp", truncatedBmp},
        {"TgaWiderThanTheLimit", Tga(2, 8193, 1, 24, 0, std::vector<uint8_t>(8193 * 3, 0))},
        {"RunLengthBmp", Bmp(2, 2, 8, 1, {0, 0, 0, 0}, std::vector<uint8_t>(16, 0))},
        {"BmpSignatureOnly", {'B', 'M', 0, 0}},
        {"TgaWithoutImage", Tga(0, 4, 4, 24, 0, std::vector<uint8_t>(48, 0))},
    };
}

INSTANTIATE_TEST_SUITE_P(Inputs, ImageCodecHostile, ::testing::ValuesIn(HostileInputs()),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST(ImageCodec, NullDataIsNotAnImage) {
    ImageCodec::Image image;
    EXPECT_FALSE(ImageCodec::Decode(nullptr, 100, image));
    EXPECT_EQ(ImageCodec::Identify(nullptr, 100), ImageCodec::kUnknown);
}

}  // namespace
