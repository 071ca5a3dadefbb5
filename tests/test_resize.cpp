// Window resize: the picture keeps its place at the corner of user y = 0,
// only existing layers are replaced, the windows and their size hints
// follow, the child lays out the scrollbars again, and a dead child does
// not hold the call.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"

#include <csignal>
#include <vector>

namespace {

unsigned long red() { return get_color_pixel("#ff0000"); }
unsigned long green() { return get_color_pixel("#00ff00"); }

// Runs first, while this process has opened nothing: the forked child
// opens the library on its own.
TEST(Resize, ADeadChildDoesNotHoldResizingOrShowing)
{
    kt::ChildResult r = kt::run_forked([] {
        kt::OpenWindow w(60, 40, 0);
        kill(Cpid, SIGKILL);
        if (!kt::eventually([] { return Cpid == 0; }))
            _exit(2);
        kova_gresize(w.wn(), 80, 50);
        kova_layer(w.wn(), 1, 1);
        kova_newcolor(w.wn(), "#ff0000");
        kova_pset(w.wn(), 70, 45);
        _exit(kt::synced_pixel(w.window(), 70, 45) == red() ? 0 : 3);
    });
    EXPECT_FALSE(r.timed_out);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.code, 0) << r.err;
}

TEST(Resize, ThePictureStaysAtTheCornerOfTheOrigin)
{
    for (int attributes : {KOVA_ATTR_Y_UP, 0}) {
        kt::OpenWindow w(400, 300, attributes);
        const bool up = attributes != 0;
        const unsigned long bg = w.rec().bg_pixel;
        kova_newcolor(w.wn(), "#00ff00");
        kova_drawline(w.wn(), 0, 299, 399, 299); // the row farthest from the origin
        kova_newcolor(w.wn(), "#ff0000");
        kova_pset(w.wn(), 0, 0);
        const int origin_row = up ? 299 : 0, far_row = up ? 0 : 299;
        ASSERT_EQ(kt::synced_pixel(w.layer(), 0, origin_row), red());
        ASSERT_EQ(kt::pixel(w.layer(), 0, far_row), green());

        kova_gresize(w.wn(), 400, 500);
        EXPECT_EQ(kt::window_attributes(w.window()).height, 500);
        const int shift = up ? 200 : 0;
        EXPECT_EQ(kt::pixel(w.layer(), 0, origin_row + shift), red());
        EXPECT_EQ(kt::pixel(w.window(), 0, origin_row + shift), red());
        EXPECT_EQ(kt::pixel(w.layer(), 5, far_row + shift), green());
        // The new rows are the background.
        EXPECT_TRUE(kt::lit(w.layer(), 0, up ? 0 : 300, 400, 200, bg).empty());
        kova_pset(w.wn(), 1, 0);
        EXPECT_EQ(kt::synced_pixel(w.layer(), 1, up ? 499 : 0), red());

        // Shrinking keeps the rows nearest the origin.
        kova_gresize(w.wn(), 400, 100);
        EXPECT_EQ(kt::window_attributes(w.window()).height, 100);
        EXPECT_EQ(kt::pixel(w.layer(), 0, up ? 99 : 0), red());
        EXPECT_EQ(kt::lit(w.layer(), 0, 0, 400, 100, bg),
                  (std::vector<std::pair<int, int>>{{0, up ? 99 : 0}, {1, up ? 99 : 0}}));

        // The plain layout's hints fix the size.
        XSizeHints hints{};
        long supplied = 0;
        XGetWMNormalHints(kt::dpy(), w.window(), &hints, &supplied);
        EXPECT_EQ(hints.min_width, 400);
        EXPECT_EQ(hints.max_height, 100);
        EXPECT_EQ(hints.min_height, 100);
    }
}

TEST(Resize, OnlyExistingLayersAreReplacedAndOtherSizesAreIgnored)
{
    kt::OpenWindow w(60, 40, 0);
    EXPECT_EQ(kt::capture_stderr([&] { kova_gresize(w.wn(), 40000, 40); }),
              "KOVA: [WARNING] Invalid window size 40000x40; using 32767x40.\n");
    EXPECT_EQ(w.rec().width, 32767);
    kova_gresize(w.wn(), 60, 40);
    kova_layer(w.wn(), -1, 3);
    kova_gscroll(w.wn(), 1, 1, 0);
    kova_layer(w.wn(), -1, 0);
    const Pixmap l0 = w.rec().layers[0], l3 = w.rec().layers[3];
    ASSERT_NE(w.rec().scroll_pixmap, 0UL);
    kova_gresize(w.wn(), 0, 300);
    kova_gresize(w.wn(), 60, -1);
    kova_gresize(w.wn(), 60, 40);
    EXPECT_EQ(w.rec().layers[0], l0);
    EXPECT_EQ(w.rec().width, 60);
    EXPECT_NE(w.rec().scroll_pixmap, 0UL);

    kova_gresize(w.wn(), 70, 30);
    EXPECT_NE(w.rec().layers[0], l0);
    EXPECT_NE(w.rec().layers[3], l3);
    EXPECT_NE(w.rec().layers[3], 0UL);
    for (int i : {1, 2, 4, 5, 6, 7})
        EXPECT_EQ(w.rec().layers[i], 0UL) << i;
    EXPECT_EQ(w.rec().scroll_pixmap, 0UL);
    // The hidden layer has the new size too.
    kova_layer(w.wn(), -1, 3);
    kova_newcolor(w.wn(), "#ff0000");
    kova_pset(w.wn(), 69, 29);
    EXPECT_EQ(kt::synced_pixel(w.layer(), 69, 29), red());
}

TEST(Resize, ScrollbarsComeWhenTheCanvasOutgrowsTheScreenAndGoWhenItFits)
{
    kt::OpenWindow w(400, 300);
    const pc_window &r = w.rec();
    ASSERT_NE(r.vscroll_win, 0UL);
    auto bars_hidden = [&] {
        sync_child(1);
        return kt::window_attributes(r.vscroll_win).x < 0 && kt::window_attributes(r.hscroll_win).y < 0;
    };
    EXPECT_TRUE(bars_hidden());

    const int wide = Pc_display_width + 100;
    kova_gresize(w.wn(), wide, 300);
    EXPECT_EQ(kt::window_attributes(r.draw_win).width, wide);
    const int W = kt::window_attributes(r.top_win).width;
    EXPECT_EQ(W, Pc_display_width - 128);
    EXPECT_TRUE(kt::eventually([&] {
        sync_child(1);
        return kt::window_attributes(r.vscroll_win).x == W - 19 && kt::window_attributes(r.hscroll_win).y == 300 - 19;
    }));
    XSizeHints hints{};
    long supplied = 0;
    XGetWMNormalHints(kt::dpy(), r.top_win, &hints, &supplied);
    EXPECT_EQ(hints.max_width, wide);
    EXPECT_FALSE(hints.flags & PMinSize);

    kova_gresize(w.wn(), 400, 300);
    EXPECT_EQ(kt::window_attributes(r.top_win).width, 400);
    EXPECT_TRUE(kt::eventually(bars_hidden));
    EXPECT_EQ(kt::window_attributes(r.draw_win).x, 0);
    EXPECT_EQ(kt::window_attributes(r.clip_win).width, 400);
}

} // namespace
