// kova-test-depths: 24 16 8
// families.f90 calls every family of Fortran twins through the interface
// module.  Its two windows must show, pixel for pixel, what the same
// drawing made here with the C entry points shows, and the results it
// prints must be the C entry points' results.
#include <gtest/gtest.h>

#include "kova_private.h"

#include "drawing_check.hpp"
#include "fortran/fortran_program.hpp"

#include <X11/Xutil.h>

#include <map>
#include <string>
#include <vector>

namespace {

// REAL arguments reach the library as floats widened to double.
double f(float v) { return v; }

// Colours of an area as the server shows them (red, green, blue), so that
// screens whose colour cells differ between the two processes compare too.
std::vector<unsigned long> colours(Drawable d, int w, int h)
{
    std::vector<unsigned long> px = kt::area(d, 0, 0, w, h);
    Display *dpy = kt::dpy();
    Colormap cmap = DefaultColormap(dpy, DefaultScreen(dpy));
    std::map<unsigned long, unsigned long> seen;
    for (unsigned long &p : px) {
        auto it = seen.find(p);
        if (it == seen.end()) {
            XColor c{};
            c.pixel = p;
            XQueryColor(dpy, cmap, &c);
            it = seen.emplace(p, (c.red >> 8) << 16 | (c.green >> 8) << 8 | c.blue >> 8).first;
        }
        p = it->second;
    }
    return px;
}

// The first window of families.f90, drawn with the C entry points.
std::vector<unsigned long> reference_numbered_window()
{
    kova_gsetinitialwinname("families", "fam", "families", "Families");
    int w = kova_gopen(320, 200);
    kova_gsetinitialwinname(nullptr, nullptr, nullptr, nullptr);
    kova_window(w, 0, 0, f(31.9f), f(19.9f));
    kova_newcolor(w, "orange");
    kova_fillrect(w, 1, 1, 4, 3);
    kova_newrgbcolor(w, 0, 128, 255);
    kova_drawrect(w, 6, 1, 4, 3);
    kova_newhsvcolor(w, 120, 255, 200);
    kova_drawline(w, 11, 1, 15, 4);
    kova_newpen(w, 5);
    kova_newlinewidth(w, 3);
    const float xs[] = {2, 5, 8, 11}, ys[] = {6, 9, 6, 9};
    kova_drawlinesf(w, xs, ys, 4);
    kova_newlinewidth(w, 1);
    kova_newlinestyle(w, 1);
    const float tx[] = {14, 18, 16}, ty[] = {6, 6, 9.5f}, tx5[] = {19, 23, 21};
    kova_drawpolyf(w, tx, ty, 3);
    kova_newlinestyle(w, 0);
    kova_newpen(w, 7);
    kova_fillpolyf(w, tx5, ty, 3, 1);
    const float dx[] = {21, 22, 23, 24, 25}, dy[] = {2, 3, 4, 5, 6};
    kova_drawptsf(w, dx, dy, 5);
    kova_pset(w, 27, 1);
    kova_moveto(w, 28, 1);
    kova_lineto(w, 30, 3);
    kova_line(w, 30, 5, 2);
    kova_line(w, 29, 5, 1);
    kova_newpen(w, 2);
    kova_drawarc(w, 3, 13, 2, 1.5, 0, 270, 1);
    kova_fillarc(w, 8, 13, 2, 2, 10, 350, -1);
    kova_drawcirc(w, 13, 13, 2, 1);
    kova_fillcirc(w, 18, 13, 1.5, 1.5);
    kova_newpen(w, 3);
    kova_drawsym(w, 22, 13, 12, 3);
    const float sx[] = {22, 25, 28}, sy[] = {12, 15, 12};
    kova_drawsymsf(w, sx, sy, 3, 9, 8);
    kova_drawarrow(w, 1, 17, 10, 17, 10, 6, 12);
    kova_newpen(w, 1);
    kova_drawstr(w, 12, 17, 12, 0.0, "Fortran");
    kova_drawstr(w, 20, 17, 14, 0.0, "3.14");
    EXPECT_EQ(kova_newfontset(w, "-*-fixed-medium-r-normal--14-*"), 0);
    EXPECT_EQ(kova_gsetfontset(w, "no-such-font-at-all"), 1);
    kova_drawstr(w, 25, 19, 0, 0.0, "set");
    std::vector<unsigned long> out = colours(Pc[w].layers[0], 320, 200);
    kova_gclose(w);
    return out;
}

// The second window, which the program draws through the single-window
// entry points on window 0.
std::vector<unsigned long> reference_single_window()
{
    int w = kova_gopen(640, 400);
    kova_window(w, 0, 0, f(63.9f), f(39.9f));
    kova_newpen(w, 4);
    kova_line(w, 2, 2, 3);
    kova_line(w, 20, 2, 2);
    kova_line(w, 20, 15, 2);
    kova_line(w, 25, 15, 1);
    kova_drawarc(w, 32, 20, 5, 5, 0, 360, 1);
    kova_drawarc(w, 50, 30, 4, 4, 0, 90, 1);
    kova_newpen(w, 6);
    kova_drawarrow(w, 5, 35, 30, 30, f(0.1f), f(0.06f), 111);
    kova_drawstr(w, 40, 5, 12, 0.0, "123");
    kova_drawstr(w, 45, 12, 12, 0.0, "symbol");
    kova_drawsym(w, 60, 10, 10, 4);
    std::vector<unsigned long> out = colours(Pc[w].layers[0], 640, 400);
    kova_gclose(w);
    return out;
}

// Waits for the program's window of w x h and compares it with want.
void expect_window(int w, int h, const std::vector<unsigned long> &want, const char *what)
{
    Window canvas = 0;
    ASSERT_TRUE(kt::eventually([&] { return (canvas = kt::find_canvas(w, h)) != 0; })) << what;
    std::vector<unsigned long> got;
    bool same = kt::eventually([&] { return (got = colours(canvas, w, h)) == want; });
    EXPECT_TRUE(same) << what;
    int shown = 0;
    for (size_t i = 0; !same && i < got.size() && i < want.size() && shown < 10; i++)
        if (got[i] != want[i]) {
            ADD_FAILURE() << what << ": pixel (" << i % w << ", " << i / w << ") is " << std::hex
                          << got[i] << ", expected " << want[i];
            shown++;
        }
}

TEST(FortranFamilies, EveryFamilyDrawsAndAnswersAsTheCEntryPointsDo)
{
    const std::vector<unsigned long> numbered = reference_numbered_window();
    const std::vector<unsigned long> single = reference_single_window();
    kova_gcloseall();

    kt::Program prog(KOVA_FORTRAN_FAMILIES);
    EXPECT_EQ(prog.line(20000), "window 1\n");
    Display *d = kt::dpy();
    EXPECT_EQ(prog.line(5000), "display " + std::to_string(kt::depth()) + " " +
                                   std::to_string(DisplayWidth(d, DefaultScreen(d))) + " " +
                                   std::to_string(DisplayHeight(d, DefaultScreen(d))) + "\n");
    EXPECT_EQ(prog.line(5000), "nonflush isnan -1 1 0\n");
    EXPECT_EQ(prog.line(5000), "fontsets 0 1\n");
    // rtoc into 16 characters: "2.718", its NUL, and 10 to spare.
    EXPECT_EQ(prog.line(5000), "rtoc 2.718 10\n");
    ASSERT_EQ(prog.line(20000), "ready\n");
    expect_window(320, 200, numbered, "window 1");
    Window top = kt::find_canvas(320, 200);
    EXPECT_EQ(kt::window_name(top), "Fortran families");
    XClassHint hint{};
    ASSERT_TRUE(XGetClassHint(d, top, &hint));
    EXPECT_STREQ(hint.res_name, "families");
    EXPECT_STREQ(hint.res_class, "Families");
    XFree(hint.res_name);
    XFree(hint.res_class);

    ASSERT_TRUE(prog.go());
    ASSERT_EQ(prog.line(20000), "ready\n");
    expect_window(640, 400, single, "window 0");
    EXPECT_EQ(prog.finish(20000), 0);
}

TEST(FortranFamilies, TheCEntryPointsAndTheIntrinsicIsnanThroughTheModule)
{
    // A 40 x 30 canvas resized to 60 x 50, read back whole: its last
    // pixel red; reading a file that is not there gives a null pointer.
    kt::Program prog(KOVA_FORTRAN_C_ENTRIES);
    EXPECT_EQ(prog.line(20000), "isnan T F 60 50 T F\n");
    EXPECT_EQ(prog.finish(20000), 0);
}

} // namespace
