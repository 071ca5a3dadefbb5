/*
 * kova_ack.h - the child's acknowledgement: a GraphicsExpose event with
 * zeros in every field that a command uses, sent to the command window.
 */
#ifndef KOVA_ACK_H
#define KOVA_ACK_H

#include <X11/Xlib.h>

#include <cstring>

inline void send_ack(Display *dis, Window cmd_win)
{
    XEvent ev;
    std::memset(&ev, 0, sizeof ev);
    ev.xgraphicsexpose.type = GraphicsExpose;
    ev.xgraphicsexpose.send_event = True;
    ev.xgraphicsexpose.display = dis;
    XSendEvent(dis, cmd_win, False, ExposureMask, &ev);
    XFlush(dis);
}

#endif /* KOVA_ACK_H */
