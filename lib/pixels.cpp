/*
 * pixels.cpp - pixel transfer between application memory and layers.
 */
#include "kova_private.h"

#include <cstdlib>

namespace {

int clamp_to(int v, int size)
{
    if (v >= size)
        v = size - 1;
    return v < 0 ? 0 : v;
}

} // namespace

void cnv_2p_to_pwh(int wn, double x0, double y0, double x1, double y1, int *px, int *py,
                   int *pw, int *ph)
{
    const pc_window &w = Pc[wn];
    int xa, ya, xb, yb;
    xyconv(wn, x0, y0, &xa, &ya);
    xyconv(wn, x1, y1, &xb, &yb);
    xa = clamp_to(xa, w.width);
    xb = clamp_to(xb, w.width);
    ya = clamp_to(ya, w.height);
    yb = clamp_to(yb, w.height);
    *px = xa < xb ? xa : xb;
    *py = ya < yb ? ya : yb;
    *pw = std::abs(xb - xa) + 1;
    *ph = std::abs(yb - ya) + 1;
}
