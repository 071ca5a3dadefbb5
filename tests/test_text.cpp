// Text, fonts, font sets and number formatting: what the renderer draws
// compared with plain Xlib text requests, which fonts it loads, what the
// font set cache costs, and how it copes with a server that has no fonts.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "drawing_check.hpp"

#include <X11/Xatom.h>

#include <algorithm>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

extern "C" {
void rtoc_(float *value, int *ndec, int *bufsize, char *buf, int *rest);
void drawnum_(int *wn, float *x, float *y, float *size, float *value, float *theta, int *ndec);
void number_(float *x, float *y, float *size, float *value, float *theta, int *ndec);
void symbol_(float *x, float *y, float *size, const char *text, float *theta, int *nchar);
void newfontset_(int *wn, const char *names, int *status);
}

namespace {

// ---- number formatting, no display ------------------------------------------

std::string fmt(float v, int n)
{
    return rtoc(&v, &n);
}

TEST(Rtoc, DecimalsPointDroppedDigitsAndTheFortranCopy)
{
    EXPECT_EQ(fmt(3.14159f, 2), "3.14");
    EXPECT_EQ(fmt(3.14159f, 0), "3.");
    EXPECT_EQ(fmt(3.14159f, -1), "3");
    EXPECT_EQ(fmt(1234, -2), "123");
    // Any count is safe: long formats, and counts that drop every digit.
    EXPECT_EQ(fmt(0.5f, 60), "0.5" + std::string(59, '0'));
    EXPECT_EQ(fmt(1e30f, INT_MIN), "0");
    // Beyond a float's 149 places only zeros could follow: they are left out
    // rather than built by the gigabyte.
    EXPECT_EQ(fmt(0.5f, INT_MAX), "0.5" + std::string(148, '0'));

    // The Fortran copy cuts to its buffer and reports what was left out.
    float v = 3.14159f;
    int n = 2, size = 4, rest = 99;
    char buf[8];
    memset(buf, 'Z', sizeof buf);
    rtoc_(&v, &n, &size, buf, &rest);
    EXPECT_STREQ(buf, "3.1");
    EXPECT_EQ(rest, -1);
    EXPECT_EQ(buf[4], 'Z') << "nothing beyond bufsize is written";
    size = 8;
    rtoc_(&v, &n, &size, buf, &rest);
    EXPECT_STREQ(buf, "3.14");
    EXPECT_EQ(rest, 3);
    size = 0;
    rest = 99;
    rtoc_(&v, &n, &size, buf, &rest);
    EXPECT_EQ(rest, 99);
    EXPECT_STREQ(buf, "3.14");
}

// ---- pixels -----------------------------------------------------------------

constexpr int W = 200, H = 120;

// A window with the y axis upward (the default): lines must still advance
// downward on the screen.
struct Text : ::testing::Test {
    kt::OpenWindow win{W, H};
    int wn() const { return win.wn(); }
    std::vector<unsigned long> shown() const
    {
        kt::OpenWindow::sync();
        return kt::area(win.layer(), 0, 0, W, H);
    }
    bool blank() const
    {
        kt::OpenWindow::sync();
        return kt::lit(win.layer(), 0, 0, W, H, win.rec().bg_pixel).empty();
    }
    void clear() const
    {
        XFillRectangle(Pc_dis, win.layer(), win.rec().bg_gc, 0, 0, W, H);
        XFillRectangle(Pc_dis, win.window(), win.rec().bg_gc, 0, 0, W, H);
    }
    // The pixel where a baseline at user (x, y) starts.
    std::pair<int, int> at(double x, double y) const
    {
        int px, py;
        xyconv(wn(), x, y, &px, &py);
        return {px, py};
    }
};

// A reference pixmap whose GC carries a core font loaded by name.
struct FontReference : kt::Reference {
    XFontStruct *font;
    FontReference(const kt::OpenWindow &w, const char *name)
        : kt::Reference(W, H, w.rec().bg_pixel, w.pen_pixel()), font(XLoadQueryFont(d(), name))
    {
        XSetFont(d(), gc(), font->fid);
    }
    ~FontReference() { XFreeFont(d(), font); }
    int line() const { return font->ascent + font->descent; }
    void text(int x, int y, const char *s) const
    {
        XDrawString(d(), pm(), gc(), x, y, s, static_cast<int>(strlen(s)));
    }
};

TEST_F(Text, LineFeedsGoDownAndCarriageReturnsOverprint)
{
    auto [px, py] = at(20, 80);
    FontReference ref(win, "6x12");
    ref.text(px, py, "ab");
    ref.text(px, py + ref.line(), "cd");
    ref.text(px + 100, py, "ab");
    ref.text(px + 100, py, "c");
    ref.text(px + 100, py + 2 * ref.line(), "e");
    EXPECT_EQ(kova_drawstr(wn(), 20, 80, 12, 0.0, "ab\ncd"), 5);
    kova_drawstr(wn(), 120, 80, 12, 0.0, "%s\r%c\n\n%s", "ab", 'c', "e");
    EXPECT_EQ(shown(), ref.pixels());
    EXPECT_EQ(kt::area(win.window(), 0, 0, W, H), ref.pixels()) << "the window shows it too";

    // A CR LF pair is one line feed; empty segments draw nothing.
    clear();
    kova_drawstr(wn(), 20, 80, 12, 0.0, "ab\r\ncd");
    kova_drawstr(wn(), 120, 80, 12, 0.0, "\r\rab\rc\n\r\ne\r");
    EXPECT_EQ(shown(), ref.pixels());
}

TEST_F(Text, CountsNulAndNullFormat)
{
    auto [px, py] = at(20, 80);
    FontReference ref(win, "6x12");
    ref.text(px, py, "ab");
    int w = wn(), n = 0;
    float x = 20, y = 80, size = 12, theta = 0;
    drawstr_(&w, &x, &y, &size, "abcd", &theta, &n);
    EXPECT_TRUE(blank()) << "nchar 0";
    EXPECT_EQ(kova_drawstr(wn(), 20, 80, 12, 0.0, nullptr), -1);
    EXPECT_TRUE(blank()) << "null format";
    n = 2;
    drawstr_(&w, &x, &y, &size, "abcd", &theta, &n);
    EXPECT_EQ(shown(), ref.pixels()) << "the first nchar characters";
    clear();
    n = 5;
    drawstr_(&w, &x, &y, &size, "ab\0cd", &theta, &n);
    EXPECT_EQ(shown(), ref.pixels()) << "a NUL ends the text";
    clear();
    n = -1;
    drawstr_(&w, &x, &y, &size, "ab", &theta, &n);
    EXPECT_EQ(shown(), ref.pixels()) << "negative: NUL-terminated";
    EXPECT_EQ(kova_drawstr(wn(), 20, 80, 12, 0.0, "x=%d", 42), 4);
}

// Plain %d and %% are formatted by the library itself, a text without
// conversions is drawn from the caller's memory, and everything else goes
// to the C library: all three give printf's text.
TEST_F(Text, FormatsAsPrintfDoesOnEveryPath)
{
    auto [px, py] = at(10, 80);
    char expected[64];
    snprintf(expected, sizeof expected, "%d%%|%d|%d|", 42, -7, INT_MIN);
    FontReference ref(win, "6x12");
    ref.text(px, py, expected);
    EXPECT_EQ(kova_drawstr(wn(), 10, 80, 12, 0.0, "%d%%|%d|%d|", 42, -7, INT_MIN),
              static_cast<int>(strlen(expected)));
    EXPECT_EQ(shown(), ref.pixels());
    clear();
    EXPECT_EQ(kova_drawstr(wn(), 10, 80, 12, 0.0, "%s", expected),
              static_cast<int>(strlen(expected)));
    EXPECT_EQ(shown(), ref.pixels());

    EXPECT_EQ(kova_drawstr(wn(), 10, 80, 12, 0.0, "%d|%5.1f|%x", 3, 2.25, 255), 10) << "3|  2.2|ff";
    const std::string wide(300, 'w');
    // A format built at run time takes an (unused) argument, as a caller's
    // must for the compiler to accept it.
    EXPECT_EQ(kova_drawstr(wn(), 10, 80, 12, 0.0, wide.c_str(), 0), 300) << "no conversion";
    EXPECT_EQ(kova_drawstr(wn(), 10, 80, 12, 0.0, "%d%s", 7, wide.c_str()), 301) << "long";
    EXPECT_EQ(kova_drawstr(wn(), 10, 80, 12, 0.0, (wide + "%d").c_str(), 12345), 305)
        << "past the buffer: the C library's turn";
}

// The FONT property names the font the server opened: the same atom when
// the same font was loaded.
Atom font_name(XFontStruct *f)
{
    unsigned long v = 0;
    return XGetFontProperty(f, XA_FONT, &v) ? static_cast<Atom>(v) : 0;
}

TEST_F(Text, SizesPickTheirLadderFontAndLoadItOnce)
{
    auto name_of = [](const char *name) {
        XFontStruct *f = XLoadQueryFont(kt::dpy(), name);
        Atom a = font_name(f);
        XFreeFont(kt::dpy(), f);
        return a;
    };
    kova_drawstr(wn(), 10, 60, 30, 0.0, "A");
    EXPECT_EQ(win.rec().font_size, 24);
    EXPECT_EQ(font_name(win.rec().font), name_of("12x24"));
    kova_drawstr(wn(), 10, 60, 1, 0.0, "A");
    EXPECT_EQ(font_name(win.rec().font), name_of("5x7"));

    int w = wn(), n = 1;
    float x = 10, y = 60, size = 12.9f, theta = 0;
    unsigned long before = XNextRequest(Pc_dis);
    drawstr_(&w, &x, &y, &size, "A", &theta, &n);
    unsigned long first = XNextRequest(Pc_dis) - before;
    EXPECT_EQ(win.rec().font_size, 12);
    EXPECT_EQ(font_name(win.rec().font), name_of("6x12"));
    before = XNextRequest(Pc_dis);
    size = 12.2f;
    drawstr_(&w, &x, &y, &size, "A", &theta, &n);
    EXPECT_EQ(XNextRequest(Pc_dis) - before, 2u) << "one text request each for layer and window";
    EXPECT_GT(first, 2u) << "the first draw loaded the font";

    size = 0.5f;
    drawstr_(&w, &x, &y, &size, "A", &theta, &n);
    EXPECT_EQ(win.rec().font_size, 0);
    EXPECT_NE(win.rec().fontset, nullptr) << "the default font set on first use";
}

TEST_F(Text, FontSetsComeFromTheCache)
{
    const char *name = "-*-fixed-medium-r-normal--13-*";
    EXPECT_EQ(kova_newfontset(wn(), "-*-fixed-medium-r-normal--%d-*", 13), 0);
    XFontSet set = win.rec().fontset;
    ASSERT_NE(set, nullptr);
    int entries = Pc_nfscache;
    unsigned long before = XNextRequest(Pc_dis);
    EXPECT_EQ(get_fontset(name), set);
    EXPECT_EQ(kova_gsetfontset(wn(), "%s", name), 0);
    EXPECT_EQ(XNextRequest(Pc_dis), before) << "a repeat never reaches the server";
    EXPECT_EQ(Pc_nfscache, entries);
    EXPECT_EQ(win.rec().fontset_height,
              XExtentsOfFontSet(set)->max_logical_extent.height);

    // A name the server cannot satisfy: the default stands in, and asking
    // again costs nothing either.
    EXPECT_EQ(kova_newfontset(wn(), "-nosuch-%s-*", "font"), 1);
    EXPECT_EQ(win.rec().fontset, get_fontset("-*-fixed-medium-r-normal--14-*"));
    before = XNextRequest(Pc_dis);
    EXPECT_EQ(kova_newfontset(wn(), "-nosuch-font-*"), 1);
    EXPECT_EQ(XNextRequest(Pc_dis), before);
    EXPECT_EQ(kova_newfontset(wn(), nullptr), 0) << "null asks for the default";
}

TEST_F(Text, FontSetTextAndItsLines)
{
    int w = wn();
    int status = -5;
    newfontset_(&w, "nosuch-font,-*-fixed-medium-r-normal--14-*", &status);
    EXPECT_EQ(status, 0);
    auto [px, py] = at(20, 80);
    kt::Reference ref(W, H, win.rec().bg_pixel, win.pen_pixel());
    char **missing;
    int nmissing;
    char *def;
    XFontSet set =
        XCreateFontSet(ref.d(), "-*-fixed-medium-r-normal--14-*", &missing, &nmissing, &def);
    ASSERT_NE(set, nullptr);
    int line = XExtentsOfFontSet(set)->max_logical_extent.height;
    XmbDrawString(ref.d(), ref.pm(), set, ref.gc(), px, py, "ab", 2);
    XmbDrawString(ref.d(), ref.pm(), set, ref.gc(), px, py + line, "cd", 2);
    kova_drawstr(wn(), 20, 80, 0, 0.0, "ab\ncd");
    EXPECT_EQ(shown(), ref.pixels());
    XFreeFontSet(ref.d(), set);
    if (missing)
        XFreeStringList(missing);
}

// Japanese text needs the EUC-JP locale and fonts for JIS X 0208 and
// X 0201 at the requested pixel sizes; the build installs both.
TEST_F(Text, JapaneseFontSetsRender)
{
    std::string saved = setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(setlocale(LC_CTYPE, "ja_JP.eucJP"), nullptr) << "the ja_JP.eucJP locale is missing";
    const char *pattern = "-*-fixed-medium-r-normal--%d-*-*-*-*-*-*-*";
    for (int px : {14, 48}) {
        clear();
        EXPECT_EQ(kova_gsetfontset(wn(), pattern, px), 0) << px;
        const fontset_entry &e = Pc_fscache[Pc_nfscache - 1];
        EXPECT_EQ(e.fontset, win.rec().fontset);
        EXPECT_EQ(e.missing, nullptr) << px << ": a charset has no font";
        // Seven kana (two bytes each) and a blank.
        const char kana[] = "\xa5\xd9\xa5\xeb\xa5\xe2\xa5\xea\xa5\xf3\xa5\xc6\xa5\xc3 ";
        kova_drawstr(wn(), 2, 60, 0, 0.0, "%s", kana);
        kt::OpenWindow::sync();
        auto lit = kt::lit(win.layer(), 0, 0, W, H, win.rec().bg_pixel);
        int right = 0;
        for (auto [x, y] : lit)
            right = std::max(right, x);
        EXPECT_GE(right, 2 + 6 * std::min(px, 28)) << px << ": seven full-width glyphs";
    }
    setlocale(LC_CTYPE, saved.c_str());
}

// The single-window twins draw on the window that plots_ opened.
TEST(SingleWindow, SymbolAndNumberTwins)
{
    plots_();
    ASSERT_EQ(Wn, 0);
    const pc_window &w = Pc[0];
    auto lit = [&] {
        XSync(Pc_dis, False);
        return kt::lit(w.layers[0], 0, 0, w.width, w.height, w.bg_pixel);
    };
    float x = 50, y = 50, size = 10.7f, theta = 0, value = 3.14159f;
    int code = 2, nchar = -1, ndec = 2;
    symbol_(&x, &y, &size, reinterpret_cast<const char *>(&code), &theta, &nchar);
    auto plus = lit();
    kova_drawsym(0, 50, 50, 10, 2);
    EXPECT_EQ(lit(), plus);
    EXPECT_EQ(plus.size(), 21u);
    XFillRectangle(Pc_dis, w.layers[0], w.bg_gc, 0, 0, 640, 400);

    size = 12;
    number_(&x, &y, &size, &value, &theta, &ndec);
    auto num = lit();
    ASSERT_FALSE(num.empty());
    XFillRectangle(Pc_dis, w.layers[0], w.bg_gc, 0, 0, 640, 400);
    nchar = 4;
    symbol_(&x, &y, &size, "3.14", &theta, &nchar);
    EXPECT_EQ(lit(), num);
    kova_gclose(0);
}

// A server without any font, not even "fixed": each text call at a size
// not loaded before reports it, draws nothing and leaves font_size at -1,
// the basic-font warning comes once per process, a size loaded before
// still draws with its font, and text works again as soon as fonts are
// back.
TEST(NoFonts, EveryLoadFailsAndALaterCallTriesAgain)
{
    kova_gcloseall(); // start with an empty font set cache
    kt::OpenWindow win(W, H);
    const int wn = win.wn();
    const pc_window &w = win.rec();
    kova_drawstr(wn, 10, 60, 12, 0.0, "before");
    ASSERT_EQ(w.font_size, 12);
    XFillRectangle(Pc_dis, win.layer(), w.bg_gc, 0, 0, W, H);
    auto blank = [&] {
        XSync(Pc_dis, False);
        return kt::lit(win.layer(), 0, 0, W, H, w.bg_pixel).empty();
    };

    char dir[] = "/tmp/kova-nofonts-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string fonts_dir = std::string(dir) + "/fonts.dir";
    FILE *f = fopen(fonts_dir.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("0\n", f);
    fclose(f);
    int npath = 0;
    char **path = XGetFontPath(kt::dpy(), &npath);
    char *only[] = {dir};
    XSetFontPath(kt::dpy(), only, 1);
    XSync(kt::dpy(), False);

    const std::string basic = "KOVA: [WARNING] Basic fonts for KOVA are not found. Check your "
                              "font setting of X server.\n";
    const std::string fixed = "KOVA: [ERROR] Default font 'fixed' is not found. Check your "
                              "font setting of X server.\n";
    std::string err = kt::capture_stderr([&] {
        kova_drawstr(wn, 10, 60, 10, 0.0, "lost");
        kova_drawstr(wn, 10, 60, 10, 0.0, "lost");
    });
    EXPECT_EQ(err, basic + fixed + fixed);
    EXPECT_EQ(w.font_size, -1);
    EXPECT_EQ(w.font, nullptr);
    // The font of size 12 stays loaded until close-all.
    err = kt::capture_stderr([&] { kova_drawstr(wn, 10, 60, 12, 0.0, "kept"); });
    EXPECT_EQ(err, "");
    EXPECT_EQ(w.font_size, 12);
    EXPECT_FALSE(blank());
    XFillRectangle(Pc_dis, win.layer(), w.bg_gc, 0, 0, W, H);
    err = kt::capture_stderr([&] { kova_drawstr(wn, 10, 60, 0, 0.0, "lost"); });
    EXPECT_EQ(err, "KOVA: [WARNING] Cannot set default fontset.\n");
    EXPECT_EQ(w.fontset, nullptr);
    EXPECT_TRUE(blank());
    EXPECT_EQ(kova_newfontset(wn, nullptr), -1);

    XSetFontPath(kt::dpy(), path, npath);
    XSync(kt::dpy(), False);
    XFreeFontPath(path);
    unlink(fonts_dir.c_str());
    rmdir(dir);
    err = kt::capture_stderr([&] { kova_drawstr(wn, 10, 60, 10, 0.0, "back"); });
    EXPECT_EQ(err, "");
    EXPECT_EQ(w.font_size, 10);
    EXPECT_FALSE(blank());
}

// The cache remembers failed font sets too; close-all forgets them.
TEST(NoFonts, CloseAllForgetsFailedFontSets)
{
    kova_gcloseall();
    kt::OpenWindow win(W, H);
    EXPECT_EQ(kova_newfontset(win.wn(), nullptr), 0);
}

} // namespace

// Empty and blank name lists, and lists that begin with a separator, never
// reach Xlib's list parser (it frees memory it does not own for the first
// and reads before its buffer for the second): in every locale a list with
// no name takes the usual fallback, and leading separators are skipped.
TEST(FontSetNames, EmptyAndBlankListsTakeTheFallback)
{
    kova_gcloseall();
    for (const char *locale : {"C", "C.UTF-8", "ja_JP.eucJP"}) {
        auto r = kt::run_forked([locale] {
            if (!setlocale(LC_CTYPE, locale))
                exit(5);
            kt::OpenWindow win(W, H);
            int wn = win.wn(), status = 0;
            XFontSet fallback = get_fontset("-*-fixed-medium-r-normal--14-*");
            for (const char *blank : {"", "   ", " \t\n\v\f\r"}) {
                if (kova_gsetfontset(wn, "%s", blank) != 1 || win.rec().fontset != fallback)
                    exit(2);
                newfontset_(&wn, blank, &status);
                if (status != 1)
                    exit(3);
            }
            if (kova_newfontset(wn, " ,, fixed") != 0 || win.rec().fontset == fallback)
                exit(4);
            kova_drawstr(wn, 10, 60, 0, 0.0, "ab");
        });
        EXPECT_TRUE(r.exited && r.code == 0) << locale << ": status " << r.status;
        EXPECT_EQ(r.err, "") << locale;
    }
}
