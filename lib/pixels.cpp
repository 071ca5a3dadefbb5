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

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

/* A rectangle of canvas pixels, and where it starts in the image put. */
struct placed_area {
    int x, y, w, h;
    int ix, iy;
};

constexpr int Cmap_cache_size = 64;

/* Colours of a colormapped visual, asked of the server once per pixel
 * value within one read: up to 64 remembered, the oldest replaced first,
 * and the search starts where the last one matched (images come in runs). */
class cmap_cache {
  public:
    cmap_cache() { ask(0); }
    const XColor &colour(unsigned long pixel)
    {
        for (int k = 0; k < n_; k++) {
            int i = (last_ + k) % n_;
            if (entries_[i].pixel == pixel) {
                last_ = i;
                return entries_[i];
            }
        }
        ask(pixel);
        return entries_[last_];
    }

  private:
    void ask(unsigned long pixel)
    {
        int slot;
        if (n_ < Cmap_cache_size) {
            slot = n_++;
        } else {
            slot = oldest_;
            oldest_ = (oldest_ + 1) % Cmap_cache_size;
        }
        entries_[slot].pixel = pixel;
        XQueryColor(Pc_dis, Pc_cmap, &entries_[slot]);
        last_ = slot;
    }
    XColor entries_[Cmap_cache_size];
    int n_ = 0, last_ = 0, oldest_ = 0;
};

bool valid_layer(int wn, int layer) { return layer >= 0 && layer < 8 && Pc[wn].layers[layer]; }

unsigned char *scratch(size_t n)
{
    if (n > Sz_tmp_img24buf) {
        Tmp_img24buf = static_cast<unsigned char *>(_kova_xrealloc(Tmp_img24buf, n));
        Sz_tmp_img24buf = n;
    }
    return Tmp_img24buf;
}

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
    img.bitmap_bit_order = MSBFirst;
    img.bitmap_pad = depth == 1 ? 8 : bpp;
    img.depth = depth;
    img.bytes_per_line = bytes_per_line;
    img.bits_per_pixel = bpp;
    XInitImage(&img);
    return img;
}

/* Grows the mask pixmap when the area is larger than it in either
 * direction, and sends it the area's alpha as bits (set: opaque). */
void prepare_mask(const unsigned char *buf, int width, const placed_area &a)
{
    if (a.w > Pix_mask_width || a.h > Pix_mask_height) {
        if (Pix_mask_width > 0) {
            XFreeGC(Pc_dis, Gc_pix_mask);
            XFreePixmap(Pc_dis, Pix_mask);
        }
        Pix_mask = XCreatePixmap(Pc_dis, RootWindow(Pc_dis, DefaultScreen(Pc_dis)),
                                 static_cast<unsigned int>(a.w), static_cast<unsigned int>(a.h), 1);
        XGCValues v;
        v.foreground = 1;
        v.background = 0;
        v.graphics_exposures = False;
        Gc_pix_mask = XCreateGC(Pc_dis, Pix_mask, GCForeground | GCBackground | GCGraphicsExposures, &v);
        Pix_mask_width = a.w;
        Pix_mask_height = a.h;
    }
    const size_t row = static_cast<size_t>(a.w + 7) / 8;
    unsigned char *bits = scratch(row * static_cast<size_t>(a.h));
    memset(bits, 0, row * static_cast<size_t>(a.h));
    for (int j = 0; j < a.h; j++) {
        const unsigned char *src =
            buf + (static_cast<size_t>(a.iy + j) * static_cast<size_t>(width) + static_cast<size_t>(a.ix)) * 4;
        unsigned char *dst = bits + row * static_cast<size_t>(j);
        for (int k = 0; k < a.w; k++)
            if (src[4 * k])
                dst[k / 8] |= static_cast<unsigned char>(0x80u >> (k % 8));
    }
    XImage img = image_header(reinterpret_cast<char *>(bits), a.w, a.h, 1, 1, static_cast<int>(row),
                              MSBFirst);
    XPutImage(Pc_dis, Pix_mask, Gc_pix_mask, &img, 0, 0, 0, 0, static_cast<unsigned int>(a.w),
              static_cast<unsigned int>(a.h));
}

/* The visual's share of an 8-bit channel value v, in place. */
uint32_t channel_bits(unsigned v, int depth, int shift)
{
    uint32_t scaled = depth <= 8 ? v >> (8 - depth) : v << (depth - 8);
    return scaled << shift;
}

/* The area of the image in the visual's pixel layout.  On the common
 * 24-bit layout (red at bit 16, green at 8, blue at 0) the caller's buffer
 * is sent as it is, its alpha falling into the bits without colour; other
 * layouts are converted into the scratch buffer, in the server's own byte
 * order so that Xlib passes the rows on unchanged. */
XImage colour_image(const unsigned char *buf, int width, const placed_area &a)
{
    const size_t stride = static_cast<size_t>(width) * 4;
    if (Pc_depth == 24 && Red_sft == 16 && Green_sft == 8 && Blue_sft == 0 && Red_depth == 8 &&
        Green_depth == 8 && Blue_depth == 8) {
        char *first = reinterpret_cast<char *>(const_cast<unsigned char *>(buf)) +
                      static_cast<size_t>(a.iy) * stride + static_cast<size_t>(a.ix) * 4;
        return image_header(first, a.w, a.h, 24, 32, static_cast<int>(stride), MSBFirst);
    }
    uint32_t red[256], green[256], blue[256];
    for (unsigned v = 0; v < 256; v++) {
        red[v] = channel_bits(v, Red_depth, Red_sft);
        green[v] = channel_bits(v, Green_depth, Green_sft);
        blue[v] = channel_bits(v, Blue_depth, Blue_sft);
    }
    const int bytes = Pc_depth == 16 ? 2 : 4;
    const size_t out_row = static_cast<size_t>(a.w) * static_cast<size_t>(bytes);
    unsigned char *out = scratch(out_row * static_cast<size_t>(a.h));
    const bool msb = ImageByteOrder(Pc_dis) == MSBFirst;
    for (int j = 0; j < a.h; j++) {
        const unsigned char *src = buf + static_cast<size_t>(a.iy + j) * stride + static_cast<size_t>(a.ix) * 4;
        unsigned char *dst = out + out_row * static_cast<size_t>(j);
        for (int k = 0; k < a.w; k++, src += 4, dst += bytes) {
            uint32_t p = red[src[1]] | green[src[2]] | blue[src[3]];
            for (int b = 0; b < bytes; b++)
                dst[b] = static_cast<unsigned char>(p >> (8 * (msb ? bytes - 1 - b : b)));
        }
    }
    return image_header(reinterpret_cast<char *>(out), a.w, a.h, Pc_depth, 8 * bytes,
                        static_cast<int>(out_row), msb ? MSBFirst : LSBFirst);
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
    XImage img = colour_image(buf, width, a);
    wait_child();
    const pc_window &w = Pc[wn];
    if (masked) {
        XSetClipMask(Pc_dis, w.pen_gc, Pix_mask);
        XSetClipOrigin(Pc_dis, w.pen_gc, a.x, a.y);
    }
    XPutImage(Pc_dis, w.layers[w.write_layer], w.pen_gc, &img, 0, 0, a.x, a.y,
              static_cast<unsigned int>(a.w), static_cast<unsigned int>(a.h));
    if (masked)
        XSetClipMask(Pc_dis, w.pen_gc, None);
    if (w.write_layer == w.shown_layer)
        show_layer(wn, w.write_layer);
    return 0;
}

/* One channel of a pixel value, as the top 8 bits of its 16-bit widening
 * (low bits zero: a 5-bit channel at 31 reads 248). */
unsigned char channel_byte(unsigned long pixel, int depth, int shift)
{
    if (depth <= 0)
        return 0;
    unsigned long mask = (0xffffUL >> (16 - depth)) << shift;
    unsigned long v = (pixel & mask) >> shift;
    return static_cast<unsigned char>((v << (16 - depth)) >> 8);
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

/* The fetched image as alpha 255 and 8-bit red, green, blue. */
void read_pixels(XImage *img, int w, int h, unsigned char *out)
{
    const bool masks = Pc_depth > 15 && (Red_depth || Green_depth || Blue_depth);
    const bool bytewise = img->bits_per_pixel % 8 == 0;
    std::optional<cmap_cache> cache;
    if (!masks)
        cache.emplace();
    for (int j = 0; j < h; j++) {
        const unsigned char *row =
            reinterpret_cast<unsigned char *>(img->data) + static_cast<size_t>(j) * static_cast<size_t>(img->bytes_per_line);
        for (int i = 0; i < w; i++, out += 4) {
            unsigned long p = bytewise ? pixel_at(img, row, i) : XGetPixel(img, i, j);
            out[0] = 255;
            if (masks) {
                out[1] = channel_byte(p, Red_depth, Red_sft);
                out[2] = channel_byte(p, Green_depth, Green_sft);
                out[3] = channel_byte(p, Blue_depth, Blue_sft);
            } else {
                const XColor &c = cache->colour(p);
                out[1] = static_cast<unsigned char>(c.red >> 8);
                out[2] = static_cast<unsigned char>(c.green >> 8);
                out[3] = static_cast<unsigned char>(c.blue >> 8);
            }
        }
    }
}

} // namespace

bool image_size_fits(int width, int height, const char *where, size_t *bytes)
{
    size_t n;
    if (width > INT_MAX / 4 ||
        __builtin_mul_overflow(static_cast<size_t>(width) * 4, static_cast<size_t>(height), &n)) {
        fprintf(stderr, "KOVA: [ERROR] Image size %dx%d too large at %s()\n", width, height, where);
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
    if (!valid_layer(src_wn, src_layer)) {
        fputs("KOVA: [ERROR] Invalid layer index at gputarea()\n", stderr);
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
    if (!valid_layer(wn, layer)) {
        fputs("KOVA: [ERROR] Invalid layer index at ggetimage()\n", stderr);
        return nullptr;
    }
    int x, y, w, h;
    cnv_2p_to_pwh(wn, xs0, ys0, xs1, ys1, &x, &y, &w, &h);
    size_t bytes;
    if (!image_size_fits(w, h, "ggetimage", &bytes))
        return nullptr;
    wait_child();
    XSync(Pc_dis, False);
    XImage *img = XGetImage(Pc_dis, Pc[wn].layers[layer], x, y, static_cast<unsigned int>(w),
                            static_cast<unsigned int>(h), AllPlanes, ZPixmap);
    if (!img) {
        fputs("KOVA: [ERROR] The server returned no image at ggetimage()\n", stderr);
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
