// fuzz_api.cpp - calls every public entry point of kova, C and Fortran,
// with random window numbers, numbers and texts, on a private Xvfb.
//
//   fuzz_api [--seconds N] [--seed S] [--locale L] [--depth D] [--trace]
//   fuzz_api --list      (the names in the table, for the coverage check)
//
// A supervisor starts the server and forks one worker that makes the calls;
// the worker's standard error comes back through a pipe.  A finding is any
// of: an X protocol error on the library's connection (the default handler
// would end a user's program), a line on standard error that is not one of
// the library's own "KOVA: [WARNING] " / "KOVA: [ERROR] " messages (a
// sanitizer report, an X error of the window child, an Xlib complaint), a
// worker that dies or exits early, a call that does not return (the run
// overruns its time by Hang_ms), or a child process left behind after
// closing everything.  Every finding names the call, with its arguments,
// and the seed; the same seed, locale and depth replay the same calls.
#include "kova_private.h"
#include "kova_fortran.hpp"
#include "xserver.hpp"

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <climits>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>


namespace {

// A run still going this long after its time is up is a finding: one of
// its calls has not returned.  Some calls are slow but legitimate work for
// the server: a polyline of 64 dashed segments 65535 pixels wide across
// the coordinate range of a 32767-pixel canvas takes it about two minutes.
constexpr int Hang_ms = 180000;
// Beyond this many open windows an open request first closes one.
constexpr int Max_open = 6;
// Length of every coordinate array handed to the library.
constexpr int Points = 64;

// ---- random arguments ----------------------------------------------------

// Texts that mean something to one of the parsers behind the entry points:
// colour names and specifications, font and font set names, geometry.
const char *const Meaningful[] = {
    "red", "white", "#", "#f00", "#12345", "#ffffffffffff", "#1234567890123", "rgb:", "rgb:f/f/f",
    "rgb:ffff/ffff/ffff/ffff", "rgbi:nan/nan/nan", "rgbi:1e300/-1e300/1", "rgbi:inf/0/0",
    "CIEXYZ:1e300/1/1", "CIEXYZ:nan/nan/nan", "CIEuvY:nan/0/0", "CIExyY:0/0/1e300",
    "CIELab:nan/inf/-inf", "CIELuv:1e308/1e308/1e308", "TekHVC:nan/1/1", "TekHVC:1e300/1e300/1e300",
    "fixed", "7x14", "*", "-*-fixed-medium-r-normal--14-*", "-*-fixed-medium-r-normal--0-*",
    "-*-*-*-*-*-*-*-*-*-*-*-*-*-*-*-*-*-*", "fixed,-*--14-*", ",", ",,fixed", "fixed,", " , ",
    "=", "x", "0x0", "-0-0", "+-0+-0", "99999999999x99999999999", "+99999999999-99999999999",
    "65535x65535+32767+32767", "-32769-32769", "40000x10", "=1x1-99999+99999", "100x100+10+10",
    "%s%n%d", "\xa5\xd9\xa5\xeb", "\xe3\x82\xab\xe3\x83\x8a", "\x8e\xb6",
};

struct Gen {
    explicit Gen(std::uint64_t seed) : rng(seed) {}

    std::mt19937_64 rng;
    std::string args;  // the current call's arguments, for its description

    // Called once the arguments are made, just before the call itself.
    void (*announce)(const std::string &args) = nullptr;

    std::uint64_t below(std::uint64_t n) { return n ? rng() % n : 0; }
    bool chance(int percent) { return below(100) < static_cast<std::uint64_t>(percent); }
    template <class T, size_t N> T pick(const T (&a)[N]) { return a[below(N)]; }
    template <class T> T pick(std::initializer_list<T> l) { return l.begin()[below(l.size())]; }

    void note(const std::string &s) { args += (args.empty() ? "" : ", ") + s; }

    // Called before every call: frees what the last one was handed.
    void begin()
    {
        args.clear();
        texts_.clear();
        ints_.clear();
        floats_.clear();
        doubles_.clear();
    }

    // Generates the arguments in order (a braced list is evaluated left to
    // right) and calls fn with them.
    template <class F, class... Make> void call(F fn, Make... make)
    {
        std::tuple<std::invoke_result_t<Make, Gen &>...> a{std::invoke(make, *this)...};
        announce(args);
        std::apply(fn, a);
    }

    // Window numbers: open, closed or free slots, never opened, 0,
    // negative, huge.
    int win()
    {
        std::vector<int> open, free;
        for (int i = 0; i < N_Pc; i++)
            (window_slot_open(i) ? open : free).push_back(i);
        int v;
        const std::uint64_t k = below(20);
        if (k < 12 && !open.empty())
            v = open[below(open.size())];
        else if (k < 14 && !free.empty())
            v = free[below(free.size())];
        else if (k < 16)
            v = N_Pc + static_cast<int>(below(3));
        else
            v = pick({0, -1, INT_MIN, INT_MAX, 1000000});
        note(std::to_string(v));
        return v;
    }

    int integer()
    {
        int v;
        if (chance(50))
            v = static_cast<int>(below(40)) - 10;
        else
            v = pick({INT_MIN, INT_MIN + 1, INT_MAX, INT_MAX - 1, 0, -1, 1, 255, 256, 359, 360,
                      1000, 32767, 32768, 65535, 65536, -32768, -32769,
                      static_cast<int>(static_cast<std::uint32_t>(rng()))});
        note(std::to_string(v));
        return v;
    }

    // Layer indices: mostly the eight layers, else just outside or far.
    int layer()
    {
        int v = chance(70) ? static_cast<int>(below(8)) : pick({-1, 8, 9, INT_MIN, INT_MAX});
        note(std::to_string(v));
        return v;
    }

    // Canvas sides, the extremes on one side only: 32767 x 32767 would be
    // 4 GiB of server memory per layer, which the test server may or may
    // not have (no fault of the library's, and no use to the run).
    std::pair<int, int> canvas()
    {
        auto side = [&](bool extreme) {
            return extreme ? pick({INT_MIN, -1, 0, 1, 32767, 32768, INT_MAX})
                           : static_cast<int>(below(300)) + 1;
        };
        const std::uint64_t k = below(10);
        std::pair<int, int> c{side(k == 0), side(k == 1)};
        note(std::to_string(c.first));
        note(std::to_string(c.second));
        return c;
    }
    // Sleeps short enough to keep the run going.
    unsigned int short_ms()
    {
        unsigned int v = static_cast<unsigned int>(below(3));
        note(std::to_string(v));
        return v;
    }

    template <class T> T real_of()
    {
        using L = std::numeric_limits<T>;
        T v;
        if (chance(45))
            v = static_cast<T>(static_cast<double>(below(50000)) / 100.0 - 50.0);
        else if (chance(15))
            v = static_cast<T>(static_cast<double>(below(4000)) / 1000.0 - 2.0);
        else
            v = pick({L::quiet_NaN(), -L::quiet_NaN(), L::infinity(), -L::infinity(), L::max(),
                      -L::max(), L::denorm_min(), -L::denorm_min(), L::min(), T(0), -T(0),
                      T(3e9), T(-3e9), T(32767.5), T(-32768.5), T(2147483648.0), T(1e30),
                      static_cast<T>(L::max() / 3), static_cast<T>(1e-30)});
        char buf[48];
        snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
        note(buf);
        return v;
    }
    double real() { return real_of<double>(); }
    float realf() { return real_of<float>(); }

    // Text of every kind; stays valid until the next call, with at least
    // eight NUL bytes behind it (symbol_ reads four of them as an INTEGER).
    const char *text()
    {
        std::string t;
        switch (below(9)) {
        case 0:
            break;
        case 1:
            for (std::uint64_t n = below(8) + 1; n > 0; n--)
                t += " \t\n\v\f\r"[below(6)];
            break;
        case 2:
            t = pick(Meaningful);
            break;
        case 3: /* a list of meaningful pieces */
            for (std::uint64_t n = below(5) + 1; n > 0; n--)
                t += std::string(pick(Meaningful)) + pick({",", ", ", " ", "", "\n"});
            break;
        case 4:
            t.assign(pick({255, 256, 1000, 4096, 65535, 65536, 70000}), pick({'a', '-', '*', ','}));
            break;
        case 5: /* bytes that are no character in any locale */
            for (std::uint64_t n = below(12) + 1; n > 0; n--)
                t += static_cast<char>(0x80 + below(128));
            break;
        case 6: /* characters of the two multibyte locales */
            for (std::uint64_t n = below(6) + 1; n > 0; n--)
                t += pick({"\xe3\x81\x82", "\xc3\xa9", "\xf0\x9f\x98\x80", "\xa5\xa2", "\x8e\xb1",
                           "\x8f\xa2\xaf", "\xed\xa0\x80"});
            break;
        case 7: /* anything but NUL, line ends included */
            for (std::uint64_t n = below(40) + 1; n > 0; n--)
                t += static_cast<char>(1 + below(255));
            break;
        default:
            t = "text " + std::to_string(below(1000)) + pick({"", "\nline", "\rover", "\n\n"});
            break;
        }
        texts_.push_back(t + std::string(8, '\0'));
        note(describe(t));
        return texts_.back().c_str();
    }
    const char *text_or_null()
    {
        if (chance(10)) {
            note("NULL");
            return nullptr;
        }
        return text();
    }
    // The format of the printf-style entry points: "%s" with a text after
    // it, sometimes NULL (its text is then not read).
    const char *format()
    {
        if (chance(8)) {
            note("NULL");
            return nullptr;
        }
        note("\"%s\"");
        return "%s";
    }

    // Coordinate arrays of Points elements, sometimes NULL, and counts that
    // never reach beyond them.
    const double *dxs() { return coords(dx_); }
    const double *dys() { return coords(dy_); }
    const float *fxs() { return coords(fx_); }
    const float *fys() { return coords(fy_); }
    int npts()
    {
        int v = chance(80) ? static_cast<int>(below(Points + 1))
                           : pick({INT_MIN, -1, 0, 1, 2, 3, Points});
        note(std::to_string(v));
        return v;
    }

    // Arguments by reference for the Fortran twins.
    int *pwin() { return keep(ints_, win()); }
    int *pinteger() { return keep(ints_, integer()); }
    int *player() { return keep(ints_, layer()); }
    int *pnpts() { return keep(ints_, npts()); }
    float *prealf() { return keep(floats_, realf()); }
    int *out()
    {
        note("&out");
        return keep(ints_, 0);
    }
    int *out_or_null() { return chance(20) ? (note("NULL"), nullptr) : out(); }
    double *dout_or_null()
    {
        if (chance(20)) {
            note("NULL");
            return nullptr;
        }
        note("&out");
        return keep(doubles_, 0.0);
    }
    float *fout()
    {
        note("&out");
        return keep(floats_, 0.0f);
    }
    // msleep_ takes any INTEGER; only short sleeps and negative ones.
    int *pms()
    {
        int v = chance(50) ? static_cast<int>(below(3)) : pick({-1, -1000, INT_MIN});
        note(std::to_string(v));
        return keep(ints_, v);
    }
    float *fxs_mut() { return const_cast<float *>(fxs()); }
    float *fys_mut() { return const_cast<float *>(fys()); }

    // Makes room for one more window, so that the run never holds more
    // than Max_open.
    void make_room()
    {
        std::vector<int> open;
        for (int i = 0; i < N_Pc; i++)
            if (window_slot_open(i))
                open.push_back(i);
        if (static_cast<int>(open.size()) >= Max_open) {
            int wn = open[below(open.size())];
            note("after closing " + std::to_string(wn));
            kova_gclose(wn);
        }
    }

  private:
    std::deque<std::string> texts_;
    std::deque<int> ints_;
    std::deque<float> floats_;
    std::deque<double> doubles_;
    double dx_[Points], dy_[Points];
    float fx_[Points], fy_[Points];

    template <class T> T *keep(std::deque<T> &store, T v)
    {
        store.push_back(v);
        return &store.back();
    }
    template <class T> const T *coords(T (&a)[Points])
    {
        if (chance(5)) {
            note("NULL");
            return nullptr;
        }
        std::string saved = args;
        for (T &v : a)
            v = real_of<T>();
        args = saved;
        note("{" + std::to_string(static_cast<double>(a[0])) + ", ...}");
        return a;
    }
    static std::string describe(const std::string &t)
    {
        std::string d = "\"";
        for (size_t i = 0; i < t.size() && i < 40; i++) {
            unsigned char c = static_cast<unsigned char>(t[i]);
            char buf[8];
            if (c == '"' || c == '\\')
                d += '\\', d += static_cast<char>(c);
            else if (c >= 32 && c < 127)
                d += static_cast<char>(c);
            else
                snprintf(buf, sizeof buf, "\\x%02x", c), d += buf;
        }
        d += t.size() > 40 ? "\"... (" + std::to_string(t.size()) + " bytes)" : "\"";
        return d;
    }
};

// Argument makers, named for the table.
constexpr auto win = &Gen::win;
constexpr auto integer = &Gen::integer;
constexpr auto layer = &Gen::layer;
constexpr auto short_ms = &Gen::short_ms;
constexpr auto real = &Gen::real;
constexpr auto text = &Gen::text;
constexpr auto text_or_null = &Gen::text_or_null;
constexpr auto format = &Gen::format;
constexpr auto dxs = &Gen::dxs;
constexpr auto dys = &Gen::dys;
constexpr auto fxs = &Gen::fxs;
constexpr auto fys = &Gen::fys;
constexpr auto npts = &Gen::npts;
constexpr auto pwin = &Gen::pwin;
constexpr auto pint = &Gen::pinteger;
constexpr auto player = &Gen::player;
constexpr auto pnpts = &Gen::pnpts;
constexpr auto preal = &Gen::prealf;
constexpr auto pfxs = &Gen::fxs_mut;
constexpr auto pfys = &Gen::fys_mut;
constexpr auto out = &Gen::out;
constexpr auto out_or_null = &Gen::out_or_null;
constexpr auto dout_or_null = &Gen::dout_or_null;
constexpr auto fout = &Gen::fout;
constexpr auto pms = &Gen::pms;

// Image buffers of the size a call reads (w x h pixels, 4 bytes each; a
// few sizes are refused before anything is read, and come with NULL), and
// the files and converters of the image entry points: only names inside
// the run's own scratch directory, only converters that are harmless.
struct Image {
    int w, h;
    std::vector<unsigned char> bytes;
    const unsigned char *data() const { return bytes.empty() ? nullptr : bytes.data(); }
};

Image image(Gen &g)
{
    Image im{static_cast<int>(g.below(40)) - 3, static_cast<int>(g.below(40)) - 3, {}};
    if (g.chance(5))
        im.w = g.pick({INT_MIN, INT_MAX, 70000});
    if (im.w > 0 && im.h > 0 && im.w <= 64 && g.chance(95)) {
        im.bytes.resize(4 * static_cast<size_t>(im.w) * static_cast<size_t>(im.h));
        for (unsigned char &b : im.bytes)
            b = static_cast<unsigned char>(g.below(256));
        if (g.chance(30))
            for (size_t i = 0; i < im.bytes.size(); i += 4)
                im.bytes[i] = g.chance(50) ? 0 : 255;
    }
    g.note(std::to_string(im.w) + "x" + std::to_string(im.h) + (im.data() ? "" : " NULL"));
    return im;
}

// Arrays of values for the fields (nx x ny of them; a few sizes are
// refused before anything is read, and come with NULL).
template <class T> struct Field {
    int nx, ny;
    std::vector<T> values;
    T *data() { return values.empty() ? nullptr : values.data(); }
};

template <class T> Field<T> field(Gen &g)
{
    Field<T> f{static_cast<int>(g.below(40)) - 3, static_cast<int>(g.below(40)) - 3, {}};
    if (g.chance(5))
        f.nx = g.pick({INT_MIN, INT_MAX, 70000});
    if (f.nx > 0 && f.ny > 0 && f.nx <= 64 && g.chance(95)) {
        std::string saved = g.args;
        f.values.resize(static_cast<size_t>(f.nx) * static_cast<size_t>(f.ny));
        for (T &v : f.values)
            v = g.real_of<T>();
        g.args = saved;
    }
    g.note(std::to_string(f.nx) + "x" + std::to_string(f.ny) + (f.data() ? "" : " NULL"));
    return f;
}

// Palettes: the three, else just outside or far.
int palette(Gen &g)
{
    int p = g.chance(80) ? static_cast<int>(g.below(3)) : g.pick({-1, 3, INT_MIN, INT_MAX});
    g.note("palette " + std::to_string(p));
    return p;
}

template <class T, class Put> void fuzz_field(Gen &g, Put put)
{
    Field<T> f = field<T>(g);
    const int p = palette(g);
    g.call([&](int wn, double x0, double y0, double x1, double y1, double zmin, double zmax) {
        put(wn, x0, y0, x1, y1, f.data(), f.nx, f.ny, zmin, zmax, p);
    }, win, real, real, real, real, real, real);
}

std::string Scratch;  // the run's directory for image files

std::string image_file(Gen &g)
{
    std::string name = Scratch + "/" + g.pick({"a.ppm", "b.pam", "c.PAM", "d.png", "e"});
    g.note(name);
    return name;
}

const char *converter(Gen &g)
{
    /* Converters that say nothing of their own: every line on standard
     * error is then the library's (real converters run in the tests). */
    const char *c = g.pick({static_cast<const char *>(nullptr), "", "   ", "true", "true  -x",
                            "no_such_converter_kova"});
    g.note(c ? std::string("\"") + c + "\"" : "NULL");
    return c;
}

// Input calls return at once only in non-blocking mode.
template <class F> void polled(Gen &g, F poll)
{
    kova_gsetnonblock(1);
    g.announce(g.args);
    poll();
}

// ---- the table -------------------------------------------------------------
//
// One line per public entry point, C and Fortran.  CALL(fn, makers...)
// calls fn with one argument from each maker, in order; RARE(fn, ...) and
// WEIGHTED(w, fn, ...) do the same with another weight (how often the
// entry is drawn: CALL is 10, RARE 1).  Makers: win (window number),
// integer, layer (layer index), real (double), text ("%s" argument, any
// bytes), text_or_null, format ("%s" or NULL: put text after it), dxs/dys
// and fxs/fys (coordinate arrays, sometimes NULL) with npts (a count that
// never reaches beyond them); the Fortran twins take pwin, pint, player,
// preal, pfxs/pfys, pnpts, out (a result), out_or_null, fout (a REAL
// result); dout_or_null is a double result or NULL.  A new entry point
// is one more line here, e.g.
//     CALL(kova_layer, win, layer, layer),
//     CALL(layer_, pwin, player, player),
// with a maker added to Gen when an argument is of a new kind (an image
// buffer needs a maker that hands out one of the size the call reads).  The coverage check (fuzz/coverage_check.sh,
// run by CTest) fails while an exported name is missing here.
//
// Never called, so listed with weight 0 and no call: entry points that wait
// for input (e.g. {"kova_ggetch", 0, nullptr}); one that returns at once in
// non-blocking mode may be called from a lambda that calls
// kova_gsetnonblock(1) first.  Nothing here may legitimately end the
// process, and sleeps are kept short.

struct Entry {
    const char *name;
    int weight;
    void (*run)(Gen &g);
};

#define WEIGHTED(w, fn, ...) {#fn, w, [](Gen &g) { g.call(fn __VA_OPT__(, ) __VA_ARGS__); }}
#define CALL(fn, ...) WEIGHTED(10, fn __VA_OPT__(, ) __VA_ARGS__)
#define RARE(fn, ...) WEIGHTED(1, fn __VA_OPT__(, ) __VA_ARGS__)

const Entry Table[] = {
    // windows and their settings
    {"kova_gopen", 3, [](Gen &g) {
         g.make_room();
         auto [w, h] = g.canvas();
         g.announce(g.args);
         kova_gopen(w, h);
     }},
    {"gopen_", 2, [](Gen &g) {
         g.make_room();
         auto [w, h] = g.canvas();
         int wn = -1;
         g.announce(g.args);
         gopen_(&w, &h, &wn);
     }},
    {"plots_", 1, [](Gen &g) { g.make_room(); g.announce(g.args); plots_(); }},
    WEIGHTED(3, kova_gclose, win),
    WEIGHTED(2, gclose_, pwin),
    RARE(kova_gcloseall),
    RARE(gcloseall_),
    CALL(kova_gsetinitialattributes, integer, integer),
    CALL(kova_ggetinitialattributes),
    CALL(kova_gsetinitialborder, integer, format, text),
    CALL(kova_gsetinitialbgcolor, format, text),
    CALL(kova_gsetinitialgeometry, format, text),
    CALL(kova_gsetinitialparsegeometry, format, text),
    CALL(kova_gsetinitialwinname, text_or_null, text_or_null, text_or_null, text_or_null),
    CALL(gsetinitialwinname_, text, text, text, text),
    CALL(kova_gsetborder, win, integer, format, text),
    CALL(kova_gsetbgcolor, win, format, text),
    CALL(gsetbgcolor_, pwin, text),
    CALL(kova_winname, win, format, text),
    CALL(winname_, pwin, text),
    CALL(kova_ggetdisplayinfo, out_or_null, out_or_null, out_or_null),
    CALL(ggetdisplayinfo_, out, out, out),
    // modes and utilities
    CALL(kova_gsetnonflush, integer),
    CALL(gsetnonflush_, pint),
    CALL(kova_ggetnonflush),
    CALL(ggetnonflush_, out),
    CALL(kova_gflush),
    CALL(gflush_),
    CALL(kova_gsetnonblock, integer),
    CALL(gsetnonblock_, pint),
    RARE(kova_msleep, short_ms),
    RARE(msleep_, pms),
    CALL(isnan_, preal, out),
    // coordinates
    CALL(kova_window, win, real, real, real, real),
    CALL(newwindow_, pwin, preal, preal, preal, preal),
    CALL(window_, preal, preal, preal, preal),
    CALL(kova_coordinate, win, integer, integer, real, real, real, real),
    CALL(newcoordinate_, pwin, pint, pint, preal, preal, preal, preal),
    CALL(vport_),
    CALL(setal_),
    // the pen
    CALL(kova_newcolor, win, format, text),
    CALL(newcolor_, pwin, text),
    CALL(kova_newrgbcolor, win, integer, integer, integer),
    CALL(newrgbcolor_, pwin, pint, pint, pint),
    CALL(kova_newhsvcolor, win, integer, integer, integer),
    CALL(newhsvcolor_, pwin, pint, pint, pint),
    CALL(kova_newpen, win, integer),
    CALL(newpen_, pint),
    CALL(newpencolor_, pwin, pint),
    CALL(kova_newlinewidth, win, integer),
    CALL(newlinewidth_, pwin, pint),
    CALL(kova_newlinestyle, win, integer),
    CALL(newlinestyle_, pwin, pint),
    CALL(kova_newgcfunction, win, integer),
    // primitives
    CALL(kova_pset, win, real, real),
    CALL(pset_, pwin, preal, preal),
    CALL(kova_drawline, win, real, real, real, real),
    CALL(drawline_, pwin, preal, preal, preal, preal),
    CALL(kova_line, win, real, real, integer),
    CALL(line_, pwin, preal, preal, pint),
    CALL(plot_, preal, preal, pint),
    CALL(kova_moveto, win, real, real),
    CALL(moveto_, pwin, preal, preal),
    CALL(kova_lineto, win, real, real),
    CALL(lineto_, pwin, preal, preal),
    CALL(kova_drawpts, win, dxs, dys, npts),
    CALL(kova_drawptsf, win, fxs, fys, npts),
    CALL(drawpts_, pwin, pfxs, pfys, pnpts),
    CALL(kova_drawlines, win, dxs, dys, npts),
    CALL(kova_drawlinesf, win, fxs, fys, npts),
    CALL(drawlines_, pwin, pfxs, pfys, pnpts),
    CALL(kova_drawpoly, win, dxs, dys, npts),
    CALL(kova_drawpolyf, win, fxs, fys, npts),
    CALL(drawpoly_, pwin, pfxs, pfys, pnpts),
    CALL(kova_fillpoly, win, dxs, dys, npts, integer),
    CALL(kova_fillpolyf, win, fxs, fys, npts, integer),
    CALL(fillpoly_, pwin, pfxs, pfys, pnpts, pint),
    CALL(kova_drawrect, win, real, real, real, real),
    CALL(drawrect_, pwin, preal, preal, preal, preal),
    CALL(kova_fillrect, win, real, real, real, real),
    CALL(fillrect_, pwin, preal, preal, preal, preal),
    // arcs and circles
    CALL(kova_drawarc, win, real, real, real, real, real, real, integer),
    CALL(drawarc_, pwin, preal, preal, preal, preal, preal, preal, pint),
    CALL(kova_fillarc, win, real, real, real, real, real, real, integer),
    CALL(fillarc_, pwin, preal, preal, preal, preal, preal, preal, pint),
    CALL(kova_drawcirc, win, real, real, real, real),
    CALL(drawcirc_, pwin, preal, preal, preal, preal),
    CALL(kova_circle, win, real, real, real, real),
    CALL(kova_fillcirc, win, real, real, real, real),
    CALL(fillcirc_, pwin, preal, preal, preal, preal),
    CALL(circ1_, preal, preal, preal),
    CALL(arc_, preal, preal, preal, preal, preal, pint),
    // symbols and arrows
    CALL(kova_drawsym, win, real, real, integer, integer),
    CALL(drawsym_, pwin, preal, preal, preal, pint),
    CALL(kova_drawsyms, win, dxs, dys, npts, integer, integer),
    CALL(kova_drawsymsf, win, fxs, fys, npts, integer, integer),
    CALL(drawsyms_, pwin, pfxs, pfys, pnpts, preal, pint),
    CALL(kova_drawarrow, win, real, real, real, real, real, real, integer),
    CALL(drawarrow_, pwin, preal, preal, preal, preal, preal, preal, pint),
    CALL(arohd_, preal, preal, preal, preal, preal, preal, pint),
    // text and numbers
    CALL(kova_drawstr, win, real, real, integer, real, format, text),
    CALL(drawstr_, pwin, preal, preal, preal, text, preal, pint),
    CALL(drawnum_, pwin, preal, preal, preal, preal, preal, pint),
    CALL(number_, preal, preal, preal, preal, preal, pint),
    CALL(symbol_, preal, preal, preal, text, preal, pint),
    CALL(kova_gettextextent, win, integer, dout_or_null, dout_or_null, format, text),
    CALL(gettextextent_, pwin, preal, text, pint, fout, fout),
    {"rtoc_", 10, [](Gen &g) {
         char buf[300];
         int size = g.chance(80) ? static_cast<int>(g.below(sizeof buf + 1))
                                 : g.pick({INT_MIN, -1, 0, 1});
         g.note("bufsize " + std::to_string(size));
         g.call([&](float *v, int *n, int *rest) { rtoc_(v, n, &size, buf, rest); }, preal,
                pint, out);
     }},
    CALL(kova_newfontset, win, format, text),
    CALL(newfontset_, pwin, text, out),
    CALL(kova_gsetfontset, win, format, text),
    CALL(gsetfontset_, pwin, text, out),
    // layers, clearing, scrolling, resize
    CALL(kova_layer, win, layer, layer),
    CALL(layer_, pwin, player, player),
    CALL(kova_copylayer, win, layer, layer),
    CALL(copylayer_, pwin, player, player),
    CALL(kova_gclr, win),
    CALL(gclr_, pwin),
    CALL(clsx_),
    CALL(kova_gscroll, win, integer, integer, integer),
    CALL(gscroll_, pwin, pint, pint, pint),
    RARE(kova_tclr),
    RARE(tclr_),
    RARE(clsc_),
    CALL(selwin_, pint),
    {"kova_gresize", 3, [](Gen &g) {
         int wn = g.win();
         auto [w, h] = g.canvas();
         g.announce(g.args);
         kova_gresize(wn, w, h);
     }},
    // pixel transfer
    CALL(kova_gputarea, win, real, real, win, layer, real, real, real, real),
    {"kova_ggetimage", 10, [](Gen &g) {
         g.call([](int wn, int layer, double x0, double y0, double x1, double y1, int *w, int *h) {
             free(kova_ggetimage(wn, layer, x0, y0, x1, y1, w, h));
         }, win, layer, real, real, real, real, out_or_null, out_or_null);
     }},
    {"kova_gputimage", 10, [](Gen &g) {
         Image im = image(g);
         int msk = static_cast<int>(g.below(3)) - 1;
         g.call([&](int wn, double x, double y) { kova_gputimage(wn, x, y, im.data(), im.w, im.h, msk); },
                win, real, real);
     }},
    {"kova_putimg24", 10, [](Gen &g) {
         Image im = image(g);
         g.call([&](int wn, double x, double y) { kova_putimg24(wn, x, y, im.w, im.h, im.data()); },
                win, real, real);
     }},
    {"kova_putimg24m", 10, [](Gen &g) {
         Image im = image(g);
         g.call([&](int wn, double x, double y) { kova_putimg24m(wn, x, y, im.w, im.h, im.data()); },
                win, real, real);
     }},
    {"putimg24_", 5, [](Gen &g) {
         int w = static_cast<int>(g.below(20)) - 2, h = static_cast<int>(g.below(20)) - 2;
         std::vector<int> rgb(3 * static_cast<size_t>(std::max(w, 0)) * static_cast<size_t>(std::max(h, 0)) + 1);
         for (int &v : rgb)
             v = static_cast<int>(g.rng());
         g.note(std::to_string(w) + "x" + std::to_string(h));
         g.call([&](int *wn, float *x, float *y) { putimg24_(wn, x, y, &w, &h, rgb.data()); }, pwin,
                preal, preal);
     }},
    {"kova_putfield", 10, [](Gen &g) { fuzz_field<double>(g, kova_putfield); }},
    {"kova_putfieldf", 10, [](Gen &g) { fuzz_field<float>(g, kova_putfieldf); }},
    {"putfield_", 5, [](Gen &g) {
         Field<float> f = field<float>(g);
         float *z = f.data();
         g.call([&](int *wn, float *x0, float *y0, float *x1, float *y1, float *zmin, float *zmax,
                    int *palette, int *result) {
             putfield_(wn, x0, y0, x1, y1, z, &f.nx, &f.ny, zmin, zmax, palette, result);
         }, pwin, preal, preal, preal, preal, preal, preal, pint, out);
     }},
    // image files: background saves start a process each, so they are rare
    {"kova_gsaveimage", 1, [](Gen &g) {
         const char *conv = converter(g);
         std::string name = image_file(g);
         int levels = g.integer();
         g.call([&](int wn, int layer, double x0, double y0, double x1, double y1) {
             kova_gsaveimage(wn, layer, x0, y0, x1, y1, conv, levels, "%s", name.c_str());
         }, win, layer, real, real, real, real);
     }},
    {"kova_saveimg", 1, [](Gen &g) {
         const char *conv = converter(g);
         std::string name = image_file(g);
         g.call([&](int wn, int layer, double x0, double y0, double x1, double y1) {
             kova_saveimg(wn, layer, x0, y0, x1, y1, conv, 256, "%s", name.c_str());
         }, win, layer, real, real, real, real);
     }},
    {"saveimg_", 1, [](Gen &g) {
         const char *conv = converter(g);
         std::string name = image_file(g);
         g.call([&](int *wn, int *layer, float *x0, float *y0, float *x1, float *y1, int *nd,
                    int *levels) { saveimg_(wn, layer, x0, y0, x1, y1, name.c_str(), nd, conv ? conv : "", levels); },
                pwin, player, preal, preal, preal, preal, pint, pint);
     }},
    WEIGHTED(3, kova_gwaitsave),
    WEIGHTED(3, gwaitsave_, out),
    {"kova_writeimage", 3, [](Gen &g) {
         Image im = image(g);
         const char *conv = converter(g);
         std::string name = image_file(g);
         int msk = static_cast<int>(g.below(3)) - 1, levels = g.integer();
         g.announce(g.args);
         kova_writeimage(im.data(), im.w, im.h, msk, conv, levels, "%s", name.c_str());
     }},
    {"kova_readimage", 3, [](Gen &g) {
         const char *conv = converter(g);
         std::string name = image_file(g);
         if (g.chance(30)) {
             /* Any bytes at all behind a name. */
             FILE *f = fopen(name.c_str(), "wb");
             if (f) {
                 fputs(g.text(), f);
                 fclose(f);
             }
         }
         g.call([&](int *w, int *h, int *m) { free(kova_readimage(conv, name.c_str(), w, h, m)); },
                out_or_null, out_or_null, out_or_null);
     }},
    // input, polled
    {"kova_ggetch", 3, [](Gen &g) { polled(g, [] { kova_ggetch(); }); }},
    {"ggetch_", 2, [](Gen &g) { polled(g, [] { int k; ggetch_(&k); }); }},
    {"inkeydollar_", 2, [](Gen &g) { polled(g, [] { int k; inkeydollar_(&k); }); }},
    {"kova_ggetxpress", 3, [](Gen &g) { polled(g, [] { int t, c; double x, y; kova_ggetxpress(&t, &c, &x, &y); }); }},
    {"kova_ggetxpressf", 3, [](Gen &g) { polled(g, [] { int t, c; float x, y; kova_ggetxpressf(&t, &c, &x, &y); }); }},
    {"ggetxpress_", 2, [](Gen &g) { polled(g, [] { int w, t, c; float x, y; ggetxpress_(&w, &t, &c, &x, &y); }); }},
    {"kova_ggetevent", 3, [](Gen &g) { polled(g, [] { int t, c; double x, y; kova_ggetevent(&t, &c, &x, &y); }); }},
    {"kova_ggeteventf", 3, [](Gen &g) { polled(g, [] { int t, c; float x, y; kova_ggeteventf(&t, &c, &x, &y); }); }},
    {"ggetevent_", 2, [](Gen &g) { polled(g, [] { int w, t, c; float x, y; ggetevent_(&w, &t, &c, &x, &y); }); }},
    CALL(kova_gsetscrollbarkeymask, win, integer),
    CALL(gsetscrollbarkeymask_, pwin, pint),
    CALL(kova_gsetcloseevent, win, integer),
    CALL(gsetcloseevent_, pwin, pint),
};

#undef RARE
#undef CALL
#undef WEIGHTED

constexpr size_t N_entries = sizeof Table / sizeof Table[0];

// ---- what worker and supervisor share ------------------------------------

struct Shared {
    unsigned long calls;        // calls started
    unsigned long x_errors;     // X protocol errors seen
    unsigned long leftovers;    // child processes left behind
    char current[600];          // the call in progress
    char slowest[600];          // the call that took longest
    double slowest_seconds;
    unsigned long per_entry[N_entries];
    double seconds_in[N_entries];  // time spent in each entry point
};
Shared *Sh = nullptr;

// ---- the worker -------------------------------------------------------------

int on_x_error(Display *dpy, XErrorEvent *e)
{
    char what[128];
    XGetErrorText(dpy, e->error_code, what, sizeof what);
    Sh->x_errors++;
    printf("fuzz_api: FINDING: X error %s (request %d.%d, resource 0x%lx) in %s\n", what,
           e->request_code, e->minor_code, e->resourceid, Sh->current);
    fflush(stdout);
    return 0;
}

int on_x_io_error(Display *)
{
    printf("fuzz_api: FINDING: the X connection broke in %s\n", Sh->current);
    fflush(stdout);
    _exit(3);
}

const char *Current_name = "";
bool Trace = false;  // every call on standard output, for replays

void set_current(const std::string &args)
{
    snprintf(Sh->current, sizeof Sh->current, "call #%lu %s(%s)", Sh->calls, Current_name,
             args.c_str());
    if (Trace && !args.empty()) {
        puts(Sh->current);
        fflush(stdout);
    }
}

int work(std::uint64_t seed, int seconds)
{
    XSetErrorHandler(on_x_error);
    XSetIOErrorHandler(on_x_io_error);
    Gen g(seed);
    g.announce = set_current;
    int total = 0;
    for (const Entry &e : Table)
        total += e.weight;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        int r = static_cast<int>(g.below(static_cast<std::uint64_t>(total)));
        size_t i = 0;
        while (r >= Table[i].weight)
            r -= Table[i++].weight;
        g.begin();
        Sh->calls++;
        Sh->per_entry[i]++;
        Current_name = Table[i].name;
        set_current("");
        const auto start = std::chrono::steady_clock::now();
        Table[i].run(g);
        // Errors surface at once, attributed to the call that caused them.
        if (Pc_dis)
            XSync(Pc_dis, False);
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        Sh->seconds_in[i] += took;
        if (took > Sh->slowest_seconds) {
            Sh->slowest_seconds = took;
            memcpy(Sh->slowest, Sh->current, sizeof Sh->slowest);
        }
    }
    Sh->calls++;
    Current_name = "kova_gcloseall";
    set_current("at the end of the run");
    kova_gcloseall();
    if (!kt::eventually([] { return kt::children_of(getpid()).empty(); }, 5000)) {
        Sh->leftovers = kt::children_of(getpid()).size();
        printf("fuzz_api: FINDING: %lu child processes left after closing everything\n",
               Sh->leftovers);
    }
    fflush(stdout);
    return 0;
}

// ---- the supervisor -----------------------------------------------------------

struct Options {
    int seconds = 20;
    std::uint64_t seed = 0;
    bool seed_given = false;
    std::string locale = "C";
    int depth = 24;
    bool list = false;
    bool trace = false;
};

Options parse(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--list") {
            o.list = true;
        } else if (a == "--trace") {
            o.trace = true;
        } else if (next && a == "--seconds") {
            o.seconds = std::atoi(argv[++i]);
        } else if (next && a == "--seed") {
            o.seed = std::strtoull(argv[++i], nullptr, 10);
            o.seed_given = true;
        } else if (next && a == "--locale") {
            o.locale = argv[++i];
        } else if (next && a == "--depth") {
            o.depth = std::atoi(argv[++i]);
        } else {
            fprintf(stderr, "usage: fuzz_api [--seconds N] [--seed S] [--locale L] [--depth D] "
                            "[--trace] [--list]\n");
            exit(2);
        }
    }
    if (!o.seed_given)
        o.seed = std::random_device{}() ^
                 static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return o;
}

// A library message with each number in it written N, for the tally.
std::string message_kind(const std::string &line)
{
    std::string k;
    auto digit = [&](size_t i) { return i < line.size() && line[i] >= '0' && line[i] <= '9'; };
    for (size_t i = 0; i < line.size(); i++) {
        if (digit(i) || (line[i] == '-' && digit(i + 1))) {
            k += 'N';
            while (digit(i + 1))
                i++;
        } else {
            k += line[i];
        }
    }
    return k;
}

bool library_message(const std::string &line)
{
    /* The image-saving child speaks in lower case. */
    return line.rfind("KOVA: [WARNING] ", 0) == 0 || line.rfind("KOVA: [ERROR] ", 0) == 0 ||
           line.rfind("kova: [ERROR] ", 0) == 0;
}

struct Verdict {
    std::map<std::string, unsigned long> messages;
    unsigned long unexpected_lines = 0;
};

void take_line(const std::string &line, Verdict &v)
{
    if (library_message(line)) {
        v.messages[message_kind(line)]++;
    } else {
        v.unexpected_lines++;
        printf("fuzz_api: FINDING: unexpected output: %s\n", line.c_str());
    }
}

int supervise(const Options &o)
{
    printf("fuzz_api: seed %llu, locale %s, depth %d, %d s (replay: fuzz_api --seed %llu "
           "--locale %s --depth %d --seconds %d)\n",
           static_cast<unsigned long long>(o.seed), o.locale.c_str(), o.depth, o.seconds,
           static_cast<unsigned long long>(o.seed), o.locale.c_str(), o.depth, o.seconds);
    if (!setlocale(LC_ALL, o.locale.c_str())) {
        printf("fuzz_api: the locale %s is not installed\n", o.locale.c_str());
        return 1;
    }
    setlocale(LC_ALL, "C");
    kt::start_test_server(o.depth, 1280, 1024);
    void *mem = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS,
                     -1, 0);
    if (mem == MAP_FAILED)
        return 1;
    Sh = static_cast<Shared *>(mem);
    // A call that never returns keeps the worker past its time.
    kt::ChildResult r = kt::run_forked(
        [&] {
            // The library takes its character-type locale from the environment.
            setenv("LC_ALL", o.locale.c_str(), 1);
            Trace = o.trace;
            exit(work(o.seed, o.seconds));
        },
        o.seconds * 1000 + Hang_ms);
    const bool hung = r.timed_out;
    if (hung)
        printf("fuzz_api: FINDING: the run did not end within %d s of its time, in %s\n",
               Hang_ms / 1000, Sh->current);
    Verdict v;
    std::istringstream err(r.err);
    for (std::string line; std::getline(err, line);)
        take_line(line, v);
    const int status = r.status;
    const bool died = !hung && !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    if (died)
        printf("fuzz_api: FINDING: the worker ended with status 0x%x in %s\n", status,
               Sh->current);
    printf("fuzz_api: %lu calls, the slowest %.2f s: %s; library messages:\n", Sh->calls,
           Sh->slowest_seconds, Sh->slowest);
    for (const auto &m : v.messages)
        printf("  %8lu  %s\n", m.second, m.first.c_str());
    printf("fuzz_api: calls per entry point:");
    for (size_t i = 0; i < N_entries; i++)
        printf("%s%s %lu (%.1f s)", i % 5 ? ", " : "\n  ", Table[i].name, Sh->per_entry[i],
               Sh->seconds_in[i]);
    const unsigned long findings =
        Sh->x_errors + Sh->leftovers + v.unexpected_lines + (hung ? 1 : 0) + (died ? 1 : 0);
    printf("\nfuzz_api: %lu findings (seed %llu, locale %s, depth %d)\n", findings,
           static_cast<unsigned long long>(o.seed), o.locale.c_str(), o.depth);
    kt::stop_test_server();
    return findings ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    const Options o = parse(argc, argv);
    if (o.list) {
        for (const Entry &e : Table)
            printf("%s\n", e.name);
        return 0;
    }
    char dir[] = "/tmp/kova_fuzz_XXXXXX";
    if (!mkdtemp(dir)) {
        perror("fuzz_api: mkdtemp");
        return 2;
    }
    Scratch = dir;
    int status = supervise(o);
    std::system(("rm -rf " + Scratch).c_str());
    return status;
}
