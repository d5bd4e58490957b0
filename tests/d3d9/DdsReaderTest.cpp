#include <gtest/gtest.h>

#include <string>

#include "D3DXTestHelpers.h"
#include "platform/d3d9/DdsReader.h"

namespace {

using namespace D3DXTest;

struct FormatCase {
    const char* Name;
    DdsPixelFormat Pf;
    uint32_t Format;
    int Bpp;
};

class DdsReaderFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(DdsReaderFormats, RecognisesTheTexelLayoutAndPointsAtTheFileBytes) {
    const FormatCase c = GetParam();
    const std::vector<uint8_t> file = MakeDds(3, 2, c.Pf, 0, CountingBytes(3 * 2 * c.Bpp));
    DdsReader::Image image;
    ASSERT_TRUE(DdsReader::Read(file.data(), file.size(), image));
    EXPECT_EQ(image.Format, c.Format);
    EXPECT_EQ(image.Width, 3);
    EXPECT_EQ(image.Height, 2);
    ASSERT_EQ(image.Levels.size(), 1u);
    EXPECT_EQ(image.Levels[0].Pitch, 3 * c.Bpp);
    EXPECT_EQ(image.Levels[0].Offset, 128u);
}

INSTANTIATE_TEST_SUITE_P(
    Nine, DdsReaderFormats,
    ::testing::Values(
        FormatCase{"A8R8G8B8", DdsA8R8G8B8(), 21, 4}, FormatCase{"X8R8G8B8", DdsX8R8G8B8(), 22, 4},
        FormatCase{"R5G6B5", DdsR5G6B5(), 23, 2}, FormatCase{"X1R5G5B5", DdsX1R5G5B5(), 24, 2},
        FormatCase{"A1R5G5B5", DdsA1R5G5B5(), 25, 2}, FormatCase{"A4R4G4B4", DdsA4R4G4B4(), 26, 2},
        FormatCase{"A8", DdsA8(), 28, 1}, FormatCase{"L8", DdsL8(), 50, 1},
        FormatCase{"A8L8", DdsA8L8(), 51, 2},
        FormatCase{"FourCCNumber", {0x4, 51, 0, 0, 0, 0, 0}, 51, 2}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.Name); });

TEST(DdsReader, LaysOutTheFilesMipLevelsBackToBack) {
    // 8x4 A8L8: levels 8x4, 4x2, 2x1, 1x1 of 64 + 16 + 4 + 2 bytes, ending exactly at the end.
    const std::vector<uint8_t> file = MakeDds(8, 4, DdsA8L8(), 4, CountingBytes(86));
    DdsReader::Image image;
    ASSERT_TRUE(DdsReader::Read(file.data(), file.size(), image));
    ASSERT_EQ(image.Levels.size(), 4u);
    const int sizes[4][2] = {{8, 4}, {4, 2}, {2, 1}, {1, 1}};
    const size_t offsets[4] = {128, 192, 208, 212};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(image.Levels[i].Width, sizes[i][0]);
        EXPECT_EQ(image.Levels[i].Height, sizes[i][1]);
        EXPECT_EQ(image.Levels[i].Offset, offsets[i]);
    }
}

struct HostileCase {
    const char* Name;
    std::vector<uint8_t> Bytes;
};

class DdsReaderHostile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(DdsReaderHostile, RejectsWithoutReadingPastTheBuffer) {
    // The bytes live in a buffer of exactly their size, so the sanitizer build catches any
    // read beyond it.
    const std::vector<uint8_t>& bytes = GetParam().Bytes;
    DdsReader::Image image;
    EXPECT_FALSE(DdsReader::Read(bytes.data(), bytes.size(), image));
    EXPECT_TRUE(image.Levels.empty());
}

std::vector<uint8_t> Patched(std::vector<uint8_t> b, size_t at, uint32_t v) {
    PutU32(b, at, v);
    return b;
}

std::vector<HostileCase> HostileInputs() {
    const std::vector<uint8_t> good = MakeDds(4, 4, DdsA8L8(), 3, CountingBytes(32 + 8 + 2));
    std::vector<uint8_t> shortHeader(good.begin(), good.begin() + 100);
    std::vector<uint8_t> lastLevelShort(good.begin(), good.end() - 1);
    std::vector<uint8_t> firstLevelShort(good.begin(), good.begin() + 128 + 31);
    return {
        {"Empty", {}},
        {"SignatureOnly", {'D', 'D', 'S', ' '}},
        {"HeaderCut", shortHeader},
        {"FirstLevelCut", firstLevelShort},
        {"LastLevelCut", lastLevelShort},
        {"WrongHeaderSize", Patched(good, 4, 100)},
        {"WrongPixelFormatSize", Patched(good, 76, 24)},
        {"ZeroWidth", Patched(good, 16, 0)},
        {"ZeroHeight", Patched(good, 12, 0)},
        {"HugeSides", Patched(Patched(good, 16, 0x40000000), 12, 0x40000000)},
        {"MoreLevelsThanTheSizeAllows", Patched(good, 28, 4)},
        {"CompressedFourCC", MakeDds(4, 4, {0x4, 0x31545844, 0, 0, 0, 0, 0}, 0, CountingBytes(8))},
        {"UnknownMasks", MakeDds(2, 2, {0x40, 0, 16, 0xF00, 0xF0, 0xF, 0}, 0, CountingBytes(8))},
        {"CubeMap", Patched(good, 112, 0x200 | 0xFC00)},
        {"Volume", Patched(good, 112, 0x200000)},
    };
}

INSTANTIATE_TEST_SUITE_P(Inputs, DdsReaderHostile, ::testing::ValuesIn(HostileInputs()),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                             return std::string(info.param.Name);
                         });

}  // namespace
