/*
 * x8a - kova's demonstration program and load test.
 *
 * Opens one 1024 x 768 window and fills it with radial sweeps of lines,
 * 99,999 each of small circles, rectangles and large circles, and 99,999
 * each of Latin strings in 14- and 16-pixel font sets and of katakana
 * strings in a 48-pixel font set, then closes it.  It takes no arguments,
 * reads no input and checks no results: the library reports its own
 * failures.  The katakana render in an EUC-JP locale (e.g. LC_ALL=ja_JP.eucJP).
 *
 * Where nobody can see the screen (run-x8a.sh on a private Xvfb), the
 * environment variable X8A_PICTURE names a file that receives the last
 * frame: a PPM or PAM file written directly, any other name through
 * "convert".
 */
#include "x8a.h"

#include <kova.h>
#include <stdlib.h>
#include <string.h>

static int ends_with(const char *s, const char *tail)
{
    size_t n = strlen(s), t = strlen(tail);
    return n >= t && strcmp(s + n - t, tail) == 0;
}

static void save_picture(int win)
{
    const char *name = getenv("X8A_PICTURE");
    int plain;

    if (!name || !*name)
        return;
    plain = ends_with(name, ".ppm") || ends_with(name, ".pam");
    kova_gsaveimage(win, 0, 0.0, 0.0, X8A_WIDTH - 1.0, X8A_HEIGHT - 1.0,
                    plain ? NULL : "convert", 256, "%s", name);
}

int main(void)
{
    int win = kova_gopen(X8A_WIDTH, X8A_HEIGHT);
    double pass;

    kova_winname(win, X8A_WINDOW_NAME);
    kova_newrgbcolor(win, 100, 100, 100);

    /* The pass counter starts at 0: ten passes. */
    for (pass = 0.0; pass <= X8A_LAST_PASS; pass += 1.0)
        x8a_sweep_pass(win);

    x8a_circles(win, 10.0, X8A_LIMIT);
    x8a_rectangles(win, X8A_LIMIT);
    x8a_circles(win, 30.0, X8A_LIMIT);
    x8a_latin_strings(win, 14, X8A_LIMIT);
    x8a_latin_strings(win, 16, X8A_LIMIT);
    x8a_japanese_strings(win, X8A_LIMIT);

    save_picture(win);
    kova_gclose(win);
    return 0;
}
