#include <gtest/gtest.h>

#include "platform/d3d9/D3DXResample.h"

namespace {

using D3DXResample::Filter;
using D3DXResample::Resize;

TEST(D3DXResample, BoxHalvingAveragesEachChannelOfTheFourTexels) {
    const std::vector<uint32_t> src = {0xFF000000, 0x80FF0000, 0x0000FF00, 0x400000FF};
    const std::vector<uint32_t> out = Resize(src, 2, 2, 1, 1, Filter::kBox);
    // A (255+128+0+64)/4 = 111.75, R 63.75, G 63.75, B 63.75.
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], 0x70404040u);
}

struct ConstantCase {
    int Sw, Sh, Dw, Dh;
    Filter F;
};

class D3DXResampleConstant : public ::testing::TestWithParam<ConstantCase> {};

TEST_P(D3DXResampleConstant, AConstantImageStaysConstantAtAnyScale) {
    const ConstantCase c = GetParam();
    const std::vector<uint32_t> src(size_t(c.Sw) * c.Sh, 0xC8326496);
    const std::vector<uint32_t> out = Resize(src, c.Sw, c.Sh, c.Dw, c.Dh, c.F);
    ASSERT_EQ(out.size(), size_t(c.Dw) * c.Dh);
    for (uint32_t p : out) ASSERT_EQ(p, 0xC8326496u);
}

INSTANTIATE_TEST_SUITE_P(Scales, D3DXResampleConstant,
                         ::testing::Values(ConstantCase{3, 3, 2, 2, Filter::kBox},
                                           ConstantCase{7, 5, 3, 1, Filter::kBox},
                                           ConstantCase{5, 3, 8, 4, Filter::kBox},
                                           ConstantCase{1, 1, 4, 4, Filter::kBox},
                                           ConstantCase{5, 3, 8, 4, Filter::kPoint}));

TEST(D3DXResample, PointDoublingRepeatsEachTexelAndHalvingTakesTheFirst) {
    const std::vector<uint32_t> src = {1, 2, 3, 4};
    EXPECT_EQ(Resize(src, 2, 2, 4, 2, Filter::kPoint),
              (std::vector<uint32_t>{1, 1, 2, 2, 3, 3, 4, 4}));
    EXPECT_EQ(Resize(src, 4, 1, 2, 1, Filter::kPoint), (std::vector<uint32_t>{1, 3}));
}

TEST(D3DXResample, NoFilterCopiesTheOverlapAndLeavesTheRestTransparentBlack) {
    const std::vector<uint32_t> src = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(Resize(src, 3, 2, 2, 3, Filter::kNone), (std::vector<uint32_t>{1, 2, 4, 5, 0, 0}));
}

TEST(D3DXResample, FilterWordsMapToTheirKindWhateverTheFlagsAbove) {
    EXPECT_EQ(D3DXResample::FromFilterWord(0xFFFFFFFFu), Filter::kBox);
    EXPECT_EQ(D3DXResample::FromFilterWord(1), Filter::kNone);
    EXPECT_EQ(D3DXResample::FromFilterWord(2 | (1 << 19)), Filter::kPoint);
    EXPECT_EQ(D3DXResample::FromFilterWord(3), Filter::kBox);
    EXPECT_EQ(D3DXResample::FromFilterWord(5 | (7 << 16)), Filter::kBox);
}

}  // namespace
