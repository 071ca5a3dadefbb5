/*
 * pixel_decode.h - turning the pixels of an image read from the server
 * into image buffer pixels (alpha 255, red, green, blue), the same in the
 * library (ggetimage) and in the window child (saving an area).  A
 * true-colour visual is decoded by its channel masks, anything else through
 * the colormap.
 */
#ifndef KOVA_PIXEL_DECODE_H
#define KOVA_PIXEL_DECODE_H

#include <X11/Xlib.h>

#include <cstdint>

/* Four pixels at a time: the conversions are the same shifts and masks
 * for every lane. */
typedef uint32_t u32x4 __attribute__((vector_size(16)));

constexpr bool Host_lsb_first = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

/* Bit position of byte k (0..3) of a pixel word loaded in host order. */
constexpr int byte_bits(int k) { return Host_lsb_first ? 8 * k : 8 * (3 - k); }

/* One colour channel moved between an 8-bit byte and its place in a pixel
 * value: ((p >> from) & keep) << left >> right. */
struct channel_move {
    int from;
    uint32_t keep;
    int left, right;
    template <class T>
    T operator()(T p) const
    {
        return ((p >> from) & keep) << left >> right;
    }
};

/* Where a visual keeps each channel: its bits and the shift of its lowest
 * bit; all depths 0 when the visual has no channel masks. */
struct visual_channels {
    int red_depth, green_depth, blue_depth;
    int red_shift, green_shift, blue_shift;
};

/* Decodes a w x h image read from the server into image buffer pixels at
 * out (4 * w * h bytes): by the channels when masks is true, otherwise
 * through the colormap cmap, every colour the area holds asked of the
 * server in one request. */
void decode_image(Display *dis, Colormap cmap, bool masks, const visual_channels &channels,
                  const XImage *img, int w, int h, unsigned char *out);

#endif /* KOVA_PIXEL_DECODE_H */
