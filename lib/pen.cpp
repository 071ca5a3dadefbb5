/*
 * pen.cpp - the window's pen: foreground colour of pen_gc (by name, by
 * red/green/blue, by hue/saturation/value or by numbered pen), line width,
 * line style and drawing function.  Nothing here draws or flushes.
 */
#include "kova_private.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

struct rgb8 {
    int r, g, b;
};

constexpr rgb8 Pen_table[16] = {
    {0, 0, 0},       {255, 255, 255}, {255, 0, 0},   {0, 255, 0},
    {0, 0, 255},     {0, 255, 255},   {255, 0, 255}, {255, 255, 0},
    {105, 105, 105}, {190, 190, 190}, {139, 0, 0},   {0, 139, 0},
    {0, 0, 139},     {0, 139, 139},   {139, 0, 139}, {139, 139, 0},
};

int clamp255(std::int64_t c)
{
    return c < 0 ? 0 : c > 255 ? 255 : static_cast<int>(c);
}

void set_foreground(int wn, unsigned long pixel)
{
    XSetForeground(Pc_dis, Pc[wn].pen_gc, pixel);
}

void change_gc(int wn, unsigned long mask, XGCValues &v)
{
    wait_child();
    XChangeGC(Pc_dis, Pc[wn].pen_gc, mask, &v);
}

/* The pen colour of an open window from 8-bit components (clamped). */
void set_rgb(int wn, int r, int g, int b)
{
    r = clamp255(r);
    g = clamp255(g);
    b = clamp255(b);
    wait_child();
    set_foreground(wn, colour_pixel(r, g, b));
}

} // namespace

/* Integer arithmetic throughout, divisions truncating toward zero; 64-bit
 * intermediates keep absurd inputs from overflowing, and inputs are limited
 * to a range far beyond any colour so that the products stay exact. */
void hsv_to_rgb(int h, int s, int v, int *r, int *g, int *b)
{
    constexpr std::int64_t lim = 1 << 20;
    auto limit = [](int x) { return x < -lim ? -lim : x > lim ? lim : std::int64_t{x}; };
    std::int64_t H = h, S = limit(s), V = limit(v);
    std::int64_t R, G, B;
    if (S == 0) {
        R = G = B = V;
    } else {
        std::int64_t p = V * (255 - S) / 255;
        std::int64_t f = (6 * H) % 360;
        std::int64_t q = V * (255 - S * f / 360) / 255;
        std::int64_t t = V * (255 - S * (360 - f) / 360) / 255;
        switch (H / 60) {
        case 0: R = V, G = t, B = p; break;
        case 1: R = q, G = V, B = p; break;
        case 2: R = p, G = V, B = t; break;
        case 3: R = p, G = q, B = V; break;
        case 4: R = t, G = p, B = V; break;
        default: R = V, G = p, B = q; break;
        }
    }
    *r = clamp255(R);
    *g = clamp255(G);
    *b = clamp255(B);
}

extern "C" KOVA_API void kova_newrgbcolor(int wn, int r, int g, int b)
{
    if (window_is_open(wn))
        set_rgb(wn, r, g, b);
}

extern "C" KOVA_API void kova_newhsvcolor(int wn, int h, int s, int v)
{
    if (!window_is_open(wn))
        return;
    int r, g, b;
    hsv_to_rgb(h, s, v, &r, &g, &b);
    set_rgb(wn, r, g, b);
}

extern "C" KOVA_API void kova_newpen(int wn, int n)
{
    if (!window_is_open(wn) || n < 0)
        return;
    const rgb8 &c = Pen_table[n % 16];
    set_rgb(wn, c.r, c.g, c.b);
}

extern "C" KOVA_API void kova_newcolor(int wn, const char *fmt, ...)
{
    if (!window_is_open(wn) || !fmt)
        return;
    va_list ap;
    va_start(ap, fmt);
    malloc_str name(_kova_vasprintf(fmt, ap));
    va_end(ap);
    wait_child();
    set_foreground(wn, get_color_pixel(name.get()));
}

/* A line twice as wide as the canvas diagonal covers the canvas wherever it
 * crosses it, while the server's work grows with the width (a dashed line
 * 65535 pixels wide across the coordinate range costs it a second or two
 * per segment): wider ones are drawn at that width.  The limit also keeps
 * the width within the protocol's 16 bits rather than wrapping to a thin
 * line. */
extern "C" KOVA_API void kova_newlinewidth(int wn, int width)
{
    if (!window_is_open(wn))
        return;
    const pc_window &pw = Pc[wn];
    const auto widest = std::min<std::int64_t>(
        65535, 2 * static_cast<std::int64_t>(std::ceil(std::hypot(pw.width, pw.height))));
    std::int64_t w = width < 0 ? -std::int64_t{width} : width;
    XGCValues v;
    v.line_width = static_cast<int>(std::min(w, widest));
    Pc[wn].line_width = v.line_width;
    change_gc(wn, GCLineWidth, v);
}

/* Values the server would answer with a protocol error (which ends the
 * program) are refused with a warning; the pen keeps its style. */
extern "C" KOVA_API void kova_newlinestyle(int wn, int style)
{
    if (!window_is_open(wn))
        return;
    if (style < LineSolid || style > LineDoubleDash) {
        _kova_warn("Invalid line style %d ignored.", style);
        return;
    }
    Pc[wn].line_style = style;
    XGCValues v;
    v.line_style = style;
    change_gc(wn, GCLineStyle, v);
}

extern "C" KOVA_API void kova_newgcfunction(int wn, int func)
{
    if (!window_is_open(wn))
        return;
    if (func < GXclear || func > GXset) {
        _kova_warn("Invalid drawing function %d ignored.", func);
        return;
    }
    Pc[wn].gc_function = func;
    XGCValues v;
    v.function = func;
    change_gc(wn, GCFunction, v);
}
