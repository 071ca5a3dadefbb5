/*
 * colour.cpp - colour names and intensities to pixel values for the one
 * visual all windows share.  On 8-bit displays cells are allocated through
 * a process-wide cache; on other depths the pixel is composed directly
 * from the channel masks.
 */
#include "kova_private.h"

#include <cstdio>

/* A channel wider than its source is filled from the top, the missing low
 * bits copied from the high ones, so that full intensity stays full. */
static unsigned long scale_channel(unsigned int value, int bits_in, int depth, int shift)
{
    unsigned long v;
    if (depth <= bits_in) {
        v = value >> (bits_in - depth);
    } else {
        v = 0;
        for (int have = 0; have < depth; have += bits_in)
            v = (v << bits_in) | value;
        v >>= (depth % bits_in) ? bits_in - depth % bits_in : 0;
    }
    return (v << shift) & 0xffffffffUL;
}

static unsigned long compose_pixel(unsigned int r, unsigned int g, unsigned int b, int bits_in)
{
    return (scale_channel(r, bits_in, Red_depth, Red_sft) |
            scale_channel(g, bits_in, Green_depth, Green_sft) |
            scale_channel(b, bits_in, Blue_depth, Blue_sft)) & 0xffffffffUL;
}

unsigned long rgb_to_pixel(int r, int g, int b)
{
    return compose_pixel(static_cast<unsigned>(r), static_cast<unsigned>(g),
                         static_cast<unsigned>(b), 8);
}

/* The cache is keyed on the intensities asked for, not on those the server
 * granted: a server that rounds (an 8-bit DAC) would otherwise make every
 * repeat a miss, a round trip and one more entry. */
void get_colorpixel_from_cmap(Colormap cmap, XColor *color)
{
    for (int i = 0; i < Pc_ncmapcolors; i++) {
        const XColor &c = Pc_cmapcolors[i];
        if (c.red == color->red && c.green == color->green && c.blue == color->blue) {
            color->pixel = c.pixel;
            return;
        }
    }
    XColor granted = *color;
    if (!XAllocColor(Pc_dis, cmap, &granted)) {
        color->pixel = 0;
        fputs("KOVA: [WARNING] XAllocColor() failed.\n", stderr);
        return;
    }
    Pc_cmapcolors = static_cast<XColor *>(
        _kova_xrealloc(Pc_cmapcolors, sizeof(XColor) * static_cast<size_t>(Pc_ncmapcolors + 1)));
    XColor &entry = Pc_cmapcolors[Pc_ncmapcolors++];
    entry = *color;
    entry.pixel = granted.pixel;
    color->pixel = granted.pixel;
}

unsigned long get_color_pixel(const char *name)
{
    XColor c;
    if (!name || !XParseColor(Pc_dis, Pc_cmap, name, &c)) {
        fputs("KOVA: [WARNING] XParseColor() failed.\n", stderr);
        return 0;
    }
    if (Pc_depth == 8) {
        get_colorpixel_from_cmap(Pc_cmap, &c);
        return c.pixel;
    }
    return compose_pixel(c.red, c.green, c.blue, 16);
}

void free_colour_cache(void)
{
    free(Pc_cmapcolors);
    Pc_cmapcolors = nullptr;
    Pc_ncmapcolors = 0;
}
