/*
 * _kova_scrollbar.cpp - geometry, drawing and event handling of one bar.
 *
 * Layout along the bar: back, forward, trough (with the thumb), back,
 * forward; buttons drop out in pairs when the bar is short.  Drawing is a
 * handful of rectangle fills per colour: the face and trough fills, then
 * every dark line (bevels and arrow strips), then every light line, so that
 * the light side wins the diagonal of each mitred corner.
 */
#include "_kova_scrollbar.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <vector>

namespace {

bool vertical(const kova_scrollbar *bar) { return bar->orientation == KOVA_SCROLLBAR_VERTICAL; }

/* Rectangles of one colour, given in vertical-bar coordinates.  The
 * storage is kept from one drawing to the next: redrawing a bar allocates
 * nothing once the first drawing has sized it. */
std::vector<XRectangle> &batch_storage()
{
    static std::vector<XRectangle> rects;
    return rects;
}

struct rect_batch {
    const kova_scrollbar *bar;
    std::vector<XRectangle> &rects = batch_storage();

    void add(int x, int y, int w, int h)
    {
        if (w <= 0 || h <= 0)
            return;
        XRectangle r;
        if (vertical(bar))
            r = {static_cast<short>(x), static_cast<short>(y), static_cast<unsigned short>(w),
                 static_cast<unsigned short>(h)};
        else
            r = {static_cast<short>(y), static_cast<short>(x), static_cast<unsigned short>(h),
                 static_cast<unsigned short>(w)};
        rects.push_back(r);
    }

    void fill(unsigned long pixel)
    {
        if (rects.empty())
            return;
        XSetForeground(bar->display, bar->gc, pixel);
        XFillRectangles(bar->display, bar->window, bar->gc, rects.data(),
                        static_cast<int>(rects.size()));
        rects.clear();
    }
};

/* One rectangle's bevel, s lines deep, each line one pixel shorter at both
 * ends than the one outside it. */
struct bevel_rect {
    int x, y, w, h;
    bool raised;
};

void add_bevel_lines(rect_batch &batch, const bevel_rect &r, int s, bool top_left)
{
    for (int i = 0; i < s; i++) {
        int w = r.w - 2 * i, h = r.h - 2 * i;
        if (top_left) {
            batch.add(r.x + i, r.y + i, w, 1);
            batch.add(r.x + i, r.y + i, 1, h);
        } else {
            batch.add(r.x + i, r.y + r.h - 1 - i, w, 1);
            batch.add(r.x + r.w - 1 - i, r.y + i, 1, h);
        }
    }
}

/* Draws the dark sides of every rectangle (then calls between(), which may
 * add dark marks), then the light sides.  Raised: light top and left. */
template <typename F>
void draw_bevels(kova_scrollbar *bar, const bevel_rect *rects, int n, F between)
{
    int s = get_actual_shadow(bar);
    rect_batch batch{bar};
    for (int i = 0; i < n; i++)
        add_bevel_lines(batch, rects[i], s, !rects[i].raised);
    between(batch);
    batch.fill(bar->dark);
    for (int i = 0; i < n; i++)
        add_bevel_lines(batch, rects[i], s, rects[i].raised);
    batch.fill(bar->light);
}

bevel_rect part_rect(const kova_scrollbar *bar, int pos, int len, bool pressed)
{
    int s = get_actual_shadow(bar);
    return {s, pos, bar->thickness - 2 * s, len, !pressed};
}

/* A solid triangle of one-pixel strips along the bar, pointing toward the
 * data start (back) or the data end (forward). */
void add_arrow(rect_batch &batch, const kova_scrollbar *bar, int pos, int len, bool back)
{
    int s = get_actual_shadow(bar);
    if (len <= 2 * s)
        return;
    int T = bar->thickness;
    int h = static_cast<int>(0.8 * (len - 2 * s));
    int c = 2 * s + (T - 4 * s) / 2;
    int c2 = ((T - 4 * s + 1) % 2 == 0) ? c : c - 1;
    int a = back ? pos + s + (len - 2 * s) / 2 - h / 2 : pos + s + (len - 2 * s + 1) / 2 - h / 2;
    for (int k = 0; 2 * k < h; k++) {
        int start = back ? a + 2 * k : a;
        batch.add(c + k, start, 1, h - 2 * k);
        if (c2 - k != c + k)
            batch.add(c2 - k, start, 1, h - 2 * k);
    }
}

int small_step(const kova_scrollbar *bar) { return static_cast<int>(bar->view_len * 0.04); }
int medium_step(const kova_scrollbar *bar) { return static_cast<int>(bar->view_len * 0.1); }

/* Position along the bar of an event with coordinates (x, y). */
int along(const kova_scrollbar *bar, int x, int y) { return vertical(bar) ? y : x; }

bool hit(int p, int pos, int len) { return len > 0 && pos <= p && p < pos + len; }

void take_size(kova_scrollbar *bar, int width, int height)
{
    bar->thickness = vertical(bar) ? width : height;
    bar->length = vertical(bar) ? height : width;
}

void handle_keypress(kova_scrollbar *bar, const XKeyEvent &key)
{
    Window watched = bar->key_window ? bar->key_window : bar->window;
    if (key.window != watched ||
        (key.state & static_cast<unsigned>(bar->key_mask)) != static_cast<unsigned>(bar->key_mask))
        return;
    XKeyEvent copy = key;
    KeySym sym = XLookupKeysym(&copy, 0);
    int small = small_step(bar);
    if (vertical(bar)) {
        switch (sym) {
        case XK_Down: case XK_KP_Down: bar->origin += small; break;
        case XK_Up: case XK_KP_Up: bar->origin -= small; break;
        case XK_Next: case XK_KP_Next: bar->origin += bar->view_len; break;
        case XK_Prior: case XK_KP_Prior: bar->origin -= bar->view_len; break;
        case XK_Home: case XK_KP_Home: bar->origin = 0; break;
        case XK_End: case XK_KP_End: bar->origin = bar->data_len - bar->view_len; break;
        default: break;
        }
    } else {
        switch (sym) {
        case XK_Right: case XK_KP_Right: bar->origin += small; break;
        case XK_Left: case XK_KP_Left: bar->origin -= small; break;
        default: break;
        }
    }
}

/* Whether the thumb can travel at all: the drag and jump arithmetic
 * divides by that travel. */
bool thumb_room(const kova_scrollbar *bar) { return bar->trough_len - bar->thumb_len > 0; }

void handle_buttonpress(kova_scrollbar *bar, const XButtonEvent &b)
{
    int was_dragging = bar->dragging;
    bar->dragging = 0;
    bar->drag_last = -1;
    if (b.window != bar->window)
        return;
    int p = along(bar, b.x, b.y);
    bar->root_offset = along(bar, b.x_root, b.y_root) - p;
    int medium = medium_step(bar);
    if (b.button == Button4 || b.button == Button5) {
        bar->origin += b.button == Button4 ? -medium : medium;
        return;
    }
    if (b.button != Button1 && b.button != Button2 && b.button != Button3)
        return;
    int small = small_step(bar);
    int step = b.button == Button3 ? medium : (small > 0 ? small : 1);
    if (hit(p, bar->up1_pos, bar->up1_len) || hit(p, bar->up2_pos, bar->up2_len)) {
        bar->up_pressed = 1;
        bar->origin -= step;
    } else if (hit(p, bar->down1_pos, bar->down1_len) || hit(p, bar->down2_pos, bar->down2_len)) {
        bar->down_pressed = 1;
        bar->origin += step;
    } else if (hit(p, bar->trough_pos, bar->thumb_pos - bar->trough_pos)) {
        bar->origin -= bar->view_len;
    } else if (hit(p, bar->thumb_pos + bar->thumb_len,
                   bar->trough_pos + bar->trough_len - (bar->thumb_pos + bar->thumb_len))) {
        bar->origin += bar->view_len;
    } else if (hit(p, bar->thumb_pos, bar->thumb_len)) {
        bar->drag_last = p;
        if (b.button == Button2 && thumb_room(bar))
            bar->origin = static_cast<int>(static_cast<double>(p - bar->trough_pos - bar->thumb_len / 2) *
                                           (bar->data_len - bar->view_len) /
                                           (bar->trough_len - bar->thumb_len));
        else if (b.button == Button3)
            bar->dragging = was_dragging ? 0 : 1;
    }
}

/* Unmarks pressed buttons, redrawing them released; true if one was. */
bool release_buttons(kova_scrollbar *bar)
{
    bool changed = false;
    if (bar->up_pressed) {
        bar->up_pressed = 0;
        kova_scrollbar_draw_upbutton(bar);
        changed = true;
    }
    if (bar->down_pressed) {
        bar->down_pressed = 0;
        kova_scrollbar_draw_downbutton(bar);
        changed = true;
    }
    return changed;
}

void handle_motion(kova_scrollbar *bar, const XMotionEvent &m)
{
    bool on_bar = m.window == bar->window;
    bool held = (m.state & (Button1Mask | Button2Mask)) != 0;
    if (bar->drag_last < 0 || !((on_bar && held) || bar->dragging == 1) || !thumb_room(bar))
        return;
    /* A button-3 drag also follows the pointer over other windows: their
     * coordinates are brought to the bar's through the root window. */
    int p = on_bar ? along(bar, m.x, m.y) : along(bar, m.x_root, m.y_root) - bar->root_offset;
    bar->origin = static_cast<int>(bar->origin + static_cast<double>(bar->data_len - bar->view_len) *
                                                     (p - bar->drag_last) /
                                                     (bar->trough_len - bar->thumb_len));
    bar->drag_last = p;
}

} // namespace

int get_actual_shadow(const kova_scrollbar *bar)
{
    for (int s = bar->shadow; s > 0; s--)
        if (bar->thickness > 2 * s && bar->length > 2 * s)
            return s;
    return 0;
}

void kova_scrollbar_geometry(kova_scrollbar *bar)
{
    int s = get_actual_shadow(bar);
    int T = bar->thickness, L = bar->length;
    int B = T - 2 * s;
    bar->button = B;
    int outer = 0, inner = 0; /* up1/down2 and up2/down1 */
    if (L > 2 * s + 6 * B)
        outer = inner = B;
    else if (L > 2 * s + 4 * B)
        outer = B;
    bar->up1_len = bar->down2_len = outer;
    bar->down1_len = bar->up2_len = inner;
    bar->trough_len = L - 2 * s - 2 * (outer + inner);
    bar->up1_pos = s;
    bar->down1_pos = bar->up1_pos + bar->up1_len;
    bar->trough_pos = bar->down1_pos + bar->down1_len;
    bar->up2_pos = bar->trough_pos + bar->trough_len;
    bar->down2_pos = bar->up2_pos + bar->up2_len;

    if (bar->view_len < bar->data_len) {
        int t = static_cast<int>(static_cast<double>(bar->trough_len) * bar->view_len / bar->data_len);
        if (t < B && 1.5 * B <= bar->trough_len)
            t = B;
        if (t < 2 * s + 4 && bar->trough_len > 2 * s + 8)
            t = 2 * s + 4;
        bar->thumb_len = t;
        bar->thumb_pos = bar->trough_pos + static_cast<int>(static_cast<double>(bar->trough_len - t) *
                                                            bar->origin / (bar->data_len - bar->view_len));
    } else {
        bar->thumb_len = bar->trough_len;
        bar->thumb_pos = bar->trough_pos;
    }
}

int kova_scrollbar_init(kova_scrollbar *bar, int orientation, Display *dis, Window win, GC gc,
                        unsigned long face, unsigned long dark, unsigned long trough,
                        unsigned long light, int data_len, int view_len, int shadow,
                        int key_mask, Window key_window)
{
    if (!bar)
        return -1;
    *bar = kova_scrollbar{};
    bar->orientation = orientation;
    bar->display = dis;
    bar->window = win;
    bar->gc = gc;
    bar->face = face;
    bar->dark = dark;
    bar->trough = trough;
    bar->light = light;
    bar->data_len = data_len;
    bar->view_len = view_len;
    bar->origin = (data_len - view_len) / 2;
    bar->shadow = shadow;
    bar->key_mask = key_mask;
    bar->key_window = key_window;
    bar->drag_last = -1;
    XWindowAttributes a;
    if (XGetWindowAttributes(dis, win, &a))
        take_size(bar, a.width, a.height);
    XSelectInput(dis, win, KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                               PointerMotionMask | ExposureMask | StructureNotifyMask);
    return 0;
}

int kova_scrollbar_update_data_params(kova_scrollbar *bar, int data_len, int view_len, int origin)
{
    if (!bar)
        return -1;
    bar->data_len = data_len;
    bar->view_len = view_len;
    bar->origin = origin;
    if (data_len > view_len) {
        if (bar->origin > data_len - view_len)
            bar->origin = data_len - view_len;
        if (bar->origin < 0)
            bar->origin = 0;
    }
    kova_scrollbar_draw(bar);
    return 0;
}

int kova_scrollbar_update_key_mask(kova_scrollbar *bar, int mask)
{
    if (!bar)
        return -1;
    bar->key_mask = mask;
    return 0;
}

int kova_scrollbar_get_cliporigin(const kova_scrollbar *bar) { return bar->origin; }

void kova_scrollbar_draw(kova_scrollbar *bar)
{
    kova_scrollbar_geometry(bar);
    int s = get_actual_shadow(bar);
    int T = bar->thickness;
    struct part {
        int pos, len;
        bool pressed;
    };
    const part parts[] = {
        {bar->up1_pos, bar->up1_len, bar->up_pressed != 0},
        {bar->down1_pos, bar->down1_len, bar->down_pressed != 0},
        {bar->thumb_pos, bar->thumb_len, false},
        {bar->up2_pos, bar->up2_len, bar->up_pressed != 0},
        {bar->down2_pos, bar->down2_len, bar->down_pressed != 0},
    };

    rect_batch batch{bar};
    for (const part &p : parts)
        if (p.len > 2 * s)
            batch.add(2 * s, p.pos + s, T - 4 * s, p.len - 2 * s);
    batch.fill(bar->face);
    int thumb_end = bar->thumb_pos + bar->thumb_len;
    batch.add(s, bar->trough_pos, T - 2 * s, bar->thumb_pos - bar->trough_pos);
    batch.add(s, thumb_end, T - 2 * s, bar->up2_pos - thumb_end);
    batch.fill(bar->trough);

    bevel_rect rects[6] = {{0, 0, T, bar->length, false}};
    int n = 1;
    for (const part &p : parts)
        if (p.len > 0)
            rects[n++] = part_rect(bar, p.pos, p.len, p.pressed);
    draw_bevels(bar, rects, n, [bar](rect_batch &dark) {
        add_arrow(dark, bar, bar->up1_pos, bar->up1_len, true);
        add_arrow(dark, bar, bar->down1_pos, bar->down1_len, false);
        add_arrow(dark, bar, bar->up2_pos, bar->up2_len, true);
        add_arrow(dark, bar, bar->down2_pos, bar->down2_len, false);
    });
}

static void draw_button_pair(kova_scrollbar *bar, int pos1, int len1, int pos2, int len2, bool pressed)
{
    bevel_rect rects[2];
    int n = 0;
    if (len1 > 0)
        rects[n++] = part_rect(bar, pos1, len1, pressed);
    if (len2 > 0)
        rects[n++] = part_rect(bar, pos2, len2, pressed);
    draw_bevels(bar, rects, n, [](rect_batch &) {});
}

void kova_scrollbar_draw_upbutton(kova_scrollbar *bar)
{
    draw_button_pair(bar, bar->up1_pos, bar->up1_len, bar->up2_pos, bar->up2_len, bar->up_pressed != 0);
}

void kova_scrollbar_draw_downbutton(kova_scrollbar *bar)
{
    draw_button_pair(bar, bar->down1_pos, bar->down1_len, bar->down2_pos, bar->down2_len,
                     bar->down_pressed != 0);
}

int kova_scrollbar_handle_event(kova_scrollbar *bar, const XEvent *ev)
{
    if (!bar || !ev || ev->xany.display != bar->display)
        return -1;
    int before = bar->origin;
    bool redraw = false, looks = false;
    switch (ev->type) {
    case Expose:
        redraw = ev->xexpose.window == bar->window;
        break;
    case ConfigureNotify:
        if (ev->xconfigure.window == bar->window) {
            take_size(bar, ev->xconfigure.width, ev->xconfigure.height);
            redraw = true;
        }
        break;
    case KeyPress:
        handle_keypress(bar, ev->xkey);
        break;
    case ButtonPress:
        handle_buttonpress(bar, ev->xbutton);
        break;
    case ButtonRelease:
        looks = release_buttons(bar);
        break;
    case MotionNotify:
        looks = release_buttons(bar);
        handle_motion(bar, ev->xmotion);
        break;
    default:
        break;
    }

    if (bar->view_len < bar->data_len) {
        if (bar->origin > bar->data_len - bar->view_len)
            bar->origin = bar->data_len - bar->view_len;
        if (bar->origin < 0)
            bar->origin = 0;
        if (bar->origin != before) {
            kova_scrollbar_draw(bar);
            XFlush(bar->display);
            return 1;
        }
    } else {
        bar->origin = before;
    }
    if (redraw)
        kova_scrollbar_draw(bar);
    if (redraw || looks)
        XFlush(bar->display);
    return 0;
}
