/*
 * pixels.cpp - moving pixels: an area of one layer into a window's write
 * layer (inside the server), a layer read back as an image buffer, and an
 * image buffer put into a window, with or without its alpha as a mask.
 *
 * Image buffers hold 4 bytes per pixel (alpha, red, green, blue), rows from
 * the top, no padding.  Puts are cut to the canvas before anything is
 * converted or sent, so the scratch buffer and the mask never exceed the
 * canvas and X coordinates stay within their 16 bits.  The scratch buffer
 * Tmp_img24buf and the mask pixmap are kept between calls and only grown.
 */
#include "kova_private.h"
#include "pixel_decode.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

/* A rectangle of canvas pixels, and where it starts in the image put. */
struct placed_area {
    int x, y, w, h;
    int ix, iy;
};

/* The part of the rectangle (x, y, w, h) that lies on the canvas; false
 * when none does. */
bool on_canvas(int wn, long long x, long long y, long long w, long long h, placed_area *a)
{
    const pc_window &win = Pc[wn];
    long long x0 = x < 0 ? 0 : x, y0 = y < 0 ? 0 : y;
    long long x1 = x + w > win.width ? win.width : x + w;
    long long y1 = y + h > win.height ? win.height : y + h;
    if (x1 <= x0 || y1 <= y0)
        return false;
    a->x = static_cast<int>(x0);
    a->y = static_cast<int>(y0);
    a->w = static_cast<int>(x1 - x0);
    a->h = static_cast<int>(y1 - y0);
    a->ix = static_cast<int>(x0 - x);
    a->iy = static_cast<int>(y0 - y);
    return true;
}

/* Top-left pixel of an area placed at the user point (x, y): the point is
 * its bottom-left pixel when the y axis points upward. */
void placement(int wn, double x, double y, int height, long long *px, long long *py)
{
    int ix, iy;
    xyconv(wn, x, y, &ix, &iy);
    *px = ix;
    *py = (Pc[wn].attributes & KOVA_ATTR_Y_UP) ? static_cast<long long>(iy) - height + 1 : iy;
}

} // namespace

XImage image_header(char *data, int width, int height, int depth, int bpp, int bytes_per_line,
                    int byte_order)
{
    XImage img;
    memset(&img, 0, sizeof img);
    img.width = width;
    img.height = height;
    img.format = depth == 1 ? XYBitmap : ZPixmap;
    img.data = data;
    img.byte_order = byte_order;
    img.bitmap_unit = depth == 1 ? 8 : bpp;
    img.bitmap_bit_order = depth == 1 ? MSBFirst : byte_order;
    img.bitmap_pad = depth == 1 ? 8 : bpp;
    img.depth = depth;
    img.bytes_per_line = bytes_per_line;
    img.bits_per_pixel = bpp;
    XInitImage(&img);
    return img;
}

namespace {

/* Sends the area's alpha to the mask pixmap as bits (set: opaque). */
void prepare_mask(const unsigned char *buf, int width, const placed_area &a)
{
    const size_t row = static_cast<size_t>(a.w + 7) / 8;
    unsigned char *bits = transfer_scratch(row * static_cast<size_t>(a.h));
    memset(bits, 0, row * static_cast<size_t>(a.h));
    for (int j = 0; j < a.h; j++) {
        const unsigned char *src =
            buf + (static_cast<size_t>(a.iy + j) * static_cast<size_t>(width) + static_cast<size_t>(a.ix)) * 4;
        unsigned char *dst = bits + row * static_cast<size_t>(j);
        for (int k = 0; k < a.w; k++)
            if (src[4 * k])
                dst[k / 8] |= static_cast<unsigned char>(0x80u >> (k % 8));
    }
    send_mask(bits, a.w, a.h);
}

/* Eight 16-bit pixel values at a time, for 16-bit screens. */
typedef uint16_t u16x8 __attribute__((vector_size(16)));

/* An image buffer pixel (alpha, red, green, blue, loaded as a host-order
 * word) to the visual's pixel value: the top bits of each channel byte
 * where the visual keeps them. */
struct put_layout {
    channel_move c[3];
    template <class T>
    T operator()(T p) const
    {
        return c[0](p) | c[1](p) | c[2](p);
    }
};

channel_move put_channel(int byte, int depth, int shift)
{
    int to = shift + depth - 8; /* where the byte's top bit goes, less 7 */
    uint32_t keep = depth >= 8 ? 0xffu : (0xffu << (8 - depth)) & 0xffu;
    return {byte_bits(byte), keep, to > 0 ? to : 0, to < 0 ? -to : 0};
}

put_layout visual_put_layout()
{
    return {{put_channel(1, Red_depth, Red_sft), put_channel(2, Green_depth, Green_sft),
             put_channel(3, Blue_depth, Blue_sft)}};
}

template <int Bytes>
void store(unsigned char *dst, uint32_t v, bool swap)
{
    if constexpr (Bytes == 2) {
        auto s = static_cast<uint16_t>(v);
        if (swap)
            s = __builtin_bswap16(s);
        memcpy(dst, &s, 2);
    } else {
        if (swap)
            v = __builtin_bswap32(v);
        memcpy(dst, &v, 4);
    }
}

/* One row of n pixels converted, stored in host order, or swapped when the
 * server wants the other. */
template <int Bytes>
void convert_row(const unsigned char *src, unsigned char *dst, int n, const put_layout &L, bool swap)
{
    int k = 0;
    if (!swap && Bytes == 4)
        for (; k + 4 <= n; k += 4) {
            u32x4 p;
            memcpy(&p, src + 4 * k, sizeof p);
            u32x4 q = L(p);
            memcpy(dst + 4 * k, &q, sizeof q);
        }
    if (!swap && Bytes == 2)
        for (; k + 8 <= n; k += 8) {
            u32x4 p[2];
            memcpy(p, src + 4 * k, sizeof p);
            /* The low halves of eight pixel values, in memory order. */
            u16x8 lo = (u16x8)L(p[0]), hi = (u16x8)L(p[1]);
            u16x8 q = Host_lsb_first ? __builtin_shufflevector(lo, hi, 0, 2, 4, 6, 8, 10, 12, 14)
                                     : __builtin_shufflevector(lo, hi, 1, 3, 5, 7, 9, 11, 13, 15);
            memcpy(dst + 2 * k, &q, sizeof q);
        }
    for (; k < n; k++) {
        uint32_t p;
        memcpy(&p, src + 4 * k, 4);
        store<Bytes>(dst + Bytes * k, L(p), swap);
    }
}

/* Puts the area of the image into d.  Where the server takes the common
 * 24-bit layout (red at bit 16, green at 8, blue at 0) most significant
 * byte first, the caller's buffer is sent as it is, its alpha falling into
 * the bits without colour.  Otherwise the pixels are converted in strips of
 * about Put_strip_bytes into the scratch buffer, in the server's byte order so
 * that Xlib passes them on unchanged: each strip goes out while it is still
 * in the processor's cache. */
void send_pixels(Drawable d, GC gc, const unsigned char *buf, int width, const placed_area &a)
{
    const size_t stride = static_cast<size_t>(width) * 4;
    const unsigned char *first = buf + static_cast<size_t>(a.iy) * stride + static_cast<size_t>(a.ix) * 4;
    const int order = ImageByteOrder(Pc_dis);
    if (Pc_depth == 24 && order == MSBFirst && Red_sft == 16 && Green_sft == 8 && Blue_sft == 0 &&
        Red_depth == 8 && Green_depth == 8 && Blue_depth == 8) {
        XImage img = image_header(reinterpret_cast<char *>(const_cast<unsigned char *>(first)), a.w,
                                  a.h, 24, 32, static_cast<int>(stride), MSBFirst);
        XPutImage(Pc_dis, d, gc, &img, 0, 0, a.x, a.y, static_cast<unsigned int>(a.w),
                  static_cast<unsigned int>(a.h));
        return;
    }
    const put_layout L = visual_put_layout();
    const int bytes = Pc_depth == 16 ? 2 : 4;
    const bool swap = (order == LSBFirst) != Host_lsb_first;
    const size_t out_row = static_cast<size_t>(a.w) * static_cast<size_t>(bytes);
    const int rows = static_cast<int>(std::min<size_t>(static_cast<size_t>(a.h), std::max<size_t>(1, Put_strip_bytes / out_row)));
    unsigned char *out = transfer_scratch(out_row * static_cast<size_t>(rows));
    for (int j0 = 0; j0 < a.h; j0 += rows) {
        const int n = std::min(rows, a.h - j0);
        for (int j = 0; j < n; j++) {
            const unsigned char *src = first + static_cast<size_t>(j0 + j) * stride;
            unsigned char *dst = out + out_row * static_cast<size_t>(j);
            if (bytes == 2)
                convert_row<2>(src, dst, a.w, L, swap);
            else
                convert_row<4>(src, dst, a.w, L, swap);
        }
        put_rows(d, gc, out, a.x, a.y + j0, a.w, n, bytes);
    }
}

int put_image(int wn, double x, double y, int width, int height, const unsigned char *buf,
              bool masked)
{
    if (!window_is_open(wn) || Pc_depth < 16)
        return -1;
    if (width <= 0 || height <= 0)
        return 0;
    size_t bytes;
    if (!buf || !image_size_fits(width, height, masked ? "putimg24m" : "putimg24", &bytes))
        return -1;
    long long px, py;
    placement(wn, x, y, height, &px, &py);
    placed_area a;
    if (!on_canvas(wn, px, py, width, height, &a))
        return 0;
    if (masked)
        prepare_mask(buf, width, a);
    put_to_write_layer(wn, [&](Drawable d, GC gc) {
        if (masked)
            through_mask(gc, a.x, a.y, [&] { send_pixels(d, gc, buf, width, a); });
        else
            send_pixels(d, gc, buf, width, a);
    });
    return 0;
}

/* The fetched image as image buffer pixels. */
void read_pixels(XImage *img, int w, int h, unsigned char *out)
{
    const bool masks = Pc_depth > 15 && (Red_depth || Green_depth || Blue_depth);
    const visual_channels channels = {Red_depth, Green_depth, Blue_depth,
                                      Red_sft,   Green_sft,   Blue_sft};
    without_exceptions([&] { decode_image(Pc_dis, Pc_cmap, masks, channels, img, w, h, out); });
}

} // namespace

unsigned char *transfer_scratch(size_t n)
{
    if (n > Sz_tmp_img24buf) {
        Tmp_img24buf = static_cast<unsigned char *>(_kova_xrealloc(Tmp_img24buf, n));
        Sz_tmp_img24buf = n;
    }
    return Tmp_img24buf;
}

void send_mask(const unsigned char *bits, int w, int h)
{
    if (w > Pix_mask_width || h > Pix_mask_height) {
        if (Pix_mask_width > 0) {
            XFreeGC(Pc_dis, Gc_pix_mask);
            XFreePixmap(Pc_dis, Pix_mask);
        }
        Pix_mask = XCreatePixmap(Pc_dis, RootWindow(Pc_dis, DefaultScreen(Pc_dis)),
                                 static_cast<unsigned int>(w), static_cast<unsigned int>(h), 1);
        XGCValues v;
        v.foreground = 1;
        v.background = 0;
        v.graphics_exposures = False;
        Gc_pix_mask = XCreateGC(Pc_dis, Pix_mask, GCForeground | GCBackground | GCGraphicsExposures, &v);
        Pix_mask_width = w;
        Pix_mask_height = h;
    }
    XImage img = image_header(reinterpret_cast<char *>(const_cast<unsigned char *>(bits)), w, h, 1, 1,
                              (w + 7) / 8, MSBFirst);
    XPutImage(Pc_dis, Pix_mask, Gc_pix_mask, &img, 0, 0, 0, 0, static_cast<unsigned int>(w),
              static_cast<unsigned int>(h));
}

void put_rows(Drawable d, GC gc, const unsigned char *rows, int x, int y, int w, int n, int bytes)
{
    /* Image depth: the drawable's, which a put must match. */
    XImage img = image_header(reinterpret_cast<char *>(const_cast<unsigned char *>(rows)), w, n,
                              Pc_depth, 8 * bytes, w * bytes, ImageByteOrder(Pc_dis));
    XPutImage(Pc_dis, d, gc, &img, 0, 0, x, y, static_cast<unsigned int>(w), static_cast<unsigned int>(n));
}

bool image_size_fits(int width, int height, const char *where, size_t *bytes, int pixel_bytes)
{
    size_t n;
    if (width > INT_MAX / pixel_bytes ||
        __builtin_mul_overflow(static_cast<size_t>(width) * static_cast<size_t>(pixel_bytes),
                               static_cast<size_t>(height), &n)) {
        _kova_error("Image size %dx%d too large at %s()", width, height, where);
        return false;
    }
    *bytes = n;
    return true;
}

void cnv_2p_to_pwh(int wn, double x0, double y0, double x1, double y1, int *px, int *py, int *pw,
                   int *ph)
{
    const pc_window &w = Pc[wn];
    int xa, ya, xb, yb;
    xyconv(wn, x0, y0, &xa, &ya);
    xyconv(wn, x1, y1, &xb, &yb);
    auto clamp = [](int v, int size) { return v >= size ? size - 1 : v < 0 ? 0 : v; };
    xa = clamp(xa, w.width);
    xb = clamp(xb, w.width);
    ya = clamp(ya, w.height);
    yb = clamp(yb, w.height);
    *px = xa < xb ? xa : xb;
    *py = ya < yb ? ya : yb;
    *pw = (xa < xb ? xb - xa : xa - xb) + 1;
    *ph = (ya < yb ? yb - ya : ya - yb) + 1;
}

extern "C" KOVA_API void kova_gputarea(int wn, double x, double y, int src_wn, int src_layer,
                                       double xs0, double ys0, double xs1, double ys1)
{
    if (!window_is_open(wn) || !window_is_open(src_wn))
        return;
    if (!layer_exists(src_wn, src_layer)) {
        _kova_error("Invalid layer index at gputarea()");
        return;
    }
    int sx, sy, sw, sh;
    cnv_2p_to_pwh(src_wn, xs0, ys0, xs1, ys1, &sx, &sy, &sw, &sh);
    long long dx, dy;
    placement(wn, x, y, sh, &dx, &dy);
    wait_child();
    pc_window &w = Pc[wn];
    const pc_window &src = Pc[src_wn];
    Pixmap source = src.layers[src_layer];
    /* Read and written in one pixmap, overlapping parts would be copied
     * from pixels already overwritten: take the area out first. */
    if (src_wn == wn && src_layer == w.write_layer) {
        if (!w.scroll_pixmap)
            w.scroll_pixmap = create_layer(wn);
        tile_fill(wn, source, w.scroll_pixmap, sx, sy, sw, sh);
        source = w.scroll_pixmap;
    }
    XGCValues v;
    v.fill_style = FillTiled;
    v.fill_rule = WindingRule;
    v.tile = source;
    v.ts_x_origin = tile_origin(dx - sx, src.width);
    v.ts_y_origin = tile_origin(dy - sy, src.height);
    XChangeGC(Pc_dis, w.pen_gc, GCFillStyle | GCFillRule | GCTile | GCTileStipXOrigin | GCTileStipYOrigin, &v);
    placed_area a;
    if (on_canvas(wn, dx, dy, sw, sh, &a) &&
        X_FillRectangle(Pc_dis, wn, a.x, a.y, static_cast<unsigned int>(a.w), static_cast<unsigned int>(a.h)))
        do_auto_flush();
    v.fill_style = FillSolid;
    v.ts_x_origin = v.ts_y_origin = 0;
    XChangeGC(Pc_dis, w.pen_gc, GCFillStyle | GCTileStipXOrigin | GCTileStipYOrigin, &v);
}

extern "C" KOVA_API unsigned char *kova_ggetimage(int wn, int layer, double xs0, double ys0,
                                                 double xs1, double ys1, int *r_width, int *r_height)
{
    if (!window_is_open(wn))
        return nullptr;
    if (!layer_exists(wn, layer)) {
        _kova_error("Invalid layer index at ggetimage()");
        return nullptr;
    }
    int x, y, w, h;
    cnv_2p_to_pwh(wn, xs0, ys0, xs1, ys1, &x, &y, &w, &h);
    size_t bytes;
    if (!image_size_fits(w, h, "ggetimage", &bytes))
        return nullptr;
    wait_child();
    /* No synchronisation first: the server answers in order, so the image
     * already shows every request sent before it. */
    XImage *img = XGetImage(Pc_dis, Pc[wn].layers[layer], x, y, static_cast<unsigned int>(w),
                            static_cast<unsigned int>(h), AllPlanes, ZPixmap);
    if (!img) {
        _kova_error("The server returned no image at ggetimage()");
        return nullptr;
    }
    auto *out = static_cast<unsigned char *>(_kova_xmalloc(bytes));
    read_pixels(img, w, h, out);
    XDestroyImage(img);
    if (r_width)
        *r_width = w;
    if (r_height)
        *r_height = h;
    return out;
}

extern "C" KOVA_API int kova_putimg24(int wn, double x, double y, int width, int height,
                                      const unsigned char *buf)
{
    return put_image(wn, x, y, width, height, buf, false);
}

extern "C" KOVA_API int kova_putimg24m(int wn, double x, double y, int width, int height,
                                       const unsigned char *buf)
{
    return put_image(wn, x, y, width, height, buf, true);
}

extern "C" KOVA_API int kova_gputimage(int wn, double x, double y, const unsigned char *buf,
                                       int width, int height, int msk)
{
    return msk ? kova_putimg24m(wn, x, y, width, height, buf)
               : kova_putimg24(wn, x, y, width, height, buf);
}
