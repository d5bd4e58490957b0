// Sprite geometry: positioning, turning, texture coordinates, colours and visibility. Nothing
// here draws; the expected corners come from the layout rules worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render/BaseSprite.h"
#include "support/TestSupport.h"

namespace {

struct Corner {
    float X, Y;
};

void ExpectCorners(const ScreenVertex* v, const Corner (&expected)[4]) {
    for (int i = 0; i < 4; i++) {
        EXPECT_NEAR(v[i].X, expected[i].X, 1e-3f) << "corner " << i;
        EXPECT_NEAR(v[i].Y, expected[i].Y, 1e-3f) << "corner " << i;
    }
}

const Corner kUpright[4] = {{95, 90}, {105, 90}, {95, 110}, {105, 110}};
// Turned clockwise by 90 degrees: the top-left corner moves to the top-right.
const Corner kQuarterTurn[4] = {{110, 95}, {110, 105}, {90, 95}, {90, 105}};

// Every way of positioning a 10 x 20 sprite at (100, 100) with a given angle.
enum class Method { Exact, Fast, SinCos, QuadExact, QuadFast };

class PositioningMethods : public ::testing::TestWithParam<Method> {
protected:
    void SetUp() override { FillSinCosTables(); }

    static void Position(BaseSprite& s, float angle) {
        s.Width = 10;
        s.Height = 20;
        s.Angle = angle;
        const float radians = angle * 3.14159265f / 180.0f;
        switch (GetParam()) {
            case Method::Exact:
                s.SetPosition(100, 100);
                break;
            case Method::Fast:
                s.SetPositionFast(100, 100);
                break;
            case Method::SinCos:
                s.SetPositionSinCos(100, 100, std::sin(radians), std::cos(radians));
                break;
            case Method::QuadExact:
                BaseSprite::PositionQuad(10, 20, 100, 100, angle, s.Verts);
                break;
            case Method::QuadFast:
                BaseSprite::PositionQuadFast(10, 20, 100, 100, angle, s.Verts);
                break;
        }
    }
};

}  // namespace

TEST_P(PositioningMethods, UprightAndQuarterTurnCorners) {
    BaseSprite s;
    Position(s, 0);
    ExpectCorners(s.Verts, kUpright);
    Position(s, 90);
    ExpectCorners(s.Verts, kQuarterTurn);
    // Positioning moves corners only: colour and texture coordinates stay.
    EXPECT_EQ(s.Verts[3].Color, 0xFFFFFFFFu);
    EXPECT_EQ(s.Verts[3].U, 1.0f);
    EXPECT_EQ(s.Verts[3].Rhw, 1.0f);
}

INSTANTIATE_TEST_SUITE_P(AllForms, PositioningMethods,
                         ::testing::Values(Method::Exact, Method::Fast, Method::SinCos,
                                           Method::QuadExact, Method::QuadFast));

TEST(BaseSprite, IgnoreAngleAndUnrotatedPositionIgnoreTheAngle) {
    FillSinCosTables();
    BaseSprite s;
    s.Width = 10;
    s.Height = 20;
    s.Angle = 90;
    s.IgnoreAngle = true;
    s.SetPosition(100, 100);
    ExpectCorners(s.Verts, kUpright);
    s.SetPositionFast(100, 100);
    ExpectCorners(s.Verts, kUpright);
    s.IgnoreAngle = false;
    s.SetPositionUnrotated(100, 100);
    ExpectCorners(s.Verts, kUpright);
}

TEST(BaseSprite, FastPositioningWrapsAnyAngleIntoTheTables) {
    FillSinCosTables();
    BaseSprite s;
    s.Width = 10;
    s.Height = 20;
    for (float angle : {450.0f, -270.0f, 90.9f, 810.0f}) {
        s.Angle = angle;
        s.SetPositionFast(100, 100);
        ExpectCorners(s.Verts, kQuarterTurn);
        EXPECT_EQ(s.Angle, angle) << "the angle itself is left alone";
    }
    // Non-finite and huge angles read a table entry too, never past the tables' ends.
    for (float angle : {std::numeric_limits<float>::quiet_NaN(),
                        std::numeric_limits<float>::infinity(), 1e30f, -1e30f}) {
        s.Angle = angle;
        s.SetPositionFast(100, 100);
        for (const ScreenVertex& v : s.Verts) EXPECT_TRUE(std::isfinite(v.X) && std::isfinite(v.Y));
    }
    s.Angle = std::numeric_limits<float>::quiet_NaN();
    s.SetPositionFast(100, 100);
    ExpectCorners(s.Verts, kUpright);
}

TEST(BaseSprite, DefaultsAndRectangleConstructor) {
    BaseSprite d;
    EXPECT_EQ(d.Width, 0.0f);
    EXPECT_EQ(d.Height, 0.0f);
    EXPECT_EQ(d.Angle, 0.0f);
    const float u[4] = {0, 1, 0, 1}, v[4] = {0, 0, 1, 1};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(d.Verts[i].Color, 0xFFFFFFFFu);
        EXPECT_EQ(d.Verts[i].Rhw, 1.0f);
        EXPECT_EQ(d.Verts[i].U, u[i]);
        EXPECT_EQ(d.Verts[i].V, v[i]);
    }
    BaseSprite r(95, 90, 105, 110);
    EXPECT_EQ(r.Width, 10.0f);
    EXPECT_EQ(r.Height, 20.0f);
    ExpectCorners(r.Verts, kUpright);
    EXPECT_FLOAT_EQ(r.GetCentreX(), 100.0f);
    EXPECT_FLOAT_EQ(r.GetCentreY(), 100.0f);
}

TEST(BaseSprite, RotateWrapsOnceEitherWay) {
    struct Case {
        float Start, Delta, Expected;
    } cases[] = {{5, -10, 355}, {350, 20, 10}, {0, 360, 0}, {10, -370, 0}, {90, 45, 135}};
    for (const Case& c : cases) {
        BaseSprite s;
        s.Angle = c.Start;
        s.Rotate(c.Delta);
        EXPECT_FLOAT_EQ(s.Angle, c.Expected) << c.Start << " + " << c.Delta;
    }
}

TEST(BaseSprite, MovingSnappingAndCopyingCorners) {
    BaseSprite s;
    s.SetCorners(10.7f, -3.2f, 20.2f, 5.9f);
    s.SnapToPixels();
    ExpectCorners(s.Verts, {{10.5f, -2.5f}, {20.5f, -2.5f}, {10.5f, 5.5f}, {20.5f, 5.5f}});
    s.Move(1, 2);
    BaseSprite t;
    t.CopyPositionsOffset(s, -1, -2);
    ExpectCorners(t.Verts, {{10.5f, -2.5f}, {20.5f, -2.5f}, {10.5f, 5.5f}, {20.5f, 5.5f}});
    EXPECT_FALSE(s.Contains(11.5f, 4)) << "on the left edge";
    EXPECT_FALSE(s.Contains(15, -0.5f)) << "on the top edge";
    EXPECT_TRUE(s.Contains(12, 0));
    RECT r;
    s.GetBoundingRect(r);
    EXPECT_EQ(r.left, 11);
    EXPECT_EQ(r.top, 0);  // -0.5 truncates toward zero
    EXPECT_EQ(r.right, 21);
    EXPECT_EQ(r.bottom, 7);
}

TEST(BaseSprite, ColoursPackUnsigned) {
    BaseSprite s;
    s.SetColour(255, 128, 64, 200);
    EXPECT_EQ(s.Verts[2].Color, 0xC8FF8040u);
    s.SetColour(SpriteColour{1, 2, 3, 255});
    EXPECT_EQ(s.Verts[0].Color, 0xFF010203u);
    s.SetColour(256 + 7, -1, 0, 128);  // channels keep their low byte
    EXPECT_EQ(s.Verts[1].Color, 0x8007FF00u);
    s.SetAlpha(255);
    EXPECT_EQ(s.Verts[3].Color, 0xFF07FF00u);
    ScreenVertex quad[4] = {};
    BaseSprite::SetQuadColour(0, 0, 255, 129, quad);
    EXPECT_EQ(quad[3].Color, 0x810000FFu);
}

TEST(BaseSprite, GridCellsAndFrames) {
    BaseSprite s;
    s.SetSquare(16, 5);
    EXPECT_EQ(s.Verts[0].U, 0.25f);
    EXPECT_EQ(s.Verts[0].V, 0.25f);
    EXPECT_EQ(s.Verts[3].U, 0.5f);
    EXPECT_EQ(s.Verts[3].V, 0.5f);
    s.SetFrame(2, 4, 5);  // row 1, column 1 of four columns and two rows
    EXPECT_EQ(s.Verts[0].U, 0.25f);
    EXPECT_EQ(s.Verts[0].V, 0.5f);
    EXPECT_EQ(s.Verts[3].U, 0.5f);
    EXPECT_EQ(s.Verts[3].V, 1.0f);
}

TEST(BaseSprite, OutOfRangeCellsLeaveTheCoordinatesAndSayWhy) {
    TestSupport::LogCapture log;
    BaseSprite s;
    s.SetUV(0.1f, 0.2f, 0.3f, 0.4f);
    s.SetSquare(16, 16);
    s.SetSquare(3, 1);
    s.SetSquare(16, -1);
    s.SetFrame(2, 0, 0);
    s.SetFrame(0, 2, 0);
    s.SetFrame(2, 2, 4);
    s.SetFrame(2, 2, -1);
    EXPECT_EQ(s.Verts[0].U, 0.1f);
    EXPECT_EQ(s.Verts[0].V, 0.2f);
    EXPECT_EQ(s.Verts[3].U, 0.3f);
    EXPECT_EQ(s.Verts[3].V, 0.4f);
    EXPECT_TRUE(log.Contains("BaseSprite::SetSquare: assertion failed: squareid <numsquares"));
    EXPECT_TRUE(log.Contains("BaseSprite::SetSquare: assertion failed: numsquares >= 4"));
    EXPECT_EQ(log.Messages().size(), 7u);
}

TEST(BaseSprite, TextureCoordinateEdits) {
    BaseSprite s;
    s.MapUVToSubRect(0.5f, 0.25f, 1.0f, 0.75f);
    s.MapUVToSubRect(0.0f, 0.0f, 0.5f, 0.5f);  // the left top quarter of that
    EXPECT_EQ(s.Verts[0].U, 0.25f);
    EXPECT_EQ(s.Verts[0].V, 0.125f);
    EXPECT_EQ(s.Verts[3].U, 0.5f);
    EXPECT_EQ(s.Verts[3].V, 0.375f);
    s.FlipHorizontal();
    s.FlipVertical();
    EXPECT_EQ(s.Verts[0].U, 0.5f);
    EXPECT_EQ(s.Verts[0].V, 0.375f);
    EXPECT_EQ(s.Verts[3].U, 0.25f);
    EXPECT_EQ(s.Verts[3].V, 0.125f);
    s.SetUVFromPixels(64, 8, 16, 32, 48);
    s.InsetUV(0.125f);
    EXPECT_EQ(s.Verts[0].U, 0.25f);
    EXPECT_EQ(s.Verts[0].V, 0.375f);
    EXPECT_EQ(s.Verts[3].U, 0.375f);
    EXPECT_EQ(s.Verts[3].V, 0.625f);
}

namespace {

struct VisibilityCase {
    const char* Name;
    float Left, Top, Right, Bottom, Angle;
    bool Visible;
};

void PrintTo(const VisibilityCase& c, std::ostream* os) {
    *os << c.Name;
}

class Visibility : public ::testing::TestWithParam<VisibilityCase> {};

}  // namespace

TEST_P(Visibility, AgainstA64By48Screen) {
    const VisibilityCase& c = GetParam();
    ScreenWidth = 64;
    ScreenHeight = 48;
    BaseSprite s;
    s.Width = c.Right - c.Left;
    s.Height = c.Bottom - c.Top;
    s.Angle = c.Angle;
    s.SetPosition((c.Left + c.Right) / 2, (c.Top + c.Bottom) / 2);
    EXPECT_EQ(s.IsOnScreen(), c.Visible);
}

INSTANTIATE_TEST_SUITE_P(
    Sprites, Visibility,
    ::testing::Values(VisibilityCase{"inside", 10, 10, 20, 20, 0, true},
                      VisibilityCase{"across a corner", -5, -5, 5, 5, 0, true},
                      VisibilityCase{"larger than the screen", -10, -10, 80, 60, 0, true},
                      VisibilityCase{"exactly the screen", 0, 0, 64, 48, 0, true},
                      VisibilityCase{"bar across", -10, 10, 74, 20, 0, true},
                      VisibilityCase{"bar ending on the right edge", -10, 10, 64, 20, 0, true},
                      VisibilityCase{"column through", 20, -10, 30, 60, 0, true},
                      VisibilityCase{"touching the left edge", -10, 10, 0, 20, 0, false},
                      VisibilityCase{"touching the bottom edge", 10, 48, 20, 60, 0, false},
                      VisibilityCase{"touching a corner", 64, 48, 70, 50, 0, false},
                      VisibilityCase{"far away", 100, 100, 110, 110, 0, false},
                      VisibilityCase{"turned, across a corner", -8, -8, 4, 4, 45, true},
                      VisibilityCase{"turned, outside", 70, 10, 80, 20, 45, false},
                      VisibilityCase{"turned, box truncated to the edge", -10, 10, 0.5f, 20.5f, 90,
                                     false}));
