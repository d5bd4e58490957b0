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

TEST(ImageCodec, JpegRoundTripStaysCloseAndOpaque) {
    ImageCodec::Image flat;
    flat.Width = 16;
    flat.Height = 16;
    flat.Pixels.assign(256, 0x80406080);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ImageCodec::Encode(flat, ImageCodec::kJpg, true, bytes));
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

std::vector<uint8_t> EncodedPng() {
    std::vector<uint8_t> bytes;
    ImageCodec::Encode(Gradient(32, 32, true), ImageCodec::kPng, true, bytes);
    return bytes;
}

// A PNG signature and header chunk declaring the given size; stb does not check CRCs.
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
    std::vector<uint8_t> png = EncodedPng();
    std::vector<uint8_t> truncated(png.begin(), png.begin() + png.size() / 2);
    std::vector<uint8_t> corrupt = png;
    for (size_t i = 40; i < corrupt.size() - 20; ++i) corrupt[i] ^= 0x5A;
    // A table segment whose code counts add up to 512 where at most 256 fit.
    std::vector<uint8_t> hugeTable = {0xFF, 0xD8, 0xFF, 0xC4, 0x01, 0x13, 0x00};
    hugeTable.insert(hugeTable.end(), 16, 0x20);
    hugeTable.insert(hugeTable.end(), 512, 0x01);
    return {
        {"Empty", {}},
        {"JpegHuffmanTableTooLarge", hugeTable},
        {"Text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}},
        {"SignatureOnly", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}},
        {"TruncatedPng", truncated},
        {"CorruptPng", corrupt},
        {"HugeDeclaredSize", PngHeaderOnly(100000, 100000)},
        {"BmpSignatureOnly", {'B', 'M', 0, 0}},
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
