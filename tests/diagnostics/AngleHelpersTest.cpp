#include <gtest/gtest.h>

#include <cmath>

#include "diagnostics/AngleHelpers.h"

namespace {

struct BearingCase {
    double X2, Y2;
    float Expected;
};

void PrintTo(const BearingCase& c, std::ostream* os) {
    *os << "to " << c.X2 << "," << c.Y2;
}

class BearingCases : public ::testing::TestWithParam<BearingCase> {};

}  // namespace

TEST_P(BearingCases, BearingFromTheOriginRunsClockwiseFromUp) {
    const BearingCase& c = GetParam();
    float bearing = BearingBetweenPoints(0.0, 0.0, c.X2, c.Y2);
    // Up can come out as 0 or a hair under 360; both are the same bearing.
    float difference = std::fabs(bearing - c.Expected);
    if (difference > 180.0f) difference = 360.0f - difference;
    EXPECT_LT(difference, 1e-4f) << bearing;
    EXPECT_GE(bearing, 0.0f);
    EXPECT_LT(bearing, 360.0f);
}

INSTANTIATE_TEST_SUITE_P(Quadrants, BearingCases,
                         ::testing::Values(BearingCase{10, 0, 90}, BearingCase{0, 10, 180},
                                           BearingCase{-10, 0, 270}, BearingCase{0, -10, 0},
                                           BearingCase{10, -10, 45}, BearingCase{10, 10, 135},
                                           BearingCase{-10, 10, 225}, BearingCase{-10, -10, 315}));

TEST(AngleHelpers, BearingIsExactOnTheAxes) {
    EXPECT_EQ(BearingBetweenPoints(0, 0, 10, 0), 90.0f);
    EXPECT_EQ(BearingBetweenPoints(0, 0, 0, 10), 180.0f);
    EXPECT_EQ(BearingBetweenPoints(0, 0, -10, 0), 270.0f);
    EXPECT_EQ(BearingBetweenPoints(5, 5, 5, -5), BearingBetweenPoints(0, 0, 0, -10));
}

TEST(AngleHelpers, AtanAndDistances) {
    EXPECT_DOUBLE_EQ(AtanBetweenPoints(1, 1, 2, 2), std::atan2(1.0, 1.0));
    EXPECT_FLOAT_EQ(DistanceBetweenPoints(1, 1, 4, 5), 5.0f);
    EXPECT_FLOAT_EQ(DistanceSquared(1, 1, 4, 5), 25.0f);
    EXPECT_FLOAT_EQ(DistanceBetweenPoints(3, 3, 3, 3), 0.0f);
}

TEST(AngleHelpers, AngleDifferenceTakesTheShorterWay) {
    EXPECT_FLOAT_EQ(AngleDifference(350, 10), 20);
    EXPECT_FLOAT_EQ(AngleDifference(10, 350), 20);
    EXPECT_FLOAT_EQ(AngleDifference(90, 270), 180);
    EXPECT_FLOAT_EQ(AngleDifference(0, 0), 0);
    EXPECT_FLOAT_EQ(AngleDifference(0, 359), 1);
}

TEST(AngleHelpers, TurnsClockwiseAcrossTheWrap) {
    EXPECT_TRUE(TurnsClockwise(350, 10));
    EXPECT_FALSE(TurnsClockwise(10, 350));
    EXPECT_FALSE(TurnsClockwise(0, 180)) << "opposite bearings turn anticlockwise";
    EXPECT_TRUE(TurnsClockwise(0, 179));
}

namespace {

struct TurnCase {
    float Current, Target, Step, Expected;
};

void PrintTo(const TurnCase& c, std::ostream* os) {
    *os << c.Current << " to " << c.Target << " by " << c.Step;
}

class TurnTowardsCases : public ::testing::TestWithParam<TurnCase> {};

}  // namespace

TEST_P(TurnTowardsCases, StepsTheShorterWayAndWraps) {
    const TurnCase& c = GetParam();
    EXPECT_FLOAT_EQ(TurnTowards(c.Current, c.Target, c.Step), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Turns, TurnTowardsCases,
                         ::testing::Values(TurnCase{350, 10, 5, 355}, TurnCase{350, 10, 30, 10},
                                           TurnCase{10, 350, 15, 355}, TurnCase{0, 180, 10, 350},
                                           TurnCase{355, 20, 10, 5}, TurnCase{5, 300, 10, 355},
                                           TurnCase{90, 100, 10, 100}, TurnCase{90, 80, 3, 87}));
