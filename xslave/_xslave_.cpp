/*
 * _xslave_.cpp - the window child process.  Start reading at main().
 *
 * The library carries this program inside itself, writes it to /tmp and
 * runs it once per application ("1": window mode), and once for every
 * saved picture ("2": image-saving mode, image_save.cpp).  It has its own X
 * connection and learns about windows only from command events that the
 * library sends to its hidden command window (see kova_protocol.h).  For
 * every managed window it repaints exposures from the shown layer's
 * pixmap, lays out viewport and scrollbars, follows resizes, forwards
 * button events of the drawing window to the command window and key presses
 * of inner windows to the top-level window, and ends the application when
 * its windows are destroyed behind the library's back.
 */
#include "_kova_scrollbar.h"
#include "image_save.h"
#include "kova_ack.h"
#include "kova_common.h"
#include "kova_protocol.h"
#include "window_records.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <unistd.h>

namespace {

/* What the child knows about one window of the library. */
struct slave_window {
    int in_use;
    Window top_win;
    Window clip_win;
    Window hscroll_win;
    Window vscroll_win;
    Window draw_win;
    Window icon_win;
    XWindowAttributes top_attr;
    XWindowAttributes clip_attr;
    XWindowAttributes draw_attr; /* x, y: place in clip_win; width, height: canvas size */
    int y_upward;
    Pixmap shown_pixmap;
    unsigned shown_width, shown_height; /* its size; 0 until a repaint asks */
    kova_scrollbar vbar;
    kova_scrollbar hbar;
    GC bar_gc;
};

Display *Dis;
long Ppid;
slave_window *Pc;
int N_Pc;
int Scrollbar_width;

Window Cmd_win;
unsigned long Face_pixel, Dark_pixel, Trough_pixel, Light_pixel;
int Take_buttons = 1;

const int Bevel_width = 2;

/* Ends the application: the library process is told to terminate and its
 * exit handling stops this process.  A library that has gone already (this
 * process was inherited by another) leaves nobody to wait for. */
[[noreturn]] void end_application()
{
    if (getppid() == Ppid) {
        kill(static_cast<pid_t>(Ppid), SIGTERM);
        while (getppid() == Ppid)
            sleep(1);
    }
    exit(1);
}

/* Xlib calls this once the connection has failed (the server ended, or a
 * client killed it); it must not return. */
int lost_connection(Display *)
{
    _kova_error("The connection to the X server was lost.");
    exit(1);
}

/* Never below two records, as the library's own table. */
void shrink_table()
{
    int n = shrunk_size(Pc, N_Pc);
    if (n != N_Pc)
        resize_records(Pc, N_Pc, n);
}

void select_input(const slave_window &w)
{
    long buttons = Take_buttons ? ButtonPressMask | ButtonReleaseMask : 0;
    if (w.icon_win)
        XSelectInput(Dis, w.icon_win, ExposureMask);
    if (!has_scrollbars(w)) {
        XSelectInput(Dis, w.top_win, StructureNotifyMask | ExposureMask | buttons);
        return;
    }
    XSelectInput(Dis, w.top_win, StructureNotifyMask | KeyPressMask);
    XSelectInput(Dis, w.clip_win, KeyPressMask);
    XSelectInput(Dis, w.draw_win, StructureNotifyMask | ExposureMask | KeyPressMask | buttons);
}

/* Where the canvas starts along one axis of a viewport of length view: a
 * shorter canvas is centred; a longer one starts at the viewport's start on
 * a window's first layout (the corner where the library drew it), and
 * later keeps the point at the viewport's centre fixed. */
int canvas_start(int start, int data, int view, int old_view, bool first)
{
    if (data <= view)
        return (view - data) / 2;
    return first ? 0 : start + view / 2 - old_view / 2;
}

/* Places viewport, bars and canvas for a top-level window of W x H. */
void layout(slave_window &w, int W, int H, bool first = false)
{
    const int S = Scrollbar_width;
    int dw = w.draw_attr.width, dh = w.draw_attr.height;
    int hb = dw > W ? S : 0;
    int vb = dh + hb > H ? S : 0;
    hb = dw + vb > W ? S : 0;
    if (2 * vb > W)
        vb = 0;
    if (2 * hb > H)
        hb = 0;
    int cw = W - vb, ch = H - hb;

    w.draw_attr.x = canvas_start(w.draw_attr.x, dw, cw, w.clip_attr.width, first);
    w.clip_attr.width = cw;
    w.draw_attr.y = canvas_start(w.draw_attr.y, dh, ch, w.clip_attr.height, first);
    w.clip_attr.height = ch;

    if (w.vscroll_win) {
        if (vb > 0)
            XMoveResizeWindow(Dis, w.vscroll_win, cw, 0, static_cast<unsigned>(vb), static_cast<unsigned>(ch));
        else
            XMoveWindow(Dis, w.vscroll_win, -S, 0);
        kova_scrollbar_update_data_params(&w.vbar, dh, ch, -w.draw_attr.y);
        w.draw_attr.y = -kova_scrollbar_get_cliporigin(&w.vbar);
    }
    if (w.hscroll_win) {
        if (hb > 0)
            XMoveResizeWindow(Dis, w.hscroll_win, 0, ch, static_cast<unsigned>(cw), static_cast<unsigned>(hb));
        else
            XMoveWindow(Dis, w.hscroll_win, 0, -S);
        kova_scrollbar_update_data_params(&w.hbar, dw, cw, -w.draw_attr.x);
        w.draw_attr.x = -kova_scrollbar_get_cliporigin(&w.hbar);
    }
    XResizeWindow(Dis, w.clip_win, static_cast<unsigned>(cw), static_cast<unsigned>(ch));
    XMoveWindow(Dis, w.draw_win, w.draw_attr.x, w.draw_attr.y);
}

void manage(int n)
{
    slave_window &w = Pc[n];
    if (w.in_use)
        _kova_error("Invalid wid.");
    /* Without scrollbars the three are one window, asked about once. */
    XGetWindowAttributes(Dis, w.top_win, &w.top_attr);
    w.clip_attr = w.top_attr;
    if (w.clip_win != w.top_win)
        XGetWindowAttributes(Dis, w.clip_win, &w.clip_attr);
    w.draw_attr = w.clip_attr;
    if (w.draw_win != w.clip_win)
        XGetWindowAttributes(Dis, w.draw_win, &w.draw_attr);
    if (w.bar_gc)
        XFreeGC(Dis, w.bar_gc);
    w.bar_gc = nullptr;
    if (w.vscroll_win || w.hscroll_win) {
        w.bar_gc = XCreateGC(Dis, w.top_win, 0, nullptr);
        XSetGraphicsExposures(Dis, w.bar_gc, False);
    }
    if (w.vscroll_win)
        kova_scrollbar_init(&w.vbar, KOVA_SCROLLBAR_VERTICAL, Dis, w.vscroll_win, w.bar_gc,
                            Face_pixel, Dark_pixel, Trough_pixel, Light_pixel, w.draw_attr.height,
                            w.clip_attr.height, Bevel_width, 0, w.top_win);
    if (w.hscroll_win)
        kova_scrollbar_init(&w.hbar, KOVA_SCROLLBAR_HORIZONTAL, Dis, w.hscroll_win, w.bar_gc,
                            Face_pixel, Dark_pixel, Trough_pixel, Light_pixel, w.draw_attr.width,
                            w.clip_attr.width, Bevel_width, 0, w.top_win);
    select_input(w);
    if (has_scrollbars(w))
        layout(w, w.top_attr.width, w.top_attr.height, true);
    XFlush(Dis);
    w.in_use = 1;
}

void unmanage(int n)
{
    slave_window &w = Pc[n];
    if (!w.in_use)
        _kova_error("Invalid wid.");
    if (w.bar_gc)
        XFreeGC(Dis, w.bar_gc);
    for (Window win : {w.top_win, w.clip_win, w.hscroll_win, w.vscroll_win, w.draw_win, w.icon_win})
        if (win)
            XSelectInput(Dis, win, 0);
    memset(&w, 0, sizeof w);
    XFlush(Dis);
    shrink_table();
}

void set_key_mask(int n, int mask)
{
    slave_window &w = Pc[n];
    if (!w.in_use) {
        _kova_error("Invalid wid.");
        return;
    }
    if (w.vscroll_win)
        kova_scrollbar_update_key_mask(&w.vbar, mask);
    if (w.hscroll_win)
        kova_scrollbar_update_key_mask(&w.hbar, mask);
}

void set_take_buttons(int take)
{
    Take_buttons = take;
    for (int i = 0; i < N_Pc; i++)
        if (Pc[i].in_use)
            select_input(Pc[i]);
}

void handle_command(const XGraphicsExposeEvent &g)
{
    int n = g.major_code;
    if (n >= N_Pc)
        resize_records(Pc, N_Pc, n + 1);
    slave_window &w = Pc[n];
    unsigned long value = g.drawable;
    switch (g.minor_code) {
    case KOVA_CMD_SYNC: send_ack(Dis, Cmd_win); break;
    case KOVA_CMD_MANAGE: manage(n); break;
    case KOVA_CMD_UNMANAGE: unmanage(n); break;
    case KOVA_CMD_TOP_WIN: w.top_win = value; break;
    case KOVA_CMD_CLIP_WIN: w.clip_win = value; break;
    case KOVA_CMD_HSCROLL_WIN: w.hscroll_win = value; break;
    case KOVA_CMD_VSCROLL_WIN: w.vscroll_win = value; break;
    case KOVA_CMD_DRAW_WIN: w.draw_win = value; break;
    case KOVA_CMD_ICON_WIN: w.icon_win = value; break;
    case KOVA_CMD_Y_UPWARD: w.y_upward = value != 0; break;
    case KOVA_CMD_SHOWN_PIXMAP:
        w.shown_pixmap = value;
        w.shown_width = w.shown_height = 0;
        break;
    case KOVA_CMD_KEY_MASK: set_key_mask(n, static_cast<int>(value)); break;
    case KOVA_CMD_TAKE_BUTTONS: set_take_buttons(1); break;
    case KOVA_CMD_GIVE_BUTTONS:
        set_take_buttons(0);
        XFlush(Dis);
        break;
    default: break;
    }
}

/* The shown layer's size, asked when a repaint first needs it, so that
 * switching layers costs no round trip. */
void size_shown_pixmap(slave_window &w)
{
    if (w.shown_width > 0)
        return;
    Window root;
    int x, y;
    unsigned border, depth;
    XGetGeometry(Dis, w.shown_pixmap, &root, &x, &y, &w.shown_width, &w.shown_height, &border,
                 &depth);
}

/* Fills the exposed rectangle with the shown layer as a tile, within the
 * canvas only: a window made larger than its canvas (by a window manager)
 * keeps its background, which the server has painted, beyond it.  A window
 * whose layer is not known yet stays as the server left it. */
void repaint(slave_window &w, const XExposeEvent &e)
{
    if (!w.shown_pixmap)
        return;
    size_shown_pixmap(w);
    const int right = std::min(e.x + e.width, static_cast<int>(w.shown_width));
    const int bottom = std::min(e.y + e.height, static_cast<int>(w.shown_height));
    if (right <= e.x || bottom <= e.y)
        return;
    XGCValues v;
    v.fill_style = FillTiled;
    v.fill_rule = WindingRule;
    v.tile = w.shown_pixmap;
    v.ts_x_origin = 0;
    v.ts_y_origin = 0;
    GC gc = XCreateGC(Dis, e.window,
                      GCFillStyle | GCFillRule | GCTile | GCTileStipXOrigin | GCTileStipYOrigin, &v);
    XSetGraphicsExposures(Dis, gc, False);
    XFillRectangle(Dis, e.window, gc, e.x, e.y, static_cast<unsigned>(right - e.x),
                   static_cast<unsigned>(bottom - e.y));
    XFreeGC(Dis, gc);
    XFlush(Dis);
}

/* The first in-use record for which match(record) holds, or null. */
template <typename F>
slave_window *find_window(F match)
{
    for (int i = 0; i < N_Pc; i++)
        if (Pc[i].in_use && match(Pc[i]))
            return &Pc[i];
    return nullptr;
}

void forward_key(XEvent ev)
{
    Window win = ev.xkey.window;
    slave_window *w = find_window([win](const slave_window &r) {
        return has_scrollbars(r) && (win == r.draw_win || win == r.clip_win || win == r.hscroll_win ||
                                     win == r.vscroll_win || win == r.top_win);
    });
    if (!w || win == w->top_win)
        return;
    ev.xkey.window = w->top_win;
    XSendEvent(Dis, w->top_win, False, KeyPressMask, &ev);
}

void forward_button(XEvent ev)
{
    Window win = ev.xbutton.window;
    if (!find_window([win](const slave_window &r) { return win == r.draw_win; }))
        return;
    if (ev.type == ButtonPress) {
        XUngrabPointer(Dis, CurrentTime);
        XSendEvent(Dis, Cmd_win, False, ButtonPressMask, &ev);
    } else {
        XSendEvent(Dis, Cmd_win, False, ButtonReleaseMask, &ev);
    }
    XFlush(Dis);
}

/* The library resized the drawing window: keep the viewport as wide as a
 * canvas that fitted, and with the y axis upward keep the bottom edge of a
 * taller canvas in view. */
void canvas_resize(slave_window &w, int width, int height)
{
    if (width == w.draw_attr.width && height == w.draw_attr.height)
        return;
    if (w.draw_attr.width <= w.clip_attr.width)
        w.clip_attr.width = width;
    if (w.draw_attr.height <= w.clip_attr.height)
        w.clip_attr.height = height;
    else if (w.y_upward)
        w.draw_attr.y -= height - w.draw_attr.height;
    w.draw_attr.width = width;
    w.draw_attr.height = height;
    layout(w, w.top_attr.width, w.top_attr.height);
    XFlush(Dis);
}

void handle_configure(const XConfigureEvent &c)
{
    Window win = c.window;
    slave_window *w = find_window([win](const slave_window &r) {
        return has_scrollbars(r) && (win == r.top_win || win == r.draw_win);
    });
    if (!w)
        return;
    if (win == w->top_win) {
        if (c.width == w->top_attr.width && c.height == w->top_attr.height)
            return;
        w->top_attr.width = c.width;
        w->top_attr.height = c.height;
        layout(*w, c.width, c.height);
        XFlush(Dis);
    } else {
        canvas_resize(*w, c.width, c.height);
    }
}

/* Windows vanished without the library's say: its process or connection
 * ended, or another client destroyed them. */
[[noreturn]] void shut_down()
{
    for (int i = 0; i < N_Pc; i++)
        if (Pc[i].in_use && Pc[i].bar_gc)
            XFreeGC(Dis, Pc[i].bar_gc);
    XFlush(Dis);
    free(Pc);
    Pc = nullptr;
    N_Pc = 0;
    XCloseDisplay(Dis);
    end_application();
}

/* Offers the event to every bar and moves the drawing windows whose bars
 * moved. */
void scrollbar_dispatch(const XEvent &ev)
{
    for (int i = 0; i < N_Pc; i++) {
        slave_window &w = Pc[i];
        if (!w.in_use || !has_scrollbars(w))
            continue;
        bool moved = false;
        if (w.hscroll_win)
            moved |= kova_scrollbar_handle_event(&w.hbar, &ev) == 1;
        if (w.vscroll_win)
            moved |= kova_scrollbar_handle_event(&w.vbar, &ev) == 1;
        if (!moved)
            continue;
        if (w.hscroll_win)
            w.draw_attr.x = -kova_scrollbar_get_cliporigin(&w.hbar);
        if (w.vscroll_win)
            w.draw_attr.y = -kova_scrollbar_get_cliporigin(&w.vbar);
        XMoveWindow(Dis, w.draw_win, w.draw_attr.x, w.draw_attr.y);
        XFlush(Dis);
    }
}

void handle_event(XEvent &ev)
{
    switch (ev.type) {
    case GraphicsExpose:
        if (ev.xgraphicsexpose.send_event && ev.xgraphicsexpose.minor_code != KOVA_CMD_ACK)
            handle_command(ev.xgraphicsexpose);
        break;
    case Expose: {
        Window win = ev.xexpose.window;
        if (slave_window *w = find_window(
                [win](const slave_window &r) { return win == r.draw_win || win == r.icon_win; }))
            repaint(*w, ev.xexpose);
        break;
    }
    case ButtonPress:
    case ButtonRelease:
        forward_button(ev);
        break;
    case KeyPress:
        forward_key(ev);
        break;
    case ConfigureNotify:
        handle_configure(ev.xconfigure);
        break;
    case DestroyNotify:
        shut_down();
    default:
        break;
    }
}

int window_mode(int argc, char **argv)
{
    if (argc < KOVA_WIN_ARG_COUNT) {
        _kova_error("Invalid arguments.");
        return 1;
    }
    Ppid = atol(argv[KOVA_WIN_ARG_PPID]);
    Face_pixel = strtoul(argv[KOVA_WIN_ARG_FACE_PIXEL], nullptr, 10);
    Dark_pixel = strtoul(argv[KOVA_WIN_ARG_DARK_PIXEL], nullptr, 10);
    Trough_pixel = strtoul(argv[KOVA_WIN_ARG_TROUGH_PIXEL], nullptr, 10);
    Light_pixel = strtoul(argv[KOVA_WIN_ARG_LIGHT_PIXEL], nullptr, 10);
    Scrollbar_width = atoi(argv[KOVA_WIN_ARG_SCROLLBAR_WIDTH]);
    Cmd_win = strtoul(argv[KOVA_WIN_ARG_CMD_WIN], nullptr, 10);

    /* An interrupt typed at the terminal is for the library process. */
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = SIG_IGN;
    sigemptyset(&sa.sa_mask);
    sigaddset(&sa.sa_mask, SIGINT);
    sigaction(SIGINT, &sa, nullptr);

    Dis = XOpenDisplay(nullptr);
    if (!Dis) {
        _kova_error("Cannot open display.");
        return 1;
    }
    XSetIOErrorHandler(lost_connection);
    /* StructureNotify as well: the command window dies with the library's
     * connection, which ends this process even when no window is managed. */
    XSelectInput(Dis, Cmd_win, ExposureMask | StructureNotifyMask);
    XFlush(Dis);
    send_ack(Dis, Cmd_win);

    for (;;) {
        XEvent ev;
        XNextEvent(Dis, &ev);
        handle_event(ev);
        scrollbar_dispatch(ev);
    }
}

} // namespace

const char Kova_message_prefix[] = "kova";

/* A fatal error (memory ran out) ends the application as a vanished
 * window does. */
void _kova_fatal_exit(void)
{
    end_application();
}

namespace {

/* The library wrote this executable to /tmp for this one run: removed at
 * once, so that no way the library ends (SIGKILL among them) leaves it
 * behind.  A run from anywhere else keeps its file. */
void remove_own_copy(const char *path)
{
    if (strncmp(path, KOVA_EXEC_PREFIX, sizeof KOVA_EXEC_PREFIX - 1) == 0)
        unlink(path);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return 1;
    switch (atoi(argv[KOVA_WIN_ARG_MODE])) {
    case KOVA_MODE_WINDOWS: remove_own_copy(argv[0]); return window_mode(argc, argv);
    case KOVA_MODE_SAVE_IMAGE: remove_own_copy(argv[0]); return image_mode(argc, argv);
    default: return 1;
    }
}
