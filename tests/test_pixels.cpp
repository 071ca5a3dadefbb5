// kova-test-depths: 24 16 8
// Pixel transfer: images put into layers and read back, masks, area copies
// within and between windows, the pen's drawing function, placement with
// the y axis upward, the colormapped read-back and refused sizes.  Layers
// are read on the test's own connection.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" void putimg24_(int *wn, float *x, float *y, int *width, int *height, int *rgb);

namespace {

constexpr int W = 40, H = 30;

using Rgb = std::array<int, 3>;

// A width x height image buffer; pixel (i, j) is colour(i, j) with the
// given alpha.
template <class F>
std::vector<unsigned char> image(int width, int height, F colour, int alpha = 255)
{
    std::vector<unsigned char> buf(4 * static_cast<size_t>(width) * static_cast<size_t>(height));
    unsigned char *p = buf.data();
    for (int j = 0; j < height; j++)
        for (int i = 0; i < width; i++, p += 4) {
            Rgb c = colour(i, j);
            p[0] = static_cast<unsigned char>(alpha);
            for (int k = 0; k < 3; k++)
                p[k + 1] = static_cast<unsigned char>(c[k]);
        }
    return buf;
}

// An asymmetric 6 x 5 picture: a flipped row or swapped channel shows.
Rgb pattern(int i, int j) { return {40 * i + 15, 255 - 50 * j, (i == 0 && j == 0) ? 255 : 9 * j}; }

bool colour_puts() { return kt::depth() >= 16; }

// What the screen keeps of an 8-bit channel value: its top bits.
int kept(int v, int bits) { return v & (0xff << (8 - bits)) & 0xff; }

int bits_of(unsigned long mask)
{
    int n = 0;
    for (; mask; mask >>= 1)
        n += static_cast<int>(mask & 1);
    return n;
}

Rgb as_read(Rgb c)
{
    Visual *v = DefaultVisual(kt::dpy(), DefaultScreen(kt::dpy()));
    return {kept(c[0], bits_of(v->red_mask)), kept(c[1], bits_of(v->green_mask)),
            kept(c[2], bits_of(v->blue_mask))};
}

TEST(Pixels, PutsAndReadsRoundTrip)
{
    kt::OpenWindow w(W, H, 0);
    std::vector<unsigned char> buf = image(6, 5, pattern, 7);
    if (!colour_puts()) {
        EXPECT_EQ(kova_putimg24(w.wn(), 0, 0, 6, 5, buf.data()), -1);
        EXPECT_EQ(kova_gputimage(w.wn(), 0, 0, buf.data(), 6, 5, 1), -1);
        return;
    }
    ASSERT_EQ(kova_putimg24(w.wn(), 3, 2, 6, 5, buf.data()), 0);
    for (int j = 0; j < 5; j++)
        for (int i = 0; i < 6; i++) {
            Rgb c = pattern(i, j);
            EXPECT_EQ(kt::synced_pixel(w.layer(), 3 + i, 2 + j), kt::truecolor(c[0], c[1], c[2]));
            EXPECT_EQ(kt::pixel(w.window(), 3 + i, 2 + j), kt::truecolor(c[0], c[1], c[2]));
        }
    int rw = 0, rh = 0;
    unsigned char *back = kova_ggetimage(w.wn(), 0, 8, 6, 3, 2, &rw, &rh);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(rw, 6);
    ASSERT_EQ(rh, 5);
    for (int j = 0; j < 5; j++)
        for (int i = 0; i < 6; i++) {
            const unsigned char *p = back + 4 * (j * 6 + i);
            Rgb c = as_read(pattern(i, j));
            EXPECT_EQ((Rgb{p[0], p[1], p[2]}), (Rgb{255, c[0], c[1]})) << i << "," << j;
            EXPECT_EQ(p[3], c[2]);
        }
    free(back);

    // White reads back as the visual keeps it: 248, 252, 248 on 5-6-5.
    kova_newrgbcolor(w.wn(), 255, 255, 255);
    kova_pset(w.wn(), 0, 0);
    back = kova_ggetimage(w.wn(), 0, 0, 0, 0, 0, &rw, &rh);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(rw * rh, 1);
    Rgb white = kt::depth() == 16 ? Rgb{248, 252, 248} : Rgb{255, 255, 255};
    EXPECT_EQ((Rgb{back[1], back[2], back[3]}), white);
    free(back);

    // Corners partly outside the canvas are clamped.
    back = kova_ggetimage(w.wn(), 0, -100, -5, 1, 1000, &rw, nullptr);
    EXPECT_EQ(rw, 2);
    free(back);

    // Nothing to put; no image; the Fortran twin (alpha 0 does not matter).
    EXPECT_EQ(kova_putimg24(w.wn(), 0, 0, 0, 5, buf.data()), 0);
    EXPECT_EQ(kova_putimg24(w.wn(), 0, 0, 6, 5, nullptr), -1);
    std::vector<int> rgb = {1, 2, 3, 0x104, 0x205, 0x306};
    int wn = w.wn(), two = 2, one = 1;
    float x = 30, y = 20;
    putimg24_(&wn, &x, &y, &two, &one, rgb.data());
    EXPECT_EQ(kt::synced_pixel(w.layer(), 31, 20), kt::truecolor(4, 5, 6));
}

TEST(Pixels, WithTheYAxisUpTheImageSitsOnTheBottomRow)
{
    if (!colour_puts())
        GTEST_SKIP() << "no colour puts below 16 bits";
    kt::OpenWindow w(W, H, KOVA_ATTR_Y_UP);
    std::vector<unsigned char> buf = image(6, 5, pattern);
    ASSERT_EQ(kova_gputimage(w.wn(), 0, 0, buf.data(), 6, 5, 0), 0);
    Rgb first = pattern(0, 0), last = pattern(0, 4);
    EXPECT_EQ(kt::synced_pixel(w.layer(), 0, H - 5), kt::truecolor(first[0], first[1], first[2]));
    EXPECT_EQ(kt::pixel(w.layer(), 0, H - 1), kt::truecolor(last[0], last[1], last[2]));
    EXPECT_EQ(kt::pixel(w.layer(), 0, H - 6), w.rec().bg_pixel);
    // An image hanging over every edge keeps what lands on the canvas.
    auto scatter = [](int i, int j) { return Rgb{(i * 37) % 256, (j * 53 + i * 11) % 256, (i * 71) % 256}; };
    std::vector<unsigned char> big = image(W + 20, H + 20, scatter);
    ASSERT_EQ(kova_putimg24(w.wn(), -10, -10, W + 20, H + 20, big.data()), 0);
    Rgb corner = scatter(10, 10), far = scatter(W + 9, H + 9);
    EXPECT_EQ(kt::synced_pixel(w.layer(), 0, 0), kt::truecolor(corner[0], corner[1], corner[2]));
    EXPECT_EQ(kt::pixel(w.layer(), W - 1, H - 1), kt::truecolor(far[0], far[1], far[2]));
    int rw = 0, rh = 0;
    unsigned char *back = kova_ggetimage(w.wn(), 0, 0, 0, W - 1, H - 1, &rw, &rh);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(rw * rh, W * H);
    for (int k = 0; k < W * H; k++) {
        Rgb c = as_read(scatter(k % W + 10, k / W + 10));
        ASSERT_EQ((Rgb{back[4 * k + 1], back[4 * k + 2], back[4 * k + 3]}), c) << k;
    }
    free(back);
}

TEST(Pixels, AMaskedPutLeavesTransparentPixelsAlone)
{
    if (!colour_puts())
        GTEST_SKIP() << "no colour puts below 16 bits";
    kt::OpenWindow w(W, H, 0);
    kova_newcolor(w.wn(), "#00ff00");
    kova_fillrect(w.wn(), 0, 0, W, H);
    const unsigned long green = kt::truecolor(0, 255, 0), red = kt::truecolor(255, 0, 0);
    // Wide then tall: the mask grows, and is filled afresh each time.
    for (auto [iw, ih] : {std::pair{9, 2}, {2, 9}, {3, 3}}) {
        std::vector<unsigned char> buf = image(iw, ih, [](int, int) { return Rgb{255, 0, 0}; });
        for (int k = 0; k < iw * ih; k++)
            buf[4 * static_cast<size_t>(k)] = static_cast<unsigned char>((k % 3 == 0) ? 0 : k % 3);
        ASSERT_EQ(kova_putimg24m(w.wn(), 10, 10, iw, ih, buf.data()), 0);
        for (int k = 0; k < iw * ih; k++) {
            unsigned long want = k % 3 == 0 ? green : red;
            EXPECT_EQ(kt::synced_pixel(w.layer(), 10 + k % iw, 10 + k / iw), want) << iw << " " << k;
            EXPECT_EQ(kt::pixel(w.window(), 10 + k % iw, 10 + k / iw), want);
        }
        kova_fillrect(w.wn(), 0, 0, W, H);
    }
    // After a masked put, unmasked puts are not clipped.
    std::vector<unsigned char> clear = image(4, 4, [](int, int) { return Rgb{255, 0, 0}; }, 0);
    ASSERT_EQ(kova_gputimage(w.wn(), 20, 20, clear.data(), 4, 4, 0), 0);
    EXPECT_EQ(kt::lit(w.layer(), 0, 0, W, H, green), kt::block(20, 20, 23, 23));
}

// Twenty columns of distinct colours along the top rows.
std::vector<unsigned long> striped(const kt::OpenWindow &w)
{
    for (int i = 0; i < 20; i++) {
        kova_newrgbcolor(w.wn(), 12 * i, 255 - 12 * i, 128);
        kova_drawline(w.wn(), i, 0, i, 9);
    }
    return kt::area(w.layer(), 0, 0, 20, 1);
}

TEST(Pixels, AreaCopiesWithinALayerAndBetweenWindows)
{
    // b opens over a: its window is the one on view.
    kt::OpenWindow a(W, H, 0), b(W, H, 0);
    std::vector<unsigned long> cols = striped(b);
    // Overlapping, both ways: the pixels as they were before the call.
    kova_gputarea(b.wn(), 5, 0, b.wn(), 0, 0, 0, 14, 9);
    std::vector<unsigned long> want = cols;
    std::copy(cols.begin(), cols.begin() + 15, want.begin() + 5);
    EXPECT_EQ(kt::area(b.layer(), 0, 0, 20, 1), want);
    EXPECT_EQ(kt::area(b.window(), 0, 0, 20, 1), want);
    EXPECT_EQ(kt::area(b.layer(), 0, 9, 20, 1), want);
    EXPECT_EQ(kt::pixel(b.layer(), 0, 10), b.rec().bg_pixel);
    kova_gputarea(b.wn(), 0, 0, b.wn(), 0, 5, 0, 19, 0);
    std::vector<unsigned long> back = want;
    std::copy(want.begin() + 5, want.end(), back.begin());
    EXPECT_EQ(kt::area(b.layer(), 0, 0, 20, 1), back);

    // From a hidden layer of another window, given by reversed corners.
    kova_layer(a.wn(), -1, 1);
    cols = striped(a);
    kova_gputarea(b.wn(), 30, 5, a.wn(), 1, 4, 1, 0, 0);
    EXPECT_EQ(kt::area(b.layer(), 30, 5, 5, 1), std::vector<unsigned long>(cols.begin(), cols.begin() + 5));
    EXPECT_EQ(kt::area(b.window(), 30, 6, 6, 1),
              (std::vector<unsigned long>{cols[0], cols[1], cols[2], cols[3], cols[4], b.rec().bg_pixel}));
    EXPECT_EQ(kt::pixel(b.layer(), 30, 7), b.rec().bg_pixel);

    XGCValues v;
    XGetGCValues(Pc_dis, b.rec().pen_gc, GCFillStyle | GCFillRule, &v);
    EXPECT_EQ(v.fill_style, FillSolid);
    EXPECT_EQ(v.fill_rule, WindingRule);

    const std::string bad = "KOVA: [ERROR] Invalid layer index at gputarea()\n";
    EXPECT_EQ(kt::capture_stderr([&] { kova_gputarea(b.wn(), 0, 0, a.wn(), 4, 0, 0, 5, 5); }), bad);
    EXPECT_EQ(kt::capture_stderr([&] { kova_gputarea(b.wn(), 0, 0, a.wn(), -1, 0, 0, 5, 5); }), bad);
    unsigned char *none = nullptr;
    EXPECT_EQ(kt::capture_stderr([&] { none = kova_ggetimage(a.wn(), 8, 0, 0, 5, 5, nullptr, nullptr); }),
              "KOVA: [ERROR] Invalid layer index at ggetimage()\n");
    EXPECT_EQ(none, nullptr);
}

TEST(Pixels, ThePensDrawingFunctionAppliesToCopiesAndPuts)
{
    kt::OpenWindow w(W, H, 0);
    kova_newrgbcolor(w.wn(), 200, 100, 50);
    kova_fillrect(w.wn(), 0, 0, W, 10);
    kova_newrgbcolor(w.wn(), 10, 60, 250);
    kova_fillrect(w.wn(), 0, 20, 10, 10);
    const unsigned long under = kt::synced_pixel(w.layer(), 0, 0);
    const unsigned long copied = kt::pixel(w.layer(), 0, 20);
    kova_newgcfunction(w.wn(), GXxor);
    kova_gputarea(w.wn(), 0, 0, w.wn(), 0, 0, 20, 4, 24);
    EXPECT_EQ(kt::synced_pixel(w.layer(), 2, 2), under ^ copied);
    EXPECT_EQ(kt::pixel(w.layer(), 5, 2), under);
    if (!colour_puts())
        return;
    std::vector<unsigned char> buf = image(2, 2, [](int, int) { return Rgb{10, 60, 250}; });
    for (int masked : {0, 1}) {
        ASSERT_EQ(kova_gputimage(w.wn(), 20 + 5 * masked, 0, buf.data(), 2, 2, masked), 0);
        EXPECT_EQ(kt::synced_pixel(w.layer(), 21 + 5 * masked, 1), under ^ kt::truecolor(10, 60, 250));
        EXPECT_EQ(kt::pixel(w.window(), 21 + 5 * masked, 1), under ^ kt::truecolor(10, 60, 250));
    }
}

// More distinct colours than the read-back remembers, revisited after
// they were forgotten; the colormap itself is the oracle.
TEST(Pixels, ColormappedReadBackIsExact)
{
    if (kt::depth() != 8)
        GTEST_SKIP() << "a colormapped screen only";
    constexpr int N = 100;
    kt::OpenWindow w(N, 2, 0);
    for (int i = 0; i < N; i++) {
        kova_newrgbcolor(w.wn(), (i * 37) % 256, (i * 91) % 256, 255 - 2 * i);
        kova_pset(w.wn(), i, 0);
        kova_pset(w.wn(), N - 1 - i, 1);
    }
    int rw = 0, rh = 0;
    unsigned char *back = kova_ggetimage(w.wn(), 0, 0, 0, N - 1, 1, &rw, &rh);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(rw * rh, 2 * N);
    std::vector<unsigned long> px = kt::area(w.layer(), 0, 0, N, 2);
    std::vector<unsigned long> distinct(px.begin(), px.end());
    std::sort(distinct.begin(), distinct.end());
    EXPECT_GT(std::unique(distinct.begin(), distinct.end()) - distinct.begin(), 64);
    for (size_t k = 0; k < px.size(); k++) {
        XColor c;
        c.pixel = px[k];
        XQueryColor(kt::dpy(), Pc_cmap, &c);
        EXPECT_EQ((Rgb{back[4 * k], back[4 * k + 1], back[4 * k + 2]}), (Rgb{255, c.red >> 8, c.green >> 8}))
            << k;
        EXPECT_EQ(back[4 * k + 3], c.blue >> 8);
    }
    free(back);
}

TEST(Pixels, SizesWhoseBytesOverflowAreRefused)
{
    kt::OpenWindow w(W, H, 0);
    unsigned char pixel[4] = {255, 1, 2, 3};
    if (colour_puts()) {
        int r = 0;
        EXPECT_EQ(kt::capture_stderr([&] { r = kova_putimg24m(w.wn(), 0, 0, INT_MAX / 4 + 1, 1, pixel); }),
                  "KOVA: [ERROR] Image size 536870912x1 too large at putimg24m()\n");
        EXPECT_EQ(r, -1);
    }
    int wn = w.wn(), wide = INT_MAX, two = 2;
    float x = 0, y = 0;
    int rgb[3] = {1, 2, 3};
    EXPECT_EQ(kt::capture_stderr([&] { putimg24_(&wn, &x, &y, &wide, &two, rgb); }),
              "KOVA: [ERROR] Image size 2147483647x2 too large at putimg24()\n");
    EXPECT_TRUE(kt::lit(w.layer(), 0, 0, W, H, w.rec().bg_pixel).empty());
}

// Runs last: everything closed, then opened again.
TEST(Pixels, PutsWorkAfterClosingEverything)
{
    if (!colour_puts())
        GTEST_SKIP() << "no colour puts below 16 bits";
    {
        kt::OpenWindow w(W, H, 0);
        std::vector<unsigned char> buf = image(3, 3, pattern);
        ASSERT_EQ(kova_putimg24m(w.wn(), 0, 0, 3, 3, buf.data()), 0);
    }
    kova_gcloseall();
    EXPECT_EQ(Pix_mask, 0UL);
    EXPECT_EQ(Sz_tmp_img24buf, 0U);
    kt::OpenWindow w(W, H, 0);
    std::vector<unsigned char> buf = image(3, 3, pattern);
    ASSERT_EQ(kova_putimg24m(w.wn(), 0, 0, 3, 3, buf.data()), 0);
    ASSERT_EQ(kova_putimg24(w.wn(), 5, 0, 3, 3, buf.data()), 0);
    Rgb c = pattern(2, 2);
    EXPECT_EQ(kt::synced_pixel(w.layer(), 2, 2), kt::truecolor(c[0], c[1], c[2]));
    EXPECT_EQ(kt::pixel(w.layer(), 7, 2), kt::truecolor(c[0], c[1], c[2]));
}

} // namespace
