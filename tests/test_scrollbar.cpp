// kova-test-depths: 24 8
// The scrollbar module of the window child: its arithmetic without a
// display, then a real bar window driven with events and read back.
#include <gtest/gtest.h>

#include "_kova_scrollbar.h"
#include "xserver.hpp"

#include <X11/keysym.h>

#include <memory>
#include <string>

namespace {

// A bar record with only what the arithmetic reads filled in.
kova_scrollbar arithmetic_bar(int thickness, int length, int data, int view, int origin = 0)
{
    kova_scrollbar b{};
    b.thickness = thickness;
    b.length = length;
    b.shadow = 2;
    b.data_len = data;
    b.view_len = view;
    b.origin = origin;
    kova_scrollbar_geometry(&b);
    return b;
}

TEST(ScrollbarGeometry, ButtonsDropOutInPairsAsTheBarShortens)
{
    kova_scrollbar b = arithmetic_bar(19, 100, 100, 100);
    EXPECT_EQ(get_actual_shadow(&b), 2);
    EXPECT_EQ(b.button, 15);
    EXPECT_EQ(b.up1_pos, 2);
    EXPECT_EQ(b.up1_len, 15);
    EXPECT_EQ(b.down1_pos, 17);
    EXPECT_EQ(b.down1_len, 15);
    EXPECT_EQ(b.trough_pos, 32);
    EXPECT_EQ(b.trough_len, 36);
    EXPECT_EQ(b.up2_pos, 68);
    EXPECT_EQ(b.up2_len, 15);
    EXPECT_EQ(b.down2_pos, 83);
    EXPECT_EQ(b.down2_len, 15);

    b = arithmetic_bar(19, 70, 100, 100);
    EXPECT_EQ(b.up1_len, 15);
    EXPECT_EQ(b.down1_len, 0);
    EXPECT_EQ(b.trough_pos, 17);
    EXPECT_EQ(b.trough_len, 36);
    EXPECT_EQ(b.up2_len, 0);
    EXPECT_EQ(b.down2_pos, 53);
    EXPECT_EQ(b.down2_len, 15);

    b = arithmetic_bar(19, 60, 100, 100);
    EXPECT_EQ(b.up1_len + b.down1_len + b.up2_len + b.down2_len, 0);
    EXPECT_EQ(b.trough_pos, 2);
    EXPECT_EQ(b.trough_len, 56);
}

TEST(ScrollbarGeometry, ShadowShrinksToWhatFits)
{
    kova_scrollbar b = arithmetic_bar(4, 100, 10, 10);
    EXPECT_EQ(get_actual_shadow(&b), 1);
    b = arithmetic_bar(19, 4, 10, 10);
    EXPECT_EQ(get_actual_shadow(&b), 1);
    b = arithmetic_bar(2, 100, 10, 10);
    EXPECT_EQ(get_actual_shadow(&b), 0);
}

TEST(ScrollbarGeometry, ThumbFollowsTheOrigin)
{
    // Four buttons of 15 and a trough of 200.
    kova_scrollbar b = arithmetic_bar(19, 264, 1000, 100, 450);
    ASSERT_EQ(b.trough_len, 200);
    EXPECT_EQ(b.thumb_len, 20);
    EXPECT_EQ(b.thumb_pos, b.trough_pos + 90);
    b = arithmetic_bar(19, 264, 1000, 100, 900);
    EXPECT_EQ(b.thumb_pos + b.thumb_len, b.trough_pos + b.trough_len);

    // A tiny ratio still gets a thumb as long as a button ...
    b = arithmetic_bar(19, 264, 100000, 100);
    EXPECT_EQ(b.thumb_len, 15);
    // ... or, in a trough too short for that, a grip of 2s + 4.
    b = arithmetic_bar(19, 60, 100000, 100);
    EXPECT_EQ(b.thumb_len, 15);
    b = arithmetic_bar(19, 24, 100000, 100);
    ASSERT_EQ(b.trough_len, 20);
    EXPECT_EQ(b.thumb_len, 8);

    // Data that fits the view: the thumb fills the trough.
    b = arithmetic_bar(19, 100, 300, 300, 0);
    EXPECT_EQ(b.thumb_pos, b.trough_pos);
    EXPECT_EQ(b.thumb_len, b.trough_len);
    b = arithmetic_bar(19, 100, 100, 300, -100);
    EXPECT_EQ(b.thumb_pos, b.trough_pos);
    EXPECT_EQ(b.thumb_len, b.trough_len);
}

TEST(ScrollbarGeometry, NullRecordsAndEventsAreRefused)
{
    EXPECT_EQ(kova_scrollbar_init(nullptr, 0, nullptr, 0, nullptr, 0, 0, 0, 0, 1, 1, 2, 0, 0), -1);
    EXPECT_EQ(kova_scrollbar_update_data_params(nullptr, 1, 1, 0), -1);
    EXPECT_EQ(kova_scrollbar_update_key_mask(nullptr, 8), -1);
    EXPECT_EQ(kova_scrollbar_handle_event(nullptr, nullptr), -1);
    kova_scrollbar b = arithmetic_bar(19, 100, 1000, 100);
    EXPECT_EQ(kova_scrollbar_handle_event(&b, nullptr), -1);
    XEvent ev{};
    ev.type = ButtonPress;
    ev.xany.display = reinterpret_cast<Display *>(&b); // some other display
    EXPECT_EQ(kova_scrollbar_handle_event(&b, &ev), -1);
}

// Distinct pixel values, valid on every depth.
constexpr unsigned long face = 0x10, dark = 0x20, trough = 0x30, light = 0x40;

struct Image {
    XImage *img;
    explicit Image(Window w, int width, int height)
    {
        XSync(kt::dpy(), False);
        img = XGetImage(kt::dpy(), w, 0, 0, static_cast<unsigned>(width),
                        static_cast<unsigned>(height), AllPlanes, ZPixmap);
    }
    ~Image()
    {
        if (img)
            XDestroyImage(img);
    }
    Image(const Image &) = delete;
    Image &operator=(const Image &) = delete;
    unsigned long at(int x, int y) const { return XGetPixel(img, x, y); }
};

// A bar on a window of the test's own, filled with a colour no part of the
// bar uses so that every unpainted pixel shows.
struct RealBar : ::testing::Test {
    Display *d = nullptr;
    Window win = 0;
    GC gc = nullptr;
    kova_scrollbar bar{};
    int width = 0, height = 0;

    void make(int orientation, int w, int h, int data, int view)
    {
        d = kt::dpy();
        width = w;
        height = h;
        win = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, static_cast<unsigned>(w),
                                  static_cast<unsigned>(h), 0, 0, 0x55);
        XMapWindow(d, win);
        gc = XCreateGC(d, win, 0, nullptr);
        XSync(d, False);
        ASSERT_EQ(kova_scrollbar_init(&bar, orientation, d, win, gc, face, dark, trough, light,
                                      data, view, 2, 0, 0),
                  0);
        kova_scrollbar_draw(&bar);
    }
    void TearDown() override
    {
        if (gc)
            XFreeGC(d, gc);
        if (win)
            XDestroyWindow(d, win);
        if (d)
            XSync(d, False);
    }

    XEvent event(int type) const
    {
        XEvent ev{};
        ev.type = type;
        ev.xany.display = d;
        ev.xany.window = win;
        return ev;
    }
    // A press at position p along a vertical bar.
    int press(unsigned button, int p, int x = 9)
    {
        XEvent ev = event(ButtonPress);
        ev.xbutton.button = button;
        ev.xbutton.x = x;
        ev.xbutton.y = p;
        ev.xbutton.x_root = x;
        ev.xbutton.y_root = p;
        return kova_scrollbar_handle_event(&bar, &ev);
    }
    int release()
    {
        XEvent ev = event(ButtonRelease);
        return kova_scrollbar_handle_event(&bar, &ev);
    }
    int motion(int p, unsigned state, Window on = 0, int root_p = -1)
    {
        XEvent ev = event(MotionNotify);
        if (on)
            ev.xmotion.window = on;
        ev.xmotion.y = p;
        ev.xmotion.y_root = root_p < 0 ? p : root_p;
        ev.xmotion.state = state;
        return kova_scrollbar_handle_event(&bar, &ev);
    }
    int key(KeySym sym, unsigned state)
    {
        XEvent ev = event(KeyPress);
        ev.xkey.keycode = XKeysymToKeycode(d, sym);
        ev.xkey.state = state;
        return kova_scrollbar_handle_event(&bar, &ev);
    }
};

TEST_F(RealBar, ArrowsBevelsAndFillsOfAVerticalBar)
{
    make(KOVA_SCROLLBAR_VERTICAL, 19, 100, 1000, 100);
    ASSERT_EQ(bar.thickness, 19);
    ASSERT_EQ(bar.length, 100);
    Image im(win, 19, 100);
    ASSERT_NE(im.img, nullptr);

    // Every pixel belongs to the bar.
    for (int y = 0; y < 100; y++)
        for (int x = 0; x < 19; x++)
            ASSERT_NE(im.at(x, y), 0x55u) << x << "," << y;

    // The inside of the 15-pixel back button up1 (rows 2..16): strips of
    // 8, 6, 4 and 2 pixels in columns 9, 9 +- 1, 9 +- 2, 9 +- 3, all ending
    // at row 13, so that the point faces up.
    std::string up, down;
    for (int y = 4; y < 15; y++) {
        for (int x = 4; x < 15; x++)
            up += im.at(x, y) == dark ? '#' : im.at(x, y) == face ? '.' : '?';
        up += '\n';
    }
    EXPECT_EQ(up, "...........\n"
                  ".....#.....\n"
                  ".....#.....\n"
                  "....###....\n"
                  "....###....\n"
                  "...#####...\n"
                  "...#####...\n"
                  "..#######..\n"
                  "..#######..\n"
                  "...........\n"
                  "...........\n");
    // The forward button down1 (rows 17..31) points down.
    for (int y = 19; y < 30; y++) {
        for (int x = 4; x < 15; x++)
            down += im.at(x, y) == dark ? '#' : im.at(x, y) == face ? '.' : '?';
        down += '\n';
    }
    EXPECT_EQ(down, "...........\n"
                    "...........\n"
                    "..#######..\n"
                    "..#######..\n"
                    "...#####...\n"
                    "...#####...\n"
                    "....###....\n"
                    "....###....\n"
                    ".....#.....\n"
                    ".....#.....\n"
                    "...........\n");

    // The bar is sunken (dark top and left), buttons are raised, and the
    // light side takes the diagonal of a mitred corner.
    EXPECT_EQ(im.at(0, 0), dark);
    EXPECT_EQ(im.at(1, 1), dark);
    EXPECT_EQ(im.at(18, 0), light);
    EXPECT_EQ(im.at(17, 0), dark);
    EXPECT_EQ(im.at(18, 1), light);
    EXPECT_EQ(im.at(18, 99), light);
    EXPECT_EQ(im.at(0, 99), light);
    EXPECT_EQ(im.at(0, 98), dark);
    EXPECT_EQ(im.at(2, 2), light);  // up1, top-left
    EXPECT_EQ(im.at(3, 3), light);
    EXPECT_EQ(im.at(16, 16), dark); // up1, bottom-right
    EXPECT_EQ(im.at(15, 15), dark);
    EXPECT_EQ(im.at(16, 2), light);
    EXPECT_EQ(im.at(15, 2), light);
    EXPECT_EQ(im.at(16, 3), dark);

    // Trough: 32..67 across 2..16, around a thumb as long as a button
    // (data 1000, view 100, origin 450 puts it at 42).
    EXPECT_EQ(bar.thumb_len, 15);
    EXPECT_EQ(bar.thumb_pos, 42);
    EXPECT_EQ(im.at(2, 32), trough);
    EXPECT_EQ(im.at(16, 41), trough);
    EXPECT_EQ(im.at(16, 67), trough);
    EXPECT_EQ(im.at(9, 42), light);
    EXPECT_EQ(im.at(9, 56), dark);
    EXPECT_EQ(im.at(5, 49), face);
}

TEST_F(RealBar, AHorizontalBarIsTheVerticalOneTransposed)
{
    make(KOVA_SCROLLBAR_HORIZONTAL, 100, 19, 1000, 100);
    ASSERT_EQ(bar.thickness, 19);
    ASSERT_EQ(bar.length, 100);
    Image im(win, 100, 19);
    kova_scrollbar v{};
    v.thickness = 19;
    v.length = 100;
    v.shadow = 2;
    v.data_len = bar.data_len;
    v.view_len = bar.view_len;
    v.origin = bar.origin;
    kova_scrollbar_geometry(&v);
    EXPECT_EQ(v.thumb_pos, bar.thumb_pos);
    // The back button at the left points left: its 8-pixel strip is row 9.
    EXPECT_EQ(im.at(5, 9), dark);
    EXPECT_EQ(im.at(12, 9), dark);
    EXPECT_EQ(im.at(13, 9), face);
    EXPECT_EQ(im.at(11, 12), dark);
    EXPECT_EQ(im.at(10, 12), face);
    EXPECT_EQ(im.at(0, 0), dark);
    EXPECT_EQ(im.at(99, 18), light);
}

TEST_F(RealBar, ButtonsStepTheOriginAndShowThemselvesPressed)
{
    make(KOVA_SCROLLBAR_VERTICAL, 19, 100, 1000, 100);
    EXPECT_EQ(kova_scrollbar_get_cliporigin(&bar), 450);

    // Button 1 on a forward button: the small step, 4% of the view.
    EXPECT_EQ(press(Button1, 20), 1);
    EXPECT_EQ(bar.origin, 454);
    EXPECT_EQ(bar.down_pressed, 1);
    EXPECT_EQ(Image(win, 19, 100).at(2, 17), dark); // pressed look
    EXPECT_EQ(release(), 0);
    EXPECT_EQ(bar.down_pressed, 0);
    EXPECT_EQ(Image(win, 19, 100).at(2, 17), light);

    // Both back buttons; button 3 takes a tenth of the view.
    EXPECT_EQ(press(Button1, 70), 1);
    EXPECT_EQ(bar.origin, 450);
    EXPECT_EQ(press(Button3, 3), 1);
    EXPECT_EQ(bar.origin, 440);
    EXPECT_EQ(press(Button3, 90), 1);
    EXPECT_EQ(bar.origin, 450);

    // Wheel buttons scroll by a tenth of the view wherever they are.
    EXPECT_EQ(press(Button5, 50), 1);
    EXPECT_EQ(bar.origin, 460);
    EXPECT_EQ(press(Button4, 2), 1);
    EXPECT_EQ(bar.origin, 450);

    // The trough pages by the view.
    EXPECT_EQ(press(Button1, bar.trough_pos), 1);
    EXPECT_EQ(bar.origin, 350);
    EXPECT_EQ(press(Button2, bar.up2_pos - 1), 1);
    EXPECT_EQ(bar.origin, 450);
}

TEST_F(RealBar, AClickAtTheEndChangesNothing)
{
    make(KOVA_SCROLLBAR_VERTICAL, 19, 100, 1000, 100);
    kova_scrollbar_update_data_params(&bar, 1000, 100, 5000);
    EXPECT_EQ(bar.origin, 900);
    EXPECT_EQ(press(Button1, 20), 0);
    EXPECT_EQ(bar.origin, 900);
    // Not redrawn: the pressed look does not appear.
    EXPECT_EQ(Image(win, 19, 100).at(2, 17), light);
    EXPECT_EQ(press(Button5, 20), 0);
    EXPECT_EQ(release(), 0);
    EXPECT_EQ(Image(win, 19, 100).at(2, 17), light);

    kova_scrollbar_update_data_params(&bar, 1000, 100, -7);
    EXPECT_EQ(bar.origin, 0);
    EXPECT_EQ(press(Button1, 3), 0);
    EXPECT_EQ(press(Button4, 3), 0);
    EXPECT_EQ(bar.origin, 0);
}

TEST_F(RealBar, DataThatFitsTheViewNeverScrolls)
{
    make(KOVA_SCROLLBAR_VERTICAL, 19, 100, 200, 300);
    EXPECT_EQ(bar.origin, -50);
    kova_scrollbar_update_data_params(&bar, 200, 300, -50);
    EXPECT_EQ(bar.origin, -50);
    for (int p : {3, 20, 50, 70, 90}) {
        EXPECT_EQ(press(Button1, p), 0);
        EXPECT_EQ(press(Button4, p), 0);
    }
    EXPECT_EQ(key(XK_End, 0), 0);
    EXPECT_EQ(key(XK_Home, 0), 0);
    EXPECT_EQ(bar.origin, -50);
}

TEST_F(RealBar, ThumbDragsJumpsAndFollows)
{
    make(KOVA_SCROLLBAR_VERTICAL, 19, 264, 1000, 100);
    ASSERT_EQ(bar.trough_len, 200);
    bar.origin = 0;
    kova_scrollbar_draw(&bar);
    int t = bar.thumb_pos;

    // Button 1 held on the thumb: 18 pixels of the 180 the thumb can travel
    // are a tenth of the 900 the origin can.
    EXPECT_EQ(press(Button1, t + 5), 0);
    EXPECT_EQ(motion(t + 23, Button1Mask), 1);
    EXPECT_EQ(bar.origin, 90);
    // Without a held button nothing follows.
    EXPECT_EQ(motion(t + 60, 0), 0);
    EXPECT_EQ(bar.origin, 90);

    // Button 2 on the thumb puts its centre under the pointer.
    int centre = bar.thumb_pos + bar.thumb_len / 2;
    EXPECT_EQ(press(Button2, centre + 1), 1);
    EXPECT_EQ(bar.origin, 95);

    // Button 3 starts a drag that follows the pointer without a held
    // button, even across other windows (root coordinates); a second
    // button-3 press on the thumb ends it.
    int p = bar.thumb_pos + 2;
    EXPECT_EQ(press(Button3, p), 0);
    EXPECT_EQ(bar.dragging, 1);
    EXPECT_EQ(motion(p + 18, 0), 1);
    EXPECT_EQ(bar.origin, 185);
    EXPECT_EQ(motion(3, 0, DefaultRootWindow(d), p + 36), 1);
    EXPECT_EQ(bar.origin, 275);
    EXPECT_EQ(press(Button3, bar.thumb_pos + 1), 0);
    EXPECT_EQ(bar.dragging, 0);
    EXPECT_EQ(motion(bar.thumb_pos + 50, 0), 0);
    EXPECT_EQ(bar.origin, 275);
    // Any other press ends a drag too.
    EXPECT_EQ(press(Button3, bar.thumb_pos + 1), 0);
    EXPECT_EQ(bar.dragging, 1);
    XEvent elsewhere = event(ButtonPress);
    elsewhere.xbutton.window = DefaultRootWindow(d);
    elsewhere.xbutton.button = Button1;
    EXPECT_EQ(kova_scrollbar_handle_event(&bar, &elsewhere), 0);
    EXPECT_EQ(bar.dragging, 0);
    EXPECT_EQ(bar.drag_last, -1);
}

TEST_F(RealBar, KeysScrollOnlyWithTheKeyMaskHeld)
{
    make(KOVA_SCROLLBAR_VERTICAL, 19, 100, 1000, 100);
    EXPECT_EQ(key(XK_Down, 0), 1);
    EXPECT_EQ(bar.origin, 454);
    EXPECT_EQ(key(XK_Up, 0), 1);
    EXPECT_EQ(bar.origin, 450);

    kova_scrollbar_update_key_mask(&bar, Mod1Mask);
    EXPECT_EQ(key(XK_Down, 0), 0);
    EXPECT_EQ(key(XK_Next, ShiftMask), 0);
    EXPECT_EQ(bar.origin, 450);
    EXPECT_EQ(key(XK_Next, Mod1Mask | ShiftMask), 1);
    EXPECT_EQ(bar.origin, 550);
    EXPECT_EQ(key(XK_Prior, Mod1Mask), 1);
    EXPECT_EQ(bar.origin, 450);
    EXPECT_EQ(key(XK_End, Mod1Mask), 1);
    EXPECT_EQ(bar.origin, 900);
    EXPECT_EQ(key(XK_Home, Mod1Mask), 1);
    EXPECT_EQ(bar.origin, 0);
    // Left and right belong to the horizontal bar.
    EXPECT_EQ(key(XK_Right, Mod1Mask), 0);
    EXPECT_EQ(bar.origin, 0);

    // A view of 20: the small step is 0 for keys (a press still moves 1).
    kova_scrollbar_update_data_params(&bar, 1000, 20, 500);
    EXPECT_EQ(key(XK_Down, Mod1Mask), 0);
    EXPECT_EQ(press(Button1, 20), 1);
    EXPECT_EQ(bar.origin, 501);
}

TEST_F(RealBar, KeysOfAnotherWindowAreIgnored)
{
    make(KOVA_SCROLLBAR_HORIZONTAL, 100, 19, 1000, 100);
    bar.key_window = DefaultRootWindow(d);
    EXPECT_EQ(key(XK_Right, 0), 0);
    XEvent ev = event(KeyPress);
    ev.xkey.window = DefaultRootWindow(d);
    ev.xkey.keycode = XKeysymToKeycode(d, XK_Right);
    EXPECT_EQ(kova_scrollbar_handle_event(&bar, &ev), 1);
    EXPECT_EQ(bar.origin, 454);
    ev.xkey.keycode = XKeysymToKeycode(d, XK_KP_Left);
    EXPECT_EQ(kova_scrollbar_handle_event(&bar, &ev), 1);
    EXPECT_EQ(bar.origin, 450);
}

TEST_F(RealBar, ResizingTheBarWindowRedrawsAtTheNewSize)
{
    make(KOVA_SCROLLBAR_VERTICAL, 19, 100, 1000, 100);
    XResizeWindow(d, win, 19, 60);
    XEvent ev = event(ConfigureNotify);
    ev.xconfigure.window = win;
    ev.xconfigure.width = 19;
    ev.xconfigure.height = 60;
    EXPECT_EQ(kova_scrollbar_handle_event(&bar, &ev), 0);
    EXPECT_EQ(bar.length, 60);
    EXPECT_EQ(bar.up1_len, 0);
    Image im(win, 19, 60);
    EXPECT_EQ(im.at(0, 0), dark);
    EXPECT_EQ(im.at(18, 59), light);
    EXPECT_EQ(im.at(9, 5), bar.thumb_pos <= 5 && 5 < bar.thumb_pos + bar.thumb_len ? face : trough);
}

} // namespace
