/*
 * primitives.cpp - the output layer and the primitives built on it.
 *
 * The output layer sends each X drawing request to the write layer's pixmap
 * and, when that layer is the shown one, to the window and its dock icon as
 * well, reporting whether the window was reached (only then is a flush
 * due).  Above it: points, lines, polylines, polygons, rectangles and the
 * pen-plotter steps, in user coordinates.
 */
#include "kova_private.h"

#include <cstdlib>

namespace {

/* The drawing functions under which line end points get an extra point.
 * Each of them gives the same pixel when it draws twice; under GXxor,
 * GXinvert, GXandReverse or GXorReverse the extra point would undo the
 * line's own end pixel. */
constexpr unsigned End_point_functions = 1u << GXclear | 1u << GXand | 1u << GXcopy |
                                         1u << GXnoop | 1u << GXor | 1u << GXset;

XPoint to_pixel(int wn, double x, double y)
{
    int px, py;
    xyconv(wn, x, y, &px, &py);
    return XPoint{static_cast<short>(px), static_cast<short>(py)};
}

/* The common sequence of the array operations: check the window and the
 * arrays, convert the n vertices (and, for a closed outline, a copy of the
 * first after them) into one array, wait for the image-saving child, issue,
 * flush if the window was drawn on.  Nothing at all happens for n <= 0. */
template <class T, class Issue>
void with_points(int wn, const T *x, const T *y, int n, bool closed, Issue issue)
{
    if (!window_is_open(wn) || !arrays_given(x, y, n))
        return;
    int count = closed ? n + 1 : n;
    malloc_ptr<XPoint> pts(
        static_cast<XPoint *>(_kova_xmalloc(sizeof(XPoint) * static_cast<size_t>(count))));
    XPoint *p = pts.get();
    for (int i = 0; i < n; i++)
        p[i] = to_pixel(wn, x[i], y[i]);
    if (closed)
        p[n] = p[0];
    wait_child();
    if (issue(p, count))
        do_auto_flush();
}

template <class T>
void drawpts(int wn, const T *x, const T *y, int n)
{
    with_points(wn, x, y, n, false,
                [wn](XPoint *p, int c) { return X_DrawPoints(Pc_dis, wn, p, c); });
}

/* Under the end-point rule only the first and last vertex get an extra
 * point; interior vertices are drawn by the polyline's joins. */
template <class T>
void drawlines(int wn, const T *x, const T *y, int n)
{
    with_points(wn, x, y, n, false, [wn](XPoint *p, int c) {
        const bool ends = needs_pset(wn);
        if (ends)
            X_DrawPoint(Pc_dis, wn, p[0].x, p[0].y);
        int shown = X_DrawLines(Pc_dis, wn, p, c);
        if (ends)
            X_DrawPoint(Pc_dis, wn, p[c - 1].x, p[c - 1].y);
        return shown;
    });
}

template <class T>
void drawpoly(int wn, const T *x, const T *y, int n)
{
    with_points(wn, x, y, n, true,
                [wn](XPoint *p, int c) { return X_DrawLines(Pc_dis, wn, p, c); });
}

template <class T>
void fillpoly(int wn, const T *x, const T *y, int n, int shape)
{
    int xshape = shape ? Convex : Complex;
    with_points(wn, x, y, n, false, [wn, xshape](XPoint *p, int c) {
        return X_FillPolygon(Pc_dis, wn, p, c, xshape, CoordModeOrigin);
    });
}

/* Both rectangles span the pixels of the two corners; the outline covers
 * one more row and column than the filled area, as X draws them. */
void rectangle(int wn, double x, double y, double w, double h,
               int (*issue)(Display *, int, int, int, unsigned int, unsigned int))
{
    if (!window_is_open(wn))
        return;
    int px0, py0, px1, py1;
    xyconv(wn, x, y, &px0, &py0);
    xyconv(wn, x + w, y + h, &px1, &py1);
    wait_child();
    if (issue(Pc_dis, wn, px0 < px1 ? px0 : px1, py0 < py1 ? py0 : py1,
              static_cast<unsigned int>(std::abs(px1 - px0)),
              static_cast<unsigned int>(std::abs(py1 - py0))))
        do_auto_flush();
}

} // namespace

/* ---- output layer ------------------------------------------------------ */

int needs_pset(int wn)
{
    const pc_window &w = Pc[wn];
    return w.line_width == 1 && w.line_style == LineSolid && w.gc_function >= GXclear &&
           w.gc_function <= GXset && (End_point_functions >> w.gc_function & 1u);
}

int X_DrawPoint(Display *dis, int wn, int x, int y)
{
    GC gc = Pc[wn].pen_gc;
    return output_targets(wn, [=](Drawable d) { XDrawPoint(dis, d, gc, x, y); });
}

int X_DrawPoints(Display *dis, int wn, XPoint *pts, int n)
{
    GC gc = Pc[wn].pen_gc;
    return output_targets(wn,
                          [=](Drawable d) { XDrawPoints(dis, d, gc, pts, n, CoordModeOrigin); });
}

int X_DrawLine(Display *dis, int wn, int x0, int y0, int x1, int y1)
{
    GC gc = Pc[wn].pen_gc;
    return output_targets(wn, [=](Drawable d) { XDrawLine(dis, d, gc, x0, y0, x1, y1); });
}

/* A one-pixel line may leave out an end pixel (a zero-length one may draw
 * nothing); where drawing a pixel twice is harmless both ends are set
 * explicitly, so that a line covers both its end points. */
int XX_DrawLine(Display *dis, int wn, int x0, int y0, int x1, int y1)
{
    GC gc = Pc[wn].pen_gc;
    bool ends = needs_pset(wn);
    return output_targets(wn, [=](Drawable d) {
        if (ends)
            XDrawPoint(dis, d, gc, x0, y0);
        XDrawLine(dis, d, gc, x0, y0, x1, y1);
        if (ends)
            XDrawPoint(dis, d, gc, x1, y1);
    });
}

int X_DrawLines(Display *dis, int wn, XPoint *pts, int n)
{
    GC gc = Pc[wn].pen_gc;
    return output_targets(wn,
                          [=](Drawable d) { XDrawLines(dis, d, gc, pts, n, CoordModeOrigin); });
}

int X_DrawArc(Display *dis, int wn, int x, int y, unsigned int w, unsigned int h, int a1, int a2)
{
    GC gc = Pc[wn].pen_gc;
    return output_targets(wn, [=](Drawable d) { XDrawArc(dis, d, gc, x, y, w, h, a1, a2); });
}

int X_FillArc(Display *dis, int wn, int x, int y, unsigned int w, unsigned int h, int a1, int a2)
{
    GC gc = Pc[wn].pen_gc;
    return output_targets(wn, [=](Drawable d) { XFillArc(dis, d, gc, x, y, w, h, a1, a2); });
}

int X_FillPolygon(Display *dis, int wn, XPoint *pts, int n, int shape, int mode)
{
    GC gc = Pc[wn].pen_gc;
    return output_targets(wn, [=](Drawable d) { XFillPolygon(dis, d, gc, pts, n, shape, mode); });
}

int X_DrawRectangle(Display *dis, int wn, int x, int y, unsigned int w, unsigned int h)
{
    GC gc = Pc[wn].pen_gc;
    return output_targets(wn, [=](Drawable d) { XDrawRectangle(dis, d, gc, x, y, w, h); });
}

int X_FillRectangle(Display *dis, int wn, int x, int y, unsigned int w, unsigned int h)
{
    GC gc = Pc[wn].pen_gc;
    return output_targets(wn, [=](Drawable d) { XFillRectangle(dis, d, gc, x, y, w, h); });
}

/* ---- primitives ---------------------------------------------------------- */

extern "C" KOVA_API void kova_pset(int wn, double x, double y)
{
    if (!window_is_open(wn))
        return;
    XPoint p = to_pixel(wn, x, y);
    wait_child();
    if (X_DrawPoint(Pc_dis, wn, p.x, p.y))
        do_auto_flush();
}

extern "C" KOVA_API void kova_drawline(int wn, double x0, double y0, double x1, double y1)
{
    if (!window_is_open(wn))
        return;
    XPoint a = to_pixel(wn, x0, y0);
    XPoint b = to_pixel(wn, x1, y1);
    wait_child();
    if (XX_DrawLine(Pc_dis, wn, a.x, a.y, b.x, b.y))
        do_auto_flush();
}

/* The current point is kept in pixels: a change of mapping between a move
 * and a draw does not move the line's first pixel. */
extern "C" KOVA_API void kova_line(int wn, double x, double y, int mode)
{
    if (!window_is_open(wn) || mode < 1 || mode > 3)
        return;
    XPoint q = to_pixel(wn, x, y);
    pc_window &w = Pc[wn];
    int shown = 0;
    if (mode != 3) {
        wait_child();
        shown = mode == 1 ? X_DrawPoint(Pc_dis, wn, q.x, q.y)
                          : XX_DrawLine(Pc_dis, wn, w.pen_x, w.pen_y, q.x, q.y);
    }
    w.pen_x = q.x;
    w.pen_y = q.y;
    if (shown)
        do_auto_flush();
}

extern "C" KOVA_API void kova_moveto(int wn, double x, double y)
{
    kova_line(wn, x, y, 3);
}

extern "C" KOVA_API void kova_lineto(int wn, double x, double y)
{
    kova_line(wn, x, y, 2);
}

extern "C" KOVA_API void kova_drawpts(int wn, const double x[], const double y[], int n)
{
    drawpts(wn, x, y, n);
}

extern "C" KOVA_API void kova_drawptsf(int wn, const float x[], const float y[], int n)
{
    drawpts(wn, x, y, n);
}

extern "C" KOVA_API void kova_drawlines(int wn, const double x[], const double y[], int n)
{
    drawlines(wn, x, y, n);
}

extern "C" KOVA_API void kova_drawlinesf(int wn, const float x[], const float y[], int n)
{
    drawlines(wn, x, y, n);
}

extern "C" KOVA_API void kova_drawpoly(int wn, const double x[], const double y[], int n)
{
    drawpoly(wn, x, y, n);
}

extern "C" KOVA_API void kova_drawpolyf(int wn, const float x[], const float y[], int n)
{
    drawpoly(wn, x, y, n);
}

extern "C" KOVA_API void kova_fillpoly(int wn, const double x[], const double y[], int n, int shape)
{
    fillpoly(wn, x, y, n, shape);
}

extern "C" KOVA_API void kova_fillpolyf(int wn, const float x[], const float y[], int n, int shape)
{
    fillpoly(wn, x, y, n, shape);
}

extern "C" KOVA_API void kova_drawrect(int wn, double x, double y, double w, double h)
{
    rectangle(wn, x, y, w, h, X_DrawRectangle);
}

extern "C" KOVA_API void kova_fillrect(int wn, double x, double y, double w, double h)
{
    rectangle(wn, x, y, w, h, X_FillRectangle);
}
