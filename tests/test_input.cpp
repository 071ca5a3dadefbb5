// Keys, clicks and pointer movement, typed and clicked through XTEST on the
// private server as a user's hands would, in blocking and non-blocking mode.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "xserver.hpp"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cfloat>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern "C" {
void ggetch_(int *key);
void inkeydollar_(int *key);
void ggetxpress_(int *wn, int *type, int *code, float *x, float *y);
void ggetevent_(int *wn, int *type, int *code, float *x, float *y);
void gsetscrollbarkeymask_(int *wn, int *mask);
void gsetcloseevent_(int *wn, int *on);
}

namespace {

const char No_window[] = "KOVA: [WARNING] No window is open to read input from.\n";

// A forked run that ended by itself with status 0 and said nothing.
void expect_clean(const kt::ChildResult &r)
{
    EXPECT_TRUE(r.exited && !r.timed_out);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
}

struct InputTest : ::testing::Test {
    void TearDown() override
    {
        kova_gcloseall();
        kova_gsetnonblock(0);
        kova_gsetinitialgeometry(nullptr);
        kova_gsetinitialattributes(KOVA_ATTR_SCROLLBARS | KOVA_ATTR_Y_UP, -1);
    }
};

// Checks inside forked runs report on standard error, which must stay empty.
template <class A, class B>
void expect(const A &got, const B &want, const char *what)
{
    if (got == want)
        return;
    std::ostringstream o;
    o << "FAIL " << what << ": got " << got << ", want " << want << "\n";
    fputs(o.str().c_str(), stderr);
}

void expect_near(double got, double want, const char *what)
{
    if (std::fabs(got - want) > 1e-9)
        expect(got, want, what);
}

// The user's hands, on a connection of their own.  In the library's own
// process they first make a round trip on the library's connection, so that
// what it has asked for (an input selection still in its buffer) reaches
// the server before the hands act: two connections are not ordered.  Hands
// in a forked helper must leave that connection alone.
struct Hands {
    Display *d;
    bool library_first = true;
    void order() const
    {
        if (library_first && Pc_dis)
            XSync(Pc_dis, False);
    }
    void move(XPoint p)
    {
        order();
        XTestFakeMotionEvent(d, DefaultScreen(d), p.x, p.y, CurrentTime);
        XSync(d, False);
    }
    void button(unsigned int b, bool down)
    {
        order();
        XTestFakeButtonEvent(d, b, down, CurrentTime);
        XSync(d, False);
    }
    void click(unsigned int b)
    {
        button(b, true);
        button(b, false);
    }
    void key(KeySym sym, bool down)
    {
        order();
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), down, CurrentTime);
        XSync(d, False);
    }
    void type(KeySym sym, KeySym held = NoSymbol)
    {
        if (held != NoSymbol)
            key(held, true);
        key(sym, true);
        key(sym, false);
        if (held != NoSymbol)
            key(held, false);
    }
};

// The root position of point (x, y) of window w.
XPoint on_root(Window w, int x, int y)
{
    Display *d = kt::dpy();
    Window child;
    int rx, ry;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), x, y, &rx, &ry, &child);
    return {static_cast<short>(rx), static_cast<short>(ry)};
}

const XPoint Nowhere = {600, 500};

long all_masks(Display *d, Window w)
{
    XWindowAttributes a;
    return XGetWindowAttributes(d, w, &a) ? a.all_event_masks : 0;
}

// Hands in a process of their own, for while this one waits inside a
// blocking call: they start once some client selects mask on w.
class Driver {
  public:
    Driver(Window w, long mask, const std::function<void(Hands &)> &act,
           const std::string &display = kt::display_name())
    {
        pid_ = fork();
        if (pid_ != 0)
            return;
        Display *d = XOpenDisplay(display.c_str());
        bool ready = d && kt::eventually([&] { return (all_masks(d, w) & mask) == mask; });
        if (ready) {
            Hands h{d, false};
            act(h);
        }
        _exit(ready ? 0 : 3);
    }
    ~Driver() { join(); }
    Driver(const Driver &) = delete;
    Driver &operator=(const Driver &) = delete;
    // 0 when the hands did their work.
    int join()
    {
        if (pid_ <= 0)
            return code_;
        int status = 0;
        if (!kt::eventually([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 10000)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return code_;
    }

  private:
    pid_t pid_ = -1;
    int code_ = -1;
};

// The next key in non-blocking mode, -1 when none comes within 3 s.
int next_key()
{
    int k = -1;
    kt::eventually([&] { return (k = kova_ggetch()) != -1; }, 3000);
    return k;
}

struct Report {
    int wn = -1, type = -1, code = -1;
    double x = 0, y = 0;
};

Report event_now()
{
    Report r;
    r.wn = kova_ggetevent(&r.type, &r.code, &r.x, &r.y);
    return r;
}

void expect_report(const Report &r, int wn, int type, int code, const char *what)
{
    std::string w(what);
    expect(r.wn, wn, (w + ": window").c_str());
    expect(r.type, type, (w + ": type").c_str());
    expect(r.code, code, (w + ": code").c_str());
}

TEST_F(InputTest, WithoutWindowsEveryCallWarnsAndReturnsAtOnce)
{
    auto r = kt::run_forked([] {
        int type = 5, code = 6, wn = 7, key = 8;
        double x = 9, y = 9;
        float fx = 9, fy = 9;
        expect(kova_ggetch(), -1, "ggetch before any open");
        expect(kova_ggetxpress(&type, &code, &x, &y), -1, "ggetxpress");
        expect(type + code, 11, "double outputs left alone");
        expect(kova_ggeteventf(&type, &code, &fx, &fy), -1, "ggeteventf");
        expect(type + code, -2, "float variant: type and code -1");
        expect(fx + fy, 0.0f, "float variant: position 0");
        fx = fy = 9;
        ggetxpress_(&wn, &type, &code, &fx, &fy);
        expect(wn, -1, "ggetxpress_");
        expect(fx + fy + static_cast<float>(type + code), -2.0f, "twin's outputs defined");
        kova_gclose(kova_gopen(40, 40));
        kova_gcloseall();
        expect(kova_ggetevent(nullptr, nullptr, nullptr, nullptr), -1, "after close-all");
        inkeydollar_(&key);
        expect(key, -1, "inkeydollar_");
    });
    EXPECT_TRUE(r.exited && !r.timed_out);
    EXPECT_EQ(r.code, 0);
    std::string six;
    for (int i = 0; i < 6; i++)
        six += No_window;
    EXPECT_EQ(r.err, six);
}

TEST_F(InputTest, KeysGiveTheTableCodesAndEmptyPollsReturnAtOnce)
{
    kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
    kova_gsetnonblock(1);
    int w = kova_gopen(80, 60);
    Hands h{kt::dpy()};
    h.move(on_root(Pc[w].draw_win, 40, 30));
    kt::eventually([] { return kova_ggetch() == -1; });
    unsigned long before = XNextRequest(Pc_dis);
    EXPECT_EQ(kova_ggetch(), -1);
    EXPECT_EQ(XNextRequest(Pc_dis), before) << "an empty poll sends nothing";

    const struct {
        KeySym sym, held;
        int code;
    } keys[] = {
        {XK_a, NoSymbol, 'a'},     {XK_z, XK_Shift_L, 'Z'},   {XK_7, NoSymbol, '7'},
        {XK_Return, NoSymbol, 13}, {XK_Escape, NoSymbol, 27}, {XK_Pause, NoSymbol, 3},
        {XK_KP_Delete, NoSymbol, 127}, {XK_Home, NoSymbol, 1}, {XK_Next, NoSymbol, 6},
        // No scrollbars to take it: reported with Alt held too.
        {XK_Left, XK_Alt_L, 29},
    };
    for (const auto &k : keys) {
        h.type(k.sym, k.held);
        EXPECT_EQ(next_key(), k.code) << XKeysymToString(k.sym);
    }
    // A lone Shift gives no text and is not reported.
    h.type(XK_Shift_L);
    h.type(XK_q);
    EXPECT_EQ(next_key(), 'q');
    // Keys report their window and no position; the Fortran twin the same.
    h.type(XK_b);
    Report r;
    r.x = r.y = 5;
    kt::eventually([&] { return (r.wn = kova_ggetxpress(&r.type, &r.code, &r.x, &r.y)) == w && r.type == 2; });
    EXPECT_EQ(r.code, 'b');
    EXPECT_EQ(r.x + r.y, 0.0);
    h.type(XK_c);
    int key = -1;
    kt::eventually([&] { return ggetch_(&key), key != -1; });
    EXPECT_EQ(key, 'c');

    // A click far beyond what a float holds gets the largest float.
    kova_window(w, -1e300, -1e300, 1e300, 1e300);
    h.click(1);
    int type = -1, code = -1;
    float fx = 0, fy = 0;
    kt::eventually([&] { return kova_ggetxpressf(&type, &code, &fx, &fy) == w && type == 4; });
    EXPECT_EQ(fx, FLT_MAX);
    EXPECT_EQ(fy, -FLT_MAX);

    // A new connection after close-all: empty polls there see new keys too.
    kova_gcloseall();
    w = kova_gopen(80, 60);
    EXPECT_EQ(kova_ggetch(), -1);
    h.move(on_root(Pc[w].draw_win, 40, 30));
    h.type(XK_d);
    EXPECT_EQ(next_key(), 'd');
}

TEST_F(InputTest, NavigationKeysFollowTheScrollbarKeyMask)
{
    kova_gsetnonblock(1);
    kova_gsetinitialgeometry("120x90+0+0");
    int s = kova_gopen(300, 200); // larger than its viewport: the bars show
    Hands h{kt::dpy()};
    h.move(on_root(Pc[s].clip_win, 30, 30));
    EXPECT_EQ(Pc[s].scrollbar_key_mask, Mod1Mask);
    h.type(XK_Left, XK_Alt_L);
    h.type(XK_z);
    EXPECT_EQ(next_key(), 'z') << "Alt+Left belongs to the scrollbars";
    h.type(XK_Left);
    EXPECT_EQ(next_key(), 29);
    h.type(XK_KP_Up);
    EXPECT_EQ(next_key(), 30);

    // Mask 0: the navigation keys always scroll, and reach the child.
    XWindowAttributes a;
    XGetWindowAttributes(kt::dpy(), Pc[s].draw_win, &a);
    int x_before = a.x;
    kova_gsetscrollbarkeymask(s, 0);
    EXPECT_EQ(Pc[s].scrollbar_key_mask, 0);
    // The command and the hands' keys travel on different connections.
    sync_child(0);
    h.type(XK_Right);
    h.type(XK_Home, XK_Alt_L);
    h.type(XK_z);
    EXPECT_EQ(next_key(), 'z');
    EXPECT_TRUE(kt::eventually([&] {
        XGetWindowAttributes(kt::dpy(), Pc[s].draw_win, &a);
        return a.x != x_before;
    })) << "the child scrolled with the new mask";
    h.type(XK_Pause);
    EXPECT_EQ(next_key(), 3);
    h.type(XK_KP_Delete);
    EXPECT_EQ(next_key(), 127);

    // A window without scrollbars: nothing stored, nothing sent.
    kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
    int p = kova_gopen(50, 50);
    unsigned long before = XNextRequest(Pc_dis);
    std::string err = kt::capture_stderr([&] {
        kova_gsetscrollbarkeymask(p, 0);
        int mask = ShiftMask;
        gsetscrollbarkeymask_(&p, &mask);
    });
    EXPECT_EQ(XNextRequest(Pc_dis), before);
    EXPECT_EQ(Pc[p].scrollbar_key_mask, Mod1Mask);
    EXPECT_EQ(err, "");
}

// A click at point (x, y) of window w, made while call waits for it.
Report click_during(Window w, int x, int y, unsigned int button,
                    const std::function<Report()> &call)
{
    XPoint p = on_root(w, x, y);
    Driver d(Pc_zwin, ButtonPressMask, [=](Hands &h) {
        h.move(p);
        h.click(button);
    });
    Report r = call();
    expect(d.join(), 0, "hands");
    return r;
}

Report xpress()
{
    Report r;
    r.wn = kova_ggetxpress(&r.type, &r.code, &r.x, &r.y);
    return r;
}

TEST_F(InputTest, BlockingClicksReportUserCoordinates)
{
    auto r = kt::run_forked([] {
        kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
        kova_gsetinitialgeometry("+0+0");
        int a = kova_gopen(120, 90);
        kova_window(a, -1.0, 10.0, 1.0, 20.0);
        kova_gsetinitialgeometry("+200+0");
        int b = kova_gopen(120, 90);
        kova_coordinate(b, 30, 20, 5.0, -3.0, 10.0, 4.0);
        kova_gsetinitialattributes(-1, KOVA_ATTR_SCROLLBARS);
        kova_gsetinitialgeometry("150x100+0+200");
        int s = kova_gopen(400, 300);

        // The bottom row of a y-up window is user_y0; the top right corner
        // is the other edge.
        Report c = click_during(Pc[a].draw_win, 0, 89, 1, xpress);
        expect_report(c, a, 4, 1, "bottom-left click");
        expect(c.x, -1.0, "left edge");
        expect(c.y, 10.0, "bottom row");
        c = click_during(Pc[a].draw_win, 119, 0, 3, xpress);
        expect_report(c, a, 4, 3, "top-right click");
        expect_near(c.x, 1.0, "right edge");
        expect_near(c.y, 20.0, "top row");

        // The reference point of a mapped system, 20 pixels up from the
        // bottom row, and one scale step beside it; float variant and twin.
        c = click_during(Pc[b].draw_win, 30, 69, 2, [] {
            Report f;
            float fx, fy;
            f.wn = kova_ggetxpressf(&f.type, &f.code, &fx, &fy);
            f.x = fx, f.y = fy;
            return f;
        });
        expect_report(c, b, 4, 2, "mapped click");
        expect(c.x, 5.0, "reference x");
        expect(c.y, -3.0, "reference y");
        c = click_during(Pc[b].draw_win, 40, 65, 1, [] {
            Report f;
            float fx, fy;
            ggetxpress_(&f.wn, &f.type, &f.code, &fx, &fy);
            f.x = fx, f.y = fy;
            return f;
        });
        expect_report(c, b, 4, 1, "twin's click");
        expect(c.x, 6.0, "one unit right");
        expect(c.y, -2.0, "one unit up");

        // A scrolled canvas (the wheel over both bars): canvas pixels, not
        // viewport ones.
        Display *d = kt::dpy();
        Hands h{d};
        for (Window bar : {Pc[s].vscroll_win, Pc[s].hscroll_win}) {
            h.move(on_root(bar, 9, 9));
            h.click(5);
        }
        Window child;
        int px, py;
        kt::eventually([&] {
            XTranslateCoordinates(d, Pc[s].clip_win, Pc[s].draw_win, 20, 20, &px, &py, &child);
            return px != 20 && py != 20;
        });
        expect(px != 20 && py != 20, true, "canvas scrolled");
        c = click_during(Pc[s].clip_win, 20, 20, 1, xpress);
        expect_report(c, s, 4, 1, "scrolled click");
        expect(c.x, static_cast<double>(px), "canvas x");
        expect(c.y, static_cast<double>(299 - py), "canvas y");
    });
    expect_clean(r);
}

TEST_F(InputTest, BlockingGetEventFollowsThePointer)
{
    auto r = kt::run_forked([] {
        kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
        kova_gsetinitialgeometry("100x80+0+0");
        int a = kova_gopen(100, 80);
        kova_gsetinitialgeometry("100x80+300+0");
        int b = kova_gopen(100, 80);
        Hands h{kt::dpy()};
        h.move(Nowhere);
        auto key_during_call = [](int wn, KeySym sym) {
            Driver d(Pc[wn].top_win, KeyPressMask, [sym](Hands &k) { k.type(sym); });
            Report e = event_now();
            expect(d.join(), 0, "hands");
            return e;
        };

        h.move(on_root(Pc[a].draw_win, 30, 20));
        Report e = event_now();
        expect_report(e, a, 7, 0, "enter a");
        expect(e.x, 30.0, "enter x");
        expect(e.y, 59.0, "enter y");
        expect(Pc_evrec_wid, a, "recorded window");

        // Resting pointer: the next call waits for a real event.
        expect_report(key_during_call(a, XK_k), a, 2, 'k', "waits for the key");
        // Out and back between calls: nothing stale comes back.
        h.move(Nowhere);
        h.move(on_root(Pc[a].draw_win, 30, 20));
        expect_report(key_during_call(a, XK_j), a, 2, 'j', "no stale crossing");

        h.move(on_root(Pc[b].draw_win, 40, 40));
        expect_report(event_now(), a, 8, 0, "leave a first");
        expect_report(event_now(), b, 7, 0, "then enter b");
        h.move(on_root(Pc[b].draw_win, 50, 45));
        e = event_now();
        expect_report(e, b, 6, 0, "move in b");
        expect(e.x, 50.0, "motion x");
        expect(e.y, 34.0, "motion y");

        // Press, drag with the button held, release.
        h.button(1, true);
        sync_child(0);
        expect_report(event_now(), b, 4, 1, "press");
        expect(Pc_evrec_button_mask, static_cast<int>(Button1Mask), "button recorded");
        h.move(on_root(Pc[b].draw_win, 60, 50));
        expect_report(event_now(), b, 6, 1, "drag");
        h.button(1, false);
        sync_child(0);
        expect_report(key_during_call(b, XK_r), b, 2, 'r', "release not reported");
        expect(Pc_evrec_button_mask, 0, "release recorded");

        h.move(Nowhere);
        expect_report(event_now(), b, 8, 0, "leave to no window");
        expect(Pc_evrec_wid, -1, "in no window");
        h.move(on_root(Pc[b].draw_win, 10, 10));
        int wn = -1, type = -1, code = -1;
        float fx, fy;
        ggetevent_(&wn, &type, &code, &fx, &fy);
        expect(wn * 100 + type, b * 100 + 7, "twin's enter");
        kova_gclose(b);
        expect(Pc_evrec_wid, -1, "closing forgets the window");
    });
    expect_clean(r);
}

TEST_F(InputTest, NonBlockingInputWithTheChildAlive)
{
    auto r = kt::run_forked([] {
        kova_gsetnonblock(1);
        kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
        kova_gsetinitialgeometry("+0+0");
        int p = kova_gopen(80, 60);
        kova_gsetinitialattributes(-1, KOVA_ATTR_SCROLLBARS);
        kova_gsetinitialgeometry("+200+0");
        int s = kova_gopen(120, 90);
        Hands h{kt::dpy()};
        // The first report of this type; one move sends an enter and a
        // motion together, so what follows it is dropped.
        auto next = [](int type) {
            Report e;
            kt::eventually([&] { return (e.wn = kova_ggetevent(&e.type, &e.code, &e.x, &e.y)) >= 0 && e.type == type; }, 3000);
            while (kova_ggetevent(nullptr, nullptr, nullptr, nullptr) >= 0)
                ;
            return e;
        };
        h.move(Nowhere);
        while (kova_ggetevent(nullptr, nullptr, nullptr, nullptr) >= 0)
            ;

        h.move(on_root(Pc[p].draw_win, 10, 10));
        expect_report(next(7), p, 7, 0, "enter");
        h.move(on_root(Pc[p].draw_win, 20, 10));
        Report e = next(6);
        expect_report(e, p, 6, 0, "motion");
        expect(e.x, 20.0, "motion x");
        h.move(Nowhere);
        expect_report(next(8), p, 8, 0, "leave");
        expect(Pc_evrec_wid, -1, "no bookkeeping without blocking");

        // Clicks go to the library itself; the release gives type -1.
        h.move(on_root(Pc[s].draw_win, 30, 30));
        while (kova_ggetevent(nullptr, nullptr, nullptr, nullptr) >= 0)
            ;
        h.click(2);
        e = Report{};
        kt::eventually([&] { return (e.wn = kova_ggetevent(&e.type, &e.code, &e.x, &e.y)) >= 0 && e.type == 4; });
        expect_report(e, s, 4, 2, "press in s");
        expect(e.y, 59.0, "press y");
        e = Report{};
        kt::eventually([&] { return (e.wn = kova_ggetevent(&e.type, &e.code, &e.x, &e.y)) >= 0; });
        expect_report(e, s, -1, -1, "release dropped");

        // Switching modes while the hands keep clicking in both windows.
        XPoint at[2] = {on_root(Pc[p].draw_win, 40, 30), on_root(Pc[s].draw_win, 40, 30)};
        {
            Driver d(DefaultRootWindow(kt::dpy()), 0, [at](Hands &k) {
                for (int i = 0; i < 200; i++) {
                    k.move(at[i % 2]);
                    k.click(1 + i % 3);
                }
            });
            for (int i = 0; i < 60; i++) {
                kova_gsetnonblock(i % 2);
                if (i % 2)
                    kova_ggetevent(nullptr, nullptr, nullptr, nullptr);
                kova_msleep(2);
            }
            expect(d.join(), 0, "hands");
        }
        expect(Pc[p].in_use + Pc[s].in_use, 2, "both windows still open");
        expect(Cpid > 0 && kt::process_alive(Cpid), true, "child alive");
        kova_gsetnonblock(1);
        while (kova_ggetevent(nullptr, nullptr, nullptr, nullptr) >= 0)
            ;
        h.move(on_root(Pc[p].draw_win, 5, 5));
        h.click(3);
        Report c;
        kt::eventually([&] { return kova_ggetxpress(&c.type, &c.code, &c.x, &c.y) == p && c.type == 4; });
        expect(c.code, 3, "a click after the switches");
        kova_gsetnonblock(0);
        expect(kt::eventually([&] { return (all_masks(kt::dpy(), Pc[s].draw_win) & ButtonPressMask) != 0; }),
               true, "the child holds the buttons again");
        XSync(Pc_dis, False);
    });
    expect_clean(r);
}

// The child's process id, written by a forked run through a pipe.
struct ChildId {
    int fds[2] = {-1, -1};
    ChildId() { EXPECT_EQ(pipe(fds), 0); }
    ~ChildId()
    {
        close(fds[0]);
        if (fds[1] >= 0)
            close(fds[1]);
    }
    void send() const
    {
        pid_t pid = Cpid;
        expect(write(fds[1], &pid, sizeof pid), static_cast<ssize_t>(sizeof pid), "pipe");
    }
    pid_t receive()
    {
        close(fds[1]);
        fds[1] = -1;
        pid_t pid = 0;
        return read(fds[0], &pid, sizeof pid) == sizeof pid ? pid : 0;
    }
};

TEST_F(InputTest, BlockingCallsEndWithTheirWindowsAndTheirServer)
{
    // Windows destroyed behind the library's back, whether they asked for
    // close requests or not: the child ends it.
    kt::ChildResult r;
    pid_t child = 0;
    for (int ask : {0, 1}) {
        ChildId first;
        r = kt::run_forked([&] {
            int w = kova_gopen(60, 60);
            kova_gsetcloseevent(w, ask);
            first.send();
            Hands{kt::dpy()}.move(Nowhere);
            Window top = Pc[w].top_win;
            Driver d(top, KeyPressMask, [top](Hands &h) {
                XDestroyWindow(h.d, top);
                XSync(h.d, False);
            });
            kova_ggetevent(nullptr, nullptr, nullptr, nullptr);
            fputs("FAIL the call returned\n", stderr);
        }, 10000);
        child = first.receive();
        EXPECT_FALSE(r.timed_out);
        EXPECT_TRUE(r.exited);
        EXPECT_EQ(r.code, 143);
        EXPECT_EQ(r.err, "");
        EXPECT_GT(child, 0);
        EXPECT_TRUE(kt::eventually([&] { return !kt::process_alive(child); }));
    }

    // The server goes away: the normal exit path, status 1, no child left.
    kt::PrivateServer server(24, 640, 480);
    ChildId second;
    r = kt::run_forked([&] {
        setenv("DISPLAY", server.name().c_str(), 1);
        kova_gopen(60, 60);
        second.send();
        pid_t xvfb = server.pid();
        Driver d(Pc_zwin, ButtonPressMask, [xvfb](Hands &) { kill(xvfb, SIGKILL); }, server.name());
        kova_ggetxpress(nullptr, nullptr, nullptr, nullptr);
        fputs("FAIL the call returned\n", stderr);
    }, 10000);
    child = second.receive();
    EXPECT_FALSE(r.timed_out);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.find("FAIL"), std::string::npos) << r.err;
    EXPECT_GT(child, 0);
    EXPECT_TRUE(kt::eventually([&] { return !kt::process_alive(child); }));
}

// A window manager's close request for top-level window w, sent as one
// sends it: to the window's owner, whatever it selects.
void request_close(Display *d, Window w)
{
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, w, False, NoEventMask, &ev);
    XSync(d, False);
}

// The protocols a window manager finds on w.
std::vector<std::string> protocols(Window w)
{
    Display *d = kt::dpy();
    XSync(Pc_dis, False);
    Atom *atoms = nullptr;
    int n = 0;
    std::vector<std::string> names;
    if (XGetWMProtocols(d, w, &atoms, &n)) {
        for (int i = 0; i < n; i++) {
            char *name = XGetAtomName(d, atoms[i]);
            names.push_back(name);
            XFree(name);
        }
        XFree(atoms);
    }
    return names;
}

TEST_F(InputTest, CloseRequestsReachTheProgramOfWindowsThatAskForThem)
{
    auto r = kt::run_forked([] {
        kova_gsetnonblock(1);
        kova_gsetinitialgeometry("+0+0");
        int a = kova_gopen(300, 200);
        kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
        int b = kova_gopen(80, 60);
        Window top_a = Pc[a].top_win, top_b = Pc[b].top_win;
        Display *wm = kt::dpy();
        expect(protocols(top_a).size(), 0u, "no protocol without asking");
        kova_gsetcloseevent(a, 1);
        kova_gsetcloseevent(b, 1);
        kova_gsetcloseevent(b, 0);
        expect(protocols(top_a) == std::vector<std::string>{"WM_DELETE_WINDOW"}, true, "a takes part");
        expect(protocols(top_b).size(), 0u, "none after asking with 0");

        // Polled: b's request is dropped, a's reported, by every call.
        request_close(wm, top_b);
        request_close(wm, top_a);
        Report e;
        e.code = e.type = 9;
        e.x = e.y = 9;
        kt::eventually([&] { return (e.wn = kova_ggetevent(&e.type, &e.code, &e.x, &e.y)) >= 0; }, 3000);
        expect_report(e, a, 33, 0, "polled ggetevent");
        expect(e.x + e.y, 0.0, "position");
        request_close(wm, top_a);
        int type = -1, code = -1;
        float fx = 9, fy = 9;
        kt::eventually([&] { return kova_ggetxpressf(&type, &code, &fx, &fy) >= 0; }, 3000);
        expect(type * 100 + code, 3300, "polled ggetxpressf");
        expect(fx + fy, 0.0f, "float position");
        request_close(wm, top_a);
        expect(next_key(), 0, "ggetch");

        // Blocking: one that came before the call, one that comes while it
        // waits (the pointer outside every window makes up nothing).
        kova_gsetnonblock(0);
        Hands{kt::dpy()}.move(Nowhere);
        Pc_evrec_wid = -1;
        request_close(wm, top_a);
        e = event_now();
        expect_report(e, a, 33, 0, "blocking ggetevent, queued");
        {
            Driver d(top_a, KeyPressMask, [top_a](Hands &h) { request_close(h.d, top_a); });
            e = event_now();
            expect_report(e, a, 33, 0, "blocking ggetevent, waiting");
            expect(d.join(), 0, "hands");
        }
        {
            Driver d(top_a, KeyPressMask, [top_a](Hands &h) { request_close(h.d, top_a); });
            e = Report{};
            e.wn = kova_ggetxpress(&e.type, &e.code, &e.x, &e.y);
            expect_report(e, a, 33, 0, "blocking ggetxpress, waiting");
            expect(d.join(), 0, "hands");
        }
        XWindowAttributes wa;
        expect(XGetWindowAttributes(wm, top_a, &wa) && wa.map_state == IsViewable, true, "still mapped");

        // A request for a window closed before it was read is dropped (the
        // close's round trip has queued it).
        kova_gsetnonblock(1);
        request_close(wm, top_a);
        kova_gclose(a);
        expect(kova_ggetevent(nullptr, nullptr, nullptr, nullptr), -1, "nothing for a closed window");
    });
    expect_clean(r);
}

// The command window of another kova program waiting for input: an
// unmapped 16 x 16 child of the root asking for button presses.  Also
// finds that program's mapped top-level window of the given size.
Window root_child(Display *d, bool command, int width = 16, int height = 16)
{
    Window root = DefaultRootWindow(d), parent, *kids = nullptr, found = 0;
    unsigned int n = 0;
    if (!XQueryTree(d, root, &root, &parent, &kids, &n))
        return 0;
    for (unsigned int i = 0; i < n && !found; i++) {
        XWindowAttributes a;
        if (XGetWindowAttributes(d, kids[i], &a) && a.width == width && a.height == height &&
            (command ? a.map_state == IsUnmapped && (a.all_event_masks & ButtonPressMask)
                     : a.map_state == IsViewable))
            found = kids[i];
    }
    XFree(kids);
    return found;
}

TEST_F(InputTest, ClickDrawExampleDrawsWhereItIsClicked)
{
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        execl(KOVA_CLICKDRAW, KOVA_CLICKDRAW, static_cast<char *>(nullptr));
        _exit(127);
    }
    Display *d = kt::dpy();
    Window root = DefaultRootWindow(d);
    auto waiting = [&] { return root_child(d, true) != 0; };
    ASSERT_TRUE(kt::eventually(waiting, 10000));
    Window top = root_child(d, false, 400, 300);
    ASSERT_NE(top, 0UL);
    std::vector<pid_t> kids = kt::children_of(pid);
    Hands h{d};
    // Input between two calls is lost, as in any blocking program: act
    // only while it waits, and again until the effect shows.
    auto until = [&](const std::function<void()> &act, const std::function<bool()> &done) {
        return kt::eventually([&] {
            if (waiting())
                act();
            return kt::eventually(done, 100);
        }, 5000);
    };
    auto dot = [&](int x, int y, unsigned int button) {
        XPoint p = on_root(top, x, y);
        unsigned long bg = kt::pixel(root, p.x, p.y);
        bool shown = until([&] { h.move(p), h.click(button); },
                           [&] { return kt::pixel(root, p.x, p.y) != bg; });
        return shown ? kt::pixel(root, p.x, p.y) : ~0UL;
    };
    unsigned long first = dot(100, 150, 3);
    ASSERT_TRUE(kt::eventually(waiting));
    h.type(XK_2);
    unsigned long second = dot(300, 150, 3);
    EXPECT_NE(first, ~0UL) << "the first dot shows";
    EXPECT_NE(second, ~0UL) << "the second dot shows";
    EXPECT_NE(second, first) << "the digit key changed the pen";
    int status = -1;
    EXPECT_TRUE(until([&] { h.type(XK_q); }, [&] { return waitpid(pid, &status, WNOHANG) == pid; }));
    if (status == -1) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(kids.size(), 1u);
    EXPECT_TRUE(kt::eventually([&] { return !kt::process_alive(kids[0]); }));
}

} // namespace
