/* clickdraw.c - input: each click puts a dot where it lands (its button
 * picks the size), the digit keys pick the pen, q or Escape ends.  The
 * window's axes run from 0 to 4 across and 0 to 3 upward, and the click
 * positions come back in those units. */
#include <kova.h>
#include <stdio.h>

int main(void)
{
    int win = kova_gopen(400, 300);
    kova_window(win, 0.0, 0.0, 4.0, 3.0);
    kova_newpen(win, 1);
    kova_drawstr(win, 0.1, 2.8, 14, 0.0, "click to draw, 0-9 pen, q quits");
    for (;;) {
        int type, code;
        double x, y;
        /* Waits for the next key or click in any of the program's windows. */
        if (kova_ggetxpress(&type, &code, &x, &y) < 0)
            break;
        if (type == 4) {
            double r = 0.04 * code;
            kova_fillcirc(win, x, y, r, r);
            printf("button %d at (%.2f, %.2f)\n", code, x, y);
            fflush(stdout);
        } else if (code >= '0' && code <= '9') {
            kova_newpen(win, code - '0');
        } else if (code == 'q' || code == 27) {
            break;
        }
    }
    kova_gcloseall();
    return 0;
}
