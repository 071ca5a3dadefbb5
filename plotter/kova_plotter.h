/*
 * kova_plotter.h - the classic pen-plotter subroutines, drawn on a kova
 * window.  They are called from Fortran (every argument by reference);
 * this header gives their C prototypes.  A program links
 *
 *     -lkova_plotter -lkova
 *
 * so that these definitions take the place of kova's own twins of the same
 * names.  Lengths are inches on a page whose origin is its lower-left
 * corner; angles are degrees counter-clockwise.  See kova_plotter(3).
 */
#ifndef KOVA_PLOTTER_H
#define KOVA_PLOTTER_H

#if defined(__GNUC__)
#define KOVA_PLOTTER_API __attribute__((visibility("default")))
#else
#define KOVA_PLOTTER_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The page: its canvas in pixels and the inches it shows, before the first
 * plots_ (default 1024 x 768 pixels showing 11 x 8.5 inches). */
KOVA_PLOTTER_API void plotpage_(int *width, int *height, float *xinches, float *yinches);
/* Begins a page (any arguments are ignored). */
KOVA_PLOTTER_API void plots_(void);
/* ipen 3 moves, 2 draws; -3 and -2 then make (x, y) the origin; 999 ends
 * the plot. */
KOVA_PLOTTER_API void plot_(float *x, float *y, int *ipen);
KOVA_PLOTTER_API void factor_(float *fct);
KOVA_PLOTTER_API void where_(float *x, float *y, float *fct);
KOVA_PLOTTER_API void newpen_(int *ipen);
/* nchar > 0: text; nchar < 0: the INTEGER marker code in text, centred. */
KOVA_PLOTTER_API void symbol_(float *x, float *y, float *height, const char *text, float *angle,
                              int *nchar);
KOVA_PLOTTER_API void number_(float *x, float *y, float *height, float *value, float *angle,
                              int *ndec);
KOVA_PLOTTER_API void axis_(float *x, float *y, const char *title, int *nchar, float *axlen,
                            float *angle, float *firstv, float *deltav);
KOVA_PLOTTER_API void scale_(float *array, float *axlen, int *npts, int *inc);
KOVA_PLOTTER_API void line_(float *xarray, float *yarray, int *npts, int *inc, int *lintyp,
                            int *inteq);

#ifdef __cplusplus
}
#endif

#endif /* KOVA_PLOTTER_H */
