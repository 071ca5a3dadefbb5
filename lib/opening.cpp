/*
 * opening.cpp - connecting to the display, and opening windows.
 */
#include "kova_private.h"

#include <cstdio>

int bitcount(int m)
{
    int n = 0;
    for (unsigned int u = static_cast<unsigned int>(m); u & 1u; u >>= 1)
        n++;
    return n;
}

int sftcount(int *m)
{
    unsigned int u = static_cast<unsigned int>(*m);
    int n = 0;
    if (u == 0)
        return 0;
    while (!(u & 1u)) {
        u >>= 1;
        n++;
    }
    *m = static_cast<int>(u);
    return n;
}

Window XX_CreateSimpleWindow(Display *dis, Window parent, int x, int y,
                             unsigned int width, unsigned int height,
                             unsigned int border_width, unsigned long border_pixel,
                             unsigned long background_pixel)
{
    XSetWindowAttributes attr;
    attr.background_pixel = background_pixel;
    attr.border_pixel = border_pixel;
    attr.colormap = Pc_cmap;
    return XCreateWindow(dis, parent, x, y, width, height, border_width, Pc_depth,
                         InputOutput, Pc_visual, CWBackPixel | CWBorderPixel | CWColormap,
                         &attr);
}

/* The deepest TrueColor visual of at most 24 bits, or the screen's default
 * when that is no deeper. */
static void choose_visual(void)
{
    int scr = DefaultScreen(Pc_dis);
    if (Pc_vinfo_ptr) {
        XFree(Pc_vinfo_ptr);
        Pc_vinfo_ptr = nullptr;
    }
    XVisualInfo tmpl;
    tmpl.screen = scr;
    tmpl.c_class = TrueColor;
    int n = 0;
    XVisualInfo *list = XGetVisualInfo(Pc_dis, VisualScreenMask | VisualClassMask, &tmpl, &n);
    int best = -1;
    for (int i = 0; i < n; i++)
        if (best < 0 || (list[i].depth > list[best].depth && list[i].depth <= 24))
            best = i;
    if (best < 0 || list[best].depth == DefaultDepth(Pc_dis, scr)) {
        Pc_visual = DefaultVisual(Pc_dis, scr);
        Pc_depth = DefaultDepth(Pc_dis, scr);
        Pc_cmap = DefaultColormap(Pc_dis, scr);
        if (list)
            XFree(list);
        return;
    }
    Pc_visual = list[best].visual;
    Pc_depth = list[best].depth;
    Pc_cmap = XCreateColormap(Pc_dis, RootWindow(Pc_dis, scr), Pc_visual, AllocNone);
    Pc_vinfo_ptr = list;
}

static void channel(unsigned long mask, int *depth, int *shift)
{
    int m = static_cast<int>(mask);
    *shift = m ? sftcount(&m) : 0;
    *depth = bitcount(m);
}

static void set_channels(const Visual *v)
{
    channel(v->red_mask, &Red_depth, &Red_sft);
    channel(v->green_mask, &Green_depth, &Green_sft);
    channel(v->blue_mask, &Blue_depth, &Blue_sft);
}

int display_setup(void)
{
    if (Pc_dis)
        return 0;
    Pc_dis = XOpenDisplay(nullptr);
    if (!Pc_dis)
        return -1;
    choose_visual();
    if (Pc_depth > 15)
        set_channels(Pc_visual);
    if (Pc_zwin == 0)
        Pc_zwin = XX_CreateSimpleWindow(Pc_dis, RootWindow(Pc_dis, 0), 0, 0, 16, 16, 0,
                                        get_color_pixel("#ffffff"), get_color_pixel("#000000"));
    XWindowAttributes root;
    XGetWindowAttributes(Pc_dis, RootWindow(Pc_dis, 0), &root);
    Pc_display_width = Pc_root_width = root.width;
    Pc_display_height = Pc_root_height = root.height;

    XWindowAttributes zw;
    XGetWindowAttributes(Pc_dis, Pc_zwin, &zw);
    if (zw.depth != Pc_depth) {
        fputs("KOVA: [WARNING] Detected invalid depth of X server!!\n", stderr);
        Pc_depth = zw.depth;
    }
    if (Pc_depth > 15)
        set_channels(zw.visual);
    return 0;
}
