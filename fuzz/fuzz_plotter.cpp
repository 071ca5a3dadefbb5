// fuzz_plotter.cpp - calls every entry point of the plotter library with
// random numbers, codes, texts and arrays, on a private Xvfb, with pages
// that are not held (KOVA_PLOTTER_WAIT=0).
//
//   fuzz_plotter [--seconds N] [--seed S] [--depth D]
//   fuzz_plotter --list      (the names in the table, for the coverage check)
//
// A worker process makes the calls.  A finding is a line on its standard
// error that is not one of the library's "KOVA: [WARNING] " messages (an
// Xlib error, a sanitizer report), a worker that does not end with status
// 0, or one still running a minute after its time.  The call in progress
// is kept in shared memory, its arguments in the order they were made; the
// same seed and depth replay the same calls.
#include "kova_plotter.h"
#include "xserver.hpp"

#include <kova.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>

namespace {

constexpr int Late_ms = 60000;
constexpr int Points = 64, Stride = 3;

struct Shared {
    char current[512];
    unsigned long calls;
};
Shared *Sh;

struct Gen {
    explicit Gen(std::uint64_t seed) : rng(seed) {}
    std::mt19937_64 rng;
    const char *name = "";
    std::string args;
    // Arrays long enough for any point count and stride the driver gives,
    // with the scaling pair after them; texts end in NUL bytes.
    float xs[(Points + 2) * Stride] = {}, ys[(Points + 2) * Stride] = {};
    char text[300] = {};
    int ints[4] = {};
    float reals[6] = {};

    unsigned long below(unsigned long n) { return rng() % n; }
    void note(const std::string &s)
    {
        args += (args.empty() ? "" : ", ") + s;
        snprintf(Sh->current, sizeof Sh->current, "%s(%s)", name, args.c_str());
    }

    float real()
    {
        using L = std::numeric_limits<float>;
        const float special[] = {L::quiet_NaN(), L::infinity(), -L::infinity(), L::max(),
                                 -L::max(), L::denorm_min(), 0.0f, -0.0f, 999.0f, 1e30f,
                                 -1e30f, 1e-30f, 3e9f};
        float v = below(4) ? static_cast<float>(below(4000)) / 100.0f - 20.0f
                           : special[below(sizeof special / sizeof special[0])];
        note(std::to_string(v));
        return v;
    }
    int integer()
    {
        const int special[] = {INT_MIN, INT_MAX, -999, 999, -3, -2, -1, 0, 1, 2, 3, 14, 31, 127};
        int v = below(3) ? static_cast<int>(below(41)) - 20
                         : special[below(sizeof special / sizeof special[0])];
        note(std::to_string(v));
        return v;
    }
    float *preal(int i) { return &(reals[i] = real()); }
    int *pint(int i) { return &(ints[i] = integer()); }
    // A point count within the arrays, or one the library must refuse.
    int *pcount(int i)
    {
        ints[i] = below(4) ? static_cast<int>(below(Points)) + 1 : -static_cast<int>(below(3));
        note(std::to_string(ints[i]));
        return &ints[i];
    }
    int *pstride(int i, bool negative_too)
    {
        ints[i] = static_cast<int>(below(Stride + 1)) * (negative_too && below(2) ? -1 : 1);
        note(std::to_string(ints[i]));
        return &ints[i];
    }
    const char *ptext()
    {
        memset(text, 0, sizeof text);
        const size_t n = below(4) ? below(40) : below(sizeof text - 8);
        for (size_t i = 0; i < n; i++)
            text[i] = static_cast<char>(below(3) ? 32 + below(95) : 1 + below(255));
        note("\"" + std::string(text).substr(0, 20) + "\"");
        return text;
    }
    float *arrays()
    {
        for (int i = 0; i < (Points + 2) * Stride; i++) {
            std::string saved = args;
            xs[i] = real();
            ys[i] = real();
            args = saved;
        }
        note("arrays");
        return xs;
    }
};

struct Entry {
    const char *name;
    void (*run)(Gen &);
};

const Entry Table[] = {
    {"plotpage_", [](Gen &g) { plotpage_(g.pint(0), g.pint(1), g.preal(0), g.preal(1)); }},
    {"plots_", [](Gen &) { plots_(); }},
    {"plot_", [](Gen &g) { plot_(g.preal(0), g.preal(1), g.pint(0)); }},
    {"factor_", [](Gen &g) { factor_(g.preal(0)); }},
    {"where_", [](Gen &g) { where_(&g.reals[0], &g.reals[1], &g.reals[2]); }},
    {"newpen_", [](Gen &g) { newpen_(g.pint(0)); }},
    {"symbol_", [](Gen &g) {
         const char *t = g.ptext();
         symbol_(g.preal(0), g.preal(1), g.preal(2), t, g.preal(3), g.pint(0));
     }},
    {"number_", [](Gen &g) {
         number_(g.preal(0), g.preal(1), g.preal(2), g.preal(3), g.preal(4), g.pint(0));
     }},
    {"axis_", [](Gen &g) {
         const char *t = g.ptext();
         axis_(g.preal(0), g.preal(1), t, g.pint(0), g.preal(2), g.preal(3), g.preal(4),
               g.preal(5));
     }},
    {"scale_", [](Gen &g) { scale_(g.arrays(), g.preal(0), g.pcount(0), g.pstride(1, true)); }},
    {"line_", [](Gen &g) {
         g.arrays();
         line_(g.xs, g.ys, g.pcount(0), g.pstride(1, false), g.pint(2), g.pint(3));
     }},
};

int work(std::uint64_t seed, int seconds)
{
    setenv("KOVA_PLOTTER_WAIT", "0", 1);
    Gen g(seed);
    const char *pages[] = {"", "x", "0x0", "1x1", "300x200", "99999999999x5", "1x1,1e-320x1",
                           "10x10,nanxinf", "200x100,-1x5", "64x64,0.5x0.5", "100x100,"};
    setenv("KOVA_PLOTTER_PAGE", pages[g.below(sizeof pages / sizeof pages[0])], 1);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        const Entry &e = Table[g.below(sizeof Table / sizeof Table[0])];
        g.name = e.name;
        g.args.clear();
        g.note("");
        e.run(g);
        Sh->calls++;
    }
    int pen = 999;
    float zero = 0;
    plot_(&zero, &zero, &pen);
    kova_gcloseall();
    return kt::eventually([] { return kt::children_of(getpid()).empty(); }, 5000) ? 0 : 3;
}

} // namespace

int main(int argc, char **argv)
{
    int seconds = 10, depth = 24;
    std::uint64_t seed = std::random_device{}();
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--list") {
            for (const Entry &e : Table)
                printf("%s\n", e.name);
            return 0;
        }
        if (i + 1 >= argc) {
            fprintf(stderr, "usage: fuzz_plotter [--seconds N] [--seed S] [--depth D] [--list]\n");
            return 2;
        }
        if (a == "--seconds")
            seconds = std::atoi(argv[++i]);
        else if (a == "--seed")
            seed = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--depth")
            depth = std::atoi(argv[++i]);
    }
    printf("fuzz_plotter: seed %llu, depth %d, %d s\n", static_cast<unsigned long long>(seed),
           depth, seconds);
    fflush(stdout);
    kt::start_test_server(depth, 1280, 1024);
    void *mem = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS,
                     -1, 0);
    if (mem == MAP_FAILED)
        return 1;
    Sh = static_cast<Shared *>(mem);
    kt::ChildResult r = kt::run_forked([&] { exit(work(seed, seconds)); },
                                       seconds * 1000 + Late_ms);
    unsigned long findings = 0;
    std::istringstream err(r.err);
    for (std::string line; std::getline(err, line);)
        if (line.rfind("KOVA: [WARNING] ", 0) != 0) {
            printf("fuzz_plotter: FINDING: unexpected output: %s\n", line.c_str());
            findings++;
        }
    if (r.timed_out || !r.exited || r.code != 0) {
        printf("fuzz_plotter: FINDING: the worker %s (status 0x%x) in %s\n",
               r.timed_out ? "did not end" : "failed", r.status, Sh->current);
        findings++;
    }
    printf("fuzz_plotter: %lu calls, %lu findings (seed %llu, depth %d)\n", Sh->calls, findings,
           static_cast<unsigned long long>(seed), depth);
    kt::stop_test_server();
    return findings ? 1 : 0;
}
