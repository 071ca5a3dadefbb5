/*
 * kova.h - the public C interface of kova, a small 2-D graphics library
 * for the X Window System.
 *
 * Windows are numbered; every entry point that acts on a window takes its
 * number first.  A number that is not an open window gets the warning
 * "Window N is not open." and the call does nothing.  Coordinates are
 * doubles in the window's own user units (see kova_window and
 * kova_coordinate).  Names, colours and texts are printf-style formats.
 * Buffers the library hands out are malloc()ed and released by the caller
 * with free().
 *
 * Compiles as C99 and as C++.
 */
#ifndef KOVA_H
#define KOVA_H

#if defined(__GNUC__)
#define KOVA_API __attribute__((visibility("default")))
#else
#define KOVA_API
#endif

#if defined(__GNUC__)
#define KOVA_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define KOVA_PRINTF(f, a)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Window attribute bits, given to kova_gsetinitialattributes(). */
#define KOVA_ATTR_SCROLLBARS        0x02 /* viewport with two scrollbars */
#define KOVA_ATTR_DOCK_ICON         0x08 /* plain window plus a dock icon */
#define KOVA_ATTR_OVERRIDE_REDIRECT 0x10 /* bypasses the window manager */
#define KOVA_ATTR_Y_UP              0x80 /* y axis points upward */

/* Utilities */
KOVA_API void kova_msleep(unsigned int ms);

/* Opening and closing windows */
KOVA_API int kova_gopen(int width, int height);
KOVA_API void kova_gclose(int wn);
KOVA_API void kova_gcloseall(void);

/* Settings for the next window opened */
KOVA_API void kova_gsetinitialattributes(int values, int mask);
KOVA_API int kova_ggetinitialattributes(void);
KOVA_API void kova_gsetinitialborder(int width, const char *format, ...) KOVA_PRINTF(2, 3);
KOVA_API void kova_gsetinitialbgcolor(const char *format, ...) KOVA_PRINTF(1, 2);
KOVA_API void kova_gsetinitialgeometry(const char *format, ...) KOVA_PRINTF(1, 2);
KOVA_API void kova_gsetinitialparsegeometry(const char *format, ...) KOVA_PRINTF(1, 2);
KOVA_API void kova_gsetinitialwinname(const char *storename, const char *iconname,
                                      const char *resname, const char *resclass);

/* Open windows */
KOVA_API void kova_gsetborder(int wn, int width, const char *format, ...) KOVA_PRINTF(3, 4);
KOVA_API void kova_gsetbgcolor(int wn, const char *format, ...) KOVA_PRINTF(2, 3);
/* kova_winname: the name's length, or -1 (no name, or the window is not open) */
KOVA_API int kova_winname(int wn, const char *format, ...) KOVA_PRINTF(2, 3);

/* Display information: 0, or -1 when the display cannot be opened */
KOVA_API int kova_ggetdisplayinfo(int *depth, int *root_width, int *root_height);

/* Flushing and input modes */
KOVA_API void kova_gsetnonflush(int flag);
KOVA_API int kova_ggetnonflush(void);
KOVA_API void kova_gflush(void);
KOVA_API void kova_gsetnonblock(int flag);

/* Coordinate systems */
KOVA_API void kova_window(int wn, double xs, double ys, double xe, double ye);
KOVA_API void kova_coordinate(int wn, int xw, int yw, double xcen, double ycen,
                              double xs, double ys);

/* The pen */
KOVA_API void kova_newcolor(int wn, const char *fmt, ...) KOVA_PRINTF(2, 3);
KOVA_API void kova_newrgbcolor(int wn, int r, int g, int b);
KOVA_API void kova_newhsvcolor(int wn, int h, int s, int v);
KOVA_API void kova_newpen(int wn, int n);
KOVA_API void kova_newlinewidth(int wn, int width);
KOVA_API void kova_newlinestyle(int wn, int style);
KOVA_API void kova_newgcfunction(int wn, int func);

/* Primitives */
KOVA_API void kova_pset(int wn, double x, double y);
KOVA_API void kova_drawline(int wn, double x0, double y0, double x1, double y1);
KOVA_API void kova_line(int wn, double x, double y, int mode);
KOVA_API void kova_moveto(int wn, double x, double y);
KOVA_API void kova_lineto(int wn, double x, double y);
KOVA_API void kova_drawpts(int wn, const double x[], const double y[], int n);
KOVA_API void kova_drawptsf(int wn, const float x[], const float y[], int n);
KOVA_API void kova_drawlines(int wn, const double x[], const double y[], int n);
KOVA_API void kova_drawlinesf(int wn, const float x[], const float y[], int n);
KOVA_API void kova_drawpoly(int wn, const double x[], const double y[], int n);
KOVA_API void kova_drawpolyf(int wn, const float x[], const float y[], int n);
KOVA_API void kova_fillpoly(int wn, const double x[], const double y[], int n, int shape);
KOVA_API void kova_fillpolyf(int wn, const float x[], const float y[], int n, int shape);
KOVA_API void kova_drawrect(int wn, double x, double y, double w, double h);
KOVA_API void kova_fillrect(int wn, double x, double y, double w, double h);

/* Arcs and circles: angles in degrees, idir -1 runs clockwise */
KOVA_API void kova_drawarc(int wn, double xcen, double ycen, double xrad, double yrad,
                           double sang, double eang, int idir);
KOVA_API void kova_fillarc(int wn, double xcen, double ycen, double xrad, double yrad,
                           double sang, double eang, int idir);
KOVA_API void kova_drawcirc(int wn, double xcen, double ycen, double xrad, double yrad);
KOVA_API void kova_circle(int wn, double xcen, double ycen, double xrad, double yrad);
KOVA_API void kova_fillcirc(int wn, double xcen, double ycen, double xrad, double yrad);

/* Marker symbols and arrows (sizes in pixels) */
KOVA_API void kova_drawsym(int wn, double x, double y, int size, int type);
KOVA_API void kova_drawsyms(int wn, const double x[], const double y[], int n, int size, int type);
KOVA_API void kova_drawsymsf(int wn, const float x[], const float y[], int n, int size, int type);
KOVA_API void kova_drawarrow(int wn, double xs, double ys, double xt, double yt,
                             double s, double w, int shape);

/* Text.  kova_drawstr: the text's length, or -1 (no text, or the window is
 * not open); size 1-24 picks a core font, below 1 the window's font set;
 * theta turns the text by that many degrees counter-clockwise on the
 * screen about the start of its first baseline, whatever the direction of
 * the window's axes (an angle that is not finite draws nothing).  The font
 * set calls: 0, 1 when a fallback set was taken, -1 when there is none or
 * the window is not open. */
KOVA_API int kova_drawstr(int wn, double x, double y, int size, double theta,
                          const char *fmt, ...) KOVA_PRINTF(6, 7);
/* kova_gettextextent: the width of the text's widest line and the height
 * of its lines (their number times the line height), in user units, as
 * kova_drawstr would draw it at this size; returns the text's length, or
 * -1 (nothing stored) as kova_drawstr does. */
KOVA_API int kova_gettextextent(int wn, int size, double *width, double *height,
                                const char *fmt, ...) KOVA_PRINTF(5, 6);
KOVA_API int kova_newfontset(int wn, const char *fmt, ...) KOVA_PRINTF(2, 3);
KOVA_API int kova_gsetfontset(int wn, const char *fmt, ...) KOVA_PRINTF(2, 3);

/* Layers: every window has eight (0..7), created on first use.  Drawing
 * goes to the write layer; the window shows the shown layer.  An index
 * outside 0..7 given to kova_layer keeps the current one. */
KOVA_API void kova_layer(int wn, int show, int write);
KOVA_API void kova_copylayer(int wn, int src, int dst);
KOVA_API void kova_gclr(int wn);
KOVA_API void kova_gscroll(int wn, int dx, int dy, int clr);
KOVA_API void kova_tclr(void); /* clears the terminal */

/* A new canvas size; the picture keeps its place at the corner of user
 * y = 0 (bottom-left with the y axis upward). */
KOVA_API void kova_gresize(int wn, int width, int height);

/* Pixel transfer.  Image buffers: 4 bytes per pixel (alpha, red, green,
 * blue), rows from the top.  Areas are given by two corners in user
 * coordinates, both included; images are placed by their top-left pixel,
 * or their bottom-left one when the y axis points upward.  The puts return
 * 0, or -1 on a screen shallower than 16 bits or for a NULL buffer;
 * kova_putimg24m leaves the pixels whose alpha is 0 untouched.
 * kova_ggetimage returns a malloc()ed buffer (alpha 255), or NULL. */
KOVA_API void kova_gputarea(int wn, double x, double y, int src_wn, int src_layer, double xs0,
                            double ys0, double xs1, double ys1);
KOVA_API unsigned char *kova_ggetimage(int wn, int layer, double xs0, double ys0, double xs1,
                                       double ys1, int *r_width, int *r_height);
KOVA_API int kova_gputimage(int wn, double x, double y, const unsigned char *buf, int width,
                            int height, int msk);
KOVA_API int kova_putimg24(int wn, double x, double y, int width, int height,
                           const unsigned char *buf);
KOVA_API int kova_putimg24m(int wn, double x, double y, int width, int height,
                            const unsigned char *buf);

/* Fields: an nx x ny array shown as cells of colour that fill the
 * rectangle from (x0, y0) to (x1, y1) in user coordinates; cell (i, j)
 * holds z[j * nx + i], i counted from x0 and j from y0 (the layout of a
 * Fortran array z(nx, ny)).  A pixel whose centre lies in the rectangle,
 * x0 and y0 included, x1 and y1 excluded, takes its cell's colour: the
 * palette's at t = (z - zmin) / (zmax - zmin), clamped to 0..1.  Cells
 * that are NaN are not drawn.  0, or -1 with a message for bad arguments
 * (nothing drawn). */
#define KOVA_PALETTE_GREY       0 /* black to white */
#define KOVA_PALETTE_SEQUENTIAL 1 /* dark blue, green, yellow (viridis) */
#define KOVA_PALETTE_DIVERGING  2 /* blue, near-white at 0.5, red */
KOVA_API int kova_putfield(int wn, double x0, double y0, double x1, double y1, const double *z,
                           int nx, int ny, double zmin, double zmax, int palette);
KOVA_API int kova_putfieldf(int wn, double x0, double y0, double x1, double y1, const float *z,
                            int nx, int ny, double zmin, double zmax, int palette);

/* Image files, of image buffers as above.  conv names a converter program
 * ("convert", or any filter reading a stream on its standard input), or is
 * NULL.  levels per channel: 2..256.  Results 0 or -1;
 * kova_gsaveimage returns once the background save has started, and
 * kova_gwaitsave waits for it: 0 when the save that ended last wrote its
 * whole file (or none has run), -1 when it failed. */
KOVA_API int kova_gsaveimage(int wn, int layer, double x0, double y0, double x1, double y1,
                             const char *conv, int levels, const char *format, ...)
    KOVA_PRINTF(9, 10);
KOVA_API int kova_saveimg(int wn, int layer, double x0, double y0, double x1, double y1,
                          const char *conv, int levels, const char *format, ...)
    KOVA_PRINTF(9, 10);
KOVA_API int kova_gwaitsave(void);
KOVA_API int kova_writeimage(const unsigned char *buf, int width, int height, int msk,
                             const char *conv, int levels, const char *format, ...)
    KOVA_PRINTF(7, 8);
/* A new image buffer (free() it), or NULL; *r_msk: 0 no alpha, 1 alpha of
 * 0 and 255 only, 256 partial transparency. */
KOVA_API unsigned char *kova_readimage(const char *conv, const char *name, int *r_width,
                                       int *r_height, int *r_msk);

/* Input: keys, mouse buttons and pointer movement in any open window.
 * Each returns the window's number and fills in the event type (2 key, 4
 * button press, 6 pointer moved, 7 entered, 8 left, 33 close request; see
 * kova_gsetcloseevent), the code (key code;
 * button 1-5; for pointer events the lowest button held, 0 if none) and
 * the position in the window's user coordinates (0, 0 for keys); each
 * output pointer may be NULL.  Key codes: the character (1-127), or Home 1,
 * Prior 2, Pause 3, End 5, Next 6, Right 28, Left 29, Up 30, Down 31,
 * KP_Delete 127; in a window with scrollbars the navigation keys pressed
 * with the scrollbar key mask held (Alt by default) scroll instead.
 * Blocking mode (the default) waits; in non-blocking mode
 * (kova_gsetnonblock) the calls return at once, -1 when nothing is
 * pending, or a window's number with type and code -1 when its events
 * gave nothing to report.  With no window open they warn and return -1.
 * The double variants leave the outputs alone when they return -1; the
 * float variants then write type = code = -1 and x = y = 0. */
KOVA_API int kova_ggetxpress(int *type, int *code, double *x, double *y);
KOVA_API int kova_ggetxpressf(int *type, int *code, float *x, float *y);
KOVA_API int kova_ggetevent(int *type, int *code, double *x, double *y);
KOVA_API int kova_ggeteventf(int *type, int *code, float *x, float *y);
/* kova_ggetch: the next key's code (clicks are dropped), -1 when none */
KOVA_API int kova_ggetch(void);
/* The modifier mask (X state bits, 8 = Alt/Mod1) with which the navigation
 * keys act on a window's scrollbars; windows without scrollbars ignore it. */
KOVA_API void kova_gsetscrollbarkeymask(int wn, int mask);
/* on nonzero: closing the window from the window manager no longer
 * destroys it (and ends the program); each request is reported by
 * kova_ggetevent and kova_ggetxpress as type 33 with code 0 and position
 * (0, 0), and kova_ggetch returns 0 for it.  0 (the default): the window
 * manager may destroy the window again. */
KOVA_API void kova_gsetcloseevent(int wn, int on);

#ifdef __cplusplus
}
#endif

#endif /* KOVA_H */
