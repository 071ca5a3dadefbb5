/*
 * text_rotation.cpp - text at an angle.
 *
 * The server draws text horizontally only, so turned text is made here
 * with Xlib alone: each piece of a line (text_piece) is drawn into a 1-bit
 * pixmap, read back, turned on the client and sent back as a bitmap, which
 * then serves as the stipple of one rectangle filled with the pen's GC.
 * The text so has the pen's colour (exactly, on every visual) and drawing
 * function, and reaches the write layer, the window and its dock icon as
 * every other drawing does.
 *
 * Turning maps each pixel of the result back into the source, whose
 * nearest pixel it takes.  At the quarter turns the cosine and sine are
 * exactly 0 and 1, so there the mapping moves whole pixels and resamples
 * nothing.  The text turns about the grid corner where its baseline meets
 * the left edge of its first glyph: the top-left corner of the pixel
 * (x, y) at which the server draws horizontal text.
 *
 * Turned bitmaps stay on the server, the N_turned used last: a label drawn
 * again at the same angle costs one fill for each target and no round trip.
 */
#include "kova_private.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

/* A bitmap larger than this (a glyph thousands of pixels high) is not
 * made: the piece is left out. */
constexpr long long Max_bitmap_side = 8192;
/* Larger pieces are drawn but not kept. */
constexpr int Max_kept_bytes = 256;
constexpr long long Max_kept_pixels = 1LL << 20;

unsigned long next_use(void)
{
    static unsigned long clock = 0;
    return ++clock;
}

/* Pixels of a 1-bit image as the server sent it, in whatever bit and byte
 * order: bytes swap within a unit when the two orders differ. */
class source_bits {
  public:
    explicit source_bits(const XImage *img)
        : data_(reinterpret_cast<const unsigned char *>(img->data)),
          row_(static_cast<size_t>(img->bytes_per_line)), lsb_(img->bitmap_bit_order == LSBFirst),
          swap_(img->byte_order == img->bitmap_bit_order ? 0 : img->bitmap_unit / 8 - 1)
    {
    }
    bool at(int x, int y) const
    {
        const unsigned char byte = data_[static_cast<size_t>(y) * row_ +
                                         static_cast<size_t>((x >> 3) ^ swap_)];
        return (byte >> (lsb_ ? x & 7 : 7 - (x & 7))) & 1;
    }

  private:
    const unsigned char *data_;
    size_t row_;
    bool lsb_;
    int swap_;
};

/* A rectangle of pixels relative to a piece's origin. */
struct box {
    long long x, y, w, h;
};

/* Where the ink lands once turned. */
box turned_box(const XRectangle &ink, const text_turn &t)
{
    double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
    for (double u : {double(ink.x), double(ink.x) + ink.width})
        for (double v : {double(ink.y), double(ink.y) + ink.height}) {
            const double x = u * t.c + v * t.s, y = v * t.c - u * t.s;
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = std::max(y1, y);
        }
    const double fx = std::floor(x0), fy = std::floor(y0);
    return {static_cast<long long>(fx), static_cast<long long>(fy),
            static_cast<long long>(std::ceil(x1) - fx), static_cast<long long>(std::ceil(y1) - fy)};
}

/* True when the box placed at (x, y) covers some of the canvas. */
bool meets_canvas(const pc_window &w, double x, double y, long long width, long long height)
{
    return x < w.width && y < w.height && x + static_cast<double>(width) > 0 &&
           y + static_cast<double>(height) > 0;
}

/* The 1-bit scratch pixmap, at least w x h, and the GC that draws into
 * it (foreground 1, background 0). */
Pixmap turn_source(int w, int h)
{
    if (w > Turn_source_width || h > Turn_source_height) {
        if (Turn_source)
            XFreePixmap(Pc_dis, Turn_source);
        Turn_source_width = std::max(w, Turn_source_width);
        Turn_source_height = std::max(h, Turn_source_height);
        Turn_source = XCreatePixmap(Pc_dis, RootWindow(Pc_dis, DefaultScreen(Pc_dis)),
                                    static_cast<unsigned int>(Turn_source_width),
                                    static_cast<unsigned int>(Turn_source_height), 1);
    }
    if (!Turn_gc) {
        XGCValues v;
        v.foreground = 1;
        v.background = 0;
        v.graphics_exposures = False;
        Turn_gc = XCreateGC(Pc_dis, Turn_source, GCForeground | GCBackground | GCGraphicsExposures,
                            &v);
    }
    return Turn_source;
}

/* The piece drawn alone with its ink at the top-left, read back. */
XImage *source_image(const text_face &face, const char *s, int n, const XRectangle &ink)
{
    Pixmap src = turn_source(ink.width, ink.height);
    XSetForeground(Pc_dis, Turn_gc, 0);
    XFillRectangle(Pc_dis, src, Turn_gc, 0, 0, ink.width, ink.height);
    XSetForeground(Pc_dis, Turn_gc, 1);
    if (face.font)
        XSetFont(Pc_dis, Turn_gc, face.font->fid);
    draw_face_text(src, Turn_gc, face, -ink.x, -ink.y, s, n);
    return XGetImage(Pc_dis, src, 0, 0, ink.width, ink.height, 1, XYPixmap);
}

/* The bitmap of box b (rows of row_bytes, most significant bit first):
 * each pixel is set when the source pixel its centre turns back into is. */
void turn_bits(const XImage *src, const XRectangle &ink, const text_turn &t, const box &b,
               size_t row_bytes, unsigned char *out)
{
    const source_bits bits(src);
    for (long long j = 0; j < b.h; j++) {
        const double X = static_cast<double>(b.x) + 0.5;
        const double Y = static_cast<double>(b.y + j) + 0.5;
        double u = X * t.c - Y * t.s - ink.x, v = X * t.s + Y * t.c - ink.y;
        unsigned char *row = out + static_cast<size_t>(j) * row_bytes;
        for (long long i = 0; i < b.w; i++, u += t.c, v += t.s)
            if (u >= 0 && u < ink.width && v >= 0 && v < ink.height &&
                bits.at(static_cast<int>(u), static_cast<int>(v)))  /* floor: u, v >= 0 */
                row[i >> 3] |= static_cast<unsigned char>(0x80u >> (i & 7));
    }
}

/* The bands of the bitmap's rows (at most eight) that hold ink, each as
 * wide as its ink. */
void cut_bands(const unsigned char *bits, size_t row_bytes, turned_piece *p)
{
    constexpr int N = sizeof p->bands / sizeof p->bands[0];
    const int rows = (p->height + N - 1) / N;
    p->nbands = 0;
    for (int top = 0; top < p->height; top += rows) {
        const int bottom = std::min(top + rows, p->height);
        int left = p->width, right = -1;
        for (int j = top; j < bottom; j++) {
            const unsigned char *row = bits + static_cast<size_t>(j) * row_bytes;
            for (int i = 0; i < p->width; i++)
                if (row[i >> 3] & (0x80u >> (i & 7))) {
                    left = std::min(left, i);
                    break;
                }
            for (int i = p->width - 1; i > right; i--)
                if (row[i >> 3] & (0x80u >> (i & 7))) {
                    right = i;
                    break;
                }
        }
        if (right >= left)
            p->bands[p->nbands++] = {static_cast<short>(left), static_cast<short>(top),
                                     static_cast<unsigned short>(right - left + 1),
                                     static_cast<unsigned short>(bottom - top)};
    }
}

/* The turned bitmap of a piece whose origin is at (ox, oy), when some of
 * it reaches the canvas; false when there is nothing to draw. */
bool make_turned(const pc_window &w, const text_face &face, const text_turn &t, const char *s,
                 int n, double ox, double oy, turned_piece *out)
{
    const XRectangle ink = face_ink(face, s, n);
    if (ink.width == 0 || ink.height == 0 || ink.width > Max_bitmap_side ||
        ink.height > Max_bitmap_side)
        return false;
    const box b = turned_box(ink, t);
    if (!meets_canvas(w, ox + static_cast<double>(b.x), oy + static_cast<double>(b.y), b.w, b.h) ||
        b.w > 2 * Max_bitmap_side || b.h > 2 * Max_bitmap_side)
        return false;
    XImage *src = source_image(face, s, n, ink);
    if (!src)
        return false;
    const size_t row_bytes = static_cast<size_t>(b.w + 7) / 8;
    const size_t bytes = row_bytes * static_cast<size_t>(b.h);
    malloc_ptr<unsigned char> bits(static_cast<unsigned char *>(_kova_xmalloc(bytes)));
    memset(bits.get(), 0, bytes);
    turn_bits(src, ink, t, b, row_bytes, bits.get());
    XDestroyImage(src);

    const int width = static_cast<int>(b.w), height = static_cast<int>(b.h);
    *out = turned_piece{};
    out->width = width;
    out->height = height;
    cut_bands(bits.get(), row_bytes, out);
    out->font = face.font ? face.font->fid : 0;
    out->fontset = face.font ? nullptr : face.fontset;
    out->degrees = t.degrees;
    out->x = static_cast<int>(b.x);
    out->y = static_cast<int>(b.y);
    out->bitmap = XCreatePixmap(Pc_dis, RootWindow(Pc_dis, DefaultScreen(Pc_dis)),
                                static_cast<unsigned int>(width),
                                static_cast<unsigned int>(height), 1);
    XImage img = image_header(reinterpret_cast<char *>(bits.get()), width, height, 1, 1,
                              static_cast<int>(row_bytes), MSBFirst);
    XPutImage(Pc_dis, out->bitmap, Turn_gc, &img, 0, 0, 0, 0, static_cast<unsigned int>(width),
              static_cast<unsigned int>(height));
    return true;
}

turned_piece *find_turned(const text_face &face, const text_turn &t, const char *s, int n)
{
    const Font font = face.font ? face.font->fid : 0;
    const XFontSet fontset = face.font ? nullptr : face.fontset;
    for (turned_piece &e : Pc_turned)
        if (e.text && e.length == n && e.font == font && e.fontset == fontset &&
            e.degrees == t.degrees && memcmp(e.text, s, static_cast<size_t>(n)) == 0) {
            e.used = next_use();
            return &e;
        }
    return nullptr;
}

void forget(turned_piece &e)
{
    XFreePixmap(Pc_dis, e.bitmap);
    free(e.text);
    e = turned_piece{};
}

/* Keeps a new piece in a free entry or in place of the one used longest
 * ago; NULL when it is too large to keep. */
turned_piece *keep(const turned_piece &p, const char *s, int n)
{
    if (n > Max_kept_bytes || static_cast<long long>(p.width) * p.height > Max_kept_pixels)
        return nullptr;
    turned_piece *slot = &Pc_turned[0];
    for (turned_piece &e : Pc_turned) {
        if (!e.text) {
            slot = &e;
            break;
        }
        if (e.used < slot->used)
            slot = &e;
    }
    if (slot->text)
        forget(*slot);
    *slot = p;
    slot->text = static_cast<char *>(_kova_xmalloc(static_cast<size_t>(n)));
    memcpy(slot->text, s, static_cast<size_t>(n));
    slot->length = n;
    slot->used = next_use();
    return slot;
}

/* Fills the bitmap's bands placed at (x, y) with the pen through the
 * bitmap; x and y are within the canvas's reach of the bitmap's size. */
int fill_through(int wn, const turned_piece &p, int x, int y)
{
    const pc_window &w = Pc[wn];
    XRectangle bands[sizeof p.bands / sizeof p.bands[0]];
    int n = 0;
    for (int k = 0; k < p.nbands; k++) {
        const XRectangle &b = p.bands[k];
        if (meets_canvas(w, x + b.x, y + b.y, b.width, b.height))
            bands[n++] = {static_cast<short>(x + b.x), static_cast<short>(y + b.y), b.width,
                          b.height};
    }
    if (n == 0)
        return 0;
    XGCValues v;
    v.fill_style = FillStippled;
    v.stipple = p.bitmap;
    v.ts_x_origin = x;
    v.ts_y_origin = y;
    XChangeGC(Pc_dis, w.pen_gc, GCFillStyle | GCStipple | GCTileStipXOrigin | GCTileStipYOrigin,
              &v);
    const int shown =
        output_targets(wn, [&](Drawable d) { XFillRectangles(Pc_dis, d, w.pen_gc, bands, n); });
    XSetFillStyle(Pc_dis, w.pen_gc, FillSolid);
    return shown;
}

/* One piece with its origin at the grid point (ox, oy). */
bool draw_turned_piece(int wn, const text_face &face, const text_turn &t, double ox, double oy,
                       const char *s, int n)
{
    const pc_window &w = Pc[wn];
    turned_piece made{};
    const turned_piece *p = find_turned(face, t, s, n);
    if (!p) {
        if (!make_turned(w, face, t, s, n, ox, oy, &made))
            return false;
        p = keep(made, s, n);
    }
    const turned_piece &use = p ? *p : made;
    const double x = ox + use.x, y = oy + use.y;
    /* On the canvas the corner is within X's 16 bits: bitmaps are
     * smaller than the coordinate range. */
    const bool drawn = meets_canvas(w, x, y, use.width, use.height) &&
                       fill_through(wn, use, static_cast<int>(x), static_cast<int>(y)) == 1;
    if (!p)
        XFreePixmap(Pc_dis, made.bitmap);
    return drawn;
}

} // namespace

bool text_turn_of(double theta, text_turn *turn)
{
    if (!std::isfinite(theta)) {
        static bool warned = false; /* once in the life of the process */
        if (!warned) {
            warned = true;
            _kova_warn("Text at an angle that is not a finite number is not drawn.");
        }
        return false;
    }
    double d = std::fmod(theta, 360.0);
    if (d < 0)
        d += 360.0;
    if (d >= 360.0 || d == 0)
        d = 0; /* a tiny negative angle, or -0 */
    turn->degrees = d;
    if (d == 0 || d == 90 || d == 180 || d == 270) {
        const int q = static_cast<int>(d) / 90;
        constexpr double cosines[4] = {1, 0, -1, 0};
        turn->c = cosines[q];
        turn->s = cosines[(q + 3) % 4];
    } else {
        const double r = d * (M_PI / 180.0);
        turn->c = std::cos(r);
        turn->s = std::sin(r);
    }
    return true;
}

bool draw_turned_run(int wn, const text_face &face, const text_turn &turn, double x, double y,
                     const char *s, int n)
{
    bool shown = false;
    double along = 0;
    while (n > 0) {
        int advance;
        const int k = text_piece(face, s, n, &advance);
        const double ox = std::floor(x + along * turn.c + 0.5);
        const double oy = std::floor(y - along * turn.s + 0.5);
        shown = draw_turned_piece(wn, face, turn, ox, oy, s, k) || shown;
        along += advance;
        s += k;
        n -= k;
    }
    return shown;
}

void free_turned_text(void)
{
    for (turned_piece &e : Pc_turned)
        if (e.text)
            forget(e);
    if (Turn_gc)
        XFreeGC(Pc_dis, Turn_gc);
    if (Turn_source)
        XFreePixmap(Pc_dis, Turn_source);
    Turn_gc = nullptr;
    Turn_source = 0;
    Turn_source_width = Turn_source_height = 0;
}
