// round_trips - the replies kova waits for, next to raw Xlib doing the
// same work, and what they cost when the server is far away.
//
//   round_trips [--delay MS] [--count N]
//
// One run, on private Xvfb servers of its own (24-bit TrueColor and 8-bit
// PseudoColor):
//  1. For single operations, the replies waited for, counted in this
//     process (every reply Xlib waits for passes through _XReply, which
//     this program stands in for): kova's call against raw Xlib issuing
//     the same requests.
//  2. x8a's phases at N shapes or strings per step (default 1000, one
//     sweep pass), kova against raw Xlib, each in a fresh process.
//  3. Through a relay of this program's own that holds every message MS
//     ms (default 10) in each direction, so that a round trip costs 2 x MS
//     as over a network: the wall time of an open/draw/close program and
//     of x8a at N, kova against raw Xlib, phase by phase.
// The window child's own waits are not counted (another process); its
// start-up shows in the wall time of the first open.
#include "kova.h"
#include "reply_count.hpp"
#include "x8a.h"
#include "x8a_raw_steps.h"
#include "xserver.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int W = X8A_WIDTH, H = X8A_HEIGHT;
constexpr int Program_limit_s = 600; // a program run longer than this is killed
constexpr int Relay_limit_s = 1800;  // the relay ends itself after this

double now_s()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

[[noreturn]] void die(const std::string &msg)
{
    std::fprintf(stderr, "round_trips: %s\n", msg.c_str());
    std::exit(1);
}

template <class F>
unsigned long replies_of(F f)
{
    const unsigned long before = kt::replies();
    f();
    return kt::replies() - before;
}

/* ---- raw Xlib beside kova ------------------------------------------- */

// A raw connection with x8a's window on it, drawing as the library does.
struct raw_side {
    Display *dpy = nullptr;
    x8a_raw r;
    x8a_raw_window w;

    void open()
    {
        dpy = XOpenDisplay(nullptr);
        if (!dpy)
            die("cannot open the display");
        x8a_raw_init(&r, dpy, 0, 0, nullptr, H, DefaultVisual(dpy, DefaultScreen(dpy)));
        x8a_raw_open_window(dpy, &w, &r);
        r.targets[0] = w.layer;
        r.targets[1] = w.draw;
        r.gc = w.pen_gc;
    }
    void close()
    {
        x8a_raw_close_window(dpy, &w);
        x8a_raw_free(&r);
        XCloseDisplay(dpy);
        dpy = nullptr;
    }
    // A named colour: parsed once, as a program that keeps its pixels does.
    unsigned long named(const char *name)
    {
        auto it = names.find(name);
        if (it != names.end())
            return it->second;
        XColor c;
        if (!XParseColor(dpy, DefaultColormap(dpy, DefaultScreen(dpy)), name, &c))
            die("unknown colour");
        return names[name] = x8a_raw_lookup(&r, c.red >> 8, c.green >> 8, c.blue >> 8);
    }
    // A core font, loaded once per size.
    XFontStruct *font(const char *name)
    {
        auto it = fonts.find(name);
        if (it != fonts.end())
            return it->second;
        XFontStruct *f = XLoadQueryFont(dpy, name);
        if (!f)
            die(std::string("no font ") + name);
        return fonts[name] = f;
    }
    void both(const std::function<void(Drawable)> &draw)
    {
        draw(w.layer);
        draw(w.draw);
        XFlush(dpy);
    }
    std::map<std::string, unsigned long> names;
    std::map<std::string, XFontStruct *> fonts;
};

const char *const Colour_names[] = {"orange", "steel blue", "dark green", "firebrick"};

void kova_text_sizes(int win, int calls)
{
    for (int i = 0; i < calls; i++)
        kova_drawstr(win, 10 + (i % 50) * 19, 20 + (i / 50) * 20, i % 2 ? 16 : 14, 0, "Ab");
}

void raw_text_sizes(raw_side &s, int calls)
{
    for (int i = 0; i < calls; i++) {
        XFontStruct *f = s.font(i % 2 ? "8x16" : "7x14");
        XSetFont(s.dpy, s.w.pen_gc, f->fid);
        const int x = 10 + (i % 50) * 19, y = H - 1 - (20 + (i / 50) * 20);
        s.both([&](Drawable d) { XDrawString(s.dpy, d, s.w.pen_gc, x, y, "Ab", 2); });
    }
}

void raw_read_back(raw_side &s)
{
    XImage *img = XGetImage(s.dpy, s.w.layer, 0, 0, W, H, AllPlanes, ZPixmap);
    const Visual *v = DefaultVisual(s.dpy, DefaultScreen(s.dpy));
    if (v->c_class == PseudoColor) {
        std::vector<XColor> cells(static_cast<size_t>(v->map_entries));
        for (size_t i = 0; i < cells.size(); i++)
            cells[i].pixel = i;
        XQueryColors(s.dpy, DefaultColormap(s.dpy, DefaultScreen(s.dpy)), cells.data(),
                     v->map_entries);
    }
    XDestroyImage(img);
}

/* ---- part 1: single operations, in this process --------------------- */

struct row {
    std::string what;
    unsigned long kova, raw;
};

void print_rows(const char *title, const std::vector<row> &rows)
{
    std::printf("\n%s\n", title);
    std::printf("| operation | kova | raw Xlib |\n|---|---:|---:|\n");
    for (const row &r : rows)
        std::printf("| %s | %lu | %lu |\n", r.what.c_str(), r.kova, r.raw);
}

std::vector<row> operations_24()
{
    std::vector<row> rows;
    int win = -1, second = -1;
    raw_side s;
    rows.push_back({"first `kova_gopen` (library process)", replies_of([&] { win = kova_gopen(W, H); }),
                    replies_of([&] { s.open(); })});
    raw_side s2;
    s2.dpy = s.dpy;
    x8a_raw_init(&s2.r, s.dpy, 0, 0, nullptr, H, s.r.visual);
    rows.push_back({"a later `kova_gopen`", replies_of([&] { second = kova_gopen(W, H); }),
                    replies_of([&] { x8a_raw_open_window(s2.dpy, &s2.w, &s2.r); })});
    rows.push_back({"1000 x `kova_newcolor(w, \"orange\")`", replies_of([&] {
                        for (int i = 0; i < 1000; i++)
                            kova_newcolor(win, "orange");
                    }),
                    replies_of([&] {
                        for (int i = 0; i < 1000; i++)
                            XSetForeground(s.dpy, s.w.pen_gc, s.named("orange"));
                    })});
    rows.push_back({"1000 x `kova_newcolor`, 4 names in turn", replies_of([&] {
                        for (int i = 0; i < 1000; i++)
                            kova_newcolor(win, "%s", Colour_names[i % 4]);
                    }),
                    replies_of([&] {
                        for (int i = 0; i < 1000; i++)
                            XSetForeground(s.dpy, s.w.pen_gc, s.named(Colour_names[i % 4]));
                    })});
    rows.push_back({"100 x `kova_drawstr`, sizes 14 and 16 in turn",
                    replies_of([&] { kova_text_sizes(win, 100); }),
                    replies_of([&] { raw_text_sizes(s, 100); })});
    rows.push_back({"1000 primitives (lines, rectangles, circles, polygons, symbols, arrows)",
                    replies_of([&] {
                        const double px[] = {10, 60, 35}, py[] = {10, 10, 50};
                        for (int i = 0; i < 1000; i++) {
                            const double x = (i * 37) % W, y = (i * 53) % H;
                            switch (i % 6) {
                            case 0: kova_drawline(win, x, y, W - x, H - y); break;
                            case 1: kova_fillrect(win, x, y, 60, 30); break;
                            case 2: kova_fillcirc(win, x, y, 10, 10); break;
                            case 3: kova_fillpoly(win, px, py, 3, 0); break;
                            case 4: kova_drawsym(win, x, y, 12, i % 10); break;
                            default: kova_drawarrow(win, x, y, W / 2.0, H / 2.0, 10, 5, 12); break;
                            }
                        }
                    }),
                    replies_of([&] {
                        GC gc = s.w.pen_gc;
                        XPoint tri[] = {{10, 10}, {60, 10}, {35, 50}};
                        for (int i = 0; i < 1000; i++) {
                            const int x = (i * 37) % W, y = (i * 53) % H;
                            s.both([&](Drawable d) {
                                switch (i % 6) {
                                case 0: XDrawLine(s.dpy, d, gc, x, y, W - x, H - y); break;
                                case 1: XFillRectangle(s.dpy, d, gc, x, y, 60, 30); break;
                                case 2: XFillArc(s.dpy, d, gc, x - 10, y - 10, 20, 20, 0, 23040); break;
                                case 3: XFillPolygon(s.dpy, d, gc, tri, 3, Complex, CoordModeOrigin); break;
                                case 4: XDrawRectangle(s.dpy, d, gc, x - 6, y - 6, 12, 12); break;
                                default: XDrawLine(s.dpy, d, gc, x, y, W / 2, H / 2); break;
                                }
                            });
                        }
                    })});
    rows.push_back({"1000 pen changes (rgb, hsv, pen, width, style)", replies_of([&] {
                        for (int i = 0; i < 1000; i++) {
                            switch (i % 5) {
                            case 0: kova_newrgbcolor(win, i % 256, 0, 0); break;
                            case 1: kova_newhsvcolor(win, i % 360, 255, 255); break;
                            case 2: kova_newpen(win, i % 16); break;
                            case 3: kova_newlinewidth(win, i % 4); break;
                            default: kova_newlinestyle(win, i % 2); break;
                            }
                        }
                    }),
                    replies_of([&] {
                        for (int i = 0; i < 1000; i++) {
                            XGCValues v;
                            v.line_width = i % 4;
                            v.line_style = i % 2;
                            if (i % 5 < 3)
                                XSetForeground(s.dpy, s.w.pen_gc, x8a_raw_lookup(&s.r, i % 256, 0, 0));
                            else
                                XChangeGC(s.dpy, s.w.pen_gc, i % 5 == 3 ? GCLineWidth : GCLineStyle, &v);
                        }
                    })});
    rows.push_back({"100 layer changes (show, copy, clear, scroll)", replies_of([&] {
                        for (int i = 0; i < 100; i++) {
                            switch (i % 4) {
                            case 0: kova_layer(win, i % 8 == 0 ? 0 : 1, 1); break;
                            case 1: kova_copylayer(win, 1, 0); break;
                            case 2: kova_gclr(win); break;
                            default: kova_gscroll(win, 3, -2, 1); break;
                            }
                        }
                        kova_layer(win, 0, 0);
                    }),
                    replies_of([&] {
                        for (int i = 0; i < 100; i++) {
                            XSetTile(s.dpy, s.w.tile_gc, s.w.layer);
                            XFillRectangle(s.dpy, s.w.draw, s.w.tile_gc, 0, 0, W, H);
                            XFlush(s.dpy);
                        }
                    })});
    std::vector<unsigned char> image(64 * 64 * 4, 0x80);
    rows.push_back({"100 x `kova_gputimage` 64x64, every other one masked", replies_of([&] {
                        for (int i = 0; i < 100; i++)
                            kova_gputimage(win, i * 7 % W, i * 5 % H, image.data(), 64, 64, i % 2);
                    }),
                    replies_of([&] {
                        XImage *img = XCreateImage(s.dpy, DefaultVisual(s.dpy, 0), 24, ZPixmap, 0,
                                                   reinterpret_cast<char *>(image.data()), 64, 64, 32, 0);
                        std::vector<char> bits(8 * 64, '\xff');
                        XImage *bitmap = XCreateImage(s.dpy, DefaultVisual(s.dpy, 0), 1, XYBitmap, 0,
                                                      bits.data(), 64, 64, 8, 8);
                        Pixmap mask = XCreatePixmap(s.dpy, s.w.draw, 64, 64, 1);
                        GC mask_gc = XCreateGC(s.dpy, mask, 0, nullptr);
                        for (int i = 0; i < 100; i++) {
                            const int x = i * 7 % W, y = i * 5 % H;
                            if (i % 2) {
                                XPutImage(s.dpy, mask, mask_gc, bitmap, 0, 0, 0, 0, 64, 64);
                                XSetClipMask(s.dpy, s.w.pen_gc, mask);
                                XSetClipOrigin(s.dpy, s.w.pen_gc, x, y);
                            }
                            s.both([&](Drawable d) { XPutImage(s.dpy, d, s.w.pen_gc, img, 0, 0, x, y, 64, 64); });
                            XSetClipMask(s.dpy, s.w.pen_gc, None);
                        }
                        XFreeGC(s.dpy, mask_gc);
                        XFreePixmap(s.dpy, mask);
                        img->data = bitmap->data = nullptr;
                        XDestroyImage(img);
                        XDestroyImage(bitmap);
                    })});
    rows.push_back({"`kova_ggetimage` 1024x768, 24-bit",
                    replies_of([&] { std::free(kova_ggetimage(win, 0, 0, 0, W - 1, H - 1, nullptr, nullptr)); }),
                    replies_of([&] { raw_read_back(s); })});
    kova_gsetnonblock(1);
    rows.push_back({"1000 non-blocking `kova_ggetevent` polls", replies_of([&] {
                        int type, code;
                        double x, y;
                        for (int i = 0; i < 1000; i++)
                            kova_ggetevent(&type, &code, &x, &y);
                    }),
                    replies_of([&] {
                        XSelectInput(s.dpy, s.w.draw, KeyPressMask | ButtonPressMask | PointerMotionMask);
                        XEvent ev;
                        for (int i = 0; i < 1000; i++)
                            XCheckMaskEvent(s.dpy, KeyPressMask | ButtonPressMask | PointerMotionMask, &ev);
                    })});
    kova_gsetnonblock(0);
    rows.push_back({"`kova_gclose` of the later window (child synchronisation)",
                    replies_of([&] { kova_gclose(second); }),
                    replies_of([&] { x8a_raw_close_window(s2.dpy, &s2.w); })});
    kova_gcloseall();
    s.close();
    return rows;
}

std::vector<row> operations_8()
{
    std::vector<row> rows;
    int win = -1;
    raw_side s;
    rows.push_back({"`kova_gopen` after close-all, 8-bit", replies_of([&] { win = kova_gopen(W, H); }),
                    replies_of([&] { s.open(); })});
    rows.push_back({"1000 x `kova_newcolor(w, \"orange\")`, 8-bit", replies_of([&] {
                        for (int i = 0; i < 1000; i++)
                            kova_newcolor(win, "orange");
                    }),
                    replies_of([&] {
                        for (int i = 0; i < 1000; i++)
                            XSetForeground(s.dpy, s.w.pen_gc, s.named("orange"));
                    })});
    rows.push_back({"100 x `kova_drawstr`, sizes 14 and 16 in turn, 8-bit",
                    replies_of([&] { kova_text_sizes(win, 100); }),
                    replies_of([&] { raw_text_sizes(s, 100); })});
    srand(1);
    rows.push_back({"1000 rectangles in random colours, 8-bit (colormap fills)", replies_of([&] {
                        srand(1);
                        for (int i = 0; i < 1000; i++) {
                            const int r = rand() % 255, g = rand() % 255, b = rand() % 255;
                            kova_newrgbcolor(win, r, g, b);
                            kova_fillrect(win, rand() % W, rand() % H, 60, 30);
                        }
                    }),
                    replies_of([&] {
                        srand(1);
                        for (int i = 0; i < 1000; i++) {
                            const int r = rand() % 255, g = rand() % 255, b = rand() % 255;
                            x8a_raw_colour(&s.r, r, g, b);
                            const int x = rand() % W, y = rand() % H;
                            s.both([&](Drawable d) { XFillRectangle(s.dpy, d, s.w.pen_gc, x, H - 1 - y, 60, 30); });
                        }
                    })});
    rows.push_back({"`kova_ggetimage` 1024x768 after them, 8-bit",
                    replies_of([&] { std::free(kova_ggetimage(win, 0, 0, 0, W - 1, H - 1, nullptr, nullptr)); }),
                    replies_of([&] { raw_read_back(s); })});
    rows.push_back({"`kova_gcloseall`", replies_of([&] { kova_gcloseall(); }), replies_of([&] { s.close(); })});
    return rows;
}

/* ---- parts 2 and 3: whole programs, each in a fresh process --------- */

// Each program prints one line per phase: name, replies, seconds.
class phases {
  public:
    template <class F>
    void run(const char *name, F f)
    {
        const unsigned long r0 = kt::replies();
        const double t0 = now_s();
        f();
        std::printf("%s %lu %.6f\n", name, kt::replies() - r0, now_s() - t0);
        std::fflush(stdout);
    }
};

void kova_open_draw_close()
{
    phases p;
    int win = -1;
    p.run("open", [&] { win = kova_gopen(W, H); });
    p.run("draw", [&] {
        for (int i = 0; i < 100; i++) {
            kova_newcolor(win, "%s", Colour_names[i % 4]);
            kova_drawline(win, 0, 0, i * 10, H - 1);
            kova_fillrect(win, i * 10, 100, 8, 8);
            kova_drawstr(win, i * 10, 200, i % 2 ? 16 : 14, 0, "%d", i);
        }
    });
    p.run("read-back", [&] { std::free(kova_ggetimage(win, 0, 0, 0, W - 1, H - 1, nullptr, nullptr)); });
    p.run("close", [&] { kova_gcloseall(); });
}

void raw_open_draw_close()
{
    phases p;
    raw_side s;
    p.run("open", [&] { s.open(); });
    p.run("draw", [&] {
        for (int i = 0; i < 100; i++) {
            XSetForeground(s.dpy, s.w.pen_gc, s.named(Colour_names[i % 4]));
            XFontStruct *f = s.font(i % 2 ? "8x16" : "7x14");
            XSetFont(s.dpy, s.w.pen_gc, f->fid);
            const std::string text = std::to_string(i);
            s.both([&](Drawable d) {
                XDrawLine(s.dpy, d, s.w.pen_gc, 0, H - 1, i * 10, 0);
                XFillRectangle(s.dpy, d, s.w.pen_gc, i * 10, H - 108, 8, 8);
                XDrawString(s.dpy, d, s.w.pen_gc, i * 10, H - 201, text.c_str(), static_cast<int>(text.size()));
            });
        }
    });
    p.run("read-back", [&] { raw_read_back(s); });
    p.run("close", [&] { s.close(); });
}

void kova_x8a(int count)
{
    phases p;
    int win = -1;
    p.run("open", [&] {
        win = kova_gopen(W, H);
        kova_winname(win, X8A_WINDOW_NAME);
        kova_newrgbcolor(win, 100, 100, 100);
    });
    p.run("sweeps", [&] { x8a_sweep_pass(win); });
    p.run("small-circles", [&] { x8a_circles(win, 10.0, count + 1.0); });
    p.run("rectangles", [&] { x8a_rectangles(win, count + 1.0); });
    p.run("large-circles", [&] { x8a_circles(win, 30.0, count + 1.0); });
    p.run("strings-14", [&] { x8a_latin_strings(win, 14, count + 1.0); });
    p.run("strings-16", [&] { x8a_latin_strings(win, 16, count + 1.0); });
    p.run("japanese", [&] { x8a_japanese_strings(win, count + 1.0); });
    p.run("close", [&] { kova_gclose(win); });
}

void raw_x8a(int count)
{
    phases p;
    raw_side s;
    p.run("open", [&] {
        setlocale(LC_CTYPE, "");
        s.open();
        XStoreName(s.dpy, s.w.top, X8A_WINDOW_NAME);
        XSetIconName(s.dpy, s.w.top, X8A_WINDOW_NAME);
        XFlush(s.dpy);
        x8a_raw_colour(&s.r, 100, 100, 100);
    });
    p.run("sweeps", [&] { x8a_raw_sweep_pass(&s.r); });
    p.run("small-circles", [&] { x8a_raw_circles(&s.r, 10, count + 1.0); });
    p.run("rectangles", [&] { x8a_raw_rectangles(&s.r, count + 1.0); });
    p.run("large-circles", [&] { x8a_raw_circles(&s.r, 30, count + 1.0); });
    p.run("strings-14", [&] { x8a_raw_latin_strings(&s.r, 14, count + 1.0); });
    p.run("strings-16", [&] { x8a_raw_latin_strings(&s.r, 16, count + 1.0); });
    p.run("japanese", [&] { x8a_raw_japanese_strings(&s.r, count + 1.0); });
    p.run("close", [&] { s.close(); });
}

struct phase_result {
    unsigned long replies = 0;
    double seconds = 0;
};

struct program_result {
    std::vector<std::string> order;
    std::map<std::string, phase_result> phase;
    double total_s = 0; // from fork to exit, as the user sees it
};

// Runs this program again as `--program name count` on display, in a fresh
// process, and reads its phase lines.
program_result run_program(const std::string &name, int count, const std::string &display)
{
    int out[2];
    if (pipe(out) != 0)
        die("pipe failed");
    const double t0 = now_s();
    pid_t pid = fork();
    if (pid < 0)
        die("fork failed");
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        setenv("DISPLAY", display.c_str(), 1);
        const std::string n = std::to_string(count);
        execl("/proc/self/exe", "round_trips", "--program", name.c_str(), n.c_str(),
              static_cast<char *>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buf[4096];
    int status = 0;
    bool done = false;
    for (;;) {
        if (now_s() - t0 > Program_limit_s) {
            kill(pid, SIGKILL);
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 1000) > 0) {
            ssize_t n = read(out[0], buf, sizeof buf);
            if (n > 0) {
                text.append(buf, static_cast<size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            break;
        }
    }
    close(out[0]);
    done = waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    program_result r;
    r.total_s = now_s() - t0;
    if (!done)
        die("the program " + name + " failed");
    std::istringstream in(text);
    std::string phase;
    phase_result pr;
    while (in >> phase >> pr.replies >> pr.seconds) {
        r.order.push_back(phase);
        r.phase[phase] = pr;
    }
    return r;
}

void print_replies(const char *title, const program_result &k, const program_result &r)
{
    std::printf("\n%s\n| phase | kova | raw Xlib |\n|---|---:|---:|\n", title);
    for (const std::string &p : k.order)
        std::printf("| %s | %lu | %lu |\n", p.c_str(), k.phase.at(p).replies, r.phase.count(p) ? r.phase.at(p).replies : 0);
}

void print_times(const char *title, const program_result &k, const program_result &r)
{
    std::printf("\n%s\n| phase | kova s | raw Xlib s | kova replies | raw replies |\n"
                "|---|---:|---:|---:|---:|\n",
                title);
    for (const std::string &p : k.order) {
        const phase_result &a = k.phase.at(p);
        const phase_result b = r.phase.count(p) ? r.phase.at(p) : phase_result{};
        std::printf("| %s | %.3f | %.3f | %lu | %lu |\n", p.c_str(), a.seconds, b.seconds, a.replies,
                    b.replies);
    }
    std::printf("| whole program, start to exit | %.3f | %.3f | | |\n", k.total_s, r.total_s);
}

/* ---- the delay relay ------------------------------------------------ */

// Bytes read from one end, each chunk written to the other end delay
// seconds after it arrived, in order.  An empty chunk stands for the end.
struct direction {
    int from, to;
    std::deque<std::pair<double, std::string>> queue;
    size_t sent = 0;
    bool ended = false; // the end has been passed on
};

void set_nonblocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Accepts connections on listener and joins each to the server's socket.
[[noreturn]] void relay_main(int listener, const std::string &server_path, double delay)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    signal(SIGPIPE, SIG_IGN);
    std::vector<direction> dirs; // pairs: 2k client to server, 2k + 1 back
    const double stop_at = now_s() + Relay_limit_s;
    while (now_s() < stop_at) {
        std::vector<pollfd> fds{{listener, POLLIN, 0}};
        double next = now_s() + 0.1;
        for (direction &d : dirs) {
            if (!d.ended)
                fds.push_back({d.from, POLLIN, 0});
            if (d.queue.empty())
                continue;
            if (d.queue.front().first <= now_s())
                fds.push_back({d.to, POLLOUT, 0});
            else
                next = std::min(next, d.queue.front().first);
        }
        const int wait_ms = std::max(0, static_cast<int>((next - now_s()) * 1000.0 + 0.5));
        if (poll(fds.data(), fds.size(), wait_ms) < 0 && errno != EINTR)
            _exit(1);
        if (fds[0].revents & POLLIN) {
            int c = accept(listener, nullptr, nullptr);
            int s = socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un a{};
            a.sun_family = AF_UNIX;
            std::snprintf(a.sun_path, sizeof a.sun_path, "%s", server_path.c_str());
            if (c >= 0 && s >= 0 && connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0) {
                int one = 1;
                setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                set_nonblocking(c);
                set_nonblocking(s);
                dirs.push_back({c, s, {}, 0, false});
                dirs.push_back({s, c, {}, 0, false});
            } else {
                if (c >= 0)
                    close(c);
                if (s >= 0)
                    close(s);
            }
        }
        const double t = now_s();
        for (direction &d : dirs) {
            if (d.ended)
                continue;
            char buf[65536];
            ssize_t n = read(d.from, buf, sizeof buf);
            if (n > 0)
                d.queue.emplace_back(t + delay, std::string(buf, static_cast<size_t>(n)));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                d.queue.emplace_back(t + delay, std::string());
                d.ended = true;
            }
        }
        for (direction &d : dirs) {
            while (!d.queue.empty() && d.queue.front().first <= now_s()) {
                std::string &bytes = d.queue.front().second;
                if (bytes.empty()) {
                    shutdown(d.to, SHUT_WR);
                    d.queue.clear();
                    break;
                }
                ssize_t n = write(d.to, bytes.data() + d.sent, bytes.size() - d.sent);
                if (n < 0) {
                    if (errno == EAGAIN || errno == EINTR)
                        break;
                    d.queue.clear(); // the other end is gone
                    break;
                }
                d.sent += static_cast<size_t>(n);
                if (d.sent < bytes.size())
                    break;
                d.sent = 0;
                d.queue.pop_front();
            }
        }
        // A connection whose two directions have both ended is closed.
        for (size_t k = 0; k + 1 < dirs.size();) {
            if (dirs[k].ended && dirs[k + 1].ended && dirs[k].queue.empty() && dirs[k + 1].queue.empty()) {
                close(dirs[k].from);
                close(dirs[k].to);
                dirs.erase(dirs.begin() + static_cast<long>(k), dirs.begin() + static_cast<long>(k) + 2);
            } else {
                k += 2;
            }
        }
    }
    _exit(0);
}

// A relay on 127.0.0.1 in front of a private server, in a process of its
// own; display() names it for Xlib (TCP).
class delay_relay {
  public:
    delay_relay(const std::string &server_display, double delay)
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        int n = 0;
        for (n = 60; n < 160; n++) {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<uint16_t>(6000 + n));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (bind(listener_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0)
                break;
        }
        if (n == 160 || listen(listener_, 16) != 0)
            die("no free port for the relay");
        display_ = "127.0.0.1:" + std::to_string(n);
        const std::string path = "/tmp/.X11-unix/X" + server_display.substr(server_display.find(':') + 1);
        pid_ = fork();
        if (pid_ == 0)
            relay_main(listener_, path, delay);
        close(listener_);
        if (pid_ < 0)
            die("fork failed");
    }
    ~delay_relay()
    {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    delay_relay(const delay_relay &) = delete;
    delay_relay &operator=(const delay_relay &) = delete;
    const std::string &display() const { return display_; }

  private:
    int listener_ = -1;
    pid_t pid_ = -1;
    std::string display_;
};

int program_mode(const std::string &name, int count)
{
    if (name == "kova-open-draw-close")
        kova_open_draw_close();
    else if (name == "raw-open-draw-close")
        raw_open_draw_close();
    else if (name == "kova-x8a")
        kova_x8a(count);
    else if (name == "raw-x8a")
        raw_x8a(count);
    else
        return 2;
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--program") == 0)
        return program_mode(argv[2], std::atoi(argv[3]));
    int delay_ms = 10, count = 1000;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--delay") == 0 && i + 1 < argc)
            delay_ms = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc)
            count = std::atoi(argv[++i]);
        else
            die("usage: round_trips [--delay MS] [--count N]");
    }
    if (delay_ms < 0 || count < 1)
        die("usage: round_trips [--delay MS] [--count N]");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    kt::PrivateServer s24(24, 1280, 1024), s8(8, 1280, 1024);
    std::printf("Replies waited for (each one a network round trip), counted in-process;\n"
                "private Xvfb 1280x1024, x8a's 1024x768 window with scrollbars.\n");

    setenv("DISPLAY", s24.name().c_str(), 1);
    print_rows("Single operations, 24-bit TrueColor:", operations_24());
    setenv("DISPLAY", s8.name().c_str(), 1);
    print_rows("Single operations, 8-bit PseudoColor:", operations_8());

    for (const kt::PrivateServer *s : {&s24, &s8}) {
        const std::string title = std::string("x8a's phases at ") + std::to_string(count) +
                                  " per step (one sweep pass), " + (s == &s24 ? "24" : "8") + "-bit:";
        print_replies(title.c_str(), run_program("kova-x8a", count, s->name()),
                      run_program("raw-x8a", count, s->name()));
    }

    delay_relay relay(s24.name(), delay_ms / 1000.0);
    const std::string each_way = std::to_string(delay_ms) + " ms each way";
    print_times(("Open/draw/close program through the relay, " + each_way +
                 " (100 named colours in 4 names, lines, rectangles, text in sizes 14 and 16; "
                 "a full read-back):").c_str(),
                run_program("kova-open-draw-close", count, relay.display()),
                run_program("raw-open-draw-close", count, relay.display()));
    print_times(("x8a at " + std::to_string(count) + " per step through the relay, " + each_way + ":").c_str(),
                run_program("kova-x8a", count, relay.display()),
                run_program("raw-x8a", count, relay.display()));
    return 0;
}
