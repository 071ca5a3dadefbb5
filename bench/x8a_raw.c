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
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>

int main(void)
{
    Display *dpy = XOpenDisplay(NULL);
    struct x8a_raw_window w;
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
    x8a_raw_open_window(dpy, &w, &r);
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
    x8a_raw_close_window(dpy, &w);
    return 0;
}
