// kova-test-depths: 24 8
// Pending settings, size hints for the geometry strings, the background of
// an open window, and display information.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "xserver.hpp"

#include <string>

extern "C" {
void gsetinitialwinname_(const char *storename, const char *iconname, const char *resname,
                         const char *resclass);
void gsetbgcolor_(int *wn, const char *colour);
void ggetdisplayinfo_(int *depth, int *root_width, int *root_height);
}

namespace {

struct Hints {
    long flags;
    int x, y, width, height, min_w, min_h, max_w, max_h, gravity;
};

Hints hints_for(const char *geometry, int w, int h, int fixed, int border = 0)
{
    kova_ggetdisplayinfo(nullptr, nullptr, nullptr);
    kova_gsetinitialgeometry(geometry ? "%s" : nullptr, geometry);
    int saved = Pc_bdr_width;
    Pc_bdr_width = border;
    XSizeHints s;
    get_size_hints(w, h, fixed, &s);
    Pc_bdr_width = saved;
    kova_gsetinitialgeometry(nullptr);
    Hints r{s.flags, s.x, s.y, s.width, s.height, 0, 0, s.max_width, s.max_height, 0};
    if (s.flags & PMinSize) {
        r.min_w = s.min_width;
        r.min_h = s.min_height;
    }
    if (s.flags & PWinGravity)
        r.gravity = s.win_gravity;
    return r;
}

struct AttributesTest : ::testing::Test {
    void TearDown() override { kova_gcloseall(); }
};

TEST(PendingSettings, AttributeBitsChangeOnlyUnderTheMask)
{
    EXPECT_EQ(kova_ggetinitialattributes(), 0x82);
    kova_gsetinitialattributes(0, 0x02);
    EXPECT_EQ(kova_ggetinitialattributes(), 0x80);
    kova_gsetinitialattributes(-1, 0x10);
    EXPECT_EQ(kova_ggetinitialattributes(), 0x90);
    kova_gsetinitialattributes(0x82, -1);
    kova_gsetinitialattributes(0x08, 0x0a);
    EXPECT_EQ(kova_ggetinitialattributes(), 0x88);
    kova_gsetinitialattributes(0x82, -1);
}

TEST(PendingSettings, BorderBackgroundAndNames)
{
    kova_gsetinitialborder(-1, nullptr);
    EXPECT_EQ(Pc_bdr_width, 0);
    EXPECT_EQ(Pc_bordercolor, nullptr);
    kova_gsetinitialborder(3, nullptr);
    EXPECT_EQ(Pc_bdr_width, 3);
    EXPECT_EQ(Pc_bordercolor, nullptr);
    kova_gsetinitialborder(-5, "#%06x", 0xff0000);
    EXPECT_EQ(Pc_bdr_width, 3);
    EXPECT_STREQ(Pc_bordercolor, "#ff0000");
    kova_gsetinitialborder(0, "blue");
    EXPECT_STREQ(Pc_bordercolor, "blue");
    kova_gsetinitialborder(0, nullptr);
    EXPECT_STREQ(Pc_bordercolor, "blue");
    free(Pc_bordercolor);
    Pc_bordercolor = nullptr;

    kova_gsetinitialbgcolor("gray%d", 50);
    EXPECT_STREQ(Pc_bgcolor, "gray50");
    kova_gsetinitialbgcolor(nullptr);
    EXPECT_EQ(Pc_bgcolor, nullptr);

    kova_gsetinitialparsegeometry("%dx%d", 10, 20);
    EXPECT_STREQ(Pc_geometry, "10x20");
    kova_gsetinitialgeometry(nullptr);
    EXPECT_EQ(Pc_geometry, nullptr);

    kova_gsetinitialwinname("a", nullptr, "c", "D");
    EXPECT_STREQ(Pc_storename, "a");
    EXPECT_EQ(Pc_iconname, nullptr);
    EXPECT_STREQ(Pc_classhint_res_name, "c");
    EXPECT_STREQ(Pc_classhint_res_class, "D");
    gsetinitialwinname_("w", "i", "r", "C");
    EXPECT_STREQ(Pc_iconname, "i");
    kova_gsetinitialwinname(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(Pc_storename, nullptr);
    EXPECT_EQ(Pc_iconname, nullptr);
    EXPECT_EQ(Pc_classhint_res_name, nullptr);
    EXPECT_EQ(Pc_classhint_res_class, nullptr);
}

TEST_F(AttributesTest, SizeHintsWithoutGeometry)
{
    Hints f = hints_for(nullptr, 500, 400, 1);
    EXPECT_EQ(f.flags, 0x32);
    EXPECT_EQ(f.x, 0);
    EXPECT_EQ(f.y, 0);
    EXPECT_EQ(f.width, 500);
    EXPECT_EQ(f.min_w, 500);
    EXPECT_EQ(f.max_h, 400);

    Hints s = hints_for(nullptr, 500, 400, 0);
    EXPECT_EQ(s.flags, 0x22);
    EXPECT_EQ(s.width, 500);
    EXPECT_EQ(s.height, 400);

    // A canvas larger than the display less 128 opens smaller, and may be
    // enlarged up to the canvas.
    Hints big = hints_for(nullptr, 2000, 2000, 0);
    EXPECT_EQ(big.width, 1152);
    EXPECT_EQ(big.height, 896);
    EXPECT_EQ(big.max_w, 2000);
    EXPECT_EQ(hints_for(nullptr, 1153, 896, 0).width, 1152);
    EXPECT_EQ(hints_for(nullptr, 1152, 896, 0).width, 1152);
    EXPECT_EQ(hints_for(nullptr, 2000, 2000, 1).width, 2000);
}

TEST_F(AttributesTest, SizeHintsFromGeometryStrings)
{
    Hints p = hints_for("+10+20", 300, 200, 1);
    EXPECT_EQ(p.flags, USPosition | USSize | PMinSize | PMaxSize | PWinGravity);
    EXPECT_EQ(p.x, 10);
    EXPECT_EQ(p.y, 20);
    EXPECT_EQ(p.width, 300);
    EXPECT_EQ(p.height, 200);
    EXPECT_EQ(p.gravity, NorthWestGravity);

    for (int fixed : {0, 1}) {
        Hints n = hints_for("-10-20", 300, 200, fixed, 2);
        EXPECT_EQ(n.gravity, SouthEastGravity);
        EXPECT_EQ(n.x, 1280 - 10 - 300 - 4) << "fixed " << fixed;
        EXPECT_EQ(n.y, 1024 - 20 - 200 - 4);
        EXPECT_EQ(n.width, 300);
    }
    EXPECT_EQ(hints_for("-0+5", 300, 200, 0).gravity, NorthEastGravity);
    EXPECT_EQ(hints_for("+5-0", 300, 200, 0).gravity, SouthWestGravity);

    Hints sized = hints_for("640x480", 2000, 2000, 0);
    EXPECT_EQ(sized.flags, USSize | PMaxSize);
    EXPECT_EQ(sized.width, 640);
    EXPECT_EQ(sized.height, 480);
    EXPECT_EQ(sized.x, 0);
    // The maximum is the canvas; a fixed window's size stays the canvas.
    EXPECT_EQ(hints_for("3000x3000", 2000, 1500, 0).width, 2000);
    EXPECT_EQ(hints_for("640x480+1+1", 300, 200, 1).width, 300);
    // A zero size would fail the window's creation.
    Hints zero = hints_for("0x0", 300, 200, 0);
    EXPECT_EQ(zero.width, 1);
    EXPECT_EQ(zero.height, 1);
}

TEST_F(AttributesTest, DisplayInformation)
{
    int depth = 0, w = 0, h = 0;
    EXPECT_EQ(kova_ggetdisplayinfo(&depth, &w, &h), 0);
    EXPECT_EQ(depth, kt::depth());
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 1024);
    Display *before = Pc_dis;
    kova_gopen(10, 10); // reuses the connection
    EXPECT_EQ(Pc_dis, before);
    kova_gcloseall();

    auto r = kt::run_forked([] {
        setenv("DISPLAY", ":4711", 1);
        int d = 0, rw = 0, rh = 0;
        int res = kova_ggetdisplayinfo(&d, &rw, &rh);
        fprintf(stderr, "%d %d %d %d\n", res, d, rw, rh);
        setenv("DISPLAY", kt::display_name().c_str(), 1);
        int d2 = 0;
        ggetdisplayinfo_(&d2, &rw, &rh);
        fprintf(stderr, "%d %d\n", d2, rw);
    });
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "-1 -1 -1 -1\n" + std::to_string(kt::depth()) + " 1280\n");
}

TEST_F(AttributesTest, NewBackgroundShowsWhereTheWindowIsClearedNext)
{
    kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
    int w = kova_gopen(60, 40);
    unsigned long old_bg = Pc[w].bg_pixel;
    Window draw = Pc[w].draw_win;
    Pixmap layer = Pc[w].layers[0];
    kova_gsetbgcolor(w, nullptr);
    EXPECT_EQ(Pc[w].bg_pixel, old_bg);
    gsetbgcolor_(&w, "#00ff00");
    unsigned long green = get_color_pixel("#00ff00");
    EXPECT_EQ(Pc[w].bg_pixel, green);
    XGCValues v;
    XGetGCValues(Pc_dis, Pc[w].bg_gc, GCForeground, &v);
    EXPECT_EQ(v.foreground, green);
    XSync(Pc_dis, False);
    // Nothing repainted: the layer keeps the old colour, the window too
    // until it is cleared with its (new) background.
    EXPECT_EQ(kt::pixel(layer, 5, 5), old_bg);
    EXPECT_EQ(kt::pixel(draw, 5, 5), old_bg);
    XClearWindow(kt::dpy(), draw);
    EXPECT_EQ(kt::pixel(draw, 5, 5), green);
    kova_gsetinitialattributes(-1, KOVA_ATTR_SCROLLBARS);
}

} // namespace
