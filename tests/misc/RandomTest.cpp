#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "misc/Random.h"
#include "support/TestSupport.h"

namespace {

// The generator written out once more, so the tables are checked against the stated recurrence
// and not against themselves.
std::vector<float> ReferenceSequence(uint32_t seed, int count) {
    std::vector<float> values;
    uint32_t state = seed;
    for (int i = 0; i < count; i++) {
        state = state * 214013u + 2531011u;
        values.push_back(static_cast<float>((state >> 16) & 0x7FFF) / 32768.0f);
    }
    return values;
}

class RandomTest : public ::testing::Test {
protected:
    void TearDown() override { FreeRandom(); }
};

}  // namespace

TEST_F(RandomTest, GeneratorFollowsTheStatedRecurrence) {
    SeedRand(1);
    // The first values of this recurrence from seed 1 are well known.
    EXPECT_EQ(NextRand(), 41);
    EXPECT_EQ(NextRand(), 18467);
    EXPECT_EQ(NextRand(), 6334);
    SeedRand(0xFFFFFFFFu);
    std::vector<float> reference = ReferenceSequence(0xFFFFFFFFu, 1000);
    for (float expected : reference) ASSERT_EQ(Rand01(), expected);
}

TEST_F(RandomTest, TablesTakeAlternateValuesOfOneSequence) {
    InitRandom(4, 1);
    std::vector<float> reference = ReferenceSequence(1, 8);
    for (int cycle = 0; cycle < 2; cycle++) {
        for (int i = 0; i < 4; i++) EXPECT_EQ(GetRandom(), reference[2 * i]) << i;
    }
    for (int i = 0; i < 4; i++) EXPECT_EQ(GetRandomB(), reference[2 * i + 1]) << i;
}

TEST_F(RandomTest, SameSeedGivesSameTablesAndRestartsPositions) {
    InitRandom(16, 12345);
    std::vector<float> first;
    for (int i = 0; i < 5; i++) first.push_back(GetRandom());
    GetRandomB();
    InitRandom(16, 12345);
    for (int i = 0; i < 5; i++) EXPECT_EQ(GetRandom(), first[static_cast<size_t>(i)]);
    EXPECT_EQ(GetRandomB(), ReferenceSequence(12345, 2)[1]);
}

TEST_F(RandomTest, TwoTablesAdvanceIndependently) {
    InitRandom(8, 7);
    std::vector<float> reference = ReferenceSequence(7, 16);
    EXPECT_EQ(GetRandom(), reference[0]);
    EXPECT_EQ(GetRandom(), reference[2]);
    EXPECT_EQ(GetRandomB(), reference[1]);
    EXPECT_EQ(GetRandom(), reference[4]);
    EXPECT_EQ(GetRandomB(), reference[3]);
}

TEST_F(RandomTest, RangesChancesAndInts) {
    InitRandom(1000, 3);
    for (int i = 0; i < 1000; i++) {
        EXPECT_FALSE(RandomChance(0.0f));
        EXPECT_TRUE(RandomChance(1.0f));
        EXPECT_EQ(RandomRange(5.0f, 5.0f), 5.0f);
        int n = RandomInt(9);
        EXPECT_GE(n, 0);
        EXPECT_LE(n, 8);
        float r = RandomRangeB(-2.0f, 2.0f);
        EXPECT_GE(r, -2.0f);
        EXPECT_LT(r, 2.0f);
        int live = LiveRandomInt(3);
        EXPECT_GE(live, 0);
        EXPECT_LE(live, 2);
        float liveRange = LiveRandomRange(10.0f, 20.0f);
        EXPECT_GE(liveRange, 10.0f);
        EXPECT_LT(liveRange, 20.0f);
    }
}

TEST_F(RandomTest, ReadsWithoutTablesLogAndGiveZero) {
    TestSupport::LogCapture log;
    FreeRandom();
    InitRandom(0, 1);
    EXPECT_EQ(GetRandom(), 0.0f);
    EXPECT_EQ(GetRandomB(), 0.0f);
    InitRandom(-5, 1);
    EXPECT_EQ(RandomRange(2.0f, 4.0f), 2.0f);
    InitRandom(4, 1);
    FreeRandom();
    EXPECT_EQ(GetRandom(), 0.0f);
    EXPECT_EQ(RandomInt(10), 0);
    ASSERT_FALSE(log.Messages().empty());
    for (const std::string& message : log.Messages()) EXPECT_EQ(message, "Random not ready");
}
