// Primitive rendering: the pixels of points, lines, polylines, polygons and
// rectangles in the layer and on the window, the end-point rule, the
// current point, the output rule for hidden layers, and array bounds.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <vector>

// Fortran-callable twins, as a Fortran program sees them.
extern "C" {
void drawpts_(int *wn, float *x, float *y, int *n);
void drawlines_(int *wn, float *x, float *y, int *n);
void drawpoly_(int *wn, float *x, float *y, int *n);
void fillpoly_(int *wn, float *x, float *y, int *n, int *shape);
void newpen_(int *n);
void window_(float *xs, float *ys, float *xe, float *ye);
void plot_(float *x, float *y, int *mode);
void circ1_(float *xcen, float *ycen, float *r);
void arc_(float *xcen, float *ycen, float *r, float *sang, float *eang, int *idir);
}

namespace {

using Pixels = std::vector<std::pair<int, int>>;
constexpr int W = 120, H = 80;

struct Primitives : ::testing::Test {
    // Both drawables of a shown layer hold the same lit pixels.
    static Pixels drawn(const kt::OpenWindow &w, int x = 0, int y = 0, int cw = W, int ch = H)
    {
        Pixels layer = kt::lit(w.layer(), x, y, cw, ch, w.rec().bg_pixel);
        EXPECT_EQ(kt::lit(w.window(), x, y, cw, ch, w.rec().bg_pixel), layer);
        return layer;
    }
};

TEST_F(Primitives, RectanglesWithTheYAxisDown)
{
    kt::OpenWindow w(W, H, 0);
    kova_drawrect(w.wn(), 10, 10, -5, -5);
    Pixels outline;
    for (auto p : kt::block(5, 5, 10, 10))
        if (p.first == 5 || p.first == 10 || p.second == 5 || p.second == 10)
            outline.push_back(p);
    EXPECT_EQ(drawn(w), outline);
    kova_fillrect(w.wn(), 70, 10, -5, -5);
    EXPECT_EQ(drawn(w, 60, 0, 60, H), kt::block(65, 5, 69, 9));
}

TEST_F(Primitives, RectanglesWithTheYAxisUp)
{
    kt::OpenWindow w(W, H);
    kova_fillrect(w.wn(), 0, 0, 10, 10);
    EXPECT_EQ(drawn(w), kt::block(0, H - 11, 9, H - 2));
    kova_drawrect(w.wn(), 0, 0, 10, 10);
    // The outline adds column 10, row H - 11 (already filled) and the bottom row.
    Pixels both = kt::block(0, H - 11, 10, H - 1);
    EXPECT_EQ(drawn(w), both);
}

TEST_F(Primitives, ZeroLengthLineUnderCopyAndXor)
{
    kt::OpenWindow w(W, H, 0);
    kova_drawline(w.wn(), 20, 30, 20, 30);
    EXPECT_EQ(drawn(w), (Pixels{{20, 30}}));

    // Under GXxor no end points are added: exactly what X alone does.
    kova_newgcfunction(w.wn(), GXxor);
    kova_drawline(w.wn(), 50, 30, 50, 30);
    kova_drawline(w.wn(), 60, 40, 90, 40);
    kt::Reference ref(W, H, w.rec().bg_pixel, w.pen_pixel());
    XDrawPoint(ref.d(), ref.pm(), ref.gc(), 20, 30);
    XSetFunction(ref.d(), ref.gc(), GXxor);
    XDrawLine(ref.d(), ref.pm(), ref.gc(), 50, 30, 50, 30);
    XDrawLine(ref.d(), ref.pm(), ref.gc(), 60, 40, 90, 40);
    EXPECT_EQ(kt::area(w.layer(), 0, 0, W, H), ref.pixels());
    EXPECT_EQ(kt::area(w.window(), 0, 0, W, H), ref.pixels());
}

// GXinvert toggles: an extra point on an end pixel would toggle it back.
TEST_F(Primitives, InvertDrawsWhatXAloneDraws)
{
    kt::OpenWindow w(W, H, 0);
    kova_newgcfunction(w.wn(), GXinvert);
    kova_drawline(w.wn(), 10, 40, 90, 40);
    const double x[] = {10, 40, 40};
    const double y[] = {10, 10, 30};
    kova_drawlines(w.wn(), x, y, 3);
    kova_line(w.wn(), 100, 5, 3);
    kova_line(w.wn(), 100, 25, 2);
    kt::Reference ref(W, H, w.rec().bg_pixel, w.pen_pixel());
    XSetFunction(ref.d(), ref.gc(), GXinvert);
    XDrawLine(ref.d(), ref.pm(), ref.gc(), 10, 40, 90, 40);
    XPoint pts[] = {{10, 10}, {40, 10}, {40, 30}};
    XDrawLines(ref.d(), ref.pm(), ref.gc(), pts, 3, CoordModeOrigin);
    XDrawLine(ref.d(), ref.pm(), ref.gc(), 100, 5, 100, 25);
    EXPECT_EQ(kt::area(w.layer(), 0, 0, W, H), ref.pixels());
    EXPECT_EQ(kt::area(w.window(), 0, 0, W, H), ref.pixels());
    EXPECT_EQ(kt::synced_pixel(w.layer(), 90, 40), kt::pixel(ref.pm(), 90, 40));
}

TEST_F(Primitives, LinesCoverBothEndPoints)
{
    kt::OpenWindow w(W, H, 0);
    kova_drawline(w.wn(), 30, 20, 10, 20);
    EXPECT_EQ(drawn(w), kt::block(10, 20, 30, 20));
}

// The polyline gets extra points at its first and last vertex only: the
// interior vertex under GXxor shows what the joins alone draw there.
TEST_F(Primitives, PolylineEndPoints)
{
    kt::OpenWindow w(W, H, 0);
    const double x[] = {10, 40, 40};
    const double y[] = {10, 10, 50};
    kova_drawlines(w.wn(), x, y, 3);
    kt::Reference ref(W, H, w.rec().bg_pixel, w.pen_pixel());
    XPoint pts[] = {{10, 10}, {40, 10}, {40, 50}};
    XDrawLines(ref.d(), ref.pm(), ref.gc(), pts, 3, CoordModeOrigin);
    XDrawPoint(ref.d(), ref.pm(), ref.gc(), 10, 10);
    XDrawPoint(ref.d(), ref.pm(), ref.gc(), 40, 50);
    EXPECT_EQ(kt::area(w.layer(), 0, 0, W, H), ref.pixels());
    EXPECT_EQ(kt::synced_pixel(w.window(), 40, 50), w.pen_pixel());

    // A dashed style switches the rule off: the last pixel, in a gap of the
    // dash pattern, stays out.
    kova_newlinestyle(w.wn(), LineOnOffDash);
    const double x2[] = {60, 65};
    const double y2[] = {70, 70};
    kova_drawlines(w.wn(), x2, y2, 2);
    EXPECT_EQ(drawn(w, 55, 70, 20, 1), kt::block(60, 70, 63, 70));
}

TEST_F(Primitives, PointsPolygonsAndFloatVariants)
{
    kt::OpenWindow w(W, H, 0);
    const double x[] = {3, 5, 7};
    const double y[] = {4, 6, 8};
    kova_drawpts(w.wn(), x, y, 3);
    EXPECT_EQ(drawn(w, 0, 0, 10, 10), (Pixels{{3, 4}, {5, 6}, {7, 8}}));
    const float xf[] = {3, 5, 7};
    const float yf[] = {24, 26, 28};
    kova_drawptsf(w.wn(), xf, yf, 3);
    EXPECT_EQ(drawn(w, 0, 20, 10, 10), (Pixels{{3, 24}, {5, 26}, {7, 28}}));

    // A closed outline returns to its first vertex.
    const float px[] = {50, 70, 70};
    const float py[] = {10, 10, 30};
    kova_drawpolyf(w.wn(), px, py, 3);
    kt::Reference ref(W, H, w.rec().bg_pixel, w.pen_pixel());
    XPoint loop[] = {{50, 10}, {70, 10}, {70, 30}, {50, 10}};
    XDrawLines(ref.d(), ref.pm(), ref.gc(), loop, 4, CoordModeOrigin);
    EXPECT_EQ(kt::area(w.layer(), 45, 5, 30, 30), kt::area(ref.pm(), 45, 5, 30, 30));

    // One vertex: two identical points, a zero-length line.
    kova_drawpoly(w.wn(), x, y, 1);

    // Filled, convex and general: the same triangle.
    const double tx[] = {80, 110, 80};
    const double ty[] = {40, 40, 70};
    kova_fillpoly(w.wn(), tx, ty, 3, 1);
    XPoint tri[] = {{80, 40}, {110, 40}, {80, 70}};
    XFillPolygon(ref.d(), ref.pm(), ref.gc(), tri, 3, Complex, CoordModeOrigin);
    EXPECT_EQ(kt::area(w.layer(), 75, 35, 40, 40), kt::area(ref.pm(), 75, 35, 40, 40));
    kova_newpen(w.wn(), 0);
    const float fx[] = {80, 110, 80};
    const float fy[] = {40, 40, 70};
    kova_fillpolyf(w.wn(), fx, fy, 3, 0);
    EXPECT_TRUE(kt::lit(w.layer(), 75, 35, 40, 40, w.rec().bg_pixel).empty());
    EXPECT_TRUE(kt::lit(w.window(), 75, 35, 40, 40, w.rec().bg_pixel).empty());
}

TEST_F(Primitives, PenPlotterSteps)
{
    kt::OpenWindow w(W, H, 0);
    // A new window's current point is pixel (0, 0).
    kova_lineto(w.wn(), 5, 0);
    EXPECT_EQ(drawn(w), kt::block(0, 0, 5, 0));
    kova_line(w.wn(), 50, 50, 0);
    kova_line(w.wn(), 50, 50, 4);
    kova_line(w.wn(), 9, 0, 2);
    EXPECT_EQ(drawn(w, 0, 0, W, 1), kt::block(0, 0, 9, 0)) << "modes 0 and 4 moved the pen";
    kova_moveto(w.wn(), 20, 30);
    // The current point is a pixel: a new mapping does not move it.
    kova_window(w.wn(), 0, 0, 11.9, 7.9);
    kova_lineto(w.wn(), 4, 3);
    EXPECT_EQ(drawn(w, 0, 20, W, 20), kt::block(20, 30, 40, 30));
    kova_line(w.wn(), 10, 1, 1);
    EXPECT_EQ(drawn(w, 90, 0, 30, 20), (Pixels{{100, 10}}));
    kova_line(w.wn(), 10, 2, 2);
    EXPECT_EQ(drawn(w, 90, 0, 30, 30), kt::block(100, 10, 100, 20));
}

// A window number reused after a close starts its pen at pixel (0, 0) too.
TEST_F(Primitives, ReusedWindowStartsAtTheOrigin)
{
    int first;
    {
        kt::OpenWindow w(W, H, 0);
        first = w.wn();
        kova_moveto(w.wn(), 60, 60);
    }
    kt::OpenWindow w(W, H, 0);
    ASSERT_EQ(w.wn(), first);
    kova_lineto(w.wn(), 0, 3);
    EXPECT_EQ(drawn(w), kt::block(0, 0, 0, 3));
}

// With a hidden write layer the drawing reaches only that layer's pixmap,
// and nothing is flushed; the dock icon window follows the shown layer.
TEST_F(Primitives, OutputRule)
{
    kt::OpenWindow w(W, H, 0);
    pc_window &rec = Pc[w.wn()];
    auto scratch = [&] {
        Pixmap p = XCreatePixmap(Pc_dis, rec.draw_win, W, H, static_cast<unsigned>(Pc_depth));
        XFillRectangle(Pc_dis, p, rec.bg_gc, 0, 0, W, H);
        return p;
    };
    Pixmap hidden = scratch(), icon = scratch();
    kt::OpenWindow::sync();
    rec.layers[2] = hidden;
    rec.write_layer = 2;
    kova_fillrect(w.wn(), 10, 10, 5, 5);
    kova_drawline(w.wn(), 30, 30, 40, 30);
    EXPECT_EQ(kt::pixel(hidden, 12, 12), rec.bg_pixel) << "a hidden-layer drawing was flushed";
    kt::OpenWindow::sync();
    EXPECT_EQ(kt::lit(hidden, 0, 0, W, H, rec.bg_pixel).size(), 25u + 11u);
    EXPECT_TRUE(kt::lit(rec.layers[0], 0, 0, W, H, rec.bg_pixel).empty());
    EXPECT_TRUE(kt::lit(rec.draw_win, 0, 0, W, H, rec.bg_pixel).empty());

    // Shown again, with an icon drawable: all three get it, flushed at once.
    rec.write_layer = 0;
    rec.icon_win = icon;
    kova_fillrect(w.wn(), 50, 50, 3, 3);
    EXPECT_TRUE(kt::eventually([&] { return kt::pixel(icon, 51, 51) == w.pen_pixel(); }));
    EXPECT_EQ(kt::pixel(rec.draw_win, 51, 51), w.pen_pixel());
    EXPECT_EQ(kt::pixel(rec.layers[0], 51, 51), w.pen_pixel());
    EXPECT_EQ(kt::pixel(hidden, 51, 51), rec.bg_pixel);
    rec.icon_win = 0;
    rec.layers[2] = 0;
    XFreePixmap(Pc_dis, hidden);
    XFreePixmap(Pc_dis, icon);
}

// Arrays placed against an unreadable page: reading one element past n
// would fault.  n <= 0 sends nothing at all, whatever the pointers.
struct GuardedArrays : Primitives {
    static constexpr int n = 4;
    char *region = nullptr;
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void SetUp() override
    {
        void *m =
            mmap(nullptr, 4 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(m, MAP_FAILED);
        region = static_cast<char *>(m);
        mprotect(region + page, page, PROT_NONE);
        mprotect(region + 3 * page, page, PROT_NONE);
    }
    void TearDown() override { munmap(region, 4 * page); }
    template <class T>
    T *before_guard(int k, const T (&values)[n])
    {
        T *p = reinterpret_cast<T *>(region + 2 * k * page + page) - n;
        std::memcpy(p, values, sizeof values);
        return p;
    }
};

TEST_F(GuardedArrays, FloatAndFortranVariantsReadNoFurtherThanN)
{
    kt::OpenWindow w(W, H, 0);
    float *x = before_guard(0, {10.f, 20.f, 20.f, 10.f});
    float *y = before_guard(1, {10.f, 10.f, 20.f, 20.f});
    int wn = w.wn(), count = n, shape = 1;
    kova_drawptsf(wn, x, y, n);
    kova_drawlinesf(wn, x, y, n);
    kova_drawpolyf(wn, x, y, n);
    kova_fillpolyf(wn, x, y, n, 0);
    drawpts_(&wn, x, y, &count);
    drawlines_(&wn, x, y, &count);
    drawpoly_(&wn, x, y, &count);
    fillpoly_(&wn, x, y, &count, &shape);
    EXPECT_EQ(drawn(w, 0, 0, 30, 30).size(), 10u * 10u + 10u + 10u + 1u);
}

TEST_F(GuardedArrays, NothingForEmptyOrNegativeCounts)
{
    kt::OpenWindow w(W, H, 0);
    kt::OpenWindow::sync();
    unsigned long next = XNextRequest(Pc_dis);
    int wn = w.wn();
    for (int k : {0, -1, INT_MIN}) {
        kova_drawpts(wn, nullptr, nullptr, k);
        kova_drawlines(wn, nullptr, nullptr, k);
        kova_drawpoly(wn, nullptr, nullptr, k);
        kova_fillpoly(wn, nullptr, nullptr, k, 1);
        kova_drawptsf(wn, nullptr, nullptr, k);
        kova_drawlinesf(wn, nullptr, nullptr, k);
        kova_drawpolyf(wn, nullptr, nullptr, k);
        kova_fillpolyf(wn, nullptr, nullptr, k, 0);
        drawpts_(&wn, nullptr, nullptr, &k);
        drawlines_(&wn, nullptr, nullptr, &k);
        drawpoly_(&wn, nullptr, nullptr, &k);
        fillpoly_(&wn, nullptr, nullptr, &k, &k);
    }
    EXPECT_EQ(XNextRequest(Pc_dis), next);
}

// The single-window entry points do nothing while no window was ever
// opened (no table at all) or while their window is closed.  Run in a
// forked process given that state; _exit, since the exit handler belongs
// to the parent's children.
TEST(SingleWindow, EntryPointsWithoutTheirWindowDoNothingAndSaySoOnce)
{
    kt::ChildResult r = kt::run_forked([] {
        float x = 10, y = 20, r0 = 5, s = 0, e = 90;
        int mode = 2, pen = 3, idir = 1;
        auto all = [&] {
            newpen_(&pen);
            window_(&x, &y, &r0, &e);
            plot_(&x, &y, &mode);
            circ1_(&x, &y, &r0);
            arc_(&x, &y, &r0, &s, &e, &idir);
        };
        Wn = -1;
        Pc = nullptr;
        N_Pc = 0;
        all();
        Wn = -2;
        all();
        Wn = 0;
        resize_Pc(2);
        all();
        Wn = 5;
        all();
        _exit(Pc[0].in_use == 0 ? 0 : 4);
    });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.code, 0);
    // Said once for the whole process.
    EXPECT_EQ(r.err, "KOVA: [WARNING] The current window 0 is not open: plot, newpen, symbol and "
                     "the other calls without a window number do nothing until selwin names an "
                     "open one.\n");
}

} // namespace
