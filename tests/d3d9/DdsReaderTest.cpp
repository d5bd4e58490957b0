#include <gtest/gtest.h>

#include <string>

#include "D3DXTestHelpers.h"
#include "platform/d3d9/DdsReader.h"

namespace {

using namespace D3DXTest;

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
