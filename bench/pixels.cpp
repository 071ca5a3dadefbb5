// pixels - pixel transfer, page flipping and scrolling against plain Xlib
// issuing the same requests, at 24 and at 16 bits (one private Xvfb for
// each, started and stopped by this program, one after the other).
//
//   kova_putimg24    a 1024 x 768 image into a hidden layer; Xlib: XPutImage
//                    of the same picture already in the server's format,
//                    then starting from the same image buffer
//   kova_ggetimage   the same area read back; Xlib: XGetImage
//   flip-book        clear the hidden layer, 1,000 lines into it, show it
//                    and write into the other (frames per second)
//   kova_gscroll     one shifted whole-layer copy, shown (time per call)
//
// Rounds alternate between the two sides; the figures are medians.  The
// last lines count the allocations made by repeated puts of one size.
//
// Usage: pixels [rounds]
#include "kova_private.h"
#include "allocation_count.hpp"
#include "xserver.hpp"

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>


namespace {

constexpr int W = 1024, H = 768;
constexpr int Lines = 1000;
constexpr double Image_mb = 4.0 * W * H / 1e6;

// ---- the plain-Xlib side ------------------------------------------------

struct Plain {
    Display *d = nullptr;
    Window win = 0, listener = 0;
    Pixmap layer[2] = {0, 0}, spare = 0;
    GC gc = nullptr, tile_gc = nullptr, bg_gc = nullptr;
    XImage *native = nullptr; // the test picture in the server's format
    int shown = 0;

    bool open(const char *name, const std::vector<unsigned char> &argb)
    {
        d = XOpenDisplay(name);
        if (!d)
            return false;
        int scr = DefaultScreen(d);
        auto depth = static_cast<unsigned>(DefaultDepth(d, scr));
        win = kt::map_window(d, W + 20, 0, W, H);
        listener = XCreateSimpleWindow(d, RootWindow(d, scr), 0, 0, 1, 1, 0, 0, 0);
        for (Pixmap &p : layer)
            p = XCreatePixmap(d, win, W, H, depth);
        spare = XCreatePixmap(d, win, W, H, depth);
        XGCValues v;
        v.graphics_exposures = False;
        gc = XCreateGC(d, win, GCGraphicsExposures, &v);
        XSetForeground(d, gc, 0xffffff);
        bg_gc = XCreateGC(d, win, GCGraphicsExposures, &v);
        v.fill_style = FillTiled;
        v.tile = layer[0];
        tile_gc = XCreateGC(d, win, GCFillStyle | GCTile | GCGraphicsExposures, &v);
        for (Pixmap p : {layer[0], layer[1], spare})
            XFillRectangle(d, p, bg_gc, 0, 0, W, H);
        native = XGetImage(d, layer[1], 0, 0, W, H, AllPlanes, ZPixmap);
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                const unsigned char *p = &argb[4 * (static_cast<size_t>(y) * W + x)];
                XPutPixel(native, x, y, kt::truecolor(p[1], p[2], p[3]));
            }
        XSync(d, False);
        return true;
    }
    void close()
    {
        XDestroyImage(native);
        XFreeGC(d, gc);
        XFreeGC(d, tile_gc);
        XFreeGC(d, bg_gc);
        for (Pixmap p : {layer[0], layer[1], spare})
            XFreePixmap(d, p);
        XDestroyWindow(d, listener);
        XDestroyWindow(d, win);
        XCloseDisplay(d);
    }
    // What the library sends the window child when the shown pixmap changes.
    void tell(Pixmap p)
    {
        XEvent ev;
        memset(&ev, 0, sizeof ev);
        ev.xgraphicsexpose.type = GraphicsExpose;
        ev.xgraphicsexpose.drawable = p;
        ev.xgraphicsexpose.minor_code = 11;
        XSendEvent(d, listener, False, ExposureMask, &ev);
        XFlush(d);
    }
    void show(Pixmap p)
    {
        XSetTile(d, tile_gc, p);
        XFillRectangle(d, win, tile_gc, 0, 0, W, H);
        XFlush(d);
    }
};

struct Line {
    int x0, y0, x1, y1;
};

double seconds_for(const std::function<void()> &step, int n, Display *sync_on)
{
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < n; i++)
        step();
    XSync(sync_on, False);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / n;
}

// Median seconds per step of each side, rounds alternating.
std::pair<double, double> measure(const std::function<void()> &kova, const std::function<void()> &plain,
                                  int n, int rounds, Display *pd)
{
    seconds_for(kova, 2, Pc_dis);
    seconds_for(plain, 2, pd);
    std::vector<double> k, p;
    for (int r = 0; r < rounds; r++) {
        k.push_back(seconds_for(kova, n, Pc_dis));
        p.push_back(seconds_for(plain, n, pd));
    }
    return {kt::median(k), kt::median(p)};
}

void run_depth(int depth, int rounds)
{
    // Side by side: both windows on view, so that copies onto them cost what
    // they cost on a screen.
    kt::PrivateServer server(depth, 2 * W + 40, H + 20);
    const std::string &name = server.name();
    setenv("DISPLAY", name.c_str(), 1);

    std::vector<unsigned char> argb(4 * static_cast<size_t>(W) * H);
    std::mt19937 rng(7);
    for (size_t i = 0; i < argb.size(); i++)
        argb[i] = static_cast<unsigned char>(i % 4 == 0 ? 255 : rng());
    std::vector<Line> lines(Lines);
    std::uniform_int_distribution<int> ux(0, W - 1), uy(0, H - 1);
    for (Line &l : lines)
        l = {ux(rng), uy(rng), ux(rng), uy(rng)};

    kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS | KOVA_ATTR_Y_UP);
    kova_gsetinitialgeometry("+0+0");
    int wn = kova_gopen(W, H);
    kova_newpen(wn, 1);
    Plain plain;
    if (!plain.open(name.c_str(), argb)) {
        fputs("pixels: cannot connect to the private server\n", stderr);
        kova_gcloseall();
        return;
    }
    printf("\n%d bits, private Xvfb %s, %d rounds, median\n", depth, name.c_str(), rounds);
    printf("%-34s %12s %12s %8s\n", "", "kova", "Xlib", "ratio");

    // Puts and reads into a hidden layer, so that only the transfer counts.
    kova_layer(wn, 0, 1);
    auto [kp, pp] = measure([&] { kova_putimg24(wn, 0, 0, W, H, argb.data()); },
                            [&] {
                                XPutImage(plain.d, plain.layer[1], plain.gc, plain.native, 0, 0, 0,
                                          0, W, H);
                            },
                            10, rounds, plain.d);
    printf("%-34s %12.1f %12.1f %8.3f\n", "kova_putimg24 1024x768 (MB/s)", Image_mb / kp,
           Image_mb / pp, pp / kp);
    // The same picture starting from the image buffer, as a plain program
    // holding it would: at 24 bits Xlib reorders an MSB-first image, at 16
    // a plain loop converts.
    std::vector<unsigned char> converted(4 * static_cast<size_t>(W) * H);
    XImage from_buffer = *plain.native;
    if (depth == 24) {
        from_buffer.data = reinterpret_cast<char *>(argb.data());
        from_buffer.byte_order = from_buffer.bitmap_bit_order = MSBFirst;
    } else {
        from_buffer.data = reinterpret_cast<char *>(converted.data());
    }
    XInitImage(&from_buffer);
    auto [kc, pc] = measure([&] { kova_putimg24(wn, 0, 0, W, H, argb.data()); },
                            [&] {
                                if (depth != 24)
                                    for (int y = 0; y < H; y++)
                                        for (int x = 0; x < W; x++) {
                                            const unsigned char *p = &argb[4 * (static_cast<size_t>(y) * W + x)];
                                            XPutPixel(&from_buffer, x, y, (p[1] >> 3) << 11 | (p[2] >> 2) << 5 | p[3] >> 3);
                                        }
                                XPutImage(plain.d, plain.layer[1], plain.gc, &from_buffer, 0, 0, 0,
                                          0, W, H);
                            },
                            10, rounds, plain.d);
    printf("%-34s %12.1f %12.1f %8.3f\n", "  Xlib from the image buffer", Image_mb / kc,
           Image_mb / pc, pc / kc);
    auto [kg, pg] = measure(
        [&] {
            int w, h;
            free(kova_ggetimage(wn, 1, 0, 0, W - 1, H - 1, &w, &h));
        },
        [&] { XDestroyImage(XGetImage(plain.d, plain.layer[1], 0, 0, W, H, AllPlanes, ZPixmap)); },
        10, rounds, plain.d);
    printf("%-34s %12.1f %12.1f %8.3f\n", "kova_ggetimage 1024x768 (MB/s)", Image_mb / kg,
           Image_mb / pg, pg / kg);

    // Flip-book: layers 0 and 1 take turns.
    int back = 1;
    auto [kf, pf] = measure(
        [&] {
            kova_gclr(wn);
            for (const Line &l : lines)
                kova_drawline(wn, l.x0, l.y0, l.x1, l.y1);
            kova_layer(wn, back, 1 - back);
            back = 1 - back;
        },
        [&] {
            Pixmap p = plain.layer[1 - plain.shown];
            XFillRectangle(plain.d, p, plain.bg_gc, 0, 0, W, H);
            for (const Line &l : lines) {
                XDrawPoint(plain.d, p, plain.gc, l.x0, l.y0);
                XDrawLine(plain.d, p, plain.gc, l.x0, l.y0, l.x1, l.y1);
                XDrawPoint(plain.d, p, plain.gc, l.x1, l.y1);
            }
            plain.tell(p);
            plain.show(p);
            plain.shown = 1 - plain.shown;
        },
        20, rounds, plain.d);
    printf("%-34s %12.1f %12.1f %8.3f\n", "flip-book, 1000 lines (frames/s)", 1 / kf, 1 / pf,
           pf / kf);

    kova_layer(wn, 0, 0);
    auto [ks, ps] = measure([&] { kova_gscroll(wn, 3, 2, 0); },
                            [&] {
                                Pixmap p = plain.layer[0];
                                XSetTSOrigin(plain.d, plain.tile_gc, 3, 2);
                                XSetTile(plain.d, plain.tile_gc, p);
                                XFillRectangle(plain.d, plain.spare, plain.tile_gc, 0, 0, W, H);
                                std::swap(plain.layer[0], plain.spare);
                                plain.tell(plain.layer[0]);
                                XSetTSOrigin(plain.d, plain.tile_gc, 0, 0);
                                plain.show(plain.layer[0]);
                            },
                            50, rounds, plain.d);
    printf("%-34s %12.1f %12.1f %8.3f\n", "kova_gscroll, shown (us/call)", ks * 1e6, ps * 1e6,
           ps / ks);

    for (int masked : {0, 1}) {
        kova_gputimage(wn, 0, 0, argb.data(), W, H, masked);
        XSync(Pc_dis, False);
        Allocations = 0;
        Counting = true;
        for (int i = 0; i < 20; i++)
            kova_gputimage(wn, 0, 0, argb.data(), W, H, masked);
        Counting = false;
        XSync(Pc_dis, False);
        printf("allocations during 20 %s puts of one size: %ld\n", masked ? "masked" : "unmasked",
               Allocations);
    }

    plain.close();
    kova_gcloseall();
}

} // namespace

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    if (rounds < 1)
        rounds = 1;
    printf("kova pixel transfer, page flipping and scrolling against plain Xlib\n");
    for (int depth : {24, 16})
        run_depth(depth, rounds);
    return 0;
}
