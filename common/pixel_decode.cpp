/*
 * pixel_decode.cpp - image pixels from the server as image buffer pixels.
 */
#include "pixel_decode.h"

#include <X11/Xutil.h>

#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

/* A visual's pixel value to an image buffer pixel (alpha 255, then the
 * top 8 bits of each channel's 16-bit widening, low bits zero: a 5-bit
 * channel at 31 reads 248), as a host-order word. */
struct read_layout {
    channel_move c[3];
    uint32_t alpha;
    template <class T>
    T operator()(T p) const
    {
        return c[0](p) | c[1](p) | c[2](p) | alpha;
    }
};

channel_move read_channel(int byte, int depth, int shift)
{
    if (depth <= 0)
        return {0, 0, 0, 0};
    const int top = depth > 8 ? 8 : depth; /* bits that reach the byte */
    const int from = shift + depth - top;
    int to = byte_bits(byte) + 8 - top;
    return {from, (1u << top) - 1u, to, 0};
}

unsigned long pixel_at(const XImage *img, const unsigned char *row, int i)
{
    const int n = img->bits_per_pixel / 8;
    const unsigned char *p = row + static_cast<size_t>(i) * static_cast<size_t>(n);
    unsigned long v = 0;
    for (int b = 0; b < n; b++)
        v |= static_cast<unsigned long>(img->byte_order == MSBFirst ? p[b] : p[n - 1 - b]) << (8 * (n - 1 - b));
    return v;
}

/* One row of a 16- or 32-bit image in host byte order, four pixels at a
 * time. */
template <class T>
void read_row(const unsigned char *row, unsigned char *out, int w, const read_layout &L)
{
    typedef T tx4 __attribute__((vector_size(4 * sizeof(T))));
    int i = 0;
    for (; i + 4 <= w; i += 4) {
        tx4 p;
        std::memcpy(&p, row + sizeof(T) * i, sizeof p);
        u32x4 q = L(__builtin_convertvector(p, u32x4));
        std::memcpy(out + 4 * i, &q, sizeof q);
    }
    for (; i < w; i++) {
        T p;
        std::memcpy(&p, row + sizeof(T) * i, sizeof p);
        uint32_t q = L(static_cast<uint32_t>(p));
        std::memcpy(out + 4 * i, &q, 4);
    }
}

/* Pixel values of a colormapped visual, left in the buffer by
 * decode_image, turned into their colours.  The values the area holds are
 * gathered first and asked of the server in one request: a read waits for
 * one reply however many colours it meets.  Images come in runs of one
 * value, so each run is looked up once. */
void colours_from_colormap(Display *dis, Colormap cmap, unsigned char *out, size_t n)
{
    std::unordered_map<uint32_t, uint32_t> colour_of;
    uint32_t last = 0;
    for (size_t i = 0; i < n; i++) {
        uint32_t p;
        std::memcpy(&p, out + 4 * i, 4);
        if (i == 0 || p != last)
            colour_of.emplace(p, 0);
        last = p;
    }
    std::vector<XColor> cells;
    cells.reserve(colour_of.size());
    for (const auto &c : colour_of) {
        XColor x{};
        x.pixel = c.first;
        cells.push_back(x);
    }
    XQueryColors(dis, cmap, cells.data(), static_cast<int>(cells.size()));
    for (const XColor &c : cells) {
        const unsigned char bytes[4] = {255, static_cast<unsigned char>(c.red >> 8),
                                        static_cast<unsigned char>(c.green >> 8),
                                        static_cast<unsigned char>(c.blue >> 8)};
        std::memcpy(&colour_of[static_cast<uint32_t>(c.pixel)], bytes, 4);
    }
    uint32_t value = 0;
    for (size_t i = 0; i < n; i++) {
        uint32_t p;
        std::memcpy(&p, out + 4 * i, 4);
        if (i == 0 || p != last)
            value = colour_of[p];
        last = p;
        std::memcpy(out + 4 * i, &value, 4);
    }
}

} // namespace

void decode_image(Display *dis, Colormap cmap, bool masks, const visual_channels &c,
                  const XImage *img, int w, int h, unsigned char *out)
{
    const bool host_order = (img->byte_order == LSBFirst) == Host_lsb_first;
    const bool bytewise = img->bits_per_pixel % 8 == 0 && img->bits_per_pixel <= 32;
    const read_layout L = {{read_channel(1, c.red_depth, c.red_shift),
                            read_channel(2, c.green_depth, c.green_shift),
                            read_channel(3, c.blue_depth, c.blue_shift)},
                           0xffu << byte_bits(0)};
    unsigned char *const first = out;
    for (int j = 0; j < h; j++, out += 4 * static_cast<size_t>(w)) {
        const unsigned char *row = reinterpret_cast<const unsigned char *>(img->data) +
                                   static_cast<size_t>(j) * static_cast<size_t>(img->bytes_per_line);
        if (masks && host_order && img->bits_per_pixel == 32) {
            read_row<uint32_t>(row, out, w, L);
            continue;
        }
        if (masks && host_order && img->bits_per_pixel == 16) {
            read_row<uint16_t>(row, out, w, L);
            continue;
        }
        for (int i = 0; i < w; i++) {
            unsigned long p =
                bytewise ? pixel_at(img, row, i) : XGetPixel(const_cast<XImage *>(img), i, j);
            const uint32_t q = masks ? L(static_cast<uint32_t>(p)) : static_cast<uint32_t>(p);
            std::memcpy(out + 4 * i, &q, 4);
        }
    }
    if (!masks)
        colours_from_colormap(dis, cmap, first, static_cast<size_t>(w) * static_cast<size_t>(h));
}
