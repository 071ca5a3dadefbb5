/*
 * kova_private.h - the library's shared state and internal interfaces.
 *
 * Architecture in one paragraph: every window is a pc_window record in the
 * window table Pc; its number is its index.  Drawing goes through the
 * output layer (X_Draw*) into the write layer's pixmap and, when that layer
 * is shown, onto the window.  One child process (_xslave_, carried inside
 * the library as a byte array) repaints exposures, runs the scrollbars and
 * forwards input; the library talks to it only through command events sent
 * to the hidden command window Pc_zwin.  All process-wide state is declared
 * here and defined in window_table.cpp.
 */
#ifndef KOVA_PRIVATE_H
#define KOVA_PRIVATE_H

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <csignal>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "kova.h"
#include "converter.h"
#include "kova_common.h"

/* Fortran-callable twins and the few entry points whose names carry no
 * prefix: exported with C linkage, every argument by reference. */
#define KOVA_FORTRAN extern "C" KOVA_API

/* One window. */
struct pc_window {
    int in_use;             /* the slot holds an open window */
    int attributes;         /* KOVA_ATTR_* it was opened with */
    int scrollbar_key_mask; /* modifiers with which keys scroll, not report */
    int width;              /* canvas size in pixels */
    int height;
    Window top_win;         /* the top-level window */
    Window clip_win;        /* the viewport inside it (top_win without scrollbars) */
    Window hscroll_win;     /* the scrollbars, or 0 */
    Window vscroll_win;
    Window draw_win;        /* the canvas (top_win without scrollbars) */
    Window icon_win;        /* the dock icon's window, or 0 */
    int shown_layer;        /* 0..7: the layer the windows show */
    int write_layer;        /* 0..7: the layer drawing goes into */
    Pixmap layers[8];       /* made on first use; 0 until then */
    GC tile_gc;             /* whole-layer copies: fills with a layer as tile */
    unsigned long bg_pixel; /* the background colour */
    GC bg_gc;               /* fills with the background */
    int line_width;         /* the pen as last set, for calls that restore it */
    int line_style;
    int gc_function;
    int font_size;          /* loaded font: 1..24, 0 the font set, -1 none */
    XFontStruct *font;      /* the loaded font, or null */
    XFontSet fontset;       /* from the process-wide cache, not owned */
    unsigned short fontset_height; /* line height of the font set */
    GC pen_gc;              /* every drawing request */
    Pixmap scroll_pixmap;   /* scratch layer for copies within a layer, or 0 */
    double user_x0;         /* user coordinates to pixels: */
    double user_y0;         /* pixel = (user - user_0) * scale */
    double scale_x;
    double scale_y;
    int pen_x;              /* pen position of plot/plots, in pixels */
    int pen_y;
    int close_events; /* 1: close requests are reported, not obeyed */
};

/* One entry of the process-wide font set cache. */
struct fontset_entry {
    char *name;
    XFontSet fontset;
    char **missing;
};

/* ---- the window table ---------------------------------------------- */
extern pc_window *Pc;
extern int N_Pc;

/* ---- process-wide state ---------------------------------------------- */
extern Display *Pc_dis;
extern Window Pc_zwin;
extern Visual *Pc_visual;
extern int Pc_depth;
extern Colormap Pc_cmap;
extern XVisualInfo *Pc_vinfo_ptr;
extern int Red_depth, Green_depth, Blue_depth;
extern int Red_sft, Green_sft, Blue_sft;
extern int Pc_display_width, Pc_display_height;
extern int Pc_root_width, Pc_root_height;

extern int Pc_attributes;
extern int Pc_bdr_width;
extern char *Pc_bordercolor, *Pc_bgcolor, *Pc_geometry;
extern char *Pc_storename, *Pc_iconname, *Pc_classhint_res_name, *Pc_classhint_res_class;

extern char _Pname[5];
extern const char *Pname;
extern int Pid;
extern int Wn;

/* Where the pointer is taken to be while it is on no window of ours. */
constexpr int Offscreen_position = -32000;

/* Child process ids: written by the SIGCHLD handler, polled elsewhere. */
extern volatile sig_atomic_t Cpid;
extern volatile sig_atomic_t Cpid_tmp;
extern volatile sig_atomic_t Cpid_saveimg;
extern volatile sig_atomic_t Chld_imgsave_stat;
/* Wait status of the converter last collected; -1 when it is unknown. */
extern volatile sig_atomic_t Cpid_tmp_status;
/* Wait status of the saving child last collected; -1 when it is unknown. */
extern volatile sig_atomic_t Cpid_saveimg_status;
/* A save started whose outcome has not been taken yet (take_save_outcome). */
extern volatile sig_atomic_t Save_due;

extern int Pc_nonblock;
extern int Pc_nonflush;
extern int Pc_kovahandlers_are_set;

extern int Exec_fd;
extern char Exec_slave_tmp[20];
/* The process that wrote the temporary copy: only it removes the copy. */
extern pid_t Exec_owner;
/* The status that SIGINT/SIGTERM's exit path leaves with, also when its
 * watchdog has to end the process. */
extern volatile sig_atomic_t Exit_status;
/* A non-blocking poll that found nothing: the connection and the request
 * number it saw then (input.cpp). */
extern Display *Quiet_dis;
extern unsigned long Quiet_request;

extern int Pc_evrec_wid, Pc_evrec_pointer_x, Pc_evrec_pointer_y, Pc_evrec_button_mask;
/* WM_PROTOCOLS and WM_DELETE_WINDOW on Pc_dis; None until a window asks
 * for close requests. */
extern Atom Pc_wm_protocols, Pc_wm_delete_window;

extern const char *const Pc_fnt[24];
extern const char *const Pc_fallbackfnt;
extern const char *const Pc_fallbackfnt_fmt;
extern fontset_entry *Pc_fscache;
extern int Pc_nfscache;

/* A piece of turned text kept on the server as a bitmap, so that drawing
 * the same text at the same angle again costs one stippled fill. */
struct turned_piece {
    Font font;          /* the core font it was drawn in, or 0 */
    XFontSet fontset;   /* or the font set */
    double degrees;     /* 0 < degrees < 360 */
    char *text;         /* malloc'ed; NULL in a free entry */
    int length;
    Pixmap bitmap;
    int x, y;           /* the bitmap's top-left from the piece's origin */
    int width, height;
    /* Bands of rows cut to their ink, from the bitmap's top-left: only
     * these are filled, a fraction of the whole at a slant. */
    XRectangle bands[8];
    int nbands;
    unsigned long used; /* when it last served, for replacing the oldest */
};
constexpr int N_turned = 64;
extern turned_piece Pc_turned[N_turned];
/* The 1-bit pixmap text is drawn into before it is turned, grown as
 * needed, and the GC that draws into 1-bit pixmaps. */
extern Pixmap Turn_source;
extern int Turn_source_width, Turn_source_height;
extern GC Turn_gc;

extern XColor *Pc_cmapcolors;
extern int Pc_ncmapcolors;
/* -1 once an allocation has failed: the cache then holds every cell of the
 * colormap and requests get the nearest one. */
extern int Pc_cmapfull;

extern unsigned char *Tmp_img24buf;
extern size_t Sz_tmp_img24buf;
extern Pixmap Pix_mask;
extern GC Gc_pix_mask;
extern int Pix_mask_width, Pix_mask_height;

/* The child executable's image (generated at build time). */
extern const unsigned char _xslave_[];
extern const size_t _xslave__size;

/* ---- window table and shared utilities (window_table.cpp) ------------ */
void resize_Pc(int n);
int choose_slot(int numbered);  /* -1: slot 0 wanted but open */
void shrink_Pc(void);
/* Every entry point that takes a window number asks window_is_open first:
 * a number outside the table, a free slot, or any number before the first
 * open or after closing everything gets "Window N is not open." and the
 * call does nothing.  window_slot_open is the same test without a word. */
bool window_slot_open(int wn);
bool window_is_open(int wn);
/* True when there are n > 0 coordinates to read; NULL arrays with n > 0
 * are refused with a warning, n <= 0 means silently nothing to do. */
bool arrays_given(const void *x, const void *y, int n);
int _kova_iround(double x);
/* X coordinates travel as signed 16-bit values: v kept within
 * -32767..32767 (symmetric, so that flipping the y axis stays in range),
 * NaN at the lower limit. */
constexpr int Coord_limit = 32767;
template <class T>
constexpr T clamp16(T v)
{
    return !(v >= -Coord_limit) ? T(-Coord_limit) : v > Coord_limit ? T(Coord_limit) : v;
}
/* Runs code that uses the standard library's containers and strings: their
 * allocation failure takes the library's own allocation-failure path (the
 * message, exit status 1) instead of leaving through the C interface. */
template <class Body>
auto without_exceptions(Body body) noexcept -> decltype(body())
{
    try {
        return body();
    } catch (const std::exception &) {
        _kova_fatal("malloc() failed.");
    }
}
char *_kova_vasprintf(const char *format, va_list ap);
char *_kova_asprintf(const char *format, ...) KOVA_PRINTF(1, 2);
int _kova_signal(int sig, int flags, void (*handler)(int));
char *_kova_xstrdup_toupper(const char *s);
/* Waits while an image save runs, then takes the outcome of one that has
 * ended (take_save_outcome). */
void wait_child(void);
/* Polls *pid every 10 ms until the SIGCHLD handler has cleared it; gives up
 * after timeout_ms (negative: no limit) and returns 0 when it is cleared. */
int wait_pid_cleared(volatile sig_atomic_t *pid, int timeout_ms);

/* ---- coordinates (coordinates.cpp) ----------------------------------- */
void xyconv(int wn, double x, double y, int *px, int *py);
void xyinv(int wn, int qx, int qy, double *x, double *y);
/* The current window of the single-window entry points (plot_, newpen_,
 * ...), or -1 when none has been opened or it is closed (fortran.cpp). */
int single_window(void);

/* ---- opening (opening.cpp) ------------------------------------------- */
int display_setup(void);  /* 0, or -1 when the display cannot be opened */
int bitcount(int m);
int sftcount(int *m);
Window XX_CreateSimpleWindow(Display *dis, Window parent, int x, int y,
                             unsigned int width, unsigned int height,
                             unsigned int border_width, unsigned long border_pixel,
                             unsigned long background_pixel);
KOVA_FORTRAN void gopen_(int *width, int *height, int *wn);
KOVA_FORTRAN void plots_(void);
/* The program name from "ps -p <pid> -f" run from ps_path, then
 * alt_ps_path; NULL when it cannot be learned.  The caller frees it. */
char *program_name_from_ps(const char *ps_path, const char *alt_ps_path);
/* The command name in the joined header and process lines of "ps -f". */
char *command_name_from_ps_text(const char *text);

/* ---- attributes (attributes.cpp) ------------------------------------- */
void get_size_hints(int width, int height, int fixed, XSizeHints *out);

/* ---- modes (modes.cpp) ----------------------------------------------- */
void do_auto_flush(void);
void restore_xinput_selection(int wn);

/* ---- colour (colour.cpp) --------------------------------------------- */
unsigned long get_color_pixel(const char *name);
void get_colorpixel_from_cmap(Colormap cmap, XColor *color);
unsigned long rgb_to_pixel(int r, int g, int b);  /* components 0..255 */
/* The pen's colour lookup: a colormap cell on 8-bit screens (cached, the
 * nearest once the colormap is full), else rgb_to_pixel. */
unsigned long colour_pixel(int r, int g, int b);
void free_colour_cache(void);

/* ---- signals (signals.cpp) ------------------------------------------- */
void chldexithandler(int sig);
void iint_handler(int sig);
void iterm_handler(int sig);
void killallchld(void);
void install_kova_handlers(void);
void remove_kova_handlers(void);
/* A lost connection to the X server ends the process with status 1 through
 * the exit path above; other connections keep the handler they had. */
void watch_connection(void);
/* SIGTERM to the child whose id *pid holds, a bounded wait, then SIGKILL;
 * returns with *pid cleared. */
void stop_child(volatile sig_atomic_t *pid);
/* Waits until the child whose id *pid holds has ended, whether the SIGCHLD
 * handler or this call collects it: 0 with *pid cleared, or -1 after
 * timeout_ms (negative: no limit). */
int wait_child_end(volatile sig_atomic_t *pid, int timeout_ms);

/* ---- child link (child_link.cpp) ------------------------------------- */
int mkexecfile(void);
void rmexecfile(void);
void start_child(void);
/* Runs the temporary copy of the child executable with argv (argv[0] is
 * its path) and waits for its first acknowledgement; the child removes the
 * copy as it starts, and this call then removes it if it is still there.
 * The id goes to *cpid before SIGCHLD can report the child, so that one
 * ending at once is still recognised.  exec_failed runs in the new
 * process when the copy cannot be executed.  0 once acknowledged, -1 when
 * fork failed, -2 when the child ended without acknowledging. */
int run_child(char *const argv[], volatile sig_atomic_t *cpid, void (*exec_failed)());
void send_command_to_child(int window, int code, unsigned long value, int flush);
void sync_child(int xsync);

/* ---- input (input.cpp) ---------------------------------------------- */
/* One key or button press of window wn as code and user position: 4 for a
 * button press, 2 for a reported key, -1 for anything else. */
int handle_xpress_event(XEvent *ev, int wn, int *code, double *x, double *y);
/* A window manager's request to close one of our top-level windows. */
bool is_close_request(const XEvent *ev);
/* Called whenever input selections change (a new connection among them):
 * the next non-blocking poll reads the connection in full. */
void forget_quiet_queue(void);

/* ---- output layer (primitives.cpp) ----------------------------------- */
int needs_pset(int wn);
int X_DrawPoint(Display *dis, int wn, int x, int y);
int X_DrawPoints(Display *dis, int wn, XPoint *pts, int n);
int X_DrawLine(Display *dis, int wn, int x0, int y0, int x1, int y1);
int XX_DrawLine(Display *dis, int wn, int x0, int y0, int x1, int y1);
int X_DrawLines(Display *dis, int wn, XPoint *pts, int n);
int X_DrawArc(Display *dis, int wn, int x, int y, unsigned int w, unsigned int h,
              int a1, int a2);
int X_FillPolygon(Display *dis, int wn, XPoint *pts, int n, int shape, int mode);
int X_FillArc(Display *dis, int wn, int x, int y, unsigned int w, unsigned int h,
              int a1, int a2);
int X_DrawRectangle(Display *dis, int wn, int x, int y, unsigned int w, unsigned int h);
int X_FillRectangle(Display *dis, int wn, int x, int y, unsigned int w, unsigned int h);
/* The output rule for requests with no routine of their own (text): draw
 * is called for the write layer's pixmap and, when that layer is shown,
 * for the window and its dock icon; 1 when the window was among them. */
template <class Draw>
int output_targets(int wn, Draw draw)
{
    const pc_window &w = Pc[wn];
    draw(w.layers[w.write_layer]);
    if (w.write_layer != w.shown_layer)
        return 0;
    draw(w.draw_win);
    if (w.icon_win)
        draw(w.icon_win);
    return 1;
}

/* ---- pen and arcs (pen.cpp, arcs.cpp) -------------------------------- */
void hsv_to_rgb(int h, int s, int v, int *r, int *g, int *b);  /* results 0..255 */
XArc arc_request(int wn, double xcen, double ycen, double xrad, double yrad,
                 double sang, double eang, int idir);

/* ---- symbols and text (symbols.cpp, text.cpp) ------------------------ */
int draw_a_symbol(int wn, double x, double y, int size, int type);
/* A symbol's reach in pixels: r upward, m to the sides and downward, d
 * along the diagonals. */
struct symbol_reach {
    int r, m, d;
};
symbol_reach symbol_geometry(int size, int t);  /* t: shape 0..9 */
/* An arrow in pixels: shaft code (tens), head style and the head's corner
 * and base-centre offsets from the target; valid is false for codes that
 * have no drawing. */
struct arrow_plan {
    bool valid;
    int tens, style;
    int o1x, o1y, o2x, o2y, omx, omy;
};
arrow_plan plan_arrow(int sx, int sy, int tx, int ty, double s, double w, int shape);
XFontSet get_fontset(const char *names);
void free_fontset_cache(void);
void free_fixed_fonts(void);  /* the fixed fonts kept by size (text.cpp) */
int set_fontset(int wn, const char *names);  /* 0, 1 (fallback) or -1 (none) */
int text_font_size(double size);             /* 0: the font set, else 1..24 */
/* theta: degrees counter-clockwise on the screen about the start of the
 * first baseline. */
void draw_text(int wn, double x, double y, double size, double theta, const char *text,
               int nchar);
/* The advance of a text's widest line and the height of its lines, in
 * user units (text_extent); nchar as drawstr_ takes it. */
void text_extent(int wn, double size, const char *text, int nchar, double *width,
                 double *height);
/* What a window's text is drawn in at the size last chosen: its core font,
 * or (font null) its font set; line is the line height in pixels. */
struct text_face {
    XFontStruct *font;
    XFontSet fontset;
    long line;
};
void draw_face_text(Drawable d, GC gc, const text_face &face, int x, int y, const char *s, int n);
/* Ink of a run of text from the start of its baseline (y upward negative);
 * width or height 0 when it has none. */
XRectangle face_ink(const text_face &face, const char *s, int n);
/* The first bytes of a run of n: whole characters advancing at most a few
 * hundred pixels together (at least one character); *advance gets their
 * advance.  Long runs are measured and drawn piece by piece, so that no
 * width overflows and no bitmap grows with the text. */
int text_piece(const text_face &face, const char *s, int n, int *advance);

/* ---- turned text (text_rotation.cpp) --------------------------------- */
/* A text angle as the drawing needs it: degrees within [0, 360), with
 * exact cosine and sine at the quarter turns. */
struct text_turn {
    double degrees;
    double c, s;
};
/* False (and a warning, once) when theta is no finite number. */
bool text_turn_of(double theta, text_turn *turn);
/* A run of text turned about the start of its baseline at (x, y) pixels;
 * true when the window was drawn on. */
bool draw_turned_run(int wn, const text_face &face, const text_turn &turn, double x, double y,
                     const char *s, int n);
void free_turned_text(void);
char *rtoc(const float *value, const int *ndec);
KOVA_FORTRAN void drawstr_(int *wn, float *x, float *y, float *size, const char *text,
                           float *theta, int *nchar);
KOVA_FORTRAN void drawsym_(int *wn, float *x, float *y, float *size, int *type);

/* A client-side image header for data of the given layout; depth 1 makes
 * an XYBitmap of 8-bit units, most significant bit first (pixels.cpp). */
XImage image_header(char *data, int width, int height, int depth, int bpp, int bytes_per_line,
                    int byte_order);

/* ---- layers, resize, pixel transfer (layers.cpp, resize.cpp, pixels.cpp) */
/* A new layer pixmap of the canvas size, filled with the background. */
Pixmap create_layer(int wn);
/* A layer index 0..7 whose pixmap the window has made already. */
bool layer_exists(int wn, int layer);
/* Fills (x, y, width, height) of d through the window's tile_gc with tile
 * as its tile, at the GC's current tile origin. */
void tile_fill(int wn, Pixmap tile, Drawable d, int x, int y, int width, int height);
/* Copies the layer onto the window and its dock icon; flushes unless the
 * non-flush mode is on. */
void show_layer(int wn, int layer);
/* A shift reduced into 0..size-1: tile origins travel as 16-bit values,
 * and a tiled copy repeats every size pixels anyway. */
int tile_origin(long long shift, int size);
/* Two user-coordinate corners as an inclusive pixel rectangle, clamped to
 * the canvas. */
void cnv_2p_to_pwh(int wn, double x0, double y0, double x1, double y1, int *px, int *py, int *pw,
                   int *ph);
/* The bytes of a width x height image buffer (width, height > 0) of
 * pixel_bytes per pixel, or false with a message naming where when they, or
 * those of one row, do not fit the machine's sizes. */
bool image_size_fits(int width, int height, const char *where, size_t *bytes, int pixel_bytes = 4);
/* The put path's pieces.  Pixels in the server's layout go out in strips of
 * about Put_strip_bytes, each sent while it is still in the processor's
 * cache; transfer_scratch is the process-wide scratch buffer, grown to at
 * least n bytes and never shrunk, so repeated puts allocate nothing. */
constexpr size_t Put_strip_bytes = 256 * 1024;
unsigned char *transfer_scratch(size_t n);
/* The mask pixmap, grown when w x h does not fit it, given the bits (rows
 * of (w + 7) / 8 bytes, most significant bit first, set: drawn). */
void send_mask(const unsigned char *bits, int w, int h);
/* n rows of w pixel values of bytes each, in the server's byte order, put
 * at (x, y) of d. */
void put_rows(Drawable d, GC gc, const unsigned char *rows, int x, int y, int w, int n, int bytes);
/* Runs send() with gc clipped by the mask pixmap placed at (x, y). */
template <class Send>
void through_mask(GC gc, int x, int y, Send send)
{
    XSetClipMask(Pc_dis, gc, Pix_mask);
    XSetClipOrigin(Pc_dis, gc, x, y);
    send();
    XSetClipMask(Pc_dis, gc, None);
}
/* What every put does around sending its pixels with send(drawable, gc):
 * waits for a running save, sends them into the write layer through the
 * pen's GC (so its drawing function applies) and shows the layer when it is
 * the shown one. */
template <class Send>
void put_to_write_layer(int wn, Send send)
{
    wait_child();
    const pc_window &w = Pc[wn];
    send(w.layers[w.write_layer], w.pen_gc);
    if (w.write_layer == w.shown_layer)
        show_layer(wn, w.write_layer);
}
/* Canvas sides within 1..32767; "Invalid window size" when the request had
 * to be changed (opening.cpp). */
void fit_canvas_size(int width, int height, int *cw, int *ch);

/* ---- image files (images.cpp, image_read.cpp) ------------------------ */
/* Splits text at runs of spaces into a NULL-terminated word array pointing
 * into *copy; the caller frees both.  Returns the number of words. */
int create_args(const char *text, char **copy, char ***words);
/* A converter command split into words; no words for NULL, "" or blanks. */
struct command_words {
    char *copy = nullptr;
    char **words = nullptr;
    int count = 0;
    explicit command_words(const char *command);
    ~command_words();
    command_words(const command_words &) = delete;
    command_words &operator=(const command_words &) = delete;
};
/* SIGPIPE and SIGXFSZ held while a stream is written, so that a converter
 * that went away or a file size limit make the write fail instead of
 * ending the application; those raised meanwhile are taken off again. */
class write_signals_held {
    sigset_t held_, saved_, pending_before_;

public:
    write_signals_held();
    ~write_signals_held();
    write_signals_held(const write_signals_held &) = delete;
    write_signals_held &operator=(const write_signals_held &) = delete;
};
/* open_converter_stream for the library: the id goes to Cpid_tmp and the
 * converter does not inherit the X connection; messages is the setup's
 * exec_failed and the faults' messages. */
owned_file open_converter(char *const argv[], converter_end end, int other,
                          const converter_setup &messages, converter_fault *fault);
/* Waits for the converter in Cpid_tmp, if any; false when it failed. */
bool converter_succeeded(void);
/* Once the saving child has ended: its outcome becomes kova_gwaitsave's
 * answer, and a failure is told once, naming the file.  Nothing to do
 * while no ended save waits to be taken. */
void take_save_outcome(void);
enum class image_stream { raw, ppm, pam };
/* Writes an image buffer's rows, scaled to levels, after the header of the
 * kind; alpha follows each pixel's colour when msk is non-zero.  True when
 * every byte reached the stream. */
bool write_image_stream(FILE *fp, const unsigned char *buf, int width, int height, int msk,
                        int levels, image_stream kind);
/* Reads a PBM (P4), PGM (P5), PPM (P6) or PAM (P7) stream into a new image
 * buffer; NULL after printing why not. */
unsigned char *read_image_stream(FILE *in, int *width, int *height, int *msk);
/* The next line that is not a comment, its leading blanks skipped; NULL
 * at the end of the input. */
char *read_next(FILE *fp, char *line, int size);

#endif /* KOVA_PRIVATE_H */
