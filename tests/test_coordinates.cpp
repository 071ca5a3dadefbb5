// Coordinate systems: the mapping from user coordinates to canvas pixels
// and back.  Pure arithmetic on a window record made by hand.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"

#include <cmath>
#include <limits>
#include <utility>

namespace {

struct Mapping : kt::HandMadeWindow {
    static std::pair<int, int> px(double x, double y)
    {
        int a, b;
        xyconv(wn, x, y, &a, &b);
        return {a, b};
    }
    using P = std::pair<int, int>;
};

TEST_F(Mapping, AtOpenOneUnitIsOnePixelFromTheBottomLeft)
{
    EXPECT_EQ(px(0, 0), P(0, 399));
    EXPECT_EQ(px(639, 399), P(639, 0));
    canvas(640, 400, 0);
    EXPECT_EQ(px(0, 0), P(0, 0));
    EXPECT_EQ(px(639, 399), P(639, 399));
}

TEST_F(Mapping, EdgesOfTheCanvas)
{
    kova_window(wn, 0, 0, 639, 399);
    EXPECT_EQ(Pc[wn].scale_x, 1.0);
    EXPECT_EQ(Pc[wn].scale_y, 1.0);
    EXPECT_EQ(px(0, 0), P(0, 399));
    EXPECT_EQ(px(639, 399), P(639, 0));

    kova_window(wn, -1, 10, 1, 20);
    EXPECT_EQ(px(-1, 10), P(0, 399));
    EXPECT_EQ(px(1, 20), P(639, 0));
    EXPECT_EQ(px(0, 15), P(320, 199)); // 319.5 and 199.5 round away from zero

    // A reversed range mirrors the drawing.
    kova_window(wn, 639, 0, 0, 399);
    EXPECT_EQ(Pc[wn].scale_x, -1.0);
    EXPECT_EQ(px(639, 0), P(0, 399));
    EXPECT_EQ(px(0, 0), P(639, 399));
    EXPECT_EQ(px(600, 0), P(39, 399));

    // One pixel across: one pixel per unit, whatever the range.
    canvas(1, 1, KOVA_ATTR_Y_UP);
    kova_window(wn, 0, 0, 50, 80);
    EXPECT_EQ(Pc[wn].scale_x, 1.0);
    EXPECT_EQ(Pc[wn].scale_y, 1.0);
}

TEST_F(Mapping, ReferencePointAndScale)
{
    kova_coordinate(wn, 100, 50, 2.0, 3.0, 10.0, 20.0);
    EXPECT_EQ(px(2, 3), P(100, 399 - 50));
    EXPECT_EQ(px(3, 3).first, 110);
    EXPECT_EQ(px(2, 4).second, 399 - 70);
    canvas(640, 400, 0);
    kova_coordinate(wn, 100, 50, 2.0, 3.0, 10.0, 20.0);
    EXPECT_EQ(px(2, 3), P(100, 50));
    EXPECT_EQ(px(2, 4), P(100, 70));
}

TEST_F(Mapping, HalvesRoundAwayFromZeroAndFarPointsClampPerAxis)
{
    canvas(640, 400, 0);
    EXPECT_EQ(px(0.5, -0.5), P(1, -1));
    EXPECT_EQ(px(0.49, -0.49), P(0, 0));
    EXPECT_EQ(px(1e9, 5), P(32767, 5));
    EXPECT_EQ(px(5, -1e9), P(5, -32767));
    EXPECT_EQ(px(-INFINITY, INFINITY), P(-32767, 32767));
    // With the y axis up the row is counted from the bottom and limited above.
    canvas(640, 400, KOVA_ATTR_Y_UP);
    EXPECT_EQ(px(0, 1e9).second, 400 - 32767 - 1);
    EXPECT_EQ(px(0, -1e9).second, 32767);
    // Not a number lands on a defined pixel.
    double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(px(nan, 0).first, -32767);
}

TEST_F(Mapping, DegenerateMappingIsRefusedAndTheOldOneKept)
{
    kova_window(wn, 0, 0, 63.9, 39.9);
    const pc_window before = Pc[wn];
    auto unchanged = [&] {
        return Pc[wn].user_x0 == before.user_x0 && Pc[wn].user_y0 == before.user_y0 &&
               Pc[wn].scale_x == before.scale_x && Pc[wn].scale_y == before.scale_y;
    };
    const std::string warning =
        "KOVA: [WARNING] Degenerate coordinate system ignored; the previous one stays.\n";
    double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(kt::capture_stderr([] { kova_window(wn, 5, 0, 5, 100); }), warning);
    EXPECT_TRUE(unchanged());
    EXPECT_EQ(kt::capture_stderr([] { kova_window(wn, 0, 7, 100, 7); }), warning);
    EXPECT_TRUE(unchanged());
    EXPECT_EQ(kt::capture_stderr([] { kova_window(wn, 0, 0, 1e-320, 10); }), warning);
    EXPECT_TRUE(unchanged());
    EXPECT_EQ(kt::capture_stderr([&] { kova_window(wn, nan, 0, 10, 10); }), warning);
    EXPECT_TRUE(unchanged());
    EXPECT_EQ(kt::capture_stderr([] { kova_coordinate(wn, 10, 10, 1, 1, 0.0, 2.0); }), warning);
    EXPECT_TRUE(unchanged());
    EXPECT_EQ(kt::capture_stderr([] { kova_coordinate(wn, 10, 10, 1, 1, 2.0, 0.0); }), warning);
    EXPECT_TRUE(unchanged());
    EXPECT_EQ(kt::capture_stderr([] { kova_coordinate(wn, 10, 10, 1e308, 1, 1e10, 1); }), warning);
    EXPECT_TRUE(unchanged());
    EXPECT_EQ(px(63.9, 39.9), P(639, 0));
}

TEST_F(Mapping, InverseReturnsTheUserPointOfAPixel)
{
    double x, y;
    kova_window(wn, -1, 10, 1, 20);
    for (auto q : {P(0, 399), P(639, 0), P(320, 200), P(17, 33)}) {
        xyinv(wn, q.first, q.second, &x, &y);
        EXPECT_EQ(px(x, y), q);
    }
    xyinv(wn, 0, 399, &x, &y);
    EXPECT_DOUBLE_EQ(x, -1);
    EXPECT_DOUBLE_EQ(y, 10);
    canvas(640, 400, 0);
    kova_coordinate(wn, 100, 50, 2.0, 3.0, 10.0, 20.0);
    xyinv(wn, 110, 70, &x, &y);
    EXPECT_DOUBLE_EQ(x, 3);
    EXPECT_DOUBLE_EQ(y, 4);
}

// The mapping is kept when the canvas changes size; with the y axis up,
// rows are then counted from the new bottom row.
TEST_F(Mapping, ResizeKeepsTheMappingAndFollowsTheBottomRow)
{
    kova_window(wn, 0, 0, 63.9, 39.9);
    Pc[wn].height = 500;
    EXPECT_EQ(px(0, 0), P(0, 499));
    EXPECT_DOUBLE_EQ(Pc[wn].scale_x, 10.0);
}

} // namespace
