// reply_count.cpp - every reply Xlib waits for passes through _XReply,
// which Xlib itself reaches through its procedure linkage table: defined
// here, in the program, it comes first and passes each call on.
#include "reply_count.hpp"

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace {

unsigned long Replies = 0;

using reply_fn = Status (*)(Display *, void *, int, Bool);

reply_fn real_reply()
{
    static const reply_fn real = reinterpret_cast<reply_fn>(dlsym(RTLD_NEXT, "_XReply"));
    if (!real) {
        std::fputs("reply_count: Xlib's _XReply not found\n", stderr);
        std::abort();
    }
    return real;
}

} // namespace

extern "C" Status _XReply(Display *dpy, void *reply, int extra, Bool discard)
{
    Replies++;
    return real_reply()(dpy, reply, extra, discard);
}

namespace kt {

unsigned long replies() { return Replies; }

} // namespace kt
