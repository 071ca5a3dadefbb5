// What the random-argument driver (fuzz/fuzz_api) found, one case each:
// calls that must end, and end without a word, however absurd their
// arguments.  Each runs in a child of its own with a time limit.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"

#include <climits>

extern "C" void msleep_(int *ms);

namespace {

// A negative INTEGER once became a sleep of some 49 days.
TEST(FuzzFindings, NegativeSleepOfTheFortranTwinEndsAtOnce)
{
    auto r = kt::run_forked([] {
        for (int ms : {-1, -1000, INT_MIN}) {
            int v = ms;
            msleep_(&v);
        }
    }, 3000);
    EXPECT_FALSE(r.timed_out);
    EXPECT_TRUE(r.exited && r.code == 0) << "status " << r.status;
    EXPECT_EQ(r.err, "");
}

// The widest line the protocol carries, double-dashed, along a polyline
// that zigzags across the whole coordinate range kept the server busy for
// well over a minute; on a small canvas it now takes a moment.
TEST(FuzzFindings, HugeDashedLinesOnASmallCanvasEnd)
{
    kova_gcloseall();
    auto r = kt::run_forked([] {
        int wn = kova_gopen(64, 48);
        kova_newlinewidth(wn, INT_MAX);
        kova_newlinestyle(wn, LineDoubleDash);
        double x[64], y[64];
        for (int i = 0; i < 64; i++) {
            x[i] = i % 2 ? 1e9 : -1e9;
            y[i] = i % 4 < 2 ? -1e9 : 1e9;
        }
        kova_drawlines(wn, x, y, 64);
        XSync(Pc_dis, False);
        kova_gcloseall();
    }, 20000);
    EXPECT_FALSE(r.timed_out);
    EXPECT_TRUE(r.exited && r.code == 0) << "status " << r.status;
    EXPECT_EQ(r.err, "");
}

// A dashed wide arc on a flat ellipse, or on a huge circle, took the server
// minutes; it is now drawn as a dashed polyline through the ellipse, which
// stays on it.
TEST(FuzzFindings, WideDashedFlatArcsEndOnTheirEllipse)
{
    kova_gcloseall();
    auto r = kt::run_forked([] {
        kt::OpenWindow win(400, 300, 0);
        const int wn = win.wn();
        kova_newlinewidth(wn, 30);
        kova_newlinestyle(wn, LineOnOffDash);
        kova_drawarc(wn, 100, 50, 80, 10, 0, 360, 1);
        XSync(Pc_dis, False);
        auto lit = kt::lit(win.layer(), 0, 0, 400, 300, win.rec().bg_pixel);
        if (lit.size() < 500)
            exit(2);
        for (auto [x, y] : lit)
            if (x < 20 - 16 || x > 180 + 16 || y < 40 - 16 || y > 60 + 16)
                exit(3);
        kova_newlinewidth(wn, INT_MAX);
        kova_drawarc(wn, 100, 50, 1e6, 60, 230.7, 1e38, 0);
        kova_drawcirc(wn, 100, 50, 1e6, 1e6);
        XSync(Pc_dis, False);
    }, 20000);
    EXPECT_FALSE(r.timed_out);
    EXPECT_TRUE(r.exited && r.code == 0) << "status " << r.status;
    EXPECT_EQ(r.err, "");
}

} // namespace
