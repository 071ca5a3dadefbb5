/*
 * _kova_scrollbar.h - one scrollbar of the window child: geometry, drawing
 * with plain rectangle fills, and the reaction to mouse and keyboard.
 *
 * A bar knows the length of the data (the canvas), the length of the view
 * (the viewport) and the origin (first visible data pixel).  Its caller
 * offers it every event and, when the origin changed, moves the drawing
 * window to minus the origins.  All geometry is worked out for a vertical
 * bar ("across" is x, "along" is y); a horizontal bar transposes every
 * rectangle when it fills it.
 */
#ifndef KOVA_SCROLLBAR_H
#define KOVA_SCROLLBAR_H

#include <X11/Xlib.h>

enum { KOVA_SCROLLBAR_VERTICAL = 0, KOVA_SCROLLBAR_HORIZONTAL = 1 };

struct kova_scrollbar {
    int orientation;
    Display *display;
    Window window;
    GC gc;                 /* only its foreground is changed */
    unsigned long face;    /* buttons and thumb */
    unsigned long dark;    /* shadowed bevel sides and arrows */
    unsigned long trough;
    unsigned long light;   /* lit bevel sides */
    int data_len;
    int view_len;
    int origin;            /* 0 .. data_len - view_len when the data is longer */
    int shadow;            /* requested bevel width */
    int thickness;         /* window size across the bar */
    int length;            /* window size along the bar */
    int button;            /* button size: thickness - 2 * actual shadow */
    int up1_pos, up1_len;
    int down1_pos, down1_len;
    int trough_pos, trough_len;
    int thumb_pos, thumb_len;
    int up2_pos, up2_len;
    int down2_pos, down2_len;
    int up_pressed;
    int down_pressed;
    int drag_last;         /* -1 when no drag started */
    int dragging;          /* 1 while a button-3 drag follows the pointer */
    int key_mask;          /* modifiers that must be held for keyboard scrolling */
    Window key_window;     /* 0: the bar window */
    int root_offset;       /* bar window's start along the bar, in root coordinates, at the last press */
};

int kova_scrollbar_init(kova_scrollbar *bar, int orientation, Display *dis, Window win, GC gc,
                        unsigned long face, unsigned long dark, unsigned long trough,
                        unsigned long light, int data_len, int view_len, int shadow,
                        int key_mask, Window key_window);
int kova_scrollbar_update_data_params(kova_scrollbar *bar, int data_len, int view_len, int origin);
int kova_scrollbar_update_key_mask(kova_scrollbar *bar, int mask);
int kova_scrollbar_get_cliporigin(const kova_scrollbar *bar);
void kova_scrollbar_draw(kova_scrollbar *bar);
void kova_scrollbar_draw_upbutton(kova_scrollbar *bar);
void kova_scrollbar_draw_downbutton(kova_scrollbar *bar);
/* 1 when the origin changed, 0 when not, -1 for a null bar or event or an
 * event of another display. */
int kova_scrollbar_handle_event(kova_scrollbar *bar, const XEvent *ev);

/* The arithmetic behind drawing, usable without a display: the bevel width
 * that fits, and the positions and lengths of the buttons, trough and thumb
 * from thickness, length, shadow, data_len, view_len and origin. */
int get_actual_shadow(const kova_scrollbar *bar);
void kova_scrollbar_geometry(kova_scrollbar *bar);

#endif /* KOVA_SCROLLBAR_H */
