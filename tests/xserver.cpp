// xserver.cpp - private Xvfb servers, a reading connection, forked runs
// and process inspection: what the tests and the benchmarks share.
#include "xserver.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kt {
namespace {

bool g_forked_child = false;
int g_depth = 24;
std::unique_ptr<PrivateServer> g_server;
std::string g_name;
Display *g_dpy = nullptr;

// Reads everything from fd until EOF or the deadline.
std::string read_until(int fd, const std::function<bool(const std::string &)> &done,
                       int timeout_ms)
{
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    char buf[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0 || done(out))
            break;
        pollfd p{fd, POLLIN, 0};
        int r = poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

// A sanitizer build notes every refused allocation; the tests compare the
// library's own words.
std::string without_sanitizer_notes(const std::string &err)
{
    std::istringstream in(err);
    std::string line, out;
    while (std::getline(in, line)) {
        if (line.rfind("==", 0) == 0 && line.find("AddressSanitizer failed to allocate") != std::string::npos)
            continue;
        out += line;
        if (!in.eof())
            out += '\n';
    }
    return out;
}

// Standard input and output of a program the tests start go nowhere; it
// dies with the test program.
void detach_helper()
{
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
}

// SIGTERM, five seconds to end, then SIGKILL.
void stop_helper(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 500; i++) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace

PrivateServer::PrivateServer(int depth, int width, int height)
{
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    owner_ = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        close(fds[0]);
        detach_helper();
        std::string fd = std::to_string(fds[1]);
        std::string screen =
            std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
               screen.c_str(), "-noreset", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string out =
        read_until(fds[0], [](const std::string &s) { return s.find('\n') != std::string::npos; },
                   30000);
    close(fds[0]);
    if (out.empty()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        throw std::runtime_error("Xvfb did not start (is the xvfb package installed?)");
    }
    name_ = ":" + std::to_string(std::atoi(out.c_str()));
}

PrivateServer::~PrivateServer()
{
    // A forked test child runs static destructors too: only the process
    // that started the server stops it.
    if (pid_ <= 0 || getpid() != owner_)
        return;
    stop_helper(pid_);
}

WindowManager::WindowManager()
{
    owner_ = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        detach_helper();
        execlp("openbox", "openbox", "--sm-disable", static_cast<char *>(nullptr));
        _exit(127);
    }
    // A window manager owns the selection WM_S<screen> of its screen.
    Atom wm_s0 = XInternAtom(dpy(), "WM_S0", False);
    if (!eventually([&] { return XGetSelectionOwner(dpy(), wm_s0) != 0; }, 30000)) {
        stop_helper(pid_);
        throw std::runtime_error("openbox did not start (is the openbox package installed?)");
    }
}

WindowManager::~WindowManager()
{
    if (pid_ > 0 && getpid() == owner_)
        stop_helper(pid_);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int depth() { return g_depth; }

const std::string &display_name() { return g_name; }

Display *dpy()
{
    if (!g_dpy)
        g_dpy = XOpenDisplay(g_name.c_str());
    return g_dpy;
}

unsigned long pixel(Drawable d, int x, int y)
{
    XSync(dpy(), False);
    XImage *img = XGetImage(dpy(), d, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!img)
        return ~0UL;
    unsigned long p = XGetPixel(img, 0, 0);
    XDestroyImage(img);
    return p;
}

std::vector<unsigned long> pixels(Drawable d, int x, int y, int w, int h)
{
    XSync(dpy(), False);
    std::vector<unsigned long> out;
    XImage *img = XGetImage(dpy(), d, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h),
                            AllPlanes, ZPixmap);
    if (!img)
        return out;
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++)
            out.push_back(XGetPixel(img, i, j));
    XDestroyImage(img);
    return out;
}

unsigned long truecolor(int r, int g, int b)
{
    Visual *v = DefaultVisual(dpy(), DefaultScreen(dpy()));
    auto put = [](unsigned long mask, int c) {
        int shift = 0, bits = 0;
        while (mask && !((mask >> shift) & 1))
            shift++;
        while ((mask >> (shift + bits)) & 1)
            bits++;
        unsigned long v8 = static_cast<unsigned long>(c);
        unsigned long val = bits >= 8 ? v8 << (bits - 8) : v8 >> (8 - bits);
        return val << shift;
    };
    return put(v->red_mask, r) | put(v->green_mask, g) | put(v->blue_mask, b);
}

ChildResult run_forked(const std::function<void()> &fn, int timeout_ms)
{
    ChildResult res;
    int fds[2];
    if (pipe(fds) != 0)
        return res;
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], 2);
        close(fds[1]);
        // The test's own connection belongs to the parent.
        g_dpy = nullptr;
        g_forked_child = true;
        fn();
        exit(0);
    }
    close(fds[1]);
    // Read while the child runs; once it has ended, take what is left
    // (a grandchild that kept standard error open must not stall us).
    int status = 0;
    bool done = false;
    auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    };
    bool open_pipe = true;
    while (!done) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            done = true;
            break;
        }
        if (elapsed() > timeout_ms) {
            res.timed_out = true;
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            done = true;
            break;
        }
        if (open_pipe) {
            pollfd p{fds[0], POLLIN, 0};
            if (poll(&p, 1, 10) > 0) {
                char buf[4096];
                ssize_t n = read(fds[0], buf, sizeof buf);
                if (n > 0)
                    res.err.append(buf, static_cast<size_t>(n));
                else if (n == 0)
                    open_pipe = false;
            }
        } else {
            usleep(10000);
        }
    }
    if (open_pipe)
        res.err += read_until(fds[0], [](const std::string &) { return false; }, 500);
    close(fds[0]);
    res.err = without_sanitizer_notes(res.err);
    res.status = status;
    res.exited = WIFEXITED(status);
    res.code = res.exited ? WEXITSTATUS(status) : -1;
    res.signalled = WIFSIGNALED(status);
    res.signal = res.signalled ? WTERMSIG(status) : 0;
    return res;
}

std::string capture_stderr(const std::function<void()> &fn)
{
    fflush(stderr);
    char path[] = "/tmp/kova_test_stderr_XXXXXX";
    int fd = mkstemp(path);
    int saved = dup(2);
    dup2(fd, 2);
    fn();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    close(fd);
    unlink(path);
    return ss.str();
}

bool process_alive(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    if (!in)
        return false;
    std::string line;
    std::getline(in, line);
    auto close_paren = line.rfind(')');
    if (close_paren == std::string::npos || close_paren + 2 >= line.size())
        return false;
    char state = line[close_paren + 2];
    return state != 'Z' && state != 'X';
}

std::set<std::string> child_copies()
{
    std::set<std::string> names;
    if (DIR *d = opendir("/tmp")) {
        while (dirent *e = readdir(d))
            if (std::strncmp(e->d_name, "_xslave_", 8) == 0)
                names.insert(std::string("/tmp/") + e->d_name);
        closedir(d);
    }
    return names;
}

std::set<std::string> child_copies_left(const std::set<std::string> &before)
{
    std::set<std::string> left;
    eventually(
        [&] {
            left.clear();
            for (const std::string &n : child_copies())
                if (!before.count(n))
                    left.insert(n);
            return left.empty();
        },
        2000);
    return left;
}

std::vector<pid_t> children_of(pid_t pid)
{
    std::vector<pid_t> kids;
    DIR *d = opendir("/proc");
    if (!d)
        return kids;
    while (dirent *e = readdir(d)) {
        pid_t p = std::atoi(e->d_name);
        if (p <= 0)
            continue;
        std::ifstream in("/proc/" + std::to_string(p) + "/stat");
        std::string line;
        if (!std::getline(in, line))
            continue;
        auto close_paren = line.rfind(')');
        if (close_paren == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close_paren + 2));
        char state;
        pid_t ppid;
        rest >> state >> ppid;
        if (ppid == pid && state != 'Z')
            kids.push_back(p);
    }
    closedir(d);
    return kids;
}

Window map_window(Display *d, int x, int y, int w, int h)
{
    int scr = DefaultScreen(d);
    Window win = XCreateSimpleWindow(d, RootWindow(d, scr), x, y, static_cast<unsigned>(w),
                                     static_cast<unsigned>(h), 0, BlackPixel(d, scr),
                                     BlackPixel(d, scr));
    XSelectInput(d, win, ExposureMask);
    XMapWindow(d, win);
    XEvent ev;
    do
        XWindowEvent(d, win, ExposureMask, &ev);
    while (ev.type != Expose);
    XSelectInput(d, win, 0);
    return win;
}

void cover_and_uncover(int x, int y, int w, int h)
{
    Display *d = dpy();
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.background_pixel = 0;
    Window cover = XCreateWindow(d, DefaultRootWindow(d), x, y, static_cast<unsigned>(w),
                                 static_cast<unsigned>(h), 0, CopyFromParent, InputOutput,
                                 CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
    XMapRaised(d, cover);
    XSync(d, False);
    XDestroyWindow(d, cover);
    XSync(d, False);
}

bool eventually(const std::function<bool()> &cond, int timeout_ms)
{
    for (int waited = 0; waited <= timeout_ms; waited += 10) {
        if (cond())
            return true;
        usleep(10000);
    }
    return false;
}

void start_test_server(int depth, int width, int height)
{
    g_depth = depth;
    g_server = std::make_unique<PrivateServer>(depth, width, height);
    g_name = g_server->name();
    // The library connects to the display the environment names: make
    // that our private server, never the caller's.
    setenv("DISPLAY", g_name.c_str(), 1);
}

void stop_test_server()
{
    if (g_dpy)
        XCloseDisplay(g_dpy);
    g_dpy = nullptr;
    g_server.reset();
}

bool in_forked_child() { return g_forked_child; }

} // namespace kt
