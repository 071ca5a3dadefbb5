// Marker symbols and arrows: their geometry as plain arithmetic, and the
// pixels they leave in windows opened by the library.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"

#include <algorithm>
#include <cmath>
#include <climits>
#include <utility>
#include <vector>

extern "C" void drawsyms_(int *wn, float *x, float *y, int *n, float *size, int *type);

namespace {

using Pixels = std::vector<std::pair<int, int>>;

// ---- geometry, no display --------------------------------------------------

TEST(ArrowGeometry, HeadOffsetsFromTheTarget)
{
    auto offsets = [](arrow_plan a) {
        return std::vector<int>{a.o1x, a.o1y, a.o2x, a.o2y, a.omx, a.omy};
    };
    // Downward on the screen: the head's base lies above the tip.
    EXPECT_EQ(offsets(plan_arrow(50, 0, 50, 80, 8, 4, 11)),
              (std::vector<int>{-2, -8, 2, -8, 0, -8}));
    // Start and target on one pixel: the head points toward decreasing x.
    EXPECT_EQ(offsets(plan_arrow(7, 7, 7, 7, 10, 6, 12)),
              (std::vector<int>{10, -3, 10, 3, 10, 0}));
    // Absurd sizes stay within reach of the 16-bit pixel range.
    for (double s : {1e300, -1e300, std::nan("")}) {
        arrow_plan a = plan_arrow(0, 0, 100, 0, s, s, 12);
        for (int v : offsets(a))
            EXPECT_LE(std::abs(v), 65536);
    }
}

// ---- pixels -------------------------------------------------------------------

constexpr int W = 240, H = 120;

struct Drawn : ::testing::Test {
    // A plain window: user units are pixels and y grows downward.
    kt::OpenWindow win{W, H, 0};
    int wn() const { return win.wn(); }
    Pixels lit() const
    {
        kt::OpenWindow::sync();
        return kt::lit(win.layer(), 0, 0, W, H, win.rec().bg_pixel);
    }
    void clear() const
    {
        const pc_window &w = win.rec();
        XFillRectangle(Pc_dis, win.layer(), w.bg_gc, 0, 0, W, H);
        XFillRectangle(Pc_dis, w.draw_win, w.bg_gc, 0, 0, W, H);
    }
    bool on(int x, int y) const
    {
        Pixels p = lit();
        return std::find(p.begin(), p.end(), std::make_pair(x, y)) != p.end();
    }
};

// The bounding box of lit pixels: x0, y0, x1, y1 inclusive.
std::vector<int> bounds(const Pixels &p)
{
    std::vector<int> b{W, H, -1, -1};
    for (auto [x, y] : p) {
        b[0] = std::min(b[0], x);
        b[1] = std::min(b[1], y);
        b[2] = std::max(b[2], x);
        b[3] = std::max(b[3], y);
    }
    return b;
}

Pixels shifted(const Pixels &p, int dx, int dy)
{
    Pixels out;
    for (auto [x, y] : p)
        out.emplace_back(x + dx, y + dy);
    std::sort(out.begin(), out.end(), [](auto a, auto b) {
        return std::make_pair(a.second, a.first) < std::make_pair(b.second, b.first);
    });
    return out;
}

TEST_F(Drawn, PlusOfSizeTenSpansElevenPixelsEachWay)
{
    kova_drawsym(wn(), 50, 60, 10, 2);
    Pixels want;
    for (int y = 55; y <= 65; y++)
        for (int x = 45; x <= 55; x++)
            if (x == 50 || y == 60)
                want.emplace_back(x, y);
    EXPECT_EQ(lit(), want);
    EXPECT_EQ(kt::pixel(win.window(), 45, 60), win.pen_pixel()) << "the window shows it too";
}

TEST_F(Drawn, ShapesReachAsFarAsTheirFactorsSay)
{
    kova_drawsym(wn(), 50, 60, 10, 4); // circle: r = 4, box 8 wide
    EXPECT_EQ(bounds(lit()), (std::vector<int>{46, 56, 54, 64}));
    clear();
    kova_drawsym(wn(), 50, 60, 10, 3); // asterisk: reach 6, diagonal 4
    Pixels p = lit();
    EXPECT_EQ(bounds(p), (std::vector<int>{44, 54, 56, 66}));
    EXPECT_TRUE(on(54, 64) && on(46, 56) && on(54, 56) && on(46, 64));
    EXPECT_FALSE(on(55, 65));
    clear();
    kova_drawsym(wn(), 50, 60, 10, 7); // triangle: top 7 up, the rest 4 out
    EXPECT_EQ(bounds(lit()), (std::vector<int>{46, 53, 54, 64}));
    EXPECT_TRUE(on(50, 57)) << "the tick from the centre to the top";
}

TEST_F(Drawn, TypeNumbersWrapByTenAndNonPositiveDrawNothing)
{
    for (int type : {0, -2, -12})
        kova_drawsym(wn(), 50, 60, 10, type);
    EXPECT_TRUE(lit().empty());
    kova_drawsym(wn(), 50, 60, 10, 2);
    Pixels plus = lit();
    clear();
    kova_drawsym(wn(), 120, 40, 10, 12);
    EXPECT_EQ(lit(), shifted(plus, 70, -20));
    clear();
    kova_drawsym(wn(), 50, 60, 10, 10); // shape 0: diamond with a tick, reach 5
    EXPECT_EQ(bounds(lit()), (std::vector<int>{45, 55, 55, 65}));
}

// Every shape is drawn whole wherever it is placed.
TEST_F(Drawn, EveryShapeMovesWithItsPoint)
{
    for (int t = 1; t <= 9; t++) {
        clear();
        kova_drawsym(wn(), 60, 60, 20, t);
        Pixels p = lit();
        ASSERT_GT(p.size(), 8u) << t;
        clear();
        kova_drawsym(wn(), 150, 30, 20, t);
        EXPECT_EQ(lit(), shifted(p, 90, -30)) << t;
        // Sizes far beyond the 16-bit pixel range are cut at its edge.
        kova_drawsym(wn(), 150, 30, INT_MAX, t);
        kova_drawsym(wn(), 150, 30, INT_MIN, t);
    }
    clear();
    kova_drawsym(wn(), 150, 30, INT_MAX, 2);
    EXPECT_TRUE(on(0, 30) && on(W - 1, 30) && on(150, 0) && on(150, H - 1))
        << "a huge plus still crosses the window";
}

// The array form places each symbol where the single form does, also with
// the y axis upward and a scaled mapping.
TEST(DrawnArrays, SameAsOneByOne)
{
    kt::OpenWindow win(W, H);
    kova_window(win.wn(), 0, 0, 23.9, 11.9); // ten pixels per unit, y up
    const double xs[] = {2, 5.5, 9}, ys[] = {3, 6.25, 9};
    const float xf[] = {2, 5.5f, 9}, yf[] = {3, 6.25f, 9};
    auto lit = [&] {
        kt::OpenWindow::sync();
        return kt::lit(win.layer(), 0, 0, W, H, win.rec().bg_pixel);
    };
    auto clear = [&] { XFillRectangle(Pc_dis, win.layer(), win.rec().bg_gc, 0, 0, W, H); };
    for (int i = 0; i < 3; i++)
        kova_drawsym(win.wn(), xs[i], ys[i], 9, 5);
    Pixels one = lit();
    ASSERT_FALSE(one.empty());
    clear();
    kova_drawsyms(win.wn(), xs, ys, 3, 9, 5);
    EXPECT_EQ(lit(), one);
    clear();
    kova_drawsymsf(win.wn(), xf, yf, 3, 9, 5);
    EXPECT_EQ(lit(), one);
    clear();
    int wn = win.wn(), n = 3, type = 5;
    float size = 9.9f; // truncated to 9
    drawsyms_(&wn, const_cast<float *>(xf), const_cast<float *>(yf), &n, &size, &type);
    EXPECT_EQ(lit(), one);
    clear();
    n = 0;
    drawsyms_(&wn, nullptr, nullptr, &n, &size, &type);
    EXPECT_TRUE(lit().empty());
}

// ---- arrows ------------------------------------------------------------------

TEST_F(Drawn, ArrowWithAClosedHeadAndFullShaft)
{
    kova_drawarrow(wn(), 20, 50, 120, 50, 10, 6, 12);
    Pixels p = lit();
    EXPECT_EQ(bounds(p), (std::vector<int>{20, 47, 120, 53}));
    for (auto [x, y] : {std::pair{120, 50}, {110, 47}, {110, 53}, {110, 50}, {115, 50}, {20, 50},
                        {60, 50}})
        EXPECT_TRUE(on(x, y)) << x << "," << y;
    EXPECT_FALSE(on(113, 49)) << "the head is not filled";

    clear();
    kova_drawarrow(wn(), 20, 50, 120, 50, 0.1, 0.06, 112);
    EXPECT_EQ(lit(), p) << "relative sizes on a 100-pixel arrow";
}

TEST_F(Drawn, ShaftOfStyleOneStopsAtTheBaseOfTheHead)
{
    kova_drawarrow(wn(), 20, 50, 120, 50, 10, 6, 11);
    EXPECT_TRUE(on(20, 50) && on(100, 50) && on(110, 50) && on(120, 50));
    EXPECT_FALSE(on(115, 50));
    clear();
    kova_drawarrow(wn(), 20, 50, 120, 50, 10, 6, 10); // no head, shaft to M
    EXPECT_EQ(bounds(lit()), (std::vector<int>{20, 50, 110, 50}));
    clear();
    kova_drawarrow(wn(), 20, 50, 120, 50, 10, 6, 18); // no head, full shaft
    EXPECT_EQ(bounds(lit()), (std::vector<int>{20, 50, 120, 50}));
}

TEST_F(Drawn, HeadsAtBothEndsPointOutward)
{
    kova_drawarrow(wn(), 20, 50, 120, 50, 10, 6, 22);
    EXPECT_EQ(bounds(lit()), (std::vector<int>{20, 47, 120, 53}));
    for (auto [x, y] : {std::pair{20, 50}, {30, 47}, {30, 53}, {110, 47}, {110, 53}})
        EXPECT_TRUE(on(x, y)) << x << "," << y;
}

TEST_F(Drawn, FilledHeads)
{
    kova_drawarrow(wn(), 20, 50, 120, 50, 10, 6, 16);
    EXPECT_TRUE(on(113, 49) && on(113, 51) && on(115, 50));
    clear();
    // Half head on the corner side of o1 (below, y growing downward).
    kova_drawarrow(wn(), 20, 50, 120, 50, 10, 6, 17);
    EXPECT_TRUE(on(113, 51) && on(110, 53));
    EXPECT_FALSE(on(113, 48) || on(110, 47));
    clear();
    // Without a shaft the spine P-M is drawn, and nothing reaches S.
    kova_drawarrow(wn(), 20, 50, 120, 50, 10, 6, 2);
    EXPECT_EQ(bounds(lit()), (std::vector<int>{110, 47, 120, 53}));
    EXPECT_TRUE(on(115, 50));
}

TEST_F(Drawn, CodesWithoutAHeadOrADrawingLeaveNothing)
{
    for (int shape : {0, 8, 9, -1, -12, 30, 38, 130, 200, 212})
        kova_drawarrow(wn(), 20, 50, 120, 50, 10, 6, shape);
    EXPECT_TRUE(lit().empty());
}

} // namespace
