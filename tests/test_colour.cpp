// kova-test-depths: 24 16 8
// Display setup and colour lookup, on 24-, 16- and 8-bit screens.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "xserver.hpp"

#include <cstdlib>

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
