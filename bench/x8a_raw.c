/*
 * x8a_raw - x8a written directly against Xlib, for the benchmark.
 *
 * Builds the window the library builds for x8a (top-level window with a
 * viewport, two scrollbar windows and the drawing window, one layer
 * pixmap, three GCs), draws x8a's picture with the requests the library
 * sends, and tears the window down as the library does.  What the library
 * adds beyond this (its window child, the program-name lookup) is part of
 * what the benchmark measures.
 */
#include "x8a.h"
#include "x8a_raw_steps.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>

#define SCROLLBAR 19

struct raw_window {
    Window top, clip, hscroll, vscroll, draw;
    Pixmap layer;
    GC tile_gc, bg_gc, pen_gc;
};

static Window simple_window(Display *dpy, Window parent, int x, int y, unsigned w, unsigned h,
                            unsigned long border, unsigned long background)
{
    XSetWindowAttributes a;
    a.background_pixel = background;
    a.border_pixel = border;
    a.colormap = DefaultColormap(dpy, DefaultScreen(dpy));
    return XCreateWindow(dpy, parent, x, y, w, h, 0, DefaultDepth(dpy, DefaultScreen(dpy)),
                         InputOutput, DefaultVisual(dpy, DefaultScreen(dpy)),
                         CWBackPixel | CWBorderPixel | CWColormap, &a);
}

static void open_window(Display *dpy, struct raw_window *w, struct x8a_raw *r)
{
    int scr = DefaultScreen(dpy);
    Window root = RootWindow(dpy, scr);
    unsigned long face = x8a_raw_lookup(r, 0xc0, 0xc0, 0xc0);
    unsigned long trough = x8a_raw_lookup(r, 0xa3, 0xa3, 0xa3);
    unsigned long black = x8a_raw_lookup(r, 0, 0, 0);
    XSizeHints hints;
    XClassHint class_hint;
    XGCValues gv;
    XEvent ev;

    w->top = simple_window(dpy, root, 0, 0, X8A_WIDTH, X8A_HEIGHT, face, face);
    w->clip = simple_window(dpy, w->top, 0, 0, X8A_WIDTH, X8A_HEIGHT, black, black);
    w->hscroll = simple_window(dpy, w->top, 0, -SCROLLBAR, X8A_WIDTH, SCROLLBAR, black, trough);
    w->vscroll = simple_window(dpy, w->top, -SCROLLBAR, 0, SCROLLBAR, X8A_HEIGHT, black, trough);
    w->draw = simple_window(dpy, w->clip, 0, 0, X8A_WIDTH, X8A_HEIGHT, black, black);

    hints.flags = PPosition | PSize | PMinSize | PMaxSize | PWinGravity;
    hints.x = hints.y = 0;
    hints.width = hints.min_width = hints.max_width = X8A_WIDTH;
    hints.height = hints.min_height = hints.max_height = X8A_HEIGHT;
    hints.win_gravity = NorthWestGravity;
    XSetWMNormalHints(dpy, w->top, &hints);

    w->layer = XCreatePixmap(dpy, w->draw, X8A_WIDTH, X8A_HEIGHT,
                             (unsigned)DefaultDepth(dpy, scr));
    gv.fill_style = FillTiled;
    gv.fill_rule = WindingRule;
    gv.tile = w->layer;
    gv.graphics_exposures = False;
    w->tile_gc = XCreateGC(dpy, w->draw,
                           GCFillStyle | GCFillRule | GCTile | GCGraphicsExposures, &gv);

    XStoreName(dpy, w->top, "x8a_raw");
    XSetIconName(dpy, w->top, "x8a_raw");
    class_hint.res_name = (char *)"x8a_raw";
    class_hint.res_class = (char *)"X8A_RAW";
    XSetClassHint(dpy, w->top, &class_hint);

    XSelectInput(dpy, w->draw, ExposureMask);
    XMapWindow(dpy, w->top);
    XMapWindow(dpy, w->clip);
    XMapWindow(dpy, w->draw);
    XMapWindow(dpy, w->hscroll);
    XMapWindow(dpy, w->vscroll);
    do
        XNextEvent(dpy, &ev);
    while (ev.type != Expose);

    gv.graphics_exposures = False;
    w->pen_gc = XCreateGC(dpy, w->top, GCGraphicsExposures, &gv);
    w->bg_gc = XCreateGC(dpy, w->top, GCGraphicsExposures, &gv);
    XSetForeground(dpy, w->bg_gc, black);
    XFillRectangle(dpy, w->layer, w->bg_gc, 0, 0, X8A_WIDTH, X8A_HEIGHT);
    XSetForeground(dpy, w->pen_gc, x8a_raw_lookup(r, 0xff, 0xff, 0xff));
    XFlush(dpy);
    XSelectInput(dpy, w->draw, NoEventMask);
}

static void close_window(Display *dpy, struct raw_window *w)
{
    XSync(dpy, False);
    XFreeGC(dpy, w->tile_gc);
    XFreeGC(dpy, w->bg_gc);
    XFreeGC(dpy, w->pen_gc);
    XFreePixmap(dpy, w->layer);
    XDestroyWindow(dpy, w->draw);
    XDestroyWindow(dpy, w->clip);
    XDestroyWindow(dpy, w->hscroll);
    XDestroyWindow(dpy, w->vscroll);
    XDestroyWindow(dpy, w->top);
    XFlush(dpy);
}

int main(void)
{
    Display *dpy = XOpenDisplay(NULL);
    struct raw_window w;
    struct x8a_raw r;
    double pass;

    if (!dpy) {
        fputs("x8a_raw: cannot open the display\n", stderr);
        return 1;
    }
    if (DefaultVisual(dpy, DefaultScreen(dpy))->class != TrueColor &&
        DefaultVisual(dpy, DefaultScreen(dpy))->class != PseudoColor) {
        fputs("x8a_raw: needs a TrueColor or PseudoColor screen\n", stderr);
        return 1;
    }
    setlocale(LC_CTYPE, "");
    x8a_raw_init(&r, dpy, 0, 0, NULL, X8A_HEIGHT, DefaultVisual(dpy, DefaultScreen(dpy)));
    open_window(dpy, &w, &r);
    r.targets[0] = w.layer;
    r.targets[1] = w.draw;
    r.gc = w.pen_gc;

    XStoreName(dpy, w.top, X8A_WINDOW_NAME);
    XSetIconName(dpy, w.top, X8A_WINDOW_NAME);
    XFlush(dpy);
    x8a_raw_colour(&r, 100, 100, 100);

    for (pass = 0.0; pass <= X8A_LAST_PASS; pass += 1.0)
        x8a_raw_sweep_pass(&r);
    x8a_raw_circles(&r, 10, X8A_LIMIT);
    x8a_raw_rectangles(&r, X8A_LIMIT);
    x8a_raw_circles(&r, 30, X8A_LIMIT);
    x8a_raw_latin_strings(&r, 14, X8A_LIMIT);
    x8a_raw_latin_strings(&r, 16, X8A_LIMIT);
    x8a_raw_japanese_strings(&r, X8A_LIMIT);

    /* Like the library, keep the font sets until the connection ends. */
    close_window(dpy, &w);
    return 0;
}
