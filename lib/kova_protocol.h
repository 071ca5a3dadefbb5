/*
 * kova_protocol.h - the command protocol between the library and its window
 * child process, shared by both sides.
 *
 * A command is a GraphicsExpose event sent to the command window with
 * propagate False and ExposureMask: drawable = value, major_code = window
 * number (arrives modulo 256), minor_code = command code.  The child answers
 * command 1 with the same event carrying zeros (the acknowledgement).
 */
#ifndef KOVA_PROTOCOL_H
#define KOVA_PROTOCOL_H

enum kova_command {
    KOVA_CMD_ACK = 0,          /* acknowledgement (child to library) */
    KOVA_CMD_SYNC = 1,         /* answer with an acknowledgement */
    KOVA_CMD_MANAGE = 2,       /* start managing the window */
    KOVA_CMD_UNMANAGE = 3,     /* stop managing the window */
    KOVA_CMD_TOP_WIN = 4,
    KOVA_CMD_CLIP_WIN = 5,
    KOVA_CMD_HSCROLL_WIN = 6,
    KOVA_CMD_VSCROLL_WIN = 7,
    KOVA_CMD_DRAW_WIN = 8,
    KOVA_CMD_ICON_WIN = 9,
    KOVA_CMD_Y_UPWARD = 10,
    KOVA_CMD_SHOWN_PIXMAP = 11,
    KOVA_CMD_KEY_MASK = 12,
    KOVA_CMD_TAKE_BUTTONS = 13, /* leaving non-blocking mode */
    KOVA_CMD_GIVE_BUTTONS = 14  /* entering non-blocking mode */
};

#define KOVA_SCROLLBAR_WIDTH 19

#endif /* KOVA_PROTOCOL_H */
