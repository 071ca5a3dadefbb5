// kova-test-depths: 24 16 8
// Replies the library waits for, counted in this process: over a network
// each one is a round trip, so colour names, text sizes and read-back must
// not come back to one per call.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"
#include "reply_count.hpp"

#include <cstdlib>

namespace {

constexpr int W = 200, H = 100;

template <class F>
unsigned long replies_of(F f)
{
    const unsigned long before = kt::replies();
    f();
    return kt::replies() - before;
}

// Named colours are parsed by the server once per name and connection;
// repeats give the same pixel, and an unknown name warns at every call.
TEST(RoundTrips, ColourNamesAreParsedOncePerName)
{
    kt::OpenWindow win(W, H, 0);
    const int wn = win.wn();
    kova_newcolor(wn, "orange");
    const unsigned long orange = win.pen_pixel();
    kova_newcolor(wn, "steel blue");
    const unsigned long blue = win.pen_pixel();
    EXPECT_EQ(replies_of([&] {
                  for (int i = 0; i < 100; i++)
                      kova_newcolor(wn, "%s", i % 2 ? "orange" : "steel blue");
              }),
              0u);
    EXPECT_EQ(win.pen_pixel(), orange);
    kova_newcolor(wn, "steel blue");
    EXPECT_EQ(win.pen_pixel(), blue);

    const std::string warning = "KOVA: [WARNING] XParseColor() failed.\n";
    EXPECT_EQ(kt::capture_stderr([&] { kova_newcolor(wn, "no such colour"); }), warning);
    unsigned long repeats = 0;
    EXPECT_EQ(kt::capture_stderr([&] {
                  repeats = replies_of([&] {
                      kova_newcolor(wn, "no such colour");
                      kova_gsetbgcolor(wn, "no such colour");
                  });
              }),
              warning + warning);
    EXPECT_EQ(repeats, 0u);
    EXPECT_EQ(win.pen_pixel(), 0u);
}

// Fonts stay loaded per size until close-all, shared by the windows: a
// window closed does not take the font of another with it.
TEST(RoundTrips, TextSizesLoadTheirFontOnce)
{
    {
        kt::OpenWindow first(W, H, 0);
        kova_drawstr(first.wn(), 10, 30, 14, 0.0, "Ab");
        kova_drawstr(first.wn(), 10, 60, 16, 0.0, "Ab");
    }
    kt::OpenWindow win(W, H, 0);
    EXPECT_EQ(replies_of([&] {
                  for (int i = 0; i < 100; i++)
                      kova_drawstr(win.wn(), 10, 30 + i % 2 * 30, i % 2 ? 16 : 14, 0.0, "Ab");
              }),
              0u);
    kt::OpenWindow::sync();
    EXPECT_FALSE(kt::lit(win.layer(), 0, 0, W, H, win.rec().bg_pixel).empty());
}

// A read-back is one request for the image and, on a colormapped screen,
// one for the colours of the pixel values it holds, however many they are.
TEST(RoundTrips, ReadBackAsksForColoursAtMostOnce)
{
    kt::OpenWindow win(W, H, 0);
    for (int i = 0; i < 100; i++) {
        kova_newrgbcolor(win.wn(), (i * 37) % 256, (i * 91) % 256, 255 - 2 * i);
        kova_fillrect(win.wn(), 2 * i, 0, 2, H);
    }
    unsigned char *image = nullptr;
    EXPECT_LE(replies_of([&] { image = kova_ggetimage(win.wn(), 0, 0, 0, W - 1, H - 1, nullptr, nullptr); }),
              kt::depth() == 8 ? 2u : 1u);
    ASSERT_NE(image, nullptr);
    std::free(image);
}

} // namespace
