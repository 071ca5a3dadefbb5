// field - a 512 x 512 float field stretched over a 1024 x 768 window, in
// frames per second, at 24 and at 16 bits (one private Xvfb for each):
//
//   kova_putfieldf   the field, coloured by the sequential palette
//   putimg24 ready   kova_putimg24 of a 1024 x 768 image buffer the caller
//                    has filled already (the transfer alone)
//   C loop + put     a plain C loop that colours and scales the field into
//                    an image buffer, then kova_putimg24
//
// into a hidden layer (the transfer alone) and into the shown one (as an
// animation draws).  Rounds alternate between the three; the figures are
// medians.  Goals: the field at least 0.9 of the ready put, at least 1.5
// times the C loop.  The last lines count the allocations of repeated
// fields of one size.
//
// Usage: field [rounds]
#include "kova_private.h"
#include "allocation_count.hpp"
#include "xserver.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>


namespace {

constexpr int W = 1024, H = 768, N = 512, Frames = 10;

double cpu_seconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Seconds per frame, of the clock and of this process's processor time
// (the server's work is not in the latter).
std::pair<double, double> seconds_per_frame(const std::function<void()> &frame)
{
    const double c0 = cpu_seconds();
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < Frames; i++)
        frame();
    XSync(Pc_dis, False);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return {wall / Frames, (cpu_seconds() - c0) / Frames};
}

// A plain program's way: each window pixel takes the colour of the cell
// under it from a 256-entry table, then the buffer is put.
struct Plain_loop {
    std::vector<unsigned char> argb = std::vector<unsigned char>(4 * static_cast<size_t>(W) * H);
    unsigned char table[256][3];
    void colour(const std::vector<float> &z, float zmin, float zmax)
    {
        const float scale = 256 / (zmax - zmin);
        for (int y = 0; y < H; y++) {
            const float *row = &z[static_cast<size_t>((H - 1 - y) * N / H) * N];
            unsigned char *p = &argb[4 * static_cast<size_t>(y) * W];
            for (int x = 0; x < W; x++, p += 4) {
                const float s = (row[x * N / W] - zmin) * scale;
                const int k = s > 0 ? (s < 255 ? static_cast<int>(s) : 255) : 0;
                p[0] = 255;
                p[1] = table[k][0];
                p[2] = table[k][1];
                p[3] = table[k][2];
            }
        }
    }
};

void run_depth(int depth, int rounds)
{
    kt::PrivateServer server(depth, W + 20, H + 20);
    setenv("DISPLAY", server.name().c_str(), 1);
    kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
    kova_gsetinitialgeometry("+0+0");
    const int wn = kova_gopen(W, H);
    kova_window(wn, 0, 0, W - 1, H - 1);

    std::vector<float> z(static_cast<size_t>(N) * N);
    for (int j = 0; j < N; j++)
        for (int i = 0; i < N; i++)
            z[static_cast<size_t>(j) * N + i] = std::sin(i * 0.05f) * std::cos(j * 0.03f);
    // The ready picture and the loop's table: the field's own colours.
    kova_putfieldf(wn, 0, 0, W, H, z.data(), N, N, -1, 1, KOVA_PALETTE_SEQUENTIAL);
    int rw, rh;
    unsigned char *ready = kova_ggetimage(wn, 0, 0, 0, W - 1, H - 1, &rw, &rh);
    Plain_loop loop;
    std::vector<float> ramp(256);
    for (int k = 0; k < 256; k++)
        ramp[static_cast<size_t>(k)] = static_cast<float>(k);
    kova_putfieldf(wn, 0, 0, 256, 1, ramp.data(), 256, 1, 0, 256, KOVA_PALETTE_SEQUENTIAL);
    unsigned char *row = kova_ggetimage(wn, 0, 0, 0, 255, 0, &rw, &rh);
    for (int k = 0; k < 256; k++)
        for (int c = 0; c < 3; c++)
            loop.table[k][c] = row[4 * k + 1 + c];
    free(row);

    printf("\n%d bits, private Xvfb %s, 512 x 512 float field over 1024 x 768, %d rounds, median\n",
           depth, server.name().c_str(), rounds);
    printf("%-8s %14s %14s %14s %9s %10s   %s\n", "layer", "putfieldf f/s", "ready put f/s",
           "C loop f/s", "vs ready", "vs C loop", "client ms/frame: field, put, loop");
    for (int shown : {0, 1}) {
        kova_layer(wn, 0, shown ? 0 : 1);
        const std::function<void()> sides[3] = {
            [&] { kova_putfieldf(wn, 0, 0, W, H, z.data(), N, N, -1, 1, KOVA_PALETTE_SEQUENTIAL); },
            [&] { kova_putimg24(wn, 0, 0, W, H, ready); },
            [&] {
                loop.colour(z, -1, 1);
                kova_putimg24(wn, 0, 0, W, H, loop.argb.data());
            },
        };
        std::vector<double> t[3], cpu[3];
        for (int r = 0; r < rounds + 1; r++)
            for (int s = 0; s < 3; s++) {
                const auto [wall, client] = seconds_per_frame(sides[s]);
                if (r > 0) { // the first round warms up
                    t[s].push_back(wall);
                    cpu[s].push_back(client);
                }
            }
        const double field = kt::median(t[0]), put = kt::median(t[1]), plain = kt::median(t[2]);
        printf("%-8s %14.1f %14.1f %14.1f %9.2f %10.2f   %.2f, %.2f, %.2f\n", shown ? "shown" : "hidden",
               1 / field, 1 / put, 1 / plain, put / field, plain / field, 1e3 * kt::median(cpu[0]),
               1e3 * kt::median(cpu[1]), 1e3 * kt::median(cpu[2]));
    }
    Allocations = 0;
    Counting = true;
    for (int i = 0; i < 20; i++)
        kova_putfieldf(wn, 0, 0, W, H, z.data(), N, N, -1, 1, KOVA_PALETTE_SEQUENTIAL);
    Counting = false;
    printf("allocations in 20 more fields of the same size: %ld\n", Allocations);
    free(ready);
    kova_gcloseall();
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    for (int depth : {24, 16})
        run_depth(depth, rounds);
    return 0;
}
