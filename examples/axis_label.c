/* axis_label.c - a plot whose labels are measured to fit: tick labels set
 * flush against the y axis, the axes' names centred, the y axis's name
 * turned to read upward beside the widest tick label.  The window's units
 * are pixels with the y axis upward; three seconds to look at it. */
#include <kova.h>
#include <math.h>

#define W 480
#define H 360
#define SIZE 14 /* a fixed font of 14 pixels */

/* The plotting area, in pixels from the bottom-left corner. */
static const double Left = 90, Right = W - 20, Bottom = 70, Top = H - 20;

static double px(double degrees) { return Left + (Right - Left) * degrees / 360.0; }
static double py(double v) { return Bottom + (Top - Bottom) * (v + 1.0) / 2.0; }

int main(void)
{
    int win = kova_gopen(W, H), i;
    double w, h, widest = 0;
    kova_window(win, 0, 0, W - 1, H - 1);
    kova_newpen(win, 1);
    kova_drawrect(win, Left, Bottom, Right - Left, Top - Bottom);

    for (i = -2; i <= 2; i++) { /* the y axis: -1 to 1 */
        double v = i / 2.0;
        kova_drawline(win, Left - 5, py(v), Left, py(v));
        kova_gettextextent(win, SIZE, &w, &h, "%.1f", v);
        kova_drawstr(win, Left - 8 - w, py(v) - h / 3, SIZE, 0.0, "%.1f", v);
        if (w > widest)
            widest = w;
    }
    for (i = 0; i <= 360; i += 90) { /* the x axis: 0 to 360 degrees */
        kova_drawline(win, px(i), Bottom - 5, px(i), Bottom);
        kova_gettextextent(win, SIZE, &w, &h, "%d", i);
        kova_drawstr(win, px(i) - w / 2, Bottom - 8 - h, SIZE, 0.0, "%d", i);
    }

    /* The axes' names: centred on their axes, beyond the tick labels.  Turned
     * by 90 degrees a text reads upward from its point, its letters standing
     * to the left of it. */
    kova_gettextextent(win, SIZE, &w, &h, "phase [degrees]");
    kova_drawstr(win, (Left + Right - w) / 2, Bottom - 16 - 2 * h, SIZE, 0.0, "phase [degrees]");
    kova_gettextextent(win, SIZE, &w, &h, "amplitude [V]");
    kova_drawstr(win, Left - 14 - widest, (Bottom + Top - w) / 2, SIZE, 90.0, "amplitude [V]");

    kova_newcolor(win, "orange");
    kova_moveto(win, px(0), py(0));
    for (i = 1; i <= 360; i++)
        kova_lineto(win, px(i), py(sin(i * M_PI / 180.0)));

    kova_msleep(3000);
    kova_gclose(win);
    return 0;
}
