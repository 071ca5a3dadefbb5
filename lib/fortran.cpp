/*
 * fortran.cpp - the Fortran-callable twins: every argument by reference,
 * REAL widened to double, character arguments taken as NUL-terminated.
 * Each twin only adapts its arguments and calls the C entry point.
 */
#include "kova_private.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

/* A negative INTEGER sleeps not at all, rather than some 49 days. */
KOVA_FORTRAN void msleep_(int *ms)
{
    kova_msleep(*ms > 0 ? static_cast<unsigned int>(*ms) : 0u);
}

KOVA_FORTRAN void ggetdisplayinfo_(int *depth, int *root_width, int *root_height)
{
    kova_ggetdisplayinfo(depth, root_width, root_height);
}

/* ---- closing, attributes, modes (gopen_ and plots_ are in opening.cpp) -- */

KOVA_FORTRAN void gclose_(int *wn)
{
    kova_gclose(*wn);
}

KOVA_FORTRAN void gcloseall_(void)
{
    kova_gcloseall();
}

KOVA_FORTRAN void isnan_(float *x, int *result)
{
    *result = std::isnan(static_cast<double>(*x)) ? 1 : 0;
}

KOVA_FORTRAN void gsetbgcolor_(int *wn, const char *colour)
{
    kova_gsetbgcolor(*wn, "%s", colour);
}

KOVA_FORTRAN void gsetinitialwinname_(const char *storename, const char *iconname,
                                      const char *resname, const char *resclass)
{
    kova_gsetinitialwinname(storename, iconname, resname, resclass);
}

KOVA_FORTRAN void winname_(int *wn, const char *name)
{
    kova_winname(*wn, "%s", name);
}

KOVA_FORTRAN void gsetnonflush_(int *flag)
{
    kova_gsetnonflush(*flag);
}

KOVA_FORTRAN void ggetnonflush_(int *result)
{
    *result = kova_ggetnonflush();
}

KOVA_FORTRAN void gflush_(void)
{
    kova_gflush();
}

KOVA_FORTRAN void gsetnonblock_(int *flag)
{
    kova_gsetnonblock(*flag);
}

/* ---- single-window entry points ----------------------------------------
 * They act on Wn; before any window is open (or after it was closed) they
 * do nothing, since plotting programs set their pen before opening. */

int single_window(void)
{
    if (window_slot_open(Wn))
        return Wn;
    /* Said once: a program drawing into a window it never selected would
     * otherwise say it with every call, or draw nothing in silence. */
    static bool told = false;
    if (!told) {
        told = true;
        _kova_warn("The current window %d is not open: plot, newpen, symbol and the other calls "
                   "without a window number do nothing until selwin names an open one.",
                   Wn < 0 ? 0 : Wn);
    }
    return -1;
}

/* ---- coordinates ------------------------------------------------------- */

KOVA_FORTRAN void newwindow_(int *wn, float *xs, float *ys, float *xe, float *ye)
{
    kova_window(*wn, *xs, *ys, *xe, *ye);
}

KOVA_FORTRAN void window_(float *xs, float *ys, float *xe, float *ye)
{
    int wn = single_window();
    if (wn >= 0)
        kova_window(wn, *xs, *ys, *xe, *ye);
}

KOVA_FORTRAN void newcoordinate_(int *wn, int *xw, int *yw, float *xcen, float *ycen, float *xs,
                                 float *ys)
{
    kova_coordinate(*wn, *xw, *yw, *xcen, *ycen, *xs, *ys);
}

KOVA_FORTRAN void vport_(void) {}

KOVA_FORTRAN void setal_(void) {}

/* ---- pen ----------------------------------------------------------------- */

KOVA_FORTRAN void newcolor_(int *wn, const char *name)
{
    kova_newcolor(*wn, "%s", name);
}

KOVA_FORTRAN void newrgbcolor_(int *wn, int *r, int *g, int *b)
{
    kova_newrgbcolor(*wn, *r, *g, *b);
}

KOVA_FORTRAN void newhsvcolor_(int *wn, int *h, int *s, int *v)
{
    kova_newhsvcolor(*wn, *h, *s, *v);
}

KOVA_FORTRAN void newpen_(int *n)
{
    int wn = single_window();
    if (wn >= 0)
        kova_newpen(wn, *n);
}

KOVA_FORTRAN void newpencolor_(int *wn, int *n)
{
    kova_newpen(*wn, *n);
}

KOVA_FORTRAN void newlinewidth_(int *wn, int *width)
{
    kova_newlinewidth(*wn, *width);
}

KOVA_FORTRAN void newlinestyle_(int *wn, int *style)
{
    kova_newlinestyle(*wn, *style);
}

/* ---- primitives ------------------------------------------------------------
 * REAL arrays are already single precision: the float variants read them
 * in place, no further than n. */

KOVA_FORTRAN void pset_(int *wn, float *x, float *y)
{
    kova_pset(*wn, *x, *y);
}

KOVA_FORTRAN void drawline_(int *wn, float *x0, float *y0, float *x1, float *y1)
{
    kova_drawline(*wn, *x0, *y0, *x1, *y1);
}

KOVA_FORTRAN void line_(int *wn, float *x, float *y, int *mode)
{
    kova_line(*wn, *x, *y, *mode);
}

KOVA_FORTRAN void moveto_(int *wn, float *x, float *y)
{
    kova_line(*wn, *x, *y, 3);
}

KOVA_FORTRAN void lineto_(int *wn, float *x, float *y)
{
    kova_line(*wn, *x, *y, 2);
}

KOVA_FORTRAN void plot_(float *x, float *y, int *mode)
{
    int wn = single_window();
    if (wn >= 0)
        kova_line(wn, *x, *y, *mode);
}

KOVA_FORTRAN void drawpts_(int *wn, float *x, float *y, int *n)
{
    kova_drawptsf(*wn, x, y, *n);
}

KOVA_FORTRAN void drawlines_(int *wn, float *x, float *y, int *n)
{
    kova_drawlinesf(*wn, x, y, *n);
}

KOVA_FORTRAN void drawpoly_(int *wn, float *x, float *y, int *n)
{
    kova_drawpolyf(*wn, x, y, *n);
}

KOVA_FORTRAN void fillpoly_(int *wn, float *x, float *y, int *n, int *shape)
{
    kova_fillpolyf(*wn, x, y, *n, *shape);
}

KOVA_FORTRAN void drawrect_(int *wn, float *x, float *y, float *w, float *h)
{
    kova_drawrect(*wn, *x, *y, *w, *h);
}

KOVA_FORTRAN void fillrect_(int *wn, float *x, float *y, float *w, float *h)
{
    kova_fillrect(*wn, *x, *y, *w, *h);
}

/* ---- arcs and circles -------------------------------------------------- */

KOVA_FORTRAN void drawarc_(int *wn, float *xcen, float *ycen, float *xrad, float *yrad,
                           float *sang, float *eang, int *idir)
{
    kova_drawarc(*wn, *xcen, *ycen, *xrad, *yrad, *sang, *eang, *idir);
}

KOVA_FORTRAN void fillarc_(int *wn, float *xcen, float *ycen, float *xrad, float *yrad,
                           float *sang, float *eang, int *idir)
{
    kova_fillarc(*wn, *xcen, *ycen, *xrad, *yrad, *sang, *eang, *idir);
}

KOVA_FORTRAN void drawcirc_(int *wn, float *xcen, float *ycen, float *xrad, float *yrad)
{
    kova_drawarc(*wn, *xcen, *ycen, *xrad, *yrad, 0, 360, 1);
}

KOVA_FORTRAN void fillcirc_(int *wn, float *xcen, float *ycen, float *xrad, float *yrad)
{
    kova_fillarc(*wn, *xcen, *ycen, *xrad, *yrad, 0, 360, 1);
}

KOVA_FORTRAN void circ1_(float *xcen, float *ycen, float *r)
{
    int wn = single_window();
    if (wn >= 0)
        kova_drawarc(wn, *xcen, *ycen, *r, *r, 0, 360, 1);
}

KOVA_FORTRAN void arc_(float *xcen, float *ycen, float *r, float *sang, float *eang, int *idir)
{
    int wn = single_window();
    if (wn >= 0)
        kova_drawarc(wn, *xcen, *ycen, *r, *r, *sang, *eang, *idir);
}

/* ---- symbols and arrows ------------------------------------------------ */

/* A REAL size truncated to an integer; NaN gives 0 and sizes beyond the
 * int range the nearest limit, never an undefined conversion. */
static int truncated(float v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483648.0f)
        return INT_MAX;
    if (v < -2147483648.0f)
        return INT_MIN;
    return static_cast<int>(v);
}

KOVA_FORTRAN void drawsym_(int *wn, float *x, float *y, float *size, int *type)
{
    kova_drawsym(*wn, *x, *y, truncated(*size), *type);
}

KOVA_FORTRAN void drawsyms_(int *wn, float *x, float *y, int *n, float *size, int *type)
{
    kova_drawsymsf(*wn, x, y, *n, truncated(*size), *type);
}

KOVA_FORTRAN void drawarrow_(int *wn, float *xs, float *ys, float *xt, float *yt, float *s,
                             float *w, int *shape)
{
    kova_drawarrow(*wn, *xs, *ys, *xt, *yt, *s, *w, *shape);
}

KOVA_FORTRAN void arohd_(float *xs, float *ys, float *xt, float *yt, float *s, float *w,
                         int *shape)
{
    int wn = single_window();
    if (wn >= 0)
        kova_drawarrow(wn, *xs, *ys, *xt, *yt, *s, *w, *shape);
}

/* ---- text and numbers (the renderer drawstr_ lives in text.cpp) -------- */

KOVA_FORTRAN void drawnum_(int *wn, float *x, float *y, float *size, float *value, float *theta,
                           int *ndec)
{
    const char *text = rtoc(value, ndec);
    int n = static_cast<int>(strlen(text));
    drawstr_(wn, x, y, size, text, theta, &n);
}

KOVA_FORTRAN void number_(float *x, float *y, float *size, float *value, float *theta, int *ndec)
{
    int wn = single_window();
    if (wn >= 0)
        drawnum_(&wn, x, y, size, value, theta, ndec);
}

/* A negative count makes the text argument an INTEGER symbol code. */
KOVA_FORTRAN void symbol_(float *x, float *y, float *size, const char *text, float *theta,
                          int *nchar)
{
    int wn = single_window();
    if (wn < 0)
        return;
    if (*nchar < 0) {
        int type;
        memcpy(&type, text, sizeof type);
        drawsym_(&wn, x, y, size, &type);
    } else {
        drawstr_(&wn, x, y, size, text, theta, nchar);
    }
}

/* A negative count: the text ends at its NUL. */
KOVA_FORTRAN void gettextextent_(int *wn, float *size, const char *text, int *nchar, float *width,
                                 float *height)
{
    if (!window_is_open(*wn))
        return;
    double w, h;
    text_extent(*wn, *size, text, *nchar, &w, &h);
    *width = static_cast<float>(w);
    *height = static_cast<float>(h);
}

KOVA_FORTRAN void rtoc_(float *value, int *ndec, int *bufsize, char *buf, int *rest)
{
    if (*bufsize <= 0)
        return;
    const char *text = rtoc(value, ndec);
    const size_t size = static_cast<size_t>(*bufsize);
    strncpy(buf, text, size - 1);
    buf[size - 1] = '\0';
    *rest = static_cast<int>(static_cast<long>(size) - static_cast<long>(strlen(text)) - 1);
}

KOVA_FORTRAN void newfontset_(int *wn, const char *names, int *status)
{
    *status = kova_newfontset(*wn, "%s", names);
}

KOVA_FORTRAN void gsetfontset_(int *wn, const char *names, int *status)
{
    *status = kova_gsetfontset(*wn, "%s", names);
}

/* ---- image files ------------------------------------------------------ */

/* name with nd >= 0 gets the number before its extension: pic.png and 7
 * give pic7.png.  The extension is looked for in the last path component
 * only, so that a dot in a directory name is left alone. */
KOVA_FORTRAN void saveimg_(int *wn, int *layer, float *x0, float *y0, float *x1, float *y1,
                           const char *name, int *nd, const char *conv, int *levels)
{
    if (*nd < 0) {
        kova_gsaveimage(*wn, *layer, *x0, *y0, *x1, *y1, conv, *levels, "%s", name);
        return;
    }
    const char *base_end = std::strrchr(name, '.');
    const char *slash = std::strrchr(name, '/');
    if (!base_end || (slash && base_end < slash))
        base_end = name + std::strlen(name);
    kova_gsaveimage(*wn, *layer, *x0, *y0, *x1, *y1, conv, *levels, "%.*s%d%s",
                    static_cast<int>(base_end - name), name, *nd, base_end);
}

KOVA_FORTRAN void gwaitsave_(int *result)
{
    *result = kova_gwaitsave();
}

/* ---- layers, clearing, scrolling, pixel transfer ----------------------- */

KOVA_FORTRAN void layer_(int *wn, int *show, int *write)
{
    kova_layer(*wn, *show, *write);
}

KOVA_FORTRAN void copylayer_(int *wn, int *src, int *dst)
{
    kova_copylayer(*wn, *src, *dst);
}

KOVA_FORTRAN void gclr_(int *wn)
{
    kova_gclr(*wn);
}

KOVA_FORTRAN void clsx_(void)
{
    int wn = single_window();
    if (wn >= 0)
        kova_gclr(wn);
}

KOVA_FORTRAN void gscroll_(int *wn, int *dx, int *dy, int *clr)
{
    kova_gscroll(*wn, *dx, *dy, *clr);
}

KOVA_FORTRAN void tclr_(void)
{
    kova_tclr();
}

KOVA_FORTRAN void clsc_(void)
{
    kova_tclr();
}

/* Before the first open and after closing everything, Wn tells that the
 * library is not set up; a window chosen then would hide that. */
KOVA_FORTRAN void selwin_(int *wn)
{
    if (*wn >= 0 && Wn >= 0)
        Wn = *wn;
}

/* Three INTEGERs per pixel, red, green, blue, of which the low 8 bits
 * count. */
KOVA_FORTRAN void putimg24_(int *wn, float *x, float *y, int *width, int *height, int *rgb)
{
    if (*width <= 0 || *height <= 0 || !window_is_open(*wn))
        return;
    size_t bytes;
    if (!image_size_fits(*width, *height, "putimg24", &bytes))
        return;
    auto *buf = static_cast<unsigned char *>(_kova_xmalloc(bytes));
    const size_t n = bytes / 4;
    for (size_t i = 0; i < n; i++) {
        buf[4 * i] = 0;
        buf[4 * i + 1] = static_cast<unsigned char>(rgb[3 * i]);
        buf[4 * i + 2] = static_cast<unsigned char>(rgb[3 * i + 1]);
        buf[4 * i + 3] = static_cast<unsigned char>(rgb[3 * i + 2]);
    }
    if (kova_putimg24(*wn, *x, *y, *width, *height, buf) == -1)
        _kova_warn("Depth of X server is not enough.");
    free(buf);
}

/* ---- input ------------------------------------------------------------- */

KOVA_FORTRAN void ggetch_(int *key)
{
    *key = kova_ggetch();
}

KOVA_FORTRAN void inkeydollar_(int *key)
{
    *key = kova_ggetch();
}

KOVA_FORTRAN void ggetxpress_(int *wn, int *type, int *code, float *x, float *y)
{
    *wn = kova_ggetxpressf(type, code, x, y);
}

KOVA_FORTRAN void ggetevent_(int *wn, int *type, int *code, float *x, float *y)
{
    *wn = kova_ggeteventf(type, code, x, y);
}

KOVA_FORTRAN void gsetscrollbarkeymask_(int *wn, int *mask)
{
    kova_gsetscrollbarkeymask(*wn, *mask);
}

KOVA_FORTRAN void gsetcloseevent_(int *wn, int *on)
{
    kova_gsetcloseevent(*wn, *on);
}

/* ---- fields ------------------------------------------------------------ */

KOVA_FORTRAN void putfield_(int *wn, float *x0, float *y0, float *x1, float *y1, float *z, int *nx,
                            int *ny, float *zmin, float *zmax, int *palette, int *result)
{
    *result = kova_putfieldf(*wn, *x0, *y0, *x1, *y1, z, *nx, *ny, *zmin, *zmax, *palette);
}
