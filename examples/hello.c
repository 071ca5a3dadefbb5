/* hello.c - the smallest kova program: a window, a filled circle, a line
 * of text, two seconds to look at it. */
#include <kova.h>

int main(void)
{
    int win = kova_gopen(400, 300); /* window 1, y axis upward */
    kova_newcolor(win, "orange");
    kova_fillcirc(win, 200, 150, 80, 80);
    kova_newpen(win, 1);
    kova_drawstr(win, 20, 20, 14, 0.0, "Hello, %s", "kova");
    kova_msleep(2000);
    kova_gclose(win);
    return 0;
}
