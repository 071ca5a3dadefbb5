/*
 * x8a_raw_steps.h - x8a's drawing written directly against Xlib: the same
 * requests in the same order as the library issues them for x8a (same
 * colours, layer pixmap then window, the end points of lines, a flush
 * after every call, the same font sets and strings, and on PseudoColor
 * screens the same colour allocations).  The benchmark times it against
 * x8a; the tests use it as the reference picture.
 */
#ifndef X8A_RAW_STEPS_H
#define X8A_RAW_STEPS_H

#include <X11/Xlib.h>

#ifdef __cplusplus
extern "C" {
#endif

struct x8a_raw {
    Display *dpy;
    Drawable targets[2]; /* the layer pixmap, then the window (0: none) */
    GC gc;
    int height;          /* canvas height: user y grows upward from the bottom row */
    const Visual *visual; /* TrueColor, or PseudoColor with the default colormap */
    int nfontsets;       /* font sets created so far, one per pixel size */
    int fontset_sizes[4];
    XFontSet fontsets[4];
    /* PseudoColor: the colours allocated so far (as asked for, with their
     * cells) or, once an allocation has failed, every cell of the colormap. */
    int ncolours;
    XColor *colours;
    int colormap_full;
};

/* The window the library builds for x8a: a top-level window with a
 * viewport, two scrollbar windows and the drawing window, one layer pixmap
 * and three GCs. */
struct x8a_raw_window {
    Window top, clip, hscroll, vscroll, draw;
    Pixmap layer;
    GC tile_gc, bg_gc, pen_gc;
};

/* Builds and maps it as the library does, waiting for the first exposure;
 * r gives the colours. */
void x8a_raw_open_window(Display *dpy, struct x8a_raw_window *w, struct x8a_raw *r);
/* Tears it down as the library does (a round trip, then the frees). */
void x8a_raw_close_window(Display *dpy, const struct x8a_raw_window *w);

/* Fills in everything but the font sets and colours from the drawables given. */
void x8a_raw_init(struct x8a_raw *r, Display *dpy, Drawable layer, Drawable window, GC gc,
                  int height, const Visual *visual);
/* The font sets and the colour list (the cells stay allocated). */
void x8a_raw_free(struct x8a_raw *r);

/* The pixel of 8-bit components on the screen: composed on TrueColor,
 * allocated (or the nearest cell of a full colormap) on PseudoColor. */
unsigned long x8a_raw_lookup(struct x8a_raw *r, int red, int green, int blue);
void x8a_raw_colour(struct x8a_raw *r, int red, int green, int blue);
void x8a_raw_sweep_pass(struct x8a_raw *r);
void x8a_raw_circles(struct x8a_raw *r, int radius, double limit);
void x8a_raw_rectangles(struct x8a_raw *r, double limit);
void x8a_raw_latin_strings(struct x8a_raw *r, int size, double limit);
void x8a_raw_japanese_strings(struct x8a_raw *r, double limit);

#ifdef __cplusplus
}
#endif

#endif /* X8A_RAW_STEPS_H */
