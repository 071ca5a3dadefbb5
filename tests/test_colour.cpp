// kova-test-depths: 24 16 8
// Display setup and colour lookup, on 24-, 16- and 8-bit screens.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "xserver.hpp"

#include <cstdlib>
#include <vector>

namespace {

struct Colour : ::testing::Test {
    void SetUp() override { ASSERT_EQ(kova_ggetdisplayinfo(nullptr, nullptr, nullptr), 0); }
};

TEST_F(Colour, DisplaySetupMatchesTheScreen)
{
    int depth = 0, w = 0, h = 0;
    EXPECT_EQ(kova_ggetdisplayinfo(&depth, &w, &h), 0);
    EXPECT_EQ(depth, kt::depth());
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 1024);
    EXPECT_NE(Pc_zwin, 0u);
    XSync(Pc_dis, False); // the command window reaches the server before we look
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(kt::dpy(), Pc_zwin, &a));
    EXPECT_EQ(a.width, 16);
    EXPECT_EQ(a.height, 16);
    EXPECT_EQ(a.map_state, IsUnmapped);
    EXPECT_EQ(a.depth, kt::depth());
    if (kt::depth() == 16) {
        EXPECT_EQ(Red_sft, 11);
        EXPECT_EQ(Red_depth, 5);
        EXPECT_EQ(Green_sft, 5);
        EXPECT_EQ(Green_depth, 6);
        EXPECT_EQ(Blue_sft, 0);
        EXPECT_EQ(Blue_depth, 5);
    } else if (kt::depth() == 24) {
        EXPECT_EQ(Red_sft, 16);
        EXPECT_EQ(Red_depth, 8);
        EXPECT_EQ(Blue_sft, 0);
    } else {
        EXPECT_EQ(Pc_visual->c_class, PseudoColor);
    }
}

TEST_F(Colour, NamesBecomeTheServersPixels)
{
    unsigned long orange = get_color_pixel("#ff8000");
    unsigned long white = get_color_pixel("#ffffff");
    if (kt::depth() == 24) {
        EXPECT_EQ(orange, 0xFF8000u);
        EXPECT_EQ(rgb_to_pixel(255, 128, 0), 0xFF8000u);
    }
    if (kt::depth() == 16) {
        EXPECT_EQ(white, 0xFFFFu);
        EXPECT_EQ(rgb_to_pixel(255, 255, 255), 0xFFFFu);
        EXPECT_EQ(orange, 0xFC00u);
    }
    // Whatever the depth, the pixel shows the colour: ask the server.
    XColor c;
    c.pixel = orange;
    XQueryColor(kt::dpy(), Pc_cmap, &c);
    EXPECT_EQ(c.red >> 11, 0xffff >> 11);
    EXPECT_EQ(c.green >> 11, 0x8080 >> 11);
    EXPECT_EQ(c.blue >> 11, 0);
    c.pixel = get_color_pixel("red");
    XQueryColor(kt::dpy(), Pc_cmap, &c);
    EXPECT_EQ(c.red >> 8, 0xff);
    EXPECT_EQ(c.green, 0);
}

TEST_F(Colour, EightBitRepeatsAreAnsweredFromTheCache)
{
    if (kt::depth() != 8)
        GTEST_SKIP() << "colormap cache is used on 8-bit screens only";
    unsigned long first = get_color_pixel("#123456");
    int entries = Pc_ncmapcolors;
    unsigned long before = XNextRequest(Pc_dis);
    unsigned long second = get_color_pixel("#123456");
    EXPECT_EQ(second, first);
    EXPECT_EQ(Pc_ncmapcolors, entries);
    EXPECT_EQ(XNextRequest(Pc_dis), before); // nothing went to the server
    get_color_pixel("#654321");
    EXPECT_EQ(Pc_ncmapcolors, entries + 1);
}

// Every free cell of the default colormap taken by the test's own
// connection: a 5 x 5 x 5 cube of colours 63 apart, then (255, k, 40).
std::vector<unsigned long> fill_colormap()
{
    std::vector<unsigned long> cells;
    Colormap cmap = DefaultColormap(kt::dpy(), DefaultScreen(kt::dpy()));
    auto take = [&](int r, int g, int b) {
        XColor c;
        c.red = static_cast<unsigned short>(r << 8);
        c.green = static_cast<unsigned short>(g << 8);
        c.blue = static_cast<unsigned short>(b << 8);
        c.flags = DoRed | DoGreen | DoBlue;
        if (!XAllocColor(kt::dpy(), cmap, &c))
            return false;
        cells.push_back(c.pixel);
        return true;
    };
    for (int i = 0; i < 125; i++)
        take(i / 25 * 63, i / 5 % 5 * 63, i % 5 * 63);
    for (int k = 0; k < 256 && take(255, k, 40); k++) {
    }
    return cells;
}

TEST_F(Colour, AFullColormapGivesTheNearestCellWithOneWarningAndNoRequests)
{
    if (kt::depth() != 8)
        GTEST_SKIP() << "colormap cells are allocated on 8-bit screens only";
    int win = kova_gopen(40, 20);
    std::vector<unsigned long> taken = fill_colormap();
    ASSERT_GT(taken.size(), 130u);
    Colormap cmap = DefaultColormap(kt::dpy(), DefaultScreen(kt::dpy()));
    XColor near;  // the cube's (63, 126, 189), shared
    near.red = 63 << 8;
    near.green = 126 << 8;
    near.blue = 189 << 8;
    near.flags = DoRed | DoGreen | DoBlue;
    ASSERT_TRUE(XAllocColor(kt::dpy(), cmap, &near));
    taken.push_back(near.pixel);

    std::string err = kt::capture_stderr([&] {
        kova_newrgbcolor(win, 60, 130, 185);
        kova_fillrect(win, 0, 0, 20, 20);
        kova_newrgbcolor(win, 250, 3, 44);  // nearest: (255, 0 .. 5, 40)
        kova_fillrect(win, 20, 0, 20, 20);
    });
    // The colour the window shows at (x, 10), as 8-bit components.
    auto shown = [&](int x) {
        XSync(Pc_dis, False);
        XColor c;
        c.pixel = kt::pixel(Pc[win].draw_win, x, 10);
        XQueryColor(kt::dpy(), cmap, &c);
        c.red >>= 8;
        c.green >>= 8;
        c.blue >>= 8;
        return c;
    };
    EXPECT_EQ(shown(10).pixel, near.pixel);
    XColor other = shown(30);
    EXPECT_EQ(other.red, 255);
    EXPECT_LE(other.green, 5);
    EXPECT_EQ(other.blue, 40);
    EXPECT_EQ(err, "KOVA: [WARNING] XAllocColor() failed. The colormap is full: the nearest "
                   "colours are used from now on.\n");

    // Known full: new colours and names cost no round trip and say nothing.
    err = kt::capture_stderr([&] {
        unsigned long before = XNextRequest(Pc_dis);
        get_color_pixel("#010203");
        kova_newrgbcolor(win, 7, 8, 9);
        kova_newrgbcolor(win, 55, 100, 150);
        EXPECT_EQ(XNextRequest(Pc_dis), before);
    });
    EXPECT_EQ(err, "");

    // Close-all forgets the full colormap: with cells free again a colour
    // is allocated exactly, and the warning is not repeated.
    kova_gcloseall();
    XFreeColors(kt::dpy(), cmap, taken.data(), static_cast<int>(taken.size()), 0);
    XSync(kt::dpy(), False);
    win = kova_gopen(40, 20);
    err = kt::capture_stderr([&] {
        kova_newrgbcolor(win, 55, 100, 150);
        kova_fillrect(win, 0, 0, 20, 20);
    });
    EXPECT_EQ(err, "");
    XColor exact = shown(10);
    EXPECT_EQ(exact.red, 55);
    EXPECT_EQ(exact.green, 100);
    EXPECT_EQ(exact.blue, 150);
    kova_gcloseall();
}

TEST_F(Colour, UnknownNameGivesPixelZeroAndAWarning)
{
    unsigned long p = 1;
    std::string err = kt::capture_stderr([&] { p = get_color_pixel("no-such-colour-name"); });
    EXPECT_EQ(p, 0u);
    EXPECT_EQ(err, "KOVA: [WARNING] XParseColor() failed.\n");
}

TEST(DisplayInfo, UnreachableDisplayGivesMinusOneAndGoesOn)
{
    auto r = kt::run_forked([] {
        // A fresh process state: no connection yet.
        Pc_dis = nullptr;
        unsetenv("DISPLAY");
        int d = 0, w = 0, h = 0;
        int rc = kova_ggetdisplayinfo(&d, &w, &h);
        if (rc == -1 && d == -1 && w == -1 && h == -1 &&
            kova_ggetdisplayinfo(nullptr, nullptr, nullptr) == -1)
            exit(7);
        exit(3);
    });
    EXPECT_EQ(r.code, 7);
}

} // namespace
