/*
 * closing.cpp - closing one window, and closing everything so that the
 * library can start again from the display setup.
 */
#include "kova_private.h"
#include "kova_protocol.h"

#include <unistd.h>

namespace {

void free_window_resources(pc_window &w)
{
    XFreeGC(Pc_dis, w.tile_gc);
    XFreeGC(Pc_dis, w.bg_gc);
    XFreeGC(Pc_dis, w.pen_gc);
    for (Pixmap &p : w.layers)
        if (p) {
            XFreePixmap(Pc_dis, p);
            p = 0;
        }
    if (w.scroll_pixmap) {
        XFreePixmap(Pc_dis, w.scroll_pixmap);
        w.scroll_pixmap = 0;
    }
    /* Children first. */
    if (w.draw_win != w.clip_win)
        XDestroyWindow(Pc_dis, w.draw_win);
    if (w.clip_win != w.top_win)
        XDestroyWindow(Pc_dis, w.clip_win);
    if (w.hscroll_win)
        XDestroyWindow(Pc_dis, w.hscroll_win);
    if (w.vscroll_win)
        XDestroyWindow(Pc_dis, w.vscroll_win);
    XDestroyWindow(Pc_dis, w.top_win);
    if (w.icon_win)
        XDestroyWindow(Pc_dis, w.icon_win);
    /* Fonts and font sets belong to the process-wide caches. */
    w.fontset = nullptr;
    w.font = nullptr;
    w.font_size = -1;
}

void free_pixel_transfer_scratch(void)
{
    free(Tmp_img24buf);
    Tmp_img24buf = nullptr;
    Sz_tmp_img24buf = 0;
    if (Pix_mask_width > 0) {
        XFreeGC(Pc_dis, Gc_pix_mask);
        XFreePixmap(Pc_dis, Pix_mask);
    }
    Gc_pix_mask = nullptr;
    Pix_mask = 0;
    Pix_mask_width = Pix_mask_height = 0;
}

void close_display(void)
{
    if (Pc_zwin) {
        XDestroyWindow(Pc_dis, Pc_zwin);
        Pc_zwin = 0;
    }
    if (Pc_cmap != DefaultColormap(Pc_dis, DefaultScreen(Pc_dis)))
        XFreeColormap(Pc_dis, Pc_cmap);
    Pc_cmap = 0;
    Pc_visual = nullptr;
    if (Pc_vinfo_ptr) {
        XFree(Pc_vinfo_ptr);
        Pc_vinfo_ptr = nullptr;
    }
    XCloseDisplay(Pc_dis);
    Pc_dis = nullptr;
    Pc_wm_protocols = Pc_wm_delete_window = None;
}

} // namespace

extern "C" KOVA_API void kova_gclose(int wn)
{
    /* Closing twice would free the same X resources again. */
    if (!window_is_open(wn))
        return;
    wait_child();
    send_command_to_child(wn, KOVA_CMD_UNMANAGE, 0, 0);
    sync_child(1);
    free_window_resources(Pc[wn]);
    if (Pc_evrec_wid == wn)
        Pc_evrec_wid = -1;
    Pc[wn].in_use = 0;
    Pc[wn].close_events = 0;
    shrink_Pc();
}

extern "C" KOVA_API void kova_gcloseall(void)
{
    /* Nothing open, or a process forked from the application: its windows
     * and its child belong to the parent. */
    if (Wn < 0 || getpid() != Pid)
        return;
    wait_child();
    for (int i = 0; i < N_Pc; i++)
        if (Pc[i].in_use)
            kova_gclose(i);
    stop_child(&Cpid);
    remove_kova_handlers();
    free_turned_text();
    free_fontset_cache();
    free_fixed_fonts();
    free_colour_cache();
    free_pixel_transfer_scratch();
    close_display();
    if (N_Pc > 0) {
        free(Pc);
        Pc = nullptr;
        N_Pc = 0;
    }
    Wn = -2;
}
