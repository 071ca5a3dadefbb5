/* A newcomer's first program, built against the installed kova: a plain
 * 64 x 48 window at the screen's top-left corner, its left half red.  It
 * says "ready" and waits for a line on standard input, so that the screen
 * can be read while the window is open. */
#include <kova.h>

#include <stdio.h>

int main(void)
{
    char line[8];
    int win;
    kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
    win = kova_gopen(64, 48);
    kova_newrgbcolor(win, 255, 0, 0);
    kova_fillrect(win, 0, 0, 32, 48);
    puts("ready");
    fflush(stdout);
    if (!fgets(line, sizeof line, stdin))
        return 1;
    kova_gcloseall();
    return 0;
}
