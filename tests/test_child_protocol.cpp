// kova-test-depths: 24 16 8
// The window child driven through its command protocol, without the
// opening code: the test builds the windows with raw Xlib on the library's
// connection, announces them with commands 4-11 and 2, and reads the result
// back on its own connection.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "kova_protocol.h"
#include "drawing_check.hpp"

#include <X11/keysym.h>
#include <csignal>
#include <sys/wait.h>
#include <vector>

namespace {

struct WindowSet {
    int number = 0;
    Window top = 0, clip = 0, hscroll = 0, vscroll = 0, draw = 0, icon = 0;
    Pixmap layer = 0;
    int width = 0, height = 0; // canvas
};

unsigned long red() { return get_color_pixel("#ff0000"); }
unsigned long blue() { return get_color_pixel("#0000ff"); }
unsigned long green() { return get_color_pixel("#00ff00"); }
unsigned long black() { return get_color_pixel("#000000"); }

// Two round trips through the child: an event it forwarded to itself (a key
// to the top-level window) has been handled after the second.
void settle()
{
    sync_child(1);
    sync_child(1);
}

struct ChildProtocol : ::testing::Test {
    std::vector<WindowSet> sets;

    static void SetUpTestSuite()
    {
        if (display_setup() == 0)
            start_child();
    }
    static void TearDownTestSuite()
    {
        if (Cpid > 0) {
            pid_t pid = Cpid;
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
            Cpid = 0;
        }
    }
    void SetUp() override
    {
        ASSERT_NE(Pc_dis, nullptr);
        ASSERT_GT(Cpid, 0);
    }
    // Windows are dropped by the child before they are destroyed, as the
    // closing code does; otherwise the child would end the test process.
    void TearDown() override
    {
        for (const WindowSet &s : sets) {
            send_command_to_child(s.number, KOVA_CMD_UNMANAGE, 0, 0);
            sync_child(1);
            XDestroyWindow(Pc_dis, s.top);
            XFreePixmap(Pc_dis, s.layer);
        }
        XSync(Pc_dis, False);
        EXPECT_TRUE(kt::process_alive(Cpid));
    }

    // A layer of the canvas size: red left half, blue right half and a
    // 10 x 10 green square at the origin.
    Pixmap make_layer(Window on, int w, int h)
    {
        Pixmap p = XCreatePixmap(Pc_dis, on, static_cast<unsigned>(w), static_cast<unsigned>(h),
                                 static_cast<unsigned>(Pc_depth));
        GC gc = XCreateGC(Pc_dis, p, 0, nullptr);
        XSetForeground(Pc_dis, gc, red());
        XFillRectangle(Pc_dis, p, gc, 0, 0, static_cast<unsigned>(w / 2), static_cast<unsigned>(h));
        XSetForeground(Pc_dis, gc, blue());
        XFillRectangle(Pc_dis, p, gc, w / 2, 0, static_cast<unsigned>(w - w / 2), static_cast<unsigned>(h));
        XSetForeground(Pc_dis, gc, green());
        XFillRectangle(Pc_dis, p, gc, 0, 0, 10, 10);
        XFreeGC(Pc_dis, gc);
        return p;
    }

    WindowSet plain(int number, int w, int h)
    {
        WindowSet s;
        s.number = number;
        s.width = w;
        s.height = h;
        s.top = s.clip = s.draw = XX_CreateSimpleWindow(Pc_dis, RootWindow(Pc_dis, 0), 0, 0,
                                                        static_cast<unsigned>(w), static_cast<unsigned>(h),
                                                        0, 0, black());
        s.layer = make_layer(s.draw, w, h);
        XMapWindow(Pc_dis, s.top);
        return s;
    }

    // The scrollbar layout as the opening code builds it: bars start outside
    // the top-level window, the canvas at the viewport's origin.
    WindowSet scrolled(int number, int W, int H, int dw, int dh)
    {
        WindowSet s;
        s.number = number;
        s.width = dw;
        s.height = dh;
        Window root = RootWindow(Pc_dis, 0);
        auto u = [](int v) { return static_cast<unsigned>(v); };
        s.top = XX_CreateSimpleWindow(Pc_dis, root, 0, 0, u(W), u(H), 0, 0, get_color_pixel("#c0c0c0"));
        s.clip = XX_CreateSimpleWindow(Pc_dis, s.top, 0, 0, u(W), u(H), 0, 0, black());
        s.hscroll = XX_CreateSimpleWindow(Pc_dis, s.top, 0, -19, u(W), 19, 0, 0, get_color_pixel("#a3a3a3"));
        s.vscroll = XX_CreateSimpleWindow(Pc_dis, s.top, -19, 0, 19, u(H), 0, 0, get_color_pixel("#a3a3a3"));
        s.draw = XX_CreateSimpleWindow(Pc_dis, s.clip, 0, 0, u(dw), u(dh), 0, 0, black());
        s.layer = make_layer(s.draw, dw, dh);
        XMapWindow(Pc_dis, s.draw);
        XMapWindow(Pc_dis, s.clip);
        XMapWindow(Pc_dis, s.hscroll);
        XMapWindow(Pc_dis, s.vscroll);
        XMapWindow(Pc_dis, s.top);
        return s;
    }

    // Commands 4-11 for wire_number, 2 for the set's number, then a sync.
    void announce(const WindowSet &s, int y_upward = 1, int wire_number = -1)
    {
        int n = wire_number < 0 ? s.number : wire_number;
        send_command_to_child(n, KOVA_CMD_TOP_WIN, s.top, 0);
        send_command_to_child(n, KOVA_CMD_CLIP_WIN, s.clip, 0);
        send_command_to_child(n, KOVA_CMD_HSCROLL_WIN, s.hscroll, 0);
        send_command_to_child(n, KOVA_CMD_VSCROLL_WIN, s.vscroll, 0);
        send_command_to_child(n, KOVA_CMD_DRAW_WIN, s.draw, 0);
        send_command_to_child(n, KOVA_CMD_ICON_WIN, s.icon, 0);
        send_command_to_child(n, KOVA_CMD_Y_UPWARD, static_cast<unsigned long>(y_upward), 0);
        send_command_to_child(n, KOVA_CMD_SHOWN_PIXMAP, s.layer, 0);
        send_command_to_child(s.number, KOVA_CMD_MANAGE, 0, 0);
        sync_child(1);
        sets.push_back(s);
    }

    // Covers part of a window with one of the test's own and uncovers it.
    static void send_to(Window w, long mask, XEvent ev)
    {
        XSendEvent(kt::dpy(), w, False, mask, &ev);
        XSync(kt::dpy(), False);
    }

    static XEvent key(Window w, KeySym sym, unsigned state)
    {
        XEvent ev{};
        ev.xkey.type = KeyPress;
        ev.xkey.display = kt::dpy();
        ev.xkey.window = w;
        ev.xkey.root = DefaultRootWindow(kt::dpy());
        ev.xkey.keycode = XKeysymToKeycode(kt::dpy(), sym);
        ev.xkey.state = state;
        ev.xkey.same_screen = True;
        return ev;
    }

    static XEvent button(int type, Window w, unsigned b, int x, int y)
    {
        XEvent ev{};
        ev.xbutton.type = type;
        ev.xbutton.display = kt::dpy();
        ev.xbutton.window = w;
        ev.xbutton.root = DefaultRootWindow(kt::dpy());
        ev.xbutton.button = b;
        ev.xbutton.x = x;
        ev.xbutton.y = y;
        ev.xbutton.same_screen = True;
        return ev;
    }
};

TEST_F(ChildProtocol, UncoveredPartsAreRepaintedFromTheShownLayer)
{
    WindowSet s = plain(1, 120, 80);
    announce(s);
    // The library copies the layer itself; here the window stays black until
    // the child repaints an exposure.
    XClearWindow(Pc_dis, s.draw);
    XSync(Pc_dis, False);
    EXPECT_EQ(kt::pixel(s.draw, 100, 40), black());

    kt::cover_and_uncover(70, 30, 200, 20);
    EXPECT_TRUE(kt::eventually([&] { return kt::pixel(s.draw, 100, 40) == blue(); }));
    EXPECT_EQ(kt::pixel(s.draw, 70, 30), blue());
    EXPECT_EQ(kt::pixel(s.draw, 119, 49), blue());
    // Only the exposed rectangle: the rest stays as it was.
    EXPECT_EQ(kt::pixel(s.draw, 69, 40), black());
    EXPECT_EQ(kt::pixel(s.draw, 100, 29), black());
    EXPECT_EQ(kt::pixel(s.draw, 100, 50), black());

    // The tile starts at the window's origin.
    kt::cover_and_uncover(5, 5, 10, 10);
    EXPECT_TRUE(kt::eventually([&] { return kt::pixel(s.draw, 9, 9) == green(); }));
    EXPECT_EQ(kt::pixel(s.draw, 10, 10), red());
    EXPECT_EQ(kt::pixel(s.draw, 14, 5), red());
    EXPECT_EQ(kt::pixel(s.draw, 4, 4), black());

    // Command 11 changes the layer repaints come from.
    Pixmap other = XCreatePixmap(Pc_dis, s.draw, 120, 80, static_cast<unsigned>(Pc_depth));
    GC gc = XCreateGC(Pc_dis, other, 0, nullptr);
    XSetForeground(Pc_dis, gc, green());
    XFillRectangle(Pc_dis, other, gc, 0, 0, 120, 80);
    XFreeGC(Pc_dis, gc);
    send_command_to_child(1, KOVA_CMD_SHOWN_PIXMAP, other, 1);
    sync_child(1);
    kt::cover_and_uncover(30, 60, 40, 40);
    EXPECT_TRUE(kt::eventually([&] { return kt::pixel(s.draw, 50, 70) == green(); }));
    EXPECT_EQ(kt::pixel(s.draw, 100, 40), blue());
    send_command_to_child(1, KOVA_CMD_SHOWN_PIXMAP, s.layer, 0);
    sync_child(1);
    XFreePixmap(Pc_dis, other);
}

TEST_F(ChildProtocol, ALargerTopLevelWindowCentresTheCanvas)
{
    WindowSet s = scrolled(2, 400, 300, 200, 100);
    announce(s);
    XWindowAttributes d = kt::window_attributes(s.draw);
    EXPECT_EQ(d.x, 100);
    EXPECT_EQ(d.y, 100);
    XWindowAttributes c = kt::window_attributes(s.clip);
    EXPECT_EQ(c.width, 400);
    EXPECT_EQ(c.height, 300);
    // No bar is needed: both stay out of sight.
    XWindowAttributes v = kt::window_attributes(s.vscroll), h = kt::window_attributes(s.hscroll);
    EXPECT_EQ(v.x, -19);
    EXPECT_EQ(h.y, -19);
}

TEST_F(ChildProtocol, ShrinkingBelowTheCanvasBringsBothBars)
{
    WindowSet s = scrolled(3, 400, 300, 200, 100);
    announce(s);
    XResizeWindow(Pc_dis, s.top, 150, 80);
    XSync(Pc_dis, False);
    // 150 x 80 around a 200 x 100 canvas: both bars, a 131 x 61 viewport,
    // and the canvas point that was at the viewport's centre stays there.
    EXPECT_TRUE(kt::eventually([&] { return kt::window_attributes(s.clip).width == 131; }));
    settle();
    XWindowAttributes c = kt::window_attributes(s.clip), v = kt::window_attributes(s.vscroll), h = kt::window_attributes(s.hscroll), d = kt::window_attributes(s.draw);
    EXPECT_EQ(c.height, 61);
    EXPECT_EQ(v.x, 131);
    EXPECT_EQ(v.y, 0);
    EXPECT_EQ(v.width, 19);
    EXPECT_EQ(v.height, 61);
    EXPECT_EQ(h.x, 0);
    EXPECT_EQ(h.y, 61);
    EXPECT_EQ(h.width, 131);
    EXPECT_EQ(h.height, 19);
    EXPECT_EQ(d.x, -35);
    EXPECT_EQ(d.y, -20);

    // The bars are drawn: sunken, dark at the top left, light at the far end.
    unsigned long dark = get_color_pixel("#6f6f6f"), light = get_color_pixel("#e7e7e7");
    EXPECT_TRUE(kt::eventually([&] { return kt::pixel(s.vscroll, 0, 0) == dark; }));
    EXPECT_EQ(kt::pixel(s.vscroll, 18, 60), light);
    EXPECT_EQ(kt::pixel(s.hscroll, 0, 0), dark);
    EXPECT_EQ(kt::pixel(s.hscroll, 130, 18), light);

    // The wheel over the vertical bar scrolls by a tenth of the view.
    send_to(s.vscroll, ButtonPressMask, button(ButtonPress, s.vscroll, Button5, 9, 30));
    EXPECT_TRUE(kt::eventually([&] { return kt::window_attributes(s.draw).y == -26; }));
    // A forward button of the horizontal bar: 4% of the view, at least 1.
    send_to(s.hscroll, ButtonPressMask, button(ButtonPress, s.hscroll, Button1, 20, 9));
    EXPECT_TRUE(kt::eventually([&] { return kt::window_attributes(s.draw).x == -40; }));
    send_to(s.hscroll, ButtonReleaseMask, button(ButtonRelease, s.hscroll, Button1, 20, 9));

    // Enlarging again keeps the viewport's centre point until the canvas
    // fits, and then centres it.
    XResizeWindow(Pc_dis, s.top, 170, 90);
    XSync(Pc_dis, False);
    EXPECT_TRUE(kt::eventually([&] { return kt::window_attributes(s.clip).width == 151; }));
    settle();
    EXPECT_EQ(kt::window_attributes(s.draw).x, -30);
    XResizeWindow(Pc_dis, s.top, 400, 300);
    XSync(Pc_dis, False);
    EXPECT_TRUE(kt::eventually([&] { return kt::window_attributes(s.draw).x == 100 && kt::window_attributes(s.draw).y == 100; }));
    EXPECT_EQ(kt::window_attributes(s.vscroll).x, -19);
    EXPECT_EQ(kt::window_attributes(s.hscroll).y, -19);
}

TEST_F(ChildProtocol, KeysReachTheBarsThroughTheTopLevelWindowUnderTheKeyMask)
{
    WindowSet s = scrolled(4, 150, 80, 200, 100);
    announce(s);
    int y0 = kt::window_attributes(s.draw).y;
    // Key mask 0 until command 12: a plain Down on the drawing window is
    // forwarded to the top-level window and scrolls by 4% of the view.
    send_to(s.draw, KeyPressMask, key(s.draw, XK_Down, 0));
    settle();
    EXPECT_EQ(kt::window_attributes(s.draw).y, y0 - 2);

    send_command_to_child(4, KOVA_CMD_KEY_MASK, Mod1Mask, 0);
    sync_child(0); // before keys sent over another connection
    send_to(s.draw, KeyPressMask, key(s.draw, XK_Down, 0));
    send_to(s.clip, KeyPressMask, key(s.clip, XK_Down, ShiftMask));
    settle();
    EXPECT_EQ(kt::window_attributes(s.draw).y, y0 - 2);
    send_to(s.clip, KeyPressMask, key(s.clip, XK_Home, Mod1Mask));
    send_to(s.draw, KeyPressMask, key(s.draw, XK_End, Mod1Mask));
    send_to(s.draw, KeyPressMask, key(s.draw, XK_Right, Mod1Mask));
    settle();
    XWindowAttributes d = kt::window_attributes(s.draw);
    EXPECT_EQ(d.y, -(100 - 61));
    // The first layout left the canvas at x = 0; Right moves 4% of 131.
    EXPECT_EQ(d.x, -5);
}

TEST_F(ChildProtocol, ButtonsOnTheDrawingWindowArriveAtTheCommandWindow)
{
    WindowSet s = plain(5, 60, 40);
    announce(s);
    Display *d = kt::dpy();
    XSelectInput(d, Pc_zwin, ButtonPressMask | ButtonReleaseMask);
    XSync(d, False);
    auto forwarded = [&](int type) {
        sync_child(1);
        XSync(d, False);
        XEvent ev{};
        if (!XCheckTypedEvent(d, type, &ev))
            ev.type = 0;
        return ev;
    };

    send_to(s.draw, ButtonPressMask, button(ButtonPress, s.draw, Button3, 7, 9));
    XEvent ev = forwarded(ButtonPress);
    ASSERT_EQ(ev.type, ButtonPress);
    EXPECT_EQ(ev.xbutton.window, s.draw);
    EXPECT_EQ(ev.xbutton.button, static_cast<unsigned>(Button3));
    EXPECT_EQ(ev.xbutton.x, 7);
    EXPECT_EQ(ev.xbutton.y, 9);
    send_to(s.draw, ButtonReleaseMask, button(ButtonRelease, s.draw, Button3, 7, 9));
    EXPECT_EQ(forwarded(ButtonRelease).type, ButtonRelease);

    // Command 14 hands the buttons over: the child forwards nothing and the
    // library may select them itself (the server allows one client).
    send_command_to_child(0, KOVA_CMD_GIVE_BUTTONS, 0, 0);
    sync_child(0);
    send_to(s.draw, ButtonPressMask, button(ButtonPress, s.draw, Button1, 1, 1));
    EXPECT_EQ(forwarded(ButtonPress).type, 0);
    XSelectInput(Pc_dis, s.draw, ButtonPressMask);
    XSync(Pc_dis, False);
    XSelectInput(Pc_dis, s.draw, 0);
    XSync(Pc_dis, False);

    // Command 13 takes them back.
    send_command_to_child(0, KOVA_CMD_TAKE_BUTTONS, 0, 0);
    sync_child(0);
    send_to(s.draw, ButtonPressMask, button(ButtonPress, s.draw, Button2, 3, 4));
    ev = forwarded(ButtonPress);
    EXPECT_EQ(ev.type, ButtonPress);
    EXPECT_EQ(ev.xbutton.button, static_cast<unsigned>(Button2));

    XSelectInput(d, Pc_zwin, 0);
    XSync(d, False);
}

TEST_F(ChildProtocol, WindowNumbersTravelModulo256)
{
    // Commands 4-11 for window 259 fill the child's record 3; command 2 for
    // window 3 then manages the window they describe.
    WindowSet s = scrolled(3, 300, 200, 100, 50);
    announce(s, 1, 256 + 3);
    EXPECT_EQ(kt::window_attributes(s.draw).x, 100);
    EXPECT_EQ(kt::window_attributes(s.draw).y, 75);
    // Command 3 for window 515 drops record 3: destroying the windows then
    // is no business of the child's, and this process lives on.
    send_command_to_child(512 + 3, KOVA_CMD_UNMANAGE, 0, 0);
    sync_child(1);
    sets.clear();
    XDestroyWindow(Pc_dis, s.top);
    XFreePixmap(Pc_dis, s.layer);
    XSync(Pc_dis, False);
    settle();
    EXPECT_TRUE(kt::process_alive(Cpid));
}

TEST_F(ChildProtocol, AGrowingCanvasKeepsItsBottomEdgeWithTheYAxisUpward)
{
    for (int y_upward : {1, 0}) {
        WindowSet s = scrolled(6 + y_upward, 200, 150, 300, 400);
        announce(s, y_upward);
        XWindowAttributes before = kt::window_attributes(s.draw);
        EXPECT_EQ(before.y, 0); // the first layout shows the canvas's top
        // The library resizes the drawing window (its layers resized).
        XResizeWindow(Pc_dis, s.draw, 300, 500);
        XSync(Pc_dis, False);
        settle();
        XWindowAttributes after = kt::window_attributes(s.draw);
        if (y_upward)
            EXPECT_EQ(after.y + 500, before.y + 400);
        else
            EXPECT_EQ(after.y, before.y);
        EXPECT_EQ(kt::window_attributes(s.vscroll).height, 131);
    }
}

TEST_F(ChildProtocol, ACanvasThatShrinksIntoTheViewIsCentred)
{
    WindowSet s = scrolled(8, 200, 150, 300, 400);
    announce(s);
    XResizeWindow(Pc_dis, s.draw, 100, 60);
    XSync(Pc_dis, False);
    settle();
    XWindowAttributes d = kt::window_attributes(s.draw);
    EXPECT_EQ(d.x, 50);
    EXPECT_EQ(d.y, 45);
    EXPECT_EQ(kt::window_attributes(s.vscroll).x, -19);
    EXPECT_EQ(kt::window_attributes(s.clip).width, 200);
}

} // namespace
