// Image files without a window: the exact bytes kova_writeimage writes by
// itself and hands to converters, and what kova_readimage makes of every
// kind of stream, good and bad.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "xserver.hpp"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A scratch directory of the test's, with a PATH whose first entry is it,
// so that scripts written there stand in for converters.
struct Scratch {
    std::string dir;
    Scratch()
    {
        char tmpl[] = "/tmp/kova_images_XXXXXX";
        dir = mkdtemp(tmpl);
        std::string path = dir + ":/usr/bin:/bin:" + std::getenv("PATH");
        setenv("PATH", path.c_str(), 1);
    }
    ~Scratch() { std::system(("rm -rf " + dir).c_str()); }
    std::string operator/(const std::string &name) const { return dir + "/" + name; }
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

void put(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// 2 x 1: (alpha 0x11, 1, 2, 3) and (alpha 0x80, 250, 251, 255).
const unsigned char Two[8] = {0x11, 1, 2, 3, 0x80, 250, 251, 255};

// 6 x 5, red on blue with a green corner: a swapped channel or a flipped
// row shows.
std::vector<unsigned char> asymmetric(bool alpha)
{
    std::vector<unsigned char> b(6 * 5 * 4);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 6; x++) {
            unsigned char *p = &b[4 * (y * 6 + x)];
            bool red = x >= 2 && y <= 2;
            p[0] = alpha ? static_cast<unsigned char>(x * 50) : 255;
            p[1] = red ? 255 : 0;
            p[2] = x == 0 && y == 0 ? 200 : 0;
            p[3] = red ? 0 : 180;
        }
    return b;
}

struct Read {
    unsigned char *buf;
    int w = -7, h = -7, m = -7;
    std::string err;
};

Read read_image(const char *conv, const std::string &name)
{
    Read r{};
    r.err = kt::capture_stderr([&] { r.buf = kova_readimage(conv, name.c_str(), &r.w, &r.h, &r.m); });
    return r;
}

} // namespace

TEST(ImageWrite, StreamsAreByteExact)
{
    Scratch s;
    ASSERT_EQ(kova_writeimage(Two, 2, 1, 0, nullptr, 256, "%s", (s / "a.ppm").c_str()), 0);
    EXPECT_EQ(slurp(s / "a.ppm"), std::string("P6\n2 1\n255\n\x01\x02\x03\xfa\xfb\xff", 17));

    ASSERT_EQ(kova_writeimage(Two, 2, 1, 1, nullptr, 256, "%s/%s", s.dir.c_str(), "b.ppm"), 0);
    EXPECT_EQ(slurp(s / "b.ppm"), "P7\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nENDHDR\n"
                                  "\x01\x02\x03\x11\xfa\xfb\xff\x80");

    ASSERT_EQ(kova_writeimage(Two, 2, 1, 0, "", 256, "%s", (s / "a.pam").c_str()), 0);
    EXPECT_EQ(slurp(s / "a.pam"), "P7\nWIDTH 2\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nENDHDR\n"
                                  "\x01\x02\x03\xfa\xfb\xff");
    ASSERT_EQ(kova_writeimage(Two, 2, 1, 0, nullptr, 256, "%s", (s / "a.pam.pam").c_str()), 0);
    EXPECT_EQ(slurp(s / "a.pam.pam").substr(0, 3), "P6\n");
    ASSERT_EQ(kova_writeimage(Two, 2, 1, 0, nullptr, 256, "%s", (s / "a.PAM").c_str()), 0);
    EXPECT_EQ(slurp(s / "a.PAM").substr(0, 3), "P7\n");

    // Levels: 16 gives floor(s * 16 / 256); 1 and 0 act as 2, 1000 as 256.
    ASSERT_EQ(kova_writeimage(Two, 2, 1, 0, nullptr, 16, "%s", (s / "l16").c_str()), 0);
    EXPECT_EQ(slurp(s / "l16"), std::string("P6\n2 1\n15\n\x00\x00\x00\x0f\x0f\x0f", 16));
    for (int levels : {1, 0, -5}) {
        ASSERT_EQ(kova_writeimage(Two, 2, 1, 0, nullptr, levels, "%s", (s / "l2").c_str()), 0);
        EXPECT_EQ(slurp(s / "l2"), std::string("P6\n2 1\n1\n\x00\x00\x00\x01\x01\x01", 15));
    }
    ASSERT_EQ(kova_writeimage(Two, 2, 1, 0, nullptr, 1000, "%s", (s / "l256").c_str()), 0);
    EXPECT_EQ(slurp(s / "l256"), slurp(s / "a.ppm"));

    // Nothing to write: -1 and no file.
    EXPECT_EQ(kova_writeimage(nullptr, 2, 1, 0, nullptr, 256, "%s", (s / "n").c_str()), -1);
    EXPECT_EQ(kova_writeimage(Two, 0, 1, 0, nullptr, 256, "%s", (s / "n").c_str()), -1);
    EXPECT_EQ(kova_writeimage(Two, 2, -1, 0, nullptr, 256, "%s", (s / "n").c_str()), -1);
    EXPECT_EQ(kova_writeimage(Two, 2, 1, 0, nullptr, 256, nullptr), -1);
    EXPECT_EQ(access((s / "n").c_str(), F_OK), -1);
}

TEST(ImageWrite, ConvertersGetTheirArgumentsAndExactlyTheStream)
{
    Scratch s;
    s.script("convert", "echo \"$@\" > " + s.dir + "/args; cat > " + s.dir + "/input");
    ASSERT_EQ(kova_writeimage(Two, 2, 1, 0, "convert", 256, "a.png"), 0);
    EXPECT_EQ(slurp(s / "args"), "-size 2x1 -depth 8 RGB:- a.png\n");
    EXPECT_EQ(slurp(s / "input"), std::string("\x01\x02\x03\xfa\xfb\xff", 6));
    ASSERT_EQ(kova_writeimage(Two, 2, 1, 1, "convert", 256, "b.png"), 0);
    EXPECT_EQ(slurp(s / "args"), "-size 2x1 -depth 8 RGBA:- b.png\n");
    EXPECT_EQ(slurp(s / "input").size(), 8u);

    // Not exactly "convert": a filter, fed the stream with its header, its
    // output the file.
    ASSERT_EQ(kova_writeimage(Two, 2, 1, 0, "convert  -x", 256, "%s", (s / "f.ppm").c_str()), 0);
    EXPECT_EQ(slurp(s / "args"), "-x\n");
    EXPECT_EQ(slurp(s / "input"), std::string("P6\n2 1\n255\n\x01\x02\x03\xfa\xfb\xff", 17));
    ASSERT_EQ(kova_writeimage(Two, 2, 1, 0, "cat", 256, "%s", (s / "c.ppm").c_str()), 0);
    EXPECT_EQ(slurp(s / "c.ppm"), slurp(s / "input"));
    struct stat st;
    ASSERT_EQ(stat((s / "c.ppm").c_str(), &st), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0644u & ~mask);
}

TEST(ImageWrite, FailuresReturnMinusOneAndNeverKillTheApplication)
{
    Scratch s;
    std::vector<unsigned char> big(4 * 1024 * 768, 7);
    // A filter that is not there, one that leaves at once, one that fails:
    // all waited for, the application alive, the call -1.
    s.script("quits", "exit 0");
    s.script("fails", "cat >/dev/null; exit 3");
    auto r = kt::run_forked([&] {
        const char *name = "/dev/null";
        int a = kova_writeimage(big.data(), 1024, 768, 0, "no_such_converter_kova", 256, "%s", name);
        int b = kova_writeimage(big.data(), 1024, 768, 0, "quits", 256, "%s", name);
        int c = kova_writeimage(Two, 2, 1, 0, "fails", 256, "%s", name);
        int d = kova_writeimage(Two, 2, 1, 0, "no_such_converter_kova", 256, "%s", name);
        _exit(a == -1 && b == -1 && c == -1 && d == -1 && Cpid_tmp == 0 ? 0 : 10);
    });
    EXPECT_TRUE(r.exited) << r.err;
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "KOVA: [ERROR] Cannot exec 'no_such_converter_kova'.\n"
                     "KOVA: [ERROR] Cannot exec 'no_such_converter_kova'.\n");

    // A full disk part-way through, and a file that cannot be made.
    r = kt::run_forked([&] {
        struct rlimit small = {1000, 1000};
        setrlimit(RLIMIT_FSIZE, &small);
        int a = kova_writeimage(big.data(), 1024, 768, 0, nullptr, 256, "%s", (s / "full").c_str());
        int b = kova_writeimage(big.data(), 1024, 768, 0, "cat", 256, "%s", (s / "full2").c_str());
        int c = kova_writeimage(Two, 2, 1, 0, nullptr, 256, "%s", (s / "no/such/dir").c_str());
        int d = kova_writeimage(Two, 2, 1, 0, "cat", 256, "%s", (s / "no/such/dir").c_str());
        _exit(a == -1 && b == -1 && c == -1 && d == -1 ? 0 : 10);
    });
    EXPECT_TRUE(r.exited) << r.err;
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.err.find("KOVA: [ERROR] cannot open file or fd.\nKOVA: [ERROR] Cannot create a file.\n"),
              std::string::npos) << r.err;
}

TEST(ImageRead, EveryFailureHasItsMessageAndStoresNothing)
{
    Scratch s;
    const struct {
        std::string bytes, message;
    } cases[] = {
        {"", "Invalid stream (1)"},
        {"# only a comment\n", "Invalid stream (1)"},
        {"Q6\n", "Invalid stream (1)"},
        {"P6\n", "Invalid stream (2)"},
        {"P6\n\n2 1\n255\n", "Invalid stream (3)"},
        {"P6\n2\n255\n", "Invalid stream (3)"},
        {"P6\n2 1\n", "Invalid stream (4)"},
        {"P6\n2 1\nmax\n", "Invalid stream (5)"},
        {"P7\nWIDTH 2\n", "Invalid stream (2)"},
        {"P7\nWIDTH two\nENDHDR\n", "Invalid stream (3)"},
        {"P3\n2 1\n255\n", "Unsupported type: P3"},
        {"P1\n2 1\n", "Unsupported type: P1"},
        {"P6\n0 1\n255\n", "Invalid width: 0"},
        {"P6\n2 -4\n255\n", "Invalid height: -4"},
        {"P6\n2 1\n65536\n", "Unsupported depth: 65537"},
        {"P5\n2 1\n0\n", "Unsupported depth: 1"},
        {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 3\nTUPLTYPE RGB\nENDHDR\n", "Unsupported depth: 1"},
        {"P7\nWIDTH 1\nHEIGHT 1\nMAXVAL 255\nENDHDR\n", "Unsupported type"},
        {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 0\nMAXVAL 255\nENDHDR\n", "Unsupported type"},
        {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 5\nMAXVAL 255\nENDHDR\n", "Unsupported type"},
        {"P7\nWIDTH 2147483647\nHEIGHT 2147483647\nDEPTH 4\nMAXVAL 255\nENDHDR\n",
         "Image too large: 2147483647x2147483647"},
        {"P6\n2 1\n255\nabcde", "Invalid bitmap stream"},
        {"P6\n30000 30000\n255\nabc", "Invalid bitmap stream"},
        {"P5\n1 1\n1000\n\x01", "Invalid bitmap stream"},
    };
    for (const auto &c : cases) {
        put(s / "bad", c.bytes);
        Read r = read_image(nullptr, s / "bad");
        EXPECT_EQ(r.buf, nullptr) << c.bytes;
        EXPECT_EQ(r.err, "KOVA: [ERROR] " + c.message + "\n") << c.bytes;
        EXPECT_TRUE(r.w == -7 && r.h == -7 && r.m == -7) << c.bytes;
        free(r.buf);
    }
    Read r = read_image(nullptr, s / "missing");
    EXPECT_EQ(r.err, "KOVA: [ERROR] Cannot open file: " + s / "missing" + "\n");
    EXPECT_EQ(kova_readimage(nullptr, nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST(ImageRead, EveryFormatConverts)
{
    Scratch s;
    auto pixel = [](const Read &r, int i) {
        const unsigned char *p = r.buf + 4 * i;
        return std::vector<int>{p[0], p[1], p[2], p[3]};
    };
    using V = std::vector<int>;
    // Comments between the header lines; 1-byte samples.
    put(s / "p6", "P6\n# made by hand\n2 1\n  # again\n255\n\x01\x02\x03\x04\x05\x06");
    Read r = read_image(nullptr, s / "p6");
    ASSERT_NE(r.buf, nullptr) << r.err;
    EXPECT_EQ(r.w * 100 + r.h * 10 + r.m, 210);
    EXPECT_EQ(pixel(r, 1), (V{255, 4, 5, 6}));
    free(r.buf);
    // 2-byte samples, most significant first; values above maxval count as
    // maxval.
    put(s / "p5", std::string("P5\n3 1\n1000\n\x03\xe8\x01\xf4\xff\xff", 18));
    r = read_image(nullptr, s / "p5");
    ASSERT_NE(r.buf, nullptr) << r.err;
    EXPECT_EQ(pixel(r, 0), (V{255, 255, 255, 255}));
    EXPECT_EQ(pixel(r, 1), (V{255, 127, 127, 127}));
    EXPECT_EQ(pixel(r, 2), (V{255, 255, 255, 255}));
    free(r.buf);
    // Width 10: two bytes a row, leftmost pixel in the top bit, set = black.
    put(s / "p4", std::string("P4\n10 2\n\x80\x40\x00\xc0", 12));
    r = read_image(nullptr, s / "p4");
    ASSERT_NE(r.buf, nullptr) << r.err;
    EXPECT_EQ(pixel(r, 0), (V{255, 0, 0, 0}));
    EXPECT_EQ(pixel(r, 1), (V{255, 255, 255, 255}));
    EXPECT_EQ(pixel(r, 9), (V{255, 0, 0, 0}));
    EXPECT_EQ(pixel(r, 10), (V{255, 255, 255, 255}));
    EXPECT_EQ(pixel(r, 19), (V{255, 0, 0, 0}));
    free(r.buf);
    // Mask kinds of the arbitrary map, with the lines it ignores.
    const std::string pam = "P7\n#c\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nTUPLTYPE RGB_ALPHA\nMAXVAL 255\nENDHDR\n";
    put(s / "k1", pam + std::string("\x01\x02\x03\x00\x04\x05\x06\xff", 8));
    r = read_image(nullptr, s / "k1");
    ASSERT_NE(r.buf, nullptr) << r.err;
    EXPECT_EQ(r.m, 1);
    EXPECT_EQ(pixel(r, 0), (V{0, 1, 2, 3}));
    free(r.buf);
    put(s / "k256", pam + std::string("\x01\x02\x03\x80\x04\x05\x06\xff", 8));
    r = read_image(nullptr, s / "k256");
    EXPECT_EQ(r.m, 256);
    free(r.buf);
    put(s / "ga", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 2\nMAXVAL 15\nENDHDR\n\x05\x0f");
    r = read_image(nullptr, s / "ga");
    ASSERT_NE(r.buf, nullptr) << r.err;
    EXPECT_EQ(pixel(r, 0), (V{255, 85, 85, 85}));
    EXPECT_EQ(r.m, 1);
    free(r.buf);

    // The fuzzer's seeds are all good images.
    for (const char *seed : {"p4.pbm", "p5_16bit.pgm", "p6.ppm", "p7_rgba.pam", "p7_gray_alpha.pam", "p7_gray16.pam"}) {
        r = read_image(nullptr, std::string(KOVA_SOURCE_DIR "/tests/corpus/readimage/") + seed);
        EXPECT_NE(r.buf, nullptr) << seed << r.err;
        free(r.buf);
    }

    // What the writer writes, the reader reads back unchanged.
    for (bool alpha : {false, true}) {
        auto img = asymmetric(alpha);
        ASSERT_EQ(kova_writeimage(img.data(), 6, 5, alpha, nullptr, 256, "%s", (s / "rt").c_str()), 0);
        r = read_image(nullptr, s / "rt");
        ASSERT_NE(r.buf, nullptr) << r.err;
        EXPECT_EQ(r.w * 10 + r.h, 65);
        EXPECT_EQ(r.m, alpha ? 256 : 0);
        EXPECT_EQ(std::vector<unsigned char>(r.buf, r.buf + img.size()), img);
        free(r.buf);
    }
}

TEST(ImageRead, ConvertersBothWays)
{
    Scratch s;
    const size_t children = kt::children_of(getpid()).size();
    auto img = asymmetric(false);
    // The real converters, both routes, there and back.
    ASSERT_EQ(kova_writeimage(img.data(), 6, 5, 0, "convert", 256, "%s", (s / "a.png").c_str()), 0);
    ASSERT_EQ(kova_writeimage(img.data(), 6, 5, 0, "pnmtopng", 256, "%s", (s / "b.png").c_str()), 0);
    for (const auto &[conv, file] : {std::pair{"convert", "b.png"}, std::pair{"pngtopnm", "a.png"}}) {
        Read r = read_image(conv, s / file);
        ASSERT_NE(r.buf, nullptr) << conv << r.err;
        EXPECT_EQ(r.w * 10 + r.h, 65);
        EXPECT_EQ(std::vector<unsigned char>(r.buf, r.buf + img.size()), img) << conv;
        free(r.buf);
    }
    // A converter that writes nothing, one that is not there, one that
    // writes for ever: NULL, and nothing left running.
    s.script("endless", "yes P6");
    Read r = read_image("true", s / "a.png");
    EXPECT_EQ(r.err, "KOVA: [ERROR] Invalid stream (1)\n");
    r = read_image("no_such_converter_kova", s / "a.png");
    EXPECT_EQ(r.err, "KOVA: [ERROR] Cannot exec 'no_such_converter_kova' command.\n"
                     "KOVA: [ERROR] Invalid stream (1)\n");
    r = read_image("endless", s / "a.png");
    EXPECT_EQ(r.err, "KOVA: [ERROR] Invalid stream (3)\n");
    EXPECT_EQ(r.buf, nullptr);
    EXPECT_EQ(Cpid_tmp, 0);
    EXPECT_EQ(kt::children_of(getpid()).size(), children);
}

// A program that saves a picture and returns at once still gets the whole
// file: the end of the process waits for the save.
TEST(ImageSaveAtExit, TheFileIsComplete)
{
    Scratch s;
    s.script("slowcat", "sleep 0.3; exec cat");
    const std::string name = s / "exit.ppm";
    auto r = kt::run_forked([&] {
        int wn = kova_gopen(50, 40);
        kova_fillrect(wn, 5, 5, 10, 10);
        kova_gsaveimage(wn, 0, 0, 0, 49, 39, "slowcat", 256, "%s", name.c_str());
    });
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(slurp(name).size(), std::string("P6\n50 40\n255\n").size() + 3 * 50 * 40);
}
