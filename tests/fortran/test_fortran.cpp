// The Fortran program plot.f90, compiled with gfortran against the shared
// library, draws through the single-window entry points; its window must
// hold exactly what plain X requests for the expected shapes draw.
#include <gtest/gtest.h>

#include "fortran/fortran_program.hpp"

#include <vector>

namespace {

constexpr int W = 640, H = 400;

// What the program should have drawn: window(0, 0, 63.9, 39.9) on the
// 640 x 400 canvas makes ten pixels per unit with row 399 at y = 0.
std::vector<unsigned long> expected()
{
    Display *d = kt::dpy();
    Pixmap pm = XCreatePixmap(d, DefaultRootWindow(d), W, H,
                              static_cast<unsigned>(DefaultDepth(d, DefaultScreen(d))));
    GC gc = XCreateGC(d, pm, 0, nullptr);
    XSetForeground(d, gc, kt::truecolor(0, 0, 0));
    XFillRectangle(d, pm, gc, 0, 0, W, H);
    // Pen 2, red: (1, 1) -> (20, 1) -> (20, 10), each segment with its ends.
    XSetForeground(d, gc, kt::truecolor(255, 0, 0));
    XDrawLine(d, pm, gc, 10, 389, 200, 389);
    XDrawLine(d, pm, gc, 200, 389, 200, 299);
    XPoint ends[] = {{10, 389}, {200, 389}, {200, 299}};
    XDrawPoints(d, pm, gc, ends, 3, CoordModeOrigin);
    // Pen 3, green: the circle around (32, 20) of radius 5.
    XSetForeground(d, gc, kt::truecolor(0, 255, 0));
    XDrawArc(d, pm, gc, 270, 149, 100, 100, 0, 360 * 64);
    // Pen 4, blue: a quarter counter-clockwise from 0, then clockwise from
    // 10 degrees through 0 to 350.
    XSetForeground(d, gc, kt::truecolor(0, 0, 255));
    XDrawArc(d, pm, gc, 460, 59, 80, 80, 0, 90 * 64);
    XDrawArc(d, pm, gc, 460, 259, 80, 80, 10 * 64, -20 * 64);
    // Pen 23 is pen 7, yellow: the point (60, 5).
    XSetForeground(d, gc, kt::truecolor(255, 255, 0));
    XDrawPoint(d, pm, gc, 600, 349);
    // putimg24 at (30, 30): its one row is row 99, from column 300.
    XSetForeground(d, gc, kt::truecolor(255, 0, 255));
    XDrawPoint(d, pm, gc, 300, 99);
    XSetForeground(d, gc, kt::truecolor(0, 255, 255));
    XDrawPoint(d, pm, gc, 301, 99);
    std::vector<unsigned long> want = kt::pixels(pm, 0, 0, W, H);
    XFreeGC(d, gc);
    XFreePixmap(d, pm);
    return want;
}

TEST(Fortran, SingleWindowPlottingProgram)
{
    if (kt::depth() != 24)
        GTEST_SKIP() << "colours are checked on a 24-bit screen";
    kt::Program prog(KOVA_FORTRAN_PLOT);
    ASSERT_EQ(prog.line(20000), "ready\n");
    Window canvas = 0;
    ASSERT_TRUE(kt::eventually([&] { return (canvas = kt::find_canvas(W, H)) != 0; }));
    std::vector<unsigned long> want = expected();
    std::vector<unsigned long> got;
    bool same = kt::eventually([&] { return (got = kt::pixels(canvas, 0, 0, W, H)) == want; });
    EXPECT_TRUE(same);
    if (!same && got.size() == want.size()) {
        int shown = 0;
        for (size_t i = 0; i < got.size() && shown < 10; i++)
            if (got[i] != want[i]) {
                ADD_FAILURE() << "pixel (" << i % W << ", " << i / W << ") is " << std::hex
                              << got[i] << ", expected " << want[i];
                shown++;
            }
    }
    EXPECT_EQ(prog.finish(20000), 0);
}

} // namespace
