// The classic-style Fortran program pages.f, linked -lkova_plotter -lkova,
// draws two pages; each is held on screen until a key is typed (XTEST),
// and read back while it is: markers at their inches, text of the right
// height in both directions, the origin after a -3 pen code, the factor,
// axes and a scaled line, the first page gone from the second.  Run again
// with a hold time and a file name, it ends by itself and saves both pages;
// then once more on a page of another size.  stop.f ends its page with STOP
// instead: the page is held and saved all the same.  Pages drawn through
// the library in processes of this test end by 999, by an interrupt, or
// reach beyond the paper.
#include <gtest/gtest.h>

#include "fortran/fortran_program.hpp"
#include "kova_plotter.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int W = 1024, H = 768;
const double Ppi = H / 8.5; // 1024 x 768 showing 11 x 8.5 inches

struct Page {
    Window win = 0;
    std::vector<unsigned long> px;
    unsigned long paper = 0;

    int column(double x) const { return static_cast<int>(std::lround(x * Ppi)); }
    int row(double y) const { return H - 1 - static_cast<int>(std::lround(y * Ppi)); }
    bool ink_at(int c, int r) const
    {
        return c >= 0 && c < W && r >= 0 && r < H && px[static_cast<size_t>(r) * W + c] != paper;
    }
    // Ink within `reach` pixels of the point (x, y) inches.
    bool ink(double x, double y, int reach = 1) const
    {
        for (int dr = -reach; dr <= reach; dr++)
            for (int dc = -reach; dc <= reach; dc++)
                if (ink_at(column(x) + dc, row(y) + dr))
                    return true;
        return false;
    }
    // The ink's bounding box, in pixels, within a square of `half` inches
    // around (x, y): left, top, right, bottom.
    std::vector<int> box(double x, double y, double half) const
    {
        std::vector<int> b{W, H, -1, -1};
        for (int r = row(y + half); r <= row(y - half); r++)
            for (int c = column(x - half); c <= column(x + half); c++)
                if (ink_at(c, r))
                    b = {std::min(b[0], c), std::min(b[1], r), std::max(b[2], c), std::max(b[3], r)};
        return b;
    }
};

// Page n is held.  The number matters: the program's output and its X
// requests are not ordered, so the previous page's title can still show
// when the program has already said the next page is drawn; the title of
// page n is named after its drawing, so once it shows, so does the page.
bool held(Window w, int n)
{
    const std::string title = "page " + std::to_string(n) + " - press a key";
    return kt::window_name(w).find(title) != std::string::npos;
}

// The page on show once the program holds it.
Page held_page(int n = 1)
{
    Page p;
    EXPECT_TRUE(kt::eventually([&] { return (p.win = kt::find_canvas(W, H)) != 0 && held(p.win, n); },
                               20000));
    p.px = kt::pixels(p.win, 0, 0, W, H);
    p.paper = p.px.empty() ? 0 : p.px[0];
    return p;
}

void type_key(Window w)
{
    Display *d = kt::dpy();
    int x, y;
    Window child;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), W / 2, H / 2, &x, &y, &child);
    XTestFakeMotionEvent(d, DefaultScreen(d), x, y, CurrentTime);
    KeyCode space = XKeysymToKeycode(d, XK_space);
    XTestFakeKeyEvent(d, space, True, CurrentTime);
    XTestFakeKeyEvent(d, space, False, CurrentTime);
    XSync(d, False);
}

void expect_first_page(const Page &p)
{
    // The box drawn with pen codes 3 and 2, hollow.
    EXPECT_TRUE(p.ink(2.0, 1.0) && p.ink(3.0, 1.5) && p.ink(1.0, 2.0));
    EXPECT_FALSE(p.ink(2.0, 1.5, 3));
    // Markers 0-13, 0.3 inches, centred half an inch apart on y = 3; -1
    // moves with the pen up, the last one (-2) with the pen down: from the
    // bar (13), which is checked by its ends.
    for (int i = 0; i < 13; i++) {
        const double x = 1.0 + 0.5 * i;
        std::vector<int> b = p.box(x, 3.0, 0.25);
        EXPECT_NEAR((b[0] + b[2]) / 2.0, p.column(x), 1.0) << "marker " << i;
        EXPECT_NEAR((b[1] + b[3]) / 2.0, p.row(3.0), 1.0) << "marker " << i;
    }
    std::vector<int> square = p.box(1.0, 3.0, 0.25);
    EXPECT_NEAR(square[2] - square[0], 0.3 * Ppi, 1.0);
    EXPECT_NEAR(square[3] - square[1], 0.3 * Ppi, 1.0);
    EXPECT_TRUE(p.ink(7.5, 3.15, 0) && p.ink(7.5, 2.85, 0));
    EXPECT_FALSE(p.ink(7.5, 3.2, 2) || p.ink(7.5, 2.8, 2));
    EXPECT_FALSE(p.ink(1.25, 3.0, 2));
    EXPECT_TRUE(p.ink(8.0, 3.0, 0));
    // "L" half an inch tall: its stem's top, its foot's end, and nothing at
    // its top right; the next "L" (999.) half an inch on; the vertical one
    // reads upward with its top to the left.
    EXPECT_TRUE(p.ink(1.0, 5.5) && p.ink(1.0 + 1 / 3.0, 5.0));
    EXPECT_FALSE(p.ink(1.0 + 1 / 3.0, 5.5, 3));
    EXPECT_TRUE(p.ink(1.5, 5.5) && p.ink(1.5 + 1 / 3.0, 5.0));
    EXPECT_TRUE(p.ink(3.5, 5.0) && p.ink(4.0, 5.0 + 1 / 3.0));
    EXPECT_FALSE(p.ink(3.5, 5.0 + 1 / 3.0, 3));
    // 3.14159 with 2 decimals: "3.14", four characters of half an inch.
    std::vector<int> number = p.box(7.0, 5.25, 1.2);
    EXPECT_EQ(number, (std::vector<int>{p.column(6.0), p.row(5.5), p.column(6.0 + 11 / 6.0),
                                        p.row(5.0)}));
    // The origin moved to (5, 0.5), then the factor 0.5 halved a 2-inch box.
    EXPECT_TRUE(p.ink(5.0, 0.5) && p.ink(6.0, 1.5) && p.ink(5.5, 0.5) && p.ink(5.0, 1.0));
    EXPECT_FALSE(p.ink(6.5, 0.5, 3));
    EXPECT_FALSE(p.ink(5.5, 1.0, 3));
}

void expect_second_page(const Page &p)
{
    // Nothing of the first page is left.
    EXPECT_FALSE(p.ink(3.0, 1.5, 3));
    EXPECT_FALSE(p.ink(1.25, 5.25, 10));
    // An axis 5 inches long with its ticks below, one 4 inches up with its
    // ticks to the left, one tick every inch.
    EXPECT_TRUE(p.ink(3.5, 1.0, 0) && p.ink(1.0, 3.5, 0));
    for (int i = 0; i <= 5; i++)
        EXPECT_TRUE(p.ink(1.0 + i, 1.0 - 0.05, 0)) << "tick " << i;
    EXPECT_FALSE(p.ink(2.5, 1.0 - 0.05, 2));
    EXPECT_FALSE(p.ink(2.5, 1.0 + 0.05, 2));
    for (int i = 0; i <= 4; i++)
        EXPECT_TRUE(p.ink(1.0 - 0.05, 1.0 + i, 0)) << "tick " << i;
    EXPECT_FALSE(p.ink(1.0 + 0.05, 2.5, 2));
    // The scaled line from (1, 1) to (5, 5), squares at every other point.
    EXPECT_TRUE(p.ink(2.0, 2.0) && p.ink(4.0, 4.0));
    EXPECT_FALSE(p.ink(3.5, 2.5, 3));
    EXPECT_TRUE(p.ink(3.04, 2.96));
    EXPECT_FALSE(p.ink(2.04, 1.96, 0));
    // "L" written with 999. once PLOT had drawn up to (9, 7).
    EXPECT_TRUE(p.ink(9.0, 7.5) && p.ink(9.0 + 1 / 3.0, 7.0));
    EXPECT_FALSE(p.ink(9.0 + 1 / 3.0, 7.5, 3));
}

// A depth-24 pixel as the bytes of a PPM file.
std::string rgb(const std::vector<unsigned long> &px)
{
    std::string s;
    for (unsigned long v : px) {
        s += static_cast<char>(v >> 16 & 255);
        s += static_cast<char>(v >> 8 & 255);
        s += static_cast<char>(v & 255);
    }
    return s;
}

std::string file(const std::string &name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Plotter, ClassicProgramPagesHeldUntilAKey)
{
    setenv("GFORTRAN_UNBUFFERED_PRECONNECTED", "y", 1);
    unsetenv("KOVA_PLOTTER_WAIT");
    unsetenv("KOVA_PLOTTER_SAVE");
    std::vector<Page> pages;
    {
        kt::Program prog(KOVA_PLOTTER_PAGES);
        // What the program writes (WHERE, then SCALE) before each page ends.
        const std::pair<const char *, void (*)(const Page &)> steps[] = {
            {"   2.000   0.000   0.500\n", expect_first_page},
            {"   0.000   1.000   0.000   2.000   8.000  -2.000\n", expect_second_page},
        };
        for (const auto &step : steps) {
            EXPECT_EQ(prog.line(20000), step.first);
            pages.push_back(held_page(static_cast<int>(pages.size()) + 1));
            step.second(pages.back());
            usleep(300000);
            EXPECT_TRUE(held(pages.back().win, static_cast<int>(pages.size())))
                << "page " << pages.size() << " was not held";
            type_key(pages.back().win);
        }
        EXPECT_EQ(prog.finish(20000), 0);
    }
    if (kt::depth() != 24)
        return;

    char dir[] = "/tmp/kova-plotter-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    setenv("KOVA_PLOTTER_WAIT", "0.2", 1);
    setenv("KOVA_PLOTTER_SAVE", (std::string(dir) + "/page.ppm").c_str(), 1);
    {
        kt::Program prog(KOVA_PLOTTER_PAGES);
        EXPECT_EQ(prog.finish(20000), 0) << "the program did not end by itself";
    }
    for (int i = 0; i < 2; i++) {
        std::string name = std::string(dir) + "/page" + std::to_string(i + 1) + ".ppm";
        EXPECT_EQ(file(name), "P6\n1024 768\n255\n" + rgb(pages[static_cast<size_t>(i)].px))
            << name;
        unlink(name.c_str());
    }

    // A page wider than the screen, 100 pixels per inch: with scrollbars,
    // and the box's right edge (3, 1.5) on column 300, row 499 - 150.
    setenv("KOVA_PLOTTER_WAIT", "0", 1);
    setenv("KOVA_PLOTTER_PAGE", "2000x500,20x5", 1);
    {
        kt::Program prog(KOVA_PLOTTER_PAGES);
        EXPECT_EQ(prog.finish(20000), 0);
    }
    const std::string wide = file(std::string(dir) + "/page1.ppm");
    const std::string header = "P6\n2000 500\n255\n";
    auto rgb_at = [&](int x, int y) { return wide.substr(header.size() + 3 * (y * 2000 + x), 3); };
    ASSERT_EQ(wide.size(), header.size() + 2000 * 500 * 3);
    EXPECT_EQ(wide.compare(0, header.size(), header), 0);
    EXPECT_EQ(rgb_at(300, 349), std::string(3, '\0'));
    EXPECT_EQ(rgb_at(200, 349), std::string(3, '\xff'));
    for (const char *name : {"/page1.ppm", "/page2.ppm"})
        unlink((std::string(dir) + name).c_str());
    rmdir(dir);
    unsetenv("KOVA_PLOTTER_WAIT");
    unsetenv("KOVA_PLOTTER_SAVE");
    unsetenv("KOVA_PLOTTER_PAGE");
}

void plot(float x, float y, int ipen)
{
    plot_(&x, &y, &ipen);
}

// What stop.f draws.
void draw_stop_page()
{
    float at = 999, height = 0.4f, angle = 0;
    int n = 4;
    plots_();
    plot(1, 1, 3);
    plot(4, 3, 2);
    symbol_(&at, &at, &height, "STOP", &angle, &n);
}

struct Scratch {
    char dir[32] = "/tmp/kova-plotter-XXXXXX";
    Scratch() { EXPECT_TRUE(mkdtemp(dir)); }
    ~Scratch() { EXPECT_EQ(rmdir(dir), 0) << "a file was left in " << dir; }
    std::string operator/(const char *name) const { return std::string(dir) + "/" + name; }
};

TEST(Plotter, APageEndedByStopIsHeldAndSavedAsIfBy999)
{
    // A child that the program leaves behind comes to this test.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    const size_t children = kt::children_of(getpid()).size();
    const auto copies = kt::child_copies();
    Scratch tmp;
    unsetenv("KOVA_PLOTTER_WAIT");
    setenv("KOVA_PLOTTER_SAVE", (tmp / "stop.ppm").c_str(), 1);
    {
        kt::Program prog(KOVA_PLOTTER_STOP);
        EXPECT_EQ(prog.line(20000), "DRAWN\n");
        const Page held = held_page();
        // The window child is still there to repaint it.
        kt::cover_and_uncover(0, 0, 2000, 2000);
        EXPECT_TRUE(
            kt::eventually([&] { return kt::pixels(held.win, 0, 0, W, H) == held.px; }))
            << "the held page was not repainted";
        type_key(held.win);
        EXPECT_EQ(prog.wait(20000), 0);
    }
    EXPECT_EQ(kt::children_of(getpid()).size(), children);
    EXPECT_TRUE(kt::child_copies_left(copies).empty());

    setenv("KOVA_PLOTTER_WAIT", "0", 1);
    setenv("KOVA_PLOTTER_SAVE", (tmp / "end.ppm").c_str(), 1);
    kt::ChildResult r = kt::run_forked([] {
        draw_stop_page();
        plot(0, 0, 999);
    });
    EXPECT_EQ(r.code, 0);
    const std::string stopped = file(tmp / "stop1.ppm"), ended = file(tmp / "end1.ppm");
    EXPECT_EQ(stopped.size(), std::string("P6\n1024 768\n255\n").size() + W * H * 3);
    EXPECT_TRUE(stopped == ended) << "the page saved at STOP differs from the one 999 saves";
    unlink((tmp / "stop1.ppm").c_str());
    unlink((tmp / "end1.ppm").c_str());
    unsetenv("KOVA_PLOTTER_SAVE");
}

TEST(Plotter, AnInterruptedProgramHoldsAndSavesNothing)
{
    Scratch tmp;
    unsetenv("KOVA_PLOTTER_WAIT");
    setenv("KOVA_PLOTTER_SAVE", (tmp / "page.ppm").c_str(), 1);
    kt::ChildResult r = kt::run_forked([] {
        draw_stop_page();
        raise(SIGTERM);
    });
    EXPECT_EQ(r.code, 143);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(unlink((tmp / "page1.ppm").c_str()), 0) << "the page was saved";
    unsetenv("KOVA_PLOTTER_SAVE");
}

TEST(Plotter, DrawingBeyondThePageIsReportedOnceAsThePageEnds)
{
    setenv("KOVA_PLOTTER_WAIT", "0", 1);
    kt::ChildResult r = kt::run_forked([] {
        plots_();
        plot(1, 1, 3);
        plot(20, 1, 2);
        plot(1, 2, 2);
        plots_();
        plot(0, 0, 3);
        plot(11, 8.5, 2);
        plot(0, 0, 999);
    });
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "KOVA: [WARNING] Page 1 was drawn from x = 1 to 20 and y = 1 to 2 inches, "
                     "beyond the 11.3333 x 8.5 inches shown; KOVA_PLOTTER_PAGE sets a larger "
                     "page.\n");
    unsetenv("KOVA_PLOTTER_WAIT");
}

} // namespace
