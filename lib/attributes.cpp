/*
 * attributes.cpp - settings for the next window, changes to open windows,
 * size hints and display information.
 */
#include "kova_private.h"

extern "C" KOVA_API int kova_ggetdisplayinfo(int *depth, int *root_width, int *root_height)
{
    int ok = display_setup() == 0;
    if (depth)
        *depth = ok ? Pc_depth : -1;
    if (root_width)
        *root_width = ok ? Pc_root_width : -1;
    if (root_height)
        *root_height = ok ? Pc_root_height : -1;
    return ok ? 0 : -1;
}
