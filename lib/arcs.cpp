/*
 * arcs.cpp - elliptical arcs, circles and ellipses, outlined or filled.
 * Each shape becomes one X arc: the bounding box in pixels and two angles
 * in 1/64 degree.
 */
#include "kova_private.h"

#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::int64_t Full_turn = 360 * 64;

void arc(int wn, double xcen, double ycen, double xrad, double yrad, double sang, double eang,
         int idir, int (*issue)(Display *, int, int, int, unsigned int, unsigned int, int, int))
{
    if (!window_is_open(wn))
        return;
    XArc a = arc_request(wn, xcen, ycen, xrad, yrad, sang, eang, idir);
    wait_child();
    if (issue(Pc_dis, wn, a.x, a.y, a.width, a.height, a.angle1, a.angle2))
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
