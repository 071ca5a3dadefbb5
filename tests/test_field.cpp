// kova-test-depths: 24 16 8
// Fields: arrays shown as colour-mapped cells in user coordinates.  Cells,
// NaN cells and the excluded far edges over a coloured background; cell
// edges of a stretched field; the palettes' ends and lightness; the y axis
// upward; the float variant and the Fortran twin; bad input.  Pixels are
// read back on the test's own connection.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"
#include "kova_fortran.hpp"

#include <array>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

// The pixel of palette step k of the grey palette as this screen shows
// it: on 8-bit screens a palette has 32 steps, looked up as pens are.
unsigned long grey(const kt::OpenWindow &w, int k)
{
    if (kt::depth() != 8)
        return kt::truecolor(k, k, k);
    const int e = (k / 8) * 255 / 31;
    kova_newrgbcolor(w.wn(), e, e, e);
    return w.pen_pixel();
}

// A window whose user coordinates are its pixels, y downward, filled with
// a colour that no field here draws.
struct Canvas : kt::OpenWindow {
    unsigned long bg;
    Canvas(int width, int height) : kt::OpenWindow(width, height, 0)
    {
        kova_window(wn(), 0, 0, width - 1, height - 1);
        kova_newrgbcolor(wn(), 255, 0, 0);
        bg = pen_pixel();
        XFillRectangle(Pc_dis, layer(), rec().pen_gc, 0, 0, static_cast<unsigned>(width),
                       static_cast<unsigned>(height));
        kova_layer(wn(), 0, 0);
    }
};

TEST(Field, CellsNanCellsAndTheFarEdgesOverABackground)
{
    constexpr int W = 50, H = 40;
    Canvas w(W, H);
    // Cells of 10 x 10 pixels from (10, 10); the middle of the first row is NaN.
    const double z[] = {0, NaN, 255, 255, 128, -7};
    ASSERT_EQ(kova_putfield(w.wn(), 10, 10, 40, 30, z, 3, 2, 0, 256, KOVA_PALETTE_GREY), 0);
    const unsigned long cell[] = {grey(w, 0), w.bg, grey(w, 255), grey(w, 255), grey(w, 128), grey(w, 0)};
    const std::vector<unsigned long> layer = kt::area(w.layer(), 0, 0, W, H);
    EXPECT_EQ(kt::area(w.window(), 0, 0, W, H), layer) << "the shown layer is on the window";
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            const bool in = x >= 10 && x < 40 && y >= 10 && y < 30;
            const unsigned long want = in ? cell[(y - 10) / 10 * 3 + (x - 10) / 10] : w.bg;
            ASSERT_EQ(layer[static_cast<size_t>(y * W + x)], want) << x << "," << y;
        }

    // More cells than pixels, and x1 left of x0: each pixel takes the cell
    // under its centre.
    const double six[] = {0, 255, 128, 255, 255, 255};
    ASSERT_EQ(kova_putfield(w.wn(), 0, 32, 3, 34, six, 6, 1, 0, 256, KOVA_PALETTE_GREY), 0);
    ASSERT_EQ(kova_putfield(w.wn(), 13, 32, 10, 34, six, 6, 1, 0, 256, KOVA_PALETTE_GREY), 0);
    const std::vector<unsigned long> small = kt::area(w.layer(), 0, 33, 14, 1);
    const std::vector<unsigned long> small_want = {grey(w, 0), grey(w, 128), grey(w, 255), w.bg, w.bg,
                                                   w.bg, w.bg, w.bg, w.bg, w.bg, w.bg,
                                                   grey(w, 255), grey(w, 128), grey(w, 0)};
    EXPECT_EQ(small, small_want);

    // Into a hidden layer: the window keeps what it shows.
    const std::vector<unsigned long> shown = kt::area(w.layer(), 0, 0, W, H);
    kova_layer(w.wn(), 0, 1);
    const double white = 1;
    ASSERT_EQ(kova_putfield(w.wn(), 0, 0, W, H, &white, 1, 1, 0, 1, KOVA_PALETTE_GREY), 0);
    EXPECT_EQ(kt::area(w.window(), 0, 0, W, H), shown);
    EXPECT_EQ(kt::synced_pixel(w.rec().layers[1], W - 1, H - 1), grey(w, 255));
}

TEST(Field, CellEdgesOfAStretchedField)
{
    constexpr int W = 300, H = 10;
    Canvas w(W, H);
    const double z[] = {0, 128, 255};
    // Sides on pixel centres: cells of exactly 100 pixels.
    ASSERT_EQ(kova_putfield(w.wn(), 0, 0, 300, H, z, 3, 1, 0, 256, KOVA_PALETTE_GREY), 0);
    std::vector<unsigned long> row = kt::area(w.layer(), 0, 5, W, 1);
    for (int x = 0; x < W; x++)
        ASSERT_EQ(row[static_cast<size_t>(x)], grey(w, x < 100 ? 0 : x < 200 ? 128 : 255)) << x;
    // Eleven float cells of 27 pixels from x = 297 leftward to x = 0, which
    // stays out.
    std::vector<float> ramp(11);
    for (size_t k = 0; k < ramp.size(); k++)
        ramp[k] = 20.0f * static_cast<float>(k);
    ASSERT_EQ(kova_putfieldf(w.wn(), 297, 0, 0, H, ramp.data(), 11, 1, 0, 256, KOVA_PALETTE_GREY), 0);
    row = kt::area(w.layer(), 0, 5, W, 1);
    for (int x = 0; x < W; x++)
        ASSERT_EQ(row[static_cast<size_t>(x)], x == 0 ? grey(w, 0) : x > 297 ? grey(w, 255) : grey(w, 20 * ((297 - x) / 27)))
            << x;
    // User units of 299 pixels: the edges fall at 99.67 and 199.33, the far
    // side on pixel 299, which stays out.
    kova_newrgbcolor(w.wn(), 255, 0, 0);
    kova_fillrect(w.wn(), 0, 0, W, H);
    kova_window(w.wn(), 0, 0, 1, 1);
    ASSERT_EQ(kova_putfield(w.wn(), 0, 0, 1, 1, z, 3, 1, 0, 256, KOVA_PALETTE_GREY), 0);
    row = kt::area(w.layer(), 0, 5, W, 1);
    for (int x = 0; x < W; x++)
        ASSERT_EQ(row[static_cast<size_t>(x)], x == 299 ? w.bg : grey(w, x < 100 ? 0 : x < 200 ? 128 : 255))
            << x;
}

// CIE lightness of an 8-bit sRGB colour.
double lightness(const unsigned char *rgb)
{
    auto lin = [](int c) {
        double v = c / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const double y = 0.2126 * lin(rgb[0]) + 0.7152 * lin(rgb[1]) + 0.0722 * lin(rgb[2]);
    return y > 0.008856 ? 116 * std::cbrt(y) - 16 : 903.3 * y;
}

TEST(Field, PaletteEndsAndLightness)
{
    kt::OpenWindow w(256, 3, 0);
    kova_window(w.wn(), 0, 0, 255, 2);
    std::vector<double> ramp(256);
    for (int k = 0; k < 256; k++)
        ramp[static_cast<size_t>(k)] = k;
    for (int p : {KOVA_PALETTE_GREY, KOVA_PALETTE_SEQUENTIAL, KOVA_PALETTE_DIVERGING})
        ASSERT_EQ(kova_putfield(w.wn(), 0, p, 256, p + 1, ramp.data(), 256, 1, 0, 256, p), 0);
    int rw = 0, rh = 0;
    unsigned char *img = kova_ggetimage(w.wn(), 0, 0, 0, 255, 2, &rw, &rh);
    ASSERT_TRUE(img && rw == 256 && rh == 3);
    using Rgb = std::array<int, 3>;
    auto at = [&](int p, int k) { return img + 4 * (p * 256 + k) + 1; };
    auto rgb = [&](int p, int k) { return Rgb{at(p, k)[0], at(p, k)[1], at(p, k)[2]}; };
    // What the screen keeps of a colour: 5-6-5 bits at 16, the colormap's at 8.
    const int tol = kt::depth() == 24 ? 0 : kt::depth() == 16 ? 7 : 12;
    auto near = [&](Rgb a, Rgb b) {
        for (int i = 0; i < 3; i++)
            if (std::abs(a[i] - b[i]) > tol)
                return false;
        return true;
    };
    EXPECT_TRUE(near(rgb(0, 0), Rgb{0, 0, 0}));
    EXPECT_TRUE(near(rgb(0, 255), Rgb{255, 255, 255}));
    EXPECT_TRUE(near(rgb(1, 0), Rgb{68, 1, 84}));
    EXPECT_TRUE(near(rgb(1, 255), Rgb{253, 231, 37}));
    EXPECT_TRUE(near(rgb(2, 0), Rgb{59, 76, 192}));
    EXPECT_TRUE(near(rgb(2, 255), Rgb{180, 4, 38}));
    // The diverging middle is near-white and carries no hue.
    const Rgb mid = rgb(2, 128);
    EXPECT_GT(std::min({mid[0], mid[1], mid[2]}), 200);
    EXPECT_LT(std::max({mid[0], mid[1], mid[2]}) - std::min({mid[0], mid[1], mid[2]}), 12);
    // The sequential palette grows lighter all the way (within the 8-bit
    // rounding of its published table) and green lies between blue and yellow.
    const int stride = kt::depth() == 24 ? 1 : 32;
    for (int k = stride; k < 256; k += stride)
        EXPECT_GT(lightness(at(1, k)) - lightness(at(1, k - stride)), -0.05) << k;
    for (int k = 32; k < 256; k += 32)
        EXPECT_GT(lightness(at(1, k)), lightness(at(1, k - 32)) + 3) << k;
    const Rgb green = rgb(1, 160);
    EXPECT_TRUE(green[1] > green[0] && green[1] > green[2]);
    free(img);
}

TEST(Field, WithTheYAxisUpTheFirstRowIsAtTheBottom)
{
    constexpr int W = 20, H = 20;
    kt::OpenWindow w(W, H, KOVA_ATTR_Y_UP);
    kova_window(w.wn(), 0, 0, W - 1, H - 1);
    const double z[] = {0, 1};
    const unsigned long black = grey(w, 0), white = grey(w, 255);
    ASSERT_EQ(kova_putfield(w.wn(), 0, 0, W, H, z, 1, 2, 0, 1, KOVA_PALETTE_GREY), 0);
    EXPECT_EQ(kt::synced_pixel(w.layer(), 0, H - 1), black);
    EXPECT_EQ(kt::pixel(w.layer(), 0, H / 2), black);
    EXPECT_EQ(kt::pixel(w.layer(), W - 1, H / 2 - 1), white);
    EXPECT_EQ(kt::pixel(w.layer(), 0, 0), white);
    // Corners the other way round turn the field over; y0 stays included
    // and y1 excluded.
    kova_gclr(w.wn());
    ASSERT_EQ(kova_putfield(w.wn(), 0, H, W, 0, z, 1, 2, 0, 1, KOVA_PALETTE_GREY), 0);
    EXPECT_EQ(kt::synced_pixel(w.layer(), 0, H - 1), w.rec().bg_pixel);
    EXPECT_EQ(kt::pixel(w.layer(), 0, H - 2), white);
    EXPECT_EQ(kt::pixel(w.layer(), 0, H / 2 - 1), white);
    EXPECT_EQ(kt::pixel(w.layer(), 0, H / 2 - 2), black);
    EXPECT_EQ(kt::pixel(w.layer(), W - 1, 0), black);
}

TEST(Field, FloatVariantAndFortranTwinDrawTheSame)
{
    constexpr int W = 64, H = 48;
    kt::OpenWindow w(W, H, KOVA_ATTR_Y_UP);
    kova_window(w.wn(), -1, -1, 1, 1);
    std::vector<double> z(7 * 5);
    std::vector<float> zf(z.size());
    for (size_t k = 0; k < z.size(); k++)
        zf[k] = static_cast<float>(z[k] = k % 4 == 3 ? NaN : std::sin(0.7 * static_cast<double>(k)));
    ASSERT_EQ(kova_putfield(w.wn(), -0.8, 0.9, 0.7, -0.6, z.data(), 7, 5, -1, 1, KOVA_PALETTE_DIVERGING), 0);
    const std::vector<unsigned long> want = kt::area(w.layer(), 0, 0, W, H);
    kova_gclr(w.wn());
    ASSERT_EQ(kova_putfieldf(w.wn(), -0.8, 0.9, 0.7, -0.6, zf.data(), 7, 5, -1, 1, KOVA_PALETTE_DIVERGING), 0);
    EXPECT_EQ(kt::area(w.layer(), 0, 0, W, H), want);
    kova_gclr(w.wn());
    int wn = w.wn(), nx = 7, ny = 5, palette = KOVA_PALETTE_DIVERGING, result = 1;
    float x0 = -0.8f, y0 = 0.9f, x1 = 0.7f, y1 = -0.6f, zmin = -1, zmax = 1;
    putfield_(&wn, &x0, &y0, &x1, &y1, zf.data(), &nx, &ny, &zmin, &zmax, &palette, &result);
    EXPECT_EQ(result, 0);
    // REAL corners are the nearest floats: a cell edge may move by a pixel.
    const std::vector<unsigned long> twin = kt::area(w.layer(), 0, 0, W, H);
    size_t differ = 0;
    for (size_t k = 0; k < twin.size(); k++)
        differ += twin[k] != want[k];
    EXPECT_LT(differ, 2u * (W + H));
}

TEST(Field, BadInputIsRefusedWithOneLine)
{
    Canvas w(30, 20);
    const double z[4] = {0, 1, 2, 3};
    const int wn = w.wn();
    const std::vector<std::pair<std::function<int()>, std::string>> cases = {
        {[&] { return kova_putfield(wn, 0, 0, 9, 9, nullptr, 2, 2, 0, 1, 0); },
         "KOVA: [ERROR] No array of values at putfield()\n"},
        {[&] { return kova_putfield(wn, 0, 0, 9, 9, z, 0, 2, 0, 1, 0); },
         "KOVA: [ERROR] Invalid field size 0x2 at putfield()\n"},
        {[&] { return kova_putfieldf(wn, 0, 0, 9, 9, reinterpret_cast<const float *>(z), 2, -1, 0, 1, 0); },
         "KOVA: [ERROR] Invalid field size 2x-1 at putfieldf()\n"},
        {[&] { return kova_putfield(wn, 0, 0, 9, 9, z, 2, 2, 1, 1, 0); },
         "KOVA: [ERROR] Invalid value range 1 to 1 at putfield()\n"},
        {[&] { return kova_putfield(wn, 0, 0, 9, 9, z, 2, 2, NaN, 1, 0); },
         "KOVA: [ERROR] Invalid value range nan to 1 at putfield()\n"},
        {[&] { return kova_putfield(wn, 0, 0, 9, 9, z, 2, 2, 0, HUGE_VAL, 0); },
         "KOVA: [ERROR] Invalid value range 0 to inf at putfield()\n"},
        {[&] { return kova_putfield(wn, 0, 0, 9, 9, z, 2, 2, 0, 1, 3); },
         "KOVA: [ERROR] Unknown palette 3 at putfield()\n"},
        {[&] { return kova_putfield(wn, 0, NaN, 9, 9, z, 2, 2, 0, 1, -1); },
         "KOVA: [ERROR] Unknown palette -1 at putfield()\n"},
        {[&] { return kova_putfield(wn, 0, NaN, 9, 9, z, 2, 2, 0, 1, 0); },
         "KOVA: [ERROR] Field corners that are no finite numbers at putfield()\n"},
        {[&] { return kova_putfield(wn, 0, 0, 9, 9, z, INT_MAX, INT_MAX, 0, 1, 0); },
         "KOVA: [ERROR] Image size 2147483647x2147483647 too large at putfield()\n"},
        {[&] { return kova_putfield(wn + 1, 0, 0, 9, 9, z, 2, 2, 0, 1, 0); },
         "KOVA: [WARNING] Window " + std::to_string(wn + 1) + " is not open.\n"},
    };
    for (const auto &c : cases) {
        int r = 0;
        EXPECT_EQ(kt::capture_stderr([&] { r = c.first(); }), c.second);
        EXPECT_EQ(r, -1) << c.second;
    }
    EXPECT_TRUE(kt::lit(w.layer(), 0, 0, 30, 20, w.bg).empty());
}

} // namespace
