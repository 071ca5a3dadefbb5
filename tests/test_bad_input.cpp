// kova-test-depths: 24
// Bad input: every entry point that takes a window number, given one that
// is not an open window (before any open, after closing everything, a free
// slot, negative, beyond the table), says so once and does nothing; NaN,
// infinite, huge and negative numbers draw without any undefined step.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"
#include "kova_fortran.hpp"

#include <cfloat>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string not_open(int wn)
{
    return "KOVA: [WARNING] Window " + std::to_string(wn) + " is not open.\n";
}

// The number every real argument of a call gets: a double for the C entry
// points, its nearest float for the Fortran ones.
struct Num {
    double d;
    float f;
};

// Coordinate arrays, filled with the number of the call.
double Dx[3], Dy[3];
float Fx[3], Fy[3];
int Three = 3;

void fill(const Num &v)
{
    for (int i = 0; i < 3; i++) {
        Dx[i] = Dy[i] = v.d + i;
        Fx[i] = Fy[i] = v.f + static_cast<float>(i);
    }
}

// One entry point: the result it gives when the window is not open (0 for
// those without a result), and a call with every real argument set to v.
struct Entry {
    const char *name;
    int failure;
    std::function<int(int wn, Num v)> call;
};

#define C_CALL(fn, ...) {#fn, 0, [](int wn, Num v) { (void)v; fn(wn, __VA_ARGS__); return 0; }}
#define C_RESULT(fn, ...) {#fn, -1, [](int wn, Num v) { (void)v; return fn(wn, __VA_ARGS__); }}
#define F_CALL(fn, ...)                                                                            \
    {#fn, 0, [](int wn, Num v) {                                                                   \
         float r = v.f;                                                                            \
         int k = 1;                                                                                \
         (void)r, (void)k;                                                                         \
         fn(&wn, __VA_ARGS__);                                                                     \
         return 0;                                                                                 \
     }}
#define F_RESULT(fn, ...)                                                                          \
    {#fn, -1, [](int wn, Num) {                                                                    \
         int status = 0;                                                                           \
         fn(&wn, __VA_ARGS__, &status);                                                            \
         return status;                                                                            \
     }}

const std::vector<Entry> &entries()
{
    static const std::vector<Entry> table = {
        {"kova_gclose", 0, [](int wn, Num) { kova_gclose(wn); return 0; }},
        C_CALL(kova_gsetborder, 2, "red"),
        C_CALL(kova_gsetbgcolor, "blue"),
        C_RESULT(kova_winname, "name"),
        C_CALL(kova_window, v.d, v.d, v.d + 10, v.d + 10),
        C_CALL(kova_coordinate, 5, 5, v.d, v.d, v.d, v.d),
        C_CALL(kova_newcolor, "green"),
        C_CALL(kova_newrgbcolor, 1, 2, 3),
        C_CALL(kova_newhsvcolor, 100, 200, 250),
        C_CALL(kova_newpen, 3),
        C_CALL(kova_newlinewidth, 1),
        C_CALL(kova_newlinestyle, LineSolid),
        C_CALL(kova_newgcfunction, GXcopy),
        C_CALL(kova_pset, v.d, v.d),
        C_CALL(kova_drawline, v.d, v.d, -v.d, v.d),
        C_CALL(kova_line, v.d, v.d, 2),
        C_CALL(kova_moveto, v.d, v.d),
        C_CALL(kova_lineto, v.d, -v.d),
        C_CALL(kova_drawpts, Dx, Dy, 3),
        C_CALL(kova_drawptsf, Fx, Fy, 3),
        C_CALL(kova_drawlines, Dx, Dy, 3),
        C_CALL(kova_drawlinesf, Fx, Fy, 3),
        C_CALL(kova_drawpoly, Dx, Dy, 3),
        C_CALL(kova_drawpolyf, Fx, Fy, 3),
        C_CALL(kova_fillpoly, Dx, Dy, 3, 0),
        C_CALL(kova_fillpolyf, Fx, Fy, 3, 1),
        C_CALL(kova_drawrect, v.d, v.d, v.d, -v.d),
        C_CALL(kova_fillrect, v.d, v.d, -v.d, v.d),
        C_CALL(kova_drawarc, v.d, v.d, v.d, v.d, v.d, -v.d, -1),
        C_CALL(kova_fillarc, v.d, v.d, v.d, v.d, -v.d, v.d, 1),
        C_CALL(kova_drawcirc, v.d, v.d, v.d, v.d),
        C_CALL(kova_circle, v.d, v.d, v.d, -v.d),
        C_CALL(kova_fillcirc, v.d, v.d, -v.d, v.d),
        C_CALL(kova_drawsym, v.d, v.d, 12, 3),
        C_CALL(kova_drawsyms, Dx, Dy, 3, 12, 4),
        C_CALL(kova_drawsymsf, Fx, Fy, 3, 12, 7),
        C_CALL(kova_drawarrow, v.d, v.d, 1, 1, v.d, v.d, 26),
        C_CALL(kova_drawarrow, 1, 1, v.d, -v.d, v.d, v.d, 121),
        C_RESULT(kova_drawstr, v.d, v.d, 12, v.d, "%s", "text"),
        C_RESULT(kova_drawstr, v.d, v.d, 0, v.d, "%s", "font set\nline"),
        C_RESULT(kova_newfontset, "fixed"),
        C_RESULT(kova_gsetfontset, "fixed"),
        C_RESULT(kova_putfield, v.d, v.d, 2 * v.d, -v.d, Dx, 3, 1, 0.0, 1.0, KOVA_PALETTE_SEQUENTIAL),
        C_RESULT(kova_putfieldf, -v.d, v.d, v.d, 1.0, Fy, 1, 3, -1.0, 1.0, KOVA_PALETTE_DIVERGING),
        {"gclose_", 0, [](int wn, Num) { gclose_(&wn); return 0; }},
        F_CALL(gsetbgcolor_, "blue"),
        F_CALL(winname_, "name"),
        F_CALL(newwindow_, &r, &r, &r, &r),
        F_CALL(newcoordinate_, &k, &k, &r, &r, &r, &r),
        F_CALL(newcolor_, "green"),
        F_CALL(newrgbcolor_, &k, &k, &k),
        F_CALL(newhsvcolor_, &k, &k, &k),
        F_CALL(newpencolor_, &k),
        F_CALL(newlinewidth_, &k),
        F_CALL(newlinestyle_, &k),
        F_CALL(pset_, &r, &r),
        F_CALL(drawline_, &r, &r, &r, &r),
        F_CALL(line_, &r, &r, &k),
        F_CALL(moveto_, &r, &r),
        F_CALL(lineto_, &r, &r),
        F_CALL(drawpts_, Fx, Fy, &Three),
        F_CALL(drawlines_, Fx, Fy, &Three),
        F_CALL(drawpoly_, Fx, Fy, &Three),
        F_CALL(fillpoly_, Fx, Fy, &Three, &k),
        F_CALL(drawrect_, &r, &r, &r, &r),
        F_CALL(fillrect_, &r, &r, &r, &r),
        F_CALL(drawarc_, &r, &r, &r, &r, &r, &r, &k),
        F_CALL(fillarc_, &r, &r, &r, &r, &r, &r, &k),
        F_CALL(drawcirc_, &r, &r, &r, &r),
        F_CALL(fillcirc_, &r, &r, &r, &r),
        F_CALL(drawsym_, &r, &r, &r, &k),
        F_CALL(drawsyms_, Fx, Fy, &Three, &r, &k),
        F_CALL(drawarrow_, &r, &r, &r, &r, &r, &r, &k),
        F_CALL(drawnum_, &r, &r, &r, &r, &r, &k),
        F_CALL(drawstr_, &r, &r, &r, "text", &r, &k),
        F_RESULT(newfontset_, "fixed"),
        F_RESULT(gsetfontset_, "fixed"),
    };
    return table;
}

// The single-window entry points: with no current window they do nothing,
// and say so once per process.
void single_window_calls(Num v)
{
    float r = v.f, four = 4;
    int mode = 2, n = 3, ndec = 2, code = 1, count = -1;
    plot_(&r, &r, &mode);
    newpen_(&n);
    window_(&r, &r, &r, &r);
    circ1_(&r, &r, &r);
    arc_(&r, &r, &r, &r, &r, &mode);
    arohd_(&r, &r, &r, &r, &r, &r, &code);
    number_(&r, &r, &four, &r, &r, &ndec);
    symbol_(&r, &r, &four, "ab", &r, &n);
    symbol_(&r, &r, &four, reinterpret_cast<const char *>(&code), &r, &count);
}

const Num Sane{1.0, 1.0f};

const std::string No_current_window =
    "KOVA: [WARNING] The current window 0 is not open: plot, newpen, symbol and the other calls "
    "without a window number do nothing until selwin names an open one.\n";

// Calls e with every number in wns, checking its result each time; what it
// wrote to standard error comes back.
std::string call_with(const Entry &e, const std::vector<int> &wns, std::vector<int> *results)
{
    return kt::capture_stderr([&] {
        for (int wn : wns)
            results->push_back(e.call(wn, Sane));
    });
}

std::string warnings(const std::vector<int> &wns)
{
    std::string all;
    for (int wn : wns)
        all += not_open(wn);
    return all;
}

// Every entry point on every bad number: one warning per call, the failure
// result, and nothing else written.
void expect_refused(const std::vector<int> &wns)
{
    fill(Sane);
    for (const Entry &e : entries()) {
        std::vector<int> results;
        EXPECT_EQ(call_with(e, wns, &results), warnings(wns)) << e.name;
        for (int r : results)
            EXPECT_EQ(r, e.failure) << e.name;
    }
    std::string err = kt::capture_stderr([] { single_window_calls(Sane); });
    EXPECT_TRUE(err.empty() || err == No_current_window) << err;
}

// Runs first, while this process has never opened a window: each entry
// point runs in a child of its own that starts from the library's initial
// state and must end normally, having opened nothing.
TEST(NotOpen, BeforeAnyOpenEveryEntryPointWarnsOnce)
{
    const std::vector<int> wns = {0, 1, -1, INT_MIN, 7, INT_MAX};
    fill(Sane);
    for (const Entry &e : entries()) {
        auto r = kt::run_forked([&] {
            if (Pc_dis || Pc || N_Pc || Wn != -1)
                exit(3);
            for (int wn : wns)
                if (e.call(wn, Sane) != e.failure)
                    exit(2);
            if (Pc_dis || N_Pc)
                exit(4);
        });
        EXPECT_TRUE(r.exited && r.code == 0) << e.name << " status " << r.status;
        EXPECT_EQ(r.err, warnings(wns)) << e.name;
    }
    auto r = kt::run_forked([] {
        single_window_calls(Sane);
        single_window_calls(Sane);
    });
    EXPECT_TRUE(r.exited && r.code == 0);
    EXPECT_EQ(r.err, No_current_window);
}

TEST(NotOpen, AfterCloseAll)
{
    int wn = kova_gopen(40, 30);
    ASSERT_GE(wn, 1);
    kova_drawline(wn, 0, 0, 10, 10);
    kova_gcloseall();
    ASSERT_EQ(Pc_dis, nullptr);
    expect_refused({wn, 0, -1, 5, INT_MAX});
}

// Bad numbers next to open windows, which stay as they were: not one
// pixel drawn, same pen, same mapping, same table.
TEST(NotOpen, FreeSlotsNegativeAndBeyondTheTable)
{
    kt::OpenWindow a(40, 30, 0);
    const int closed = kova_gopen(40, 30);
    kt::OpenWindow c(40, 30, 0);
    kova_gclose(closed);
    const int table = N_Pc;
    ASSERT_LT(closed, table);
    const unsigned long pen = a.pen_pixel();
    const pc_window before = a.rec();
    const std::vector<unsigned long> blank = kt::area(a.layer(), 0, 0, 40, 30);

    std::vector<int> wns = {0, closed, -1, INT_MIN, table, table + 1000, INT_MAX};
    expect_refused(wns);

    EXPECT_EQ(N_Pc, table);
    EXPECT_TRUE(Pc[a.wn()].in_use && Pc[c.wn()].in_use);
    EXPECT_FALSE(Pc[closed].in_use);
    EXPECT_EQ(a.pen_pixel(), pen);
    EXPECT_EQ(a.rec().scale_x, before.scale_x);
    EXPECT_EQ(a.rec().user_y0, before.user_y0);
    EXPECT_EQ(a.rec().fontset, before.fontset);
    EXPECT_EQ(kt::area(a.layer(), 0, 0, 40, 30), blank);
    EXPECT_EQ(kt::area(c.layer(), 0, 0, 40, 30), blank);
}

// NULL arrays with points to read are refused; with none, nothing is said.
TEST(BadArguments, NullArrays)
{
    kt::OpenWindow w(40, 30, 0);
    int wn = w.wn(), type = 1;
    float size = 8;
    const std::vector<std::function<void(int n)>> calls = {
        [&](int n) { kova_drawpts(wn, nullptr, Dy, n); },
        [&](int n) { kova_drawptsf(wn, Fx, nullptr, n); },
        [&](int n) { kova_drawlines(wn, nullptr, nullptr, n); },
        [&](int n) { kova_drawlinesf(wn, nullptr, Fy, n); },
        [&](int n) { kova_drawpoly(wn, Dx, nullptr, n); },
        [&](int n) { kova_drawpolyf(wn, nullptr, Fy, n); },
        [&](int n) { kova_fillpoly(wn, nullptr, Dy, n, 0); },
        [&](int n) { kova_fillpolyf(wn, Fx, nullptr, n, 1); },
        [&](int n) { kova_drawsyms(wn, nullptr, Dy, n, 8, 1); },
        [&](int n) { kova_drawsymsf(wn, Fx, nullptr, n, 8, 1); },
        [&](int n) { drawpts_(&wn, nullptr, Fy, &n); },
        [&](int n) { fillpoly_(&wn, Fx, nullptr, &n, &type); },
        [&](int n) { drawsyms_(&wn, nullptr, nullptr, &n, &size, &type); },
    };
    const std::string refused = "KOVA: [WARNING] NULL coordinate array ignored.\n";
    const std::vector<unsigned long> blank = kt::area(w.layer(), 0, 0, 40, 30);
    for (size_t i = 0; i < calls.size(); i++) {
        EXPECT_EQ(kt::capture_stderr([&] { calls[i](3); }), refused) << "call " << i;
        EXPECT_EQ(kt::capture_stderr([&] { calls[i](0); }), "") << "call " << i;
        EXPECT_EQ(kt::capture_stderr([&] { calls[i](INT_MIN); }), "") << "call " << i;
    }
    EXPECT_EQ(kt::area(w.layer(), 0, 0, 40, 30), blank);
}

// NaN, infinities, huge and tiny numbers in every real argument, then the
// extremes of every integer size, code and count, with slot 0 open too for
// the single-window entry points.  Runs in a child of its own, so that a
// sanitizer's report reaches the test's output; ends with status 2 when
// the window no longer draws a plain line where it should.
void absurd_calls()
{
    kt::OpenWindow w(64, 48, 0);
    plots_();
    int wn = w.wn();
    const double inf = std::numeric_limits<double>::infinity();
    float finf = std::numeric_limits<float>::infinity();
    float nanf = std::numeric_limits<float>::quiet_NaN();
    const Num absurd[] = {
        {std::nan(""), nanf}, {inf, finf},   {-inf, -finf}, {1e300, FLT_MAX}, {-DBL_MAX, -FLT_MAX},
        {4.9e-324, 1.4e-45f}, {3e9, 3e9f}, {-3e9, -3e9f},
    };
    for (const Num &v : absurd) {
        fill(v);
        for (const Entry &e : entries())
            if (std::string(e.name).find("gclose") == std::string::npos)
                e.call(wn, v);
        single_window_calls(v);
    }
    float x = 10, four = 4;
    for (int e : {INT_MIN, -1000, -1, 0, INT_MAX}) {
        int k = e;
        kova_newrgbcolor(wn, e, e, e);
        kova_newhsvcolor(wn, e, e, e);
        kova_newpen(wn, e);
        kova_newlinewidth(wn, e);
        kova_newlinewidth(wn, 1);
        kova_newlinestyle(wn, e);
        kova_newgcfunction(wn, e);
        kova_newgcfunction(wn, GXcopy);
        kova_line(wn, 5, 5, e);
        kova_coordinate(wn, e, e, 1, 1, 1, 1);
        kova_window(wn, 0, 0, 63, 47);
        kova_fillpoly(wn, Dx, Dy, 3, e);
        kova_drawarc(wn, 10, 10, 5, 5, 0, 90, e);
        for (int type : {e, 1, 4, 6, 7, 9, 19})
            kova_drawsym(wn, 20, 20, e, type);
        kova_drawsyms(wn, Dx, Dy, 3, e, e);
        for (int shape : {e, 1, 7, 16, 24, 29, 115, 125})
            kova_drawarrow(wn, 5, 5, 40, 30, e, e, shape);
        kova_drawstr(wn, 5, 5, e, 0, "%d", e);
        drawnum_(&wn, &x, &x, &four, &nanf, &x, &k);
        drawnum_(&wn, &x, &x, &nanf, &finf, &x, &k);
        symbol_(&x, &x, &four, "abcd", &x, &k);
        newpen_(&k);
        arohd_(&x, &x, &four, &four, &nanf, &finf, &k);
    }

    // Read from the layer: slot 0's window may cover this one.
    kova_window(wn, 0, 0, 63, 47);
    kova_newlinestyle(wn, LineSolid);
    kova_newrgbcolor(wn, 255, 255, 255);
    XFillRectangle(Pc_dis, w.layer(), w.rec().bg_gc, 0, 0, 64, 48);
    kova_drawline(wn, 0, 20, 63, 20);
    if (kt::lit(w.layer(), 0, 0, 64, 48, w.rec().bg_pixel) != kt::block(0, 20, 63, 20) ||
        kt::synced_pixel(w.layer(), 63, 20) != w.pen_pixel())
        exit(2);
}

TEST(BadArguments, AbsurdNumbersDrawNothingUndefined)
{
    kova_gcloseall(); // the child starts the library afresh
    auto r = kt::run_forked(absurd_calls, 120000);
    EXPECT_TRUE(r.exited && r.code == 0) << "status " << r.status << "\n" << r.err;
    std::istringstream lines(r.err);
    // Text at an angle that is no number is said once.
    const std::string angle = "KOVA: [WARNING] Text at an angle that is not a finite number is "
                              "not drawn.";
    int angles = 0;
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(line.find("KOVA: [WARNING] Degenerate coordinate system") == 0 ||
                    line.find("KOVA: [WARNING] Invalid line style") == 0 ||
                    line.find("KOVA: [WARNING] Invalid drawing function") == 0 ||
                    line.find("KOVA: [ERROR] Field corners that are no finite numbers") == 0 ||
                    (line == angle && ++angles == 1))
            << line;
    EXPECT_EQ(angles, 1);
}

} // namespace
