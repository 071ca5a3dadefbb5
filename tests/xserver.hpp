// xserver.hpp - what every test of kova shares: a private Xvfb per test
// program (never the caller's display), a second X connection to read
// pixels back, and a way to run code in a child process and inspect how it
// ended.
#pragma once
// Tests include <gtest/gtest.h> before this header: Xlib defines None and
// Bool as macros.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/types.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace kt {

// The depth of the private screen this test program runs against, from
// its --depth=N argument (24 by default).
int depth();

// The middle value of a benchmark's rounds (the upper middle of an even
// count).
double median(std::vector<double> v);

// The private server's display name, e.g. ":3".
const std::string &display_name();

// A connection of the test's own, opened on first use.
Display *dpy();

// Pixel value at (x, y) of a window or pixmap, read with XGetImage.
unsigned long pixel(Drawable d, int x, int y);

// Pixel values of a w x h area, row by row (empty when it cannot be read).
std::vector<unsigned long> pixels(Drawable d, int x, int y, int w, int h);

// The pixel value of a colour given as 8-bit components, as the server
// would show it on this screen (TrueColor screens only).
unsigned long truecolor(int r, int g, int b);

// Runs fn in a forked child whose standard error is captured; the child
// ends with exit(0) after fn unless fn ends it first.  A child still alive
// after timeout_ms is killed.
struct ChildResult {
    int status = -1;        // raw wait status
    bool exited = false;    // WIFEXITED
    int code = -1;          // WEXITSTATUS
    bool signalled = false; // WIFSIGNALED
    int signal = 0;
    std::string err;        // everything written to standard error
    bool timed_out = false;
};
ChildResult run_forked(const std::function<void()> &fn, int timeout_ms = 20000);

// Standard error written while fn runs in this process.
std::string capture_stderr(const std::function<void()> &fn);

// True while a process with this id exists (and is not a zombie).
bool process_alive(pid_t pid);

// The ids of the direct children of pid (from /proc).
std::vector<pid_t> children_of(pid_t pid);

// The window child's copies in /tmp (full paths), and those that appeared
// since `before` and are still there two seconds later (test programs
// running beside make short-lived ones of their own).
std::set<std::string> child_copies();
std::set<std::string> child_copies_left(const std::set<std::string> &before);

// A top-level window of w x h at (x, y) with a black background, mapped,
// once its first exposure has arrived.
Window map_window(Display *d, int x, int y, int w, int h);

// Maps an override-redirect window over the rectangle of the root window
// and destroys it again: what lay below is exposed.
void cover_and_uncover(int x, int y, int w, int h);

// Waits up to timeout_ms for cond to hold, polling every 10 ms.
bool eventually(const std::function<bool()> &cond, int timeout_ms = 5000);

// The test program's own server (started by its main): sets DISPLAY to it
// so that the library uses it.
void start_test_server(int depth, int width, int height);
void stop_test_server();

// True in a child made by run_forked.
bool in_forked_child();

// Starts another private server (for tests that need a second screen
// layout); stops it when the returned object is destroyed.
class PrivateServer {
  public:
    PrivateServer(int depth, int width = 1280, int height = 1024);
    ~PrivateServer();
    PrivateServer(const PrivateServer &) = delete;
    PrivateServer &operator=(const PrivateServer &) = delete;
    const std::string &name() const { return name_; }
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    pid_t owner_ = -1;
    std::string name_;
};

// A window manager (openbox) on the test program's server, running until
// the object is destroyed; the constructor returns once it manages the
// screen.
class WindowManager {
  public:
    WindowManager();
    ~WindowManager();
    WindowManager(const WindowManager &) = delete;
    WindowManager &operator=(const WindowManager &) = delete;

  private:
    pid_t pid_ = -1;
    pid_t owner_ = -1;
};

} // namespace kt
