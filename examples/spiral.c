/* spiral.c - user coordinates, hue colours and an arrow: a spiral drawn
 * in a window whose axes run from -1 to 1. */
#include <kova.h>
#include <math.h>

int main(void)
{
    int win = kova_gopen(500, 500);
    kova_window(win, -1.0, -1.0, 1.0, 1.0);
    kova_moveto(win, 0.0, 0.0);
    for (int i = 1; i <= 720; i++) {
        double t = i * M_PI / 90.0, r = i / 760.0;
        kova_newhsvcolor(win, i % 360, 255, 255);
        kova_lineto(win, r * cos(t), r * sin(t));
    }
    kova_newpen(win, 1);
    kova_drawarrow(win, -0.9, -0.9, -0.5, -0.5, 12, 8, 16);
    kova_drawsym(win, 0.0, 0.0, 12, 4);
    kova_msleep(3000);
    kova_gcloseall();
    return 0;
}
