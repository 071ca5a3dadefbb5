/*
 * colour.cpp - colour names and intensities to pixel values for the one
 * visual all windows share.  On 8-bit displays cells are allocated through
 * a process-wide cache, and once the colormap is full the nearest of its
 * cells is given; on other depths the pixel is composed directly from the
 * channel masks.
 */
#include "kova_private.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

/* Colour names as the server parsed them on this connection, the names it
 * did not know among them: a program that sets its pen by name before
 * every primitive would otherwise wait for the server at each call.
 * Specifications beginning with '#' never reach the server (Xlib reads
 * them itself) and are not kept; names beyond the limit are asked for
 * each time, as before, so that names made up in a loop cannot grow the
 * list without end. */
struct parsed_name {
    std::string name;
    XColor colour;
    bool known;
};
std::vector<parsed_name> Parsed_names;
constexpr size_t Parsed_names_limit = 256;

bool parse_colour(const char *name, XColor *c)
{
    if (name[0] == '#')
        return XParseColor(Pc_dis, Pc_cmap, name, c) != 0;
    for (const parsed_name &p : Parsed_names)
        if (p.name == name) {
            *c = p.colour;
            return p.known;
        }
    const bool known = XParseColor(Pc_dis, Pc_cmap, name, c) != 0;
    if (Parsed_names.size() < Parsed_names_limit)
        without_exceptions([&] { Parsed_names.push_back({name, known ? *c : XColor{}, known}); });
    return known;
}

} // namespace

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

unsigned long colour_pixel(int r, int g, int b)
{
    if (Pc_depth != 8)
        return rgb_to_pixel(r, g, b);
    XColor c;
    c.red = static_cast<unsigned short>(r << 8);
    c.green = static_cast<unsigned short>(g << 8);
    c.blue = static_cast<unsigned short>(b << 8);
    c.flags = DoRed | DoGreen | DoBlue;
    get_colorpixel_from_cmap(Pc_cmap, &c);
    return c.pixel;
}

/* Closeness of two colours as the eye judges it, from their 8-bit
 * components: squared differences weighted by the mean red of the pair. */
static long colour_distance(const XColor &a, const XColor &b)
{
    const long r1 = a.red >> 8, r2 = b.red >> 8;
    const long dr = r1 - r2, dg = (a.green >> 8) - (b.green >> 8),
               db = (a.blue >> 8) - (b.blue >> 8);
    const long red_mean = (r1 + r2) / 2;
    return (((512 + red_mean) * dr * dr) >> 8) + 4 * dg * dg + (((767 - red_mean) * db * db) >> 8);
}

/* The colormap has no free cell: from now on the cache holds every cell as
 * the server shows it, and requests are answered from there. */
static void learn_full_colormap(Colormap cmap)
{
    static bool warned = false;  /* once in the life of the process */
    if (!warned) {
        warned = true;
        _kova_warn("XAllocColor() failed. The colormap is full: the nearest colours are used "
                   "from now on.");
    }
    const int cells = Pc_visual ? Pc_visual->map_entries : 0;
    Pc_cmapcolors = static_cast<XColor *>(
        _kova_xrealloc(Pc_cmapcolors, sizeof(XColor) * static_cast<size_t>(cells > 0 ? cells : 1)));
    for (int i = 0; i < cells; i++)
        Pc_cmapcolors[i].pixel = static_cast<unsigned long>(i);
    if (cells > 0)
        XQueryColors(Pc_dis, cmap, Pc_cmapcolors, cells);
    Pc_ncmapcolors = cells;
    Pc_cmapfull = -1;
}

/* The first of the nearest cells; pixel 0 when there is none. */
static unsigned long nearest_cell(const XColor &color)
{
    unsigned long pixel = 0;
    long best = -1;
    for (int i = 0; i < Pc_ncmapcolors && best != 0; i++) {
        const long d = colour_distance(Pc_cmapcolors[i], color);
        if (best < 0 || d < best) {
            best = d;
            pixel = Pc_cmapcolors[i].pixel;
        }
    }
    return pixel;
}

/* The cache is keyed on the intensities asked for, not on those the server
 * granted: a server that rounds (an 8-bit DAC) would otherwise make every
 * repeat a miss, a round trip and one more entry. */
void get_colorpixel_from_cmap(Colormap cmap, XColor *color)
{
    if (Pc_cmapfull) {
        color->pixel = nearest_cell(*color);
        return;
    }
    for (int i = 0; i < Pc_ncmapcolors; i++) {
        const XColor &c = Pc_cmapcolors[i];
        if (c.red == color->red && c.green == color->green && c.blue == color->blue) {
            color->pixel = c.pixel;
            return;
        }
    }
    XColor granted = *color;
    if (!XAllocColor(Pc_dis, cmap, &granted)) {
        learn_full_colormap(cmap);
        color->pixel = nearest_cell(*color);
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
    if (!name || !parse_colour(name, &c)) {
        _kova_warn("XParseColor() failed.");
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
    Pc_cmapfull = 0;
    std::vector<parsed_name>().swap(Parsed_names);
}
