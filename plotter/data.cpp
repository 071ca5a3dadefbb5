/*
 * data.cpp - data arrays on the page: SCALE finds a starting value and a
 * step per inch that fit the data onto an axis, and stores them after the
 * data; LINE draws the data through that scaling pair.
 */
#include "plotter.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace plotter {

namespace {

/* Steps per inch that read well: 1, 2, 4, 5 and 8 times a power of ten. */
constexpr double Nice[] = {1, 2, 4, 5, 8, 10};
constexpr double Line_marker_height = 0.08;

struct axis_scale {
    double first, step;
};

axis_scale nice_scale(double lo, double hi, double length, bool descending)
{
    double span = (hi - lo) / length;
    if (!(span > 0))
        span = (lo == 0 ? 1 : std::fabs(lo)) / length;
    const double slack = 1e-6;
    double power = std::pow(10.0, std::floor(std::log10(span)));
    for (int decade = 0; decade < 3; decade++, power *= 10) {
        for (double m : Nice) {
            const double d = m * power;
            if (d < span * (1 - slack))
                continue;
            if (descending) {
                const double first = std::ceil(hi / d - slack) * d;
                if (first - d * length <= lo + slack * d)
                    return {first, -d};
            } else {
                const double first = std::floor(lo / d + slack) * d;
                if (first + d * length >= hi - slack * d)
                    return {first, d};
            }
        }
    }
    return descending ? axis_scale{hi, -span} : axis_scale{lo, span};
}

} // namespace

} // namespace plotter

using namespace plotter;

/* A negative inc scales downward: the largest value first. */
PLOTTER_ENTRY void scale_(float *array, float *axlen, int *npts, int *inc)
{
    const long n = *npts, k = std::labs(static_cast<long>(*inc));
    if (n < 1 || k == 0 || !std::isfinite(*axlen) || *axlen <= 0) {
        warn("Invalid scale of %d points every %d for %g inches ignored.", *npts, *inc, *axlen);
        return;
    }
    double lo = INFINITY, hi = -INFINITY;
    for (long i = 0; i < n; i++) {
        const double v = array[i * k];
        if (std::isfinite(v)) {
            lo = std::fmin(lo, v);
            hi = std::fmax(hi, v);
        }
    }
    if (lo > hi) {
        warn("No finite value to scale.");
        return;
    }
    const axis_scale s = nice_scale(lo, hi, *axlen, *inc < 0);
    array[n * k] = static_cast<float>(s.first);
    array[n * k + k] = static_cast<float>(s.step);
}

/* lintyp 0 draws lines only; n > 0 lines and the marker inteq at every
 * n-th point; n < 0 the markers only.  Points that are not numbers break
 * the line. */
PLOTTER_ENTRY void line_(float *xarray, float *yarray, int *npts, int *inc, int *lintyp,
                         int *inteq)
{
    const long n = *npts, k = *inc;
    if (n < 1 || k < 1) {
        warn("Invalid line of %d points every %d ignored.", *npts, *inc);
        return;
    }
    const double x0 = xarray[n * k], dx = xarray[n * k + k];
    const double y0 = yarray[n * k], dy = yarray[n * k + k];
    if (!finite(x0, dx) || !finite(y0, dy) || dx == 0 || dy == 0) {
        warn("Invalid scaling (%g, %g), (%g, %g) ignored.", x0, dx, y0, dy);
        return;
    }
    if (!page_open())
        return;
    const one_flush batch;
    const long every = std::labs(static_cast<long>(*lintyp));
    const bool lines = *lintyp >= 0;
    std::vector<point> run;
    bool known = true;
    for (long i = 0; i < n; i++) {
        const point p = to_page((xarray[i * k] - x0) / dx, (yarray[i * k] - y0) / dy);
        if (!finite(p.x, p.y)) {
            stroke(run.data(), static_cast<int>(run.size()));
            run.clear();
            continue;
        }
        if (lines)
            run.push_back(p);
        if (every && i % every == 0)
            known = draw_marker(p, page_length(Line_marker_height), 0, *inteq) && known;
        Page.pen = p;
    }
    stroke(run.data(), static_cast<int>(run.size()));
    if (!known)
        warn("Invalid symbol code %d ignored.", *inteq);
}
