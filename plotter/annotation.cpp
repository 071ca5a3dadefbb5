/*
 * annotation.cpp - text, numbers, marker symbols and axes.  Heights and
 * lengths are the program's inches, scaled by the factor like every
 * coordinate.  Each leaves the pen where its drawing ended, and x or y
 * given as 999. continues from the pen, wherever PLOT, a text, a marker,
 * an axis or a line left it.
 */
#include "plotter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace plotter {

std::string text_argument(const char *text, int nchar)
{
    if (!text || nchar <= 0)
        return {};
    const void *nul = std::memchr(text, '\0', static_cast<size_t>(nchar));
    size_t n = nul ? static_cast<size_t>(static_cast<const char *>(nul) - text)
                   : static_cast<size_t>(nchar);
    return std::string(text, n);
}

std::string number_text(double value, int ndec)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value < 0 ? "-Inf" : "Inf";
    if (ndec < -1) {
        /* REAL values stay below 10^39: a coarser rounding leaves 0. */
        const long digits = -static_cast<long>(ndec) - 1;
        value = digits > 39 ? 0.0 : std::round(value / std::pow(10.0, digits)) * std::pow(10.0, digits);
    }
    const int decimals = std::clamp(ndec, 0, 9);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    std::string s = buf;
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1);
    if (ndec == 0)
        s += '.';
    return s;
}

namespace {

/* Width of the ink of a text: its last character has no space after it. */
double ink_width(const std::string &s, double height)
{
    return s.empty() ? 0 : s.size() * height - height / 3;
}

/* Where SYMBOL and NUMBER draw: a program's coordinates, 999. continuing
 * from the pen. */
bool symbol_point(float x, float y, point &at)
{
    point p;
    if (!page_point(x, y, p))
        return false;
    at.x = x == 999.0f ? Page.pen.x : p.x;
    at.y = y == 999.0f ? Page.pen.y : p.y;
    return true;
}

bool valid_height(float height, float angle)
{
    if (std::isfinite(height) && height > 0 && std::isfinite(angle))
        return true;
    warn("Invalid height %g or angle %g ignored.", height, angle);
    return false;
}

void label(float x, float y, float height, float angle, const std::string &text)
{
    point at;
    if (!valid_height(height, angle) || !symbol_point(x, y, at) || !page_open())
        return;
    Page.pen = draw_text(at, page_length(height), angle, text);
}

void marker(float x, float y, float height, float angle, int code, bool pen_down)
{
    if (!valid_height(height, angle))
        return;
    point at;
    if (!symbol_point(x, y, at) || !page_open())
        return;
    pen_to(at, pen_down);
    if (!draw_marker(at, page_length(height), angle, code))
        warn("Invalid symbol code %d ignored.", code);
}

/* Annotation sizes of an axis, in inches before the factor. */
constexpr double Tick = 0.07, Value_height = 0.105, Title_height = 0.14;
constexpr double Value_gap = 0.1, Title_gap = 0.08, Max_axis = 10000;

/* The power of ten taken out of an axis's values when they are too large
 * or too small to read with two decimals; 0 when none is. */
int axis_exponent(double first, double last)
{
    const double m = std::max(std::fabs(first), std::fabs(last));
    if (m >= 1000 || (m > 0 && m < 0.01))
        return static_cast<int>(std::floor(std::log10(m)));
    return 0;
}

} // namespace

} // namespace plotter

using namespace plotter;

/* A negative count makes the text an INTEGER marker code: -1 moves there
 * with the pen up, -2 and below with the pen down. */
PLOTTER_ENTRY void symbol_(float *x, float *y, float *height, const char *text, float *angle,
                           int *nchar)
{
    const int n = *nchar;
    if (n < 0) {
        int code = -1;
        if (text)
            std::memcpy(&code, text, sizeof code);
        marker(*x, *y, *height, *angle, code, n <= -2);
        return;
    }
    label(*x, *y, *height, *angle, text_argument(text, n == 0 ? 1 : n));
}

PLOTTER_ENTRY void number_(float *x, float *y, float *height, float *value, float *angle,
                           int *ndec)
{
    label(*x, *y, *height, *angle, number_text(*value, *ndec));
}

/* Ticks every inch, each with its value (two decimals); the title centred
 * beyond them.  A positive count puts the annotation on the
 * counter-clockwise side (above an axis at 0 degrees, left of one at 90),
 * a negative count on the other. */
PLOTTER_ENTRY void axis_(float *x, float *y, const char *title, int *nchar, float *axlen,
                         float *angle, float *firstv, float *deltav)
{
    point start;
    if (!finite(*axlen, *angle) || !finite(*firstv, *deltav) || *axlen < 0 || *axlen > Max_axis) {
        warn("Invalid axis at (%g, %g), %g inches long, ignored.", *x, *y, *axlen);
        return;
    }
    if (!page_point(*x, *y, start) || !page_open())
        return;
    const one_flush batch;
    const double side = *nchar < 0 ? -1 : 1, f = Page.factor;
    const double a = *angle * M_PI / 180;
    const point u{std::cos(a), std::sin(a)}, up{-u.y, u.x};
    auto at = [&](double along, double across) {
        return point{start.x + (along * u.x + across * up.x) * f,
                     start.y + (along * u.y + across * up.y) * f};
    };
    const point line[2] = {at(0, 0), at(*axlen, 0)};
    stroke(line, 2);

    const int ticks = static_cast<int>(std::floor(*axlen + 1e-4));
    const double first = *firstv, step = *deltav;
    const int e = axis_exponent(first, first + ticks * step);
    const double scale = std::pow(10.0, -e);
    const double value_across = side > 0 ? Value_gap : -(Value_gap + Value_height);
    for (int i = 0; i <= ticks; i++) {
        const point tick[2] = {at(i, 0), at(i, side * Tick)};
        stroke(tick, 2);
        const std::string v = number_text((first + i * step) * scale, 2);
        draw_text(at(i - ink_width(v, Value_height) / 2, value_across), Value_height * f, *angle,
                  v);
    }

    std::string t = text_argument(title, *nchar == INT_MIN ? INT_MAX : std::abs(*nchar));
    if (e != 0)
        t += " *10**" + std::to_string(e);
    const double title_across = side > 0 ? Value_gap + Value_height + Title_gap
                                         : -(Value_gap + Value_height + Title_gap + Title_height);
    Page.pen = draw_text(at(*axlen / 2 - ink_width(t, Title_height) / 2, title_across),
                         Title_height * f, *angle, t);
}
