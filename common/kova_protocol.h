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

/* The library writes the child executable to a fresh file named after this
 * template; the child, run from such a file, removes it as it starts. */
#define KOVA_EXEC_PREFIX "/tmp/_xslave_"
#define KOVA_EXEC_TEMPLATE KOVA_EXEC_PREFIX "XXXXXX"

/* The child's command line: argv[1] is the mode, argv[2] onwards its
 * arguments, in decimal, at the positions named here; both sides fill and
 * read them by these names. */
enum kova_child_mode {
    KOVA_MODE_WINDOWS = 1,   /* serve the windows of the library process */
    KOVA_MODE_SAVE_IMAGE = 2 /* save one area of a layer, then end */
};

enum kova_window_arg {
    KOVA_WIN_ARG_MODE = 1,
    KOVA_WIN_ARG_PPID,           /* the library process */
    KOVA_WIN_ARG_FACE_PIXEL,     /* scrollbar colours */
    KOVA_WIN_ARG_DARK_PIXEL,
    KOVA_WIN_ARG_TROUGH_PIXEL,
    KOVA_WIN_ARG_LIGHT_PIXEL,
    KOVA_WIN_ARG_SCROLLBAR_WIDTH,
    KOVA_WIN_ARG_CMD_WIN,        /* the command window */
    KOVA_WIN_ARG_COUNT           /* argv[0] included */
};

enum kova_save_arg {
    KOVA_SAVE_ARG_MODE = 1,
    KOVA_SAVE_ARG_PPID,
    KOVA_SAVE_ARG_CMAP,
    KOVA_SAVE_ARG_RED_DEPTH,     /* the visual's channels; depths 0 */
    KOVA_SAVE_ARG_GREEN_DEPTH,   /* when it has no channel masks */
    KOVA_SAVE_ARG_BLUE_DEPTH,
    KOVA_SAVE_ARG_RED_SHIFT,
    KOVA_SAVE_ARG_GREEN_SHIFT,
    KOVA_SAVE_ARG_BLUE_SHIFT,
    KOVA_SAVE_ARG_CMD_WIN,
    KOVA_SAVE_ARG_PIXMAP,        /* the layer */
    KOVA_SAVE_ARG_X,             /* the area, in pixels */
    KOVA_SAVE_ARG_Y,
    KOVA_SAVE_ARG_WIDTH,
    KOVA_SAVE_ARG_HEIGHT,
    KOVA_SAVE_ARG_LEVELS,        /* per channel, 2..256 */
    KOVA_SAVE_ARG_FILE,
    KOVA_SAVE_ARG_CONVERTER      /* the converter's words follow, if any */
};

#endif /* KOVA_PROTOCOL_H */
