// kova_fortran.hpp - the C view of the Fortran twins, as gfortran calls
// them (every argument by reference), for the programs that call them
// from C++.  The library keeps them out of its public header.
#pragma once

extern "C" {
void msleep_(int *ms);
void ggetdisplayinfo_(int *depth, int *root_width, int *root_height);
void gclose_(int *wn);
void gcloseall_(void);
void isnan_(float *x, int *result);
void gsetbgcolor_(int *wn, const char *colour);
void gsetinitialwinname_(const char *storename, const char *iconname, const char *resname,
                         const char *resclass);
void winname_(int *wn, const char *name);
void gsetnonflush_(int *flag);
void ggetnonflush_(int *result);
void gflush_(void);
void gsetnonblock_(int *flag);
void newwindow_(int *wn, float *xs, float *ys, float *xe, float *ye);
void window_(float *xs, float *ys, float *xe, float *ye);
void newcoordinate_(int *wn, int *xw, int *yw, float *xcen, float *ycen, float *xs, float *ys);
void vport_(void);
void setal_(void);
void newcolor_(int *wn, const char *name);
void newrgbcolor_(int *wn, int *r, int *g, int *b);
void newhsvcolor_(int *wn, int *h, int *s, int *v);
void newpen_(int *n);
void newpencolor_(int *wn, int *n);
void newlinewidth_(int *wn, int *width);
void newlinestyle_(int *wn, int *style);
void pset_(int *wn, float *x, float *y);
void drawline_(int *wn, float *x0, float *y0, float *x1, float *y1);
void line_(int *wn, float *x, float *y, int *mode);
void moveto_(int *wn, float *x, float *y);
void lineto_(int *wn, float *x, float *y);
void plot_(float *x, float *y, int *mode);
void drawpts_(int *wn, float *x, float *y, int *n);
void drawlines_(int *wn, float *x, float *y, int *n);
void drawpoly_(int *wn, float *x, float *y, int *n);
void fillpoly_(int *wn, float *x, float *y, int *n, int *shape);
void drawrect_(int *wn, float *x, float *y, float *w, float *h);
void fillrect_(int *wn, float *x, float *y, float *w, float *h);
void drawarc_(int *wn, float *xc, float *yc, float *xr, float *yr, float *s, float *e, int *d);
void fillarc_(int *wn, float *xc, float *yc, float *xr, float *yr, float *s, float *e, int *d);
void drawcirc_(int *wn, float *xcen, float *ycen, float *xrad, float *yrad);
void fillcirc_(int *wn, float *xcen, float *ycen, float *xrad, float *yrad);
void circ1_(float *xcen, float *ycen, float *r);
void arc_(float *xcen, float *ycen, float *r, float *sang, float *eang, int *idir);
void drawsyms_(int *wn, float *x, float *y, int *n, float *size, int *type);
void drawarrow_(int *wn, float *xs, float *ys, float *xt, float *yt, float *s, float *w,
                int *shape);
void arohd_(float *xs, float *ys, float *xt, float *yt, float *s, float *w, int *shape);
void drawnum_(int *wn, float *x, float *y, float *size, float *value, float *theta, int *ndec);
void number_(float *x, float *y, float *size, float *value, float *theta, int *ndec);
void symbol_(float *x, float *y, float *size, const char *text, float *theta, int *nchar);
void gettextextent_(int *wn, float *size, const char *text, int *nchar, float *width,
                    float *height);
void rtoc_(float *value, int *ndec, int *bufsize, char *buf, int *rest);
void newfontset_(int *wn, const char *names, int *status);
void gsetfontset_(int *wn, const char *names, int *status);
void layer_(int *wn, int *show, int *write);
void copylayer_(int *wn, int *src, int *dst);
void gclr_(int *wn);
void clsx_(void);
void gscroll_(int *wn, int *dx, int *dy, int *clr);
void tclr_(void);
void clsc_(void);
void selwin_(int *wn);
void putimg24_(int *wn, float *x, float *y, int *width, int *height, int *rgb);
void saveimg_(int *wn, int *layer, float *x0, float *y0, float *x1, float *y1, const char *name,
              int *nd, const char *conv, int *levels);
void gwaitsave_(int *result);
void ggetch_(int *key);
void inkeydollar_(int *key);
void ggetxpress_(int *wn, int *type, int *code, float *x, float *y);
void ggetevent_(int *wn, int *type, int *code, float *x, float *y);
void gsetscrollbarkeymask_(int *wn, int *mask);
void gsetcloseevent_(int *wn, int *on);
void putfield_(int *wn, float *x0, float *y0, float *x1, float *y1, float *z, int *nx, int *ny,
               float *zmin, float *zmax, int *palette, int *result);
}
