/*
 * x8a_steps.c - what the demonstration program x8a draws, step by step.
 */
#include "x8a.h"

#include <kova.h>
#include <stdlib.h>

/* Components 0..254, drawn red first. */
static void random_colour(int win)
{
    int r = rand() % 255;
    int g = rand() % 255;
    int b = rand() % 255;
    kova_newrgbcolor(win, r, g, b);
}

static double random_x(void)
{
    return (double)(rand() % X8A_WIDTH);
}

static double random_y(void)
{
    return (double)(rand() % X8A_HEIGHT);
}

static void centre_line_to(int win, double x1, double y1)
{
    random_colour(win);
    kova_drawline(win, 512.0, 384.0, x1, y1);
}

void x8a_sweep_pass(int win)
{
    double x, y;

    for (x = 1.0; x < 1024.0; x += 1.0)
        centre_line_to(win, x, 1.0);
    for (y = 1.0; y < 768.0; y += 1.0)
        centre_line_to(win, 1024.0, y);
    for (x = 1.0; x < 1024.0; x += 1.0)
        centre_line_to(win, 1024.0 - x, 768.0);
    for (y = 1.0; y < 768.0; y += 1.0)
        centre_line_to(win, 0.0, 768.0 - y);
}

void x8a_circles(int win, double radius, double limit)
{
    double n;

    for (n = 1.0; n < limit; n += 1.0) {
        double x, y;
        random_colour(win);
        x = random_x();
        y = random_y();
        kova_fillcirc(win, x, y, radius, radius);
    }
}

void x8a_rectangles(int win, double limit)
{
    double n;

    for (n = 1.0; n < limit; n += 1.0) {
        double x, y;
        random_colour(win);
        x = random_x();
        y = random_y();
        kova_fillrect(win, x, y, 60.0, 30.0);
    }
}

/* The font set is asked for before every string on purpose: x8a is the
 * load test of the library's font set cache. */
void x8a_latin_strings(int win, int size, double limit)
{
    double n;

    for (n = 1.0; n < limit; n += 1.0) {
        double x, y;
        random_colour(win);
        kova_gsetfontset(win, X8A_FONTSET_PATTERN, size);
        x = random_x();
        y = random_y();
        kova_drawstr(win, x, y, 0, 0.0, X8A_LATIN_TEXT);
    }
}

void x8a_japanese_strings(int win, double limit)
{
    double n;

    for (n = 1.0; n < limit; n += 1.0) {
        int grey = (int)n % 255;
        double x, y;
        kova_newrgbcolor(win, grey, grey, grey);
        kova_gsetfontset(win, X8A_FONTSET_PATTERN, 48);
        x = random_x();
        y = random_y();
        kova_drawstr(win, x, y, 0, 0.0, X8A_JAPANESE_TEXT);
    }
}
