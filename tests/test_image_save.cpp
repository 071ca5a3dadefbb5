// kova-test-depths: 24 16 8
// Saving an area of a layer in the background: the file holds the layer's
// pixels as the server has them, the call returns before the file is
// complete, and every later change of a layer waits for the save.  The
// file's name shows the old file or the whole new one, never a part; a
// save that fails is told, and an interrupt leaves nothing running.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern "C" void saveimg_(int *wn, int *layer, float *x0, float *y0, float *x1, float *y1,
                         const char *name, int *nd, const char *conv, int *levels);
extern "C" void gwaitsave_(int *result);

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
    // What the folder holds: no temporary file may stay behind.
    std::set<std::string> names() const
    {
        std::set<std::string> out;
        if (DIR *d = opendir(dir.c_str())) {
            while (dirent *e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    out.insert(e->d_name);
            closedir(d);
        }
        return out;
    }
    void script(const std::string &name, const std::string &body) const
    {
        std::ofstream(*this / name) << "#!/bin/sh\n" << body << "\n";
        chmod((*this / name).c_str(), 0755);
    }
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

    // A format before the name chooses it, as convert reads such names.
    ASSERT_EQ(kova_gsaveimage(w.wn(), 0, 0, 0, W - 1, H - 1, "convert", 256, "PPM:%s", (s / "c.out").c_str()), 0);
    ASSERT_EQ(kova_gwaitsave(), 0);
    EXPECT_EQ(samples(s / "c.out"), want);
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

TEST(ImageSave, WaitSaveTellsWhetherTheLastSaveWroteItsFile)
{
    Scratch s;
    s.script("fails", "cat >/dev/null; exit 1");
    kt::OpenWindow w(W, H);
    stripes(w.wn());
    auto save = [&](const char *conv, const std::string &file) {
        return kova_gsaveimage(w.wn(), 0, 0, 0, W - 1, H - 1, conv, 256, "%s", file.c_str());
    };
    ASSERT_EQ(save(nullptr, s / "good.ppm"), 0);
    EXPECT_EQ(kova_gwaitsave(), 0);
    EXPECT_EQ(samples(s / "good.ppm"), server_rgb(w.layer(), 0, 0, W, H));

    // The answer stays until the next save ends; the warning comes once,
    // from whichever call first waits for the save.
    const std::string missing = s / "no/such.ppm", failed = s / "failed.ppm";
    std::string err = kt::capture_stderr([&] {
        ASSERT_EQ(save(nullptr, missing), 0);
        EXPECT_EQ(kova_gwaitsave(), -1);
        EXPECT_EQ(kova_gwaitsave(), -1);
    });
    EXPECT_EQ(err, "kova: [ERROR] Cannot create a file.\n"
                   "KOVA: [WARNING] Cannot save '" + missing + "'.\n");
    err = kt::capture_stderr([&] {
        ASSERT_EQ(save((s / "fails").c_str(), failed), 0);
        kova_drawline(w.wn(), 0, 0, 5, 5);
        EXPECT_EQ(kova_gwaitsave(), -1);
        int result = 0;
        gwaitsave_(&result);
        EXPECT_EQ(result, -1);
    });
    EXPECT_EQ(err, "KOVA: [WARNING] Cannot save '" + failed + "'.\n");

    ASSERT_EQ(save(nullptr, s / "again.ppm"), 0);
    int result = -1;
    gwaitsave_(&result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(s.names(), (std::set<std::string>{"again.ppm", "fails", "good.ppm"}));
}

// SIGTERM and SIGINT while a save runs through a converter that takes its
// time: the program ends with its status, the converter is gone before
// the program is, and the file's name shows nothing new.
TEST(ImageSave, AnInterruptStopsTheSaveAndItsConverter)
{
    Scratch s;
    s.script("slow", "echo $$ >\"$0.pid\"; exec sleep 10");
    const std::string slow = s / "slow", pid_file = slow + ".pid";
    kova_gcloseall();
    for (int sig : {SIGTERM, SIGINT}) {
        const std::string name = sig == SIGTERM ? "new.ppm" : "old.ppm", file = s / name;
        if (sig == SIGINT)
            std::ofstream(file) << "old";
        unlink(pid_file.c_str());
        auto r = kt::run_forked([&] {
            kt::OpenWindow w(W, H);
            kova_gsaveimage(w.wn(), 0, 0, 0, W - 1, H - 1, slow.c_str(), 256, "%s", file.c_str());
            if (!kt::eventually([&] { return slurp(pid_file).find('\n') != std::string::npos; }))
                _exit(3);
            raise(sig);
            _exit(4);
        });
        const pid_t converter = std::atoi(slurp(pid_file).c_str());
        ASSERT_GT(converter, 0) << r.err;
        EXPECT_TRUE(r.exited);
        EXPECT_EQ(r.code, 128 + sig);
        EXPECT_FALSE(kt::process_alive(converter));
        EXPECT_EQ(r.err, "KOVA: [WARNING] Cannot save '" + file + "'.\n");
        std::set<std::string> want = {"slow", "slow.pid"};
        if (sig == SIGINT) {
            EXPECT_EQ(slurp(file), "old");
            want.insert(name);
        }
        EXPECT_EQ(s.names(), want);
    }
}

// Writing the window child's copy to /tmp under a file size limit smaller
// than the copy: the program ends through its exit path, without the copy.
TEST(ImageSave, AFileSizeLimitBelowTheChildEndsTheProgramCleanly)
{
    kova_gcloseall();
    auto before = kt::child_copies();
    auto r = kt::run_forked([] {
        struct rlimit small = {20000, 20000};
        setrlimit(RLIMIT_FSIZE, &small);
        kova_gopen(W, H);
        _exit(5);
    });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "KOVA: [ERROR] Cannot create a file in /tmp/.\n");
    EXPECT_TRUE(kt::child_copies_left(before).empty());
}
