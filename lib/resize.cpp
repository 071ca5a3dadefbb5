/*
 * resize.cpp - changing the canvas size of an open window.
 *
 * Every layer that exists gets a new pixmap holding the old picture,
 * attached to the corner where user y = 0 lies (bottom-left with the y axis
 * upward, else top-left).  The child is switched over to the new pixmap of
 * the shown layer, and has acknowledged it, before the old one is freed, so
 * it never repaints from a freed pixmap.
 */
#include "kova_private.h"
#include "kova_protocol.h"

namespace {

/* Replaces every existing layer by one of the new size; the old picture is
 * placed at (0, dy) and cut off where it leaves the canvas. */
void replace_layers(int wn, int w0, int h0, int dy)
{
    pc_window &w = Pc[wn];
    XSetTSOrigin(Pc_dis, w.tile_gc, 0, dy);
    for (int i = 0; i < 8; i++) {
        if (!w.layers[i])
            continue;
        Pixmap fresh = create_layer(wn);
        tile_fill(wn, w.layers[i], fresh, 0, dy, w0, h0);
        if (i == w.shown_layer) {
            send_command_to_child(wn, KOVA_CMD_SHOWN_PIXMAP, fresh, 0);
            sync_child(1);
        }
        XFreePixmap(Pc_dis, w.layers[i]);
        w.layers[i] = fresh;
    }
    XSetTSOrigin(Pc_dis, w.tile_gc, 0, 0);
    if (w.scroll_pixmap) {
        XFreePixmap(Pc_dis, w.scroll_pixmap);
        w.scroll_pixmap = 0;
    }
}

/* The plain layout's window is the canvas (fixed size); the scrollbar
 * layout's top-level window follows the new canvas up to the display's
 * limit, and the child lays out viewport and bars when it sees the drawing
 * window change. */
void resize_windows(const pc_window &w)
{
    const bool plain = w.top_win == w.draw_win;
    XSizeHints hints;
    get_size_hints(w.width, w.height, plain ? 1 : 0, &hints);
    auto W = static_cast<unsigned int>(w.width), H = static_cast<unsigned int>(w.height);
    if (plain) {
        XSetWMNormalHints(Pc_dis, w.draw_win, &hints);
        XResizeWindow(Pc_dis, w.draw_win, W, H);
        if (w.icon_win) {
            XSetWMNormalHints(Pc_dis, w.icon_win, &hints);
            XResizeWindow(Pc_dis, w.icon_win, W, H);
        }
        return;
    }
    XResizeWindow(Pc_dis, w.draw_win, W, H);
    XSetWMNormalHints(Pc_dis, w.top_win, &hints);
    XResizeWindow(Pc_dis, w.top_win, static_cast<unsigned int>(hints.width),
                  static_cast<unsigned int>(hints.height));
}

} // namespace

extern "C" KOVA_API void kova_gresize(int wn, int width, int height)
{
    if (!window_is_open(wn))
        return;
    pc_window &w = Pc[wn];
    if (width <= 0 || height <= 0 || (width == w.width && height == w.height))
        return;
    int cw, ch;
    fit_canvas_size(width, height, &cw, &ch);
    if (cw == w.width && ch == w.height)
        return;
    wait_child();
    const int w0 = w.width, h0 = w.height;
    w.width = cw;
    w.height = ch;
    replace_layers(wn, w0, h0, (w.attributes & KOVA_ATTR_Y_UP) ? ch - h0 : 0);
    resize_windows(w);
    /* The dock icon is repainted by the child when the resize exposes it. */
    tile_fill(wn, w.layers[w.shown_layer], w.draw_win, 0, 0, w.width, w.height);
    do_auto_flush();
}
