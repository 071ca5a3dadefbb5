// images - throughput of kova's image files against plain C doing the same
// work: writing and reading a 1024 x 768 PPM and PAM, and saving a window
// in the background against reading it back and writing it in the
// application.  Starts and stops a private Xvfb of its own.
//
// The plain writer turns each row of the image buffer into its samples and
// writes it with one fwrite; the plain reader reads the header with fscanf
// and each row with one fread, and widens it to the buffer layout.  Rounds
// alternate between the two sides; the figures are the medians.
//
// Usage: images [rounds]
#include "kova_private.h"
#include "xserver.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int W = 1024, H = 768;

double seconds(const std::function<void()> &f)
{
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void plain_write(const std::vector<unsigned char> &img, bool alpha, const std::string &name)
{
    FILE *fp = std::fopen(name.c_str(), "wb");
    if (alpha)
        std::fprintf(fp, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nENDHDR\n", W, H);
    else
        std::fprintf(fp, "P6\n%d %d\n255\n", W, H);
    const size_t spp = alpha ? 4 : 3;
    std::vector<unsigned char> row(spp * W);
    for (int y = 0; y < H; y++) {
        const unsigned char *in = &img[4 * static_cast<size_t>(y) * W];
        for (int x = 0; x < W; x++) {
            unsigned char *o = &row[spp * static_cast<size_t>(x)];
            o[0] = in[4 * x + 1];
            o[1] = in[4 * x + 2];
            o[2] = in[4 * x + 3];
            if (alpha)
                o[3] = in[4 * x];
        }
        std::fwrite(row.data(), 1, row.size(), fp);
    }
    std::fclose(fp);
}

unsigned char *plain_read(bool alpha, const std::string &name)
{
    FILE *fp = std::fopen(name.c_str(), "rb");
    int w = 0, h = 0, maxval = 0;
    if (alpha)
        std::fscanf(fp, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL %d\nENDHDR", &w, &h, &maxval);
    else
        std::fscanf(fp, "P6 %d %d %d", &w, &h, &maxval);
    std::fgetc(fp);
    const size_t spp = alpha ? 4 : 3;
    std::vector<unsigned char> row(spp * static_cast<size_t>(w));
    auto *out = static_cast<unsigned char *>(std::malloc(4 * static_cast<size_t>(w) * static_cast<size_t>(h)));
    for (int y = 0; y < h; y++) {
        if (std::fread(row.data(), 1, row.size(), fp) != row.size())
            break;
        unsigned char *o = out + 4 * static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int x = 0; x < w; x++, o += 4) {
            const unsigned char *s = &row[spp * static_cast<size_t>(x)];
            o[0] = alpha ? s[3] : 255;
            o[1] = s[0];
            o[2] = s[1];
            o[3] = s[2];
        }
    }
    std::fclose(fp);
    return out;
}

void stream_table(int rounds, const std::string &dir)
{
    std::vector<unsigned char> img(4 * static_cast<size_t>(W) * H);
    for (size_t i = 0; i < img.size(); i++)
        img[i] = static_cast<unsigned char>(i * 7 + i / 4093);
    std::printf("%-10s %12s %12s %8s\n", "stream", "kova MB/s", "plain MB/s", "ratio");
    for (bool alpha : {false, true}) {
        const std::string name = dir + (alpha ? "/bench.pam" : "/bench.ppm");
        const double mb = (alpha ? 4.0 : 3.0) * W * H / 1e6;
        std::vector<double> kw, pw, kr, pr;
        for (int r = 0; r < rounds; r++) {
            kw.push_back(seconds([&] { kova_writeimage(img.data(), W, H, alpha, nullptr, 256, "%s", name.c_str()); }));
            pw.push_back(seconds([&] { plain_write(img, alpha, name); }));
            kr.push_back(seconds([&] { std::free(kova_readimage(nullptr, name.c_str(), nullptr, nullptr, nullptr)); }));
            pr.push_back(seconds([&] { std::free(plain_read(alpha, name)); }));
        }
        const char *kind = alpha ? "PAM" : "PPM";
        std::printf("%-4s write %12.0f %12.0f %8.2f\n", kind, mb / kt::median(kw), mb / kt::median(pw),
                    kt::median(pw) / kt::median(kw));
        std::printf("%-4s read  %12.0f %12.0f %8.2f\n", kind, mb / kt::median(kr), mb / kt::median(pr),
                    kt::median(pr) / kt::median(kr));
        unlink(name.c_str());
    }
}

void save_table(int rounds, const std::string &dir)
{
    int wn = kova_gopen(W, H);
    for (int i = 0; i < 2000; i++) {
        kova_newrgbcolor(wn, i % 256, (i * 7) % 256, (i * 13) % 256);
        kova_fillrect(wn, (i * 37) % W, (i * 53) % H, 40, 30);
    }
    const std::string name = dir + "/save.ppm";
    std::vector<double> bg, fg, ret;
    for (int r = 0; r < rounds; r++) {
        double returned = 0;
        bg.push_back(seconds([&] {
            returned = seconds([&] { kova_gsaveimage(wn, 0, 0, 0, W - 1, H - 1, nullptr, 256, "%s", name.c_str()); });
            wait_child();
        }));
        ret.push_back(returned);
        fg.push_back(seconds([&] {
            int w = 0, h = 0;
            unsigned char *img = kova_ggetimage(wn, 0, 0, 0, W - 1, H - 1, &w, &h);
            kova_writeimage(img, w, h, 0, nullptr, 256, "%s", name.c_str());
            std::free(img);
        }));
    }
    unlink(name.c_str());
    kova_gclose(wn);
    std::printf("\nwindow save, depth %d: the call returns after %.1f ms; the file is complete\n"
                "%.1f ms after the call, against %.1f ms for kova_ggetimage + kova_writeimage "
                "in the application (ratio %.2f)\n",
                Pc_depth, 1e3 * kt::median(ret), 1e3 * kt::median(bg), 1e3 * kt::median(fg), kt::median(fg) / kt::median(bg));
}

} // namespace

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    char tmpl[] = "/tmp/kova_bench_XXXXXX";
    std::string dir = mkdtemp(tmpl);
    stream_table(rounds, dir);
    for (int depth : {24, 16}) {
        kt::start_test_server(depth, 1280, 1024);
        save_table(rounds, dir);
        kova_gcloseall();
        kt::stop_test_server();
    }
    rmdir(dir.c_str());
    return 0;
}
