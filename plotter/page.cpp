/*
 * page.cpp - the page and the pen: opening the page's window, its size,
 * new pages, the end of the plot with the page held on screen, pen moves,
 * the origin, the factor and the pen colours.
 *
 * The page is one kova window with the y axis upward whose user units are
 * inches: ppi = min(width / xinches, height / yinches) pixels per inch in
 * both directions, the page's lower-left corner on the canvas's bottom-left
 * pixel.  A later PLOTS holds the page that was drawn, then clears it for
 * the next; PLOT with 999 holds it and closes the window, and so does the
 * end of a program that never called it.
 */
#include "plotter.h"

#include <kova.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <signal.h>
#include <unistd.h>
#include <vector>

namespace plotter {

page_state Page;

namespace {

struct page_size {
    int width = 1024, height = 768;
    double xinches = 11.0, yinches = 8.5;
};

/* The paper, to erase; then black, red, green, blue, cyan, magenta, orange
 * and grey.  Pens beyond 8 repeat 1 to 8. */
struct rgb {
    int r, g, b;
};
constexpr rgb Pens[] = {{255, 255, 255}, {0, 0, 0},     {255, 0, 0},   {0, 160, 0}, {0, 0, 255},
                        {0, 170, 170},   {200, 0, 200}, {230, 130, 0}, {128, 128, 128}};
constexpr int Last_pen = sizeof Pens / sizeof Pens[0] - 1;

page_size Size;
bool Size_chosen = false;  /* by plotpage_ or from the environment */
int Pen_number = 1;

double pixels_per_inch(const page_size &s)
{
    return std::fmin(s.width / s.xinches, s.height / s.yinches);
}

bool valid_size(const page_size &s)
{
    const double ppi = pixels_per_inch(s);
    return s.width >= 1 && s.width <= 32767 && s.height >= 1 && s.height <= 32767 &&
           std::isfinite(s.xinches) && std::isfinite(s.yinches) && s.xinches > 0 &&
           s.yinches > 0 && std::isfinite(ppi) && ppi > 0;
}

bool read_int(const char *&s, int &v)
{
    char *end;
    errno = 0;
    long l = std::strtol(s, &end, 10);
    if (end == s || errno || l < 1 || l > 32767)
        return false;
    v = static_cast<int>(l);
    s = end;
    return true;
}

bool read_double(const char *&s, double &v)
{
    char *end;
    v = std::strtod(s, &end);
    if (end == s)
        return false;
    s = end;
    return true;
}

/* "WIDTHxHEIGHT" pixels, optionally followed by ",XINCHESxYINCHES". */
bool parse_size(const char *s, page_size &out)
{
    page_size p;
    if (!read_int(s, p.width) || *s++ != 'x' || !read_int(s, p.height))
        return false;
    if (*s == ',') {
        s++;
        if (!read_double(s, p.xinches) || *s++ != 'x' || !read_double(s, p.yinches))
            return false;
    }
    if (*s || !valid_size(p))
        return false;
    out = p;
    return true;
}

const page_size &chosen_size(void)
{
    if (!Size_chosen) {
        Size_chosen = true;
        const char *env = std::getenv("KOVA_PLOTTER_PAGE");
        if (env && *env && !parse_size(env, Size))
            warn("Invalid KOVA_PLOTTER_PAGE \"%s\" ignored; the page is %dx%d pixels for "
                 "%gx%g inches.",
                 env, Size.width, Size.height, Size.xinches, Size.yinches);
    }
    return Size;
}

void set_pen(void)
{
    const rgb &c = Pens[Pen_number];
    kova_newrgbcolor(Page.wn, c.r, c.g, c.b);
}

/* False when the window is gone (closed by the program through kova). */
bool name_page(const char *state)
{
    return kova_winname(Page.wn, "%s: page %d%s", program_invocation_short_name, Page.number,
                        state) >= 0;
}

void begin_page(void)
{
    Page.number++;
    Page.drawn = false;
    Page.low = page_state{}.low;
    Page.high = page_state{}.high;
    kova_gclr(Page.wn);
    set_pen();
    name_page("");
}

/* The page's name with the page number before the last "." of its file
 * name: plot.png and page 2 make plot2.png. */
std::string numbered(const std::string &name, int n)
{
    size_t slash = name.rfind('/');
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        dot = name.size();
    return name.substr(0, dot) + std::to_string(n) + name.substr(dot);
}

bool ends_with(const std::string &s, const char *tail)
{
    size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

/* KOVA_PLOTTER_SAVE names a file for every page that is held: PPM and PAM
 * are written by the library, other formats through "convert". */
void save_page(void)
{
    const char *env = std::getenv("KOVA_PLOTTER_SAVE");
    if (!env || !*env)
        return;
    std::string name = numbered(env, Page.number);
    bool plain = ends_with(name, ".ppm") || ends_with(name, ".pam");
    const page_size &s = Size;
    double ppi = pixels_per_inch(s);
    kova_saveimg(Page.wn, 0, 0.0, 0.0, (s.width - 1) / ppi, (s.height - 1) / ppi,
                 plain ? nullptr : "convert", 256, "%s", name.c_str());
}

/* Seconds to hold a page, from KOVA_PLOTTER_WAIT; negative: until a key
 * or a click. */
double hold_seconds(void)
{
    const char *env = std::getenv("KOVA_PLOTTER_WAIT");
    if (!env || !*env)
        return -1;
    char *end;
    double s = std::strtod(env, &end);
    if (*end || !(s >= 0)) {
        warn("Invalid KOVA_PLOTTER_WAIT \"%s\" ignored; waiting for a key.", env);
        return -1;
    }
    return s;
}

/* A key or a click in the page window; false when the time is up. */
bool key_or_click(double seconds)
{
    using clock = std::chrono::steady_clock;
    const clock::time_point start = clock::now();
    for (;;) {
        int type = -1;
        int wn = kova_ggetxpress(&type, nullptr, nullptr, nullptr);
        if (wn == Page.wn && (type == 2 || type == 4))
            return true;
        if (wn >= 0)
            continue;
        if (seconds >= 0 && std::chrono::duration<double>(clock::now() - start).count() >= seconds)
            return false;
        kova_msleep(20);
    }
}

/* Shows the finished page until the user has seen it. */
void hold_page(void)
{
    save_page();
    double seconds = hold_seconds();
    if (seconds != 0) {
        // The title that asks for a key travels after the selection of keys,
        // so that a key typed once it shows is never lost.
        kova_gsetnonblock(1);
        if (name_page(" - press a key or click to go on")) {
            kova_gflush();
            key_or_click(seconds);
        }
        kova_gsetnonblock(0);
    }
    kova_gflush();
}

/* A program written for a larger sheet, or one whose origin went below
 * the paper, would otherwise see an empty or cut page and not know why.
 * Drawing up to the page's edges, and half a pixel beyond, is on it. */
void warn_outside(void)
{
    const double ppi = pixels_per_inch(Size), edge = 0.5 / ppi;
    const double width = Size.width / ppi, height = Size.height / ppi;
    if (Page.low.x > -edge && Page.low.y > -edge && Page.high.x < width + edge &&
        Page.high.y < height + edge)
        return;
    warn("Page %d was drawn from x = %g to %g and y = %g to %g inches, beyond the %g x %g "
         "inches shown; KOVA_PLOTTER_PAGE sets a larger page.",
         Page.number, Page.low.x, Page.high.x, Page.low.y, Page.high.y, width, height);
}

/* The end of a page: 999, a later PLOTS or the end of the program. */
void finish_page(void)
{
    if (!Page.drawn)
        return;
    warn_outside();
    hold_page();
}

void end_plot(void)
{
    if (Page.wn <= 0)
        return;
    finish_page();
    kova_gclose(Page.wn);
    const int pages = Page.number;
    Page = page_state{};
    Page.number = pages;
    Pen_number = 1;
}

pid_t Page_owner = 0; /* the process that opened the page */

/* kova ends a process on SIGINT and SIGTERM through exit() with both
 * signals blocked, after it has stopped the window child: such an end
 * holds nothing. */
bool interrupted(void)
{
    sigset_t now;
    return sigprocmask(SIG_BLOCK, nullptr, &now) == 0 && sigismember(&now, SIGINT) == 1 &&
           sigismember(&now, SIGTERM) == 1;
}

/* STOP, the END of a main program and a return from main all come here
 * through exit(): a page that 999 never ended ends as 999 would end it. */
void end_at_exit(void)
{
    if (getpid() == Page_owner && !interrupted())
        end_plot();
}

/* kova registers its exit handler, which stops the window child, on its
 * first open; this one, registered after an open, runs before it. */
void end_plot_at_exit(void)
{
    static bool registered = false;
    Page_owner = getpid();
    if (!registered)
        registered = std::atexit(end_at_exit) == 0;
}

} // namespace

void warn(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::vector<char> text(256);
    int n = std::vsnprintf(text.data(), text.size(), fmt, ap);
    va_end(ap);
    if (n < 0)
        return;
    if (static_cast<size_t>(n) >= text.size()) {
        text.resize(static_cast<size_t>(n) + 1);
        va_start(ap, fmt);
        std::vsnprintf(text.data(), text.size(), fmt, ap);
        va_end(ap);
    }
    std::fprintf(stderr, "KOVA: [WARNING] %s\n", text.data());
}

bool finite(double a, double b)
{
    return std::isfinite(a) && std::isfinite(b);
}

bool page_open(void)
{
    if (Page.wn > 0)
        return true;
    const page_size &s = chosen_size();
    /* A page larger than the screen, such as a long strip of roll paper,
     * gets scrollbars. */
    int depth, screen_width, screen_height, page = KOVA_ATTR_Y_UP;
    if (kova_ggetdisplayinfo(&depth, &screen_width, &screen_height) == 0 &&
        (s.width > screen_width || s.height > screen_height))
        page |= KOVA_ATTR_SCROLLBARS;
    const int attributes = kova_ggetinitialattributes();
    kova_gsetinitialattributes(page, KOVA_ATTR_Y_UP | KOVA_ATTR_SCROLLBARS);
    int wn = kova_gopen(s.width, s.height);
    kova_gsetinitialattributes(attributes, ~0);
    if (wn <= 0)
        return false;
    Page.wn = wn;
    end_plot_at_exit();
    const double ppi = pixels_per_inch(s);
    kova_coordinate(wn, 0, 0, 0.0, 0.0, ppi, ppi);
    kova_gsetbgcolor(wn, "white");
    begin_page();
    return true;
}

point to_page(double x, double y)
{
    return {Page.origin.x + x * Page.factor, Page.origin.y + y * Page.factor};
}

bool page_point(double x, double y, point &p)
{
    p = to_page(x, y);
    if (finite(x, y) && finite(p.x, p.y))
        return true;
    warn("Invalid point (%g, %g) ignored.", x, y);
    return false;
}

void stroke(const point *p, int n)
{
    if (n < 2 || !page_open())
        return;
    /* Kept from stroke to stroke: a PLOT step allocates nothing. */
    static std::vector<double> x, y;
    x.clear();
    y.clear();
    for (int i = 0; i < n; i++) {
        x.push_back(p[i].x);
        y.push_back(p[i].y);
        Page.low = {std::fmin(Page.low.x, p[i].x), std::fmin(Page.low.y, p[i].y)};
        Page.high = {std::fmax(Page.high.x, p[i].x), std::fmax(Page.high.y, p[i].y)};
    }
    kova_drawlines(Page.wn, x.data(), y.data(), n);
    Page.drawn = true;
}

one_flush::one_flush() : held_(kova_ggetnonflush())
{
    kova_gsetnonflush(1);
}

one_flush::~one_flush()
{
    kova_gsetnonflush(held_);
    if (!held_)
        kova_gflush();
}

void pen_to(point p, bool down)
{
    if (down) {
        const point line[2] = {Page.pen, p};
        stroke(line, 2);
    }
    Page.pen = p;
}

} // namespace plotter

using namespace plotter;

PLOTTER_ENTRY void plotpage_(int *width, int *height, float *xinches, float *yinches)
{
    page_size s{*width, *height, *xinches, *yinches};
    if (!valid_size(s)) {
        warn("Invalid page size %dx%d pixels for %gx%g inches ignored.", s.width, s.height,
             s.xinches, s.yinches);
        return;
    }
    if (Page.wn > 0) {
        warn("The page is open: its size stays until the plot ends.");
        return;
    }
    Size = s;
    Size_chosen = true;
}

PLOTTER_ENTRY void plots_(void)
{
    if (Page.wn <= 0) {
        page_open();
        return;
    }
    finish_page();
    Page.origin = {0, 0};
    Page.factor = 1.0;
    Page.pen = {0, 0};
    Pen_number = 1;
    begin_page();
}

PLOTTER_ENTRY void plot_(float *x, float *y, int *ipen)
{
    const int code = *ipen;
    if (code == 999) {
        end_plot();
        return;
    }
    if (code != 2 && code != 3 && code != -2 && code != -3) {
        warn("Invalid pen code %d ignored.", code);
        return;
    }
    point p;
    if (!page_point(*x, *y, p) || !page_open())
        return;
    pen_to(p, code == 2 || code == -2);
    if (code < 0)
        Page.origin = p;
}

PLOTTER_ENTRY void factor_(float *fct)
{
    if (!(std::isfinite(*fct) && *fct > 0)) {
        warn("Invalid factor %g ignored; the factor stays %g.", *fct, Page.factor);
        return;
    }
    Page.factor = *fct;
}

PLOTTER_ENTRY void where_(float *x, float *y, float *fct)
{
    *x = static_cast<float>((Page.pen.x - Page.origin.x) / Page.factor);
    *y = static_cast<float>((Page.pen.y - Page.origin.y) / Page.factor);
    *fct = static_cast<float>(Page.factor);
}

PLOTTER_ENTRY void newpen_(int *ipen)
{
    const int n = *ipen;
    if (n < 0) {
        warn("Invalid pen %d ignored.", n);
        return;
    }
    Pen_number = n <= Last_pen ? n : (n - 1) % Last_pen + 1;
    if (Page.wn > 0)
        set_pen();
}
