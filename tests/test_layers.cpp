// kova-test-depths: 24 16 8
// Layers: hidden write layers, showing, copying, clearing and scrolling,
// read back from the layer pixmaps and the window; repaints after exposure
// prove the child was told each new pixmap of the shown layer.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"

#include <climits>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" {
void layer_(int *wn, int *show, int *write);
void gscroll_(int *wn, int *dx, int *dy, int *clr);
void clsx_(void);
void selwin_(int *wn);
void tclr_(void);
}

namespace {

constexpr int W = 50, H = 30;

unsigned long red() { return get_color_pixel("#ff0000"); }
unsigned long green() { return get_color_pixel("#00ff00"); }

// The whole window covered and uncovered, after the window itself was
// cleared: what it shows afterwards is the child's repaint.
void repaint_by_child(const kt::OpenWindow &w)
{
    XClearWindow(Pc_dis, w.window());
    XSync(Pc_dis, False);
    kt::cover_and_uncover(0, 0, 2000, 2000);
}

bool window_pixel_becomes(const kt::OpenWindow &w, int x, int y, unsigned long p)
{
    return kt::eventually([&] { return kt::pixel(w.window(), x, y) == p; });
}

// Before any window is open (this test runs first).
TEST(Layers, TerminalClearAndWindowSelectionOutsideTheLibrary)
{
    kt::ChildResult r = kt::run_forked([] {
        int one = 1;
        selwin_(&one); // nothing open yet: ignored
        if (Wn >= 0)
            _exit(3);
        fflush(stdout);
        int fd[2];
        if (pipe(fd) != 0)
            _exit(4);
        dup2(fd[1], STDOUT_FILENO);
        tclr_();
        kova_tclr();
        char buf[32] = {};
        ssize_t n = read(fd[0], buf, sizeof buf - 1);
        _exit(n == 14 && std::string(buf) == "\33[H\33[2J\33[H\33[2J" ? 0 : 5);
    });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.code, 0) << r.err;
}

TEST(Layers, AHiddenWriteLayerLeavesTheWindowAloneAndIsNotFlushed)
{
    kt::OpenWindow w(W, H, 0);
    const unsigned long bg = w.rec().bg_pixel;
    kova_newcolor(w.wn(), "#ff0000");
    kova_fillrect(w.wn(), 0, 0, 10, 10);
    kova_layer(w.wn(), -1, 3);
    EXPECT_EQ(w.rec().shown_layer, 0);
    EXPECT_EQ(w.rec().write_layer, 3);
    ASSERT_NE(w.rec().layers[3], 0UL);
    for (int i : {1, 2, 4, 5, 6, 7})
        EXPECT_EQ(w.rec().layers[i], 0UL) << i;
    EXPECT_EQ(kt::synced_pixel(w.layer(), 5, 5), bg);

    kova_newcolor(w.wn(), "#00ff00");
    kova_fillrect(w.wn(), 20, 0, 10, 10);
    // Still in the library's buffer: nothing was flushed.
    EXPECT_EQ(kt::pixel(w.layer(), 25, 5), bg);
    kova_gflush();
    EXPECT_TRUE(kt::eventually([&] { return kt::pixel(w.layer(), 25, 5) == green(); }));
    kova_gclr(w.wn());
    EXPECT_EQ(kt::pixel(w.layer(), 25, 5), green());
    EXPECT_EQ(kt::synced_pixel(w.layer(), 25, 5), bg);
    // The window still shows layer 0.
    EXPECT_EQ(kt::pixel(w.window(), 5, 5), red());
    EXPECT_EQ(kt::pixel(w.window(), 25, 5), bg);
    EXPECT_EQ(kt::pixel(w.rec().layers[0], 5, 5), red());

    // Showing it; indexes outside 0..7 keep the current ones, silently.
    EXPECT_EQ(kt::capture_stderr([&] { kova_layer(w.wn(), 3, 8); }), "");
    EXPECT_EQ(w.rec().write_layer, 3);
    EXPECT_EQ(kt::synced_pixel(w.window(), 5, 5), bg);
    // Shown and written: clearing clears the window too.
    kova_newcolor(w.wn(), "#ff0000");
    kova_fillrect(w.wn(), 0, 20, 5, 5);
    EXPECT_EQ(kt::synced_pixel(w.window(), 2, 22), red());
    kova_gclr(w.wn());
    EXPECT_EQ(kt::synced_pixel(w.window(), 2, 22), bg);
}

TEST(Layers, ShowingScrollingAndResizingTellTheChildTheShownPixmap)
{
    kt::OpenWindow w(W, H, 0);
    const unsigned long bg = w.rec().bg_pixel;
    kova_newcolor(w.wn(), "#ff0000");
    kova_fillrect(w.wn(), 0, 0, W, H);
    kova_layer(w.wn(), 2, 2);
    // A fresh layer, cleared, is shown at once.
    EXPECT_EQ(kt::synced_pixel(w.window(), 20, 20), bg);
    kova_newcolor(w.wn(), "#00ff00");
    kova_fillrect(w.wn(), 0, 0, 5, 5);
    repaint_by_child(w);
    EXPECT_TRUE(window_pixel_becomes(w, 2, 2, green()));
    EXPECT_EQ(kt::pixel(w.window(), 20, 20), bg);

    kova_gscroll(w.wn(), 20, 10, 0);
    repaint_by_child(w);
    EXPECT_TRUE(window_pixel_becomes(w, 22, 12, green()));
    EXPECT_EQ(kt::pixel(w.window(), 2, 2), bg);

    kova_gresize(w.wn(), W + 20, H + 10);
    repaint_by_child(w);
    EXPECT_TRUE(window_pixel_becomes(w, 22, 12, green()));
    EXPECT_EQ(kt::pixel(w.window(), W + 10, H + 5), bg);

    // Back to layer 0 through the Fortran twin.
    int wn = w.wn(), zero = 0;
    layer_(&wn, &zero, &zero);
    repaint_by_child(w);
    EXPECT_TRUE(window_pixel_becomes(w, 22, 12, red()));
}

TEST(Layers, CopyingNeedsBothLayersAndReachesTheWindowWhenShown)
{
    kt::OpenWindow w(W, H, 0);
    const unsigned long bg = w.rec().bg_pixel;
    kova_newcolor(w.wn(), "#ff0000");
    kova_fillrect(w.wn(), 0, 0, 10, 10);
    const std::string refused = "KOVA: [ERROR] Invalid layer index at copylayer()\n";
    EXPECT_EQ(kt::capture_stderr([&] { kova_copylayer(w.wn(), 0, 5); }), refused);
    EXPECT_EQ(w.rec().layers[5], 0UL);
    for (auto [src, dst] : {std::pair{-1, 0}, {0, 8}, {INT_MIN, 0}, {5, 0}})
        EXPECT_EQ(kt::capture_stderr([&, from = src, to = dst] { kova_copylayer(w.wn(), from, to); }), refused);

    kova_layer(w.wn(), -1, 5);
    kova_copylayer(w.wn(), 0, 5);
    EXPECT_EQ(kt::synced_pixel(w.rec().layers[5], 5, 5), red());
    kova_newcolor(w.wn(), "#00ff00");
    kova_fillrect(w.wn(), 20, 0, 10, 10);
    EXPECT_EQ(kt::synced_pixel(w.window(), 25, 5), bg);
    kova_copylayer(w.wn(), 5, 0);
    EXPECT_EQ(kt::synced_pixel(w.window(), 25, 5), green());
    EXPECT_EQ(kt::pixel(w.rec().layers[0], 25, 5), green());
}

// The canvas as one column of red at x = 45 and a green point at the
// origin corner; scrolling moves both, wrapping at the edges.
TEST(Layers, ScrollingWrapsOrClearsWhatWrapped)
{
    kt::OpenWindow w(W, H, 0);
    const unsigned long bg = w.rec().bg_pixel;
    kova_newcolor(w.wn(), "#ff0000");
    kova_fillrect(w.wn(), 40, 0, 10, H);
    Pixmap before = w.layer();
    kova_gscroll(w.wn(), 10, 0, 0);
    EXPECT_NE(w.layer(), before);
    // The 10 rightmost columns reappear at the left edge.
    std::vector<std::pair<int, int>> lit = kt::lit(w.layer(), 0, 0, W, H, bg);
    EXPECT_EQ(lit, kt::block(0, 0, 9, H - 1));
    EXPECT_EQ(kt::lit(w.window(), 0, 0, W, H, bg), lit);

    kova_gscroll(w.wn(), 10, 0, 1);
    EXPECT_EQ(kt::lit(w.layer(), 0, 0, W, H, bg), kt::block(10, 0, 19, H - 1));
    // Offsets past the canvas wrap; a strip wider than the canvas clears
    // it all.
    kova_gclr(w.wn());
    kova_pset(w.wn(), 5, 5);
    kova_gscroll(w.wn(), -10 - 2 * W, -3 - H, 0);
    EXPECT_EQ(kt::lit(w.layer(), 0, 0, W, H, bg), (std::vector<std::pair<int, int>>{{45, 2}}));
    kova_gscroll(w.wn(), INT_MIN, 0, 1);
    EXPECT_TRUE(kt::lit(w.layer(), 0, 0, W, H, bg).empty());
    EXPECT_TRUE(kt::lit(w.window(), 0, 0, W, H, bg).empty());
}

TEST(Layers, WithTheYAxisUpAPositiveScrollMovesThePictureUp)
{
    kt::OpenWindow w(W, H, KOVA_ATTR_Y_UP);
    const unsigned long bg = w.rec().bg_pixel;
    kova_newcolor(w.wn(), "#ff0000");
    kova_drawline(w.wn(), 0, 0, W - 1, 0);  // the bottom row
    EXPECT_EQ(kt::lit(w.layer(), 0, 0, W, H, bg), kt::block(0, H - 1, W - 1, H - 1));
    kova_gscroll(w.wn(), 0, 5, 1);
    EXPECT_EQ(kt::lit(w.layer(), 0, 0, W, H, bg), kt::block(0, H - 6, W - 1, H - 6));
    EXPECT_EQ(kt::lit(w.window(), 0, 0, W, H, bg), kt::block(0, H - 6, W - 1, H - 6));
    // The Fortran twin, and clsx_ on the current window.
    int wn = w.wn(), dx = 0, dy = -5, clr = 1;
    gscroll_(&wn, &dx, &dy, &clr);
    EXPECT_EQ(kt::lit(w.layer(), 0, 0, W, H, bg), kt::block(0, H - 1, W - 1, H - 1));
    selwin_(&wn);
    clsx_();
    EXPECT_TRUE(kt::lit(w.layer(), 0, 0, W, H, bg).empty());
}

} // namespace
