/*
 * heat.c - a field redrawn every step: heat spreading over a plate from
 * two hot spots and a cold one, with a colour bar (a 1 x 256 field) and
 * labelled axes.  Each frame is drawn into the hidden layer and then shown.
 *
 *   heat [PICTURE.png]     (with a name: saves the last frame through
 *                           pnmtopng and ends at once)
 */
#include <kova.h>

#include <stdio.h>

#define NX 160
#define NY 120
#define STEPS 400

static float T[NY][NX], Next[NY][NX];

/* The plate: cold, with two sources held hot and one held cold. */
static void hold_sources(void)
{
    int i, j;
    for (j = 0; j < NY; j++)
        for (i = 0; i < NX; i++) {
            int a = (i - 40) * (i - 40) + (j - 70) * (j - 70);
            int b = (i - 115) * (i - 115) + (j - 40) * (j - 40);
            int c = (i - 100) * (i - 100) + (j - 95) * (j - 95);
            if (a < 64 || b < 36)
                T[j][i] = 1.0f;
            else if (c < 25)
                T[j][i] = -1.0f;
        }
}

/* One explicit step of the heat equation, edges held at 0. */
static void diffuse(void)
{
    int i, j;
    for (j = 1; j < NY - 1; j++)
        for (i = 1; i < NX - 1; i++)
            Next[j][i] = T[j][i] + 0.24f * (T[j][i - 1] + T[j][i + 1] + T[j - 1][i] + T[j + 1][i] - 4 * T[j][i]);
    for (j = 1; j < NY - 1; j++)
        for (i = 1; i < NX - 1; i++)
            T[j][i] = Next[j][i];
    hold_sources();
}

/* Axes, their labels and the colour bar with its scale, around the plate
 * that fills x 0..16, y 0..12 in user units; the y axis's name turned to
 * read upward, centred by its measured length. */
static void frame(int win)
{
    static float bar[256];
    double w, h;
    int k;
    for (k = 0; k < 256; k++)
        bar[k] = k / 255.0f * 2 - 1;
    kova_putfieldf(win, 17, 0, 18, 12, bar, 1, 256, -1, 1, KOVA_PALETTE_DIVERGING);
    kova_newpen(win, 0);
    kova_drawrect(win, 0, 0, 16, 12);
    kova_drawrect(win, 17, 0, 1, 12);
    for (k = 0; k <= 16; k += 4) {
        kova_drawline(win, k, 0, k, -0.3);
        kova_drawstr(win, k - 0.2, -1.1, 12, 0, "%d", k);
    }
    for (k = 0; k <= 12; k += 4) {
        kova_drawline(win, 0, k, -0.3, k);
        kova_drawstr(win, -1.0, k - 0.2, 12, 0, "%d", k);
    }
    kova_drawstr(win, 18.4, 11.7, 12, 0, "+1 hot");
    kova_drawstr(win, 18.4, 5.8, 12, 0, " 0");
    kova_drawstr(win, 18.4, -0.1, 12, 0, "-1 cold");
    kova_gettextextent(win, 12, &w, &h, "x (cm)");
    kova_drawstr(win, 8 - w / 2, -2.0, 12, 0, "x (cm)");
    kova_gettextextent(win, 12, &w, &h, "y (cm)");
    kova_drawstr(win, -1.6, 6 - w / 2, 12, 90, "y (cm)");
}

int main(int argc, char **argv)
{
    int win, step, hidden = 1;
    kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
    kova_gsetinitialbgcolor("white");
    win = kova_gopen(640, 400);
    kova_window(win, -3, -3, 22, 13.5);
    hold_sources();
    for (step = 0; step < STEPS; step++) {
        int s;
        for (s = 0; s < 10; s++)
            diffuse();
        kova_layer(win, 1 - hidden, hidden);
        kova_gclr(win);
        kova_putfieldf(win, 0, 0, 16, 12, &T[0][0], NX, NY, -1, 1, KOVA_PALETTE_DIVERGING);
        frame(win);
        kova_newpen(win, 0);
        kova_drawstr(win, 0, 12.6, 12, 0, "step %d", (step + 1) * 10);
        kova_layer(win, hidden, hidden);
        hidden = 1 - hidden;
    }
    if (argc > 1) {
        kova_gsaveimage(win, 1 - hidden, -3, -3, 22, 13.5, "pnmtopng", 256, "%s", argv[1]);
        kova_pset(win, -10, -10); /* any drawing waits for the save to end */
    } else {
        kova_msleep(3000);
    }
    kova_gcloseall();
    return 0;
}
