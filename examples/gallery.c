/*
 * gallery.c - draws the pictures of the README's gallery and saves each
 * with kova's own image saving, through a PNG converter.
 *
 *   gallery DIR [CONVERTER]      (CONVERTER: "pnmtopng" by default)
 *
 * doc/make-gallery.sh runs it on a private X server.
 */
#include <kova.h>

#include <math.h>
#include <stdio.h>

#define W 320
#define H 240

static const char *Dir, *Conv;

/* The whole canvas of layer `layer` to DIR/NAME.png; waits until done. */
static void save(int win, int layer, const char *name)
{
    kova_window(win, 0, 0, W - 1, H - 1); /* the corners are user points */
    kova_gsaveimage(win, layer, 0, 0, W - 1, H - 1, Conv, 256, "%s/%s.png", Dir, name);
    kova_pset(win, -10, -10); /* any drawing waits for the save to end */
}

static int open_page(const char *bg)
{
    kova_gsetinitialbgcolor("%s", bg);
    return kova_gopen(W, H);
}

/* Symbols and arrows: the marker shapes in a row, arrows of every head. */
static void symbols_and_arrows(void)
{
    int win = open_page("white");
    int t, s;
    for (t = 1; t <= 9; t++) {
        kova_newhsvcolor(win, t * 36, 255, 200);
        kova_drawsym(win, 32 * t, 200, 14, t);
    }
    for (s = 0; s < 8; s++) {
        kova_newhsvcolor(win, s * 45, 255, 180);
        kova_drawarrow(win, 30 + 36 * s, 40, 30 + 36 * s, 150, 16, 10, 10 + s + 1);
    }
    save(win, 0, "symbols");
    kova_gclose(win);
}

/* Text: fixed font sizes, a font set, and text turned about one point. */
static void text(void)
{
    int win = open_page("#10243c");
    int size, y = 220, angle;
    kova_newcolor(win, "gold");
    for (size = 8; size <= 24; size += 4, y -= 34)
        kova_drawstr(win, 12, y, size, 0, "size %d", size);
    kova_newcolor(win, "white");
    kova_drawstr(win, 12, 30, 0, 0, "a font set: %s", "the default one");
    for (angle = 0; angle <= 90; angle += 30) { /* about the white dot */
        kova_newhsvcolor(win, 160 + angle, 120, 255);
        kova_drawstr(win, 150, 70, 14, angle, "   turned %d degrees", angle);
    }
    kova_newpen(win, 1);
    kova_fillcirc(win, 150, 70, 2, 2);
    kova_newcolor(win, "gold");
    kova_drawstr(win, 300, 225, 0, -90.0, "and downward");
    save(win, 0, "text");
    kova_gclose(win);
}

/* Layers: a curve drawn into hidden layer 1, shown over a grid in layer 0
 * copied beneath it. */
static void layers(void)
{
    int win = open_page("white");
    double x;
    int i;
    kova_window(win, 0, -1.2, 2 * M_PI, 1.2);
    kova_newcolor(win, "gray80");
    for (i = 0; i <= 12; i++)
        kova_drawline(win, i * M_PI / 6, -1.2, i * M_PI / 6, 1.2);
    kova_layer(win, 0, 1);
    kova_copylayer(win, 0, 1);
    kova_newlinewidth(win, 3);
    kova_newcolor(win, "firebrick");
    kova_moveto(win, 0, 0);
    for (x = 0; x <= 2 * M_PI; x += 0.02)
        kova_lineto(win, x, sin(x) * cos(3 * x));
    kova_layer(win, 1, 1);
    save(win, 1, "layers");
    kova_gclose(win);
}

/* An animation frame: each frame drawn into the hidden layer, then shown. */
static void animation(void)
{
    int win = open_page("black");
    int frame, k;
    for (frame = 0; frame < 30; frame++) {
        int hidden = 1 + frame % 2;
        kova_layer(win, 3 - hidden, hidden);
        kova_gclr(win);
        for (k = 0; k < 12; k++) {
            double a = (frame * 4 + k * 30) * M_PI / 180;
            kova_newhsvcolor(win, k * 30, 220, 255);
            kova_fillcirc(win, W / 2 + 90 * cos(a), H / 2 + 90 * sin(a), 12, 12);
        }
        kova_layer(win, hidden, hidden);
    }
    save(win, 1 + 29 % 2, "animation");
    kova_gclose(win);
}

/* A scrolled canvas: a pattern moved by scrolling the layer inside the
 * server, the uncovered strip cleared. */
static void scrolled(void)
{
    int win = open_page("white");
    int i;
    for (i = 0; i < 16; i++) {
        kova_newhsvcolor(win, i * 22, 200, 230);
        kova_fillrect(win, i * 20, 0, 20, H);
    }
    kova_gscroll(win, 60, 40, 1);
    kova_newcolor(win, "black");
    kova_drawrect(win, 0, 0, W - 1, H - 1);
    save(win, 0, "scrolled");
    kova_gclose(win);
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fputs("usage: gallery DIR [CONVERTER]\n", stderr);
        return 2;
    }
    Dir = argv[1];
    Conv = argc > 2 ? argv[2] : "pnmtopng";
    kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
    symbols_and_arrows();
    text();
    layers();
    animation();
    scrolled();
    kova_gcloseall();
    return 0;
}
