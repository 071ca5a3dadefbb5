// input_poll - cost of a non-blocking kova_ggetevent on an empty queue
// against plain Xlib polling the same way (XCheckMaskEvent with the same
// mask, on its own connection and window), on a private Xvfb that this
// program starts and stops itself.
//
// Rounds alternate between the two sides; the figures are those of the
// median round.  The requests column counts what kova sent to the server
// during its polls (XNextRequest before and after): a poll must not cost a
// round trip.
//
// Usage: input_poll [polls-per-round]
#include "kova_private.h"
#include "xserver.hpp"

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int Rounds = 15;
constexpr long Poll_mask = KeyPressMask | ButtonPressMask | ButtonReleaseMask | EnterWindowMask |
                           LeaveWindowMask | PointerMotionMask;

template <class F>
double ns_per_call(int calls, F f)
{
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; i++)
        f();
    std::chrono::duration<double, std::nano> d = std::chrono::steady_clock::now() - t0;
    return d.count() / calls;
}

} // namespace

int main(int argc, char **argv)
{
    int calls = argc > 1 ? std::atoi(argv[1]) : 200000;
    if (calls < 10)
        calls = 10;
    kt::PrivateServer server(24, 800, 600);
    setenv("DISPLAY", server.name().c_str(), 1);

    kova_gsetnonblock(1);
    kova_gsetinitialgeometry("+0+0");
    int wn = kova_gopen(320, 240);

    Display *d = XOpenDisplay(server.name().c_str());
    if (!d || wn < 0) {
        fputs("input_poll: cannot open the private display\n", stderr);
        return 1;
    }
    Window plain = XCreateSimpleWindow(d, DefaultRootWindow(d), 400, 0, 320, 240, 0, 0, 0);
    XSelectInput(d, plain, Poll_mask);
    XMapWindow(d, plain);
    XSync(d, False);
    XSync(Pc_dis, False);

    std::vector<double> kova_ns, raw_ns;
    unsigned long requests = 0, returned = 0;
    for (int r = 0; r < Rounds; r++) {
        unsigned long before = XNextRequest(Pc_dis);
        kova_ns.push_back(ns_per_call(calls, [&] {
            int type, code;
            double x, y;
            if (kova_ggetevent(&type, &code, &x, &y) != -1)
                returned++;
        }));
        requests += XNextRequest(Pc_dis) - before;
        raw_ns.push_back(ns_per_call(calls, [&] {
            XEvent ev;
            if (XCheckMaskEvent(d, Poll_mask, &ev))
                returned++;
        }));
    }
    double k = kt::median(kova_ns), p = kt::median(raw_ns);
    printf("non-blocking poll on an empty queue, %d polls x %d rounds (median round)\n", calls,
           Rounds);
    printf("%-28s %10s %10s %8s %10s\n", "", "kova ns", "Xlib ns", "ratio", "requests");
    printf("%-28s %10.1f %10.1f %8.2f %10lu\n", "kova_ggetevent / XCheckMask", k, p, k / p,
           requests);
    if (returned)
        printf("(%lu polls found an event: the queue was not empty)\n", returned);

    XDestroyWindow(d, plain);
    XCloseDisplay(d);
    kova_gcloseall();
    return requests == 0 ? 0 : 1;
}
