// kova-test-depths: 24 16 8
// Text at an angle, read back from the server: quarter turns move the
// pixels of horizontal text exactly, other angles keep its length and
// direction, the pen's colour and function apply, and the extent of a text
// agrees with its ink.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"
#include "kova_fortran.hpp"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int W = 240, H = 240;
using Ink = std::vector<std::pair<int, int>>;

struct Angle : ::testing::Test {
    std::unique_ptr<kt::OpenWindow> win;
    void open(int attributes) { win = std::make_unique<kt::OpenWindow>(W, H, attributes); }
    int wn() const { return win->wn(); }
    Ink ink() const { return kt::lit(win->layer(), 0, 0, W, H, win->rec().bg_pixel); }
    void clear() const { XFillRectangle(Pc_dis, win->layer(), win->rec().bg_gc, 0, 0, W, H); }
    std::pair<int, int> at(double x, double y) const
    {
        int px, py;
        xyconv(wn(), x, y, &px, &py);
        return {px, py};
    }
    // The ink of text drawn at (x, y) and the angle, the layer cleared after.
    Ink drawn(double x, double y, int size, double theta, const char *text)
    {
        kova_drawstr(wn(), x, y, size, theta, "%s", text);
        Ink i = ink();
        clear();
        return i;
    }
};

// Horizontal ink with its baseline start at (hx, hy), turned by q quarter
// turns about (px, py): the pixel with corner (u, v) from the start lands
// on the pixel whose corner the turn puts there.
Ink quarter_turned(const Ink &horizontal, int hx, int hy, int px, int py, int q)
{
    Ink out;
    for (auto [x, y] : horizontal) {
        const int u = x - hx, v = y - hy;
        const std::pair<int, int> turned[4] = {
            {px + u, py + v}, {px + v, py - u - 1}, {px - u - 1, py - v - 1}, {px - v - 1, py + u}};
        out.push_back(turned[q]);
    }
    std::sort(out.begin(), out.end(), [](auto a, auto b) { return std::tie(a.second, a.first) < std::tie(b.second, b.first); });
    return out;
}

// Quarter turns on y-down and y-up windows, in a core font and a font set,
// two lines each: exactly the horizontal pixels moved (the second line
// lies beside the first at 90 degrees), whatever way the y axis points.
TEST_F(Angle, QuarterTurnsMoveThePixelsExactly)
{
    for (int attributes : {0, KOVA_ATTR_Y_UP}) {
        open(attributes);
        for (int size : {14, 0}) {
            const Ink flat = drawn(20, 120, size, 0.0, "Kova 90\nline 2");
            ASSERT_FALSE(flat.empty());
            auto [px, py] = at(120, 120);
            auto [hx, hy] = at(20, 120);
            for (int q = 1; q < 4; q++)
                EXPECT_EQ(drawn(120, 120, size, 90.0 * q, "Kova 90\nline 2"),
                          quarter_turned(flat, hx, hy, px, py, q))
                    << "size " << size << ", " << 90 * q << " degrees, attributes " << attributes;
            EXPECT_EQ(drawn(120, 120, size, -270.0, "Kova 90\nline 2"),
                      quarter_turned(flat, hx, hy, px, py, 1));
        }
        win.reset();
    }
}

// The number twins hand their angle on.
TEST_F(Angle, NumbersTurnToo)
{
    open(KOVA_ATTR_Y_UP);
    const Ink expected = drawn(100, 100, 14, 90.0, "3.14");
    float x = 100, y = 100, size = 14, value = 3.14159f, theta = 90;
    int w = wn(), ndec = 2;
    drawnum_(&w, &x, &y, &size, &value, &theta, &ndec);
    EXPECT_EQ(ink(), expected);
}

// 45 degrees: the ink runs up and to the right from the reference point,
// as long as the horizontal text and with about as many pixels.
TEST_F(Angle, FortyFiveDegreesKeepsLengthAndDirection)
{
    open(KOVA_ATTR_Y_UP);
    for (int size : {14, 0}) {
        const Ink flat = drawn(20, 120, size, 0.0, "HHHHHHHHHHHHHHHHHHHH");
        const Ink turned = drawn(20, 40, size, 45.0, "HHHHHHHHHHHHHHHHHHHH");
        auto [px, py] = at(20, 40);
        int flat_left = W, flat_right = 0;
        for (auto [x, y] : flat) {
            flat_left = std::min(flat_left, x);
            flat_right = std::max(flat_right, x);
        }
        double lo = 1e9, hi = -1e9, side = 0;
        for (auto [x, y] : turned) {
            const double u = (x + 0.5 - px) * M_SQRT1_2 - (y + 0.5 - py) * M_SQRT1_2;
            lo = std::min(lo, u);
            hi = std::max(hi, u);
            side += (x + 0.5 - px) * M_SQRT1_2 + (y + 0.5 - py) * M_SQRT1_2;
        }
        EXPECT_NEAR(lo, flat_left - 20, 1.5) << size;
        EXPECT_NEAR(hi, flat_right + 1 - 20, 1.5) << size;
        EXPECT_LT(side, 0) << size << ": the letters stand on the upper-left side of the baseline";
        EXPECT_NEAR(static_cast<double>(turned.size()), static_cast<double>(flat.size()),
                    0.15 * static_cast<double>(flat.size()))
            << size;
    }
}

// 0, 360 and -720 degrees are the horizontal text with the same requests;
// an angle that is no number draws nothing and says so once.
TEST_F(Angle, WholeTurnsAreHorizontalAndNoNumberDrawsNothing)
{
    open(KOVA_ATTR_Y_UP);
    kova_drawstr(wn(), 20, 120, 14, 0.0, "x");  // the font is loaded
    clear();
    const Ink flat = drawn(20, 120, 14, 0.0, "whole turns");
    for (double theta : {360.0, -720.0, 0.0}) {
        unsigned long before = XNextRequest(Pc_dis);
        kova_drawstr(wn(), 20, 120, 14, theta, "whole turns");
        EXPECT_EQ(XNextRequest(Pc_dis) - before, 2u) << theta;
        EXPECT_EQ(ink(), flat) << theta;
        clear();
    }
    const std::string err = kt::capture_stderr([&] {
        EXPECT_EQ(kova_drawstr(wn(), 20, 120, 14, NAN, "nan"), 3);
        float x = 20, y = 120, size = 14, theta = -INFINITY;
        int w = wn(), n = -1;
        drawstr_(&w, &x, &y, &size, "inf", &theta, &n);
    });
    EXPECT_EQ(err, "KOVA: [WARNING] Text at an angle that is not a finite number is not drawn.\n");
    EXPECT_TRUE(ink().empty());
}

// Every pixel of turned text is the pen's own, on every visual; the pen's
// drawing function applies (xor twice leaves nothing); a hidden write layer
// takes the text while the window keeps its picture.
TEST_F(Angle, PenColourFunctionAndLayers)
{
    open(KOVA_ATTR_Y_UP);
    kova_newrgbcolor(wn(), 200, 30, 60);
    kova_drawstr(wn(), 30, 100, 16, 30.0, "colour %d", 30);
    const Ink turned = ink();
    ASSERT_GT(turned.size(), 100u);
    const unsigned long pen = win->pen_pixel();
    for (auto [x, y] : turned)
        ASSERT_EQ(kt::pixel(win->layer(), x, y), pen) << x << "," << y;
    EXPECT_EQ(kt::area(win->window(), 0, 0, W, H), kt::area(win->layer(), 0, 0, W, H))
        << "the window shows it too";
    clear();

    kova_newgcfunction(wn(), GXxor);
    kova_drawstr(wn(), 30, 100, 16, 30.0, "colour 30");
    EXPECT_EQ(ink(), turned);
    kova_drawstr(wn(), 30, 100, 16, 30.0, "colour 30");
    EXPECT_TRUE(ink().empty());
    kova_newgcfunction(wn(), GXcopy);

    const std::vector<unsigned long> shown = kt::area(win->window(), 0, 0, W, H);
    kova_layer(wn(), 0, 1);
    kova_drawstr(wn(), 30, 100, 16, 30.0, "colour 30");
    EXPECT_EQ(ink(), turned) << "in the write layer";
    EXPECT_EQ(kt::area(win->window(), 0, 0, W, H), shown) << "not on the window";
}

// A long text runs far beyond the canvas in pieces: where the canvas
// shows its middle, across a seam between pieces, the turned pixels are
// still exactly the horizontal ones moved; in EUC-JP text too.
TEST_F(Angle, LongTextsAreDrawnInPieces)
{
    std::string saved = setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(setlocale(LC_CTYPE, "ja_JP.eucJP"), nullptr);
    open(0);
    ASSERT_EQ(kova_newfontset(wn(), "-*-fixed-medium-r-normal--14-*-*-*-*-*-*-*"), 0);
    std::string latin, kana;
    for (int i = 0; i < 3000; i++)
        latin += static_cast<char>('0' + i % 10);
    for (int i = 0; i < 1500; i++)
        kana += i % 2 ? "\xa5\xa2" : "\xa4\xab";
    struct Case {
        int size;
        const std::string &text;
        int start;  // the canvas shows the text from this many pixels on
    } cases[] = {{14, latin, 10100}, {0, latin, 10100}, {0, kana, 9000}};
    for (const Case &c : cases) {
        const Ink flat = drawn(-c.start, 100, c.size, 0.0, c.text.c_str());
        ASSERT_FALSE(flat.empty());
        EXPECT_EQ(drawn(100, -c.start, c.size, 270.0, c.text.c_str()),
                  quarter_turned(flat, -c.start, 100, 100, -c.start, 3))
            << "size " << c.size;
    }
    win.reset();
    setlocale(LC_CTYPE, saved.c_str());
}

// The extent: the widest line's advance, as wide as the ink within a few
// pixels; lines times the line height; user units, halved at two pixels a
// unit; the Fortran twin agrees; nothing stored for a failed call.
TEST_F(Angle, ExtentMatchesTheInk)
{
    open(KOVA_ATTR_Y_UP);
    for (int size : {14, 0}) {
        double width = 0, height = 0;
        EXPECT_EQ(kova_gettextextent(wn(), size, &width, &height, "%s", "extent of this"), 14);
        const Ink flat = drawn(20, 120, size, 0.0, "extent of this");
        int left = W, right = 0;
        for (auto [x, y] : flat) {
            left = std::min(left, x);
            right = std::max(right, x);
        }
        EXPECT_NEAR(width, right + 1 - left, 3) << size;
        const double line = height;
        EXPECT_EQ(line, size ? 14 : win->rec().fontset_height) << size;
        EXPECT_EQ(kova_gettextextent(wn(), size, &width, &height, "short\nextent of this\rx"), 22);
        EXPECT_NEAR(width, right + 1 - left, 3) << size << ": the widest line";
        EXPECT_EQ(height, 2 * line);

        float fsize = static_cast<float>(size) + 0.5f, fw = 0, fh = 0;
        int w = wn(), n = -1;
        gettextextent_(&w, &fsize, "short\nextent of this\rx", &n, &fw, &fh);
        EXPECT_EQ(fw, static_cast<float>(width));
        EXPECT_EQ(fh, static_cast<float>(height));
        n = 5;
        gettextextent_(&w, &fsize, "short\nextent of this\rx", &n, &fw, &fh);
        EXPECT_EQ(fh, static_cast<float>(line)) << "the first nchar characters";

        kova_window(wn(), 0, 0, (W - 1) / 2.0, (H - 1) / 2.0);
        double half_w, half_h;
        kova_gettextextent(wn(), size, &half_w, &half_h, "short\nextent of this\rx");
        EXPECT_EQ(half_w, width / 2);
        EXPECT_EQ(half_h, height / 2);
        kova_window(wn(), 0, 0, W - 1, H - 1);
    }
    double width = -1, height = -1;
    EXPECT_EQ(kova_gettextextent(wn(), 14, &width, &height, nullptr), -1);
    EXPECT_EQ(kova_gettextextent(wn() + 1, 14, &width, &height, "x"), -1);
    EXPECT_EQ(width, -1);
    EXPECT_EQ(height, -1);
    EXPECT_EQ(kova_gettextextent(wn(), 14, &width, &height, "%s", ""), 0);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
}

} // namespace
