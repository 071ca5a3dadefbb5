/*
 * attributes.cpp - settings for the next window, changes to open windows,
 * size hints and display information.
 */
#include "kova_private.h"

#include <cstring>
#include <initializer_list>

namespace {

/* A window opens at most this much smaller than the display when its
 * canvas does not fit (scrollbar layout). */
constexpr int display_margin = 128;

/* Replaces a pending string with the formatted text, or with NULL. */
void set_pending(char **slot, const char *format, va_list ap)
{
    free(*slot);
    *slot = _kova_vasprintf(format, ap);
}

void set_pending_copy(char **slot, const char *s)
{
    free(*slot);
    *slot = s ? _kova_xstrdup(s) : nullptr;
}

/* Hints of a window whose canvas is w x h, before any geometry string. */
void base_hints(int w, int h, int fixed, XSizeHints *out)
{
    memset(out, 0, sizeof *out);
    out->width = w;
    out->height = h;
    out->max_width = w;
    out->max_height = h;
    out->flags = USSize | PMaxSize;
    if (fixed) {
        out->flags |= PMinSize;
        out->min_width = w;
        out->min_height = h;
    }
}

void apply_geometry(int w, int h, XSizeHints *out)
{
    int x = 0, y = 0, gw = 0, gh = 0, gravity = 0;
    int given = XWMGeometry(Pc_dis, DefaultScreen(Pc_dis), Pc_geometry, nullptr,
                            static_cast<unsigned int>(Pc_bdr_width), out, &x, &y, &gw, &gh,
                            &gravity);
    bool has_pos = given & (XValue | YValue);
    bool xneg = (given & XValue) && (given & XNegative);
    bool yneg = (given & YValue) && (given & YNegative);
    if (!(given & XValue))
        x = 0;
    if (!(given & YValue))
        y = 0;
    /* Without a size the rules measured a negative position from a window
     * of their own default size: measure it from the canvas instead. */
    if (!(given & WidthValue)) {
        if (xneg)
            x += gw - w;
        gw = w;
    }
    if (!(given & HeightValue)) {
        if (yneg)
            y += gh - h;
        gh = h;
    }
    out->x = x;
    out->y = y;
    /* "0x0" would make an X error of the window's creation. */
    out->width = gw > 0 ? gw : 1;
    out->height = gh > 0 ? gh : 1;
    if (has_pos) {
        out->flags |= USPosition | PWinGravity;
        out->win_gravity = xneg && yneg ? SouthEastGravity
                           : xneg       ? NorthEastGravity
                           : yneg       ? SouthWestGravity
                                        : NorthWestGravity;
    }
}

} // namespace

void get_size_hints(int width, int height, int fixed, XSizeHints *out)
{
    base_hints(width, height, fixed, out);
    if (Pc_geometry) {
        apply_geometry(width, height, out);
        return;
    }
    if (!fixed) {
        if (Pc_display_width > display_margin && width + display_margin > Pc_display_width)
            out->width = Pc_display_width - display_margin;
        if (Pc_display_height > display_margin && height + display_margin > Pc_display_height)
            out->height = Pc_display_height - display_margin;
    }
}

extern "C" KOVA_API void kova_gsetinitialattributes(int values, int mask)
{
    Pc_attributes = (Pc_attributes & ~mask) | (values & mask);
}

extern "C" KOVA_API int kova_ggetinitialattributes(void)
{
    return Pc_attributes;
}

extern "C" KOVA_API void kova_gsetinitialborder(int width, const char *format, ...)
{
    if (width >= 0)
        Pc_bdr_width = width;
    if (format) {
        va_list ap;
        va_start(ap, format);
        set_pending(&Pc_bordercolor, format, ap);
        va_end(ap);
    }
}

extern "C" KOVA_API void kova_gsetinitialbgcolor(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    set_pending(&Pc_bgcolor, format, ap);
    va_end(ap);
}

extern "C" KOVA_API void kova_gsetinitialgeometry(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    set_pending(&Pc_geometry, format, ap);
    va_end(ap);
}

extern "C" KOVA_API void kova_gsetinitialparsegeometry(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    set_pending(&Pc_geometry, format, ap);
    va_end(ap);
}

extern "C" KOVA_API void kova_gsetinitialwinname(const char *storename, const char *iconname,
                                                 const char *resname, const char *resclass)
{
    set_pending_copy(&Pc_storename, storename);
    set_pending_copy(&Pc_iconname, iconname);
    set_pending_copy(&Pc_classhint_res_name, resname);
    set_pending_copy(&Pc_classhint_res_class, resclass);
}

extern "C" KOVA_API void kova_gsetborder(int wn, int width, const char *format, ...)
{
    if (!window_is_open(wn))
        return;
    const pc_window &w = Pc[wn];
    if (width >= 0) {
        XSetWindowBorderWidth(Pc_dis, w.top_win, static_cast<unsigned int>(width));
        if (w.icon_win)
            XSetWindowBorderWidth(Pc_dis, w.icon_win, static_cast<unsigned int>(width));
    }
    if (format) {
        va_list ap;
        va_start(ap, format);
        malloc_str colour(_kova_vasprintf(format, ap));
        va_end(ap);
        unsigned long pixel = get_color_pixel(colour.get());
        XSetWindowBorder(Pc_dis, w.top_win, pixel);
        if (w.icon_win)
            XSetWindowBorder(Pc_dis, w.icon_win, pixel);
    }
    if (width >= 0 || format)
        do_auto_flush();
}

extern "C" KOVA_API void kova_gsetbgcolor(int wn, const char *format, ...)
{
    if (!window_is_open(wn) || !format)
        return;
    va_list ap;
    va_start(ap, format);
    malloc_str colour(_kova_vasprintf(format, ap));
    va_end(ap);
    pc_window &w = Pc[wn];
    w.bg_pixel = get_color_pixel(colour.get());
    XSetForeground(Pc_dis, w.bg_gc, w.bg_pixel);
    XSetWindowBackground(Pc_dis, w.draw_win, w.bg_pixel);
    if (w.icon_win)
        XSetWindowBackground(Pc_dis, w.icon_win, w.bg_pixel);
}

extern "C" KOVA_API int kova_winname(int wn, const char *format, ...)
{
    if (!window_is_open(wn) || !format)
        return -1;
    va_list ap;
    va_start(ap, format);
    malloc_str name(_kova_vasprintf(format, ap));
    va_end(ap);
    const pc_window &w = Pc[wn];
    for (Window win : {w.top_win, w.icon_win}) {
        if (!win)
            continue;
        XStoreName(Pc_dis, win, name.get());
        XSetIconName(Pc_dis, win, name.get());
    }
    do_auto_flush();
    return static_cast<int>(strlen(name.get()));
}

extern "C" KOVA_API int kova_ggetdisplayinfo(int *depth, int *root_width, int *root_height)
{
    int ok = display_setup() == 0;
    if (depth)
        *depth = ok ? Pc_depth : -1;
    if (root_width)
        *root_width = ok ? Pc_root_width : -1;
    if (root_height)
        *root_height = ok ? Pc_root_height : -1;
    return ok ? 0 : -1;
}
