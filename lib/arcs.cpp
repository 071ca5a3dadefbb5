/*
 * arcs.cpp - elliptical arcs, circles and ellipses, outlined or filled.
 * Each shape becomes one X arc: the bounding box in pixels and two angles
 * in 1/64 degree (or, for dashed wide arcs the server would take minutes
 * over, the polyline through it).
 */
#include "kova_private.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::int64_t Full_turn = 360 * 64;

/* The server's work for a dashed wide arc grows with its number of dashes
 * times the square of the width (a circle 65535 pixels across, dashed 600
 * wide, takes it half a minute), and explodes when half the width exceeds
 * the sharpest radius of curvature (a flat ellipse: every dash becomes an
 * offset curve with cusps).  Such arcs are drawn as the dashed polyline
 * through them, one vertex every few pixels of their length, which costs
 * the server about as much as a straight dashed line. */
constexpr double Costly_dash_work = 1e7;

double arc_length(const XArc &a)
{
    return M_PI * (a.width + a.height) / 2.0 * std::abs(a.angle2) / Full_turn;
}

bool needs_polyline(int wn, const XArc &a)
{
    const pc_window &w = Pc[wn];
    if (w.line_style == LineSolid || w.line_width <= 1 || a.width == 0 || a.height == 0)
        return false;
    const double big = std::max(a.width, a.height) / 2.0, small = std::min(a.width, a.height) / 2.0;
    const double dashes = arc_length(a) / 8;  /* the default dash list: 4 on, 4 off */
    return w.line_width / 2.0 > small * small / big ||
           dashes * w.line_width * w.line_width > Costly_dash_work;
}

int draw_arc_as_polyline(int wn, const XArc &a)
{
    constexpr int Most_points = 4096;
    const double rx = a.width / 2.0, ry = a.height / 2.0;
    const double cx = a.x + rx, cy = a.y + ry;
    const double start = a.angle1 / 64.0 * M_PI / 180, turn = a.angle2 / 64.0 * M_PI / 180;
    const int n =
        static_cast<int>(std::min<double>(Most_points - 1, std::ceil(arc_length(a) / 4) + 8));
    malloc_ptr<XPoint> pts(
        static_cast<XPoint *>(_kova_xmalloc(sizeof(XPoint) * (static_cast<size_t>(n) + 1))));
    for (int i = 0; i <= n; i++) {
        const double t = start + turn * i / n;
        pts.get()[i] = {static_cast<short>(clamp16(std::lround(cx + rx * std::cos(t)))),
                        static_cast<short>(clamp16(std::lround(cy - ry * std::sin(t))))};
    }
    return X_DrawLines(Pc_dis, wn, pts.get(), n + 1);
}

void arc(int wn, double xcen, double ycen, double xrad, double yrad, double sang, double eang,
         int idir, int (*issue)(Display *, int, int, int, unsigned int, unsigned int, int, int))
{
    if (!window_is_open(wn))
        return;
    XArc a = arc_request(wn, xcen, ycen, xrad, yrad, sang, eang, idir);
    wait_child();
    const int shown = issue == X_DrawArc && needs_polyline(wn, a)
                          ? draw_arc_as_polyline(wn, a)
                          : issue(Pc_dis, wn, a.x, a.y, a.width, a.height, a.angle1, a.angle2);
    if (shown)
        do_auto_flush();
}

} // namespace

/* The box is spanned by the two corners of the ellipse, so a radius of r
 * pixels gives a box 2r wide.  Angles are not mapped: they run
 * counter-clockwise on the screen whatever the direction of the axes.
 * X carries angles in 16 bits; the start is reduced to within one turn and
 * the extent limited to one turn (the server draws no more than that), so
 * that angles beyond 360 degrees keep their meaning instead of wrapping. */
XArc arc_request(int wn, double xcen, double ycen, double xrad, double yrad, double sang,
                 double eang, int idir)
{
    int ax, ay, bx, by;
    xyconv(wn, xcen - xrad, ycen - yrad, &ax, &ay);
    xyconv(wn, xcen + xrad, ycen + yrad, &bx, &by);
    std::int64_t s = _kova_iround(sang * 64);
    std::int64_t extent;
    if (idir == -1 && eang >= sang)
        extent = -s - _kova_iround((360 - eang) * 64);
    else
        extent = _kova_iround(eang * 64) - s;
    if (extent > Full_turn)
        extent = Full_turn;
    else if (extent < -Full_turn)
        extent = -Full_turn;
    XArc a;
    a.x = static_cast<short>(ax < bx ? ax : bx);
    a.y = static_cast<short>(ay < by ? ay : by);
    a.width = static_cast<unsigned short>(std::abs(bx - ax));
    a.height = static_cast<unsigned short>(std::abs(by - ay));
    a.angle1 = static_cast<short>(s % Full_turn);
    a.angle2 = static_cast<short>(extent);
    return a;
}

extern "C" KOVA_API void kova_drawarc(int wn, double xcen, double ycen, double xrad, double yrad,
                                      double sang, double eang, int idir)
{
    arc(wn, xcen, ycen, xrad, yrad, sang, eang, idir, X_DrawArc);
}

extern "C" KOVA_API void kova_fillarc(int wn, double xcen, double ycen, double xrad, double yrad,
                                      double sang, double eang, int idir)
{
    arc(wn, xcen, ycen, xrad, yrad, sang, eang, idir, X_FillArc);
}

extern "C" KOVA_API void kova_drawcirc(int wn, double xcen, double ycen, double xrad, double yrad)
{
    kova_drawarc(wn, xcen, ycen, xrad, yrad, 0, 360, 1);
}

extern "C" KOVA_API void kova_circle(int wn, double xcen, double ycen, double xrad, double yrad)
{
    kova_drawarc(wn, xcen, ycen, xrad, yrad, 0, 360, 1);
}

extern "C" KOVA_API void kova_fillcirc(int wn, double xcen, double ycen, double xrad, double yrad)
{
    kova_fillarc(wn, xcen, ycen, xrad, yrad, 0, 360, 1);
}
