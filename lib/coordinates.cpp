/*
 * coordinates.cpp - each window's linear mapping from user coordinates to
 * canvas pixels, and back.  Pure arithmetic on the window record: nothing
 * here talks to the X server.
 */
#include "kova_private.h"

#include <cmath>
#include <cstdio>

namespace {

/* Pixels per user unit that put s on pixel 0 and e on pixel size - 1; a
 * canvas one pixel across keeps one pixel per unit whatever the range. */
double edge_scale(int size, double s, double e)
{
    if (size <= 1)
        return 1.0;
    return size / (size * (e - s) / (size - 1));
}

/* An empty or infinite range, or an infinite origin, would send every
 * later point to the clamp limits: such a mapping is refused. */
bool usable(double x0, double y0, double sx, double sy)
{
    return std::isfinite(x0) && std::isfinite(y0) && std::isfinite(sx) && std::isfinite(sy) &&
           sx != 0.0 && sy != 0.0;
}

void set_mapping(int wn, double x0, double y0, double sx, double sy)
{
    if (!usable(x0, y0, sx, sy)) {
        _kova_warn("Degenerate coordinate system ignored; the previous one stays.");
        return;
    }
    pc_window &w = Pc[wn];
    w.user_x0 = x0;
    w.user_y0 = y0;
    w.scale_x = sx;
    w.scale_y = sy;
}

} // namespace

extern "C" KOVA_API void kova_window(int wn, double xs, double ys, double xe, double ye)
{
    if (!window_is_open(wn))
        return;
    const pc_window &w = Pc[wn];
    set_mapping(wn, xs, ys, edge_scale(w.width, xs, xe), edge_scale(w.height, ys, ye));
}

extern "C" KOVA_API void kova_coordinate(int wn, int xw, int yw, double xcen, double ycen,
                                         double xs, double ys)
{
    if (!window_is_open(wn))
        return;
    set_mapping(wn, (xcen * xs - xw) / xs, (ycen * ys - yw) / ys, xs, ys);
}

void xyconv(int wn, double x, double y, int *px, int *py)
{
    const pc_window &w = Pc[wn];
    *px = _kova_iround(clamp16((x - w.user_x0) * w.scale_x));
    int iy = _kova_iround(clamp16((y - w.user_y0) * w.scale_y));
    if (w.attributes & KOVA_ATTR_Y_UP) {
        int up = w.height - iy - 1;
        *py = clamp16(up);
    } else {
        *py = iy;
    }
}

void xyinv(int wn, int qx, int qy, double *x, double *y)
{
    const pc_window &w = Pc[wn];
    int r = (w.attributes & KOVA_ATTR_Y_UP) ? w.height - 1 - qy : qy;
    *x = qx / w.scale_x + w.user_x0;
    *y = r / w.scale_y + w.user_y0;
}
