/*
 * modes.cpp - automatic flushing, and blocking or non-blocking input.
 *
 * The X server lets one client select button presses on a window.  In
 * blocking mode the child holds them on the drawing windows; in non-blocking
 * mode the library does.  Switching hands them over in an order that never
 * has both asking at once: the side that gives them up does so first.
 */
#include "kova_private.h"
#include "kova_protocol.h"

namespace {

constexpr long nonblock_plain_mask = KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                                     EnterWindowMask | LeaveWindowMask | PointerMotionMask;
constexpr long nonblock_draw_mask = nonblock_plain_mask & ~KeyPressMask;

void restore_all_selections(void)
{
    for (int i = 0; i < N_Pc; i++)
        if (Pc[i].in_use)
            restore_xinput_selection(i);
}

} // namespace

extern "C" KOVA_API void kova_gsetnonflush(int flag)
{
    Pc_nonflush = flag ? -1 : 0;
}

extern "C" KOVA_API int kova_ggetnonflush(void)
{
    return Pc_nonflush;
}

extern "C" KOVA_API void kova_gflush(void)
{
    if (Pc_dis)
        XFlush(Pc_dis);
}

void do_auto_flush(void)
{
    if (!Pc_nonflush && Pc_dis)
        XFlush(Pc_dis);
}

void restore_xinput_selection(int wn)
{
    forget_quiet_queue();
    const pc_window &w = Pc[wn];
    bool plain = w.top_win == w.draw_win;
    if (!Pc_nonblock) {
        XSelectInput(Pc_dis, w.top_win, 0);
        if (!plain)
            XSelectInput(Pc_dis, w.draw_win, 0);
    } else if (plain) {
        XSelectInput(Pc_dis, w.top_win, nonblock_plain_mask);
    } else {
        XSelectInput(Pc_dis, w.top_win, KeyPressMask);
        XSelectInput(Pc_dis, w.draw_win, nonblock_draw_mask);
    }
}

extern "C" KOVA_API void kova_gsetnonblock(int flag)
{
    if (flag) {
        Pc_nonblock = -1;
        if (Cpid > 0) {
            send_command_to_child(0, KOVA_CMD_GIVE_BUTTONS, 0, 0);
            sync_child(0);
        }
        restore_all_selections();
    } else {
        Pc_nonblock = 0;
        restore_all_selections();
        if (Pc_dis)
            XFlush(Pc_dis);
        if (Cpid > 0)
            send_command_to_child(0, KOVA_CMD_TAKE_BUTTONS, 0, 1);
    }
}
