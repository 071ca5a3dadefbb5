// kova-test-depths: 24 16 8
// The pen: colours by name, by red/green/blue, by hue/saturation/value and
// by number, line width, style and drawing function, seen in drawn pixels.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"

#include <climits>
#include <memory>
#include <string>
#include <tuple>

namespace {

using RGB = std::tuple<int, int, int>;

RGB hsv(int h, int s, int v)
{
    int r, g, b;
    hsv_to_rgb(h, s, v, &r, &g, &b);
    return {r, g, b};
}

TEST(Hsv, SectorsOfTheHueCircle)
{
    EXPECT_EQ(hsv(0, 255, 255), RGB(255, 0, 0));
    EXPECT_EQ(hsv(120, 255, 255), RGB(0, 255, 0));
    EXPECT_EQ(hsv(240, 255, 255), RGB(0, 0, 255));
    EXPECT_EQ(hsv(30, 255, 255), RGB(255, 128, 0));
    EXPECT_EQ(hsv(200, 128, 200), RGB(99, 167, 200));
    EXPECT_EQ(hsv(330, 255, 100), RGB(100, 0, 50));
    EXPECT_EQ(hsv(360, 255, 255), RGB(255, 0, 255)); // past the last sector: (v, p, q)
    for (int h : {0, 77, 359, 1000})
        EXPECT_EQ(hsv(h, 0, 90), RGB(90, 90, 90));
    // Out-of-range inputs end clamped, and extreme ones stay defined.
    EXPECT_EQ(hsv(0, 0, 400), RGB(255, 255, 255));
    EXPECT_EQ(hsv(0, 300, 255), RGB(255, 0, 0));
    EXPECT_EQ(hsv(INT_MAX, INT_MIN, INT_MAX), hsv(INT_MAX, INT_MIN, INT_MAX));
}

// One window for the whole program; each test paints a pixel and reads it.
struct Pen : ::testing::Test {
    static std::unique_ptr<kt::OpenWindow> win;
    static void SetUpTestSuite() { win = std::make_unique<kt::OpenWindow>(64, 48, 0); }
    static void TearDownTestSuite() { win.reset(); }
    void SetUp() override
    {
        kova_newlinewidth(wn(), 1);
        kova_newlinestyle(wn(), LineSolid);
        kova_newgcfunction(wn(), GXcopy);
        const pc_window &w = win->rec();
        XFillRectangle(Pc_dis, w.layers[0], w.bg_gc, 0, 0, 64, 48);
        XFillRectangle(Pc_dis, w.draw_win, w.bg_gc, 0, 0, 64, 48);
        kt::OpenWindow::sync();
    }
    static int wn() { return win->wn(); }

    // The colour the pen paints, read back from the layer and the window
    // and resolved through the colormap to 8-bit components.
    static RGB painted()
    {
        kova_fillrect(wn(), 10, 10, 4, 4);
        unsigned long p = kt::synced_pixel(win->layer(), 11, 11);
        EXPECT_EQ(kt::synced_pixel(win->window(), 11, 11), p);
        XColor c;
        c.pixel = p;
        XQueryColor(kt::dpy(), Pc_cmap, &c);
        return {c.red >> 8, c.green >> 8, c.blue >> 8};
    }
    // What the screen can show of a colour: each component cut to the
    // channel's bits and spread back to 8 bits as the server does.
    static RGB shown(int r, int g, int b)
    {
        if (kt::depth() == 8)
            return {r, g, b};
        XColor c;
        c.pixel = kt::truecolor(r, g, b);
        XQueryColor(kt::dpy(), Pc_cmap, &c);
        return {c.red >> 8, c.green >> 8, c.blue >> 8};
    }
};
std::unique_ptr<kt::OpenWindow> Pen::win;

TEST_F(Pen, RgbComponentsAreClamped)
{
    kova_newrgbcolor(wn(), -5, 300, 128);
    EXPECT_EQ(painted(), shown(0, 255, 128));
    kova_newrgbcolor(wn(), 255, 128, 0);
    EXPECT_EQ(painted(), shown(255, 128, 0));
    if (kt::depth() == 24) {
        EXPECT_EQ(kt::synced_pixel(win->layer(), 11, 11), 0xFF8000u);
    }
}

TEST_F(Pen, HsvColours)
{
    kova_newhsvcolor(wn(), 30, 255, 255);
    EXPECT_EQ(painted(), shown(255, 128, 0));
    kova_newhsvcolor(wn(), 240, 255, 255);
    EXPECT_EQ(painted(), shown(0, 0, 255));
    kova_newhsvcolor(wn(), 123, 0, 77);
    EXPECT_EQ(painted(), shown(77, 77, 77));
}

TEST_F(Pen, NumberedPens)
{
    kova_newpen(wn(), 18);
    EXPECT_EQ(painted(), shown(255, 0, 0));
    kova_newpen(wn(), -1);
    EXPECT_EQ(painted(), shown(255, 0, 0));
    kova_newpen(wn(), 8);
    EXPECT_EQ(painted(), shown(105, 105, 105));
    kova_newpen(wn(), 15);
    EXPECT_EQ(painted(), shown(139, 139, 0));
    kova_newpen(wn(), 0);
    EXPECT_EQ(painted(), shown(0, 0, 0));
}

TEST_F(Pen, ColourNames)
{
    kova_newcolor(wn(), "#%02x%02x%02x", 0x12, 0x80, 0xee);
    EXPECT_EQ(painted(), shown(0x12, 0x80, 0xee));
    kova_newcolor(wn(), "magenta");
    EXPECT_EQ(painted(), shown(255, 0, 255));
    kova_newcolor(wn(), nullptr);
    EXPECT_EQ(painted(), shown(255, 0, 255));
    std::string err = kt::capture_stderr([] { kova_newcolor(wn(), "no such colour"); });
    EXPECT_EQ(err, "KOVA: [WARNING] XParseColor() failed.\n");
    kova_fillrect(wn(), 10, 10, 4, 4);
    EXPECT_EQ(kt::synced_pixel(win->layer(), 11, 11), 0u);
}

TEST_F(Pen, LineWidthIsItsAbsoluteValue)
{
    kova_newpen(wn(), 1);
    kova_newlinewidth(wn(), -3);
    EXPECT_EQ(Pc[wn()].line_width, 3);
    XGCValues v;
    XGetGCValues(Pc_dis, Pc[wn()].pen_gc, GCLineWidth, &v);
    EXPECT_EQ(v.line_width, 3);
    // A 3-pixel line along row 20 covers rows 19 to 21.
    kova_drawline(wn(), 5, 20, 40, 20);
    unsigned long white = kt::synced_pixel(win->layer(), 20, 20);
    EXPECT_NE(white, Pc[wn()].bg_pixel);
    EXPECT_EQ(kt::synced_pixel(win->layer(), 20, 19), white);
    EXPECT_EQ(kt::synced_pixel(win->layer(), 20, 21), white);
    EXPECT_EQ(kt::synced_pixel(win->layer(), 20, 22), Pc[wn()].bg_pixel);
    EXPECT_EQ(kt::synced_pixel(win->layer(), 20, 18), Pc[wn()].bg_pixel);
    // Beyond twice the canvas diagonal (80 pixels) a line is drawn at that
    // width, which still covers the whole canvas.
    kova_newlinewidth(wn(), 1000000);
    EXPECT_EQ(Pc[wn()].line_width, 160);
    kova_drawline(wn(), -10, 24, 74, 24);
    EXPECT_EQ(kt::lit(win->layer(), 0, 0, 64, 48, Pc[wn()].bg_pixel).size(), 64u * 48u);
}

TEST_F(Pen, StyleAndFunctionOutsideTheProtocolAreRefused)
{
    EXPECT_EQ(kt::capture_stderr([] { kova_newlinestyle(wn(), 3); }),
              "KOVA: [WARNING] Invalid line style 3 ignored.\n");
    EXPECT_EQ(kt::capture_stderr([] { kova_newgcfunction(wn(), 16); }),
              "KOVA: [WARNING] Invalid drawing function 16 ignored.\n");
    EXPECT_EQ(kt::capture_stderr([] { kova_newgcfunction(wn(), -1); }),
              "KOVA: [WARNING] Invalid drawing function -1 ignored.\n");
    EXPECT_EQ(Pc[wn()].line_style, LineSolid);
    EXPECT_EQ(Pc[wn()].gc_function, GXcopy);
    kova_newlinestyle(wn(), LineOnOffDash);
    kova_newgcfunction(wn(), GXxor);
    XGCValues v;
    XGetGCValues(Pc_dis, Pc[wn()].pen_gc, GCLineStyle | GCFunction, &v);
    EXPECT_EQ(v.line_style, LineOnOffDash);
    EXPECT_EQ(v.function, GXxor);
    EXPECT_EQ(Pc[wn()].line_style, LineOnOffDash);
    EXPECT_EQ(Pc[wn()].gc_function, GXxor);
}

// Under GXxor the second rectangle undoes the first.
TEST_F(Pen, DrawingFunctionReachesThePixels)
{
    kova_newpen(wn(), 2);
    kova_newgcfunction(wn(), GXxor);
    unsigned long bg = Pc[wn()].bg_pixel;
    kova_fillrect(wn(), 10, 10, 4, 4);
    unsigned long once = kt::synced_pixel(win->layer(), 11, 11);
    EXPECT_NE(once, bg);
    kova_fillrect(wn(), 10, 10, 4, 4);
    EXPECT_EQ(kt::synced_pixel(win->layer(), 11, 11), bg);
    EXPECT_EQ(kt::synced_pixel(win->window(), 11, 11), bg);
}

} // namespace
