// Automatic flushing, and the hand-over of button events between the child
// and the library when the input mode changes.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "xserver.hpp"

#include <string>

extern "C" {
void gsetnonflush_(int *flag);
void ggetnonflush_(int *result);
void gsetnonblock_(int *flag);
}

namespace {

constexpr long plain_mask = 0x7D;
constexpr long draw_mask = 0x7C;

struct ModesTest : ::testing::Test {
    void TearDown() override
    {
        kova_gcloseall();
        kova_gsetnonflush(0);
        kova_gsetnonblock(0);
        kova_gsetinitialattributes(KOVA_ATTR_SCROLLBARS | KOVA_ATTR_Y_UP, -1);
    }
};

// What the library itself selects on a window (read on its own connection).
long own_mask(Window w)
{
    XWindowAttributes a;
    XGetWindowAttributes(Pc_dis, w, &a);
    return a.your_event_mask;
}

// What any client selects on a window.
long all_masks(Window w)
{
    XWindowAttributes a;
    XGetWindowAttributes(kt::dpy(), w, &a);
    return a.all_event_masks;
}

void fail_if(bool bad, const char *what)
{
    if (bad)
        fprintf(stderr, "FAIL %s\n", what);
}

TEST_F(ModesTest, NonFlushSwitchAndExplicitFlush)
{
    // Harmless before any window exists.
    kova_gflush();
    kova_gsetnonflush(5);
    EXPECT_EQ(kova_ggetnonflush(), -1);
    kova_gsetnonflush(0);
    EXPECT_EQ(kova_ggetnonflush(), 0);
    int one = 1, result = 0;
    gsetnonflush_(&one);
    ggetnonflush_(&result);
    EXPECT_EQ(result, -1);

    // The setting made before the first open applies to it.
    kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
    int w = kova_gopen(40, 40);
    Window draw = Pc[w].draw_win;
    unsigned long bg = Pc[w].bg_pixel, white = get_color_pixel("#ffffff");
    XFillRectangle(Pc_dis, draw, Pc[w].pen_gc, 0, 0, 40, 40);
    do_auto_flush();
    kova_msleep(100);
    EXPECT_EQ(kt::pixel(draw, 10, 10), bg) << "request left the buffer with flushing off";
    kova_gflush();
    EXPECT_TRUE(kt::eventually([&] { return kt::pixel(draw, 10, 10) == white; }));

    kova_gsetnonflush(0);
    XFillRectangle(Pc_dis, draw, Pc[w].bg_gc, 0, 0, 40, 40);
    do_auto_flush();
    EXPECT_TRUE(kt::eventually([&] { return kt::pixel(draw, 10, 10) == bg; }));
}

// An X error (BadAccess: two clients asking for button presses) would end
// the forked process through Xlib's default handler.
TEST_F(ModesTest, SwitchingWithWindowsOpenHandsTheButtonsOver)
{
    auto r = kt::run_forked([] {
        kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
        int p = kova_gopen(60, 60);
        kova_gsetinitialattributes(-1, KOVA_ATTR_SCROLLBARS);
        int s = kova_gopen(60, 60);
        Window ptop = Pc[p].top_win, stop = Pc[s].top_win, sdraw = Pc[s].draw_win;
        // Blocking mode: the child holds the buttons of the drawing windows.
        fail_if(!kt::eventually([&] { return (all_masks(sdraw) & ButtonPressMask) != 0; }),
                "child holds buttons at start");
        for (int round = 0; round < 3; round++) {
            kova_gsetnonblock(round + 1);
            XSync(Pc_dis, False);
            fail_if(own_mask(ptop) != plain_mask, "plain top mask");
            fail_if(own_mask(stop) != KeyPressMask, "scrolled top mask");
            fail_if(own_mask(sdraw) != draw_mask, "scrolled draw mask");
            int zero = 0;
            gsetnonblock_(&zero);
            XSync(Pc_dis, False);
            fail_if(own_mask(ptop) != 0 || own_mask(stop) != 0 || own_mask(sdraw) != 0,
                    "blocking clears the library's selection");
            fail_if(!kt::eventually([&] { return (all_masks(sdraw) & ButtonPressMask) != 0; }),
                    "child takes the buttons back");
        }
        kova_gsetnonblock(1);
        kova_gsetnonblock(1); // again: harmless
        XSync(Pc_dis, False);
        fail_if(own_mask(sdraw) != draw_mask, "repeated switch");
        kova_gcloseall();
    });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
}

TEST_F(ModesTest, SwitchBeforeTheFirstOpenAppliesToTheFirstWindow)
{
    auto r = kt::run_forked([] {
        kova_gsetnonblock(1);
        kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
        int p = kova_gopen(60, 60);
        XSync(Pc_dis, False);
        fail_if(own_mask(Pc[p].top_win) != plain_mask, "plain top mask");
        kova_gsetinitialattributes(-1, KOVA_ATTR_SCROLLBARS);
        int s = kova_gopen(60, 60);
        XSync(Pc_dis, False);
        fail_if(own_mask(Pc[s].top_win) != KeyPressMask, "scrolled top mask");
        fail_if(own_mask(Pc[s].draw_win) != draw_mask, "scrolled draw mask");
        // Back to blocking: the child may take the buttons again.
        kova_gsetnonblock(0);
        Window d = Pc[s].draw_win;
        fail_if(!kt::eventually([&] { return (all_masks(d) & ButtonPressMask) != 0; }),
                "child takes the buttons");
        kova_gcloseall();
        // The mode outlives close-all: the next child starts in it.
        kova_gsetnonblock(1);
        int again = kova_gopen(30, 30);
        XSync(Pc_dis, False);
        fail_if(own_mask(Pc[again].draw_win) != draw_mask, "after close-all");
    });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
}

} // namespace
