// The Fortran program plot.f90, compiled with gfortran against the shared
// library, draws through the single-window entry points; its window must
// hold exactly what plain X requests for the expected shapes draw.
#include <gtest/gtest.h>

#include "xserver.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

constexpr int W = 640, H = 400;

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
    // Lets it go on and waits, at most timeout_ms, for its exit status.
    int finish(int timeout_ms)
    {
        if (write(to_, "go\n", 3) != 3)
            return -1;
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

// The program's top-level window: the one viewable W x H child of the root.
Window find_canvas()
{
    Display *d = kt::dpy();
    Window root, parent, *kids = nullptr;
    unsigned int n = 0;
    Window found = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &kids, &n))
        return 0;
    for (unsigned int i = 0; i < n && !found; i++) {
        XWindowAttributes a;
        if (XGetWindowAttributes(d, kids[i], &a) && a.map_state == IsViewable && a.width == W &&
            a.height == H)
            found = kids[i];
    }
    if (kids)
        XFree(kids);
    return found;
}

std::vector<unsigned long> pixels(Drawable dr)
{
    Display *d = kt::dpy();
    XSync(d, False);
    std::vector<unsigned long> out;
    XImage *img = XGetImage(d, dr, 0, 0, W, H, AllPlanes, ZPixmap);
    if (!img)
        return out;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
            out.push_back(XGetPixel(img, x, y));
    XDestroyImage(img);
    return out;
}

// What the program should have drawn: window(0, 0, 63.9, 39.9) on the
// 640 x 400 canvas makes ten pixels per unit with row 399 at y = 0.
std::vector<unsigned long> expected()
{
    Display *d = kt::dpy();
    Pixmap pm = XCreatePixmap(d, DefaultRootWindow(d), W, H,
                              static_cast<unsigned>(DefaultDepth(d, DefaultScreen(d))));
    GC gc = XCreateGC(d, pm, 0, nullptr);
    XSetForeground(d, gc, kt::truecolor(0, 0, 0));
    XFillRectangle(d, pm, gc, 0, 0, W, H);
    // Pen 2, red: (1, 1) -> (20, 1) -> (20, 10), each segment with its ends.
    XSetForeground(d, gc, kt::truecolor(255, 0, 0));
    XDrawLine(d, pm, gc, 10, 389, 200, 389);
    XDrawLine(d, pm, gc, 200, 389, 200, 299);
    XPoint ends[] = {{10, 389}, {200, 389}, {200, 299}};
    XDrawPoints(d, pm, gc, ends, 3, CoordModeOrigin);
    // Pen 3, green: the circle around (32, 20) of radius 5.
    XSetForeground(d, gc, kt::truecolor(0, 255, 0));
    XDrawArc(d, pm, gc, 270, 149, 100, 100, 0, 360 * 64);
    // Pen 4, blue: a quarter counter-clockwise from 0, then clockwise from
    // 10 degrees through 0 to 350.
    XSetForeground(d, gc, kt::truecolor(0, 0, 255));
    XDrawArc(d, pm, gc, 460, 59, 80, 80, 0, 90 * 64);
    XDrawArc(d, pm, gc, 460, 259, 80, 80, 10 * 64, -20 * 64);
    // Pen 23 is pen 7, yellow: the point (60, 5).
    XSetForeground(d, gc, kt::truecolor(255, 255, 0));
    XDrawPoint(d, pm, gc, 600, 349);
    // putimg24 at (30, 30): its one row is row 99, from column 300.
    XSetForeground(d, gc, kt::truecolor(255, 0, 255));
    XDrawPoint(d, pm, gc, 300, 99);
    XSetForeground(d, gc, kt::truecolor(0, 255, 255));
    XDrawPoint(d, pm, gc, 301, 99);
    std::vector<unsigned long> want = pixels(pm);
    XFreeGC(d, gc);
    XFreePixmap(d, pm);
    return want;
}

TEST(Fortran, SingleWindowPlottingProgram)
{
    if (kt::depth() != 24)
        GTEST_SKIP() << "colours are checked on a 24-bit screen";
    Program prog(KOVA_FORTRAN_PLOT);
    ASSERT_EQ(prog.line(20000), "ready\n");
    Window canvas = 0;
    ASSERT_TRUE(kt::eventually([&] { return (canvas = find_canvas()) != 0; }));
    std::vector<unsigned long> want = expected();
    std::vector<unsigned long> got;
    bool same = kt::eventually([&] { return (got = pixels(canvas)) == want; });
    EXPECT_TRUE(same);
    if (!same && got.size() == want.size()) {
        int shown = 0;
        for (size_t i = 0; i < got.size() && shown < 10; i++)
            if (got[i] != want[i]) {
                ADD_FAILURE() << "pixel (" << i % W << ", " << i / W << ") is " << std::hex
                              << got[i] << ", expected " << want[i];
                shown++;
            }
    }
    EXPECT_EQ(prog.finish(20000), 0);
}

} // namespace
