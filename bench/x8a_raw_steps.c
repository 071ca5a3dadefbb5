/*
 * x8a_raw_steps.c - x8a's drawing in plain Xlib, request for request.
 *
 * Mirrors the library's work for each x8a call: a colour sets the GC's
 * foreground (sent with the next drawing request; on PseudoColor screens
 * allocated as the library allocates it); a line is a point at
 * each end around the line, to the layer pixmap and then to the window; a
 * filled circle or rectangle goes to both; a string is drawn with the font
 * set to both; every call ends with a flush.  The random sequence is x8a's:
 * rand() without a seed, red, green, blue, then x, y.
 */
#include "x8a_raw_steps.h"
#include "x8a.h"

#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void mask_layout(unsigned long mask, int *shift, int *bits)
{
    *shift = 0;
    *bits = 0;
    while (mask && !((mask >> *shift) & 1))
        (*shift)++;
    while ((mask >> (*shift + *bits)) & 1)
        (*bits)++;
}

static unsigned long channel(int c, unsigned long mask)
{
    int shift, bits;
    mask_layout(mask, &shift, &bits);
    return ((unsigned long)c >> (8 - bits)) << shift;
}

/* The pixel of 8-bit components on a TrueColor visual. */
static unsigned long truecolor(const Visual *visual, int red, int green, int blue)
{
    return channel(red, visual->red_mask) | channel(green, visual->green_mask) |
           channel(blue, visual->blue_mask);
}

void x8a_raw_init(struct x8a_raw *r, Display *dpy, Drawable layer, Drawable window, GC gc,
                  int height, const Visual *visual)
{
    memset(r, 0, sizeof *r);
    r->dpy = dpy;
    r->targets[0] = layer;
    r->targets[1] = window;
    r->gc = gc;
    r->height = height;
    r->visual = visual;
}

void x8a_raw_free(struct x8a_raw *r)
{
    int i;
    for (i = 0; i < r->nfontsets; i++)
        XFreeFontSet(r->dpy, r->fontsets[i]);
    r->nfontsets = 0;
    free(r->colours);
    r->colours = NULL;
    r->ncolours = 0;
    r->colormap_full = 0;
}

/* Red-mean weighted distance of 8-bit components, as the library uses. */
static long distance(const XColor *a, const XColor *b)
{
    long r1 = a->red >> 8, r2 = b->red >> 8;
    long dr = r1 - r2, dg = (a->green >> 8) - (b->green >> 8), db = (a->blue >> 8) - (b->blue >> 8);
    long mean = (r1 + r2) / 2;
    return (((512 + mean) * dr * dr) >> 8) + 4 * dg * dg + (((767 - mean) * db * db) >> 8);
}

static unsigned long nearest(const struct x8a_raw *r, const XColor *c)
{
    unsigned long pixel = 0;
    long best = -1;
    int i;
    for (i = 0; i < r->ncolours && best != 0; i++) {
        long d = distance(&r->colours[i], c);
        if (best < 0 || d < best) {
            best = d;
            pixel = r->colours[i].pixel;
        }
    }
    return pixel;
}

static void *grow(void *p, size_t size)
{
    void *q = realloc(p, size);
    if (!q) {
        fputs("x8a_raw: out of memory\n", stderr);
        exit(1);
    }
    return q;
}

/* A list searched from the start, one XAllocColor for each new colour;
 * after the first failure one XQueryColors and nothing more. */
static unsigned long allocate(struct x8a_raw *r, int red, int green, int blue)
{
    Colormap cmap = DefaultColormap(r->dpy, DefaultScreen(r->dpy));
    XColor c;
    int i, cells;
    c.red = (unsigned short)(red << 8);
    c.green = (unsigned short)(green << 8);
    c.blue = (unsigned short)(blue << 8);
    c.flags = DoRed | DoGreen | DoBlue;
    if (r->colormap_full)
        return nearest(r, &c);
    for (i = 0; i < r->ncolours; i++)
        if (r->colours[i].red == c.red && r->colours[i].green == c.green &&
            r->colours[i].blue == c.blue)
            return r->colours[i].pixel;
    {
        XColor granted = c;
        if (XAllocColor(r->dpy, cmap, &granted)) {
            r->colours = grow(r->colours, sizeof(XColor) * (size_t)(r->ncolours + 1));
            c.pixel = granted.pixel;
            r->colours[r->ncolours++] = c;
            return c.pixel;
        }
    }
    cells = r->visual->map_entries;
    r->colours = grow(r->colours, sizeof(XColor) * (size_t)cells);
    for (i = 0; i < cells; i++)
        r->colours[i].pixel = (unsigned long)i;
    XQueryColors(r->dpy, cmap, r->colours, cells);
    r->ncolours = cells;
    r->colormap_full = 1;
    return nearest(r, &c);
}

unsigned long x8a_raw_lookup(struct x8a_raw *r, int red, int green, int blue)
{
    if (r->visual->class == TrueColor)
        return truecolor(r->visual, red, green, blue);
    return allocate(r, red, green, blue);
}

void x8a_raw_colour(struct x8a_raw *r, int red, int green, int blue)
{
    XSetForeground(r->dpy, r->gc, x8a_raw_lookup(r, red, green, blue));
}

static void random_colour(struct x8a_raw *r)
{
    int red = rand() % 255;
    int green = rand() % 255;
    int blue = rand() % 255;
    x8a_raw_colour(r, red, green, blue);
}

/* User y grows upward from the bottom row. */
static int row(const struct x8a_raw *r, int y)
{
    return r->height - y - 1;
}

static void centre_line_to(struct x8a_raw *r, int x1, int y1)
{
    int i;
    random_colour(r);
    for (i = 0; i < 2 && r->targets[i]; i++) {
        XDrawPoint(r->dpy, r->targets[i], r->gc, 512, row(r, 384));
        XDrawLine(r->dpy, r->targets[i], r->gc, 512, row(r, 384), x1, row(r, y1));
        XDrawPoint(r->dpy, r->targets[i], r->gc, x1, row(r, y1));
    }
    XFlush(r->dpy);
}

void x8a_raw_sweep_pass(struct x8a_raw *r)
{
    int x, y;
    for (x = 1; x < 1024; x++)
        centre_line_to(r, x, 1);
    for (y = 1; y < 768; y++)
        centre_line_to(r, 1024, y);
    for (x = 1; x < 1024; x++)
        centre_line_to(r, 1024 - x, 768);
    for (y = 1; y < 768; y++)
        centre_line_to(r, 0, 768 - y);
}

void x8a_raw_circles(struct x8a_raw *r, int radius, double limit)
{
    double n;
    for (n = 1.0; n < limit; n += 1.0) {
        int x, y, i;
        random_colour(r);
        x = rand() % X8A_WIDTH;
        y = rand() % X8A_HEIGHT;
        for (i = 0; i < 2 && r->targets[i]; i++)
            XFillArc(r->dpy, r->targets[i], r->gc, x - radius, row(r, y + radius),
                     (unsigned)(2 * radius), (unsigned)(2 * radius), 0, 360 * 64);
        XFlush(r->dpy);
    }
}

void x8a_raw_rectangles(struct x8a_raw *r, double limit)
{
    double n;
    for (n = 1.0; n < limit; n += 1.0) {
        int x, y, i;
        random_colour(r);
        x = rand() % X8A_WIDTH;
        y = rand() % X8A_HEIGHT;
        for (i = 0; i < 2 && r->targets[i]; i++)
            XFillRectangle(r->dpy, r->targets[i], r->gc, x, row(r, y + 30), 60, 30);
        XFlush(r->dpy);
    }
}

/* The font set of a pixel size, created on first use with the library's
 * two fallbacks. */
static XFontSet fontset(struct x8a_raw *r, int size)
{
    static const char *const fallbacks[] = {"-*-fixed-medium-r-normal--14-*", "fixed,-*--14-*"};
    char name[96];
    char **missing;
    int nmissing, i;
    char *def;
    XFontSet fs;

    for (i = 0; i < r->nfontsets; i++)
        if (r->fontset_sizes[i] == size)
            return r->fontsets[i];
    snprintf(name, sizeof name, X8A_FONTSET_PATTERN, size);
    fs = XCreateFontSet(r->dpy, name, &missing, &nmissing, &def);
    for (i = 0; !fs && i < 2; i++) {
        if (missing)
            XFreeStringList(missing);
        fs = XCreateFontSet(r->dpy, fallbacks[i], &missing, &nmissing, &def);
    }
    if (missing)
        XFreeStringList(missing);
    if (fs && r->nfontsets < 4) {
        r->fontset_sizes[r->nfontsets] = size;
        r->fontsets[r->nfontsets++] = fs;
    }
    return fs;
}

static void string_at(struct x8a_raw *r, XFontSet fs, int x, int y, const char *text)
{
    int i;
    if (fs)
        for (i = 0; i < 2 && r->targets[i]; i++)
            XmbDrawString(r->dpy, r->targets[i], fs, r->gc, x, row(r, y), text, (int)strlen(text));
    XFlush(r->dpy);
}

void x8a_raw_latin_strings(struct x8a_raw *r, int size, double limit)
{
    double n;
    for (n = 1.0; n < limit; n += 1.0) {
        int x, y;
        XFontSet fs;
        random_colour(r);
        fs = fontset(r, size);
        x = rand() % X8A_WIDTH;
        y = rand() % X8A_HEIGHT;
        string_at(r, fs, x, y, X8A_LATIN_TEXT);
    }
}

void x8a_raw_japanese_strings(struct x8a_raw *r, double limit)
{
    double n;
    for (n = 1.0; n < limit; n += 1.0) {
        int grey = (int)n % 255;
        int x, y;
        XFontSet fs;
        x8a_raw_colour(r, grey, grey, grey);
        fs = fontset(r, 48);
        x = rand() % X8A_WIDTH;
        y = rand() % X8A_HEIGHT;
        string_at(r, fs, x, y, X8A_JAPANESE_TEXT);
    }
}

#define SCROLLBAR 19

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

void x8a_raw_open_window(Display *dpy, struct x8a_raw_window *w, struct x8a_raw *r)
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

void x8a_raw_close_window(Display *dpy, const struct x8a_raw_window *w)
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
