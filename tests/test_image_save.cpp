// kova-test-depths: 24 16 8
// Saving an area of a layer in the background: the file holds the layer's
// pixels as the server has them, the call returns before the file is
// complete, and every later change of a layer waits for the save.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern "C" void saveimg_(int *wn, int *layer, float *x0, float *y0, float *x1, float *y1,
                         const char *name, int *nd, const char *conv, int *levels);

namespace {

constexpr int W = 120, H = 80;

struct Scratch {
    std::string dir;
    Scratch()
    {
        char tmpl[] = "/tmp/kova_save_XXXXXX";
        dir = mkdtemp(tmpl);
    }
    ~Scratch() { std::system(("rm -rf " + dir).c_str()); }
    std::string operator/(const std::string &name) const { return dir + "/" + name; }
};

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The 8-bit red, green and blue of an area as the server holds it: the
// colormap's colours on a colormapped screen, else each channel's bits at
// the top of the byte.
std::vector<unsigned char> server_rgb(Drawable d, int x, int y, int w, int h)
{
    std::vector<unsigned long> px = kt::area(d, x, y, w, h);
    Visual *v = Pc_visual;
    std::vector<unsigned char> out;
    for (unsigned long p : px) {
        if (v->c_class == PseudoColor || v->c_class == StaticColor || v->c_class == GrayScale) {
            XColor c;
            c.pixel = p;
            XQueryColor(kt::dpy(), Pc_cmap, &c);
            out.insert(out.end(), {static_cast<unsigned char>(c.red >> 8),
                                   static_cast<unsigned char>(c.green >> 8),
                                   static_cast<unsigned char>(c.blue >> 8)});
            continue;
        }
        for (unsigned long mask : {v->red_mask, v->green_mask, v->blue_mask}) {
            int shift = __builtin_ctzl(mask), bits = __builtin_popcountl(mask);
            out.push_back(static_cast<unsigned char>((((p & mask) >> shift) << (16 - bits)) >> 8));
        }
    }
    return out;
}

// The samples of a P6 file after its three header lines.
std::vector<unsigned char> samples(const std::string &file, std::string *header = nullptr)
{
    std::string bytes = slurp(file);
    size_t at = 0;
    for (int line = 0; line < 3 && at != std::string::npos; line++)
        at = bytes.find('\n', at) + 1;
    if (header)
        *header = bytes.substr(0, at);
    return std::vector<unsigned char>(bytes.begin() + static_cast<long>(at), bytes.end());
}

// More than 64 colours, so that a colormapped screen needs more colour
// queries than the child remembers.
void stripes(int wn)
{
    for (int i = 0; i < 100; i++) {
        kova_newrgbcolor(wn, i * 2, 255 - i * 2, (i * 37) % 256);
        kova_drawline(wn, i, 0, i, H - 1);
    }
    kova_newrgbcolor(wn, 255, 255, 255);
    kova_fillrect(wn, 100, 10, 20, 20);
}

} // namespace

TEST(ImageSave, TheFileHoldsTheLayerAsTheServerHasIt)
{
    Scratch s;
    kt::OpenWindow w(W, H);
    stripes(w.wn());
    const std::vector<unsigned char> want = server_rgb(w.layer(), 0, 0, W, H);
    // Corners in either order, in user coordinates (y up).
    ASSERT_EQ(kova_gsaveimage(w.wn(), 0, W - 1, 0, 0, H - 1, nullptr, 256, "%s", (s / "a.ppm").c_str()), 0);
    wait_child();
    std::string header;
    EXPECT_EQ(samples(s / "a.ppm", &header), want);
    EXPECT_EQ(header, "P6\n120 80\n255\n");

    ASSERT_EQ(kova_saveimg(w.wn(), 0, 10, 10, 19, 14, "", 2, "%s", (s / "b.ppm").c_str()), 0);
    wait_child();
    std::vector<unsigned char> two = samples(s / "b.ppm", &header);
    EXPECT_EQ(header, "P6\n10 5\n1\n");
    // Rows 65..69 from the top (y up: user 10..14), columns 10..19.
    std::vector<unsigned char> want2;
    for (int y = H - 1 - 14; y <= H - 1 - 10; y++)
        for (int x = 10; x <= 19; x++)
            for (int c = 0; c < 3; c++)
                want2.push_back(want[static_cast<size_t>(3 * (y * W + x) + c)] >= 128);
    EXPECT_EQ(two, want2);

    // Through the real converter to PNG, and back.
    setenv("PATH", ("/usr/bin:/bin:" + std::string(getenv("PATH"))).c_str(), 1);
    ASSERT_EQ(kova_gsaveimage(w.wn(), 0, 0, 0, W - 1, H - 1, "convert", 256, "%s", (s / "c.png").c_str()), 0);
    wait_child();
    int iw = 0, ih = 0, msk = -1;
    unsigned char *back = kova_readimage("convert", (s / "c.png").c_str(), &iw, &ih, &msk);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(iw * 1000 + ih, W * 1000 + H);
    std::vector<unsigned char> rgb;
    for (int i = 0; i < W * H; i++)
        rgb.insert(rgb.end(), back + 4 * i + 1, back + 4 * i + 4);
    EXPECT_EQ(rgb, want);
    free(back);
}

TEST(ImageSave, ReturnsAtOnceAndLayerChangesWaitForTheSave)
{
    Scratch s;
    std::ofstream(s / "slowcat") << "#!/bin/sh\nsleep 0.5\nexec cat\n";
    chmod((s / "slowcat").c_str(), 0755);
    kt::OpenWindow w(W, H, 0);
    stripes(w.wn());
    const std::vector<unsigned char> want = server_rgb(w.layer(), 0, 0, W, H);
    ASSERT_EQ(kova_gsaveimage(w.wn(), 0, 0, 0, W - 1, H - 1, (s / "slowcat").c_str(), 256, "%s",
                              (s / "slow.ppm").c_str()), 0);
    EXPECT_NE(Chld_imgsave_stat, 0);
    EXPECT_LT(slurp(s / "slow.ppm").size(), want.size());
    // The save reads the layer as it was: the drawing waits for it.
    kova_newrgbcolor(w.wn(), 0, 0, 0);
    kova_fillrect(w.wn(), 0, 0, W, H);
    EXPECT_EQ(Chld_imgsave_stat, 0);
    EXPECT_EQ(samples(s / "slow.ppm"), want);
    EXPECT_TRUE(kt::eventually([] { return Cpid_saveimg == 0; }));

    // Fortran: the number goes before the extension of the last path
    // component.
    int layer = 0, nd = 7, levels = 256, none = -1;
    float x0 = 0, y0 = 0, x1 = 3, y1 = 3;
    mkdir((s / "dir.d").c_str(), 0755);
    for (const char *name : {"pic.png", "out", "dir.d/pic"}) {
        int wn = w.wn();
        std::string full = s / name;
        saveimg_(&wn, &layer, &x0, &y0, &x1, &y1, full.c_str(), &nd, "", &levels);
        wait_child();
    }
    int wn = w.wn();
    std::string plain = s / "plain.ppm";
    saveimg_(&wn, &layer, &x0, &y0, &x1, &y1, plain.c_str(), &none, "", &levels);
    wait_child();
    for (const char *name : {"pic7.png", "out7", "dir.d/pic7", "plain.ppm"})
        EXPECT_EQ(slurp(s / name).substr(0, 3), "P6\n") << name;

    // Reading the file at once waits for the save: it is complete.
    stripes(w.wn());
    const std::string file = s / "pic.ppm", slow = s / "slowcat";
    ASSERT_EQ(kova_gsaveimage(w.wn(), 0, 0, 0, W - 1, H - 1, slow.c_str(), 256, "%s", file.c_str()), 0);
    int iw = 0, ih = 0, msk = -1;
    unsigned char *back = kova_readimage(nullptr, file.c_str(), &iw, &ih, &msk);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(iw * 1000 + ih, W * 1000 + H);
    std::vector<unsigned char> rgb;
    for (int i = 0; i < W * H; i++)
        rgb.insert(rgb.end(), back + 4 * i + 1, back + 4 * i + 4);
    free(back);
    EXPECT_EQ(rgb, server_rgb(w.layer(), 0, 0, W, H));
    // Writing it while it is being saved: the save ends first.
    ASSERT_EQ(kova_gsaveimage(w.wn(), 0, 0, 0, W - 1, H - 1, slow.c_str(), 256, "%s", file.c_str()), 0);
    const unsigned char dot[4] = {255, 1, 2, 3};
    ASSERT_EQ(kova_writeimage(dot, 1, 1, 0, nullptr, 256, "%s", file.c_str()), 0);
    EXPECT_EQ(Chld_imgsave_stat, 0);
    EXPECT_EQ(slurp(file), std::string("P6\n1 1\n255\n\1\2\3"));
}

TEST(ImageSave, RefusalsAndAChildThatNeverStarts)
{
    Scratch s;
    kt::OpenWindow w(W, H);
    const std::string name = s / "x.ppm";
    for (int layer : {-1, 8, 3}) {
        std::string err = kt::capture_stderr([&] {
            EXPECT_EQ(kova_gsaveimage(w.wn(), layer, 0, 0, 1, 1, nullptr, 256, "%s", name.c_str()), -1);
        });
        EXPECT_EQ(err, "KOVA: [ERROR] Invalid layer index at gsaveimage()\n");
    }
    EXPECT_EQ(kova_gsaveimage(w.wn(), 0, 0, 0, 1, 1, nullptr, 256, nullptr), -1);

    // A saving child that cannot reach the display ends before it
    // acknowledges: the call ends too, and nothing is left waiting.
    std::string display = getenv("DISPLAY");
    setenv("DISPLAY", ":9999", 1);
    std::string err = kt::capture_stderr([&] {
        EXPECT_EQ(kova_gsaveimage(w.wn(), 0, 0, 0, 1, 1, nullptr, 256, "%s", name.c_str()), -1);
    });
    setenv("DISPLAY", display.c_str(), 1);
    EXPECT_EQ(err, "kova: [ERROR] Cannot open display.\n");
    EXPECT_EQ(Chld_imgsave_stat, 0);
    EXPECT_EQ(Cpid_saveimg, 0);
    kova_drawline(w.wn(), 0, 0, 10, 10);
    EXPECT_EQ(access(name.c_str(), F_OK), -1);
}
