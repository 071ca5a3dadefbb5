/*
 * opening.cpp - connecting to the display, and opening windows.
 *
 * The first open request of a process connects, learns the program name
 * from "ps", sets the locale and installs the signal handlers; every open
 * request then builds the window, waits for its first exposure, makes sure
 * the child runs, and announces the window to it.
 */
#include "kova_private.h"
#include "sigchld_held.h"
#include "kova_protocol.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <ctime>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

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
    watch_connection();
    choose_visual();
    if (Pc_depth > 15)
        set_channels(Pc_visual);
    /* The command window is made with the chosen visual and depth, which
     * the server grants or refuses with an error: asking it for them back
     * would only cost a round trip.  The root window's size came with the
     * connection. */
    if (Pc_zwin == 0)
        Pc_zwin = XX_CreateSimpleWindow(Pc_dis, RootWindow(Pc_dis, 0), 0, 0, 16, 16, 0,
                                        get_color_pixel("#ffffff"), get_color_pixel("#000000"));
    Pc_display_width = Pc_root_width = DisplayWidth(Pc_dis, 0);
    Pc_display_height = Pc_root_height = DisplayHeight(Pc_dis, 0);
    return 0;
}

namespace {

/* "ps" runs with too little output are repeated this often, then the
 * built-in name is used. */
constexpr int ps_attempts = 10;
/* The auxiliary child's status when neither ps path can be executed. */
constexpr int ps_exec_failed = 255;
/* A window that is never exposed (a withdrawn dock-icon window, one placed
 * off the screen) must not hold the open request for ever. */
constexpr int first_expose_ms = 1000;
/* Drawing coordinates are 16-bit: no canvas side beyond this. */
constexpr int max_canvas_side = 32767;

enum class ps_result { ok, retry, give_up };

/* One run of "ps -p <pid> -f" into out, newlines and control characters
 * turned into spaces. */
ps_result run_ps_once(const char *ps_path, const char *alt_ps_path, std::string &out)
{
    std::string pid = std::to_string(getpid());
    char *argv[] = {const_cast<char *>(ps_path), const_cast<char *>("-p"), &pid[0],
                    const_cast<char *>("-f"), nullptr};
    int fds[2];
    if (pipe(fds) != 0)
        return ps_result::give_up;
    pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return ps_result::give_up;
    }
    if (child == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        execv(ps_path, argv);
        argv[0] = const_cast<char *>(alt_ps_path);
        execv(alt_ps_path, argv);
        _kova_error("Cannot exec 'ps' command.");
        _exit(ps_exec_failed);
    }
    Cpid_tmp = child;
    close(fds[1]);
    int lines = 0;
    bool failed = false;
    char buf[256];
    for (;;) {
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failed = n < 0;
            break;
        }
        for (ssize_t i = 0; i < n; i++) {
            char c = buf[i];
            if (c == '\n')
                lines++;
            out += static_cast<unsigned char>(c) <= 31 ? ' ' : c;
        }
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR)
        ;
    Cpid_tmp = 0;
    if (WIFEXITED(status) && WEXITSTATUS(status) == ps_exec_failed)
        return ps_result::give_up;
    return failed || lines < 2 ? ps_result::retry : ps_result::ok;
}

void process_setup(void)
{
    Pid = getpid();
    atexit(killallchld);
    auto from_ps = [] { return program_name_from_ps("/bin/ps", "/usr/bin/ps"); };
    if (char *name = without_exceptions(from_ps))
        Pname = name;
    if (!setlocale(LC_CTYPE, ""))
        _kova_warn("Cannot set locale.");
}

/* The first open request, and the first after a close-all. */
void begin_library(void)
{
    if (display_setup() != 0)
        _kova_fatal("Cannot open display.");
    if (Wn == -1)
        process_setup();
    else
        Pid = getpid(); /* a process forked after a close-all owns what it opens */
    if (!Pc_kovahandlers_are_set)
        install_kova_handlers();
    Wn = 0;
}

bool is_plain(int attributes)
{
    return !(attributes & KOVA_ATTR_SCROLLBARS) ||
           (attributes & (KOVA_ATTR_DOCK_ICON | KOVA_ATTR_OVERRIDE_REDIRECT));
}

void build_plain(pc_window &w, const XSizeHints &h, unsigned long border)
{
    w.top_win = XX_CreateSimpleWindow(Pc_dis, RootWindow(Pc_dis, 0), h.x, h.y,
                                      static_cast<unsigned int>(w.width),
                                      static_cast<unsigned int>(w.height),
                                      static_cast<unsigned int>(Pc_bdr_width), border, w.bg_pixel);
    w.clip_win = w.draw_win = w.top_win;
    w.hscroll_win = w.vscroll_win = 0;
}

/* The scrollbars start outside the top-level window: the child lays them
 * out. */
void build_scrolled(pc_window &w, const XSizeHints &h, unsigned long border)
{
    const int bar = KOVA_SCROLLBAR_WIDTH;
    unsigned long face = get_color_pixel("#c0c0c0");
    unsigned long trough = get_color_pixel("#a3a3a3");
    auto W = static_cast<unsigned int>(h.width), H = static_cast<unsigned int>(h.height);
    w.top_win = XX_CreateSimpleWindow(Pc_dis, RootWindow(Pc_dis, 0), h.x, h.y, W, H,
                                      static_cast<unsigned int>(Pc_bdr_width), border, face);
    w.clip_win = XX_CreateSimpleWindow(Pc_dis, w.top_win, 0, 0, W, H, 0, 0, w.bg_pixel);
    w.hscroll_win = XX_CreateSimpleWindow(Pc_dis, w.top_win, 0, -bar, W, bar, 0, 0, trough);
    w.vscroll_win = XX_CreateSimpleWindow(Pc_dis, w.top_win, -bar, 0, bar, H, 0, 0, trough);
    w.draw_win = XX_CreateSimpleWindow(Pc_dis, w.clip_win, 0, 0, static_cast<unsigned int>(w.width),
                                       static_cast<unsigned int>(w.height), 0, 0, w.bg_pixel);
}

void add_dock_icon(pc_window &w, XSizeHints &h, unsigned long border)
{
    w.icon_win = XX_CreateSimpleWindow(Pc_dis, RootWindow(Pc_dis, 0), h.x, h.y,
                                       static_cast<unsigned int>(w.width),
                                       static_cast<unsigned int>(w.height),
                                       static_cast<unsigned int>(Pc_bdr_width), border, w.bg_pixel);
    XSetWMNormalHints(Pc_dis, w.icon_win, &h);
    XWMHints wm;
    memset(&wm, 0, sizeof wm);
    wm.flags = StateHint | IconWindowHint | IconPositionHint | WindowGroupHint;
    wm.initial_state = WithdrawnState;
    wm.icon_window = w.icon_win;
    wm.icon_x = h.x;
    wm.icon_y = h.y;
    wm.window_group = w.top_win;
    XSetWMHints(Pc_dis, w.top_win, &wm);
}

void set_names(const pc_window &w)
{
    malloc_str upper(Pc_classhint_res_class ? nullptr : _kova_xstrdup_toupper(Pname));
    XClassHint hint;
    hint.res_name = const_cast<char *>(Pc_classhint_res_name ? Pc_classhint_res_name : Pname);
    hint.res_class = Pc_classhint_res_class ? Pc_classhint_res_class : upper.get();
    for (Window win : {w.top_win, w.icon_win}) {
        if (!win)
            continue;
        XStoreName(Pc_dis, win, Pc_storename ? Pc_storename : Pname);
        XSetIconName(Pc_dis, win, Pc_iconname ? Pc_iconname : Pname);
        XSetClassHint(Pc_dis, win, &hint);
    }
}

/* Each window once, the inner ones first so that the top-level window
 * appears whole: a window manager takes every map request of a top-level
 * window for a new window (a dock app mapped twice docks twice). */
void map_windows(const pc_window &w)
{
    if (w.draw_win != w.top_win)
        for (Window win : {w.draw_win, w.clip_win, w.hscroll_win, w.vscroll_win})
            XMapWindow(Pc_dis, win);
    XMapWindow(Pc_dis, w.top_win);
}

long elapsed_ms(const timespec &since)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - since.tv_sec) * 1000L + (now.tv_nsec - since.tv_nsec) / 1000000L;
}

/* Takes the window's first Expose event; other events stay queued for the
 * input functions. */
void wait_first_expose(Window win)
{
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    XEvent ev;
    while (!XCheckTypedWindowEvent(Pc_dis, win, Expose, &ev)) {
        long left = first_expose_ms - elapsed_ms(start);
        if (left <= 0)
            return;
        pollfd p{ConnectionNumber(Pc_dis), POLLIN, 0};
        poll(&p, 1, static_cast<int>(left));
    }
}

void create_layer0_and_gcs(pc_window &w)
{
    auto W = static_cast<unsigned int>(w.width), H = static_cast<unsigned int>(w.height);
    for (Pixmap &p : w.layers)
        p = 0;
    w.layers[0] = XCreatePixmap(Pc_dis, w.draw_win, W, H, static_cast<unsigned int>(Pc_depth));
    w.scroll_pixmap = 0;
    XGCValues v;
    v.fill_style = FillTiled;
    v.fill_rule = WindingRule;
    v.tile = w.layers[0];
    v.graphics_exposures = False;
    w.tile_gc = XCreateGC(Pc_dis, w.draw_win, GCFillStyle | GCFillRule | GCTile | GCGraphicsExposures, &v);
}

void create_drawing_gcs(pc_window &w)
{
    XGCValues v;
    v.graphics_exposures = False;
    w.pen_gc = XCreateGC(Pc_dis, w.top_win, GCGraphicsExposures, &v);
    w.bg_gc = XCreateGC(Pc_dis, w.top_win, GCGraphicsExposures, &v);
    XSetForeground(Pc_dis, w.bg_gc, w.bg_pixel);
    XFillRectangle(Pc_dis, w.layers[0], w.bg_gc, 0, 0, static_cast<unsigned int>(w.width),
                   static_cast<unsigned int>(w.height));
    XSetForeground(Pc_dis, w.pen_gc, get_color_pixel("#ffffff"));
    w.fontset = nullptr;
    XFlush(Pc_dis);
}

void reset_drawing_state(pc_window &w)
{
    w.user_x0 = w.user_y0 = 0.0;
    w.scale_x = w.scale_y = 1.0;
    w.line_width = 1;
    w.gc_function = GXcopy;
    w.line_style = LineSolid;
    w.pen_x = w.pen_y = 0;
}

void announce_to_child(int wn)
{
    const pc_window &w = Pc[wn];
    const struct {
        int code;
        unsigned long value;
    } commands[] = {
        {KOVA_CMD_TOP_WIN, w.top_win},
        {KOVA_CMD_CLIP_WIN, w.clip_win},
        {KOVA_CMD_HSCROLL_WIN, w.hscroll_win},
        {KOVA_CMD_VSCROLL_WIN, w.vscroll_win},
        {KOVA_CMD_DRAW_WIN, w.draw_win},
        {KOVA_CMD_ICON_WIN, w.icon_win},
        {KOVA_CMD_Y_UPWARD, (w.attributes & KOVA_ATTR_Y_UP) ? 1UL : 0UL},
        {KOVA_CMD_SHOWN_PIXMAP, w.layers[0]},
        {KOVA_CMD_MANAGE, 0},
    };
    for (const auto &c : commands)
        send_command_to_child(wn, c.code, c.value, 0);
    sync_child(1);
}

} // namespace

void fit_canvas_size(int width, int height, int *cw, int *ch)
{
    *cw = width < 1 ? 1 : width > max_canvas_side ? max_canvas_side : width;
    *ch = height < 1 ? 1 : height > max_canvas_side ? max_canvas_side : height;
    if (*cw != width || *ch != height)
        _kova_warn("Invalid window size %dx%d; using %dx%d.", width, height, *cw, *ch);
}

char *command_name_from_ps_text(const char *text)
{
    std::string t(text);
    while (!t.empty() && t.back() == ' ')
        t.pop_back();
    if (t.size() < 2)
        return nullptr;
    int field = 0, c = 0;
    for (size_t i = t.find_first_not_of(' '); i != std::string::npos;
         i = t.find_first_not_of(' ', i)) {
        size_t end = t.find(' ', i);
        std::string f = t.substr(i, end == std::string::npos ? std::string::npos : end - i);
        field++;
        /* The command column is the header's last: c header fields, and the
         * process line's command is field 2c of the joined text. */
        if (c == 0 && end != std::string::npos && (f == "CMD" || f == "COMMAND")) {
            c = field;
        } else if (c > 0 && field == 2 * c) {
            size_t slash = f.rfind('/');
            std::string name = slash == std::string::npos ? f : f.substr(slash + 1);
            return name.empty() ? nullptr : _kova_xstrdup(name.c_str());
        }
        if (end == std::string::npos)
            break;
        i = end;
    }
    return nullptr;
}

char *program_name_from_ps(const char *ps_path, const char *alt_ps_path)
{
    /* We wait for this child ourselves, and want its status. */
    sigchld_held held;
    char *name = nullptr;
    for (int attempt = 0; attempt < ps_attempts; attempt++) {
        if (attempt > 0)
            kova_msleep(10);
        std::string out;
        ps_result r = run_ps_once(ps_path, alt_ps_path, out);
        if (r == ps_result::give_up)
            break;
        if (r == ps_result::ok) {
            name = command_name_from_ps_text(out.c_str());
            break;
        }
    }
    return name;
}

KOVA_FORTRAN void gopen_(int *width, int *height, int *wn)
{
    int cw, ch;
    fit_canvas_size(*width, *height, &cw, &ch);
    if (Wn < 0)
        begin_library();
    wait_child();
    int n = choose_slot(wn != nullptr);
    if (n < 0)
        return;
    pc_window &w = Pc[n];
    w.attributes = Pc_attributes;
    w.shown_layer = w.write_layer = 0;
    w.width = cw;
    w.height = ch;
    bool plain = is_plain(w.attributes);
    XSizeHints hints;
    get_size_hints(cw, ch, plain ? 1 : 0, &hints);
    w.bg_pixel = get_color_pixel(Pc_bgcolor ? Pc_bgcolor : "#000000");
    unsigned long border =
        get_color_pixel(Pc_bordercolor ? Pc_bordercolor : plain ? "#ffffff" : "#c0c0c0");
    if (plain)
        build_plain(w, hints, border);
    else
        build_scrolled(w, hints, border);
    XSetWMNormalHints(Pc_dis, w.top_win, &hints);
    w.icon_win = 0;
    if (w.attributes & KOVA_ATTR_DOCK_ICON)
        add_dock_icon(w, hints, border);
    create_layer0_and_gcs(w);
    if (w.attributes & KOVA_ATTR_OVERRIDE_REDIRECT) {
        XSetWindowAttributes a;
        a.override_redirect = True;
        XChangeWindowAttributes(Pc_dis, w.top_win, CWOverrideRedirect, &a);
    }
    set_names(w);

    XSelectInput(Pc_dis, w.draw_win, ExposureMask);
    map_windows(w);
    wait_first_expose(w.draw_win);

    create_drawing_gcs(w);
    reset_drawing_state(w);
    if (wn)
        *wn = n;
    XSelectInput(Pc_dis, w.draw_win, 0);

    if (Cpid <= 0) {
        start_child();
        kova_gsetnonblock(Pc_nonblock);
    }
    announce_to_child(n);
    Pc[n].scrollbar_key_mask = Mod1Mask;
    send_command_to_child(n, KOVA_CMD_KEY_MASK, Mod1Mask, 1);
    restore_xinput_selection(n);
}

KOVA_FORTRAN void plots_(void)
{
    int width = 640, height = 400;
    gopen_(&width, &height, nullptr);
}

extern "C" KOVA_API int kova_gopen(int width, int height)
{
    int wn = -1;
    gopen_(&width, &height, &wn);
    return wn;
}
