/*
 * layers.cpp - the eight layers of a window: choosing the shown and the
 * write layer, copying, clearing and scrolling whole layers, and clearing
 * the terminal.
 *
 * Every whole-layer copy is a rectangle fill through the window's tile_gc
 * with the source pixmap as its tile, so no pixel leaves the server; a
 * non-zero tile origin makes it a shifted copy that wraps at the edges.
 * Whenever the shown layer's pixmap changes, the child is told (command
 * 11) before the old pixmap is put to another use, since it repaints
 * exposures from that pixmap.
 */
#include "kova_private.h"
#include "kova_protocol.h"

#include <cstdio>

namespace {

bool valid_layer(int layer) { return layer >= 0 && layer < 8; }

/* The part of a scroll that wrapped around, along one axis: the strip to
 * clear starts at *at and is *len pixels long (0 for no shift). */
void wrapped_strip(long long shift, int size, int *at, unsigned int *len)
{
    long long n = shift < 0 ? -shift : shift;
    if (n > size)
        n = size;
    *len = static_cast<unsigned int>(n);
    *at = shift > 0 ? 0 : size - static_cast<int>(n);
}

} // namespace

bool layer_exists(int wn, int layer)
{
    return valid_layer(layer) && Pc[wn].layers[layer] != 0;
}

int tile_origin(long long shift, int size)
{
    long long r = shift % size;
    return static_cast<int>(r < 0 ? r + size : r);
}

Pixmap create_layer(int wn)
{
    const pc_window &w = Pc[wn];
    auto W = static_cast<unsigned int>(w.width), H = static_cast<unsigned int>(w.height);
    Pixmap p = XCreatePixmap(Pc_dis, w.draw_win, W, H, static_cast<unsigned int>(Pc_depth));
    XFillRectangle(Pc_dis, p, w.bg_gc, 0, 0, W, H);
    return p;
}

void tile_fill(int wn, Pixmap tile, Drawable d, int x, int y, int width, int height)
{
    GC gc = Pc[wn].tile_gc;
    XSetTile(Pc_dis, gc, tile);
    XFillRectangle(Pc_dis, d, gc, x, y, static_cast<unsigned int>(width),
                   static_cast<unsigned int>(height));
}

void show_layer(int wn, int layer)
{
    const pc_window &w = Pc[wn];
    tile_fill(wn, w.layers[layer], w.draw_win, 0, 0, w.width, w.height);
    if (w.icon_win)
        XFillRectangle(Pc_dis, w.icon_win, w.tile_gc, 0, 0, static_cast<unsigned int>(w.width),
                       static_cast<unsigned int>(w.height));
    do_auto_flush();
}

extern "C" KOVA_API void kova_layer(int wn, int show, int write)
{
    if (!window_is_open(wn))
        return;
    pc_window &w = Pc[wn];
    if (!valid_layer(show))
        show = w.shown_layer;
    if (!valid_layer(write))
        write = w.write_layer;
    if (!w.layers[show])
        w.layers[show] = create_layer(wn);
    if (!w.layers[write])
        w.layers[write] = create_layer(wn);
    if (show != w.shown_layer) {
        wait_child();
        send_command_to_child(wn, KOVA_CMD_SHOWN_PIXMAP, w.layers[show], 1);
        show_layer(wn, show);
    }
    w.write_layer = write;
    w.shown_layer = show;
}

extern "C" KOVA_API void kova_copylayer(int wn, int src, int dst)
{
    if (!window_is_open(wn))
        return;
    const pc_window &w = Pc[wn];
    if (!layer_exists(wn, src) || !layer_exists(wn, dst)) {
        _kova_error("Invalid layer index at copylayer()");
        return;
    }
    wait_child();
    if (src != dst)
        tile_fill(wn, w.layers[src], w.layers[dst], 0, 0, w.width, w.height);
    if (dst == w.shown_layer)
        show_layer(wn, src);
}

extern "C" KOVA_API void kova_gclr(int wn)
{
    if (!window_is_open(wn))
        return;
    const pc_window &w = Pc[wn];
    wait_child();
    XFillRectangle(Pc_dis, w.layers[w.write_layer], w.bg_gc, 0, 0,
                   static_cast<unsigned int>(w.width), static_cast<unsigned int>(w.height));
    if (w.write_layer != w.shown_layer)
        return;
    XClearWindow(Pc_dis, w.draw_win);
    if (w.icon_win)
        XClearWindow(Pc_dis, w.icon_win);
    do_auto_flush();
}

extern "C" KOVA_API void kova_gscroll(int wn, int dx, int dy, int clr)
{
    if (!window_is_open(wn))
        return;
    pc_window &w = Pc[wn];
    wait_child();
    /* A positive dy moves the picture towards larger user y. */
    long long sx = dx, sy = (w.attributes & KOVA_ATTR_Y_UP) ? -static_cast<long long>(dy) : dy;
    if (!w.scroll_pixmap)
        w.scroll_pixmap = create_layer(wn);
    Pixmap &layer = w.layers[w.write_layer];
    XSetTSOrigin(Pc_dis, w.tile_gc, tile_origin(sx, w.width), tile_origin(sy, w.height));
    tile_fill(wn, layer, w.scroll_pixmap, 0, 0, w.width, w.height);
    Pixmap old = layer;
    layer = w.scroll_pixmap;
    w.scroll_pixmap = old;
    const bool shown = w.write_layer == w.shown_layer;
    if (shown)
        send_command_to_child(wn, KOVA_CMD_SHOWN_PIXMAP, layer, 1);
    XSetTSOrigin(Pc_dis, w.tile_gc, 0, 0);
    if (clr) {
        int x, y;
        unsigned int cw, ch;
        wrapped_strip(sx, w.width, &x, &cw);
        wrapped_strip(sy, w.height, &y, &ch);
        if (cw)
            XFillRectangle(Pc_dis, layer, w.bg_gc, x, 0, cw, static_cast<unsigned int>(w.height));
        if (ch)
            XFillRectangle(Pc_dis, layer, w.bg_gc, 0, y, static_cast<unsigned int>(w.width), ch);
    }
    if (shown)
        show_layer(wn, w.write_layer);
}

extern "C" KOVA_API void kova_tclr(void)
{
    fputs("\33[H\33[2J", stdout);
    fflush(stdout);
}
