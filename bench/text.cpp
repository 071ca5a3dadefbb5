// text - cost per call of text at an angle against horizontal text, on a
// private Xvfb that this program starts and stops itself.
//
// Every call draws a 20-character string at size 14 into a shown window
// (its layer and the window, one flush per call) and the time includes the
// server's work (a round trip closes each round).  "first" calls draw a
// string never drawn before, "repeated" calls the same string again.
// Rounds alternate between the cases; the figures are those of the median
// round, the ratio against the horizontal repeated string.
//
// Usage: text [calls-per-round]
#include "kova_private.h"
#include "xserver.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int W = 640, H = 480;
constexpr int Rounds = 15;

int Fresh = 0;  // numbers of strings not drawn before

double ns_per_call(int wn, int calls, double theta, bool first)
{
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; i++) {
        const double x = 200 + (i * 37) % 240, y = 200 + (i * 53) % 80;
        if (first)
            kova_drawstr(wn, x, y, 14, theta, "Label %06d letters", Fresh++ % 1000000);
        else
            kova_drawstr(wn, x, y, 14, theta, "Label of 20 letters.");
    }
    XSync(Pc_dis, False);
    std::chrono::duration<double, std::nano> d = std::chrono::steady_clock::now() - t0;
    return d.count() / calls;
}

} // namespace

int main(int argc, char **argv)
{
    const int calls = std::max(10, argc > 1 ? std::atoi(argv[1]) : 2000);
    kt::PrivateServer server(24, 1280, 1024);
    setenv("DISPLAY", server.name().c_str(), 1);
    kova_gsetinitialattributes(0, KOVA_ATTR_SCROLLBARS);
    kova_gsetinitialgeometry("+0+0");
    const int wn = kova_gopen(W, H);
    if (wn < 0) {
        fputs("text: cannot open a window on the private server\n", stderr);
        return 1;
    }

    struct Case {
        const char *name;
        double theta;
        bool first;
        std::vector<double> ns;
    } cases[] = {
        {"horizontal, repeated", 0, false, {}}, {"horizontal, first", 0, true, {}},
        {"90 degrees, repeated", 90, false, {}}, {"90 degrees, first", 90, true, {}},
        {"30 degrees, repeated", 30, false, {}}, {"30 degrees, first", 30, true, {}},
    };
    for (Case &c : cases)  // warm up: fonts loaded, strings kept
        ns_per_call(wn, calls / 10 + 1, c.theta, c.first);
    for (int r = 0; r < Rounds; r++)
        for (Case &c : cases) {
            const int n = c.first && c.theta != 0 ? std::max(10, calls / 10) : calls;
            c.ns.push_back(ns_per_call(wn, n, c.theta, c.first));
            kova_gclr(wn);
        }

    printf("kova_drawstr of a 20-character string at size 14 on a private Xvfb (%s), %d "
           "rounds, median\n",
           server.name().c_str(), Rounds);
    printf("%-24s %12s %10s\n", "case", "ns/call", "ratio");
    const double base = kt::median(cases[0].ns);
    for (const Case &c : cases) {
        const double m = kt::median(c.ns);
        printf("%-24s %12.0f %10.2f\n", c.name, m, m / base);
    }
    kova_gcloseall();
    return 0;
}
