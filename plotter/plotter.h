/*
 * plotter.h - what the plotter's source files share: the one page every
 * call draws on, and the strokes that draw on it.
 *
 * Positions inside the library are page inches, measured from the page's
 * lower-left corner; the kova window's user coordinates are those same
 * inches.  A program's own coordinates become page inches through the
 * origin and the factor (to_page).  Everything is drawn as straight
 * strokes, text included, so that any size and any angle come out alike.
 */
#ifndef PLOTTER_H
#define PLOTTER_H

#include "kova_plotter.h"

#include <cmath>
#include <string>

#define PLOTTER_ENTRY extern "C" KOVA_PLOTTER_API

namespace plotter {

struct point {
    double x, y;
};

struct page_state {
    int wn = 0;             /* the kova window, 0 while no page is open */
    int number = 0;         /* pages begun so far, in every plot */
    bool drawn = false;     /* anything drawn since the page began */
    point origin{0, 0};     /* page inches */
    double factor = 1.0;
    point pen{0, 0};        /* page inches, where the last drawing ended */
    point low{INFINITY, INFINITY}, high{-INFINITY, -INFINITY}; /* what was drawn */
};

extern page_state Page;

/* The page, opened on first use; false when it cannot be. */
bool page_open(void);
/* A program's coordinates, and lengths, in page inches. */
point to_page(double x, double y);
/* The same, false with a warning when either is not a finite number. */
bool page_point(double x, double y, point &p);
inline double page_length(double user) { return user * Page.factor; }

/* A polyline in page inches: kept on the page record as drawing. */
void stroke(const point *p, int n);
void pen_to(point p, bool down);

/* Holds kova's flushing back while it lives, then flushes once: a shape
 * of many strokes goes to the server in one write. */
class one_flush {
  public:
    one_flush();
    ~one_flush();
    one_flush(const one_flush &) = delete;
    one_flush &operator=(const one_flush &) = delete;

  private:
    int held_;
};

/* "KOVA: [WARNING] " and the message. */
void warn(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
bool finite(double a, double b);

/* Text in the library's stroke font: the lower-left corner of the first
 * character at `at`, capitals `height` tall, each character `height`
 * across; returns where the next character would begin. */
point draw_text(point at, double height, double degrees, const std::string &text);
/* Marker code (0-13, or a printable character) centred at `at` within a
 * square `height` across; false for an unknown code. */
bool draw_marker(point at, double height, double degrees, int code);
/* How a program's text arrives: nchar characters, or up to a NUL. */
std::string text_argument(const char *text, int nchar);
/* NUMBER's text of a value: ndec decimals, 0 a bare point, -1 an integer,
 * below -1 rounded to 10^(-ndec-1). */
std::string number_text(double value, int ndec);

} // namespace plotter

#endif /* PLOTTER_H */
