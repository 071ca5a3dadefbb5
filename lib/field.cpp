/*
 * field.cpp - 2-D arrays of numbers shown as cells of colour that fill a
 * rectangle in user coordinates, and the palettes that colour them.
 *
 * The rectangle's sides go to canvas pixels as the window's mapping takes
 * any point, but without its rounding; a pixel belongs to the cell that
 * holds its centre, so cell edges fall where the mapping puts them however
 * far a field is stretched.  Every canvas column and row is given its cell
 * once; colours are worked out once per cell of a row, and a row of pixels
 * that repeats the one above is copied.  How a row of cell colours spreads
 * over the columns is planned once per field.  Pixels are written straight
 * in the server's layout and go out through the put path (scratch buffer,
 * strips, the pen's GC, the mask pixmap where cells are NaN), so repeated
 * fields of one size allocate nothing.  On x86 processors that have them,
 * byte shuffles spread the colours and gathers look them up: the field
 * then costs the client no more than a put of a ready image.
 */
#include "kova_private.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

struct rgb8 {
    int r, g, b;
};

/* viridis, the sequential map of Stefan van der Walt and Nathaniel Smith
 * (2015; public domain, CC0), as published in 256 steps (0xRRGGBB): from
 * dark blue through green to yellow, even steps of lightness in a
 * perceptually uniform colour space. */
constexpr uint32_t Viridis[256] = {
    0x440154, 0x440256, 0x450457, 0x450559, 0x46075a, 0x46085c, 0x460a5d, 0x460b5e,
    0x470d60, 0x470e61, 0x471063, 0x471164, 0x471365, 0x481467, 0x481668, 0x481769,
    0x48186a, 0x481a6c, 0x481b6d, 0x481c6e, 0x481d6f, 0x481f70, 0x482071, 0x482173,
    0x482374, 0x482475, 0x482576, 0x482677, 0x482878, 0x482979, 0x472a7a, 0x472c7a,
    0x472d7b, 0x472e7c, 0x472f7d, 0x46307e, 0x46327e, 0x46337f, 0x463480, 0x453581,
    0x453781, 0x453882, 0x443983, 0x443a83, 0x443b84, 0x433d84, 0x433e85, 0x423f85,
    0x424086, 0x424186, 0x414287, 0x414487, 0x404588, 0x404688, 0x3f4788, 0x3f4889,
    0x3e4989, 0x3e4a89, 0x3e4c8a, 0x3d4d8a, 0x3d4e8a, 0x3c4f8a, 0x3c508b, 0x3b518b,
    0x3b528b, 0x3a538b, 0x3a548c, 0x39558c, 0x39568c, 0x38588c, 0x38598c, 0x375a8c,
    0x375b8d, 0x365c8d, 0x365d8d, 0x355e8d, 0x355f8d, 0x34608d, 0x34618d, 0x33628d,
    0x33638d, 0x32648e, 0x32658e, 0x31668e, 0x31678e, 0x31688e, 0x30698e, 0x306a8e,
    0x2f6b8e, 0x2f6c8e, 0x2e6d8e, 0x2e6e8e, 0x2e6f8e, 0x2d708e, 0x2d718e, 0x2c718e,
    0x2c728e, 0x2c738e, 0x2b748e, 0x2b758e, 0x2a768e, 0x2a778e, 0x2a788e, 0x29798e,
    0x297a8e, 0x297b8e, 0x287c8e, 0x287d8e, 0x277e8e, 0x277f8e, 0x27808e, 0x26818e,
    0x26828e, 0x26828e, 0x25838e, 0x25848e, 0x25858e, 0x24868e, 0x24878e, 0x23888e,
    0x23898e, 0x238a8d, 0x228b8d, 0x228c8d, 0x228d8d, 0x218e8d, 0x218f8d, 0x21908d,
    0x21918c, 0x20928c, 0x20928c, 0x20938c, 0x1f948c, 0x1f958b, 0x1f968b, 0x1f978b,
    0x1f988b, 0x1f998a, 0x1f9a8a, 0x1e9b8a, 0x1e9c89, 0x1e9d89, 0x1f9e89, 0x1f9f88,
    0x1fa088, 0x1fa188, 0x1fa187, 0x1fa287, 0x20a386, 0x20a486, 0x21a585, 0x21a685,
    0x22a785, 0x22a884, 0x23a983, 0x24aa83, 0x25ab82, 0x25ac82, 0x26ad81, 0x27ad81,
    0x28ae80, 0x29af7f, 0x2ab07f, 0x2cb17e, 0x2db27d, 0x2eb37c, 0x2fb47c, 0x31b57b,
    0x32b67a, 0x34b679, 0x35b779, 0x37b878, 0x38b977, 0x3aba76, 0x3bbb75, 0x3dbc74,
    0x3fbc73, 0x40bd72, 0x42be71, 0x44bf70, 0x46c06f, 0x48c16e, 0x4ac16d, 0x4cc26c,
    0x4ec36b, 0x50c46a, 0x52c569, 0x54c568, 0x56c667, 0x58c765, 0x5ac864, 0x5cc863,
    0x5ec962, 0x60ca60, 0x63cb5f, 0x65cb5e, 0x67cc5c, 0x69cd5b, 0x6ccd5a, 0x6ece58,
    0x70cf57, 0x73d056, 0x75d054, 0x77d153, 0x7ad151, 0x7cd250, 0x7fd34e, 0x81d34d,
    0x84d44b, 0x86d549, 0x89d548, 0x8bd646, 0x8ed645, 0x90d743, 0x93d741, 0x95d840,
    0x98d83e, 0x9bd93c, 0x9dd93b, 0xa0da39, 0xa2da37, 0xa5db36, 0xa8db34, 0xaadc32,
    0xaddc30, 0xb0dd2f, 0xb2dd2d, 0xb5de2b, 0xb8de29, 0xbade28, 0xbddf26, 0xc0df25,
    0xc2df23, 0xc5e021, 0xc8e020, 0xcae11f, 0xcde11d, 0xd0e11c, 0xd2e21b, 0xd5e21a,
    0xd8e219, 0xdae319, 0xdde318, 0xdfe318, 0xe2e418, 0xe5e419, 0xe7e419, 0xeae51a,
    0xece51b, 0xefe51c, 0xf1e51d, 0xf4e61e, 0xf6e620, 0xf8e621, 0xfbe723, 0xfde725
};

/* ---- the diverging palette ----------------------------------------------
 * Kenneth Moreland's "cool to warm" map (Diverging Color Maps for
 * Scientific Visualization, ISVC 2009): blue (59, 76, 192) and red
 * (180, 4, 38) joined through a near-white middle by interpolating in his
 * Msh space (polar CIELAB), so that both halves change lightness at the
 * same rate and the middle carries no hue. */

constexpr rgb8 Cool = {59, 76, 192}, Warm = {180, 4, 38};
/* The D65 white that the paper converts with. */
constexpr double White_x = 0.9505, White_y = 1.0, White_z = 1.089;

struct lab {
    double L, a, b;
};
struct msh {
    double M, s, h;
};

double lab_f(double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; }
double lab_f_inverse(double f) { return f > 0.206893 ? f * f * f : (f - 16.0 / 116.0) / 7.787; }

double linear(int c)
{
    const double v = c / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

int encoded(double v)
{
    v = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    return static_cast<int>(std::lround(255 * std::clamp(v, 0.0, 1.0)));
}

msh to_msh(rgb8 c)
{
    const double r = linear(c.r), g = linear(c.g), b = linear(c.b);
    const double fx = lab_f((0.4124 * r + 0.3576 * g + 0.1805 * b) / White_x);
    const double fy = lab_f((0.2126 * r + 0.7152 * g + 0.0722 * b) / White_y);
    const double fz = lab_f((0.0193 * r + 0.1192 * g + 0.9505 * b) / White_z);
    const lab p = {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
    const double M = std::sqrt(p.L * p.L + p.a * p.a + p.b * p.b);
    return {M, std::acos(p.L / M), std::atan2(p.b, p.a)};
}

rgb8 to_rgb(msh m)
{
    const lab p = {m.M * std::cos(m.s), m.M * std::sin(m.s) * std::cos(m.h),
                   m.M * std::sin(m.s) * std::sin(m.h)};
    const double fy = (p.L + 16) / 116;
    const double x = White_x * lab_f_inverse(p.a / 500 + fy), y = White_y * lab_f_inverse(fy),
                 z = White_z * lab_f_inverse(fy - p.b / 200);
    return {encoded(3.2406 * x - 1.5372 * y - 0.4986 * z),
            encoded(-0.9689 * x + 1.8758 * y + 0.0415 * z),
            encoded(0.0557 * x - 0.2040 * y + 1.0570 * z)};
}

/* The hue the unsaturated middle takes toward a saturated end, so that the
 * hue does not jump where the saturation leaves zero. */
double middle_hue(const msh &end, double middle_M)
{
    if (end.M >= middle_M)
        return end.h;
    const double spin = end.s * std::sqrt(middle_M * middle_M - end.M * end.M) / (end.M * std::sin(end.s));
    return end.h > -M_PI / 3 ? end.h + spin : end.h - spin;
}

rgb8 cool_warm(double t)
{
    const msh end = to_msh(t < 0.5 ? Cool : Warm);
    const double middle_M = std::max({to_msh(Cool).M, to_msh(Warm).M, 88.0});
    const double u = t < 0.5 ? 1 - 2 * t : 2 * t - 1; /* 0 in the middle, 1 at the end */
    const double h = middle_hue(end, middle_M);
    return to_rgb({middle_M + u * (end.M - middle_M), u * end.s, h + u * (end.h - h)});
}

const std::array<rgb8, 256> &cool_warm_table()
{
    static const std::array<rgb8, 256> table = [] {
        std::array<rgb8, 256> t{};
        for (int k = 0; k < 256; k++)
            t[static_cast<size_t>(k)] = cool_warm(k / 255.0);
        return t;
    }();
    return table;
}

/* Colour k (0..255) of a palette. */
rgb8 palette_colour(int palette, int k)
{
    switch (palette) {
    case KOVA_PALETTE_GREY:
        return {k, k, k};
    case KOVA_PALETTE_SEQUENTIAL: {
        const uint32_t c = Viridis[k];
        return {static_cast<int>(c >> 16), static_cast<int>((c >> 8) & 0xff), static_cast<int>(c & 0xff)};
    }
    default:
        return cool_warm_table()[static_cast<size_t>(k)];
    }
}

/* ---- pixel values ------------------------------------------------------- */

/* On an 8-bit screen every step of a palette takes a colormap cell: 32
 * steps each, the ends kept, leave most of the 256 cells to the pens. */
constexpr int Colormap_steps = 32;

/* A pixel value as the server stores it: sizeof(T) bytes in its order. */
template <class T>
T in_server_order(unsigned long pixel, int order)
{
    unsigned char b[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); i++)
        b[i] = static_cast<unsigned char>(pixel >> (8 * (order == MSBFirst ? sizeof(T) - 1 - i : i)));
    T v;
    memcpy(&v, b, sizeof v);
    return v;
}

/* The palette's 256 colours as pixel values in the server's layout, found
 * by the pen's colour lookup. */
template <class T>
void palette_pixels(int palette, T *out)
{
    const int order = ImageByteOrder(Pc_dis);
    unsigned long pixel = 0;
    int last = -1;
    for (int k = 0; k < 256; k++) {
        const int e = Pc_depth == 8 ? (k * Colormap_steps / 256) * 255 / (Colormap_steps - 1) : k;
        if (e != last) {
            const rgb8 c = palette_colour(palette, e);
            pixel = colour_pixel(c.r, c.g, c.b);
            last = e;
        }
        out[k] = in_server_order<T>(pixel, order);
    }
}

/* ---- geometry ---------------------------------------------------------- */

/* The field along one canvas axis: its sides at the pixel positions s0
 * (included) and s0 + span (excluded), either way round, n cells between. */
struct axis {
    long double s0, span;
    int n;
    /* The cell that holds the centre of pixel p, or -1. */
    int cell(int p) const
    {
        /* Truncation is the floor here; floorl would cost a call per pixel. */
        const long double c = (p - s0) * n / span;
        return c >= 0 && c < n ? static_cast<int>(c) : -1;
    }
};

axis x_axis(const pc_window &w, double x0, double x1, int nx)
{
    const long double s0 = (static_cast<long double>(x0) - w.user_x0) * w.scale_x;
    return {s0, (static_cast<long double>(x1) - w.user_x0) * w.scale_x - s0, nx};
}

axis y_axis(const pc_window &w, double y0, double y1, int ny)
{
    auto row = [&](double y) {
        const long double r = (static_cast<long double>(y) - w.user_y0) * w.scale_y;
        return (w.attributes & KOVA_ATTR_Y_UP) ? (w.height - 1) - r : r;
    };
    return {row(y0), row(y1) - row(y0), ny};
}

/* The cells of pixels 0..size-1 into cell[], and the run of those that lie
 * in the field (cells only grow or only shrink along an axis, so they are
 * one run); false when none do. */
bool cells_of_pixels(const axis &a, int size, int32_t *cell, int *first, int *count)
{
    *first = -1;
    *count = 0;
    for (int p = 0; p < size; p++)
        if ((cell[p] = a.cell(p)) >= 0) {
            if (*first < 0)
                *first = p;
            ++*count;
        }
    return *count > 0;
}

/* ---- drawing ------------------------------------------------------------ */

template <class Z>
struct field {
    const Z *z;
    int nx;
    double half_zmin, scale; /* in halves, so that no range overflows */
    /* A float field whose range ends are floats and whose width is one too
     * is stepped in float arithmetic, four values to an instruction: its
     * rounding moves a step's edge by less than 1e-4 of a step. */
    bool in_floats;
    float zmin_f, scale_f;
    /* The palette step of a value; NaN gives 0 (such cells are masked). */
    int step(Z v) const
    {
        if (in_floats) {
            const float s = (static_cast<float>(v) - zmin_f) * scale_f;
            return s > 0 ? (s < 255 ? static_cast<int>(s) : 255) : 0;
        }
        const double s = (0.5 * static_cast<double>(v) - half_zmin) * scale;
        return s > 0 ? (s < 255 ? static_cast<int>(s) : 255) : 0;
    }
    const Z *row(int j) const { return z + static_cast<size_t>(j) * static_cast<size_t>(nx); }
};

template <class Z>
field<Z> field_of(const Z *z, int nx, double zmin, double zmax)
{
    field<Z> f = {z, nx, 0.5 * zmin, 256 / (0.5 * zmax - 0.5 * zmin), false, 0, 0};
    f.in_floats = std::is_same_v<Z, float> && static_cast<float>(zmin) == zmin &&
                  static_cast<float>(zmax) == zmax && zmax - zmin <= FLT_MAX;
    if (f.in_floats) {
        f.zmin_f = static_cast<float>(zmin);
        f.scale_f = static_cast<float>(256 / (zmax - zmin));
    }
    return f;
}

/* The pixel values of the first n - n % 4 of n cells, their steps worked
 * out four at a time in the arithmetic of S; lanes that found NaN are set
 * in seen. */
template <class S, class Z, class T, class Seen>
void values_in(const Z *z, int n, S zmin, S scale, bool halves, const T *pal, T *out, Seen &seen)
{
    typedef Z z4 __attribute__((vector_size(4 * sizeof(Z))));
    typedef S s4 __attribute__((vector_size(4 * sizeof(S))));
    typedef int32_t i4 __attribute__((vector_size(16)));
    const s4 zero = {0, 0, 0, 0}, top = {255, 255, 255, 255};
    for (int k = 0; k + 4 <= n; k += 4) {
        z4 v;
        memcpy(&v, z + k, sizeof v);
        seen |= v != v;
        s4 s = __builtin_convertvector(v, s4);
        s = ((halves ? s * S(0.5) : s) - zmin) * scale;
        s = s > zero ? s : zero; /* NaN too */
        s = s < top ? s : top;
        const i4 i = __builtin_convertvector(s, i4);
        for (int l = 0; l < 4; l++)
            out[k + l] = pal[i[l]];
    }
}

#if defined(__x86_64__) || defined(__i386__)
bool have_gathers() { return __builtin_cpu_supports("avx2"); }

/* The pixel values of the first n - n % 8 of n cells of floats, eight at a
 * time, their steps in float arithmetic as step() works them out; true
 * when one of them is NaN.  Each lookup reads four bytes from the step's
 * value on, so pal has its 256 values and three bytes more. */
template <class T>
__attribute__((target("avx2"))) bool values_by_gathers(const float *z, int n, float zmin, float scale,
                                                      const T *pal, T *out)
{
    const __m256 lo = _mm256_set1_ps(zmin), by = _mm256_set1_ps(scale), zero = _mm256_setzero_ps(),
                 top = _mm256_set1_ps(255);
    const __m256i low = _mm256_set1_epi32(sizeof(T) == 4 ? -1 : (1 << (8 * sizeof(T))) - 1);
    __m256 seen = zero;
    for (int k = 0; k + 8 <= n; k += 8) {
        const __m256 v = _mm256_loadu_ps(z + k);
        seen = _mm256_or_ps(seen, _mm256_cmp_ps(v, v, _CMP_UNORD_Q));
        /* max() gives its second operand for NaN, min() keeps it. */
        const __m256 s = _mm256_min_ps(_mm256_max_ps(_mm256_mul_ps(_mm256_sub_ps(v, lo), by), zero), top);
        const __m256i p = _mm256_and_si256(
            _mm256_i32gather_epi32(reinterpret_cast<const int *>(pal), _mm256_cvttps_epi32(s), sizeof(T)), low);
        if constexpr (sizeof(T) == 4) {
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + k), p);
        } else {
            __m128i packed = _mm_packus_epi32(_mm256_castsi256_si128(p), _mm256_extracti128_si256(p, 1));
            if constexpr (sizeof(T) == 1)
                packed = _mm_packus_epi16(packed, packed);
            memcpy(out + k, &packed, 8 * sizeof(T));
        }
    }
    return !_mm256_testz_ps(seen, seen);
}
#else
bool have_gathers() { return false; }
template <class T>
bool values_by_gathers(const float *, int, float, float, const T *, T *)
{
    return false;
}
#endif

/* The pixel values of cells from .. n - 1, one at a time; true when one of
 * them is NaN. */
template <class Z, class T>
bool values_one_by_one(const field<Z> &f, const Z *z, int from, int n, const T *pal, T *out)
{
    bool nan = false;
    for (int k = from; k < n; k++) {
        nan |= z[k] != z[k];
        out[k] = pal[f.step(z[k])];
    }
    return nan;
}

/* The pixel values of n cells; true when one of them is NaN.  Floats go
 * eight at a time where the processor gathers. */
template <class Z, class T>
bool values_of(const field<Z> &f, const Z *z, int n, const T *pal, T *out)
{
    if constexpr (std::is_same_v<Z, float>) {
        static const bool gathers = have_gathers();
        if (f.in_floats && gathers) {
            const bool nan = values_by_gathers(z, n, f.zmin_f, f.scale_f, pal, out);
            return values_one_by_one(f, z, n - n % 8, n, pal, out) || nan;
        }
    }
    typedef Z z4 __attribute__((vector_size(4 * sizeof(Z))));
    decltype(z4{} != z4{}) seen{};
    if (f.in_floats)
        values_in<float>(z, n, f.zmin_f, f.scale_f, false, pal, out, seen);
    else
        values_in<double>(z, n, f.half_zmin, f.scale, true, pal, out, seen);
    const bool nan = seen[0] || seen[1] || seen[2] || seen[3];
    return values_one_by_one(f, z, n - n % 4, n, pal, out) || nan;
}

/* Where a field lies on the canvas, with the cells of its columns and rows
 * and, where cells are no more than pixels across, how a row of cell
 * values spreads over the columns. */
struct area {
    int px, py, pw, ph;
    int c0, cells;      /* the columns' cells: c0 .. c0 + cells - 1 */
    const int32_t *col; /* column k's cell, less c0 */
    const int32_t *row; /* row r's cell */
    /* With byte shuffles: 16 bytes of pixels each from the 16 bytes of cell
     * values at window[g], picked by shuffle[16 g ..]. */
    int groups;
    const int32_t *window;
    const unsigned char *shuffle;
};

#if defined(__x86_64__) || defined(__i386__)
bool have_shuffles() { return __builtin_cpu_supports("ssse3"); }

__attribute__((target("ssse3"))) void expand_by_shuffles(const area &a, const unsigned char *values,
                                                        unsigned char *out)
{
    const int groups = a.groups;
    const int32_t *window = a.window;
    const unsigned char *shuffle = a.shuffle;
    for (int g = 0; g < groups; g++) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(values + window[g]));
        const __m128i pick = _mm_loadu_si128(reinterpret_cast<const __m128i *>(shuffle + 16 * g));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 16 * g), _mm_shuffle_epi8(v, pick));
    }
}
#else
bool have_shuffles() { return false; }
void expand_by_shuffles(const area &, const unsigned char *, unsigned char *) {}
#endif

/* How each 16 bytes of a row's pixels come from a 16-byte window of its
 * cell values; none when some 16 bytes of pixels span more cells. */
template <class T>
void plan_shuffles(area &a, int32_t *window, unsigned char *shuffle)
{
    constexpr int Per_group = 16 / sizeof(T);
    a.groups = (a.pw + Per_group - 1) / Per_group;
    for (int g = 0; g < a.groups; g++) {
        const int k0 = g * Per_group, k1 = std::min(a.pw, k0 + Per_group);
        const int lo = std::min(a.col[k0], a.col[k1 - 1]), hi = std::max(a.col[k0], a.col[k1 - 1]);
        if (hi - lo >= Per_group)
            return;
        window[g] = lo * static_cast<int>(sizeof(T));
        for (int j = 0; j < Per_group; j++) {
            const int c = a.col[std::min(k0 + j, k1 - 1)] - lo;
            for (size_t b = 0; b < sizeof(T); b++)
                shuffle[16 * g + j * static_cast<int>(sizeof(T)) + static_cast<int>(b)] =
                    static_cast<unsigned char>(c * static_cast<int>(sizeof(T)) + static_cast<int>(b));
        }
    }
    a.window = window;
    a.shuffle = shuffle;
}

/* One row of pixels for row j of the field; true when one of its cells is
 * NaN.  Where cells are no more than pixels across, each cell's pixel
 * value is worked out once, into values, and spread over its columns. */
template <class T, class Z>
bool colour_row(const field<Z> &f, int j, const area &a, const T *pal, T *values, T *out)
{
    const Z *z = f.row(j) + a.c0;
    if (a.cells <= a.pw) {
        const bool nan = values_of(f, z, a.cells, pal, values);
        if (a.shuffle)
            expand_by_shuffles(a, reinterpret_cast<unsigned char *>(values), reinterpret_cast<unsigned char *>(out));
        else
            for (int k = 0; k < a.pw; k++)
                out[k] = values[a.col[k]];
        return nan;
    }
    bool nan = false;
    for (int k = 0; k < a.pw; k++) {
        const Z v = z[a.col[k]];
        nan |= v != v;
        out[k] = pal[f.step(v)];
    }
    return nan;
}

/* The mask bits of rows r0 .. r0 + n - 1 of the area: set where the cell
 * is a number. */
template <class Z>
void mask_bits(const field<Z> &f, const area &a, int r0, int n, unsigned char *bits)
{
    const size_t row = static_cast<size_t>(a.pw + 7) / 8;
    for (int r = 0; r < n; r++) {
        unsigned char *dst = bits + row * static_cast<size_t>(r);
        if (r > 0 && a.row[r0 + r] == a.row[r0 + r - 1]) {
            memcpy(dst, dst - row, row);
            continue;
        }
        memset(dst, 0, row);
        const Z *z = f.row(a.row[r0 + r]) + a.c0;
        for (int k = 0; k < a.pw; k++)
            if (z[a.col[k]] == z[a.col[k]])
                dst[k / 8] |= static_cast<unsigned char>(0x80u >> (k % 8));
    }
}

/* Draws the field with sizeof(T) bytes per pixel, strip by strip; a strip
 * whose cells include a NaN goes through the mask.  The scratch buffer
 * starts with the cells of the canvas's columns, then its rows. */
template <class T, class Z>
void draw_field(int wn, const field<Z> &f, area a, int palette)
{
    T pal[256 + 4 / sizeof(T)] = {};
    palette_pixels(palette, pal);
    auto align = [](size_t n) { return (n + 7) & ~size_t{7}; };
    const pc_window &w = Pc[wn];
    const size_t pw = static_cast<size_t>(a.pw), ph = static_cast<size_t>(a.ph);
    const size_t out_row = pw * sizeof(T), mask_row = (pw + 7) / 8;
    const size_t strip = std::min(ph, std::max<size_t>(1, Put_strip_bytes / out_row));
    const size_t cells = static_cast<size_t>(std::min(a.cells, a.pw));
    const size_t groups = (pw * sizeof(T) + 15) / 16;
    /* After the cells of the columns and rows: cell values, shuffle windows
     * and picks, mask bits, and a strip of pixel rows, those of values and
     * rows with 16 bytes of slack for whole-block loads and stores. */
    enum { Cells, Values, Windows, Picks, Mask, Regions };
    const size_t sizes[Regions] = {sizeof(int32_t) * static_cast<size_t>(w.width + w.height),
                                   sizeof(T) * cells + 16,
                                   sizeof(int32_t) * groups,
                                   16 * groups,
                                   mask_row * strip};
    size_t offset[Regions], end = 0;
    for (int i = 0; i < Regions; i++) {
        offset[i] = end;
        end += align(sizes[i]);
    }
    /* Grown to its full size: the cells found so far move with it. */
    unsigned char *s = transfer_scratch(end + strip * out_row + 16);
    auto *col = reinterpret_cast<int32_t *>(s) + a.px;
    a.row = reinterpret_cast<int32_t *>(s) + w.width + a.py;
    for (int k = 0; k < a.pw; k++)
        col[k] -= a.c0;
    a.col = col;
    if (a.cells <= a.pw && have_shuffles())
        plan_shuffles<T>(a, reinterpret_cast<int32_t *>(s + offset[Windows]), s + offset[Picks]);
    T *values = reinterpret_cast<T *>(s + offset[Values]);
    unsigned char *mask = s + offset[Mask];
    T *out = reinterpret_cast<T *>(s + end);
    put_to_write_layer(wn, [&](Drawable d, GC gc) {
        const T *last = nullptr;
        bool last_nan = false;
        for (size_t r0 = 0; r0 < ph; r0 += strip) {
            const size_t n = std::min(strip, ph - r0);
            bool nan = false;
            for (size_t r = 0; r < n; r++) {
                T *dst = out + r * pw;
                if (!last || a.row[r0 + r] != a.row[r0 + r - 1])
                    last_nan = colour_row(f, a.row[r0 + r], a, pal, values, dst);
                else if (dst != last)
                    memcpy(dst, last, out_row);
                nan |= last_nan;
                last = dst;
            }
            const int y = a.py + static_cast<int>(r0);
            auto put = [&] {
                put_rows(d, gc, reinterpret_cast<unsigned char *>(out), a.px, y, a.pw, static_cast<int>(n),
                         static_cast<int>(sizeof(T)));
            };
            if (nan) {
                mask_bits(f, a, static_cast<int>(r0), static_cast<int>(n), mask);
                send_mask(mask, a.pw, static_cast<int>(n));
                through_mask(gc, a.px, y, put);
            } else {
                put();
            }
        }
    });
}

/* Bad arguments get a message and -1 before anything is drawn. */
bool field_arguments(const void *z, int nx, int ny, const double (&corners)[4], double zmin,
                     double zmax, int palette, const char *where)
{
    const char *why = nullptr;
    char text[160];
    if (palette < KOVA_PALETTE_GREY || palette > KOVA_PALETTE_DIVERGING) {
        snprintf(text, sizeof text, "Unknown palette %d", palette);
        why = text;
    } else if (!z) {
        why = "No array of values";
    } else if (nx < 1 || ny < 1) {
        snprintf(text, sizeof text, "Invalid field size %dx%d", nx, ny);
        why = text;
    } else if (!std::isfinite(zmin) || !std::isfinite(zmax) || !(zmax > zmin)) {
        snprintf(text, sizeof text, "Invalid value range %g to %g", zmin, zmax);
        why = text;
    } else if (!std::all_of(std::begin(corners), std::end(corners), [](double v) { return std::isfinite(v); })) {
        why = "Field corners that are no finite numbers";
    }
    if (why) {
        _kova_error("%s at %s()", why, where);
        return false;
    }
    return true;
}

template <class Z>
int put_field(int wn, double x0, double y0, double x1, double y1, const Z *z, int nx, int ny,
              double zmin, double zmax, int palette, const char *where)
{
    size_t bytes;
    if (!window_is_open(wn) || !field_arguments(z, nx, ny, {x0, y0, x1, y1}, zmin, zmax, palette, where) ||
        !image_size_fits(nx, ny, where, &bytes, static_cast<int>(sizeof(Z))))
        return -1;
    const pc_window &w = Pc[wn];
    /* The cells of every canvas column, then of every row. */
    auto *cell = reinterpret_cast<int32_t *>(
        transfer_scratch(sizeof(int32_t) * static_cast<size_t>(w.width + w.height)));
    area a{};
    if (!cells_of_pixels(x_axis(w, x0, x1, nx), w.width, cell, &a.px, &a.pw) ||
        !cells_of_pixels(y_axis(w, y0, y1, ny), w.height, cell + w.width, &a.py, &a.ph))
        return 0;
    a.c0 = std::min(cell[a.px], cell[a.px + a.pw - 1]);
    a.cells = std::max(cell[a.px], cell[a.px + a.pw - 1]) - a.c0 + 1;
    a.row = cell + w.width + a.py;
    const field<Z> f = field_of(z, nx, zmin, zmax);
    if (Pc_depth <= 8)
        draw_field<uint8_t>(wn, f, a, palette);
    else if (Pc_depth <= 16)
        draw_field<uint16_t>(wn, f, a, palette);
    else
        draw_field<uint32_t>(wn, f, a, palette);
    return 0;
}

} // namespace

extern "C" KOVA_API int kova_putfield(int wn, double x0, double y0, double x1, double y1, const double *z,
                                      int nx, int ny, double zmin, double zmax, int palette)
{
    return put_field(wn, x0, y0, x1, y1, z, nx, ny, zmin, zmax, palette, "putfield");
}

extern "C" KOVA_API int kova_putfieldf(int wn, double x0, double y0, double x1, double y1, const float *z,
                                       int nx, int ny, double zmin, double zmax, int palette)
{
    return put_field(wn, x0, y0, x1, y1, z, nx, ny, zmin, zmax, palette, "putfieldf");
}
