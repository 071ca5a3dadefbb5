/*
 * input.cpp - keys, mouse buttons and pointer movement in any of the
 * library's windows, waited for (blocking mode) or polled (non-blocking
 * mode), with positions in the window's own user coordinates.
 *
 * Blocking mode selects input only for the length of a call.  Button
 * presses then come from the child, which holds the drawing windows'
 * button selection and forwards the events to the command window, and key
 * presses on inner windows of a scrollbar window come forwarded to its
 * top-level window.  A blocking kova_ggetevent first looks where the
 * pointer is and makes up the one event that brings the bookkeeping
 * (Pc_evrec_*) up to date, so that each call reports the pointer as it is
 * now instead of replaying movement that happened while nobody listened.
 *
 * Close requests of a window manager come to the library's connection
 * whatever is selected; windows that asked for them (kova_gsetcloseevent)
 * get them reported as type 33, the others never receive any.
 */
#include "kova_private.h"
#include "kova_protocol.h"
#include "window_records.h"

#include <X11/Xproto.h>
#include <X11/keysym.h>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <poll.h>

namespace {

constexpr long pointer_mask = EnterWindowMask | LeaveWindowMask | PointerMotionMask;
constexpr long button_mask = ButtonPressMask | ButtonReleaseMask;
/* Queued events that a made-up event supersedes. */
constexpr long superseded_mask = button_mask | pointer_mask;
constexpr unsigned int any_button = Button1Mask | Button2Mask | Button3Mask | Button4Mask |
                                    Button5Mask;
/* Looks at the pointer taken again at most this often while it moves. */
constexpr int pointer_look_attempts = 16;

struct key_entry {
    KeySym sym;
    int code;
    bool navigation; /* belongs to the scrollbars when their key mask is held */
};

constexpr key_entry key_table[] = {
    {XK_Pause, 3, false},    {XK_KP_Delete, 127, false}, {XK_Home, 1, true},
    {XK_KP_Home, 1, true},   {XK_Prior, 2, true},        {XK_KP_Prior, 2, true},
    {XK_End, 5, true},       {XK_KP_End, 5, true},       {XK_Next, 6, true},
    {XK_KP_Next, 6, true},   {XK_Right, 28, true},       {XK_KP_Right, 28, true},
    {XK_Left, 29, true},     {XK_KP_Left, 29, true},     {XK_Up, 30, true},
    {XK_KP_Up, 30, true},    {XK_Down, 31, true},        {XK_KP_Down, 31, true},
};

const key_entry *table_key(KeySym sym)
{
    for (const key_entry &k : key_table)
        if (k.sym == sym)
            return &k;
    return nullptr;
}

/* One report of an input call; wn -1 when no event of an open window was
 * read. */
struct report {
    int wn = -1;
    int type = -1;
    int code = -1;
    double x = 0.0, y = 0.0;
};

/* The double variants write only when there is a window number. */
int double_report(const report &r, int *type, int *code, double *x, double *y)
{
    if (r.wn < 0)
        return -1;
    if (type)
        *type = r.type;
    if (code)
        *code = r.code;
    if (x)
        *x = r.x;
    if (y)
        *y = r.y;
    return r.wn;
}

/* A position of a window with a vast coordinate range may lie beyond what
 * a float holds: it gets the largest float of its sign. */
float to_float(double v)
{
    return static_cast<float>(std::fmax(std::fmin(v, FLT_MAX), -FLT_MAX));
}

/* The float variants always write: with no event, type and code -1 and the
 * position 0. */
int float_report(const report &r, int *type, int *code, float *x, float *y)
{
    report out = r.wn < 0 ? report{} : r;
    if (type)
        *type = out.type;
    if (code)
        *code = out.code;
    if (x)
        *x = to_float(out.x);
    if (y)
        *y = to_float(out.y);
    return r.wn;
}

bool any_window_open(void)
{
    for (int i = 0; i < N_Pc; i++)
        if (window_slot_open(i))
            return true;
    return false;
}

/* Input before the first open or after close-all would wait for ever on
 * nothing, or touch a closed display. */
bool input_possible(void)
{
    if (any_window_open())
        return true;
    _kova_warn("No window is open to read input from.");
    return false;
}

int window_of(Window win)
{
    for (int i = 0; i < N_Pc; i++)
        if (Pc[i].in_use && (Pc[i].draw_win == win || Pc[i].top_win == win))
            return i;
    return -1;
}

int window_of_draw_win(Window win)
{
    for (int i = 0; i < N_Pc; i++)
        if (Pc[i].in_use && Pc[i].draw_win == win)
            return i;
    return -1;
}

int lowest_button(unsigned int state)
{
    for (int b = 1; b <= 5; b++)
        if (state & (Button1Mask << (b - 1)))
            return b;
    return 0;
}

int button_mask_bit(unsigned int button)
{
    return button >= 1 && button <= 5 ? static_cast<int>(Button1Mask << (button - 1)) : 0;
}

void pointer_report(report &r, int wn, int px, int py, unsigned int state)
{
    r.code = lowest_button(state);
    xyinv(wn, px, py, &r.x, &r.y);
}

void record_root(int x_root, int y_root)
{
    Pc_evrec_pointer_x = x_root;
    Pc_evrec_pointer_y = y_root;
}

/* ---- selections of a blocking call ---------------------------------- */

void select_for_call(bool pointer_too)
{
    XSelectInput(Pc_dis, Pc_zwin, button_mask);
    for (int i = 0; i < N_Pc; i++) {
        const pc_window &w = Pc[i];
        if (!w.in_use)
            continue;
        if (!pointer_too) {
            XSelectInput(Pc_dis, w.top_win, KeyPressMask);
        } else if (!has_scrollbars(w)) {
            XSelectInput(Pc_dis, w.top_win, KeyPressMask | pointer_mask);
        } else {
            XSelectInput(Pc_dis, w.top_win, KeyPressMask);
            XSelectInput(Pc_dis, w.draw_win, pointer_mask);
        }
    }
}

/* The server has dropped the selections before the call returns; pointer
 * events it sent until then are stale (the next blocking call looks at
 * the pointer itself) and are dropped.  Keys and buttons stay queued. */
void deselect_after_call(void)
{
    for (int i = 0; i < N_Pc; i++) {
        const pc_window &w = Pc[i];
        if (!w.in_use)
            continue;
        XSelectInput(Pc_dis, w.top_win, 0);
        if (has_scrollbars(w))
            XSelectInput(Pc_dis, w.draw_win, 0);
    }
    XSelectInput(Pc_dis, Pc_zwin, 0);
    XSync(Pc_dis, False);
    XEvent ev;
    while (XCheckMaskEvent(Pc_dis, pointer_mask, &ev))
        ;
}

/* ---- the pointer as it is now (blocking kova_ggetevent) ------------- */

/* Another client may destroy its window between our learning the id and
 * asking about the pointer relative to it; that BadWindow must not end the
 * application through Xlib's default handler.  Errors of other requests go
 * to the handler that was installed. */
class lost_window_guard {
  public:
    lost_window_guard()
    {
        Lost = false;
        First_serial = NextRequest(Pc_dis);
        Saved = XSetErrorHandler(note);
    }
    ~lost_window_guard() { XSetErrorHandler(Saved); }
    lost_window_guard(const lost_window_guard &) = delete;
    lost_window_guard &operator=(const lost_window_guard &) = delete;
    /* True when a query since the last call met a window that is gone. */
    static bool lost()
    {
        bool l = Lost;
        Lost = false;
        return l;
    }

  private:
    static int note(Display *d, XErrorEvent *e)
    {
        if (e->request_code == X_QueryPointer && e->error_code == BadWindow &&
            e->serial >= First_serial) {
            Lost = true;
            return 0;
        }
        return Saved ? Saved(d, e) : 0;
    }
    static inline XErrorHandler Saved = nullptr;
    static inline unsigned long First_serial = 0;
    static inline bool Lost = false;
};

struct pointer_look {
    bool on_screen = false;
    Window deepest = 0;
    int root_x = 0, root_y = 0;
    unsigned int state = 0;
};

/* Walks from the root down to the deepest window under the pointer,
 * collecting the buttons held; a pointer that moved on the way is looked
 * at again.  False when it never held still long enough. */
bool look_at_pointer(pointer_look &p)
{
    Window root = RootWindow(Pc_dis, DefaultScreen(Pc_dis));
    for (int attempt = 0; attempt < pointer_look_attempts; attempt++) {
        p = pointer_look{};
        bool steady = true;
        for (Window w = root; steady;) {
            Window r, child;
            int rx, ry, wx, wy;
            unsigned int state;
            Bool same = XQueryPointer(Pc_dis, w, &r, &child, &rx, &ry, &wx, &wy, &state);
            if (lost_window_guard::lost()) {
                steady = false;
                break;
            }
            if (!same)
                return true; /* on another screen: in no window */
            if (w != root && (rx != p.root_x || ry != p.root_y)) {
                steady = false;
                break;
            }
            p.on_screen = true;
            p.root_x = rx;
            p.root_y = ry;
            p.state |= state;
            if (child == 0) {
                p.deepest = w;
                return true;
            }
            w = child;
        }
    }
    return false;
}

/* Makes an event of the given type on the drawing window of window wn from
 * the pointer's position relative to it.  Only when the pointer is still
 * where the look found it, unless any_position (a leave towards no window,
 * which holds wherever the pointer went). */
bool make_event(XEvent &ev, int type, int wn, const pointer_look &p, unsigned int button,
                bool any_position)
{
    Window draw = Pc[wn].draw_win, r, child;
    int rx, ry, wx, wy;
    unsigned int state;
    Bool same = XQueryPointer(Pc_dis, draw, &r, &child, &rx, &ry, &wx, &wy, &state);
    if (lost_window_guard::lost())
        return false;
    if (!same) {
        if (!any_position)
            return false;
        rx = ry = wx = wy = Offscreen_position;
        state = 0;
    } else if (!any_position && (rx != p.root_x || ry != p.root_y)) {
        return false;
    }
    std::memset(&ev, 0, sizeof ev);
    ev.type = type;
    ev.xany.display = Pc_dis;
    ev.xany.window = draw;
    auto place = [&](auto &e) {
        e.root = r;
        e.time = CurrentTime;
        e.x = wx;
        e.y = wy;
        e.x_root = rx;
        e.y_root = ry;
        e.same_screen = same;
        e.state = state;
    };
    if (type == EnterNotify || type == LeaveNotify) {
        place(ev.xcrossing);
        ev.xcrossing.mode = NotifyNormal;
        ev.xcrossing.detail = NotifyAncestor;
    } else if (type == MotionNotify) {
        place(ev.xmotion);
        ev.xmotion.is_hint = NotifyNormal;
    } else {
        place(ev.xbutton);
        ev.xbutton.button = button;
    }
    return true;
}

/* The event, if any, that tells what changed since the last report: a
 * leave, an enter, a press or release, or a move. */
bool made_from_pointer(XEvent &ev)
{
    lost_window_guard guard;
    pointer_look p;
    if (!look_at_pointer(p))
        return false;
    int g = p.on_screen ? window_of_draw_win(p.deepest) : -1;
    if (g < 0)
        return Pc_evrec_wid >= 0 && make_event(ev, LeaveNotify, Pc_evrec_wid, p, 0, true);
    bool held = (p.state & any_button) != 0;
    if (held && !Pc_evrec_button_mask)
        return make_event(ev, ButtonPress, g, p, static_cast<unsigned>(lowest_button(p.state)),
                          false);
    if (!held && Pc_evrec_button_mask)
        return make_event(ev, ButtonRelease, g, p,
                          static_cast<unsigned>(lowest_button(static_cast<unsigned>(Pc_evrec_button_mask))),
                          false);
    if (g == Pc_evrec_wid)
        return (p.root_x != Pc_evrec_pointer_x || p.root_y != Pc_evrec_pointer_y) &&
               make_event(ev, MotionNotify, g, p, 0, false);
    if (Pc_evrec_wid < 0)
        return make_event(ev, EnterNotify, g, p, 0, false);
    return make_event(ev, LeaveNotify, Pc_evrec_wid, p, 0, false);
}

/* ---- reading events ------------------------------------------------- */

/* A non-blocking poll that finds nothing has flushed the output buffer and
 * read everything the connection held.  Until the next request (every
 * round trip is one) only the socket can bring news, so the polls after it
 * look at the socket alone: one system call instead of Xlib's several
 * reads.  Forgotten whenever an event is found or selections change. */
bool known_quiet(void)
{
    if (Quiet_dis != Pc_dis || NextRequest(Pc_dis) != Quiet_request ||
        XEventsQueued(Pc_dis, QueuedAlready) > 0)
        return false;
    pollfd p{ConnectionNumber(Pc_dis), POLLIN, 0};
    return poll(&p, 1, 0) == 0;
}

/* What a non-blocking call takes from the queue: the events of the input
 * selection, and close requests.  Releases are taken (and dropped) by
 * kova_ggetxpress too: left behind they would pile up and make every later
 * poll scan them. */
Bool is_polled(Display *, XEvent *ev, XPointer)
{
    switch (ev->type) {
    case KeyPress:
    case ButtonPress:
    case ButtonRelease:
    case EnterNotify:
    case LeaveNotify:
    case MotionNotify:
        return True;
    default:
        return is_close_request(ev);
    }
}

Bool is_close_request_of_queue(Display *, XEvent *ev, XPointer)
{
    return is_close_request(ev);
}

bool poll_event(XEvent &ev)
{
    if (known_quiet())
        return false;
    Quiet_dis = nullptr;
    if (XCheckIfEvent(Pc_dis, &ev, is_polled, nullptr))
        return true;
    Quiet_dis = Pc_dis;
    Quiet_request = NextRequest(Pc_dis);
    return false;
}

/* The next event to handle: in blocking mode made up from the pointer
 * (pointer_too) or waited for, in non-blocking mode taken from the queue;
 * false when nothing is pending. */
bool next_event(XEvent &ev, bool pointer_too)
{
    if (Pc_nonblock)
        return poll_event(ev);
    /* A pointer that never rests must not hold a close request back. */
    if (pointer_too && XCheckIfEvent(Pc_dis, &ev, is_close_request_of_queue, nullptr))
        return true;
    if (pointer_too && made_from_pointer(ev)) {
        XEvent stale;
        while (XCheckMaskEvent(Pc_dis, superseded_mask, &stale))
            ;
        return true;
    }
    XNextEvent(Pc_dis, &ev);
    return true;
}

/* kova_ggetevent's handling of one event of window wn: true when it is
 * reported. */
bool take_event(XEvent &ev, int wn, report &r)
{
    bool blocking = !Pc_nonblock;
    switch (ev.type) {
    case MotionNotify:
        pointer_report(r, wn, ev.xmotion.x, ev.xmotion.y, ev.xmotion.state);
        if (blocking) {
            Pc_evrec_wid = wn;
            record_root(ev.xmotion.x_root, ev.xmotion.y_root);
        }
        r.type = MotionNotify;
        return true;
    case EnterNotify:
        pointer_report(r, wn, ev.xcrossing.x, ev.xcrossing.y, ev.xcrossing.state);
        r.type = EnterNotify;
        if (blocking) {
            if (wn == Pc_evrec_wid)
                r.type = MotionNotify;
            Pc_evrec_wid = wn;
            record_root(ev.xcrossing.x_root, ev.xcrossing.y_root);
        }
        return true;
    case LeaveNotify:
        pointer_report(r, wn, ev.xcrossing.x, ev.xcrossing.y, ev.xcrossing.state);
        r.type = LeaveNotify;
        if (blocking) {
            if (Pc_evrec_wid < 0)
                return false;
            Pc_evrec_wid = -1;
            record_root(ev.xcrossing.x_root, ev.xcrossing.y_root);
        }
        return true;
    case ButtonRelease:
        if (blocking)
            Pc_evrec_button_mask = 0;
        return false;
    case KeyPress:
    case ButtonPress:
        r.type = handle_xpress_event(&ev, wn, &r.code, &r.x, &r.y);
        if (r.type < 0)
            return false;
        if (blocking && ev.type == ButtonPress) {
            Pc_evrec_button_mask = button_mask_bit(ev.xbutton.button);
            return wn == Pc_evrec_wid;
        }
        return true;
    default:
        return false;
    }
}

/* kova_ggetxpress's handling of one event of window wn. */
bool take_press(XEvent &ev, int wn, report &r)
{
    r.type = handle_xpress_event(&ev, wn, &r.code, &r.x, &r.y);
    return r.type >= 0;
}

/* One input call: kova_ggetevent when pointer_too, else kova_ggetxpress.
 * In non-blocking mode an event of an open window that gives no report,
 * followed by an empty queue, leaves that window's number with type and
 * code -1. */
report read_input(bool pointer_too)
{
    report r;
    wait_child();
    if (!input_possible())
        return r;
    bool blocking = !Pc_nonblock;
    if (blocking)
        select_for_call(pointer_too);
    XEvent ev;
    while (next_event(ev, pointer_too)) {
        int wn = window_of(ev.xany.window);
        if (wn < 0)
            continue;
        if (is_close_request(&ev)) {
            /* Only for a window that asked, and still asks. */
            if (ev.xclient.window != Pc[wn].top_win || !Pc[wn].close_events)
                continue;
            r = report{};
            r.wn = wn;
            r.type = ClientMessage;
            r.code = 0;
            break;
        }
        report candidate;
        candidate.wn = wn;
        if (pointer_too ? take_event(ev, wn, candidate) : take_press(ev, wn, candidate)) {
            r = candidate;
            break;
        }
        r = report{};
        r.wn = wn;
    }
    if (blocking)
        deselect_after_call();
    return r;
}

} // namespace

void forget_quiet_queue(void)
{
    Quiet_dis = nullptr;
}

bool is_close_request(const XEvent *ev)
{
    return ev->type == ClientMessage && Pc_wm_protocols != None &&
           ev->xclient.message_type == Pc_wm_protocols && ev->xclient.format == 32 &&
           static_cast<Atom>(ev->xclient.data.l[0]) == Pc_wm_delete_window;
}

int handle_xpress_event(XEvent *ev, int wn, int *code, double *x, double *y)
{
    if (ev->type == ButtonPress) {
        *code = static_cast<int>(ev->xbutton.button);
        xyinv(wn, ev->xbutton.x, ev->xbutton.y, x, y);
        return ButtonPress;
    }
    if (ev->type != KeyPress)
        return -1;
    char text[8] = {0};
    KeySym sym = NoSymbol;
    XLookupString(&ev->xkey, text, sizeof text, &sym, nullptr);
    const pc_window &w = Pc[wn];
    if (const key_entry *k = table_key(sym)) {
        /* Only a window with scrollbars has anyone else to take them. */
        unsigned int held = ev->xkey.state;
        if (k->navigation && has_scrollbars(w) &&
            (static_cast<unsigned int>(w.scrollbar_key_mask) & ~held) == 0)
            return -1;
        *code = k->code;
    } else {
        unsigned char first = static_cast<unsigned char>(text[0]);
        if (first == 0 || first > 127)
            return -1;
        *code = first;
    }
    *x = *y = 0.0;
    return KeyPress;
}

extern "C" KOVA_API int kova_ggetxpress(int *type, int *code, double *x, double *y)
{
    return double_report(read_input(false), type, code, x, y);
}

extern "C" KOVA_API int kova_ggetxpressf(int *type, int *code, float *x, float *y)
{
    return float_report(read_input(false), type, code, x, y);
}

extern "C" KOVA_API int kova_ggetevent(int *type, int *code, double *x, double *y)
{
    return double_report(read_input(true), type, code, x, y);
}

extern "C" KOVA_API int kova_ggeteventf(int *type, int *code, float *x, float *y)
{
    return float_report(read_input(true), type, code, x, y);
}

extern "C" KOVA_API int kova_ggetch(void)
{
    for (;;) {
        int type = -1, code = -1;
        /* -1: nothing pending (non-blocking), or no window at all. */
        if (kova_ggetxpress(&type, &code, nullptr, nullptr) < 0)
            return -1;
        if (type == KeyPress)
            return code;
        if (type == ClientMessage)
            return 0;
    }
}

extern "C" KOVA_API void kova_gsetscrollbarkeymask(int wn, int mask)
{
    if (!window_is_open(wn) || !has_scrollbars(Pc[wn]))
        return;
    Pc[wn].scrollbar_key_mask = mask;
    send_command_to_child(wn, KOVA_CMD_KEY_MASK, static_cast<unsigned long>(mask), 1);
}

extern "C" KOVA_API void kova_gsetcloseevent(int wn, int on)
{
    if (!window_is_open(wn))
        return;
    if (Pc_wm_protocols == None) {
        char *names[] = {const_cast<char *>("WM_PROTOCOLS"), const_cast<char *>("WM_DELETE_WINDOW")};
        Atom atoms[2];
        XInternAtoms(Pc_dis, names, 2, False, atoms);
        Pc_wm_protocols = atoms[0];
        Pc_wm_delete_window = atoms[1];
    }
    pc_window &w = Pc[wn];
    w.close_events = on != 0;
    if (w.close_events)
        XSetWMProtocols(Pc_dis, w.top_win, &Pc_wm_delete_window, 1);
    else
        XDeleteProperty(Pc_dis, w.top_win, Pc_wm_protocols);
    XFlush(Pc_dis);
}
