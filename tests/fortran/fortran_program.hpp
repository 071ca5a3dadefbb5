// fortran_program.hpp - what the tests of real Fortran programs share: the
// program run with its standard input and output on pipes, and its window
// found and read back on the test's own connection.
#pragma once
// Include <gtest/gtest.h> before this header.

#include "xserver.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace kt {

// The Fortran program, its standard input and output on pipes.
class Program {
  public:
    explicit Program(const char *path)
    {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            execl(path, path, static_cast<char *>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        to_ = in[1];
        from_ = out[0];
    }
    ~Program()
    {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (to_ >= 0)
            close(to_);
        if (from_ >= 0)
            close(from_);
    }
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    // Everything it writes until a newline, or "" after timeout_ms.
    std::string line(int timeout_ms)
    {
        std::string s;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (s.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd p{from_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            char c;
            if (read(from_, &c, 1) != 1)
                break;
            s += c;
        }
        return s;
    }
    // Lets it go on past its next wait for a line.
    bool go() { return write(to_, "go\n", 3) == 3; }
    // Lets it go on and waits, at most timeout_ms, for its exit status.
    int finish(int timeout_ms) { return go() ? wait(timeout_ms) : -1; }
    // Its exit status, once it ends within timeout_ms; -1 otherwise.
    int wait(int timeout_ms)
    {
        int status = 0;
        for (int waited = 0; waited < timeout_ms; waited += 10) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            usleep(10000);
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
    bool ended_ = false;
};

// A window's name, "" when it has none.
inline std::string window_name(Window win)
{
    char *name = nullptr;
    std::string s;
    if (XFetchName(kt::dpy(), win, &name) && name)
        s = name;
    XFree(name);
    return s;
}

// The program's top-level window: the one viewable w x h child of the root.
inline Window find_canvas(int w, int h)
{
    Display *d = kt::dpy();
    Window root, parent, *kids = nullptr;
    unsigned int n = 0;
    Window found = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &kids, &n))
        return 0;
    for (unsigned int i = 0; i < n && !found; i++) {
        XWindowAttributes a;
        if (XGetWindowAttributes(d, kids[i], &a) && a.map_state == IsViewable && a.width == w &&
            a.height == h)
            found = kids[i];
    }
    if (kids)
        XFree(kids);
    return found;
}

} // namespace kt
