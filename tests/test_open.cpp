// kova-test-depths: 24 16 8
// Opening and closing windows: numbers, layouts, what the server shows,
// names, borders and the child that keeps the windows repainted.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "xserver.hpp"

#include <X11/Xatom.h>
#include <chrono>
#include <set>
#include <string>

extern "C" void winname_(int *wn, const char *name);

namespace {

struct OpenTest : ::testing::Test {
    void SetUp() override
    {
        kova_gsetinitialattributes(KOVA_ATTR_SCROLLBARS | KOVA_ATTR_Y_UP, -1);
        kova_gsetinitialborder(0, nullptr);
        free(Pc_bordercolor);
        Pc_bordercolor = nullptr;
        kova_gsetinitialbgcolor(nullptr);
        kova_gsetinitialgeometry(nullptr);
        kova_gsetinitialwinname(nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override { kova_gcloseall(); }

    static XWindowAttributes attrs(Window w)
    {
        XWindowAttributes a;
        XSync(kt::dpy(), False);
        XGetWindowAttributes(kt::dpy(), w, &a);
        return a;
    }
    static std::string prop(Window w, Atom atom)
    {
        XTextProperty tp;
        std::string s;
        if (XGetTextProperty(kt::dpy(), w, &tp, atom) && tp.value) {
            s = reinterpret_cast<char *>(tp.value);
            XFree(tp.value);
        }
        return s;
    }
    static std::pair<std::string, std::string> class_hint(Window w)
    {
        XClassHint h;
        std::pair<std::string, std::string> r;
        if (XGetClassHint(kt::dpy(), w, &h)) {
            r = {h.res_name, h.res_class};
            XFree(h.res_name);
            XFree(h.res_class);
        }
        return r;
    }
    static void plain_layout() { kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS); }
};

TEST_F(OpenTest, NumbersFollowTheTableAcrossOpensAndCloses)
{
    kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
    EXPECT_EQ(kova_gopen(64, 48), 1);
    EXPECT_EQ(N_Pc, 2);
    EXPECT_EQ(Pc[0].in_use, 0);
    EXPECT_EQ(Wn, 0);
    EXPECT_EQ(kova_gopen(64, 48), 2);
    EXPECT_EQ(N_Pc, 3);

    plots_();
    ASSERT_EQ(Pc[0].in_use, 1);
    EXPECT_EQ(Pc[0].width, 640);
    EXPECT_EQ(Pc[0].height, 400);
    XWindowAttributes a = attrs(Pc[0].top_win);
    EXPECT_EQ(a.width, 640);
    EXPECT_EQ(a.height, 400);
    Window first = Pc[0].top_win;
    plots_(); // slot 0 is open: nothing happens
    EXPECT_EQ(Pc[0].top_win, first);
    EXPECT_EQ(N_Pc, 3);

    int three = 0, w = 30, h = 20;
    gopen_(&w, &h, &three);
    EXPECT_EQ(three, 3);
    kova_gclose(2);
    EXPECT_EQ(N_Pc, 4);
    EXPECT_EQ(kova_gopen(64, 48), 2);
    kova_gclose(3);
    kova_gclose(2);
    EXPECT_EQ(N_Pc, 2);

    std::string err = kt::capture_stderr([] { kova_gclose(2); });
    EXPECT_EQ(err, "KOVA: [WARNING] Window 2 is not open.\n");
    kova_gclose(0);
    kova_gclose(1);
    EXPECT_EQ(N_Pc, 2);
}

TEST_F(OpenTest, CloseAllStartsAgainWithANewChild)
{
    EXPECT_EQ(kova_gopen(50, 40), 1);
    pid_t old_child = Cpid;
    ASSERT_GT(old_child, 0);
    EXPECT_TRUE(kt::process_alive(old_child));
    kova_gcloseall();
    EXPECT_EQ(Wn, -2);
    EXPECT_EQ(Pc, nullptr);
    EXPECT_EQ(N_Pc, 0);
    EXPECT_EQ(Pc_dis, nullptr);
    EXPECT_EQ(Pc_zwin, 0u);
    EXPECT_EQ(Cpid, 0);
    EXPECT_EQ(Pc_kovahandlers_are_set, 0);
    EXPECT_FALSE(kt::process_alive(old_child));
    kova_gcloseall(); // twice: nothing

    EXPECT_EQ(kova_gopen(50, 40), 1);
    EXPECT_GT(Cpid, 0);
    EXPECT_NE(Cpid, old_child);
    EXPECT_TRUE(kt::process_alive(Cpid));
    EXPECT_EQ(Pc_kovahandlers_are_set, 1);
}

TEST_F(OpenTest, OpenedWindowIsMappedAndShowsTheBackground)
{
    plain_layout();
    kova_gsetinitialbgcolor("#%02x%02x%02x", 0x33, 0x66, 0x99);
    kova_gsetinitialgeometry("+20+30");
    int w = kova_gopen(200, 150);
    const pc_window &p = Pc[w];
    EXPECT_EQ(p.top_win, p.draw_win);
    EXPECT_EQ(p.clip_win, p.top_win);
    EXPECT_EQ(p.hscroll_win, 0u);
    XWindowAttributes a = attrs(p.top_win);
    EXPECT_EQ(a.map_state, IsViewable);
    EXPECT_EQ(a.x, 20);
    EXPECT_EQ(a.y, 30);
    EXPECT_EQ(a.width, 200);
    EXPECT_EQ(a.height, 150);
    unsigned long bg = p.bg_pixel;
    if (kt::depth() > 8) {
        EXPECT_EQ(bg, kt::truecolor(0x33, 0x66, 0x99));
    }
    for (auto [x, y] : {std::pair{0, 0}, {199, 149}, {100, 75}}) {
        EXPECT_EQ(kt::pixel(p.draw_win, x, y), bg);
        EXPECT_EQ(kt::pixel(p.layers[0], x, y), bg);
    }
    EXPECT_EQ(p.shown_layer, 0);
    EXPECT_EQ(p.write_layer, 0);
    for (int i = 1; i < 8; i++)
        EXPECT_EQ(p.layers[i], 0u);
    EXPECT_EQ(p.scrollbar_key_mask, 8);
}

TEST_F(OpenTest, ChildRepaintsTheWindowFromTheShownLayer)
{
    plain_layout();
    kova_gsetinitialgeometry("+0+0");
    int w = kova_gopen(120, 90);
    unsigned long red = get_color_pixel("#ff0000");
    // Only the layer changes: the window shows it after the next exposure.
    GC gc = XCreateGC(Pc_dis, Pc[w].layers[0], 0, nullptr);
    XSetForeground(Pc_dis, gc, red);
    XFillRectangle(Pc_dis, Pc[w].layers[0], gc, 10, 10, 50, 40);
    XFreeGC(Pc_dis, gc);
    XSync(Pc_dis, False);
    EXPECT_EQ(kt::pixel(Pc[w].draw_win, 20, 20), Pc[w].bg_pixel);

    Display *d = kt::dpy();
    XSetWindowAttributes sa;
    sa.override_redirect = True;
    sa.background_pixel = BlackPixel(d, DefaultScreen(d));
    Window cover = XCreateWindow(d, DefaultRootWindow(d), 0, 0, 200, 200, 0, CopyFromParent,
                                 InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &sa);
    XMapRaised(d, cover);
    XSync(d, False);
    XDestroyWindow(d, cover);
    XSync(d, False);
    Window draw = Pc[w].draw_win;
    EXPECT_TRUE(kt::eventually([&] { return kt::pixel(draw, 20, 20) == red; }));
    EXPECT_EQ(kt::pixel(draw, 5, 5), Pc[w].bg_pixel);
    EXPECT_EQ(kt::pixel(draw, 100, 80), Pc[w].bg_pixel);
}

TEST_F(OpenTest, ScrollbarLayoutOpensSmallerThanTheDisplayAndShowsItsBars)
{
    int w = kova_gopen(2000, 2000);
    const pc_window &p = Pc[w];
    ASSERT_NE(p.top_win, p.draw_win);
    std::set<Window> distinct{p.top_win, p.clip_win, p.hscroll_win, p.vscroll_win, p.draw_win};
    EXPECT_EQ(distinct.size(), 5u);
    XWindowAttributes top = attrs(p.top_win);
    EXPECT_EQ(top.width, 1280 - 128);
    EXPECT_EQ(top.height, 1024 - 128);
    XWindowAttributes draw = attrs(p.draw_win);
    EXPECT_EQ(draw.width, 2000);
    EXPECT_EQ(draw.height, 2000);

    // The child lays the bars out inside the top-level window.
    Window hs = p.hscroll_win, vs = p.vscroll_win;
    EXPECT_TRUE(kt::eventually([&] {
        XWindowAttributes h = attrs(hs), v = attrs(vs);
        return h.y + h.height == top.height && v.x + v.width == top.width && h.y > 0 && v.x > 0;
    }));
    std::set<unsigned long> bar_colours;
    for (const char *c : {"#c0c0c0", "#6f6f6f", "#a3a3a3", "#e7e7e7"})
        bar_colours.insert(get_color_pixel(c));
    XWindowAttributes v = attrs(vs);
    EXPECT_TRUE(kt::eventually([&] {
        return bar_colours.count(kt::pixel(vs, v.width / 2, v.height / 2)) == 1 &&
               bar_colours.count(kt::pixel(hs, 3, 3)) == 1;
    }));

    int small = kova_gopen(400, 300);
    XWindowAttributes s = attrs(Pc[small].top_win);
    EXPECT_EQ(s.width, 400);
    EXPECT_EQ(s.height, 300);
}

TEST_F(OpenTest, ScrollbarWindowOpensOnTheCanvasTopLeftCorner)
{
    for (int attributes : {0, KOVA_ATTR_Y_UP}) {
        kova_gsetinitialattributes(KOVA_ATTR_SCROLLBARS | attributes, -1);
        int w = kova_gopen(2000, 2000);
        const unsigned long face = get_color_pixel("#c0c0c0"), red = get_color_pixel("#ff0000");
        const pc_window &p = Pc[w];
        double top = attributes ? 1999 : 0;
        kova_newcolor(w, "#ff0000");
        kova_pset(w, 0, top);
        XSync(Pc_dis, False);
        XWindowAttributes d = attrs(p.draw_win);
        EXPECT_EQ(d.x, 0) << attributes;
        EXPECT_EQ(d.y, 0) << attributes;
        EXPECT_EQ(kt::pixel(p.clip_win, 0, 0), red) << attributes;
        EXPECT_NE(kt::pixel(p.clip_win, 1, 1), red) << attributes;
        // Both thumbs at the start of their troughs (after two 15-pixel
        // buttons and the 2-pixel bevel).
        EXPECT_EQ(kt::pixel(p.vscroll_win, 9, 35), face) << attributes;
        EXPECT_EQ(kt::pixel(p.hscroll_win, 35, 9), face) << attributes;
        kova_gclose(w);
    }
}

TEST_F(OpenTest, NamesAndClassHintsComeFromTheProgramOrThePendingNames)
{
    int w = kova_gopen(60, 40);
    EXPECT_STREQ(Pname, "test_open");
    EXPECT_EQ(prop(Pc[w].top_win, XA_WM_NAME), "test_open");
    EXPECT_EQ(prop(Pc[w].top_win, XA_WM_ICON_NAME), "test_open");
    EXPECT_EQ(class_hint(Pc[w].top_win), std::make_pair(std::string("test_open"), std::string("TEST_OPEN")));

    kova_gsetinitialwinname("store", "icon", "res", "Class");
    int n = kova_gopen(60, 40);
    EXPECT_EQ(prop(Pc[n].top_win, XA_WM_NAME), "store");
    EXPECT_EQ(prop(Pc[n].top_win, XA_WM_ICON_NAME), "icon");
    EXPECT_EQ(class_hint(Pc[n].top_win), std::make_pair(std::string("res"), std::string("Class")));

    kova_gsetinitialwinname(nullptr, "only-icon", nullptr, nullptr);
    int m = kova_gopen(60, 40);
    EXPECT_EQ(prop(Pc[m].top_win, XA_WM_NAME), "test_open");
    EXPECT_EQ(prop(Pc[m].top_win, XA_WM_ICON_NAME), "only-icon");
    EXPECT_EQ(class_hint(Pc[m].top_win).second, "TEST_OPEN");

    // Flushed by the call itself: no sync of the library's connection here.
    Window top = Pc[m].top_win;
    EXPECT_EQ(kova_winname(m, "run %d", 42), 6);
    EXPECT_TRUE(kt::eventually([&] {
        return prop(top, XA_WM_NAME) == "run 42" && prop(top, XA_WM_ICON_NAME) == "run 42";
    }));
    EXPECT_EQ(kova_winname(m, nullptr), -1);
    winname_(&m, "fortran");
    EXPECT_TRUE(kt::eventually([&] { return prop(top, XA_WM_NAME) == "fortran"; }));
}

TEST_F(OpenTest, BorderWidthColourAndGeometryPosition)
{
    plain_layout();
    kova_gsetinitialborder(4, "#ff0000");
    kova_gsetinitialgeometry("+50+40");
    int w = kova_gopen(100, 80);
    Window root = DefaultRootWindow(kt::dpy());
    XWindowAttributes a = attrs(Pc[w].top_win);
    EXPECT_EQ(a.border_width, 4);
    EXPECT_EQ(a.x, 50);
    EXPECT_EQ(a.y, 40);
    EXPECT_EQ(kt::pixel(root, 51, 41), get_color_pixel("#ff0000"));

    Window top = Pc[w].top_win;
    unsigned long green = get_color_pixel("#00ff00");
    kova_gsetborder(w, 2, "#00ff00");
    EXPECT_TRUE(kt::eventually([&] {
        return attrs(top).border_width == 2 && kt::pixel(root, 51, 41) == green;
    }));
    kova_gsetborder(w, -1, nullptr);
    XSync(Pc_dis, False);
    EXPECT_EQ(attrs(top).border_width, 2);

    // Measured from the right and bottom edges, border included; the
    // geometry's size does not change a plain window.
    kova_gsetinitialgeometry("300x300-10-20");
    int r = kova_gopen(100, 80);
    XWindowAttributes b = attrs(Pc[r].top_win);
    EXPECT_EQ(b.width, 100);
    EXPECT_EQ(b.height, 80);
    EXPECT_EQ(b.x, 1280 - 10 - 100 - 2 * 4);
    EXPECT_EQ(b.y, 1024 - 20 - 80 - 2 * 4);

    // The scrollbar layout's default border colour is the bar face.
    kova_gsetinitialattributes(KOVA_ATTR_SCROLLBARS, KOVA_ATTR_SCROLLBARS);
    free(Pc_bordercolor);
    Pc_bordercolor = nullptr;
    kova_gsetinitialgeometry("+300+300");
    int s = kova_gopen(100, 80);
    ASSERT_NE(Pc[s].top_win, Pc[s].draw_win);
    EXPECT_EQ(kt::pixel(root, 301, 301), get_color_pixel("#c0c0c0"));
}

TEST_F(OpenTest, DockIconAndOverrideRedirectUseThePlainLayout)
{
    kova_gsetinitialattributes(-1, KOVA_ATTR_DOCK_ICON);
    kova_gsetinitialwinname("docked", nullptr, nullptr, nullptr);
    int w = kova_gopen(64, 64);
    const pc_window &p = Pc[w];
    EXPECT_EQ(p.top_win, p.draw_win);
    ASSERT_NE(p.icon_win, 0u);
    XWMHints *h = XGetWMHints(kt::dpy(), p.top_win);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->flags & 0x5A, 0x5A);
    EXPECT_EQ(h->initial_state, WithdrawnState);
    EXPECT_EQ(h->icon_window, p.icon_win);
    EXPECT_EQ(h->window_group, p.top_win);
    XFree(h);
    EXPECT_EQ(prop(p.icon_win, XA_WM_NAME), "docked");
    EXPECT_EQ(class_hint(p.icon_win).second, "TEST_OPEN");

    kova_gsetinitialattributes(0, KOVA_ATTR_DOCK_ICON);
    kova_gsetinitialattributes(-1, KOVA_ATTR_OVERRIDE_REDIRECT);
    int o = kova_gopen(64, 64);
    EXPECT_EQ(Pc[o].top_win, Pc[o].draw_win);
    EXPECT_EQ(Pc[o].icon_win, 0u);
    EXPECT_TRUE(attrs(Pc[o].top_win).override_redirect);
    EXPECT_EQ(attrs(Pc[o].top_win).map_state, IsViewable);
}

// A window that is never exposed (here: placed off the screen) must not
// hold the open request.
TEST_F(OpenTest, OpenReturnsWhenTheWindowIsNeverExposed)
{
    plain_layout();
    kova_gsetinitialgeometry("+5000+5000");
    auto start = std::chrono::steady_clock::now();
    int w = kova_gopen(50, 50);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_EQ(attrs(Pc[w].top_win).x, 5000);
    // The window is still complete: layer 0 holds the background.
    EXPECT_EQ(kt::pixel(Pc[w].layers[0], 0, 0), Pc[w].bg_pixel);
}

TEST_F(OpenTest, InvalidCanvasSizesAreClampedWithAWarning)
{
    plain_layout();
    int w = -1;
    std::string err = kt::capture_stderr([&] { w = kova_gopen(0, -5); });
    EXPECT_EQ(err, "KOVA: [WARNING] Invalid window size 0x-5; using 1x1.\n");
    ASSERT_GE(w, 1);
    EXPECT_EQ(Pc[w].width, 1);
    EXPECT_EQ(attrs(Pc[w].top_win).width, 1);
}

} // namespace
