// kova-test-depths: 24 16 8
// x8a, the demonstration program: the real program runs to the end on a
// private server and leaves nothing behind; its drawing steps, run here
// against a window of our own, give exactly the picture that the same
// requests written in plain Xlib give, with lines ending on the border and
// a font size that matches no font among them.  On an 8-bit screen the
// random colours soon fill the colormap, and the rest are drawn in the
// nearest cells.
#include <gtest/gtest.h>

#include "kova_private.h"
#include "x8a.h"
#include "x8a_raw_steps.h"
#include "xserver.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

namespace {

// An EUC-JP Japanese locale when the system has one, else "".
std::string japanese_locale()
{
    for (const char *name : {"ja_JP.eucJP", "ja_JP.eucjp", "ja_JP.EUC-JP"}) {
        const char *saved = setlocale(LC_CTYPE, nullptr);
        std::string keep = saved ? saved : "C";
        bool ok = setlocale(LC_CTYPE, name) != nullptr;
        setlocale(LC_CTYPE, keep.c_str());
        if (ok)
            return name;
    }
    return "";
}

/* ---- the program itself ------------------------------------------------ */

struct ProgramRun {
    int status = -1;
    bool timed_out = false;
    std::string err;
    std::set<pid_t> children;          // x8a's own children, seen while it ran
    std::set<std::string> child_files; // the executables they ran from
};

// Runs x8a with its standard error captured, noting its children while it
// runs; killed if it takes longer than limit_s.
ProgramRun run_x8a(const std::string &locale, int limit_s)
{
    ProgramRun run;
    int fds[2];
    if (pipe(fds) != 0)
        return run;
    std::string program = KOVA_BUILD_DIR "/demo/x8a";
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 2);
        close(fds[0]);
        close(fds[1]);
        setenv("LC_ALL", locale.c_str(), 1);
        execl(program.c_str(), "x8a", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (waitpid(pid, &run.status, WNOHANG) == pid)
            break;
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(limit_s)) {
            run.timed_out = true;
            kill(pid, SIGKILL);
            waitpid(pid, &run.status, 0);
            break;
        }
        for (pid_t k : kt::children_of(pid)) {
            run.children.insert(k);
            char path[4096];
            ssize_t n = readlink(("/proc/" + std::to_string(k) + "/exe").c_str(), path,
                                 sizeof path - 1);
            std::string exe(path, n > 0 ? static_cast<size_t>(n) : 0);
            // The library's temporary copy of its child, not the program's own
            // image seen between fork and exec (the build tree may be in /tmp).
            if (exe.rfind("/tmp/_xslave_", 0) == 0)
                run.child_files.insert(exe.substr(0, exe.find(' ')));
        }
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 50) > 0) {
            char buf[4096];
            ssize_t n = read(fds[0], buf, sizeof buf);
            if (n > 0)
                run.err.append(buf, static_cast<size_t>(n));
        }
    }
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        run.err.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    return run;
}

const std::string Colormap_warning = "KOVA: [WARNING] XAllocColor() failed.";

// Lines of standard error that are neither font warnings nor the full
// colormap's warning.
std::string unexpected_messages(const std::string &err)
{
    std::istringstream in(err);
    std::string line, out;
    while (std::getline(in, line))
        if (!(line.rfind("KOVA: [WARNING]", 0) == 0 && line.find("font") != std::string::npos) &&
            line.rfind(Colormap_warning, 0) != 0)
            out += line + "\n";
    return out;
}

int colormap_warnings(const std::string &err)
{
    std::istringstream in(err);
    std::string line;
    int n = 0;
    while (std::getline(in, line))
        n += line.rfind(Colormap_warning, 0) == 0;
    return n;
}

TEST(X8a, RunsToTheEndAndLeavesNothingBehind)
{
    std::string ja = japanese_locale();
    ProgramRun run = run_x8a(ja.empty() ? "C.UTF-8" : ja, 600);
    ASSERT_FALSE(run.timed_out);
    ASSERT_TRUE(WIFEXITED(run.status)) << "wait status " << run.status << "\n" << run.err;
    EXPECT_EQ(WEXITSTATUS(run.status), 0) << run.err;
    EXPECT_EQ(unexpected_messages(run.err), "");
    // Hundreds of thousands of colours: on 8 bits the colormap fills, and
    // says so once.
    EXPECT_EQ(colormap_warnings(run.err), kt::depth() == 8 ? 1 : 0) << run.err.substr(0, 2000);
    // The window child ran and went with the program, and so did its file.
    EXPECT_FALSE(run.children.empty());
    for (pid_t k : run.children)
        EXPECT_TRUE(kt::eventually([k] { return !kt::process_alive(k); })) << "child " << k;
    EXPECT_FALSE(run.child_files.empty());
    for (const std::string &f : run.child_files)
        EXPECT_NE(access(f.c_str(), F_OK), 0) << f << " is still there";
}

/* ---- its picture ---------------------------------------------------------- */

int X_errors = 0;

int count_error(Display *, XErrorEvent *)
{
    X_errors++;
    return 0;
}

// x8a's window, opened as x8a opens it, and beside it a pixmap of the
// test's own into which the same steps are drawn with plain Xlib.
struct X8aPicture : ::testing::Test {
    int win = 0;
    Pixmap reference = 0;
    GC reference_gc = nullptr;
    x8a_raw raw{};
    XErrorHandler saved_handler = nullptr;

    void SetUp() override
    {
        std::string ja = japanese_locale();
        if (!ja.empty())
            setenv("LC_ALL", ja.c_str(), 1);
        saved_handler = XSetErrorHandler(count_error);
        X_errors = 0;
        win = kova_gopen(X8A_WIDTH, X8A_HEIGHT);
        kova_winname(win, X8A_WINDOW_NAME);
        kova_newrgbcolor(win, 100, 100, 100);

        Display *d = kt::dpy();
        int scr = DefaultScreen(d);
        reference = XCreatePixmap(d, RootWindow(d, scr), X8A_WIDTH, X8A_HEIGHT,
                                  static_cast<unsigned>(DefaultDepth(d, scr)));
        reference_gc = XCreateGC(d, reference, 0, nullptr);
        XSetForeground(d, reference_gc, Pc[win].bg_pixel);
        XFillRectangle(d, reference, reference_gc, 0, 0, X8A_WIDTH, X8A_HEIGHT);
        x8a_raw_init(&raw, d, reference, 0, reference_gc, X8A_HEIGHT, DefaultVisual(d, scr));
        x8a_raw_colour(&raw, 100, 100, 100);
    }

    // The window child goes before the private server does.
    static void TearDownTestSuite() { kova_gcloseall(); }

    void TearDown() override
    {
        x8a_raw_free(&raw);
        XFreeGC(kt::dpy(), reference_gc);
        XFreePixmap(kt::dpy(), reference);
        kova_gclose(win);
        XSync(Pc_dis, False);
        EXPECT_EQ(X_errors, 0);
        XSetErrorHandler(saved_handler);
        unsetenv("LC_ALL");
    }

    // Runs one of x8a's steps and its plain-Xlib twin from the same point
    // of the random sequence.
    template <class Kova, class Raw>
    void step(unsigned seed, Kova kova_step, Raw raw_step)
    {
        srand(seed);
        kova_step();
        srand(seed);
        raw_step();
        XSync(Pc_dis, False);
        EXPECT_EQ(X_errors, 0);
    }

    // Both connections are synchronised first: the library's requests
    // must have been carried out before ours read.
    static XImage *image(Drawable d)
    {
        XSync(Pc_dis, False);
        XSync(kt::dpy(), False);
        return XGetImage(kt::dpy(), d, 0, 0, X8A_WIDTH, X8A_HEIGHT, AllPlanes, ZPixmap);
    }

    // Number of pixels in which the drawable differs from the reference.
    int differences(Drawable d)
    {
        XImage *a = image(d), *b = image(reference);
        if (!a || !b) {
            if (a)
                XDestroyImage(a);
            if (b)
                XDestroyImage(b);
            return -1;
        }
        int n = 0;
        for (int y = 0; y < X8A_HEIGHT; y++)
            for (int x = 0; x < X8A_WIDTH; x++)
                n += XGetPixel(a, x, y) != XGetPixel(b, x, y);
        XDestroyImage(a);
        XDestroyImage(b);
        return n;
    }

    void expect_same_picture(const char *after)
    {
        EXPECT_EQ(differences(Pc[win].layers[0]), 0) << "layer, after " << after;
        EXPECT_EQ(differences(Pc[win].draw_win), 0) << "window, after " << after;
    }

    // The pixel value of the colour of the k-th random colour drawn after
    // srand(seed) (k counted from 0), for shapes that draw colour then x, y
    // (stride 5) or lines that draw colours only (stride 3); on 8 bits the
    // cell that the reference drawing was given for it.
    unsigned long colour_of(unsigned seed, int k, int stride, int *x = nullptr, int *y = nullptr)
    {
        srand(seed);
        for (int i = 0; i < k * stride; i++)
            rand();
        int r = rand() % 255, g = rand() % 255, b = rand() % 255;
        if (x)
            *x = rand() % X8A_WIDTH;
        if (y)
            *y = rand() % X8A_HEIGHT;
        return kt::depth() == 8 ? x8a_raw_lookup(&raw, r, g, b) : kt::truecolor(r, g, b);
    }

    // Pixels of the layer that a call changes.
    template <class Draw>
    int changed_by(Draw draw)
    {
        XImage *before = image(Pc[win].layers[0]);
        draw();
        XImage *after = image(Pc[win].layers[0]);
        int n = 0;
        for (int y = 0; y < X8A_HEIGHT; y++)
            for (int x = 0; x < X8A_WIDTH; x++)
                n += XGetPixel(before, x, y) != XGetPixel(after, x, y);
        XDestroyImage(before);
        XDestroyImage(after);
        return n;
    }
};

TEST_F(X8aPicture, EveryStepDrawsWhatTheSameXlibRequestsDraw)
{
    const double shapes = 400.0, strings = 150.0;
    step(11, [&] { x8a_sweep_pass(win); }, [&] { x8a_raw_sweep_pass(&raw); });
    expect_same_picture("a sweep pass");
    // The horizontal line to (1024, 384) ends beyond the right border, on
    // row 383; the last line ends on the left border at row 766.
    EXPECT_EQ(kt::pixel(Pc[win].layers[0], 1023, 383), colour_of(11, 1023 + 383, 3));
    EXPECT_EQ(kt::pixel(Pc[win].layers[0], 0, 766), colour_of(11, 3579, 3));

    // The last shape of each kind lies on top: its colour at its centre
    // (circles) or its first pixel (rectangles, 30 rows above the corner).
    step(12, [&] { x8a_circles(win, 10.0, shapes); }, [&] { x8a_raw_circles(&raw, 10, shapes); });
    expect_same_picture("small circles");
    int x, y;
    unsigned long last = colour_of(12, static_cast<int>(shapes) - 2, 5, &x, &y);
    EXPECT_EQ(kt::pixel(Pc[win].layers[0], x, X8A_HEIGHT - 1 - y), last);

    step(13, [&] { x8a_rectangles(win, shapes); }, [&] { x8a_raw_rectangles(&raw, shapes); });
    expect_same_picture("rectangles");
    last = colour_of(13, static_cast<int>(shapes) - 2, 5, &x, &y);
    if (X8A_HEIGHT - 1 - y - 30 >= 0) {
        EXPECT_EQ(kt::pixel(Pc[win].layers[0], x, X8A_HEIGHT - 1 - y - 30), last);
    }

    step(14, [&] { x8a_circles(win, 30.0, shapes); }, [&] { x8a_raw_circles(&raw, 30, shapes); });
    expect_same_picture("large circles");
    last = colour_of(14, static_cast<int>(shapes) - 2, 5, &x, &y);
    EXPECT_EQ(kt::pixel(Pc[win].layers[0], x, X8A_HEIGHT - 1 - y), last);

    // Text: the same glyphs as the reference, and plenty of them.
    EXPECT_GT(changed_by([&] {
                  step(15, [&] { x8a_latin_strings(win, 14, strings); },
                       [&] { x8a_raw_latin_strings(&raw, 14, strings); });
              }),
              5000);
    expect_same_picture("strings in 14 pixels");
    EXPECT_GT(changed_by([&] {
                  step(16, [&] { x8a_latin_strings(win, 16, strings); },
                       [&] { x8a_raw_latin_strings(&raw, 16, strings); });
              }),
              5000);
    expect_same_picture("strings in 16 pixels");
    EXPECT_GT(changed_by([&] {
                  step(17, [&] { x8a_japanese_strings(win, strings); },
                       [&] { x8a_raw_japanese_strings(&raw, strings); });
              }),
              5000);
    expect_same_picture("Japanese strings");
}

TEST_F(X8aPicture, KatakanaAreDrawnFromTheJapaneseFontInAnEucJpLocale)
{
    if (japanese_locale().empty())
        GTEST_SKIP() << "no EUC-JP Japanese locale on this system";
    kova_newrgbcolor(win, 200, 200, 200);
    kova_gsetfontset(win, X8A_FONTSET_PATTERN, 48);
    kova_drawstr(win, 100.0, 400.0, 0, 0.0, X8A_JAPANESE_TEXT);

    // The same seven characters drawn straight from the set's JIS X 0208
    // font, by their codes (row 5: be, ru, mo, ri, n, te, ku).
    ASSERT_NE(Pc[win].fontset, nullptr);
    XFontStruct **fonts;
    char **names;
    int n = XFontsOfFontSet(Pc[win].fontset, &fonts, &names);
    XFontStruct *jis = nullptr;
    for (int i = 0; i < n && !jis; i++)
        if (std::strstr(names[i], "jisx0208"))
            jis = XLoadQueryFont(kt::dpy(), names[i]);
    ASSERT_NE(jis, nullptr) << "no JIS X 0208 font in the 48-pixel font set";
    const XChar2b katakana[7] = {{0x25, 0x59}, {0x25, 0x6b}, {0x25, 0x62}, {0x25, 0x6a},
                                 {0x25, 0x73}, {0x25, 0x46}, {0x25, 0x2f}};
    x8a_raw_colour(&raw, 200, 200, 200);
    XSetFont(kt::dpy(), reference_gc, jis->fid);
    XDrawString16(kt::dpy(), reference, reference_gc, 100, X8A_HEIGHT - 1 - 400, katakana, 7);
    XFreeFont(kt::dpy(), jis);
    expect_same_picture("the katakana");
}

TEST_F(X8aPicture, AFontSizeWithoutFontsDoesNotStopTheStrings)
{
    // "--5-" leaves the pattern's fields misaligned: no font matches, and
    // the library falls back to its default font set.
    const double strings = 40.0;
    EXPECT_GT(changed_by([&] {
                  step(31, [&] { x8a_latin_strings(win, -5, strings); },
                       [&] { x8a_raw_latin_strings(&raw, -5, strings); });
              }),
              1000);
    expect_same_picture("strings in a size without fonts");
    // and the next step goes on as usual
    step(32, [&] { x8a_circles(win, 10.0, 20.0); }, [&] { x8a_raw_circles(&raw, 10, 20.0); });
    expect_same_picture("circles after them");
}

} // namespace
