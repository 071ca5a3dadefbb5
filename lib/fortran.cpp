/*
 * fortran.cpp - the Fortran-callable twins: every argument by reference,
 * REAL widened to double, character arguments taken as NUL-terminated.
 * Each twin only adapts its arguments and calls the C entry point.
 */
#include "kova_private.h"

KOVA_FORTRAN void msleep_(int *ms)
{
    kova_msleep(static_cast<unsigned int>(*ms));
}

KOVA_FORTRAN void ggetdisplayinfo_(int *depth, int *root_width, int *root_height)
{
    kova_ggetdisplayinfo(depth, root_width, root_height);
}
