// kova-test-depths: 24 16 8
// Windows as users have them: under a real window manager (openbox), made
// larger than their canvas by another client, and with their X connection
// killed.  Every map request of the library is counted on its way out.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"

#include <dlfcn.h>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

namespace {

std::map<Window, int> Map_requests;
Window Last_mapped = 0;

} // namespace

// Defined in the program, this stands before Xlib's XMapWindow for every
// caller, the library included, and passes each request on.
extern "C" int XMapWindow(Display *dis, Window win)
{
    using map_fn = int (*)(Display *, Window);
    static const auto real = reinterpret_cast<map_fn>(dlsym(RTLD_NEXT, "XMapWindow"));
    Map_requests[win]++;
    Last_mapped = win;
    return real(dis, win);
}

namespace {

Window parent_of(Window w, std::set<Window> *children = nullptr)
{
    Window root = 0, parent = 0, *kids = nullptr;
    unsigned n = 0;
    XQueryTree(kt::dpy(), w, &root, &parent, &kids, &n);
    if (children)
        children->insert(kids, kids + n);
    if (kids)
        XFree(kids);
    return parent;
}

// The window manager handles requests in order: once a window mapped now
// has its frame, every request made before it has been handled.
void window_manager_caught_up()
{
    XSync(Pc_dis, False);
    Display *d = kt::dpy();
    Window root = DefaultRootWindow(d);
    Window probe = XCreateSimpleWindow(d, root, 0, 0, 10, 10, 0, 0, 0);
    XMapWindow(d, probe);
    XSync(d, False);
    EXPECT_TRUE(kt::eventually([&] { return parent_of(probe) != root; }));
    XDestroyWindow(d, probe);
    XSync(d, False);
}

// A request to the window manager about a client window (EWMH).
void ask_window_manager(Window w, const char *message, std::vector<long> data)
{
    Display *d = kt::dpy();
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(d, message, False);
    ev.xclient.format = 32;
    for (size_t i = 0; i < data.size() && i < 5; i++)
        ev.xclient.data.l[i] = data[i];
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &ev);
    XSync(d, False);
}

// Standard error of a program that lost its connection: house-style lines
// and the test's own "cpid=" line only, never Xlib's.
void expect_house_style(const std::string &err)
{
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);)
        EXPECT_TRUE(line.rfind("KOVA: [", 0) == 0 || line.rfind("kova: [", 0) == 0 ||
                    line.rfind("cpid=", 0) == 0)
            << line;
}

bool child_gone(const std::string &err)
{
    size_t at = err.find("cpid=");
    auto pid = static_cast<pid_t>(at == std::string::npos ? 0 : std::atol(err.c_str() + at + 5));
    return pid > 0 && kt::eventually([&] { return !kt::process_alive(pid); });
}

// A program that opens a window, has cut() end its X connection and goes
// on drawing, or waits; however it ends, it says so in house style and
// leaves no child and no copy of the child behind.
kt::ChildResult lose_connection(const std::function<void(int)> &cut, bool drawing)
{
    auto before = kt::child_copies();
    auto r = kt::run_forked([&] {
        int wn = kova_gopen(200, 100);
        fprintf(stderr, "cpid=%ld\n", static_cast<long>(Cpid));
        XSync(Pc_dis, False);
        cut(wn);
        for (int i = 0;; i++) {
            if (!drawing) {
                kova_msleep(100);
                continue;
            }
            kova_drawline(wn, 0, 0, i % 100, 50);
            kova_gflush();
        }
    });
    EXPECT_TRUE(r.exited);
    expect_house_style(r.err);
    EXPECT_TRUE(child_gone(r.err));
    EXPECT_TRUE(kt::child_copies_left(before).empty());
    return r;
}

struct UnderAWindowManager : ::testing::Test {
    static std::unique_ptr<kt::WindowManager> wm;
    static void SetUpTestSuite() { wm = std::make_unique<kt::WindowManager>(); }
    static void TearDownTestSuite() { wm.reset(); }
    // A program forked by a test must not share this process's library.
    void TearDown() override { kova_gcloseall(); }
};
std::unique_ptr<kt::WindowManager> UnderAWindowManager::wm;

TEST_F(UnderAWindowManager, ADockIconWindowDocksAsOneDockApp)
{
    kt::OpenWindow w(64, 64, KOVA_ATTR_DOCK_ICON);
    window_manager_caught_up();
    const pc_window &r = w.rec();
    std::set<Window> docked;
    Window dock = parent_of(r.icon_win);
    EXPECT_NE(dock, DefaultRootWindow(kt::dpy()));
    parent_of(dock, &docked);
    EXPECT_EQ(docked, (std::set<Window>{r.top_win, r.icon_win}));
}

TEST_F(UnderAWindowManager, AScrollbarWindowFollowsAFrameResize)
{
    kt::OpenWindow w(600, 400);
    const pc_window &r = w.rec();
    window_manager_caught_up();
    // _NET_MOVERESIZE_WINDOW with width and height, from a pager.
    ask_window_manager(r.top_win, "_NET_MOVERESIZE_WINDOW",
                       {(1 << 10) | (1 << 11) | (2 << 12), 0, 0, 300, 200});
    // 300 x 200 around a 600 x 400 canvas: both bars and a 281 x 181 view.
    EXPECT_TRUE(kt::eventually([&] {
        XWindowAttributes c = kt::window_attributes(r.clip_win);
        return c.width == 281 && c.height == 181;
    }));
    XWindowAttributes v = kt::window_attributes(r.vscroll_win);
    XWindowAttributes h = kt::window_attributes(r.hscroll_win);
    EXPECT_EQ(std::vector<int>({v.x, v.y, v.width, v.height}), std::vector<int>({281, 0, 19, 181}));
    EXPECT_EQ(std::vector<int>({h.x, h.y, h.width, h.height}), std::vector<int>({0, 181, 281, 19}));
}

// The window asked for no close requests: the window manager kills its
// connection, the child sees the windows go and ends the waiting program.
TEST_F(UnderAWindowManager, ClosingAWindowThatTakesNoCloseRequestsEndsTheProgram)
{
    auto r = lose_connection([](int wn) {
        ask_window_manager(Pc[wn].top_win, "_NET_CLOSE_WINDOW", {CurrentTime, 2});
    }, false);
    EXPECT_EQ(r.code, 143) << r.err;
}

TEST(Opening, MapsEachWindowOnceAndTheTopLevelLast)
{
    for (int attributes : {0, KOVA_ATTR_DOCK_ICON, KOVA_ATTR_SCROLLBARS}) {
        Map_requests.clear();
        kt::OpenWindow w(300, 200, attributes);
        const pc_window &r = w.rec();
        std::map<Window, int> once;
        for (Window win : {r.top_win, r.clip_win, r.draw_win, r.hscroll_win, r.vscroll_win})
            if (win)
                once[win] = 1;
        EXPECT_EQ(Map_requests, once) << "attributes " << attributes;
        EXPECT_EQ(Last_mapped, r.top_win);
    }
    kova_gcloseall();
}

TEST(Repaint, AWindowLargerThanItsCanvasShowsTheBackgroundBeyondIt)
{
    kova_gsetinitialbgcolor("#0000ff");
    {
        kt::OpenWindow w(60, 40, 0);
        kova_newrgbcolor(w.wn(), 255, 0, 0);
        kova_fillrect(w.wn(), 10, 10, 30, 20);
        kova_newrgbcolor(w.wn(), 0, 255, 0);
        kova_drawline(w.wn(), 0, 0, 59, 39);
        std::vector<unsigned long> picture = kt::area(w.layer(), 0, 0, 60, 40);

        XResizeWindow(kt::dpy(), w.rec().top_win, 150, 100);
        XSync(kt::dpy(), False);
        sync_child(1); // the child has repainted the exposure
        std::vector<unsigned long> shown = kt::area(w.window(), 0, 0, 150, 100);
        ASSERT_EQ(shown.size(), 150u * 100u);
        size_t wrong_inside = 0, wrong_outside = 0;
        for (int y = 0; y < 100; y++)
            for (int x = 0; x < 150; x++) {
                unsigned long p = shown[static_cast<size_t>(y * 150 + x)];
                if (x < 60 && y < 40)
                    wrong_inside += p != picture[static_cast<size_t>(y * 60 + x)];
                else
                    wrong_outside += p != w.rec().bg_pixel;
            }
        EXPECT_EQ(wrong_inside, 0u);
        EXPECT_EQ(wrong_outside, 0u);
    }
    kova_gsetinitialbgcolor(nullptr);
    kova_gcloseall();
}

TEST(LostConnection, AConnectionKilledWhileDrawingEndsTheProgramInHouseStyle)
{
    auto r = lose_connection([](int) {
        Display *other = XOpenDisplay(nullptr);
        XKillClient(other, Pc_zwin);
        XSync(other, False);
    }, true);
    EXPECT_TRUE(r.code == 1 || r.code == 143) << r.code << r.err;
    if (r.code == 1) {
        EXPECT_NE(r.err.find("KOVA: [ERROR] The connection to the X server was lost.\n"),
                  std::string::npos);
    }
}

} // namespace
