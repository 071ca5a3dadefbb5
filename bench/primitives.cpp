// primitives - cost per call of kova's drawing primitives against plain Xlib
// issuing the same requests, on a private Xvfb that this program starts
// and stops itself.
//
// For each primitive both sides draw the same shapes at the same pixels
// into a layer pixmap and a mapped window of the same size (what kova does
// for a shown layer), the plain side with exactly the requests kova sends:
// end points included, one flush per call.  Rounds alternate between the
// two sides; the figures are those of the median round, and the last
// column the ratio of the best rounds (the least disturbed by other load).
// A second table repeats the run with automatic flushing off, where the
// client-side work weighs more.
//
// Usage: primitives [calls-per-round]
#include "kova_private.h"
#include "xserver.hpp"

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <random>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int W = 640, H = 480;
constexpr int Rounds = 15;
constexpr int Poly_points = 1000;

// ---- the plain-Xlib side ------------------------------------------------

struct Plain {
    Display *d = nullptr;
    Window win = 0;
    Pixmap layer = 0;
    GC gc = nullptr;
    bool flush = true;

    bool open(const char *name)
    {
        d = XOpenDisplay(name);
        if (!d)
            return false;
        int scr = DefaultScreen(d);
        win = kt::map_window(d, 700, 0, W, H);
        layer = XCreatePixmap(d, win, W, H, static_cast<unsigned>(DefaultDepth(d, scr)));
        gc = XCreateGC(d, win, 0, nullptr);
        XSetForeground(d, gc, 0xffffff);
        XSync(d, False);
        return true;
    }
    void close()
    {
        XFreeGC(d, gc);
        XFreePixmap(d, layer);
        XDestroyWindow(d, win);
        XCloseDisplay(d);
    }
    template <class F>
    void both(F f)
    {
        f(static_cast<Drawable>(layer));
        f(static_cast<Drawable>(win));
    }
    void done()
    {
        if (flush)
            XFlush(d);
    }
};

// ---- workloads ------------------------------------------------------------

// Shapes in pixels (y down) and the same in kova's user units (y up, one
// unit a pixel).
struct Shape {
    int x0, y0, x1, y1;
};

std::vector<Shape> shapes(int n, int reach)
{
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> x(reach, W - 1 - reach), y(reach, H - 1 - reach),
        d(-reach, reach);
    std::vector<Shape> v(static_cast<size_t>(n));
    for (Shape &s : v) {
        s.x0 = x(rng);
        s.y0 = y(rng);
        s.x1 = s.x0 + d(rng);
        s.y1 = s.y0 + d(rng);
    }
    return v;
}

inline double uy(int py) { return H - 1 - py; }

struct Case {
    const char *name;
    std::function<void(int)> kova;  // call i
    std::function<void(int)> plain; // the same requests
};

double seconds_for(const std::function<void(int)> &call, int calls, Display *sync_on)
{
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; i++)
        call(i);
    XSync(sync_on, False);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void run(const char *title, const std::vector<Case> &cases, const std::vector<int> &calls,
         Display *kd, Display *pd)
{
    printf("\n%s\n", title);
    printf("%-28s %14s %14s %8s %8s\n", "call", "kova ns/call", "Xlib ns/call", "ratio",
           "best");
    for (size_t c = 0; c < cases.size(); c++) {
        std::vector<double> k, p;
        int n = calls[c];
        seconds_for(cases[c].kova, n / 10 + 1, kd); // warm up both sides
        seconds_for(cases[c].plain, n / 10 + 1, pd);
        for (int r = 0; r < Rounds; r++) {
            k.push_back(seconds_for(cases[c].kova, n, kd) / n);
            p.push_back(seconds_for(cases[c].plain, n, pd) / n);
        }
        double km = kt::median(k), pm = kt::median(p);
        double kb = *std::min_element(k.begin(), k.end());
        double pb = *std::min_element(p.begin(), p.end());
        printf("%-28s %14.0f %14.0f %8.3f %8.3f\n", cases[c].name, km * 1e9, pm * 1e9, km / pm,
               kb / pb);
    }
}

} // namespace

int main(int argc, char **argv)
{
    int calls = argc > 1 ? std::atoi(argv[1]) : 20000;
    if (calls < 10)
        calls = 10;
    kt::PrivateServer server(24, 1600, 1200);
    const std::string &name = server.name();
    setenv("DISPLAY", name.c_str(), 1);

    kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
    kova_gsetinitialgeometry("+0+0");
    int wn = kova_gopen(W, H);
    Plain plain;
    if (!plain.open(name.c_str())) {
        fputs("primitives: cannot connect to the private server\n", stderr);
        kova_gcloseall();
        return 1;
    }

    const std::vector<Shape> lines = shapes(4096, 20), boxes = shapes(4096, 10);
    std::vector<double> ux(Poly_points), uyv(Poly_points);
    std::vector<XPoint> px(Poly_points);
    std::vector<Shape> poly = shapes(Poly_points, 1);
    for (int i = 0; i < Poly_points; i++) {
        px[static_cast<size_t>(i)] = {static_cast<short>(poly[static_cast<size_t>(i)].x0),
                                      static_cast<short>(poly[static_cast<size_t>(i)].y0)};
        ux[static_cast<size_t>(i)] = poly[static_cast<size_t>(i)].x0;
        uyv[static_cast<size_t>(i)] = uy(poly[static_cast<size_t>(i)].y0);
    }
    auto at = [](const std::vector<Shape> &v, int i) { return v[static_cast<size_t>(i) & 4095]; };

    std::vector<Case> cases = {
        {"kova_drawline",
         [&](int i) {
             Shape s = at(lines, i);
             kova_drawline(wn, s.x0, uy(s.y0), s.x1, uy(s.y1));
         },
         [&](int i) {
             Shape s = at(lines, i);
             plain.both([&](Drawable d) {
                 XDrawPoint(plain.d, d, plain.gc, s.x0, s.y0);
                 XDrawLine(plain.d, d, plain.gc, s.x0, s.y0, s.x1, s.y1);
                 XDrawPoint(plain.d, d, plain.gc, s.x1, s.y1);
             });
             plain.done();
         }},
        {"kova_fillrect",
         [&](int i) {
             Shape s = at(boxes, i);
             kova_fillrect(wn, s.x0, uy(s.y0), s.x1 - s.x0, -(s.y1 - s.y0));
         },
         [&](int i) {
             Shape s = at(boxes, i);
             plain.both([&](Drawable d) {
                 XFillRectangle(plain.d, d, plain.gc, std::min(s.x0, s.x1), std::min(s.y0, s.y1),
                                static_cast<unsigned>(std::abs(s.x1 - s.x0)),
                                static_cast<unsigned>(std::abs(s.y1 - s.y0)));
             });
             plain.done();
         }},
        {"kova_fillcirc",
         [&](int i) {
             Shape s = at(boxes, i);
             kova_fillcirc(wn, s.x0, uy(s.y0), 6, 6);
         },
         [&](int i) {
             Shape s = at(boxes, i);
             plain.both([&](Drawable d) {
                 XFillArc(plain.d, d, plain.gc, s.x0 - 6, s.y0 - 6, 12, 12, 0, 360 * 64);
             });
             plain.done();
         }},
        {"kova_drawlines (1000 points)",
         [&](int) { kova_drawlines(wn, ux.data(), uyv.data(), Poly_points); },
         [&](int) {
             const XPoint &a = px.front(), &b = px.back();
             plain.both([&](Drawable d) { XDrawPoint(plain.d, d, plain.gc, a.x, a.y); });
             plain.both([&](Drawable d) {
                 XDrawLines(plain.d, d, plain.gc, px.data(), Poly_points, CoordModeOrigin);
             });
             plain.both([&](Drawable d) { XDrawPoint(plain.d, d, plain.gc, b.x, b.y); });
             plain.done();
         }},
    };
    // kova's requests travel on its own connection, Pc_dis: rounds wait on it.
    std::vector<int> counts = {calls, calls, calls, std::max(10, calls / 100)};
    printf("kova primitives against plain Xlib on a private Xvfb (%s), %d rounds, median\n",
           name.c_str(), Rounds);
    run("automatic flushing on (one flush per call on both sides)", cases, counts, Pc_dis,
        plain.d);
    kova_gsetnonflush(1);
    plain.flush = false;
    run("automatic flushing off (requests batched by Xlib on both sides)", cases, counts, Pc_dis,
        plain.d);

    plain.close();
    kova_gcloseall();
    return 0;
}
