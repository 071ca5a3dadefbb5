/*
 * symbols.cpp - marker symbols and arrows.  Everything is worked out in
 * pixels after the forward mapping, so a symbol or an arrowhead keeps its
 * shape and size on screen whatever the coordinate scales; the geometry
 * (symbol_geometry, plan_arrow) is plain arithmetic, the drawing goes
 * through the output layer.
 */
#include "kova_private.h"

#include <algorithm>
#include <cmath>

namespace {

/* Reach of each symbol shape, as a fraction of its size in pixels. */
constexpr double Sym_factor[10] = {0.52, 0.125, 0.5, 0.55, 0.44, 0.42, 0.62, 0.68, 0.43, 0.42};

/* Points handed to X travel as signed 16-bit values; a huge symbol or
 * arrowhead is cut at the edge of that range instead of wrapping round. */
short px16(long v)
{
    return static_cast<short>(clamp16(v));
}

XPoint xp(long x, long y)
{
    return XPoint{px16(x), px16(y)};
}

/* One symbol of shape t (0..9) centred on the pixel (cx, cy). */
int draw_symbol_at(int wn, int cx, int cy, int size, int t)
{
    Display *dis = Pc_dis;
    const symbol_reach g = symbol_geometry(size, t);
    const long x = cx, y = cy, d = g.d;
    const long T = y - g.r, B = y + g.m, L = x - g.m, R = x + g.m;
    auto line = [&](long x0, long y0, long x1, long y1) {
        return XX_DrawLine(dis, wn, px16(x0), px16(y0), px16(x1), px16(y1));
    };
    auto plain = [&](long x0, long y0, long x1, long y1) {
        return X_DrawLine(dis, wn, px16(x0), px16(y0), px16(x1), px16(y1));
    };
    switch (t) {
    case 0: {
        XPoint p[] = {xp(x, y), xp(x, T), xp(R, y), xp(x, B), xp(L, y), xp(x, T)};
        return X_DrawLines(dis, wn, p, 6);
    }
    case 1: {
        XPoint p[] = {xp(x, T), xp(R, y), xp(x, B), xp(L, y), xp(x, T)};
        return X_DrawLines(dis, wn, p, 5);
    }
    case 2:
        line(x, T, x, B);
        return line(L, y, R, y);
    case 3:
        line(x, T, x, B);
        line(L, y, R, y);
        line(x - d, y - d, x + d, y + d);
        return line(x + d, y - d, x - d, y + d);
    case 4:
        return X_DrawArc(dis, wn, px16(L), px16(T), static_cast<unsigned>(std::min(R - L, 65535L)),
                         static_cast<unsigned>(std::min(B - T, 65535L)), 0, 23040);
    case 5:
        line(L, T, R, B);
        return line(R, T, L, B);
    case 6: {
        /* The arms meet at the centre: only their outer ends and the centre
         * get the end-point dots, once each. */
        const bool dots = needs_pset(wn);
        if (dots)
            X_DrawPoint(dis, wn, px16(x - d), px16(y - d));
        plain(x - d, y - d, x, y);
        if (dots)
            X_DrawPoint(dis, wn, px16(x + d), px16(y - d));
        plain(x + d, y - d, x, y);
        if (dots)
            X_DrawPoint(dis, wn, cx, cy);
        return plain(x, B, x, y);
    }
    case 7: {
        XPoint p[] = {xp(x, y), xp(x, T), xp(L, B), xp(R, B), xp(x, T)};
        return X_DrawLines(dis, wn, p, 5);
    }
    case 8: {
        XPoint p[] = {xp(x, y), xp(x, T), xp(R, T), xp(R, B), xp(L, B), xp(L, T), xp(x, T)};
        return X_DrawLines(dis, wn, p, 7);
    }
    default: /* 9 */
        line(L, T, R, B);
        line(R, T, L, B);
        return plain(L, T, R, T);
    }
}

/* One arrowhead with tip P, corners C1 and C2 and base centre M, in the
 * style k; the spine P-M is added only to an arrow without a shaft. */
int draw_arrowhead(int wn, int k, bool shaftless, XPoint P, XPoint C1, XPoint C2, XPoint M)
{
    Display *dis = Pc_dis;
    auto line = [&](XPoint a, XPoint b) { return XX_DrawLine(dis, wn, a.x, a.y, b.x, b.y); };
    auto plain = [&](XPoint a, XPoint b) { return X_DrawLine(dis, wn, a.x, a.y, b.x, b.y); };
    int shown = 0;
    switch (k) {
    case 1:
    case 2:
    case 6:
        line(P, C1);
        line(P, C2);
        shown = plain(C1, C2);
        if (k == 2 && shaftless)
            shown = plain(P, M);
        if (k == 6) {
            XPoint tri[] = {P, C1, C2};
            shown = X_FillPolygon(dis, wn, tri, 3, Convex, CoordModeOrigin);
        }
        break;
    case 3:
    case 7:
        line(P, C1);
        shown = line(C1, M);
        if (shaftless)
            shown = plain(P, M);
        if (k == 7) {
            XPoint half[] = {P, C1, M};
            shown = X_FillPolygon(dis, wn, half, 3, Convex, CoordModeOrigin);
        }
        break;
    case 4:
        line(P, C1);
        shown = line(P, C2);
        if (shaftless)
            shown = line(P, M);
        break;
    case 5:
        shown = line(P, C1);
        if (shaftless)
            shown = line(P, M);
        break;
    default: /* 0, 8, 9: no head */
        break;
    }
    return shown;
}

} // namespace

symbol_reach symbol_geometry(int size, int t)
{
    const double reach = size * Sym_factor[t];
    const int r = std::max(0, _kova_iround(reach));
    return {r, t == 7 ? _kova_iround(size * 0.4) : r, _kova_iround(reach * 0.7)};
}

/* Codes 0..29 and 100..129 have a drawing: the tens digit is the shaft
 * (0 none, 1 with a head at the target, 2 with heads at both ends), the
 * units digit the head style, and a hundreds digit of 1 makes s and w
 * fractions of the arrow's length. */
arrow_plan plan_arrow(int sx, int sy, int tx, int ty, double s, double w, int shape)
{
    arrow_plan a{};
    if (shape < 0 || shape >= 200 || (shape / 10) % 10 > 2)
        return a;
    a.valid = true;
    a.tens = (shape / 10) % 10;
    a.style = shape % 10;
    const double dx = static_cast<double>(sx) - tx, dy = static_cast<double>(sy) - ty;
    if (shape > 99) {
        const double length = std::sqrt(dx * dx + dy * dy);
        s *= length;
        w *= length;
    }
    const double h = w / 2;
    const double len = std::sqrt(s * s + h * h);
    const double phi = std::atan2(h, s);
    const double theta = std::atan2(dy, dx);
    /* Offsets beyond any canvas are cut so that adding them to a pixel
     * position can never overflow. */
    auto off = [](double v) {
        const int i = _kova_iround(v);
        return i < -65536 ? -65536 : i > 65536 ? 65536 : i;
    };
    const double c1 = std::cos(theta - phi), s1 = std::sin(theta - phi);
    const double c2 = std::cos(theta + phi), s2 = std::sin(theta + phi);
    a.o1x = off(len * c1);
    a.o1y = off(len * s1);
    a.o2x = off(len * c2);
    a.o2y = off(len * s2);
    a.omx = off(len * (c1 + c2) / 2);
    a.omy = off(len * (s1 + s2) / 2);
    return a;
}

int draw_a_symbol(int wn, double x, double y, int size, int type)
{
    if (type <= 0)
        return 0;
    int cx, cy;
    xyconv(wn, x, y, &cx, &cy);
    return draw_symbol_at(wn, cx, cy, size, type % 10);
}

extern "C" KOVA_API void kova_drawsym(int wn, double x, double y, int size, int type)
{
    if (!window_is_open(wn))
        return;
    wait_child();
    if (draw_a_symbol(wn, x, y, size, type))
        do_auto_flush();
}

namespace {

template <typename Real>
void draw_symbols(int wn, const Real x[], const Real y[], int n, int size, int type)
{
    if (!window_is_open(wn) || !arrays_given(x, y, n))
        return;
    wait_child();
    int shown = 0;
    for (int i = 0; i < n; i++)
        shown |= draw_a_symbol(wn, x[i], y[i], size, type);
    if (shown)
        do_auto_flush();
}

} // namespace

extern "C" KOVA_API void kova_drawsyms(int wn, const double x[], const double y[], int n, int size,
                                       int type)
{
    draw_symbols(wn, x, y, n, size, type);
}

extern "C" KOVA_API void kova_drawsymsf(int wn, const float x[], const float y[], int n, int size,
                                        int type)
{
    draw_symbols(wn, x, y, n, size, type);
}

extern "C" KOVA_API void kova_drawarrow(int wn, double xs, double ys, double xt, double yt,
                                        double s, double w, int shape)
{
    if (!window_is_open(wn))
        return;
    const bool dots = needs_pset(wn);
    int sx, sy, tx, ty;
    xyconv(wn, xs, ys, &sx, &sy);
    xyconv(wn, xt, yt, &tx, &ty);
    const arrow_plan a = plan_arrow(sx, sy, tx, ty, s, w, shape);
    if (!a.valid)
        return;
    wait_child();

    Display *dis = Pc_dis;
    const XPoint S = xp(sx, sy), E = xp(tx, ty);
    const XPoint end_m = xp(tx + a.omx, ty + a.omy);
    const bool shaftless = a.tens == 0;
    int shown = draw_arrowhead(wn, a.style, shaftless, E, xp(tx + a.o1x, ty + a.o1y),
                               xp(tx + a.o2x, ty + a.o2y), end_m);
    const XPoint start_m = xp(sx - a.omx, sy - a.omy);
    if (a.tens == 2)
        shown |= draw_arrowhead(wn, a.style, shaftless, S, xp(sx - a.o1x, sy - a.o1y),
                                xp(sx - a.o2x, sy - a.o2y), start_m);

    /* Styles 0 and 1 stop the shaft at the base of the head, so that it
     * does not show through the open triangle. */
    const bool to_base = a.style <= 1;
    if (a.tens == 1) {
        const XPoint to = to_base ? end_m : E;
        shown |= X_DrawLine(dis, wn, S.x, S.y, to.x, to.y);
        if (dots)
            shown |= X_DrawPoint(dis, wn, S.x, S.y);
    } else if (a.tens == 2) {
        const XPoint from = to_base ? start_m : S, to = to_base ? end_m : E;
        shown |= X_DrawLine(dis, wn, from.x, from.y, to.x, to.y);
    }
    if (shown)
        do_auto_flush();
}
