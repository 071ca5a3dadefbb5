/* probe X Y...: prints the pixel value at each root-window position of the
 * display named by DISPLAY, one hexadecimal number a line. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    Display *d = XOpenDisplay(NULL);
    int i;
    if (!d)
        return 2;
    for (i = 1; i + 1 < argc; i += 2) {
        XImage *img = XGetImage(d, DefaultRootWindow(d), atoi(argv[i]), atoi(argv[i + 1]), 1, 1,
                                AllPlanes, ZPixmap);
        if (!img)
            return 3;
        printf("%06lx\n", XGetPixel(img, 0, 0));
        XDestroyImage(img);
    }
    XCloseDisplay(d);
    return 0;
}
