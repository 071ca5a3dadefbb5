// Arcs and circles: the X arc each shape becomes, and the pixels it draws
// compared with a plain X arc request of the expected box and angles.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"

#include <tuple>

namespace {

// The arithmetic, on a window record made by hand: 640 x 400, pixel units.
struct ArcRequest : kt::HandMadeWindow {
    void SetUp() override
    {
        HandMadeWindow::SetUp();
        canvas(640, 400, 0);
    }
    using Box = std::tuple<int, int, int, int>;
    using Angles = std::pair<int, int>;
    static Box box(double xc, double yc, double xr, double yr)
    {
        XArc a = arc_request(wn, xc, yc, xr, yr, 0, 360, 1);
        return {a.x, a.y, a.width, a.height};
    }
    static Angles angles(double s, double e, int idir)
    {
        XArc a = arc_request(wn, 100, 100, 50, 50, s, e, idir);
        return {a.angle1, a.angle2};
    }
};

TEST_F(ArcRequest, BoxIsSpannedByTheCornersOfTheEllipse)
{
    EXPECT_EQ(box(100, 100, 50, 50), Box(50, 50, 100, 100));
    EXPECT_EQ(box(100, 100, -50, -30), Box(50, 70, 100, 60));
    EXPECT_EQ(box(100, 100, 0, 20), Box(100, 80, 0, 40));
    Pc[wn].attributes = KOVA_ATTR_Y_UP;
    EXPECT_EQ(box(100, 100, 50, 30), Box(50, 399 - 130, 100, 60));
    kova_window(wn, 0, 0, 63.9, 39.9); // ten pixels per unit
    EXPECT_EQ(box(10, 10, 5, 2), Box(50, 399 - 120, 100, 40));
}

TEST_F(ArcRequest, AnglesInSixtyFourthsOfADegree)
{
    EXPECT_EQ(angles(0, 360, 1), Angles(0, 23040));
    EXPECT_EQ(angles(0, 360, -1), Angles(0, 0));
    EXPECT_EQ(angles(0, 0, -1), Angles(0, -23040));
    EXPECT_EQ(angles(10, 350, -1), Angles(640, -1280));
    EXPECT_EQ(angles(350, 10, -1), Angles(22400, -21760));
    EXPECT_EQ(angles(350, 10, 1), Angles(22400, -21760));
    EXPECT_EQ(angles(30, 90, 7), Angles(1920, 3840));
    EXPECT_EQ(angles(0.5 / 64, 1, 1), Angles(1, 63)); // halves away from zero
    EXPECT_EQ(angles(-0.5 / 64, 1, 1), Angles(-1, 65));
}

// X carries angles in 16 bits: beyond one turn they keep their meaning.
TEST_F(ArcRequest, AnglesBeyondOneTurnDoNotWrap)
{
    EXPECT_EQ(angles(720, 810, 1), Angles(0, 5760));
    EXPECT_EQ(angles(-450, -360, 1), Angles(-5760, 5760));
    EXPECT_EQ(angles(0, 1000, 1), Angles(0, 23040));
    EXPECT_EQ(angles(0, -1000, 1), Angles(0, -23040));
    EXPECT_EQ(angles(500, 10, -1), Angles(140 * 64, -23040));
}

// Pixels, in windows opened by the library.
struct ArcPixels : ::testing::Test {
    static constexpr int W = 300, H = 200;

    // Draws with the library and with a plain X request; both the layer and
    // the window must match the plain request.
    template <class Draw, class Plain>
    static void same_as_plain(int attributes, Draw draw, Plain plain)
    {
        kt::OpenWindow w(W, H, attributes);
        kova_newpen(w.wn(), 3);
        draw(w.wn());
        kt::Reference ref(W, H, w.rec().bg_pixel, w.pen_pixel());
        plain(ref);
        std::vector<unsigned long> want = ref.pixels();
        ASSERT_NE(kt::lit(ref.pm(), 0, 0, W, H, w.rec().bg_pixel).size(), 0u);
        EXPECT_EQ(kt::area(w.layer(), 0, 0, W, H), want);
        EXPECT_EQ(kt::area(w.window(), 0, 0, W, H), want);
    }
};

TEST_F(ArcPixels, CircleInPixelUnits)
{
    same_as_plain(
        0, [](int wn) { kova_drawcirc(wn, 100, 100, 50, 50); },
        [](const kt::Reference &r) {
            XDrawArc(r.d(), r.pm(), r.gc(), 50, 50, 100, 100, 0, 23040);
        });
    same_as_plain(
        0, [](int wn) { kova_circle(wn, 100, 100, 50, 50); },
        [](const kt::Reference &r) {
            XDrawArc(r.d(), r.pm(), r.gc(), 50, 50, 100, 100, 0, 23040);
        });
    same_as_plain(
        0, [](int wn) { kova_fillcirc(wn, 100, 100, 40, 20); },
        [](const kt::Reference &r) { XFillArc(r.d(), r.pm(), r.gc(), 60, 80, 80, 40, 0, 23040); });
}

TEST_F(ArcPixels, ClockwiseArcsWithTheYAxisUp)
{
    // Centre (150, 100) user is row 199 - 100 = 99; the box top is row 199 - 160.
    same_as_plain(
        KOVA_ATTR_Y_UP, [](int wn) { kova_drawarc(wn, 150, 100, 60, 60, 10, 350, -1); },
        [](const kt::Reference &r) {
            XDrawArc(r.d(), r.pm(), r.gc(), 90, 39, 120, 120, 640, -1280);
        });
    same_as_plain(
        KOVA_ATTR_Y_UP, [](int wn) { kova_fillarc(wn, 150, 100, 60, 40, 350, 10, 1); },
        [](const kt::Reference &r) {
            XFillArc(r.d(), r.pm(), r.gc(), 90, 59, 120, 80, 22400, -21760);
        });
    same_as_plain(
        KOVA_ATTR_Y_UP, [](int wn) { kova_fillarc(wn, 150, 100, 60, 40, 0, 0, -1); },
        [](const kt::Reference &r) {
            XFillArc(r.d(), r.pm(), r.gc(), 90, 59, 120, 80, 0, -23040);
        });
    // Clockwise from 0 to 360 is an extent of 0, whatever X makes of it.
    same_as_plain(
        KOVA_ATTR_Y_UP, [](int wn) { kova_drawarc(wn, 150, 100, 60, 40, 0, 360, -1); },
        [](const kt::Reference &r) { XDrawArc(r.d(), r.pm(), r.gc(), 90, 59, 120, 80, 0, 0); });
}

// A hidden write layer takes the arc; the window stays as it was and
// nothing is flushed.
TEST_F(ArcPixels, HiddenLayerOnly)
{
    kt::OpenWindow w(W, H, 0);
    pc_window &rec = Pc[w.wn()];
    Pixmap hidden = XCreatePixmap(Pc_dis, rec.draw_win, W, H, static_cast<unsigned>(Pc_depth));
    XFillRectangle(Pc_dis, hidden, rec.bg_gc, 0, 0, W, H);
    kt::OpenWindow::sync();
    rec.layers[1] = hidden;
    rec.write_layer = 1;
    kova_fillcirc(w.wn(), 100, 100, 20, 20);
    EXPECT_EQ(kt::pixel(hidden, 100, 100), rec.bg_pixel) << "flushed though nothing was shown";
    kt::OpenWindow::sync();
    EXPECT_EQ(kt::pixel(hidden, 100, 100), w.pen_pixel());
    EXPECT_EQ(kt::pixel(rec.draw_win, 100, 100), rec.bg_pixel);
    EXPECT_EQ(kt::pixel(rec.layers[0], 100, 100), rec.bg_pixel);
    rec.write_layer = 0;
    rec.layers[1] = 0;
    XFreePixmap(Pc_dis, hidden);
}

} // namespace
